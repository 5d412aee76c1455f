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
#include "core/stream/bytestream.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/workbook.h"

namespace {

// Properties of the engine's own that cells use.
enum : uint32_t {
    propUnderline = 95, // underline kind
    propRotation = 144, // text rotation in degrees
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
    return Excel_setRuleProp(nullptr, Excel_ruleKeyword, &p, id, keyword, rule, 0);
}

} // namespace

int Excel_setRuleProp(EngineContext *context, uint32_t type, Prop *scratch, uint32_t id,
                      uintptr_t value, StyleRule *rule, uint32_t charset)
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
        int rc = Charset_toUstr(context, s, &text, charset);
        if (rc != Res_ok)
            return rc;
        Prop_setUstr(scratch, id, text, static_cast<uint32_t>(Ustr_len(text)));
        break;
    }
    case Excel_ruleLength: Prop_setLength(scratch, id, static_cast<int32_t>(value)); break;
    case Excel_ruleColour:
        Prop_setWord(scratch, id, PropType_colour, static_cast<uint32_t>(value));
        break;
    case Excel_ruleAngle: Prop_setInt(scratch, id, static_cast<int32_t>(value)); break;
    case Excel_ruleMatrix: Prop_setMatrix(scratch, id, reinterpret_cast<Matrix *>(value)); break;
    default: return Res_excelBadPropType;
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
    int rc = Excel_setRuleProp(ctx, Excel_ruleUstr, &p, PropId_fontFamily,
                               reinterpret_cast<uintptr_t>(font->name), rule, 0);
    uint8_t c[4];
    if (rc == Res_ok && load && load->workbook &&
        Excel_paletteColour(c, &load->workbook->palette, font->colourSlot)) {
        uint32_t word = Bytes_peekU32Le(c);
        rc = Excel_setRuleProp(ctx, Excel_ruleColour, &p, PropId_color, word, rule, 0);
    }
    if (rc == Res_ok && font->height != 0) {
        // Twentieths of a point as 16.16 inches.
        int32_t size = static_cast<int32_t>(int64_t(font->height) * 65536 / 1440);
        rc = Excel_setRuleProp(ctx, Excel_ruleLength, &p, PropId_fontSize,
                               static_cast<uint32_t>(size), rule, 0);
    }
    if (rc == Res_ok) {
        uint32_t w = font->weight;
        uint32_t kw = w >= 200 && w <= 900 && w % 100 == 0 ? KwId_weight200 + (w - 200) / 100
                                                           : KwId_weight100;
        rc = addKeyword(rule, PropId_fontWeight, kw);
    }
    if (rc == Res_ok && (font->options & Excel_fontItalic))
        rc = addKeyword(rule, PropId_fontStyle, KwId_italic);
    if (rc == Res_ok && (font->options & Excel_fontStrikeout))
        rc = addKeyword(rule, PropId_textDecoration, KwId_lineThrough);
    if (rc == Res_ok) {
        uint32_t kw = 0;
        switch (font->underline) {
        case 1: kw = kwUnderlineSingle; break;
        case 2: kw = kwUnderlineDouble; break;
        case 0x21: kw = kwUnderlineSingleAccounting; break;
        case 0x22: kw = kwUnderlineDoubleAccounting; break;
        default: break;
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
    static constexpr uint32_t horizontals[8] = {kwAlignGeneral, KwId_left,   KwId_center,
                                                KwId_right,     kwAlignFill, KwId_justify,
                                                kwAlignAcross,  KwId_right};
    rc = addKeyword(rule, PropId_textAlign,
                    rotation ? Excel_rotationAlignKeyword(rotation) : horizontals[horizontal]);
    uint32_t vertical = (xf->alignment >> 4) & 7;
    static constexpr uint32_t verticals[4] = {KwId_top, KwId_center, KwId_bottom, KwId_justify};
    uint32_t vkw = vertical < 4 ? verticals[vertical] : KwId_bottom;
    if (rc == Res_ok)
        rc = addKeyword(rule, PropId_verticalAnchor, vkw);
    Prop p;
    if (rc == Res_ok && xf->indent)
        rc = Excel_setRuleProp(nullptr, Excel_ruleLength, &p, PropId_textIndent,
                               uint32_t(xf->indent) << 8, rule, 0);
    if (rc == Res_ok)
        rc = addKeyword(rule, PropId_whiteSpace,
                        (xf->alignment & Excel_alignWrap) || vkw == KwId_justify ? KwId_preWrap
                                                                                 : KwId_nowrap);
    if (rc == Res_ok && rotation) {
        Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        if (!m)
            return Res_noMemory;
        int32_t cosine = Fixed_sinDeg(rotation + 90);
        int32_t sine = Fixed_sinDeg(rotation);
        *m = Matrix{cosine, sine, -sine, cosine, 0, 0};
        rc = Excel_setRuleProp(nullptr, Excel_ruleMatrix, &p, PropId_transform,
                               reinterpret_cast<uintptr_t>(m), rule, 0);
        if (rc == Res_ok)
            rc = Excel_setRuleProp(nullptr, Excel_ruleAngle, &p, propRotation,
                                   static_cast<uint32_t>(rotation), rule, 0);
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

namespace {

// What a cell's rule is made from: its XF, how its alignment is replaced
// (0: the XF's own, 1: centred, 2: right-aligned), and the colour its
// number format gives it (bit 2 of `how` set). The same recipe always makes
// equal rules. `kind` is the class of equal rules it gives; `used` marks a
// filled entry of the recipe table.
struct CellstyleRecipe {
    uint32_t xf;
    uint32_t colour;
    uint32_t how;
    uint32_t kind;
    uint32_t used;
};

// A class of equal rules: one of them, the hash of its property set and
// the lowest table index of a rule of the class. A rule that does not
// equal itself (one holding a transform) is a class of its own that only
// its recipe reaches (no rule).
struct CellstyleClass {
    const StyleRule *rule;
    uint64_t hash;
    uint32_t first;
};

uint64_t cellstyleMix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A hash of a property that equal properties share: its id and type, and
// its value where equality compares the value.
uint64_t cellstylePropHash(const Prop *p)
{
    uint64_t h = cellstyleMix((uint64_t(p->id) << 16) | p->type);
    switch (p->type) {
    case PropType_int:
    case PropType_length:
    case PropType_em:
    case PropType_ex:
    case PropType_inches:
    case PropType_percent:
    case PropType_colour: return cellstyleMix(h ^ uint64_t(p->payload));
    case PropType_pointer:
        return cellstyleMix(h ^ uint64_t(p->payload) ^ (uint64_t(p->payload2) << 40));
    case PropType_ustr: {
        h = cellstyleMix(h ^ p->payload2);
        const char16_t *t = reinterpret_cast<const char16_t *>(p->payload);
        for (uint32_t i = 0; t && i < p->payload2; i++)
            h = (h ^ t[i]) * 0x100000001B3ull;
        return cellstyleMix(h);
    }
    default: return h;
    }
}

// A hash of the rule's property set (equal rules hold the same set,
// whatever the order or repeats): the sorted distinct property hashes
// mixed in turn. Rules of very many properties all hash to 0.
uint64_t cellstyleRuleHash(const StyleRule *rule)
{
    uint64_t h[64];
    uint32_t n = 0;
    for (const StylePropItem *p = rule->firstProp; p; p = p->next) {
        if (n == 64)
            return 0;
        uint64_t v = cellstylePropHash(&p->value);
        uint32_t i = n++;
        while (i > 0 && h[i - 1] > v) {
            h[i] = h[i - 1];
            i--;
        }
        h[i] = v;
    }
    uint64_t out = 0x6A09E667F3BCC909ull;
    for (uint32_t i = 0; i < n; i++)
        if (i == 0 || h[i] != h[i - 1])
            out = cellstyleMix(out ^ h[i]);
    return out;
}

} // namespace

// The lookup beside a sheet's rule table: the recipes met so far, the
// classes of equal rules in the table, and the classes by hash (open
// addressing, class number + 1; 0 free).
struct ExcelRuleIndex {
    CellstyleRecipe *recipes;
    uint32_t recipeCount;
    uint32_t recipeCapacity; // a power of two
    CellstyleClass *classes;
    uint32_t classCount;
    uint32_t classCapacity;
    uint32_t *byHash;
    uint32_t byHashCapacity; // a power of two
};

namespace {

uint64_t cellstyleRecipeHash(uint32_t xf, uint32_t how, uint32_t colour)
{
    return cellstyleMix((uint64_t(xf) << 35) ^ (uint64_t(how) << 32) ^ colour);
}

// The entry of the recipe, or the free entry where it goes (null while the
// table is not made).
CellstyleRecipe *cellstyleRecipeAt(ExcelRuleIndex *x, uint32_t xf, uint32_t how, uint32_t colour)
{
    if (!x->recipeCapacity)
        return nullptr;
    uint32_t mask = x->recipeCapacity - 1;
    for (uint32_t i = uint32_t(cellstyleRecipeHash(xf, how, colour)) & mask;; i = (i + 1) & mask) {
        CellstyleRecipe &r = x->recipes[i];
        if (!r.used || (r.xf == xf && r.how == how && r.colour == colour))
            return &r;
    }
}

// Records that the recipe gives rules of class `kind`.
int cellstyleRecipeSet(ExcelRuleIndex *x, uint32_t xf, uint32_t how, uint32_t colour, uint32_t kind)
{
    if (2 * (x->recipeCount + 1) > x->recipeCapacity) {
        uint32_t cap = x->recipeCapacity ? 2 * x->recipeCapacity : 64;
        CellstyleRecipe *old = x->recipes;
        uint32_t oldCap = x->recipeCapacity;
        x->recipes = static_cast<CellstyleRecipe *>(Mem_calloc(cap, sizeof(CellstyleRecipe)));
        if (!x->recipes) {
            x->recipes = old;
            return Res_noMemory;
        }
        x->recipeCapacity = cap;
        for (uint32_t i = 0; i < oldCap; i++)
            if (old[i].used)
                *cellstyleRecipeAt(x, old[i].xf, old[i].how, old[i].colour) = old[i];
        Mem_free(old);
    }
    CellstyleRecipe *r = cellstyleRecipeAt(x, xf, how, colour);
    if (!r->used)
        x->recipeCount++;
    *r = CellstyleRecipe{xf, colour, how, kind, 1};
    return Res_ok;
}

// The class of rules equal to rule (whose hash is given), or UINT32_MAX.
uint32_t cellstyleClassFind(const ExcelRuleIndex *x, const StyleRule *rule, uint64_t hash)
{
    if (!x->byHashCapacity)
        return UINT32_MAX;
    uint32_t mask = x->byHashCapacity - 1;
    for (uint32_t i = uint32_t(cellstyleMix(hash)) & mask; x->byHash[i]; i = (i + 1) & mask) {
        const CellstyleClass &c = x->classes[x->byHash[i] - 1];
        if (c.hash == hash && StyleRule_equalProps(c.rule, rule))
            return x->byHash[i] - 1;
    }
    return UINT32_MAX;
}

// A new class of rule at index `first` (a rule equal to nothing when
// `shared` is 0); *kind its number.
int cellstyleClassAdd(ExcelRuleIndex *x, const StyleRule *rule, uint64_t hash, uint32_t first,
                      int shared, uint32_t *kind)
{
    if (x->classCount == x->classCapacity) {
        uint32_t cap = x->classCapacity ? 2 * x->classCapacity : 64;
        CellstyleClass *c =
            static_cast<CellstyleClass *>(Mem_realloc(x->classes, cap * sizeof(CellstyleClass)));
        if (!c)
            return Res_noMemory;
        x->classes = c;
        x->classCapacity = cap;
    }
    if (shared && 2 * (x->classCount + 1) > x->byHashCapacity) {
        uint32_t cap = x->byHashCapacity ? 2 * x->byHashCapacity : 128;
        uint32_t *t = static_cast<uint32_t *>(Mem_calloc(cap, sizeof(uint32_t)));
        if (!t)
            return Res_noMemory;
        for (uint32_t i = 0; i < x->byHashCapacity; i++) {
            uint32_t k = x->byHash[i];
            if (!k)
                continue;
            uint32_t j = uint32_t(cellstyleMix(x->classes[k - 1].hash)) & (cap - 1);
            while (t[j])
                j = (j + 1) & (cap - 1);
            t[j] = k;
        }
        Mem_free(x->byHash);
        x->byHash = t;
        x->byHashCapacity = cap;
    }
    *kind = x->classCount;
    x->classes[x->classCount++] = CellstyleClass{shared ? rule : nullptr, hash, first};
    if (shared) {
        uint32_t mask = x->byHashCapacity - 1;
        uint32_t i = uint32_t(cellstyleMix(hash)) & mask;
        while (x->byHash[i])
            i = (i + 1) & mask;
        x->byHash[i] = *kind + 1;
    }
    return Res_ok;
}

// Enters the rule that now stands at index `at` of the table into its
// class (made when new); *kind the class.
int cellstyleRuleEnter(ExcelRuleIndex *x, const StyleRule *rule, uint32_t at, uint32_t *kind)
{
    int shared = StyleRule_equalProps(rule, rule);
    uint64_t hash = cellstyleRuleHash(rule);
    uint32_t k = shared ? cellstyleClassFind(x, rule, hash) : UINT32_MAX;
    if (k != UINT32_MAX) {
        if (at < x->classes[k].first)
            x->classes[k] = CellstyleClass{rule, hash, at};
        *kind = k;
        return Res_ok;
    }
    return cellstyleClassAdd(x, rule, hash, at, shared, kind);
}

// The table's lookup, made on first use with the rules it already holds.
int cellstyleIndexOf(ExcelRuleTable *table, ExcelRuleIndex **out)
{
    if (!table->index) {
        ExcelRuleIndex *x = static_cast<ExcelRuleIndex *>(Mem_calloc(1, sizeof(ExcelRuleIndex)));
        if (!x)
            return Res_noMemory;
        table->index = x;
        for (uint32_t i = 0; i < table->count; i++) {
            uint32_t kind = 0;
            if (table->rules[i] && cellstyleRuleEnter(x, table->rules[i], i, &kind) != Res_ok) {
                Excel_ruleIndexFree(table);
                return Res_noMemory;
            }
        }
    }
    *out = table->index;
    return Res_ok;
}

// The rule a recipe makes: the XF's rule (an empty rule without the XF),
// the number format's colour, the replaced alignment.
int cellstyleRuleMake(const ExcelLoad *load, uint32_t xf, uint32_t how, uint32_t colour,
                      StyleRule **out)
{
    int rc = ruleOfXf(load, xf, out);
    Prop p;
    if (rc == Res_ok && (how & 4))
        rc = Excel_setRuleProp(nullptr, Excel_ruleColour, &p, PropId_colourOverride, colour, *out,
                               0);
    if (rc == Res_ok && (how & 3)) {
        int removed = 0;
        StyleRule_removeProp(*out, PropId_textAlign, &removed);
        rc = addKeyword(*out, PropId_textAlign, (how & 3) == 1 ? KwId_center : KwId_right);
    }
    if (rc != Res_ok) {
        StyleRule_destroy(*out);
        *out = nullptr;
    }
    return rc;
}

} // namespace

void Excel_ruleIndexFree(ExcelRuleTable *table)
{
    if (!table || !table->index)
        return;
    Mem_free(table->index->recipes);
    Mem_free(table->index->classes);
    Mem_free(table->index->byHash);
    Mem_free(table->index);
    table->index = nullptr;
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
    bool general =
        entry && (entry->alignment & 7) == Excel_alignGeneral && kind != Excel_valueString;
    uint32_t slot = coloured  ? 2 * xfCount + xf
                    : !entry  ? xf
                    : general ? (kind == Excel_valueBoolean ? xfCount : xfCount + xf)
                              : xf;
    // Booleans in a general-aligned XF are centred, other values right-aligned.
    uint32_t how = (general ? (kind == Excel_valueBoolean ? 1u : 2u) : 0u) | (coloured ? 4u : 0u);
    uint32_t colour = coloured ? *numberColour : 0;
    ExcelRuleIndex *x = nullptr;
    int rc = cellstyleIndexOf(table, &x);
    if (rc != Res_ok)
        return rc;
    uint32_t at = slot;
    if (slot < table->count && !table->rules[slot]) {
        // A free slot takes the cell's own rule.
        StyleRule *rule = nullptr;
        uint32_t k = 0;
        rc = cellstyleRuleMake(load, xf, how, colour, &rule);
        if (rc != Res_ok)
            return rc;
        table->rules[slot] = rule;
        rc = cellstyleRuleEnter(x, rule, slot, &k);
        if (rc == Res_ok)
            rc = cellstyleRecipeSet(x, xf, how, colour, k);
        if (rc != Res_ok) {
            // The slot is left free and the lookup made again on next use.
            table->rules[slot] = nullptr;
            StyleRule_destroy(rule);
            Excel_ruleIndexFree(table);
            return rc;
        }
    } else {
        // The slot is taken: the lowest-placed rule equal to the cell's is
        // shared (its recipe, once met, tells its class at once), else the
        // rule goes after the table.
        const CellstyleRecipe *known = cellstyleRecipeAt(x, xf, how, colour);
        if (known && known->used) {
            at = x->classes[known->kind].first;
        } else {
            StyleRule *rule = nullptr;
            rc = cellstyleRuleMake(load, xf, how, colour, &rule);
            if (rc != Res_ok)
                return rc;
            uint64_t hash = cellstyleRuleHash(rule);
            uint32_t k =
                StyleRule_equalProps(rule, rule) ? cellstyleClassFind(x, rule, hash) : UINT32_MAX;
            if (k != UINT32_MAX) {
                StyleRule_destroy(rule);
                rc = cellstyleRecipeSet(x, xf, how, colour, k);
                if (rc != Res_ok)
                    return rc;
                at = x->classes[k].first;
            } else {
                at = table->count > slot ? table->count : slot;
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
                rc = cellstyleRuleEnter(x, rule, at, &k);
                if (rc == Res_ok)
                    rc = cellstyleRecipeSet(x, xf, how, colour, k);
                if (rc != Res_ok) {
                    // The rule stays in the table; the lookup is made again.
                    Excel_ruleIndexFree(table);
                    return rc;
                }
            }
        }
    }
    *index = at;
    cell->rule = static_cast<uint16_t>(at);
    return Res_ok;
}
