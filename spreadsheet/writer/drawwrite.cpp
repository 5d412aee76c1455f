// The worksheet drawing of the BIFF8 writer (see drawwrite.h).
#include "spreadsheet/writer/drawwrite.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "office/officeart/escher.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/exceldraw.h"
#include "spreadsheet/reader/sheetobj.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"
#include "spreadsheet/writer/xlswriter.h"

namespace {

enum : uint32_t {
    noteSize = XlsWriter_recordMax, // a NOTE body never needs more than one record
    headerSize = 8,                 // an OfficeArt record header
};

// The output position where the record buffer's first byte goes: after
// the header of the record being built. The output is always at its end
// between writes.
uint32_t bufferAt(const XlsDrawWriter *d)
{
    return XlsWriter_tell(d->writer) + 4;
}

// Writes the buffer as one record of the current type. A full record makes
// the next one a CONTINUE; a record ended early (before a client record's
// OBJ or TXO) makes it an MSODRAWING again, since a CONTINUE after those
// would continue them.
int flush(XlsDrawWriter *d, int full)
{
    if (d->used == 0 && !full) {
        d->recordType = Xls_recMsoDrawing;
        return Res_ok;
    }
    int rc = XlsWriter_writeRecord(d->writer, d->recordType, d->writer->buffer, d->used);
    if (rc != Res_ok)
        return rc;
    d->used = 0;
    d->recordType = full ? uint16_t(Xls_recContinue) : uint16_t(Xls_recMsoDrawing);
    return Res_ok;
}

// Appends OfficeArt bytes; every open container grows by them.
int put(XlsDrawWriter *d, const uint8_t *bytes, uint32_t n)
{
    for (XlsDrawContainer *c = d->open; c; c = c->outer)
        c->length += n;
    d->total += n;
    while (n) {
        uint32_t room = XlsWriter_recordMax - d->used;
        uint32_t k = n < room ? n : room;
        memcpy(d->writer->buffer + d->used, bytes, k);
        d->used += k;
        bytes += k;
        n -= k;
        if (d->used == XlsWriter_recordMax) {
            int rc = flush(d, 1);
            if (rc != Res_ok)
                return rc;
        }
    }
    return Res_ok;
}

int header(XlsDrawWriter *d, uint32_t version, uint32_t instance, uint32_t type, uint32_t length)
{
    uint8_t h[headerSize];
    Pack_write(h, "ssl", (version & 0xF) | (instance << 4), type, length);
    return put(d, h, headerSize);
}

// Opens a container: its header with length 0, in one record.
int openContainer(XlsDrawWriter *d, uint32_t type, XlsDrawContainer *c)
{
    if (XlsWriter_recordMax - d->used < headerSize) {
        int rc = flush(d, 1);
        if (rc != Res_ok)
            return rc;
    }
    c->length = 0;
    c->lengthPos = bufferAt(d) + d->used + 4;
    c->outer = d->open;
    int rc = header(d, 15, 0, type, 0);
    if (rc == Res_ok)
        d->open = c;
    return rc;
}

// Closes the innermost container: its length patched in the buffer when
// the field is still there, else in the output already written.
int closeContainer(XlsDrawWriter *d)
{
    XlsDrawContainer *c = d->open;
    d->open = c->outer;
    uint32_t start = bufferAt(d);
    if (c->lengthPos >= start) {
        Bytes_putU32Le(d->writer->buffer + (c->lengthPos - start), c->length);
        return Res_ok;
    }
    uint8_t bytes[4];
    Bytes_putU32Le(bytes, c->length);
    OleStream *out = d->writer->stream;
    uint32_t back = Ole_streamTell(out);
    int rc = OleWriter_streamSeek(out, c->lengthPos, 0);
    if (rc == Res_ok)
        rc = OleWriter_streamWrite(out, bytes, 4);
    int rs = OleWriter_streamSeek(out, back, 0);
    return rc != Res_ok ? rc : rs;
}

uint32_t unitsOf(const char16_t *s)
{
    uint32_t n = 0;
    while (s[n])
        n++;
    return n;
}

// The bytes of a complex property's block and the value its entry carries.
void complexSize(const EscherProp *p, uint32_t *block, uint32_t *value)
{
    *block = *value = 0;
    if (!p->data)
        return;
    switch (Escher_complexKind(p->id)) {
    case EscherComplex_utf16:
        *block = *value = 2 * (unitsOf(static_cast<const char16_t *>(p->data)) + 1);
        return;
    case EscherComplex_string8:
        *block = *value = uint32_t(strlen(static_cast<const char *>(p->data))) + 1;
        return;
    case EscherComplex_array:
    case EscherComplex_vertices: {
        const auto *a = static_cast<const EscherPropArray *>(p->data);
        uint32_t bytes =
            uint32_t(a->count > 0 ? a->count : 0) * uint32_t(a->size > 0 ? a->size : 0);
        *block = bytes + 6;
        // The vertices' entry leaves out the array head.
        *value = Escher_complexKind(p->id) == EscherComplex_vertices ? bytes : bytes + 6;
        return;
    }
    default: {
        const auto *b = static_cast<const EscherPropBlock *>(p->data);
        *block = *value = b->length;
        return;
    }
    }
}

int writeComplex(XlsDrawWriter *d, const EscherProp *p)
{
    if (!p->data)
        return Res_ok;
    EscherComplexKind kind = Escher_complexKind(p->id);
    if (kind == EscherComplex_utf16) {
        const auto *s = static_cast<const char16_t *>(p->data);
        uint32_t n = unitsOf(s) + 1;
        for (uint32_t i = 0; i < n; i++) {
            uint8_t u[2] = {uint8_t(s[i]), uint8_t(s[i] >> 8)};
            int rc = put(d, u, 2);
            if (rc != Res_ok)
                return rc;
        }
        return Res_ok;
    }
    if (kind == EscherComplex_string8) {
        const auto *s = static_cast<const char *>(p->data);
        return put(d, reinterpret_cast<const uint8_t *>(s), uint32_t(strlen(s)) + 1);
    }
    if (kind == EscherComplex_array || kind == EscherComplex_vertices) {
        const auto *a = static_cast<const EscherPropArray *>(p->data);
        uint32_t count = uint32_t(a->count > 0 ? a->count : 0);
        uint32_t size = uint32_t(a->size > 0 ? a->size : 0);
        uint8_t head[6];
        Pack_write(head, "3s", count, count, kind == EscherComplex_vertices ? 0xFFF0u : size);
        int rc = put(d, head, 6);
        if (rc == Res_ok)
            rc = put(d, EscherPropArray_elements(a), count * size);
        return rc;
    }
    const auto *b = static_cast<const EscherPropBlock *>(p->data);
    return put(d, EscherPropBlock_bytes(b), b->length);
}

int writeProperties(XlsDrawWriter *d, const EscherPropSet *set)
{
    if (!set || set->count == 0)
        return Res_ok;
    uint64_t length = 6ull * set->count;
    for (uint32_t i = 0; i < set->count; i++) {
        const EscherProp *p = &set->entries[i];
        if (p->flags & EscherProp_complex) {
            uint32_t block, value;
            complexSize(p, &block, &value);
            length += block;
        }
    }
    if (length > 0xFFFFFFFFull)
        return Res_nullInput;
    int rc = header(d, 3, set->count, EscherRec_fopt, uint32_t(length));
    for (uint32_t i = 0; rc == Res_ok && i < set->count; i++) {
        const EscherProp *p = &set->entries[i];
        uint32_t value = p->value;
        if (p->flags & EscherProp_complex) {
            uint32_t block;
            complexSize(p, &block, &value);
        }
        uint8_t entry[6];
        Pack_write(entry, "sl", (p->id & 0x3FFFu) | ((p->flags & 3u) << 14), value);
        rc = put(d, entry, 6);
    }
    for (uint32_t i = 0; rc == Res_ok && i < set->count; i++)
        if (set->entries[i].flags & EscherProp_complex)
            rc = writeComplex(d, &set->entries[i]);
    return rc;
}

// The kept client record of a shape, or null when its bytes are not one.
const ExcelClientRecord *clientOf(const EscherClientBytes *bytes)
{
    if (!bytes->bytes || bytes->length != sizeof(ExcelClientRecord))
        return nullptr;
    return reinterpret_cast<const ExcelClientRecord *>(bytes->bytes);
}

// The chart item whose substream starts at position (just after its BOF).
XlsChart *chartAt(XlsWriter *w, uint32_t position)
{
    const ExcelWorkbook *book = w->workbook;
    for (ExcelBookItem *i = book ? book->items : nullptr; i; i = i->next) {
        if (i->kind != Excel_itemChart || !i->payload)
            continue;
        auto *c = static_cast<XlsChart *>(i->payload);
        if (c->start == position)
            return c;
    }
    return nullptr;
}

// Copies the source records [start, end) of a client record: its OBJ or
// TXO with what belongs to it. An embedded chart's substream after the OBJ
// is written anew from its chart model when there is one.
int copyClient(XlsWriter *w, const ExcelClientRecord *rec)
{
    if (rec->end <= rec->start)
        return Res_nullInput;
    uint32_t at = rec->start;
    while (at < rec->end) {
        uint16_t type = 0, length = 0;
        int rc = XlsWriter_readSourceHeader(w, at, &type, &length);
        if (rc != Res_ok)
            return rc;
        XlsChart *chart = type == Xls_recBof ? chartAt(w, at + 4 + length) : nullptr;
        if (chart) {
            rc = XlsWriter_writeBof(w, Xls_bofChart);
            if (rc == Res_ok)
                rc = XlsWriter_writeChart(w, chart);
            if (rc == Res_ok)
                rc = XlsWriter_writeRecord(w, Xls_recEof, nullptr, 0);
            if (rc != Res_ok)
                return rc;
            // Past the source substream and its EOF.
            at = chart->start + chart->length + 4;
            continue;
        }
        uint32_t n = uint64_t(at) + 4 + length > rec->end ? rec->end - at : 4u + length;
        rc = XlsWriter_copyBytes(w, at, n);
        if (rc != Res_ok)
            return rc;
        at += n;
    }
    return Res_ok;
}

// Ends the MSODRAWING record with a client record's header and copies the
// client's source records after it.
int writeClient(XlsDrawWriter *d, uint32_t type, const EscherClientBytes *bytes, uint32_t kind)
{
    const ExcelClientRecord *rec = clientOf(bytes);
    if (!rec || rec->kind != kind)
        return Res_nullInput;
    int rc = header(d, 0, 0, type, 0);
    if (rc == Res_ok)
        rc = flush(d, 0);
    if (rc == Res_ok)
        rc = copyClient(d->writer, rec);
    return rc;
}

bool deleted(const EscherShape *s)
{
    return (s->flags & EscherFsp_deleted) != 0;
}

// Moves past a deleted group with every shape nested in it.
void skipGroup(XlsDrawWriter *d)
{
    const EscherDrawingGroup *g = d->group;
    int32_t level = g->shapes[d->shape].level;
    d->shape++;
    while (d->shape < g->count && g->shapes[d->shape].level > level)
        d->shape++;
}

} // namespace

