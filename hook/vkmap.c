#include "hook/vkmap.h"

#include <X11/keysym.h>
#include <stddef.h>

struct Range {
    unsigned long first;
    unsigned long last;
    uint32_t virtualKey; /* of `first` */
    int follows;         /* the others count on from it; else all have it */
};

/* Windows' numbering, which the driver's wake-up sequence and data keys
   use. Left and right modifiers are one key to it. */
static const struct Range kRanges[] = {
    {XK_a, XK_z, 'A', 1},
    {XK_A, XK_Z, 'A', 1},
    {XK_0, XK_9, '0', 1},
    {XK_KP_0, XK_KP_9, 0x60, 1},
    {XK_F1, XK_F24, 0x70, 1},
    {XK_BackSpace, XK_Tab, 0x08, 1},
    {XK_Return, XK_Return, 0x0D, 0},
    {XK_KP_Enter, XK_KP_Enter, 0x0D, 0},
    {XK_Shift_L, XK_Shift_R, 0x10, 0},
    {XK_Control_L, XK_Control_R, 0x11, 0},
    {XK_Alt_L, XK_Alt_R, 0x12, 0},
    {XK_Meta_L, XK_Meta_R, 0x12, 0},
    {XK_ISO_Level3_Shift, XK_ISO_Level3_Shift, 0x12, 0},
    {XK_Pause, XK_Pause, 0x13, 0},
    {XK_Caps_Lock, XK_Caps_Lock, 0x14, 0},
    {XK_Escape, XK_Escape, 0x1B, 0},
    {XK_space, XK_space, 0x20, 0},
    {XK_Prior, XK_Prior, 0x21, 0},
    {XK_Next, XK_Next, 0x22, 0},
    {XK_End, XK_End, 0x23, 0},
    {XK_Home, XK_Home, 0x24, 0},
    {XK_Left, XK_Down, 0x25, 1},
    {XK_Print, XK_Print, 0x2C, 0},
    {XK_Insert, XK_Insert, 0x2D, 0},
    {XK_Delete, XK_Delete, 0x2E, 0},
    {XK_KP_Home, XK_KP_Home, 0x24, 0},
    {XK_KP_Left, XK_KP_Down, 0x25, 1},
    {XK_KP_Prior, XK_KP_Prior, 0x21, 0},
    {XK_KP_Next, XK_KP_Next, 0x22, 0},
    {XK_KP_End, XK_KP_End, 0x23, 0},
    {XK_KP_Begin, XK_KP_Begin, 0x0C, 0},
    {XK_KP_Insert, XK_KP_Insert, 0x2D, 0},
    {XK_KP_Delete, XK_KP_Delete, 0x2E, 0},
    {XK_Super_L, XK_Super_R, 0x5B, 1},
    {XK_Menu, XK_Menu, 0x5D, 0},
    {XK_KP_Multiply, XK_KP_Multiply, 0x6A, 0},
    {XK_KP_Add, XK_KP_Add, 0x6B, 0},
    {XK_KP_Separator, XK_KP_Separator, 0x6C, 0},
    {XK_KP_Subtract, XK_KP_Subtract, 0x6D, 0},
    {XK_KP_Decimal, XK_KP_Decimal, 0x6E, 0},
    {XK_KP_Divide, XK_KP_Divide, 0x6F, 0},
    {XK_Num_Lock, XK_Num_Lock, 0x90, 0},
    {XK_Scroll_Lock, XK_Scroll_Lock, 0x91, 0},
    {XK_semicolon, XK_semicolon, 0xBA, 0},
    {XK_equal, XK_equal, 0xBB, 0},
    {XK_comma, XK_comma, 0xBC, 0},
    {XK_minus, XK_minus, 0xBD, 0},
    {XK_period, XK_period, 0xBE, 0},
    {XK_slash, XK_slash, 0xBF, 0},
    {XK_grave, XK_grave, 0xC0, 0},
    {XK_bracketleft, XK_bracketleft, 0xDB, 0},
    {XK_backslash, XK_backslash, 0xDC, 0},
    {XK_bracketright, XK_bracketright, 0xDD, 0},
    {XK_apostrophe, XK_apostrophe, 0xDE, 0},
    {XK_less, XK_less, 0xE2, 0},
};

/* Punctuation keys, which give way to a digit on their second level. */
enum { kFirstPunctuationKey = 0xBA };

static uint32_t Lookup(unsigned long keysym)
{
    for (size_t i = 0; i < sizeof kRanges / sizeof kRanges[0]; ++i) {
        const struct Range* range = &kRanges[i];
        if (keysym >= range->first && keysym <= range->last)
            return range->virtualKey + (range->follows ? (uint32_t)(keysym - range->first) : 0);
    }
    return VTVK_NONE;
}

uint32_t VTVirtualKeyFromKeysyms(unsigned long level0, unsigned long level1)
{
    const uint32_t virtualKey = Lookup(level0);
    if (virtualKey != VTVK_NONE && virtualKey < kFirstPunctuationKey)
        return virtualKey;
    if (level1 >= XK_0 && level1 <= XK_9)
        return '0' + (uint32_t)(level1 - XK_0);
    return virtualKey;
}
