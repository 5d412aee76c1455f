// The bridge object with the real engine: start, time slices, readiness,
// stop, the configuration hook, the custom events, commands and queries.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/time/localeset.h"
#include "document/edit/editdata.h"
#include "platform/api/appqueue.h"
#include "platform/api/editing.h"
#include "platform/host/hostplatform.h"
#include "platform/api/engine.h"
#include "spreadsheet/formula/funcnames.h"
#include "platform/host/hostfile.h"
#include "tests/host/gui_fixture.h"
#include "viewer/hostquery.h"
#include "viewer/reports.h"

namespace {

constexpr int heapBytes = 16 << 20;

class Bridge : public ::testing::Test {
  protected:
    void SetUp() override
    {
        heldBefore = HostGui_blocksHeld();
    }

    // A started bridge whose events the log also sees.
    std::unique_ptr<QAlien> start(const QString &document = QString())
    {
        auto bridge = std::make_unique<QAlien>(heapBytes, 480, 592, 624);
        bridge->installEventFilter(&log);
        if (!bridge->init(document))
            return nullptr;
        return bridge;
    }
    // Starts a bridge and runs it until the engine reported readiness.
    std::unique_ptr<QAlien> startReady()
    {
        auto bridge = start();
        if (bridge && !runUntil([&] { return bridge->keysEnabled(); }))
            return nullptr;
        return bridge;
    }
    void post(QAlien *bridge, int type, intptr_t value = 0)
    {
        QCoreApplication::postEvent(bridge, QCustomEvent::withValue(type, value));
        pumpEvents();
    }

