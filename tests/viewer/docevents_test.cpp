// Opening documents and the viewer's document events on the running
// application: the state report and the document's information of a first
// display, same-URL opens and reloads, an open out of memory, and
// synthetic events: load progress, thumbnails, first content, edit states,
// link kinds and the load-status alerts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/task/eventproc.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/page.h"
#include "graphics/image.h"
#include "document/edr/loadprogress.h"
#include "platform/url/url.h"
#include "viewer/hostquery.h"
#include "tests/pdf/pdf_support.h"
#include "tests/platform/app_fixture.h"
#include "viewer/docevents.h"
#include "viewer/pageset.h"
#include "viewer/reports.h"

namespace {

class DocEventsTest : public AppFixture {
  protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        Headless_setRequestHook(host, hook, this);
    }
    static void hook(void *arg, int32_t code, void *record)
    {
        DocEventsTest *t = static_cast<DocEventsTest *>(arg);
        AppFixture::onRequest(arg, code, record);
        if (!record)
            return;
        if (code == Fv_requestState)
            t->state = *static_cast<const FvStateReport *>(record);
        if (code == Fv_requestProgress)
            t->progress.push_back(static_cast<const FvProgressReport *>(record)->percent);
        if (code == Fv_requestLink) {
            const FvLinkReport *r = static_cast<const FvLinkReport *>(record);
            t->links.push_back({r->kind, r->urlText ? r->urlText : "", r->mode});
        }
        if (code == Fv_requestThumbnail) {
            const FvThumbnailReport *r = static_cast<const FvThumbnailReport *>(record);
            t->thumbSize = {r->width, r->height};
            t->thumbs.push_back({r->word, r->document});
            // The picture's pixels, row after row without the padding.
            t->thumbPixels.clear();
            if (r->pixels && r->width > 0 && r->height > 0) {
                size_t stride = size_t(r->bytes) / size_t(r->height);
                const uint8_t *p = static_cast<const uint8_t *>(r->pixels);
                for (int32_t y = 0; y < r->height; y++)
                    for (int32_t x = 0; x < r->width; x++) {
                        uint16_t v;
                        std::memcpy(&v, p + size_t(y) * stride + 2 * size_t(x), 2);
                        t->thumbPixels.push_back(v);
                    }
            }
        }
    }
    FvViewer *viewer()
    {
        return Fv_fromApp(inst);
    }
    // Runs a code message for the shown document through the handler.
    void codeEvent(int32_t code, intptr_t argument = 0)
    {
        onAppThread([&] {
            EventProcCodeMsg m{code, viewer()->page->document, nullptr, argument};
            EventProcMsg msg{};
            msg.kind = 1;
            msg.payload = &m;
            Fv_onDocEvent(viewer(), &msg);
        });
    }

