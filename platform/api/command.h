// The engine command API: the host's wrappers that turn its actions into
// application events, the open-document request, and configuration
// changes.
//
// The host never calls application code directly. Each wrapper packs its
// arguments into an argument block {code, instance, arguments...} and
// posts it to the application queue (platform/api/appqueue.h); the
// application's callback slot for the code handles it on
// "SimpleAppThread". Unless stated otherwise a wrapper answers 1 when the
// event was queued and 0 when it was not (no live engine, the engine is
// shutting down, or the ring refused it); whatever a refused block owned
// has then been freed.
//
// Configuration changes travel as event 0 with a block {0, instance, key,
// type, value}: the key a 16-bit string owned by the block, type 0 an
// integer value, 1 a 16-bit string value owned by the block.
#pragma once

#include <cstdint>

struct EngineInstance;
struct Url;

// Boolean key states of App_sendKey.
enum : intptr_t {
    App_keyOff = 0x10000,
    App_keyOn = 0x10001,
};

// Configuration value types.
enum : intptr_t {
    AppConfig_int = 0,
    AppConfig_string = 1,
};

// ------------------------------------------------------ application events
// Codes and blocks (after the instance); all post with flag 2 (hold).

int App_sendKey(EngineInstance *instance, intptr_t key);               // 7 {key, 0}
int App_sendEvent8(EngineInstance *instance);                          // 8
int App_sendEvent9(EngineInstance *instance, intptr_t value);          // 9 {0, value}
int App_sendEvent13(EngineInstance *instance);                         // 13
int App_sendEvent14(EngineInstance *instance, intptr_t a, intptr_t b); // 14 {a, b}
int App_sendPointer15(EngineInstance *instance, intptr_t x, intptr_t y, intptr_t action); // 15
// 15 with the two values that callback slot 31 computes from (x, y).
int App_sendPanGesture(EngineInstance *instance, intptr_t x, intptr_t y, intptr_t action);
int App_sendEvent16(EngineInstance *instance, intptr_t value); // 16 {value}
int App_sendEvent17(EngineInstance *instance);                 // 17
// 18: a pointer move to (x, y) with an extra word and the action.
int App_sendPointer18(EngineInstance *instance, intptr_t x, intptr_t y, intptr_t extra,
                      intptr_t action);
int App_sendEvent19(EngineInstance *instance); // 19
// 20, 21, 22 {a, b, c}; nothing is posted for a null instance.
int App_sendEvent20(EngineInstance *instance, intptr_t a, intptr_t b, intptr_t c);
int App_sendEvent21(EngineInstance *instance, intptr_t a, intptr_t b, intptr_t c); // 21 {a, b, c}
int App_sendEvent22(EngineInstance *instance, intptr_t a, intptr_t b, intptr_t c); // 22 {a, b, c}
// 23 {0, 0, 0, 0, value} with flags (2 by default); 23 {a, b, c, d, 0}.
// Both post only when callback slot 20 is set, else 0.
int App_sendEvent23(EngineInstance *instance, intptr_t value, int flags = 2);
int App_sendEvent23Full(EngineInstance *instance, intptr_t a, intptr_t b, intptr_t c, intptr_t d);
// 24 {value}; only when callback slot 21 is set, else 0.
int App_sendEvent24(EngineInstance *instance, intptr_t value);
// 25 with flags 3 (urgent and hold), or 5 in the urgent-only variant.
int App_sendEvent25(EngineInstance *instance, int urgentOnly = 0);
int App_sendEvent26(EngineInstance *instance, intptr_t a, intptr_t b, intptr_t c); // 26, flags 3
int App_sendEvent27(EngineInstance *instance, intptr_t answer);                    // 27 {answer}
// 3 {a, url, b}: takes over url, which the open callback (or, for a
// refused post, the completion routine) releases.
int App_postOpenUrl(EngineInstance *instance, intptr_t a, Url *url, intptr_t b);

// The host's answer to a host query (viewer/hostquery.h): the application's
// reply slot (callback slot 30) runs at once with the record, on the GUI
// thread. Its answer; 0 without a live engine, while another host call is
// inside the engine, or when the slot is empty.
int App_deliverReply(EngineInstance *instance, void *record);

// ------------------------------------------------------ opening documents

// Opens a document: path is an 8-bit local path or URL text (copied), a
// the page key, flags the open flags. Refused (0, nothing posted) while the
// engine cannot stop (shutting down, or a stop hook refuses), when the
// path cannot be copied, or when flag bits 1 and 2 are both set. Else the
// request is posted as a deferred call that runs callback slot 7 on the
// application thread; 1 when it was queued.
int App_openDocument(EngineInstance *instance, const char *path, intptr_t a, intptr_t flags);
// Copies {path, a, flags} into a record and posts App_runOpenDocument,
// taking over path (a heap copy). 1 when queued; 0 when refused (path and
// record freed).
int App_postOpenDocument(EngineInstance *instance, char *path, intptr_t a, intptr_t flags);
// The deferred call: callback slot 7 with the record's words, then the
// record and its path are freed.
void App_runOpenDocument(EngineInstance *instance, void *record);

// ----------------------------------------------------------- configuration

// Set an integer or string setting by 8-bit key (and 8-bit value): the
// texts become 16-bit strings in a configuration block for App_postConfig.
// 1 when applied or queued; 0 when refused or out of memory.
[[nodiscard]] int App_setConfigInt(EngineInstance *instance, const char *key, uint32_t value);
[[nodiscard]] int App_setConfigString(EngineInstance *instance, const char *key, const char *value);
// Applies the block at once when an engine task is current, else posts it
// as event 0 (flag 2) with a completion routine that frees its strings.
// The block's strings are taken over in every case. 1 when applied or
// queued, else 0.
[[nodiscard]] int App_postConfig(intptr_t *block);

// Applies a configuration block (event 0, on the application thread or at
// once): the application's configuration slot sees it first and may take
// it; then "DefaultCharacterSet" integers become character-set names in
// section "Core", other integers and strings are stored in their key's
// section ("FV_singlePageLoad" as "page.on.demand"); "Vexlan_settingsPath"
// also fills the three path settings that are not set yet. The block's
// strings are freed.
void App_setConfigFromEvent(EngineInstance *instance, intptr_t *block);

// The configuration section of a key (16-bit); null for a key of no
// section.
const char16_t *Config_sectionForKey(const char16_t *key);

// The name of a "DefaultCharacterSet" value (0x10000 to 0x10007); null for
// any other value.
const char *App_charsetNameForValue(intptr_t value);
