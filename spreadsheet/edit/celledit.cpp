// Spreadsheet contents editing: the steps of a cell's round trip that do
// not touch the viewer (see celledit.h).
//
// Style properties exchanged with a cell's rule:
//   43 font weight   in: bold for keywords 28, 29, 40     out: 28 bold, else 25
//   41 font style    in: italic for 79, 105               out: 79 when italic
//   80 decoration    in: strike for 88                    out: 88 when strike
//   95 underline     in: 0x04 for 129, 166, 167; 0x08 for 60, 168
//                                                         out: 60 for 0x08, else 129 for 0x04
//   29 colour        in: the nearest palette index        out: the palette colour, alpha 0xFF
//   37 family        in: the name in UTF-8                out: the name in UTF-16
//   38 size          in: points of the length             out: the length of the points
//   79 text-align    in: 45 -> 0x10000, 86/171 -> 0x10001, 117 -> 0x10002
//                                                         out: 45, 86, 117
//   135 vertical     in: 43 -> 0x10002, 147 -> 0x10001, else 0x10000
//                                                         out: 45, 147, 43
#include "spreadsheet/edit/celledit.h"

#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/reader/sheetstore.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/text/fmt.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "document/edit/editdata.h"
#include "platform/api/editing.h"
#include "spreadsheet/format/numfmt.h"
#include "spreadsheet/reader/sheet.h"

namespace {

enum : uint32_t {
    propColour = 29,
    propFamily = 37,
    propSize = 38,
    propStyle = 41,
    propWeight = 43,
    propAlign = 79,
    propDecoration = 80,
    propUnderline = 95,
    propVertical = 135,
};

constexpr int maxLetters = 2; // IV, the last of 256 columns
constexpr int maxDigits = 5;  // 65536 rows

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int setKeyword(StyleRule *rule, uint32_t id, uint32_t keyword)
{
    Prop v{};
    Prop_setType(&v, id, uint16_t(keyword));
    return StyleRule_appendProp(rule, &v);
}

void paletteBytes(uint32_t word, uint8_t rgba[4])
{
    rgba[0] = uint8_t(word >> 24);
    rgba[1] = uint8_t(word >> 16);
    rgba[2] = uint8_t(word >> 8);
    rgba[3] = uint8_t(word);
}

bool validSize(uint32_t points)
{
    return points >= CellEdit_minFontSize && points <= CellEdit_maxFontSize;
}

// A UTF-16 text as a new UTF-8 string.
int toUtf8(const char16_t *s, char **out)
{
    return Charset_fromUstr(nullptr, s, out, CharsetCode_utf8);
}

} // namespace

// ------------------------------------------------------------ the record

CellEdit *Excel_CellEdit_new(uint32_t row, uint32_t column)
{
    CellEdit *e = static_cast<CellEdit *>(Mem_calloc(1, sizeof(CellEdit)));
    if (!e)
        return nullptr;
    e->row = row;
    e->column = column;
    e->formulaReadable = 1;
    e->resizeMode = CellEdit_resizeBoth;
    e->hAlign = CellEdit_alignDefault;
    e->vAlign = CellEdit_alignEnd;
    return e;
}

void Excel_CellEdit_free(CellEdit *edit)
{
    if (!edit)
        return;
    Mem_free(edit->text);
    Mem_free(edit->fontName);
    Mem_free(edit->formatString);
    Mem_free(edit);
}

int Excel_CellEdit_finish(CellEdit *edit)
{
    if (!edit->fontName && !(edit->fontName = Cstr_dup("Arial")))
        return Res_noMemory;
    if (!validSize(edit->fontSize))
        edit->fontSize = 10;
    if (!edit->text && !(edit->text = Cstr_dup("")))
        return Res_noMemory;
    return Res_ok;
}

// ------------------------------------------------------------ references

