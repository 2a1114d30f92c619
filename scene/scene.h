/* scene.h - the demo's picture: one call of osa draws one frame.
 *
 * osa(ms) derives the musical position `beat` from `syna_counter` (frames
 * handed to the sound card), sets `quit` once the song is over, analyses the
 * sounding audio in `mixed`, glides the keyframe parameters `paramf` and
 * draws the oscilloscope cross and the lit twelve-petal flower with
 * OpenGL ES 1.x fixed-function calls into the current context.
 *
 * Limitations: one scene per process; smoothing is counted in frames, so
 * it follows the frame rate.
 */
#ifndef KESTOVAR_SCENE_H
#define KESTOVAR_SCENE_H

#ifdef __cplusplus
extern "C" {
#endif

extern int beat;         /* musical position in bars */
extern int quit;         /* 1 once the song is over */
extern float timef;      /* this frame's time in ms */
extern float paramf[10]; /* smoothed keyframe parameters, entries 1..8 */
extern float buf[2048];  /* scaled samples of the sounding audio */
extern float max_sample; /* smoothed peak level, 0 .. 0.5 */

/* Draws one frame; ms = milliseconds since playback started. Returns 1. */
int osa(int ms);

/* Takes the frame at ms exactly as osa would, without any GL call: the
 * glide, spin, peak level and `quit` move on, nothing is drawn. Lets a
 * capture start mid-show with the picture a whole run would have there. */
void osa_skip(int ms);

#ifdef __cplusplus
}
#endif
#endif
