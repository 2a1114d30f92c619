/* wav_out.cpp - see wav_out.h. */
#include "wav_out.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "show.h"

namespace {

// The temporary file's name, for the signal handler.
char pending_temp[PATH_MAX];

void remove_temp_and_die(int sig) {
    if (pending_temp[0]) unlink(pending_temp);
    signal(sig, SIG_DFL);
    raise(sig);
}

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Sets or clears the name the handler removes, with those signals held off.
void set_pending(const char *name) {
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : kSignals) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &old);
    if (name) {
        strncpy(pending_temp, name, sizeof pending_temp - 1);
        pending_temp[sizeof pending_temp - 1] = 0;
        for (int s : kSignals) {
            struct sigaction sa = {};
            sa.sa_handler = remove_temp_and_die;
            sigaction(s, &sa, nullptr);
        }
    } else {
        pending_temp[0] = 0;
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
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
    put_le32(h + 24, SHOW_RATE);
    put_le32(h + 28, SHOW_RATE * 4);
    put_le16(h + 32, 4);
    put_le16(h + 34, 16);
    memcpy(h + 36, "data", 4);
    put_le32(h + 40, data_bytes);
}

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

bool same_file(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string failed(const std::string &name) { return name + ": " + strerror(errno); }

// Opens a temporary file beside `target`, with the mode the target has or
// a new file would get.
int open_temp(const std::string &target, const struct stat *existing, std::string *temp) {
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::vector<char> name(dir.begin(), dir.end());
    const std::string tail = "." + base + ".syna-render-XXXXXX";
    name.insert(name.end(), tail.begin(), tail.end());
    name.push_back(0);
    if (name.size() >= sizeof pending_temp) {
        errno = ENAMETOOLONG;
        return -1;
    }
    // Signals wait until the handler knows the new file's name.
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : kSignals) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &old);
    const int fd = mkstemp(name.data());
    if (fd >= 0) set_pending(name.data());
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (fd < 0) return -1;
    *temp = name.data();
    mode_t mode;
    if (existing) {
        mode = existing->st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    return fd;
}

}  // namespace

bool wav_open(WavOut *w, const std::string &path, bool raw, long long frames,
              const struct stat *input, std::string *why) {
    *w = WavOut{};
    w->raw = raw;
    struct stat st;
    if (path == "-") {
        w->shown_name = "standard output";
        if (input && fstat(1, &st) == 0 && same_file(st, *input)) {
            *why = "standard output is the song file itself; not overwritten";
            return false;
        }
        w->fd = dup(1);
        if (w->fd < 0) {
            *why = failed(w->shown_name);
            return false;
        }
    } else {
        w->shown_name = path;
        const bool exists = stat(path.c_str(), &st) == 0;
        if (exists && input && same_file(st, *input)) {
            *why = path + ": is the song file itself; not overwritten";
            return false;
        }
        if (exists && !S_ISREG(st.st_mode)) {
            // A device or fifo cannot be replaced: write into it.
            w->fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
        } else {
            // A symbolic link keeps pointing at the file it named.
            std::string target = path;
            if (exists) {
                char *real = realpath(path.c_str(), nullptr);
                if (real) target = real;
                free(real);
            }
            w->fd = open_temp(target, exists ? &st : nullptr, &w->temp_name);
            w->final_name = target;
        }
        if (w->fd < 0) {
            *why = failed(path);
            return false;
        }
    }
    // Sizes go into the header last where the output can seek back to it.
    if (fstat(w->fd, &st) == 0 && S_ISREG(st.st_mode) && !(fcntl(w->fd, F_GETFL) & O_APPEND)) {
        const off_t at = lseek(w->fd, 0, SEEK_CUR);
        w->seekable = at >= 0;
        w->header_at = at;
    }
    if (!raw) {
        unsigned char header[44];
        wav_header(header, w->seekable ? 0 : frames);
        if (!write_all(w->fd, header, sizeof header)) {
            *why = w->shown_name + ": write failed: " + strerror(errno);
            wav_abort(w);
            return false;
        }
    }
    return true;
}

bool wav_write(WavOut *w, const short *samples, int frames, std::string *why) {
    static std::vector<unsigned char> bytes;
    bytes.resize((size_t)frames * 4);
    for (int i = 0; i < 2 * frames; ++i) put_le16(&bytes[2 * (size_t)i], (uint16_t)samples[i]);
    if (!write_all(w->fd, bytes.data(), bytes.size())) {
        *why = w->shown_name + ": write failed: " + strerror(errno);
        return false;
    }
    w->frames += frames;
    return true;
}

bool wav_finish(WavOut *w, std::string *why) {
    if (!w->raw && w->seekable) {
        unsigned char header[44];
        wav_header(header, w->frames);
        if (pwrite(w->fd, header, sizeof header, (off_t)w->header_at) != (ssize_t)sizeof header) {
            *why = w->shown_name + ": write failed: " + strerror(errno);
            wav_abort(w);
            return false;
        }
    }
    const int fd = w->fd;
    w->fd = -1;
    if (close(fd) != 0) {
        *why = w->shown_name + ": close failed: " + strerror(errno);
        wav_abort(w);
        return false;
    }
    if (!w->temp_name.empty()) {
        if (rename(w->temp_name.c_str(), w->final_name.c_str()) != 0) {
            *why = failed(w->shown_name);
            wav_abort(w);
            return false;
        }
        w->temp_name.clear();
        set_pending(nullptr);
    }
    return true;
}

void wav_abort(WavOut *w) {
    if (w->fd >= 0) close(w->fd);
    w->fd = -1;
    if (!w->temp_name.empty()) {
        unlink(w->temp_name.c_str());
        w->temp_name.clear();
        set_pending(nullptr);
    }
}
