// The PDF lexer: a state machine over a byte stream that produces one
// object per call.
//
// The character that ends a token is never pushed back into the stream:
// the lexer keeps it (with the few others a look-ahead takes) in a small
// replay stack that the next read empties first. Integers are held back in
// two pending slots until the lexer knows whether "n g R" makes them a
// reference; a real number or a keyword that turns up behind them makes
// the lexer hand them out first (the emit state) and then go on where it
// stopped.
//
// Broken input ends in the failed state, in which every call answers 5971
// until the lexer is seeked, so that no caller can loop on it.
#include "pdf/lexer.h"
#include "core/text/number.h"

#include <cfloat>
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "pdf/document.h"
#include "pdf/security.h"

// The keyword table; an index is the operator code the content
// interpreter dispatches on.
constexpr const char *const PdfLex_keywords[PdfLex_keywordCount] = {
    "S",        "Tr",    "J",   "TJ",       "s",    "Ts",     "v",     "CS",   "SC",    "SCN",
    "c",        "Tc",    "K",   "cs",       "sc",   "scn",    "cvi",   "cvr",  "d",     "Td",
    "g",        "rg",    "n",   "d1",       "add",  "gs",     "F",     "or",   "and",   "roll",
    "round",    "f",     "Tf",  "d0",       "i",    "ri",     "cos",   "copy", "false", "G",
    "re",       "sin",   "B",   "BT",       "\"",   "TD",     "not",   "RG",   "h",     "ceiling",
    "div",      "idiv",  "W",   "sh",       "sub",  "ge",     "index", "M",    "ne",    "neg",
    "true",     "j",     "Tj",  "truncate", "atan", "ifelse", "Tz",    "dup",  "'",     "Do",
    "pop",      "null",  "b",   "ET",       "gt",   "m",      "Tm",    "abs",  "l",     "BX",
    "xor",      "Q",     "cm",  "BDC",      "w",    "Tw",     "q",     "T*",   "exp",   "exch",
    "k",        "TL",    "BMC", "sqrt",     "y",    "ln",     "mod",   "BI",   "log",   "ID",
    "bitshift", "floor", "EX",  "le",       "f*",   "mul",    "eq",    "EMC",  "B*",    "lt",
    "DP",       "W*",    "MP",  "b*",
};