    int64_t heldBefore = 0;
    EventLog log;
};

// The main window connects by these exact texts.
TEST(BridgeSignatures, SignalsAndSlotsKeepTheirTexts)
{
    const QMetaObject *meta = &QAlien::staticMetaObject;
    for (const char *signal :
         {"screenUpdateAvailable(const short*,int,int,int,int)", "busy(bool)", "closedown()",
          "editContents(EditData*)", "showAlert(QString*)", "showError(QString*)", "saved(bool)",
          "askQuestion(QAlien::Question*)", "editingMode(QAlien::EditingMode)",
          "pageInfo(QString*)", "locInfo(QString*)", "docLoaded(bool)", "resizeCompleted(int)",
          "getPassword(QString)", "zipEntry(QString,DirEntry*)"})
        EXPECT_GE(meta->indexOfSignal(QMetaObject::normalizedSignature(signal)), 0) << signal;
    for (const char *slot :
         {"mouseEvent(int,int,int)", "clickExpired()", "processKeyEvent(QKeyEvent*,bool)",
          "editDone(EditData*)", "timerExpired()"})
        EXPECT_GE(meta->indexOfSlot(QMetaObject::normalizedSignature(slot)), 0) << slot;

    // A receiver written against the texts gets the bridge's signals.
    QAlien bridge(heapBytes, 480, 592, 624);
    EXPECT_TRUE(QObject::connect(&bridge, SIGNAL(zipEntry(const QString &, DirEntry *)), &bridge,
                                 SLOT(timerExpired())));
    EXPECT_TRUE(QObject::connect(&bridge, SIGNAL(editContents(EditData *)), &bridge,
                                 SLOT(editDone(EditData *))));
}

TEST_F(Bridge, StartsDrivesAndStopsTheEngineReturningEveryBlock)
{
    auto bridge = start();
    ASSERT_TRUE(bridge);
    ASSERT_NE(bridge->engine(), nullptr);
    HostContext *host = bridge->hostContext();
    EXPECT_EQ(HostGui_current(), host);
    EXPECT_EQ(host->instance, bridge->engine());
    EXPECT_EQ(host->startWord, 0);
    EXPECT_NE(host->platform, nullptr);
    EXPECT_EQ(host->platform->screenHeight, 592 - 32);
    EXPECT_EQ(host->platform->areaX1, 480 - 32);
    EXPECT_GT(HostGui_blocksHeld(), heldBefore);
    // Keys wait for the engine's readiness, which the slices bring.
    EXPECT_FALSE(bridge->keysEnabled());
    ASSERT_TRUE(runUntil([&] { return bridge->keysEnabled(); }));
    EXPECT_GE(log.count(1001), 1);
    EXPECT_EQ(log.count(1016), 1);

    EXPECT_TRUE(bridge->stop());
    EXPECT_EQ(bridge->engine(), nullptr);
    EXPECT_EQ(bridge->openState(), QAlien::OpenStopping);
    EXPECT_EQ(HostGui_blocksHeld(), heldBefore);
    // A second stop has nothing to do.
    EXPECT_TRUE(bridge->stop());
    bridge.reset();
    EXPECT_EQ(HostGui_current(), nullptr);
}

TEST_F(Bridge, SliceTimerFollowsEvents)
{
    auto bridge = start();
    ASSERT_TRUE(bridge);
    QTimer *slice = bridge->findChildren<QTimer *>().value(0);
    ASSERT_NE(slice, nullptr);
    post(bridge.get(), 1001, 5000);
    EXPECT_TRUE(slice->isActive());
    EXPECT_EQ(slice->interval(), 5000);
    EXPECT_TRUE(slice->isSingleShot());
    post(bridge.get(), 1002);
    EXPECT_FALSE(slice->isActive());
}

TEST_F(Bridge, KeysReachTheEngineOnlyOnceReady)
{
    CallRecorder recorder;
    auto bridge = start();
    ASSERT_TRUE(bridge);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    bridge->processKeyEvent(&up, true);
    EXPECT_EQ(CallRecorder::count("keyPress"), 0);
    ASSERT_TRUE(runUntil([&] { return bridge->keysEnabled(); }));
    bridge->processKeyEvent(&up, true);
    ASSERT_EQ(CallRecorder::count("keyPress"), 1);
    EXPECT_EQ(CallRecorder::named("keyPress")[0].a, 0x10003);
    // A release goes only with a press it ends.
    QKeyEvent pageDownUp(QEvent::KeyRelease, Qt::Key_PageDown, Qt::NoModifier);
    bridge->processKeyEvent(&pageDownUp, false);
    EXPECT_EQ(CallRecorder::count("keyRelease"), 0);
    QKeyEvent pageDown(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    bridge->processKeyEvent(&pageDown, true);
    bridge->processKeyEvent(&pageDownUp, false);
    ASSERT_EQ(CallRecorder::count("keyRelease"), 1);
    EXPECT_EQ(CallRecorder::named("keyRelease")[0].a, 0x10015);
    // The reflow toggle acts on release, once until the engine confirms.
    QKeyEvent rDown(QEvent::KeyPress, Qt::Key_R, Qt::NoModifier);
    QKeyEvent r(QEvent::KeyRelease, Qt::Key_R, Qt::NoModifier);
    for (int i = 0; i < 2; i++) {
        bridge->processKeyEvent(&rDown, true);
        bridge->processKeyEvent(&r, false);
    }
    ASSERT_EQ(CallRecorder::count("sendKey"), 1);
    EXPECT_EQ(CallRecorder::named("sendKey")[0].a, 0x10001);
}

TEST_F(Bridge, ASecondBridgeDoesNotStartAndLeavesTheFirstAlone)
{
    auto first = start();
    ASSERT_TRUE(first);
    {
        QAlien second(heapBytes, 480, 592, 624);
        EXPECT_FALSE(second.init(QString()));
        EXPECT_EQ(second.hostContext(), nullptr);
    }
    EXPECT_EQ(HostGui_current(), first->hostContext());
    EXPECT_TRUE(first->stop());
    EXPECT_EQ(HostGui_blocksHeld(), heldBefore);
}

int refuseStop(EngineInstance *)
{
    return 0;
}

// Destroying the bridge takes the engine down even when a stop hook
// refuses: the host context it runs on goes with the bridge.
TEST_F(Bridge, DestructionStopsAnEngineThatRefusesToStop)
{
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    ASSERT_EQ(App_addStopHook(bridge->engine(), refuseStop), 0);
    EXPECT_FALSE(bridge->stop());
    EXPECT_NE(bridge->engine(), nullptr);
    bridge.reset();
    EXPECT_EQ(HostGui_blocksHeld(), heldBefore);
    EXPECT_EQ(HostGui_current(), nullptr);
}

// The pending screen update points into the engine's heap: the bridge shows
// it before the engine stops and never after.
TEST_F(Bridge, PendingScreenUpdateIsShownBeforeTheStop)
{
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    const int width = 16, height = 4, rowBytes = 36;
    auto *pixels = static_cast<uint16_t *>(Mem_malloc(size_t(rowBytes) * height));
    ASSERT_NE(pixels, nullptr);
    for (int i = 0; i < rowBytes / 2 * height; i++)
        pixels[i] = uint16_t(i * 7);
    std::vector<uint16_t> shown;
    int updates = 0;
    QObject::connect(bridge.get(), &QAlien::screenUpdateAvailable,
                     [&](const short *p, int x, int y, int w, int h) {
                         updates++;
                         EXPECT_EQ(x, 1);
                         EXPECT_EQ(y, 0);
                         EXPECT_EQ(w, 9);
                         EXPECT_EQ(h, 4);
                         for (int row = y; row < y + h; row++)
                             for (int col = x; col < x + w; col++)
                                 shown.push_back(uint16_t(p[row * rowBytes / 2 + col]));
                     });
    // Two presents in one slice: both show, as one area.
    Host_screenUpdate(bridge->hostContext(), pixels, 0x10005, width, height, rowBytes, 1, 0, 3, 2,
                      0, 0);
    Host_screenUpdate(bridge->hostContext(), pixels, 0x10005, width, height, rowBytes, 6, 2, 4, 2,
                      0, 0);
    std::vector<uint16_t> expected;
    for (int row = 0; row < 4; row++)
        for (int col = 1; col < 10; col++)
            expected.push_back(pixels[row * rowBytes / 2 + col]);
    bridge.reset();
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(HostGui_blocksHeld(), heldBefore);
}

TEST_F(Bridge, TimerExpiryShowsTheRowBytesOfTheUpdate)
{
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    auto *pixels = static_cast<uint16_t *>(Mem_calloc(4, 20));
    int updates = 0;
    QObject::connect(bridge.get(), &QAlien::screenUpdateAvailable,
                     [&](const short *, int, int, int, int) { updates++; });
    Host_screenUpdate(bridge->hostContext(), pixels, 0x10005, 9, 4, 20, 0, 0, 9, 4, 0, 0);
    bridge->timerExpired();
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(bridge->updateRowBytes(), 20);
    bridge->timerExpired();
    EXPECT_EQ(updates, 1);
    Mem_free(pixels);
}

TEST_F(Bridge, ConfigurationHookStoresNamesAndSettings)
{
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.loaded());
    CallRecorder recorder;
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    EXPECT_EQ(CallRecorder::count("registerFonts"), 1);
    ASSERT_EQ(CallRecorder::count("setLocale"), 1);
    EXPECT_EQ(CallRecorder::named("setLocale")[0].text, "en-gb");
    EXPECT_EQ(CallRecorder::count("setupEditMode"), 1);
    EXPECT_EQ(log.count(1008), 0); // every key is in the catalogue

    // The settings are read where engine code runs: on the application
    // thread.
    struct Read {
        uint32_t ints[6];
        std::u16string longDate;
        bool done;
    } read{};
    auto readSettings = [](EngineInstance *instance, void *arg) {
        auto *r = static_cast<Read *>(arg);
        EngineContext *context = instance->context;
        static const struct {
            const char *key;
            const char16_t *domain;
        } keys[6] = {{"Vexlan_cursorEnable", nullptr}, {"RendererRedrawMode", nullptr},
                     {"page.on.demand", u"eDR"},       {"Vexlan_flowModeKeepZoom", nullptr},
                     {"RendererCostLimit", nullptr},   {"Vexlan_rotatedScreens", nullptr}};
        for (int i = 0; i < 6; i++)
            r->ints[i] =
                Config_getIntA(context, context->config, keys[i].domain, keys[i].key, 12345);
        if (char16_t *text = Config_getUstrA(context, context->config, nullptr,
                                             "Vexlan_excelLocaleDateLong", nullptr)) {
            r->longDate = text;
            Mem_free(text);
        }
        r->done = true;
    };
    ASSERT_EQ(App_postCall(bridge->engine(), readSettings, &read, nullptr), 0);
    ASSERT_TRUE(runUntil([&] { return read.done; }));
    const uint32_t expected[6] = {0, 0x10002, 0, 0, 0x40000000, 0x10005};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(read.ints[i], expected[i]) << i;
    EXPECT_EQ(read.longDate, u"%d %B %Y");

    EXPECT_STREQ(Locale_getDateFormat(LocaleFormat_monthA, 11), "December");
    EXPECT_STREQ(Locale_getDateFormat(LocaleFormat_monthB, 0), "Jan");
    EXPECT_STREQ(Locale_getDateFormat(LocaleFormat_weekdayA, 0), "Sunday");
    EXPECT_STREQ(Locale_getDateFormat(LocaleFormat_further, 1), "PM");
    auto *names = static_cast<FuncNames *>(bridge->engine()->context->sheetFunctionNames);
    ASSERT_NE(names, nullptr);
    EXPECT_STREQ(names->names[24], "SUM");
    EXPECT_STREQ(names->names[30], "MIN");
}

// A key the catalogue lacks is shown as an error and used as it stands.
TEST_F(Bridge, ConfigurationWithAMissingKeyUsesTheKey)
{
    Catalogue catalogue({"RES_FUNC_SUM", "RES_MONTH_3"});
    auto bridge = start();
    ASSERT_TRUE(bridge);
    std::vector<QString> errors;
    QObject::connect(bridge.get(), &QAlien::showError,
                     [&](QString *text) { errors.push_back(*text); });
    ASSERT_TRUE(runUntil([&] { return bridge->keysEnabled(); }));
    pumpEvents();
    EXPECT_EQ(errors, (std::vector<QString>{QStringLiteral("RES_MONTH_3"),
                                            QStringLiteral("RES_FUNC_SUM")}));
    auto *names = static_cast<FuncNames *>(bridge->engine()->context->sheetFunctionNames);
    EXPECT_STREQ(names->names[24], "RES_FUNC_SUM");
    EXPECT_STREQ(Locale_getDateFormat(LocaleFormat_monthA, 2), "RES_MONTH_3");
}

TEST_F(Bridge, BusyIsEmittedOnChangesOnly)
{
    auto bridge = start();
    ASSERT_TRUE(bridge);
    std::vector<bool> seen;
    QObject::connect(bridge.get(), &QAlien::busy, [&](bool on) { seen.push_back(on); });
    bridge->setBusy(true);
    bridge->setBusy(true);
    bridge->setBusy(false);
    post(bridge.get(), 1015, 1);
    post(bridge.get(), 1015, 7);
    post(bridge.get(), 1007, 0); // an alert clears busy
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true, false}));
}

