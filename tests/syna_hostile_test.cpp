// Hostile input: the limits on song text, memory and sample rate, the file
// loader on things that are not song files, a second song rewriting what a
// channel is playing, and live control with values that could spoil the mix.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "syna_helpers.h"

using namespace syna;
using synatest::fresh;
using synatest::load;
using synatest::render;

namespace {

// 200000 bpm: 3-frame rows.
const std::string kTiny = "bpm:200000\ni1:saha,1,0,100,1,0\n";

std::string repeat(const std::string &cell, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? "," : "") + cell;
    return s;
}

// A file in a private directory, removed with it.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/syna-hostile-XXXXXX";
        dir_ = mkdtemp(tmpl) ? tmpl : "";
    }
    ~TempDir() {
        if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    std::string write(const std::string &name, const std::string &bytes) const {
        const std::string path = dir_ + "/" + name;
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }
    const std::string &path() const { return dir_; }

private:
    std::string dir_;
};

}  // namespace

// A second song that rewrites the pattern a channel is in the middle of must
// not let the sequencer run past the pattern's end mark. Here the channel
// has played index 97 of a 99-cell pattern; the new pattern puts a "vol"
// parameter of 75 (the code of "vol") at index 98, which a channel resuming
// at 98 would take for a "vol" cell, read the end mark as its parameter and
// walk on to index 100.
TEST(SynaSecondSong, ChannelNeverWalksPastTheEndMark) {
    fresh();
    ASSERT_EQ(load(kTiny + "p1:" + repeat("c4", 99) + "\np2:d4\nt1:p1,p2,loop\n"), 0);
    render(1 + 3 * 97);
    ASSERT_EQ(track_pos[1], 0);
    ASSERT_EQ(pattern_pos[1], 97);
    ASSERT_EQ(load("p1:" + repeat("c4", 97) + ",vol,75\n"), 0) << syna_error();
    for (int row = 0; row < 300; ++row) {
        render(3);
        const int p = tracks[1][track_pos[1]];
        ASSERT_GE(pattern_pos[1], 0);
        ASSERT_LT(pattern_pos[1], end_index(patterns[p])) << "row " << row;
        ASSERT_TRUE(chan_vol[1] == 1.0f || chan_vol[1] == 0.75f) << chan_vol[1] << " row " << row;
    }

    // A parameter of -2 is no end mark: a channel stopped before the cell
    // after it keeps its place and plays that cell next.
    fresh();
    ASSERT_EQ(load(kTiny + "p1:c4,c4,c4,c4\np2:d4\nt1:p1,p2,loop\n"), 0);
    render(1 + 3 * 2);
    ASSERT_EQ(pattern_pos[1], 2);
    ASSERT_EQ(load("p1:c4,sld,-2,e4,c4\n"), 0);
    render(3);
    EXPECT_EQ(track_pos[1], 0);
    EXPECT_EQ(pattern_pos[1], 3);
    EXPECT_EQ(chan_step[1], static_cast<float>(note_freq[40]) * (1.0f / 262.0f));
}

