// The walk over a story of the tree: the characters of every node kind,
// the field characters, and at the same positions the character runs, the
// paragraph runs, the table rows and the sections.
//
// The walk holds the document's read lock and follows the tree through
// the parent links, so deep trees need no stack of their own.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "word/reader/build.h"
#include "word/reader/paralist.h"
#include "word/writer/walk.h"

namespace {

uint32_t kindOf(Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group)
        return 0;
    uint32_t e = Edr_Node_group(node)->element;
    return e <= WordClass_count ? e : 0;
}

uint32_t styleKey(Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group)
        return 0;
    const uint32_t *ids = Edr_Node_group(node)->ids;
    for (; ids && *ids; ids++)
        if (*ids >= Word_firstStyleId)
            return *ids;
    return 0;
}

StyleRule *ruleOf(WordWalk *k, Edr_Node *node)
{
    uint32_t key = styleKey(node);
    return key ? WordWriter_rule(k->w, key) : nullptr;
}

int putChar(WordWalk *k, char16_t c)
{
    uint8_t b[2] = {uint8_t(c), uint8_t(c >> 8)};
    int err = WordBuf_append(&k->text, b, 2);
    if (!err)
        k->cp++;
    return err;
}

char16_t lastChar(const WordWalk *k)
{
    if (k->text.length < 2)
        return 0;
    return char16_t(Bytes_peekU16Le(k->text.data + k->text.length - 2));
}

void setLastChar(WordWalk *k, char16_t c)
{
    k->text.data[k->text.length - 2] = uint8_t(c);
    k->text.data[k->text.length - 1] = uint8_t(c >> 8);
}

uint32_t fcOf(const WordWalk *k, uint32_t cp)
{
    return WordWriter_fibBytes + 2 * (k->cpBase + cp);
}

int closeChpx(WordWalk *k)
{
    int err = Res_ok;
    if (k->chpStart < k->cp)
        err = WordRuns_add(&k->chpRuns, fcOf(k, k->chpStart), fcOf(k, k->cp), k->chpSprms.data,
                           k->chpSprms.length);
    k->chpStart = k->cp;
    return err;
}

int closePapx(WordWalk *k)
{
    int err = Res_ok;
    if (k->papStart < k->cp) {
        // A paragraph run names at least its style.
        if (k->papSprms.length < 2)
            err = WordBuf_u16(&k->papSprms, 0);
        if (!err)
            err = WordRuns_add(&k->papRuns, fcOf(k, k->papStart), fcOf(k, k->cp), k->papSprms.data,
                               k->papSprms.length);
        if (!err) {
            k->finalPapx.length = 0;
            err = WordBuf_append(&k->finalPapx, k->papSprms.data, k->papSprms.length);
        }
    }
    k->papSprms.length = 0;
    k->papStart = k->cp;
    k->carriedLength = 0;
    return err;
}

// The run modifiers of a style: its items, with the border and position
// items left to the paragraphs and two items renamed for runs.
int groupSprms(WordWalk *k, Edr_Node *group, WordBuf *out)
{
    out->length = 0;
    WordStyleSlot *slot = WordStyles_find(k->w, styleKey(group));
    int err = Res_ok;
    for (uint32_t i = 0; slot && i < slot->count && !err; i++) {
        const WordStyleSprm &s = slot->items[i];
        uint16_t sprm = s.sprm;
        if (sprm == 0x6400 || sprm == 0x6425 || sprm == 0x6426 || sprm == 0x6427 ||
            sprm == 0x841A || sprm == 0x5624 || sprm == 0xD62B)
            continue;
        if (sprm == 0x2441)
            sprm = 0x085A;
        else if (sprm == 0x6424)
            sprm = 0x6865;
        // A CHPX holds at most 255 bytes of modifiers.
        if (out->length + 2 + s.length > 255)
            break;
        err = WordBuf_u16(out, sprm);
        if (!err)
            err = WordBuf_append(out, s.operand, s.length);
    }
    return err;
}

// The group that shows a list paragraph's number: the paragraph's first
// text group when its list level has a number text or a follow character.
// The reader counts the number from the list tables, so the group is not
// written as text.
Edr_Node *leadInOf(WordWalk *k, Edr_Node *para)
{
    const WordParaListLevel *level = Word_paraListFirstLevel(Word_paraListOf(k->w->doc, para));
    if (!level || (level->textLength == 0 && level->ixchFollow == 2))
        return nullptr;
    for (Edr_Node *c = Edr_Node_firstChild(para); c; c = Edr_Node_nextSibling(c))
        if (kindOf(c) == WordClass_textGroup)
            return c;
    return nullptr;
}

// Whether the source file is a Word 6/95 file (its FIB's nFib below
// 106), read once.
bool sourceIsWord6(WordWriter *w)
{
    if (!w->sourceFibRead) {
        w->sourceFibRead = 1;
        uint8_t b[4] = {};
        size_t got = 0;
        if (w->srcDoc && Ole_streamReadAt(w->srcDoc, 0, 4, &got, b) == Res_ok && got == 4)
            w->sourceNFib = Bytes_peekU16Le(b + 2);
    }
    return w->sourceNFib && w->sourceNFib < 106;
}

