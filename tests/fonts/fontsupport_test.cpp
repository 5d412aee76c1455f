// Font support routines: face creation, defaults, file holders and release;
// the font-pack operations table; advance widths from the synthetic width
// tables of tests/fixtures/fonts/make_fontpack_fixtures.py in both byte
// orders, refused versions and counts; the single-byte encoding; the
// embedded-font dispatch.
#include "tests/fonts/font_support.h"

#include <cstring>

namespace {

class FontSupportTest : public FontTest {
  protected:
    // A face whose width table is the whole of a fixture file.
    FontFace *widthsFace(const std::string &file, uint32_t order = BufStream_bigEndian,
                         uint16_t unitsPerEm = 2048)
    {
        std::string bytes = readFontFixture(file);
        FontFace *face = openFace(bytes, unitsPerEm, order);
        face->tables->tables[FontTable_ffhm] = {0, uint32_t(bytes.size())};
        return face;
    }

    struct Advances {
        int result;
        std::vector<uint16_t> zero, advance;
    };

    // FontPack_getAdvances over codes, every tag 0 unless given; outputs
    // start at 0xAAAA so that untouched entries show.
    Advances advances(FontFace *face, const std::vector<uint16_t> &codes, uint32_t runTag = 0,
                      std::vector<uint8_t> tags = {})
    {
        tags.resize(codes.size(), 0);
        Advances a{0, std::vector<uint16_t>(codes.size(), 0xAAAA),
                   std::vector<uint16_t>(codes.size(), 0xAAAA)};
        a.result = FontPack_getAdvances(face, codes.data(), uint32_t(codes.size()), runTag,
                                        tags.data(), a.zero.data(), a.advance.data());
        return a;
    }
};

const std::vector<uint16_t> probeCodes = {32, 65, 66, 1000, 0xFFFE, 0xFFFF, 33, 0};

// Advances at 2048 units per em in 1/16384 em: 8 x the font units.
const std::vector<uint16_t> probeWant = {4096, 10400, 10928, 16384, 24000, 0, 8192, 8192};

TEST_F(FontSupportTest, AFaceWithoutParentGetsTheDefaults)
{
    FontFace *face = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, 7, 9, nullptr, &face), Res_ok);
    EXPECT_EQ(face->source, ctx);
    EXPECT_EQ(face->kind, 7u);
    EXPECT_EQ(face->creationWord2, 9u);
    EXPECT_EQ(face->name, nullptr);
    EXPECT_EQ(face->refCount, 1u);
    for (int32_t m : face->metrics)
        EXPECT_EQ(m, FontFace_unset);
    // The default slots: A stores 0 through its third argument.
    uint32_t out = 5;
    EXPECT_EQ(face->slotA(face, nullptr, &out), Res_ok);
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(face->slotB(face, nullptr), Res_ok);
    EXPECT_EQ(face->kerning(face, nullptr, 0, 0, nullptr, nullptr), Res_ok);
    EXPECT_EQ(face->advance, nullptr);
    face->lineGap = 55;
    Font_faceFillDefaults(face);
    const int32_t metrics[] = {-1784, 800, 14600, 14600, -3536};
    const int32_t box[] = {-9312, -5024, 33232, 16496};
    EXPECT_EQ(memcmp(face->metrics, metrics, sizeof metrics), 0);
    EXPECT_EQ(memcmp(face->box, box, sizeof box), 0);
    EXPECT_EQ(face->lineGap, 0);
    Font_faceRelease(face);
}

