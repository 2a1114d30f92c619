// Song text parsing: the format's quirks on valid songs, and the corpus of
// bad songs, each refused with its expected error and without harm.
#include <gtest/gtest.h>

#include <filesystem>

#include "syna_helpers.h"

using namespace syna;
using synatest::fresh;
using synatest::load;

namespace {
std::vector<int> pattern(int p) {
    return std::vector<int>(patterns[p], patterns[p] + end_index(patterns[p]) + 1);
}
std::vector<int> track(int t) {
    return std::vector<int>(tracks[t], tracks[t] + end_index(tracks[t]) + 1);
}
}  // namespace

TEST(SynaParse, CellsAndEntries) {
    fresh();
    ASSERT_EQ(load("bpm:125\np3:c4,vol,50,D4\np1:0\np7:c7,h1,c4\np2:c4,,d4,sld,-10\n"
                   "p4:C1,G4,b6,echo1,echo0,stop,00,Echo1\n"
                   "p6:c1\nt2:p6,p6,loop\nt3:x6\n"),
              0)
        << syna_error();
    EXPECT_EQ(pattern(3), (std::vector<int>{36, 75, 50, 39, -2}));
    EXPECT_EQ(pattern(1), (std::vector<int>{77, -2}));
    EXPECT_EQ(pattern(7), (std::vector<int>{77, 77, 36, -2}));
    EXPECT_EQ(pattern(2), (std::vector<int>{36, 38, 76, -10, -2}));  // empty fields vanish
    EXPECT_EQ(pattern(4), (std::vector<int>{1, 44, 71, 72, 73, 74, 77, 77, -2}));
    EXPECT_EQ(track(2), (std::vector<int>{6, 6, -3, -2}));
    EXPECT_EQ(track(3), (std::vector<int>{6, -2}));
    // A second line overwrites from entry 0 and keeps what lies past its end mark.
    ASSERT_EQ(load("p4:c1\n"), 0);
    EXPECT_EQ(patterns[4][0], 0);
    EXPECT_EQ(patterns[4][1], -2);
    EXPECT_EQ(patterns[4][2], 71);
}

TEST(SynaParse, LinesKeysAndBlanks) {
    fresh();
    ASSERT_EQ(load("bpm:128"), 0);
    const uint64_t before = synatest::state_fingerprint();
    // A text without a single line is no song; one of comments and ignored
    // keys changes nothing (the tempo comes from the song before).
    EXPECT_EQ(load(""), kRejected);
    EXPECT_STREQ(syna_error(), "empty song");
    EXPECT_EQ(load("\n\n \r\n  \n"), kRejected);
    EXPECT_STREQ(syna_error(), "empty song");
    EXPECT_EQ(load("  #note\nbpmx:130\n;i6:saha,2,3,1,10000,00,0\n:::\nb:1\nx1:kantti"), 0);
    EXPECT_EQ(synatest::state_fingerprint(), before);

    // Leading ':' characters are skipped, blanks removed everywhere.
    ASSERT_EQ(load("::p 5 : c 4 , d4\n"), 0);
    EXPECT_EQ(pattern(5), (std::vector<int>{36, 38, -2}));

    // Pan and low-pass: absent fields keep the slot's values, even those an
    // earlier line of the slot set.
    ASSERT_EQ(load("bpm:125\ni3:kohina,2,5,1,2300,0,-2"), 0);
    EXPECT_EQ(chan_pan[3], 0.4f);
    EXPECT_EQ(chan_lowpass[3], 0.0f);
    ASSERT_EQ(load("bpm:125\ni3:kohina,2,5,1,2300,0,-2,100,50\ni3:kohina,2,5,1,2300,0,-2"), 0);
    EXPECT_EQ(chan_pan[3], 1.0f);
    EXPECT_EQ(chan_lowpass[3], 0.5f);
    EXPECT_EQ(inst_length[3], 2309);
    EXPECT_EQ(echo_line[3].size(), 15876u);
}

TEST(SynaParse, CrLfAndLineLimit) {
    const std::string lf = "bpm:125\ni1:sini,2,13,30,3700,0,-60\np1:c4,d4\nt1:p1,loop\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    fresh();
    ASSERT_EQ(load(lf), 0);
    const uint64_t a = synatest::state_fingerprint();
    fresh();
    ASSERT_EQ(load(crlf), 0);
    EXPECT_EQ(synatest::state_fingerprint(), a);

    // Of 1200 lines only the first 1000 count: line 1001 would be refused.
    fresh();
    std::string text = "bpm:125\n";
    for (int i = 0; i < 998; ++i) text += "#c\n";
    text += "p9:c4\nbpm:1\n";
    for (int i = 0; i < 199; ++i) text += "p9:d4\n";
    ASSERT_EQ(load(text), 0) << syna_error();
    EXPECT_EQ(pattern(9), (std::vector<int>{36, -2}));
}

TEST(SynaParse, ErrorNamesOriginalLine) {
    fresh();
    // Blank lines and CR-LF ends still count as lines a person sees.
    EXPECT_LT(load("bpm:125\r\n\r\n  \r\ni1:sinus,1,1,1,1,0\r\n"), 0);
    EXPECT_STREQ(syna_error(), "line 4: unknown waveform \"sinus\"");
    EXPECT_EQ(load("bpm:125"), 0);
    EXPECT_STREQ(syna_error(), "");
    EXPECT_EQ(syna_load("/nonexistent/song.txt"), kCannotOpen);
    EXPECT_NE(std::string(syna_error()).find("cannot open"), std::string::npos);
}

// Every file in songs/bad starts with "# expect: <error>". Each is loaded on
// a fresh synthesizer and, for harm, on top of a playing song.
TEST(SynaParse, BadSongCorpus) {
    namespace fs = std::filesystem;
    const std::string base = synatest::read_file(SYNA_SONGS_DIR "/good/nine.song");
    int count = 0, refused_on_top = 0;
    for (const auto &entry : fs::directory_iterator(SYNA_SONGS_DIR "/bad")) {
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        const std::string text = synatest::read_file(path);
        const std::string tag = "# expect: ";
        ASSERT_EQ(text.compare(0, tag.size(), tag), 0);
        const std::string expected = text.substr(tag.size(), text.find('\n') - tag.size());

        fresh();
        uint64_t before = synatest::state_fingerprint();
        EXPECT_EQ(syna_load(path.c_str()), kRejected);
        EXPECT_EQ(syna_error(), expected);
        EXPECT_EQ(synatest::state_fingerprint(), before);
        ++count;

        fresh();
        ASSERT_EQ(load(base), 0) << syna_error();
        synatest::render(3000);
        before = synatest::state_fingerprint();
        // Two faults (no tempo, no instrument) are mended by the song below.
        if (syna_load(path.c_str()) >= 0) continue;
        ++refused_on_top;
        EXPECT_EQ(synatest::state_fingerprint(), before);
        std::vector<short> after = synatest::render(6000);
        fresh();
        ASSERT_EQ(load(base), 0);
        synatest::render(3000);
        EXPECT_EQ(after, synatest::render(6000));
    }
    EXPECT_GE(count, 30);
    EXPECT_EQ(refused_on_top, count - 2);
}
