// PDF stream data: filter chains, whole-stream reads and memory streams.
#include "pdf/resources/pdfstream.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "pdf/document.h"
#include "pdf/filter.h"
#include "pdf/interp.h"
#include "pdf/lexer.h"
#include "pdf/security.h"

namespace {

// The bytes in the stream's window, refilling it only when it is empty
// (a refill drops what the window still holds).
inline int64_t buffered(ByteStream *s)
{
    if (s->readPtr < s->end)
        return s->end - s->readPtr;
    return ByteStream_available(s, 0);
}

struct CodecName {
    const char *name;
    const char *abbreviation;
    int lastOnly;
};

constexpr CodecName codecFilters[] = {
    {"DCTDecode", "DCT", 0},     {"CCITTFaxDecode", "CCF", 0}, {"RunLengthDecode", "RL", 0},
    {"JBIG2Decode", nullptr, 0}, {"JPXDecode", nullptr, 0},    {"LZWDecode", "LZW", 1},
    {"FlateDecode", "Fl", 1},
};

// "Filter" or "F", then "DecodeParms" or "DP" of a stream.
int getEither(PdfDoc *doc, PdfObj *stream, const char *a, const char *b, PdfObj **out)
{
    int err = Pdf_Obj_dictGet(doc, a, stream, out);
    if (err == Res_ok && !*out)
        err = Pdf_Obj_dictGet(doc, b, stream, out);
    return err;
}

int chainPush(PdfStreamChain *chain, ByteStream *stage)
{
    chain->stages[chain->count++] = stage;
    return Res_ok;
}

// The name and parameters of filter i of n (filters: a Name or an Array;
// parms: null, a dictionary for a single filter, an array for several).
int filterAt(PdfDoc *doc, PdfObj *filters, PdfObj *parms, uint32_t i, uint32_t n, const char **name,
             PdfObj **parm)
{
    *name = nullptr;
    *parm = nullptr;
    PdfObj *f = filters;
    int err = Res_ok;
    if (filters->type == PdfObj_array)
        err = Pdf_Obj_arrayGet(doc, i, filters, &f);
    if (err == Res_ok)
        err = Pdf_Obj_getName(doc, f, name);
    if (err != Res_ok || !parms)
        return err;
    if (filters->type == PdfObj_array) {
        if (parms->type != PdfObj_array)
            return n == 1 && parms->type == PdfObj_dict ? (*parm = parms, Res_ok) : Res_pdfSyntax;
        err = Pdf_Obj_arrayGet(doc, i, parms, parm);
    } else {
        *parm = parms;
    }
    if (err == Res_ok && *parm && (*parm)->type != PdfObj_dict)
        *parm = nullptr; // null entries and other values mean no parameters
    return err;
}

// ------------------------------------------------------------ memory stream

struct MemStream {
    ByteStream base;
    const uint8_t *block;
    size_t size;
};

int memRefill(ByteStream *)
{
    return ByteStream_end;
}

int memSeek(ByteStream *s, uint64_t position)
{
    MemStream *m = reinterpret_cast<MemStream *>(s);
    if (position > m->size)
        return Res_memStreamSeek;
    m->base.readPtr = m->block + position;
    return Res_ok;
}

int memClose(ByteStream *s)
{
    Mem_free(s);
    return Res_ok;
}

int memControl(ByteStream *, uint32_t op, void *arg)
{
    if (op == ByteStream_opIsMemory && arg) {
        *static_cast<uint32_t *>(arg) = 1;
        return Res_ok;
    }
    return Res_memStreamControl;
}

} // namespace

int Pdf_Stream_codecForFilter(const char *name, int isLast)
{
    for (const CodecName &c : codecFilters)
        if (!strcmp(name, c.name) || (c.abbreviation && !strcmp(name, c.abbreviation)))
            return !c.lastOnly || isLast ? 1 : 0;
    return 0;
}

