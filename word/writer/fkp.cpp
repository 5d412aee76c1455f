// The writer's small containers, the file information block and the
// formatted disk pages of character and paragraph runs.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "word/writer/writer.h"

namespace {

// Grows an array of count elements of size bytes to hold one more.
int grow(void **array, uint32_t *capacity, uint32_t count, size_t size, uint32_t step)
{
    if (count < *capacity)
        return Res_ok;
    void *bigger = Mem_realloc(*array, (size_t(*capacity) + step) * size);
    if (!bigger)
        return Res_noMemory;
    *array = bigger;
    *capacity += step;
    return Res_ok;
}

} // namespace

// ---------------------------------------------------------------- buffers

void WordBuf_free(WordBuf *buf)
{
    Mem_free(buf->data);
    buf->data = nullptr;
    buf->length = buf->capacity = 0;
}

int WordBuf_append(WordBuf *buf, const void *bytes, uint32_t n)
{
    if (n == 0)
        return Res_ok;
    if (buf->length + n > buf->capacity) {
        uint32_t capacity = buf->capacity ? buf->capacity : 64;
        while (capacity < buf->length + n)
            capacity *= 2;
        void *bigger = Mem_realloc(buf->data, capacity);
        if (!bigger)
            return Res_noMemory;
        buf->data = static_cast<uint8_t *>(bigger);
        buf->capacity = capacity;
    }
    memcpy(buf->data + buf->length, bytes, n);
    buf->length += n;
    return Res_ok;
}

int WordBuf_u8(WordBuf *buf, uint32_t v)
{
    uint8_t b = uint8_t(v);
    return WordBuf_append(buf, &b, 1);
}

int WordBuf_u16(WordBuf *buf, uint32_t v)
{
    uint8_t b[2];
    Pack_write(b, "s", v);
    return WordBuf_append(buf, b, 2);
}

int WordBuf_u32(WordBuf *buf, uint32_t v)
{
    uint8_t b[4];
    Pack_write(b, "l", v);
    return WordBuf_append(buf, b, 4);
}

// ------------------------------------------------------------- bin tables

int WordBins_add(WordOutBins *bins, uint32_t fcFirst, uint32_t fcLim, uint32_t pn)
{
    if (fcFirst >= fcLim)
        return Res_ok;
    if (bins->count && bins->pns[bins->count - 1] == pn) {
        bins->fcs[bins->count] = fcLim;
        return Res_ok;
    }
    if (bins->count + 1 >= bins->capacity) {
        uint32_t capacity = bins->capacity + 5;
        uint32_t *fcs = static_cast<uint32_t *>(
            Mem_realloc(bins->fcs, (size_t(capacity) + 1) * sizeof(uint32_t)));
        if (!fcs)
            return Res_noMemory;
        bins->fcs = fcs;
        uint32_t *pns =
            static_cast<uint32_t *>(Mem_realloc(bins->pns, size_t(capacity) * sizeof(uint32_t)));
        if (!pns)
            return Res_noMemory;
        bins->pns = pns;
        bins->capacity = capacity;
    }
    bins->fcs[bins->count] = fcFirst;
    bins->fcs[bins->count + 1] = fcLim;
    bins->pns[bins->count] = pn;
    bins->count++;
    return Res_ok;
}

void WordBins_free(WordOutBins *bins)
{
    Mem_free(bins->fcs);
    Mem_free(bins->pns);
    *bins = WordOutBins{};
}

int WordBins_serialize(const WordOutBins *bins, WordBuf *buf)
{
    int err = Res_ok;
    if (!bins->count)
        return Res_ok;
    for (uint32_t i = 0; i <= bins->count && !err; i++)
        err = WordBuf_u32(buf, bins->fcs[i]);
    for (uint32_t i = 0; i < bins->count && !err; i++)
        err = WordBuf_u32(buf, bins->pns[i]);
    return err;
}

// ------------------------------------------------------------ field tables

int WordFieldPlc_add(WordFieldPlc *plc, uint32_t cp, uint8_t ch, uint8_t flags)
{
    if (plc->count + 1 >= plc->capacity) {
        uint32_t capacity = plc->capacity + 5;
        uint32_t *cps = static_cast<uint32_t *>(
            Mem_realloc(plc->cps, (size_t(capacity) + 1) * sizeof(uint32_t)));
        if (!cps)
            return Res_noMemory;
        plc->cps = cps;
        uint8_t *flds = static_cast<uint8_t *>(Mem_realloc(plc->flds, size_t(capacity) * 2));
        if (!flds)
            return Res_noMemory;
        plc->flds = flds;
        plc->capacity = capacity;
    }
    // The end of a field always asks for its result to be brought up to
    // date: the text may have been edited.
    if (ch == 0x15)
        flags |= 4;
    plc->cps[plc->count] = cp;
    plc->cps[plc->count + 1] = cp + 1;
    plc->flds[plc->count * 2] = ch;
    plc->flds[plc->count * 2 + 1] = flags;
    plc->count++;
    return Res_ok;
}

