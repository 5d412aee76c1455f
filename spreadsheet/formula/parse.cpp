// The formula text parser: typed formula text into a BIFF8 token string.
//
// The text is validated as UTF-8, upper-cased outside double quotes and
// scanned as 16-bit text with an operator stack (shunting-yard). Operands
// are written at once; binary operators wait on the stack for operators of
// lower precedence; unary plus and minus are written as soon as their
// operand is complete, so they bind tighter than "^". Functions write the
// tokens a BIFF8 file holds for them: the if and goto attributes of IF, the
// sum attribute of a one-argument SUM, the volatile attribute of NOW, and
// token classes by the argument a token stands in. Spaces and line breaks
// are kept as space attributes in front of the token they precede.
#include "spreadsheet/formula/formulatext.h"

#include <cmath>
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/ustr.h"
#include "spreadsheet/errortext.h"
#include "spreadsheet/formula/funcnames.h"
#include "spreadsheet/formula/eval.h"
#include "spreadsheet/formula/ptg.h"

const int32_t Excel_Func_parserIds[32] = {
    74, 57,  62,  58, 11,  59,  56, 60,
    36, 35,  1,   38, 37,  34,  24, 25,
    22, 109, 23,  39, 337, 183, 27, 20,
    4,  345, 197, 5,  346, 7,   6,  static_cast<int32_t>(0x80000000u),
};

namespace {

// The signature classes, and which class each function id has.
constexpr Excel_FuncSignature signatures[13] = {
    {2, 3, 0x65},  // 0 IF
    {1, 30, 0x95}, // 1 SUM AVERAGE MIN MAX AND OR PRODUCT
    {2, 30, 0xA5}, // 2 NPV
    {1, 1, 0xA0},  // 3 SQRT LN LOG10 ABS INT NOT
    {2, 2, 0xA8},  // 4 ROUND POWER
    {0, 0, 0x80},  // 5 TRUE FALSE NOW
    {2, 2, 0xA8},  // 6 MOD
    {3, 5, 0xAA},  // 7 PV FV NPER PMT
    {3, 6, 0xAA},  // 8 RATE
    {1, 2, 0x98},  // 9 IRR
    {1, 2, 0xA8},  // 10 LOG TRUNC
    {2, 3, 0x99},  // 11 SUMIF
    {2, 2, 0x98},  // 12 COUNTIF
};

struct SignatureOf {
    int32_t id;
    uint8_t signature;
};

constexpr SignatureOf signatureOf[31] = {
    {1, 0},  {4, 1},    {5, 1},   {6, 1},    {7, 1},   {11, 2},   {20, 3},   {22, 3},
    {23, 3}, {24, 3},   {25, 3},  {27, 4},   {34, 5},  {35, 5},   {36, 1},   {37, 1},
    {38, 3}, {39, 6},   {56, 7},  {57, 7},   {58, 7},  {59, 7},   {60, 8},   {62, 9},
    {74, 5}, {109, 10}, {183, 1}, {197, 10}, {337, 4}, {345, 11}, {346, 12},
};

constexpr int32_t idIf = 1, idSum = 4, idNow = 74;

enum : uint8_t {
    kindOperator = 0,
    kindFunction = 1,
    kindParen = 2,
    kindIf = 3,
};

enum : int32_t {
    precUnary = -2,
    precMarker = -1,
};

// Spaces and line breaks counted before a token.
struct Blanks {
    uint32_t spaces;
    uint32_t breaks;
};

struct Entry {
    uint8_t kind;
    uint8_t token; // operator token id
    int32_t functionId;
    uint32_t commas; // arguments so far minus one
    int32_t precedence;
    Blanks before;    // before the operator, the function name or "("
    size_t pendingAt; // the if or goto attribute whose offset is open
    uint8_t pending;  // 0 none, 1 if attribute, 2 goto attribute
    uint8_t ownClass; // IF: the class of its own token
};

struct Parser {
    const char16_t *s = nullptr;
    size_t pos = 0;
    const char16_t *names[FuncNames_count] = {};
    size_t nameLength[FuncNames_count] = {};
    Entry *stack = nullptr;
    size_t depth = 0;
    size_t capacity = 0;
    Excel_FormulaTokens *out = nullptr;
    bool afterOperand = false; // an operand is complete
    bool argEmpty = false;     // nothing yet in the current function argument
    bool minusJustPushed = false;
};

constexpr int syntax = Res_formulaSyntax;

bool isDigit(char16_t c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char16_t c)
{
    return c >= 'A' && c <= 'Z';
}

// -------------------------------------------------------------- output

int put(Parser &p, const uint8_t *bytes, size_t n)
{
    Excel_FormulaTokens *o = p.out;
    if (o->length + n > o->capacity) {
        size_t cap = o->length + n + 20;
        uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(o->tokens, cap));
        if (!grown)
            return Res_noMemory;
        o->tokens = grown;
        o->capacity = cap;
    }
    o->lastToken = o->length;
    memcpy(o->tokens + o->length, bytes, n);
    o->length += n;
    return Res_ok;
}

