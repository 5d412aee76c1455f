// The CCITT fax image codec and the T.4/T.6 decoder.
//
// Rows are decoded into one byte per pixel (1 white, 0 black) against the
// row before them. The bit reader keeps the bytes it has read in a small
// window, so that looking ahead for end-of-line codes and moving back
// before them never seeks the stream. Past the end of the data it reads 1
// bits and remembers where the data ended; a row that would start there
// (or where only fill bits are left) ends the decode, leaving the rows not
// decoded as the background.
#include "graphics/codecs/ccitt.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/task/task.h"
#include "core/text/fmt.h"
#include "graphics/imagecodec.h"
#include "graphics/imageconv.h"
#include "graphics/pixelbuf.h"

namespace {

// ------------------------------------------------------------ code tables

// One code: its bits left-aligned in 13 (run codes) or 12 (mode codes)
// bits, its length and its run or mode.
struct FaxCode {
    uint16_t code;
    uint8_t length;
    uint16_t value;
};

struct CodeText {
    const char *bits;
    uint16_t value;
};

constexpr uint16_t eolRun = 4095;

// ITU-T T.4: terminating codes (0-63), make-up codes (64-1728), the
// extended make-up codes of both colours (1792-2560) and end of line.
constexpr CodeText whiteText[] = {
    {"00110101", 0},
    {"000111", 1},
    {"0111", 2},
    {"1000", 3},
    {"1011", 4},
    {"1100", 5},
    {"1110", 6},
    {"1111", 7},
    {"10011", 8},
    {"10100", 9},
    {"00111", 10},
    {"01000", 11},
    {"001000", 12},
    {"000011", 13},
    {"110100", 14},
    {"110101", 15},
    {"101010", 16},
    {"101011", 17},
    {"0100111", 18},
    {"0001100", 19},
    {"0001000", 20},
    {"0010111", 21},
    {"0000011", 22},
    {"0000100", 23},
    {"0101000", 24},
    {"0101011", 25},
    {"0010011", 26},
    {"0100100", 27},
    {"0011000", 28},
    {"00000010", 29},
    {"00000011", 30},
    {"00011010", 31},
    {"00011011", 32},
    {"00010010", 33},
    {"00010011", 34},
    {"00010100", 35},
    {"00010101", 36},
    {"00010110", 37},
    {"00010111", 38},
    {"00101000", 39},
    {"00101001", 40},
    {"00101010", 41},
    {"00101011", 42},
    {"00101100", 43},
    {"00101101", 44},
    {"00000100", 45},
    {"00000101", 46},
    {"00001010", 47},
    {"00001011", 48},
    {"01010010", 49},
    {"01010011", 50},
    {"01010100", 51},
    {"01010101", 52},
    {"00100100", 53},
    {"00100101", 54},
    {"01011000", 55},
    {"01011001", 56},
    {"01011010", 57},
    {"01011011", 58},
    {"01001010", 59},
    {"01001011", 60},
    {"00110010", 61},
    {"00110011", 62},
    {"00110100", 63},
    {"11011", 64},
    {"10010", 128},
    {"010111", 192},
    {"0110111", 256},
    {"00110110", 320},
    {"00110111", 384},
    {"01100100", 448},
    {"01100101", 512},
    {"01101000", 576},
    {"01100111", 640},
    {"011001100", 704},
    {"011001101", 768},
    {"011010010", 832},
    {"011010011", 896},
    {"011010100", 960},
    {"011010101", 1024},
    {"011010110", 1088},
    {"011010111", 1152},
    {"011011000", 1216},
    {"011011001", 1280},
    {"011011010", 1344},
    {"011011011", 1408},
    {"010011000", 1472},
    {"010011001", 1536},
    {"010011010", 1600},
    {"011000", 1664},
    {"010011011", 1728},
    {"00000001000", 1792},
    {"00000001100", 1856},
    {"00000001101", 1920},
    {"000000010010", 1984},
    {"000000010011", 2048},
    {"000000010100", 2112},
    {"000000010101", 2176},
    {"000000010110", 2240},
    {"000000010111", 2304},
    {"000000011100", 2368},
    {"000000011101", 2432},
    {"000000011110", 2496},
    {"000000011111", 2560},
    {"000000000001", eolRun},
};

constexpr CodeText blackText[] = {
    {"0000110111", 0},
    {"010", 1},
    {"11", 2},
    {"10", 3},
    {"011", 4},
    {"0011", 5},
    {"0010", 6},
    {"00011", 7},
    {"000101", 8},
    {"000100", 9},
    {"0000100", 10},
    {"0000101", 11},
    {"0000111", 12},
    {"00000100", 13},
    {"00000111", 14},
    {"000011000", 15},
    {"0000010111", 16},
    {"0000011000", 17},
    {"0000001000", 18},
    {"00001100111", 19},
    {"00001101000", 20},
    {"00001101100", 21},
    {"00000110111", 22},
    {"00000101000", 23},
    {"00000010111", 24},
    {"00000011000", 25},
    {"000011001010", 26},
    {"000011001011", 27},
    {"000011001100", 28},
    {"000011001101", 29},
    {"000001101000", 30},
    {"000001101001", 31},
    {"000001101010", 32},
    {"000001101011", 33},
    {"000011010010", 34},
    {"000011010011", 35},
    {"000011010100", 36},
    {"000011010101", 37},
    {"000011010110", 38},
    {"000011010111", 39},
    {"000001101100", 40},
    {"000001101101", 41},
    {"000011011010", 42},
    {"000011011011", 43},
    {"000001010100", 44},
    {"000001010101", 45},
    {"000001010110", 46},
    {"000001010111", 47},
    {"000001100100", 48},
    {"000001100101", 49},
    {"000001010010", 50},
    {"000001010011", 51},
    {"000000100100", 52},
    {"000000110111", 53},
    {"000000111000", 54},
    {"000000100111", 55},
    {"000000101000", 56},
    {"000001011000", 57},
    {"000001011001", 58},
    {"000000101011", 59},
    {"000000101100", 60},
    {"000001011010", 61},
    {"000001100110", 62},
    {"000001100111", 63},
    {"0000001111", 64},
    {"000011001000", 128},
    {"000011001001", 192},
    {"000001011011", 256},
    {"000000110011", 320},
    {"000000110100", 384},
    {"000000110101", 448},
    {"0000001101100", 512},
    {"0000001101101", 576},
    {"0000001001010", 640},
    {"0000001001011", 704},
    {"0000001001100", 768},
    {"0000001001101", 832},
    {"0000001110010", 896},
    {"0000001110011", 960},
    {"0000001110100", 1024},
    {"0000001110101", 1088},
    {"0000001110110", 1152},
    {"0000001110111", 1216},
    {"0000001010010", 1280},
    {"0000001010011", 1344},
    {"0000001010100", 1408},
    {"0000001010101", 1472},
    {"0000001011010", 1536},
    {"0000001011011", 1600},
    {"0000001100100", 1664},
    {"0000001100101", 1728},
    {"00000001000", 1792},
    {"00000001100", 1856},
    {"00000001101", 1920},
    {"000000010010", 1984},
    {"000000010011", 2048},
    {"000000010100", 2112},
    {"000000010101", 2176},
    {"000000010110", 2240},
    {"000000010111", 2304},
    {"000000011100", 2368},
    {"000000011101", 2432},
    {"000000011110", 2496},
    {"000000011111", 2560},
    {"000000000001", eolRun},
};

// Two-dimensional mode codes.
enum Mode : uint16_t {
    modeEol = 0,
    modePass = 1,
    modeHorizontal = 2,
    modeV0 = 3,
    modeVR1 = 4,
    modeVR2 = 5,
    modeVR3 = 6,
    modeVL1 = 7,
    modeVL2 = 8,
    modeVL3 = 9,
    modeExtension = 10,
};

constexpr CodeText modeText[] = {
    {"1", modeV0},
    {"011", modeVR1},
    {"000011", modeVR2},
    {"0000011", modeVR3},
    {"010", modeVL1},
    {"000010", modeVL2},
    {"0000010", modeVL3},
    {"0001", modePass},
    {"001", modeHorizontal},
    {"0000001", modeExtension},
    {"000000000001", modeEol},
};

constexpr size_t runCodes = 105;
constexpr size_t modeCodes = 11;
static_assert(sizeof whiteText / sizeof whiteText[0] == runCodes);
static_assert(sizeof blackText / sizeof blackText[0] == runCodes);
static_assert(sizeof modeText / sizeof modeText[0] == modeCodes);

template <size_t N> struct CodeTable {
    FaxCode entries[N];
};

// The table of texts as codes left-aligned in `bits` bits, sorted by code.
template <size_t N> constexpr CodeTable<N> makeTable(const CodeText (&text)[N], uint32_t bits)
{
    CodeTable<N> t{};
    for (size_t i = 0; i < N; i++) {
        uint32_t value = 0, length = 0;
        for (const char *p = text[i].bits; *p; p++, length++)
            value = (value << 1) | uint32_t(*p - '0');
        t.entries[i] = FaxCode{uint16_t(value << (bits - length)), uint8_t(length), text[i].value};
    }
    std::sort(t.entries, t.entries + N,
              [](const FaxCode &a, const FaxCode &b) { return a.code < b.code; });
    return t;
}

constexpr CodeTable<runCodes> whiteCodes = makeTable(whiteText, 13);
constexpr CodeTable<runCodes> blackCodes = makeTable(blackText, 13);
constexpr CodeTable<modeCodes> modeTable = makeTable(modeText, 12);

// The code that the `bits`-bit value begins with, or null. The codes are
// prefix-free, so the match is the last code not above the value.
template <size_t N> const FaxCode *lookUp(const CodeTable<N> &table, uint32_t value, uint32_t bits)
{
    const FaxCode *e = table.entries;
    size_t lo = 0, hi = N; // the answer lies below hi
    while (hi - lo > 1) {
        size_t mid = (lo + hi) / 2;
        if (e[mid].code <= value)
            lo = mid;
        else
            hi = mid;
    }
    const FaxCode *c = &e[lo];
    uint32_t shift = bits - c->length;
    if (c->code > value || (value >> shift) != (uint32_t(c->code) >> shift))
        return nullptr;
    return c;
}

// ------------------------------------------------------------- bit reader

enum : uint32_t {
    windowBytes = 256,
    keepBytes = 96,   // bytes kept behind the read position for moving back
    maxFillBits = 64, // zero fill bits allowed before an end-of-line code
};

struct FaxBits {
    ByteStream *stream;
    int64_t position;    // bit position from where reading started
    int64_t endPosition; // the bit where the data ended; -1 while they have not
    int64_t windowStart; // the byte index of window[0]
    uint32_t windowCount;
    int32_t status; // the stream's error
    uint8_t window[windowBytes];
};

void bitsInit(FaxBits *b, ByteStream *stream)
{
    b->stream = stream;
    b->position = 0;
    b->endPosition = -1;
    b->windowStart = 0;
    b->windowCount = 0;
    b->status = Res_ok;
}

// Makes the bits up to position + n readable.
void ensure(FaxBits *b, uint32_t n)
{
    int64_t needEnd = (b->position + n + 7) / 8; // byte index just past the bits
    if (needEnd <= b->windowStart + b->windowCount)
        return;
    if (needEnd - b->windowStart > windowBytes) {
        // Drop what lies well behind the read position.
        int64_t keepFrom = std::max<int64_t>(b->position / 8 - keepBytes, b->windowStart);
        uint32_t drop = uint32_t(keepFrom - b->windowStart);
        memmove(b->window, b->window + drop, b->windowCount - drop);
        b->windowCount -= drop;
        b->windowStart = keepFrom;
    }
    while (b->windowStart + b->windowCount < needEnd) {
        uint32_t room = windowBytes - b->windowCount;
        if (room == 0)
            break;
        uint32_t want =
            uint32_t(std::min<int64_t>(needEnd - b->windowStart - b->windowCount, room));
        ByteStream *s = b->stream;
        int64_t have = 0;
        if (b->endPosition < 0) {
            have = int64_t(s->end - s->readPtr);
            if (have <= 0)
                have = ByteStream_available(s, 0);
            if (have <= 0) {
                b->status = ByteStream_takeStatus(s);
                b->endPosition = (b->windowStart + b->windowCount) * 8;
            }
        }
        if (b->endPosition >= 0) {
            // Past the end: 1 bits.
            memset(b->window + b->windowCount, 0xFF, want);
            b->windowCount += want;
            continue;
        }
        uint32_t step = uint32_t(std::min<int64_t>(have, room));
        memcpy(b->window + b->windowCount, s->readPtr, step);
        s->readPtr += step;
        b->windowCount += step;
    }
}

// The n (1-32) bits after offset bits from the read position, most
// significant first.
uint32_t peekAt(FaxBits *b, uint32_t offset, uint32_t n)
{
    ensure(b, offset + n);
    int64_t bit = b->position + offset - b->windowStart * 8;
    uint64_t acc = 0;
    uint32_t got = 0;
    int64_t byte = bit / 8;
    uint32_t skip = uint32_t(bit % 8);
    while (got < n + skip) {
        acc = (acc << 8) | b->window[byte++];
        got += 8;
    }
    return uint32_t((acc >> (got - skip - n)) & ((uint64_t(1) << n) - 1));
}

uint32_t peek(FaxBits *b, uint32_t n)
{
    return peekAt(b, 0, n);
}

void consume(FaxBits *b, uint32_t n)
{
    b->position += n;
}

// Moves back (or on) to an absolute bit position still in the window.
void seekBits(FaxBits *b, int64_t position)
{
    b->position = std::max<int64_t>(position, b->windowStart * 8);
}

bool pastEnd(const FaxBits *b)
{
    return b->endPosition >= 0 && b->position >= b->endPosition;
}

// The number of 0 bits at offset, up to limit.
uint32_t zerosAt(FaxBits *b, uint32_t offset, uint32_t limit)
{
    uint32_t n = 0;
    while (n < limit && peekAt(b, offset + n, 1) == 0)
        n++;
    return n;
}

// Reads an end-of-line code, fill bits before it included: true and
// consumed, or false and nothing consumed.
bool readEol(FaxBits *b)
{
    uint32_t zeros = zerosAt(b, 0, 11 + maxFillBits + 1);
    if (zeros < 11 || zeros > 11 + maxFillBits)
        return false;
    consume(b, zeros + 1);
    return true;
}

// No data left to start a row from: the end was passed, or only zero fill
// bits remain before it.
bool dataExhausted(FaxBits *b)
{
    ensure(b, 32);
    if (b->endPosition < 0)
        return false;
    if (b->position >= b->endPosition)
        return true;
    int64_t left = b->endPosition - b->position;
    return left <= 32 && zerosAt(b, 0, uint32_t(left)) == uint32_t(left);
}

// ------------------------------------------------------------------ rows

enum RowResult { rowDone, rowDamaged, rowAtEol, rowFailed };

void fill(uint8_t *row, int32_t from, int32_t to, uint8_t colour)
{
    if (to > from)
        memset(row + from, colour, size_t(to - from));
}

// A run sequence of colour: make-up codes and one terminating code. -1 for
// an end-of-line code (not consumed), -2 for a code not in the table.
int32_t readRun(FaxBits *b, uint8_t colour, int32_t limit)
{
    int32_t total = 0;
    for (;;) {
        uint32_t value = peek(b, 13);
        const FaxCode *c = colour ? lookUp(whiteCodes, value, 13) : lookUp(blackCodes, value, 13);
        if (!c)
            return -2;
        if (c->value == eolRun)
            return -1;
        consume(b, c->length);
        total += c->value;
        if (total > limit)
            return total; // the caller sees the row overrun
        if (c->value < 64)
            return total;
    }
}

RowResult decode1D(FaxBits *b, FaxRows *rows)
{
    int32_t width = rows->columns, a0 = 0;
    uint8_t colour = 1;
    while (a0 < width) {
        int32_t run = readRun(b, colour, width - a0);
        if (run == -1)
            return rowDamaged;
        if (run < 0 || run > width - a0)
            return rowDamaged;
        fill(rows->current, a0, a0 + run, colour);
        a0 += run;
        colour ^= 1;
    }
    return rowDone;
}

// The first changing element of the reference row at or after from whose
// colour is the opposite of colour; width when none.
int32_t findB1(const uint8_t *ref, int32_t width, int32_t from, uint8_t colour)
{
    for (int32_t i = from < 0 ? 0 : from; i < width; i++) {
        uint8_t before = i == 0 ? 1 : ref[i - 1];
        if (ref[i] != colour && before == colour)
            return i;
    }
    return width;
}

// The next changing element after b1.
int32_t findB2(const uint8_t *ref, int32_t width, int32_t b1)
{
    for (int32_t i = b1 + 1; i < width; i++)
        if (ref[i] != ref[i - 1])
            return i;
    return width;
}

// Uncompressed mode from a0 until its exit code: the next colour in
// *colour. False for a damaged row.
bool uncompressed(FaxBits *b, FaxRows *rows, int32_t *a0, uint8_t *colour)
{
    int32_t width = rows->columns;
    for (;;) {
        uint32_t zeros = zerosAt(b, 0, 12);
        if (zeros >= 11)
            return false; // an end-of-line code inside
        int32_t white = 0, black = 0;
        bool exit = false;
        if (zeros <= 4) {
            white = int32_t(zeros);
            black = 1;
            consume(b, zeros + 1);
        } else if (zeros == 5) {
            white = 5;
            consume(b, 6);
        } else {
            white = int32_t(zeros) - 6;
            exit = true;
            consume(b, zeros + 1);
            *colour = peek(b, 1) ? 0 : 1;
            consume(b, 1);
        }
        if (white + black > width - *a0)
            return false;
        fill(rows->current, *a0, *a0 + white, 1);
        fill(rows->current, *a0 + white, *a0 + white + black, 0);
        *a0 += white + black;
        if (exit)
            return true;
    }
}

RowResult decode2D(FaxBits *b, FaxRows *rows)
{
    const uint8_t *ref = rows->reference;
    uint8_t *cur = rows->current;
    int32_t width = rows->columns, a0 = 0;
    uint8_t colour = 1;
    bool first = true;
    while (a0 < width) {
        uint32_t value = peek(b, 12);
        const FaxCode *c = value ? lookUp(modeTable, value, 12) : nullptr;
        if (!c) {
            Fmt_snprintf(rows->message, sizeof rows->message,
                         "Unrecognised huffman code 0x%x in fax data", unsigned(value));
            return rowFailed;
        }
        if (c->value == modeEol)
            return a0 == 0 ? rowAtEol : rowDamaged;
        consume(b, c->length);
        int32_t b1 = findB1(ref, width, first ? 0 : a0 + 1, colour);
        first = false;
        switch (c->value) {
        case modePass: {
            int32_t b2 = findB2(ref, width, b1);
            fill(cur, a0, b2, colour);
            a0 = b2;
            break;
        }
        case modeHorizontal: {
            int32_t r1 = readRun(b, colour, width - a0);
            if (r1 < 0 || r1 > width - a0)
                return rowDamaged;
            int32_t r2 = readRun(b, colour ^ 1, width - a0 - r1);
            if (r2 < 0 || r2 > width - a0 - r1)
                return rowDamaged;
            fill(cur, a0, a0 + r1, colour);
            fill(cur, a0 + r1, a0 + r1 + r2, colour ^ 1);
            a0 += r1 + r2;
            break;
        }
        case modeExtension:
            if (peek(b, 3) != 7)
                return rowDamaged;
            consume(b, 3);
            if (!uncompressed(b, rows, &a0, &colour))
                return rowDamaged;
            break;
        default: {
            static constexpr int8_t offsets[] = {0, 0, 0, 0, 1, 2, 3, -1, -2, -3};
            int32_t a1 = b1 + offsets[c->value];
            if (a1 > width || a1 < a0)
                return rowDamaged;
            fill(cur, a0, a1, colour);
            a0 = a1;
            colour ^= 1;
            break;
        }
        }
    }
    return rowDone;
}

} // namespace

