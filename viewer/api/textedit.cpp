// Edit mode for flowing text: the edit-mode record, the font list and the
// palette that the host's dialog indexes, and the round trip of the
// selected text through the host's contents dialog.
//
// The selection's text and formats go out as an EditData record of kind
// 92; the record the dialog returns replaces the text, and the formats it
// changed are written into the selection's rule. Values outside their
// ranges are clamped (font size, code 40) or replaced (font index, code
// 39) while the rest is applied.
#include "viewer/api/textedit.h"

#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/geom/geom.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "document/edit/editdata.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/page.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/editing.h"
#include "viewer/api/forward.h"
#include "platform/api/request.h"
#include "spreadsheet/docside.h"
#include "viewer/anim/anim.h"
#include "viewer/fvdisplay.h"
#include "viewer/screen/cursor.h"
#include "viewer/search/search.h"
#include "viewer/navigate.h"
#include "viewer/viewer.h"
#include "viewer/zoompan.h"

namespace {

constexpr uint32_t textPalette[16] = {
    0x000000FF, 0x0000FFFF, 0x00FFFFFF, 0x00FF00FF, 0xFF00FFFF, 0xFF0000FF, 0xFFFF00FF, 0xFFFFFFFF,
    0x000080FF, 0x008080FF, 0x008000FF, 0x800080FF, 0x800000FF, 0x808000FF, 0x808080FF, 0xC0C0C0FF,
};
constexpr uint32_t textDefaults[6] = {255, 0, 0, 0, 1, 0};
const char *const defaultFonts[3] = {"Arial", "Times New Roman", "Courier New"};

// Property ids and keywords of the formats exchanged with the dialog.
constexpr uint32_t propBackground = 2;
constexpr uint32_t propColour = 29;
constexpr uint32_t propFontFamily = 37;
constexpr uint32_t propFontSize = 38;
constexpr uint32_t propFontStyle = 41;
constexpr uint32_t propFontWeight = 43;
constexpr uint32_t propStrike = 80;
constexpr uint32_t propUnderline = 95;
constexpr uint32_t keyItalic = 79;
constexpr uint32_t keyBold = 40;
constexpr uint32_t keyBolder = 28;
constexpr uint32_t keyBoldAlt = 29;
constexpr uint32_t keyStrike = 88;
constexpr uint32_t keyUnderline = 129;
constexpr uint32_t keyUnderline2 = 60;
constexpr uint32_t keyAlignLeft = 45;
constexpr uint32_t keyAlignRight = 117;
constexpr uint32_t keyAlignCentre = 86;

constexpr uint32_t sizeMin = 0x20000, sizeMax = 0x900000;

FvViewer *viewerOf(EngineInstance *instance)
{
    return Fv_fromApp(instance);
}

EditModeRecord *recordOf(EngineInstance *instance)
{
    FvViewer *viewer = viewerOf(instance);
    return viewer ? viewer->editMode : nullptr;
}

void notify(EngineInstance *instance, int32_t code)
{
    App_notifyHost(viewerOf(instance), code);
}

bool findDocument(FvViewer *viewer, Edr_Doc **doc, int32_t *index)
{
    *doc = nullptr;
    *index = -1;
    return viewer && viewer->page && viewer->page->pageView &&
           Edr_Fwd_findSubdocPage(viewer->page->pageView, doc, index) && *doc;
}

// A colour property as 0xRRGGBBAA (its bytes read big-endian).
uint32_t colourWord(uintptr_t payload)
{
    uint32_t rgba = uint32_t(payload); // bytes R, G, B, A from the lowest
    return ((rgba & 0xFF) << 24) | (((rgba >> 8) & 0xFF) << 16) | (((rgba >> 16) & 0xFF) << 8) |
           (rgba >> 24);
}

void colourBytes(uint32_t word, uint8_t rgba[4])
{
    rgba[0] = uint8_t(word >> 24);
    rgba[1] = uint8_t(word >> 16);
    rgba[2] = uint8_t(word >> 8);
    rgba[3] = uint8_t(word);
}

uint32_t alignmentWord(uint32_t keyword)
{
    return keyword == keyAlignLeft ? 0x10000 : keyword == keyAlignRight ? 0x10002 : 0x10001;
}

uint32_t alignmentKeyword(uint32_t word)
{
    return word == 0x10000 ? keyAlignLeft : word == 0x10002 ? keyAlignRight : keyAlignCentre;
}

void freePalette(EditModeRecord *record)
{
    Mem_free(record->report.palette);
    record->report.palette = nullptr;
    record->report.paletteCount = 0;
}

// Sets or removes property id in rule: keyword (0: removed).
int setKeyword(StyleRule *rule, uint32_t id, uint32_t keyword)
{
    if (!keyword) {
        int removed = 0;
        return StyleRule_removeProp(rule, id, &removed);
    }
    Prop value{};
    Prop_setType(&value, id, uint16_t(keyword));
    int changed = 0;
    return StyleRule_setProp(rule, &value, &changed);
}

int setColour(StyleRule *rule, uint32_t id, uint32_t word)
{
    uint8_t rgba[4];
    colourBytes(word, rgba);
    Prop value{};
    Prop_setColour(&value, id, rgba);
    int changed = 0;
    return StyleRule_setProp(rule, &value, &changed);
}

// The formats R changed against C, into the selection's rule.
int applyFormats(EngineInstance *instance, EditModeRecord *record, Edr_Doc *doc, const EditData *c,
                 const EditData *r)
{
    StyleRule *rule = nullptr;
    int err = Edr_Sel_getRule(doc, &rule);
    if (err == Res_ok && !rule)
        err = StyleRule_create(&rule);
    if (err != Res_ok)
        return err;
    if (r->styleFlags != c->styleFlags) {
        uint32_t f = r->styleFlags;
        err = setKeyword(rule, propFontStyle, (f & 2) ? keyItalic : 0);
        if (err == Res_ok)
            err = setKeyword(rule, propFontWeight, (f & 1) ? keyBold : 0);
        if (err == Res_ok)
            err = setKeyword(rule, propStrike, (f & 16) ? keyStrike : 0);
        if (err == Res_ok)
            err = setKeyword(rule, propUnderline,
                             (f & 8)   ? keyUnderline2
                             : (f & 4) ? keyUnderline
                                       : 0);
    }
    if (err == Res_ok && r->fontSize != c->fontSize) {
        uint32_t size = r->fontSize;
        if (size < sizeMin || size > sizeMax) {
            size = size < sizeMin ? sizeMin : sizeMax;
            notify(instance, App_noticeSizeClamped);
        }
        Prop value{};
        Prop_setLength(&value, propFontSize, int32_t(size / 72));
        int changed = 0;
        err = StyleRule_setProp(rule, &value, &changed);
    }
    if (err == Res_ok && r->colourIndex != c->colourIndex)
        err = setColour(rule, propColour, r->colourIndex);
    if (err == Res_ok && r->colourIndex2 != c->colourIndex2) {
        if (r->colourIndex2 == -1) {
            int removed = 0;
            err = StyleRule_removeProp(rule, propBackground, &removed);
        } else if (record->report.paletteCount > 0) {
            int32_t i = r->colourIndex2 >= 0 && r->colourIndex2 < record->report.paletteCount
                            ? r->colourIndex2
                            : 0;
            err = setColour(rule, propBackground, record->report.palette[i]);
        }
    }
    if (err == Res_ok && r->fontIndex != c->fontIndex) {
        int32_t i = r->fontIndex;
        if (i < 0 || i >= record->report.fontCount) {
            notify(instance, App_noticeBadFont);
            i = 0;
        }
        char *full = TextEdit_fontFullName(record, i);
        char16_t *name = nullptr;
        err = full ? Charset_toUstr(nullptr, full, &name, CharsetCode_utf8) : int(Res_noMemory);
        Mem_free(full);
        if (err == Res_ok) {
            Prop value{};
            Prop_setUstr(&value, propFontFamily, name, uint32_t(Ustr_len(name)));
            int changed = 0;
            err = StyleRule_setProp(rule, &value, &changed);
        }
        Mem_free(name);
    }
    if (err == Res_ok && r->hAlign != c->hAlign)
        err = Edr_Sel_setAlignment(doc, alignmentKeyword(r->hAlign));
    if (err == Res_ok) {
        err = Edr_Sel_applyRule(doc, rule);
        rule = nullptr; // taken over
    }
    StyleRule_destroy(rule);
    return err;
}

// The viewer's events for the edit-mode record: document events (kind 1)
// and load reports (kind 0).
void editListener(EngineContext *, EventProcMsg *msg, void *context, int *)
{
    FvViewer *viewer = static_cast<FvViewer *>(context);
    if (!viewer || !viewer->editMode || !msg || !msg->payload)
        return;
    if (msg->kind == EventProc_kindCode)
        TextEdit_onAppEvent(viewer->editMode, 1,
                            static_cast<const EventProcCodeMsg *>(msg->payload)->code, viewer);
    else if (msg->kind == EventProc_kindReport)
        TextEdit_onAppEvent(viewer->editMode, 0,
                            static_cast<const EventProcDocMsg *>(msg->payload)->code, viewer);
}

void textEditReleaseCursor(EngineInstance *instance, void *)
{
    if (FvViewer *viewer = viewerOf(instance))
        Cursor_destroy(viewer);
}

void textEditRecreateCursor(EngineInstance *instance, void *)
{
    FvViewer *viewer = viewerOf(instance);
    if (viewer && viewer->editMode)
        (void)Overlay_createCursor(viewer, TextEdit_cursorHook);
}

void textEditShowCaretCall(EngineInstance *instance, void *)
{
    TextEdit_showCaret(instance);
}

// Whether the stop hook is already on the instance's list (a second
// set-up after a teardown must not add it again).
bool textEditStopHooked(EngineInstance *instance)
{
    AppQueueRecord *q = instance ? instance->queue : nullptr;
    for (AppStopHook *h = q ? q->stopHooks : nullptr; h; h = h->next)
        if (h->function == TextEdit_stopHook)
            return true;
    return false;
}

void textEditDropListeners(FvViewer *viewer)
{
    // A listener that is already gone needs no removing; teardown goes on.
    (void)App_removeListener(viewer, EventProc_kindCode, editListener, viewer);
    (void)App_removeListener(viewer, EventProc_kindReport, editListener, viewer);
}

} // namespace

