// The chart substream reader: BIFF5 and BIFF8 chart records into the chart
// model (spreadsheet/chart/chart.h).
//
// The substream is gathered into memory first (up to its EOF) and read
// there, so that a record's body is always whole and every count, length
// and nesting level can be checked against what is really there. Records
// the model does not use are skipped; Begin/End blocks the reader does not
// want are skipped whole, counting nested pairs. Cached values (NUMBER and
// LABEL after the chart body) are stored only for points the series
// declares, and their total is bounded by the substream's size.
#include <cmath>
#include <cstring>

#include "core/container/gradient.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "core/stream/bytestream.h"
#include "office/ole2/ole.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"

namespace {

enum : uint16_t {
    recEof = 0x000A,
    recExternCount = 0x0016,
    recExternSheet = 0x0017,
    recNumber = 0x0203,
    recLabel = 0x0204,
    recBof = 0x0809,
    recChart = 0x1002,
    recSeries = 0x1003,
    recDataFormat = 0x1006,
    recLineFormat = 0x1007,
    recMarkerFormat = 0x1009,
    recAreaFormat = 0x100A,
    recPieFormat = 0x100B,
    recSeriesText = 0x100D,
    recChartFormat = 0x1014,
    recLegend = 0x1015,
    recBar = 0x1017,
    recLine = 0x1018,
    recPie = 0x1019,
    recAxis = 0x101D,
    recTick = 0x101E,
    recValueRange = 0x101F,
    recCatSerRange = 0x1020,
    recAxisLine = 0x1021,
    recText = 0x1025,
    recFontX = 0x1026,
    recObjectLink = 0x1027,
    recFrame = 0x1032,
    recBegin = 0x1033,
    recEnd = 0x1034,
    recPlotArea = 0x1035,
    recAxisParent = 0x1041,
    recSerToCrt = 0x1045,
    recAxesUsed = 0x1046,
    recSerParent = 0x104A,
    recIfmt = 0x104E,
    recPos = 0x104F,
    recBrai = 0x1051,
    recSerAuxErrBar = 0x105B,
    recSiIndex = 0x1065,
    recGelFrame = 0x1066,
    recAxcExt = 0x1062,
    recYMult = 0x0857,
};

double rdDouble(const uint8_t *p)
{
    uint64_t bits = uint64_t(Bytes_peekU32Le(p)) | uint64_t(Bytes_peekU32Le(p + 4)) << 32;
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

// The reader's state over the gathered substream.
struct Reader {
    const uint8_t *data;
    size_t size;
    size_t pos;    // the next record header
    uint32_t base; // stream position of data[0]
    uint32_t version;
    const ExcelWorkbook *workbook;
    XlsChart *chart;
    // The record just read.
    uint16_t type;
    const uint8_t *body;
    uint32_t length;
    uint32_t recordPos; // stream position of its header
    uint32_t depth;
};

bool biff8(const Reader *r)
{
    return r->version >= Excel_biff8;
}

// Reads the next record. 0; 12544 when the data ends inside one or there
// is none left.
int next(Reader *r)
{
    if (r->size - r->pos < 4)
        return XlsChart_errMalformed;
    const uint8_t *h = r->data + r->pos;
    uint32_t n = Bytes_peekU16Le(h + 2);
    if (r->size - r->pos - 4 < n)
        return XlsChart_errMalformed;
    r->type = Bytes_peekU16Le(h);
    r->length = n;
    r->body = h + 4;
    r->recordPos = r->base + uint32_t(r->pos);
    r->pos += 4 + n;
    return Res_ok;
}

// The type of the next record without reading it (0 when none).
uint16_t peek(const Reader *r)
{
    if (r->size - r->pos < 4)
        return 0;
    return Bytes_peekU16Le(r->data + r->pos);
}

// Skips a block whose Begin was just read, counting nested pairs.
int skipBlock(Reader *r)
{
    uint32_t depth = 1;
    while (depth) {
        int rc = next(r);
        if (rc != Res_ok)
            return rc;
        if (r->type == recBegin)
            depth++;
        else if (r->type == recEnd)
            depth--;
        else if (r->type == recEof)
            return XlsChart_errMalformed;
    }
    return Res_ok;
}

// Reads the Begin that must follow a record whose block the reader wants.
int expectBegin(Reader *r)
{
    if (peek(r) != recBegin)
        return XlsChart_errMalformed;
    return next(r);
}

// Enters a nested block: the depth is bounded so that hostile nesting
// cannot exhaust the stack.
int enter(Reader *r)
{
    if (r->depth >= XlsChart_maxDepth)
        return XlsChart_errMalformed;
    r->depth++;
    return Res_ok;
}

char16_t *latin1(const uint8_t *p, size_t n)
{
    char16_t *s = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!s)
        return nullptr;
    for (size_t i = 0; i < n; i++)
        s[i] = p[i];
    s[n] = 0;
    return s;
}

char16_t *wide(const uint8_t *p, size_t n)
{
    char16_t *s = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!s)
        return nullptr;
    for (size_t i = 0; i < n; i++)
        s[i] = char16_t(Bytes_peekU16Le(p + 2 * i));
    s[n] = 0;
    return s;
}