// Whether character modifiers name the run's first font.
bool namesFont(const uint8_t *sprms, uint32_t n)
{
    for (uint32_t at = 0; sprms && at + 2 <= n;) {
        uint32_t sprm = Bytes_peekU16Le(sprms + at);
        if (sprm == 0x4A4F)
            return true;
        static constexpr uint8_t sizes[8] = {1, 1, 2, 4, 2, 2, 0, 3};
        uint32_t spra = sprm >> 13, size = sizes[spra];
        if (spra == 6)
            size = at + 2 < n ? 1u + sprms[at + 2] : n;
        at += 2 + size;
    }
    return false;
}

// A list paragraph's list modifiers: its level takes the paragraph's
// indents and its number's look; the paragraph names the level and the
// override.
int listSprms(WordWalk *k, Edr_Node *para, WordBuf *out)
{
    const WordParaList *list = Word_paraListOf(k->w->doc, para);
    if (!Word_paraListFirstLevel(list))
        return Res_ok;
    WordBuf papx{};
    WordBuf chpx{};
    int err = Res_ok;
    StyleRule *rule = ruleOf(k, para);
    static constexpr uint32_t indents[2] = {54, 81};
    for (uint32_t id : indents) {
        StylePropItem *p = rule ? StyleRule_findProp(rule, id) : nullptr;
        if (p && !err)
            err = WordProps_convertStyleProp(k->w, nullptr, &p->value, &papx);
    }
    // The number's look: that of its group, then the level's own
    // character modifiers (they name fonts by the source's indexes, which
    // the written font table keeps; a Word 6/95 source's are in that
    // version's modifier codes and are left out). A number text of symbol characters
    // whose font neither names is in the symbol font it was read from.
    const WordParaListLevel *level = Word_paraListFirstLevel(list);
    if (!err && k->leadIn)
        err = groupSprms(k, k->leadIn, &chpx);
    if (!err && level->cbGrpprlChpx && level->grpprlChpx &&
        chpx.length + level->cbGrpprlChpx <= 255 && !sourceIsWord6(k->w))
        err = WordBuf_append(&chpx, level->grpprlChpx, level->cbGrpprlChpx);
    if (!err && level->textLength && level->text && level->text[level->textLength - 1] >= 0xF000 &&
        level->text[level->textLength - 1] <= 0xF0FF && !namesFont(chpx.data, chpx.length)) {
        uint32_t font = 0;
        err = WordStyles_collectFonts(k->w, u"Symbol", &font);
        if (!err)
            err = WordBuf_u16(&chpx, 0x4A4F);
        if (!err)
            err = WordBuf_u16(&chpx, font);
    }
    uint32_t ilvl = 0, ilfo = 0;
    if (!err)
        err = WordListTables_addParagraph(k->w, list, papx.data, papx.length, chpx.data,
                                          chpx.length, &ilvl, &ilfo);
    if (!err) {
        uint8_t b[7];
        Pack_write(b, "scss", WordWriter_sprmPIlvl, ilvl, WordWriter_sprmPIlfo, ilfo);
        err = WordBuf_append(out, b, 7);
    }
    WordBuf_free(&papx);
    WordBuf_free(&chpx);
    return err;
}

// A paragraph's modifiers: the index of its style, the style's items
// (those for later passes left out), the in-table pair, the list pair.
int paragraphSprms(WordWalk *k, Edr_Node *para)
{
    WordStyleSlot *slot = WordStyles_find(k->w, styleKey(para));
    WordBuf *out = &k->papSprms;
    out->length = 0;
    int err = WordBuf_u16(out, slot ? slot->istd : 0);
    for (uint32_t i = 0; slot && i < slot->count && !err; i++) {
        const WordStyleSprm &s = slot->items[i];
        if (s.sprm == 0x841A || s.sprm == 0x5624 || s.sprm == 0xD62B || ((s.sprm >> 10) & 7) == 2)
            continue; // run properties and the values kept for tables
        err = WordBuf_u16(out, s.sprm);
        if (!err)
            err = WordBuf_append(out, s.operand, s.length);
    }
    if (!err && k->tableDepth) {
        static constexpr uint8_t inTable[6] = {0x16, 0x24, 0x01, 0x47, 0x24, 0x00};
        err = WordBuf_append(out, inTable, sizeof inTable);
    }
    uint32_t before = out->length;
    if (!err)
        err = listSprms(k, para, out);
    // A paragraph that ended in a page break wrote no mark: its run goes
    // on into this one, which carries its list modifiers too, so that the
    // joined paragraph keeps the list it starts in.
    uint32_t own = out->length - before;
    if (!err && k->carriedLength)
        err = WordBuf_append(out, k->carriedList, k->carriedLength);
    k->carriedLength = 0;
    if (!err && k->pageBreak && own <= sizeof k->carriedList) {
        memcpy(k->carriedList, out->data + before, own);
        k->carriedLength = own;
    }
    return err;
}

// The field codes and markers of a text group's rule, in level order.
uint32_t fieldLevels(WordWalk *k, Edr_Node *group, const Prop **codes, int32_t *markers)
{
    StyleRule *rule = ruleOf(k, group);
    uint32_t nCodes = 0, nMarkers = 0;
    for (StylePropItem *p = rule ? rule->firstProp : nullptr; p; p = p->next) {
        if (p->value.id == 148 && nCodes < WordWriter_maxFieldDepth)
            codes[nCodes++] = &p->value;
        else if (p->value.id == 149 && nMarkers < WordWriter_maxFieldDepth)
            markers[nMarkers++] = Prop_getInt(&p->value);
    }
    uint32_t n = 0;
    while (n < nMarkers && markers[n] != 1)
        n++;
    for (uint32_t i = n; i < nCodes; i++)
        codes[i] = nullptr;
    return n;
}