// ------------------------------------------------------------ the record

void TextEdit_resetRecord(EngineContext *context, EditModeRecord *record)
{
    FontList_clear(record);
    freePalette(record);
    memset(record, 0, sizeof *record);
    ConfigStore *store = context ? context->config : nullptr;
    record->fillColour =
        Config_getIntA(context, store, nullptr, "Vexlan_SelectionFillColour", 0xFFFF0060);
    record->borderColour =
        Config_getIntA(context, store, nullptr, "Vexlan_SelectionBorderColour", 0xFF0000FF);
    record->borderWidth =
        Config_getIntA(context, store, nullptr, "Vexlan_SelectionBorderWidth", 655);
    record->glyphPage = -1;
}

void TextEdit_setup(EngineInstance *instance)
{
    FvViewer *viewer = viewerOf(instance);
    if (!viewer || !Excel_View_attach(viewer)) {
        notify(instance, App_noticeSetupFailed);
        return;
    }
    if (!viewer->editMode) {
        EditModeRecord *record =
            static_cast<EditModeRecord *>(Mem_calloc(1, sizeof(EditModeRecord)));
        if (!record ||
            App_addListener(viewer, EventProc_kindCode, editListener, viewer) != Res_ok) {
            Mem_free(record);
            notify(instance, App_noticeSetupFailed);
            return;
        }
        if (App_addListener(viewer, EventProc_kindReport, editListener, viewer) != Res_ok ||
            App_pushCleanup(viewer, TextEdit_teardown) != Res_ok ||
            (!textEditStopHooked(instance) &&
             App_addStopHook(instance, TextEdit_stopHook) != Res_ok)) {
            textEditDropListeners(viewer);
            Mem_free(record);
            notify(instance, App_noticeSetupFailed);
            return;
        }
        TextEdit_resetRecord(viewer->context, record);
        viewer->editMode = record;
        // The on-screen cursor reports the point to select at through its
        // hook; its pictures come from the built-in file table.
        (void)Fv_registerBuiltinImages(viewer->context);
        if (Overlay_createCursor(viewer, TextEdit_cursorHook) != 0) {
            TextEdit_teardown(instance);
            notify(instance, App_noticeSetupFailed);
            return;
        }
        FvPage *page = viewer->page;
        if (page && page->document && page->firstDisplayPending && page->pageView)
            notify(instance, App_noticeBusy);
    }
    notify(instance, App_noticeSetupDone);
}

