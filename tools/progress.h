/* progress.h - a one-line progress bar with the time left, on standard
 * error, shown only when standard error is a terminal.
 *
 * Use:
 *     progress_start("render", total);
 *     for (...) progress_update(done);
 *     progress_finish();            // erases the line
 *
 * The time left is extrapolated from the rate so far; it is left out until a
 * second has passed. Redraws happen only when the percentage or the shown
 * time changes, so calling progress_update often is cheap.
 *
 * Limitations: one bar per process; not thread-safe.
 */
#ifndef KESTOVAR_PROGRESS_H
#define KESTOVAR_PROGRESS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Begins a bar labelled `label` (kept by pointer) for `total` units. */
void progress_start(const char *label, long long total);
void progress_update(long long done);
/* Erases the bar, if one was drawn. */
void progress_finish(void);
/* Forces the bar on or off (the default follows isatty(2)); for tests. */
void progress_enable(int on);

#ifdef __cplusplus
}
#endif
#endif
