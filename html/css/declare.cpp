// CSS declarations to style properties: terms become typed values, values
// are checked against what each property takes, and shorthands (margin,
// padding, the border family, background, font, list-style, outline,
// border-spacing, clip) spread over their components.
#include <cstring>
#include <initializer_list>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "html/css/cssparse.h"

namespace {

// The least stack a declaration needs; below it the declaration is
// dropped and parsing goes on.
constexpr size_t kStackReserve = 64 * 1024;

enum : uint32_t {
    kTypeNumber = 1,
    kTypeLength = 2,
    kTypeEm = 3,
    kTypePercent = 7,
    kTypeColour = 8,
    kTypeString = 9,
};

uint32_t unitOf(uint32_t kind)
{
    switch (kind) {
    case CssTok_number: return CssUnit_number;
    case CssTok_percent: return CssUnit_percent;
    case CssTok_em: return CssUnit_em;
    case CssTok_ex: return CssUnit_ex;
    case CssTok_px: return CssUnit_px;
    case CssTok_cm: return CssUnit_cm;
    case CssTok_mm: return CssUnit_mm;
    case CssTok_in: return CssUnit_in;
    case CssTok_pt: return CssUnit_pt;
    case CssTok_pc: return CssUnit_pc;
    default: return CssUnit_other;
    }
}

bool isNumberKind(uint32_t kind)
{
    return kind >= CssTok_dimension && kind <= CssTok_khz;
}

void setKeyword(CssTypedValue *out, uint32_t value, uint32_t valueClass)
{
    *out = CssTypedValue{};
    out->type = value;
    out->valueClass = valueClass;
}

void setColourValue(CssTypedValue *out, const uint8_t rgba[4])
{
    *out = CssTypedValue{};
    out->type = kTypeColour;
    out->valueClass = CssClass_colour;
    out->payload = uint32_t(rgba[0]) | uint32_t(rgba[1]) << 8 | uint32_t(rgba[2]) << 16 |
                   uint32_t(rgba[3]) << 24;
}

void setPercent(CssTypedValue *out, uint32_t percent)
{
    *out = CssTypedValue{};
    out->type = kTypePercent;
    out->valueClass = CssClass_numeric;
    out->payload = percent << 16;
}

bool setString(CssTypedValue *out, const char16_t *text, size_t n, uint32_t valueClass)
{
    *out = CssTypedValue{};
    char16_t *copy = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!copy)
        return false;
    if (n)
        memcpy(copy, text, n * sizeof(char16_t));
    copy[n] = 0;
    out->type = kTypeString;
    out->valueClass = valueClass;
    out->text = copy;
    out->textLength = uint32_t(n);
    return true;
}

// A keyword or colour of an identifier's or string's text.
bool keywordOrColour(const char16_t *text, size_t n, CssTypedValue *out)
{
    const CssKeywordRow *row = Css_keywordLookup(text, n);
    if (row && row->valueClass) {
        setKeyword(out, row->value, row->valueClass);
        return true;
    }
    uint8_t rgba[4];
    if (Css_colourByName(text, n, rgba) || Css_colourFromHex(text, n, rgba)) {
        setColourValue(out, rgba);
        return true;
    }
    return false;
}

bool nameIs(uint32_t property, const char *name)
{
    return property < Css_propertyCount && !strcmp(Css_propertyRows[property].name, name);
}

bool isKeyword(const CssTypedValue &v, uint32_t keyword)
{
    return v.valueClass != CssClass_numeric && v.valueClass != CssClass_colour &&
           v.type == keyword && v.type != kTypeString;
}

bool isInherit(const CssTypedValue &v)
{
    return v.valueClass == CssClass_keyword && v.type == Css_keywordInherit;
}

// The converted values of one declaration, in slot order.
struct Values {
    CssTypedValue v[Css_maxSlots];
    uint32_t op[Css_maxSlots];
    uint32_t count;
};

void freeValues(Values *values)
{
    for (uint32_t i = 0; i < values->count; i++)
        Css_typedValueFree(&values->v[i]);
    values->count = 0;
}

