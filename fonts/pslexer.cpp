// The PostScript token reader: white space is every byte below 33; "%"
// starts a comment up to the end of the line.
#include "fonts/pslexer.h"
#include "core/text/number.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"

namespace {

bool isDelimiter(int c)
{
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}' || c == '/' || c == '%';
}

// The next byte, or -1 at the end of the input.
int nextByte(PsLexer *lx)
{
    ByteStream *s = lx->stream;
    if (s->readPtr < s->end)
        return *s->readPtr++;
    int c = s->getByte(s);
    return c >= 0 ? c : -1;
}

// Puts one byte back: the byte just read is still in the stream's window.
void backByte(PsLexer *lx)
{
    lx->stream->readPtr--;
}

// The end-of-input status: the stream's, else the given code.
void failEnd(PsLexer *lx, int code)
{
    int s = ByteStream_takeStatus(lx->stream);
    lx->statusWord = s ? s : code;
}

bool push(PsLexer *lx, uint32_t *n, uint8_t c)
{
    if (*n + 1 >= lx->capacity) {
        uint32_t cap = lx->capacity * 2;
        uint8_t *b = static_cast<uint8_t *>(Mem_realloc(lx->buffer, cap));
        if (!b) {
            lx->statusWord = Res_noMemory;
            return false;
        }
        lx->buffer = b;
        lx->capacity = cap;
    }
    lx->buffer[(*n)++] = c;
    return true;
}

} // namespace

// A token's record: the token, then room for its text. A PsToken pointer
// is its record's.
struct PsTokenRecord {
    PsToken token;
    PsTokenPool *pool;
    PsTokenRecord *next; // in the pool's spare list
    uint32_t room;       // bytes of text space after the record
};

// The records of one reader: those given back wait in the spare list for
// the next tokens. The pool lives while its reader or any of its tokens
// does.
struct PsTokenPool {
    PsTokenRecord *spare;
    uint32_t spareCount;
    uint32_t live;     // records handed out and not yet freed
    uint32_t orphaned; // the reader is gone
};

