/* A host program of the installed syna library: renders a song, then steers
 * it live. Writes the raw samples of both parts to OUT.
 *     usage: host SONG FRAMES OUT */
#include <stdio.h>
#include <stdlib.h>
#include <syna.h>

int main(int argc, char **argv) {
    if (argc != 4) return 2;
    const int frames = atoi(argv[2]);
    short *out = malloc(sizeof(short) * 2 * (size_t)frames);
    FILE *file = fopen(argv[3], "wb");
    syna_init(44100);
    if (!out || !file || syna_load(argv[1]) != SYNA_OK) {
        fprintf(stderr, "host: %s\n", syna_error());
        return 1;
    }
    syna_play(out, frames);
    fwrite(out, sizeof(short) * 2, (size_t)frames, file);
    syna_setbpm(150);
    syna_transpose(1, 7);
    syna_trig(2, 30);
    syna_setvol(3, 0.25f);
    syna_mute(4, 1, 1);
    syna_play(out, frames);
    fwrite(out, sizeof(short) * 2, (size_t)frames, file);
    printf("row %d counter %d\n", syna_row, syna_counter);
    return fclose(file) != 0;
}
