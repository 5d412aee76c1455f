// Edit mode through the application: the set-up and the editability
// report of a flowing-text document, the entry points' checks and codes,
// the font list, and the round trip of the selected text through the
// host's contents dialog (request 0x17000 and App_postContents).
#include "core/config/config.h"
#include "core/mem/mem.h"
#include "platform/api/engine.h"
#include "document/edit/editdata.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "viewer/api/textedit.h"
#include "spreadsheet/format/palette.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/platform/requests_fixture.h"
#include "tests/spreadsheet/sheetgrid_support.h"

namespace {

int acceptNode(Edr_Doc *, intptr_t, intptr_t *out)
{
    *out = 1;
    return 0;
}

int acceptAncestor(Edr_Doc *, Edr_Node *, int *flag)
{
    *flag = 1;
    return 0;
}

int saveNothing(Edr_Doc *, const Url *)
{
    return 0;
}

Edr_Node *firstText(Edr_Doc *doc, Edr_Node *node)
{
    for (; node; node = Edr_Node_nextSibling(node)) {
        if (Edr_Node_isText(doc, node))
            return node;
        if (Edr_Node *found = firstText(doc, Edr_Node_firstChild(node)))
            return found;
    }
    return nullptr;
}

class EditModeTest : public RequestsFixture {
  protected:
    struct Contents {
        EditData data;
        std::string text;
        std::string ref; // the cell reference (the record's own goes after the request)
    };
    ExcelWorkbook book{}; // a spreadsheet's workbook (its palette)
    SheetGrid *grid = nullptr;

    void SetUp() override
    {
        RequestsFixture::SetUp();
        Headless_setRequestHook(host, onEditRequest, this);
        ASSERT_EQ(start(), 1);
        ASSERT_TRUE(open(writeFile("a.txt", "alpha beta\n")));
        Headless_runTimers(host, 100);
    }
    // Applied changes are not saved in these tests: they are dropped so
    // that the engine may stop (it refuses while they are kept).
    void TearDown() override
    {
        if (host->instance && Fv_fromApp(inst))
            onAppThread([&] {
                if (FvViewer *v = Fv_fromApp(inst); v && v->editMode)
                    v->editMode->modified = 0;
            });
        RequestsFixture::TearDown();
    }
    static void onEditRequest(void *arg, int32_t code, void *record)
    {
        EditModeTest *t = static_cast<EditModeTest *>(arg);
        if (code == App_requestEditMode && record)
            t->reports.push_back(*static_cast<const EditModeReport *>(record));
        if (code == App_requestContents && record) {
            const EditData *d = static_cast<const EditData *>(record);
            t->contents.push_back(
                Contents{*d, d->text ? d->text : "", d->cellRef ? d->cellRef : ""});
        }
        onHostRequest(arg, code, record);
    }
    FvViewer *viewer()
    {
        return Fv_fromApp(inst);
    }
    // Sets up edit mode and shows the document as flowing text (type 226)
    // that accepts edits and can be saved.
    void setUpText()
    {
        ASSERT_EQ(App_setupEditMode(inst), 1);
        onAppThread([&] {
            Edr_Doc *doc = viewer()->page->document;
            doc->typeCode = TextEdit_typeText;
            Edr_Doc_setNodeTest(doc, acceptNode);
            Edr_Doc_setAncestorTest(doc, acceptAncestor);
            Edr_Doc_setCallbackA(doc, saveNothing);
            TextEdit_onAppEvent(viewer()->editMode, 1, 17, viewer());
        });
    }
    // Selects the first word and turns edit mode on.
    void selectWord()
    {
        onAppThread([&] {
            Edr_Doc *doc = viewer()->page->document;
            Edr_Node *text = firstText(doc, Edr_Doc_root(doc));
            ASSERT_NE(text, nullptr);
            ASSERT_EQ(Edr_Sel_select(doc, text, 0, 0, Edr_SelMode_word), 0);
            viewer()->editMode->editMode = 1;
        });
    }
    // Asks for the contents record (hook 3) and returns it.
    Contents gather()
    {
        size_t before = contents.size();
        EXPECT_EQ(App_postEditHook3(inst), 1);
        onAppThread([] {});
        EXPECT_EQ(contents.size(), before + 1);
        Contents c = contents.empty() ? Contents{} : contents.back();
        c.data.text = c.text.data();
        c.data.cellRef = c.data.cellRef ? c.ref.data() : nullptr;
        c.data.formatString = nullptr;
        return c;
    }
    // Hands a record back (mode 0) and returns the codes heard.
    std::string answer(Contents c)
    {
        c.data.text = c.text.data();
        c.data.cellRef = c.data.cellRef ? c.ref.data() : nullptr;
        notices.clear();
        EXPECT_EQ(App_postContents(inst, &c.data, 0), 1);
        onAppThread([] {});
        return noticeText();
    }
    // Runs a posted call and returns the codes heard.
    std::string codesOf(const std::function<int()> &call)
    {
        notices.clear();
        EXPECT_EQ(call(), 1);
        onAppThread([] {});
        return noticeText();
    }

