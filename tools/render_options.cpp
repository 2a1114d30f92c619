/* render_options.cpp - see render_options.h. */
#include "render_options.h"

#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "show.h"

namespace {

const long long kDefaultFrames = SHOW_FRAMES;

void print_help() {
    const char *prog = "syna-render";
    printf(
        "Usage: %s [options] [SONG]\n"
        "Render a song text (without SONG: the demo's built-in song) to a\n"
        "44.1 kHz 16-bit stereo WAV file.\n\n"
        "  -o, --output PATH  output file (default out.wav, or out.raw with --raw;\n"
        "                     '-' for standard output). It appears only when\n"
        "                     complete, and never replaces SONG itself.\n"
        "  -n, --frames N     frames to render (default %lld: %d blocks of %d)\n"
        "      --raw          write bare little-endian samples, no WAV header\n"
        "      --stats        print per-bar RMS loudness (dBFS) of each channel and\n"
        "                     of the mix, and the clipped sample count; warn about\n"
        "                     pans and low-passes that saturate\n"
        "  -h, --help         show this help\n"
        "Song files are limited to 1 MiB.\n",
        prog, kDefaultFrames, SHOW_BLOCKS, SHOW_BLOCK_FRAMES);
}

}  // namespace

OptionsResult render_options_parse(int argc, char **argv, RenderOptions *opt, std::string *why) {
    enum { kOptRaw = 256, kOptStats };
    static const option longopts[] = {
        {"output", required_argument, nullptr, 'o'}, {"frames", required_argument, nullptr, 'n'},
        {"raw", no_argument, nullptr, kOptRaw},      {"stats", no_argument, nullptr, kOptStats},
        {"help", no_argument, nullptr, 'h'},         {nullptr, 0, nullptr, 0},
    };
    RenderOptions o;
    o.frames = kDefaultFrames;
    bool output_given = false;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":o:n:h", longopts, nullptr)) != -1) {
        switch (c) {
        case 'o':
            if (!*optarg) {
                *why = "empty output path";
                return OPTIONS_USAGE_ERROR;
            }
            o.output = optarg;
            output_given = true;
            break;
        case 'n': {
            long long v = 0;
            if (!cli_parse_count(optarg, 0, kOptionsMaxFrames, &v)) {
                *why = std::string("bad frame count '") + optarg + "' (0 to " +
                       std::to_string(kOptionsMaxFrames) + ")";
                return OPTIONS_USAGE_ERROR;
            }
            o.frames = v;
            break;
        }
        case kOptRaw: o.raw = true; break;
        case kOptStats: o.stats = true; break;
        case 'h': print_help(); return OPTIONS_HELP;
        case ':':
        default: {
            // A long option is named by its argument word, a short one by optopt.
            const char *word = argv[optind - 1];
            std::string name = strncmp(word, "--", 2) == 0 ? word : std::string("-") + (char)optopt;
            *why = c == ':' ? "option '" + name + "' needs a value" : "bad option '" + name + "'";
            return OPTIONS_USAGE_ERROR;
        }
        }
    }
    if (optind < argc) o.song = argv[optind++];
    if (optind < argc) {
        *why = std::string("more than one song given: '") + argv[optind] + "'";
        return OPTIONS_USAGE_ERROR;
    }
    if (!output_given) o.output = o.raw ? "out.raw" : "out.wav";
    *opt = o;
    return OPTIONS_RUN;
}
