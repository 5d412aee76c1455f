// Charts of a workbook: the chart model read from a BIFF chart substream
// (a chart sheet, or the chart of an embedded chart object), its binding to
// the worksheet cells it plots, and its drawing into document nodes.
//
// The reader takes BIFF5 and BIFF8 substreams. A Begin record (0x1033)
// opens a nested block that runs to its End (0x1034); blocks the reader
// does not model are skipped whole. The model keeps what the drawing and
// the binding use: the chart and plot rectangles, the axes with their
// scale settings, the series with their three references (name, values,
// categories) and their formats, titles, the legend and the chart group
// (line, bar, pie, doughnut).
//
// A chart record is reference-counted. A chart placed in the document is
// carried by a group node whose private data is a workbook reference
// (ExcelBookRef); the binding finds those nodes, reads the chart's cells
// back from the sheets and rebuilds the drawing after every edit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "spreadsheet/reader/workbook.h"

struct Edr_Doc;
struct Edr_Node;
struct Edr_Value;
struct EngineContext;
struct ExcelLoad;
struct ExcelObject;
struct Excel_RefArray;
struct Gradient;
struct SheetGrid;

enum : uint32_t {
    XlsChart_typeNone = 0,
    XlsChart_typeLine = 1,
    XlsChart_typeBar = 2,
    XlsChart_typePie = 3,
    XlsChart_typeDoughnut = 7,
    XlsChart_unit = 4000,  // the file's rectangle unit: 1/4000 of the chart
    XlsChart_linkName = 0, // reference and list indexes of a series
    XlsChart_linkValues = 1,
    XlsChart_linkCategories = 2,
    XlsChart_maxDepth = 64, // nesting of Begin blocks taken before a chart is malformed
};

// Reader failures besides 1 (memory): 12544 malformed, 14 the substream
// ends before its start, 17 external-sheet table misuse.
enum : int {
    XlsChart_errMalformed = 12544,
    XlsChart_errBeforeStart = 14,
    XlsChart_errExternSheets = 17,
};

struct XlsChartRef {
    uint32_t position;   // stream position of the BRAI record
    uint16_t format;     // number format index
    uint8_t type;        // 1 literal, 2 worksheet reference
    uint32_t formatFlag; // the flag word
    uint16_t length;     // formula bytes
    uint8_t *tokens;     // owned copy, or null
};

struct XlsChartLine {
    uint8_t colour[4];    // red, green, blue, alpha
    uint16_t pattern;     // 5: no line
    int16_t weight;       // -1 hairline, 0 single, 1 double, 2 triple
    uint16_t flags;       // bit 0 automatic
    uint16_t colourIndex; // BIFF8
    uint32_t colourWord;  // as read: bit 27 set for a palette index
};

struct XlsChartArea {
    uint8_t foreground[4];
    uint8_t background[4];
    uint16_t pattern; // 0 none, 1 solid
    uint16_t flags;   // bit 0 automatic
    uint16_t foregroundIndex;
    uint16_t backgroundIndex;
    uint32_t foregroundWord;
    uint32_t backgroundWord;
};

// The first GelFrame of a frame or data format: OfficeArt fill properties.
struct XlsChartGelFrame {
    uint32_t present;
    uint32_t fillType;
    uint32_t fillColour;
    uint8_t fillOpacity;
    uint32_t backColour;
    uint8_t backOpacity;
    int32_t angleStep; // |angle| / 45 degrees, 16.16
    int32_t focus;
    uint32_t further[4]; // 0x018F, 0x0190, 0x0196, 0x019C
    Gradient *gradient;  // built when the chart is finished (owned)
};

struct XlsChartFrame {
    XlsChartLine line;
    XlsChartArea area;
    XlsChartGelFrame gel;
    uint16_t type;
    uint8_t hasLine;
    uint8_t hasArea;
};

struct XlsChartMarker {
    uint8_t foreground[4];
    uint8_t background[4];
    uint16_t type;
    uint16_t foregroundIndex;
    uint16_t backgroundIndex;
    uint32_t size;
};

struct XlsChartDataFormat {
    XlsChartDataFormat *next;
    uint16_t point; // 0xFFFF: the whole series
    uint16_t series;
    uint16_t order;
    XlsChartLine line;
    XlsChartArea area;
    XlsChartMarker marker;
    uint16_t explosion;
    XlsChartGelFrame gel;
    uint8_t hasLine;
    uint8_t hasArea;
};

struct XlsChartValueRange {
    double numMin, numMax, numMajor, numMinor, numCross;
    uint16_t flags; // bits 0-4 automatic min, max, major, minor, crossing; bit 5 logarithmic
};