TEST_F(Bridge, StartDocumentMakesItBusy)
{
    CallRecorder recorder;
    std::vector<bool> seen;
    auto bridge = std::make_unique<QAlien>(heapBytes, 480, 592, 624);
    QObject::connect(bridge.get(), &QAlien::busy, [&](bool on) { seen.push_back(on); });
    ASSERT_TRUE(bridge->init(QStringLiteral(VEXLAN_FIXTURES "/app/hello.txt")));
    EXPECT_EQ(seen, std::vector<bool>{true});
    EXPECT_EQ(bridge->documentName(), QStringLiteral(VEXLAN_FIXTURES "/app/hello.txt"));
}

TEST_F(Bridge, CommandsBecomeEngineCalls)
{
    CallRecorder recorder;
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    CallRecorder::clear();
    // Rotate steps through all four quarter turns, 180 degrees included.
    for (int i = 0; i < 5; i++)
        bridge->rotate();
    std::vector<EngineCall> turns = CallRecorder::named("setRotation");
    ASSERT_EQ(turns.size(), 5u);
    EXPECT_EQ(turns[0].a, 0x10006);
    EXPECT_EQ(turns[1].a, 0x10005);
    EXPECT_EQ(turns[2].a, 0x10004);
    EXPECT_EQ(turns[3].a, 0x10003);
    EXPECT_EQ(turns[4].a, 0x10006);

    bridge->pageStep(1);
    bridge->pageStep(-1);
    std::vector<EngineCall> steps = CallRecorder::named("postPageStep");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].a, 0x10002);
    EXPECT_EQ(steps[1].a, 0x10003);

    bridge->fitWidth();
    bridge->fitHeight();
    ASSERT_EQ(CallRecorder::count("fit"), 2);
    EXPECT_EQ(CallRecorder::named("fit")[1].a, 0x10001);

    bridge->toggleFullScreen();
    EXPECT_TRUE(bridge->isFullScreen());
    EXPECT_EQ(bridge->hostContext()->platform->screenHeight, 624 - 32);
    bridge->toggleFullScreen();
    std::vector<EngineCall> sizes = CallRecorder::named("setScreenSize");
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].a, 480);
    EXPECT_EQ(sizes[0].b, 624);
    EXPECT_EQ(sizes[1].b, 592);

    bridge->applySettings(true, false, 3);
    std::vector<EngineCall> settings = CallRecorder::named("setConfigInt");
    ASSERT_EQ(settings.size(), 3u);
    EXPECT_EQ(settings[0].text, "FV_singlePageLoad");
    EXPECT_EQ(settings[0].a, 1);
    EXPECT_EQ(settings[1].a, 0);
    EXPECT_EQ(settings[2].text, "DefaultCharacterSet");
    EXPECT_EQ(settings[2].a, 0x10003);

    // Outside a spreadsheet, going to an element searches for it.
    bridge->gotoElement(QStringLiteral("B12"));
    EXPECT_EQ(CallRecorder::count("gotoElement"), 0);
    ASSERT_EQ(CallRecorder::count("searchStart"), 1);
    EXPECT_EQ(CallRecorder::named("searchStart")[0].text, "B12");
    bridge->startSearch(QString());
    EXPECT_EQ(CallRecorder::count("searchStart"), 1);

    EXPECT_TRUE(bridge->openDocument(QStringLiteral(VEXLAN_FIXTURES "/app/hello.txt")));
    EXPECT_EQ(bridge->openState(), QAlien::OpenInProgress);
    EXPECT_EQ(CallRecorder::count("openDocument"), 1);
}

