// Fuzz target for the ToUnicode map reader: the input is the map text. A
// map that reads splits a string of its own text into codes (each at least
// one byte, never past the end) and looks every code up; the text of a
// code never exceeds its room. Nothing leaks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "pdf/tounicode.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "tounicode_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    PdfToUnicode *map = nullptr;
    int err = Pdf_ToUnicode_parse(data, size, &map);
    require(err == Res_ok || err == Res_noMemory);
    if (err)
        return 0;
    require(map != nullptr);
    size_t at = 0, steps = 0;
    while (at < size && steps++ < 4096) {
        uint32_t n = Pdf_ToUnicode_codeLength(map, data + at, size - at);
        require(n >= 1 && n <= PdfToUnicode_maxCodeBytes && n <= size - at);
        uint32_t code = 0;
        for (uint32_t k = 0; k < n; k++)
            code = code << 8 | data[at + k];
        char16_t text[PdfToUnicode_maxText];
        require(Pdf_ToUnicode_lookup(map, code, n, text) <= PdfToUnicode_maxText);
        at += n;
    }
    Pdf_ToUnicode_free(map);
    return 0;
}
