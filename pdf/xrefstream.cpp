// Cross-reference streams and object streams (see xrefstream.h).
#include "pdf/xrefstream.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "pdf/lexer.h"
#include "pdf/resources/pdfstream.h"

namespace {

// A big-endian field of width bytes at p.
uint64_t xrefStmField(const uint8_t *p, uint32_t width)
{
    uint64_t v = 0;
    for (uint32_t i = 0; i < width; i++)
        v = v << 8 | p[i];
    return v;
}

void xrefStmFreeList(PdfXrefSubsection *head)
{
    while (head) {
        PdfXrefSubsection *next = head->next;
        Mem_free(head->entries);
        Mem_free(head);
        head = next;
    }
}

// An integer of a dictionary, or fallback when the key is missing.
int xrefStmInt(PdfDoc *doc, PdfObj *dict, const char *key, int64_t fallback, int64_t *out)
{
    *out = fallback;
    PdfObj *item = nullptr;
    int err = Pdf_Obj_dictGet(doc, key, dict, &item);
    if (err != Res_ok || !item)
        return err;
    int32_t v = 0;
    err = Pdf_Obj_getInt(doc, item, &v);
    if (err == Res_ok)
        *out = v;
    return err;
}

} // namespace

int Pdf_XrefStm_decodeRows(const uint8_t *data, size_t size, const uint32_t widths[3],
                           const uint64_t *index, uint32_t pairs, PdfXrefSubsection **head)
{
    *head = nullptr;
    uint64_t rowBytes = 0;
    for (int i = 0; i < 3; i++) {
        if (widths[i] > PdfXrefStm_maxFieldWidth)
            return Res_pdfSyntax;
        rowBytes += widths[i];
    }
    if (rowBytes == 0)
        return Res_pdfSyntax;
    PdfXrefSubsection **tail = head;
    size_t at = 0;
    for (uint32_t p = 0; p < pairs; p++) {
        uint64_t first = index[2 * p], count = index[2 * p + 1];
        uint64_t rowsLeft = (size - at) / rowBytes;
        count = std::min(count, rowsLeft);
        if (first > UINT32_MAX)
            break;
        count = std::min<uint64_t>(count, uint64_t(UINT32_MAX) - first + 1);
        if (count == 0)
            continue;
        PdfXrefSubsection *s =
            static_cast<PdfXrefSubsection *>(Mem_calloc(1, sizeof(PdfXrefSubsection)));
        PdfXrefEntry *entries =
            s ? static_cast<PdfXrefEntry *>(Mem_calloc(size_t(count), sizeof(PdfXrefEntry)))
              : nullptr;
        if (!entries) {
            Mem_free(s);
            xrefStmFreeList(*head);
            *head = nullptr;
            return Res_noMemory;
        }
        s->first = uint32_t(first);
        s->count = uint32_t(count);
        s->entries = entries;
        for (uint64_t i = 0; i < count; i++, at += size_t(rowBytes)) {
            const uint8_t *row = data + at;
            uint64_t type = widths[0] ? xrefStmField(row, widths[0]) : 1;
            uint64_t a = xrefStmField(row + widths[0], widths[1]);
            uint64_t b = xrefStmField(row + widths[0] + widths[1], widths[2]);
            PdfXrefEntry *e = &entries[i];
            e->number = uint32_t(first + i);
            if (type == 1) {
                e->flags = PdfXref_inUse;
                e->offset = a;
                e->generation = uint16_t(std::min<uint64_t>(b, 0xFFFF));
            } else if (type == 2 && a <= UINT32_MAX && b <= UINT32_MAX) {
                e->flags = PdfXref_inUse | PdfXref_compressed;
                e->offset = PdfXref_packCompressed(uint32_t(a), uint32_t(b));
            } else {
                // Free, or a type this reader does not know: the number
                // names no object.
                e->generation = uint16_t(std::min<uint64_t>(b, 0xFFFF));
            }
        }
        *tail = s;
        tail = &s->next;
    }
    return Res_ok;
}

