// The browser page's own arithmetic, checked natively: the callback counter
// from the audio clock, and the frame clock its stills share with the
// capture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "clock.h"
#include "frame_clock.h"
#include "glrec.h"
#include "playback.h"
#include "scene.h"
#include "show.h"
#include "syna.h"

namespace {

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

TEST(FrameClock, AStillTakesTheFramesBeforeItWithoutDrawing) {
    // The page's still at 20 s, 60 frames per second: frame 0 drawn for the
    // GL state it leaves, the frames between only stepped (osa_skip, which
    // leaves the scene where osa would), the counter where the callback
    // would have it, the time in whole milliseconds.
    const int fps = 60;
    const long long target = show_frame_at(20.0, fps);
    ASSERT_EQ(target, 1200);
    glrec_clear();
    for (long long n = 0; n <= target; n++) {
        const bool drawn = n == 0 || n == target;
        EXPECT_EQ(capture_take_frame(n, fps, n == target), drawn ? 1 : 0) << "frame " << n;
        EXPECT_EQ(syna_counter, show_position(n, fps)) << "frame " << n;
        EXPECT_EQ(timef, (float)show_ms(n, fps)) << "frame " << n;
        ASSERT_EQ(glrec_calls().empty(), !drawn) << "frame " << n;
        glrec_clear();
    }
    syna_counter = 0;
}

}  // namespace
