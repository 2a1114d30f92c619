/* console.cpp - the display layer on a Linux console (see console.h).
 *
 * Mode setting is legacy (drmModeSetCrtc for the first frame, then
 * drmModePageFlip with a flip event per frame): software renderers such as
 * kms_swrast give no fences, which atomic commits with EGL want. Every
 * frame waits for its flip, so the show is paced by the screen's refresh.
 *
 * What is changed, and given back in reverse order: the CRTC's mode and
 * framebuffer, the virtual terminal's KD_TEXT mode, the terminal settings
 * of standard input and the keyboards' grab. The same steps (only
 * async-signal-safe calls) run from an atexit handler and from handlers of
 * the fatal signals, so a crash or an exit() elsewhere leaves a usable
 * console too.
 */
#include "console.h"
#include "egl_teardown.h"

#include <EGL/eglext.h>
#include <GLES/gl.h>
#include <fcntl.h>
#include <gbm.h>
#include <libevdev/libevdev.h>
#include <linux/kd.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxCards = 16;
constexpr int kMaxInputs = 64;
// How long a flip may take before it is given up (a screen that stopped).
constexpr int kFlipWaitMs = 2000;

struct screen_choice {
    int fd = -1;
    char path[32] = "";
    uint32_t connector = 0;
    uint32_t crtc = 0;
    drmModeModeInfo mode{};
};

struct keyboard {
    int fd;
    libevdev *dev;
    int ctrl;
};

struct state {
    screen_choice screen;
    drmModeCrtc *saved_crtc = nullptr;
    gbm_device *gbm = nullptr;
    gbm_surface *surface = nullptr;
    gbm_bo *shown = nullptr;  // on the screen now
    bool flip_pending = false;
    std::vector<keyboard> keyboards;
    int vt_fd = -1;  // the terminal put in graphics mode, or -1
    bool vt_own_fd = false;
    int vt_saved_mode = KD_TEXT;
    bool tty_saved = false;
    termios tty{};
    char notice[160] = "";
};

state s;

// The fields the emergency path reads, plain values so that a signal
// handler can use them.
volatile sig_atomic_t held = 0;
int em_fd = -1;
uint32_t em_crtc = 0, em_connector = 0, em_fb = 0, em_x = 0, em_y = 0;
drmModeModeInfo em_mode{};
bool em_mode_valid = false;
// Signals that end the process. Crashes and SIGQUIT are taken whatever
// handler was there (SDL's parachute included): nothing goes on after them.
// SIGHUP only when nobody handles or ignores it: a host that handles it
// ends its own way (the demo ends the show as on SIGTERM), one that
// ignores it carries on.
struct fatal_signal {
    int number;
    bool always;
};
const fatal_signal kFatalSignals[] = {{SIGSEGV, true}, {SIGBUS, true},  {SIGFPE, true},
                                      {SIGILL, true},  {SIGABRT, true}, {SIGQUIT, true},
                                      {SIGHUP, false}};
constexpr size_t kFatalCount = sizeof kFatalSignals / sizeof kFatalSignals[0];
struct sigaction old_actions[kFatalCount];
bool taken[kFatalCount];
bool atexit_registered = false;

[[gnu::format(printf, 3, 4)]] void put(char *out, size_t size, const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(out, size, fmt, args);
    va_end(args);
}

// The console as it was, with signal-safe calls only.
void give_back_raw() {
    if (!held) return;
    held = 0;
    if (em_mode_valid && em_fd >= 0) {
        uint32_t connector = em_connector;
        drmModeSetCrtc(em_fd, em_crtc, em_fb, em_x, em_y, &connector, 1, &em_mode);
    }
    if (s.vt_fd >= 0) {
        ioctl(s.vt_fd, KDSETMODE, s.vt_saved_mode);
        // Keys typed on the console before its keyboards were grabbed
        // wait in its input queue: the shell must not read them.
        tcflush(s.vt_fd, TCIFLUSH);
    }
    if (s.tty_saved) {
        tcflush(0, TCIFLUSH);
        tcsetattr(0, TCSANOW, &s.tty);
    }
}

