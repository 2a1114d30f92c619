/* no_map_wm.c - a window manager that never maps a window: it takes the
 * root window's map requests and ignores them. For the end-to-end test of
 * a show whose window is never shown.
 *
 * Usage: no_map_wm   (on DISPLAY; prints "ready" once it holds the root)
 */
#include <X11/Xlib.h>
#include <stdio.h>

int main(void) {
    Display *d = XOpenDisplay(NULL);
    if (d == NULL) {
        fprintf(stderr, "no_map_wm: cannot open the display\n");
        return 1;
    }
    XSelectInput(d, DefaultRootWindow(d), SubstructureRedirectMask);
    XSync(d, False);
    printf("ready\n");
    fflush(stdout);
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);  // MapRequest and the rest: nothing is done
    }
}
