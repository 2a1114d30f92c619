/* watchdog.h - a live show that its display cannot hang.
 *
 * Xlib, SDL and EGL wait without limit on an X server that stops answering
 * (a stopped server, or one a window manager has grabbed): the main thread
 * then never comes back to look at the stop flag. The main thread marks
 * each display call with watchdog_enter / watchdog_leave; a thread of the
 * watchdog's own looks every few milliseconds and, while the main thread is
 * inside one call:
 *   - once a stop signal has been seen and grace_ms have passed since then
 *     (and since the call began), calls on_stuck_stop();
 *   - once silence_ms have passed since the call began, asks
 *     answers(probe_ms) whether the display still answers; when it says 0,
 *     calls on_silent(ms waited in all); otherwise it counts again.
 * Each callback is called at most once, and neither after watchdog_stop has
 * begun. The demo's callbacks end the process.
 *
 *     watchdog_start(&config);
 *     watchdog_enter(); tavelo_flip(); watchdog_leave();
 *     ...
 *     watchdog_stop();  // before the last line: no callback after this
 *
 * Limitations: one watchdog per process; enter/leave from one thread.
 */
#ifndef KESTOVAR_WATCHDOG_H
#define KESTOVAR_WATCHDOG_H

#include <signal.h>

struct watchdog_config {
    const volatile sig_atomic_t *stop;  // nonzero once a stop signal came
    int grace_ms;                       // a stuck call may take this long after a signal
    int silence_ms;                     // a call this long makes the display suspect
    int probe_ms;                       // how long the display has to answer then
    int (*answers)(int timeout_ms);     // 1 answers (or cannot tell), 0 silent
    void (*on_stuck_stop)(void);
    void (*on_silent)(int waited_ms);
};

/* 0, or -1 when no thread could be started (then nothing is watched). */
int watchdog_start(const watchdog_config *config);
void watchdog_enter(void);
void watchdog_leave(void);
/* Ends the watch at once. If a callback is running it waits for it (the
 * demo's never return), so whatever follows never races a callback; a
 * question to the display under way is not waited for. */
void watchdog_stop(void);

#endif
