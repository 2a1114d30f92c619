/* song_test.cpp - checks the song built into the demo (data/song.txt as
 * `biisi`) by rendering it exactly as the demo does: 647 blocks of 8192
 * frames at 44100 Hz.
 *
 * The full mix and each channel solo (the others muted with syna_mute,
 * which leaves the sequencer untouched, so a solo is that channel's exact
 * share of the mix) are rendered one after another in this process, each
 * from the state of a fresh process (syna::reset), and measured per bar
 * with syna-render's statistics unit. Bars are the song's musical bars: row
 * 0 belongs to every track's one-row opening pattern, so bar n is rows
 * 16n+1 .. 16n+16.
 *
 * Checked: the song parses; no track's "loop" comes round inside the
 * render; at most 0.1 % of the output samples sit at the clip bound;
 * every channel is clearly audible somewhere; the drum channels are quiet
 * from bar 49 on; the whole mix has died away by bar 58.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "bar_stats.h"
#include "show.h"
#include "song.h"
#include "syna_internal.h"

namespace {

constexpr long long kFrames = SHOW_FRAMES;  // 5,300,224
constexpr int kRowFrames = 5292;            // 125 bpm at 44100 Hz
constexpr int kBars = 63;                   // bars 0..62 reach past the end of the render

struct Render {
    std::vector<BarLevel> bars;
    int loop_restarts = 0;  // times a track position went backwards
    bool ok = false;

    double bar_dbfs(int bar) const {
        if (bar >= (int)bars.size()) return -200.0;
        return std::max(stats_dbfs(bars[bar]), -200.0);
    }
};

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
            c += syna::cell_entries(syna::patterns[p][c]) - 1;
        }
    }
    return rows;
}

// The whole mix as the demo renders it, watching the track positions.
Render render_mix(int channels) {
    struct Watch {
        Render r;
        int channels;
        int last_pos[syna::kSlots] = {};
    } w{{}, channels};
    if (show_load_embedded() != nullptr) return w.r;
    show_render_frames(
        0, SHOW_FRAMES, nullptr,
        [](const int16_t *block, long long first, int n, void *user) {
            Watch &at = *static_cast<Watch *>(user);
            stats_add_block(at.r.bars, first, block, n, syna::row_samples);
            for (int ch = 1; ch <= at.channels; ++ch) {
                if (syna::track_pos[ch] < at.last_pos[ch]) ++at.r.loop_restarts;
                at.last_pos[ch] = syna::track_pos[ch];
            }
            return 0;
        },
        &w);
    w.r.ok = true;
    return w.r;
}

class EmbeddedSong : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        syna::reset();
        syna_init(SHOW_RATE);
        std::vector<char> text(biisi, biisi + biisi_length + 1);  // biisi itself stays unparsed
        parse_result = syna_get(text.data());
        if (parse_result == 0) channels = syna::walked_channels();
    }

    // The mix and every solo, rendered on first use only (the table checks
    // need none of them).
    static void render_all() {
        if (!renders.empty()) return;
        renders.assign(channels + 1, Render{});
        renders[0] = render_mix(channels);
        for (int ch = 1; ch <= channels; ++ch) {
            std::string why;
            renders[ch].ok = stats_solo(biisi, (size_t)biisi_length, ch, kFrames, &renders[ch].bars,
                                        &why, nullptr);
        }
        // The table checks read the parsed song: leave it as they found it.
        SetUpTestSuite();
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
    const BarLevel all = stats_total(renders[0].bars);
    ASSERT_EQ(all.samples, 2 * kFrames);
    const double share = (double)all.clipped / (double)(2 * kFrames);
    EXPECT_LE(share, 0.001) << all.clipped << " clipped samples";
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