void WordFieldPlc_free(WordFieldPlc *plc)
{
    Mem_free(plc->cps);
    Mem_free(plc->flds);
    *plc = WordFieldPlc{};
}

int WordFieldPlc_serialize(const WordFieldPlc *plc, WordBuf *buf)
{
    if (!plc->count)
        return Res_ok;
    int err = Res_ok;
    for (uint32_t i = 0; i <= plc->count && !err; i++)
        err = WordBuf_u32(buf, plc->cps[i]);
    if (!err)
        err = WordBuf_append(buf, plc->flds, plc->count * 2);
    return err;
}

// ------------------------------------------------------------------ runs

int WordRuns_add(WordOutRuns *runs, uint32_t fcFirst, uint32_t fcLim, const uint8_t *sprms,
                 uint32_t n)
{
    int err = grow(reinterpret_cast<void **>(&runs->runs), &runs->capacity, runs->count,
                   sizeof(WordOutRun), 32);
    if (err)
        return err;
    uint32_t offset = runs->pool.length;
    if ((err = WordBuf_append(&runs->pool, sprms, n)) != Res_ok)
        return err;
    runs->runs[runs->count++] = WordOutRun{fcFirst, fcLim, offset, n};
    return Res_ok;
}

void WordRuns_free(WordOutRuns *runs)
{
    Mem_free(runs->runs);
    WordBuf_free(&runs->pool);
    *runs = WordOutRuns{};
}

// ------------------------------------------------------------------- FIB

void WordWriter_initFib(WordWriter *w)
{
    WordFib &f = w->fib;
    memset(&f, 0, sizeof f);
    f.wIdent = Word_identWord97;
    f.nFib = 194;
    f.nProduct = 0x204D;
    f.lid = 0x0409;
    f.flags = 0x1200; // the table stream is "1Table"; extended characters
    f.nFibBack = 191;
    f.flags2 = 0x30;
    f.csw = 14;
    // The creator's tag, two characters to a word, the first in the low byte.
    static constexpr char tag[9] = "Tamsik42";
    f.wMagicCreated = uint16_t(uint8_t(tag[0]) | uint8_t(tag[1]) << 8);
    f.wMagicRevised = uint16_t(uint8_t(tag[2]) | uint8_t(tag[3]) << 8);
    f.wMagicCreatedPrivate = uint16_t(uint8_t(tag[4]) | uint8_t(tag[5]) << 8);
    f.wMagicRevisedPrivate = uint16_t(uint8_t(tag[6]) | uint8_t(tag[7]) << 8);
    f.lidFE = 0x0409;
    f.clw = 22;
    f.pnFbpChpFirst = 0xFFFFF;
    f.pnFbpPapFirst = 0xFFFFF;
    f.pnFbpLvcFirst = 0xFFFFF;
    f.cfclcb = 108;
}

void WordWriter_packFib(const WordWriter *w, uint8_t *out)
{
    const WordFib &f = w->fib;
    memset(out, 0, WordWriter_fibBytes);
    uint8_t *p = out;
    p += Pack_write(p, "5s", f.wIdent, f.nFib, f.nProduct, f.lid, uint32_t(uint16_t(f.pnNext)));
    p += Pack_write(p, "2l", uint32_t(f.flags) | uint32_t(f.nFibBack) << 16, f.lKey);
    p += Pack_write(p, "lsll", uint32_t(f.envr) | uint32_t(f.flags2) << 8 | uint32_t(f.chs) << 16,
                    f.chsTables, f.fcMin, f.fcMac);
    p += Pack_write(p, "16s", f.csw, f.wMagicCreated, f.wMagicRevised, f.wMagicCreatedPrivate,
                    f.wMagicRevisedPrivate, 0, 0, 0, 0, 0, 0, 0, 0, 0, f.lidFE, f.clw);
    p += Pack_write(p, "22l", f.cbMac, f.lProductCreated, f.lProductRevised, f.ccpText,
                    f.ccpMore[0], f.ccpMore[1], f.ccpMore[2], f.ccpMore[3], f.ccpMore[4],
                    f.ccpMore[5], f.ccpMore[6], f.pnFbpChpFirst, f.pnChpFirst, f.cpnBteChp,
                    f.pnFbpPapFirst, f.pnPapFirst, f.cpnBtePap, f.pnFbpLvcFirst, f.pnLvcFirst,
                    f.cpnBteLvc, f.fcIslandFirst, f.fcIslandLim);
    p += Pack_write(p, "s", f.cfclcb);
    for (uint32_t i = 0; i < Word_fcLcbCount; i++)
        p += Pack_write(p, "2l", uint32_t(f.pairs[i].fc), f.pairs[i].lcb);
    Pack_write(out + 0x3FA, "ss", 2, 0xD9);
}

