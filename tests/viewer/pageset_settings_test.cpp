// The viewer's page set (keys, documents and their trackers, the
// first-page message) and the settings chosen at configuration (defaults
// of a second application, the start screen's orientation, font caches by
// extension, the subsample threshold, animations, reserve buffers).
#include <gtest/gtest.h>

#include <string>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/task/eventproc.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/loadprogress.h"
#include "platform/url/url.h"
#include "tests/platform/app_fixture.h"
#include "viewer/pageset.h"
#include "viewer/settings.h"

namespace {

class ViewerSetupTest : public AppFixture {
  protected:
    FvViewer *viewer()
    {
        return Fv_fromApp(inst);
    }
    EngineContext *ctx()
    {
        return inst->context;
    }
    // Read on the application thread: the store takes engine locks.
    uint32_t setting(const char16_t *domain, const char *key)
    {
        uint32_t value = 0;
        onAppThread([&] { value = Config_getIntA(ctx(), ctx()->config, domain, key, 0xdead); });
        return value;
    }
};

TEST_F(ViewerSetupTest, PageSetKeysRunWrapAndSkipKeysInUse)
{
    ASSERT_TRUE(start());
    onAppThread([&] {
        FvPageSet *set = nullptr;
        ASSERT_EQ(PageSet_create(ctx(), &set), 0);
        FvPage *pages = reinterpret_cast<FvPage *>(Mem_calloc(4, 8));
        uint32_t key = 0;
        for (uint32_t want : {1u, 2u, 3u}) {
            ASSERT_EQ(PageSet_add(set, pages, &key), 0);
            EXPECT_EQ(key, want);
        }
        // After 0xffffffff comes 1, which is in use, then 2 and 3: 4.
        set->lastKey = 0xfffffffe;
        ASSERT_EQ(PageSet_add(set, pages, &key), 0);
        EXPECT_EQ(key, 0xffffffffu);
        ASSERT_EQ(PageSet_add(set, pages, &key), 0);
        EXPECT_EQ(key, 4u);
        PageSet_remove(set, 2);
        PageSet_remove(set, 77); // absent: nothing changes
        EXPECT_EQ(PageSet_page(set, 2), nullptr);
        EXPECT_EQ(PageSet_page(set, 3), pages);
        set->lastKey = 1;
        ASSERT_EQ(PageSet_add(set, pages, &key), 0);
        EXPECT_EQ(key, 2u);
        EXPECT_EQ(PageSet_setDocument(set, 99, nullptr), Res_pageSetNoEntry);
        EXPECT_EQ(PageSet_restartTracking(set, 99, nullptr), Res_pageSetNoEntry);
        EXPECT_EQ(PageSet_restartTracking(set, 1, nullptr), Res_pageSetNoTracker);
        PageSet_free(set);
        Mem_free(pages);
    });
}

// With a key space of 4 the keys wrap after 4; once every key is in use
// the search comes back to the last key handed out and gives 27394, and a
// removed key is handed out again.
TEST_F(ViewerSetupTest, PageSetKeysRunOutAndComeBack)
{
    ASSERT_TRUE(start());
    onAppThread([&] {
        FvPageSet *set = nullptr;
        ASSERT_EQ(PageSet_create(ctx(), &set), 0);
        set->maxKey = 4;
        FvPage *pages = reinterpret_cast<FvPage *>(Mem_calloc(4, 8));
        uint32_t key = 0;
        for (uint32_t want : {1u, 2u, 3u, 4u}) {
            ASSERT_EQ(PageSet_add(set, pages, &key), 0);
            EXPECT_EQ(key, want);
        }
        EXPECT_EQ(PageSet_add(set, pages, &key), Res_pageSetKeysExhausted);
        EXPECT_EQ(key, 0u);
        EXPECT_EQ(set->lastKey, 4u);
        PageSet_remove(set, 3);
        ASSERT_EQ(PageSet_add(set, pages, &key), 0);
        EXPECT_EQ(key, 3u);
        EXPECT_EQ(PageSet_add(set, pages, &key), Res_pageSetKeysExhausted);
        PageSet_free(set);
        Mem_free(pages);
    });
}

// A document given to an entry takes its tracker; two loaded parts reach
// the total of counter 3 (1 started), so the first-page message is posted
// once, for that document. The viewer's own page (key 0, never handed out)
// gets its entry with its first document and is tracked the same way:
// edit mode waits for that message.
TEST_F(ViewerSetupTest, PageSetTracksTheDocumentAndPostsTheFirstPage)
{
    ASSERT_TRUE(start());
    for (bool ownPage : {false, true}) {
        SCOPED_TRACE(ownPage ? "key 0" : "added key");
        struct Seen {
            Edr_Doc *doc;
            int firstPages;
        } seen{nullptr, 0};
        auto listener = [](EngineContext *, EventProcMsg *msg, void *arg, int *) {
            Seen *s = static_cast<Seen *>(arg);
            const EventProcCodeMsg *m = static_cast<const EventProcCodeMsg *>(msg->payload);
            if (m->code == 17 && m->document == s->doc)
                s->firstPages++;
        };
        FvPageSet *set = nullptr;
        onAppThread([&] {
            ASSERT_EQ(PageSet_create(ctx(), &set), 0);
            Edr_Node *root = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &seen.doc, &root), 0);
            uint32_t key = 0;
            if (!ownPage) {
                ASSERT_EQ(PageSet_add(set, nullptr, &key), 0);
            }
            ASSERT_EQ(PageSet_setDocument(set, key, seen.doc), 0);
            LoadProgress *tracker = PageSet_tracker(set, key);
            ASSERT_NE(tracker, nullptr);
            EXPECT_EQ(Edr_Doc_getLoadStats(seen.doc), tracker);
            int32_t done = -5, total = -5;
            LoadProgress_get(tracker, 3, &done, &total);
            EXPECT_EQ(done, 0);
            EXPECT_EQ(total, 1);
            ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 1, listener, &seen), 0);
            EventProcCodeMsg loaded{15, seen.doc, nullptr, 0};
            EventProcMsg msg{};
            msg.kind = 1;
            msg.payload = &loaded;
            PageSet_onEvent(set, &msg);
            PageSet_onEvent(set, &msg); // clamped at the total: no second message
            PageSet_finishTracking(set, key);
            LoadProgress_get(tracker, 2, &done, &total);
            EXPECT_EQ(done, 1);
        });
        drive([] { return false; }, 30);
        onAppThread([&] {
            EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 1, listener, &seen), 0);
            PageSet_free(set);
            Edr_Doc_release(seen.doc);
        });
        EXPECT_EQ(seen.firstPages, 1);
        seen = {nullptr, 0};
    }
}

