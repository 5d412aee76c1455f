// Fuzz target for the CFF readers: the input is a CFF program; its Name,
// Top DICT, String and Global Subrs INDEXes are read, each Top DICT is
// loaded with the tables it names, and the charset, Encoding, FDSelect
// and code table answer for every glyph. Nothing leaks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/programs/cff.h"
#include "pdf/font.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfstream.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "cff_topdict_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

void walk(ByteStream *s, size_t size, uint8_t hdrSize)
{
    CffIndex name, top, strings;
    Cff_indexInit(&name, s, hdrSize, size);
    if (Cff_indexOpen(&name))
        return;
    Cff_indexInit(&top, s, Cff_indexEnd(&name), size);
    if (Cff_indexOpen(&top))
        return;
    Cff_indexInit(&strings, s, Cff_indexEnd(&top), size);
    if (Cff_indexOpen(&strings))
        return;
    for (uint32_t i = 0; i < Cff_indexCount(&top) && i < 4; i++) {
        uint64_t a = 0, b = 0;
        if (Cff_indexEntryRange(&top, i, &a, &b))
            continue;
        CffTopDict *t = nullptr;
        require(CffTopDict_create(s, a, b, &t) == Res_ok);
        if (CffTopDict_load(t) == Res_ok) {
            require(CffTopDict_units(t) > 0);
            const CffIndex *cs = CffTopDict_charStrings(t);
            uint32_t n = cs ? Cff_indexCount(cs) : 0;
            for (uint32_t g = 0; g < n && g < 256; g++) {
                uint16_t sid = 0;
                uint8_t fd = 0;
                if (CffTopDict_charset(t))
                    require(CffCharset_get(CffTopDict_charset(t), g, &sid) == Res_ok);
                if (CffTopDict_fdSelect(t))
                    require(CffFdSelect_get(CffTopDict_fdSelect(t), g, &fd) == Res_ok);
                char *text = nullptr;
                if (Cff_readString(&strings, s, sid, &text) == Res_ok)
                    require(text != nullptr);
                Mem_free(text);
            }
            PdfGlyphNameList names{-768, nullptr};
            uint16_t *table = nullptr;
            if (Cff_buildCodeTable(t, &strings, &names, &table) == Res_ok)
                require(table != nullptr);
            Mem_free(table);
            Pdf_Font_glyphNamesClear(&names);
        }
        CffTopDict_destroy(t);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    (void)FuzzHeap_get(8 << 20);
    size_t baseline = TestHeap_usedBytes();
    ByteStream *s = nullptr;
    require(Pdf_Stream_openMemory(data, size, &s) == Res_ok);
    walk(s, size, data[2]);
    (void)ByteStream_close(s);
    require(TestHeap_usedBytes() == baseline);
    return 0;
}