TEST_F(Bridge, PageReportShowsPageOfCount)
{
    auto bridge = start();
    ASSERT_TRUE(bridge);
    std::vector<QString> pages;
    int locations = 0;
    QObject::connect(bridge.get(), &QAlien::pageInfo,
                     [&](QString *text) { pages.push_back(*text); });
    QObject::connect(bridge.get(), &QAlien::locInfo,
                     [&](QString *text) { locations += text == nullptr; });
    Host_reportPage(bridge->hostContext(), 3, 5);
    Host_reportPage(bridge->hostContext(), 40000, 70000);
    pumpEvents();
    EXPECT_EQ(pages, (std::vector<QString>{QStringLiteral("3/5"), QStringLiteral("40000/70000")}));
    EXPECT_EQ(locations, 2);
    EXPECT_EQ(bridge->currentPage(), 40000);
    EXPECT_EQ(bridge->pageCount(), 70000);
}

TEST_F(Bridge, AContinuousPageShowsScreenfulsAndGoesToThem)
{
    CallRecorder recorder;
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    std::vector<QString> pages;
    QObject::connect(bridge.get(), &QAlien::pageInfo,
                     [&](QString *text) { pages.push_back(*text); });
    bridge->openDocument(QStringLiteral("/no/such/dir/page.html"));
    pumpEvents();
    post(bridge.get(), EvDocLoaded, 1);
    CallRecorder::clear();
    // Where the view stands: the top of a page of 5.2 screens, then one
    // screen down; the engine's own report of one page keeps them.
    FvScrollReport top{0, 2949, 568}, down{568, 2949, 568};
    Host_engineRequest(bridge->hostContext(), Fv_requestScroll, &top);
    pumpEvents();
    Host_engineRequest(bridge->hostContext(), Fv_requestScroll, &down);
    pumpEvents();
    Host_reportPage(bridge->hostContext(), 1, 1);
    pumpEvents();
    ASSERT_FALSE(pages.empty());
    EXPECT_NE(std::find(pages.begin(), pages.end(), QStringLiteral("1/6")), pages.end());
    EXPECT_EQ(pages.back(), QStringLiteral("2/6"));
    EXPECT_EQ(bridge->pageCount(), 6);
    // Go to page 4: three screens from the top, one more than now; the last
    // page shows the end.
    bridge->gotoPage(4);
    bridge->gotoPage(6);
    EXPECT_EQ(CallRecorder::count("gotoPage"), 0);
    std::vector<EngineCall> pans = CallRecorder::named("pointerPan");
    ASSERT_EQ(pans.size(), 4u);
    EXPECT_EQ(pans[0].b, -(3 * 568 - 568));
    EXPECT_EQ(pans[2].b, -(2949 - 568 - 568));
}

