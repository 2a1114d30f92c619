// Keyframe step, audio analysis, TCB spline and petal build, one part at a time.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "scene_internal.h"
#include "show.h"
#include "tables.h"

namespace {

TEST(Keyframes, RowSelectionAndFirstStep) {
    // One step from zero shows the target row: byte * 3/2560 for paramf[1..8]
    // (worked out by hand from the rows' bytes).
    struct Case {
        int beat;
        float first[8];
    };
    const float row0[8] = {0.148828125f,  0.11953125f,  0, 0,
                           -0.005859375f, 0.017578125f, 0, 0.026953125f};
    const float row1[8] = {0.05859375f,  0.11953125f, 0.059765625f, 0, -0.038671875f,
                           0.038671875f, 0,           0.026953125f};
    const float row2[8] = {0.05859375f,   0.11953125f, 0.059765625f, 0.005859375f, -0.008203125f,
                           -0.017578125f, 0,           0.026953125f};
    const float row3[8] = {0,      0.148828125f, 0.059765625f, 0.029296875f, -0.019921875f,
                           0.075f, 0.0140625f,   0.029296875f};
    const float row4[8] = {0,           -0.13125f,     0,           0.017578125f, -0.01171875f,
                           0.04453125f, -0.019921875f, 0.029296875f};
    const float row11[8] = {-0.029296875f, -0.059765625f, 0,      0.029296875f,
                            -0.005859375f, 0.0140625f,    0.075f, 0};
    const float row12[8] = {0,           0, 0, 0.029296875f, -0.019921875f, 0.075f, 0.005859375f,
                            0.029296875f};
    const float row13[8] = {0, 0, 0, 0, -0.08671875f, -0.104296875f, 0.065625f, 0.029296875f};
    const float row14[8] = {0, 0, 0, 0, 0.026953125f, -0.104296875f, 0.065625f, 0.029296875f};
    const float row15[8] = {0, 0, 0, 0, 0.026953125f, -0.104296875f, 0.065625f, 0};
    const std::pair<int, const float *> cases[] = {
        {-3, row0}, {0, row0},   {7, row0},   {8, row1},   {11, row1},  {12, row2},  {16, row3},
        {24, row4}, {47, row11}, {48, row12}, {55, row12}, {56, row13}, {57, row14}, {58, row15},
    };
    for (const auto &[b, want] : cases) {
        scene_reset();
        paramstep(b);
        for (int k = 1; k <= 8; k++)
            EXPECT_FLOAT_EQ(paramf[k], want[k - 1]) << "beat " << b << " k " << k;
        EXPECT_EQ(paramf[0], 0.0f);  // entries 0 and 9 steer nothing
        EXPECT_EQ(paramf[9], 0.0f);
    }
}

TEST(Keyframes, FreezesFromBar59) {
    for (int b : {59, 60, 1000, INT_MAX}) {
        for (int k = 0; k < 10; k++) paramf[k] = 0.25f * k - 1.0f;
        paramstep(b);
        for (int k = 0; k < 10; k++) EXPECT_EQ(paramf[k], 0.25f * k - 1.0f) << b;
    }
}

TEST(Keyframes, SettlesAndKeepsGlidingAcrossEqualRows) {
    scene_reset();
    for (int f = 0; f < 3000; f++) paramstep(24);
    // Row 4's bytes / 25.6.
    const float settled[8] = {0,          -4.375f,   0,           0.5859375f,
                              -0.390625f, 1.484375f, -0.6640625f, 0.9765625f};
    for (int k = 1; k <= 8; k++) EXPECT_NEAR(paramf[k], settled[k - 1], 1e-5) << k;

    // Tilt is -89 in rows 13..15: it must move steadily toward -3.4765625,
    // reaching -3.4765625 * (1 - 0.97^120) after 120 frames.
    scene_reset();
    float last = 0.0f;
    for (int b : {56, 57, 58}) {
        for (int f = 0; f < 40; f++) {
            paramstep(b);
            EXPECT_LT(paramf[6], last);
            last = paramf[6];
        }
    }
    EXPECT_NEAR(paramf[6], -3.38666282f, 1e-4);
}

class Analysis : public ::testing::Test {
protected:
    void SetUp() override { scene_reset(); }
    void TearDown() override { std::memset(mixed, 0, 8192 * sizeof mixed[0]); }
};

TEST_F(Analysis, FullScaleWindows) {
    for (int k = 0; k < 4096; k++) mixed[k] = 32767;
    analyysi(mixed);
    EXPECT_FLOAT_EQ(buf[0], 0.0999969467f);
    EXPECT_FLOAT_EQ(buf[2047], 0.0999969467f);
    EXPECT_FLOAT_EQ(max_sample, 0.1749946624f);

    max_sample = 0.0f;
    for (int k = 0; k < 4096; k++) mixed[k] = -32768;
    analyysi(mixed);
    EXPECT_EQ(buf[1000], -0.1f);
    EXPECT_EQ(max_sample, (float)(0.35 * 0.5));
}

TEST_F(Analysis, OneChannelWholeWindowAndDecay) {
    // Odd values belong to the other channel and must be ignored.
    for (int k = 1; k < 4096; k += 2) mixed[k] = 32767;
    max_sample = 0.4f;
    analyysi(mixed);
    for (int k = 0; k < 2048; k++) ASSERT_EQ(buf[k], 0.0f) << k;
    EXPECT_EQ(max_sample, (float)(0.65 * (double)0.4f));

    // The peak counts undrawn values too (k >= 1024), and its sign does not matter.
    scene_reset();
    for (int k = 0; k < 4096; k++) mixed[k] = 0;
    mixed[2 * 2000] = -16384;
    analyysi(mixed);
    EXPECT_EQ(max_sample, (float)(0.35 * 0.25));
    EXPECT_EQ(buf[2000], (float)(-0.25 * 0.2));

    beat = 47;
    analyysi(mixed);
    EXPECT_GT(max_sample, 0.1f);
    beat = 48;
    analyysi(mixed);
    EXPECT_EQ(max_sample, 0.0f);
}

TEST(AnalysisWindow, StartIndexStaysInsideMixed) {
    EXPECT_EQ(windowstart(0), 0);
    EXPECT_EQ(windowstart(1), 88);
    EXPECT_EQ(windowstart(5), 441);
    EXPECT_EQ(windowstart(1005), 88641);
    EXPECT_EQ(windowstart(120140), 10596348);  // last ms whose window fits unchanged
    const int last = SHOW_SAMPLES - 4095;
    EXPECT_EQ(windowstart(120141), last - 1);  // 10596436, even: stays left
    EXPECT_EQ(windowstart(120145), last);      // 10596789, odd: stays right
    EXPECT_EQ(windowstart(-5), 1);
    EXPECT_EQ(windowstart(-10), 0);
    for (int ms : {120140, 120141, 1 << 22, 2434842, 2434843, INT_MAX, INT_MIN, -1}) {
        const int s = windowstart(ms);
        EXPECT_GE(s, 0) << ms;
        EXPECT_LT(s + 4094, SHOW_SAMPLES) << ms;
        EXPECT_EQ(std::abs(s % 2), (int)std::abs(882LL * ms / 10 % 2)) << ms;
        analyysi(&mixed[s]);  // the sanitizer build checks the reads
    }
}

TEST(Spline, SegmentValues) {
    float out[2];
    scene_reset();  // T = c = b = 0: Catmull-Rom
    splineTCP(kukka, out, 0.5f);
    EXPECT_NEAR(out[0], 0.0375, 1e-7);
    EXPECT_NEAR(out[1], -0.125, 1e-7);

    paramf[2] = 1.0f;  // c = 1: the chord at uniform speed
    splineTCP(kukka, out, 0.5f);
    EXPECT_NEAR(out[0], 0.05, 1e-7);
    EXPECT_NEAR(out[1], -0.1, 1e-7);
    splineTCP(kukka, out, 0.25f);
    EXPECT_NEAR(out[0], 0.025, 1e-7);
    EXPECT_NEAR(out[1], -0.05, 1e-7);

    scene_reset();
    paramf[1] = 1.0f;  // T = 1: the chord with ease-in/out
    splineTCP(kukka, out, 0.5f);
    EXPECT_NEAR(out[0], 0.05, 1e-7);
    EXPECT_NEAR(out[1], -0.1, 1e-7);
    splineTCP(kukka, out, 0.25f);
    EXPECT_NEAR(out[0], 0.015625, 1e-7);

    scene_reset();
    paramf[2] = 0.5f;  // continuity: the tangent leaving P1 weights P1 - P0 by (1 - c)
    splineTCP(kukka, out, 0.5f);
    EXPECT_NEAR(out[0], 0.04375, 1e-7);
    scene_reset();
    paramf[3] = 0.5f;  // bias
    splineTCP(kukka, out, 0.5f);
    EXPECT_NEAR(out[1], -0.13125, 1e-7);

    const float tcb[][3] = {{0, 0, 0}, {4.9609375f, -4.375f, 1.9921875f}, {-1, 1, -1}};
    for (const auto &p : tcb) {
        paramf[1] = p[0], paramf[2] = p[1], paramf[3] = p[2];
        for (int s = 0; s < 4; s++) {
            splineTCP(&kukka_morph[3 * s], out, 0.0f);
            EXPECT_EQ(out[0], kukka_morph[3 * s + 3]);
            EXPECT_EQ(out[1], kukka_morph[3 * s + 4]);
        }
    }
}

TEST(Petal, MorphEndsFollowTheirCurves) {
    // T = c = b = 0: Catmull-Rom through the control points, worked out by
    // hand at t = 1/2 of each segment and at the last point (t = 15/16 of
    // the last segment).
    struct Point {
        int n;
        double x, y;
    };
    const Point open[] = {{0, 0, 0},
                          {8, 0.0375, -0.125},
                          {16, 0.1, -0.2},
                          {24, 0.19375, -0.2625},
                          {32, 0.3, -0.3},
                          {40, 0.40625, -0.3125},
                          {48, 0.5, -0.3},
                          {56, 0.5625, -0.23125},
                          {63, 0.5966796875, -0.19544677734375}};
    const Point curled[] = {{0, 0, 0},
                            {8, 0.09375, -0.134375},
                            {16, 0.2, -0.2},
                            {24, 0.26875, -0.196875},
                            {32, 0.3, -0.15},
                            {40, 0.2625, -0.071875},
                            {48, 0.2, 0.0},
                            {56, 0.15, 0.003125},
                            {63, 0.10625, -0.002471923828125}};
    scene_reset();
    spline3DMorph(0.0f);
    for (const Point &p : open) {
        EXPECT_NEAR(petal_profile[3 * p.n], p.x, 1e-6) << p.n;
        EXPECT_NEAR(petal_profile[3 * p.n + 1], p.y, 1e-6) << p.n;
    }
    spline3DMorph(1.0f);
    for (const Point &p : curled) {
        EXPECT_NEAR(petal_profile[3 * p.n], p.x, 1e-6) << p.n;
        EXPECT_NEAR(petal_profile[3 * p.n + 1], p.y, 1e-6) << p.n;
    }
    // Halfway between the two.
    spline3DMorph(0.5f);
    EXPECT_NEAR(petal_profile[3 * 24], 0.23125, 1e-6);
    EXPECT_NEAR(petal_profile[3 * 24 + 1], -0.2296875, 1e-6);

    // Half-width 0.07 sin(n pi / 64).
    EXPECT_EQ(petal_profile[2], 0.0f);
    EXPECT_NEAR(petal_profile[3 * 16 + 2], 0.0494974747, 1e-8);
    EXPECT_EQ(petal_profile[3 * 32 + 2], 0.07f);
    EXPECT_NEAR(petal_profile[3 * 63 + 2], 0.0034347372, 1e-9);
}

TEST(Petal, SeamlessWithoutLevelTrembleOtherwise) {
    scene_reset();
    timef = 1234.0f;
    spline3DMorph(0.3f);
    EXPECT_EQ(petal_vertex_count, 378);
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(petal_vertices[k], 0.0f);       // starts at the origin...
        EXPECT_EQ(petal_vertices[15 + k], 0.0f);  // ...with zero width
    }
    for (int i = 0; i + 1 < 63; i++) {
        for (int k = 0; k < 3; k++) {
            ASSERT_EQ(petal_vertices[3 * (6 * i + 1) + k], petal_vertices[3 * (6 * i + 6) + k]);
            ASSERT_EQ(petal_vertices[3 * (6 * i + 2) + k], petal_vertices[3 * (6 * i + 11) + k]);
            ASSERT_EQ(petal_lines[3 * (4 * i) + k], petal_lines[3 * (4 * i + 5) + k]);
        }
    }
    // Point 1, still: x 0.0044812, y -0.0210052, w 0.0034347 (worked out by hand).
    EXPECT_NEAR(petal_vertices[3 * 6], 0.004481201171875, 1e-8);
    EXPECT_NEAR(petal_vertices[3 * 6 + 1], -0.0034347372, 1e-8);
    EXPECT_NEAR(petal_vertices[3 * 6 + 2], -0.02310577392578125, 1e-7);
    const std::vector<float> still(petal_normals, petal_normals + 378 * 3);
    const std::vector<float> still_v(petal_vertices, petal_vertices + 378 * 3);

