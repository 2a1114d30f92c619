/* tavelo.h - the display layer: one full-screen OpenGL ES 1.x context.
 *
 * tavelo_open starts SDL video, opens a full-screen native window through
 * the platform layer (platform.h), makes an EGL window surface with an
 * OpenGL ES 1.x context current on the calling thread and sets a centred,
 * aspect-correct viewport and scissor box for the requested picture size.
 * tavelo_flip presents a frame, tavelo_exitevent reports Escape,
 * tavelo_close tears everything down, SDL included.
 *
 * Limitations: one display per process; every call on the thread that
 * opened it.
 */
#ifndef KESTOVAR_TAVELO_H
#define KESTOVAR_TAVELO_H

#ifdef __cplusplus
extern "C" {
#endif

/* 0 on success; -1 when no display, EGL or GLES 1.x context could be had
 * (tavelo_error() says why; SDL's video is shut down again). */
int tavelo_open(int width, int height, int bpp, int flags);
void tavelo_flip(void);
/* 1 when an Escape press or release was in the event queue, else 0. */
int tavelo_exitevent(void);
void tavelo_close(void);
const char *tavelo_error(void);

/* The centred viewport for a requested picture of w x h on a W x H screen. */
typedef struct tavelo_rect {
    int x, y, width, height;
} tavelo_rect;
tavelo_rect tavelo_viewport(unsigned screen_w, unsigned screen_h, int w, int h);

#ifdef __cplusplus
}
#endif
#endif
