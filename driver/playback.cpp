// The pre-rendered song buffer and the audio callback that plays it.
#include "playback.h"

#include <string.h>

#include "syna.h"

int16_t mixed[MIXED_SAMPLES];

void pakki(void *, uint8_t *stream, int len) {
    if (len <= 0) return;
    // Only the callback writes syna_counter once playback runs; read it once.
    const int pos = syna_counter;
    long long avail = 0;
    if (pos >= 0 && pos < MIXED_FRAMES) avail = (long long)(MIXED_FRAMES - pos) * 4;
    long long n = len < avail ? len : avail;
    if (n > 0) memcpy(stream, reinterpret_cast<const uint8_t *>(mixed) + (long long)pos * 4, (size_t)n);
    // Beyond the end of the song the card gets silence.
    if (n < len) memset(stream + n, 0, (size_t)(len - n));
    syna_counter = pos + len / 4;
}
