// Sequencer, mixer and live control: row timing, cell effects, echo, clip,
// pan, low-pass, mute, determinism across call splits, and golden renders.
#include <gtest/gtest.h>

#include <limits>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "syna_helpers.h"

using namespace syna;
using synatest::fresh;
using synatest::load;
using synatest::render;

namespace {
// 200000 bpm gives 3-frame rows and a 9-frame echo ring (delay 8 frames).
const char *kTiny = "bpm:200000\n";

void set_sample(int ch, std::vector<float> s) {
    inst_length[ch] = static_cast<int>(s.size());
    inst_sample[ch] = std::move(s);
}
// Steps of notes worked out by hand: Hz x (1/262 rounded to float), the
// product rounded to float.
constexpr float kStepC1 = 0.122137405f;  // 32 Hz
constexpr float kStepC4 = 0.996183217f;  // 261 Hz
constexpr float kStepD4 = 1.11832058f;   // 293 Hz
constexpr float kStepA4 = 1.67938936f;   // 440 Hz
constexpr float kStepB6 = 7.54198456f;   // 1976 Hz
}  // namespace

TEST(SynaPlay, RowTimingAndTrackWalk) {
    fresh();
    ASSERT_EQ(load("bpm:125\ni1:sini,2,13,30,3700,0,-60\np1:0\np2:c4,d4\nt1:p1,p2,loop"), 0);
    render(1);
    EXPECT_EQ(syna_row, 0);
    EXPECT_EQ(first_row, 0);
    EXPECT_EQ(track_pos[1], 0);
    render(5291);
    EXPECT_EQ(syna_row, 0);
    render(1);  // frame 5292: row 1, pattern 2 cell 0
    EXPECT_EQ(syna_row, 1);
    EXPECT_EQ(track_pos[1], 1);
    EXPECT_EQ(chan_step[1], kStepC4);
    render(5292);
    EXPECT_EQ(chan_step[1], kStepD4);
    render(5292);  // loop: back to entry 0 within the same row
    EXPECT_EQ(track_pos[1], 0);
    EXPECT_EQ(pattern_pos[1], 0);
    render(5292);
    EXPECT_EQ(track_pos[1], 1);
    EXPECT_EQ(syna_row, syna_counter / 5292);

    // Without "loop" the track finishes; the last note rings on.
    fresh();
    ASSERT_EQ(load(std::string(kTiny) + "i1:saha,1,0,100,1,0\np1:c4\np2:d4\nt1:p1,p2"), 0);
    render(7);
    EXPECT_EQ(track_pos[1], kEnd);
    EXPECT_GE(chan_pos[1], 0.0f);

    // Track 1 empty: silence while the clock still runs.
    fresh();
    ASSERT_EQ(load("bpm:125"), 0);
    std::vector<short> out = render(6000);
    for (short s : out) ASSERT_EQ(s, 0);
    EXPECT_EQ(syna_counter, 6000);
    EXPECT_EQ(syna_row, 1);
}

TEST(SynaPlay, CellEffects) {
    fresh();
    ASSERT_EQ(load(std::string(kTiny) +
                   "i1:saha,1,0,400,1,0\np1:vol,50,c4,sld,-10,stop,echo1,echo0,00\nt1:p1"),
              0);
    render(1);
    EXPECT_EQ(chan_vol[1], 0.5f);
    EXPECT_LT(chan_pos[1], 0.0f);
    render(3);  // row 1: the note (vol and its parameter took one row)
    EXPECT_EQ(chan_step[1], kStepC4);
    EXPECT_GT(chan_pos[1], 0.0f);
    render(3);
    EXPECT_EQ(chan_slide[1], static_cast<float>(-10 * 0.00001));
    EXPECT_LT(chan_step[1], kStepC4);  // the slide already acts
    render(3);
    EXPECT_EQ(chan_pos[1], -1.0f);
    render(3);
    EXPECT_EQ(chan_echo[1], 1);
    render(3);
    EXPECT_EQ(chan_echo[1], 0);
    render(6);
    EXPECT_EQ(track_pos[1], kEnd);

    // Transposition clamps to c1 .. b6; a sounding note keeps its pitch.
    fresh();
    ASSERT_EQ(load(std::string(kTiny) + "i1:saha,1,0,400,1,0\np1:c4,c4,c4\nt1:p1,loop"), 0);
    syna_transpose(1, -50);
    render(1);
    EXPECT_EQ(chan_step[1], kStepC1);
    syna_transpose(1, 100);
    EXPECT_EQ(chan_step[1], kStepC1);
    render(3);
    EXPECT_EQ(chan_step[1], kStepB6);
    syna_transpose(1, 2);
    render(3);
    EXPECT_EQ(chan_step[1], kStepD4);
}

