/* layer_patterns.cpp - two small fixed scenes drawn with GLES 1.x calls,
 * for comparing the GLES 1.x layer (gles1on2) with OpenGL ES 1.x where the
 * show alone would not reach: "lighting" (normals at many angles, scaling,
 * GL_NORMALIZE, colour material on and off, a moved light, light 0 off) and
 * "lines" (1, 3 and 5 pixels wide, colour arrays, strips, loops, depth).
 *
 * Usage: layer_patterns lighting:FILE.png lines:FILE.png ...
 *
 * Built twice from this file: layer_patterns_gles1 draws through
 * libGLESv1_CM, layer_patterns_gles2 through the layer on OpenGL ES 2.0.
 * Both open the display layer's off-screen 640 x 480 context (Mesa's
 * surfaceless EGL: no X server), with the GL state it gives the scene.
 */
#include <GLES/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "png_image.h"
#include "tavelo.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// Lit triangles: normals at many angles, a scaled modelview (so that
// GL_NORMALIZE matters), colour material on and off, a light moved by the
// modelview, and light 0 switched off.
void pattern_lighting() {
    glClearColor(0.1f, 0.1f, 0.3f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrthof(-4.0f, 4.0f, -3.0f, 3.0f, -10.0f, 10.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_LIGHTING);
    const float ambient[4] = {0.2f, 0.2f, 0.2f, 0.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glEnable(GL_LIGHT0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    static const float quad[] = {-0.4f, -0.4f, 0, 0.4f, -0.4f, 0, 0.4f,  0.4f, 0,
                                 -0.4f, -0.4f, 0, 0.4f, 0.4f,  0, -0.4f, 0.4f, 0};
    static float normals[6 * 3];
    glVertexPointer(3, GL_FLOAT, 0, quad);
    glNormalPointer(GL_FLOAT, 0, normals);
    for (int row = 0; row < 6; row++) {
        for (int col = 0; col < 8; col++) {
            // Normals swinging from facing the light to facing away.
            const float a = (float)col * 0.45f - 1.6f, b = (float)row * 0.5f - 1.2f;
            for (int k = 0; k < 6; k++) {
                normals[3 * k] = a * (row == 5 ? 3.0f : 1.0f);
                normals[3 * k + 1] = b;
                normals[3 * k + 2] = 1.0f;
            }
            glPushMatrix();
            glTranslatef((float)col - 3.5f, (float)row - 2.5f, 0.0f);
            if (row >= 3) glScalef(1.0f, 0.5f, 2.0f);  // a normal matrix that is no rotation
            if (row == 4) glEnable(GL_NORMALIZE);
            if (row == 1 || row == 4) glEnable(GL_COLOR_MATERIAL);
            glColor4f(0.9f, 0.5f * (float)(col % 3), 0.3f, 1.0f);
            if (row == 2 && col >= 4) glDisable(GL_LIGHT0);
            glDrawArrays(GL_TRIANGLES, 0, 6);
            glEnable(GL_LIGHT0);
            glDisable(GL_NORMALIZE);
            glDisable(GL_COLOR_MATERIAL);
            glPopMatrix();
        }
        if (row == 3) {
            // The light from another direction, taken through the modelview.
            glPushMatrix();
            glRotatef(35.0f, 1.0f, 1.0f, 0.0f);
            const float position[4] = {0.0f, 0.0f, 1.0f, 0.0f};
            glLightfv(GL_LIGHT0, GL_POSITION, position);
            glPopMatrix();
        }
    }
}

// Lines 1, 3 and 5 pixels wide at many angles, with colour arrays, strips,
// loops, and a line partly hidden by a triangle through the depth test.
void pattern_lines() {
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustumf(-0.01f, 0.01f, -0.0075f, 0.0075f, 0.01f, 100.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -2.0f);
    glDisable(GL_LIGHTING);
    // The lighting pattern's normals hold six vertices: no normal array here.
    glDisableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    static float star[32 * 3], colors[32 * 4];
    const float widths[3] = {1.0f, 3.0f, 5.0f};
    for (int w = 0; w < 3; w++) {
        for (int k = 0; k < 16; k++) {
            const float angle = (float)k * 0.19634954f + 0.05f;
            const float cx = (float)w * 0.7f - 0.7f;
            star[6 * k] = cx + 0.05f * std::cos(angle);
            star[6 * k + 1] = 0.3f + 0.05f * std::sin(angle);
            star[6 * k + 2] = 0.0f;
            star[6 * k + 3] = cx + 0.3f * std::cos(angle);
            star[6 * k + 4] = 0.3f + 0.3f * std::sin(angle);
            star[6 * k + 5] = 0.0f;
            for (int e = 0; e < 2; e++) {
                float *c = &colors[8 * k + 4 * e];
                c[0] = e ? 1.0f : 0.0f;
                c[1] = (float)k / 16.0f;
                c[2] = e ? 0.0f : 1.0f;
                c[3] = 1.0f;
            }
        }
        glVertexPointer(3, GL_FLOAT, 0, star);
        glColorPointer(4, GL_FLOAT, 0, colors);
        glLineWidth(widths[w]);
        glDrawArrays(GL_LINES, 0, 32);
    }
    // A strip and a loop, 3 pixels wide, in one colour.
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    static float wave[40 * 3];
    for (int k = 0; k < 40; k++) {
        wave[3 * k] = (float)k * 0.04f - 0.8f;
        wave[3 * k + 1] = -0.35f + 0.1f * std::sin((float)k * 0.5f);
        wave[3 * k + 2] = 0.0f;
    }
    glLineWidth(3.0f);
    glVertexPointer(3, GL_FLOAT, 0, wave);
    glDrawArrays(GL_LINE_STRIP, 0, 40);
    glDrawArrays(GL_LINE_LOOP, 0, 5);
    // A grey triangle in front hides the middle of a line behind it.
    static const float tri[] = {-0.2f, -0.7f, 0.5f, 0.2f, -0.7f, 0.5f, 0.0f, -0.45f, 0.5f};
    static const float behind[] = {-0.6f, -0.6f, -0.5f, 0.6f, -0.6f, -0.5f};
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    glVertexPointer(3, GL_FLOAT, 0, tri);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glColor4f(0.8f, 0.0f, 0.0f, 1.0f);
    glVertexPointer(3, GL_FLOAT, 0, behind);
    glDrawArrays(GL_LINES, 0, 2);
}

bool save(const std::string &path) {
    std::vector<uint8_t> rows((size_t)kWidth * kHeight * 4);
    if (tavelo_readpixels(rows.data()) < 0) {
        std::fprintf(stderr, "layer_patterns: cannot read the picture back\n");
        return false;
    }
    RgbaImage image;
    image.width = kWidth;
    image.height = kHeight;
    image.pixels.resize(rows.size());
    const size_t stride = (size_t)kWidth * 4;  // GL's rows run bottom-up
    for (int y = 0; y < kHeight; y++)
        std::memcpy(&image.pixels[(size_t)y * stride], &rows[(size_t)(kHeight - 1 - y) * stride],
                    stride);
    std::string error;
    if (png_write(path, image, error)) return true;
    std::fprintf(stderr, "layer_patterns: %s\n", error.c_str());
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    if (tavelo_open_offscreen(kWidth, kHeight, kWidth, kHeight) < 0) {
        std::fprintf(stderr, "layer_patterns: %s\n", tavelo_error());
        return 1;
    }
    int status = 0;
    for (int i = 1; i < argc && status == 0; i++) {
        const std::string job = argv[i];
        const size_t colon = job.find(':');
        const std::string what = job.substr(0, colon);
        if (colon == std::string::npos || (what != "lighting" && what != "lines")) {
            std::fprintf(stderr, "usage: %s lighting:FILE.png|lines:FILE.png...\n", argv[0]);
            status = 2;
        } else {
            if (what == "lighting")
                pattern_lighting();
            else
                pattern_lines();
            if (!save(job.substr(colon + 1))) status = 1;
        }
    }
    tavelo_close();
    return status;
}
