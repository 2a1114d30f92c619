/* syna_render.cpp - `syna-render`: renders a song to a 44.1 kHz 16-bit stereo WAV.
 *
 * Use:
 *     syna-render [options] [SONG]
 *       -o, --output PATH   where to write (default out.wav, out.raw with --raw;
 *                           "-" writes to standard output)
 *       -n, --frames N      frames to render (default 5300224, the demo's
 *                           647 blocks of 8192)
 *       --raw               bare little-endian samples, no header
 *       --stats             per-bar loudness of every channel and of the mix,
 *                           and the clipped sample count, on standard output
 *   Without SONG the song built into the demo (`biisi`) is rendered.
 *
 * The song is rendered in blocks of 8192 frames, block k starting at frame
 * 8192 k, exactly as the demo pre-renders it, so the data of a WAV of the
 * embedded song is byte for byte what the demo plays.
 *
 * --stats renders frame by frame (which changes no sample) to see the row of
 * every frame; bar n is rows 16n+1 .. 16n+16 (row 0 opens the song).
 * Each channel's loudness comes from a solo
 * render of the song in its own process: the synthesizer can be set up only
 * once per process, and its noise table needs the C library's random
 * generator at its unseeded start. The solo renders run one at a time, next
 * to the mix render, under a helper process forked before this process
 * touches the synthesizer; so --stats costs about one extra render per
 * channel, mostly on the second core. Which
 * channels exist is read from the song text: tracks t1, t2, ... up to the
 * first missing one, as the synthesizer walks them. Those processes die
 * with this one (Linux parent-death signal).
 *
 * Limits: 44100 Hz only; at most 1073741814 frames (the WAV size field is
 * 32 bits). The synthesizer prints a line per row for songs of eleven or
 * more channels; the tool discards that output so that standard output
 * carries only its own table.
 *
 * Exit status: 0 done; 1 song missing, unreadable or rejected, or the output
 * could not be written (a partly written file is removed); 2 usage error.
 */
#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <math.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <string>
#include <vector>

#include "progress.h"
#include "song.h"
#include "syna.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlockFrames = 8192;
constexpr long long kDefaultFrames = 647LL * kBlockFrames;
// The RIFF size field (36 + data bytes) must fit in 32 bits.
constexpr long long kMaxFrames = (0xFFFFFFFFLL - 36) / 4;
constexpr int kRowsPerBar = 16;
constexpr int kMaxTracks = 28;
constexpr int kClipValue = 32766;  // 3.0 x 10922: the mixer's clip bound

const char *const kProg = "syna-render";

struct Options {
    const char *song = nullptr;
    std::string output;
    long long frames = kDefaultFrames;
    bool raw = false;
    bool stats = false;
};

void fail(const std::string &what, const std::string &why) {
    fprintf(stderr, "%s: %s: %s\n", kProg, what.c_str(), why.c_str());
}

[[noreturn]] void usage_error(const std::string &why) {
    fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProg, why.c_str(), kProg);
    exit(2);
}

void print_help() {
    printf(
        "Usage: %s [options] [SONG]\n"
        "Render a song text (without SONG: the demo's built-in song) to a\n"
        "44.1 kHz 16-bit stereo WAV file.\n\n"
        "  -o, --output PATH  output file (default out.wav, or out.raw with --raw;\n"
        "                     '-' for standard output)\n"
        "  -n, --frames N     frames to render (default %lld: 647 blocks of 8192)\n"
        "      --raw          write bare little-endian samples, no WAV header\n"
        "      --stats        print per-bar RMS loudness (dBFS) of each channel and\n"
        "                     of the mix, and the clipped sample count\n"
        "  -h, --help         show this help\n",
        kProg, kDefaultFrames);
}

