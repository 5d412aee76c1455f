// Word text positions: the piece table that maps character positions (CPs)
// onto file offsets (FCs) of the "WordDocument" stream, the character and
// paragraph bin tables with their 512-byte formatted disk pages (FKPs), and
// the paragraph- and run-end searches built on them.
//
// Everything read from the file is checked before it is used: a table's
// offset and length against its stream, the PlcPcd length against what is
// left of the CLX, the pages a bin table names against the pages the
// document stream holds, a page's run count against the page, and each
// CHPX or PAPX against the end of its page.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "office/ole2/ole.h"
#include "word/reader/word.h"

namespace {

bool isWord97(const WordReader *r)
{
    return r->fib.wIdent == Word_identWord97;
}

// The piece i holding cp: CP[i] <= cp < CP[i+1], or cp == CP[n] for the
// last piece when inclusive. Binary search over the ascending CPs.
bool findPiece(const WordReader *r, uint32_t cp, bool inclusive, uint32_t *index)
{
    uint32_t n = r->pieceCount;
    if (n == 0)
        return false;
    const uint32_t *c = r->pieceCps;
    if (cp < c[0])
        return false;
    if (cp >= c[n]) {
        if (inclusive && cp == c[n] && c[n - 1] <= cp) {
            *index = n - 1;
            return true;
        }
        return false;
    }
    uint32_t lo = 0, hi = n; // c[lo] <= cp < c[hi]
    while (hi - lo > 1) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (c[mid] <= cp)
            lo = mid;
        else
            hi = mid;
    }
    if (cp >= c[lo + 1])
        return false; // CPs out of order in a damaged table
    *index = lo;
    return true;
}

uint32_t pieceWidth(uint32_t is16)
{
    return is16 ? 2 : 1;
}

// ---------------------------------------------------------------- FKPs

// The run count of a page, or 0 when its FCs and entries would run past
// the page (crun is byte 511).
uint32_t fkpRuns(const uint8_t *page, uint32_t entryBytes)
{
    uint32_t crun = page[Word_fkpBytes - 1];
    if (4 * (crun + 1) + entryBytes * crun > Word_fkpBytes - 1)
        return 0;
    return crun;
}

uint32_t papxEntryBytes(const WordReader *r)
{
    return isWord97(r) ? 13 : 7;
}

// The page of the bin table whose FC range holds fc (FC[count] included).
int findPage(WordBinTable *t, uint32_t fc)
{
    if (t->count == 0 || fc < t->fcs[0] || fc > t->fcs[t->count])
        return Res_wordNotFound;
    uint32_t lo = 0, hi = t->count;
    while (hi - lo > 1) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (t->fcs[mid] <= fc)
            lo = mid;
        else
            hi = mid;
    }
    if (fc >= t->fcs[lo + 1] && !(lo + 1 == t->count && fc == t->fcs[t->count]))
        return Res_wordNotFound;
    t->current = lo;
    return Res_ok;
}

// The first run k of a page with rgfc[k+1] > fc; with inclusive, the last
// run also matches rgfc[crun] == fc.
bool runAt(const uint8_t *page, uint32_t crun, uint32_t fc, bool inclusive, uint32_t *k)
{
    for (uint32_t i = 0; i < crun; i++)
        if (Bytes_peekU32Le(page + 4 * (i + 1)) > fc) {
            *k = i;
            return true;
        }
    if (inclusive && crun && Bytes_peekU32Le(page + 4 * crun) == fc) {
        *k = crun - 1;
        return true;
    }
    return false;
}

// -------------------------------------------------------- reading tables

int readSyntheticPieces(WordReader *r)
{
    // Without a CLX the text is one run of 8-bit characters from fcMin to
    // fcMac; a file whose fcMac lies below fcMin has no text at all.
    uint32_t length = r->fib.fcMac > r->fib.fcMin ? r->fib.fcMac - r->fib.fcMin : 0;
    uint32_t n = length / Word_syntheticPiece + (length % Word_syntheticPiece ? 1 : 0);
    r->pieceCps = static_cast<uint32_t *>(Mem_calloc(n + 1, sizeof(uint32_t)));
    r->pieces = static_cast<WordPcd *>(Mem_calloc(n ? n : 1, sizeof(WordPcd)));
    if (!r->pieceCps || !r->pieces)
        return Res_noMemory;
    for (uint32_t k = 0; k < n; k++) {
        r->pieceCps[k] = Word_syntheticPiece * k;
        r->pieces[k] = WordPcd{0, r->fib.fcMin + Word_syntheticPiece * k, 0};
    }
    r->pieceCps[n] = length;
    r->pieceCount = n;
    return Res_ok;
}

