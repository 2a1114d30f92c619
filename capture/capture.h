/* capture.h - the show rendered off screen into a video file and stills.
 *
 * The capture draws the scene exactly as the live show does (the same osa)
 * into an off-screen context of the display layer, at a fixed frame rate
 * whose clock is the frame counter, not a sound card (show_clock.h: frame
 * n stands for the time n / fps seconds, with syna_counter where the live
 * audio callback would have it then). The picture goes to H.264 and the
 * pre-rendered song to AAC (or 16-bit PCM) in one file, through FFmpeg's
 * libraries; stills go to PNG files.
 *
 * Frames before a range or a still are still taken, through osa_skip
 * (capture_take_frame), so the keyframe glide, the spin and the peak level
 * have the values a whole run has there: a range or a still shows what the
 * same frame of a whole-show capture shows. Frame 0 is always drawn, for
 * the GL state that a whole run carries from it (the trace's line width).
 *
 * Use (after show_prerender has filled `mixed`):
 *     capture_request r;
 *     capture_defaults(&r);
 *     r.video = "show.mp4";
 *     if (capture_run(&r) < 0) fprintf(stderr, "%s\n", capture_error());
 *
 * Limitations: once per process (the scene's state is never rewound); the
 * frame size must be even (4:2:0 video); frame rates up to 240.
 */
#ifndef KESTOVAR_CAPTURE_H
#define KESTOVAR_CAPTURE_H

#include <signal.h>

#include "frame_clock.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct capture_still {
    double seconds;   /* the frame at this time (the nearest frame) */
    const char *path; /* PNG file written */
} capture_still;

typedef struct capture_request {
    const char *video; /* video file (.mp4, or .mkv/.mov); null: stills only */
    int width, height; /* picture size in pixels; 1920 x 1080 */
    int fps;           /* frames per second; 60 */
    double from;       /* first second of the video; 0 */
    double to;         /* end of the video in seconds; < 0: the show's end */
    int pcm;           /* 1: 16-bit PCM audio instead of AAC */
    int progress;      /* 1: progress bar on standard error (a terminal) */
    const capture_still *stills;
    int still_count;
    /* When it turns nonzero the capture stops after the frame in hand and
     * closes the file properly. May be null. */
    const volatile sig_atomic_t *stop;
} capture_request;

void capture_defaults(capture_request *r);

/* 0 when everything asked for was written; 1 when *stop ended it early
 * (the file holds what was done); -1 on failure (capture_error()). */
int capture_run(const capture_request *r);
const char *capture_error(void);

/* Where the time of the last capture_run went, for the benchmark. */
typedef struct capture_times {
    double draw_s, read_s, encode_s, skip_s; /* seconds */
    long long drawn, skipped;                /* frames */
} capture_times;
capture_times capture_timing(void);

#ifdef __cplusplus
}
#endif
#endif
