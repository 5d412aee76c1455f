// Fuzz target for the PDF stream filters and the raw image codec. Byte 0
// picks the filter (hex, ASCII85, LZW with either early change, Flate,
// RunLength) and whether a predictor follows, bytes 1-4 the predictor's
// parameters; the rest is the coded data. The stream is read to its end in
// pieces; it must end, answer the end again after it, and free everything.
// With bit 6 of byte 0 set the input is an image of the raw codec instead:
// bytes 1-4 give its size, bits, colour model, predictor, input decoder
// and Decode, and it decodes in both picture formats.
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "pdf/filter.h"
#include "pdf/rawcodec.h"
#include "pdf/resources/pdfstream.h"
#include "tests/fuzz/codec_fuzz.h"

namespace {

struct RawParams {
    int32_t width, height, bits, samples, model, mask, predictor, early, input;
    float decode[8];
    uint8_t palette[12];
};

int rawAnswer(void *arg, int32_t op, void *buffer, int32_t *size)
{
    if (!size)
        return Res_ok;
    const RawParams *p = static_cast<const RawParams *>(arg);
    const void *from = nullptr;
    int32_t n = 4;
    switch (op) {
    case PdfRawImage_opWidth: from = &p->width; break;
    case PdfRawImage_opHeight: from = &p->height; break;
    case PdfRawImage_opBits: from = &p->bits; break;
    case PdfRawImage_opSamples: from = &p->samples; break;
    case PdfRawImage_opColourModel: from = &p->model; break;
    case PdfRawImage_opImageMask: from = &p->mask; break;
    case PdfRawImage_opPredictor: from = &p->predictor; break;
    case PdfRawImage_opEarlyChange: from = &p->early; break;
    case PdfRawImage_opDecode:
        from = p->decode;
        n = int32_t(sizeof p->decode);
        break;
    case PdfRawImage_opPalette:
        from = p->palette;
        n = int32_t(sizeof p->palette);
        break;
    default:
        if (op == p->input) {
            *size = 0;
            return Res_ok;
        }
        *size = -1;
        return Res_ok;
    }
    *size = n;
    if (buffer)
        memcpy(buffer, from, size_t(n));
    return Res_ok;
}

void rawImage(const uint8_t *data, size_t size)
{
    static const int32_t bits[] = {1, 2, 4, 8, 16};
    static const int32_t predictors[] = {1, 2, 10, 11, 12, 13, 14, 15};
    static const int32_t samples[] = {1, 1, 3, 1, 4, 2};
    RawParams p{};
    p.width = 1 + data[1] % 64;
    p.height = 1 + data[2] % 16;
    p.bits = bits[(data[3] & 0x7F) % 5];
    p.mask = data[3] >> 7;
    p.model = data[4] % 6;
    p.samples = samples[p.model];
    p.predictor = predictors[(data[4] >> 3) % 8];
    p.early = data[0] & 1;
    p.input = 5 + ((data[0] >> 1) & 3);
    for (int i = 0; i < 8; i++)
        p.decode[i] = (data[0] & 0x20) ? float(1 - i % 2) : float(i % 2);
    for (int i = 0; i < 12; i++)
        p.palette[i] = uint8_t(i * 21);
    ImageCodec *codec = Pdf_RawImageCodec_new();
    codecfuzz::requireAt(codec != nullptr, "pdf_filters", __LINE__);
    codecfuzz::decodeBothFormats("pdf_filters", codec, data + 5, size - 5, rawAnswer, &p);
    Mem_free(codec);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5 || size > 1 << 16)
        return 0;
    (void)codecfuzz::world();
    if (data[0] & 0x40) {
        rawImage(data, size);
        return 0;
    }
    size_t before = TestHeap_usedBytes();
    const uint8_t *body = data + 5;
    size_t length = size - 5;
    ByteStream *mem = nullptr;
    codecfuzz::requireAt(Pdf_Stream_openMemory(body, length, &mem) == Res_ok, "pdf_filters",
                         __LINE__);
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
        PdfPredictParams p{predictors[data[1] % 8], 1 + data[2] % 4, bits[data[3] % 5],
                           1 + data[4]};
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