Options parse_args(int argc, char **argv) {
    enum { kOptRaw = 256, kOptStats };
    static const option longopts[] = {
        {"output", required_argument, nullptr, 'o'}, {"frames", required_argument, nullptr, 'n'},
        {"raw", no_argument, nullptr, kOptRaw},      {"stats", no_argument, nullptr, kOptStats},
        {"help", no_argument, nullptr, 'h'},         {nullptr, 0, nullptr, 0},
    };
    Options o;
    bool output_given = false;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":o:n:h", longopts, nullptr)) != -1) {
        switch (c) {
        case 'o':
            if (!*optarg) usage_error("empty output path");
            o.output = optarg;
            output_given = true;
            break;
        case 'n': {
            char *end = nullptr;
            errno = 0;
            long long v = strtoll(optarg, &end, 10);
            if (errno || end == optarg || *end || v < 0 || v > kMaxFrames)
                usage_error(std::string("bad frame count '") + optarg + "' (0 to " +
                            std::to_string(kMaxFrames) + ")");
            o.frames = v;
            break;
        }
        case kOptRaw: o.raw = true; break;
        case kOptStats: o.stats = true; break;
        case 'h': print_help(); exit(0);
        case ':':
        default: {
            // A long option is named by its argument word, a short one by optopt.
            const char *word = argv[optind - 1];
            std::string name = strncmp(word, "--", 2) == 0 ? word : std::string("-") + (char)optopt;
            usage_error(c == ':' ? "option '" + name + "' needs a value"
                                 : "bad option '" + name + "'");
        }
        }
    }
    if (optind < argc) o.song = argv[optind++];
    if (optind < argc) usage_error(std::string("more than one song given: '") + argv[optind] + "'");
    if (!output_given) o.output = o.raw ? "out.raw" : "out.wav";
    return o;
}

// Reads a whole file; false with errno set when it cannot be opened or read.
bool read_file(const char *path, std::string &text) {
    int fd = open(path, O_RDONLY);
    if (fd < 0) return false;
    char chunk[65536];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int e = errno;
            close(fd);
            errno = e;
            return false;
        }
        if (n == 0) break;
        text.append(chunk, (size_t)n);
    }
    close(fd);
    return true;
}

// The channels the synthesizer plays: tracks 1, 2, ... up to the first one
// that the song leaves empty. Lines are read the way the song parser reads
// them: blanks and carriage returns carry no meaning, empty lines do not
// count, only the first 1000 lines are used, "#" starts a comment, and a
// track line is a key "t<number>" followed by at least one entry.
int count_channels(const std::string &song) {
    std::string text;
    for (char ch : song)
        if (ch != ' ' && ch != '\r') text += ch;
    bool present[kMaxTracks + 2] = {};
    size_t pos = 0;
    int lines = 0;
    while (pos < text.size() && lines < 1000) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (line.empty()) continue;
        ++lines;
        if (line[0] != 't') continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string rest = line.substr(colon + 1);
        if (rest.find_first_not_of(",") == std::string::npos) continue;  // no entries
        int n = atoi(line.c_str() + 1);
        if (n >= 1 && n <= kMaxTracks) present[n] = true;
    }
    int channels = 0;
    while (channels < kMaxTracks && present[channels + 1]) ++channels;
    return channels;
}

// Writes everything or fails with errno set.
bool write_all(int fd, const void *data, size_t size) {
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        p += n;
        size -= (size_t)n;
    }
    return true;
}

void put_le16(unsigned char *p, unsigned v) {
    p[0] = (unsigned char)(v & 0xFF);
    p[1] = (unsigned char)((v >> 8) & 0xFF);
}
void put_le32(unsigned char *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = (unsigned char)((v >> (8 * i)) & 0xFF);
}

// Canonical 44-byte header: RIFF/WAVE, PCM, 2 channels, 44100 Hz, 16 bits.
void wav_header(unsigned char h[44], long long frames) {
    const uint32_t data_bytes = (uint32_t)(frames * 4);
    memcpy(h, "RIFF", 4);
    put_le32(h + 4, 36 + data_bytes);
    memcpy(h + 8, "WAVEfmt ", 8);
    put_le32(h + 16, 16);
    put_le16(h + 20, 1);  // PCM
    put_le16(h + 22, 2);
    put_le32(h + 24, kRate);
    put_le32(h + 28, kRate * 4);
    put_le16(h + 32, 4);
    put_le16(h + 34, 16);
    memcpy(h + 36, "data", 4);
    put_le32(h + 40, data_bytes);
}

