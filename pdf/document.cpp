// Opening a PDF file: the header, the tail, the classic cross-reference
// sections with their trailers, the security handler and the catalogue;
// the object store's flushes; closing; and the page loop of a translation.
//
// Offsets in the file count from the "%" of its header (the base offset):
// files with a preamble before "%PDF-" state their offsets that way. The
// cross-reference sections are read newest first, so that the entries of
// an incremental update come before the ones they replace; a "Prev" that
// leads back to a section already read ends the chain instead of looping.
#include "pdf/document.h"

#include <algorithm>
#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/fmt.h"
#include "core/text/strtable.h"
#include "document/edr/doc.h"
#include "document/edr/loadprogress.h"
#include "pdf/interp.h"
#include "pdf/xobject.h"
#include "pdf/lexer.h"
#include "pdf/page.h"
#include "pdf/security.h"
#include "pdf/xrefstream.h"
#include "platform/api/engine.h"
#include "platform/api/request.h"
#include "platform/vfs/vfs.h"
#include "platform/vfs/vfsbytestream.h"

namespace {

bool isWhite(int c)
{
    return c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32;
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

// Reads up to n bytes at the absolute position into buffer; *got is what
// came.
int readAt(PdfDoc *doc, uint64_t position, uint8_t *buffer, size_t n, size_t *got)
{
    PdfLexer *lx = doc->lexer;
    uint64_t base = lx->base;
    lx->base = 0;
    int err = Pdf_Lex_seek(lx, position);
    lx->base = base;
    if (err != Res_ok)
        return err;
    size_t left = n;
    err = Pdf_Lex_readRaw(lx, &left, buffer);
    *got = n - left;
    if (err == Res_byteStreamEnded)
        err = Res_ok;
    return err;
}

// Matches pattern at buffer[*at] after white space ("*" skips up to the
// next pattern character); *at moves past the match.
bool matchAt(const uint8_t *b, size_t n, size_t *at, const char *pattern)
{
    size_t i = *at;
    while (i < n && isWhite(b[i]))
        i++;
    for (const char *p = pattern; *p; p++) {
        if (*p == '*') {
            while (i < n && b[i] != uint8_t(p[1]))
                i++;
            continue;
        }
        if (i >= n || b[i] != uint8_t(*p))
            return false;
        i++;
    }
    *at = i;
    return true;
}

// The header: "%PDF-" or "%!PS-Adobe-...PDF-" with its "%" in the first
// 1032 bytes, then the version as a real number. Sets the base offset.
int readHeader(PdfDoc *doc)
{
    constexpr size_t room = PdfDoc_headerScan + 64;
    uint8_t *b = static_cast<uint8_t *>(Mem_malloc(room));
    if (!b)
        return Res_noMemory;
    size_t n = 0;
    int err = readAt(doc, 0, b, room, &n);
    size_t start = 0, after = 0;
    bool found = false;
    for (size_t i = 0; err == Res_ok && !found && i < std::min<size_t>(n, PdfDoc_headerScan); i++) {
        if (b[i] != '%')
            continue;
        after = i + 1;
        if (matchAt(b, n, &after, "PDF-") || matchAt(b, n, &after, "!PS-Adobe-*PDF-")) {
            start = i;
            found = true;
        }
    }
    Mem_free(b);
    if (err != Res_ok)
        return err;
    if (!found)
        return Res_pdfNoHeader;
    err = Pdf_Lex_seek(doc->lexer, after);
    PdfObj *version = nullptr;
    if (err == Res_ok)
        err = Pdf_Obj_parse(doc, doc->lexer, &version);
    if (err == Res_ok && (!version || version->type != PdfObj_real))
        err = Res_pdfSyntax;
    if (err == Res_ok)
        doc->version = version->value.f;
    Pdf_Obj_release(doc, version);
    Pdf_Lex_setBase(doc->lexer, start);
    return err;
}

// The tail, read backwards from the end: "%%EOF", the offset's digits and
// "startxref", all in the last 1032 bytes. *offset is the number after
// "startxref".
int readTail(PdfDoc *doc, uint64_t *offset)
{
    uint64_t length = ByteStream_getLength(doc->stream);
    size_t n = size_t(std::min<uint64_t>(length, PdfDoc_tailScan));
    uint64_t from = length - n;
    uint8_t *b = static_cast<uint8_t *>(Mem_malloc(n ? n : 1));
    if (!b)
        return Res_noMemory;
    size_t got = 0;
    int err = readAt(doc, from, b, n, &got);
    if (err != Res_ok) {
        Mem_free(b);
        return err;
    }
    static constexpr char eof[] = "%%EOF";
    static constexpr char keyword[] = "startxref";
    constexpr size_t eofLast = sizeof eof - 2, keyLast = sizeof keyword - 2;
    ptrdiff_t i = ptrdiff_t(got) - 1;
    size_t k = eofLast;
    for (; i >= 0; i--) {
        if (b[i] == uint8_t(eof[k])) {
            if (k-- == 0)
                break;
        } else {
            k = eofLast;
            if (b[i] == uint8_t(eof[k]))
                k--;
        }
    }
    bool ok = i >= 0;
    for (i--; ok && i >= 0 && isWhite(b[i]);)
        i--;
    while (ok && i >= 0 && isDigit(b[i]))
        i--;
    while (ok && i >= 0 && isWhite(b[i]))
        i--;
    for (size_t j = 0; ok && j <= keyLast; j++, i--)
        ok = i >= 0 && b[i] == uint8_t(keyword[keyLast - j]);
    Mem_free(b);
    if (!ok)
        return Res_pdfNoTail;
    uint64_t at = from + uint64_t(i + 1);
    PdfLexer *lx = doc->lexer;
    err = Pdf_Lex_seek(lx, at - lx->base);
    if (err == Res_ok)
        err = Pdf_Lex_expect(lx, "startxref");
    int64_t v = 0;
    if (err == Res_ok)
        err = Pdf_Lex_readInt(lx, &v);
    if (err == Res_ok && (v < 0 || v == INT64_MAX))
        err = Res_pdfSyntax;
    *offset = uint64_t(v);
    return err;
}

// "trailer" and the dictionary after it.
int readTrailer(PdfDoc *doc, PdfObj **out)
{
    *out = nullptr;
    int err = Pdf_Lex_expect(doc->lexer, "trailer");
    if (err != Res_ok)
        return err == Res_pdfSyntax ? err : int(Res_pdfSyntax);
    err = Pdf_Obj_parse(doc, doc->lexer, out);
    if (err == Res_ok && (!*out || (*out)->type != PdfObj_dict)) {
        Pdf_Obj_release(doc, *out);
        *out = nullptr;
        err = Res_pdfSyntax;
    }
    return err;
}

// The catalogue: "Root", pinned, of Type "Catalog".
int findCatalog(PdfDoc *doc)
{
    PdfObj *root = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Root", doc->trailer, &root);
    if (err != Res_ok || !root)
        return err;
    if (!root->owner) {
        // Written directly in the trailer, which goes at the first flush:
        // the document keeps a copy of its own.
        err = Pdf_Obj_newCopy(doc, &doc->ownCatalog, root, 0);
        if (err != Res_ok)
            return err;
        root = doc->ownCatalog;
    }
    doc->catalog = root;
    Pdf_Obj_pin(root);
    PdfObj *type = nullptr;
    const char *name = nullptr;
    err = Pdf_Obj_dictGet(doc, "Type", root, &type);
    if (err == Res_ok)
        err = Pdf_Obj_getName(doc, type, &name);
    if (err == Res_ok && strcmp(name, "Catalog") != 0)
        err = Res_pdfNotCatalog;
    return err;
}

// The section at offset, classic or stream, with its trailer (*trailer,
// the caller's). A classic section whose trailer names a cross-reference
// stream ("XRefStm", a hybrid file) has that stream's entries put before
// its own: the stream holds the objects that readers of classic tables do
// not see.
int readAnySection(PdfDoc *doc, uint64_t offset, PdfObj **trailer)
{
    *trailer = nullptr;
    PdfXrefSubsection **start = doc->xrefTail;
    int err = Pdf_Lex_seek(doc->lexer, offset);
    if (err != Res_ok)
        return err;
    if (Pdf_Lex_expect(doc->lexer, "xref") != Res_ok)
        return Pdf_XrefStm_read(doc, offset, trailer);
    err = Pdf_Xref_readSection(doc, offset);
    if (err == Res_ok)
        err = readTrailer(doc, trailer);
    PdfObj *stm = nullptr;
    if (err == Res_ok)
        err = Pdf_Obj_dictGet(doc, "XRefStm", *trailer, &stm);
    int32_t at = 0;
    if (err == Res_ok && stm && Pdf_Obj_getInt(doc, stm, &at) == Res_ok && at >= 0) {
        PdfXrefSubsection *classic = *start;
        PdfXrefSubsection **classicTail = doc->xrefTail;
        *start = nullptr;
        doc->xrefTail = start;
        PdfObj *stmTrailer = nullptr;
        // A hybrid stream that cannot be read leaves the classic entries.
        int stmErr = Pdf_XrefStm_read(doc, uint64_t(uint32_t(at)), &stmTrailer);
        Pdf_Obj_release(doc, stmTrailer);
        *doc->xrefTail = classic;
        if (classic)
            doc->xrefTail = classicTail;
        if (stmErr == Res_noMemory)
            err = stmErr;
    }
    if (err != Res_ok) {
        Pdf_Obj_release(doc, *trailer);
        *trailer = nullptr;
    }
    return err;
}

// The table as the file states it: the tail, the newest section and its
// trailer, and the sections its "Prev" chain names.
int readStatedTable(PdfDoc *doc)
{
    int err = readTail(doc, &doc->startXref);
    if (err == Res_ok)
        err = readAnySection(doc, doc->startXref, &doc->trailer);
    PdfObj *item = nullptr;
    if (err == Res_ok)
        err = Pdf_Obj_dictGet(doc, "Prev", doc->trailer, &item);
    if (err == Res_ok && item)
        err = Pdf_Xref_readPrevChain(doc, item);
    return err;
}

// Whether the trailer's "Root" (when it has one) leads to a dictionary: a
// table whose offsets are wrong otherwise yields no object, or some other
// one, as the root.
bool catalogPlaced(PdfDoc *doc)
{
    PdfObj *t = doc->trailer;
    PdfDict *d = !t ? nullptr : t->type == PdfObj_stream ? t->value.stream->dict : t->value.dict;
    bool named = false;
    for (uint32_t i = 0; d && i < d->count; i++)
        named = named || strcmp(PdfDict_entries(d)[i].key, "Root") == 0;
    if (!named)
        return true; // no Root at all: the file opens without a catalogue
    PdfObj *root = nullptr;
    if (Pdf_Obj_dictGet(doc, "Root", doc->trailer, &root) != Res_ok || !root)
        return false;
    return root->type == PdfObj_dict;
}

int openSteps(PdfDoc *doc)
{
    int err = readHeader(doc);
    if (err != Res_ok)
        return err;
    int stated = readStatedTable(doc);
    if (stated == Res_noMemory)
        return stated;
    if (stated == Res_ok && !catalogPlaced(doc))
        stated = Res_pdfXrefDamaged;
    if (stated != Res_ok) {
        err = Pdf_Xref_rebuild(doc);
        if (err != Res_ok)
            return err == Res_noMemory ? err : int(Res_pdfXrefDamaged);
    }
    PdfObj *item = nullptr;
    err = Pdf_Obj_dictGet(doc, "Encrypt", doc->trailer, &item);
    if (err == Res_ok && item)
        err = Pdf_Sec_open(doc, item);
    if (err == Res_ok)
        err = findCatalog(doc);
    return err;
}

} // namespace

int Pdf_openDocument(EngineContext *context, PdfDoc **out, VfsHandle *handle, Edr_Doc *edrDoc,
                     intptr_t callerWord)
{
    *out = nullptr;
    if (edrDoc) {
        Url *url = nullptr;
        if (Vfs_getUrl(handle, &url) == Res_ok && url) {
            int err = Edr_Doc_setUrl(edrDoc, url);
            if (err != Res_ok)
                return err;
        }
    }
    PdfDoc *doc = static_cast<PdfDoc *>(Mem_calloc(1, sizeof(PdfDoc)));
    if (!doc)
        return Res_noMemory;
    doc->xrefTail = &doc->xrefHead;
    doc->edrDoc = edrDoc;
    doc->callerWord = callerWord;
    doc->context = context;
    doc->imagesEnabled = Config_getIntA(context, context ? context->config : nullptr, u"Core",
                                        "EnableImages", 1) != 0;
    int err = Pdf_NameTable_create(&doc->names);
    if (err == Res_ok)
        err = VfsByteStream_create(handle, &doc->stream, 1, 0);
    if (err == Res_ok)
        err = Pdf_Lex_create(&doc->lexer, doc->stream);
    if (err == Res_ok)
        err = openSteps(doc);
    if (err != Res_ok) {
        Pdf_closeDocument(doc, edrDoc);
        return err;
    }
    doc->handle = handle;
    *out = doc;
    return Res_ok;
}

void Pdf_Doc_deferError(PdfDoc *doc, int code)
{
    if (doc->deferredError)
        return;
    Fmt_debugLevel(2, "Error deferred!\n");
    doc->deferredError = code;
}

const char *Pdf_Doc_warningText(uint32_t kind)
{
    switch (kind) {
    case PdfWarn_repaired: return "the cross-reference table was damaged and has been rebuilt";
    case PdfWarn_content: return "part of a page's content could not be read and is left out";
    case PdfWarn_annotation: return "an annotation that could not be read is left out";
    case PdfWarn_image: return "an image that could not be read is left out";
    case PdfWarn_imageFilter:
        return "an image in JPX or JBIG2 form cannot be shown; its box is left empty";
    case PdfWarn_font: return "a font that could not be read is left out";
    case PdfWarn_xobject: return "a form that could not be read is left out";
    default: return "";
    }
}

void Pdf_Doc_warn(PdfDoc *doc, uint32_t kind)
{
    if (!doc || (doc->warned & kind))
        return;
    doc->warned |= kind;
    Fmt_debugLevel(1, "PDF warning: %s\n", Pdf_Doc_warningText(kind));
}

const char *Pdf_errorText(int code)
{
    switch (code) {
    case Res_pdfNoHeader: return "not a PDF file";
    case Res_pdfNoTail:
    case Res_pdfXrefDamaged:
    case Res_pdfBadXrefType:
    case Res_pdfXrefPending: return "cross-reference damaged and not recoverable";
    case Res_pdfEncryption: return "encrypted with an unsupported handler";
    case Res_pdfCancelled: return "the password was not given";
    case Res_pdfNotCatalog:
    case Res_pdfNoPages:
    case Res_pdfPagesType:
    case Res_pdfPageNode: return "the document catalogue or page tree is damaged";
    default: break;
    }
    if (code >= Res_pdfNoHeader && code <= 5999)
        return "the PDF file is damaged";
    return nullptr;
}

void Pdf_Doc_flushCache(PdfDoc *doc, Edr_Doc *, int force)
{
    // The image cache and the drawing-list table are emptied at every
    // flush.
    Pdf_ImageCache_free(doc);
    Pdf_DrawListTable_clear(doc);
    Pdf_Obj_release(doc, doc->trailer);
    doc->trailer = nullptr;
    while (doc->freeCount)
        Mem_free(doc->freeList[--doc->freeCount]);
    if (!force && doc->cachedCount < PdfDoc_flushThreshold)
        return;
    Pdf_ObjStm_freeCache(doc);
    for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next) {
        for (uint32_t i = 0; i < s->count; i++) {
            PdfXrefEntry *e = &s->entries[i];
            if (!e->cached || (e->flags & PdfXref_pinned))
                continue;
            Pdf_Obj_release(doc, e->cached);
            e->cached = nullptr;
            if (doc->cachedCount)
                doc->cachedCount--;
        }
    }
}