int Pdf_XrefStm_read(PdfDoc *doc, uint64_t offset, PdfObj **trailer)
{
    *trailer = nullptr;
    PdfLexer *lx = doc->lexer;
    int64_t number = 0, generation = 0;
    int err = Pdf_Lex_seek(lx, offset);
    if (err == Res_ok)
        err = Pdf_Lex_readInt(lx, &number);
    if (err == Res_ok)
        err = Pdf_Lex_readInt(lx, &generation);
    if (err == Res_ok)
        err = Pdf_Lex_expect(lx, "obj");
    if (err != Res_ok)
        return Res_pdfSyntax;
    PdfObj *stream = nullptr;
    err = Pdf_Obj_parse(doc, lx, &stream);
    if (err != Res_ok)
        return err == Res_noMemory ? err : int(Res_pdfSyntax);
    if (!stream || stream->type != PdfObj_stream) {
        Pdf_Obj_release(doc, stream);
        return Res_pdfSyntax;
    }
    PdfObj *w = nullptr, *index = nullptr;
    PdfArray *wa = nullptr;
    uint32_t widths[3] = {0, 0, 0};
    int64_t entryCount = 0;
    err = Pdf_Obj_dictGet(doc, "W", stream, &w);
    if (err == Res_ok)
        err = Pdf_Obj_getArray(doc, w, 3, &wa);
    for (uint32_t i = 0; err == Res_ok && i < 3; i++) {
        PdfObj *item = nullptr;
        int32_t v = 0;
        err = Pdf_Obj_arrayGet(doc, i, w, &item);
        if (err == Res_ok)
            err = Pdf_Obj_getInt(doc, item, &v);
        if (err == Res_ok && (v < 0 || v > int32_t(PdfXrefStm_maxFieldWidth)))
            err = Res_pdfSyntax;
        widths[i] = uint32_t(v);
    }
    if (err == Res_ok)
        err = xrefStmInt(doc, stream, "Size", 0, &entryCount);
    if (err == Res_ok)
        err = Pdf_Obj_dictGet(doc, "Index", stream, &index);
    uint64_t *pairs = nullptr;
    uint32_t pairCount = 0;
    if (err == Res_ok && index) {
        uint32_t n = 0;
        err = Pdf_Obj_getCount(doc, index, &n);
        pairCount = n / 2;
        if (err == Res_ok && pairCount) {
            pairs = static_cast<uint64_t *>(Mem_calloc(pairCount * 2, sizeof(uint64_t)));
            if (!pairs)
                err = Res_noMemory;
        }
        for (uint32_t i = 0; err == Res_ok && i < pairCount * 2; i++) {
            PdfObj *item = nullptr;
            int32_t v = 0;
            err = Pdf_Obj_arrayGet(doc, i, index, &item);
            if (err == Res_ok)
                err = Pdf_Obj_getInt(doc, item, &v);
            if (err == Res_ok && v < 0)
                err = Res_pdfSyntax;
            pairs[i] = uint64_t(v);
        }
    } else if (err == Res_ok) {
        if (entryCount < 0)
            err = Res_pdfSyntax;
        pairs = static_cast<uint64_t *>(Mem_calloc(2, sizeof(uint64_t)));
        if (err == Res_ok && !pairs)
            err = Res_noMemory;
        if (err == Res_ok) {
            pairs[1] = uint64_t(entryCount);
            pairCount = 1;
        }
    }
    uint8_t *data = nullptr;
    size_t size = 0;
    if (err == Res_ok)
        err = Pdf_Stream_readToMemory(doc, stream, &data, &size);
    PdfXrefSubsection *head = nullptr;
    if (err == Res_ok)
        err = Pdf_XrefStm_decodeRows(data, size, widths, pairs, pairCount, &head);
    Mem_free(data);
    Mem_free(pairs);
    if (err != Res_ok) {
        Pdf_Obj_release(doc, stream);
        return err == Res_noMemory ? err : int(Res_pdfSyntax);
    }
    while (head) {
        PdfXrefSubsection *next = head->next;
        head->next = nullptr;
        *doc->xrefTail = head;
        doc->xrefTail = &head->next;
        head = next;
    }
    if (number >= 0 && number <= int64_t(UINT32_MAX)) {
        PdfXrefEntry *self = Pdf_Xref_find(doc, uint32_t(number), -1);
        if (self && !(self->flags & PdfXref_compressed))
            self->flags |= PdfXref_plain;
    }
    *trailer = stream;
    return Res_ok;
}

