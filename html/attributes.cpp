// Attribute getters and the attribute dispatcher: presentational
// attributes become one style rule of the element's node.
#include "html/attributes.h"

#include <algorithm>
#include <tuple>
#include <climits>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "core/support/support.h"
#include "core/text/ustr.h"
#include "html/css/css.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "core/text/strtable.h"
#include "html/css/csstables.h"
#include "html/defaultstyle.h"
#include "html/docweb.h"
#include "html/imagemap.h"
#include "html/parser.h"
#include "html/web/cookie.h"
#include "html/plugin.h"
#include "layout/frameset.h"
#include "platform/url/url.h"
#include "core/text/charset.h"
#include "platform/api/request.h"

namespace {

char16_t fold(char16_t c)
{
    return (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c;
}

bool isSpace(char16_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isDigit(char16_t c)
{
    return c >= '0' && c <= '9';
}

// 1 when text (n units) equals the ASCII word ignoring case.
bool equalsWord(const char16_t *text, size_t n, const char *word)
{
    size_t m = strlen(word);
    if (n != m)
        return false;
    for (size_t i = 0; i < n; i++)
        if (fold(text[i]) != char16_t(word[i]))
            return false;
    return true;
}

// The boolean attributes, which answer their own name when written
// without a value.
const struct {
    uint32_t attr;
    const char16_t *name;
} kBooleans[] = {
    {HtmlAttr_border, u"border"},     {HtmlAttr_checked, u"checked"},
    {HtmlAttr_compact, u"compact"},   {HtmlAttr_declare, u"declare"},
    {HtmlAttr_defer, u"defer"},       {HtmlAttr_disabled, u"disabled"},
    {HtmlAttr_ismap, u"ismap"},       {HtmlAttr_multiple, u"multiple"},
    {HtmlAttr_nohref, u"nohref"},     {HtmlAttr_noresize, u"noresize"},
    {HtmlAttr_noshade, u"noshade"},   {HtmlAttr_nowrap, u"nowrap"},
    {HtmlAttr_readonly, u"readonly"}, {HtmlAttr_selected, u"selected"},
};

// The own name of a boolean attribute, or null.
const char16_t *ownName(uint32_t attr, size_t *length)
{
    for (const auto &b : kBooleans)
        if (b.attr == attr) {
            *length = strlen(Html_attrRecords[attr].name);
            return b.name;
        }
    return nullptr;
}

// The rule being built for one tag.
struct Build {
    HtmlParser *p;
    const char16_t *tag;
    const HtmlTagSpan *attrs;
    uint32_t count;
    uint32_t element;
    StyleRule *rule;   // the style properties (list 1)
    StyleRule *attrs0; // the attribute properties (list 0)
    EngineContext *ctx;
    Edr_Node *node;
    int cellBorders;    // a bordered table: its cells get borders too
    int cellPadding;    // a table with cellpadding: its cells get it
    HtmlLength padding; // that padding
};

int put(Build &b, const Prop &value)
{
    int changed = 0;
    return StyleRule_setProp(b.rule, &value, &changed);
}

int putKeyword(Build &b, uint32_t id, uint32_t keyword)
{
    Prop v{};
    Prop_setType(&v, id, uint16_t(keyword));
    return put(b, v);
}

int putLength(Build &b, uint32_t id, const HtmlLength &len)
{
    Prop v{};
    if (len.type == PropType_length)
        Prop_setLength(&v, id, len.value);
    else
        Prop_setWord(&v, id, len.type, uint32_t(len.value));
    return put(b, v);
}

int putInches(Build &b, uint32_t id, int32_t inches)
{
    Prop v{};
    Prop_setLength(&v, id, inches);
    return put(b, v);
}

int putColour(Build &b, uint32_t id, const char16_t *text, size_t n)
{
    uint8_t rgba[4];
    Html_parseColour(text, n, rgba);
    Prop v{};
    Prop_setColour(&v, id, rgba);
    return put(b, v);
}

int putFour(Build &b, const uint32_t ids[4], uint32_t keyword)
{
    int err = 0;
    for (int i = 0; i < 4 && !err; i++)
        err = putKeyword(b, ids[i], keyword);
    return err;
}

const uint32_t kBorderStyles[4] = {PropId_borderTopStyle, PropId_borderBottomStyle,
                                   PropId_borderLeftStyle, PropId_borderRightStyle};
const uint32_t kBorderWidths[4] = {PropId_borderTopWidth, PropId_borderBottomWidth,
                                   PropId_borderLeftWidth, PropId_borderRightWidth};
const uint32_t kBorderColours[4] = {PropId_borderTopColor, PropId_borderBottomColor,
                                    PropId_borderLeftColor, PropId_borderRightColor};

bool imageLike(const Build &b)
{
    if (b.element == HtmlEl_Img || b.element == HtmlEl_Image)
        return true;
    if (b.element != HtmlEl_Input)
        return false;
    size_t n = 0;
    const char16_t *type = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_type, &n);
    return type && equalsWord(type, n, "image");
}

int applyAlign(Build &b, const char16_t *v, size_t n)
{
    bool image = imageLike(b);
    bool table = b.element == HtmlEl_Table;
    bool caption = b.element == HtmlEl_Caption;
    if (equalsWord(v, n, "left") || equalsWord(v, n, "right")) {
        uint32_t side = fold(v[0]) == 'l' ? KwId_left : KwId_right;
        return putKeyword(b, image || table ? PropId_float : PropId_textAlign, side);
    }
    if (equalsWord(v, n, "center")) {
        if (image)
            return putKeyword(b, PropId_verticalAlign, KwId_middle);
        if (table) {
            int err = putKeyword(b, PropId_marginLeft, KwId_auto);
            return err ? err : putKeyword(b, PropId_marginRight, KwId_auto);
        }
        return putKeyword(b, PropId_textAlign, KwId_center);
    }
    if (equalsWord(v, n, "middle") || equalsWord(v, n, "absmiddle"))
        return image ? putKeyword(b, PropId_verticalAlign, KwId_middle)
                     : putKeyword(b, PropId_textAlign, KwId_center);
    if (equalsWord(v, n, "justify"))
        return putKeyword(b, PropId_textAlign, KwId_justify);
    if (equalsWord(v, n, "top"))
        return image || caption ? putKeyword(b, PropId_verticalAlign, KwId_top) : Res_ok;
    if (equalsWord(v, n, "bottom")) {
        if (caption)
            return putKeyword(b, PropId_verticalAlign, KwId_bottom);
        return image ? putKeyword(b, PropId_verticalAlign, KwId_baseline) : Res_ok;
    }
    if (!image)
        return Res_ok;
    if (equalsWord(v, n, "texttop"))
        return putKeyword(b, PropId_verticalAlign, KwId_textTop);
    if (equalsWord(v, n, "baseline"))
        return putKeyword(b, PropId_verticalAlign, KwId_baseline);
    if (equalsWord(v, n, "absbottom"))
        return putKeyword(b, PropId_verticalAlign, KwId_bottom);
    return Res_ok;
}

int applyValign(Build &b, const char16_t *v, size_t n)
{
    static const struct {
        const char *word;
        uint32_t keyword;
    } kValues[] = {{"top", KwId_top},
                   {"middle", KwId_middle},
                   {"bottom", KwId_bottom},
                   {"baseline", KwId_baseline}};
    for (const auto &k : kValues)
        if (equalsWord(v, n, k.word))
            return putKeyword(b, PropId_verticalAlign, k.keyword);
    return Res_ok;
}

// The table's border width: its own length, or one pixel for a bare
// "border".
int tableBorder(const char16_t *v, size_t n, HtmlLength *len)
{
    if (Html_parseLength(v, n, len))
        return 1;
    if (equalsWord(v, n, "border")) {
        len->type = PropType_length;
        len->value = 682;
        return 1;
    }
    return 0;
}

int applyBorder(Build &b, const char16_t *v, size_t n)
{
    if (b.element == HtmlEl_Embed || b.element == HtmlEl_Input || b.element == HtmlEl_Object)
        return Res_ok;
    HtmlLength len;
    if (!tableBorder(v, n, &len))
        return Res_ok;
    int err = Res_ok;
    for (int i = 0; i < 4 && !err; i++)
        err = putLength(b, kBorderWidths[i], len);
    if (!err && len.value > 0)
        err = putFour(b, kBorderStyles, b.element == HtmlEl_Table ? KwId_outset : KwId_solid);
    if (b.element == HtmlEl_Table && len.value > 0)
        b.cellBorders = 1;
    return err;
}

int applyFrame(Build &b, const char16_t *v, size_t n)
{
    // Sides: top, bottom, left, right.
    static const struct {
        const char *word;
        uint8_t sides;
    } kFrames[] = {{"above", 1},  {"below", 2},   {"lhs", 4},  {"rhs", 8},
                   {"hsides", 3}, {"vsides", 12}, {"box", 15}, {"border", 15}};
    uint8_t sides = 0;
    for (const auto &f : kFrames)
        if (equalsWord(v, n, f.word))
            sides = f.sides;
    if (!sides)
        return Res_ok;
    size_t bn = 0;
    const char16_t *border = Html_getAttr(b.tag, b.attrs, b.count, HtmlAttr_border, &bn);
    HtmlLength width;
    bool hasWidth = border && Html_parseLength(border, bn, &width);
    int err = Res_ok;
    for (int i = 0; i < 4 && !err; i++) {
        if (!(sides >> i & 1))
            continue;
        err = putKeyword(b, kBorderStyles[i], KwId_ridge);
        if (!err)
            err = hasWidth ? putLength(b, kBorderWidths[i], width)
                           : putKeyword(b, kBorderWidths[i], KwId_medium);
    }
    return err;
}

int applyRules(Build &b, const char16_t *v, size_t n)
{
    // Widths of top and bottom, then of left and right.
    uint32_t across, down;
    if (equalsWord(v, n, "all"))
        across = down = KwId_medium;
    else if (equalsWord(v, n, "rows"))
        across = KwId_medium, down = KwId_none;
    else if (equalsWord(v, n, "cols"))
        across = KwId_none, down = KwId_medium;
    else if (equalsWord(v, n, "none"))
        across = down = KwId_none;
    else
        return Res_ok;
    int err = Res_ok;
    for (int i = 0; i < 4 && !err; i++)
        err = putKeyword(b, kBorderWidths[i], i < 2 ? across : down);
    return err;
}

int applySize(Build &b, const char16_t *v, size_t n)
{
    if (b.element == HtmlEl_Font || b.element == HtmlEl_Basefont) {
        int32_t inches;
        return Html_parseFontStep(v, n, &inches) ? putInches(b, PropId_fontSize, inches) : Res_ok;
    }
    if (b.element != HtmlEl_Hr)
        return Res_ok;
    HtmlLength len;
    if (!Html_parseLength(v, n, &len) || len.type != PropType_length)
        return Res_ok;
    int32_t size = len.value > 65536 ? 65536 : len.value;
    int32_t rest = size - 1364;
    if (rest < 1)
        return Res_ok;
    int err = putInches(b, PropId_paddingTop, rest / 2);
    return err ? err : putInches(b, PropId_paddingBottom, rest - rest / 2);
}

int applyExtent(Build &b, uint32_t id, const char16_t *v, size_t n)
{
    // Plug-ins and controls keep their own sizes; an image input is sized
    // like an image.
    bool plugin =
        b.element == HtmlEl_Embed || b.element == HtmlEl_Object || b.element == HtmlEl_Applet;
    if (b.element == HtmlEl_Input && !imageLike(b))
        return Res_ok;
    HtmlLength len;
    if (!Html_parseLength(v, n, &len))
        return Res_ok;
    if (plugin) {
        if (id == PropId_width)
            Plugin_setWidth(b.p->plugin, len.value, len.type);
        else
            Plugin_setHeight(b.p->plugin, len.value, len.type);
        return Res_ok;
    }
    if ((b.element == HtmlEl_Img || b.element == HtmlEl_Image) && len.value < 1) {
        len.type = PropType_length;
        len.value = 682;
    }
    return putLength(b, id, len);
}

int applyPair(Build &b, uint32_t first, uint32_t second, const char16_t *v, size_t n)
{
    HtmlLength len;
    if (!Html_parseLength(v, n, &len))
        return Res_ok;
    int err = putLength(b, first, len);
    return err ? err : putLength(b, second, len);
}

int applyPixelPair(Build &b, uint32_t first, uint32_t second, const char16_t *v, size_t n)
{
    int32_t inches = Html_getAttrInches(v, n);
    if (inches < 0)
        return Res_ok;
    int err = putInches(b, first, inches);
    return err ? err : putInches(b, second, inches);
}

int applyFace(Build &b, const char16_t *v, size_t n)
{
    if (!n)
        return Res_ok;
    Prop value{};
    // The rule keeps its own copy of the text.
    Prop_set(&value, PropId_fontFamily, PropType_ustr, reinterpret_cast<uintptr_t>(v), uint32_t(n));
    return put(b, value);
}

int applyLinkColour(Build &b, uint32_t state, const char16_t *v, size_t n)
{
    uint8_t rgba[4];
    Html_parseColour(v, n, rgba);
    return Html_addLinkColour(b.p->styles, state, rgba);
}

// Drops one leading quote character.
const char16_t *unquote(const char16_t *v, size_t *n)
{
    if (*n && (v[0] == '"' || v[0] == '\'')) {
        v++;
        (*n)--;
    }
    return v;
}

// meta http-equiv "set-cookie": the content, as UTF-8, goes to the cookie
// store with the document's URL. A cookie the store refuses does not fail
// the load.
int metaSetCookie(Build &b, const char16_t *content, size_t cn)
{
    Url *url = nullptr;
    if (Edr_Doc_getUrl(b.p->doc, &url) != Res_ok || !url)
        return Res_ok;
    char16_t *copy = static_cast<char16_t *>(Mem_malloc((cn + 1) * sizeof(char16_t)));
    char *text = nullptr;
    if (copy) {
        memcpy(copy, content, cn * sizeof(char16_t));
        copy[cn] = 0;
        size_t bytes = 0, units = 0;
        Ustr_utf8Len(copy, &bytes, &units);
        text = static_cast<char *>(Mem_malloc(bytes + 1));
        if (text)
            Ustr_toUtf8(text, copy);
    }
    int err = text ? Cookie_storeHeader(b.p->ctx, url, text, 1) : int(Res_noMemory);
    Mem_free(text);
    Mem_free(copy);
    Url_free(url);
    return err == Res_noMemory ? err : Res_ok;
}

// meta http-equiv: a content type's charset parameter is the document's
// charset, a refresh asks for a redirection after the load and set-cookie
// hands a cookie to the cookie store; the other headers are not used by a
// viewer that runs no scripts.
int applyHttpEquiv(Build &b, const char16_t *v, size_t n)
{
    v = unquote(v, &n);
    if (b.element != HtmlEl_Meta)
        return Res_ok;
    if (equalsWord(v, n, "set-cookie")) {
        size_t cn = 0;
        const char16_t *content =
            Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_content, &cn);
        return content ? metaSetCookie(b, content, cn) : Res_ok;
    }
    bool refresh = equalsWord(v, n, "refresh");
    if (!refresh && !equalsWord(v, n, "content-type"))
        return Res_ok;
    size_t cn = 0;
    const char16_t *content = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_content, &cn);
    if (!content)
        return Res_ok;
    content = unquote(content, &cn);
    if (refresh)
        return Html_metaRefresh(b.p, content, cn);
    static const char key[] = "charset=";
    for (size_t i = 0; i + 8 <= cn; i++) {
        if (!equalsWord(content + i, 8, key))
            continue;
        const char16_t *name = content + i + 8;
        size_t len = 0;
        while (i + 8 + len < cn && name[len] != ';' && name[len] != '"' && name[len] != '\'' &&
               !isSpace(name[len]))
            len++;
        return Html_metaCharset(b.p, name, len);
    }
    return Res_ok;
}

