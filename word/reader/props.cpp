// Word style property conversion: the table of distinct property values,
// index lists, the style cache that maps a list to its style rule, and the
// colour, shading and border conversions.
#include <cstring>

#include "core/geom/tabstops.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "fonts/fontdata.h"
#include "graphics/pixelbuf.h"
#include "core/style/triple.h"
#include "core/stream/bytestream.h"
#include "platform/api/request.h"
#include "word/reader/build.h"
#include "word/shared/palette.h"

namespace {

enum : uint32_t { valueStep = 50, listStep = 10, cacheStep = 50 };

WordLoad *loadOf(WordReader *r)
{
    return r->load;
}

void freePayload(WordPropValue *v)
{
    switch (v->type) {
    case WordValue_string: Mem_free(reinterpret_cast<void *>(v->payload)); break;
    case WordValue_tabs: TabStops_free(reinterpret_cast<TabStopList *>(v->payload)); break;
    case WordValue_columns: PropColumns_free(reinterpret_cast<PropColumns *>(v->payload)); break;
    case WordValue_triple: Obj_freeTriple(reinterpret_cast<PropLineSpacing *>(v->payload)); break;
    default: break;
    }
    v->payload = 0;
}

bool ustrEqual(const char16_t *a, uint32_t na, const char16_t *b, uint32_t nb)
{
    return na == nb && (na == 0 || memcmp(a, b, na * sizeof(char16_t)) == 0);
}

bool valuesEqual(const WordPropValue *a, const WordPropValue *b)
{
    if (a->id != b->id || a->type != b->type || a->type >= WordValue_matrix)
        return false;
    switch (a->type) {
    case WordValue_string:
        return ustrEqual(reinterpret_cast<const char16_t *>(a->payload), a->length,
                         reinterpret_cast<const char16_t *>(b->payload), b->length);
    case WordValue_tabs:
        return TabStops_equal(reinterpret_cast<const TabStopList *>(a->payload),
                              reinterpret_cast<const TabStopList *>(b->payload));
    case WordValue_columns:
        return PropColumns_equal(reinterpret_cast<const PropColumns *>(a->payload),
                                 reinterpret_cast<const PropColumns *>(b->payload));
    case WordValue_triple:
        return Obj_tripleEquals(reinterpret_cast<const PropLineSpacing *>(a->payload),
                                reinterpret_cast<const PropLineSpacing *>(b->payload));
    default: return a->payload == b->payload;
    }
}

// The 26-entry table that the writer indexes.
constexpr uint32_t idTable[26] = {
    0x2A0C, 0x0858, 0x2859, 0, 0,      0, 0x2A33, 0, 0x0835, 0x0836, 0x0837, 0x0838, 0x0839,
    0x083A, 0x083B, 0x083C, 0, 0x2A3E, 0, 0,      0, 0x2A42, 0,      0x2A44, 0,      0x2A46};

// Keywords of the style system.
enum : uint32_t {
    kwNone = 0,
    kwDashed = 54,
    kwDotted = 59,
    kwDouble = 60,
    kwGroove = 67,
    kwInset = 76,
    kwOutset = 107,
    kwRidge = 116,
    kwSolid = 129,
};

// Shading weights in per mille of the foreground, patterns 0-62.
constexpr uint16_t shadingFore[63] = {
    0,   1000, 50,  100, 200, 250, 300, 400, 500, 600, 700, 750, 800,
    900,                                        // 0-13: clear, solid, percentages
    750, 750,  750, 750, 750, 750,              // 14-19: dark hatches
    250, 250,  250, 250, 250, 250,              // 20-25: light hatches
    0,   0,    0,   0,   0,   0,   0,   0,   0, // 26-34: not used
    25,  75,   125, 150, 175, 225, 275, 325, 350, 375, 425, 450, 475, // 35-47
    525, 550,  575, 625, 650, 675, 725, 775, 825, 850, 875, 925, 950, // 48-60
    975, 970,                                                         // 61-62
};

} // namespace

void Word_propListInit(WordPropList *list)
{
    list->count = 0;
    list->capacity = 0;
    list->indices = nullptr;
}