int fieldChar(WordWalk *k, char16_t c, uint8_t flags)
{
    int err = WordFieldPlc_add(&k->fields, k->cpBase + k->cp, uint8_t(c), flags);
    if (!err)
        err = closeChpx(k);
    if (!err)
        err = putChar(k, c);
    if (!err) {
        // A field character is a special character of its own run.
        static constexpr uint8_t special[3] = {0x55, 0x08, 0x01};
        err = WordRuns_add(&k->chpRuns, fcOf(k, k->cp - 1), fcOf(k, k->cp), special, 3);
        k->chpStart = k->cp;
    }
    return err;
}

int writeText(WordWalk *k, const char16_t *chars, uint32_t n)
{
    int err = Res_ok;
    for (uint32_t i = 0; i < n && !err; i++) {
        char16_t c = chars[i];
        // Characters that would be read as structure are not text: line
        // ends become line breaks, other controls spaces.
        if (c == 0x0D || c == 0x0A)
            c = 0x0B;
        else if (c < 0x20 && c != 0x09 && c != 0x0B && c != 0x1E && c != 0x1F)
            c = u' ';
        err = putChar(k, c);
    }
    return err;
}

int openFields(WordWalk *k, Edr_Node *group)
{
    const Prop *codes[WordWriter_maxFieldDepth] = {};
    int32_t markers[WordWriter_maxFieldDepth] = {};
    uint32_t n = fieldLevels(k, group, codes, markers);
    int err = Res_ok;
    for (uint32_t level = k->fieldDepth;
         level < n && k->fieldDepth < WordWriter_maxFieldDepth && !err; level++) {
        err = fieldChar(k, 0x13,
                        uint8_t(markers[level] > 0 && markers[level] < 0xFF ? markers[level] : 0));
        // The field type is the byte after the begin character.
        if (!err && codes[level] && codes[level]->payload)
            err = writeText(k, reinterpret_cast<const char16_t *>(codes[level]->payload),
                            codes[level]->payload2);
        if (!err)
            err = fieldChar(k, 0x14, 0);
        k->fieldDepth++;
    }
    return err;
}

// The fields that go on into the next text group stay open: as many
// leading levels as the two groups share.
int closeFields(WordWalk *k, Edr_Node *group)
{
    if (!k->fieldDepth)
        return Res_ok;
    uint32_t keep = 0;
    Edr_Node *next = Edr_Node_nextSibling(group);
    if (kindOf(next) == WordClass_textGroup) {
        const Prop *a[WordWriter_maxFieldDepth] = {}, *b[WordWriter_maxFieldDepth] = {};
        int32_t ma[WordWriter_maxFieldDepth] = {}, mb[WordWriter_maxFieldDepth] = {};
        uint32_t na = fieldLevels(k, group, a, ma), nb = fieldLevels(k, next, b, mb);
        while (keep < na && keep < nb && keep < k->fieldDepth && ma[keep] == mb[keep] && a[keep] &&
               b[keep] && Prop_equal(a[keep], b[keep]))
            keep++;
    }
    int err = Res_ok;
    while (k->fieldDepth > keep && !err) {
        err = fieldChar(k, 0x15, 0);
        k->fieldDepth--;
    }
    return err;
}

int pictureCopy(WordWalk *k, uint32_t source, uint32_t *target)
{
    WordWriter *w = k->w;
    for (uint32_t i = 0; i < w->pictureCount; i++)
        if (w->pictures[i].source == source) {
            *target = w->pictures[i].target;
            return Res_ok;
        }
    OleStream *in = w->srcData;
    if (!in)
        return Res_wordNotFound;
    uint8_t head[6];
    size_t got = 0;
    int err = Ole_streamReadAt(in, source, 6, &got, head);
    // A block past the end of "Data" is no picture.
    if (err == Res_oleStreamEnd || (!err && got < 6))
        return Res_wordNotFound;
    if (err)
        return err;
    uint32_t lcb = 0;
    uint16_t cbHeader = 0;
    Pack_read(head, "ls", &lcb, &cbHeader);
    if (lcb < 6 || cbHeader < 6 || cbHeader > lcb || uint64_t(source) + lcb > Ole_streamSize(in))
        return Res_wordNotFound;
    uint32_t at = Ole_streamTell(w->dataStream);
    uint8_t *block = static_cast<uint8_t *>(Mem_malloc(lcb));
    if (!block)
        return Res_noMemory;
    err = Ole_streamReadAt(in, source, lcb, &got, block);
    if (!err && got < lcb)
        err = Res_wordNotFound;
    if (!err && cbHeader == 58) {
        // An older picture header is widened to the 68 bytes readers of
        // Word 97 files expect.
        uint8_t wide[16] = {};
        Pack_write(wide, "ls", lcb + 10, 68);
        err = OleWriter_streamWrite(w->dataStream, wide, 6);
        if (!err)
            err = OleWriter_streamWrite(w->dataStream, block + 6, 52);
        if (!err)
            err = OleWriter_streamWrite(w->dataStream, wide + 6, 10);
        if (!err)
            err = OleWriter_streamWrite(w->dataStream, block + 58, lcb - 58);
    } else if (!err) {
        err = OleWriter_streamWrite(w->dataStream, block, lcb);
    }
    Mem_free(block);
    if (err)
        return err;
    if (w->pictureCount == w->pictureCapacity) {
        void *bigger =
            Mem_realloc(w->pictures, (size_t(w->pictureCapacity) + 8) * sizeof(WordPictureCopy));
        if (!bigger)
            return Res_noMemory;
        w->pictures = static_cast<WordPictureCopy *>(bigger);
        w->pictureCapacity += 8;
    }
    w->pictures[w->pictureCount++] = WordPictureCopy{source, at};
    *target = at;
    return Res_ok;
}