int put1(Parser &p, uint8_t id)
{
    return put(p, &id, 1);
}

int putAttr(Parser &p, uint8_t attr, uint8_t low, uint8_t high)
{
    const uint8_t t[4] = {Excel_ptgAttr, attr, low, high};
    return put(p, t, 4);
}

// Space attributes for blanks before a token: type base (0 an operand or
// operator, 2 "(", 4 ")") for spaces, base + 1 for line breaks.
int putBlanks(Parser &p, const Blanks &b, uint8_t base)
{
    int rc = Res_ok;
    if (b.breaks)
        rc = putAttr(p, Excel_attrSpace, uint8_t(base + 1), uint8_t(b.breaks));
    if (rc == Res_ok && b.spaces)
        rc = putAttr(p, Excel_attrSpace, base, uint8_t(b.spaces));
    return rc;
}

void setU16(Parser &p, size_t at, uint32_t value)
{
    p.out->tokens[at] = uint8_t(value & 0xFF);
    p.out->tokens[at + 1] = uint8_t((value >> 8) & 0xFF);
}

// -------------------------------------------------------------- the stack

int push(Parser &p, const Entry &e)
{
    if (p.depth == p.capacity) {
        size_t cap = p.capacity + 20;
        Entry *grown = static_cast<Entry *>(Mem_realloc(p.stack, cap * sizeof(Entry)));
        if (!grown)
            return Res_noMemory;
        p.stack = grown;
        p.capacity = cap;
    }
    p.stack[p.depth++] = e;
    return Res_ok;
}

Entry *top(Parser &p)
{
    return p.depth ? &p.stack[p.depth - 1] : nullptr;
}

// The innermost function entry, or null at the top level.
const Entry *enclosingFunction(const Parser &p)
{
    for (size_t i = p.depth; i-- > 0;)
        if (p.stack[i].kind == kindFunction || p.stack[i].kind == kindIf)
            return &p.stack[i];
    return nullptr;
}

// The class offset for a reference in the current argument.
uint8_t currentClass(const Parser &p)
{
    const Entry *f = enclosingFunction(p);
    return f ? uint8_t(Excel_Formula_argClass(f->functionId, f->commas)) : 0;
}

int writeOperator(Parser &p, const Entry &e)
{
    int rc = putBlanks(p, e.before, 0);
    return rc ? rc : put1(p, e.token);
}

// Writes stacked operators down to the nearest marker (or every one).
int popOperators(Parser &p, int32_t atLeast)
{
    for (Entry *t = top(p); t && t->kind == kindOperator && t->precedence >= atLeast; t = top(p)) {
        Entry e = *t;
        p.depth--;
        int rc = writeOperator(p, e);
        if (rc)
            return rc;
    }
    return Res_ok;
}

// An operand is complete: the unary operators waiting for it are written.
int operandDone(Parser &p)
{
    for (Entry *t = top(p); t && t->kind == kindOperator && t->precedence == precUnary;
         t = top(p)) {
        Entry e = *t;
        p.depth--;
        int rc = writeOperator(p, e);
        if (rc)
            return rc;
    }
    p.afterOperand = true;
    p.argEmpty = false;
    return Res_ok;
}

// ------------------------------------------------------------ scanning

