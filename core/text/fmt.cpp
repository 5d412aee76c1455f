// Formatted output: the formatting core, its 8-bit and 16-bit buffer
// outputs, the debug sinks and the per-engine registry of conversion
// letters.
//
// The core walks the format once. Ordinary text is copied in runs; each
// conversion builds its text (a sign, a prefix, a count of leading zeros
// and a body) and writes it with the field width. Nothing is ever built in
// a buffer whose size depends on the caller's width or precision: padding
// and zeros are written as counts, so a width or precision taken from data
// cannot overrun anything. The output stops at the caller's capacity (or
// only counts, when measuring) and the core stops as soon as it is full.
//
// Floating-point digits come from the engine's own digit generator (the
// classic e/f conversion with a 309-byte digit buffer), not from the C
// library: its rounding and its %g text are part of the engine's behaviour.
#include "core/text/fmt.h"
#include "core/text/ustr.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/host/hostservices.h"

namespace {

// ------------------------------------------------------------- registry

struct FmtConversion {
    char letter;
    Fmt_ConversionFn handler;
};

// The registered letters of one engine, kept in EngineContext::fmtConversions.
struct FmtRegistry {
    FmtConversion *entries;
    uint32_t count;
};

EngineContext *currentContext()
{
    EngineInstance *instance = Host_getThreadContext();
    return instance ? instance->context : nullptr;
}

Fmt_ConversionFn findConversion(char letter)
{
    EngineContext *ctx = currentContext();
    FmtRegistry *reg = ctx ? static_cast<FmtRegistry *>(ctx->fmtConversions) : nullptr;
    if (!reg)
        return nullptr;
    for (uint32_t i = 0; i < reg->count; i++) {
        if (reg->entries[i].letter == letter)
            return reg->entries[i].handler;
    }
    return nullptr;
}

// --------------------------------------------------------------- output

// Where the core writes: an 8-bit or a 16-bit buffer with room for `room`
// characters before the terminator, or nothing at all when measuring. The
// count is the core's own: every character the text has, written or not.
struct Out {
    char *buf8;
    char16_t *buf16;
    size_t pos;
    size_t room;
    int measure;
    int full;
    int64_t count;
};

void emit(Out *o, const char *p, size_t n)
{
    o->count += static_cast<int64_t>(n);
    if (n == 0 || o->measure || o->full)
        return;
    size_t left = o->room - o->pos;
    if (n > left) {
        n = left;
        o->full = 1;
    }
    if (o->buf8) {
        memcpy(o->buf8 + o->pos, p, n);
    } else {
        for (size_t i = 0; i < n; i++)
            o->buf16[o->pos + i] = static_cast<unsigned char>(p[i]);
    }
    o->pos += n;
}

void emitRepeat(Out *o, char c, size_t n)
{
    o->count += static_cast<int64_t>(n);
    if (n == 0 || o->measure || o->full)
        return;
    size_t left = o->room - o->pos;
    if (n > left) {
        n = left;
        o->full = 1;
    }
    if (o->buf8) {
        memset(o->buf8 + o->pos, c, n);
    } else {
        for (size_t i = 0; i < n; i++)
            o->buf16[o->pos + i] = static_cast<unsigned char>(c);
    }
    o->pos += n;
}

// ---------------------------------------------------------- conversions

// Widths and precisions are kept below this, so that counts never wrap.
constexpr int fieldLimit = 0x3FFFFFFF;

struct Conversion {
    int left, plus, space, alt, zero;
    int width; // 0 when none
    int prec;  // -1 when none
    char size; // 0, 'h', 'l' or 'q'
};

// Writes one converted text: sign (0 for none), prefix, `zeros` leading
// zeros and the body, in a field of the conversion's width. A right-justified
// field is padded in front with `pad`; with '0' the sign and the prefix come
// first and the zeros after them. A left-justified field is padded behind
// with blanks (the '0' flag does not apply there).
void field(Out *o, const Conversion *s, char sign, const char *prefix, size_t zeros,
           const char *body, size_t bodyLen, char pad)
{
    size_t prefixLen = prefix ? strlen(prefix) : 0;
    size_t len = (sign ? 1 : 0) + prefixLen + zeros + bodyLen;
    size_t fill = static_cast<size_t>(s->width) > len ? static_cast<size_t>(s->width) - len : 0;
    if (!s->left && pad != '0')
        emitRepeat(o, ' ', fill);
    if (sign)
        emit(o, &sign, 1);
    emit(o, prefix, prefixLen);
    if (!s->left && pad == '0')
        emitRepeat(o, '0', fill);
    emitRepeat(o, '0', zeros);
    emit(o, body, bodyLen);
    if (s->left)
        emitRepeat(o, ' ', fill);
}

char signOf(const Conversion *s, bool negative)
{
    if (negative)
        return '-';
    if (s->plus)
        return '+';
    if (s->space)
        return ' ';
    return 0;
}

void convertInteger(Out *o, const Conversion *s, char letter, va_list *ap)
{
    uint32_t mag;
    bool negative = false;
    if (letter == 'd' || letter == 'i') {
        int32_t v = va_arg(*ap, int);
        if (s->size == 'h')
            v = static_cast<int16_t>(v);
        negative = v < 0;
        mag = negative ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    } else {
        mag = va_arg(*ap, unsigned int);
        if (s->size == 'h')
            mag = static_cast<uint16_t>(mag);
    }
    unsigned base = 10;
    const char *digitSet = "0123456789abcdef";
    if (letter == 'o')
        base = 8;
    else if (letter == 'x' || letter == 'X')
        base = 16;
    if (letter == 'X')
        digitSet = "0123456789ABCDEF";

    char tmp[16];
    char *p = tmp + sizeof tmp;
    uint32_t v = mag;
    do {
        *--p = digitSet[v % base];
        v /= base;
    } while (v);
    size_t n = static_cast<size_t>(tmp + sizeof tmp - p);
    size_t zeros = s->prec > 0 && static_cast<size_t>(s->prec) > n ? s->prec - n : 0;
    const char *prefix = nullptr;
    if (s->alt && letter == 'o' && zeros == 0 && *p != '0')
        zeros = 1;
    if (s->alt && mag != 0 && letter == 'x')
        prefix = "0x";
    if (s->alt && mag != 0 && letter == 'X')
        prefix = "0X";
    char sign = (letter == 'd' || letter == 'i') ? signOf(s, negative) : 0;
    field(o, s, sign, prefix, zeros, p, n, s->zero ? '0' : ' ');
}

void convertPointer(Out *o, const Conversion *s, va_list *ap)
{
    uintptr_t v = reinterpret_cast<uintptr_t>(va_arg(*ap, void *));
    char tmp[2 * sizeof(uintptr_t)];
    char *p = tmp + sizeof tmp;
    do {
        *--p = "0123456789abcdef"[v & 15];
        v >>= 4;
    } while (v);
    field(o, s, 0, nullptr, 0, p, static_cast<size_t>(tmp + sizeof tmp - p), ' ');
}

constexpr char nullText[] = "(NULL)";

size_t boundedLen(const char *s, int prec)
{
    if (prec < 0)
        return strlen(s);
    const void *end = memchr(s, 0, static_cast<size_t>(prec));
    return end ? static_cast<size_t>(static_cast<const char *>(end) - s)
               : static_cast<size_t>(prec);
}

void convertString(Out *o, const Conversion *s, va_list *ap)
{
    const char *str = va_arg(*ap, const char *);
    if (!str)
        field(o, s, 0, nullptr, 0, nullText, sizeof nullText - 1, ' ');
    else
        field(o, s, 0, nullptr, 0, str, boundedLen(str, s->prec), ' ');
}

// A 16-bit string printed through a temporary 8-bit copy: each code point
// above 0xFE becomes '?'.
void convertWide(Out *o, const Conversion *s, va_list *ap)
{
    const char16_t *w = va_arg(*ap, const char16_t *);
    if (!w) {
        field(o, s, 0, nullptr, 0, nullText, sizeof nullText - 1, ' ');
        return;
    }
    size_t limit = s->prec < 0 ? SIZE_MAX : static_cast<size_t>(s->prec);
    size_t count = 0;
    uint32_t cp;
    for (const char16_t *p = w; count < limit; count++) {
        Ustr_nextCodePoint(&p, &cp, nullptr);
        if (cp == 0)
            break;
    }
    char *text = static_cast<char *>(Mem_malloc(count + 1));
    if (!text) {
        static constexpr char errorText[] = "(*error*)";
        field(o, s, 0, nullptr, 0, errorText, sizeof errorText - 1, ' ');
        return;
    }
    const char16_t *p = w;
    for (size_t i = 0; i < count; i++) {
        Ustr_nextCodePoint(&p, &cp, nullptr);
        text[i] = cp > 0xFE ? '?' : static_cast<char>(cp);
    }
    text[count] = 0;
    field(o, s, 0, nullptr, 0, text, count, ' ');
    Mem_free(text);
}

// ------------------------------------------------------- floating point

constexpr int digitBufSize = 309;

// The digits of a non-negative value for the e, f and g conversions, into
// buf (digitBufSize + 1 bytes). ndigits is the number of significant digits
// (e mode) or of digits after the point (f mode), capped at 307. Sets the
// decimal-point position and returns the length of the digit string.
// Integer digits come from the right by repeated division by 10, fraction
// digits by repeated multiplication; the digit after the cut is rounded
// half up, and a carry out of the first digit moves the point.
int digitsOf(double arg, int ndigits, int *decpt, bool fmode, char *buf)
{
    if (ndigits < 0)
        ndigits = 0;
    if (ndigits >= digitBufSize - 1)
        ndigits = digitBufSize - 2;
    int r2 = 0;
    int p = 0;
    double fi, fj;
    arg = modf(arg, &fi);
    if (fi != 0) {
        int q = digitBufSize;
        while (fi != 0 && q > 0) {
            fj = modf(fi / 10, &fi);
            int d = static_cast<int>((fj + .03) * 10);
            buf[--q] = static_cast<char>('0' + (d > 9 ? 9 : d));
            r2++;
        }
        while (q < digitBufSize)
            buf[p++] = buf[q++];
    } else if (arg > 0) {
        while ((fj = arg * 10) < 1) {
            arg = fj;
            r2--;
        }
    }
    int cut = ndigits + (fmode ? r2 : 0);
    *decpt = r2;
    if (cut < 0) {
        buf[0] = 0;
        return 0;
    }
    while (p <= cut && p < digitBufSize) {
        arg *= 10;
        arg = modf(arg, &fj);
        buf[p++] = static_cast<char>('0' + static_cast<int>(fj));
    }
    if (cut >= digitBufSize) {
        buf[digitBufSize - 1] = 0;
        return digitBufSize - 1;
    }
    p = cut;
    int q = cut;
    buf[q] = static_cast<char>(buf[q] + 5);
    while (buf[q] > '9') {
        buf[q] = '0';
        if (q > 0) {
            ++buf[--q];
        } else {
            buf[q] = '1';
            (*decpt)++;
            if (fmode) {
                if (p > 0)
                    buf[p] = '0';
                p++;
            }
        }
    }
    buf[p] = 0;
    return p;
}

// A bounded text builder for one floating-point conversion. Its size covers
// the longest text the digit buffer can give.
struct FloatText {
    char s[720];
    size_t n;
};

void put(FloatText *t, char c)
{
    if (t->n < sizeof t->s)
        t->s[t->n++] = c;
}

void putDigits(FloatText *t, const char *d, size_t n)
{
    for (size_t i = 0; i < n; i++)
        put(t, d[i]);
}

void putZeros(FloatText *t, long n)
{
    for (; n > 0; n--)
        put(t, '0');
}

void putExponent(FloatText *t, int e, int minDigits)
{
    put(t, e < 0 ? '-' : '+');
    unsigned v = e < 0 ? 0u - static_cast<unsigned>(e) : static_cast<unsigned>(e);
    char tmp[12];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    for (int i = n; i < minDigits; i++)
        put(t, '0');
    while (n > 0)
        put(t, tmp[--n]);
}

void formatF(FloatText *t, double v, int prec, bool alt)
{
    char d[digitBufSize + 1];
    int decpt;
    int n = digitsOf(v, prec, &decpt, true, d);
    if (decpt > 0) {
        int whole = decpt < n ? decpt : n;
        putDigits(t, d, static_cast<size_t>(whole));
        putZeros(t, decpt - whole); // only when the digit buffer ran out
        if (prec || alt)
            put(t, '.');
        if (n > decpt)
            putDigits(t, d + decpt, static_cast<size_t>(n - decpt));
    } else {
        put(t, '0');
        if (prec > 0) {
            put(t, '.');
            putZeros(t, -decpt < prec ? -decpt : prec);
            putDigits(t, d, static_cast<size_t>(n));
        }
    }
}

void formatE(FloatText *t, double v, int prec, bool alt, char letter)
{
    char d[digitBufSize + 1];
    int decpt;
    int n = digitsOf(v, prec + 1, &decpt, false, d);
    put(t, n > 0 ? d[0] : '0');
    if (prec || alt)
        put(t, '.');
    if (n > 1)
        putDigits(t, d + 1, static_cast<size_t>(n - 1));
    put(t, letter);
    // Zero has no first significant digit; its exponent is 0, not -1.
    int e = v == 0 ? 0 : decpt - 1;
    if (e == 0) {
        putDigits(t, "+00", 3);
        return;
    }
    putExponent(t, e, 2);
}

void formatG(FloatText *t, double v, int prec, bool alt, char letter)
{
    char d[digitBufSize + 1];
    int decpt;
    int n = digitsOf(v, prec, &decpt, false, d);
    if (n == 0) {
        d[0] = '0';
        n = 1;
    }
    while (n > 1 && d[n - 1] == '0')
        n--;
    if ((decpt >= 0 && decpt - n >= 5) || decpt < -3) {
        put(t, d[0]);
        put(t, '.');
        putDigits(t, d + 1, static_cast<size_t>(n - 1));
        put(t, letter == 'G' ? 'E' : 'e');
        putExponent(t, decpt - 1, 1);
        return;
    }
    if (decpt <= 0) {
        if (d[0] != '0')
            put(t, '.');
        putZeros(t, -decpt);
        putDigits(t, d, static_cast<size_t>(n));
    } else {
        for (int i = 0; i < n; i++) {
            put(t, d[i]);
            if (i + 1 == decpt)
                put(t, '.');
        }
        if (n < decpt) {
            putZeros(t, decpt - n);
            put(t, '.');
        }
    }
    bool hasPoint = memchr(t->s, '.', t->n) != nullptr;
    if (!alt && t->n > 0 && t->s[t->n - 1] == '.')
        t->n--;
    else if (alt && !hasPoint)
        put(t, '.');
}

void convertFloat(Out *o, const Conversion *s, char letter, va_list *ap)
{
    double v = va_arg(*ap, double);
    bool upper = letter == 'E' || letter == 'G';
    if (std::isnan(v) || std::isinf(v)) {
        const char *text = std::isnan(v) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
        char sign = signOf(s, std::isinf(v) && v < 0);
        field(o, s, sign, nullptr, 0, text, 3, ' ');
        return;
    }
    bool negative = v < 0;
    if (negative)
        v = -v;
    FloatText t;
    t.n = 0;
    int prec = s->prec;
    if (letter == 'f') {
        formatF(&t, v, prec < 0 ? 6 : prec, s->alt);
    } else if (letter == 'e' || letter == 'E') {
        formatE(&t, v, prec < 0 ? 6 : prec, s->alt, letter);
    } else {
        if (prec < 0)
            prec = 11;
        if (prec == 0)
            prec = 1;
        formatG(&t, v, prec, s->alt, letter);
    }
    field(o, s, signOf(s, negative), nullptr, 0, t.s, t.n, s->zero ? '0' : ' ');
}

// ----------------------------------------------------------------- core

// Reads decimal digits, saturating at fieldLimit.
int readNumber(const char **f)
{
    int v = 0;
    while (**f >= '0' && **f <= '9') {
        int d = **f - '0';
        v = v > (fieldLimit - d) / 10 ? fieldLimit : v * 10 + d;
        (*f)++;
    }
    return v;
}

int clampField(int v)
{
    return v > fieldLimit ? fieldLimit : v;
}

// Formats into o. Returns when the format ends or the output is full.
void formatCore(Out *o, const char *f, va_list *ap)
{
    while (*f) {
        if (o->full)
            return;
        if (*f != '%') {
            const char *run = f;
            while (*f && *f != '%')
                f++;
            emit(o, run, static_cast<size_t>(f - run));
            continue;
        }
        f++;
        Conversion s = {0, 0, 0, 0, 0, 0, -1, 0};
        for (;; f++) {
            char c = *f;
            if (c == '-')
                s.left = 1;
            else if (c == '+')
                s.plus = 1;
            else if (c == ' ')
                s.space = 1;
            else if (c == '#')
                s.alt = 1;
            else if (c == '0')
                s.zero = 1;
            else if (c == '{') {
                while (*f && *f != '}')
                    f++;
                if (!*f)
                    break;
            } else
                break;
        }
        if (*f == '*') {
            int w = va_arg(*ap, int);
            if (w < 0) {
                s.left = 1;
                w = w == INT_MIN ? INT_MAX : -w;
            }
            s.width = clampField(w);
            f++;
        } else {
            s.width = readNumber(&f);
        }
        if (*f == '.') {
            f++;
            if (*f == '*') {
                int p = va_arg(*ap, int);
                s.prec = p < 0 ? 0 : clampField(p);
                f++;
            } else {
                s.prec = readNumber(&f);
            }
        }
        if (*f == 'h' || *f == 'l' || *f == 'q')
            s.size = *f++;
        char letter = *f;
        if (!letter) {
            // A format that ends inside a conversion: the '%' is printed.
            emit(o, "%", 1);
            return;
        }
        f++;
        switch (letter) {
        case 'd':
        case 'i':
        case 'u':
        case 'o':
        case 'x':
        case 'X': convertInteger(o, &s, letter, ap); break;
        case 'p': convertPointer(o, &s, ap); break;
        case 'c': {
            char ch = static_cast<char>(va_arg(*ap, int));
            field(o, &s, 0, nullptr, 0, &ch, 1, s.zero ? '0' : ' ');
            break;
        }
        case 'C': {
            unsigned u = static_cast<uint16_t>(va_arg(*ap, int));
            char ch = u > 0xFF ? '?' : static_cast<char>(u);
            field(o, &s, 0, nullptr, 0, &ch, 1, s.zero ? '0' : ' ');
            break;
        }
        case 's': convertString(o, &s, ap); break;
        case 'S': convertWide(o, &s, ap); break;
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G': convertFloat(o, &s, letter, ap); break;
        case 'n': {
            int64_t c = o->count > INT_MAX ? INT_MAX : o->count;
            if (s.size == 'h') {
                int16_t *target = va_arg(*ap, int16_t *);
                if (target)
                    *target = static_cast<int16_t>(c);
            } else {
                int *target = va_arg(*ap, int *);
                if (target)
                    *target = static_cast<int>(c);
            }
            break;
        }
        case '%': field(o, &s, 0, nullptr, 0, "%", 1, s.zero ? '0' : ' '); break;
        default: {
            Fmt_ConversionFn handler = findConversion(letter);
            char *text = handler ? handler(va_arg(*ap, void *)) : nullptr;
            if (text) {
                field(o, &s, 0, nullptr, 0, text, boundedLen(text, s.prec), s.zero ? '0' : ' ');
                Mem_free(text);
            } else {
                char pair[2] = {'%', letter};
                emit(o, pair, 2);
            }
            break;
        }
        }
    }
}

int resultOf(const Out *o, size_t size)
{
    if (o->full)
        return size > INT_MAX ? INT_MAX : static_cast<int>(size);
    return o->count > INT_MAX ? INT_MAX : static_cast<int>(o->count);
}

// Debug messages: formatted into 1024 bytes; the marker is written over the
// buffer's tail at `markerAt`, so a text that reached it shows its
// beginning followed by the marker.
constexpr size_t debugSize = 1024;

int debugFormat(const char *marker, size_t markerAt, bool print, const char *format, va_list ap)
{
    char buf[debugSize];
    int r = Fmt_vsnprintf(buf, sizeof buf, format, ap);
    memcpy(buf + markerAt, marker, debugSize - markerAt);
    if (print)
        HostDebug_print(buf);
    return r;
}

// Runs the formatter into an 8-bit or a 16-bit buffer (one of the two is
// set; both null measures).
int formatInto(char *buf8, char16_t *buf16, size_t size, const char *format, va_list args)
{
    Out o = {buf8, buf16, 0, 0, buf8 == nullptr && buf16 == nullptr, 0, 0};
    if (!o.measure) {
        if (size == 0)
            return 0;
        o.room = size - 1;
    }
    va_list ap;
    va_copy(ap, args);
    formatCore(&o, format, &ap);
    va_end(ap);
    if (buf8)
        buf8[o.pos] = 0;
    else if (buf16)
        buf16[o.pos] = 0;
    return resultOf(&o, size);
}

} // namespace

