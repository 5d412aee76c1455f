// ToUnicode maps: the reader of the map text and the lookups of codes.
#include "pdf/tounicode.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "pdf/pdf.h"

namespace {

// Ranges of more codes than this are kept apart from the others, so that a
// lookup among the others looks back over a bounded stretch.
constexpr uint32_t kTuWide = 256;
constexpr uint32_t kTuMaxWide = 4096;
constexpr uint32_t kTuMaxString = 512;

enum TuTokenKind : uint32_t {
    TuTok_end = 0,
    TuTok_string,  // bytes in text/length
    TuTok_literal, // "/name": text without the slash
    TuTok_open,    // [
    TuTok_close,   // ]
    TuTok_word,    // a keyword or number
};

struct TuToken {
    uint32_t kind;
    uint32_t length;
    uint8_t text[kTuMaxString];
};

struct TuLexer {
    const uint8_t *data;
    size_t length, pos;
};

bool tuIsSpace(uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == 0;
}

bool tuIsDelimiter(uint8_t c)
{
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}' || c == '/' || c == '%';
}

int tuHex(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void tuPut(TuToken *t, uint8_t b)
{
    if (t->length < kTuMaxString)
        t->text[t->length++] = b;
}

void tuLiteralString(TuLexer *x, TuToken *t)
{
    uint32_t depth = 1;
    while (x->pos < x->length) {
        uint8_t c = x->data[x->pos++];
        if (c == '(') {
            depth++;
        } else if (c == ')') {
            if (--depth == 0)
                return;
        } else if (c == '\\' && x->pos < x->length) {
            uint8_t e = x->data[x->pos++];
            if (e >= '0' && e <= '7') {
                uint32_t v = uint32_t(e - '0');
                for (int k = 0; k < 2 && x->pos < x->length && x->data[x->pos] >= '0' &&
                                x->data[x->pos] <= '7';
                     k++)
                    v = v * 8 + uint32_t(x->data[x->pos++] - '0');
                c = uint8_t(v);
            } else {
                switch (e) {
                case 'n': c = '\n'; break;
                case 'r': c = '\r'; break;
                case 't': c = '\t'; break;
                case 'b': c = '\b'; break;
                case 'f': c = '\f'; break;
                case '\r':
                case '\n': continue; // a line continued
                default: c = e; break;
                }
            }
        }
        tuPut(t, c);
    }
}

// The next token into *t (kind TuTok_end at the end of the text).
void tuNext(TuLexer *x, TuToken *t)
{
    t->length = 0;
    for (;;) {
        while (x->pos < x->length && tuIsSpace(x->data[x->pos]))
            x->pos++;
        if (x->pos >= x->length) {
            t->kind = TuTok_end;
            return;
        }
        uint8_t c = x->data[x->pos];
        if (c == '%') {
            while (x->pos < x->length && x->data[x->pos] != '\n' && x->data[x->pos] != '\r')
                x->pos++;
            continue;
        }
        x->pos++;
        if (c == '<') {
            if (x->pos < x->length && x->data[x->pos] == '<') {
                x->pos++;
                continue; // a dictionary's delimiters say nothing here
            }
            t->kind = TuTok_string;
            int high = -1;
            while (x->pos < x->length && x->data[x->pos] != '>') {
                int v = tuHex(x->data[x->pos++]);
                if (v < 0)
                    continue;
                if (high < 0) {
                    high = v;
                } else {
                    tuPut(t, uint8_t(high << 4 | v));
                    high = -1;
                }
            }
            if (high >= 0)
                tuPut(t, uint8_t(high << 4));
            if (x->pos < x->length)
                x->pos++;
            return;
        }
        if (c == '>')
            continue;
        if (c == '(') {
            t->kind = TuTok_string;
            tuLiteralString(x, t);
            return;
        }
        if (c == '[' || c == ']') {
            t->kind = c == '[' ? TuTok_open : TuTok_close;
            return;
        }
        if (c == '{' || c == '}' || c == ')')
            continue;
        t->kind = c == '/' ? TuTok_literal : TuTok_word;
        if (c != '/')
            tuPut(t, c);
        while (x->pos < x->length && !tuIsSpace(x->data[x->pos]) && !tuIsDelimiter(x->data[x->pos]))
            tuPut(t, x->data[x->pos++]);
        return;
    }
}

bool tuIs(const TuToken *t, const char *word)
{
    size_t n = std::strlen(word);
    return t->kind == TuTok_word && t->length == n && std::memcmp(t->text, word, n) == 0;
}

uint32_t tuCode(const TuToken *t)
{
    uint32_t v = 0;
    for (uint32_t i = 0; i < t->length && i < PdfToUnicode_maxCodeBytes; i++)
        v = v << 8 | t->text[i];
    return v;
}

int tuPool(PdfToUnicode *m, const char16_t *units, uint32_t n, uint32_t *offset)
{
    if (m->poolCount + n > m->poolCapacity) {
        uint32_t cap = m->poolCapacity ? m->poolCapacity * 2 : 256;
        while (cap < m->poolCount + n)
            cap *= 2;
        char16_t *p = static_cast<char16_t *>(Mem_realloc(m->pool, size_t(cap) * sizeof(char16_t)));
        if (!p)
            return Res_noMemory;
        m->pool = p;
        m->poolCapacity = cap;
    }
    *offset = m->poolCount;
    std::memcpy(m->pool + m->poolCount, units, size_t(n) * sizeof(char16_t));
    m->poolCount += n;
    return Res_ok;
}

// The text a destination token stands for: UTF-16 from a string (a lone
// byte is a character of its own), a glyph name through the glyph list.
uint32_t tuDestination(const TuToken *t, char16_t *units)
{
    uint32_t n = 0;
    if (t->kind == TuTok_string) {
        if (t->length == 1) {
            units[0] = t->text[0];
            return 1;
        }
        for (uint32_t i = 0; i + 1 < t->length && n < PdfToUnicode_maxText; i += 2)
            units[n++] = char16_t(Bytes_peekU16Be(t->text + i));
        return n;
    }
    // A number (the sections some writers mislabel "cidchar" and
    // "cidrange") is the character's value.
    if (t->kind == TuTok_word && t->length && t->length < 7) {
        uint32_t v = 0;
        for (uint32_t i = 0; i < t->length; i++) {
            if (t->text[i] < '0' || t->text[i] > '9')
                return 0;
            v = v * 10 + uint32_t(t->text[i] - '0');
        }
        if (!v || v > 0xFFFF)
            return 0;
        units[0] = char16_t(v);
        return 1;
    }
    if (t->kind == TuTok_literal && t->length < kTuMaxString) {
        char name[kTuMaxString + 1];
        std::memcpy(name, t->text, t->length);
        name[t->length] = 0;
        uint16_t u = 0;
        if (Pdf_Font_glyphNameToCode(nullptr, name, 0, &u) == Res_ok && u) {
            units[0] = u;
            return 1;
        }
    }
    return 0;
}

int tuAdd(PdfToUnicode *m, uint32_t low, uint32_t high, uint32_t length, const char16_t *units,
          uint32_t n, uint8_t counting)
{
    if (!n || m->entryCount >= PdfToUnicode_maxEntries)
        return Res_ok;
    if (m->entryCount == m->entryCapacity) {
        uint32_t cap = m->entryCapacity ? m->entryCapacity * 2 : 64;
        PdfToUnicodeEntry *e = static_cast<PdfToUnicodeEntry *>(
            Mem_realloc(m->entries, size_t(cap) * sizeof(PdfToUnicodeEntry)));
        if (!e)
            return Res_noMemory;
        m->entries = e;
        m->entryCapacity = cap;
    }
    uint32_t offset = 0;
    int err = tuPool(m, units, n, &offset);
    if (err)
        return err;
    PdfToUnicodeEntry &e = m->entries[m->entryCount];
    e.low = low;
    e.high = high;
    e.text = offset;
    e.order = m->entryCount;
    e.textLength = uint16_t(n);
    e.length = uint8_t(length);
    e.counting = counting;
    m->entryCount++;
    m->lengthsSeen |= 1u << (length - 1);
    return Res_ok;
}

bool tuCodeToken(const TuToken *t)
{
    return t->kind == TuTok_string && t->length >= 1 && t->length <= PdfToUnicode_maxCodeBytes;
}

// The pairs of a "beginbfchar" section up to its end.
int tuChars(TuLexer *x, TuToken *a, TuToken *b, PdfToUnicode *m, const char *end)
{
    char16_t units[PdfToUnicode_maxText];
    for (;;) {
        tuNext(x, a);
        if (a->kind == TuTok_end || tuIs(a, end))
            return Res_ok;
        if (a->kind != TuTok_string)
            continue;
        tuNext(x, b);
        if (b->kind == TuTok_end || tuIs(b, end))
            return Res_ok;
        if (!tuCodeToken(a))
            continue;
        uint32_t n = tuDestination(b, units);
        uint32_t code = tuCode(a);
        int err = tuAdd(m, code, code, a->length, units, n, 0);
        if (err)
            return err;
    }
}

// The triples of a "beginbfrange" section up to its end.
int tuRanges(TuLexer *x, TuToken *a, TuToken *b, TuToken *c, PdfToUnicode *m, const char *end)
{
    char16_t units[PdfToUnicode_maxText];
    for (;;) {
        tuNext(x, a);
        if (a->kind == TuTok_end || tuIs(a, end))
            return Res_ok;
        if (a->kind != TuTok_string)
            continue;
        tuNext(x, b);
        if (b->kind == TuTok_end || tuIs(b, end))
            return Res_ok;
        tuNext(x, c);
        if (c->kind == TuTok_end || tuIs(c, end))
            return Res_ok;
        bool usable =
            tuCodeToken(a) && tuCodeToken(b) && a->length == b->length && tuCode(a) <= tuCode(b);
        uint32_t low = usable ? tuCode(a) : 0, high = usable ? tuCode(b) : 0;
        if (c->kind == TuTok_open) {
            // One destination per code, in order.
            uint64_t code = low;
            for (;;) {
                tuNext(x, c);
                if (c->kind == TuTok_close || c->kind == TuTok_end || tuIs(c, end))
                    break;
                if (usable && code <= high) {
                    uint32_t n = tuDestination(c, units);
                    int err = tuAdd(m, uint32_t(code), uint32_t(code), a->length, units, n, 0);
                    if (err)
                        return err;
                }
                code++;
            }
            if (c->kind == TuTok_end || tuIs(c, end))
                return Res_ok;
            continue;
        }
        if (!usable)
            continue;
        uint32_t n = tuDestination(c, units);
        if (high - low >= kTuWide && m->wideCount >= kTuMaxWide)
            continue;
        m->wideCount += high - low >= kTuWide;
        int err = tuAdd(m, low, high, a->length, units, n, low != high);
        if (err)
            return err;
    }
}

void tuSpaces(TuLexer *x, TuToken *a, TuToken *b, PdfToUnicode *m)
{
    for (;;) {
        tuNext(x, a);
        if (a->kind == TuTok_end || tuIs(a, "endcodespacerange"))
            return;
        if (a->kind != TuTok_string)
            continue;
        tuNext(x, b);
        if (b->kind == TuTok_end || tuIs(b, "endcodespacerange"))
            return;
        if (!tuCodeToken(a) || !tuCodeToken(b) || a->length != b->length ||
            m->spaceCount >= PdfToUnicode_maxSpaces)
            continue;
        PdfToUnicodeSpace &s = m->spaces[m->spaceCount++];
        std::memcpy(s.low, a->text, a->length);
        std::memcpy(s.high, b->text, b->length);
        s.length = uint8_t(a->length);
    }
}

bool tuEntryBefore(const PdfToUnicodeEntry &p, const PdfToUnicodeEntry &q)
{
    return p.low != q.low ? p.low < q.low : p.order < q.order;
}

// Units of entry e for code into text.
uint32_t tuEntryText(const PdfToUnicode *m, const PdfToUnicodeEntry &e, uint32_t code,
                     char16_t *text)
{
    uint32_t n = e.textLength;
    std::memcpy(text, m->pool + e.text, size_t(n) * sizeof(char16_t));
    if (e.counting)
        text[n - 1] = char16_t(text[n - 1] + (code - e.low));
    return n;
}

} // namespace

