// CFF tables and the Type 2 interpreter: INDEX and DICT reading (reals,
// operator sets, errors), charset, Encoding and FDSelect, a CID-keyed
// program, the URW NimbusSans glyphs against a committed decode, and the
// interpreter's width rule, hint masks, subroutine biases, accents and
// errors.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/programs/cff.h"
#include "graphics/glyphpath.h"
#include "pdf/resources/pdfstream.h"
#include "tests/support/heap_fixture.h"

namespace {

using CffTest = LeakCheckedHeapTest<>;

std::string readHostFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Mem {
    std::string bytes;
    ByteStream *s = nullptr;
    explicit Mem(std::string b) : bytes(std::move(b))
    {
        EXPECT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(bytes.data()),
                                        bytes.size(), &s),
                  0);
    }
    ~Mem()
    {
        (void)ByteStream_close(s);
    }
};

std::string n5(int32_t v)
{
    std::string s = "\x1d";
    for (int i = 3; i >= 0; i--)
        s += static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
    return s;
}

TEST_F(CffTest, Index)
{
    {
        Mem m(std::string("\0\0", 2));
        CffIndex x;
        Cff_indexInit(&x, m.s, 0, 2);
        ASSERT_EQ(Cff_indexOpen(&x), 0);
        EXPECT_EQ(Cff_indexCount(&x), 0u);
        EXPECT_EQ(Cff_indexEnd(&x), 2u);
        uint64_t a, b;
        EXPECT_EQ(Cff_indexEntryRange(&x, 0, &a, &b), Cff_indexBadEntryNumber);
    }
    struct Case {
        const char *name;
        std::string bytes;
        int open;
        int entry1; // the range of entry 1
    } cases[] = {
        {"two entries", std::string("\0\x02\x01\x01\x03\x04xyz", 9), 0, 0},
        {"empty second entry", std::string("\0\x02\x01\x01\x03\x03xy", 8), 0, Cff_indexBadEntry},
        {"reversed offsets", std::string("\0\x02\x01\x01\x04\x03xyz", 9), 0, Cff_indexBadEntry},
        {"offSize 5", std::string("\0\x01\x05\0\0\0\0\x01", 8), Cff_indexBadOffSize, 0},
        {"offSize 0", std::string("\0\x01\x00", 3), Cff_indexBadOffSize, 0},
        {"beyond the limit", std::string("\0\x01\x01\x01\x09xy", 7), Cff_indexBeyondLimit, 0},
        {"cut header", std::string("\0", 1), Cff_indexBeyondLimit, 0},
    };
    for (const Case &c : cases) {
        Mem m(c.bytes);
        CffIndex x;
        Cff_indexInit(&x, m.s, 0, c.bytes.size());
        EXPECT_EQ(Cff_indexOpen(&x), c.open) << c.name;
        if (c.open)
            continue;
        uint64_t a = 0, b = 0;
        EXPECT_EQ(Cff_indexEntryRange(&x, 1, &a, &b), c.entry1) << c.name;
        if (!c.entry1) {
            EXPECT_EQ(a, 8u);
            EXPECT_EQ(b, 9u);
        }
    }
}

// A dict whose handler keeps the first operand it is given.
struct RealDict {
    CffDict dict;
    CffOperand seen;
    int calls;
};

int keepFirstOperand(CffDict *dict)
{
    RealDict *r = reinterpret_cast<RealDict *>(dict);
    r->seen = dict->operands[0];
    r->calls++;
    return 0;
}