// Sum of squared samples (both sides) per bar.
struct BarLevel {
    double sumsq = 0;
    long long samples = 0;
    long long clipped = 0;
};

void add_frame(std::vector<BarLevel> &bars, const short *frame) {
    // Songs spend row 0 on a one-row opening pattern, so bar n is rows
    // 16n+1 .. 16n+16, as in the song map; row 0 counts with bar 0.
    size_t bar = syna_row <= 0 ? 0 : (size_t)((syna_row - 1) / kRowsPerBar);
    if (bar >= bars.size()) bars.resize(bar + 1);
    BarLevel &b = bars[bar];
    for (int s = 0; s < 2; ++s) {
        double v = frame[s];
        b.sumsq += v * v;
        b.samples += 1;
        if (frame[s] == kClipValue || frame[s] == -kClipValue) b.clipped += 1;
    }
}

// Renders `frames` frames in the demo's blocks; with bars set, one frame per
// call so that every frame lands in the bar of its own row.
template <class Sink>
void render(long long frames, std::vector<BarLevel> *bars, bool show_progress, Sink sink) {
    static short block[kBlockFrames * 2];
    for (long long done = 0; done < frames;) {
        int n = (int)(frames - done < kBlockFrames ? frames - done : kBlockFrames);
        if (bars) {
            for (int i = 0; i < n; ++i) {
                syna_play(block + 2 * i, 1);
                add_frame(*bars, block + 2 * i);
            }
        } else {
            syna_play(block, n);
        }
        if (!sink(block, n)) return;
        done += n;
        if (show_progress) progress_update(done);
    }
}

// Called first thing in a forked child: it goes when its parent goes.
void die_with_parent(pid_t parent) {
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (getppid() != parent) _exit(1);  // the parent went before the signal was armed
}

// Quiets the synthesizer's per-row prints (songs of 11+ channels) while it
// renders; returns a descriptor of the original standard output.
int hide_stdout() {
    fflush(stdout);
    int saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, 1);
        close(null);
    }
    return saved;
}

// One record per channel on the stats pipe: channel, bar count (-1 when the
// solo render failed), then per bar the sum of squares and the sample count.
struct RecordHead {
    int32_t channel;
    int32_t bars;
};

[[noreturn]] void solo_worker(const std::string &text, int ch, long long frames, int out_fd,
                              pid_t parent) {
    die_with_parent(parent);
    hide_stdout();
    syna_init(kRate);
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back(0);
    if (syna_get(buf.data()) < 0) _exit(1);
    for (int c = 1; c <= 29; ++c)
        if (c != ch) syna_mute(c, 1, 0);
    std::vector<BarLevel> bars;
    render(frames, &bars, false, [](const short *, int) { return true; });
    std::vector<char> rec(sizeof(RecordHead));
    RecordHead head{ch, (int32_t)bars.size()};
    memcpy(rec.data(), &head, sizeof head);
    for (const BarLevel &b : bars) {
        const char *p = reinterpret_cast<const char *>(&b.sumsq);
        rec.insert(rec.end(), p, p + sizeof b.sumsq);
        p = reinterpret_cast<const char *>(&b.samples);
        rec.insert(rec.end(), p, p + sizeof b.samples);
    }
    _exit(write_all(out_fd, rec.data(), rec.size()) ? 0 : 1);
}

// Runs the solo renders of channels 1..channels one after another, each in
// a fresh process; a worker that fails gets a failure record.
[[noreturn]] void solo_coordinator(const std::string &text, int channels, long long frames,
                                   int out_fd, pid_t parent) {
    die_with_parent(parent);
    const pid_t self = getpid();
    for (int ch = 1; ch <= channels; ++ch) {
        pid_t pid = fork();
        if (pid == 0) solo_worker(text, ch, frames, out_fd, self);
        int status = 0;
        bool ok = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
                  WEXITSTATUS(status) == 0;
        if (!ok) {
            RecordHead head{ch, -1};
            if (!write_all(out_fd, &head, sizeof head)) _exit(1);
        }
    }
    _exit(0);
}