int readClx(WordReader *r)
{
    const WordFcLcb &pair = r->fib.pairs[WordPair_clx];
    int err = Word_readBlock(r->tableStream, pair.fc, pair.lcb, &r->clx);
    if (err != Res_ok)
        return err;
    r->clxLength = pair.lcb;
    const uint8_t *b = r->clx;
    uint32_t n = r->clxLength, at = 0, prcs = 0;
    // Count the Prc entries: type 1, a u16 size, the modifiers.
    while (at < n && b[at] == 1) {
        if (at + 3 > n)
            return Res_ok;
        uint32_t cb = Bytes_peekU16Le(b + at + 1);
        if (at + 3 + cb > n)
            return Res_ok;
        at += 3 + cb;
        prcs++;
    }
    if (at >= n || b[at] != 2 || at + 5 > n)
        return Res_ok; // no piece table: every CP lookup fails
    uint32_t lcb = Bytes_peekU32Le(b + at + 1);
    // The PlcPcd must lie inside what is left of the CLX.
    if (lcb > n - at - 5 || lcb < 4)
        return Res_ok;
    uint32_t count = (lcb - 4) / 12;
    if (prcs) {
        r->prcs = static_cast<const uint8_t **>(Mem_calloc(prcs, sizeof(const uint8_t *)));
        if (!r->prcs)
            return Res_noMemory;
        uint32_t p = 0;
        for (uint32_t k = 0; k < prcs; k++) {
            r->prcs[k] = b + p + 1;
            p += 3 + Bytes_peekU16Le(b + p + 1);
        }
        r->prcCount = prcs;
    }
    r->pieceCps = static_cast<uint32_t *>(Mem_calloc(count + 1, sizeof(uint32_t)));
    r->pieces = static_cast<WordPcd *>(Mem_calloc(count ? count : 1, sizeof(WordPcd)));
    if (!r->pieceCps || !r->pieces)
        return Res_noMemory;
    const uint8_t *plc = b + at + 5;
    for (uint32_t k = 0; k <= count; k++)
        r->pieceCps[k] = Bytes_peekU32Le(plc + 4 * k);
    const uint8_t *pcd = plc + 4 * (count + 1);
    for (uint32_t k = 0; k < count; k++, pcd += 8)
        r->pieces[k] =
            WordPcd{Bytes_peekU16Le(pcd), Bytes_peekU32Le(pcd + 2), Bytes_peekU16Le(pcd + 6)};
    r->pieceCount = count;
    return Res_ok;
}

// One bin table: its FCs and page numbers, then its pages, with the pages
// the table does not list when cpnBte counts more.
int readBinTable(WordReader *r, WordBinTable *t, const WordFcLcb &pair, uint32_t cpnBte)
{
    uint32_t pnSize = isWord97(r) ? 4 : 2;
    if (pair.lcb < 4)
        return Res_ok;
    uint8_t *raw = nullptr;
    int err = Word_readBlock(r->tableStream, pair.fc, pair.lcb, &raw);
    if (err != Res_ok)
        return err;
    uint32_t count = (pair.lcb - 4) / (4 + pnSize);
    // The pages must be in the document stream: cpnBte never sizes a
    // buffer beyond the pages that stream holds.
    uint32_t streamPages = uint32_t(Ole_streamSize(r->docStream) / Word_fkpBytes);
    if (cpnBte > streamPages)
        cpnBte = streamPages;
    if (cpnBte < count)
        cpnBte = count;
    t->fcs = static_cast<uint32_t *>(Mem_calloc(cpnBte + 1, sizeof(uint32_t)));
    t->pages = static_cast<uint32_t *>(Mem_calloc(cpnBte ? cpnBte : 1, sizeof(uint32_t)));
    t->fkp = static_cast<uint8_t *>(Mem_malloc(size_t(cpnBte ? cpnBte : 1) * Word_fkpBytes));
    if (!t->fcs || !t->pages || !t->fkp) {
        Mem_free(raw);
        return Res_noMemory;
    }
    for (uint32_t k = 0; k <= count; k++)
        t->fcs[k] = Bytes_peekU32Le(raw + 4 * k);
    const uint8_t *pn = raw + 4 * (count + 1);
    for (uint32_t k = 0; k < count; k++)
        t->pages[k] = pnSize == 4 ? Bytes_peekU32Le(pn + 4 * k) : Bytes_peekU16Le(pn + 2 * k);
    Mem_free(raw);
    size_t got = 0;
    for (uint32_t k = 0; k < count; k++) {
        err = Ole_streamReadAt(r->docStream, uint64_t(t->pages[k]) * Word_fkpBytes, Word_fkpBytes,
                               &got, t->fkp + size_t(k) * Word_fkpBytes);
        if (err != Res_ok)
            return err;
    }
    t->count = count;
    // The table lists only its first pages: the others follow in the file.
    uint32_t entryBytes = t == &r->papx ? papxEntryBytes(r) : 1;
    for (uint32_t k = count; k < cpnBte; k++) {
        uint32_t page = k ? t->pages[k - 1] + 1 : 0;
        uint8_t *dst = t->fkp + size_t(k) * Word_fkpBytes;
        if (!k || Ole_streamReadAt(r->docStream, uint64_t(page) * Word_fkpBytes, Word_fkpBytes,
                                   &got, dst) != Res_ok)
            break;
        uint32_t crun = fkpRuns(dst, entryBytes);
        if (!crun)
            break;
        t->pages[k] = page;
        t->fcs[k] = Bytes_peekU32Le(dst);
        t->fcs[k + 1] = Bytes_peekU32Le(dst + 4 * crun);
        t->count = k + 1;
    }
    return Res_ok;
}

