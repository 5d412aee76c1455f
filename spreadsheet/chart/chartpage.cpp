// Charts placed in the document: a chart read from the workbook stream is
// finished (colours, gradients, rectangles at the chart's extent), listed
// as a workbook item and attached to a group node that carries the
// workbook reference; a chart sheet becomes a page of its own, an
// embedded chart a group over the rectangle its drawing anchor gives.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "spreadsheet/reader/sheetpage.h"
#include "office/ole2/ole.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheetobj.h"
#include "graphics/gradfill.h"

namespace {

void resolveColour(const XlsChart *c, uint8_t rgba[4], uint32_t word)
{
    if (!(word & 0x08000000u) || !c->palette)
        return;
    uint8_t alpha = rgba[3];
    (void)Excel_paletteColour(rgba, c->palette, word & 0xFF);
    rgba[3] = alpha;
}

void resolveLine(const XlsChart *c, XlsChartLine *l)
{
    resolveColour(c, l->colour, l->colourWord);
}

void resolveArea(const XlsChart *c, XlsChartArea *a)
{
    resolveColour(c, a->foreground, a->foregroundWord);
    resolveColour(c, a->background, a->backgroundWord);
}

void colourBytes(uint32_t v, uint8_t alpha, uint8_t out[4])
{
    out[0] = uint8_t(v);
    out[1] = uint8_t(v >> 8);
    out[2] = uint8_t(v >> 16);
    out[3] = alpha;
}

// The gradient of a GelFrame's fill settings, when its fill type has one.
int buildGradient(XlsChartGelFrame *g)
{
    if (!g->present || g->gradient)
        return Res_ok;
    if (g->fillType != FillKind_focus && g->fillType != FillKind_centre &&
        g->fillType != FillKind_linear)
        return Res_ok;
    FillSettings s;
    memset(&s, 0, sizeof s);
    s.kind = g->fillType;
    colourBytes(g->fillColour, g->fillOpacity, s.colour1);
    colourBytes(g->backColour, g->backOpacity, s.colour2);
    s.angle = int32_t((int64_t(g->angleStep) * 45) >> 16);
    s.focusCorner = g->focus == 0 ? 0u : g->focus == 100 ? 2u : g->focus == 50 ? 1u : 3u;
    int rc = Fill_buildGradient(&s, &g->gradient);
    return rc == Res_stopCountInvalid ? Res_ok : rc;
}

int32_t scaled(int32_t v, int32_t extent)
{
    int64_t r = int64_t(v) * extent / int32_t(XlsChart_unit);
    return r > INT32_MAX ? INT32_MAX : r < INT32_MIN ? INT32_MIN : int32_t(r);
}

// Colours, gradients and rectangles of a chart just read.
int prepare(XlsChart *c)
{
    resolveLine(c, &c->chartFrame.line);
    resolveArea(c, &c->chartFrame.area);
    resolveLine(c, &c->plotFrame.line);
    resolveArea(c, &c->plotFrame.area);
    int rc = buildGradient(&c->chartFrame.gel);
    if (rc == Res_ok)
        rc = buildGradient(&c->plotFrame.gel);
    if (c->legend) {
        resolveLine(c, &c->legend->frame.line);
        resolveArea(c, &c->legend->frame.area);
        if (rc == Res_ok)
            rc = buildGradient(&c->legend->frame.gel);
        XlsChartLegend *l = c->legend;
        l->x = scaled(l->x, c->rect[2]);
        l->width = scaled(l->width, c->rect[2]);
        l->y = scaled(l->y, c->rect[3]);
        l->height = scaled(l->height, c->rect[3]);
    }
    for (uint32_t i = 0; i < c->seriesCount && rc == Res_ok; i++) {
        for (XlsChartDataFormat *f = c->series[i]->formats; f && rc == Res_ok; f = f->next) {
            resolveLine(c, &f->line);
            resolveArea(c, &f->area);
            rc = buildGradient(&f->gel);
        }
    }
    if (c->hasPlot) {
        c->plot[0] = scaled(c->plot[0], c->rect[2]);
        c->plot[2] = scaled(c->plot[2], c->rect[2]);
        c->plot[1] = scaled(c->plot[1], c->rect[3]);
        c->plot[3] = scaled(c->plot[3], c->rect[3]);
    }
    return rc;
}

} // namespace

