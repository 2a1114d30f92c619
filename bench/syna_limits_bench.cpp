/* syna_limits_bench.cpp - the slowest songs that the synthesizer's limits
 * let through, against the bound that any accepted song renders at least
 * 100 times faster than it plays.
 *
 * BM_ParseAtMemoryCap: a song whose 28 instruments and echo lines fill the
 * memory cap (SYNA_MAX_SAMPLE_FLOATS), every instrument ring-modulated at
 * the embedded song's highest rate, so that each sample costs a sine of an
 * ever larger phase: the most instrument synthesis a song can ask for.
 * Counter budget_share: the parse's time over the 1.2 s that the 100x bound
 * allows for the show's 120.2 s (below 1 is inside the bound).
 *
 * BM_RenderWorstAtCaps: the same instruments, 28 channels striking notes
 * every row at a fast tempo with the echo fed, parsed and rendered for the
 * show's 5,300,224 frames. Counter realtime_x: seconds of audio per second
 * of parse plus render (at least 100 is the bound).
 *
 * Every iteration starts from the state of a fresh process (syna_fresh).
 * Times are the thread's CPU time. The synthesizer prints a line per row
 * for songs of eleven or more channels: send standard output elsewhere
 * (--benchmark_out or 2>&1 >/dev/null for the table on standard error).
 */
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <time.h>
#include <string>
#include <vector>

#include "show.h"
#include "syna_host.h"

namespace {

// 28 instruments filling the cap with their 5292-float echo lines (bpm 375).
std::string song_at_cap(bool with_tracks) {
    const int channels = 28;
    const int echo = 3 * 1764;  // 375 bpm: 1764-frame rows
    const int per_slot = SYNA_MAX_SAMPLE_FLOATS / channels - echo;
    std::string s = "bpm:375\n";
    char line[128];
    for (int ch = 1; ch <= channels; ++ch) {
        snprintf(line, sizeof line, "i%d:kantti,2,3,1,%d,39120390,-2\n", ch, per_slot - 7);
        s += line;
    }
    if (with_tracks) {
        s += "p1:echo1,c4,e4,g4,c5,stop,a3,sld,-5,b6,vol,150,c1\n";
        for (int ch = 1; ch <= channels; ++ch) {
            snprintf(line, sizeof line, "t%d:p1,loop\n", ch);
            s += line;
        }
    }
    return s;
}

// Seconds of audio in the show.
const double kShowSeconds = (double)SHOW_FRAMES / (double)SHOW_RATE;

// CPU seconds of this thread: on a machine shared with other work the wall
// clock measures the others too.
double cpu_now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

int parse(const std::string &text) { return syna_fresh(SHOW_RATE, text.data(), text.size()); }

void BM_ParseAtMemoryCap(benchmark::State &state) {
    const std::string text = song_at_cap(false);
    double seconds = 0;
    for (auto _ : state) {
        const double t0 = cpu_now();
        if (parse(text) != 0) state.SkipWithError(syna_error());
        seconds += cpu_now() - t0;
    }
    state.counters["floats"] = (double)syna_sample_floats();
    state.counters["budget_share"] = seconds / (double)state.iterations() / (kShowSeconds / 100.0);
}
BENCHMARK(BM_ParseAtMemoryCap)->Unit(benchmark::kMillisecond);

void BM_RenderWorstAtCaps(benchmark::State &state) {
    const std::string text = song_at_cap(true);
    std::vector<short> block(2 * SHOW_BLOCK_FRAMES);
    double seconds = 0;
    for (auto _ : state) {
        const double t0 = cpu_now();
        if (parse(text) != 0) state.SkipWithError(syna_error());
        for (int b = 0; b < SHOW_BLOCKS; ++b) syna_play(block.data(), SHOW_BLOCK_FRAMES);
        benchmark::DoNotOptimize(block.data());
        seconds += cpu_now() - t0;
    }
    state.counters["realtime_x"] = kShowSeconds / (seconds / (double)state.iterations());
}
BENCHMARK(BM_RenderWorstAtCaps)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