// A string of count characters at p with BIFF8 flags byte (when biff8)
// within the bytes to end; a string longer than its record is cut to what
// is there. *out null and 0 for an empty string.
int readChars(const Reader *r, const uint8_t *p, const uint8_t *end, uint32_t count, char16_t **out)
{
    *out = nullptr;
    bool w = false;
    if (biff8(r)) {
        if (p >= end)
            return Res_ok;
        w = *p & 1;
        p++;
    }
    size_t room = size_t(end - p) / (w ? 2 : 1);
    if (count > room)
        count = uint32_t(room);
    if (!count)
        return Res_ok;
    *out = w ? wide(p, count) : latin1(p, count);
    return *out ? Res_ok : Res_noMemory;
}

void colourOf(const uint8_t *p, uint8_t out[4], uint32_t *word)
{
    out[0] = p[0];
    out[1] = p[1];
    out[2] = p[2];
    out[3] = 255;
    if (word)
        *word = Bytes_peekU32Le(p);
}

void readLine(const Reader *r, XlsChartLine *line)
{
    *line = XlsChartLine{};
    if (r->length < 10)
        return;
    colourOf(r->body, line->colour, &line->colourWord);
    line->pattern = Bytes_peekU16Le(r->body + 4);
    line->weight = int16_t(Bytes_peekU16Le(r->body + 6));
    line->flags = Bytes_peekU16Le(r->body + 8);
    if (biff8(r) && r->length >= 12)
        line->colourIndex = Bytes_peekU16Le(r->body + 10);
}

void readArea(const Reader *r, XlsChartArea *area)
{
    *area = XlsChartArea{};
    if (r->length < 12)
        return;
    colourOf(r->body, area->foreground, &area->foregroundWord);
    colourOf(r->body + 4, area->background, &area->backgroundWord);
    area->pattern = Bytes_peekU16Le(r->body + 8);
    area->flags = Bytes_peekU16Le(r->body + 10);
    if (biff8(r) && r->length >= 16) {
        area->foregroundIndex = Bytes_peekU16Le(r->body + 12);
        area->backgroundIndex = Bytes_peekU16Le(r->body + 14);
    }
}

uint8_t opacity(uint32_t v)
{
    return v >= 0xFF00 ? 255 : uint8_t(v >> 8);
}

// The fill properties of a GelFrame body (an OfficeArt property table).
void readGel(const Reader *r, XlsChartGelFrame *gel)
{
    *gel = XlsChartGelFrame{};
    gel->present = 1;
    gel->fillOpacity = gel->backOpacity = 255;
    for (uint32_t at = 8; at + 6 <= r->length; at += 6) {
        uint32_t id = Bytes_peekU16Le(r->body + at) & 0x3FFF;
        uint32_t v = Bytes_peekU32Le(r->body + at + 2);
        if (id == 0x01BF)
            break;
        switch (id) {
        case 0x0180: gel->fillType = v; break;
        case 0x0181: gel->fillColour = v; break;
        case 0x0182: gel->fillOpacity = opacity(v); break;
        case 0x0183: gel->backColour = v; break;
        case 0x0184: gel->backOpacity = opacity(v); break;
        case 0x018B: {
            // 16.16 degrees: the angle in 45-degree steps.
            int64_t a = int32_t(v);
            a = a < 0 ? -a : a;
            gel->angleStep = int32_t(a / 45);
            break;
        }
        case 0x018C: gel->focus = int32_t(v); break;
        case 0x018F: gel->further[0] = v; break;
        case 0x0190: gel->further[1] = v; break;
        case 0x0196: gel->further[2] = v; break;
        case 0x0197: gel->further[2] = 0; break;
        case 0x019C: gel->further[3] = v; break;
        default: break;
        }
    }
}

void freeText(XlsChartText *t)
{
    if (!t)
        return;
    Mem_free(t->text);
    Mem_free(t);
}

// ------------------------------------------------------------- blocks

// Reads one record of a block into target: 0 or a failure.
typedef int (*BlockRecordFn)(Reader *r, void *target);

// Reads the block whose Begin was just read, up to its End: each record
// goes to `record`, a nested block that no record took is skipped whole,
// and an EOF inside the block is malformed.
int readBlock(Reader *r, BlockRecordFn record, void *target)
{
    int rc = enter(r);
    if (rc != Res_ok)
        return rc;
    while (rc == Res_ok) {
        rc = next(r);
        if (rc != Res_ok || r->type == recEnd)
            break;
        if (r->type == recBegin)
            rc = skipBlock(r);
        else if (r->type == recEof)
            rc = XlsChart_errMalformed;
        else
            rc = record(r, target);
    }
    r->depth--;
    return rc;
}

// Reads the block of the record just read when a Begin follows it.
int readBlockIfAny(Reader *r, BlockRecordFn record, void *target)
{
    if (peek(r) != recBegin)
        return Res_ok;
    int rc = next(r);
    return rc == Res_ok ? readBlock(r, record, target) : rc;
}