// dir: the direction, embedded in the text around it except on bdo,
// which overrides instead (its own default rule).
int applyDir(Build &b, const char16_t *v, size_t n)
{
    uint32_t direction;
    if (equalsWord(v, n, "ltr"))
        direction = KwId_ltr;
    else if (equalsWord(v, n, "rtl"))
        direction = KwId_rtl;
    else
        return Res_ok;
    int err = putKeyword(b, PropId_direction, direction);
    if (!err && b.element != HtmlEl_Bdo)
        err = putKeyword(b, PropId_unicodeBidi, KwId_embed);
    return err;
}

// alt: the text with its white space collapsed is the node's text.
int applyAlt(Build &b, const char16_t *v, size_t n)
{
    char16_t *text = Ustr_collapseSpace(v, n);
    if (!text)
        return Res_noMemory;
    int err = Edr_Node_setText(b.p->doc, b.node, text);
    Mem_free(text);
    return err;
}

// style: the declarations of the inline style become the node's list 2.
int applyStyle(Build &b, const char16_t *v, size_t n)
{
    StyleRule *inlineRule = nullptr;
    int err = StyleRule_create(&inlineRule);
    if (err)
        return err;
    err = Css_parseDeclarationsText(b.ctx, v, n, inlineRule);
    if (!err && !StyleRule_hasNoProps(inlineRule) && !b.p->restartRequested) {
        err = Edr_Node_setPropList2Resolved(b.p->doc, b.node, inlineRule);
        if (!err)
            return Res_ok; // the node took it over
    }
    StyleRule_destroy(inlineRule);
    return err;
}

