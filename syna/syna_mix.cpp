/* syna_mix.cpp - the fast mixer behind syna_play: one stretch of frames
 * (a chunk) at a time, channel by channel, with vector instructions.
 *
 * Use: mix_chunk(c, n, channels, out) mixes n frames that start at frame
 * counter c, with no row boundary inside the chunk but at its first frame
 * (the sequencer has run for that one) and no wrap of the counter; at most
 * kChunkFrames frames. syna_play cuts its frames into such chunks.
 *
 * How, and why it gives the same bytes as the frame-by-frame mixer
 * (play_reference):
 * - The per-frame sum over channels keeps its channel order, but frames do
 *   not depend on each other in it. So each channel's signal over the chunk
 *   is made first (voice, echo, filter), then the sums are formed frame
 *   vector by frame vector, channel after channel, in registers.
 * - The echo ring is read at slot c + 1 and written at slot c: within a
 *   stretch that does not wrap the ring no frame reads what the stretch
 *   wrote, so a stretch is a load, a multiply and a store per vector. For
 *   a channel with an idle voice and no filter the sums do that themselves,
 *   taking the slots read as the channel's signal.
 * - A voice position is a chain of float additions of a constant step.
 *   Within a binade of the position every addition rounds the step to the
 *   same multiple of the binade's spacing (unless that is a half-way tie),
 *   so up to the binade's top and the sample's end the positions are
 *   exactly p0 + j * d: there they need no check (exact_run). Around those
 *   limits a vector of guesses is checked lane by lane with the addition
 *   itself, fl(p[j] + step) == p[j + 1]; if a check fails, the frames of
 *   that vector are played one by one in plain code. A sliding step is
 *   guessed the same way (running sums of the rounded steps) and checked.
 * - Samples are read from one or two whole vectors of the sample, permuted,
 *   when the indices are close enough; else gathered.
 * - The low-pass is a chain through the previous output and runs frame by
 *   frame, the filters of up to eight channels side by side; its input
 *   scaling and everything after it are vectors.
 * - A channel that adds only +0.0 is left out of the sums: a voice idle and
 *   a ring holding only +0.0 where read, the filter at +0.0; or the part of
 *   the chunk after its voice ended, if its ring holds only +0.0. Adding a
 *   zero changes nothing but the sign of a zero sum, and a zero sum gives
 *   the sample 0 either way. A ring known to hold only +0.0 (mix_rings) is
 *   not read or written at all while no voice sends into it.
 * - The 16-bit frames go out with streaming stores: the song is written
 *   once and read much later.
 * Every operation on samples is one IEEE single-precision operation of the
 * same operands as in the plain mixer (no fused multiply-add, no flushing
 * of subnormal values), so every vector width gives the same bytes.
 *
 * Limits: one synthesizer per process; the chunk buffers are module state.
 * Subnormal values are computed, not flushed: on processors that trap them
 * to microcode they are slow; on the ones this was measured on (see the
 * README) they are not. 32-bit Arm's vector unit flushes subnormals, so
 * there only the portable scalar code may be built (see CMakeLists.txt).
 */
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "syna_mix.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "syna_internal.h"

#if HWY_ARCH_X86
#include <cpuid.h>
#endif

#if HWY_ARCH_ARM_V7 && HWY_TARGET != HWY_SCALAR && HWY_TARGET != HWY_EMU128
#error "32-bit Arm vector code flushes subnormal floats: build with HWY_COMPILE_ONLY_SCALAR"
#endif

