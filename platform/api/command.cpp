// The engine command API: the host's posting wrappers, the open-document
// request and configuration changes with their sections.
//
// Ownership never gets lost on the way: a block that owns strings or a URL
// travels with a completion routine that frees them when the post is
// refused or the queued event is discarded, and the handler that runs the
// event frees them otherwise.
#include "platform/api/command.h"

#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "platform/api/hostevent.h"
#include "platform/url/url.h"

namespace {

constexpr int flagsHold = AppEvent_hold;
constexpr int flagsUrgentHold = AppEvent_urgent | AppEvent_hold;
// The urgent-only variant of event 25 (bit 2 is carried, not read).
constexpr int flagsUrgentOnly = AppEvent_urgent | 4;

// Open flags: bits 1 and 2 together make no sense and refuse the request.
constexpr intptr_t openBitsRefused = 2 | 4;

int post(EngineInstance *instance, intptr_t code, int flags, intptr_t a = 0, intptr_t b = 0,
         intptr_t c = 0, intptr_t d = 0, intptr_t e = 0, AppEventDoneFn completion = nullptr)
{
    intptr_t block[7] = {code, reinterpret_cast<intptr_t>(instance), a, b, c, d, e};
    return AppEvent_post(block, completion, flags);
}

const FvAppCallbacks *callbacksOf(EngineInstance *instance)
{
    return Engine_isLive(instance) && instance->queue ? &instance->queue->callbacks : nullptr;
}

// Completion of a refused or discarded open-URL event: releases its URL.
void releaseOpenUrl(void *arg)
{
    const intptr_t *block = static_cast<const intptr_t *>(arg);
    Url_free(reinterpret_cast<Url *>(block[3]));
}

// Completion of a refused or discarded configuration event.
void freeConfigBlock(void *arg)
{
    intptr_t *block = static_cast<intptr_t *>(arg);
    Mem_free(reinterpret_cast<void *>(block[2]));
    if (block[3] == AppConfig_string)
        Mem_free(reinterpret_cast<void *>(block[4]));
}

// The record of a posted open request.
struct OpenRequest {
    char *path;
    intptr_t a;
    intptr_t flags;
};

// Completion of a refused or discarded open request.
void freeOpenRequest(void *arg)
{
    const intptr_t *block = static_cast<const intptr_t *>(arg);
    OpenRequest *request = reinterpret_cast<OpenRequest *>(block[3]);
    if (request) {
        Mem_free(request->path);
        Mem_free(request);
    }
}

struct KeySection {
    const char *key;
    const char16_t *section;
};

constexpr KeySection keySections[] = {
    {"EnableImages", u"Core"},
    {"EnableFlash", u"Core"},
    {"EnableJS", u"Core"},
    {"EnableAutoDetect", u"Core"},
    {"DefaultCharacterSet", u"Core"},
    {"InstalledLanguage", u"Core"},
    {"Vexlan_userStyleSheet", u"Core"},
    {"Vexlan_thumbnailsMax", u"Core"},
    {"Vexlan_TextDaSinglePage", u"Core"},
    {"FV_singlePageLoad", u"eDR"},
    {"reflow.reject.width", u"eDR"},
    {"reflow.reject.height", u"eDR"},
    {"Vexlan_cookiesPoliciesFile", u"Paths"},
    {"Vexlan_cookiesIndexFile", u"Paths"},
    {"Vexlan_cookiesDataFile", u"Paths"},
    {"Vexlan_historyListFile", u"Paths"},
    {"Vexlan_formAutoCompletePath", u"Paths"},
};

constexpr const char *charsetNames[] = {
    "ISO-8859-1", "Big5", "GBK", "Shift_JIS", "ISO-2022-JP", "EUC-JP", "WINDOWS-949", "UTF-8",
};
constexpr intptr_t charsetFirstValue = 0x10000;

bool keyIs(const char16_t *key, const char *name)
{
    return key && Ustr_cmpCstr(key, name) == 0;
}

// Stores a value that is not there yet (a present one stays).
void putIfMissing(EngineContext *context, const char16_t *section, const char16_t *key,
                  const char *keyA, const char16_t *value)
{
    ConfigStore *store = context->config;
    char16_t *had = keyA ? Config_getUstrA(context, store, section, keyA, value)
                         : Config_getUstr(context, store, section, key, value);
    Mem_free(had);
}

void applyInt(EngineContext *context, const char16_t *key, intptr_t value)
{
    ConfigStore *store = context->config;
    if (keyIs(key, "DefaultCharacterSet")) {
        const char *name = App_charsetNameForValue(value);
        if (!name)
            return;
        char16_t *wide = Ustr_fromCstr(name);
        if (wide)
            Config_setUstr(context, store, u"Core", key, wide, 1);
        Mem_free(wide);
        return;
    }
    const char16_t *section = Config_sectionForKey(key);
    if (keyIs(key, "FV_singlePageLoad"))
        key = u"page.on.demand";
    Config_setInt(context, store, section, key, uint32_t(value), 1);
}

void applyString(EngineContext *context, const char16_t *key, const char16_t *value)
{
    const char16_t *section = Config_sectionForKey(key);
    if (keyIs(key, "Vexlan_settingsPath")) {
        putIfMissing(context, u"Paths", u"Cookies", nullptr, value);
        putIfMissing(context, u"Paths", u"Persistent.dir", nullptr, value);
        putIfMissing(context, u"Paths", nullptr, "FormAutoCompleteCommonPath", value);
    }
    Config_setUstr(context, context->config, section, key, value, 1);
}

} // namespace

