// Worksheet drawings: gathering the OfficeArt bytes of the workbook and of
// each sheet from their BIFF records, attaching the OBJ and TXO records to
// their shapes, anchoring shapes to cells and laying out text boxes.
#include "spreadsheet/reader/exceldraw.h"

#include <algorithm>
#include <cstring>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/stream/bytestream.h"
#include "document/edr/node.h"
#include "spreadsheet/reader/sheetpage.h"
#include "office/officeart/escher.h"
#include "office/ole2/ole.h"
#include "office/shape/place.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetobj.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"

namespace {

enum : uint16_t {
    recContinue = 0x003C,
    recObj = 0x005D,
    recDrawingGroup = 0x00EB,
    recDrawing = 0x00EC,
    recTxo = 0x01B6,
};

enum : uint32_t {
    propTextLeft = 129,
    propTextTop = 130,
    propTextRight = 131,
    propTextBottom = 132,
    propTextFlow = 136,
    propFillColour = 385,
    propFillBackColour = 387,
    propLineColour = 448,
    paletteFlag = 1u << 27,
    insetLeftRight = 1310,
    insetTopBottom = 655,
    quarterTurn = 0x5A0000,
    anchorBytes = 18,
    defaultRowUnits = (255u << 16) / 1440, // a row of 255 twentieths of a point
};

int32_t clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The bytes the workbook stream still holds after its position.
uint64_t streamLeft(OleStream *stream)
{
    uint64_t size = Ole_streamSize(stream), at = Ole_streamTell(stream);
    return size > at ? size - at : 0;
}

int stepBack(OleStream *stream)
{
    return Ole_streamSeek(stream, uint32_t(0) - 4u, 1);
}

// Reads a body into a new buffer (at least one byte is allocated).
int readBody(OleStream *stream, uint32_t length, uint8_t **out)
{
    *out = static_cast<uint8_t *>(Mem_malloc(length ? length : 1));
    if (!*out)
        return Res_noMemory;
    int rc = length ? Ole_streamReadExact(stream, *out, length) : int(Res_ok);
    if (rc != Res_ok) {
        Mem_free(*out);
        *out = nullptr;
    }
    return rc;
}

// The size of the first OfficeArt record of body (its length + 8), no
// larger than what the record and the rest of the stream hold and no
// smaller than the record itself: a corrupt length cannot ask for more
// memory than the file has.
uint32_t gatherSize(const uint8_t *body, uint32_t length, OleStream *stream)
{
    uint64_t wanted = uint64_t(Bytes_peekU32Le(body + 4)) + 8;
    uint64_t room = uint64_t(length) + streamLeft(stream);
    return uint32_t(std::max<uint64_t>(std::min(wanted, room), length));
}

ExcelDrawHost *hostOf(ExcelLoad *load)
{
    if (!load->draw) {
        load->draw = static_cast<ExcelDrawHost *>(Mem_calloc(1, sizeof(ExcelDrawHost)));
        if (load->draw)
            load->draw->load = load;
    }
    return load->draw;
}

// An OBJ or TXO inside or right after a drawing run: added to the sheet's
// objects and, when it was kept, to the client records at the byte count.
int clientRecord(ExcelLoad *load, ExcelLoadSheet *sheet, ExcelSheetDrawing *sd,
                 const ExcelRecordHeader &h, uint32_t gathered)
{
    uint32_t position = Ole_streamTell(load->stream) - 4;
    uint8_t *body = nullptr;
    int rc = readBody(load->stream, h.length, &body);
    if (rc != Res_ok)
        return rc;
    int kept = 0;
    if (h.type == recObj)
        rc = Excel_sheetAddObject(load, sheet, body, h.length, position, &kept);
    else
        rc = Excel_sheetAddText(load, sheet, body, h.length, position, &kept);
    Mem_free(body);
    if (rc == Res_ok && kept)
        rc = ExcelDraw_addClientRecord(sd, gathered,
                                       h.type == recObj ? ExcelClient_object : ExcelClient_text,
                                       sheet->objectCount - 1);
    if (rc == Res_ok && kept) {
        ExcelClientRecord *added = &sd->records[sd->count - 1];
        added->start = position;
        added->end = Ole_streamTell(load->stream);
    }
    return rc;
}

const ExcelClientRecord *clientOf(const EscherClientBytes *bytes)
{
    if (!bytes || !bytes->bytes || bytes->length != sizeof(ExcelClientRecord))
        return nullptr;
    return reinterpret_cast<const ExcelClientRecord *>(bytes->bytes);
}

// The object a client record names in the sheet being placed.
const ExcelObject *objectOf(const ExcelDrawHost *host, const ExcelClientRecord *rec)
{
    const ExcelLoadSheet *sheet = host ? host->sheet : nullptr;
    if (!rec || !sheet || rec->object >= sheet->objectCount)
        return nullptr;
    return &sheet->objects[rec->object];
}

int32_t insetOf(const EscherPropSet *set, uint32_t id, int32_t fallback)
{
    const EscherProp *p = Escher_propFind(id, set);
    return p ? int32_t((int64_t(int32_t(p->value)) << 16) / 914400) : fallback;
}

int64_t columnWidth(const SheetMetrics *m, uint32_t c)
{
    if (c < m->columnCount && m->columnWidths)
        return m->columnWidths[c];
    return int64_t(m->scale) * 2048 / 256 + SheetGrid_minColumnWidth;
}

// x of the point offset/1024 across column c, from the grid's left edge.
int64_t columnX(const SheetMetrics *m, uint32_t c, uint32_t offset)
{
    int64_t x = 0;
    for (uint32_t k = 0; k < c; k++)
        x += columnWidth(m, k);
    return x + int64_t(offset) * columnWidth(m, c) / 1024;
}

// y of the point offset/256 down row r, from the grid's top.
int64_t rowY(const SheetMetrics *m, uint32_t r, uint32_t offset)
{
    int64_t top, height;
    uint32_t n = m->rowPositions ? m->rowCount : 0;
    if (r < n) {
        top = r ? m->rowPositions[r - 1] : 0;
        height = int64_t(m->rowPositions[r]) - top;
    } else {
        top = (n ? int64_t(m->rowPositions[n - 1]) : 0) + int64_t(r - n) * defaultRowUnits;
        height = defaultRowUnits;
    }
    return top + int64_t(offset) * height / 256;
}

int addGroupId(ExcelLoad *load, Edr_Node *group, StyleRule **rule)
{
    uint32_t id = 0;
    int rc = Excel_Book_addElementRule(load, rule, &id);
    if (rc == Res_ok)
        rc = Edr_Node_addId(load->doc, group, id);
    return rc;
}

// The characters [start, end) of text as a group styled with the font
// (none: unstyled), one text node per line (each ends after its line feed).
int textRuns(ExcelDrawHost *host, Edr_Node *parent, const char16_t *text, uint32_t start,
             uint32_t end, int32_t font)
{
    Edr_Doc *doc = host->load->doc;
    Edr_Node *group = nullptr;
    int rc = Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, 0, &group);
    if (rc != Res_ok)
        return rc;
    if (font >= 0) {
        uint32_t id = 0;
        int f = ExcelDraw_fontStyle(host, &id, uint32_t(font));
        if (f == Res_ok)
            rc = Edr_Node_addId(doc, group, id);
        else if (f == Res_noMemory)
            rc = f; // a font the workbook lacks leaves the run unstyled
    }
    for (uint32_t at = start; rc == Res_ok && at < end;) {
        uint32_t stop = at;
        while (stop < end && text[stop] != 10)
            stop++;
        if (stop < end)
            stop++; // the line feed stays with its line
        rc = Edr_Node_createText(doc, group, Edr_Insert_lastChild, nullptr, text + at, stop - at);
        at = stop;
    }
    Edr_Node_release(doc, group);
    return rc;
}

} // namespace

