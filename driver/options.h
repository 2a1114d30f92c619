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
 * driver_options_parse fills a driver_options with plain values (no
 * pointers into itself: copies are safe); a wrong command line gives a
 * message for standard error (the caller exits with status 2). Whether the
 * capture can take the values (even sizes, the show's length) is the
 * capture's to say (capture_check), also before any work.
 */
#ifndef KESTOVAR_OPTIONS_H
#define KESTOVAR_OPTIONS_H

#include <string>
#include <vector>

// Times beyond this are no time in the show; refused while parsing, so that
// no frame number made from them can overflow.
constexpr double kOptionsMaxSeconds = 1e6;

struct driver_still {
    double seconds = 0.0;
    std::string path;
};

struct driver_options {
    bool help = false;
    bool version = false;
    int window_w = 0, window_h = 0;  // 0: full screen
    int display = 0;                 // --display: TAVELO_AUTO, TAVELO_X11, TAVELO_CONSOLE
    bool capture = false;            // --capture or --still: no live show
    std::string video;               // --capture FILE; "": stills only
    std::vector<driver_still> stills;
    int width = 0, height = 0;  // --size; 0: the capture's default
    int fps = 0;                // --fps; 0: the capture's default
    double from = 0.0;          // --from
    double to = -1.0;           // --to; < 0: the show's end
    bool pcm = false;           // --audio pcm
};

/* 0, or -1 with the message in `error`. */
int driver_options_parse(int argc, const char *const *argv, driver_options *options,
                         std::string *error);

/* The text --help prints. */
const char *driver_options_usage(void);

#endif