// ---------------------------------------------------------------- decoder

int FaxRows_init(FaxRows *rows, int32_t columns, FaxRowWriter write, void *writeArg)
{
    *rows = FaxRows{};
    rows->columns = columns;
    rows->write = write;
    rows->writeArg = writeArg;
    if (columns <= 0)
        return Res_ok;
    rows->current = static_cast<uint8_t *>(Mem_malloc(size_t(columns)));
    rows->reference = static_cast<uint8_t *>(Mem_malloc(size_t(columns)));
    if (!rows->current || !rows->reference) {
        FaxRows_free(rows);
        return Res_noMemory;
    }
    memset(rows->current, 1, size_t(columns));
    memset(rows->reference, 1, size_t(columns));
    return Res_ok;
}

void FaxRows_free(FaxRows *rows)
{
    Mem_free(rows->current);
    Mem_free(rows->reference);
    rows->current = rows->reference = nullptr;
}

int Fax_decode(EngineContext *context, int32_t columns, int32_t rows, int32_t K, int32_t endOfLine,
               int32_t byteAlign, int32_t endOfBlock, int32_t damagedRows, ByteStream *stream,
               FaxRows *state)
{
    if (rows <= 0 || columns <= 0 || columns != state->columns || !state->current)
        return Res_faxNoRows;
    state->message[0] = 0;
    FaxBits *b = static_cast<FaxBits *>(Mem_malloc(sizeof(FaxBits)));
    if (!b)
        return Res_noMemory;
    bitsInit(b, stream);
    // T.4 data begin with an end-of-line code before the first row.
    (void)readEol(b);
    int32_t damaged = 0;
    bool previousDamaged = false;
    int result = Res_ok;
    for (int32_t row = 0; row < rows; row++) {
        if (Task_checkStop(context) == Res_stopRequested) {
            result = Res_stopRequested;
            break;
        }
        if (dataExhausted(b))
            break;
        bool twoD = K < 0;
        if (K > 0) {
            twoD = peek(b, 1) == 0;
            consume(b, 1);
            if (twoD && row == 0) {
                result = Res_faxBadData;
                break;
            }
        }
        RowResult r = twoD ? decode2D(b, state) : decode1D(b, state);
        if (r == rowFailed) {
            result = Res_faxBadData;
            break;
        }
        bool eol = false;
        if (r == rowAtEol) {
            // An end-of-line code where a row should start: the end of
            // the block, or a row that is missing.
            eol = readEol(b);
            if (endOfBlock && K < 0 && readEol(b))
                break;
            r = rowDamaged;
        }
        bool repaired = false;
        if (r == rowDamaged) {
            damaged++;
            if (damaged > damagedRows || !endOfLine || K < 0) {
                result = Res_faxBadData;
                break;
            }
            if (previousDamaged)
                memset(state->current, 1, size_t(columns));
            else
                memcpy(state->current, state->reference, size_t(columns));
            // On to just after the next end-of-line code.
            if (!eol) {
                while (!readEol(b) && !pastEnd(b))
                    consume(b, 1);
                if (pastEnd(b)) {
                    result = Res_faxBadData;
                    break;
                }
            }
            eol = true;
            repaired = true;
        } else {
            eol = readEol(b);
            // The last row may end with the data instead of a code.
            if (endOfLine && !eol && !dataExhausted(b)) {
                result = Res_faxBadData;
                break;
            }
        }
        previousDamaged = repaired;
        bool endOfData = false;
        if (endOfBlock && eol) {
            if (K >= 0) {
                // Five more end-of-line codes (each with a tag bit 1 in
                // mixed data) make the return to control.
                int64_t mark = b->position;
                int n = 0;
                bool tagged = K == 0 || peek(b, 1) == 1;
                if (K > 0 && tagged)
                    consume(b, 1); // the tag bit of the code just read
                while (tagged && n < 5 && readEol(b)) {
                    if (K > 0) {
                        if (peek(b, 1) != 1)
                            break;
                        consume(b, 1);
                    }
                    n++;
                }
                if (n == 5)
                    endOfData = true;
                else
                    seekBits(b, mark);
            } else if (readEol(b)) {
                endOfData = true;
            }
        }
        if (byteAlign)
            consume(b, uint32_t((8 - b->position % 8) % 8));
        if (b->status != Res_ok) {
            result = b->status;
            break;
        }
        int w = state->write ? state->write(state->writeArg, state->current, row) : Res_ok;
        if (w != Res_ok) {
            result = w;
            break;
        }
        std::swap(state->current, state->reference);
        if (endOfData)
            break;
    }
    // A failing stream is the cause of whatever the bits after it did.
    if ((result == Res_ok || result == Res_faxBadData) && b->status != Res_ok)
        result = b->status;
    Mem_free(b);
    return result;
}

