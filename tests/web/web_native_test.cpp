// The browser page's own arithmetic, checked natively: glibc's rand()
// sequence for the wasm build, the callback counter from the audio clock,
// and the fixed frame clock of the stills.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "clock.h"
#include "libc_rand.h"
#include "playback.h"
#include "replay.h"
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
    // Hours later the count stays in range.
    EXPECT_EQ(web_counter(1e12), SHOW_FRAMES + 2 * SHOW_BLOCK_FRAMES);
}

TEST(Replay, FramesOnAFixedClock) {
    EXPECT_EQ(replay_counter(1000), SHOW_RATE);
    EXPECT_EQ(replay_counter(113424), 5001998);  // one frame short of bar 59
    for (int fps : {24, 30, 60, 144}) {
        EXPECT_EQ(replay_last_frame(0, fps), 0);
        for (int ms = 0; ms < 3000; ms++) {
            const int f = replay_last_frame(ms, fps);
            ASSERT_LE(replay_ms(f, fps), ms) << fps << " fps, " << ms << " ms";
            ASSERT_GT(replay_ms(f + 1, fps), ms) << fps << " fps, " << ms << " ms";
        }
    }
}

}  // namespace
