/* hold.h - chosen frames of the show held on the screen, for testing the
 * live display against the capture's stills.
 *
 * With KESTOVAR_HOLD="T1,T2,..." (seconds, rising) the demo takes the
 * frames of those times with the capture's frame clock at 60 frames per
 * second (drawing frame 0 and the chosen ones, stepping over the rest, as
 * `--still` does), shows each, prints "KESTOVAR-HOLD i T" on standard
 * output and keeps it there until the file KESTOVAR_HOLD_GO followed by i
 * exists; then it closes as after a show. No sound is played.
 */
#ifndef KESTOVAR_HOLD_H
#define KESTOVAR_HOLD_H

#include <signal.h>

#include <string>
#include <vector>

/* The times of a hold list; false for an empty, malformed, negative or
 * not strictly rising one. */
bool hold_parse(const char *list, std::vector<double> *times);

/* 0 when every frame was held and released; 1 when a frame lies past the
 * show's end, *stop turned nonzero or a go file did not come within
 * `wait_s` seconds (the reason in *error). */
int hold_run(const std::vector<double> &times, const std::string &go_prefix, double wait_s,
             const volatile sig_atomic_t *stop, std::string *error);

#endif
