// The host services of the GUI program, driven as the engine drives them:
// request dispatch, notifications, archive listings, alerts, timers,
// geometry, screen updates and page reports. The events go to a log in
// place of the bridge.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstring>

#include "document/edit/editdata.h"
#include "platform/api/editing.h"
#include "platform/api/search.h"
#include "tests/host/gui_fixture.h"
#include "viewer/reports.h"
#include "viewer/viewer.h"

namespace {

class Services : public ::testing::Test {
  protected:
    Catalogue catalogue;
    CallRecorder recorder{false};
    ServiceHarness harness;
    HostContext *host = harness.host;

    std::vector<SeenEvent> request(int32_t code, void *record)
    {
        harness.log.clear();
        CallRecorder::clear();
        Host_engineRequest(host, code, record);
        harness.pump();
        return harness.log.events;
    }
    static std::string names(const std::vector<EngineCall> &calls)
    {
        std::string out;
        for (const EngineCall &c : calls)
            out += (out.empty() ? "" : " ") + c.name;
        return out;
    }
};

QString core(const char *key)
{
    return QCoreApplication::translate("Core", key);
}

TEST_F(Services, DispatchTableMapsCodesToEvents)
{
    ASSERT_TRUE(catalogue.loaded());
    FvResizeReport resized{0, 0, 480, 624, 0x10003, 1};
    FvResizeReport failedResize{0, 0, 480, 624, 0x10003, 0};
    FvViewModeReport flowOn{0x10001, 1};
    FvViewModeReport flowRefused{0x10000, 0x10000};
    struct Case {
        int32_t code;
        void *record;
        int event; // 0: none
        intptr_t value;
        bool custom;
    } cases[] = {
        {0x10003, &resized, 1005, 624, true},   {0x10003, &failedResize, 0, 0, false},
        {0x10004, nullptr, 1016, 0, true},      {0x10007, nullptr, 1016, 0, true},
        {0x10008, nullptr, 1014, 0, true},      {0x10009, nullptr, 1014, 0, false},
        {0x10024, nullptr, 1009, 0, true},      {0x14000, &flowOn, 1021, 1, true},
        {0x14000, &flowRefused, 1021, 0, true}, {0x10123, nullptr, 0, 0, false},
    };
    for (const Case &c : cases) {
        std::vector<SeenEvent> seen = request(c.code, c.record);
        if (!c.event) {
            EXPECT_TRUE(seen.empty()) << std::hex << c.code;
            continue;
        }
        ASSERT_EQ(seen.size(), 1u) << std::hex << c.code;
        EXPECT_EQ(seen[0].type, c.event) << std::hex << c.code;
        EXPECT_EQ(seen[0].value, c.value) << std::hex << c.code;
        EXPECT_EQ(seen[0].custom, c.custom) << std::hex << c.code;
    }
    EXPECT_EQ(host->toggleValue, 0x10000);
    EXPECT_EQ(host->togglePending, 0);
}

TEST_F(Services, AnUnchangedZoomPostsNothing)
{
    FvZoomReport zoom{0x10000};
    EXPECT_TRUE(request(0x10005, &zoom).empty());
    zoom.zoom = 0x18000;
    std::vector<SeenEvent> seen = request(0x10005, &zoom);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].type, 1004);
    EXPECT_EQ(seen[0].value, 0x18000);
    EXPECT_TRUE(request(0x10005, &zoom).empty());
}

TEST_F(Services, OneShotAlertWaitsForTheNextOpen)
{
    std::vector<SeenEvent> seen = request(0x10000, nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].type, 1007);
    EXPECT_EQ(seen[0].text, core("RES_ALERT_IMAGESUBSAMPLED"));
    EXPECT_TRUE(request(0x10019, nullptr).empty());
    harness.log.clear();
    Host_showErrorAlert(host, 0x10006);
    harness.pump();
    EXPECT_TRUE(harness.log.events.empty());
    harness.data->alertPending = 0; // what opening a document does
    Host_showErrorAlert(host, 0x10006);
    harness.pump();
    ASSERT_EQ(harness.log.events.size(), 1u);
    EXPECT_EQ(harness.log.events[0].text, core("RES_ALERT_OUTOFMEMORY"));
}

