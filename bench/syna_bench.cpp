/* syna_bench.cpp - how fast the synthesizer renders the demo's song.
 *
 * BM_RenderSong parses the built-in song (nine channels) and renders the
 * demo's 647 blocks of 8192 frames, the way the demo pre-renders before it
 * shows anything. Counters: realtime_x, seconds of audio per second of
 * rendering (above 1 the synthesizer is faster than real time), and
 * parse_ms, the parse with its instrument synthesis, which is not in the
 * timed part.
 *
 * The synthesizer can be set up once per process, its noise table wants the
 * C library's random generator at its unseeded start, and the parser edits
 * the song text, so every iteration runs in a fresh forked process and
 * reports its own render time back through a pipe (manual time). One
 * iteration takes seconds; add --benchmark_repetitions=N for spread.
 */
#include <benchmark/benchmark.h>

#include <errno.h>
#include <stdint.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "song.h"
#include "syna.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlockFrames = 8192;
constexpr int kBlocks = 647;

struct Result {
    double parse_seconds;
    double render_seconds;
    uint64_t checksum;  // keeps the output observable
};

[[noreturn]] void child(int fd) {
    using clock = std::chrono::steady_clock;
    std::vector<short> mixed((size_t)kBlocks * kBlockFrames * 2);
    syna_init(kRate);
    auto t0 = clock::now();
    if (syna_get(biisi) < 0) _exit(2);
    auto t1 = clock::now();
    for (int k = 0; k < kBlocks; ++k)
        syna_play(mixed.data() + (size_t)k * kBlockFrames * 2, kBlockFrames);
    auto t2 = clock::now();
    Result r{std::chrono::duration<double>(t1 - t0).count(),
             std::chrono::duration<double>(t2 - t1).count(), 0};
    for (short s : mixed) r.checksum = r.checksum * 31 + (uint16_t)s;
    const char *p = reinterpret_cast<const char *>(&r);
    size_t left = sizeof r;
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(3);
        p += n;
        left -= (size_t)n;
    }
    _exit(0);
}

// Runs one render in a fresh process; false when it did not finish cleanly.
bool render_once(Result &r) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        close(fds[0]);
        child(fds[1]);
    }
    close(fds[1]);
    size_t got = 0;
    char *p = reinterpret_cast<char *>(&r);
    while (got < sizeof r) {
        ssize_t n = read(fds[0], p + got, sizeof r - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += (size_t)n;
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return got == sizeof r && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_RenderSong(benchmark::State &state) {
    const double audio_seconds = (double)kBlocks * kBlockFrames / kRate;
    double render_total = 0, parse_total = 0;
    for (auto _ : state) {
        Result r{};
        if (!render_once(r)) {
            state.SkipWithError("the render process failed (song rejected or crashed)");
            return;
        }
        benchmark::DoNotOptimize(r.checksum);
        state.SetIterationTime(r.render_seconds);
        render_total += r.render_seconds;
        parse_total += r.parse_seconds;
    }
    const double n = (double)state.iterations();
    state.counters["realtime_x"] = render_total > 0 ? audio_seconds * n / render_total : 0;
    state.counters["parse_ms"] = 1000.0 * parse_total / n;
    state.counters["frames"] = (double)kBlocks * kBlockFrames;
}
BENCHMARK(BM_RenderSong)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
