// CSS text of style properties and rules: values by their type (keywords
// by name, image strings as url(...)), declarations with !important, whole
// rules, and shorthands recomposed from their components.
#include "html/css/csstext.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "html/css/csstables.h"

namespace {

// The first property row with the engine id, or 0.
uint32_t rowOfEngineId(uint32_t id)
{
    if (!id)
        return 0;
    for (uint32_t i = 1; i < Css_propertyCount; i++)
        if (Css_propertyRows[i].engineId == id)
            return i;
    return 0;
}

// first + second (both freed); null when either is null or memory runs out.
char16_t *concat(char16_t *first, char16_t *second)
{
    if (!first || !second) {
        Mem_free(first);
        Mem_free(second);
        return nullptr;
    }
    char16_t *joined = Ustr_appendDup(first, second);
    if (!joined)
        Mem_free(first);
    Mem_free(second);
    return joined;
}

char16_t *valueOf(const StyleRule *rule, uint32_t id)
{
    StylePropItem *item = StyleRule_findProp(rule, id);
    return item ? Css_valueToText(&item->value) : nullptr;
}

// The texts of the component ids that are set, joined by a space; null
// when none is set.
char16_t *joinSet(const StyleRule *rule, const uint32_t *ids, uint32_t count)
{
    char16_t *texts[12];
    uint32_t n = 0;
    for (uint32_t i = 0; i < count && n < 12; i++)
        if (char16_t *t = valueOf(rule, ids[i]))
            texts[n++] = t;
    char16_t *joined = n ? Css_joinTexts(texts, n, u" ") : nullptr;
    for (uint32_t i = 0; i < n; i++)
        Mem_free(texts[i]);
    return joined;
}

// The text the four ids share, or null when they differ or one is unset.
char16_t *sameOfFour(const StyleRule *rule, const uint32_t ids[4])
{
    char16_t *first = valueOf(rule, ids[0]);
    for (int i = 1; i < 4 && first; i++) {
        char16_t *t = valueOf(rule, ids[i]);
        bool same = t && !Ustr_cmp(t, first);
        Mem_free(t);
        if (!same) {
            Mem_free(first);
            first = nullptr;
        }
    }
    return first;
}

bool is(const char16_t *name, size_t n, const char *word)
{
    return strlen(word) == n && !Ustr_nicmpCstr(name, word, n);
}

} // namespace

char16_t *Css_joinTexts(char16_t *const *texts, uint32_t count, const char16_t *separator)
{
    size_t total = 1, sep = separator ? Ustr_len(separator) : 0;
    for (uint32_t i = 0; i < count; i++)
        total += (texts[i] ? Ustr_len(texts[i]) : 0) + sep;
    char16_t *out = static_cast<char16_t *>(Mem_malloc(total * sizeof(char16_t)));
    if (!out)
        return nullptr;
    size_t n = 0;
    for (uint32_t i = 0; i < count; i++) {
        if (i && sep) {
            memcpy(out + n, separator, sep * sizeof(char16_t));
            n += sep;
        }
        size_t len = texts[i] ? Ustr_len(texts[i]) : 0;
        if (len)
            memcpy(out + n, texts[i], len * sizeof(char16_t));
        n += len;
    }
    out[n] = 0;
    return out;
}

char16_t *Css_valueToText(const Prop *value)
{
    if (!value)
        return nullptr;
    if (value->type == PropType_ustr) {
        char16_t *text = Prop_dupUstr(value);
        if (value->id != PropId_backgroundImage && value->id != PropId_listStyleImage)
            return text;
        return concat(concat(Ustr_fromCstr("url("), text), Ustr_fromCstr(")"));
    }
    if (value->type >= PropType_firstKeyword || value->type == PropType_none)
        return Css_keywordName(value->type);
    // A plain line height is a 16.16 number.
    if (value->type == PropType_int && value->id == PropId_lineHeight)
        return Prop_formatFixed(Prop_getInt(value), 2);
    return Prop_toText(value);
}

char16_t *Css_propertyDeclText(const Prop *value)
{
    uint32_t row = value ? rowOfEngineId(value->id) : 0;
    if (!row)
        return nullptr;
    char16_t *text = concat(Ustr_fromCstr(Css_propertyRows[row].name), Ustr_fromCstr(":"));
    text = concat(text, Css_valueToText(value));
    if (text && Prop_testFlags(value, Prop_flagPrecedence))
        text = concat(text, Ustr_fromCstr("!important"));
    return text;
}

