// The writer's driver: the stories of the document into "WordDocument",
// their runs into formatted disk pages, the sections, and the records of
// "1Table" after the style sheet.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/time/date.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/officeart/escher.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "word/reader/build.h"
#include "word/writer/walk.h"

namespace {

// The six header and footer stories of a section in the order of the
// header table: even header, odd header, even footer, odd footer, first
// header, first footer; their properties and keyed-group slots.
constexpr uint32_t storyProps[6] = {117, 118, 120, 121, 116, 119};
constexpr uint32_t storySlots[6] = {0, 0, 1, 1, 0, 1};

struct HeaderTable {
    uint32_t *cps;
    uint32_t count;
};

int32_t storyRef(StyleRule *rule, uint32_t id)
{
    StylePropItem *p = rule ? StyleRule_findProp(rule, id) : nullptr;
    return p ? Prop_getInt(&p->value) : 0;
}

int writeRecord(WordWriter *w, const WordBuf *buf, uint32_t pair)
{
    uint32_t at = Ole_streamTell(w->tableStream);
    if (!buf->length) {
        w->fib.pairs[pair].fc = int32_t(at);
        w->fib.pairs[pair].lcb = 0;
        return Res_ok;
    }
    int err = OleWriter_streamWrite(w->tableStream, buf->data, buf->length);
    if (!err) {
        w->fib.pairs[pair].fc = int32_t(at);
        w->fib.pairs[pair].lcb = buf->length;
    }
    return err;
}

// The header and footer stories of every section, after the main text.
int writeHeaders(WordWriter *w, WordWalk *main, WordWalk *headers, HeaderTable *table,
                 uint32_t *facing)
{
    uint32_t n = main->sectionCount;
    if (!n)
        return Res_ok;
    table->cps = static_cast<uint32_t *>(Mem_calloc(size_t(n) * 6 + 8, sizeof(uint32_t)));
    if (!table->cps)
        return Res_noMemory;
    int32_t previous[6] = {};
    int any = 0;
    int err = Res_ok;
    for (uint32_t s = 0; s < n && !err; s++) {
        StyleRule *rule =
            main->sections[s].styleKey ? WordWriter_rule(w, main->sections[s].styleKey) : nullptr;
        int32_t refs[6];
        for (uint32_t i = 0; i < 6; i++)
            refs[i] = storyRef(rule, storyProps[i]);
        // Stories equal to the odd ones are folded into them.
        if (refs[0] == refs[1])
            refs[0] = 0;
        else if (refs[0])
            *facing = 1;
        if (refs[2] == refs[3])
            refs[2] = 0;
        else if (refs[2])
            *facing = 1;
        if (refs[4] == refs[1])
            refs[4] = 0;
        if (refs[5] == refs[3])
            refs[5] = 0;
        for (uint32_t i = 0; i < 6 && !err; i++) {
            table->cps[6 + s * 6 + i] = headers->cp;
            // A story the previous section had is inherited: left empty.
            if (!refs[i] || refs[i] == previous[i])
                continue;
            previous[i] = refs[i];
            Edr_Node *group = nullptr;
            err = Edr_Doc_getKeyedGroup(w->doc, intptr_t(refs[i]), storySlots[i], &group);
            if (err || !group)
                continue;
            uint32_t before = headers->cp;
            err = WordWalk_run(headers, group);
            Edr_Node_release(w->doc, group);
            // Every story ends with a mark of its own.
            if (!err && headers->cp > before) {
                uint8_t mark[2] = {0x0D, 0};
                err = WordBuf_append(&headers->text, mark, 2);
                if (!err) {
                    headers->cp++;
                    static constexpr uint8_t none[2] = {0, 0};
                    uint32_t first = WordWriter_fibBytes + 2 * (headers->cpBase + headers->cp - 1);
                    err = WordRuns_add(&headers->papRuns, first, first + 2, none, 2);
                    if (!err)
                        err = WordRuns_add(&headers->chpRuns, first, first + 2, nullptr, 0);
                }
                headers->chpStart = headers->papStart = headers->cp;
                any = 1;
            }
        }
    }
    table->count = 6 + n * 6 + 2;
    table->cps[6 + n * 6] = headers->cp;
    table->cps[6 + n * 6 + 1] = headers->cp + 1;
    if (!any) {
        Mem_free(table->cps);
        table->cps = nullptr;
        table->count = 0;
    }
    return err;
}

int addRuns(WordWriter *w, const WordOutRuns *chp, const WordOutRuns *pap)
{
    int err = Res_ok;
    static constexpr uint8_t phe[12] = {};
    for (uint32_t i = 0; i < chp->count && !err; i++) {
        const WordOutRun &r = chp->runs[i];
        err = WordFkp_addChpx(w, r.fcFirst, r.fcLim, r.length, chp->pool.data + r.offset);
    }
    for (uint32_t i = 0; i < pap->count && !err; i++) {
        const WordOutRun &r = pap->runs[i];
        err = WordFkp_addPapx(w, r.fcFirst, r.fcLim, phe, r.length, pap->pool.data + r.offset);
    }
    return err;
}

int fontTable(WordWriter *w, WordBuf *buf)
{
    if (!w->fontCount)
        return Res_ok;
    int err = WordBuf_u32(buf, w->fontCount);
    for (uint32_t i = 0; i < w->fontCount && !err; i++) {
        const WordOutFont &f = w->fonts[i];
        const char16_t *name = f.name ? f.name : u"";
        uint32_t total = uint32_t(Ustr_len(name));
        uint32_t nameLength = total;
        const char16_t *comma = Ustr_chr(name, u',');
        if (comma)
            nameLength = uint32_t(comma - name);
        uint32_t altLength = comma ? total - nameLength - 1 : 0;
        uint32_t size = 40 + 2 * (nameLength + 1) + (comma ? 2 * (altLength + 1) : 0);
        uint8_t head[40] = {};
        uint32_t packed = (f.flags & 3) | (f.flags & 4) | ((f.flags >> 3) & 7) << 4;
        Pack_write(head, "ccscc", size - 1, packed, f.weight ? f.weight : 400, f.chs,
                   comma ? nameLength + 1 : 0);
        memcpy(head + 6, f.panose, 10);
        memcpy(head + 16, f.signature, 24);
        err = WordBuf_append(buf, head, 40);
        for (uint32_t c = 0; c < nameLength && !err; c++)
            err = WordBuf_u16(buf, name[c]);
        if (!err)
            err = WordBuf_u16(buf, 0);
        if (comma) {
            for (uint32_t c = 0; c < altLength && !err; c++)
                err = WordBuf_u16(buf, comma[1 + c]);
            if (!err)
                err = WordBuf_u16(buf, 0);
        }
    }
    return err;
}

enum : uint32_t {
    pairPlcSpaMom = 40,
    pairPlcSpaHdr = 41,
    pairDggInfo = 50,
    pairPlcftxbxTxt = 56,
    pairPlcfFldTxbx = 57,
    pairPlcfHdrtxbxTxt = 58,
    pairPlcfFldHdrTxbx = 59,
    pairPlcfTxbxBkd = 75,
    pairPlcfTxbxHdrBkd = 76,
    sourceDggInfo = 0x22A, // fcDggInfo in the source's file information block
};

// The text-box tables of one story's boxes: the text PLC (the start, each
// box's end, the story's end; an FTXBXS per box and a last one) and the
// break PLC (the same CPs; a BKD per box and a last one).
int textBoxTables(WordWriter *w, const WordWalk *owner, const WordWalk *story, uint32_t textPair,
                  uint32_t breakPair)
{
    uint32_t n = owner->boxCount;
    if (!n || story->boxEndCount != n)
        return Res_ok;
    WordBuf cps{};
    int err = WordBuf_u32(&cps, 0);
    for (uint32_t i = 0; i < n && !err; i++)
        err = WordBuf_u32(&cps, story->boxEnds[i]);
    if (!err)
        err = WordBuf_u32(&cps, story->cp);
    WordBuf text{};
    WordBuf breaks{};
    if (!err)
        err = WordBuf_append(&text, cps.data, cps.length);
    if (!err)
        err = WordBuf_append(&breaks, cps.data, cps.length);
    for (uint32_t i = 0; i <= n && !err; i++) {
        uint8_t ftxbxs[22];
        uint8_t bkd[6];
        if (i == n) {
            Pack_write(ftxbxs, "lls3l", 0xFFFFFFFFu, 0, 0, 0, 0, 0);
            Pack_write(bkd, "sss", 0xFFFF, 0, 0);
        } else if (owner->boxes[i]) {
            // A box in use: a chain of one, named by its shape.
            Pack_write(ftxbxs, "lls3l", 1, 0, 0, 0xFFFFFFFFu,
                       WordWalk_boxShapeId(w, owner->boxes[i]), 0);
            Pack_write(bkd, "sss", i, 0, 0);
        } else {
            Pack_write(ftxbxs, "lls3l", 0xFFFFFFFFu, 0, 1, 0xFFFFFFFFu, 0, 0);
            Pack_write(bkd, "sss", i, 0, 0);
        }
        err = WordBuf_append(&text, ftxbxs, 22);
        if (!err)
            err = WordBuf_append(&breaks, bkd, 6);
    }
    if (!err)
        err = writeRecord(w, &text, textPair);
    if (!err)
        err = writeRecord(w, &breaks, breakPair);
    WordBuf_free(&cps);
    WordBuf_free(&text);
    WordBuf_free(&breaks);
    return err;
}

// The source's drawing data copied into "1Table", its pictures into the
// end of "WordDocument" where the drawing looks for them.
int drawingData(WordWriter *w)
{
    if (!w->srcDoc || !w->srcTable)
        return Res_ok;
    uint8_t b[8];
    size_t got = 0;
    int err = Ole_streamReadAt(w->srcDoc, sourceDggInfo, 8, &got, b);
    if (err || got < 8)
        return err;
    uint32_t fc = 0, lcb = 0;
    Pack_read(b, "2l", &fc, &lcb);
    // The reader placed no shape from data outside the stream.
    if (!lcb || uint64_t(fc) + lcb > Ole_streamSize(w->srcTable))
        return Res_ok;
    uint32_t at = Ole_streamTell(w->tableStream);
    err = Escher_copyDrawingData(w->ctx, w->srcDoc, w->srcTable, w->docStream, w->tableStream, fc,
                                 lcb);
    if (!err) {
        w->fib.pairs[pairDggInfo].fc = int32_t(at);
        w->fib.pairs[pairDggInfo].lcb = Ole_streamTell(w->tableStream) - at;
    }
    return err;
}

// The anchors of one story's floating shapes: their CPs, the story's
// length, an FSPA each.
int shapeAnchors(WordWriter *w, const WordWalk *story, uint32_t pair)
{
    if (!story->shapeCount)
        return Res_ok;
    WordBuf buf{};
    int err = Res_ok;
    for (uint32_t i = 0; i < story->shapeCount && !err; i++)
        err = WordBuf_u32(&buf, story->shapes[i].cp);
    if (!err)
        err = WordBuf_u32(&buf, story->cp);
    for (uint32_t i = 0; i < story->shapeCount && !err; i++) {
        uint8_t fspa[26];
        err = WordWalk_packFspa(w, &story->shapes[i], fspa);
        if (!err)
            err = WordBuf_append(&buf, fspa, 26);
    }
    if (!err)
        err = writeRecord(w, &buf, pair);
    WordBuf_free(&buf);
    return err;
}

uint32_t dttmNow()
{
    int64_t now = 0;
    Date_now(&now);
    BrokenTime t{};
    Time_gmtime(now + Time_zoneOffset(), &t);
    return uint32_t(t.min & 63) | uint32_t(t.hour & 31) << 6 | uint32_t(t.mday & 31) << 11 |
           uint32_t((t.mon + 1) & 15) << 16 | uint32_t(t.year & 511) << 20 |
           uint32_t(t.wday & 7) << 29;
}

// The 500-byte document properties: widow control, footnotes at the
// bottom of the page numbered from 1, the default tab, the save time.
void packDop(const WordWriter *w, uint32_t facing, uint8_t *dop)
{
    memset(dop, 0, 500);
    Pack_write(dop, "ss", (facing ? 1u : 0u) | 2u | 1u << 5, 1u << 2);
    Pack_write(dop + 10, "s", w->dxaTab ? w->dxaTab : 720);
    uint32_t stamp = dttmNow();
    Pack_write(dop + 20, "2l", stamp, stamp);
}

} // namespace

