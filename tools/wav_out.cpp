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
        if (!out_open(&w->file, path, true, why)) return false;
        w->fd = w->file.fd;
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
    if (w->file.fd >= 0) {
        w->fd = -1;
        return out_commit(&w->file, why);
    }
    const int fd = w->fd;
    w->fd = -1;
    if (close(fd) != 0) {
        *why = w->shown_name + ": close failed: " + strerror(errno);
        return false;
    }
    return true;
}

void wav_abort(WavOut *w) {
    if (w->file.fd >= 0) {
        out_abort(&w->file);
    } else if (w->fd >= 0) {
        close(w->fd);
    }
    w->fd = -1;
}
