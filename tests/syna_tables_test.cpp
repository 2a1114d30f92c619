// Waveform and note tables, defaults of syna_init, the tempo formula and
// the instrument renderer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "syna_helpers.h"

using namespace syna;
using synatest::fresh;

TEST(SynaTables, At44100) {
    fresh(44100);
    ASSERT_EQ(wave_length, 168);
    ASSERT_EQ(wave_tables[0].size(), 168u);
    for (int i = 0; i < 168; ++i) EXPECT_EQ(wave_tables[0][i], i < 84 ? -1.0f : 1.0f) << i;
    EXPECT_EQ(wave_tables[2][0], 0.0f);
    EXPECT_NEAR(wave_tables[2][83], 0.988, 1e-3);
    EXPECT_EQ(wave_tables[2][84], -1.0f);
    EXPECT_EQ(wave_tables[1][0], 0.0f);
    EXPECT_EQ(wave_tables[1][42], 1.0f);  // a quarter cycle
    ASSERT_EQ(wave_tables[3].size(), 44100u);
    for (float v : wave_tables[3]) {
        ASSERT_GE(v, -1.0f);
        ASSERT_LE(v, 0.999f + 1e-6f);
        ASSERT_NEAR(v * 1000.0f, std::round(v * 1000.0f), 1e-3f);
    }
    // The noise table depends only on rand's sequence from the default seed.
    std::vector<float> first = wave_tables[3];
    fresh(44100);
    EXPECT_EQ(first, wave_tables[3]);
}

// The noise is glibc's rand() from its unseeded start, drawn from the
// synthesizer's own copy of the generator: the same bytes on any C library,
// and the process's rand() left alone. A second syna_init runs on.
TEST(SynaTables, NoiseIsGlibcRandFromItsOwnGenerator) {
    for (unsigned seed : {1u, 0u, 12345u, 4294967295u}) {
        std::srand(seed);
        LibcRand g{};
        g.seed(seed);
        for (int i = 0; i < 1000000; i++)
            ASSERT_EQ(g.next(), std::rand()) << "seed " << seed << ", value " << i;
    }
    std::srand(777);
    const int untouched = std::rand();
    std::srand(777);
    fresh(8000);
    syna_init(8000);
    EXPECT_EQ(std::rand(), untouched);

    std::srand(1);
    const std::vector<float> second = wave_tables[3];
    fresh(8000);
    for (int i = 0; i < 8000; i++) {
        const float want = static_cast<float>(std::rand() % 2000 - 1000) * 0.001f;
        ASSERT_EQ(wave_tables[3][i], want) << i;
    }
    for (int i = 0; i < 8000; i++) {
        const float want = static_cast<float>(std::rand() % 2000 - 1000) * 0.001f;
        ASSERT_EQ(second[i], want) << "second syna_init, " << i;
    }
}

TEST(SynaTables, At48000AndNotes) {
    fresh(48000);
    ASSERT_EQ(wave_length, 183);
    int low = 0;
    for (float v : wave_tables[0]) low += v == -1.0f;
    EXPECT_EQ(low, 91);
    EXPECT_EQ(wave_tables[3].size(), 48000u);
    EXPECT_EQ(note_freq[0], 32);
    EXPECT_EQ(note_freq[36], 261);
    EXPECT_EQ(note_freq[45], 440);
    EXPECT_EQ(note_freq[71], 1976);
    const int fourth[12] = {261, 277, 293, 311, 329, 349, 370, 392, 415, 440, 466, 494};
    const int first[12] = {32, 34, 36, 38, 41, 43, 46, 49, 51, 55, 58, 61};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(note_freq[36 + k], fourth[k]);
        EXPECT_EQ(note_freq[k], first[k]);
    }
}

TEST(SynaTables, ChannelDefaults) {
    fresh();
    EXPECT_EQ(chan_pan[1], 0.4f);
    EXPECT_EQ(chan_pan[2], 0.6f);
    for (int ch = 0; ch < kSlots; ++ch) {
        EXPECT_EQ(chan_vol[ch], 1.0f);
        EXPECT_LT(chan_pos[ch], 0.0f);
        EXPECT_EQ(tracks[ch][0], kEnd);
        EXPECT_EQ(track_pos[ch], kNotStarted);
    }
    EXPECT_EQ(first_row, 1);
    EXPECT_EQ(pending_row_samples, kNoPendingTempo);
    EXPECT_EQ(syna_counter, 0);
}

TEST(SynaTables, TempoFormula) {
    fresh();
    struct {
        int bpm, rows;
    } cases[] = {{100, 6615}, {120, 5512}, {125, 5292}, {126, 5292},
                 {127, 5292}, {128, 5188}, {140, 4725}, {3, 264600}};
    for (auto c : cases) {
        EXPECT_EQ(row_length_for_bpm(c.bpm), c.rows) << c.bpm;
        ASSERT_EQ(synatest::load("bpm:" + std::to_string(c.bpm)), 0);
        EXPECT_EQ(row_samples, c.rows);
        EXPECT_EQ(echo_length, 3 * c.rows);
    }
    EXPECT_EQ(row_length_for_bpm(2), 0);
    EXPECT_EQ(row_length_for_bpm(700000), 0);  // divisor above 6 x sample_rate
}

