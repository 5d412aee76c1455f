// Spreadsheet pages, headers and footers (see sheetpage.h).
//
// Header and footer texts carry "&" codes: &L, &C and &R start the left,
// centre and right sections; &B, &I, &S and &U toggle bold, italic,
// strikethrough and underline; &"family,style" sets a font; &<digits> a
// size in points; &P the page number (the sheet's ordinal, optionally
// +n or -n); &A the sheet's name; && an ampersand. &D, &F, &N and &T
// (date, file, page count, time) show nothing here, and &E, &X and &Y only
// toggle flags. Any other code letter is shown as itself.
#include "spreadsheet/reader/sheetpage.h"

#include <cmath>
#include <cstring>

#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/fmt.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "platform/api/request.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"

namespace {

// The element names in id order (also case-insensitive name order).
constexpr char elementNames[] = "document\0footersection\0headersection\0table\0tablecellcenter\0"
                                "tablecellleft\0tablecellright\0tablerow\0";

// Keywords of the element and page rules and of the formatting nodes.
enum : uint32_t {
    kwBlock = 39,
    kwBold = 40,
    kwLeft = 45,
    kwItalic = 79,
    kwCentre = 86,
    kwLineThrough = 88,
    kwNormal = 103,
    kwRight = 117,
    kwUnderline = 129,
    kwTable = 134,
    kwTableCell = 136,
    kwTableRow = 141,
    kwTop = 147,
};

enum : uint32_t { propUnderline = 95, propPageKey = 113 };

constexpr int32_t minMargin = 7000;     // about 0.107 inch
constexpr int32_t twipLength = 45;      // 1/1440 inch in 16.16 inches
constexpr int32_t pointLength = 910;    // 1/72 inch in 16.16 inches
constexpr uint32_t maxFontPoints = 409; // the largest size a sheet's font takes

// One row of the element table: property 34's keyword, an optional length
// (property, value), then properties 79 and 86 (0: not given).
struct ElementRow {
    uint32_t element;
    uint32_t display;
    uint32_t lengthProp;
    int32_t length; // -1: T / 3 (the top margin)
    uint32_t textAlign;
    uint32_t verticalAlign;
};

constexpr ElementRow elementRows[] = {
    {ExcelPage_elementDocument, kwBlock, 0, 0, 0, 0},
    {ExcelPage_elementFooter, kwBlock, PropId_marginTop, -1, 0, 0},
    {ExcelPage_elementHeader, kwBlock, PropId_marginTop, -1, 0, 0},
    {ExcelPage_elementTable, kwTable, PropId_width, ExcelPage_tableWidth, 0, 0},
    {ExcelPage_elementRow, kwTableRow, 0, 0, 0, 0},
    {ExcelPage_elementCellLeft, kwTableCell, PropId_width, 262144, kwCentre, kwTop},
    {ExcelPage_elementCellCentre, kwTableCell, PropId_width, 262144, kwLeft, kwTop},
    {ExcelPage_elementCellRight, kwTableCell, PropId_width, 262144, kwRight, kwTop},
};

int appendData(Edr_Doc *doc, Edr_Node *group, const Prop *value)
{
    return Edr_Node_createData(doc, group, Edr_Insert_lastChild, nullptr, value);
}

int appendText(Edr_Doc *doc, Edr_Node *group, const char16_t *chars, size_t length)
{
    return Edr_Node_createText(doc, group, Edr_Insert_lastChild, nullptr, chars, uint32_t(length));
}

int appendKeywordNode(Edr_Doc *doc, Edr_Node *group, Prop *scratch, uint32_t property,
                      uint32_t keyword)
{
    Prop_setType(scratch, property, uint16_t(keyword));
    return appendData(doc, group, scratch);
}

// The 1-based position of the current sheet among the workbook's sheets
// (the workbook's own item not counted); 1 when it is not found.
int32_t sheetOrdinal(const ExcelLoad *book)
{
    const ExcelBookItem *item = book->workbook ? book->workbook->items : nullptr;
    int32_t n = 0;
    for (; item; item = item->next) {
        if (item->kind == Excel_itemWorkbook)
            continue;
        n++;
        if (item == book->currentSheet)
            return n;
    }
    return 1;
}

// Reads decimal digits at p: the value, saturating at limit, and the end.
uint32_t readDigits(const char16_t *p, const char16_t **end, uint32_t limit)
{
    uint32_t v = 0;
    while (*p >= u'0' && *p <= u'9') {
        v = v > (limit - (*p - u'0')) / 10 ? limit : v * 10 + uint32_t(*p - u'0');
        p++;
    }
    *end = p;
    return v;
}

// &P at p (just after the P): the ordinal, adjusted by +n or -n.
int pageNumber(ExcelLoad *book, Edr_Node *cell, const char16_t **cursor)
{
    const char16_t *p = *cursor;
    int64_t page = sheetOrdinal(book);
    if ((*p == u'+' || *p == u'-') && p[1] >= u'0' && p[1] <= u'9') {
        const char16_t *end;
        int64_t n = readDigits(p + 1, &end, 0xFFFFFFFF);
        page = *p == u'+' ? page + n : page - n;
        p = end;
    }
    *cursor = p;
    // Every 64-bit number fits: the text is as long as its digits.
    char buffer[24];
    int length = Fmt_snprintf(buffer, sizeof buffer, "%s%u", page < 0 ? "-" : "",
                              unsigned(page < 0 ? -page : page));
    if (page > 0xFFFFFFFFLL || page < -0xFFFFFFFFLL)
        length = Fmt_snprintf(buffer, sizeof buffer, "%s", page < 0 ? "-4294967295" : "4294967295");
    char16_t wide[24];
    for (int i = 0; i <= length; i++)
        wide[i] = char16_t(uint8_t(buffer[i]));
    return appendText(book->doc, cell, wide, size_t(length));
}

// &"family,style" at p (just after the quote).
int fontCode(ExcelLoad *book, Edr_Node *cell, Prop *scratch, const char16_t **cursor, bool *bold,
             bool *italic)
{
    const char16_t *start = *cursor, *p = start;
    const char16_t *firstComma = nullptr, *lastComma = nullptr;
    while (*p && *p != u'"') {
        if (*p == u',') {
            if (!firstComma)
                firstComma = p;
            lastComma = p;
        }
        p++;
    }
    const char16_t *close = p;
    *cursor = *p ? p + 1 : p;
    int err = Res_ok;
    if (lastComma && lastComma != start) {
        Prop_setUstr(scratch, PropId_fontFamily, const_cast<char16_t *>(start),
                     uint32_t(lastComma - start));
        err = appendData(book->doc, cell, scratch);
        Prop_zero(scratch);
    }
    *bold = false;
    *italic = false;
    if (firstComma)
        for (const char16_t *q = firstComma + 1; q + 1 < close; q++) {
            if ((*q == u'l') && q[1] == u'd')
                *bold = true;
            if ((*q == u'l') && q[1] == u'i')
                *italic = true;
        }
    if (err == Res_ok)
        err = Excel_HeaderFooter_setBold(book->doc, cell, scratch, *bold ? kwBold : kwNormal);
    if (err == Res_ok)
        err = Excel_HeaderFooter_setItalic(book->doc, cell, scratch, *italic ? kwItalic : kwNormal);
    return err;
}

} // namespace