int applyTabIndex(Build &b)
{
    uint32_t x;
    if (!Html_getAttrU16(b.tag, b.attrs, b.count, HtmlAttr_tabindex, &x))
        return Res_ok;
    int err = Edr_Node_setTabIndex(b.p->doc, b.node, x);
    return err ? err : Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, HtmlAttr_tabindex);
}

// A URL text as it is sent on: characters above 0x7E in the document's
// charset (UTF-8 when there is no converter), each byte written as '%'
// and two upper-case hexadecimal digits. New text, or null.
char16_t *escapedUrlText(const HtmlParser *p, const char16_t *text, size_t n)
{
    size_t outCap = 1;
    for (size_t i = 0; i < n; i++)
        outCap += text[i] > 0x7E ? 12 * 3 : 1;
    char16_t *out = static_cast<char16_t *>(Mem_malloc(outCap * sizeof(char16_t)));
    if (!out)
        return nullptr;
    CharsetState state{};
    CharsetConverter convert =
        Charset_findConverter(CharsetCode_utf16, p->charset, &state, nullptr);
    if (!convert || p->charset == CharsetCode_utf16 || p->charset == CharsetCode_utf16be ||
        p->charset == CharsetCode_utf16le)
        convert = Charset_utf16ToUtf8;
    static const char hex[] = "0123456789ABCDEF";
    size_t o = 0;
    for (size_t i = 0; i < n; i++) {
        if (text[i] <= 0x7E) {
            out[o++] = text[i];
            continue;
        }
        // One character (a surrogate pair stays together).
        size_t units = (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < n) ? 2 : 1;
        uint8_t bytes[12];
        size_t consumed = 0, produced = 0;
        convert(p->ctx, reinterpret_cast<const uint8_t *>(text + i), units * sizeof(char16_t),
                bytes, sizeof bytes, &consumed, &produced, &state);
        if (!produced)
            bytes[0] = '?', produced = 1;
        for (size_t k = 0; k < produced && k < sizeof bytes; k++) {
            if (bytes[k] <= 0x7E) {
                out[o++] = bytes[k];
                continue;
            }
            out[o++] = '%';
            out[o++] = char16_t(hex[bytes[k] >> 4]);
            out[o++] = char16_t(hex[bytes[k] & 15]);
        }
        i += units - 1;
    }
    out[o] = 0;
    return out;
}

// The attribute's URL cleaned, sent-on form and resolved against the
// document; null when there is none (*err set when memory ran out).
Url *attrUrl(Build &b, const char16_t *v, size_t n, int *err)
{
    *err = Res_ok;
    size_t cn = 0;
    char16_t *clean = Html_cleanUrlText(v, n, b.p->charset == CharsetCode_shiftJis, &cn);
    char16_t *sent = clean ? escapedUrlText(b.p, clean, cn) : nullptr;
    Mem_free(clean);
    if (!sent) {
        *err = Res_noMemory;
        return nullptr;
    }
    Url *url = nullptr;
    *err = Edr_Doc_resolveUrl(b.p->doc, sent, &url);
    Mem_free(sent);
    return url;
}

// href and action: the node's link or form target; on link a style
// sheet, loaded at once when its rel says so and its media apply.
int applyTarget(Build &b, const char16_t *v, size_t n)
{
    if (!n)
        return Res_ok;
    if (b.element == HtmlEl_Link) {
        size_t rn = 0, mn = 0;
        const char16_t *rel = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_rel, &rn);
        const char16_t *media = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_media, &mn);
        // The rel value compared over its own length.
        static const char kSheet[] = "stylesheet";
        bool sheet = rel && rn && rn <= sizeof kSheet - 1;
        for (size_t i = 0; sheet && i < rn; i++)
            sheet = fold(rel[i]) == char16_t(kSheet[i]);
        if (!sheet || (media && !Css_mediaListApplies(media, mn)))
            return Res_ok;
        int err = Res_ok;
        Url *url = attrUrl(b, v, n, &err);
        if (!url)
            return err;
        err = Html_loadUserStyleSheet(b.ctx, b.p, url, 2);
        return err == Res_noMemory || err == Res_stopRequested ? err : Res_ok;
    }
    int err = Res_ok;
    Url *url = attrUrl(b, v, n, &err);
    if (!url)
        return err;
    err = Edr_Node_setUrl(b.p->doc, b.node, url);
    Url_free(url);
    return err;
}

// type on ol and ul: the list marker.
int applyListType(Build &b, const char16_t *v, size_t n)
{
    static const struct {
        const char16_t *word;
        uint32_t keyword;
        bool exact; // compared with case
    } kMarkers[] = {
        {u"1", KwId_decimal, true},      {u"A", KwId_upperAlpha, true},
        {u"I", KwId_upperRoman, true},   {u"a", KwId_lowerAlpha, true},
        {u"i", KwId_lowerRoman, true},   {u"disc", KwId_disc, false},
        {u"circle", KwId_circle, false}, {u"square", KwId_square, false},
    };
    for (const auto &m : kMarkers) {
        size_t len = 0;
        while (m.word[len])
            len++;
        if (len != n)
            continue;
        bool same = true;
        for (size_t i = 0; i < n && same; i++)
            same = m.exact ? v[i] == m.word[i] : fold(v[i]) == m.word[i];
        if (same)
            return putKeyword(b, PropId_listStyleType, m.keyword);
    }
    return Res_ok;
}

// An event attribute: its handler text is kept with the node as a record
// of the event's type (the engine never runs it).
int applyEvent(Build &b, uint32_t attr, const char16_t *v, size_t n)
{
    const char *name = Html_attrRecords[attr].name;
    for (uint32_t type = 0; const char *event = Html_eventName(type); type++) {
        size_t len = strlen(event);
        bool same = len == strlen(name);
        for (size_t i = 0; same && i < len; i++)
            same = char16_t(fold(char16_t(uint8_t(event[i])))) == char16_t(uint8_t(name[i]));
        if (same)
            return Edr_Node_addRecord(b.p->doc, b.node, type, 0, 0, v, uint32_t(n), 0, 0);
    }
    return Res_ok;
}