TEST_F(Bridge, ReopenWhileIdleClosesDownAndReopensWhileOpening)
{
    CallRecorder recorder;
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    int closedowns = 0;
    QObject::connect(bridge.get(), &QAlien::closedown, [&] { closedowns++; });
    post(bridge.get(), 1019);
    EXPECT_EQ(closedowns, 1);
    EXPECT_EQ(CallRecorder::count("openDocument"), 0);
    bridge->openDocument(QStringLiteral("/tmp/a.txt"));
    post(bridge.get(), 1019);
    EXPECT_EQ(closedowns, 1);
    ASSERT_EQ(CallRecorder::count("openDocument"), 2);
    EXPECT_EQ(CallRecorder::named("openDocument")[1].text, "/tmp/a.txt");
    // The document loaded: the open is over.
    post(bridge.get(), 1010, 1);
    EXPECT_EQ(bridge->openState(), QAlien::OpenIdle);
    EXPECT_EQ(CallRecorder::count("documentShown"), 1);
    post(bridge.get(), 1014);
    EXPECT_EQ(closedowns, 2);
    EXPECT_EQ(bridge->openState(), QAlien::OpenStopping);
}

TEST_F(Bridge, SearchEndAsksTheWrapQuestionAfterAWrap)
{
    CallRecorder recorder;
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    std::vector<QString> questions, alerts;
    int answer = 0;
    QObject::connect(bridge.get(), &QAlien::askQuestion, [&](QAlien::Question *q) {
        questions.push_back(q->text);
        q->answer = answer;
    });
    QObject::connect(bridge.get(), &QAlien::showAlert,
                     [&](QString *text) { alerts.push_back(*text); });
    Catalogue catalogue;

    // No wrap: the search failed.
    bridge->setBusy(true);
    post(bridge.get(), 1025);
    EXPECT_TRUE(questions.empty());
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], QStringLiteral("The text was not found."));
    EXPECT_EQ(CallRecorder::count("searchCancel"), 1);
    EXPECT_FALSE(bridge->isBusy());

    // After a wrap: asked; no cancels the search and clears busy.
    post(bridge.get(), 1024);
    EXPECT_TRUE(bridge->searchWrapped());
    bridge->setBusy(true);
    post(bridge.get(), 1025);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], QCoreApplication::translate("Core", "RES_ALERT_SEARCHWRAPPED"));
    EXPECT_EQ(CallRecorder::count("searchCancel"), 2);
    EXPECT_FALSE(bridge->isBusy());
    // Yes searches again.
    answer = 1;
    post(bridge.get(), 1025);
    EXPECT_EQ(CallRecorder::count("searchNext"), 1);
    EXPECT_EQ(CallRecorder::count("searchCancel"), 2);
}

TEST_F(Bridge, EditingModeRecordSetsKindAndPointerMask)
{
    auto bridge = start();
    ASSERT_TRUE(bridge);
    HostContext *host = bridge->hostContext();
    char *fonts[1] = {const_cast<char *>("Arial")};
    uint32_t palette[2] = {0x000000FF, 0xFFFFFFFF};
    struct Case {
        uint32_t editable, savable, word2, word3;
        uint32_t mask;
        int kind;
    } cases[] = {
        {1, 1, 0xFF, 0, 31, 1}, {1, 1, 0x20, 1, 15, 2}, {1, 1, 0xC0, 0, 23, 1},
        {1, 0, 0xFF, 0, 7, 1},  {0, 0, 0, 0, 7, 1},
    };
    for (const Case &c : cases) {
        EditModeReport report{c.editable, c.savable, {c.word2, c.word3, 0, 0, 1, 0}, 1, fonts,
                              2,          palette};
        Host_engineRequest(host, 0x10017, &report);
        pumpEvents();
        EXPECT_EQ(host->platform->keyMode, c.mask) << c.word2;
        EXPECT_EQ(bridge->documentKind(), c.kind);
        ASSERT_EQ(bridge->editingRecord().fontCount, 1);
        EXPECT_STREQ(bridge->editingRecord().fontNames[0], "Arial");
        EXPECT_NE(bridge->editingRecord().fontNames, fonts); // the bridge's own copy
    }
    // While a reset is pending a new record keeps words 0 and 1 at 0 and
    // the mask at 7; work starting ends the reset.
    post(bridge.get(), 1020);
    EditModeReport report{1, 1, {0xFF, 0, 0, 0, 1, 0}, 1, fonts, 2, palette};
    Host_engineRequest(host, 0x10017, &report);
    pumpEvents();
    EXPECT_EQ(bridge->editingRecord().editable, 0u);
    EXPECT_EQ(bridge->editingRecord().savable, 0u);
    EXPECT_EQ(host->platform->keyMode, 7u);
    post(bridge.get(), 1009);
    Host_engineRequest(host, 0x10017, &report);
    pumpEvents();
    EXPECT_EQ(host->platform->keyMode, 31u);
}

