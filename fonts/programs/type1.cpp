// Type 1 font programs: eexec decryption, the dictionary reader and the
// charstring interpreter.
#include "fonts/programs/type1.h"
#include "core/text/number.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/docfonts.h"
#include "fonts/embeddedfont.h"
#include "fonts/glyphnames.h"
#include "fonts/pslexer.h"
#include "graphics/glyphpath.h"

namespace {

// ------------------------------------------------------------- eexec

bool isSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0;
}

// The next source byte (the look-ahead replayed first), or -1.
int sourceByte(EexecStream *e)
{
    if (e->lookPos < e->lookCount)
        return e->lookAhead[e->lookPos++];
    uint8_t b = 0;
    if (ByteStream_readByte(e->source, &b) != Res_ok)
        return -1;
    return b;
}

// The first fill: finds the form of the encrypted part. 0 or an error.
int eexecStart(EexecStream *e)
{
    e->started = 1;
    int c;
    do {
        c = sourceByte(e);
    } while (c >= 0 && isSpace(c));
    uint32_t n = 0;
    while (c >= 0) {
        e->lookAhead[n++] = static_cast<uint8_t>(c);
        if (n == 4)
            break;
        c = sourceByte(e);
    }
    if (n < 4) {
        int s = ByteStream_takeStatus(e->source);
        return s ? s : Type1_eexecError;
    }
    e->hex = 1;
    for (uint32_t i = 0; i < 4; i++)
        if (Hex_digitValue(e->lookAhead[i]) < 0)
            e->hex = 0;
    e->lookCount = 4;
    e->lookPos = 0;
    if (!e->hex && e->lookAhead[0] == 128) {
        // A segment header of the binary layout: 6 bytes.
        e->lookPos = 4;
        for (int i = 0; i < 2; i++)
            if (sourceByte(e) < 0)
                return Type1_eexecError;
    }
    return Res_ok;
}

// The next cipher byte, or -1 at the end of the data.
int cipherByte(EexecStream *e)
{
    if (!e->hex)
        return sourceByte(e);
    int v = 0;
    for (int i = 0; i < 2; i++) {
        int c;
        do {
            c = sourceByte(e);
        } while (c >= 0 && isSpace(c));
        int h = c < 0 ? -1 : Hex_digitValue(c);
        if (h < 0)
            return -1;
        v = v * 16 + h;
    }
    return v;
}

int eexecGetByte(ByteStream *stream)
{
    EexecStream *e = reinterpret_cast<EexecStream *>(stream);
    if (e->statusWord)
        return ByteStream_end;
    if (!e->started) {
        int rc = eexecStart(e);
        if (rc) {
            e->statusWord = rc;
            e->base.status = rc;
            return ByteStream_end;
        }
    }
    for (;;) {
        uint32_t n = 0;
        while (!e->ended && n < EexecStream_bufferSize) {
            int c = cipherByte(e);
            if (c < 0) {
                e->ended = 1;
                break;
            }
            uint8_t plain = static_cast<uint8_t>(c ^ (e->r >> 8));
            e->r = static_cast<uint16_t>((static_cast<uint32_t>(c) + e->r) * 52845u + 22719u);
            if (e->drop) {
                e->drop--;
                continue;
            }
            e->buffer[n++] = plain;
        }
        if (n == 0) {
            e->base.readPtr = e->base.end = e->buffer;
            return ByteStream_end;
        }
        e->base.readPtr = e->buffer + 1;
        e->base.end = e->buffer + n;
        return e->buffer[0];
    }
}

int eexecClose(ByteStream *stream)
{
    Mem_free(stream);
    return Res_ok;
}

// ------------------------------------------------------------- names

void nameDictFree(NameDict *dict)
{
    NameDictEntry *e = dict->head;
    while (e) {
        NameDictEntry *next = e->next;
        Mem_free(e->name);
        Mem_free(e->data);
        Mem_free(e);
        e = next;
    }
    *dict = NameDict{};
}

char *copyText(const char *text, size_t length)
{
    char *c = static_cast<char *>(Mem_malloc(length + 1));
    if (c) {
        memcpy(c, text, length);
        c[length] = 0;
    }
    return c;
}

// ------------------------------------------------------------- parser

