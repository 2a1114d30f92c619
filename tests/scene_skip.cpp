// osa_skip: a frame taken without drawing leaves the scene exactly where a
// drawn frame leaves it, so a capture that starts mid-show draws what a
// whole run draws there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "glrec.h"
#include "scene_internal.h"
#include "show.h"
#include "syna.h"

namespace {

void reset() {
    scene_reset();
    syna_counter = 0;
    glrec_clear();
}

// A loud, changing signal over the whole song, so the peak follower and
// the trace have something to follow.
void fill_song() {
    for (int i = 0; i < SHOW_SAMPLES; i++)
        mixed[i] = (int16_t)(20000.0 * std::sin(i * 0.001) * std::sin(i * 0.0000031));
}

// Frames at 30 per second with the position stepping in whole blocks, from
// the start to past bar 59.
int position(int n) { return std::min<int>(SHOW_FRAMES, (n * 1470 / 8192 + 1) * 8192); }
int ms_of(int n) { return n * 1000 / 30; }

class Skip : public ::testing::Test {
protected:
    static void SetUpTestSuite() { fill_song(); }
    static void TearDownTestSuite() { std::memset(mixed, 0, sizeof mixed); }
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
};

}  // namespace

TEST_F(Skip, FrameAfterSkippingIsTheFrameOfAWholeRun) {
    // Bars 20 and 50 (with and without the trace), and past bar 58, where
    // `quit` must have been set by the skipped frames as by drawn ones.
    for (int target : {1240, 3080, 3500}) {
        reset();
        for (int n = 0; n < target; n++) {
            syna_counter = position(n);
            osa(ms_of(n));
            glrec_clear();
        }
        glrec_clear();
        const int whole_quit = quit;
        syna_counter = position(target);
        osa(ms_of(target));
        const std::vector<GlCall> whole = glrec_calls();

        reset();
        for (int n = 0; n < target; n++) {
            syna_counter = position(n);
            osa_skip(ms_of(n));
        }
        EXPECT_TRUE(glrec_calls().empty()) << "osa_skip drew";
        EXPECT_EQ(quit, whole_quit) << "frame " << target;
        syna_counter = position(target);
        osa(ms_of(target));
        const std::vector<GlCall> &skipped = glrec_calls();

        ASSERT_EQ(whole.size(), skipped.size()) << "frame " << target;
        for (size_t i = 0; i < whole.size(); i++) {
            EXPECT_EQ(whole[i].name, skipped[i].name) << i;
            EXPECT_EQ(whole[i].args, skipped[i].args) << whole[i].name << " " << i;
            EXPECT_EQ(whole[i].data, skipped[i].data) << whole[i].name << " " << i;
            EXPECT_EQ(whole[i].colors, skipped[i].colors) << whole[i].name << " " << i;
            EXPECT_EQ(whole[i].normals, skipped[i].normals) << whole[i].name << " " << i;
        }
    }
}
