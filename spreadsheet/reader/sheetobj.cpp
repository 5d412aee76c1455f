// Worksheet records kept beside the cells: embedded objects, text objects,
// hyperlink records and the raw-record lists; DIMENSIONS, margins and the
// substream skip.
#include "spreadsheet/reader/sheetobj.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "office/ole2/ole.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/exceldraw.h"

namespace {

enum : uint16_t {
    recEof = 0x000A,
    recContinue = 0x003C,
    recImData = 0x007F,
    recBof = 0x0809,
};

// Reads the body of h into a new buffer (null for an empty body).
int readOwnBody(OleStream *stream, const ExcelRecordHeader &h, uint8_t **out)
{
    *out = nullptr;
    if (h.length == 0)
        return Res_ok;
    uint8_t *b = static_cast<uint8_t *>(Mem_malloc(h.length));
    if (!b)
        return Res_noMemory;
    int rc = Ole_streamReadExact(stream, b, h.length);
    if (rc != Res_ok) {
        Mem_free(b);
        return rc;
    }
    *out = b;
    return Res_ok;
}

// Appends n bytes to a growing buffer.
int appendBytes(uint8_t **data, uint32_t *size, const uint8_t *bytes, uint32_t n)
{
    if (n == 0)
        return Res_ok;
    uint8_t *d = static_cast<uint8_t *>(Mem_realloc(*data, size_t(*size) + n));
    if (!d)
        return Res_noMemory;
    memcpy(d + *size, bytes, n);
    *data = d;
    *size += n;
    return Res_ok;
}

// The IMDATA record after a picture object: its 8-byte head, then the data
// gathered from its body and the CONTINUE records after it. The buffer
// grows with what arrives, so a length the records do not hold cannot
// ask for a huge block.
int readImData(OleStream *stream, const ExcelRecordHeader &h, ExcelPicture **out)
{
    *out = nullptr;
    if (h.length < 8)
        return Excel_errMalformed;
    uint8_t *body = nullptr;
    int rc = readOwnBody(stream, h, &body);
    if (rc != Res_ok)
        return rc;
    ExcelPicture *p = static_cast<ExcelPicture *>(Mem_calloc(1, sizeof(ExcelPicture)));
    if (!p) {
        Mem_free(body);
        return Res_noMemory;
    }
    p->format = Bytes_peekU16Le(body);
    p->environment = Bytes_peekU16Le(body + 2);
    uint32_t want = Bytes_peekU32Le(body + 4);
    uint32_t got = 0;
    rc = appendBytes(&p->data, &got, body + 8, std::min<uint32_t>(want, h.length - 8u));
    Mem_free(body);
    while (rc == Res_ok && got < want) {
        ExcelRecordHeader c;
        rc = Excel_readRecordHeader(stream, &c);
        if (rc != Res_ok)
            break;
        if (c.type != recContinue) {
            rc = Excel_errMalformed;
            break;
        }
        rc = readOwnBody(stream, c, &body);
        if (rc == Res_ok)
            rc = appendBytes(&p->data, &got, body, std::min<uint32_t>(want - got, c.length));
        Mem_free(body);
    }
    if (rc != Res_ok) {
        Mem_free(p->data);
        Mem_free(p);
        return rc;
    }
    p->length = got;
    *out = p;
    return Res_ok;
}

} // namespace

int Excel_parseObjPicture(const uint8_t *bytes, size_t length, ExcelObjPictureFields *out)
{
    if (!bytes || !out)
        return Res_missingArgument;
    *out = ExcelObjPictureFields{};
    if (length < 8)
        return Excel_errMalformed;
    out->colour = bytes[0];
    out->fill = bytes[1];
    out->flags = bytes[2];
    out->spare = bytes[3];
    out->formulaLength = Bytes_peekU16Le(bytes + 4);
    out->extra = Bytes_peekU16Le(bytes + 6);
    return Res_ok;
}

int Excel_skipSubstream(ExcelLoad *load, ExcelExtent *extent)
{
    if (!load || !extent)
        return Res_missingArgument;
    uint32_t start = Ole_streamTell(load->stream);
    uint32_t depth = 1;
    while (depth) {
        ExcelRecordHeader h;
        int rc = Excel_readRecordHeader(load->stream, &h);
        if (rc != Res_ok)
            return rc;
        if (h.type == recBof)
            depth++;
        else if (h.type == recEof)
            depth--;
        rc = Excel_skipRecord(load->stream, &h);
        if (rc != Res_ok)
            return rc;
    }
    extent->start = start;
    extent->length = Ole_streamTell(load->stream) - start;
    return Res_ok;
}

