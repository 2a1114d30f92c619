/* console.h - the display layer straight on a Linux console: DRM/KMS, GBM
 * and EGL, with no window system and no SDL video.
 *
 * console_context finds the first DRM device with a connected screen,
 * becomes its master, makes an EGL context of the asked OpenGL ES version
 * on a GBM surface of the screen's preferred mode and shows its first
 * (black) frame, the console's previous mode and framebuffer kept aside.
 * It also reads the keyboards (evdev, grabbed, so keys typed during the
 * show reach neither the console nor the shell), puts a virtual terminal
 * in graphics mode and the controlling terminal in no-echo mode.
 * console_present puts the frame just swapped on the screen and waits for
 * the flip; console_release gives everything back. The console is also
 * given back by an exit() or a fatal signal while it is held (one the host
 * neither handles nor ignores), and by console_abandon before an _exit().
 *
 * Limitations: one screen (the first connected connector of the first
 * device that has one); legacy mode setting, no atomic commits.
 */
#ifndef KESTOVAR_CONSOLE_H
#define KESTOVAR_CONSOLE_H

#include <EGL/egl.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct console_gl {
    EGLDisplay display;
    EGLContext context;
    EGLSurface surface;
    unsigned width, height; /* the screen's mode */
} console_gl;

/* 1 when some /dev/dri/card* has a connected screen (nothing is changed);
 * else 0 with the reason in why (may be null). */
int console_screen_present(char *why, size_t why_size);

/* 0 with the context current and the screen ours; -1 with the reason in
 * error and nothing changed. */
int console_context(int version, console_gl *gl, char *error, size_t error_size);

/* After eglSwapBuffers: shows that buffer and waits for the flip. */
void console_present(void);

/* Nonzero when Escape, Ctrl-C on a grabbed keyboard, or a lone Escape on
 * the terminal came in since the last call. */
int console_exitevent(void);

/* A remark for the user from console_context (no keyboard to read), or "". */
const char *console_notice(void);

/* Gives back the console: the previous mode, text mode, the terminal's
 * settings (typed-ahead input dropped); then frees everything. */
void console_release(console_gl *gl);

/* From any thread, for a process about to end with _exit() while another
 * thread may still be drawing: gives back the previous mode, text mode and
 * the terminal's settings, with async-signal-safe calls only. Nothing when
 * the console is not held. What the kernel frees on exit (the device, the
 * keyboards' grab, the buffers) is left to it. */
void console_abandon(void);

/* Pure parts, for the tests. */
typedef struct console_mode_info {
    unsigned width, height;
    int preferred; /* the mode carries the preferred flag */
} console_mode_info;
/* Index of the screen's preferred mode: the first one flagged, else the
 * largest; -1 when there is none. */
int console_pick_mode(const console_mode_info *modes, int count);

/* Whether an evdev key event ends the show; *ctrl tracks the Ctrl keys. */
int console_key_ends_show(unsigned code, int value, int *ctrl);

#ifdef __cplusplus
}
#endif
#endif