TEST_F(ViewerSetupTest, StartScreenSettingMapsToOrientation)
{
    struct Case {
        uint32_t code;
        int32_t orientation;
    } cases[] = {{0x10000, 0}, {0x10001, 1}, {0x10002, 2}, {0x10003, 0},
                 {0x10004, 3}, {0, 0},       {0x10005, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(Fv_orientationOfScreenSetting(c.code), c.orientation) << std::hex << c.code;
}

TEST_F(ViewerSetupTest, FontCachesBySuffix)
{
    ASSERT_TRUE(start());
    struct Case {
        const char *url;
        uint32_t path, clip;
    } cases[] = {{"file:///d/a.GIF", 0, 0},    {"file:///d/a.jpeg", 0, 0},
                 {"file:///d/a.wbmp", 0, 0},   {"file:///d/a.xls", 64, 128},
                 {"file:///d/a.txt", 64, 128}, {"file:///d.gif/a", 64, 128},
                 {"file:///d/a", 64, 128}};
    for (const Case &c : cases) {
        onAppThread([&] {
            Url *url = nullptr;
            ASSERT_EQ(Url_newFromUserString(c.url, &url, 1), 0);
            Fv_setFontCacheSizes(viewer(), url);
            Url_free(url);
        });
        EXPECT_EQ(setting(u"Font Engine", "cache.path.size"), c.path) << c.url;
        EXPECT_EQ(setting(u"Font Engine", "cache.clipmask.size"), c.clip) << c.url;
    }
}

TEST_F(ViewerSetupTest, SubsampleThresholdByTypeAndMemory)
{
    ASSERT_TRUE(start());
    struct Case {
        const char16_t *path;
        size_t kib;
        uint32_t before, after;
    } cases[] = {
        {u"/a.jpg", 3584, 1, 904}, {u"/a.JPEG", 4096, 1, 1024}, {u"/a.jpg", 3583, 1, 808},
        {u"/a.jpg", 2560, 1, 640}, {u"/a.jpg", 2559, 1, 1},     {u"/a.jpg", 0, 1, 640},
        {u"/a.png", 2559, 1, 640}, {u"/a.txt", 4096, 1, 1},     {nullptr, 4096, 1, 1},
    };
    for (const Case &c : cases) {
        onAppThread([&] {
            Config_setIntA(ctx(), ctx()->config, u"Image", "subsample.threshold", c.before, 0);
            Fv_storeSubsampleThreshold(viewer(), c.path, c.kib * 1024);
        });
        EXPECT_EQ(setting(u"Image", "subsample.threshold"), c.after) << c.kib;
    }
    onAppThread([&] {
        Config_setIntA(ctx(), ctx()->config, nullptr, "FV_StaticSubsampleThresholdOverride", 500,
                       0);
        Fv_storeSubsampleThreshold(viewer(), u"/a.txt", 0);
    });
    EXPECT_EQ(setting(u"Image", "subsample.threshold"), 500u);
}

// A second application on a configured engine registers only its
// thumbnail limit: a setting the first overwrote keeps the changed value.
TEST_F(ViewerSetupTest, SecondApplicationRegistersOnlyTheThumbnailLimit)
{
    ASSERT_TRUE(start());
    EXPECT_EQ(setting(u"eDR", "page.on.demand"), 0u);
    onAppThread([&] {
        Config_setIntA(ctx(), ctx()->config, u"eDR", "page.on.demand", 1, 0);
        FvViewer second{};
        second.context = ctx();
        App_initStartOptions(&second.options);
        second.options.word[FvStart_thumbnailsMax] = 9;
        Fv_registerDefaults(&second, 1);
        Fv_registerDefaults(viewer(), 1);
    });
    EXPECT_EQ(setting(u"eDR", "page.on.demand"), 1u);
    EXPECT_EQ(setting(u"Core", "Vexlan_thumbnailsMax"), 0u); // kept from the first
}

TEST_F(ViewerSetupTest, AnimationsAndReserveBuffers)
{
    ASSERT_TRUE(start());
    FvViewer probe{};
    onAppThread([&] {
        probe.context = ctx();
        App_initStartOptions(&probe.options);
        Fv_setLowMemoryAnimations(&probe, u"a.txt"); // forbidden by the default option
    });
    EXPECT_EQ(setting(u"Core", "LowMemoryAnimations"), 0u);
    onAppThread([&] {
        probe.options.word[FvStart_reserveBufferCount] = 3;
        Fv_allocReserve(&probe);
        ASSERT_NE(probe.reserveBuffers, nullptr);
        for (int i = 0; i < 3; i++)
            EXPECT_NE(probe.reserveBuffers[i], nullptr);
        void **first = probe.reserveBuffers;
        Fv_allocReserve(&probe); // once
        EXPECT_EQ(probe.reserveBuffers, first);
        Fv_freeReserve(&probe);
        EXPECT_EQ(probe.reserveBuffers, nullptr);
    });
    EXPECT_NE(viewer()->reserveBuffers, nullptr); // made at configuration
    EXPECT_EQ(viewer()->configured & 1, 1);
}

} // namespace
