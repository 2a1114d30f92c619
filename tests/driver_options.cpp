// The demo's command line: what each option sets, and the mistakes that
// must end the program with a message (status 2) instead of a show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"

namespace {

int parse(std::vector<const char *> args, driver_options *o, std::string *error) {
    args.insert(args.begin(), "kestovar");
    return driver_options_parse((int)args.size(), args.data(), o, error);
}

}  // namespace

TEST(Options, NoArgumentsIsTheLiveShowFullScreen) {
    driver_options o;
    std::string error;
    ASSERT_EQ(parse({}, &o, &error), 0) << error;
    EXPECT_FALSE(o.capture);
    EXPECT_FALSE(o.help);
    EXPECT_FALSE(o.version);
    EXPECT_EQ(o.window_w, 0);
    EXPECT_EQ(o.window_h, 0);
}

TEST(Options, CaptureWithEverything) {
    driver_options o;
    std::string error;
    ASSERT_EQ(parse({"--capture", "out.mkv", "--size=320x180", "--fps", "30", "--from", "1.5",
                     "--to=3", "--audio", "pcm", "--still", "2.25:a.png", "--still=0:b:c.png"},
                    &o, &error),
              0)
        << error;
    // A copy stands on its own: nothing in it points into the original.
    const driver_options c = [&] {
        driver_options copy = o;
        o = driver_options{};
        return copy;
    }();
    EXPECT_TRUE(c.capture);
    EXPECT_EQ(c.video, "out.mkv");
    EXPECT_EQ(c.width, 320);
    EXPECT_EQ(c.height, 180);
    EXPECT_EQ(c.fps, 30);
    EXPECT_DOUBLE_EQ(c.from, 1.5);
    EXPECT_DOUBLE_EQ(c.to, 3.0);
    EXPECT_TRUE(c.pcm);
    ASSERT_EQ(c.stills.size(), 2u);
    EXPECT_DOUBLE_EQ(c.stills[0].seconds, 2.25);
    EXPECT_EQ(c.stills[0].path, "a.png");
    EXPECT_DOUBLE_EQ(c.stills[1].seconds, 0.0);
    EXPECT_EQ(c.stills[1].path, "b:c.png");  // only the first colon splits
}

TEST(Options, DefaultsOfACaptureAndStillsAlone) {
    driver_options o;
    std::string error;
    ASSERT_EQ(parse({"--still", "12:x.png"}, &o, &error), 0) << error;
    EXPECT_TRUE(o.capture);
    EXPECT_TRUE(o.video.empty());  // stills only: no video
    EXPECT_EQ(o.width, 0);         // the capture's own defaults
    EXPECT_EQ(o.fps, 0);
    EXPECT_DOUBLE_EQ(o.from, 0.0);
    EXPECT_LT(o.to, 0.0);  // to the show's end
    EXPECT_FALSE(o.pcm);
}

TEST(Options, WindowAndInformation) {
    driver_options o;
    std::string error;
    ASSERT_EQ(parse({"--window", "800x600"}, &o, &error), 0) << error;
    EXPECT_EQ(o.window_w, 800);
    EXPECT_EQ(o.window_h, 600);
    EXPECT_FALSE(o.capture);
    driver_options h;
    ASSERT_EQ(parse({"--help"}, &h, &error), 0);
    EXPECT_TRUE(h.help);
    driver_options v;
    ASSERT_EQ(parse({"--version"}, &v, &error), 0);
    EXPECT_TRUE(v.version);
    EXPECT_NE(std::string(driver_options_usage()).find("--capture FILE"), std::string::npos);
}

TEST(Options, MistakesAreRefusedWithAMessage) {
    const std::vector<std::vector<const char *>> wrong = {
        {"--bogus"},
        {"-x"},
        {"stray"},
        {"--capture"},                           // no value
        {"--capture="},                          // empty name
        {"--window", "800"},                     // not WxH
        {"--window", "0x600"},                   // empty
        {"--window", "800x600x2"},               // trailing junk
        {"--size", "1920x1080"},                 // no capture
        {"--fps", "30"},                         // no capture
        {"--still", "12:x.png", "--from", "3"},  // a range needs a video
        {"--still", "x.png"},                    // no time
        {"--still", "-1:x.png"},                 // negative time
        {"--still", "nan:x.png"},                // not a time
        {"--still", "3:"},                       // no file
        {"--capture", "a.mp4", "--fps", "0"},    // no frame rate
        {"--capture", "a.mp4", "--fps", "2.5"},  // whole numbers only
        {"--capture", "a.mp4", "--from", "-2"},  // negative
        {"--capture", "a.mp4", "--from", "5", "--to", "5"},
        {"--capture", "a.mp4", "--audio", "mp3"},  // unknown track
        {"--capture", "a.mp4", "--window", "800x600"},
        {"--help=yes"},  // takes no value
        // Numbers that would overflow on the way to frame numbers or ints.
        {"--still", "1e300:x.png"},
        {"--still", "2e17:x.png"},
        {"--capture", "a.mp4", "--from", "2e17"},
        {"--capture", "a.mp4", "--to", "1e300"},
        {"--capture", "a.mp4", "--from", "inf"},
        {"--capture", "a.mp4", "--fps", "99999999999999999999"},
        {"--capture", "a.mp4", "--size", "4294967298x2"},
        {"--capture", "a.mp4", "--size", "-2x2"},
        {"--capture", "a.mp4", "--fps", " 30"},
    };
    for (const auto &args : wrong) {
        driver_options o;
        std::string error;
        std::string line;
        for (const char *a : args) line += std::string(a) + " ";
        EXPECT_EQ(parse(args, &o, &error), -1) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
    driver_options o;
    std::string error;
    parse({"--frobnicate"}, &o, &error);
    EXPECT_NE(error.find("--frobnicate"), std::string::npos) << error;
}

TEST(Options, DisplayChoice) {
    driver_options o;
    std::string error;
    ASSERT_EQ(parse({}, &o, &error), 0) << error;
    EXPECT_EQ(o.display, 0);  // left to the display layer
    driver_options x;
    ASSERT_EQ(parse({"--display", "x11", "--window", "640x480"}, &x, &error), 0) << error;
    EXPECT_EQ(x.display, 1);
    driver_options c;
    ASSERT_EQ(parse({"--display=console"}, &c, &error), 0) << error;
    EXPECT_EQ(c.display, 2);
    EXPECT_NE(std::string(driver_options_usage()).find("--display x11|console"), std::string::npos);

    const std::vector<std::vector<const char *>> wrong = {
        {"--display"},                                // no value
        {"--display", "wayland"},                     // unknown
        {"--display="},                               // empty
        {"--display", "console", "--window", "8x8"},  // no windows on a console
        {"--display", "x11", "--capture", "a.mp4"},   // a capture shows nothing
        {"--still", "1:a.png", "--display=console"},
    };
    for (const auto &args : wrong) {
        driver_options w;
        std::string line;
        for (const char *a : args) line += std::string(a) + " ";
        error.clear();
        EXPECT_EQ(parse(args, &w, &error), -1) << line;
        EXPECT_NE(error.find("--"), std::string::npos) << line << ": " << error;
    }
}
