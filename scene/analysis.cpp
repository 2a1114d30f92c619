/* analysis.cpp - what the audio sounding now looks like.
 *
 * analyysi(samples) reads one channel of 2048 frames (every second 16-bit
 * value from `samples`), stores them scaled to +-0.1 in buf for the
 * oscilloscope and follows their peak in max_sample (0 .. 0.5), which makes
 * the petals tremble. From bar 48 on max_sample is held at 0.
 *
 * windowstart(ms) says where in `mixed` the window for a millisecond count
 * begins. The driver's milliseconds are wall-clock time and may run ahead of
 * the audio, so the start is clamped: never a read outside `mixed`.
 */
#include "scene_internal.h"
#include "show.h"

float buf[WINDOW_VALUES];
float max_sample;

int windowstart(int ms) {
    // 44.1 frames, 88.2 values per millisecond. Taken in 64 bits so that
    // huge ms cannot overflow; for every ms whose window fits, the result is
    // the same as in 32-bit arithmetic.
    long long idx = 882LL * ms / 10;
    const long long last = SHOW_SAMPLES - (2 * WINDOW_VALUES - 1);  // last start that fits
    if (idx > last) {
        // Stay on the same channel: even starts read left, odd ones right.
        idx = last - ((last ^ idx) & 1);
    } else if (idx < 0) {
        idx = idx & 1;
    }
    return (int)idx;
}

void analyysi(const int16_t *samples) {
    // v = s / 65536 is exact in float, so the trace value (float)(v * 0.2)
    // is the double product s * (0.2 / 65536) rounded once: scaling by a
    // power of two changes no rounding. And the largest |v| is the largest
    // |s| scaled, so the peak is found on integers.
    constexpr double kTraceScale = 0.2 / 65536.0;
    int loudest = 0;
    for (int k = 0; k < WINDOW_VALUES; k++) {
        const int s = samples[2 * k];
        buf[k] = (float)((double)s * kTraceScale);
        const int a = s < 0 ? -s : s;
        loudest = a > loudest ? a : loudest;
    }
    // A full-scale sample reads +-0.5.
    const float peak = (float)loudest * 0.0000152587890625f;
    max_sample = (float)(0.65 * (double)max_sample + 0.35 * (double)peak);
    // The last stretch of the show has a still flower.
    if (beat >= 48) max_sample = 0.0f;
}
