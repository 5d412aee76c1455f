// PDF stream filters, predictors and source streams.
#include "pdf/filter.h"
#include "core/text/number.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/stream/bytestream.h"
#include "core/result.h"
#include "graphics/codecs/decodestream.h"
#include "graphics/codecs/lzw.h"
#include "pdf/lexer.h"
#include "pdf/obj.h"

namespace {

inline bool isWhite(int c)
{
    return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}

// ------------------------------------------------------------ ASCIIHexDecode

int hexRefill(ByteStream *s)
{
    PdfFilterStream *f = reinterpret_cast<PdfFilterStream *>(s);
    size_t n = 0;
    int high = -1;
    while (!f->ended && n < sizeof f->buffer) {
        int c = PdfFilter_nextByte(f);
        if (c < 0) {
            f->ended = 1;
            break;
        }
        if (isWhite(c))
            continue;
        int v = Hex_digitValue(c);
        if (v < 0) {
            f->ended = 1;
            break;
        }
        if (high < 0) {
            high = v;
        } else {
            f->buffer[n++] = uint8_t(high << 4 | v);
            high = -1;
        }
    }
    if (high >= 0)
        f->buffer[n++] = uint8_t(high << 4);
    if (!n)
        f->ended = 1;
    return PdfFilter_deliver(f, n);
}

// ------------------------------------------------------------- ASCII85Decode

struct A85Stream {
    PdfFilterStream head;
    uint8_t held[4]; // bytes of a group that did not fit the last block
    uint32_t heldCount;
};

int a85Refill(ByteStream *s)
{
    A85Stream *a = reinterpret_cast<A85Stream *>(s);
    PdfFilterStream *f = &a->head;
    size_t n = 0;
    for (uint32_t i = 0; i < a->heldCount; i++)
        f->buffer[n++] = a->held[i];
    a->heldCount = 0;
    while (!f->ended && n < sizeof f->buffer) {
        uint32_t digits[5];
        int count = 0;
        int stop = 0;
        while (count < 5) {
            int c = PdfFilter_nextByte(f);
            if (c < 0 || c == '~') {
                stop = 1;
                break;
            }
            if (isWhite(c))
                continue;
            if (c == 'z' && count == 0) {
                digits[0] = digits[1] = digits[2] = digits[3] = digits[4] = 0;
                count = -1;
                break;
            }
            if (c < '!' || c > 'u') {
                f->base.status = Res_pdfBadAscii85;
                stop = 1;
                count = 0; // a bad group gives nothing
                break;
            }
            digits[count++] = uint32_t(c - '!');
        }
        int bytes = count < 0 ? 4 : count == 5 ? 4 : count >= 2 ? count - 1 : 0;
        if (count > 0 && count < 5)
            for (int i = count; i < 5; i++)
                digits[i] = 84;
        if (bytes) {
            uint64_t v = 0;
            for (int i = 0; i < 5; i++)
                v = v * 85 + digits[i];
            uint8_t group[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
            for (int i = 0; i < bytes; i++) {
                if (n < sizeof f->buffer)
                    f->buffer[n++] = group[i];
                else
                    a->held[a->heldCount++] = group[i];
            }
        }
        if (stop)
            f->ended = 1;
    }
    return PdfFilter_deliver(f, n);
}

// ---------------------------------------------------------------- predictor

struct PredStream {
    PdfFilterStream head; // source: the inner stream, owned
    PdfPredictParams params;
    size_t rowBytes; // packed bytes of one row (without the tag byte)
    size_t distance; // bytes of one pixel (at least 1)
    uint8_t *row;    // the current row (with room for the tag byte in front)
    uint8_t *prev;   // the row above
    size_t rowUsed;  // bytes of the current row still to deliver
    size_t rowPos;
};

int predClose(ByteStream *s)
{
    PredStream *p = reinterpret_cast<PredStream *>(s);
    int r = ByteStream_close(p->head.source);
    Mem_free(p->row);
    Mem_free(p->prev);
    Mem_free(p);
    return r;
}

// Reads one coded row (and its tag byte for PNG) and decodes it into
// p->row + 1. 1 when a row came (a partial last row is delivered as it
// stands, decoded as far as it goes), 0 at the end.
int predNextRow(PredStream *p)
{
    PdfFilterStream *f = &p->head;
    int tag = 0;
    size_t want = p->rowBytes;
    if (p->params.predictor >= 10) {
        tag = PdfFilter_nextByte(f);
        if (tag < 0)
            return 0;
    }
    uint8_t *row = p->row + 1;
    size_t got = 0;
    while (got < want) {
        int64_t have = PdfFilter_buffered(f->source);
        if (have <= 0) {
            int st = ByteStream_takeStatus(f->source);
            if (st && !f->base.status)
                f->base.status = st;
            break;
        }
        size_t k = std::min<size_t>(size_t(have), want - got);
        memcpy(row + got, f->source->readPtr, k);
        f->source->readPtr += k;
        got += k;
    }
    if (!got)
        return 0;
    if (got < want)
        memset(row + got, 0, want - got);
    if (p->params.predictor >= 10) {
        switch (tag) {
        case 0: break;
        case 1: Pdf_Pred_pngSub(row, p->prev, want, p->distance); break;
        case 2: Pdf_Pred_pngUp(row, p->prev, want, p->distance); break;
        case 3: Pdf_Pred_pngAverage(row, p->prev, want, p->distance); break;
        case 4: Pdf_Pred_pngPaeth(row, p->prev, want, p->distance); break;
        default:
            if (!f->base.status)
                f->base.status = Res_pdfSyntax;
            return 0;
        }
        memcpy(p->prev, row, want);
    } else {
        Pdf_Pred_tiffUndo(row, size_t(p->params.columns) * size_t(p->params.colors),
                          uint32_t(p->params.bitsPerComponent), size_t(p->params.colors));
    }
    p->rowPos = 0;
    p->rowUsed = got;
    return 1;
}

int predRefill(ByteStream *s)
{
    PredStream *p = reinterpret_cast<PredStream *>(s);
    PdfFilterStream *f = &p->head;
    size_t n = 0;
    while (!f->ended && n < sizeof f->buffer) {
        if (p->rowPos == p->rowUsed) {
            if (!predNextRow(p)) {
                f->ended = 1;
                break;
            }
        }
        size_t k = std::min(p->rowUsed - p->rowPos, sizeof f->buffer - n);
        memcpy(f->buffer + n, p->row + 1 + p->rowPos, k);
        p->rowPos += k;
        n += k;
    }
    return PdfFilter_deliver(f, n);
}

// ------------------------------------------------------------- raw source

struct RawSource {
    PdfFilterStream head; // source: the lexer's stream (for control)
    PdfLexer *lexer;
    uint64_t left;
};

int rawRefill(ByteStream *s)
{
    RawSource *r = reinterpret_cast<RawSource *>(s);
    PdfFilterStream *f = &r->head;
    if (f->ended || !r->left)
        return PdfFilter_deliver(f, 0);
    size_t want = size_t(std::min<uint64_t>(r->left, sizeof f->buffer));
    size_t count = want;
    int err = Pdf_Lex_readRaw(r->lexer, &count, f->buffer);
    size_t got = want - count;
    r->left -= got;
    if (err != Res_ok) {
        // A Length past the end of the file reads to the end; a read error
        // is the stream's error.
        r->left = 0;
        if (err != Res_byteStreamEnded)
            f->base.status = err;
    }
    return PdfFilter_deliver(f, got);
}

// ----------------------------------------------------------- inline source

struct InlineSource {
    PdfFilterStream head;
    PdfLexer *lexer;
    const char *pattern;
    size_t patternLength;
    int lastWhite; // the last byte delivered was white space
};

int inlineByte(InlineSource *in)
{
    uint8_t b;
    size_t count = 1;
    int err = Pdf_Lex_readRaw(in->lexer, &count, &b);
    if (err != Res_ok) {
        if (err != Res_byteStreamEnded && !in->head.base.status)
            in->head.base.status = err;
        return -1;
    }
    return b;
}

int inlineRefill(ByteStream *s)
{
    InlineSource *in = reinterpret_cast<InlineSource *>(s);
    PdfFilterStream *f = &in->head;
    size_t n = 0;
    // Room for a held-back pattern and the byte after it.
    while (!f->ended && n + in->patternLength + 1 < sizeof f->buffer) {
        int c = inlineByte(in);
        if (c < 0) {
            f->ended = 1;
            break;
        }
        if (in->lastWhite && c == uint8_t(in->pattern[0])) {
            uint8_t held[16];
            size_t h = 0;
            held[h++] = uint8_t(c);
            bool match = true;
            int after = -2;
            while (h < in->patternLength) {
                int d = inlineByte(in);
                if (d < 0) {
                    match = false;
                    break;
                }
                held[h++] = uint8_t(d);
                if (d != uint8_t(in->pattern[h - 1])) {
                    match = false;
                    break;
                }
            }
            if (match) {
                after = inlineByte(in);
                if (after < 0 || isWhite(after)) {
                    if (after >= 0)
                        Pdf_Lex_unget(in->lexer, after);
                    f->ended = 1;
                    break;
                }
                held[h++] = uint8_t(after);
            }
            memcpy(f->buffer + n, held, h);
            n += h;
            in->lastWhite = isWhite(held[h - 1]);
            continue;
        }
        f->buffer[n++] = uint8_t(c);
        in->lastWhite = isWhite(c);
    }
    return PdfFilter_deliver(f, n);
}

// --------------------------------------------------------- contents source

struct ContentsSource {
    PdfFilterStream head;
    PdfLexer *lexer;
    PdfContentsPart *parts;
    uint32_t count;
    uint32_t current;
    int spaceDue; // the separator between two parts is still to come
};

int contentsControl(ByteStream *s, uint32_t op, void *arg)
{
    return Pdf_Lex_control(reinterpret_cast<ContentsSource *>(s)->lexer, op, arg);
}

int contentsRefill(ByteStream *s)
{
    ContentsSource *c = reinterpret_cast<ContentsSource *>(s);
    PdfFilterStream *f = &c->head;
    size_t n = 0;
    while (!f->ended && n < sizeof f->buffer && c->current < c->count) {
        if (c->spaceDue) {
            f->buffer[n++] = ' ';
            c->spaceDue = 0;
            int err = Pdf_Lex_seek(c->lexer, c->parts[c->current].offset);
            if (err != Res_ok) {
                f->base.status = err;
                f->ended = 1;
            }
            continue;
        }
        PdfContentsPart *part = &c->parts[c->current];
        ByteStream *p = part->stream;
        int64_t have = PdfFilter_buffered(p);
        if (have <= 0) {
            int st = ByteStream_takeStatus(p);
            if (st) {
                f->base.status = st;
                f->ended = 1;
                break;
            }
            if (++c->current < c->count)
                c->spaceDue = 1;
            continue;
        }
        size_t k = std::min(size_t(have), sizeof f->buffer - n);
        memcpy(f->buffer + n, p->readPtr, k);
        p->readPtr += k;
        part->bytesRead += k;
        n += k;
    }
    return PdfFilter_deliver(f, n);
}

struct FilterRow {
    char name[16];
    char abbreviation[4];
    PdfFilterNewFn create;
};

constexpr FilterRow filterTable[] = {
    {"ASCIIHexDecode", "AHx", Pdf_Filter_asciiHexNew},
    {"ASCII85Decode", "A85", Pdf_Filter_ascii85New},
    {"LZWDecode", "LZW", Pdf_Filter_lzwNew},
    {"FlateDecode", "Fl", Pdf_Filter_flateParmsNew},
};

// An integer of parms under key, or fallback when parms or the key are
// missing.
int parmInt(PdfDoc *doc, PdfObj *parms, const char *key, int32_t fallback, int32_t *out)
{
    *out = fallback;
    if (!parms)
        return Res_ok;
    PdfObj *v = nullptr;
    int err = Pdf_Obj_dictGet(doc, key, parms, &v);
    if (err != Res_ok || !v)
        return err;
    return Pdf_Obj_getInt(doc, v, out);
}

// Puts the predictor stage of parms over a new decoding stream.
int withPredictor(ByteStream **out, ByteStream *decoder, PdfDoc *doc, PdfObj *parms)
{
    PdfPredictParams params;
    int err = Pdf_Pred_readParams(doc, parms, &params);
    if (err != Res_ok) {
        ByteStream_close(decoder);
        return err;
    }
    return Pdf_Pred_streamNew(out, decoder, &params);
}

} // namespace

// ------------------------------------------------------------- constructors

int Pdf_Filter_lookup(ByteStream **out, ByteStream *source, const char *name, PdfDoc *doc,
                      PdfObj *parms)
{
    *out = nullptr;
    for (const FilterRow &row : filterTable)
        if (!strcmp(name, row.name))
            return row.create(out, source, doc, parms);
    for (const FilterRow &row : filterTable)
        if (!strcmp(name, row.abbreviation))
            return row.create(out, source, doc, parms);
    return Res_pdfUnknownFilter;
}

int Pdf_Filter_asciiHexNew(ByteStream **out, ByteStream *source, PdfDoc *, PdfObj *)
{
    *out = static_cast<ByteStream *>(PdfFilter_alloc(sizeof(PdfFilterStream), source, hexRefill));
    return *out ? Res_ok : Res_noMemory;
}

int Pdf_Filter_ascii85New(ByteStream **out, ByteStream *source, PdfDoc *, PdfObj *)
{
    *out = static_cast<ByteStream *>(PdfFilter_alloc(sizeof(A85Stream), source, a85Refill));
    return *out ? Res_ok : Res_noMemory;
}

int Pdf_Filter_lzwNew(ByteStream **out, ByteStream *source, PdfDoc *doc, PdfObj *parms)
{
    *out = nullptr;
    int32_t early = 1;
    int err = parmInt(doc, parms, "EarlyChange", 1, &early);
    if (err != Res_ok)
        return err;
    ByteStream *lzw = nullptr;
    err = Lzw_create(source, &lzw, early);
    if (err != Res_ok)
        return err;
    return withPredictor(out, lzw, doc, parms);
}

int Pdf_Filter_flateParmsNew(ByteStream **out, ByteStream *source, PdfDoc *doc, PdfObj *parms)
{
    *out = nullptr;
    ByteStream *flate = nullptr;
    int err = Pdf_Filter_flateNew(source, &flate);
    if (err != Res_ok)
        return err;
    return withPredictor(out, flate, doc, parms);
}

// --------------------------------------------------------------- predictors

int Pdf_Pred_readParams(PdfDoc *doc, PdfObj *parms, PdfPredictParams *out)
{
    *out = PdfPredictParams{1, 1, 8, 1};
    int err = parmInt(doc, parms, "Predictor", 1, &out->predictor);
    if (err == Res_ok)
        err = parmInt(doc, parms, "Colors", 1, &out->colors);
    if (err == Res_ok)
        err = parmInt(doc, parms, "BitsPerComponent", 8, &out->bitsPerComponent);
    if (err == Res_ok)
        err = parmInt(doc, parms, "Columns", 1, &out->columns);
    if (err != Res_ok)
        return err;
    const PdfPredictParams &p = *out;
    bool predictorOk =
        p.predictor == 1 || p.predictor == 2 || (p.predictor >= 10 && p.predictor <= 15);
    int32_t b = p.bitsPerComponent;
    bool bitsOk = b == 1 || b == 2 || b == 4 || b == 8 || b == 16;
    // Rows stay below 2^26 bytes: a bound far above any real image.
    if (!predictorOk || !bitsOk || p.colors < 1 || p.colors > 32 || p.columns < 1 ||
        int64_t(p.columns) * p.colors * b > (int64_t(1) << 29))
        return Res_pdfSyntax;
    return Res_ok;
}

int Pdf_Pred_streamNew(ByteStream **out, ByteStream *inner, const PdfPredictParams *params)
{
    *out = nullptr;
    if (params->predictor == 1) {
        *out = inner;
        return Res_ok;
    }
    PredStream *p =
        static_cast<PredStream *>(PdfFilter_alloc(sizeof(PredStream), inner, predRefill));
    size_t bitsPerPixel = size_t(params->colors) * size_t(params->bitsPerComponent);
    size_t rowBytes = (size_t(params->columns) * bitsPerPixel + 7) / 8;
    if (p) {
        p->row = static_cast<uint8_t *>(Mem_calloc(1, rowBytes + 1));
        p->prev = static_cast<uint8_t *>(Mem_calloc(1, rowBytes + 1));
    }
    if (!p || !p->row || !p->prev) {
        if (p) {
            Mem_free(p->row);
            Mem_free(p->prev);
            Mem_free(p);
        }
        ByteStream_close(inner);
        return Res_noMemory;
    }
    p->params = *params;
    p->rowBytes = rowBytes;
    p->distance = (bitsPerPixel + 7) / 8;
    p->head.base.close = predClose;
    *out = &p->head.base;
    return Res_ok;
}

void Pdf_Pred_pngSub(uint8_t *row, const uint8_t *, size_t n, size_t distance)
{
    for (size_t i = distance; i < n; i++)
        row[i] = uint8_t(row[i] + row[i - distance]);
}

void Pdf_Pred_pngUp(uint8_t *row, const uint8_t *prev, size_t n, size_t)
{
    for (size_t i = 0; i < n; i++)
        row[i] = uint8_t(row[i] + prev[i]);
}

void Pdf_Pred_pngAverage(uint8_t *row, const uint8_t *prev, size_t n, size_t distance)
{
    for (size_t i = 0; i < n; i++) {
        unsigned left = i >= distance ? row[i - distance] : 0;
        row[i] = uint8_t(row[i] + ((left + prev[i]) >> 1));
    }
}

void Pdf_Pred_pngPaeth(uint8_t *row, const uint8_t *prev, size_t n, size_t distance)
{
    for (size_t i = 0; i < n; i++) {
        int a = i >= distance ? row[i - distance] : 0;
        int b = prev[i];
        int c = i >= distance ? prev[i - distance] : 0;
        int p = a + b - c;
        int pa = p > a ? p - a : a - p;
        int pb = p > b ? p - b : b - p;
        int pc = p > c ? p - c : c - p;
        int pred = (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c;
        row[i] = uint8_t(row[i] + pred);
    }
}

void Pdf_Pred_tiffUndo(uint8_t *row, size_t count, uint32_t bits, size_t distance)
{
    if (bits == 8) {
        for (size_t i = distance; i < count; i++)
            row[i] = uint8_t(row[i] + row[i - distance]);
        return;
    }
    if (bits == 16) {
        for (size_t i = distance; i < count; i++) {
            unsigned v = Bytes_peekU16Be(row + 2 * i);
            unsigned l = Bytes_peekU16Be(row + 2 * (i - distance));
            v = (v + l) & 0xFFFF;
            row[2 * i] = uint8_t(v >> 8);
            row[2 * i + 1] = uint8_t(v);
        }
        return;
    }
    unsigned mask = (1u << bits) - 1;
    auto get = [&](size_t i) {
        size_t bit = i * bits;
        return (row[bit / 8] >> (8 - bits - bit % 8)) & mask;
    };
    for (size_t i = distance; i < count; i++) {
        unsigned v = (get(i) + get(i - distance)) & mask;
        size_t bit = i * bits;
        unsigned shift = unsigned(8 - bits - bit % 8);
        row[bit / 8] = uint8_t((row[bit / 8] & ~(mask << shift)) | v << shift);
    }
}

// ----------------------------------------------------------- source streams

int Pdf_Src_rawNew(ByteStream **out, PdfLexer *lexer, uint64_t length)
{
    *out = nullptr;
    RawSource *r =
        static_cast<RawSource *>(PdfFilter_alloc(sizeof(RawSource), lexer->source, rawRefill));
    if (!r)
        return Res_noMemory;
    r->lexer = lexer;
    r->left = length;
    r->head.base.length = length;
    *out = &r->head.base;
    return Res_ok;
}

int Pdf_Src_inlineNew(ByteStream **out, PdfLexer *lexer, const char *endPattern)
{
    *out = nullptr;
    size_t length = strlen(endPattern);
    if (!length || length > 8)
        return Res_pdfSyntax;
    InlineSource *in = static_cast<InlineSource *>(
        PdfFilter_alloc(sizeof(InlineSource), lexer->source, inlineRefill));
    if (!in)
        return Res_noMemory;
    in->lexer = lexer;
    in->pattern = endPattern;
    in->patternLength = length;
    in->lastWhite = 1; // "ID" is followed by one white-space byte, already read
    *out = &in->head.base;
    return Res_ok;
}

int Pdf_Src_contentsNew(ByteStream **out, PdfLexer *lexer, PdfContentsPart *parts, uint32_t count)
{
    *out = nullptr;
    ContentsSource *c = static_cast<ContentsSource *>(
        PdfFilter_alloc(sizeof(ContentsSource), lexer->source, contentsRefill));
    if (!c)
        return Res_noMemory;
    c->lexer = lexer;
    c->parts = parts;
    c->count = count;
    c->head.base.control = contentsControl;
    if (count) {
        int err = Pdf_Lex_seek(lexer, parts[0].offset);
        if (err != Res_ok) {
            Mem_free(c);
            return err;
        }
    }
    *out = &c->head.base;
    return Res_ok;
}
