/* egl_teardown.h - ends whatever part of an EGL context a display backend
 * made (X11, console, off-screen, canvas), in the order EGL wants: the
 * context released from the thread, then surface, context and display.
 * Afterwards all three handles are the EGL_NO_* values, so it may be called
 * again, or on a start that failed half-way. Inside display/ only.
 */
#ifndef KESTOVAR_EGL_TEARDOWN_H
#define KESTOVAR_EGL_TEARDOWN_H

#include <EGL/egl.h>

inline void egl_teardown(EGLDisplay *display, EGLContext *context, EGLSurface *surface) {
    if (*display != EGL_NO_DISPLAY) {
        eglMakeCurrent(*display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (*surface != EGL_NO_SURFACE) eglDestroySurface(*display, *surface);
        if (*context != EGL_NO_CONTEXT) eglDestroyContext(*display, *context);
        eglTerminate(*display);
    }
    *display = EGL_NO_DISPLAY;
    *context = EGL_NO_CONTEXT;
    *surface = EGL_NO_SURFACE;
}

#endif
