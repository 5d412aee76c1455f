// Byte streams: the read helpers over a scripted stream kind (windows of
// set sizes, "no data yet" answers, errors, seeks), lookahead streams with
// the position they report and a random run against the bytes, concatenated
// streams, the little-endian readers and the keyword table searches.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "tests/support/heap_fixture.h"

namespace {

// A stream kind for the tests: serves data in windows of chunk bytes,
// optionally answers "no data yet" once before each window, fails with
// failCode when a window would start at failAt, seeks, and answers control
// operation 6 (and 10 when lengthAnswer is set).
struct ScriptStream {
    ByteStream base;
    const uint8_t *data;
    size_t size;
    size_t chunk;
    size_t taken; // bytes given out in windows so far
    size_t failAt;
    int failCode;
    bool noDataFirst;
    bool owed; // a "no data yet" is owed before the next window
    uint64_t lengthAnswer;
    int closed;
    int windows;

    static ScriptStream *of(ByteStream *s)
    {
        return reinterpret_cast<ScriptStream *>(s);
    }
    static int getByte(ByteStream *s)
    {
        ScriptStream *t = of(s);
        if (s->readPtr < s->end)
            return *s->readPtr++;
        if (t->taken >= t->failAt) {
            s->status = t->failCode;
            return ByteStream_end;
        }
        if (t->noDataFirst && t->owed) {
            t->owed = false;
            return ByteStream_noData;
        }
        if (t->taken >= t->size)
            return ByteStream_end;
        size_t n = std::min({t->chunk, t->size - t->taken, t->failAt - t->taken});
        s->readPtr = t->data + t->taken;
        s->end = s->readPtr + n;
        t->taken += n;
        t->owed = true;
        t->windows++;
        return *s->readPtr++;
    }
    static int seek(ByteStream *s, uint64_t position)
    {
        ScriptStream *t = of(s);
        t->taken = position < t->size ? size_t(position) : t->size;
        s->readPtr = s->end = nullptr;
        return Res_ok;
    }
    static int control(ByteStream *s, uint32_t op, void *arg)
    {
        ScriptStream *t = of(s);
        if (op == ByteStream_opPosition) {
            *static_cast<uint64_t *>(arg) = t->taken - size_t(s->end - s->readPtr);
            return Res_ok;
        }
        if (op == ByteStream_opLength && t->lengthAnswer) {
            *static_cast<uint64_t *>(arg) = t->lengthAnswer;
            return Res_ok;
        }
        return Res_byteStreamNoControl;
    }
    static int close(ByteStream *s)
    {
        of(s)->closed++;
        return Res_ok;
    }

    ScriptStream(const std::string &bytes, size_t chunkSize, bool withNoData = false)
        : base{getByte, seek, 0, 0, close, control, nullptr, nullptr},
          data(reinterpret_cast<const uint8_t *>(bytes.data())), size(bytes.size()),
          chunk(chunkSize), taken(0), failAt(SIZE_MAX), failCode(0), noDataFirst(withNoData),
          owed(withNoData), lengthAnswer(0), closed(0), windows(0)
    {
    }
    uint64_t position()
    {
        uint64_t p = 0;
        control(&base, ByteStream_opPosition, &p);
        return p;
    }
};

std::string sample(size_t n, uint32_t seed = 1)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = char(rng());
    return s;
}

class ByteStreamTest : public LeakCheckedHeapTest<> {};

