// OfficeArt records: the record source, the child walk, the drawing group
// container with its blip store and cluster table, and drawing containers
// with their shape entries.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "graphics/image.h"
#include "core/host/hostservices.h"
#include "core/stream/bytestream.h"
#include "office/officeart/escher.h"
#include "office/ole2/ole.h"

namespace {

// Stack kept free below a nested group or copy: room for the walk's frames
// on the way back out.
constexpr size_t kNestingMargin = 64 * 1024;

} // namespace

int Escher_tooDeep(EngineContext *context)
{
    size_t left =
        (context && Task_hasCurrent(context)) ? Task_stackLeft(context, nullptr) : Host_stackLeft();
    return left && left <= kNestingMargin;
}

// ---------------------------------------------------------------- source

void EscherSource_initMemory(EscherSource *source, const uint8_t *buffer, uint32_t length)
{
    memset(source, 0, sizeof *source);
    source->kind = EscherSource_memory;
    MemReader_init(&source->memory, buffer, length);
}

void EscherSource_initStream(EscherSource *source, OleStream *stream)
{
    memset(source, 0, sizeof *source);
    source->kind = EscherSource_stream;
    source->stream = stream;
}

void EscherSource_initNone(EscherSource *source)
{
    memset(source, 0, sizeof *source);
    source->kind = EscherSource_none;
}

uint32_t EscherSource_tell(const EscherSource *source)
{
    if (source->kind == EscherSource_memory)
        return MemReader_tell(&source->memory);
    if (source->kind == EscherSource_stream)
        return Ole_streamTell(source->stream);
    return 0;
}

int EscherSource_seek(EscherSource *source, uint32_t offset, int whence)
{
    if (source->kind == EscherSource_memory)
        return MemReader_seek(&source->memory, int32_t(offset), uint32_t(whence));
    if (source->kind == EscherSource_stream)
        return Ole_streamSeek(source->stream, offset, whence);
    return Escher_errNoSource;
}

int EscherSource_read(EscherSource *source, void *buffer, uint32_t n)
{
    if (n == 0)
        return Res_ok;
    if (source->kind == EscherSource_memory)
        return MemReader_read(&source->memory, buffer, n);
    if (source->kind == EscherSource_stream)
        return Ole_streamReadExact(source->stream, buffer, n);
    return Escher_errNoSource;
}

// ------------------------------------------------------------------ walk

void Escher_parseRecordHeader(const uint8_t *b, EscherRecordHeader *h)
{
    uint16_t first = Bytes_peekU16Le(b);
    h->version = first & 0xF;
    h->instance = uint16_t(first >> 4);
    h->type = Bytes_peekU16Le(b + 2);
    h->length = Bytes_peekU32Le(b + 4);
}

int Escher_readRecordHeader(EscherSource *source, EscherRecordHeader *header)
{
    uint8_t b[8];
    int err = EscherSource_read(source, b, 8);
    if (err)
        return err;
    Escher_parseRecordHeader(b, header);
    return Res_ok;
}

void Escher_stopWalk(EscherWalk *walk)
{
    walk->stop = 1;
}

int Escher_forEachChild(EngineContext *context, EscherSource *source, uint32_t length,
                        EscherChildFn handler, void *user)
{
    uint32_t start = EscherSource_tell(source);
    uint64_t consumed = 0;
    int overrun =
        source->kind == EscherSource_stream ? int(Res_oleSeekBeyond) : int(Escher_errBeyond);
    if (uint64_t(start) + length > 0xFFFFFFFFu)
        return overrun;
    EscherWalk walk = {0};
    while (consumed < length && !walk.stop) {
        Task_yield(context);
        // A header or record that runs past the container ends the walk:
        // it cannot be told from the bytes that follow the container.
        if (length - consumed < 8)
            return overrun;
        EscherRecordHeader h;
        int err = Escher_readRecordHeader(source, &h);
        if (err)
            return err;
        uint64_t end = consumed + 8 + uint64_t(h.length);
        if (end > length)
            return overrun;
        consumed = end;
        err = handler(user, &walk, &h);
        if (err)
            return err;
        err = EscherSource_seek(source, uint32_t(start + consumed), 0);
        if (err)
            return err;
    }
    return EscherSource_seek(source, uint32_t(uint64_t(start) + length), 0);
}