// A record of a frame's block: its line and area formats and the first
// GelFrame.
int frameItem(Reader *r, void *target)
{
    XlsChartFrame *frame = static_cast<XlsChartFrame *>(target);
    switch (r->type) {
    case recLineFormat:
        readLine(r, &frame->line);
        frame->hasLine = 1;
        break;
    case recAreaFormat:
        readArea(r, &frame->area);
        frame->hasArea = 1;
        break;
    case recGelFrame:
        if (!frame->gel.present)
            readGel(r, &frame->gel);
        break;
    default: break;
    }
    return Res_ok;
}

// Reads a Frame record just read and its block into frame.
int frameRecord(Reader *r, XlsChartFrame *frame)
{
    if (r->length >= 2)
        frame->type = Bytes_peekU16Le(r->body);
    int rc = expectBegin(r);
    return rc == Res_ok ? readBlock(r, frameItem, frame) : rc;
}

// A record of a Text record's block: the link, position and text.
int textItem(Reader *r, void *target)
{
    XlsChartText *t = static_cast<XlsChartText *>(target);
    if (r->type == recObjectLink && r->length >= 2) {
        t->link = Bytes_peekU16Le(r->body);
    } else if (r->type == recPos && r->length >= 20) {
        for (int i = 0; i < 4; i++)
            t->position[i] = int32_t(Bytes_peekU32Le(r->body + 4 + 4 * i));
    } else if (r->type == recSeriesText && r->length >= 3) {
        Mem_free(t->text);
        t->text = nullptr;
        return readChars(r, r->body + 3, r->body + r->length, r->body[2], &t->text);
    }
    return Res_ok;
}

// A Text record just read, with its block when one follows: *out a new
// text.
int textRecord(Reader *r, XlsChartText **out)
{
    *out = nullptr;
    XlsChartText *t = static_cast<XlsChartText *>(Mem_calloc(1, sizeof(XlsChartText)));
    if (!t)
        return Res_noMemory;
    if (r->length >= 26) {
        t->align = r->body[0];
        t->valign = r->body[1];
        colourOf(r->body + 4, t->colour, nullptr);
        t->x = int32_t(Bytes_peekU32Le(r->body + 8));
        t->y = int32_t(Bytes_peekU32Le(r->body + 12));
        t->width = int32_t(Bytes_peekU32Le(r->body + 16));
        t->height = int32_t(Bytes_peekU32Le(r->body + 20));
        if (biff8(r) && r->length >= 28)
            t->colourIndex = Bytes_peekU16Le(r->body + 26);
        if (biff8(r) && r->length >= 32)
            t->rotation = Bytes_peekU16Le(r->body + 30);
    }
    int rc = readBlockIfAny(r, textItem, t);
    if (rc != Res_ok) {
        freeText(t);
        return rc;
    }
    *out = t;
    return Res_ok;
}

void freeFormats(XlsChartDataFormat *f)
{
    while (f) {
        XlsChartDataFormat *n = f->next;
        Mem_free(f);
        f = n;
    }
}

// A record of a DataFormat block: the point's line, area, pie and marker
// formats and its first GelFrame.
int dataFormatItem(Reader *r, void *target)
{
    XlsChartDataFormat *f = static_cast<XlsChartDataFormat *>(target);
    switch (r->type) {
    case recLineFormat:
        readLine(r, &f->line);
        f->hasLine = 1;
        break;
    case recAreaFormat:
        readArea(r, &f->area);
        f->hasArea = 1;
        break;
    case recPieFormat:
        if (r->length >= 2)
            f->explosion = Bytes_peekU16Le(r->body);
        break;
    case recMarkerFormat:
        if (r->length >= 10) {
            colourOf(r->body, f->marker.foreground, nullptr);
            colourOf(r->body + 4, f->marker.background, nullptr);
            f->marker.type = Bytes_peekU16Le(r->body + 8);
            if (biff8(r) && r->length >= 20) {
                f->marker.foregroundIndex = Bytes_peekU16Le(r->body + 12);
                f->marker.backgroundIndex = Bytes_peekU16Le(r->body + 14);
                f->marker.size = Bytes_peekU32Le(r->body + 16);
            }
        }
        break;
    case recGelFrame:
        if (!f->gel.present)
            readGel(r, &f->gel);
        break;
    default: break;
    }
    return Res_ok;
}

// A DataFormat record just read, with its block: *out a new format.
int dataFormatRecord(Reader *r, XlsChartDataFormat **out)
{
    *out = nullptr;
    XlsChartDataFormat *f =
        static_cast<XlsChartDataFormat *>(Mem_calloc(1, sizeof(XlsChartDataFormat)));
    if (!f)
        return Res_noMemory;
    if (r->length >= 6) {
        f->point = Bytes_peekU16Le(r->body);
        f->series = Bytes_peekU16Le(r->body + 2);
        f->order = Bytes_peekU16Le(r->body + 4);
    }
    int rc = readBlockIfAny(r, dataFormatItem, f);
    if (rc != Res_ok) {
        Mem_free(f);
        return rc;
    }
    *out = f;
    return Res_ok;
}

void appendFormat(XlsChartDataFormat **head, XlsChartDataFormat *f)
{
    while (*head)
        head = &(*head)->next;
    *head = f;
}