// Converts every slot; false (nothing kept) when one does not convert.
bool convertAll(const CssValueList *list, uint32_t property, uint32_t mode, Values *out,
                bool weights)
{
    out->count = 0;
    for (uint32_t i = 0; i < list->count; i++) {
        const CssValueSlot &s = list->slots[i];
        CssTypedValue v{};
        uint32_t weight = weights && s.kind == CssTok_number && !s.sign
                              ? Css_fontWeightKeyword(uint32_t(s.integer), s.fraction)
                              : 0;
        if (weight)
            setKeyword(&v, weight, CssClass_keyword);
        else if (!Css_valueFromTerm(&s, property, mode, &v)) {
            freeValues(out);
            return false;
        }
        out->op[out->count] = s.op;
        out->v[out->count++] = v;
        i += s.argCount;
    }
    return true;
}

bool anyOperator(const Values &values)
{
    for (uint32_t i = 1; i < values.count; i++)
        if (values.op[i])
            return true;
    return false;
}

int removeProp(StyleRule *rule, uint32_t id)
{
    int removed = 0;
    return StyleRule_removeProp(rule, id, &removed);
}

int setMarker(StyleRule *rule, uint32_t id, uint32_t keyword, int important, int *changed)
{
    CssTypedValue v{};
    setKeyword(&v, keyword, CssClass_keyword);
    return Css_setProperty(&v, id, important, rule, changed);
}

// ------------------------------------------------------------ shorthands

struct Shorthand {
    const char *name;
    char kind; // 'F' four sides, 'A' any order, 'T' two values
    uint8_t count;
    uint8_t ids[12];
};

const Shorthand kShorthands[] = {
    {"padding",
     'F',
     4,
     {PropId_paddingTop, PropId_paddingRight, PropId_paddingBottom, PropId_paddingLeft}},
    {"margin",
     'F',
     4,
     {PropId_marginTop, PropId_marginRight, PropId_marginBottom, PropId_marginLeft}},
    {"border-style",
     'F',
     4,
     {PropId_borderTopStyle, PropId_borderRightStyle, PropId_borderBottomStyle,
      PropId_borderLeftStyle}},
    {"border-color",
     'F',
     4,
     {PropId_borderTopColor, PropId_borderRightColor, PropId_borderBottomColor,
      PropId_borderLeftColor}},
    {"border-width",
     'F',
     4,
     {PropId_borderTopWidth, PropId_borderRightWidth, PropId_borderBottomWidth,
      PropId_borderLeftWidth}},
    {"border-top", 'A', 3, {PropId_borderTopWidth, PropId_borderTopStyle, PropId_borderTopColor}},
    {"border-bottom",
     'A',
     3,
     {PropId_borderBottomWidth, PropId_borderBottomStyle, PropId_borderBottomColor}},
    {"border-left",
     'A',
     3,
     {PropId_borderLeftWidth, PropId_borderLeftStyle, PropId_borderLeftColor}},
    {"border-right",
     'A',
     3,
     {PropId_borderRightWidth, PropId_borderRightStyle, PropId_borderRightColor}},
    {"border",
     'A',
     12,
     {PropId_borderTopWidth, PropId_borderTopStyle, PropId_borderTopColor, PropId_borderBottomWidth,
      PropId_borderBottomStyle, PropId_borderBottomColor, PropId_borderLeftWidth,
      PropId_borderLeftStyle, PropId_borderLeftColor, PropId_borderRightWidth,
      PropId_borderRightStyle, PropId_borderRightColor}},
    {"list-style", 'A', 3, {PropId_listStyleType, PropId_listStylePosition, PropId_listStyleImage}},
    {"outline", 'A', 3, {PropId_outlineWidth, PropId_outlineStyle, PropId_outlineColor}},
    {"border-spacing", 'T', 2, {PropId_borderSpacingX, PropId_borderSpacingY}},
};

const Shorthand *shorthandOf(uint32_t property)
{
    for (const Shorthand &s : kShorthands)
        if (nameIs(property, s.name))
            return &s;
    return nullptr;
}

// Sets four sides (top, right, bottom, left) from one to four values.
int spreadFour(const CssTypedValue *given[4], uint32_t n, const uint8_t ids[4], int important,
               StyleRule *rule, int *changed)
{
    if (n > 4)
        n = 4;
    static const uint8_t pick[5][4] = {
        {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 1}, {0, 1, 2, 3}};
    int err = Res_ok;
    for (int side = 0; side < 4 && !err; side++) {
        if ((err = removeProp(rule, ids[side])))
            break;
        err = Css_setProperty(given[pick[n][side]], ids[side], important, rule, changed);
    }
    return err;
}

