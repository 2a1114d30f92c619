// The browser page's own arithmetic, checked natively: glibc's rand()
// sequence for the wasm build, the callback counter from the audio clock,
// and the frame clock its stills share with the capture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "clock.h"
#include "frame_clock.h"
#include "glrec.h"
#include "libc_rand.h"
#include "playback.h"
#include "scene_internal.h"
#include "show.h"
#include "syna.h"

namespace {

TEST(LibcRand, SameSequenceAsThisCLibrary) {
    // The noise table takes 44100 values at the unseeded start; check far
    // more, from the unseeded start and from other seeds (0 counts as 1).
    for (unsigned seed : {1u, 0u, 12345u, 4294967295u}) {
        std::srand(seed);
        libc_rand_seed(seed);
        for (int i = 0; i < 1000000; i++) {
            const int want = std::rand();
            ASSERT_EQ(libc_rand_next(), want) << "seed " << seed << ", value " << i;
        }
    }
}

TEST(WebClock, CountsLikeTheAudioCallback) {
    // The native callback hands over 8192 frames a call and advances the
    // counter as it does; while block k plays, k + 1 blocks have been
    // handed over.
    std::vector<uint8_t> stream(SHOW_BLOCK_FRAMES * 4);
    syna_counter = 0;
    for (int k = 0; k < 20; k++) {
        pakki(nullptr, stream.data(), (int)stream.size());
        for (double into : {0.0, 1.0, 4095.5, 8191.0}) {
            EXPECT_EQ(web_counter(k * (double)SHOW_BLOCK_FRAMES + into), syna_counter)
                << "block " << k << " + " << into;
        }
    }
    syna_counter = 0;
}

TEST(WebClock, BeforeTheStartAndFarPastTheEnd) {
    EXPECT_EQ(web_counter(-3000.0), SHOW_BLOCK_FRAMES);  // scheduled, not yet playing
    EXPECT_EQ(web_counter(std::nan("")), SHOW_BLOCK_FRAMES);
    // Within the last block, and hours later: the end of the song, as in
    // the capture.
    EXPECT_EQ(web_counter((double)SHOW_FRAMES - 1.0), SHOW_FRAMES);
    EXPECT_EQ(web_counter(1e12), SHOW_FRAMES);
}

// The GL calls of the frame just drawn, as text (bit-exact values).
std::vector<std::string> recorded() {
    std::vector<std::string> lines;
    for (const GlCall &c : glrec_calls()) {
        lines.push_back(glrec_text(c));
        for (std::string &l : glrec_array_lines(c)) lines.push_back(std::move(l));
    }
    glrec_clear();
    return lines;
}

void reset_scene() {
    std::memset(paramf, 0, sizeof paramf);
    max_sample = 0.0f;
    spin_angle = 0.0f;
    quit = 0;
    syna_counter = 0;
    glrec_clear();
}

TEST(FrameClock, AStillIsTheFrameOfAWholeRun) {
    // A loud, changing signal, so the peak follower and the trace move.
    for (int i = 0; i < SHOW_SAMPLES; i++)
        mixed[i] = (int16_t)(20000.0 * std::sin(i * 0.001) * std::sin(i * 0.0000031));
    const int fps = 60;
    const long long target = capture_frame_at(20.0, fps);  // bar 10: trace and flower

    reset_scene();
    for (long long n = 0; n < target; n++) {
        EXPECT_EQ(capture_take_frame(n, fps, 1), 1);
        glrec_clear();
    }
    capture_take_frame(target, fps, 1);
    const std::vector<std::string> whole = recorded();
    ASSERT_FALSE(whole.empty());

    // The page's still: frame 0 drawn for the state it leaves, the frames
    // between only stepped, the counter where the callback would have it.
    reset_scene();
    for (long long n = 0; n <= target; n++) {
        const int drew = capture_take_frame(n, fps, n == target);
        EXPECT_EQ(drew, n == 0 || n == target ? 1 : 0) << "frame " << n;
        EXPECT_EQ(syna_counter, capture_position(n, fps)) << "frame " << n;
        EXPECT_EQ(timef, (float)capture_ms(n, fps)) << "frame " << n;
        if (n == 0) {
            EXPECT_FALSE(recorded().empty());
        } else if (n < target) {
            ASSERT_TRUE(glrec_calls().empty()) << "frame " << n << " drew";
        }
    }
    EXPECT_EQ(recorded(), whole);
    reset_scene();
    std::memset(mixed, 0, sizeof mixed);
}

}  // namespace
