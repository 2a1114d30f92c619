/* syna_internal.h - the synthesizer's tables and helpers, for its own source
 * files and for the tests. Not part of the public interface (see syna.h).
 *
 * Everything lives in namespace `syna` so that the short table names cannot
 * collide with globals of other modules linked into the same program.
 * Buffers are std::vector so that a replaced instrument or a second
 * syna_init does not leak; `inst_length` still carries the length that the
 * sequencer and mixer use. Everything that moves is one `Synth`, `synth`,
 * whose members the short names below refer to; reset() makes it new.
 */
#ifndef KESTOVAR_SYNA_INTERNAL_H
#define KESTOVAR_SYNA_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "syna.h"
#include "syna_host.h"

namespace syna {

constexpr int kSlots = 30;     // tracks, instruments and channels share this index
constexpr int kEntries = 100;  // entries per track or pattern, end mark included
constexpr int kPatterns = 1000;
constexpr int kMaxLines = 1000;  // lines of a song text that are read
constexpr int kNotes = 72;       // "c1" .. "b6"

// Codes stored in tracks and patterns.
constexpr int kEnd = -2;         // end of a track or pattern; finished channel
constexpr int kLoop = -3;        // "loop" in a track
constexpr int kNotStarted = -1;  // track_pos before the first row; no pending tempo
constexpr int kEcho1 = 72, kEcho0 = 73, kStop = 74, kVol = 75, kSld = 76, kEmpty = 77;

// Entries a pattern cell takes: a "vol" or "sld" cell takes the next entry
// as its parameter, every other cell stands alone. The parser, the
// sequencer and everything that walks a pattern count cells by this rule.
constexpr int cell_entries(int code) { return code == kVol || code == kSld ? 2 : 1; }

// Results of syna_get / syna_load besides 0.
constexpr int kCannotOpen = SYNA_CANNOT_OPEN;
constexpr int kRejected = SYNA_REJECTED;

// What the fast mixer knows about the echo rings between calls: ring ch
// (while it is this storage) holds only +0.0, so that a channel without echo
// costs nothing while its voice is idle. The rings are written by the
// mixers and, with zeros, by the parser; anything else that writes one must
// call mix_forget() (play_reference and reset do).
struct MixRing {
    const float *data = nullptr;
    size_t size = 0;
    bool quiet = false;
    bool looked = false;  // when not quiet: the ring was looked at
    int looked_at = 0;    // the frame counter then
};
// What the fast mixer did, counted since the last reset, for the tests and
// benchmarks that show where its time goes.
struct MixStats {
    long long frames = 0;  // frames mixed
    // Channel-frames of every walked, unmuted channel, by how they were done:
    long long voice_vector = 0;   // voice playing, in runs that need no check
    long long voice_checked = 0;  // voice playing, in vectors checked lane by lane
    long long voice_exact = 0;    // voice playing, one frame at a time
    long long echo_frames = 0;    // voice idle, ring recirculated in vectors
    long long quiet_frames = 0;   // voice idle, ring held only +0.0 where read
    // and, of those,
    long long lowpass_frames = 0;  // through a channel's filter chain
    long long skipped_frames = 0;  // left out of the sum: the channel added only zeros
    // Frames syna_play mixed frame by frame, since its rows were shorter
    // than kShortRowFrames (not in `frames`).
    long long plain_frames = 0;
    void add(const MixStats &o) {
        frames += o.frames;
        voice_vector += o.voice_vector;
        voice_checked += o.voice_checked;
        voice_exact += o.voice_exact;
        echo_frames += o.echo_frames;
        quiet_frames += o.quiet_frames;
        lowpass_frames += o.lowpass_frames;
        skipped_frames += o.skipped_frames;
        plain_frames += o.plain_frames;
    }
};

// glibc's rand() sequence, the synthesizer's own copy for its noise table:
// the same bytes on every C library (the browser's too), and a reset that
// touches nothing of the process. seed(s) is srand(s) (0 counts as 1);
// next() is rand(), values 0 .. 2^31 - 1 from the additive feedback
// generator x[i] = x[i-3] + x[i-31] (mod 2^32), each shifted right by one.
// All zero is its unseeded start, which behaves as seed 1.
struct LibcRand {
    int32_t words[31];
    int front, rear;
    bool seeded;
    void seed(unsigned s);
    int next();
};

// Everything of the synthesizer that moves, in one place: its state at
// process start is all zero (so it costs no bytes in the program file),
// and reset() is that state again. The short names below are the
// synthesizer's own (and the tests') names for the members.
struct Synth {
    int sample_rate;
    int wave_length;
    int row_samples;
    int echo_length;
    int pending_row_samples;  // kNoPendingTempo, or the row length for the next syna_play
    int first_row;
    // Whether the last syna_init refused its rate, and that rate; the parser
    // names it when asked for a song.
    bool rate_refused;
    int refused_rate;
    LibcRand noise_rand;