// The next token, switching to the decrypted stream at "eexec"; null at
// the end of the input or once an error is set.
PsToken *nextToken(Type1Parser *p)
{
    if (p->error)
        return nullptr;
    for (;;) {
        PsToken *t = PsToken_next(p->lexer);
        if (!t) {
            p->error = PsToken_status(p->lexer);
            return nullptr;
        }
        if (PsToken_equals(t, "eexec")) {
            PsToken_free(t);
            if (p->clearText) {
                p->error = Type1_eexecError;
                return nullptr;
            }
            PsToken_destroy(p->lexer);
            p->lexer = nullptr;
            EexecStream *e = EexecStream_create(p->stream);
            if (!e) {
                p->error = Res_noMemory;
                return nullptr;
            }
            p->clearText = p->stream;
            p->stream = &e->base;
            int rc = PsLexer_create(p->stream, &p->lexer);
            if (rc) {
                p->error = rc;
                return nullptr;
            }
            continue;
        }
        if (t->kind == PsToken_name && PsToken_equals(t, "closefile")) {
            PsToken_free(t);
            return nullptr;
        }
        return t;
    }
}

// The next token when it is an integer: its value in *v, true.
bool nextInteger(Type1Parser *p, int32_t *v)
{
    PsToken *t = nextToken(p);
    if (!t)
        return false;
    bool ok = t->kind == PsToken_integer;
    *v = t->value;
    PsToken_free(t);
    return ok;
}

// The next token is the executable name text.
bool nextNameIs(Type1Parser *p, const char *text)
{
    PsToken *t = nextToken(p);
    if (!t)
        return false;
    bool ok = t->kind == PsToken_name && PsToken_equals(t, text);
    PsToken_free(t);
    return ok;
}

// After "RD": one space byte, then length raw bytes into a new block.
int readRaw(Type1Parser *p, int32_t length, uint8_t **out, int code)
{
    *out = nullptr;
    if (length < 0)
        return code;
    uint8_t space = 0;
    if (ByteStream_readByte(p->stream, &space) != Res_ok)
        return code;
    uint8_t *data = static_cast<uint8_t *>(Mem_malloc(length ? static_cast<size_t>(length) : 1));
    if (!data)
        return Res_noMemory;
    if (ByteStream_readExact(p->stream, data, static_cast<size_t>(length)) != Res_ok) {
        Mem_free(data);
        return code;
    }
    *out = data;
    return Res_ok;
}

bool isRD(const PsToken *t)
{
    return t->kind == PsToken_name && (PsToken_equals(t, "RD") || PsToken_equals(t, "-|"));
}

int parseSubrs(Type1Parser *p)
{
    if (p->haveSubrs)
        return Type1_subrsTwice;
    p->haveSubrs = 1;
    int32_t n = 0;
    if (!nextInteger(p, &n) || n <= 0 || n > 65535 || !nextNameIs(p, "array"))
        return p->error ? p->error : Type1_badSubrs;
    p->subrs = static_cast<Type1Subr *>(Mem_calloc(static_cast<size_t>(n), sizeof(Type1Subr)));
    if (!p->subrs)
        return Res_noMemory;
    p->subrCount = static_cast<uint32_t>(n);
    for (int32_t i = 0; i < n; i++) {
        int32_t index = 0, length = 0;
        if (!nextNameIs(p, "dup") || !nextInteger(p, &index) || index != i ||
            !nextInteger(p, &length))
            return p->error ? p->error : Type1_badSubrs;
        PsToken *t = nextToken(p);
        if (!t)
            return p->error ? p->error : Type1_badSubrs;
        bool rd = isRD(t);
        PsToken_free(t);
        if (!rd)
            return Type1_badSubrs;
        int rc = readRaw(p, length, &p->subrs[i].data, Type1_badSubrs);
        if (rc)
            return rc;
        p->subrs[i].length = static_cast<uint32_t>(length);
        t = nextToken(p);
        if (!t)
            return p->error ? p->error : Type1_badSubrs;
        bool noaccess = t->kind == PsToken_name && PsToken_equals(t, "noaccess");
        PsToken_free(t);
        if (noaccess && !nextNameIs(p, "put"))
            return p->error ? p->error : Type1_badSubrs;
    }
    return Res_ok;
}