TEST_F(FontSupportTest, FillDefaultsKeepsWhatIsSetAndMendsTheLineExtent)
{
    struct Case {
        const char *what;
        int32_t metrics[5];
        int32_t box[4];
        int32_t wantMetrics[5];
        int32_t wantBox[4];
    } cases[] = {
        {"box (0, 0, 100, 200), top and bottom both 0",
         {1, 2, 3, 0, 0},
         {0, 0, 100, 200},
         {1, 2, 3, 200, 0},
         {0, 0, 100, 200}},
        {"set metrics kept",
         {10, 20, 30, 40, -50},
         {0, 0, 100, 200},
         {10, 20, 30, 40, -50},
         {0, 0, 100, 200}},
        {"top below bottom takes the default box",
         {FontFace_unset, 1, 1, -5, 5},
         {5, 5, 5, 9},
         {-1784, 1, 1, 16496, -5024},
         {-9312, -5024, 33232, 16496}},
        {"unset top, set bottom above the default top",
         {0, 0, 0, FontFace_unset, 20000},
         {0, 0, 0, 0},
         {0, 0, 0, 16496, -5024},
         {-9312, -5024, 33232, 16496}},
        // Widths that overflow 32 bits are still proper.
        {"wide box",
         {0, 0, 0, 1, 0},
         {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
         {0, 0, 0, 1, 0},
         {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}},
    };
    for (const Case &c : cases) {
        FontFace *face = nullptr;
        ASSERT_EQ(Font_faceCreate(ctx, 0, 0, nullptr, &face), Res_ok);
        memcpy(face->metrics, c.metrics, sizeof c.metrics);
        memcpy(face->box, c.box, sizeof c.box);
        Font_faceFillDefaults(face);
        EXPECT_EQ(memcmp(face->metrics, c.wantMetrics, sizeof c.wantMetrics), 0) << c.what;
        EXPECT_EQ(memcmp(face->box, c.wantBox, sizeof c.wantBox), 0) << c.what;
        Font_faceRelease(face);
    }
}

TEST_F(FontSupportTest, AChildCopiesItsParentAndHoldsItsFile)
{
    writeFile("face.bin", std::string(64, 'f'));
    FontFace *parent = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, 1, 2, nullptr, &parent), Res_ok);
    Url *u = fileUrl("face.bin");
    ASSERT_EQ(BufStream_open(ctx, u, nullptr, 0, BufStream_bigEndian, &parent->reader), Res_ok);
    Url_free(u);
    parent->mapRank = 11;
    parent->styleWord = 12;
    parent->headFlags = 3;
    parent->unitsPerEm = 1000;
    parent->glyphCount = parent->glyphCountCopy = 40;
    for (int i = 0; i < 5; i++)
        parent->metrics[i] = 100 * i;
    parent->box[2] = 700;
    Font_faceRetain(parent); // a second holder, the catalogue say

    FontFace *child = nullptr;
    ASSERT_EQ(Font_faceCreate(nullptr, 5, 6, parent, &child), Res_ok);
    EXPECT_EQ(parent->refCount, 3u);
    EXPECT_EQ(child->refCount, 1u);
    EXPECT_EQ(child->parent, parent);
    EXPECT_EQ(child->source, ctx);
    EXPECT_EQ(child->kind, 5u);
    EXPECT_EQ(child->creationWord2, 6u);
    EXPECT_EQ(child->mapRank, 11u);
    EXPECT_EQ(child->styleWord, 12u);
    EXPECT_EQ(child->headFlags, 3);
    EXPECT_EQ(child->unitsPerEm, 1000);
    EXPECT_EQ(child->glyphCount, 40);
    EXPECT_EQ(child->glyphCountCopy, 40);
    EXPECT_EQ(memcmp(child->metrics, parent->metrics, sizeof child->metrics), 0);
    EXPECT_EQ(child->box[2], 700);

    ASSERT_EQ(BufStream_setRange(ctx, parent->reader, 0, 8), Res_ok);
    EXPECT_EQ(parent->reader->isOpen, 1u);
    Font_faceRetain(child);
    Font_faceRelease(child); // one reference left: nothing happens
    EXPECT_EQ(parent->refCount, 3u);
    Font_faceRelease(child); // the last: the child goes and lets go of its parent
    EXPECT_EQ(parent->refCount, 2u);
    EXPECT_EQ(parent->reader->isOpen, 1u);
    EXPECT_EQ(Font_faceReleaseFile(parent), Res_ok); // closes the file, the face stays
    EXPECT_EQ(parent->reader->isOpen, 0u);
    EXPECT_EQ(parent->refCount, 2u);
    ASSERT_EQ(BufStream_setRange(ctx, parent->reader, 0, 8), Res_ok); // and it opens again
    EXPECT_EQ(parent->reader->isOpen, 1u);
    BufStream_close(parent->reader);
    parent->reader = nullptr;
    Font_faceRelease(parent);
    Font_faceRelease(parent);
}

struct ReleaseLog {
    std::vector<std::string> events;
};

void logClose(void *arg)
{
    static_cast<ReleaseLog *>(arg)->events.push_back("close");
}

void logDestroy(FontFace *face)
{
    static_cast<ReleaseLog *>(face->closeArg)
        ->events.push_back(face->name ? "destroy named" : "destroy");
    Mem_free(face);
}