// ------------------------------------------------------------ gathering

int ExcelDraw_openGroup(ExcelLoad *load, const ExcelRecordHeader *header)
{
    if (!load || !header || !load->stream)
        return Res_missingArgument;
    OleStream *stream = load->stream;
    uint8_t *bytes = nullptr;
    int rc = readBody(stream, header->length, &bytes);
    if (rc != Res_ok)
        return rc;
    ExcelDrawHost *host = hostOf(load);
    if (!host) {
        Mem_free(bytes);
        return Res_noMemory;
    }
    if (host->drawing || header->length < 8) {
        Mem_free(bytes); // a second group, or one too short to name its size, is passed over
        return Res_ok;
    }
    uint32_t size = gatherSize(bytes, header->length, stream);
    uint32_t got = header->length;
    while (got < size) {
        ExcelRecordHeader h;
        rc = Excel_readRecordHeader(stream, &h);
        if (rc != Res_ok)
            break;
        if (h.type != recContinue && h.type != recDrawingGroup) {
            rc = stepBack(stream);
            break;
        }
        if (h.type == recDrawingGroup && load->workbook && load->version == Excel_biff8) {
            ExcelWorkbook *wb = load->workbook;
            rc = RecList_append(&wb->recHead, &wb->recTail, RecList_appendAtEnd, h.type, h.length,
                                Ole_streamTell(stream), nullptr);
            if (rc != Res_ok)
                break;
        }
        uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(bytes, size_t(got) + h.length));
        if (!grown) {
            rc = Res_noMemory;
            break;
        }
        bytes = grown;
        rc = Ole_streamReadExact(stream, bytes + got, h.length);
        if (rc != Res_ok)
            break;
        got += h.length;
    }
    if (rc != Res_ok) {
        Mem_free(bytes);
        return rc;
    }
    EscherDrawing *d = nullptr;
    rc = Escher_openDrawingMemory(load->context, bytes, got, &d, ExcelDraw_styleHook,
                                  ExcelDraw_shapeHook, ExcelDraw_clientHook, host);
    if (rc != Res_ok) {
        Mem_free(bytes);
        // A group that cannot be read leaves the workbook without drawings.
        return rc == Res_noMemory || rc == Res_stopRequested ? rc : int(Res_ok);
    }
    EscherSource_initMemory(&d->delay, bytes, got);
    EscherSource_initNone(&d->main);
    host->drawing = d;
    host->bytes = bytes;
    host->length = got;
    return Res_ok;
}

