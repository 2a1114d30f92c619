/* startup_floor.cpp - the demo's start-up without the song, for
 * startup_bench: the same SDL audio and display set-up, one scene frame
 * (bar 0, silent audio) and its flip. With the start-up shim preloaded the
 * process ends at that flip; without it, it ends right after.
 *
 * The time this takes is the floor under the demo's start-up that no
 * change of the song's rendering can go below.
 */
#include <SDL.h>
#include <stdio.h>

#include "scene.h"
#include "show.h"
#include "tavelo.h"

static void silence(void *, Uint8 *stream, int len) { SDL_memset(stream, 0, (size_t)len); }

int main() {
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO) < 0) SDL_Init(SDL_INIT_TIMER);
    SDL_AudioSpec want = {};
    want.freq = SHOW_RATE;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = SHOW_BLOCK_FRAMES;
    want.callback = silence;
    const bool sound = SDL_OpenAudio(&want, nullptr) == 0;
    if (tavelo_open(640, 480, 32, 0) < 0) {
        fprintf(stderr, "startup_floor: %s\n", tavelo_error());
        SDL_Quit();
        return 1;
    }
    SDL_WM_SetCaption("Kestovar", nullptr);
    SDL_ShowCursor(0);
    if (sound) SDL_PauseAudio(0);
    if (osa(0)) tavelo_flip();
    tavelo_close();
    return 0;
}
