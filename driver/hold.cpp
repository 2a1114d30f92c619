/* hold.cpp - frames held on the screen for a test (see hold.h). */
#include "hold.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "frame_clock.h"
#include "tavelo.h"

namespace {
// The stills' default rate, so that a held frame is the still's frame.
constexpr int kFps = 60;
}  // namespace

bool hold_parse(const char *list, std::vector<double> *times) {
    times->clear();
    if (list == nullptr || *list == '\0') return false;
    const char *p = list;
    for (;;) {
        char *end = nullptr;
        errno = 0;
        const double t = std::strtod(p, &end);
        if (end == p || errno || !std::isfinite(t) || t < 0.0) return false;
        if (!times->empty() && t <= times->back()) return false;
        times->push_back(t);
        if (*end == '\0') return true;
        if (*end != ',') return false;
        p = end + 1;
    }
}

int hold_run(const std::vector<double> &times, const std::string &go_prefix, double wait_s,
             const volatile sig_atomic_t *stop, std::string *error) {
    const long long show = show_frame_count(kFps);
    long long next = 0;
    for (size_t i = 0; i < times.size(); i++) {
        const long long target = show_frame_at(times[i], kFps);
        if (target >= show) {
            *error = "no frame at " + std::to_string(times[i]) + " s: the show is shorter";
            return 1;
        }
        for (; next <= target; next++) capture_take_frame(next, kFps, next == target);
        tavelo_flip();
        std::printf("KESTOVAR-HOLD %zu %.3f\n", i, times[i]);
        std::fflush(stdout);
        const std::string go = go_prefix + std::to_string(i);
        for (double waited = 0.0; access(go.c_str(), F_OK) != 0; waited += 0.05) {
            if (stop != nullptr && *stop) {
                *error = "stopped while holding a frame";
                return 1;
            }
            if (waited >= wait_s) {
                *error = "no " + go + " within " + std::to_string((int)wait_s) + " s";
                return 1;
            }
            usleep(50000);
        }
    }
    return 0;
}