int ExcelDraw_readSheetDrawing(ExcelLoad *load, ExcelLoadSheet *sheet, const uint8_t *body,
                               uint32_t length)
{
    if (!load || !sheet || !load->stream || (!body && length))
        return Res_missingArgument;
    ExcelDrawHost *host = load->draw;
    if (!host || !host->drawing)
        return ExcelDraw_errNoGroup;
    if (!sheet->drawingState) {
        sheet->drawingState =
            static_cast<ExcelSheetDrawing *>(Mem_calloc(1, sizeof(ExcelSheetDrawing)));
        if (!sheet->drawingState)
            return Res_noMemory;
    }
    ExcelSheetDrawing *sd = sheet->drawingState;
    ExcelDraw_clientRecordsFree(sd);
    if (length < 9)
        return Res_ok;
    OleStream *stream = load->stream;
    uint32_t size = gatherSize(body, length, stream);
    uint8_t *bytes = static_cast<uint8_t *>(Mem_malloc(size));
    if (!bytes)
        return Res_noMemory;
    memcpy(bytes, body, length);
    uint32_t got = length;
    int rc = Res_ok;
    while (rc == Res_ok && got < size) {
        ExcelRecordHeader h;
        rc = Excel_readRecordHeader(stream, &h);
        if (rc != Res_ok)
            break;
        switch (h.type) {
        case recContinue:
        case recDrawing:
            if (uint64_t(got) + h.length > size) {
                rc = stepBack(stream);
                if (rc == Res_ok)
                    rc = ExcelDraw_errRecord;
                break;
            }
            if (h.type == recDrawing)
                rc = RecList_append(&sheet->drawing[0], &sheet->drawing[1], RecList_appendAtEnd,
                                    h.type, h.length, Ole_streamTell(stream), nullptr);
            if (rc == Res_ok)
                rc = Ole_streamReadExact(stream, bytes + got, h.length);
            got += h.length;
            break;
        case recObj:
        case recTxo: rc = clientRecord(load, sheet, sd, h, got); break;
        default:
            // Not part of a drawing: the sheet walk reads it.
            rc = stepBack(stream);
            if (rc == Res_ok)
                rc = ExcelDraw_errRecord;
            break;
        }
    }
    if (rc == Res_ok) {
        // The object (and its text) of the last shape follows the run.
        for (int more = 0; rc == Res_ok && more < 2; more++) {
            ExcelRecordHeader h;
            if (Excel_readRecordHeader(stream, &h) != Res_ok)
                break; // the sheet walk meets the end itself
            if (h.type != recObj && h.type != recTxo) {
                rc = stepBack(stream);
                break;
            }
            rc = clientRecord(load, sheet, sd, h, got);
            if (h.type == recTxo)
                break;
        }
    }
    if (rc == Res_ok) {
        EscherDrawing *d = host->drawing;
        EscherSource_initMemory(&d->main, bytes, got);
        host->sheet = sheet;
        EscherDrawingGroup *group = nullptr;
        rc = Escher_readDrawingGroup(d, &group);
        host->sheet = nullptr;
        if (rc == Res_ok) {
            if (!sd->groupLent)
                Escher_drawingGroupFree(sd->group);
            sd->group = group;
            sd->groupLent = 0;
        }
    }
    EscherSource_initNone(&host->drawing->main);
    Mem_free(bytes);
    return rc;
}

