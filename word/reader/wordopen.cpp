// Word recognition: the compound file, the "WordDocument" stream, the
// table and data streams and the file information block.
//
// The FIB is read into a temporary buffer and unpacked field by field,
// little-endian, into the Word 97 layout; a Word 6/95 FIB fills the same
// record from its own offsets, and the fields it lacks stay zero.
#include "word/reader/word.h"
#include "word/reader/wordfonts.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/ustr.h"
#include "document/edr/handler.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/vfs.h"

namespace {

// Reads n bytes at offset 0 of the document stream into a new buffer.
int readFibBytes(WordReader *r, size_t n, uint8_t **out)
{
    *out = static_cast<uint8_t *>(Mem_malloc(n));
    if (!*out)
        return Res_noMemory;
    size_t got = 0;
    int err = Ole_streamReadAt(r->docStream, 0, n, &got, *out);
    if (err != Res_ok) {
        Mem_free(*out);
        *out = nullptr;
    }
    return err;
}

// The fields at 0x000 to 0x00D common to both layouts.
void readHead(WordFib &f, const uint8_t *b)
{
    f.wIdent = Bytes_peekU16Le(b + 0x000);
    f.nFib = Bytes_peekU16Le(b + 0x002);
    f.nProduct = Bytes_peekU16Le(b + 0x004);
    f.lid = Bytes_peekU16Le(b + 0x006);
    f.pnNext = int16_t(Bytes_peekU16Le(b + 0x008));
    f.flags = Bytes_peekU16Le(b + 0x00A);
    f.nFibBack = Bytes_peekU16Le(b + 0x00C);
    f.lKey = Bytes_peekU32Le(b + 0x00E);
    f.envr = b[0x012];
}

void readPairs(WordFib &f, const uint8_t *b, size_t at, uint32_t first, uint32_t count)
{
    for (uint32_t k = 0; k < count; k++) {
        f.pairs[first + k].fc = int32_t(Bytes_peekU32Le(b + at + 8 * k));
        f.pairs[first + k].lcb = Bytes_peekU32Le(b + at + 8 * k + 4);
    }
}

// Where the Word 6/95 FIB keeps runs of pairs: {offset, first pair, count}.
struct PairRun {
    uint16_t offset;
    uint8_t first;
    uint8_t count;
};
constexpr PairRun kWord6Pairs[] = {
    {0x058, 0, 38}, {0x192, 38, 2},  {0x1B2, 42, 8}, {0x1FA, 51, 4},
    {0x222, 56, 4}, {0x242, 60, 12}, {0x2A2, 72, 1},
};

// The pair of the Word 97 FIB that holds the modification date: skipped.
constexpr uint32_t kSkippedPair = 87;

void fillSubdocStarts(WordReader *r)
{
    r->subdocStart[0] = 0;
    r->subdocStart[1] = r->fib.ccpText;
    for (int k = 1; k < 8; k++)
        r->subdocStart[k + 1] = r->subdocStart[k] + uint32_t(r->fib.ccpMore[k - 1]);
}

// The descriptor's release: the handler has nothing to free.
void releaseNothing(EngineContext *, Edr_HandlerDesc *) {}

} // namespace

int Word_readerNew(WordReader **out)
{
    *out = static_cast<WordReader *>(Mem_calloc(1, sizeof(WordReader)));
    if (!*out)
        return Res_noMemory;
    Word_readerInit(*out);
    return Res_ok;
}

