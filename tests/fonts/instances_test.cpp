// Font instances of the font engine, the substitution table seen as the
// runs' transformer, and the font directories named in the settings.
#include "tests/fonts/font_engine_support.h"

#include "core/config/config.h"
#include "graphics/glyphcache.h"
#include "core/mem/mem.h"
#include "fonts/catalogue.h"
#include "graphics/path.h"
#include "platform/url/url.h"

namespace {

class InstancesTest : public FontEngineTest {
  protected:
    FontFace *face()
    {
        FontFace *f = nullptr;
        EXPECT_EQ(Font_faceCreate(ctx, 0, 0, nullptr, &f), Res_ok);
        faces.push_back(f);
        return f;
    }
};

TEST_F(InstancesTest, OneInstanceAFaceCountedByItsUsers)
{
    FontEngine *fe = ctx->fontEngine;
    FontFace *f = face();
    uint32_t before = f->refCount;
    FontInstance *a = nullptr, *b = nullptr;
    ASSERT_EQ(FontEngine_instanceGet(fe, f, &a), Res_ok);
    ASSERT_EQ(FontEngine_instanceGet(fe, f, &b), Res_ok);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->refs, 2u);
    EXPECT_EQ(a->face, f);
    EXPECT_EQ(f->refCount, before + 2);
    EXPECT_EQ(fe->instanceCount, 1u);
    FontEngine_instanceRelease(fe, a);
    EXPECT_EQ(fe->instanceCount, 1u);
    EXPECT_EQ(f->refCount, before + 1);
    FontEngine_instanceRelease(fe, a);
    EXPECT_EQ(fe->instanceCount, 0u);
    EXPECT_EQ(f->refCount, before);
}

TEST_F(InstancesTest, TheArrayStartsAtEightAndDoubles)
{
    FontEngine *fe = ctx->fontEngine;
    EXPECT_EQ(fe->instanceCapacity, 0u);
    std::vector<FontInstance *> got;
    for (int i = 0; i < 9; i++) {
        FontInstance *in = nullptr;
        ASSERT_EQ(FontEngine_instanceGet(fe, face(), &in), Res_ok);
        got.push_back(in);
        EXPECT_EQ(fe->instanceCapacity, i < 8 ? 8u : 16u) << i;
    }
    // Destroying one from the middle keeps the others in order.
    FontEngine_instanceDestroy(fe, got[3]);
    got.erase(got.begin() + 3);
    ASSERT_EQ(fe->instanceCount, 8u);
    for (uint32_t i = 0; i < 8; i++)
        EXPECT_EQ(fe->instances[i], got[i]);
    FontEngine_instanceDestroy(fe, nullptr);
    FontEngine_instancesFreeAll(fe);
    EXPECT_EQ(fe->instanceCount, 0u);
    EXPECT_EQ(fe->instances, nullptr);
    EXPECT_EQ(fe->instanceCapacity, 0u);
    FontEngine_instancesFreeAll(nullptr);
}

TEST_F(InstancesTest, DestroyDropsTheCachedOutlinesOfTheInstance)
{
    FontEngine *fe = ctx->fontEngine;
    ASSERT_EQ(LruCache_resize(64, &fe->pathCache), Res_ok);
    FontInstance *a = nullptr, *b = nullptr;
    ASSERT_EQ(FontEngine_instanceGet(fe, face(), &a), Res_ok);
    ASSERT_EQ(FontEngine_instanceGet(fe, face(), &b), Res_ok);
    Path *p = nullptr;
    ASSERT_EQ(Path_create(&p, 0x10000), Res_ok);
    ASSERT_EQ(Path_moveTo(p, 1, 2), Res_ok);
    ASSERT_EQ(Path_lineTo(p, 3, 4), Res_ok);
    ASSERT_EQ(Path_pack(p), Res_ok);
    Path *copy = p;
    ASSERT_EQ(LruCache_insert(fe->pathCache, uintptr_t(a), 7, &copy), 1);
    copy = p;
    ASSERT_EQ(LruCache_insert(fe->pathCache, uintptr_t(b), 7, &copy), 1);
    Path_destroy(p);
    FontEngine_instanceRelease(fe, a);
    Path *found = nullptr;
    EXPECT_EQ(LruCache_find(fe->pathCache, uintptr_t(a), 7, &found), 0);
    EXPECT_EQ(LruCache_find(fe->pathCache, uintptr_t(b), 7, &found), 1);
    FontEngine_instanceRelease(fe, b);
}

TEST_F(InstancesTest, RunningOutOfMemoryLeavesTheListAsItWas)
{
    FontEngine *fe = ctx->fontEngine;
    FontFace *f = face();
    uint32_t before = f->refCount;
    for (int n = 1;; n++) {
        Mem_failAfter(n);
        FontInstance *in = nullptr;
        int r = FontEngine_instanceGet(fe, f, &in);
        Mem_failAfter(0);
        if (r == Res_ok) {
            FontEngine_instanceRelease(fe, in);
            break;
        }
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(in, nullptr);
        EXPECT_EQ(fe->instanceCount, 0u);
        EXPECT_EQ(f->refCount, before);
        ASSERT_LT(n, 10);
    }
}

// --------------------------------------------------- substitution table

int upperTest(const CharFilter *, const char16_t *codes, int32_t n)
{
    for (int32_t i = 0; i < n; i++)
        if (codes[i] >= u'a' && codes[i] <= u'z')
            return 1;
    return 0;
}

int32_t upperMap(const char16_t *src, char16_t *dst, int32_t n)
{
    for (int32_t i = 0; i < n; i++)
        dst[i] = src[i] >= u'a' && src[i] <= u'z' ? char16_t(src[i] - 32) : src[i];
    return n;
}

