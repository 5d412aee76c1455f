// The presentation reader: recognition, the current user's checks, the
// edit chain with the persist directory (a newer edit wins, ids past the
// seed, a cycle), the slide pages of the LibreOffice fixtures in full and
// page-on-demand loads, text runs and rulers, and the slide builder's
// scheme colours, placeholder filtering and anchors.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/officeart/escher.h"
#include "office/powerpoint/ppt.h"
#include "platform/vfs/vfs.h"
#include "tests/document/edr_fixture.h"

namespace {

std::string readFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/presentation/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void addUtf8(std::string *out, char16_t c)
{
    if (c < 0x80) {
        *out += char(c);
    } else if (c < 0x800) {
        *out += char(0xC0 | (c >> 6));
        *out += char(0x80 | (c & 0x3F));
    } else {
        *out += char(0xE0 | (c >> 12));
        *out += char(0x80 | ((c >> 6) & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    }
}

// Every text below node, each text node followed by a new line.
void collect(Edr_Node *node, std::string *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_group) {
            collect(c, out);
        } else if (Edr_Node_type(c) == Edr_NodeType_text) {
            const Edr_TextNode *t = Edr_Node_textPayload(c);
            for (uint32_t i = 0; t && i < t->length; i++)
                addUtf8(out, t->chars[i] == 0x0B || t->chars[i] == 0x0D ? u'\n' : t->chars[i]);
            *out += '\n';
        }
    }
}

// The text of each page (root child).
std::vector<std::string> pages(Edr_Doc *doc)
{
    std::vector<std::string> out;
    Edr_Doc_readLock(doc);
    for (Edr_Node *p = Edr_Node_firstChild(Edr_Doc_root(doc)); p; p = Edr_Node_nextSibling(p)) {
        std::string text;
        collect(p, &text);
        out.push_back(text);
    }
    Edr_Doc_readUnlock(doc);
    return out;
}

bool contains(const std::string &text, const char *part)
{
    return text.find(part) != std::string::npos;
}

void put16(uint8_t *b, uint32_t v)
{
    b[0] = uint8_t(v);
    b[1] = uint8_t(v >> 8);
}

void put32(uint8_t *b, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[i] = uint8_t(v >> (8 * i));
}

class PptTest : public EdrFixture {
  protected:
    // Opens bytes as a stream of the engine (the stream owns a copy).
    VfsHandle *open(const std::string &file)
    {
        auto *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
        EXPECT_NE(copy, nullptr);
        memcpy(copy, file.data(), file.size());
        VfsHandle *stream = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx(), copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable,
                                 &stream, &accepted),
                  0);
        return stream;
    }
    // Loads a fixture into a new document (page on demand when asked), runs
    // check, releases the document.
    void load(const std::string &name, bool onDemand, std::function<void(Edr_Doc *, int)> check)
    {
        std::string file = readFixture(name);
        ASSERT_FALSE(file.empty()) << name;
        run([&] {
            Edr_Doc *doc = nullptr;
            Edr_Node *root = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
            if (onDemand) {
                ASSERT_EQ(Edr_Doc_setFlags(doc, Ppt_featureFlags), 0);
                doc->pageOnDemand = 1;
            }
            int err = Ppt_open(ctx(), open(file), doc, root);
            check(doc, err);
            Ppt_close(doc);
            Edr_Doc_release(doc);
        });
    }
};

// ------------------------------------------------------------ recognition

TEST_F(PptTest, MimeTypesScoreFull)
{
    struct Case {
        const char16_t *mime;
        int32_t score;
    } cases[] = {{u"application/powerpoint", 100},
                 {u"application/vnd.ms-powerpoint", 100},
                 {u"Application/VND.MS-PowerPoint", 100},
                 {u"application/msword", 0},
                 {nullptr, 0}};
    for (const Case &c : cases) {
        int32_t score = -1;
        EXPECT_EQ(Ppt_matchMime(ctx(), nullptr, c.mime, &score), 0);
        EXPECT_EQ(score, c.score);
    }
}

// An encrypted presentation is taken so that its open can say so; a file
// saved for an older version and this one is taken by its second storage.
TEST_F(PptTest, SniffRatesThisVersionsCurrentUserAndRewinds)
{
    struct Case {
        const char *name;
        int32_t score;
    } cases[] = {{"slides.ppt", 100},
                 {"encrypted.ppt", 100},
                 {"nocurrentuser.ppt", 0},
                 {"release7.ppt", 100},
                 {"dual_storage.ppt", 100}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = readFixture(c.name);
        run([&] {
            VfsHandle *stream = open(file);
            int32_t score = -1;
            uint32_t kind = 0;
            EXPECT_EQ(Ppt_sniff(ctx(), nullptr, stream, &score, &kind), 0);
            EXPECT_EQ(score, c.score);
            if (c.score) {
                EXPECT_EQ(kind, uint32_t(Ppt_docKind));
            }
            uint64_t at = 1;
            EXPECT_EQ(Vfs_tell(stream, &at), 0);
            EXPECT_EQ(at, 0u);
            (void)Vfs_close(stream);
        });
    }
}