int applyShorthand(const Shorthand &sh, const Values &values, int important, StyleRule *rule,
                   int *changed, bool *applied)
{
    if (anyOperator(values) || !values.count)
        return Res_ok;
    if (sh.kind == 'F') {
        const CssTypedValue *given[4];
        uint32_t n = 0;
        for (uint32_t i = 0; i < values.count && n < 4; i++)
            if (Css_valueAllowed(sh.ids[0], &values.v[i]))
                given[n++] = &values.v[i];
        if (!n)
            return Res_ok;
        *applied = true;
        return spreadFour(given, n, sh.ids, important, rule, changed);
    }
    const CssTypedValue *taken[12] = {};
    if (sh.kind == 'T') {
        taken[0] = &values.v[0];
        taken[1] = values.count == 2 ? &values.v[1] : &values.v[0];
    } else {
        bool any = false;
        for (uint32_t i = 0; i < values.count; i++)
            for (uint32_t c = 0; c < sh.count; c++)
                if (Css_valueAllowed(sh.ids[c], &values.v[i])) {
                    taken[c] = &values.v[i];
                    any = true;
                }
        if (!any)
            return Res_ok;
    }
    *applied = true;
    int err = Res_ok;
    for (uint32_t c = 0; c < sh.count && !err; c++) {
        if ((err = removeProp(rule, sh.ids[c])))
            break;
        err = taken[c] ? Css_setProperty(taken[c], sh.ids[c], important, rule, changed)
                       : setMarker(rule, sh.ids[c], Css_unsetMarker, important, changed);
    }
    return err;
}

// background: colour, image, repeat, attachment and the two positions.
int applyBackground(const Values &values, int important, StyleRule *rule, int *changed,
                    bool *applied)
{
    if (anyOperator(values))
        return Res_ok;
    const CssTypedValue *colour = nullptr, *image = nullptr, *repeat = nullptr,
                        *attachment = nullptr;
    CssTypedValue h{}, v{};
    bool hasH = false, hasV = false;
    for (uint32_t i = 0; i < values.count; i++) {
        const CssTypedValue &x = values.v[i];
        if (x.valueClass == CssClass_colour || isKeyword(x, KwId_transparent))
            colour = &x;
        else if (((x.valueClass == CssClass_url || x.valueClass == CssClass_string) &&
                  x.type == kTypeString && x.textLength) ||
                 (x.valueClass == CssClass_keyword && x.type == KwId_none))
            image = &x;
        else if (isKeyword(x, KwId_noRepeat) || isKeyword(x, KwId_repeat) ||
                 isKeyword(x, KwId_repeatX) || isKeyword(x, KwId_repeatY))
            repeat = &x;
        else if (isKeyword(x, KwId_fixed) || isKeyword(x, KwId_scroll))
            attachment = &x;
        else if (isKeyword(x, KwId_left) || isKeyword(x, KwId_right)) {
            setPercent(&h, x.type == KwId_left ? 0 : 100);
            hasH = true;
        } else if (isKeyword(x, KwId_top) || isKeyword(x, KwId_bottom)) {
            setPercent(&v, x.type == KwId_top ? 0 : 100);
            hasV = true;
        } else if (isKeyword(x, KwId_center) || x.valueClass == CssClass_numeric) {
            CssTypedValue p = x;
            if (isKeyword(x, KwId_center))
                setPercent(&p, 50);
            if (!hasH) {
                h = p;
                hasH = true;
            } else if (!hasV) {
                v = p;
                hasV = true;
            }
        } else {
            break;
        }
    }
    if (hasH && !hasV)
        setPercent(&v, 50), hasV = true;
    if (hasV && !hasH)
        setPercent(&h, 50), hasH = true;
    CssTypedValue defaults[6];
    setKeyword(&defaults[0], KwId_transparent, CssClass_keyword);
    setKeyword(&defaults[1], KwId_none, CssClass_keyword);
    setKeyword(&defaults[2], KwId_repeat, CssClass_keyword);
    setKeyword(&defaults[3], KwId_scroll, CssClass_keyword);
    setPercent(&defaults[4], 0);
    setPercent(&defaults[5], 0);
    const CssTypedValue *found[6] = {
        colour, image, repeat, attachment, hasH ? &h : nullptr, hasV ? &v : nullptr};
    static const uint32_t ids[6] = {PropId_backgroundColor,     PropId_backgroundImage,
                                    PropId_backgroundRepeat,    PropId_backgroundAttachment,
                                    PropId_backgroundPositionX, PropId_backgroundPositionY};
    *applied = true;
    int err = Res_ok;
    for (int i = 0; i < 6 && !err; i++)
        if (!(err = removeProp(rule, ids[i])))
            err = Css_setProperty(found[i] ? found[i] : &defaults[i], ids[i], important, rule,
                                  changed);
    return err;
}

