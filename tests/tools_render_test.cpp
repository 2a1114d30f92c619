// Runs the built syna-render and checks its files, its table and its failures.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <math.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Result {
    int status = -1;  // exit code, or -1 when the program did not exit normally
    std::string out, err;
};

std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void spit(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/syna-render-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    // Starts the tool with standard output and error in files of the test
    // directory (standard output appended to `out` when given).
    pid_t start(std::vector<std::string> args, const std::string &out = "") {
        const std::string err = path("stderr");
        const bool append = !out.empty();
        const std::string out_path = append ? out : path("stdout");
        pid_t pid = fork();
        if (pid == 0) {
            int o =
                open(out_path.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
            int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1);
            dup2(e, 2);
            std::vector<char *> argv{const_cast<char *>(SYNA_RENDER)};
            for (auto &a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(SYNA_RENDER, argv.data());
            _exit(127);
        }
        return pid;
    }

    Result finish(pid_t pid) {
        Result r;
        int status = 0;
        waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(path("stdout"));
        r.err = slurp(path("stderr"));
        return r;
    }

    Result run(std::vector<std::string> args, const std::string &out = "") {
        return finish(start(std::move(args), out));
    }

    // Names in the test directory, hidden ones included.
    std::vector<std::string> names() const {
        std::vector<std::string> list;
        if (DIR *d = opendir(dir_.c_str())) {
            while (dirent *e = readdir(d))
                if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                    list.push_back(e->d_name);
            closedir(d);
        }
        return list;
    }

    std::string dir_;
};

uint32_t le32(const std::string &s, size_t at) {
    return (uint32_t)(uint8_t)s[at] | (uint32_t)(uint8_t)s[at + 1] << 8 |
           (uint32_t)(uint8_t)s[at + 2] << 16 | (uint32_t)(uint8_t)s[at + 3] << 24;
}
uint16_t le16(const std::string &s, size_t at) {
    return (uint16_t)((uint8_t)s[at] | (uint8_t)s[at + 1] << 8);
}

// Two channels: a sine note every four rows on channel 1 (at the given
// volume in percent), nothing but rests on channel 2.
std::string two_channel_song(int volume) {
    return "bpm:125\n"
           "i1:sini,2,13,30,3700,0,0\n"
           "i2:saha,2,5,1,3000,0,0\n"
           "p1:vol," +
           std::to_string(volume) +
           ",c4,0,0,0,c4,0,0,0,c4,0,0,0\n"
           "p2:0,0,0,0\n"
           "t1:p1,loop\n"
           "t2:p2,loop\n";
}

TEST_F(RenderTool, WavHeaderAndRawDataAgree) {
    Result w = run({"-n", "10000", "-o", path("a.wav")});
    ASSERT_EQ(w.status, 0) << w.err;
    EXPECT_NE(w.err.find("wrote 10000 frames"), std::string::npos) << w.err;
    EXPECT_NE(w.err.find(path("a.wav")), std::string::npos) << w.err;
    const std::string wav = slurp(path("a.wav"));
    ASSERT_EQ(wav.size(), 44u + 40000u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(wav, 4), 36u + 40000u);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 16), 16u);
    EXPECT_EQ(le16(wav, 20), 1u);       // PCM
    EXPECT_EQ(le16(wav, 22), 2u);       // stereo
    EXPECT_EQ(le32(wav, 24), 44100u);   // rate
    EXPECT_EQ(le32(wav, 28), 176400u);  // bytes per second
    EXPECT_EQ(le16(wav, 32), 4u);       // bytes per frame
    EXPECT_EQ(le16(wav, 34), 16u);      // bits
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(le32(wav, 40), 40000u);

    Result r = run({"--raw", "-n", "10000", "-o", path("a.raw")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string raw = slurp(path("a.raw"));
    ASSERT_EQ(raw.size(), 40000u);
    EXPECT_EQ(raw, wav.substr(44));

    // A longer render continues the shorter one across the block boundary,
    // and reaches bar 4, where the built-in song's first notes sound.
    Result l = run({"--raw", "-n", "400000", "-o", path("b.raw")});
    ASSERT_EQ(l.status, 0) << l.err;
    const std::string longer = slurp(path("b.raw"));
    ASSERT_EQ(longer.size(), 1600000u);
    EXPECT_EQ(longer.substr(0, 40000), raw);
    EXPECT_NE(longer.find_first_not_of('\0'), std::string::npos) << "the built-in song is silent";
}

TEST_F(RenderTool, StatsLeaveTheAudioAloneAndMeasureIt) {
    spit(path("song.txt"), two_channel_song(500));  // five times too loud: clips
    Result plain = run({"-n", "20000", "-o", path("plain.wav"), path("song.txt")});
    ASSERT_EQ(plain.status, 0) << plain.err;
    Result stats = run({"--stats", "-n", "20000", "-o", path("stats.wav"), path("song.txt")});
    ASSERT_EQ(stats.status, 0) << stats.err;
    const std::string wav = slurp(path("stats.wav"));
    EXPECT_EQ(wav, slurp(path("plain.wav")));

    // 20000 frames lie inside bar 0 (a bar is 16 x 5292 frames).
    long long clipped = 0;
    double sumsq = 0;
    for (size_t at = 44; at + 1 < wav.size(); at += 2) {
        int16_t v = (int16_t)le16(wav, at);
        clipped += v == 32766 || v == -32766;
        sumsq += (double)v * v;
    }
    ASSERT_GT(clipped, 0);
    char rms[32];
    snprintf(rms, sizeof rms, "%.1f", 20 * log10(sqrt(sumsq / 40000) / 32768));

    std::istringstream table(stats.out);
    std::string line, bar0;
    bool header = false;
    while (std::getline(table, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "bar")
            header = line.find("ch1") != std::string::npos &&
                     line.find("ch2") != std::string::npos && line.find("ch3") == std::string::npos;
        if (first == "0") bar0 = line;
    }
    EXPECT_TRUE(header) << stats.out;
    std::istringstream cols(bar0);
    std::string bar, mix, ch1, ch2, clip;
    cols >> bar >> mix >> ch1 >> ch2 >> clip;
    EXPECT_EQ(mix, rms) << stats.out;
    EXPECT_EQ(ch1, rms) << "channel 1 alone is the whole mix\n" << stats.out;
    EXPECT_EQ(ch2, "-inf") << stats.out;
    EXPECT_EQ(clip, std::to_string(clipped)) << stats.out;
    EXPECT_NE(stats.out.find("clipped samples: " + std::to_string(clipped) + " of 40000"),
              std::string::npos)
        << stats.out;
}

TEST_F(RenderTool, FailuresExitNonZeroWithAMessage) {
    Result missing = run({"-o", path("x.wav"), path("missing.txt")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("syna-render: " + path("missing.txt") + ": No such file"),
              std::string::npos)
        << missing.err;
    EXPECT_FALSE(exists(path("x.wav")));

    Result folder = run({"-o", path("x.wav"), dir_});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("syna-render: " + dir_ + ": "), std::string::npos) << folder.err;

    // Track 2 has no instrument line.
    spit(path("bad.txt"), "bpm:125\ni1:sini,2,13,30,3700,0,0\np1:c4\nt1:p1,loop\nt2:p1,loop\n");
    Result rejected = run({"-n", "100", "-o", path("x.wav"), path("bad.txt")});
    EXPECT_EQ(rejected.status, 1);
    const std::string prefix = "syna-render: " + path("bad.txt") + ": rejected: ";
    EXPECT_EQ(rejected.err.rfind(prefix, 0), 0u) << rejected.err;
    EXPECT_GT(rejected.err.size(), prefix.size() + 1) << "no reason given";
    EXPECT_FALSE(exists(path("x.wav")));

    Result nodir = run({"-n", "100", "-o", path("no/such/dir.wav")});
    EXPECT_EQ(nodir.status, 1);
    EXPECT_NE(nodir.err.find("syna-render: " + path("no/such/dir.wav") + ": "), std::string::npos)
        << nodir.err;

    // The longest name a folder takes: the temporary name beside it is short.
    const std::string longest = path(std::string(255, 'n'));
    Result named = run({"-n", "100", "-o", longest});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_TRUE(exists(longest));

    Result full = run({"-n", "100000", "-o", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("write failed"), std::string::npos) << full.err;
    EXPECT_EQ(full.err.find("wrote"), std::string::npos) << full.err;

    EXPECT_EQ(run({"--bogus"}).status, 2);
    EXPECT_EQ(run({"-n", "12x"}).status, 2);
    EXPECT_EQ(run({"-n", "-1"}).status, 2);
    EXPECT_EQ(run({"a.txt", "b.txt"}).status, 2);
}

}  // namespace

namespace {

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

// The song file is never the output, however it is named.
TEST_F(RenderTool, NeverOverwritesItsInput) {
    const std::string song = two_channel_song(50);
    spit(path("song.txt"), song);
    ASSERT_EQ(link(path("song.txt").c_str(), path("hard.txt").c_str()), 0);
    ASSERT_EQ(symlink(path("song.txt").c_str(), path("soft.wav").c_str()), 0);
    for (const std::string out : {"song.txt", "hard.txt", "soft.wav", "./song.txt"}) {
        SCOPED_TRACE(out);
        Result r = run({"-n", "1000", "-o", path(out), path("song.txt")});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(r.err, "is the song file itself; not overwritten")) << r.err;
        EXPECT_FALSE(contains(r.err, "wrote")) << r.err;
    }
    // Standard output appended to the song file.
    Result r = run({"-n", "1000", "-o", "-", path("song.txt")}, path("song.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "standard output is the song file itself")) << r.err;
    EXPECT_EQ(slurp(path("song.txt")), song);
    EXPECT_EQ(names().size(), 5u);  // song, hard, soft, stdout, stderr: no leftovers
}

// Input that is not a song file is refused quickly, with the reason.
TEST_F(RenderTool, RefusesWhatIsNotASong) {
    spit(path("empty.txt"), "");
    spit(path("cut.txt"), std::string("bpm:125\ni1:sini,2,13,30,3700,0\n\0p1:c4\n", 39));
    spit(path("binary.txt"), std::string("\x7f"
                                         "ELF\x02\x01\x01\0\0\0",
                                         10));
    const struct {
        std::string song, reason;
    } cases[] = {
        {"/dev/zero", "song text longer than 1048576 bytes"},
        {path("empty.txt"), "empty song"},
        {path("cut.txt"), "line 3: NUL byte inside the song text"},
        {path("binary.txt"), "line 1: control character 0x7f: not song text"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.song);
        Result r = run({"-n", "100", "-o", path("x.wav"), c.song});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "syna-render: " + c.song + ": rejected: " + c.reason + "\n");
        EXPECT_FALSE(exists(path("x.wav")));
    }
}

// A render that is stopped leaves nothing under the output's name, and an
// earlier file of that name as it was.
TEST_F(RenderTool, StoppedRenderLeavesNoPartialOutput) {
    for (int sig : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(sig);
        spit(path("out.wav"), "the previous render");
        // The longest render there is (4 GB): it cannot finish before the
        // signal, which goes as soon as the file has grown past its first
        // block (its size looked up, not read: the renderer is quick).
        pid_t pid = start({"-n", "1073741814", "-o", path("out.wav")});
        std::string temp;
        while (temp.empty()) {  // wait for the temporary file to appear
            for (const std::string &n : names())
                if (n.rfind(".k", 0) == 0 && n.size() == 8) temp = n;  // ".kXXXXXX"
            if (temp.empty()) usleep(2000);
        }
        struct stat st = {};
        while (stat(path(temp).c_str(), &st) != 0 || st.st_size < 44 + 4 * 8192) usleep(500);
        kill(pid, sig);
        Result r = finish(pid);
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(slurp(path("out.wav")), "the previous render");
        // A handled signal removes the temporary file; a SIGKILL cannot.
        EXPECT_EQ(exists(path(temp)), sig == SIGKILL);
        unlink(path(temp).c_str());
    }
}

// Standard output redirected to a file gets the header's sizes at the end,
// so they always describe the data that is there.
TEST_F(RenderTool, HeaderSizesOnStandardOutput) {
    spit(path("piped.wav"), "");
    Result r = run({"-n", "3000", "-o", "-"}, path("piped.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string wav = slurp(path("piped.wav"));
    ASSERT_EQ(wav.size(), 44u + 12000u);
    // Appended output cannot seek back: its header is written up front.
    EXPECT_EQ(le32(wav, 4), 36u + 12000u);
    EXPECT_EQ(le32(wav, 40), 12000u);

    const std::string cmd =
        std::string(SYNA_RENDER) + " -n 3000 -o - > '" + path("direct.wav") + "' 2>/dev/null";
    ASSERT_EQ(system(cmd.c_str()), 0);
    EXPECT_EQ(slurp(path("direct.wav")), wav);
}

// --stats asks the synthesizer which channels play: a track emptied by a
// later line ends the walk.
TEST_F(RenderTool, StatsCountTheChannelsThatPlay) {
    spit(path("song.txt"), two_channel_song(50) + "t2:\n");
    Result r = run({"--stats", "-n", "20000", "-o", path("a.wav"), path("song.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "channels: 1\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "ch1")) << r.out;
    EXPECT_FALSE(contains(r.out, "ch2")) << r.out;
}

// Pan and low-pass are taken as written; --stats says when they saturate.
TEST_F(RenderTool, StatsWarnAboutSaturation) {
    spit(path("song.txt"),
         "bpm:125\n"
         "i1:saha,2,5,1,3000,0,0,250\n"
         "i2:saha,2,5,1,3000,0,0,40,150\n"
         "i3:saha,2,5,1,3000,0,0,-20,-99\n"
         "p1:c4,0,0,0\nt1:p1,loop\nt2:p1,loop\nt3:p1,loop\n");
    Result r = run({"--stats", "-n", "30000", "-o", path("a.wav"), path("song.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "warning: channel 1: pan 250 is outside 0..100")) << r.err;
    EXPECT_TRUE(contains(r.err, "warning: channel 2: low-pass 150 is outside -99..99")) << r.err;
    EXPECT_TRUE(contains(r.err, "warning: channel 3: pan -20 is outside 0..100")) << r.err;
    EXPECT_FALSE(contains(r.err, "channel 3: low-pass")) << r.err;
    EXPECT_TRUE(contains(r.err, "of the samples are clipped: the mix saturates")) << r.err;

    spit(path("calm.txt"), two_channel_song(50));
    Result calm = run({"--stats", "-n", "30000", "-o", path("b.wav"), path("calm.txt")});
    ASSERT_EQ(calm.status, 0) << calm.err;
    EXPECT_FALSE(contains(calm.err, "warning")) << calm.err;

    // A table of millions of bars is refused before anything is rendered.
    spit(path("fast.txt"), "bpm:200000\ni1:saha,1,0,10,1,0\np1:c4\nt1:p1,loop\n");
    Result fast = run({"--stats", "-n", "100000000", "-o", path("c.wav"), path("fast.txt")});
    EXPECT_EQ(fast.status, 1);
    EXPECT_TRUE(contains(fast.err, "--stats shows at most 100000 bars")) << fast.err;
    EXPECT_FALSE(exists(path("c.wav")));
}
