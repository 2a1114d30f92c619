/* main.cpp - the demo: render the song, play it, draw the scene in step;
 * or, with --capture / --still, render the show off screen into files.
 *
 * Start-up renders the whole embedded song into `mixed` (647 blocks of 8192
 * frames, a dot per eight blocks), then SDL's audio thread plays `mixed`
 * through `pakki` while the frame loop calls the scene with the milliseconds
 * since playback began and flips each drawn frame. The show ends when the
 * scene sets `quit` (bar 59), on Escape, on the window's close button and
 * on SIGINT, SIGTERM or SIGHUP; the average frame rate is printed.
 *
 * With no arguments standard output carries only "Measuring CPU speed",
 * the dots and the FPS line. Problems go to standard error: a rejected song,
 * a missing display or an X server that stops answering mid-show (watchdog.h)
 * end the program with status 1; a missing sound card
 * only silences it, and the position is then taken from the millisecond
 * clock. A wrong command line ends it with status 2.
 *
 * A capture (capture.h) needs neither a display nor a sound card; its
 * progress goes to standard error on a terminal, the names of the files
 * written to standard output. A capture the command line asks for but
 * cannot be made (sizes, frame rate, range, output names) ends with status
 * 2 before the song renders. Stopped by SIGINT, SIGTERM or SIGHUP it closes
 * the video file properly and exits with 128 + the signal number; stopped
 * before the video's first frame, it leaves no video file.
 */
#include <SDL.h>
#include <alsa/asoundlib.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "capture.h"
#include "cli.h"
#include "hold.h"
#include "options.h"
#include "playback.h"
#include "prerender_thread.h"
#include "scene.h"
#include "syna.h"
#include "tavelo.h"
#include "watchdog.h"

#ifndef KESTOVAR_VERSION
#define KESTOVAR_VERSION "unknown"
#endif