TEST_F(FontSupportTest, ReleaseRunsTheCallbacksInOrder)
{
    ReleaseLog log;
    FontFace *face = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, 0, 0, nullptr, &face), Res_ok);
    face->name = static_cast<char *>(Mem_malloc(8));
    strcpy(face->name, "Sans");
    face->closeArg = &log;
    face->close = logClose;
    face->destroy = logDestroy;
    Font_faceRelease(face);
    EXPECT_EQ(log.events, (std::vector<std::string>{"close", "destroy"}));
    Font_faceRelease(nullptr);
}

TEST_F(FontSupportTest, AChildGoesBeforeItsParent)
{
    // The last reference on a parent may be its child's: the child's own
    // release and destroy run first, while its parent still exists.
    ReleaseLog log;
    FontFace *parent = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, 0, 0, nullptr, &parent), Res_ok);
    parent->name = static_cast<char *>(Mem_malloc(8));
    strcpy(parent->name, "P");
    parent->closeArg = &log;
    parent->close = logClose;
    FontFace *child = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, 0, 0, parent, &child), Res_ok);
    child->flags |= FontFace_sharesParent;
    child->closeArg = &log;
    child->destroy = [](FontFace *face) {
        static_cast<ReleaseLog *>(face->closeArg)
            ->events.push_back(face->parent->refCount ? "child" : "bad");
        Mem_free(face);
    };
    Font_faceRelease(parent); // the child's reference keeps it
    EXPECT_TRUE(log.events.empty());
    Font_faceRelease(child);
    EXPECT_EQ(log.events, (std::vector<std::string>{"child", "close"}));
}

TEST_F(FontSupportTest, CopyName)
{
    FontFace *face = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, 0, 0, nullptr, &face), Res_ok);
    char buf[8];
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(Font_faceCopyName(face, buf, 6), Res_ok);
    EXPECT_EQ(std::string(buf, 8), std::string(6, '\0') + "xx");
    face->name = static_cast<char *>(Mem_malloc(16));
    strcpy(face->name, "Serif");
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(Font_faceCopyName(face, buf, 7), Res_ok);
    EXPECT_EQ(std::string(buf, 8), std::string("Serif\0\0x", 8));
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(Font_faceCopyName(face, buf, 3), Res_ok); // not terminated
    EXPECT_EQ(std::string(buf, 8), "Serxxxxx");
    EXPECT_EQ(Font_faceCopyName(face, buf, 5), Res_ok); // as long as the name
    EXPECT_EQ(std::string(buf, 8), "Serifxxx");
    Font_faceRelease(face);
}

// Setting a name replaces the old one (the heap check of the fixture sees
// a leak); a failed copy leaves no name; null clears it.
TEST_F(FontSupportTest, SetName)
{
    FontFace *face = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, 0, 0, nullptr, &face), Res_ok);
    char buf[12];
    ASSERT_EQ(Font_faceSetName("Helvetica", face), Res_ok);
    ASSERT_EQ(Font_faceSetName("Arial", face), Res_ok);
    EXPECT_EQ(Font_faceCopyName(face, buf, sizeof buf), Res_ok);
    EXPECT_STREQ(buf, "Arial");
    Mem_failAfter(1);
    EXPECT_EQ(Font_faceSetName("Times", face), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(face->name, nullptr);
    ASSERT_EQ(Font_faceSetName("", face), Res_ok);
    EXPECT_STREQ(face->name, "");
    ASSERT_EQ(Font_faceSetName(nullptr, face), Res_ok);
    EXPECT_EQ(face->name, nullptr);
    ASSERT_EQ(Font_faceSetName("Courier", face), Res_ok);
    Font_faceRelease(face);
}

int fixedAdvance(FontFace *, const uint16_t *codes, uint32_t n, uint32_t runTag,
                 const uint8_t *tags, uint16_t *zero, uint16_t *advance)
{
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(runTag, 0u);
    EXPECT_EQ(tags[0], 0);
    zero[0] = 0x1234;
    advance[0] = uint16_t(codes[0] + 1);
    return codes[0] == 99 ? 4242 : Res_ok;
}

