/* keyframes.cpp - the keyframe step that steers the scene's look.
 *
 * paramstep(beat) picks the row of `param` whose bar range holds `beat` and
 * moves paramf[1..8] 3 % of the way toward that row's targets (byte / 25.6).
 * Call it once per frame; the glide is counted in frames, so it follows the
 * frame rate. From bar 59 on the values freeze. paramf starts at zero and is
 * never reset.
 */
#include "scene_internal.h"
#include "tables.h"

float paramf[10];

void paramstep(int bar) {
    // Row i applies from its own bar up to the bar of row i + 1; row 0's own
    // position is never looked at, and row 16 only closes row 15.
    int row = -1;
    for (int i = 0; i < PARAM_ROWS - 1; i++) {
        if (param[(i + 1) * PARAM_COLS] > bar) {
            row = i;
            break;
        }
    }
    if (row < 0) return;
    const signed char *target = &param[row * PARAM_COLS];
    for (int k = 1; k <= 8; k++) {
        // 0.97 * p + 3/2560 * v settles at v / 25.6; evaluated in double.
        paramf[k] = (float)(0.97 * (double)paramf[k] + 0.001171875 * (double)target[k]);
    }
}