// The grpprl of a piece modifier: a Prc list, or one modifier built in buf.
const uint8_t *prmList(const WordReader *r, uint16_t prm, uint8_t *buf)
{
    if (prm & 1) {
        uint32_t index = prm >> 1;
        return index < r->prcCount ? r->prcs[index] : nullptr;
    }
    uint32_t isprm = (prm >> 1) & 0x7F;
    uint8_t operand = uint8_t(prm >> 8);
    if (isWord97(r)) {
        uint16_t sprm = Word_prmSprm(isprm);
        if (!sprm)
            return nullptr;
        buf[0] = 3;
        buf[1] = 0;
        buf[2] = uint8_t(sprm);
        buf[3] = uint8_t(sprm >> 8);
        buf[4] = operand;
    } else {
        buf[0] = 2;
        buf[1] = 0;
        buf[2] = uint8_t(isprm);
        buf[3] = operand;
    }
    return buf;
}

} // namespace

// --------------------------------------------------------------- pieces

int Word_readPieceTable(WordReader *r)
{
    if (r->fib.pairs[WordPair_clx].lcb == 0) {
        r->hasClx = 0;
        return readSyntheticPieces(r);
    }
    r->hasClx = 1;
    return readClx(r);
}

uint32_t Word_pieceFc(uint32_t fc, uint32_t *is16, const WordReader *r)
{
    if (!isWord97(r)) {
        *is16 = 0;
        return fc;
    }
    if (fc & 0x40000000u) {
        *is16 = 0;
        return (fc & ~0x40000000u) / 2;
    }
    *is16 = 1;
    return fc;
}

int Word_cpToFc(uint32_t cp, uint32_t *fc, uint32_t *is16, WordReader *r)
{
    if (!r->hasClx) {
        *fc = r->fib.fcMin + cp;
        *is16 = 0;
        return Res_ok;
    }
    uint32_t i = 0;
    if (!findPiece(r, cp, true, &i))
        return Res_wordNoPieceAtCp;
    uint32_t base = Word_pieceFc(r->pieces[i].fc, is16, r);
    *fc = base + (cp - r->pieceCps[i]) * pieceWidth(*is16);
    return Res_ok;
}

int Word_fcToCp(uint32_t fc, uint32_t *cp, WordReader *r)
{
    if (!r->hasClx) {
        *cp = fc - r->fib.fcMin;
        return Res_ok;
    }
    for (uint32_t i = 0; i < r->pieceCount; i++) {
        uint32_t is16 = 0;
        uint32_t start = Word_pieceFc(r->pieces[i].fc, &is16, r);
        uint32_t w = pieceWidth(is16);
        uint64_t end = uint64_t(start) + uint64_t(r->pieceCps[i + 1] - r->pieceCps[i]) * w;
        bool last = i + 1 == r->pieceCount;
        if (fc >= start && (fc < end || (last && fc == end))) {
            *cp = r->pieceCps[i] + (fc - start) / w;
            return Res_ok;
        }
    }
    return Res_wordNoPieceAtFc;
}