int neverTest(const CharFilter *, const char16_t *, int32_t)
{
    return 0;
}

TEST_F(InstancesTest, TheTableFindsTheFirstEntryThatAppliesAndRewritesRuns)
{
    CharFilterList *table = nullptr;
    EXPECT_EQ(FontEngine_createSubstTable(nullptr), 0);
    ASSERT_EQ(FontEngine_createSubstTable(&table), 1);
    CharFilterList *same = table;
    EXPECT_EQ(FontEngine_createSubstTable(&same), 1);
    EXPECT_EQ(same, table);
    CharFilter never{sizeof(CharFilter), 1, 0x20, 0x7F, neverTest, upperMap, 0};
    CharFilter upper{sizeof(CharFilter), 2, 0x61, 0x7A, upperTest, upperMap, 0};
    ASSERT_EQ(FontCache_addCharMapping(table, &upper), 1);
    ASSERT_EQ(FontCache_addCharMapping(table, &never), 1);
    EXPECT_EQ(table->entries[0].kind, 1u); // ordered by first code
    EXPECT_EQ(SubstTable_find(table, u"ABC", 3), nullptr);
    EXPECT_EQ(SubstTable_find(table, u"AbC", 3), &table->entries[1]);
    EXPECT_EQ(SubstTable_find(nullptr, u"a", 1), nullptr);

    SubstTransformer tx;
    SubstTable_initTransformer(&tx, table);
    void *run = nullptr;
    // No entry applies: no run, the characters stay as they are.
    ASSERT_EQ(tx.base.begin(&tx.base, u"XYZ", 3, &run), Res_ok);
    EXPECT_EQ(run, nullptr);
    ASSERT_EQ(tx.base.begin(&tx.base, u"a\\b", 3, &run), Res_ok);
    ASSERT_NE(run, nullptr);
    char16_t chars[4] = {};
    uint16_t glyphs[4] = {9, 9, 9, 9};
    uint8_t fonts[4] = {9, 9, 9, 9};
    uint32_t count = 0;
    // Too little room: the count asked for, nothing written.
    ASSERT_EQ(tx.base.convert(run, chars, glyphs, fonts, 2, &count), Res_ok);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(chars[0], 0);
    ASSERT_EQ(tx.base.convert(run, chars, glyphs, fonts, 4, &count), Res_ok);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::u16string(chars, 3), u"A\\B");
    EXPECT_EQ(glyphs[0] | glyphs[2], 0);
    tx.base.end(run);
    FontEngine_freeSubstTable(&table);
    EXPECT_EQ(table, nullptr);
    FontEngine_freeSubstTable(nullptr);
}

// ------------------------------------------------------- directories

class DirectoriesTest : public FontEngineTest {
  protected:
    ConfigStore *store = nullptr;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FontEngineTest::SetUp());
        store = Config_createStore(ctx, u"x");
        ASSERT_NE(store, nullptr);
        ctx->config = store;
    }

    void TearDown() override
    {
        closeAll();
        FontEngine_destroy(ctx);
        Config_freeStore(ctx, store);
        ctx->config = nullptr;
        FontEngineTest::TearDown();
    }

    static std::string folder(const std::string &name)
    {
        return "file://root" + std::string(VEXLAN_FIXTURES) + "/fonts/folders/" + name + "/";
    }

    // The file URLs of the catalogue's faces after scanning value.
    std::vector<std::string> scan(const std::u16string &value)
    {
        Config_setUstr(ctx, store, nullptr, u"Vexlan_fontsDirectory", value.c_str(), 0);
        FontCatalogue *c = ctx->fontEngine->catalogue;
        FontEngine_addConfiguredDirectories(ctx);
        std::vector<std::string> files;
        for (uint32_t i = 0; i < c->faceCount; i++) {
            char16_t *s = c->urls[i] ? Url_toString(c->urls[i], 0xFFFFFFFF) : nullptr;
            std::string narrow;
            for (const char16_t *q = s; q && *q; q++)
                narrow += char(*q);
            if (s)
                files.push_back(narrow);
            Mem_free(s);
        }
        return files;
    }

    static std::u16string u16(const std::string &s)
    {
        return std::u16string(s.begin(), s.end());
    }
};

TEST_F(DirectoriesTest, TwoNamesJoinedByACommaAreScannedInOrder)
{
    auto both = scan(u16(folder("collection") + "," + folder("badmiddle")));
    ASSERT_GE(both.size(), 3u);
    // The collection's faces first, then the folder's good files.
    EXPECT_NE(both.front().find("/collection/"), std::string::npos) << both.front();
    EXPECT_NE(both.back().find("/badmiddle/"), std::string::npos) << both.back();
    size_t firstOfSecond = 0;
    while (firstOfSecond < both.size() &&
           both[firstOfSecond].find("/collection/") != std::string::npos)
        firstOfSecond++;
    for (size_t i = firstOfSecond; i < both.size(); i++)
        EXPECT_NE(both[i].find("/badmiddle/"), std::string::npos) << both[i];
}

TEST_F(DirectoriesTest, OneNameScansOneFolderAndNoSettingNothing)
{
    FontEngine_addConfiguredDirectories(ctx);
    EXPECT_EQ(ctx->fontEngine->catalogue->faceCount, 0u);
    auto one = scan(u16(folder("badmiddle")));
    EXPECT_EQ(one.size(), 2u);
    // An empty piece and a folder that does not exist change nothing more.
    FontCatalogue *c = ctx->fontEngine->catalogue;
    uint32_t n = c->faceCount;
    scan(u16("," + folder("nothing-here")));
    EXPECT_EQ(c->faceCount, n);
}

} // namespace