TEST_F(ByteStreamTest, ReadHelpersWalkWindowsAndWaitThroughNoData)
{
    std::string bytes = sample(1000);
    for (bool noData : {false, true}) {
        ScriptStream t(bytes, 37, noData);
        ByteStream *s = &t.base;
        uint8_t b = 0;
        ASSERT_EQ(ByteStream_readByte(s, &b), Res_ok);
        EXPECT_EQ(b, uint8_t(bytes[0]));
        std::vector<uint8_t> out(500);
        ASSERT_EQ(ByteStream_readExact(s, out.data(), 500), Res_ok);
        EXPECT_EQ(memcmp(out.data(), bytes.data() + 1, 500), 0);
        ASSERT_EQ(ByteStream_skip(s, 400), Res_ok);
        EXPECT_EQ(t.position(), 901u);
        // 99 bytes are left: asking for 100 copies them and says why it
        // stopped.
        std::fill(out.begin(), out.end(), 0);
        EXPECT_EQ(ByteStream_readExact(s, out.data(), 100), Res_byteStreamEnded);
        EXPECT_EQ(memcmp(out.data(), bytes.data() + 901, 99), 0);
        EXPECT_EQ(ByteStream_readByte(s, &b), Res_byteStreamEnded);
        EXPECT_EQ(b, 0);
        EXPECT_EQ(ByteStream_skip(s, 1), Res_byteStreamEnded);
    }
}

TEST_F(ByteStreamTest, AStreamErrorIsReportedOnceThroughTheTakenStatus)
{
    std::string bytes = sample(300);
    ScriptStream t(bytes, 64);
    t.failAt = 128;
    t.failCode = Res_fileRead;
    std::vector<uint8_t> out(300);
    EXPECT_EQ(ByteStream_readExact(&t.base, out.data(), 200), Res_fileRead);
    EXPECT_EQ(memcmp(out.data(), bytes.data(), 128), 0) << "what came is copied";
    EXPECT_EQ(t.base.status, 0) << "taken";
    uint8_t b;
    EXPECT_EQ(ByteStream_readByte(&t.base, &b), Res_fileRead) << "the stream fails again";
    t.base.status = 5;
    EXPECT_EQ(ByteStream_takeStatus(&t.base), 5);
    EXPECT_EQ(ByteStream_takeStatus(&t.base), 0);
}

TEST_F(ByteStreamTest, AvailableLeavesTheByteUnreadAndWaitsOnlyWhenBlocking)
{
    std::string bytes = "xyz";
    ScriptStream t(bytes, 2, true);
    ByteStream *s = &t.base;
    EXPECT_EQ(ByteStream_available(s, 1), ByteStream_noData);
    EXPECT_EQ(ByteStream_available(s, 1), 2) << "the no-data answer was given once";
    EXPECT_EQ(*s->readPtr, 'x');
    s->readPtr = s->end;
    EXPECT_EQ(ByteStream_available(s, 0), 1) << "one byte left, waiting through no-data";
    EXPECT_EQ(*s->readPtr, 'z') << "and it stays unread";
    EXPECT_EQ(ByteStream_available(s, 0), 1);
    s->readPtr++;
    EXPECT_EQ(ByteStream_available(s, 0), 0);
    EXPECT_EQ(ByteStream_available(s, 1), 0);
}

TEST_F(ByteStreamTest, LengthSeekControlAndCloseGoThroughTheirSlots)
{
    std::string bytes = sample(10);
    ScriptStream t(bytes, 4);
    ByteStream *s = &t.base;
    EXPECT_EQ(ByteStream_getLength(s), 0u) << "no length and control 10 fails";
    t.lengthAnswer = 0x100000005ull;
    EXPECT_EQ(ByteStream_getLength(s), 0x100000005ull);
    EXPECT_EQ(ByteStream_getLength32(s), 5u);
    EXPECT_EQ(s->length, 0u) << "the answer is not kept";
    s->length = 77;
    EXPECT_EQ(ByteStream_getLength(s), 77u);
    EXPECT_EQ(ByteStream_seek(s, 6), Res_ok);
    uint8_t b;
    ASSERT_EQ(ByteStream_readByte(s, &b), Res_ok);
    EXPECT_EQ(b, uint8_t(bytes[6]));
    s->seek = nullptr;
    EXPECT_EQ(ByteStream_seek(s, 0), Res_byteStreamNoSeek);
    EXPECT_EQ(ByteStream_control(s, 99, nullptr), Res_byteStreamNoControl);
    s->control = nullptr;
    EXPECT_EQ(ByteStream_control(s, 6, nullptr), Res_notImplemented);
    EXPECT_EQ(ByteStream_close(nullptr), Res_ok);
    EXPECT_EQ(ByteStream_close(s), Res_ok);
    EXPECT_EQ(t.closed, 1);
}