TEST_F(Bridge, EditRoundTripAppliesTheDialogsRecord)
{
    CallRecorder recorder;
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    HostContext *host = bridge->hostContext();
    char *fonts[2] = {const_cast<char *>("Arial"), const_cast<char *>("Times New Roman")};
    uint32_t palette[1] = {0x000000FF};
    EditModeReport report{1, 1, {0xFF, 0, 0, 0, 1, 0}, 2, fonts, 1, palette};
    Host_engineRequest(host, 0x10017, &report);
    pumpEvents();

    QAlien::EditData *received = nullptr;
    std::vector<QString> locations;
    QObject::connect(bridge.get(), &QAlien::editContents,
                     [&](QAlien::EditData *d) { received = d; });
    QObject::connect(bridge.get(), &QAlien::locInfo,
                     [&](QString *t) { locations.push_back(t ? *t : QString()); });
    char ref[] = "C3";
    char text[] = "12";
    EditData request{};
    request.kind = EditData_kindCell;
    request.cellRef = ref;
    request.text = text;
    request.hAlign = 0x10000;
    request.vAlign = 0x10002;
    Host_engineRequest(host, 0x17000, &request);
    pumpEvents();
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(received->fontCount, 2);
    EXPECT_STREQ(received->fontNames[1], "Times New Roman");
    EXPECT_EQ(received->paletteCount, 1);
    EXPECT_EQ(locations, std::vector<QString>{QStringLiteral("C3")});

    // The dialog applies: bold and double underline, right and top, a width.
    received->text = QStringLiteral("13");
    received->bold = true;
    received->doubleUnderline = true;
    received->hAlign = 2;
    received->vAlign = 0;
    received->width = 0x20000;
    received->height = 0x10000;
    received->action = 1;
    received->accepted = true;
    CallRecorder::clear();
    bridge->editDone(received);
    std::vector<EngineCall> applied = CallRecorder::named("postContents");
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].text, "13");
    EXPECT_EQ(applied[0].a, 0);
    EXPECT_EQ(applied[0].b, 1 | 8);
    EXPECT_EQ(applied[0].c, 0x10000);
    EXPECT_EQ(CallRecorder::calls().back().name, "primaryAction");

    // Insert and delete commands; a record not accepted applies nothing.
    struct Case {
        int action;
        bool accepted;
        const char *call;
        intptr_t code;
    } cases[] = {{2, true, "insertCells", 0x10000},
                 {3, true, "insertCells", 0x10002},
                 {4, true, "deleteCells", 0x10001},
                 {5, true, "deleteCells", 0x10002},
                 {1, false, nullptr, 0},
                 {9, true, nullptr, 0}};
    for (const Case &c : cases) {
        CallRecorder::clear();
        auto *d = new QAlien::EditData;
        d->action = c.action;
        d->accepted = c.accepted;
        bridge->editDone(d);
        ASSERT_EQ(CallRecorder::calls().back().name, "primaryAction");
        if (!c.call) {
            EXPECT_EQ(CallRecorder::calls().size(), 1u);
            continue;
        }
        ASSERT_EQ(CallRecorder::calls().size(), 2u);
        EXPECT_EQ(CallRecorder::calls()[0].name, c.call);
        EXPECT_EQ(CallRecorder::calls()[0].a, c.code);
    }
}

// ------------------------------------------------------------ queries

// The engine's reply slot for the tests: notes each answered query with the
// reply text it carried while the call ran.
struct Reply {
    HostQuery *query;
    int32_t status;
    std::string text;
};
std::vector<Reply> replies;

int recordReply(EngineInstance *, void *record)
{
    auto *query = static_cast<HostQuery *>(record);
    Reply r{query, query->status, ""};
    if (query->code == HostQuery_password && query->data) {
        auto *pair = static_cast<HostQueryText *>(query->data);
        r.text = pair->reply ? pair->reply : "(null)";
    }
    replies.push_back(r);
    return 1;
}

class Queries : public Bridge {
  protected:
    void SetUp() override
    {
        Bridge::SetUp();
        replies.clear();
        bridge = startReady();
        ASSERT_TRUE(bridge);
        bridge->engine()->queue->callbacks.reply = recordReply;
        host = bridge->hostContext();
        QObject::connect(bridge.get(), &QAlien::askQuestion, [this](QAlien::Question *q) {
            questions.push_back(q->text);
            if (onQuestion)
                onQuestion();
            q->answer = answer;
        });
        QObject::connect(bridge.get(), &QAlien::getPassword,
                         [this](QString prompt) { prompts.push_back(prompt); });
    }
    void TearDown() override
    {
        bridge.reset();
        EXPECT_EQ(HostGui_blocksHeld(), heldBefore);
    }

    std::unique_ptr<QAlien> bridge;
    HostContext *host = nullptr;
    std::vector<QString> questions;
    std::vector<QString> prompts;
    int answer = 0;
    std::function<void()> onQuestion;
};