namespace {

// ------------------------------------------------------- keyword lookup
// An open-addressed table over the keywords, built at compile time: the
// hash mixes the first two characters and the length.

constexpr uint32_t kwSlots = 512;

constexpr uint32_t kwHash(const char *s, size_t n)
{
    uint32_t a = uint8_t(s[0]);
    uint32_t b = n > 1 ? uint8_t(s[1]) : 0;
    return (a * 31u + b * 7u + uint32_t(n) * 101u) % kwSlots;
}

constexpr size_t kwLength(const char *s)
{
    size_t n = 0;
    while (s[n])
        n++;
    return n;
}

struct KwTable {
    uint8_t slot[kwSlots]; // keyword index + 1; 0 empty
};

constexpr KwTable buildKwTable()
{
    KwTable t{};
    for (uint32_t k = 0; k < PdfLex_keywordCount; k++) {
        const char *w = PdfLex_keywords[k];
        uint32_t h = kwHash(w, kwLength(w));
        while (t.slot[h])
            h = (h + 1) % kwSlots;
        t.slot[h] = uint8_t(k + 1);
    }
    return t;
}

constexpr KwTable kwTable = buildKwTable();

// ---------------------------------------------------- character classes

bool isWhite(int c)
{
    return c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32;
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isKeywordStart(int c)
{
    return c == '"' || c == '\'' || (c >= 'B' && c <= 'G') || (c >= 'I' && c <= 'K') || c == 'M' ||
           (c >= 'Q' && c <= 'T') || c == 'W' || (c >= 'a' && c <= 't') || (c >= 'v' && c <= 'y');
}

bool isKeywordChar(int c)
{
    return isLetter(c) || c == '0' || c == '1' || c == '"' || c == '\'' || c == '*';
}

bool isNameEnd(int c)
{
    switch (c) {
    case 9:
    case 10:
    case 11:
    case 13:
    case 32:
    case '%':
    case '(':
    case ')':
    case '/':
    case '<':
    case '>':
    case '[':
    case ']':
    case '{':
    case '}': return true;
    default: return c < 0;
    }
}

constexpr float powersOfTen[] = {
    1e-37f, 1e-36f, 1e-35f, 1e-34f, 1e-33f, 1e-32f, 1e-31f, 1e-30f, 1e-29f, 1e-28f, 1e-27f,
    1e-26f, 1e-25f, 1e-24f, 1e-23f, 1e-22f, 1e-21f, 1e-20f, 1e-19f, 1e-18f, 1e-17f, 1e-16f,
    1e-15f, 1e-14f, 1e-13f, 1e-12f, 1e-11f, 1e-10f, 1e-9f,  1e-8f,  1e-7f,  1e-6f,  1e-5f,
    1e-4f,  1e-3f,  1e-2f,  1e-1f,  1e0f,   1e1f,   1e2f,   1e3f,   1e4f,   1e5f,   1e6f,
    1e7f,   1e8f,   1e9f,   1e10f,  1e11f,  1e12f,  1e13f,  1e14f,  1e15f,  1e16f,  1e17f,
    1e18f,  1e19f,  1e20f,  1e21f,  1e22f,  1e23f,  1e24f,  1e25f,  1e26f,  1e27f,  1e28f,
    1e29f,  1e30f,  1e31f,  1e32f,  1e33f,  1e34f,  1e35f,  1e36f,  1e37f,  1e38f,
};

// ------------------------------------------------------ reading bytes

// The next byte: a kept one first, else from the stream; -1 at the end.
int rawGetc(PdfLexer *lx)
{
    if (lx->replayCount)
        return lx->replay[--lx->replayCount];
    ByteStream *s = lx->source;
    int c;
    if (s->readPtr < s->end) {
        c = *s->readPtr++;
    } else {
        c = s->getByte(s);
        if (c < 0)
            return -1;
    }
    lx->position++;
    return c;
}

// Keeps a character for the next read (last kept, first read again).
void unread(PdfLexer *lx, int c)
{
    if (c >= 0 && lx->replayCount < PdfLex_replaySize)
        lx->replay[lx->replayCount++] = uint8_t(c);
}

// The terminator of a token decides where the next read starts: white
// space is dropped, anything else is read again.
void dispatch(PdfLexer *lx, int c)
{
    if (c >= 0 && !isWhite(c))
        unread(lx, c);
}

// What the data ending inside a token gives: the stream's status, or 5971.
int endStatus(PdfLexer *lx)
{
    int status = lx->source->status;
    return status ? status : int(Res_pdfSyntax);
}

int skipWhite(PdfLexer *lx)
{
    int c = Pdf_Lex_getc(lx);
    while (isWhite(c))
        c = Pdf_Lex_getc(lx);
    return c;
}

// Appends to the token, growing the buffer up to the string limit: 0, 1
// memory, 5971 at 65536 bytes.
int appendGrow(PdfLexer *lx, int c)
{
    if (lx->tokenLength + 1 >= PdfLex_maxString)
        return Res_pdfSyntax;
    if (lx->tokenLength == lx->tokenCapacity && Pdf_Lex_growBuffer(lx) != Res_ok)
        return Res_noMemory;
    lx->token[lx->tokenLength++] = uint8_t(c);
    return Res_ok;
}

// Appends without growing: false when the buffer is full.
bool appendFixed(PdfLexer *lx, int c)
{
    if (lx->tokenLength == lx->tokenCapacity)
        return false;
    lx->token[lx->tokenLength++] = uint8_t(c);
    return true;
}

void setInt(PdfObj *obj, int32_t v)
{
    obj->type = PdfObj_int;
    obj->value.p = nullptr;
    obj->value.i = v;
}

// The 32-bit value an integer is handed out with: "-" tokens saturate at
// the signed limits, others at 2^32 - 1 (read unsigned, kept as bits).
int32_t toInt32(int64_t v)
{
    if (v < INT32_MIN)
        return INT32_MIN;
    if (v < 0)
        return int32_t(v);
    if (v > int64_t(UINT32_MAX))
        return int32_t(UINT32_MAX);
    return int32_t(uint32_t(v));
}

// Hands pending slot 0 out into obj; slot 1 moves down.
void handOut(PdfLexer *lx, PdfObj *obj)
{
    lx->lastInt = lx->pending[0];
    setInt(obj, toInt32(lx->pending[0]));
    lx->pending[0] = lx->pending[1];
    lx->pendingCount--;
}

int runState(PdfDoc *doc, PdfLexer *lx, PdfObj *obj);

int emitPending(PdfLexer *lx, PdfObj *obj)
{
    handOut(lx, obj);
    if (lx->pendingCount == 0)
        lx->state = lx->savedState;
    return Res_ok;
}

// Hands out what is pending, then continues in next.
int emitThen(PdfLexer *lx, PdfObj *obj, uint32_t next)
{
    if (!lx->pendingCount) {
        lx->state = next;
        return Res_ok;
    }
    lx->state = PdfLex_stateEmit;
    lx->savedState = next;
    return emitPending(lx, obj);
}

// --------------------------------------------------------------- strings

int makeString(PdfDoc *doc, PdfLexer *lx, PdfObj *obj)
{
    PdfString *s = static_cast<PdfString *>(Mem_malloc(sizeof(PdfString) + lx->tokenLength + 1));
    if (!s)
        return Res_noMemory;
    s->length = uint32_t(lx->tokenLength);
    if (lx->tokenLength)
        memcpy(PdfString_bytes(s), lx->token, lx->tokenLength);
    PdfString_bytes(s)[lx->tokenLength] = 0;
    obj->type = PdfObj_string;
    obj->value.str = s;
    PdfXrefEntry *owner = obj->owner;
    // Strings of an object-stream member were decrypted with the stream;
    // a cross-reference stream is not encrypted at all.
    if (doc && doc->security && owner && owner != doc->security->encryptEntry &&
        !(owner->flags & (PdfXref_compressed | PdfXref_plain)))
        Pdf_Sec_decryptString(doc, s, owner->number, owner->generation);
    return Res_ok;
}

int failOn(PdfLexer *lx, int err)
{
    if (err == Res_pdfSyntax)
        return Pdf_Lex_fail(lx, nullptr, "malformed string or name");
    return err;
}

// After "(": nested parentheses stay in the string, escapes are decoded,
// an unescaped 10 is dropped.
int readString(PdfDoc *doc, PdfLexer *lx, PdfObj *obj)
{
    lx->tokenLength = 0;
    uint32_t depth = 1;
    for (;;) {
        int c = rawGetc(lx);
        if (c < 0)
            return failOn(lx, endStatus(lx));
        if (c == '\\') {
            c = rawGetc(lx);
            switch (c) {
            case -1: return failOn(lx, endStatus(lx));
            case 'n': c = 10; break;
            case 'r': c = 13; break;
            case 't': c = 9; break;
            case 'b': c = 8; break;
            case 'f': c = 12; break;
            case 10: continue;
            case 13: {
                int next = rawGetc(lx);
                if (next != 10)
                    unread(lx, next);
                continue;
            }
            default:
                if (c >= '0' && c <= '7') {
                    int v = c - '0';
                    for (int k = 0; k < 2; k++) {
                        int d = rawGetc(lx);
                        if (d < '0' || d > '7') {
                            unread(lx, d);
                            break;
                        }
                        v = v * 8 + (d - '0');
                    }
                    c = v & 0xFF;
                }
                break;
            }
        } else if (c == '(') {
            depth++;
        } else if (c == ')') {
            if (--depth == 0)
                break;
        } else if (c == 10) {
            continue;
        }
        int err = appendGrow(lx, c);
        if (err != Res_ok)
            return failOn(lx, err);
    }
    return makeString(doc, lx, obj);
}

// After "<" and its first character c.
int readHexString(PdfDoc *doc, PdfLexer *lx, PdfObj *obj, int c)
{
    lx->tokenLength = 0;
    int high = -1;
    for (;; c = rawGetc(lx)) {
        if (c < 0)
            return failOn(lx, endStatus(lx));
        if (isWhite(c))
            continue;
        if (c == '>')
            break;
        int v = Hex_digitValue(c);
        if (v < 0)
            return Pdf_Lex_fail(lx, nullptr, "bad hexadecimal string");
        if (high < 0) {
            high = v;
            continue;
        }
        int err = appendGrow(lx, high * 16 + v);
        if (err != Res_ok)
            return failOn(lx, err);
        high = -1;
    }
    if (high >= 0) {
        int err = appendGrow(lx, high * 16);
        if (err != Res_ok)
            return failOn(lx, err);
    }
    return makeString(doc, lx, obj);
}

// ----------------------------------------------------------------- names

int readName(PdfDoc *doc, PdfLexer *lx, PdfObj *obj)
{
    lx->tokenLength = 0;
    int c;
    for (;;) {
        c = rawGetc(lx);
        if (isNameEnd(c))
            break;
        if (c == '#') {
            int h1 = rawGetc(lx);
            int v1 = Hex_digitValue(h1);
            if (v1 < 0) {
                unread(lx, h1); // "#" before a non-digit is dropped
                continue;
            }
            int h2 = rawGetc(lx);
            int v2 = Hex_digitValue(h2);
            if (v2 < 0) {
                unread(lx, h2);
                c = v1;
            } else {
                c = v1 * 16 + v2;
            }
        }
        int err = appendGrow(lx, c);
        if (err != Res_ok)
            return failOn(lx, err);
    }
    if (!doc || !doc->names)
        return Res_pdfNoDocument;
    char *text = Pdf_NameTable_intern(doc->names, reinterpret_cast<const char *>(lx->token),
                                      lx->tokenLength);
    if (!text)
        return Res_noMemory;
    obj->type = PdfObj_name;
    obj->value.name = text;
    dispatch(lx, c);
    return Res_ok;
}

// -------------------------------------------------------------- keywords

int readKeyword(PdfLexer *lx, PdfObj *obj, int c)
{
    char word[PdfLex_maxKeyword];
    size_t n = 0;
    bool tooLong = false;
    for (; isKeywordChar(c); c = Pdf_Lex_getc(lx)) {
        if (n == PdfLex_maxKeyword)
            tooLong = true; // the rest of the word is read and dropped
        else
            word[n++] = char(c);
    }
    dispatch(lx, c);
    if (tooLong)
        return Res_pdfBadKeyword;
    int32_t k = Pdf_Lex_keywordIndex(word, n);
    if (k < 0)
        return Res_pdfBadKeyword;
    obj->value.p = nullptr;
    if (n == 4 && memcmp(word, "true", 4) == 0) {
        obj->type = PdfObj_bool;
        obj->value.i = 1;
    } else if (n == 5 && memcmp(word, "false", 5) == 0) {
        obj->type = PdfObj_bool;
        obj->value.i = 0;
    } else if (n == 4 && memcmp(word, "null", 4) == 0) {
        obj->type = PdfObj_null;
    } else {
        obj->type = PdfObj_keyword;
        obj->value.i = k;
    }
    return Res_ok;
}

// --------------------------------------------------------------- numbers

int readFraction(PdfLexer *lx, PdfObj *obj)
{
    lx->state = PdfLex_stateMain;
    int c;
    while (isDigit(c = Pdf_Lex_getc(lx))) {
        if (!appendFixed(lx, c))
            return Pdf_Lex_fail(lx, nullptr, "Number too big!");
    }
    obj->type = PdfObj_real;
    obj->value.p = nullptr;
    obj->value.f = Pdf_Lex_strToFloat(lx->token, lx->tokenLength);
    dispatch(lx, c);
    return Res_ok;
}

// A reference "n g R" from the two pending integers.
int makeReference(PdfDoc *doc, PdfLexer *lx, PdfObj *obj)
{
    int64_t number = lx->pending[0], generation = lx->pending[1];
    lx->pendingCount = 0;
    obj->value.p = nullptr;
    if (number < 0 || number > int64_t(UINT32_MAX) || generation < 0) {
        obj->type = PdfObj_null; // names no object any table can hold
        return Res_ok;
    }
    // The table holds generations past 65535 as 65535.
    generation = std::min<int64_t>(generation, 0xFFFF);
    if (doc) {
        PdfXrefEntry *e = Pdf_Xref_find(doc, uint32_t(number), int32_t(generation));
        // A reference to a free entry stays unresolved (it resolves to
        // Null), so that it keeps the numbers it was written with.
        if (e && (e->flags & PdfXref_inUse)) {
            obj->type = PdfObj_indirect;
            obj->value.entry = e;
            return Res_ok;
        }
    }
    PdfRefBlock *ref = static_cast<PdfRefBlock *>(Mem_malloc(sizeof(PdfRefBlock)));
    if (!ref)
        return Res_noMemory;
    ref->number = uint32_t(number);
    ref->generation = uint32_t(generation);
    obj->type = PdfObj_unresolved;
    obj->value.ref = ref;
    return Res_ok;
}

int readInteger(PdfDoc *doc, PdfLexer *lx, PdfObj *obj, int c);

// An integer has just become pending and c ended it: decide whether more
// integers and "R" follow.
int afterInteger(PdfDoc *doc, PdfLexer *lx, PdfObj *obj, int c)
{
    while (isWhite(c))
        c = Pdf_Lex_getc(lx);
    if (isDigit(c)) {
        if (lx->pendingCount == 2) {
            handOut(lx, obj);
            unread(lx, c);
            lx->state = PdfLex_stateInteger;
            return Res_ok;
        }
        return readInteger(doc, lx, obj, c);
    }
    if (c == 'R') {
        int next = Pdf_Lex_getc(lx);
        if (isKeywordChar(next)) {
            // "R" begins a keyword ("RG"): the integers are operands.
            unread(lx, next);
            unread(lx, 'R');
            lx->savedState = PdfLex_stateMain;
            lx->state = PdfLex_stateEmit;
            return emitPending(lx, obj);
        }
        if (lx->pendingCount != 2)
            return Pdf_Lex_fail(lx, obj, "Bad reference");
        lx->state = PdfLex_stateMain;
        dispatch(lx, next);
        return makeReference(doc, lx, obj);
    }
    dispatch(lx, c);
    lx->savedState = PdfLex_stateMain;
    lx->state = PdfLex_stateEmit;
    return emitPending(lx, obj);
}

// Reads an integer token starting with c (a digit or "-"); a "." makes it
// a real number.
int readInteger(PdfDoc *doc, PdfLexer *lx, PdfObj *obj, int c)
{
    lx->state = PdfLex_stateMain;
    lx->tokenLength = 0;
    do {
        if (!appendFixed(lx, c))
            return Pdf_Lex_fail(lx, obj, "Number too big!");
        c = Pdf_Lex_getc(lx);
    } while (isDigit(c));
    if (c == '.') {
        if (!appendFixed(lx, c))
            return Pdf_Lex_fail(lx, obj, "Number too big!");
        if (lx->pendingCount)
            return emitThen(lx, obj, PdfLex_stateFraction);
        return readFraction(lx, obj);
    }
    lx->pending[lx->pendingCount++] = Pdf_Lex_parseInt(lx->token, lx->tokenLength);
    return afterInteger(doc, lx, obj, c);
}

// --------------------------------------------------------- containers

int enterContainer(PdfLexer *lx)
{
    if (lx->depth >= PdfLex_maxDepth)
        return Pdf_Lex_fail(lx, nullptr, "containers nested too deep");
    lx->depth++;
    return Res_ok;
}

// One element (or key, or value) of a container: Res_pdfSyntax when the data
// end.
int readElement(PdfDoc *doc, PdfLexer *lx, PdfObj *obj)
{
    lx->endFlag = 0;
    int err = runState(doc, lx, obj);
    if (err == Res_ok && lx->endFlag)
        err = Res_pdfSyntax;
    return err;
}

int readArray(PdfDoc *doc, PdfLexer *lx, PdfObj *obj)
{
    int err = enterContainer(lx);
    if (err != Res_ok)
        return err;
    uint32_t savedMode = lx->mode;
    lx->mode = PdfLex_modeArray;
    uint32_t capacity = 4, count = 0;
    PdfArray *a = static_cast<PdfArray *>(Mem_malloc(sizeof(PdfArray) + capacity * sizeof(PdfObj)));
    if (!a) {
        err = Res_noMemory;
        goto done;
    }
    for (;;) {
        if (count == capacity) {
            PdfArray *grown = static_cast<PdfArray *>(
                Mem_realloc(a, sizeof(PdfArray) + 2 * size_t(capacity) * sizeof(PdfObj)));
            if (!grown) {
                err = Res_noMemory;
                break;
            }
            a = grown;
            capacity *= 2;
        }
        PdfObj *item = &PdfArray_items(a)[count];
        item->type = PdfObj_null;
        item->value.p = nullptr;
        item->owner = obj->owner;
        err = readElement(doc, lx, item);
        if (err != Res_ok || lx->mode == PdfLex_modeNone)
            break;
        count++;
    }
    if (err != Res_ok) {
        for (uint32_t i = 0; i < count; i++)
            Pdf_Obj_freeContents(&PdfArray_items(a)[i], 0);
        Mem_free(a);
        goto done;
    }
    if (count == 0) {
        Mem_free(a);
        a = nullptr;
    } else if (count < capacity) {
        PdfArray *trimmed =
            static_cast<PdfArray *>(Mem_realloc(a, sizeof(PdfArray) + count * sizeof(PdfObj)));
        if (trimmed)
            a = trimmed;
    }
    if (a) {
        a->count = count;
    }
    obj->type = PdfObj_array;
    obj->value.arr = a;
done:
    lx->mode = savedMode;
    lx->depth--;
    return err;
}

void freeDictTable(PdfDict *t, uint32_t count)
{
    if (!t)
        return;
    for (uint32_t i = 0; i < count; i++)
        Pdf_Obj_freeContents(&PdfDict_entries(t)[i].value, 0);
    Mem_free(t);
}

// After a dictionary: "stream" (its data follow the end of line) makes it
// a stream; anything else is read again.
int finishDict(PdfLexer *lx, PdfObj *obj, PdfDict *table)
{
    obj->type = PdfObj_dict;
    obj->value.dict = table;
    int c = skipWhite(lx);
    if (c != 's') {
        dispatch(lx, c);
        return Res_ok;
    }
    static constexpr char rest[] = "tream";
    int got[sizeof rest];
    for (size_t k = 0; k + 1 < sizeof rest; k++) {
        got[k] = Pdf_Lex_getc(lx);
        if (got[k] != rest[k]) {
            unread(lx, got[k]);
            while (k-- > 0)
                unread(lx, got[k]);
            unread(lx, 's');
            return Res_ok;
        }
    }
    uint64_t offset = Pdf_Lex_tell(lx);
    c = rawGetc(lx);
    if (c == 13) {
        offset++;
        c = rawGetc(lx);
    }
    if (c == 10)
        offset++;
    else
        unread(lx, c);
    PdfStreamRec *rec = static_cast<PdfStreamRec *>(Mem_malloc(sizeof(PdfStreamRec)));
    if (!rec)
        return Res_noMemory; // the caller releases the dictionary
    rec->dict = table;
    rec->offset = offset;
    obj->type = PdfObj_stream;
    obj->value.stream = rec;
    return Res_ok;
}

int readDict(PdfDoc *doc, PdfLexer *lx, PdfObj *obj)
{
    int err = enterContainer(lx);
    if (err != Res_ok)
        return err;
    uint32_t savedMode = lx->mode;
    lx->mode = PdfLex_modeDict;
    PdfDict *t = nullptr;
    if (Pdf_Dict_reserve(&t, 4) != Res_ok) {
        err = Res_noMemory;
        goto done;
    }
    for (;;) {
        PdfObj key{PdfObj_null, {}, obj->owner};
        err = readElement(doc, lx, &key);
        if (err != Res_ok || lx->mode == PdfLex_modeNone)
            break;
        if (key.type != PdfObj_name) {
            Pdf_Obj_freeContents(&key, 0);
            err = Pdf_Lex_fail(lx, nullptr, "dictionary key is not a name");
            break;
        }
        if (Pdf_Dict_reserve(&t, 1) != Res_ok) {
            err = Res_noMemory;
            break;
        }
        PdfDictEntry *e = &PdfDict_entries(t)[t->count];
        e->key = key.value.name;
        e->value.type = PdfObj_null;
        e->value.value.p = nullptr;
        e->value.owner = obj->owner;
        err = readElement(doc, lx, &e->value);
        if (err != Res_ok || lx->mode == PdfLex_modeNone)
            break; // a key without a value at ">>" is dropped
        t->count++;
    }
    if (err == Res_ok && rawGetc(lx) != '>')
        err = Pdf_Lex_fail(lx, nullptr, "dict ended not in dict!");
    if (err != Res_ok) {
        freeDictTable(t, t ? t->count : 0);
        goto done;
    }
    if (t->count == 0) {
        Mem_free(t);
        t = nullptr;
    } else if (t->count < t->capacity) {
        PdfObj tmp{PdfObj_dict, {}, nullptr};
        tmp.value.dict = t;
        Pdf_Dict_trim(&tmp);
        t = tmp.value.dict;
    }
    err = finishDict(lx, obj, t);
    if (err != Res_ok) {
        freeDictTable(t, t ? t->count : 0);
        obj->type = PdfObj_null;
        obj->value.p = nullptr;
    }
done:
    lx->mode = savedMode;
    lx->depth--;
    return err;
}

// ------------------------------------------------------------ main state

int parseObject(PdfDoc *doc, PdfLexer *lx, PdfObj *obj)
{
    for (;;) {
        int c = Pdf_Lex_getc(lx);
        if (c < 0) {
            lx->endFlag = 1;
            return lx->source->status;
        }
        if (isWhite(c))
            continue;
        switch (c) {
        case '(': return readString(doc, lx, obj);
        case '<': {
            int next = rawGetc(lx);
            if (next == '<')
                return readDict(doc, lx, obj);
            return readHexString(doc, lx, obj, next);
        }
        case '/': return readName(doc, lx, obj);
        case '[': return readArray(doc, lx, obj);
        case ']':
            if (lx->mode == PdfLex_modeArray) {
                lx->mode = PdfLex_modeNone;
                return Res_ok;
            }
            return Pdf_Lex_fail(lx, obj, "array ended not in array!");
        case '>':
            if (lx->mode == PdfLex_modeDict) {
                lx->mode = PdfLex_modeNone;
                return Res_ok;
            }
            return Pdf_Lex_fail(lx, obj, "dict ended not in dict!");
        case '.':
            lx->tokenLength = 0;
            appendFixed(lx, c);
            return readFraction(lx, obj);
        default: break;
        }
        if (c == '-' || isDigit(c))
            return readInteger(doc, lx, obj, c);
        if (isKeywordStart(c))
            return readKeyword(lx, obj, c);
        return Pdf_Lex_fail(lx, obj, "invalid character detected!");
    }
}

int runState(PdfDoc *doc, PdfLexer *lx, PdfObj *obj)
{
    switch (lx->state) {
    case PdfLex_stateFailed: return Res_pdfSyntax;
    case PdfLex_stateEmit: return emitPending(lx, obj);
    case PdfLex_stateInteger: return readInteger(doc, lx, obj, rawGetc(lx));
    case PdfLex_stateFraction: return readFraction(lx, obj);
    default: return parseObject(doc, lx, obj);
    }
}

} // namespace

// ---------------------------------------------------------------- public

int32_t Pdf_Lex_keywordIndex(const char *text, size_t length)
{
    if (length == 0 || length > PdfLex_maxKeyword)
        return -1;
    for (uint32_t h = kwHash(text, length);; h = (h + 1) % kwSlots) {
        uint8_t k = kwTable.slot[h];
        if (!k)
            return -1;
        const char *w = PdfLex_keywords[k - 1];
        if (strlen(w) == length && memcmp(w, text, length) == 0)
            return k - 1;
    }
}

int Pdf_Lex_create(PdfLexer **out, ByteStream *stream)
{
    *out = nullptr;
    PdfLexer *lx = static_cast<PdfLexer *>(Mem_calloc(1, sizeof(PdfLexer)));
    if (!lx)
        return Res_noMemory;
    lx->token = static_cast<uint8_t *>(Mem_malloc(PdfLex_tokenStart));
    if (!lx->token) {
        Mem_free(lx);
        return Res_noMemory;
    }
    lx->tokenCapacity = PdfLex_tokenStart;
    lx->source = stream;
    lx->state = PdfLex_stateMain;
    lx->savedState = PdfLex_stateMain;
    *out = lx;
    return Res_ok;
}

void Pdf_Lex_destroy(PdfLexer *lexer)
{
    if (!lexer)
        return;
    Mem_free(lexer->token);
    Mem_free(lexer);
}

int Pdf_Lex_next(PdfDoc *doc, PdfLexer *lexer, PdfObj *obj, int *produced)
{
    obj->type = PdfObj_null;
    obj->value.p = nullptr;
    lexer->endFlag = 0;
    int err = runState(doc, lexer, obj);
    *produced = !lexer->endFlag;
    return err;
}

void Pdf_Lex_reset(PdfLexer *lexer)
{
    lexer->state = PdfLex_stateMain;
    lexer->savedState = PdfLex_stateMain;
    lexer->pendingCount = 0;
    lexer->tokenLength = 0;
    lexer->replayCount = 0;
    lexer->endFlag = 0;
    lexer->mode = PdfLex_modeNone;
    lexer->depth = 0;
    lexer->failMessage = nullptr;
}

int Pdf_Lex_seek(PdfLexer *lexer, uint64_t offset)
{
    lexer->position = lexer->base + offset;
    Pdf_Lex_reset(lexer);
    return ByteStream_seek(lexer->source, lexer->position);
}

void Pdf_Lex_setBase(PdfLexer *lexer, uint64_t base)
{
    lexer->base = base;
}

uint64_t Pdf_Lex_tell(const PdfLexer *lexer)
{
    if (!lexer)
        return 0;
    return lexer->position - lexer->replayCount - lexer->base;
}

int Pdf_Lex_getStreamPos(PdfLexer *lexer, uint64_t *tell, uint64_t *streamPos)
{
    *tell = Pdf_Lex_tell(lexer);
    *streamPos = 0;
    return ByteStream_control(lexer->source, ByteStream_opPosition, streamPos);
}

int Pdf_Lex_getc(PdfLexer *lexer)
{
    int c = rawGetc(lexer);
    if (c == '%') {
        do
            c = rawGetc(lexer);
        while (c >= 0 && c != 10 && c != 13);
    }
    return c;
}

void Pdf_Lex_unget(PdfLexer *lexer, int c)
{
    unread(lexer, c);
}

int Pdf_Lex_expect(PdfLexer *lexer, const char *pattern)
{
    int c = skipWhite(lexer);
    for (const char *p = pattern; *p;) {
        if (*p == '*') {
            char want = p[1];
            if (!want)
                return Res_ok;
            while (c >= 0 && c != uint8_t(want))
                c = Pdf_Lex_getc(lexer);
            p++;
            continue;
        }
        if (c != uint8_t(*p)) {
            if (c < 0)
                return endStatus(lexer);
            unread(lexer, c);
            return Res_pdfSyntax;
        }
        if (*++p)
            c = Pdf_Lex_getc(lexer);
    }
    return Res_ok;
}

int Pdf_Lex_readInt(PdfLexer *lexer, int64_t *out)
{
    *out = 0;
    if (lexer->pendingCount) {
        *out = lexer->pending[0];
        lexer->pending[0] = lexer->pending[1];
        if (--lexer->pendingCount == 0 && lexer->state == PdfLex_stateEmit)
            lexer->state = lexer->savedState;
        return Res_ok;
    }
    int c = skipWhite(lexer);
    if (!isDigit(c)) {
        unread(lexer, c);
        return c < 0 ? endStatus(lexer) : int(Res_pdfSyntax);
    }
    lexer->tokenLength = 0;
    for (; isDigit(c); c = Pdf_Lex_getc(lexer)) {
        if (!appendFixed(lexer, c))
            return Res_pdfSyntax;
    }
    if (c == '.')
        return Res_pdfSyntax;
    dispatch(lexer, c);
    *out = Pdf_Lex_parseInt(lexer->token, lexer->tokenLength);
    return Res_ok;
}

int Pdf_Lex_isIdle(const PdfLexer *lexer)
{
    return lexer->pendingCount == 0;
}

int Pdf_Lex_readRaw(PdfLexer *lexer, size_t *count, uint8_t *buffer)
{
    while (*count && lexer->replayCount) {
        *buffer++ = lexer->replay[--lexer->replayCount];
        (*count)--;
    }
    ByteStream *s = lexer->source;
    while (*count) {
        if (s->readPtr < s->end) {
            size_t n = size_t(s->end - s->readPtr);
            if (n > *count)
                n = *count;
            memcpy(buffer, s->readPtr, n);
            s->readPtr += n;
            buffer += n;
            *count -= n;
            lexer->position += n;
            continue;
        }
        int c = s->getByte(s);
        if (c < 0)
            return s->status ? s->status : int(Res_byteStreamEnded);
        *buffer++ = uint8_t(c);
        (*count)--;
        lexer->position++;
    }
    return Res_ok;
}

int Pdf_Lex_control(PdfLexer *lexer, uint32_t op, void *arg)
{
    return ByteStream_control(lexer->source, op, arg);
}

void Pdf_Lex_shrinkBuffer(PdfLexer *lexer)
{
    if (lexer->tokenCapacity <= PdfLex_tokenStart)
        return;
    uint8_t *t = static_cast<uint8_t *>(Mem_realloc(lexer->token, PdfLex_tokenStart));
    if (!t)
        return;
    lexer->token = t;
    lexer->tokenCapacity = PdfLex_tokenStart;
    lexer->tokenLength = 0;
}

int Pdf_Lex_growBuffer(PdfLexer *lexer)
{
    uint8_t *t = static_cast<uint8_t *>(Mem_realloc(lexer->token, lexer->tokenCapacity * 2));
    if (!t)
        return Res_noMemory;
    lexer->token = t;
    lexer->tokenCapacity *= 2;
    return Res_ok;
}

int Pdf_Lex_fail(PdfLexer *lexer, PdfObj *obj, const char *message)
{
    if (obj && lexer->pendingCount)
        handOut(lexer, obj);
    lexer->pendingCount = 0;
    lexer->failMessage = message;
    lexer->state = PdfLex_stateFailed;
    return Res_pdfSyntax;
}

int64_t Pdf_Lex_parseInt(const uint8_t *token, size_t length)
{
    size_t i = 0;
    bool negative = length && token[0] == '-';
    if (negative)
        i = 1;
    uint64_t v = 0;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; i < length && isDigit(token[i]); i++) {
        uint64_t d = token[i] - '0';
        v = v > (limit - d) / 10 ? limit : v * 10 + d;
    }
    if (negative)
        return v == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -int64_t(v);
    return int64_t(v);
}

float Pdf_Lex_strToFloat(const uint8_t *text, size_t length)
{
    size_t i = 0;
    while (i < length && isWhite(text[i]))
        i++;
    bool negative = i < length && text[i] == '-';
    if (negative)
        i++;
    while (i < length && text[i] == '0')
        i++;
    uint32_t mantissa = 0;
    int32_t exponent = 0;
    for (; i < length && isDigit(text[i]); i++) {
        if (mantissa < 1048576)
            mantissa = mantissa * 10 + uint32_t(text[i] - '0');
        else
            exponent++;
    }
    if (i < length && text[i] == '.') {
        for (i++; i < length && isDigit(text[i]); i++) {
            if (mantissa >= 1048576)
                break;
            mantissa = mantissa * 10 + uint32_t(text[i] - '0');
            exponent--;
        }
    }
    float f;
    if (exponent < -37) {
        f = 0.0f;
    } else if (exponent > 38) {
        f = FLT_MAX;
    } else {
        f = float(mantissa) * powersOfTen[exponent + 37];
        if (f > FLT_MAX)
            f = FLT_MAX;
    }
    return negative ? -f : f;
}
