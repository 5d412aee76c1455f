// Recognition of PDF files, and the plain-text test that must never take
// a PDF file for text.
//
// A PDF header may stand anywhere in the first kilobyte: files written by
// some tools carry a preamble (a PostScript comment line, mail headers)
// before "%PDF-", and PostScript-wrapped files announce the PDF version in
// a "%!PS-Adobe-#.# PDF-#.#" line instead.
#include "pdf/pdf.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/charset_detect.h"
#include "core/text/ustr.h"
#include "core/context/context.h"
#include "document/edr/handler.h"
#include "graphics/codecs/ccitt.h"
#include "graphics/imagecodec.h"
#include "pdf/rawcodec.h"
#include "platform/vfs/vfs.h"

namespace {

bool isDigit(uint8_t c)
{
    return c >= '0' && c <= '9';
}

// "%PDF-" digit "." digit at i (eight bytes).
bool pdfHeaderAt(const uint8_t *b, size_t i, size_t length)
{
    return length - i >= 8 && memcmp(b + i, "%PDF-", 5) == 0 && isDigit(b[i + 5]) && b[i + 6] == '.' &&
           isDigit(b[i + 7]);
}

// "%!PS-Adobe-#.# PDF-#.#" at i (22 bytes), each '#' a digit.
bool psHeaderAt(const uint8_t *b, size_t i, size_t length)
{
    static constexpr char kPattern[] = "%!PS-Adobe-#.# PDF-#.#";
    constexpr size_t n = sizeof kPattern - 1;
    if (length - i < n)
        return false;
    for (size_t k = 0; k < n; k++) {
        if (kPattern[k] == '#' ? !isDigit(b[i + k]) : b[i + k] != uint8_t(kPattern[k]))
            return false;
    }
    return true;
}

bool hasByteOrderMark(const uint8_t *b, size_t length)
{
    if (length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return true;
    return length >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF));
}

bool isTextByte(uint8_t c)
{
    return (c >= 9 && c <= 13) || c == 27 || (c >= 32 && c <= 126) || c >= 160;
}

// The handler has no private data to free.
void releaseNothing(EngineContext *, Edr_HandlerDesc *)
{
}

} // namespace

int Pdf_sniffHeader(EngineContext *, const uint8_t *bytes, size_t length)
{
    for (size_t i = 0; i < length; i++) {
        if (bytes[i] != '%')
            continue;
        if (pdfHeaderAt(bytes, i, length) || psHeaderAt(bytes, i, length))
            return 1;
    }
    return 0;
}

int TextDoc_detectCharset(EngineContext *context, const uint8_t *bytes, size_t length, char16_t **out,
                          size_t *units)
{
    *out = nullptr;
    *units = 0;
    CharsetDetector *detector = nullptr;
    int err = Charset_detectorNew(context, &detector);
    if (err != Res_ok)
        return err;
    Charset_detectorFeed(detector, bytes, length);
    uint32_t guess = Charset_detectorGuess(detector, CharsetCode_count);
    Charset_detectorFree(detector);

    CharsetState state{0, 0};
    CharsetConverter convert = Charset_findConverter(guess, CharsetCode_utf16, &state, nullptr);
    size_t capacity = length * 2;
    uint8_t *buffer = capacity ? static_cast<uint8_t *>(Mem_malloc(capacity)) : nullptr;
    if (!convert || !buffer) {
        Mem_free(buffer);
        return Res_ok;
    }
    size_t consumed = 0, produced = 0;
    int r = convert(bytes, length, buffer, capacity, &consumed, &produced, &state, context);
    if (r == Res_charsetUnknown || r == Res_charsetNoTable) {
        consumed = produced = 0;
        (void)Charset_latin1ToUtf16(bytes, length, buffer, capacity, &consumed, &produced, nullptr, context);
    }
    if (produced / 2 == 0) {
        Mem_free(buffer);
        return Res_ok;
    }
    *out = reinterpret_cast<char16_t *>(buffer);
    *units = produced / 2;
    return Res_ok;
}

int TextDoc_sniffText(EngineContext *context, const uint8_t *bytes, size_t length)
{
    if (Pdf_sniffHeader(context, bytes, length))
        return 0;
    if (hasByteOrderMark(bytes, length) || length == 0)
        return 1;
    char16_t *text = nullptr;
    size_t units = 0;
    if (TextDoc_detectCharset(context, bytes, length, &text, &units) == Res_ok && text) {
        Mem_free(text);
        return 1;
    }
    for (size_t i = 0; i < length; i++)
        if (!isTextByte(bytes[i]))
            return 0;
    return 1;
}

int Pdf_matchMime(EngineContext *, Edr_HandlerDesc *, const char16_t *mime, int32_t *score)
{
    *score = mime && Ustr_icmpCstr(mime, "application/pdf") == 0 ? 100 : 0;
    return Res_ok;
}

int Pdf_sniff(EngineContext *context, Edr_HandlerDesc *, VfsHandle *stream, int32_t *score, uint32_t *typeId)
{
    const uint8_t *bytes = nullptr;
    size_t got = 0;
    int err = Vfs_getReadBuf(stream, Pdf_sniffBytes, &bytes, &got);
    if (err != Res_ok)
        return err;
    bool found = Pdf_sniffHeader(context, bytes, got < size_t(Pdf_sniffBytes) ? got : size_t(Pdf_sniffBytes)) != 0;
    (void)Vfs_readDone(stream, 0);
    *score = found ? int32_t(Pdf_sniffScore) : 0;
    *typeId = found ? uint32_t(Pdf_mimeTypeId) : 0;
    return Res_ok;
}

int Pdf_describe(EngineContext *context, Edr_HandlerDesc *desc)
{
    desc->matchMime = Pdf_matchMime;           // word 1
    desc->sniff = Pdf_sniff;                   // word 2
    desc->open = Pdf_open;                     // word 3
    desc->step = Pdf_step;                     // word 4
    desc->close = Pdf_close;                   // word 5
    desc->findFragment = Pdf_fragmentRect;     // word 11
    desc->release = releaseNothing;              // word 12
    desc->priv = nullptr;                      // word 13
    desc->enabled = 1;                         // word 15
    // The decoders of PDF images (raw samples, then "CCITTFaxDecode") join
    // the image store's codec table; an engine without an image store
    // (tools, tests) has no table to fill.
    if (!context || !context->imageStore)
        return Res_ok;
    ImageCodec *raw = Pdf_RawImageCodec_new();
    int err = raw ? Plugin_register(context, raw) : int(Res_noMemory);
    if (err != Res_ok)
        return err;
    ImageCodec *fax = FaxImage_createCodec();
    return fax ? Plugin_register(context, fax) : int(Res_noMemory);
}
