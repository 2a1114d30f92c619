/* out_file.cpp - see out_file.h. */
#include "out_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <vector>

namespace {

// The temporary file's name, for the signal handler.
char pending_temp[PATH_MAX];

void remove_temp_and_die(int sig) {
    if (pending_temp[0]) unlink(pending_temp);
    signal(sig, SIG_DFL);
    raise(sig);
}

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t hold_signals() {
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : kSignals) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &old);
    return old;
}

void release_signals(const sigset_t &old) { sigprocmask(SIG_SETMASK, &old, nullptr); }

// Sets or clears the name the handler removes, with those signals held off.
void set_pending(const char *name) {
    const sigset_t old = hold_signals();
    if (name) {
        strncpy(pending_temp, name, sizeof pending_temp - 1);
        pending_temp[sizeof pending_temp - 1] = 0;
        for (int s : kSignals) {
            struct sigaction sa = {};
            sa.sa_handler = remove_temp_and_die;
            sigaction(s, &sa, nullptr);
        }
    } else {
        pending_temp[0] = 0;
    }
    release_signals(old);
}

std::string folder_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Opens a temporary file beside `target`, with the mode the target has or
// a new file would get.
int open_temp(const std::string &target, const struct stat *existing, bool on_signal,
              std::string *temp) {
    std::string pattern = folder_of(target) + ".kXXXXXX";
    if (on_signal && pattern.size() >= sizeof pending_temp) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    // Signals wait until the handler knows the new file's name.
    const sigset_t old = hold_signals();
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0 && on_signal) set_pending(name.data());
    release_signals(old);
    if (fd < 0) return -1;
    *temp = name.data();
    mode_t mode;
    if (existing) {
        mode = existing->st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    return fd;
}

// The name with its folder resolved (symbolic links, "..", "."); the name
// itself when the folder cannot be resolved.
std::string canonical_new(const std::string &path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    char *real = realpath(dir.c_str(), nullptr);
    if (real == nullptr) return path;
    std::string r = std::string(real) + "/" + base;
    free(real);
    return r;
}

}  // namespace

bool out_open(OutFile *f, const std::string &path, bool remove_on_signal, std::string *why) {
    *f = OutFile{};
    f->shown_name = path;
    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            *why = path + ": " + strerror(EISDIR);
            return false;
        }
        // A device or fifo cannot be replaced: write into it.
        f->fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
        f->write_name = path;
    } else {
        // A symbolic link keeps pointing at the file it named.
        std::string target = path;
        if (exists) {
            char *real = realpath(path.c_str(), nullptr);
            if (real) target = real;
            free(real);
        }
        f->fd = open_temp(target, exists ? &st : nullptr, remove_on_signal, &f->temp_name);
        f->final_name = target;
        f->write_name = f->temp_name;
    }
    if (f->fd < 0) {
        *why = path + ": " + strerror(errno);
        *f = OutFile{};
        return false;
    }
    return true;
}

bool out_commit(OutFile *f, std::string *why) {
    if (f->fd >= 0) {
        const int fd = f->fd;
        f->fd = -1;
        if (close(fd) != 0) {
            *why = f->shown_name + ": " + strerror(errno);
            out_abort(f);
            return false;
        }
    }
    if (!f->temp_name.empty()) {
        if (rename(f->temp_name.c_str(), f->final_name.c_str()) != 0) {
            *why = f->shown_name + ": " + strerror(errno);
            out_abort(f);
            return false;
        }
        f->temp_name.clear();
        set_pending(nullptr);
    }
    return true;
}

void out_abort(OutFile *f) {
    if (f->fd >= 0) close(f->fd);
    f->fd = -1;
    if (!f->temp_name.empty()) {
        unlink(f->temp_name.c_str());
        f->temp_name.clear();
        set_pending(nullptr);
    }
}

bool out_same_file(const std::string &a, const std::string &b) {
    struct stat sa, sb;
    const bool ea = stat(a.c_str(), &sa) == 0, eb = stat(b.c_str(), &sb) == 0;
    // A device takes any number of writers (two stills to /dev/null).
    if (ea && eb) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino && S_ISREG(sa.st_mode);
    if (ea != eb) return false;
    return canonical_new(a) == canonical_new(b);
}

bool out_in_use(const std::string &path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    auto same = [&](const std::string &other) {
        struct stat o;
        return stat(other.c_str(), &o) == 0 && o.st_dev == st.st_dev && o.st_ino == st.st_ino;
    };
    if (same("/proc/self/exe")) return true;
    // Each line of the maps: address perms offset dev inode [path].
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const size_t slash = line.find('/');
        if (slash != std::string::npos && same(line.substr(slash))) return true;
    }
    return false;
}