void Pdf_closeDocument(PdfDoc *doc, Edr_Doc *edrDoc)
{
    if (!doc)
        return;
    Pdf_Doc_flushCache(doc, edrDoc, 0);
    Pdf_Sec_free(doc);
    Pdf_ObjStm_freeCache(doc);
    Pdf_Scan_free(doc->scan);
    doc->scan = nullptr;
    Pdf_Xref_free(doc->xrefHead);
    doc->xrefHead = nullptr;
    Pdf_Obj_releaseDeep(nullptr, doc->ownCatalog);
    Pdf_PageIndex_free(doc);
    Mem_free(doc->sizeStyles);
    Mem_free(doc->borderStyles);
    if (doc->sizeRequest)
        Request_release(doc->sizeRequest);
    while (doc->freeCount)
        Mem_free(doc->freeList[--doc->freeCount]);
    ByteStream_close(doc->stream);
    Pdf_Lex_destroy(doc->lexer);
    if (doc->handle)
        (void)Vfs_close(doc->handle); // a close failure leaves nothing to undo here
    Pdf_NameTable_destroy(doc->names);
    Mem_free(doc);
}

// ---------------------------------------------------- cross-reference table

PdfXrefEntry *Pdf_Xref_find(PdfDoc *doc, uint32_t number, int32_t gen)
{
    for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next) {
        if (number < s->first || number - s->first >= s->count)
            continue;
        PdfXrefEntry *e = &s->entries[number - s->first];
        // A free entry of a newer section deletes the object for good.
        if (!(e->flags & PdfXref_inUse) || gen < 0 ||
            e->generation == std::min<uint32_t>(uint32_t(gen), 0xFFFF))
            return e;
    }
    return nullptr;
}