bool isTextBoxStory(const WordWalk *k)
{
    return k->story == WordWalk_textBoxes || k->story == WordWalk_headerTextBoxes;
}

// A floating shape: U+0008, a special character of its own run, whose
// shape the anchor tables name. Its drawing is the source file's, copied
// with the drawing data: without a source file, without a shape id, or in
// a text-box story (whose shapes have no anchor table) it is left out.
int writeFloating(WordWalk *k, Edr_Node *picture, StylePropItem *ref)
{
    if (!ref || !k->w->source || isTextBoxStory(k))
        return Res_ok;
    if (k->shapeCount == k->shapeCapacity) {
        void *bigger =
            Mem_realloc(k->shapes, (size_t(k->shapeCapacity) + 8) * sizeof(WordOutShape));
        if (!bigger)
            return Res_noMemory;
        k->shapes = static_cast<WordOutShape *>(bigger);
        k->shapeCapacity += 8;
    }
    int err = Edr_Node_addRefLocked(k->w->doc, picture);
    if (err)
        return err;
    k->shapes[k->shapeCount++] = WordOutShape{picture, k->cp};
    err = closeChpx(k);
    if (!err)
        err = putChar(k, 0x08);
    if (!err) {
        // The character keeps the look of the run it sits in, so that the
        // shape comes back in that run.
        static constexpr uint8_t special[9] = {0x03, 0x6A, 0, 0, 0, 0, 0x55, 0x08, 0x01};
        WordBuf sprms{};
        if (k->chpSprms.length + sizeof special <= 255)
            err = WordBuf_append(&sprms, k->chpSprms.data, k->chpSprms.length);
        if (!err)
            err = WordBuf_append(&sprms, special, sizeof special);
        if (!err)
            err = WordRuns_add(&k->chpRuns, fcOf(k, k->cp - 1), fcOf(k, k->cp), sprms.data,
                               sprms.length);
        WordBuf_free(&sprms);
        k->chpStart = k->cp;
    }
    return err;
}

// Records a text box of the main or header story at its number (the high
// half of its property 151, from 1); its text is written later in the
// text-box story. A box without shape id or number, or without a source
// file to copy its drawing from, is left out; the first box of a number
// keeps it.
int addBox(WordWalk *k, Edr_Node *box)
{
    StyleRule *rule = ruleOf(k, box);
    StylePropItem *spid = rule ? StyleRule_findProp(rule, 146) : nullptr;
    StylePropItem *txid = rule ? StyleRule_findProp(rule, 151) : nullptr;
    uint32_t number = txid ? uint32_t(Prop_getInt(&txid->value)) >> 16 : 0;
    if (!spid || !number || !k->w->source)
        return Res_ok;
    uint32_t slot = number - 1;
    if (slot >= k->boxCapacity) {
        uint32_t capacity = slot + 8;
        void *bigger = Mem_realloc(k->boxes, size_t(capacity) * sizeof(Edr_Node *));
        if (!bigger)
            return Res_noMemory;
        k->boxes = static_cast<Edr_Node **>(bigger);
        for (uint32_t i = k->boxCapacity; i < capacity; i++)
            k->boxes[i] = nullptr;
        k->boxCapacity = capacity;
    }
    if (k->boxes[slot])
        return Res_ok;
    int err = Edr_Node_addRefLocked(k->w->doc, box);
    if (err)
        return err;
    k->boxes[slot] = box;
    if (slot >= k->boxCount)
        k->boxCount = slot + 1;
    return Res_ok;
}

// The mark that ends a text box or a text-box story, a paragraph of its
// own with no modifiers.
int boxMark(WordWalk *k)
{
    int err = closeChpx(k);
    if (!err)
        err = closePapx(k);
    if (!err)
        err = putChar(k, 0x0D);
    if (!err)
        err = closeChpx(k);
    if (!err)
        err = closePapx(k);
    return err;
}

// An inline picture: U+0001 with its "Data" block. A picture whose block
// cannot be copied is left out.
int writePicture(WordWalk *k, Edr_Node *picture)
{
    Edr_Node *parent = Edr_Node_parent(picture);
    uint32_t parentKind = kindOf(parent);
    StyleRule *rule = ruleOf(k, picture);
    StylePropItem *ref = rule ? StyleRule_findProp(rule, 146) : nullptr;
    if (parentKind == 0)
        return writeFloating(k, picture, ref);
    if (parentKind != WordClass_textGroup && parentKind != WordClass_paragraph)
        return Res_ok;
    if (!ref || !k->w->srcData)
        return Res_ok;
    uint32_t target = 0;
    int err = pictureCopy(k, uint32_t(Prop_getInt(&ref->value)), &target);
    if (err == Res_wordNotFound)
        return Res_ok;
    if (!err)
        err = closeChpx(k);
    if (!err)
        err = putChar(k, 0x01);
    if (!err) {
        uint8_t sprms[9];
        Pack_write(sprms, "slsc", 0x6A03, target, 0x0855, 1);
        err = WordRuns_add(&k->chpRuns, fcOf(k, k->cp - 1), fcOf(k, k->cp), sprms, 9);
        k->chpStart = k->cp;
    }
    return err;
}

