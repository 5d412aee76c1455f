// The font engine record: creation and its tables, configuration with a
// fonts directory and the cache settings, failures that leave no engine,
// destruction twice, the yen filter by locale, closing the catalogue's
// files and face client data.
#include "tests/fonts/font_engine_support.h"

#include "core/config/config.h"
#include "graphics/glyphcache.h"
#include "core/context/context.h"
#include "core/time/localeset.h"
#include "fonts/catalogue.h"

namespace {

class FontEngineRecordTest : public FontEngineTest {
  protected:
    ConfigStore *store = nullptr;

    void TearDown() override
    {
        closeAll();
        FontEngine_destroy(ctx);
        if (store) {
            Config_freeStore(ctx, store);
            ctx->config = nullptr;
        }
        FontEngineTest::TearDown();
    }

    void makeStore()
    {
        store = Config_createStore(ctx, u"x");
        ASSERT_NE(store, nullptr);
        ctx->config = store;
    }

    Url *fontsDir()
    {
        return url("file://root" + dir + "/");
    }
};

TEST_F(FontEngineRecordTest, CreateFillsTheTables)
{
    FontEngine *fe = ctx->fontEngine;
    ASSERT_NE(fe, nullptr);
    EXPECT_NE(fe->catalogue, nullptr);
    EXPECT_NE(fe->charFilters, nullptr);
    EXPECT_EQ(fe->charFilters->count, 0);
    EXPECT_EQ(fe->packOps, nullptr);
    EXPECT_EQ(fe->layoutOps, nullptr);
    EXPECT_EQ(fe->fontsDir, nullptr);
    EXPECT_EQ(fe->pathCache, nullptr); // caches come with configuration
    FontEngine_destroy(ctx);
    EXPECT_EQ(ctx->fontEngine, nullptr);
    FontEngine_destroy(ctx); // twice is harmless
    FontEngine_destroy(nullptr);
    EXPECT_EQ(FontEngine_create(nullptr), Res_nullInput);
}

TEST_F(FontEngineRecordTest, ConfigureKeepsTheDirectoryAndMakesTheCaches)
{
    Url *u = fontsDir();
    ASSERT_EQ(FontEngine_configure(ctx, u), Res_ok);
    FontEngine *fe = ctx->fontEngine;
    ASSERT_NE(fe, nullptr);
    ASSERT_NE(fe->fontsDir, nullptr);
    EXPECT_NE(fe->fontsDir, u);
    Url_free(u);
    // The defaults, 64 and 128 kilobytes.
    ASSERT_NE(fe->pathCache, nullptr);
    ASSERT_NE(fe->maskCache, nullptr);
    LruCache *same = nullptr;
    ASSERT_EQ(LruCache_resize(64, &same), Res_ok);
    EXPECT_EQ(fe->pathCache->dataSize, same->dataSize);
    LruCache_destroy(same);
    EXPECT_EQ(fe->instanceCount, 0u);
}

TEST_F(FontEngineRecordTest, CacheSettings)
{
    makeStore();
    struct Case {
        const char *path, *mask;
        int32_t pathBudget;
        bool pathCache, maskCache;
    } cases[] = {
        {"0", "0", 0, false, false},     // the viewer's choice: no caches
        {"16", "0", 16, true, false},    // kilobytes
        {"4096", "1", 4096, true, true}, // 1024 and above: bytes
    };
    for (const Case &c : cases) {
        if (!ctx->fontEngine) {
            ASSERT_EQ(FontEngine_create(ctx), Res_ok);
        }
        Config_setUstrA(ctx, store, u"Font Engine", "cache.path.size", U(c.path).c_str(), 0);
        Config_setUstrA(ctx, store, u"Font Engine", "cache.clipmask.size", U(c.mask).c_str(), 0);
        Url *u = fontsDir();
        ASSERT_EQ(FontEngine_configure(ctx, u), Res_ok) << c.path;
        Url_free(u);
        FontEngine *fe = ctx->fontEngine;
        EXPECT_EQ(fe->pathCache != nullptr, c.pathCache) << c.path;
        EXPECT_EQ(fe->maskCache != nullptr, c.maskCache) << c.path;
        if (fe->pathCache) {
            LruCache *same = nullptr;
            ASSERT_EQ(LruCache_resize(c.pathBudget, &same), Res_ok);
            EXPECT_EQ(fe->pathCache->dataSize, same->dataSize) << c.path;
            LruCache_destroy(same);
        }
        FontEngine_destroy(ctx);
    }
}

TEST_F(FontEngineRecordTest, SetCacheSizesFollowsTheSettingsAndFailsWhole)
{
    FontEngine_destroy(ctx);
    EXPECT_EQ(FontEngine_setCacheSizes(ctx), Res_nullInput); // no font engine
    ASSERT_EQ(FontEngine_create(ctx), Res_ok);
    // Without configuration: 64 and 128 kilobytes.
    ASSERT_EQ(FontEngine_setCacheSizes(ctx), Res_ok);
    FontEngine *fe = ctx->fontEngine;
    ASSERT_TRUE(fe->pathCache && fe->maskCache);
    LruCache *path64 = nullptr;
    LruArena *mask128 = nullptr;
    ASSERT_EQ(LruCache_resize(64, &path64), Res_ok);
    ASSERT_EQ(LruArena_resize(128, &mask128), Res_ok);
    EXPECT_EQ(fe->pathCache->dataSize, path64->dataSize);
    EXPECT_EQ(fe->maskCache->dataSize, mask128->dataSize);
    LruCache_destroy(path64);
    LruArena_destroy(mask128);
    // A setting changed afterwards is applied by the next call.
    makeStore();
    Config_setUstrA(ctx, store, u"Font Engine", "cache.path.size", U("16").c_str(), 0);
    ASSERT_EQ(FontEngine_setCacheSizes(ctx), Res_ok);
    LruCache *path16 = nullptr;
    ASSERT_EQ(LruCache_resize(16, &path16), Res_ok);
    EXPECT_EQ(fe->pathCache->dataSize, path16->dataSize);
    LruCache_destroy(path16);
    // A failing resize leaves neither cache.
    for (uint64_t n = 1; n < 20; n++) {
        Mem_failAfter(n);
        int r = FontEngine_setCacheSizes(ctx);
        Mem_failAfter(0);
        if (r == Res_ok)
            break;
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(fe->pathCache, nullptr);
        EXPECT_EQ(fe->maskCache, nullptr);
        ASSERT_EQ(FontEngine_setCacheSizes(ctx), Res_ok); // and recovers
    }
    FontEngine_destroy(ctx);
}

TEST_F(FontEngineRecordTest, FailuresLeaveNoFontEngine)
{
    FontEngine_destroy(ctx);
    Url *u = fontsDir();
    int n = 1;
    for (;; n++) {
        Mem_failAfter(n);
        int r = FontEngine_init(ctx, u);
        Mem_failAfter(0);
        if (r == Res_ok)
            break;
        ASSERT_EQ(r, Res_noMemory) << "allocation " << n;
        EXPECT_EQ(ctx->fontEngine, nullptr) << "allocation " << n;
        // What calls the font engine afterwards finds none and does nothing.
        FontEngine_installYenFilter(ctx);
        FontEngine_closeFontFiles(ctx);
        EXPECT_EQ(FontEngine_rescanFonts(ctx, u), Res_nullInput);
        EXPECT_EQ(FontEngine_configure(ctx, u), Res_nullInput);
        ASSERT_LT(n, 100);
    }
    EXPECT_GT(n, 5);
    EXPECT_NE(ctx->fontEngine, nullptr);
    Url_free(u);
}

TEST_F(FontEngineRecordTest, TheYenFilterBelongsToTheJapaneseLocale)
{
    struct Case {
        const char *locale;
        int32_t filters;
    } cases[] = {{"en-gb", 0}, {"ja-jp", 1}, {"en-gb", 1}, {"ja-jp", 2}};
    for (const Case &c : cases) {
        ASSERT_EQ(Locale_setCurrent(heap.instance, c.locale), 1);
        FontEngine_installYenFilter(ctx);
        EXPECT_EQ(ctx->fontEngine->charFilters->count, c.filters) << c.locale;
    }
    const CharFilter &f = ctx->fontEngine->charFilters->entries[0];
    EXPECT_EQ(f.size, sizeof(CharFilter));
    EXPECT_EQ(f.kind, 14u);
    EXPECT_EQ(f.first, 92);
    EXPECT_EQ(f.last, 92);
    char16_t text[] = u"C:\\x\\", out[6] = {};
    EXPECT_NE(f.test(&f, text, 5), 0);
    EXPECT_EQ(f.map(text, out, 5), 5);
    EXPECT_EQ(std::u16string(out), u"C:\u00A5x\u00A5");
    ASSERT_EQ(Locale_setCurrent(heap.instance, "en-gb"), 1);
}

struct ClientLog {
    std::vector<std::string> events;
};

void logRelease(void *data)
{
    ClientLog *log = static_cast<ClientLog *>(data);
    log->events.push_back("release");
}

TEST_F(FontEngineRecordTest, FaceClientData)
{
    FontFace *face = open("tt-macwin.ttf");
    ASSERT_NE(face, nullptr);
    ClientLog a, b;
    FontEngine_setFaceClientData(ctx, face, &a, 7, logRelease);
    EXPECT_TRUE(a.events.empty());
    EXPECT_EQ(face->clientWord, 7u);
    FontEngine_setFaceClientData(ctx, face, &b, 8, logRelease);
    EXPECT_EQ(a.events, std::vector<std::string>{"release"});
    EXPECT_EQ(face->closeArg, &b);
    FontEngine_setFaceClientData(nullptr, face, &a, 9, logRelease);
    FontEngine_setFaceClientData(ctx, nullptr, &a, 9, logRelease);
    EXPECT_EQ(face->clientWord, 8u);
    closeAll(); // the face's release runs with its data
    EXPECT_EQ(b.events, std::vector<std::string>{"release"});
}

TEST_F(FontEngineRecordTest, CloseFontFilesClosesEveryCatalogueFace)
{
    FontFace *face = open("tt-macwin.ttf");
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(map1(face, 'A'), 4);
    EXPECT_EQ(map1(face, 'A'), 4);
    ASSERT_EQ(BufStream_setRange(ctx, face->reader, 0, 4), Res_ok);
    EXPECT_EQ(face->reader->isOpen, 1u);
    FontCatalogue *cat = ctx->fontEngine->catalogue;
    FontFace *list[2] = {face, nullptr};
    cat->faces = list;
    cat->faceCount = 2;
    FontEngine_closeFontFiles(ctx);
    EXPECT_EQ(face->reader->isOpen, 0u);
    cat->faces = nullptr;
    cat->faceCount = 0;
    // The file opens again on the next read.
    EXPECT_EQ(metrics(face, {4})[0].first, 3600);
}

} // namespace
