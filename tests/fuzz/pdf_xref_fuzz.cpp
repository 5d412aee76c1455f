// Fuzz target for the cross-reference readers that work on bytes alone.
// The first byte picks one: 0 the rows of a cross-reference stream (the
// next three bytes are the field widths, the next two the first number
// and the count of one subsection), 1 the pairs of an object stream (the
// next byte the pair count, the next the offset of the first object), 2
// the scan for object headers and trailers (the next byte the chunk size,
// the chunks overlapping as the file scan's do). What comes out must lie
// within what went in; nothing may leak.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "pdf/xrefstream.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

void rows(const uint8_t *data, size_t size)
{
    if (size < 6)
        return;
    uint32_t w[3] = {uint32_t(data[0] % 10), uint32_t(data[1] % 10), uint32_t(data[2] % 10)};
    uint64_t index[2] = {data[3], data[4]};
    PdfXrefSubsection *head = nullptr;
    int err = Pdf_XrefStm_decodeRows(data + 5, size - 5, w, index, 1, &head);
    require(err == Res_ok || err == Res_pdfSyntax);
    require(err == Res_ok || !head);
    uint32_t rowBytes = w[0] + w[1] + w[2];
    for (PdfXrefSubsection *s = head; s;) {
        require(s->first == index[0] && s->count <= index[1]);
        require(rowBytes && uint64_t(s->count) * rowBytes <= size - 5);
        for (uint32_t i = 0; i < s->count; i++)
            require(s->entries[i].number == s->first + i);
        PdfXrefSubsection *next = s->next;
        Mem_free(s->entries);
        Mem_free(s);
        s = next;
    }
}

void pairs(const uint8_t *data, size_t size)
{
    if (size < 3)
        return;
    uint32_t n = data[0];
    uint64_t first = data[1];
    uint32_t numbers[256];
    uint64_t offsets[256];
    uint32_t count = 0;
    require(Pdf_ObjStm_readPairs(data + 2, size - 2, n, first, numbers, offsets, &count) == Res_ok);
    require(count <= n);
    for (uint32_t i = 0; i < count; i++)
        require(offsets[i] >= first && offsets[i] < size - 2);
}

void scan(const uint8_t *data, size_t size)
{
    if (size < 2)
        return;
    size_t chunk = size_t(data[0]) + 16;
    data++;
    size--;
    PdfScan s{};
    for (size_t at = 0; at < size; at += chunk) {
        size_t from = at > 64 ? at - 64 : 0;
        size_t end = at + chunk < size ? at + chunk : size;
        require(Pdf_Scan_addBytes(&s, data + from, end - from, from) == Res_ok);
    }
    for (size_t i = 0; i < s.count; i++) {
        require(s.hits[i].offset < size);
        require(s.hits[i].generation <= 0xFFFF);
        require(i == 0 || s.hits[i].offset > s.hits[i - 1].offset);
    }
    for (size_t i = 0; i < s.trailerCount; i++)
        require(s.trailers[i] <= size && (i == 0 || s.trailers[i] > s.trailers[i - 1]));
    Mem_free(s.hits);
    Mem_free(s.trailers);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    TestHeap heap;
    require(TestHeap_open(&heap, 16 << 20, 0));
    size_t baseline = TestHeap_usedBytes();
    switch (data[0] % 3) {
    case 0: rows(data + 1, size - 1); break;
    case 1: pairs(data + 1, size - 1); break;
    default: scan(data + 1, size - 1); break;
    }
    require(TestHeap_usedBytes() == baseline);
    require(Mem_check() == 0);
    TestHeap_close(&heap);
    return 0;
}
