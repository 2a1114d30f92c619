/* web_main.cpp - the demo in a browser page: the native program's steps,
 * cut into calls that return to the browser's event loop.
 *
 * The page (page/page.js) calls, in order:
 *   web_blocks(): how many render blocks the song has (for the progress
 *       bar);
 *   web_prerender(ms) again and again until it returns web_blocks(): the
 *       embedded song is parsed, then rendered into `mixed` block by block,
 *       for about `ms` milliseconds per call so that a progress bar can move;
 *   web_mixed(), web_mixed_bytes(): the rendered song, for Web Audio and for
 *       the page's SHA-256 of its bytes;
 *   web_open(): the display layer on the page's canvas (display/canvas.cpp):
 *       a 640 x 480 picture letterboxed in whatever size the page gives the
 *       canvas, now and later;
 *   web_show_start(): the frame loop, once per animation frame, as the
 *       native one: Escape (tavelo_exitevent) or the scene's `quit` ends it,
 *       otherwise osa draws with the milliseconds since the start and the
 *       position from the audio clock (Module.audioPlayed(), see clock.h).
 *       At the end tavelo_close shows the cleared viewport and
 *       Module.onShowEnd(frames, fps) runs.
 * web_still(seconds, fps) draws the frame at a song position instead of
 * playing (for the tests): the frame `kestovar --still` makes there, taken
 * on the same frame clock (show_clock.h), at up to web_max_fps() frames
 * per second. web_error() says why a call failed.
 *
 * Limitations: one show per page load; the frame loop and the stills
 * cannot be mixed (the stills take the scene from its first frame on).
 */
#include <emscripten.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "clock.h"
#include "frame_clock.h"
#include "scene.h"
#include "show.h"
#include "syna.h"
#include "tavelo.h"

namespace {

enum { kWantWidth = 640, kWantHeight = 480 };

int blocks_done = -1;  // -1: the song is not parsed yet
double start_ms = 0;
int frames = 0;
long long next_still_frame = 0;
char error_text[256] = "";

EM_JS(double, audio_played, (void), { return Module.audioPlayed ? Module.audioPlayed() : 0; });

EM_JS(void, show_ended, (int count, int fps), {
    if (Module.onShowEnd) Module.onShowEnd(count, fps);
});

[[gnu::format(printf, 1, 2)]] int refuse(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(error_text, sizeof error_text, fmt, args);
    va_end(args);
    return -1;
}

void frame() {
    if (tavelo_exitevent() || quit) {
        emscripten_cancel_main_loop();
        const int elapsed = (int)(emscripten_get_now() - start_ms);
        tavelo_close();
        show_ended(frames, elapsed > 0 ? (int)((long long)frames * 1000 / elapsed) : 0);
        return;
    }
    const int ms = (int)(emscripten_get_now() - start_ms);
    syna_counter = web_counter(audio_played());
    if (osa(ms)) {
        tavelo_flip();
        frames++;
    }
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int web_blocks(void) { return SHOW_BLOCKS; }

EMSCRIPTEN_KEEPALIVE int web_max_fps(void) { return CAPTURE_MAX_FPS; }

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

EMSCRIPTEN_KEEPALIVE int web_open(void) {
    if (tavelo_open(kWantWidth, kWantHeight, 32, 0) != 0) return refuse("%s", tavelo_error());
    return 0;
}

EMSCRIPTEN_KEEPALIVE void web_show_start(void) {
    start_ms = emscripten_get_now();
    frames = 0;
    emscripten_set_main_loop(frame, 0, 0);
}

EMSCRIPTEN_KEEPALIVE int web_still(double seconds, int fps) {
    // A still is reached by taking every frame before it: a rate beyond the
    // capture's would only keep the tab busy for minutes.
    if (fps < 1 || fps > CAPTURE_MAX_FPS)
        return refuse("the frame rate %d is not within 1 to %d", fps, CAPTURE_MAX_FPS);
    if (!std::isfinite(seconds) || seconds < 0.0)
        return refuse("no song position at %g s", seconds);
    // Past the show before rounding, so that no huge time reaches llround.
    const long long show = show_frame_count(fps);
    if (seconds * fps >= (double)show) return refuse("%g s is past the show's end", seconds);
    const long long target = show_frame_at(seconds, fps);
    if (target < next_still_frame || target >= show)
        return refuse("%g s: positions must rise", seconds);
    for (long long n = next_still_frame; n <= target; n++) capture_take_frame(n, fps, n == target);
    next_still_frame = target + 1;
    return 0;
}

}  // extern "C"
