// Fonts and XF entries as style rules, and the rule table of a sheet.
#include "spreadsheet/reader/cellstyle.h"

#include <cstring>

#include "core/geom/fixed.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/charset.h"
#include "core/text/ustr.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/workbook.h"

namespace {

// Properties of the engine's own that cells use.
enum : uint32_t {
    propUnderline = 95,     // underline kind
    propRotation = 144,     // text rotation in degrees
};

// Keywords of the cell formats.
enum : uint32_t {
    kwUnderlineSingle = 129,
    kwUnderlineDouble = 60,
    kwUnderlineSingleAccounting = 167,
    kwUnderlineDoubleAccounting = 168,
    kwAlignGeneral = 171,
    kwAlignFill = 196,
    kwAlignAcross = 170,
};

int addKeyword(StyleRule *rule, uint32_t id, uint32_t keyword)
{
    Prop p;
    Prop_zero(&p);
    return Excel_setRuleProp(Excel_ruleKeyword, &p, id, keyword, rule, nullptr, 0);
}

} // namespace

int Excel_setRuleProp(uint32_t type, Prop *scratch, uint32_t id, uintptr_t value, StyleRule *rule,
                      EngineContext *ctx, uint32_t charset)
{
    if (!scratch || !rule) {
        if (type == Excel_ruleMatrix)
            Mem_free(reinterpret_cast<Matrix *>(value));
        return Res_missingArgument;
    }
    Prop_zero(scratch);
    switch (type) {
    case Excel_ruleKeyword:
        if (value >= PropType_firstKeyword && value <= 0xFFFF)
            Prop_setType(scratch, id, static_cast<uint16_t>(value));
        else
            Prop_setInt(scratch, id, static_cast<int32_t>(value));
        break;
    case Excel_ruleUstr: {
        const char16_t *s = reinterpret_cast<const char16_t *>(value);
        if (!s || !s[0])
            return Res_ok;
        char16_t *copy = Ustr_dup(s);
        if (!copy)
            return Res_noMemory;
        Prop_setUstr(scratch, id, copy, static_cast<uint32_t>(Ustr_len(copy)));
        break;
    }
    case Excel_ruleText: {
        const char *s = reinterpret_cast<const char *>(value);
        if (!s || !s[0])
            return Res_ok;
        char16_t *text = nullptr;
        int rc = Charset_toUstr(s, &text, charset, ctx);
        if (rc != Res_ok)
            return rc;
        Prop_setUstr(scratch, id, text, static_cast<uint32_t>(Ustr_len(text)));
        break;
    }
    case Excel_ruleLength:
        Prop_setLength(scratch, id, static_cast<int32_t>(value));
        break;
    case Excel_ruleColour:
        Prop_setWord(scratch, id, PropType_colour, static_cast<uint32_t>(value));
        break;
    case Excel_ruleAngle:
        Prop_setInt(scratch, id, static_cast<int32_t>(value));
        break;
    case Excel_ruleMatrix:
        Prop_setMatrix(scratch, id, reinterpret_cast<Matrix *>(value));
        break;
    default:
        return Res_excelBadPropType;
    }
    int rc = StyleRule_appendProp(rule, scratch);
    Prop_free(scratch);
    return rc;
}

int Excel_fontToRule(const ExcelFont *font, const ExcelLoad *load, StyleRule *rule)
{
    if (!font || !rule)
        return Res_missingArgument;
    Prop p;
    EngineContext *ctx = load ? load->context : nullptr;
    int rc = Excel_setRuleProp(Excel_ruleUstr, &p, PropId_fontFamily, reinterpret_cast<uintptr_t>(font->name),
                               rule, ctx, 0);
    uint8_t c[4];
    if (rc == Res_ok && load && load->workbook &&
        Excel_paletteColour(c, &load->workbook->palette, font->colourSlot))
    {
        uint32_t word = c[0] | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
        rc = Excel_setRuleProp(Excel_ruleColour, &p, PropId_color, word, rule, ctx, 0);
    }
    if (rc == Res_ok && font->height != 0) {
        // Twentieths of a point as 16.16 inches.
        int32_t size = static_cast<int32_t>(int64_t(font->height) * 65536 / 1440);
        rc = Excel_setRuleProp(Excel_ruleLength, &p, PropId_fontSize, static_cast<uint32_t>(size), rule, ctx, 0);
    }
    if (rc == Res_ok) {
        uint32_t w = font->weight;
        uint32_t kw = w >= 200 && w <= 900 && w % 100 == 0 ? KwId_weight200 + (w - 200) / 100 : KwId_weight100;
        rc = addKeyword(rule, PropId_fontWeight, kw);
    }
    if (rc == Res_ok && (font->options & Excel_fontItalic))
        rc = addKeyword(rule, PropId_fontStyle, KwId_italic);
    if (rc == Res_ok && (font->options & Excel_fontStrikeout))
        rc = addKeyword(rule, PropId_textDecoration, KwId_lineThrough);
    if (rc == Res_ok) {
        uint32_t kw = 0;
        switch (font->underline) {
        case 1:
            kw = kwUnderlineSingle;
            break;
        case 2:
            kw = kwUnderlineDouble;
            break;
        case 0x21:
            kw = kwUnderlineSingleAccounting;
            break;
        case 0x22:
            kw = kwUnderlineDoubleAccounting;
            break;
        default:
            break;
        }
        if (kw)
            rc = addKeyword(rule, propUnderline, kw);
    }
    return rc;
}

