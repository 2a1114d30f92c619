/* encoder.h - one video file with an H.264 picture and the song's audio,
 * written through FFmpeg's libraries (libavformat, libavcodec, libswscale).
 *
 * encoder_open, then for each picture encoder_video (RGBA, bottom row first,
 * as GL reads it) and encoder_audio with the stereo frames that sound during
 * it, then encoder_close. The container comes from the file name (.mp4,
 * .mkv, .mov, ...). Video: libx264, 4:2:0, BT.709 limited range, constant
 * quality. Audio: AAC at 44.1 kHz stereo, or 16-bit PCM where the container
 * can hold it (not MP4).
 *
 * FFmpeg's own log lines are kept from standard error: the last error line
 * becomes the reason a call gives, after the program's own words. Reasons
 * never repeat the file name (the caller puts it in front).
 *
 * The encoder is a module of its own (kestovar-encoder.so), loaded with
 * dlopen only when a video is written: FFmpeg's libraries and everything
 * they pull in stay out of the live show's process (memory checkers, for
 * one, stumble over instructions in their start-up code).
 *
 * Limitations: one file at a time; even picture sizes only.
 */
#ifndef KESTOVAR_CAPTURE_ENCODER_H
#define KESTOVAR_CAPTURE_ENCODER_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct encoder_config {
    const char *name; /* the output's name: its ending picks the container */
    const char *path; /* where the bytes go (a temporary file beside it) */
    int width, height, fps;
    int rate; /* audio frames per second */
    int pcm;
};

struct encoder_api {
    /* 0, or -1 with the reason in error. */
    int (*open)(const encoder_config *config, char *error, size_t error_size);
    /* The next picture (its number counts from 0). 0 or -1. */
    int (*video)(const uint8_t *rgba, char *error, size_t error_size);
    /* Appends `count` interleaved stereo frames. 0 or -1. */
    int (*audio)(const int16_t *frames, long long count, char *error, size_t error_size);
    /* Flushes both encoders and finishes the file. 0 or -1. Frees
     * everything even when it fails; safe to call after a failed open. */
    int (*close)(char *error, size_t error_size);
};

/* The module's one exported symbol. */
extern "C" const encoder_api *kestovar_encoder(void);

/* In the program: the module, loaded on first use from beside the
 * executable or from where the build put it; null with the reason in
 * error when it cannot be loaded. */
const encoder_api *encoder_load(char *error, size_t error_size);

/* Where encoder_load looks for the module, in order. */
std::vector<std::string> encoder_places(void);

#endif
