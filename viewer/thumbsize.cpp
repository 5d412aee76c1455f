// The thumbnail side limits, kept current with their settings by two
// configuration watches.
#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/page.h"
#include "viewer/docview.h"
#include "viewer/viewer.h"

int32_t Thumb_onMinSizeChanged(EngineContext *context, void *limits)
{
    static_cast<int32_t *>(limits)[0] =
        int32_t(Config_getIntA(context, context->config, nullptr, "Vexlan_thumbMinSize", 32));
    return 0;
}

int32_t Thumb_onMaxSizeChanged(EngineContext *context, void *limits)
{
    static_cast<int32_t *>(limits)[1] =
        int32_t(Config_getIntA(context, context->config, nullptr, "DispmanthumbMaxSize", 0));
    return 0;
}

int Thumb_watchSizeSettings(EngineContext *context)
{
    if (!context || context->thumbSizes)
        return Res_ok;
    int32_t *limits = static_cast<int32_t *>(Mem_calloc(2, sizeof(int32_t)));
    if (!limits)
        return Res_noMemory;
    if (Config_watch(context, nullptr, u"Vexlan_thumbMinSize", Thumb_onMinSizeChanged, limits, 0) !=
        Res_ok) {
        Mem_free(limits);
        return Res_noMemory;
    }
    if (Config_watch(context, nullptr, u"DispmanthumbMaxSize", Thumb_onMaxSizeChanged, limits, 0) !=
        Res_ok) {
        // Not watching any more is all that matters.
        (void)Config_unwatch(context, nullptr, u"Vexlan_thumbMinSize", Thumb_onMinSizeChanged,
                             limits);
        Mem_free(limits);
        return Res_noMemory;
    }
    context->thumbSizes = limits;
    return Res_ok;
}

void Thumb_unwatchSizeSettings(EngineContext *context)
{
    if (!context || !context->thumbSizes)
        return;
    // Not watching any more is all that matters.
    (void)Config_unwatch(context, nullptr, u"Vexlan_thumbMinSize", Thumb_onMinSizeChanged,
                         context->thumbSizes);
    (void)Config_unwatch(context, nullptr, u"DispmanthumbMaxSize", Thumb_onMaxSizeChanged,
                         context->thumbSizes);
}

void Thumb_freeSizeSettings(EngineContext *context)
{
    if (!context)
        return;
    Mem_free(context->thumbSizes);
    context->thumbSizes = nullptr;
}
