// The host's editing, saving and archive-listing entry points.
//
// Each entry point copies its arguments on the GUI thread and posts a
// deferred call to the application thread, which answers through host
// requests: notification codes (0x10016), the edit-mode report (0x10017),
// the contents-edit record (0x17000, document/edit/editdata.h) and the
// listing requests 0x18000 to 0x18003. Each answers 1 when the call was
// posted and 0 otherwise (what it copied is then freed).
//
// The editing entry points are built over the viewer
// (viewer/api/editmode.cpp); the edit-mode record's set-up and the text
// handlers are in viewer/api/textedit.h, the save in viewer/api/saveas.cpp.
#pragma once

#include <cstdint>

struct EngineInstance;
struct EditData;
struct Edr_Doc;
struct FvViewer;
struct VfsHandle;

// Host requests of this interface.
enum : int32_t {
    App_requestNotify = 0x10016,      // {notification code}
    App_requestEditMode = 0x10017,    // EditModeReport
    App_requestContents = 0x17000,    // EditData
    App_requestListFailed = 0x18000,  // no record
    App_requestListOpened = 0x18001,  // ZipListRequest
    App_requestListEntries = 0x18002, // ZipEntryList (the host frees it with ZipList_free)
    App_requestListEnd = 0x18003,     // an empty ZipEntryList (freed the same way)
};

// The record of request 0x10016: the code and, with a failed save (20),
// the engine's result code that made it fail (0 otherwise).
struct EditNotice {
    int32_t code;
    int32_t reason;
};

// Notification codes of request 0x10016 used here: 0 and 1 bracket a
// request (busy before it is posted; done when the post failed or the
// request finished); the outcome of a save.
enum : int32_t {
    App_noticeBusy = 0,
    App_noticeDone = 1,
    App_noticeSaved = 19,
    App_noticeSaveFailed = 20,
    App_noticeSaveDeclined = 21,
};

// Sends request 0x10016 with the code (reason 0). Nothing without a viewer.
void App_notifyHost(FvViewer *viewer, int32_t code);
// The same with the reason of a failed save.
void App_notifySaveOutcome(FvViewer *viewer, int32_t code, int32_t reason);

// The part of the edit-mode record that request 0x10017 reports: the
// record holds it as one field, so the host reads the twelve words in
// place, lent for the request.
struct EditModeReport {
    uint32_t editable;    // the document accepts edits
    uint32_t savable;     // the document can be saved
    uint32_t defaults[6]; // the document kind's values (word 3 non-zero: a spreadsheet)
    int32_t fontCount;
    char **fontNames; // 8-bit names, cut at their first comma
    int32_t paletteCount;
    uint32_t *palette; // 0xRRGGBBAA colours
};

// Edit handlers that a document kind installs in the edit-mode record
// (null: none). args of the edit call: {x, y, code}.
typedef void (*EditCallFn)(EngineInstance *instance, const intptr_t *args);
typedef void (*EditHookFn)(EngineInstance *instance);
typedef void (*EditValueFn)(EngineInstance *instance, intptr_t value);
typedef void (*EditNamedValueFn)(EngineInstance *instance, const char *text, intptr_t value);
typedef void (*EditContentsFn)(EngineInstance *instance, EditData *record, intptr_t mode);

struct EditHandlers {
    EditCallFn editCall;
    EditHookFn hook1; // ends the edit: clears the selection
    EditValueFn hook2;
    EditNamedValueFn valueHook;
    EditValueFn value2;      // insert
    EditValueFn value3;      // delete
    EditHookFn hook3;        // opens the contents editor
    EditContentsFn contents; // applies (mode 0) or checks (mode 1) the host's record
};

