// Character sets: codes, names, streaming converters and whole-string
// conversion.
//
// Inside the engine all text is 16-bit (char16_t units, surrogate pairs for
// characters above U+FFFF); every 8-bit text that enters or leaves passes
// through here. A character set is named by a small code (CharsetCode).
// A converter turns a buffer of one form into another and can be fed again
// where it stopped: it reports how much it consumed and produced, stops
// before a character that does not fit (destination full) or that the
// source cuts off (incomplete input), and keeps any shift state in a
// record the caller owns. The whole-string entry points (Charset_toUstrN,
// Charset_fromUstrN) allocate their result on the engine heap.
//
// Missing characters become U+FFFD when decoding and '?' when encoding.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;

// Charset codes; 36 and above are invalid.
enum CharsetCode : uint32_t {
    CharsetCode_latin1 = 0, // ISO-8859-1
    CharsetCode_utf8 = 1,
    CharsetCode_utf16 = 2, // the engine's own 16-bit units, host order
    CharsetCode_utf16be = 3,
    CharsetCode_utf16le = 4,
    CharsetCode_none = 5,  // no character set
    CharsetCode_cp437 = 6, // "windows-437"
    CharsetCode_win874 = 7,
    CharsetCode_win1250 = 8, // 8-16: windows-1250 .. windows-1258
    CharsetCode_win1252 = 10,
    CharsetCode_win1258 = 16,
    CharsetCode_iso8859_2 = 17,
    CharsetCode_iso8859_5 = 18,
    CharsetCode_iso8859_6 = 19,
    CharsetCode_iso8859_7 = 20,
    CharsetCode_iso8859_8 = 21,
    CharsetCode_iso8859_9 = 22,
    CharsetCode_tis620 = 23,
    CharsetCode_koi8r = 24,
    CharsetCode_iso2022kr = 25, // single-byte placeholder
    CharsetCode_iso2022cn = 26, // single-byte placeholder
    CharsetCode_symbol = 27,    // Symbol font encoding
    CharsetCode_wingdings = 28, // Wingdings font encoding
    CharsetCode_none2 = 29,     // no character set
    CharsetCode_korean = 30,    // windows-949 / EUC-KR
    CharsetCode_shiftJis = 31,  // Shift_JIS / windows-932
    CharsetCode_iso2022jp = 32,
    CharsetCode_eucJp = 33,
    CharsetCode_big5 = 34,
    CharsetCode_gbk = 35, // GBK / GB2312 / GB18030
    CharsetCode_count = 36,
};

// Shift state of a converter, owned by the caller. Only the ISO-2022-JP
// converters use it: shift is 0 ASCII, 1 JIS-Roman, 2 two-byte JIS; final
// set tells the encoder that this call ends the text, so it returns to
// ASCII at the end. The UTF-16BE/LE decoders set shift to 1 once the start
// of the text (where a byte-order mark is skipped) has passed.
struct CharsetState {
    uint32_t shift;
    uint32_t final;
};

// A streaming converter: converts src (srcLen bytes) into dst (dstCap
// bytes; 16-bit units are written in host order, two bytes each) and sets
// *consumed and *produced to the bytes it took and wrote. Returns 0 when
// the source is used up, Res_charsetIncomplete when the source ends inside
// a character (that tail is not consumed: feed it again with more bytes),
// Res_charsetDestFull when the next character does not fit, and for the
// East Asian sets Res_charsetUnknown or Res_charsetNoTable. state may be
// NULL (no shift state kept between calls); context gives the East Asian
// tables.
typedef int (*CharsetConverter)(EngineContext *context, const uint8_t *src, size_t srcLen,
                                uint8_t *dst, size_t dstCap, size_t *consumed, size_t *produced,
                                CharsetState *state);

// ------------------------------------------------------------ names

// The code of a 16-bit charset name, compared case-insensitively with the
// name table (first match wins). 0 and *code set, or Res_charsetUnknown
// (*code 0) when no name matches. name must not be NULL.
[[nodiscard]] int Charset_fromName(const char16_t *name, uint32_t *code);

// The same for an 8-bit name.
[[nodiscard]] int Charset_fromCstrName(const char *name, uint32_t *code);

// The 8-bit name of the first name-table row with that code, or "unknown".
// The text is static; never free it.
const char *Charset_getName(uint32_t code);

// The 16-bit display name of a code: its name looked up in the display-name
// table, "WINDOWS-1252" when it is not there. Static text.
const char16_t *Charset_getDisplayName(uint32_t code);

// ------------------------------------------------------- converters

