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
 * Every file is written beside its name under a hidden temporary name and
 * renamed into place when complete (cli/out_file.h): a failed or killed
 * capture never leaves a broken file under the name asked for, nor touches
 * what was there.
 *
 * Use:
 *     capture_request r;
 *     capture_defaults(&r);
 *     r.video = "show.mp4";
 *     if (capture_check(&r) < 0) ...;   // a wrong request: nothing done yet
 *     ... show_prerender fills `mixed` ...
 *     if (capture_run(&r) < 0) fprintf(stderr, "%s\n", capture_error());
 *
 * Limitations: once per process (the scene's state is never rewound); the
 * frame size must be even (4:2:0 video) and at most CAPTURE_MAX_MACROBLOCKS
 * blocks of 16x16 pixels (H.264 level 5.2, what 4K players decode: 4096x2304,
 * 3840x2160, or any shape of no more blocks), sides up to CAPTURE_MAX_SIDE; frame rates up
 * to CAPTURE_MAX_FPS. The largest picture keeps a capture near 1.2 GB of
 * memory at its peak (measured: README, Capture).
 */
#ifndef KESTOVAR_CAPTURE_H
#define KESTOVAR_CAPTURE_H

#include <signal.h>

#include "frame_clock.h"

#define CAPTURE_MAX_SIDE 8192
#define CAPTURE_MAX_MACROBLOCKS 36864

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

/* What can be told before anything is rendered or written: the frame rate,
 * the size, the range and the stills within the show, no two outputs
 * naming one file, no output naming a file the program runs from. 0, or -1
 * (capture_error()). capture_run checks the same first. */
int capture_check(const capture_request *r);

/* 0 when everything asked for was written; 1 when *stop ended it early
 * (the video holds the frames made until then, or, stopped before its
 * first frame, no video file is made: capture_video_frames() is 0); -1 on
 * failure (capture_error()), and then no video file is made. Stills
 * written before a stop or a failure stay. */
int capture_run(const capture_request *r);
/* Frames in the video file of the last capture_run. */
long long capture_video_frames(void);
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
