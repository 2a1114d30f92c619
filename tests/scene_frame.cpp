// osa as a whole: the GL calls of a frame in order with their arguments, the
// bar clock, the end of the show and what the frame reads from the audio.
#include <GLES/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "glrec.h"
#include "scene_internal.h"
#include "show.h"
#include "show_clock.h"
#include "syna.h"

namespace {

class Frame : public ::testing::Test {
protected:
    void SetUp() override {
        scene_reset();
        syna_counter = 0;
        glrec_clear();
    }
    void TearDown() override {
        std::memset(mixed, 0, 200000 * sizeof mixed[0]);
        syna_counter = 0;
        glrec_clear();
    }

    // The nth (from 0) recorded call of that name; fails the test if there
    // is none.
    static const GlCall &nth(const char *name, int n = 0) {
        static const GlCall none;
        int seen = 0;
        for (const GlCall &c : glrec_calls())
            if (c.name == name && seen++ == n) return c;
        ADD_FAILURE() << "no call " << name << " #" << n;
        return none;
    }
    static int count(const char *name, std::vector<double> args) {
        int found = 0;
        for (const GlCall &c : glrec_calls()) found += c.name == name && c.args == args;
        return found;
    }
    static std::vector<double> v(std::initializer_list<double> values) { return values; }
};

// The whole call sequence of a frame is held by the golden log
// (scene_golden.cpp); here the numbers a frame carries, worked out by hand.
TEST_F(Frame, FirstFrameWithTrace) {
    EXPECT_EQ(osa(0), 1);
    EXPECT_EQ(beat, 0);
    const auto &c = glrec_calls();
    ASSERT_EQ(c.size(), 86u);
    // One step from zero toward row 0: grey 23, distance -5, tilt 15 (times
    // 3/2560), no spin; brightness 0 draws the petals black.
    EXPECT_EQ(nth("glClearColor").args, v({0.026953125f, 0.026953125f, 0.026953125f, 1}));
    EXPECT_EQ(nth("glTranslatef").args, v({0, 0, -0.005859375f}));
    EXPECT_EQ(nth("glRotatef", 0).args, v({-0.31640625f, 1, 0, 0}));
    EXPECT_EQ(nth("glRotatef", 1).args, v({0, 0, 0, 1}));
    EXPECT_EQ(nth("glFrustumf").args, v({-0.01f, 0.01f, -0.0075f, 0.0075f, 0.01f, 1135.0f}));
    EXPECT_EQ(nth("glColor4f", 0).args, v({0, 0, 0, 1}));
    EXPECT_EQ(nth("glColor4f", 1).args, v({0, 0, 0, 1}));
    EXPECT_EQ(nth("glLineWidth").args, v({3}));
    EXPECT_EQ(nth("glLightfv").data, std::vector<float>({0.2f, 0.2f, 0.2f, 0.0f}));
    // The trace twice, crossed; then twelve petals and twelve outlines, a
    // 30 degree turn after each.
    EXPECT_EQ(count("glDrawArrays", {GL_LINE_STRIP, 0, 1024}), 2);
    EXPECT_EQ(count("glRotatef", {90, 0, 0, 1}), 2);
    EXPECT_EQ(count("glRotatef", {15, 0, 0, 1}), 1);
    EXPECT_EQ(count("glDrawArrays", {GL_TRIANGLES, 0, 378}), 12);
    EXPECT_EQ(count("glDrawArrays", {GL_LINES, 0, 252}), 12);
    EXPECT_EQ(count("glRotatef", {30, 0, 0, 1}), 24);

    // The arrays each part draws from.
    EXPECT_EQ(nth("glVertexPointer", 0).ptr, scope_vertices);
    EXPECT_EQ(nth("glColorPointer").ptr, scope_colors);
    EXPECT_EQ(nth("glVertexPointer", 1).ptr, petal_vertices);
    EXPECT_EQ(nth("glNormalPointer").ptr, petal_normals);
    EXPECT_EQ(nth("glVertexPointer", 2).ptr, petal_lines);
    EXPECT_EQ(nth("glLightfv").ptr, light_ambient);

    const GlCall &scope = nth("glDrawArrays", 0);
    EXPECT_EQ(scope.arrays, GLREC_VERTEX | GLREC_COLOR);
    ASSERT_EQ(scope.data.size(), 1024u * 3);
    EXPECT_EQ(scope.data[0], -1.0f);
    EXPECT_EQ(scope.data[3 * 1023], 0.998046875f);
    EXPECT_EQ(scope.data[3 * 512], 0.0f);
    EXPECT_EQ(scope.data[2], -0.3f);
    ASSERT_EQ(scope.colors.size(), 1024u * 4);
    EXPECT_EQ(scope.colors[0], 1.0f);  // white at the ends
    EXPECT_NEAR(scope.colors[4 * 1023], 1.0f, 0.01f);
    EXPECT_NEAR(scope.colors[4 * 512], 0.0f, 1e-6);         // black in the middle
    EXPECT_NEAR(scope.colors[4 * 256], 0.29289322f, 1e-6);  // 1 - sin(pi/4)
    EXPECT_EQ(scope.colors[4 * 512 + 3], 1.0f);

    const GlCall &petal = nth("glDrawArrays", 2);
    EXPECT_EQ(petal.arrays, GLREC_VERTEX | GLREC_NORMAL);
    ASSERT_EQ(petal.data.size(), 378u * 3);
    EXPECT_EQ(petal.data[0], 0.0f);  // silence: no tremble, the petal starts at the origin
    EXPECT_EQ(petal.normals.size(), 378u * 3);
    const GlCall &outline = nth("glDrawArrays", 14);
    EXPECT_EQ(outline.args, v({GL_LINES, 0, 252}));
    EXPECT_EQ(outline.arrays, GLREC_VERTEX);
    EXPECT_EQ(outline.data.size(), 252u * 3);
}

TEST_F(Frame, FlowerAloneFromBar48) {
    syna_counter = 4070607;
    for (int k = 0; k < 4096; k++) mixed[k] = 20000;
    max_sample = 0.3f;
    EXPECT_EQ(osa(0), 1);
    EXPECT_EQ(beat, 48);
    EXPECT_EQ(max_sample, 0.0f);
    EXPECT_EQ(glrec_calls().size(), 77u);
    // One step toward row 12: grey 25, distance -17, tilt 64, spin 5,
    // brightness 25 (times 3/2560); the colour is brightness * (0.82, 0.87, 0.95).
    EXPECT_EQ(nth("glClearColor").args, v({0.029296875f, 0.029296875f, 0.029296875f, 1}));
    EXPECT_EQ(nth("glTranslatef").args, v({0, 0, -0.019921875f}));
    EXPECT_EQ(nth("glRotatef", 0).args, v({-1.35f, 1, 0, 0}));
    EXPECT_EQ(nth("glRotatef", 1).args, v({0.0087890625f, 0, 0, 1}));
    const GlCall &colour = nth("glColor4f", 0);
    ASSERT_EQ(colour.args.size(), 4u);
    EXPECT_FLOAT_EQ(colour.args[0], 0.0240234375f);
    EXPECT_FLOAT_EQ(colour.args[1], 0.02548828125f);
    EXPECT_FLOAT_EQ(colour.args[2], 0.02783203125f);
    EXPECT_EQ(colour.args[3], 1.0);
    // No trace: no line strip, and the colour array is never switched on.
    EXPECT_EQ(count("glDrawArrays", {GL_LINE_STRIP, 0, 1024}), 0);
    EXPECT_EQ(count("glEnableClientState", {GL_COLOR_ARRAY}), 0);
    for (const GlCall &c : glrec_calls()) EXPECT_EQ(c.arrays & GLREC_COLOR, 0u) << c.name;

    // Bar 47 still draws the trace.
    glrec_clear();
    syna_counter = 4070606;
    osa(0);
    EXPECT_EQ(beat, 47);
    EXPECT_EQ(glrec_calls().size(), 86u);
    EXPECT_EQ(count("glDrawArrays", {GL_LINE_STRIP, 0, 1024}), 2);
}

TEST_F(Frame, BarClockAndTheEnd) {
    const int cases[][2] = {{0, 0},        {91022, 0},    {91023, 1},    {4070606, 47},
                            {4070607, 48}, {5001998, 58}, {5001999, 59}, {-1, 0}};
    for (const auto &c : cases) EXPECT_EQ(beatof(c[0]), c[1]) << c[0];

    syna_counter = 5001998;
    osa(100);
    EXPECT_EQ(quit, 0);
    const std::vector<float> before(paramf, paramf + 10);
    syna_counter = 5001999;
    glrec_clear();
    EXPECT_EQ(osa(113424), 1);
    EXPECT_EQ(quit, 1);
    EXPECT_EQ(glrec_calls().size(), 77u);  // drawn in full
    EXPECT_EQ(std::vector<float>(paramf, paramf + 10), before);
}

TEST_F(Frame, WindowFollowsMillisecondsAndSpinAccumulates) {
    // ms 1005 starts at value 88641, the right channel of frame 44320.
    for (int k = 0; k < 4096; k += 2) mixed[88641 + k] = 32767;
    syna_counter = 1400000;  // bar 16: spin target 12
    osa(1005);
    EXPECT_FLOAT_EQ(buf[0], 0.0999969467f);
    EXPECT_FLOAT_EQ(max_sample, 0.1749946624f);
    EXPECT_FLOAT_EQ(glrec_calls()[19].data[1], 0.0999969467f);  // trace vertex 0 Y

    const float first = spin_angle;
    EXPECT_FLOAT_EQ(first, 1.5f * 12 * 0.001171875f);
    glrec_clear();
    osa(1021);
    EXPECT_GT(spin_angle, 2 * first);  // rate still rising, and added to the angle
    EXPECT_EQ(glrec_calls()[12].args[0], spin_angle);
}

TEST_F(Frame, MorphFollowsMilliseconds) {
    syna_counter = 4070607;  // bar 48: T = c = b = 0 stay 0, no tremble
    osa(1571);
    EXPECT_NEAR(petal_profile[3 * 48], 0.2f, 1e-6);  // kukka_morph
    EXPECT_NEAR(petal_profile[3 * 48 + 1], 0.0f, 1e-6);
    osa(4712);
    EXPECT_NEAR(petal_profile[3 * 48], 0.5f, 1e-6);  // kukka
    EXPECT_NEAR(petal_profile[3 * 48 + 1], -0.3f, 1e-6);
    osa(0);
    EXPECT_NEAR(petal_profile[3 * 48], 0.35f, 1e-6);  // halfway
}

}  // namespace