    max_sample = 0.5f;
    spline3DMorph(0.3f);
    // Normals come from the points before trembling.
    EXPECT_EQ(std::vector<float>(petal_normals, petal_normals + 378 * 3), still);
    // Point 1 (near edge of strip 1) moves in y by sin(0.006 t + 0.5) * level
    // * 0.006 * 1.6 = 0.00479400, so Z = 1.1 y goes from -0.0231058 to
    // -0.0178324; its half-width grows by sin(0.002 t + 0.05) * level * 0.001
    // * 2 = 0.00058396, to 0.0040187.
    EXPECT_NEAR(petal_vertices[3 * 6 + 2], -0.01783237739839594, 1e-6);
    EXPECT_NEAR(petal_vertices[3 * 6 + 1], -0.004018692590772696, 1e-8);
    EXPECT_NEAR(petal_vertices[3 * 6], 0.004481201171875, 1e-8);  // x never trembles
    // Point 63 never trembles; strips no longer meet.
    EXPECT_EQ(petal_vertices[3 * 373 + 2], still_v[3 * 373 + 2]);
    EXPECT_NE(petal_vertices[3 * 7 + 2], petal_vertices[3 * 12 + 2]);
    // Rebuilt from scratch: a second build is identical.
    const std::vector<float> once(petal_vertices, petal_vertices + 378 * 3);
    spline3DMorph(0.3f);
    EXPECT_EQ(std::vector<float>(petal_vertices, petal_vertices + 378 * 3), once);
}

}  // namespace