Blanks scanBlanks(Parser &p)
{
    Blanks b{};
    for (;;) {
        char16_t c = p.s[p.pos];
        if (c == ' ') {
            if (b.spaces < 255)
                b.spaces++;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && p.s[p.pos + 1] == '\n')
                p.pos++;
            if (b.breaks < 255)
                b.breaks++;
        } else {
            return b;
        }
        p.pos++;
    }
}

bool startsWith(const char16_t *s, const char *ascii)
{
    for (; *ascii; ascii++, s++)
        if (*s != char16_t(static_cast<unsigned char>(*ascii)))
            return false;
    return true;
}

// The name-table index of a name at pos followed by "(" (a function), or
// not followed by it (a truth word); -1 when none matches.
int32_t matchName(const Parser &p, bool function)
{
    for (int32_t i = 0; i < FuncNames_count; i++) {
        size_t n = p.nameLength[i];
        size_t k = 0;
        while (k < n && p.s[p.pos + k] == p.names[i][k])
            k++;
        if (!n || k < n)
            continue;
        if ((p.s[p.pos + n] == '(') == function)
            return i;
    }
    return -1;
}

int number(Parser &p, const Blanks &blanks)
{
    size_t start = p.pos;
    uint32_t digits = 0;
    bool dot = false;
    for (;; p.pos++) {
        char16_t c = p.s[p.pos];
        if (isDigit(c))
            digits++;
        else if (c == '.' && !dot)
            dot = true;
        else
            break;
    }
    if (!digits)
        return syntax;
    if (p.s[p.pos] == 'E') {
        p.pos++;
        if (p.s[p.pos] == '+' || p.s[p.pos] == '-')
            p.pos++;
        if (!isDigit(p.s[p.pos]))
            return syntax;
        while (isDigit(p.s[p.pos]))
            p.pos++;
    }
    char text[Excel_formulaMaxText + 1];
    size_t n = p.pos - start;
    if (n > Excel_formulaMaxText)
        return syntax;
    for (size_t i = 0; i < n; i++)
        text[i] = char(p.s[start + i]);
    text[n] = 0;
    double value = Excel_Formula_readNumber(text);
    int rc = Res_ok;
    // A minus sign right in front of the number becomes part of its value.
    Entry *t = top(p);
    if (p.minusJustPushed && !blanks.spaces && !blanks.breaks && t && t->kind == kindOperator &&
        t->token == 0x13) {
        Blanks before = t->before;
        p.depth--;
        value = -value;
        rc = putBlanks(p, before, 0);
    }
    if (rc == Res_ok)
        rc = putBlanks(p, blanks, 0);
    if (rc)
        return rc;
    if (!std::isfinite(value))
        return syntax;
    // Checked before the conversion: out of range it would be undefined.
    if (value >= 0.0 && value <= 65535.0 && value == std::floor(value)) {
        uint32_t v = static_cast<uint32_t>(value);
        const uint8_t t3[3] = {Excel_ptgInt, uint8_t(v & 0xFF), uint8_t(v >> 8)};
        rc = put(p, t3, 3);
    } else {
        uint64_t bits;
        memcpy(&bits, &value, sizeof bits);
        uint8_t t9[9] = {Excel_ptgNum};
        for (int i = 0; i < 8; i++)
            t9[1 + i] = uint8_t(bits >> (8 * i));
        rc = put(p, t9, 9);
    }
    return rc ? rc : operandDone(p);
}

int string(Parser &p, const Blanks &blanks)
{
    size_t start = ++p.pos;
    while (p.s[p.pos] && p.s[p.pos] != '"')
        p.pos++;
    if (p.s[p.pos] != '"')
        return syntax;
    size_t n = p.pos - start;
    p.pos++;
    // The count byte holds at most 255 characters.
    if (n > Excel_formulaMaxString)
        return syntax;
    bool wide = false;
    for (size_t i = 0; i < n; i++)
        if (p.s[start + i] > 0xFF)
            wide = true;
    uint8_t body[3 + 2 * Excel_formulaMaxString];
    body[0] = Excel_ptgStr;
    body[1] = uint8_t(n);
    body[2] = wide ? 1 : 0;
    size_t k = 3;
    for (size_t i = 0; i < n; i++) {
        char16_t c = p.s[start + i];
        body[k++] = uint8_t(c & 0xFF);
        if (wide)
            body[k++] = uint8_t(c >> 8);
    }
    int rc = putBlanks(p, blanks, 0);
    if (rc == Res_ok)
        rc = put(p, body, k);
    return rc ? rc : operandDone(p);
}