// The viewer's edit-mode record (FvViewer::editMode), made by
// TextEdit_setup (viewer/api/textedit.h).
struct EditModeRecord {
    uint32_t modified;        // 1 after a successful change; 0 after a save or App_clearModified
    uint32_t fillColour;      // "Vexlan_SelectionFillColour"
    uint32_t borderColour;    // "Vexlan_SelectionBorderColour"
    uint32_t borderWidth;     // "Vexlan_SelectionBorderWidth"
    EditModeReport report;    // editable, savable, defaults, font list, palette
    char **fontRests;         // per font name the part after its first comma (null: none)
    uint32_t checked;         // the editability was reported
    intptr_t checkedLoad;     // the page's load serial of that report
    uint32_t editMode;        // a selection or current cell is active
    uint32_t contentsEditing; // the host's contents dialog is open
    EditHandlers handlers;
    // Drawn text (glyph runs, as a PDF page holds its text): the page and
    // the two page points the selection runs between.
    int32_t glyphPage; // -1 none
    int32_t glyphAnchor[2];
    int32_t glyphFocus[2];
};

// More notification codes of request 0x10016.
enum : int32_t {
    App_noticeSetupDone = 2,
    App_noticeSetupFailed = 3,
    App_noticeSelected = 4,
    App_noticeNotSelected = 5,
    App_noticeContentsOpen = 6,
    App_noticeBadMode = 7,
    App_noticeSelectFailed = 8,
    App_noticeValueWhileContents = 10,
    App_noticeCleared = 14,
    App_noticeNotEditing1 = 15,
    App_noticeNotCleared = 16,
    App_noticeContentsOn = 17,
    App_noticeContentsOff = 18,
    App_noticeNamedWhileContents = 23,
    App_noticeDeleted = 31,
    App_noticeNoDelete = 32,
    App_noticeDeleteFailed = 33,
    App_noticeNotEditing3 = 34,
    App_noticeNothingSelected = 35,
    App_noticeApplied = 36,
    App_noticeContentsNotEditing = 38,
    App_noticeBadFont = 39,
    App_noticeSizeClamped = 40,
    App_noticeApplyFailed = 43,
    App_noticeModifiedCleared = 44,
    App_noticeUnsaved = 45,
    App_noticeNoHandler = 46,
    App_noticeNoRecord = 47,
    App_noticeNotEditable = 48,
};

// Creates the edit-mode record and lets the editor install itself.
int App_setupEditMode(EngineInstance *instance);
// The edit-mode record's flags (0 without a record); read at once.
int App_isEditMode(EngineInstance *instance);
int App_isContentsEditing(EngineInstance *instance);
int App_isModified(EngineInstance *instance);
// Clears the modified flag (the host hears code 44, or 47 without a record).
int App_clearModified(EngineInstance *instance);
// The edit call at a point: code 0x10005 selects, 0x10006 starts a
// selection, 0x10007 extends it.
int App_postEditCall(EngineInstance *instance, intptr_t x, intptr_t y, intptr_t code);
// Whether the editing support's edit-hook word is set (the view offers
// its secondary action) and whether its active-edit word is (an edit is
// in progress); read at once, 0 without a record.
int App_viewActionsEnabled(EngineInstance *instance);
int App_viewEditActive(EngineInstance *instance);
// Hook 1 (ends the edit: clears the selection) and hook 3 (opens the
// contents editor: request 0x17000).
int App_postEditHook1(EngineInstance *instance); // ends the edit
int App_postEditHook3(EngineInstance *instance); // opens the contents editor
// Hook 2 with a value (a cell move).
int App_postValue(EngineInstance *instance, intptr_t value);
// The value hook with a copy of the 8-bit text (a cell reference to go to).
int App_postNamedValue(EngineInstance *instance, const char *text, intptr_t value);
// The value-2 hook (insert: 0x10000 rows, 0x10002 columns) and the value-3
// hook (delete: 0x10001 rows, 0x10002 columns).
int App_postValue2(EngineInstance *instance, intptr_t value); // insert rows or columns
int App_postValue3(EngineInstance *instance, intptr_t value); // delete rows or columns
// The contents hook with a copy of the record (its strings duplicated):
// mode 0 applies it, 1 only checks it.
int App_postContents(EngineInstance *instance, const EditData *record, intptr_t mode);
// Toggles the contents-edit flag (codes 17 and 18 report the new state).
int App_postToggleContents(EngineInstance *instance);

