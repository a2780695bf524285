/* Identity of the Portuguese library. */
#pragma once

#define LUMORA_LANG_CODE "pt"
#define LUMORA_LANG_NUMBER 3
#define LUMORA_LANG_TEXT "Portuguese"
#define LUMORA_LANG_VERSION_MAJOR 1
#define LUMORA_LANG_VERSION_MINOR 0
#define LUMORA_LANG_VERSION_BUILD 0