// The converter from src to dst: Charset_copyBytes when they are equal (the
// state is then left alone), else the converter table's first match, or
// NULL. When state is given it is reset unless expected is given and equals
// the converter found, so a caller that keeps feeding one converter keeps
// its shift state and any change of converter starts clean.
CharsetConverter Charset_findConverter(uint32_t src, uint32_t dst, CharsetState *state,
                                       CharsetConverter expected);

// Both words of the state to 0; NULL allowed.
void Charset_resetState(CharsetState *state);

// The identity converter: copies min(srcLen, dstCap) bytes. Reports
// Res_charsetDestFull when dstCap was not larger than srcLen (so an exactly
// fitting copy reports full), else 0.
[[nodiscard]] int Charset_copyBytes(EngineContext *context, const uint8_t *src, size_t srcLen,
                                    uint8_t *dst, size_t dstCap, size_t *consumed, size_t *produced,
                                    CharsetState *state);

// Decoders to 16-bit units (code 2).
int Charset_latin1ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
// UTF-8: invalid and overlong sequences, surrogates and values above
// U+10FFFF give U+FFFD; characters above U+FFFF give surrogate pairs.
int Charset_utf8ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                        size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
// UTF-16 byte pairs; a byte-order mark at the start of the text is skipped,
// unpaired surrogates give U+FFFD, a single trailing byte is left
// unconsumed (status 0).
int Charset_utf16beToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_utf16leToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);

// The single-byte decoder for codes 6-28 (code is the charset code); any
// other code passes bytes below 0x80 and gives U+FFFD for the rest.
int Charset_singleByteToUtf16(uint32_t code, const uint8_t *src, size_t srcLen, uint8_t *dst,
                              size_t dstCap, size_t *consumed, size_t *produced);

// One registered decoder per single-byte code.
int Charset_cp437ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                         size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_win874ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_win1250ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_win1251ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_win1252ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_win1253ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_win1254ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_win1255ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_win1256ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_win1257ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_win1258ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                           size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_iso88592ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_iso88595ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_iso88596ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_iso88597ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_iso88598ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_iso88599ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_tis620ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_koi8rToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                         size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_iso2022krToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen,
                             uint8_t *dst, size_t dstCap, size_t *consumed, size_t *produced,
                             CharsetState *state);
int Charset_iso2022cnToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen,
                             uint8_t *dst, size_t dstCap, size_t *consumed, size_t *produced,
                             CharsetState *state);
int Charset_symbolToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Charset_wingdingsToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen,
                             uint8_t *dst, size_t dstCap, size_t *consumed, size_t *produced,
                             CharsetState *state);

// Encoders from 16-bit units (code 2). Code points are read pair-aware: a
// high surrogate that is the last unit stops with Res_charsetIncomplete,
// unconsumed; other unpaired surrogates read as U+FFFD.
// Latin-1: code points below 256 become their byte, others '?'.
[[nodiscard]] int Charset_utf16ToLatin1(EngineContext *context, const uint8_t *src, size_t srcLen,
                                        uint8_t *dst, size_t dstCap, size_t *consumed,
                                        size_t *produced, CharsetState *state);
[[nodiscard]] int Charset_utf16ToUtf8(EngineContext *context, const uint8_t *src, size_t srcLen,
                                      uint8_t *dst, size_t dstCap, size_t *consumed,
                                      size_t *produced, CharsetState *state);

// The registered East Asian converters: each calls the engine's multibyte
// decoder or encoder (charset_cjk.h) with its code; a missing table gives
// Res_charsetNoTable.
[[nodiscard]] int Charset_koreanToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen,
                                        uint8_t *dst, size_t dstCap, size_t *consumed,
                                        size_t *produced, CharsetState *state);
[[nodiscard]] int Charset_sjisToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen,
                                      uint8_t *dst, size_t dstCap, size_t *consumed,
                                      size_t *produced, CharsetState *state);
int Charset_iso2022jpToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen,
                             uint8_t *dst, size_t dstCap, size_t *consumed, size_t *produced,
                             CharsetState *state);
[[nodiscard]] int Charset_eucJpToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen,
                                       uint8_t *dst, size_t dstCap, size_t *consumed,
                                       size_t *produced, CharsetState *state);
[[nodiscard]] int Charset_big5ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen,
                                      uint8_t *dst, size_t dstCap, size_t *consumed,
                                      size_t *produced, CharsetState *state);
[[nodiscard]] int Charset_gbkToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen,
                                     uint8_t *dst, size_t dstCap, size_t *consumed,
                                     size_t *produced, CharsetState *state);
[[nodiscard]] int Charset_utf16ToKorean(EngineContext *context, const uint8_t *src, size_t srcLen,
                                        uint8_t *dst, size_t dstCap, size_t *consumed,
                                        size_t *produced, CharsetState *state);
