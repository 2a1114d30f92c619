/* playback.h - the audio callback that plays the pre-rendered song.
 *
 * `pakki` copies from frame `syna_counter` of `mixed` (show.h) and advances
 * syna_counter by the frames it handed over; past the end of `mixed` it
 * supplies silence. It runs on SDL's audio thread and is the only writer of
 * syna_counter once playback runs.
 */
#ifndef KESTOVAR_PLAYBACK_H
#define KESTOVAR_PLAYBACK_H

#include <stdint.h>

#include "show.h"

#ifdef __cplusplus
extern "C" {
#endif

/* SDL 1.2 audio callback: userdata is ignored. */
void pakki(void *userdata, uint8_t *stream, int len);

#ifdef __cplusplus
}
#endif
#endif
