// The centred viewport for every screen the display layer knows a rule for.
#include "tavelo.h"

#include <gtest/gtest.h>

namespace {

struct Row {
    unsigned screen_w, screen_h;
    int w, h;
    tavelo_rect want;
};

void expect_viewport(const Row &r) {
    const tavelo_rect got = tavelo_viewport(r.screen_w, r.screen_h, r.w, r.h);
    SCOPED_TRACE(testing::Message()
                 << r.w << "x" << r.h << " on " << r.screen_w << "x" << r.screen_h);
    EXPECT_EQ(got.x, r.want.x);
    EXPECT_EQ(got.y, r.want.y);
    EXPECT_EQ(got.width, r.want.width);
    EXPECT_EQ(got.height, r.want.height);
}

}  // namespace

TEST(DisplayViewport, DemoRequestOnCommonScreens) {
    const Row rows[] = {
        {1920, 1080, 640, 480, {240, 0, 1440, 1080}},  // pillarbox
        {1366, 768, 640, 480, {171, 0, 1024, 768}},    // pillarbox
        {1280, 1024, 640, 480, {0, 32, 1280, 960}},    // letterbox
        {1024, 768, 640, 480, {0, 0, 1024, 768}},      // same shape
        {640, 480, 640, 480, {0, 0, 640, 480}},        // exact size
        {720, 576, 640, 480, {44, 29, 632, 518}},      // PAL TV
        {720, 480, 640, 480, {44, 25, 632, 430}},      // NTSC TV
        {720, 1080, 640, 480, {0, 270, 720, 540}},     // 720 wide, not TV
    };
    for (const Row &r : rows) expect_viewport(r);
}

TEST(DisplayViewport, OtherRequestsOnPalTv) {
    // Narrower than 4:3: the width shrinks.
    expect_viewport({720, 576, 480, 640, {187, 35, 346, 506}});
    // The TV rule comes before the exact-size rule.
    expect_viewport({720, 576, 720, 576, {71, 35, 578, 506}});
    // 4:3 in any size is "not narrower".
    expect_viewport({720, 576, 4, 3, {44, 29, 632, 518}});
    // Just below 4:3, but 1.3333334 once divided in single precision: the
    // letterbox branch, whose unsigned product wraps and leaves no height.
    expect_viewport({720, 576, 79999999, 60000000, {44, 288, 632, 0}});
}

TEST(DisplayViewport, OddScreensAndDegenerateRequests) {
    // Odd sizes: the extra column or row stays on the right or at the top.
    expect_viewport({641, 481, 641, 481, {0, 0, 640, 480}});
    expect_viewport({1921, 1081, 640, 480, {240, 0, 1440, 1080}});
    // No shape to keep: the whole screen, rather than a division by zero.
    expect_viewport({1280, 720, 0, 480, {0, 0, 1280, 720}});
    expect_viewport({720, 576, 640, 0, {0, 0, 720, 576}});
    expect_viewport({1280, 720, -640, 480, {0, 0, 1280, 720}});
}