// A real operand (30, then its nibbles) before operator 0.
TEST_F(CffTest, Reals)
{
    struct Case {
        std::string nibbles;
        int rc;
        float value;
    } cases[] = {
        {"\xe2\xa5\xc1\xff", 0, -0.25f},
        {"\x1f", 0, 1.0f},
        {std::string("\x0a\x00\x1f", 3), 0, 0.001f},
        {"\x1b\x2f", 0, 100.0f},
        {"\x2a\x5f", 0, 2.5f},
        {"\x1a\x2a\xff", Cff_badReal, 0}, // two points
        {"\x1e\xff", Cff_badReal, 0},     // minus after a digit
        {"\x1b\x1b\x1f", Cff_badReal, 0}, // two exponents
        {"\xf1", Cff_badReal, 0},         // a digit after the end
        {"\x12", Cff_dictTruncated, 0},   // no end
    };
    for (const Case &c : cases) {
        Mem m("\x1e" + c.nibbles + std::string(1, '\0'));
        RealDict r{};
        r.dict.stream = m.s;
        r.dict.end = m.bytes.size();
        r.dict.handler = keepFirstOperand;
        EXPECT_EQ(CffDict_parse(&r.dict), c.rc);
        if (!c.rc) {
            ASSERT_EQ(r.calls, 1);
            EXPECT_EQ(r.seen.kind, 1u);
            EXPECT_FLOAT_EQ(r.seen.value.f, c.value);
        }
    }
}

// A Top DICT over bytes (a Private DICT may follow at an offset).
int loadTop(const std::string &bytes, size_t topLength, CffTopDict **out)
{
    static_cast<void>(0);
    Mem *m = new Mem(bytes);
    int rc = CffTopDict_create(m->s, 0, topLength, out);
    if (!rc)
        rc = CffTopDict_load(*out);
    CffTopDict_destroy(*out);
    *out = nullptr;
    delete m;
    return rc;
}

TEST_F(CffTest, DictOperators)
{
    std::string blue = std::string("\x8b\x8c\x06", 3);
    std::string priv = blue + "\xf8\xec\x14"; // BlueValues, defaultWidthX 600
    std::string top = n5(static_cast<int32_t>(priv.size())) + n5(12) + "\x12";
    ASSERT_EQ(top.size(), 11u);
    struct Case {
        const char *name;
        std::string bytes;
        size_t topLength;
        int rc;
    } cases[] = {
        {"BlueValues in a Top DICT", blue, 3, Cff_dictBadTopOperator},
        {"BlueValues in a Private DICT", top + "\x8b" + priv, 11, 0},
        {"Private operator 19 without operand", top + "\x8b" + "\x13" + priv.substr(1), 11,
         Cff_dictBadOperands},
        {"bad Private operator", top + "\x8b" + std::string("\x8b\x0c\x25", 3), 11,
         Cff_dictBadPrivateOperator},
        {"49 operands", std::string(49, '\x8b') + '\0', 50, Cff_dictTooManyOperands},
        {"48 operands", std::string(48, '\x8b') + '\0', 49, 0},
        {"cut operand", "\x1c\x01", 2, Cff_dictTruncated},
        {"cut escape", "\x0c", 1, Cff_dictTruncated},
        {"charset without operand", "\x0f", 1, Cff_dictBadOperands},
        {"ROS with two operands", "\x8b\x8b\x0c\x1e", 4, Cff_dictBadOperands},
        {"unknown escape", "\x0c\x27", 2, Cff_dictBadTopOperator},
        {"ignored escapes", std::string("\x8b\x0c\x00\x8b\x0c\x08\x8b\x0c\x26", 9), 9, 0},
    };
    for (const Case &c : cases) {
        CffTopDict *t = nullptr;
        EXPECT_EQ(loadTop(c.bytes, c.topLength, &t), c.rc) << c.name;
    }
}

TEST_F(CffTest, FontMatrixUnits)
{
    const std::string milli = std::string("\x1e\x0a\x00\x1f", 4),
                      half = std::string("\x1e\x0a\x00\x05\xff", 5);
    struct Case {
        std::string operands;
        uint16_t units;
        float a;
    } cases[] = {
        {milli + "\x8b\x8b" + milli + "\x8b\x8b", 1000, 1.0f},
        {half + "\x8b\x8b" + half + "\x8b\x8b", 2000, 1.0f},
        {std::string("\x8d\x8b\x8b\x8d\x8b\x8b"), 1000, 1.0f}, // 2: the reciprocal is below 1
        {milli + "\x8b\x8b" + milli + "\x8b", 1000, 1.0f},     // 5 operands
    };
    for (const Case &c : cases) {
        Mem m(c.operands + "\x0c\x07");
        CffTopDict *t = nullptr;
        ASSERT_EQ(CffTopDict_create(m.s, 0, m.bytes.size(), &t), 0);
        EXPECT_EQ(CffTopDict_load(t), 0);
        EXPECT_EQ(CffTopDict_units(t), c.units);
        EXPECT_FLOAT_EQ(CffTopDict_matrix(t)[0], c.a);
        CffTopDict_setUnits(t, 2048);
        EXPECT_EQ(CffTopDict_units(t), 2048);
        EXPECT_NEAR(CffTopDict_matrix(t)[0], c.a * 2048.0f / c.units, 1e-4);
        CffTopDict_destroy(t);
    }
}

