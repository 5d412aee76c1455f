// Fuzz target for the Word property modifiers: the first byte chooses the
// file version; the rest is a modifier list applied as every list kind (in
// its stored form) to paragraph, character, section, table-row and picture
// records, with a small style sheet behind them (a table style with its
// conditional records) so that toggles, permutations and style modifiers
// have styles to reach. Nothing may crash or leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/api/engine.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"
#include "word/reader/word.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

void styles(WordReader *r)
{
    const uint32_t n = 4;
    r->styles = static_cast<WordStyleEntry *>(Mem_calloc(n, sizeof(WordStyleEntry)));
    require(r->styles != nullptr);
    r->styleCount = n;
    for (uint32_t i = 0; i < n; i++) {
        r->styles[i].defined = 1;
        r->styles[i].sgc = uint8_t(i == 3 ? 3 : 1);
        Word_defaultPap(&r->styles[i].pap);
        Word_defaultChp(&r->styles[i].chp);
    }
    r->styles[3].conditional =
        static_cast<WordChp *>(Mem_calloc(Word_conditionalChps, sizeof(WordChp)));
    require(r->styles[3].conditional != nullptr);
    r->istdTable = 3;
    r->istdDefaultFont = 2;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 60000)
        return 0;
    TestHeap &heap = FuzzHeap_get(16 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();

    WordReader *r = nullptr;
    require(Word_readerNew(&r) == Res_ok);
    r->ctx = ctx;
    r->fib.wIdent = (data[0] & 1) ? Word_identWord97 : Word_identWord6;
    styles(r);
    std::string list(reinterpret_cast<const char *>(data + 1), size - 1);
    const uint32_t kinds[] = {1, 2, 3, 6, 7, 8, 11, 12};
    for (uint32_t kind : kinds) {
        WordPap pap;
        WordChp chp;
        WordSep sep;
        WordTap tap;
        WordPic pic;
        Word_defaultPap(&pap);
        Word_defaultChp(&chp);
        Word_defaultSep(&sep);
        Word_clearTap(&tap);
        memset(&pic, 0, sizeof pic);
        chp.istdPara = 0;
        // The stored form of each kind around the list.
        std::string stored;
        size_t n = list.size();
        switch (kind) {
        case 1:
            n = n > 65533 ? 65533 : n;
            stored = std::string(1, char((n + 2) & 0xFF)) + char((n + 2) >> 8) +
                     std::string(2, '\1') + list.substr(0, n);
            break;
        case 2: {
            size_t cw = n / 2 + 1 > 255 ? 255 : n / 2 + 1;
            stored = std::string(1, char(cw)) + char((data[0] >> 1) & 3) + '\0' + list;
            stored.resize(3 + 2 * cw - 2, '\0');
            break;
        }
        case 7:
            n = n > 255 ? 255 : n;
            stored = std::string(1, char(n)) + list.substr(0, n);
            break;
        default: stored = std::string(1, char(n & 0xFF)) + char(n >> 8) + list; break;
        }
        (void)Word_applyGrpprl(&sep, &pap, &chp, &tap, &pic, kind,
                               reinterpret_cast<const uint8_t *>(stored.data()), r);
        require(pap.itbdMac <= Word_maxTabs);
        require(tap.itcMac <= Word_maxCells);
    }
    Word_readerFree(r);
    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    return 0;
}
