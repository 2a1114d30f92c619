// Scene frames allocate nothing on the heap, first frame included.
//
// The count is this binary's own: operator new and delete are replaced here,
// and the linker sends every malloc, calloc, realloc, aligned_alloc and
// posix_memalign call made by the code linked in (the scene and syna
// libraries, GL stand-in, this file) through the __wrap_ functions below
// (-Wl,--wrap, see scene.cmake). Under AddressSanitizer the real functions
// are the sanitizer's, so the count works in both builds. Calls made inside
// shared libraries (libm, libstdc++) are not seen; the scene reaches the heap
// only through the two routes counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "scene_internal.h"
#include "show.h"
#include "syna.h"

namespace {
std::atomic<long> allocations{0};
}

extern "C" {
void *__real_malloc(size_t n);
void *__real_calloc(size_t n, size_t size);
void *__real_realloc(void *p, size_t n);
void *__real_aligned_alloc(size_t align, size_t n);
int __real_posix_memalign(void **p, size_t align, size_t n);

void *__wrap_malloc(size_t n) {
    allocations++;
    return __real_malloc(n);
}
void *__wrap_calloc(size_t n, size_t size) {
    allocations++;
    return __real_calloc(n, size);
}
void *__wrap_realloc(void *p, size_t n) {
    allocations++;
    return __real_realloc(p, n);
}
void *__wrap_aligned_alloc(size_t align, size_t n) {
    allocations++;
    return __real_aligned_alloc(align, n);
}
int __wrap_posix_memalign(void **p, size_t align, size_t n) {
    allocations++;
    return __real_posix_memalign(p, align, n);
}
}

// operator new goes to malloc (counted there); delete to free.
void *operator new(std::size_t n) {
    if (void *p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
    return std::malloc(n ? n : 1);
}
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept {
    return std::malloc(n ? n : 1);
}
void *operator new(std::size_t n, std::align_val_t a) {
    const std::size_t align = static_cast<std::size_t>(a);
    if (void *p = std::aligned_alloc(align, (n + align - 1) / align * align)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n, std::align_val_t a) { return operator new(n, a); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

void *volatile kept;  // keeps the control allocations from being optimised away

TEST(SceneAlloc, TheCountSeesAllocations) {
    // Without these the zero below would prove nothing.
    long before = allocations;
    kept = std::malloc(24);
    std::free(kept);
    EXPECT_EQ(allocations - before, 1);

    before = allocations;
    int *p = new int(7);
    kept = p;
    delete p;
    EXPECT_EQ(allocations - before, 1);

    // Library code is counted too: syna_init fills its wave tables on the heap.
    before = allocations;
    syna_init(SHOW_RATE);
    EXPECT_GT(allocations - before, 0);
}

TEST(SceneAlloc, FramesAllocateNothing) {
    // A sounding window, so the trace, the peak and the tremble all work.
    for (int i = 0; i < SHOW_SAMPLES; i++)
        mixed[i] = (int16_t)((int)((unsigned)i * 7919u % 60000u) - 30000);
    scene_reset();

    // From the very first frame (its one-time set-up included) through the
    // trace, the flower alone and the end of the show.
    const long before = allocations;
    int frames = 0;
    for (int ms = 0; !quit; ms += 97, frames++) {
        syna_counter = (int)(ms * 44.1);
        osa(ms);
    }
    const long made = allocations - before;
    EXPECT_EQ(made, 0) << "over " << frames << " frames";
    EXPECT_GT(frames, 1000);
    std::memset(mixed, 0, sizeof mixed);
}

}  // namespace
