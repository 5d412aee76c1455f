// Rebuilding the cross-reference table from a scan of the file, and
// finding objects whose table offset is wrong (see xrefstream.h).
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "pdf/lexer.h"
#include "pdf/xrefstream.h"

namespace {

constexpr size_t repairChunk = 1 << 16;
constexpr size_t repairOverlap = 64; // room for the numbers before a keyword

bool repairIsWhite(uint8_t c)
{
    return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}

bool repairIsDelimiter(uint8_t c)
{
    return repairIsWhite(c) || c == '(' || c == ')' || c == '<' || c == '>' || c == '[' ||
           c == ']' || c == '{' || c == '}' || c == '/' || c == '%';
}

bool repairIsDigit(uint8_t c)
{
    return c >= '0' && c <= '9';
}

template <typename T> bool repairGrow(T **items, size_t *capacity, size_t count)
{
    if (count < *capacity)
        return true;
    size_t grown = *capacity ? *capacity * 2 : 256;
    T *p = static_cast<T *>(Mem_realloc(*items, grown * sizeof(T)));
    if (!p)
        return false;
    *items = p;
    *capacity = grown;
    return true;
}

// The decimal number that ends just before b[end] (exclusive): *start is
// its first digit. False without digits or with more than ten.
bool repairNumberBefore(const uint8_t *b, size_t end, size_t *start, uint64_t *value)
{
    size_t i = end;
    while (i > 0 && repairIsDigit(b[i - 1]) && end - i < 11)
        i--;
    if (i == end || end - i > 10)
        return false;
    uint64_t v = 0;
    for (size_t k = i; k < end; k++)
        v = v * 10 + uint64_t(b[k] - '0');
    *start = i;
    *value = v;
    return true;
}

// Reads up to n bytes at the absolute position; *got is what came.
int repairReadAt(PdfDoc *doc, uint64_t position, uint8_t *buffer, size_t n, size_t *got)
{
    PdfLexer *lx = doc->lexer;
    uint64_t base = lx->base;
    lx->base = 0;
    int err = Pdf_Lex_seek(lx, position);
    lx->base = base;
    size_t left = n;
    if (err == Res_ok)
        err = Pdf_Lex_readRaw(lx, &left, buffer);
    *got = n - left;
    return err == Res_byteStreamEnded ? int(Res_ok) : err;
}

} // namespace

int Pdf_Scan_addBytes(PdfScan *scan, const uint8_t *b, size_t n, uint64_t from)
{
    // A keyword is taken only with the byte after it (which must end it):
    // one at the very end is looked at again with the next chunk.
    for (size_t i = 0; i + 4 <= n; i++) {
        if (from + i < scan->scanned)
            continue;
        if (b[i] == 'o' && b[i + 1] == 'b' && b[i + 2] == 'j' && repairIsDelimiter(b[i + 3])) {
            // "N G obj": white space, the generation, white space and the
            // number before the keyword, and a delimiter before them.
            size_t j = i;
            if (j == 0 || !repairIsWhite(b[j - 1]))
                continue;
            while (j > 0 && repairIsWhite(b[j - 1]))
                j--;
            size_t genStart = 0, numStart = 0;
            uint64_t gen = 0, num = 0;
            if (!repairNumberBefore(b, j, &genStart, &gen))
                continue;
            j = genStart;
            if (j == 0 || !repairIsWhite(b[j - 1]))
                continue;
            while (j > 0 && repairIsWhite(b[j - 1]))
                j--;
            if (!repairNumberBefore(b, j, &numStart, &num))
                continue;
            if (numStart > 0 && !repairIsDelimiter(b[numStart - 1]))
                continue;
            if (num > UINT32_MAX)
                continue;
            if (!repairGrow(&scan->hits, &scan->capacity, scan->count))
                return Res_noMemory;
            scan->hits[scan->count++] = PdfScanHit{
                uint32_t(num), uint32_t(std::min<uint64_t>(gen, 0xFFFF)), from + numStart};
            scan->scanned = from + i + 1;
        } else if (b[i] == 't' && i + 8 <= n && memcmp(b + i, "trailer", 7) == 0 &&
                   (i == 0 || repairIsDelimiter(b[i - 1])) && repairIsDelimiter(b[i + 7])) {
            if (!repairGrow(&scan->trailers, &scan->trailerCapacity, scan->trailerCount))
                return Res_noMemory;
            scan->trailers[scan->trailerCount++] = from + i + 7;
            scan->scanned = from + i + 1;
        }
    }
    // Keywords that begin in the last bytes may be cut: they are looked at
    // again with the next chunk (the ones taken are not taken twice).
    uint64_t done = from + (n > 8 ? n - 8 : 0);
    scan->scanned = std::max(scan->scanned, done);
    return Res_ok;
}

