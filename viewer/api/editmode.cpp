// The host's editing entry points: each copies its arguments and posts a
// deferred call; on the application thread the call checks the viewer's
// edit-mode record and runs the handler the document kind installed, or
// tells the host why it cannot by a notification code (request 0x10016).
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/cstr.h"
#include "document/edit/editdata.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/editing.h"
#include "viewer/api/textedit.h"
#include "viewer/fvdisplay.h"
#include "viewer/viewer.h"

namespace {

// The words a posted call carries: {argument words, text} (the text owned).
struct EditCall {
    intptr_t words[3];
    char *text;
    EditData *record;
};

EditModeRecord *recordOf(EngineInstance *instance)
{
    FvViewer *viewer = Fv_fromApp(instance);
    return viewer ? viewer->editMode : nullptr;
}

void notify(EngineInstance *instance, int32_t code)
{
    App_notifyHost(Fv_fromApp(instance), code);
}

void freeRecordCopy(EditData *record)
{
    if (!record)
        return;
    Mem_free(record->cellRef);
    Mem_free(record->text);
    Mem_free(record->formatString);
    Mem_free(record);
}

void freeCall(EditCall *call)
{
    if (!call)
        return;
    Mem_free(call->text);
    freeRecordCopy(call->record);
    Mem_free(call);
}

EditCall *newCall(intptr_t a, intptr_t b, intptr_t c)
{
    EditCall *call = static_cast<EditCall *>(Mem_calloc(1, sizeof(EditCall)));
    if (call) {
        call->words[0] = a;
        call->words[1] = b;
        call->words[2] = c;
    }
    return call;
}

void discardCall(void *block)
{
    freeCall(reinterpret_cast<EditCall *>(static_cast<intptr_t *>(block)[3]));
}

// A discarded call that sent code 0 first: code 1 closes the bracket.
void discardBusyCall(void *block)
{
    discardCall(block);
    notify(reinterpret_cast<EngineInstance *>(static_cast<intptr_t *>(block)[1]), App_noticeDone);
}

// Posts routine with call (freed when the post is refused). 1 when posted.
int post(EngineInstance *instance, AppCallFn routine, EditCall *call, bool busy)
{
    if (!Fv_fromApp(instance)) {
        freeCall(call);
        return 0;
    }
    if (busy)
        notify(instance, App_noticeBusy);
    return App_postCallHeld(instance, routine, call, busy ? discardBusyCall : discardCall) == 0 ? 1
                                                                                                : 0;
}

// The document and page the current page record shows.
Edr_Doc *currentDocument(EngineInstance *instance)
{
    FvViewer *viewer = Fv_fromApp(instance);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!viewer || !viewer->page || !viewer->page->pageView ||
        !Edr_Fwd_findSubdocPage(viewer->page->pageView, &doc, &index))
        return nullptr;
    return doc;
}

// ---------------------------------------------------- the posted calls

void runEditCall(EngineInstance *instance, void *argument)
{
    EditCall *call = static_cast<EditCall *>(argument);
    EditModeRecord *record = recordOf(instance);
    if (!record)
        notify(instance, App_noticeNoRecord);
    else if (record->contentsEditing)
        notify(instance, App_noticeContentsOpen);
    else if (!record->report.editable)
        notify(instance, App_noticeNotEditable);
    else if (!record->handlers.editCall)
        notify(instance, App_noticeNoHandler);
    else
        record->handlers.editCall(instance, call->words);
    freeCall(call);
}

void runHook1(EngineInstance *instance, void *argument)
{
    freeCall(static_cast<EditCall *>(argument));
    EditModeRecord *record = recordOf(instance);
    if (!record)
        notify(instance, App_noticeNoRecord);
    else if (!record->editMode)
        notify(instance, App_noticeNotEditing1);
    else if (!record->handlers.hook1)
        notify(instance, App_noticeNoHandler);
    else
        record->handlers.hook1(instance);
}

void runHook3(EngineInstance *instance, void *argument)
{
    freeCall(static_cast<EditCall *>(argument));
    EditModeRecord *record = recordOf(instance);
    if (!record)
        notify(instance, App_noticeNoRecord);
    else if (!record->editMode)
        notify(instance, App_noticeNotEditing3);
    else if (!record->handlers.hook3)
        notify(instance, App_noticeNoHandler);
    else
        record->handlers.hook3(instance);
}

