/* options.h - the demo's command line.
 *
 * With no arguments the demo runs the live show full-screen, as it always
 * has. The options:
 *   --window WxH          the live show in an ordinary window of that size
 *   --display x11|console the live show's screen (default: X if it answers,
 *                         else the console's screen)
 *   --capture FILE        render the show off screen into a video file
 *   --still T:FILE.png    the frame at T seconds as a PNG (repeatable)
 *   --size WxH            picture size of a capture or still (1920x1080)
 *   --fps N               frames per second of a capture (60)
 *   --from S, --to S      the part of the show to capture, in seconds
 *   --audio aac|pcm       the capture's sound track (aac)
 *   --help, --version
 * Values may follow as the next argument or after '='.
 *
 * options_parse fills a driver_options; a wrong command line gives a
 * message for standard error (the caller exits with status 2).
 */
#ifndef KESTOVAR_OPTIONS_H
#define KESTOVAR_OPTIONS_H

#include <string>
#include <vector>

#include "capture.h"

struct driver_options {
    bool help = false;
    bool version = false;
    int window_w = 0, window_h = 0;  // 0: full screen
    int display = 0;                 // --display: TAVELO_AUTO, TAVELO_X11, TAVELO_CONSOLE
    bool capture = false;            // --capture or --still: no live show
    std::string video;               // --capture FILE
    capture_request request{};       // sizes, range, audio; points into video/still_paths
    std::vector<capture_still> stills;
    std::vector<std::string> still_paths;
};

/* 0, or -1 with the message in `error`. */
int options_parse(int argc, const char *const *argv, driver_options *options, std::string *error);

/* The text --help prints. */
const char *options_usage(void);

#endif
