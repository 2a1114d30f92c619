// Frames held on the screen for the console test: the time list, the wait
// for each go file and the ways a hold ends early. Drawn off screen.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hold.h"
#include "tavelo.h"

TEST(HoldList, RisingTimesOnly) {
    std::vector<double> t;
    ASSERT_TRUE(hold_parse("5,20.5,45", &t));
    EXPECT_EQ(t, (std::vector<double>{5.0, 20.5, 45.0}));
    ASSERT_TRUE(hold_parse("0", &t));
    EXPECT_EQ(t, (std::vector<double>{0.0}));
    for (const char *wrong :
         {"", "5,", ",5", "5,,6", "6,5", "5,5", "-1", "nan", "inf", "5;6", "5 6", "x"}) {
        EXPECT_FALSE(hold_parse(wrong, &t)) << wrong;
    }
    EXPECT_FALSE(hold_parse(nullptr, &t));
}

class Hold : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kestovar-hold-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        ASSERT_EQ(tavelo_open_offscreen(64, 48, 640, 480), 0) << tavelo_error();
    }
    void TearDown() override {
        tavelo_close();
        for (int i = 0; i < 4; i++) unlink((dir_ + "/go-" + std::to_string(i)).c_str());
        rmdir(dir_.c_str());
    }
    void go(int i) {
        std::FILE *f = std::fopen((dir_ + "/go-" + std::to_string(i)).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    std::string dir_;
};

TEST_F(Hold, EachFrameWaitsForItsGoFile) {
    go(0);
    go(1);
    std::string error;
    EXPECT_EQ(hold_run({0.5, 2.0}, dir_ + "/go-", 30.0, nullptr, &error), 0) << error;
    EXPECT_EQ(error, "");
}

TEST_F(Hold, AMissingGoFileEndsItAfterTheWait) {
    go(0);  // the second never comes
    std::string error;
    EXPECT_EQ(hold_run({0.5, 2.0}, dir_ + "/go-", 0.2, nullptr, &error), 1);
    EXPECT_NE(error.find("go-1"), std::string::npos) << error;
}

TEST_F(Hold, ASignalEndsIt) {
    volatile sig_atomic_t stop = SIGTERM;
    std::string error;
    EXPECT_EQ(hold_run({1.0}, dir_ + "/go-", 30.0, &stop, &error), 1);
    EXPECT_NE(error.find("stopped"), std::string::npos) << error;
}

TEST_F(Hold, ATimePastTheShowIsRefused) {
    go(0);
    std::string error;
    EXPECT_EQ(hold_run({100000.0}, dir_ + "/go-", 30.0, nullptr, &error), 1);
    EXPECT_NE(error.find("shorter"), std::string::npos) << error;
}