// ------------------------------------------------------------ style rules

int StyleRule_appendKeyword(StyleRule *rule, Prop *scratch, uint32_t property, uint32_t keyword)
{
    Prop_setType(scratch, property, uint16_t(keyword));
    return StyleRule_appendProp(rule, scratch);
}

int StyleRule_appendLength(StyleRule *rule, Prop *scratch, uint32_t property, int32_t length)
{
    Prop_setLength(scratch, property, length);
    return StyleRule_appendProp(rule, scratch);
}

int32_t Excel_Page_margin(double inches)
{
    double v = inches * 65536.0;
    if (std::isnan(v) || v < double(minMargin))
        return minMargin;
    if (v >= 2147483647.0)
        return INT32_MAX;
    return int32_t(v);
}

int Excel_Page_buildStyleSheet(ExcelLoad *book, int32_t width, int32_t top)
{
    if (!book || !book->doc)
        return Res_missingArgument;
    StrTable *names = StrTable_create(elementNames);
    if (!names)
        return Res_noMemory;
    int err = Edr_Doc_setStringTable(book->doc, names);
    if (err != Res_ok) {
        StrTable_destroy(names);
        return err;
    }
    Request *sheet = nullptr;
    err = Request_new(book->context, 2, &sheet);
    Prop scratch{};
    for (size_t i = 0; err == Res_ok && i < sizeof elementRows / sizeof elementRows[0]; i++) {
        const ElementRow &row = elementRows[i];
        StyleRule *rule = nullptr;
        err = StyleRule_create(&rule);
        if (err == Res_ok)
            err = StyleRule_appendKeyword(rule, &scratch, PropId_display, row.display);
        if (err == Res_ok && row.lengthProp) {
            int32_t length = row.length < 0                          ? top / 3
                             : row.element == ExcelPage_elementTable ? width
                                                                     : row.length;
            err = StyleRule_appendLength(rule, &scratch, row.lengthProp, length);
        }
        if (err == Res_ok && row.textAlign)
            err = StyleRule_appendKeyword(rule, &scratch, PropId_textAlign, row.textAlign);
        if (err == Res_ok && row.verticalAlign)
            err = StyleRule_appendKeyword(rule, &scratch, PropId_verticalAlign, row.verticalAlign);
        if (err == Res_ok)
            err = StyleRule_addMatch10(rule, row.element);
        if (err == Res_ok)
            err = Request_addItem(sheet, &rule);
        StyleRule_destroy(rule); // null once handed over
    }
    if (err == Res_ok)
        err = Edr_Doc_addRequest(book->doc, sheet);
    if (err == Res_ok) {
        book->styleSheet = sheet;
        book->nextElementId = ExcelPage_firstPageElement;
        return Res_ok;
    }
    Request_release(sheet);
    return err;
}