int WordWriter_writeFib(WordWriter *w)
{
    uint8_t *block = static_cast<uint8_t *>(Mem_malloc(WordWriter_fibBytes));
    if (!block)
        return Res_noMemory;
    WordWriter_packFib(w, block);
    int err = Ole_streamSeek(w->docStream, 0, 0);
    if (!err)
        err = OleWriter_streamWrite(w->docStream, block, WordWriter_fibBytes);
    Mem_free(block);
    return err;
}

// ------------------------------------------------------ formatted disk pages

uint32_t WordWriter_firstFreePage(uint32_t fcMac)
{
    return fcMac == 0 ? 0 : ((fcMac - 1) / WordWriter_pageBytes + 1) * WordWriter_pageBytes;
}

namespace {

int putPage(OleStream *stream, const uint8_t *page, uint32_t position)
{
    int err = OleWriter_streamSeek(stream, position, 0);
    return err ? err : OleWriter_streamWrite(stream, page, WordWriter_pageBytes);
}

// Places the first page of a kind: after the other kind's current page,
// else at the first free page.
void firstPage(WordWriter *w, uint32_t *pn, uint32_t otherPn, int32_t *fibFirst, uint32_t *fibCount)
{
    *pn = otherPn ? otherPn + 1 : w->firstFreePage / WordWriter_pageBytes;
    *fibFirst = int32_t(*pn);
    *fibCount = 1;
}

// Writes a full page and starts the next one past both kinds' pages.
int nextPage(WordWriter *w, uint8_t *page, uint32_t *pn, uint32_t *fibCount)
{
    int err = putPage(w->docStream, page, *pn * WordWriter_pageBytes);
    if (err)
        return err;
    memset(page, 0, WordWriter_pageBytes);
    *pn = (w->chpPn > w->papPn ? w->chpPn : w->papPn) + 1;
    *fibCount += 1;
    return Res_ok;
}

// The end of the free space of a page: the lowest stored exception.
uint32_t freeEnd(const uint8_t *page, uint32_t crun, uint32_t entryBytes)
{
    uint32_t end = 511;
    const uint8_t *offsets = page + 4 * (crun + 1);
    for (uint32_t i = 0; i < crun; i++) {
        uint32_t o = offsets[i * entryBytes];
        if (o && o * 2u < end)
            end = o * 2u;
    }
    return end;
}

} // namespace

int WordFkp_addChpx(WordWriter *w, uint32_t fcFirst, uint32_t fcLim, uint32_t cb,
                    const uint8_t *sprms)
{
    if (cb > 255)
        cb = 255;
    if (!w->chpPn)
        firstPage(w, &w->chpPn, w->papPn, &w->fib.pnChpFirst, &w->fib.cpnBteChp);
    uint8_t *page = w->chpPage;
    uint32_t crun = page[511];
    uint32_t end = freeEnd(page, crun, 1);
    // The last stored CHPX is reused when the new one has the same bytes.
    uint32_t reuse = 0;
    if (cb && crun) {
        uint32_t last = 0;
        for (uint32_t i = crun; i-- > 0;)
            if (page[4 * (crun + 1) + i]) {
                last = page[4 * (crun + 1) + i];
                break;
            }
        if (last && page[last * 2] == cb && !memcmp(page + last * 2 + 1, sprms, cb))
            reuse = last;
    }
    uint32_t needed = (crun & 1) + (reuse || !cb ? 0 : cb) + 6;
    uint32_t used = 4 * (crun + 1) + crun;
    if (end <= used || needed >= end - used) {
        int err = nextPage(w, page, &w->chpPn, &w->fib.cpnBteChp);
        if (err)
            return err;
        crun = 0;
        end = 511;
        reuse = 0;
    }
    // One more FC: the offsets move up four bytes.
    memmove(page + 4 * (crun + 2), page + 4 * (crun + 1), crun);
    Pack_write(page + 4 * crun, "ll", fcFirst, fcLim);
    uint8_t *offsets = page + 4 * (crun + 2);
    if (!cb || reuse) {
        offsets[crun] = uint8_t(reuse);
    } else {
        uint32_t o = (end - (cb + 1)) & ~1u;
        offsets[crun] = uint8_t(o / 2);
        page[o] = uint8_t(cb);
        memcpy(page + o + 1, sprms, cb);
    }
    page[511] = uint8_t(crun + 1);
    return WordBins_add(&w->chpBins, fcFirst, fcLim, w->chpPn);
}