TEST_F(CffTest, CharsetEncodingFdSelect)
{
    // Charset format 1 at 0: glyphs 1.. get 10, 11, 12; format 2 at 4.
    CffCharset c{};
    Mem m1(std::string("...\x03", 4));
    ASSERT_EQ(CffCharset_read(&c, m1.s, 3, 4), Cff_charsetBadFormat);
    Mem m2(std::string("...\x01\x00\x0a\x02", 7));
    ASSERT_EQ(CffCharset_read(&c, m2.s, 3, 4), 0);
    uint16_t sid = 0;
    EXPECT_EQ(CffCharset_get(&c, 3, &sid), 0);
    EXPECT_EQ(sid, 12);
    EXPECT_EQ(CffCharset_get(&c, 4, &sid), Cff_charsetBeyondGlyphs);
    ASSERT_EQ(CffCharset_read(&c, m2.s, 1, 3), 0); // Expert
    EXPECT_EQ(CffCharset_get(&c, 1, &sid), 0);
    EXPECT_EQ(sid, 1);
    Mem cut(std::string("...\x00\x00", 5));
    EXPECT_EQ(CffCharset_read(&c, cut.s, 3, 4), Cff_charsetUnreadable);
    Mem_free(c.sids);

    CffEncoding e{};
    Mem enc(std::string("...\x00\x02\x41\x42", 7));
    ASSERT_EQ(CffEncoding_read(&e, enc.s, 3, 3), 0);
    EXPECT_EQ(e.codes[1], 0x41);
    EXPECT_EQ(e.codes[2], 0x42);
    EXPECT_EQ(CffEncoding_read(&e, enc.s, 3, 2), Cff_encodingTooManyCodes);
    Mem enc1(std::string("...\x81\x01\x41\x01", 7)); // format 1 with the supplement bit
    ASSERT_EQ(CffEncoding_read(&e, enc1.s, 3, 3), 0);
    EXPECT_EQ(e.codes[2], 0x42);
    EXPECT_EQ(CffEncoding_read(&e, enc1.s, 3, 2), Cff_encodingTooManyCodes);
    Mem enc2(std::string("...\x02", 4));
    EXPECT_EQ(CffEncoding_read(&e, enc2.s, 3, 2), Cff_encodingBadFormat);
    Mem_free(e.codes);

    CffFdSelect f{};
    std::string fd3 = std::string("...\x03\x00\x02\x00\x00\x00\x00\x02\x01\x00\x04", 14);
    Mem sel(fd3);
    ASSERT_EQ(CffFdSelect_read(&f, sel.s, 3, 4), 0);
    uint8_t fd = 9;
    EXPECT_EQ(CffFdSelect_get(&f, 3, &fd), 0);
    EXPECT_EQ(fd, 1);
    EXPECT_EQ(CffFdSelect_get(&f, 4, &fd), Cff_fdBeyondGlyphs);
    EXPECT_EQ(CffFdSelect_read(&f, sel.s, 3, 5), Cff_fdSelectInconsistent); // one glyph short
    Mem sel0(std::string("...\x00\x01\x00\x01", 7));
    ASSERT_EQ(CffFdSelect_read(&f, sel0.s, 3, 3), 0);
    EXPECT_EQ(f.fds[2], 1);
    Mem sel2(std::string("...\x02", 4));
    EXPECT_EQ(CffFdSelect_read(&f, sel2.s, 3, 3), Cff_fdSelectBadFormat);
    Mem_free(f.fds);
}

// ------------------------------------------------------------ Type 2

struct Op {
    char code;
    std::vector<int32_t> v; // absolute points
    bool operator==(const Op &o) const
    {
        return code == o.code && v == o.v;
    }
};

