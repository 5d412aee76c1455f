// The plain-text test of the document-type probe, and the PDF header test
// that it shares with the PDF handler.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;

enum : uint32_t {
    TextDoc_mimeTypeId = 25, // "text/plain"
};

// 1 when some position holds "%PDF-" followed by digit "." digit, or
// "%!PS-Adobe-#.# PDF-#.#" (each # a digit); else 0.
int Pdf_sniffHeader(EngineContext *context, const uint8_t *bytes, size_t length);

// 1 when the bytes look like plain text: not when they hold a PDF header;
// yes for a UTF-8 or UTF-16 byte-order mark, for no bytes at all, when the
// charset detector's guess converts them, or when every byte is 9 to 13,
// 27, 32 to 126 or 160 to 255; else 0.
int TextDoc_sniffText(EngineContext *context, const uint8_t *bytes, size_t length);

// Guesses the bytes' character set (no default: an undecided guess has no
// converter) and converts them to 16-bit text: *out a new buffer (the caller frees it)
// and *units its length, or null and 0 when nothing converted. Converters
// that cannot read the bytes give way to ISO-8859-1. 0, or 1 when the
// detector cannot be made.
[[nodiscard]] int TextDoc_detectCharset(EngineContext *context, const uint8_t *bytes, size_t length,
                                        char16_t **out, size_t *units);
