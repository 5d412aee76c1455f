// The PDF lexer and object parser.
//
// A PdfLexer turns the bytes of a PDF file or of a content stream into
// PdfObj values, one per call: numbers, strings, names, arrays,
// dictionaries, streams, indirect references and keywords (content-stream
// operators arrive as Keyword objects carrying their index in the keyword
// table). It reads its ByteStream byte by byte and never pushes a byte back
// into it: the character that ends a token is kept and decides where the
// next call starts, and integers are held back while the lexer waits to see
// whether a second integer and "R" make them a reference.
//
// Strings of an object read from a cross-reference entry are decrypted as
// they are read when the document has a security record. Containers nest
// at most PdfLex_maxDepth levels (deeper input fails with 5971 instead of
// exhausting the stack).
#pragma once

#include <cstddef>
#include <cstdint>

#include "pdf/obj.h"

struct ByteStream;
struct PdfDoc;

enum : uint32_t {
    PdfLex_tokenStart = 4096, // the token buffer's first capacity
    PdfLex_maxString = 65536, // strings and names reach this many bytes: 5971
    PdfLex_maxDepth = 256,    // nested arrays and dictionaries
    PdfLex_keywordCount = 114,
    PdfLex_maxKeyword = 8, // a ninth keyword character gives 5955
    PdfLex_replaySize = 16,
};

// Container modes.
enum : uint32_t {
    PdfLex_modeNone = 0,
    PdfLex_modeArray = 1,
    PdfLex_modeDict = 2,
};

// Where the next call starts.
enum : uint32_t {
    PdfLex_stateMain = 0,     // the main state: any object
    PdfLex_stateEmit = 1,     // hand out pending integers, then savedState
    PdfLex_stateInteger = 2,  // an integer follows pending ones (its digit is kept)
    PdfLex_stateFraction = 3, // the token holds digits and "."; the fraction follows
    PdfLex_stateFailed = 4,   // every call gives 5971 until the lexer is seeked
};

struct PdfLexer {
    ByteStream *source;
    uint64_t position;  // absolute stream position of the next byte read from the stream
    int64_t pending[2]; // integers held back (slot 0 first)
    uint32_t pendingCount;
    const char *failMessage; // why the lexer failed (diagnostics only)
    uint32_t mode;           // PdfLex_mode*
    uint32_t endFlag;        // the data ended where an object should start
    uint32_t state;
    uint32_t savedState;
    size_t tokenLength;
    size_t tokenCapacity;
    uint8_t *token;
    uint64_t base; // stream position of the file's header
    // Characters taken from the stream but not yet used: the next reads
    // take them first, last kept first out.
    uint8_t replay[PdfLex_replaySize];
    uint32_t replayCount;
    uint32_t depth;  // containers being read
    int64_t lastInt; // the full value of the last integer handed out
};

// The keyword table: index -> text.
extern const char *const PdfLex_keywords[PdfLex_keywordCount];
// The index of the keyword of length bytes, or -1.
int32_t Pdf_Lex_keywordIndex(const char *text, size_t length);

// A lexer in the main state over stream (not owned). 1 out of memory.
[[nodiscard]] int Pdf_Lex_create(PdfLexer **out, ByteStream *stream);
// Frees the token buffer and the lexer (not the stream). Null allowed.
void Pdf_Lex_destroy(PdfLexer *lexer);

// Parses the next object into obj (whose owner word the caller has set):
// *produced is 1 unless the data ended where an object should start. 0 or
// an error: 5971 malformed, 5955 an unknown keyword, 1 memory, or the
// stream's status when the data end inside a token.
[[nodiscard]] int Pdf_Lex_next(PdfDoc *doc, PdfLexer *lexer, PdfObj *obj, int *produced);

// Moves to base + offset and resets: main state, nothing pending or kept.
[[nodiscard]] int Pdf_Lex_seek(PdfLexer *lexer, uint64_t offset);
// Reads and discards bytes up to the absolute offset; main state, nothing
// pending.
void Pdf_Lex_reset(PdfLexer *lexer);
void Pdf_Lex_setBase(PdfLexer *lexer, uint64_t base);
// The position of the next byte to be used, relative to the base (0 for a
// null lexer).
uint64_t Pdf_Lex_tell(const PdfLexer *lexer);
// Pdf_Lex_tell and the stream's own position answer (control operation 6).
[[nodiscard]] int Pdf_Lex_getStreamPos(PdfLexer *lexer, uint64_t *tell, uint64_t *streamPos);

// The next character with comments skipped (a comment reads as its ending
// 10 or 13); -1 at the end.
int Pdf_Lex_getc(PdfLexer *lexer);
// Keeps c (a character just read) for the next read.
void Pdf_Lex_unget(PdfLexer *lexer, int c);
// Skips white space, then matches pattern; "*" skips input up to the
// pattern's next character. 0 on a match; otherwise the offending
// character is kept for the next read and the stream's status or 5971 is
// returned.
[[nodiscard]] int Pdf_Lex_expect(PdfLexer *lexer, const char *pattern);
// A pending integer, else an unsigned decimal integer read after white
// space (5971 without digits, before "." or when too long).
[[nodiscard]] int Pdf_Lex_readInt(PdfLexer *lexer, int64_t *out);
// 1 when no integer is pending.
int Pdf_Lex_isIdle(const PdfLexer *lexer);
// Copies raw bytes; *count becomes what is left to copy. The stream's
// status (or 0x2205) when the data end first.
[[nodiscard]] int Pdf_Lex_readRaw(PdfLexer *lexer, size_t *count, uint8_t *buffer);
// ByteStream_control on the source.
[[nodiscard]] int Pdf_Lex_control(PdfLexer *lexer, uint32_t op, void *arg);
// A token buffer grown past 4096 bytes goes back to 4096 (token dropped).
void Pdf_Lex_shrinkBuffer(PdfLexer *lexer);
// Doubles the token buffer. 1 out of memory.
[[nodiscard]] int Pdf_Lex_growBuffer(PdfLexer *lexer);
// Enters the failed state with message; obj (when given) receives pending
// slot 0 as Number_int. 5971.
int Pdf_Lex_fail(PdfLexer *lexer, PdfObj *obj, const char *message);

// The integer text of a token: "-" signed, saturating at the 32-bit limits
// as the lexer hands integers out; anything else unsigned. Returns the
// full value (saturating at the 64-bit limits).
int64_t Pdf_Lex_parseInt(const uint8_t *token, size_t length);
// A real number from text: a mantissa of at most 2^20 taken digit by
// digit, times a power of ten from 10^-37 to 10^38.
float Pdf_Lex_strToFloat(const uint8_t *text, size_t length);
