/* options.cpp - parsing the demo's command line (see options.h). */
#include "options.h"

#include "cli.h"

namespace {

constexpr int kMaxSide = 100000;

struct Option {
    const char *name;
    bool takes_value;
};

// Every option the demo knows, and whether a value follows it.
constexpr Option kOptions[] = {
    {"--help", false},   {"-h", false},       {"--version", false}, {"--window", true},
    {"--display", true}, {"--capture", true}, {"--still", true},    {"--size", true},
    {"--fps", true},     {"--from", true},    {"--to", true},       {"--audio", true},
};

const Option *find_option(const std::string &name) {
    for (const Option &o : kOptions)
        if (name == o.name) return &o;
    return nullptr;
}

bool parse_seconds(const std::string &text, double *out) {
    return cli_parse_seconds(text, kOptionsMaxSeconds, out);
}

}  // namespace

const char *driver_options_usage(void) {
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
           "2 for a wrong command line. An X server that stops answering\n"
           "ends the show with status 1 after 10 seconds.\n";
}

int driver_options_parse(int argc, const char *const *argv, driver_options *o, std::string *error) {
    bool ranged = false, audio = false;
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
        const Option *known = find_option(arg);
        if (known == nullptr) {
            *error = arg.rfind("-", 0) == 0
                         ? "unknown option '" + arg + "' (kestovar --help lists them)"
                         : "unexpected argument '" + arg + "' (kestovar --help lists the options)";
            return -1;
        }
        const bool takes_value = known->takes_value;
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
            if (!cli_parse_size(value, kMaxSide, &o->window_w, &o->window_h)) {
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
            if (colon == std::string::npos || colon + 1 >= value.size()) {
                *error = "--still wants TIME:FILE.png, like 12.5:flower.png, not '" + value + "'";
                return -1;
            }
            if (!parse_seconds(value.substr(0, colon), &t)) {
                *error = "--still: '" + value.substr(0, colon) + "' is not a time in seconds";
                return -1;
            }
            o->stills.push_back(driver_still{t, value.substr(colon + 1)});
            o->capture = true;
        } else if (arg == "--size") {
            if (!cli_parse_size(value, kMaxSide, &o->width, &o->height)) {
                *error = "--size wants a size like 1920x1080, not '" + value + "'";
                return -1;
            }
        } else if (arg == "--fps") {
            long long fps = 0;
            if (!cli_parse_count(value, 1, 100000, &fps)) {
                *error = "--fps wants a whole number of frames per second, not '" + value + "'";
                return -1;
            }
            o->fps = (int)fps;
        } else if (arg == "--from" || arg == "--to") {
            double t = 0.0;
            if (!parse_seconds(value, &t)) {
                *error = arg + " wants a time in seconds, not '" + value + "'";
                return -1;
            }
            (arg == "--from" ? o->from : o->to) = t;
            ranged = true;
        } else if (arg == "--audio") {
            if (value != "aac" && value != "pcm") {
                *error = "--audio is aac or pcm, not '" + value + "'";
                return -1;
            }
            o->pcm = value == "pcm";
            audio = true;
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
    if (!o->capture && (o->width > 0 || o->fps > 0)) {
        *error = "--size and --fps need --capture or --still";
        return -1;
    }
    if (o->video.empty() && (ranged || audio)) {
        *error = "--from, --to and --audio need --capture";
        return -1;
    }
    if (ranged && o->to >= 0.0 && o->to <= o->from) {
        *error = "--to must come after --from";
        return -1;
    }
    return 0;
}