void Word_readerInit(WordReader *r)
{
    r->clx = nullptr;
    r->clxLength = 0;
    r->hasClx = 0;
    r->prcs = nullptr;
    r->prcCount = 0;
    r->pieceCps = nullptr;
    r->pieces = nullptr;
    r->pieceCount = 0;
    memset(&r->chpx, 0, sizeof r->chpx);
    memset(&r->papx, 0, sizeof r->papx);
    r->stsh = nullptr;
    r->stshLength = 0;
    memset(&r->stshi, 0, sizeof r->stshi);
    r->stdOffsets = nullptr;
    r->styles = nullptr;
    r->styleCount = 0;
    r->istdNormal = 0;
    r->istdDefaultFont = 0;
    r->istdTable = 0xFFFFFFFF;
    r->sections = nullptr;
    r->sectionCount = 0;
    r->plcfHdd = nullptr;
    r->hddLength = 0;
    r->hddStoryCounter = 0;
    r->sectGrpfIhdt = 0;
    r->bookmarks = nullptr;
    r->fonts = nullptr;
    r->fontCount = 0;
    r->symbolFont = -1;
    r->numberedList = -1;
    r->wingdingsFont = -1;
    r->lists = nullptr;
    r->listCount = 0;
    r->listCapacity = 0;
    r->lfos = nullptr;
    r->lfoCount = 0;
    r->sprmDepth = 0;
}

void Word_readerFreeTables(WordReader *r)
{
    Mem_free(r->clx);
    Mem_free(r->prcs);
    Mem_free(r->pieceCps);
    Mem_free(r->pieces);
    WordBinTable *tables[2] = {&r->chpx, &r->papx};
    for (WordBinTable *t : tables) {
        Mem_free(t->fcs);
        Mem_free(t->pages);
        Mem_free(t->fkp);
    }
    Mem_free(r->stsh);
    Mem_free(r->stdOffsets);
    for (uint32_t i = 0; r->styles && i < r->styleCount; i++) {
        Mem_free(r->styles[i].name);
        Mem_free(r->styles[i].conditional);
    }
    Mem_free(r->styles);
    for (uint32_t i = 0; r->sections && i < r->sectionCount; i++)
        Mem_free(r->sections[i].sepx);
    Mem_free(r->sections);
    Mem_free(r->plcfHdd);
    Word_bookmarksFree(r);
    Word_fontsFree(r->fonts, r->fontCount);
    Word_lfoTableFree(r);
    Word_listTableFree(r);
    Word_readerInit(r);
}

void Word_readerFree(WordReader *reader)
{
    if (!reader)
        return;
    Word_closeStreams(reader);
    Ole_closeFile(&reader->ole);
    Word_readerFreeTables(reader);
    Mem_free(reader);
}

int Word_readBlock(OleStream *stream, int64_t fc, uint32_t lcb, uint8_t **out)
{
    *out = nullptr;
    if (lcb == 0)
        return Res_ok;
    if (!stream)
        return Res_oleStreamEnd;
    uint64_t size = Ole_streamSize(stream);
    if (fc < 0 || uint64_t(fc) > size)
        return Res_oleSeekBeyond;
    if (uint64_t(lcb) > size - uint64_t(fc))
        return Res_oleStreamEnd;
    *out = static_cast<uint8_t *>(Mem_malloc(lcb));
    if (!*out)
        return Res_noMemory;
    size_t got = 0;
    int err = Ole_streamReadAt(stream, uint64_t(fc), lcb, &got, *out);
    if (err == Res_ok && got != lcb)
        err = Res_oleStreamEnd;
    if (err != Res_ok) {
        Mem_free(*out);
        *out = nullptr;
    }
    return err;
}

