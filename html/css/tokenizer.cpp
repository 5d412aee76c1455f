// The style-sheet tokenizer: identifiers, strings, hash names, numbers
// with units, url(...), functions, at-keywords and the few symbols of the
// CSS level 2 token set, over 16-bit text or a byte stream converted in
// blocks.
//
// Stream mode keeps the converted text from a little before the start of
// the current token onward, so a fixed word that fails to match across a
// block end simply steps back: there is no push-back stack to overflow.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset_detect.h"
#include "core/text/ustrbuf.h"
#include "html/css/cssparse.h"
#include "platform/vfs/vfs.h"

namespace {

enum : size_t { kKeepBehind = 64 }; // characters kept behind the read position

bool isSpaceChar(uint32_t c)
{
    return c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32 || c == 0xFEFF;
}

bool isLetter(uint32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigitChar(uint32_t c)
{
    return c >= '0' && c <= '9';
}

bool isHex(uint32_t c)
{
    return isDigitChar(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

uint32_t lower(uint32_t c)
{
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// Converts the next block of the stream onto the end of the text. false
// at the end of the stream or on an error (the error word is then set).
bool readBlock(CssTokenizer *t)
{
    if (!t->stream || t->streamEnded || t->error)
        return false;
    const uint8_t *bytes = nullptr;
    size_t n = 0;
    int err = Vfs_getReadBuf(t->stream, Css_blockBytes, &bytes, &n);
    if (err || !n) {
        if (!err)
            (void)Vfs_readDone(t->stream, 0);
        t->streamEnded = 1;
        return false;
    }
    if (n > Css_blockBytes)
        n = Css_blockBytes;
    if (!t->charsetChosen) {
        t->charsetChosen = 1;
        // The charset the stream names (one the table does not know reads
        // as ISO-8859-1), else the detector's guess.
        uint32_t code = CharsetCode_latin1;
        uintptr_t value = 0;
        if (Vfs_getInfo(t->stream, VfsInfo_string2, &value) == Res_ok && value) {
            if (Charset_fromName(reinterpret_cast<const char16_t *>(value), &code) != Res_ok)
                code = CharsetCode_latin1;
        } else {
            CharsetDetector *d = nullptr;
            code = CharsetCode_latin1;
            if (Charset_detectorNew(t->context, &d) == Res_ok) {
                Charset_detectorFeed(d, bytes, n);
                code = Charset_detectorGuess(d, CharsetCode_latin1);
                Charset_detectorFree(d);
            }
        }
        t->convert = Charset_findConverter(code, CharsetCode_utf16, &t->convState, nullptr);
        if (!t->convert)
            t->convert = Charset_latin1ToUtf16;
    }
    // The bytes with any carried tail of a split character in front.
    size_t total = t->carryLength + n;
    uint8_t *src = static_cast<uint8_t *>(Mem_malloc(total));
    size_t need = t->length + 2 * total + 2;
    if (src && need > t->ownedCapacity) {
        char16_t *grown = static_cast<char16_t *>(Mem_realloc(t->owned, need * sizeof(char16_t)));
        if (grown) {
            t->owned = grown;
            t->ownedCapacity = need;
        } else {
            Mem_free(src);
            src = nullptr;
        }
    }
    if (!src) {
        (void)Vfs_readDone(t->stream, 0);
        t->error = Res_noMemory;
        return false;
    }
    memcpy(src, t->carry, t->carryLength);
    memcpy(src + t->carryLength, bytes, n);
    (void)Vfs_readDone(t->stream, n);
    // Convert; a byte the charset cannot read becomes U+FFFD, and the
    // start of a character split by the block end waits for the next one.
    size_t at = 0;
    t->carryLength = 0;
    while (at < total) {
        size_t consumed = 0, produced = 0;
        size_t room = (t->ownedCapacity - t->length) * sizeof(char16_t);
        int rc = t->convert(t->context, src + at, total - at,
                            reinterpret_cast<uint8_t *>(t->owned + t->length), room, &consumed,
                            &produced, &t->convState);
        t->length += produced / sizeof(char16_t);
        at += consumed;
        if (at >= total || rc == Res_ok)
            break;
        if (rc == Res_charsetIncomplete && total - at <= sizeof t->carry) {
            memcpy(t->carry, src + at, total - at);
            t->carryLength = total - at;
            break;
        }
        if (t->length >= t->ownedCapacity)
            break;
        t->owned[t->length++] = 0xFFFD;
        at++;
    }
    Mem_free(src);
    t->text = t->owned;
    return true;
}

// The character k places ahead of the read position, or -1 at the end.
int32_t peekAt(CssTokenizer *t, size_t k)
{
    while (t->pos + k >= t->length)
        if (!readBlock(t))
            return -1;
    return t->text[t->pos + k];
}

int32_t peek(CssTokenizer *t)
{
    return peekAt(t, 0);
}

void advance(CssTokenizer *t, size_t n = 1)
{
    t->pos += n;
    if (t->pos > t->length)
        t->pos = t->length;
}

bool record(CssTokenizer *t, uint32_t c)
{
    if (Css_textAppend(&t->token, char16_t(c)) == Res_ok)
        return true;
    t->error = Res_noMemory;
    return false;
}

// 1 when the characters at the read position spell word (ASCII case
// ignored); nothing is consumed.
bool lookingAt(CssTokenizer *t, const char *word, size_t offset = 0)
{
    for (size_t i = 0; word[i]; i++) {
        int32_t c = peekAt(t, offset + i);
        if (c < 0 || lower(uint32_t(c)) != uint32_t(uint8_t(word[i])))
            return false;
    }
    return true;
}

// An escape at the read position ('\' and a character that it keeps):
// 1 with the kept character consumed and recorded.
bool readEscape(CssTokenizer *t)
{
    int32_t next = peekAt(t, 1);
    if (next < 32)
        return false;
    advance(t, 2);
    return record(t, uint32_t(next));
}

bool isNameStart(CssTokenizer *t, int32_t c)
{
    if (c < 0)
        return false;
    if (isLetter(uint32_t(c)) || c == '_' || c >= 256)
        return true;
    if (c == '\\')
        return peekAt(t, 1) >= 32;
    return t->identDigits && isDigitChar(uint32_t(c));
}

bool isNameChar(CssTokenizer *t, int32_t c)
{
    return isNameStart(t, c) || (c >= 0 && (isDigitChar(uint32_t(c)) || c == '-'));
}

// Reads name characters onto the token text.
void readName(CssTokenizer *t)
{
    for (;;) {
        int32_t c = peek(t);
        if (c == '\\') {
            if (!readEscape(t))
                return;
            continue;
        }
        if (!isNameChar(t, c))
            return;
        if (!record(t, uint32_t(c)))
            return;
        advance(t);
    }
}

// A quoted string at the read position: the characters between the quotes
// become the token text. false when it is broken (the read position is
// then back at the quote).
bool readString(CssTokenizer *t)
{
    size_t start = t->pos;
    int32_t quote = peek(t);
    advance(t);
    t->token.length = 0;
    for (;;) {
        int32_t c = peek(t);
        if (c == quote) {
            advance(t);
            return true;
        }
        if (c == '\\') {
            int32_t next = peekAt(t, 1);
            if (next == '\n' || next == '\f') {
                advance(t, 2);
                continue;
            }
            if (next == '\r') {
                advance(t, peekAt(t, 2) == '\n' ? 3 : 2);
                continue;
            }
            if (readEscape(t))
                continue;
        } else if (c == '\t' || c >= 32) {
            if (!record(t, uint32_t(c)))
                return false;
            advance(t);
            continue;
        }
        // A raw line break, a control character or the end.
        t->pos = start;
        t->token.length = 0;
        return false;
    }
}

void skipSpaces(CssTokenizer *t)
{
    for (int32_t c = peek(t); c >= 0 && isSpaceChar(uint32_t(c)); c = peek(t))
        advance(t);
}

// url( at the read position ("url(" already matched).
void readUrl(CssTokenizer *t)
{
    advance(t, 4);
    skipSpaces(t);
    int32_t c = peek(t);
    if (c == '"' || c == '\'') {
        if (!readString(t))
            advance(t); // a broken quote is skipped with the rest below
    } else {
        for (c = peek(t); c >= 0 && c != ')' && !isSpaceChar(uint32_t(c)); c = peek(t)) {
            if (c == '\\') {
                if (!readEscape(t))
                    break;
                continue;
            }
            if (c == '}' || c < 33 || c == '"' || c == '\'' || c == '(')
                break;
            if (!record(t, uint32_t(c)))
                return;
            advance(t);
        }
    }
    skipSpaces(t);
    for (c = peek(t); c >= 0 && c != ')' && c != '}'; c = peek(t))
        advance(t);
    if (c == ')')
        advance(t);
    t->kind = CssTok_url;
}

const struct {
    const char *text;
    uint32_t kind;
} kUnits[] = {
    {"em", CssTok_em},   {"ex", CssTok_ex},   {"px", CssTok_px},     {"cm", CssTok_cm},
    {"mm", CssTok_mm},   {"in", CssTok_in},   {"pt", CssTok_pt},     {"pc", CssTok_pc},
    {"deg", CssTok_deg}, {"rad", CssTok_rad}, {"grad", CssTok_grad}, {"ms", CssTok_ms},
    {"s", CssTok_s},     {"hz", CssTok_hz},   {"khz", CssTok_khz},   {"%", CssTok_percent},
};

const struct {
    const char *text;
    uint32_t kind;
} kSymbols[] = {
    {"<!--", CssTok_cdo},     {"-->", CssTok_cdc},          {"~=", CssTok_includes},
    {"|=", CssTok_dashMatch}, {"@import", CssTok_import},   {"@page", CssTok_page},
    {"@media", CssTok_media}, {"@charset", CssTok_charset}, {"@font-face", CssTok_fontFace},
};

// A number at the read position. false when it fails (a '.' without a
// digit after it).
bool readNumber(CssTokenizer *t)
{
    size_t start = t->pos;
    int64_t integer = 0;
    int32_t c;
    for (c = peek(t); c >= 0 && isDigitChar(uint32_t(c)); c = peek(t)) {
        if (integer < 0x7FFFFFF)
            integer = integer * 10 + (c - '0');
        advance(t);
    }
    uint32_t fraction = 0;
    if (c == '.') {
        int32_t next = peekAt(t, 1);
        if (next < 0 || !isDigitChar(uint32_t(next))) {
            t->pos = start;
            return false;
        }
        advance(t);
        static const uint32_t scale[4] = {6554, 655, 66, 7};
        int digits = 0;
        for (c = peek(t); c >= 0 && isDigitChar(uint32_t(c)); c = peek(t)) {
            if (digits < 4)
                fraction += uint32_t(c - '0') * scale[digits++];
            advance(t);
        }
    }
    t->integer = int32_t(integer);
    t->fraction = uint16_t(fraction > 65535 ? 65535 : fraction);
    size_t afterNumber = t->pos;
    skipSpaces(t);
    bool spaced = t->pos != afterNumber;
    // Directly after the number a unit needs no word boundary ("10pxa" is
    // 10px and "a"); after white space it must be a whole word, so that
    // "1.5 serif" stays a number and a name.
    for (const auto &u : kUnits)
        if (lookingAt(t, u.text) && !(spaced && isNameChar(t, peekAt(t, strlen(u.text))))) {
            advance(t, strlen(u.text));
            t->kind = u.kind;
            return true;
        }
    if (!spaced && isNameStart(t, peek(t))) {
        readName(t);
        t->kind = CssTok_dimension;
        return true;
    }
    t->kind = CssTok_number;
    return true;
}

} // namespace

namespace {

// A zeroed text grows from this many characters, doubling, rather than by
// one character at a time.
constexpr uint32_t tokenizerTextStep = 16;

// Appends n characters (n above 0) and terminates the text.
int tokenizerTextAdd(Ustr_buf *text, const char16_t *chars, size_t n)
{
    if (!text->chars && !text->growStep)
        Ustr_bufInit(text, tokenizerTextStep);
    int r = Ustr_bufAppend(text, chars, n);
    if (r == Res_ok)
        text->chars[text->length] = 0;
    return r;
}

} // namespace

int Css_textAppend(Ustr_buf *text, char16_t c)
{
    return tokenizerTextAdd(text, &c, 1);
}

int Css_textSet(Ustr_buf *text, const char16_t *chars, size_t n)
{
    text->length = 0;
    if (text->chars)
        text->chars[0] = 0;
    return n ? tokenizerTextAdd(text, chars, n) : Res_ok;
}

void Css_tokenizerOpenText(CssTokenizer *t, const char16_t *text, size_t length)
{
    memset(t, 0, sizeof *t);
    t->text = text;
    t->length = text ? length : 0;
}

void Css_tokenizerOpenStream(EngineContext *context, CssTokenizer *t, VfsHandle *stream)
{
    memset(t, 0, sizeof *t);
    t->stream = stream;
    t->context = context;
}

void Css_tokenizerClose(CssTokenizer *t)
{
    Mem_free(t->owned);
    t->owned = nullptr;
    t->text = nullptr;
    Ustr_bufFree(&t->token);
}

void Css_valueListClear(CssValueList *list)
{
    for (uint32_t i = 0; i < Css_maxSlots; i++)
        Ustr_bufFree(&list->slots[i].text);
    memset(list, 0, sizeof *list);
}

int Css_tokenNext(CssTokenizer *t, int skipSpace)
{
    // Between tokens, drop the stream text well behind the read position
    // (within a token, positions taken for stepping back stay valid).
    if (t->owned && t->pos > kKeepBehind * 2) {
        size_t drop = t->pos - kKeepBehind;
        memmove(t->owned, t->owned + drop, (t->length - drop) * sizeof(char16_t));
        t->length -= drop;
        t->pos -= drop;
    }
    for (;;) {
        t->token.length = 0;
        if (t->token.chars)
            t->token.chars[0] = 0;
        t->integer = 0;
        t->fraction = 0;
        t->kind = 0;
        if (t->error)
            return 0;
        // Comments; an unterminated one ends the input.
        int32_t c = peek(t);
        while (c == '/' && peekAt(t, 1) == '*') {
            advance(t, 2);
            for (;;) {
                c = peek(t);
                if (c < 0)
                    return 0;
                if (c == '*' && peekAt(t, 1) == '/') {
                    advance(t, 2);
                    break;
                }
                advance(t);
            }
            c = peek(t);
        }
        if (c < 0)
            return 0;
        if (isSpaceChar(uint32_t(c))) {
            skipSpaces(t);
            if (skipSpace)
                continue;
            t->kind = CssTok_space;
            return 1;
        }
        if (lookingAt(t, "url(")) {
            readUrl(t);
            return t->error ? 0 : 1;
        }
        if (t->rawText) {
            // The target of an @import: up to ';' or white space (a media
            // list may follow).
            for (c = peek(t); c >= 0 && c != ';' && !isSpaceChar(uint32_t(c)); c = peek(t)) {
                if (c == '"' || c == '\'') {
                    if (readString(t))
                        continue;
                    c = peek(t);
                } else if (c == '\\' && readEscape(t)) {
                    continue;
                }
                if (!record(t, uint32_t(c)))
                    return 0;
                advance(t);
            }
            t->kind = CssTok_raw;
            return 1;
        }
        if (isNameStart(t, c)) {
            if (lookingAt(t, "rgb(")) {
                advance(t, 4);
                t->kind = CssTok_rgb;
                return 1;
            }
            readName(t);
            if (t->error)
                return 0;
            if (peek(t) == '(') {
                advance(t);
                t->kind = CssTok_function;
            } else {
                t->kind = CssTok_ident;
            }
            return 1;
        }
        if (t->hexName && isHex(uint32_t(c))) {
            for (c = peek(t); c >= 0 && isHex(uint32_t(c)); c = peek(t)) {
                if (!record(t, uint32_t(c)))
                    return 0;
                advance(t);
            }
            t->kind = CssTok_hash;
            return 1;
        }
        if (!t->identDigits && (isDigitChar(uint32_t(c)) || c == '.')) {
            if (readNumber(t))
                return t->error ? 0 : 1;
            advance(t);
            t->kind = uint32_t(c);
            return 0;
        }
        if (c == '-' || c == '<' || c == '@' || c == '|' || c == '~') {
            for (const auto &s : kSymbols)
                if (lookingAt(t, s.text)) {
                    advance(t, strlen(s.text));
                    t->kind = s.kind;
                    return 1;
                }
        } else if (c == '"' || c == '\'') {
            if (readString(t)) {
                t->kind = CssTok_string;
                return 1;
            }
        } else if (c == '#') {
            if (isNameChar(t, peekAt(t, 1))) {
                record(t, '#');
                advance(t);
                readName(t);
                t->kind = CssTok_hash;
                return t->error ? 0 : 1;
            }
        } else if (c == '!') {
            size_t k = 1;
            for (int32_t s = peekAt(t, k); s >= 0 && isSpaceChar(uint32_t(s)); s = peekAt(t, k))
                k++;
            if (lookingAt(t, "important", k)) {
                advance(t, k + 9);
                t->kind = CssTok_important;
                return 1;
            }
        }
        advance(t);
        t->kind = uint32_t(c);
        return 0;
    }
}
