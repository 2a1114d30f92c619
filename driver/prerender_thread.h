/* prerender_thread.h - the song renders on a worker thread while the
 * caller opens the audio device and the display.
 *
 *     prerender_begin(print_dot);  // after syna_get succeeded
 *     ... SDL_Init, SDL_OpenAudio (paused), tavelo_open ...
 *     prerender_end();             // mixed complete, syna_counter 0
 *
 * Between the two calls the worker owns the synthesizer, `mixed`,
 * syna_counter and standard output (after_block prints the dots there), so
 * the caller must touch none of them and must not unpause audio. After
 * prerender_end everything is as if show_prerender(after_block) had run on
 * the calling thread. If no thread can be started the song renders inside
 * prerender_begin instead.
 *
 * Limitations: one pre-render per process.
 */
#ifndef KESTOVAR_PRERENDER_THREAD_H
#define KESTOVAR_PRERENDER_THREAD_H

void prerender_begin(void (*after_block)(int block));
void prerender_end(void);
/* 1 once the song is rendered (the last dot printed), from any thread. */
int prerender_finished(void);

#endif
