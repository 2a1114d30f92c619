/* frame_clock.cpp - a frame of the show on a frame counter (see frame_clock.h). */
#include "frame_clock.h"

#include "scene.h"
#include "show_clock.h"
#include "syna.h"

extern "C" int capture_take_frame(long long frame, int fps, int draw) {
    __atomic_store_n(&syna_counter, show_position(frame, fps), __ATOMIC_RELAXED);
    const int ms = show_ms(frame, fps);
    if (!draw && frame > 0) {
        osa_skip(ms);
        return 0;
    }
    osa(ms);
    return 1;
}