enum : uint16_t {
    XlsChart_autoMin = 0x01,
    XlsChart_autoMax = 0x02,
    XlsChart_autoMajor = 0x04,
    XlsChart_logScale = 0x20,
    XlsChart_catReverse = 0x04, // category flags: values in reverse order
};

struct XlsChartText {
    uint8_t align;
    uint8_t valign;
    uint8_t colour[4];
    int32_t x, y, width, height;
    char16_t *text; // owned, or null
    uint16_t colourIndex;
    uint16_t rotation;
    int32_t position[4]; // from Pos
    uint16_t link;       // ObjectLink target, 0 when none
};

struct XlsChartAxis {
    XlsChartValueRange *range; // owned, or null
    uint16_t category[4];      // crossing, label frequency, mark frequency, flags
    uint8_t majorTick, minorTick, labelPosition;
    uint8_t tickColour[4];
    uint16_t tickColourIndex;
    uint8_t hasTick;
    uint16_t axcExt[8];
    XlsChartLine lines[4]; // axis line, major grid, minor grid, walls
    uint8_t hasLine[4];
    uint16_t format;     // number format index (IFmt)
    uint16_t fontHeight; // twips of the FontX font, 0 when none
    double multiplier;   // display units, 1.0 by default
    XlsChartText *title; // owned, or null
};

struct XlsChartLegend {
    int32_t x, y, width, height; // 1/4000 of the chart until finished
    uint8_t type;
    uint8_t spacing;
    uint16_t flags;
    XlsChartFrame frame;
};

struct XlsChartSeries {
    uint32_t position;           // stream position of its Series record
    XlsChartRef refs[3];         // name, values, categories
    XlsChartDataFormat *formats; // owned chain
    char16_t *name;              // owned, or null
    uint16_t parent;             // SerParent (1-based), 0 when none
    uint16_t categoryType;       // sdtX: 3 texts, else numbers
    uint16_t declared[2];        // category and value counts of the Series record
    struct {
        uint8_t type, source;
        double value;
        uint16_t count;
    } errorBar;
    Excel_RefArray *lists[3]; // name, values, categories (owned, may be null)
    uint32_t numberFormat;    // the values' number format index (0: none)
};

struct XlsChartExtern {
    uint32_t position;
    uint32_t kind;  // 1 sheet name here, 2 own workbook, 3 external, 4 deleted
    char16_t *name; // owned, or null
};

struct XlsChart {
    uint32_t refs;
    uint32_t version;      // BIFF version of the substream
    uint32_t start;        // stream position after the BOF
    uint32_t length;       // set at EOF
    int32_t rect[4];       // x, y, width, height: 16.16 inches
    XlsChartAxis *axes[3]; // category, value, series
    XlsChartText *title;
    XlsChartFrame chartFrame;
    XlsChartFrame plotFrame;
    uint8_t hasPlotFrame;
    uint32_t type;    // XlsChart_type*
    uint16_t option1; // pie start angle; bar overlap
    uint16_t option2; // doughnut hole; bar gap
    uint32_t groupFlags;
    uint16_t plotFrameType;
    XlsChartLegend *legend;
    XlsChartSeries **series;
    uint16_t seriesCount;
    uint16_t seriesCapacity;
    uint16_t cacheIndex;     // SIIndex: 1 values, 2 categories, 3 bubble sizes
    XlsChartExtern *externs; // BIFF5 external-sheet table
    uint16_t externCount;    // entries read
    uint16_t externExpected; // entries announced by EXTERNCOUNT
    uint16_t externCapacity; // entries allocated
    uint8_t externPending;
    int32_t plot[4]; // the plot rectangle: 1/4000 of the chart until finished
    uint8_t hasPlot;
    double plotDefaults[4];
    uint32_t date1904;
    const void *sheet;
    const ExcelPalette *palette;
    ExcelWorkbook *workbook; // set when the chart is finished (not counted)
    uint32_t cacheBudget;    // cache entries that may still be allocated
};

// ------------------------------------------------------------- the reader

// Reads a chart substream (from just after its BOF up to and including its
// EOF) of data[0..size) into *chart (cleared first; the caller has made it
// with Excel_chartCreate). base is the stream position of data[0];
// workbook, when given, supplies the font heights, the date mode and the
// palette. 0; 1; 12544 malformed; 14; 17.
[[nodiscard]] int Excel_readChartBytes(const uint8_t *data, size_t size, uint32_t base,
                                       uint32_t version, const ExcelWorkbook *workbook,
                                       XlsChart *chart);
