#pragma once

/* The virtual-key codes the keyboard scanner expects, from X key symbols. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A key with no code of its own. */
enum { VTVK_NONE = 0xFF };

/* The code of a key by the symbols of its first two levels: the first
   decides, the second only gives digits where the first has none (the top
   row of a French keyboard). */
uint32_t VTVirtualKeyFromKeysyms(unsigned long level0, unsigned long level1);

#ifdef __cplusplus
}
#endif