int WordFkp_addPapx(WordWriter *w, uint32_t fcFirst, uint32_t fcLim, const uint8_t *phe,
                    uint32_t cb, const uint8_t *papx)
{
    uint8_t huge[8];
    if (cb > WordWriter_hugePapx) {
        // The modifiers go to "Data"; the page keeps the style index and
        // sprmPHugePapx with their offset there.
        uint32_t at = Ole_streamTell(w->dataStream);
        int err = Res_ok;
        if (at & 1) {
            uint8_t zero = 0;
            err = OleWriter_streamWrite(w->dataStream, &zero, 1);
            at++;
        }
        uint8_t length[2];
        Pack_write(length, "s", cb - 2);
        if (!err)
            err = OleWriter_streamWrite(w->dataStream, length, 2);
        if (!err)
            err = OleWriter_streamWrite(w->dataStream, papx + 2, cb - 2);
        if (err)
            return err;
        huge[0] = papx[0];
        huge[1] = papx[1];
        Pack_write(huge + 2, "sl", 0x6646, at);
        papx = huge;
        cb = 8;
    }
    if (!w->papPn)
        firstPage(w, &w->papPn, w->chpPn, &w->fib.pnPapFirst, &w->fib.cpnBtePap);
    uint8_t *page = w->papPage;
    uint32_t crun = page[511];
    uint32_t end = freeEnd(page, crun, 13);
    uint32_t stored = cb & 1 ? (cb + 1) / 2 : cb / 2;
    uint32_t reuse = 0;
    if (crun) {
        uint32_t last = 0;
        for (uint32_t i = crun; i-- > 0;)
            if (page[4 * (crun + 1) + 13 * i]) {
                last = page[4 * (crun + 1) + 13 * i];
                break;
            }
        if (last) {
            uint32_t at = last * 2;
            uint32_t length = page[at];
            const uint8_t *body = page + at + 1;
            if (length == 0 && at + 1 < 511) {
                length = page[at + 1];
                body = page + at + 2;
            }
            if (length == stored && uint32_t(body - page) + cb <= 511 && !memcmp(body, papx, cb) &&
                (cb & 1) == (page[at] != 0))
                reuse = last;
        }
    }
    uint32_t needed = (crun & 1) + (reuse ? 0 : cb) + 18;
    uint32_t used = 13 * crun + 4 * crun + 4;
    if (end <= used || end - used <= needed) {
        int err = nextPage(w, page, &w->papPn, &w->fib.cpnBtePap);
        if (err)
            return err;
        crun = 0;
        end = 511;
        reuse = 0;
    }
    memmove(page + 4 * (crun + 2), page + 4 * (crun + 1), 13 * crun);
    Pack_write(page + 4 * crun, "ll", fcFirst, fcLim);
    uint8_t *bx = page + 4 * (crun + 2) + 13 * crun;
    memcpy(bx + 1, phe, 12);
    if (reuse) {
        bx[0] = uint8_t(reuse);
    } else {
        uint32_t o = (end - ((2 - (cb & 1)) + cb)) & ~1u;
        bx[0] = uint8_t(o / 2);
        if (cb & 1) {
            page[o] = uint8_t(stored);
            memcpy(page + o + 1, papx, cb);
        } else {
            page[o] = 0;
            page[o + 1] = uint8_t(stored);
            memcpy(page + o + 2, papx, cb);
        }
    }
    page[511] = uint8_t(crun + 1);
    return WordBins_add(&w->papBins, fcFirst, fcLim, w->papPn);
}

int WordFkp_flushChpx(WordWriter *w)
{
    return w->chpPn ? putPage(w->docStream, w->chpPage, w->chpPn * WordWriter_pageBytes) : Res_ok;
}

int WordFkp_flushPapx(WordWriter *w)
{
    return w->papPn ? putPage(w->docStream, w->papPage, w->papPn * WordWriter_pageBytes) : Res_ok;
}
