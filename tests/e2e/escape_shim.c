/* escape_shim.c - LD_PRELOAD helper for the end-to-end tests.
 *
 * Wraps SDL_WM_SetCaption: after the real call it queues an Escape press, so
 * the event is waiting before the demo's frame loop draws its first frame.
 */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <SDL.h>
#include <dlfcn.h>

void SDL_WM_SetCaption(const char *title, const char *icon) {
    void (*real)(const char *, const char *) =
        (void (*)(const char *, const char *))dlsym(RTLD_NEXT, "SDL_WM_SetCaption");
    if (real) real(title, icon);
    SDL_Event e;
    e.type = SDL_KEYDOWN;
    e.key.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    e.key.keysym.scancode = 9;
    e.key.keysym.sym = SDLK_ESCAPE;
    e.key.keysym.mod = KMOD_NONE;
    e.key.keysym.unicode = 0;
    SDL_PushEvent(&e);
}
