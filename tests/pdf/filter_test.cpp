// The PDF stream filters, predictors, source streams and stream data.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "core/result.h"
#include "pdf/filter.h"
#include "pdf/interp.h"
#include "pdf/lexer.h"
#include "pdf/resources/pdfstream.h"
#include "tests/pdf/pdf_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

struct Decoded {
    std::string bytes;
    int status;
};

// Reads a stream to its end: the bytes and the taken status.
Decoded drain(ByteStream *s)
{
    Decoded d{"", 0};
    for (;;) {
        while (s->readPtr < s->end)
            d.bytes += char(*s->readPtr++);
        int c = s->getByte(s);
        if (c < 0)
            break;
        d.bytes += char(c);
    }
    d.status = ByteStream_takeStatus(s);
    return d;
}

// Decodes input through the named filter (parms none) over a memory stream.
Decoded decodeNamed(const std::string &input, const char *name, int *created = nullptr)
{
    ByteStream *mem = nullptr;
    EXPECT_EQ(
        Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(input.data()), input.size(), &mem),
        0);
    ByteStream *f = nullptr;
    int r = Pdf_Filter_lookup(&f, mem, name, nullptr, nullptr);
    if (created)
        *created = r;
    Decoded d{"", r};
    if (r == Res_ok) {
        d = drain(f);
        EXPECT_EQ(f->getByte(f), ByteStream_end) << "the end stays the end";
        ByteStream_close(f);
    } else {
        EXPECT_EQ(f, nullptr);
    }
    ByteStream_close(mem);
    return d;
}

std::string zlibOf(const std::string &text)
{
    uLongf n = compressBound(text.size());
    std::vector<Bytef> buf(n);
    EXPECT_EQ(compress(buf.data(), &n, reinterpret_cast<const Bytef *>(text.data()), text.size()),
              Z_OK);
    return std::string(reinterpret_cast<const char *>(buf.data()), n);
}

std::string longText()
{
    std::string t;
    for (int i = 0; i < 3000; i++)
        t += char('a' + (i * 7 + i / 13) % 26);
    return t;
}

class PdfFilterTest : public LeakCheckedHeapTest<> {};

TEST_F(PdfFilterTest, TextFiltersDecodeAndStopAsTheFormatSays)
{
    struct Case {
        const char *filter;
        std::string input;
        std::string output;
        int status;
    } cases[] = {
        {"ASCIIHexDecode", "4 1 4>", "\x41\x40", 0},
        {"AHx", "48656C6c6F>ignored", "Hello", 0},
        {"AHx", "4 8\n6\t5", "He", 0},
        {"AHx", "", "", 0},
        {"ASCII85Decode", "z~>", std::string(4, '\0'), 0},
        {"A85", "5l~>", "A", 0},
        {"A85", "5l", "A", 0},
        {"A85", "87cURD]j7BEbo7~>", "Hello world", 0},
        {"A85", "8 7c\nURD]j7B Ebo7~>", "Hello world", 0},
        {"A85", "5~>", "", 0},
        {"A85", "!!z", "", Res_pdfBadAscii85},
        {"A85", "87cURv", "Hell", Res_pdfBadAscii85},
        {"A85", "87cURD]j7BEbo{", "Hello wo", Res_pdfBadAscii85},
    };
    for (const Case &c : cases) {
        Decoded d = decodeNamed(c.input, c.filter);
        EXPECT_EQ(d.bytes, c.output) << c.filter << " " << c.input;
        EXPECT_EQ(d.status, c.status) << c.filter << " " << c.input;
    }
}