TEST(SynaPlay, EchoDelayAndLevels) {
    for (bool send : {true, false}) {
        fresh();
        std::string pat = send ? "p1:echo1,b6" : "p1:0,b6";
        ASSERT_EQ(load(std::string(kTiny) + "i1:kantti,1,0,0,0,0\n" + pat +
                       ",0,0,0,0,0,0,0,0,0,0,0\nt1:p1"),
                  0);
        ASSERT_EQ(echo_length, 9);
        set_sample(1, {1.0f});  // b6 steps past it in one frame
        std::vector<short> out = render(40);
        // The note at frame 3 (1.0, pan 0.4 | 0.6), then its echo every 8
        // frames: 0.2, 0.12, 0.072, 0.0432 (each x 10922, truncated).
        std::map<int, std::pair<short, short>> expect = {{3, {4368, 6553}}};
        if (send) {
            expect[11] = {873, 1310};
            expect[19] = {524, 786};
            expect[27] = {314, 471};
            expect[35] = {188, 283};
        }
        for (int f = 0; f < 40; ++f) {
            const std::pair<short, short> lr =
                expect.count(f) ? expect[f] : std::make_pair<short, short>(0, 0);
            EXPECT_EQ(out[2 * f], lr.first) << f;
            EXPECT_EQ(out[2 * f + 1], lr.second) << f;
        }
    }
    // A tempo change leaves the echo delay alone.
    syna_setbpm(125);
    render(0);
    EXPECT_EQ(row_samples, 5292);
    EXPECT_EQ(echo_length, 9);
}

TEST(SynaPlay, StopEndOfSampleAndSlide) {
    fresh();
    ASSERT_EQ(load(std::string(kTiny) + "i1:kantti,1,0,0,0,0\np1:echo1,c4,stop,0,0,0,0\nt1:p1"), 0);
    set_sample(1, std::vector<float>(100, 1.0f));
    std::vector<short> out = render(11);
    for (int f : {3, 4, 5}) EXPECT_NE(out[2 * f], 0) << f;
    for (int f : {6, 7, 8, 9, 10}) EXPECT_EQ(out[2 * f], 0) << f;
    out = render(3);  // frames 11..13: the echo of frames 3..5
    for (int f = 0; f < 3; ++f) EXPECT_EQ(out[2 * f], 873);  // 0.2 x 0.4 x 10922

    // Step 1.0 over a 3746-sample instrument: the last sample ends the voice.
    fresh();
    ASSERT_EQ(load("bpm:125\ni1:sini,2,13,30,3700,0,-60\np1:c4\nt1:p1,loop"), 0);
    render(1);
    chan_pos[1] = 0.0f;
    chan_step[1] = 1.0f;
    render(3745);
    EXPECT_EQ(chan_pos[1], 3745.0f);
    render(1);
    EXPECT_EQ(chan_pos[1], -1.0f);

    // A negative slide turns the step around; the voice ends below 0.
    chan_pos[1] = 0.0f;
    chan_step[1] = 1.0f;
    chan_slide[1] = -0.25f;
    render(4);
    EXPECT_EQ(chan_pos[1], 2.5f);
    render(8);
    EXPECT_EQ(chan_pos[1], -1.0f);
}

