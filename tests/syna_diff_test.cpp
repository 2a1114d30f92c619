// syna_play against the plain frame-by-frame mixer (play_reference) on many
// random valid songs with live control between calls: the same bytes, the
// same printed rows and the same synthesizer state at the end, on every
// vector unit this processor has.
//
// KESTOVAR_DIFF_SONGS=N sets the number of random songs (default 300),
// KESTOVAR_DIFF_SEED=S the first seed (default 1), for longer runs on demand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "song.h"
#include "syna_helpers.h"
#include "syna_scenario.h"

using namespace syna;
using synatest::Outcome;
using synatest::Scenario;

namespace {

int env_int(const char *name, int fallback) {
    const char *v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

// Empty when both outcomes agree, else where and how they differ.
std::string compare(const Outcome &plain, const Outcome &fast) {
    if (!plain.loaded) return "the song was refused: " + std::string(syna_error());
    if (plain.samples.size() != fast.samples.size()) return "different lengths";
    for (size_t i = 0; i < plain.samples.size(); ++i) {
        if (plain.samples[i] == fast.samples[i]) continue;
        const int frame = static_cast<int>(i / 2);
        size_t call = 0;
        while (call + 1 < plain.calls.size() && plain.calls[call + 1] <= frame) ++call;
        return "frame " + std::to_string(frame) + (i % 2 ? " right" : " left") + ": plain " +
               std::to_string(plain.samples[i]) + ", fast " + std::to_string(fast.samples[i]) +
               " (render call " + std::to_string(call) + " from frame " +
               std::to_string(plain.calls[call]) + ")";
    }
    if (plain.printed != fast.printed) return "different printed rows";
    if (plain.state != fast.state) return "same bytes, different state at the end";
    return "";
}

void check_seeds(int first, int count, bool long_tails) {
    for (int seed = first; seed < first + count; ++seed) {
        const Scenario s = synatest::random_scenario(static_cast<uint32_t>(seed), long_tails);
        const Outcome plain = synatest::run_scenario(s, play_reference, true);
        const Outcome fast = synatest::run_scenario(s, syna_play, true);
        const std::string diff = compare(plain, fast);
        ASSERT_EQ(diff, "") << "seed " << seed << "\n" << synatest::describe(s);
    }
}

}  // namespace

TEST(SynaDiff, RandomSongs) {
    check_seeds(env_int("KESTOVAR_DIFF_SEED", 1), env_int("KESTOVAR_DIFF_SONGS", 300), false);
}

// The demo's own pre-render: 647 blocks of 8192 frames of the embedded song.
// Also the same bytes on every machine: the hash was taken on x86-64.
TEST(SynaDiff, EmbeddedSong) {
    const int block = 8192, blocks = 647;
    auto render = [&](synatest::Renderer play) {
        synatest::fresh();
        std::vector<char> text(biisi, biisi + biisi_length + 1);
        EXPECT_EQ(syna_get(text.data()), 0) << syna_error();
        std::vector<short> out(2 * static_cast<size_t>(block) * blocks);
        for (int k = 0; k < blocks; ++k)
            play(out.data() + 2 * static_cast<size_t>(block) * k, block);
        return out;
    };
    const std::vector<short> fast = render(syna_play);
    const std::vector<short> plain = render(play_reference);
    ASSERT_EQ(fast.size(), plain.size());
    for (size_t i = 0; i < fast.size(); ++i)
        ASSERT_EQ(fast[i], plain[i]) << "frame " << i / 2 << (i % 2 ? " right" : " left");
    EXPECT_EQ(synatest::fnv1a(fast), 0x5c40f4f01cd7b05dULL);
}

// Every vector width gives the same bytes: each unit against the plain path.
TEST(SynaDiff, EveryVectorUnit) {
    const auto targets = mix_targets();
    ASSERT_FALSE(targets.empty());
    for (const MixTarget &t : targets) {
        SCOPED_TRACE(t.name);
        pin_mix_target(t.id);
        check_seeds(100000, 25, false);
    }
    pin_mix_target(0);
}

// Twenty seconds of 28 channels of sparse notes with long echo and filter
// tails: rings and filters spend most of the time subnormal.
TEST(SynaDiff, LongTails) { check_seeds(500000, 2, true); }