TEST_F(PptTest, CurrentUserChecks)
{
    auto atom = [](uint32_t token, uint16_t version, uint8_t major, uint32_t release) {
        std::vector<uint8_t> b(44, 0);
        put16(&b[2], PptRec_currentUserAtom);
        put32(&b[4], 36);
        put32(&b[8], 20);
        put32(&b[12], token);
        put32(&b[16], 1234);
        put16(&b[20], 4); // "user"
        put16(&b[22], version);
        b[24] = major;
        memcpy(&b[28], "user", 4);
        put32(&b[32], release);
        return b;
    };
    struct Case {
        std::vector<uint8_t> bytes;
        uint32_t length;
        int result;
    } cases[] = {
        {atom(Ppt_headerToken, 1012, 3, 8), 44, 0},
        {atom(Ppt_headerToken, 1012, 3, 10), 44, 0},
        {atom(Ppt_encryptedToken, 1012, 3, 8), 44, Res_pptEncrypted},
        {atom(Ppt_headerToken, 1011, 3, 8), 44, Res_pptNotPresentation},
        {atom(Ppt_encryptedToken, 1012, 2, 8), 44, Res_pptNotPresentation},
        {atom(0x12345678, 1012, 3, 8), 44, Res_pptNotPresentation},
        {atom(Ppt_headerToken, 1012, 3, 7), 44, Res_pptNotPresentation},
        {atom(Ppt_headerToken, 1012, 3, 11), 44, Res_pptNotPresentation},
        {atom(Ppt_headerToken, 1012, 3, 8), 34, Res_pptNotPresentation}, // release cut off
        {atom(Ppt_headerToken, 1012, 3, 8), 20, Res_pptNotPresentation},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        SCOPED_TRACE(i);
        PptCurrentUser user;
        EXPECT_EQ(Ppt_parseCurrentUser(cases[i].bytes.data(), cases[i].length, &user),
                  cases[i].result);
        if (cases[i].result == 0) {
            EXPECT_EQ(user.currentEdit, 1234u);
        }
    }
}

// ------------------------------------------------------------ whole files

TEST_F(PptTest, FixturesOpenOrFailWithTheirCode)
{
    struct Case {
        const char *name;
        int result;
    } cases[] = {
        {"slides.ppt", 0},
        {"nopictures.ppt", 0},
        {"second_edit.ppt", 0},
        {"edit_cycle.ppt", 0},
        {"seed_past.ppt", 0},
        {"encrypted.ppt", Res_pptEncrypted},
        {"release7.ppt", Res_pptNotPresentation},
        {"nocurrentuser.ppt", Res_pptNoCurrentUser},
        {"master_flags.ppt", 0},
        {"dual_storage.ppt", 0},
        {"drawing_overrun.ppt", 0},
        {"shapes_overrun.ppt", 0},
        {"document_overrun.ppt", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.name, false, [&](Edr_Doc *doc, int err) {
            EXPECT_EQ(err, c.result);
            if (err == 0) {
                EXPECT_EQ(pages(doc).size(), 2u);
            }
        });
    }
}

// The texts are those of slides.fodp, the fixtures' source.
TEST_F(PptTest, EachSlideIsAPageWithItsTexts)
{
    for (const char *name : {"slides.ppt", "nopictures.ppt", "edit_cycle.ppt", "seed_past.ppt",
                             "master_flags.ppt", "dual_storage.ppt", "document_overrun.ppt"}) {
        SCOPED_TRACE(name);
        load(name, false, [&](Edr_Doc *doc, int err) {
            ASSERT_EQ(err, 0);
            std::vector<std::string> p = pages(doc);
            ASSERT_EQ(p.size(), 2u) << (p.empty() ? "" : p[0]);
            EXPECT_TRUE(contains(p[0], "Plans for next year")) << p[0];
            EXPECT_TRUE(contains(p[0], "Grow the team")) << p[0];
            EXPECT_TRUE(contains(p[0], "Ship the viewer")) << p[0];
            EXPECT_FALSE(contains(p[0], "Second slide"));
            EXPECT_TRUE(contains(p[1], "Second slide")) << p[1];
            EXPECT_TRUE(contains(p[1], "Budget is fixed")) << p[1];
            // The master's title and body placeholders are never drawn.
            EXPECT_FALSE(contains(p[0], "Click to edit"));
            EXPECT_EQ(Edr_Doc_getTypeCode(doc), uint32_t(Ppt_typeCode));
        });
    }
}

// A slide whose drawing is damaged (a container running past its record,
// or a shape group past its container) keeps its page, without the shapes;
// the other slides are whole. In both kinds of load.
TEST_F(PptTest, ADamagedDrawingCostsOnlyItsSlidesShapes)
{
    for (const char *name : {"drawing_overrun.ppt", "shapes_overrun.ppt"}) {
        for (bool onDemand : {false, true}) {
            SCOPED_TRACE(std::string(name) + (onDemand ? " on demand" : ""));
            load(name, onDemand, [&](Edr_Doc *doc, int err) {
                ASSERT_EQ(err, 0);
                if (onDemand) {
                    ASSERT_EQ(Edr_Doc_dropPage(doc, 1, 0), 0);
                    ASSERT_EQ(Ppt_step(doc, 1), 0);
                }
                std::vector<std::string> p = pages(doc);
                ASSERT_EQ(p.size(), 2u);
                EXPECT_FALSE(contains(p[0], "Plans for next year")) << p[0];
                EXPECT_TRUE(contains(p[1], "Second slide")) << p[1];
                EXPECT_TRUE(contains(p[1], "Budget is fixed")) << p[1];
            });
        }
    }
}

// A later slide whose drawing is dropped is still a page, in both kinds of
// load: a page-on-demand load counts it among the pages before it is built.
TEST_F(PptTest, ALaterSlideWithoutADrawingIsStillAPage)
{
    for (bool onDemand : {false, true}) {
        SCOPED_TRACE(onDemand ? "on demand" : "full load");
        load("second_drawing_overrun.ppt", onDemand, [&](Edr_Doc *doc, int err) {
            ASSERT_EQ(err, 0);
            ASSERT_EQ(pages(doc).size(), 2u);
            if (onDemand) {
                ASSERT_EQ(Edr_Doc_dropPage(doc, 1, 0), 0);
                ASSERT_EQ(Ppt_step(doc, 1), 0);
            }
            std::vector<std::string> p = pages(doc);
            ASSERT_EQ(p.size(), 2u);
            EXPECT_TRUE(contains(p[0], "Plans for next year")) << p[0];
            EXPECT_FALSE(contains(p[1], "Plans for next year")) << p[1];
        });
    }
}

TEST_F(PptTest, TheNewestEditWinsInThePersistDirectory)
{
    // The second edit points slide 2 at a copy of slide 1's record.
    load("second_edit.ppt", false, [&](Edr_Doc *doc, int err) {
        ASSERT_EQ(err, 0);
        std::vector<std::string> p = pages(doc);
        ASSERT_EQ(p.size(), 2u);
        EXPECT_TRUE(contains(p[1], "Plans for next year")) << p[1];
        EXPECT_FALSE(contains(p[1], "Second slide")) << p[1];
    });
}