// A record of an Axis block: its value range, ticks, category range, font,
// number format, extents, multiplier and lines.
int axisItem(Reader *r, void *target)
{
    XlsChartAxis *axis = static_cast<XlsChartAxis *>(target);
    switch (r->type) {
    case recValueRange:
        if (r->length >= 42) {
            if (!axis->range) {
                axis->range =
                    static_cast<XlsChartValueRange *>(Mem_calloc(1, sizeof(XlsChartValueRange)));
                if (!axis->range)
                    return Res_noMemory;
            }
            XlsChartValueRange *v = axis->range;
            v->numMin = rdDouble(r->body);
            v->numMax = rdDouble(r->body + 8);
            v->numMajor = rdDouble(r->body + 16);
            v->numMinor = rdDouble(r->body + 24);
            v->numCross = rdDouble(r->body + 32);
            v->flags = Bytes_peekU16Le(r->body + 40);
        }
        break;
    case recTick:
        if (r->length >= 7) {
            axis->majorTick = r->body[0];
            axis->minorTick = r->body[1];
            axis->labelPosition = r->body[2];
            colourOf(r->body + 4, axis->tickColour, nullptr);
            axis->hasTick = 1;
            if (biff8(r) && r->length >= 28)
                axis->tickColourIndex = Bytes_peekU16Le(r->body + 26);
        }
        break;
    case recCatSerRange:
        for (uint32_t i = 0; i < 4 && 2 * i + 2 <= r->length; i++)
            axis->category[i] = Bytes_peekU16Le(r->body + 2 * i);
        break;
    case recFontX:
        if (r->length >= 2 && r->workbook) {
            uint32_t f = Bytes_peekU16Le(r->body);
            // Font indexes count as in XF records: index 4 does not exist.
            uint32_t slot = f >= 4 ? f - 1 : f;
            if (f >= 1 && slot < r->workbook->fontCount && r->workbook->fonts &&
                r->workbook->fonts[slot])
                axis->fontHeight = r->workbook->fonts[slot]->height;
        }
        break;
    case recIfmt:
        if (r->length >= 2)
            axis->format = Bytes_peekU16Le(r->body);
        break;
    case recAxcExt:
        for (uint32_t i = 0; i < 8 && 2 * i + 2 <= r->length; i++)
            axis->axcExt[i] = Bytes_peekU16Le(r->body + 2 * i);
        break;
    case recYMult:
        if (r->length >= 14) {
            ExcelCellValue v{};
            Excel_decodeRk(Bytes_peekU32Le(r->body + 10), &v);
            axis->multiplier = v.kind == Excel_valNumber    ? v.value.number
                               : v.kind == Excel_valInteger ? double(v.value.integer)
                                                            : 0.0;
        }
        break;
    case recAxisLine: {
        uint32_t which = r->length >= 2 ? Bytes_peekU16Le(r->body) : 4;
        if (which > 3 || peek(r) != recLineFormat)
            return XlsChart_errMalformed;
        int rc = next(r);
        if (rc != Res_ok)
            return rc;
        readLine(r, &axis->lines[which]);
        axis->hasLine[which] = 1;
        break;
    }
    default: break;
    }
    return Res_ok;
}

// A record of a Legend block: its frame.
int legendItem(Reader *r, void *target)
{
    XlsChartLegend *l = static_cast<XlsChartLegend *>(target);
    return r->type == recFrame ? frameRecord(r, &l->frame) : Res_ok;
}

// A Legend record just read with its block.
int legendRecord(Reader *r)
{
    XlsChart *c = r->chart;
    if (!c->legend) {
        c->legend = static_cast<XlsChartLegend *>(Mem_calloc(1, sizeof(XlsChartLegend)));
        if (!c->legend)
            return Res_noMemory;
    }
    XlsChartLegend *l = c->legend;
    if (r->length >= 20) {
        l->x = int32_t(Bytes_peekU32Le(r->body));
        l->y = int32_t(Bytes_peekU32Le(r->body + 4));
        l->width = int32_t(Bytes_peekU32Le(r->body + 8));
        l->height = int32_t(Bytes_peekU32Le(r->body + 12));
        l->type = r->body[16];
        l->spacing = r->body[17];
        l->flags = Bytes_peekU16Le(r->body + 18);
    }
    return readBlockIfAny(r, legendItem, l);
}

// The series a chart-group data format names, or null.
XlsChartSeries *seriesAt(XlsChart *c, uint32_t index)
{
    return index < c->seriesCount ? c->series[index] : nullptr;
}