// ------------------------------------------------------------------ codec

namespace {

// Asks the hook for a 4-byte integer: the error, with *value left alone
// when there is no such answer.
int askInt(ImageHook hook, void *hookArg, int32_t op, int32_t *value)
{
    if (!hook)
        return Res_ok;
    int32_t size = 0;
    int r = hook(hookArg, op, nullptr, &size);
    if (r != Res_ok || size != 4)
        return r;
    int32_t answer = 0;
    r = hook(hookArg, op, &answer, &size);
    if (r == Res_ok)
        *value = answer;
    return r;
}

// Asks the hook for an answer of exactly size bytes: the error; *answered
// 1 when it came.
int askBytes(ImageHook hook, void *hookArg, int32_t op, void *buffer, int32_t size, int *answered)
{
    *answered = 0;
    if (!hook)
        return Res_ok;
    int32_t have = 0;
    int r = hook(hookArg, op, nullptr, &have);
    if (r != Res_ok || have != size)
        return r;
    r = hook(hookArg, op, buffer, &have);
    if (r == Res_ok)
        *answered = 1;
    return r;
}

// A hook colour 0x00RRGGBB as an engine colour 0x00BBGGRR.
uint32_t hookColour(uint32_t rgb)
{
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

// A decode-list value x 255, truncated into 0-255 (NaN gives 0).
uint8_t maskLevel(float v)
{
    float scaled = v * 255.0f;
    if (!(scaled > 0.0f))
        return 0;
    if (scaled >= 255.0f)
        return 255;
    return uint8_t(scaled);
}

enum OutputMode { outStencil = 0, outImage16 = 1, outImage32 = 2 };

// Where decoded rows go: bands of the store's staging rows.
struct FaxOutput {
    ImageObject *image;
    OutputMode mode;
    uint32_t bytesPerPixel;
    uint32_t pixel[2]; // picture pixel per bit value (0 black, 1 white)
    uint8_t maskOf[2]; // stencil mask byte per bit value
    PixelBuf *band;
    PixelBuf *bandMask;
    int32_t bandRow;   // the image row of the band's first row
    int32_t bandCount; // rows in the band
    int32_t filled;    // rows of the band written
    int32_t columns;
    uint32_t background; // 0: the picture's background is 0, else white
};

int flushBand(FaxOutput *o)
{
    if (!o->band || o->filled == 0)
        return Res_ok;
    // The store copies whole bands: rows the data did not reach show the
    // background, as the rest of the picture does.
    int32_t rest = o->bandCount - o->filled;
    if (rest > 0) {
        if (o->background)
            PixelBuf_fillRectWhite(o->band, 0, o->filled, o->band->width, rest);
        else
            PixelBuf_fillRect(o->band, 0, o->filled, o->band->width, rest, 0);
        if (o->bandMask)
            PixelBuf_fillRect(o->bandMask, 0, o->filled, o->bandMask->width, rest, 0);
    }
    int r = Image_putRows(o->image, o->band, o->bandMask);
    int32_t filled = o->filled;
    o->filled = 0;
    o->band = o->bandMask = nullptr;
    if (r != Res_ok)
        return r;
    return ImageDec_rowsDone(o->image, 0, o->bandRow, o->columns, filled);
}

int writeRow(void *arg, const uint8_t *row, int32_t index)
{
    FaxOutput *o = static_cast<FaxOutput *>(arg);
    if (!o->band || index >= o->bandRow + o->bandCount) {
        int r = flushBand(o);
        if (r != Res_ok)
            return r;
        r = Image_getRowBuffer(o->image, &o->band, &o->bandMask, index, &o->bandCount);
        if (r != Res_ok)
            return r;
        o->bandRow = index;
        if (!o->band || o->bandCount <= 0) {
            // The store has no room for this row (it is beyond the
            // picture): nothing to write.
            o->band = o->bandMask = nullptr;
            return Res_ok;
        }
    }
    int32_t i = index - o->bandRow;
    if (i < 0 || i >= o->band->height)
        return Res_ok;
    // A row the store drops while reducing is not converted.
    if (Image_rowDropped(o->image, index)) {
        o->filled = i + 1;
        return o->filled >= o->bandCount ? flushBand(o) : Res_ok;
    }
    int32_t width = std::min(o->columns, o->band->width);
    uint8_t *dst = o->band->pixels + size_t(i) * o->band->stride;
    if (o->mode == outStencil) {
        if (o->bytesPerPixel == 4) {
            for (int32_t x = 0; x < width; x++)
                reinterpret_cast<uint32_t *>(dst)[x] = o->pixel[0];
        } else {
            for (int32_t x = 0; x < width; x++)
                reinterpret_cast<uint16_t *>(dst)[x] = uint16_t(o->pixel[0]);
        }
        if (o->bandMask && i < o->bandMask->height) {
            uint8_t *m = o->bandMask->pixels + size_t(i) * o->bandMask->stride;
            int32_t mw = std::min(width, o->bandMask->width);
            for (int32_t x = 0; x < mw; x++)
                m[x] = o->maskOf[row[x]];
        }
    } else if (o->mode == outImage32) {
        for (int32_t x = 0; x < width; x++)
            reinterpret_cast<uint32_t *>(dst)[x] = o->pixel[row[x]];
    } else {
        for (int32_t x = 0; x < width; x++)
            reinterpret_cast<uint16_t *>(dst)[x] = uint16_t(o->pixel[row[x]]);
    }
    o->filled = i + 1;
    if (o->filled >= o->bandCount)
        return flushBand(o);
    return Res_ok;
}

struct FaxParams {
    int32_t K, endOfLine, byteAlign, endOfBlock, blackIs1, damagedRows, columns, rows, stencil;
};

int askParams(ImageHook hook, void *hookArg, FaxParams *p)
{
    *p = FaxParams{0, 0, 0, 1, 0, 0, Fax_defaultColumns, 0, 0};
    const struct {
        int32_t op;
        int32_t *value;
    } asks[] = {
        {FaxImage_opK, &p->K},
        {FaxImage_opEndOfLine, &p->endOfLine},
        {FaxImage_opByteAlign, &p->byteAlign},
        {FaxImage_opEndOfBlock, &p->endOfBlock},
        {FaxImage_opBlackIs1, &p->blackIs1},
        {FaxImage_opDamagedRows, &p->damagedRows},
        {FaxImage_opColumns, &p->columns},
        {FaxImage_opRows, &p->rows},
        {FaxImage_opStencil, &p->stencil},
    };
    for (const auto &a : asks) {
        int r = askInt(hook, hookArg, a.op, a.value);
        if (r != Res_ok)
            return r;
    }
    return Res_ok;
}

int decodeWith(EngineContext *app, ByteStream *stream, ImageObject *image,
               const ImageCodecParams *params, FaxOutput *out, FaxRows *rows)
{
    ImageHook hook = params->hook;
    void *hookArg = params->hookArg;
    FaxParams p;
    int r = askParams(hook, hookArg, &p);
    if (r != Res_ok)
        return r;
    const PalConv *conv = PalConv_forFormat(app, params->pixelFormat);
    if (!conv)
        return Res_pixelUnsupported;
    out->image = image;
    out->columns = p.columns;
    out->bytesPerPixel = Pixel_bytesPerPixel(params->pixelFormat);
    out->mode = p.stencil ? outStencil : out->bytesPerPixel == 4 ? outImage32 : outImage16;
    r = ImageDec_setHeader(image, p.columns, p.rows, 72, 1, 1, nullptr);
    if (r != Res_ok)
        return r;
    r = FaxRows_init(rows, p.columns, writeRow, out);
    if (r != Res_ok)
        return r;
    r = Image_beginPicture(image, params->pixelFormat, params->maskFormat, p.stencil ? 1 : 0,
                           0x10000);
    if (r != Res_ok)
        return r;
    // The background the store filled the picture with (op 34).
    int answered = 0;
    out->background = 0xFFFFFF;
    r = askBytes(hook, hookArg, 34, &out->background, sizeof out->background, &answered);
    if (r != Res_ok)
        return r;
    if (p.stencil) {
        uint8_t black = 255, white = 0;
        float decode[2] = {0, 0};
        r = askBytes(hook, hookArg, FaxImage_opDecode, decode, sizeof decode, &answered);
        if (r != Res_ok)
            return r;
        if (answered) {
            black = maskLevel(decode[1]);
            white = maskLevel(decode[0]);
        }
        if (p.blackIs1)
            std::swap(black, white);
        out->maskOf[0] = black;
        out->maskOf[1] = white;
        uint32_t paint = 0;
        r = askBytes(hook, hookArg, FaxImage_opPaint, &paint, sizeof paint, &answered);
        if (r != Res_ok)
            return r;
        // The paint colour in the picture's own format, whatever its
        // width.
        out->pixel[0] = out->pixel[1] = conv->toPixel(answered ? hookColour(paint) : 0);
    } else {
        uint32_t colours[2] = {0, 0};
        r = askBytes(hook, hookArg, FaxImage_opColours, colours, sizeof colours, &answered);
        if (r != Res_ok)
            return r;
        out->pixel[0] = conv->toPixel(answered ? hookColour(colours[0]) : 0);
        out->pixel[1] = conv->toPixel(answered ? hookColour(colours[1]) : 0xFFFFFF);
    }
    r = Fax_decode(app, p.columns, p.rows, p.K, p.endOfLine, p.byteAlign, p.endOfBlock,
                   p.damagedRows, stream, rows);
    int flushed = flushBand(out);
    if (r == Res_ok)
        r = flushed;
    if (r == Res_ok && !p.stencil)
        ImageDec_dropMask(image);
    return r;
}

int32_t faxTypeId()
{
    return FaxImage_typeId;
}

} // namespace

int FaxImage_recognise(int32_t *score, ImageHook hook, void *hookArg, const uint8_t *, uint32_t,
                       uint32_t flags)
{
    *score = 0;
    if (!(flags & ImageDec_flagRecognise) || !hook)
        return Res_ok;
    int32_t answer = -1;
    int r = hook(hookArg, FaxImage_opRecognise, nullptr, &answer);
    if (r != Res_ok)
        return r;
    if (answer >= 0)
        *score = 100;
    return Res_ok;
}

int FaxImage_readHeader(EngineContext *, ByteStream *, ImageObject *image, ImageHook hook,
                        void *hookArg)
{
    int32_t columns = Fax_defaultColumns, rows = 0;
    int r = askInt(hook, hookArg, FaxImage_opColumns, &columns);
    if (r == Res_ok)
        r = askInt(hook, hookArg, FaxImage_opRows, &rows);
    if (r != Res_ok)
        return r;
    return ImageDec_setHeader(image, columns, rows, 72, 1, 1, nullptr);
}

int FaxImage_decode(EngineContext *app, void *, ByteStream *stream, ImageObject *image,
                    const ImageCodecParams *params)
{
    FaxOutput out{};
    FaxRows rows{};
    int r = decodeWith(app, stream, image, params, &out, &rows);
    FaxRows_free(&rows);
    return r;
}

ImageCodec *FaxImage_createCodec()
{
    ImageCodec *c = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    if (!c)
        return nullptr;
    c->recognise = FaxImage_recognise;
    c->readHeader = FaxImage_readHeader;
    c->decode = FaxImage_decode;
    c->typeId = faxTypeId;
    return c;
}
