/* viewport.cpp - the display layer's letterbox rule, on its own so that a
 * build without EGL (the browser page) can use the same rule.
 *
 * tavelo_viewport(W, H, w, h) gives the centred viewport for a requested
 * picture of w x h on a W x H screen (see tavelo.h).
 */
#include <cstdint>

#include "tavelo.h"

extern "C" tavelo_rect tavelo_viewport(unsigned screen_w, unsigned screen_h, int w, int h) {
    const uint32_t W = screen_w;
    const uint32_t H = screen_h;
    uint32_t hx = W / 2;
    uint32_t hy = H / 2;

    if (w <= 0 || h <= 0) {
        // No shape to keep: use the whole screen rather than divide by 0.
    } else if (W == 720 && (H == 480 || H == 576)) {
        // TV output: non-square pixels, and some of the picture lost to
        // overscan.
        const uint32_t m = H == 480 ? 11 : 54;
        const uint32_t n = H == 480 ? 10 : 59;
        const float aspect = static_cast<float>(w) / static_cast<float>(h);
        if (static_cast<double>(aspect) < 1.3333333333333333)
            hx = ((m * H * static_cast<uint32_t>(w)) / n / static_cast<uint32_t>(h)) / 2;
        else
            hy = ((n * W * static_cast<uint32_t>(h)) / m / static_cast<uint32_t>(w)) / 2;
        hx = hx * 88 / 100;
        hy = hy * 88 / 100;
    } else if (static_cast<uint32_t>(w) == W && static_cast<uint32_t>(h) == H) {
        // The whole screen.
    } else if (static_cast<float>(w) / static_cast<float>(h) <
               static_cast<float>(W) / static_cast<float>(H)) {
        hx = (H * static_cast<uint32_t>(w) / static_cast<uint32_t>(h)) / 2;
    } else {
        hy = (W * static_cast<uint32_t>(h) / static_cast<uint32_t>(w)) / 2;
    }

    tavelo_rect r;
    r.x = static_cast<int>(W / 2 - hx);
    r.y = static_cast<int>(H / 2 - hy);
    r.width = static_cast<int>(2 * hx);
    r.height = static_cast<int>(2 * hy);
    return r;
}
