/* syna_rand.cpp - glibc's rand() sequence for the noise table (see LibcRand
 * in syna_internal.h). */
#include "syna_internal.h"

namespace syna {

namespace {

constexpr int kDegree = 31;     // words of state
constexpr int kSeparation = 3;  // distance between the two taps

int32_t step(LibcRand &g) {
    const uint32_t value =
        static_cast<uint32_t>(g.words[g.front]) + static_cast<uint32_t>(g.words[g.rear]);
    g.words[g.front] = static_cast<int32_t>(value);
    g.front = (g.front + 1) % kDegree;
    g.rear = (g.rear + 1) % kDegree;
    return static_cast<int32_t>(value >> 1);
}

}  // namespace

void LibcRand::seed(unsigned s) {
    if (s == 0) s = 1;
    // The state is filled by the minimal standard generator, 16807 x mod
    // (2^31 - 1), in Schrage's form so that nothing overflows 32 bits.
    int32_t word = static_cast<int32_t>(s);
    words[0] = word;
    for (int i = 1; i < kDegree; i++) {
        const int32_t hi = word / 127773, lo = word % 127773;
        word = 16807 * lo - 2836 * hi;
        if (word < 0) word += 2147483647;
        words[i] = word;
    }
    front = kSeparation;
    rear = 0;
    // The first 310 values are thrown away.
    for (int i = 0; i < 10 * kDegree; i++) step(*this);
    seeded = true;
}

int LibcRand::next() {
    if (!seeded) seed(1);
    return step(*this);
}

}  // namespace syna
