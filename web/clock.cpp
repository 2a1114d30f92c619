/* clock.cpp - the callback counter from the audio clock (see clock.h). */
#include "clock.h"

#include "show.h"

int web_counter(double played) {
    if (!(played >= 0.0)) played = 0.0;  // before the start, or not a number
    // Far past the end the count stops growing rather than overflowing.
    const double last = (double)SHOW_FRAMES + (double)SHOW_BLOCK_FRAMES;
    if (played > last) played = last;
    const int blocks = (int)(played / (double)SHOW_BLOCK_FRAMES);
    return (blocks + 1) * SHOW_BLOCK_FRAMES;
}