// One end of a reference: "$"? letters{0,2} "$"? digits*.
struct RefEnd {
    bool hasColumn, hasRow;
    bool columnAbsolute, rowAbsolute;
    uint32_t column, row; // row 0-based
};

int refEnd(Parser &p, RefEnd *e)
{
    *e = RefEnd{};
    bool dollar = false;
    if (p.s[p.pos] == '$') {
        dollar = true;
        p.pos++;
    }
    uint32_t letters = 0;
    char16_t first = 0, second = 0;
    while (isLetter(p.s[p.pos])) {
        if (++letters > 2)
            return syntax;
        (letters == 1 ? first : second) = p.s[p.pos++];
    }
    if (letters) {
        e->hasColumn = true;
        e->columnAbsolute = dollar;
        if (letters == 1) {
            e->column = uint32_t(first - 'A');
        } else {
            if (first > 'I' || (first == 'I' && second > 'V'))
                return syntax;
            e->column = uint32_t(first - 'A' + 1) * 26 + uint32_t(second - 'A');
        }
        if (p.s[p.pos] == '$') {
            e->rowAbsolute = true;
            p.pos++;
        }
    } else {
        e->rowAbsolute = dollar;
    }
    if (isDigit(p.s[p.pos])) {
        uint32_t row = 0;
        while (isDigit(p.s[p.pos])) {
            row = row * 10 + uint32_t(p.s[p.pos++] - '0');
            if (row > 65536)
                return syntax;
        }
        if (row < 1)
            return syntax;
        e->hasRow = true;
        e->row = row - 1;
    } else if (e->rowAbsolute) {
        return syntax; // a "$" without a row
    }
    return e->hasColumn || e->hasRow ? Res_ok : syntax;
}

uint16_t columnWord(uint32_t column, bool columnAbsolute, bool rowAbsolute)
{
    return uint16_t(column | (columnAbsolute ? 0 : 0x4000) | (rowAbsolute ? 0 : 0x8000));
}

int reference(Parser &p, const Blanks &blanks)
{
    RefEnd a, b;
    int rc = refEnd(p, &a);
    if (rc)
        return rc;
    uint8_t cls = currentClass(p);
    if (p.s[p.pos] != ':') {
        if (!a.hasColumn || !a.hasRow)
            return syntax;
        const uint8_t t[5] = {uint8_t(Excel_ptgRef + cls), uint8_t(a.row & 0xFF),
                              uint8_t(a.row >> 8),
                              uint8_t(columnWord(a.column, a.columnAbsolute, a.rowAbsolute) & 0xFF),
                              uint8_t(columnWord(a.column, a.columnAbsolute, a.rowAbsolute) >> 8)};
        rc = putBlanks(p, blanks, 0);
        if (rc == Res_ok)
            rc = put(p, t, 5);
        return rc ? rc : operandDone(p);
    }
    p.pos++;
    rc = refEnd(p, &b);
    if (rc)
        return rc;
    if (a.hasColumn != b.hasColumn || a.hasRow != b.hasRow)
        return syntax;
    if (!a.hasRow) { // whole columns
        a.row = 0;
        b.row = 65535;
    }
    if (!a.hasColumn) { // whole rows
        a.column = 0;
        b.column = 255;
    }
    if (a.row > b.row) {
        uint32_t r = a.row;
        a.row = b.row;
        b.row = r;
        bool f = a.rowAbsolute;
        a.rowAbsolute = b.rowAbsolute;
        b.rowAbsolute = f;
    }
    if (a.column > b.column) {
        uint32_t c = a.column;
        a.column = b.column;
        b.column = c;
        bool f = a.columnAbsolute;
        a.columnAbsolute = b.columnAbsolute;
        b.columnAbsolute = f;
    }
    uint16_t w1 = columnWord(a.column, a.columnAbsolute, a.rowAbsolute);
    uint16_t w2 = columnWord(b.column, b.columnAbsolute, b.rowAbsolute);
    const uint8_t t[9] = {uint8_t(Excel_ptgArea + cls),
                          uint8_t(a.row & 0xFF),
                          uint8_t(a.row >> 8),
                          uint8_t(b.row & 0xFF),
                          uint8_t(b.row >> 8),
                          uint8_t(w1 & 0xFF),
                          uint8_t(w1 >> 8),
                          uint8_t(w2 & 0xFF),
                          uint8_t(w2 >> 8)};
    rc = putBlanks(p, blanks, 0);
    if (rc == Res_ok)
        rc = put(p, t, 9);
    return rc ? rc : operandDone(p);
}