    FvStateReport state{};
    std::vector<int32_t> progress;
    std::pair<int32_t, int32_t> thumbSize{0, 0};
    std::vector<uint16_t> thumbPixels; // the last thumbnail's, 5-6-5, top row first
    std::vector<std::pair<intptr_t, const void *>> thumbs; // {word, document or page key}
    struct LinkSeen {
        int32_t kind;
        std::string url;
        int32_t mode;
    };
    std::vector<LinkSeen> links;
    // Runs a link activation (event kind 6) of text with link flags.
    // A text starting with '#' is resolved against the shown URL.
    void linkEvent(const std::string &text, intptr_t flags = 0)
    {
        onAppThread([&] {
            Url *url = nullptr;
            if (text[0] == '#') {
                std::u16string rel(text.begin(), text.end());
                url = Url_resolveText(viewer()->context, rel.c_str(), viewer()->page->url);
                ASSERT_NE(url, nullptr);
            } else {
                ASSERT_EQ(Url_newFromUserString(text.c_str(), &url, 1), 0);
            }
            EventProcKind6Msg m{};
            m.view = viewer()->page->document;
            m.url = url;
            m.words[0] = flags;
            EventProcMsg msg{};
            msg.kind = 6;
            msg.payload = &m;
            Fv_onDocEvent(viewer(), &msg);
            Url_free(url);
        });
    }
    // The last thumbnail's pixel at (x, y), counted from its top-left.
    uint16_t thumbAt(int32_t x, int32_t y) const
    {
        return thumbPixels[size_t(y) * size_t(thumbSize.first) + size_t(x)];
    }
    // Drives the engine until the shown document has a laid-out first page;
    // its rectangle's width and height (16.16 inches).
    std::pair<int64_t, int64_t> firstPageSize()
    {
        std::pair<int64_t, int64_t> size{0, 0};
        for (int round = 0; round < 200 && size.first <= 0; round++) {
            onAppThread([&] {
                Edr_Doc *doc = viewer()->page->document;
                int32_t key = 0;
                uint32_t kind = 0;
                Edr_PageEntry *entry = nullptr;
                if (!doc || Edr_Page_getKeyByIndex(&key, &kind, doc, 0) ||
                    Edr_Page_find(&entry, doc, key, kind, 0))
                    return;
                const int32_t *b = Edr_Page_rectOrDefault(Edr_Page_deref(entry));
                size = {int64_t(b[2]) - b[0], int64_t(b[3]) - b[1]};
                Edr_Page_release(entry, 0);
            });
            drive([] { return false; }, 20);
        }
        return size;
    }
    // Asks for the document's thumbnail as a host without a screen does
    // (the viewer not interactive); the number of thumbnails that came.
    int askDocumentThumbnail()
    {
        onAppThread([&] { viewer()->options.word[FvStart_interactiveMode] = 0; });
        int before = documentThumbnails();
        codeEvent(1, 3);
        return documentThumbnails() - before;
    }
    void setThumbnailSetting(const char *key, int32_t value)
    {
        onAppThread([&] {
            EngineContext *c = viewer()->context;
            Config_setIntA(c, c->config, nullptr, key, value, 0);
        });
    }
    // The thumbnails of the whole document (sub-kind 1) sent so far.
    int documentThumbnails()
    {
        Edr_Doc *doc = nullptr;
        onAppThread([&] { doc = viewer()->page->document; });
        int n = 0;
        for (const auto &t : thumbs)
            n += t.second == doc;
        return n;
    }
};

TEST_F(DocEventsTest, Utf8TextIsAnnouncedWithItsEncodingThenItsInformation)
{
    ASSERT_EQ(start(), 1);
    std::string file = writeFile("utf8.txt", "Gr\xc3\xbc\xc3\x9f"
                                             "e aus K\xc3\xb6ln\n");
    ASSERT_TRUE(open(file));
    EXPECT_EQ(openCodes(), "0x10004 0x10001 0x1000a ");
    EXPECT_EQ(state.encoding, 0x10007);
    EXPECT_EQ(state.status, 0x10002);
    EXPECT_EQ(state.loaded, 1);
}

TEST_F(DocEventsTest, HostEncodingCodes)
{
    const std::map<uint32_t, int32_t> table = {
        {0, 0x10000},  {1, 0x10007},  {30, 0x10006}, {31, 0x10003}, {32, 0x10004},
        {33, 0x10005}, {34, 0x10001}, {35, 0x10002}, {2, 0x10008},  {99, 0x10008}};
    for (auto [charset, code] : table)
        EXPECT_EQ(Fv_hostEncodingOf(charset), code) << charset;
}

