// Cost of one scene frame without a GL driver (the GL entry points are
// no-ops), and the heap allocations a frame makes, which must be zero.
// BM_osa_with_trace is the frame the 10 us target is about (bar 23: trace,
// trembling lit flower); BM_osa_flower_only a frame of bars 48-58. The
// parts: BM_analyysi (the audio window) and BM_spline3DMorph (the petal
// build with tremble). Times move with the millisecond clock like a show at
// about 60 frames a second, wrapping before its end.
// Counters: allocs_per_frame counts operator new calls; heap_bytes_per_frame
// is the change of glibc's in-use heap bytes (0 under sanitizers, whose
// allocator glibc does not see). tests/scene_alloc.cpp asserts the zero.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cmath>
#include <cstdlib>
#include <new>

#include "scene_internal.h"
#include "show.h"
#include "syna.h"

namespace {
long news = 0;
}

// The replacements below pair malloc with free on purpose; GCC cannot see
// that the replaced operator new is the one doing the malloc.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(std::size_t n) {
    news++;
    if (void *p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

namespace {

// A sounding song stand-in: two detuned tones, so the trace and the tremble
// have work to do.
void fill_mixed() {
    static bool done = false;
    if (done) return;
    for (int i = 0; i < SHOW_FRAMES; i += 1) {
        mixed[2 * i] = (int16_t)(12000 * std::sin(i * 0.031) + 6000 * std::sin(i * 0.0017));
        mixed[2 * i + 1] = (int16_t)(12000 * std::sin(i * 0.029));
    }
    done = true;
}

struct AllocProbe {
    long n0 = news;
    size_t b0 = mallinfo2().uordblks;
    void report(benchmark::State &state) const {
        const double frames = (double)state.iterations();
        state.counters["allocs_per_frame"] = (double)(news - n0) / frames;
        state.counters["heap_bytes_per_frame"] =
            ((double)mallinfo2().uordblks - (double)b0) / frames;
    }
};

// frames: where the audio clock stands (decides the bar); the millisecond
// clock advances ~16.7 ms a frame as at 60 Hz.
void frame_bench(benchmark::State &state, int frames) {
    fill_mixed();
    syna_counter = frames;
    int ms = (int)(frames / 44.1);
    osa(ms);  // warm-up outside the probe
    AllocProbe probe;
    for (auto _ : state) {
        benchmark::DoNotOptimize(osa(ms));
        ms += 17;
        if (ms > 110000) ms = 0;
    }
    probe.report(state);
    benchmark::ClobberMemory();
}

void BM_osa_with_trace(benchmark::State &state) { frame_bench(state, 2000000); }   // bar 23
void BM_osa_flower_only(benchmark::State &state) { frame_bench(state, 4500000); }  // bar 53

void BM_analyysi(benchmark::State &state) {
    fill_mixed();
    beat = 10;
    int start = 0;
    AllocProbe probe;
    for (auto _ : state) {
        analyysi(&mixed[start]);
        benchmark::DoNotOptimize(max_sample);
        start = (start + 1471) % 1000000;
    }
    probe.report(state);
}

void BM_spline3DMorph(benchmark::State &state) {
    paramf[1] = 0.5f, paramf[2] = 1.2f, paramf[3] = 0.4f;
    max_sample = 0.2f;
    float t = 0.0f;
    AllocProbe probe;
    for (auto _ : state) {
        timef = t;
        spline3DMorph(0.5f + 0.5f * std::sin(t * 0.001f));
        benchmark::DoNotOptimize(petal_vertices[7]);
        t += 17.0f;
        if (t > 110000.0f) t = 0.0f;
    }
    probe.report(state);
}

}  // namespace

BENCHMARK(BM_osa_with_trace);
BENCHMARK(BM_osa_flower_only);
BENCHMARK(BM_analyysi);
BENCHMARK(BM_spline3DMorph);
BENCHMARK_MAIN();