// -------------------------------------------------------------- hooks

int ExcelDraw_clientHook(void *user, EscherClientBytes *record)
{
    ExcelDrawHost *host = static_cast<ExcelDrawHost *>(user);
    if (!host || !record || !host->sheet || !host->sheet->drawingState || !host->drawing)
        return Res_ok;
    const ExcelSheetDrawing *sd = host->sheet->drawingState;
    uint32_t at = EscherSource_tell(&host->drawing->main);
    for (uint32_t i = sd->count; i-- > 0;) {
        if (sd->records[i].position != at)
            continue;
        record->bytes = static_cast<uint8_t *>(Mem_malloc(sizeof(ExcelClientRecord)));
        if (!record->bytes)
            return Res_noMemory;
        ExcelClientRecord copy = sd->records[i];
        if (copy.kind == ExcelClient_object && copy.object < host->sheet->objectCount) {
            copy.objectType = host->sheet->objects[copy.object].type;
            copy.objectId = host->sheet->objects[copy.object].id;
        }
        memcpy(record->bytes, &copy, sizeof(ExcelClientRecord));
        record->length = sizeof(ExcelClientRecord);
        return Res_ok;
    }
    return Res_ok;
}

int ExcelDraw_styleHook(void *user, StyleRule *rule, uint32_t *id)
{
    ExcelDrawHost *host = static_cast<ExcelDrawHost *>(user);
    if (id)
        *id = 0;
    if (!host || !host->load || !rule || !id)
        return Res_missingArgument;
    StyleRule *copy = nullptr;
    int rc = StyleRule_clone(&copy, rule);
    if (rc != Res_ok)
        return rc;
    return Excel_Book_addElementRule(host->load, &copy, id);
}

int ExcelDraw_shapeHook(void *user, Edr_Node *node, const EscherShape *shape, const int32_t rect[4],
                        int32_t shapeRotation)
{
    ExcelDrawHost *host = static_cast<ExcelDrawHost *>(user);
    if (!host || !node || !shape || !rect)
        return Res_ok;
    if (!clientOf(&shape->textbox) && !clientOf(&shape->clientData))
        return Res_ok;
    int32_t r[4] = {rect[0], rect[1], rect[2], rect[3]};
    if (r[2] < 0) {
        r[0] += r[2];
        r[2] = -r[2];
    }
    if (r[3] < 0) {
        r[1] += r[3];
        r[3] = -r[3];
    }
    int32_t rotation = 0;
    const EscherProp *flow = Escher_propFind(propTextFlow, shape->props);
    if (flow && (flow->value == 1 || flow->value == 3 || flow->value == 5))
        rotation = int32_t(quarterTurn);
    else if (flow && flow->value == 2)
        rotation = -int32_t(quarterTurn);
    if (rotation) {
        // The box turns about its centre: width and height trade places.
        int64_t cx = int64_t(r[0]) + r[2] / 2, cy = int64_t(r[1]) + r[3] / 2;
        std::swap(r[2], r[3]);
        r[0] = clamp32(cx - r[2] / 2);
        r[1] = clamp32(cy - r[3] / 2);
    }
    Shape_applyTextInsets(r, shape->props);
    // The shape's own turn comes on top of the text flow's (the box was
    // already placed upright in its turned outline's place).
    rotation = int32_t(uint32_t(rotation) + uint32_t(shapeRotation)) % int32_t(4 * quarterTurn);
    int rc = ExcelDraw_textBox(host, node, &shape->textbox, r, rotation);
    if (rc == Res_ok)
        rc = ExcelDraw_textBox(host, node, &shape->clientData, r, rotation);
    return rc;
}

