/* libc_rand_override.cpp - rand() and srand() as glibc has them, for the
 * browser build only: defined here, they take the place of the C library's
 * own, so the synthesizer's noise (and with it every byte of the song) is
 * the same as in the native program. See libc_rand.h.
 */
#include <cstdlib>

#include "libc_rand.h"

extern "C" int rand(void) { return libc_rand_next(); }
extern "C" void srand(unsigned seed) { libc_rand_seed(seed); }