int Word_readFib97(WordReader *r)
{
    uint8_t *b = nullptr;
    int err = readFibBytes(r, Word_fib97Bytes, &b);
    if (err != Res_ok)
        return err;
    WordFib &f = r->fib;
    memset(&f, 0, sizeof f);
    readHead(f, b);
    f.flags2 = b[0x013];
    f.chs = Bytes_peekU16Le(b + 0x014);
    f.chsTables = Bytes_peekU16Le(b + 0x016);
    f.fcMin = Bytes_peekU32Le(b + 0x018);
    f.fcMac = Bytes_peekU32Le(b + 0x01C);
    f.csw = Bytes_peekU16Le(b + 0x020);
    f.wMagicCreated = Bytes_peekU16Le(b + 0x022);
    f.wMagicRevised = Bytes_peekU16Le(b + 0x024);
    f.wMagicCreatedPrivate = Bytes_peekU16Le(b + 0x026);
    f.wMagicRevisedPrivate = Bytes_peekU16Le(b + 0x028);
    for (int i = 0; i < 9; i++)
        f.w6Words[i] = int16_t(Bytes_peekU16Le(b + 0x02A + 2 * i));
    f.lidFE = Bytes_peekU16Le(b + 0x03C);
    f.clw = Bytes_peekU16Le(b + 0x03E);
    f.cbMac = int32_t(Bytes_peekU32Le(b + 0x040));
    f.lProductCreated = Bytes_peekU32Le(b + 0x044);
    f.lProductRevised = Bytes_peekU32Le(b + 0x048);
    f.ccpText = Bytes_peekU32Le(b + 0x04C);
    for (int i = 0; i < 7; i++)
        f.ccpMore[i] = int32_t(Bytes_peekU32Le(b + 0x050 + 4 * i));
    f.pnFbpChpFirst = int32_t(Bytes_peekU32Le(b + 0x06C));
    f.pnChpFirst = int32_t(Bytes_peekU32Le(b + 0x070));
    f.cpnBteChp = Bytes_peekU32Le(b + 0x074);
    f.pnFbpPapFirst = int32_t(Bytes_peekU32Le(b + 0x078));
    f.pnPapFirst = int32_t(Bytes_peekU32Le(b + 0x07C));
    f.cpnBtePap = Bytes_peekU32Le(b + 0x080);
    f.pnFbpLvcFirst = int32_t(Bytes_peekU32Le(b + 0x084));
    f.pnLvcFirst = int32_t(Bytes_peekU32Le(b + 0x088));
    f.cpnBteLvc = int32_t(Bytes_peekU32Le(b + 0x08C));
    f.fcIslandFirst = int32_t(Bytes_peekU32Le(b + 0x090));
    f.fcIslandLim = int32_t(Bytes_peekU32Le(b + 0x094));
    f.cfclcb = Bytes_peekU16Le(b + 0x098);
    readPairs(f, b, 0x09A, 0, Word_fcLcbCount);
    f.pairs[kSkippedPair] = WordFcLcb{0, 0};
    Mem_free(b);
    return Res_ok;
}

int Word_readFib6(WordReader *r)
{
    uint8_t *b = nullptr;
    int err = readFibBytes(r, Word_fib6Bytes, &b);
    if (err != Res_ok)
        return err;
    WordFib &f = r->fib;
    memset(&f, 0, sizeof f);
    readHead(f, b);
    // Of the flags only bits 0-8 and 10-12 exist in this layout.
    f.flags &= 0x1DFF;
    f.chs = Bytes_peekU16Le(b + 0x014);
    f.chsTables = Bytes_peekU16Le(b + 0x016);
    f.fcMin = Bytes_peekU32Le(b + 0x018);
    f.fcMac = Bytes_peekU32Le(b + 0x01C);
    f.cbMac = int32_t(Bytes_peekU32Le(b + 0x020));
    f.ccpText = Bytes_peekU32Le(b + 0x034);
    for (int i = 0; i < 7; i++)
        f.ccpMore[i] = int32_t(Bytes_peekU32Le(b + 0x038 + 4 * i));
    f.pnChpFirst = int16_t(Bytes_peekU16Le(b + 0x18A));
    f.pnPapFirst = int16_t(Bytes_peekU16Le(b + 0x18C));
    f.cpnBteChp = Bytes_peekU16Le(b + 0x18E);
    f.cpnBtePap = Bytes_peekU16Le(b + 0x190);
    for (const PairRun &run : kWord6Pairs)
        readPairs(f, b, run.offset, run.first, run.count);
    f.csw = 14;
    f.wMagicCreated = 0x6A62;
    Mem_free(b);
    return Res_ok;
}