// ------------------------------------------------------ application events

int App_sendKey(EngineInstance *instance, intptr_t key)
{
    return post(instance, 7, flagsHold, key, 0);
}

int App_sendEvent8(EngineInstance *instance)
{
    return post(instance, 8, flagsHold);
}

int App_sendEvent9(EngineInstance *instance, intptr_t value)
{
    return post(instance, 9, flagsHold, 0, value);
}

int App_sendEvent13(EngineInstance *instance)
{
    return post(instance, 13, flagsHold);
}

int App_sendEvent14(EngineInstance *instance, intptr_t a, intptr_t b)
{
    return post(instance, 14, flagsHold, a, b);
}

int App_sendPointer15(EngineInstance *instance, intptr_t x, intptr_t y, intptr_t action)
{
    return post(instance, AppEvent_codePan, flagsHold, x, y, action);
}

int App_sendPanGesture(EngineInstance *instance, intptr_t x, intptr_t y, intptr_t action)
{
    intptr_t a = x, b = y;
    const FvAppCallbacks *cb = callbacksOf(instance);
    if (cb && cb->panGesture) {
        if (FvViewer *viewer = instance->viewer)
            viewer->panAction = action;
        cb->panGesture(instance, x, y, &a, &b);
    }
    return post(instance, AppEvent_codePan, flagsHold, a, b, action);
}

int App_sendEvent16(EngineInstance *instance, intptr_t value)
{
    return post(instance, 16, flagsHold, value);
}

int App_sendEvent17(EngineInstance *instance)
{
    return post(instance, 17, flagsHold);
}

int App_sendPointer18(EngineInstance *instance, intptr_t x, intptr_t y, intptr_t extra,
                      intptr_t action)
{
    return post(instance, AppEvent_codePointer, flagsHold, x, y, extra, action);
}

int App_sendEvent19(EngineInstance *instance)
{
    return post(instance, 19, flagsHold);
}

int App_sendEvent20(EngineInstance *instance, intptr_t a, intptr_t b, intptr_t c)
{
    return instance ? post(instance, 20, flagsHold, a, b, c) : 0;
}

int App_sendEvent21(EngineInstance *instance, intptr_t a, intptr_t b, intptr_t c)
{
    return instance ? post(instance, 21, flagsHold, a, b, c) : 0;
}

int App_sendEvent22(EngineInstance *instance, intptr_t a, intptr_t b, intptr_t c)
{
    return instance ? post(instance, 22, flagsHold, a, b, c) : 0;
}

int App_sendEvent23(EngineInstance *instance, intptr_t value, int flags)
{
    const FvAppCallbacks *cb = callbacksOf(instance);
    if (!cb || !cb->choice)
        return 0;
    return post(instance, 23, flags, 0, 0, 0, 0, value);
}

int App_sendEvent23Full(EngineInstance *instance, intptr_t a, intptr_t b, intptr_t c, intptr_t d)
{
    const FvAppCallbacks *cb = callbacksOf(instance);
    if (!cb || !cb->choice)
        return 0;
    return post(instance, 23, flagsHold, a, b, c, d, 0);
}

int App_sendEvent24(EngineInstance *instance, intptr_t value)
{
    const FvAppCallbacks *cb = callbacksOf(instance);
    if (!cb || !cb->event24)
        return 0;
    return post(instance, 24, flagsHold, value);
}

int App_sendEvent25(EngineInstance *instance, int urgentOnly)
{
    return post(instance, 25, urgentOnly ? flagsUrgentOnly : flagsUrgentHold);
}

int App_sendEvent26(EngineInstance *instance, intptr_t a, intptr_t b, intptr_t c)
{
    return post(instance, 26, flagsUrgentHold, a, b, c);
}

int App_sendEvent27(EngineInstance *instance, intptr_t answer)
{
    return post(instance, 27, flagsHold, answer);
}

int App_postOpenUrl(EngineInstance *instance, intptr_t a, Url *url, intptr_t b)
{
    return post(instance, AppEvent_codeOpenUrl, flagsHold, a, reinterpret_cast<intptr_t>(url), b, 0,
                0, releaseOpenUrl);
}