namespace {

// One unsigned integer through the lexer: *ended when the data ended.
int readUnsigned(PdfDoc *doc, uint64_t *out, int *ended)
{
    PdfObj obj{PdfObj_null, {}, nullptr};
    int produced = 0;
    int err = Pdf_Lex_next(doc, doc->lexer, &obj, &produced);
    if (err != Res_ok)
        return err;
    if (!produced) {
        *ended = 1;
        return Res_ok;
    }
    int64_t v = doc->lexer->lastInt;
    if (obj.type != PdfObj_int || v < 0 || v == INT64_MAX) {
        Pdf_Obj_freeContents(&obj, 0);
        return Res_pdfSyntax;
    }
    *out = uint64_t(v);
    return Res_ok;
}

// Two unsigned integers; 5971 at once when the next thing is not a
// number (the "trailer" keyword ends a section that way), *ended at the
// end of the data.
int readPairEx(PdfDoc *doc, uint64_t *a, uint64_t *b, int *ended)
{
    *a = *b = 0;
    *ended = 0;
    PdfLexer *lx = doc->lexer;
    if (Pdf_Lex_isIdle(lx)) {
        int c = Pdf_Lex_getc(lx);
        while (isWhite(c))
            c = Pdf_Lex_getc(lx);
        if (c < 0) {
            *ended = 1;
            return lx->source->status;
        }
        if (!isDigit(c)) {
            Pdf_Lex_unget(lx, c); // read again by whoever comes next
            return Res_pdfSyntax;
        }
        Pdf_Lex_unget(lx, c);
    }
    int err = readUnsigned(doc, a, ended);
    if (err == Res_ok && !*ended)
        err = readUnsigned(doc, b, ended);
    return err;
}

void appendSubsection(PdfDoc *doc, PdfXrefSubsection *s)
{
    s->next = nullptr;
    *doc->xrefTail = s;
    doc->xrefTail = &s->next;
}

void freeSubsection(PdfXrefSubsection *s)
{
    for (uint32_t i = 0; s && s->entries && i < s->count; i++)
        Pdf_Obj_release(nullptr, s->entries[i].cached);
    if (s)
        Mem_free(s->entries);
    Mem_free(s);
}

// Reads the entries of a subsection; *count drops to what was read when
// the data end cleanly.
int readEntries(PdfDoc *doc, PdfXrefSubsection *s)
{
    PdfLexer *lx = doc->lexer;
    for (uint32_t i = 0; i < s->count; i++) {
        uint64_t offset = 0, generation = 0;
        int ended = 0;
        int err = readPairEx(doc, &offset, &generation, &ended);
        int c = 0;
        if (err == Res_ok && !ended) {
            if (!Pdf_Lex_isIdle(lx))
                return Res_pdfXrefPending;
            do
                c = Pdf_Lex_getc(lx);
            while (c >= 0 && c < 127 && isWhite(c));
            if (c < 0)
                ended = 1;
        }
        if (err == Res_ok && ended) {
            err = lx->source->status;
            s->count = i;
            return err;
        }
        if (err != Res_ok)
            return err;
        if (c != 'n' && c != 'f')
            return Res_pdfBadXrefType;
        // Generations past 65535 (written by some producers for the head
        // of the free list) are held as 65535.
        PdfXrefEntry *e = &s->entries[i];
        e->flags = c == 'n' ? PdfXref_inUse : 0;
        e->generation = uint16_t(std::min<uint64_t>(generation, 0xFFFF));
        e->number = s->first + i;
        e->offset = offset;
        e->cached = nullptr;
    }
    return Res_ok;
}

} // namespace