int Word_pieceAtCp(uint32_t cp, uint32_t *start, uint32_t *end, uint32_t *is16, WordReader *r)
{
    uint32_t i = 0;
    if (!findPiece(r, cp, false, &i))
        return Res_wordNoPieceAtCp;
    *start = r->pieceCps[i];
    *end = r->pieceCps[i + 1];
    (void)Word_pieceFc(r->pieces[i].fc, is16, r);
    return Res_ok;
}

int Word_fcToCpInPiece(uint32_t cp, uint32_t fc, uint32_t *cp2, WordReader *r)
{
    if (!r->hasClx) {
        *cp2 = fc - r->fib.fcMin;
        return Res_ok;
    }
    uint32_t i = 0;
    if (!findPiece(r, cp, false, &i))
        return Res_wordNoPieceAtCp;
    uint32_t is16 = 0;
    uint32_t start = Word_pieceFc(r->pieces[i].fc, &is16, r);
    uint32_t w = pieceWidth(is16);
    uint64_t end = uint64_t(start) + uint64_t(r->pieceCps[i + 1] - r->pieceCps[i]) * w;
    if (fc < start || fc > end)
        return Res_wordNoPieceAtFc;
    *cp2 = r->pieceCps[i] + (fc - start) / w;
    return Res_ok;
}

int Word_samePiece(uint32_t cp1, uint32_t cp2, uint32_t *same, WordReader *r)
{
    if (!r->hasClx) {
        *same = 1;
        return Res_ok;
    }
    uint32_t i = 0, j = 0;
    *same = findPiece(r, cp1, false, &i) && findPiece(r, cp2, false, &j) && i == j;
    return Res_ok;
}

int Word_pieceEndCp(uint32_t cp, uint32_t *end, WordReader *r)
{
    if (!r->hasClx) {
        if (r->fib.fcMac <= r->fib.fcMin)
            return Res_wordNotFound;
        *end = r->fib.fcMac - 1 - r->fib.fcMin;
        return Res_ok;
    }
    uint32_t i = 0;
    if (!findPiece(r, cp, true, &i))
        return Res_wordNotFound;
    *end = r->pieceCps[i + 1];
    return Res_ok;
}

int Word_pieceLastCp(uint32_t cp, uint32_t *last, WordReader *r)
{
    if (!r->hasClx)
        return Word_pieceEndCp(cp, last, r);
    uint32_t i = 0;
    if (!findPiece(r, cp, false, &i))
        return Res_wordNotFound;
    *last = r->pieceCps[i + 1] - 1;
    return Res_ok;
}

// ----------------------------------------------------------- bin tables

int Word_readBinTables(WordReader *r)
{
    int err = readBinTable(r, &r->chpx, r->fib.pairs[WordPair_plcfbteChpx], r->fib.cpnBteChp);
    if (err == Res_ok)
        err = readBinTable(r, &r->papx, r->fib.pairs[WordPair_plcfbtePapx], r->fib.cpnBtePap);
    return err;
}

int Word_findChpxPage(uint32_t fc, WordReader *r)
{
    return findPage(&r->chpx, fc);
}

int Word_findPapxPage(uint32_t fc, WordReader *r)
{
    return findPage(&r->papx, fc);
}

int Word_chpxAtCp(uint32_t cp, const uint8_t **chpx, WordReader *r)
{
    *chpx = nullptr;
    uint32_t fc = 0, is16 = 0;
    int err = Word_cpToFc(cp, &fc, &is16, r);
    if (err != Res_ok)
        return err;
    if ((err = Word_findChpxPage(fc, r)) != Res_ok)
        return err;
    const uint8_t *page = r->chpx.fkp + size_t(r->chpx.current) * Word_fkpBytes;
    uint32_t crun = fkpRuns(page, 1), k = 0;
    if (!runAt(page, crun, fc, true, &k))
        return Res_wordNotFound;
    uint32_t at = 2u * page[4 * (crun + 1) + k];
    // A CHPX that would pass the end of its page is ignored.
    if (at && at + 1 + page[at] <= Word_fkpBytes - 1)
        *chpx = page + at;
    return Res_ok;
}