int refError(Parser &p, const Blanks &blanks)
{
    const char *text = Excel_errorText(23);
    if (!startsWith(p.s + p.pos, text))
        return syntax;
    p.pos += strlen(text);
    const uint8_t t[5] = {Excel_ptgRefErr, 0, 0, 0, 0};
    int rc = putBlanks(p, blanks, 0);
    if (rc == Res_ok)
        rc = put(p, t, 5);
    return rc ? rc : operandDone(p);
}

int functionStart(Parser &p, int32_t index, const Blanks &blanks)
{
    int32_t id = Excel_Func_idAt(index);
    Entry e{};
    e.kind = id == idIf ? kindIf : kindFunction;
    e.functionId = id;
    e.precedence = precMarker;
    e.before = blanks;
    if (id == idIf) {
        const Entry *f = enclosingFunction(p);
        e.ownClass = uint8_t(0x22 + (f ? Excel_Formula_argClass(f->functionId, f->commas) : 0x20));
    }
    int32_t format = Excel_Func_resultFormat(uint32_t(id));
    if (format != -1)
        p.out->format = format;
    p.pos += p.nameLength[index] + 1;
    int rc = push(p, e);
    p.afterOperand = false;
    p.argEmpty = true;
    return rc;
}

// Writes the tokens of a completed function call of count arguments.
int functionEnd(Parser &p, const Entry &f, uint32_t count, const Blanks &closing)
{
    const Excel_FuncSignature *sig = Excel_Func_signature(f.functionId);
    if (!sig || int32_t(count) < sig->minArgs || int32_t(count) > sig->maxArgs)
        return syntax;
    int rc = putBlanks(p, f.before, 0);
    if (rc == Res_ok)
        rc = putBlanks(p, closing, 4);
    if (rc)
        return rc;
    uint32_t id = uint32_t(f.functionId);
    if (f.kind == kindIf) {
        size_t end = p.out->length;
        if (f.pending == 1)
            setU16(p, f.pendingAt + 2, uint32_t(end - f.pendingAt));
        else if (f.pending == 2)
            setU16(p, f.pendingAt + 2, uint32_t(end - f.pendingAt + 3));
        rc = putAttr(p, Excel_attrGoto, 3, 0);
        const uint8_t t[4] = {f.ownClass, uint8_t(count), uint8_t(id & 0xFF), uint8_t(id >> 8)};
        return rc ? rc : put(p, t, 4);
    }
    if (f.functionId == idSum && count == 1)
        return putAttr(p, Excel_attrSum, 0, 0);
    if (f.functionId == idNow) {
        rc = putAttr(p, Excel_attrVolatile, 0, 0);
        p.out->isVolatile = 1;
        if (rc)
            return rc;
    }
    if (sig->minArgs == sig->maxArgs) {
        const uint8_t t[3] = {0x41, uint8_t(id & 0xFF), uint8_t(id >> 8)};
        return put(p, t, 3);
    }
    const uint8_t t[4] = {0x42, uint8_t(count), uint8_t(id & 0xFF), uint8_t(id >> 8)};
    return put(p, t, 4);
}