// The sprms of a table row: in-table, row end, the cell layout, the cell
// padding, the row height and the cells' shading.
int rowSprms(WordWalk *k, Edr_Node *row)
{
    WordBuf *out = &k->papSprms;
    out->length = 0;
    static constexpr uint8_t head[11] = {0x00, 0x00, 0x16, 0x24, 0x01, 0x17,
                                         0x24, 0x01, 0x03, 0x34, 0x00};
    int err = WordBuf_append(out, head, sizeof head);
    uint32_t n = k->cellCount;
    if (n == 0)
        return err;
    StyleRule *rowRule = ruleOf(k, row);
    StylePropItem *left = rowRule ? StyleRule_findProp(rowRule, 54) : nullptr;
    int32_t x = left && left->value.type == PropType_length
                    ? WordWriter_twips(Prop_getLength(&left->value))
                    : 0;
    if (!err) {
        uint8_t b[5];
        Pack_write(b, "2sc", 0xD608, 22 * n + 4, n);
        err = WordBuf_append(out, b, 5);
    }
    uint8_t shaded = 0;
    for (uint32_t i = 0; i <= n && !err; i++) {
        err = WordBuf_u16(out, uint32_t(x));
        if (i < n) {
            StyleRule *cell = ruleOf(k, k->cells[i]);
            StylePropItem *width = cell ? StyleRule_findProp(cell, 90) : nullptr;
            int32_t twips = width && width->value.type == PropType_length
                                ? WordWriter_twips(Prop_getLength(&width->value))
                                : 1440;
            x += twips;
            if (cell && StyleRule_findProp(cell, 2))
                shaded = 1;
        }
    }
    for (uint32_t i = 0; i < n && !err; i++) {
        StyleRule *cell = ruleOf(k, k->cells[i]);
        uint32_t flags = 0;
        StylePropItem *v = cell ? StyleRule_findProp(cell, 100) : nullptr;
        if (v)
            flags |= v->value.type == 188 ? (1u << 5) | (1u << 6) : (1u << 5);
        StylePropItem *h = cell ? StyleRule_findProp(cell, 101) : nullptr;
        if (h)
            flags |= h->value.type == 190 ? 1u : 2u;
        uint32_t brc[4] = {};
        WordStyleSlot *slot = WordStyles_find(k->w, styleKey(k->cells[i]));
        static constexpr uint16_t sides[4] = {0x6424, 0x6425, 0x6426,
                                              0x6427}; // top, left, bottom, right
        for (uint32_t j = 0; slot && j < slot->count; j++)
            for (uint32_t s = 0; s < 4; s++)
                if (slot->items[j].sprm == sides[s])
                    Pack_read(slot->items[j].operand, "l", &brc[s]);
        uint8_t tc[20];
        Pack_write(tc, "ss4l", flags, 0, brc[0], brc[1], brc[2], brc[3]);
        err = WordBuf_append(out, tc, 20);
    }
    static constexpr uint8_t padding[36] = {0x34, 0xD6, 0x06, 0x00, 0x01, 0x01, 0x03, 0x00, 0x00,
                                            0x34, 0xD6, 0x06, 0x00, 0x01, 0x02, 0x03, 0x6C, 0x00,
                                            0x34, 0xD6, 0x06, 0x00, 0x01, 0x04, 0x03, 0x00, 0x00,
                                            0x34, 0xD6, 0x06, 0x00, 0x01, 0x08, 0x03, 0x6C, 0x00};
    if (!err)
        err = WordBuf_append(out, padding, sizeof padding);
    StylePropItem *height = rowRule ? StyleRule_findProp(rowRule, 44) : nullptr;
    if (!err && height && height->value.type == PropType_length) {
        err = WordBuf_u16(out, 0x9407);
        if (!err)
            err = WordBuf_u16(out, uint32_t(WordWriter_twips(Prop_getLength(&height->value))));
    }
    if (!err && shaded) {
        uint8_t b[3];
        Pack_write(b, "sc", 0xD612, 10 * n);
        err = WordBuf_append(out, b, 3);
        for (uint32_t i = 0; i < n && !err; i++) {
            StyleRule *cell = ruleOf(k, k->cells[i]);
            StylePropItem *c = cell ? StyleRule_findProp(cell, 2) : nullptr;
            uint32_t colour = c && c->value.type == PropType_colour ? Prop_getColour(&c->value) : 0;
            uint8_t shd[10];
            // The colour word is red, green, blue, then 0 (not automatic).
            Pack_write(shd, "l4cs", 0xFF000000u, c ? colour & 0xFF : 0,
                       c ? (colour >> 8) & 0xFF : 0, c ? (colour >> 16) & 0xFF : 0, c ? 0 : 0xFF,
                       0);
            err = WordBuf_append(out, shd, 10);
        }
    }
    return err;
}

// Whether node is a section group.
bool isSection(Edr_Node *node)
{
    uint32_t kind = kindOf(node);
    return kind == WordClass_section || kind == WordClass_columnSection;
}