int Word_papxAtCp(uint32_t cp, uint32_t *height, const uint8_t **papx, WordReader *r)
{
    *papx = nullptr;
    if (height)
        *height = 0;
    uint32_t fc = 0, is16 = 0;
    int err = Word_cpToFc(cp, &fc, &is16, r);
    if (err != Res_ok)
        return err;
    if ((err = Word_findPapxPage(fc, r)) != Res_ok)
        return err;
    const uint8_t *page = r->papx.fkp + size_t(r->papx.current) * Word_fkpBytes;
    uint32_t bx = papxEntryBytes(r);
    uint32_t crun = fkpRuns(page, bx), k = 0;
    if (!runAt(page, crun, fc, false, &k))
        return Res_wordNotFound;
    const uint8_t *entry = page + 4 * (crun + 1) + bx * k;
    uint32_t at = 2u * entry[0];
    if (at) {
        // The PAPX's length: a cw byte (a zero cw in Word 97 is followed by
        // the real one), then 2cw bytes; it must end inside the page.
        uint32_t cw = page[at], size = 1 + 2 * cw;
        if (cw == 0 && isWord97(r))
            size = at + 1 < Word_fkpBytes - 1 ? 2 + 2u * page[at + 1] : Word_fkpBytes;
        if (at + size <= Word_fkpBytes - 1 && size >= 3)
            *papx = page + at;
    }
    if (height) {
        const uint8_t *phe = entry + 1;
        if (!(phe[1] & 2)) {
            uint32_t h = isWord97(r) ? Bytes_peekU32Le(phe + 8) : Bytes_peekU16Le(phe + 4);
            *height = (phe[1] & 4) ? h : h * phe[2];
        }
    }
    return Res_ok;
}

int Word_nextParaEnd(uint32_t cp, uint32_t *end, WordReader *r)
{
    uint32_t limit = r->subdocStart[r->subdoc < 8 ? r->subdoc + 1 : 8];
    while (cp < limit) {
        uint32_t fc = 0, is16 = 0;
        int err = Word_cpToFc(cp, &fc, &is16, r);
        if (err != Res_ok)
            return err;
        if (Word_findPapxPage(fc, r) != Res_ok) {
            uint32_t next = 0;
            if ((err = Word_pieceEndCp(cp, &next, r)) != Res_ok)
                return err;
            if (next <= cp)
                return Res_wordSubdocEnd;
            cp = next;
            continue;
        }
        uint32_t last = 0, lastFc = 0, lastIs16 = 0;
        if ((err = Word_pieceLastCp(cp, &last, r)) != Res_ok)
            return err;
        if ((err = Word_cpToFc(last, &lastFc, &lastIs16, r)) != Res_ok)
            return err;
        uint32_t fcLimit = lastFc + (lastIs16 ? 2 : 1);
        const uint8_t *page = r->papx.fkp + size_t(r->papx.current) * Word_fkpBytes;
        uint32_t crun = fkpRuns(page, papxEntryBytes(r)), k = 0;
        if (!runAt(page, crun, fc, false, &k))
            return Res_wordSubdocEnd;
        uint32_t paraEnd = Bytes_peekU32Le(page + 4 * (k + 1));
        if (paraEnd <= fcLimit) {
            uint32_t cp2 = 0;
            if ((err = Word_fcToCpInPiece(cp, paraEnd, &cp2, r)) != Res_ok)
                return err;
            if (cp2 <= cp)
                return Res_wordSubdocEnd;
            *end = cp2;
            return Res_ok;
        }
        if (last + 1 <= cp)
            return Res_wordSubdocEnd;
        cp = last + 1;
    }
    return Res_wordSubdocEnd;
}

int Word_isChpxRunStart(uint32_t fc, uint32_t *flag, WordReader *r)
{
    *flag = 0;
    const WordBinTable &t = r->chpx;
    for (uint32_t i = 0; i < t.count; i++) {
        if (fc < t.fcs[i] || fc > t.fcs[i + 1])
            continue;
        const uint8_t *page = t.fkp + size_t(i) * Word_fkpBytes;
        uint32_t crun = fkpRuns(page, 1);
        for (uint32_t k = 0; crun && k <= crun; k++)
            if (Bytes_peekU32Le(page + 4 * k) == fc) {
                *flag = 1;
                return Res_ok;
            }
    }
    return Res_ok;
}