int Pdf_Xref_readSubsection(PdfDoc *doc, int first, int *more)
{
    *more = 0;
    uint64_t start = 0, count = 0;
    int ended = 0;
    if (readPairEx(doc, &start, &count, &ended) != Res_ok || ended)
        return Res_ok; // "trailer" (or the end) is next: the section is complete
    if (count == 0) {
        *more = !first;
        return Res_ok;
    }
    if (start > UINT32_MAX)
        return Res_pdfSyntax;
    count = std::min<uint64_t>(count, uint64_t(UINT32_MAX) - start + 1);
    // Each entry takes at least six bytes ("0 0 n "): a count beyond what
    // the rest of the file can hold is cut down to it.
    uint64_t length = ByteStream_getLength(doc->stream);
    uint64_t here = doc->lexer->position;
    if (length)
        count = std::min<uint64_t>(count, (length > here ? length - here : 0) / 6 + 1);
    PdfXrefSubsection *s =
        static_cast<PdfXrefSubsection *>(Mem_calloc(1, sizeof(PdfXrefSubsection)));
    if (!s)
        return Res_noMemory;
    s->first = uint32_t(start);
    s->count = uint32_t(count);
    s->entries = static_cast<PdfXrefEntry *>(Mem_calloc(size_t(count), sizeof(PdfXrefEntry)));
    int err = s->entries ? readEntries(doc, s) : int(Res_noMemory);
    if (err != Res_ok) {
        freeSubsection(s);
        return err;
    }
    appendSubsection(doc, s);
    *more = 1;
    return Res_ok;
}