void on_fatal(int signo) {
    give_back_raw();
    // SA_RESETHAND put the default action back: let it happen.
    raise(signo);
}

void at_exit() { give_back_raw(); }

void catch_fatal_signals() {
    struct sigaction sa = {};
    sa.sa_handler = on_fatal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (size_t i = 0; i < kFatalCount; i++) {
        struct sigaction now;
        const int number = kFatalSignals[i].number;
        taken[i] = kFatalSignals[i].always ||
                   (sigaction(number, nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) == 0 &&
                    now.sa_handler == SIG_DFL);
        if (taken[i]) sigaction(number, &sa, &old_actions[i]);
    }
    if (!atexit_registered) {
        std::atexit(at_exit);
        atexit_registered = true;
    }
}

void release_fatal_signals() {
    for (size_t i = 0; i < kFatalCount; i++) {
        if (taken[i]) sigaction(kFatalSignals[i].number, &old_actions[i], nullptr);
        taken[i] = false;
    }
}

// The connected connector of fd with modes, its preferred mode and a CRTC
// that can drive it. false when the device has no such screen.
bool find_screen(int fd, screen_choice *out) {
    drmModeRes *res = drmModeGetResources(fd);
    if (res == nullptr) return false;
    bool found = false;
    for (int i = 0; i < res->count_connectors && !found; i++) {
        drmModeConnector *c = drmModeGetConnector(fd, res->connectors[i]);
        if (c == nullptr) continue;
        if (c->connection == DRM_MODE_CONNECTED && c->count_modes > 0) {
            std::vector<console_mode_info> modes((size_t)c->count_modes);
            for (int m = 0; m < c->count_modes; m++)
                modes[(size_t)m] = {c->modes[m].hdisplay, c->modes[m].vdisplay,
                                    (c->modes[m].type & DRM_MODE_TYPE_PREFERRED) != 0};
            const int pick = console_pick_mode(modes.data(), c->count_modes);
            uint32_t crtc = 0;
            // The CRTC already driving it, else the first one an encoder of
            // it can use.
            if (c->encoder_id) {
                drmModeEncoder *e = drmModeGetEncoder(fd, c->encoder_id);
                if (e) {
                    crtc = e->crtc_id;
                    drmModeFreeEncoder(e);
                }
            }
            for (int k = 0; crtc == 0 && k < c->count_encoders; k++) {
                drmModeEncoder *e = drmModeGetEncoder(fd, c->encoders[k]);
                if (e == nullptr) continue;
                for (int j = 0; j < res->count_crtcs; j++)
                    if (e->possible_crtcs & (1u << j)) {
                        crtc = res->crtcs[j];
                        break;
                    }
                drmModeFreeEncoder(e);
            }
            if (pick >= 0 && crtc != 0) {
                out->connector = c->connector_id;
                out->crtc = crtc;
                out->mode = c->modes[pick];
                found = true;
            }
        }
        drmModeFreeConnector(c);
    }
    drmModeFreeResources(res);
    return found;
}

enum { kNoDevice, kNoScreen, kFound };

// The first card with a connected screen; `fd` stays open when found.
int find_card(screen_choice *out, char *error, size_t error_size) {
    int seen = 0;
    for (int n = 0; n < kMaxCards; n++) {
        char path[32];
        std::snprintf(path, sizeof path, "/dev/dri/card%d", n);
        const int fd = open(path, O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            if (errno != ENOENT) {
                seen++;
                if (error) put(error, error_size, "cannot open %s: %s", path, std::strerror(errno));
            }
            continue;
        }
        seen++;
        if (find_screen(fd, out)) {
            out->fd = fd;
            std::snprintf(out->path, sizeof out->path, "%s", path);
            return kFound;
        }
        close(fd);
    }
    if (seen == 0) {
        if (error) put(error, error_size, "no DRM device (/dev/dri/card*)");
        return kNoDevice;
    }
    if (error && error[0] == '\0') put(error, error_size, "no screen connected to a DRM device");
    return kNoScreen;
}

