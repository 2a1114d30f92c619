// Keyframe step, audio analysis, TCB spline and petal build, one part at a time.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "scene_internal.h"
#include "show.h"
#include "tables.h"

namespace {

void reset_scene() {
    std::memset(paramf, 0, sizeof paramf);
    max_sample = 0.0f;
    beat = 0;
    timef = 0.0f;
}

float settle(int row, int k) { return (float)(param[row * PARAM_COLS + k] * 0.0390625); }

TEST(Keyframes, RowSelectionAndFirstStep) {
    // beat -> row whose targets the first step from zero must show
    const int cases[][2] = {{-3, 0}, {0, 0},   {7, 0},   {8, 1},   {11, 1},  {12, 2},  {16, 3},
                            {24, 4}, {47, 11}, {48, 12}, {55, 12}, {56, 13}, {57, 14}, {58, 15}};
    for (const auto &c : cases) {
        reset_scene();
        paramstep(c[0]);
        for (int k = 1; k <= 8; k++) {
            EXPECT_EQ(paramf[k], (float)(param[c[1] * PARAM_COLS + k] * 0.001171875))
                << "beat " << c[0] << " k " << k;
        }
    }
    reset_scene();
    paramstep(0);
    EXPECT_FLOAT_EQ(paramf[1], 0.148828125f);
    EXPECT_FLOAT_EQ(paramf[5], -0.005859375f);
    EXPECT_FLOAT_EQ(paramf[8], 0.026953125f);
    EXPECT_EQ(paramf[0], 0.0f);  // entries 0 and 9 steer nothing
    EXPECT_EQ(paramf[9], 0.0f);
}

TEST(Keyframes, FreezesFromBar59) {
    for (int b : {59, 60, 1000, INT_MAX}) {
        for (int k = 0; k < 10; k++) paramf[k] = 0.25f * k - 1.0f;
        paramstep(b);
        for (int k = 0; k < 10; k++) EXPECT_EQ(paramf[k], 0.25f * k - 1.0f) << b;
    }
}

TEST(Keyframes, SettlesAndKeepsGlidingAcrossEqualRows) {
    reset_scene();
    for (int f = 0; f < 3000; f++) paramstep(24);
    EXPECT_NEAR(paramf[2], -4.375f, 1e-5);
    EXPECT_NEAR(paramf[7], -0.6640625f, 1e-5);
    for (int k = 1; k <= 8; k++) EXPECT_NEAR(paramf[k], settle(4, k), 1e-5) << k;

    // Tilt is -89 in rows 13..15: it must move steadily toward -3.4765625.
    reset_scene();
    float last = 0.0f;
    for (int b : {56, 57, 58}) {
        for (int f = 0; f < 40; f++) {
            paramstep(b);
            EXPECT_LT(paramf[6], last);
            last = paramf[6];
        }
    }
    const float expect = (float)(-3.4765625 * (1.0 - std::pow(0.97, 120)));
    EXPECT_NEAR(paramf[6], expect, 1e-4);
}

class Analysis : public ::testing::Test {
protected:
    void SetUp() override { reset_scene(); }
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
    reset_scene();
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
    reset_scene();  // T = c = b = 0: Catmull-Rom
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

    reset_scene();
    paramf[1] = 1.0f;  // T = 1: the chord with ease-in/out
    splineTCP(kukka, out, 0.5f);
    EXPECT_NEAR(out[0], 0.05, 1e-7);
    EXPECT_NEAR(out[1], -0.1, 1e-7);
    splineTCP(kukka, out, 0.25f);
    EXPECT_NEAR(out[0], 0.015625, 1e-7);

    reset_scene();
    paramf[2] = 0.5f;  // continuity: the tangent leaving P1 weights P1 - P0 by (1 - c)
    splineTCP(kukka, out, 0.5f);
    EXPECT_NEAR(out[0], 0.04375, 1e-7);
    reset_scene();
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
    reset_scene();
    float out[2];
    for (int which = 0; which < 2; which++) {
        const float *pts = which ? kukka_morph : kukka;
        spline3DMorph((float)which);
        for (int n = 0; n < 64; n++) {
            splineTCP(&pts[3 * (n / 16)], out, (n % 16) * 0.0625f);
            ASSERT_EQ(petal_profile[3 * n], out[0]) << which << " " << n;
            ASSERT_EQ(petal_profile[3 * n + 1], out[1]) << which << " " << n;
        }
    }
    spline3DMorph(0.0f);
    EXPECT_FLOAT_EQ(petal_profile[3 * 48], 0.5f);
    EXPECT_FLOAT_EQ(petal_profile[3 * 48 + 1], -0.3f);
    spline3DMorph(1.0f);
    EXPECT_FLOAT_EQ(petal_profile[3 * 48], 0.2f);
    EXPECT_NEAR(petal_profile[3 * 48 + 1], 0.0f, 1e-7);
    EXPECT_EQ(petal_profile[3 * 32 + 2], 0.07f);
    EXPECT_NEAR(petal_profile[3 * 63 + 2], 0.0034, 1e-4);
}

TEST(Petal, SeamlessWithoutLevelTrembleOtherwise) {
    reset_scene();
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
    const std::vector<float> still(petal_normals, petal_normals + 378 * 3);
    const std::vector<float> still_v(petal_vertices, petal_vertices + 378 * 3);

    max_sample = 0.5f;
    spline3DMorph(0.3f);
    // Normals come from the points before trembling.
    EXPECT_EQ(std::vector<float>(petal_normals, petal_normals + 378 * 3), still);
    // Point 1 (near edge of strip 1) moves by sinf(0.006 t + 0.5) * level * 0.006 * 1.6.
    const double dy = (double)(sinf((float)(0.006 * 1234.0 + 0.5)) * 0.5f) * 0.006 * 1.6;
    EXPECT_NEAR(petal_vertices[3 * 6 + 2], ((double)still_v[3 * 6 + 2] / 1.1 + dy) * 1.1, 1e-6);
    // ...and its half-width by sinf(0.002 t + 0.05) * level * 0.001 * 2.
    const double dw = (double)(sinf((float)(0.002 * 1234.0 + 0.05)) * 0.5f) * 0.001 * 2;
    EXPECT_NEAR(petal_vertices[3 * 6 + 1], (double)still_v[3 * 6 + 1] - dw, 1e-8);
    // Point 63 never trembles; strips no longer meet.
    EXPECT_EQ(petal_vertices[3 * 373 + 2], still_v[3 * 373 + 2]);
    EXPECT_NE(petal_vertices[3 * 7 + 2], petal_vertices[3 * 12 + 2]);
    // Rebuilt from scratch: a second build is identical.
    const std::vector<float> once(petal_vertices, petal_vertices + 378 * 3);
    spline3DMorph(0.3f);
    EXPECT_EQ(std::vector<float>(petal_vertices, petal_vertices + 378 * 3), once);
}

}  // namespace