TEST_F(Services, ErrorAlertsByCode)
{
    struct Case {
        int32_t code;
        const char *key; // null: nothing shown
    } cases[] = {
        {0x10000, "RES_ALERT_DOCTRANSLATIONFAILED"},
        {0x10002, "RES_ALERT_DOCTRANSLATIONFAILED"},
        {0x10004, "RES_ALERT_DOCTRANSLATIONFAILED"},
        {0x10003, "RES_ALERT_INTERNALERROR"},
        {0x10008, nullptr},
        {0x10005, "RES_ALERT_UNKNOWNERROR"},
        {1, "RES_ALERT_UNKNOWNERROR"},
    };
    for (const Case &c : cases) {
        harness.log.clear();
        Host_showErrorAlert(host, c.code);
        harness.pump();
        if (!c.key) {
            EXPECT_TRUE(harness.log.events.empty());
            continue;
        }
        ASSERT_EQ(harness.log.events.size(), 1u) << std::hex << c.code;
        EXPECT_EQ(harness.log.events[0].type, 1008);
        EXPECT_EQ(harness.log.events[0].text, core(c.key));
    }
}

TEST_F(Services, LoadFailuresNameTheFileAndTheReason)
{
    QTemporaryDir dir;
    const QString damaged = dir.filePath(QStringLiteral("damaged.pdf"));
    {
        QFile file(damaged);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4\nnot a body\n");
    }
    const QString missing = dir.filePath(QStringLiteral("missing.pdf"));
    const struct {
        int32_t kind;
        int32_t code;
        QString path;
        const char *expected;
    } cases[] = {
        {-1, 5891, missing, "missing.pdf: the file does not exist."},
        {2, 5891, missing, "missing.pdf: the file does not exist."},
        {2, 5891, dir.path(), "the file cannot be read."},
        {2, 5891, damaged, "damaged.pdf: the file is damaged (error 5891)."},
        {3, 7, damaged, "damaged.pdf: the file is damaged (error 7)."},
        {0, 0, damaged, "damaged.pdf: its kind of document is not supported."},
        {1, 0, damaged, "damaged.pdf: it holds no data."},
        {5, 1, damaged, "damaged.pdf: there is not enough memory to open it."},
        {-1, 16, QString(), "The document: it cannot be opened (error 16)."},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(
            HostGui_loadFailureText(c.kind, c.code, c.path).endsWith(QLatin1String(c.expected)))
            << HostGui_loadFailureText(c.kind, c.code, c.path).toStdString();

    // The engine's report comes before its alert, which then carries it;
    // the next alert without a report of its own carries none.
    const QByteArray path = damaged.toUtf8();
    FvLoadFailedReport report{2, 5891, path.constData()};
    EXPECT_TRUE(request(Fv_requestLoadFailed, &report).empty());
    for (int round = 0; round < 2; round++) {
        harness.log.clear();
        Host_showErrorAlert(host, 0x10002);
        harness.pump();
        ASSERT_EQ(harness.log.events.size(), 1u);
        EXPECT_EQ(harness.log.events[0].type, 1008);
        const QString expected =
            core("RES_ALERT_DOCTRANSLATIONFAILED") +
            (round == 0 ? QStringLiteral("\ndamaged.pdf: the file is damaged (error 5891).")
                        : QString());
        EXPECT_EQ(harness.log.events[0].text, expected);
    }
    // Out of memory while loading says which document.
    FvLoadFailedReport memory{5, 1, path.constData()};
    request(Fv_requestLoadFailed, &memory);
    harness.log.clear();
    harness.data->alertPending = 0;
    Host_showErrorAlert(host, 0x10006);
    harness.pump();
    ASSERT_EQ(harness.log.events.size(), 1u);
    EXPECT_EQ(harness.log.events[0].text,
              core("RES_ALERT_OUTOFMEMORY") +
                  QStringLiteral("\ndamaged.pdf: there is not enough memory to open it."));
}

TEST_F(Services, DocumentInformationDecidesEditableForTheLoadedEvent)
{
    FvDocInfo info{0, nullptr, "file://root/a.txt", "text/plain"};
    EXPECT_TRUE(request(0x1000A, &info).empty());
    char *fonts[2] = {const_cast<char *>("Arial"), const_cast<char *>("Courier New")};
    uint32_t palette[3] = {0x000000FF, 0xFF0000FF, 0xFFFFFFFF};
    EditModeReport report{1, 1, {255, 0, 0, 0, 1, 0}, 2, fonts, 3, palette};
    std::vector<SeenEvent> seen = request(0x10017, &report);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].type, 1010);
    EXPECT_EQ(seen[0].value, 1);
    EXPECT_EQ(seen[1].type, 1006);
    // A text document has no edit support word: notification 4 is ignored.
    EditNotice four{4};
    EXPECT_TRUE(request(0x10016, &four).empty());
    EXPECT_EQ(CallRecorder::calls().size(), 0u);

    info.mime = nullptr;
    request(0x1000A, &info);
    seen = request(0x10017, &report);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].value, 0);
}

