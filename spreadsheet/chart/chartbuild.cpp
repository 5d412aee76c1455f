// Chart drawing: a chart record turned into document nodes under the
// chart's group: the chart and plot areas, the value scale with its
// gridlines and labels, the series as lines, bars or pie slices, titles
// and the legend.
//
// Geometry is worked out in chart coordinates (16.16 inches from the
// chart's top-left corner, y downward). The group starts with an offset
// node (property 74) at the chart's position; every further item is placed
// by an offset node of its own at the chart's position plus the item's
// place in the chart, and paths are built with y upward from their offset,
// as the drawing layout reads them.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/geom/fixed.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/text/ustr.h"
#include "document/edr/node.h"
#include "document/style/value.h"
#include "graphics/path.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/formula/ptg.h"
#include "graphics/gradfill.h"
#include "core/container/stoplist.h"

namespace {

constexpr double kEps = 2.220446049250313e-16;
constexpr int32_t kMaxText = 15000;

enum : uint16_t {
    kPaintFillLine = 199,
    kPaintGradientLine = 200,
    kStrokeKeyword = 204,
};

struct Build {
    XlsChart *chart;
    ExcelValueCells *cells;
    Edr_Doc *doc;
    Edr_Node *group;
    int32_t width, height;  // the chart
    int32_t px, py, pw, ph; // the plot area
};

int32_t sat(double v)
{
    if (!(v == v))
        return 0;
    return v > 2147483647.0 ? INT32_MAX : v < -2147483648.0 ? INT32_MIN : int32_t(v);
}

int addData(Build &b, const Prop *p)
{
    return Edr_Node_createData(b.doc, b.group, Edr_Insert_lastChild, nullptr, p);
}

int keyword(Build &b, uint32_t id, uint16_t kw)
{
    Prop p;
    Prop_zero(&p);
    Prop_setType(&p, id, kw);
    return addData(b, &p);
}

int length(Build &b, uint32_t id, int32_t v)
{
    Prop p;
    Prop_zero(&p);
    Prop_setLength(&p, id, v);
    return addData(b, &p);
}

int colour(Build &b, uint32_t id, const uint8_t rgba[4])
{
    Prop p;
    Prop_zero(&p);
    Prop_setColour(&p, id, rgba);
    return addData(b, &p);
}

// Items after this node are placed at (x, y) from the chart's corner. Flow
// layout reads each offset node as a position in the frame of the block
// holding the chart (the page body), so the chart's own position is added.
int offset(Build &b, int32_t x, int32_t y)
{
    Prop p;
    Prop_zero(&p);
    int64_t ax = int64_t(b.chart->rect[0]) + x, ay = int64_t(b.chart->rect[1]) + y;
    Prop_set(&p, 74, PropType_pointer, uintptr_t(uint32_t(sat(double(ax)))),
             uint32_t(sat(double(ay))));
    return addData(b, &p);
}

int gradient(Build &b, const Gradient *g)
{
    StopList *list = nullptr;
    int err = StopList_create(&list, g->count);
    if (err)
        return err;
    for (int32_t i = 0; i < g->count; i++)
        (void)StopList_set(list, i, g->stops[i]);
    Prop p;
    Prop_zero(&p);
    Prop_set109(&p, list);
    err = addData(b, &p);
    Prop_free(&p);
    return err;
}

// A path of chart coordinates (y down) turned into the path node: the
// caller built it with y negated.
int emitPath(Build &b, Path **path)
{
    int err = offset(b, 0, 0);
    if (!err)
        err = Edr_Node_createPath(b.doc, b.group, Edr_Insert_lastChild, nullptr, *path);
    if (!err)
        *path = nullptr;
    Path_destroy(*path);
    *path = nullptr;
    return err;
}

int rectPath(Build &b, int32_t x, int32_t y, int32_t w, int32_t h)
{
    Path *path = nullptr;
    int err = Path_create(&path, 0x10000);
    if (err)
        return err;
    Rect r{x, sat(-double(y) - h), sat(double(x) + w), -y};
    err = Path_addRect(path, &r);
    if (err) {
        Path_destroy(path);
        return err;
    }
    return emitPath(b, &path);
}

// A filled and outlined area: the gradient when there is one, else the
// area colour.
int fillArea(Build &b, const uint8_t fill[4], const uint8_t line[4], const Gradient *g)
{
    int err = keyword(b, 125, g ? kPaintGradientLine : kPaintFillLine);
    if (!err)
        err = g ? gradient(b, g) : colour(b, 29, fill);
    if (!err)
        err = colour(b, 127, line);
    if (!err)
        err = length(b, 128, 655);
    return err;
}

int frame(Build &b, const XlsChartFrame &f, int32_t x, int32_t y, int32_t w, int32_t h,
          bool defaultWhite)
{
    uint8_t fill[4] = {255, 255, 255, 255};
    uint8_t line[4] = {0, 0, 0, 255};
    if (f.hasArea) {
        memcpy(fill, f.area.pattern ? f.area.foreground : f.area.background, 4);
        if (!f.area.pattern)
            fill[3] = 0;
    } else if (!defaultWhite) {
        fill[3] = 0;
    }
    if (f.hasLine || f.line.pattern == 5) {
        memcpy(line, f.line.colour, 4);
        if (f.line.pattern == 5)
            line[3] = 0;
    }
    int err = fillArea(b, fill, line, f.gel.gradient);
    return err ? err : rectPath(b, x, y, w, h);
}

// ------------------------------------------------------------- colours

void paletteColour(const XlsChart *c, uint32_t i, uint8_t out[4], bool second)
{
    if (c->palette) {
        const uint8_t *e = c->palette->entries[(i + 16) % 56];
        out[0] = e[0];
        out[1] = e[1];
        out[2] = e[2];
        out[3] = 255;
        return;
    }
    uint8_t v = second ? 0 : 255;
    out[0] = out[1] = out[2] = v;
    out[3] = 255;
}

// The fill and line colours of series s (of point p in a pie) and its
// gradient.
void pointColours(const XlsChart *c, uint32_t s, uint32_t p, bool pie, uint8_t fill[4],
                  uint8_t line[4], const Gradient **g)
{
    paletteColour(c, pie ? p : s, fill, false);
    line[0] = line[1] = line[2] = 0;
    line[3] = 255;
    *g = nullptr;
    if (c->type == XlsChart_typeLine)
        memcpy(line, fill, 4);
    const XlsChartSeries *se = s < c->seriesCount ? c->series[s] : nullptr;
    for (const XlsChartDataFormat *f = se ? se->formats : nullptr; f; f = f->next) {
        if (f->point != 0xFFFF && f->point != p)
            continue;
        if (f->hasLine && !(f->line.flags & 1))
            memcpy(line, f->line.colour, 4);
        if (f->hasArea && !(f->area.flags & 1))
            memcpy(fill, f->area.foreground, 4);
        if (f->gel.gradient)
            *g = f->gel.gradient;
        if (f->point == p)
            break;
    }
}

// ------------------------------------------------------------- values

const XlsChartAxis *valueAxis(const XlsChart *c)
{
    return c->axes[1];
}

bool logAxis(const XlsChart *c)
{
    const XlsChartAxis *a = valueAxis(c);
    return a && a->range && (a->range->flags & XlsChart_logScale);
}

bool hasNumbers(const XlsChartSeries *s)
{
    return s && s->lists[XlsChart_linkValues];
}

// A point's number from the value cells when the list refers to cells,
// else from the list.
double rawValue(const XlsChart *c, ExcelValueCells *cells, const XlsChartSeries *s, uint32_t point)
{
    const Excel_RefArray *a = s->lists[XlsChart_linkValues];
    if (!a)
        return 0.0;
    if (cells && (a->kind == Excel_refArea ||
                  (point < a->count && a->items[point].kind == Excel_itemCell))) {
        Excel_RefCell cell = a->kind == Excel_refArea ? Excel_RefArray_areaCell(a, point)
                                                      : *a->items[point].u.ref.cell;
        uint32_t key[2] = {cell.row, cell.column};
        ExcelValueCell *v = ExcelValueCells_find(cells, key, nullptr);
        if (v && v->value) {
            switch (v->value->type) {
            case Edr_valueInt: return Edr_Value_getInt(v->value);
            case Edr_valueNumber: return Edr_Value_getNumber(v->value);
            default: return 0.0; // a text, even one that reads as a number, charts as 0
            }
        }
    }
    return Excel_RefArray_numberAt(a, point, c->workbook);
}

uint32_t pointCount(const XlsChartSeries *s)
{
    uint32_t v = Excel_chartSeriesValueCount(s);
    uint32_t k = Excel_chartSeriesCategoryCount(s);
    return k && k < v ? k : v;
}

// ---------------------------------------------------------------- text

// Builds a label: offset to the anchor, style data nodes, text. align is
// the keyword 45 (centre), 86 (left) or 117 (right).
int text(Build &b, const char16_t *chars, int32_t x, int32_t y, int32_t size, int32_t room,
         uint16_t align, int32_t angle, const uint8_t rgba[4])
{
    if (!chars || !*chars)
        return Res_ok;
    uint32_t n = uint32_t(Ustr_len(chars));
    if (room > 0 && n && int64_t(size) * n / 2 > room)
        size = sat(double(room) * 2 / n);
    if (size > kMaxText)
        size = kMaxText;
    if (size < 1)
        return Res_ok;
    if (align != 45 && align != 86 && align != 117)
        align = 86;
    static const uint8_t black[4] = {0, 0, 0, 255};
    int err = offset(b, x, y);
    if (!err)
        err = length(b, 38, size);
    if (!err)
        err = colour(b, 29, rgba ? rgba : black);
    if (!err)
        err = keyword(b, 79, align);
    if (!err)
        err = keyword(b, 86, 147);
    if (!err && angle) {
        Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        if (!m)
            return Res_noMemory;
        Matrix_setIdentity(m);
        m->a = Fixed_sinDeg(angle + 90);
        m->b = -Fixed_sinDeg(angle);
        m->c = Fixed_sinDeg(angle);
        m->d = Fixed_sinDeg(angle + 90);
        Prop p;
        Prop_zero(&p);
        Prop_setMatrix(&p, 134, m);
        err = addData(b, &p);
        Prop_free(&p);
    }
    if (!err)
        err = Edr_Node_createText(b.doc, b.group, Edr_Insert_lastChild, nullptr, chars, n);
    return err;
}

// A number formatted by a number format index of the workbook.
char16_t *formatNumber(const XlsChart *c, double v, uint32_t format)
{
    Excel_FmtRequest r{};
    r.formatIndex = uint16_t(format);
    const ExcelWorkbook *wb = c->workbook;
    if (wb && format < wb->formatCount && wb->formats)
        r.code = wb->formats[format];
    r.kind = Excel_fmtNumber;
    r.value = &v;
    r.flags = Excel_fmtShowZero | (c->date1904 ? uint32_t(Excel_fmtDate1904) : 0u);
    char16_t *out = nullptr;
    if (Excel_Fmt_formatValue(&r, &out) != Res_ok || !out) {
        char buf[64];
        snprintf(buf, sizeof buf, "%g", v);
        return Ustr_fromCstr(buf);
    }
    return out;
}

uint32_t labelFormat(const XlsChart *c)
{
    const XlsChartAxis *a = valueAxis(c);
    if (a && a->format)
        return a->format;
    if (c->seriesCount && c->series[0]->numberFormat)
        return c->series[0]->numberFormat;
    return 0; // General
}

// ---------------------------------------------------------------- axes

int valueAxisDrawing(Build &b, const XlsChartScale &s)
{
    const XlsChart *c = b.chart;
    double m =
        valueAxis(c) && valueAxis(c)->multiplier > 1.0 + kEps ? valueAxis(c)->multiplier : 1.0;
    uint32_t format = labelFormat(c);
    bool lg = logAxis(c);
    // The longest label decides the label height.
    int32_t h = s.interval < kMaxText ? s.interval : kMaxText;
    uint32_t longest = 1;
    for (int32_t i = 0; i <= s.n; i++) {
        double v = s.minimum / m + i * s.step;
        char16_t *t = formatNumber(c, lg ? pow(10.0, v) : std::fabs(v) < kEps ? 0.0 : v, format);
        if (t && Ustr_len(t) > longest)
            longest = uint32_t(Ustr_len(t));
        Mem_free(t);
    }
    if (longest && int64_t(h) * longest / 2 > b.px)
        h = sat(double(b.px) * 2 / longest);
    static const uint8_t grey[4] = {128, 128, 128, 255};
    // The major gridlines go into one path: a lone horizontal line has no
    // height, and the drawing drops paths without an area.
    Path *path = nullptr;
    int err = Path_create(&path, 0x10000);
    for (int32_t i = 0; i <= s.n && !err; i++) {
        int32_t y = sat(double(b.py) + b.ph - double(i) * s.interval);
        if (y < b.py - 1)
            break;
        err = Path_moveTo(path, b.px, -y);
        if (!err)
            err = Path_lineTo(path, b.px + b.pw, -y);
    }
    if (!err)
        err = keyword(b, 125, 198);
    if (!err)
        err = colour(b, 127, grey);
    if (!err)
        err = length(b, 128, 655);
    if (!err)
        err = emitPath(b, &path);
    Path_destroy(path);
    // Each boundary's label beside the plot area.
    for (int32_t i = 0; i <= s.n && !err; i++) {
        int32_t y = sat(double(b.py) + b.ph - double(i) * s.interval);
        if (y < b.py - 1)
            break;
        double v = s.minimum / m + i * s.step;
        if (std::fabs(v) < kEps)
            v = 0.0;
        char16_t *t = formatNumber(c, lg ? pow(10.0, v) : v, format);
        if (!t)
            return Res_noMemory;
        err = text(b, t, b.px - h / 4, y + h / 3, h, 0, 117, 0, nullptr);
        Mem_free(t);
    }
    return err;
}

// The category label text of point i (a new string), or null.
char16_t *categoryText(const XlsChart *c, uint32_t i, bool numbered)
{
    const XlsChartSeries *s = c->seriesCount ? c->series[0] : nullptr;
    const Excel_RefArray *a = s ? s->lists[XlsChart_linkCategories] : nullptr;
    if (a && i < Excel_RefArray_count(a)) {
        char16_t *t = Excel_RefArray_textAt(a, i, c->workbook);
        if (t)
            return t;
        if (a->kind == Excel_refList && a->items[i].kind == Excel_itemNumber)
            return formatNumber(c, a->items[i].u.number, 0);
    }
    if (!numbered)
        return nullptr;
    char buf[16];
    snprintf(buf, sizeof buf, "%u", i + 1);
    return Ustr_fromCstr(buf);
}

int categoryLabels(Build &b, uint32_t count, int32_t cw, int32_t baseline)
{
    const XlsChart *c = b.chart;
    const XlsChartAxis *ax = c->axes[0];
    if (ax && ax->hasTick && ax->labelPosition == 0)
        return Res_ok;
    bool reverse = ax && (ax->category[3] & XlsChart_catReverse);
    int32_t room = b.height - baseline;
    int32_t h = sat(room * 4.0 / 5);
    if (h > kMaxText)
        h = kMaxText;
    int err = Res_ok;
    for (uint32_t i = 0; i < count && !err; i++) {
        char16_t *t = categoryText(c, reverse ? count - 1 - i : i, true);
        if (!t)
            return Res_noMemory;
        int32_t x = sat(double(b.px) + double(i) * cw + cw / 2.0);
        err = text(b, t, x, baseline + h, h, cw, 45, 0, nullptr);
        Mem_free(t);
    }
    return err;
}

// --------------------------------------------------------------- series

int lineSeries(Build &b, const XlsChartScale &s)
{
    const XlsChart *c = b.chart;
    uint32_t count = 0;
    for (uint32_t i = 0; i < c->seriesCount; i++)
        if (pointCount(c->series[i]) > count)
            count = pointCount(c->series[i]);
    if (!count)
        return Res_ok;
    int32_t cw = b.pw / int32_t(count > 0x7FFFFFFF ? 0x7FFFFFFF : count);
    double k = double(s.n) * s.interval / (s.maximum - s.minimum);
    bool lg = logAxis(c);
    const XlsChartAxis *ax = c->axes[0];
    bool reverse = ax && (ax->category[3] & XlsChart_catReverse);
    int err = keyword(b, 129, kStrokeKeyword);
    if (!err)
        err = length(b, 128, 2621);
    int32_t zeroY = b.py + b.ph - s.z * s.interval;
    for (uint32_t si = 0; si < c->seriesCount && !err; si++) {
        const XlsChartSeries *se = c->series[si];
        uint32_t n = pointCount(se);
        if (!n || !hasNumbers(se))
            continue;
        bool markersOnly = se->formats && se->formats->hasLine && se->formats->line.pattern == 5;
        Path *path = nullptr;
        err = Path_create(&path, 0x10000);
        uint8_t fill[4], line[4];
        const Gradient *g;
        pointColours(c, si, 0, false, fill, line, &g);
        if (!err)
            err = keyword(b, 125, 198);
        if (!err)
            err = colour(b, 127, line);
        bool above = false;
        double prev = 0.0;
        for (uint32_t j = 0; j < n && !err; j++) {
            double v = Excel_chartValue(c, b.cells, si, 1, reverse ? n - 1 - j : j);
            if (lg)
                v = v > 0 ? log10(v) : 0.0;
            int32_t x = sat(b.px + cw / 2.0 + double(j) * cw);
            int32_t y = sat(zeroY - v * k);
            if (j == 0) {
                err = Path_moveTo(path, x, -y);
                above = v - s.maximum > kEps;
            } else if (v - s.minimum + kEps < kEps) {
                err = Path_moveTo(path, x, -y);
            } else if (v - s.maximum + kEps > kEps) {
                if (!above && !markersOnly) {
                    double cx = x - (v - s.maximum) / (v - prev) * cw;
                    err = Path_lineTo(path, sat(cx), -sat(zeroY - s.maximum * k));
                }
                above = true;
                if (!err)
                    err = Path_moveTo(path, x, -y);
            } else {
                if (above) {
                    double cx = x - cw + (prev - s.maximum) / (prev - v) * cw;
                    err = Path_moveTo(path, sat(cx), -sat(zeroY - s.maximum * k));
                    above = false;
                }
                if (!err)
                    err = markersOnly ? Path_moveTo(path, x, -y) : Path_lineTo(path, x, -y);
            }
            // The point's marker: a small square.
            if (!err && !(v - s.maximum > kEps) && !(v - s.minimum + kEps < kEps)) {
                Rect m{x - 800, -y - 800, x + 800, -y + 800};
                err = Path_addRect(path, &m);
                if (!err)
                    err = Path_moveTo(path, x, -y);
            }
            prev = v;
        }
        if (!err)
            err = emitPath(b, &path);
        Path_destroy(path);
    }
    if (!err)
        err = length(b, 128, 65536);
    if (!err)
        err = categoryLabels(b, count, cw, b.py + b.ph);
    return err;
}

int barSeries(Build &b, const XlsChartScale &s)
{
    const XlsChart *c = b.chart;
    uint32_t count = 0, drawable = 0;
    for (uint32_t i = 0; i < c->seriesCount; i++) {
        if (c->series[i]->parent)
            continue;
        drawable++;
        if (pointCount(c->series[i]) > count)
            count = pointCount(c->series[i]);
    }
    if (!count || !drawable)
        return Res_ok;
    bool stacked = Excel_chartIsStacked(c);
    double g = c->option2;
    double w = b.pw, h = b.ph;
    double unit = w / (double(count) * drawable + double(count) * g / 100);
    double gap = g * count * unit / 100;
    double barWidth = stacked ? (w - gap) / count : (w - gap) / (double(count) * drawable);
    double perGap = gap / count;
    double baseline = b.py + h - double(s.z) * s.interval;
    double scale = h / (s.maximum - s.minimum);
    bool lg = logAxis(c);
    int err = Res_ok;
    double x = b.px + perGap / 2;
    for (uint32_t i = 0; i < count && !err; i++) {
        double bx = x;
        double stackTop = 0.0;
        for (uint32_t si = 0; si < c->seriesCount && !err; si++) {
            const XlsChartSeries *se = c->series[si];
            if (se->parent || i >= pointCount(se) || !hasNumbers(se))
                continue;
            double v = Excel_chartValue(c, b.cells, si, 1, i);
            if (lg)
                v = v > 0 ? log10(v) : 0.0;
            double from = stacked ? stackTop : 0.0;
            double lengthTo = v * scale;
            double y0 = baseline - from * scale;
            double y1 = baseline - lengthTo;
            if (stacked)
                stackTop = v;
            uint8_t fill[4], line[4];
            const Gradient *gr;
            pointColours(c, si, i, false, fill, line, &gr);
            err = fillArea(b, fill, line, gr);
            int32_t top = sat(y0 < y1 ? y0 : y1);
            int32_t hh = sat(std::fabs(y1 - y0));
            if (!err && hh > 0)
                err = rectPath(b, sat(bx), top, sat(barWidth), hh);
            if (!stacked)
                bx += barWidth;
        }
        x += (stacked ? barWidth : barWidth * drawable) + perGap;
    }
    if (!err) {
        int32_t cw = sat(w / count);
        err = categoryLabels(b, count, cw, sat(b.py + h));
    }
    return err;
}

} // namespace