// ------------------------------------------------------------ placing

void ExcelDraw_anchorRect(const SheetGrid *grid, int32_t xOrigin, int32_t yOrigin, ShapeRect *out,
                          const uint8_t *anchor)
{
    if (!out)
        return;
    *out = ShapeRect{xOrigin, yOrigin, 0, 0};
    const SheetMetrics *m = grid ? grid->metrics : nullptr;
    if (!m || !anchor)
        return;
    int64_t x0 = columnX(m, Bytes_peekU16Le(anchor + 2), Bytes_peekU16Le(anchor + 4));
    int64_t x1 = columnX(m, Bytes_peekU16Le(anchor + 10), Bytes_peekU16Le(anchor + 12));
    if (grid->rightToLeft) {
        // Mirrored: columns count from the right edge.
        int64_t total = columnX(m, m->columnCount, 0);
        x0 = total - x0;
        x1 = total - x1;
    }
    int64_t y0 = rowY(m, Bytes_peekU16Le(anchor + 6), Bytes_peekU16Le(anchor + 8));
    int64_t y1 = rowY(m, Bytes_peekU16Le(anchor + 14), Bytes_peekU16Le(anchor + 16));
    out->x = clamp32(xOrigin + x0);
    out->y = clamp32(yOrigin + y0);
    out->w = clamp32(x1 - x0);
    out->h = clamp32(y1 - y0);
}

void ExcelDraw_resolveColours(ExcelDrawHost *host, EscherDrawingGroup *group)
{
    if (!host || !host->load || !host->load->workbook || !group)
        return;
    const ExcelPalette *palette = &host->load->workbook->palette;
    for (uint32_t i = 0; i < group->count; i++) {
        EscherPropSet *set = group->shapes[i].props;
        for (uint32_t k = 0; set && k < set->count; k++) {
            EscherProp &p = set->entries[k];
            if ((p.id != propLineColour && p.id != propFillColour && p.id != propFillBackColour) ||
                (p.flags & EscherProp_complex) || !(p.value & paletteFlag))
                continue;
            const uint8_t *rgb = Excel_Palette_entry(palette, p.value & 0xFF);
            if (rgb)
                p.value = uint32_t(rgb[0]) | (uint32_t(rgb[1]) << 8) | (uint32_t(rgb[2]) << 16);
        }
    }
}

int ExcelDraw_chartShape(ExcelDrawHost *host, uint32_t index, const ShapeRect *rect, Edr_Doc *doc,
                         Edr_Node *parent)
{
    ExcelLoad *load = host ? host->load : nullptr;
    ExcelLoadSheet *sheet = host ? host->sheet : nullptr;
    if (!load || !sheet || !rect || !doc || !parent || index >= sheet->objectCount)
        return Res_ok;
    const ExcelObject *object = &sheet->objects[index];
    if (object->type != Excel_objChart || !object->chart || rect->w <= 0 || rect->h <= 0)
        return Res_ok;
    // The chart's series name their sheet: the one being placed.
    const char16_t *name = nullptr;
    for (const ExcelSheetEntry *e = load->sheets; e && !name; e = e->next)
        if (e->sheet == sheet)
            name = e->name;
    int32_t box[4] = {rect->x, rect->y, rect->w, rect->h};
    int rc = Excel_chartPlaceObject(load, object, doc, parent, box, name);
    // A chart that cannot be read is left out; the sheet still shows.
    if (rc == Res_noMemory || rc == Res_stopRequested)
        return rc;
    return Res_ok;
}