int XlsDrawWriter_writeShape(XlsDrawWriter *d)
{
    if (!d || !d->group || d->shape >= d->group->count)
        return Res_missingArgument;
    const EscherShape *s = &d->group->shapes[d->shape++];
    if (deleted(s))
        return Res_ok;
    XlsDrawContainer c;
    int rc = openContainer(d, EscherRec_spContainer, &c);
    uint8_t body[16];
    if (rc == Res_ok && (s->flags & EscherFsp_group)) {
        Pack_write(body, "4l", s->groupLeft, s->groupTop, s->groupRight, s->groupBottom);
        rc = header(d, 1, 0, EscherRec_fspgr, 16);
        if (rc == Res_ok)
            rc = put(d, body, 16);
    }
    if (rc == Res_ok) {
        Pack_write(body, "ll", s->shapeId, s->flags & 0xFFFu);
        rc = header(d, 2, s->shapeType, EscherRec_fsp, 8);
        if (rc == Res_ok)
            rc = put(d, body, 8);
    }
    if (rc == Res_ok)
        rc = writeProperties(d, s->props);
    if (rc == Res_ok && s->tertiary.bytes && s->tertiary.length) {
        const EscherRecordHeader &t = s->tertiaryHeader;
        rc = header(d, t.version, t.instance, EscherRec_tertiaryFopt, s->tertiary.length);
        if (rc == Res_ok)
            rc = put(d, s->tertiary.bytes, s->tertiary.length);
    }
    if (rc == Res_ok && (s->flags & EscherFsp_haveAnchor)) {
        if (s->clientAnchor.bytes && s->clientAnchor.length) {
            rc = header(d, 0, 0, EscherRec_clientAnchor, s->clientAnchor.length);
            if (rc == Res_ok)
                rc = put(d, s->clientAnchor.bytes, s->clientAnchor.length);
        } else {
            // No cell anchor was kept: the shape keeps its place in its group.
            Pack_write(body, "4l", s->childLeft, s->childTop, s->childRight, s->childBottom);
            rc = header(d, 0, 0, EscherRec_childAnchor, 16);
            if (rc == Res_ok)
                rc = put(d, body, 16);
        }
    }
    if (rc == Res_ok && s->clientData.bytes)
        rc = writeClient(d, EscherRec_clientData, &s->clientData, ExcelClient_object);
    if (rc == Res_ok && s->textbox.bytes)
        rc = writeClient(d, EscherRec_clientTextbox, &s->textbox, ExcelClient_text);
    if (rc == Res_ok)
        rc = closeContainer(d);
    return rc;
}