int Excel_chartPieAngles(const XlsChart *chart, ExcelValueCells *context, double *angles,
                         uint32_t capacity, uint32_t *count);

namespace {

int pieSeries(Build &b)
{
    const XlsChart *c = b.chart;
    if (!c->seriesCount)
        return Res_ok;
    uint32_t n = pointCount(c->series[0]);
    if (!n)
        return Res_ok;
    double *angles = static_cast<double *>(Mem_malloc(n * sizeof(double)));
    if (!angles)
        return Res_noMemory;
    uint32_t got = 0;
    int err = Excel_chartPieAngles(c, b.cells, angles, n, &got);
    int32_t d = b.pw < b.ph ? b.pw : b.ph;
    int32_t cx = b.px + b.pw / 2, cy = b.py + b.ph / 2;
    Rect box{cx - d / 2, -(cy + d / 2), cx + d / 2, -(cy - d / 2)};
    double start = 90.0 - (c->option1 % 360);
    for (uint32_t i = 0; i < got && !err; i++) {
        if (angles[i] <= 0)
            continue;
        // Slices run clockwise from the start angle (y up: counter-
        // clockwise is positive).
        double a0 = start, a1 = start - angles[i];
        start = a1;
        Path *path = nullptr;
        err = Path_create(&path, 0x10000);
        const double rad = 3.14159265358979323846 / 180.0;
        int32_t r = d / 2;
        int32_t ex = sat(cx + r * cos(a0 * rad)), ey = sat(-cy + r * sin(a0 * rad));
        int32_t sx = sat(cx + r * cos(a1 * rad)), sy = sat(-cy + r * sin(a1 * rad));
        if (!err)
            err = Path_moveTo(path, cx, -cy);
        if (!err) {
            if (angles[i] >= 360.0 - 1e-9) {
                err = Path_addArc(path, &box, sx, sy, sx, sy);
            } else {
                err = Path_addArc(path, &box, sx, sy, ex, ey);
            }
        }
        if (!err)
            err = Path_lineTo(path, cx, -cy);
        if (!err)
            err = Path_close(path);
        uint8_t fill[4], line[4];
        const Gradient *g;
        pointColours(c, 0, i, true, fill, line, &g);
        if (!err)
            err = fillArea(b, fill, line, g);
        if (!err)
            err = emitPath(b, &path);
        Path_destroy(path);
    }
    Mem_free(angles);
    return err;
}

int titles(Build &b)
{
    const XlsChart *c = b.chart;
    const char16_t *t = c->title && c->title->text   ? c->title->text
                        : c->title && c->seriesCount ? c->series[0]->name
                                                     : nullptr;
    int err = Res_ok;
    int32_t margin = b.py;
    if (t)
        err = text(b, t, b.width / 2, margin * 3 / 4, margin / 2, b.width, 45, 0,
                   c->title ? c->title->colour : nullptr);
    const XlsChartAxis *cat = c->axes[0];
    const XlsChartAxis *val = c->axes[1];
    int32_t below = b.height - (b.py + b.ph);
    if (!err && cat && cat->title && cat->title->text)
        err = text(b, cat->title->text, b.px + b.pw / 2, b.height - below / 8, below / 2, b.pw, 45,
                   cat->title->rotation <= 180 ? cat->title->rotation : 0, nullptr);
    if (!err && val && val->title && val->title->text)
        err = text(b, val->title->text, b.px / 4, b.py + b.ph / 2, b.px / 2, b.ph, 45,
                   val->title->rotation <= 180 ? val->title->rotation : 0, nullptr);
    return err;
}

int legend(Build &b)
{
    const XlsChart *c = b.chart;
    const XlsChartLegend *l = c->legend;
    if (!l || !c->seriesCount)
        return Res_ok;
    bool pie = c->type == XlsChart_typePie;
    uint32_t entries = pie ? pointCount(c->series[0]) : c->seriesCount;
    if (!entries)
        return Res_ok;
    int32_t x = l->x, y = l->y, w = l->width, h = l->height;
    if (w <= 0 || h <= 0) {
        w = b.width / 5;
        h = b.height / 3;
        x = b.width - w - b.width / 40;
        y = (b.height - h) / 2;
    }
    int err = frame(b, l->frame, x, y, w, h, true);
    int32_t row = h / int32_t(entries > 64 ? 64 : entries);
    int32_t size = row * 3 / 4;
    if (size > kMaxText)
        size = kMaxText;
    const Excel_RefArray *cats = pie ? c->series[0]->lists[XlsChart_linkCategories] : nullptr;
    bool textCats = pie && c->series[0]->categoryType == 3;
    for (uint32_t i = 0; i < entries && i < 64 && !err; i++) {
        int32_t ey = y + int32_t(i) * row + (row - size) / 2;
        uint8_t fill[4], line[4];
        const Gradient *g;
        pointColours(c, pie ? 0 : i, pie ? i : 0, pie, fill, line, &g);
        err = fillArea(b, fill, line, g);
        if (!err)
            err = rectPath(b, x + size / 2, ey, size, size);
        char16_t *t = nullptr;
        char buf[32];
        if (pie) {
            // Category texts name the slices (cells keep their shown
            // text); otherwise numbers, or "Series" for missing texts.
            if (cats)
                t = Excel_RefArray_textAt(cats, i, c->workbook);
            if (!t) {
                snprintf(buf, sizeof buf, cats && !textCats ? "%u" : "Series%u", i + 1);
                t = Ustr_fromCstr(buf);
            }
        } else {
            const XlsChartSeries *s = c->series[i];
            if (s->name && *s->name) {
                t = Ustr_dup(s->name);
            } else if (s->lists[XlsChart_linkName] &&
                       Excel_RefArray_count(s->lists[XlsChart_linkName])) {
                t = Excel_RefArray_textAt(s->lists[XlsChart_linkName], 0, c->workbook);
            }
            if (!t) {
                snprintf(buf, sizeof buf, "Series%u", i + 1);
                t = Ustr_fromCstr(buf);
            }
        }
        if (!t)
            return Res_noMemory;
        if (!err)
            err = text(b, t, x + size * 2, ey + size, size, w - size * 2, 86, 0, nullptr);
        Mem_free(t);
    }
    return err;
}

} // namespace