int parseCharStrings(Type1Parser *p)
{
    if (p->haveCharStrings)
        return Type1_charStringsTwice;
    p->haveCharStrings = 1;
    for (;;) {
        PsToken *t = nextToken(p);
        if (!t)
            return p->error ? p->error : Type1_badCharStrings;
        bool begin = t->kind == PsToken_name && PsToken_equals(t, "begin");
        PsToken_free(t);
        if (begin)
            break;
    }
    for (;;) {
        PsToken *t = nextToken(p);
        if (!t)
            return p->error ? p->error : Type1_badCharStrings;
        if (t->kind == PsToken_name && PsToken_equals(t, "end")) {
            PsToken_free(t);
            return Res_ok;
        }
        if (t->kind != PsToken_literal) {
            PsToken_free(t);
            return Type1_badCharStrings;
        }
        NameDictEntry *e = static_cast<NameDictEntry *>(Mem_calloc(1, sizeof(NameDictEntry)));
        if (!e) {
            PsToken_free(t);
            return Res_noMemory;
        }
        e->name = copyText(t->text, t->length);
        PsToken_free(t);
        e->next = p->charStrings.head;
        p->charStrings.head = e;
        p->charStrings.count++;
        if (!e->name)
            return Res_noMemory;
        int32_t length = 0;
        if (!nextInteger(p, &length))
            return p->error ? p->error : Type1_badCharStrings;
        t = nextToken(p);
        if (!t)
            return p->error ? p->error : Type1_badCharStrings;
        bool rd = isRD(t);
        PsToken_free(t);
        if (!rd)
            return Type1_badCharStrings;
        int rc = readRaw(p, length, &e->data, Type1_badCharStrings);
        if (rc)
            return rc;
        e->length = static_cast<uint32_t>(length);
        t = nextToken(p);
        if (!t)
            return p->error ? p->error : Type1_badCharStrings;
        PsToken_free(t);
    }
}

int parseEncoding(Type1Parser *p)
{
    if (p->haveEncoding)
        return Type1_encodingTwice;
    p->haveEncoding = 1;
    PsToken *t = nextToken(p);
    if (!t)
        return p->error ? p->error : Type1_badEncoding;
    if (t->kind == PsToken_name && PsToken_equals(t, "StandardEncoding")) {
        PsToken_free(t);
        p->standardEncoding = 1;
        return Res_ok;
    }
    int32_t n = t->kind == PsToken_integer ? t->value : 0;
    PsToken_free(t);
    if (n <= 0 || n > 65536 || !nextNameIs(p, "array"))
        return p->error ? p->error : Type1_badEncoding;
    p->encoding = static_cast<char **>(Mem_calloc(static_cast<size_t>(n), sizeof(char *)));
    if (!p->encoding)
        return Res_noMemory;
    p->encodingSize = static_cast<uint32_t>(n);
    for (;;) {
        t = nextToken(p);
        if (!t)
            return p->error ? p->error : Type1_badEncoding;
        bool def = t->kind == PsToken_name && PsToken_equals(t, "def");
        bool dup = t->kind == PsToken_name && PsToken_equals(t, "dup");
        PsToken_free(t);
        if (def)
            return Res_ok;
        if (!dup)
            continue;
        int32_t index = 0;
        if (!nextInteger(p, &index) || index < 0 || index >= n)
            return p->error;
        t = nextToken(p);
        if (!t)
            return p->error ? p->error : Type1_badEncoding;
        if (t->kind != PsToken_literal) {
            PsToken_free(t);
            return Res_ok;
        }
        char *name = copyText(t->text, t->length);
        PsToken_free(t);
        if (!name)
            return Res_noMemory;
        Mem_free(p->encoding[index]);
        p->encoding[index] = name;
        if (!nextNameIs(p, "put"))
            return p->error;
    }
}