int ExcelDraw_placeSheet(ExcelLoad *book, const SheetGrid *grid, Edr_Doc *doc, Edr_Node *parent)
{
    if (!book || !grid || !doc || !parent)
        return Res_missingArgument;
    ExcelDrawHost *host = book->draw;
    ExcelLoadSheet *sheet = book->layoutSheet;
    ExcelSheetDrawing *sd = sheet ? sheet->drawingState : nullptr;
    if (!host || !host->drawing || !sd || !sd->group)
        return Res_ok;
    EscherDrawingGroup *group = sd->group;
    host->sheet = sheet;
    host->grid = grid;
    host->drawing->current = group;
    ExcelDraw_resolveColours(host, group);
    // Positions are in the frame of the page body holding the grid: the
    // grid's top is the body's top (below the header and the top margin)
    // and its left edge lies at the page's left margin.
    int32_t xOrigin = Excel_Page_margin(sheet->margins[0]);
    int32_t yOrigin = 0;
    int rc = Res_ok;
    for (uint32_t i = 0; rc == Res_ok && i < group->count; i++) {
        EscherShape *e = &group->shapes[i];
        if (!(e->flags & EscherFsp_haveAnchor) || (e->flags & EscherFsp_deleted) ||
            e->clientAnchor.length != anchorBytes || !e->clientAnchor.bytes)
            continue;
        ShapeRect rect;
        ExcelDraw_anchorRect(grid, xOrigin, yOrigin, &rect, e->clientAnchor.bytes);
        const ExcelClientRecord *client = clientOf(&e->clientData);
        const ExcelObject *object =
            client && client->kind == ExcelClient_object ? objectOf(host, client) : nullptr;
        if (object && object->type == Excel_objNote)
            continue; // notes show through their cells
        if (object && object->type == Excel_objChart) {
            int32_t box[4] = {rect.x, rect.y, rect.w, rect.h};
            Shape_applyTextInsets(box, e->props);
            ShapeRect inner{box[0], box[1], box[2], box[3]};
            rc = ExcelDraw_chartShape(host, client->object, &inner, doc, parent);
            continue;
        }
        rc = Shape_placeTree(doc, parent, host->drawing, group, int32_t(i), &rect, 0);
    }
    host->drawing->current = nullptr;
    host->sheet = nullptr;
    host->grid = nullptr;
    return rc;
}

void Shape_applyTextInsets(int32_t rect[4], const EscherPropSet *set)
{
    int64_t left = insetOf(set, propTextLeft, insetLeftRight);
    int64_t right = insetOf(set, propTextRight, insetLeftRight);
    int64_t top = insetOf(set, propTextTop, insetTopBottom);
    int64_t bottom = insetOf(set, propTextBottom, insetTopBottom);
    rect[0] = clamp32(rect[0] + left);
    rect[2] = clamp32(std::max<int64_t>(int64_t(rect[2]) - left - right, 0));
    rect[1] = clamp32(rect[1] + top);
    rect[3] = clamp32(std::max<int64_t>(int64_t(rect[3]) - top - bottom, 0));
}

// ---------------------------------------------------------- text boxes

int ExcelDraw_fontStyle(ExcelDrawHost *host, uint32_t *id, uint32_t font)
{
    if (id)
        *id = 0;
    if (!host || !host->load || !id)
        return Res_missingArgument;
    ExcelLoad *load = host->load;
    uint32_t slot = font >= 4 ? font - 1 : font; // the font table has no index 4
    if (slot >= load->fontCount || !load->fontRules || !load->fontRules[slot])
        return Res_nullInput;
    if (!host->fontStyles) {
        host->fontStyles = static_cast<uint32_t *>(Mem_calloc(load->fontCount, sizeof(uint32_t)));
        if (!host->fontStyles)
            return Res_noMemory;
        host->fontStyleCount = load->fontCount;
    }
    if (slot >= host->fontStyleCount)
        return Res_nullInput;
    if (host->fontStyles[slot]) {
        *id = host->fontStyles[slot];
        return Res_ok;
    }
    StyleRule *copy = nullptr;
    int rc = StyleRule_clone(&copy, load->fontRules[slot]);
    if (rc == Res_ok)
        rc = Excel_Book_addElementRule(load, &copy, id);
    if (rc == Res_ok)
        host->fontStyles[slot] = *id;
    return rc;
}