TEST_F(PdfFilterTest, NamesAndAbbreviationsChooseTheSameFilter)
{
    std::string text = longText();
    std::string z = zlibOf(text);
    EXPECT_EQ(decodeNamed(z, "FlateDecode").bytes, text);
    EXPECT_EQ(decodeNamed(z, "Fl").bytes, text);
    // LZW literals: the clear code, then 9-bit codes of single bytes.
    std::string lzw;
    uint32_t acc = 0, bits = 0;
    auto put = [&](uint32_t code) {
        acc = acc << 9 | code;
        bits += 9;
        while (bits >= 8) {
            lzw += char(acc >> (bits - 8));
            bits -= 8;
        }
    };
    put(256);
    for (char ch : std::string("ab"))
        put(uint8_t(ch));
    put(257);
    if (bits)
        lzw += char(acc << (8 - bits));
    EXPECT_EQ(decodeNamed(lzw, "LZWDecode").bytes, "ab");
    EXPECT_EQ(decodeNamed(lzw, "LZW").bytes, "ab");
    int r = 0;
    for (const char *unknown : {"RunLengthDecode", "RL", "DCTDecode", "flatedecode", "", "Fla"}) {
        decodeNamed("x", unknown, &r);
        EXPECT_EQ(r, Res_pdfUnknownFilter) << unknown;
    }
}

TEST_F(PdfFilterTest, Ascii85GroupsCrossTheBlockBoundary)
{
    // 1023 bytes of "z" output push the next groups across 1024 bytes.
    std::string in(256, 'z');
    in += "87cURD]j7BEbo7~>";
    Decoded d = decodeNamed(in, "A85");
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.bytes, std::string(1024, '\0') + "Hello world");
    std::string odd = "!!!!" + in; // a "z" inside a group is refused
    EXPECT_EQ(decodeNamed(odd, "A85").status, Res_pdfBadAscii85);
}

TEST_F(PdfFilterTest, PngRowFiltersReverseAsPngDefines)
{
    // Rows of 6 bytes, pixels of 2 bytes.
    const uint8_t prev[6] = {10, 20, 30, 40, 250, 5};
    struct Case {
        void (*fn)(uint8_t *, const uint8_t *, size_t, size_t);
        uint8_t row[6];
        uint8_t want[6];
    } cases[] = {
        {Pdf_Pred_pngSub, {1, 2, 3, 4, 255, 1}, {1, 2, 4, 6, 3, 7}},
        {Pdf_Pred_pngUp, {1, 2, 3, 4, 10, 1}, {11, 22, 33, 44, 4, 6}},
        // Average: left 0 in the first pixel.
        {Pdf_Pred_pngAverage, {1, 2, 3, 4, 5, 6}, {6, 12, 21, 30, 140, 23}},
        // Paeth: with left = 0 and upper-left = 0 the first pixel takes the byte above.
        {Pdf_Pred_pngPaeth, {1, 2, 0, 0, 0, 0}, {11, 22, 0, 0, 0, 0}},
    };
    for (Case &c : cases) {
        c.fn(c.row, prev, 6, 2);
        if (c.fn != Pdf_Pred_pngPaeth) {
            EXPECT_EQ(std::vector<uint8_t>(c.row, c.row + 6),
                      std::vector<uint8_t>(c.want, c.want + 6));
        } else {
            EXPECT_EQ(c.row[0], 11);
            EXPECT_EQ(c.row[1], 22);
            // Pixel 2: a = 11, b = 30, c = 10: p = 31, pa 20, pb 1, pc 21: above.
            EXPECT_EQ(c.row[2], 30);
            // a = 22, b = 40, c = 20: p = 42, pa 20, pb 2, pc 22: above.
            EXPECT_EQ(c.row[3], 40);
        }
    }
    // Paeth tie-break: left before upper-left.
    uint8_t tie[2] = {12, 0};
    const uint8_t above[2] = {10, 4};
    Pdf_Pred_pngPaeth(tie, above, 2, 1); // a = 22, b = 4, c = 10: p = 16, pa = pc = 6
    EXPECT_EQ(tie[0], 22);
    EXPECT_EQ(tie[1], 22);
}

