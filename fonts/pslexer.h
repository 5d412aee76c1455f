// A small PostScript token reader.
//
// The text CMap readers and the Type 1 font loader read their input as a
// sequence of tokens: names, integers, literal names, strings (literal or
// hex) and the delimiters of arrays, procedures and dictionaries. Each
// token is a record owned by the caller until PsToken_free; its text lives
// in the record. Freed records go back to their reader, which hands them
// out again, so a parse makes a handful of records rather than one per
// token (a record freed after its reader is gone is simply freed). Errors
// are kept in
// the reader: a call that returns no token leaves 0 (the end of the
// input), 1 (out of memory), 2816 (a syntax error) or the stream's status.
#pragma once

#include <cstddef>
#include <cstdint>

struct ByteStream;
struct PsLexer;
struct PsTokenPool;

enum : uint32_t {
    PsToken_name = 0,    // executable name, delimiter or a number that is not a plain integer
    PsToken_integer = 1, // digits only
    PsToken_literal = 2, // "/name", without its slash
    PsToken_string = 3,  // from a literal or a hex string
};

enum : int {
    PsLexer_syntaxError = 2816,
};

struct PsToken {
    uint32_t kind;
    char *text;      // NUL-terminated copy of the token's bytes (in the record)
    uint32_t length; // bytes of text
    int32_t value;   // kind 1 only
};

struct PsLexer {
    PsToken *(*next)(PsLexer *lexer);
    int (*status)(PsLexer *lexer);
    void (*destroy)(PsLexer *lexer);
    ByteStream *stream; // not owned
    int32_t statusWord;
    uint8_t *buffer;   // reused for every token
    uint32_t capacity; // 64 bytes first, then doubled
    PsTokenPool *pool; // the records of this reader's tokens
};

// *out = a reader over stream (the caller's). 0 or 1.
[[nodiscard]] int PsLexer_create(ByteStream *stream, PsLexer **out);
// The next token (the caller frees it), or null at the end of the input
// or on an error (see PsToken_status).
PsToken *PsToken_next(PsLexer *lexer);
// The reader's status word; the word is cleared.
int PsToken_status(PsLexer *lexer);
// Frees the reader and its buffer, not the stream (null allowed).
void PsToken_destroy(PsLexer *lexer);
// Frees a token (null allowed).
void PsToken_free(PsToken *token);
// 1 when the token's text has the same length and bytes as text.
int PsToken_equals(const PsToken *token, const char *text);