// background-position alone: one or two positions.
int applyPosition(const Values &values, int important, StyleRule *rule, int *changed, bool *applied)
{
    if (!values.count || values.count > 2 || anyOperator(values))
        return Res_ok;
    CssTypedValue h{}, v{};
    bool hasH = false, hasV = false;
    for (uint32_t i = 0; i < values.count; i++) {
        const CssTypedValue &x = values.v[i];
        if (isKeyword(x, KwId_left) || isKeyword(x, KwId_right)) {
            if (hasH)
                return Res_ok;
            setPercent(&h, x.type == KwId_left ? 0 : 100);
            hasH = true;
        } else if (isKeyword(x, KwId_top) || isKeyword(x, KwId_bottom)) {
            if (hasV)
                return Res_ok;
            setPercent(&v, x.type == KwId_top ? 0 : 100);
            hasV = true;
        } else if (isKeyword(x, KwId_center) || x.valueClass == CssClass_numeric) {
            CssTypedValue p = x;
            if (isKeyword(x, KwId_center))
                setPercent(&p, 50);
            if (!hasH)
                h = p, hasH = true;
            else if (!hasV)
                v = p, hasV = true;
            else
                return Res_ok;
        } else {
            return Res_ok;
        }
    }
    if (!hasH)
        setPercent(&h, 50);
    if (!hasV)
        setPercent(&v, 50);
    *applied = true;
    int err = Css_setProperty(&h, PropId_backgroundPositionX, important, rule, changed);
    return err ? err : Css_setProperty(&v, PropId_backgroundPositionY, important, rule, changed);
}

// The family list (font-family, quotes, the tail of font) from slot first
// on: identifiers as written, strings in double quotes, joined by a space
// or a ','. false when a term is neither.
bool familyList(const CssValueList *list, uint32_t first, CssTypedValue *out)
{
    Ustr_buf joined{};
    bool ok = true;
    for (uint32_t i = first; i < list->count && ok; i++) {
        const CssValueSlot &s = list->slots[i];
        if (s.kind != CssTok_ident && s.kind != CssTok_string) {
            ok = false;
            break;
        }
        if (i > first)
            ok = Css_textAppend(&joined, s.op == 1 ? u',' : u' ') == Res_ok;
        if (ok && s.kind == CssTok_string)
            ok = Css_textAppend(&joined, u'"') == Res_ok;
        for (size_t k = 0; ok && k < s.text.length; k++)
            ok = Css_textAppend(&joined, s.text.chars[k]) == Res_ok;
        if (ok && s.kind == CssTok_string)
            ok = Css_textAppend(&joined, u'"') == Res_ok;
    }
    if (ok && joined.length)
        ok = setString(out, joined.chars, joined.length, CssClass_string);
    else
        ok = false;
    Ustr_bufFree(&joined);
    return ok;
}

int applyFamily(const CssValueList *list, uint32_t id, int important, StyleRule *rule, int *changed,
                bool *applied)
{
    CssTypedValue v{};
    if (list->count == 1 && list->slots[0].kind == CssTok_ident) {
        const CssKeywordRow *row =
            Css_keywordLookup(list->slots[0].text.chars, list->slots[0].text.length);
        if (row && row->valueClass && row->value == Css_keywordInherit) {
            *applied = true;
            return setMarker(rule, id, Css_keywordInherit, important, changed);
        }
    }
    if (!familyList(list, 0, &v))
        return Res_ok;
    *applied = true;
    int err = Css_setProperty(&v, id, important, rule, changed);
    Css_typedValueFree(&v);
    return err;
}