char16_t *Css_ruleToText(const StyleRule *rule)
{
    char16_t *out = Ustr_fromCstr("");
    bool first = true;
    for (StylePropItem *item = rule ? rule->firstProp : nullptr; item && out; item = item->next) {
        const Prop &v = item->value;
        char16_t *decl = nullptr;
        if (rowOfEngineId(v.id)) {
            // Values without a text form (the unset marker) are left out.
            char16_t *probe = Css_valueToText(&v);
            if (!probe)
                continue;
            Mem_free(probe);
            decl = Css_propertyDeclText(&v);
        } else if (v.id == PropId_backgroundPositionX || v.id == PropId_borderSpacingX) {
            bool position = v.id == PropId_backgroundPositionX;
            uint32_t ids[2] = {v.id, position ? uint32_t(PropId_backgroundPositionY)
                                              : uint32_t(PropId_borderSpacingY)};
            decl = concat(Ustr_fromCstr(position ? "background-position:" : "border-spacing:"),
                          joinSet(rule, ids, 2));
        } else {
            continue; // no CSS name and no shorthand
        }
        if (!decl) {
            Mem_free(out);
            return nullptr;
        }
        if (!first)
            out = concat(out, Ustr_fromCstr("; "));
        out = concat(out, decl);
        first = false;
    }
    return out;
}

char16_t *Css_propertyToText(const StyleRule *rule, const char16_t *name)
{
    if (!rule || !name)
        return nullptr;
    size_t n = Ustr_len(name);
    static const uint32_t tops[4][4] = {
        {PropId_borderTopColor, PropId_borderRightColor, PropId_borderBottomColor,
         PropId_borderLeftColor},
        {PropId_borderTopStyle, PropId_borderRightStyle, PropId_borderBottomStyle,
         PropId_borderLeftStyle},
        {PropId_borderTopWidth, PropId_borderRightWidth, PropId_borderBottomWidth,
         PropId_borderLeftWidth},
        {PropId_marginTop, PropId_marginRight, PropId_marginBottom, PropId_marginLeft},
    };
    static const uint32_t paddings[4] = {PropId_paddingTop, PropId_paddingRight,
                                         PropId_paddingBottom, PropId_paddingLeft};
    static const uint32_t clips[4] = {PropId_clipTop, PropId_clipRight, PropId_clipBottom,
                                      PropId_clipLeft};
    if (is(name, n, "background")) {
        static const uint32_t ids[6] = {PropId_backgroundColor,     PropId_backgroundImage,
                                        PropId_backgroundPositionX, PropId_backgroundPositionY,
                                        PropId_backgroundRepeat,    PropId_backgroundAttachment};
        return joinSet(rule, ids, 6);
    }
    if (is(name, n, "background-position")) {
        static const uint32_t ids[2] = {PropId_backgroundPositionX, PropId_backgroundPositionY};
        return joinSet(rule, ids, 2);
    }
    if (is(name, n, "border-spacing")) {
        static const uint32_t ids[2] = {PropId_borderSpacingX, PropId_borderSpacingY};
        return joinSet(rule, ids, 2);
    }
    if (is(name, n, "border") || is(name, n, "outline")) {
        char16_t *texts[3];
        uint32_t k = 0;
        for (int part = 0; part < 3; part++)
            if (char16_t *t = sameOfFour(rule, tops[part]))
                texts[k++] = t;
        char16_t *joined = k ? Css_joinTexts(texts, k, u" ") : nullptr;
        for (uint32_t i = 0; i < k; i++)
            Mem_free(texts[i]);
        return joined;
    }
    static const char *const sides[4] = {"border-top", "border-right", "border-bottom",
                                         "border-left"};
    for (int side = 0; side < 4; side++)
        if (is(name, n, sides[side])) {
            uint32_t ids[3] = {tops[2][side], tops[0][side], tops[1][side]};
            return joinSet(rule, ids, 3);
        }
    if (is(name, n, "border-color") || is(name, n, "outline-color"))
        return joinSet(rule, tops[0], 4);
    if (is(name, n, "border-style") || is(name, n, "outline-style"))
        return joinSet(rule, tops[1], 4);
    if (is(name, n, "border-width") || is(name, n, "outline-width"))
        return joinSet(rule, tops[2], 4);
    if (is(name, n, "margin"))
        return joinSet(rule, tops[3], 4);
    if (is(name, n, "padding"))
        return joinSet(rule, paddings, 4);
    if (is(name, n, "clip"))
        return joinSet(rule, clips, 4);
    if (is(name, n, "font")) {
        static const uint32_t ids[6] = {PropId_fontSize,  PropId_lineHeight, PropId_fontVariant,
                                        PropId_fontStyle, PropId_fontWeight, PropId_fontFamily};
        return joinSet(rule, ids, 6);
    }
    if (is(name, n, "list-style")) {
        static const uint32_t ids[3] = {PropId_listStyleImage, PropId_listStylePosition,
                                        PropId_listStyleType};
        return joinSet(rule, ids, 3);
    }
    uint32_t row = Css_propertyIndex(name, n);
    uint32_t id = Css_propertyEngineId(row);
    return id ? valueOf(rule, id) : nullptr;
}
