// Fuzz target for the Word reader's tables: the input is split into the
// "WordDocument", table and "Data" streams (each after its u32 length; a
// short input is the document stream alone), wrapped in a compound file,
// opened, and every table is loaded; then the lookups walk the paragraphs,
// runs, sections, header stories and bookmarks of the text. A failure must
// come back as a code, and nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"
#include "tests/word/cfb_build.h"
#include "word/reader/word.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

// The three streams of the input.
void split(const uint8_t *data, size_t size, std::string parts[3])
{
    size_t at = 0;
    for (int k = 0; k < 3; k++) {
        if (at + 4 > size) {
            if (k == 0)
                parts[0].assign(reinterpret_cast<const char *>(data), size);
            return;
        }
        uint32_t n = uint32_t(data[at]) | (uint32_t(data[at + 1]) << 8) |
                     (uint32_t(data[at + 2]) << 16) | (uint32_t(data[at + 3]) << 24);
        at += 4;
        if (n > size - at)
            n = uint32_t(size - at);
        parts[k].assign(reinterpret_cast<const char *>(data + at), n);
        at += n;
    }
}

void walk(WordReader *r)
{
    if (Word_readHeaderTable(r) || Word_readSections(r) || Word_readPieceTable(r) ||
        Word_readBookmarks(r) || Word_readBinTables(r) || Word_readStyleSheet(r))
        return;
    uint32_t limit = r->subdocStart[1];
    uint32_t cp = 0;
    for (int i = 0; i < 300 && cp < limit; i++) {
        uint32_t end = 0, runEnd = 0, height = 0;
        const uint8_t *papx = nullptr;
        WordPap pap;
        WordTap tap;
        WordChp chp;
        Word_defaultPap(&pap);
        Word_clearTap(&tap);
        Word_defaultChp(&chp);
        (void)Word_papxAtCp(cp, &height, &papx, r);
        (void)Word_applyParaProps(cp, &pap, &tap, r);
        (void)Word_applyRunProps(cp, &chp, r);
        if (Word_nextRunEnd(cp, &runEnd, r) == Res_ok)
            require(runEnd > cp || runEnd >= limit);
        if (Word_nextParaEnd(cp, &end, r) != Res_ok)
            break;
        require(end > cp);
        cp = end;
    }
    for (uint32_t s = 0; s < r->sectionCount && s < 50; s++) {
        WordSep sep;
        Word_defaultSep(&sep);
        (void)Word_readSectionProps(r->sections[s].start, &sep, r);
        r->sectGrpfIhdt = sep.grpfIhdt;
        for (uint32_t kind = 0; kind < 6; kind++) {
            uint32_t start = 0, end = 0;
            (void)Word_headerRange(s, kind, &start, &end, r);
        }
        r->hddStoryCounter = uint16_t(r->hddStoryCounter + 1);
    }
    Word_bookmarksForRange(r, 0, limit);
    for (int i = 0; i < 100; i++) {
        uint32_t at = r->bookmarks && r->bookmarks->firstStart != Word_noBookmark
                          ? r->bookmarks->entries[r->bookmarks->firstStart].start
                          : 0;
        uint32_t b = Word_bookmarkStartAt(r, at, limit);
        if (b == Word_noBookmark)
            break;
        require(Word_bookmarkName(r, b) != nullptr);
        Word_bookmarkStarted(r, 1, b);
    }
    for (uint32_t istd = 0; istd < r->styleCount && istd < 50; istd++) {
        WordChp chp;
        Word_defaultChp(&chp);
        (void)Word_applyStyleChpx(istd, &chp, r);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestHeap &heap = FuzzHeap_get(64 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();

    std::string parts[3];
    split(data, size, parts);
    std::vector<CfbStream> streams = {
        {u"WordDocument", parts[0]}, {u"0Table", parts[1]}, {u"1Table", parts[1]}};
    if (!parts[2].empty())
        streams.push_back({u"Data", parts[2]});
    std::string file = Cfb_build(streams);

    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(file.data()), file.size(), 0,
                           Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) == 0);
    WordReader *r = nullptr;
    require(Word_readerNew(&r) == Res_ok);
    r->ctx = ctx;
    if (Ole_openStream(h, &r->ole) == Res_ok && Word_openStreams(r) == Res_ok)
        walk(r);
    Word_readerFree(r);
    (void)Vfs_close(h); // a fuzz run only looks for crashes
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
