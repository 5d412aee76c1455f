// The LZW decode filter and the choice of a decoder: the fixtures coded
// with early change 0 and 1, code sequences for each rule, the end and
// error behaviour of the stream, and Filter_openDecoder's questions.
#include <zlib.h>

#include "graphics/codecs/filter.h"
#include "graphics/codecs/lzw.h"
#include "tests/graphics/codec_support.h"

namespace {

// Codes packed most significant bit first, each with its own width.
std::string packCodes(const std::vector<std::pair<uint32_t, uint32_t>> &codes)
{
    std::string out;
    uint64_t acc = 0;
    uint32_t bits = 0;
    for (auto [code, width] : codes) {
        acc = (acc << width) | code;
        bits += width;
        while (bits >= 8) {
            out += char((acc >> (bits - 8)) & 0xFF);
            bits -= 8;
        }
    }
    if (bits)
        out += char((acc << (8 - bits)) & 0xFF);
    return out;
}

// Codes of 9 bits.
std::string codes9(std::initializer_list<uint32_t> codes)
{
    std::vector<std::pair<uint32_t, uint32_t>> v;
    for (uint32_t c : codes)
        v.push_back({c, 9});
    return packCodes(v);
}

// A clear code, then one literal code per byte with the widths the
// decoder expects for early change `early`, then the end code; no clear
// code when the table fills unless clearWhenFull.
std::string literals(const std::string &bytes, int early, bool clearWhenFull = true)
{
    std::vector<std::pair<uint32_t, uint32_t>> v;
    uint32_t width = 9, next = 258;
    bool fresh = true;
    auto emit = [&](uint32_t code) {
        v.push_back({code, width});
        if (code == 256) {
            width = 9, next = 258, fresh = true;
            return;
        }
        if (fresh) {
            fresh = false;
            return;
        }
        if (next < 4096)
            next++;
        if (next > (1u << width) - 1 - uint32_t(early) && width < 12)
            width++;
    };
    emit(256);
    for (char c : bytes) {
        emit(uint8_t(c));
        if (clearWhenFull && next >= 4096)
            emit(256);
    }
    emit(257);
    return packCodes(v);
}

struct Drained {
    std::string bytes;
    int status = 0; // the status the end came with
};

// Reads the stream to its end in pieces of `piece` bytes.
Drained drain(ByteStream *s, size_t piece = 1)
{
    Drained d;
    std::vector<char> buf(piece);
    for (;;) {
        int r = ByteStream_readExact(s, buf.data(), piece);
        if (r != Res_ok) {
            // readExact copied what came before the end; count it from
            // the gap it left in the window.
            d.status = r;
            break;
        }
        d.bytes.append(buf.data(), piece);
    }
    return d;
}

// Reads byte by byte: every byte, then the end's status (0x2205 for a
// plain end).
Drained drainBytes(ByteStream *s)
{
    Drained d;
    for (;;) {
        uint8_t b = 0;
        int r = ByteStream_readByte(s, &b);
        if (r != Res_ok) {
            d.status = r;
            return d;
        }
        d.bytes += char(b);
    }
}

class LzwTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestHeap_open(&heap, 8u << 20, 0));
        baseline = TestHeap_usedBytes();
    }
    void TearDown() override
    {
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << "heap bytes leaked";
        EXPECT_EQ(Mem_check(), 0);
        TestHeap_close(&heap);
    }
    // Decodes coded bytes with early change: the bytes and the end status.
    Drained decode(const std::string &coded, int early)
    {
        TestMemStream *source = memStream(coded);
        ByteStream *z = nullptr;
        EXPECT_EQ(Lzw_create(&source->base, &z, early), Res_ok);
        Drained d = drainBytes(z);
        EXPECT_EQ(ByteStream_close(z), Res_ok);
        (void)ByteStream_close(&source->base);
        return d;
    }
    TestHeap heap{};
    size_t baseline = 0;
};

TEST_F(LzwTest, TheFixturesDecodeWithTheirEarlyChange)
{
    std::string plain = readFixture("lzw_plain.bin");
    ASSERT_EQ(plain.size(), 12000u);
    for (int early : {0, 1}) {
        std::string coded = readFixture("lzw_ec" + std::to_string(early) + ".lzw");
        Drained d = decode(coded, early);
        EXPECT_EQ(d.status, Res_byteStreamEnded) << early << ": a plain end";
        EXPECT_TRUE(d.bytes == plain) << early << ": " << d.bytes.size() << " bytes";
        // In large reads too (whole refills and their windows).
        TestMemStream *source = memStream(coded);
        ByteStream *z = nullptr;
        ASSERT_EQ(Lzw_create(&source->base, &z, early), Res_ok);
        Drained big = drain(z, 1000);
        EXPECT_EQ(big.bytes, plain.substr(0, 12000));
        EXPECT_EQ(ByteStream_close(z), Res_ok);
        (void)ByteStream_close(&source->base);
        // The other early change reads the widths wrongly.
        Drained wrong = decode(coded, 1 - early);
        EXPECT_FALSE(wrong.bytes == plain) << early;
    }
}

