// tavelo_open, tavelo_flip and tavelo_close on a private Xvfb, and
// tavelo_open where there is no X display to be had.
// GoogleTest first: Xlib defines macros (None, Bool) that it trips over.
#include <gtest/gtest.h>

#include "tavelo.h"
#include "xvfb_server.h"

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <SDL/SDL.h>
#include <SDL/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// Points the process at `display` with SDL free to pick its driver.
void use_display(const char *display) {
    if (display)
        setenv("DISPLAY", display, 1);
    else
        unsetenv("DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
}

// A display number in :90..:99 with no server on it, searched from the top
// while the Xvfb helper searches from the bottom.
std::string unused_display() {
    for (int n = 99; n >= 90; --n) {
        if (access(numbered("/tmp/.X", n, "-lock").c_str(), F_OK) != 0 &&
            access(numbered("/tmp/.X11-unix/X", n).c_str(), F_OK) != 0)
            return numbered(":", n);
    }
    return "";
}

// The colour of one screen pixel as the X server has it, 0xRRGGBB. The
// picture goes to the server on SDL's connection, so this reads it on a
// connection of its own.
unsigned long screen_pixel(Display *dpy, int x, int y) {
    XSync(dpy, False);
    XImage *image = XGetImage(dpy, DefaultRootWindow(dpy), x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return 0xdeadbeef;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xffffff;
    XDestroyImage(image);
    return pixel;
}

// Waits (within a generous bound) for the server to show `want` at (x, y).
unsigned long await_pixel(Display *dpy, int x, int y, unsigned long want) {
    unsigned long got = screen_pixel(dpy, x, y);
    for (int i = 0; i < 200 && got != want; ++i) {
        usleep(10000);
        got = screen_pixel(dpy, x, y);
    }
    return got;
}

// One glGetIntegerv value per name, or the `count` values of one name.
std::vector<GLint> gl_ints(std::initializer_list<GLenum> names, int count = 1) {
    std::vector<GLint> values;
    for (GLenum name : names) {
        GLint v[4] = {-1, -1, -1, -1};
        glGetIntegerv(name, v);
        values.insert(values.end(), v, v + count);
    }
    return values;
}

}  // namespace

TEST(DisplayOpen, FullScreenContextOnXvfb) {
    Xvfb server;
    if (!server.running()) GTEST_SKIP() << "no Xvfb could be started on :90 to :99";
    use_display(server.display().c_str());

    ASSERT_EQ(tavelo_open(640, 480, 32, 0), 0) << tavelo_error();
    EXPECT_STREQ(tavelo_error(), "");
    // The driver choice made for SDL does not leak into the environment.
    EXPECT_EQ(std::getenv("SDL_VIDEODRIVER"), nullptr);

    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(std::strncmp(version, "OpenGL ES-CM 1.", 15), 0) << version;

    // 640x480 on 1280x720: pillarboxed to 960x720 in the middle.
    using Ints = std::vector<GLint>;
    EXPECT_EQ(gl_ints({GL_VIEWPORT}, 4), (Ints{160, 0, 960, 720}));
    EXPECT_EQ(gl_ints({GL_SCISSOR_BOX}, 4), (Ints{160, 0, 960, 720}));
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(std::vector<GLfloat>(clear, clear + 4),
              (std::vector<GLfloat>{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(gl_ints({GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_ALPHA_BITS}),
              (Ints{8, 8, 8, 8}));
    EXPECT_GE(gl_ints({GL_DEPTH_BITS})[0], 16);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // A clear reaches only the viewport; the flip puts it on the screen.
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    tavelo_flip();
    Display *viewer = XOpenDisplay(server.display().c_str());
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(await_pixel(viewer, 640, 360, 0xff0000), 0xff0000u);
    EXPECT_EQ(screen_pixel(viewer, 1100, 700), 0xff0000u);
    EXPECT_EQ(screen_pixel(viewer, 159, 360), 0x000000u);
    EXPECT_EQ(screen_pixel(viewer, 1120, 10), 0x000000u);

    // Closing shuts SDL down entirely, and the display opens again.
    tavelo_close();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
    ASSERT_EQ(tavelo_open(1280, 720, 32, 0), 0) << tavelo_error();
    EXPECT_EQ(gl_ints({GL_VIEWPORT}, 4), (Ints{0, 0, 1280, 720}));
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    tavelo_flip();
    EXPECT_EQ(await_pixel(viewer, 10, 10, 0x0000ff), 0x0000ffu);
    tavelo_close();
    XCloseDisplay(viewer);
}

TEST(DisplayOpen, EscapeTypedIntoTheWindowReachesSdl) {
    Xvfb server;
    if (!server.running()) GTEST_SKIP() << "no Xvfb could be started on :90 to :99";
    if (system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdotool";
    use_display(server.display().c_str());
    ASSERT_EQ(tavelo_open(640, 480, 32, 0), 0) << tavelo_error();

    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_EQ(SDL_GetWMInfo(&info), 1);
    const std::string command = numbered(
        "xdotool key --window ", static_cast<long>(info.info.x11.window), " a Escape 2>/dev/null");
    ASSERT_EQ(system(command.c_str()), 0);
    // The keys are on their way through the server; give them a moment.
    int got = 0;
    for (int i = 0; i < 500 && got == 0; ++i) {
        got = tavelo_exitevent();
        if (got == 0) usleep(10000);
    }
    EXPECT_EQ(got, 1);
    tavelo_close();
}

TEST(DisplayOpen, NoDisplayIsReportedNotPaperedOver) {
    const std::string nowhere = unused_display();
    ASSERT_FALSE(nowhere.empty());

    // The audio side of SDL may already run; a failed open leaves it be.
    ASSERT_EQ(SDL_Init(SDL_INIT_TIMER), 0);

    use_display(nowhere.c_str());
    EXPECT_EQ(tavelo_open(640, 480, 32, 0), -1);
    EXPECT_NE(std::strstr(tavelo_error(), "no X display reachable"), nullptr) << tavelo_error();
    EXPECT_NE(std::strstr(tavelo_error(), nowhere.c_str()), nullptr) << tavelo_error();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    EXPECT_NE(SDL_WasInit(SDL_INIT_TIMER), 0u);
    EXPECT_EQ(std::getenv("SDL_VIDEODRIVER"), nullptr);

    use_display(nullptr);
    EXPECT_EQ(tavelo_open(640, 480, 32, 0), -1);
    EXPECT_NE(std::strstr(tavelo_error(), "DISPLAY is not set"), nullptr) << tavelo_error();

    // A driver chosen by the user is kept, and one without X is refused.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    EXPECT_EQ(tavelo_open(640, 480, 32, 0), -1);
    EXPECT_NE(std::strstr(tavelo_error(), "\"dummy\""), nullptr) << tavelo_error();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    ASSERT_NE(std::getenv("SDL_VIDEODRIVER"), nullptr);
    EXPECT_STREQ(std::getenv("SDL_VIDEODRIVER"), "dummy");
    setenv("SDL_VIDEODRIVER", "x11", 1);
    EXPECT_EQ(tavelo_open(640, 480, 32, 0), -1);
    EXPECT_NE(std::strstr(tavelo_error(), "\"x11\" failed"), nullptr) << tavelo_error();
    unsetenv("SDL_VIDEODRIVER");

    // What the driver does next must not crash either.
    tavelo_flip();
    tavelo_close();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
}

// Run by display.cmake with EGL's vendor list pointing at nothing, so that
// EGL exists but has no implementation behind it; skipped otherwise, since
// the vendor list is read once per process.
TEST(DisplayOpen, UnusableEglIsReported) {
    const char *vendors = std::getenv("__EGL_VENDOR_LIBRARY_FILENAMES");
    if (vendors == nullptr || access(vendors, F_OK) == 0)
        GTEST_SKIP() << "needs __EGL_VENDOR_LIBRARY_FILENAMES=<no such file>";
    Xvfb server;
    if (!server.running()) GTEST_SKIP() << "no Xvfb could be started on :90 to :99";
    use_display(server.display().c_str());

    EXPECT_EQ(tavelo_open(640, 480, 32, 0), -1);
    EXPECT_EQ(std::strncmp(tavelo_error(), "EGL: ", 5), 0) << tavelo_error();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    // Once more, to see that the failed attempt left nothing behind.
    EXPECT_EQ(tavelo_open(640, 480, 32, 0), -1);
    EXPECT_EQ(std::strncmp(tavelo_error(), "EGL: ", 5), 0) << tavelo_error();
    tavelo_close();
}