int WordWriter_writeDocument(WordWriter *w)
{
    WordWalk main{};
    WordWalk headers{};
    WordWalk boxes{};
    WordWalk headerBoxes{};
    HeaderTable hdd{};
    main.w = w;
    main.story = WordWalk_main;
    headers.w = w;
    headers.story = WordWalk_header;
    boxes.w = w;
    boxes.story = WordWalk_textBoxes;
    headerBoxes.w = w;
    headerBoxes.story = WordWalk_headerTextBoxes;
    w->fib.fcMin = WordWriter_fibBytes;
    uint32_t facing = 0;
    Edr_Node *root = Edr_Doc_root(w->doc);
    int err = WordWalk_run(&main, root);
    if (!err) {
        w->fib.ccpText = main.cp;
        headers.cpBase = main.cp;
        err = writeHeaders(w, &main, &headers, &hdd, &facing);
    }
    // The text boxes of the main text, then those of the headers.
    if (!err) {
        boxes.cpBase = main.cp + headers.cp;
        err = WordWriter_writeTextboxText(&boxes, &main);
    }
    if (!err) {
        headerBoxes.cpBase = boxes.cpBase + boxes.cp;
        err = WordWriter_writeTextboxText(&headerBoxes, &headers);
    }
    const WordWalk *const later[3] = {&headers, &boxes, &headerBoxes};
    uint32_t extra = 0;
    if (!err) {
        w->fib.ccpMore[1] = int32_t(headers.cp);
        w->fib.ccpMore[5] = int32_t(boxes.cp);
        w->fib.ccpMore[6] = int32_t(headerBoxes.cp);
        // Stories after the main text end with one more mark of their own.
        extra = headers.cp || boxes.cp || headerBoxes.cp ? 1 : 0;
        uint32_t total = main.cp + headers.cp + boxes.cp + headerBoxes.cp + extra;
        w->fib.fcMac = WordWriter_fibBytes + 2 * total;
        w->firstFreePage = WordWriter_firstFreePage(w->fib.fcMac);
        err = OleWriter_streamSeek(w->docStream, WordWriter_fibBytes, 0);
        if (!err && main.text.length)
            err = OleWriter_streamWrite(w->docStream, main.text.data, main.text.length);
        for (const WordWalk *story : later)
            if (!err && story->text.length)
                err = OleWriter_streamWrite(w->docStream, story->text.data, story->text.length);
        if (!err && extra)
            err = OleWriter_streamWrite(w->docStream, "\x0D\0", 2);
    }
    // The runs into pages; the extra mark takes the last paragraph's look.
    if (!err)
        err = addRuns(w, &main.chpRuns, &main.papRuns);
    for (const WordWalk *story : later)
        if (!err)
            err = addRuns(w, &story->chpRuns, &story->papRuns);
    if (!err && extra) {
        static constexpr uint8_t phe[12] = {};
        static constexpr uint8_t none[2] = {0, 0};
        const WordBuf &last = main.finalPapx;
        err = WordFkp_addPapx(w, w->fib.fcMac - 2, w->fib.fcMac, phe,
                              last.length >= 2 ? last.length : 2,
                              last.length >= 2 ? last.data : none);
        if (!err)
            err = WordFkp_addChpx(w, w->fib.fcMac - 2, w->fib.fcMac, 0, nullptr);
    }
    // A document without text still has its pages.
    if (!err && !w->chpPn)
        err = WordFkp_addChpx(w, WordWriter_fibBytes, w->fib.fcMac, 0, nullptr);
    if (!err && !w->papPn) {
        static constexpr uint8_t phe[12] = {};
        static constexpr uint8_t none[2] = {0, 0};
        err = WordFkp_addPapx(w, WordWriter_fibBytes, w->fib.fcMac, phe, 2, none);
    }
    if (!err)
        err = WordFkp_flushChpx(w);
    if (!err)
        err = WordFkp_flushPapx(w);
    // The section properties follow the pages.
    for (uint32_t i = 0; i < main.sectionCount && !err; i++) {
        err = OleWriter_streamSeek(w->docStream, 0, 2);
        main.sections[i].fcSepx = Ole_streamTell(w->docStream);
        if (!err)
            err = OleWriter_streamWrite(w->docStream, main.sections[i].sepx.data,
                                        main.sections[i].sepx.length);
    }
    // "1Table" after the style sheet.
    if (!err)
        err = textBoxTables(w, &main, &boxes, pairPlcftxbxTxt, pairPlcfTxbxBkd);
    if (!err)
        err = textBoxTables(w, &headers, &headerBoxes, pairPlcfHdrtxbxTxt, pairPlcfTxbxHdrBkd);
    WordBuf buf{};
    if (!err && main.sectionCount) {
        // The last section runs to the end of the main text.
        main.sections[main.sectionCount - 1].cpLim = main.cp;
        err = WordBuf_u32(&buf, main.sections[0].cpFirst);
        for (uint32_t i = 0; i < main.sectionCount && !err; i++)
            err = WordBuf_u32(&buf, main.sections[i].cpLim);
        for (uint32_t i = 0; i < main.sectionCount && !err; i++) {
            uint8_t sed[12];
            Pack_write(sed, "slsl", 4, main.sections[i].fcSepx, 0, 0xFFFFFFFFu);
            err = WordBuf_append(&buf, sed, 12);
        }
        if (!err)
            err = writeRecord(w, &buf, WordPair_plcfsed);
    }
    buf.length = 0;
    for (uint32_t i = 0; i < hdd.count && !err; i++)
        err = WordBuf_u32(&buf, hdd.cps[i]);
    if (!err && hdd.count)
        err = writeRecord(w, &buf, WordPair_plcfhdd);
    buf.length = 0;
    if (!err)
        err = WordBins_serialize(&w->chpBins, &buf);
    if (!err)
        err = writeRecord(w, &buf, WordPair_plcfbteChpx);
    buf.length = 0;
    if (!err)
        err = WordBins_serialize(&w->papBins, &buf);
    if (!err)
        err = writeRecord(w, &buf, WordPair_plcfbtePapx);
    // The drawings of the floating shapes and their anchors.
    if (!err && (main.shapeCount || headers.shapeCount))
        err = drawingData(w);
    if (!err)
        err = shapeAnchors(w, &main, pairPlcSpaMom);
    if (!err)
        err = shapeAnchors(w, &headers, pairPlcSpaHdr);
    // The piece table: one Unicode piece over all the text at 1024.
    buf.length = 0;
    if (!err) {
        uint8_t clx[21];
        Pack_write(clx, "cl2lsls", 2, 16, 0, (w->fib.fcMac - WordWriter_fibBytes) / 2, 0x0050,
                   WordWriter_fibBytes, 0);
        err = WordBuf_append(&buf, clx, 21);
    }
    if (!err)
        err = writeRecord(w, &buf, WordPair_clx);
    buf.length = 0;
    if (!err)
        err = fontTable(w, &buf);
    if (!err)
        err = writeRecord(w, &buf, WordPair_sttbfffn);
    if (!err) {
        uint8_t dop[500];
        packDop(w, facing, dop);
        buf.length = 0;
        err = WordBuf_append(&buf, dop, 500);
        if (!err)
            err = writeRecord(w, &buf, WordPair_dop);
    }
    // The lists the list paragraphs named.
    if (!err)
        err = WordListTables_write(w);
    // The field tables of the main text and of the headers.
    buf.length = 0;
    if (!err)
        err = WordFieldPlc_serialize(&main.fields, &buf);
    if (!err && buf.length)
        err = writeRecord(w, &buf, 16);
    buf.length = 0;
    if (!err)
        err = WordFieldPlc_serialize(&headers.fields, &buf);
    if (!err && buf.length)
        err = writeRecord(w, &buf, 17);
    buf.length = 0;
    if (!err)
        err = WordFieldPlc_serialize(&boxes.fields, &buf);
    if (!err && buf.length)
        err = writeRecord(w, &buf, pairPlcfFldTxbx);
    buf.length = 0;
    if (!err)
        err = WordFieldPlc_serialize(&headerBoxes.fields, &buf);
    if (!err && buf.length)
        err = writeRecord(w, &buf, pairPlcfFldHdrTxbx);
    WordBuf_free(&buf);
    // A "WordDocument" stream shorter than a big sector (4096 bytes) lives
    // in the compound file's mini stream, which some readers do not look
    // in for it: the stream is padded with zeros to 4096 bytes.
    if (!err && Ole_streamSize(w->docStream) < 4096) {
        static constexpr uint8_t zeros[512] = {};
        err = OleWriter_streamSeek(w->docStream, 0, 2);
        while (!err && Ole_streamSize(w->docStream) < 4096) {
            uint32_t size = uint32_t(Ole_streamSize(w->docStream));
            uint32_t n = 4096 - size < sizeof zeros ? 4096 - size : uint32_t(sizeof zeros);
            err = OleWriter_streamWrite(w->docStream, zeros, n);
        }
    }
    if (!err) {
        w->fib.cbMac = int32_t(uint32_t(Ole_streamSize(w->docStream)) + 1);
        if (w->pictureCount)
            w->fib.flags |= 1u << 3; // fHasPic
    }
    Mem_free(hdd.cps);
    WordWalk_free(&main);
    WordWalk_free(&headers);
    WordWalk_free(&boxes);
    WordWalk_free(&headerBoxes);
    return err;
}

void WordWriter_freeState(WordWriter *w)
{
    WordBins_free(&w->chpBins);
    WordBins_free(&w->papBins);
    for (uint32_t i = 0; i < w->styleCount; i++)
        Mem_free(w->styles[i].items);
    Mem_free(w->styles);
    w->styles = nullptr;
    w->styleCount = w->styleCapacity = 0;
    for (uint32_t i = 0; i < w->fontCount; i++)
        Mem_free(w->fonts[i].name);
    Mem_free(w->fonts);
    w->fonts = nullptr;
    w->fontCount = w->fontCapacity = 0;
    Mem_free(w->pictures);
    w->pictures = nullptr;
    Mem_free(w->keyRules);
    Mem_free(w->keySlots);
    w->keyRules = nullptr;
    w->keySlots = nullptr;
    w->keyCount = 0;
    w->pictureCount = w->pictureCapacity = 0;
    WordListTables_free(&w->lists);
}