int Excel_readObj(ExcelLoad *load, ExcelObject *object, const uint8_t *body, uint32_t length,
                  uint32_t position)
{
    if (!object)
        return Res_missingArgument;
    *object = ExcelObject{};
    if (!load || !load->stream || (!body && length))
        return Res_missingArgument;
    if (length < 8)
        return Excel_errMalformed;
    object->position = position;
    object->type = Bytes_peekU16Le(body + 4);
    object->id = Bytes_peekU16Le(body + 6);
    if (object->type == Excel_objChart) {
        // The chart's own substream follows at once: it is kept as an
        // extent from its BOF header to its EOF for the chart reader.
        uint32_t at = Ole_streamTell(load->stream);
        ExcelRecordHeader h;
        int rc = Excel_readRecordHeader(load->stream, &h);
        if (rc != Res_ok)
            return rc;
        if (h.type != recBof)
            return Excel_errMalformed;
        rc = Excel_skipRecord(load->stream, &h);
        if (rc != Res_ok)
            return rc;
        ExcelExtent *x = static_cast<ExcelExtent *>(Mem_malloc(sizeof(ExcelExtent)));
        if (!x)
            return Res_noMemory;
        rc = Excel_skipSubstream(load, x);
        if (rc != Res_ok) {
            Mem_free(x);
            return rc;
        }
        x->length += x->start - at;
        x->start = at;
        object->chart = x;
        return Res_ok;
    }
    if (object->type != Excel_objPicture)
        return Res_ok;
    if (length >= 36)
        (void)Excel_parseObjPicture(body + 28, length - 28, &object->fields);
    ExcelRecordHeader h;
    int rc = Excel_readRecordHeader(load->stream, &h);
    if (rc != Res_ok)
        return rc;
    if (h.type != recImData)
        return Ole_streamSeek(load->stream, uint32_t(0) - 4u, 1);
    rc = readImData(load->stream, h, &object->picture);
    if (rc != Res_ok)
        *object = ExcelObject{};
    return rc;
}

void Excel_textObjectFree(ExcelTextObject *text)
{
    if (!text)
        return;
    Mem_free(text->text);
    Mem_free(text->runs);
    Mem_free(text);
}

void Excel_valueClear(ExcelObject *object)
{
    if (!object)
        return;
    if (object->picture) {
        Mem_free(object->picture->data);
        Mem_free(object->picture);
    }
    Mem_free(object->chart);
    Excel_textObjectFree(object->text);
    *object = ExcelObject{};
}

void Excel_objListFree(ExcelObject *objects, uint32_t count)
{
    for (uint32_t i = 0; objects && i < count; i++)
        Excel_valueClear(&objects[i]);
    Mem_free(objects);
}

namespace {

// The characters of a TXO from the CONTINUE records after it: each record
// starts with a flags byte whose bit 0 gives the width of what follows.
int readTextRecords(OleStream *stream, ExcelTextObject *t, uint32_t count)
{
    t->text = static_cast<char16_t *>(Mem_malloc((size_t(count) + 1) * sizeof(char16_t)));
    if (!t->text)
        return Res_noMemory;
    uint32_t got = 0;
    while (got < count) {
        ExcelRecordHeader h;
        int rc = Excel_readRecordHeader(stream, &h);
        if (rc != Res_ok)
            return rc;
        if (h.type != recContinue)
            return Excel_errMalformed;
        uint8_t *b = nullptr;
        rc = readOwnBody(stream, h, &b);
        if (rc != Res_ok)
            return rc;
        if (h.length == 0) {
            continue;
        }
        int wide = b[0] & 1;
        for (uint32_t at = 1; got < count && at + uint32_t(wide) < h.length;
             at += 1u + uint32_t(wide))
            t->text[got++] = wide ? char16_t(Bytes_peekU16Le(b + at)) : char16_t(b[at]);
        Mem_free(b);
    }
    t->text[got] = 0;
    t->length = got;
    return Res_ok;
}

// The runs of a TXO: one CONTINUE of 8-byte runs.
int readTextRuns(OleStream *stream, ExcelTextObject *t, uint32_t runLength)
{
    ExcelRecordHeader h;
    int rc = Excel_readRecordHeader(stream, &h);
    if (rc != Res_ok)
        return rc;
    if (h.type != recContinue) {
        if (runLength == 0)
            return Ole_streamSeek(stream, uint32_t(0) - 4u, 1);
        return Excel_errMalformed;
    }
    uint8_t *b = nullptr;
    rc = readOwnBody(stream, h, &b);
    if (rc != Res_ok)
        return rc;
    uint32_t n = std::min<uint32_t>(runLength, h.length / 8u);
    if (n >= 1) {
        t->runs = static_cast<ExcelTextRun *>(Mem_malloc(n * sizeof(ExcelTextRun)));
        if (!t->runs) {
            Mem_free(b);
            return Res_noMemory;
        }
        for (uint32_t i = 0; i < n; i++)
            t->runs[i] = {Bytes_peekU16Le(b + 8 * i), Bytes_peekU16Le(b + 8 * i + 2)};
        t->runCount = n;
    }
    Mem_free(b);
    return Res_ok;
}

} // namespace