void Pdf_Scan_free(PdfScan *scan)
{
    if (!scan)
        return;
    Mem_free(scan->hits);
    Mem_free(scan->trailers);
    Mem_free(scan);
}

int Pdf_Scan_ensure(PdfDoc *doc)
{
    if (doc->scan)
        return Res_ok;
    PdfScan *scan = static_cast<PdfScan *>(Mem_calloc(1, sizeof(PdfScan)));
    uint8_t *buffer = static_cast<uint8_t *>(Mem_malloc(repairChunk + repairOverlap));
    if (!scan || !buffer) {
        Mem_free(scan);
        Mem_free(buffer);
        return Res_noMemory;
    }
    uint64_t base = doc->lexer->base;
    uint64_t length = ByteStream_getLength(doc->stream);
    uint64_t saved = Pdf_Lex_tell(doc->lexer);
    int err = Res_ok;
    for (uint64_t at = base; err == Res_ok && at < length; at += repairChunk) {
        uint64_t from = at > base + repairOverlap ? at - repairOverlap : base;
        size_t got = 0;
        err = repairReadAt(doc, from, buffer, size_t(at + repairChunk - from), &got);
        if (err == Res_ok)
            err = Pdf_Scan_addBytes(scan, buffer, got, from - base);
        if (got == 0)
            break;
    }
    Mem_free(buffer);
    int back = Pdf_Lex_seek(doc->lexer, saved);
    if (err == Res_ok)
        err = back;
    if (err != Res_ok) {
        Pdf_Scan_free(scan);
        return err;
    }
    doc->scan = scan;
    return Res_ok;
}

int Pdf_Xref_locate(PdfDoc *doc, uint32_t number, uint64_t *offset)
{
    *offset = 0;
    int err = Pdf_Scan_ensure(doc);
    if (err != Res_ok)
        return err;
    for (size_t i = doc->scan->count; i-- > 0;) {
        if (doc->scan->hits[i].number == number) {
            *offset = doc->scan->hits[i].offset;
            return Res_ok;
        }
    }
    return Res_pdfSyntax;
}