int Pdf_Xref_readSection(PdfDoc *doc, uint64_t offset)
{
    int err = Pdf_Lex_seek(doc->lexer, offset);
    if (err != Res_ok)
        return err;
    if (Pdf_Lex_expect(doc->lexer, "xref") != Res_ok)
        return Res_pdfSyntax;
    int more = 1;
    for (int first = 1; more; first = 0) {
        err = Pdf_Xref_readSubsection(doc, first, &more);
        if (err != Res_ok)
            return err;
    }
    return Res_ok;
}

int Pdf_Xref_readPrevChain(PdfDoc *doc, PdfObj *prev)
{
    int32_t value = 0;
    int err = Pdf_Obj_getInt(doc, prev, &value);
    if (err != Res_ok)
        return err;
    uint64_t *seen = nullptr;
    size_t seenCount = 0, seenCapacity = 0;
    uint64_t at = doc->startXref;
    for (bool more = true; more;) {
        if (seenCount == seenCapacity) {
            size_t capacity = seenCapacity ? seenCapacity * 2 : 8;
            uint64_t *grown =
                static_cast<uint64_t *>(Mem_realloc(seen, capacity * sizeof(uint64_t)));
            if (!grown) {
                err = Res_noMemory;
                break;
            }
            seen = grown;
            seenCapacity = capacity;
        }
        seen[seenCount++] = at;
        uint64_t next = uint32_t(value); // offsets are read unsigned
        if (std::find(seen, seen + seenCount, next) != seen + seenCount)
            break; // a section read already: the chain ends here
        PdfObj *trailer = nullptr, *p = nullptr;
        err = readAnySection(doc, next, &trailer);
        if (err == Res_ok)
            err = Pdf_Obj_dictGet(doc, "Prev", trailer, &p);
        more = err == Res_ok && p;
        if (more)
            err = Pdf_Obj_getInt(doc, p, &value);
        Pdf_Obj_release(doc, trailer);
        if (err != Res_ok)
            break;
        at = next;
    }
    Mem_free(seen);
    return err;
}