// Reads the chart substream at the load's stream position (just after its
// BOF) into a new chart record (*out, one reference). The stream is left
// after the substream's EOF. 0 or the errors above, or a stream error.
[[nodiscard]] int Excel_readChart(ExcelLoad *load, XlsChart **out, uint32_t version);
// Turns the references of every series of every chart of the load's
// workbook into cell and range references. 0; 1; 19 without a workbook.
[[nodiscard]] int Excel_resolveChartRefs(ExcelLoad *load);
// The same for one chart.
[[nodiscard]] int Excel_resolveChartRefsOf(ExcelLoad *load, XlsChart *chart);
// Entries of a series' value and category lists (0 for null).
uint32_t Excel_chartSeriesValueCount(const XlsChartSeries *series);
uint32_t Excel_chartSeriesCategoryCount(const XlsChartSeries *series);
// The worksheet name that a 3-D reference's sheet index names (lent), or
// null: BIFF8 through the workbook's EXTERNSHEET table (the workbook
// itself only), BIFF5 through the chart's own table. 0xFFFF: none.
const char16_t *Excel_chartSheetByIndex(ExcelLoad *load, const XlsChart *chart, uint32_t index,
                                        uint32_t firstSheet);
// The number format of a series reference: the XF format of the first
// cell of a ptgArea3d reference, else the first XF whose format is
// `format`. *flag is 1 when a format was found.
uint32_t Excel_chartSeriesFormat(ExcelLoad *load, const XlsChart *chart, uint32_t length,
                                 const uint8_t *formula, uint32_t *flag, uint32_t format);

// ---------------------------------------------------------- life cycle

// A zeroed chart with one reference, or null.
XlsChart *Excel_chartCreate();
// 0; 16 for null; 11 when the count would overflow.
int Excel_chartAddRef(XlsChart *chart);
// The last release frees the chart and all it holds. Null is ignored.
void Excel_chartRelease(XlsChart *chart);
// Frees what the chart holds and zeroes it, keeping its count.
void Excel_chartClearModel(XlsChart *chart);

// ------------------------------------------------------------ value cells

// A value cell: a typed value whose key holds {row, column}, with the
// sheet it lies on.
struct ExcelValueCell {
    Edr_Value *value; // owned; value->key is {row, column}
    char16_t *sheet;  // owned
};

struct ExcelValueCells {
    ExcelValueCell *cells;
    uint32_t count;
    uint32_t capacity; // grows by 10
    uint32_t iteration;
};

ExcelValueCells *ExcelValueCells_create();
void ExcelValueCells_free(ExcelValueCells *list);
// Inserts the cell (taken over) sorted by key and sheet; a cell with the
// same key and sheet takes the new value and the new record is freed.
// *cell is cleared. 0; 1 (the cell is freed); 16.
[[nodiscard]] int ExcelValueCells_add(ExcelValueCell *cell, ExcelValueCells *list);
// Iteration: the first cell, then the next; null past the end.
ExcelValueCell *ExcelValueCells_first(ExcelValueCells *list);
ExcelValueCell *ExcelValueCells_next(ExcelValueCells *list);
// The cell at key on the sheet (null sheet: any), or null.
ExcelValueCell *ExcelValueCells_find(ExcelValueCells *list, const uint32_t key[2],
                                     const char16_t *sheet);
// Copies kind and value of source into cell index. 0; 8 unset kind or
// index out of range; 16; 1.
[[nodiscard]] int ExcelValueCells_setAt(const Edr_Value *source, uint32_t index,
                                        ExcelValueCells *list);
// The index of the first cell at key (bisection), or the count when none.
uint32_t ExcelValueCells_index(const uint32_t key[2], const ExcelValueCells *list);

// Collects into a new list (*out) the cells that the three references of
// every series refer to. 0; 1; 16.
[[nodiscard]] int Excel_chartSeriesCells(const XlsChart *chart, ExcelValueCells **out);
// Fills the cells from the workbook's sheets: text of the cell entry,
// then the number of a pending edit. 0; 8; 16.
[[nodiscard]] int Excel_fillValueCells(ExcelWorkbook *workbook, ExcelValueCells *cells);

// ------------------------------------------------------- workbook links

struct ExcelBookRef {
    uint32_t refs;
    XlsChart *chart; // one reference
    EngineContext *app;
    ExcelWorkbook *workbook;
};

[[nodiscard]] int ExcelBookRef_create(EngineContext *context, XlsChart *chart,
                                      ExcelWorkbook *workbook, ExcelBookRef **out);
// 0; 16 null; 11 overflow.
int ExcelBookRef_addRef(ExcelBookRef *ref);
// The last release detaches the chart's item from the workbook, releases
// the chart and frees the record (the destructor of a chart node's data).
void ExcelBookRef_release(void *ref);
// A new group node under node carrying the reference (one more share);
// *out (may be null) gets the group with one reference.
[[nodiscard]] int ExcelBookRef_attach(ExcelBookRef *ref, Edr_Doc *document, Edr_Node *node,
                                      Edr_Node **out);