TEST(SynaPlay, ClipTruncationPanAndLowpass) {
    fresh();
    std::string song = std::string(kTiny) + "p1:c4,0,0\n";
    for (int ch = 1; ch <= 9; ++ch) {
        std::string n = std::to_string(ch);
        song += "i" + n + ":kantti,1,0,0,0,0,0,60\nt" + n + ":p1,loop\n";
    }
    ASSERT_EQ(load(song), 0);
    for (int ch = 1; ch <= 9; ++ch) set_sample(ch, std::vector<float>(50, 1.0f));
    std::vector<short> out = render(1);
    EXPECT_EQ(out[0], 32766);  // 5.4 clipped to 3.0
    EXPECT_EQ(out[1], 32766);  // 3.6
    for (int ch = 1; ch <= 9; ++ch) set_sample(ch, std::vector<float>(50, -1.0f));
    out = render(1);
    EXPECT_EQ(out[0], -32766);

    // Truncation toward zero; default pans of channel 1 and 2.
    fresh();
    ASSERT_EQ(load(std::string(kTiny) + "i1:kantti,1,0,0,0,0,0,100\ni2:kantti,1,0,0,0,0\n"
                                        "p1:c4,0,0\nt1:p1,loop\n"),
              0);
    set_sample(1, std::vector<float>(50, 0.0001f));
    EXPECT_EQ(render(1), (std::vector<short>{1, 0}));
    set_sample(1, std::vector<float>(50, -0.0001f));
    EXPECT_EQ(render(1), (std::vector<short>{-1, 0}));
    ASSERT_EQ(load("i1:kantti,1,0,0,0,0,0,40\n"), 0);  // pan back to 0.4
    set_sample(1, std::vector<float>(50, 0.5f));
    EXPECT_EQ(render(1), (std::vector<short>{2184, 3276}));

    fresh();
    ASSERT_EQ(load(std::string(kTiny) + "i1:kantti,1,0,0,0,0\ni2:kantti,1,0,0,0,0,0,60,50\n"
                                        "p1:c4,0,0\nt1:p1,loop\nt2:p1,loop\n"),
              0);
    set_sample(1, std::vector<float>(50, 0.0f));
    set_sample(2, std::vector<float>(50, 1.0f));
    out = render(1);
    EXPECT_EQ(chan_lowpass_prev[2], 0.5f);
    EXPECT_EQ(out[0], 3276);  // 0.5 x 0.6 x 10922
    render(1);
    EXPECT_EQ(chan_lowpass_prev[2], 0.75f);
    set_sample(1, std::vector<float>(50, 0.25f));
    render(1);
    EXPECT_EQ(chan_lowpass_prev[1], 0.25f);  // filter off: the state follows the input

    // A filter state gone to NaN (an unstable coefficient runs to inf - inf)
    // makes the whole frame silent instead of an undefined conversion (the
    // sanitizer build traps that conversion).
    chan_lowpass_prev[2] = std::numeric_limits<float>::quiet_NaN();
    chan_lowpass[2] = 2.0f;
    EXPECT_EQ(render(1), (std::vector<short>{0, 0}));
}

TEST(SynaPlay, MuteFreezesAndResumes) {
    fresh();
    ASSERT_EQ(load("bpm:125\ni1:saha,2,4,1,19000,0,0\ni2:saha,2,4,1,19000,0,0\n"
                   "p1:echo1,c4\nt1:p1,loop\nt2:p1,loop"),
              0);
    render(5400);
    syna_mute(1, 1, 0);
    syna_mute(2, 1, 0);
    const float pos = chan_pos[1];
    const std::vector<float> ring = echo_line[1];
    for (short s : render(300)) ASSERT_EQ(s, 0);
    EXPECT_EQ(chan_pos[1], pos);
    EXPECT_EQ(echo_line[1], ring);
    syna_mute(1, 0, 0);
    render(1);
    EXPECT_EQ(chan_pos[1], pos + chan_step[1]);

    // Deferred: audible until the next row boundary; 256 stores 0.
    syna_mute(1, 1, 1);
    EXPECT_EQ(chan_mute[1], 0);
    std::vector<short> out = render(10584 - syna_counter);
    bool heard = false;
    for (short s : out) heard |= s != 0;
    EXPECT_TRUE(heard);
    out = render(200);
    for (short s : out) ASSERT_EQ(s, 0);
    EXPECT_EQ(chan_mute[1], 1);
    syna_mute(1, 256, 0);
    EXPECT_EQ(chan_mute[1], 0);
    EXPECT_EQ(chan_mute_next[1], 0);
}

