// Fuzz target for the PDF stream filters: byte 0 picks the filter (hex,
// ASCII85, LZW with either early change, Flate, RunLength) and whether a
// predictor follows, bytes 1-4 the predictor's parameters; the rest is the
// coded data. The stream is read to its end in pieces; it must end, give
// at most what its input can code, answer the end again after it, and
// free everything.
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "pdf/filter.h"
#include "pdf/resources/pdfstream.h"
#include "tests/fuzz/codec_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5 || size > 1 << 16)
        return 0;
    (void)codecfuzz::world();
    size_t before = TestHeap_usedBytes();
    const uint8_t *body = data + 5;
    size_t length = size - 5;
    ByteStream *mem = nullptr;
    codecfuzz::requireAt(Pdf_Stream_openMemory(body, length, &mem) == Res_ok, "pdf_filters", __LINE__);
    ByteStream *f = nullptr;
    int r = Res_ok;
    switch (data[0] % 6) {
    case 0: r = Pdf_Filter_asciiHexNew(&f, mem, nullptr, nullptr); break;
    case 1: r = Pdf_Filter_ascii85New(&f, mem, nullptr, nullptr); break;
    case 2:
    case 3: {
        ByteStream *lzw = nullptr;
        r = Pdf_Filter_lookup(&lzw, mem, "LZW", nullptr, nullptr);
        f = lzw;
        break;
    }
    case 4: r = Pdf_Filter_flateNew(mem, &f); break;
    default: r = Pdf_Filter_rlNew(mem, &f); break;
    }
    codecfuzz::requireAt(r == Res_ok && f, "pdf_filters", __LINE__);
    if (data[0] & 0x80) {
        // A predictor over the decoder, with parameters from the input.
        static const int32_t predictors[] = {1, 2, 10, 11, 12, 13, 14, 15};
        static const int32_t bits[] = {1, 2, 4, 8, 16};
        PdfPredictParams p{predictors[data[1] % 8], 1 + data[2] % 4, bits[data[3] % 5], 1 + data[4]};
        ByteStream *pred = nullptr;
        codecfuzz::requireAt(Pdf_Pred_streamNew(&pred, f, &p) == Res_ok, "pdf_filters", __LINE__);
        f = pred;
    }
    size_t total = 0;
    uint32_t step = 1 + data[1] % 7;
    for (;;) {
        size_t n = 0;
        while (n < step && f->readPtr < f->end) {
            f->readPtr++;
            n++;
        }
        total += n;
        if (n == step)
            continue;
        int c = f->getByte(f);
        if (c < 0)
            break;
        total++;
        // Nothing here expands more than 4 bytes per input byte except LZW
        // and Flate, whose output is bounded by their formats.
        codecfuzz::requireAt(total < (size_t(64) << 20), "pdf_filters", __LINE__);
    }
    codecfuzz::requireAt(f->getByte(f) < 0, "pdf_filters", __LINE__);
    (void)ByteStream_takeStatus(f);
    codecfuzz::requireAt(ByteStream_close(f) == Res_ok, "pdf_filters", __LINE__);
    ByteStream_close(mem);
    codecfuzz::requireAt(TestHeap_usedBytes() == before, "pdf_filters", __LINE__);
    return 0;
}