TEST_F(Services, EditNotifications)
{
    struct Case {
        int32_t code;
        int event; // the event posted (0 none)
        intptr_t value;
        const char *key;   // the alert's or error's text
        const char *calls; // the engine calls made
    } cases[] = {
        {0, 1015, 1, nullptr, ""},
        {1, 1015, 0, nullptr, ""},
        {6, 0, 0, nullptr, "primaryAction"},
        {7, 0, 0, nullptr, "primaryAction"},
        {23, 0, 0, nullptr, "primaryAction"},
        {8, 1007, 0, "RES_ALERT_NOTHINGSELECTED", ""},
        {16, 1008, 0, "RES_ALERT_FAILEDTODESELECT", ""},
        {19, 1011, 1, nullptr, ""},
        {20, 1011, 0, nullptr, ""},
        {24, 1007, 0, "RES_ALERT_GOTOFAILED", ""},
        {25, 1007, 0, "RES_ALERT_INVALIDGOTO", ""},
        {26, 1007, 0, "RES_ALERT_GOTOERROR", ""},
        {28, 1007, 0, "RES_ALERT_COULDNOTINSERTHERE", ""},
        {29, 1007, 0, "RES_ALERT_COULDNOTINSERTMAX", ""},
        {30, 1008, 0, "RES_ALERT_FAILEDTOINSERT", ""},
        {33, 1008, 0, "RES_ALERT_FAILEDTODELETE", ""},
        {35, 1008, 0, "RES_ALERT_FAILEDTOEDIT", "primaryAction"},
        {40, 1008, 0, "RES_ALERT_INVALIDFONTSIZE", ""},
        {43, 1008, 0, "RES_ALERT_FAILEDTOUPDATE", ""},
        {44, 1019, 0, nullptr, ""},
        {45, 1012, 0, nullptr, ""},
        {48, 1007, 0, "RES_ALERT_DOCNOTEDITABLE", ""},
        {4096, 1008, 0, "RES_ALERT_ERRORINFORMULA", ""},
        {4097, 1007, 0, "RES_ALERT_FORMULAUNSUPPORTED", ""},
        {4098, 1007, 0, "RES_ALERT_CIRCULARDEPENDENCY", ""},
        {4099, 1007, 0, "RES_ALERT_ARRAYNOTSUPPORTED", ""},
        {2, 0, 0, nullptr, ""},
        {47, 0, 0, nullptr, ""},
    };
    for (const Case &c : cases) {
        EditNotice notice{c.code};
        std::vector<SeenEvent> seen = request(0x10016, &notice);
        EXPECT_EQ(names(CallRecorder::calls()), c.calls) << c.code;
        if (!c.event) {
            EXPECT_TRUE(seen.empty()) << c.code;
            continue;
        }
        ASSERT_EQ(seen.size(), 1u) << c.code;
        EXPECT_EQ(seen[0].type, c.event) << c.code;
        if (c.key) {
            EXPECT_EQ(seen[0].text, core(c.key)) << c.code;
        } else {
            EXPECT_EQ(seen[0].value, c.value) << c.code;
        }
    }
    // 4100 resets the editing mode and tells why.
    EditNotice notice{4100};
    std::vector<SeenEvent> seen = request(0x10016, &notice);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].type, 1020);
    EXPECT_EQ(seen[1].text, core("RES_ALERT_FORMULASUNSUPPORTED"));
}