int closeParen(Parser &p, const Blanks &blanks)
{
    int rc = popOperators(p, precMarker + 1);
    if (rc)
        return rc;
    Entry *t = top(p);
    if (!t || t->kind == kindOperator)
        return syntax;
    Entry e = *t;
    if (e.kind == kindParen) {
        if (!p.afterOperand)
            return syntax;
        p.depth--;
        rc = putBlanks(p, e.before, 2);
        if (rc == Res_ok)
            rc = putBlanks(p, blanks, 4);
        if (rc == Res_ok)
            rc = put1(p, 0x15);
    } else {
        if (!p.afterOperand && !p.argEmpty)
            return syntax;
        uint32_t count = 0;
        if (!(p.argEmpty && e.commas == 0)) {
            if (p.argEmpty)
                rc = put1(p, 0x16);
            count = e.commas + 1;
        }
        p.depth--;
        if (rc == Res_ok)
            rc = functionEnd(p, e, count, blanks);
    }
    p.pos++;
    return rc ? rc : operandDone(p);
}

int comma(Parser &p)
{
    int rc = popOperators(p, precMarker + 1);
    if (rc)
        return rc;
    Entry *f = top(p);
    if (!f || (f->kind != kindFunction && f->kind != kindIf))
        return syntax;
    const Excel_FuncSignature *sig = Excel_Func_signature(f->functionId);
    if (!sig || int32_t(f->commas) + 2 > sig->maxArgs)
        return syntax;
    if (p.argEmpty && (rc = put1(p, 0x16)) != Res_ok)
        return rc;
    if (f->kind == kindIf) {
        if (f->commas == 1) {
            setU16(p, f->pendingAt + 2, uint32_t(p.out->length - f->pendingAt));
            f->pendingAt = p.out->length;
            f->pending = 2;
            rc = putAttr(p, Excel_attrGoto, 0, 0);
        } else {
            f->pendingAt = p.out->length;
            f->pending = 1;
            rc = putAttr(p, Excel_attrIf, 0, 0);
        }
    }
    f->commas++;
    p.pos++;
    p.afterOperand = false;
    p.argEmpty = true;
    return rc;
}

struct Operator {
    const char *text;
    uint8_t token;
    int32_t precedence;
};

constexpr Operator binaryOperators[] = {
    {"<=", 0x0A, 5}, {"<>", 0x0E, 5}, {">=", 0x0C, 5}, {"+", 0x03, 6},
    {"-", 0x04, 6},  {"*", 0x05, 8},  {"/", 0x06, 8},  {"^", 0x07, 9},
    {"<", 0x09, 5},  {"=", 0x0B, 5},  {">", 0x0D, 5},
};

int binary(Parser &p, const Blanks &blanks)
{
    const Operator *op = nullptr;
    for (const Operator &o : binaryOperators)
        if (startsWith(p.s + p.pos, o.text)) {
            op = &o;
            break;
        }
    if (!op)
        return syntax;
    p.pos += strlen(op->text);
    // A reference that an operator works on is read as a value.
    Excel_FormulaTokens *o = p.out;
    if (o->length &&
        (o->tokens[o->lastToken] == Excel_ptgRef || o->tokens[o->lastToken] == Excel_ptgArea))
        o->tokens[o->lastToken] = uint8_t(o->tokens[o->lastToken] + 0x20);
    int rc = popOperators(p, op->precedence);
    if (rc)
        return rc;
    Entry e{};
    e.kind = kindOperator;
    e.token = op->token;
    e.precedence = op->precedence;
    e.before = blanks;
    p.afterOperand = false;
    p.argEmpty = false;
    return push(p, e);
}

