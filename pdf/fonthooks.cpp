// The code-conversion hooks of document fonts and the pair tables they
// read.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/pdfcmap.h"
#include "pdf/font.h"

namespace {

// The index of key among the sorted pairs, or -1.
int32_t findPair(const PdfCodePairs *t, uint16_t key)
{
    int32_t lo = 0, hi = int32_t(t->count) - 1;
    while (lo <= hi) {
        int32_t mid = lo + (hi - lo) / 2;
        uint16_t k = uint16_t(t->pairs[mid] >> 16);
        if (k == key)
            return mid;
        if (k < key)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

int newPairs(uint32_t count, PdfCodePairs **out)
{
    *out = nullptr;
    PdfCodePairs *p = static_cast<PdfCodePairs *>(
        Mem_malloc(sizeof(PdfCodePairs) + size_t(count) * sizeof(uint32_t)));
    if (!p)
        return Res_noMemory;
    p->count = count;
    p->pairs = reinterpret_cast<uint32_t *>(p + 1);
    *out = p;
    return Res_ok;
}

uint32_t pair(uint16_t key, uint16_t value)
{
    return uint32_t(key) << 16 | value;
}

// By key, unsigned (equal keys by value).
void sortPairs(PdfCodePairs *p)
{
    std::sort(p->pairs, p->pairs + p->count);
}

} // namespace

void Pdf_Font_hookBySortedPairs(const void *table, uint16_t *codes, uint32_t count)
{
    const PdfCodePairs *t = static_cast<const PdfCodePairs *>(table);
    for (uint32_t i = 0; i < count; i++) {
        int32_t k = findPair(t, codes[i]);
        if (k >= 0)
            codes[i] = uint16_t(t->pairs[k]);
    }
}

void Pdf_Font_hookByCountedPairs(const void *table, uint16_t *codes, uint32_t count)
{
    const PdfCodePairs *t = static_cast<const PdfCodePairs *>(table);
    for (uint32_t i = 0; i < count; i++) {
        int32_t k = findPair(t, codes[i]);
        codes[i] = k >= 0 ? uint16_t(t->pairs[k]) : uint16_t(32);
    }
}

void Pdf_Font_hookByCMap(const void *table, uint16_t *codes, uint32_t count)
{
    const uint16_t *t = static_cast<const uint16_t *>(table);
    for (uint32_t i = 0; i < count; i++)
        codes[i] = CMap_mapCode(t, codes[i]);
}

void Pdf_Font_freeCodePairs(PdfCodePairs *pairs)
{
    Mem_free(pairs);
}

int Pdf_Font_simpleToUnicodePairs(const PdfNativeFont *native, const uint16_t *toUnicode,
                                  PdfCodePairs **out)
{
    int err = newPairs(256, out);
    if (err)
        return err;
    PdfCodePairs *p = *out;
    for (uint32_t c = 0; c < 256; c++) {
        uint16_t key = 0;
        if (c) {
            // The unit the string decoding gives for the byte.
            key = native && native->encoding == PdfEnc_program ? uint16_t(c)
                                                               : Pdf_Font_codeToUnicode(native, c);
            if (!key)
                key = 0xFFFD;
        }
        p->pairs[c] = pair(key, toUnicode ? toUnicode[c] : 0);
    }
    sortPairs(p);
    return Res_ok;
}

int Pdf_Font_compositeCodePairs(const uint16_t *codes, uint32_t count, const uint16_t *cmapTable,
                                PdfCodePairs **out)
{
    *out = nullptr;
    if (!cmapTable)
        return Res_ok;
    int err = newPairs(count, out);
    if (err)
        return err;
    PdfCodePairs *p = *out;
    for (uint32_t i = 0; i < count; i++) {
        uint16_t k = codes[i];
        p->pairs[i] = pair(k, k ? CMap_mapCode(cmapTable, k) : 0);
    }
    sortPairs(p);
    return Res_ok;
}
