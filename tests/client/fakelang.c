/* Stand-in language libraries for the language manager's tests. Each build
 * picks its identity and which of the four queries it has with macros. */
#include "lang/langres.h"

#define FAKE_EXPORT __attribute__((visibility("default")))

/* A name in Windows-1252, as the Spanish library gives its own: eight
 * characters, nine bytes in UTF-8. */
#ifdef FAKE_ACCENTED_TEXT
#define FAKE_TEXT "Fran\347ais"
#endif

#ifndef FAKE_NO_VERSION
FAKE_EXPORT LumoraVersionInfo* LumoraDllGetVersionInfo(LumoraVersionInfo* info)
{
    info->major = FAKE_MAJOR;
    info->minor = FAKE_MINOR;
    info->build = FAKE_BUILD;
    return info;
}
#endif

FAKE_EXPORT const char* LumoraDllGetLangCode(void)
{
    return FAKE_CODE;
}

FAKE_EXPORT int32_t LumoraDllGetLangID(void)
{
    return FAKE_NUMBER;
}

#ifndef FAKE_NO_TEXT
FAKE_EXPORT const char* LumoraDllGetLangText(void)
{
    return FAKE_TEXT;
}
#endif

#ifdef FAKE_RESOURCES
/* A library that translates a little: one string, the tray menu and the
 * proxy page's caption and one control; the rest comes from the program.
 * Its texts are Windows-1252, as every library's. */
static const LumoraStringResource kStrings[] = {
    {50011, "-nada-"},
    {50071, "Fake C\363digos"},
};
static const LumoraMenuResource kMenus[] = {
    {201, LUMORA_MENU_POPUP, 0, "Fake Tray"},
    {201, LUMORA_MENU_ITEM, 32803, "Fake &Show \200"},
    {201, LUMORA_MENU_END, 0, 0},
};
static const LumoraDialogResource kDialogs[] = {
    {145, 0, "Fake Configura\347\343o"},
    {145, 1032, "Fake &Address"},
};
FAKE_EXPORT const LumoraResourceTable LumoraDllResources = {
    sizeof(LumoraResourceTable),
    LUMORA_RESOURCE_FORMAT,
    1033,
    kStrings,
    2,
    kMenus,
    3,
    kDialogs,
    2,
    "Fake",
    "1.0.0.0",
    "Fake",
    "1.0.0.0",
};
#endif