int TextEdit_stopHook(EngineInstance *instance)
{
    EditModeRecord *record = recordOf(instance);
    if (record && record->modified) {
        notify(instance, App_noticeUnsaved);
        return 0;
    }
    return 1;
}

void TextEdit_cursorHook(FvViewer *viewer, int32_t kind, int32_t x, int32_t y)
{
    if (kind != 1 || !viewer || !viewer->context)
        return;
    EngineContext *context = viewer->context;
    intptr_t mode =
        intptr_t(Config_getIntA(context, context->config, nullptr, "EditCursorMode", 0x10000));
    (void)App_postEditCall(context->instance, x, y, mode);
}

void TextEdit_teardown(EngineInstance *instance)
{
    FvViewer *viewer = viewerOf(instance);
    if (!viewer || !viewer->editMode)
        return;
    textEditDropListeners(viewer);
    Cursor_destroy(viewer);
    FontList_clear(viewer->editMode);
    freePalette(viewer->editMode);
    Mem_free(viewer->editMode);
    viewer->editMode = nullptr;
}

void TextEdit_onAppEvent(EditModeRecord *record, int32_t listenerCode, int32_t event,
                         FvViewer *viewer)
{
    if (!record || !viewer || (listenerCode != 0 && listenerCode != 1))
        return;
    EngineInstance *instance = viewer->context ? viewer->context->instance : nullptr;
    if (listenerCode == 0) {
        // A load report: the cursor goes until the next document shows.
        if (event == 5)
            (void)App_postCall(instance, textEditReleaseCursor, nullptr, nullptr);
        return;
    }
    if (event == 14) {
        // Relaid out: once the page has been displayed the caret is shown
        // again where the new layout put it.
        if (viewer->page && !viewer->page->firstDisplayPending) {
            notify(instance, App_noticeDone);
            (void)App_postCall(instance, textEditShowCaretCall, nullptr, nullptr);
        }
        return;
    }
    if (event == 38) {
        // The document's type became known: the cursor is made again for it.
        notify(instance, App_noticeBusy);
        (void)App_postCall(instance, textEditRecreateCursor, nullptr, nullptr);
        return;
    }
    if (event == 3) {
        TextEdit_resetRecord(viewer->context, record);
        return;
    }
    if (event == 16) {
        notify(instance, App_noticeDone);
        return;
    }
    if (event != 17)
        return;
    // The first page of another load than the one reported on: the record
    // (handlers, font list, editability) belongs to the document that was
    // shown before, so it starts afresh and the new document is reported.
    if (record->checked && viewer->page && record->checkedLoad != viewer->page->loadSerial)
        TextEdit_resetRecord(viewer->context, record);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    uint32_t type = findDocument(viewer, &doc, &index) ? Edr_Doc_getTypeCodeLocked(doc) : 0;
    FontList_clear(record);
    for (const char *name : defaultFonts)
        (void)FontList_add(record, name);
    if (type == TextEdit_typeText) {
        TextEdit_collectFonts(viewer, record);
        record->handlers = EditHandlers{};
        record->handlers.editCall = TextEdit_selectAtPoint;
        record->handlers.hook1 = App_clearSelection;
        record->handlers.hook3 = App_openContentsEditor;
        record->handlers.value3 = App_deleteSelection;
        record->handlers.contents = TextEdit_apply;
        memcpy(record->report.defaults, textDefaults, sizeof textDefaults);
        freePalette(record);
        record->report.palette = static_cast<uint32_t *>(Mem_malloc(sizeof textPalette));
        if (record->report.palette) {
            memcpy(record->report.palette, textPalette, sizeof textPalette);
            record->report.paletteCount = 16;
        }
    } else if ((type == TextEdit_typeWeb || type == TextEdit_typePlain) &&
               Edr_Doc_hasNodeTest(doc)) {
        // Selecting and reading out only: no contents hook and no delete,
        // so the text stays as loaded.
        record->handlers = EditHandlers{};
        record->handlers.editCall = TextEdit_selectAtPoint;
        record->handlers.hook1 = App_clearSelection;
        record->handlers.hook3 = App_openContentsEditor;
    } else if (type == TextEdit_typePdf && Edr_Doc_hasNodeTest(doc)) {
        record->handlers = EditHandlers{};
        record->handlers.editCall = TextEdit_glyphSelectAtPoint;
        record->handlers.hook1 = TextEdit_glyphClear;
        record->handlers.hook3 = TextEdit_glyphReadOut;
    } else if (type == TextEdit_typeSheet) {
        Excel_Doc_fontList(viewer, record);
        Excel_View_installHandlers(viewer, record);
        Excel_Edit_init(viewer, record);
    }
    TextEdit_checkEditable(instance);
    notify(instance, App_noticeDone);
}