HWY_BEFORE_NAMESPACE();
namespace syna {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;
using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;

static_assert(std::endian::native == std::endian::little, "frames are written as 32-bit words");

// Every channel's signal over the chunk: voice plus echo, through the filter.
float (&signal)[kSlots][kChunkFrames + kMixSlack] = mix_signal;
constexpr int kSlack = kMixSlack;

// A vector of `lanes` values from p (lanes <= Lanes), the rest 0.
VF load_part(DF df, const float *p, int lanes) {
    alignas(64) float tmp[kSlack] = {};
    std::memcpy(tmp, p, sizeof(float) * static_cast<size_t>(lanes));
    return hn::Load(df, tmp);
}

void store_part(DF df, VF v, float *p, int lanes) {
    alignas(64) float tmp[kSlack];
    hn::Store(v, df, tmp);
    std::memcpy(p, tmp, sizeof(float) * static_cast<size_t>(lanes));
}

// A channel's voice while it plays through a chunk.
struct Voice {
    float pos, step, slide, end;
    const float *sample;
    int length;
    bool echo;
    bool quiet;  // the ring holds only +0.0 and the echo send is off: it stays so
};

// The voice played frame by frame, exactly as the plain mixer does it, for
// at most `count` frames of a ring stretch (read at rd, written at wr).
// Returns the frames played; fewer than count when the voice ends.
int voice_frames(Voice &v, const float *rd, float *wr, float *x, int count) {
    for (int t = 0; t < count; ++t) {
        const float m = v.quiet ? 0.0f : rd[t];
        const float xv = m + v.sample[static_cast<int>(v.pos)];
        if (!v.quiet) wr[t] = v.echo ? xv * 0.2f : m * 0.6f;
        x[t] = xv;
        v.pos += v.step;
        v.step += v.slide;
        if (v.pos >= v.end || v.pos < 0.0f) {
            v.pos = -1.0f;
            return t + 1;
        }
    }
    return count;
}

// How many whole vectors of the sample, loaded from the first lane's index
// on, hold the samples of one vector of frames: in a checked run the indices
// are trunc(p0 + j * d) for consecutive j, which span at most
// ceil((lanes - 1) * d). 0: they are read one by one (a gather).
int sample_windows(int lanes, float d) {
    if (!(d >= 0.0f)) return 0;
    const float span = static_cast<float>(lanes - 1) * d;
    if (span <= static_cast<float>(lanes - 2)) return 1;
    if (span <= static_cast<float>(2 * lanes - 2)) return 2;
    return 0;
}

// The samples at idx (idx ascending from its first lane, unless windows is 0).
VF read_samples(DF df, const float *sample, int length, hn::Vec<DI> idx, int windows) {
    const DI di;
    const int lanes = static_cast<int>(hn::Lanes(df));
    const int lo = hn::GetLane(idx);
    if (windows == 0 || lo + windows * lanes > length) return hn::GatherIndex(df, sample, idx);
    // Lanes left out of a partial vector read index 0: below lo. Masked,
    // every index stays inside the windows.
    const auto rel = hn::Sub(idx, hn::Set(di, lo));
    const auto wrap = hn::IndicesFromVec(df, hn::And(rel, hn::Set(di, lanes - 1)));
    const VF below = hn::LoadU(df, sample + lo);
    if (windows == 1) return hn::TableLookupLanes(below, wrap);
    const VF above = hn::LoadU(df, sample + lo + lanes);
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
    // One instruction picks from both windows (by the low 5 bits of rel).
    return VF{_mm512_permutex2var_ps(below.raw, rel.raw, above.raw)};
#else
    return hn::IfThenElse(hn::RebindMask(df, hn::Lt(rel, hn::Set(di, lanes))),
                          hn::TableLookupLanes(below, wrap), hn::TableLookupLanes(above, wrap));
#endif
}

// Frames [0, run) of a run that needs no check (run a whole number of
// vectors): positions p0 + j * d. Ring: 0 untouched (it stays +0.0),
// 1 the echo send on, 2 off.
template <int kRing>
void exact_frames(const Voice &v, float p0, float d, int windows, const float *rd, float *wr,
                  float *x, int run) {
    const DF df;
    const DI di;
    const int lanes_max = static_cast<int>(hn::Lanes(df));
    const VF iota = hn::Iota(df, 0.0f), p0v = hn::Set(df, p0), dv = hn::Set(df, d);
    const VF fb = hn::Set(df, 0.6f), send = hn::Set(df, 0.2f);
    const float *sample = v.sample;
    const int length = v.length;
    // Below 2^24 the positions of the run are whole multiples a of the
    // spacing 2^(e-24), a = a0 + j * da, and the sample index is a shifted
    // right by 24 - e: integer steps instead of float ones and a conversion.
    int e;
    std::frexp(p0, &e);
    const int shift = 24 - e;
    const bool whole = shift >= 0 && shift <= 30;
    const hn::RebindToUnsigned<DF> du;
    const uint32_t a0 = whole ? static_cast<uint32_t>(std::ldexp(p0, shift)) : 0;
    const uint32_t da = whole ? static_cast<uint32_t>(std::ldexp(d, shift)) : 0;
    auto a = hn::Add(hn::Set(du, a0), hn::Mul(hn::Iota(du, 0), hn::Set(du, da)));
    const auto a_step = hn::Set(du, da * static_cast<uint32_t>(lanes_max));
    for (int k = 0; k < run; k += lanes_max) {
        hn::Vec<DI> idx;
        if (whole) {
            idx = hn::BitCast(di, hn::ShiftRightSame(a, shift));
            a = hn::Add(a, a_step);
        } else {
            const VF pos =
                hn::Add(p0v, hn::Mul(hn::Add(hn::Set(df, static_cast<float>(k)), iota), dv));
            idx = hn::ConvertTo(di, pos);
        }
        const VF s = read_samples(df, sample, length, idx, windows);
        if constexpr (kRing == 0) {
            hn::StoreU(hn::Add(hn::Zero(df), s), df, x + k);
        } else {
            const VF m = hn::LoadU(df, rd + k);
            const VF xv = hn::Add(m, s);
            hn::StoreU(kRing == 1 ? hn::Mul(xv, send) : hn::Mul(m, fb), df, wr + k);
            hn::StoreU(xv, df, x + k);
        }
    }
}

// v shifted up by one lane, `first` in lane 0.
VF shift_in(DF df, VF v, float first) {
    const DI di;
    const auto idx = hn::Max(hn::Sub(hn::Iota(di, 0), hn::Set(di, 1)), hn::Zero(di));
    const VF moved = hn::TableLookupLanes(v, hn::IndicesFromVec(df, idx));
    return hn::IfThenElse(hn::FirstN(df, 1), hn::Set(df, first), moved);
}

// Running sums over the lanes: lane j gets v[0] + ... + v[j], added in
// doubling strides (exact here: the values are multiples of one spacing and
// their sums stay within a binade, else a check below fails).
VF running_sum(DF df, VF v) {
    const DI di;
    const size_t lanes = hn::Lanes(df);
    for (size_t k = 1; k < lanes; k *= 2) {
        const auto idx =
            hn::Max(hn::Sub(hn::Iota(di, 0), hn::Set(di, static_cast<int>(k))), hn::Zero(di));
        const VF moved = hn::TableLookupLanes(v, hn::IndicesFromVec(df, idx));
        v = hn::Add(v, hn::IfThenZeroElse(hn::FirstN(df, k), moved));
    }
    return v;
}

// A voice whose step slides: vector by vector, the steps guessed as
// s0 + j * ds (ds the rounded slide of the first addition) and the
// positions as p0 plus running sums of the steps, each rounded to the
// spacing of p0's binade (which is what adding it to a position of that
// binade does); every lane checked with the two additions themselves.
// Vectors that fail a check, and positions below 2^-126, go frame by frame.
int slide_stretch(Voice &v, const float *rd, float *wr, float *x, int count, MixStats &st) {
    const DF df;
    const DI di;
    const int lanes_max = static_cast<int>(hn::Lanes(df));
    const VF iota = hn::Iota(df, 0.0f), one = hn::Set(df, 1.0f), zero = hn::Zero(df);
    const VF slidev = hn::Set(df, v.slide), endv = hn::Set(df, v.end);
    const VF fb = hn::Set(df, 0.6f), send = hn::Set(df, 0.2f);
    int i = 0;
    while (i < count) {
        const int lanes = std::min(lanes_max, count - i);
        const auto valid = hn::FirstN(df, static_cast<size_t>(lanes));
        const float p0 = v.pos, s0 = v.step;
        bool ok = p0 >= 1.17549435e-38f && p0 < 1e30f;
        VF pos = zero, next = zero;
        if (ok) {
            int e;
            std::frexp(p0, &e);
            const float mid = std::ldexp(0.75f, e), reach = std::ldexp(1.0f, e - 2);
            const float ds = (s0 + v.slide) - s0;
            const VF s0v = hn::Set(df, s0), dsv = hn::Set(df, ds), midv = hn::Set(df, mid);
            const VF step = hn::Add(s0v, hn::Mul(iota, dsv));
            const VF step_next = hn::Add(s0v, hn::Mul(hn::Add(iota, one), dsv));
            const VF rounded = hn::Sub(hn::Add(midv, step), midv);
            next = hn::Add(hn::Set(df, p0), running_sum(df, rounded));
            pos = shift_in(df, next, p0);
            const auto off = hn::Or(hn::Or(hn::Not(hn::Eq(hn::Add(step, slidev), step_next)),
                                           hn::Not(hn::Eq(hn::Add(pos, step), next))),
                                    hn::Or(hn::Or(hn::Ge(next, endv), hn::Lt(next, zero)),
                                           hn::Not(hn::Lt(hn::Abs(step), hn::Set(df, reach)))));
            ok = hn::AllFalse(df, hn::And(off, valid));
            if (ok) {
                alignas(64) float last[kSlack];
                hn::Store(step_next, df, last);
                v.step = last[lanes - 1];
                hn::Store(next, df, last);
                v.pos = last[lanes - 1];
            }
        }
        if (!ok) {
            const int done = voice_frames(v, rd + i, wr + i, x + i, lanes);
            st.voice_exact += done;
            i += done;
            if (v.pos < 0.0f) return i;
            continue;
        }
        const VF m = v.quiet              ? zero
                     : lanes == lanes_max ? hn::LoadU(df, rd + i)
                                          : load_part(df, rd + i, lanes);
        auto idx = hn::ConvertTo(di, pos);
        idx = hn::IfThenElseZero(hn::RebindMask(di, valid), idx);
        const VF xv = hn::Add(m, hn::GatherIndex(df, v.sample, idx));
        const VF ring = v.echo ? hn::Mul(xv, send) : hn::Mul(m, fb);
        hn::StoreU(xv, df, x + i);
        if (v.quiet) {
        } else if (lanes == lanes_max) {
            hn::StoreU(ring, df, wr + i);
        } else {
            store_part(df, ring, wr + i, lanes);
        }
        st.voice_checked += lanes;
        i += lanes;
    }
    return i;
}

// How many frames from position p0 on the run p0 + j * d follows the
// additions exactly, so that they need no check. Within the binade
// [2^(e-1), 2^e) of a positive normal p0 every position is a multiple of the
// spacing u = 2^(e-24), and as long as pos + step stays below 2^e each
// addition rounds step to the same multiple of u: d, which the first
// addition gave. That fails only for a step exactly half-way between two
// multiples (ties round to even, so the rounding alternates). The run also
// stops before the frame after which the voice would end. One frame is
// kept in hand at either limit against rounding in the double arithmetic.
int exact_run(float p0, float step, float d, float end) {
    if (!(p0 >= 1.17549435e-38f) || !(step > 0.0f) || !(d >= 0.0f) || !(p0 < end)) return 0;
    int e;
    std::frexp(p0, &e);
    const double top = std::ldexp(1.0, e);
    const double half = std::ldexp(1.0, e - 25);
    if (std::fabs(static_cast<double>(step) - static_cast<double>(d)) == half) return 0;
    if (d == 0.0f) return INT_MAX;  // the position never moves
    const double room =
        (top - static_cast<double>(p0) - static_cast<double>(step)) / static_cast<double>(d);
    const double left =
        (static_cast<double>(end) - static_cast<double>(p0)) / static_cast<double>(d);
    const double n = std::min(std::floor(room), std::floor(left) - 1.0) - 1.0;
    return n < 1.0 ? 0 : n > 1e9 ? 1000000000 : static_cast<int>(n);
}

// The voice over a ring stretch (see the top of the file): runs that need no
// check, vectors checked lane by lane where a run ends, frame by frame where
// a check fails. Returns the frames in which it played.
int voice_stretch(Voice &v, const float *rd, float *wr, float *x, int count, MixStats &st) {
    if (v.slide != 0.0f) return slide_stretch(v, rd, wr, x, count, st);
    const DF df;
    const DI di;
    const int lanes_max = static_cast<int>(hn::Lanes(df));
    const VF iota = hn::Iota(df, 0.0f);
    const VF one = hn::Set(df, 1.0f), zero = hn::Zero(df);
    const VF stepv = hn::Set(df, v.step), endv = hn::Set(df, v.end);
    const VF fb = hn::Set(df, 0.6f), send = hn::Set(df, 0.2f);
    int i = 0;
    while (i < count) {
        const float p0 = v.pos, d = (p0 + v.step) - p0;
        const VF p0v = hn::Set(df, p0), dv = hn::Set(df, d);
        const int windows = sample_windows(lanes_max, d);
        const int run =
            std::min(exact_run(p0, v.step, d, v.end), count - i) / lanes_max * lanes_max;
        if (run > 0) {
            if (v.quiet)
                exact_frames<0>(v, p0, d, windows, rd + i, wr + i, x + i, run);
            else if (v.echo)
                exact_frames<1>(v, p0, d, windows, rd + i, wr + i, x + i, run);
            else
                exact_frames<2>(v, p0, d, windows, rd + i, wr + i, x + i, run);
            v.pos = p0 + static_cast<float>(run) * d;
            v.step += v.slide;  // a zero slide: the step keeps its value
            st.voice_vector += run;
            i += run;
            continue;
        }
        // One vector whose guesses are checked with the additions themselves.
        const int lanes = std::min(lanes_max, count - i);
        const VF pos = hn::Add(p0v, hn::Mul(iota, dv));
        const VF next = hn::Add(p0v, hn::Mul(hn::Add(iota, one), dv));
        const auto valid = hn::FirstN(df, static_cast<size_t>(lanes));
        // A lane is wrong if its guess is not what the addition gives (NaN
        // included), and ends the run if the voice stops after it.
        const auto off = hn::Or(hn::Not(hn::Eq(hn::Add(pos, stepv), next)),
                                hn::Or(hn::Ge(next, endv), hn::Lt(next, zero)));
        if (!hn::AllFalse(df, hn::And(off, valid))) {
            const int done = voice_frames(v, rd + i, wr + i, x + i, lanes);
            st.voice_exact += done;
            i += done;
            if (v.pos < 0.0f) return i;
            continue;
        }
        const VF m = v.quiet              ? zero
                     : lanes == lanes_max ? hn::LoadU(df, rd + i)
                                          : load_part(df, rd + i, lanes);
        auto idx = hn::ConvertTo(di, pos);
        idx = hn::IfThenElseZero(hn::RebindMask(di, valid), idx);
        const VF xv = hn::Add(m, read_samples(df, v.sample, v.length, idx, windows));
        const VF ring = v.echo ? hn::Mul(xv, send) : hn::Mul(m, fb);
        hn::StoreU(xv, df, x + i);
        if (v.quiet) {
        } else if (lanes == lanes_max) {
            hn::StoreU(ring, df, wr + i);
        } else {
            store_part(df, ring, wr + i, lanes);
        }
        v.pos = p0 + static_cast<float>(lanes) * d;
        v.step += v.slide;
        st.voice_checked += lanes;
        i += lanes;
    }
    return i;
}

// The ring recirculating under an idle voice. Returns true when every slot
// read held +0.0 (bit for bit), so the stretch's signal is all +0.0; that
// signal is written to x only if fill is set.
bool idle_stretch(const float *rd, float *wr, float *x, int count, bool fill, MixStats &st) {
    const DF df;
    const DI di;
    const int lanes_max = static_cast<int>(hn::Lanes(df));
    const auto none = hn::Zero(di);
    int i = 0;
    bool silent = true;
    for (; silent && i + 4 * lanes_max <= count; i += 4 * lanes_max) {
        const auto a = hn::Or(hn::BitCast(di, hn::LoadU(df, rd + i)),
                              hn::BitCast(di, hn::LoadU(df, rd + i + lanes_max)));
        const auto b = hn::Or(hn::BitCast(di, hn::LoadU(df, rd + i + 2 * lanes_max)),
                              hn::BitCast(di, hn::LoadU(df, rd + i + 3 * lanes_max)));
        silent = hn::AllTrue(di, hn::Eq(hn::Or(a, b), none));
    }
    for (; silent && i < count; ++i) {
        uint32_t b;
        std::memcpy(&b, rd + i, sizeof b);
        silent = b == 0;
    }
    if (silent) {
        // Every slot written but the first takes a +0.0 it already holds.
        wr[0] = 0.0f;
        if (fill)
            for (i = 0; i < count; i += lanes_max) hn::StoreU(hn::Zero(df), df, x + i);
        st.quiet_frames += count;
        return true;
    }
    const VF fb = hn::Set(df, 0.6f);
    // The ring is written one slot behind where it is read: the writes are
    // aligned, the reads not (a store across two cache lines costs more).
    i = 0;
    for (; i < count && reinterpret_cast<uintptr_t>(wr + i) % (sizeof(float) * lanes_max) != 0;
         ++i) {
        const float m = rd[i];
        wr[i] = m * 0.6f;
        x[i] = m;
    }
    for (; i + lanes_max <= count; i += lanes_max) {
        const VF m = hn::LoadU(df, rd + i);
        hn::Store(hn::Mul(m, fb), df, wr + i);
        hn::StoreU(m, df, x + i);
    }
    for (; i < count; ++i) {
        const float m = rd[i];
        wr[i] = m * 0.6f;
        x[i] = m;
    }
    st.echo_frames += count;
    return false;
}

// Whether every slot of ring ch holds +0.0, bit for bit.
bool ring_all_zero(int ch) {
    const DF df;
    const DI di;
    const int lanes_max = static_cast<int>(hn::Lanes(df));
    const float *ring = echo_line[ch].data();
    const int size = static_cast<int>(echo_line[ch].size());
    auto bits = hn::Zero(di);
    int i = 0;
    for (; i + lanes_max <= size; i += lanes_max)
        bits = hn::Or(bits, hn::BitCast(di, hn::LoadU(df, ring + i)));
    uint32_t rest = 0;
    for (; i < size; ++i) {
        uint32_t b;
        std::memcpy(&b, ring + i, sizeof b);
        rest |= b;
    }
    return rest == 0 && hn::AllTrue(di, hn::Eq(bits, hn::Zero(di)));
}

// Voice and echo of channel ch over the chunk into x (before the low-pass).
// Returns true when x is all +0.0 and the voice stayed idle; *active: the
// frames from which on x is +0.0 (count: none known), not all written.
bool voice_and_echo(int ch, int c0, int count, float *x, int *active, MixStats &st) {
    const int len = echo_length;
    float *ring = echo_line[ch].data();
    Voice v{chan_pos[ch],           chan_step[ch],
            chan_slide[ch],         static_cast<float>(inst_length[ch]),
            inst_sample[ch].data(), inst_length[ch],
            chan_echo[ch] != 0,     false};
    bool silent = v.pos < 0.0f;
    // A ring known to hold only +0.0 stays so unless a voice sends into it
    // (a voice starts only at a chunk's first frame): it is not touched.
    MixRing &known = mix_rings[ch];
    if (known.quiet &&
        (known.data != ring || known.size != echo_line[ch].size() || (v.echo && !silent)))
        known.quiet = false;
    *active = count;
    if (known.quiet) {
        v.quiet = true;
        int played = 0;
        if (!silent) played = voice_stretch(v, ring, ring, x, count, st);
        // From here on x is +0.0; only the vector that holds its start is
        // written (the filter writes the rest if it needs them).
        const DF df;
        if (played < count) hn::StoreU(hn::Zero(df), df, x + played);
        *active = played;
        st.quiet_frames += count - played;
        chan_pos[ch] = v.pos;
        chan_step[ch] = v.step;
        return silent;
    }
    // Ring slots come from the absolute frame counter; a negative counter (a
    // host may rewind it) still maps into the ring.
    int w = c0 % len;
    if (w < 0) w += len;
    for (int j = 0; j < count;) {
        const int r = w + 1 == len ? 0 : w + 1;
        // A stretch in which neither the read nor the write slot wraps.
        const int n = std::min({count - j, len - r, len - w});
        int played = 0;
        if (!(v.pos < 0.0f)) played = voice_stretch(v, ring + r, ring + w, x + j, n, st);
        if (played < n) {
            // While the chunk is silent so far its zeros are not written:
            // most such chunks stay silent and x is then not read.
            const bool zeros = idle_stretch(ring + r + played, ring + w + played, x + j + played,
                                            n - played, !silent, st);
            if (silent && !zeros) std::fill(x, x + j, 0.0f);
            silent &= zeros;
        }
        j += n;
        w += n;
        if (w >= len) w -= len;
    }
    chan_pos[ch] = v.pos;
    chan_step[ch] = v.step;
    if (silent) {
        const DF df;
        hn::StoreU(hn::Zero(df), df, x);
        *active = 0;
    }
    // A silent chunk may mean a silent ring: look at all of it, at most once
    // per ring length of frames while the answer is no.
    if (silent &&
        (!known.looked || static_cast<unsigned>(c0) - static_cast<unsigned>(known.looked_at) >=
                              static_cast<unsigned>(len))) {
        known = MixRing{ring, echo_line[ch].size(), ring_all_zero(ch), true, c0};
    }
    return silent;
}

bool bits_zero(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b == 0;
}

// Whether channel ch adds anything but zeros to the chunk (see the top of the
// file); when it does and its filter is on, scales its signal by 1 - k, the
// input term of the filter, and returns its filter in *chain.
bool prepare_filter(int ch, int count, float *x, bool silent, int active, bool *chain,
                    MixStats &st) {
    const DF df;
    const int lanes_max = static_cast<int>(hn::Lanes(df));
    const float k = chan_lowpass[ch];
    const float vol = chan_vol[ch], pan = chan_pan[ch], rest = 1.0f - pan;
    *chain = false;
    if (silent && std::isfinite(k) && (k == 0.0f || bits_zero(chan_lowpass_prev[ch])) &&
        std::isfinite(vol) && std::isfinite(pan) && std::isfinite(rest)) {
        // From +0.0 inputs a filter at +0.0 stays at +0.0 for any finite k.
        chan_lowpass_prev[ch] = 0.0f;
        st.skipped_frames += count;
        return false;
    }
    if (k == 0.0f) {
        chan_lowpass_prev[ch] = active < count ? 0.0f : x[count - 1];
        return true;
    }
    for (int i = active; i < count; i += lanes_max) hn::StoreU(hn::Zero(df), df, x + i);
    const VF scale = hn::Set(df, 1.0f - k);
    for (int i = 0; i < count; i += lanes_max)
        hn::Store(hn::Mul(hn::Load(df, x + i), scale), df, x + i);
    *chain = true;
    st.lowpass_frames += count;
    return true;
}

// The filters y = k * y_prev + x of G channels, frame by frame: each is a
// chain through its previous output, so G of them run side by side.
template <int G>
void filter_chains(const int *chs, int count) {
    float y[G], k[G];
    float *x[G];
    for (int g = 0; g < G; ++g) {
        y[g] = chan_lowpass_prev[chs[g]];
        k[g] = chan_lowpass[chs[g]];
        x[g] = signal[chs[g]];
    }
    for (int i = 0; i < count; ++i) {
        for (int g = 0; g < G; ++g) {
            y[g] = k[g] * y[g] + x[g][i];
            x[g][i] = y[g];
        }
    }
    for (int g = 0; g < G; ++g) chan_lowpass_prev[chs[g]] = y[g];
}

void run_filters(const int *chs, int n, int count) {
    for (; n >= 8; chs += 8, n -= 8) filter_chains<8>(chs, count);
    if (n >= 4) {
        filter_chains<4>(chs, count);
        chs += 4;
        n -= 4;
    }
    if (n >= 2) {
        filter_chains<2>(chs, count);
        chs += 2;
        n -= 2;
    }
    if (n == 1) filter_chains<1>(chs, count);
}

// What the sums take from each listed channel: its signal (or, for a
// channel whose idle voice lets its ring recirculate, the ring's read slots:
// then `ring` is where the sums write the ring back, at 0.6), gains, and the
// frames after which it adds only +0.0.
struct Part {
    const float *signal;
    float *ring;
    float vol, pan, rest;
    int active;
};

// Volume and pan of the listed channels summed in their order, clipped and
// scaled into 16-bit frames (NaN as silence) and written to out.
void sum_and_write(const Part *parts, int listed, int count, short *out) {
    const DF df;
    const DI di;
    const int lanes_max = static_cast<int>(hn::Lanes(df));
    const VF lo = hn::Set(df, -3.0f), hi = hn::Set(df, 3.0f), scale = hn::Set(df, 10922.0f);
    const VF fb = hn::Set(df, 0.6f);
    const auto low16 = hn::Set(di, 0xffff);
    // Clipped and scaled, a sum truncates to a whole number below 2^15 in
    // magnitude; added to 1.5 * 2^23 (exactly) it stands in the low bits of
    // the float, two's complement in the low 16 of them.
    const VF magic = hn::Set(df, 12582912.0f);
    auto to_int = [&](VF v) {
        v = hn::IfThenElseZero(hn::Eq(v, v), v);
        v = hn::Min(hn::Max(v, lo), hi);
        return hn::BitCast(di, hn::Add(hn::Trunc(hn::Mul(v, scale)), magic));
    };
    // A channel's signal at frame i; a ring read there is written back, for
    // the n frames of the vector that belong to the chunk. The ring is read
    // at slot c + 1 and written at slot c: vector by vector in frame order,
    // no read sees a write of this chunk.
    auto take = [&](const Part &p, int i, int n) {
        const VF m = hn::LoadU(df, p.signal + i);
        if (p.ring) {
            if (n == lanes_max) {
                hn::StoreU(hn::Mul(m, fb), df, p.ring + i);
            } else {
                alignas(64) float tmp[kSlack];
                hn::Store(hn::Mul(m, fb), df, tmp);
                std::memcpy(p.ring + i, tmp, sizeof(float) * static_cast<size_t>(n));
            }
        }
        return m;
    };
    // A frame is two 16-bit samples, left first: on a little-endian machine
    // one 32-bit word, left in the low half (the clipped values fit 16 bits).
    auto frames = [&](int i, int n) {
        VF left = hn::Zero(df), right = hn::Zero(df);
        for (int k = 0; k < listed; ++k) {
            const Part &p = parts[k];
            // Behind its active frames a channel adds +0.0: nothing.
            if (i >= p.active) continue;
            const VF g = hn::Mul(take(p, i, n), hn::Set(df, p.vol));
            left = hn::Add(left, hn::Mul(g, hn::Set(df, p.pan)));
            right = hn::Add(right, hn::Mul(g, hn::Set(df, p.rest)));
        }
        return hn::Or(hn::And(to_int(left), low16), hn::ShiftLeft<16>(to_int(right)));
    };
    auto write_part = [&](int i, int n) {
        alignas(64) int32_t tmp[kSlack];
        hn::Store(frames(i, n), di, tmp);
        std::memcpy(out + 2 * i, tmp, sizeof(int32_t) * static_cast<size_t>(n));
    };
    // The song is written once and read much later: past the cache, in
    // whole aligned vectors, after the frames up to the first such boundary.
    const uintptr_t at = reinterpret_cast<uintptr_t>(out), vector = sizeof(int32_t) * lanes_max;
    int i =
        at % sizeof(int32_t) != 0
            ? count
            : std::min(count, static_cast<int>((vector - at % vector) % vector / sizeof(int32_t)));
    for (int j = 0; j < i; j += lanes_max) write_part(j, std::min(lanes_max, i - j));
    // Two vectors of frames at a time: the loop over the channels costs half.
    for (; i + 2 * lanes_max <= count; i += 2 * lanes_max) {
        const int i2 = i + lanes_max;
        VF l1 = hn::Zero(df), r1 = hn::Zero(df), l2 = hn::Zero(df), r2 = hn::Zero(df);
        for (int k = 0; k < listed; ++k) {
            const Part &p = parts[k];
            if (i >= p.active) continue;
            const VF v = hn::Set(df, p.vol), pn = hn::Set(df, p.pan), rs = hn::Set(df, p.rest);
            const VF g1 = hn::Mul(take(p, i, lanes_max), v);
            l1 = hn::Add(l1, hn::Mul(g1, pn));
            r1 = hn::Add(r1, hn::Mul(g1, rs));
            if (i2 >= p.active) continue;
            const VF g2 = hn::Mul(take(p, i2, lanes_max), v);
            l2 = hn::Add(l2, hn::Mul(g2, pn));
            r2 = hn::Add(r2, hn::Mul(g2, rs));
        }
        hn::Stream(hn::Or(hn::And(to_int(l1), low16), hn::ShiftLeft<16>(to_int(r1))), di,
                   reinterpret_cast<int32_t *>(out + 2 * i));
        hn::Stream(hn::Or(hn::And(to_int(l2), low16), hn::ShiftLeft<16>(to_int(r2))), di,
                   reinterpret_cast<int32_t *>(out + 2 * i2));
    }
    for (; i + lanes_max <= count; i += lanes_max)
        hn::Stream(frames(i, lanes_max), di, reinterpret_cast<int32_t *>(out + 2 * i));
    if (i < count) write_part(i, count - i);
    hwy::FlushStream();
}

// Whether channel ch's chunk is only its ring recirculating into an
// unfiltered signal, the ring neither wrapping nor silent where read: then
// the sums read and write the ring themselves (no signal in between).
// Returns the ring's read slots for frame 0, or null.
float *ring_for_sums(int ch, int c0, int count) {
    if (!(chan_pos[ch] < 0.0f) || chan_lowpass[ch] != 0.0f) return nullptr;
    const MixRing &known = mix_rings[ch];
    float *ring = echo_line[ch].data();
    if (known.quiet && known.data == ring && known.size == echo_line[ch].size()) return nullptr;
    const int len = echo_length;
    int w = c0 % len;
    if (w < 0) w += len;
    const int r = w + 1;
    const DF df;
    const int lanes_max = static_cast<int>(hn::Lanes(df));
    if (r + count > len || static_cast<size_t>(r + count + lanes_max) > echo_line[ch].size())
        return nullptr;
    // A silent stretch goes the other way, which skips it (and may find the
    // whole ring silent).
    const DI di;
    const auto none = hn::Zero(di);
    for (int i = 0; i + lanes_max <= count; i += lanes_max)
        if (!hn::AllTrue(di, hn::Eq(hn::BitCast(di, hn::LoadU(df, ring + r + i)), none)))
            return ring + r;
    return nullptr;
}

}  // namespace

