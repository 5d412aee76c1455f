// The web layer's operations that the document model calls: form controls
// held by group nodes, HTML attribute names, redirection and the host's
// questions, link nodes and fragments, and the body sources of a page. The
// web layer installs the table on the engine context when it starts
// (html/docops.h); the document model calls through the Edr_Web_ functions
// below, which answer as for an absent control or an empty document when no
// table is installed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/style/prop.h"
#include "document/edr/linkref.h"

struct EngineContext;
struct EventProc;
struct Edr_Doc;
struct Edr_Node;
struct MimeSrcList;
struct Matrix;
struct DrawTarget;
struct Url;
struct VfsHandle;

// A synchronous question to the host: kind 1 carries two URL texts
// (referrer), kind 3 one (secure leave); answer 1 means yes.
struct HostQuestion {
    int32_t kind;
    char *texts[2]; // owned by the caller
    int32_t answer;
};

struct Edr_WebOps {
    // Form controls of groups of subtype 1 and values of subtypes 2 and 4.
    int (*registerControl)(Edr_Node *group);
    int (*unregisterControl)(Edr_Doc *doc, Edr_Node *group);
    void (*releaseControl)(Edr_Doc *doc, void *control);
    void (*freeValue)(void *record);
    int (*setValue)(Edr_Node *group, void *value);
    int (*controlEnabled)(const void *control);
    int (*controlFlag12)(const void *control);
    uint32_t (*controlKind)(const void *control);
    int (*controlGetKind)(const void *control, uint32_t *kind);
    int (*widgetGetFlags)(const void *control, uint32_t *flags);
    int (*widgetGetRect)(const void *control, int32_t rect[4]);
    int (*widgetSendEvent)(EngineContext *context, void *control, void *event);
    int (*findOwner)(Edr_Doc *doc, Edr_Node *node, Edr_Node **form);
    // HTML attribute names and values.
    uint32_t (*attributeId)(const char16_t *name, size_t length);
    char16_t *(*attributeText)(const Prop *value);
    // Redirection, the host's questions and the URL-mapping hook.
    int (*redirectCreate)(Edr_Doc *doc);
    void (*redirectFree)(Edr_Doc *doc);
    int (*askQuestion)(EventProc *processor, HostQuestion *question);
    int (*mapHookPresent)(EngineContext *app);
    int (*mapHook)(EngineContext *app, const Url *url, int *flag);
    // Links and fragments.
    int (*linkFromNode)(EngineContext *app, Edr_Doc *doc, Edr_Node *node, Link *out);
    int (*fragmentRect)(Edr_Doc *doc, const char16_t *name, int32_t rect[4], int32_t *page);
    // Opening and page sources.
    int (*openArchiveInPlace)(EngineContext *ctx, VfsHandle **stream, Url **url);
    void (*freeSources)(MimeSrcList *list);
    // What layout asks: list numbers, frames, and the size, style and
    // drawing of form controls.
    int (*listOrdinal)(const Edr_Doc *doc, Edr_Node *node, int32_t *number);
    int (*createSubdocument)(EngineContext *context, Edr_Doc *doc, int32_t kind, Edr_Node *node,
                             int32_t width, int32_t height, int32_t marginHeight,
                             int32_t marginWidth, int32_t frameBorder, const Url *source);
    int (*widgetSetRect)(void *control, const int32_t rect[4]);
    int (*widgetPreferredSize)(const void *control, int32_t *width, int32_t *height);
    int (*widgetApplyStyle)(void *control, const void *textFormat, uint32_t colour,
                            int rightToLeft);
    // Draws the control in box at offset (dx, dy) through matrix onto target.
    int (*widgetDraw)(EngineContext *context, void *control, const int32_t box[4], int32_t dx,
                      int32_t dy, const Matrix *matrix, const DrawTarget *target);
};

// Bits of a control's flag word that layout reads.
enum : uint32_t {
    Form_Widget_flagItem = 1u << 2,  // laid out as an item of its own
    Form_Widget_flagNest = 1u << 11, // a control nested in another is laid out with it
};

// The installed table of context, or of the calling engine thread's
// context when context is null; null when none is installed.
const Edr_WebOps *Edr_WebOps_get(EngineContext *context);