int XlsDrawWriter_writeGroup(XlsDrawWriter *d)
{
    if (!d || !d->group || d->shape >= d->group->count)
        return Res_missingArgument;
    const EscherDrawingGroup *g = d->group;
    if (deleted(&g->shapes[d->shape])) {
        skipGroup(d);
        return Res_ok;
    }
    uint32_t depth = 0;
    for (const XlsDrawContainer *c = d->open; c; c = c->outer)
        depth++;
    if (depth >= XlsDraw_maxDepth)
        return Res_unexpectedKind;
    int32_t level = g->shapes[d->shape].level + 1;
    XlsDrawContainer c;
    int rc = openContainer(d, EscherRec_spgrContainer, &c);
    if (rc == Res_ok)
        rc = XlsDrawWriter_writeShape(d);
    while (rc == Res_ok && d->shape < g->count && g->shapes[d->shape].level == level) {
        if (g->shapes[d->shape].flags & EscherFsp_group)
            rc = XlsDrawWriter_writeGroup(d);
        else
            rc = XlsDrawWriter_writeShape(d);
    }
    if (rc == Res_ok)
        rc = closeContainer(d);
    return rc;
}

namespace {

// The shapes written: every entry but deleted ones and what deleted
// groups hold.
uint32_t writtenShapes(const EscherDrawingGroup *g)
{
    uint32_t n = 0;
    for (uint32_t i = 0; i < g->count;) {
        const EscherShape *s = &g->shapes[i];
        if (!deleted(s)) {
            n++;
            i++;
            continue;
        }
        i++;
        if (s->flags & EscherFsp_group)
            while (i < g->count && g->shapes[i].level > s->level)
                i++;
    }
    return n;
}

} // namespace