// class: the element's class names. Keys the node already has (a second
// tag merged into the first) are kept.
int applyClass(Build &b, const char16_t *v, size_t n)
{
    uint32_t *old = nullptr, *now = nullptr;
    uint32_t oldCount = 0, nowCount = 0;
    int err = Edr_Node_copyIdList(b.p->doc, b.node, &old, &oldCount);
    if (!err)
        err = Edr_Node_setClassNames(b.p->doc, b.node, v, uint32_t(n));
    if (!err && oldCount)
        err = Edr_Node_copyIdList(b.p->doc, b.node, &now, &nowCount);
    for (uint32_t i = 0; i < oldCount && !err; i++) {
        bool present = false;
        for (uint32_t k = 0; k < nowCount && !present; k++)
            present = now[k] == old[i];
        if (!present)
            err = Edr_Node_addId(b.p->doc, b.node, old[i]);
    }
    Mem_free(old);
    Mem_free(now);
    return err;
}

// Attributes kept by their value kind in the attribute properties: all
// without a handler of their own, except the event attributes, whose
// scripts are never run.
bool storedByKind(uint32_t attr)
{
    if (attr >= HtmlAttr_onabort && attr <= HtmlAttr_onunload)
        return attr == HtmlAttr_onabort || attr == HtmlAttr_onerror;
    return true;
}

// An area inside an open map: the map's newest area takes the shape,
// coordinates, link, title and target. "default" covers the whole image;
// an area without coordinates is an empty rectangle.
int fillArea(Build &b)
{
    HtmlMapArea *area = b.p->openMap ? b.p->openMap->last : nullptr;
    if (!area)
        return Res_ok;
    size_t n = 0;
    const char16_t *v = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_shape, &n);
    if (uint32_t shape = v ? Html_mapShapeCode(v, n) : 0)
        area->shape = shape;
    const char16_t *coords = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_coords, &n);
    if (area->shape == HtmlShape_default || !coords) {
        coords = area->shape == HtmlShape_default ? u"0,0,99999,99999" : u"0,0,0,0";
        n = Ustr_len(coords);
    }
    Mem_free(area->coords);
    if (!(area->coords = Ustr_dupN(coords, n)))
        return Res_noMemory;
    // The copy ends at a NUL inside the value.
    area->coordsLength = Ustr_len(area->coords);
    v = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_href, &n);
    if (v && n && !area->url) {
        int err = Res_ok;
        area->url = attrUrl(b, v, n, &err);
        if (err)
            return err;
    }
    const struct {
        uint32_t attr;
        char16_t **slot;
    } texts[2] = {{HtmlAttr_title, &area->title}, {HtmlAttr_target, &area->target}};
    for (const auto &t : texts) {
        v = Html_getAttrTrimmed(b.tag, b.attrs, b.count, t.attr, &n);
        if (!v || !n)
            continue;
        Mem_free(*t.slot);
        if (!(*t.slot = Ustr_dupN(v, n)))
            return Res_noMemory;
    }
    return Res_ok;
}

// marginwidth and marginheight on frame: the frame's margins in the
// frame set (pixels below 32768).
int applyFrameMargin(Build &b, const char16_t *v, size_t n, int vertical)
{
    int32_t inches = Html_getAttrInches(v, n);
    if (inches >= 0 && b.p->layout)
        FrameSet_setMargin(b.p->layout, inches, vertical);
    return Res_ok;
}

// frameborder on frame: "1" or "yes" draws the frame's border, "0" or "no"
// leaves it out.
int applyFrameBorder(Build &b, const char16_t *v, size_t n)
{
    if (b.element != HtmlEl_Frame || !b.p->layout)
        return Res_ok;
    if (equalsWord(v, n, "1") || equalsWord(v, n, "yes"))
        FrameSet_setBorder(b.p->layout, 1);
    else if (equalsWord(v, n, "0") || equalsWord(v, n, "no"))
        FrameSet_setBorder(b.p->layout, 0);
    return Res_ok;
}

// src on frame: the document the frame shows, loaded once the frame set
// is complete.
int applyFrameSource(Build &b, const char16_t *v, size_t n)
{
    if (!n || !b.p->layout)
        return Res_ok;
    int err = Res_ok;
    Url *url = attrUrl(b, v, n, &err);
    if (!url)
        return err;
    err = FrameSet_setSource(b.p->layout, b.node, b.p->doc, url);
    // A frame whose node has gone is left without a source.
    return err == Res_noMemory ? err : Res_ok;
}

// data (and src on embed): the object's data, resolved against the page;
// classid: the class id as written.
int applyPluginUrl(Build &b, const char16_t *v, size_t n, int classId)
{
    if (!n || !Plugin_current(b.p->plugin))
        return Res_ok;
    int err = Res_ok;
    Url *url = nullptr;
    if (classId) {
        char16_t *text = Ustr_dupN(v, n);
        url = text ? Url_new(text) : nullptr;
        Mem_free(text);
        if (!url)
            return Res_noMemory;
        Plugin_setClassId(b.p->plugin, url);
        return Res_ok;
    }
    if (!(url = attrUrl(b, v, n, &err)))
        return err;
    Plugin_setData(b.p->plugin, url);
    return Res_ok;
}

// A param element: a named value of the object open around it.
int applyParam(Build &b)
{
    size_t nn = 0, vn = 0;
    const char16_t *name = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_name, &nn);
    const char16_t *value = Html_getAttr(b.tag, b.attrs, b.count, HtmlAttr_value, &vn);
    return name ? Plugin_addParam(b.p->plugin, name, nn, value, vn) : Res_ok;
}

// cols and rows on frameset: the grid of the frame set just opened.
int applyFrameGrid(Build &b)
{
    if (!b.p->layout)
        return Res_ok;
    size_t rn = 0, cn = 0;
    const char16_t *rows = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_rows, &rn);
    const char16_t *cols = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_cols, &cn);
    // Layout splits the set's own box by the lists again, so the node
    // keeps them.
    int err = Res_ok;
    for (auto [attr, v, n] : {std::tuple{uint32_t(HtmlAttr_rows), rows, rn},
                              std::tuple{uint32_t(HtmlAttr_cols), cols, cn}}) {
        if (!v || err)
            continue;
        Prop value{};
        Prop_set(&value, attr, PropType_ustr, reinterpret_cast<uintptr_t>(v), uint32_t(n));
        int changed = 0;
        err = StyleRule_setProp(b.attrs0, &value, &changed);
    }
    return err ? err : FrameSet_setGrid(b.p->layout, rows, rn, cols, cn);
}

// src on image and input of type image: an image node with the picture.
// An img group made its image with the source already (the tree builder
// reads it first); with images turned off nothing is made.
int applySource(Build &b, const char16_t *v, size_t n)
{
    if (b.element == HtmlEl_Frame)
        return applyFrameSource(b, v, n);
    if (b.element == HtmlEl_Embed)
        return applyPluginUrl(b, v, n, 0);
    if (!n || b.element == HtmlEl_Img || !imageLike(b) || !b.p->imagesEnabled)
        return Res_ok;
    int err = Res_ok;
    Url *url = attrUrl(b, v, n, &err);
    if (!url)
        return err;
    const int32_t placement[5] = {0x60, 0, 0, 0, 0};
    err = Edr_Node_createImage(b.p->doc, b.node, Edr_Insert_lastChild, nullptr, url, placement,
                               b.p->animationsEnabled ? 0x21C : 0x204);
    Url_free(url);
    return err;
}

// colspan and span (on col and colgroup) set the column span, property
// 97, and rowspan the row span, property 98, which the table grid reads;
// the value stays in the attribute properties as well. The span is the
// number the value begins with ("3px" spans 3), at most 65535; a value
// without leading digits, or 0, leaves the span at 1.
int applySpan(Build &b, uint32_t attr, const char16_t *v, size_t n)
{
    int err = Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, attr);
    uint32_t x = 0;
    size_t i = 0;
    for (; i < n && v[i] >= u'0' && v[i] <= u'9'; i++)
        x = std::min<uint32_t>(x * 10 + uint32_t(v[i] - u'0'), 65535);
    if (err || i == 0 || x < 1)
        return err;
    Prop value{};
    Prop_setInt(&value, attr == HtmlAttr_rowspan ? 98 : 97, int32_t(x));
    return put(b, value);
}

