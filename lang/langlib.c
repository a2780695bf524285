/* The four queries of a language library. The library's identity comes
 * from the header named by LUMORA_LANG_IDENTITY; its texts are the
 * generated LumoraDllResources table. Nothing here fails, allocates or
 * keeps state. */
#include "lang/langres.h"

#include LUMORA_LANG_IDENTITY

#define LUMORA_EXPORT __attribute__((visibility("default")))

LUMORA_EXPORT const char* LumoraDllGetLangCode(void)
{
    return LUMORA_LANG_CODE;
}

LUMORA_EXPORT int32_t LumoraDllGetLangID(void)
{
    return LUMORA_LANG_NUMBER;
}

LUMORA_EXPORT const char* LumoraDllGetLangText(void)
{
    return LUMORA_LANG_TEXT;
}

/* Fills all three numbers whatever the record held; a null record is
 * handed back untouched rather than written through. */
LUMORA_EXPORT LumoraVersionInfo* LumoraDllGetVersionInfo(LumoraVersionInfo* info)
{
    if (info) {
        info->major = LUMORA_LANG_VERSION_MAJOR;
        info->minor = LUMORA_LANG_VERSION_MINOR;
        info->build = LUMORA_LANG_VERSION_BUILD;
    }
    return info;
}
