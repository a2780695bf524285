/* The interface between the program and its language libraries: the four
 * queries each library answers, and the layout of the translated texts it
 * exports as constant data. Plain C so a library needs no C++ runtime. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct LumoraVersionInfo {
    int32_t major;
    int32_t minor;
    int32_t build;
} LumoraVersionInfo;

typedef const char* (*LumoraGetLangCodeFn)(void);
typedef int32_t (*LumoraGetLangIdFn)(void);
typedef const char* (*LumoraGetLangTextFn)(void);
typedef LumoraVersionInfo* (*LumoraGetVersionInfoFn)(LumoraVersionInfo* info);

#define LUMORA_EXPORT_LANG_CODE "LumoraDllGetLangCode"
#define LUMORA_EXPORT_LANG_ID "LumoraDllGetLangID"
#define LUMORA_EXPORT_LANG_TEXT "LumoraDllGetLangText"
#define LUMORA_EXPORT_VERSION_INFO "LumoraDllGetVersionInfo"
#define LUMORA_EXPORT_RESOURCES "LumoraDllResources"

/* Bumped whenever the layout below changes; the program ignores the
 * resources of a library built for another layout. */
#define LUMORA_RESOURCE_FORMAT 1u

typedef struct LumoraStringResource {
    int32_t id;
    const char* text;
} LumoraStringResource;

enum {
    LUMORA_MENU_ITEM = 0,
    LUMORA_MENU_POPUP = 1, /* its items follow, up to the matching END */
    LUMORA_MENU_SEPARATOR = 2,
    LUMORA_MENU_END = 3
};

/* Menus flattened in order: each menu's entries share its menuId. */
typedef struct LumoraMenuResource {
    int32_t menuId;
    int32_t kind;
    int32_t itemId;
    const char* text;
} LumoraMenuResource;

/* Dialog texts: control 0 is the caption. */
typedef struct LumoraDialogResource {
    int32_t dialogId;
    int32_t controlId;
    const char* text;
} LumoraDialogResource;

/* All texts are zero-terminated Windows-1252, in the program's own tables
 * too; the language manager hands them out as UTF-8. Strings are sorted by id. */
typedef struct LumoraResourceTable {
    uint32_t size;   /* sizeof(LumoraResourceTable) */
    uint32_t format; /* LUMORA_RESOURCE_FORMAT */
    int32_t languageTag;
    const LumoraStringResource* strings;
    uint32_t stringCount;
    const LumoraMenuResource* menus;
    uint32_t menuCount;
    const LumoraDialogResource* dialogs;
    uint32_t dialogCount;
    const char* fileDescription;
    const char* fileVersion;
    const char* productName;
    const char* productVersion;
} LumoraResourceTable;

#ifdef __cplusplus
}
#endif