// "[" then a decimal first entry: its reciprocal's integer part, kept
// positive (1000 when it comes out 0).
int parseFontMatrix(Type1Parser *p)
{
    if (!nextNameIs(p, "["))
        return p->error;
    PsToken *t = nextToken(p);
    if (!t)
        return p->error;
    const char *s = t->text;
    bool negative = false;
    if (*s == '-') {
        negative = true;
        s++;
    }
    double v = 0, scale = 1;
    bool point = false, digits = false;
    for (; *s; s++) {
        if (*s == '.' && !point) {
            point = true;
        } else if (*s >= '0' && *s <= '9') {
            digits = true;
            if (point) {
                scale /= 10;
                v += (*s - '0') * scale;
            } else {
                v = v * 10 + (*s - '0');
            }
        } else {
            break;
        }
    }
    PsToken_free(t);
    (void)negative;
    if (digits && v >= 1) {
        double units = 1 / v;
        p->unitsPerEm = units >= 1 ? static_cast<uint16_t>(units) : 1000;
    } else if (digits && v > 0) {
        double units = 1 / v + 1e-6;
        p->unitsPerEm = units < 65535 ? static_cast<uint16_t>(units) : 1000;
        if (!p->unitsPerEm)
            p->unitsPerEm = 1000;
    }
    return Res_ok;
}

void parserInit(Type1Parser *p, ByteStream *stream, EngineContext *engine, PdfGlyphNameList *names)
{
    *p = Type1Parser{};
    p->stream = stream;
    p->engine = engine;
    p->names = names;
    p->lenIV = 4;
    p->unitsPerEm = 1000;
}

int parseAll(Type1Parser *p)
{
    uint8_t first = 0;
    if (ByteStream_readByte(p->stream, &first) == Res_ok) {
        if (first == 128) {
            if (ByteStream_skip(p->stream, 5) != Res_ok)
                return Type1_noCharStrings;
        } else {
            p->stream->readPtr--;
        }
    }
    int rc = PsLexer_create(p->stream, &p->lexer);
    if (rc)
        return rc;
    while (PsToken *t = nextToken(p)) {
        int err = Res_ok;
        if (t->kind == PsToken_literal) {
            if (PsToken_equals(t, "FontName")) {
                if (!p->fontName) {
                    PsToken *n = nextToken(p);
                    if (n && n->kind == PsToken_literal)
                        p->fontName = copyText(n->text, n->length);
                    else if (!p->error)
                        err = Type1_badFontName;
                    if (n && n->kind == PsToken_literal && !p->fontName)
                        err = Res_noMemory;
                    PsToken_free(n);
                }
            } else if (PsToken_equals(t, "lenIV")) {
                PsToken *n = nextToken(p);
                if (n && n->kind == PsToken_integer)
                    p->lenIV = n->value;
                PsToken_free(n);
            } else if (PsToken_equals(t, "FontMatrix")) {
                err = parseFontMatrix(p);
            } else if (PsToken_equals(t, "Encoding")) {
                err = parseEncoding(p);
            } else if (PsToken_equals(t, "CharStrings")) {
                err = parseCharStrings(p);
            } else if (PsToken_equals(t, "Subrs")) {
                err = parseSubrs(p);
            }
        }
        PsToken_free(t);
        if (err && !p->error)
            p->error = err;
    }
    return p->error;
}

} // namespace

EexecStream *EexecStream_create(ByteStream *source)
{
    EexecStream *e = static_cast<EexecStream *>(Mem_calloc(1, sizeof(EexecStream)));
    if (!e)
        return nullptr;
    e->base.getByte = eexecGetByte;
    e->base.close = eexecClose;
    e->source = source;
    e->r = 55665;
    e->drop = 4;
    return e;
}

NameDictEntry *NameDict_at(NameDict *dict, uint32_t i)
{
    if (i >= dict->count)
        return nullptr;
    if (!dict->cursor || i < dict->cursorIndex) {
        dict->cursor = dict->head;
        dict->cursorIndex = 0;
    }
    while (dict->cursorIndex < i) {
        dict->cursor = dict->cursor->next;
        dict->cursorIndex++;
    }
    return dict->cursor;
}

void Type1_freeParser(Type1Parser *p)
{
    if (p->lexer)
        PsToken_destroy(p->lexer);
    if (p->clearText)
        // The stream was only read from: a failed close loses nothing.
        (void)ByteStream_close(p->stream);
    nameDictFree(&p->charStrings);
    for (uint32_t i = 0; i < p->encodingSize; i++)
        Mem_free(p->encoding[i]);
    Mem_free(p->encoding);
    for (uint32_t i = 0; i < p->subrCount; i++)
        Mem_free(p->subrs[i].data);
    Mem_free(p->subrs);
    Mem_free(p->fontName);
    *p = Type1Parser{};
}