TEST_F(Queries, ConfirmQuestionRoundTrip)
{
    for (int yes : {1, 0}) {
        replies.clear();
        answer = yes;
        HostQuery query{nullptr, 0, HostQuery_confirmLoss, nullptr, HostQuery_yes};
        Host_onOverlayChange(host, &query);
        EXPECT_EQ(query.status, HostQuery_yes); // not refused
        pumpEvents();
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0].query, &query);
        EXPECT_EQ(replies[0].status, yes ? HostQuery_yes : HostQuery_no);
    }
    EXPECT_EQ(questions.back(), QCoreApplication::translate("Core", "RES_CONFIRM_CONTENTLOSS"));
}

TEST_F(Queries, LinkQuestionShowsTheLinkAndStoresTheAnswer)
{
    answer = 1;
    HostQueryLink link{0, "http://example.com/x", nullptr, 0, 1, 0x10000, 0};
    HostQuery query{nullptr, 0, HostQuery_linkQuestion, &link, HostQuery_yes};
    Host_onOverlayChange(host, &query);
    pumpEvents();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("http://example.com/x")));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].status, HostQuery_yes);
    EXPECT_EQ(link.answer, HostQuery_yes);
    answer = 0;
    Host_onOverlayChange(host, &query);
    pumpEvents();
    EXPECT_EQ(link.answer, HostQuery_no);
}

TEST_F(Queries, PasswordRoundTrip)
{
    HostQueryText pair{"Password for secret.doc", nullptr};
    HostQuery query{nullptr, 0, HostQuery_password, &pair, HostQuery_yes};
    bridge->setBusy(true);
    Host_onOverlayChange(host, &query);
    pumpEvents();
    ASSERT_EQ(prompts, std::vector<QString>{QStringLiteral("Password for secret.doc")});
    EXPECT_FALSE(bridge->isBusy());
    EXPECT_TRUE(replies.empty());
    bridge->passwordEntered(QStringLiteral("s3cret"));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].status, HostQuery_yes);
    EXPECT_EQ(replies[0].text, "s3cret");
    // Answered once only.
    bridge->passwordEntered(QStringLiteral("again"));
    EXPECT_EQ(replies.size(), 1u);

    // No text cancels.
    pair.reply = nullptr;
    Host_onOverlayChange(host, &query);
    pumpEvents();
    bridge->passwordEntered(QString());
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1].status, HostQuery_no);
    EXPECT_EQ(replies[1].text, "(null)");
}

TEST_F(Queries, UnknownCodesAreRefusedAtOnce)
{
    for (int32_t code : {0x10001, 0x10005, 0x10008}) {
        HostQuery query{nullptr, 0, code, nullptr, HostQuery_yes};
        Host_onOverlayChange(host, &query);
        EXPECT_EQ(query.status, HostQuery_refused) << std::hex << code;
    }
    pumpEvents();
    EXPECT_TRUE(questions.empty());
    EXPECT_TRUE(replies.empty());
}

// A query the engine withdraws is never touched again: before its event is
// handled, while its password is awaited, and while its question is open.
// The queries live on the heap and are freed at once, so the sanitizer
// would see any later touch.
TEST_F(Queries, CancelledQueriesAreForgotten)
{
    auto *pair = new HostQueryText{"p", nullptr};
    auto *query = new HostQuery{nullptr, 0, HostQuery_password, pair, HostQuery_yes};
    Host_onOverlayChange(host, query);
    Host_cancelQuery(host, query);
    delete query;
    pumpEvents();
    EXPECT_TRUE(prompts.empty());

    query = new HostQuery{nullptr, 0, HostQuery_password, pair, HostQuery_yes};
    Host_onOverlayChange(host, query);
    pumpEvents();
    ASSERT_EQ(prompts.size(), 1u);
    Host_cancelQuery(host, query);
    delete query;
    bridge->passwordEntered(QStringLiteral("late"));
    EXPECT_TRUE(replies.empty());
    delete pair;

    query = new HostQuery{nullptr, 0, HostQuery_confirmLoss, nullptr, HostQuery_yes};
    onQuestion = [&] {
        Host_cancelQuery(host, query);
        delete query;
        query = nullptr;
    };
    Host_onOverlayChange(host, query);
    pumpEvents();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_TRUE(replies.empty());

    // Queries after the cancels are answered as ever.
    onQuestion = nullptr;
    answer = 1;
    HostQuery later{nullptr, 0, HostQuery_confirmLoss, nullptr, HostQuery_yes};
    Host_onOverlayChange(host, &later);
    pumpEvents();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].query, &later);
}

// A second password query while one is awaited answers the first as
// cancelled: no query is left without its answer.
TEST_F(Queries, ASecondPasswordAnswersTheFirst)
{
    HostQueryText pair1{"first", nullptr}, pair2{"second", nullptr};
    HostQuery first{nullptr, 0, HostQuery_password, &pair1, HostQuery_yes};
    HostQuery second{nullptr, 0, HostQuery_password, &pair2, HostQuery_yes};
    Host_onOverlayChange(host, &first);
    Host_onOverlayChange(host, &second);
    pumpEvents();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].query, &first);
    EXPECT_EQ(replies[0].status, HostQuery_no);
    bridge->passwordEntered(QStringLiteral("x"));
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1].query, &second);
}

} // namespace