// ---------------------------------------------------------- object streams

int Pdf_ObjStm_readPairs(const uint8_t *data, size_t size, uint32_t n, uint64_t first,
                         uint32_t *numbers, uint64_t *offsets, uint32_t *count)
{
    *count = 0;
    size_t end = size_t(std::min<uint64_t>(first, size));
    size_t at = 0;
    uint64_t values[2];
    while (*count < n) {
        for (int k = 0; k < 2; k++) {
            while (at < end &&
                   (data[at] == ' ' || (data[at] >= 9 && data[at] <= 13) || data[at] == 0))
                at++;
            if (at >= end || data[at] < '0' || data[at] > '9')
                return Res_ok;
            uint64_t v = 0;
            while (at < end && data[at] >= '0' && data[at] <= '9') {
                v = std::min<uint64_t>(v * 10 + uint64_t(data[at] - '0'), UINT64_MAX / 16);
                at++;
            }
            values[k] = v;
        }
        if (values[0] > UINT32_MAX || values[1] >= size - std::min<uint64_t>(first, size))
            continue;
        numbers[*count] = uint32_t(values[0]);
        offsets[*count] = first + values[1];
        (*count)++;
    }
    return Res_ok;
}

namespace {

void objStmFree(PdfObjStm *s)
{
    if (!s)
        return;
    Pdf_Lex_destroy(s->lexer);
    if (s->source)
        ByteStream_close(s->source);
    Mem_free(s->data);
    Mem_free(s->numbers);
    Mem_free(s->offsets);
    Mem_free(s);
}

int objStmDecode(PdfDoc *doc, PdfXrefEntry *e, uint32_t number, PdfObjStm **out);

// Decodes object stream number into a new record.
int objStmLoad(PdfDoc *doc, uint32_t number, PdfObjStm **out)
{
    *out = nullptr;
    PdfXrefEntry *e = Pdf_Xref_find(doc, number, -1);
    // An object stream is never itself inside an object stream.
    if (!e || !(e->flags & PdfXref_inUse) || (e->flags & (PdfXref_compressed | PdfXref_loading)))
        return Res_pdfSyntax;
    // While the stream loads, an object inside it that its own dictionary
    // needs (its Length, say) cannot be had: the mark turns that loop into
    // an error.
    e->flags |= PdfXref_loading;
    int err = objStmDecode(doc, e, number, out);
    e->flags &= uint16_t(~PdfXref_loading);
    return err;
}

int objStmDecode(PdfDoc *doc, PdfXrefEntry *e, uint32_t number, PdfObjStm **out)
{
    PdfObj ref{PdfObj_indirect, {}, nullptr};
    ref.value.entry = e;
    PdfObj *stream = &ref;
    int err = Pdf_Obj_resolve(doc, &stream);
    if (err != Res_ok)
        return err;
    if (!stream || stream->type != PdfObj_stream)
        return Res_pdfSyntax;
    int64_t n = 0, first = 0;
    err = xrefStmInt(doc, stream, "N", 0, &n);
    if (err == Res_ok)
        err = xrefStmInt(doc, stream, "First", 0, &first);
    if (err != Res_ok)
        return err;
    if (n < 0 || first < 0)
        return Res_pdfSyntax;
    PdfObjStm *s = static_cast<PdfObjStm *>(Mem_calloc(1, sizeof(PdfObjStm)));
    if (!s)
        return Res_noMemory;
    s->number = number;
    err = Pdf_Stream_readToMemory(doc, stream, &s->data, &s->size);
    // Each pair takes at least four bytes ("1 2 "): a count beyond what
    // the data can hold is cut down to it.
    uint32_t slots = uint32_t(std::min<uint64_t>(uint64_t(n), s->size / 4 + 1));
    if (err == Res_ok) {
        s->numbers = static_cast<uint32_t *>(Mem_malloc(slots * sizeof(uint32_t) + 1));
        s->offsets = static_cast<uint64_t *>(Mem_malloc(slots * sizeof(uint64_t) + 1));
        if (!s->numbers || !s->offsets)
            err = Res_noMemory;
    }
    if (err == Res_ok)
        err = Pdf_ObjStm_readPairs(s->data, s->size, slots, uint64_t(first), s->numbers, s->offsets,
                                   &s->count);
    if (err == Res_ok)
        err = Pdf_Stream_openMemory(s->data, s->size, &s->source);
    if (err == Res_ok)
        err = Pdf_Lex_create(&s->lexer, s->source);
    if (err != Res_ok) {
        objStmFree(s);
        return err;
    }
    *out = s;
    return Res_ok;
}

// The decoded object stream number: from the cache (moved to its front),
// else loaded and put there, the least recently used one dropped when the
// cache is full.
int objStmGet(PdfDoc *doc, uint32_t number, PdfObjStm **out)
{
    *out = nullptr;
    PdfObjStm **link = &doc->objStms;
    uint32_t kept = 0;
    for (; *link; link = &(*link)->next, kept++) {
        PdfObjStm *s = *link;
        if (s->number != number)
            continue;
        *link = s->next;
        s->next = doc->objStms;
        doc->objStms = s;
        *out = s;
        return Res_ok;
    }
    PdfObjStm *s = nullptr;
    int err = objStmLoad(doc, number, &s);
    if (err != Res_ok)
        return err;
    if (kept >= PdfObjStm_cacheSlots) {
        PdfObjStm **last = &doc->objStms;
        while ((*last)->next)
            last = &(*last)->next;
        objStmFree(*last);
        *last = nullptr;
    }
    s->next = doc->objStms;
    doc->objStms = s;
    *out = s;
    return Res_ok;
}

} // namespace