bool read_exact(int fd, void *data, size_t size) {
    char *p = static_cast<char *>(data);
    while (size > 0) {
        ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= (size_t)n;
    }
    return true;
}

std::string db(const BarLevel &b) {
    if (b.samples == 0 || b.sumsq <= 0) return "-inf";
    char s[32];
    snprintf(s, sizeof s, "%.1f", 20.0 * log10(sqrt(b.sumsq / (double)b.samples) / 32768.0));
    return s;
}

BarLevel total(const std::vector<BarLevel> &bars) {
    BarLevel t;
    for (const BarLevel &b : bars) {
        t.sumsq += b.sumsq;
        t.samples += b.samples;
        t.clipped += b.clipped;
    }
    return t;
}

void print_stats(FILE *out, const std::vector<BarLevel> &mix,
                 const std::vector<std::vector<BarLevel>> &solo, long long frames) {
    const int channels = (int)solo.size();
    fprintf(out, "RMS per bar (16 rows) in dBFS; channels are solo renders\n");
    fprintf(out, "%5s %7s", "bar", "mix");
    for (int ch = 1; ch <= channels; ++ch)
        fprintf(out, " %7s", ("ch" + std::to_string(ch)).c_str());
    fprintf(out, " %8s\n", "clipped");
    auto row = [&](const char *label, const BarLevel &m, auto level_of) {
        fprintf(out, "%5s %7s", label, db(m).c_str());
        for (int ch = 0; ch < channels; ++ch) fprintf(out, " %7s", db(level_of(ch)).c_str());
        fprintf(out, " %8lld\n", m.clipped);
    };
    for (size_t i = 0; i < mix.size(); ++i) {
        std::string label = std::to_string(i);
        row(label.c_str(), mix[i],
            [&](int ch) { return i < solo[ch].size() ? solo[ch][i] : BarLevel{}; });
    }
    BarLevel all = total(mix);
    row("all", all, [&](int ch) { return total(solo[ch]); });
    long long samples = frames * 2;
    fprintf(out, "clipped samples: %lld of %lld (%.4f%%)\n", all.clipped, samples,
            samples ? 100.0 * (double)all.clipped / (double)samples : 0.0);
}

}  // namespace

