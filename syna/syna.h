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
 * Limitations: not thread-safe; syna_init once per process; the text given
 * to syna_get is modified in place and cannot be parsed twice.
 */
#ifndef KESTOVAR_SYNA_H
#define KESTOVAR_SYNA_H

#ifdef __cplusplus
extern "C" {
#endif

/* Output frames rendered since syna_init; the sequencer's clock. */
extern int syna_counter;
/* Index of the row being played, from 0. */
extern int syna_row;

/* Sets every default and builds the waveform and note tables. */
void syna_init(int sample_rate);
/* Parses a writable, NUL-terminated song text (modified in place).
 * Returns 0, or a negative value when the song is rejected (see syna_error). */
int syna_get(char *song);
/* Reads a song file and parses it. -1 when the file cannot be opened/read,
 * otherwise the result of syna_get. */
int syna_load(const char *path);
/* Renders `frames` stereo frames (2 * frames samples, left first) into out. */
void syna_play(short *out, int frames);

/* Live control, between syna_play calls. */
void syna_setvol(int channel, float volume);
void syna_setbpm(int bpm);
void syna_trig(int channel, int note);
void syna_mute(int channel, int mute, int defer);
void syna_transpose(int channel, int semitones);

/* Why the last syna_get/syna_load failed, with the line number where there
 * is one ("line 7: ..."); "" when it did not fail. */
const char *syna_error(void);

#ifdef __cplusplus
}
#endif
#endif