namespace {
Instrument ins(int wf, int a, int d, int s, int r, int rm = 0, int sweep = 0) {
    return Instrument{wf, a, d, s, r, rm, sweep};
}
}  // namespace

TEST(SynaInstrument, EmbeddedNine) {
    fresh();
    struct Row {
        Instrument in;
        int length;
        float after_decay, mod_inc, sweep_inc, final_step;
    } rows[] = {
        {ins(1, 2, 13, 30, 3700, 0, -60), 3746, -5.5f, 0, -0.000357143f, -0.3375f},
        {ins(2, 2, 5, 30, 2300, 0, 2), 2338, -1.5f, 0, 0.0000119048f, 1.028f},
        {ins(3, 2, 5, 1, 2300, 0, -2), 2309, -1.5f, 0, -0.0000119048f, 0.9725f},
        {ins(3, 2, 4, 1, 2300, 0, 0), 2308, -1.0f, 0, 0, 1},
        {ins(2, 2, 5, 1, 3000, 0, 0), 3009, -1.5f, 0, 0, 1},
        {ins(2, 2, 4, 1, 19000, 0, 0), 19008, -1.0f, 0, 0, 1},
        {ins(2, 2, 4, 1, 3000, 1000, 0), 3008, -1.0f, 0.373999f, 0, 1},
        {ins(0, 2, 3, 1, 3000, 39120390, -2), 3007, -0.5f, 14631, -0.0000119048f, 0.9642f},
        {ins(2, 2, 5, 1, 40000, 100, 500), 40009, -1.5f, 0.0373999f, 0.00297619f, 120},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.length);
        RenderEnd end{};
        std::vector<float> s = render_instrument(r.in, &end);
        EXPECT_EQ(static_cast<int>(s.size()), r.length);
        EXPECT_EQ(s.front(), 0.0f);
        EXPECT_EQ(s.back(), 0.0f);  // attack and release both set: ends in silence
        EXPECT_NEAR(end.level, 0.0f, 1e-3f);
        EXPECT_NEAR(end.step, r.final_step, std::fabs(r.final_step) * 2e-3f);
        EXPECT_NEAR(modulation_increment(r.in.ring_mod), r.mod_inc, r.mod_inc * 1e-4f + 1e-9f);
        EXPECT_NEAR(sweep_increment(r.in.sweep), r.sweep_inc, 1e-9f);
        // The level after the decay: a square wave with the same envelope reads
        // +-level during the sustain.
        Instrument sq = ins(0, r.in.attack, r.in.decay, 1, 1);
        std::vector<float> q = render_instrument(sq);
        EXPECT_EQ(std::fabs(q[r.in.attack + r.in.decay]), std::fabs(r.after_decay));
    }
}

TEST(SynaInstrument, EnvelopeEdges) {
    fresh();
    const std::vector<float> &t = wave_tables[2];
    std::vector<float> s = render_instrument(ins(2, 2, 0, 0, 2));
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(s[0], t[0] * 0.0f);
    EXPECT_EQ(s[1], t[1] * 0.5f);
    EXPECT_EQ(s[2], t[2] * 1.0f);
    EXPECT_EQ(s[3], t[3] * 0.5f);
    EXPECT_EQ(s[4], 0.0f);

    // Attack 0: one silent sample, then the decay from 1.0; filled to the end.
    s = render_instrument(ins(0, 0, 2, 0, 3));
    ASSERT_EQ(s.size(), 6u);
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_EQ(s[1], wave_tables[0][1] * 1.0f);
    EXPECT_NE(s[5], 0.0f);

    // Release 0: one release sample at the sustain level.
    s = render_instrument(ins(0, 1, 0, 2, 0));
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[3], -1.0f);

    // Attack and release both 0: the extra release sample stays outside.
    s = render_instrument(ins(0, 0, 0, 3, 0));
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_EQ(s[3], -1.0f);
}

TEST(SynaInstrument, ModulationNoiseAndSweep) {
    fresh();
    // Ring modulation 100: sample j is table x level x sin(accumulated phase).
    std::vector<float> s = render_instrument(ins(0, 1, 0, 400, 1, 100));
    const float inc = modulation_increment(100);
    float ph = 0.0f;
    for (int j = 0; j < 300; ++j) {
        float level = j == 0 ? 0.0f : 1.0f;
        float v = wave_tables[0][j % wave_length] * level;
        EXPECT_EQ(s[j],
                  static_cast<float>(static_cast<double>(v) * std::sin(static_cast<double>(ph))));
        ph += inc;
    }
    // Ring modulation 0 is the plain product (no sine even of 0).
    s = render_instrument(ins(0, 1, 0, 10, 1));
    EXPECT_EQ(s[1], wave_tables[0][1]);

    // Noise without sweep reads the table in order, wrapping at sample_rate.
    s = render_instrument(ins(3, 1, 0, 44200, 1));
    for (int j : {1, 5, 44099, 44100, 44105}) EXPECT_EQ(s[j], wave_tables[3][j % 44100]) << j;

    // A sweep that drives the phase far below -100 tables still reads inside
    // the table (the sanitizer build checks the reads).
    RenderEnd end{};
    s = render_instrument(ins(0, 1, 0, 60000, 1, 0, -100000), &end);
    EXPECT_LT(end.phase, -100.0f * wave_length);
    for (float v : s) ASSERT_TRUE(v == -1.0f || v == 1.0f || v == 0.0f);
}