[[nodiscard]] int Charset_utf16ToSjis(EngineContext *context, const uint8_t *src, size_t srcLen,
                                      uint8_t *dst, size_t dstCap, size_t *consumed,
                                      size_t *produced, CharsetState *state);
[[nodiscard]] int Charset_utf16ToIso2022jp(EngineContext *context, const uint8_t *src,
                                           size_t srcLen, uint8_t *dst, size_t dstCap,
                                           size_t *consumed, size_t *produced, CharsetState *state);
[[nodiscard]] int Charset_utf16ToEucJp(EngineContext *context, const uint8_t *src, size_t srcLen,
                                       uint8_t *dst, size_t dstCap, size_t *consumed,
                                       size_t *produced, CharsetState *state);
[[nodiscard]] int Charset_utf16ToGbk(EngineContext *context, const uint8_t *src, size_t srcLen,
                                     uint8_t *dst, size_t dstCap, size_t *consumed,
                                     size_t *produced, CharsetState *state);

// ----------------------------------------------------- whole strings

// Decodes n bytes in charset code into a new NUL-terminated 16-bit string
// (*out, the caller frees it with Mem_free). For code 2, n counts 16-bit
// units (2n bytes are read, low byte first). Codes 5 and 29 give an empty
// string. Input that ends inside a character gives one U+FFFD for the cut
// tail. Returns 0; 1 out of memory; Res_nullInput for NULL bytes with n > 0;
// Res_charsetUnknown for code 36 or above, a missing East Asian table or a
// failed conversion. *out is NULL on failure.
[[nodiscard]] int Charset_toUstrN(EngineContext *context, const uint8_t *bytes, size_t n,
                                  char16_t **out, uint32_t code);

// The same for NUL-terminated bytes (NULL gives an empty string). For code
// 2 the bytes before the terminator are read as whole 16-bit units.
[[nodiscard]] int Charset_toUstr(EngineContext *context, const char *bytes, char16_t **out,
                                 uint32_t code);

// Encodes n 16-bit units into a new NUL-terminated byte string (*out, the
// caller frees it with Mem_free): code 0 (Latin-1), 1 (UTF-8) and 30-35 (the
// East Asian sets; ISO-2022-JP text ends in ASCII); every other code below
// 36 gives an empty string. Returns 0; 1 out of memory; Res_nullInput for
// NULL units; Res_charsetUnknown for code 36 or above or a missing East
// Asian table. *out is NULL on failure.
[[nodiscard]] int Charset_fromUstrN(EngineContext *context, const char16_t *units, size_t n,
                                    char **out, uint32_t code);

// The same for a NUL-terminated 16-bit string.
[[nodiscard]] int Charset_fromUstr(EngineContext *context, const char16_t *s, char **out,
                                   uint32_t code);

// Recodes n bytes from one charset to another through 16-bit text
// (Charset_toUstrN, then Charset_fromUstr); the intermediate string is
// freed. Results as those two.
[[nodiscard]] int Charset_recode(EngineContext *context, const uint8_t *bytes, size_t n,
                                 uint32_t from, char **out, uint32_t to);
[[nodiscard]] int Charset_recodeCstr(EngineContext *context, const char *bytes, uint32_t from,
                                     char **out, uint32_t to);

// 1 when the charset can be converted: every code outside 30-35; for 30-35
// only when the table that code uses is installed in context (NULL context: 0).
int Charset_isAvailable(EngineContext *context, uint32_t code);

// --------------------------------------------- whole-string UTF-8 helpers

// Writes s as UTF-8 followed by a 0 byte into dst and returns the position
// after the terminator. Unpaired surrogates become U+FFFD (EF BF BD).
// Size dst with Ustr_utf8Len.
char *Ustr_toUtf8(char *dst, const char16_t *s);

// The UTF-8 size of s including the terminator (*utf8Size) and its 16-bit
// size in bytes including the terminator (*utf16Size); either may be NULL.
void Ustr_utf8Len(const char16_t *s, size_t *utf8Size, size_t *utf16Size);

// The number of 16-bit units Utf8_toUstr writes for the NUL-terminated
// UTF-8 text s, terminator included.
size_t Utf8_charCount(const char *s);

// Decodes the NUL-terminated UTF-8 text s into dst (sized with
// Utf8_charCount) and returns the position after the 0 unit written. The
// text is validated: invalid or truncated sequences give U+FFFD and nothing
// past the terminator is read; characters above U+FFFF give surrogate
// pairs.
char16_t *Utf8_toUstr(char16_t *dst, const char *s);