int XlsWriter_writeDrawingGroup(XlsWriter *writer, EscherDrawingGroup *group)
{
    if (!writer || !writer->buffer)
        return Res_missingArgument;
    if (!group || group->count == 0 || !group->shapes)
        return Res_ok;
    XlsDrawWriter d;
    memset(&d, 0, sizeof d);
    d.writer = writer;
    d.recordType = Xls_recMsoDrawing;
    d.group = group;
    XlsDrawContainer top;
    int rc = openContainer(&d, EscherRec_dgContainer, &top);
    uint8_t body[8];
    if (rc == Res_ok) {
        Pack_write(body, "ll", writtenShapes(group), group->lastShapeId);
        rc = header(&d, 0, group->drawingId, EscherRec_fdg, 8);
        if (rc == Res_ok)
            rc = put(&d, body, 8);
    }
    if (rc == Res_ok)
        rc = XlsDrawWriter_writeGroup(&d);
    // A kept SolverContainer: its header words as read, then its bytes.
    for (const EscherSolver *s = group->solvers; rc == Res_ok && s; s = s->next) {
        uint32_t vi = Bytes_peekU32Le(s->header), type = Bytes_peekU32Le(s->header + 4);
        rc = header(&d, vi & 0xF, (vi >> 4) & 0xFFF, type, s->length);
        if (rc == Res_ok && s->length)
            rc = put(&d, s->data, s->length);
    }
    if (rc == Res_ok)
        rc = closeContainer(&d);
    if (rc == Res_ok)
        rc = flush(&d, 0);
    return rc;
}