void Word_propListClear(WordPropList *list)
{
    Mem_free(list->indices);
    Word_propListInit(list);
}

int Word_propIntern(WordReader *reader, WordPropValue *value, uint32_t *outIndex)
{
    WordLoad *l = loadOf(reader);
    for (uint32_t i = 0; i < l->valueCount; i++)
        if (valuesEqual(&l->values[i], value)) {
            if (value->type >= WordValue_tabs && value->type <= WordValue_triple)
                freePayload(value);
            *outIndex = i;
            return Res_ok;
        }
    if (l->valueCount == l->valueCapacity) {
        void *grown =
            Mem_realloc(l->values, (size_t(l->valueCapacity) + valueStep) * sizeof(WordPropValue));
        if (!grown) {
            if (value->type >= WordValue_tabs && value->type <= WordValue_triple)
                freePayload(value);
            return Res_noMemory;
        }
        l->values = static_cast<WordPropValue *>(grown);
        l->valueCapacity += valueStep;
    }
    WordPropValue v = *value;
    if (v.type == WordValue_string) {
        const char16_t *s = reinterpret_cast<const char16_t *>(value->payload);
        char16_t *copy =
            static_cast<char16_t *>(Mem_malloc((size_t(v.length) + 1) * sizeof(char16_t)));
        if (!copy)
            return Res_noMemory;
        if (v.length)
            memcpy(copy, s, v.length * sizeof(char16_t));
        copy[v.length] = 0;
        v.payload = reinterpret_cast<uintptr_t>(copy);
    }
    l->values[l->valueCount] = v;
    *outIndex = l->valueCount++;
    return Res_ok;
}

int Word_propListAdd(WordPropList *list, WordPropValue *value, WordReader *reader)
{
    if (value->id == 0)
        return Res_ok;
    uint32_t index = 0;
    int err = Word_propIntern(reader, value, &index);
    if (err)
        return err;
    if (list->count == list->capacity) {
        void *grown =
            Mem_realloc(list->indices, (size_t(list->capacity) + listStep) * sizeof(uint32_t));
        if (!grown)
            return Res_noMemory;
        list->indices = static_cast<uint32_t *>(grown);
        list->capacity += listStep;
    }
    list->indices[list->count++] = index;
    return Res_ok;
}

int Word_propAdd(WordPropList *list, uint32_t id, uint32_t type, uint32_t word, WordReader *reader)
{
    WordPropValue v{};
    v.id = id;
    v.type = type;
    v.payload = word;
    return Word_propListAdd(list, &v, reader);
}

int Word_propAddString(WordPropList *list, uint32_t id, const char16_t *text, WordReader *reader)
{
    WordPropValue v{};
    v.id = id;
    v.type = WordValue_string;
    v.payload = reinterpret_cast<uintptr_t>(text);
    uint32_t n = 0;
    while (text && text[n])
        n++;
    v.length = n;
    return Word_propListAdd(list, &v, reader);
}

int Word_propToRule(StyleRule *rule, const WordPropValue *value, WordReader *)
{
    Prop p;
    Prop_zero(&p);
    int err = Res_ok;
    switch (value->type) {
    case 0: Prop_setInt(&p, value->id, int32_t(value->payload)); break;
    case 1: Prop_setType(&p, value->id, uint16_t(value->payload)); break;
    case 2: Prop_setLength(&p, value->id, int32_t(uint32_t(value->payload))); break;
    case 3:
    case 4:
    case 5:
    case 7: Prop_setWord(&p, value->id, uint16_t(value->type), uint32_t(value->payload)); break;
    case 6: Prop_setType(&p, value->id, PropType_none6); break;
    case 8: {
        uint32_t c = uint32_t(value->payload);
        uint8_t rgba[4] = {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), uint8_t(c >> 24)};
        Prop_setColour(&p, value->id, rgba);
        break;
    }
    case 9:
        // The rule copies the value; the table keeps its own string.
        Prop_set(&p, value->id, PropType_ustr, value->payload, value->length);
        break;
    case 10: Prop_set(&p, 105, PropType_tabStops, value->payload, 0); break;
    case 11: Prop_set(&p, 94, PropType_columns, value->payload, 0); break;
    case 12: Prop_set(&p, 110, PropType_lineSpacing, value->payload, 0); break;
    case 13: return Res_ok; // a matrix value: nothing reads one from Word text yet
    default: return Res_wordBadValueType;
    }
    err = StyleRule_appendProp(rule, &p);
    return err;
}