    std::vector<EditModeReport> reports;
    std::vector<Contents> contents;
};

TEST_F(EditModeTest, SetUpReportsTheFlowingTextDocument)
{
    setUpText();
    EXPECT_EQ(noticeText(), "2 1");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].editable, 1u);
    EXPECT_EQ(reports[0].savable, 1u);
    EXPECT_EQ(reports[0].defaults[0], 255u);
    EXPECT_EQ(reports[0].defaults[4], 1u);
    EXPECT_EQ(reports[0].paletteCount, 16);
    EXPECT_EQ(reports[0].palette[15], 0xC0C0C0FFu);
    ASSERT_GE(reports[0].fontCount, 3);
    EXPECT_STREQ(reports[0].fontNames[1], "Times New Roman");
    // The report goes out once per record.
    onAppThread([&] { TextEdit_onAppEvent(viewer()->editMode, 1, 17, viewer()); });
    EXPECT_EQ(reports.size(), 1u);
    // A second set-up keeps the record.
    EXPECT_EQ(codesOf([&] { return App_setupEditMode(inst); }), "2");
}

// The plain text as its loader leaves it: its text can be selected and
// read out (for copying), but it is not savable and nothing changes it.
TEST_F(EditModeTest, PlainTextIsSelectedAndReadOutButNeverChanged)
{
    ASSERT_EQ(App_setupEditMode(inst), 1);
    onAppThread([&] {
        Edr_Doc *doc = viewer()->page->document;
        EXPECT_EQ(Edr_Doc_getTypeCodeLocked(doc), uint32_t(TextEdit_typePlain));
        EXPECT_TRUE(Edr_Doc_hasNodeTest(doc));
        EXPECT_FALSE(Edr_Doc_hasCallbackA(doc));
        TextEdit_onAppEvent(viewer()->editMode, 1, 17, viewer());
        const EditHandlers &h = viewer()->editMode->handlers;
        EXPECT_NE(h.editCall, nullptr);
        EXPECT_NE(h.hook1, nullptr);
        EXPECT_NE(h.hook3, nullptr);
        EXPECT_EQ(h.contents, nullptr);
        EXPECT_EQ(h.value3, nullptr);
    });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].editable, 1u);
    EXPECT_EQ(reports[0].savable, 0u);
    selectWord();
    Contents c = gather();
    EXPECT_EQ(c.text, "alpha ");
    // A record handed back changes nothing: there is no contents hook.
    c.text = "omega ";
    answer(c);
    EXPECT_EQ(App_isModified(inst), 0);
    onAppThread([&] { App_clearSelection(inst); });
    selectWord();
    EXPECT_EQ(gather().text, "alpha ");
}

TEST_F(EditModeTest, SpreadsheetGetsTheSpreadsheetsHandlersOnly)
{
    ASSERT_EQ(App_setupEditMode(inst), 1);
    onAppThread([&] {
        Edr_Doc *doc = viewer()->page->document;
        doc->typeCode = TextEdit_typeSheet;
        Edr_Doc_setNodeTest(doc, acceptNode);
        TextEdit_onAppEvent(viewer()->editMode, 1, 17, viewer());
        EXPECT_NE(viewer()->editMode->handlers.contents, nullptr);
        EXPECT_NE(viewer()->editMode->handlers.valueHook, nullptr);
        EXPECT_EQ(viewer()->editMode->report.fontCount, 3);
        EXPECT_EQ(viewer()->editMode->report.defaults[3], 1u);
    });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].editable, 1u);
    EXPECT_EQ(reports[0].savable, 0u);
    // The shown document holds no sheet grid: no cell lies under a point,
    // no reference names a cell and there is no current cell to edit.
    EXPECT_EQ(codesOf([&] { return App_postEditCall(inst, 1, 2, 0x10005); }), "5");
    EXPECT_EQ(codesOf([&] { return App_postEditCall(inst, 1, 2, 0x10000); }), "7");
    EXPECT_EQ(codesOf([&] { return App_postNamedValue(inst, "B2", 1); }), "24");
    EXPECT_EQ(codesOf([&] { return App_postNamedValue(inst, "2B", 1); }), "25");
    EXPECT_EQ(codesOf([&] { return App_postEditHook3(inst); }), "34"); // edit mode is off
}