TEST_F(LzwTest, CodeSequences)
{
    struct Case {
        const char *what;
        std::string coded;
        int early;
        std::string bytes;
        int status;
    };
    std::string letters;
    for (int i = 0; i < 300; i++)
        letters += char('a' + i % 26);
    const Case cases[] = {
        {"the code being defined", codes9({256, 65, 258, 257}), 1, "AAA", Res_byteStreamEnded},
        {"a code above the next free code", codes9({256, 65, 259}), 1, "A", Res_lzwCorrupt},
        {"no leading clear code", codes9({65, 66, 258, 260, 257}), 1, "ABABABA",
         Res_byteStreamEnded},
        {"258 right after a clear code", codes9({256, 258, 257}), 1, "", Res_lzwCorrupt},
        {"257 right after a clear code", codes9({256, 257}), 1, "", Res_byteStreamEnded},
        {"clear codes in a row", codes9({256, 256, 256, 72, 73, 257}), 1, "HI",
         Res_byteStreamEnded},
        {"a clear code inside", codes9({256, 65, 66, 258, 256, 67, 258, 257}), 1, "ABABCCC",
         Res_byteStreamEnded},
        {"258 right after an inner clear code", codes9({256, 65, 66, 258, 256, 258}), 1, "ABAB",
         Res_lzwCorrupt},
        {"the source ends without 257", codes9({256, 72, 73}), 1, "HI", Res_byteStreamEnded},
        {"widths grow one code sooner with early change 1", literals(letters, 1), 1, letters,
         Res_byteStreamEnded},
        {"and one code later with 0", literals(letters, 0), 0, letters, Res_byteStreamEnded},
    };
    for (const Case &c : cases) {
        Drained d = decode(c.coded, c.early);
        EXPECT_EQ(d.bytes, c.bytes) << c.what;
        EXPECT_EQ(d.status, c.status) << c.what;
    }
    // The width boundary itself: with early change 1 the 9-bit width lasts
    // while the next code is at most 510 (254 literals after the first);
    // read with the other setting the same codes break.
    std::string boundary(256, 'x');
    EXPECT_NE(decode(literals(boundary, 1), 0).bytes, boundary);
    EXPECT_NE(decode(literals(boundary, 0), 1).bytes, boundary);
}

TEST_F(LzwTest, AFullTableWithoutAClearCodeIsCorrupt)
{
    // 3839 literals fill the table (next code 4096); the next code is
    // corrupt, and the bytes before it stay readable.
    std::string bytes;
    for (int i = 0; i < 3845; i++)
        bytes += char(i * 7);
    Drained d = decode(literals(bytes, 1, false), 1);
    EXPECT_EQ(d.status, Res_lzwCorrupt);
    EXPECT_EQ(d.bytes, bytes.substr(0, 3839));
    Drained ok = decode(literals(bytes, 1, true), 1);
    EXPECT_EQ(ok.status, Res_byteStreamEnded);
    EXPECT_EQ(ok.bytes, bytes);
}

// A source that fails after its bytes.
struct FailingSource {
    ByteStream base;
    std::string data;
    int status;
};

int failingGetByte(ByteStream *s)
{
    FailingSource *f = reinterpret_cast<FailingSource *>(s);
    if (s->readPtr < s->end)
        return *s->readPtr++;
    s->status = f->status;
    return ByteStream_end;
}

TEST_F(LzwTest, TheStreamEndsForGoodAndPassesControlOn)
{
    // A source error becomes the filter's status after the bytes before it.
    FailingSource failing{};
    failing.data = codes9({256, 72, 73, 74});
    failing.data.pop_back(); // cut inside the last code
    failing.status = 0x4321;
    failing.base.getByte = failingGetByte;
    failing.base.readPtr = reinterpret_cast<const uint8_t *>(failing.data.data());
    failing.base.end = failing.base.readPtr + failing.data.size();
    ByteStream *z = nullptr;
    ASSERT_EQ(Lzw_create(&failing.base, &z, 1), Res_ok);
    Drained d = drainBytes(z);
    EXPECT_EQ(d.bytes, "HI");
    EXPECT_EQ(d.status, 0x4321);
    uint8_t b = 0;
    EXPECT_EQ(ByteStream_readByte(z, &b), Res_byteStreamEnded) << "the end stays the end";
    EXPECT_EQ(ByteStream_close(z), Res_ok);

    // After corrupt data, taking the status does not restart decoding.
    TestMemStream *source = memStream(codes9({256, 65, 300, 66, 257}));
    ASSERT_EQ(Lzw_create(&source->base, &z, 1), Res_ok);
    EXPECT_EQ(drainBytes(z).status, Res_lzwCorrupt);
    EXPECT_EQ(ByteStream_readByte(z, &b), Res_byteStreamEnded);
    // It cannot seek; control goes to the source; closing leaves the
    // source open.
    EXPECT_EQ(ByteStream_seek(z, 0), Res_byteStreamNoSeek);
    uint32_t memory = 0;
    EXPECT_EQ(ByteStream_control(z, ByteStream_opIsMemory, &memory), Res_ok);
    EXPECT_EQ(memory, 1u);
    EXPECT_EQ(ByteStream_close(z), Res_ok);
    EXPECT_EQ(ByteStream_seek(&source->base, 0), Res_ok) << "still open";
    (void)ByteStream_close(&source->base);
}

