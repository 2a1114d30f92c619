/* show.h - the show's fixed numbers, the pre-rendered song `mixed` and the
 * loop that renders it.
 *
 * This is where playback, the scene, the capture, the tools, the tests and
 * the benchmarks meet: the sample rate, the 8192-frame blocks, the 647 of
 * them (5,300,224 frames, about 120.2 s), and `mixed`, the whole song as
 * interleaved signed 16-bit stereo frames, left first.
 *
 * Use:
 *     if (const char *why = show_load_embedded()) ...complain(why)...;
 *     show_prerender(on_block);   // fills mixed, then rewinds syna_counter
 *
 * Limitations: one `mixed` per process. It is written only by
 * show_prerender and read afterwards (by the audio callback and the scene's
 * analysis), so it needs no lock once playback runs.
 */
#ifndef KESTOVAR_SHOW_H
#define KESTOVAR_SHOW_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    SHOW_RATE = 44100,                             /* frames per second */
    SHOW_BLOCK_FRAMES = 8192,                      /* render block, audio buffer */
    SHOW_BLOCKS = 647,                             /* blocks rendered before the show */
    SHOW_FRAMES = SHOW_BLOCK_FRAMES * SHOW_BLOCKS, /* 5,300,224 */
    SHOW_SAMPLES = SHOW_FRAMES * 2                 /* 10,600,448 16-bit values */
};

extern int16_t mixed[SHOW_SAMPLES];

/* Puts the synthesizer in its start state at SHOW_RATE holding `length`
 * bytes of song text (syna_fresh; the text is not modified). NULL when the
 * song is in force, else why it was rejected (syna_error's text). */
const char *show_load(const char *text, size_t length);
/* show_load of the song embedded in the program (data/song.txt). */
const char *show_load_embedded(void);

/* Renders the song the synthesizer holds into `mixed`: block k (0 to 646)
 * with syna_play(mixed + 2 * SHOW_BLOCK_FRAMES * k, SHOW_BLOCK_FRAMES),
 * calling after_block(k) after each block when it is not null. Then sets
 * syna_counter to 0, the start of playback. */
void show_prerender(void (*after_block)(int block));

/* Renders blocks first .. first + count - 1 of `mixed` as show_prerender
 * does, for callers that must return to an event loop between stretches
 * (the browser page). Blocks must come in order from 0; syna_counter is
 * left as the synthesizer's clock: rewind it to 0 after the last block. */
void show_render_blocks(int first, int count);

/* Called after each block of show_render_frames with its samples (2 per
 * frame, left first), the song frame it starts at and its length in
 * frames; a nonzero result stops the render there. */
typedef int (*show_block_fn)(const int16_t *samples, long long first_frame, int frames, void *user);
/* The one block loop: renders song frames first .. first + count - 1 with
 * syna_play (the synthesizer must stand at frame `first`) in blocks that
 * end where the pre-render's 8192-frame blocks end, so that every host cuts
 * the song as the demo does. Into out (count frames) when it is not NULL,
 * else into a block buffer of its own; on_block, when not NULL, sees each
 * block. Returns the frames rendered: count, or fewer when on_block
 * stopped it; 0 for a negative first. Not thread-safe (the synthesizer is
 * not). */
long long show_render_frames(long long first, long long count, int16_t *out, show_block_fn on_block,
                             void *user);

#ifdef __cplusplus
}
#endif
#endif