int applyOne(Build &b, uint32_t attr, const char16_t *v, size_t n)
{
    switch (attr) {
    case HtmlAttr_http_equiv: return applyHttpEquiv(b, v, n);
    case HtmlAttr_charset: {
        // meta charset names the document's charset as a content type's
        // charset parameter does.
        if (b.element != HtmlEl_Meta)
            return storedByKind(attr) ? Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, attr)
                                      : Res_ok;
        v = unquote(v, &n);
        return n ? Html_metaCharset(b.p, v, n) : Res_ok;
    }
    case HtmlAttr_align: return applyAlign(b, v, n);
    case HtmlAttr_valign: return applyValign(b, v, n);
    case HtmlAttr_bgcolor: return n ? putColour(b, PropId_backgroundColor, v, n) : Res_ok;
    case HtmlAttr_color: {
        if (!n)
            return Res_ok;
        int err = putColour(b, PropId_color, v, n);
        if (!err && b.element == HtmlEl_Hr)
            err = putColour(b, PropId_backgroundColor, v, n);
        return err;
    }
    case HtmlAttr_text: return n ? putColour(b, PropId_color, v, n) : Res_ok;
    case HtmlAttr_bordercolor: {
        int err = Res_ok;
        for (int i = 0; i < 4 && !err && n; i++)
            err = putColour(b, kBorderColours[i], v, n);
        return err;
    }
    case HtmlAttr_link: return n ? applyLinkColour(b, 8, v, n) : Res_ok;
    case HtmlAttr_vlink: return n ? applyLinkColour(b, 16, v, n) : Res_ok;
    case HtmlAttr_alink: return n ? applyLinkColour(b, 64, v, n) : Res_ok;
    case HtmlAttr_border: return applyBorder(b, v, n);
    case HtmlAttr_cellpadding: {
        HtmlLength len;
        if (!Html_parseLength(v, n, &len))
            return Res_ok;
        if (b.element == HtmlEl_Table && len.type == PropType_length && len.value >= 0) {
            b.cellPadding = 1;
            b.padding = len;
        }
        return putLength(b, 93, len);
    }
    case HtmlAttr_cellspacing:
        return applyPair(b, PropId_borderSpacingX, PropId_borderSpacingY, v, n);
    case HtmlAttr_colspan:
    case HtmlAttr_rowspan:
    case HtmlAttr_span: return applySpan(b, attr, v, n);
    case HtmlAttr_frame: return applyFrame(b, v, n);
    case HtmlAttr_rules: return applyRules(b, v, n);
    case HtmlAttr_width: return applyExtent(b, PropId_width, v, n);
    case HtmlAttr_height: return applyExtent(b, PropId_height, v, n);
    case HtmlAttr_hspace: return applyPair(b, PropId_marginLeft, PropId_marginRight, v, n);
    case HtmlAttr_vspace: return applyPair(b, PropId_marginTop, PropId_marginBottom, v, n);
    case HtmlAttr_marginwidth:
    case HtmlAttr_leftmargin:
        if (b.element == HtmlEl_Frame)
            return applyFrameMargin(b, v, n, 0);
        return b.element == HtmlEl_Body
                   ? applyPixelPair(b, PropId_marginRight, PropId_marginLeft, v, n)
                   : Res_ok;
    case HtmlAttr_marginheight:
    case HtmlAttr_topmargin:
        if (b.element == HtmlEl_Frame)
            return applyFrameMargin(b, v, n, 1);
        return b.element == HtmlEl_Body
                   ? applyPixelPair(b, PropId_marginTop, PropId_marginBottom, v, n)
                   : Res_ok;
    case HtmlAttr_frameborder: return applyFrameBorder(b, v, n);
    case HtmlAttr_face: return applyFace(b, v, n);
    case HtmlAttr_size: return applySize(b, v, n);
    case HtmlAttr_nowrap: return putKeyword(b, PropId_whiteSpace, KwId_nowrap);
    case HtmlAttr_noshade: return putFour(b, kBorderStyles, KwId_solid);
    case HtmlAttr_clear:
        if (equalsWord(v, n, "left"))
            return putKeyword(b, PropId_clear, KwId_left);
        if (equalsWord(v, n, "right"))
            return putKeyword(b, PropId_clear, KwId_right);
        if (equalsWord(v, n, "all"))
            return putKeyword(b, PropId_clear, KwId_both);
        return Res_ok;
    case HtmlAttr_compact: {
        static const uint32_t ids[3] = {PropId_lineHeight, PropId_fontSize, PropId_letterSpacing};
        int err = Res_ok;
        for (uint32_t id : ids) {
            Prop v80{};
            Prop_setWord(&v80, id, PropType_percent, 80u << 16);
            if ((err = put(b, v80)))
                break;
        }
        return err;
    }
    case HtmlAttr_dir: return applyDir(b, v, n);
    case HtmlAttr_alt: {
        int err = applyAlt(b, v, n);
        return err ? err : Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, attr);
    }
    case HtmlAttr_class: return n ? applyClass(b, v, n) : Res_ok;
    case HtmlAttr_id: return n ? Edr_Node_setIdText(b.p->doc, b.node, v, uint32_t(n)) : Res_ok;
    case HtmlAttr_name: {
        if (!n)
            return Res_ok;
        int err = Edr_Node_setInternedText(b.p->doc, b.node, v, uint32_t(n));
        if (!err && b.element == HtmlEl_Frame && b.p->layout)
            err = FrameSet_setName(b.p->layout, v, n);
        // A named map collects the areas up to its end.
        if (!err && b.element == HtmlEl_Map &&
            !(err = Html_mapNew(&b.p->maps, v, n, &b.p->openMap)))
            b.p->mapFinished = 0;
        if (err)
            return err;
        return storedByKind(attr) ? Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, attr)
                                  : Res_ok;
    }
    case HtmlAttr_src: {
        int err = applySource(b, v, n);
        return err ? err : Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, attr);
    }
    case HtmlAttr_usemap: {
        int err = Res_ok;
        if (n && (b.element == HtmlEl_Img || b.element == HtmlEl_Image))
            err = Html_mapUseNew(&b.p->mapUses, b.p->doc, b.node, v, n);
        return err ? err : Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, attr);
    }
    case HtmlAttr_style: return n ? applyStyle(b, v, n) : Res_ok;
    case HtmlAttr_tabindex: return applyTabIndex(b);
    case HtmlAttr_href:
    case HtmlAttr_action: return applyTarget(b, v, n);
    case HtmlAttr_data:
    case HtmlAttr_classid: {
        bool plugin =
            b.element == HtmlEl_Object || b.element == HtmlEl_Applet || b.element == HtmlEl_Embed;
        int err = plugin ? applyPluginUrl(b, v, n, attr == HtmlAttr_classid) : Res_ok;
        return err ? err : Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, attr);
    }
    case HtmlAttr_declare:
        Plugin_setOwnContent(b.p->plugin, 1);
        return Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, attr);
    case HtmlAttr_type: {
        if (n &&
            (b.element == HtmlEl_Object || b.element == HtmlEl_Applet || b.element == HtmlEl_Embed))
            Plugin_setMimeType(b.p->plugin, v, n);
        int err =
            b.element == HtmlEl_Ol || b.element == HtmlEl_Ul ? applyListType(b, v, n) : Res_ok;
        return err ? err : Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, attr);
    }
    case HtmlAttr_background: {
        if (!n)
            return Res_ok;
        Prop image{};
        // The rule keeps its own copy of the text.
        Prop_set(&image, PropId_backgroundImage, PropType_ustr, reinterpret_cast<uintptr_t>(v),
                 uint32_t(n));
        int err = put(b, image);
        // With images on, the address (resolved against the page) becomes
        // an image node in a numbered group of the document, which the
        // rule names for layout's background drawing.
        Edr_Doc_readLock(b.p->doc);
        bool hasUrl = b.p->doc->url != nullptr;
        Edr_Doc_readUnlock(b.p->doc);
        if (!err && hasUrl && Edr_Doc_imagesEnabled(Edr_Doc_getApp(b.p->doc)))
            err = Edr_Doc_resolveUrlProps(b.p->doc, nullptr, b.rule, PropId_backgroundImage);
        return err;
    }
    default:
        if (attr >= HtmlAttr_onabort && attr <= HtmlAttr_onunload && !storedByKind(attr))
            return applyEvent(b, attr, v, n);
        return storedByKind(attr) ? Html_setAttrProp(b.attrs0, b.tag, b.attrs, b.count, attr)
                                  : Res_ok;
    }
}