struct fb_tag {
    int fd;
    uint32_t id;
};

void drop_fb(gbm_bo *, void *data) {
    fb_tag *tag = static_cast<fb_tag *>(data);
    if (tag->id) drmModeRmFB(tag->fd, tag->id);
    delete tag;
}

// The framebuffer of a GBM buffer, made once and kept with it. 0 on failure.
uint32_t fb_of(gbm_bo *bo) {
    if (auto *tag = static_cast<fb_tag *>(gbm_bo_get_user_data(bo))) return tag->id;
    uint32_t handles[4] = {gbm_bo_get_handle(bo).u32};
    uint32_t strides[4] = {gbm_bo_get_stride(bo)};
    uint32_t offsets[4] = {0};
    uint32_t id = 0;
    // Scanned out without alpha, whatever the surface's format.
    if (drmModeAddFB2(s.screen.fd, gbm_bo_get_width(bo), gbm_bo_get_height(bo), GBM_FORMAT_XRGB8888,
                      handles, strides, offsets, &id, 0) != 0)
        return 0;
    gbm_bo_set_user_data(bo, new fb_tag{s.screen.fd, id}, drop_fb);
    return id;
}

void on_flip(int, unsigned, unsigned, unsigned, void *) { s.flip_pending = false; }

void wait_flip() {
    drmEventContext ev = {};
    ev.version = 2;
    ev.page_flip_handler = on_flip;
    int waited = 0;
    while (s.flip_pending && waited < kFlipWaitMs) {
        pollfd p = {s.screen.fd, POLLIN, 0};
        const int r = poll(&p, 1, 100);
        if (r > 0)
            drmHandleEvent(s.screen.fd, &ev);
        else if (r == 0)
            waited += 100;
        else if (errno != EINTR)
            break;
    }
    s.flip_pending = false;
}

void open_keyboards() {
    int denied = 0;
    for (int n = 0; n < kMaxInputs; n++) {
        char path[32];
        std::snprintf(path, sizeof path, "/dev/input/event%d", n);
        const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == EACCES || errno == EPERM) denied++;
            continue;
        }
        libevdev *dev = nullptr;
        if (libevdev_new_from_fd(fd, &dev) != 0 || !libevdev_has_event_code(dev, EV_KEY, KEY_ESC)) {
            if (dev) libevdev_free(dev);
            close(fd);
            continue;
        }
        // Grabbed, its keys reach neither the console nor another reader.
        libevdev_grab(dev, LIBEVDEV_GRAB);
        s.keyboards.push_back(keyboard{fd, dev, 0});
    }
    if (s.keyboards.empty())
        put(s.notice, sizeof s.notice,
            "no keyboard can be read (/dev/input/event*%s); a keyboard's Escape will not "
            "end the show, Ctrl-C or SIGTERM will",
            denied ? ": permission denied" : ": none has an Escape key");
}

void close_keyboards() {
    for (keyboard &k : s.keyboards) {
        libevdev_grab(k.dev, LIBEVDEV_UNGRAB);
        libevdev_free(k.dev);
        close(k.fd);
    }
    s.keyboards.clear();
}