int Word_openStreams(WordReader *r)
{
    // 1. The document stream.
    int err = Ole_streamOpenByName(r->ole, &r->docStream, 0, u"WordDocument");
    if (err != Res_ok)
        return err;
    // 2. and 3. wIdent chooses the FIB.
    uint8_t ident[2];
    size_t got = 0;
    if ((err = Ole_streamReadAt(r->docStream, 0, 2, &got, ident)) != Res_ok)
        return err;
    uint32_t wIdent = Bytes_peekU16Le(ident);
    if (wIdent == Word_identWord6)
        err = Word_readFib6(r);
    else if (wIdent == Word_identWord97)
        err = Word_readFib97(r);
    else
        return Res_wordNotWord;
    if (err != Res_ok)
        return err;
    // 4. The table and data streams.
    if (wIdent == Word_identWord6) {
        r->tableStream = r->docStream;
        r->dataStream = r->docStream;
    } else {
        const char16_t *table = (r->fib.flags & Word_flagWhichTblStm) ? u"1Table" : u"0Table";
        if ((err = Ole_streamOpenByName(r->ole, &r->tableStream, 0, table)) != Res_ok)
            return err;
        if (Ole_streamOpenByName(r->ole, &r->dataStream, 0, u"Data") != Res_ok)
            r->dataStream = nullptr;
    }
    // 5. Where each sub-document's text begins.
    fillSubdocStarts(r);
    return Res_ok;
}

void Word_closeStreams(WordReader *r)
{
    bool word97 = r->fib.wIdent == Word_identWord97;
    (void)Ole_streamClose(&r->docStream);
    if (word97) {
        (void)Ole_streamClose(&r->tableStream);
        (void)Ole_streamClose(&r->dataStream);
    }
    r->tableStream = nullptr;
    r->dataStream = nullptr;
}

int Word_matchMime(EngineContext *, Edr_HandlerDesc *, const char16_t *mime, int32_t *score)
{
    *score = mime && Ustr_icmpCstr(mime, "application/msword") == 0 ? 100 : 0;
    return Res_ok;
}

bool Word_isEarlyWordFile(VfsHandle *stream)
{
    uint8_t ident[2];
    size_t got = 0;
    if (Vfs_seek(stream, 0) != Res_ok || Vfs_readBytes(stream, ident, 2, &got) != Res_ok ||
        got != 2)
        return false;
    uint32_t wIdent = Bytes_peekU16Le(ident);
    return wIdent == Word_identWord1 || wIdent == Word_identWord2;
}

int Word_recognise(EngineContext *context, Edr_HandlerDesc *, VfsHandle *stream, int32_t *score,
                   uint32_t *typeId)
{
    *score = 0;
    WordReader *r = nullptr;
    int err = Word_readerNew(&r);
    if (err != Res_ok)
        return err;
    r->ctx = context;
    err = Ole_openStream(stream, &r->ole);
    if (err == Res_ok)
        err = Word_openStreams(r);
    else if (err != Res_noMemory && Word_isEarlyWordFile(stream))
        // An older Word file is taken, to be refused by name at load.
        err = Res_ok;
    Word_readerFree(r);
    if (err == Res_ok) {
        *score = 100;
        *typeId = Word_mimeTypeId;
    }
    if (err == Res_noMemory)
        return err;
    // The probe read the header: every other handler, and the Word open
    // itself, must find the stream at its start again.
    return Vfs_seek(stream, 0);
}

int Word_describe(EngineContext *, Edr_HandlerDesc *desc)
{
    desc->matchMime = Word_matchMime; // word 1
    desc->sniff = Word_recognise;     // word 2
    desc->open = Word_loadDocument;   // word 3
    desc->release = releaseNothing;   // word 12
    desc->enabled = 1;                // word 15
    return Res_ok;
}
