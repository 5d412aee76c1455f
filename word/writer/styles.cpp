// The style sheet of a saved Word document and the conversion of style
// properties into modifiers.
//
// The sheet holds the fifteen fixed slots of a Word 97 file (Normal and
// Default Paragraph Font filled) and one user style per style rule of the
// document. Each rule's key is mapped to the index its style was written
// at; paragraphs and runs name that index, never a number derived from the
// key, so that a rule skipped in the sheet cannot shift the others.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "word/reader/wordfonts.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "platform/api/request.h"
#include "word/reader/build.h"
#include "word/writer/writer.h"

namespace {

// Border-style keywords of the style system and their line styles.
struct BorderKind {
    uint32_t keyword;
    uint8_t brcType;
};
constexpr BorderKind borderKinds[] = {
    {0, 0}, {129, 1}, {60, 3}, {59, 6}, {54, 7}, {116, 24}, {67, 25}, {107, 26}, {76, 27},
};

constexpr uint8_t palette[17][4] = {
    {0xFF, 0xFF, 0xFF, 0x00}, {0x00, 0x00, 0x00, 0xFF}, {0x00, 0x00, 0xFF, 0xFF},
    {0x00, 0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0x00, 0xFF}, {0xFF, 0x00, 0xFF, 0xFF},
    {0xFF, 0x00, 0x00, 0xFF}, {0xFF, 0xFF, 0x00, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF},
    {0x00, 0x00, 0x80, 0xFF}, {0x00, 0x80, 0x80, 0xFF}, {0x00, 0x80, 0x00, 0xFF},
    {0x80, 0x00, 0x80, 0xFF}, {0x80, 0x00, 0x00, 0xFF}, {0x80, 0x80, 0x00, 0xFF},
    {0x80, 0x80, 0x80, 0xFF}, {0xC0, 0xC0, 0xC0, 0xFF},
};

// Normal's fixed exceptions.
constexpr uint8_t normalPapx[17] = {0x00, 0x00, 0x03, 0x24, 0x00, 0x61, 0x24, 0x00, 0x31,
                                    0x24, 0x01, 0x41, 0x24, 0x00, 0x2A, 0x24, 0x01};
constexpr uint8_t normalChpx[43] = {
    0x42, 0x2A, 0x00, 0x4F, 0x4A, 0x00, 0x00, 0x51, 0x4A, 0x00, 0x00, 0x43, 0x4A, 0x18, 0x00,
    0x6D, 0x48, 0x09, 0x04, 0x73, 0x48, 0x09, 0x04, 0x6E, 0x48, 0x04, 0x08, 0x5E, 0x4A, 0x00,
    0x00, 0x61, 0x4A, 0x18, 0x00, 0x5F, 0x48, 0x01, 0x04, 0x74, 0x48, 0x01, 0x04};

// value x factor / 65536, a fraction of one half or more going up.
int32_t scaled(int32_t value, int32_t factor)
{
    int64_t p = int64_t(value) * factor;
    int64_t whole = p >> 16;
    if ((p & 0xFFFF) >= 0x8000)
        whole++;
    return int32_t(whole);
}

uint32_t keywordOf(const Prop *p)
{
    return p->type >= PropType_firstKeyword || p->type == PropType_none ? p->type : 0xFFFFFFFFu;
}

void colourBytes(const Prop *p, uint8_t *rgba)
{
    uint32_t c = Prop_getColour(p);
    rgba[0] = uint8_t(c);
    rgba[1] = uint8_t(c >> 8);
    rgba[2] = uint8_t(c >> 16);
    rgba[3] = uint8_t(c >> 24);
}

// The item of the slot with sprm, added with a zero operand when absent.
int findOrAdd(WordStyleSlot *slot, uint16_t sprm, uint8_t length, WordStyleSprm **out)
{
    for (uint32_t i = 0; i < slot->count; i++)
        if (slot->items[i].sprm == sprm) {
            *out = &slot->items[i];
            return Res_ok;
        }
    if (slot->count == slot->capacity) {
        void *bigger =
            Mem_realloc(slot->items, (size_t(slot->capacity) + 8) * sizeof(WordStyleSprm));
        if (!bigger)
            return Res_noMemory;
        slot->items = static_cast<WordStyleSprm *>(bigger);
        slot->capacity += 8;
    }
    WordStyleSprm *item = &slot->items[slot->count++];
    memset(item, 0, sizeof *item);
    item->sprm = sprm;
    item->length = length;
    *out = item;
    return Res_ok;
}

int setItem(WordStyleSlot *slot, uint16_t sprm, uint8_t length, uint32_t value)
{
    WordStyleSprm *item = nullptr;
    int err = findOrAdd(slot, sprm, length, &item);
    if (err)
        return err;
    Pack_write(item->operand, length == 1 ? "c" : length == 2 ? "s" : "l", value);
    return Res_ok;
}

// ORs bits into a 4-byte item (the border sprms gather width, style and
// colour in one BRC).
int orItem(WordStyleSlot *slot, uint16_t sprm, uint32_t bits)
{
    WordStyleSprm *item = nullptr;
    int err = findOrAdd(slot, sprm, 4, &item);
    if (err)
        return err;
    uint32_t v = 0;
    Pack_read(item->operand, "l", &v);
    Pack_write(item->operand, "l", v | bits);
    return Res_ok;
}

int sprm16(WordBuf *buf, uint16_t sprm, uint32_t value)
{
    int err = WordBuf_u16(buf, sprm);
    return err ? err : WordBuf_u16(buf, value);
}

int sprm8(WordBuf *buf, uint16_t sprm, uint32_t value)
{
    int err = WordBuf_u16(buf, sprm);
    return err ? err : WordBuf_u8(buf, value);
}

int writeBytes(OleStream *stream, const void *bytes, uint32_t n)
{
    return OleWriter_streamWrite(stream, bytes, n);
}

int patchU16(OleStream *stream, uint32_t position, uint32_t value)
{
    uint32_t here = Ole_streamTell(stream);
    uint8_t b[2];
    Pack_write(b, "s", value);
    int err = Ole_streamSeek(stream, position, 0);
    if (!err)
        err = writeBytes(stream, b, 2);
    int back = Ole_streamSeek(stream, here, 0);
    return err ? err : back;
}

// An STD: the length word, the base, the name, the UPXs, a pad to an even
// position; cbStd and bchUpe are the bytes after the length word.
int writeStd(OleStream *stream, uint32_t sti, uint32_t sgc, uint32_t istdNext, const char16_t *name,
             const WordBuf *upxs)
{
    if (istdNext > 0x1001)
        return Res_wordBadIstdNext;
    uint32_t nameLength = uint32_t(Ustr_len(name));
    WordBuf std{};
    uint32_t cupx = sgc == 1 ? 2 : 1;
    int err = WordBuf_u16(&std, 0);
    if (!err) {
        uint8_t base[10];
        Pack_write(base, "5s", sti | 0x1000, sgc | 0xFFF0, cupx | istdNext << 4, 0, 0);
        err = WordBuf_append(&std, base, 10);
    }
    if (!err)
        err = WordBuf_u16(&std, nameLength);
    for (uint32_t i = 0; i <= nameLength && !err; i++)
        err = WordBuf_u16(&std, name[i]);
    if (!err)
        err = WordBuf_append(&std, upxs->data, upxs->length);
    uint32_t start = Ole_streamTell(stream);
    if (!err && ((start + std.length) & 1))
        err = WordBuf_u8(&std, 0);
    if (!err) {
        uint32_t cb = std.length - 2;
        Pack_write(std.data, "s", cb);
        Pack_write(std.data + 8, "s", cb); // bchUpe
        err = writeBytes(stream, std.data, std.length);
    }
    WordBuf_free(&std);
    return err;
}

int upx(WordBuf *buf, const uint8_t *bytes, uint32_t n)
{
    int err = WordBuf_u16(buf, n);
    if (!err)
        err = WordBuf_append(buf, bytes, n);
    if (!err && (n & 1))
        err = WordBuf_u8(buf, 0); // a UPX ends on an even offset
    return err;
}

int slotFor(WordWriter *w, uint32_t key, WordStyleSlot **out)
{
    *out = WordStyles_find(w, key);
    if (*out)
        return Res_ok;
    if (w->styleCount == w->styleCapacity) {
        void *bigger =
            Mem_realloc(w->styles, (size_t(w->styleCapacity) + 32) * sizeof(WordStyleSlot));
        if (!bigger)
            return Res_noMemory;
        w->styles = static_cast<WordStyleSlot *>(bigger);
        w->styleCapacity += 32;
    }
    WordStyleSlot *s = &w->styles[w->styleCount++];
    memset(s, 0, sizeof *s);
    s->key = key;
    if (key >= Word_firstStyleId && key - Word_firstStyleId < w->keyCount)
        w->keySlots[key - Word_firstStyleId] = w->styleCount;
    *out = s;
    return Res_ok;
}

// Indexes the document's style rules by key: keys run up from the first
// style id, so an array holds them (keys beyond a bound are searched).
int indexRules(WordWriter *w)
{
    enum : uint32_t { maxIndexed = 1u << 20 };
    uint32_t top = 0;
    Request *request = nullptr;
    int err = Edr_Doc_getRequest(w->doc, nullptr, &request);
    for (int pass = 0; pass < 2 && !err; pass++) {
        if (pass == 1) {
            w->keyCount = top;
            if (!top)
                break;
            w->keyRules = static_cast<StyleRule **>(Mem_calloc(top, sizeof(StyleRule *)));
            w->keySlots = static_cast<uint32_t *>(Mem_calloc(top, sizeof(uint32_t)));
            if (!w->keyRules || !w->keySlots) {
                w->keyCount = 0;
                err = Res_noMemory;
                break;
            }
            err = Edr_Doc_getRequest(w->doc, nullptr, &request);
        }
        while (request && !err) {
            for (StyleRule *r = Request_firstItem(request); r; r = Request_nextItem(request, r)) {
                uint32_t key = StyleRule_firstKey(r);
                if (key < Word_firstStyleId || key - Word_firstStyleId >= maxIndexed)
                    continue;
                uint32_t at = key - Word_firstStyleId;
                if (pass == 0 && at + 1 > top)
                    top = at + 1;
                if (pass == 1 && !w->keyRules[at])
                    w->keyRules[at] = r;
            }
            Request *next = nullptr;
            err = Edr_Doc_getRequest(w->doc, request, &next);
            Request_release(request);
            request = err ? nullptr : next;
        }
    }
    Request_release(request);
    return err;
}

// One user style: its paragraph UPX (style index, then the converted
// paragraph sprms) and an empty character UPX.
int writeUserStd(WordWriter *w, const StyleRule *rule, WordStyleSlot *slot)
{
    WordBuf para{};
    int err = WordBuf_u16(&para, slot->istd);
    for (StylePropItem *p = rule->firstProp; p && !err; p = p->next)
        err = WordProps_convertStyleProp(w, slot, &p->value, &para);
    WordBuf upxs{};
    if (!err)
        err = upx(&upxs, para.data, para.length);
    if (!err)
        err = WordBuf_u16(&upxs, 0);
    char16_t name[16] = u"Style";
    uint32_t n = slot->istd, digits = 0;
    char16_t rev[12];
    do {
        rev[digits++] = char16_t(u'0' + n % 10);
        n /= 10;
    } while (n && digits < 11);
    for (uint32_t i = 0; i < digits; i++)
        name[5 + i] = rev[digits - 1 - i];
    name[5 + digits] = 0;
    if (!err)
        err = writeStd(w->tableStream, 0xFFE, 1, slot->istd, name, &upxs);
    WordBuf_free(&para);
    WordBuf_free(&upxs);
    return err;
}

} // namespace

