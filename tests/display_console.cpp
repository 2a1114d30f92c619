// The console backend's own rules (the screen's mode, the keys that end
// the show) and what it says where there is no console screen. The
// screen itself is tested in virtual machines (tests/vm).
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "console.h"
#include "tavelo.h"

TEST(ConsoleMode, PreferredModeWinsWhereverItIs) {
    const console_mode_info modes[] = {{1920, 1080, 0}, {1024, 768, 1}, {800, 600, 1}};
    EXPECT_EQ(console_pick_mode(modes, 3), 1);
    // No mode flagged: the largest, not merely the first.
    const console_mode_info plain[] = {{800, 600, 0}, {1920, 1080, 0}, {1280, 1024, 0}};
    EXPECT_EQ(console_pick_mode(plain, 3), 1);
    EXPECT_EQ(console_pick_mode(plain, 0), -1);
}

TEST(ConsoleKeys, EscapeAndCtrlCEndTheShow) {
    int ctrl = 0;
    EXPECT_EQ(console_key_ends_show(KEY_ESC, 1, &ctrl), 1);  // press
    EXPECT_EQ(console_key_ends_show(KEY_ESC, 2, &ctrl), 1);  // held, repeating
    EXPECT_EQ(console_key_ends_show(KEY_ESC, 0, &ctrl), 0);  // a release alone
    EXPECT_EQ(console_key_ends_show(KEY_C, 1, &ctrl), 0);    // C without Ctrl
    EXPECT_EQ(console_key_ends_show(KEY_SPACE, 1, &ctrl), 0);
    for (unsigned c : {KEY_LEFTCTRL, KEY_RIGHTCTRL}) {
        ctrl = 0;
        EXPECT_EQ(console_key_ends_show(c, 1, &ctrl), 0);
        EXPECT_EQ(console_key_ends_show(KEY_C, 1, &ctrl), 1) << c;
        EXPECT_EQ(console_key_ends_show(c, 0, &ctrl), 0);
        EXPECT_EQ(console_key_ends_show(KEY_C, 1, &ctrl), 0) << "Ctrl was let go: " << c;
    }
    // Both Ctrl keys down, one let go: still held.
    ctrl = 0;
    console_key_ends_show(KEY_LEFTCTRL, 1, &ctrl);
    console_key_ends_show(KEY_RIGHTCTRL, 1, &ctrl);
    console_key_ends_show(KEY_LEFTCTRL, 0, &ctrl);
    EXPECT_EQ(console_key_ends_show(KEY_C, 1, &ctrl), 1);
}

class NoConsoleScreen : public ::testing::Test {
protected:
    void SetUp() override {
        if (access("/dev/dri", F_OK) == 0) GTEST_SKIP() << "this machine has DRM devices";
        const char *d = getenv("DISPLAY");
        saved_ = d ? d : "";
        had_ = d != nullptr;
        unsetenv("DISPLAY");
    }
    void TearDown() override {
        if (had_) setenv("DISPLAY", saved_.c_str(), 1);
        tavelo_backend(TAVELO_AUTO);
    }
    std::string saved_;
    bool had_ = false;
};

TEST_F(NoConsoleScreen, ForcedConsoleNamesTheMissingDevice) {
    char why[200] = "x";
    EXPECT_EQ(console_screen_present(why, sizeof why), 0);
    EXPECT_NE(std::string(why).find("no DRM device"), std::string::npos) << why;
    tavelo_backend(TAVELO_CONSOLE);
    EXPECT_EQ(tavelo_open(640, 480, 32, 0), -1);
    const std::string e = tavelo_error();
    EXPECT_NE(e.find("console"), std::string::npos) << e;
    EXPECT_NE(e.find("no DRM device"), std::string::npos) << e;
    EXPECT_EQ(e.find('\n'), std::string::npos) << "one line: " << e;
    tavelo_close();  // nothing open: harmless
    EXPECT_STREQ(tavelo_notice(), "");
}

TEST_F(NoConsoleScreen, LeftToChooseItSaysWhyNeitherWorks) {
    EXPECT_EQ(tavelo_open(640, 480, 32, 0), -1);
    const std::string e = tavelo_error();
    EXPECT_NE(e.find("DISPLAY is not set"), std::string::npos) << e;
    EXPECT_NE(e.find("no console screen: no DRM device"), std::string::npos) << e;
    tavelo_close();
}
