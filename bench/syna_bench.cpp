/* syna_bench.cpp - how fast the synthesizer renders, side by side with what
 * it is measured against.
 *
 * BM_Prerender: the demo's pre-render, show_prerender (647 calls of
 * syna_play(…, 8192) on the embedded song into `mixed`, whose pages are
 * mapped before), against
 *   - the plain frame-by-frame mixer (syna_play_plain) on the same song, and
 *   - the memory floor: writing the same 21.2 MB into `mixed` once more.
 * Each iteration does all three, one after the other, each starting with
 * `mixed` out of the caches (64 MB written elsewhere first), and checks that
 * both renders gave the same bytes. Counters, the median of the iterations:
 * fast_ms, plain_ms, floor_ms, plain_per_fast (how many times faster than
 * the plain mixer), fast_per_floor (how many memory floors the render
 * takes, the median of the iterations' ratios), realtime_x (seconds of
 * audio per second of rendering).
 *
 * BM_Song/tails, BM_Song/busy and BM_Song/short: the songs of
 * tests/songs/bound, 28 channels each (long echo and filter tails through
 * subnormal floats; every costly feature at once; that at one-frame rows,
 * which syna_play mixes frame by frame), 647 blocks of 8192 frames, fast
 * and plain.
 * Counters as above, and where the fast mixer's work went: the share of
 * voice frames played one frame at a time (exact_share), of channel-frames
 * left out of the sum as silent (skip_share), and the channel-frames through
 * a filter chain per output frame (lowpass_per_frame).
 *
 * The time of the parse (instrument synthesis) is not counted. Run with
 * --benchmark_repetitions=N for spread. One iteration of BM_Prerender takes
 * about a tenth of a second, of BM_Song about half a second.
 */
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "show.h"
#include "song.h"
#include "syna_host.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// A fresh synthesizer holding the song; false when it is refused.
bool load(const std::string &text) {
    return syna_fresh(SHOW_RATE, text.data(), text.size()) == SYNA_OK;
}

void plain_prerender() {
    for (int k = 0; k < SHOW_BLOCKS; k++)
        syna_play_plain(mixed + 2 * SHOW_BLOCK_FRAMES * k, SHOW_BLOCK_FRAMES);
}

std::string read_song(const char *name) {
    std::string path = std::string(SYNA_SONGS_DIR) + "/bound/" + name + ".song";
    std::FILE *f = std::fopen(path.c_str(), "rb");
    std::string text;
    if (!f) return text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
    return text;
}

constexpr double kAudioSeconds = static_cast<double>(SHOW_FRAMES) / static_cast<double>(SHOW_RATE);

// Pushes `mixed` and the copy out of the caches, so that every measured
// pass starts alike: the buffer's pages are mapped, its lines not cached.
void evict_caches() {
    static std::vector<char> other(64 << 20);
    std::memset(other.data(), static_cast<int>(other[0]) + 1, other.size());
    benchmark::ClobberMemory();
}

// Renders `text` fast and plain in every iteration; false on refusal or on
// different bytes.
bool fast_and_plain(benchmark::State &state, const std::string &text, bool floor) {
    std::memset(mixed, 1, sizeof mixed);  // map the pages
    std::vector<int16_t> rendered(SHOW_SAMPLES);
    std::vector<double> fast, plain, mem;
    syna_mix_counts stats{};
    for (auto _ : state) {
        if (!load(text)) {
            state.SkipWithError("song refused");
            return false;
        }
        evict_caches();
        auto t0 = Clock::now();
        show_prerender(nullptr);
        const double f = ms_since(t0);
        state.SetIterationTime(f / 1000.0);
        fast.push_back(f);
        syna_get_mix_counts(&stats);
        std::memcpy(rendered.data(), mixed, sizeof mixed);
        if (floor) {
            evict_caches();
            t0 = Clock::now();
            std::memcpy(mixed, rendered.data(), sizeof mixed);
            benchmark::ClobberMemory();
            mem.push_back(ms_since(t0));
        }
        load(text);
        evict_caches();
        t0 = Clock::now();
        plain_prerender();
        plain.push_back(ms_since(t0));
        if (std::memcmp(rendered.data(), mixed, sizeof mixed) != 0) {
            state.SkipWithError("the fast and the plain render differ");
            return false;
        }
    }
    const double f = median(fast), p = median(plain);
    state.counters["fast_ms"] = f;
    state.counters["plain_ms"] = p;
    state.counters["plain_per_fast"] = p / f;
    state.counters["realtime_x"] = kAudioSeconds * 1000.0 / f;
    if (floor) {
        // The ratio of each iteration's pair, measured moments apart, is
        // steadier on a shared machine than the ratio of the medians.
        std::vector<double> ratio;
        for (size_t i = 0; i < fast.size(); ++i) ratio.push_back(fast[i] / mem[i]);
        state.counters["floor_ms"] = median(mem);
        state.counters["fast_per_floor"] = median(ratio);
    }
    const double voice =
        static_cast<double>(stats.voice_vector + stats.voice_checked + stats.voice_exact);
    const double all = voice + static_cast<double>(stats.echo_frames + stats.quiet_frames);
    state.counters["exact_share"] = voice > 0 ? static_cast<double>(stats.voice_exact) / voice : 0;
    state.counters["skip_share"] = all > 0 ? static_cast<double>(stats.skipped_frames) / all : 0;
    state.counters["lowpass_per_frame"] =
        static_cast<double>(stats.lowpass_frames) / static_cast<double>(SHOW_FRAMES);
    return true;
}

void BM_Prerender(benchmark::State &state) {
    fast_and_plain(state, std::string(biisi, static_cast<size_t>(biisi_length)), true);
}
BENCHMARK(BM_Prerender)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

void BM_Song(benchmark::State &state, const char *name) {
    const std::string text = read_song(name);
    if (text.empty()) {
        state.SkipWithError("song file missing");
        return;
    }
    // More than ten channels: channel 11 prints a line per row; not here.
    syna_set_row_print(nullptr);
    fast_and_plain(state, text, false);
    syna_set_row_print(syna_print_row);
}
BENCHMARK_CAPTURE(BM_Song, tails, "tails")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Song, busy, "busy")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Song, short, "short")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