int main(int argc, char **argv) {
    Options opt = parse_args(argc, argv);
    signal(SIGPIPE, SIG_IGN);  // a closed pipe is reported as a write error

    const std::string song_name = opt.song ? opt.song : "built-in song";
    std::string text;
    if (opt.song) {
        if (!read_file(opt.song, text)) {
            fail(song_name, strerror(errno));
            return 1;
        }
    } else {
        text.assign(biisi, (size_t)biisi_length);
    }

    // Solo renders need a process that has not touched the synthesizer.
    int channels = 0;
    pid_t coordinator = -1;
    int stats_fd = -1;
    if (opt.stats) {
        channels = count_channels(text);
        int fds[2];
        if (pipe(fds) != 0) {
            fail("pipe", strerror(errno));
            return 1;
        }
        fflush(stdout);
        fflush(stderr);
        const pid_t self = getpid();
        coordinator = fork();
        if (coordinator < 0) {
            fail("fork", strerror(errno));
            return 1;
        }
        if (coordinator == 0) {
            close(fds[0]);
            solo_coordinator(text, channels, opt.frames, fds[1], self);
        }
        close(fds[1]);
        stats_fd = fds[0];
    }
    auto stop_coordinator = [&] {
        if (coordinator > 0) {
            kill(coordinator, SIGKILL);
            waitpid(coordinator, nullptr, 0);
            coordinator = -1;
        }
    };

    const int stdout_fd = hide_stdout();
    syna_init(kRate);
    std::vector<char> parse_buf(text.begin(), text.end());
    parse_buf.push_back(0);
    if (syna_get(parse_buf.data()) < 0) {
        const char *why = syna_error();
        fail(song_name, std::string("rejected: ") + (why && *why ? why : "no reason given"));
        stop_coordinator();
        return 1;
    }

    const bool to_stdout = opt.output == "-";
    const std::string out_name = to_stdout ? "standard output" : opt.output;
    int out_fd =
        to_stdout ? dup(stdout_fd) : open(opt.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out_fd < 0) {
        fail(out_name, strerror(errno));
        stop_coordinator();
        return 1;
    }
    // Only a regular file is removed after a failure, never a device or a fifo.
    struct stat st;
    const bool remove_on_failure = !to_stdout && fstat(out_fd, &st) == 0 && S_ISREG(st.st_mode);
    auto write_failed = [&](int err) {
        fail(out_name, std::string("write failed: ") + strerror(err));
        close(out_fd);
        if (remove_on_failure) unlink(opt.output.c_str());
        stop_coordinator();
        return 1;
    };

    if (!opt.raw) {
        unsigned char header[44];
        wav_header(header, opt.frames);
        if (!write_all(out_fd, header, sizeof header)) return write_failed(errno);
    }

    std::vector<BarLevel> mix_bars;
    std::vector<unsigned char> bytes(kBlockFrames * 4);
    int write_errno = 0;
    progress_start(opt.stats ? "mix" : "render", opt.frames);
    render(opt.frames, opt.stats ? &mix_bars : nullptr, true, [&](const short *samples, int n) {
        for (int i = 0; i < 2 * n; ++i) put_le16(&bytes[2 * i], (uint16_t)samples[i]);
        if (write_all(out_fd, bytes.data(), (size_t)n * 4)) return true;
        write_errno = errno;
        return false;
    });
    progress_finish();
    if (write_errno) return write_failed(write_errno);
    if (close(out_fd) != 0) {
        int e = errno;
        out_fd = -1;
        fail(out_name, std::string("close failed: ") + strerror(e));
        if (remove_on_failure) unlink(opt.output.c_str());
        stop_coordinator();
        return 1;
    }

    // Standard output is the table's, unless the audio went there.
    fflush(stdout);
    dup2(stdout_fd, 1);
    close(stdout_fd);

    if (opt.stats) {
        std::vector<std::vector<BarLevel>> solo(channels);
        progress_start("solo", channels);
        for (int done = 0; done < channels; ++done) {
            progress_update(done);
            RecordHead head{};
            if (!read_exact(stats_fd, &head, sizeof head) || head.channel < 1 ||
                head.channel > channels) {
                fail("stats", "solo renders ended early");
                stop_coordinator();
                return 1;
            }
            if (head.bars < 0) {
                fail("stats", "solo render of channel " + std::to_string(head.channel) + " failed");
                stop_coordinator();
                return 1;
            }
            std::vector<BarLevel> &bars = solo[head.channel - 1];
            bars.resize((size_t)head.bars);
            for (BarLevel &b : bars) {
                if (!read_exact(stats_fd, &b.sumsq, sizeof b.sumsq) ||
                    !read_exact(stats_fd, &b.samples, sizeof b.samples)) {
                    fail("stats", "solo renders ended early");
                    stop_coordinator();
                    return 1;
                }
            }
        }
        progress_update(channels);
        progress_finish();
        close(stats_fd);
        int status = 0;
        waitpid(coordinator, &status, 0);
        coordinator = -1;
        print_stats(to_stdout ? stderr : stdout, mix_bars, solo, opt.frames);
        fprintf(to_stdout ? stderr : stdout, "channels: %d (tracks t1, t2, ... of the song text)\n",
                channels);
    }

    fprintf(stderr, "%s: wrote %lld frames (%.2f s) to %s\n", kProg, opt.frames,
            (double)opt.frames / kRate, out_name.c_str());
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fail("standard output", strerror(errno));
        return 1;
    }
    return 0;
}
