/* close_window.c - what a window manager sends when the user clicks a
 * window's close button: a WM_PROTOCOLS client message carrying
 * WM_DELETE_WINDOW. For the end-to-end tests, which run without a window
 * manager.
 *
 * Usage: close_window WINDOW-ID   (decimal or 0x hex, as xdotool prints it)
 */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: close_window WINDOW-ID\n");
        return 2;
    }
    Display *d = XOpenDisplay(NULL);
    if (d == NULL) {
        fprintf(stderr, "close_window: cannot open the display\n");
        return 1;
    }
    const Window w = (Window)strtoul(argv[1], NULL, 0);
    XEvent e = {0};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &e);
    XSync(d, False);
    XCloseDisplay(d);
    return 0;
}
