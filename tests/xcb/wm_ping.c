/* Sends the window manager's _NET_WM_PING to a window every 50 ms for a
 * given time and reports the longest wait for its answer, in milliseconds
 * (an answer needs the program's event loop). A ping unanswered at the end
 * counts with its wait so far.
 *
 *     wm_ping WINDOW_ID SECONDS      (DISPLAY from the environment)
 *
 * Prints "pings N answered M longest_ms L".
 */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: wm_ping WINDOW_ID SECONDS\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "no display\n");
        return 2;
    }
    const Window window = (Window)strtoul(argv[1], NULL, 0);
    const double seconds = atof(argv[2]);
    const Window root = DefaultRootWindow(display);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    /* The answer goes to the root window, to those who select substructure events. */
    XSelectInput(display, root, SubstructureNotifyMask);
    const double end = now_ms() + seconds * 1000.0;
    long sent = 0, answered = 0, waiting_stamp = -1;
    double sent_at = 0, longest = 0, next = now_ms();
    while (now_ms() < end) {
        const double t = now_ms();
        if (waiting_stamp < 0 && t >= next) {
            XEvent event = {0};
            event.xclient.type = ClientMessage;
            event.xclient.window = window;
            event.xclient.message_type = protocols;
            event.xclient.format = 32;
            event.xclient.data.l[0] = (long)ping;
            event.xclient.data.l[1] = ++sent;  /* the "timestamp" that comes back */
            event.xclient.data.l[2] = (long)window;
            XSendEvent(display, window, False, NoEventMask, &event);
            XFlush(display);
            waiting_stamp = sent;
            sent_at = t;
            next = t + 50;
        }
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (getenv("WM_PING_DEBUG") && event.type == ClientMessage)
                fprintf(stderr, "client message window %lx type %ld l0 %ld l1 %ld\n",
                        event.xclient.window, (long)event.xclient.message_type,
                        event.xclient.data.l[0], event.xclient.data.l[1]);
            if (event.type == ClientMessage && event.xclient.message_type == protocols &&
                (Atom)event.xclient.data.l[0] == ping && event.xclient.data.l[1] == waiting_stamp) {
                const double waited = now_ms() - sent_at;
                if (waited > longest) longest = waited;
                ++answered;
                waiting_stamp = -1;
            }
        }
        if (waiting_stamp >= 0 && now_ms() - sent_at > longest) longest = now_ms() - sent_at;
        usleep(1000);
    }
    printf("pings %ld answered %ld longest_ms %.1f\n", sent, answered, longest);
    XCloseDisplay(display);
    return 0;
}