// -------------------------------------------------------------- freeing

namespace {

void shapeFree(EscherShape *s)
{
    Escher_propFree(s->props);
    Mem_free(s->textbox.bytes);
    Mem_free(s->clientData.bytes);
    Mem_free(s->clientAnchor.bytes);
    Mem_free(s->tertiary.bytes);
    Mem_free(s->tertiaryProps);
    memset(s, 0, sizeof *s);
}

} // namespace

void Escher_drawingGroupFree(EscherDrawingGroup *group)
{
    if (!group)
        return;
    shapeFree(&group->self);
    for (uint32_t i = group->capacity; i-- > 0;)
        shapeFree(&group->shapes[i]);
    Mem_free(group->shapes);
    while (EscherSolver *s = group->solvers) {
        group->solvers = s->next;
        Mem_free(s->data);
        Mem_free(s);
    }
    Mem_free(group);
}

void Escher_blipRelease(EscherDrawing *drawing, uint32_t index)
{
    if (!drawing || index >= drawing->blipCount)
        return;
    EscherBlip *b = &drawing->blips[index];
    if (b->data) {
        if (b->image) {
            ImageHandle_release(b->image);
            b->image = nullptr;
        } else if (!b->released) {
            Mem_free(b->data);
        }
    }
    b->data = nullptr;
    b->dataLength = 0;
    b->released = 1;
}

void Escher_blipStoreFree(EscherDrawing *drawing)
{
    if (!drawing)
        return;
    for (uint32_t i = drawing->blipCount; i-- > 0;) {
        EscherBlip *b = &drawing->blips[i];
        if (b->image)
            ImageHandle_release(b->image);
        else if (b->data && !b->released)
            Mem_free(b->data);
    }
    Mem_free(drawing->blips);
    drawing->blips = nullptr;
    drawing->blipCount = drawing->blipCapacity = 0;
}

void Escher_drawingGroupFreeBlips(EscherDrawing *drawing, EscherDrawingGroup *group)
{
    if (!group)
        return;
    if (drawing) {
        for (uint32_t i = group->count; i-- > 0;) {
            const EscherProp *p = Escher_propFind(260, group->shapes[i].props);
            if (p && p->value >= 1 && p->value <= drawing->blipCount)
                Escher_blipRelease(drawing, p->value - 1);
        }
    }
    Escher_drawingGroupFree(group);
}

void Escher_drawingStateFree(EscherDrawing *drawing)
{
    if (!drawing)
        return;
    Escher_blipStoreFree(drawing);
    if (drawing->dgg) {
        for (uint32_t i = 0; i < drawing->dgg->clustersRead; i++)
            Escher_drawingGroupFree(drawing->dgg->clusters[i].group);
        Mem_free(drawing->dgg->clusters);
        Mem_free(drawing->dgg);
    }
    Mem_free(drawing);
}

// ---------------------------------------------------- drawing group container

