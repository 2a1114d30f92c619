// The capture's clock: frame times, the audio each frame covers and the
// playback position the live callback would have handed out by then.
#include <gtest/gtest.h>

#include "capture.h"
#include "show.h"
#include "show_clock.h"

TEST(CaptureClock, FrameTimesAndTheirAudio) {
    EXPECT_EQ(show_ms(0, 60), 0);
    EXPECT_EQ(show_ms(1, 60), 16);  // whole milliseconds, truncated
    EXPECT_EQ(show_ms(3, 60), 50);
    EXPECT_EQ(show_ms(6799, 60), 113316);
    EXPECT_EQ(show_sample(1, 60), 735);
    // 44100 / 24 = 1837.5: frames alternate 1837 and 1838 audio frames and
    // never drift.
    EXPECT_EQ(show_sample(1, 24), 1837);
    EXPECT_EQ(show_sample(2, 24), 3675);
    EXPECT_EQ(show_sample(2400, 24), 100 * 44100);
    EXPECT_EQ(show_frame_at(1.5, 60), 90);
    EXPECT_EQ(show_frame_at(0.0, 60), 0);
    EXPECT_EQ(show_frame_at(2.0 / 60 - 1e-9, 60), 2);  // nearest frame
}

TEST(CaptureClock, PositionIsTheEndOfTheBlockThatSounds) {
    // At 60 fps frame 11 sounds from audio frame 8085 (block 0), frame 12
    // from 8820 (block 1).
    EXPECT_EQ(show_position(0, 60), 8192);
    EXPECT_EQ(show_position(11, 60), 8192);
    EXPECT_EQ(show_position(12, 60), 16384);
    for (long long n = 0; n < 7000; n++) {
        const int p = show_position(n, 60);
        // Whole blocks, ahead of the sound by at most one block.
        EXPECT_EQ(p % SHOW_BLOCK_FRAMES, 0) << n;
        EXPECT_GT(p, show_sample(n, 60)) << n;
        EXPECT_LE(p - show_sample(n, 60), SHOW_BLOCK_FRAMES) << n;
        if (n > 0) {
            EXPECT_GE(p, show_position(n - 1, 60)) << n;
        }
    }
    EXPECT_EQ(show_position(1000000, 60), SHOW_FRAMES);  // never past the song
}

TEST(CaptureClock, ShowEndsAtTheFrameThatReachesBar59) {
    // Bar 59 starts at audio frame 5,001,999; the block that reaches it ends
    // at 611 * 8192 and is handed out once frame 610 * 8192 = 4,997,120
    // sounds, at video frame 6799 (60 fps) or 3400 (30 fps), the last
    // frame of the show.
    EXPECT_EQ(show_frame_count(60), 6800);
    EXPECT_EQ(show_frame_count(30), 3401);
    EXPECT_EQ(beatof(show_position(6798, 60)), 58);
    EXPECT_EQ(beatof(show_position(6799, 60)), 59);
    for (int fps : {1, 24, 25, 50, 144, 240}) {
        const long long last = show_frame_count(fps) - 1;
        EXPECT_GT(beatof(show_position(last, fps)), 58) << fps;
        EXPECT_LE(beatof(show_position(last - 1, fps)), 58) << fps;
    }
}