// Standard input without echo or line editing (Ctrl-C still signals), and
// a virtual terminal in graphics mode: no cursor or kernel text over the
// picture.
void take_terminal() {
    // Only in the foreground: a background job touching its terminal
    // would be stopped by SIGTTOU/SIGTTIN.
    if (isatty(0) && tcgetpgrp(0) == getpgrp() && tcgetattr(0, &s.tty) == 0) {
        termios raw = s.tty;
        raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(0, TCSANOW, &raw) == 0) s.tty_saved = true;
    }
    int mode = 0;
    if (ioctl(0, KDGETMODE, &mode) == 0) {
        s.vt_fd = 0;
    } else {
        // Started from elsewhere (SSH, a service): the active terminal.
        const int fd = open("/dev/tty0", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0 && ioctl(fd, KDGETMODE, &mode) == 0) {
            s.vt_fd = fd;
            s.vt_own_fd = true;
        } else if (fd >= 0) {
            close(fd);
        }
    }
    if (s.vt_fd >= 0) {
        s.vt_saved_mode = mode;
        if (ioctl(s.vt_fd, KDSETMODE, KD_GRAPHICS) != 0) {
            if (s.vt_own_fd) close(s.vt_fd);
            s.vt_fd = -1;
            s.vt_own_fd = false;
        }
    }
}

void free_all(console_gl *gl) {
    egl_teardown(&gl->display, &gl->context, &gl->surface);
    if (s.surface) {
        if (s.shown) gbm_surface_release_buffer(s.surface, s.shown);
        gbm_surface_destroy(s.surface);
    }
    s.shown = nullptr;
    s.surface = nullptr;
    if (s.gbm) gbm_device_destroy(s.gbm);
    s.gbm = nullptr;
    if (s.saved_crtc) drmModeFreeCrtc(s.saved_crtc);
    s.saved_crtc = nullptr;
    if (s.screen.fd >= 0) {
        drmDropMaster(s.screen.fd);
        close(s.screen.fd);
    }
    s.screen = screen_choice{};
    em_fd = -1;
    close_keyboards();
    if (s.vt_own_fd) close(s.vt_fd);
    s.vt_fd = -1;
    s.vt_own_fd = false;
    s.tty_saved = false;
}

// Undoes a console_context that failed half-way. Always -1.
int fail(console_gl *gl) {
    give_back_raw();
    release_fatal_signals();
    free_all(gl);
    return -1;
}

