// The Word section table (PlcfSed with each section's SEPX from the
// document stream) and the header/footer story table (PlcfHdd), with the
// lookups the section builder needs.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "office/ole2/ole.h"
#include "word/reader/word.h"

namespace {

int oneSection(WordReader *r)
{
    r->sections = static_cast<WordSection *>(Mem_calloc(1, sizeof(WordSection)));
    if (!r->sections)
        return Res_noMemory;
    r->sections[0] = WordSection{0, r->fib.ccpText, nullptr};
    r->sectionCount = 1;
    return Res_ok;
}

int readSepx(WordReader *r, uint32_t fcSepx, uint8_t **out)
{
    uint8_t head[2];
    size_t got = 0;
    if (uint64_t(fcSepx) + 2 > Ole_streamSize(r->docStream))
        return Res_oleStreamEnd;
    int err = Ole_streamReadAt(r->docStream, fcSepx, 2, &got, head);
    if (err != Res_ok)
        return err;
    return Word_readBlock(r->docStream, fcSepx, uint32_t(Bytes_peekU16Le(head)) + 2, out);
}

uint32_t bitsSet(uint32_t v)
{
    uint32_t n = 0;
    for (; v; v &= v - 1)
        n++;
    return n;
}

} // namespace

int Word_readSections(WordReader *r)
{
    const WordFcLcb &pair = r->fib.pairs[WordPair_plcfsed];
    if (pair.lcb == 0)
        return oneSection(r);
    if (pair.lcb < 4 || (pair.lcb - 4) % 16)
        return Res_wordBadSections;
    uint32_t n = (pair.lcb - 4) / 16;
    if (n == 0)
        return oneSection(r);
    uint8_t *plc = nullptr;
    int err = Word_readBlock(r->tableStream, pair.fc, pair.lcb, &plc);
    if (err != Res_ok)
        return err;
    r->sections = static_cast<WordSection *>(Mem_calloc(n, sizeof(WordSection)));
    if (!r->sections) {
        Mem_free(plc);
        return Res_noMemory;
    }
    r->sectionCount = n;
    const uint8_t *sed = plc + 4 * (n + 1);
    for (uint32_t i = 0; i < n && err == Res_ok; i++, sed += 12) {
        r->sections[i].start = Bytes_peekU32Le(plc + 4 * i);
        r->sections[i].end = Bytes_peekU32Le(plc + 4 * (i + 1));
        uint32_t fcSepx = Bytes_peekU32Le(sed + 2);
        if (fcSepx != 0xFFFFFFFF)
            err = readSepx(r, fcSepx, &r->sections[i].sepx);
    }
    Mem_free(plc);
    return err;
}

int Word_readHeaderTable(WordReader *r)
{
    const WordFcLcb &pair = r->fib.pairs[WordPair_plcfhdd];
    if (pair.lcb == 0)
        return Res_ok;
    // A table outside its stream is taken as absent: the document then has
    // no headers or footers.
    int err = Word_readBlock(r->tableStream, pair.fc, pair.lcb, &r->plcfHdd);
    if (err == Res_noMemory)
        return err;
    if (err != Res_ok)
        return Res_ok;
    r->hddLength = pair.lcb;
    return Res_ok;
}

int Word_sectionAtCp(uint32_t cp, uint32_t *start, uint32_t *end, WordReader *r)
{
    for (uint32_t i = 0; i < r->sectionCount; i++)
        if (r->sections[i].start <= cp && cp < r->sections[i].end) {
            *start = r->sections[i].start;
            *end = r->sections[i].end;
            return Res_ok;
        }
    return Res_wordNotFound;
}

int Word_readSectionProps(uint32_t cp, WordSep *sep, WordReader *r)
{
    const WordSection *s = nullptr;
    for (uint32_t i = 0; i < r->sectionCount && !s; i++)
        if (r->sections[i].start <= cp && cp < r->sections[i].end)
            s = &r->sections[i];
    if (!s)
        return Res_wordNotFound;
    int err =
        Word_applyGrpprl(sep, nullptr, nullptr, nullptr, nullptr, WordGrpprl_sepx, s->sepx, r);
    if (err != Res_ok || !(r->fib.flags & 4) || !r->hasClx)
        return err;
    uint32_t start = 0, end = 0, is16 = 0;
    if (Word_pieceAtCp(s->end - 1, &start, &end, &is16, r) != Res_ok)
        return Res_wordNotFound;
    for (uint32_t i = 0; i < r->pieceCount; i++)
        if (r->pieceCps[i] == start)
            return Word_applyPrm(r->pieces[i].prm, WordGrpprl_sepList, sep, nullptr, nullptr,
                                 nullptr, r);
    return Res_wordNotFound;
}

int Word_isSectionMark(uint32_t cp, uint32_t *flag, WordReader *r)
{
    *flag = 0;
    for (uint32_t i = 0; i < r->sectionCount; i++)
        if (r->sections[i].start == cp + 1)
            *flag = 1;
    return Res_ok;
}

int Word_headerRange(uint32_t section, uint32_t kind, uint32_t *start, uint32_t *end, WordReader *r)
{
    *start = 0;
    *end = 0;
    uint32_t entries = r->hddLength / 4;
    uint32_t base = r->fib.ccpText + uint32_t(r->fib.ccpMore[0]);
    const uint8_t *cp = r->plcfHdd;
    if (r->fib.wIdent == Word_identWord97) {
        uint64_t index = 6 + 6 * uint64_t(section) + kind;
        if (kind < 6 && index + 1 < entries) {
            *start = Bytes_peekU32Le(cp + 4 * index) + base;
            *end = Bytes_peekU32Le(cp + 4 * (index + 1)) + base;
        }
        return Res_ok;
    }
    if (r->fib.wIdent != Word_identWord6)
        return Res_wordNotWord;
    if (kind >= 6 || !(r->sectGrpfIhdt & (1u << kind)))
        return Res_ok;
    uint32_t index = r->hddStoryCounter + bitsSet(r->sectGrpfIhdt & ((1u << kind) - 1));
    if (index >= entries)
        return Res_ok;
    if (index + 1 >= entries) {
        *start = *end = Bytes_peekU32Le(cp + 4 * index);
        return Res_ok;
    }
    *start = Bytes_peekU32Le(cp + 4 * index) + base;
    *end = Bytes_peekU32Le(cp + 4 * (index + 1)) + base;
    return Res_ok;
}

int Word_cpInSubdoc(uint32_t subdoc, uint32_t cp, uint32_t *relative, const WordFib *fib)
{
    if (subdoc > 7)
        return Res_wordBadSubdoc;
    uint32_t before = 0;
    for (uint32_t k = 0; k < subdoc; k++)
        before += k == 0 ? fib->ccpText : uint32_t(fib->ccpMore[k - 1]);
    *relative = cp - before;
    return Res_ok;
}