// Song text must be text of a bounded size, whatever entry point it takes.
TEST(SynaLimits, SongTextSizeAndBytes) {
    fresh();
    // Exactly the limit is accepted, one byte more is not, on both entries.
    std::string text = "bpm:125\n#";
    text += std::string(SYNA_MAX_SONG_BYTES - text.size() - 1, 'x') + "\n";
    ASSERT_EQ(text.size(), static_cast<size_t>(SYNA_MAX_SONG_BYTES));
    EXPECT_EQ(load(text), 0) << syna_error();
    EXPECT_EQ(syna_getn(text.data(), text.size()), 0) << syna_error();
    text += "x";
    const uint64_t before = synatest::state_fingerprint();
    EXPECT_EQ(load(text), SYNA_REJECTED);
    EXPECT_STREQ(syna_error(), "song text longer than 1048576 bytes");
    EXPECT_EQ(syna_getn(text.data(), text.size()), SYNA_REJECTED);
    EXPECT_STREQ(syna_error(), "song text longer than 1048576 bytes");

    // syna_getn needs no NUL at the end and refuses one inside.
    const std::string song = "bpm:128\ni1:saha,1,0,100,1,0\np1:c4\nt1:p1,loop\n";
    const std::string cut = song.substr(0, 23) + '\0' + song.substr(23);
    EXPECT_EQ(syna_getn(cut.data(), cut.size()), SYNA_REJECTED);
    EXPECT_STREQ(syna_error(), "line 2: NUL byte inside the song text");
    EXPECT_EQ(synatest::state_fingerprint(), before);
    const std::string longer = song + "t1:p1,p1,loop\n";
    ASSERT_EQ(syna_getn(longer.data(), song.size()), 0) << syna_error();
    EXPECT_EQ(row_samples, 5188);
    EXPECT_EQ(tracks[1][1], kLoop);

    // Control characters mean binary data; tab, VT, FF and CR are text.
    std::string binary =
        "bpm:125\n\x7f"
        "ELF\x02\x01\x01\n";
    EXPECT_EQ(load(binary), SYNA_REJECTED);
    EXPECT_STREQ(syna_error(), "line 2: control character 0x7f: not song text");
    EXPECT_EQ(load("bpm:128\n#\t\v\f\r\n"), 0) << syna_error();
    EXPECT_EQ(syna_getn(nullptr, 0), SYNA_REJECTED);
    EXPECT_STREQ(syna_error(), "empty song");
}

// The loader reads at most one byte past the limit and trusts no length.
TEST(SynaLimits, LoaderOnThingsThatAreNotSongFiles) {
    fresh();
    ASSERT_EQ(load("bpm:125\ni1:saha,1,0,100,1,0\np1:c4\nt1:p1,loop\n"), 0);
    const uint64_t before = synatest::state_fingerprint();
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());

    EXPECT_EQ(syna_load(dir.path().c_str()), SYNA_CANNOT_OPEN);
    EXPECT_EQ(std::string(syna_error()), "cannot read " + dir.path() + ": Is a directory");
    EXPECT_EQ(syna_load("/dev/zero"), SYNA_REJECTED);  // endless: stops at the limit
    EXPECT_STREQ(syna_error(), "song text longer than 1048576 bytes");
    EXPECT_EQ(syna_load(dir.write("empty.song", "").c_str()), SYNA_REJECTED);
    EXPECT_STREQ(syna_error(), "empty song");
    EXPECT_EQ(syna_load(dir.write("cut.song", std::string("bpm:130\n\0p1:d4\n", 15)).c_str()),
              SYNA_REJECTED);
    EXPECT_STREQ(syna_error(), "line 2: NUL byte inside the song text");
    EXPECT_EQ(synatest::state_fingerprint(), before);

    fresh();
    EXPECT_EQ(syna_load(dir.write("comments.song", "# only a comment\n").c_str()), SYNA_REJECTED);
    EXPECT_STREQ(syna_error(), "song has no tempo line");
}

// Instrument samples and echo lines share one cap, counted over every slot
// as the song leaves it, earlier songs' instruments included.
TEST(SynaLimits, MemoryCap) {
    fresh();
    // One instrument that fills the cap exactly with its 15876-float echo line.
    const int release = SYNA_MAX_SAMPLE_FLOATS - 15876 - 2;
    const std::string full = "i1:saha,1,0,0," + std::to_string(release) + ",0\n";
    ASSERT_EQ(load("bpm:125\n" + full), 0) << syna_error();
    EXPECT_EQ(inst_sample[1].size() + echo_line[1].size(),
              static_cast<size_t>(SYNA_MAX_SAMPLE_FLOATS));
    const uint64_t before = synatest::state_fingerprint();
    // Another slot on top is one too many; replacing slot 1 is not.
    EXPECT_EQ(load("\n\ni2:saha,0,0,0,0,0\n"), SYNA_REJECTED);
    EXPECT_STREQ(syna_error(),
                 "line 3: instruments and echo lines need 4210181 floats, more than the "
                 "4194304 (16 MiB) allowed");
    EXPECT_EQ(synatest::state_fingerprint(), before);
    EXPECT_EQ(load("i1:saha,1,0,0,9,0\ni2:saha,0,0,0,0,0\n"), 0) << syna_error();
    EXPECT_EQ(inst_length[1], 11);

    // One float over the cap in a single line.
    fresh();
    EXPECT_EQ(load("bpm:125\ni1:saha,1,0,0," + std::to_string(release + 1) + ",0\n"),
              SYNA_REJECTED);
    EXPECT_STREQ(syna_error(),
                 "line 2: instruments and echo lines need 4194305 floats, more than the "
                 "4194304 (16 MiB) allowed");
    EXPECT_TRUE(inst_sample[1].empty());
}

