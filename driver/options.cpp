/* options.cpp - parsing the demo's command line (see options.h). */
#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool parse_size(const std::string &text, int *w, int *h) {
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    const long a = std::strtol(s, &end, 10);
    if (end == s || (*end != 'x' && *end != 'X') || errno) return false;
    const char *second = end + 1;
    const long b = std::strtol(second, &end, 10);
    if (end == second || *end != '\0' || errno || a <= 0 || b <= 0 || a > 100000 || b > 100000)
        return false;
    *w = (int)a;
    *h = (int)b;
    return true;
}

bool parse_seconds(const std::string &text, double *out) {
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || errno || !std::isfinite(v) || v < 0.0) return false;
    *out = v;
    return true;
}

bool parse_count(const std::string &text, int *out) {
    const char *s = text.c_str();
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0' || errno || v <= 0 || v > 100000) return false;
    *out = (int)v;
    return true;
}

}  // namespace

const char *options_usage(void) {
    return "Usage: kestovar [OPTION]...\n"
           "Renders its song, then plays it with the picture in step, full-screen.\n"
           "Escape, Ctrl-C or closing the window ends the show.\n"
           "\n"
           "Live show:\n"
           "  --window WxH         in an ordinary window of W x H pixels\n"
           "  --display x11|console  where to show it; without it: the X display\n"
           "                       if one answers (DISPLAY), else the console's\n"
           "                       screen (DRM/KMS) when a screen is connected\n"
           "\n"
           "Capture (off screen, no display or sound card needed):\n"
           "  --capture FILE       the show as a video file (MP4: H.264 and AAC)\n"
           "  --still T:FILE.png   the frame at T seconds as a PNG; repeatable;\n"
           "                       without --capture no video is written\n"
           "  --size WxH           picture size (default 1920x1080)\n"
           "  --fps N              frames per second (default 60)\n"
           "  --from SECONDS       start of the captured part (default 0)\n"
           "  --to SECONDS         end of the captured part (default: the show's end)\n"
           "  --audio aac|pcm      sound track; pcm needs a .mkv or .mov file\n"
           "\n"
           "  --help               this text\n"
           "  --version            the program's version\n"
           "\n"
           "Exit status: 0 after a show or a finished capture, 1 on failure,\n"
           "2 for a wrong command line.\n";
}

int options_parse(int argc, const char *const *argv, driver_options *o, std::string *error) {
    capture_defaults(&o->request);
    bool sized = false, ranged = false, rated = false, audio = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        std::string value;
        bool has_value = false;
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            has_value = true;
        }
        const bool takes_value = arg == "--window" || arg == "--display" || arg == "--capture" ||
                                 arg == "--still" || arg == "--size" || arg == "--fps" ||
                                 arg == "--from" || arg == "--to" || arg == "--audio";
        if (takes_value && !has_value) {
            if (i + 1 >= argc) {
                *error = "option " + arg + " needs a value";
                return -1;
            }
            value = argv[++i];
        } else if (!takes_value && has_value) {
            *error = "option " + arg + " takes no value";
            return -1;
        }

        if (arg == "--help" || arg == "-h") {
            o->help = true;
        } else if (arg == "--version") {
            o->version = true;
        } else if (arg == "--window") {
            if (!parse_size(value, &o->window_w, &o->window_h)) {
                *error = "--window wants a size like 1280x720, not '" + value + "'";
                return -1;
            }
        } else if (arg == "--display") {
            if (value != "x11" && value != "console") {
                *error = "--display is x11 or console, not '" + value + "'";
                return -1;
            }
            o->display = value == "x11" ? 1 : 2;
        } else if (arg == "--capture") {
            if (value.empty()) {
                *error = "--capture needs a file name";
                return -1;
            }
            o->video = value;
            o->capture = true;
        } else if (arg == "--still") {
            const size_t colon = value.find(':');
            double t = 0.0;
            if (colon == std::string::npos || !parse_seconds(value.substr(0, colon), &t) ||
                colon + 1 >= value.size()) {
                *error = "--still wants TIME:FILE.png, like 12.5:flower.png, not '" + value + "'";
                return -1;
            }
            o->stills.push_back(capture_still{t, nullptr});
            o->still_paths.push_back(value.substr(colon + 1));
            o->capture = true;
        } else if (arg == "--size") {
            if (!parse_size(value, &o->request.width, &o->request.height)) {
                *error = "--size wants a size like 1920x1080, not '" + value + "'";
                return -1;
            }
            sized = true;
        } else if (arg == "--fps") {
            if (!parse_count(value, &o->request.fps)) {
                *error = "--fps wants a whole number of frames per second, not '" + value + "'";
                return -1;
            }
            rated = true;
        } else if (arg == "--from" || arg == "--to") {
            double t = 0.0;
            if (!parse_seconds(value, &t)) {
                *error = arg + " wants a time in seconds, not '" + value + "'";
                return -1;
            }
            (arg == "--from" ? o->request.from : o->request.to) = t;
            ranged = true;
        } else if (arg == "--audio") {
            if (value != "aac" && value != "pcm") {
                *error = "--audio is aac or pcm, not '" + value + "'";
                return -1;
            }
            o->request.pcm = value == "pcm";
            audio = true;
        } else if (arg.rfind("-", 0) == 0) {
            *error = "unknown option '" + arg + "' (kestovar --help lists them)";
            return -1;
        } else {
            *error = "unexpected argument '" + arg + "' (kestovar --help lists the options)";
            return -1;
        }
    }
    if (o->help || o->version) return 0;
    if (o->capture && o->window_w > 0) {
        *error = "--window is for the live show; a capture has no window";
        return -1;
    }
    if (o->capture && o->display != 0) {
        *error = "--display is for the live show; a capture needs no display";
        return -1;
    }
    if (o->display == 2 && o->window_w > 0) {
        *error = "--window needs an X display; the console has no windows";
        return -1;
    }
    if (!o->capture && (sized || rated)) {
        *error = "--size and --fps need --capture or --still";
        return -1;
    }
    if (o->video.empty() && (ranged || audio)) {
        *error = "--from, --to and --audio need --capture";
        return -1;
    }
    if (ranged && o->request.to >= 0.0 && o->request.to <= o->request.from) {
        *error = "--to must come after --from";
        return -1;
    }
    for (size_t i = 0; i < o->stills.size(); i++) o->stills[i].path = o->still_paths[i].c_str();
    o->request.video = o->video.empty() ? nullptr : o->video.c_str();
    o->request.stills = o->stills.data();
    o->request.still_count = (int)o->stills.size();
    return 0;
}
