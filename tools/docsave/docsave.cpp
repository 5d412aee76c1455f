// docsave: opens a document with the engine and saves it under a new name.
//
// It starts the engine on the headless host with the real application
// entry, opens FILE through the engine's command API, waits until the
// document has loaded, optionally appends text to the document's first
// paragraph (or, in a workbook, to its first cell that holds something)
// and saves it with the engine's save-as call (App_saveDocumentAs), the
// one the GUI's "Save as" uses. Exit status 0 when the engine saved the
// file; 1 with the engine's reason when it could not open or save (a
// failed save leaves no output file); 2 for a wrong command line.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/ustr.h"
#include "spreadsheet/edit/celledit.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "host/headless/headless.h"
#include "app/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/command.h"
#include "platform/api/editing.h"
#include "platform/api/engine.h"
#include "platform/api/hostevent.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/sheetgrid.h"
#include "tools/common/toolhost.h"
#include "viewer/fvdisplay.h"
#include "viewer/viewer.h"

namespace {

using namespace toolhost;

struct SaveState {
    int ready;
    int failed;
    int docInfo;
    int saveOutcome; // 19 saved, 20 failed, 21 declined; 0 while waiting
    int saveReason;
};

void onSaveRequest(void *arg, int32_t code, void *record)
{
    SaveState *s = static_cast<SaveState *>(arg);
    if (code == Engine_requestReady)
        s->ready = 1;
    else if (code == Engine_requestFailed)
        s->failed = 1;
    else if (code == Fv_requestDocInfo)
        s->docInfo = 1;
    else if (code == App_requestNotify && record) {
        const EditNotice *notice = static_cast<const EditNotice *>(record);
        if (notice->code == App_noticeSaved || notice->code == App_noticeSaveFailed ||
            notice->code == App_noticeSaveDeclined) {
            s->saveReason = notice->reason;
            s->saveOutcome = notice->code;
        }
    }
}

// On the application thread: the load state of the shown page.
struct LoadProbe {
    int done;
    int32_t state;
    int shown; // the display shows a page of the document (the save-as saves that document)
};

void probeLoad(EngineInstance *instance, void *arg)
{
    LoadProbe *probe = static_cast<LoadProbe *>(arg);
    FvViewer *viewer = Fv_fromApp(instance);
    probe->state = viewer && viewer->page ? viewer->page->loadState : FvLoad_failed;
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    probe->shown = viewer && viewer->page && viewer->page->pageView &&
                   Edr_Fwd_findSubdocPage(viewer->page->pageView, &doc, &index) && doc;
    probe->done = 1;
}

// The first cell of the workbook's first grid that holds text, and its
// grid.
int findGrid(Edr_Node *node, int *, int *, void *context)
{
    SheetGrid **out = static_cast<SheetGrid **>(context);
    if (!*out && Edr_Node_type(node) == Edr_NodeType_grid)
        *out =
            static_cast<SheetGrid *>(static_cast<Edr_GridNode *>(Edr_Node_payload(node))->record);
    return 0;
}

// The first text node of the body with at least one character that is
// not a paragraph mark.
Edr_Node *firstText(Edr_Node *node)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_text) {
            const Edr_TextNode *t = Edr_Node_textPayload(c);
            if (t && t->length > 0 &&
                !(t->length == 1 && (t->chars[0] == u'\r' || t->chars[0] == u'\n')))
                return c;
        }
        if (Edr_Node_type(c) == Edr_NodeType_group)
            if (Edr_Node *t = firstText(c))
                return t;
    }
    return nullptr;
}

struct EditCall {
    const char *text; // UTF-8
    int done;
    int result; // 0, or the engine's code; Res_notFound: nothing to edit
};

// A cell's text followed by the appended text, as UTF-8 (malloc'd).
char *joinCellText(const char16_t *cellText, const char *append)
{
    char *head = nullptr;
    if (cellText && *cellText &&
        Charset_fromUstr(nullptr, cellText, &head, CharsetCode_utf8) != Res_ok)
        return nullptr;
    size_t a = head ? strlen(head) : 0, b = strlen(append);
    char *out = static_cast<char *>(malloc(a + b + 1));
    if (out) {
        if (a)
            memcpy(out, head, a);
        memcpy(out + a, append, b + 1);
    }
    Mem_free(head);
    return out;
}

