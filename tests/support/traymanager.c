/* A notification area for tests under Xvfb: owns the system tray selection
 * of screen 0 and tells the clients so, which is what programs look for to
 * decide that the desktop has a tray. Docking requests are taken and the
 * icons left where they are. Runs until killed. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <string.h>

int main(void)
{
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "traymanager: cannot open the display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    const Window owner = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    const Atom selection = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
    XSetSelectionOwner(display, selection, owner, CurrentTime);
    if (XGetSelectionOwner(display, selection) != owner) {
        fprintf(stderr, "traymanager: another tray runs\n");
        return 1;
    }
    const Atom orientation = XInternAtom(display, "_NET_SYSTEM_TRAY_ORIENTATION", False);
    const long horizontal = 0;
    XChangeProperty(display, owner, orientation, XA_CARDINAL, 32, PropModeReplace,
                    (const unsigned char*)&horizontal, 1);
    XEvent manager;
    memset(&manager, 0, sizeof manager);
    manager.xclient.type = ClientMessage;
    manager.xclient.window = root;
    manager.xclient.message_type = XInternAtom(display, "MANAGER", False);
    manager.xclient.format = 32;
    manager.xclient.data.l[0] = CurrentTime;
    manager.xclient.data.l[1] = (long)selection;
    manager.xclient.data.l[2] = (long)owner;
    XSendEvent(display, root, False, StructureNotifyMask, &manager);
    printf("ready\n");
    fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
    }
}