int Type1_parse(EngineContext *engine, ByteStream *stream, PdfGlyphNameList *names,
                Type1Parser *parser)
{
    parserInit(parser, stream, engine, names);
    return parseAll(parser);
}

int Type1_load(EngineContext *engine, ByteStream *stream, PdfGlyphNameList *names,
               EmbeddedFont **font, uint16_t **encoding)
{
    *font = nullptr;
    if (encoding)
        *encoding = nullptr;
    Type1Parser p;
    int rc = Type1_parse(engine, stream, names, &p);
    if (!rc && !p.haveEncoding)
        rc = Type1_noEncoding;
    if (!rc && !p.haveCharStrings)
        rc = Type1_noCharStrings;
    EmbeddedFont *f = nullptr;
    if (!rc)
        rc = EmbeddedFont_create(engine, p.fontName ? p.fontName : "", p.unitsPerEm, 0, &f);
    for (uint32_t i = 0; !rc && i < p.charStrings.count; i++) {
        NameDictEntry *e = NameDict_at(&p.charStrings, i);
        uint16_t code = 0;
        rc = Pdf_Font_glyphNameToCode(names, e->name, 1, &code);
        if (rc || code == 0)
            continue;
        GlyphPath *outline = nullptr;
        rc = GlyphPath_create(&outline, GlyphPath_kindCodes);
        if (rc)
            break;
        int32_t sb = 0, adv = 0;
        rc =
            Type1_buildGlyph(outline, p.subrs, p.subrCount, e->data, e->length, &sb, &adv, p.lenIV);
        if (!rc)
            rc = GlyphPath_finish(outline);
        if (rc) {
            GlyphPath_destroy(outline);
            break;
        }
        rc = EmbeddedFont_addGlyph(f, code, outline, sb, adv);
    }
    if (!rc)
        rc = FontEngine_registerEmbedded(engine, f);
    if (!rc && encoding && p.encoding) {
        uint16_t *table = static_cast<uint16_t *>(Mem_calloc(256, sizeof(uint16_t)));
        if (!table)
            rc = Res_noMemory;
        for (uint32_t i = 0; !rc && i < p.encodingSize && i < 256; i++)
            if (p.encoding[i])
                rc = Pdf_Font_glyphNameToCode(names, p.encoding[i], 0, &table[i]);
        if (rc)
            Mem_free(table);
        else
            *encoding = table;
    }
    Type1_freeParser(&p);
    if (rc) {
        EmbeddedFont_release(f);
        return rc;
    }
    *font = f;
    return Res_ok;
}

// ------------------------------------------------------ charstrings

