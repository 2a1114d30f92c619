/* cli.h - what the demo's and syna-render's command lines share: the
 * progress bar and the parsers of numbers, times and sizes.
 *
 * The progress bar is one line with the time left, on standard error, shown
 * only when standard error is a terminal:
 *     progress_start("render", total);
 *     for (...) progress_update(done);
 *     progress_finish();            // erases the line
 * The time left is extrapolated from the rate so far; it is left out until a
 * second has passed. Redraws happen only when the percentage or the shown
 * time changes, so calling progress_update often is cheap.
 *
 * The parsers take the whole text or nothing: no sign where none is wanted,
 * no trailing characters, nothing out of the range given, and no value that
 * overflows on the way (strtol's and strtod's range errors included).
 *
 * Limitations: one bar per process; not thread-safe.
 */
#ifndef KESTOVAR_CLI_H
#define KESTOVAR_CLI_H

#ifdef __cplusplus
#include <string>

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

/* A whole number from `lo` to `hi`, in decimal. */
bool cli_parse_count(const std::string &text, long long lo, long long hi, long long *out);
/* A time in seconds from 0 to `max` (decimal or exponent notation). */
bool cli_parse_seconds(const std::string &text, double max, double *out);
/* "WxH" (or "WXH"), each side from 1 to `max`. */
bool cli_parse_size(const std::string &text, int max, int *w, int *h);
#endif

#endif