// A record of a ChartFormat block (the chart group): the chart type, the
// legend and the series' data formats.
int chartGroupItem(Reader *r, void *target)
{
    XlsChart *c = static_cast<XlsChart *>(target);
    switch (r->type) {
    case recBar:
        if (r->length >= 6) {
            c->type = XlsChart_typeBar;
            c->option1 = Bytes_peekU16Le(r->body);
            c->option2 = Bytes_peekU16Le(r->body + 2);
            c->groupFlags = Bytes_peekU16Le(r->body + 4);
        }
        break;
    case recLine:
        if (r->length >= 2) {
            c->type = XlsChart_typeLine;
            c->groupFlags = Bytes_peekU16Le(r->body);
        }
        break;
    case recPie:
        if (r->length >= 4) {
            c->option1 = Bytes_peekU16Le(r->body);
            c->option2 = Bytes_peekU16Le(r->body + 2);
            c->type = c->option2 ? XlsChart_typeDoughnut : XlsChart_typePie;
            c->groupFlags = biff8(r) && r->length >= 6 ? Bytes_peekU16Le(r->body + 4) : 0;
            // A pie's plot area shows no frame.
            c->plotFrame.line.pattern = 5;
            c->plotFrame.line.weight = -1;
            c->plotFrame.line.colour[3] = 0;
            c->plotFrame.area.pattern = 0;
            c->plotFrame.area.foreground[3] = 0;
            c->plotFrame.area.background[3] = 0;
        }
        break;
    case recLegend: return legendRecord(r);
    case recDataFormat: {
        XlsChartDataFormat *f = nullptr;
        int rc = dataFormatRecord(r, &f);
        if (rc != Res_ok)
            return rc;
        XlsChartSeries *s = seriesAt(c, f->series);
        if (s)
            appendFormat(&s->formats, f);
        else
            Mem_free(f);
        break;
    }
    default: break;
    }
    return Res_ok;
}

// An axis title of an axis parent: link 2 the value axis, 3 the category
// axis (the series axis when the category axis already has one).
int axisTitle(XlsChart *c, XlsChartText *t)
{
    uint32_t which = t->link == 2 ? 1u : t->link == 3 ? 0u : 3u;
    if (which == 0 && c->axes[0] && c->axes[0]->title)
        which = 2;
    if (which > 2) {
        freeText(t);
        return Res_ok;
    }
    if (!c->axes[which]) {
        c->axes[which] = static_cast<XlsChartAxis *>(Mem_calloc(1, sizeof(XlsChartAxis)));
        if (!c->axes[which]) {
            freeText(t);
            return Res_noMemory;
        }
        c->axes[which]->multiplier = 1.0;
    }
    freeText(c->axes[which]->title);
    c->axes[which]->title = t;
    return Res_ok;
}

// A record of an AxisParent block: the axes with their blocks, the axis
// titles, the plot area's frame and the chart group.
int axisParentItem(Reader *r, void *target)
{
    XlsChart *c = static_cast<XlsChart *>(target);
    switch (r->type) {
    case recAxis: {
        uint32_t which = r->length >= 2 ? Bytes_peekU16Le(r->body) : 3;
        if (which > 2)
            return XlsChart_errMalformed;
        int rc = expectBegin(r);
        if (rc != Res_ok)
            return rc;
        if (!c->axes[which]) {
            c->axes[which] = static_cast<XlsChartAxis *>(Mem_calloc(1, sizeof(XlsChartAxis)));
            if (!c->axes[which])
                return Res_noMemory;
            c->axes[which]->multiplier = 1.0;
        }
        return readBlock(r, axisItem, c->axes[which]);
    }
    case recText: {
        XlsChartText *t = nullptr;
        int rc = textRecord(r, &t);
        return rc == Res_ok ? axisTitle(c, t) : rc;
    }
    case recPlotArea: {
        if (peek(r) != recFrame)
            return XlsChart_errMalformed;
        int rc = next(r);
        if (rc != Res_ok)
            return rc;
        c->hasPlotFrame = 1;
        rc = frameRecord(r, &c->plotFrame);
        c->plotFrameType = c->plotFrame.type;
        return rc;
    }
    case recChartFormat: {
        int rc = expectBegin(r);
        return rc == Res_ok ? readBlock(r, chartGroupItem, c) : rc;
    }
    default: return Res_ok;
    }
}

void freeSeries(XlsChartSeries *s)
{
    if (!s)
        return;
    for (int i = 0; i < 3; i++) {
        Mem_free(s->refs[i].tokens);
        Excel_RefArray_free(s->lists[i]);
    }
    freeFormats(s->formats);
    Mem_free(s->name);
    Mem_free(s);
}

// A BRAI record of a series block: one of the series' references (name,
// values, categories) with its formula tokens.
int seriesReference(Reader *r, XlsChartSeries *s)
{
    if (r->length < 8 || r->body[0] > 2)
        return Res_ok;
    XlsChartRef *ref = &s->refs[r->body[0]];
    Mem_free(ref->tokens);
    *ref = XlsChartRef{};
    ref->position = r->recordPos;
    ref->type = r->body[1];
    ref->formatFlag = Bytes_peekU16Le(r->body + 2);
    ref->format = Bytes_peekU16Le(r->body + 4);
    uint32_t n = Bytes_peekU16Le(r->body + 6);
    if (n > r->length - 8)
        n = r->length - 8;
    if (n) {
        ref->tokens = static_cast<uint8_t *>(Mem_malloc(n));
        if (!ref->tokens)
            return Res_noMemory;
        memcpy(ref->tokens, r->body + 8, n);
        ref->length = uint16_t(n);
    }
    return Res_ok;
}

