// Fuzz target for the text routines that read outside data: the number
// readers (8-bit and 16-bit, the decimal float reader included), percent unescaping, white-space
// collapsing, escaping and the tokeniser. The input is used both as 8-bit text and, two bytes a
// unit, as 16-bit text. Every end pointer must stay inside the text, integers must read back
// through the formatter, escaping then unescaping must give the text back, and nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/mem/mem.h"
#include "core/text/cstr.h"
#include "core/text/fmt.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

void numbers8(const char *text, size_t n)
{
    static const int bases[] = {0, 2, 8, 10, 16, 36};
    for (int base : bases) {
        const char *end = nullptr;
        int32_t v = Std_strtol(text, &end, base);
        require(end >= text && end <= text + n);
        uint32_t u = Std_strtoul(text, &end, base);
        require(end >= text && end <= text + n);
        char buf[40];
        Fmt_snprintf(buf, sizeof buf, "%d", v);
        require(Std_strtol(buf, nullptr, 10) == v);
        Fmt_snprintf(buf, sizeof buf, "%#x", u);
        require(Std_strtoul(buf, nullptr, 0) == u);
        Std_itoa(v, buf, base ? base : 10);
        require(Std_strtol(buf, nullptr, base ? base : 10) == v);
    }
    const char *end = nullptr;
    double d = Std_strtod(text, &end);
    require(end == nullptr || (end >= text && end < text + n));
    double a = Std_atof(text);
    char buf[800];
    Fmt_snprintf(buf, sizeof buf, "%e|%f|%g|%.20e", d, a, d, a);
}

void strings16(const char16_t *w, size_t units)
{
    const char16_t *stop;
    uint16_t v16;
    uint32_t v32;
    int32_t i32;
    (void)Ustr_parseU16(w, nullptr, &stop, &v16); // a fuzz run only looks for crashes
    require(stop >= w && stop <= w + units);
    (void)Ustr_parseUint(w, w + units / 2, &stop, &v32); // a fuzz run only looks for crashes
    require(stop >= w && stop <= w + units / 2);
    (void)Ustr_parseInt(w, nullptr, &stop, &i32); // a fuzz run only looks for crashes
    require(stop >= w && stop <= w + units);
    // The decimal reader never makes not-a-number, however long the text.
    float f = Ustr_parseDecimalFloat(w);
    require(f == f);

    char16_t *collapsed = Ustr_collapseSpace(w, units);
    require(collapsed && Ustr_len(collapsed) <= units);
    Mem_free(collapsed);

    char16_t *escaped = Ustr_escapeSet(w, u"%&= ");
    require(escaped != nullptr);
    // Units above 0xFF lose their high byte when escaped, and a NUL-free
    // text of bytes round-trips exactly.
    bool bytesOnly = true;
    for (size_t i = 0; w[i]; i++)
        bytesOnly &= w[i] <= 0xFF;
    Ustr_unescapeInPlace(escaped);
    if (bytesOnly)
        require(Ustr_cmp(escaped, w) == 0);
    Mem_free(escaped);

    char16_t *copy = Ustr_dup(w);
    require(copy != nullptr);
    Ustr_unescapeInPlace(copy);
    require(Ustr_len(copy) <= Ustr_len(w));
    Ustr_titleCaseInPlace(copy);
    Mem_free(copy);

    char buf[64];
    Fmt_snprintf(buf, sizeof buf, "%S|%.3S", w, w);
}

TestHeap heap;
bool heapOpen;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    if (!heapOpen) {
        require(TestHeap_open(&heap, 4 << 20, 0));
        heapOpen = true;
    }
    size_t before = TestHeap_usedBytes();

    char *text = static_cast<char *>(malloc(size + 1));
    if (size)
        memcpy(text, data, size);
    text[size] = 0;
    numbers8(text, strlen(text));

    char *pos = nullptr;
    for (char *t = Cstr_tokR(text, " ,;=\t", &pos); t; t = Cstr_tokR(nullptr, " ,;=\t", &pos))
        require(t >= text && t < text + size && *t && !strpbrk(t, " ,;=\t"));

    size_t units = size / 2;
    char16_t *w = static_cast<char16_t *>(malloc((units + 1) * sizeof(char16_t)));
    if (units)
        memcpy(w, data, units * sizeof(char16_t));
    w[units] = 0;
    strings16(w, Ustr_len(w));

    free(w);
    free(text);
    require(TestHeap_usedBytes() == before);
    require(Mem_check() == 0);
    return 0;
}
