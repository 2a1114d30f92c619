/* clock.cpp - the callback counter from the audio clock (see clock.h). */
#include "clock.h"

#include "show.h"
#include "show_clock.h"

int web_counter(double played) {
    if (!(played >= 0.0)) played = 0.0;  // before the start, or not a number
    // Hours past the end the count must not overflow on its way to an int.
    if (played > (double)SHOW_FRAMES) played = (double)SHOW_FRAMES;
    return show_counter((long long)played);
}
