// East Asian multibyte codecs: Korean (windows-949/EUC-KR, code 30),
// Shift_JIS (31), ISO-2022-JP (32), EUC-JP (33), Big5 (34) and
// GBK/GB18030 (35).
//
// One table-driven decoder and one encoder serve all six codes. The tables
// are built into the program (charset_tables.h); each language's install
// call puts a record over its table into the engine's CharsetHooks, so a
// configuration without a language simply lacks that table and conversions
// for it report Res_charsetNoTable. The three Japanese codes share one
// table keyed by the Shift_JIS code: small hooks turn JIS and EUC-JP byte
// pairs into Shift_JIS codes and back. GB18030's four-byte forms are
// computed from a range table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/text/charset.h"
#include "core/text/charset_tables.h"

struct EngineContext;
struct CharsetHooks;

// A table record over built-in data (the record is allocated; the arrays
// are constant data and never freed).
struct CharsetTable {
    const uint16_t *unicode; // Unicode array
    uint32_t unicodeCount;
    const CharsetRun *runs; // runCount entries and a sentinel
    uint32_t runCount;
    const CharsetLinear *linear;
    const uint8_t *linearLen; // one length per linear entry
    uint32_t linearCount;
};

// The multibyte decoder and encoder: a converter with the charset code as
// an argument and the hooks in place of the engine context.
typedef int (*CharsetMultibyteFn)(uint32_t code, const uint8_t *src, size_t srcLen, uint8_t *dst,
                                  size_t dstCap, size_t *consumed, size_t *produced,
                                  CharsetState *state, const CharsetHooks *hooks);

// Rewrites a two-byte Shift_JIS code (pair[0] lead) in place as JIS X 0208
// bytes (JIS output) or EUC-JP bytes (EUC output); nonzero, pair untouched,
// when the code has no JIS X 0208 form.
typedef int (*CharsetPairOutFn)(uint8_t *pair);

// The Shift_JIS code of a JIS X 0208 row and cell byte (each 0x21-0x7E).
typedef uint32_t (*CharsetJisInFn)(uint32_t row, uint32_t cell);

// The unit of a code that is in none of the table's entries (U+FFFD when
// it has none).
typedef uint32_t (*CharsetFallbackFn)(uint32_t code, const CharsetTable *table);

// Compares a CharsetGbKey with a CharsetGbRange (for Std_bsearch-style
// searches): negative, 0 (the range holds the key) or positive.
typedef int (*CharsetGbCompareFn)(const void *key, const void *range);

// Search key of the GB18030 range table: a linear index (byUnicode 0) or a
// code point (byUnicode 1); last is the table's last entry (its range ends
// at index 39420).
struct CharsetGbKey {
    uint32_t value;
    uint32_t byUnicode;
    const CharsetGbRange *last;
};

// One per engine, in EngineContext::charsetHooks.
struct CharsetHooks {
    CharsetTable *japanese;         // codes 31, 32, 33
    CharsetTable *big5;             // code 34
    CharsetTable *korean;           // code 30
    CharsetTable *chinese;          // code 35
    CharsetMultibyteFn decoder;     // set to Charset_decodeMultibyte when empty
    CharsetMultibyteFn encoder;     // set to Charset_encodeMultibyte when empty
    CharsetPairOutFn jisOut;        // Shift_JIS -> ISO-2022-JP bytes
    CharsetJisInFn jisIn;           // JIS or EUC-JP (less 0x80) bytes -> Shift_JIS
    CharsetPairOutFn eucOut;        // Shift_JIS -> EUC-JP bytes
    CharsetFallbackFn fallback;     // codes in no table
    const CharsetGbRange *gbRanges; // GB18030 four-byte ranges, or NULL
    uint32_t gbRangeCount;
    CharsetGbCompareFn gbCompare;
};

// Creates the zeroed hooks record in context->charsetHooks (nothing when it is
// already there). 0, or 1 when memory ran out.
[[nodiscard]] int Charset_createHooks(EngineContext *context);

// Frees the four table records and the hooks record; context->charsetHooks
// becomes NULL. Nothing happens when there is none.
void Charset_destroyHooks(EngineContext *context);

// Install one language's built-in table: allocate its record, store it in
// its slot and set the decoder and encoder; the Japanese one also sets the
// JIS, EUC and fallback hooks, the Chinese one the GB18030 range table.
// Installing again keeps the record already there. 0, or 1 when memory ran
// out (the slot stays empty).
[[nodiscard]] int Charset_installJapanese(CharsetHooks *hooks);
[[nodiscard]] int Charset_installBig5(CharsetHooks *hooks);
[[nodiscard]] int Charset_installKorean(CharsetHooks *hooks);
[[nodiscard]] int Charset_installChinese(CharsetHooks *hooks);

// The converters (CharsetMultibyteFn). Codes outside 30-35 give
// Res_charsetUnknown, a missing table Res_charsetNoTable; otherwise the
// statuses of a converter (charset.h). hooks may be NULL (no tables).
[[nodiscard]] int Charset_decodeMultibyte(uint32_t code, const uint8_t *src, size_t srcLen,
                                          uint8_t *dst, size_t dstCap, size_t *consumed,
                                          size_t *produced, CharsetState *state,
                                          const CharsetHooks *hooks);
[[nodiscard]] int Charset_encodeMultibyte(uint32_t code, const uint8_t *src, size_t srcLen,
                                          uint8_t *dst, size_t dstCap, size_t *consumed,
                                          size_t *produced, CharsetState *state,
                                          const CharsetHooks *hooks);

// The unit of a two-byte code in a table: linear entries, then runs, then
// the fallback hook; U+FFFD when none knows it.
uint32_t Charset_lookupMultibyte(uint32_t code, const CharsetTable *table,
                                 const CharsetHooks *hooks);

// The table slot that a code 30-35 uses, or NULL (no hooks, no table or
// another code).
const CharsetTable *Charset_tableForCode(const CharsetHooks *hooks, uint32_t code);

// The Japanese hooks: Shift_JIS <-> JIS X 0208 and EUC-JP arithmetic, and
// the extra pairs (codes whose character also has a preferred code).
int Charset_sjisToJis(uint8_t *pair);
int Charset_sjisToEuc(uint8_t *pair);
uint32_t Charset_jisToSjis(uint32_t row, uint32_t cell);
uint32_t Charset_japaneseFallback(uint32_t code, const CharsetTable *table);

// The GB18030 range comparison (CharsetGbCompareFn).
int Charset_gbRangeCompare(const void *key, const void *range);
