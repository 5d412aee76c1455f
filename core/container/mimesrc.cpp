// Body sources of the MIME reader, and the list that holds them.
#include "core/container/mimesrc.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"

void Mime_srcFree(MimeSrc *source)
{
    if (!source)
        return;
    switch (source->kind) {
    case MimeSrc_kindBytes:
        if (source->release)
            source->release(source->data);
        Mem_free(source->buffers[0]);
        Mem_free(source->buffers[1]);
        break;
    case MimeSrc_kindPayload:
        if (source->release2)
            source->release2(source->data);
        break;
    default:
        if (source->release)
            source->release(source->data);
        break;
    }
    Mem_free(source);
}

int Mime_srcListPut(MimeSrcList *list, uint32_t index, MimeSrc *source)
{
    if (!list) {
        Mime_srcFree(source);
        return Res_missingArgument;
    }
    if (index < list->count) {
        Mime_srcFree(source);
        return Res_ok;
    }
    if (index >= list->capacity) {
        uint64_t capacity = list->capacity ? list->capacity : MimeSrc_listStart;
        while (capacity <= index)
            capacity *= 2;
        MimeSrc **grown =
            capacity > UINT32_MAX
                ? nullptr
                : static_cast<MimeSrc **>(Mem_realloc(list->sources, capacity * sizeof(MimeSrc *)));
        if (!grown) {
            Mime_srcFree(source);
            return Res_noMemory;
        }
        memset(grown + list->capacity, 0, (capacity - list->capacity) * sizeof(MimeSrc *));
        list->sources = grown;
        list->capacity = uint32_t(capacity);
    }
    list->sources[index] = source;
    list->count = index + 1;
    return Res_ok;
}
