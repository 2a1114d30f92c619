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
 * Before SDL opens the display, the server is asked for a connection-setup
 * reply with a deadline (xprobe.h): Xlib would wait for ever on a server
 * that accepts connections and never answers. That connection stays open
 * until SDL's own exist: a server whose only client leaves resets, and a
 * kiosk's server has no other client.
 *
 * Unless the user placed it (SDL_VIDEO_CENTERED, SDL_VIDEO_WINDOW_POS), the
 * window asks to be centred, which gives it a position of its own: a
 * manual-placement window manager then maps it at once instead of grabbing
 * the server until someone clicks.
 *
 * The full-screen window is as large as the X screen and asks the window
 * manager for the EWMH full-screen state, so no panel or decoration shows;
 * the property is also set on the window itself, where it stays when no
 * window manager runs. A windowed run gets an ordinary window.
 *
 * Limitations: there is no mode switch; a window manager that ignores EWMH
 * places and decorates the window as it likes.
 */
#include "platform.h"

#include "xprobe.h"

#include <SDL/SDL.h>
#include <SDL/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

constexpr const char *kDriver = "x11";
// How long the X server has to answer the connection setup.
constexpr int kAnswerMs = 5000;

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

// Asks the window manager to show `wm` full-screen, and marks it so.
void request_fullscreen(Display *d, Window wm) {
    const Atom state = XInternAtom(d, "_NET_WM_STATE", False);
    const Atom full = XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False);
    // A mapped window's state belongs to the window manager, which learns
    // of the wish through a client message to the root window; the property
    // records it for a screen without a window manager.
    XChangeProperty(d, wm, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&full), 1);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = wm;
    e.xclient.message_type = state;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1;  // _NET_WM_STATE_ADD
    e.xclient.data.l[1] = static_cast<long>(full);
    e.xclient.data.l[2] = 0;
    e.xclient.data.l[3] = 1;  // from a normal application
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
    XFlush(d);
}

// While SDL opens its connections, one of ours is held open, so the server
// always has a client: an X server that has none resets, and drops the
// connections that come meanwhile (SDL's own check opens and closes one).
struct held_connection {
    int fd = -1;
    Display *xlib = nullptr;
    ~held_connection() {
        if (xlib != nullptr) XCloseDisplay(xlib);
        if (fd >= 0) close(fd);
    }
};

// DISPLAY as SDL_Init saw it, for platform_answers on another thread (which
// must not read the environment while this one changes it).
char answer_display[256];
std::atomic<bool> answer_display_set{false};

// SDL_VIDEO_CENTERED, when we set it, until SDL_SetVideoMode has read it.
bool centred_by_us = false;

void forget_centring() {
    if (centred_by_us) unsetenv("SDL_VIDEO_CENTERED");
    centred_by_us = false;
}

}  // namespace

extern "C" int platform_sdl_init(void) {
    const char *chosen = std::getenv("SDL_VIDEODRIVER");
    const bool ours = chosen == nullptr || *chosen == '\0';
    const char *display_name = std::getenv("DISPLAY");
    held_connection held;
    if (display_name != nullptr && !answer_display_set.load(std::memory_order_relaxed)) {
        std::snprintf(answer_display, sizeof answer_display, "%s", display_name);
        answer_display_set.store(true, std::memory_order_release);
    }
    if ((ours || std::strcmp(chosen, kDriver) == 0) && display_name != nullptr) {
        const int probed = xprobe_hold(display_name, kAnswerMs, &held.fd);
        if (probed == XPROBE_SILENT) {
            set_error(
                "cannot open the display: the X server at DISPLAY=%s does not answer "
                "(waited %d s)",
                display_name, kAnswerMs / 1000);
            return -1;
        }
        // The probe cannot authenticate; an Xlib connection can, and keeps
        // a server that wants authorisation from resetting too. The server
        // has just answered, so this does not wait long.
        if (probed == XPROBE_ANSWERS) held.xlib = XOpenDisplay(display_name);
    }
    // A window with a position of its own is placed by the window manager
    // at once; a manual-placement one would otherwise grab the server until
    // someone clicks.
    if (std::getenv("SDL_VIDEO_CENTERED") == nullptr &&
        std::getenv("SDL_VIDEO_WINDOW_POS") == nullptr) {
        setenv("SDL_VIDEO_CENTERED", "1", 1);
        centred_by_us = true;
    }
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
        forget_centring();
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
        forget_centring();
        set_error(
            "cannot open the display: SDL video driver is \"%s\", "
            "but an X display is needed (is DISPLAY set?)",
            name);
        return -1;
    }
    return 0;
}

extern "C" int platform_init(int fullscreen) {
    forget_centring();
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
    if (fullscreen && info.info.x11.wmwindow != 0) {
        info.info.x11.lock_func();
        request_fullscreen(info.info.x11.display, info.info.x11.wmwindow);
        info.info.x11.unlock_func();
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
    forget_centring();
    // The window and both connections belong to SDL; SDL_Quit frees them.
    x_display = nullptr;
    x_window = 0;
    x_width = x_height = 0;
}

extern "C" const char *platform_error(void) { return error_text; }

extern "C" int platform_answers(int timeout_ms) {
    // A connection of its own: SDL's may be the one that hangs.
    if (!answer_display_set.load(std::memory_order_acquire)) return 1;
    return xprobe_answers(answer_display, timeout_ms) != XPROBE_SILENT;
}
