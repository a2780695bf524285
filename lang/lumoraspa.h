/* Identity of the Spanish library. Its name is given in Spanish, in
 * Windows-1252: "Espa\361ol" holds the byte 0xF1. */
#pragma once

#define LUMORA_LANG_CODE "es"
#define LUMORA_LANG_NUMBER 2
#define LUMORA_LANG_TEXT "Espa\361ol"
#define LUMORA_LANG_VERSION_MAJOR 1
#define LUMORA_LANG_VERSION_MINOR 0
#define LUMORA_LANG_VERSION_BUILD 0