TEST_F(DocEventsTest, SameUrlWithAFragmentStartsNoLoadAndFlagTwoReloads)
{
    ASSERT_EQ(start(), 1);
    std::string file = "file://localhost/" + writeFile("a.txt", "one\n");
    ASSERT_TRUE(open(file));
    ASSERT_EQ(count(Fv_requestDocInfo), 1);
    Edr_Doc *shown = nullptr;
    onAppThread([&] { shown = viewer()->page->document; });
    // The shown URL with a fragment added.
    int opened = -1;
    onAppThread([&] {
        Url *url = Url_copy(viewer()->page->url);
        ASSERT_NE(url, nullptr);
        ASSERT_EQ(Url_setPart(url, UrlPart_fragment, u"later"), 1);
        opened = View_openUrl(viewer(), 0, url, 0);
        if (opened != 0)
            Url_free(url);
    });
    EXPECT_EQ(opened, 0);
    drive([] { return false; }, 50);
    EXPECT_EQ(count(Fv_requestDocInfo), 1);
    Edr_Doc *after = nullptr;
    onAppThread([&] { after = viewer()->page->document; });
    EXPECT_EQ(after, shown);
    ASSERT_TRUE(open(file, 2));
    EXPECT_EQ(count(Fv_requestDocInfo), 2);
    onAppThread([&] { after = viewer()->page->document; });
    EXPECT_NE(after, shown);
}

// A new open while the shown document still translates closes that
// document first; opens that come while the load waits start nothing but
// replace the URL to load, and the newest one is shown once the closing
// document has ended.
TEST_F(DocEventsTest, AnOpenWhileAnotherIsPendingStartsNothing)
{
    ASSERT_EQ(start(), 1);
    std::string a = writeFile("a.txt", "one\n");
    std::string b = writeFile("b.txt", std::string(200000, 'b') + "\n");
    std::string c = writeFile("c.txt", "three\n");
    std::string d = writeFile("d.txt", "four\n");
    ASSERT_TRUE(open(a));
    ASSERT_EQ(count(Fv_requestDocInfo), 1);
    auto urlOf = [](const std::string &file) {
        Url *url = nullptr;
        EXPECT_EQ(Url_newFromUserString(file.c_str(), &url, 1), 0);
        return url;
    };
    Edr_Doc *shownB = nullptr;
    uint32_t closing = 0;
    int32_t pending = 0, results[3] = {-1, -1, -1};
    uint32_t classes[3] = {0, 0, 0};
    onAppThread([&] {
        FvViewer *v = viewer();
        // a has ended: it is released at once and b translates; flag 2
        // marks its URL as class 4.
        results[0] = View_openUrl(v, 0, urlOf(b), 2);
        shownB = v->page->document;
        classes[0] = Url_getClass(v->page->url);
        // b still translates: it goes on the closing list and c waits.
        results[1] = View_openUrl(v, 0, urlOf(c), 0);
        classes[1] = Url_getClass(v->page->url);
        // While c waits, d only takes its place; flag 1 still marks it as
        // class 2.
        results[2] = View_openUrl(v, 0, urlOf(d), 1);
        classes[2] = Url_getClass(v->page->url);
        closing = v->loadingCount;
        pending = v->loadPending;
    });
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(results[2], 0);
    EXPECT_EQ(closing, 1u);
    EXPECT_EQ(pending, 1);
    EXPECT_EQ(classes[0], 4u);
    EXPECT_EQ(classes[1] & 6u, 0u);
    EXPECT_EQ(classes[2], 2u);
    ASSERT_TRUE(drive([&] { return count(Fv_requestDocInfo) > 1; }));
    drive([] { return false; }, 50);
    // Only d was shown after a: b was closed, c never loaded.
    EXPECT_EQ(count(Fv_requestDocInfo), 2);
    EXPECT_EQ(alerts(Fv_alertOpenFailed), 0);
    onAppThread([&] {
        FvViewer *v = viewer();
        closing = v->loadingCount;
        pending = v->loadPending;
        char *text = Url_toUtf8(v->page->url, UrlPart_path);
        ASSERT_NE(text, nullptr);
        EXPECT_NE(strstr(text, "d.txt"), nullptr) << text;
        Mem_free(text);
        EXPECT_NE(v->page->document, shownB);
    });
    EXPECT_EQ(closing, 0u);
    EXPECT_EQ(pending, 0);
}

