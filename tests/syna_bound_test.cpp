// The songs that bound the render time (tests/songs/bound): 28 channels of
// long echo and filter tails, 28 channels with every costly feature at
// once, and that song again at rows of one frame. How fast they render is a benchmark (syna_bench,
// BM_Song); here, without a clock, what keeps them fast: whatever the values are (subnormal ones
// included, which are neither flushed nor sent down another path) the work per channel and frame is
// a few vector instructions, and the frames played one at a time stay few.
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

// Rows of a frame or a few: the vector mixer's set-up per row would cost
// more than it saves, so syna_play mixes them frame by frame, with the
// plain mixer's bytes; from kShortRowFrames on the vectors take over again.
TEST(SynaBound, ShortRowsGoFrameByFrame) {
    const std::string busy = synatest::read_file(SYNA_SONGS_DIR "/bound/busy.song");
    const std::string shortest = synatest::read_file(SYNA_SONGS_DIR "/bound/short.song");
    syna_set_row_print(nullptr);
    struct Case {
        std::string song;
        int rows;
    };
    const std::string at_eight = std::string(busy).replace(busy.find("bpm:125"), 7, "bpm:82687");
    for (const Case &c : {Case{shortest, 1}, Case{at_eight, kShortRowFrames}}) {
        synatest::fresh();
        ASSERT_EQ(synatest::load(c.song), 0) << syna_error();
        ASSERT_EQ(row_samples, c.rows);
        const std::vector<short> played = synatest::render(3 * kBlock);
        const MixStats s = mix_stats;
        synatest::fresh();
        ASSERT_EQ(synatest::load(c.song), 0);
        std::vector<short> plain(2 * 3 * kBlock);
        play_reference(plain.data(), 3 * kBlock);
        EXPECT_EQ(played, plain) << "rows of " << c.rows;
        if (c.rows < kShortRowFrames) {
            EXPECT_EQ(s.plain_frames, 3 * kBlock);
            EXPECT_EQ(s.frames, 0);
        } else {
            EXPECT_EQ(s.plain_frames, 0);
            EXPECT_EQ(s.frames, 3 * kBlock);
        }
    }
    syna_set_row_print(syna_print_row);
}