int Word_buildStyleRule(const WordPropList *list, StyleRule **outRule, WordReader *reader)
{
    *outRule = nullptr;
    if (!list)
        return Res_ok;
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    if (err)
        return err;
    WordLoad *l = loadOf(reader);
    for (uint32_t i = 0; i < list->count && !err; i++)
        err = Word_propToRule(rule, &l->values[list->indices[i]], reader);
    if (err) {
        StyleRule_destroy(rule);
        return err;
    }
    *outRule = rule;
    return Res_ok;
}

int Word_styleCacheAdd(const WordPropList *list, uint32_t styleId, WordReader *reader)
{
    WordLoad *l = loadOf(reader);
    if (l->cacheCount == l->cacheCapacity) {
        void *grown = Mem_realloc(l->cache, (size_t(l->cacheCapacity) + cacheStep) *
                                                sizeof(WordStyleCacheEntry));
        if (!grown)
            return Res_noMemory;
        l->cache = static_cast<WordStyleCacheEntry *>(grown);
        l->cacheCapacity += cacheStep;
    }
    if (l->cacheIndexCount + list->count > l->cacheIndexCapacity) {
        uint32_t need = l->cacheIndexCount + list->count;
        uint32_t capacity = l->cacheIndexCapacity;
        while (capacity < need)
            capacity += cacheStep;
        void *grown = Mem_realloc(l->cacheIndices, size_t(capacity) * sizeof(uint32_t));
        if (!grown)
            return Res_noMemory;
        l->cacheIndices = static_cast<uint32_t *>(grown);
        l->cacheIndexCapacity = capacity;
    }
    if (list->count)
        memcpy(l->cacheIndices + l->cacheIndexCount, list->indices, list->count * sizeof(uint32_t));
    l->cache[l->cacheCount++] = WordStyleCacheEntry{list->count, l->cacheIndexCount, styleId};
    l->cacheIndexCount += list->count;
    return Res_ok;
}

int Word_styleIntern(WordPropList *list, uint32_t *outStyleId, WordReader *reader)
{
    *outStyleId = 0;
    if (!list || list->count == 0)
        return Res_ok;
    WordLoad *l = loadOf(reader);
    for (uint32_t i = 0; i < l->cacheCount; i++) {
        const WordStyleCacheEntry &e = l->cache[i];
        if (e.count == list->count && memcmp(l->cacheIndices + e.offset, list->indices,
                                             list->count * sizeof(uint32_t)) == 0) {
            *outStyleId = e.styleId;
            return Res_ok;
        }
    }
    StyleRule *rule = nullptr;
    int err = Word_buildStyleRule(list, &rule, reader);
    if (err)
        return err;
    uint32_t id = l->nextStyleId++;
    if ((err = StyleRule_addMatch10(rule, id)) != Res_ok) {
        StyleRule_destroy(rule);
        return err;
    }
    if ((err = Request_addItem(l->request, &rule)) != Res_ok) {
        StyleRule_destroy(rule);
        return err;
    }
    if ((err = Word_styleCacheAdd(list, id, reader)) != Res_ok)
        return err;
    *outStyleId = id;
    return Res_ok;
}

int Word_nodeSetStyle(Edr_Doc *doc, Edr_Node *node, uint32_t groupStyle, uint32_t styleId)
{
    int err = Res_ok;
    if (groupStyle)
        err = Edr_Node_setStyle(doc, node, groupStyle);
    if (err == Res_ok && styleId)
        err = Edr_Node_addId(doc, node, styleId);
    return err;
}