int Excel_CellEdit_parseRef(const char *text, int32_t *row, int32_t *column)
{
    *row = 0;
    *column = 0;
    if (!text)
        return CellEdit_noticeGotoBadRef;
    int letters = 0, digits = 0;
    int32_t c = 0, r = 0;
    const char *p = text;
    for (; isLetter(*p); p++) {
        if (++letters > maxLetters)
            return CellEdit_noticeGotoBadRef;
        c = c * 26 + ((*p & ~0x20) - 64);
    }
    for (; isDigit(*p); p++) {
        if (++digits > maxDigits)
            return CellEdit_noticeGotoBadRef;
        r = r * 10 + (*p - '0');
    }
    if (!letters || !digits || *p)
        return CellEdit_noticeGotoBadRef;
    *row = r - 1;
    *column = c - 1;
    return Res_ok;
}

size_t Excel_CellEdit_refText(uint32_t row, uint32_t column, char *buffer, size_t capacity)
{
    // Letters in bijective base 26: A..Z, AA..ZZ, ... (for column 26 or more
    // below 702 the first letter is 0x40 + column / 26).
    char letters[8];
    size_t n = 0;
    uint64_t c = uint64_t(column) + 1;
    while (c) {
        c--;
        letters[n++] = char('A' + c % 26);
        c /= 26;
    }
    char text[24];
    size_t k = 0;
    while (n)
        text[k++] = letters[--n];
    Fmt_snprintf(text + k, sizeof text - k, "%u", unsigned(row + 1u));
    if (row == 0xFFFFFFFFu) // row + 1 does not fit in 32 bits
        Fmt_snprintf(text + k, sizeof text - k, "4294967296");
    return size_t(Fmt_snprintf(buffer, capacity, "%s", text));
}

// ------------------------------------------------------------ edit text

uint32_t Excel_CellEdit_editFormat(uint32_t f)
{
    if ((f >= 14 && f <= 17) || f == 30 || f == 31 || (f >= 55 && f <= 58))
        return 14;
    if ((f >= 18 && f <= 21) || f == 45 || f == 47)
        return 21;
    if (f == 22 || f == 46)
        return f;
    return 0;
}

int Excel_CellEdit_localeDateFormat(EngineContext *context, const char *language, char16_t **out)
{
    *out = nullptr;
    bool japanese = language && Cstr_icmp(language, "ja-jp") == 0;
    char16_t *date = Config_getUstrA(context, context ? context->config : nullptr, nullptr,
                                     "Vexlan_excelLocaleDateShort", nullptr);
    const char16_t *d = date && *date ? date : japanese ? u"yyyy/mm/dd" : u"dd/mm/yyyy";
    const char16_t *t = japanese ? u" h:mm:ss" : u" hh:mm:ss";
    size_t a = Ustr_len(d), b = Ustr_len(t);
    char16_t *s = static_cast<char16_t *>(Mem_malloc((a + b + 1) * sizeof(char16_t)));
    if (s) {
        memcpy(s, d, a * sizeof(char16_t));
        memcpy(s + a, t, (b + 1) * sizeof(char16_t));
    }
    Mem_free(date);
    *out = s;
    return s ? Res_ok : Res_noMemory;
}