TEST_F(LzwTest, CreationFailsCleanlyWithoutMemory)
{
    TestMemStream *source = memStream("x");
    ByteStream *z = reinterpret_cast<ByteStream *>(&source->base);
    Mem_failAfter(1);
    EXPECT_EQ(Lzw_create(&source->base, &z, 1), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(z, nullptr);
    (void)ByteStream_close(&source->base);
}

// ---------------------------------------------------- choosing a decoder

struct Questions {
    std::map<int32_t, int32_t> answers; // code: answer (missing: -1)
    int32_t failCode = -1;              // this code's query fails
    std::vector<int32_t> asked;
};

int answerQuestion(void *user, int32_t code, void *argument, int32_t *answer)
{
    Questions *q = static_cast<Questions *>(user);
    q->asked.push_back(code);
    EXPECT_EQ(argument, nullptr);
    if (code == q->failCode)
        return 0x5555;
    auto it = q->answers.find(code);
    *answer = it == q->answers.end() ? -1 : it->second;
    return Res_ok;
}

TEST_F(LzwTest, TheFirstDecodingAnsweredYesIsOpened)
{
    std::string text = "decoded through a filter chosen by questions";
    uLongf zipped = 256;
    std::vector<Bytef> zbuf(zipped);
    ASSERT_EQ(
        compress(zbuf.data(), &zipped, reinterpret_cast<const Bytef *>(text.data()), text.size()),
        Z_OK);
    std::string flate(reinterpret_cast<const char *>(zbuf.data()), zipped);
    std::string lzw = literals(text, 1);
    // One literal run of the whole text, then the end marker.
    std::string runLength = std::string(1, char(text.size() - 1)) + text + "\x80";

    struct Case {
        const char *what;
        Questions q;
        std::string data;
        int result;
        std::vector<int32_t> asked;
        int kind; // 0 none, 1 the source itself, 2 a new stream decoding to text
    };
    auto q = [](std::map<int32_t, int32_t> a, int32_t fail = -1) {
        Questions x;
        x.answers = a;
        x.failCode = fail;
        return x;
    };
    std::vector<Case> cases = {
        {"no decoding: the source itself", q({{5, 0}, {6, 0}}), text, Res_ok, {5}, 1},
        {"6 and 7: LZW", q({{6, 0}, {7, 3}}), lzw, Res_ok, {5, 6}, 2},
        {"7: Flate", q({{7, 0}}), flate, Res_ok, {5, 6, 7}, 2},
        {"8: RunLength", q({{8, 0}}), runLength, Res_ok, {5, 6, 7, 8}, 2},
        {"nothing answers yes", q({{5, -1}, {6, -5}}), text, Res_filterNoDecoder, {5, 6, 7, 8}, 0},
        {"the first query fails", q({{5, 0}}, 5), text, Res_filterNoDecoder, {5}, 0},
        {"a later query fails", q({{7, 0}}, 6), text, Res_filterNoDecoder, {5, 6}, 0},
    };
    for (Case &c : cases) {
        TestMemStream *source = memStream(c.data);
        FilterDescriptor descriptor{answerQuestion, &c.q};
        ByteStream *out = reinterpret_cast<ByteStream *>(&descriptor);
        EXPECT_EQ(Filter_openDecoder(&source->base, &out, &descriptor), c.result) << c.what;
        EXPECT_EQ(c.q.asked, c.asked) << c.what;
        if (c.kind == 0) {
            EXPECT_EQ(out, nullptr) << c.what;
        } else if (c.kind == 1) {
            EXPECT_EQ(out, &source->base) << c.what;
        } else {
            ASSERT_NE(out, nullptr) << c.what;
            ASSERT_NE(out, &source->base) << c.what;
            Drained d = drainBytes(out);
            EXPECT_EQ(d.bytes, text) << c.what;
            EXPECT_EQ(ByteStream_close(out), Res_ok);
        }
        (void)ByteStream_close(&source->base);
    }
    ByteStream *out = nullptr;
    TestMemStream *source = memStream(text);
    EXPECT_EQ(Filter_openDecoder(&source->base, &out, nullptr), Res_filterNoDecoder);
    (void)ByteStream_close(&source->base);
}

TEST(FilterProbe, ARememberedErrorAnswersNoWithoutAsking)
{
    Questions q;
    q.answers = {{5, 0}};
    FilterDescriptor descriptor{answerQuestion, &q};
    int error = 0;
    EXPECT_EQ(Filter_probe(&error, &descriptor, 5), 1);
    EXPECT_EQ(Filter_probe(&error, &descriptor, 6), 0);
    q.failCode = 7;
    EXPECT_EQ(Filter_probe(&error, &descriptor, 7), 0);
    EXPECT_EQ(error, 0x5555);
    EXPECT_EQ(Filter_probe(&error, &descriptor, 5), 0);
    EXPECT_EQ(q.asked, (std::vector<int32_t>{5, 6, 7}));
}

} // namespace
