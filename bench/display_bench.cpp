/* display_bench.cpp - frames per second of the whole picture under Xvfb.
 *
 * For each screen size a private Xvfb is started, the display layer opens
 * its full-screen GLES 1.x context there (Mesa's software renderer) and
 * every iteration draws one scene frame with osa and flips it. The result
 * is the frame rate a show would reach on this machine at that size.
 * The display layer is opened and closed once per size.
 *
 * Limits: needs Xvfb on PATH; skipped (with an error message) otherwise.
 * The audio buffer is silent, so the flower does not tremble.
 */
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include "scene.h"
#include "syna.h"
#include "tavelo.h"
#include "xvfb_server.h"

namespace {

void frames(benchmark::State &state, const char *size) {
    Xvfb server(size);
    if (!server.running()) {
        state.SkipWithError("no Xvfb could be started on :90 to :99");
        return;
    }
    setenv("DISPLAY", server.display().c_str(), 1);
    if (tavelo_open(640, 480, 32, 0) < 0) {
        state.SkipWithError(tavelo_error());
        return;
    }
    // Mid-show: bar 20, with the trace and the lit flower.
    syna_counter = 1700000;
    int ms = 0;
    for (auto _ : state) {
        osa(ms);
        tavelo_flip();
        ms += 16;
    }
    state.counters["fps"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    tavelo_close();
}

void BM_frame_1280x720(benchmark::State &state) { frames(state, "1280x720"); }
void BM_frame_1920x1080(benchmark::State &state) { frames(state, "1920x1080"); }

BENCHMARK(BM_frame_1280x720)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_frame_1920x1080)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
