/* watchdog.cpp - see watchdog.h.
 *
 * watchdog_stop does not wait for a question to the display that is under
 * way (that can take probe_ms): the thread is left to finish it and then
 * finds itself stopped. Each thread carries its own copy of the
 * configuration and its generation, so a later watchdog_start cannot revive
 * or reconfigure an old one.
 */
#include "watchdog.h"

#include <pthread.h>
#include <time.h>

#include <atomic>

namespace {

struct watcher {
    watchdog_config config;
    unsigned generation;
};

pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
unsigned generation = 0;    // under lock: the thread that may call back
bool calling_back = false;  // under lock
pthread_t thread;
bool running = false;

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

bool current(const watcher &w) {
    pthread_mutex_lock(&lock);
    const bool c = generation == w.generation;
    pthread_mutex_unlock(&lock);
    return c;
}

// Takes the right to call back: false once watchdog_stop has begun.
bool claim(const watcher &w) {
    pthread_mutex_lock(&lock);
    const bool mine = generation == w.generation;
    if (mine) calling_back = true;
    pthread_mutex_unlock(&lock);
    return mine;
}

void called_back() {
    pthread_mutex_lock(&lock);
    calling_back = false;
    pthread_mutex_unlock(&lock);
}

void watch(const watcher &w) {
    const watchdog_config &config = w.config;
    long long signal_seen = -1;
    unsigned suspect_call = 0;  // the call the silence count belongs to
    long long counted_from = 0;
    while (current(w)) {
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
                if (claim(w)) {
                    config.on_stuck_stop();
                    called_back();
                }
                return;
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
        if (claim(w)) {
            config.on_silent((int)(after - entered));
            called_back();
        }
        return;
    }
}

void *run(void *arg) {
    watcher *w = static_cast<watcher *>(arg);
    watch(*w);
    delete w;
    return nullptr;
}

}  // namespace

int watchdog_start(const watchdog_config *c) {
    watchdog_stop();
    call.store(0);
    pthread_mutex_lock(&lock);
    watcher *w = new watcher{*c, ++generation};
    pthread_mutex_unlock(&lock);
    running = pthread_create(&thread, nullptr, run, w) == 0;
    if (!running) {
        delete w;
        return -1;
    }
    return 0;
}

void watchdog_enter(void) {
    entered_ms.store(now_ms());
    call.fetch_add(1);
}

void watchdog_leave(void) { call.fetch_add(1); }

void watchdog_stop(void) {
    if (!running) return;
    running = false;
    pthread_mutex_lock(&lock);
    // A callback under way is waited for (the demo's end the process);
    // otherwise the thread is only told that it is no longer current.
    const bool wait = calling_back;
    generation++;
    pthread_mutex_unlock(&lock);
    if (wait)
        pthread_join(thread, nullptr);
    else
        pthread_detach(thread);
}