// Whether node is a section group inside another: a section that goes on
// on the page of the text before it.
bool isInnerSection(Edr_Node *node)
{
    return isSection(node) && isSection(Edr_Node_parent(node));
}

// Records the section that ends at the current CP. Its SEPX comes from the
// style rule of outer (the section group an inner section lies in, or
// null) and then from the section's own rule, whose properties win.
int sectionEntry(WordWalk *k, Edr_Node *section, Edr_Node *outer)
{
    WordOutSection entry{};
    entry.styleKey = styleKey(section);
    entry.cpFirst = k->sectionStart;
    entry.cpLim = k->cp;
    int err = WordBuf_u16(&entry.sepx, 0);
    StyleRule *outerRule = outer ? ruleOf(k, outer) : nullptr;
    StyleRule *rule = ruleOf(k, section);
    for (StylePropItem *p = outerRule ? outerRule->firstProp : nullptr; p && !err; p = p->next)
        err = WordProps_convertSectionProp(&p->value, &entry.sepx, 0);
    for (StylePropItem *p = rule ? rule->firstProp : nullptr; p && !err; p = p->next)
        err = WordProps_convertSectionProp(&p->value, &entry.sepx, 0);
    // The header and footer stories are those of the section's own rule
    // where it names any, else those of the outer section.
    if (rule && outerRule && !StyleRule_findProp(rule, 118) && !StyleRule_findProp(rule, 121))
        rule = outerRule;
    else if (!rule)
        rule = outerRule;
    if (!err && rule) {
        // A first page with its own header or footer.
        StylePropItem *first = StyleRule_findProp(rule, 116), *odd = StyleRule_findProp(rule, 118);
        StylePropItem *firstF = StyleRule_findProp(rule, 119),
                      *oddF = StyleRule_findProp(rule, 121);
        auto differs = [](StylePropItem *a, StylePropItem *b) {
            return (a != nullptr) != (b != nullptr) ||
                   (a && Prop_getInt(&a->value) != Prop_getInt(&b->value));
        };
        if (differs(first, odd) || differs(firstF, oddF)) {
            err = WordBuf_u16(&entry.sepx, 0x300A);
            if (!err)
                err = WordBuf_u8(&entry.sepx, 1);
        }
    }
    if (!err)
        Pack_write(entry.sepx.data, "s", entry.sepx.length - 2);
    if (!err && k->sectionCount == k->sectionCapacity) {
        void *bigger =
            Mem_realloc(k->sections, (size_t(k->sectionCapacity) + 4) * sizeof(WordOutSection));
        if (!bigger)
            err = Res_noMemory;
        else {
            k->sections = static_cast<WordOutSection *>(bigger);
            k->sectionCapacity += 4;
        }
    }
    if (err) {
        WordBuf_free(&entry.sepx);
        return err;
    }
    k->sections[k->sectionCount++] = entry;
    k->sectionStart = k->cp;
    return Res_ok;
}

// Ends the section of group node (in outer, or null) at the current CP:
// its runs are closed, its last paragraph mark becomes a section mark when
// another section follows it, and it is recorded.
int endSection(WordWalk *k, Edr_Node *node, Edr_Node *outer, bool follows)
{
    int err = closeChpx(k);
    if (!err)
        err = closePapx(k);
    if (!err && follows) {
        // The break belongs to the section's last paragraph.
        if (lastChar(k) == 0x0D) {
            setLastChar(k, 0x0C);
        } else {
            err = putChar(k, 0x0C);
            if (!err)
                err = closePapx(k);
        }
    }
    if (!err)
        err = sectionEntry(k, node, outer);
    return err;
}

int enter(WordWalk *k, Edr_Node *node, int *skip)
{
    uint32_t type = Edr_Node_type(node);
    if (type != Edr_NodeType_group)
        return Res_ok;
    int err = Res_ok;
    switch (kindOf(node)) {
    case WordClass_paragraph:
        if (!k->pageBreak)
            err = closePapx(k);
        k->pageBreak = 0;
        if (!err)
            err = closeChpx(k);
        k->leadIn = leadInOf(k, node);
        break;
    case WordClass_section:
    case WordClass_columnSection:
        k->pageBreak = 0;
        if (k->story == WordWalk_main && isInnerSection(node) && k->cp > k->sectionStart) {
            // The outer section's text before this one ends a section.
            err = endSection(k, Edr_Node_parent(node), nullptr, true);
        }
        k->sectionStart = k->cp;
        break;
    case WordClass_picture:
        k->inPicture++;
        err = closeChpx(k);
        break;
    case WordClass_table: k->tableDepth++; break;
    case WordClass_tableRow:
        // The rows of a table inside a cell are written as the cell's
        // paragraphs: only the first level's rows keep their cells.
        if (k->tableDepth == 1)
            k->cellCount = 0;
        break;
    case WordClass_textBox:
        // A text-box story writes the box it was started at; every other
        // box is recorded for the text-box story of its own story (the
        // shapes of a text box hold no further text boxes).
        if (isTextBoxStory(k) && !k->box) {
            k->box = node;
            break;
        }
        *skip = 1;
        if (!isTextBoxStory(k))
            err = addBox(k, node);
        break;
    case WordClass_textGroup:
        if (node == k->leadIn) {
            *skip = 1;
            break;
        }
        if (k->inPicture)
            break;
        err = closeChpx(k);
        if (!err)
            err = openFields(k, node);
        if (!err)
            err = groupSprms(k, node, &k->chpSprms);
        break;
    default: break;
    }
    return err;
}