int Excel_chartFinish(EngineContext *context, Edr_Node *node, XlsChart *chart, ExcelLoad *load,
                      const char16_t *name, uint32_t mode, Edr_Node **out)
{
    if (out)
        *out = nullptr;
    if (mode > 2)
        return Res_nullInput;
    if (!chart || !load || !load->workbook)
        return Res_missingArgument;
    chart->workbook = load->workbook;
    chart->palette = &load->workbook->palette;
    chart->date1904 = load->date1904;
    int rc = prepare(chart);
    if (rc != Res_ok)
        return rc;
    // The node keeps its own reference to the chart's item. Without a node
    // the item stays listed for the writer.
    ExcelBookItem *item = nullptr;
    rc = Excel_bookAddChart(load->workbook, chart, name, mode == 0, &item);
    if (rc == Res_ok && node && load->doc)
        rc = Excel_chartItemAttach(context, item, load->workbook, load->doc, node, out);
    if (rc != Res_ok && item)
        Excel_chartDetach(load->workbook, chart);
    return rc;
}

int Excel_readChartSheet(ExcelLoad *load, const char16_t *name, intptr_t pageKey)
{
    if (!load || !load->doc || !load->root)
        return Res_missingArgument;
    XlsChart *chart = nullptr;
    int rc = Excel_readChart(load, &chart, load->version);
    if (rc != Res_ok)
        return rc;
    Edr_Doc *doc = load->doc;
    int32_t margin = Excel_Page_margin(0.75);
    uint32_t pageElement = 0;
    Edr_Node *body = nullptr, *header = nullptr, *footer = nullptr, *group = nullptr;
    if (!load->styleSheet)
        rc = Excel_Page_buildStyleSheet(load, ExcelPage_tableWidth, margin);
    if (rc == Res_ok)
        rc = Excel_Page_addPageRule(load, pageKey, margin, margin, margin, margin, 0, &pageElement);
    if (rc == Res_ok)
        rc = Edr_Node_addId(doc, load->root, ExcelPage_elementDocument);
    if (rc == Res_ok)
        rc = Edr_Node_createGroup(doc, load->root, Edr_Insert_lastChild, 0, &body);
    if (rc == Res_ok)
        rc = Edr_Node_addId(doc, body, pageElement);
    if (rc == Res_ok)
        rc = Edr_Doc_getKeyedGroup(doc, pageKey, 0, &header);
    if (rc == Res_ok)
        rc = Edr_Node_addId(doc, header, ExcelPage_elementHeader);
    if (rc == Res_ok)
        rc = Edr_Doc_getKeyedGroup(doc, pageKey, 1, &footer);
    if (rc == Res_ok)
        rc = Edr_Node_addId(doc, footer, ExcelPage_elementFooter);
    // A chart sheet fills its page body from the body's corner: the
    // position its chart record gives is not used.
    chart->rect[0] = chart->rect[1] = 0;
    if (rc == Res_ok)
        rc = Excel_chartFinish(load->context, body, chart, load, name, 0, &group);
    if (rc == Res_ok && group)
        rc = Excel_chartBuild(chart, nullptr, doc, group);
    Edr_Node_release(doc, group);
    Edr_Node_release(doc, body);
    Edr_Node_release(doc, header);
    Edr_Node_release(doc, footer);
    Excel_chartRelease(chart);
    return rc;
}

int Excel_chartPlaceObject(ExcelLoad *load, const ExcelObject *object, Edr_Doc *document,
                           Edr_Node *parent, const int32_t rect[4], const char16_t *sheetName)
{
    if (!load || !object || !document || !parent || !rect || !load->stream)
        return Res_missingArgument;
    if (object->type != Excel_objChart || !object->chart)
        return Res_nullInput;
    uint32_t back = Ole_streamTell(load->stream);
    // The kept extent starts at the chart's BOF header.
    int rc = Ole_streamSeek(load->stream, object->chart->start, 0);
    ExcelRecordHeader h{};
    if (rc == Res_ok)
        rc = Excel_readRecordHeader(load->stream, &h);
    if (rc == Res_ok && h.type != 0x0809)
        rc = XlsChart_errMalformed;
    if (rc == Res_ok)
        rc = Excel_skipRecord(load->stream, &h);
    XlsChart *chart = nullptr;
    if (rc == Res_ok)
        rc = Excel_readChart(load, &chart, load->version);
    int seek = Ole_streamSeek(load->stream, back, 0);
    if (rc == Res_ok)
        rc = seek;
    if (rc != Res_ok) {
        Excel_chartRelease(chart);
        return rc;
    }
    for (int i = 0; i < 4; i++)
        chart->rect[i] = rect[i];
    Edr_Doc *saved = load->doc;
    load->doc = document;
    Edr_Node *group = nullptr;
    rc = Excel_chartFinish(load->context, parent, chart, load, sheetName, 1, &group);
    load->doc = saved;
    if (rc == Res_ok && group)
        rc = Excel_chartBuild(chart, nullptr, document, group);
    Edr_Node_release(document, group);
    Excel_chartRelease(chart);
    return rc;
}