namespace {

struct DrawingWalk {
    EscherDrawing *drawing;
};

// Reads up to n bytes of a record's data into buf; bytes the record does
// not hold read as 0.
int readAtom(EscherSource *src, const EscherRecordHeader *h, uint8_t *buf, uint32_t n)
{
    memset(buf, 0, n);
    return EscherSource_read(src, buf, h->length < n ? h->length : n);
}

int bstoreChild(void *user, EscherWalk *walk, const EscherRecordHeader *h)
{
    auto *d = static_cast<EscherDrawing *>(user);
    if (h->type != EscherRec_fbse)
        return Res_ok;
    if (d->blipCount >= d->blipCapacity) {
        // The container's count can be short of the FBSEs it holds: the
        // store grows, bounded by the container's length (every child
        // takes at least its 8-byte header).
        uint32_t limit = d->blipLimit;
        if (d->blipCount >= limit) {
            Escher_stopWalk(walk);
            return Res_ok;
        }
        uint32_t grown = d->blipCapacity ? d->blipCapacity * 2 : 4;
        if (grown > limit || grown < d->blipCapacity)
            grown = limit;
        void *more = Mem_realloc(d->blips, size_t(grown) * sizeof(EscherBlip));
        if (!more)
            return Res_noMemory;
        d->blips = static_cast<EscherBlip *>(more);
        d->blipCapacity = grown;
    }
    uint8_t b[36];
    int err = readAtom(&d->main, h, b, 36);
    if (err)
        return err;
    EscherBlip *blip = &d->blips[d->blipCount++];
    memset(blip, 0, sizeof *blip);
    blip->blipType = b[0];
    blip->macType = b[1];
    blip->size = Bytes_peekU32Le(b + 20);
    uint32_t offset = Bytes_peekU32Le(b + 28);
    if (blip->size == 0 || offset == 0xFFFFFFFFu) {
        blip->blipType = 0;
        EscherSource_initNone(&blip->source);
    } else if (d->delay.kind != EscherSource_none) {
        blip->source = d->delay;
        blip->offset = offset;
    } else {
        blip->source = d->main;
        blip->offset = EscherSource_tell(&d->main);
    }
    blip->kind = blip->blipType == 5 ? 1 : blip->blipType == 6 ? 2 : 3;
    return Res_ok;
}

int readBlipStore(EscherDrawing *d, const EscherRecordHeader *h)
{
    Escher_blipStoreFree(d);
    d->blipLimit = h->length / 8;
    uint32_t count = h->instance < d->blipLimit ? h->instance : d->blipLimit;
    if (count) {
        d->blips = static_cast<EscherBlip *>(Mem_calloc(count, sizeof(EscherBlip)));
        if (!d->blips)
            return Res_noMemory;
        d->blipCapacity = count;
    }
    int err = Escher_forEachChild(d->context, &d->main, h->length, bstoreChild, d);
    if (err)
        Escher_blipStoreFree(d);
    return err;
}

int readDgg(EscherDrawing *d, const EscherRecordHeader *h)
{
    if (d->dgg) {
        for (uint32_t i = 0; i < d->dgg->clustersRead; i++)
            Escher_drawingGroupFree(d->dgg->clusters[i].group);
        Mem_free(d->dgg->clusters);
        Mem_free(d->dgg);
        d->dgg = nullptr;
    }
    if (h->length == 0)
        return Res_ok;
    auto *bytes = static_cast<uint8_t *>(Mem_malloc(h->length));
    if (!bytes)
        return Res_noMemory;
    int err = EscherSource_read(&d->main, bytes, h->length);
    if (err) {
        Mem_free(bytes);
        return err;
    }
    auto *info = static_cast<EscherDggInfo *>(Mem_calloc(1, sizeof(EscherDggInfo)));
    if (!info) {
        Mem_free(bytes);
        return Res_noMemory;
    }
    uint8_t head[16] = {0};
    memcpy(head, bytes, h->length < 16 ? h->length : 16);
    info->maxShapeId = Bytes_peekU32Le(head);
    uint32_t field = Bytes_peekU32Le(head + 4);
    // The field holds the cluster count plus 1; 0 means no clusters.
    info->clusterCount = field ? field - 1 : 0;
    info->savedShapes = Bytes_peekU32Le(head + 8);
    info->savedDrawings = Bytes_peekU32Le(head + 12);
    uint32_t held = h->length > 16 ? (h->length - 16) / 8 : 0;
    uint32_t n = info->clusterCount < held ? info->clusterCount : held;
    if (n) {
        info->clusters = static_cast<EscherDggCluster *>(Mem_calloc(n, sizeof(EscherDggCluster)));
        if (!info->clusters) {
            Mem_free(info);
            Mem_free(bytes);
            return Res_noMemory;
        }
        for (uint32_t i = 0; i < n; i++) {
            info->clusters[i].drawingId = Bytes_peekU32Le(bytes + 16 + 8 * i);
            info->clusters[i].currentShapeId = Bytes_peekU32Le(bytes + 20 + 8 * i);
        }
    }
    info->clustersRead = n;
    Mem_free(bytes);
    d->dgg = info;
    return Res_ok;
}

int dggChild(void *user, EscherWalk *, const EscherRecordHeader *h)
{
    auto *d = static_cast<EscherDrawing *>(user);
    if (h->type == EscherRec_bstoreContainer)
        return readBlipStore(d, h);
    if (h->type == EscherRec_fdgg)
        return readDgg(d, h);
    return Res_ok;
}

int defaultStyleHook(void *, StyleRule *, uint32_t *)
{
    return Escher_errNoStyleHook;
}

int defaultShapeHook(void *, Edr_Node *, const EscherShape *, const int32_t *, int32_t)
{
    return Res_ok;
}

int defaultClientHook(void *, EscherClientBytes *)
{
    return Res_ok;
}

int newDrawing(EngineContext *context, const EscherSource *main, const EscherSource *delay,
               EscherDrawing **out, EscherStyleHook styleHook, EscherShapeHook shapeHook,
               EscherClientHook clientHook, void *user)
{
    auto *d = static_cast<EscherDrawing *>(Mem_calloc(1, sizeof(EscherDrawing)));
    if (!d)
        return Res_noMemory;
    d->context = context;
    d->main = *main;
    if (delay)
        d->delay = *delay;
    else
        EscherSource_initNone(&d->delay);
    d->styleHook = styleHook ? styleHook : defaultStyleHook;
    d->shapeHook = shapeHook ? shapeHook : defaultShapeHook;
    d->clientHook = clientHook ? clientHook : defaultClientHook;
    d->user = user;
    *out = d;
    return Res_ok;
}

} // namespace

