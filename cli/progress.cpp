/* progress.cpp - the progress bar (cli.h). */
#include "cli.h"

#include <stdio.h>
#include <unistd.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

int enabled = -1;  // -1: follow isatty(2)
const char *label = "";
long long total = 0;
Clock::time_point started;
int last_pct = -1;
long long last_left = -2;
bool drawn = false;

bool on() {
    if (enabled < 0) enabled = isatty(2) ? 1 : 0;
    return enabled == 1;
}

}  // namespace

void progress_enable(int turn_on) { enabled = turn_on ? 1 : 0; }

void progress_start(const char *what, long long units) {
    label = what;
    total = units;
    started = Clock::now();
    last_pct = -1;
    last_left = -2;
}

void progress_update(long long done) {
    if (!on()) return;
    const int pct = total > 0 ? (int)(done * 100 / total) : 100;
    const double secs = std::chrono::duration<double>(Clock::now() - started).count();
    // Seconds left at the rate so far; -1 until there is a rate worth trusting.
    long long left = -1;
    if (secs >= 1.0 && done > 0 && done < total)
        left = (long long)(secs * (double)(total - done) / (double)done + 0.5);
    if (pct == last_pct && left == last_left) return;
    last_pct = pct;
    last_left = left;
    char bar[41];
    const int fill = pct * 40 / 100;
    for (int i = 0; i < 40; ++i) bar[i] = i < fill ? '#' : '.';
    bar[40] = 0;
    if (left >= 0)
        fprintf(stderr, "\r%-10s [%s] %3d%%  %lld:%02lld left\033[K", label, bar, pct, left / 60,
                left % 60);
    else
        fprintf(stderr, "\r%-10s [%s] %3d%%\033[K", label, bar, pct);
    fflush(stderr);
    drawn = true;
}

void progress_finish(void) {
    if (drawn) {
        fputs("\r\033[K", stderr);
        fflush(stderr);
    }
    drawn = false;
    last_pct = -1;
}
