/* The keyboard hook library for X11 sessions. An event thread on a
   connection of its own reads the XInput2 raw key events of every
   keyboard, which come whoever holds the keyboard, and posts them to the
   window; the entry points work on a second connection: grabbing the
   keyboard for a capture, XTest key presses for the lock keys, and the
   lock states. Neither connection lets a lost X server end the process. */
#define _GNU_SOURCE
#include "hook/vtkbdhook.h"

#include "hook/vkmap.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

enum {
    kKeycodes = 256,
    kRepeatOnce = 1,
    kGrabAttempts = 50, /* 10 ms apart: a menu or another grab may be closing */
};

static const uint32_t kWasDown = 0x40000000u;
static const uint32_t kRelease = 0x80000000u;

struct Hook {
    pthread_mutex_t lock; /* the entry points, one at a time */
    VTHookWindow window;  /* -1 without a hook */
    uint32_t message;
    Display* control; /* the entry points' connection */
    Display* events;  /* the event thread's */
    int xiOpcode;
    int wake[2]; /* stops the event thread */
    pthread_t thread;
    int threadRunning;
    int grabbed;
    atomic_int lost;
    atomic_uint resets;
    /* The event thread's alone. */
    uint32_t virtualKeys[kKeycodes];
    unsigned char held[kKeycodes];
    unsigned seenResets;
};

static struct Hook g_hook = {
    .lock = PTHREAD_MUTEX_INITIALIZER,
    .window = -1,
    .wake = {-1, -1},
};

/* Xlib ends the process when a server goes away; for the hook's own
   connections it only stops the hook. Other connections of the program
   keep the handler they had. */
static XIOErrorHandler g_previousIOErrorHandler;

static int OnIOError(Display* display)
{
    if (display == g_hook.control || display == g_hook.events)
        return 0;
    return g_previousIOErrorHandler ? g_previousIOErrorHandler(display) : 0;
}

static void OnConnectionLost(Display* display, void* data)
{
    (void)display;
    (void)data;
    atomic_store(&g_hook.lost, 1);
}

static void CatchIOErrors(void)
{
    const XIOErrorHandler previous = XSetIOErrorHandler(OnIOError);
    if (previous != OnIOError)
        g_previousIOErrorHandler = previous;
}

/* Put back unless the program set one of its own since. */
static void ReleaseIOErrors(void)
{
    const XIOErrorHandler current = XSetIOErrorHandler(g_previousIOErrorHandler);
    if (current != OnIOError)
        XSetIOErrorHandler(current);
}

static void LoadKeymap(Display* display)
{
    int first = 0, last = 0, perKeycode = 0;
    XDisplayKeycodes(display, &first, &last);
    KeySym* symbols = XGetKeyboardMapping(display, (KeyCode)first, last - first + 1, &perKeycode);
    for (int keycode = 0; keycode < kKeycodes; ++keycode) {
        g_hook.virtualKeys[keycode] = VTVK_NONE;
        if (symbols && keycode >= first && keycode <= last && perKeycode > 0) {
            const KeySym* levels = symbols + (keycode - first) * perKeycode;
            g_hook.virtualKeys[keycode] =
                VTVirtualKeyFromKeysyms(levels[0], perKeycode > 1 ? levels[1] : NoSymbol);
        }
    }
    if (symbols)
        XFree(symbols);
}

static void PostKey(int keycode, int press)
{
    const unsigned resets = atomic_load(&g_hook.resets);
    if (resets != g_hook.seenResets) {
        memset(g_hook.held, 0, sizeof g_hook.held);
        g_hook.seenResets = resets;
    }
    if (keycode < 0 || keycode >= kKeycodes)
        return;
    uint32_t data = kRepeatOnce | (((uint32_t)(keycode - 8) & 0xFF) << 16);
    if (!press)
        data |= kRelease | kWasDown;
    else if (g_hook.held[keycode])
        data |= kWasDown;
    g_hook.held[keycode] = (unsigned char)press;
    const VTHookMessage message = {g_hook.message, g_hook.virtualKeys[keycode], data};
    /* A full queue loses the key, as a full message queue would. */
    ssize_t written;
    do {
        written = write(g_hook.window, &message, sizeof message);
    } while (written < 0 && errno == EINTR);
}

static void HandleEvent(XEvent* event)
{
    Display* display = g_hook.events;
    if (event->type == MappingNotify) {
        XRefreshKeyboardMapping(&event->xmapping);
        LoadKeymap(display);
        return;
    }
    XGenericEventCookie* cookie = &event->xcookie;
    if (event->type != GenericEvent || cookie->extension != g_hook.xiOpcode ||
        !XGetEventData(display, cookie))
        return;
    const XIRawEvent* raw = cookie->data;
    /* Each key comes from its keyboard and again from the master keyboard
       it is attached to; the master's does not come while the keyboard is
       held, so only the keyboards' own count. */
    if ((raw->evtype == XI_RawKeyPress || raw->evtype == XI_RawKeyRelease) && raw->deviceid == raw->sourceid)
        PostKey(raw->detail, raw->evtype == XI_RawKeyPress);
    XFreeEventData(display, cookie);
}