    std::vector<float> wave_tables[4];  // square, sine, sawtooth, noise
    int note_freq[kNotes];

    float chan_pos[kSlots];
    float chan_step[kSlots];
    float chan_slide[kSlots];
    float chan_vol[kSlots];
    float chan_pan[kSlots];
    float chan_lowpass[kSlots];
    float chan_lowpass_prev[kSlots];
    unsigned char chan_echo[kSlots];
    unsigned char chan_mute_next[kSlots];
    unsigned char chan_mute[kSlots];
    int chan_transpose[kSlots];
    int track_pos[kSlots];
    int pattern_pos[kSlots];

    std::vector<float> inst_sample[kSlots];
    int inst_length[kSlots];
    std::vector<float> echo_line[kSlots];

    int tracks[kSlots][kEntries];
    int patterns[kPatterns][kEntries];
    // Whether a pattern line has ever written the slot (an unwritten slot has no end mark).
    bool pattern_defined[kPatterns];

    MixRing mix_rings[kSlots];
    MixStats mix_stats;
    long long mix_pinned;  // pin_mix_target's vector unit; 0: the best

    char error_text[256];  // syna_error()
};
extern Synth synth;

constexpr int kNoPendingTempo = 0;

inline constexpr int &sample_rate = synth.sample_rate;
inline constexpr int &wave_length = synth.wave_length;
inline constexpr int &row_samples = synth.row_samples;
inline constexpr int &echo_length = synth.echo_length;
inline constexpr int &pending_row_samples = synth.pending_row_samples;
inline constexpr int &first_row = synth.first_row;
inline constexpr bool &rate_refused = synth.rate_refused;
inline constexpr int &refused_rate = synth.refused_rate;
inline constexpr std::vector<float> (&wave_tables)[4] = synth.wave_tables;
inline constexpr int (&note_freq)[kNotes] = synth.note_freq;
inline constexpr float (&chan_pos)[kSlots] = synth.chan_pos;
inline constexpr float (&chan_step)[kSlots] = synth.chan_step;
inline constexpr float (&chan_slide)[kSlots] = synth.chan_slide;
inline constexpr float (&chan_vol)[kSlots] = synth.chan_vol;
inline constexpr float (&chan_pan)[kSlots] = synth.chan_pan;
inline constexpr float (&chan_lowpass)[kSlots] = synth.chan_lowpass;
inline constexpr float (&chan_lowpass_prev)[kSlots] = synth.chan_lowpass_prev;
inline constexpr unsigned char (&chan_echo)[kSlots] = synth.chan_echo;
inline constexpr unsigned char (&chan_mute_next)[kSlots] = synth.chan_mute_next;
inline constexpr unsigned char (&chan_mute)[kSlots] = synth.chan_mute;
inline constexpr int (&chan_transpose)[kSlots] = synth.chan_transpose;
inline constexpr int (&track_pos)[kSlots] = synth.track_pos;
inline constexpr int (&pattern_pos)[kSlots] = synth.pattern_pos;
inline constexpr std::vector<float> (&inst_sample)[kSlots] = synth.inst_sample;
inline constexpr int (&inst_length)[kSlots] = synth.inst_length;
inline constexpr std::vector<float> (&echo_line)[kSlots] = synth.echo_line;
inline constexpr int (&tracks)[kSlots][kEntries] = synth.tracks;
inline constexpr int (&patterns)[kPatterns][kEntries] = synth.patterns;
inline constexpr bool (&pattern_defined)[kPatterns] = synth.pattern_defined;
inline constexpr MixRing (&mix_rings)[kSlots] = synth.mix_rings;
inline constexpr MixStats &mix_stats = synth.mix_stats;

// The one list of the state's fields, for fingerprints: calls add(bytes,
// size) for every field the parser or the sequencer writes (the song, its
// tempo and every channel), and with `everything` also for the rest (the
// tables of syna_init, the noise generator, the mixer's memory and counts,
// the error text, syna_counter and syna_row). Buffers count by size and
// contents, the mixer's ring pointers by whether they are set.
template <class Add>
void visit_state(Add add, bool everything) {
    auto field = [&](const auto &v) { add(static_cast<const void *>(&v), sizeof v); };
    auto floats = [&](const std::vector<float> &v) {
        field(v.size());
        add(static_cast<const void *>(v.data()), v.size() * sizeof(float));
    };
    const Synth &s = synth;
    field(s.row_samples);
    field(s.echo_length);
    field(s.pending_row_samples);
    field(s.tracks);
    field(s.patterns);
    field(s.pattern_defined);
    field(s.chan_pos);
    field(s.chan_step);
    field(s.chan_slide);
    field(s.chan_vol);
    field(s.chan_pan);
    field(s.chan_lowpass);
    field(s.chan_lowpass_prev);
    field(s.chan_echo);
    field(s.chan_mute);
    field(s.chan_mute_next);
    field(s.chan_transpose);
    field(s.track_pos);
    field(s.pattern_pos);
    field(s.inst_length);
    for (int ch = 0; ch < kSlots; ++ch) {
        floats(s.inst_sample[ch]);
        floats(s.echo_line[ch]);
    }
    if (!everything) return;
    field(s.sample_rate);
    field(s.wave_length);
    field(s.first_row);
    field(s.rate_refused);
    field(s.refused_rate);
    field(s.noise_rand.words);
    field(s.noise_rand.front);
    field(s.noise_rand.rear);
    field(s.noise_rand.seeded);
    for (const auto &table : s.wave_tables) floats(table);
    field(s.note_freq);
    for (const MixRing &r : s.mix_rings) {
        const bool set = r.data != nullptr;
        field(set);
        field(r.size);
        field(r.quiet);
        field(r.looked);
        field(r.looked_at);
    }
    field(s.mix_stats.frames);
    field(s.mix_stats.voice_vector);
    field(s.mix_stats.voice_checked);
    field(s.mix_stats.voice_exact);
    field(s.mix_stats.echo_frames);
    field(s.mix_stats.quiet_frames);
    field(s.mix_stats.lowpass_frames);
    field(s.mix_stats.skipped_frames);
    field(s.mix_stats.plain_frames);
    field(s.mix_pinned);
    field(s.error_text);
    field(syna_counter);
    field(syna_row);
}

extern const char *const note_names[78];  // keywords by code, then the end entry "0"
// Where the row print of channel 11 goes (syna_set_row_print): the host's
// choice, not the synthesizer's state, which reset leaves alone.
extern syna_row_print_fn row_print;
// One instrument line's synthesis parameters.
struct Instrument {
    int waveform;  // 0 square, 1 sine, 2 sawtooth, 3 noise
    int attack, decay, sustain, release;
    int ring_mod;
    int sweep;
};

// Running values of the renderer after the last sample.
struct RenderEnd {
    float phase, step, level, mod_phase;
};

// Per-sample increments, exactly as the renderer forms them.
float modulation_increment(int ring_mod);
float sweep_increment(int sweep);

// Renders an instrument sample of attack + decay + sustain + release + 1
// floats. Segment lengths must be non-negative and wave_length positive.
std::vector<float> render_instrument(const Instrument &ins, RenderEnd *end = nullptr);

// Row length for a tempo, or 0 when the tempo gives no usable row length.
int row_length_for_bpm(long long bpm);

// Index of the end mark of a track or pattern row; kEntries when none.
int end_index(const int *entries);

// The channel walk, the one rule for which channels play: channels 1, 2, ...
// as long as the channel's track is not empty, so the first empty track ends
// the list; slot 29 is never walked. `track_empty(t)` answers for track t.
template <class TrackEmpty>
int channel_walk(TrackEmpty track_empty) {
    int ch = 1;
    while (ch < kSlots - 1 && !track_empty(ch)) ++ch;
    return ch - 1;
}

// The channels the sequencer and the mixer walk in the loaded song.
int walked_channels();

// The plain mixer, frame by frame, exactly as the synthesizer is described:
// the reference that syna_play's fast path must equal byte for byte. Same
// interface and effects as syna_play.
void play_reference(short *out, int frames);

// The fast mixer (syna_mix.cpp): mixes `count` frames from frame counter c0
// on the first `channels` channels into out. The chunk holds no row boundary
// but at its first frame (whose sequencer step has run), does not wrap the
// counter, and is at most kChunkFrames long.
constexpr int kChunkFrames = 8192;
// syna_play mixes rows shorter than this frame by frame instead.
constexpr int kShortRowFrames = 8;
void mix_chunk(int c0, int count, int channels, short *out);
// Its buffer: every channel's signal over a chunk, with room behind it for
// one whole vector of the widest vector unit (scratch of one chunk, so not
// in Synth).
constexpr int kMixSlack = 64;
extern float mix_signal[kSlots][kChunkFrames + kMixSlack];

void mix_forget();

// The vector units the fast mixer was built for and this processor has, and
// a way to hold it to one of them (0: back to the best), so that tests can
// compare them all.
struct MixTarget {
    long long id;
    const char *name;
};
std::vector<MixTarget> mix_targets();
void pin_mix_target(long long id);

// Returns the synthesizer to its state at process start, before syna_init:
// `synth` all zero again (no tables, no song, no tempo, no error text, no
// mixer counts, the mixer on its best vector unit, the noise generator at
// its unseeded start), and syna_counter and syna_row 0.
void reset();

}  // namespace syna

#endif
