// The display probe against a stand-in X server on an abstract socket: a
// server that resets drops the probe's connection unanswered (asked again),
// an accepted connection is held open when asked, a refusal or silence is
// never held, and nothing waits past the deadline.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "xprobe.h"

namespace {

enum Answer { kDrop = -1, kSilent = -2 };  // or a status byte to send

// Listens where ":N" is looked for first (the abstract socket) and answers
// its connections in turn as `answers` says; the last answer repeats.
class StandIn {
public:
    explicit StandIn(std::vector<int> answers) : answers_(std::move(answers)) {
        number_ = 40000 + static_cast<int>(getpid() % 19000);
        char path[64];
        const int n = std::snprintf(path, sizeof path, "/tmp/.X11-unix/X%d", number_);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::memcpy(a.sun_path + 1, path, (size_t)n);
        listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const socklen_t len = (socklen_t)(offsetof(sockaddr_un, sun_path) + 1 + (size_t)n);
        bound_ = bind(listener_, reinterpret_cast<sockaddr *>(&a), len) == 0 &&
                 listen(listener_, 8) == 0;
        if (bound_) thread_ = std::thread([this] { serve(); });
    }
    ~StandIn() {
        done_ = true;
        shutdown(listener_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        close(listener_);
        for (int fd : kept_) close(fd);
    }
    bool bound() const { return bound_; }
    std::string display() const {
        char name[16];
        std::snprintf(name, sizeof name, ":%d", number_);
        return name;
    }
    int connections() const { return connections_; }
    // The server's side of the n-th connection that was read and kept (it
    // may be kept a moment after the probe had its answer).
    int kept(size_t n) {
        std::unique_lock<std::mutex> hold(mutex_);
        changed_.wait_for(hold, std::chrono::seconds(5), [&] { return kept_.size() > n; });
        return n < kept_.size() ? kept_[n] : -1;
    }

private:
    void serve() {
        for (;;) {
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0 || done_) {
                if (fd >= 0) close(fd);
                return;
            }
            const size_t i = (size_t)connections_;
            const int answer = answers_[i < answers_.size() ? i : answers_.size() - 1];
            connections_++;
            if (answer == kDrop) {
                close(fd);
                continue;
            }
            unsigned char setup[12];
            if (recv(fd, setup, sizeof setup, MSG_WAITALL) == (ssize_t)sizeof setup &&
                answer >= 0) {
                const unsigned char status = (unsigned char)answer;
                send(fd, &status, 1, MSG_NOSIGNAL);
            }
            std::lock_guard<std::mutex> hold(mutex_);
            kept_.push_back(fd);
            changed_.notify_all();
        }
    }

    std::vector<int> answers_;
    int number_ = 0;
    int listener_ = -1;
    bool bound_ = false;
    std::atomic<bool> done_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> kept_;
    std::thread thread_;
};

// True when the peer of `fd` has closed its end.
bool peer_closed(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) != 1) return false;
    char c;
    return recv(fd, &c, 1, MSG_DONTWAIT) == 0;
}

TEST(Xprobe, AResettingServerIsAskedAgain) {
    StandIn server({kDrop, kDrop, 1});
    if (!server.bound()) GTEST_SKIP() << "no abstract socket";
    EXPECT_EQ(xprobe_answers(server.display().c_str(), 5000), XPROBE_ANSWERS);
    EXPECT_EQ(server.connections(), 3);
}

TEST(Xprobe, AConnectionLeftUnansweredInAResetIsMadeAgain) {
    StandIn server({kSilent, 1});
    if (!server.bound()) GTEST_SKIP() << "no abstract socket";
    EXPECT_EQ(xprobe_answers(server.display().c_str(), 5000), XPROBE_ANSWERS);
    EXPECT_EQ(server.connections(), 2);
}

TEST(Xprobe, AServerThatKeepsResettingIsNoServerByTheDeadline) {
    StandIn server({kDrop});
    if (!server.bound()) GTEST_SKIP() << "no abstract socket";
    int fd = 7;
    EXPECT_NE(xprobe_hold(server.display().c_str(), 300, &fd), XPROBE_ANSWERS);
    EXPECT_EQ(fd, -1);
    EXPECT_GE(server.connections(), 2);
}

TEST(Xprobe, AnAcceptedConnectionIsHeldUntilTheCallerClosesIt) {
    StandIn server({1});
    if (!server.bound()) GTEST_SKIP() << "no abstract socket";
    int fd = -1;
    ASSERT_EQ(xprobe_hold(server.display().c_str(), 5000, &fd), XPROBE_ANSWERS);
    ASSERT_GE(fd, 0);
    const int theirs = server.kept(0);
    ASSERT_GE(theirs, 0);
    pollfd p{theirs, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 100), 0) << "the held connection was closed";
    close(fd);
    EXPECT_TRUE(peer_closed(theirs));
}

TEST(Xprobe, RefusalsAndSilenceAreNotHeld) {
    for (int answer : {0, 2}) {  // refused; authentication wanted
        StandIn server({answer});
        if (!server.bound()) GTEST_SKIP() << "no abstract socket";
        int fd = 7;
        EXPECT_EQ(xprobe_hold(server.display().c_str(), 5000, &fd), XPROBE_ANSWERS) << answer;
        EXPECT_EQ(fd, -1) << answer;
        EXPECT_TRUE(peer_closed(server.kept(0))) << answer;
    }
    StandIn server({kSilent});
    if (!server.bound()) GTEST_SKIP() << "no abstract socket";
    int fd = 7;
    EXPECT_EQ(xprobe_hold(server.display().c_str(), 200, &fd), XPROBE_SILENT);
    EXPECT_EQ(fd, -1);
    EXPECT_TRUE(peer_closed(server.kept(0)));
}

}  // namespace