int Escher_openDrawing(EngineContext *context, const EscherSource *main, const EscherSource *delay,
                       EscherDrawing **out, EscherStyleHook styleHook, EscherShapeHook shapeHook,
                       EscherClientHook clientHook, void *user)
{
    if (out)
        *out = nullptr;
    if (!out || !main || main->kind == EscherSource_none)
        return Escher_errNoSource;
    EscherDrawing *d = nullptr;
    int err = newDrawing(context, main, delay, &d, styleHook, shapeHook, clientHook, user);
    if (err)
        return err;
    EscherRecordHeader h;
    err = Escher_readRecordHeader(&d->main, &h);
    if (!err)
        err = Escher_forEachChild(context, &d->main, h.length, dggChild, d);
    if (err) {
        Escher_drawingStateFree(d);
        return err;
    }
    *out = d;
    return Res_ok;
}

int Escher_openDrawingStreams(EngineContext *context, OleStream *stream, OleStream *delayStream,
                              EscherDrawing **out, EscherStyleHook styleHook,
                              EscherShapeHook shapeHook, EscherClientHook clientHook, void *user)
{
    if (out)
        *out = nullptr;
    if (!stream)
        return Escher_errNoSource;
    EscherSource main, delay;
    EscherSource_initStream(&main, stream);
    if (delayStream)
        EscherSource_initStream(&delay, delayStream);
    else
        EscherSource_initNone(&delay);
    return Escher_openDrawing(context, &main, &delay, out, styleHook, shapeHook, clientHook, user);
}

int Escher_openDrawingMemory(EngineContext *context, const uint8_t *buffer, uint32_t length,
                             EscherDrawing **out, EscherStyleHook styleHook,
                             EscherShapeHook shapeHook, EscherClientHook clientHook, void *user)
{
    if (out)
        *out = nullptr;
    if (!buffer || length == 0)
        return Escher_errNoSource;
    EscherSource main, delay;
    EscherSource_initMemory(&main, buffer, length);
    EscherSource_initNone(&delay);
    return Escher_openDrawing(context, &main, &delay, out, styleHook, shapeHook, clientHook, user);
}

// ------------------------------------------------------- drawing container