TEST_F(FontSupportTest, CallOpAsksTheAdvanceOperationForOneCode)
{
    FontFace *face = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, 0, 0, nullptr, &face), Res_ok);
    uint16_t answer[2] = {7, 7};
    EXPECT_EQ(Font_faceCallOp(face, 5, answer), Res_notImplemented);
    EXPECT_EQ(answer[0], 0);
    EXPECT_EQ(answer[1], 0);
    face->advance = fixedAdvance;
    EXPECT_EQ(Font_faceCallOp(face, 5, answer), Res_ok);
    EXPECT_EQ(answer[0], 6);
    EXPECT_EQ(answer[1], 0x1234);
    EXPECT_EQ(Font_faceCallOp(face, 99, answer), 4242);
    // A font pack answers 0 in the second word.
    FontFace *pack = widthsFace("widths-be.bin");
    pack->advance = FontPack_getAdvances;
    EXPECT_EQ(Font_faceCallOp(pack, 65, answer), Res_ok);
    EXPECT_EQ(answer[0], 10400);
    EXPECT_EQ(answer[1], 0);
    Font_faceRelease(face);
}

TEST_F(FontSupportTest, InstallOpsFillsAnEmptySlotOnce)
{
    EXPECT_EQ(FontPack_installOps(nullptr), 0);
    FontPackOps *slot = nullptr;
    Mem_failAfter(1);
    EXPECT_EQ(FontPack_installOps(&slot), 0);
    Mem_failAfter(0);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(FontPack_installOps(&slot), 1);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->glyphOutline, FontPack_glyphOutline);
    EXPECT_EQ(slot->glyphDataPos, FontPack_glyphDataPos);
    EXPECT_EQ(slot->advances, FontPack_getAdvances);
    EXPECT_EQ(slot->readHeader, FontPack_readHeader);
    EXPECT_EQ(slot->freeWidths, FontPack_freeWidths);
    EXPECT_EQ(slot->freeGlyphOffsets, FontPack_freeGlyphOffsets);
    FontPackOps *first = slot;
    EXPECT_EQ(FontPack_installOps(&slot), 1);
    EXPECT_EQ(slot, first);
    Mem_free(slot);
}

TEST_F(FontSupportTest, AdvancesInBothByteOrders)
{
    for (uint32_t order : {BufStream_bigEndian, BufStream_littleEndian}) {
        FontFace *face =
            widthsFace(order == BufStream_bigEndian ? "widths-be.bin" : "widths-le.bin", order);
        Advances a = advances(face, probeCodes);
        EXPECT_EQ(a.result, Res_ok);
        EXPECT_EQ(a.advance, probeWant) << "order " << order;
        EXPECT_EQ(a.zero, std::vector<uint16_t>(probeCodes.size(), 0));
        ASSERT_NE(face->widths, nullptr);
        EXPECT_EQ(face->widths->version, 0x00010000u);
        EXPECT_EQ(face->widths->count, 5u);
        EXPECT_EQ(face->widths->defaultAdvance, 1024);
        EXPECT_EQ(face->widths->second, 7);
        EXPECT_EQ(face->widths->advances, face->widths->codes + 5);
        EXPECT_EQ(face->reader->windowLength, 0u);
    }
}

TEST_F(FontSupportTest, OnlyTheRunsTagIsMeasured)
{
    FontFace *face = widthsFace("widths-be.bin");
    // Low 3 bits select the run; the upper 5 bits do not matter.
    Advances a = advances(face, {65, 66, 32, 1000}, 3, {3, 0x2B, 0x1B, 2});
    EXPECT_EQ(a.advance, (std::vector<uint16_t>{10400, 10928, 4096, 0xAAAA}));
    EXPECT_EQ(a.zero, (std::vector<uint16_t>{0, 0, 0, 0xAAAA}));
}

TEST_F(FontSupportTest, AdvancesAreScaledToUnitsPerEm)
{
    struct Case {
        uint16_t unitsPerEm;
        uint16_t want66; // of 1366 font units, in 1/16384 em kept as 16 bits
    } cases[] = {{1000, 22380}, {2048, 10928}, {16384, 1366}, {1, 0x8000}, {0, 0}};
    for (const Case &c : cases) {
        FontFace *face = widthsFace("widths-be.bin", BufStream_bigEndian, c.unitsPerEm);
        Advances a = advances(face, {66});
        EXPECT_EQ(a.result, Res_ok);
        EXPECT_EQ(a.advance[0], c.want66) << c.unitsPerEm;
    }
}