namespace {

// A subsection per run of consecutive numbers of hits (sorted by number,
// one per number).
int repairBuild(PdfDoc *doc, const PdfScanHit *hits, size_t count, uint16_t flags)
{
    size_t i = 0;
    while (i < count) {
        size_t j = i + 1;
        while (j < count && hits[j].number == hits[j - 1].number + 1)
            j++;
        PdfXrefSubsection *s =
            static_cast<PdfXrefSubsection *>(Mem_calloc(1, sizeof(PdfXrefSubsection)));
        PdfXrefEntry *entries =
            s ? static_cast<PdfXrefEntry *>(Mem_calloc(j - i, sizeof(PdfXrefEntry))) : nullptr;
        if (!entries) {
            Mem_free(s);
            return Res_noMemory;
        }
        s->first = hits[i].number;
        s->count = uint32_t(j - i);
        s->entries = entries;
        for (size_t k = i; k < j; k++) {
            PdfXrefEntry *e = &entries[k - i];
            e->flags = uint16_t(PdfXref_inUse | flags);
            e->number = hits[k].number;
            e->generation = uint16_t(hits[k].generation);
            e->offset = hits[k].offset;
        }
        *doc->xrefTail = s;
        doc->xrefTail = &s->next;
        i = j;
    }
    return Res_ok;
}

// Sorts hits by number, the last in file order winning, and keeps one
// per number; *count drops to the ones kept.
void repairUnique(PdfScanHit *hits, size_t *count)
{
    // Offsets grow in file order: sorting by number, then offset, keeps
    // the file's order within a number (without the buffer a stable sort
    // would take from the system heap).
    std::sort(hits, hits + *count, [](const PdfScanHit &a, const PdfScanHit &b) {
        return a.number < b.number || (a.number == b.number && a.offset < b.offset);
    });
    size_t kept = 0;
    for (size_t i = 0; i < *count; i++) {
        if (kept && hits[kept - 1].number == hits[i].number)
            hits[kept - 1] = hits[i];
        else
            hits[kept++] = hits[i];
    }
    *count = kept;
}

// The object of an entry, parsed (borrowed); null when it cannot be.
PdfObj *repairObject(PdfDoc *doc, PdfXrefEntry *e)
{
    PdfObj ref{PdfObj_indirect, {}, nullptr};
    ref.value.entry = e;
    PdfObj *obj = &ref;
    if (Pdf_Obj_resolve(doc, &obj) != Res_ok)
        return nullptr;
    return obj;
}

bool repairIsType(PdfDoc *doc, PdfObj *obj, const char *type)
{
    PdfObj *t = nullptr;
    const char *name = nullptr;
    return obj && (obj->type == PdfObj_dict || obj->type == PdfObj_stream) &&
           Pdf_Obj_dictGet(doc, "Type", obj, &t) == Res_ok && t &&
           Pdf_Obj_getName(doc, t, &name) == Res_ok && strcmp(name, type) == 0;
}

// A dictionary whose "Root" is a dictionary.
bool repairHasRoot(PdfDoc *doc, PdfObj *dict)
{
    PdfObj *root = nullptr;
    return dict && Pdf_Obj_dictGet(doc, "Root", dict, &root) == Res_ok && root &&
           root->type == PdfObj_dict;
}

// The objects that the rebuilt table's object streams hold and no header
// defined: entries of type 2 after the others.
int repairAddCompressed(PdfDoc *doc, const PdfScanHit *direct, size_t directCount)
{
    PdfScanHit *extra = nullptr;
    size_t extraCount = 0, extraCapacity = 0;
    int err = Res_ok;
    for (PdfXrefSubsection *s = doc->xrefHead; err == Res_ok && s; s = s->next) {
        for (uint32_t i = 0; err == Res_ok && i < s->count; i++) {
            PdfObj *obj = repairObject(doc, &s->entries[i]);
            if (!repairIsType(doc, obj, "ObjStm"))
                continue;
            // Its pairs come from a parse of one member (which loads the
            // stream), through a probe entry of number 0.
            PdfXrefEntry probe{PdfXref_inUse | PdfXref_compressed, 0, 0,
                               PdfXref_packCompressed(s->entries[i].number, 0), nullptr};
            PdfObj *member = nullptr;
            (void)Pdf_ObjStm_parseEntry(doc, &probe, &member);
            Pdf_Obj_release(doc, member);
            PdfObjStm *stm = doc->objStms;
            if (!stm || stm->number != s->entries[i].number)
                continue;
            for (uint32_t k = 0; k < stm->count; k++) {
                PdfScanHit key{stm->numbers[k], 0, 0};
                if (std::binary_search(direct, direct + directCount, key,
                                       [](const PdfScanHit &a, const PdfScanHit &b) {
                                           return a.number < b.number;
                                       }))
                    continue;
                if (!repairGrow(&extra, &extraCapacity, extraCount)) {
                    err = Res_noMemory;
                    break;
                }
                extra[extraCount++] =
                    PdfScanHit{stm->numbers[k], 0, PdfXref_packCompressed(stm->number, k)};
            }
        }
    }
    if (err == Res_ok && extraCount) {
        repairUnique(extra, &extraCount);
        err = repairBuild(doc, extra, extraCount, PdfXref_compressed);
    }
    Mem_free(extra);
    return err;
}

// A trailer for the rebuilt table: the newest "trailer" dictionary with a
// usable Root, else the newest cross-reference stream's dictionary with
// one, else a dictionary made here whose Root is the last object of Type
// Catalog.
int repairTrailer(PdfDoc *doc, PdfObj **out)
{
    *out = nullptr;
    PdfScan *scan = doc->scan;
    for (size_t i = scan->trailerCount; i-- > 0;) {
        PdfObj *t = nullptr;
        if (Pdf_Lex_seek(doc->lexer, scan->trailers[i]) != Res_ok ||
            Pdf_Obj_parse(doc, doc->lexer, &t) != Res_ok)
            continue;
        if (t && t->type == PdfObj_dict && repairHasRoot(doc, t)) {
            *out = t;
            return Res_ok;
        }
        Pdf_Obj_release(doc, t);
    }
    PdfXrefEntry *best = nullptr, *catalog = nullptr;
    for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next) {
        for (uint32_t i = 0; i < s->count; i++) {
            PdfXrefEntry *e = &s->entries[i];
            PdfObj *obj = repairObject(doc, e);
            bool compressed = (e->flags & PdfXref_compressed) != 0;
            if (!compressed && obj && obj->type == PdfObj_stream &&
                repairIsType(doc, obj, "XRef") && repairHasRoot(doc, obj) &&
                (!best || e->offset > best->offset))
                best = e;
            if (repairIsType(doc, obj, "Catalog") &&
                (!catalog || (!compressed && !(catalog->flags & PdfXref_compressed) &&
                              e->offset > catalog->offset)))
                catalog = e;
        }
    }
    if (best) {
        // Parsed again without an owner: the entry's cached stream goes
        // with flushes, the trailer with the first one.
        PdfObj *t = nullptr;
        int64_t number = 0, generation = 0;
        PdfLexer *lx = doc->lexer;
        int err = Pdf_Lex_seek(lx, best->offset);
        if (err == Res_ok)
            err = Pdf_Lex_readInt(lx, &number);
        if (err == Res_ok)
            err = Pdf_Lex_readInt(lx, &generation);
        if (err == Res_ok)
            err = Pdf_Lex_expect(lx, "obj");
        if (err == Res_ok)
            err = Pdf_Obj_parse(doc, lx, &t);
        if (err == Res_ok && t) {
            *out = t;
            return Res_ok;
        }
        Pdf_Obj_release(doc, t);
        if (err == Res_noMemory)
            return err;
    }
    if (!catalog)
        return Res_pdfXrefDamaged;
    PdfObj *dict = nullptr, *key = nullptr, *value = nullptr;
    int err = Pdf_Dict_new(&dict);
    if (err != Res_ok)
        return err;
    key = Pdf_Obj_alloc(doc);
    value = Pdf_Obj_alloc(doc);
    char *name = Pdf_NameTable_intern(doc->names, "Root", 4);
    if (!key || !value || !name) {
        Pdf_Obj_recycle(key, doc);
        Pdf_Obj_recycle(value, doc);
        Pdf_Obj_release(doc, dict);
        return Res_noMemory;
    }
    *key = PdfObj{PdfObj_name, {}, nullptr};
    key->value.name = name;
    *value = PdfObj{PdfObj_indirect, {}, nullptr};
    value->value.entry = catalog;
    err = Pdf_Dict_add(doc, dict, key, value);
    if (err != Res_ok) {
        Pdf_Obj_release(doc, dict);
        return err;
    }
    *out = dict;
    return Res_ok;
}

} // namespace

