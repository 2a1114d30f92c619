/* main.cpp - the demo: render the song, play it, draw the scene in step;
 * or, with --capture / --still, render the show off screen into files.
 *
 * Start-up renders the whole embedded song into `mixed` (647 blocks of 8192
 * frames, a dot per eight blocks), then SDL's audio thread plays `mixed`
 * through `pakki` while the frame loop calls the scene with the milliseconds
 * since playback began and flips each drawn frame. The show ends when the
 * scene sets `quit` (bar 59), on Escape, on the window's close button and
 * on SIGINT or SIGTERM; the average frame rate is printed.
 *
 * With no arguments standard output carries only "Measuring CPU speed",
 * the dots and the FPS line. Problems go to standard error: a rejected song
 * or a missing display end the program with status 1; a missing sound card
 * only silences it, and the position is then taken from the millisecond
 * clock. A wrong command line ends it with status 2.
 *
 * A capture (capture.h) needs neither a display nor a sound card; its
 * progress goes to standard error on a terminal, the names of the files
 * written to standard output. Stopped by SIGINT or SIGTERM it closes the
 * video file properly and exits with 128 + the signal number.
 */
#include <SDL.h>
#include <alsa/asoundlib.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "capture.h"
#include "hold.h"
#include "options.h"
#include "playback.h"
#include "prerender_thread.h"
#include "progress.h"
#include "scene.h"
#include "song.h"
#include "syna.h"
#include "tavelo.h"

#ifndef KESTOVAR_VERSION
#define KESTOVAR_VERSION "unknown"
#endif

namespace {

// Set by SIGINT or SIGTERM, whenever they come: before SDL is up, during the
// show or during a capture. SDL keeps this handler rather than its own.
volatile sig_atomic_t stop_signal = 0;

void on_stop(int signo) { stop_signal = signo; }

void catch_stop_signals() {
    struct sigaction sa = {};
    sa.sa_handler = on_stop;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
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

int capture(driver_options &o) {
    syna_init(SHOW_RATE);
    if (syna_get(biisi) < 0) {
        complain("the embedded song was rejected: %s", syna_error());
        return 1;
    }
    progress_start("render", SHOW_BLOCKS);
    show_prerender(render_progress);
    progress_finish();

    o.request.progress = 1;
    o.request.stop = &stop_signal;
    const int rc = capture_run(&o.request);
    if (rc < 0) {
        complain("%s", capture_error());
        return 1;
    }
    if (rc == 1) {
        if (o.request.video != nullptr)
            complain("stopped; %s holds what was captured until then", o.request.video);
        else
            complain("stopped");
        return 128 + stop_signal;
    }
    const int fps = o.request.fps;
    if (o.request.video != nullptr) {
        const long long show = capture_show_frames(fps);
        const long long first = capture_frame_at(o.request.from, fps);
        long long end = o.request.to < 0 ? show : capture_frame_at(o.request.to, fps);
        if (end > show) end = show;
        printf("%s: %lld frames, %.3f s from %.3f s, %dx%d at %d fps\n", o.request.video,
               end - first, (double)(end - first) / fps, (double)first / fps, o.request.width,
               o.request.height, fps);
    }
    for (const capture_still &s : o.stills)
        printf("%s: the frame at %.3f s\n", s.path, (double)capture_frame_at(s.seconds, fps) / fps);
    return 0;
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
    syna_init(SHOW_RATE);
    if (syna_get(biisi) < 0) {
        complain("the embedded song was rejected: %s", syna_error());
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

    tavelo_window(o.window_w, o.window_h);
    tavelo_backend(o.display);
    const int opened = tavelo_open(640, 480, 32, 0);
    prerender_end();
    if (!sound) complain("no audio device (%s); the show runs silently", audio_error.c_str());
    if (opened < 0) {
        complain("%s", tavelo_error());
        SDL_Quit();
        return 1;
    }
    if (*tavelo_notice()) complain("%s", tavelo_notice());
    if (const char *list = getenv("KESTOVAR_HOLD")) return hold(list);
    SDL_WM_SetCaption("Kestovar", nullptr);
    SDL_ShowCursor(0);
    if (sound) SDL_PauseAudio(0);
    const Uint32 start = SDL_GetTicks();

    int frames = 0;
    for (;;) {
        if (tavelo_exitevent()) break;
        if (stop_signal) break;
        if (quit) break;
        const int ms = (int)(SDL_GetTicks() - start);
        if (!sound) clock_position(ms);
        if (osa(ms)) {
            tavelo_flip();
            frames++;
        }
    }

    const Uint32 end = SDL_GetTicks();
    tavelo_close();
    const int elapsed = (int)(end - start);
    // Both readings in the same millisecond: no rate can be measured.
    const int fps = elapsed > 0 ? (int)((long long)frames * 1000 / elapsed) : 0;
    printf("\nFPS: %d\n", fps);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    driver_options options;
    std::string error;
    if (options_parse(argc, argv, &options, &error) < 0) {
        fprintf(stderr, "kestovar: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        fputs(options_usage(), stdout);
        return 0;
    }
    if (options.version) {
        printf("kestovar %s\n", KESTOVAR_VERSION);
        return 0;
    }
    catch_stop_signals();
    return options.capture ? capture(options) : show(options);
}
