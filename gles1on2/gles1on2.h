/* gles1on2.h - the OpenGL ES 1.x entry points the demo uses, drawn with
 * OpenGL ES 2.0 (or WebGL 1), which has no fixed-function pipeline.
 *
 * Link `gles1on2` instead of libGLESv1_CM and keep calling the GLES 1.x
 * functions of <GLES/gl.h>: this library defines them (glMatrixMode,
 * glRotatef, glLightfv, glVertexPointer, glDrawArrays, ...) and draws through
 * one shader program of its own on the current OpenGL ES 2.0 context, whose
 * functions it looks up with eglGetProcAddress (in the browser, emscripten's
 * EGL gives the WebGL ones).
 *
 * What it keeps of GLES 1.x: the modelview and projection matrix stacks;
 * client-side vertex, colour and normal arrays (GL_FLOAT only); the current
 * colour; per-vertex lighting with GL_LIGHT0 as a directional light, the
 * light-model ambient, colour material (ambient and diffuse follow the
 * current colour, and keep the last one when it is turned off; a colour
 * array colours each vertex without changing the material) and otherwise
 * the default material; GL_NORMALIZE; depth test, scissor,
 * culling and blending passed on. Lines of any width are drawn as
 * parallelograms widened along the minor axis by the line width in pixels,
 * the way GL rasterises wide aliased lines, because browsers cap
 * glLineWidth at 1.
 *
 * Use: make an OpenGL ES 2.0 context current, then either call
 * gles1on2_init() (0 on success) or just start with GL calls: the first
 * one sets the layer up. glGetString(GL_VERSION) answers
 * "OpenGL ES-CM 1.1 gles1on2 on <the real version>".
 *
 * Limitations: one context per process (gles1on2_init again after making a
 * new one current); GL_LIGHT1..7, textures, fog, points, positional lights,
 * glMaterial and glLightModel are not there. An unsupported capability or
 * mode is ignored and remembered as GL_INVALID_ENUM for glGetError, with
 * its name in gles1on2_error(). Client arrays are copied into a buffer
 * object at every draw call.
 */
#ifndef KESTOVAR_GLES1ON2_H
#define KESTOVAR_GLES1ON2_H

#ifdef __cplusplus
extern "C" {
#endif

/* Sets the layer up on the current OpenGL ES 2.0 context and puts every
 * GLES 1.x state it keeps back to GL's initial values. 0 on success, -1
 * when no context is current or the shader program cannot be built
 * (gles1on2_error() says why; GL calls then do nothing). */
int gles1on2_init(void);

/* Why gles1on2_init failed, or the first unsupported GLES 1.x request
 * since it succeeded; "" when there is nothing to say. */
const char *gles1on2_error(void);

#ifdef __cplusplus
}
#endif
#endif