// ------------------------------------------------------------ interfaces

int Excel_chartIsStacked(const XlsChart *chart)
{
    if (!chart)
        return 0;
    if (chart->type == XlsChart_typeLine)
        return chart->groupFlags & 1;
    if (chart->type == XlsChart_typeBar)
        return (chart->groupFlags >> 1) & 1;
    return 0;
}

double Excel_chartValue(const XlsChart *chart, ExcelValueCells *context, uint32_t series,
                        uint32_t which, uint32_t point)
{
    if (!chart || which != 1 || series >= chart->seriesCount)
        return 0.0;
    if (!Excel_chartIsStacked(chart))
        return rawValue(chart, context, chart->series[series], point);
    double stacked = 0.0, total = 0.0;
    for (uint32_t i = 0; i < chart->seriesCount; i++) {
        const XlsChartSeries *s = chart->series[i];
        if (!hasNumbers(s))
            continue;
        double v = rawValue(chart, context, s, point);
        if (i <= series)
            stacked += v;
        total += v;
    }
    bool percent =
        chart->type == XlsChart_typeLine ? (chart->groupFlags & 2) : (chart->groupFlags & 4);
    if (percent && !(total > -kEps && total < kEps))
        return stacked * 100.0 / total;
    return stacked;
}

double Excel_chartDecade(double x, double s)
{
    // Iterative form of: s while x / s - 10 <= eps, else decade(x, 10 s).
    for (int i = 0; i < 400 && x / s - 10 > kEps; i++)
        s *= 10;
    return s;
}