int applyFont(const CssValueList *list, uint32_t property, int important, StyleRule *rule,
              int *changed, bool *applied)
{
    static const uint32_t all[7] = {PropId_fontSize,  PropId_lineHeight, PropId_fontVariant,
                                    PropId_fontStyle, PropId_fontWeight, PropId_fontStretch,
                                    PropId_fontFamily};
    if (list->count == 1 && list->slots[0].kind == CssTok_ident) {
        CssTypedValue v{};
        if (Css_valueFromTerm(&list->slots[0], property, 0, &v) && isInherit(v)) {
            *applied = true;
            int err = Res_ok;
            for (uint32_t id : all)
                if ((err = Css_setProperty(&v, id, important, rule, changed)))
                    break;
            return err;
        }
        Css_typedValueFree(&v);
    }
    CssTypedValue size{}, height{}, weight{}, stretch{}, style{}, variant{}, family{};
    bool hasSize = false, sizeByKeyword = false, hasHeight = false, hasWeight = false,
         hasStretch = false, hasStyle = false, hasVariant = false, hasFamily = false;
    uint32_t i = 0;
    for (; i < list->count; i++) {
        const CssValueSlot &s = list->slots[i];
        if (s.op == 1)
            return Res_ok; // a ',' before the family list
        CssTypedValue v{};
        uint32_t w = s.kind == CssTok_number && !s.sign
                         ? Css_fontWeightKeyword(uint32_t(s.integer), s.fraction)
                         : 0;
        if (w) {
            setKeyword(&v, w, CssClass_keyword);
        } else if (isNumberKind(s.kind)) {
            if (!Css_valueFromTerm(&s, property, s.op == 2 ? 1 : 0, &v))
                return Res_ok;
            if (!hasSize && !sizeByKeyword && s.op != 2)
                size = v, hasSize = true;
            else if (!hasHeight)
                height = v, hasHeight = true;
            continue;
        } else if (s.kind == CssTok_ident) {
            const CssKeywordRow *row = Css_keywordLookup(s.text.chars, s.text.length);
            if (!row || !row->valueClass)
                break; // the family list starts
            setKeyword(&v, row->value, row->valueClass);
        } else {
            break;
        }
        switch (v.type) {
        case KwId_large:
        case KwId_larger:
        case KwId_small:
        case KwId_smaller:
        case KwId_xLarge:
        case KwId_xSmall:
        case KwId_xxLarge:
        case KwId_xxSmall:
            if (!hasSize)
                size = v, hasSize = sizeByKeyword = true;
            break;
        case KwId_bold:
        case KwId_bolder:
        case KwId_lighter:
            if (!hasWeight)
                weight = v, hasWeight = true;
            break;
        case KwId_condensed:
        case KwId_expanded:
        case KwId_extraCondensed:
        case KwId_extraExpanded:
        case KwId_narrower:
        case KwId_semiCondensed:
        case KwId_semiExpanded:
        case KwId_ultraCondensed:
        case KwId_ultraExpanded:
        case KwId_wider:
            if (!hasStretch)
                stretch = v, hasStretch = true;
            break;
        case KwId_italic:
        case KwId_oblique:
            if (!hasStyle)
                style = v, hasStyle = true;
            break;
        case KwId_smallCaps:
            if (!hasVariant)
                variant = v, hasVariant = true;
            break;
        default:
            if (v.type >= 22 && v.type <= 30 && !hasWeight)
                weight = v, hasWeight = true;
            break;
        }
    }
    if (i < list->count) {
        if (!familyList(list, i, &family))
            return Res_ok;
        hasFamily = true;
    }
    *applied = true;
    struct {
        bool has;
        const CssTypedValue *v;
        uint32_t id;
    } parts[7] = {
        {hasSize, &size, PropId_fontSize},          {hasHeight, &height, PropId_lineHeight},
        {hasVariant, &variant, PropId_fontVariant}, {hasStyle, &style, PropId_fontStyle},
        {hasWeight, &weight, PropId_fontWeight},    {hasStretch, &stretch, PropId_fontStretch},
        {hasFamily, &family, PropId_fontFamily}};
    int err = Res_ok;
    for (auto &part : parts)
        if (part.has && (err = Css_setProperty(part.v, part.id, important, rule, changed)))
            break;
    Css_typedValueFree(&family);
    return err;
}