int Pdf_Stream_openChain(PdfDoc *doc, PdfLexer *lexer, PdfObj *stream, const char *endMarker,
                         uint64_t length, PdfChainInfo *info, PdfStreamChain **chainOut,
                         const char **codecFilter, PdfObj **codecParms)
{
    *chainOut = nullptr;
    *info = PdfChainInfo{nullptr, -1, -1};
    if (codecFilter)
        *codecFilter = nullptr;
    if (codecParms)
        *codecParms = nullptr;
    if (!stream)
        return Res_pdfNoStream;
    int err = Pdf_Obj_resolve(doc, &stream);
    if (err != Res_ok)
        return err;
    if (!stream || stream->type != PdfObj_stream)
        return Res_pdfNoStream;
    int32_t number = -1, generation = -1;
    err = Pdf_Obj_getRefId(doc, stream, &number, &generation);
    if (err != Res_ok)
        return err;
    bool decrypt = doc && doc->security && !endMarker && number >= 0;

    PdfObj *filters = nullptr, *parms = nullptr;
    err = getEither(doc, stream, "Filter", "F", &filters);
    if (err == Res_ok)
        err = getEither(doc, stream, "DecodeParms", "DP", &parms);
    if (err != Res_ok)
        return err;
    uint32_t n = 0;
    if (filters && filters->type == PdfObj_name)
        n = 1;
    else if (filters && filters->type == PdfObj_array)
        n = filters->value.arr ? filters->value.arr->count : 0;
    else if (filters)
        return Res_pdfNoStream;
    // A stream names few filters; a long list is hostile.
    if (n > 64)
        return Res_pdfSyntax;

    uint32_t capacity = n + 2;
    PdfStreamChain *chain = static_cast<PdfStreamChain *>(
        Mem_calloc(1, sizeof(PdfStreamChain) + sizeof(ByteStream *) * capacity));
    if (!chain)
        return Res_noMemory;
    chain->capacity = capacity;
    ByteStream *stage = nullptr;
    err = endMarker ? Pdf_Src_inlineNew(&stage, lexer, endMarker)
                    : Pdf_Src_rawNew(&stage, lexer, length);
    if (err == Res_ok)
        err = chainPush(chain, stage);
    if (err == Res_ok && decrypt) {
        err = Pdf_Sec_streamNew(&stage, chain->stages[chain->count - 1], doc, uint32_t(number),
                                uint32_t(generation));
        if (err == Res_ok)
            err = chainPush(chain, stage);
    }
    for (uint32_t i = 0; err == Res_ok && i < n; i++) {
        const char *name = nullptr;
        PdfObj *parm = nullptr;
        err = filterAt(doc, filters, parms, i, n, &name, &parm);
        if (err != Res_ok)
            break;
        if (codecFilter && Pdf_Stream_codecForFilter(name, i + 1 == n)) {
            *codecFilter = name;
            if (codecParms)
                *codecParms = parm;
            break;
        }
        err = Pdf_Filter_lookup(&stage, chain->stages[chain->count - 1], name, doc, parm);
        if (err == Res_ok)
            err = chainPush(chain, stage);
    }
    if (err != Res_ok) {
        Pdf_Stream_closeChain(chain);
        if (codecFilter)
            *codecFilter = nullptr;
        if (codecParms)
            *codecParms = nullptr;
        return err;
    }
    info->top = chain->stages[chain->count - 1];
    info->number = number;
    info->generation = generation;
    *chainOut = chain;
    return Res_ok;
}

void Pdf_Stream_closeChain(PdfStreamChain *chain)
{
    if (!chain)
        return;
    for (uint32_t i = chain->count; i-- > 0;)
        // The stream was only read from: a failed close loses nothing.
        (void)ByteStream_close(chain->stages[i]);
    Mem_free(chain);
}

