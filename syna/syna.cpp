/* syna.cpp - synthesizer state, syna_init, the sequencer, syna_play and the
 * live control functions; also the plain frame-by-frame mixer
 * (play_reference) that the fast one in syna_mix.cpp is held to.
 *
 * Use: syna_init(rate); syna_get(text) or syna_load(path); then syna_play as
 * often as needed. Live control calls go between syna_play calls.
 *
 * syna_play cuts its frames into chunks that end at row boundaries, at the
 * wrap of the frame counter and after kChunkFrames frames, runs the
 * sequencer at the start of a chunk that starts a row, and has the fast
 * mixer render the chunk. Any split of the frames into calls gives the same
 * bytes, and the same bytes as play_reference.
 *
 * Limits: one synthesizer per process, not thread-safe. All sample
 * arithmetic in the mixers is 32-bit float with float constants and must
 * stay that way (the build forbids FMA contraction) so that renders are
 * bit-identical everywhere. Subnormal echo tails are computed as plain IEEE
 * arithmetic gives them, never flushed.
 */
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

#include "syna_internal.h"

extern "C" {
int syna_counter = 0;
int syna_row = 0;
}

namespace syna {

// Zero-initialized, as reset() makes it again (see Synth).
Synth synth;
syna_row_print_fn row_print = syna_print_row;

// Keyword of every cell code, in code order, then the end entry.
// clang-format off
const char *const note_names[78] = {
    "c1", "C1", "d1", "D1", "e1", "f1", "F1", "g1", "G1", "a1", "A1", "b1",
    "c2", "C2", "d2", "D2", "e2", "f2", "F2", "g2", "G2", "a2", "A2", "b2",
    "c3", "C3", "d3", "D3", "e3", "f3", "F3", "g3", "G3", "a3", "A3", "b3",
    "c4", "C4", "d4", "D4", "e4", "f4", "F4", "g4", "G4", "a4", "A4", "b4",
    "c5", "C5", "d5", "D5", "e5", "f5", "F5", "g5", "G5", "a5", "A5", "b5",
    "c6", "C6", "d6", "D6", "e6", "f6", "F6", "g6", "G6", "a6", "A6", "b6",
    "echo1", "echo0", "stop", "vol", "sld", "0"};
// clang-format on

namespace {

// The top octave; lower octaves are derived by halving.
constexpr int kTopOctave[12] = {1047, 1109, 1175, 1245, 1319, 1397,
                                1480, 1568, 1661, 1760, 1864, 1976};

// 1/262 rounded to float: a note's step is its frequency over the ~262 Hz
// base pitch of the waveform tables.
constexpr float kStepPerHz = 1.0f / 262.0f;

bool track_empty(int ch) { return tracks[ch][0] == kEnd; }

void start_note(int ch, int code) {
    long long n = static_cast<long long>(code) + chan_transpose[ch];
    if (n < 0) n = 0;
    if (n > kNotes - 1) n = kNotes - 1;
    chan_pos[ch] = 0.0f;
    chan_step[ch] = static_cast<float>(note_freq[n]) * kStepPerHz;
}

// Steps every walked channel to its next cell and carries the cell out.
void sequencer_step(int channels) {
    for (int ch = 1; ch <= channels; ++ch) {
        chan_mute[ch] = chan_mute_next[ch];
        if (track_pos[ch] == kEnd) continue;
        // A row counter that the song's author left on channel 11 to follow
        // playback; hosts may read it from standard output, so it stays
        // unless the host silences it.
        if (ch == 11 && row_print) row_print(pattern_pos[11]);
        pattern_pos[ch] += 1;
        if (track_pos[ch] == kNotStarted ||
            patterns[tracks[ch][track_pos[ch]]][pattern_pos[ch]] == kEnd) {
            int t = track_pos[ch] + 1;
            int e = tracks[ch][t];
            if (e == kLoop) {
                t = 0;
                e = tracks[ch][0];
            }
            track_pos[ch] = (e == kEnd) ? kEnd : t;
            pattern_pos[ch] = 0;
        }
        if (track_pos[ch] == kEnd) continue;
        const int *pat = patterns[tracks[ch][track_pos[ch]]];
        int code = pat[pattern_pos[ch]];
        if (code >= 0 && code < kNotes) {
            start_note(ch, code);
        } else if (code == kEcho1) {
            chan_echo[ch] = 1;
        } else if (code == kEcho0) {
            chan_echo[ch] = 0;
        } else if (code == kStop) {
            chan_pos[ch] = -1.0f;
        } else if (cell_entries(code) == 2) {
            pattern_pos[ch] += 1;  // onto the parameter, which is no cell
            const int param = pat[pattern_pos[ch]];
            if (code == kVol)
                chan_vol[ch] = static_cast<float>(param * 0.01);
            else
                chan_slide[ch] = static_cast<float>(param * 0.00001);
        }
    }
}

// Mixes one frame at frame counter c into 16-bit left and right samples.
void mix_frame(int c, int channels, short *out) {
    float left = 0.0f, right = 0.0f;
    const int len = echo_length;
    // Ring slots come from the absolute frame counter. A negative counter (a
    // host may rewind it) still maps into the ring.
    int write = c % len;
    if (write < 0) write += len;
    int read = write + 1;
    if (read == len) read = 0;
    for (int ch = 1; ch <= channels; ++ch) {
        if (chan_mute[ch]) continue;
        float *ring = echo_line[ch].data();
        float m = ring[read];
        ring[write] = m * 0.6f;
        float x;
        if (!(chan_pos[ch] < 0.0f)) {
            float s = inst_sample[ch][static_cast<int>(chan_pos[ch])];
            x = m + s;
            if (chan_echo[ch]) ring[write] = x * 0.2f;
            chan_pos[ch] += chan_step[ch];
            chan_step[ch] += chan_slide[ch];
            if (chan_pos[ch] >= static_cast<float>(inst_length[ch]) || chan_pos[ch] < 0.0f)
                chan_pos[ch] = -1.0f;
        } else {
            x = m;
        }
        float k = chan_lowpass[ch];
        if (k != 0.0f) x = k * chan_lowpass_prev[ch] + (1.0f - k) * x;
        chan_lowpass_prev[ch] = x;
        float g = x * chan_vol[ch];
        left += g * chan_pan[ch];
        right += g * (1.0f - chan_pan[ch]);
    }
    // An unstable filter (low-pass above 1.0) can run to inf - inf; NaN has
    // no 16-bit value, so it is written as silence.
    if (left != left) left = 0.0f;
    if (right != right) right = 0.0f;
    if (left > 3.0f) left = 3.0f;
    if (left < -3.0f) left = -3.0f;
    if (right > 3.0f) right = 3.0f;
    if (right < -3.0f) right = -3.0f;
    out[0] = static_cast<short>(static_cast<int>(left * 10922.0f));
    out[1] = static_cast<short>(static_cast<int>(right * 10922.0f));
}

// The plain mixer's loop: frame by frame, the sequencer at every row start.
void plain_frames(short *out, int frames, int channels) {
    for (int i = 0; i < frames; ++i) {
        const int c = syna_counter;
        short frame[2] = {0, 0};
        // Without a tempo no row can be timed: render silence rather than
        // divide by zero (the parser refuses songs that would need one).
        if (row_samples > 0) {
            if (c % row_samples == 0) {
                if (first_row)
                    first_row = 0;
                else
                    syna_row += 1;
                if (channels > 0) sequencer_step(channels);
            }
            if (channels > 0) mix_frame(c, channels, frame);
        }
        out[2 * i] = frame[0];
        out[2 * i + 1] = frame[1];
        syna_counter = static_cast<int>(static_cast<unsigned>(c) + 1u);
    }
}

bool channel_usable(int channel) {
    return channel >= 0 && channel < kSlots && !track_empty(channel);
}

}  // namespace

int row_length_for_bpm(long long bpm) {
    // The tempo formula works on 32-bit ints; tempos whose 10 x bpm would not
    // fit, or that give a divisor or a row length below 1, are unusable.
    if (bpm < 3 || bpm > 214748364) return 0;
    int divisor = static_cast<int>(10 * bpm) / 25;
    long long rows = 6LL * sample_rate / divisor;
    if (rows < 1 || rows > 715827882) return 0;  // echo_length = 3 x rows must fit
    return static_cast<int>(rows);
}

int walked_channels() { return channel_walk(track_empty); }

void reset() {
    // In place: the state is too large for a temporary on a thread's stack.
    std::destroy_at(&synth);
    std::construct_at(&synth);
    syna_counter = 0;
    syna_row = 0;
}

int end_index(const int *entries) {
    for (int i = 0; i < kEntries; ++i)
        if (entries[i] == kEnd) return i;
    return kEntries;
}

}  // namespace syna