namespace {

// The source records that follow a drawing record and belong to it: its
// continuations and the objects and texts of its shapes.
bool drawingFollower(uint16_t type)
{
    return type == Xls_recMsoDrawing || type == Xls_recContinue || type == Xls_recObj ||
           type == Xls_recTxo;
}

// The end of the substream whose BOF is at position (past its EOF, nested
// BOF and EOF pairs counted); false when the source ends first.
bool drawwriteSubstreamEnd(XlsWriter *w, uint32_t position, uint32_t *end)
{
    uint32_t at = position, depth = 0;
    for (;;) {
        uint16_t t = 0, n = 0;
        if (XlsWriter_readSourceHeader(w, at, &t, &n) != Res_ok)
            return false;
        at += 4u + n;
        if (t == Xls_recBof)
            depth++;
        else if (t == Xls_recEof && --depth == 0)
            break;
    }
    *end = at;
    return true;
}

// True when the OBJ record at position (body length bytes) is an embedded
// chart's: its first sub-record, the common object data, names object
// type 5.
bool drawwriteIsChartObject(XlsWriter *w, uint32_t position, uint16_t length)
{
    uint8_t head[8];
    size_t got = 0;
    if (length < sizeof head || !w->sourceStream ||
        Ole_streamReadAt(w->sourceStream, position + 4u, sizeof head, &got, head) != Res_ok ||
        got != sizeof head)
        return false;
    uint16_t objectType = 0;
    Pack_read(head + 4, "s", &objectType);
    return objectType == Excel_objChart;
}

// Copies the records of a drawing that has no model from the kept
// MSODRAWING record at position: while they belong to the drawing, up to
// stop (the next kept one, 0 for none). An embedded chart's substream
// (nested BOF and EOF pairs counted) is written from its chart model when
// there is one, else copied whole.
int copyDrawingRun(XlsWriter *w, uint32_t position, uint32_t stop)
{
    uint32_t at = position;
    for (bool first = true;; first = false) {
        if (!first && at == stop)
            return Res_ok;
        uint16_t type = 0, length = 0;
        if (XlsWriter_readSourceHeader(w, at, &type, &length) != Res_ok)
            return Res_ok; // the end of the stream
        if (!first && type == Xls_recBof) {
            uint32_t end = 0;
            if (!drawwriteSubstreamEnd(w, at, &end))
                return Res_ok; // an unterminated substream is left out
            ExcelClientRecord rec{0, ExcelClient_object, 0, at, end};
            int rc = copyClient(w, &rec);
            if (rc != Res_ok)
                return rc;
            at = end;
            continue;
        }
        if (!first && !drawingFollower(type))
            return Res_ok;
        // An object whose substream is cut off in the source, or a chart's
        // object with no substream after it at all, is left out: an
        // embedded chart's object is never written without the chart
        // substream that must follow it.
        if (type == Xls_recObj) {
            uint16_t nextType = 0, nextLength = 0;
            uint32_t end = 0;
            bool substream =
                XlsWriter_readSourceHeader(w, at + 4u + length, &nextType, &nextLength) == Res_ok &&
                nextType == Xls_recBof;
            if (substream ? !drawwriteSubstreamEnd(w, at + 4u + length, &end)
                          : drawwriteIsChartObject(w, at, length))
                return Res_ok;
        }
        int rc = XlsWriter_copyBytes(w, at, 4u + length);
        if (rc != Res_ok)
            return rc;
        at += 4u + length;
    }
}

} // namespace

int XlsWriter_writeNotes(XlsWriter *writer, const SheetGrid *grid)
{
    if (!writer || !writer->buffer)
        return Res_missingArgument;
    if (!grid)
        return Res_ok;
    for (const TaggedNode *n = grid->taggedLists; n; n = n->next) {
        if (n->tag != Excel_noteTag)
            continue;
        for (const TaggedRecord *r = n->first; r; r = r->next) {
            if (!writer->sourceStream)
                return Res_nullInput;
            ExcelNoteData data;
            memcpy(&data, r + 1, sizeof data);
            uint16_t type = 0, length = 0;
            int rc = XlsWriter_readSourceHeader(writer, data.position, &type, &length);
            if (rc == Res_ok && (type != Xls_recNote || length < 4))
                rc = Res_unexpectedKind;
            size_t got = 0;
            if (rc == Res_ok)
                rc = Ole_streamReadAt(writer->sourceStream, data.position + 4, length, &got,
                                      writer->buffer);
            if (rc == Res_ok && got != length)
                rc = Res_unexpectedKind;
            if (rc != Res_ok)
                return rc;
            // The comment's current cell: rows and columns inserted or
            // deleted since the load have moved it.
            Pack_write(writer->buffer, "2s", uint32_t(r->words[0]), uint32_t(r->words[1]));
            rc = XlsWriter_writeRecord(writer, Xls_recNote, writer->buffer, length);
            if (rc != Res_ok)
                return rc;
        }
    }
    return Res_ok;
}

int XlsWriter_writeDrawing(XlsWriter *w, XlsSheetEntry *entry)
{
    if (!w || !entry)
        return Res_missingArgument;
    int rc = Res_ok;
    if (entry->drawing) {
        rc = XlsWriter_writeDrawingGroup(w, entry->drawing);
    } else {
        for (const RecListEntry *e = entry->records[1][0]; rc == Res_ok && e; e = RecList_next(e)) {
            const RecListEntry *next = RecList_next(e);
            rc = copyDrawingRun(w, RecList_position(e) - 4, next ? RecList_position(next) - 4 : 0);
        }
    }
    if (rc == Res_ok && entry->kind == XlsSheet_worksheet)
        rc = XlsWriter_writeNotes(w, static_cast<const SheetGrid *>(entry->model));
    return rc;
}