int Excel_Page_addPageRule(ExcelLoad *book, intptr_t pageKey, int32_t top, int32_t left,
                           int32_t bottom, int32_t right, int flag, uint32_t *id)
{
    if (id)
        *id = 0;
    if (!book || !id)
        return Res_missingArgument;
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    Prop scratch{};
    if (err == Res_ok) {
        const uint8_t white[4] = {255, 255, 255, 255};
        Prop_setColour(&scratch, PropId_backgroundColor, white);
        err = StyleRule_appendProp(rule, &scratch);
    }
    if (err == Res_ok)
        err =
            StyleRule_appendKeyword(rule, &scratch, PropId_display, flag ? 0u : uint32_t(kwBlock));
    if (err == Res_ok) {
        Prop_setInt(&scratch, propPageKey, int32_t(pageKey));
        err = StyleRule_appendProp(rule, &scratch);
    }
    if (err == Res_ok)
        err = StyleRule_appendLength(rule, &scratch, PropId_marginTop, top);
    if (err == Res_ok)
        err = StyleRule_appendLength(rule, &scratch, PropId_marginBottom, bottom);
    if (err == Res_ok)
        err = StyleRule_appendLength(rule, &scratch, PropId_marginLeft, left);
    if (err == Res_ok)
        err = StyleRule_appendLength(rule, &scratch, PropId_marginRight, right);
    if (err != Res_ok) {
        StyleRule_destroy(rule);
        return err;
    }
    return Excel_Book_addElementRule(book, &rule, id);
}