void TextEdit_checkEditable(EngineInstance *instance)
{
    FvViewer *viewer = viewerOf(instance);
    EditModeRecord *record = recordOf(instance);
    if (!record || record->checked)
        return;
    record->report.editable = 0;
    record->report.savable = 0;
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    bool found = findDocument(viewer, &doc, &index);
    if (!found && viewer && viewer->page && viewer->page->document) {
        // No current page yet: walk the pages from the first until one shows.
        uint32_t count = 0;
        if (Edr_Page_count(viewer->page->document, &count) == Res_ok)
            for (uint32_t i = 0; i < count && !found; i++) {
                if (Fv_gotoPage(viewer, viewer->page, int32_t(i)) != Res_ok)
                    break;
                found = findDocument(viewer, &doc, &index);
            }
    }
    if (found) {
        record->report.editable = Edr_Doc_hasNodeTest(doc) ? 1 : 0;
        record->report.savable = Edr_Doc_hasCallbackA(doc) ? 1 : 0;
    }
    App_sendRequest(instance, App_requestEditMode, &record->report);
    record->checked = 1;
    record->checkedLoad = viewer && viewer->page ? viewer->page->loadSerial : 0;
}

// --------------------------------------------------------- the selection

void TextEdit_selectAtPoint(EngineInstance *instance, const intptr_t *args)
{
    static constexpr uint32_t modes[8] = {4, 0, 2, 1, 3, 5, 6, 7};
    FvViewer *viewer = viewerOf(instance);
    EditModeRecord *record = recordOf(instance);
    intptr_t code = args[2];
    if (code < 0x10000 || code > 0x10007) {
        notify(instance, App_noticeBadMode);
        return;
    }
    uint32_t mode = modes[code - 0x10000];
    int32_t x = int32_t(args[0]), y = int32_t(args[1]);
    Fv_orientPoint(viewer, &x, &y);
    int r = viewer && viewer->page && viewer->page->pageView
                ? Edr_Fwd_selectAtPoint(viewer->page->pageView, x, y, mode)
                : int(Res_notFound);
    if (r == Res_ok) {
        if (record)
            record->editMode = 1;
        notify(instance, App_noticeSelected);
        return;
    }
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if ((r != Res_dispmanNoNode && r != Res_notSelectable) || !findDocument(viewer, &doc, &index)) {
        notify(instance, App_noticeSelectFailed);
        return;
    }
    if (mode < 7) {
        Edr_Sel_clear(doc);
        if (record)
            record->editMode = 0;
        notify(instance, App_noticeNotSelected);
        return;
    }
    // The point is measured on the page under it: the other pages' runs
    // have coordinates of their own.
    if (Edr_Fwd_extendAtPoint(viewer->page->pageView, x, y)) {
        if (record)
            record->editMode = 1;
        notify(instance, App_noticeSelected);
        return;
    }
    notify(instance, App_noticeNotSelected);
}

