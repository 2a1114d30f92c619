/* frame_clock.h - the show on a frame counter instead of a sound card.
 *
 * Frame n of a show at `fps` frames per second stands for the time n / fps
 * seconds: the scene is given that time in whole milliseconds, and
 * syna_counter is set where the live audio callback would have it then.
 * The callback hands `mixed` to the sound card in whole 8192-frame blocks:
 * on unpausing it fills the first block at once and asks for the next one
 * when the card has taken the previous one. So while audio frame s sounds,
 * the blocks up to and including the one that holds s have been handed
 * out, and syna_counter stands at the end of that block - one block ahead
 * of what sounds, never more than 186 ms. The scene's `beat` steps in whole
 * blocks, exactly as it does live, while the oscilloscope window and the
 * tremble follow the frame's milliseconds.
 *
 * The capture (capture.h) and the browser page's stills take their frames
 * with this clock, so that a picture at a song position is the same frame
 * wherever it is made; the page also turns its Web Audio clock into the
 * callback's counter with capture_counter.
 *
 * Use, for the picture at 12.5 s at 60 frames per second:
 *     const long long target = capture_frame_at(12.5, 60);
 *     for (long long n = 0; n <= target; n++) capture_take_frame(n, 60, n == target);
 *
 * Limitations: the scene is never rewound, so frames are taken once, in
 * order, from 0; no GL, window or file here (it builds for the browser).
 */
#ifndef KESTOVAR_FRAME_CLOCK_H
#define KESTOVAR_FRAME_CLOCK_H

#ifdef __cplusplus
extern "C" {
#endif

/* The highest frame rate a capture or a still is taken at: more frames
 * than that only cost time (a still is reached by taking every frame
 * before it). */
enum { CAPTURE_MAX_FPS = 240 };

/* Frame n is at n / fps seconds, in whole milliseconds (truncated). */
int capture_ms(long long frame, int fps);
/* The first audio frame that sounds at video frame n: n * 44100 / fps. */
long long capture_sample(long long frame, int fps);
/* syna_counter while audio frame `sounding` plays, as the live callback
 * leaves it: the end of the block that holds it, never past the song. */
int capture_counter(long long sounding);
/* syna_counter at frame n: capture_counter(capture_sample(n, fps)). */
int capture_position(long long frame, int fps);
/* The frame nearest to `seconds`. */
long long capture_frame_at(double seconds, int fps);
/* Frames in the whole show: the last is the first at which the scene sets
 * `quit`, drawn like the live show draws it. */
long long capture_show_frames(int fps);

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