std::vector<Op> absolute(const GlyphPath *o, std::vector<int16_t> *header = nullptr)
{
    std::vector<Op> out;
    if (!o->bytes)
        return out;
    const uint8_t *p = o->bytes;
    const uint8_t *end = o->bytes + o->lastStart + o->lastSize;
    int32_t x = 0, y = 0;
    while (p < end) {
        int code = *p & 15;
        bool wide = *p & 16;
        if (code == GlyphCode_header) {
            if (header)
                for (int i = 0; i < 4; i++)
                    header->push_back(static_cast<int16_t>(p[1 + 2 * i] | p[2 + 2 * i] << 8));
        } else if (code <= GlyphCode_curveTo) {
            int n = code == GlyphCode_curveTo ? 3 : 1;
            Op op{"MLC" [code], {}};
            const uint8_t *q = p + 1;
            for (int i = 0; i < n; i++) {
                int32_t d[2];
                for (int k = 0; k < 2; k++) {
                    if (wide) {
                        d[k] = static_cast<int16_t>(q[0] | q[1] << 8);
                        q += 2;
                    } else {
                        d[k] = static_cast<int8_t>(*q++);
                    }
                }
                x += d[0];
                y += d[1];
                op.v.push_back(x);
                op.v.push_back(y);
            }
            out.push_back(op);
        }
        const uint8_t *next = GlyphPath_nextOp(p);
        if (next == p)
            break;
        p = next;
    }
    return out;
}

struct T2 {
    int rc;
    int32_t adv;
    std::vector<Op> ops;
    std::vector<int16_t> header;
};

T2 run2(const std::string &cs, Type2Context ctx)
{
    GlyphPath *o = nullptr;
    EXPECT_EQ(GlyphPath_create(&o, GlyphPath_kindCodes), 0);
    T2 r{};
    int32_t sb = 7;
    r.rc = Type2_buildGlyph(nullptr, o, reinterpret_cast<const uint8_t *>(cs.data()),
                            static_cast<uint32_t>(cs.size()), &ctx, &sb, &r.adv);
    EXPECT_EQ(sb, 0);
    r.ops = absolute(o, &r.header);
    GlyphPath_destroy(o);
    return r;
}

Type2Context plainContext()
{
    Type2Context c{};
    c.defaultWidthX = 500;
    c.nominalWidthX = 100;
    c.matrix[0] = c.matrix[3] = 1.0f;
    return c;
}

std::string num(int32_t v)
{
    if (v >= -107 && v <= 107)
        return std::string(1, static_cast<char>(v + 139));
    std::string s = "\x1c";
    s += static_cast<char>(v >> 8);
    s += static_cast<char>(v & 255);
    return s;
}

TEST_F(CffTest, Type2WidthRule)
{
    struct Case {
        const char *name;
        std::string cs;
        int32_t adv;
    } cases[] = {
        {"rmoveto with three", num(40) + num(1) + num(2) + "\x15\x0e", 140},
        {"rmoveto with two", num(1) + num(2) + "\x15\x0e", 500},
        {"hmoveto with two", num(30) + num(2) + "\x16\x0e", 130},
        {"odd hstem", num(9) + num(0) + num(10) + "\x01\x0e", 109},
        {"even hstem", num(0) + num(10) + "\x01" + num(77) + num(1) + num(2) + "\x15\x0e", 500},
        {"endchar with one", num(-20) + "\x0e", 80},
        {"endchar alone", "\x0e", 500},
        {"only the first counts", num(1) + num(2) + "\x15" + num(5) + num(1) + num(2) + "\x15\x0e",
         500},
    };
    for (const Case &c : cases) {
        T2 r = run2(c.cs, plainContext());
        EXPECT_EQ(r.rc, 0) << c.name;
        EXPECT_EQ(r.adv, c.adv) << c.name;
    }
}