// The engine stopping while a load waits for a closing document releases
// both documents (the fixture checks that no engine block is left).
TEST_F(DocEventsTest, StoppingWhileALoadWaitsLeavesNothingBehind)
{
    ASSERT_EQ(start(), 1);
    std::string a = writeFile("a.txt", std::string(200000, 'a') + "\n");
    std::string b = writeFile("b.txt", "two\n");
    uint32_t closing = 0;
    onAppThread([&] {
        for (const std::string &file : {a, b}) {
            Url *url = nullptr;
            ASSERT_EQ(Url_newFromUserString(file.c_str(), &url, 1), 0);
            ASSERT_EQ(View_openUrl(viewer(), 0, url, 0), 0);
        }
        closing = viewer()->loadingCount;
    });
    EXPECT_EQ(closing, 1u);
    Engine_stop(inst);
    EXPECT_EQ(host->instance, nullptr);
}

// An open that runs out of engine memory tells the host with the
// out-of-memory alert instead of nothing.
TEST_F(DocEventsTest, OpenOutOfMemoryIsReported)
{
    ASSERT_EQ(start(), 1);
    std::string file = writeFile("b.txt", "two\n");
    int result = -1;
    onAppThread([&] {
        Url *url = nullptr;
        ASSERT_EQ(Url_newFromUserString(file.c_str(), &url, 1), 0);
        Mem_failAfter(1);
        result = View_openUrl(viewer(), 0, url, 0);
        Mem_failAfter(0);
        if (result != 0)
            Url_free(url);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(alerts(Fv_alertNoMemory), 1);
    EXPECT_EQ(alerts(Fv_alertOpenFailed), 0);
}

// Load progress is sent only while the first display is pending and the
// percentage changed.
TEST_F(DocEventsTest, ProgressIsSentWhileTheFirstDisplayIsPendingAndOnChange)
{
    ASSERT_EQ(start(), 1);
    std::string file = writeFile("c.txt", "three\n");
    ASSERT_TRUE(open(file));
    // The load is tracked under the viewer's own page: once its layout has
    // settled it announces its first page (17), which ends the first
    // display. Wait for that, so that it cannot end the one armed below.
    bool firstPage = false;
    for (int i = 0; i < 500 && !firstPage; i++) {
        onAppThread([&] {
            LoadProgress *own = PageSet_tracker(viewer()->pageSet, 0);
            int32_t done = 0, total = -1;
            if (own)
                LoadProgress_get(own, 3, &done, &total);
            firstPage = own && total >= 0 && done >= total;
        });
        drive([] { return false; }, 5);
    }
    ASSERT_TRUE(firstPage);
    LoadProgress *tracker = nullptr;
    uint32_t key = 0;
    onAppThread([&] {
        FvPage *page = viewer()->page;
        ASSERT_EQ(PageSet_add(viewer()->pageSet, page, &key), 0);
        ASSERT_EQ(PageSet_setDocument(viewer()->pageSet, key, page->document), 0);
        tracker = PageSet_tracker(viewer()->pageSet, key);
        page->key = int32_t(key);
        page->firstDisplayPending = 1;
        page->loadPercent = -1;
        (void)LoadProgress_setTotal(tracker, 0, 100);
        (void)LoadProgress_setDone(tracker, 0, 50);
        progress.clear(); // what the load itself reported
    });
    codeEvent(31);
    codeEvent(31); // unchanged: nothing
    ASSERT_EQ(progress.size(), 1u);
    int32_t first = progress[0];
    EXPECT_GE(first, 0);
    onAppThread([&] {
        (void)LoadProgress_setDone(tracker, 0, 100);
        viewer()->page->firstDisplayPending = 0;
    });
    codeEvent(31); // changed, but shown already: stored, not sent
    EXPECT_EQ(progress.size(), 1u);
    int32_t stored = -1;
    onAppThread([&] {
        stored = viewer()->page->loadPercent;
        viewer()->page->key = 0;
        PageSet_remove(viewer()->pageSet, key);
    });
    EXPECT_GT(stored, first);
}

// A document's thumbnail goes to the host only when the viewer is not
// interactive. It is the first page drawn within the limits: the fitted
// side as long as its limit, the picture inside the box, and for a text
// document mostly the page's white with darker text on it. With the
// default height-to-width ratio of 1 a portrait page is fitted by its
// width and cut at the box's bottom; with a ratio limit above the page's
// the whole page shows, its shape kept.
TEST_F(DocEventsTest, ThumbnailOnlyWhenNotInteractive)
{
    ASSERT_EQ(start(), 1);
    std::string text;
    for (int i = 0; i < 40; i++)
        text += "Line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog.\n";
    ASSERT_TRUE(open(writeFile("d.txt", text)));
    std::pair<int64_t, int64_t> page = firstPageSize();
    ASSERT_GT(page.first, 0);
    ASSERT_GT(page.second, page.first); // a portrait page
    codeEvent(1, 3);
    EXPECT_EQ(documentThumbnails(), 0);
    // The portrait page's width for a height of 100 pixels.
    const int32_t shapeWidth =
        int32_t(std::lround(100.0 * double(page.first) / double(page.second)));
    struct Case {
        const char *name;
        int32_t width, height, ratioPercent;
        int32_t expectWidth, expectHeight;
    } cases[] = {
        {"defaults", 100, 100, 100, 100, 100},          // fitted by its width, cut at the bottom
        {"wholePage", 100, 100, 1000, shapeWidth, 100}, // fitted by its height, all of it
        {"narrowBox", 60, 200, 1000, 60, 200},          // by its height, cut at the right
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        setThumbnailSetting("Vexlan_thumbnailWidth", c.width);
        setThumbnailSetting("Vexlan_thumbnailHeight", c.height);
        setThumbnailSetting("Vexlan_thumbnailHeightToWidthRatio", c.ratioPercent);
        ASSERT_EQ(askDocumentThumbnail(), 1);
        auto [w, h] = thumbSize;
        ASSERT_EQ(thumbPixels.size(), size_t(w) * size_t(h));
        EXPECT_LE(w, c.width);
        EXPECT_LE(h, c.height);
        EXPECT_NEAR(w, c.expectWidth, 1);
        EXPECT_EQ(h, c.expectHeight);
        // Mostly the page's white, with the grey and black of the text.
        int white = 0, ink = 0;
        for (uint16_t v : thumbPixels) {
            white += v == 0xFFFF;
            ink += (v >> 11) < 28; // below seven eighths of full red
        }
        EXPECT_GT(white, w * h / 2);
        EXPECT_GT(ink, w * h / 100);
    }
}

// The document thumbnail of a PDF page 200 x 100 points whose left half is
// red: with a ratio limit of 2 the whole page shows, 100 x 50, red on the
// left and white on the right; with the default ratio of 1 the page is
// fitted by its height and cut at the right, and shows its red half only.
TEST_F(DocEventsTest, TheThumbnailOfAPdfPageShowsThePage)
{
    ASSERT_EQ(start(), 1);
    std::string content = "1 0 0 rg 0 0 100 100 re f";
    std::string pdf = pdfFile(pdfObjects({
        {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
        {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R >>"},
        {4, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                "\nendstream"},
    }));
    ASSERT_TRUE(open(writeFile("half.pdf", pdf)));
    ASSERT_GT(firstPageSize().first, 0);
    const uint16_t red = 0xF800, white = 0xFFFF;
    setThumbnailSetting("Vexlan_thumbnailHeightToWidthRatio", 200);
    ASSERT_EQ(askDocumentThumbnail(), 1);
    ASSERT_EQ(thumbSize, std::make_pair(100, 50));
    int wrong = 0;
    for (int32_t y = 0; y < 50; y++)
        for (int32_t x = 0; x < 100; x++) {
            if (x < 49)
                wrong += thumbAt(x, y) != red;
            else if (x > 50)
                wrong += thumbAt(x, y) != white;
        }
    EXPECT_EQ(wrong, 0);
    setThumbnailSetting("Vexlan_thumbnailHeightToWidthRatio", 100);
    ASSERT_EQ(askDocumentThumbnail(), 1);
    ASSERT_EQ(thumbSize, std::make_pair(100, 100));
    wrong = 0;
    for (uint16_t v : thumbPixels)
        wrong += v != red;
    EXPECT_EQ(wrong, 0);
}

// The thumbnails of an animated picture opened as a document, the
// document's and the page's, show its first frame (red), whatever the
// clock did since the picture was decoded: frames of 70, 250 and 30 ms
// and frames with no delay.
TEST_F(DocEventsTest, ThumbnailsOfAnAnimationShowItsFirstFrame)
{
    ASSERT_EQ(start(), 1);
    for (const char *name : {"anim3.gif", "anim3_nodelay.gif"}) {
        SCOPED_TRACE(name);
        std::ifstream in(std::string(VEXLAN_FIXTURES) + "/images/stills/" + name, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(bytes.empty());
        ASSERT_TRUE(open(writeFile(name, bytes)));
        ASSERT_GT(firstPageSize().first, 0);
        drive([] { return false; }, 400); // the clock runs past the first frames
        auto check = [&] {
            int red = 0, other = 0;
            for (uint16_t v : thumbPixels) {
                red += v == 0xF800;
                // Green or blue of a later frame (greys have all three).
                int r5 = v >> 11, g6 = (v >> 5) & 63, b5 = v & 31;
                other += r5 < 10 && (g6 > 40 || (b5 > 20 && g6 < 20));
            }
            EXPECT_GT(red, 0);
            EXPECT_EQ(other, 0);
        };
        ASSERT_EQ(askDocumentThumbnail(), 1);
        check();
        thumbs.clear();
        onAppThread([&] {
            Edr_Doc *doc = viewer()->page->document;
            int32_t key = 0;
            uint32_t kind = 0;
            ASSERT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, 0), 0);
            EventProcKind9Msg m{0, doc, key, intptr_t(kind)};
            EventProcMsg msg{};
            msg.kind = 9;
            msg.payload = &m;
            Fv_onDocEvent(viewer(), &msg);
        });
        ASSERT_EQ(thumbs.size(), 1u);
        check();
    }
}

// The second half of an open gives the image store the threshold the
// opened URL asks for (here the override).
TEST_F(DocEventsTest, TheImageStoreTakesTheThresholdOfTheOpenedUrl)
{
    ASSERT_EQ(start(), 1);
    onAppThread([&] {
        EngineContext *c = viewer()->context;
        Config_setIntA(c, c->config, nullptr, "FV_StaticSubsampleThresholdOverride", 500, 0);
    });
    ASSERT_TRUE(open(writeFile("s.txt", "seven\n")));
    int32_t threshold = 0;
    onAppThread([&] {
        ImageStore *store = viewer()->context->imageStore;
        ASSERT_NE(store, nullptr);
        threshold = store->subsampleThreshold;
    });
    EXPECT_EQ(threshold, 500);
}

// A page's changed thumbnail (event kind 9) goes to the host rendered
// within the host's limits, with the page's index and key; a page that is
// gone sends nothing.
TEST_F(DocEventsTest, PageThumbnailsGoToTheHost)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(writeFile("t.txt", "one\ntwo\n")));
    drive([] { return false; }, 200);
    onAppThread([&] {
        Config_setIntA(viewer()->context, viewer()->context->config, nullptr,
                       "Vexlan_thumbnailWidth", 40, 0);
    });
    int32_t key = 0;
    uint32_t kind = 0;
    auto send = [&](intptr_t pageKey) {
        thumbs.clear();
        onAppThread([&] {
            Edr_Doc *doc = viewer()->page->document;
            ASSERT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, 0), 0);
            EventProcKind9Msg m{0, doc, pageKey == -1 ? key : pageKey, intptr_t(kind)};
            EventProcMsg msg{};
            msg.kind = 9;
            msg.payload = &m;
            Fv_onDocEvent(viewer(), &msg);
        });
    };
    send(-1);
    ASSERT_EQ(thumbs.size(), 1u);
    EXPECT_EQ(thumbs[0].first, 0);
    EXPECT_EQ(thumbs[0].second, reinterpret_cast<const void *>(intptr_t(key)));
    EXPECT_LE(thumbSize.first, 40);
    EXPECT_GT(thumbSize.first, 0);
    send(12345);
    EXPECT_TRUE(thumbs.empty());
}