int Excel_Page_build(ExcelLoad *book, const ExcelPageSetup *setup, SheetGrid *grid,
                     intptr_t pageKey, int flag)
{
    if (!book || !setup || !book->doc || !book->root) {
        Excel_gridLayoutFree(grid);
        return Res_missingArgument;
    }
    Edr_Doc *doc = book->doc;
    int32_t top = Excel_Page_margin(setup->topMargin);
    int32_t left = Excel_Page_margin(setup->leftMargin);
    int32_t bottom = Excel_Page_margin(setup->bottomMargin);
    int32_t right = Excel_Page_margin(setup->rightMargin);
    Edr_Node *body = nullptr, *header = nullptr, *footer = nullptr;
    uint32_t pageElement = 0;
    int err = Res_ok;
    if (!book->styleSheet)
        err = Excel_Page_buildStyleSheet(book, ExcelPage_tableWidth, top);
    if (err == Res_ok)
        err = Excel_Page_addPageRule(book, pageKey, top, left, bottom, right, flag, &pageElement);
    if (err == Res_ok)
        err = Edr_Node_addId(doc, book->root, ExcelPage_elementDocument);
    if (err == Res_ok)
        err = Edr_Node_createGroup(doc, book->root, Edr_Insert_lastChild, 0, &body);
    if (err == Res_ok)
        err = Edr_Node_addId(doc, body, pageElement);
    if (err == Res_ok)
        err = Edr_Doc_getKeyedGroup(doc, pageKey, 0, &header);
    if (err == Res_ok)
        err = Edr_Node_addId(doc, header, ExcelPage_elementHeader);
    if (err == Res_ok && setup->header)
        err = Excel_HeaderFooter_build(book, header, setup->header);
    if (err != Res_ok) {
        Excel_gridLayoutFree(grid);
    } else {
        // From here the grid record belongs to the tree.
        err = Edr_Node_createRecordRef(doc, body, Edr_Insert_lastChild, nullptr, grid,
                                       Excel_gridRecordFree);
        if (err == Res_ok)
            err = Edr_Doc_getKeyedGroup(doc, pageKey, 1, &footer);
        if (err == Res_ok)
            err = Edr_Node_addId(doc, footer, ExcelPage_elementFooter);
        if (err == Res_ok && setup->footer)
            err = Excel_HeaderFooter_build(book, footer, setup->footer);
        if (err == Res_ok)
            err = Excel_Sheet_buildGrid(book, grid, body);
    }
    Edr_Node_release(doc, body);
    Edr_Node_release(doc, header);
    Edr_Node_release(doc, footer);
    return err;
}

// ------------------------------------------------------ headers and footers

int Excel_HeaderFooter_build(ExcelLoad *book, Edr_Node *section, const char16_t *text)
{
    if (!book || !book->doc || !section || !text)
        return Res_missingArgument;
    Edr_Doc *doc = book->doc;
    Edr_Node *table = nullptr, *row = nullptr, *cells[3] = {};
    int err = Edr_Node_createGroup(doc, section, Edr_Insert_lastChild, 0, &table);
    if (err == Res_ok)
        err = Edr_Node_createGroup(doc, table, Edr_Insert_lastChild, 0, &row);
    for (int i = 0; err == Res_ok && i < 3; i++)
        err = Edr_Node_createGroup(doc, row, Edr_Insert_lastChild, 0, &cells[i]);
    const char16_t *p = text;
    while (err == Res_ok && *p) {
        int which = -1;
        if (*p == u'&')
            which = p[1] == u'L' ? 0 : p[1] == u'C' ? 1 : p[1] == u'R' ? 2 : -1;
        if (which < 0) {
            p++;
            continue;
        }
        p += 2;
        err = Excel_HeaderFooter_parseSegment(book, cells[which], &p);
    }
    if (err == Res_ok)
        err = Edr_Node_addId(doc, table, ExcelPage_elementTable);
    if (err == Res_ok)
        err = Edr_Node_addId(doc, row, ExcelPage_elementRow);
    if (err == Res_ok)
        err = Edr_Node_addId(doc, cells[0], ExcelPage_elementCellLeft);
    if (err == Res_ok)
        err = Edr_Node_addId(doc, cells[1], ExcelPage_elementCellCentre);
    if (err == Res_ok)
        err = Edr_Node_addId(doc, cells[2], ExcelPage_elementCellRight);
    Edr_Node_release(doc, table);
    Edr_Node_release(doc, row);
    for (Edr_Node *cell : cells)
        Edr_Node_release(doc, cell);
    return err;
}