TEST_F(ByteStreamTest, DrainAndRestoreReadsToTheEndAndComesBack)
{
    std::string bytes = sample(500);
    ScriptStream t(bytes, 33);
    ASSERT_EQ(ByteStream_skip(&t.base, 40), Res_ok);
    ASSERT_EQ(ByteStream_drainAndRestore(&t.base), Res_ok);
    EXPECT_EQ(t.position(), 40u);
    uint8_t b;
    ASSERT_EQ(ByteStream_readByte(&t.base, &b), Res_ok);
    EXPECT_EQ(b, uint8_t(bytes[40]));

    ScriptStream bad(bytes, 33);
    bad.failAt = 99;
    bad.failCode = Res_fileRead;
    EXPECT_EQ(ByteStream_drainAndRestore(&bad.base), Res_fileRead);
    ScriptStream noSeek(bytes, 33);
    noSeek.base.seek = nullptr;
    EXPECT_EQ(ByteStream_drainAndRestore(&noSeek.base), Res_byteStreamNoSeek);
}

// ------------------------------------------------------ lookahead streams

TEST_F(ByteStreamTest, PeekFillServesTheInnerWindowWhenItHoldsEnough)
{
    std::string bytes = sample(100);
    ScriptStream t(bytes, 40);
    PeekStream *p = PeekStream_create(&t.base, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(PeekStream_fill(p, 8), 40u) << "the inner window, not a copy";
    EXPECT_EQ(p->fromBuffer, 0u);
    EXPECT_EQ(p->buffer, nullptr);
    EXPECT_EQ(p->base.readPtr, t.data);
    // Across the window's end the bytes are gathered into the buffer.
    p->base.readPtr += 38;
    EXPECT_EQ(PeekStream_fill(p, 8), 8u);
    EXPECT_EQ(p->fromBuffer, 1u);
    EXPECT_EQ(memcmp(p->base.readPtr, bytes.data() + 38, 8), 0);
    EXPECT_EQ(ByteStream_close(&p->base), Res_ok);
    EXPECT_EQ(t.closed, 0) << "not owned";
}

TEST_F(ByteStreamTest, PeekFillShortAtTheEndThenNothing)
{
    std::string bytes = "12345";
    ScriptStream t(bytes, 2);
    PeekStream *p = PeekStream_create(&t.base, 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(PeekStream_fill(p, 8), 5u);
    EXPECT_EQ(p->base.status, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(p->base.readPtr), 5), "12345");
    EXPECT_EQ(PeekStream_fill(p, 8), 5u) << "unread bytes stay";
    ASSERT_EQ(ByteStream_skip(&p->base, 5), Res_ok);
    EXPECT_EQ(PeekStream_fill(p, 8), 0u);
    EXPECT_EQ(p->base.status, 0) << "the end is no error";
    EXPECT_EQ(ByteStream_close(&p->base), Res_ok);
    EXPECT_EQ(t.closed, 1) << "owned";
}

TEST_F(ByteStreamTest, PeekReportsTheReaderPositionNotTheInnerOne)
{
    std::string bytes = sample(64);
    ScriptStream t(bytes, 10);
    PeekStream *p = PeekStream_create(&t.base, 0);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(ByteStream_skip(&p->base, 5), Res_ok);
    ASSERT_EQ(PeekStream_fill(p, 8), 8u); // 5 from the first window, 3 from the second
    ASSERT_EQ(ByteStream_skip(&p->base, 5), Res_ok);
    uint64_t at = 0;
    ASSERT_EQ(ByteStream_control(&p->base, ByteStream_opPosition, &at), Res_ok);
    EXPECT_EQ(t.position(), 13u);
    EXPECT_EQ(at, 10u) << "13 taken from inner, 3 still waiting in the buffer";
    uint8_t b;
    for (size_t i = 10; i < 64; i++) {
        ASSERT_EQ(ByteStream_readByte(&p->base, &b), Res_ok);
        ASSERT_EQ(b, uint8_t(bytes[i])) << i;
    }
    ASSERT_EQ(ByteStream_control(&p->base, ByteStream_opPosition, &at), Res_ok);
    EXPECT_EQ(at, 64u);
    EXPECT_EQ(ByteStream_readByte(&p->base, &b), Res_byteStreamEnded);
    EXPECT_EQ(ByteStream_close(&p->base), Res_ok);
}

TEST_F(ByteStreamTest, PeekSeeksThroughInnerAndDropsTheBuffer)
{
    std::string bytes = sample(64);
    ScriptStream t(bytes, 10);
    PeekStream *p = PeekStream_create(&t.base, 0);
    ASSERT_NE(p, nullptr);
    ASSERT_NE(p->base.seek, nullptr);
    ASSERT_EQ(PeekStream_fill(p, 20), 20u);
    ASSERT_EQ(ByteStream_seek(&p->base, 3), Res_ok);
    EXPECT_EQ(p->fromBuffer, 0u);
    uint8_t b;
    ASSERT_EQ(ByteStream_readByte(&p->base, &b), Res_ok);
    EXPECT_EQ(b, uint8_t(bytes[3]));
    EXPECT_EQ(ByteStream_close(&p->base), Res_ok);

    t.base.seek = nullptr;
    t.base.control = nullptr;
    p = PeekStream_create(&t.base, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->base.seek, nullptr) << "no seek slot over a stream that cannot seek";
    uint64_t at;
    EXPECT_EQ(ByteStream_control(&p->base, ByteStream_opPosition, &at), Res_peekNoControl);
    EXPECT_EQ(ByteStream_close(&p->base), Res_ok);
}

TEST_F(ByteStreamTest, PeekTakesTheInnerErrorAndAFailedGrowthAsItsStatus)
{
    std::string bytes = sample(64);
    ScriptStream t(bytes, 10);
    t.failAt = 20;
    t.failCode = Res_fileRead;
    PeekStream *p = PeekStream_create(&t.base, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(PeekStream_fill(p, 30), 0u);
    EXPECT_EQ(p->base.status, Res_fileRead);
    EXPECT_EQ(p->base.getByte(&p->base), ByteStream_end);
    EXPECT_EQ(PeekStream_fill(p, 1), 0u);
    EXPECT_EQ(ByteStream_close(&p->base), Res_ok);

    ScriptStream u(bytes, 10);
    p = PeekStream_create(&u.base, 0);
    ASSERT_NE(p, nullptr);
    Mem_failAfter(1);
    EXPECT_EQ(PeekStream_fill(p, 30), 0u);
    Mem_failAfter(0);
    EXPECT_EQ(p->base.status, Res_noMemory);
    EXPECT_EQ(p->base.getByte(&p->base), ByteStream_end);
    EXPECT_EQ(ByteStream_close(&p->base), Res_ok);
}

TEST_F(ByteStreamTest, PeekCreateOutOfMemoryClosesOnlyAnOwnedInner)
{
    std::string bytes = "ab";
    ScriptStream t(bytes, 2);
    for (int owns : {0, 1}) {
        Mem_failAfter(1);
        EXPECT_EQ(PeekStream_create(&t.base, owns), nullptr);
        Mem_failAfter(0);
        EXPECT_EQ(t.closed, owns);
    }
}

// Random fills, reads, skips and position checks against the bytes, over
// windows of random sizes with no-data answers.
TEST_F(ByteStreamTest, PeekAgreesWithTheBytesOverRandomOperations)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 40; round++) {
        std::string bytes = sample(rng() % 3000, round);
        ScriptStream t(bytes, 1 + rng() % 50, round % 2);
        PeekStream *p = PeekStream_create(&t.base, 0);
        ASSERT_NE(p, nullptr);
        size_t at = 0;
        std::vector<uint8_t> out(300);
        while (at < bytes.size()) {
            size_t n = rng() % 200;
            size_t left = bytes.size() - at;
            switch (rng() % 4) {
            case 0: {
                size_t got = PeekStream_fill(p, n);
                ASSERT_GE(got, std::min(n, left));
                ASSERT_LE(got, left);
                ASSERT_EQ(memcmp(p->base.readPtr, bytes.data() + at, got), 0);
                break;
            }
            case 1: {
                int r = ByteStream_readExact(&p->base, out.data(), n);
                ASSERT_EQ(r, n <= left ? Res_ok : Res_byteStreamEnded);
                ASSERT_EQ(memcmp(out.data(), bytes.data() + at, std::min(n, left)), 0);
                at += std::min(n, left);
                break;
            }
            case 2: {
                ASSERT_EQ(ByteStream_skip(&p->base, n), n <= left ? Res_ok : Res_byteStreamEnded);
                at += std::min(n, left);
                break;
            }
            default: {
                uint64_t pos = 0;
                ASSERT_EQ(ByteStream_control(&p->base, ByteStream_opPosition, &pos), Res_ok);
                ASSERT_EQ(pos, at);
            }
            }
        }
        EXPECT_EQ(PeekStream_fill(p, 1), 0u);
        EXPECT_EQ(ByteStream_close(&p->base), Res_ok);
    }
}