// 1 and the value of a decimal number up to 65535.
bool readU16(const char16_t *v, size_t n, uint32_t *out)
{
    if (!n)
        return false;
    uint32_t x = 0;
    for (size_t i = 0; i < n; i++) {
        if (!isDigit(v[i]))
            return false;
        x = x * 10 + uint32_t(v[i] - '0');
        if (x > 65535)
            return false;
    }
    *out = x;
    return true;
}

// The index of the first keyword that the value begins, or -1.
int prefixOf(const char16_t *v, size_t n, const char *const *words, int count)
{
    for (int k = 0; k < count; k++) {
        size_t m = strlen(words[k]);
        if (n > m)
            continue;
        size_t i = 0;
        while (i < n && fold(v[i]) == char16_t(words[k][i]))
            i++;
        if (i == n)
            return k;
    }
    return -1;
}

// Every marquee gets its record: behaviour, direction, scroll amount,
// scroll delay and loop count, from its attributes or the defaults.
int applyMarquee(Build &b)
{
    Prop18 *record = nullptr;
    int err = Prop18_new(&record);
    if (err)
        return err;
    static const char *const behaviours[] = {"scroll", "alternate", "slide"};
    static const char *const directions[] = {"left", "right", "up", "down"};
    size_t n = 0;
    const char16_t *v = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_behavior, &n);
    int k = v && n ? prefixOf(v, n, behaviours, 3) : -1;
    if (k >= 0)
        record->words[0] = uint32_t(k);
    v = Html_getAttrTrimmed(b.tag, b.attrs, b.count, HtmlAttr_direction, &n);
    k = v && n ? prefixOf(v, n, directions, 4) : -1;
    if (k >= 0)
        record->words[1] = uint32_t(k);
    static const uint32_t numbers[3][2] = {
        {HtmlAttr_scrollamount, 2}, {HtmlAttr_scrolldelay, 3}, {HtmlAttr_loop, 4}};
    for (const auto &num : numbers) {
        uint32_t x;
        v = Html_getAttrTrimmed(b.tag, b.attrs, b.count, num[0], &n);
        if (v && readU16(v, n, &x))
            record->words[num[1]] = x;
    }
    Prop value{};
    Prop_set111(&value, record);
    err = put(b, value);
    Prop_free(&value);
    return err;
}

// A bordered table draws a one-pixel inset border around each of its
// cells, and a table's cellpadding pads each of its cells on all four
// sides: a rule for td and one for th inside the table's own key.
int addCellRules(HtmlParser *p, uint32_t tableKey, bool borders, const HtmlLength *padding)
{
    static const uint32_t cells[2] = {HtmlEl_Td, HtmlEl_Th};
    int err = Res_ok;
    for (uint32_t cell : cells) {
        StyleRule *rule = nullptr;
        if ((err = StyleRule_create(&rule)))
            return err;
        for (uint32_t side = PropId_paddingTop; padding && side <= PropId_paddingLeft && !err;
             side++) {
            Prop v{};
            Prop_setLength(&v, side, padding->value);
            err = StyleRule_appendProp(rule, &v);
        }
        for (int i = 0; i < 4 && borders && !err; i++) {
            Prop v{};
            Prop_setLength(&v, kBorderWidths[i], 682);
            if (!(err = StyleRule_appendProp(rule, &v))) {
                Prop_setType(&v, kBorderStyles[i], KwId_inset);
                err = StyleRule_appendProp(rule, &v);
            }
        }
        if (!err && !(err = StyleRule_addMatch(rule, tableKey, 0, 10)) &&
            !(err = StyleRule_addMatch1(rule, cell)))
            err = Request_addItem(p->styles, &rule);
        StyleRule_destroy(rule);
        if (err)
            break;
    }
    return err;
}

} // namespace

int Html_ensureStringTable(Edr_Doc *doc)
{
    if (!doc)
        return Res_nullInput;
    Edr_Doc_readLock(doc);
    bool has = doc->strings != nullptr;
    Edr_Doc_readUnlock(doc);
    if (has)
        return Res_ok;
    // Names met first get the first ids, so interning the element names
    // in order gives each its element id.
    StrTable *table = StrTable_create(nullptr);
    if (!table)
        return Res_noMemory;
    for (uint32_t i = 0; i < Html_elementCount; i++) {
        const char *name = Html_elementNames[i];
        char16_t wide[16];
        size_t n = 0;
        while (name[n] && n < 15) {
            wide[n] = char16_t(uint8_t(name[n]));
            n++;
        }
        if (StrTable_internN(table, wide, n) != i + 1) {
            StrTable_destroy(table);
            return Res_noMemory;
        }
    }
    int err = Edr_Doc_setStringTable(doc, table);
    if (err)
        StrTable_destroy(table);
    return err;
}

int Html_attrApplies(uint32_t attr, uint32_t element)
{
    if (attr >= Html_attrCount || element > Html_elementCount)
        return 0;
    return (Html_attrMatrix[attr][element >> 3] >> (element & 7)) & 1;
}

uint32_t Html_attributeId(const char16_t *name, size_t length)
{
    if (!name)
        return 0;
    uint32_t lo = 1, hi = Html_attrCount;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        const char *m = Html_attrRecords[mid].name;
        size_t ml = strlen(m), common = length < ml ? length : ml;
        int c = 0;
        for (size_t i = 0; i < common && !c; i++) {
            char16_t a = fold(name[i]), bch = char16_t(m[i]);
            c = a < bch ? -1 : a > bch ? 1 : 0;
        }
        if (!c)
            c = length == ml ? 0 : length < ml ? -1 : 1;
        if (!c)
            return mid;
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return 0;
}

char16_t *Html_attributeText(const Prop *value)
{
    if (!value)
        return nullptr;
    if (const char *name = Html_valueName(value))
        return Ustr_fromCstr(name);
    return Prop_toText(value);
}

const char *Html_attrName(uint32_t attr)
{
    return attr < Html_attrCount ? Html_attrRecords[attr].name : nullptr;
}

const char *Html_valueName(const Prop *value)
{
    if (!value || value->type < Html_valueFirst || value->type >= Html_valueFirst + Html_valueCount)
        return nullptr;
    return Html_valueNames[value->type - Html_valueFirst];
}

uint32_t Html_valueId(const char16_t *text, size_t length)
{
    if (!text)
        return 0;
    for (uint32_t i = 0; i < Html_valueCount; i++)
        if (equalsWord(text, length, Html_valueNames[i]))
            return Html_valueFirst + i;
    return 0;
}

namespace {

// 1 and the value of an unsigned decimal of at least one digit not above
// limit.
int readUnsigned(const char16_t *v, size_t n, uint64_t limit, uint32_t *out)
{
    if (!v || !n)
        return 0;
    uint64_t x = 0;
    for (size_t i = 0; i < n; i++) {
        if (!isDigit(v[i]))
            return 0;
        x = x * 10 + uint32_t(v[i] - '0');
        if (x > limit)
            return 0;
    }
    *out = uint32_t(x);
    return 1;
}

} // namespace

int Html_getAttrUint(const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count, uint32_t attr,
                     uint32_t *out)
{
    size_t n = 0;
    const char16_t *v = Html_getAttrTrimmed(tag, attrs, count, attr, &n);
    return readUnsigned(v, n, 0xFFFFFFFFu, out);
}