TEST_F(CffTest, Type2HintMasks)
{
    // Three stem pairs take one mask byte, nine take two: the bytes after
    // the mask are read as the move that follows.
    std::string three = num(0) + num(1) + num(5) + num(1) + num(9) + num(1) + "\x12" + "\x13\xff" +
                        num(3) + num(4) + "\x15\x0e";
    std::string nine;
    for (int i = 0; i < 9; i++)
        nine += num(i * 3) + num(1);
    nine += "\x12\x13\xff\xff" + num(3) + num(4) + "\x15\x0e";
    // Pending arguments before hintmask are vstem pairs.
    std::string pending =
        num(0) + num(1) + "\x12" + num(0) + num(1) + "\x13\xff" + num(3) + num(4) + "\x15\x0e";
    std::string seventeen;
    for (int i = 0; i < 17; i++)
        seventeen += num(i) + num(1);
    seventeen += "\x12\x14\xff\xff\xff" + num(3) + num(4) + "\x15\x0e";
    for (const std::string &cs : {three, nine, pending, seventeen}) {
        T2 r = run2(cs, plainContext());
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(r.ops, (std::vector<Op>{{'M', {3, 4}}}));
    }
}

TEST_F(CffTest, Type2SubroutineBias)
{
    std::vector<std::string> data;
    std::vector<FontFileEntry> subrs;
    auto make = [&](uint32_t count) {
        data.assign(count, std::string());
        for (uint32_t i = 0; i < count; i++)
            data[i] = num(static_cast<int32_t>(i % 100)) + num(0) + "\x15\x0b";
        subrs.clear();
        for (std::string &d : data)
            subrs.push_back(
                {reinterpret_cast<uint8_t *>(d.data()), static_cast<uint32_t>(d.size())});
    };
    struct Case {
        uint32_t count;
        int32_t number;
        int rc;
        int32_t x;
    } cases[] = {
        {108, 0, 0, 7},             // entry 107
        {100, 0, Type2_badSubr, 0}, // no entry 107
        {1240, -1131 + 5, 0, 5},    // bias 1131
        {1240, 0, 0, 31},           // entry 1131
    };
    for (const Case &c : cases) {
        make(c.count);
        for (const bool global : {false, true}) {
            Type2Context ctx = plainContext();
            (global ? ctx.globalSubrs : ctx.localSubrs) = subrs.data();
            (global ? ctx.globalCount : ctx.localCount) = c.count;
            T2 r = run2(num(c.number) + (global ? "\x1d" : "\x0a") + "\x0e", ctx);
            EXPECT_EQ(r.rc, c.rc) << c.count;
            if (!c.rc) {
                EXPECT_EQ(r.ops, (std::vector<Op>{{'M', {c.x, 0}}})) << c.count;
            }
        }
    }
    // A subroutine that calls itself stops at 10 levels.
    std::string self = num(-107) + "\x0a";
    FontFileEntry one{reinterpret_cast<uint8_t *>(self.data()), static_cast<uint32_t>(self.size())};
    Type2Context ctx = plainContext();
    ctx.localSubrs = &one;
    ctx.localCount = 1;
    EXPECT_EQ(run2(num(-107) + "\x0a", ctx).rc, Type2_badSubr);
}

TEST_F(CffTest, Type2AccentAndMatrix)
{
    T2 r = run2(num(30) + num(40) + num(65) + num(194) + "\x0e", plainContext());
    ASSERT_EQ(r.rc, 0);
    // 'A' and acute through the Standard codes, then the offset.
    EXPECT_EQ(r.header, (std::vector<int16_t>{0x41, 0xB4, 30, 40}));
    Type2Context c = plainContext();
    c.matrix[0] = 2.0f;
    c.matrix[2] = 0.5f;
    c.matrix[4] = 10.0f;
    r = run2(num(10) + num(20) + "\x15" + num(4) + "\x06\x0e", c);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.ops, (std::vector<Op>{{'M', {40, 20}}, {'L', {48, 20}}}));
}

