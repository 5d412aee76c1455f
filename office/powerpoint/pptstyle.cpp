// Presentation text styles: character and paragraph property records become
// shared style rules of the document's style sheet. Each distinct record is
// interned once (the records are compared as their little-endian byte
// layouts), so equal formatting shares one rule and one style id. Also the
// paragraph groups with their bullets, the text runs with Symbol-font
// characters decoded to Unicode, and the style sheet's three fixed classes.
#include <algorithm>
#include <cstring>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "core/text/charset.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/powerpoint/ppttext.h"
#include "platform/api/request.h"

namespace {

// The names of the style sheet's classes, ids 1 to 3 in this order.
constexpr char classNames[] = "Block\0Bullet\0Slide\0";

constexpr uint32_t tableStep = 16;

// Master units (576 per inch) to 16.16 inches.
int32_t masterToInches(int64_t v)
{
    int64_t r = v * 1024 / 9;
    return int32_t(std::clamp<int64_t>(r, INT32_MIN, INT32_MAX));
}

// The face name of font index, or null when there is none.
const char16_t *faceName(const PptContext *ppt, uint32_t index)
{
    if (!ppt->fonts || index >= ppt->fontCount)
        return nullptr;
    return ppt->fonts[index];
}

bool isFace(const char16_t *name, const char *face)
{
    return name && Ustr_cmpCstr(name, face) == 0;
}

typedef int (*ByteDecoder)(EngineContext *, const uint8_t *, size_t, uint8_t *, size_t, size_t *,
                           size_t *, CharsetState *);

// One byte through a single-byte symbol-font table; U+FFFD when the table
// gives nothing.
char16_t decodeByte(ByteDecoder decode, uint8_t byte, EngineContext *context)
{
    uint8_t out[4] = {};
    size_t consumed = 0;
    size_t produced = 0;
    CharsetState state{};
    decode(context, &byte, 1, out, sizeof out, &consumed, &produced, &state);
    if (produced < 2)
        return 0xFFFD;
    char16_t c;
    memcpy(&c, out, sizeof c);
    return c;
}

// The colour word of a property colour: a scheme entry for a top byte
// below 8, else the low 24 bits.
uint32_t resolveColour(const PptContext *ppt, uint32_t colour)
{
    uint32_t top = colour >> 24;
    if (top < Ppt_schemeColours) {
        const uint8_t *s = ppt->scheme[top];
        return uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16;
    }
    return colour & 0xFFFFFF;
}

// The index where key sits (found = 1) or would be inserted.
uint32_t tableFind(const PptStyleTable *table, const uint8_t *key, size_t size, int *found)
{
    uint32_t lo = 0;
    uint32_t hi = table->count;
    *found = 0;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        int c = memcmp(table->entries[mid].key, key, size);
        if (c == 0) {
            *found = 1;
            return mid;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// Makes room for one more entry: the table grows by 16 entries when its
// count is a multiple of 16. 1 when it cannot (the table unchanged).
int tableReserve(PptStyleTable *table)
{
    if (table->count % tableStep != 0)
        return Res_ok;
    if (table->count > UINT32_MAX - tableStep)
        return Res_noMemory;
    size_t bytes = (size_t(table->count) + tableStep) * sizeof(PptStyleEntry);
    void *grown = Mem_realloc(table->entries, bytes);
    if (!grown)
        return Res_noMemory;
    table->entries = static_cast<PptStyleEntry *>(grown);
    return Res_ok;
}

// Inserts {id, key} at index; room was reserved.
void tableInsert(PptStyleTable *table, uint32_t index, uint32_t id, const uint8_t *key, size_t size)
{
    PptStyleEntry *e = table->entries;
    memmove(e + index + 1, e + index, (table->count - index) * sizeof(PptStyleEntry));
    e[index].id = id;
    memset(e[index].key, 0, sizeof e[index].key);
    memcpy(e[index].key, key, size);
    table->count++;
}

int addKeyword(StyleRule *rule, Prop *p, uint32_t id, uint32_t keyword)
{
    Prop_setType(p, id, uint16_t(keyword));
    return StyleRule_appendProp(rule, p);
}

int addLength(StyleRule *rule, Prop *p, uint32_t id, int32_t length)
{
    Prop_setLength(p, id, length);
    return StyleRule_appendProp(rule, p);
}

int addColour(StyleRule *rule, Prop *p, uint32_t id, uint32_t rgb, uint8_t alpha)
{
    const uint8_t rgba[4] = {uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16), alpha};
    Prop_setColour(p, id, rgba);
    return StyleRule_appendProp(rule, p);
}

// The character style's properties.
int charProps(const PptContext *ppt, const PptCharProps *c, StyleRule *rule)
{
    Prop p{};
    int err = Res_ok;
    if (c->mask & PptChar_font) {
        const char16_t *name = faceName(ppt, c->font);
        if (name && name[0]) {
            Prop_set(&p, PropId_fontFamily, PropType_ustr, reinterpret_cast<uintptr_t>(name),
                     uint32_t(Ustr_len(name)));
            err = StyleRule_appendProp(rule, &p);
        }
    }
    if (!err && (c->mask & PptChar_colour))
        err = addColour(rule, &p, PropId_color, c->colour, 255);
    if (!err && (c->mask & PptChar_escapement)) {
        uint32_t kw = c->escapement > 0 ? KwId_super : c->escapement < 0 ? KwId_sub : KwId_baseline;
        err = addKeyword(rule, &p, PropId_verticalAlign, kw);
    }
    if (!err && (c->mask & PptChar_size))
        err = addLength(rule, &p, PropId_fontSize, int32_t(uint32_t(c->size) * 8192u / 9u));
    if (!err && (c->mask & PptChar_flags)) {
        err = addKeyword(rule, &p, PropId_fontWeight,
                         (c->flags & PptCharFlag_bold) ? KwId_bold : KwId_normal);
        if (!err)
            err = addKeyword(rule, &p, PropId_fontStyle,
                             (c->flags & PptCharFlag_italic) ? KwId_italic : KwId_normal);
        if (!err && (c->flags & PptCharFlag_underline))
            err = addKeyword(rule, &p, PropId_textDecoration, KwId_underline);
        if (!err && (c->flags & PptCharFlag_shadow))
            err = addColour(rule, &p, PropId_textShadow, 0, 128);
    }
    return err;
}

// The paragraph style's properties; textSize in points for the spacing.
int paraProps(const PptParaProps *pp, uint32_t textSize, StyleRule *rule)
{
    static constexpr uint32_t alignments[4] = {KwId_left, KwId_center, KwId_right, KwId_justify};
    Prop p{};
    int err = addKeyword(rule, &p, PropId_display, KwId_block);
    if (!err && (pp->mask & PptPara_alignment) && pp->alignment < 4)
        err = addKeyword(rule, &p, PropId_textAlign, alignments[pp->alignment]);
    if (!err && (pp->mask & PptPara_leftMargin)) {
        if (pp->leftMargin != 0)
            err = addLength(rule, &p, PropId_marginLeft, masterToInches(pp->leftMargin));
        if (!err && pp->indent != pp->leftMargin)
            err = addLength(rule, &p, PropId_textIndent,
                            masterToInches(int64_t(pp->indent) - pp->leftMargin));
    }
    if (!err && (pp->mask & PptPara_defaultTab))
        err = addLength(rule, &p, PropId_tabInterval, masterToInches(pp->defaultTab));
    if (!err)
        err = Ppt_spacingProp(pp, pp->spaceBefore, PropId_marginTop, &p, rule, textSize);
    if (!err)
        err = Ppt_spacingProp(pp, pp->spaceAfter, PropId_marginBottom, &p, rule, textSize);
    // Without a line spacing the lines keep their natural height: a record
    // of 0 percent would stack every line of the paragraph on the first.
    if (!err && (pp->mask & PptPara_lineSpacing)) {
        PropLineSpacing spacing{};
        if (pp->lineSpacing < 0)
            spacing = PropLineSpacing{0, masterToInches(-int32_t(pp->lineSpacing)), 6553600};
        else
            spacing = PropLineSpacing{1, int32_t(pp->lineSpacing) * 65536, 6553600};
        Prop_set(&p, PropId_lineSpacing, PropType_lineSpacing,
                 reinterpret_cast<uintptr_t>(&spacing), 0);
        err = StyleRule_appendProp(rule, &p);
    }
    return err;
}

// Creates the rule for a new interned record, registers it with the style
// sheet under the next serial (match weight 1 or 10) and inserts the entry
// (room already reserved). The rule is destroyed on failure.
int internRule(PptContext *ppt, PptStyleTable *table, uint32_t index, const uint8_t *key,
               size_t size, uint32_t weight, const PptCharProps *chr, const PptParaProps *para,
               uint32_t textSize, uint32_t *id)
{
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    if (err)
        return err;
    Ppt_nextSerial(ppt);
    uint32_t serial = ppt->serial;
    err = StyleRule_addMatch(rule, serial, 0, weight);
    if (!err)
        err = chr ? charProps(ppt, chr, rule) : paraProps(para, textSize, rule);
    if (!err)
        err = Request_addItem(ppt->styleSheet, &rule);
    StyleRule_destroy(rule);
    if (err)
        return err;
    tableInsert(table, index, serial, key, size);
    *id = serial;
    return Res_ok;
}

} // namespace

void PptCharProps_toKey(const PptCharProps *c, uint8_t key[PptCharProps_keySize])
{
    key[0] = c->mask;
    key[1] = c->flags;
    Bytes_putU16Le(key + 2, c->font);
    Bytes_putU16Le(key + 4, c->font2);
    Bytes_putU16Le(key + 6, c->symbolFont);
    Bytes_putU16Le(key + 8, c->size);
    Bytes_putU16Le(key + 10, uint16_t(c->escapement));
    Bytes_putU32Le(key + 12, c->colour);
}

void PptParaProps_toKey(const PptParaProps *pp, uint8_t key[PptParaProps_keySize])
{
    Bytes_putU16Le(key, pp->mask);
    Bytes_putU16Le(key + 2, pp->bulletFlags);
    Bytes_putU32Le(key + 4, pp->bulletColour);
    Bytes_putU16Le(key + 8, pp->bulletFont);
    Bytes_putU16Le(key + 10, pp->bulletSize);
    Bytes_putU16Le(key + 12, pp->bulletChar);
    Bytes_putU16Le(key + 14, pp->alignment);
    Bytes_putU16Le(key + 16, uint16_t(pp->lineSpacing));
    Bytes_putU16Le(key + 18, uint16_t(pp->spaceBefore));
    Bytes_putU16Le(key + 20, uint16_t(pp->spaceAfter));
    Bytes_putU16Le(key + 22, uint16_t(pp->leftMargin));
    Bytes_putU16Le(key + 24, uint16_t(pp->indent));
    Bytes_putU16Le(key + 26, pp->defaultTab);
    Bytes_putU16Le(key + 28, pp->textSize);
    Bytes_putU16Le(key + 30, pp->spareWord);
}

void Ppt_mergeChar(PptCharProps *t, const PptCharProps *s)
{
    uint8_t take = uint8_t(s->mask & ~t->mask & 0x7F);
    if (take & PptChar_flags)
        t->flags = s->flags;
    if (take & PptChar_font)
        t->font = s->font;
    if (take & PptChar_font2)
        t->font2 = s->font2;
    if (take & PptChar_symbolFont)
        t->symbolFont = s->symbolFont;
    if (take & PptChar_size)
        t->size = s->size;
    if (take & PptChar_colour)
        t->colour = s->colour;
    if (take & PptChar_escapement)
        t->escapement = s->escapement;
    t->mask |= take;
}

void Ppt_mergePara(PptParaProps *t, const PptParaProps *s)
{
    uint16_t take = uint16_t(s->mask & ~t->mask & (0x0FFFu | PptPara_spareWord));
    if (take & PptPara_bulletFlags)
        t->bulletFlags = s->bulletFlags;
    if (take & PptPara_bulletFont)
        t->bulletFont = s->bulletFont;
    if (take & PptPara_bulletColour)
        t->bulletColour = s->bulletColour;
    if (take & PptPara_bulletSize)
        t->bulletSize = s->bulletSize;
    if (take & PptPara_bulletChar)
        t->bulletChar = s->bulletChar;
    if (take & PptPara_alignment)
        t->alignment = s->alignment;
    if (take & PptPara_lineSpacing)
        t->lineSpacing = s->lineSpacing;
    if (take & PptPara_spaceBefore)
        t->spaceBefore = s->spaceBefore;
    if (take & PptPara_spaceAfter)
        t->spaceAfter = s->spaceAfter;
    if (take & PptPara_leftMargin)
        t->leftMargin = s->leftMargin;
    if (take & PptPara_indent)
        t->indent = s->indent;
    if (take & PptPara_defaultTab)
        t->defaultTab = s->defaultTab;
    if (take & PptPara_spareWord)
        t->spareWord = s->spareWord;
    t->mask |= take;
}

int Ppt_nextSerial(PptContext *ppt)
{
    ppt->serial++;
    return Res_ok;
}

int Ppt_addItemWithSerial(PptContext *ppt, StyleRule *rule, uint32_t *id)
{
    *id = 0;
    Ppt_nextSerial(ppt);
    uint32_t serial = ppt->serial;
    int err = StyleRule_addMatch10(rule, serial);
    if (err)
        return err;
    StyleRule *taken = rule;
    err = Request_addItem(ppt->styleSheet, &taken);
    if (err)
        return err;
    *id = serial;
    return Res_ok;
}

int Ppt_initStyleSheet(PptContext *ppt)
{
    StrTable *table = StrTable_create(classNames);
    if (!table)
        return Res_noMemory;
    int err = Edr_Doc_setStringTable(ppt->doc, table);
    if (err) {
        StrTable_destroy(table);
        return err;
    }
    ppt->strings = table;
    Request *request = nullptr;
    if ((err = Request_new(ppt->context, 2, &request)) != Res_ok)
        return err;
    if ((err = Edr_Doc_addRequest(ppt->doc, request)) != Res_ok) {
        Request_release(request);
        return err;
    }
    Request_release(ppt->styleSheet);
    ppt->styleSheet = request;
    ppt->blockClass = 1;
    ppt->bulletClass = 2;
    ppt->slideClass = 3;
    ppt->serial = 3;

    struct ClassRule {
        uint32_t cls;
        uint32_t weight;
    };
    const ClassRule classes[3] = {
        {ppt->slideClass, 1}, {ppt->blockClass, 1}, {ppt->bulletClass, 10}};
    for (const ClassRule &c : classes) {
        StyleRule *rule = nullptr;
        if ((err = StyleRule_create(&rule)) != Res_ok)
            return err;
        Prop p{};
        err = StyleRule_addMatch(rule, c.cls, 0, c.weight);
        if (!err && c.cls == ppt->slideClass) {
            err = addLength(rule, &p, PropId_width, masterToInches(ppt->slideWidth));
            if (!err)
                err = addLength(rule, &p, PropId_height, masterToInches(ppt->slideHeight));
            if (!err)
                err = addKeyword(rule, &p, PropId_display, KwId_block);
            if (!err)
                err = addKeyword(rule, &p, PropId_whiteSpace, KwId_preWrap);
        } else if (!err && c.cls == ppt->blockClass) {
            err = addKeyword(rule, &p, PropId_display, KwId_block);
        } else if (!err) {
            // The bullet's tab stops one raw unit on: the text follows the
            // bullet at once.
            err = addLength(rule, &p, PropId_tabInterval, 1);
        }
        if (!err)
            err = Request_addItem(ppt->styleSheet, &rule);
        StyleRule_destroy(rule);
        if (err)
            return err;
    }
    return Res_ok;
}

void Ppt_freeStyleTables(PptContext *ppt)
{
    Mem_free(ppt->charStyles.entries);
    Mem_free(ppt->paraStyles.entries);
    ppt->charStyles = PptStyleTable{};
    ppt->paraStyles = PptStyleTable{};
    Request_release(ppt->styleSheet);
    ppt->styleSheet = nullptr;
}

int Ppt_charStyleId(PptContext *ppt, const PptCharProps *props, uint32_t *id)
{
    *id = 0;
    PptCharProps c{};
    Ppt_mergeChar(&c, props);
    // The symbol-font word never distinguishes styles.
    c.mask &= uint8_t(~PptChar_symbolFont);
    c.symbolFont = 0;
    if (c.mask & PptChar_colour)
        c.colour = resolveColour(ppt, c.colour);
    uint8_t key[PptCharProps_keySize];
    PptCharProps_toKey(&c, key);
    int found = 0;
    uint32_t index = tableFind(&ppt->charStyles, key, sizeof key, &found);
    if (found) {
        *id = ppt->charStyles.entries[index].id;
        return Res_ok;
    }
    int err = tableReserve(&ppt->charStyles);
    if (err)
        return err;
    return internRule(ppt, &ppt->charStyles, index, key, sizeof key, 1, &c, nullptr, 0, id);
}

int Ppt_paraStyleId(PptContext *ppt, const PptParaProps *props, const PptCharProps *chr,
                    uint32_t *id)
{
    *id = 0;
    PptParaProps pp{};
    Ppt_mergePara(&pp, props);
    uint32_t textSize = props->textSize;
    if (textSize == 0 && chr && (chr->mask & PptChar_size))
        textSize = chr->size;
    // The spacing depends on the text size, so the size is part of the key:
    // paragraphs of different sizes must not share one spacing.
    pp.textSize = uint16_t(textSize);
    uint8_t key[PptParaProps_keySize];
    PptParaProps_toKey(&pp, key);
    int found = 0;
    uint32_t index = tableFind(&ppt->paraStyles, key, sizeof key, &found);
    if (found) {
        *id = ppt->paraStyles.entries[index].id;
        return Res_ok;
    }
    int err = tableReserve(&ppt->paraStyles);
    if (err)
        return err;
    return internRule(ppt, &ppt->paraStyles, index, key, sizeof key, 10, nullptr, &pp, textSize,
                      id);
}

int Ppt_spacingProp(const PptParaProps *props, int32_t value, uint32_t id, Prop *scratch,
                    StyleRule *rule, uint32_t textSize)
{
    int64_t s = props->lineSpacing;
    int64_t length = 0;
    if (value < 0)
        length = -int64_t(value) * 1024 / 9;
    else if (s < 0)
        length = int64_t(value) * -s * 1024 / 900;
    else
        length = (int64_t(textSize) * 65536 / 72) * value * s / 10000;
    if (length == 0)
        return Res_ok;
    Prop_setLength(scratch, id, int32_t(std::min<int64_t>(length, INT32_MAX)));
    return StyleRule_appendProp(rule, scratch);
}

namespace {

// The master level of a text type and indentation level, or null outside
// the table.
const PptMasterLevel *masterLevel(const PptContext *ppt, uint32_t textType, uint32_t level)
{
    if (textType >= Ppt_textTypes || level >= Ppt_levels)
        return nullptr;
    return &ppt->masterStyles[textType][level];
}

// The bullet character in the face named by the bullet font index.
char16_t bulletChar(const PptContext *ppt, const PptParaProps *pp)
{
    uint32_t index = pp->bulletFont < ppt->fontCount ? pp->bulletFont : 0;
    const char16_t *face = faceName(ppt, index);
    uint32_t c = pp->bulletChar;
    if (c < 256 && isFace(face, "Wingdings")) {
        char16_t d = decodeByte(Charset_wingdingsToUtf16, uint8_t(c), ppt->context);
        return d == 0xFFFD ? char16_t(0x2022) : d;
    }
    if (c < 256 && isFace(face, "Symbol")) {
        char16_t d = decodeByte(Charset_symbolToUtf16, uint8_t(c), ppt->context);
        return d == 0xFFFD ? char16_t(0x2022) : d;
    }
    if (c >= 128 || c == 0 || !strchr("-*#><", int(c)))
        return 0x2022;
    return char16_t(c);
}

// The bullet group of a paragraph: its character style, the bullet class
// and the bullet character followed by a tab.
int addBullet(PptContext *ppt, const PptParaProps *pp, const PptCharRun *charRun,
              const PptCharProps *master, Edr_Node *paragraph)
{
    Edr_Node *bullet = nullptr;
    int err = Edr_Node_createGroup(ppt->doc, paragraph, Edr_Insert_lastChild, 0, &bullet);
    if (err)
        return err;
    PptCharProps c = charRun ? charRun->props : PptCharProps{};
    if (master)
        Ppt_mergeChar(&c, master);
    c.mask = PptChar_flags | PptChar_font | PptChar_size | PptChar_colour;
    c.flags = 0;
    if (pp->bulletFlags & PptBullet_font)
        c.font = pp->bulletFont;
    if (pp->bulletFlags & PptBullet_colour)
        c.colour = pp->bulletColour;
    if (pp->bulletFlags & PptBullet_size)
        c.size = uint16_t(std::min<uint32_t>(uint32_t(pp->bulletSize) * c.size / 100, 0xFFFF));
    uint32_t style = 0;
    err = Ppt_charStyleId(ppt, &c, &style);
    if (!err)
        err = Edr_Node_setStyle(ppt->doc, bullet, style);
    if (!err)
        err = Edr_Node_addId(ppt->doc, bullet, ppt->bulletClass);
    if (!err) {
        const char16_t text[2] = {bulletChar(ppt, pp), 9};
        err = Edr_Node_createText(ppt->doc, bullet, Edr_Insert_lastChild, nullptr, text, 2);
    }
    Edr_Node_release(ppt->doc, bullet);
    return err;
}

} // namespace

int Ppt_startParagraph(PptContext *ppt, const PptParaRun *paraRun, const PptCharRun *charRun,
                       Edr_Node *parent, Edr_Node **out, uint32_t textType)
{
    *out = nullptr;
    Edr_Node *node = nullptr;
    int err = Edr_Node_createGroup(ppt->doc, parent, Edr_Insert_lastChild, 0, &node);
    if (err)
        return err;
    PptParaProps pp = paraRun ? paraRun->props : PptParaProps{};
    const PptMasterLevel *master = masterLevel(ppt, textType, paraRun ? paraRun->level : 0);
    PptCharProps chr{};
    if (master) {
        Ppt_mergePara(&pp, &master->para);
        chr = master->chr;
    }
    uint32_t paraStyle = 0;
    uint32_t charStyle = 0;
    err = Ppt_paraStyleId(ppt, &pp, &chr, &paraStyle);
    if (!err)
        err = Edr_Node_addId(ppt->doc, node, paraStyle);
    if (!err)
        err = Ppt_charStyleId(ppt, &chr, &charStyle);
    if (!err)
        err = Edr_Node_setStyle(ppt->doc, node, charStyle);
    if (!err && (pp.mask & PptPara_bulletFlags) && (pp.bulletFlags & PptBullet_has))
        err = addBullet(ppt, &pp, charRun, master ? &master->chr : nullptr, node);
    if (err) {
        Edr_Node_release(ppt->doc, node);
        return err;
    }
    *out = node;
    return Res_ok;
}

int Ppt_addTextRun(PptContext *ppt, const PptCharRun *run, Edr_Node *parent, const char16_t *chars,
                   uint32_t count)
{
    const PptCharProps *c = &run->props;
    Edr_Node *group = nullptr;
    Edr_Node *target = parent;
    char16_t *decoded = nullptr;
    int err = Res_ok;
    if (c->mask != 0) {
        uint32_t style = 0;
        err = Ppt_charStyleId(ppt, c, &style);
        if (!err)
            err = Edr_Node_createGroup(ppt->doc, parent, Edr_Insert_lastChild, 0, &group);
        if (!err)
            err = Edr_Node_setStyle(ppt->doc, group, style);
        target = group;
    }
    bool symbolRun = (c->mask & PptChar_font) && isFace(faceName(ppt, c->font), "Symbol");
    bool symbolWord = (c->mask & PptChar_symbolFont) != 0;
    if (!err && count && (symbolRun || symbolWord)) {
        decoded = static_cast<char16_t *>(Mem_malloc(size_t(count) * sizeof(char16_t)));
        if (!decoded) {
            err = Res_noMemory;
        } else {
            for (uint32_t i = 0; i < count; i++) {
                char16_t ch = chars[i];
                if (symbolRun || (ch >= 0xF000 && ch <= 0xF0FF))
                    ch = decodeByte(Charset_symbolToUtf16, uint8_t(ch), ppt->context);
                decoded[i] = ch;
            }
            chars = decoded;
        }
    }
    if (!err)
        err = Edr_Node_createText(ppt->doc, target, Edr_Insert_lastChild, nullptr, chars, count);
    Mem_free(decoded);
    Edr_Node_release(ppt->doc, group);
    return err;
}