int App_deliverReply(EngineInstance *instance, void *record)
{
    const FvAppCallbacks *cb = callbacksOf(instance);
    if (!cb || !cb->reply || instance->queue->sendGuard)
        return 0;
    // The guard keeps host events out while the reply slot runs.
    AppQueueRecord *q = instance->queue;
    q->sendGuard = 1;
    int r = cb->reply(instance, record);
    if (Engine_isLive(instance) && instance->queue == q) {
        q->sendGuard = 0;
        // The answer may have woken a waiting task: let the engine run.
        if (!Task_hasCurrent(instance->context))
            AlienTimer_reschedule(instance);
    }
    return r;
}

// ------------------------------------------------------ opening documents

int App_openDocument(EngineInstance *instance, const char *path, intptr_t a, intptr_t flags)
{
    if (!Engine_isLive(instance) || !path || Engine_canStop(instance, 0) == 0)
        return 0;
    char *copy = Cstr_dup(path);
    if (!copy)
        return 0;
    return App_postOpenDocument(instance, copy, a, flags);
}

int App_postOpenDocument(EngineInstance *instance, char *path, intptr_t a, intptr_t flags)
{
    if ((flags & openBitsRefused) == openBitsRefused) {
        Mem_free(path);
        return 0;
    }
    OpenRequest *request = static_cast<OpenRequest *>(Mem_malloc(sizeof(OpenRequest)));
    if (!request) {
        Mem_free(path);
        return 0;
    }
    *request = OpenRequest{path, a, flags};
    return App_postCallHeld(instance, App_runOpenDocument, request, freeOpenRequest) == 0 ? 1 : 0;
}

void App_runOpenDocument(EngineInstance *instance, void *record)
{
    OpenRequest *request = static_cast<OpenRequest *>(record);
    if (!request)
        return;
    const FvAppCallbacks *cb = instance && instance->queue ? &instance->queue->callbacks : nullptr;
    if (cb && cb->openPath)
        cb->openPath(instance, request->a, request->path, request->flags);
    Mem_free(request->path);
    Mem_free(request);
}

// ----------------------------------------------------------- configuration

int App_setConfigInt(EngineInstance *instance, const char *key, uint32_t value)
{
    if (!instance || !key)
        return 0;
    char16_t *wideKey = Ustr_fromCstr(key);
    if (!wideKey)
        return 0;
    intptr_t block[7] = {AppEvent_codeConfig,
                         reinterpret_cast<intptr_t>(instance),
                         reinterpret_cast<intptr_t>(wideKey),
                         AppConfig_int,
                         intptr_t(value),
                         0,
                         0};
    return App_postConfig(block);
}

int App_setConfigString(EngineInstance *instance, const char *key, const char *value)
{
    if (!instance || !key || !value)
        return 0;
    char16_t *wideKey = Ustr_fromCstr(key);
    char16_t *wideValue = Ustr_fromCstr(value);
    if (!wideKey || !wideValue) {
        Mem_free(wideKey);
        Mem_free(wideValue);
        return 0;
    }
    intptr_t block[7] = {AppEvent_codeConfig,
                         reinterpret_cast<intptr_t>(instance),
                         reinterpret_cast<intptr_t>(wideKey),
                         AppConfig_string,
                         reinterpret_cast<intptr_t>(wideValue),
                         0,
                         0};
    return App_postConfig(block);
}

int App_postConfig(intptr_t *block)
{
    if (!block)
        return 0;
    EngineInstance *instance = reinterpret_cast<EngineInstance *>(block[1]);
    if (Engine_isLive(instance) && instance->context && Task_current(instance->context)) {
        App_setConfigFromEvent(instance, block);
        return 1;
    }
    return AppEvent_post(block, freeConfigBlock, flagsHold);
}

void App_setConfigFromEvent(EngineInstance *instance, intptr_t *block)
{
    if (!block)
        return;
    const char16_t *key = reinterpret_cast<const char16_t *>(block[2]);
    bool isString = block[3] == AppConfig_string;
    const FvAppCallbacks *cb = instance && instance->queue ? &instance->queue->callbacks : nullptr;
    bool taken = cb && cb->configure && cb->configure(instance, block + 2) != 0;
    EngineContext *context = instance ? instance->context : nullptr;
    if (!taken && key && context && context->config) {
        if (isString)
            applyString(context, key, reinterpret_cast<const char16_t *>(block[4]));
        else
            applyInt(context, key, block[4]);
    }
    // A setting the host changes while a document shows takes effect at
    // once, as one loaded from a settings file does.
    if (!taken && context && context->settingsChanged)
        context->settingsChanged(instance);
    freeConfigBlock(block);
}

const char16_t *Config_sectionForKey(const char16_t *key)
{
    for (const KeySection &entry : keySections) {
        if (keyIs(key, entry.key))
            return entry.section;
    }
    return nullptr;
}

const char *App_charsetNameForValue(intptr_t value)
{
    intptr_t index = value - charsetFirstValue;
    if (index < 0 || index >= intptr_t(sizeof charsetNames / sizeof charsetNames[0]))
        return nullptr;
    return charsetNames[index];
}