TEST(SynaPlay, LiveControl) {
    fresh();
    ASSERT_EQ(load("bpm:125\ni1:saha,2,4,1,19000,0,0\np1:c4\nt1:p1,loop"), 0);
    for (int bpm : {125, 126, 127}) {
        syna_setbpm(bpm);
        EXPECT_EQ(pending_row_samples, 5292);
    }
    syna_setbpm(128);
    EXPECT_EQ(pending_row_samples, 5188);
    syna_setbpm(3);
    EXPECT_EQ(pending_row_samples, 264600);
    for (int bad : {2, 0, -5, 1000000, INT_MAX, INT_MIN}) syna_setbpm(bad);
    EXPECT_EQ(pending_row_samples, 264600);  // later one wins; bad ones ignored
    syna_play(nullptr, 0);
    EXPECT_EQ(row_samples, 264600);
    EXPECT_EQ(pending_row_samples, kNoPendingTempo);
    EXPECT_EQ(echo_length, 15876);

    syna_transpose(1, 12);
    syna_trig(1, 45);
    EXPECT_EQ(chan_pos[1], 0.0f);
    EXPECT_NEAR(chan_step[1], 1.6793893f, 1e-6f);
    EXPECT_EQ(chan_step[1], kStepA4);
    const uint64_t before = synatest::state_fingerprint();
    syna_trig(1, 72);
    syna_trig(1, -1);
    syna_trig(2, 40);  // no track 2
    syna_setvol(30, 0.5f);
    syna_setvol(-1, 0.5f);
    syna_setvol(0, 0.5f);
    syna_mute(-3, 1, 0);
    syna_mute(29, 1, 0);
    syna_transpose(INT_MIN, 3);
    EXPECT_EQ(synatest::state_fingerprint(), before);
    syna_setvol(1, 0.25f);
    EXPECT_EQ(chan_vol[1], 0.25f);
}

// Channel 11 prints its pattern position at every row it steps, through
// the host's hook: stdout by default, the host's function, or nothing; the
// sound stays the same, and a reset leaves the host's choice alone.
TEST(SynaPlay, ChannelElevenPrintsRows) {
    static std::string rows;
    for (int channels : {10, 11}) {
        std::string song = std::string(kTiny) + "p1:c4,0\n";
        for (int ch = 1; ch <= channels; ++ch) {
            std::string n = std::to_string(ch);
            song += "i" + n + ":saha,1,0,10,1,0\nt" + n + ":p1,loop\n";
        }
        const std::string want = channels == 11 ? "0\n0\n1\n0\n1\n" : "";
        fresh();
        ASSERT_EQ(load(song), 0);
        testing::internal::CaptureStdout();
        const std::vector<short> printed = render(15);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), want);

        rows.clear();
        syna_set_row_print([](int row) { rows += std::to_string(row) + "\n"; });
        fresh();
        ASSERT_EQ(load(song), 0);
        testing::internal::CaptureStdout();
        EXPECT_EQ(render(15), printed);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(rows, want);

        syna_set_row_print(nullptr);
        fresh();
        ASSERT_EQ(load(song), 0);
        testing::internal::CaptureStdout();
        EXPECT_EQ(render(15), printed);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        syna_set_row_print(syna_print_row);
    }
}

// The same song renders to the same bytes however the frames are split.
TEST(SynaPlay, SplitIndependence) {
    const std::string song = synatest::read_file(SYNA_SONGS_DIR "/good/nine.song");
    const int total = 60000;
    fresh();
    ASSERT_EQ(load(song), 0);
    std::vector<short> whole = render(total);
    fresh();
    ASSERT_EQ(load(song), 0);
    std::vector<short> pieces;
    const int sizes[] = {1, 7, 4093, 5292, 1, 3};
    for (int done = 0, k = 0; done < total; ++k) {
        int n = std::min(sizes[k % 6], total - done);
        std::vector<short> part = render(n);
        pieces.insert(pieces.end(), part.begin(), part.end());
        done += n;
    }
    EXPECT_EQ(pieces, whole);
}
