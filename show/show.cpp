/* show.cpp - the pre-rendered song and the loop that fills it. */
#include "show.h"

#include <algorithm>
#include <vector>

#include "song.h"
#include "syna_host.h"

int16_t mixed[SHOW_SAMPLES];

const char *show_load(const char *text, size_t length) {
    return syna_fresh(SHOW_RATE, text, length) == SYNA_OK ? nullptr : syna_error();
}

const char *show_load_embedded(void) { return show_load(biisi, (size_t)biisi_length); }

long long show_render_frames(long long first, long long count, int16_t *out, show_block_fn on_block,
                             void *user) {
    if (first < 0) return 0;
    std::vector<int16_t> own(out ? 0 : 2 * SHOW_BLOCK_FRAMES);
    long long done = 0;
    while (done < count) {
        const long long at = first + done;
        const long long to_edge = SHOW_BLOCK_FRAMES - at % SHOW_BLOCK_FRAMES;
        const int n = (int)std::min(count - done, to_edge);
        int16_t *block = out ? out + 2 * done : own.data();
        syna_play(block, n);
        done += n;
        if (on_block && on_block(block, at, n, user)) break;
    }
    return done;
}

void show_render_blocks(int first, int count) {
    if (first < 0 || first >= SHOW_BLOCKS) return;
    count = std::min(count, SHOW_BLOCKS - first);
    if (count <= 0) return;
    const long long at = (long long)first * SHOW_BLOCK_FRAMES;
    show_render_frames(at, (long long)count * SHOW_BLOCK_FRAMES, mixed + 2 * at, nullptr, nullptr);
}

void show_prerender(void (*after_block)(int block)) {
    for (int k = 0; k < SHOW_BLOCKS; k++) {
        show_render_blocks(k, 1);
        if (after_block) after_block(k);
    }
    // From here on syna_counter is the playback position in `mixed`.
    syna_counter = 0;
}
