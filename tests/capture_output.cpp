// What the capture writes and what it refuses before writing anything:
// the shared number parsers, the output file that appears only when
// complete, PNG stills on failing media, and capture_check.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"
#include "cli.h"
#include "out_file.h"
#include "still.h"

namespace {

TEST(CliNumbers, CountsAreDigitsWithinTheRange) {
    long long v = -1;
    EXPECT_TRUE(cli_parse_count("0", 0, 10, &v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(cli_parse_count("10", 0, 10, &v));
    EXPECT_EQ(v, 10);
    for (const char *bad :
         {"", "11", "-1", "+3", " 3", "3 ", "3x", "0x10", "1e2", "99999999999999999999"}) {
        v = 7;
        EXPECT_FALSE(cli_parse_count(bad, 0, 10, &v)) << bad;
        EXPECT_EQ(v, 7) << bad;  // untouched when refused
    }
    EXPECT_FALSE(cli_parse_count("1", 2, 10, &v));
}

TEST(CliNumbers, SecondsAreFiniteAndWithinTheBound) {
    double t = -1;
    EXPECT_TRUE(cli_parse_seconds("12.5", 1e6, &t));
    EXPECT_DOUBLE_EQ(t, 12.5);
    EXPECT_TRUE(cli_parse_seconds(".5", 1e6, &t));
    EXPECT_DOUBLE_EQ(t, 0.5);
    EXPECT_TRUE(cli_parse_seconds("1e6", 1e6, &t));
    EXPECT_DOUBLE_EQ(t, 1e6);
    for (const char *bad : {"", "1e300", "2e17", "1000000.5", "1e999", "nan", "inf", "-0", "-1",
                            " 1", "1 ", "1e", "1,5", "+2"}) {
        t = 7;
        EXPECT_FALSE(cli_parse_seconds(bad, 1e6, &t)) << bad;
        EXPECT_EQ(t, 7) << bad;
    }
}

TEST(CliNumbers, SizesAreTwoCountsAroundAnX) {
    int w = 0, h = 0;
    EXPECT_TRUE(cli_parse_size("320x180", 100000, &w, &h));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 180);
    EXPECT_TRUE(cli_parse_size("8X6", 100000, &w, &h));
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 6);
    for (const char *bad : {"", "x", "2x", "x2", "2x2x2", "0x5", "5x0", "-2x2", "2x-2",
                            "4294967298x2", "100001x2", "2 x2"})
        EXPECT_FALSE(cli_parse_size(bad, 100000, &w, &h)) << bad;
}

// A fresh folder per test, removed with what is left in it.
class Folder : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kestovar-out-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        if (!mounted_.empty()) umount2(mounted_.c_str(), MNT_DETACH);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    std::string path(const std::string &name) const { return dir_ + "/" + name; }
    // Every name in `folder`, hidden ones included.
    static std::vector<std::string> names(const std::string &folder) {
        std::vector<std::string> found;
        DIR *d = opendir(folder.c_str());
        if (d == nullptr) return found;
        while (dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                found.push_back(e->d_name);
        closedir(d);
        return found;
    }
    static std::string read(const std::string &p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    static void write(const std::string &p, const std::string &text) {
        std::ofstream(p, std::ios::binary) << text;
    }
    // A tmpfs of `kib` KiB at path(name); false where mounting is not
    // allowed (not root).
    bool small_disk(const std::string &name, int kib) {
        const std::string at = path(name);
        mkdir(at.c_str(), 0755);
        const std::string opts = "size=" + std::to_string(kib) + "k";
        if (mount("tmpfs", at.c_str(), "tmpfs", 0, opts.c_str()) != 0) return false;
        mounted_ = at;
        return true;
    }
    std::string dir_, mounted_;
};

using OutFileTest = Folder;

TEST_F(OutFileTest, TheNameChangesOnlyOnCommit) {
    const std::string name = path("a.mp4");
    write(name, "old");
    chmod(name.c_str(), 0640);
    OutFile f;
    std::string why;
    ASSERT_TRUE(out_open(&f, name, false, &why)) << why;
    ASSERT_EQ(::write(f.fd, "new", 3), 3);
    EXPECT_EQ(read(name), "old");  // still the old file while writing
    EXPECT_EQ(names(dir_).size(), 2u);
    EXPECT_LE(f.temp_name.size(), dir_.size() + 9);  // "/.kXXXXXX": short
    ASSERT_TRUE(out_commit(&f, &why)) << why;
    EXPECT_EQ(read(name), "new");
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file's mode
    EXPECT_EQ(names(dir_), std::vector<std::string>{"a.mp4"});
}

TEST_F(OutFileTest, AnAbortLeavesEveryNameAsItWas) {
    write(path("old.png"), "old");
    for (const char *n : {"old.png", "new.png"}) {
        OutFile f;
        std::string why;
        ASSERT_TRUE(out_open(&f, path(n), false, &why)) << why;
        ASSERT_EQ(::write(f.fd, "half", 4), 4);
        out_abort(&f);
    }
    EXPECT_EQ(read(path("old.png")), "old");
    EXPECT_EQ(names(dir_), std::vector<std::string>{"old.png"});
}

TEST_F(OutFileTest, ALinkKeepsPointingAndADeviceIsWrittenInPlace) {
    write(path("target"), "old");
    ASSERT_EQ(symlink("target", path("link").c_str()), 0);
    OutFile f;
    std::string why;
    ASSERT_TRUE(out_open(&f, path("link"), false, &why)) << why;
    ASSERT_EQ(::write(f.fd, "new", 3), 3);
    ASSERT_TRUE(out_commit(&f, &why)) << why;
    struct stat st;
    ASSERT_EQ(lstat(path("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read(path("target")), "new");

    ASSERT_TRUE(out_open(&f, "/dev/null", false, &why)) << why;
    EXPECT_EQ(f.write_name, "/dev/null");
    EXPECT_TRUE(f.temp_name.empty());
    out_abort(&f);  // a device is never removed
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_FALSE(out_open(&f, dir_, false, &why));  // a folder is no output
}

TEST_F(OutFileTest, AnyNameThatFitsTheFileSystemIsTaken) {
    const std::string longest(255, 'n');  // NAME_MAX: no room for a longer temporary name
    const std::vector<uint8_t> rgba(4 * 4 * 4);
    std::string why;
    ASSERT_TRUE(still_write(path(longest).c_str(), rgba.data(), 4, 4, &why)) << why;
    EXPECT_EQ(names(dir_), std::vector<std::string>{longest});
}

TEST_F(OutFileTest, SameFileAndFilesInUse) {
    write(path("x.png"), "x");
    ASSERT_EQ(link(path("x.png").c_str(), path("hard.png").c_str()), 0);
    EXPECT_TRUE(out_same_file(path("x.png"), path("hard.png")));
    EXPECT_TRUE(out_same_file(path("new.png"), dir_ + "/./new.png"));
    EXPECT_TRUE(out_same_file(path("new.png"),
                              dir_ + "/../" + dir_.substr(dir_.rfind('/') + 1) + "/new.png"));
    EXPECT_FALSE(out_same_file(path("x.png"), path("new.png")));
    EXPECT_FALSE(out_same_file(path("a.png"), path("b.png")));
    EXPECT_FALSE(out_same_file("/dev/null", "/dev/null"));  // a device takes both

    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    EXPECT_TRUE(out_in_use(exe));
    std::ifstream maps("/proc/self/maps");
    std::string line, library;
    while (library.empty() && std::getline(maps, line))
        if (line.find(".so") != std::string::npos && line.find('/') != std::string::npos)
            library = line.substr(line.find('/'));
    ASSERT_FALSE(library.empty());
    EXPECT_TRUE(out_in_use(library)) << library;
    EXPECT_FALSE(out_in_use(path("x.png")));
    EXPECT_FALSE(out_in_use(path("none.png")));
}

using StillTest = Folder;

// Before, libpng's file writer removed the path it failed to write: run as
// root, a still to /dev/full deleted the device node.
TEST_F(StillTest, AFailingDeviceStaysWhereItWas) {
    const std::string full = path("full");
    if (mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
    std::string why;
    const std::vector<uint8_t> rgba(64 * 64 * 4, 100);
    EXPECT_FALSE(still_write(full.c_str(), rgba.data(), 64, 64, &why));
    EXPECT_NE(why.find("No space left"), std::string::npos) << why;
    struct stat st;
    ASSERT_EQ(stat(full.c_str(), &st), 0) << "the device node was removed";
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(names(dir_), std::vector<std::string>{"full"});
}

TEST_F(StillTest, AFullDiskKeepsTheOldPicture) {
    if (!small_disk("disk", 64)) GTEST_SKIP() << "cannot mount a small tmpfs (not root?)";
    const std::string name = path("disk/flower.png");
    write(name, "the old picture");
    // Noise does not compress: far more than 64 KiB of PNG.
    std::vector<uint8_t> rgba(256 * 256 * 4);
    unsigned x = 1;
    for (uint8_t &b : rgba) b = (uint8_t)((x = x * 1103515245u + 12345u) >> 24);
    std::string why;
    EXPECT_FALSE(still_write(name.c_str(), rgba.data(), 256, 256, &why));
    EXPECT_NE(why.find("No space left"), std::string::npos) << why;
    EXPECT_EQ(read(name), "the old picture");
    EXPECT_EQ(names(path("disk")), std::vector<std::string>{"flower.png"});
}

using CheckTest = Folder;

capture_request video_request(const std::string &video) {
    capture_request r;
    capture_defaults(&r);
    r.video = video.c_str();
    return r;
}

TEST_F(CheckTest, SizesUpToTheLevelOfCommonPlayers) {
    const std::string v = path("v.mp4");
    const int fine[][2] = {{2, 2}, {1920, 1080}, {3840, 2160}, {4096, 2304}, {8192, 1152}};
    for (const auto &s : fine) {
        capture_request r = video_request(v);
        r.width = s[0];
        r.height = s[1];
        EXPECT_EQ(capture_check(&r), 0) << s[0] << "x" << s[1] << ": " << capture_error();
    }
    const int wrong[][2] = {{8192, 8192}, {4098, 2304}, {4096, 2306}, {8194, 2},
                            {321, 180},   {320, 181},   {0, 0},       {-2, 2}};
    for (const auto &s : wrong) {
        capture_request r = video_request(v);
        r.width = s[0];
        r.height = s[1];
        EXPECT_EQ(capture_check(&r), -1) << s[0] << "x" << s[1];
        EXPECT_NE(std::string(capture_error()).find(std::to_string(s[0])), std::string::npos)
            << capture_error();
    }
    capture_request r = video_request(v);
    r.fps = CAPTURE_MAX_FPS + 1;
    EXPECT_EQ(capture_check(&r), -1);
    r.fps = 0;
    EXPECT_EQ(capture_check(&r), -1);
    r.fps = CAPTURE_MAX_FPS;
    EXPECT_EQ(capture_check(&r), 0) << capture_error();
    EXPECT_TRUE(names(dir_).empty());  // a check writes nothing
}

TEST_F(CheckTest, TimesOutsideTheShowAreRefusedWithAShortMessage) {
    const std::string v = path("v.mp4"), png = path("s.png");
    auto refused = [&](capture_request r, const char *what) {
        EXPECT_EQ(capture_check(&r), -1) << what;
        EXPECT_LT(std::string(capture_error()).size(), 200u) << what << ": " << capture_error();
    };
    for (double t : {1e300, 2e17, 113.5, -1.0, 0.0 / 0.0}) {
        capture_request r = video_request(v);
        r.from = t;
        refused(r, "from");
        capture_still s = {t, png.c_str()};
        capture_request q = video_request(v);
        q.stills = &s;
        q.still_count = 1;
        refused(q, "still");
    }
    capture_request r = video_request(v);
    r.from = 10;
    r.to = 1e300;  // to the end of the show
    EXPECT_EQ(capture_check(&r), 0) << capture_error();
    r.to = 10;
    refused(r, "an empty range");
}

TEST_F(CheckTest, TwoOutputsInOneFileOrOverTheProgramAreRefused) {
    const std::string v = path("x.mkv");
    write(v, "old");
    const std::string same = dir_ + "/./x.mkv";
    capture_still s[2] = {{1.0, same.c_str()}, {2.0, "/dev/null"}};
    capture_request r = video_request(v);
    r.stills = s;
    r.still_count = 2;
    EXPECT_EQ(capture_check(&r), -1);
    EXPECT_NE(std::string(capture_error()).find("same file"), std::string::npos) << capture_error();
    s[0].path = "/dev/null";  // a device takes two stills
    EXPECT_EQ(capture_check(&r), 0) << capture_error();

    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    s[0].path = exe;
    EXPECT_EQ(capture_check(&r), -1);
    EXPECT_EQ(read(v), "old");
}

}  // namespace