// Attaches a new reference of a chart item (kinds 2 and 3). 8 other kinds.
[[nodiscard]] int Excel_chartItemAttach(EngineContext *context, ExcelBookItem *item,
                                        ExcelWorkbook *workbook, Edr_Doc *document, Edr_Node *node,
                                        Edr_Node **out);
// Completes a chart read from the file: colours, gradients, rectangles
// scaled to the chart's extent, the workbook item under name (kind 3 for
// mode 0, else 2, its word 1 + mode) and the chart node under node (*out,
// may be null). 8 bad mode; 16 missing chart or workbook.
[[nodiscard]] int Excel_chartFinish(EngineContext *context, Edr_Node *node, XlsChart *chart,
                                    ExcelLoad *load, const char16_t *name, uint32_t mode,
                                    Edr_Node **out);

// Context of Excel_walkFindRecord.
struct ExcelFindContext {
    Edr_Doc *document;
    ExcelWorkbook *found;
};
// A tree-walk visitor that stops at the first node carrying a workbook
// reference and stores its workbook in the context.
int Excel_walkFindRecord(Edr_Node *node, int *stop, int *skip, void *context);
// Collects every chart node under group (the root when null): *nodes a
// new array (freed by the caller), *count its entries. 0; 1.
[[nodiscard]] int Excel_collectChartNodes(Edr_Doc *document, Edr_Node *group, Edr_Node ***nodes,
                                          uint32_t *count);
// Rebuilds every chart of the document from the workbook's cells. 0; 19;
// the first failure.
[[nodiscard]] int Excel_bindCharts(ExcelWorkbook *workbook, Edr_Doc *document);
// After rows or columns of a worksheet were inserted or deleted
// (operation 0 insert rows, 1 delete rows, 2 insert columns, 3 delete
// columns): shifts the sheet's ranges, the chart references on it, and
// rebinds the charts of document (may be null). 8; 16.
[[nodiscard]] int Excel_sheetStructureChanged(ExcelWorkbook *workbook, SheetGrid *sheet,
                                              uint32_t operation, uint32_t index, uint32_t count,
                                              Edr_Doc *document);
// Shifts the three references of every series of the chart for a change
// (ExcelRefChange) of the named sheet, in their lists and their formula
// tokens. 0; 16; 1.
[[nodiscard]] int Excel_Chart_adjustRefs(XlsChart *chart, uint32_t change,
                                         const char16_t *sheetName, const uint16_t *externIndices,
                                         uint32_t externCount, uint32_t at, uint32_t count);

// ------------------------------------------------------------ placement

// Reads the chart of an embedded chart object (its substream kept by the
// sheet walk), finishes it under the worksheet's name and draws it in a
// new group under parent over rect {x, y, width, height} (16.16 inches,
// page coordinates). 0; 8 when the object is not a chart; the reader's
// and the document's errors.
[[nodiscard]] int Excel_chartPlaceObject(ExcelLoad *load, const ExcelObject *object,
                                         Edr_Doc *document, Edr_Node *parent, const int32_t rect[4],
                                         const char16_t *sheetName);
// Reads a chart sheet at the load's stream position (after its BOF) and
// builds its page. 0 or an error.
[[nodiscard]] int Excel_readChartSheet(ExcelLoad *load, const char16_t *name, intptr_t pageKey);

// ------------------------------------------------------------- drawing

struct XlsChartScale {
    int32_t n;        // major intervals
    int32_t z;        // intervals below the zero line
    int32_t interval; // plot height / n
    double step;
    int32_t leftTwentieth; // plot left / 20
    double minimum;
    double maximum;
};

// Rebuilds the chart's drawing under group. context: the value cells the
// series read (may be null: the lists themselves). 0; 1; 16; document
// errors.
[[nodiscard]] int Excel_chartBuild(XlsChart *chart, ExcelValueCells *context, Edr_Doc *document,
                                   Edr_Node *group);
// Removes every child of the group. 16 for a missing document or group.
[[nodiscard]] int Excel_chartClear(Edr_Doc *document, Edr_Node *group);
// The value drawn for a point (which 1; 0 and 2 give 0.0).
double Excel_chartValue(const XlsChart *chart, ExcelValueCells *context, uint32_t series,
                        uint32_t which, uint32_t point);
int Excel_chartIsStacked(const XlsChart *chart);
void Excel_chartScale(const XlsChart *chart, ExcelValueCells *context, int32_t plotHeight,
                      int32_t plotLeft, XlsChartScale *out);
double Excel_chartDecade(double x, double s);
double Excel_chartNiceStep(double minimum, double maximum, double step, int32_t low, int32_t high,
                           int32_t *n, int margin);