double Excel_chartNiceStep(double minimum, double maximum, double step, int32_t low, int32_t high,
                           int32_t *n, int margin)
{
    double target = maximum - minimum;
    if (margin)
        target *= 1.05;
    if (n)
        *n = 0;
    if (!(step > 0) || !(target == target) || std::isinf(target) || std::isinf(step))
        return step;
    for (int guard = 0; guard < 2000; guard++) {
        for (int32_t k = low; k <= high; k++) {
            if (k * step >= target) {
                if (n)
                    *n = k;
                return step;
            }
        }
        step = double(high) * 2 * step > target ? 2 * step : 5 * step;
    }
    return step;
}

namespace {

// The data extremes of the scale: the maximum starts at the smallest
// positive double and the minimum at 0, so that the range holds zero.
void dataExtremes(const XlsChart *chart, ExcelValueCells *context, double *maxOut, double *minOut)
{
    double maximum = 2.2250738585072014e-308, minimum = 0.0;
    bool lg = logAxis(chart);
    for (uint32_t i = 0; i < chart->seriesCount; i++) {
        const XlsChartSeries *s = chart->series[i];
        if (!hasNumbers(s))
            continue;
        uint32_t n = Excel_chartSeriesValueCount(s);
        for (uint32_t p = 0; p < n; p++) {
            double v = Excel_chartValue(chart, context, i, 1, p);
            if (lg) {
                v = v > 0 ? log10(v) : 0.0;
                if (v < kEps)
                    v = 0.0;
            }
            if (!(v == v))
                continue;
            if (v > maximum - kEps)
                maximum = v;
            if (v < minimum - kEps)
                minimum = v;
        }
    }
    *maxOut = maximum;
    *minOut = minimum;
}

} // namespace

