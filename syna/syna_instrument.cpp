/* syna_instrument.cpp - renders an instrument line into its sample: a
 * waveform table read at the base pitch, a four-segment linear envelope,
 * optional ring modulation and pitch sweep.
 *
 * Use: render_instrument(params) after syna_init; the parser calls it for
 * every instrument line it applies.
 *
 * Limits: segment lengths must be non-negative (the parser refuses the
 * rest). Running values are single-precision sums, never recomputed from
 * the sample index, so exact results depend on that order of additions.
 */
#include <cmath>

#include "syna_internal.h"

namespace syna {

float modulation_increment(int ring_mod) {
    if (ring_mod == 0) return 0.0f;
    const double wl = static_cast<double>(static_cast<float>(wave_length));
    return static_cast<float>(static_cast<double>(ring_mod) * 0.06283185307179587 / wl);
}

float sweep_increment(int sweep) {
    const double wl = static_cast<double>(static_cast<float>(wave_length));
    return static_cast<float>(static_cast<double>(static_cast<float>(sweep)) * 0.001 / wl);
}

namespace {

// Table index for a phase. The 100-table offset covers the usual backward
// sweep; beyond it (or beyond the int range) the remainder is folded into the
// table, so that any phase reads inside it while ordinary phases take exactly
// the plain path.
int table_index(float phase, int table_len) {
    long long t;
    if (phase >= -2147483648.0f && phase < 2147483648.0f) {
        t = static_cast<int>(phase);
    } else if (std::isfinite(phase)) {
        t = static_cast<long long>(std::fmod(phase, static_cast<float>(table_len)));
    } else {
        t = 0;
    }
    long long idx = (100LL * table_len + t) % table_len;
    if (idx < 0) idx += table_len;
    return static_cast<int>(idx);
}

}  // namespace

std::vector<float> render_instrument(const Instrument &ins, RenderEnd *end) {
    const long long total = 1LL + ins.attack + ins.decay + ins.sustain + ins.release;
    std::vector<float> out(static_cast<size_t>(total), 0.0f);

    const std::vector<float> &table = wave_tables[ins.waveform];
    const int table_len = static_cast<int>(table.size());

    const int attack_count = ins.attack == 0 ? 1 : ins.attack;
    const float attack_inc = ins.attack == 0 ? 1.0f : 1.0f / static_cast<float>(ins.attack);
    const int release_count = ins.release == 0 ? 1 : ins.release;
    const float release_div = ins.release == 0 ? 1.0f : static_cast<float>(ins.release);
    const float mod_inc = modulation_increment(ins.ring_mod);
    const float sweep_inc = sweep_increment(ins.sweep);

    float phase = 0.0f, step = 1.0f, level = 0.0f, mod_phase = 0.0f;
    long long j = 0;

    // Writes one sample and advances phase, step and modulator; the caller
    // changes the level. With attack and release both 0 the segments produce
    // one sample more than the buffer holds: that last one is dropped.
    auto emit = [&]() {
        float v = table[table_index(phase, table_len)] * level;
        if (ins.ring_mod != 0)
            v = static_cast<float>(static_cast<double>(v) *
                                   std::sin(static_cast<double>(mod_phase)));
        if (j < total) out[static_cast<size_t>(j)] = v;
        ++j;
        phase += step;
        step += sweep_inc;
        mod_phase += mod_inc;
    };

    for (int k = 0; k < attack_count; ++k) {
        emit();
        level += attack_inc;
    }
    for (int k = 0; k < ins.decay; ++k) {
        emit();
        level -= attack_inc;
    }
    for (int k = 0; k < ins.sustain; ++k) emit();
    const float release_dec = level / release_div;
    for (int k = 0; k < release_count; ++k) {
        emit();
        level -= release_dec;
    }

    if (end) *end = RenderEnd{phase, step, level, mod_phase};
    return out;
}

}  // namespace syna
