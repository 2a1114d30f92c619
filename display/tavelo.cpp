/* tavelo.cpp - the display layer: one OpenGL ES 1.x context.
 *
 * Usage: tavelo_open(640, 480, 32, 0) once; if it returns -1, print
 * tavelo_error() and stop. Then draw with GL, tavelo_flip() per frame,
 * tavelo_exitevent() to ask for Escape or a quit request, and
 * tavelo_close() at the end (which also ends SDL, the audio device
 * included). Off screen, tavelo_open_offscreen takes the place of
 * tavelo_open and tavelo_readpixels fetches each picture.
 *
 * The picture covers the whole screen (or window, or pbuffer); the
 * requested size only shapes a centred viewport (with the scissor box on
 * it, so clears stay inside), letterboxed or pillarboxed, with a
 * pixel-aspect and overscan correction for 720x480 and 720x576 TV outputs.
 * The window comes from the platform layer (platform.h), the pbuffer from
 * offscreen.h; SDL is used for the cursor and for events on screen only.
 *
 * Limitations: one display per process, every call on the thread that
 * opened it. The bpp and flags arguments are accepted and ignored: the
 * EGL configuration is always RGBA 8/8/8/8 with a 16-bit depth buffer.
 * Nothing is checked after tavelo_open succeeded: a failing swap or
 * shutdown step goes unnoticed.
 */
#include "tavelo.h"
#include "egl_teardown.h"

#include "console.h"
#include "offscreen.h"
#include "platform.h"
#include "xprobe.h"

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <SDL/SDL.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

EGLDisplay egl_display = EGL_NO_DISPLAY;
EGLContext egl_context = EGL_NO_CONTEXT;
EGLSurface egl_surface = EGL_NO_SURFACE;
unsigned screen_width = 0;
unsigned screen_height = 0;
EGLNativeWindowType native_window{};
bool is_open = false;
bool is_offscreen = false;
int window_w = 0, window_h = 0;  // 0: full screen
offscreen_gl pbuffer = {EGL_NO_DISPLAY, EGL_NO_CONTEXT, EGL_NO_SURFACE};
int backend = TAVELO_AUTO;
bool is_console = false;
console_gl console = {EGL_NO_DISPLAY, EGL_NO_CONTEXT, EGL_NO_SURFACE, 0, 0};
// The record tavelo_exitevent polls into, reused for every event.
SDL_Event event;
char error_text[256] = "";

// The OpenGL ES version of the context: 1, EGL's default, unless the build
// draws through the GLES 1.x layer over OpenGL ES 2.0 (tavelo_gles2).
#ifndef TAVELO_CLIENT_VERSION
#define TAVELO_CLIENT_VERSION 1
#endif

// clang-format off
const EGLint config_attributes[] = {
    EGL_RED_SIZE, 8,
    EGL_GREEN_SIZE, 8,
    EGL_BLUE_SIZE, 8,
    EGL_ALPHA_SIZE, 8,
    EGL_DEPTH_SIZE, 16,
    EGL_SURFACE_TYPE, EGL_WINDOW_BIT,
#if TAVELO_CLIENT_VERSION == 2
    EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT,
#endif
    EGL_NONE,
};
const EGLint context_attributes[] = {EGL_CONTEXT_CLIENT_VERSION, TAVELO_CLIENT_VERSION, EGL_NONE};
// clang-format on

[[gnu::format(printf, 1, 2)]] void set_error(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(error_text, sizeof error_text, fmt, args);
    va_end(args);
}

// Undoes whatever part of tavelo_open was done, leaving SDL's other
// subsystems (the driver's audio) running. Always returns -1.
int give_up() {
    egl_teardown(&egl_display, &egl_context, &egl_surface);
    platform_close();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return -1;
}

int egl_failure(const char *what) {
    const EGLint code = eglGetError();
    if (code == EGL_SUCCESS)
        set_error("EGL: %s", what);
    else
        set_error("EGL: %s (EGL error 0x%04X)", what, static_cast<unsigned>(code));
    return give_up();
}

// The state every picture starts from: black, depth test on, the viewport
// and scissor box for a w x h picture on the surface.
void first_state(int w, int h) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    // The scissor box keeps clears, too, inside the viewport.
    const tavelo_rect v = tavelo_viewport(screen_width, screen_height, w, h);
    glViewport(v.x, v.y, v.width, v.height);
    glEnable(GL_SCISSOR_TEST);
    glScissor(v.x, v.y, v.width, v.height);
}

bool is_gles1(const char *version) {
    // "OpenGL ES-CM 1.x" (common) or "OpenGL ES-CL 1.x" (common lite).
    return version != nullptr && (std::strncmp(version, "OpenGL ES-CM 1.", 15) == 0 ||
                                  std::strncmp(version, "OpenGL ES-CL 1.", 15) == 0);
}

