/* xprobe.h - does the X server named by DISPLAY answer at all?
 *
 * Xlib's XOpenDisplay waits without limit for the server's reply to the
 * connection setup, so a server that accepts connections but never answers
 * (a stopped one, for instance) hangs whoever opens it. xprobe_answers
 * connects by itself, sends the setup request and waits at most timeout_ms
 * for any reply (even a refusal is an answer).
 *
 * Understands ":N", ":N.S", "unix:N" (local socket, abstract or in
 * /tmp/.X11-unix) and "host:N" (TCP port 6000 + N). Anything else is left
 * to Xlib (reported as XPROBE_UNKNOWN).
 *
 * A server that closes the connection without a word is resetting (it does
 * so when its last client leaves, and drops connections made meanwhile);
 * the probe asks again until the deadline.
 *
 * xprobe_hold does the same and, when the server accepts the connection,
 * leaves it open in *fd (else *fd is -1): while it is open the server has
 * a client and does not reset. The caller closes it.
 *
 * Limitations: the reply is not read beyond its first byte; the TCP host
 * name is resolved with getaddrinfo, which has no deadline of its own.
 */
#ifndef KESTOVAR_XPROBE_H
#define KESTOVAR_XPROBE_H

#ifdef __cplusplus
extern "C" {
#endif

enum {
    XPROBE_ANSWERS = 0,   /* a reply came */
    XPROBE_NO_SERVER = 1, /* nothing accepts connections there */
    XPROBE_SILENT = 2,    /* connected, but no reply within the time */
    XPROBE_UNKNOWN = 3,   /* a DISPLAY form this probe does not read */
};

int xprobe_answers(const char *display, int timeout_ms);
int xprobe_hold(const char *display, int timeout_ms, int *fd);

#ifdef __cplusplus
}
#endif
#endif