int Fmt_vsnprintf(char *buf, size_t size, const char *format, va_list args)
{
    return formatInto(buf, nullptr, size, format, args);
}

int Fmt_snprintf(char *buf, size_t size, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = Fmt_vsnprintf(buf, size, format, ap);
    va_end(ap);
    return r;
}

int Fmt_vsnprintf16(char16_t *buf, size_t size, const char *format, va_list args)
{
    return formatInto(nullptr, buf, size, format, args);
}

int Fmt_snprintf16(char16_t *buf, size_t size, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = Fmt_vsnprintf16(buf, size, format, ap);
    va_end(ap);
    return r;
}

int Fmt_debugLevel(int level, const char *format, ...)
{
    static constexpr char marker[] = "** truncated **";
    static_assert(sizeof marker == 16);
    va_list ap;
    va_start(ap, format);
    int r = debugFormat(marker, debugSize - sizeof marker, level >= 0 && level <= 2, format, ap);
    va_end(ap);
    return r;
}

int Fmt_debugPrint(const char *format, ...)
{
    static constexpr char marker[] = "** truncated **\n";
    static_assert(sizeof marker == 17);
    va_list ap;
    va_start(ap, format);
    int r = debugFormat(marker, debugSize - sizeof marker, true, format, ap);
    va_end(ap);
    return r;
}

