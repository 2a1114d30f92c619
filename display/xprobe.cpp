/* xprobe.cpp - a connection-setup handshake with a deadline. */
#include "xprobe.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Internal: the server took the connection and closed it unanswered.
constexpr int XPROBE_CLOSED = 100;

long long now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// Waits until fd is ready for `events` or the deadline passes.
bool wait_for(int fd, short events, long long deadline) {
    for (;;) {
        const long long left = deadline - now_ms();
        if (left <= 0) return false;
        pollfd p = {fd, events, 0};
        const int r = poll(&p, 1, (int)left);
        if (r >= 0) return r > 0;
        if (errno != EINTR) return false;
    }
}

// A non-blocking connect finished within the deadline: 0, or -1.
int connect_by(int fd, const sockaddr *addr, socklen_t len, long long deadline) {
    if (connect(fd, addr, len) == 0) return 0;
    if (errno != EINPROGRESS && errno != EAGAIN) return -1;
    if (!wait_for(fd, POLLOUT, deadline)) return -1;
    int err = 0;
    socklen_t n = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &n) != 0 || err != 0) return -1;
    return 0;
}

int unix_socket(int number, long long deadline) {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    // Linux servers listen on an abstract socket as well as in the folder.
    for (int abstract = 1; abstract >= 0; abstract--) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::memcpy(a.sun_path + abstract, path.c_str(), path.size());
        const socklen_t len = (socklen_t)(offsetof(sockaddr_un, sun_path) + abstract + path.size());
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        if (connect_by(fd, reinterpret_cast<sockaddr *>(&a), len, deadline) == 0) return fd;
        close(fd);
    }
    return -1;
}

int tcp_socket(const std::string &host, int number, long long deadline) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    const std::string port = std::to_string(6000 + number);
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0) return -1;
    int fd = -1;
    for (addrinfo *a = list; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (connect_by(fd, a->ai_addr, a->ai_addrlen, deadline) != 0) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(list);
    return fd;
}

}  // namespace

namespace {

// One connection-setup handshake: connected by `deadline`, answered by
// `reply_by`. On a reply that accepts the connection and a non-null `held`,
// the connection stays open in *held.
int probe_once(const std::string &host, int number, long long deadline, long long reply_by,
               int *held) {
    const int fd = host.empty() || host == "unix" ? unix_socket(number, deadline)
                                                  : tcp_socket(host, number, deadline);
    if (fd < 0) return XPROBE_NO_SERVER;

    // Connection setup with no authorisation: byte order, protocol 11.0,
    // empty name and data. Any reply - success, refusal or a request to
    // authenticate - shows the server is alive.
    static const unsigned char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    int result = XPROBE_CLOSED;
    if (send(fd, setup, sizeof setup, MSG_NOSIGNAL) == (ssize_t)sizeof setup) {
        if (!wait_for(fd, POLLIN, reply_by)) {
            result = XPROBE_SILENT;
        } else {
            // Closed without a word: a server in the middle of a reset
            // drops the connections it has not yet set up.
            unsigned char status = 0;
            if (recv(fd, &status, 1, 0) == 1) {
                result = XPROBE_ANSWERS;
                if (status == 1 && held != nullptr) {
                    *held = fd;
                    return result;
                }
            }
        }
    }
    close(fd);
    return result;
}

int probe(const char *display, int timeout_ms, int *held) {
    if (held != nullptr) *held = -1;
    if (display == nullptr) return XPROBE_UNKNOWN;
    const std::string d = display;
    const size_t colon = d.rfind(':');
    if (colon == std::string::npos || colon + 1 >= d.size()) return XPROBE_UNKNOWN;
    std::string host = d.substr(0, colon);
    // "::1:0"-style IPv6 hosts and DECnet "host::0" are not read here.
    if (!host.empty() && host.back() == ':') return XPROBE_UNKNOWN;
    char *end = nullptr;
    const long number = std::strtol(d.c_str() + colon + 1, &end, 10);
    if (end == d.c_str() + colon + 1 || (*end != '\0' && *end != '.') || number < 0 ||
        number > 59535)
        return XPROBE_UNKNOWN;
    if (host.find('/') != std::string::npos) return XPROBE_UNKNOWN;

    const long long deadline = now_ms() + timeout_ms;
    // Each handshake gets a growing slice of the time: a connection made
    // while the server resets can be left unanswered, and a fresh one is
    // then answered at once; a stopped server stays silent to every one.
    long long slice = 250;
    for (;;) {
        const long long now = now_ms();
        const long long until = now + slice < deadline ? now + slice : deadline;
        slice *= 2;
        const int result = probe_once(host, (int)number, deadline, until, held);
        if (result == XPROBE_SILENT && until < deadline) continue;
        if (result != XPROBE_CLOSED) return result;
        // The reset is over in milliseconds; ask again until the deadline.
        const long long left = deadline - now_ms();
        if (left <= 0) return XPROBE_NO_SERVER;
        const timespec pause = {0, static_cast<long>(left < 20 ? left : 20) * 1000000L};
        nanosleep(&pause, nullptr);
    }
}

}  // namespace

extern "C" int xprobe_answers(const char *display, int timeout_ms) {
    return probe(display, timeout_ms, nullptr);
}

extern "C" int xprobe_hold(const char *display, int timeout_ms, int *fd) {
    return probe(display, timeout_ms, fd);
}
