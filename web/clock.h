/* clock.h - the scene's position from the browser's audio clock.
 *
 * Natively the audio callback advances syna_counter by each 8192-frame
 * block it hands to the sound card, so the counter runs one block ahead of
 * the frame being played, in whole blocks. The page plays the song with Web
 * Audio, whose clock says how many frames have played; web_counter turns
 * that into the counter the callback would have reached, by the capture's
 * rule (show_counter in show_clock.h), which never runs past the song.
 */
#ifndef KESTOVAR_WEB_CLOCK_H
#define KESTOVAR_WEB_CLOCK_H

#ifdef __cplusplus
extern "C" {
#endif

/* syna_counter for `played` frames played (0 before the start). */
int web_counter(double played);

#ifdef __cplusplus
}
#endif
#endif
