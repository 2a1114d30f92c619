/* syna_internal.h - the synthesizer's tables and helpers, for its own source
 * files and for the tests. Not part of the public interface (see syna.h).
 *
 * Everything lives in namespace `syna` so that the short table names cannot
 * collide with globals of other modules linked into the same program.
 * Buffers are std::vector so that a replaced instrument or a second
 * syna_init does not leak; `inst_length` still carries the length that the
 * sequencer and mixer use.
 */
#ifndef KESTOVAR_SYNA_INTERNAL_H
#define KESTOVAR_SYNA_INTERNAL_H

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

extern int sample_rate;
extern int wave_length;
extern int row_samples;
extern int echo_length;
extern int pending_row_samples;
extern int first_row;
// Whether the last syna_init refused its rate, and that rate; the parser
// names it when asked for a song.
extern bool rate_refused;
extern int refused_rate;
// Where the row print of channel 11 goes (syna_set_row_print); the host's
// choice, which reset leaves alone.
extern syna_row_print_fn row_print;

extern std::vector<float> wave_tables[4];  // square, sine, sawtooth, noise
extern int note_freq[kNotes];
extern const char *const note_names[78];  // keywords by code, then the end entry "0"

extern float chan_pos[kSlots];
extern float chan_step[kSlots];
extern float chan_slide[kSlots];
extern float chan_vol[kSlots];
extern float chan_pan[kSlots];
extern float chan_lowpass[kSlots];
extern float chan_lowpass_prev[kSlots];
extern unsigned char chan_echo[kSlots];
extern unsigned char chan_mute_next[kSlots];
extern unsigned char chan_mute[kSlots];
extern int chan_transpose[kSlots];
extern int track_pos[kSlots];
extern int pattern_pos[kSlots];

extern std::vector<float> inst_sample[kSlots];
extern int inst_length[kSlots];
extern std::vector<float> echo_line[kSlots];

extern int tracks[kSlots][kEntries];
extern int patterns[kPatterns][kEntries];
// Whether a pattern line has ever written the slot (an unwritten slot has no end mark).
extern bool pattern_defined[kPatterns];

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
void mix_chunk(int c0, int count, int channels, short *out);
// Its buffer: every channel's signal over a chunk, with room behind it for
// one whole vector of the widest vector unit.
constexpr int kMixSlack = 64;
extern float mix_signal[kSlots][kChunkFrames + kMixSlack];

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
extern MixRing mix_rings[kSlots];
void mix_forget();

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
    void add(const MixStats &o) {
        frames += o.frames;
        voice_vector += o.voice_vector;
        voice_checked += o.voice_checked;
        voice_exact += o.voice_exact;
        echo_frames += o.echo_frames;
        quiet_frames += o.quiet_frames;
        lowpass_frames += o.lowpass_frames;
        skipped_frames += o.skipped_frames;
    }
};
extern MixStats mix_stats;

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
// no tables, no song, no tempo, every channel field zero, no error text, no
// mixer counts, the mixer on its best vector unit, and the C library's random generator back at its
// unseeded start, so that the next syna_init builds the same noise table as the first one of a
// process.
void reset();
// The parser's part of reset (its error text).
void reset_parser();

}  // namespace syna

#endif
