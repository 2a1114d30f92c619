/* syna_helpers.h - shared helpers of the synthesizer tests: a fresh
 * synthesizer, loading a song from a string, rendering, hashing, and a
 * fingerprint of the whole synthesizer state. */
#ifndef KESTOVAR_TESTS_SYNA_HELPERS_H
#define KESTOVAR_TESTS_SYNA_HELPERS_H

#include <cstdint>
#include <string>
#include <vector>

#include "syna_internal.h"

namespace synatest {

// syna_init as in a new process: rand at its default seed, no tempo, no
// instruments and no pattern lines left over from earlier tests.
void fresh(int rate = 44100);
// syna_get on a private copy of text.
int load(const std::string &text);
std::vector<short> render(int frames);
uint64_t fnv1a(const std::vector<short> &samples);
// Hash of every table the parser or the sequencer may write; with
// `everything`, of the whole state (see syna::visit_state).
uint64_t state_fingerprint(bool everything = false);
std::string read_file(const std::string &path);

}  // namespace synatest

#endif
