// The watchdog, with short times and recording callbacks in place of the
// demo's (which end the process): what it does about a main thread stuck in
// a display call after a stop signal, or with a display that stays silent,
// and what it leaves alone.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "watchdog.h"

namespace {

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

volatile sig_atomic_t stop_flag = 0;
std::atomic<int> stuck_calls{0}, silent_calls{0}, questions{0};
std::atomic<int> waited{-1};
std::atomic<int> answer{1};
// When set, the display is asked while the main thread leaves its call.
std::atomic<bool> leave_while_asked{false};

// When set, a question to the display waits until it is cleared.
std::atomic<bool> hold_answer{false};

int fake_answers(int) {
    questions++;
    while (hold_answer) sleep_ms(5);
    if (leave_while_asked) {
        watchdog_leave();
        return 0;
    }
    return answer.load();
}
void record_stuck() { stuck_calls++; }
void record_silent(int ms) {
    waited = ms;
    silent_calls++;
}

// Waits (generously: the machine may be busy) for a condition to hold.
template <class F>
bool within(int ms, F done) {
    for (int t = 0; t < ms; t += 10) {
        if (done()) return true;
        sleep_ms(10);
    }
    return done();
}

class Watchdog : public ::testing::Test {
protected:
    void SetUp() override {
        stop_flag = 0;
        stuck_calls = silent_calls = questions = 0;
        waited = -1;
        answer = 1;
        leave_while_asked = false;
        hold_answer = false;
    }
    void start(int silence_ms = 100000) {
        const watchdog_config c = {&stop_flag,   50,           silence_ms,   10,
                                   fake_answers, record_stuck, record_silent};
        ASSERT_EQ(watchdog_start(&c), 0);
    }
};

TEST_F(Watchdog, AStopSignalWithTheMainThreadStuckInACallEndsTheShow) {
    start();
    watchdog_enter();
    stop_flag = SIGTERM;
    EXPECT_TRUE(within(10000, [] { return stuck_calls > 0; }));
    watchdog_leave();
    watchdog_stop();
    EXPECT_EQ(stuck_calls, 1);
    EXPECT_EQ(silent_calls, 0);
}

TEST_F(Watchdog, AStopSignalBetweenCallsIsLeftToTheMainThread) {
    start();
    for (int i = 0; i < 20; i++) {  // short calls, as frames are
        watchdog_enter();
        sleep_ms(5);
        watchdog_leave();
        if (i == 5) stop_flag = SIGINT;
    }
    sleep_ms(300);
    watchdog_stop();
    EXPECT_EQ(stuck_calls, 0);
    EXPECT_EQ(silent_calls, 0);
}

TEST_F(Watchdog, ASlowCallOnADisplayThatAnswersIsWaitedFor) {
    start(30);
    watchdog_enter();
    // The display is asked again and again; it always answers.
    EXPECT_TRUE(within(10000, [] { return questions >= 3; }));
    watchdog_leave();
    watchdog_stop();
    EXPECT_EQ(silent_calls, 0);
    EXPECT_EQ(stuck_calls, 0);
}

TEST_F(Watchdog, ADisplayThatStaysSilentEndsTheShowOnce) {
    answer = 0;
    start(30);
    watchdog_enter();
    EXPECT_TRUE(within(10000, [] { return silent_calls > 0; }));
    // Once ended, a signal changes nothing.
    stop_flag = SIGTERM;
    sleep_ms(200);
    watchdog_leave();
    watchdog_stop();
    EXPECT_EQ(silent_calls, 1);
    EXPECT_EQ(stuck_calls, 0);
    EXPECT_GE(waited, 30);
}

TEST_F(Watchdog, ACallThatEndsWhileTheDisplayIsAskedIsNotSilence) {
    leave_while_asked = true;
    start(30);
    watchdog_enter();
    EXPECT_TRUE(within(10000, [] { return questions > 0; }));
    sleep_ms(200);
    watchdog_stop();
    EXPECT_EQ(silent_calls, 0);
}

TEST_F(Watchdog, NothingIsCalledAfterStop) {
    answer = 0;
    start(30);
    watchdog_stop();
    watchdog_enter();
    stop_flag = SIGTERM;
    sleep_ms(300);
    watchdog_leave();
    EXPECT_EQ(silent_calls, 0);
    EXPECT_EQ(stuck_calls, 0);
}

TEST_F(Watchdog, StopDoesNotWaitForAQuestionUnderWay) {
    // A failed start-up stops the watchdog while it asks a stopped server,
    // which may take seconds: the error must not wait for it.
    answer = 0;
    hold_answer = true;
    start(30);
    watchdog_enter();
    ASSERT_TRUE(within(10000, [] { return questions > 0; }));
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        watchdog_stop();
        stopped = true;
    });
    const bool returned = within(10000, [&] { return stopped.load(); });
    hold_answer = false;
    stopper.join();
    watchdog_leave();
    EXPECT_TRUE(returned);
    sleep_ms(200);  // the old thread gets its (silent) answer now
    EXPECT_EQ(silent_calls, 0);
}

}  // namespace