// clip: rect() with one to four numeric arguments over the four sides.
int applyClip(const CssValueList *list, uint32_t property, int important, StyleRule *rule,
              int *changed, bool *applied)
{
    if (!list->count)
        return Res_ok;
    const CssValueSlot &f = list->slots[0];
    static const char16_t rect[] = u"rect";
    if (f.kind != CssTok_function || f.text.length != 4)
        return Res_ok;
    for (int k = 0; k < 4; k++)
        if ((f.text.chars[k] | 0x20) != rect[k])
            return Res_ok;
    CssTypedValue values[4];
    const CssTypedValue *given[4];
    uint32_t n = 0;
    for (uint32_t i = 1; i <= f.argCount && i < list->count && n < 4; i++) {
        CssTypedValue v{};
        if (Css_valueFromTerm(&list->slots[i], property, 0, &v)) {
            if (v.valueClass == CssClass_numeric) {
                values[n] = v;
                given[n] = &values[n];
                n++;
                continue;
            }
            Css_typedValueFree(&v);
        }
    }
    if (!n)
        return Res_ok;
    *applied = true;
    static const uint8_t ids[4] = {PropId_clipTop, PropId_clipRight, PropId_clipBottom,
                                   PropId_clipLeft};
    return spreadFour(given, n, ids, important, rule, changed);
}

// One value out of buckets: numeric, colour, keyword, string, url.
int applyBucketed(const CssValueList *list, uint32_t property, uint32_t mode, uint32_t maxValues,
                  int important, StyleRule *rule, int *changed, bool *applied)
{
    uint32_t engineId = Css_propertyEngineId(property);
    if (list->count > maxValues)
        return Res_ok;
    Values values;
    values.count = 0;
    for (uint32_t i = 0; i < list->count; i++) {
        const CssValueSlot &s = list->slots[i];
        if (s.op)
            return (freeValues(&values), Res_ok); // a ',' or '/' applies nothing
        CssTypedValue v{};
        if (Css_valueFromTerm(&s, property, mode, &v))
            values.v[values.count++] = v;
        i += s.argCount;
    }
    int err = Res_ok;
    if (values.count == 1 && isInherit(values.v[0])) {
        *applied = true;
        err = Css_setProperty(&values.v[0], engineId, important, rule, changed);
    } else {
        static const uint32_t order[5] = {CssClass_numeric, CssClass_colour, CssClass_keyword,
                                          CssClass_string, CssClass_url};
        for (uint32_t c : order) {
            const CssTypedValue *pick = nullptr;
            for (uint32_t i = 0; i < values.count && !pick; i++)
                if (values.v[i].valueClass == c && !(c == CssClass_url && !values.v[i].textLength))
                    pick = &values.v[i];
            if (pick) {
                *applied = true;
                err = Css_setProperty(pick, engineId, important, rule, changed);
                break;
            }
        }
    }
    freeValues(&values);
    return err;
}

const char *const kFlatList[] = {
    "background",   "background-image", "border",        "border-bottom",
    "border-color", "border-left",      "border-right",  "border-spacing",
    "border-style", "border-top",       "border-width",  "color",
    "display",      "font-size",        "list-style",    "margin",
    "outline",      "outline-color",    "outline-style", "outline-width",
    "padding",      "font-weight",
};

bool inFlatList(uint32_t property)
{
    for (const char *name : kFlatList)
        if (nameIs(property, name))
            return true;
    return false;
}