// --------------------------------------------------- concatenated streams

TEST_F(ByteStreamTest, ConcatReadsTheFirstToItsEndThenTheSecond)
{
    std::string a = sample(70, 1), b = sample(90, 2);
    ScriptStream ta(a, 16, true), tb(b, 25);
    ConcatStream *c = ConcatStream_create(&ta.base, &tb.base);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->base.seek, nullptr);
    EXPECT_EQ(ByteStream_getLength(&c->base), 0u);
    std::vector<uint8_t> out(160);
    ASSERT_EQ(ByteStream_readExact(&c->base, out.data(), 100), Res_ok);
    uint64_t at = 0;
    ASSERT_EQ(ByteStream_control(&c->base, ByteStream_opPosition, &at), Res_ok);
    EXPECT_EQ(at, 30u) << "control goes to the part being read";
    ASSERT_EQ(ByteStream_readExact(&c->base, out.data() + 100, 60), Res_ok);
    EXPECT_EQ(std::string(out.begin(), out.end()), a + b);
    uint8_t byte;
    EXPECT_EQ(ByteStream_readByte(&c->base, &byte), Res_byteStreamEnded);
    EXPECT_EQ(ByteStream_close(&c->base), Res_ok);
    EXPECT_EQ(ta.closed + tb.closed, 0) << "the parts stay open";
    EXPECT_EQ(tb.position(), 90u);

    // An error in the first part ends the whole stream.
    ScriptStream tc(a, 16), td(b, 25);
    tc.failAt = 32;
    tc.failCode = Res_fileRead;
    c = ConcatStream_create(&tc.base, &td.base);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(ByteStream_readExact(&c->base, out.data(), 100), Res_fileRead);
    EXPECT_EQ(td.windows, 0);
    EXPECT_EQ(ByteStream_close(&c->base), Res_ok);
    Mem_failAfter(1);
    EXPECT_EQ(ConcatStream_create(&tc.base, &td.base), nullptr);
    Mem_failAfter(0);
}