TEST_F(PdfFilterTest, TiffPredictorAddsTheSampleOnePixelLeft)
{
    uint8_t eight[6] = {10, 20, 1, 2, 255, 1}; // two components
    Pdf_Pred_tiffUndo(eight, 6, 8, 2);
    EXPECT_EQ(std::vector<uint8_t>(eight, eight + 6),
              (std::vector<uint8_t>{10, 20, 11, 22, 10, 23}));
    uint8_t four[2] = {0x31, 0xF2}; // samples 3 1 15 2, one component
    Pdf_Pred_tiffUndo(four, 4, 4, 1);
    EXPECT_EQ(four[0], 0x34); // 3, 4
    EXPECT_EQ(four[1], 0x35); // (4 + 15) mod 16 = 3, 5
    uint8_t one[1] = {0xA0};  // 1 0 1 0 0 0 0 0
    Pdf_Pred_tiffUndo(one, 8, 1, 1);
    EXPECT_EQ(one[0], 0xC0); // 1 1 0 0 0 0 0 0
    uint8_t sixteen[4] = {0x01, 0x00, 0xFF, 0x01};
    Pdf_Pred_tiffUndo(sixteen, 2, 16, 1);
    EXPECT_EQ(sixteen[2], 0x00);
    EXPECT_EQ(sixteen[3], 0x01);
}

TEST_F(PdfFilterTest, PredictorStreamDecodesRowsAndRefusesUnknownTypes)
{
    auto run = [](const std::string &coded, PdfPredictParams p) {
        ByteStream *mem = nullptr;
        EXPECT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(coded.data()),
                                        coded.size(), &mem),
                  0);
        // The predictor stage owns its inner stream: give it a flate stage.
        ByteStream *inner = nullptr;
        EXPECT_EQ(Pdf_Filter_flateNew(mem, &inner), 0);
        ByteStream *s = nullptr;
        EXPECT_EQ(Pdf_Pred_streamNew(&s, inner, &p), 0);
        Decoded d = drain(s);
        ByteStream_close(s);
        ByteStream_close(mem);
        return d;
    };
    // Two rows of 3 one-byte pixels: None, then Sub, then Up.
    std::string rows("\x00\x01\x02\x03"
                     "\x01\x01\x01\x01"
                     "\x02\x01\x01\x01",
                     12);
    Decoded d = run(zlibOf(rows), {15, 1, 8, 3});
    EXPECT_EQ(d.bytes, std::string("\x01\x02\x03\x01\x02\x03\x02\x03\x04", 9));
    EXPECT_EQ(d.status, 0);
    std::string badType("\x00\x01\x02\x03"
                        "\x05\x01\x01\x01",
                        8);
    d = run(zlibOf(badType), {12, 1, 8, 3});
    EXPECT_EQ(d.bytes, std::string("\x01\x02\x03", 3));
    EXPECT_EQ(d.status, Res_pdfSyntax);
    // A cut last row comes out as far as it goes.
    d = run(zlibOf(std::string("\x00\x01\x02\x03"
                               "\x02\x05",
                               6)),
            {10, 1, 8, 3});
    EXPECT_EQ(d.bytes, std::string("\x01\x02\x03\x06", 4));
}

TEST_F(PdfFilterTest, MemoryStreamSeeksWithinItsBlockOnly)
{
    const uint8_t block[5] = {1, 2, 3, 4, 5};
    ByteStream *m = nullptr;
    ASSERT_EQ(Pdf_Stream_openMemory(block, 5, &m), 0);
    EXPECT_EQ(m->length, 5u);
    EXPECT_EQ(ByteStream_seek(m, 5), 0);
    EXPECT_EQ(m->readPtr, m->end);
    EXPECT_EQ(ByteStream_seek(m, 6), Res_memStreamSeek);
    EXPECT_EQ(ByteStream_seek(m, 3), 0);
    EXPECT_EQ(drain(m).bytes, std::string("\x04\x05", 2));
    uint32_t isMemory = 0;
    EXPECT_EQ(ByteStream_control(m, ByteStream_opIsMemory, &isMemory), 0);
    EXPECT_EQ(isMemory, 1u);
    uint64_t pos = 0;
    EXPECT_EQ(ByteStream_control(m, ByteStream_opPosition, &pos), Res_memStreamControl);
    EXPECT_EQ(ByteStream_close(m), 0);
}