static void* EventThread(void* unused)
{
    (void)unused;
    Display* display = g_hook.events;
    struct pollfd waits[2] = {{ConnectionNumber(display), POLLIN, 0}, {g_hook.wake[0], POLLIN, 0}};
    for (;;) {
        while (!atomic_load(&g_hook.lost) && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            HandleEvent(&event);
        }
        if (atomic_load(&g_hook.lost))
            break;
        if (poll(waits, 2, -1) < 0 && errno != EINTR)
            break;
        if (waits[1].revents)
            break;
    }
    return NULL;
}

/* A connection whose server went away cannot be closed (Xlib waits on it
   for ever): it is kept, unused, where it can still be found. */
enum { kKeptConnections = 16 };
static Display* g_lostConnections[kKeptConnections];
static unsigned g_lostCount;

static void CloseConnection(Display** display)
{
    if (*display && !atomic_load(&g_hook.lost))
        XCloseDisplay(*display);
    else if (*display && g_lostCount < kKeptConnections)
        g_lostConnections[g_lostCount++] = *display;
    *display = NULL;
}

static void Disconnect(void)
{
    if (g_hook.threadRunning) {
        const char stop = 1;
        ssize_t written;
        do {
            written = write(g_hook.wake[1], &stop, 1);
        } while (written < 0 && errno == EINTR);
        pthread_join(g_hook.thread, NULL);
        g_hook.threadRunning = 0;
    }
    CloseConnection(&g_hook.events);
    CloseConnection(&g_hook.control);
    ReleaseIOErrors();
    for (int i = 0; i < 2; ++i) {
        if (g_hook.wake[i] >= 0)
            close(g_hook.wake[i]);
        g_hook.wake[i] = -1;
    }
    g_hook.window = -1;
    g_hook.grabbed = 0;
}

static int SelectRawKeys(void)
{
    Display* display = g_hook.events;
    int event = 0, error = 0, major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &g_hook.xiOpcode, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success || major < 2 || (major == 2 && minor < 2))
        return VTHOOK_ERROR_NO_XINPUT;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {0};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask = {XIAllDevices, sizeof bits, bits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    LoadKeymap(display);
    XSync(display, False);
    return atomic_load(&g_hook.lost) ? VTHOOK_ERROR_CONNECTION_LOST : 0;
}

static int Connect(void)
{
    const char* wayland = getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland)
        return VTHOOK_ERROR_WAYLAND;
    atomic_store(&g_hook.lost, 0);
    CatchIOErrors();
    g_hook.control = XOpenDisplay(NULL);
    g_hook.events = g_hook.control ? XOpenDisplay(NULL) : NULL;
    if (!g_hook.events)
        return VTHOOK_ERROR_NO_DISPLAY;
    XSetIOErrorExitHandler(g_hook.control, OnConnectionLost, NULL);
    XSetIOErrorExitHandler(g_hook.events, OnConnectionLost, NULL);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(g_hook.control, &event, &error, &major, &minor))
        return VTHOOK_ERROR_NO_XTEST;
    return SelectRawKeys();
}

static int StartEvents(VTHookWindow window, uint32_t message)
{
    if (pipe2(g_hook.wake, O_CLOEXEC) != 0)
        return errno;
    g_hook.window = window;
    g_hook.message = message;
    memset(g_hook.held, 0, sizeof g_hook.held);
    g_hook.seenResets = atomic_load(&g_hook.resets);
    const int error = pthread_create(&g_hook.thread, NULL, EventThread, NULL);
    g_hook.threadRunning = error == 0;
    return error;
}

static int CheckWindow(VTHookWindow window)
{
    if (g_hook.window < 0 || window != g_hook.window)
        return VTHOOK_ERROR_NOT_HOOKED;
    return atomic_load(&g_hook.lost) ? VTHOOK_ERROR_CONNECTION_LOST : 0;
}

/* The key events the grab sent this connection are nobody's. */
static void DropEvents(Display* display)
{
    while (!atomic_load(&g_hook.lost) && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
    }
}

