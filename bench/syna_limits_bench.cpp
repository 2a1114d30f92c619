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
 * BM_ShortRows/{busy,tails}/r: the songs of tests/songs/bound (28 channels;
 * every costly feature, or long echo and filter tails) at a tempo whose rows
 * are r frames, 10 s of it, through
 * syna_play and through the plain mixer (syna_play_plain). Counters
 * realtime_x and plain_realtime_x. Below kShortRowFrames syna_play mixes
 * frame by frame itself, so the two agree there; above it they show what
 * the vector mixer gains.
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

// A song of tests/songs/bound at the tempo whose rows are `rows` frames.
std::string bound_at_rows(const char *name, int rows) {
    std::string path = std::string(SYNA_SONGS_DIR) + "/bound/" + name + ".song";
    std::string text;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
        fclose(f);
    }
    // Rows are 264600 / (10 bpm / 25) frames at 44100 Hz.
    const size_t at = text.find("\nbpm:");
    if (at == std::string::npos) return "";
    const size_t end = text.find('\n', at + 1);
    text.replace(at + 1, end - at - 1, "bpm:" + std::to_string(661500 / rows));
    return text;
}

void BM_ShortRows(benchmark::State &state, const char *name) {
    const int rows = (int)state.range(0);
    const std::string text = bound_at_rows(name, rows);
    const int frames = 10 * SHOW_RATE;
    std::vector<short> out(2 * (size_t)frames);
    double fast = 0, plain = 0;
    syna_set_row_print(nullptr);
    for (auto _ : state) {
        if (parse(text) != 0 || syna_row_frames() != rows) {
            state.SkipWithError("song refused or rows not as asked");
            break;
        }
        double t0 = cpu_now();
        syna_play(out.data(), frames);
        fast += cpu_now() - t0;
        parse(text);
        t0 = cpu_now();
        syna_play_plain(out.data(), frames);
        plain += cpu_now() - t0;
    }
    syna_set_row_print(syna_print_row);
    const double n = (double)state.iterations();
    state.counters["realtime_x"] = 10.0 / (fast / n);
    state.counters["plain_realtime_x"] = 10.0 / (plain / n);
}
BENCHMARK_CAPTURE(BM_ShortRows, busy, "busy")
    ->RangeMultiplier(2)
    ->Range(1, 512)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK_CAPTURE(BM_ShortRows, tails, "tails")
    ->RangeMultiplier(2)
    ->Range(1, 512)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