TEST_F(PdfFilterTest, ReadAllGrowsAndReturnsNothingForNoData)
{
    std::string text = longText() + longText() + longText();
    std::string z = zlibOf(text);
    ByteStream *mem = nullptr;
    ASSERT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(z.data()), z.size(), &mem),
              0);
    ByteStream *f = nullptr;
    ASSERT_EQ(Pdf_Filter_flateNew(mem, &f), 0);
    uint8_t *block = nullptr;
    size_t size = 0;
    ASSERT_EQ(Pdf_Stream_readAll(nullptr, f, &block, &size), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(block), size), text);
    Mem_free(block);
    ByteStream_close(f);
    ByteStream_close(mem);

    std::string empty = zlibOf("");
    ASSERT_EQ(
        Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(empty.data()), empty.size(), &mem),
        0);
    ASSERT_EQ(Pdf_Filter_flateNew(mem, &f), 0);
    block = reinterpret_cast<uint8_t *>(&size);
    size = 9;
    EXPECT_EQ(Pdf_Stream_readAll(nullptr, f, &block, &size), 0);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(size, 0u);
    ByteStream_close(f);
    ByteStream_close(mem);

    // A stage error frees what was read and is returned.
    std::string rl("\x02"
                   "abc",
                   4);
    ASSERT_EQ(Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(rl.data()), rl.size(), &mem),
              0);
    ASSERT_EQ(Pdf_Filter_rlNew(mem, &f), 0);
    EXPECT_EQ(Pdf_Stream_readAll(nullptr, f, &block, &size), Res_pdfRunLengthNoEnd);
    EXPECT_EQ(block, nullptr);
    ByteStream_close(f);
    ByteStream_close(mem);
}

// ------------------------------------------------------- streams of a file

class PdfStreamTest : public PdfDocFixture {
  protected:
    void withObjects(std::map<uint32_t, std::string> objects,
                     const std::function<void(PdfDoc *)> &body)
    {
        file = pdfFile(pdfObjects(std::move(objects)));
        EXPECT_EQ(withDoc(file, body), 0);
    }
    static std::string read(PdfDoc *doc, uint32_t n, int *err)
    {
        uint8_t *block = nullptr;
        size_t size = 0;
        PdfObj *obj = object(doc, n);
        *err = Pdf_Stream_readToMemory(doc, obj, &block, &size);
        std::string s(reinterpret_cast<char *>(block), size);
        Mem_free(block);
        return s;
    }
    std::string file;
};

TEST_F(PdfStreamTest, LengthIsCheckedAndReadsStopAtTheFileEnd)
{
    withObjects({{3, "<< /Length 5 >>\nstream\nhello world\nendstream"},
                 {4, "<< /Length -1 >>\nstream\nhello\nendstream"},
                 {5, "<< /Length 6 0 R >>\nstream\nindirect\nendstream"},
                 {6, "8"},
                 {7, "<< /Length (x) >>\nstream\nhello\nendstream"},
                 {8, "<< >>\nstream\nhello\nendstream"},
                 {9, "<< /Length 0 >>\nstream\n\nendstream"},
                 {10, "<< /Length 3 /Filter 5 >>\nstream\nabc\nendstream"},
                 {11, "[1 2]"},
                 {12, "<< /Length 200000 >>\nstream\ntail"}},
                [](PdfDoc *doc) {
                    int err = -1;
                    EXPECT_EQ(read(doc, 3, &err), "hello");
                    EXPECT_EQ(err, 0);
                    EXPECT_EQ(read(doc, 4, &err), "");
                    EXPECT_EQ(err, Res_pdfSyntax) << "a negative Length";
                    EXPECT_EQ(read(doc, 5, &err), "indirect");
                    EXPECT_EQ(err, 0);
                    read(doc, 7, &err);
                    EXPECT_EQ(err, Res_pdfNotInt);
                    read(doc, 8, &err);
                    EXPECT_EQ(err, Res_pdfNoInt);
                    EXPECT_EQ(read(doc, 9, &err), "");
                    EXPECT_EQ(err, 0);
                    read(doc, 10, &err);
                    EXPECT_EQ(err, Res_pdfNoStream) << "a Filter that is a number";
                    read(doc, 11, &err);
                    EXPECT_EQ(err, Res_pdfNoStream);
                    // Past the end of the file: the rest of the file, no error.
                    std::string rest = read(doc, 12, &err);
                    EXPECT_EQ(err, 0);
                    EXPECT_EQ(rest.compare(0, 4, "tail"), 0);
                    EXPECT_NE(rest.find("%%EOF"), std::string::npos);
                    // The lexer's position is kept across reads.
                    PdfString *s = nullptr;
                    ASSERT_EQ(Pdf_Stream_readAsString(doc, object(doc, 3), &s), 0);
                    EXPECT_EQ(s->length, 5u);
                    EXPECT_STREQ(reinterpret_cast<char *>(PdfString_bytes(s)), "hello");
                    Mem_free(s);
                });
}