void TextEdit_showCaret(EngineInstance *instance)
{
    FvViewer *viewer = viewerOf(instance);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!findDocument(viewer, &doc, &index))
        return;
    Rect rect{};
    int32_t pageKey[2] = {0, 0};
    if (Edr_Sel_caretRect(doc, &rect, pageKey) != Res_ok || rect.x1 <= rect.x0 ||
        rect.y1 <= rect.y0)
        return;
    uint32_t caretPage = 0;
    if (Edr_Page_indexOf(&caretPage, doc, pageKey[0], uint32_t(pageKey[1])) == Res_ok &&
        int32_t(caretPage) != index &&
        Fv_gotoPage(viewer, viewer->page, int32_t(caretPage)) != Res_ok)
        return;
    Fv_showRect(viewer, viewer->page, &rect, 2, 0);
    (void)Edr_Sel_show(doc, 0);
    (void)Edr_Sel_show(doc, 1);
}

// ---------------------------------------------------- gather and apply

uint32_t TextEdit_styleFlags(const Edr_Style *style)
{
    uint32_t flags = 0;
    uint32_t type = 0;
    if (Edr_Style_getValue(style, propFontStyle, &type) == keyItalic)
        flags |= 2;
    uint32_t underline = Edr_Style_getValue(style, propUnderline, &type);
    if (underline == keyUnderline)
        flags |= 4;
    else if (underline == keyUnderline2)
        flags |= 8;
    if (Edr_Style_getValue(style, propStrike, &type) == keyStrike)
        flags |= 16;
    uint32_t weight = Edr_Style_getValue(style, propFontWeight, &type);
    if (weight == keyBolder || weight == keyBoldAlt || weight == keyBold)
        flags |= 1;
    return flags;
}