TEST_F(PptTest, PageOnDemandLoadsTheFirstPageThenEachOnItsOwn)
{
    load("slides.ppt", true, [&](Edr_Doc *doc, int err) {
        ASSERT_EQ(err, 0);
        ASSERT_NE(Edr_Doc_getLoaderData(doc), nullptr);
        std::vector<std::string> p = pages(doc);
        ASSERT_EQ(p.size(), 2u);
        EXPECT_TRUE(contains(p[0], "Plans for next year")) << p[0];
        EXPECT_EQ(p[1], "");
        ASSERT_EQ(Edr_Doc_dropPage(doc, 1, 0), 0);
        ASSERT_EQ(Ppt_step(doc, 1), 0);
        p = pages(doc);
        ASSERT_EQ(p.size(), 2u);
        EXPECT_TRUE(contains(p[1], "Second slide")) << p[1];
        EXPECT_TRUE(contains(p[1], "Budget is fixed")) << p[1];
        EXPECT_FALSE(contains(p[1], "Plans for next year")) << p[1];
        // A page past the slide table is refused.
        EXPECT_EQ(Ppt_step(doc, 2), Res_pptNotPresentation);
    });
}

// The file's own font list and master text styles reach the reader: the
// faces LibreOffice lists, the centred title, the body's hanging bullet
// margin and its level 2 style, and a slide run that names font 1.
TEST_F(PptTest, FontListAndMasterStylesComeFromTheFile)
{
    load("slides.ppt", true, [&](Edr_Doc *doc, int err) {
        ASSERT_EQ(err, 0);
        // The loader's first field is the reader.
        auto *r = *static_cast<PptReader **>(Edr_Doc_getLoaderData(doc));
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(r->ppt.fontCount, 4u);
        EXPECT_EQ(std::u16string(r->ppt.fonts[0]), u"Times New Roman");
        EXPECT_EQ(std::u16string(r->ppt.fonts[1]), u"Arial");
        EXPECT_EQ(std::u16string(r->ppt.fonts[3]), u"starbats");
        const PptMasterLevel(*m)[Ppt_levels] = r->ppt.masterStyles;
        EXPECT_EQ(m[0][0].para.alignment, 1);
        EXPECT_EQ(m[0][0].chr.size, 44);
        EXPECT_EQ(m[1][0].para.leftMargin, 216);
        EXPECT_EQ(m[1][0].para.indent, 0);
        EXPECT_EQ(m[1][0].para.bulletChar, 0x2022);
        EXPECT_EQ(m[1][0].chr.font, 1);
        EXPECT_EQ(m[1][0].chr.size, 32);
        EXPECT_EQ(m[1][1].para.leftMargin, 468);
        EXPECT_EQ(m[1][1].para.indent, 288);
        // The main master's styles win over the document defaults (type 4).
        EXPECT_EQ(m[4][0].chr.size, 18);
        EXPECT_TRUE(r->masterStyleTypes & (1u << 1));
    });
}