TEST(SynaLimits, SampleRateRange) {
    const std::string song = "bpm:125\ni1:saha,1,0,100,1,0\np1:c4\nt1:p1,loop\n";
    for (int rate : {SYNA_MIN_RATE - 1, SYNA_MAX_RATE + 1, 0, -44100, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(rate);
        fresh();
        ASSERT_EQ(load(song), 0);
        syna_init(rate);
        EXPECT_TRUE(wave_tables[3].empty());  // nothing allocated
        EXPECT_EQ(load(song), SYNA_REJECTED);
        EXPECT_EQ(std::string(syna_error()), "sample rate " + std::to_string(rate) +
                                                 " outside 8000..192000 was refused by syna_init");
        for (short s : render(20000)) ASSERT_EQ(s, 0);
        syna_setbpm(125);
        EXPECT_EQ(pending_row_samples, kNoPendingTempo);
        syna_init(44100);  // a good rate afterwards works as usual
        EXPECT_EQ(load(song), 0) << syna_error();
    }
    for (int rate : {SYNA_MIN_RATE, SYNA_MAX_RATE}) {
        fresh(rate);
        ASSERT_EQ(load(song), 0) << syna_error();
        EXPECT_EQ(wave_length, rate / 262);
        EXPECT_EQ(row_samples, 6 * rate / 50);
        bool heard = false;
        for (short s : render(rate / 10)) heard |= s != 0;
        EXPECT_TRUE(heard);
    }
    reset();
    EXPECT_EQ(load(song), SYNA_REJECTED);
    EXPECT_STREQ(syna_error(), "syna_init has not been called");
}

// Channel 1 pans fully left, so the right side carries channel 2 alone: a
// bad volume on channel 1 must leave it exactly as it was.
TEST(SynaLiveControl, VolumeCannotSilenceOtherChannels) {
    const std::string song =
        "bpm:125\ni1:saha,2,4,1,19000,0,0,100\ni2:sini,2,4,1,19000,0,0\n"
        "p1:c4,0,0,0\nt1:p1,loop\nt2:p1,loop\n";
    fresh();
    ASSERT_EQ(load(song), 0);
    const std::vector<short> plain = render(6000);
    for (float bad : {NAN, INFINITY, -INFINITY, FLT_MAX, -FLT_MAX, 1e30f}) {
        SCOPED_TRACE(bad);
        fresh();
        ASSERT_EQ(load(song), 0);
        syna_setvol(1, bad);
        EXPECT_TRUE(std::isfinite(chan_vol[1]));
        EXPECT_LE(std::fabs(chan_vol[1]), 21474836.47f);
        const std::vector<short> out = render(6000);
        bool channel1_heard = false;
        for (size_t f = 0; f < plain.size(); f += 2) {
            ASSERT_EQ(out[f + 1], plain[f + 1]) << "frame " << f / 2;
            channel1_heard |= out[f] != 0;
        }
        EXPECT_TRUE(channel1_heard);
    }
    // Ordinary values are stored unchanged, negative ones included.
    syna_setvol(1, -0.5f);
    EXPECT_EQ(chan_vol[1], -0.5f);
}
