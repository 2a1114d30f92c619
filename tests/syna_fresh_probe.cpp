// syna_fresh_probe SONG FRAMES: what a new process's synthesizer looks like
// before and after it plays SONG, for syna_reset_test. Prints the whole
// state's fingerprint at start, the render's hash and the fingerprint after.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "syna_helpers.h"

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    syna_set_row_print(nullptr);
    std::printf("start %016" PRIx64 "\n", synatest::state_fingerprint(true));
    syna_init(44100);
    if (synatest::load(synatest::read_file(argv[1])) != SYNA_OK) return 1;
    const std::vector<short> out = synatest::render(std::atoi(argv[2]));
    std::printf("render %016" PRIx64 "\n", synatest::fnv1a(out));
    std::printf("end %016" PRIx64 "\n", synatest::state_fingerprint(true));
    return 0;
}
