/* frame_clock.h - taking a frame of the show on a frame counter instead of
 * a sound card (the clock itself is show/show_clock.h).
 *
 * Use, for the picture at 12.5 s at 60 frames per second:
 *     const long long target = show_frame_at(12.5, 60);
 *     for (long long n = 0; n <= target; n++) capture_take_frame(n, 60, n == target);
 *
 * Limitations: frames are taken in order from 0 after scene_reset; no
 * window or file here (it builds for the browser).
 */
#ifndef KESTOVAR_FRAME_CLOCK_H
#define KESTOVAR_FRAME_CLOCK_H

#include "show_clock.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The highest frame rate a capture or a still is taken at: more frames
 * than that only cost time (a still is reached by taking every frame
 * before it). */
enum { CAPTURE_MAX_FPS = 240 };

/* Takes frame n: sets syna_counter to its position, then draws it with osa
 * when `draw` is nonzero, or moves the scene on without any GL call
 * (osa_skip) when not. Frame 0 is always drawn: some GL state carries over
 * from frame to frame (the trace's line width stays for the outlines), and
 * a whole run has it from frame 0 on. 1 when it drew. */
int capture_take_frame(long long frame, int fps, int draw);

#ifdef __cplusplus
}
#endif
#endif