// ---------------------------------------------------------- byte readers

TEST_F(ByteStreamTest, LittleEndianReadersAdvanceAndSignExtend)
{
    const uint8_t bytes[] = {0xFE, 0xFF, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t *p = bytes;
    EXPECT_EQ(Bytes_peekU16Le(p), 65534u);
    EXPECT_EQ(Bytes_readS16Le(&p), -2);
    EXPECT_EQ(p, bytes + 2);
    EXPECT_EQ(Bytes_peekU32Le(p), 0x12345678u);
    EXPECT_EQ(Bytes_readU32Le(&p), 0x12345678u);
    EXPECT_EQ(Bytes_readS32Le(&p), 0xFFFFFFFFu);
    EXPECT_EQ(p, bytes + 10);
    p = bytes;
    EXPECT_EQ(Bytes_readU16Le(&p), 65534u);
    EXPECT_EQ(Bytes_readU16Le(&p), 0x5678u);
    EXPECT_EQ(Bytes_peekU16Be(bytes + 2), 0x7856u);
    EXPECT_EQ(Bytes_peekU32Be(bytes + 2), 0x78563412u);
    EXPECT_EQ(Bytes_peekS16Be(bytes), -257); // 0xFEFF
    EXPECT_EQ(Bytes_peekU16(bytes + 2, 0), 0x5678u);
    EXPECT_EQ(Bytes_peekU16(bytes + 2, 1), 0x7856u);
    EXPECT_EQ(Bytes_peekU32(bytes + 2, 0), 0x12345678u);
    EXPECT_EQ(Bytes_peekU32(bytes + 2, 1), 0x78563412u);
}

TEST_F(ByteStreamTest, LittleEndianWritersStoreLowByteFirstAndNoMore)
{
    uint8_t bytes[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    Bytes_putU16Le(bytes, 0x12345); // only the low 16 bits are stored
    EXPECT_EQ(bytes[0], 0x45u);
    EXPECT_EQ(bytes[1], 0x23u);
    EXPECT_EQ(bytes[2], 0xAAu);
    Bytes_putU32Le(bytes + 1, 0x89ABCDEFu);
    const uint8_t want[6] = {0x45, 0xEF, 0xCD, 0xAB, 0x89, 0xAA};
    EXPECT_EQ(memcmp(bytes, want, sizeof want), 0);
    EXPECT_EQ(Bytes_peekU32Le(bytes + 1), 0x89ABCDEFu);
    Bytes_putU16Le(bytes + 4, Bytes_peekU16Le(bytes));
    EXPECT_EQ(Bytes_peekU16Le(bytes + 4), 0xEF45u);
}

TEST_F(ByteStreamTest, CursorReadsFieldsInEitherByteOrder)
{
    const uint8_t bytes[] = {0x01, 0xFE, 0xFF, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF};
    ByteCursor le = ByteCursor_make(bytes, sizeof bytes, 0);
    EXPECT_EQ(ByteCursor_u8(&le), 1u);
    EXPECT_EQ(int16_t(ByteCursor_u16(&le)), -2);
    EXPECT_EQ(ByteCursor_u32(&le), 0x12345678u);
    EXPECT_EQ(ByteCursor_i32(&le), -1);
    EXPECT_EQ(ByteCursor_left(&le), 0u);
    EXPECT_EQ(le.overrun, 0u);

    ByteCursor be = ByteCursor_make(bytes, sizeof bytes, 1);
    ByteCursor_seek(&be, 1);
    EXPECT_EQ(ByteCursor_u16(&be), 0xFEFFu);
    EXPECT_EQ(ByteCursor_u32(&be), 0x78563412u);
    ByteCursor_seek(&be, 7);
    EXPECT_EQ(int16_t(ByteCursor_u16(&be)), -1);
    EXPECT_EQ(be.overrun, 0u);
}

TEST_F(ByteStreamTest, CursorOverrunReadsZeroAndStaysAtTheEnd)
{
    const uint8_t bytes[] = {0x11, 0x22, 0x33};
    struct Case {
        const char *what;
        int step; // 0: u32 at 0, 1: u16 at 2, 2: u16 at 0 then u16, 3: seek 4, 4: u8 on empty span
    };
    const Case cases[] = {{"u32 longer than the span", 0},
                          {"u16 across the end", 1},
                          {"a second read past the end", 2},
                          {"seek past the end", 3},
                          {"read from an empty span", 4}};
    for (const Case &t : cases) {
        SCOPED_TRACE(t.what);
        ByteCursor c = ByteCursor_make(bytes, t.step == 4 ? 0 : sizeof bytes, 0);
        uint32_t v = 0;
        if (t.step == 0)
            v = ByteCursor_u32(&c);
        else if (t.step == 1) {
            ByteCursor_seek(&c, 2);
            v = ByteCursor_u16(&c);
        } else if (t.step == 2) {
            EXPECT_EQ(ByteCursor_u16(&c), 0x2211u);
            v = ByteCursor_u16(&c);
        } else if (t.step == 3)
            ByteCursor_seek(&c, 4);
        else
            v = ByteCursor_u8(&c);
        EXPECT_EQ(v, 0u);
        EXPECT_EQ(c.overrun, 1u);
        EXPECT_EQ(ByteCursor_left(&c), 0u);
        EXPECT_EQ(ByteCursor_u8(&c), 0u);
    }
    // Seeking back inside the span reads again; overrun stays set.
    ByteCursor c = ByteCursor_make(bytes, sizeof bytes, 0);
    ByteCursor_seek(&c, 9);
    ByteCursor_seek(&c, 1);
    EXPECT_EQ(ByteCursor_u16(&c), 0x3322u);
    EXPECT_EQ(c.overrun, 1u);
}

TEST_F(ByteStreamTest, FieldTableReadsEachFieldAndFlagsShortRecords)
{
    const uint8_t record[] = {0xAA, 0x34, 0x12, 0x00, 0x78, 0x56, 0x34, 0x12};
    const ByteField fields[] = {{0, 1}, {1, 2}, {4, 4}, {6, 4}, {8, 1}};
    uint32_t values[5];
    EXPECT_EQ(Bytes_readFields(record, sizeof record, 0, fields, 3, values), Res_ok);
    EXPECT_EQ(values[0], 0xAAu);
    EXPECT_EQ(values[1], 0x1234u);
    EXPECT_EQ(values[2], 0x12345678u);
    EXPECT_EQ(Bytes_readFields(record, sizeof record, 1, fields, 3, values), Res_ok);
    EXPECT_EQ(values[1], 0x3412u);
    EXPECT_EQ(values[2], 0x78563412u);
    // The last two fields lie past the end: they read 0, the others still read.
    values[3] = values[4] = 7;
    EXPECT_EQ(Bytes_readFields(record, sizeof record, 0, fields, 5, values), Res_byteStreamEnded);
    EXPECT_EQ(values[2], 0x12345678u);
    EXPECT_EQ(values[3], 0u);
    EXPECT_EQ(values[4], 0u);
}

// ------------------------------------------------------- keyword tables

TEST_F(ByteStreamTest, KeyTableSearchMatchesWholeNamesIgnoringCase)
{
    // Sorted names; "b" and "border" share a prefix, as do "col",
    // "color" and "colspan".
    const char names[] = "alignbbordercolcolorcolspanwidth";
    const KeyTabRecord table[] = {
        {0, 5, {1, 0}},  {5, 1, {2, 0}},  {6, 6, {3, 0}},  {12, 3, {4, 0}},
        {15, 5, {5, 0}}, {20, 7, {6, 0}}, {27, 5, {7, 0}},
    };
    struct Case {
        const char16_t *key;
        int32_t lo, hi, want;
    } cases[] = {
        {u"align", -1, 7, 0},
        {u"B", -1, 7, 1},
        {u"BORDER", -1, 7, 2},
        {u"col", -1, 7, 3},
        {u"Color", -1, 7, 4},
        {u"colspan", -1, 7, 5},
        {u"width", -1, 7, 6},
        {u"colo", -1, 7, -1},
        {u"colors", -1, 7, -1},
        {u"zz", -1, 7, -1},
        {u"", -1, 7, -1},
        // The bounds themselves are never looked at.
        {u"align", 0, 7, -1},
        {u"width", -1, 6, -1},
        {u"col", 2, 4, 3},
    };
    for (const Case &c : cases) {
        size_t n = 0;
        while (c.key[n])
            n++;
        EXPECT_EQ(KeyTab_bsearch(table, c.lo, c.hi, names, c.key, n), c.want)
            << std::string(c.key, c.key + n);
    }
    auto wordIs = [](const KeyTabRecord *r, void *arg) {
        return int(r->words[0] == *static_cast<uint32_t *>(arg));
    };
    uint32_t want = 5;
    char16_t *found = KeyTab_findIf(table, 7, names, wordIs, &want);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::u16string(found), u"color");
    Mem_free(found);
    want = 9;
    EXPECT_EQ(KeyTab_findIf(table, 7, names, wordIs, &want), nullptr);
}

} // namespace
