/* xvfb_server.h - a private Xvfb for tests and benchmarks that need X.
 *
 * Xvfb server;                 // first free display of :90 to :99
 * if (!server.running()) skip; // Xvfb missing or every number taken
 * setenv("DISPLAY", server.display().c_str(), 1);
 *
 * The server is stopped when the object goes, and dies with the process.
 */
#ifndef KESTOVAR_SUPPORT_XVFB_SERVER_H
#define KESTOVAR_SUPPORT_XVFB_SERVER_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// prefix + n + suffix; kept out of string concatenation, which draws a false
// -Wrestrict warning from GCC 12.
std::string numbered(const char *prefix, long n, const char *suffix = "") {
    char text[64];
    std::snprintf(text, sizeof text, "%s%ld%s", prefix, n, suffix);
    return text;
}

// An Xvfb of our own on the first free display of :90 to :99. Xvfb reports
// on a pipe (-displayfd) once it accepts clients, so a server started at
// the same moment by another test on the same number is never mistaken for
// ours.
class Xvfb {
public:
    explicit Xvfb(const char *size = "1280x720") {
        char screen[32];
        std::snprintf(screen, sizeof screen, "%sx24", size);
        screen_ = screen;
        for (int n = 90; n <= 99 && pid_ < 0; ++n) {
            if (access(numbered("/tmp/.X", n, "-lock").c_str(), F_OK) == 0) continue;
            try_start(n);
        }
    }
    ~Xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    Xvfb(const Xvfb &) = delete;
    Xvfb &operator=(const Xvfb &) = delete;

    bool running() const { return pid_ > 0; }
    const std::string &display() const { return display_; }

private:
    void try_start(int n) {
        int fds[2];
        if (pipe(fds) != 0) return;
        const std::string name = numbered(":", n);
        const std::string fd = numbered("", fds[1]);
        const pid_t pid = fork();
        if (pid == 0) {
            // A crashed test must not leave its server behind.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            close(fds[0]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", screen_.c_str(), "-nolisten",
                   "tcp", "-noreset", "-displayfd", fd.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return;
        }
        // Either Xvfb writes its display number and a line end, or it exits
        // (display taken, Xvfb missing); the bound only guards against a
        // hung server. Read the whole line: Xvfb dies if the pipe closes
        // between the number and the line end.
        std::string text;
        for (;;) {
            pollfd p{fds[0], POLLIN, 0};
            char c;
            if (poll(&p, 1, 20000) != 1 || read(fds[0], &c, 1) != 1 || c == '\n') break;
            text += c;
        }
        close(fds[0]);
        if (!text.empty() && std::atoi(text.c_str()) == n) {
            pid_ = pid;
            display_ = name;
            return;
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }

    pid_t pid_ = -1;
    std::string display_;
    std::string screen_;
};

}  // namespace

#endif
