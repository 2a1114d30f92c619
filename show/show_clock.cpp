/* show_clock.cpp - the show's clock (see show_clock.h). */
#include "show_clock.h"

#include <algorithm>
#include <cmath>

#include "show.h"

extern "C" int beatof(int frames) {
    const float seconds = (float)(frames * 0.000022675736961451248);
    // The slightly negative start truncates to bar 0.
    return (int)(((double)seconds * 2.0833333333333335 - 0.3) * 0.25);
}

extern "C" int show_ms(long long frame, int fps) { return (int)(frame * 1000 / fps); }

extern "C" long long show_sample(long long frame, int fps) { return frame * SHOW_RATE / fps; }

extern "C" int show_counter(long long sounding) {
    const long long handed = (sounding / SHOW_BLOCK_FRAMES + 1) * SHOW_BLOCK_FRAMES;
    return (int)std::min<long long>(handed, SHOW_FRAMES);
}

extern "C" int show_position(long long frame, int fps) {
    return show_counter(show_sample(frame, fps));
}

extern "C" long long show_frame_at(double seconds, int fps) {
    return std::llround(seconds * (double)fps);
}

extern "C" long long show_frame_count(int fps) {
    long long n = 0;
    while (beatof(show_position(n, fps)) <= 58) n++;
    return n + 1;
}