TEST_F(DocEventsTest, FirstContentOnceAndEditStates)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(writeFile("e.txt", "five\n")));
    int before = count(Fv_requestFirstContent);
    codeEvent(36);
    codeEvent(36);
    EXPECT_EQ(count(Fv_requestFirstContent), before + 1);
    for (int32_t code : {39, 40, 41}) {
        codeEvent(code);
        int32_t state = 0;
        onAppThread([&] { state = viewer()->page->editState; });
        EXPECT_EQ(state, 0x10000 + code - 39);
    }
}

TEST_F(DocEventsTest, LinkKindsFollowTheFlagBits)
{
    struct Case {
        int32_t flags, kind;
    } cases[] = {{0, 0x10000},  {8, 0x10001},  {8 | 64, 0x10001},
                 {64, 0x10003}, {32, 0x10002}, {32 | 64, 0x10003}};
    for (const Case &c : cases)
        EXPECT_EQ(Fv_linkKind(c.flags), c.kind) << c.flags;
}

TEST_F(DocEventsTest, ConfirmLinkAsksTheHost)
{
    ASSERT_EQ(start(), 1);
    for (int32_t answer : {int32_t(HostQuery_yes), int32_t(HostQuery_no)}) {
        Headless_setQueryMode(host, HeadlessQuery_answer, HostQuery_yes, answer);
        int32_t accepted = -1;
        int r = -1;
        onAppThread([&] {
            Url *url = nullptr;
            ASSERT_EQ(Url_newFromUserString("file:///x/y.txt", &url, 1), 0);
            r = Fv_confirmLink(viewer(), viewer()->page, url, 8 | 64, 1, &accepted);
            Url_free(url);
        });
        EXPECT_EQ(r, 0);
        EXPECT_EQ(accepted, answer == HostQuery_yes ? 1 : 0);
    }
    Headless_setQueryMode(host, HeadlessQuery_refuse, 0, 0);
    int32_t accepted = -1;
    onAppThread([&] {
        Url *url = nullptr;
        ASSERT_EQ(Url_newFromUserString("file:///x/y.txt", &url, 1), 0);
        EXPECT_EQ(Fv_confirmLink(viewer(), viewer()->page, url, 0, 0, &accepted), 0);
        Url_free(url);
    });
    EXPECT_EQ(accepted, 0);
}