int Excel_fontsToRules(ExcelLoad *load)
{
    if (!load)
        return Res_missingArgument;
    Excel_rulesFree(load->fontRules, load->fontRules ? load->fontCount : 0);
    load->fontRules = nullptr;
    if (load->fontCount == 0)
        return Res_ok;
    StyleRule **rules = static_cast<StyleRule **>(Mem_calloc(load->fontCount, sizeof(StyleRule *)));
    if (!rules)
        return Res_noMemory;
    int rc = Res_ok;
    for (uint16_t i = 0; i < load->fontCount && rc == Res_ok; i++) {
        rc = StyleRule_create(&rules[i]);
        if (rc == Res_ok)
            rc = Excel_fontToRule(load->fonts[i], load, rules[i]);
    }
    if (rc != Res_ok) {
        Excel_rulesFree(rules, load->fontCount);
        return rc;
    }
    load->fontRules = rules;
    return Res_ok;
}

int Excel_xfToRule(const ExcelXf *xf, const ExcelLoad *load, StyleRule *rule)
{
    if (!rule)
        return Res_excelNoRule;
    if (!xf)
        return Res_missingArgument;
    int rc = Res_ok;
    // The font's properties first: its rule, or the font itself.
    if (load && load->fontRules) {
        uint32_t f = xf->fontIndex >= 4 ? xf->fontIndex - 1u : xf->fontIndex;
        if (f < load->fontCount && load->fontRules[f])
            rc = StyleRule_appendProps(rule, load->fontRules[f]);
    } else if (xf->font) {
        rc = Excel_fontToRule(xf->font, load, rule);
    }
    if (rc != Res_ok)
        return rc;
    int32_t rotation = Excel_xfRotation(xf);
    uint32_t horizontal = xf->alignment & 7;
    static constexpr uint32_t horizontals[8] = {kwAlignGeneral, KwId_left,    KwId_center,  KwId_right,
                                                kwAlignFill,    KwId_justify, kwAlignAcross, KwId_right};
    rc = addKeyword(rule, PropId_textAlign,
                    rotation ? Excel_rotationAlignKeyword(rotation) : horizontals[horizontal]);
    uint32_t vertical = (xf->alignment >> 4) & 7;
    static constexpr uint32_t verticals[4] = {KwId_top, KwId_center, KwId_bottom, KwId_justify};
    uint32_t vkw = vertical < 4 ? verticals[vertical] : KwId_bottom;
    if (rc == Res_ok)
        rc = addKeyword(rule, PropId_verticalAnchor, vkw);
    Prop p;
    if (rc == Res_ok && xf->indent)
        rc = Excel_setRuleProp(Excel_ruleLength, &p, PropId_textIndent, uint32_t(xf->indent) << 8, rule,
                               nullptr, 0);
    if (rc == Res_ok)
        rc = addKeyword(rule, PropId_whiteSpace,
                        (xf->alignment & Excel_alignWrap) || vkw == KwId_justify ? KwId_preWrap : KwId_nowrap);
    if (rc == Res_ok && rotation) {
        Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        if (!m)
            return Res_noMemory;
        int32_t cosine = Fixed_sinDeg(rotation + 90);
        int32_t sine = Fixed_sinDeg(rotation);
        *m = Matrix{cosine, sine, -sine, cosine, 0, 0};
        rc = Excel_setRuleProp(Excel_ruleMatrix, &p, PropId_transform, reinterpret_cast<uintptr_t>(m), rule,
                               nullptr, 0);
        if (rc == Res_ok)
            rc = Excel_setRuleProp(Excel_ruleAngle, &p, propRotation, static_cast<uint32_t>(rotation), rule,
                                   nullptr, 0);
    }
    return rc;
}