int Pdf_ToUnicode_parse(const uint8_t *data, size_t length, PdfToUnicode **out)
{
    *out = nullptr;
    PdfToUnicode *m = static_cast<PdfToUnicode *>(Mem_calloc(1, sizeof(PdfToUnicode)));
    TuToken *tokens = static_cast<TuToken *>(Mem_malloc(3 * sizeof(TuToken)));
    if (!m || !tokens) {
        Mem_free(m);
        Mem_free(tokens);
        return Res_noMemory;
    }
    TuToken *a = tokens, *b = tokens + 1, *c = tokens + 2;
    TuLexer x{data, data ? length : 0, 0};
    int err = Res_ok;
    // The token before the current one, for "usecmap".
    bool previousLiteral = false;
    char previous[PdfToUnicode_nameLength] = {0};
    for (;;) {
        tuNext(&x, a);
        if (a->kind == TuTok_end)
            break;
        if (tuIs(a, "begincodespacerange"))
            tuSpaces(&x, a, b, m);
        else if (tuIs(a, "beginbfchar"))
            err = tuChars(&x, a, b, m, "endbfchar");
        else if (tuIs(a, "begincidchar"))
            err = tuChars(&x, a, b, m, "endcidchar");
        else if (tuIs(a, "beginbfrange"))
            err = tuRanges(&x, a, b, c, m, "endbfrange");
        else if (tuIs(a, "begincidrange"))
            err = tuRanges(&x, a, b, c, m, "endcidrange");
        else if (tuIs(a, "usecmap") && previousLiteral)
            std::memcpy(m->useName, previous, sizeof previous);
        if (err)
            break;
        previousLiteral = a->kind == TuTok_literal && a->length < PdfToUnicode_nameLength;
        if (previousLiteral) {
            std::memcpy(previous, a->text, a->length);
            previous[a->length] = 0;
        }
    }
    Mem_free(tokens);
    m->wideCount = 0; // counted again once sorted
    if (!err && m->entryCount) {
        std::sort(m->entries, m->entries + m->entryCount, tuEntryBefore);
        for (uint32_t i = 0; i < m->entryCount; i++)
            m->wideCount += m->entries[i].high - m->entries[i].low >= kTuWide;
        if (m->wideCount) {
            m->wide = static_cast<uint32_t *>(Mem_malloc(size_t(m->wideCount) * sizeof(uint32_t)));
            if (!m->wide)
                err = Res_noMemory;
            uint32_t k = 0;
            for (uint32_t i = 0; m->wide && i < m->entryCount; i++)
                if (m->entries[i].high - m->entries[i].low >= kTuWide)
                    m->wide[k++] = i;
        }
    }
    if (err) {
        Pdf_ToUnicode_free(m);
        return err;
    }
    *out = m;
    return Res_ok;
}