void Word_propTableFree(WordReader *reader)
{
    WordLoad *l = loadOf(reader);
    if (!l)
        return;
    for (uint32_t i = 0; i < l->valueCount; i++)
        freePayload(&l->values[i]);
    Mem_free(l->values);
    l->values = nullptr;
    l->valueCount = l->valueCapacity = 0;
    Mem_free(l->cache);
    l->cache = nullptr;
    l->cacheCount = l->cacheCapacity = 0;
    Mem_free(l->cacheIndices);
    l->cacheIndices = nullptr;
    l->cacheIndexCount = l->cacheIndexCapacity = 0;
}

uint32_t Word_borderKeyword(int32_t lineStyle)
{
    switch (lineStyle) {
    case 0:
    case 255: return kwNone;
    case 3:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 19:
    case 21: return kwDouble;
    case 6: return kwDotted;
    case 7:
    case 8:
    case 9:
    case 22:
    case 23: return kwDashed;
    case 24: return kwRidge;
    case 25: return kwGroove;
    case 26: return kwOutset;
    case 27: return kwInset;
    default: return kwSolid;
    }
}

int Word_borderToProps(const WordBorder *border, uint32_t side, WordPropList *list,
                       WordReader *reader)
{
    if (border->style == 0 && border->colour == 0 && border->width == 0 && border->space == 0)
        return Res_ok;
    static constexpr uint32_t styleIds[4] = {14, 17, 16, 15};
    static constexpr uint32_t colourIds[4] = {8, 11, 10, 9};
    side &= 3;
    int err = Word_propAdd(list, styleIds[side], WordValue_keyword,
                           Word_borderKeyword(border->style), reader);
    if (!err)
        err = Word_propAdd(list, colourIds[side], WordValue_colour,
                           Word_colourForIco(border->colour), reader);
    if (!err) {
        static constexpr uint32_t widthIds[4] = {18, 21, 20, 19};
        // A drawn line of width 0 is the thinnest line, a quarter point.
        int32_t width = border->width;
        if (width <= 0 && Word_borderKeyword(border->style) != kwNone)
            width = Word_thinnestBorder;
        err = Word_propAdd(list, widthIds[side], WordValue_length, uint32_t(width), reader);
    }
    return err;
}

int Word_boxBorders(uint32_t mode, uint32_t style, WordPropList *list, WordReader *reader)
{
    WordBorder thin{int8_t(style + 1), 0, 910, 0};
    WordBorder thick{int8_t(style + 1), 0, 3640, 0};
    int err = Res_ok;
    switch (mode) {
    case 1: err = Word_borderToProps(&thin, 0, list, reader); break;
    case 2: err = Word_borderToProps(&thin, 2, list, reader); break;
    case 16: err = Word_borderToProps(&thick, 1, list, reader); break;
    case 15:
        err = Word_borderToProps(&thin, 0, list, reader);
        if (!err)
            err = Word_borderToProps(&thin, 2, list, reader);
        if (!err)
            err = Word_borderToProps(&thick, 1, list, reader);
        if (!err)
            err = Word_borderToProps(&thick, 3, list, reader);
        break;
    default: break;
    }
    return err;
}

uint32_t Word_colourForIco(uint32_t ico)
{
    // Word colour index -> named colour index.
    static constexpr int8_t named[17] = {1, 1, 2, 0, 6, 3, 12, 15, 16, 8, 14, 5, 11, 7, 9, 4, 13};
    uint32_t c = 0;
    Pixel_namedColour(&c, ico < 17 ? named[ico] : 1);
    return c;
}

void Word_shadingWeights(uint32_t ipat, uint32_t *outFore, uint32_t *outBack)
{
    uint32_t fore = ipat < 63 ? shadingFore[ipat] : 0;
    *outFore = fore;
    *outBack = ipat == 0 ? 0 : 1000 - fore;
}

uint32_t Word_blendColours(uint32_t fore, uint32_t back, uint32_t wFore, uint32_t wBack,
                           int keepColour)
{
    uint32_t ch[3];
    for (int i = 0; i < 3; i++) {
        uint32_t f = (fore >> (8 * i)) & 0xFF, b = (back >> (8 * i)) & 0xFF;
        uint32_t v = f * wFore / 1000 + b * wBack / 1000;
        ch[i] = v > 255 ? 255 : v;
    }
    if (!keepColour) {
        uint32_t avg = (ch[0] + ch[1] + ch[2]) / 3;
        ch[0] = ch[1] = ch[2] = avg;
    }
    return ch[0] | (ch[1] << 8) | (ch[2] << 16) | 0xFF000000u;
}

