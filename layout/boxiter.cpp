// The layout tree iterator over the style lookup.
#include "layout/boxiter.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "document/edr/node.h"
#include "document/style/lookup.h"
#include "document/style/style.h"
#include "layout/layout.h"

namespace {

constexpr int32_t kFirstCapacity = 16;

int grow(IterEntry **array, int32_t *capacity, int32_t count)
{
    if (count < *capacity)
        return Res_ok;
    int32_t wanted = *capacity ? *capacity * 2 : kFirstCapacity;
    IterEntry *grown =
        static_cast<IterEntry *>(Mem_realloc(*array, size_t(wanted) * sizeof(IterEntry)));
    if (!grown)
        return Res_noMemory;
    *array = grown;
    *capacity = wanted;
    return Res_ok;
}

uint32_t keywordOf(const Edr_Style *style, uint32_t id)
{
    return style ? Edr_Style_get(style, id, nullptr) : 0;
}

bool isGroup(Edr_Node *node)
{
    return node && Edr_Node_type(node) == Edr_NodeType_group;
}

} // namespace

int BoxIter_isAbsoluteMarker(Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_data)
        return 0;
    const Prop *p = static_cast<const Prop *>(Edr_Node_payloadOrNull(node));
    return p && p->id == PropId_position && (p->type == KwId_absolute || p->type == 10) ? 1 : 0;
}

int BoxIter_create(BoxIter **out, LayoutBox *box, Edr_Node *group, Edr_Style *groupStyle,
                   uint32_t noFloats)
{
    *out = nullptr;
    BoxIter *iter = static_cast<BoxIter *>(Mem_calloc(1, sizeof(BoxIter)));
    if (!iter)
        return Res_noMemory;
    iter->markIndex = -1;
    iter->markResume = -1;
    iter->noFloats = noFloats;
    int err = grow(&iter->entries, &iter->capacity, 0);
    if (!err)
        err = grow(&iter->deferred, &iter->deferredCapacity, 0);
    if (!err)
        err = Edr_StyleLookup_create(box->document, group, groupStyle, box->styleContext,
                                     &iter->lookup);
    if (err) {
        BoxIter_free(iter);
        return err;
    }
    *out = iter;
    return Res_ok;
}

void BoxIter_free(BoxIter *iter)
{
    if (!iter)
        return;
    for (int32_t i = 0; i < iter->count; i++)
        Edr_Style_release(iter->entries[i].style);
    for (int32_t i = 0; i < iter->deferredCount; i++)
        Edr_Style_release(iter->deferred[i].style);
    Edr_StyleLookup_free(iter->lookup);
    Mem_free(iter->entries);
    Mem_free(iter->deferred);
    Mem_free(iter);
}

int BoxIter_next(BoxIter *iter, IterEntry *out, LayoutBox *)
{
    std::memset(out, 0, sizeof(*out));
    while (iter->cursor >= iter->count) {
        // Room first, so a failure leaves the iterator as it was.
        int err = grow(&iter->entries, &iter->capacity, iter->count);
        if (err)
            return err;
        Edr_LookupItem item{};
        int breakAllowed = 0, end = 0;
        err = Edr_StyleLookup_next(iter->lookup, &item, &breakAllowed, &end);
        if (err)
            return err;
        if (!item.node)
            return Res_ok;
        IterEntry &e = iter->entries[iter->count++];
        e = IterEntry{};
        e.style = Edr_Style_retain(item.style);
        e.node = item.node;
        e.depth = iter->lookup->depth;
        if (!iter->noFloats && isGroup(item.node)) {
            uint32_t side = keywordOf(item.style, PropId_float);
            e.isFloat = side == KwId_left || side == KwId_right ? 1 : 0;
        }
    }
    *out = iter->entries[iter->cursor++];
    if (iter->stopAtGroups && isGroup(out->node)) {
        uint32_t anchor = keywordOf(out->style, PropId_verticalAnchor);
        if (anchor != KwId_bottom && anchor != KwId_middle && anchor != KwId_top) {
            BoxIter_rewindTo(iter, out);
            out->node = nullptr;
            out->style = nullptr;
            return Res_ok;
        }
    }
    if (iter->stopAtAbsolute && BoxIter_isAbsoluteMarker(out->node)) {
        BoxIter_rewindTo(iter, out);
        out->node = nullptr;
        out->style = nullptr;
    }
    return Res_ok;
}

void BoxIter_rewindTo(BoxIter *iter, const IterEntry *entry)
{
    int32_t i = iter->cursor - 1;
    while (i >= 1 && iter->entries[i].node != entry->node)
        i--;
    if (i < 1)
        i = 0;
    if (iter->count == 0)
        return;
    IterEntry &e = iter->entries[i];
    e.rewinds = e.resume == entry->resume ? e.rewinds + 1 : 0;
    e.resume = entry->resume;
    for (int32_t k = i + 1; k < iter->cursor && k < iter->count; k++)
        iter->entries[k].resume = 0;
    iter->cursor = i;
}

void BoxIter_commit(BoxIter *iter)
{
    for (int32_t i = 0; i < iter->cursor; i++)
        Edr_Style_release(iter->entries[i].style);
    std::memmove(iter->entries, iter->entries + iter->cursor,
                 size_t(iter->count - iter->cursor) * sizeof(IterEntry));
    iter->count -= iter->cursor;
    iter->cursor = 0;
    iter->markIndex = -1;
    iter->markResume = -1;
}

void BoxIter_mark(BoxIter *iter)
{
    iter->markIndex = iter->cursor;
    iter->markResume = iter->cursor < iter->count ? iter->entries[iter->cursor].resume : 0;
}

void BoxIter_resetToMark(BoxIter *iter)
{
    if (iter->markIndex < 0)
        return;
    iter->cursor = iter->markIndex;
    if (iter->cursor < iter->count)
        iter->entries[iter->cursor].resume = iter->markResume;
    for (int32_t i = iter->cursor + 1; i < iter->count; i++)
        iter->entries[i].resume = 0;
}

int BoxIter_atMark(const BoxIter *iter)
{
    if (iter->cursor != iter->markIndex)
        return 0;
    return iter->cursor == iter->count || iter->entries[iter->cursor].resume == iter->markResume
               ? 1
               : 0;
}

int BoxIter_defer(BoxIter *iter, const IterEntry *entry)
{
    if (grow(&iter->deferred, &iter->deferredCapacity, iter->deferredCount))
        return Res_noMemory;
    IterEntry &e = iter->deferred[iter->deferredCount++];
    e = *entry;
    e.style = Edr_Style_retain(entry->style);
    return Res_ok;
}

void BoxIter_takeDeferred(BoxIter *iter, IterEntry *out)
{
    if (iter->takeIndex >= iter->deferredCount) {
        std::memset(out, 0, sizeof(*out));
        return;
    }
    *out = iter->deferred[iter->takeIndex++];
}

void BoxIter_stopAtAbsoluteOn(BoxIter *iter)
{
    iter->stopAtAbsolute = 1;
}

void BoxIter_stopAtAbsoluteOff(BoxIter *iter)
{
    iter->stopAtAbsolute = 0;
}

void BoxIter_stopAtGroupsOn(BoxIter *iter)
{
    iter->stopAtGroups = 1;
}

void BoxIter_stopAtGroupsOff(BoxIter *iter)
{
    iter->stopAtGroups = 0;
}