int leave(WordWalk *k, Edr_Node *node)
{
    uint32_t type = Edr_Node_type(node);
    if (type == Edr_NodeType_text) {
        if (k->inPicture)
            return Res_ok;
        const Edr_TextNode *t = Edr_Node_textPayload(node);
        if (!t->length || (t->length == 1 && t->chars[0] == 0x00A0))
            return Res_ok;
        return writeText(k, t->chars, t->length);
    }
    if (type != Edr_NodeType_group)
        return Res_ok;
    int err = Res_ok;
    switch (kindOf(node)) {
    case WordClass_columnBreak: err = putChar(k, 0x0E); break;
    case WordClass_pageBreak:
        err = putChar(k, 0x0C);
        k->pageBreak = 1;
        break;
    case WordClass_paragraph:
        // The mark takes the look of the paragraph's last run: readers
        // give it to an empty paragraph.
        err = closeChpx(k);
        if (!err) {
            k->chpSprms.length = 0;
            err = WordBuf_append(&k->chpSprms, k->markSprms.data, k->markSprms.length);
        }
        if (!err && !k->pageBreak)
            err = putChar(k, 0x0D);
        if (!err)
            err = closeChpx(k);
        k->chpSprms.length = 0;
        k->markSprms.length = 0;
        if (!err)
            err = paragraphSprms(k, node);
        k->leadIn = nullptr;
        break;
    case WordClass_section:
    case WordClass_columnSection: {
        if (k->story != WordWalk_main) {
            err = closeChpx(k);
            if (!err)
                err = closePapx(k);
            if (!err && isSection(Edr_Node_nextSibling(node))) {
                if (lastChar(k) == 0x0D) {
                    setLastChar(k, 0x0C);
                } else {
                    err = putChar(k, 0x0C);
                    if (!err)
                        err = closePapx(k);
                }
            }
            break;
        }
        Edr_Node *outer = isInnerSection(node) ? Edr_Node_parent(node) : nullptr;
        // A section whose inner sections hold all of its text after them
        // ended with the last of them.
        bool hasInner = false;
        for (Edr_Node *c = Edr_Node_firstChild(node); c && !hasInner; c = Edr_Node_nextSibling(c))
            hasInner = isSection(c);
        if (hasInner && k->cp == k->sectionStart)
            break;
        // Another section follows: the next top-level section, or for an
        // inner section anything after it in its outer section.
        Edr_Node *next = Edr_Node_nextSibling(node);
        bool follows =
            outer ? next != nullptr || isSection(Edr_Node_nextSibling(outer)) : isSection(next);
        err = endSection(k, node, outer, follows);
        break;
    }
    case WordClass_picture:
        if (k->inPicture)
            k->inPicture--;
        if (!k->inPicture)
            err = writePicture(k, node);
        break;
    case WordClass_table:
        if (k->tableDepth)
            k->tableDepth--;
        break;
    case WordClass_tableCell:
        if (k->tableDepth != 1)
            break;
        if (k->cellCount < WordWriter_maxRowCells)
            k->cells[k->cellCount++] = node;
        // The cell's mark takes the place of its last paragraph mark.
        if (lastChar(k) == 0x0D)
            setLastChar(k, 0x07);
        else
            err = putChar(k, 0x07);
        break;
    case WordClass_tableRow:
        if (k->tableDepth != 1)
            break;
        err = closeChpx(k);
        if (!err)
            err = closePapx(k);
        if (!err)
            err = putChar(k, 0x07);
        if (!err)
            err = rowSprms(k, node);
        if (!err)
            err = closeChpx(k);
        if (!err)
            err = closePapx(k);
        break;
    case WordClass_textBox:
        if (node == k->box) {
            err = WordWalk_closeFields(k);
            if (!err)
                err = boxMark(k);
        }
        break;
    case WordClass_textGroup:
        if (k->inPicture || node == k->leadIn)
            break;
        err = closeChpx(k);
        k->markSprms.length = 0;
        if (!err)
            err = WordBuf_append(&k->markSprms, k->chpSprms.data, k->chpSprms.length);
        if (!err)
            err = closeFields(k, node);
        k->chpSprms.length = 0;
        if (!err && kindOf(Edr_Node_parent(node)) == WordClass_textGroup)
            err = groupSprms(k, Edr_Node_parent(node), &k->chpSprms);
        break;
    default: break;
    }
    return err;
}

} // namespace

int WordWalk_run(WordWalk *k, Edr_Node *start)
{
    if (!start)
        return Res_ok;
    Edr_Doc_readLock(k->w->doc);
    int err = Res_ok;
    Edr_Node *node = start;
    while (node && !err) {
        int skip = 0;
        err = enter(k, node, &skip);
        Edr_Node *child =
            skip || Edr_Node_type(node) != Edr_NodeType_group ? nullptr : Edr_Node_firstChild(node);
        if (child && !err) {
            node = child;
            continue;
        }
        // Leave this node and every ancestor that has no next sibling.
        while (node && !err) {
            err = leave(k, node);
            if (node == start) {
                node = nullptr;
                break;
            }
            Edr_Node *next = Edr_Node_nextSibling(node);
            if (next) {
                node = next;
                break;
            }
            node = Edr_Node_parent(node);
        }
    }
    if (!err)
        err = WordWalk_closeFields(k);
    if (!err)
        err = closeChpx(k);
    if (!err)
        err = closePapx(k);
    Edr_Doc_readUnlock(k->w->doc);
    return err;
}

