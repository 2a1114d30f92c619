/* platform_x11.cpp - the display layer's window on an X server.
 *
 * The native window is SDL 1.2's own: SDL_SetVideoMode makes a window at the
 * screen's size and SDL_GetWMInfo hands out its inner (child) window, which
 * is the one SDL reads keyboard events from. EGL draws into that window
 * through SDL's graphics connection to the X server, so Escape reaches SDL
 * while the picture comes from EGL. Nothing is ever drawn into SDL's
 * surface: an SDL_Flip would paint over the GL picture.
 *
 * SDL 1.2 quietly falls back to a text-mode video driver when no X server
 * can be reached, and that driver takes over the terminal. So unless the
 * user chose a driver in SDL_VIDEODRIVER, SDL is started with "x11" only,
 * and a missing X server becomes a plain error.
 *
 * Limitations: the window is as large as SDL's current video mode (the X
 * screen), placed wherever the window manager puts it, and not marked
 * full-screen; there is no mode switch.
 */
#include "platform.h"

#include <SDL/SDL.h>
#include <SDL/SDL_syswm.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char *kDriver = "x11";

Display *x_display = nullptr;
Window x_window = 0;
unsigned x_width = 0, x_height = 0;
char error_text[256] = "";

[[gnu::format(printf, 1, 2)]] void set_error(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(error_text, sizeof error_text, fmt, args);
    va_end(args);
}

}  // namespace

extern "C" int platform_sdl_init(void) {
    const char *chosen = std::getenv("SDL_VIDEODRIVER");
    const bool ours = chosen == nullptr || *chosen == '\0';
    // setenv may move the old string: keep a copy to put back.
    const std::string saved = chosen ? chosen : "";
    const bool was_set = chosen != nullptr;
    if (ours) setenv("SDL_VIDEODRIVER", kDriver, 1);
    const int started = SDL_Init(SDL_INIT_VIDEO);
    // SDL reads the variable only while starting: leave the environment as
    // the user had it.
    if (ours) {
        if (was_set)
            setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
        else
            unsetenv("SDL_VIDEODRIVER");
    }

    if (started < 0) {
        if (ours) {
            const char *display = std::getenv("DISPLAY");
            if (display == nullptr || *display == '\0')
                set_error(
                    "cannot open the display: no X display reachable "
                    "(DISPLAY is not set)");
            else
                set_error(
                    "cannot open the display: no X display reachable "
                    "at DISPLAY=%s",
                    display);
        } else {
            set_error(
                "cannot open the display: SDL video driver \"%s\" "
                "failed: %s",
                saved.c_str(), SDL_GetError());
        }
        return -1;
    }

    char name[32] = "";
    if (SDL_VideoDriverName(name, sizeof name) == nullptr || std::strcmp(name, kDriver) != 0) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        set_error(
            "cannot open the display: SDL video driver is \"%s\", "
            "but an X display is needed (is DISPLAY set?)",
            name);
        return -1;
    }
    return 0;
}

extern "C" int platform_init(void) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1 || info.subsystem != SDL_SYSWM_X11 || info.info.x11.window == 0) {
        set_error("cannot open the display: SDL has no X window (%s)", SDL_GetError());
        return -1;
    }
    // SDL draws through its second connection and keeps the first for
    // events; GL output belongs on the drawing one.
    x_display = info.info.x11.gfxdisplay ? info.info.x11.gfxdisplay : info.info.x11.display;
    x_window = info.info.x11.window;
    const SDL_Surface *surface = SDL_GetVideoSurface();
    x_width = surface ? static_cast<unsigned>(surface->w) : 0;
    x_height = surface ? static_cast<unsigned>(surface->h) : 0;
    if (x_width == 0 || x_height == 0) {
        set_error("cannot open the display: SDL's window has no size");
        return -1;
    }
    return 0;
}

extern "C" EGLNativeDisplayType platform_native_display(void) { return x_display; }

extern "C" void platform_screen_size(unsigned *width, unsigned *height) {
    *width = x_width;
    *height = x_height;
}

extern "C" EGLNativeWindowType platform_native_window(void) { return x_window; }

extern "C" void platform_close(void) {
    // The window and both connections belong to SDL; SDL_Quit frees them.
    x_display = nullptr;
    x_window = 0;
    x_width = x_height = 0;
}

extern "C" const char *platform_error(void) { return error_text; }