// One step of the scan at a non-blank character.
int step(Parser &p, const Blanks &blanks)
{
    char16_t c = p.s[p.pos];
    bool minus = false;
    int rc = syntax;
    if (c == ')') {
        rc = closeParen(p, blanks);
    } else if (c == ',') {
        rc = p.afterOperand || p.argEmpty ? comma(p) : syntax;
    } else if (p.afterOperand) {
        if (c == '%') {
            p.pos++;
            rc = putBlanks(p, blanks, 0);
            if (rc == Res_ok)
                rc = put1(p, 0x14);
        } else {
            rc = binary(p, blanks);
        }
    } else if (c == '+' || c == '-') {
        Entry e{};
        e.kind = kindOperator;
        e.token = c == '+' ? 0x12 : 0x13;
        e.precedence = precUnary;
        e.before = blanks;
        p.pos++;
        p.argEmpty = false;
        minus = c == '-';
        rc = push(p, e);
    } else if (c == '(') {
        Entry e{};
        e.kind = kindParen;
        e.precedence = precMarker;
        e.before = blanks;
        p.pos++;
        p.argEmpty = false;
        rc = push(p, e);
    } else if (c == '"') {
        rc = string(p, blanks);
    } else if (c == '#') {
        rc = refError(p, blanks);
    } else if (isDigit(c) || c == '.') {
        // Digits then ":" start a range of whole rows.
        size_t q = p.pos;
        while (isDigit(p.s[q]))
            q++;
        rc = p.s[q] == ':' && q > p.pos ? reference(p, blanks) : number(p, blanks);
    } else {
        int32_t index = matchName(p, true);
        if (index >= 0) {
            rc = functionStart(p, index, blanks);
        } else if ((index = matchName(p, false)) == FuncNames_trueIndex ||
                   index == FuncNames_falseIndex) {
            p.pos += p.nameLength[index];
            const uint8_t t[2] = {Excel_ptgBool, uint8_t(index == FuncNames_trueIndex ? 1 : 0)};
            rc = putBlanks(p, blanks, 0);
            if (rc == Res_ok)
                rc = put(p, t, 2);
            if (rc == Res_ok)
                rc = operandDone(p);
        } else if (c == '$' || isLetter(c)) {
            rc = reference(p, blanks);
        }
    }
    p.minusJustPushed = minus;
    return rc;
}

int finish(Parser &p)
{
    if (!p.afterOperand)
        return syntax;
    int rc = popOperators(p, precUnary);
    if (rc)
        return rc;
    return p.depth ? syntax : Res_ok;
}

// A new 16-bit copy of UTF-8 text; null when out of memory. *valid says
// whether the text was sound UTF-8 (it encodes back to the same bytes).
char16_t *decode(const char *text, bool *valid)
{
    size_t units = Utf8_charCount(text);
    char16_t *wide = static_cast<char16_t *>(Mem_malloc(units * sizeof(char16_t)));
    if (!wide)
        return nullptr;
    Utf8_toUstr(wide, text);
    size_t bytes = 0;
    Ustr_utf8Len(wide, &bytes, nullptr);
    *valid = false;
    if (bytes == strlen(text) + 1) {
        char *back = static_cast<char *>(Mem_malloc(bytes));
        if (!back) {
            Mem_free(wide);
            return nullptr;
        }
        Ustr_toUtf8(back, wide);
        *valid = strcmp(back, text) == 0;
        Mem_free(back);
    }
    return wide;
}

// Upper-cases the text outside double quotes.
void upperOutsideQuotes(char16_t *s, bool respectQuotes)
{
    bool inside = false;
    for (; *s; s++) {
        if (*s == '"' && respectQuotes)
            inside = !inside;
        else if (!inside)
            *s = char16_t(Ustr_upperChar(*s));
    }
}

// The names as upper-cased 16-bit text, all in one block (*block).
int loadNames(Parser &p, EngineContext *context, char16_t **block)
{
    const FuncNames *table =
        context ? static_cast<const FuncNames *>(context->sheetFunctionNames) : nullptr;
    const char *const *names = table ? table->names : FuncNames_defaults;
    size_t total = 0;
    for (int i = 0; i < FuncNames_count; i++)
        total += names[i] ? Utf8_charCount(names[i]) : 1;
    char16_t *all = static_cast<char16_t *>(Mem_malloc(total * sizeof(char16_t)));
    if (!all)
        return Res_noMemory;
    char16_t *at = all;
    for (int i = 0; i < FuncNames_count; i++) {
        p.names[i] = at;
        if (names[i]) {
            char16_t *end = Utf8_toUstr(at, names[i]);
            upperOutsideQuotes(at, false);
            p.nameLength[i] = size_t(end - at) - 1;
            at = end;
        } else {
            *at++ = 0;
        }
    }
    *block = all;
    return Res_ok;
}

} // namespace

