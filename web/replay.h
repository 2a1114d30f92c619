/* replay.h - the show driven by a fixed frame clock instead of the audio.
 *
 * A still of the show at a song position has to be the same picture
 * wherever it is made, so its frames are not timed by a sound card: frame f
 * of a show at `fps` frames per second is drawn at ms = f * 1000 / fps with
 * syna_counter = the audio frames that have played by then, and every frame
 * from 0 on is drawn (the scene's smoothing and spin count frames). The
 * browser page and the native reference renderer both use this.
 *
 * Use, after the song is in `mixed`:
 *     replay_run(0, replay_last_frame(t_ms, 60), 60);  // picture of t_ms
 *
 * Limitations: starts from the scene's state at process start (the first
 * call must be for frame 0), and leaves syna_counter at the last frame's.
 */
#ifndef KESTOVAR_REPLAY_H
#define KESTOVAR_REPLAY_H

#ifdef __cplusplus
extern "C" {
#endif

/* Milliseconds since the start of frame `frame` (truncated). */
int replay_ms(int frame, int fps);
/* The audio frames played `ms` milliseconds after the start. */
int replay_counter(int ms);
/* The last frame that starts at or before `ms`. */
int replay_last_frame(int ms, int fps);
/* Draws frames first .. last with osa; returns the ms of the last. */
int replay_run(int first, int last, int fps);

#ifdef __cplusplus
}
#endif
#endif