// The flat-list properties: shorthands, background, and single values.
int applyFlat(const CssValueList *list, uint32_t property, int important, StyleRule *rule,
              int *changed, bool *applied)
{
    Values values;
    if (!convertAll(list, property, 0, &values, nameIs(property, "font-weight")))
        return Res_ok;
    const Shorthand *sh = shorthandOf(property);
    bool background = nameIs(property, "background");
    uint32_t engineId = Css_propertyEngineId(property);
    int err = Res_ok;
    if (values.count == 1 && isInherit(values.v[0])) {
        *applied = true;
        if (sh) {
            for (uint32_t c = 0; c < sh->count && !err; c++)
                err = Css_setProperty(&values.v[0], sh->ids[c], important, rule, changed);
        } else if (background) {
            static const uint32_t ids[6] = {PropId_backgroundColor,     PropId_backgroundImage,
                                            PropId_backgroundRepeat,    PropId_backgroundAttachment,
                                            PropId_backgroundPositionX, PropId_backgroundPositionY};
            for (uint32_t id : ids)
                if ((err = Css_setProperty(&values.v[0], id, important, rule, changed)))
                    break;
        } else {
            err = Css_setProperty(&values.v[0], engineId, important, rule, changed);
        }
    } else if (sh) {
        err = applyShorthand(*sh, values, important, rule, changed, applied);
    } else if (background) {
        err = applyBackground(values, important, rule, changed, applied);
    } else if (values.count == 0) {
        *applied = true;
        err = removeProp(rule, engineId);
    } else if (values.count == 1) {
        CssTypedValue v = values.v[0];
        if (nameIs(property, "display") && v.valueClass == CssClass_keyword) {
            if (v.type == KwId_tableColumn || v.type == KwId_tableColumnGroup)
                v.type = KwId_block;
            else if (v.type == KwId_table || v.type == KwId_tableCaption ||
                     v.type == KwId_tableCell || v.type == KwId_tableFooterGroup ||
                     v.type == KwId_tableHeaderGroup || v.type == KwId_tableRow ||
                     v.type == KwId_tableRowGroup)
                v.type = Css_displayTableLike;
        }
        *applied = true;
        err = Css_setProperty(&v, engineId, important, rule, changed);
    }
    freeValues(&values);
    return err;
}

} // namespace

void Css_typedValueFree(CssTypedValue *value)
{
    if (value && value->type == kTypeString)
        Mem_free(value->text);
    if (value) {
        value->text = nullptr;
        value->textLength = 0;
    }
}

int Css_valueFromTerm(const CssValueSlot *slot, uint32_t property, uint32_t mode,
                      CssTypedValue *out)
{
    *out = CssTypedValue{};
    if (!slot)
        return 0;
    const char16_t *text = slot->text.chars;
    size_t n = slot->text.length;
    if (isNumberKind(slot->kind)) {
        uint32_t unit = unitOf(slot->kind);
        if (unit == CssUnit_other)
            return 0;
        return Css_numberValue(uint32_t(slot->integer < 0 ? 0 : slot->integer), slot->fraction,
                               slot->sign != 0, unit, mode, property, out);
    }
    switch (slot->kind) {
    case CssTok_string:
        if (keywordOrColour(text, n, out))
            return 1;
        return setString(out, text, n, CssClass_string) ? 1 : 0;
    case CssTok_ident: return keywordOrColour(text, n, out) ? 1 : 0;
    case CssTok_hash: {
        uint8_t rgba[4];
        if (!Css_colourFromHex(text, n, rgba))
            return 0;
        setColourValue(out, rgba);
        return 1;
    }
    case CssTok_url:
    case CssTok_raw:
        if (!n) {
            setKeyword(out, KwId_none, CssClass_keyword);
            return 1;
        }
        return setString(out, text, n, CssClass_url) ? 1 : 0;
    case CssTok_rgb: {
        uint32_t c = uint32_t(slot->integer);
        uint8_t rgba[4] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255};
        setColourValue(out, rgba);
        return 1;
    }
    default: return 0;
    }
}

int Css_valueAllowed(uint32_t id, const CssTypedValue *value)
{
    uint32_t w = value->type;
    if (w == Css_keywordInherit || w == Css_unsetMarker)
        return 1;
    auto in = [w](std::initializer_list<uint32_t> list) {
        for (uint32_t x : list)
            if (x == w)
                return 1;
        return 0;
    };
    switch (id) {
    case 8:
    case 9:
    case 10:
    case 11: return in({8, 148});
    case 14:
    case 15:
    case 16:
    case 17:
    case 63: return in({0, 54, 59, 60, 67, 69, 76, 107, 116, 129});
    case 18:
    case 19:
    case 20:
    case 21:
    case 64: return in({1, 2, 3, 6, 7, 97, 145, 146});
    case 38: return in({1, 2, 3, 6, 7, 84, 85, 97, 126, 128, 158, 159, 160, 161});
    case 43: return (w >= 22 && w <= 30) || in({40, 41, 87, 103});
    case 48: return value->valueClass == CssClass_url;
    case 49: return in({77, 108});
    case 50:
        return in({0,  33, 46, 47, 55, 56, 58,  66,  68,  71, 72,
                   81, 82, 90, 91, 92, 93, 130, 152, 153, 154});
    case 62: return in({8, 78});
    default: return 1;
    }
}