void Excel_chartScale(const XlsChart *chart, ExcelValueCells *context, int32_t plotHeight,
                      int32_t plotLeft, XlsChartScale *out)
{
    *out = XlsChartScale{};
    if (!chart)
        return;
    double maximum, minimum;
    dataExtremes(chart, context, &maximum, &minimum);
    const XlsChartAxis *axis = valueAxis(chart);
    double m = axis ? axis->multiplier : 1.0;
    if (m < 1.0 + kEps)
        m = 1.0;
    maximum /= m;
    minimum /= m;
    const XlsChartValueRange *r = axis ? axis->range : nullptr;
    uint16_t flags =
        r ? r->flags : uint16_t(XlsChart_autoMin | XlsChart_autoMax | XlsChart_autoMajor);
    bool autoMin = flags & XlsChart_autoMin, autoMax = flags & XlsChart_autoMax;
    int32_t n = 0;
    double step;
    if (autoMin && autoMax) {
        step = Excel_chartNiceStep(minimum, maximum, Excel_chartDecade(maximum - minimum, 1.0) / 10,
                                   4, 10, &n, 1);
    } else if (!autoMin && autoMax) {
        minimum = r->numMin / m;
        step = Excel_chartNiceStep(minimum, maximum, Excel_chartDecade(maximum - minimum, 1.0) / 10,
                                   4, 10, &n, 1);
        maximum = minimum + n * step;
    } else if (autoMin && !autoMax) {
        maximum = r->numMax / m;
        step = Excel_chartNiceStep(minimum, maximum, Excel_chartDecade(maximum - minimum, 1.0) / 10,
                                   4, 10, &n, 1);
        if (!(minimum < -kEps)) {
            minimum = 0.0;
            maximum = n * step;
        } else {
            minimum = r->numMax / m - n * step;
        }
    } else if (!(flags & XlsChart_autoMajor)) {
        minimum = r->numMin / m;
        maximum = r->numMax / m;
        step = r->numMajor;
        double q = step != 0 ? (r->numMax - r->numMin) / (m * step) : 0.0;
        n = q > 0 && q < 1e6 ? int32_t(q) : 0;
    } else {
        minimum = r->numMin / m;
        maximum = r->numMax / m;
        step = Excel_chartNiceStep(minimum, maximum, Excel_chartDecade(maximum - minimum, 1.0) / 10,
                                   4, 10, &n, 0);
        if (minimum < -kEps)
            n--;
    }
    int32_t z = 0;
    if (minimum < -kEps && step > kEps) {
        double q = 1 - minimum / step;
        z = q < 1e6 ? int32_t(q) : 0;
    }
    if (autoMin && autoMax) {
        maximum = (n - z) * step;
        minimum = -z * step;
    }
    if (!(minimum < -kEps)) {
        double q = step > kEps ? -minimum / step : 0.0;
        z = q > -1e6 && q < 1e6 ? int32_t(q) : 0;
    }
    out->n = n;
    out->z = z;
    out->interval = n > 0 ? plotHeight / n : 0;
    out->step = step;
    out->leftTwentieth = plotLeft / 20;
    out->minimum = minimum * m;
    out->maximum = maximum * m;
}