namespace {

struct GroupContext {
    GroupContext *parent;
    EscherDrawingGroup *group;
    EscherDrawing *drawing;
    int32_t level;
    int64_t gx, gy, gw, gh; // the group rectangle
    EscherShape *entry;     // the shape being read
};

struct DgContext {
    EscherDrawingGroup *group;
    EscherDrawing *drawing;
    int patriarchSeen;
};

int32_t fraction(int64_t value, int64_t divisor)
{
    if (divisor == 0)
        return 0;
    return int32_t((value * 65536) / divisor);
}

int readClient(EscherDrawing *d, const EscherRecordHeader *h, EscherClientBytes *rec)
{
    Mem_free(rec->bytes);
    rec->bytes = nullptr;
    rec->length = 0;
    if (h->length == 0)
        return d->clientHook(d->user, rec);
    rec->bytes = static_cast<uint8_t *>(Mem_malloc(h->length));
    if (!rec->bytes)
        return Res_noMemory;
    int err = EscherSource_read(&d->main, rec->bytes, h->length);
    if (err) {
        Mem_free(rec->bytes);
        rec->bytes = nullptr;
        return err;
    }
    rec->length = h->length;
    return Res_ok;
}

int spChild(void *user, EscherWalk *, const EscherRecordHeader *h)
{
    auto *c = static_cast<GroupContext *>(user);
    EscherShape *e = c->entry;
    EscherDrawing *d = c->drawing;
    if (!e)
        return Res_ok;
    uint8_t b[16];
    int err;
    switch (h->type) {
    case EscherRec_fspgr:
        if ((err = readAtom(&d->main, h, b, 16)) != 0)
            return err;
        e->groupLeft = int32_t(Bytes_peekU32Le(b));
        e->groupTop = int32_t(Bytes_peekU32Le(b + 4));
        e->groupRight = int32_t(Bytes_peekU32Le(b + 8));
        e->groupBottom = int32_t(Bytes_peekU32Le(b + 12));
        c->gx = e->groupLeft;
        c->gy = e->groupTop;
        c->gw = int64_t(e->groupRight) - e->groupLeft;
        c->gh = int64_t(e->groupBottom) - e->groupTop;
        return Res_ok;
    case EscherRec_fsp:
        if ((err = readAtom(&d->main, h, b, 8)) != 0)
            return err;
        e->shapeType = h->instance;
        e->shapeId = Bytes_peekU32Le(b);
        e->flags = Bytes_peekU32Le(b + 4) & 0xFFFu;
        return Res_ok;
    case EscherRec_childAnchor: {
        if ((err = readAtom(&d->main, h, b, 16)) != 0)
            return err;
        e->childLeft = int32_t(Bytes_peekU32Le(b));
        e->childTop = int32_t(Bytes_peekU32Le(b + 4));
        e->childRight = int32_t(Bytes_peekU32Le(b + 8));
        e->childBottom = int32_t(Bytes_peekU32Le(b + 12));
        int64_t gx = 0, gy = 0, gw = 0, gh = 0;
        const GroupContext *r = (e->flags & EscherFsp_group) ? c->parent : c;
        if (r) {
            gx = r->gx;
            gy = r->gy;
            gw = r->gw;
            gh = r->gh;
        }
        e->anchorLeft = fraction(e->childLeft - gx, gw);
        e->anchorTop = fraction(e->childTop - gy, gh);
        e->anchorWidth = fraction(int64_t(e->childRight) - e->childLeft, gw);
        e->anchorHeight = fraction(int64_t(e->childBottom) - e->childTop, gh);
        return Res_ok;
    }
    case EscherRec_fopt: {
        Escher_propFree(e->props);
        e->props = nullptr;
        uint8_t *bytes = nullptr;
        if (h->length) {
            bytes = static_cast<uint8_t *>(Mem_malloc(h->length));
            if (!bytes)
                return Res_noMemory;
            if ((err = EscherSource_read(&d->main, bytes, h->length)) != 0) {
                Mem_free(bytes);
                return err;
            }
        }
        e->props = Escher_propParse(bytes, h->length, h->instance);
        Mem_free(bytes);
        return e->props ? Res_ok : Res_noMemory;
    }
    case EscherRec_clientTextbox: return readClient(d, h, &e->textbox);
    case EscherRec_clientData: return readClient(d, h, &e->clientData);
    case EscherRec_clientAnchor: return readClient(d, h, &e->clientAnchor);
    case EscherRec_tertiaryFopt:
        e->tertiaryHeader = *h;
        if ((err = readClient(d, h, &e->tertiary)) != 0)
            return err;
        if (e->tertiary.length && e->tertiary.length % 6 == 0 && !e->tertiaryProps) {
            uint32_t n = e->tertiary.length / 6;
            e->tertiaryProps = static_cast<EscherShape::TertiaryProp *>(
                Mem_calloc(n, sizeof(EscherShape::TertiaryProp)));
            if (!e->tertiaryProps)
                return Res_noMemory;
            for (uint32_t i = 0; i < n; i++) {
                const uint8_t *p = e->tertiary.bytes + 6 * i;
                e->tertiaryProps[i].id = Bytes_peekU16Le(p);
                e->tertiaryProps[i].value = Bytes_peekU32Le(p + 2);
            }
            e->tertiaryCount = n;
        }
        return Res_ok;
    default: return Res_ok;
    }
}

int readGroupContainer(const EscherRecordHeader *h, GroupContext *parent);

int spgrChild(void *user, EscherWalk *, const EscherRecordHeader *h)
{
    auto *c = static_cast<GroupContext *>(user);
    if (h->type == EscherRec_spgrContainer)
        return readGroupContainer(h, c);
    if (h->type != EscherRec_spContainer)
        return Res_ok;
    EscherDrawingGroup *g = c->group;
    if (g->count >= g->capacity) {
        // The drawing's shape count (its FDG) can fall short of the shapes
        // it holds: the table grows, up to the same limit as the count.
        if (g->capacity >= Escher_maxShapes)
            return Res_ok;
        uint32_t more =
            g->capacity * 2 < Escher_maxShapes ? g->capacity * 2 : uint32_t(Escher_maxShapes);
        void *bigger = Mem_realloc(g->shapes, size_t(more) * sizeof(EscherShape));
        if (!bigger)
            return Res_noMemory;
        g->shapes = static_cast<EscherShape *>(bigger);
        memset(g->shapes + g->capacity, 0, size_t(more - g->capacity) * sizeof(EscherShape));
        g->capacity = more;
    }
    EscherShape *e = &g->shapes[g->count];
    c->entry = e;
    int err = Escher_forEachChild(c->drawing->context, &c->drawing->main, h->length, spChild, c);
    c->entry = nullptr;
    // The entry counts even when its walk failed, so that it is freed.
    e->level = c->level - ((e->flags & EscherFsp_group) ? 1 : 0);
    g->count++;
    return err;
}

int readGroupContainer(const EscherRecordHeader *h, GroupContext *parent)
{
    if (Escher_tooDeep(parent->drawing->context))
        return Res_stackExhausted;
    GroupContext c;
    memset(&c, 0, sizeof c);
    c.parent = parent->level ? parent : nullptr;
    c.group = parent->group;
    c.drawing = parent->drawing;
    c.level = parent->level + 1;
    return Escher_forEachChild(c.drawing->context, &c.drawing->main, h->length, spgrChild, &c);
}

int dgChild(void *user, EscherWalk *, const EscherRecordHeader *h)
{
    auto *c = static_cast<DgContext *>(user);
    EscherDrawing *d = c->drawing;
    switch (h->type) {
    case EscherRec_fdg: {
        if (c->group)
            return Res_ok; // only the first FDG sizes the drawing
        uint8_t b[8];
        int err = readAtom(&d->main, h, b, 8);
        if (err)
            return err;
        uint32_t capacity = Bytes_peekU32Le(b);
        capacity = capacity < 8                  ? 8
                   : capacity > Escher_maxShapes ? uint32_t(Escher_maxShapes)
                                                 : capacity;
        auto *g = static_cast<EscherDrawingGroup *>(Mem_calloc(1, sizeof(EscherDrawingGroup)));
        if (!g)
            return Res_noMemory;
        g->shapes = static_cast<EscherShape *>(Mem_calloc(capacity, sizeof(EscherShape)));
        if (!g->shapes) {
            Mem_free(g);
            return Res_noMemory;
        }
        g->capacity = capacity;
        g->drawingId = h->instance;
        g->lastShapeId = Bytes_peekU32Le(b + 4);
        c->group = g;
        return Res_ok;
    }
    case EscherRec_spgrContainer: {
        if (!c->group)
            return Escher_errNoFdg;
        if (c->patriarchSeen)
            return Res_ok;
        c->patriarchSeen = 1;
        GroupContext root;
        memset(&root, 0, sizeof root);
        root.group = c->group;
        root.drawing = d;
        root.level = 0;
        return readGroupContainer(h, &root);
    }
    case EscherRec_spContainer: {
        if (!c->group)
            return Escher_errNoFdg;
        GroupContext root;
        memset(&root, 0, sizeof root);
        root.group = c->group;
        root.drawing = d;
        root.entry = &c->group->self;
        return Escher_forEachChild(d->context, &d->main, h->length, spChild, &root);
    }
    case EscherRec_solverContainer: {
        if (!c->group)
            return Res_ok;
        auto *s = static_cast<EscherSolver *>(Mem_calloc(1, sizeof(EscherSolver)));
        if (!s)
            return Res_noMemory;
        if (h->length) {
            s->data = static_cast<uint8_t *>(Mem_malloc(h->length));
            int err = s->data ? EscherSource_read(&d->main, s->data, h->length) : int(Res_noMemory);
            if (err) {
                Mem_free(s->data);
                Mem_free(s);
                return err;
            }
        }
        s->length = h->length;
        uint8_t *p = s->header;
        uint32_t words[3] = {uint32_t(h->version | (h->instance << 4)), h->type, h->length};
        for (int i = 0; i < 3; i++)
            for (int k = 0; k < 4; k++)
                p[4 * i + k] = uint8_t(words[i] >> (8 * k));
        while (EscherSolver *old = c->group->solvers) {
            c->group->solvers = old->next;
            Mem_free(old->data);
            Mem_free(old);
        }
        c->group->solvers = s;
        return Res_ok;
    }
    default: return Res_ok;
    }
}

} // namespace