int ExcelDraw_textBox(ExcelDrawHost *host, Edr_Node *parent, const EscherClientBytes *client,
                      const int32_t rect[4], int32_t rotation)
{
    const ExcelClientRecord *rec = clientOf(client);
    const ExcelObject *object = objectOf(host, rec);
    if (!object || !parent || !host->load || !host->load->doc)
        return Res_ok;
    if (rec->kind == ExcelClient_object) {
        if (object->type != Excel_objChart || !object->chart)
            return Res_ok;
        ShapeRect r{rect[0], rect[1], rect[2], rect[3]};
        return ExcelDraw_chartShape(host, rec->object, &r, host->load->doc, parent);
    }
    const ExcelTextObject *t = object->text;
    int32_t x = rect[0], y = rect[1], w = rect[2], h = rect[3];
    if (!t || !t->text || !t->length || w <= 0 || h <= 0)
        return Res_ok;
    uint32_t vertical = (t->options >> 4) & 7, horizontal = (t->options >> 1) & 7;
    uint32_t verticalKeyword = KwId_middle;
    int64_t top = int64_t(y) + h / 2;
    if (vertical == 1) {
        verticalKeyword = KwId_top;
        top = y;
    } else if (vertical == 3) {
        verticalKeyword = KwId_bottom;
        top = int64_t(y) + h;
    }
    uint32_t horizontalKeyword = horizontal == 1   ? KwId_left
                                 : horizontal == 3 ? KwId_right
                                 : horizontal == 4 ? KwId_justify
                                                   : KwId_center;
    Edr_Doc *doc = host->load->doc;
    Prop p;
    Prop_zero(&p);
    Prop_set(&p, PropId_position, PropType_pointer, uintptr_t(uint32_t(x)), uint32_t(clamp32(top)));
    int rc = Edr_Node_createData(doc, parent, Edr_Insert_lastChild, nullptr, &p);
    if (rc != Res_ok)
        return rc;
    Edr_Node *group = nullptr;
    rc = Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, 0, &group);
    if (rc != Res_ok)
        return rc;
    StyleRule *rule = nullptr;
    rc = StyleRule_create(&rule);
    if (rc == Res_ok)
        rc = StyleRule_addLength(rule, &p, PropId_width, w);
    if (rc == Res_ok && rotation) {
        Matrix m;
        Matrix_setIdentity(&m);
        Matrix_rotation(&m, int32_t(0u - uint32_t(rotation)));
        Prop_set(&p, PropId_transform, PropType_matrix, reinterpret_cast<uintptr_t>(&m), 0);
        rc = StyleRule_appendProp(rule, &p);
        if (rc == Res_ok)
            rc = StyleRule_addLength(rule, &p, PropId_height, h);
    }
    if (rc == Res_ok)
        rc = StyleRule_addKeyword(rule, &p, PropId_verticalAnchor, uint16_t(verticalKeyword));
    if (rc == Res_ok)
        rc = StyleRule_addKeyword(rule, &p, PropId_overflow, KwId_hidden);
    if (rc == Res_ok)
        rc = StyleRule_addKeyword(rule, &p, PropId_display, KwId_block);
    if (rc == Res_ok)
        rc = StyleRule_addKeyword(rule, &p, PropId_textAlign, uint16_t(horizontalKeyword));
    if (rc == Res_ok)
        rc = StyleRule_addKeyword(rule, &p, PropId_whiteSpace, KwId_preWrap);
    if (rc == Res_ok)
        rc = addGroupId(host->load, group, &rule);
    else
        StyleRule_destroy(rule);
    // The runs: each from its first character to the next run's, the first
    // from the start of the text.
    uint32_t n = t->runs ? t->runCount : 0;
    if (rc == Res_ok && n == 0)
        rc = textRuns(host, group, t->text, 0, t->length, -1);
    for (uint32_t i = 0; rc == Res_ok && i < n; i++) {
        uint32_t start = i ? std::min<uint32_t>(t->runs[i].first, t->length) : 0;
        uint32_t end = i + 1 < n ? std::min<uint32_t>(t->runs[i + 1].first, t->length) : t->length;
        if (end > start)
            rc = textRuns(host, group, t->text, start, end, t->runs[i].font);
    }
    Edr_Node_release(doc, group);
    return rc;
}