int Pdf_Xref_rebuild(PdfDoc *doc)
{
    Pdf_ObjStm_freeCache(doc);
    Pdf_Obj_release(doc, doc->trailer);
    doc->trailer = nullptr;
    Pdf_Xref_free(doc->xrefHead);
    doc->xrefHead = nullptr;
    doc->xrefTail = &doc->xrefHead;
    doc->cachedCount = 0;
    int err = Pdf_Scan_ensure(doc);
    if (err != Res_ok)
        return err;
    PdfScan *scan = doc->scan;
    PdfScanHit *hits = static_cast<PdfScanHit *>(Mem_malloc(scan->count * sizeof(PdfScanHit) + 1));
    if (!hits)
        return Res_noMemory;
    size_t count = scan->count;
    if (count)
        memcpy(hits, scan->hits, count * sizeof(PdfScanHit));
    repairUnique(hits, &count);
    err = count ? repairBuild(doc, hits, count, 0) : int(Res_pdfXrefDamaged);
    if (err == Res_ok)
        err = repairAddCompressed(doc, hits, count);
    Mem_free(hits);
    if (err == Res_ok)
        err = repairTrailer(doc, &doc->trailer);
    if (err == Res_ok) {
        doc->rebuilt = 1;
        Pdf_Doc_warn(doc, PdfWarn_repaired);
    }
    return err;
}