TEST_F(FontSupportTest, RefusedAndEmptyTables)
{
    struct Case {
        const char *file;
        bool table;
        uint16_t advance; // of code 65
    } cases[] = {
        {"widths-v1ffff.bin", true, 10400}, {"widths-v2.bin", false, 0},
        {"widths-empty.bin", true, 7200}, // the default, 900 units
        {"widths-huge.bin", false, 0},      {"widths-wrap.bin", false, 0},
    };
    for (const Case &c : cases) {
        FontFace *face = widthsFace(c.file);
        FontPackWidths *t = reinterpret_cast<FontPackWidths *>(1);
        EXPECT_EQ(FontPack_loadWidths(face, &t), Res_ok) << c.file;
        EXPECT_EQ(t != nullptr, c.table) << c.file;
        EXPECT_EQ(face->reader->windowLength, 0u) << c.file;
        if (t) {
            face->widths = t;
        }
        Advances a = advances(face, {65, 0xFFFF, 5});
        EXPECT_EQ(a.result, Res_ok) << c.file;
        EXPECT_EQ(a.advance[0], c.advance) << c.file;
        EXPECT_EQ(a.advance[1], 0) << c.file;
    }
}

TEST_F(FontSupportTest, AWidthTableBeyondTheFileIsAnError)
{
    FontFace *face = widthsFace("widths-be.bin");
    face->tables->tables[FontTable_ffhm].length = 40;
    Advances a = advances(face, {65});
    EXPECT_EQ(a.result, Res_bufWindowBeyond);
    EXPECT_EQ(face->widths, nullptr);
    EXPECT_EQ(a.advance[0], 0xAAAA);
}

TEST_F(FontSupportTest, ASharingFaceUsesAndFillsItsParentsTable)
{
    FontFace *parent = widthsFace("widths-be.bin");
    FontFace *child = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, 0, 0, parent, &child), Res_ok);
    child->reader = parent->reader;
    child->tables = parent->tables;
    child->flags |= FontFace_sharesParent;
    EXPECT_EQ(advances(child, {65}).advance[0], 10400);
    ASSERT_NE(child->widths, nullptr);
    EXPECT_EQ(parent->widths, child->widths);
    // The table is now taken from the parent without reading.
    FontPackWidths *shared = parent->widths;
    child->widths = nullptr;
    child->reader = nullptr;
    EXPECT_EQ(advances(child, {32}).advance[0], 4096);
    EXPECT_EQ(child->widths, shared);
    Font_faceRelease(child); // the table stays the parent's
    EXPECT_EQ(parent->widths, shared);
}

TEST_F(FontSupportTest, LoadWidthsAllocationFailures)
{
    FontFace *face = widthsFace("widths-be.bin");
    size_t before = TestHeap_usedBytes();
    for (uint64_t n = 1;; n++) {
        FontPackWidths *t = reinterpret_cast<FontPackWidths *>(1);
        Mem_failAfter(n);
        int r = FontPack_loadWidths(face, &t);
        Mem_failAfter(0);
        if (r == Res_ok) {
            ASSERT_NE(t, nullptr);
            face->widths = t;
            break;
        }
        EXPECT_EQ(r, Res_noMemory) << "allocation " << n;
        EXPECT_EQ(t, nullptr);
        EXPECT_EQ(face->widths, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), before) << "allocation " << n;
        ASSERT_LT(n, 50u);
    }
    EXPECT_EQ(advances(face, {1000}).advance[0], 16384);
}

class SingleByteTest : public FontSupportTest {
  protected:
    FontMapData map{};

    // A face whose loaded map is the fixture table.
    FontFace *encodingFace()
    {
        std::string bytes = readFontFixture("encoding-256.bin");
        FontFace *face = openFace(bytes, 2048);
        FontMapRequest request{&map, face->reader, 0, 262, 0};
        EXPECT_EQ(BufStream_setRange(ctx, face->reader, 0, 256), Res_ok);
        EXPECT_EQ(FontEnc_loadSingleByte(&request), Res_ok);
        EXPECT_EQ(memcmp(map.data, bytes.data(), 256), 0);
        face->mapData = &map;
        return face;
    }

    void TearDown() override
    {
        FontEnc_freeSingleByte(map.data);
        FontSupportTest::TearDown();
    }

    static uint16_t glyphOf(uint16_t c)
    {
        return uint16_t((c * 7 + 3) % 256);
    }
};