// The operations behind the text handlers, on the application thread:
// deletes the selected text (value 0x10000; 31 and modified, 33 on
// failure, 32 for another value or without a document page), clears the
// selection (14, or 16 without a document page; edit mode and contents
// editing end), opens the contents editor (request 0x17000 with the
// selection's record; contents editing on; else the code the gathering
// gave) and reports 45 when the document holds unsaved changes (1 without
// a record).
void App_deleteSelection(EngineInstance *instance, intptr_t value);
void App_clearSelection(EngineInstance *instance);
void App_openContentsEditor(EngineInstance *instance);
void App_reportUnsaved(EngineInstance *instance);

// Saves the current document under the 8-bit path (copied): code 0 now,
// then 1 and 19 (saved), 20 (failed) or 21 (declined).
// 0 without a viewer; when the post is refused code 1 follows and 0 is
// returned.
int App_saveDocumentAs(EngineInstance *instance, const char *path);
// The save on the application thread (path: the copy, freed here; null
// for an empty path): the current page's document writes itself to the
// target. A new target is written directly and removed again when the
// document's save callback fails; an existing one is replaced by a
// temporary file written in its directory and renamed over it, so it is
// untouched until its replacement is complete. Codes 1, then 19, 20 or 21.
void App_runSaveAs(EngineInstance *instance, void *path);
// Before a save: when the document's extra flag 2 is set (its importer
// keeps reading its source), its own URL is opened for reading; when that
// fails the host is asked question 0x10010 and an answer other than yes
// sets *code to 21 (left as it is otherwise). The result is the error of
// opening the source (0 when it opened or was not checked).
[[nodiscard]] int App_checkSourceFile(FvViewer *viewer, Edr_Doc *doc, int32_t *code);

// An open listing (request 0x18001), handed back on every later call.
struct ZipListRequest {
    intptr_t owner;     // 0
    VfsHandle *stream;  // the listing stream
    char16_t *path;     // the listed directory (owned)
    int32_t pathLength; // in characters
    int32_t batchSize;  // the most entries one request delivers
};

// One entry of a listing.
struct ZipEntryInfo {
    char *name;          // UTF-8 (owned)
    int32_t isDirectory; // 1: it can be listed itself
    uint64_t size;       // 0 for a directory or when unknown
    uint32_t info4;      // the stream's information word 4
};

// A batch of entries (requests 0x18002 and 0x18003), owned by the host
// once sent.
struct ZipEntryList {
    ZipListRequest *request;
    int32_t count;
    ZipEntryInfo **entries;
};

// Opens a listing of the directory at the 8-bit path (UTF-8; a URL or a
// local path, Url_newFromUserString): a folder of a zip archive, an
// archive's top level, or any directory the stream layer lists. The path
// is copied; the answer is request 0x18001 with a new ZipListRequest, or
// 0x18000. 1 when posted; 0 for a null instance or path, or when the copy
// cannot be made.
int ZipList_open(EngineInstance *instance, const char *path);
// Asks for the next batch of at most batchSize entries (0 for a null
// request or a batch size below 1).
int ZipList_next(EngineInstance *instance, ZipListRequest *request, int32_t batchSize);
// Closes the listing and frees the request.
int ZipList_close(EngineInstance *instance, ZipListRequest *request);
// Frees a batch with its entries and names. 1.
int ZipList_free(ZipEntryList *list);

// The deferred calls on the application thread. Open: the listing stream
// (access mode 8) and 0x18001, or 0x18000 and the request freed. Next: up
// to the batch size of entries ("." and ".." skipped), each tried as a
// listing (a directory) and else read for its size (info 0) and info word
// 4, then 0x18002; 0x18003 when no entry is left; on a failure the
// listing stream is closed and 0x18000 sent. Close: closes the stream and
// frees the request.
void ZipList_runOpen(EngineInstance *instance, void *request);
void ZipList_runNext(EngineInstance *instance, void *request);
void ZipList_runClose(EngineInstance *instance, void *request);