int Escher_readDrawingGroup(EscherDrawing *drawing, EscherDrawingGroup **out)
{
    if (out)
        *out = nullptr;
    if (!drawing || !out)
        return Escher_errNoSource;
    EscherRecordHeader h;
    int err = Escher_readRecordHeader(&drawing->main, &h);
    if (err)
        return err;
    DgContext c = {nullptr, drawing, 0};
    err = Escher_forEachChild(drawing->context, &drawing->main, h.length, dgChild, &c);
    if (err) {
        Escher_drawingGroupFree(c.group);
        return err;
    }
    *out = c.group;
    return Res_ok;
}

// ---------------------------------------------------------- inline picture

namespace {

// Makes h cover its record with the 8 header bytes, for a walk that starts
// at the header.
int wholeRecord(EscherRecordHeader *h)
{
    if (h->length > 0xFFFFFFFFu - 8)
        return Res_oleSeekBeyond;
    h->length += 8;
    return Res_ok;
}

} // namespace

int Escher_openInlinePicture(EngineContext *context, OleStream *stream, EscherDrawing **out,
                             EscherStyleHook styleHook, EscherShapeHook shapeHook, void *user)
{
    if (out)
        *out = nullptr;
    if (!stream || !out)
        return Escher_errNoSource;
    EscherSource main, none;
    EscherSource_initStream(&main, stream);
    EscherSource_initNone(&none);
    EscherDrawing *d = nullptr;
    int err = newDrawing(context, &main, &none, &d, styleHook, shapeHook, nullptr, user);
    if (err)
        return err;
    uint32_t start = EscherSource_tell(&d->main);
    EscherRecordHeader h;
    err = Escher_readRecordHeader(&d->main, &h);
    if (!err)
        err = EscherSource_seek(&d->main, h.length, 1);
    if (!err)
        err = Escher_readRecordHeader(&d->main, &h);
    if (!err) {
        // The FBSE is its own blip store of one entry (its blip follows
        // inside it): the store's walk covers the whole record, header
        // included.
        h.instance = 1;
        err = wholeRecord(&h);
        if (!err)
            err = EscherSource_seek(&d->main, uint32_t(-8), 1);
        if (!err)
            err = readBlipStore(d, &h);
    }
    if (!err)
        err = EscherSource_seek(&d->main, start, 0);
    EscherDrawingGroup *g = nullptr;
    if (!err) {
        g = static_cast<EscherDrawingGroup *>(Mem_calloc(1, sizeof(EscherDrawingGroup)));
        if (g)
            g->shapes = static_cast<EscherShape *>(Mem_calloc(1, sizeof(EscherShape)));
        if (!g || !g->shapes) {
            Mem_free(g);
            g = nullptr;
            err = Res_noMemory;
        } else {
            g->capacity = 1;
        }
    }
    if (!err)
        err = Escher_readRecordHeader(&d->main, &h);
    if (!err)
        err = wholeRecord(&h);
    if (!err) {
        // The SpContainer is its own group container's only child.
        err = EscherSource_seek(&d->main, uint32_t(-8), 1);
        GroupContext root;
        memset(&root, 0, sizeof root);
        root.group = g;
        root.drawing = d;
        if (!err)
            err = readGroupContainer(&h, &root);
    }
    if (err) {
        Escher_drawingGroupFree(g);
        Escher_drawingStateFree(d);
        return err;
    }
    // The walk leaves the stream after the SpContainer, where the FBSE is.
    d->current = g;
    *out = d;
    return Res_ok;
}