int Excel_readTextObject(ExcelLoad *load, const uint8_t *body, uint32_t length, uint32_t position,
                         ExcelTextObject **out)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!load || !load->stream || (!body && length))
        return Res_missingArgument;
    if (length < 14)
        return Excel_errMalformed;
    ExcelTextObject *t = static_cast<ExcelTextObject *>(Mem_calloc(1, sizeof(ExcelTextObject)));
    if (!t)
        return Res_noMemory;
    t->options = Bytes_peekU16Le(body);
    t->rotation = Bytes_peekU16Le(body + 2);
    t->position = position;
    t->end = Ole_streamTell(load->stream);
    uint32_t count = Bytes_peekU16Le(body + 10);
    uint32_t runLength = Bytes_peekU16Le(body + 12);
    int rc = Res_ok;
    if (count) {
        rc = readTextRecords(load->stream, t, count);
        if (rc == Res_ok)
            rc = readTextRuns(load->stream, t, runLength);
    }
    if (rc != Res_ok) {
        Excel_textObjectFree(t);
        return rc;
    }
    *out = t;
    return Res_ok;
}

int Excel_keepHyperlink(ExcelLoadSheet *sheet, const uint8_t *body, uint32_t length,
                        uint32_t position)
{
    if (!sheet || (!body && length))
        return Res_missingArgument;
    if (length < 8)
        return Res_ok;
    ExcelLink *l = static_cast<ExcelLink *>(
        Mem_realloc(sheet->links, (size_t(sheet->linkCount) + 1) * sizeof(ExcelLink)));
    if (!l)
        return Res_noMemory;
    sheet->links = l;
    l[sheet->linkCount++] = {{Bytes_peekU16Le(body), Bytes_peekU16Le(body + 2),
                              Bytes_peekU16Le(body + 4), Bytes_peekU16Le(body + 6)},
                             position,
                             length};
    return Res_ok;
}

int Excel_readMargin(const uint8_t *body, size_t length, double *out)
{
    if (!body || !out)
        return Res_missingArgument;
    if (length < 8)
        return Excel_errMalformed;
    uint64_t bits = uint64_t(Bytes_peekU32Le(body)) | (uint64_t(Bytes_peekU32Le(body + 4)) << 32);
    memcpy(out, &bits, sizeof *out);
    return Res_ok;
}

void Excel_sheetKeptFree(ExcelLoadSheet *sheet)
{
    if (!sheet)
        return;
    Excel_objListFree(sheet->objects, sheet->objectCount);
    sheet->objects = nullptr;
    sheet->objectCount = 0;
    Mem_free(sheet->links);
    sheet->links = nullptr;
    sheet->linkCount = 0;
    RecList_free(&sheet->kept[0], &sheet->kept[1]);
    RecList_free(&sheet->drawing[0], &sheet->drawing[1]);
    ExcelDraw_sheetFree(sheet->drawingState);
    sheet->drawingState = nullptr;
}

int Excel_sheetAddObject(ExcelLoad *load, ExcelLoadSheet *sheet, const uint8_t *body,
                         uint32_t length, uint32_t position, int *added)
{
    if (added)
        *added = 0;
    if (!sheet || !added)
        return Res_missingArgument;
    ExcelObject *o = static_cast<ExcelObject *>(
        Mem_realloc(sheet->objects, (size_t(sheet->objectCount) + 1) * sizeof(ExcelObject)));
    if (!o)
        return Res_noMemory;
    sheet->objects = o;
    int rc = Excel_readObj(load, &o[sheet->objectCount], body, length, position);
    if (rc == Res_ok) {
        sheet->objectCount++;
        *added = 1;
    } else if (rc == Excel_errMalformed && length < 8) {
        rc = Res_ok; // an object too short to name itself is passed over
    }
    return rc;
}

int Excel_sheetAddText(ExcelLoad *load, ExcelLoadSheet *sheet, const uint8_t *body, uint32_t length,
                       uint32_t position, int *attached)
{
    if (attached)
        *attached = 0;
    if (!sheet || !attached)
        return Res_missingArgument;
    // The text belongs to the object before it (a note or a text box); a
    // text without one is dropped.
    ExcelTextObject *t = nullptr;
    int rc = Excel_readTextObject(load, body, length, position, &t);
    if (rc != Res_ok)
        return rc;
    ExcelObject *last = sheet->objectCount ? &sheet->objects[sheet->objectCount - 1] : nullptr;
    if (last && !last->text) {
        last->text = t;
        *attached = 1;
    } else {
        Excel_textObjectFree(t);
    }
    return Res_ok;
}