int Css_setProperty(const CssTypedValue *value, uint32_t id, int important, StyleRule *rule,
                    int *changed)
{
    if (!id || !value || !rule || !Css_valueAllowed(id, value))
        return Res_ok;
    Prop v{};
    switch (value->type) {
    case kTypeNumber:
    case kTypeLength:
    case kTypeEm:
    case kTypePercent: Prop_setWord(&v, id, uint16_t(value->type), value->payload); break;
    case kTypeColour: {
        uint8_t rgba[4] = {uint8_t(value->payload), uint8_t(value->payload >> 8),
                           uint8_t(value->payload >> 16), uint8_t(value->payload >> 24)};
        Prop_setColour(&v, id, rgba);
        break;
    }
    case kTypeString:
        if (id != PropId_backgroundImage && id != PropId_content && id != PropId_fontFamily &&
            id != PropId_listStyleImage && id != PropId_quotes && id != PropId_textAlign)
            return Res_ok;
        // The rule keeps its own copy of the text.
        Prop_set(&v, id, PropType_ustr, reinterpret_cast<uintptr_t>(value->text),
                 value->textLength);
        break;
    default:
        if (value->type > 0xFFFF)
            return Res_ok;
        Prop_setType(&v, id, uint16_t(value->type));
        break;
    }
    if (important)
        Prop_setFlags(&v, Prop_flagPrecedence, Prop_flagPrecedence);
    int ch = 0;
    int err = StyleRule_setProp(rule, &v, &ch);
    if (changed && ch)
        *changed = 1;
    return err;
}

int Css_applyDeclaration(EngineContext *context, CssValueList *values, uint32_t property,
                         int important, StyleRule *rule, int *recorded, int *changed)
{
    if (recorded)
        *recorded = 0;
    if (!values || !rule || !property || property >= Css_propertyCount)
        return Res_ok;
    // Too little stack left: the declaration is dropped, the parse goes on.
    size_t left = context ? Task_stackLeft(context, nullptr) : 0;
    if (left && left < kStackReserve)
        return Res_ok;
    bool applied = false;
    int err = Res_ok;
    int ch = 0;
    if (nameIs(property, "font"))
        err = applyFont(values, property, important, rule, &ch, &applied);
    else if (nameIs(property, "font-family") || nameIs(property, "quotes"))
        err = applyFamily(values, Css_propertyEngineId(property), important, rule, &ch, &applied);
    else if (nameIs(property, "clip"))
        err = applyClip(values, property, important, rule, &ch, &applied);
    else if (nameIs(property, "background-position")) {
        Values converted;
        if (convertAll(values, property, 0, &converted, false)) {
            err = applyPosition(converted, important, rule, &ch, &applied);
            freeValues(&converted);
        }
    } else if (inFlatList(property))
        err = applyFlat(values, property, important, rule, &ch, &applied);
    else if (nameIs(property, "line-height"))
        err = applyBucketed(values, property, 1, Css_maxSlots, important, rule, &ch, &applied);
    else if (nameIs(property, "z-index"))
        err = applyBucketed(values, property, 2, Css_maxSlots, important, rule, &ch, &applied);
    else if (nameIs(property, "bottom") || nameIs(property, "height") || nameIs(property, "left") ||
             nameIs(property, "right") || nameIs(property, "top") || nameIs(property, "width"))
        err = applyBucketed(values, property, 0, 1, important, rule, &ch, &applied);
    else
        err = applyBucketed(values, property, 0, Css_maxSlots, important, rule, &ch, &applied);
    if (changed && ch)
        *changed = 1;
    if (recorded && applied && !err)
        *recorded = 1;
    return err;
}