void Pdf_ToUnicode_free(PdfToUnicode *m)
{
    if (!m)
        return;
    Mem_free(m->entries);
    Mem_free(m->wide);
    Mem_free(m->pool);
    Mem_free(m);
}

uint32_t Pdf_ToUnicode_lookup(const PdfToUnicode *m, uint32_t code, uint32_t length, char16_t *text)
{
    if (!m || !m->entryCount)
        return 0;
    // The last entry whose low code is at most the code.
    uint32_t lo = 0, hi = m->entryCount;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (m->entries[mid].low <= code)
            lo = mid + 1;
        else
            hi = mid;
    }
    const PdfToUnicodeEntry *best = nullptr;
    // Narrow entries that hold the code start at most kTuWide - 1 before it.
    for (uint32_t i = lo; i-- > 0;) {
        const PdfToUnicodeEntry &e = m->entries[i];
        if (uint64_t(e.low) + kTuWide <= code)
            break;
        if (e.length == length && e.high >= code && (!best || e.order > best->order))
            best = &e;
    }
    // Wide ranges anywhere before.
    for (uint32_t k = 0; k < m->wideCount && m->wide[k] < lo; k++) {
        const PdfToUnicodeEntry &e = m->entries[m->wide[k]];
        if (e.length == length && e.high >= code && (!best || e.order > best->order))
            best = &e;
    }
    return best ? tuEntryText(m, *best, code, text) : 0;
}