void MixChunk(int c0, int count, int channels, short *out) {
    MixStats st{};
    Part parts[kSlots];
    int listed = 0, filtered[kSlots], chains = 0;
    for (int ch = 1; ch <= channels; ++ch) {
        if (chan_mute[ch]) continue;
        const float vol = chan_vol[ch], pan = chan_pan[ch], rest = 1.0f - pan;
        if (float *rd = ring_for_sums(ch, c0, count)) {
            // Its signal is the ring as read; the filter (off) keeps the last.
            chan_lowpass_prev[ch] = rd[count - 1];
            parts[listed++] = Part{rd, rd - 1, vol, pan, rest, count};
            st.echo_frames += count;
            continue;
        }
        int frames = count;
        const bool silent = voice_and_echo(ch, c0, count, signal[ch], &frames, st);
        bool chain = false;
        if (prepare_filter(ch, count, signal[ch], silent, frames, &chain, st)) {
            // A filter rings on past the voice; so do NaN and infinite gains.
            const bool zeros_add_nothing =
                !chain && std::isfinite(vol) && std::isfinite(pan) && std::isfinite(rest);
            if (!zeros_add_nothing && !chain) {
                const DF df;
                for (int i = frames; i < count; i += static_cast<int>(hn::Lanes(df)))
                    hn::StoreU(hn::Zero(df), df, signal[ch] + i);
            }
            parts[listed++] =
                Part{signal[ch], nullptr, vol, pan, rest, zeros_add_nothing ? frames : count};
        }
        if (chain) filtered[chains++] = ch;
    }
    run_filters(filtered, chains, count);
    sum_and_write(parts, listed, count, out);
    st.frames = count;
    mix_stats.add(st);
}

}  // namespace HWY_NAMESPACE
}  // namespace syna
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace syna {

void mix_forget() {
    for (MixRing &r : mix_rings) r = MixRing{};
}
alignas(64) float mix_signal[kSlots][kChunkFrames + kMixSlack];

#if defined(HWY_COMPILE_ONLY_STATIC) || defined(HWY_COMPILE_ONLY_SCALAR)

void mix_chunk(int c0, int count, int channels, short *out) {
    HWY_STATIC_DISPATCH(MixChunk)(c0, count, channels, out);
}

std::vector<MixTarget> mix_targets() {
    return {{HWY_STATIC_TARGET, hwy::TargetName(HWY_STATIC_TARGET)}};
}

void pin_mix_target(long long) {}

#else

// Our own choice of vector unit instead of Highway's: its library runs a
// timing instruction when it is loaded that some virtual processors do not
// announce, and valgrind stops the program on it. The feature sets are the
// ones Highway compiles each target for, so the code of a target is only
// run where all its instructions are available.
namespace {

using MixFn = void (*)(int, int, int, short *);
struct Compiled {
    int64_t target;
    MixFn fn;
};
// Best first; the last one runs anywhere.
constexpr Compiled kCompiled[] = {
#if HWY_TARGETS & HWY_AVX3_DL
    {HWY_AVX3_DL, &N_AVX3_DL::MixChunk},
#endif
#if HWY_TARGETS & HWY_AVX3
    {HWY_AVX3, &N_AVX3::MixChunk},
#endif
#if HWY_TARGETS & HWY_AVX2
    {HWY_AVX2, &N_AVX2::MixChunk},
#endif
#if HWY_TARGETS & HWY_SSE4
    {HWY_SSE4, &N_SSE4::MixChunk},
#endif
#if HWY_TARGETS & HWY_SSSE3
    {HWY_SSSE3, &N_SSSE3::MixChunk},
#endif
#if HWY_TARGETS & HWY_EMU128
    {HWY_EMU128, &N_EMU128::MixChunk},
#endif
#if HWY_TARGETS & HWY_SCALAR
    {HWY_SCALAR, &N_SCALAR::MixChunk},
#endif
};

bool bits(unsigned reg, std::initializer_list<int> which) {
    for (int b : which)
        if (!(reg >> b & 1u)) return false;
    return true;
}

// The targets this processor and its operating system can run.
int64_t cpu_targets() {
    int64_t ok = HWY_SCALAR | HWY_EMU128;
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return ok;
    const unsigned c1 = c, d1 = d;
    unsigned b7 = 0, c7 = 0, c81 = 0;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) b7 = b, c7 = c;
    if (__get_cpuid(0x80000001u, &a, &b, &c, &d)) c81 = c;
    // sse, sse2 | sse3, ssse3
    const bool ssse3 = bits(d1, {25, 26}) && bits(c1, {0, 9});
    // sse4.1, sse4.2, pclmul, aes
    const bool sse4 = ssse3 && bits(c1, {19, 20, 1, 25});
    // The registers' upper halves are saved by the system (xgetbv).
    unsigned xcr0 = 0;
    if (bits(c1, {27})) {
        unsigned lo, hi;
        __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        xcr0 = lo;
    }
    // avx, fma, f16c | avx2, bmi, bmi2 | lzcnt
    const bool avx2 = sse4 && (xcr0 & 0x6u) == 0x6u && bits(c1, {28, 12, 29}) &&
                      bits(b7, {5, 3, 8}) && bits(c81, {5});
    // avx512 f, dq, bw, vl, and the opmask and upper register state
    const bool avx3 = avx2 && (xcr0 & 0xE0u) == 0xE0u && bits(b7, {16, 17, 30, 31});
    // vbmi, vbmi2, vaes, vpclmulqdq, vnni, bitalg, vpopcntdq
    const bool avx3_dl = avx3 && bits(c7, {1, 6, 9, 10, 11, 12, 14});
    if (ssse3) ok |= HWY_SSSE3;
    if (sse4) ok |= HWY_SSE4;
    if (avx2) ok |= HWY_AVX2;
    if (avx3) ok |= HWY_AVX3;
    if (avx3_dl) ok |= HWY_AVX3_DL;
    return ok;
}

const Compiled &chosen() {
    static const int64_t have = cpu_targets();
    for (const Compiled &t : kCompiled)
        if ((have & t.target) && (!synth.mix_pinned || synth.mix_pinned == t.target)) return t;
    return kCompiled[std::size(kCompiled) - 1];
}

}  // namespace

void mix_chunk(int c0, int count, int channels, short *out) {
    chosen().fn(c0, count, channels, out);
}

std::vector<MixTarget> mix_targets() {
    const int64_t have = cpu_targets();
    std::vector<MixTarget> list;
    for (const Compiled &t : kCompiled)
        if (have & t.target) list.push_back({t.target, hwy::TargetName(t.target)});
    return list;
}

void pin_mix_target(long long target) { synth.mix_pinned = target; }

#endif

}  // namespace syna
#endif