int32_t WordWriter_twips(int32_t inches)
{
    return scaled(inches, 1440);
}

uint32_t Word_colourToIco(const uint8_t *rgba)
{
    for (uint32_t i = 0; i < 17; i++)
        if (!memcmp(palette[i], rgba, 4))
            return i;
    return 17;
}

WordStyleSlot *WordStyles_find(WordWriter *w, uint32_t key)
{
    if (key >= Word_firstStyleId && key - Word_firstStyleId < w->keyCount) {
        uint32_t slot = w->keySlots[key - Word_firstStyleId];
        return slot ? &w->styles[slot - 1] : nullptr;
    }
    for (uint32_t i = 0; i < w->styleCount; i++)
        if (w->styles[i].key == key)
            return &w->styles[i];
    return nullptr;
}

int WordStyles_collectFonts(WordWriter *w, const char16_t *name, uint32_t *index)
{
    for (uint32_t i = 0; i < w->fontCount; i++)
        if (!Ustr_cmp(w->fonts[i].name, name)) {
            *index = i;
            return Res_ok;
        }
    return WordStyles_addFont(w, name, index);
}

int WordStyles_addFont(WordWriter *w, const char16_t *name, uint32_t *index)
{
    if (w->fontCount == w->fontCapacity) {
        void *bigger = Mem_realloc(w->fonts, (size_t(w->fontCapacity) + 8) * sizeof(WordOutFont));
        if (!bigger)
            return Res_noMemory;
        w->fonts = static_cast<WordOutFont *>(bigger);
        w->fontCapacity += 8;
    }
    WordOutFont *f = &w->fonts[w->fontCount];
    memset(f, 0, sizeof *f);
    f->name = Ustr_dup(name);
    if (!f->name)
        return Res_noMemory;
    f->flags = 4;
    f->weight = 400;
    *index = w->fontCount++;
    return Res_ok;
}