TEST_F(PdfStreamTest, ChainsFollowFilterArraysAndStopBeforeCodecs)
{
    withObjects({{3, "<< /Length 13 /Filter [/AHx /DCT] >>\nstream\n48656C6C6F>\n\nendstream"},
                 {4, "<< /Length 13 /Filter [/AHx /Fl] /DecodeParms << /Predictor 12 >> "
                     ">>\nstream\n48656C6C6F>\n\nendstream"},
                 {5, "<< /Length 13 /Filter [/Fl /AHx] >>\nstream\n48656C6C6F>\n\nendstream"},
                 {6, "<< /Length 13 /F /AHx /DP [null] >>\nstream\n48656C6C6F>\n\nendstream"}},
                [](PdfDoc *doc) {
                    PdfLexer *lexer = doc->lexer;
                    PdfObj *s = object(doc, 3);
                    ASSERT_EQ(Pdf_Lex_seek(lexer, s->value.stream->offset), 0);
                    PdfStreamChain *chain = nullptr;
                    PdfChainInfo info;
                    const char *codec = nullptr;
                    PdfObj *parms = reinterpret_cast<PdfObj *>(&info);
                    ASSERT_EQ(Pdf_Stream_openChain(doc, lexer, s, nullptr, 13, &info, &chain,
                                                   &codec, &parms),
                              0);
                    EXPECT_STREQ(codec, "DCT");
                    EXPECT_EQ(parms, nullptr);
                    EXPECT_EQ(info.number, 3);
                    EXPECT_EQ(info.generation, 0);
                    EXPECT_EQ(chain->count, 2u) << "raw source and hex stage";
                    EXPECT_EQ(drain(info.top).bytes, "Hello");
                    Pdf_Stream_closeChain(chain);

                    // Flate is a codec only as the last filter.
                    EXPECT_EQ(Pdf_Stream_codecForFilter("FlateDecode", 1), 1);
                    EXPECT_EQ(Pdf_Stream_codecForFilter("Fl", 0), 0);
                    EXPECT_EQ(Pdf_Stream_codecForFilter("LZW", 0), 0);
                    EXPECT_EQ(Pdf_Stream_codecForFilter("RL", 0), 1);
                    EXPECT_EQ(Pdf_Stream_codecForFilter("JPXDecode", 0), 1);
                    EXPECT_EQ(Pdf_Stream_codecForFilter("AHx", 1), 0);

                    int err = -1;
                    read(doc, 4, &err);
                    EXPECT_EQ(err, Res_pdfSyntax) << "two filters, one parameter dictionary";
                    read(doc, 5, &err);
                    EXPECT_EQ(err, 0) << "hex text is no zlib data: nothing comes";
                    EXPECT_EQ(read(doc, 6, &err), "Hello");
                    EXPECT_EQ(err, 0);
                });
}

