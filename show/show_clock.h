/* show_clock.h - the show's clock: where in the song a playback position
 * or a video frame is, as plain arithmetic (no GL, window or file, so that
 * it builds for the browser too).
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
 * The capture and the browser page's stills take their frames with this
 * clock (capture_take_frame in capture/frame_clock.h), so that a picture at
 * a song position is the same frame wherever it is made; the page also
 * turns its Web Audio clock into the callback's counter with show_counter.
 */
#ifndef KESTOVAR_SHOW_CLOCK_H
#define KESTOVAR_SHOW_CLOCK_H

#ifdef __cplusplus
extern "C" {
#endif

/* Musical position in bars for a playback position in frames: 125 bpm,
 * four beats a bar; bar n starts 0.3 beat after the song's bar line. The
 * scene ends the show once it passes bar 58. */
int beatof(int frames);

/* Frame n is at n / fps seconds, in whole milliseconds (truncated). */
int show_ms(long long frame, int fps);
/* The first audio frame that sounds at video frame n: n * 44100 / fps. */
long long show_sample(long long frame, int fps);
/* syna_counter while audio frame `sounding` plays, as the live callback
 * leaves it: the end of the block that holds it, never past the song. */
int show_counter(long long sounding);
/* syna_counter at frame n: show_counter(show_sample(n, fps)). */
int show_position(long long frame, int fps);
/* The frame nearest to `seconds`. */
long long show_frame_at(double seconds, int fps);
/* Frames in the whole show: the last is the first at which the scene sets
 * `quit` (beatof past 58), drawn like the live show draws it. */
long long show_frame_count(int fps);

#ifdef __cplusplus
}
#endif
#endif
