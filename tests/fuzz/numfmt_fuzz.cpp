// Fuzz target for the number-format engine and typed cell input. Input:
// 8 bytes of a double (little-endian), then the format code as UTF-16LE
// units. The value is formatted by the code (as a number, an integer and a
// text, under the default locale and "ja-jp", with and without a General
// width), by the built-in index of the code's first unit, and through the
// digit-pattern calls with small buffers; the code's bytes are also typed
// into a cell. Every result must hold at most 256 characters, every call
// must end, and nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/format/input.h"
#include "spreadsheet/format/numfmt.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

void formatOnce(const Excel_FmtRequest &r)
{
    char16_t *out = nullptr;
    int rc = Excel_Fmt_formatValue(&r, &out);
    require(rc == Res_ok || rc == Res_noMemory);
    if (rc != Res_ok) {
        require(out == nullptr);
        return;
    }
    size_t n = 0;
    while (out[n])
        n++;
    require(n <= Excel_fmtMaxOutput);
    Mem_free(out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    (void)FuzzHeap_get(8 << 20);
    size_t before = TestHeap_usedBytes();
    double value = 0;
    memcpy(&value, data, size < 8 ? size : 8);
    std::vector<char16_t> code;
    for (size_t i = 8; i + 1 < size; i += 2)
        code.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    code.push_back(0);

    uint32_t colour = 0;
    int32_t integer = static_cast<int32_t>(data[0] | data[size > 1 ? 1 : 0] << 8);
    Excel_FmtRequest r{};
    r.formatIndex = 164;
    r.code = code.data();
    r.value = &value;
    r.colour = &colour;
    for (const char *locale : {static_cast<const char *>(nullptr), "ja-jp"}) {
        r.locale = locale;
        for (uint32_t width : {0u, 11u}) {
            r.width = width;
            r.kind = Excel_fmtNumber;
            r.flags = Excel_fmtShowZero;
            formatOnce(r);
            r.flags = Excel_fmtDate1904;
            formatOnce(r);
        }
        r.kind = Excel_fmtInteger;
        r.value = &integer;
        formatOnce(r);
        r.kind = Excel_fmtText;
        r.value = code.data();
        formatOnce(r);
        r.value = &value;
    }
    r.kind = Excel_fmtNumber;
    r.formatIndex = code[0] < 64 ? code[0] : static_cast<uint16_t>(code[0] % 64);
    formatOnce(r);

    char small[8];
    require(Excel_Fmt_digitPattern(code.data(), small, sizeof small, value) < sizeof small);
    char digits[40];
    Excel_Fmt_digitPattern(code.data(), digits, sizeof digits, value);
    Excel_Fmt_layDigits(code.data(), digits, sizeof digits);
    require(strlen(digits) < sizeof digits);

    std::vector<char> text(data + (size < 8 ? size : 8), data + size);
    text.push_back(0);
    double typed;
    uint16_t format;
    int rc = Excel_Input_parse(nullptr, text.data(), &typed, &format);
    require(rc == Res_ok);
    require(format == 0 || format == 3 || format == 4 || format == 11 || format == 14 ||
            format == 20 || format == 21 || format == 22 || format == 49);

    require(TestHeap_usedBytes() == before);
    return 0;
}
