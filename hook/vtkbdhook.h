#pragma once

/* The keyboard hook library: posts every key press and release of the
   session's keyboards to one window, toggles the lock keys, and holds the
   keyboard while a keyboard scanner types its download, so that the keys
   do not also land in the focused window. Loaded at run time by name;
   every entry point takes the window first and returns 0 or an error
   number. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A window is the write end of its message pipe (non-blocking): a message
   is one VTHookMessage written whole. */
typedef int VTHookWindow;

typedef struct VTHookMessage {
    uint32_t message;
    /* Key events: the virtual-key code. */
    uint32_t wParam;
    /* Key events: repeat count in bits 0-15, scan code in bits 16-23, bit
       30 set when the key was already down, bit 31 set for a release. */
    uint32_t lParam;
} VTHookMessage;

/* Error numbers below 1000 are the system's (errno). */
enum {
    VTHOOK_ERROR_NO_DISPLAY = 1001,      /* no X display: DISPLAY unset or the server unreachable */
    VTHOOK_ERROR_WAYLAND = 1002,         /* a Wayland session: keyboard scanners need an X11 session */
    VTHOOK_ERROR_NO_XINPUT = 1003,       /* the X server lacks XInput 2.2 raw key events */
    VTHOOK_ERROR_NO_XTEST = 1004,        /* the X server lacks XTest, which toggles the lock keys */
    VTHOOK_ERROR_IN_USE = 1005,          /* a hook is already set for another window */
    VTHOOK_ERROR_NOT_HOOKED = 1006,      /* the window has no hook */
    VTHOOK_ERROR_GRABBED = 1007,         /* another program holds the keyboard */
    VTHOOK_ERROR_NO_LOCK_KEY = 1008,     /* the keyboard map has no key for that lock */
    VTHOOK_ERROR_NOT_LOCK_KEY = 1009,    /* only Caps Lock (20) and Num Lock (144) toggle */
    VTHOOK_ERROR_CONNECTION_LOST = 1010, /* the X server went away */
};

/* From now on every key press and release is posted to the window as
   `message`. One window at a time. */
int VTSetHook(VTHookWindow window, uint32_t message);
/* No more key events are posted once it returns; the keyboard is released. */
int VTRemoveHook(VTHookWindow window);
/* The driver listens again: the library forgets which keys it saw held. */
int VTResetHook(VTHookWindow window);
/* On: the keyboard is held, so that key events reach only the hook. */
int VTSetCapture(VTHookWindow window, int on);
/* The lock states as the keyboard has them now. */
int VTGetLockStates(VTHookWindow window, int* capsLockOn, int* numLockOn);
/* Presses and releases the lock key (20 Caps Lock, 144 Num Lock); the hook
   then posts that press and release like any other. */
int VTToggleLock(VTHookWindow window, uint32_t virtualKey);

#ifdef __cplusplus
}
#endif
