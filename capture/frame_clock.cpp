/* frame_clock.cpp - the show on a frame counter (see frame_clock.h). */
#include "frame_clock.h"

#include <algorithm>
#include <cmath>

#include "scene.h"
#include "scene_internal.h"
#include "show.h"
#include "syna.h"

extern "C" int capture_ms(long long frame, int fps) { return (int)(frame * 1000 / fps); }

extern "C" long long capture_sample(long long frame, int fps) { return frame * SHOW_RATE / fps; }

extern "C" int capture_counter(long long sounding) {
    const long long handed = (sounding / SHOW_BLOCK_FRAMES + 1) * SHOW_BLOCK_FRAMES;
    return (int)std::min<long long>(handed, SHOW_FRAMES);
}

extern "C" int capture_position(long long frame, int fps) {
    return capture_counter(capture_sample(frame, fps));
}

extern "C" long long capture_frame_at(double seconds, int fps) {
    return std::llround(seconds * (double)fps);
}

extern "C" long long capture_show_frames(int fps) {
    long long n = 0;
    while (beatof(capture_position(n, fps)) <= 58) n++;
    return n + 1;
}

extern "C" int capture_take_frame(long long frame, int fps, int draw) {
    __atomic_store_n(&syna_counter, capture_position(frame, fps), __ATOMIC_RELAXED);
    const int ms = capture_ms(frame, fps);
    if (!draw && frame > 0) {
        osa_skip(ms);
        return 0;
    }
    osa(ms);
    return 1;
}
