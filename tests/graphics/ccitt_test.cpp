// The CCITT fax decoder and codec: every fixture (T.4 one- and
// two-dimensional, T.6, end-of-line and fill variants) decodes to the PBM
// it was made from, damaged rows are repaired or refused, the end of the
// data and of the block, uncompressed mode, and the codec's outputs: a
// two-colour picture, or a stencil of the paint colour with its mask.
#include <fstream>
#include <sstream>

#include "graphics/codecs/ccitt.h"
#include "tests/graphics/codec_support.h"

namespace {

struct FaxFixture {
    std::string file;
    int32_t columns, rows, K, endOfLine, byteAlign, endOfBlock;
};

std::vector<FaxFixture> faxFixtures()
{
    std::vector<FaxFixture> list;
    std::istringstream in(readFixture("fax_params.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        FaxFixture f{};
        fields >> f.file >> f.columns >> f.rows >> f.K >> f.endOfLine >> f.byteAlign >>
            f.endOfBlock;
        list.push_back(f);
    }
    return list;
}

std::string answerName(const std::string &file)
{
    return file.substr(0, file.rfind('.')) + ".pbm";
}

// The rows of an answer: one byte per pixel, 1 white.
std::vector<std::string> answerRows(const Answer &a)
{
    std::vector<std::string> rows;
    for (int32_t y = 0; y < a.height; y++) {
        std::string row;
        for (int32_t x = 0; x < a.width; x++)
            row += char(a.at(x, y) ? 1 : 0);
        rows.push_back(row);
    }
    return rows;
}

// Bytes from a string of '0' and '1' (other characters ignored), the last
// byte filled with fill bits.
std::string bits(const std::string &text, int fill = 1)
{
    std::string out;
    int n = 0, acc = 0;
    for (char c : text) {
        if (c != '0' && c != '1')
            continue;
        acc = (acc << 1) | (c - '0');
        if (++n == 8) {
            out += char(acc);
            n = acc = 0;
        }
    }
    if (n)
        out += char((acc << (8 - n)) | (fill ? (1 << (8 - n)) - 1 : 0));
    return out;
}

struct Decoded {
    int result = -1;
    std::vector<std::string> rows;
    std::string message;
    int failAt = -1; // the writer fails at this row
};

class FaxTest : public CodecFixture {
  protected:
    // Fax_decode over data with the writer collecting rows.
    Decoded decode(const std::string &data, int32_t columns, int32_t rows, int32_t K,
                   int32_t endOfLine, int32_t byteAlign, int32_t endOfBlock, int32_t damagedRows,
                   int failAt = -1)
    {
        Decoded d;
        d.failAt = failAt;
        FaxRows state;
        columnsNow = columns;
        if (FaxRows_init(&state, columns, collect, this) != Res_ok) {
            ADD_FAILURE() << "no rows";
            return d;
        }
        current = &d;
        TestMemStream *stream = memStream(data);
        d.result = Fax_decode(ctx, columns, rows, K, endOfLine, byteAlign, endOfBlock, damagedRows,
                              &stream->base, &state);
        d.message = state.message;
        current = nullptr;
        (void)ByteStream_close(&stream->base);
        FaxRows_free(&state);
        return d;
    }
    static int collect(void *arg, const uint8_t *row, int32_t index)
    {
        FaxTest *t = static_cast<FaxTest *>(arg);
        Decoded *d = t->current;
        EXPECT_EQ(size_t(index), d->rows.size());
        if (index == d->failAt)
            return 0x6666;
        d->rows.push_back(std::string(reinterpret_cast<const char *>(row), size_t(t->columnsNow)));
        return Res_ok;
    }
    Decoded decodeFixture(const FaxFixture &f, int32_t damagedRows = 0)
    {
        return decode(readFixture(f.file), f.columns, f.rows, f.K, f.endOfLine, f.byteAlign,
                      f.endOfBlock, damagedRows);
    }
    FaxFixture fixture(const std::string &file)
    {
        for (const FaxFixture &f : faxFixtures())
            if (f.file == file)
                return f;
        ADD_FAILURE() << "no fixture " << file;
        return FaxFixture{};
    }
    // The store with the fax codec; hook answers from a fixture's
    // parameters.
    void makeStore(uint32_t format)
    {
        makeCodecStore(format, {FaxImage_createCodec});
    }
    void answerParams(HookAnswers *h, const FaxFixture &f)
    {
        h->setInt(FaxImage_opRecognise, 0);
        h->setInt(FaxImage_opColumns, f.columns);
        h->setInt(FaxImage_opRows, f.rows);
        h->setInt(FaxImage_opK, f.K);
        h->setInt(FaxImage_opEndOfLine, f.endOfLine);
        h->setInt(FaxImage_opByteAlign, f.byteAlign);
        h->setInt(FaxImage_opEndOfBlock, f.endOfBlock);
    }
    Decoded *current = nullptr;
    int32_t columnsNow = 0;
};

// -------------------------------------------------------------- decoding

TEST_F(FaxTest, EveryFixtureDecodesToItsPbm)
{
    std::vector<FaxFixture> list = faxFixtures();
    ASSERT_GE(list.size(), 11u);
    for (const FaxFixture &f : list) {
        Decoded d = decodeFixture(f);
        EXPECT_EQ(d.result, Res_ok) << f.file << " " << d.message;
        std::vector<std::string> want = answerRows(parsePnm(readFixture(answerName(f.file))));
        ASSERT_EQ(d.rows.size(), want.size()) << f.file;
        for (size_t y = 0; y < want.size(); y++)
            EXPECT_TRUE(d.rows[y] == want[y]) << f.file << " row " << y;
    }
}

// Fill bits before end-of-line codes are accepted whether or not rows are
// said to be byte-aligned; end of block may be unmarked.
TEST_F(FaxTest, ParametersThatDoNotChangeTheResult)
{
    for (const char *file :
         {"fax_g3_2d_fill.g3", "fax_g3_align8.g3", "fax_g3_small.g3", "fax_g3_2d_small.g3"}) {
        FaxFixture f = fixture(file);
        std::vector<std::string> want = answerRows(parsePnm(readFixture(answerName(f.file))));
        for (int align : {0, 1}) {
            if (std::string(file).find("fill") == std::string::npos &&
                std::string(file).find("align") == std::string::npos && align)
                continue; // unaligned data cannot be read as aligned
            for (int eob : {0, 1}) {
                for (int eol : {0, 1}) {
                    f.byteAlign = align;
                    f.endOfBlock = eob;
                    f.endOfLine = eol;
                    Decoded d = decodeFixture(f);
                    EXPECT_EQ(d.result, Res_ok)
                        << file << " align " << align << " eob " << eob << " eol " << eol;
                    EXPECT_TRUE(d.rows == want)
                        << file << " align " << align << " eob " << eob << " eol " << eol;
                }
            }
        }
    }
}

// The end of the block stops the decode even when more rows are asked for:
// two end-of-line codes for T.6, six for T.4. Rows not in the data stay
// undecoded.
TEST_F(FaxTest, TheEndOfTheBlockStopsTheDecode)
{
    for (const char *file : {"fax_g4_small.g4", "fax_g3_small.g3", "fax_g4_text.g4"}) {
        FaxFixture f = fixture(file);
        std::vector<std::string> want = answerRows(parsePnm(readFixture(answerName(f.file))));
        f.rows += 7;
        Decoded d = decodeFixture(f);
        EXPECT_EQ(d.result, Res_ok) << file;
        EXPECT_TRUE(d.rows == want) << file << ": " << d.rows.size() << " rows";
    }
}

// Mixed data end with six end-of-line codes, each with its tag bit 1.
TEST_F(FaxTest, MixedDataEndWithTaggedEndOfLineCodes)
{
    FaxFixture f = fixture("fax_g3_2d_small.g3");
    std::vector<std::string> want = answerRows(parsePnm(readFixture(answerName(f.file))));
    std::string rtc;
    for (int i = 0; i < 6; i++)
        rtc += "000000000001 1 ";
    std::string data = readFixture(f.file) + bits(rtc + "0000000", 0);
    Decoded d = decode(data + std::string(20, '\x55'), f.columns, f.rows + 5, f.K, 1, 0, 1, 0);
    EXPECT_EQ(d.result, Res_ok);
    EXPECT_TRUE(d.rows == want) << d.rows.size() << " rows";
    // Five are not the end: the next row begins after them.
    std::string five;
    for (int i = 0; i < 5; i++)
        five += "000000000001 1 ";
    d = decode(readFixture(f.file) + bits(five + "0000000", 0) + std::string(20, '\x55'), f.columns,
               f.rows + 5, f.K, 1, 0, 1, 0);
    EXPECT_EQ(d.result, Res_faxBadData) << "rows made of end-of-line codes";
}

// Data that end without a mark: the rows after the end are not decoded.
TEST_F(FaxTest, DataThatEndEarlyStopAtTheirEnd)
{
    FaxFixture f = fixture("fax_g4_text.g4");
    std::string data = readFixture(f.file);
    std::vector<std::string> want = answerRows(parsePnm(readFixture(answerName(f.file))));
    Decoded d = decode(data.substr(0, data.size() / 2), f.columns, f.rows, f.K, 0, 0, 1, 0);
    EXPECT_EQ(d.result, Res_ok);
    ASSERT_GT(d.rows.size(), 2u);
    EXPECT_LT(d.rows.size(), want.size());
    for (size_t y = 0; y + 1 < d.rows.size(); y++)
        EXPECT_TRUE(d.rows[y] == want[y]) << "row " << y;
    Decoded empty = decode("", 8, 4, -1, 0, 0, 1, 0);
    EXPECT_EQ(empty.result, Res_ok);
    EXPECT_TRUE(empty.rows.empty());
}

// Byte offsets just after each end-of-line code (11 zero bits and a 1).
std::vector<size_t> eolEnds(const std::string &data)
{
    std::vector<size_t> ends;
    int zeros = 0;
    for (size_t i = 0; i < data.size() * 8; i++) {
        int bit = (uint8_t(data[i / 8]) >> (7 - i % 8)) & 1;
        if (bit && zeros >= 11) {
            EXPECT_EQ((i + 1) % 8, 0u) << "aligned data";
            ends.push_back((i + 1) / 8);
        }
        zeros = bit ? 0 : zeros + 1;
    }
    return ends;
}

// An extra end-of-line code where row k should start damages that row:
// it becomes the row before (white after another damaged row) and the
// rest follow one row later.
TEST_F(FaxTest, DamagedRowsAreRepairedUpToTheirCount)
{
    FaxFixture f = fixture("fax_g3_align8.g3");
    std::string data = readFixture(f.file);
    std::vector<std::string> want = answerRows(parsePnm(readFixture(answerName(f.file))));
    std::vector<size_t> ends = eolEnds(data);
    ASSERT_GE(ends.size(), 23u);
    const std::string eol("\x00\x01", 2);
    auto withExtra = [&](std::vector<int> rows) {
        std::string s = data;
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            s.insert(ends[size_t(*it)], eol); // ends[k]: where row k's data begin
        return s;
    };
    struct Case {
        const char *what;
        std::vector<int> damaged; // rows that meet an extra end-of-line code
        int32_t accepted;
        int32_t endOfLine;
        int result;
        std::vector<std::string> rows;
    };
    std::vector<std::string> one(want.begin(), want.begin() + 5);
    one.push_back(want[4]);
    one.insert(one.end(), want.begin() + 5, want.end() - 1);
    std::vector<std::string> two(want.begin(), want.begin() + 5);
    two.push_back(want[4]);
    two.insert(two.end(), want.begin() + 5, want.begin() + 9);
    two.push_back(want[8]);
    two.insert(two.end(), want.begin() + 9, want.end() - 2);
    std::vector<std::string> twice(want.begin(), want.begin() + 5);
    twice.push_back(want[4]);
    twice.push_back(std::string(size_t(f.columns), '\x01'));
    twice.insert(twice.end(), want.begin() + 5, want.end() - 2);
    std::vector<std::string> first5(want.begin(), want.begin() + 5);
    const Case cases[] = {
        {"one damaged row, one accepted", {5}, 1, 1, Res_ok, one},
        {"none accepted", {5}, 0, 1, Res_faxBadData, first5},
        {"end-of-line codes not required", {5}, 3, 0, Res_faxBadData, first5},
        {"two damaged rows, one accepted",
         {5, 9},
         1,
         1,
         Res_faxBadData,
         std::vector<std::string>(one.begin(), one.begin() + 10)},
        {"two damaged rows, two accepted", {5, 9}, 2, 1, Res_ok, two},
        {"two in a row: the second is white", {5, 5}, 2, 1, Res_ok, twice},
    };
    for (const Case &c : cases) {
        Decoded d = decode(withExtra(c.damaged), f.columns, f.rows, f.K, c.endOfLine, f.byteAlign,
                           f.endOfBlock, c.accepted);
        EXPECT_EQ(d.result, c.result) << c.what;
        ASSERT_EQ(d.rows.size(), c.rows.size()) << c.what;
        for (size_t y = 0; y < c.rows.size(); y++)
            EXPECT_TRUE(d.rows[y] == c.rows[y]) << c.what << " row " << y;
    }
}

TEST_F(FaxTest, CodingErrors)
{
    struct Case {
        const char *what;
        std::string data;
        int32_t columns, rows, K, endOfLine, damaged;
        int result;
        size_t rowsWritten;
    };
    // Horizontal mode: white 4, black 2; then 12 zero bits.
    std::string twelveZeros = bits("001 1011 11 000000000000 1111");
    const Case cases[] = {
        {"12 zero bits for a mode code", twelveZeros, 16, 1, -1, 0, 0, Res_faxBadData, 0},
        {"a first row tagged two-dimensional", bits("0 1 1 1 1"), 8, 2, 4, 0, 0, Res_faxBadData, 0},
        {"a missing end-of-line code", readFixture("fax_g4_small.g4"), 37, 23, -1, 1, 0,
         Res_faxBadData, 0},
        {"a vertical code left of a0", bits("010 0000010"), 8, 1, -1, 0, 0, Res_faxBadData, 0},
        {"a vertical code past the row end", bits("011"), 8, 1, -1, 0, 0, Res_faxBadData, 0},
        {"a run past the row end", bits("001 10011 0011"), 8, 1, -1, 0, 0, Res_faxBadData, 0},
        {"an end-of-line code inside a row", bits("001 1011 11 000000000001 1111"), 16, 1, -1, 0, 0,
         Res_faxBadData, 0},
        {"no end-of-line code to repair up to", bits("001"), 8, 1, 0, 1, 5, Res_faxBadData, 0},
        {"rows 0", bits("1"), 8, 0, -1, 0, 0, Res_faxNoRows, 0},
        {"columns 0", bits("1"), 0, 1, -1, 0, 0, Res_faxNoRows, 0},
    };
    for (const Case &c : cases) {
        Decoded d = decode(c.data, c.columns, c.rows, c.K, c.endOfLine, 0, 1, c.damaged);
        EXPECT_EQ(d.result, c.result) << c.what;
        EXPECT_EQ(d.rows.size(), c.rowsWritten) << c.what;
    }
    Decoded d = decode(twelveZeros, 16, 1, -1, 0, 0, 1, 0);
    EXPECT_EQ(d.message, "Unrecognised huffman code 0x0 in fax data");
    d = decode(readFixture("fax_g4_small.g4"), 37, 23, -1, 0, 0, 1, 0, 3);
    EXPECT_EQ(d.result, 0x6666) << "the writer's error";
    EXPECT_EQ(d.rows.size(), 3u);
}

// Uncompressed mode: pixel codes until the exit code, whose last bit
// gives the colour that follows.
TEST_F(FaxTest, UncompressedMode)
{
    struct Case {
        const char *what;
        std::string data;
        int32_t columns;
        int result;
        std::string row;
    };
    const std::string eofb = " 000000000001 000000000001";
    const Case cases[] = {
        {"black, white black, 4 white black, exit", bits("0000001 111 1 01 00001 0000001 0" + eofb),
         8, Res_ok, std::string("\x00\x01\x00\x01\x01\x01\x01\x00", 8)},
        {"5 white, exit with 2 white, then black in 2D",
         bits("0000001 111 000001 000000001 1 1" + eofb), 8, Res_ok,
         std::string("\x01\x01\x01\x01\x01\x01\x01\x00", 8)},
        {"a pixel past the row end", bits("0000001 111 00001 00001" + eofb), 8, Res_faxBadData, ""},
        {"an extension that is not uncompressed mode", bits("0000001 110" + eofb), 8,
         Res_faxBadData, ""},
    };
    for (const Case &c : cases) {
        Decoded d = decode(c.data, c.columns, 1, -1, 0, 0, 1, 0);
        EXPECT_EQ(d.result, c.result) << c.what;
        if (c.result == Res_ok) {
            ASSERT_EQ(d.rows.size(), 1u) << c.what;
            EXPECT_TRUE(d.rows[0] == c.row) << c.what;
        }
    }
}

// A stream that fails after its bytes: its error is the decode's.
struct FailingStream {
    ByteStream base;
    int status;
};

int failingGet(ByteStream *s)
{
    if (s->readPtr < s->end)
        return *s->readPtr++;
    s->status = reinterpret_cast<FailingStream *>(s)->status;
    return ByteStream_end;
}

TEST_F(FaxTest, AStreamErrorIsReported)
{
    std::string data = readFixture("fax_g4_small.g4").substr(0, 20);
    FailingStream s{};
    s.status = 0x4242;
    s.base.getByte = failingGet;
    s.base.readPtr = reinterpret_cast<const uint8_t *>(data.data());
    s.base.end = s.base.readPtr + data.size();
    FaxRows state;
    ASSERT_EQ(FaxRows_init(&state, 37, nullptr, nullptr), Res_ok);
    EXPECT_EQ(Fax_decode(ctx, 37, 23, -1, 0, 0, 1, 0, &s.base, &state), 0x4242);
    FaxRows_free(&state);
}

// ------------------------------------------------------------- the codec

TEST_F(FaxTest, ImagesDecodeThroughTheStoreInBothFormats)
{
    for (uint32_t format : {uint32_t(Pixel_format565), uint32_t(Pixel_formatRGBA)}) {
        makeStore(format);
        for (const FaxFixture &f : faxFixtures()) {
            HookAnswers hook;
            answerParams(&hook, f);
            if (f.columns == Fax_defaultColumns)
                hook.answers.erase(FaxImage_opColumns); // the default width
            ImageView *view = nullptr;
            ImageHandle *h = decodeBytes(readFixture(f.file), &view, answeringHook, &hook);
            EXPECT_EQ(lastResult(), Res_ok) << f.file;
            EXPECT_EQ(Image_getTypeId(h->image), FaxImage_typeId);
            EXPECT_EQ(differsFrom(view->picture, parsePnm(readFixture(answerName(f.file)))), "")
                << f.file;
            EXPECT_EQ(view->mask, nullptr) << f.file << ": an image is opaque";
            ImageHandle_release(h);
        }
        ImageStore_release(ctx);
    }
}

// The decode ends inside a band of rows: the rows it did not reach show
// the background (white, or 0 when the hook's op 34 answers 0), never what
// the band held before; a stencil's mask there is 0.
TEST_F(FaxTest, RowsTheDataDoNotReachShowTheBackground)
{
    FaxFixture f = fixture("fax_g4_small.g4");
    Answer answer = parsePnm(readFixture(answerName(f.file)));
    for (uint32_t format : {uint32_t(Pixel_format565), uint32_t(Pixel_formatRGBA)}) {
        makeStore(format);
        for (int stencil : {0, 1}) {
            for (uint32_t background : {0xFFFFFFu, 0u}) {
                HookAnswers hook;
                answerParams(&hook, f);
                hook.setInt(FaxImage_opRows, f.rows + 7); // stops at the end of block after row 22
                hook.setInt(FaxImage_opStencil, stencil);
                hook.setInt(FaxImage_opPaint, 0x00102030);
                if (background == 0)
                    hook.setInt(34, 0);
                ImageView *view = nullptr;
                ImageHandle *h = decodeBytes(readFixture(f.file), &view, answeringHook, &hook);
                EXPECT_EQ(lastResult(), Res_ok);
                Answer want = answer;
                want.height = f.rows + 7;
                for (int32_t i = 0; i < 7 * f.columns; i++)
                    want.rgb.push_back(background);
                if (stencil) {
                    for (int32_t i = 0; i < f.rows * f.columns; i++)
                        want.rgb[size_t(i)] = 0x102030;
                }
                EXPECT_EQ(differsFrom(view->picture, want), "")
                    << "format " << format << " stencil " << stencil << " background "
                    << background;
                if (stencil) {
                    ASSERT_NE(view->mask, nullptr);
                    int set = 0;
                    for (int32_t y = f.rows; y < f.rows + 7; y++)
                        for (int32_t x = 0; x < f.columns; x++)
                            set +=
                                view->mask->pixels[size_t(y) * view->mask->stride + size_t(x)] != 0;
                    EXPECT_EQ(set, 0);
                }
                ImageHandle_release(h);
            }
        }
        ImageStore_release(ctx);
    }
}

TEST_F(FaxTest, AnImageTakesItsTwoColoursFromTheHook)
{
    FaxFixture f = fixture("fax_g4_small.g4");
    Answer answer = parsePnm(readFixture(answerName(f.file)));
    for (uint32_t format : {uint32_t(Pixel_format565), uint32_t(Pixel_formatRGBA)}) {
        makeStore(format);
        HookAnswers hook;
        answerParams(&hook, f);
        const uint32_t colours[2] = {0xCC2211, 0x3355EE}; // black, white as 0x00RRGGBB
        hook.setBytes(FaxImage_opColours, colours);
        hook.setInt(FaxImage_opBlackIs1, 1); // masks only
        ImageView *view = nullptr;
        ImageHandle *h = decodeBytes(readFixture(f.file), &view, answeringHook, &hook);
        Answer coloured = answer;
        for (uint32_t &v : coloured.rgb)
            v = v ? colours[1] : colours[0];
        EXPECT_EQ(differsFrom(view->picture, coloured), "") << format;
        ImageHandle_release(h);
        ImageStore_release(ctx);
    }
}

// A stencil mask: the picture is the paint colour everywhere (in the
// picture's own format, at full width), the mask holds the bits.
TEST_F(FaxTest, AStencilPaintsItsMask)
{
    FaxFixture f = fixture("fax_g3_text.g3");
    Answer answer = parsePnm(readFixture(answerName(f.file)));
    struct Case {
        const char *what;
        bool decodeList;
        float decode[2];
        int blackIs1;
        uint8_t black, white; // mask bytes
    };
    const Case cases[] = {
        {"default: black paints", false, {0, 0}, 0, 255, 0},
        {"decode (1, 0): white paints", true, {1.0f, 0.0f}, 0, 0, 255},
        {"black is 1 swaps", false, {0, 0}, 1, 0, 255},
        {"decode (0.5, 1) and black is 1", true, {0.5f, 1.0f}, 1, 127, 255},
        {"decode values out of range are clamped", true, {-3.0f, 7.0f}, 0, 255, 0},
    };
    for (uint32_t format : {uint32_t(Pixel_format565), uint32_t(Pixel_formatRGBA)}) {
        makeStore(format);
        for (const Case &c : cases) {
            HookAnswers hook;
            answerParams(&hook, f);
            hook.setInt(FaxImage_opStencil, 1);
            hook.setInt(FaxImage_opPaint, 0x00336699);
            hook.setInt(FaxImage_opBlackIs1, c.blackIs1);
            if (c.decodeList)
                hook.setBytes(FaxImage_opDecode, c.decode);
            ImageView *view = nullptr;
            ImageHandle *h = decodeBytes(readFixture(f.file), &view, answeringHook, &hook);
            EXPECT_EQ(lastResult(), Res_ok) << c.what;
            ASSERT_NE(view->picture, nullptr);
            ASSERT_NE(view->mask, nullptr) << c.what;
            Answer paint = answer;
            for (uint32_t &v : paint.rgb)
                v = 0x336699;
            EXPECT_EQ(differsFrom(view->picture, paint), "") << c.what << " in format " << format;
            int wrong = 0;
            for (int32_t y = 0; y < answer.height; y++)
                for (int32_t x = 0; x < answer.width; x++)
                    wrong += view->mask->pixels[size_t(y) * view->mask->stride + size_t(x)] !=
                             (answer.at(x, y) ? c.white : c.black);
            EXPECT_EQ(wrong, 0) << c.what << " in format " << format;
            ImageHandle_release(h);
        }
        ImageStore_release(ctx);
    }
}

TEST_F(FaxTest, RecognitionAndHeader)
{
    HookAnswers hook;
    int32_t score = -1;
    EXPECT_EQ(FaxImage_recognise(&score, answeringHook, &hook, nullptr, 0, ImageDec_flagRecognise),
              Res_ok);
    EXPECT_EQ(score, 0) << "op 4 unanswered";
    hook.answers[FaxImage_opRecognise] = "";
    EXPECT_EQ(FaxImage_recognise(&score, answeringHook, &hook, nullptr, 0, ImageDec_flagRecognise),
              Res_ok);
    EXPECT_EQ(score, 100) << "an answer of 0 bytes claims the data";
    EXPECT_EQ(FaxImage_recognise(&score, answeringHook, &hook, nullptr, 0, 0), Res_ok);
    EXPECT_EQ(score, 0) << "no recognise flag";
    EXPECT_EQ(FaxImage_recognise(&score, nullptr, nullptr, nullptr, 0, ImageDec_flagRecognise),
              Res_ok);
    EXPECT_EQ(score, 0) << "no hook";
    hook.failOp = FaxImage_opRecognise;
    hook.failCode = 0x7777;
    EXPECT_EQ(FaxImage_recognise(&score, answeringHook, &hook, nullptr, 0, ImageDec_flagRecognise),
              0x7777);

    HookAnswers params;
    params.setInt(FaxImage_opRows, 40);
    ImageObject image = bareImage();
    EXPECT_EQ(FaxImage_readHeader(ctx, nullptr, &image, answeringHook, &params), Res_ok);
    EXPECT_EQ(image.nominalWidth, 1728);
    EXPECT_EQ(image.nominalHeight, 40);
    ImageObject noRows = bareImage();
    params.answers.erase(FaxImage_opRows);
    EXPECT_EQ(FaxImage_readHeader(ctx, nullptr, &noRows, answeringHook, &params),
              Res_imageZeroSize);
    params.failOp = FaxImage_opColumns;
    params.failCode = 0x7778;
    EXPECT_EQ(FaxImage_readHeader(ctx, nullptr, &noRows, answeringHook, &params), 0x7778);
}

TEST_F(FaxTest, HookErrorsEndTheDecode)
{
    makeStore(Pixel_format565);
    FaxFixture f = fixture("fax_g4_small.g4");
    for (int32_t op : {FaxImage_opK, FaxImage_opRows, FaxImage_opColours}) {
        HookAnswers hook;
        answerParams(&hook, f);
        hook.failOp = op;
        hook.failCode = 0x7779;
        ImageView *view = nullptr;
        ImageHandle *h = decodeBytes(readFixture(f.file), &view, answeringHook, &hook);
        EXPECT_EQ(lastResult(), 0x7779) << op;
        EXPECT_EQ(h->image->state, ImageState_failed) << op;
        ImageHandle_release(h);
    }
}

} // namespace
