/* prerender_thread.cpp - see prerender_thread.h.
 *
 * The song render needs no lock: it touches only the synthesizer, `mixed`
 * and syna_counter, which nothing else uses until the join. Its arithmetic
 * does not depend on the thread (no random numbers while rendering, and a
 * new thread starts with the default floating-point environment), so the
 * audio is the same bytes as a render on the main thread.
 */
#include "prerender_thread.h"

#include <pthread.h>

#include <atomic>

#include "show.h"

namespace {

pthread_t worker;
bool running = false;
std::atomic<bool> finished{false};

void *render(void *after_block) {
    show_prerender(reinterpret_cast<void (*)(int)>(after_block));
    finished.store(true);
    return nullptr;
}

}  // namespace

void prerender_begin(void (*after_block)(int block)) {
    running = pthread_create(&worker, nullptr, render, reinterpret_cast<void *>(after_block)) == 0;
    if (!running) {
        show_prerender(after_block);
        finished.store(true);
    }
}

void prerender_end(void) {
    if (running) pthread_join(worker, nullptr);
    running = false;
}

int prerender_finished(void) { return finished.load() ? 1 : 0; }