// A record of a Series block: its name, references, data formats, parent
// and error bars.
int seriesItem(Reader *r, void *target)
{
    XlsChartSeries *s = static_cast<XlsChartSeries *>(target);
    switch (r->type) {
    case recSeriesText:
        if (r->length >= 3) {
            Mem_free(s->name);
            s->name = nullptr;
            return readChars(r, r->body + 3, r->body + r->length, r->body[2], &s->name);
        }
        break;
    case recBrai: return seriesReference(r, s);
    case recDataFormat: {
        XlsChartDataFormat *f = nullptr;
        int rc = dataFormatRecord(r, &f);
        if (rc == Res_ok)
            appendFormat(&s->formats, f);
        return rc;
    }
    case recSerParent:
        if (r->length >= 2)
            s->parent = Bytes_peekU16Le(r->body);
        break;
    case recSerAuxErrBar:
        if (r->length >= 14) {
            s->errorBar.type = r->body[0];
            s->errorBar.source = r->body[1];
            s->errorBar.value = rdDouble(r->body + 4);
            s->errorBar.count = Bytes_peekU16Le(r->body + 12);
        }
        break;
    default: break;
    }
    return Res_ok;
}

int seriesRecord(Reader *r)
{
    XlsChart *c = r->chart;
    int rc = expectBegin(r);
    if (rc != Res_ok)
        return rc;
    if (c->seriesCount == 0xFFFF)
        return XlsChart_errMalformed;
    if (c->seriesCount == c->seriesCapacity) {
        uint32_t cap = c->seriesCapacity ? uint32_t(c->seriesCapacity) * 2 : 4;
        if (cap > 0xFFFF)
            cap = 0xFFFF;
        XlsChartSeries **a =
            static_cast<XlsChartSeries **>(Mem_realloc(c->series, cap * sizeof(XlsChartSeries *)));
        if (!a)
            return Res_noMemory;
        c->series = a;
        c->seriesCapacity = uint16_t(cap);
    }
    XlsChartSeries *s = static_cast<XlsChartSeries *>(Mem_calloc(1, sizeof(XlsChartSeries)));
    if (!s)
        return Res_noMemory;
    rc = readBlock(r, seriesItem, s);
    if (rc != Res_ok) {
        freeSeries(s);
        return rc;
    }
    c->series[c->seriesCount++] = s;
    return Res_ok;
}

// A record of the chart body (the Chart record's block): the title, the
// chart's frame, the axis parents and the series.
int chartItem(Reader *r, void *target)
{
    XlsChart *c = static_cast<XlsChart *>(target);
    switch (r->type) {
    case recText: {
        XlsChartText *t = nullptr;
        int rc = textRecord(r, &t);
        if (rc != Res_ok)
            return rc;
        if (t->link == 1 && !c->title)
            c->title = t;
        else
            freeText(t);
        return Res_ok;
    }
    case recFrame: return frameRecord(r, &c->chartFrame);
    case recAxesUsed:
        if (r->length < 2 || Bytes_peekU16Le(r->body) < 1 || Bytes_peekU16Le(r->body) > 2)
            return XlsChart_errMalformed;
        return Res_ok;
    case recAxisParent: {
        if (r->length < 2 || Bytes_peekU16Le(r->body) > 1)
            return XlsChart_errMalformed;
        if (Bytes_peekU16Le(r->body) == 0 && r->length >= 18 && !c->hasPlot) {
            for (int i = 0; i < 4; i++)
                c->plot[i] = int32_t(Bytes_peekU32Le(r->body + 2 + 4 * i));
            c->hasPlot = c->plot[2] > 0 && c->plot[3] > 0;
        }
        int rc = expectBegin(r);
        return rc == Res_ok ? readBlock(r, axisParentItem, c) : rc;
    }
    case recSeries: {
        // Keep the declared counts of the series for its lists.
        uint16_t counts[3] = {0, 0, 0};
        if (r->length >= 8) {
            counts[0] = Bytes_peekU16Le(r->body);
            counts[1] = Bytes_peekU16Le(r->body + 4);
            counts[2] = Bytes_peekU16Le(r->body + 6);
        }
        uint32_t position = r->recordPos;
        int rc = seriesRecord(r);
        if (rc != Res_ok)
            return rc;
        XlsChartSeries *s = c->series[c->seriesCount - 1];
        s->position = position;
        s->categoryType = counts[0];
        s->declared[0] = counts[1];
        s->declared[1] = counts[2];
        return Res_ok;
    }
    default: return Res_ok;
    }
}

// Makes sure the list has an item at point (growing it up to the point),
// within the chart's cache budget. *list null and 0 when the point is not
// stored.
int cacheSlot(XlsChart *c, Excel_RefArray **list, uint32_t point)
{
    if (!*list) {
        *list = Excel_RefArray_create(0);
        if (!*list)
            return Res_noMemory;
    }
    Excel_RefArray *a = *list;
    if (a->kind != Excel_refList)
        return Res_ok;
    if (point < a->count)
        return Res_ok;
    uint32_t grow = point + 1 - a->count;
    if (grow > c->cacheBudget)
        return Res_ok;
    Excel_RefItem *items = static_cast<Excel_RefItem *>(
        Mem_realloc(a->items, size_t(point + 1) * sizeof(Excel_RefItem)));
    if (!items)
        return Res_noMemory;
    memset(items + a->count, 0, size_t(grow) * sizeof(Excel_RefItem));
    a->items = items;
    a->count = point + 1;
    c->cacheBudget -= grow;
    return Res_ok;
}