TEST_F(PptTest, MasterStyleLevelsAndTheirFields)
{
    std::vector<uint8_t> b;
    auto u16 = [&](uint32_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    // One level of text type 1: every paragraph field the format places
    // after the margins (default tab, a tab list of two stops, font
    // alignment, wrap, direction), so a misread width shows in the
    // character set that follows.
    u16(1);
    u32(0x1u | (1u << 7) | (1u << 11) | (1u << 12) | (1u << 8) | (1u << 10) | (1u << 15) |
        (1u << 20) | (1u << 16) | (1u << 17) | (1u << 21));
    u16(0x1);    // bullet flags
    u16(0x2013); // bullet character
    u16(2);      // alignment
    u16(90);     // line spacing
    u16(216);    // left margin
    u16(72);     // first line
    u16(288);    // default tab
    u16(2);      // two tab stops
    u32(100);
    u32(200);
    u16(0); // font alignment
    u16(3); // wrap
    u16(1); // direction
    u32(0x1u | (1u << 16) | (1u << 17) | (1u << 18));
    u16(0x0101); // bold, and a high byte not kept
    u16(2);      // font
    u16(28);     // size
    u32(0x08000001);
    PptMasterLevel levels[Ppt_levels];
    ASSERT_EQ(Ppt_parseMasterStyle(b.data(), uint32_t(b.size()), 1, levels), 0);
    const PptParaProps &p = levels[0].para;
    EXPECT_EQ(p.bulletChar, 0x2013);
    EXPECT_EQ(p.alignment, 2);
    EXPECT_EQ(p.lineSpacing, 90);
    EXPECT_EQ(p.leftMargin, 216);
    EXPECT_EQ(p.indent, 72);
    EXPECT_EQ(p.spareWord, 1);
    EXPECT_EQ(p.mask, PptPara_bulletFlags | PptPara_bulletChar | PptPara_alignment |
                          PptPara_lineSpacing | PptPara_leftMargin | PptPara_indent |
                          PptPara_spareWord);
    const PptCharProps &c = levels[0].chr;
    EXPECT_EQ(c.flags, 1);
    EXPECT_EQ(c.font, 2);
    EXPECT_EQ(c.size, 28);
    EXPECT_EQ(c.colour, 0x08000001u);
    EXPECT_EQ(levels[1].para.mask, 0);

    // From type 5 on each level is named: level 2 here.
    std::vector<uint8_t> named = {1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 2, 0, 12, 0};
    ASSERT_EQ(Ppt_parseMasterStyle(named.data(), uint32_t(named.size()), 5, levels), 0);
    EXPECT_EQ(levels[2].chr.size, 12);
    EXPECT_EQ(levels[0].chr.mask, 0);

    // A level number past 4, or a set cut short, is refused.
    named[2] = 5;
    EXPECT_EQ(Ppt_parseMasterStyle(named.data(), uint32_t(named.size()), 5, levels),
              Res_pptNotPresentation);
    EXPECT_EQ(Ppt_parseMasterStyle(b.data(), uint32_t(b.size() - 2), 1, levels),
              Res_pptNotPresentation);
    EXPECT_EQ(Ppt_parseMasterStyle(b.data(), 1, 1, levels), Res_pptNotPresentation);
}

TEST_F(PptTest, FontEntitiesFillTheFontListByIndex)
{
    run([&] {
        PptContext ppt{};
        uint8_t entity[68] = {};
        const char16_t *arial = u"Arial";
        for (int i = 0; arial[i]; i++)
            entity[2 * i] = uint8_t(arial[i]);
        ASSERT_EQ(Ppt_addFont(&ppt, 2, entity, sizeof entity), 0);
        ASSERT_EQ(ppt.fontCount, 3u);
        EXPECT_EQ(ppt.fonts[0], nullptr);
        EXPECT_EQ(std::u16string(ppt.fonts[2]), u"Arial");
        // A face that fills its 32 units has no NUL: it ends there; a
        // second entity of one index replaces the first.
        for (int i = 0; i < 34; i++)
            entity[2 * i] = 'a';
        ASSERT_EQ(Ppt_addFont(&ppt, 2, entity, sizeof entity), 0);
        EXPECT_EQ(std::u16string(ppt.fonts[2]), std::u16string(32, u'a'));
        // A body shorter than the face field ends the face with it.
        ASSERT_EQ(Ppt_addFont(&ppt, 0, entity, 5), 0);
        EXPECT_EQ(std::u16string(ppt.fonts[0]), u"aa");
        // Indices past the instance range are ignored.
        ASSERT_EQ(Ppt_addFont(&ppt, Ppt_maxFonts, entity, sizeof entity), 0);
        EXPECT_EQ(ppt.fontCount, 3u);
        Ppt_freeFonts(&ppt);
        EXPECT_EQ(ppt.fontCount, 0u);
    });
}

// ------------------------------------------------------------ runs

TEST_F(PptTest, RunsFollowTheFieldOrderAndTheirMasks)
{
    std::vector<uint8_t> b;
    auto u16 = [&](uint32_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    // Paragraph: 6 characters, level 1, bullet flags, character, font,
    // size, colour, alignment, space before.
    u32(6);
    u16(1);
    u32((1u << 0) | (1u << 7) | (1u << 4) | (1u << 6) | (1u << 5) | (1u << 11) | (1u << 13));
    u16(0x000F);     // bullet flags
    u16(0x2022);     // character
    u16(3);          // font
    u16(80);         // size
    u32(0x08000001); // colour
    u16(0x0006);     // alignment (low 2 bits: 2)
    u16(20);         // space before
    // Character run: 6 characters, flags, font, size, colour, position.
    u32(6);
    u32(0x0001 | (1u << 16) | (1u << 17) | (1u << 18) | (1u << 19) | (1u << 21));
    u16(0x0103); // flags: low byte kept
    u16(2);      // font
    u16(9);      // East Asian font: read, not marked
    u16(24);     // size
    u32(0x00112233);
    u16(uint16_t(-30));
    PptParaRun *pr = nullptr;
    PptCharRun *cr = nullptr;
    ASSERT_EQ(Ppt_parseRuns(b.data(), uint32_t(b.size()), 5, &pr, &cr), 0);
    ASSERT_NE(pr, nullptr);
    ASSERT_NE(cr, nullptr);
    EXPECT_EQ(pr->next, nullptr);
    EXPECT_EQ(pr->count, 6u);
    EXPECT_EQ(pr->level, 1u);
    EXPECT_EQ(pr->props.bulletFlags, 0x000F);
    EXPECT_EQ(pr->props.bulletChar, 0x2022);
    EXPECT_EQ(pr->props.bulletFont, 3);
    EXPECT_EQ(pr->props.bulletSize, 80);
    EXPECT_EQ(pr->props.bulletColour, 0x08000001u);
    EXPECT_EQ(pr->props.alignment, 2);
    EXPECT_EQ(pr->props.spaceBefore, 20);
    EXPECT_EQ(pr->props.mask, PptPara_bulletFlags | PptPara_bulletChar | PptPara_bulletFont |
                                  PptPara_bulletSize | PptPara_bulletColour | PptPara_alignment |
                                  PptPara_spaceBefore);
    EXPECT_EQ(cr->count, 6u);
    EXPECT_EQ(cr->props.flags, 0x03);
    EXPECT_EQ(cr->props.font, 2);
    EXPECT_EQ(cr->props.size, 24);
    EXPECT_EQ(cr->props.colour, 0x00112233u);
    EXPECT_EQ(cr->props.escapement, -30);
    EXPECT_EQ(cr->props.mask,
              PptChar_flags | PptChar_font | PptChar_size | PptChar_colour | PptChar_escapement);
    Ppt_applyCharMax(pr, cr);
    EXPECT_EQ(pr->props.textSize, 24);
    Ppt_freeRuns(pr, cr);

    // Longer than the runs need: the rest is ignored.
    std::vector<uint8_t> longer = b;
    longer.resize(b.size() + 40, 0xEE);
    ASSERT_EQ(Ppt_parseRuns(longer.data(), uint32_t(longer.size()), 5, &pr, &cr), 0);
    ASSERT_NE(cr, nullptr);
    EXPECT_EQ(pr->next, nullptr);
    EXPECT_EQ(cr->next, nullptr);
    Ppt_freeRuns(pr, cr);

    // Shorter: the character run ends at its last whole field (the size),
    // the colour cut in half is not read.
    ASSERT_EQ(Ppt_parseRuns(b.data(), uint32_t(b.size() - 4), 5, &pr, &cr), 0);
    ASSERT_NE(cr, nullptr);
    EXPECT_EQ(cr->props.size, 24);
    EXPECT_EQ(cr->props.mask, PptChar_flags | PptChar_font | PptChar_size);
    Ppt_freeRuns(pr, cr);

    // Cut inside the paragraph run: it keeps what was whole; no character runs.
    ASSERT_EQ(Ppt_parseRuns(b.data(), 17, 5, &pr, &cr), 0);
    ASSERT_NE(pr, nullptr);
    EXPECT_EQ(pr->props.bulletFont, 3);
    EXPECT_FALSE(pr->props.mask & PptPara_bulletSize);
    EXPECT_EQ(cr, nullptr);
    Ppt_freeRuns(pr, cr);
}

// The margin and first line of a run (bits 8 and 10) follow the spacing
// fields in the file, and a tab list (bit 20) has its own length; the
// run's margins themselves come from the ruler.
TEST_F(PptTest, ParagraphRunMarginsFollowTheSpacing)
{
    std::vector<uint8_t> b;
    auto u16 = [&](uint32_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    u32(4); // count
    u16(0); // level
    u32((1u << 12) | (1u << 14) | (1u << 8) | (1u << 10) | (1u << 20) | (1u << 21));
    u16(93);  // line spacing
    u16(10);  // space after
    u16(136); // margin
    u16(0);   // first line
    u16(1);   // one tab stop
    u32(500);
    u16(1); // direction
    u32(4); // the character run
    u32(1u << 17);
    u16(20);
    PptParaRun *pr = nullptr;
    PptCharRun *cr = nullptr;
    ASSERT_EQ(Ppt_parseRuns(b.data(), uint32_t(b.size()), 3, &pr, &cr), 0);
    ASSERT_NE(pr, nullptr);
    EXPECT_EQ(pr->props.lineSpacing, 93);
    EXPECT_EQ(pr->props.spaceAfter, 10);
    EXPECT_EQ(pr->props.spareWord, 1);
    EXPECT_EQ(pr->props.mask, PptPara_lineSpacing | PptPara_spaceAfter | PptPara_spareWord);
    ASSERT_NE(cr, nullptr);
    EXPECT_EQ(cr->props.size, 20);
    Ppt_freeRuns(pr, cr);
}

TEST_F(PptTest, ParagraphRunsStopOncePastTheTextLength)
{
    std::vector<uint8_t> b;
    for (uint32_t count : {3u, 4u, 9u}) {
        uint8_t r[10] = {};
        put32(r, count);
        b.insert(b.end(), r, r + 10);
    }
    PptParaRun *pr = nullptr;
    PptCharRun *cr = nullptr;
    // 3 + 4 = 7 passes 6: the third record is read as a character run.
    ASSERT_EQ(Ppt_parseRuns(b.data(), uint32_t(b.size()), 6, &pr, &cr), 0);
    ASSERT_NE(pr, nullptr);
    ASSERT_NE(pr->next, nullptr);
    EXPECT_EQ(pr->next->next, nullptr);
    ASSERT_NE(cr, nullptr);
    EXPECT_EQ(cr->count, 9u);
    Ppt_freeRuns(pr, cr);
}

TEST_F(PptTest, RulerGivesIndentsAndMarginsByLevel)
{
    PptParaRun runs[3] = {};
    runs[0].level = 0;
    runs[1].level = 1;
    runs[2].level = 2;
    runs[0].next = &runs[1];
    runs[1].next = &runs[2];
    std::vector<uint8_t> b(4, 0);
    // Bits 1 and 0: the level count and the default tab size, one word
    // each; bit 2: a tab list of one stop; level 0 margin (bit 3) and first
    // line (bit 8), level 1 first line only (bit 9).
    put32(b.data(), 3u | (1u << 2) | (1u << 3) | (1u << 8) | (1u << 9));
    uint8_t words[4] = {5, 0, 0x40, 2};
    b.insert(b.end(), words, words + 4);
    uint8_t tabs[6] = {1, 0, 0x10, 0, 0, 0};
    b.insert(b.end(), tabs, tabs + 6);
    uint8_t values[6];
    put16(values, 100);
    put16(values + 2, 200);
    put16(values + 4, 300);
    b.insert(b.end(), values, values + 6);
    Ppt_applyRuler(b.data(), uint32_t(b.size()), runs);
    EXPECT_EQ(runs[0].props.leftMargin, 100);
    EXPECT_EQ(runs[0].props.indent, 200);
    EXPECT_EQ(runs[0].props.mask, PptPara_indent | PptPara_leftMargin);
    EXPECT_EQ(runs[1].props.indent, 300);
    EXPECT_EQ(runs[1].props.mask, PptPara_indent);
    EXPECT_EQ(runs[2].props.mask, 0);
}

TEST_F(PptTest, CharMaxTakesTheLargestOverlappingSize)
{
    PptParaRun p[2] = {};
    p[0].count = 5;
    p[1].count = 5;
    p[0].next = &p[1];
    PptCharRun c[3] = {};
    c[0].count = 3;
    c[0].props.size = 12;
    c[0].props.mask = PptChar_size;
    c[1].count = 4; // spans both paragraphs
    c[1].props.size = 30;
    c[1].props.mask = PptChar_size;
    c[2].count = 3;
    c[2].props.size = 40; // not marked present
    c[0].next = &c[1];
    c[1].next = &c[2];
    Ppt_applyCharMax(p, c);
    EXPECT_EQ(p[0].props.textSize, 30);
    EXPECT_EQ(p[1].props.textSize, 30);
}

TEST_F(PptTest, MasterStylesInherit)
{
    run([&] {
        PptContext ppt{};
        PptMasterLevel(*m)[Ppt_levels] = ppt.masterStyles;
        m[4][0].chr.size = 18;
        m[4][0].chr.mask = PptChar_size;
        m[1][0].para.alignment = 2;
        m[1][0].para.mask = PptPara_alignment;
        m[0][0].chr.font = 7;
        m[0][0].chr.mask = PptChar_font;
        m[5][0].para.leftMargin = 99;
        m[5][0].para.mask = PptPara_leftMargin;
        Ppt_prepareSlides(&ppt, nullptr);
        EXPECT_EQ(m[1][3].chr.size, 18); // body level 3 from body level 0, from other text
        EXPECT_EQ(m[1][4].para.alignment, 2);
        EXPECT_EQ(m[5][2].para.alignment, 2); // type 5 from the body
        EXPECT_EQ(m[6][0].chr.font, 7);       // type 6 from the title
        EXPECT_FALSE(m[6][0].para.mask & PptPara_alignment);
        EXPECT_EQ(m[7][0].para.leftMargin, 99); // 7 and 8 take type 5's margin
        EXPECT_EQ(m[8][0].para.leftMargin, 99);
        EXPECT_EQ(m[2][0].chr.mask, 0); // notes text inherits nothing
    });
}

// ------------------------------------------------------------ slide building

EscherPropSet *props(std::initializer_list<std::pair<uint16_t, uint32_t>> entries)
{
    std::vector<uint8_t> b;
    for (auto &e : entries) {
        uint8_t r[6];
        put16(r, e.first);
        put32(r + 2, e.second);
        b.insert(b.end(), r, r + 6);
    }
    return Escher_propParse(b.data(), uint32_t(b.size()), uint32_t(entries.size()));
}

uint32_t propValue(const EscherPropSet *set, uint32_t id)
{
    const EscherProp *p = Escher_propFind(id, set);
    return p ? p->value : 0xDEADBEEF;
}

uint8_t *bytes(std::initializer_list<uint8_t> list, uint32_t *length)
{
    auto *b = static_cast<uint8_t *>(Mem_malloc(list.size()));
    std::copy(list.begin(), list.end(), b);
    *length = uint32_t(list.size());
    return b;
}

EscherDrawingGroup *newGroup(uint32_t count)
{
    auto *g = static_cast<EscherDrawingGroup *>(Mem_calloc(1, sizeof(EscherDrawingGroup)));
    g->shapes = static_cast<EscherShape *>(Mem_calloc(count, sizeof(EscherShape)));
    g->capacity = g->count = count;
    for (uint32_t i = 0; i < count; i++) {
        g->shapes[i].level = 1;
        g->shapes[i].shapeId = 1024 + i;
    }
    return g;
}

void setScheme(PptReader *r, uint32_t index, uint8_t red, uint8_t green, uint8_t blue)
{
    r->ppt.scheme[index][0] = red;
    r->ppt.scheme[index][1] = green;
    r->ppt.scheme[index][2] = blue;
}

TEST_F(PptTest, SchemeIndexedColoursBecomePlainColours)
{
    run([&] {
        PptReader *r = nullptr;
        ASSERT_EQ(Ppt_readerCreate(ctx(), nullptr, nullptr, &r), 0);
        setScheme(r, 2, 0x10, 0x20, 0x30);
        setScheme(r, 5, 0xAA, 0xBB, 0xCC);
        r->drawing = newGroup(1);
        r->drawing->shapes[0].props =
            props({{385, 0x08000002}, {387, 0x0800000D}, {448, 0x00123456}});
        r->drawing->self.props = props({{385, 0x08000005}});
        EXPECT_EQ(Ppt_resolveSchemeColours(r), 0);
        EXPECT_EQ(propValue(r->drawing->shapes[0].props, 385), 0x302010u);
        EXPECT_EQ(propValue(r->drawing->shapes[0].props, 387), 0xCCBBAAu); // low 3 bits: 5
        EXPECT_EQ(propValue(r->drawing->shapes[0].props, 448), 0x123456u);
        EXPECT_EQ(propValue(r->drawing->self.props, 385), 0xCCBBAAu);
        Ppt_readerFree(r);
    });
}

TEST_F(PptTest, SchemeColoursAreRestoredForTheNextScheme)
{
    run([&] {
        PptReader *r = nullptr;
        ASSERT_EQ(Ppt_readerCreate(ctx(), nullptr, nullptr, &r), 0);
        EscherDrawingGroup *master = newGroup(2);
        master->shapes[0].props = props({{448, 0x08000002}});
        master->shapes[1].props = props({{385, 0x08000001}, {448, 0x000000FF}});
        setScheme(r, 1, 1, 2, 3);
        setScheme(r, 2, 0x10, 0x20, 0x30);
        ASSERT_EQ(Ppt_applySchemeColours(r, master), 0);
        EXPECT_EQ(propValue(master->shapes[0].props, 448), 0x302010u);
        EXPECT_EQ(propValue(master->shapes[1].props, 385), 0x030201u);
        Ppt_restoreSchemeColours(r);
        EXPECT_EQ(propValue(master->shapes[0].props, 448), 0x08000002u);
        EXPECT_EQ(propValue(master->shapes[1].props, 385), 0x08000001u);
        EXPECT_EQ(propValue(master->shapes[1].props, 448), 0xFFu);
        setScheme(r, 2, 0x40, 0x50, 0x60);
        ASSERT_EQ(Ppt_applySchemeColours(r, master), 0);
        EXPECT_EQ(propValue(master->shapes[0].props, 448), 0x605040u);
        Ppt_restoreSchemeColours(r);
        EXPECT_EQ(propValue(master->shapes[0].props, 448), 0x08000002u);
        Escher_drawingGroupFree(master);
        Ppt_readerFree(r);
    });
}

TEST_F(PptTest, AnchorsAreSignedMasterUnitsAndNeverNegativeInSize)
{
    struct Case {
        uint16_t top, left, right, bottom;
        int32_t rect[4];
    } cases[] = {
        {576, 288, 864, 1152, {32768, 65536, 65536, 65536}},
        {100,
         500,
         400,
         200,
         {500 * 65536 / 576, 100 * 65536 / 576, 0, 100 * 65536 / 576}}, // right < left
        {300, 0, 576, 200, {0, 300 * 65536 / 576, 65536, 0}},           // bottom < top
        // Edges are signed: a shape may start left of or above the slide.
        {uint16_t(-288), uint16_t(-576), 576, 288, {-65536, -32768, 2 * 65536, 65536}},
    };
    for (const Case &c : cases) {
        uint8_t b[8];
        put16(b, c.top);
        put16(b + 2, c.left);
        put16(b + 4, c.right);
        put16(b + 6, c.bottom);
        int32_t rect[4];
        ASSERT_EQ(Ppt_anchorRect(b, 8, rect), 1);
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(rect[k], c.rect[k]) << k;
    }
    int32_t rect[4];
    EXPECT_EQ(Ppt_anchorRect(nullptr, 8, rect), 0);
    uint8_t b[7] = {};
    EXPECT_EQ(Ppt_anchorRect(b, 7, rect), 0);
}

// Records the shapes the slide builder placed.
struct Placed {
    std::vector<uint32_t> ids;
    std::vector<std::vector<int32_t>> boxes;
    const PptContext *ppt = nullptr; // when set: the body bullet in force at each shape
    std::vector<uint16_t> bullets;
};

int recordShape(void *user, Edr_Node *, const EscherShape *shape, const int32_t rect[4], int32_t)
{
    auto *p = static_cast<Placed *>(user);
    p->ids.push_back(shape->shapeId);
    p->boxes.push_back({rect[0], rect[1], rect[2], rect[3]});
    if (p->ppt)
        p->bullets.push_back(p->ppt->masterStyles[1][0].para.bulletChar);
    return 0;
}

int anyStyle(void *, StyleRule *, uint32_t *id)
{
    *id = 1;
    return 0;
}

class PptComposeTest : public PptTest {
  protected:
    // A reader with a master of five shapes (date, slide number, footer,
    // header and title placeholders, each anchored) plus a shape without
    // client data, and a slide of three shapes: anchors of 8, 16 and 0
    // bytes. Runs fn, then frees everything.
    void compose(std::function<void(PptReader *, Edr_Doc *, Placed *)> fn)
    {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            PptReader *r = nullptr;
            ASSERT_EQ(Ppt_readerCreate(ctx(), doc, root, &r), 0);
            Placed placed;
            const uint8_t dgg[8] = {0x0F, 0x00, 0x00, 0xF0, 0, 0, 0, 0};
            ASSERT_EQ(Escher_openDrawingMemory(ctx(), dgg, 8, &r->drawingGroup, anyStyle,
                                               recordShape, nullptr, &placed),
                      0);
            r->docAtom.slideWidth = 5760;
            r->docAtom.slideHeight = 4320;
            EscherDrawingGroup *m = newGroup(6);
            const uint8_t placements[5] = {7, 8, 9, 10, 1};
            for (uint32_t i = 0; i < 5; i++) {
                EscherShape *s = &m->shapes[i];
                s->clientData.bytes =
                    bytes({0, 0, 0xC3, 0x0B, 8, 0, 0, 0, 0, 0, 0, 0, placements[i], 0, 0, 0},
                          &s->clientData.length);
                s->clientAnchor.bytes =
                    bytes({0, 0, 0, 0, 0x40, 2, 0x40, 2}, &s->clientAnchor.length);
            }
            m->shapes[5].clientAnchor.bytes =
                bytes({0, 0, 0, 0, 0x40, 2, 0x40, 2, 0, 0, 0, 0, 0, 0, 0, 0},
                      &m->shapes[5].clientAnchor.length);
            m->self.shapeId = 999;
            r->mainMaster.drawing = m;
            r->drawing = newGroup(3);
            r->drawing->shapes[0].clientAnchor.bytes = bytes(
                {0x40, 2, 0x20, 1, 0x80, 4, 0x80, 4}, &r->drawing->shapes[0].clientAnchor.length);
            r->drawing->shapes[1].clientAnchor.bytes =
                bytes({0, 0, 0, 0, 0x40, 2, 0x40, 2, 0, 0, 0, 0, 0, 0, 0, 0},
                      &r->drawing->shapes[1].clientAnchor.length);
            r->drawing->self.shapeId = 500;
            r->slideAtom.flags = PptSlide_masterObjects | PptSlide_masterScheme;
            fn(r, doc, &placed);
            Ppt_readerFree(r);
        });
    }
};

TEST_F(PptComposeTest, MasterPlaceholdersFollowTheHeaderFooterRecordInForce)
{
    struct Case {
        const char *name;
        uint32_t slideFirst; // slide record's word 0
        uint32_t doc[7], slide[7];
        std::vector<uint32_t> masterIds; // master shapes drawn
    } cases[] = {
        {"document record, all on", 1, {0, 1, 0, 0, 1, 1, 1}, {}, {1024, 1025, 1026, 1027, 1029}},
        {"document record, date only", 1, {0, 1, 0, 0, 0, 0, 0}, {}, {1024, 1029}},
        {"slide record, footer only",
         0,
         {0, 1, 0, 0, 1, 1, 1},
         {0, 0, 0, 0, 0, 0, 1},
         {1026, 1029}},
        {"nothing on", 1, {}, {}, {1029}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        compose([&](PptReader *r, Edr_Doc *, Placed *placed) {
            memcpy(r->docHf.words, c.doc, sizeof c.doc);
            memcpy(r->slideHf.words, c.slide, sizeof c.slide);
            r->slideHf.words[0] = c.slideFirst;
            ASSERT_EQ(Ppt_composeSlide(r, nullptr), 0);
            // The background first, then the master's, then the slide's own
            // shape with an 8-byte anchor (the 16-byte one is not placed).
            std::vector<uint32_t> expected = {500};
            expected.insert(expected.end(), c.masterIds.begin(), c.masterIds.end());
            expected.push_back(1024);
            EXPECT_EQ(placed->ids, expected);
            EXPECT_EQ(r->composed, 1u);
        });
    }
}

TEST_F(PptComposeTest, SlideFollowsTheMasterItsAtomNames)
{
    // A second main master (id 7): background shape 777 and one anchored
    // shape 3000 without client data. The first main master has id 0.
    struct Case {
        const char *name;
        uint32_t masterId;
        std::vector<uint32_t> ids; // background, master shapes, slide shape
    } cases[] = {
        {"the second master", 7, {777, 3000, 1024}},
        {"the first master", 0, {999, 1029, 1024}},
        {"an unknown id falls back to the first master", 12345, {999, 1029, 1024}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        compose([&](PptReader *r, Edr_Doc *, Placed *placed) {
            r->moreMasters = static_cast<PptMaster *>(Mem_calloc(1, sizeof(PptMaster)));
            ASSERT_NE(r->moreMasters, nullptr);
            r->moreMasterCount = r->moreMasterCapacity = 1;
            PptMaster *second = &r->moreMasters[0];
            second->id = second->mainId = 7;
            second->drawing = newGroup(1);
            second->drawing->self.shapeId = 777;
            second->drawing->shapes[0].shapeId = 3000;
            second->drawing->shapes[0].clientAnchor.bytes = bytes(
                {0, 0, 0, 0, 0x40, 2, 0x40, 2}, &second->drawing->shapes[0].clientAnchor.length);
            r->slideAtom.masterId = c.masterId;
            r->slideAtom.flags |= PptSlide_masterBackground;
            // The second master's body text has its own bullet; the
            // context's (the first master's) is '*'.
            second->styles = static_cast<PptMasterLevel(*)[Ppt_levels]>(
                Mem_calloc(Ppt_textTypes, sizeof(PptMasterLevel[Ppt_levels])));
            ASSERT_NE(second->styles, nullptr);
            second->styles[1][0].para.bulletChar = '>';
            second->styleTypes = 1u << 1;
            r->ppt.masterStyles[1][0].para.bulletChar = '*';
            placed->ppt = &r->ppt;
            ASSERT_EQ(Ppt_composeSlide(r, nullptr), 0);
            EXPECT_EQ(placed->ids, c.ids);
            // Its shapes are built under the bullet of the slide's master;
            // the context's comes back afterwards.
            const uint16_t bullet = c.masterId == 7 ? '>' : '*';
            EXPECT_EQ(placed->bullets, std::vector<uint16_t>(c.ids.size(), bullet));
            EXPECT_EQ(r->ppt.masterStyles[1][0].para.bulletChar, '*');
            // The master group lent to the drawing for the slide is taken back.
            EXPECT_EQ(r->drawingGroup->masterGroup, nullptr);
        });
    }
}

TEST_F(PptComposeTest, BackgroundStretchesAndShapesSitAtTheirAnchors)
{
    compose([&](PptReader *r, Edr_Doc *doc, Placed *placed) {
        r->slideAtom.flags = 0; // no master objects: background and own shapes
        r->drawing->self.props = props({{385, 0x08000002}, {387, 0x08000010}});
        setScheme(r, 2, 0x10, 0x20, 0x30);
        ASSERT_EQ(Ppt_composeSlide(r, nullptr), 0);
        // The background's scheme fill is its colour once, not read as an
        // index again; an index past the scheme (low 24 bits 16) takes the
        // low 3 bits in the slide's pass.
        EXPECT_EQ(propValue(r->drawing->self.props, 385), 0x302010u);
        EXPECT_EQ(propValue(r->drawing->self.props, 387), uint32_t(r->ppt.scheme[0][0]));
        ASSERT_EQ(placed->ids, (std::vector<uint32_t>{500, 1024}));
        EXPECT_EQ(placed->boxes[0], (std::vector<int32_t>{0, 0, 10 << 16, int32_t(7.5 * 65536)}));
        // top 576, left 288, right 1152, bottom 1152.
        EXPECT_EQ(placed->boxes[1], (std::vector<int32_t>{32768, 65536, 98304, 65536}));
        EXPECT_EQ(pages(doc).size(), 1u);
    });
}

TEST_F(PptComposeTest, GroupChildrenWithOnlyAClientAnchorSitInTheirGroup)
{
    compose([&](PptReader *r, Edr_Doc *, Placed *placed) {
        r->slideAtom.flags = 0;
        // A group of one inch square at the slide's corner, its own
        // rectangle 576 master units a side; its children give their place
        // with client anchors (top, left, right, bottom) and no child
        // anchor: the lower right quarter, and a second one whose child
        // anchor wins over its client anchor.
        Escher_drawingGroupFree(r->drawing);
        r->drawing = newGroup(3);
        EscherShape *g = &r->drawing->shapes[0];
        g->flags = EscherFsp_group;
        g->groupRight = g->groupBottom = 576;
        g->clientAnchor.bytes = bytes({0, 0, 0, 0, 0x40, 2, 0x40, 2}, &g->clientAnchor.length);
        for (uint32_t i = 1; i < 3; i++) {
            EscherShape *c = &r->drawing->shapes[i];
            c->level = 2;
            c->clientAnchor.bytes =
                bytes({0x20, 1, 0x20, 1, 0x40, 2, 0x40, 2}, &c->clientAnchor.length);
        }
        EscherShape *second = &r->drawing->shapes[2];
        second->childRight = second->childBottom = 576;
        second->anchorWidth = second->anchorHeight = 65536;
        ASSERT_EQ(Ppt_composeSlide(r, nullptr), 0);
        // The background (the new drawing's, id 0), the children, then the
        // group itself.
        ASSERT_EQ(placed->ids, (std::vector<uint32_t>{0, 1025, 1026, 1024}));
        EXPECT_EQ(placed->boxes[1], (std::vector<int32_t>{32768, 32768, 32768, 32768}));
        EXPECT_EQ(placed->boxes[2], (std::vector<int32_t>{0, 0, 65536, 65536}));
    });
}

TEST_F(PptComposeTest, MasterBackgroundAndCompositionAtAPage)
{
    compose([&](PptReader *r, Edr_Doc *doc, Placed *placed) {
        r->slideAtom.flags = PptSlide_masterBackground;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_getRoot(doc, &root), 0);
        Edr_Node *first = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &first), 0);
        Edr_Node_release(doc, first);
        Edr_Node_release(doc, root);
        EscherDrawingGroup *drawing = r->drawing;
        ASSERT_EQ(Ppt_composeSlideAt(r, 0), 0);
        EXPECT_EQ(placed->ids, (std::vector<uint32_t>{999, 1024}));
        EXPECT_EQ(pages(doc).size(), 1u); // composed into the existing page
        EXPECT_EQ(r->pageDrawing, drawing);
        EXPECT_EQ(r->drawing, nullptr);
    });
}

} // namespace
