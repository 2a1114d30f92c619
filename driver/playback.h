/* playback.h - the pre-rendered song and the audio callback that plays it.
 *
 * `mixed` holds the whole song as interleaved signed 16-bit stereo frames,
 * left first. It is written once before playback and only read afterwards,
 * by `pakki` (SDL's audio thread) and by the scene's audio analysis.
 * `pakki` copies from frame `syna_counter` and advances it by the frames it
 * handed over; past the end of `mixed` it supplies silence.
 */
#ifndef KESTOVAR_PLAYBACK_H
#define KESTOVAR_PLAYBACK_H

#include <stdint.h>

#define MIXED_BLOCK_FRAMES 8192
#define MIXED_BLOCKS 647
#define MIXED_FRAMES (MIXED_BLOCK_FRAMES * MIXED_BLOCKS) /* 5,300,224 */
#define MIXED_SAMPLES (MIXED_FRAMES * 2)                 /* 10,600,448 */

#ifdef __cplusplus
extern "C" {
#endif

extern int16_t mixed[MIXED_SAMPLES];

/* SDL 1.2 audio callback: userdata is ignored. */
void pakki(void *userdata, uint8_t *stream, int len);

#ifdef __cplusplus
}
#endif
#endif