// A failed open of the shown document is alerted once, with the alert of
// its load status: the page's outcome reports it, the document event of
// the same failure adds nothing.
TEST_F(DocEventsTest, AFailedOpenIsAlertedOnce)
{
    ASSERT_EQ(start(), 1);
    int before = Headless_alertCount(host);
    ASSERT_TRUE(App_openDocument(inst, path("missing.txt").c_str(), 0, 0));
    ASSERT_TRUE(drive([&] { return Headless_alertCount(host) > before; }));
    drive([] { return false; }, 200);
    ASSERT_EQ(Headless_alertCount(host), before + 1);
    int32_t alert = Headless_alert(host, before);
    int32_t status = -1;
    onAppThread([&] { status = viewer()->page->loadStatus; });
    EXPECT_EQ(alert, Fv_loadStatusAlert(status, 1)) << status;
    EXPECT_NE(alert, 0);
    EXPECT_EQ(count(Fv_requestDocInfo), 0);
}

// Link activations: another scheme goes to the host; a file link is asked
// about and loads only when the user accepts; a link into the shown
// document asks nothing and loads nothing.
TEST_F(DocEventsTest, LinksAreAskedOpenedOrHandedToTheHost)
{
    ASSERT_EQ(start(), 1);
    std::string a = writeFile("a.txt", "one\n");
    std::string b = writeFile("b.txt", "two\n");
    ASSERT_TRUE(open(a));
    ASSERT_EQ(count(Fv_requestDocInfo), 1);

    linkEvent("http://example.com/x?y");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].kind, 0x1000e);
    EXPECT_NE(links[0].url.find("example.com/x"), std::string::npos) << links[0].url;
    EXPECT_EQ(links[0].mode, 0x10000);
    EXPECT_EQ(Headless_queryCount(host), 0);

    // Refused: nothing loads.
    Headless_setQueryMode(host, HeadlessQuery_answer, HostQuery_yes, HostQuery_no);
    linkEvent("file://localhost" + b);
    EXPECT_EQ(Headless_queryCount(host), 1);
    drive([] { return false; }, 100);
    EXPECT_EQ(count(Fv_requestDocInfo), 1);

    // A fragment of the shown document: no question, no load.
    linkEvent("#part");
    EXPECT_EQ(Headless_queryCount(host), 1);
    drive([] { return false; }, 100);
    EXPECT_EQ(count(Fv_requestDocInfo), 1);

    // Accepted: b loads.
    Headless_setQueryMode(host, HeadlessQuery_answer, HostQuery_yes, HostQuery_yes);
    linkEvent("file://localhost" + b, 8);
    EXPECT_EQ(Headless_queryCount(host), 2);
    ASSERT_TRUE(drive([&] { return count(Fv_requestDocInfo) == 2; }));
    EXPECT_NE(last(Fv_requestDocInfo)->url.find("b.txt"), std::string::npos);
    EXPECT_EQ(links.size(), 1u);
}