int TextEdit_gather(EngineInstance *instance, EditData *record, int32_t *code)
{
    *code = App_noticeNothingSelected;
    memset(record, 0, sizeof *record);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!findDocument(viewerOf(instance), &doc, &index))
        return 0;
    if (doc->extraFlags & 1) {
        *code = App_noticeNotEditable;
        return 0;
    }
    record->kind = EditData_kindText;
    record->extra1 = 2000;
    record->extra2 = 1;
    char16_t *text = nullptr;
    uint32_t caret = 0;
    int err = Edr_Sel_getText(doc, &text, &caret);
    if (err == Res_ok && !text)
        return 0; // no selection
    if (err == Res_ok)
        err = Charset_fromUstr(nullptr, text, &record->text, CharsetCode_utf8);
    Mem_free(text);
    record->extra3 = caret;
    if (err == Res_ok)
        err = TextEdit_gatherFormats(instance, record);
    if (err != Res_ok) {
        Mem_free(record->text);
        record->text = nullptr;
        *code = err;
        return 0;
    }
    return 1;
}

int TextEdit_gatherFormats(EngineInstance *instance, EditData *record)
{
    EditModeRecord *edit = recordOf(instance);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!findDocument(viewerOf(instance), &doc, &index))
        return Res_notFound;
    Edr_Style *style = nullptr;
    int err = Edr_Sel_getComputedStyle(doc, &style);
    if (err != Res_ok || !style)
        return err != Res_ok ? err : int(Res_notFound);
    record->styleFlags = TextEdit_styleFlags(style);
    int32_t length = 0;
    record->fontSize = Edr_Style_getLength(style, propFontSize, &length)
                           ? uint32_t(72 * (int64_t(length) + 1))
                           : 0xC0000;
    Edr_StylePayload payload{};
    record->colourIndex = Edr_Style_get(style, propColour, &payload) == PropType_colour
                              ? colourWord(payload.word)
                              : 255;
    if (Edr_Style_get(style, propBackground, &payload) != PropType_colour) {
        record->colourIndex2 = -1;
    } else {
        uint32_t colour = colourWord(payload.word);
        record->colourIndex2 = 0;
        for (int32_t i = 0; edit && i < edit->report.paletteCount; i++)
            if (edit->report.palette[i] == colour) {
                record->colourIndex2 = i;
                break;
            }
    }
    record->fontIndex = 0;
    if (edit && edit->report.fontCount > 0) {
        const char16_t *family =
            reinterpret_cast<const char16_t *>(Edr_Style_getString(style, propFontFamily));
        char *name = nullptr;
        if (family && Charset_fromUstr(nullptr, family, &name, CharsetCode_utf8) == Res_ok) {
            record->fontIndex = FontList_find(edit, name);
            Mem_free(name);
        }
    }
    uint32_t type = 0, value = keyAlignCentre;
    if (Edr_Sel_getAlignment(doc, &type, &value) != Res_ok || !type)
        type = keyAlignCentre;
    record->hAlign = alignmentWord(type);
    Edr_Style_release(style);
    return Res_ok;
}

