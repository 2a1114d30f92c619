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
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "scene.h"
#include "syna.h"
#include "tavelo.h"

namespace {

pid_t start_xvfb(int display, const char *size) {
    pid_t pid = fork();
    if (pid == 0) {
        char disp[16], screen[32];
        snprintf(disp, sizeof disp, ":%d", display);
        snprintf(screen, sizeof screen, "%sx24", size);
        if (!freopen("/dev/null", "w", stderr)) _exit(127);
        execlp("Xvfb", "Xvfb", disp, "-screen", "0", screen, "-nolisten", "tcp", "-noreset",
               (char *)nullptr);
        _exit(127);
    }
    return pid;
}

bool wait_for_display(int display) {
    char sock[64];
    snprintf(sock, sizeof sock, "/tmp/.X11-unix/X%d", display);
    for (int i = 0; i < 100; i++) {
        if (access(sock, F_OK) == 0) return true;
        usleep(100000);
    }
    return false;
}

void frames(benchmark::State &state, int display, const char *size) {
    pid_t xvfb = start_xvfb(display, size);
    if (xvfb < 0 || !wait_for_display(display)) {
        state.SkipWithError("Xvfb did not start");
        if (xvfb > 0) kill(xvfb, SIGTERM);
        return;
    }
    char disp[16];
    snprintf(disp, sizeof disp, ":%d", display);
    setenv("DISPLAY", disp, 1);
    if (tavelo_open(640, 480, 32, 0) < 0) {
        state.SkipWithError(tavelo_error());
        kill(xvfb, SIGTERM);
        waitpid(xvfb, nullptr, 0);
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
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    tavelo_close();
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
}

void BM_frame_1280x720(benchmark::State &state) { frames(state, 93, "1280x720"); }
void BM_frame_1920x1080(benchmark::State &state) { frames(state, 94, "1920x1080"); }

BENCHMARK(BM_frame_1280x720)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_frame_1920x1080)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