int Excel_CellEdit_valueText(EngineContext *context, const ExcelCellEdit *value,
                             const char *formula, const char *language, uint32_t date1904,
                             char **out)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (formula) {
        size_t n = strlen(formula);
        char *s = static_cast<char *>(Mem_malloc(n + 2));
        if (!s)
            return Res_noMemory;
        s[0] = '=';
        memcpy(s + 1, formula, n + 1);
        *out = s;
        return Res_ok;
    }
    if (!value)
        return Res_missingArgument;
    if (value->kind == Excel_editNone) {
        *out = Cstr_dup("");
        return *out ? Res_ok : Res_noMemory;
    }
    if (value->format >= CellEdit_userFormat && value->kind == Excel_editInteger) {
        char buffer[12];
        Fmt_snprintf(buffer, sizeof buffer, "%d", value->value.integer);
        *out = Cstr_dup(buffer);
        return *out ? Res_ok : Res_noMemory;
    }
    Excel_FmtRequest r{};
    uint8_t truth = 0;
    Excel_editFormatRequest(value, &r, &truth);
    r.locale = language;
    r.context = context;
    r.flags = Excel_fmtShowZero | (date1904 ? uint32_t(Excel_fmtDate1904) : 0u);
    char16_t *code = nullptr;
    if (value->format < CellEdit_userFormat) {
        r.formatIndex = uint16_t(Excel_CellEdit_editFormat(value->format));
        if (r.formatIndex == 22) {
            int err = Excel_CellEdit_localeDateFormat(context, language, &code);
            if (err != Res_ok)
                return err;
            r.formatIndex = CellEdit_userFormat;
            r.code = code;
        }
    } else if (r.kind == Excel_fmtNumber) {
        r.kind = Excel_fmtGeneral;
    }
    char16_t *text = nullptr;
    int err = Excel_Fmt_formatValue(&r, &text);
    Mem_free(code);
    if (err == Res_ok)
        err = toUtf8(text, out);
    Mem_free(text);
    return err;
}

int Excel_CellEdit_isFormulaText(const char *text)
{
    if (!text)
        return 0;
    if (text[0] == '=')
        return text[1] && text[1] != '=';
    return (text[0] == '-' || text[0] == '+') && (text[1] == '-' || text[1] == '+');
}

// ------------------------------------------------------------ colours

