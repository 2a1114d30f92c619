// The audio callback that plays the pre-rendered song.
#include "playback.h"

#include <string.h>

#include "syna.h"

void pakki(void *, uint8_t *stream, int len) {
    if (len <= 0) return;
    // Only this callback writes syna_counter once playback runs; the scene
    // reads it on the main thread as one relaxed 32-bit load.
    const int pos = __atomic_load_n(&syna_counter, __ATOMIC_RELAXED);
    long long avail = 0;
    if (pos >= 0 && pos < SHOW_FRAMES) avail = (long long)(SHOW_FRAMES - pos) * 4;
    long long n = len < avail ? len : avail;
    if (n > 0)
        memcpy(stream, reinterpret_cast<const uint8_t *>(mixed) + (long long)pos * 4, (size_t)n);
    // Beyond the end of the song the card gets silence.
    if (n < len) memset(stream + n, 0, (size_t)(len - n));
    __atomic_store_n(&syna_counter, pos + len / 4, __ATOMIC_RELAXED);
}
