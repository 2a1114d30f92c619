/* show.cpp - the pre-rendered song and the loop that fills it. */
#include "show.h"

#include "song.h"
#include "syna_host.h"

int16_t mixed[SHOW_SAMPLES];

const char *show_load(const char *text, size_t length) {
    return syna_fresh(SHOW_RATE, text, length) == SYNA_OK ? nullptr : syna_error();
}

const char *show_load_embedded(void) { return show_load(biisi, (size_t)biisi_length); }

void show_render_blocks(int first, int count) {
    if (first < 0) return;
    for (int k = first; k < first + count && k < SHOW_BLOCKS; k++)
        syna_play(mixed + 2 * SHOW_BLOCK_FRAMES * k, SHOW_BLOCK_FRAMES);
}

void show_prerender(void (*after_block)(int block)) {
    for (int k = 0; k < SHOW_BLOCKS; k++) {
        show_render_blocks(k, 1);
        if (after_block) after_block(k);
    }
    // From here on syna_counter is the playback position in `mixed`.
    syna_counter = 0;
}