void runValue(EngineInstance *instance, void *argument)
{
    EditCall *call = static_cast<EditCall *>(argument);
    EditModeRecord *record = recordOf(instance);
    if (!record)
        notify(instance, App_noticeNoRecord);
    else if (record->contentsEditing)
        notify(instance, App_noticeValueWhileContents);
    else if (!record->handlers.hook2)
        notify(instance, App_noticeNoHandler);
    else
        record->handlers.hook2(instance, call->words[0]);
    freeCall(call);
}

void runNamedValue(EngineInstance *instance, void *argument)
{
    EditCall *call = static_cast<EditCall *>(argument);
    EditModeRecord *record = recordOf(instance);
    if (!record)
        notify(instance, App_noticeNoRecord);
    else if (record->contentsEditing)
        notify(instance, App_noticeNamedWhileContents);
    else if (!record->handlers.valueHook)
        notify(instance, App_noticeNoHandler);
    else
        record->handlers.valueHook(instance, call->text, call->words[0]);
    freeCall(call);
}

void runValue2(EngineInstance *instance, void *argument)
{
    EditCall *call = static_cast<EditCall *>(argument);
    EditModeRecord *record = recordOf(instance);
    if (!record)
        notify(instance, App_noticeNoRecord);
    else if (!record->handlers.value2)
        notify(instance, App_noticeNoHandler);
    else
        record->handlers.value2(instance, call->words[0]);
    freeCall(call);
}

void runValue3(EngineInstance *instance, void *argument)
{
    EditCall *call = static_cast<EditCall *>(argument);
    EditModeRecord *record = recordOf(instance);
    if (!record)
        notify(instance, App_noticeNoRecord);
    else if (!record->handlers.value3)
        notify(instance, App_noticeNoHandler);
    else
        record->handlers.value3(instance, call->words[0]);
    freeCall(call);
}

void runContents(EngineInstance *instance, void *argument)
{
    EditCall *call = static_cast<EditCall *>(argument);
    EditModeRecord *record = recordOf(instance);
    intptr_t mode = call->words[0];
    int32_t failed = 0;
    if (!record)
        failed = App_noticeNoRecord;
    else if (!record->editMode)
        failed = App_noticeContentsNotEditing;
    else if (!record->handlers.contents)
        failed = App_noticeNoRecord;
    else if (!record->report.editable)
        failed = App_noticeNotEditable;
    if (failed) {
        notify(instance, failed);
        notify(instance, App_noticeDone);
    } else {
        record->handlers.contents(instance, call->record, mode);
        if (mode == 1)
            notify(instance, App_noticeDone);
    }
    freeCall(call);
}

void runToggleContents(EngineInstance *instance, void *argument)
{
    freeCall(static_cast<EditCall *>(argument));
    EditModeRecord *record = recordOf(instance);
    if (!record) {
        notify(instance, App_noticeNoRecord);
        return;
    }
    record->contentsEditing = !record->contentsEditing;
    notify(instance, record->contentsEditing ? App_noticeContentsOn : App_noticeContentsOff);
}

void runClearModified(EngineInstance *instance, void *argument)
{
    freeCall(static_cast<EditCall *>(argument));
    EditModeRecord *record = recordOf(instance);
    if (!record) {
        notify(instance, App_noticeNoRecord);
        return;
    }
    record->modified = 0;
    notify(instance, App_noticeModifiedCleared);
}

void runSetup(EngineInstance *instance, void *argument)
{
    freeCall(static_cast<EditCall *>(argument));
    TextEdit_setup(instance);
}

} // namespace

// ------------------------------------------------------- entry points

int App_setupEditMode(EngineInstance *instance)
{
    return post(instance, runSetup, nullptr, false);
}

// The host asks these on every pointer release and hold: the hold's
// secondary action is offered while the shown document kind has installed
// its edit call (a document that can be selected in), and a tap's primary
// action is held back while an edit is in progress (a selection or a
// current cell is active).
int App_viewActionsEnabled(EngineInstance *instance)
{
    EditModeRecord *record = recordOf(instance);
    return record && record->handlers.editCall ? 1 : 0;
}

int App_viewEditActive(EngineInstance *instance)
{
    EditModeRecord *record = recordOf(instance);
    return record && record->editMode ? 1 : 0;
}

int App_isEditMode(EngineInstance *instance)
{
    EditModeRecord *record = recordOf(instance);
    return record ? int(record->editMode) : 0;
}

