/* capture_bench.cpp - how fast kestovar --capture makes video, and where the
 * time goes.
 *
 * Each iteration captures one second of the show (60 frames, bars 10 and
 * 11, with the trace and the flower) through capture_run into an MP4 in
 * the temporary folder, off screen on Mesa's software renderer (llvmpipe)
 * with libx264 and AAC, exactly as `kestovar --capture` does. Reported:
 *   fps        video frames made per second of wall time
 *   draw_ms    per frame: osa and tavelo_flip, which finishes the frame off
 *              screen (llvmpipe rasterises here)
 *   read_ms    per frame: glReadPixels of the whole picture
 *   encode_ms  per frame: RGBA to YUV, H.264 and AAC encoding, muxing
 *   draw_share, read_share, encode_share: the same as parts of the whole
 * The frames before the range are stepped through with osa_skip; that time
 * is left out of the shares (it is a few milliseconds in all).
 *
 * Limits: the machine's other load shows in the figures; x264 runs its own
 * threads, so the encode time is partly spent in parallel with drawing.
 */
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>

#include "capture.h"
#include "show.h"
#include "song.h"
#include "syna.h"

namespace {

bool prerendered = false;

void capture_second(benchmark::State &state, int width, int height) {
    if (!prerendered) {
        syna_init(SHOW_RATE);
        if (syna_get(biisi) < 0) {
            state.SkipWithError("the embedded song was rejected");
            return;
        }
        show_prerender(nullptr);
        prerendered = true;
    }
    const char *tmp = getenv("TMPDIR");
    const std::string file = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestovar-bench.mp4";
    capture_request r;
    capture_defaults(&r);
    r.video = file.c_str();
    r.width = width;
    r.height = height;
    r.from = 20.0;
    r.to = 21.0;
    double draw = 0, read = 0, encode = 0, frames = 0;
    for (auto _ : state) {
        if (capture_run(&r) != 0) {
            state.SkipWithError(capture_error());
            break;
        }
        const capture_times t = capture_timing();
        state.SetIterationTime(t.draw_s + t.read_s + t.encode_s);
        draw += t.draw_s;
        read += t.read_s;
        encode += t.encode_s;
        frames += (double)t.drawn;
    }
    remove(file.c_str());
    const double total = draw + read + encode;
    if (frames <= 0 || total <= 0) return;
    state.counters["fps"] = frames / total;
    state.counters["draw_ms"] = 1000.0 * draw / frames;
    state.counters["read_ms"] = 1000.0 * read / frames;
    state.counters["encode_ms"] = 1000.0 * encode / frames;
    state.counters["draw_share"] = draw / total;
    state.counters["read_share"] = read / total;
    state.counters["encode_share"] = encode / total;
}

void BM_capture_1920x1080(benchmark::State &state) { capture_second(state, 1920, 1080); }
void BM_capture_640x360(benchmark::State &state) { capture_second(state, 640, 360); }

BENCHMARK(BM_capture_1920x1080)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_capture_640x360)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