int Word_isZeroColour(uint32_t colour)
{
    return colour == 0;
}

uint32_t Word_cellShadingColour(const WordTap *tap, uint32_t cell)
{
    if (cell >= Word_maxCells)
        return 0;
    uint32_t fore, back, pattern;
    const WordShd &old = tap->rgshd[cell];
    if (tap->fNewShd) {
        const WordShdNew &n = tap->rgshdNew[cell];
        fore = Bytes_peekU32Le(n.foreRgb);
        back = Bytes_peekU32Le(n.backRgb);
        if (Word_isZeroColour(fore))
            fore = Word_colourForIco(1);
        if (Word_isZeroColour(back))
            back = Word_colourForIco(8);
        pattern = n.shd.pattern;
    } else {
        fore = Word_colourForIco(old.fore ? old.fore : 1);
        back = Word_colourForIco(old.back ? old.back : 8);
        pattern = old.pattern;
    }
    if (pattern) {
        uint32_t wf = 0, wb = 0;
        Word_shadingWeights(pattern, &wf, &wb);
        return Word_blendColours(fore, back, wf, wb, 1);
    }
    if (!tap->fNewShd) {
        if (old.back == 1 && old.fore == 8)
            return Word_colourForIco(8);
        if (old.back == 0 && old.fore == 0)
            return Word_colourForIco(8) & 0x00FFFFFFu;
    }
    return Word_blendColours(fore, back, 0, 1000, 1);
}

uint32_t Word_idTable(uint32_t index)
{
    return index < 26 ? idTable[index] : 0;
}

uint32_t Word_idTableFind(uint32_t value)
{
    for (uint32_t i = 0; i < 26; i++)
        if (idTable[i] == value && value)
            return i * 256;
    return 0;
}

namespace {

int storyGroup(WordSectionContext *section, uint32_t slot, uint32_t storyId, uint32_t property,
               int32_t distance, Edr_Node **outGroup)
{
    *outGroup = nullptr;
    WordNodeBuilder *b = section->builder;
    Edr_Node *group = nullptr;
    int err = Edr_Doc_getKeyedGroup(b->doc, intptr_t(storyId), slot, &group);
    if (err)
        return err;
    WordPropList list;
    Word_propListInit(&list);
    uint32_t style = 0;
    err = Word_propAdd(&list, property, WordValue_length,
                       uint32_t(int32_t(int64_t(distance) * 65536 / 1440)), b->reader);
    if (!err)
        err = Word_styleIntern(&list, &style, b->reader);
    Word_propListClear(&list);
    if (!err)
        err = Word_nodeSetStyle(b->doc, group, 0, style);
    if (err) {
        Edr_Node_release(b->doc, group);
        return err;
    }
    *outGroup = group;
    return Res_ok;
}

} // namespace

int Word_headerGroup(WordSectionContext *section, Edr_Node **outGroup)
{
    return storyGroup(section, 0, section->builder->currentStory, 51, section->sep.dyaHdrTop,
                      outGroup);
}

int Word_footerGroup(WordSectionContext *section, Edr_Node **outGroup)
{
    return storyGroup(section, 1, section->builder->currentStory, 53, section->sep.dyaHdrBottom,
                      outGroup);
}

int Word_paletteMode(PixelBuf **out, const uint32_t *stops, uint32_t flag)
{
    *out = nullptr;
    PixelBuf *buffer = nullptr;
    int width = Palette_isTwoEntry(stops, flag) ? 2 : 256;
    int err = PixelBuf_create(&buffer, width, 1, Pixel_formatRGBA, 0x10000);
    if (err)
        return err;
    if ((err = Palette_fromStops(buffer, stops, flag)) != Res_ok) {
        PixelBuf_destroy(buffer);
        return err;
    }
    *out = buffer;
    return Res_ok;
}
