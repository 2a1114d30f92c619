// tavelo_exitevent against an SDL event queue filled by hand. SDL's dummy
// video driver gives a queue without any window system.
#include "tavelo.h"

#include <SDL/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

class ExitEvent : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        if (SDL_Init(SDL_INIT_VIDEO) < 0)
            GTEST_SKIP() << "no SDL dummy video driver: " << SDL_GetError();
        // Start from an empty queue whatever start-up posted.
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
    }
    void TearDown() override {
        SDL_Quit();
        unsetenv("SDL_VIDEODRIVER");
    }

    static void push_key(Uint8 type, SDLKey sym) {
        SDL_Event e{};
        e.type = type;
        e.key.type = type;
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.sym = sym;
        ASSERT_EQ(SDL_PushEvent(&e), 0);
    }
    static void push_other(Uint8 type) {
        SDL_Event e{};
        e.type = type;
        ASSERT_EQ(SDL_PushEvent(&e), 0);
    }
    // Everything still queued, oldest first, left in the queue.
    static std::vector<SDL_Event> queued() {
        SDL_Event e[16];
        const int n = SDL_PeepEvents(e, 16, SDL_PEEKEVENT, SDL_ALLEVENTS);
        return std::vector<SDL_Event>(e, e + (n > 0 ? n : 0));
    }
};

}  // namespace

TEST_F(ExitEvent, EscapeStopsAtOnceAndLeavesLaterEventsQueued) {
    EXPECT_EQ(tavelo_exitevent(), 0);  // empty queue

    push_other(SDL_MOUSEMOTION);
    push_key(SDL_KEYDOWN, SDLK_ESCAPE);
    push_key(SDL_KEYDOWN, SDLK_a);
    EXPECT_EQ(tavelo_exitevent(), 1);
    std::vector<SDL_Event> left = queued();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].type, SDL_KEYDOWN);
    EXPECT_EQ(left[0].key.keysym.sym, SDLK_a);

    EXPECT_EQ(tavelo_exitevent(), 0);  // the A press is dropped
    EXPECT_TRUE(queued().empty());

    // Two Escapes queued: one per call.
    push_key(SDL_KEYDOWN, SDLK_ESCAPE);
    push_key(SDL_KEYUP, SDLK_ESCAPE);
    EXPECT_EQ(tavelo_exitevent(), 1);
    EXPECT_EQ(queued().size(), 1u);
    EXPECT_EQ(tavelo_exitevent(), 1);
    EXPECT_EQ(tavelo_exitevent(), 0);
}

TEST_F(ExitEvent, ReleaseOfEscapeAloneCounts) {
    push_key(SDL_KEYUP, SDLK_ESCAPE);
    EXPECT_EQ(tavelo_exitevent(), 1);
    EXPECT_TRUE(queued().empty());
}

TEST_F(ExitEvent, QuitRequestEndsLikeEscape) {
    // The window's close button and SIGINT/SIGTERM reach the queue as SDL_QUIT.
    push_other(SDL_MOUSEMOTION);
    push_other(SDL_QUIT);
    push_key(SDL_KEYDOWN, SDLK_a);
    EXPECT_EQ(tavelo_exitevent(), 1);
    std::vector<SDL_Event> left = queued();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].type, SDL_KEYDOWN);
    EXPECT_EQ(tavelo_exitevent(), 0);
}

TEST_F(ExitEvent, EverythingElseIsDrained) {
    push_other(SDL_MOUSEMOTION);
    push_other(SDL_ACTIVEEVENT);
    push_other(SDL_MOUSEBUTTONDOWN);
    push_other(SDL_VIDEOEXPOSE);
    push_key(SDL_KEYDOWN, SDLK_a);
    push_key(SDL_KEYUP, SDLK_a);
    push_key(SDL_KEYDOWN, SDLK_q);
    // A non-keyboard event whose bytes read as Escape if taken for a key
    // event: only the event type may decide.
    SDL_Event fake{};
    fake.key.keysym.sym = SDLK_ESCAPE;
    fake.type = SDL_MOUSEBUTTONUP;
    ASSERT_EQ(SDL_PushEvent(&fake), 0);
    ASSERT_EQ(queued().size(), 8u);

    EXPECT_EQ(tavelo_exitevent(), 0);
    EXPECT_TRUE(queued().empty());
}
