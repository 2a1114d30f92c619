/* tavelo.h - the display layer: one OpenGL ES 1.x context, on screen or off.
 *
 * tavelo_open starts SDL video, opens a full-screen native window through
 * the platform layer (platform.h), makes an EGL window surface with an
 * OpenGL ES 1.x context current on the calling thread and sets a centred,
 * aspect-correct viewport and scissor box for the requested picture size.
 * tavelo_flip presents a frame, tavelo_exitevent reports Escape, a quit
 * request (the window's close button, SIGINT, SIGTERM), tavelo_close tears
 * everything down, SDL included. tavelo_window, called first, asks for an
 * ordinary window instead of the full screen.
 *
 * On a Linux console with no X display (console.h) the same context is
 * made on the screen itself through DRM/KMS, GBM and EGL, without SDL's
 * video; tavelo_backend chooses between the two.
 *
 * tavelo_open_offscreen is the same context without any window system: an
 * EGL pbuffer on Mesa's surfaceless platform (no X server, no SDL), read
 * back with tavelo_readpixels. The capture draws through it.
 *
 * In a browser page (the emscripten build, display/canvas.cpp) the same
 * calls draw on the page's canvas through WebGL; there is no off screen.
 *
 * Limitations: one display per process, on screen or off; every call on
 * the thread that opened it.
 */
#ifndef KESTOVAR_TAVELO_H
#define KESTOVAR_TAVELO_H

#ifdef __cplusplus
extern "C" {
#endif

/* 0 on success; -1 when no display, EGL or GLES 1.x context could be had
 * (tavelo_error() says why; SDL's video is shut down again). */
int tavelo_open(int width, int height, int bpp, int flags);
/* Before tavelo_open: an ordinary window of w x h pixels, left to the window
 * manager, instead of a full-screen one. w, h <= 0 goes back to full screen. */
void tavelo_window(int w, int h);
/* Before tavelo_open: where the picture goes. TAVELO_AUTO (the default)
 * takes the X display named by DISPLAY, or the console's screen (DRM/KMS)
 * when no X display answers and a DRM device has a connected screen; the
 * others force one. A window (tavelo_window) is always on X. */
enum { TAVELO_AUTO = 0, TAVELO_X11 = 1, TAVELO_CONSOLE = 2 };
void tavelo_backend(int which);
/* After tavelo_open: a remark for the user (on the console, that no
 * keyboard can be read), or "". */
const char *tavelo_notice(void);
/* Off screen: a width x height pbuffer with the same EGL configuration,
 * the viewport and scissor box for a pic_w x pic_h picture placed by
 * tavelo_viewport. 0 on success; -1 with tavelo_error() otherwise. */
int tavelo_open_offscreen(int width, int height, int pic_w, int pic_h);
/* Off screen: the whole surface as width x height RGBA bytes, bottom row
 * first as GL reads it. Waits for the drawing to finish (so does
 * tavelo_flip off screen). 0, or -1 when no off-screen surface is open. */
int tavelo_readpixels(unsigned char *rgba);
void tavelo_flip(void);
/* 1 when an Escape press or release or a quit request was in the event
 * queue, else 0. Always 0 off screen. */
int tavelo_exitevent(void);
void tavelo_close(void);
const char *tavelo_error(void);
/* From any thread, while another may be stuck in a tavelo_ call: 1 when the
 * display still answers within timeout_ms (or cannot tell), 0 when it stays
 * silent. Off screen, or before tavelo_open, always 1. */
int tavelo_answers(int timeout_ms);
/* From any thread, before an _exit() while another thread may be inside a
 * tavelo_ call: gives back what the kernel would not on exit (a console's
 * text mode and terminal settings). Async-signal-safe; on X and off screen
 * nothing is left to give back. */
void tavelo_abandon(void);

/* The centred viewport for a requested picture of w x h on a W x H screen. */
typedef struct tavelo_rect {
    int x, y, width, height;
} tavelo_rect;
tavelo_rect tavelo_viewport(unsigned screen_w, unsigned screen_h, int w, int h);

#ifdef __cplusplus
}
#endif
#endif
