// Fuzz target for formula token walks. Input: a token string. The walk
// sizes every token, scans the references, iterates the cells of each
// area (a bounded number), reads every 3-D reference, converts a BIFF5
// reference at the start and runs the chart record conversion over the
// input as a record body. No walk may read past the string, and nothing
// may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/format/palette.h"
#include "spreadsheet/formula/ptg.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    (void)FuzzHeap_get(8 << 20);
    size_t before = TestHeap_usedBytes();
    // An exact copy on the heap, so that the sanitizer sees any overrun.
    std::vector<uint8_t> tokens(data, data + size);
    const uint8_t *t = tokens.data();

    for (size_t pos = 0; pos < size;) {
        size_t n = 0;
        if (Excel_Ptg_tokenSize(t, size, pos, &n) != Res_ok)
            break;
        require(n >= 1 && pos + n <= size);
        Excel_Ref3d ref;
        int rc = Excel_Ref3d_read(t + pos, size - pos, &ref);
        require(rc == Res_ok);
        if (ref.id) {
            uint8_t out[11];
            size_t written = 0;
            require(Excel_Ref3d_write(&ref, out, &written) == Res_ok &&
                    (written == 7 || written == 11));
        }
        pos += n;
    }

    size_t pos = 0;
    for (int guard = 0; guard < 10000; guard++) {
        uint8_t id = 0;
        if (Excel_Ptg_nextRef(t, size, &pos, &id) != Res_ok || pos >= size)
            break;
        if (id == Excel_ptgArea || id == Excel_ptgAreaN) {
            Excel_AreaIter it;
            Excel_RefCell cell;
            size_t at = pos;
            Excel_AreaIter_begin(&it, t, &at, 0, &cell);
            for (int k = 0; it.more && k < 300; k++)
                Excel_AreaIter_next(&it, &cell, &at, 0);
            pos += 9;
        } else {
            pos += 5;
        }
    }

    Excel_RefTables tables{};
    Excel_SheetMapEntry pairs[] = {{0, 1}, {1, 0}};
    Excel_SheetMap map{pairs, 2};
    std::vector<uint8_t> copy(tokens);
    size_t length = copy.size();
    if (Excel_Ref3d_fromBiff5(copy.data(), &length, &map, &tables) == Res_ok)
        require(length == 7 || length == 11);

    ExcelPalette palette;
    Excel_Palette_setDefault(&palette);
    static const uint16_t types[] = {0x1007, 0x1009, 0x100A, 0x100D, 0x101B,
                                     0x101E, 0x1025, 0x1051, 0x0014};
    for (uint16_t type : types) {
        std::vector<uint8_t> body(tokens);
        body.resize(size + 600);
        size_t len = size;
        if (Excel_Chart_convertRecord(type, body.data(), &len, body.size(), &palette, &map,
                                      &tables) == Res_ok)
            require(len <= body.size());
    }
    Excel_RefTables_free(&tables);
    require(TestHeap_usedBytes() == before);
    return 0;
}
