/* canvas.cpp - the display layer in a browser page: the page's canvas
 * (Module.canvas) with a WebGL 1 context, drawn through the GLES 1.x layer.
 *
 * The same face as on a desktop (tavelo.h): tavelo_open makes the context
 * and the first GL state, tavelo_flip presents, tavelo_exitevent reports
 * Escape, tavelo_close shows the viewport cleared and lets the context go.
 * What differs is where things come from:
 *   - the "screen" is the canvas's drawing buffer; the page sizes it to the
 *     element (and the device's pixel ratio) and may change it at any time:
 *     tavelo_flip notices and moves the viewport and scissor box, so the
 *     next frame is letterboxed in the new size;
 *   - the browser presents the drawing buffer when the frame's callback
 *     returns, so tavelo_flip only flushes;
 *   - Escape comes from the page's keyboard events, a press or a release
 *     as on the desktop. In full screen the browser may keep Escape for
 *     itself (leaving full screen) unless the page has asked for the key
 *     (page/page.js does, where the browser allows it).
 * There is no off screen here: tavelo_open_offscreen and tavelo_readpixels
 * refuse (the page reads its pictures from the canvas itself).
 *
 * Limitations: one canvas, every call on the page's main thread; no alpha
 * channel (the canvas is opaque, as a screen is) and the depth buffer the
 * browser gives for "16 bits or more".
 */
#include "egl_teardown.h"
#include "tavelo.h"

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "gles1on2.h"

namespace {

EGLDisplay egl_display = EGL_NO_DISPLAY;
EGLContext egl_context = EGL_NO_CONTEXT;
EGLSurface egl_surface = EGL_NO_SURFACE;
unsigned screen_width = 0;
unsigned screen_height = 0;
int picture_w = 0, picture_h = 0;
bool is_open = false;
bool exit_seen = false;
char error_text[256] = "";

EM_JS(int, canvas_width, (void), { return Module.canvas ? Module.canvas.width : 0; });
EM_JS(int, canvas_height, (void), { return Module.canvas ? Module.canvas.height : 0; });

[[gnu::format(printf, 1, 2)]] int fail(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(error_text, sizeof error_text, fmt, args);
    va_end(args);
    egl_teardown(&egl_display, &egl_context, &egl_surface);
    return -1;
}

// The viewport and scissor box for the picture in the canvas as it is now.
void fit_viewport() {
    screen_width = static_cast<unsigned>(canvas_width());
    screen_height = static_cast<unsigned>(canvas_height());
    const tavelo_rect v = tavelo_viewport(screen_width, screen_height, picture_w, picture_h);
    glViewport(v.x, v.y, v.width, v.height);
    glScissor(v.x, v.y, v.width, v.height);
}

EM_BOOL on_key(int, const EmscriptenKeyboardEvent *e, void *) {
    // Key, not code: Escape wherever a keyboard layout puts it.
    if (std::strcmp(e->key, "Escape") == 0 || e->keyCode == 27) {
        exit_seen = true;
        return EM_TRUE;  // the page has no other use for it
    }
    return EM_FALSE;
}

}  // namespace

extern "C" int tavelo_open(int width, int height, int bpp, int flags) {
    (void)bpp;
    (void)flags;
    error_text[0] = '\0';
    if (is_open) {
        std::snprintf(error_text, sizeof error_text, "the display is already open");
        return -1;
    }
    if (canvas_width() <= 0 || canvas_height() <= 0)
        return fail("the page has no canvas to draw on (Module.canvas)");
    egl_display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (egl_display == EGL_NO_DISPLAY) return fail("no EGL display");
    if (eglInitialize(egl_display, nullptr, nullptr) != EGL_TRUE) {
        egl_display = EGL_NO_DISPLAY;
        return fail("EGL cannot be initialised");
    }
    // No alpha: the canvas is opaque, as a screen is.
    // clang-format off
    const EGLint config_attributes[] = {
        EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 0,
        EGL_DEPTH_SIZE, 16, EGL_NONE};
    const EGLint context_attributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    // clang-format on
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (eglChooseConfig(egl_display, config_attributes, &config, 1, &count) != EGL_TRUE ||
        count < 1)
        return fail("no EGL configuration for the canvas");
    egl_surface = eglCreateWindowSurface(egl_display, config, 0, nullptr);
    egl_context = eglCreateContext(egl_display, config, EGL_NO_CONTEXT, context_attributes);
    if (egl_surface == EGL_NO_SURFACE || egl_context == EGL_NO_CONTEXT ||
        eglMakeCurrent(egl_display, egl_surface, egl_surface, egl_context) != EGL_TRUE)
        return fail("this browser gives no WebGL context");
    if (gles1on2_init() != 0) return fail("%s", gles1on2_error());

    picture_w = width;
    picture_h = height;
    // The state every picture starts from, as on a desktop: black, depth
    // test on, the scissor box keeping clears inside the viewport.
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_SCISSOR_TEST);
    fit_viewport();
    exit_seen = false;
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, on_key);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, on_key);
    is_open = true;
    return 0;
}

extern "C" void tavelo_window(int, int) {
    // The page decides the canvas's size.
}

extern "C" int tavelo_open_offscreen(int, int, int, int) {
    std::snprintf(error_text, sizeof error_text, "no off-screen display in a browser page");
    return -1;
}

extern "C" int tavelo_readpixels(unsigned char *) { return -1; }

extern "C" void tavelo_flip(void) {
    if (!is_open) return;
    glFlush();
    // The browser shows the drawing buffer when this frame's callback
    // returns; a canvas resized since the last frame gets its viewport for
    // the next one.
    if (static_cast<unsigned>(canvas_width()) != screen_width ||
        static_cast<unsigned>(canvas_height()) != screen_height)
        fit_viewport();
}

extern "C" int tavelo_exitevent(void) {
    const int seen = exit_seen ? 1 : 0;
    exit_seen = false;
    return seen;
}

extern "C" void tavelo_close(void) {
    if (!is_open) return;
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, nullptr);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, nullptr);
    // The closing picture: the viewport in the last clear colour. The
    // canvas keeps it after the context is gone.
    glClear(GL_COLOR_BUFFER_BIT);
    glFlush();
    eglMakeCurrent(egl_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroySurface(egl_display, egl_surface);
    eglDestroyContext(egl_display, egl_context);
    eglTerminate(egl_display);
    egl_display = EGL_NO_DISPLAY;
    egl_context = EGL_NO_CONTEXT;
    egl_surface = EGL_NO_SURFACE;
    is_open = false;
    exit_seen = false;
}

extern "C" const char *tavelo_error(void) { return error_text; }