namespace {

// Spare records kept at most; text room of a new record at least.
enum : uint32_t { kPsPoolSpares = 8, kPsLeastRoom = 32 };

char *pslexerText(PsTokenRecord *r)
{
    return reinterpret_cast<char *>(r + 1);
}

PsToken *makeToken(PsLexer *lx, uint32_t kind, const void *bytes, uint32_t n)
{
    PsTokenPool *pool = lx->pool;
    PsTokenRecord *r = pool->spare;
    if (r && r->room < n + 1) {
        // Too small for this text: a fresh record replaces it.
        pool->spare = r->next;
        pool->spareCount--;
        Mem_free(r);
        r = nullptr;
    }
    if (r) {
        pool->spare = r->next;
        pool->spareCount--;
    } else {
        uint32_t room = n + 1 < kPsLeastRoom ? uint32_t(kPsLeastRoom) : (n + 16) & ~15u;
        r = static_cast<PsTokenRecord *>(Mem_malloc(sizeof(PsTokenRecord) + room));
        if (!r) {
            lx->statusWord = Res_noMemory;
            return nullptr;
        }
        r->pool = pool;
        r->room = room;
    }
    r->next = nullptr;
    pool->live++;
    char *text = pslexerText(r);
    memcpy(text, bytes, n);
    text[n] = 0;
    r->token = PsToken{kind, text, n, 0};
    return &r->token;
}

void pslexerPoolFree(PsTokenPool *pool)
{
    while (PsTokenRecord *r = pool->spare) {
        pool->spare = r->next;
        Mem_free(r);
    }
    Mem_free(pool);
}

// Skips a comment's bytes after "%": up to CR, LF or FF (CR LF is one end).
void skipComment(PsLexer *lx)
{
    for (;;) {
        int c = nextByte(lx);
        if (c < 0 || c == '\n' || c == '\f')
            return;
        if (c == '\r') {
            int d = nextByte(lx);
            if (d >= 0 && d != '\n')
                backByte(lx);
            return;
        }
    }
}

PsToken *readString(PsLexer *lx)
{
    uint32_t n = 0;
    int depth = 1;
    for (;;) {
        int c = nextByte(lx);
        if (c < 0) {
            failEnd(lx, PsLexer_syntaxError);
            return nullptr;
        }
        if (c == '(') {
            depth++;
        } else if (c == ')') {
            if (--depth == 0)
                break;
        } else if (c == '\\') {
            c = nextByte(lx);
            if (c < 0) {
                failEnd(lx, PsLexer_syntaxError);
                return nullptr;
            }
            switch (c) {
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            case 't': c = '\t'; break;
            case 'b': c = '\b'; break;
            case 'f': c = '\f'; break;
            case '\r':
            case '\n': continue;
            default: break;
            }
        }
        if (!push(lx, &n, uint8_t(c)))
            return nullptr;
    }
    return makeToken(lx, PsToken_string, lx->buffer, n);
}

PsToken *readHex(PsLexer *lx)
{
    uint32_t n = 0;
    int high = -1;
    for (;;) {
        int c = nextByte(lx);
        if (c < 0) {
            failEnd(lx, PsLexer_syntaxError);
            return nullptr;
        }
        if (c < 33)
            continue;
        if (c == '%') {
            skipComment(lx);
            continue;
        }
        if (c == '>')
            break;
        int v = Hex_digitValue(c);
        if (v < 0) {
            lx->statusWord = PsLexer_syntaxError;
            return nullptr;
        }
        if (high < 0) {
            high = v;
        } else {
            if (!push(lx, &n, uint8_t(high << 4 | v)))
                return nullptr;
            high = -1;
        }
    }
    if (high >= 0 && !push(lx, &n, uint8_t(high << 4)))
        return nullptr;
    return makeToken(lx, PsToken_string, lx->buffer, n);
}

// A name's bytes up to white space or a delimiter (left in the stream).
bool readNameBytes(PsLexer *lx, uint32_t *n)
{
    for (;;) {
        int c = nextByte(lx);
        if (c < 0)
            return true;
        if (c < 33 || isDelimiter(c)) {
            backByte(lx);
            return true;
        }
        if (!push(lx, n, uint8_t(c)))
            return false;
    }
}

PsToken *lexNext(PsLexer *lx)
{
    int c;
    for (;;) {
        c = nextByte(lx);
        if (c < 0) {
            int s = ByteStream_takeStatus(lx->stream);
            if (s)
                lx->statusWord = s;
            return nullptr;
        }
        if (c == '%') {
            skipComment(lx);
            continue;
        }
        if (c >= 33)
            break;
    }
    char one = char(c);
    switch (c) {
    case '[':
    case ']':
    case '{':
    case '}': return makeToken(lx, PsToken_name, &one, 1);
    case '<': {
        int d = nextByte(lx);
        if (d == '<')
            return makeToken(lx, PsToken_name, "<<", 2);
        if (d >= 0)
            backByte(lx);
        return readHex(lx);
    }
    case '>': {
        int d = nextByte(lx);
        if (d == '>')
            return makeToken(lx, PsToken_name, ">>", 2);
        lx->statusWord = PsLexer_syntaxError;
        return nullptr;
    }
    case ')': lx->statusWord = PsLexer_syntaxError; return nullptr;
    case '(': return readString(lx);
    case '/': {
        uint32_t n = 0;
        if (!readNameBytes(lx, &n))
            return nullptr;
        return makeToken(lx, PsToken_literal, lx->buffer, n);
    }
    default: break;
    }
    uint32_t n = 0;
    if (!push(lx, &n, uint8_t(c)) || !readNameBytes(lx, &n))
        return nullptr;
    bool digits = true;
    uint32_t value = 0;
    for (uint32_t i = 0; i < n && digits; i++) {
        digits = lx->buffer[i] >= '0' && lx->buffer[i] <= '9';
        value = value * 10 + uint32_t(lx->buffer[i] - '0');
    }
    PsToken *t = makeToken(lx, digits ? PsToken_integer : PsToken_name, lx->buffer, n);
    if (t && digits)
        t->value = int32_t(value);
    return t;
}

int lexStatus(PsLexer *lx)
{
    int s = lx->statusWord;
    lx->statusWord = 0;
    return s;
}

void lexDestroy(PsLexer *lx)
{
    PsTokenPool *pool = lx->pool;
    if (pool->live) {
        // Tokens still out: the last one freed frees the pool.
        while (PsTokenRecord *r = pool->spare) {
            pool->spare = r->next;
            Mem_free(r);
        }
        pool->spareCount = 0;
        pool->orphaned = 1;
    } else {
        pslexerPoolFree(pool);
    }
    Mem_free(lx->buffer);
    Mem_free(lx);
}

} // namespace

int PsLexer_create(ByteStream *stream, PsLexer **out)
{
    *out = nullptr;
    PsLexer *lx = static_cast<PsLexer *>(Mem_calloc(1, sizeof(PsLexer)));
    uint8_t *buffer = static_cast<uint8_t *>(Mem_malloc(64));
    PsTokenPool *pool = static_cast<PsTokenPool *>(Mem_calloc(1, sizeof(PsTokenPool)));
    if (!lx || !buffer || !pool) {
        Mem_free(lx);
        Mem_free(buffer);
        Mem_free(pool);
        return Res_noMemory;
    }
    lx->pool = pool;
    lx->next = lexNext;
    lx->status = lexStatus;
    lx->destroy = lexDestroy;
    lx->stream = stream;
    lx->buffer = buffer;
    lx->capacity = 64;
    *out = lx;
    return Res_ok;
}

PsToken *PsToken_next(PsLexer *lexer)
{
    return lexer->next(lexer);
}

int PsToken_status(PsLexer *lexer)
{
    return lexer->status(lexer);
}

void PsToken_destroy(PsLexer *lexer)
{
    if (lexer)
        lexer->destroy(lexer);
}

void PsToken_free(PsToken *token)
{
    if (!token)
        return;
    PsTokenRecord *r = reinterpret_cast<PsTokenRecord *>(token);
    PsTokenPool *pool = r->pool;
    pool->live--;
    if (pool->orphaned || pool->spareCount >= kPsPoolSpares) {
        Mem_free(r);
        if (pool->orphaned && !pool->live)
            pslexerPoolFree(pool);
        return;
    }
    r->next = pool->spare;
    pool->spare = r;
    pool->spareCount++;
}

int PsToken_equals(const PsToken *token, const char *text)
{
    size_t n = strlen(text);
    return token && token->length == n && memcmp(token->text, text, n) == 0;
}