// The drag selection scrolls once the pointer leaves the active rectangle:
// the phone's keeps 32 pixels from each edge, the desktop mouse's is the
// whole content, so that a line at the top can be selected in place.
TEST_F(Bridge, TheDesktopSelectionScrollsOnlyOutsideTheContent)
{
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    HostPlatform *platform = bridge->hostContext()->platform;
    auto area = [&] {
        return std::vector<int32_t>{platform->areaX0, platform->areaY0, platform->areaX1,
                                    platform->areaY1};
    };
    const std::vector<int32_t> phone = area();
    EXPECT_EQ(phone[0], 32);
    EXPECT_EQ(phone[1], 32);
    bridge->setDesktopSelection(true);
    const std::vector<int32_t> desktop = area();
    EXPECT_EQ(desktop[0], 0);
    EXPECT_EQ(desktop[1], 0);
    EXPECT_EQ(desktop[2], phone[2] + 31);
    EXPECT_EQ(desktop[3], phone[3] + 31);
    bridge->setDesktopSelection(false);
    EXPECT_EQ(area(), phone);
}

TEST_F(Bridge, CopyPutsTheSelectionsTextOnTheClipboard)
{
    CallRecorder recorder;
    auto bridge = startReady();
    ASSERT_TRUE(bridge);
    HostContext *host = bridge->hostContext();
    bridge->setDesktopSelection(true);
    QAlien::EditData *edited = nullptr;
    QObject::connect(bridge.get(), &QAlien::editContents, [&](QAlien::EditData *d) { edited = d; });
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));

    // Nothing selected: nothing is asked and the clipboard stays.
    CallRecorder::clear();
    EXPECT_FALSE(bridge->copySelection());
    EXPECT_EQ(CallRecorder::count("secondaryAction"), 0);

    // A selection made by the mouse stays: its notice opens no editor.
    EditNotice selected{4, 0};
    Host_engineRequest(host, App_requestNotify, &selected);
    pumpEvents();
    EXPECT_EQ(CallRecorder::count("secondaryAction"), 0);

    // Copying reads it out as for the contents editor; the text (UTF-8)
    // goes to the clipboard, not to the editor, and the edit ends.
    CallRecorder::editActive = 1;
    ASSERT_TRUE(bridge->copySelection());
    EXPECT_EQ(CallRecorder::count("secondaryAction"), 1);
    char text[] = "caf\xc3\xa9 au lait";
    EditData request{};
    request.kind = EditData_kindText;
    request.text = text;
    Host_engineRequest(host, 0x17000, &request);
    pumpEvents();
    EXPECT_EQ(edited, nullptr);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("caf\xc3\xa9 au lait"));
    EXPECT_EQ(CallRecorder::count("primaryAction"), 1);

    // The next record is the contents editor's again.
    Host_engineRequest(host, 0x17000, &request);
    pumpEvents();
    ASSERT_NE(edited, nullptr);
    bridge->editDone(edited);
}

TEST(BridgeDocuments, WebPagesAreContinuousByTheirNames)
{
    struct Case {
        const char *name;
        bool continuous;
    } cases[] = {
        {"/home/user/page.html", true},
        {"page.HTM", true},
        {"/a/b.shtml", true},
        {"archive.mht", true},
        {"mail.eml", true},
        {"index.php", true},
        {"/a.html/notes.txt", false},
        {"report.pdf", false},
        {"letter.doc", false},
        {"html", false},
        {"/dir.with.dots/readme", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(QAlien::isContinuousDocument(QString::fromUtf8(c.name)), c.continuous) << c.name;
}

TEST(BridgeDocuments, AContinuousPageCountsItsScreenfuls)
{
    // top, height, visible -> current, count.
    struct Case {
        int top, height, visible, current, count;
    } cases[] = {
        {0, 2949, 568, 1, 6},                         // the top of a page of 5.2 screens
        {512, 2949, 568, 2, 6},                       // a PageDown that keeps a few lines
        {568, 2949, 568, 2, 6},                       // exactly one screen down
        {283, 2949, 568, 1, 6},                       // less than half a screen down
        {284, 2949, 568, 2, 6},                       // half a screen down
        {2381, 2949, 568, 6, 6},                      // the end shows: the last
        {2300, 2949, 568, 5, 6},                      // just short of the end
        {0, 1136, 568, 1, 2},                         // exactly two screens
        {568, 1136, 568, 2, 2},  {0, 568, 568, 1, 1}, // a page that fits is one
        {0, 100, 568, 1, 1},     {0, 0, 0, 1, 1},     // nothing known yet
        {-40, 2949, 568, 1, 6},                       // a page pulled below its top
    };
    for (const Case &c : cases) {
        int current = 0, count = 0;
        QAlien::screenfulPosition(c.top, c.height, c.visible, &current, &count);
        EXPECT_EQ(current, c.current) << c.top << " of " << c.height << " by " << c.visible;
        EXPECT_EQ(count, c.count) << c.top << " of " << c.height << " by " << c.visible;
    }
}
