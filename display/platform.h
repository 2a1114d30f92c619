/* platform.h - the window-system side of the display layer.
 *
 * tavelo.cpp needs three things from the window system: SDL's video started
 * on it, the size of the screen, and a full-screen native window (plus the
 * native display it belongs to) for eglCreateWindowSurface, or an ordinary
 * window of SDL's video-mode size when a windowed run asks for one. Each
 * window system gets one file implementing this interface; platform_x11.cpp
 * is the only one so far. Other systems (DRM/KMS, Wayland) would add their
 * own file and be picked in display/CMakeLists.txt.
 *
 * Call order, as tavelo_open makes it:
 *   platform_sdl_init      first; it is the SDL_Init(SDL_INIT_VIDEO) step
 *   platform_init          after SDL_SetVideoMode, before any EGL call
 *   platform_native_display
 *   platform_screen_size   after the EGL context exists
 *   platform_native_window
 *   platform_close         after eglTerminate, before SDL_Quit
 *
 * Limitations: one window per process; all calls on the thread that runs
 * SDL's video.
 */
#ifndef KESTOVAR_PLATFORM_H
#define KESTOVAR_PLATFORM_H

#include <EGL/egl.h>

#ifdef __cplusplus
extern "C" {
#endif

/* SDL_Init(SDL_INIT_VIDEO) on this window system's SDL driver. 0 on
 * success; -1 when that driver is unavailable, its server does not answer
 * within a few seconds, or SDL picked another one (platform_error() says
 * why; SDL's video is not left running). */
int platform_sdl_init(void);

/* Takes hold of the window SDL_SetVideoMode made and, when `fullscreen`,
 * asks for it to be shown full-screen. 0 on success; -1 when it cannot be
 * had (platform_error() says why). */
int platform_init(int fullscreen);

EGLNativeDisplayType platform_native_display(void);

/* The window's size in pixels (the screen's, when full-screen). */
void platform_screen_size(unsigned *width, unsigned *height);

/* The full-screen window; valid until platform_close. */
EGLNativeWindowType platform_native_window(void);

void platform_close(void);

/* Whether the window system still answers within timeout_ms: 1 (or cannot
 * tell), 0 when it stays silent. Any thread, at any time after
 * platform_sdl_init; it does not touch SDL's connections. */
int platform_answers(int timeout_ms);

const char *platform_error(void);

#ifdef __cplusplus
}
#endif
#endif
