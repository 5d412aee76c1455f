// Font family matching over a small set of fake faces.
#include "fonts/fontmatch.h"
#include "fonts/fontsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "fonts/fontface.h"
#include "platform/vfs/romfs.h"
#include "tests/support/heap_fixture.h"

namespace {

struct FakeEngine {
    std::vector<FontFace *> known;
    std::vector<FontFace *> embedded;
    std::vector<FontFace *> registered; // copies handed to the engine
    std::vector<FontFace *> released;
    std::vector<FontAlias> aliases;
    int prepareCalls = 0;
    int registerResult = 0;
    FontFace *derived = nullptr; // what derive answers
    std::string derivedFor;
    FontMatchContext context{};
};

FakeEngine *engineOf(FontMatchContext *c)
{
    return static_cast<FakeEngine *>(c->owner);
}

int fakePrepare(FontMatchContext *c)
{
    FakeEngine *e = engineOf(c);
    e->prepareCalls++;
    c->known = e->known.data();
    c->knownCount = uint32_t(e->known.size());
    return 0;
}

int fakeRegister(FontMatchContext *c, FontFace *copy)
{
    FakeEngine *e = engineOf(c);
    if (e->registerResult)
        return e->registerResult;
    e->registered.push_back(copy);
    return 0;
}

int fakeDerive(FontMatchContext *c, const char *name, FontFace *, FontFace **out)
{
    FakeEngine *e = engineOf(c);
    e->derivedFor = name;
    *out = e->derived;
    return 0;
}

void fakeRelease(FontMatchContext *c, FontFace *face)
{
    engineOf(c)->released.push_back(face);
}

const FontMatchOps fakeOps = {fakePrepare, fakeRegister, fakeDerive, fakeRelease};

class FontMatchTest : public LeakCheckedHeapTest<> {
  protected:
    std::vector<FontFace *> owned;
    std::vector<char *> names;
    FakeEngine e;