int Html_getAttrU16(const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count, uint32_t attr,
                    uint32_t *out)
{
    size_t n = 0;
    const char16_t *v = Html_getAttrTrimmed(tag, attrs, count, attr, &n);
    return readUnsigned(v, n, 65535, out);
}

int Html_attrPresent(const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count, uint32_t attr)
{
    size_t n = 0;
    return Html_getAttr(tag, attrs, count, attr, &n) && n ? 1 : 0;
}

int Html_setAttrProp(StyleRule *list, const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count,
                     uint32_t attr)
{
    if (!list || attr == 0 || attr >= Html_attrCount)
        return Res_ok;
    size_t n = 0;
    const char16_t *v = Html_getAttrTrimmed(tag, attrs, count, attr, &n);
    if (!v || !n)
        return Res_ok;
    Prop value{};
    switch (Html_attrRecords[attr].kind) {
    case HtmlAttrKind_length: {
        HtmlLength len;
        if (!Html_parseLength(v, n, &len))
            return Res_ok;
        if (len.type == PropType_length)
            Prop_setLength(&value, attr, len.value);
        else
            Prop_setWord(&value, attr, len.type, uint32_t(len.value));
        break;
    }
    case HtmlAttrKind_keyword: {
        // The value's own id when the value table has it, so that its text
        // comes back. Another value is kept as its text: an attribute id
        // as the type would read as a payload type (7 a percentage, 11 a
        // matrix) for the low ids.
        uint32_t id = Html_valueId(v, n);
        if (id)
            Prop_setType(&value, attr, uint16_t(id));
        else
            Prop_set(&value, attr, PropType_ustr, reinterpret_cast<uintptr_t>(v), uint32_t(n));
        break;
    }
    case HtmlAttrKind_colour: {
        uint8_t rgba[4];
        Html_parseColour(v, n, rgba);
        Prop_setColour(&value, attr, rgba);
        break;
    }
    case HtmlAttrKind_integer: {
        uint32_t x;
        if (!readUnsigned(v, n, 65535, &x))
            return Res_ok;
        Prop_setInt(&value, attr, int32_t(x));
        break;
    }
    case HtmlAttrKind_url:
    case HtmlAttrKind_text:
        // The rule keeps its own copy of the text.
        Prop_set(&value, attr, PropType_ustr, reinterpret_cast<uintptr_t>(v), uint32_t(n));
        break;
    default: return Res_ok;
    }
    int changed = 0;
    return StyleRule_setProp(list, &value, &changed);
}

char16_t *Html_cleanUrlText(const char16_t *text, size_t length, int shiftJis, size_t *outLength)
{
    *outLength = 0;
    if (!text)
        length = 0;
    char16_t *out = static_cast<char16_t *>(Mem_malloc((2 * length + 1) * sizeof(char16_t)));
    if (!out)
        return nullptr;
    size_t n = 0;
    for (size_t i = 0; i < length; i++) {
        char16_t c = text[i];
        if (c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c == '\\')
            c = '/';
        else if (shiftJis && c == 0x00A5)
            out[n++] = '\\';
        else if (shiftJis && c == 0x2035)
            out[n++] = '~';
        out[n++] = c;
    }
    out[n] = 0;
    *outLength = n;
    return out;
}

const char16_t *Html_getAttr(const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count,
                             uint32_t attr, size_t *length)
{
    *length = 0;
    if (!tag || !attrs || attr == 0 || attr >= Html_attrCount)
        return nullptr;
    const char *name = Html_attrRecords[attr].name;
    for (uint32_t i = 1; i <= count; i++) {
        const HtmlTagSpan &s = attrs[i];
        if (s.nameStart < 0 || !equalsWord(tag + s.nameStart, s.nameLength, name))
            continue;
        if (s.valueStart < 0 || !s.valueLength) {
            const char16_t *own = ownName(attr, length);
            return own ? own : tag + s.nameStart + s.nameLength; // else an empty value
        }
        *length = s.valueLength;
        return tag + s.valueStart;
    }
    return nullptr;
}

const char16_t *Html_getAttrTrimmed(const char16_t *tag, const HtmlTagSpan *attrs, uint32_t count,
                                    uint32_t attr, size_t *length)
{
    const char16_t *v = Html_getAttr(tag, attrs, count, attr, length);
    if (!v)
        return nullptr;
    while (*length && isSpace(v[0])) {
        v++;
        (*length)--;
    }
    while (*length && isSpace(v[*length - 1]))
        (*length)--;
    return v;
}

namespace {

// The number at the start of a length: sign, integer part (clamped) and
// fraction as 16.16. Returns the characters read, 0 when there is no digit.
size_t readNumber(const char16_t *t, size_t n, int *negative, int *plus, uint32_t *integer,
                  int32_t *fraction, int *fractionGiven)
{
    size_t i = 0;
    while (i < n && isSpace(t[i]))
        i++;
    *negative = *plus = *fractionGiven = 0;
    if (i < n && t[i] == '-') {
        *negative = 1;
        i++;
    }
    if (i < n && t[i] == '+') {
        *plus = 1;
        i++;
    }
    size_t start = i;
    uint32_t v = 0;
    while (i < n && isDigit(t[i])) {
        v = v * 10 + uint32_t(t[i] - '0');
        if (v > 32767)
            v = 32767;
        i++;
    }
    bool digits = i > start;
    int32_t f = 0;
    if (i < n && t[i] == '.') {
        i++;
        static const int32_t scale[5] = {0, 6554, 655, 66, 7};
        int32_t value = 0, k = 0;
        while (i < n && isDigit(t[i])) {
            if (k < 4) {
                value = value * 10 + (t[i] - '0');
                k++;
            }
            i++;
            digits = true;
        }
        if (k) {
            f = value * scale[k];
            if (f > 65535)
                f = 65535;
            *fractionGiven = 1;
        }
    }
    if (!digits)
        return 0;
    *integer = v;
    *fraction = f;
    return i;
}

} // namespace

int Html_parseLength(const char16_t *text, size_t length, HtmlLength *out)
{
    if (!text)
        return 0;
    int negative, plus, fractionGiven;
    uint32_t integer;
    int32_t fraction;
    size_t i = readNumber(text, length, &negative, &plus, &integer, &fraction, &fractionGiven);
    if (!i)
        return 0;
    while (i < length && isSpace(text[i]))
        i++;
    const char16_t *unit = text + i;
    size_t un = 0;
    while (i + un < length && (fold(unit[un]) >= 'a' && fold(unit[un]) <= 'z'))
        un++;
    if (!un && i < length && unit[0] == '%')
        un = 1;
    int64_t v = int64_t(integer) << 16 | fraction;
    uint16_t type = PropType_length;
    if (!un || equalsWord(unit, un, "px"))
        v /= 96;
    else if (equalsWord(unit, un, "pt"))
        v /= 72;
    else if (equalsWord(unit, un, "pc"))
        v /= 6;
    else if (equalsWord(unit, un, "mm"))
        v = v * 10 / 254;
    else if (equalsWord(unit, un, "cm"))
        v = v * 100 / 254;
    else if (equalsWord(unit, un, "in"))
        ;
    else if (equalsWord(unit, un, "em") || equalsWord(unit, un, "ex"))
        type = PropType_em;
    else if (un == 1 && unit[0] == '%')
        type = PropType_percent;
    else
        v /= 96; // an unknown unit reads as pixels
    out->type = type;
    out->value = int32_t(negative ? -v : v);
    return 1;
}

int Html_parseFontStep(const char16_t *text, size_t length, int32_t *inches)
{
    static const int32_t pixels[7] = {10, 13, 16, 18, 24, 32, 48};
    int negative, plus, fractionGiven;
    uint32_t integer;
    int32_t fraction;
    if (!text || !readNumber(text, length, &negative, &plus, &integer, &fraction, &fractionGiven))
        return 0;
    int32_t step = int32_t(integer) + fractionGiven;
    if (plus)
        step = 3 + step;
    else if (negative)
        step = 3 - step;
    step = step < 1 ? 1 : step > 7 ? 7 : step;
    *inches = pixels[step - 1] * 65536 / 96;
    return 1;
}