TEST_F(EditModeTest, ChecksAndCodesOfTheEntryPoints)
{
    // Without a record.
    EXPECT_EQ(codesOf([&] { return App_postEditCall(inst, 1, 2, 0x10000); }), "47");
    EXPECT_EQ(codesOf([&] { return App_clearModified(inst); }), "47");
    EXPECT_EQ(codesOf([&] { return App_postToggleContents(inst); }), "47");
    setUpText();
    // Edit mode off.
    EXPECT_EQ(codesOf([&] { return App_postEditHook1(inst); }), "15");
    EXPECT_EQ(codesOf([&] { return App_postEditHook3(inst); }), "34");
    // A point that hits nothing clears the selection; a bad mode is 7.
    EXPECT_EQ(codesOf([&] { return App_postEditCall(inst, 1, 2, 0x10000); }), "5");
    EXPECT_EQ(codesOf([&] { return App_postEditCall(inst, 1, 2, 0x10008); }), "7");
    // While the contents editor is open.
    EXPECT_EQ(codesOf([&] { return App_postToggleContents(inst); }), "17");
    EXPECT_EQ(codesOf([&] { return App_postEditCall(inst, 1, 2, 0x10000); }), "6");
    EXPECT_EQ(codesOf([&] { return App_postValue(inst, 3); }), "10");
    EXPECT_EQ(codesOf([&] { return App_postNamedValue(inst, "A1", 3); }), "23");
    EXPECT_EQ(codesOf([&] { return App_postToggleContents(inst); }), "18");
    // Handlers a text document does not install.
    EXPECT_EQ(codesOf([&] { return App_postValue(inst, 3); }), "46");
    EXPECT_EQ(codesOf([&] { return App_postValue2(inst, 0x10000); }), "0 46");
    // Deleting needs value 0x10000 and a selection.
    selectWord();
    EXPECT_EQ(codesOf([&] { return App_postValue3(inst, 0x10001); }), "0 32");
    EXPECT_EQ(App_isModified(inst), 0);
    EXPECT_EQ(codesOf([&] { return App_postValue3(inst, 0x10000); }), "0 31");
    EXPECT_EQ(App_isModified(inst), 1);
    EXPECT_EQ(codesOf([&] { return App_clearModified(inst); }), "44");
    EXPECT_EQ(App_isModified(inst), 0);
    // Hook 1 ends the edit.
    EXPECT_EQ(codesOf([&] { return App_postEditHook1(inst); }), "14");
    EXPECT_EQ(App_isEditMode(inst), 0);
    EXPECT_EQ(codesOf([&] { return App_postContents(inst, &contents.emplace_back().data, 0); }),
              "0 38 1");
}

// The host's pointer code asks these on every hold and tap: the hold's
// secondary action needs a document kind that installed its edit call, and
// a tap's primary action is held back while an edit is in progress.
TEST_F(EditModeTest, PointerActionsFollowTheEditState)
{
    EXPECT_EQ(App_viewActionsEnabled(inst), 0); // no edit-mode record yet
    EXPECT_EQ(App_viewEditActive(inst), 0);
    ASSERT_EQ(App_setupEditMode(inst), 1);
    onAppThread([] {});
    EXPECT_EQ(App_viewActionsEnabled(inst), 0); // no document kind installed handlers
    setUpText();
    EXPECT_EQ(App_viewActionsEnabled(inst), 1);
    EXPECT_EQ(App_viewEditActive(inst), 0);
    // A selection made at a point starts the edit; hook 1 ends it.
    selectWord();
    EXPECT_EQ(App_viewEditActive(inst), 1);
    EXPECT_EQ(codesOf([&] { return App_postEditHook1(inst); }), "14");
    EXPECT_EQ(App_viewEditActive(inst), 0);
    EXPECT_EQ(App_viewActionsEnabled(inst), 1);
}

