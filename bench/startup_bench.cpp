/* startup_bench.cpp - time from starting the demo to its first shown frame.
 *
 * BM_startup_to_first_frame times the demo; BM_display_alone_to_first_frame
 * times startup_floor, the same start-up without the song (the part of the
 * time that belongs to SDL, EGL and the GL driver's first frame).
 *
 * Each repetition starts the demo (`kestovar`, no arguments) under a private
 * 1280x720 Xvfb with SDL's dummy audio driver and the start-up shim
 * preloaded (startup_shim.c). The clock starts just before the process is
 * spawned and stops when the first eglSwapBuffers of a drawn frame has
 * returned; the shim then ends the process. The reported time is that span;
 * the median over the repetitions is the figure to quote. The counters say
 * where the time went, each in ms from the spawn: `main` (program loaded),
 * `sdl_init` (the first SDL_Init), `audio_open`, `egl_init`, `context`
 * (the first eglMakeCurrent) and `first_swap`.
 *
 * KESTOVAR_DEMO=path in the environment starts another build of the demo
 * instead of the one built with this benchmark (to compare two builds).
 *
 * Limits: needs Xvfb on PATH (the benchmark is skipped with a message
 * otherwise); Mesa's software renderer stands in for a GPU, so the first
 * frame includes its program compilation. Standard output and error of the
 * demo are discarded.
 */
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "xvfb_server.h"

extern char **environ;

namespace {

const char *const kMarks[] = {"main",     "sdl_init", "audio_open",
                              "egl_init", "context",  "first_swap"};

double monotonic() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

Xvfb &screen() {
    static Xvfb server("1280x720");
    return server;
}

// The demo to start: KESTOVAR_DEMO in the environment if set (to compare
// builds), else the one built beside this benchmark.
const char *demo_path() {
    const char *chosen = std::getenv("KESTOVAR_DEMO");
    return chosen != nullptr && *chosen != '\0' ? chosen : KESTOVAR_DEMO;
}

// One start of the demo; the marks in seconds from the spawn. Empty with a
// message in `why` when it failed.
std::map<std::string, double> start_once(const char *program, std::string &why) {
    char log_path[] = "/tmp/kestovar-startup-XXXXXX";
    const int log_fd = mkstemp(log_path);
    if (log_fd < 0) {
        why = "cannot make a temporary file";
        return {};
    }
    close(log_fd);

    std::vector<std::string> env;
    const char *replaced[] = {"DISPLAY=", "SDL_AUDIODRIVER=", "LD_PRELOAD=",
                              "KESTOVAR_STARTUP_LOG=", "KESTOVAR_STARTUP_EXIT="};
    for (char **e = environ; *e; ++e) {
        bool skip = false;
        for (const char *r : replaced) skip = skip || std::strncmp(*e, r, std::strlen(r)) == 0;
        if (!skip) env.emplace_back(*e);
    }
    env.push_back(std::string("DISPLAY=") + screen().display());
    env.push_back("SDL_AUDIODRIVER=dummy");
    env.push_back(std::string("LD_PRELOAD=") + STARTUP_SHIM);
    env.push_back(std::string("KESTOVAR_STARTUP_LOG=") + log_path);
    env.push_back("KESTOVAR_STARTUP_EXIT=1");
    std::vector<char *> envp;
    for (std::string &s : env) envp.push_back(s.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    char *argv[] = {const_cast<char *>(program), nullptr};

    pid_t pid;
    const double t0 = monotonic();
    const int spawned = posix_spawn(&pid, program, &files, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        why = std::string("cannot start ") + program;
        unlink(log_path);
        return {};
    }
    // A start-up takes seconds at worst; a hung demo is killed.
    int status = 0;
    for (int waited = 0;; waited++) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        if (waited == 6000) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            why = "no frame shown within 60 s";
            unlink(log_path);
            return {};
        }
        usleep(10000);
    }

    std::map<std::string, double> marks;
    std::ifstream in(log_path);
    std::string name;
    double at;
    while (in >> name >> at) marks[name] = at - t0;
    unlink(log_path);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || marks.count("first_swap") == 0) {
        why = "ended without showing a frame (status " + std::to_string(status) + ")";
        return {};
    }
    return marks;
}

void first_frame(benchmark::State &state, const char *program) {
    if (!screen().running()) {
        state.SkipWithError("no Xvfb could be started on :90 to :99");
        return;
    }
    std::map<std::string, double> sums;
    for (auto _ : state) {
        std::string why;
        const auto marks = start_once(program, why);
        if (marks.empty()) {
            state.SkipWithError(why.c_str());
            return;
        }
        state.SetIterationTime(marks.at("first_swap"));
        for (const auto &[name, at] : marks) sums[name] += at;
    }
    for (const char *name : kMarks)
        state.counters[name] = sums[name] * 1000.0 / (double)state.iterations();
}

void BM_startup_to_first_frame(benchmark::State &state) { first_frame(state, demo_path()); }
void BM_display_alone_to_first_frame(benchmark::State &state) { first_frame(state, STARTUP_FLOOR); }

}  // namespace

BENCHMARK(BM_startup_to_first_frame)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_display_alone_to_first_frame)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
