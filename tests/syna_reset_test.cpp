// After any song, live control and refusal, syna_reset leaves the
// synthesizer as a new process has it: the whole state, and what it then
// renders, equal those of a separate process (syna_fresh_probe).
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <string>

#include "syna_helpers.h"

namespace {

using namespace syna;

const std::string kSong = SYNA_SONGS_DIR "/good/effects.song";
constexpr int kFrames = 200000;

std::string probe() {
    const std::string command =
        std::string(SYNA_FRESH_PROBE) + " " + kSong + " " + std::to_string(kFrames);
    std::FILE *p = popen(command.c_str(), "r");
    if (!p) return "popen failed";
    std::string text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) text += buf;
    const int status = pclose(p);
    if (status != 0) text += "exit status " + std::to_string(status);
    return text;
}

std::string line(const char *what, uint64_t value) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %016" PRIx64 "\n", what, value);
    return text;
}

TEST(SynaReset, StateAndRenderEqualAFreshProcess) {
    // Leave as much behind as a host can: another rate, a busy song with
    // live control, a pinned vector unit, a pending tempo, an error text.
    syna_set_row_print(nullptr);
    syna_init(48000);
    ASSERT_EQ(synatest::load(synatest::read_file(SYNA_SONGS_DIR "/bound/busy.song")), SYNA_OK);
    const auto targets = mix_targets();
    pin_mix_target(targets.back().id);
    synatest::render(30000);
    syna_mute(2, 1, 1);
    syna_transpose(3, 5);
    syna_trig(1, 40);
    syna_setvol(4, 0.25f);
    synatest::render(7000);
    syna_setbpm(90);
    ASSERT_EQ(synatest::load("bpm:x\n"), SYNA_REJECTED);

    syna_reset();
    std::string here = line("start", synatest::state_fingerprint(true));
    syna_init(44100);
    ASSERT_EQ(synatest::load(synatest::read_file(kSong)), SYNA_OK);
    here += line("render", synatest::fnv1a(synatest::render(kFrames)));
    here += line("end", synatest::state_fingerprint(true));
    syna_set_row_print(syna_print_row);

    EXPECT_EQ(here, probe());
}

}  // namespace