TEST_F(EditModeTest, UnchangedRoundTrip)
{
    setUpText();
    selectWord();
    Contents c = gather();
    EXPECT_EQ(c.data.kind, 92u);
    EXPECT_EQ(c.text, "alpha ");
    EXPECT_EQ(c.data.extra1, 2000u);
    // The text's white background is entry 7 of the palette.
    EXPECT_EQ(c.data.colourIndex2, 7);
    EXPECT_EQ(App_isContentsEditing(inst), 1);
    EXPECT_EQ(answer(c), "0 1 36");
    EXPECT_EQ(App_isContentsEditing(inst), 0);
    EXPECT_EQ(App_isModified(inst), 1);
    // A cancelled dialog.
    notices.clear();
    ASSERT_EQ(App_postContents(inst, &c.data, 1), 1);
    onAppThread([] {});
    EXPECT_EQ(noticeText(), "0 46 1");
}

TEST_F(EditModeTest, SizeAndBackgroundAnswers)
{
    setUpText();
    selectWord();
    Contents c = gather();
    // A 1-point size is answered with 2 points and code 40.
    Contents r = c;
    r.data.fontSize = 0x10000;
    EXPECT_EQ(answer(r), "0 40 36");
    EXPECT_EQ((uint64_t(gather().data.fontSize) * 100) >> 16, 200u);
    // Background index 20 of 16 takes the palette's first colour; -1
    // removes the background again.
    r = gather();
    r.data.colourIndex2 = 20;
    EXPECT_EQ(answer(r), "0 36");
    EXPECT_EQ(gather().data.colourIndex2, 0);
    r = gather();
    r.data.colourIndex2 = -1;
    EXPECT_EQ(answer(r), "0 36");
    EXPECT_EQ(gather().data.colourIndex2, -1);
    // A font index out of range is reported and the first font used.
    r = gather();
    r.data.fontIndex = 99;
    EXPECT_EQ(answer(r), "0 39 36");
    EXPECT_EQ(gather().data.fontIndex, 0);
}

TEST_F(EditModeTest, FontListCutsNamesAtTheFirstComma)
{
    ASSERT_EQ(App_setupEditMode(inst), 1);
    onAppThread([&] {
        EditModeRecord *record = viewer()->editMode;
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(FontList_add(record, "Arial,Helvetica,sans-serif"), 0);
        EXPECT_EQ(FontList_add(record, "Arial"), 0);
        EXPECT_EQ(FontList_add(record, "Courier"), 0);
        EXPECT_EQ(FontList_add(record, ",odd"), 0);
        ASSERT_EQ(record->report.fontCount, 3);
        EXPECT_STREQ(record->report.fontNames[0], "Arial");
        EXPECT_EQ(FontList_find(record, "Courier"), 1);
        EXPECT_EQ(FontList_find(record, "Missing"), 0);
        char *full = TextEdit_fontFullName(record, 0);
        EXPECT_STREQ(full, "Arial,Helvetica,sans-serif");
        Mem_free(full);
        full = TextEdit_fontFullName(record, 1);
        EXPECT_STREQ(full, "Courier");
        Mem_free(full);
        full = TextEdit_fontFullName(record, 2);
        EXPECT_STREQ(full, ",odd");
        Mem_free(full);
        EXPECT_EQ(TextEdit_fontFullName(record, 3), nullptr);
        FontList_clear(record);
        EXPECT_EQ(record->report.fontCount, 0);
    });
}

} // namespace