// A NUMBER or LABEL record of the value caches.
int cacheRecord(Reader *r)
{
    XlsChart *c = r->chart;
    if (r->length < 6 || (c->cacheIndex != 1 && c->cacheIndex != 2))
        return Res_ok;
    uint32_t point = Bytes_peekU16Le(r->body);
    uint32_t column = Bytes_peekU16Le(r->body + 2);
    XlsChartSeries *s = seriesAt(c, column);
    if (!s)
        return Res_ok;
    uint32_t which = c->cacheIndex == 1 ? XlsChart_linkValues : XlsChart_linkCategories;
    if (!biff8(r) && which == XlsChart_linkValues) {
        // BIFF5 counts the points of all series on: subtract the
        // categories of the series before this one.
        uint32_t before = 0;
        for (uint32_t i = 0; i < column; i++)
            before += c->series[i]->declared[0];
        if (point >= before && before)
            point -= before;
    }
    uint32_t declared = s->declared[which == XlsChart_linkValues ? 1 : 0];
    if (point >= declared)
        return Res_ok;
    bool text = which == XlsChart_linkCategories && s->categoryType == 3;
    if ((r->type == recNumber) == text)
        return XlsChart_errMalformed;
    int rc = cacheSlot(c, &s->lists[which], point);
    Excel_RefArray *a = s->lists[which];
    if (rc != Res_ok || !a || a->kind != Excel_refList || point >= a->count)
        return rc;
    if (r->type == recNumber) {
        if (r->length < 14)
            return Res_ok;
        return Excel_RefArray_setNumber(rdDouble(r->body + 6), a, point);
    }
    if (r->length < 8)
        return Res_ok;
    char16_t *t = nullptr;
    rc = readChars(r, r->body + 8, r->body + r->length, Bytes_peekU16Le(r->body + 6), &t);
    if (rc != Res_ok)
        return rc;
    rc = Excel_RefArray_setText(t ? t : u"", a, point);
    Mem_free(t);
    return rc;
}

int externSheet(Reader *r)
{
    XlsChart *c = r->chart;
    if (!c->externPending)
        return XlsChart_errExternSheets;
    // u8 character count (the kind byte included), then the characters.
    if (r->length < 2 || uint32_t(r->body[0]) + 1 > r->length ||
        c->externCount >= c->externCapacity)
        return XlsChart_errExternSheets;
    uint32_t n = r->body[0];
    uint32_t kind = r->body[1];
    XlsChartExtern *e = &c->externs[c->externCount];
    *e = XlsChartExtern{};
    e->position = r->recordPos;
    // Encoded [book]sheet 1, own workbook 2, sheet of this workbook 3,
    // deleted 4; kept as 3, 2, 1, 4.
    e->kind = kind == 1 ? 3u : kind == 3 ? 1u : kind;
    if (n > 1) {
        e->name = latin1(r->body + 2, n - 1);
        if (!e->name)
            return Res_noMemory;
    }
    c->externCount++;
    if (c->externCount == c->externExpected)
        c->externPending = 0;
    return Res_ok;
}

int readAll(Reader *r)
{
    XlsChart *c = r->chart;
    int rc = Res_ok;
    for (;;) {
        rc = next(r);
        if (rc != Res_ok)
            return rc;
        switch (r->type) {
        case recEof:
            if (c->externPending)
                return XlsChart_errExternSheets;
            c->length = r->base + uint32_t(r->pos) - c->start - 4;
            return Res_ok;
        case recExternCount:
            if (biff8(r))
                break;
            if (c->externs || r->length < 2)
                return XlsChart_errExternSheets;
            {
                uint32_t n = Bytes_peekU16Le(r->body);
                // Each entry needs a record of at least 6 bytes: room is
                // made for what can follow, and a count beyond it ends at
                // the EOF with the entries still expected.
                size_t room = (r->size - r->pos) / 6;
                uint32_t cap = n > room ? uint32_t(room) : n;
                c->externs = static_cast<XlsChartExtern *>(
                    Mem_calloc(cap ? cap : 1, sizeof(XlsChartExtern)));
                if (!c->externs)
                    return Res_noMemory;
                c->externCapacity = uint16_t(cap);
                c->externExpected = uint16_t(n);
                c->externPending = n ? 1 : 0;
            }
            break;
        case recExternSheet:
            if (biff8(r))
                break;
            rc = externSheet(r);
            break;
        case recNumber:
        case recLabel: rc = cacheRecord(r); break;
        case recSiIndex:
            if (r->length >= 2)
                c->cacheIndex = Bytes_peekU16Le(r->body);
            break;
        case recChart:
            if (r->length >= 16) {
                // 16.16 points to 16.16 inches.
                for (int i = 0; i < 4; i++)
                    c->rect[i] = int32_t(int64_t(int32_t(Bytes_peekU32Le(r->body + 4 * i))) / 72);
            }
            rc = expectBegin(r);
            if (rc == Res_ok)
                rc = readBlock(r, chartItem, c);
            break;
        case recBegin: rc = skipBlock(r); break;
        case recBof: return XlsChart_errMalformed;
        default: break;
        }
        if (rc != Res_ok)
            return rc;
    }
}

} // namespace

// ------------------------------------------------------------ life cycle