int Pdf_ObjStm_parseEntry(PdfDoc *doc, PdfXrefEntry *entry, PdfObj **out)
{
    *out = nullptr;
    uint32_t number = uint32_t(entry->offset >> 32);
    uint32_t index = uint32_t(entry->offset);
    PdfObjStm *s = nullptr;
    int err = objStmGet(doc, number, &s);
    if (err != Res_ok)
        return err;
    // The pair at the index should name the object; otherwise the pairs
    // are searched for its number.
    uint32_t at = index;
    if (at >= s->count || s->numbers[at] != entry->number) {
        at = s->count;
        for (uint32_t i = 0; i < s->count; i++)
            if (s->numbers[i] == entry->number) {
                at = i;
                break;
            }
    }
    if (at >= s->count)
        return Res_pdfSyntax;
    err = Pdf_Lex_seek(s->lexer, s->offsets[at]);
    PdfObj *obj = nullptr;
    if (err == Res_ok)
        err = Pdf_Obj_parseInto(doc, s->lexer, &obj, entry);
    if (err == Res_ok && obj && obj->type == PdfObj_stream)
        err = Res_pdfSyntax; // a stream's data cannot lie inside another stream
    if (err != Res_ok) {
        Pdf_Obj_release(doc, obj);
        return err;
    }
    *out = obj;
    return Res_ok;
}

void Pdf_ObjStm_freeCache(PdfDoc *doc)
{
    while (doc->objStms) {
        PdfObjStm *next = doc->objStms->next;
        objStmFree(doc->objStms);
        doc->objStms = next;
    }
}