TEST_F(CffTest, Type2Operators)
{
    struct Case {
        const char *name;
        std::string cs;
        int rc;
        int32_t x; // of the move that ends the charstring
    } cases[] = {
        {"add", num(2) + num(3) + "\x0c\x0a" + num(0) + "\x15", 0, 5},
        {"sub neg abs", num(2) + num(9) + "\x0c\x0b\x0c\x0e" + num(0) + "\x15", 0, 7},
        {"mul div", num(6) + num(7) + "\x0c\x18" + num(4) + "\x0c\x0c" + num(0) + "\x15", 0, 10},
        {"put get", num(42) + num(3) + "\x0c\x14" + num(3) + "\x0c\x15" + num(0) + "\x15", 0, 42},
        {"exch", num(0) + num(8) + "\x0c\x1c\x15", 0, 8},
        {"index", num(5) + num(6) + num(1) + "\x0c\x1d\x16", 0, 5},
        {"roll", num(1) + num(2) + num(3) + num(3) + num(1) + "\x0c\x1e\x0c\x12\x0c\x12\x16", 0, 3},
        {"ifelse", num(1) + num(2) + num(3) + num(4) + "\x0c\x16" + num(0) + "\x15", 0, 1},
        {"eq and", num(4) + num(4) + "\x0c\x0f" + num(1) + "\x0c\x03" + num(0) + "\x15", 0, 1},
        {"dup", num(6) + "\x0c\x1b\x15", 0, 6},
        {"random", "\x0c\x17" + num(0) + "\x15", 0, 1},
        {"put outside", num(1) + num(32) + "\x0c\x14", Type2_badTransientIndex, 0},
        {"get outside", num(-1) + "\x0c\x15", Type2_badTransientIndex, 0},
        {"negative roll", num(1) + num(-1) + num(1) + "\x0c\x1e", Type2_negativeRoll, 0},
        {"reserved", "\x02", Type2_badCharstring, 0},
        {"reserved escape", "\x0c\x26", Type2_badCharstring, 0},
        {"escape 1", "\x0c\x01", Type2_badCharstring, 0},
        {"cut number", "\x1c\x01", Type2_badCharstring, 0},
        {"return at top", "\x0b", Type2_returnOutside, 0},
        {"rlineto odd", num(0) + num(0) + "\x15" + num(1) + "\x05", Type2_tooFewArguments, 0},
        {"rrcurveto short", num(0) + num(0) + "\x15" + num(1) + num(1) + "\x08",
         Type2_tooFewArguments, 0},
        {"flex short", num(1) + "\x0c\x23", Type2_tooFewArguments, 0},
        {"add short", num(1) + "\x0c\x0a", Type2_tooFewArguments, 0},
    };
    for (const Case &c : cases) {
        T2 r = run2(c.cs, plainContext());
        EXPECT_EQ(r.rc, c.rc) << c.name;
        if (!c.rc && !r.ops.empty()) {
            EXPECT_EQ(r.ops.back().v[0], c.x) << c.name;
        }
    }
    std::string full;
    for (int i = 0; i < 48; i++)
        full += num(1);
    EXPECT_EQ(run2(full + num(1), plainContext()).rc, Type2_badCharstring);
    EXPECT_EQ(run2(full + "\x0c\x1b", plainContext()).rc, Type2_stackOverflow);
    EXPECT_EQ(run2(full + "\x0c\x17", plainContext()).rc, Type2_stackOverflow);
    EXPECT_EQ(run2(full + "\x0c\x1e", plainContext()).rc, Type2_stackOverflow);
}

TEST_F(CffTest, Type2FlexFamily)
{
    std::string flex;
    for (int v : {10, 0, 10, 5, 10, 0, 10, 0, 10, -5, 10, 0, 50})
        flex += num(v);
    T2 r = run2(num(0) + num(0) + "\x15" + flex + "\x0c\x23", plainContext());
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.ops,
              (std::vector<Op>{
                  {'M', {0, 0}}, {'C', {10, 0, 20, 5, 30, 5}}, {'C', {40, 5, 50, 0, 60, 0}}}));
    std::string hflex;
    for (int v : {10, 10, 5, 10, 10, 10, 10})
        hflex += num(v);
    r = run2(num(0) + num(0) + "\x15" + hflex + "\x0c\x22", plainContext());
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.ops.back(), (Op{'C', {40, 5, 50, 0, 60, 0}}));
    std::string flex1;
    for (int v : {10, 1, 10, 1, 10, 1, 10, -1, 10, -1, 10})
        flex1 += num(v);
    r = run2(num(0) + num(0) + "\x15" + flex1 + "\x0c\x25", plainContext());
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.ops.back(), (Op{'C', {40, 2, 50, 1, 60, 0}}));
}