StyleRule *WordWriter_findStyleRule(Edr_Doc *doc, uint32_t key)
{
    Request *request = nullptr;
    if (Edr_Doc_getRequest(doc, nullptr, &request) != Res_ok)
        return nullptr;
    StyleRule *found = nullptr;
    while (request && !found) {
        for (StyleRule *r = Request_firstItem(request); r && !found;
             r = Request_nextItem(request, r))
            if (StyleRule_firstKey(r) == key)
                found = r;
        Request *next = nullptr;
        if (found || Edr_Doc_getRequest(doc, request, &next) != Res_ok)
            next = nullptr;
        Request_release(request);
        request = next;
    }
    // The document keeps its style sets, so the rule outlives the request
    // reference.
    return found;
}

StyleRule *WordWriter_rule(WordWriter *w, uint32_t key)
{
    if (key >= Word_firstStyleId && key - Word_firstStyleId < w->keyCount)
        return w->keyRules[key - Word_firstStyleId];
    return WordWriter_findStyleRule(w->doc, key);
}

int WordProps_convertStyleProp(WordWriter *w, WordStyleSlot *slot, const Prop *p, WordBuf *para)
{
    uint32_t kw = keywordOf(p);
    uint8_t rgba[4];
    switch (p->id) {
    case 2:
        if (p->type != PropType_colour)
            return Res_ok;
        colourBytes(p, rgba);
        return setItem(slot, 0x2A0C, 1, Word_colourToIco(rgba));
    case 8:
    case 9:
    case 10:
    case 11: {
        static constexpr uint16_t sprms[4] = {0x6424, 0x6427, 0x6426, 0x6425};
        if (p->type != PropType_colour)
            return Res_ok;
        colourBytes(p, rgba);
        uint32_t ico = Word_colourToIco(rgba);
        return orItem(slot, sprms[p->id - 8], (ico > 16 ? 1 : ico) << 16);
    }
    case 14:
    case 15:
    case 16:
    case 17: {
        static constexpr uint16_t sprms[4] = {0x6424, 0x6427, 0x6426, 0x6425};
        // The keyword maps back to the BRC's line style, once, in its byte.
        uint32_t type = 1;
        for (const BorderKind &b : borderKinds)
            if (b.keyword == kw)
                type = b.brcType;
        return orItem(slot, sprms[p->id - 14], type << 8);
    }
    case 18:
    case 19:
    case 20:
    case 21: {
        static constexpr uint16_t sprms[4] = {0x6424, 0x6427, 0x6426, 0x6425};
        if (p->type != PropType_length)
            return Res_ok;
        int32_t eighths = scaled(Prop_getLength(p), 576);
        return orItem(slot, sprms[p->id - 18],
                      uint32_t(eighths < 0     ? 0
                               : eighths > 255 ? 255
                                               : eighths));
    }
    case 29: {
        if (p->type != PropType_colour)
            return Res_ok;
        colourBytes(p, rgba);
        uint32_t ico = Word_colourToIco(rgba);
        if (ico < 17)
            return setItem(slot, 0x2A42, 1, ico);
        int err = setItem(slot, 0x2A42, 1, 0);
        return err ? err
                   : setItem(slot, 0x6870, 4, uint32_t(rgba[0]) | rgba[1] << 8 | rgba[2] << 16);
    }
    case 33: return kw == 118 ? setItem(slot, 0x2441, 1, 1) : Res_ok;
    case 34: return Res_ok; // the display kind of a node: not a run property
    case 37:
    case 152: {
        if (p->type != PropType_ustr || !p->payload)
            return Res_ok;
        uint32_t index = 0;
        int err =
            WordStyles_collectFonts(w, reinterpret_cast<const char16_t *>(p->payload), &index);
        if (!err && p->id == 37) {
            err = setItem(slot, 0x4A4F, 2, index);
            if (!err)
                err = setItem(slot, 0x4A51, 2, index);
        } else if (!err) {
            err = setItem(slot, 0x4A50, 2, index);
        }
        return err;
    }
    case 38: {
        // The size holds for right-to-left and complex-script text too
        // (sprmCHpsBi), which readers otherwise show at their default.
        if (p->type != PropType_length)
            return Res_ok;
        uint32_t hps = uint32_t(scaled(Prop_getLength(p), 144));
        int err = setItem(slot, 0x4A43, 2, hps);
        return err ? err : setItem(slot, 0x4A61, 2, hps);
    }
    case 41: return setItem(slot, 0x0836, 1, kw == 79);
    case 42: return setItem(slot, 0x083A, 1, kw == 127);
    case 43: return setItem(slot, 0x0835, 1, kw == 40);
    case 80: return setItem(slot, 0x0837, 1, kw == 88);
    case 83: return setItem(slot, 0x083B, 1, kw == 155);
    case 86: return setItem(slot, 0x2A48, 1, kw == 133 ? 1 : kw == 132 ? 2 : 0);
    case 95: {
        uint32_t kul = 1;
        switch (kw) {
        case 162: kul = 2; break;
        case 60: kul = 3; break;
        case 59: kul = 4; break;
        case 145: kul = 6; break;
        case 54: kul = 7; break;
        case 163: kul = 9; break;
        case 164: kul = 10; break;
        case 165: kul = 11; break;
        case 0: kul = 0; break;
        default: break;
        }
        return setItem(slot, 0x2A3E, 1, kul);
    }
    // Paragraph properties: sprms of the style's paragraph exceptions.
    case 72: return kw == 32 ? sprm8(para, 0x2407, 1) : Res_ok;
    case 79: {
        uint32_t jc = kw == 45 ? 1 : kw == 117 ? 2 : kw == 80 ? 3 : 0;
        int err = sprm8(para, 0x2403, jc);
        return err ? err : sprm8(para, 0x2461, jc);
    }
    case 54:
    case 52:
    case 81: {
        if (p->type != PropType_length)
            return Res_ok;
        uint32_t t = uint32_t(WordWriter_twips(Prop_getLength(p)));
        uint16_t a = p->id == 54 ? 0x840F : p->id == 52 ? 0x840E : 0x8411;
        uint16_t b = p->id == 54 ? 0x845E : p->id == 52 ? 0x845D : 0x8460;
        int err = sprm16(para, a, t);
        return err ? err : sprm16(para, b, t);
    }
    case 51:
    case 53:
        if (p->type != PropType_length)
            return Res_ok;
        return sprm16(para, p->id == 51 ? 0xA413 : 0xA414,
                      uint32_t(WordWriter_twips(Prop_getLength(p))));
    case 110: {
        if (p->type != PropType_lineSpacing || !p->payload)
            return Res_ok;
        const PropLineSpacing *s = reinterpret_cast<const PropLineSpacing *>(p->payload);
        uint32_t operand = 0;
        if (s->kind == 0)
            operand = uint32_t(-WordWriter_twips(s->value)) & 0xFFFF;
        else if (s->kind == 1)
            operand = (uint32_t((int64_t(s->value) / 100 * 240) >> 16) & 0xFFFF) | 0x10000u;
        else if (s->kind == 2)
            operand = uint32_t(WordWriter_twips(s->value)) & 0xFFFF;
        int err = WordBuf_u16(para, 0x6412);
        return err ? err : WordBuf_u32(para, operand);
    }
    default: return Res_ok;
    }
}

