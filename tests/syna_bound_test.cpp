// The songs that bound the render time (tests/songs/bound): 28 channels of
// long echo and filter tails, and 28 channels with every costly feature at
// once. How fast they render is a benchmark (syna_bench, BM_Song); here,
// without a clock, what keeps them fast: whatever the values are (subnormal
// ones included, which are neither flushed nor sent down another path) the
// work per channel and frame is a few vector instructions, and the frames
// played one at a time stay few.
#include <gtest/gtest.h>

#include <cmath>

#include "syna_helpers.h"

using namespace syna;

namespace {

constexpr int kBlock = 8192;
constexpr int kBlocks = 108;  // 20 s at 44100 Hz

struct BoundRun {
    MixStats stats;
    long long subnormal_reads = 0;  // subnormal ring slots met, sampled after each block
    int channels = 0;
};

bool subnormal(float v) { return v != 0.0f && std::fabs(v) < 1.17549435e-38f; }

BoundRun render_bound_song(const char *name) {
    BoundRun run;
    synatest::fresh();
    const std::string path = std::string(SYNA_SONGS_DIR) + "/bound/" + name + ".song";
    EXPECT_EQ(syna_load(path.c_str()), 0) << syna_error();
    run.channels = walked_channels();
    std::vector<short> out(2 * kBlock);
    testing::internal::CaptureStdout();  // channel 11 prints its rows
    for (int b = 0; b < kBlocks; ++b) {
        syna_play(out.data(), kBlock);
        for (int ch = 1; ch <= run.channels; ++ch)
            for (int i = 0; i < echo_length; ++i)
                run.subnormal_reads += subnormal(echo_line[ch][i]);
    }
    testing::internal::GetCapturedStdout();
    run.stats = mix_stats;
    return run;
}

long long voice(const MixStats &s) { return s.voice_vector + s.voice_checked + s.voice_exact; }

}  // namespace

TEST(SynaBound, TailsGoThroughSubnormalsInVectors) {
    const BoundRun r = render_bound_song("tails");
    ASSERT_EQ(r.channels, 28);
    const MixStats &s = r.stats;
    const long long all = 28LL * kBlock * kBlocks;
    // Every channel-frame is accounted for, once.
    ASSERT_EQ(voice(s) + s.echo_frames + s.quiet_frames, all);
    // The song does reach the trap: its rings hold subnormal floats...
    EXPECT_GT(r.subnormal_reads, 100000);
    // ...and the tails go through the vector loop like any other value.
    EXPECT_GT(s.echo_frames, all / 2);
    EXPECT_LT(s.voice_exact, voice(s) / 10);
    // All filters run, side by side, on every frame that is not skipped.
    EXPECT_EQ(s.lowpass_frames + s.skipped_frames, all);
}

TEST(SynaBound, BusySlidesStayInVectors) {
    const BoundRun r = render_bound_song("busy");
    ASSERT_EQ(r.channels, 28);
    const MixStats &s = r.stats;
    const long long all = 28LL * kBlock * kBlocks;
    ASSERT_EQ(voice(s) + s.echo_frames + s.quiet_frames, all);
    // A note with a slide on every row of every channel: voices play more
    // than half of the time, and even sliding they go in vectors.
    EXPECT_GT(voice(s), all / 2);
    EXPECT_LT(s.voice_exact, voice(s) / 20);
}