namespace {

// Set by SIGINT, SIGTERM or SIGHUP (a closed terminal), whenever they come:
// before SDL is up, during the show or during a capture. SDL keeps this
// handler rather than its own.
volatile sig_atomic_t stop_signal = 0;

void on_stop(int signo) { stop_signal = signo; }

void catch_stop_signals() {
    struct sigaction sa = {};
    sa.sa_handler = on_stop;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    // A parent may hand them down blocked; one already sent then arrives
    // here, after the handler is in place.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
}

// ALSA's library prints its own lines for every device it fails to open;
// our one line about the missing sound card says enough.
void quiet_alsa(const char *, int, const char *, int, const char *, ...) {}

// A message on standard error; on a terminal it starts on a line of its
// own rather than after the progress dots.
void complain(const char *fmt, ...) {
    fflush(stdout);
    if (isatty(1)) fputc('\n', stderr);
    fputs("kestovar: ", stderr);
    va_list args;
    va_start(args, fmt);
    vfprintf(stderr, fmt, args);
    va_end(args);
    fputc('\n', stderr);
}

void clock_position(int ms) {
    // No audio thread runs: the scene's position follows the wall clock.
    long long frames = (long long)ms * SHOW_RATE / 1000;
    if (frames < 0) frames = 0;
    if (frames > SHOW_FRAMES) frames = SHOW_FRAMES;
    __atomic_store_n(&syna_counter, (int)frames, __ATOMIC_RELAXED);
}

// One dot for every eight rendered blocks: 80 in all.
void print_dot(int block) {
    if ((block + 1) % 8 == 0) {
        putchar('.');
        fflush(stdout);
    }
}

void render_progress(int block) { progress_update(block + 1); }

// The capture's request, made from the command line's values; it points
// into `o` and `stills`, which outlive it.
capture_request capture_request_of(const driver_options &o, std::vector<capture_still> *stills) {
    capture_request r;
    capture_defaults(&r);
    if (!o.video.empty()) r.video = o.video.c_str();
    if (o.width > 0) {
        r.width = o.width;
        r.height = o.height;
    }
    if (o.fps > 0) r.fps = o.fps;
    r.from = o.from;
    r.to = o.to;
    r.pcm = o.pcm ? 1 : 0;
    for (const driver_still &s : o.stills)
        stills->push_back(capture_still{s.seconds, s.path.c_str()});
    r.stills = stills->data();
    r.still_count = (int)stills->size();
    r.progress = 1;
    r.stop = &stop_signal;
    return r;
}

int capture(const driver_options &o) {
    std::vector<capture_still> stills;
    const capture_request request = capture_request_of(o, &stills);
    // What the capture would refuse is a wrong command line: said before
    // the song renders.
    if (capture_check(&request) < 0) {
        fprintf(stderr, "kestovar: %s\n", capture_error());
        return 2;
    }
    if (const char *why = show_load_embedded()) {
        complain("the embedded song was rejected: %s", why);
        return 1;
    }
    progress_start("render", SHOW_BLOCKS);
    show_prerender(render_progress);
    progress_finish();

    const int rc = capture_run(&request);
    if (rc < 0) {
        complain("%s", capture_error());
        return 1;
    }
    if (rc == 1) {
        if (capture_video_frames() > 0)
            complain("stopped; %s holds what was captured until then", request.video);
        else if (request.video != nullptr)
            complain("stopped before the first frame; %s was not written", request.video);
        else
            complain("stopped");
        return 128 + stop_signal;
    }
    const int fps = request.fps;
    if (request.video != nullptr) {
        const long long frames = capture_video_frames();
        const long long first = show_frame_at(request.from, fps);
        printf("%s: %lld frames, %.3f s from %.3f s, %dx%d at %d fps\n", request.video, frames,
               (double)frames / fps, (double)first / fps, request.width, request.height, fps);
    }
    for (const capture_still &s : stills)
        printf("%s: the frame at %.3f s\n", s.path, (double)show_frame_at(s.seconds, fps) / fps);
    return 0;
}

// The live show's count, published for the watchdog, which prints the last
// line itself when the display holds the main thread past a stop signal.
std::atomic<int> shown_frames{0};
std::atomic<bool> show_started{false}, show_ended{false};
std::atomic<Uint32> show_start{0}, show_end{0};

// How long a display call may go on after a stop signal, and how long one
// may take before the X server is asked whether it still answers (it then
// has as long again to answer).
constexpr int kStopGraceMs = 1000;
constexpr int kSilenceMs = 5000;

int frame_rate(int frames, Uint32 start, Uint32 end) {
    const int elapsed = (int)(end - start);
    // Both readings in the same millisecond: no rate can be measured.
    return elapsed > 0 ? (int)((long long)frames * 1000 / elapsed) : 0;
}

// Standard output as far as the song render takes it: the dots come first.
void wait_for_render() {
    while (!prerender_finished()) SDL_Delay(10);
}

// The main thread is stuck in the display after a stop signal: end the
// show as the signal would have, the frame-rate line and status 0. The
// sound thread ends with the process; a console is given back first.
void end_stuck_show() {
    wait_for_render();
    const Uint32 start = show_start.load();
    const Uint32 end = show_ended.load() ? show_end.load() : SDL_GetTicks();
    const int fps = show_started.load() ? frame_rate(shown_frames.load(), start, end) : 0;
    // _exit() skips the handlers that would give a console back.
    tavelo_abandon();
    printf("\nFPS: %d\n", fps);
    fflush(stdout);
    _exit(0);
}

// The X server stopped answering with the main thread inside a display
// call; nothing short of ending the process frees it.
// DISPLAY as the show began: the display layer changes the environment
// while it starts, so the watchdog's thread does not read it.
char display_name[256];

void end_silent_show(int waited_ms) {
    wait_for_render();
    complain(
        "the X server at DISPLAY=%s stopped answering (waited %d s; is it stopped, or "
        "held by another client?)",
        display_name, waited_ms / 1000);
    tavelo_abandon();
    _exit(1);
}

// The test hook of hold.h: chosen frames held on the screen, no sound.
int hold(const char *list) {
    std::vector<double> times;
    std::string error;
    const char *go = getenv("KESTOVAR_HOLD_GO");
    int rc = 1;
    if (!hold_parse(list, &times) || go == nullptr)
        error = "KESTOVAR_HOLD wants rising times like 5,20.5 and KESTOVAR_HOLD_GO a path";
    else
        rc = hold_run(times, go, 600.0, &stop_signal, &error);
    tavelo_close();
    if (rc != 0) complain("%s", error.c_str());
    return rc;
}

int show(const driver_options &o) {
    printf("Measuring CPU speed");
    if (const char *why = show_load_embedded()) {
        complain("the embedded song was rejected: %s", why);
        return 1;
    }
    // The song renders while the audio device and the display open; what
    // they have to say waits for the last dot. A signal meanwhile ends the
    // show before its first frame, as a queued Escape would.
    prerender_begin(print_dot);

    snd_lib_error_set_handler(quiet_alsa);
    bool sound = true;
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO) < 0) {
        sound = false;
        SDL_Init(SDL_INIT_TIMER);
    }
    SDL_AudioSpec want = {};
    want.freq = SHOW_RATE;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = SHOW_BLOCK_FRAMES;
    want.callback = pakki;
    want.userdata = nullptr;
    if (sound && SDL_OpenAudio(&want, nullptr) < 0) sound = false;
    const std::string audio_error = sound ? "" : SDL_GetError();

    // From here on every call that talks to the X server is watched.
    const char *display = getenv("DISPLAY");
    snprintf(display_name, sizeof display_name, "%s", display ? display : "");
    const watchdog_config watch = {&stop_signal,   kStopGraceMs,   kSilenceMs,     kSilenceMs,
                                   tavelo_answers, end_stuck_show, end_silent_show};
    watchdog_start(&watch);

    tavelo_window(o.window_w, o.window_h);
    tavelo_backend(o.display);
    watchdog_enter();
    const int opened = tavelo_open(640, 480, 32, 0);
    watchdog_leave();
    prerender_end();
    if (!sound) complain("no audio device (%s); the show runs silently", audio_error.c_str());
    if (opened < 0) {
        complain("%s", tavelo_error());
        watchdog_enter();
        SDL_Quit();
        watchdog_leave();
        watchdog_stop();
        return 1;
    }
    if (*tavelo_notice()) complain("%s", tavelo_notice());
    if (const char *list = getenv("KESTOVAR_HOLD")) {
        const int rc = hold(list);
        watchdog_stop();
        return rc;
    }
    watchdog_enter();
    SDL_WM_SetCaption("Kestovar", nullptr);
    SDL_ShowCursor(0);
    watchdog_leave();
    if (sound) SDL_PauseAudio(0);
    const Uint32 start = SDL_GetTicks();
    show_start.store(start);
    show_started.store(true);

    int frames = 0;
    for (;;) {
        // GL calls talk to the X server too (Mesa checks the window's size
        // as a frame begins): the whole pass is watched.
        watchdog_enter();
        if (tavelo_exitevent() || stop_signal || quit) break;
        const int ms = (int)(SDL_GetTicks() - start);
        if (!sound) clock_position(ms);
        if (osa(ms)) {
            tavelo_flip();
            frames++;
            shown_frames.store(frames);
        }
        watchdog_leave();
    }
    watchdog_leave();

    const Uint32 end = SDL_GetTicks();
    show_end.store(end);
    show_ended.store(true);
    watchdog_enter();
    tavelo_close();
    watchdog_leave();
    watchdog_stop();
    printf("\nFPS: %d\n", frame_rate(frames, start, end));
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    driver_options options;
    std::string error;
    if (driver_options_parse(argc, argv, &options, &error) < 0) {
        fprintf(stderr, "kestovar: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        fputs(driver_options_usage(), stdout);
        return 0;
    }
    if (options.version) {
        printf("kestovar %s\n", KESTOVAR_VERSION);
        return 0;
    }
    catch_stop_signals();
    return options.capture ? capture(options) : show(options);
}
