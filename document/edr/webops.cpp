// Calls from the document model into the web layer, through the table the
// web layer installs on the engine context.
#include "document/edr/webops.h"

#include <cstring>

#include "core/context/context.h"
#include "core/host/hostservices.h"
#include "core/result.h"

const Edr_WebOps *Edr_WebOps_get(EngineContext *context)
{
    if (!context) {
        EngineInstance *instance = Host_getThreadContext();
        context = instance ? instance->context : nullptr;
    }
    return context ? context->webOps : nullptr;
}

// The installed entry of the table, or null. The table is looked up once:
// without a context the lookup goes through the calling thread.
#define EDR_WEB_ENTRY(context, name)                                                               \
    ([](const Edr_WebOps *ops) { return ops ? ops->name : nullptr; }(Edr_WebOps_get(context)))

int Edr_Web_registerControl(EngineContext *context, Edr_Node *group)
{
    auto fn = EDR_WEB_ENTRY(context, registerControl);
    return fn ? fn(group) : Res_ok;
}

int Edr_Web_unregisterControl(EngineContext *context, Edr_Doc *doc, Edr_Node *group)
{
    auto fn = EDR_WEB_ENTRY(context, unregisterControl);
    return fn ? fn(doc, group) : Res_ok;
}

void Edr_Web_releaseControl(EngineContext *context, Edr_Doc *doc, void *control)
{
    if (auto fn = EDR_WEB_ENTRY(context, releaseControl))
        fn(doc, control);
}

void Edr_Web_freeValue(EngineContext *context, void *record)
{
    if (auto fn = EDR_WEB_ENTRY(context, freeValue))
        fn(record);
}

int Edr_Web_setValue(EngineContext *context, Edr_Node *group, void *value)
{
    auto fn = EDR_WEB_ENTRY(context, setValue);
    return fn ? fn(group, value) : Res_ok;
}

int Edr_Web_controlEnabled(EngineContext *context, const void *control)
{
    auto fn = EDR_WEB_ENTRY(context, controlEnabled);
    return fn ? fn(control) : 0;
}

uint32_t Edr_Web_controlKind(EngineContext *context, const void *control)
{
    auto fn = EDR_WEB_ENTRY(context, controlKind);
    return fn ? fn(control) : 0;
}

int Edr_Web_controlGetKind(EngineContext *context, const void *control, uint32_t *kind)
{
    if (auto fn = EDR_WEB_ENTRY(context, controlGetKind))
        return fn(control, kind);
    if (kind)
        *kind = 0;
    return Res_formNoWidget;
}

int Edr_Web_widgetGetFlags(EngineContext *context, const void *control, uint32_t *flags)
{
    if (auto fn = EDR_WEB_ENTRY(context, widgetGetFlags))
        return fn(control, flags);
    if (flags)
        *flags = 0;
    return Res_formNoWidget;
}

int Edr_Web_widgetGetRect(EngineContext *context, const void *control, int32_t rect[4])
{
    if (auto fn = EDR_WEB_ENTRY(context, widgetGetRect))
        return fn(control, rect);
    return Res_formNoWidget;
}

int Edr_Web_widgetSendEvent(EngineContext *context, void *control, void *event)
{
    auto fn = EDR_WEB_ENTRY(context, widgetSendEvent);
    return fn ? fn(context, control, event) : Res_formNoWidget;
}

int Edr_Web_findOwner(EngineContext *context, Edr_Doc *doc, Edr_Node *node, Edr_Node **form)
{
    if (auto fn = EDR_WEB_ENTRY(context, findOwner))
        return fn(doc, node, form);
    *form = nullptr;
    return Res_ok;
}

uint32_t Edr_Web_attributeId(EngineContext *context, const char16_t *name, size_t length)
{
    auto fn = EDR_WEB_ENTRY(context, attributeId);
    return fn ? fn(name, length) : 0;
}

char16_t *Edr_Web_attributeText(EngineContext *context, const Prop *value)
{
    auto fn = EDR_WEB_ENTRY(context, attributeText);
    return fn ? fn(value) : nullptr;
}

