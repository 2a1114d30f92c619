/* offscreen.h - an OpenGL ES context with no window system at all.
 *
 * offscreen_context opens Mesa's surfaceless EGL platform (no X server, no
 * DISPLAY needed), picks an RGBA 8/8/8/8 configuration with a 16-bit depth
 * buffer that renders OpenGL ES of the asked version into pbuffers, makes a
 * width x height pbuffer and a context of that version, and makes them
 * current on the calling thread. tavelo_open_offscreen asks for the display
 * layer's own version: 1, or 2 in tavelo_gles2 (the GLES 1.x layer on
 * OpenGL ES 2.0).
 *
 * Limitations: needs EGL_MESA_platform_surfaceless (Mesa); the picture is
 * read back with glReadPixels, nothing is ever shown.
 */
#ifndef KESTOVAR_OFFSCREEN_H
#define KESTOVAR_OFFSCREEN_H

#include <EGL/egl.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct offscreen_gl {
    EGLDisplay display;
    EGLContext context;
    EGLSurface surface;
} offscreen_gl;

/* 0 with everything current; -1 with the reason in error (error_size
 * bytes) and everything that was made released again. */
int offscreen_context(int version, int width, int height, offscreen_gl *gl, char *error,
                      size_t error_size);

/* Releases what offscreen_context made; safe on a zeroed record. */
void offscreen_release(offscreen_gl *gl);

#ifdef __cplusplus
}
#endif
#endif