using namespace syna;

extern "C" void syna_init(int rate) {
    // An absurd rate would allocate gigabytes of noise table; the song
    // parser reports the refusal, since this call has no result.
    rate_refused = rate < SYNA_MIN_RATE || rate > SYNA_MAX_RATE;
    refused_rate = rate_refused ? rate : 0;
    if (rate_refused) {
        sample_rate = wave_length = row_samples = 0;
        pending_row_samples = kNoPendingTempo;
        for (auto &table : wave_tables) std::vector<float>().swap(table);
        for (int ch = 0; ch < kSlots; ++ch) {
            chan_pos[ch] = -1.0f;
            track_pos[ch] = kNotStarted;
            tracks[ch][0] = kEnd;
        }
        return;
    }
    wave_length = rate / 262;
    sample_rate = rate;
    syna_row = 0;
    first_row = 1;
    syna_counter = 0;
    pending_row_samples = kNoPendingTempo;

    for (int k = 60; k < kNotes; ++k) note_freq[k] = kTopOctave[k - 60];
    for (int k = 59; k >= 0; --k) note_freq[k] = note_freq[k + 12] / 2;

    const int wl = wave_length > 0 ? wave_length : 0;
    for (int w = 0; w < 3; ++w) wave_tables[w].assign(static_cast<size_t>(wl), 0.0f);
    if (wave_length > 0) {
        const double d = (1.0 / wave_length) * 6.283185307179586;
        const int half = wave_length / 2;
        for (int i = 0; i < wave_length; ++i) {
            wave_tables[0][i] = i < half ? -1.0f : 1.0f;
            wave_tables[1][i] = static_cast<float>(std::sin(i * d));
            wave_tables[2][i] =
                static_cast<float>(std::fmod(1.0 + i * 2 * (1.0 / wave_length), 2.0) - 1.0);
        }
    }
    const int n = rate > 0 ? rate : 0;
    wave_tables[3].assign(static_cast<size_t>(n), 0.0f);
    for (int i = 0; i < n; ++i)
        wave_tables[3][i] = static_cast<float>(synth.noise_rand.next() % 2000 - 1000) * 0.001f;

    for (int ch = 0; ch < kSlots; ++ch) {
        chan_pos[ch] = -1.0f;
        chan_step[ch] = 0.0f;
        chan_slide[ch] = 0.0f;
        chan_vol[ch] = 1.0f;
        chan_pan[ch] = (ch % 2 == 0) ? 0.6f : 0.4f;
        chan_lowpass[ch] = 0.0f;
        chan_lowpass_prev[ch] = 0.0f;
        chan_echo[ch] = 0;
        chan_mute_next[ch] = 0;
        chan_mute[ch] = 0;
        chan_transpose[ch] = 0;
        track_pos[ch] = kNotStarted;
        tracks[ch][0] = kEnd;
    }
}

