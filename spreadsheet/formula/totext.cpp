// Formulas rendered as text: a BIFF8 token string back into the infix text
// that the formula parser reads.
//
// The tokens are walked in order with a stack of text fragments: operands
// push their text, operators and functions pop their operands and push the
// combined text. Space attributes leave blanks pending for the next piece
// of text (or for the "(" and ")" of the next parenthesis or call). Numbers
// are written with the fewest digits that read back to the same double, so
// that a formula opened for editing and stored again keeps its constants.
#include "spreadsheet/formula/formulatext.h"

#include <cmath>
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/fmt.h"
#include "core/stream/bytestream.h"
#include "spreadsheet/errortext.h"
#include "spreadsheet/formula/funcnames.h"
#include "spreadsheet/formula/ptg.h"

namespace {

constexpr int syntax = Res_formulaSyntax;

struct TextState {
    const uint8_t *t;
    size_t length;
    size_t pos;
    char **fragments; // the stack, always ending with a null entry
    size_t count;
    size_t capacity;
    char *before; // blanks pending before the next text
    char *open;   // blanks pending before the next "("
    char *close;  // blanks pending before the next ")"
    const char *const *names;
};

// A new string of the parts joined; null without memory.
char *join(const char *const *parts, size_t n)
{
    size_t total = 1;
    for (size_t i = 0; i < n; i++)
        total += parts[i] ? strlen(parts[i]) : 0;
    char *s = static_cast<char *>(Mem_malloc(total));
    if (!s)
        return nullptr;
    size_t at = 0;
    for (size_t i = 0; i < n; i++) {
        size_t k = parts[i] ? strlen(parts[i]) : 0;
        memcpy(s + at, parts[i] ? parts[i] : "", k);
        at += k;
    }
    s[at] = 0;
    return s;
}

int pushOwned(TextState &st, char *text)
{
    if (!text)
        return Res_noMemory;
    if (st.count + 1 >= st.capacity) {
        size_t cap = st.capacity + 10;
        char **grown = static_cast<char **>(Mem_realloc(st.fragments, cap * sizeof(char *)));
        if (!grown) {
            Mem_free(text);
            return Res_noMemory;
        }
        st.fragments = grown;
        st.capacity = cap;
    }
    st.fragments[st.count++] = text;
    st.fragments[st.count] = nullptr;
    return Res_ok;
}

void clearPending(char **pending)
{
    Mem_free(*pending);
    *pending = nullptr;
}

// Pushes the pending blanks followed by the text.
int pushText(TextState &st, const char *text)
{
    const char *parts[2] = {st.before, text};
    char *s = join(parts, 2);
    clearPending(&st.before);
    return pushOwned(st, s);
}

// Removes n fragments from the top of the stack (freed).
int textPop(TextState &st, size_t n)
{
    if (st.count < n)
        return syntax;
    while (n--) {
        Mem_free(st.fragments[--st.count]);
        st.fragments[st.count] = nullptr;
    }
    return Res_ok;
}

char *top(TextState &st, size_t fromTop)
{
    return st.fragments[st.count - 1 - fromTop];
}

// Replaces the top n fragments with text (owned).
int replace(TextState &st, size_t n, char *text)
{
    if (!text)
        return Res_noMemory;
    int rc = textPop(st, n);
    if (rc) {
        Mem_free(text);
        return rc;
    }
    return pushOwned(st, text);
}

// Adds count copies of c to a pending blank string.
int addBlanks(char **pending, char c, uint32_t count)
{
    size_t old = *pending ? strlen(*pending) : 0;
    char *s = static_cast<char *>(Mem_realloc(*pending, old + count + 1));
    if (!s)
        return Res_noMemory;
    memset(s + old, c, count);
    s[old + count] = 0;
    *pending = s;
    return Res_ok;
}

// Seventeen significant digits of value as "d.dddddddddddddddE[-]x",
// the digits of m (which holds 17) moved by delta.
void digitsText(bool negative, uint64_t m, int32_t exponent, char *buf)
{
    char digits[17];
    for (int i = 16; i >= 0; i--) {
        digits[i] = char('0' + m % 10);
        m /= 10;
    }
    size_t at = 0;
    if (negative)
        buf[at++] = '-';
    buf[at++] = digits[0];
    buf[at++] = '.';
    for (int i = 1; i < 17; i++)
        buf[at++] = digits[i];
    Fmt_snprintf(buf + at, 16, "E%d", int(exponent));
}

// The fewest significant digits that read back to the same value. The
// formatter's last digits can be off by one for some values; seventeen
// digits of the value's own decimal expansion, with the last digit tried
// one to three steps either way, cover those.
void numberText(double value, char *buf, size_t size)
{
    for (int precision = 1; precision <= 17; precision++) {
        Fmt_snprintf(buf, size, "%.*g", precision, value);
        if (Excel_Formula_readNumber(buf) == value)
            return;
    }
    long double a = fabsl(static_cast<long double>(value));
    if (a == 0)
        return;
    int32_t exponent = int32_t(floorl(log10l(a)));
    long double scaled = a / powl(10.0L, exponent - 16);
    uint64_t m = uint64_t(llroundl(scaled));
    if (m >= 100000000000000000ull) {
        m = (m + 5) / 10;
        exponent++;
    } else if (m < 10000000000000000ull) {
        m *= 10;
        exponent--;
    }
    const int64_t steps[] = {0, -1, 1, -2, 2, -3, 3};
    for (int64_t d : steps) {
        digitsText(value < 0, uint64_t(int64_t(m) + d), exponent, buf);
        if (Excel_Formula_readNumber(buf) == value)
            return;
    }
    digitsText(value < 0, m, exponent, buf);
}

// "$" before the column unless it is relative, the letters, "$" before
// the row unless it is relative, the row + 1.
void cellText(uint32_t row, uint32_t word, char *buf, size_t size)
{
    char letters[3];
    Excel_Formula_colText(word & 0xFF, letters);
    Fmt_snprintf(buf, size, "%s%s%s%u", word & 0x4000 ? "" : "$", letters, word & 0x8000 ? "" : "$",
                 row + 1);
}

int areaText(TextState &st, const uint8_t *op)
{
    uint32_t r1 = Bytes_peekU16Le(op), r2 = Bytes_peekU16Le(op + 2), w1 = Bytes_peekU16Le(op + 4),
             w2 = Bytes_peekU16Le(op + 6);
    char buf[40];
    char a[3], b[3];
    if (r1 == 0 && r2 == 65535) {
        Excel_Formula_colText(w1 & 0xFF, a);
        Excel_Formula_colText(w2 & 0xFF, b);
        Fmt_snprintf(buf, sizeof buf, "%s%s:%s%s", w1 & 0x4000 ? "" : "$", a,
                     w2 & 0x4000 ? "" : "$", b);
    } else if ((w1 & 0xFF) == 0 && (w2 & 0xFF) == 255) {
        Fmt_snprintf(buf, sizeof buf, "%s%u:%s%u", w1 & 0x8000 ? "" : "$", r1 + 1,
                     w2 & 0x8000 ? "" : "$", r2 + 1);
    } else {
        char c1[20], c2[20];
        cellText(r1, w1, c1, sizeof c1);
        cellText(r2, w2, c2, sizeof c2);
        Fmt_snprintf(buf, sizeof buf, "%s:%s", c1, c2);
    }
    return pushText(st, buf);
}

int stringText(TextState &st, const uint8_t *tok)
{
    size_t n = tok[1];
    bool wide = tok[2] & 1;
    char16_t wideText[256];
    for (size_t i = 0; i < n; i++)
        wideText[i] = wide ? char16_t(Bytes_peekU16Le(tok + 3 + 2 * i)) : char16_t(tok[3 + i]);
    wideText[n] = 0;
    size_t bytes = 0;
    Ustr_utf8Len(wideText, &bytes, nullptr);
    char *s = static_cast<char *>(Mem_malloc(bytes + 2));
    if (!s)
        return Res_noMemory;
    s[0] = '"';
    Ustr_toUtf8(s + 1, wideText);
    s[bytes] = '"';
    s[bytes + 1] = 0;
    int rc = pushText(st, s);
    Mem_free(s);
    return rc;
}

const char *binaryText(uint8_t id)
{
    static constexpr const char *texts[] = {"+", "-",  "*", "/",  "^", nullptr,
                                            "<", "<=", "=", ">=", ">", "<>"};
    return id >= 0x03 && id <= 0x0E ? texts[id - 0x03] : nullptr;
}

// The fixed argument count of a ptgFunc id; -1 when it has none.
int32_t fixedCount(uint32_t id)
{
    switch (id) {
    case 34:
    case 35:
    case 74: return 0;
    case 20:
    case 22:
    case 23:
    case 24:
    case 25:
    case 38:
    case 197: return 1;
    case 27:
    case 39:
    case 337:
    case 346: return 2;
    default: return -1;
    }
}

// name(args...) over the top count fragments, with the pending blanks.
int callText(TextState &st, const char *name, size_t count)
{
    if (st.count < count)
        return syntax;
    size_t total =
        strlen(name) + 3 + (st.before ? strlen(st.before) : 0) + (st.close ? strlen(st.close) : 0);
    for (size_t i = 0; i < count; i++)
        total += strlen(top(st, i)) + 1;
    char *s = static_cast<char *>(Mem_malloc(total));
    if (!s)
        return Res_noMemory;
    s[0] = 0;
    size_t at = 0;
    auto add = [&](const char *part) {
        if (!part)
            return;
        size_t k = strlen(part);
        memcpy(s + at, part, k);
        at += k;
    };
    add(st.before);
    add(name);
    add("(");
    for (size_t i = 0; i < count; i++) {
        if (i)
            add(",");
        add(top(st, count - 1 - i));
    }
    add(st.close);
    add(")");
    s[at] = 0;
    clearPending(&st.before);
    clearPending(&st.open);
    clearPending(&st.close);
    return replace(st, count, s);
}

int function(TextState &st, uint32_t id, size_t count)
{
    if (id & 0x8000)
        return syntax;
    int32_t index = Excel_Func_nameIndex(int32_t(id));
    if (index < 0)
        return Res_formulaUnknownFunction;
    return callText(st, st.names[index], count);
}

int attribute(TextState &st, const uint8_t *tok)
{
    switch (tok[1]) {
    case Excel_attrSum:
        return st.count < 1 ? syntax : callText(st, st.names[Excel_Func_nameIndex(4)], 1);
    case Excel_attrSpace: {
        uint8_t type = tok[2], count = tok[3];
        char c = type & 1 ? '\n' : ' ';
        char **pending = type <= 1   ? &st.before
                         : type <= 3 ? &st.open
                         : type <= 5 ? &st.close
                                     : nullptr;
        return pending ? addBlanks(pending, c, count) : Res_ok;
    }
    case Excel_attrIf:
    case Excel_attrGoto:
    case Excel_attrVolatile:
    case Excel_attrChoose: return Res_ok;
    default: return syntax;
    }
}

int token(TextState &st, uint8_t id, const uint8_t *tok)
{
    char buf[64];
    if (const char *op = binaryText(id)) {
        if (st.count < 2)
            return syntax;
        const char *parts[4] = {top(st, 1), st.before, op, top(st, 0)};
        char *s = join(parts, 4);
        clearPending(&st.before);
        return replace(st, 2, s);
    }
    switch (id) {
    case 0x12:
    case 0x13:
    case 0x14: {
        if (st.count < 1)
            return syntax;
        const char *sign = id == 0x12 ? "+" : id == 0x13 ? "-" : "%";
        const char *prefixed[3] = {st.before, sign, top(st, 0)};
        const char *suffixed[3] = {top(st, 0), st.before, sign};
        char *s = join(id == 0x14 ? suffixed : prefixed, 3);
        clearPending(&st.before);
        return replace(st, 1, s);
    }
    case 0x15: {
        if (st.count < 1)
            return syntax;
        const char *parts[6] = {st.before, st.open, "(", top(st, 0), st.close, ")"};
        char *s = join(parts, 6);
        clearPending(&st.before);
        clearPending(&st.open);
        clearPending(&st.close);
        return replace(st, 1, s);
    }
    case 0x16: return pushText(st, "");
    case Excel_ptgStr: return stringText(st, tok);
    case Excel_ptgAttr: return attribute(st, tok);
    case Excel_ptgBool:
        return pushText(st, st.names[tok[1] ? FuncNames_trueIndex : FuncNames_falseIndex]);
    case Excel_ptgInt:
        Fmt_snprintf(buf, sizeof buf, "%u", uint32_t(Bytes_peekU16Le(tok + 1)));
        return pushText(st, buf);
    case Excel_ptgNum: {
        uint64_t bits = 0;
        for (int i = 0; i < 8; i++)
            bits |= uint64_t(tok[1 + i]) << (8 * i);
        double value;
        memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value))
            return syntax;
        numberText(value, buf, sizeof buf);
        return pushText(st, buf);
    }
    case Excel_ptgFunc: {
        uint32_t fid = Bytes_peekU16Le(tok + 1);
        if (fid & 0x8000)
            return syntax;
        if (Excel_Func_nameIndex(int32_t(fid)) < 0)
            return Res_formulaUnknownFunction;
        int32_t count = fixedCount(fid);
        return count < 0 ? syntax : function(st, fid, size_t(count));
    }
    case Excel_ptgFuncVar: return function(st, Bytes_peekU16Le(tok + 2), tok[1] & 0x7F);
    case Excel_ptgRef:
        cellText(Bytes_peekU16Le(tok + 1), Bytes_peekU16Le(tok + 3), buf, sizeof buf);
        return pushText(st, buf);
    case Excel_ptgArea: return areaText(st, tok + 1);
    case Excel_ptgRefErr:
    case Excel_ptgAreaErr: return pushText(st, Excel_errorText(23));
    default: return syntax;
    }
}

} // namespace

