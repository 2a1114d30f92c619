/* offscreen.cpp - EGL on Mesa's surfaceless platform: a pbuffer and an
 * OpenGL ES context, no window system. */
#include "offscreen.h"
#include "egl_teardown.h"

#include <EGL/eglext.h>

#include <cstdio>

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

extern "C" void offscreen_release(offscreen_gl *gl) {
    egl_teardown(&gl->display, &gl->context, &gl->surface);
}

extern "C" int offscreen_context(int version, int width, int height, offscreen_gl *gl, char *error,
                                 size_t error_size) {
    gl->display = EGL_NO_DISPLAY;
    gl->context = EGL_NO_CONTEXT;
    gl->surface = EGL_NO_SURFACE;
    auto fail = [&](const char *what) {
        const EGLint code = eglGetError();
        std::snprintf(error, error_size, "EGL off screen: %s (EGL error 0x%04X)", what,
                      static_cast<unsigned>(code));
        offscreen_release(gl);
        return -1;
    };

    // Through the extension entry point: EGL 1.4 headers and loaders that
    // lack eglGetPlatformDisplay still reach Mesa's platform this way.
    const auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get_platform_display == nullptr) return fail("no eglGetPlatformDisplayEXT");
    gl->display = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (gl->display == EGL_NO_DISPLAY) return fail("no surfaceless platform display");
    if (eglInitialize(gl->display, nullptr, nullptr) != EGL_TRUE) {
        gl->display = EGL_NO_DISPLAY;
        return fail("cannot initialise the surfaceless display");
    }

    const EGLint renderable = version >= 2 ? EGL_OPENGL_ES2_BIT : EGL_OPENGL_ES_BIT;
    // The window configuration of the live show, for a pbuffer.
    // clang-format off
    const EGLint attributes[] = {
        EGL_RED_SIZE, 8,
        EGL_GREEN_SIZE, 8,
        EGL_BLUE_SIZE, 8,
        EGL_ALPHA_SIZE, 8,
        EGL_DEPTH_SIZE, 16,
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
        EGL_RENDERABLE_TYPE, renderable,
        EGL_NONE,
    };
    // clang-format on
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (eglChooseConfig(gl->display, attributes, &config, 1, &count) != EGL_TRUE || count < 1)
        return fail("no 8/8/8/8 pbuffer configuration with a 16-bit depth buffer");

    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    gl->surface = eglCreatePbufferSurface(gl->display, config, size);
    if (gl->surface == EGL_NO_SURFACE) return fail("cannot create a pbuffer of that size");
    if (eglBindAPI(EGL_OPENGL_ES_API) != EGL_TRUE) return fail("no OpenGL ES API");
    const EGLint context_attributes[] = {EGL_CONTEXT_CLIENT_VERSION, version, EGL_NONE};
    gl->context = eglCreateContext(gl->display, config, EGL_NO_CONTEXT, context_attributes);
    if (gl->context == EGL_NO_CONTEXT) return fail("cannot create an OpenGL ES context");
    if (eglMakeCurrent(gl->display, gl->surface, gl->surface, gl->context) != EGL_TRUE)
        return fail("cannot make the context current");
    return 0;
}
