/* main.cpp - the demo: render the song, play it, draw the scene in step.
 *
 * Start-up renders the whole embedded song into `mixed` (647 blocks of 8192
 * frames, a dot per eight blocks), then SDL's audio thread plays `mixed`
 * through `pakki` while the frame loop calls the scene with the milliseconds
 * since playback began and flips each drawn frame. The show ends when the
 * scene sets `quit` (bar 59) or on Escape; the average frame rate is printed.
 *
 * Standard output carries only "Measuring CPU speed", the dots and the FPS
 * line. Problems go to standard error: a rejected song or a missing display
 * end the program with status 1; a missing sound card only silences it, and
 * the position is then taken from the millisecond clock.
 */
#include <SDL.h>
#include <stdarg.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "playback.h"
#include "prerender_thread.h"
#include "scene.h"
#include "song.h"
#include "syna.h"
#include "tavelo.h"

// A message on standard error; on a terminal it starts on a line of its
// own rather than after the progress dots.
static void complain(const char *fmt, ...) {
    fflush(stdout);
    if (isatty(1)) fputc('\n', stderr);
    fputs("kestovar: ", stderr);
    va_list args;
    va_start(args, fmt);
    vfprintf(stderr, fmt, args);
    va_end(args);
    fputc('\n', stderr);
}

static void clock_position(int ms) {
    // No audio thread runs: the scene's position follows the wall clock.
    long long frames = (long long)ms * SHOW_RATE / 1000;
    if (frames < 0) frames = 0;
    if (frames > SHOW_FRAMES) frames = SHOW_FRAMES;
    __atomic_store_n(&syna_counter, (int)frames, __ATOMIC_RELAXED);
}

// One dot for every eight rendered blocks: 80 in all.
static void print_dot(int block) {
    if ((block + 1) % 8 == 0) {
        putchar('.');
        fflush(stdout);
    }
}

int main() {
    printf("Measuring CPU speed");
    syna_init(SHOW_RATE);
    if (syna_get(biisi) < 0) {
        complain("the embedded song was rejected: %s", syna_error());
        return 1;
    }
    // The song renders while the audio device and the display open; what
    // they have to say waits for the last dot.
    prerender_begin(print_dot);

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

    const int opened = tavelo_open(640, 480, 32, 0);
    prerender_end();
    if (!sound) complain("no audio device (%s); the show runs silently", audio_error.c_str());
    if (opened < 0) {
        complain("%s", tavelo_error());
        SDL_Quit();
        return 1;
    }
    SDL_WM_SetCaption("Kestovar", nullptr);
    SDL_ShowCursor(0);
    if (sound) SDL_PauseAudio(0);
    const Uint32 start = SDL_GetTicks();

    int frames = 0;
    for (;;) {
        if (tavelo_exitevent()) break;
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