int WordStyles_writeSheet(WordWriter *w)
{
    OleStream *t = w->tableStream;
    uint32_t start = Ole_streamTell(t);
    w->fib.pairs[0].fc = w->fib.pairs[1].fc = int32_t(start);
    uint8_t stshi[20];
    Pack_write(stshi, "10s", 18, 15, 10, 1, 156, 15, 0, 0, 0, 0);
    int err = writeBytes(t, stshi, 20);
    // Normal, then the empty slots with Default Paragraph Font at 10.
    WordBuf upxs{};
    if (!err)
        err = upx(&upxs, normalPapx, sizeof normalPapx);
    if (!err)
        err = upx(&upxs, normalChpx, sizeof normalChpx);
    if (!err)
        err = writeStd(t, 0, 1, 0, u"Normal", &upxs);
    WordBuf_free(&upxs);
    for (uint32_t istd = 1; istd < WordWriter_userIstd && !err; istd++) {
        if (istd == 10) {
            WordBuf empty{};
            err = WordBuf_u16(&empty, 0);
            if (!err)
                err = writeStd(t, 65, 2, 10, u"Default Paragraph Font", &empty);
            WordBuf_free(&empty);
        } else {
            err = writeBytes(t, "\0", 2);
        }
    }
    w->nextIstd = WordWriter_userIstd;
    if (!err)
        err = indexRules(w);
    Request *request = nullptr;
    if (!err)
        err = Edr_Doc_getRequest(w->doc, nullptr, &request);
    uint32_t defaultFont = 0xFFFFFFFFu;
    while (request && !err) {
        for (StyleRule *r = Request_firstItem(request); r && !err;
             r = Request_nextItem(request, r)) {
            if (StyleRule_hasNoProps(r))
                continue;
            uint32_t key = StyleRule_firstKey(r);
            if (key == WordClass_textGroup) {
                StylePropItem *font = StyleRule_findProp(r, 37);
                if (font && font->value.type == PropType_ustr && font->value.payload)
                    err = WordStyles_collectFonts(
                        w, reinterpret_cast<const char16_t *>(font->value.payload), &defaultFont);
                StylePropItem *second = StyleRule_findProp(r, 152);
                uint32_t ignored = 0;
                if (!err && second && second->value.type == PropType_ustr && second->value.payload)
                    err = WordStyles_collectFonts(
                        w, reinterpret_cast<const char16_t *>(second->value.payload), &ignored);
                continue;
            }
            if (key == WordClass_paragraph) {
                StylePropItem *tab = StyleRule_findProp(r, 102);
                if (tab && tab->value.type == PropType_length)
                    w->dxaTab = uint32_t(WordWriter_twips(Prop_getLength(&tab->value)));
                continue;
            }
            if (key < Word_firstStyleId || WordStyles_find(w, key))
                continue;
            WordStyleSlot *slot = nullptr;
            if ((err = slotFor(w, key, &slot)) != Res_ok)
                break;
            slot->istd = w->nextIstd++;
            err = writeUserStd(w, r, slot);
        }
        Request *next = nullptr;
        if (!err)
            err = Edr_Doc_getRequest(w->doc, request, &next);
        Request_release(request);
        request = next;
    }
    Request_release(request);
    if (!err && defaultFont != 0xFFFFFFFFu)
        err = patchU16(t, start + 16, defaultFont);
    if (!err)
        err = patchU16(t, start + 2, w->nextIstd);
    uint32_t end = Ole_streamTell(t);
    w->fib.pairs[0].lcb = w->fib.pairs[1].lcb = end - start;
    return err;
}