int editWorkbook(EngineContext *ctx, SheetGrid *grid, const char *text)
{
    const ExcelCell *cell = nullptr;
    for (uint32_t i = 0; grid->cellTable && i < grid->cellTable->count && !cell; i++)
        if (grid->cellTable->cells[i].text && grid->cellTable->cells[i].text[0])
            cell = &grid->cellTable->cells[i];
    uint32_t row = cell ? cell->row : 0, column = cell ? cell->column : 0;
    char *value = joinCellText(cell ? cell->text : nullptr, text);
    if (!value)
        return Res_noMemory;
    int r = Excel_CellEdit_setValue(ctx, grid, row, column, value, 0);
    free(value);
    return r;
}

// Appends the text to the first paragraph's text run: the run is replaced
// by one of its characters (a paragraph mark at its end kept last) and the
// new text.
int editText(Edr_Doc *doc, Edr_Node *old, const char *text)
{
    char16_t *append = nullptr;
    if (Charset_toUstr(nullptr, text, &append, CharsetCode_utf8) != Res_ok)
        return Res_noMemory;
    const Edr_TextNode *t = Edr_Node_textPayload(old);
    uint32_t keep = t->length;
    while (keep > 0 && (t->chars[keep - 1] == u'\r' || t->chars[keep - 1] == u'\n'))
        keep--;
    uint32_t added = uint32_t(Ustr_len(append));
    uint32_t total = t->length + added;
    char16_t *chars = static_cast<char16_t *>(Mem_malloc((total + 1) * sizeof(char16_t)));
    if (!chars) {
        Mem_free(append);
        return Res_noMemory;
    }
    memcpy(chars, t->chars, keep * sizeof(char16_t));
    memcpy(chars + keep, append, added * sizeof(char16_t));
    memcpy(chars + keep + added, t->chars + keep, (t->length - keep) * sizeof(char16_t));
    chars[total] = 0;
    Mem_free(append);
    Edr_Node *node = nullptr;
    // The tree holds no reference of its own on the replaced node.
    int r = Edr_Node_addRefLocked(doc, old);
    if (r == Res_ok) {
        r = Edr_Node_createText(doc, old, Edr_Insert_replace, &node, chars, total);
        Edr_Node_dropRefLocked(doc, old);
        if (r == Res_ok)
            Edr_Node_release(doc, node);
    }
    Mem_free(chars);
    return r;
}

void runEdit(EngineInstance *instance, void *arg)
{
    EditCall *call = static_cast<EditCall *>(arg);
    FvViewer *viewer = Fv_fromApp(instance);
    Edr_Doc *doc = viewer && viewer->page ? viewer->page->document : nullptr;
    call->result = Res_notFound;
    if (doc) {
        SheetGrid *grid = nullptr;
        if (Edr_Node_walk(findGrid, nullptr, &grid, 0, Edr_Doc_root(doc)) != Res_ok)
            grid = nullptr;
        if (grid) {
            call->result = editWorkbook(viewer->context, grid, call->text);
        } else if (Edr_Node *node = firstText(Edr_Doc_root(doc))) {
            call->result = editText(doc, node, call->text);
        }
    }
    call->done = 1;
}

// The engine's result codes a save most often fails with, in words.
const char *reasonText(int code)
{
    switch (code) {
    case Res_noMemory: return "out of memory";
    case Res_nullInput: return "the document cannot be saved";
    case Res_notImplemented:
    case Res_noSaveCallback: return "the engine cannot save documents of this kind";
    case Res_fileCannotOpen: return "the output file cannot be created";
    case Res_fileWrite: return "writing the output file failed";
    case Res_fileRead: return "reading failed";
    case Res_fileRename: return "the finished file could not replace the old one";
    case Res_fileCopy: return "copying failed";
    case Res_fileRemove: return "removing failed";
    default: return nullptr;
    }
}

std::string describe(int outcome, int reason)
{
    if (outcome == App_noticeSaveDeclined)
        return "the document's own file can no longer be read";
    std::string text = "engine error " + std::to_string(reason);
    if (const char *words = reasonText(reason))
        text += std::string(" (") + words + ")";
    return text;
}

int usage(const char *self)
{
    fprintf(stderr,
            "usage: %s FILE --out NEWFILE [--edit \"TEXT\"]\n"
            "Opens FILE with the engine and saves it as NEWFILE with the engine's\n"
            "save-as. --edit appends TEXT to the first paragraph (in a workbook, to\n"
            "the first cell that holds something) before saving. Exit status 0 when\n"
            "saved, 1 with the engine's reason when FILE cannot be opened or saved\n"
            "(nothing is left at NEWFILE), 2 for a wrong command line.\n",
            self);
    return 2;
}

