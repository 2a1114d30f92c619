/* libc_rand.cpp - glibc's rand() sequence (see libc_rand.h). */
#include "libc_rand.h"

#include <cstdint>

namespace {

constexpr int kDegree = 31;     // words of state
constexpr int kSeparation = 3;  // distance between the two taps

int32_t state[kDegree];
int front = kSeparation, rear = 0;
bool seeded = false;

int32_t step() {
    const uint32_t value = (uint32_t)state[front] + (uint32_t)state[rear];
    state[front] = (int32_t)value;
    front = (front + 1) % kDegree;
    rear = (rear + 1) % kDegree;
    return (int32_t)(value >> 1);
}

}  // namespace

void libc_rand_seed(unsigned seed) {
    if (seed == 0) seed = 1;
    // The state is filled by the minimal standard generator, 16807 x mod
    // (2^31 - 1), in Schrage's form so that nothing overflows 32 bits.
    int32_t word = (int32_t)seed;
    state[0] = word;
    for (int i = 1; i < kDegree; i++) {
        const int32_t hi = word / 127773, lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0) word += 2147483647;
        state[i] = word;
    }
    front = kSeparation;
    rear = 0;
    // The first 310 values are thrown away.
    for (int i = 0; i < 10 * kDegree; i++) step();
    seeded = true;
}

int libc_rand_next(void) {
    if (!seeded) libc_rand_seed(1);
    return step();
}