uint32_t Excel_CellEdit_nearestColour(const uint32_t *palette, uint32_t count, const uint8_t *rgba)
{
    if (!palette || !count || !rgba)
        return 0;
    uint32_t best = 0, bestDistance = UINT32_MAX;
    for (uint32_t i = 0; i < count; i++) {
        uint8_t p[4];
        paletteBytes(palette[i], p);
        uint32_t d = 0;
        for (int k = 0; k < 4; k++)
            d += uint32_t(p[k] > rgba[k] ? p[k] - rgba[k] : rgba[k] - p[k]);
        if (d == 0)
            return i;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

// ------------------------------------------------------------ properties

void Excel_CellEdit_takeProp(CellEdit *e, const Prop *v, const uint32_t *palette, uint32_t count)
{
    uint32_t k = Prop_getType(v);
    switch (Prop_getId(v)) {
    case propWeight:
        if (k == 28 || k == 29 || k == 40)
            e->styleFlags |= CellEdit_bold;
        break;
    case propStyle:
        if (k == 79 || k == 105)
            e->styleFlags |= CellEdit_italic;
        break;
    case propDecoration:
        if (k == 88)
            e->styleFlags |= CellEdit_strike;
        break;
    case propUnderline:
        if (k == 129 || k == 166 || k == 167)
            e->styleFlags |= CellEdit_underline;
        else if (k == 60 || k == 168)
            e->styleFlags |= CellEdit_underline2;
        break;
    case propColour:
        if (k == PropType_colour) {
            uint32_t w = Prop_getColour(v);
            const uint8_t rgba[4] = {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16),
                                     uint8_t(w >> 24)};
            e->colourIndex = Excel_CellEdit_nearestColour(palette, count, rgba);
        }
        break;
    case propFamily:
        if (k == PropType_ustr) {
            char16_t *name = Prop_dupUstr(v);
            char *utf8 = nullptr;
            if (name && toUtf8(name, &utf8) == Res_ok) {
                Mem_free(e->fontName);
                e->fontName = utf8;
            }
            Mem_free(name);
        }
        break;
    case propSize:
        if (k == PropType_length) {
            int32_t points = Units_lengthToPoints(Prop_getLength(v));
            e->fontSize = points > 0 ? uint32_t(points) : 0;
        }
        break;
    case propAlign:
        e->hAlign = k == 86 || k == 171 ? CellEdit_alignMiddle
                    : k == 117          ? CellEdit_alignEnd
                                        : CellEdit_alignDefault;
        break;
    case propVertical:
        e->vAlign = k == 43    ? CellEdit_alignEnd
                    : k == 147 ? CellEdit_alignMiddle
                               : CellEdit_alignDefault;
        break;
    default: break;
    }
}

int Excel_CellEdit_makeRule(const CellEdit *edit, const CellEdit *current, const uint32_t *palette,
                            uint32_t count, StyleRule **out, int32_t *notices,
                            uint32_t *noticeCount)
{
    *out = nullptr;
    *noticeCount = 0;
    const char *font = edit->fontName && *edit->fontName ? edit->fontName : nullptr;
    if (!font) {
        font = current && current->fontName ? current->fontName : "Arial";
        notices[(*noticeCount)++] = CellEdit_noticeBadFont;
    }
    uint32_t colour = edit->colourIndex;
    if (colour >= CellEdit_paletteSize) {
        colour = current ? current->colourIndex : 0;
        notices[(*noticeCount)++] = CellEdit_noticeBadColour;
    }
    uint32_t size = edit->fontSize;
    if (!validSize(size)) {
        size = current && validSize(current->fontSize) ? current->fontSize : 10;
        notices[(*noticeCount)++] = CellEdit_noticeBadSize;
    }
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    uint32_t f = edit->styleFlags;
    if (err == Res_ok)
        err = setKeyword(rule, propWeight, (f & CellEdit_bold) ? 28 : 25);
    if (err == Res_ok && (f & CellEdit_italic))
        err = setKeyword(rule, propStyle, 79);
    if (err == Res_ok && (f & CellEdit_strike))
        err = setKeyword(rule, propDecoration, 88);
    if (err == Res_ok && (f & (CellEdit_underline | CellEdit_underline2)))
        err = setKeyword(rule, propUnderline, (f & CellEdit_underline2) ? 60 : 129);
    if (err == Res_ok && palette && colour < count) {
        uint8_t rgba[4];
        paletteBytes(palette[colour], rgba);
        rgba[3] = 0xFF;
        Prop v{};
        Prop_setColour(&v, propColour, rgba);
        err = StyleRule_appendProp(rule, &v);
    }
    if (err == Res_ok) {
        char16_t *name = nullptr;
        err = Charset_toUstr(nullptr, font, &name, CharsetCode_utf8);
        if (err == Res_ok) {
            Prop v{};
            Prop_setUstr(&v, propFamily, name, uint32_t(Ustr_len(name)));
            err = StyleRule_appendProp(rule, &v);
        }
        Mem_free(name);
    }
    if (err == Res_ok) {
        Prop v{};
        Prop_setLength(&v, propSize, Units_pointsToLength(int32_t(size)));
        err = StyleRule_appendProp(rule, &v);
    }
    if (err == Res_ok)
        err = setKeyword(rule, propAlign,
                         edit->hAlign == CellEdit_alignMiddle ? 86
                         : edit->hAlign == CellEdit_alignEnd  ? 117
                                                              : 45);
    if (err == Res_ok)
        err = setKeyword(rule, propVertical,
                         edit->vAlign == CellEdit_alignMiddle ? 147
                         : edit->vAlign == CellEdit_alignEnd  ? 43
                                                              : 45);
    if (err != Res_ok) {
        StyleRule_destroy(rule);
        return err;
    }
    *out = rule;
    return Res_ok;
}

// ------------------------------------------------------------ checks

int32_t Excel_CellEdit_validate(const CellEdit *e)
{
    if (!validSize(e->fontSize))
        return CellEdit_noticeBadSize;
    if (!e->fontName)
        return CellEdit_noticeBadFont;
    if (e->colourIndex >= CellEdit_paletteSize)
        return CellEdit_noticeBadColour;
    if (!e->formatString)
        return CellEdit_noticeNoFormat;
    return 0;
}

uint32_t Excel_CellEdit_clampRowHeight(uint32_t height)
{
    return height < CellEdit_minRowHeight   ? CellEdit_minRowHeight
           : height > CellEdit_maxRowHeight ? CellEdit_maxRowHeight
                                            : height;
}

void Excel_CellEdit_errorReport(int code, int32_t *notice, int32_t *hostError)
{
    *notice = 0;
    *hostError = 0;
    if (code == 0)
        return;
    if (code == Res_noMemory)
        *hostError = 0x10006;
    else if (code >= 26112 && code <= 26118)
        *notice = 4096;
    else if (code == 26119)
        *notice = 4098;
    else if (code == 26120 || code == 26121)
        *notice = 4097;
    else
        *hostError = 0x10003;
}

// ------------------------------------------------------------ the exchange

void EditData_freeStrings(EditData *d)
{
    if (!d)
        return;
    Mem_free(d->cellRef);
    Mem_free(d->text);
    Mem_free(d->formatString);
    d->cellRef = d->text = d->formatString = nullptr;
}

int EditData_fromCell(const CellEdit *e, const EditModeRecord *record, EditData *d)
{
    memset(d, 0, sizeof *d);
    d->kind = EditData_kindCell;
    char ref[24];
    Excel_CellEdit_refText(e->row, e->column, ref, sizeof ref);
    d->cellRef = Cstr_dup(ref);
    d->formulaUnreadable = e->formulaReadable ? 0 : 1;
    d->text = Cstr_dup(e->text ? e->text : "");
    d->fontIndex = 0;
    if (record && e->fontName)
        for (int32_t i = 0; i < record->report.fontCount; i++)
            if (record->report.fontNames[i] &&
                strcmp(record->report.fontNames[i], e->fontName) == 0) {
                d->fontIndex = i;
                break;
            }
    d->styleFlags = e->styleFlags;
    d->fontSize = e->fontSize << 16;
    d->colourIndex = e->colourIndex;
    d->hAlign = e->hAlign;
    d->vAlign = e->vAlign;
    d->formatString = Cstr_dup(e->formatString ? e->formatString : "General");
    d->columnWidth = e->columnWidth;
    d->rowHeight = e->rowHeight;
    d->resizeMode = e->resizeMode;
    if (!d->cellRef || !d->text || !d->formatString) {
        EditData_freeStrings(d);
        return Res_noMemory;
    }
    return Res_ok;
}

int EditData_toCellEdit(const EditData *d, const EditModeRecord *record, CellEdit **out)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!d)
        return Res_missingArgument;
    CellEdit *e = Excel_CellEdit_new(0, 0);
    if (!e)
        return Res_noMemory;
    int err = Res_ok;
    if (d->text && !(e->text = Cstr_dup(d->text)))
        err = Res_noMemory;
    if (err == Res_ok && record && d->fontIndex >= 0 && d->fontIndex < record->report.fontCount &&
        record->report.fontNames[d->fontIndex]) {
        const char *name = record->report.fontNames[d->fontIndex];
        const char *rest = record->fontRests ? record->fontRests[d->fontIndex] : nullptr;
        size_t a = strlen(name), b = rest ? strlen(rest) : 0;
        e->fontName = static_cast<char *>(Mem_malloc(a + b + 2));
        if (!e->fontName) {
            err = Res_noMemory;
        } else {
            memcpy(e->fontName, name, a);
            if (rest) {
                e->fontName[a] = ',';
                memcpy(e->fontName + a + 1, rest, b + 1);
            } else {
                e->fontName[a] = 0;
            }
        }
    }
    if (err == Res_ok && d->formatString && !(e->formatString = Cstr_dup(d->formatString)))
        err = Res_noMemory;
    if (err != Res_ok) {
        Excel_CellEdit_free(e);
        return err;
    }
    e->fontSize = d->fontSize >> 16;
    e->colourIndex = d->colourIndex;
    e->styleFlags = d->styleFlags;
    e->hAlign = d->hAlign;
    e->vAlign = d->vAlign;
    e->rowHeight = d->rowHeight;
    e->columnWidth = d->columnWidth;
    e->formatIndex = CellEdit_userFormat;
    e->resizeMode = d->resizeMode;
    *out = e;
    return Res_ok;
}