// An edit that failed at its selection (4) ends quietly at its 35; a 35 on
// its own is shown.
TEST_F(Services, CodeThirtyFiveRightAfterFourShowsNothing)
{
    EditNotice four{4}, thirtyFive{35};
    EXPECT_TRUE(request(0x10016, &four).empty());
    EXPECT_EQ(names(CallRecorder::calls()), "secondaryAction");
    EXPECT_TRUE(request(0x10016, &thirtyFive).empty());
    EXPECT_TRUE(CallRecorder::calls().empty());
    std::vector<SeenEvent> seen = request(0x10016, &thirtyFive);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, core("RES_ALERT_FAILEDTOEDIT"));

    // An out-of-memory report clears the expectation too.
    EditNotice twentyTwo{22};
    request(0x10016, &twentyTwo);
    Host_showErrorAlert(host, 0x10006);
    harness.pump();
    EXPECT_EQ(request(0x10016, &thirtyFive).size(), 1u);
}

TEST_F(Services, EditRequestBecomesTheDialogsRecord)
{
    char text[] = "Total";
    char ref[] = "B12";
    char format[] = "0.00";
    EditData cell{};
    cell.kind = EditData_kindCell;
    cell.cellRef = ref;
    cell.extra1 = 7;
    cell.extra2 = 1;
    cell.text = text;
    cell.fontIndex = 2;
    cell.styleFlags = 1 | 16;
    cell.fontSize = 0xA8000;
    cell.colourIndex = 5;
    cell.extra3 = 9;
    cell.hAlign = 0x10002;
    cell.vAlign = 0x10001;
    cell.formatString = format;
    cell.columnWidth = 0x30000;
    cell.rowHeight = 0x12000;

    // The dialog's record travels with event 1003; the log sees it whole.
    Gui::EditData *made = nullptr;
    struct Catch : QObject {
        Gui::EditData **out;
        bool event(QEvent *e) override
        {
            if (int(e->type()) == 1003)
                *out = static_cast<Gui::EditData *>(static_cast<QCustomEvent *>(e)->takeData());
            return true;
        }
    } catcher;
    catcher.out = &made;
    *host->ownerCell = &catcher;
    Host_engineRequest(host, 0x17000, &cell);
    harness.pump();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->text, QStringLiteral("Total"));
    EXPECT_TRUE(made->isCell);
    EXPECT_EQ(made->numberFormat, QStringLiteral("0.00"));
    EXPECT_EQ(made->fontIndex, 2);
    EXPECT_EQ(made->extra1, 7);
    EXPECT_EQ(made->extra2, 9);
    EXPECT_EQ(made->size, 0xA8000u);
    EXPECT_EQ(made->colour, 5u);
    EXPECT_EQ(made->highlight, -2);
    EXPECT_EQ(made->hAlign, 2);
    EXPECT_EQ(made->vAlign, 0);
    EXPECT_TRUE(made->flag);
    EXPECT_TRUE(made->editable);
    EXPECT_TRUE(made->bold);
    EXPECT_TRUE(made->strike);
    EXPECT_FALSE(made->italic || made->underline || made->doubleUnderline);
    EXPECT_EQ(made->title, QStringLiteral("B12"));
    EXPECT_EQ(made->width, 0x30000);
    EXPECT_EQ(made->height, 0x12000);
    EXPECT_FALSE(made->colourIsRgb);
    EXPECT_EQ(made->action, 0);
    EXPECT_FALSE(made->accepted);
    delete made;
    made = nullptr;

    // Selected text: RGB colour, a highlight, no title, no cell pages.
    EditData sel{};
    sel.kind = EditData_kindText;
    sel.text = nullptr;
    sel.styleFlags = 2 | 4 | 8;
    sel.colourIndex = 0xFF0000FF;
    sel.colourIndex2 = 3;
    sel.formulaUnreadable = 1;
    sel.hAlign = 0x10000;
    Host_engineRequest(host, 0x17000, &sel);
    harness.pump();
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->text.isEmpty());
    EXPECT_FALSE(made->isCell);
    EXPECT_TRUE(made->colourIsRgb);
    EXPECT_EQ(made->highlight, 3);
    EXPECT_EQ(made->hAlign, 1);
    EXPECT_FALSE(made->editable);
    EXPECT_TRUE(made->italic && made->underline && made->doubleUnderline);
    EXPECT_TRUE(made->title.isEmpty());
    EXPECT_EQ(made->width, -1);
    delete made;
    *host->ownerCell = &harness.log;

    // After a failed edit the request only shows the cell and ends the
    // contents editing.
    harness.data->editFailurePending = 1;
    std::vector<SeenEvent> seen = request(0x17000, &cell);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].type, 1023);
    EXPECT_EQ(seen[0].text, QStringLiteral("B12"));
    EXPECT_EQ(names(CallRecorder::calls()), "toggleContents");
    EXPECT_EQ(harness.data->editFailurePending, 0);
}