void TextEdit_apply(EngineInstance *instance, EditData *returned, intptr_t mode)
{
    EditModeRecord *record = recordOf(instance);
    if (mode == 1 || !record || !returned) {
        notify(instance, App_noticeNoHandler);
        return;
    }
    EditData current{};
    int32_t code = 0;
    char16_t *text = nullptr;
    if (!TextEdit_gather(instance, &current, &code)) {
        code = code == App_noticeNothingSelected ? App_noticeApplyFailed : code;
    } else {
        bool unchanged =
            strcmp(returned->text ? returned->text : "", current.text ? current.text : "") == 0 &&
            (uint64_t(returned->fontSize) * 100 >> 16) ==
                (uint64_t(current.fontSize) * 100 >> 16) &&
            returned->styleFlags == current.styleFlags &&
            returned->colourIndex == current.colourIndex &&
            returned->colourIndex2 == current.colourIndex2 &&
            returned->fontIndex == current.fontIndex && returned->hAlign == current.hAlign;
        Edr_Doc *doc = nullptr;
        int32_t index = -1;
        int unchangedFlag = unchanged ? 1 : 0;
        code = App_noticeApplyFailed;
        if (Charset_toUstr(nullptr, returned->text ? returned->text : "", &text,
                           CharsetCode_utf8) == Res_ok &&
            findDocument(viewerOf(instance), &doc, &index) &&
            Edr_Sel_replaceText(doc, text, returned->extra3, &unchangedFlag) == Res_ok) {
            if (!text[0] || unchanged) {
                // Nothing to apply: the values are only checked.
                if (returned->fontSize < sizeMin || returned->fontSize > sizeMax)
                    notify(instance, App_noticeSizeClamped);
                if (returned->fontIndex < 0 || returned->fontIndex >= record->report.fontCount)
                    notify(instance, App_noticeBadFont);
                if (unchanged) {
                    TextEdit_showCaret(instance);
                    notify(instance, App_noticeDone);
                }
                record->modified = 1;
                code = App_noticeApplied;
            } else if (applyFormats(instance, record, doc, &current, returned) == Res_ok) {
                record->modified = 1;
                code = App_noticeApplied;
            }
        }
    }
    Mem_free(text);
    Mem_free(current.text);
    record->contentsEditing = 0;
    notify(instance, code);
}

// -------------------------------------------------------- the font list

int FontList_add(EditModeRecord *record, const char *name)
{
    if (!record || !name)
        return 0;
    const char *comma = strchr(name, ',');
    size_t n = comma ? size_t(comma - name) : strlen(name);
    for (int32_t i = 0; i < record->report.fontCount; i++)
        if (strlen(record->report.fontNames[i]) == n &&
            memcmp(record->report.fontNames[i], name, n) == 0)
            return 0;
    char *cut = Cstr_ndup(name, n);
    char *rest = comma ? Cstr_dup(comma + 1) : nullptr;
    size_t count = size_t(record->report.fontCount) + 1;
    char **names =
        static_cast<char **>(Mem_realloc(record->report.fontNames, count * sizeof(char *)));
    if (names)
        record->report.fontNames = names;
    char **rests =
        names ? static_cast<char **>(Mem_realloc(record->fontRests, count * sizeof(char *)))
              : nullptr;
    if (rests)
        record->fontRests = rests;
    if (!cut || (comma && !rest) || !names || !rests) {
        Mem_free(cut);
        Mem_free(rest);
        return 1;
    }
    record->report.fontNames[count - 1] = cut;
    record->fontRests[count - 1] = rest;
    record->report.fontCount = int32_t(count);
    return 0;
}

int32_t FontList_find(const EditModeRecord *record, const char *name)
{
    for (int32_t i = 0; record && name && i < record->report.fontCount; i++)
        if (strcmp(record->report.fontNames[i], name) == 0)
            return i;
    return 0;
}

void FontList_clear(EditModeRecord *record)
{
    if (!record)
        return;
    for (int32_t i = 0; i < record->report.fontCount; i++) {
        Mem_free(record->report.fontNames[i]);
        if (record->fontRests)
            Mem_free(record->fontRests[i]);
    }
    Mem_free(record->report.fontNames);
    Mem_free(record->fontRests);
    record->report.fontNames = nullptr;
    record->fontRests = nullptr;
    record->report.fontCount = 0;
}

char *TextEdit_fontFullName(const EditModeRecord *record, int32_t index)
{
    if (!record || index < 0 || index >= record->report.fontCount)
        return nullptr;
    const char *name = record->report.fontNames[index];
    const char *rest = record->fontRests ? record->fontRests[index] : nullptr;
    if (!rest)
        return Cstr_dup(name);
    size_t a = strlen(name), b = strlen(rest);
    char *full = static_cast<char *>(Mem_malloc(a + b + 2));
    if (full) {
        memcpy(full, name, a);
        full[a] = ',';
        memcpy(full + a + 1, rest, b + 1);
    }
    return full;
}