size_t Html_cleanCharsetName(const char16_t *text, size_t length, char16_t *out, size_t capacity)
{
    if (!capacity)
        return 0;
    auto printable = [](char16_t c) { return c > 0x20 && c < 0x7F; };
    size_t i = 0;
    while (i < length && !printable(text[i]))
        i++;
    if (i + 2 <= length && fold(text[i]) == 'x' && text[i + 1] == '-')
        i += 2;
    size_t n = 0;
    while (i < length && printable(text[i]) && n + 1 < capacity)
        out[n++] = text[i++];
    if (n >= 5 && out[n - 5] == '-' && out[n - 4] == '1' && out[n - 3] == '9' &&
        isDigit(out[n - 2]) && isDigit(out[n - 1]))
        n -= 5;
    out[n] = 0;
    return n;
}

int32_t Html_getAttrInches(const char16_t *text, size_t length)
{
    if (!text || !length)
        return -1;
    uint32_t v = 0;
    for (size_t i = 0; i < length; i++) {
        if (!isDigit(text[i]))
            return -1;
        v = v * 10 + uint32_t(text[i] - '0');
        if (v >= 32768)
            return -1;
    }
    return int32_t(v * 65536 / 96);
}

Url *Html_sourceUrl(EngineContext *context, HtmlParser *p, const char16_t *tag,
                    const HtmlTagSpan *attrs, uint32_t count, int *err)
{
    *err = Res_ok;
    size_t n = 0;
    const char16_t *v =
        tag && attrs ? Html_getAttrTrimmed(tag, attrs, count, HtmlAttr_src, &n) : nullptr;
    if (!v || !n)
        return nullptr;
    Build b{p, tag, attrs, count, 0, nullptr, nullptr, context, nullptr, 0};
    return attrUrl(b, v, n, err);
}

int Html_applyAttributes(EngineContext *context, const char16_t *tag, HtmlParser *p, Edr_Node *node,
                         uint32_t id, const HtmlTagSpan *attrs, uint32_t count)
{
    // An implied element has no tag and no attributes.
    if (!tag || !attrs || !node)
        return Res_ok;
    Build b{p, tag, attrs, count, id, nullptr, nullptr, context, node, 0};
    int err = Html_ensureStringTable(p->doc);
    if (err)
        return err;
    err = StyleRule_create(&b.rule);
    // The attribute properties the node has (a second tag merging into
    // the first) are kept.
    if (!err && (err = Edr_Node_getPropList0(p->doc, node, &b.attrs0)) == 0 && !b.attrs0)
        err = StyleRule_create(&b.attrs0);
    if (err) {
        StyleRule_destroy(b.rule);
        StyleRule_destroy(b.attrs0);
        return err;
    }
    // The tag's own attributes, each once and in the order of their ids
    // (later handlers may read or overrule what earlier ones set).
    uint64_t present[(Html_attrCount + 63) / 64] = {};
    for (uint32_t i = 1; i <= count; i++) {
        const HtmlTagSpan &s = attrs[i];
        if (s.nameStart < 0)
            continue;
        uint32_t attr = Html_attributeId(tag + s.nameStart, size_t(s.nameLength));
        if (attr && Html_attrApplies(attr, id))
            present[attr >> 6] |= uint64_t(1) << (attr & 63);
    }
    for (uint32_t word = 0; word < (Html_attrCount + 63) / 64 && !err; word++) {
        for (uint64_t bits = present[word]; bits && !err; bits &= bits - 1) {
            if (p->stop && id != HtmlEl_Frameset)
                break;
            uint32_t attr = word * 64 + uint32_t(__builtin_ctzll(bits));
            size_t n = 0;
            const char16_t *value = Html_getAttrTrimmed(tag, attrs, count, attr, &n);
            if (value)
                err = applyOne(b, attr, value, n);
        }
    }
    // A bullet list inside another list takes the next bullet: a circle
    // one level in, a square deeper, unless its type attribute says.
    uint32_t lists = Html_listNesting(p);
    if (!err && id == HtmlEl_Ul && lists > 1 &&
        !(present[HtmlAttr_type >> 6] & (uint64_t(1) << (HtmlAttr_type & 63))))
        err = putKeyword(b, PropId_listStyleType, lists == 2 ? KwId_circle : KwId_square);
    // A list inside a list keeps to its item: no space above or below.
    if (!err && (id == HtmlEl_Ul || id == HtmlEl_Ol) && lists > 1) {
        const HtmlLength none{PropType_length, 0};
        err = putLength(b, PropId_marginTop, none);
        if (!err)
            err = putLength(b, PropId_marginBottom, none);
    }
    if (!err && id == HtmlEl_Marquee)
        err = applyMarquee(b);
    if (!err && id == HtmlEl_Frameset)
        err = applyFrameGrid(b);
    if (!err && id == HtmlEl_Param)
        err = applyParam(b);
    if (!err && id == HtmlEl_Area && !p->mapFinished)
        err = fillArea(b);
    if (!err && !p->restartRequested && !StyleRule_hasNoProps(b.attrs0)) {
        err = Edr_Node_setPropList0(p->doc, node, b.attrs0);
        if (!err)
            b.attrs0 = nullptr; // the node took it over
    }
    bool own = !StyleRule_hasNoProps(b.rule);
    if (!err && !p->restartRequested && (own || b.cellBorders || b.cellPadding)) {
        uint32_t key = p->nextClass++;
        err = Edr_Node_addId(p->doc, node, key);
        if (!err && own) {
            StyleRule_setWeight(b.rule, 10);
            if (!(err = StyleRule_addMatch10(b.rule, key)))
                err = Request_addItem(p->styles, &b.rule);
        }
        if (!err && (b.cellBorders || b.cellPadding))
            err = addCellRules(p, key, b.cellBorders != 0, b.cellPadding ? &b.padding : nullptr);
    }
    StyleRule_destroy(b.rule);
    StyleRule_destroy(b.attrs0);
    return err;
}

namespace {

// A decimal integer with an optional sign, surrounding white space
// allowed; false when the text holds none.
bool attrListNumber(const char16_t *v, size_t n, int32_t *out)
{
    size_t i = 0;
    while (i < n && isSpace(v[i]))
        i++;
    bool negative = i < n && v[i] == '-';
    if (i < n && (v[i] == '-' || v[i] == '+'))
        i++;
    int64_t x = 0;
    size_t digits = 0;
    for (; i < n && v[i] >= '0' && v[i] <= '9'; i++, digits++)
        x = std::min<int64_t>(x * 10 + (v[i] - '0'), INT32_MAX);
    if (!digits)
        return false;
    *out = int32_t(negative ? -x : x);
    return true;
}

} // namespace

int Html_listOrdinal(const Edr_Doc *doc, Edr_Node *node, int32_t *number)
{
    *number = 0;
    if (!doc || doc->typeCode != Html_typeCode || !node ||
        Edr_Node_type(node) != Edr_NodeType_group)
        return 0;
    const Edr_Group *g = Edr_Node_group(node);
    uint32_t attr = g && g->element == HtmlEl_Ol   ? uint32_t(HtmlAttr_start)
                    : g && g->element == HtmlEl_Li ? uint32_t(HtmlAttr_value)
                                                   : uint32_t(0);
    const StyleRule *list = attr && g->ext ? g->ext->props[0] : nullptr;
    for (const StylePropItem *i = list ? list->firstProp : nullptr; i; i = i->next) {
        if (i->value.id != attr)
            continue;
        if (i->value.type == PropType_ustr)
            return attrListNumber(reinterpret_cast<const char16_t *>(i->value.payload),
                                  i->value.payload2, number)
                       ? 1
                       : 0;
        *number = Prop_getInt(&i->value);
        return 1;
    }
    return 0;
}

uint32_t Html_listNesting(const HtmlParser *p)
{
    return p->open[HtmlEl_Ul] + p->open[HtmlEl_Ol] + p->open[HtmlEl_Dir] + p->open[HtmlEl_Menu];
}
