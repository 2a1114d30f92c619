/* syna_render.cpp - `syna-render`: renders a song to a 44.1 kHz 16-bit
 * stereo WAV (see `syna-render --help`).
 *
 * The song is rendered in blocks of 8192 frames, block k starting at frame
 * 8192 k, exactly as the demo pre-renders it, so the data of a WAV of the
 * embedded song is byte for byte what the demo plays.
 *
 * Parts: render_options (the command line), wav_out (the output file, which
 * appears only when complete, through cli/out_file.h), bar_stats (--stats: per-bar levels of the
 * mix and of every channel alone, rendered one after another in this process), progress (the bar on
 * standard error).
 *
 * Limits: 44100 Hz only; song files of at most 1 MiB (SYNA_MAX_SONG_BYTES);
 * at most 1073741814 frames (the WAV size field is 32 bits); --stats shows
 * at most 100000 bars. The synthesizer's row print (a line per row for songs
 * of eleven or more channels) is silenced, so that standard output carries
 * only the tool's own table.
 *
 * Exit status: 0 done; 1 song missing, unreadable or rejected, or the output
 * could not be written (then no file carries the output's name that did
 * not before); 2 usage error.
 */
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bar_stats.h"
#include "cli.h"
#include "render_options.h"
#include "show.h"
#include "song.h"
#include "syna_host.h"
#include "wav_out.h"

namespace {

constexpr long long kMaxStatsBars = 100000;

// Reads at most one byte past the song size limit, so that an endless or
// huge input is refused by the parser rather than read to the end.
bool read_song(const char *path, std::string *text, struct stat *st, std::string *why) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fstat(fd, st) != 0) {
        *why = std::string(path) + ": " + strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    const size_t limit = (size_t)SYNA_MAX_SONG_BYTES + 1;
    char chunk[65536];
    while (text->size() < limit) {
        const size_t want =
            limit - text->size() < sizeof chunk ? limit - text->size() : sizeof chunk;
        const ssize_t n = read(fd, chunk, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *why = std::string(path) + ": " + strerror(errno);
            close(fd);
            return false;
        }
        if (n == 0) break;
        text->append(chunk, (size_t)n);
    }
    close(fd);
    return true;
}

void show_progress(long long done) { progress_update(done); }

// Everything after the command line; false with a reason on any failure.
bool run(const RenderOptions &opt, std::string *why) {
    std::string text;
    struct stat song_stat = {};
    const std::string song_name = opt.song ? opt.song : "built-in song";
    if (opt.song) {
        if (!read_song(opt.song, &text, &song_stat, why)) return false;
    } else {
        text.assign(biisi, (size_t)biisi_length);
    }

    syna_init(SHOW_RATE);
    if (syna_getn(text.data(), text.size()) < 0) {
        *why = song_name + ": rejected: " + syna_error();
        return false;
    }
    const int channels = syna_channels();
    const int row_samples = syna_row_frames();
    if (opt.stats && opt.frames > 0 && stats_bar_of(opt.frames - 1, row_samples) >= kMaxStatsBars) {
        *why = "--stats shows at most " + std::to_string(kMaxStatsBars) +
               " bars; render fewer frames (-n)";
        return false;
    }

    WavOut out;
    if (!wav_open(&out, opt.output, opt.raw, opt.frames, opt.song ? &song_stat : nullptr, why))
        return false;

    struct Mix {
        const RenderOptions &opt;
        int row_samples;
        WavOut &out;
        std::string *why;
        std::vector<BarLevel> bars;
        bool failed = false;
    } mix{opt, row_samples, out, why, {}};
    progress_start(opt.stats ? "mix" : "render", opt.frames);
    show_render_frames(
        0, opt.frames, nullptr,
        [](const int16_t *block, long long first, int n, void *user) {
            Mix &m = *static_cast<Mix *>(user);
            if (m.opt.stats) stats_add_block(m.bars, first, block, n, m.row_samples);
            m.failed = !wav_write(&m.out, block, n, m.why);
            if (!m.failed) progress_update(first + n);
            return m.failed ? 1 : 0;
        },
        &mix);
    if (mix.failed) {
        progress_finish();
        wav_abort(&out);
        return false;
    }
    progress_finish();
    if (!wav_finish(&out, why)) return false;

    // Standard output is the table's, unless the audio went there.
    FILE *table = opt.output == "-" ? stderr : stdout;

    if (opt.stats) {
        stats_warn(stderr, mix.bars);
        std::vector<std::vector<BarLevel>> solos(channels);
        for (int ch = 1; ch <= channels; ++ch) {
            const std::string label = "solo " + std::to_string(ch);
            progress_start(label.c_str(), opt.frames);
            const bool ok = stats_solo(text.data(), text.size(), ch, opt.frames, &solos[ch - 1],
                                       why, show_progress);
            progress_finish();
            if (!ok) return false;
        }
        stats_print(table, mix.bars, solos, opt.frames);
    }

    fprintf(stderr, "syna-render: wrote %lld frames (%.2f s) to %s\n", opt.frames,
            (double)opt.frames / (double)SHOW_RATE, out.shown_name.c_str());
    if (fflush(stdout) != 0 || ferror(stdout)) {
        *why = std::string("standard output: ") + strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    RenderOptions opt;
    std::string why;
    switch (render_options_parse(argc, argv, &opt, &why)) {
    case OPTIONS_HELP: return 0;
    case OPTIONS_USAGE_ERROR:
        fprintf(stderr, "syna-render: %s\nTry 'syna-render --help'.\n", why.c_str());
        return 2;
    case OPTIONS_RUN: break;
    }
    signal(SIGPIPE, SIG_IGN);  // a closed pipe is reported as a write error
    syna_set_row_print(nullptr);
    if (run(opt, &why)) return 0;
    fprintf(stderr, "syna-render: %s\n", why.c_str());
    return 1;
}
