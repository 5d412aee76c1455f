// The plain-text test of the document-type probe, and the PDF header test
// it shares with the PDF handler: text must never be taken for a PDF file's
// bytes.
//
// A PDF header may stand anywhere in the first kilobyte: files written by
// some tools carry a preamble (a PostScript comment line, mail headers)
// before "%PDF-", and PostScript-wrapped files announce the PDF version in
// a "%!PS-Adobe-#.# PDF-#.#" line instead.
#include "document/import/textsniff.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/charset_detect.h"

namespace {

bool textSniffIsDigit(uint8_t c)
{
    return c >= '0' && c <= '9';
}

// "%PDF-" digit "." digit at i (eight bytes).
bool textSniffPdfHeaderAt(const uint8_t *b, size_t i, size_t length)
{
    return length - i >= 8 && memcmp(b + i, "%PDF-", 5) == 0 && textSniffIsDigit(b[i + 5]) &&
           b[i + 6] == '.' && textSniffIsDigit(b[i + 7]);
}

// "%!PS-Adobe-#.# PDF-#.#" at i (22 bytes), each '#' a digit.
bool textSniffPsHeaderAt(const uint8_t *b, size_t i, size_t length)
{
    static constexpr char kPattern[] = "%!PS-Adobe-#.# PDF-#.#";
    constexpr size_t n = sizeof kPattern - 1;
    if (length - i < n)
        return false;
    for (size_t k = 0; k < n; k++) {
        if (kPattern[k] == '#' ? !textSniffIsDigit(b[i + k]) : b[i + k] != uint8_t(kPattern[k]))
            return false;
    }
    return true;
}

bool textSniffHasByteOrderMark(const uint8_t *b, size_t length)
{
    if (length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return true;
    return length >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF));
}

bool textSniffIsTextByte(uint8_t c)
{
    return (c >= 9 && c <= 13) || c == 27 || (c >= 32 && c <= 126) || c >= 160;
}

} // namespace

int Pdf_sniffHeader(EngineContext *, const uint8_t *bytes, size_t length)
{
    for (size_t i = 0; i < length; i++) {
        if (bytes[i] != '%')
            continue;
        if (textSniffPdfHeaderAt(bytes, i, length) || textSniffPsHeaderAt(bytes, i, length))
            return 1;
    }
    return 0;
}

int TextDoc_detectCharset(EngineContext *context, const uint8_t *bytes, size_t length,
                          char16_t **out, size_t *units)
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
    int r = convert(context, bytes, length, buffer, capacity, &consumed, &produced, &state);
    if (r == Res_charsetUnknown || r == Res_charsetNoTable) {
        consumed = produced = 0;
        (void)Charset_latin1ToUtf16(context, bytes, length, buffer, capacity, &consumed, &produced,
                                    nullptr);
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
    if (textSniffHasByteOrderMark(bytes, length) || length == 0)
        return 1;
    char16_t *text = nullptr;
    size_t units = 0;
    if (TextDoc_detectCharset(context, bytes, length, &text, &units) == Res_ok && text) {
        Mem_free(text);
        return 1;
    }
    for (size_t i = 0; i < length; i++)
        if (!textSniffIsTextByte(bytes[i]))
            return 0;
    return 1;
}