int Pdf_Stream_readAll(PdfDoc *doc, ByteStream *top, uint8_t **blockOut, size_t *sizeOut)
{
    *blockOut = nullptr;
    *sizeOut = 0;
    size_t capacity = 4096, used = 0;
    uint8_t *block = static_cast<uint8_t *>(Mem_malloc(capacity));
    if (!block)
        return Res_noMemory;
    for (;;) {
        if (doc && doc->context)
            Task_yield(doc->context);
        int64_t have = buffered(top);
        if (have <= 0)
            break;
        while (have > 0) {
            size_t k = std::min(size_t(have), capacity - used);
            memcpy(block + used, top->readPtr, k);
            top->readPtr += k;
            used += k;
            have -= int64_t(k);
            if (capacity - used < 4096) {
                size_t grown = capacity * 2;
                uint8_t *b =
                    grown > capacity ? static_cast<uint8_t *>(Mem_realloc(block, grown)) : nullptr;
                if (!b) {
                    grown = used + 4096;
                    b = static_cast<uint8_t *>(Mem_realloc(block, grown));
                }
                if (!b) {
                    Mem_free(block);
                    return Res_noMemory;
                }
                block = b;
                capacity = grown;
            }
        }
    }
    int status = ByteStream_takeStatus(top);
    if (status != Res_ok || !used) {
        Mem_free(block);
        return status;
    }
    uint8_t *exact = static_cast<uint8_t *>(Mem_realloc(block, used));
    *blockOut = exact ? exact : block;
    *sizeOut = used;
    return Res_ok;
}

int Pdf_Stream_readToMemory(PdfDoc *doc, PdfObj *stream, uint8_t **block, size_t *size)
{
    *block = nullptr;
    *size = 0;
    if (!doc || !stream)
        return Res_pdfNoStream;
    int err = Pdf_Obj_resolve(doc, &stream);
    if (err != Res_ok)
        return err;
    if (!stream || stream->type != PdfObj_stream)
        return Res_pdfNoStream;
    // Everything the chain needs from the dictionary is read before the
    // lexer moves to the data.
    PdfObj *lengthObj = nullptr;
    int32_t length = 0;
    err = Pdf_Obj_dictGet(doc, "Length", stream, &lengthObj);
    if (err == Res_ok)
        err = Pdf_Obj_getInt(doc, lengthObj, &length);
    if (err != Res_ok)
        return err;
    if (length < 0)
        return Res_pdfSyntax;
    PdfLexer *lexer = doc->lexer;
    uint64_t saved = Pdf_Lex_tell(lexer);
    err = Pdf_Lex_seek(lexer, stream->value.stream->offset);
    PdfStreamChain *chain = nullptr;
    PdfChainInfo info;
    if (err == Res_ok)
        err = Pdf_Stream_openChain(doc, lexer, stream, nullptr, uint64_t(length), &info, &chain,
                                   nullptr, nullptr);
    if (err == Res_ok)
        err = Pdf_Stream_readAll(doc, info.top, block, size);
    Pdf_Stream_closeChain(chain);
    int restore = Pdf_Lex_seek(lexer, saved);
    if (err == Res_ok && restore != Res_ok) {
        Mem_free(*block);
        *block = nullptr;
        *size = 0;
        err = restore;
    }
    return err;
}

int Pdf_Stream_readAsString(PdfDoc *doc, PdfObj *stream, PdfString **out)
{
    *out = nullptr;
    uint8_t *block = nullptr;
    size_t size = 0;
    int err = Pdf_Stream_readToMemory(doc, stream, &block, &size);
    if (err != Res_ok)
        return err;
    if (size > UINT32_MAX - sizeof(PdfString) - 1) {
        Mem_free(block);
        return Res_noMemory;
    }
    PdfString *s = static_cast<PdfString *>(Mem_malloc(sizeof(PdfString) + size + 1));
    if (!s) {
        Mem_free(block);
        return Res_noMemory;
    }
    s->length = uint32_t(size);
    if (size)
        memcpy(PdfString_bytes(s), block, size);
    PdfString_bytes(s)[size] = 0;
    Mem_free(block);
    *out = s;
    return Res_ok;
}

