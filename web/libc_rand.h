/* libc_rand.h - the rand() sequence of the GNU C library, on any platform.
 *
 * The synthesizer's noise table is filled from rand() without seeding it,
 * so the song's bytes depend on the C library's generator. The native build
 * uses glibc; emscripten's C library has another generator, so the browser
 * build links libc_rand_override.cpp, which makes rand() and srand() these
 * functions and the page renders the same bytes as the native program.
 *
 * libc_rand_seed(s) is glibc's srand(s) (0 counts as 1; the state before
 * any seeding is that of seed 1); libc_rand_next() is its rand(): values
 * 0 .. 2^31 - 1 from the additive feedback generator x[i] = x[i-3] + x[i-31]
 * (mod 2^32), each shifted right by one.
 *
 * Limitations: one sequence per process, not thread-safe (like rand()).
 */
#ifndef KESTOVAR_LIBC_RAND_H
#define KESTOVAR_LIBC_RAND_H

#ifdef __cplusplus
extern "C" {
#endif

void libc_rand_seed(unsigned seed);
int libc_rand_next(void);

#ifdef __cplusplus
}
#endif
#endif
