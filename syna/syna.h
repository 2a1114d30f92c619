/* syna.h - the synthesizer's whole public face. Usable from C and C++.
 *
 * syna renders a small song text (tempo, instrument, pattern and track lines)
 * into 16-bit stereo. It keeps all of its state in module-level tables: one
 * synthesizer per process, no handles.
 *
 * Use:
 *     syna_init(44100);
 *     if (syna_get(text) < 0) { fprintf(stderr, "%s\n", syna_error()); ... }
 *     syna_play(out, frames);   // as often as needed; state carries over
 *
 * Limitations: not thread-safe (see syna_counter for the one shared value);
 * the text given to syna_get is modified in place and cannot be parsed twice.
 *
 * Limits. Song files come from anyone, so every input is bounded; a song or
 * rate beyond a limit is refused with a message (syna_error), never clamped:
 *   - a song text is at most SYNA_MAX_SONG_BYTES (1 MiB) and is text: no NUL
 *     byte inside, no control character but tab, vertical tab, form feed,
 *     line feed and carriage return, at least one line, and a tempo line
 *     (its own or that of an earlier accepted song);
 *   - instrument samples and echo lines together hold at most
 *     SYNA_MAX_SAMPLE_FLOATS floats (16 MiB). The demo's song needs about
 *     223,000 (0.9 MiB); a song of 28 channels, each with a 2 s instrument
 *     and a 60 bpm echo line, about 3.4 million. The cap also bounds the
 *     time spent synthesizing instruments while a song is parsed (at most
 *     about 0.25 s here, ring modulation included), so that any accepted
 *     song renders far faster than it plays;
 *   - syna_init takes sample rates SYNA_MIN_RATE to SYNA_MAX_RATE
 *     (8000 to 192000 Hz);
 *   - a tempo needs rows of at least one frame; rows shorter than 8 frames
 *     are mixed frame by frame, where that is faster than in vectors.
 */
#ifndef KESTOVAR_SYNA_H
#define KESTOVAR_SYNA_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results of syna_get, syna_getn and syna_load. */
enum {
    SYNA_OK = 0,           /* the song is in force */
    SYNA_CANNOT_OPEN = -1, /* syna_load: the file cannot be opened or read */
    SYNA_REJECTED = -2     /* the song breaks a rule or a limit; nothing changed */
};

/* Limits (see the top of this file). */
enum {
    SYNA_MIN_RATE = 8000,
    SYNA_MAX_RATE = 192000,
    SYNA_MAX_SONG_BYTES = 1048576,
    SYNA_MAX_SAMPLE_FLOATS = 4194304
};

/* Output frames rendered since syna_init; the sequencer's clock, advanced by
 * syna_play. A host that plays from another thread may take it over once
 * rendering is done (the demo rewinds it, then starts its audio thread,
 * whose callback advances it): from then on syna_play must not run, and
 * while both threads run every access from either one is a relaxed atomic
 * 32-bit load or store (__atomic_load_n / __atomic_store_n with
 * __ATOMIC_RELAXED, or std::atomic_ref<int>); a reader may see a value one
 * callback old, never a torn one. */
extern int syna_counter;
/* Index of the row being played, from 0. */
extern int syna_row;

/* Sets every channel default, empties every track and builds the waveform
 * and note tables for `sample_rate` frames per second. A rate outside
 * SYNA_MIN_RATE..SYNA_MAX_RATE is refused: nothing is allocated, the
 * synthesizer holds no song and renders silence, and the next syna_get or
 * syna_load fails saying so. A second call resets the channels and empties
 * the tracks again but keeps instruments, patterns and tempo, and builds a
 * different noise table (its generator runs on). The noise is glibc's
 * rand() sequence from the synthesizer's own copy of that generator: the
 * same on every platform, and the C library's rand() is never used. */
void syna_init(int sample_rate);
/* Parses a writable, NUL-terminated song text (modified in place). A rejected
 * song changes nothing. A song may build on the tempo, instruments, patterns
 * and tracks of an earlier accepted one; channels in the middle of a pattern
 * or track that it rewrites start their track again.
 * Returns SYNA_OK or SYNA_REJECTED (see syna_error). */
int syna_get(char *song);
/* As syna_get on `length` bytes of song text, which is not modified and
 * needs no NUL at its end (a NUL inside is refused). */
int syna_getn(const char *text, size_t length);
/* Reads a song file of at most SYNA_MAX_SONG_BYTES and parses it as
 * syna_getn does. SYNA_CANNOT_OPEN when it cannot be opened or read (a
 * directory, for example), otherwise the parse's result. */
int syna_load(const char *path);
/* Renders `frames` stereo frames (2 * frames samples, left first) into out. */
void syna_play(short *out, int frames);

/* Live control, between syna_play calls on the thread that renders. The
 * channel functions ignore a channel outside 0..29 or one whose track is
 * empty. Each takes effect as noted. */
/* Volume from the next frame, until a "vol" cell sets it; NaN or infinite
 * volumes are ignored, others clamped to +-21474836.47 (what a vol cell can
 * give), so that no channel can overflow the mix of the others. */
void syna_setvol(int channel, float volume);
/* Tempo from the next syna_play call; the last call before it wins. A bpm
 * that gives no row length of at least one frame (below 3, or so high
 * that the row would be shorter) is ignored. The echo delay stays. */
void syna_setbpm(int bpm);
/* Starts note 0..71 ("c1".."b6") on the channel from the next frame, without
 * transposition; other notes are ignored. */
void syna_trig(int channel, int note);
/* Mutes (low 8 bits of mute nonzero) or unmutes: from the next frame when
 * defer is 0, else at the next row boundary. */
void syna_mute(int channel, int mute, int defer);
/* Transposes the channel's later note cells (not the sounding note); the sum
 * of note and semitones is clamped to 0..71 when a note cell plays. */
void syna_transpose(int channel, int semitones);

/* Why the last syna_get/syna_getn/syna_load failed, with the line number
 * where there is one ("line 7: ..."); "" when it did not fail. */
const char *syna_error(void);

#ifdef __cplusplus
}
#endif
#endif