extern "C" void syna_play(short *out, int frames) {
    if (pending_row_samples != kNoPendingTempo) {
        row_samples = pending_row_samples;
        pending_row_samples = kNoPendingTempo;
    }
    const int channels = walked_channels();
    // Rows of a few frames: every chunk of the fast mixer would be one row,
    // and its set-up per chunk would cost more than mixing frame by frame
    // (syna_limits_bench, BM_ShortRows). Same bytes either way: the plain
    // mixer is the reference.
    if (row_samples > 0 && row_samples < kShortRowFrames && channels > 0) {
        mix_forget();  // the plain mixer writes the rings
        plain_frames(out, frames, channels);
        mix_stats.plain_frames += frames;
        return;
    }
    for (int i = 0; i < frames;) {
        const int c = syna_counter;
        long long n = frames - i;
        if (row_samples > 0) {
            int r = c % row_samples;
            if (r == 0) {
                if (first_row)
                    first_row = 0;
                else
                    syna_row += 1;
                if (channels > 0) sequencer_step(channels);
            }
            if (r < 0) r += row_samples;
            n = std::min<long long>(n, row_samples - r);
        }
        // Row and ring slots follow the counter's remainders, which jump
        // where it wraps from INT_MAX to INT_MIN.
        n = std::min(
            {n, static_cast<long long>(INT_MAX) - c + 1, static_cast<long long>(kChunkFrames)});
        short *o = out + 2 * static_cast<long long>(i);
        if (row_samples > 0 && channels > 0)
            mix_chunk(c, static_cast<int>(n), channels, o);
        else
            std::memset(o, 0, sizeof(short) * 2 * static_cast<size_t>(n));
        syna_counter = static_cast<int>(static_cast<unsigned>(c) + static_cast<unsigned>(n));
        i += static_cast<int>(n);
    }
}

void syna::play_reference(short *out, int frames) {
    mix_forget();  // this mixer writes the rings without telling the fast one
    if (pending_row_samples != kNoPendingTempo) {
        row_samples = pending_row_samples;
        pending_row_samples = kNoPendingTempo;
    }
    // Only the parser changes the tracks, so the walk is the same for every
    // frame of this call; 0 channels (track 1 empty) renders silence.
    plain_frames(out, frames, walked_channels());
}

extern "C" void syna_setvol(int channel, float volume) {
    if (!channel_usable(channel)) return;
    // A NaN or infinite volume would turn the whole mix into NaN (written as
    // silence), and a huge one could overflow it; a vol cell's range is kept.
    if (!std::isfinite(volume)) return;
    constexpr float kMaxVolume = 21474836.47f;
    chan_vol[channel] = std::clamp(volume, -kMaxVolume, kMaxVolume);
}

extern "C" void syna_setbpm(int bpm) {
    // Tempos without a usable row length are ignored.
    int rows = row_length_for_bpm(bpm);
    if (rows > 0) pending_row_samples = rows;
}

extern "C" void syna_trig(int channel, int note) {
    if (!channel_usable(channel)) return;
    if (note > kNotes - 1 || note < 0) return;
    chan_pos[channel] = 0.0f;
    chan_step[channel] = static_cast<float>(note_freq[note]) * kStepPerHz;
}

extern "C" void syna_mute(int channel, int mute, int defer) {
    if (!channel_usable(channel)) return;
    chan_mute_next[channel] = static_cast<unsigned char>(mute);
    if (defer == 0) chan_mute[channel] = static_cast<unsigned char>(mute);
}

extern "C" void syna_transpose(int channel, int semitones) {
    if (!channel_usable(channel)) return;
    chan_transpose[channel] = semitones;
}