void TextEdit_collectFonts(FvViewer *viewer, EditModeRecord *record)
{
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!findDocument(viewer, &doc, &index))
        return;
    Request *request = nullptr;
    if (Edr_Doc_getRequest(doc, nullptr, &request) != Res_ok)
        return;
    while (request) {
        Request_lock(request);
        for (StyleRule *rule = Request_firstItem(request); rule;
             rule = Request_nextItem(request, rule)) {
            StylePropItem *item = StyleRule_findProp(rule, propFontFamily);
            if (!item || Prop_getType(&item->value) != PropType_ustr)
                continue;
            char *name = nullptr;
            if (Charset_fromUstrN(
                    nullptr, reinterpret_cast<const char16_t *>(Prop_getPayload(&item->value)),
                    Prop_getPayload2(&item->value), &name, CharsetCode_utf8) == Res_ok) {
                (void)FontList_add(record, name);
                Mem_free(name);
            }
        }
        Request_unlock(request);
        Request *next = nullptr;
        int r = Edr_Doc_getRequest(doc, request, &next);
        Request_release(request);
        request = r == Res_ok ? next : nullptr;
    }
}

void TextEdit_glyphSelectAtPoint(EngineInstance *instance, const intptr_t *args)
{
    FvViewer *viewer = viewerOf(instance);
    EditModeRecord *record = recordOf(instance);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!record || !findDocument(viewer, &doc, &index)) {
        notify(instance, App_noticeSelectFailed);
        return;
    }
    const bool extend = args[2] == 0x10007;
    int32_t x = int32_t(args[0]), y = int32_t(args[1]);
    Fv_orientPoint(viewer, &x, &y);
    const Point in{x, y};
    Point at{0, 0};
    if (Edr_Fwd_pagePoint(viewer->page->pageView, doc, &in, &at) != Res_ok) {
        // Off the page: a drag keeps what it has, a press selects nothing.
        if (!extend) {
            record->glyphPage = -1;
            record->editMode = 0;
        }
        notify(instance, extend && record->editMode ? App_noticeSelected : App_noticeNotSelected);
        return;
    }
    if (extend && record->glyphPage == index) {
        record->glyphFocus[0] = at.x;
        record->glyphFocus[1] = at.y;
        record->editMode = 1;
        notify(instance, App_noticeSelected);
        return;
    }
    record->glyphPage = index;
    record->glyphAnchor[0] = record->glyphFocus[0] = at.x;
    record->glyphAnchor[1] = record->glyphFocus[1] = at.y;
    record->editMode = 1;
    notify(instance, App_noticeSelected);
}

void TextEdit_glyphReadOut(EngineInstance *instance)
{
    EditModeRecord *record = recordOf(instance);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!record || record->glyphPage < 0 || !findDocument(viewerOf(instance), &doc, &index)) {
        notify(instance, App_noticeNothingSelected);
        return;
    }
    const Point a{record->glyphAnchor[0], record->glyphAnchor[1]};
    const Point b{record->glyphFocus[0], record->glyphFocus[1]};
    char16_t *text = nullptr;
    uint32_t length = 0;
    int err = Search_textBetween(doc, record->glyphPage, &a, &b, &text, &length);
    if (err == Res_ok && !text) {
        notify(instance, App_noticeNothingSelected);
        return;
    }
    EditData data{};
    data.kind = EditData_kindText;
    data.extra1 = 2000;
    data.extra2 = 1;
    if (err == Res_ok)
        err = Charset_fromUstr(nullptr, text, &data.text, CharsetCode_utf8);
    Mem_free(text);
    if (err != Res_ok) {
        notify(instance, err);
        return;
    }
    record->contentsEditing = 1;
    App_sendRequest(instance, App_requestContents, &data);
    Mem_free(data.text);
}

void TextEdit_glyphClear(EngineInstance *instance)
{
    if (EditModeRecord *record = recordOf(instance)) {
        record->glyphPage = -1;
        record->editMode = 0;
        record->contentsEditing = 0;
    }
    notify(instance, App_noticeNotSelected);
}