void Pdf_Xref_free(PdfXrefSubsection *head)
{
    while (head) {
        PdfXrefSubsection *next = head->next;
        freeSubsection(head);
        head = next;
    }
}

// ------------------------------------------------------------ translation

namespace {

// The result of a translation once its deferred error is taken: what was
// left out has been reported as a warning and does not fail the document;
// only running out of memory does.
int takeDeferred(PdfDoc *doc, int err)
{
    int deferred = doc->deferredError;
    doc->deferredError = 0;
    if (err != Res_ok || !deferred)
        return err;
    if (deferred == Res_noMemory)
        return deferred;
    if (!(doc->warned & ~uint32_t(PdfWarn_repaired)))
        Pdf_Doc_warn(doc, PdfWarn_content);
    return Res_ok;
}

} // namespace

int Pdf_translateDocument(PdfDoc *doc)
{
    Edr_Doc *ed = doc->edrDoc;
    LoadProgress *tracker = Edr_Doc_getLoadStats(ed);
    StrTable *strings = StrTable_create(nullptr);
    if (!strings)
        return Res_noMemory;
    int err = Edr_Doc_setStringTable(ed, strings);
    if (err != Res_ok) {
        StrTable_destroy(strings);
        return err;
    }
    PdfObj *pages = nullptr, *countObj = nullptr;
    int32_t count = 0;
    err = Pdf_Obj_dictGet(doc, "Pages", doc->catalog, &pages);
    if (err == Res_ok)
        err = Pdf_Obj_dictGet(doc, "Count", pages, &countObj);
    if (err == Res_ok)
        err = Pdf_Obj_getInt(doc, countObj, &count);
    if (err != Res_ok)
        return err;
    if (count <= 0)
        return Res_pdfNoPages;
    // A page needs an object of its own: a count beyond the objects the
    // table holds is cut down to them, so a lying count cannot keep the
    // loop making placeholders.
    uint64_t objects = 0;
    for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next)
        objects += s->count;
    uint32_t total = uint32_t(std::min<uint64_t>(uint64_t(count), objects));
    // Progress counts only feed the progress notice: a notice that could not
    // be posted, or the download limit, does not stop the conversion.
    (void)LoadProgress_addDone(tracker, 2, 1);
    // Progress counts only feed the progress notice; the load goes on either way.
    (void)LoadProgress_addTotal(tracker, 1, int32_t(total));
    int onDemand = Edr_Doc_isPageOnDemand(ed);
    uint32_t page = 1;
    while (page <= total) {
        doc->currentPage = page;
        if (onDemand && page > 1) {
            err = Pdf_Page_addPlaceholder(doc, page);
        } else {
            err = Pdf_Page_load(doc, page);
            Pdf_Lex_shrinkBuffer(doc->lexer);
        }
        (void)LoadProgress_addDone(tracker, 1, 1); // progress only, as above
        page++;
        if (err != Res_ok || Edr_Doc_getStopFlag(ed))
            break;
    }
    Fmt_debugLevel(2, "PDF Conversion complete\n");
    err = takeDeferred(doc, err);
    if (page <= total)
        (void)LoadProgress_addDone(tracker, 1, int32_t(total - page + 1)); // progress only
    return err;
}

int Pdf_pageTranslate(PdfDoc *doc, uint32_t page)
{
    doc->currentPage = page;
    int err = Pdf_Page_load(doc, page);
    Pdf_Lex_shrinkBuffer(doc->lexer);
    Fmt_debugLevel(2, "PDF Conversion complete\n");
    err = takeDeferred(doc, err);
    Pdf_Doc_flushCache(doc, doc->edrDoc, err == Res_noMemory);
    return err;
}