// ------------------------------------------------- whole programs

// The reading the PDF font code does: header, Name, Top DICT, String and
// Global Subrs INDEXes.
struct Program {
    std::string bytes;
    ByteStream *s = nullptr;
    CffIndex name{}, top{}, strings{}, gsubrs{};

    int open(const std::string &b)
    {
        bytes = b;
        if (Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(),
                                  &s))
            return 1;
        uint64_t limit = bytes.size();
        Cff_indexInit(&name, s, static_cast<uint8_t>(bytes[2]), limit);
        int rc = Cff_indexOpen(&name);
        if (!rc) {
            Cff_indexInit(&top, s, Cff_indexEnd(&name), limit);
            rc = Cff_indexOpen(&top);
        }
        if (!rc) {
            Cff_indexInit(&strings, s, Cff_indexEnd(&top), limit);
            rc = Cff_indexOpen(&strings);
        }
        if (!rc) {
            Cff_indexInit(&gsubrs, s, Cff_indexEnd(&strings), limit);
            rc = Cff_indexOpen(&gsubrs);
        }
        return rc;
    }
    ~Program()
    {
        (void)ByteStream_close(s);
    }
};

// Glyph g of a loaded Top DICT with the Private DICT priv.
T2 glyph(Program &p, CffTopDict *t, CffPrivateDict *priv, const FontFileEntry *gs, uint32_t gcount,
         uint32_t g)
{
    FontFileEntry *local = nullptr;
    uint32_t lcount = 0;
    if (CffPrivate_subrs(priv)) {
        EXPECT_EQ(Cff_indexReadAll(CffPrivate_subrs(priv), &local, &lcount), 0);
    }
    Type2Context c{};
    CffPrivate_widths(priv, &c.defaultWidthX, &c.nominalWidthX);
    for (int i = 0; i < 6; i++)
        c.matrix[i] = CffTopDict_matrix(t)[i];
    c.localSubrs = local;
    c.localCount = lcount;
    c.globalSubrs = gs;
    c.globalCount = gcount;
    uint64_t a = 0, b = 0;
    EXPECT_EQ(Cff_indexEntryRange(CffTopDict_charStrings(t), g, &a, &b), 0);
    std::string cs = p.bytes.substr(a, b - a);
    T2 r = run2(cs, c);
    FontFile_freeEntryArray(local, &lcount);
    return r;
}

TEST_F(CffTest, NimbusSansMatchesDecode)
{
    std::string otf = readHostFile("/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf");
    if (otf.empty())
        GTEST_SKIP() << "no URW base-35 fonts";
    auto be = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; i++)
            v = v << 8 | static_cast<uint8_t>(otf[at + i]);
        return v;
    };
    std::string cff;
    for (uint32_t i = 0, n = be(4, 2); i < n; i++)
        if (otf.compare(12 + 16 * i, 4, "CFF ") == 0)
            cff = otf.substr(be(12 + 16 * i + 8, 4), be(12 + 16 * i + 12, 4));
    ASSERT_FALSE(cff.empty());
    Program p;
    ASSERT_EQ(p.open(cff), 0);
    uint64_t a = 0, b = 0;
    ASSERT_EQ(Cff_indexEntryRange(&p.top, 0, &a, &b), 0);
    CffTopDict *t = nullptr;
    ASSERT_EQ(CffTopDict_create(p.s, a, b, &t), 0);
    ASSERT_EQ(CffTopDict_load(t), 0);
    EXPECT_EQ(CffTopDict_units(t), 1000);
    EXPECT_EQ(CffTopDict_ros(t), nullptr);
    FontFileEntry *gs = nullptr;
    uint32_t gcount = 0;
    ASSERT_EQ(Cff_indexReadAll(&p.gsubrs, &gs, &gcount), 0);
    // Every glyph builds.
    for (uint32_t g = 0; g < Cff_indexCount(CffTopDict_charStrings(t)); g++)
        EXPECT_EQ(glyph(p, t, CffTopDict_private(t), gs, gcount, g).rc, 0) << g;
    std::istringstream in(
        readHostFile(std::string(VEXLAN_FIXTURES) + "/fontprograms/cff-nimbussans.txt"));
    std::string line;
    size_t lines = 0;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        uint32_t g = 0;
        int32_t adv = 0;
        ls >> g >> adv;
        std::vector<Op> want;
        std::string tok;
        while (ls >> tok) {
            int n = tok == "C" ? 6 : 2;
            Op op{tok[0], {}};
            for (int i = 0; i < n; i++) {
                int32_t v;
                ls >> v;
                op.v.push_back(v);
            }
            want.push_back(op);
        }
        T2 r = glyph(p, t, CffTopDict_private(t), gs, gcount, g);
        ASSERT_EQ(r.rc, 0) << g;
        EXPECT_EQ(r.adv, adv) << g;
        EXPECT_EQ(r.ops, want) << g;
        lines++;
    }
    EXPECT_GT(lines, 30u);
    // The code table of the Standard encoding.
    uint16_t *table = nullptr;
    ASSERT_EQ(Cff_buildCodeTable(t, &p.strings, nullptr, &table), 0);
    EXPECT_EQ(table[0x41], 0x41);
    EXPECT_EQ(table[0xE1], 0xC6); // AE
    Mem_free(table);
    FontFile_freeEntryArray(gs, &gcount);
    CffTopDict_destroy(t);
}