XlsChart *Excel_chartCreate()
{
    XlsChart *c = static_cast<XlsChart *>(Mem_calloc(1, sizeof(XlsChart)));
    if (c)
        c->refs = 1;
    return c;
}

int Excel_chartAddRef(XlsChart *chart)
{
    if (!chart)
        return Res_missingArgument;
    if (chart->refs == UINT32_MAX)
        return 11;
    chart->refs++;
    return Res_ok;
}

void Excel_chartClearModel(XlsChart *chart)
{
    if (!chart)
        return;
    uint32_t refs = chart->refs;
    for (int i = 0; i < 3; i++) {
        if (chart->axes[i]) {
            Mem_free(chart->axes[i]->range);
            freeText(chart->axes[i]->title);
            Mem_free(chart->axes[i]);
        }
    }
    freeText(chart->title);
    for (uint32_t i = 0; i < chart->seriesCount; i++) {
        XlsChartSeries *s = chart->series[i];
        for (XlsChartDataFormat *f = s ? s->formats : nullptr; f; f = f->next)
            Gradient_free(f->gel.gradient);
        freeSeries(s);
    }
    Mem_free(chart->series);
    if (chart->legend) {
        Gradient_free(chart->legend->frame.gel.gradient);
        Mem_free(chart->legend);
    }
    Gradient_free(chart->chartFrame.gel.gradient);
    Gradient_free(chart->plotFrame.gel.gradient);
    for (uint32_t i = 0; i < chart->externCount; i++)
        Mem_free(chart->externs[i].name);
    Mem_free(chart->externs);
    memset(chart, 0, sizeof *chart);
    chart->refs = refs;
}

void Excel_chartRelease(XlsChart *chart)
{
    if (!chart)
        return;
    if (chart->refs > 1) {
        chart->refs--;
        return;
    }
    Excel_chartClearModel(chart);
    Mem_free(chart);
}

// -------------------------------------------------------------- reading

int Excel_readChartBytes(const uint8_t *data, size_t size, uint32_t base, uint32_t version,
                         const ExcelWorkbook *workbook, XlsChart *chart)
{
    if (!chart || (!data && size))
        return Res_missingArgument;
    Excel_chartClearModel(chart);
    chart->version = version;
    chart->start = base;
    if (workbook)
        chart->palette = &workbook->palette;
    // Cached points may take at most as many entries as half the
    // substream's bytes (a cache record is at least 18 bytes), and at
    // least enough for small charts.
    chart->cacheBudget = uint32_t(size / 2 > 4096 ? size / 2 : 4096);
    Reader r{};
    r.data = data;
    r.size = size;
    r.base = base;
    r.version = version;
    r.workbook = workbook;
    r.chart = chart;
    int rc = readAll(&r);
    if (rc != Res_ok)
        Excel_chartClearModel(chart);
    chart->version = version;
    return rc;
}

int Excel_readChart(ExcelLoad *load, XlsChart **out, uint32_t version)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!load || !load->stream)
        return Res_missingArgument;
    // Gather the substream's records up to its EOF.
    uint32_t start = Ole_streamTell(load->stream);
    uint8_t *buf = nullptr;
    size_t used = 0, cap = 0;
    int rc = Res_ok;
    for (;;) {
        ExcelRecordHeader h;
        rc = Excel_readRecordHeader(load->stream, &h);
        if (rc != Res_ok)
            break;
        if (used + 4 + h.length > cap) {
            size_t ncap = cap ? cap * 2 : 4096;
            while (ncap < used + 4 + h.length)
                ncap *= 2;
            uint8_t *n = static_cast<uint8_t *>(Mem_realloc(buf, ncap));
            if (!n) {
                rc = Res_noMemory;
                break;
            }
            buf = n;
            cap = ncap;
        }
        buf[used] = uint8_t(h.type);
        buf[used + 1] = uint8_t(h.type >> 8);
        buf[used + 2] = uint8_t(h.length);
        buf[used + 3] = uint8_t(h.length >> 8);
        rc = Ole_streamReadExact(load->stream, buf + used + 4, h.length);
        if (rc != Res_ok)
            break;
        used += 4 + h.length;
        if (h.type == recEof)
            break;
    }
    XlsChart *c = nullptr;
    if (rc == Res_ok) {
        c = Excel_chartCreate();
        if (!c)
            rc = Res_noMemory;
    }
    if (rc == Res_ok) {
        rc = Excel_readChartBytes(buf, used, start, version, load->workbook, c);
        if (c)
            c->date1904 = load->date1904;
    }
    Mem_free(buf);
    if (rc != Res_ok) {
        Excel_chartRelease(c);
        return rc;
    }
    *out = c;
    return Res_ok;
}

uint32_t Excel_chartSeriesValueCount(const XlsChartSeries *series)
{
    return series && series->lists[XlsChart_linkValues]
               ? Excel_RefArray_count(series->lists[XlsChart_linkValues])
               : 0;
}

uint32_t Excel_chartSeriesCategoryCount(const XlsChartSeries *series)
{
    return series && series->lists[XlsChart_linkCategories]
               ? Excel_RefArray_count(series->lists[XlsChart_linkCategories])
               : 0;
}
