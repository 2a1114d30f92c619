/* syna_host.h - the synthesizer's face for tools, tests and benchmarks:
 * what a host needs beyond syna.h to render songs one after another in one
 * process, to look at the song it holds and to measure the mixer. Usable
 * from C and C++. The demo itself needs only syna.h.
 *
 * Use, to render several songs in one process:
 *     syna_set_row_print(NULL);   // standard output stays the host's
 *     for (each song) {
 *         if (syna_fresh(44100, text, length) != SYNA_OK) ...syna_error()...;
 *         syna_play(out, frames);
 *     }
 *
 * Limitations: as syna.h (one synthesizer per process, not thread-safe).
 */
#ifndef KESTOVAR_SYNA_HOST_H
#define KESTOVAR_SYNA_HOST_H

#include <stddef.h>

#include "syna.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Puts the synthesizer back to its state at process start, before
 * syna_init: no tables, no song, no tempo, no error text, syna_counter and
 * syna_row 0, the noise generator at its start (so the next syna_init
 * builds the noise table of a process's first one), the mixer's counts
 * zero and the mixer on its best vector unit. It touches nothing outside
 * the synthesizer; the row print (below) is the host's and stays. */
void syna_reset(void);
/* syna_reset, syna_init(rate), then syna_getn(text, length): a fresh
 * synthesizer holding this text. Returns what syna_getn returns. */
int syna_fresh(int rate, const char *text, size_t length);

/* The channels the held song plays: 1 .. syna_channels(). Channels 1, 2,
 * ... count as long as their track is not empty; 0 without a song. */
int syna_channels(void);
/* Frames per row at the tempo in force; 0 without a tempo. A tempo set with
 * syna_setbpm counts from the next syna_play call. */
int syna_row_frames(void);
/* The channel's pan and low-pass as its instrument line set them (the
 * song's fields x 0.01). 0, or -1 (nothing written) for a channel outside
 * 1 .. syna_channels(). Either pointer may be NULL. */
int syna_channel_setup(int channel, float *pan, float *lowpass);
/* Floats held by instrument samples and echo lines, which the parser keeps
 * at most SYNA_MAX_SAMPLE_FLOATS. */
long long syna_sample_floats(void);

/* The row print. A song of eleven or more channels prints channel 11's
 * pattern position, one line per row it steps, for the song's author to
 * follow playback. The demo keeps the default, syna_print_row
 * (printf("%d\n", row)); a host whose standard output carries something
 * else passes NULL (silent) or its own function. */
typedef void (*syna_row_print_fn)(int row);
void syna_set_row_print(syna_row_print_fn print);
void syna_print_row(int row);

/* The plain mixer, frame by frame: the reference that syna_play must equal
 * byte for byte, much slower. Same interface and effects as syna_play. */
void syna_play_plain(short *out, int frames);

/* Where the fast mixer's work went since the last syna_reset: frames mixed
 * and channel-frames of every walked, unmuted channel by how they were
 * done. */
struct syna_mix_counts {
    long long frames;         /* frames mixed */
    long long voice_vector;   /* voice playing, in runs that need no check */
    long long voice_checked;  /* voice playing, in vectors checked lane by lane */
    long long voice_exact;    /* voice playing, one frame at a time */
    long long echo_frames;    /* voice idle, echo ring recirculated in vectors */
    long long quiet_frames;   /* voice idle, ring held only +0.0 where read */
    long long lowpass_frames; /* of those, through a channel's filter chain */
    long long skipped_frames; /* of those, left out of the sum (only zeros) */
    long long plain_frames;   /* frames mixed frame by frame: rows too short for vectors */
};
void syna_get_mix_counts(struct syna_mix_counts *counts);

#ifdef __cplusplus
}
#endif
#endif