// The console's screen when asked for, or, left to us, when no X display
// answers and a DRM device has a connected screen. The X server is only
// asked where there is a screen to fall back on, so machines without one
// start as they always did.
bool wants_console() {
    if (backend != TAVELO_AUTO) return backend == TAVELO_CONSOLE;
    if (window_w > 0) return false;
    const char *driver = std::getenv("SDL_VIDEODRIVER");
    if (driver != nullptr && *driver != '\0') return false;
    if (!console_screen_present(nullptr, 0)) return false;
    const char *x = std::getenv("DISPLAY");
    if (x == nullptr || *x == '\0') return true;
    const int probe = xprobe_answers(x, 2000);
    return probe == XPROBE_NO_SERVER || probe == XPROBE_SILENT;
}

int open_console(int width, int height) {
    char why[200];
    if (console_context(TAVELO_CLIENT_VERSION, &console, why, sizeof why) != 0) {
        set_error("cannot open the console's screen: %s", why);
        return -1;
    }
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    if (!is_gles1(version)) {
        set_error("OpenGL ES: the context is \"%s\", not OpenGL ES 1.x",
                  version ? version : "unknown");
        console_release(&console);
        return -1;
    }
    egl_display = console.display;
    egl_context = console.context;
    egl_surface = console.surface;
    screen_width = console.width;
    screen_height = console.height;
    first_state(width, height);
    is_open = true;
    is_console = true;
    return 0;
}

}  // namespace

extern "C" void tavelo_backend(int which) {
    backend = which == TAVELO_X11 || which == TAVELO_CONSOLE ? which : TAVELO_AUTO;
}

extern "C" const char *tavelo_notice(void) { return is_console ? console_notice() : ""; }

extern "C" int tavelo_open(int width, int height, int bpp, int flags) {
    (void)bpp;
    (void)flags;
    error_text[0] = '\0';
    if (is_open) {
        set_error("the display is already open");
        return -1;
    }
    if (wants_console()) return open_console(width, height);

    if (platform_sdl_init() != 0) {
        set_error("%s", platform_error());
        // Left to choose, say why the console was no way out either.
        char why[160];
        if (backend == TAVELO_AUTO && window_w == 0 && !console_screen_present(why, sizeof why)) {
            const size_t used = std::strlen(error_text);
            std::snprintf(error_text + used, sizeof error_text - used, "; no console screen: %s",
                          why);
        }
        return give_up();
    }
    const SDL_VideoInfo *info = SDL_GetVideoInfo();
    const bool windowed = window_w > 0;
    if (info == nullptr ||
        SDL_SetVideoMode(windowed ? window_w : info->current_w,
                         windowed ? window_h : info->current_h, 16, SDL_HWSURFACE) == nullptr) {
        set_error("cannot open the display: no SDL video mode at %s (%s)",
                  windowed ? "the window's size" : "the screen's size", SDL_GetError());
        return give_up();
    }
    if (platform_init(windowed ? 0 : 1) != 0) {
        set_error("%s", platform_error());
        return give_up();
    }

    egl_display = eglGetDisplay(platform_native_display());
    if (egl_display == EGL_NO_DISPLAY) return egl_failure("no EGL display for the window system");
    if (eglInitialize(egl_display, nullptr, nullptr) != EGL_TRUE) {
        // Nothing to terminate on a display that never came up.
        egl_display = EGL_NO_DISPLAY;
        return egl_failure("cannot initialise the display");
    }
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (eglChooseConfig(egl_display, config_attributes, &config, 1, &count) != EGL_TRUE ||
        count < 1) {
        set_error(
            "EGL: no 8/8/8/8 window configuration with a 16-bit "
            "depth buffer");
        return give_up();
    }
    // No attribute list for 1: EGL's default client version is OpenGL ES 1.x.
    egl_context = eglCreateContext(egl_display, config, EGL_NO_CONTEXT,
                                   TAVELO_CLIENT_VERSION == 1 ? nullptr : context_attributes);
    if (egl_context == EGL_NO_CONTEXT) return egl_failure("cannot create an OpenGL ES 1.x context");

    platform_screen_size(&screen_width, &screen_height);
    native_window = platform_native_window();
    egl_surface = eglCreateWindowSurface(egl_display, config, native_window, nullptr);
    if (egl_surface == EGL_NO_SURFACE) return egl_failure("cannot create a window surface");
    if (eglMakeCurrent(egl_display, egl_surface, egl_surface, egl_context) != EGL_TRUE)
        return egl_failure("cannot make the OpenGL ES 1.x context current");
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    if (!is_gles1(version)) {
        set_error("OpenGL ES: the context is \"%s\", not OpenGL ES 1.x",
                  version ? version : "unknown");
        return give_up();
    }

    SDL_ShowCursor(0);
    first_state(width, height);
    is_open = true;
    return 0;
}