int Excel_HeaderFooter_setDefaultFont(ExcelLoad *book, Edr_Node *cell, Prop *scratch)
{
    const ExcelWorkbook *wb = book->workbook;
    if (!wb || !wb->xfs || wb->xfCount <= Excel_defaultXf)
        return Res_ok;
    const ExcelFont *font = wb->xfs[Excel_defaultXf].font;
    if (!font)
        return Res_ok;
    int err = Res_ok;
    size_t n = font->name ? Ustr_len(font->name) : 0;
    if (n) {
        Prop_setUstr(scratch, PropId_fontFamily, font->name, uint32_t(n));
        err = appendData(book->doc, cell, scratch);
        Prop_zero(scratch);
    }
    if (err == Res_ok) {
        Prop_setLength(scratch, PropId_fontSize, twipLength * int32_t(font->height));
        err = appendData(book->doc, cell, scratch);
    }
    return err;
}

int Excel_HeaderFooter_setItalic(Edr_Doc *doc, Edr_Node *group, Prop *scratch, uint32_t keyword)
{
    return appendKeywordNode(doc, group, scratch, PropId_fontStyle, keyword);
}

int Excel_HeaderFooter_setBold(Edr_Doc *doc, Edr_Node *group, Prop *scratch, uint32_t keyword)
{
    return appendKeywordNode(doc, group, scratch, PropId_fontWeight, keyword);
}

int Excel_HeaderFooter_parseSegment(ExcelLoad *book, Edr_Node *cell, const char16_t **cursor)
{
    if (!book || !book->doc || !cell || !cursor || !*cursor)
        return Res_missingArgument;
    Edr_Doc *doc = book->doc;
    Prop scratch{};
    bool bold = false, italic = false, strike = false, underline = false;
    bool flagE = false, flagX = false, flagY = false; // kept, but they change nothing shown
    const char16_t *name = book->currentSheet ? book->currentSheet->name : nullptr;
    const char16_t *p = *cursor;
    int err = Excel_HeaderFooter_setDefaultFont(book, cell, &scratch);
    while (err == Res_ok && *p) {
        if (*p != u'&') {
            const char16_t *start = p;
            while (*p && *p != u'&')
                p++;
            err = appendText(doc, cell, start, size_t(p - start));
            continue;
        }
        char16_t code = p[1];
        if (code == u'L' || code == u'C' || code == u'R')
            break;
        p += 2;
        switch (code) {
        case u'D':
        case u'F':
        case u'N':
        case u'T': break;
        case u'E': flagE = !flagE; break;
        case u'X': flagX = !flagX; break;
        case u'Y': flagY = !flagY; break;
        case u'B':
            bold = !bold;
            err = Excel_HeaderFooter_setBold(doc, cell, &scratch, bold ? kwBold : kwNormal);
            break;
        case u'I':
            italic = !italic;
            err = Excel_HeaderFooter_setItalic(doc, cell, &scratch, italic ? kwItalic : kwNormal);
            break;
        case u'S':
            strike = !strike;
            err = appendKeywordNode(doc, cell, &scratch, PropId_textDecoration,
                                    strike ? uint32_t(kwLineThrough) : 0u);
            break;
        case u'U':
            underline = !underline;
            err = appendKeywordNode(doc, cell, &scratch, propUnderline,
                                    underline ? uint32_t(kwUnderline) : 0u);
            break;
        case u'&': err = appendText(doc, cell, u"&", 1); break;
        case u'A':
            if (name && *name)
                err = appendText(doc, cell, name, Ustr_len(name));
            break;
        case u'P': err = pageNumber(book, cell, &p); break;
        case u'"': err = fontCode(book, cell, &scratch, &p, &bold, &italic); break;
        default:
            if (code >= u'0' && code <= u'9') {
                uint32_t points = readDigits(p - 1, &p, maxFontPoints);
                Prop_setLength(&scratch, PropId_fontSize, pointLength * int32_t(points));
                err = appendData(doc, cell, &scratch);
            } else {
                // The "&" is dropped; the character after it starts text.
                p--;
            }
            break;
        }
    }
    (void)flagE;
    (void)flagX;
    (void)flagY;
    *cursor = p;
    return err;
}