// The pie's slice angles in degrees: |value| / total x 360 for the points
// of the first series. 0; 16.
int Excel_chartPieAngles(const XlsChart *chart, ExcelValueCells *context, double *angles,
                         uint32_t capacity, uint32_t *count)
{
    if (!chart || !angles || !count)
        return Res_missingArgument;
    *count = 0;
    if (!chart->seriesCount)
        return Res_ok;
    const XlsChartSeries *s = chart->series[0];
    uint32_t n = pointCount(s);
    if (n > capacity)
        n = capacity;
    double total = 0.0;
    for (uint32_t i = 0; i < n; i++)
        total += std::fabs(rawValue(chart, context, s, i));
    if (!(total > 0))
        return Res_ok;
    for (uint32_t i = 0; i < n; i++)
        angles[i] = std::fabs(rawValue(chart, context, s, i)) / total * 360.0;
    *count = n;
    return Res_ok;
}

int Excel_chartClear(Edr_Doc *document, Edr_Node *group)
{
    if (!document || !group)
        return Res_missingArgument;
    for (;;) {
        Edr_Node *child = nullptr;
        int err = Edr_Node_getFirstChildAny(document, group, &child);
        if (err)
            return err;
        if (!child)
            return Res_ok;
        // The remove drops the tree's reference, the release the one the
        // lookup gave.
        err = Edr_Node_remove(document, child);
        Edr_Node_release(document, child);
        if (err)
            return err;
    }
}