void Excel_rulesFree(StyleRule **rules, uint32_t count)
{
    if (!rules)
        return;
    for (uint32_t i = 0; i < count; i++)
        StyleRule_destroy(rules[i]);
    Mem_free(rules);
}

namespace {

void tableRelease(ExcelRuleTable *table)
{
    Excel_rulesFree(table->rules, table->count);
    table->rules = nullptr;
    table->count = 0;
}

const ExcelXf *xfOf(const ExcelLoad *load, uint32_t index)
{
    const ExcelWorkbook *wb = load ? load->workbook : nullptr;
    return wb && index < wb->xfCount ? &wb->xfs[index] : nullptr;
}

// A rule built from the XF at index (an empty rule without one).
int ruleOfXf(const ExcelLoad *load, uint32_t index, StyleRule **out)
{
    int rc = StyleRule_create(out);
    if (rc != Res_ok)
        return rc;
    const ExcelXf *xf = xfOf(load, index);
    if (xf)
        rc = Excel_xfToRule(xf, load, *out);
    if (rc != Res_ok) {
        StyleRule_destroy(*out);
        *out = nullptr;
    }
    return rc;
}

} // namespace

int Excel_defaultRules(const ExcelLoad *load, ExcelRuleTable *table)
{
    if (!load || !table || !load->workbook)
        return Res_missingArgument;
    *table = ExcelRuleTable{};
    uint32_t xfCount = load->workbook->xfCount;
    table->xfCount = xfCount;
    table->rightToLeft = (load->window2Options >> 6) & 1;
    table->count = 3 * xfCount > Excel_defaultXf + 1 ? 3 * xfCount : Excel_defaultXf + 1;
    table->rules = static_cast<StyleRule **>(Mem_calloc(table->count, sizeof(StyleRule *)));
    if (!table->rules) {
        table->count = 0;
        return Res_noMemory;
    }
    int rc = ruleOfXf(load, Excel_defaultXf, &table->rules[Excel_defaultXf]);
    if (rc != Res_ok)
        tableRelease(table);
    return rc;
}

int Excel_cellRule(ExcelRuleTable *table, const ExcelLoad *load, uint32_t kind, ExcelCell *cell,
                   uint32_t *index, const uint32_t *numberColour)
{
    if (!table || !load || !cell || !index)
        return Res_missingArgument;
    uint32_t xfCount = table->xfCount;
    uint32_t xf = cell->xf;
    const ExcelXf *entry = xfOf(load, xf);
    bool number = kind == Excel_valueInteger || kind == Excel_valueNumber;
    bool coloured = number && numberColour && entry;
    bool general = entry && (entry->alignment & 7) == Excel_alignGeneral && kind != Excel_valueString;
    uint32_t slot = coloured ? 2 * xfCount + xf
                    : !entry ? xf
                    : general ? (kind == Excel_valueBoolean ? xfCount : xfCount + xf)
                              : xf;
    StyleRule *rule = nullptr;
    int rc = ruleOfXf(load, xf, &rule);
    Prop p;
    if (rc == Res_ok && coloured)
        rc = Excel_setRuleProp(Excel_ruleColour, &p, PropId_colourOverride, *numberColour, rule, nullptr, 0);
    if (rc == Res_ok && general) {
        // Booleans are centred, other values right-aligned.
        int removed = 0;
        StyleRule_removeProp(rule, PropId_textAlign, &removed);
        rc = addKeyword(rule, PropId_textAlign, kind == Excel_valueBoolean ? KwId_center : KwId_right);
    }
    if (rc != Res_ok) {
        StyleRule_destroy(rule);
        return rc;
    }
    if (slot < table->count && !table->rules[slot]) {
        table->rules[slot] = rule;
    } else {
        // The slot is taken: an equal rule anywhere is shared, else the
        // rule goes after the table.
        for (uint32_t i = 0; i < table->count; i++) {
            if (table->rules[i] && StyleRule_equalProps(table->rules[i], rule)) {
                StyleRule_destroy(rule);
                *index = i;
                cell->rule = static_cast<uint16_t>(i);
                return Res_ok;
            }
        }
        uint32_t at = table->count > slot ? table->count : slot;
        void *p2 = Mem_realloc(table->rules, (at + 1) * sizeof(StyleRule *));
        if (!p2) {
            StyleRule_destroy(rule);
            return Res_noMemory;
        }
        table->rules = static_cast<StyleRule **>(p2);
        for (uint32_t i = table->count; i < at; i++)
            table->rules[i] = nullptr;
        table->rules[at] = rule;
        table->count = at + 1;
        slot = at;
    }
    *index = slot;
    cell->rule = static_cast<uint16_t>(slot);
    return Res_ok;
}