int WordProps_convertSectionProp(const Prop *p, WordBuf *sepx, int header)
{
    auto length = [&](uint16_t sprm) -> int {
        if (p->type != PropType_length)
            return Res_ok;
        return sprm16(sepx, sprm, uint32_t(WordWriter_twips(Prop_getLength(p))));
    };
    switch (p->id) {
    case 72: {
        // The section's start (sprmSBkc): continuous, even or odd page;
        // a new page, the default, needs no sprm.
        uint32_t kw = keywordOf(p);
        return kw == 34    ? sprm8(sepx, 0x3009, 0)
               : kw == 86  ? sprm8(sepx, 0x3009, 3)
               : kw == 117 ? sprm8(sepx, 0x3009, 4)
                           : Res_ok;
    }
    case 44: return length(0xB020);
    case 90: return length(0xB01F);
    case 54: return length(0xB021);
    case 52: return length(0xB022);
    case 51: return length(header ? 0xB017 : 0x9023);
    case 53: return length(header ? 0xB018 : 0x9024);
    case 33:
        // sprm 0x5033 has a two-byte operand: a single byte would
        // misalign every sprm after it.
        return sprm16(sepx, 0x5033, 1);
    case 123: {
        uint32_t kw = keywordOf(p);
        return sprm8(sepx, 0x300E, kw == 154 ? 1 : kw == 93 ? 2 : kw == 152 ? 3 : kw == 90 ? 4 : 0);
    }
    case 94: {
        if (p->type != PropType_columns || !p->payload)
            return Res_ok;
        const PropColumns *c = reinterpret_cast<const PropColumns *>(p->payload);
        if (c->count < 1)
            return Res_ok;
        int32_t spacing = c->count > 1 ? WordWriter_twips(c->columns[0].gap) : 0;
        int err = sprm16(sepx, 0x500B, uint32_t(c->count - 1));
        if (!err)
            err = sprm8(sepx, 0x3005, c->flags & 1);
        if (!err)
            err = sprm8(sepx, 0x3019, (c->flags >> 1) & 1);
        if (!err)
            err = sprm16(sepx, 0x900C, uint32_t(spacing));
        if (!(c->flags & 1))
            for (int32_t i = 0; i < c->count && !err; i++) {
                err = WordBuf_u16(sepx, 0xF203);
                if (!err)
                    err = WordBuf_u8(sepx, uint32_t(i));
                if (!err)
                    err = WordBuf_u16(sepx, uint32_t(WordWriter_twips(c->columns[i].width)));
                if (!err && i + 1 < c->count) {
                    err = WordBuf_u16(sepx, 0xF204);
                    if (!err)
                        err = WordBuf_u8(sepx, uint32_t(i));
                    if (!err)
                        err = WordBuf_u16(sepx, uint32_t(WordWriter_twips(c->columns[i].gap)));
                }
            }
        return err;
    }
    default: return Res_ok;
    }
}