int Edr_Web_redirectCreate(EngineContext *context, Edr_Doc *doc)
{
    auto fn = EDR_WEB_ENTRY(context, redirectCreate);
    return fn ? fn(doc) : Res_ok;
}

void Edr_Web_redirectFree(EngineContext *context, Edr_Doc *doc)
{
    if (auto fn = EDR_WEB_ENTRY(context, redirectFree))
        fn(doc);
}

int Edr_Web_askQuestion(EngineContext *context, EventProc *processor, HostQuestion *question)
{
    auto fn = EDR_WEB_ENTRY(context, askQuestion);
    return fn ? fn(processor, question) : Res_missingArgument;
}

int Edr_Web_mapHookPresent(EngineContext *context)
{
    auto fn = EDR_WEB_ENTRY(context, mapHookPresent);
    return fn ? fn(context) : 0;
}

int Edr_Web_mapHook(EngineContext *context, const Url *url, int *flag)
{
    if (auto fn = EDR_WEB_ENTRY(context, mapHook))
        return fn(context, url, flag);
    *flag = 0;
    return Res_ok;
}

int Edr_Web_linkFromNode(EngineContext *context, Edr_Doc *doc, Edr_Node *node, Link *out)
{
    if (auto fn = EDR_WEB_ENTRY(context, linkFromNode))
        return fn(context, doc, node, out);
    Link_init(out);
    return 1;
}

int Edr_Web_fragmentRect(EngineContext *context, Edr_Doc *doc, const char16_t *name,
                         int32_t rect[4], int32_t *page)
{
    if (auto fn = EDR_WEB_ENTRY(context, fragmentRect))
        return fn(doc, name, rect, page);
    return Res_ok;
}

int Edr_Web_openArchiveInPlace(EngineContext *context, VfsHandle **stream, Url **url)
{
    auto fn = EDR_WEB_ENTRY(context, openArchiveInPlace);
    return fn ? fn(context, stream, url) : Res_ok;
}

void Edr_Web_freeSources(EngineContext *context, MimeSrcList *list)
{
    if (auto fn = EDR_WEB_ENTRY(context, freeSources))
        fn(list);
}

int Edr_Web_listOrdinal(EngineContext *context, const Edr_Doc *doc, Edr_Node *node, int32_t *number)
{
    if (auto fn = EDR_WEB_ENTRY(context, listOrdinal))
        return fn(doc, node, number);
    *number = 0;
    return 0;
}

int Edr_Web_createSubdocument(EngineContext *context, Edr_Doc *doc, int32_t kind, Edr_Node *node,
                              int32_t width, int32_t height, int32_t marginHeight,
                              int32_t marginWidth, int32_t frameBorder, const Url *source)
{
    auto fn = EDR_WEB_ENTRY(context, createSubdocument);
    return fn ? fn(context, doc, kind, node, width, height, marginHeight, marginWidth, frameBorder,
                   source)
              : Res_ok;
}

int Edr_Web_widgetSetRect(EngineContext *context, void *control, const int32_t rect[4])
{
    auto fn = EDR_WEB_ENTRY(context, widgetSetRect);
    return fn ? fn(control, rect) : Res_formNoWidget;
}

int Edr_Web_widgetPreferredSize(EngineContext *context, const void *control, int32_t *width,
                                int32_t *height)
{
    auto fn = EDR_WEB_ENTRY(context, widgetPreferredSize);
    return fn ? fn(control, width, height) : Res_formNoWidget;
}

int Edr_Web_widgetApplyStyle(EngineContext *context, void *control, const void *textFormat,
                             uint32_t colour, int rightToLeft)
{
    auto fn = EDR_WEB_ENTRY(context, widgetApplyStyle);
    return fn ? fn(control, textFormat, colour, rightToLeft) : Res_formNoWidget;
}

int Edr_Web_widgetDraw(EngineContext *context, void *control, const int32_t box[4], int32_t dx,
                       int32_t dy, const Matrix *matrix, const DrawTarget *target)
{
    auto fn = EDR_WEB_ENTRY(context, widgetDraw);
    return fn ? fn(context, control, box, dx, dy, matrix, target) : Res_ok;
}

#undef EDR_WEB_ENTRY