static int Grab(void)
{
    Display* display = g_hook.control;
    for (int attempt = 0; !g_hook.grabbed && attempt < kGrabAttempts; ++attempt) {
        if (attempt > 0)
            nanosleep(&(struct timespec){0, 10 * 1000 * 1000}, NULL);
        g_hook.grabbed = XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync,
                                       GrabModeAsync, CurrentTime) == GrabSuccess;
        if (atomic_load(&g_hook.lost))
            return VTHOOK_ERROR_CONNECTION_LOST;
    }
    return g_hook.grabbed ? 0 : VTHOOK_ERROR_GRABBED;
}

static int Release(void)
{
    if (!g_hook.grabbed)
        return 0;
    g_hook.grabbed = 0;
    if (atomic_load(&g_hook.lost))
        return VTHOOK_ERROR_CONNECTION_LOST;
    XUngrabKeyboard(g_hook.control, CurrentTime);
    XSync(g_hook.control, False);
    DropEvents(g_hook.control);
    return atomic_load(&g_hook.lost) ? VTHOOK_ERROR_CONNECTION_LOST : 0;
}

EXPORT int VTSetHook(VTHookWindow window, uint32_t message)
{
    pthread_mutex_lock(&g_hook.lock);
    int error = g_hook.window >= 0 ? VTHOOK_ERROR_IN_USE : window < 0 ? EBADF : 0;
    if (error == 0) {
        error = Connect();
        if (error == 0)
            error = StartEvents(window, message);
        if (error != 0)
            Disconnect();
    }
    pthread_mutex_unlock(&g_hook.lock);
    return error;
}

EXPORT int VTRemoveHook(VTHookWindow window)
{
    pthread_mutex_lock(&g_hook.lock);
    int error = g_hook.window >= 0 && window == g_hook.window ? 0 : VTHOOK_ERROR_NOT_HOOKED;
    if (error == 0) {
        error = Release();
        Disconnect();
    }
    pthread_mutex_unlock(&g_hook.lock);
    return error;
}

EXPORT int VTResetHook(VTHookWindow window)
{
    pthread_mutex_lock(&g_hook.lock);
    const int error = CheckWindow(window);
    if (error == 0)
        atomic_fetch_add(&g_hook.resets, 1);
    pthread_mutex_unlock(&g_hook.lock);
    return error;
}

EXPORT int VTSetCapture(VTHookWindow window, int on)
{
    pthread_mutex_lock(&g_hook.lock);
    int error = CheckWindow(window);
    if (error == 0)
        error = on ? Grab() : Release();
    else if (!on)
        Release();
    pthread_mutex_unlock(&g_hook.lock);
    return error;
}

EXPORT int VTGetLockStates(VTHookWindow window, int* capsLockOn, int* numLockOn)
{
    pthread_mutex_lock(&g_hook.lock);
    int error = CheckWindow(window);
    XkbStateRec state;
    if (error == 0 && XkbGetState(g_hook.control, XkbUseCoreKbd, &state) != Success)
        error = VTHOOK_ERROR_CONNECTION_LOST;
    if (error == 0) {
        const unsigned numLock = XkbKeysymToModifiers(g_hook.control, XK_Num_Lock);
        *capsLockOn = (state.locked_mods & LockMask) != 0;
        *numLockOn = numLock != 0 && (state.locked_mods & numLock) == numLock;
    }
    pthread_mutex_unlock(&g_hook.lock);
    return error;
}

EXPORT int VTToggleLock(VTHookWindow window, uint32_t virtualKey)
{
    pthread_mutex_lock(&g_hook.lock);
    int error = CheckWindow(window);
    const KeySym symbol = virtualKey == 0x14 ? XK_Caps_Lock : virtualKey == 0x90 ? XK_Num_Lock : NoSymbol;
    if (error == 0 && symbol == NoSymbol)
        error = VTHOOK_ERROR_NOT_LOCK_KEY;
    const KeyCode keycode = error == 0 ? XKeysymToKeycode(g_hook.control, symbol) : 0;
    if (error == 0 && keycode == 0)
        error = VTHOOK_ERROR_NO_LOCK_KEY;
    if (error == 0) {
        XTestFakeKeyEvent(g_hook.control, keycode, True, CurrentTime);
        XTestFakeKeyEvent(g_hook.control, keycode, False, CurrentTime);
        XSync(g_hook.control, False);
        DropEvents(g_hook.control);
        error = atomic_load(&g_hook.lost) ? VTHOOK_ERROR_CONNECTION_LOST : 0;
    }
    pthread_mutex_unlock(&g_hook.lock);
    return error;
}

/* A program that ends, or unloads the library, with the hook still set
   leaves the keyboard free. */
__attribute__((destructor)) static void RemoveAtExit(void)
{
    if (pthread_mutex_trylock(&g_hook.lock) != 0)
        return;
    if (g_hook.window >= 0) {
        Release();
        Disconnect();
    }
    pthread_mutex_unlock(&g_hook.lock);
}