TEST_F(PdfStreamTest, ContentsPartsReadAsOneTextWithSpaces)
{
    withObjects({{3, "<< /Length 6 >>\nstream\n0 0 1 \nendstream"},
                 {4, "<< /Length 14 /Filter /AHx >>\nstream\n3120726520660A>\nendstream"},
                 {5, "<< /Length 1 >>\nstream\nQ\nendstream"}},
                [](PdfDoc *doc) {
                    PdfLexer *lexer = doc->lexer;
                    PdfContentsPart parts[3] = {};
                    PdfStreamChain *chains[3] = {};
                    for (uint32_t i = 0; i < 3; i++) {
                        PdfObj *s = object(doc, 3 + i);
                        int32_t len = 0;
                        PdfObj *l = nullptr;
                        ASSERT_EQ(Pdf_Obj_dictGet(doc, "Length", s, &l), 0);
                        ASSERT_EQ(Pdf_Obj_getInt(doc, l, &len), 0);
                        PdfChainInfo info;
                        ASSERT_EQ(Pdf_Stream_openChain(doc, lexer, s, nullptr, uint64_t(len), &info,
                                                       &chains[i], nullptr, nullptr),
                                  0);
                        parts[i].stream = info.top;
                        parts[i].offset = s->value.stream->offset;
                    }
                    ByteStream *joined = nullptr;
                    ASSERT_EQ(Pdf_Src_contentsNew(&joined, lexer, parts, 3), 0);
                    Decoded d = drain(joined);
                    // "1 re f" was split: "0 0 1 " + " " + "1 re f\n" + " " + "Q".
                    EXPECT_EQ(d.bytes, "0 0 1  1 re f\n Q");
                    EXPECT_EQ(d.status, 0);
                    EXPECT_EQ(parts[0].bytesRead, 6u);
                    EXPECT_EQ(parts[1].bytesRead, 7u);
                    EXPECT_EQ(parts[2].bytesRead, 1u);
                    ByteStream_close(joined);
                    for (PdfStreamChain *c : chains)
                        Pdf_Stream_closeChain(c);
                });
}

TEST_F(PdfStreamTest, InlineDataEndsAtEiBetweenWhiteSpace)
{
    withObjects({{3, "<< /Length 40 >>\nstream\nab EIx cd\nEI\tEI Q\nendstream"}}, [](PdfDoc *doc) {
        PdfLexer *lexer = doc->lexer;
        PdfObj *s = object(doc, 3);
        ASSERT_EQ(Pdf_Lex_seek(lexer, s->value.stream->offset), 0);
        PdfStreamChain *chain = nullptr;
        PdfChainInfo info;
        ASSERT_EQ(Pdf_Stream_openChain(doc, lexer, s, "EI", 0, &info, &chain, nullptr, nullptr), 0);
        EXPECT_EQ(drain(info.top).bytes, "ab EIx cd\n");
        Pdf_Stream_closeChain(chain);
    });
}

} // namespace

namespace {

TEST_F(PdfStreamTest, ContentRunsChecksItsParts)
{
    withObjects(
        {{3, "<< /Length 6 >>\nstream\n0 0 1 \nendstream"},
         {4, "[3 0 R 3 0 R]"},
         {5, "[3 0 R 7]"},
         {6, "[]"},
         {7, "<< /Length -2 >>\nstream\nx\nendstream"},
         {8, "[3 0 R 7 0 R]"}},
        [](PdfDoc *doc) {
            const float m[6] = {1, 0, 0, 1, 0, 0}, box[4] = {0, 0, 100, 100};
            PdfInterp *interp = nullptr;
            ASSERT_EQ(Pdf_Interp_create(doc, nullptr, &interp), 0);
            auto run = [&](PdfObj *c) { return Pdf_Content_run(doc, c, interp, m, box, nullptr); };
            EXPECT_EQ(run(nullptr), 0);
            EXPECT_EQ(run(object(doc, 3)), 0);
            EXPECT_EQ(run(object(doc, 4)), 0);
            EXPECT_EQ(run(object(doc, 6)), 0) << "an empty array does nothing";
            EXPECT_EQ(run(object(doc, 5)), Res_pdfNoStream) << "a number among the parts";
            EXPECT_EQ(run(object(doc, 8)), Res_pdfSyntax) << "a part with a negative Length";
            PdfObj number{PdfObj_int, {}, nullptr};
            EXPECT_EQ(run(&number), Res_pdfNoStream);
            Pdf_Interp_destroy(doc, interp);
        });
}

} // namespace
