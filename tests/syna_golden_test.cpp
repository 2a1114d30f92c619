// Golden renders: every song of tests/songs/good and tests/songs/features is
// its own test. It renders the song (with the host calls of its "#@" lines)
// into a readable trace, one block per row (see syna_scenario.h), compares
// it with the song's .trace file, and holds syna_play to the plain mixer on
// the same song: bytes, printed rows and the state at the end, on every
// vector unit of this processor.
//
// KESTOVAR_UPDATE_GOLDEN=1 rewrites the .trace files when a change of the
// sound is intended.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "syna_helpers.h"
#include "syna_scenario.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDefaultFrames = 50000;

std::vector<std::string> songs() {
    std::vector<std::string> list;
    for (const char *dir : {"good", "features"})
        for (const auto &entry : fs::directory_iterator(fs::path(SYNA_SONGS_DIR) / dir))
            if (entry.path().extension() == ".song") list.push_back(entry.path().string());
    std::sort(list.begin(), list.end());
    return list;
}

// The first line where the traces differ, with the row block it belongs to.
std::string first_difference(const std::string &expected, const std::string &actual) {
    std::istringstream e(expected), a(actual);
    std::string le, la, block;
    for (int line = 1;; ++line) {
        const bool more_e = static_cast<bool>(std::getline(e, le));
        const bool more_a = static_cast<bool>(std::getline(a, la));
        if (!more_e && !more_a) return "";
        if (!more_e) le = "(end)";
        if (!more_a) la = "(end)";
        if (le.rfind("row", 0) == 0 || le.rfind("part", 0) == 0)
            block = le.substr(0, le.find(" mix"));
        if (le != la)
            return "line " + std::to_string(line) + " in block \"" + block +
                   "\"\n  expected: " + le + "\n  actual:   " + la;
    }
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, TraceAndPlainPath) {
    const fs::path song = GetParam();
    const synatest::Scenario s =
        synatest::scripted_scenario(synatest::read_file(song.string()), kDefaultFrames);

    const std::string actual = synatest::trace(s);
    fs::path expected_file = song;
    expected_file.replace_extension(".trace");
    const char *update = std::getenv("KESTOVAR_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        std::ofstream(expected_file, std::ios::binary) << actual;
    } else {
        ASSERT_TRUE(fs::exists(expected_file))
            << expected_file << " is missing; KESTOVAR_UPDATE_GOLDEN=1 writes it";
        const std::string diff =
            first_difference(synatest::read_file(expected_file.string()), actual);
        EXPECT_EQ(diff, "") << expected_file;
    }

    const synatest::Outcome plain = synatest::run_scenario(s, syna::play_reference, true);
    ASSERT_TRUE(plain.loaded) << syna_error();
    for (const syna::MixTarget &t : syna::mix_targets()) {
        SCOPED_TRACE(t.name);
        syna::pin_mix_target(t.id);
        const synatest::Outcome fast = synatest::run_scenario(s, syna_play, true);
        syna::pin_mix_target(0);
        EXPECT_TRUE(fast.samples == plain.samples);
        EXPECT_EQ(fast.printed, plain.printed);
        EXPECT_EQ(fast.state, plain.state);
    }
}

std::string test_name(const testing::TestParamInfo<std::string> &info) {
    const fs::path p = info.param;
    return p.parent_path().filename().string() + "_" + p.stem().string();
}

INSTANTIATE_TEST_SUITE_P(Songs, Golden, testing::ValuesIn(songs()), test_name);

}  // namespace
