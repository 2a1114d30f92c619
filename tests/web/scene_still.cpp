/* scene_still.cpp - pictures of the show at song positions, drawn off
 * screen, for comparing the GLES 1.x layer with OpenGL ES 1.x and the
 * browser page with the native picture.
 *
 * Usage: scene_still [--fps N] [--size WxH] [T:FILE.png | PATTERN:FILE.png]...
 *   T        a song position in ms; positions must come in rising order.
 *            The show is replayed on the fixed frame clock of replay.h
 *            (default 60 frames per second) and the frame at T is saved.
 *   PATTERN  "lighting" or "lines": small fixed scenes that exercise the
 *            lighting and the wide lines with GLES 1.x calls.
 * The viewport is the display layer's letterbox for 640 x 480 (the whole
 * picture at the default 640x480 size).
 *
 * It is built twice from this file: scene_still_gles1 draws through
 * libGLESv1_CM on an OpenGL ES 1.x context, scene_still_gles2 through the
 * gles1on2 layer on an OpenGL ES 2.0 context. Both use Mesa's surfaceless
 * EGL platform with a pbuffer: no X server. The gles2 build skips drawing
 * the frames before each saved one (the scene's state still follows them).
 */
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "png_image.h"
#include "replay.h"
#include "show.h"
#include "song.h"
#include "syna.h"
#include "tavelo.h"
#if STILL_GLES == 2
#include "gles1on2.h"
#endif

namespace {

int fail(const char *what) {
    std::fprintf(stderr, "scene_still: %s (EGL error 0x%04X)\n", what, (unsigned)eglGetError());
    return 1;
}

bool open_context(int width, int height) {
    auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!get_platform_display) return false;
    EGLDisplay dpy =
        get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY || !eglInitialize(dpy, nullptr, nullptr)) return false;
    const EGLint config_attributes[] = {
        EGL_RED_SIZE,
        8,
        EGL_GREEN_SIZE,
        8,
        EGL_BLUE_SIZE,
        8,
        EGL_ALPHA_SIZE,
        8,
        EGL_DEPTH_SIZE,
        16,
        EGL_SURFACE_TYPE,
        EGL_PBUFFER_BIT,
        EGL_RENDERABLE_TYPE,
        STILL_GLES == 2 ? EGL_OPENGL_ES2_BIT : EGL_OPENGL_ES_BIT,
        EGL_NONE,
    };
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(dpy, config_attributes, &config, 1, &count) || count < 1) return false;
    const EGLint surface_attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(dpy, config, surface_attributes);
    if (surface == EGL_NO_SURFACE) return false;
    eglBindAPI(EGL_OPENGL_ES_API);
    const EGLint context_attributes[] = {EGL_CONTEXT_CLIENT_VERSION, STILL_GLES, EGL_NONE};
    EGLContext context = eglCreateContext(dpy, config, EGL_NO_CONTEXT, context_attributes);
    if (context == EGL_NO_CONTEXT) return false;
    return eglMakeCurrent(dpy, surface, surface, context) == EGL_TRUE;
}

// The GL state the display layer leaves for the scene.
void display_setup(int width, int height) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    const tavelo_rect v = tavelo_viewport((unsigned)width, (unsigned)height, 640, 480);
    glViewport(v.x, v.y, v.width, v.height);
    glEnable(GL_SCISSOR_TEST);
    glScissor(v.x, v.y, v.width, v.height);
}

bool save(const std::string &path, int width, int height) {
    glFinish();
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize((size_t)width * (size_t)height * 4);
    std::vector<uint8_t> rows(image.pixels.size());
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    // GL's rows run bottom-up.
    const size_t stride = (size_t)width * 4;
    for (int y = 0; y < height; y++)
        std::memcpy(&image.pixels[(size_t)y * stride], &rows[(size_t)(height - 1 - y) * stride],
                    stride);
    std::string error;
    if (!png_write(path, image, error)) {
        std::fprintf(stderr, "scene_still: %s\n", error.c_str());
        return false;
    }
    return true;
}

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

void set_drawing(bool on) {
#if STILL_GLES == 2
    gles1on2_set_drawing(on ? 1 : 0);
#else
    (void)on;
#endif
}

}  // namespace

int main(int argc, char **argv) {
    int fps = 60, width = 640, height = 480;
    std::vector<std::pair<std::string, std::string>> jobs;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (a == "--fps" && i + 1 < argc) {
            fps = std::atoi(argv[++i]);
        } else if (a == "--size" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2) width = 0;
        } else if (a.find(':') != std::string::npos) {
            jobs.emplace_back(a.substr(0, a.find(':')), a.substr(a.find(':') + 1));
        } else {
            std::fprintf(stderr,
                         "usage: %s [--fps N] [--size WxH] T:FILE.png|PATTERN:FILE.png...\n",
                         argv[0]);
            return 2;
        }
    }
    if (fps <= 0 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "scene_still: bad --fps or --size\n");
        return 2;
    }
    if (!open_context(width, height)) return fail("no off-screen OpenGL ES context");

    bool song_ready = false;
    int next_frame = 0;
    for (const auto &[what, path] : jobs) {
        display_setup(width, height);
        if (what == "lighting" || what == "lines") {
            if (what == "lighting")
                pattern_lighting();
            else
                pattern_lines();
            if (!save(path, width, height)) return 1;
            continue;
        }
        if (!song_ready) {
            syna_init(SHOW_RATE);
            if (syna_get(biisi) < 0) {
                std::fprintf(stderr, "scene_still: the song was rejected: %s\n", syna_error());
                return 1;
            }
            show_prerender(nullptr);
            song_ready = true;
        }
        const int last = replay_last_frame(std::atoi(what.c_str()), fps);
        if (last < next_frame) {
            std::fprintf(stderr, "scene_still: positions must rise (%s)\n", what.c_str());
            return 2;
        }
        set_drawing(false);
        replay_run(next_frame, last - 1, fps);
        set_drawing(true);
        replay_run(last, last, fps);
        next_frame = last + 1;
        if (!save(path, width, height)) return 1;
    }
    return 0;
}
