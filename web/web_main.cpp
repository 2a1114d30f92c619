/* web_main.cpp - the demo in a browser page: the native program's steps,
 * cut into calls that return to the browser's event loop.
 *
 * The page (page/page.js) calls, in order:
 *   web_prerender(ms) again and again until it returns SHOW_BLOCKS: the
 *       embedded song is parsed, then rendered into `mixed` block by block,
 *       for about `ms` milliseconds per call so that a progress bar can move;
 *   web_mixed(), web_mixed_bytes(): the rendered song, for Web Audio and for
 *       the page's SHA-256 of its bytes;
 *   web_open(w, h): an OpenGL ES 2.0 (WebGL 1) context on the page's canvas
 *       through emscripten's EGL, the GLES 1.x layer on it, and the display
 *       layer's GL state: black clear, depth test, and the letterboxed
 *       viewport and scissor box for 640 x 480 in a w x h canvas;
 *   web_show_start(): the frame loop, once per animation frame: Escape or
 *       the scene's `quit` ends it, otherwise osa draws with the
 *       milliseconds since the start and the position from the audio clock
 *       (Module.audioPlayed(), see clock.h). At the end the viewport is
 *       cleared as tavelo_close does and Module.onShowEnd(frames, fps) runs.
 * web_resize(w, h) follows a new canvas size; web_escape() is Escape;
 * web_still(seconds, fps) draws the frame at a song position instead of
 * playing (for the tests): the frame `kestovar --still` makes there, taken
 * on the same frame clock (show_clock.h).
 *
 * Limitations: one show per page load; the frame loop and the stills
 * cannot be mixed (both start from the scene's initial state).
 */
#include <EGL/egl.h>
#include <GLES/gl.h>
#include <emscripten.h>

#include <cstdio>

#include "clock.h"
#include "frame_clock.h"
#include "gles1on2.h"
#include "scene.h"
#include "show.h"
#include "syna.h"
#include "tavelo.h"

namespace {

enum { kWantWidth = 640, kWantHeight = 480 };

int blocks_done = -1;  // -1: the song is not parsed yet
bool escape = false;
double start_ms = 0;
int frames = 0;
long long next_still_frame = 0;
char error_text[256] = "";

EM_JS(double, audio_played, (void), { return Module.audioPlayed ? Module.audioPlayed() : 0; });

EM_JS(void, show_ended, (int count, int fps), {
    if (Module.onShowEnd) Module.onShowEnd(count, fps);
});

void frame() {
    if (escape || quit) {
        emscripten_cancel_main_loop();
        const int elapsed = (int)(emscripten_get_now() - start_ms);
        // The closing picture: the viewport in the last clear colour.
        glClear(GL_COLOR_BUFFER_BIT);
        show_ended(frames, elapsed > 0 ? (int)((long long)frames * 1000 / elapsed) : 0);
        return;
    }
    const int ms = (int)(emscripten_get_now() - start_ms);
    syna_counter = web_counter(audio_played());
    if (osa(ms)) frames++;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int web_prerender(double budget_ms) {
    if (blocks_done < 0) {
        if (const char *why = show_load_embedded()) {
            std::snprintf(error_text, sizeof error_text, "the embedded song was rejected: %s", why);
            return -1;
        }
        blocks_done = 0;
    }
    const double start = emscripten_get_now();
    while (blocks_done < SHOW_BLOCKS && emscripten_get_now() - start < budget_ms) {
        show_render_blocks(blocks_done, 1);
        blocks_done++;
        // From here on syna_counter is the playback position.
        if (blocks_done == SHOW_BLOCKS) syna_counter = 0;
    }
    return blocks_done;
}

EMSCRIPTEN_KEEPALIVE const int16_t *web_mixed(void) { return mixed; }

EMSCRIPTEN_KEEPALIVE int web_mixed_bytes(void) { return (int)sizeof mixed; }

EMSCRIPTEN_KEEPALIVE const char *web_error(void) { return error_text; }

EMSCRIPTEN_KEEPALIVE void web_resize(int width, int height) {
    const tavelo_rect v =
        tavelo_viewport((unsigned)width, (unsigned)height, kWantWidth, kWantHeight);
    glViewport(v.x, v.y, v.width, v.height);
    glScissor(v.x, v.y, v.width, v.height);
}

EMSCRIPTEN_KEEPALIVE int web_open(int width, int height) {
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        std::snprintf(error_text, sizeof error_text, "no EGL display");
        return -1;
    }
    // No alpha: the canvas is opaque, as a screen is.
    const EGLint config_attributes[] = {EGL_RED_SIZE,   8, EGL_GREEN_SIZE, 8,  EGL_BLUE_SIZE, 8,
                                        EGL_ALPHA_SIZE, 0, EGL_DEPTH_SIZE, 16, EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(display, config_attributes, &config, 1, &count) || count < 1) {
        std::snprintf(error_text, sizeof error_text, "no EGL configuration");
        return -1;
    }
    EGLSurface surface = eglCreateWindowSurface(display, config, 0, nullptr);
    const EGLint context_attributes[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attributes);
    if (surface == EGL_NO_SURFACE || context == EGL_NO_CONTEXT ||
        !eglMakeCurrent(display, surface, surface, context)) {
        std::snprintf(error_text, sizeof error_text, "this browser gives no WebGL context");
        return -1;
    }
    if (gles1on2_init() != 0) {
        std::snprintf(error_text, sizeof error_text, "%s", gles1on2_error());
        return -1;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_SCISSOR_TEST);
    web_resize(width, height);
    return 0;
}

EMSCRIPTEN_KEEPALIVE void web_escape(void) { escape = true; }

EMSCRIPTEN_KEEPALIVE void web_show_start(void) {
    start_ms = emscripten_get_now();
    frames = 0;
    emscripten_set_main_loop(frame, 0, 0);
}

EMSCRIPTEN_KEEPALIVE int web_still(double seconds, int fps) {
    if (fps <= 0 || !(seconds >= 0.0)) return -1;
    const long long target = show_frame_at(seconds, fps);
    // Positions must rise, within the show.
    if (target < next_still_frame || target >= show_frame_count(fps)) return -1;
    for (long long n = next_still_frame; n <= target; n++) capture_take_frame(n, fps, n == target);
    next_still_frame = target + 1;
    return 0;
}

}  // extern "C"