TEST_F(DocEventsTest, LoadStatusAlerts)
{
    struct Case {
        int32_t status, pending, alert;
    } cases[] = {{0, 0, 0x10000},  {1, 0, 0x10001},  {2, 0, 0x10002},  {3, 0, 0x10004},
                 {4, 1, 0},        {4, 0, 0x10003},  {5, 0, 0},        {8, 0, 0},
                 {6, 0, 0x10003},  {12, 0, 0x10003}, {13, 0, 0x10008}, {14, 0, 0x10005},
                 {15, 0, 0x10009}, {16, 0, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(Fv_loadStatusAlert(c.status, c.pending), c.alert) << c.status;
}

// A stop request leaves a fully loaded document alone.
TEST_F(DocEventsTest, StopLeavesALoadedDocumentAlone)
{
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(writeFile("f.txt", "six\n")));
    int32_t progressA = -1;
    onAppThread([&] {
        viewer()->page->loadPercent = 100;
        Fv_stopDocuments(viewer());
        progressA = viewer()->page->progressA;
        viewer()->page->loadPercent = 40;
        Fv_stopDocuments(viewer());
    });
    EXPECT_EQ(progressA, 0);
    onAppThread([&] { progressA = viewer()->page->progressA; });
    EXPECT_EQ(progressA, 1);
}

} // namespace