// An EGL configuration whose pixels match the GBM surface's format:
// RGBA 8/8/8/8 with a 16-bit depth buffer like the X11 window, else RGB.
bool choose_config(EGLDisplay d, int version, EGLConfig *out, uint32_t *format) {
    const EGLint renderable = version == 2 ? EGL_OPENGL_ES2_BIT : EGL_OPENGL_ES_BIT;
    for (const uint32_t want : {(uint32_t)GBM_FORMAT_ARGB8888, (uint32_t)GBM_FORMAT_XRGB8888}) {
        const EGLint attributes[] = {
            EGL_RED_SIZE,        8,          EGL_GREEN_SIZE,   8,
            EGL_BLUE_SIZE,       8,          EGL_ALPHA_SIZE,   want == GBM_FORMAT_ARGB8888 ? 8 : 0,
            EGL_DEPTH_SIZE,      16,         EGL_SURFACE_TYPE, EGL_WINDOW_BIT,
            EGL_RENDERABLE_TYPE, renderable, EGL_NONE};
        EGLint count = 0;
        if (eglChooseConfig(d, attributes, nullptr, 0, &count) != EGL_TRUE || count < 1) continue;
        std::vector<EGLConfig> configs((size_t)count);
        eglChooseConfig(d, attributes, configs.data(), count, &count);
        for (EGLConfig c : configs) {
            EGLint id = 0;
            if (eglGetConfigAttrib(d, c, EGL_NATIVE_VISUAL_ID, &id) == EGL_TRUE &&
                (uint32_t)id == want) {
                *out = c;
                *format = want;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

extern "C" int console_pick_mode(const console_mode_info *modes, int count) {
    int best = -1;
    for (int i = 0; i < count; i++) {
        if (modes[i].preferred) return i;
        if (best < 0 || (unsigned long long)modes[i].width * modes[i].height >
                            (unsigned long long)modes[best].width * modes[best].height)
            best = i;
    }
    return best;
}

extern "C" int console_key_ends_show(unsigned code, int value, int *ctrl) {
    if (code == KEY_LEFTCTRL || code == KEY_RIGHTCTRL) {
        const int bit = code == KEY_LEFTCTRL ? 1 : 2;
        *ctrl = value ? (*ctrl | bit) : (*ctrl & ~bit);
        return 0;
    }
    // A press or its autorepeat; the release of a key held before the show
    // began does not count.
    if (value == 0) return 0;
    if (code == KEY_ESC) return 1;
    return code == KEY_C && *ctrl != 0;
}

extern "C" int console_screen_present(char *why, size_t why_size) {
    screen_choice c;
    if (why && why_size) why[0] = '\0';
    if (find_card(&c, why, why_size) != kFound) return 0;
    close(c.fd);
    return 1;
}

extern "C" int console_context(int version, console_gl *gl, char *error, size_t error_size) {
    *gl = console_gl{EGL_NO_DISPLAY, EGL_NO_CONTEXT, EGL_NO_SURFACE, 0, 0};
    s.notice[0] = '\0';
    if (error_size) error[0] = '\0';
    if (find_card(&s.screen, error, error_size) != kFound) return -1;
    const char *path = s.screen.path;
    if (!drmIsMaster(s.screen.fd) && drmSetMaster(s.screen.fd) != 0) {
        put(error, error_size,
            "%s is held by another program (a desktop?): stop it, or show the demo there", path);
        return fail(gl);
    }
    s.saved_crtc = drmModeGetCrtc(s.screen.fd, s.screen.crtc);
    const unsigned w = s.screen.mode.hdisplay, h = s.screen.mode.vdisplay;
    s.gbm = gbm_create_device(s.screen.fd);
    if (s.gbm == nullptr) {
        put(error, error_size, "%s: no GBM device", path);
        return fail(gl);
    }
    auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    gl->display = get_platform_display
                      ? get_platform_display(EGL_PLATFORM_GBM_KHR, s.gbm, nullptr)
                      : eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(s.gbm));
    if (gl->display == EGL_NO_DISPLAY || eglInitialize(gl->display, nullptr, nullptr) != EGL_TRUE) {
        gl->display = EGL_NO_DISPLAY;
        put(error, error_size, "EGL: cannot initialise the display on %s (EGL error 0x%04X)", path,
            (unsigned)eglGetError());
        return fail(gl);
    }
    eglBindAPI(EGL_OPENGL_ES_API);
    EGLConfig config = nullptr;
    uint32_t format = 0;
    if (!choose_config(gl->display, version, &config, &format)) {
        put(error, error_size, "EGL: no 8/8/8 configuration with a 16-bit depth buffer for %s",
            path);
        return fail(gl);
    }
    s.surface = gbm_surface_create(s.gbm, w, h, format, GBM_BO_USE_SCANOUT | GBM_BO_USE_RENDERING);
    if (s.surface == nullptr) {
        put(error, error_size, "%s: no GBM surface of %ux%u", path, w, h);
        return fail(gl);
    }
    const EGLint context_attributes[] = {EGL_CONTEXT_CLIENT_VERSION, version, EGL_NONE};
    gl->context = eglCreateContext(gl->display, config, EGL_NO_CONTEXT, context_attributes);
    if (gl->context == EGL_NO_CONTEXT) {
        put(error, error_size, "EGL: cannot create an OpenGL ES %d context", version);
        return fail(gl);
    }
    gl->surface = eglCreateWindowSurface(gl->display, config,
                                         reinterpret_cast<EGLNativeWindowType>(s.surface), nullptr);
    if (gl->surface == EGL_NO_SURFACE ||
        eglMakeCurrent(gl->display, gl->surface, gl->surface, gl->context) != EGL_TRUE) {
        put(error, error_size, "EGL: cannot draw on a %ux%u surface (EGL error 0x%04X)", w, h,
            (unsigned)eglGetError());
        return fail(gl);
    }

    // The first frame, black, decides whether the screen is ours.
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    eglSwapBuffers(gl->display, gl->surface);
    gbm_bo *bo = gbm_surface_lock_front_buffer(s.surface);
    const uint32_t fb = bo ? fb_of(bo) : 0;
    if (fb == 0) {
        if (bo) gbm_surface_release_buffer(s.surface, bo);
        put(error, error_size, "%s: cannot make a framebuffer of %ux%u", path, w, h);
        return fail(gl);
    }
    s.shown = bo;

    open_keyboards();
    take_terminal();
    em_fd = s.screen.fd;
    em_crtc = s.screen.crtc;
    em_connector = s.screen.connector;
    em_mode_valid = s.saved_crtc != nullptr && s.saved_crtc->mode_valid;
    if (em_mode_valid) {
        em_fb = s.saved_crtc->buffer_id;
        em_x = s.saved_crtc->x;
        em_y = s.saved_crtc->y;
        em_mode = s.saved_crtc->mode;
    }
    held = 1;
    catch_fatal_signals();
    uint32_t connector = s.screen.connector;
    if (drmModeSetCrtc(s.screen.fd, s.screen.crtc, fb, 0, 0, &connector, 1, &s.screen.mode) != 0) {
        const int e = errno;
        if (e == EACCES || e == EPERM)
            put(error, error_size, "%s is held by another program (a desktop?): %s", path,
                std::strerror(e));
        else
            put(error, error_size, "%s: cannot set the %ux%u mode: %s", path, w, h,
                std::strerror(e));
        return fail(gl);
    }
    gl->width = w;
    gl->height = h;
    return 0;
}

extern "C" void console_present(void) {
    if (!s.surface) return;
    gbm_bo *bo = gbm_surface_lock_front_buffer(s.surface);
    if (bo == nullptr) return;
    const uint32_t fb = fb_of(bo);
    if (fb == 0) {
        gbm_surface_release_buffer(s.surface, bo);
        return;
    }
    if (drmModePageFlip(s.screen.fd, s.screen.crtc, fb, DRM_MODE_PAGE_FLIP_EVENT, nullptr) == 0) {
        s.flip_pending = true;
        wait_flip();
    } else {
        uint32_t connector = s.screen.connector;
        drmModeSetCrtc(s.screen.fd, s.screen.crtc, fb, 0, 0, &connector, 1, &s.screen.mode);
    }
    if (s.shown) gbm_surface_release_buffer(s.surface, s.shown);
    s.shown = bo;
}

extern "C" int console_exitevent(void) {
    int ends = 0;
    for (keyboard &k : s.keyboards) {
        input_event ev;
        int rc = libevdev_next_event(k.dev, LIBEVDEV_READ_FLAG_NORMAL, &ev);
        while (rc == LIBEVDEV_READ_STATUS_SUCCESS || rc == LIBEVDEV_READ_STATUS_SYNC) {
            if (ev.type == EV_KEY && console_key_ends_show(ev.code, ev.value, &k.ctrl)) ends = 1;
            rc = libevdev_next_event(k.dev,
                                     rc == LIBEVDEV_READ_STATUS_SYNC ? LIBEVDEV_READ_FLAG_SYNC
                                                                     : LIBEVDEV_READ_FLAG_NORMAL,
                                     &ev);
        }
    }
    // Over SSH the terminal's Escape arrives as a byte of its own; keys
    // with escape sequences come as several bytes at once.
    if (s.tty_saved) {
        unsigned char buf[64];
        const ssize_t n = read(0, buf, sizeof buf);
        if (n == 1 && buf[0] == 0x1b) ends = 1;
    }
    return ends;
}

extern "C" const char *console_notice(void) { return s.notice; }

extern "C" void console_abandon(void) { give_back_raw(); }

extern "C" void console_release(console_gl *gl) {
    if (s.flip_pending) wait_flip();
    give_back_raw();
    release_fatal_signals();
    free_all(gl);
}
