// Token readers: dispatch through a reader's method table.
//
// A token reader (the PostScript tokenizer of the font code, for one) is a
// record whose first field points at its table of three methods; these
// calls only forward to them, so the code that reads tokens needs no
// knowledge of the reader behind them.
#pragma once

struct TokenReader;

struct TokenReaderOps {
    void *(*next)(TokenReader *reader);   // the next token (caller frees it), or null
    int (*status)(TokenReader *reader);   // the status word, cleared by the call
    void (*destroy)(TokenReader *reader); // frees the reader
};

// The base record every token reader starts with.
struct TokenReader {
    const TokenReaderOps *ops;
};

// The reader's next token, or null at the end, on an error, or for a null
// reader.
void *PsToken_next(TokenReader *reader);
// The reader's status word (read and cleared); Res_nullInput for a null reader.
int PsToken_status(TokenReader *reader);
// Destroys the reader; null is ignored.
void PsToken_destroy(TokenReader *reader);