namespace {

// A shown spreadsheet: a grid record of 5 rows and 3 columns with a value
// in B2 and one in the sheet's last row.
TEST_F(EditModeTest, SpreadsheetCellRoundTrip)
{
    ASSERT_EQ(App_setupEditMode(inst), 1);
    onAppThread([&] {
        Edr_Doc *doc = viewer()->page->document;
        doc->typeCode = TextEdit_typeSheet;
        Edr_Doc_setNodeTest(doc, acceptNode);
        SheetGrid *g = gridtest::makeGrid(5, 3, 20000, 50000);
        gridtest::setCells(
            g, {{1, 1, Excel_cellOwnText, u"42"}, {65535, 0, Excel_cellOwnText, u"end"}});
        Excel_Palette_setDefault(&book.palette);
        book.palette.entries[55][3] = 0x80;
        g->workbook = &book;
        grid = g;
        ASSERT_EQ(Edr_Node_createRecordRef(doc, Edr_Doc_root(doc), Edr_Insert_lastChild, nullptr, g,
                                           Excel_gridRecordFree),
                  0);
        TextEdit_onAppEvent(viewer()->editMode, 1, 17, viewer());
        // The workbook palette, each entry as 0xRRGGBBAA.
        ASSERT_EQ(viewer()->editMode->report.paletteCount, 56);
        EXPECT_EQ(viewer()->editMode->report.palette[0], 0x000000FFu);
        EXPECT_EQ(viewer()->editMode->report.palette[2], 0xFF0000FFu);
        EXPECT_EQ(viewer()->editMode->report.palette[55], 0x33333380u);
        EXPECT_EQ(viewer()->editMode->report.defaults[3], 1u);
    });
    EXPECT_EQ(codesOf([&] { return App_postNamedValue(inst, "b2", 1); }), "22");
    EXPECT_EQ(codesOf([&] { return App_postNamedValue(inst, "D1", 1); }), "24");
    EXPECT_EQ(codesOf([&] { return App_postNamedValue(inst, "A6", 1); }), "24");
    EXPECT_EQ(codesOf([&] { return App_postNamedValue(inst, "AAA1", 1); }), "25");
    Contents c = gather();
    EXPECT_EQ(c.data.kind, 4065u);
    EXPECT_EQ(c.ref, "B2");
    EXPECT_EQ(c.text, "42");
    EXPECT_EQ(c.data.rowHeight, 20000u);
    EXPECT_EQ(c.data.columnWidth, 50000u);
    EXPECT_EQ(c.data.fontSize, 10u << 16);
    EXPECT_EQ(App_isContentsEditing(inst), 1);
    // Validation answers without applying: size 200 is refused with 40.
    EditData answer = c.data;
    answer.cellRef = nullptr;
    answer.formatString = const_cast<char *>("General");
    answer.fontSize = 200u << 16;
    EXPECT_EQ(codesOf([&] { return App_postContents(inst, &answer, 1); }), "0 40 1");
    answer.fontSize = 12u << 16;
    // The number format reaches the handler with the rest of the record.
    EXPECT_EQ(codesOf([&] { return App_postContents(inst, &answer, 1); }), "0 37 1");
    answer.formatString = nullptr;
    EXPECT_EQ(codesOf([&] { return App_postContents(inst, &answer, 1); }), "0 41 1");
    onAppThread([&] { viewer()->editMode->contentsEditing = 0; });
    // Arrows move the current cell inside the sheet.
    EXPECT_EQ(codesOf([&] { return App_postValue(inst, 0x10001); }), "");
    EXPECT_EQ(gather().ref, "C2");
    onAppThread([&] { viewer()->editMode->contentsEditing = 0; });
    EXPECT_EQ(codesOf([&] { return App_postValue(inst, 0x10001); }), "");
    EXPECT_EQ(codesOf([&] { return App_postValue(inst, 0x10003); }), "");
    EXPECT_EQ(gather().ref, "C3");
    onAppThread([&] { viewer()->editMode->contentsEditing = 0; });
    EXPECT_EQ(codesOf([&] { return App_postValue(inst, 0x10009); }), "13");
    // Row 65535 holds a value: inserting a row is refused and nothing changes.
    EXPECT_EQ(codesOf([&] { return App_postValue2(inst, 0x10000); }), "0 29");
    EXPECT_EQ(codesOf([&] { return App_postValue2(inst, 0x10001); }), "0 28");
    EXPECT_EQ(codesOf([&] { return App_postValue3(inst, 0x10000); }), "0 32");
    EXPECT_EQ(App_isModified(inst), 0);
    // Ending the edit removes the frame and leaves edit mode.
    EXPECT_EQ(codesOf([&] { return App_postEditHook1(inst); }), "14");
    EXPECT_EQ(App_isEditMode(inst), 0);
    onAppThread(
        [&] { grid->workbook = nullptr; }); // the fake workbook stays out of the grid's teardown
}

} // namespace