namespace {

struct Type1Charstring {
    int32_t args[Type1_maxArguments];
    uint32_t depth;
    GlyphPath *outline;
    const Type1Subr *subrs;
    uint32_t subrCount;
    int32_t x, y;
    int32_t sbx;
    int32_t wx;
    uint32_t haveWidth;
    uint32_t haveSideBearing;
    int32_t lenIV;
    uint32_t callDepth;
    uint32_t flex;
    int32_t lastX, lastY;
};

int emitMove(Type1Charstring *s)
{
    int rc = GlyphPath_moveTo(s->outline, s->x - s->lastX, s->y - s->lastY);
    s->lastX = s->x;
    s->lastY = s->y;
    return rc;
}

int emitLine(Type1Charstring *s)
{
    int rc = GlyphPath_lineTo(s->outline, s->x - s->lastX, s->y - s->lastY);
    s->lastX = s->x;
    s->lastY = s->y;
    return rc;
}

// A curve through three points given relative to each other, starting at
// the current point.
int emitCurve(Type1Charstring *s, int32_t dx1, int32_t dy1, int32_t dx2, int32_t dy2, int32_t dx3,
              int32_t dy3)
{
    int32_t x1 = s->x + dx1, y1 = s->y + dy1;
    int32_t x2 = x1 + dx2, y2 = y1 + dy2;
    int32_t x3 = x2 + dx3, y3 = y2 + dy3;
    int rc = GlyphPath_curveTo(s->outline, x1 - s->lastX, y1 - s->lastY, x2 - x1, y2 - y1, x3 - x2,
                               y3 - y2);
    s->x = s->lastX = x3;
    s->y = s->lastY = y3;
    return rc;
}

int run(Type1Charstring *s, const uint8_t *bytes, uint32_t length);

int callSubr(Type1Charstring *s)
{
    if (s->depth < 1)
        return Type1_tooFewArguments;
    int32_t n = s->args[--s->depth];
    if (s->flex && n == 2)
        return Res_ok;
    if (s->flex && n == 0) {
        if (s->depth < 17)
            return Type1_tooFewArguments;
        const int32_t *a = s->args + s->depth - 17;
        // The reference point, then two curves of three points each.
        int32_t rx = s->x + a[0], ry = s->y + a[1];
        s->x = rx;
        s->y = ry;
        int rc = emitCurve(s, a[2], a[3], a[4], a[5], a[6], a[7]);
        if (!rc)
            rc = emitCurve(s, a[8], a[9], a[10], a[11], a[12], a[13]);
        s->depth = 0;
        s->flex = 0;
        return rc;
    }
    if (n < 0 || static_cast<uint32_t>(n) >= s->subrCount || !s->subrs[n].data)
        return Type1_badSubr;
    if (s->callDepth + 1 >= Type1_maxSubrDepth)
        return Type1_subrsTooDeep;
    s->callDepth++;
    int rc = run(s, s->subrs[n].data, s->subrs[n].length);
    if (rc == -1)
        rc = Res_ok; // returned
    else if (!rc)
        s->callDepth--;
    return rc;
}

int push(Type1Charstring *s, int32_t v)
{
    if (s->depth >= Type1_maxArguments)
        return Type1_badCharstring;
    s->args[s->depth++] = v;
    return Res_ok;
}

// Interprets bytes (encrypted); -1 when a return ended it.
int run(Type1Charstring *s, const uint8_t *bytes, uint32_t length)
{
    uint16_t r = 4330;
    uint32_t skip = s->lenIV < 0 ? 0 : static_cast<uint32_t>(s->lenIV);
    bool encrypted = s->lenIV >= 0;
    if (length < skip)
        return Type1_badCharstring;
    uint32_t pos = 0;
    auto next = [&](int *out) -> bool {
        if (pos >= length)
            return false;
        uint8_t c = bytes[pos++];
        if (encrypted) {
            uint8_t plain = static_cast<uint8_t>(c ^ (r >> 8));
            r = static_cast<uint16_t>((c + r) * 52845u + 22719u);
            c = plain;
        }
        *out = c;
        return true;
    };
    int v = 0;
    for (uint32_t i = 0; i < skip; i++)
        (void)next(&v);
    while (next(&v)) {
        int rc = Res_ok;
        if (v >= 32) {
            int32_t value;
            if (v <= 246) {
                value = v - 139;
            } else if (v <= 254) {
                int w;
                if (!next(&w))
                    return Type1_badCharstring;
                value = v <= 250 ? (v - 247) * 256 + w + 108 : -(v - 251) * 256 - w - 108;
            } else {
                uint32_t u = 0;
                for (int i = 0; i < 4; i++) {
                    int b;
                    if (!next(&b))
                        return Type1_badCharstring;
                    u = u << 8 | static_cast<uint32_t>(b);
                }
                value = static_cast<int32_t>(u);
            }
            rc = push(s, value);
            if (rc)
                return rc;
            continue;
        }
        int32_t *a = s->args;
        uint32_t d = s->depth;
        auto need = [&](uint32_t n) { return d >= n; };
        switch (v) {
        case 1:
        case 3:
        case 14: s->depth = 0; break;
        case 4: // vmoveto
            if (!need(1))
                return Type1_tooFewArguments;
            if (s->flex) {
                if (d >= Type1_maxArguments)
                    return Type1_badCharstring;
                a[d] = a[d - 1];
                a[d - 1] = 0;
                s->depth = d + 1;
                break;
            }
            s->y += a[d - 1];
            rc = emitMove(s);
            s->depth = 0;
            break;
        case 5:
            if (!need(2))
                return Type1_tooFewArguments;
            s->x += a[0];
            s->y += a[1];
            rc = emitLine(s);
            s->depth = 0;
            break;
        case 6:
        case 7:
            if (!need(1))
                return Type1_tooFewArguments;
            (v == 6 ? s->x : s->y) += a[0];
            rc = emitLine(s);
            s->depth = 0;
            break;
        case 8:
            if (!need(6))
                return Type1_tooFewArguments;
            rc = emitCurve(s, a[0], a[1], a[2], a[3], a[4], a[5]);
            s->depth = 0;
            break;
        case 30:
            if (!need(4))
                return Type1_tooFewArguments;
            rc = emitCurve(s, 0, a[0], a[1], a[2], a[3], 0);
            s->depth = 0;
            break;
        case 31:
            if (!need(4))
                return Type1_tooFewArguments;
            rc = emitCurve(s, a[0], 0, a[1], a[2], 0, a[3]);
            s->depth = 0;
            break;
        case 9:
            rc = GlyphPath_close(s->outline);
            s->depth = 0;
            break;
        case 10: rc = callSubr(s); break;
        case 11:
            if (s->callDepth == 0)
                return Type1_returnOutside;
            s->callDepth--;
            return -1;
        case 13:
            if (!need(2))
                return Type1_tooFewArguments;
            s->sbx = a[0];
            s->wx = a[1];
            s->haveWidth = s->haveSideBearing = 1;
            s->x = s->sbx;
            s->y = 0;
            s->depth = 0;
            break;
        case 15: break;
        case 21:
        case 22:
            if (!need(v == 21 ? 2 : 1))
                return Type1_tooFewArguments;
            if (s->flex) {
                if (v == 22) {
                    if (d >= Type1_maxArguments)
                        return Type1_badCharstring;
                    a[d] = 0;
                    s->depth = d + 1;
                }
                break;
            }
            s->x += a[v == 21 ? d - 2 : d - 1];
            if (v == 21)
                s->y += a[d - 1];
            rc = emitMove(s);
            s->depth = 0;
            break;
        case 12: {
            int op;
            if (!next(&op))
                return Type1_badCharstring;
            switch (op) {
            case 0:
            case 1:
            case 2:
            case 6: s->depth = 0; break;
            case 7: // sbw: sbx sby wx wy
                if (!need(3))
                    return Type1_tooFewArguments;
                s->sbx = a[0];
                s->y = a[1];
                s->wx = a[2];
                s->haveWidth = s->haveSideBearing = 1;
                s->x = s->sbx;
                s->depth = 0;
                break;
            case 12:
                if (!need(2))
                    return Type1_tooFewArguments;
                if (a[d - 1] == 0 || (a[d - 2] == INT32_MIN && a[d - 1] == -1))
                    return Type1_badCharstring;
                a[d - 2] = a[d - 2] / a[d - 1];
                s->depth = d - 1;
                break;
            case 16: {
                if (!need(2))
                    return Type1_tooFewArguments;
                int32_t other = a[d - 1];
                int32_t n = a[d - 2];
                if (n < 0 || static_cast<uint32_t>(n) + 2 > d)
                    return Type1_tooFewArguments;
                if (other == 0 || other == 2)
                    return Type1_othersubrDirect;
                s->depth = d - 2 - static_cast<uint32_t>(n);
                if (other == 1) {
                    s->flex = 1;
                } else if (other == 3) {
                    a[s->depth] = 3;
                }
                break;
            }
            case 17:
                if (s->depth >= Type1_maxArguments)
                    return Type1_badCharstring;
                s->depth++;
                break;
            case 33: break;
            default: return Type1_badCharstring;
            }
            break;
        }
        default: return Type1_badCharstring;
        }
        if (rc)
            return rc;
    }
    return Res_ok;
}

} // namespace

int Type1_buildGlyph(GlyphPath *outline, const Type1Subr *subrs, uint32_t subrCount,
                     const uint8_t *bytes, uint32_t length, int32_t *sideBearing, int32_t *advance,
                     int32_t lenIV)
{
    if (sideBearing)
        *sideBearing = 0;
    if (advance)
        *advance = 0;
    Type1Charstring s{};
    s.outline = outline;
    s.subrs = subrs;
    s.subrCount = subrCount;
    s.lenIV = lenIV;
    int rc = run(&s, bytes, length);
    if (rc == -1)
        rc = Type1_returnOutside;
    if (rc)
        return rc;
    if (!s.haveSideBearing)
        return Type1_noSideBearing;
    if (!s.haveWidth)
        return Type1_noAdvance;
    if (sideBearing)
        *sideBearing = s.sbx;
    if (advance)
        *advance = s.wx;
    return Res_ok;
}
