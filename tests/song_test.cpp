/* song_test.cpp - checks the song built into the demo (data/song.txt as
 * `biisi`) by rendering it exactly as the demo does: 647 blocks of 8192
 * frames at 44100 Hz.
 *
 * The song is parsed once in this process; then one child per render is
 * forked from that parsed state: the full mix, and each channel solo (the
 * others muted with syna_mute, which leaves the sequencer untouched, so a
 * solo is that channel's exact share of the mix). Children send per-bar
 * sums of squares back through a pipe. Bars are the song's musical bars:
 * row 0 belongs to every track's one-row opening pattern, so bar n is rows
 * 16n+1 .. 16n+16.
 *
 * Checked: the song parses; no track's "loop" comes round inside the
 * render; at most 0.1 % of the output samples sit at the clip bound;
 * every channel is clearly audible somewhere; the drum channels are quiet
 * from bar 49 on; the whole mix has died away by bar 58.
 */
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "song.h"
#include "syna_internal.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 8192;
constexpr int kBlocks = 647;
constexpr long long kFrames = 1LL * kBlock * kBlocks;  // 5,300,224
constexpr int kRowFrames = 5292;                       // 125 bpm at 44100 Hz
constexpr int kBars = 63;     // bars 0..62 reach past the end of the render
constexpr int kClip = 32766;  // 3.0 x 10922

struct Render {
    double sumsq[kBars] = {};
    long long samples[kBars] = {};
    long long clipped = 0;
    int loop_restarts = 0;  // times a track position went backwards
    bool ok = false;

    double bar_dbfs(int bar) const {
        if (samples[bar] == 0 || sumsq[bar] <= 0) return -200.0;
        return 20.0 * std::log10(std::sqrt(sumsq[bar] / (double)samples[bar]) / 32768.0);
    }
};

int channels_walked() {
    int n = 0;
    while (n + 1 < syna::kSlots && syna::tracks[n + 1][0] != syna::kEnd) ++n;
    return n;
}

// Runs in a child: renders the parsed song with only `solo` unmuted (0: all).
Render render_parsed(int solo, int channels) {
    Render r;
    for (int ch = 1; ch <= channels; ++ch) syna_mute(ch, solo != 0 && ch != solo, 0);
    std::vector<short> block(2 * kBlock);
    int last_pos[syna::kSlots] = {};
    long long frame = 0;
    for (int b = 0; b < kBlocks; ++b) {
        syna_play(block.data(), kBlock);
        for (int i = 0; i < kBlock; ++i, ++frame) {
            const long long row = frame / kRowFrames;
            for (int s = 0; s < 2; ++s) {
                const short v = block[2 * i + s];
                if (v >= kClip || v <= -kClip) ++r.clipped;
                if (row >= 1) {
                    const int bar = (int)((row - 1) / 16);
                    r.sumsq[bar] += (double)v * v;
                    r.samples[bar] += 1;
                }
            }
        }
        for (int ch = 1; ch <= channels; ++ch) {
            if (syna::track_pos[ch] < last_pos[ch]) ++r.loop_restarts;
            last_pos[ch] = syna::track_pos[ch];
        }
    }
    r.ok = true;
    return r;
}

// Rows that track `ch` plays before its "loop" or end mark: one per pattern
// cell, a "vol"/"sld" cell and its parameter counting as one.
int track_rows(int ch, bool *ends_in_loop) {
    int rows = 0;
    *ends_in_loop = false;
    for (int e = 0; e < syna::kEntries; ++e) {
        const int p = syna::tracks[ch][e];
        if (p == syna::kLoop) *ends_in_loop = true;
        if (p < 0) break;
        for (int c = 0; c < syna::kEntries && syna::patterns[p][c] != syna::kEnd; ++c) {
            ++rows;
            if (syna::patterns[p][c] == syna::kVol || syna::patterns[p][c] == syna::kSld) ++c;
        }
    }
    return rows;
}

