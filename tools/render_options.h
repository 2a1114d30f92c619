/* render_options.h - syna-render's command line.
 *
 * Use:
 *     RenderOptions opt;
 *     std::string why;
 *     switch (render_options_parse(argc, argv, &opt, &why)) { ... }
 *
 * OPTIONS_HELP means the help text was printed on standard output;
 * OPTIONS_USAGE_ERROR leaves a one-line reason in `why`. Nothing exits.
 *
 * Limitations: getopt_long underneath, so one parse per process.
 */
#ifndef KESTOVAR_RENDER_OPTIONS_H
#define KESTOVAR_RENDER_OPTIONS_H

#include <string>

// The largest render: the RIFF size field (36 + data bytes) must fit in 32 bits.
constexpr long long kOptionsMaxFrames = (0xFFFFFFFFLL - 36) / 4;

struct RenderOptions {
    const char *song = nullptr;  // null: the built-in song
    std::string output;          // "-" is standard output
    long long frames = 0;        // defaults to the demo's length
    bool raw = false;
    bool stats = false;
};

enum OptionsResult { OPTIONS_RUN, OPTIONS_HELP, OPTIONS_USAGE_ERROR };

OptionsResult render_options_parse(int argc, char **argv, RenderOptions *opt, std::string *why);

#endif