TEST_F(SingleByteTest, InstallFillsTheHandler)
{
    EXPECT_EQ(FontEnc_installSingleByte(nullptr), 0);
    SingleByteEncoding *none = nullptr;
    EXPECT_EQ(FontEnc_installSingleByte(&none), 0);
    SingleByteEncoding handler{};
    SingleByteEncoding *slot = &handler;
    EXPECT_EQ(FontEnc_installSingleByte(&slot), 1);
    EXPECT_EQ(handler.map, FontEnc_mapSingleByte);
    EXPECT_EQ(handler.load, FontEnc_loadSingleByte);
    EXPECT_EQ(handler.release, FontEnc_freeSingleByte);
}

TEST_F(SingleByteTest, RemainingStopsTheWalk)
{
    FontFace *face = encodingFace();
    // Five unmapped codes, 'B' having no glyph, with remaining 2: only 'A'
    // and 'E' are mapped. A glyph already there is left alone and counts
    // nothing.
    std::vector<uint16_t> codes = {'A', 'X', 'B', 'E', 'F', 'G'};
    std::vector<uint16_t> glyphs = {0, 500, 0, 0, 0, 0};
    std::vector<uint8_t> tags = {0xF8, 0x05, 0xA1, 0x00, 0x00, 0x00};
    uint32_t remaining = 2;
    EXPECT_EQ(
        FontEnc_mapSingleByte(face, codes.data(), 6, 6, glyphs.data(), tags.data(), &remaining),
        Res_ok);
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(glyphs, (std::vector<uint16_t>{glyphOf('A'), 500, 0, glyphOf('E'), 0, 0}));
    EXPECT_EQ(tags, (std::vector<uint8_t>{0xFE, 0x05, 0xA1, 0x06, 0x00, 0x00}));
}

TEST_F(SingleByteTest, CodesOutsideTheTableAndAnEmptyBudget)
{
    FontFace *face = encodingFace();
    std::vector<uint16_t> codes = {256, 0x4141, 255, 'C'};
    std::vector<uint16_t> glyphs(4, 0);
    std::vector<uint8_t> tags(4, 0);
    uint32_t remaining = 10;
    EXPECT_EQ(
        FontEnc_mapSingleByte(face, codes.data(), 4, 1, glyphs.data(), tags.data(), &remaining),
        Res_ok);
    EXPECT_EQ(glyphs, (std::vector<uint16_t>{0, 0, glyphOf(255), 0}));
    EXPECT_EQ(remaining, 9u);
    // Nothing left to find: nothing is mapped and the count stays 0.
    remaining = 0;
    glyphs.assign(4, 0);
    EXPECT_EQ(
        FontEnc_mapSingleByte(face, codes.data(), 4, 1, glyphs.data(), tags.data(), &remaining),
        Res_ok);
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(glyphs, std::vector<uint16_t>(4, 0));
}

TEST_F(SingleByteTest, AShortTableIsAnError)
{
    std::string bytes = readFontFixture("encoding-256.bin");
    FontFace *face = openFace(bytes, 2048);
    FontMapRequest request{&map, face->reader, 0, 0, 0};
    ASSERT_EQ(BufStream_setRange(ctx, face->reader, 0, 200), Res_ok);
    EXPECT_EQ(FontEnc_loadSingleByte(&request), Res_bufWindowShort);
    EXPECT_EQ(map.data, nullptr);
    EXPECT_EQ(FontEnc_loadSingleByte(nullptr), Res_nullInput);
}

TEST_F(FontSupportTest, EmbeddedFontDispatch)
{
    EXPECT_EQ(EmbFont_queryWord(nullptr), -1);
    EXPECT_EQ(EmbFont_forward(nullptr, 1, 2, 3), 0);
    FontFace *face = nullptr;
    ASSERT_EQ(Font_faceCreate(ctx, FontFace_kindEmbedded, 0, nullptr, &face), Res_ok);
    EXPECT_EQ(EmbFont_queryWord(face), -1); // no data record
    EmbFontData data{3, 77};
    face->closeArg = &data;
    EXPECT_EQ(EmbFont_queryWord(face), 77);
    face->kind = 49;
    EXPECT_EQ(EmbFont_queryWord(face), -1);
    EXPECT_EQ(EmbFont_forward(face, 1, 2, 3), 0);
    face->closeArg = nullptr;
    Font_faceRelease(face);
}

} // namespace