int App_isContentsEditing(EngineInstance *instance)
{
    EditModeRecord *record = recordOf(instance);
    return record ? int(record->contentsEditing) : 0;
}

int App_isModified(EngineInstance *instance)
{
    EditModeRecord *record = recordOf(instance);
    return record ? int(record->modified) : 0;
}

int App_clearModified(EngineInstance *instance)
{
    return post(instance, runClearModified, nullptr, false);
}

int App_postEditCall(EngineInstance *instance, intptr_t x, intptr_t y, intptr_t code)
{
    EditCall *call = newCall(x, y, code);
    return call ? post(instance, runEditCall, call, false) : 0;
}

int App_postEditHook1(EngineInstance *instance)
{
    return post(instance, runHook1, nullptr, false);
}

int App_postEditHook3(EngineInstance *instance)
{
    return post(instance, runHook3, nullptr, false);
}

int App_postValue(EngineInstance *instance, intptr_t value)
{
    EditCall *call = newCall(value, 0, 0);
    return call ? post(instance, runValue, call, false) : 0;
}

int App_postNamedValue(EngineInstance *instance, const char *text, intptr_t value)
{
    EditCall *call = newCall(value, 0, 0);
    if (call && text && !(call->text = Cstr_dup(text))) {
        freeCall(call);
        return 0;
    }
    return call ? post(instance, runNamedValue, call, false) : 0;
}

int App_postValue2(EngineInstance *instance, intptr_t value)
{
    EditCall *call = newCall(value, 0, 0);
    return call ? post(instance, runValue2, call, true) : 0;
}

int App_postValue3(EngineInstance *instance, intptr_t value)
{
    EditCall *call = newCall(value, 0, 0);
    return call ? post(instance, runValue3, call, true) : 0;
}

int App_postContents(EngineInstance *instance, const EditData *record, intptr_t mode)
{
    if (!record)
        return 0;
    EditCall *call = newCall(mode, 0, 0);
    if (!call)
        return 0;
    call->record = static_cast<EditData *>(Mem_malloc(sizeof(EditData)));
    if (!call->record) {
        freeCall(call);
        return 0;
    }
    *call->record = *record;
    call->record->cellRef = nullptr;
    call->record->text = nullptr;
    call->record->formatString = nullptr;
    // A cell's record carries its number format as well.
    if ((record->cellRef && !(call->record->cellRef = Cstr_dup(record->cellRef))) ||
        (record->text && !(call->record->text = Cstr_dup(record->text))) ||
        (record->formatString && !(call->record->formatString = Cstr_dup(record->formatString)))) {
        freeCall(call);
        return 0;
    }
    return post(instance, runContents, call, true);
}

int App_postToggleContents(EngineInstance *instance)
{
    return post(instance, runToggleContents, nullptr, false);
}

// ------------------------------------------- the operations of the text

void App_deleteSelection(EngineInstance *instance, intptr_t value)
{
    Edr_Doc *doc = currentDocument(instance);
    if (!doc || value != 0x10000) {
        notify(instance, App_noticeNoDelete);
        return;
    }
    if (Edr_Sel_deleteText(doc) != Res_ok) {
        notify(instance, App_noticeDeleteFailed);
        return;
    }
    if (EditModeRecord *record = recordOf(instance))
        record->modified = 1;
    notify(instance, App_noticeDeleted);
}

void App_clearSelection(EngineInstance *instance)
{
    EditModeRecord *record = recordOf(instance);
    if (record) {
        record->editMode = 0;
        record->contentsEditing = 0;
    }
    Edr_Doc *doc = currentDocument(instance);
    if (!doc) {
        notify(instance, App_noticeNotCleared);
        return;
    }
    Edr_Sel_clear(doc);
    notify(instance, App_noticeCleared);
}

void App_openContentsEditor(EngineInstance *instance)
{
    EditModeRecord *record = recordOf(instance);
    EditData data{};
    int32_t code = App_noticeNothingSelected;
    if (!record || !TextEdit_gather(instance, &data, &code)) {
        notify(instance, code);
        return;
    }
    record->contentsEditing = 1;
    App_sendRequest(instance, App_requestContents, &data);
    Mem_free(data.text);
}

void App_reportUnsaved(EngineInstance *instance)
{
    EditModeRecord *record = recordOf(instance);
    notify(instance, record ? int32_t(App_noticeUnsaved) : int32_t(App_noticeDone));
}
