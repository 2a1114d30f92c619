// The off-screen backend: a pbuffer with no X server, the viewport rule of
// the screen applied to its size, and the picture read back bottom row
// first.
#include <GLES/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tavelo.h"

namespace {

struct Rgba {
    int r, g, b;
};

Rgba at(const std::vector<unsigned char> &p, int w, int x, int y_from_bottom) {
    const size_t i = 4 * ((size_t)y_from_bottom * (size_t)w + (size_t)x);
    return {p[i], p[i + 1], p[i + 2]};
}

}  // namespace

TEST(Offscreen, PillarboxedViewportReadBackWithoutAnyDisplay) {
    unsetenv("DISPLAY");  // no window system is needed
    // 160 x 90 with a 640 x 480 picture: viewport 20, 0, 120, 90.
    ASSERT_EQ(tavelo_open_offscreen(160, 90, 640, 480), 0) << tavelo_error();
    EXPECT_EQ(tavelo_exitevent(), 0);
    // A clear reaches only the viewport; a red band in its lowest 10 rows.
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(20, 0, 120, 10);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    tavelo_flip();
    std::vector<unsigned char> p(160 * 90 * 4);
    ASSERT_EQ(tavelo_readpixels(p.data()), 0);

    const Rgba bar = at(p, 160, 10, 45), right_bar = at(p, 160, 150, 45);
    EXPECT_EQ(bar.r + bar.g + bar.b, 0) << "left bar drawn into";
    EXPECT_EQ(right_bar.r + right_bar.g + right_bar.b, 0) << "right bar drawn into";
    const Rgba blue = at(p, 160, 80, 45), red = at(p, 160, 80, 2);
    EXPECT_EQ(blue.b, 255);
    EXPECT_EQ(blue.r, 0);
    EXPECT_EQ(red.r, 255) << "row 0 of the buffer is the bottom of the picture";
    EXPECT_EQ(at(p, 160, 19, 2).r, 0);    // just left of the viewport
    EXPECT_EQ(at(p, 160, 20, 2).r, 255);  // its first column
    EXPECT_EQ(at(p, 160, 139, 2).r, 255);
    EXPECT_EQ(at(p, 160, 140, 2).r, 0);

    // Open twice is refused; after closing it opens again.
    EXPECT_EQ(tavelo_open_offscreen(160, 90, 640, 480), -1);
    tavelo_close();
    EXPECT_EQ(tavelo_readpixels(p.data()), -1);
    ASSERT_EQ(tavelo_open_offscreen(64, 64, 640, 480), 0) << tavelo_error();
    tavelo_close();
}

TEST(Offscreen, EmptySizeIsRefused) {
    EXPECT_EQ(tavelo_open_offscreen(0, 90, 640, 480), -1);
    EXPECT_NE(std::string(tavelo_error()), "");
    EXPECT_EQ(tavelo_readpixels(nullptr), -1);
}
