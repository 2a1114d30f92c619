/* watchdog.cpp - see watchdog.h. */
#include "watchdog.h"

#include <pthread.h>
#include <time.h>

#include <atomic>

namespace {

watchdog_config config;
pthread_t thread;
pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
bool running = false;
bool stopping = false;  // under lock

// Written by the main thread only.
std::atomic<unsigned> call{0};  // odd while inside a display call
std::atomic<long long> entered_ms{0};

constexpr long kLookMs = 20;

long long now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

void nap(long ms) {
    const timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

bool stop_requested() {
    pthread_mutex_lock(&lock);
    const bool s = stopping;
    pthread_mutex_unlock(&lock);
    return s;
}

// Takes the right to call back: false once watchdog_stop has begun.
bool claim() {
    pthread_mutex_lock(&lock);
    const bool mine = !stopping;
    if (mine) stopping = true;
    pthread_mutex_unlock(&lock);
    return mine;
}

void *watch(void *) {
    long long signal_seen = -1;
    unsigned suspect_call = 0;  // the call the silence count belongs to
    long long counted_from = 0;
    while (!stop_requested()) {
        nap(kLookMs);
        const unsigned c = call.load();
        const long long now = now_ms();
        if (signal_seen < 0 && *config.stop) signal_seen = now;
        if ((c & 1) == 0) continue;
        const long long entered = entered_ms.load();
        if (c != suspect_call) {
            suspect_call = c;
            counted_from = entered;
        }
        if (signal_seen >= 0) {
            const long long since = signal_seen > entered ? signal_seen : entered;
            if (now - since >= config.grace_ms) {
                if (claim()) config.on_stuck_stop();
                return nullptr;
            }
            continue;
        }
        if (now - counted_from < config.silence_ms) continue;
        const bool answers = config.answers(config.probe_ms) != 0;
        const long long after = now_ms();
        // The call may have ended, or a signal come, while we asked.
        if (call.load() != c || *config.stop) continue;
        if (answers) {
            counted_from = after;
            continue;
        }
        if (claim()) config.on_silent((int)(after - entered));
        return nullptr;
    }
    return nullptr;
}

}  // namespace

int watchdog_start(const watchdog_config *c) {
    config = *c;
    stopping = false;
    call.store(0);
    running = pthread_create(&thread, nullptr, watch, nullptr) == 0;
    return running ? 0 : -1;
}

void watchdog_enter(void) {
    entered_ms.store(now_ms());
    call.fetch_add(1);
}

void watchdog_leave(void) { call.fetch_add(1); }

void watchdog_stop(void) {
    if (!running) return;
    pthread_mutex_lock(&lock);
    stopping = true;
    pthread_mutex_unlock(&lock);
    pthread_join(thread, nullptr);
    running = false;
}