// ------------------------------------------------------------ records

int ExcelDraw_addClientRecord(ExcelSheetDrawing *drawing, uint32_t position, uint32_t kind,
                              uint32_t object)
{
    if (!drawing)
        return Res_missingArgument;
    if (drawing->count == drawing->capacity) {
        uint32_t cap = drawing->capacity ? drawing->capacity * 2 : 16;
        ExcelClientRecord *r = static_cast<ExcelClientRecord *>(
            Mem_realloc(drawing->records, size_t(cap) * sizeof(ExcelClientRecord)));
        if (!r)
            return Res_noMemory;
        drawing->records = r;
        drawing->capacity = cap;
    }
    ExcelClientRecord &r = drawing->records[drawing->count++];
    r = ExcelClientRecord{};
    r.position = position;
    r.kind = kind;
    r.object = object;
    return Res_ok;
}

void ExcelDraw_clientRecordsFree(ExcelSheetDrawing *drawing)
{
    if (!drawing)
        return;
    // The records name the sheet's objects, which own what they parsed.
    Mem_free(drawing->records);
    drawing->records = nullptr;
    drawing->count = drawing->capacity = 0;
}

void ExcelDraw_sheetFree(ExcelSheetDrawing *drawing)
{
    if (!drawing)
        return;
    ExcelDraw_clientRecordsFree(drawing);
    if (!drawing->groupLent)
        Escher_drawingGroupFree(drawing->group);
    Mem_free(drawing);
}

void ExcelDraw_free(ExcelLoad *load)
{
    if (!load || !load->draw)
        return;
    ExcelDrawHost *host = load->draw;
    Escher_drawingStateFree(host->drawing);
    Mem_free(host->bytes);
    Mem_free(host->fontStyles);
    Mem_free(host);
    load->draw = nullptr;
}

void ExcelDraw_objectsExtent(const ExcelLoadSheet *sheet, uint32_t *columns, uint32_t *rows)
{
    uint32_t c = 0, r = 0;
    const ExcelSheetDrawing *sd = sheet ? sheet->drawingState : nullptr;
    const EscherDrawingGroup *g = sd ? sd->group : nullptr;
    for (uint32_t i = 0; g && i < g->count; i++) {
        const EscherShape &e = g->shapes[i];
        if (!(e.flags & EscherFsp_haveAnchor) || e.clientAnchor.length != anchorBytes ||
            !e.clientAnchor.bytes)
            continue;
        c = std::max<uint32_t>(c, uint32_t(Bytes_peekU16Le(e.clientAnchor.bytes + 10)) + 1);
        r = std::max<uint32_t>(r, uint32_t(Bytes_peekU16Le(e.clientAnchor.bytes + 14)) + 1);
    }
    if (columns)
        *columns = c;
    if (rows)
        *rows = r;
}

EscherShape *Excel_noteShow(const ExcelNoteData *data)
{
    EscherDrawingGroup *g = data ? static_cast<EscherDrawingGroup *>(data->drawing) : nullptr;
    for (uint32_t i = 0; g && i < g->count; i++) {
        EscherShape *e = &g->shapes[i];
        const EscherClientBytes *b = &e->clientData;
        if (!b->bytes || b->length != sizeof(ExcelClientRecord))
            continue;
        ExcelClientRecord *r = reinterpret_cast<ExcelClientRecord *>(b->bytes);
        if (r->kind == ExcelClient_object && r->objectType == Excel_objNote &&
            r->objectId == data->objectId) {
            r->flags |= ExcelClient_shown;
            return e;
        }
    }
    return nullptr;
}

void ExcelDraw_keepGroup(ExcelLoad *load, const SheetGrid *grid)
{
    ExcelLoadSheet *sheet = load ? load->layoutSheet : nullptr;
    ExcelSheetDrawing *sd = sheet ? sheet->drawingState : nullptr;
    if (!sd || !sd->group || !load->workbook || !grid)
        return;
    for (ExcelBookItem *i = load->workbook->items; i; i = i->next) {
        if (i->kind == Excel_itemWorksheet && i->payload == grid && !i->drawing) {
            i->drawing = sd->group;
            sd->group = nullptr;
            return;
        }
    }
}