extern "C" void tavelo_window(int w, int h) {
    window_w = w > 0 && h > 0 ? w : 0;
    window_h = w > 0 && h > 0 ? h : 0;
}

extern "C" int tavelo_open_offscreen(int width, int height, int pic_w, int pic_h) {
    error_text[0] = '\0';
    if (is_open) {
        set_error("the display is already open");
        return -1;
    }
    if (width <= 0 || height <= 0) {
        set_error("off screen: no picture of %d x %d", width, height);
        return -1;
    }
    if (offscreen_context(TAVELO_CLIENT_VERSION, width, height, &pbuffer, error_text,
                          sizeof error_text) != 0)
        return -1;
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    if (!is_gles1(version)) {
        set_error("OpenGL ES: the off-screen context is \"%s\", not OpenGL ES 1.x",
                  version ? version : "unknown");
        offscreen_release(&pbuffer);
        return -1;
    }
    egl_display = pbuffer.display;
    egl_context = pbuffer.context;
    egl_surface = pbuffer.surface;
    screen_width = static_cast<unsigned>(width);
    screen_height = static_cast<unsigned>(height);
    first_state(pic_w, pic_h);
    is_open = true;
    is_offscreen = true;
    return 0;
}

extern "C" int tavelo_readpixels(unsigned char *rgba) {
    if (!is_open || !is_offscreen) return -1;
    // Only this read's own error counts, not one left over from drawing.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; i++) {
    }
    // RGBA rows are whole words: GL's default pack alignment of 4 fits.
    glReadPixels(0, 0, static_cast<GLsizei>(screen_width), static_cast<GLsizei>(screen_height),
                 GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return glGetError() == GL_NO_ERROR ? 0 : -1;
}

extern "C" void tavelo_flip(void) {
    if (!is_open) return;
    // A pbuffer has nothing to present: the frame is finished, to be read
    // back.
    if (is_offscreen) {
        glFinish();
        return;
    }
    glFlush();
    eglSwapBuffers(egl_display, egl_surface);
    if (is_console) console_present();
}

extern "C" int tavelo_exitevent(void) {
    if (is_offscreen) return 0;
    if (is_console) return console_exitevent();
    // Escape ends the show, and so does a quit request: the window's close
    // button, or SIGINT/SIGTERM, which SDL turns into one. Everything else
    // is dropped.
    while (SDL_PollEvent(&event)) {
        if ((event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) &&
            event.key.keysym.sym == SDLK_ESCAPE)
            return 1;
        if (event.type == SDL_QUIT) return 1;
    }
    return 0;
}

extern "C" void tavelo_close(void) {
    if (is_open && is_offscreen) {
        // Nothing was shown and SDL was never started.
        offscreen_release(&pbuffer);
        egl_display = EGL_NO_DISPLAY;
        egl_context = EGL_NO_CONTEXT;
        egl_surface = EGL_NO_SURFACE;
        is_open = false;
        is_offscreen = false;
        return;
    }
    if (is_open && is_console) {
        // As on X: the viewport cleared; then the console as it was.
        glClear(GL_COLOR_BUFFER_BIT);
        eglSwapBuffers(egl_display, egl_surface);
        console_present();
        console_release(&console);
        egl_display = EGL_NO_DISPLAY;
        egl_context = EGL_NO_CONTEXT;
        egl_surface = EGL_NO_SURFACE;
        is_open = false;
        is_console = false;
    }
    if (is_open) {
        // Shows the viewport cleared to the last clear colour; the scissor
        // box keeps the rest of the screen as it was.
        glClear(GL_COLOR_BUFFER_BIT);
        eglSwapBuffers(egl_display, egl_surface);
        eglMakeCurrent(egl_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroySurface(egl_display, egl_surface);
        eglDestroyContext(egl_display, egl_context);
        eglTerminate(egl_display);
        platform_close();
        egl_display = EGL_NO_DISPLAY;
        egl_context = EGL_NO_CONTEXT;
        egl_surface = EGL_NO_SURFACE;
        is_open = false;
    }
    SDL_Quit();
}

extern "C" const char *tavelo_error(void) { return error_text; }

// The console has no server that could stop answering.
extern "C" int tavelo_answers(int timeout_ms) {
    return is_console ? 1 : platform_answers(timeout_ms);
}

// Not keyed on is_console, which the main thread may be changing: the
// console knows for itself whether it is held.
extern "C" void tavelo_abandon(void) { console_abandon(); }
