// The GLES 1.x layer: its matrix and wide-line arithmetic, and its behaviour
// on a real OpenGL ES 2.0 context (Mesa's surfaceless platform, off screen).
#include <GLES/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "geometry.h"
#include "gles1on2.h"
#include "offscreen.h"

namespace {

using g12::Mat4;
using g12::Vertex;

void expect_mat(const Mat4 &m, const std::vector<float> &want) {
    for (int i = 0; i < 16; i++) EXPECT_NEAR(m.m[i], want[(size_t)i], 1e-5) << "element " << i;
}

TEST(Gles1on2Matrices, AsGlBuildsThem) {
    // The scene's projection: 90 degrees across, 4:3.
    expect_mat(g12::frustum(-0.01f, 0.01f, -0.0075f, 0.0075f, 0.01f, 1135.0f),
               {1, 0, 0, 0, 0, 1.3333333f, 0, 0, 0, 0, -1.0000176f, -1, 0, 0, -0.0200002f, 0});
    // A quarter turn about z takes x to y.
    expect_mat(g12::rotation(90.0f, 0, 0, 2), {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    // The axis need not be of unit length; no axis leaves the matrix alone.
    expect_mat(g12::rotation(33.0f, 0, 0, 0), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    expect_mat(g12::ortho(0, 4, 0, 2, -1, 1),
               {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, -1, -1, 0, 1});
    // Composition order: translate then rotate moves the rotated point.
    const Mat4 m = g12::multiply(g12::translation(1, 2, 3), g12::rotation(90.0f, 0, 0, 1));
    const float p[4] = {1, 0, 0, 1};
    float q[4];
    g12::transform(m, p, q);
    EXPECT_NEAR(q[0], 1.0f, 1e-6);
    EXPECT_NEAR(q[1], 3.0f, 1e-6);
    EXPECT_NEAR(q[2], 3.0f, 1e-6);
    EXPECT_NEAR(q[3], 1.0f, 1e-6);
}

TEST(Gles1on2Matrices, NormalMatrixUndoesScaling) {
    float n[9];
    // Squashing y by 2 tilts a 45-degree surface's normal toward y.
    g12::normal_matrix(g12::multiply(g12::scaling(1, 0.5f, 4), g12::translation(5, 6, 7)), n);
    const std::vector<float> want = {1, 0, 0, 0, 2, 0, 0, 0, 0.25f};
    for (int i = 0; i < 9; i++) EXPECT_NEAR(n[i], want[(size_t)i], 1e-6) << i;
    // A rotation is its own normal matrix.
    const Mat4 r = g12::rotation(40.0f, 1, 2, 3);
    g12::normal_matrix(r, n);
    for (int c = 0; c < 3; c++)
        for (int row = 0; row < 3; row++) EXPECT_NEAR(n[c * 3 + row], r.m[c * 4 + row], 1e-6);
    g12::normal_matrix(g12::scaling(1, 0, 1), n);
    for (float v : n) EXPECT_EQ(v, 0.0f);
}

Vertex at(float x, float y, float z, float w, float red = 0) {
    Vertex v{};
    v.pos[0] = x;
    v.pos[1] = y;
    v.pos[2] = z;
    v.pos[3] = w;
    v.color[0] = red;
    return v;
}

TEST(Gles1on2Lines, WidenedAcrossTheMinorAxis) {
    std::vector<Vertex> out;
    // Mostly across (x-major) in a 200 x 100 viewport: 3 pixels tall.
    g12::widen_segment(at(-0.5f, 0, 0, 1), at(0.5f, 0.4f, 0, 1), 3.0f, 200, 100, out);
    ASSERT_EQ(out.size(), 6u);
    float ymin = 1e9f, ymax = -1e9f;
    for (const Vertex &v : out) {
        if (v.pos[0] == -0.5f) {
            ymin = std::fmin(ymin, v.pos[1]);
            ymax = std::fmax(ymax, v.pos[1]);
        }
        EXPECT_TRUE(v.pos[0] == -0.5f || v.pos[0] == 0.5f);  // not lengthened
    }
    EXPECT_NEAR((ymax - ymin) * 100 / 2, 3.0f, 1e-5);  // in pixels

    // Mostly up (y-major), with w = 2: the offset scales with w so that it
    // is 5 pixels wide after the division.
    out.clear();
    g12::widen_segment(at(0, -1, 0, 2), at(0.2f, 1, 0, 2), 5.0f, 200, 100, out);
    ASSERT_EQ(out.size(), 6u);
    float xmin = 1e9f, xmax = -1e9f;
    for (const Vertex &v : out) {
        if (v.pos[1] == -1.0f) {
            xmin = std::fmin(xmin, v.pos[0] / v.pos[3]);
            xmax = std::fmax(xmax, v.pos[0] / v.pos[3]);
        }
    }
    EXPECT_NEAR((xmax - xmin) * 200 / 2, 5.0f, 1e-5);
}

TEST(Gles1on2Lines, CutAtTheNearPlane) {
    std::vector<Vertex> out;
    // Wholly behind the eye: nothing.
    g12::widen_segment(at(0, 0, -3, 1), at(1, 0, -2, 1), 3.0f, 100, 100, out);
    EXPECT_TRUE(out.empty());
    // From behind to in front: the hidden end moves to z = -w, its colour
    // with it, and nothing is divided by a w at or below 0.
    g12::widen_segment(at(0, 0, -3, -1, 0.0f), at(1, 0, 0, 1, 1.0f), 3.0f, 100, 100, out);
    ASSERT_EQ(out.size(), 6u);
    for (const Vertex &v : out) {
        EXPECT_GE(v.pos[2] + v.pos[3], -1e-6f);
        EXPECT_GT(v.pos[3], 0.0f);
        if (v.pos[3] < 1.0f) {
            EXPECT_NEAR(v.color[0], 0.8f, 1e-6);  // four fifths of the way along
        }
    }
}

// An OpenGL ES 2.0 context without any window system.
class Gles1on2Context : public ::testing::Test {
protected:
    static constexpr int kSize = 32;
    offscreen_gl gl{};

    void SetUp() override {
        char error[256] = "";
        ASSERT_EQ(offscreen_context(2, kSize, kSize, &gl, error, sizeof error), 0) << error;
        ASSERT_EQ(gles1on2_init(), 0) << gles1on2_error();
    }
    void TearDown() override { offscreen_release(&gl); }

    static std::vector<unsigned char> pixel(int x, int y) {
        std::vector<unsigned char> p(4);
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
        return {p[0], p[1], p[2]};
    }
    static void full_quad() {
        static const float quad[] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, -1, 0, 1, 1, 0, -1, 1, 0};
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, quad);
        glDrawArrays(GL_TRIANGLES, 0, 6);
    }
};

TEST_F(Gles1on2Context, NamesItselfAGles1Context) {
    const std::string version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    EXPECT_EQ(version.rfind("OpenGL ES-CM 1.1 gles1on2 on OpenGL ES ", 0), 0u) << version;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_STREQ(gles1on2_error(), "");
}

TEST_F(Gles1on2Context, UnsupportedRequestsAreIgnoredAndReported) {
    glEnable(GL_FOG);
    glEnable(GL_TEXTURE_2D);  // only the first is named
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_ENUM);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_NE(std::string(gles1on2_error()).find("capability 0x0B60"), std::string::npos)
        << gles1on2_error();

    glMatrixMode(GL_TEXTURE);
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_ENUM);
    const float pos[4] = {0, 0, 1, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, pos);  // positional
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_ENUM);
    glLightfv(GL_LIGHT1, GL_AMBIENT, pos);
    EXPECT_EQ(glGetError(), (GLenum)GL_INVALID_ENUM);
}

