// osa as a whole: the GL calls of a frame in order with their arguments, the
// bar clock, the end of the show and what the frame reads from the audio.
#include <GLES/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "glrec.h"
#include "scene_internal.h"
#include "show.h"
#include "syna.h"

namespace {

struct Want {
    std::string name;
    std::vector<double> args;
    const void *ptr = nullptr;
};

class Frame : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(paramf, 0, sizeof paramf);
        max_sample = 0.0f;
        spin_angle = 0.0f;
        quit = 0;
        syna_counter = 0;
        glrec_clear();
    }
    void TearDown() override {
        std::memset(mixed, 0, 200000 * sizeof mixed[0]);
        syna_counter = 0;
        glrec_clear();
    }

    // Part of a frame that does not depend on `beat`: everything up to the
    // client vertex array.
    static std::vector<Want> setup(float grey, float dist, float tilt, float spin) {
        return {
            {"glClearColor", {grey, grey, grey, 1.0}},
            {"glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}},
            {"glEnable", {GL_NORMALIZE}},
            {"glEnable", {GL_DEPTH_TEST}},
            {"glHint", {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST}},
            {"glMatrixMode", {GL_PROJECTION}},
            {"glLoadIdentity", {}},
            {"glFrustumf", {-0.01f, 0.01f, -0.0075f, 0.0075f, 0.01f, 1135.0f}},
            {"glMatrixMode", {GL_MODELVIEW}},
            {"glLoadIdentity", {}},
            {"glTranslatef", {0, 0, dist}},
            {"glRotatef", {tilt, 1, 0, 0}},
            {"glRotatef", {spin, 0, 0, 1}},
            {"glEnableClientState", {GL_VERTEX_ARRAY}},
        };
    }
    static void append_scope(std::vector<Want> &w) {
        w.insert(w.end(), {
                              {"glDisable", {GL_LIGHTING}},
                              {"glEnableClientState", {GL_COLOR_ARRAY}},
                              {"glVertexPointer", {3, GL_FLOAT, 0}, scope_vertices},
                              {"glColorPointer", {4, GL_FLOAT, 0}, scope_colors},
                              {"glLineWidth", {3.0}},
                              {"glDrawArrays", {GL_LINE_STRIP, 0, 1024}},
                              {"glRotatef", {90, 0, 0, 1}},
                              {"glDrawArrays", {GL_LINE_STRIP, 0, 1024}},
                              {"glRotatef", {90, 0, 0, 1}},
                          });
    }
    static void append_flower(std::vector<Want> &w, float r, float g, float b) {
        w.insert(w.end(), {
                              {"glEnable", {GL_LIGHTING}},
                              {"glLightfv", {GL_LIGHT0, GL_AMBIENT}, light_ambient},
                              {"glEnable", {GL_LIGHT0}},
                              {"glEnable", {GL_COLOR_MATERIAL}},
                              {"glDisableClientState", {GL_COLOR_ARRAY}},
                              {"glEnableClientState", {GL_NORMAL_ARRAY}},
                              {"glVertexPointer", {3, GL_FLOAT, 0}, petal_vertices},
                              {"glNormalPointer", {GL_FLOAT, 0}, petal_normals},
                              {"glRotatef", {15, 0, 0, 1}},
                              {"glColor4f", {r, g, b, 1.0}},
                          });
        for (int p = 0; p < 12; p++) {
            w.push_back({"glDrawArrays", {GL_TRIANGLES, 0, 378}});
            w.push_back({"glRotatef", {30, 0, 0, 1}});
        }
        w.insert(w.end(), {
                              {"glDisable", {GL_LIGHT0}},
                              {"glDisable", {GL_LIGHTING}},
                              {"glDisableClientState", {GL_NORMAL_ARRAY}},
                              {"glVertexPointer", {3, GL_FLOAT, 0}, petal_lines},
                              {"glColor4f", {0, 0, 0, 1}},
                          });
        for (int p = 0; p < 12; p++) {
            w.push_back({"glDrawArrays", {GL_LINES, 0, 252}});
            w.push_back({"glRotatef", {30, 0, 0, 1}});
        }
    }
    static void expect_calls(const std::vector<Want> &want) {
        const auto &got = glrec_calls();
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); i++) {
            EXPECT_EQ(got[i].name, want[i].name) << "call " << i;
            EXPECT_EQ(got[i].args, want[i].args) << "call " << i << " " << want[i].name;
            EXPECT_EQ(got[i].ptr, want[i].ptr) << "call " << i << " " << want[i].name;
        }
    }
};

TEST_F(Frame, FirstFrameWithTrace) {
    EXPECT_EQ(osa(0), 1);
    EXPECT_EQ(beat, 0);
    // One step from zero toward row 0; brightness 0 draws the petals black.
    std::vector<Want> want = setup(0.026953125f, -0.005859375f, -0.31640625f, 0.0f);
    append_scope(want);
    append_flower(want, 0, 0, 0);
    expect_calls(want);

    const auto &c = glrec_calls();
    ASSERT_EQ(c.size(), 86u);
    EXPECT_EQ(c[24].data, std::vector<float>(light_ambient, light_ambient + 4));
    const GlCall &scope = c[19];
    EXPECT_EQ(scope.arrays, GLREC_VERTEX | GLREC_COLOR);
    ASSERT_EQ(scope.data.size(), 1024u * 3);
    EXPECT_EQ(scope.data[0], -1.0f);
    EXPECT_EQ(scope.data[3 * 1023], 0.998046875f);
    EXPECT_EQ(scope.data[3 * 512], 0.0f);
    EXPECT_EQ(scope.data[2], -0.3f);
    ASSERT_EQ(scope.colors.size(), 1024u * 4);
    EXPECT_EQ(scope.colors[0], 1.0f);  // white at the ends
    EXPECT_NEAR(scope.colors[4 * 1023], 1.0f, 0.01f);
    EXPECT_NEAR(scope.colors[4 * 512], 0.0f, 1e-6);  // black in the middle
    EXPECT_EQ(scope.colors[4 * 512 + 3], 1.0f);

    const GlCall &petal = c[33];
    EXPECT_EQ(petal.arrays, GLREC_VERTEX | GLREC_NORMAL);
    ASSERT_EQ(petal.data.size(), 378u * 3);
    EXPECT_EQ(petal.data[0], 0.0f);  // silence: no tremble, the petal starts at the origin
    EXPECT_EQ(petal.normals.size(), 378u * 3);
    const GlCall &outline = c[62];
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
    const double p4 = paramf[4];
    std::vector<Want> want = setup(paramf[8], paramf[5], -18.0f * paramf[6], spin_angle);
    append_flower(want, (float)(0.82 * p4), (float)(0.87 * p4), (float)(0.95 * p4));
    expect_calls(want);
    EXPECT_FLOAT_EQ(p4, 25 * 0.001171875f);  // row 12 brightness after one step
    for (const GlCall &c : glrec_calls()) EXPECT_EQ(c.arrays & GLREC_COLOR, 0u) << c.name;

    // Bar 47 still draws the trace.
    glrec_clear();
    syna_counter = 4070606;
    osa(0);
    EXPECT_EQ(beat, 47);
    EXPECT_EQ(glrec_calls().size(), 86u);
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