// The path made absolute from the working directory: the engine reads a
// path as its user typed it, from the file system's root.
std::string absolutePath(const char *path)
{
    if (path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd))
        return path;
    return std::string(cwd) + "/" + path;
}

bool exists(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (!strcmp(argv[1], "-h") || !strcmp(argv[1], "--help"))) {
        usage(argv[0]);
        return 0;
    }
    const char *path = nullptr, *out = nullptr, *edit = nullptr;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--out") && i + 1 < argc && !out)
            out = argv[++i];
        else if (!strcmp(argv[i], "--edit") && i + 1 < argc && !edit)
            edit = argv[++i];
        else if (!path && (argv[i][0] != '-' || !strcmp(argv[i], "-")))
            path = argv[i];
        else
            return usage(argv[0]);
    }
    if (!path || !out)
        return usage(argv[0]);
    if (!path[0] || !out[0]) {
        fprintf(stderr, "docsave: a file name is empty\n");
        return 1;
    }
    bool hadOut = exists(out);
    HostContext *host = Headless_createContext(0);
    if (!host) {
        fprintf(stderr, "docsave: out of memory\n");
        return 1;
    }
    SaveState state{};
    // The engine's timers fire as soon as they are asked for: nothing here
    // waits for real time.
    Headless_setManualClock(host, 1);
    Headless_setRequestHook(host, onSaveRequest, &state);
    if (!Headless_startEngine(host, nullptr, App_start, 0)) {
        fprintf(stderr, "docsave: the engine did not start\n");
        Headless_destroyContext(host);
        return 1;
    }
    int status = 1;
    EngineInstance *inst = host->instance;
    std::string url = fileUrl(path);
    LoadProbe probe{};
    if (!drive(host, [&] { return state.ready || state.failed; }) || !state.ready) {
        fprintf(stderr, "docsave: the engine did not become ready\n");
    } else if (!App_openDocument(inst, url.c_str(), 0, 0)) {
        fprintf(stderr, "docsave: the engine refused to open %s\n", path);
    } else if (!drive(host, [&] { return state.docInfo || openAlertSeen(host) || state.failed; }) ||
               !state.docInfo) {
        fprintf(stderr, "docsave: cannot open %s: %s\n", path, openFailure(host, path).c_str());
    } else {
        // The document is whole before it is saved: its load has ended.
        for (int round = 0; round < fireLimit; round++) {
            probe = LoadProbe{};
            if (App_postCall(inst, probeLoad, &probe, nullptr) != 0 ||
                !drive(host, [&] { return probe.done; }))
                break;
            if (probe.state != FvLoad_loading && (probe.state != FvLoad_loaded || probe.shown))
                break;
            Headless_fireTimer(host);
        }
        EditCall call{edit, 0, Res_ok};
        if (probe.state == FvLoad_loaded && !probe.shown) {
            fprintf(stderr, "docsave: %s loaded, but no page of it was shown\n", path);
        } else if (probe.state != FvLoad_loaded) {
            fprintf(stderr, "docsave: cannot open %s: %s\n", path, openFailure(host, path).c_str());
        } else if (edit &&
                   (App_postCall(inst, runEdit, &call, nullptr) != 0 ||
                    !drive(host, [&] { return call.done != 0; }) || call.result != Res_ok)) {
            if (call.result == Res_notFound)
                fprintf(stderr, "docsave: %s has no paragraph or cell to edit\n", path);
            else
                fprintf(stderr, "docsave: cannot edit %s: engine %s\n", path,
                        errorMeaning(call.result).c_str());
        } else if (!App_saveDocumentAs(inst, absolutePath(out).c_str())) {
            fprintf(stderr, "docsave: the engine refused to save %s\n", path);
        } else if (!drive(host, [&] { return state.saveOutcome != 0; })) {
            fprintf(stderr, "docsave: the save of %s did not finish\n", path);
        } else if (state.saveOutcome == App_noticeSaved) {
            status = 0;
        } else {
            fprintf(stderr, "docsave: cannot save %s as %s: %s\n", path, out,
                    describe(state.saveOutcome, state.saveReason).c_str());
        }
    }
    Headless_setRequestHook(host, nullptr, nullptr);
    if (host->instance)
        Engine_stop(host->instance);
    Headless_destroyContext(host);
    if (status != 0 && !hadOut && exists(out))
        fprintf(stderr, "docsave: %s was left behind by the failed save\n", out);
    return status;
}