TEST_F(Services, SearchNotifications)
{
    struct Case {
        int32_t outcome, direction;
        int event;
        const char *calls;
    } cases[] = {
        {0x10000, 0x10000, 1024, "searchFollowUp"}, {0x10001, 0x10001, 1025, ""},
        {0x10002, 0x10000, 0, "searchNext"},        {0x10004, 0x10000, 0, "searchNext"},
        {0x10003, 0x10000, 1008, "searchCancel"},   {0x10001, 0x10002, 0, ""},
    };
    for (const Case &c : cases) {
        SearchReport report{c.outcome, c.direction, 1};
        std::vector<SeenEvent> seen = request(0x11000, &report);
        EXPECT_EQ(names(CallRecorder::calls()), c.calls) << std::hex << c.outcome;
        if (!c.event) {
            EXPECT_TRUE(seen.empty());
            continue;
        }
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].type, c.event);
        if (c.event == 1008) {
            EXPECT_EQ(seen[0].text, core("RES_ALERT_SEARCHERROR"));
        }
    }
}

// A listing of 70 entries comes as batches of 32, 32 and 6, then the end;
// the host asks for each next batch of 32, frees every batch and closes the
// listing.
TEST_F(Services, ArchiveListingInBatches)
{
    ZipListRequest listing{};
    std::vector<std::string> names;
    names.reserve(70);
    std::vector<ZipEntryInfo> infos(70);
    std::vector<ZipEntryInfo *> pointers(70);
    for (int i = 0; i < 70; i++) {
        names.push_back("entry" + std::to_string(i));
        infos[size_t(i)].name = names.back().data();
        infos[size_t(i)].isDirectory = i % 10 == 0;
        pointers[size_t(i)] = &infos[size_t(i)];
    }
    harness.log.clear();
    CallRecorder::clear();
    Host_engineRequest(host, 0x18001, &listing);
    int offset = 0;
    ZipEntryList batches[3];
    for (int count : {32, 32, 6}) {
        ZipEntryList &batch = batches[offset / 32];
        batch = ZipEntryList{&listing, count, &pointers[size_t(offset)]};
        Host_engineRequest(host, 0x18002, &batch);
        offset += count;
    }
    ZipEntryList end{&listing, 0, nullptr};
    Host_engineRequest(host, 0x18003, &end);
    harness.pump();

    std::vector<EngineCall> next = CallRecorder::named("listNext");
    ASSERT_EQ(next.size(), 4u);
    for (const EngineCall &c : next) {
        EXPECT_EQ(c.a, reinterpret_cast<intptr_t>(&listing));
        EXPECT_EQ(c.b, 32);
    }
    std::vector<EngineCall> freed = CallRecorder::named("listFree");
    ASSERT_EQ(freed.size(), 4u);
    EXPECT_EQ(freed[3].a, reinterpret_cast<intptr_t>(&end));
    ASSERT_EQ(CallRecorder::count("listClose"), 1);
    EXPECT_EQ(CallRecorder::named("listClose")[0].a, reinterpret_cast<intptr_t>(&listing));

    std::vector<SeenEvent> entries = harness.log.ofType(1022);
    ASSERT_EQ(entries.size(), 71u);
    for (int i = 0; i < 70; i++) {
        ASSERT_TRUE(entries[size_t(i)].hasEntry);
        EXPECT_EQ(entries[size_t(i)].entry.name, QString::fromStdString(names[size_t(i)]));
        EXPECT_EQ(entries[size_t(i)].entry.isDirectory, i % 10 == 0);
    }
    EXPECT_FALSE(entries[70].hasEntry);
    EXPECT_EQ(harness.data->listing, nullptr);
}

// A failed listing ends the GUI's wait and closes an open request.
TEST_F(Services, FailedListingEnds)
{
    ZipListRequest listing{};
    request(0x18001, &listing);
    std::vector<SeenEvent> seen = request(0x18000, nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].type, 1022);
    EXPECT_FALSE(seen[0].hasEntry);
    EXPECT_EQ(names(CallRecorder::calls()), "listClose");
    seen = request(0x18000, nullptr);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_TRUE(CallRecorder::calls().empty());
}

