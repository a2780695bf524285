/* keywindow LOG: a window that takes the keyboard focus and writes down
   each key press it gets, a key symbol name a line, in LOG. "ready" comes
   first, once it has the focus. Runs until it is killed. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    FILE* log = fopen(argv[1], "w");
    Display* display = XOpenDisplay(NULL);
    if (!log || !display)
        return 1;
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100, 0, 0, 0);
    XSelectInput(display, window, KeyPressMask | StructureNotifyMask);
    XMapWindow(display, window);
    for (XEvent event;;) {
        XNextEvent(display, &event);
        if (event.type == MapNotify)
            break;
    }
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    fprintf(log, "ready\n");
    fflush(log);
    for (XEvent event;;) {
        XNextEvent(display, &event);
        if (event.type != KeyPress)
            continue;
        const char* name = XKeysymToString(XLookupKeysym(&event.xkey, 0));
        fprintf(log, "%s\n", name ? name : "?");
        fflush(log);
    }
}