TEST_F(Gles1on2Context, MatrixStacksKeepTheirDepth) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glPushMatrix();  // the projection stack holds two
    EXPECT_EQ(glGetError(), (GLenum)GL_STACK_OVERFLOW);
    glPopMatrix();
    glPopMatrix();
    EXPECT_EQ(glGetError(), (GLenum)GL_STACK_UNDERFLOW);

    // A pushed and popped modelview draws where it did before: a quad moved
    // off screen inside the push does not stay moved.
    glMatrixMode(GL_MODELVIEW);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 0, 0, 1);
    glPushMatrix();
    glTranslatef(5, 0, 0);
    glPopMatrix();
    full_quad();
    EXPECT_EQ(pixel(16, 16), (std::vector<unsigned char>{255, 0, 0}));
}

TEST_F(Gles1on2Context, LightingFollowsGlsEquation) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_LIGHTING);
    glEnableClientState(GL_NORMAL_ARRAY);
    // A normal 60 degrees off the light: N.L = 0.5, length 2 without
    // GL_NORMALIZE.
    const float n = std::sqrt(3.0f);
    static float normals[6 * 3];
    for (int k = 0; k < 6; k++) {
        normals[3 * k] = n;
        normals[3 * k + 1] = 0;
        normals[3 * k + 2] = 1;
    }
    glNormalPointer(GL_FLOAT, 0, normals);

    // Light 0 off: only the scene ambient 0.2 on the default material's 0.2.
    glDisable(GL_LIGHT0);
    full_quad();
    EXPECT_EQ(pixel(5, 5), (std::vector<unsigned char>{10, 10, 10}));

    // Light 0 on, colour material, normalised: 0.5 * 0.2 (ambient) + 0.5 *
    // 0.5 (N.L times the diffuse colour).
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(0.5f, 0.5f, 0.5f, 1);
    glEnable(GL_NORMALIZE);
    full_quad();
    EXPECT_NEAR(pixel(5, 5)[0], 0.35 * 255, 1.0);

    // Unnormalised, the normal's length 2 doubles the diffuse term.
    glDisable(GL_NORMALIZE);
    full_quad();
    EXPECT_NEAR(pixel(5, 5)[0], (0.1 + 0.5) * 255, 1.0);

    // After colour material is off, the material keeps the last colour.
    glDisable(GL_COLOR_MATERIAL);
    glColor4f(1, 0, 0, 1);
    glEnable(GL_NORMALIZE);
    full_quad();
    EXPECT_NEAR(pixel(5, 5)[1], 0.35 * 255, 1.0);
}

TEST(Gles1on2NoContext, InitFailsAndCallsDoNothing) {
    ASSERT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
    EXPECT_EQ(gles1on2_init(), -1);
    EXPECT_NE(std::string(gles1on2_error()).find("no OpenGL ES context"), std::string::npos);
    EXPECT_EQ(glGetString(GL_VERSION), nullptr);
    glDrawArrays(GL_TRIANGLES, 0, 3);  // no crash, nothing to draw on
}

}  // namespace