int Excel_chartBuild(XlsChart *chart, ExcelValueCells *context, Edr_Doc *document, Edr_Node *group)
{
    int err = Excel_chartClear(document, group);
    if (err)
        return err;
    if (!chart)
        return Res_missingArgument;
    Build b{};
    b.chart = chart;
    b.cells = context;
    b.doc = document;
    b.group = group;
    b.width = chart->rect[2] > 0 ? chart->rect[2] : 5 * 65536;
    b.height = chart->rect[3] > 0 ? chart->rect[3] : 3 * 65536;
    if (chart->hasPlot) {
        b.px = chart->plot[0];
        b.py = chart->plot[1];
        b.pw = chart->plot[2];
        b.ph = chart->plot[3];
    } else {
        b.px = b.width / 8;
        b.py = b.height / 8;
        b.pw = b.width * 3 / 4;
        b.ph = b.height * 3 / 4;
    }
    // The chart's own position: items below are placed from it.
    Prop p;
    Prop_zero(&p);
    Prop_set(&p, 74, PropType_pointer, uintptr_t(uint32_t(chart->rect[0])),
             uint32_t(chart->rect[1]));
    err = addData(b, &p);
    if (!err)
        err = frame(b, chart->chartFrame, 0, 0, b.width, b.height, true);
    if (!err)
        err = frame(b, chart->plotFrame, b.px, b.py, b.pw, b.ph, false);
    if (err)
        return err;
    uint32_t type = chart->type;
    if (type == XlsChart_typeLine || type == XlsChart_typeBar) {
        XlsChartScale s;
        Excel_chartScale(chart, context, b.ph, b.px, &s);
        // Nothing but the two areas when every value is zero.
        double dataMax, dataMin;
        dataExtremes(chart, context, &dataMax, &dataMin);
        bool drawable = (std::fabs(dataMax) > kEps || std::fabs(dataMin) > kEps) &&
                        std::fabs(s.maximum - s.minimum) > kEps && std::fabs(s.step) > kEps &&
                        s.z <= s.n && s.n > 0;
        if (!drawable)
            return Res_ok;
        err = valueAxisDrawing(b, s);
        if (!err)
            err = titles(b);
        if (!err && chart->seriesCount)
            err = type == XlsChart_typeLine ? lineSeries(b, s) : barSeries(b, s);
    } else {
        err = titles(b);
        if (!err && type == XlsChart_typePie)
            err = pieSeries(b);
    }
    if (!err && (type == XlsChart_typeLine || type == XlsChart_typeBar || type == XlsChart_typePie))
        err = legend(b);
    return err;
}
