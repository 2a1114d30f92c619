// A recorded show: every GL call of chosen frames, with the vertices,
// colours and normals each draw reads, and for every tenth frame the scene's
// state and a digest of what each draw reads, compared as text with
// tests/scene_golden.txt. Floats are
// written in their shortest exact form, so equal text is bit-equal.
//
// The show runs over a made-up, loud song at 20 frames a second, with the
// audio clock in whole 8192-frame callback blocks as in playback, from the
// first frame to the one that sets `quit`. When a change of the picture is
// intended, KESTOVAR_UPDATE_GOLDEN=1 rewrites the file (then look at the diff).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "glrec.h"
#include "scene_internal.h"
#include "show.h"
#include "syna.h"

namespace {

const char *const kGolden = SCENE_GOLDEN_FILE;

// Frames whose whole call list is kept: the first, one in bar 45 (trace,
// tremble, negative tension), one in bar 50 (flower only) and the last.
bool full_frame(int ms, bool last) { return ms == 0 || ms == 87000 || ms == 97000 || last; }

// Deterministic audio with something to show on both channels: a sawtooth
// under a slow swell on the left, noise on the right, full scale now and then.
void fill_mixed() {
    uint32_t x = 12345u;
    for (int i = 0; i < SHOW_FRAMES; i++) {
        x = x * 1664525u + 1013904223u;
        const int saw = (i * 97) % 65536 - 32768;  // -32768 .. 32767
        const int swell = (i >> 15) % 9;           // 0 .. 8 eighths
        mixed[2 * i] = (int16_t)(saw * swell / 8);
        mixed[2 * i + 1] = (int16_t)(x >> 16);
    }
}

void reset_scene() {
    scene_reset();
    syna_counter = 0;
    glrec_clear();
}

// Pieces appended one by one: GCC 12 warns falsely (-Wrestrict) on chains
// of std::string operator+.
template <typename... Parts>
std::string cat(const Parts &...parts) {
    std::string out;
    (out.append(parts), ...);
    return out;
}

std::string floats(const float *f, int n) {
    std::string out;
    for (int i = 0; i < n; i++) {
        out += ' ';
        out += glrec_float(f[i]);
    }
    return out;
}

// FNV-1a over the bits of the floats.
uint64_t fnv1a(const std::vector<float> &v, uint64_t h = 1469598103934665603ull) {
    for (float f : v) {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        for (int b = 0; b < 4; b++) {
            h ^= (bits >> (8 * b)) & 0xffu;
            h *= 1099511628211ull;
        }
    }
    return h;
}

// Index of the first earlier draw of this frame that read exactly what draw
// i reads, or i.
size_t first_same_draw(const std::vector<GlCall> &calls, size_t i) {
    const GlCall &c = calls[i];
    for (size_t j = 0; j < i; j++) {
        const GlCall &d = calls[j];
        if (d.name == c.name && d.arrays == c.arrays && d.data == c.data && d.colors == c.colors &&
            d.normals == c.normals)
            return j;
    }
    return i;
}

// For frames kept short: a digest of what each draw with new data reads.
std::string draw_digests() {
    const auto &calls = glrec_calls();
    std::string out;
    for (size_t i = 0; i < calls.size(); i++) {
        if (calls[i].name != "glDrawArrays" || first_same_draw(calls, i) != i) continue;
        const GlCall &c = calls[i];
        char text[40];
        std::snprintf(text, sizeof text, " %016llx",
                      (unsigned long long)fnv1a(c.normals, fnv1a(c.colors, fnv1a(c.data))));
        out += cat(" call ", std::to_string(i), text);
    }
    return out;
}

// The show as text, one line per entry.
std::vector<std::string> record_show() {
    const GlrecName names[] = {
        {scope_vertices, "scope_vertices"}, {scope_colors, "scope_colors"},
        {petal_vertices, "petal_vertices"}, {petal_normals, "petal_normals"},
        {petal_lines, "petal_lines"},       {light_ambient, "light_ambient"},
    };
    std::vector<std::string> out;
    reset_scene();
    fill_mixed();
    int frame = 0;
    for (int ms = 0; !quit; ms += 50, frame++) {
        const int counter = (int)(ms * 44.1) / SHOW_BLOCK_FRAMES * SHOW_BLOCK_FRAMES;
        syna_counter = counter;
        glrec_clear();
        const int drawn = osa(ms);
        const bool last = quit != 0;
        if (frame % 10 != 0 && !last && !full_frame(ms, last)) continue;

        out.push_back(cat("frame ", std::to_string(frame), " ms ", std::to_string(ms), " counter ",
                          std::to_string(counter), ": returns ", std::to_string(drawn), " beat ",
                          std::to_string(beat), " quit ", std::to_string(quit), " max_sample ",
                          glrec_float(max_sample), " spin_angle ", glrec_float(spin_angle),
                          " timef ", glrec_float(timef)));
        out.push_back(cat("  paramf", floats(paramf, 10)));
        if (!full_frame(ms, last)) {
            out.push_back(cat("  draw digests:", draw_digests()));
            continue;
        }

        out.push_back("  petal_profile after the build (x y w per point):");
        for (int n = 0; n < PETAL_POINTS; n++)
            out.push_back(cat("  [", std::to_string(n), "]", floats(&petal_profile[3 * n], 3)));
        const auto &calls = glrec_calls();
        for (size_t i = 0; i < calls.size(); i++) {
            const GlCall &c = calls[i];
            out.push_back(cat("call ", std::to_string(i), " ", glrec_text(c, names)));
            // A draw that reads exactly what an earlier one of this frame
            // read says so instead of repeating it.
            const size_t same = c.name == "glDrawArrays" ? first_same_draw(calls, i) : i;
            if (same != i) {
                out.push_back(cat("  same arrays as call ", std::to_string(same)));
                continue;
            }
            for (std::string &line : glrec_array_lines(c)) out.push_back(std::move(line));
        }
    }
    out.push_back(cat("end after ", std::to_string(frame), " frames"));
    std::memset(mixed, 0, sizeof mixed);
    reset_scene();
    return out;
}

std::vector<std::string> read_lines(const char *path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Where line i of the recorded show belongs: its frame and its call.
std::string place(const std::vector<std::string> &got, size_t i) {
    std::string frame = "before the first frame", call;
    for (size_t j = 0; j <= i && j < got.size(); j++) {
        if (got[j].rfind("frame ", 0) == 0) {
            frame = got[j].substr(0, got[j].find(':'));
            call.clear();
        } else if (got[j].rfind("call ", 0) == 0) {
            call = got[j];
        }
    }
    return call.empty() ? frame : cat(frame, ", ", call);
}

TEST(SceneGolden, RecordedShowMatches) {
    const std::vector<std::string> got = record_show();
    const char *update = std::getenv("KESTOVAR_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream out(kGolden, std::ios::binary);
        for (const std::string &line : got) out << line << '\n';
        ASSERT_TRUE(out.good()) << "cannot write " << kGolden;
        GTEST_SKIP() << "rewrote " << kGolden;
    }
    const std::vector<std::string> want = read_lines(kGolden);
    ASSERT_FALSE(want.empty()) << kGolden << " is missing or empty";

    int reported = 0;
    for (size_t i = 0; i < got.size() && i < want.size() && reported < 8; i++) {
        if (got[i] == want[i]) continue;
        ADD_FAILURE() << "line " << i + 1 << " of " << kGolden << ", in " << place(got, i)
                      << "\n  got:  " << got[i] << "\n  want: " << want[i];
        reported++;
    }
    EXPECT_EQ(got.size(), want.size()) << "the recorded show has a different length; last line "
                                       << (got.empty() ? "" : got.back());
}

}  // namespace
