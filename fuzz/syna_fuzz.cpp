/* syna_fuzz.cpp - one fuzz input drives the synthesizer as a hostile host
 * would: a song, a few rendered blocks, live control calls, a second song on
 * top of the first, more blocks. Built as a libFuzzer target (preset
 * `fuzz`, clang) and, with replay_main.cpp, as a test that replays the seed
 * corpus and every earlier finding in the ordinary builds.
 *
 * Input: one flags byte, then the first song, a NUL, the control calls, a
 * NUL, the second song. Flags bit 0 / bit 1: the first / second song goes
 * through syna_load (from an in-memory file) instead of syna_getn; bit 2:
 * the first song through syna_get on a NUL-terminated copy. Control calls
 * are five bytes each: an operation and four bytes of argument.
 *
 * Every input starts from the state of a fresh process (syna::reset). Beyond
 * what the sanitizers catch, the promises of the parser are checked: results
 * are 0, -1 or -2, a failure says why, a rejected song changes no table, and
 * an accepted one leaves every walked channel an instrument and an echo line
 * of the current length within the memory cap.
 *
 * Limitations: renders at most 20,000 frames per input, so slow paths that
 * only show on long renders are the benchmarks' business.
 */
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "syna_internal.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// The state a rejected song must leave alone: everything the parser or the
// sequencer writes.
uint64_t fingerprint() {
    uint64_t h = 14695981039346656037ULL;
    syna::visit_state(
        [&](const void *p, size_t n) {
            const unsigned char *b = static_cast<const unsigned char *>(p);
            for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ULL;
        },
        false);
    return h;
}

void check_song_state() {
    using namespace syna;
    long long floats = 0;
    for (int ch = 0; ch < kSlots; ++ch)
        floats += (long long)(inst_sample[ch].size() + echo_line[ch].size());
    check(floats <= SYNA_MAX_SAMPLE_FLOATS);
    const int walked = walked_channels();
    check(walked <= kSlots - 2);
    if (walked > 0) check(row_samples > 0);
    for (int ch = 1; ch <= walked; ++ch) {
        check(!inst_sample[ch].empty());
        check(inst_length[ch] == (int)inst_sample[ch].size());
        check((int)echo_line[ch].size() >= echo_length);
    }
}

// Parses through the entry point the flags choose; checks the result.
void give_song(const uint8_t *data, size_t size, bool via_file, bool via_get) {
    const uint64_t before = fingerprint();
    int r;
    if (via_file) {
        const int fd = memfd_create("song", 0);
        if (fd < 0) return;
        size_t done = 0;
        while (done < size) {
            const ssize_t n = write(fd, data + done, size - done);
            if (n <= 0) break;
            done += (size_t)n;
        }
        char path[64];
        snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        r = syna_load(path);
        close(fd);
    } else if (via_get) {
        std::vector<char> text(data, data + size);
        text.push_back(0);  // a NUL inside simply ends the text here
        r = syna_get(text.data());
    } else {
        r = syna_getn(reinterpret_cast<const char *>(data), size);
    }
    check(r == SYNA_OK || r == SYNA_CANNOT_OPEN || r == SYNA_REJECTED);
    if (r < 0) {
        check(syna_error()[0] != 0);
        check(fingerprint() == before);
    }
    check_song_state();
}

int frames_left;

void play(int frames) {
    static short out[2 * 4096];
    if (frames > frames_left) frames = frames_left;
    if (frames <= 0) return;
    frames_left -= frames;
    syna_play(out, frames);
}

void control(const uint8_t *op, const uint8_t *end) {
    for (; end - op >= 5; op += 5) {
        const int a = (int8_t)op[1];
        const int b = (int8_t)op[2];
        int32_t word;
        memcpy(&word, op + 1, 4);
        switch (op[0] % 7) {
        case 0: {
            float volume;
            memcpy(&volume, op + 1, 4);
            syna_setvol(a % 32, volume);
            break;
        }
        case 1: syna_setbpm(word); break;
        case 2: syna_trig(a, b); break;
        case 3: syna_mute(a, b, op[3] & 1); break;
        case 4: syna_transpose(a, (int)(word >> 8)); break;
        case 5: play(((op[1] << 8) | op[2]) % 4096 + 1); break;
        case 6: play(1); break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    syna::reset();
    syna_init(44100);
    frames_left = 20000;
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const uint8_t *p = data + 1, *end = data + size;
    auto field = [&]() {
        const uint8_t *start = p;
        while (p < end && *p != 0) ++p;
        const uint8_t *stop = p;
        if (p < end) ++p;  // the separator
        return std::make_pair(start, stop);
    };
    const auto song1 = field();
    const auto ops = field();
    const auto song2 = std::make_pair(p, end);

    give_song(song1.first, (size_t)(song1.second - song1.first), flags & 1, flags & 4);
    play(4096);
    control(ops.first, ops.second);
    if (song2.first < song2.second || (flags & 8))
        give_song(song2.first, (size_t)(song2.second - song2.first), flags & 2, false);
    play(4096);
    play(4096);
    return 0;
}