uint32_t Pdf_ToUnicode_codeLength(const PdfToUnicode *m, const uint8_t *bytes, size_t left)
{
    if (!left)
        return 0;
    uint32_t most = left < PdfToUnicode_maxCodeBytes ? uint32_t(left) : PdfToUnicode_maxCodeBytes;
    if (m && m->spaceCount) {
        for (uint32_t n = 1; n <= most; n++)
            for (uint32_t s = 0; s < m->spaceCount; s++) {
                const PdfToUnicodeSpace &sp = m->spaces[s];
                if (sp.length != n)
                    continue;
                bool inside = true;
                for (uint32_t k = 0; k < n && inside; k++)
                    inside = bytes[k] >= sp.low[k] && bytes[k] <= sp.high[k];
                if (inside)
                    return n;
            }
    }
    uint32_t seen = m ? m->lengthsSeen : 0;
    if (seen) {
        char16_t text[PdfToUnicode_maxText];
        uint32_t shortest = 0;
        for (uint32_t n = 1; n <= PdfToUnicode_maxCodeBytes; n++) {
            if (!(seen & 1u << (n - 1)))
                continue;
            if (!shortest)
                shortest = n;
            if (n > most)
                break;
            uint32_t code = 0;
            for (uint32_t k = 0; k < n; k++)
                code = code << 8 | bytes[k];
            if (Pdf_ToUnicode_lookup(m, code, n, text))
                return n;
        }
        return shortest && shortest <= most ? shortest : most;
    }
    return most < 2 ? most : 2;
}