// Stopping the engine: refused with code 45 while the record holds
// unsaved changes, allowed once they are saved or cleared.
TEST_F(EditModeTest, StoppingIsRefusedWhileChangesAreUnsaved)
{
    setUpText();
    notices.clear();
    onAppThread([&] { viewer()->editMode->modified = 1; });
    onAppThread([&] { EXPECT_EQ(TextEdit_stopHook(inst), 0); });
    EXPECT_EQ(Engine_canStop(inst, 0), 0);
    EXPECT_EQ(noticeText(), "45 45");
    notices.clear();
    onAppThread([&] { viewer()->editMode->modified = 0; });
    onAppThread([&] { EXPECT_EQ(TextEdit_stopHook(inst), 1); });
    EXPECT_EQ(noticeText(), "");
    // A second set-up after the teardown does not add the hook again: one
    // refusal sends one code.
    onAppThread([&] { TextEdit_teardown(inst); });
    setUpText();
    onAppThread([&] { viewer()->editMode->modified = 1; });
    notices.clear();
    EXPECT_EQ(Engine_canStop(inst, 0), 0);
    EXPECT_EQ(noticeText(), "45");
    onAppThread([&] { viewer()->editMode->modified = 0; });
}

// Asked whether it holds unsaved work, the engine answers 45 while edit
// mode is set up and 1 (done) without it.
TEST_F(EditModeTest, TheUnsavedQuestionFollowsTheEditRecord)
{
    notices.clear();
    onAppThread([&] { App_reportUnsaved(inst); });
    EXPECT_EQ(noticeText(), "1");
    setUpText();
    notices.clear();
    onAppThread([&] { App_reportUnsaved(inst); });
    EXPECT_EQ(noticeText(), "45");
}

// The cursor's hook: kind 1 selects at its point with the
// "EditCursorMode" setting as the selection code; other kinds do nothing.
TEST_F(EditModeTest, TheCursorHookSelectsWithTheConfiguredMode)
{
    setUpText();
    notices.clear();
    onAppThread([&] { TextEdit_cursorHook(viewer(), 2, 10, 10); });
    onAppThread([] {});
    EXPECT_EQ(noticeText(), "");
    // An unknown selection code is refused with 7.
    onAppThread([&] {
        EngineContext *context = viewer()->context;
        Config_setIntA(context, context->config, nullptr, "EditCursorMode", 0x10009, 0);
        TextEdit_cursorHook(viewer(), 1, 10, 10);
    });
    onAppThread([] {});
    EXPECT_EQ(noticeText(), "7");
    // The default mode reaches the selection: it answers 4, 5 or 8, never 7.
    notices.clear();
    onAppThread([&] {
        EngineContext *context = viewer()->context;
        Config_setIntA(context, context->config, nullptr, "EditCursorMode", 0x10000, 0);
        TextEdit_cursorHook(viewer(), 1, 10, 10);
    });
    onAppThread([] {});
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0], 7);
}

// Events: 14 (relaid out) reports busy-done and shows the caret once the
// page has been displayed, and nothing before; 38 (type known) sends 0 and
// makes the cursor again; a load report (listener code 0, event 5) and the
// codes of another listener change nothing in the record.
TEST_F(EditModeTest, RelayoutAndTypeEventsReport)
{
    setUpText();
    selectWord();
    struct Case {
        int32_t listener, event, pending;
        const char *codes;
    } cases[] = {
        {1, 14, 0, "1"}, {1, 14, 1, ""}, {1, 38, 0, "0"},
        {0, 5, 0, ""},   {2, 17, 0, ""}, {1, 35, 0, ""},
    };
    for (const Case &c : cases) {
        notices.clear();
        onAppThread([&] {
            int32_t kept = viewer()->page->firstDisplayPending;
            viewer()->page->firstDisplayPending = c.pending;
            TextEdit_onAppEvent(viewer()->editMode, c.listener, c.event, viewer());
            viewer()->page->firstDisplayPending = kept;
        });
        onAppThread([] {});
        EXPECT_EQ(noticeText(), c.codes) << c.listener << " " << c.event << " " << c.pending;
        onAppThread([&] { EXPECT_NE(viewer()->editMode, nullptr); });
    }
}