// ------------------------------------------------------------ functions

const Excel_FuncSignature *Excel_Func_signature(int32_t functionId)
{
    for (const SignatureOf &s : signatureOf)
        if (s.id == functionId)
            return &signatures[s.signature];
    return nullptr;
}

int32_t Excel_Func_nameIndex(int32_t functionId)
{
    for (int32_t i = 0; Excel_Func_parserIds[i] != static_cast<int32_t>(0x80000000u); i++)
        if (Excel_Func_parserIds[i] == functionId)
            return i;
    return -1;
}

int32_t Excel_Func_idAt(int32_t index)
{
    return index >= 0 && index < FuncNames_count ? Excel_Func_parserIds[index] : -1;
}

uint32_t Excel_Formula_argClass(int32_t functionId, uint32_t argument)
{
    const Excel_FuncSignature *sig = Excel_Func_signature(functionId);
    if (!sig)
        return 0x00;
    uint32_t shift = argument == 0 ? 4 : argument == 1 ? 2 : 0;
    uint32_t cls = (sig->classBits >> shift) & 3;
    return cls == 2 ? 0x20 : cls == 3 ? 0x40 : 0x00;
}

double Excel_Formula_readNumber(const char *text)
{
    if (!text)
        return 0.0;
    const char *p = text;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        p++;
    // Up to 19 significant digits are exact in 64 bits; further ones only
    // move the decimal exponent.
    uint64_t mantissa = 0;
    int32_t digits = 0, exponent = 0;
    bool dot = false;
    for (;; p++) {
        if (*p == '.' && !dot) {
            dot = true;
            continue;
        }
        if (*p < '0' || *p > '9')
            break;
        uint32_t d = uint32_t(*p - '0');
        if (digits < 19) {
            if (mantissa || d) {
                mantissa = mantissa * 10 + d;
                digits++;
            }
            if (dot)
                exponent--;
        } else if (!dot) {
            exponent++;
        }
    }
    if (*p == 'e' || *p == 'E') {
        p++;
        bool minus = *p == '-';
        if (*p == '-' || *p == '+')
            p++;
        int32_t e = 0;
        for (; *p >= '0' && *p <= '9'; p++)
            if (e < 100000)
                e = e * 10 + (*p - '0');
        exponent += minus ? -e : e;
    }
    if (!mantissa)
        return negative ? -0.0 : 0.0;
    // Powers of ten up to 10^27 are exact in the wider type, so most
    // conversions round once.
    long double v = static_cast<long double>(mantissa);
    if (exponent > 0)
        v *= powl(10.0L, exponent);
    else if (exponent < 0)
        v /= powl(10.0L, -exponent);
    double result = static_cast<double>(v);
    return negative ? -result : result;
}

// ------------------------------------------------------------ the parser

void Excel_FormulaTokens_free(Excel_FormulaTokens *tokens)
{
    if (!tokens)
        return;
    Mem_free(tokens->tokens);
    *tokens = Excel_FormulaTokens{};
    tokens->format = -1;
}

int Excel_Formula_parseText(const Excel_FormulaSource *source, Excel_FormulaTokens *out)
{
    if (!out)
        return Res_missingArgument;
    *out = Excel_FormulaTokens{};
    out->format = -1;
    if (!source || !source->text)
        return Res_missingArgument;
    if (strlen(source->text) > Excel_formulaMaxText)
        return syntax;
    bool valid = false;
    char16_t *text = decode(source->text, &valid);
    if (!text)
        return Res_noMemory;
    Parser p;
    p.out = out;
    char16_t *names = nullptr;
    int rc = valid ? loadNames(p, source->context, &names) : syntax;
    if (rc == Res_ok) {
        upperOutsideQuotes(text, true);
        p.s = text;
        for (;;) {
            Blanks blanks = scanBlanks(p);
            if (!p.s[p.pos]) {
                rc = finish(p);
                break;
            }
            rc = step(p, blanks);
            if (rc)
                break;
        }
    }
    Mem_free(p.stack);
    Mem_free(names);
    Mem_free(text);
    if (rc != Res_ok)
        Excel_FormulaTokens_free(out);
    return rc;
}