// The calls through the table. context may be null: the calling thread's
// engine context is used. Without a table (or its entry) a control answers
// as a null control does (getters 6656 with their outputs cleared, tests 0),
// registering and setting succeed doing nothing, an attribute name is
// unknown (0), a question is not asked (16), the mapping hook is absent,
// a link node resolves to nothing (1), a fragment to the empty rectangle
// (0), a stream stays as it is (0), and sources are not freed.
[[nodiscard]] int Edr_Web_registerControl(EngineContext *context, Edr_Node *group);
int Edr_Web_unregisterControl(EngineContext *context, Edr_Doc *doc, Edr_Node *group);
void Edr_Web_releaseControl(EngineContext *context, Edr_Doc *doc, void *control);
void Edr_Web_freeValue(EngineContext *context, void *record);
[[nodiscard]] int Edr_Web_setValue(EngineContext *context, Edr_Node *group, void *value);
int Edr_Web_controlEnabled(EngineContext *context, const void *control);
uint32_t Edr_Web_controlKind(EngineContext *context, const void *control);
[[nodiscard]] int Edr_Web_controlGetKind(EngineContext *context, const void *control,
                                         uint32_t *kind);
[[nodiscard]] int Edr_Web_widgetGetFlags(EngineContext *context, const void *control,
                                         uint32_t *flags);
[[nodiscard]] int Edr_Web_widgetGetRect(EngineContext *context, const void *control,
                                        int32_t rect[4]);
[[nodiscard]] int Edr_Web_widgetSendEvent(EngineContext *context, void *control, void *event);
[[nodiscard]] int Edr_Web_findOwner(EngineContext *context, Edr_Doc *doc, Edr_Node *node,
                                    Edr_Node **form);
uint32_t Edr_Web_attributeId(EngineContext *context, const char16_t *name, size_t length);
char16_t *Edr_Web_attributeText(EngineContext *context, const Prop *value);
[[nodiscard]] int Edr_Web_redirectCreate(EngineContext *context, Edr_Doc *doc);
void Edr_Web_redirectFree(EngineContext *context, Edr_Doc *doc);
[[nodiscard]] int Edr_Web_askQuestion(EngineContext *context, EventProc *processor,
                                      HostQuestion *question);
int Edr_Web_mapHookPresent(EngineContext *context);
[[nodiscard]] int Edr_Web_mapHook(EngineContext *context, const Url *url, int *flag);
int Edr_Web_linkFromNode(EngineContext *context, Edr_Doc *doc, Edr_Node *node, Link *out);
[[nodiscard]] int Edr_Web_fragmentRect(EngineContext *context, Edr_Doc *doc, const char16_t *name,
                                       int32_t rect[4], int32_t *page);
[[nodiscard]] int Edr_Web_openArchiveInPlace(EngineContext *context, VfsHandle **stream, Url **url);
void Edr_Web_freeSources(EngineContext *context, MimeSrcList *list);
// Layout's calls: without a table a list number is not given (0), a frame
// makes no document (0), and controls answer as null controls (6656).
int Edr_Web_listOrdinal(EngineContext *context, const Edr_Doc *doc, Edr_Node *node,
                        int32_t *number);
[[nodiscard]] int Edr_Web_createSubdocument(EngineContext *context, Edr_Doc *doc, int32_t kind,
                                            Edr_Node *node, int32_t width, int32_t height,
                                            int32_t marginHeight, int32_t marginWidth,
                                            int32_t frameBorder, const Url *source);
[[nodiscard]] int Edr_Web_widgetSetRect(EngineContext *context, void *control,
                                        const int32_t rect[4]);
[[nodiscard]] int Edr_Web_widgetPreferredSize(EngineContext *context, const void *control,
                                              int32_t *width, int32_t *height);
[[nodiscard]] int Edr_Web_widgetApplyStyle(EngineContext *context, void *control,
                                           const void *textFormat, uint32_t colour,
                                           int rightToLeft);
[[nodiscard]] int Edr_Web_widgetDraw(EngineContext *context, void *control, const int32_t box[4],
                                     int32_t dx, int32_t dy, const Matrix *matrix,
                                     const DrawTarget *target);