TEST_F(Services, TimersGeometryClockAndMemory)
{
    int32_t id = 77;
    HostTimer_start(host, &id, 20);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(HostTimer_stop(host, &id), 1);
    harness.pump();
    ASSERT_EQ(harness.log.events.size(), 2u);
    EXPECT_EQ(harness.log.events[0].type, 1001);
    EXPECT_EQ(harness.log.events[0].value, 20);
    EXPECT_EQ(harness.log.events[1].type, 1002);

    int32_t geometry[11];
    memset(geometry, 0x55, sizeof(geometry));
    AlienScreen_getGeometry(host, geometry);
    const int32_t expected[11] = {0, 0, 0, 480, 592, 480, 624, 0, 0, 0x10005, 0x10000};
    for (int i = 0; i < 11; i++)
        EXPECT_EQ(geometry[i], expected[i]) << i;

    EXPECT_EQ(AlienTimer_getMs(host), 0);
    EXPECT_GE(AlienTimer_getMs(host), 0);

    host->heapBytes = 4096;
    size_t size = 100;
    int64_t held = HostGui_blocksHeld();
    void *block = AlienMemory_malloc(&size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, size_t(1) << 20);
    EXPECT_EQ(HostGui_blocksHeld(), held + 1);
    Host_releaseBlock(block);
    EXPECT_EQ(HostGui_blocksHeld(), held);
    size = size_t(3) << 20;
    block = AlienMemory_malloc(&size);
    EXPECT_EQ(size, size_t(3) << 20);
    Host_releaseBlock(block);
}

// Every rectangle presented before a flush shows: the pending area is their
// bounding box, clipped to the image, with the row bytes of the last one.
TEST_F(Services, ScreenUpdatesGrowToTheirBoundingBox)
{
    static uint16_t pixels[100 * 50];
    Host_screenUpdate(host, pixels, 0x10005, 100, 50, 200, 10, 20, 5, 5, 0, 0);
    EXPECT_EQ(harness.data->updateW, 5);
    Host_screenUpdate(host, pixels, 0x10005, 100, 50, 200, 40, 2, 10, 3, 0, 0);
    EXPECT_EQ(harness.data->updateX, 10);
    EXPECT_EQ(harness.data->updateY, 2);
    EXPECT_EQ(harness.data->updateW, 40);
    EXPECT_EQ(harness.data->updateH, 23);
    EXPECT_EQ(harness.data->updateRowBytes, 200);
    // Outside the image: nothing more; partly outside: clipped.
    Host_screenUpdate(host, pixels, 0x10005, 100, 50, 200, 120, 60, 5, 5, 0, 0);
    EXPECT_EQ(harness.data->updateW, 40);
    Host_screenUpdate(host, pixels, 0x10005, 100, 50, 200, 95, 45, 20, 20, 0, 0);
    EXPECT_EQ(harness.data->updateW, 90);
    EXPECT_EQ(harness.data->updateH, 48);
    EXPECT_EQ(harness.log.events.size(), 0u);
}

TEST_F(Services, PageReportsCarryLargeCounts)
{
    for (auto [page, count] : {std::pair{3, 5}, std::pair{40000, 70000}, std::pair{1, 1}}) {
        harness.log.clear();
        Host_reportPage(host, page, count);
        harness.pump();
        ASSERT_EQ(harness.log.events.size(), 1u);
        uint64_t word = uint64_t(harness.log.events[0].value);
        EXPECT_EQ(int(uint32_t(word)), page);
        EXPECT_EQ(int(word >> 32), count);
    }
}

TEST_F(Services, MissingTranslationIsReportedAndGivesNull)
{
    EXPECT_EQ(Host_translate(host, "DateTime", "RES_MONTH_1"), QStringLiteral("January"));
    EXPECT_TRUE(harness.log.events.empty());
    EXPECT_TRUE(Host_translate(host, "DateTime", "RES_NOT_A_KEY").isNull());
    harness.pump();
    ASSERT_EQ(harness.log.events.size(), 1u);
    EXPECT_EQ(harness.log.events[0].type, 1008);
    EXPECT_EQ(harness.log.events[0].text, QStringLiteral("RES_NOT_A_KEY"));
}

} // namespace