    FontFace *face(const char *name, uint32_t style = 3, uint32_t kind = 46)
    {
        auto *f = new FontFace{};
        names.push_back(strdup(name));
        f->name = names.back();
        f->refCount = 1; // the test's own reference
        f->styleWord = style;
        f->kind = kind;
        owned.push_back(f);
        return f;
    }
    FontFace *known(const char *name, uint32_t style = 3, uint32_t kind = 46)
    {
        FontFace *f = face(name, style, kind);
        e.known.push_back(f);
        return f;
    }
    void ready()
    {
        e.context.knownReady = 0; // the fake's lists may have grown
        e.context.ops = &fakeOps;
        e.context.owner = &e;
        e.context.embedded = e.embedded.data();
        e.context.embeddedCount = uint32_t(e.embedded.size());
        e.context.aliases = e.aliases.data();
        e.context.aliasCount = uint32_t(e.aliases.size());
    }
    std::vector<FontFace *> match(std::vector<const char *> families, uint32_t style = 3,
                                  Matrix *matrix = nullptr, FontFace **extraOut = nullptr)
    {
        ready();
        FontFace *c[FontMatch_maxCandidates];
        uint32_t n = 99;
        FontFace *extra = nullptr;
        EXPECT_EQ(0,
                  Css_fontMatchFamilies(nullptr, &e.context, families.data(),
                                        uint32_t(families.size()), style, c, &n, matrix, &extra));
        if (extraOut)
            *extraOut = extra;
        return std::vector<FontFace *>(c, c + n);
    }
    void TearDown() override
    {
        for (FontFace *f : e.registered)
            Font_faceRelease(f);
        for (FontFace *f : owned)
            delete f;
        for (char *n : names)
            free(n);
        LeakCheckedHeapTest<>::TearDown();
    }
};

TEST(FontNameMatches, WholeAliasesWithoutRegardToCase)
{
    struct Case {
        const char *names, *name;
        uint32_t expected;
    } cases[] = {
        {"Arial:Helvetica:sans-serif", "helvetica", 0},
        {"Arial:Helvetica:sans-serif", "SANS-SERIF", 0},
        {"Arial:Helvetica:sans-serif", "Arial", 0},
        {"Arial:Helvetica:sans-serif", "Helv", FontMatch_noMatch},
        {"Arial:Helvetica:sans-serif", "Helvetica:sans", FontMatch_noMatch},
        {"Arial Black", "Arial", FontMatch_noMatch},
        {"", "", 0},
        {"Arial", "", FontMatch_noMatch},
        {nullptr, "Arial", FontMatch_noMatch},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, Css_fontNameMatches(c.names, c.name))
            << (c.names ? c.names : "null") << " / " << c.name;
}

TEST_F(FontMatchTest, ExactLookupScoresStyleDistance)
{
    FontFace *regular = known("Arial:Helvetica", 3);
    FontFace *bold = known("Arial:Helvetica", 6);
    FontFace *italic = known("Arial:Helvetica", 0x103);
    known("Times", 6);
    ready();
    struct Case {
        const char *name;
        uint32_t style;
        FontFace *face;
        uint32_t score;
    } cases[] = {
        {"arial", 3, regular, 0},
        {"Helvetica", 6, bold, 0},
        {"Arial", 7, bold, 1},
        {"Arial", 0x106, bold,
         1}, // bold upright and regular italic tie at distance 1 + 3: first wins
        {"Arial", 0x103, italic, 0},
        {"Courier", 3, nullptr, FontMatch_noMatch},
    };
    for (const Case &c : cases) {
        FontFace *out = nullptr;
        uint32_t score = 0;
        ASSERT_EQ(0, Css_fontFindByName(&e.context, c.name, c.style, &out, &score));
        EXPECT_EQ(c.face, out) << c.name << " " << c.style;
        EXPECT_EQ(c.score, score) << c.name << " " << c.style;
    }
    for (const Case &c : cases) {
        FontFace *out = nullptr;
        uint32_t score = 0;
        ASSERT_EQ(0, Css_fontFindByName(&e.context, c.name, c.style, &out, &score));
    }
    EXPECT_EQ(1, e.prepareCalls); // made ready once
}

TEST_F(FontMatchTest, EmbeddedNamesAreLookedUpExactlyInTheirOwnList)
{
    FontFace *catalogued = known("vexlanEmbedded1");
    FontFace *doc = face("vexlanEmbedded1", 3, 50);
    e.embedded.push_back(doc);
    ready();
    FontFace *out = nullptr;
    uint32_t score = 1;
    ASSERT_EQ(0, Css_fontFindByName(&e.context, "vexlanEmbedded1", 3, &out, &score));
    EXPECT_EQ(doc, out);
    EXPECT_EQ(0u, score);
    EXPECT_EQ(0, e.prepareCalls);
    // Another spelling of the prefix is an ordinary name.
    ASSERT_EQ(0, Css_fontFindByName(&e.context, "VEXLANEMBEDDED1", 3, &out, &score));
    EXPECT_EQ(catalogued, out);
    EXPECT_EQ(1, e.prepareCalls);
}

TEST_F(FontMatchTest, PassesFallBackToAliasesThenTheDefault)
{
    FontFace *sans = known("DejaVu Sans:sans-serif");
    FontFace *serif = known("Liberation Serif:Times New Roman");
    FontFace *mono = known("Liberation Mono:Courier New");
    e.aliases = {{"Times", "Nothing, Times New Roman"}, {"Courier", "Courier New,monospace"}};
    // Exact names win and the alias pass is skipped.
    EXPECT_EQ((std::vector<FontFace *>{serif, mono}),
              match({"Times New Roman", "Courier New", "Times"}));
    // No exact name: the alias rows, each up to its first match.
    EXPECT_EQ((std::vector<FontFace *>{serif, mono}), match({"Unknown", "times", "Courier"}));
    // Nothing at all: "sans-serif" without a "*" row...
    EXPECT_EQ((std::vector<FontFace *>{sans}), match({"Unknown"}));
    // ...or the "*" row's substitutes.
    e.aliases.push_back({"*", "Courier New"});
    EXPECT_EQ((std::vector<FontFace *>{mono}), match({"Unknown", "Other"}));
}

TEST_F(FontMatchTest, CollectsSevenThenLanguageDefaultsWithoutDuplicates)
{
    std::vector<FontFace *> eight;
    std::vector<const char *> families;
    static const char *const fam[] = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8"};
    for (const char *n : fam) {
        eight.push_back(known(n));
        families.push_back(n);
    }
    FontFace *uni = known("Droid:unicode");
    ready();
    ASSERT_EQ(0, Css_fontLanguageDefaults(&e.context));
    ASSERT_EQ(1u, e.context.languageDefaultCount);
    EXPECT_EQ(uni, e.context.languageDefaults[0]);
    std::vector<FontFace *> got = match(families);
    EXPECT_EQ(std::vector<FontFace *>(eight.begin(), eight.begin() + 7), got);
    got = match({"F1", "f1", "Droid"});
    EXPECT_EQ((std::vector<FontFace *>{eight[0], uni}), got);
}

TEST_F(FontMatchTest, LanguageDefaultsAreSkippedAfterADocumentFont)
{
    FontFace *doc = face("vexlanEmbedded7", 3, FontFace_kindEmbedded);
    e.embedded.push_back(doc);
    FontFace *uni = known("Droid:unicode");
    ready();
    ASSERT_EQ(0, Css_fontLanguageDefaults(&e.context));
    EXPECT_EQ((std::vector<FontFace *>{doc}), match({"vexlanEmbedded7"}));
    EXPECT_EQ((std::vector<FontFace *>{uni}), match({"Droid"}));
}

TEST_F(FontMatchTest, OverrideFaceGoesFirstWithTheLineExtentOfTheDisplacedFace)
{
    FontFace *gothic = known("MS Gothic:Gothic");
    gothic->metrics[3] = 14000;
    gothic->metrics[4] = -3000;
    FontFace *other = known("Other");
    FontFace *over = known("Vixlan SJIS:MS Gothic:override");
    over->metrics[3] = 1;
    over->metrics[4] = 2;
    EXPECT_EQ((std::vector<FontFace *>{over, gothic, other}), match({"MS Gothic", "Other"}));
    EXPECT_EQ(14000, over->metrics[3]);
    EXPECT_EQ(-3000, over->metrics[4]);
    // Already a candidate: moved to the front.
    EXPECT_EQ((std::vector<FontFace *>{over, gothic}), match({"Gothic", "override"}));
}

TEST_F(FontMatchTest, SyntheticBoldCopiesRegularFontPacksOnly)
{
    FontFace *pack = known("Pack", 3, FontFace_kindFontPack);
    FontFace *boldPack = known("BoldPack", 6, FontFace_kindFontPack);
    FontFace *ttf = known("Plain", 3, 46);
    std::vector<FontFace *> got = match({"Pack", "BoldPack", "Plain"}, 6);
    ASSERT_EQ(3u, got.size());
    ASSERT_EQ(1u, e.registered.size());
    FontFace *copy = e.registered[0];
    EXPECT_EQ(copy, got[0]);
    EXPECT_EQ(pack, copy->parent);
    EXPECT_EQ(6u, copy->styleWord);
    EXPECT_TRUE(copy->flags & FontFace_sharesParent);
    EXPECT_STREQ(pack->name, copy->name);
    EXPECT_EQ(2u, pack->refCount); // the copy holds its parent
    EXPECT_EQ(boldPack, got[1]);
    EXPECT_EQ(ttf, got[2]);
    // Not bold: no copies.
    match({"Pack"}, 3);
    EXPECT_EQ(1u, e.registered.size());
}

TEST_F(FontMatchTest, FailedRegistrationOfACopyFailsTheMatch)
{
    known("Pack", 3, FontFace_kindFontPack);
    e.registerResult = 1;
    ready();
    const char *fam[] = {"Pack"};
    FontFace *c[FontMatch_maxCandidates];
    uint32_t n = 5;
    FontFace *extra = nullptr;
    EXPECT_EQ(1, Css_fontMatchFamilies(nullptr, &e.context, fam, 1, 6, c, &n, nullptr, &extra));
    EXPECT_EQ(0u, n);
    // Out of memory for the copy itself.
    e.registerResult = 0;
    Mem_failAfter(1);
    EXPECT_EQ(1, Css_fontMatchFamilies(nullptr, &e.context, fam, 1, 6, c, &n, nullptr, &extra));
    Mem_failAfter(0);
    EXPECT_EQ(0u, n);
    EXPECT_TRUE(e.registered.empty());
}

TEST_F(FontMatchTest, DerivedFaceTakesTheFirstPlaceOrTheOneAfterAnOverride)
{
    FontFace *helv = known("Helvetica:Arial");
    FontFace *derived = face("SynthesisMetrics:Helvetica", 3, FontFace_kindSynthesis);
    e.derived = derived;
    std::vector<FontFace *> got = match({"Helvetica"}, 3 | FontMatch_symbolVariant);
    EXPECT_EQ((std::vector<FontFace *>{derived}), got);
    EXPECT_EQ("Helvetica", e.derivedFor);
    // Without the request bit the real face stays.
    EXPECT_EQ((std::vector<FontFace *>{helv}), match({"Helvetica"}, 3));
    FontFace *over = known("Override Helv:Helvetica:override");
    got = match({"Helvetica"}, 3 | FontMatch_symbolVariant);
    EXPECT_EQ((std::vector<FontFace *>{over, derived}), got);
    // Releasing the list drops the derived face only.
    FontFace *c[FontMatch_maxCandidates] = {got[0], got[1]};
    Css_fontListRelease(&e.context, c, 2, nullptr);
    EXPECT_EQ((std::vector<FontFace *>{derived}), e.released);
    EXPECT_EQ(nullptr, c[0]);
    EXPECT_EQ(nullptr, c[1]);
}

TEST_F(FontMatchTest, WidthOverrideFaceStandsForItsParent)
{
    FontFace *real = known("Real");
    FontFace *widths = face("vexlanEmbedded2", 3, FontFace_kindWidthOverride);
    widths->parent = real;
    e.embedded.push_back(widths);
    FontFace *extra = nullptr;
    EXPECT_EQ((std::vector<FontFace *>{real}), match({"vexlanEmbedded2"}, 3, nullptr, &extra));
    EXPECT_EQ(widths, extra);
    FontFace *c[FontMatch_maxCandidates] = {real};
    Css_fontListRelease(&e.context, c, 1, extra);
    EXPECT_EQ((std::vector<FontFace *>{widths}), e.released);
}

TEST_F(FontMatchTest, SyntheticItalicShearsTheMatrix)
{
    known("Upright", 3);
    known("Sloped", 0x103);
    struct Case {
        const char *name;
        uint32_t style;
        bool sheared;
    } cases[] = {
        {"Upright", 0x103, true},
        {"Upright", 0x203, true},
        {"Upright", 3, false},
        {"Sloped", 0x103, false},
    };
    for (const Case &c : cases) {
        Matrix m = {0x20000, 0, 0, 0x20000, 100, 200};
        match({c.name}, c.style, &m);
        Matrix expected = {0x20000, 0, c.sheared ? 2 * 0x366a : 0, 0x20000, 100, 200};
        EXPECT_EQ(0, memcmp(&expected, &m, sizeof m)) << c.name << " " << c.style << " c=" << m.c;
    }
}

// The built-in font map read the way the catalogue reads it: each
// [Library] line one face named by its names field with its style, the
// [Defaults] lines the alias table. The faces of the largest font (Droid
// Sans Fallback) take the name "unicode" as the naming pass gives it.
TEST_F(FontMatchTest, BuiltInMapSendsTheFamiliesDocumentsNameToTheirFiles)
{
    std::string map;
    for (const RomFsEntry &e : RomFs_builtins)
        if (std::string(e.path) == "/okala_dir/Fonts/map")
            map.assign(reinterpret_cast<const char *>(e.data), e.length);
    ASSERT_FALSE(map.empty());
    std::istringstream in(map);
    std::string line, section;
    std::vector<std::string> files;
    std::vector<std::string> keys, values;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            section = line;
            continue;
        }
        if (section == "[Library]") {
            std::vector<std::string> f;
            std::stringstream fields(line);
            std::string field;
            while (std::getline(fields, field, ','))
                f.push_back(field);
            ASSERT_EQ(7u, f.size()) << line;
            uint32_t style = (f[1] == "Italic" ? 0x100 : 0) | (f[3] == "Bold" ? 6 : 3);
            bool droid = f[6].find("DroidSansFallbackFull") != std::string::npos;
            FontFace *face = known((f[0] + (droid ? ":unicode" : "")).c_str(), style);
            files.push_back(f[6]);
            face->creationWord2 = uint32_t(files.size() - 1);
        } else if (section == "[Defaults]") {
            size_t colon = line.find(':');
            ASSERT_NE(std::string::npos, colon) << line;
            keys.push_back(line.substr(0, colon));
            values.push_back(line.substr(colon + 1));
        }
    }
    for (size_t i = 0; i < keys.size(); i++)
        e.aliases.push_back({keys[i].c_str(), values[i].c_str()});
    ready();
    ASSERT_EQ(0, Css_fontLanguageDefaults(&e.context));
    auto fileOf = [&](std::vector<const char *> families, uint32_t style = 3) {
        std::vector<FontFace *> got = match(families, style);
        return got.empty() ? std::string("none") : files[got[0]->creationWord2];
    };
    const std::string lib = "file://root/usr/share/fonts/truetype/liberation2/";
    const std::string droid =
        "file://root/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";
    struct Case {
        const char *family;
        uint32_t style;
        std::string file;
    } cases[] = {
        {"Arial", 3, lib + "LiberationSans-Regular.ttf"},
        {"Helvetica", 3, lib + "LiberationSans-Regular.ttf"},
        {"Helvetica", 6, lib + "LiberationSans-Bold.ttf"},
        {"Arial", 0x106, lib + "LiberationSans-BoldItalic.ttf"},
        {"Times New Roman", 3, lib + "LiberationSerif-Regular.ttf"},
        {"Times", 0x103, lib + "LiberationSerif-Italic.ttf"},
        {"Courier", 3, lib + "LiberationMono-Regular.ttf"},
        {"Courier New", 6, lib + "LiberationMono-Bold.ttf"},
        {"Symbol", 3, "msyrr.ef1"},
        {"ZapfDingbats", 3, "dbtrr.ef1"},
        {"MS Mincho", 3, droid},
        {"SimSun", 3, droid},
        {"Batang", 3, droid},
        {"Verdana", 3, "file://root/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"},
        {"Bookman", 3, lib + "LiberationSerif-Regular.ttf"},       // through its alias row
        {"No Such Family", 3, lib + "LiberationSans-Regular.ttf"}, // the "*" default
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.file, fileOf({c.family}, c.style)) << c.family << " " << c.style;
    // A character Liberation lacks falls through to the last resort.
    std::vector<FontFace *> arial = match({"Arial"});
    bool hasDroid = false;
    for (FontFace *f : arial)
        hasDroid = hasDroid || files[f->creationWord2] == droid;
    EXPECT_TRUE(hasDroid);
}

} // namespace
