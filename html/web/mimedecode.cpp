// MIME body decoders (base64, quoted-printable) and header decoders (RFC
// 2047 encoded words). The body decoders follow the converter convention of
// core/text/charset.h so that a part's body runs through one loop, chunk by
// chunk, whatever its encoding; they allocate nothing and never fail.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "html/web/mime.h"

namespace {

constexpr uint8_t kOut = 255; // not in the alphabet
constexpr uint8_t kPad = 254; // '='

struct Base64Table {
    uint8_t v[256];
};

constexpr Base64Table makeTable()
{
    Base64Table t{};
    for (int i = 0; i < 256; i++)
        t.v[i] = kOut;
    for (int i = 0; i < 26; i++) {
        t.v['A' + i] = uint8_t(i);
        t.v['a' + i] = uint8_t(26 + i);
    }
    for (int i = 0; i < 10; i++)
        t.v['0' + i] = uint8_t(52 + i);
    t.v[uint8_t('+')] = 62;
    t.v[uint8_t('/')] = 63;
    t.v[uint8_t('=')] = kPad;
    return t;
}

constexpr Base64Table kBase64 = makeTable();

// The value of an upper-case hexadecimal digit, or -1.
int upperHex(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

// ------------------------------------------------------------ base64 body

int Mime_base64Decode(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst,
                      size_t dstCap, size_t *consumed, size_t *produced, CharsetState *)
{
    size_t in = 0, out = 0;
    // Bytes outside the alphabet are skipped wherever they stand.
    while (in < srcLen && kBase64.v[src[in]] == kOut)
        in++;
    size_t done = in; // the start of the first unfinished quantum
    while (in < srcLen && out < dstCap) {
        uint8_t q[4];
        int got = 0;
        size_t pos = in;
        while (got < 4 && pos < srcLen) {
            uint8_t v = kBase64.v[src[pos++]];
            if (v != kOut)
                q[got++] = v;
        }
        if (got < 4)
            break;
        uint8_t a = q[0] == kPad ? 0 : q[0];
        uint8_t b = q[1] == kPad ? 0 : q[1];
        uint8_t c = q[2] == kPad ? 0 : q[2];
        uint8_t d = q[3] == kPad ? 0 : q[3];
        size_t need = q[2] == kPad ? 1 : (q[3] == kPad ? 2 : 3);
        if (dstCap - out < need)
            break;
        dst[out++] = uint8_t(a << 2 | b >> 4);
        if (need > 1)
            dst[out++] = uint8_t(b << 4 | c >> 2);
        if (need > 2)
            dst[out++] = uint8_t(c << 6 | d);
        // Padding does not end decoding: later quanta are decoded too.
        in = pos;
        while (in < srcLen && kBase64.v[src[in]] == kOut)
            in++;
        done = in;
    }
    *consumed = done;
    *produced = out;
    return Res_ok;
}

// -------------------------------------------------- quoted-printable body

int Mime_qpDecode(EngineContext *, const uint8_t *src, size_t srcLen, uint8_t *dst, size_t dstCap,
                  size_t *consumed, size_t *produced, CharsetState *)
{
    enum { plain, afterEq, afterDigit, white };
    int state = plain;
    size_t out = 0;
    size_t start = 0; // where the pending escape or white-space run began
    int digit = 0;
    bool full = false;
    size_t i = 0;
    while (i < srcLen) {
        uint8_t c = src[i];
        if (state == plain) {
            if (c == '=') {
                state = afterEq;
                start = i++;
                continue;
            }
            if (c == ' ' || c == '\t') {
                state = white;
                start = i++;
                continue;
            }
            if ((c >= 31 && c <= 126) || c == '\n') {
                if (out == dstCap) {
                    full = true;
                    break;
                }
                dst[out++] = c;
            }
            i++; // CR, other control bytes and bytes above 126 go
            continue;
        }
        if (state == afterEq) {
            int h = upperHex(c);
            if (h >= 0) {
                digit = h;
                state = afterDigit;
                i++;
            } else if (c == '\r') {
                i++;
            } else if (c == '\n') {
                state = plain; // soft line break
                i++;
            } else {
                state = plain; // the escape ends without output
            }
            continue;
        }
        if (state == afterDigit) {
            int h = upperHex(c);
            if (h >= 0) {
                if (out == dstCap) {
                    full = true;
                    break;
                }
                dst[out++] = uint8_t(digit << 4 | h);
                state = plain;
                i++;
            } else if (c == '\r') {
                i++;
            } else if (c == '\n') {
                state = plain; // the escape is dropped
                i++;
            } else {
                if (dstCap - out < 2) {
                    full = true;
                    break;
                }
                dst[out++] = '=';
                dst[out++] = uint8_t(digit < 10 ? '0' + digit : 'A' + digit - 10);
                state = plain;
            }
            continue;
        }
        // A white-space run.
        if (c == ' ' || c == '\t') {
            i++;
        } else if (c == '\n') {
            state = plain; // trailing white space goes; the LF is copied next
        } else {
            if (dstCap - out < i - start) {
                full = true;
                break;
            }
            memcpy(dst + out, src + start, i - start);
            out += i - start;
            state = plain;
        }
    }
    if (full || state == plain) {
        *consumed = full ? (state == plain ? i : start) : srcLen;
    } else {
        // A pending escape or white-space run waits for more input, even
        // when nothing came before it: dropping it would make the output
        // depend on where the input was cut. Callers stop when nothing is
        // consumed.
        *consumed = start;
    }
    *produced = out;
    return Res_ok;
}

// ------------------------------------------------------ encoded words

int Mime_base64Quantum(const uint8_t in[4], uint8_t out[3])
{
    uint8_t v[4];
    int pads = 0;
    for (int i = 0; i < 4; i++) {
        uint8_t c = in[i];
        uint8_t t = kBase64.v[c];
        if (t == kPad) {
            pads++;
            v[i] = 0;
            continue;
        }
        if (pads)
            return -1; // only '=' may follow '='
        v[i] = t == kOut ? c : t;
    }
    out[0] = uint8_t(v[0] << 2 | v[1] >> 4);
    out[1] = uint8_t(v[1] << 4 | v[2] >> 2);
    out[2] = uint8_t(v[2] << 6 | v[3]);
    return pads;
}

uint8_t *Mime_wordBase64Decode(const uint8_t *bytes, size_t n, size_t *outLength)
{
    *outLength = 0;
    uint8_t *buf = static_cast<uint8_t *>(Mem_malloc(n + 2));
    if (!buf)
        return nullptr;
    size_t out = 0;
    uint8_t group[4];
    int got = 0;
    for (size_t i = 0; i < n; i++) {
        if (bytes[i] == '\r' || bytes[i] == '\n')
            continue;
        group[got++] = bytes[i];
        if (got < 4)
            continue;
        got = 0;
        uint8_t three[3];
        int pads = Mime_base64Quantum(group, three);
        if (pads < 0) {
            Mem_free(buf);
            return nullptr;
        }
        if (pads == 0) {
            memcpy(buf + out, three, 3);
            out += 3;
            continue;
        }
        buf[out++] = three[0];
        if (pads == 1)
            buf[out++] = three[1];
        *outLength = out;
        return buf;
    }
    if (got) { // a final group of one to three characters
        Mem_free(buf);
        return nullptr;
    }
    *outLength = out;
    return buf;
}

uint8_t *Mime_wordQDecode(const uint8_t *bytes, size_t n, size_t *outLength)
{
    *outLength = 0;
    uint8_t *buf = static_cast<uint8_t *>(Mem_malloc(n + 1));
    if (!buf)
        return nullptr;
    size_t out = 0;
    size_t i = 0;
    bool afterWhite = false;
    while (i < n) {
        uint8_t c = bytes[i];
        if (c == ' ' || c == '\t') {
            size_t j = i;
            while (j < n && (bytes[j] == ' ' || bytes[j] == '\t'))
                j++;
            size_t k = j;
            while (k < n && bytes[k] == '\r')
                k++;
            if (k < n && bytes[k] == '\n') {
                buf[out++] = '\n'; // trailing white space and its line end
                i = k + 1;
                afterWhite = false;
                continue;
            }
            memcpy(buf + out, bytes + i, j - i);
            out += j - i;
            i = j;
            afterWhite = true;
            continue;
        }
        if (c == '\r' && afterWhite) {
            i++;
            continue;
        }
        afterWhite = false;
        if (c == '\r' || c == '\n') {
            buf[out++] = c;
            i++;
            continue;
        }
        if (c == '=') {
            if (i + 1 < n && bytes[i + 1] == '\r') {
                // A soft line break swallows the byte after the CR; a
                // doubled dot at the start of the next line loses one.
                i += 3;
                if (i + 1 < n && bytes[i] == '.' && bytes[i + 1] == '.')
                    i++;
                continue;
            }
            if (i + 2 >= n) {
                i++; // too short for an escape: the '=' goes
                continue;
            }
            int h1 = upperHex(bytes[i + 1]);
            if (h1 < 0) {
                i++; // "=" and a byte that is no digit: that byte
                continue;
            }
            int h2 = upperHex(bytes[i + 2]);
            if (h2 < 0) {
                buf[out++] = bytes[i + 1];
                i += 2;
                continue;
            }
            buf[out++] = uint8_t(h1 << 4 | h2);
            i += 3;
            continue;
        }
        if (c >= 33 && c <= 126)
            buf[out++] = c;
        i++;
    }
    if (n - out > 500) {
        uint8_t *smaller = static_cast<uint8_t *>(Mem_realloc(buf, out + 1));
        if (smaller)
            buf = smaller;
    }
    *outLength = out;
    return buf;
}

int Mime_decodeWordText(uint32_t method, const uint8_t *bytes, size_t n, uint8_t **out,
                        size_t *outLength)
{
    *out = nullptr;
    *outLength = 0;
    if (method <= 2) {
        *out = static_cast<uint8_t *>(Mem_malloc(n + 1));
        if (*out) {
            memcpy(*out, bytes, n);
            *outLength = n;
        }
    } else if (method == 3) {
        *out = Mime_wordQDecode(bytes, n, outLength);
    } else if (method == 4) {
        *out = Mime_wordBase64Decode(bytes, n, outLength);
    }
    return *out ? Res_ok : Res_mimeBadWord;
}

namespace {

// A charset or method token ends at a space or one of these.
bool endsToken(char c)
{
    return c == 0 || c == ' ' || strchr("\"().,/:;?<=>@[]", c) != nullptr;
}

} // namespace

int Mime_nextEncodedWord(const char *text, size_t *taken, uint8_t **bytes, size_t *n,
                         uint32_t *charset)
{
    *taken = 0;
    *bytes = nullptr;
    *n = 0;
    *charset = CharsetCode_latin1;
    size_t p = 0;
    if (text[0] == '\r' && text[1] == '\n' && (text[2] == ' ' || text[2] == '\t'))
        p = 3;
    const char *s = text + p;
    if (s[0] == '=' && s[1] == '?') {
        size_t cs = 2, ce = cs;
        while (!endsToken(s[ce]))
            ce++;
        if (s[ce] == '?') {
            size_t ms = ce + 1, me = ms;
            while (!endsToken(s[me]))
                me++;
            if (s[me] == '?') {
                size_t ts = me + 1, te = ts;
                while (s[te] && s[te] != '?' && s[te] != ' ')
                    te++;
                if (s[te] == '?' && s[te + 1] == '=') {
                    char name[64];
                    size_t len = ce - cs < sizeof name - 1 ? ce - cs : sizeof name - 1;
                    memcpy(name, s + cs, len);
                    name[len] = 0;
                    uint32_t code = 0;
                    if (Charset_fromCstrName(name, &code) != Res_ok)
                        code = CharsetCode_latin1;
                    uint32_t method = 0;
                    if (me - ms == 1 && (s[ms] == 'B' || s[ms] == 'b'))
                        method = 4;
                    else if (me - ms == 1 && (s[ms] == 'Q' || s[ms] == 'q'))
                        method = 3;
                    size_t len2 = 0;
                    if (Mime_decodeWordText(method, reinterpret_cast<const uint8_t *>(s + ts),
                                            te - ts, bytes, &len2) != Res_ok)
                        return 0;
                    *n = len2;
                    *charset = code;
                    *taken = p + te + 2;
                    return 1;
                }
            }
        }
    }
    // Plain text: the whole rest of the value, as ISO-8859-1.
    size_t len = strlen(s);
    if (Mime_decodeWordText(0, reinterpret_cast<const uint8_t *>(s), len, bytes, n) != Res_ok)
        return 0;
    *taken = p + len;
    return 1;
}

char16_t *Mime_decodeHeaderText(EngineContext *context, const char *value)
{
    if (!value)
        return nullptr;
    char16_t *result = static_cast<char16_t *>(Mem_calloc(1, sizeof(char16_t)));
    size_t length = 0;
    while (result && *value) {
        size_t taken = 0, n = 0;
        uint8_t *bytes = nullptr;
        uint32_t charset = 0;
        if (!Mime_nextEncodedWord(value, &taken, &bytes, &n, &charset))
            break; // what was decoded before this run stays
        char16_t *text = nullptr;
        // The engine's own 16-bit form is counted in units, not bytes; an odd
        // trailing byte is dropped rather than read past.
        size_t count = charset == CharsetCode_utf16 ? n / 2 : n;
        int err = Charset_toUstrN(context, bytes, count, &text, charset);
        if (err == Res_charsetUnknown) // a set without its table reads as ISO-8859-1
            err = Charset_toUstrN(context, bytes, n, &text, CharsetCode_latin1);
        Mem_free(bytes);
        if (err != Res_ok) {
            Mem_free(result);
            return nullptr;
        }
        size_t add = 0;
        while (text[add])
            add++;
        char16_t *grown =
            static_cast<char16_t *>(Mem_realloc(result, (length + add + 1) * sizeof(char16_t)));
        if (!grown) {
            Mem_free(text);
            Mem_free(result);
            return nullptr;
        }
        result = grown;
        memcpy(result + length, text, add * sizeof(char16_t));
        length += add;
        result[length] = 0;
        Mem_free(text);
        value += taken;
        if (!taken)
            break;
    }
    return result;
}