int Pdf_Stream_openMemory(const uint8_t *block, size_t size, ByteStream **out)
{
    *out = nullptr;
    MemStream *m = static_cast<MemStream *>(Mem_calloc(1, sizeof(MemStream)));
    if (!m)
        return Res_noMemory;
    m->block = block;
    m->size = size;
    m->base.getByte = memRefill;
    m->base.seek = memSeek;
    m->base.length = size;
    m->base.close = memClose;
    m->base.control = memControl;
    m->base.readPtr = block;
    m->base.end = block + size;
    *out = &m->base;
    return Res_ok;
}

int Pdf_Content_run(PdfDoc *doc, PdfObj *contents, PdfInterp *interp, const float *matrix,
                    const float *bbox, PdfObj *resources)
{
    if (!contents)
        return Res_ok;
    int err = Pdf_Obj_resolve(doc, &contents);
    if (err != Res_ok)
        return err;
    if (!contents || contents->type == PdfObj_null)
        return Res_ok;
    uint32_t count;
    if (contents->type == PdfObj_stream)
        count = 1;
    else if (contents->type == PdfObj_array)
        count = contents->value.arr ? contents->value.arr->count : 0;
    else
        return Res_pdfNoStream;
    if (!count)
        return Res_ok;
    PdfContentsPart *parts =
        static_cast<PdfContentsPart *>(Mem_calloc(count, sizeof(PdfContentsPart)));
    PdfStreamChain **chains =
        static_cast<PdfStreamChain **>(Mem_calloc(count, sizeof(PdfStreamChain *)));
    if (!parts || !chains) {
        Mem_free(parts);
        Mem_free(chains);
        return Res_noMemory;
    }
    PdfLexer *lexer = doc->lexer;
    uint64_t saved = Pdf_Lex_tell(lexer);
    for (uint32_t i = 0; err == Res_ok && i < count; i++) {
        PdfObj *part = contents;
        if (contents->type == PdfObj_array)
            err = Pdf_Obj_arrayGet(doc, i, contents, &part);
        if (err != Res_ok)
            break;
        if (!part || part->type != PdfObj_stream) {
            err = Res_pdfNoStream;
            break;
        }
        PdfObj *lengthObj = nullptr;
        int32_t length = 0;
        err = Pdf_Obj_dictGet(doc, "Length", part, &lengthObj);
        if (err == Res_ok)
            err = Pdf_Obj_getInt(doc, lengthObj, &length);
        if (err == Res_ok && length < 0)
            err = Res_pdfSyntax;
        PdfChainInfo info;
        if (err == Res_ok)
            err = Pdf_Stream_openChain(doc, lexer, part, nullptr, uint64_t(length), &info,
                                       &chains[i], nullptr, nullptr);
        if (err == Res_ok) {
            parts[i].stream = info.top;
            parts[i].offset = part->value.stream->offset;
        }
    }
    ByteStream *joined = nullptr;
    PdfLexer *content = nullptr;
    if (err == Res_ok)
        err = Pdf_Src_contentsNew(&joined, lexer, parts, count);
    if (err == Res_ok)
        err = Pdf_Lex_create(&content, joined);
    if (err == Res_ok)
        err = Pdf_Interp_runContent(doc, interp, content, matrix, bbox, resources);
    Pdf_Lex_destroy(content);
    // The stream was only read from: a failed close loses nothing.
    (void)ByteStream_close(joined);
    for (uint32_t i = 0; i < count; i++)
        Pdf_Stream_closeChain(chains[i]);
    Mem_free(chains);
    Mem_free(parts);
    int restore = Pdf_Lex_seek(lexer, saved);
    return err != Res_ok ? err : restore;
}