namespace {

// The shown document reaches the screen: after the first display the last
// picture handed to the host has the background colour beside the page and
// the page's white on it.
TEST_F(DocEventsTest, TheFirstPageReachesTheScreen)
{
    // A screen larger than a page at 100 %.
    const int32_t geometry[11] = {0, 0, 0, 1000, 1400, 1000, 1400, 0, 0, 0x10005, 0x10000};
    Headless_setScreenGeometry(host, geometry);
    ASSERT_EQ(start(), 1);
    ASSERT_TRUE(open(writeFile("g.txt", "seven\n")));
    drive([] { return false; }, 400);
    int n = Headless_screenUpdateCount(host);
    ASSERT_GT(n, 0);
    const HeadlessScreenUpdate *u = Headless_screenUpdate(host, n - 1);
    ASSERT_NE(u->pixels, nullptr);
    auto at = [&](int x, int y) {
        uint16_t p;
        memcpy(&p, u->pixels + size_t(y) * size_t(u->rowBytes) + size_t(x) * 2, 2);
        return p;
    };
    int grey = 0, white = 0;
    for (int y = 0; y < u->height; y += 4)
        for (int x = 0; x < u->width; x += 4) {
            grey += at(x, y) == 0x8410;
            white += at(x, y) == 0xffff;
        }
    EXPECT_GT(grey, 0);
    EXPECT_GT(white, 0);
    Headless_setScreenGeometry(host, nullptr);
}

} // namespace