int WordWalk_closeFields(WordWalk *k)
{
    int err = Res_ok;
    while (k->fieldDepth && !err) {
        err = fieldChar(k, 0x15, 0);
        k->fieldDepth--;
    }
    return err;
}

uint32_t WordWriter_fspaFlags(uint32_t horizontal, uint32_t vertical, uint32_t wrapSide,
                              uint32_t wrap)
{
    uint32_t bx = horizontal == 219 ? 1 : horizontal == 223 ? 2 : 0;
    uint32_t by = vertical == 219 ? 1 : vertical == 221 ? 2 : 0;
    uint32_t wrk = wrapSide >= 215 && wrapSide <= 218 ? wrapSide - 215 : 0;
    uint32_t wr = 3, below = 0;
    switch (wrap) {
    case 213: wr = 1; break;
    case 130: wr = 2; break;
    case 210: wr = 4; break;
    case 214: wr = 5; break;
    case 211: below = 1; break;
    default: break;
    }
    return bx << 1 | by << 3 | wr << 5 | wrk << 9 | below << 14;
}

int WordWalk_packFspa(WordWriter *w, const WordOutShape *shape, uint8_t *out)
{
    StyleRule *rule = WordWriter_rule(w, styleKey(shape->node));
    auto find = [&](uint32_t id) { return rule ? StyleRule_findProp(rule, id) : nullptr; };
    auto twips = [&](uint32_t id) {
        StylePropItem *p = find(id);
        return p && p->value.type == PropType_length ? WordWriter_twips(Prop_getLength(&p->value))
                                                     : 0;
    };
    auto keyword = [&](uint32_t id) {
        StylePropItem *p = find(id);
        return p ? uint32_t(p->value.type) : 0u;
    };
    StylePropItem *spid = find(146);
    int32_t left = twips(45), top = twips(84);
    // The wrapping is on the group's own rule, not its style.
    StyleRule *wrapRule = nullptr;
    int err = Edr_Node_getPropList2(w->doc, shape->node, &wrapRule);
    if (err)
        return err;
    StylePropItem *wrap = wrapRule ? StyleRule_findProp(wrapRule, 139) : nullptr;
    uint32_t flags =
        WordWriter_fspaFlags(keyword(141), keyword(142), keyword(140), wrap ? wrap->value.type : 0);
    StyleRule_destroy(wrapRule);
    Pack_write(out, "5lsl", spid ? uint32_t(Prop_getInt(&spid->value)) : 0u, left, top,
               left + twips(90), top + twips(44), flags, 0);
    return Res_ok;
}

uint32_t WordWalk_boxShapeId(WordWriter *w, Edr_Node *box)
{
    StyleRule *rule = box ? WordWriter_rule(w, styleKey(box)) : nullptr;
    StylePropItem *spid = rule ? StyleRule_findProp(rule, 146) : nullptr;
    return spid ? uint32_t(Prop_getInt(&spid->value)) : 0;
}

int WordWriter_writeTextboxText(WordWalk *k, const WordWalk *owner)
{
    if (!owner->boxCount)
        return Res_ok;
    k->boxEnds = static_cast<uint32_t *>(Mem_calloc(owner->boxCount, sizeof(uint32_t)));
    if (!k->boxEnds)
        return Res_noMemory;
    k->boxEndCount = owner->boxCount;
    int err = Res_ok;
    for (uint32_t i = 0; i < owner->boxCount && !err; i++) {
        k->box = nullptr;
        if (owner->boxes[i])
            err = WordWalk_run(k, owner->boxes[i]);
        // A number no box has is an empty, reusable slot: a mark alone.
        if (!err && !k->box)
            err = boxMark(k);
        k->boxEnds[i] = k->cp;
    }
    k->box = nullptr;
    if (!err)
        err = boxMark(k);
    return err;
}

void WordWalk_free(WordWalk *k)
{
    WordBuf_free(&k->text);
    WordBuf_free(&k->chpSprms);
    WordBuf_free(&k->papSprms);
    WordBuf_free(&k->markSprms);
    WordBuf_free(&k->finalPapx);
    WordRuns_free(&k->chpRuns);
    WordRuns_free(&k->papRuns);
    WordFieldPlc_free(&k->fields);
    for (uint32_t i = 0; i < k->shapeCount; i++)
        Edr_Node_release(k->w->doc, k->shapes[i].node);
    Mem_free(k->shapes);
    k->shapes = nullptr;
    k->shapeCount = k->shapeCapacity = 0;
    for (uint32_t i = 0; i < k->boxCount; i++)
        Edr_Node_release(k->w->doc, k->boxes[i]);
    Mem_free(k->boxes);
    k->boxes = nullptr;
    k->boxCount = k->boxCapacity = 0;
    Mem_free(k->boxEnds);
    k->boxEnds = nullptr;
    k->boxEndCount = 0;
    for (uint32_t i = 0; i < k->sectionCount; i++)
        WordBuf_free(&k->sections[i].sepx);
    Mem_free(k->sections);
    k->sections = nullptr;
    k->sectionCount = k->sectionCapacity = 0;
}