class EmbeddedSong : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        syna_init(kRate);
        std::vector<char> text(biisi, biisi + biisi_length + 1);  // biisi itself stays unparsed
        parse_result = syna_get(text.data());
        if (parse_result == 0) channels = channels_walked();
    }

    // The mix and every solo, rendered on first use only (the table checks
    // need none of them).
    static void render_all() {
        if (!renders.empty()) return;
        renders.assign(channels + 1, Render{});
        // Two renders at a time; each child gets its own pipe.
        for (int first = 0; first <= channels; first += 2) {
            int fds[2][2];
            pid_t pids[2] = {-1, -1};
            for (int k = 0; k < 2 && first + k <= channels; ++k) {
                if (pipe(fds[k]) != 0) break;
                pids[k] = fork();
                if (pids[k] == 0) {
                    close(fds[k][0]);
                    Render r = render_parsed(first + k, channels);
                    const char *p = reinterpret_cast<const char *>(&r);
                    size_t left = sizeof r;
                    while (left > 0) {
                        ssize_t n = write(fds[k][1], p, left);
                        if (n <= 0) _exit(1);
                        p += n;
                        left -= (size_t)n;
                    }
                    _exit(0);
                }
                close(fds[k][1]);
                if (pids[k] < 0) {
                    close(fds[k][0]);
                    break;
                }
            }
            // A render that could not be started or did not finish stays not ok.
            for (int k = 0; k < 2 && pids[k] > 0; ++k) {
                Render r;
                char *p = reinterpret_cast<char *>(&r);
                size_t got = 0;
                while (got < sizeof r) {
                    ssize_t n = read(fds[k][0], p + got, sizeof r - got);
                    if (n <= 0) break;
                    got += (size_t)n;
                }
                close(fds[k][0]);
                int status = 0;
                waitpid(pids[k], &status, 0);
                if (got == sizeof r && WIFEXITED(status) && WEXITSTATUS(status) == 0)
                    renders[first + k] = r;
            }
        }
    }

    static int parse_result;
    static int channels;
    static std::vector<Render> renders;  // [0] the mix, [n] channel n solo
};

int EmbeddedSong::parse_result = -1;
int EmbeddedSong::channels = 0;
std::vector<Render> EmbeddedSong::renders;

TEST_F(EmbeddedSong, ParsesIntoNineLoopingTracksThatOutlastTheRender) {
    ASSERT_EQ(parse_result, 0) << syna_error();
    ASSERT_EQ(channels, 9);
    // The render ends inside row 1001, so a loop may come round at row 1002 at the earliest.
    const long long last_row = (kFrames - 1) / kRowFrames;
    ASSERT_EQ(last_row, 1001);
    for (int ch = 1; ch <= channels; ++ch) {
        bool loops = false;
        const int rows = track_rows(ch, &loops);
        EXPECT_TRUE(loops) << "track " << ch << " does not end in loop";
        EXPECT_GT(rows, last_row) << "track " << ch << " restarts inside the render";
    }
}

// One test for everything that needs the renders, so that they are made once.
TEST_F(EmbeddedSong, RenderIsBalancedAndFollowsThePicture) {
    ASSERT_EQ(parse_result, 0) << syna_error();
    render_all();
    ASSERT_TRUE(renders[0].ok);
    // The sequencer agrees with the table count: no track position goes back.
    EXPECT_EQ(renders[0].loop_restarts, 0);

    // Clipping: at most one sample in a thousand.
    const double share = (double)renders[0].clipped / (double)(2 * kFrames);
    EXPECT_LE(share, 0.001) << renders[0].clipped << " clipped samples";
    // The song is not silent or faint either: its loudest bar is well up.
    double mix_loudest = -200;
    for (int b = 0; b < kBars; ++b) mix_loudest = std::max(mix_loudest, renders[0].bar_dbfs(b));
    EXPECT_GT(mix_loudest, -25.0);

    // Every channel is heard: its solo is clearly above the noise floor in some bar.
    for (int ch = 1; ch <= channels; ++ch) {
        ASSERT_TRUE(renders[ch].ok) << "solo render of channel " << ch << " failed";
        double loudest = -200;
        for (int b = 0; b < kBars; ++b) loudest = std::max(loudest, renders[ch].bar_dbfs(b));
        EXPECT_GT(loudest, -50.0) << "channel " << ch;
    }

    // Kick, snare, hat and the noise that doubles the snare. Bar 48 may still
    // hold echo tails; from bar 49 on only their last faint repeats remain.
    for (int ch : {1, 3, 4, 8}) {
        ASSERT_TRUE(renders[ch].ok);
        EXPECT_GT(renders[ch].bar_dbfs(47), -45.0) << "channel " << ch << " plays up to bar 48";
        for (int b = 49; b < kBars; ++b)
            EXPECT_LT(renders[ch].bar_dbfs(b), -60.0) << "channel " << ch << " bar " << b;
    }
    ASSERT_TRUE(renders[0].ok);
    EXPECT_GT(renders[0].bar_dbfs(50), -35.0) << "the outro plays on after the drums";
    for (int b = 58; b < kBars; ++b) EXPECT_LT(renders[0].bar_dbfs(b), -80.0) << "bar " << b;
}

}  // namespace