size_t Excel_Formula_colText(uint32_t column, char *out)
{
    column &= 0xFF;
    size_t n = 0;
    if (column >= 26)
        out[n++] = char('A' + column / 26 - 1);
    out[n++] = char('A' + column % 26);
    out[n] = 0;
    return n;
}

int Excel_Formula_toText(EngineContext *context, const uint8_t *tokens, size_t length, char **text)
{
    if (!text)
        return Res_missingArgument;
    *text = nullptr;
    if (!tokens && length)
        return Res_missingArgument;
    const FuncNames *table =
        context ? static_cast<const FuncNames *>(context->sheetFunctionNames) : nullptr;
    TextState st{};
    st.t = tokens;
    st.length = length;
    st.names = table ? table->names : FuncNames_defaults;
    int rc = Res_ok;
    while (rc == Res_ok && st.pos < length) {
        size_t size = 0;
        int32_t id = Excel_Ptg_fold(tokens[st.pos]);
        if (id < 0 || Excel_Ptg_tokenSize(tokens, length, st.pos, &size) != Res_ok) {
            rc = syntax;
            break;
        }
        rc = token(st, uint8_t(id), tokens + st.pos);
        st.pos += size;
    }
    if (rc == Res_ok && st.count != 1)
        rc = syntax;
    if (rc == Res_ok) {
        *text = st.fragments[0];
        st.fragments[0] = nullptr;
        st.count = 0;
    }
    (void)textPop(st, st.count);
    Mem_free(st.fragments);
    Mem_free(st.before);
    Mem_free(st.open);
    Mem_free(st.close);
    return rc;
}