int Fmt_registerConversion(char letter, Fmt_ConversionFn handler)
{
    EngineContext *ctx = currentContext();
    if (!ctx || !handler)
        return 0;
    if (findConversion(letter))
        return 0;
    FmtRegistry *reg = static_cast<FmtRegistry *>(ctx->fmtConversions);
    bool madeRegistry = false;
    if (!reg) {
        reg = static_cast<FmtRegistry *>(Mem_calloc(1, sizeof *reg));
        if (!reg)
            return 0;
        madeRegistry = true;
    }
    FmtConversion *grown = static_cast<FmtConversion *>(
        Mem_realloc(reg->entries, (reg->count + 1) * sizeof(FmtConversion)));
    if (!grown) {
        if (madeRegistry)
            Mem_free(reg);
        return 0;
    }
    grown[reg->count].letter = letter;
    grown[reg->count].handler = handler;
    reg->entries = grown;
    reg->count++;
    ctx->fmtConversions = reg;
    return 1;
}

void Fmt_clearConversions()
{
    EngineContext *ctx = currentContext();
    FmtRegistry *reg = ctx ? static_cast<FmtRegistry *>(ctx->fmtConversions) : nullptr;
    if (!reg)
        return;
    Mem_free(reg->entries);
    Mem_free(reg);
    ctx->fmtConversions = nullptr;
}

void Fmt_unregisterConversion(char letter, Fmt_ConversionFn handler)
{
    EngineContext *ctx = currentContext();
    FmtRegistry *reg = ctx ? static_cast<FmtRegistry *>(ctx->fmtConversions) : nullptr;
    if (!reg)
        return;
    for (uint32_t i = 0; i < reg->count; i++) {
        if (reg->entries[i].letter != letter || reg->entries[i].handler != handler)
            continue;
        memmove(reg->entries + i, reg->entries + i + 1,
                (reg->count - i - 1) * sizeof(FmtConversion));
        reg->count--;
        if (reg->count == 0) {
            Mem_free(reg->entries);
            Mem_free(reg);
            ctx->fmtConversions = nullptr;
        }
        return;
    }
}