namespace {

int piecesNextRunEnd(uint32_t cp, uint32_t *end, WordReader *r)
{
    uint32_t limit = r->subdocStart[r->subdoc < 8 ? r->subdoc + 1 : 8];
    while (cp < limit) {
        uint32_t fc = 0, is16 = 0;
        int err = Word_cpToFc(cp, &fc, &is16, r);
        if (err != Res_ok)
            return err;
        uint32_t pieceEnd = 0;
        if (Word_findChpxPage(fc, r) != Res_ok) {
            if ((err = Word_pieceEndCp(cp, &pieceEnd, r)) != Res_ok)
                return err;
            if (pieceEnd <= cp)
                break;
            cp = pieceEnd;
            continue;
        }
        uint32_t last = 0, lastFc = 0, lastIs16 = 0;
        if ((err = Word_pieceLastCp(cp, &last, r)) != Res_ok)
            return err;
        if ((err = Word_cpToFc(last, &lastFc, &lastIs16, r)) != Res_ok)
            return err;
        const uint8_t *page = r->chpx.fkp + size_t(r->chpx.current) * Word_fkpBytes;
        uint32_t crun = fkpRuns(page, 1), k = 0;
        if (!runAt(page, crun, fc, false, &k)) {
            *end = last + 1;
            return Res_ok;
        }
        uint32_t runEnd = Bytes_peekU32Le(page + 4 * (k + 1));
        if (runEnd <= lastFc) {
            uint32_t cp2 = 0;
            if ((err = Word_fcToCpInPiece(cp, runEnd, &cp2, r)) != Res_ok)
                return err;
            if (cp2 > cp) {
                *end = cp2;
                return Res_ok;
            }
        }
        uint32_t flag = 0;
        (void)Word_isChpxRunStart(lastFc + (lastIs16 ? 2 : 1), &flag, r);
        if (flag) {
            *end = last + 1;
            return Res_ok;
        }
        if ((err = Word_pieceEndCp(cp, &pieceEnd, r)) != Res_ok)
            return err;
        if (pieceEnd <= cp)
            break;
        cp = pieceEnd;
    }
    *end = limit;
    return Res_ok;
}

} // namespace

int Word_nextRunEnd(uint32_t cp, uint32_t *end, WordReader *r)
{
    int err = piecesNextRunEnd(cp, end, r);
    // A damaged piece table can place the last character of cp's piece
    // before cp: the run then ends after cp's own character, so that a
    // reader walking run by run always moves on.
    if (err == Res_ok && *end <= cp)
        *end = cp + 1;
    return err;
}

int Word_applyPrm(uint16_t prm, uint32_t kind, WordSep *sep, WordPap *pap, WordChp *chp,
                  WordTap *tap, WordReader *r)
{
    uint8_t buf[5];
    const uint8_t *list = prmList(r, prm, buf);
    if (!list)
        return Res_ok;
    return Word_applyGrpprl(sep, pap, chp, tap, nullptr, kind, list, r);
}

int Word_applyParaProps(uint32_t cp, WordPap *pap, WordTap *tap, WordReader *r)
{
    uint32_t end = 0;
    int err = Word_nextParaEnd(cp, &end, r);
    if (err == Res_wordSubdocEnd)
        return Res_ok;
    if (err != Res_ok)
        return err;
    const uint8_t *papx = nullptr;
    err = Word_papxAtCp(end - 1, nullptr, &papx, r);
    if (err != Res_ok && err != Res_wordNotFound)
        return err;
    if (papx && (err = Word_applyGrpprl(nullptr, pap, nullptr, tap, nullptr, WordGrpprl_fkpPapx,
                                        papx, r)) != Res_ok)
        return err;
    if (!(r->fib.flags & 4) || !r->hasClx)
        return Res_ok;
    uint32_t i = 0;
    if (!findPiece(r, end - 1, false, &i))
        return Res_wordNotFound;
    return Word_applyPrm(r->pieces[i].prm, WordGrpprl_papList, nullptr, pap, nullptr, tap, r);
}

int Word_applyRunProps(uint32_t cp, WordChp *chp, WordReader *r)
{
    const uint8_t *chpx = nullptr;
    int err = Word_chpxAtCp(cp, &chpx, r);
    if (err != Res_ok && err != Res_wordNotFound)
        return err;
    if (chpx && (err = Word_applyGrpprl(nullptr, nullptr, chp, nullptr, nullptr, WordGrpprl_fkpChpx,
                                        chpx, r)) != Res_ok)
        return err;
    if (!(r->fib.flags & 4) || !r->hasClx)
        return Res_ok;
    uint32_t i = 0;
    if (!findPiece(r, cp, false, &i))
        return Res_ok;
    return Word_applyPrm(r->pieces[i].prm, WordGrpprl_chpList, nullptr, nullptr, chp, nullptr, r);
}