TEST_F(CffTest, CidKeyedProgram)
{
    Program p;
    ASSERT_EQ(p.open(readHostFile(std::string(VEXLAN_FIXTURES) + "/fontprograms/cff-cid.cff")), 0);
    uint64_t a = 0, b = 0;
    ASSERT_EQ(Cff_indexEntryRange(&p.top, 0, &a, &b), 0);
    CffTopDict *t = nullptr;
    ASSERT_EQ(CffTopDict_create(p.s, a, b, &t), 0);
    ASSERT_EQ(CffTopDict_load(t), 0);
    ASSERT_NE(CffTopDict_ros(t), nullptr);
    EXPECT_EQ(CffTopDict_ros(t)->registry, 391);
    EXPECT_EQ(CffTopDict_ros(t)->ordering, 392);
    char *registry = nullptr;
    ASSERT_EQ(Cff_readString(&p.strings, p.s, 391, &registry), 0);
    EXPECT_STREQ(registry, "Adobe");
    Mem_free(registry);
    EXPECT_EQ(Cff_readString(&p.strings, p.s, 393, &registry), Cff_stringBeyondIndex);
    EXPECT_EQ(Cff_readString(&p.strings, p.s, 390, &registry), Cff_stringStandard);
    const CffCharset *cs = CffTopDict_charset(t);
    ASSERT_NE(cs, nullptr);
    uint16_t cid = 0;
    ASSERT_EQ(CffCharset_get(cs, 3, &cid), 0);
    EXPECT_EQ(cid, 3);
    ASSERT_NE(CffTopDict_fdArray(t), nullptr);
    ASSERT_EQ(Cff_indexCount(CffTopDict_fdArray(t)), 2u);
    // Glyphs 0-1 use Font DICT 0 (widths 500/600), 2-3 Font DICT 1
    // (700/800): default, nominal + 100, default, nominal - 20.
    const int32_t want[4] = {500, 700, 700, 780};
    for (uint32_t g = 0; g < 4; g++) {
        uint8_t fd = 0;
        ASSERT_EQ(CffFdSelect_get(CffTopDict_fdSelect(t), g, &fd), 0);
        EXPECT_EQ(fd, g < 2 ? 0 : 1);
        ASSERT_EQ(Cff_indexEntryRange(CffTopDict_fdArray(t), fd, &a, &b), 0);
        CffTopDict *font = nullptr;
        ASSERT_EQ(CffTopDict_create(p.s, a, b, &font), 0);
        ASSERT_EQ(CffTopDict_load(font), 0);
        T2 r = glyph(p, t, CffTopDict_private(font), nullptr, 0, g);
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.adv, want[g]) << g;
        CffTopDict_destroy(font);
    }
    CffTopDict_destroy(t);
}

} // namespace
