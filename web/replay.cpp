/* replay.cpp - the show on a fixed frame clock (see replay.h). */
#include "replay.h"

#include "scene.h"
#include "show.h"
#include "syna.h"

int replay_ms(int frame, int fps) { return (int)((long long)frame * 1000 / fps); }

int replay_counter(int ms) { return (int)((long long)ms * SHOW_RATE / 1000); }

int replay_last_frame(int ms, int fps) {
    // The largest f with f * 1000 / fps <= ms, truncations included.
    return (int)((((long long)ms + 1) * fps - 1) / 1000);
}

int replay_run(int first, int last, int fps) {
    int ms = 0;
    for (int f = first; f <= last; f++) {
        ms = replay_ms(f, fps);
        syna_counter = replay_counter(ms);
        osa(ms);
    }
    return ms;
}
