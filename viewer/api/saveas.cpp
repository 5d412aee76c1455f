// Saving the open document under a path the user chose.
//
// The entry point copies the path on the GUI thread and posts the save to
// the application thread, which answers with notification codes: 0 when
// posted, then 1 and the outcome (19 saved, 20 failed, 21 declined).
//
// A new target is written in place (removed again when the document fails
// to write it). An existing target is never touched before its
// replacement is complete: the document writes a temporary file beside it,
// in the same directory, which is then renamed over the target. A failed
// save leaves the original as it was and no temporary file behind.
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/editing.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "viewer/fvdisplay.h"
#include "viewer/hostquery.h"
#include "viewer/viewer.h"

namespace {

// 1 when url opens in mode (the stream is closed again).
bool opens(EngineContext *ctx, const Url *url, uint32_t mode)
{
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    if (Vfs_open(ctx, url, mode, &stream, &accepted) != Res_ok)
        return false;
    // The stream was only read or probed: a failed close loses nothing.
    (void)Vfs_close(stream);
    return true;
}

// The directory part of the path as UTF-16: backslashes become slashes
// and everything from the last "/" on is cut ("." without one). Null
// without memory or for text that does not convert.
char16_t *directoryOf(const char *path)
{
    char16_t *text = nullptr;
    if (Charset_toUstr(nullptr, path, &text, CharsetCode_utf8) != Res_ok)
        return nullptr;
    for (char16_t *p = text; *p; p++)
        if (*p == u'\\')
            *p = u'/';
    char16_t *slash = Ustr_rchr(text, u'/');
    if (!slash) {
        Mem_free(text);
        return Ustr_dup(u".");
    }
    *slash = 0;
    return text;
}

void discardSave(void *block)
{
    EngineInstance *instance =
        reinterpret_cast<EngineInstance *>(static_cast<intptr_t *>(block)[1]);
    Mem_free(reinterpret_cast<char *>(static_cast<intptr_t *>(block)[3]));
    App_notifyHost(Fv_fromApp(instance), App_noticeDone);
}

// Writes the document over an existing target through a temporary file
// in the target's directory. 19 or 20; *reason is the result code that
// made the save fail.
int32_t replaceTarget(EngineContext *ctx, Edr_Doc *doc, const Url *target, const char *path,
                      int *reason)
{
    // The target must be writable; opening it for appending tells so
    // without cutting it short.
    *reason = Res_fileCannotOpen;
    if (!opens(ctx, target, Vfs_modeAppend))
        return App_noticeSaveFailed;
    *reason = Res_noMemory;
    char16_t *directory = directoryOf(path);
    if (!directory)
        return App_noticeSaveFailed;
    Url *temp = nullptr;
    int r = File_createTemp(ctx, directory, u"save", &temp);
    Mem_free(directory);
    *reason = r;
    if (r != Res_ok)
        return App_noticeSaveFailed;
    int32_t code = App_noticeSaveFailed;
    r = Edr_Doc_callA(doc, temp);
    if (r == Res_ok)
        r = Vfs_rename(ctx, temp, target);
    *reason = r;
    if (r == Res_ok)
        code = App_noticeSaved;
    else
        (void)Vfs_urlOp15(ctx, temp);
    Url_free(temp);
    return code;
}

// Writes the document to a target that does not exist yet. 19 or 20;
// *reason as above.
int32_t writeTarget(EngineContext *ctx, Edr_Doc *doc, const Url *target, int *reason)
{
    *reason = Res_fileCannotOpen;
    if (!opens(ctx, target, Vfs_modeWrite))
        return App_noticeSaveFailed;
    *reason = Edr_Doc_callA(doc, target);
    if (*reason == Res_ok)
        return App_noticeSaved;
    (void)Vfs_urlOp15(ctx, target);
    return App_noticeSaveFailed;
}

} // namespace

void App_notifySaveOutcome(FvViewer *viewer, int32_t code, int32_t reason)
{
    if (!viewer || !viewer->context)
        return;
    EditNotice notice{code, reason};
    App_sendRequest(viewer->context->instance, App_requestNotify, &notice);
}

void App_notifyHost(FvViewer *viewer, int32_t code)
{
    App_notifySaveOutcome(viewer, code, 0);
}

int App_checkSourceFile(FvViewer *viewer, Edr_Doc *doc, int32_t *code)
{
    if (!viewer || !doc)
        return Res_nullInput;
    if (!(doc->extraFlags & 2))
        return Res_ok;
    Url *url = nullptr;
    int r = Edr_Doc_getUrl(doc, &url);
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    if (r == Res_ok)
        r = url ? Vfs_open(viewer->context, url, Vfs_modeRead, &stream, &accepted)
                : int(Res_nullInput);
    if (r == Res_ok)
        // The stream was only read or probed: a failed close loses nothing.
        (void)Vfs_close(stream);
    Url_free(url);
    // The document's own file is gone or unreadable: saving may lose what
    // only it held, so the user is asked first.
    if (r != Res_ok && !HostQuery_ask(viewer, 0, HostQuery_confirmLoss, nullptr, nullptr, nullptr))
        *code = App_noticeSaveDeclined;
    return r;
}

int App_saveDocumentAs(EngineInstance *instance, const char *path)
{
    FvViewer *viewer = Fv_fromApp(instance);
    if (!viewer)
        return 0;
    char *copy = nullptr;
    if (path && *path) {
        copy = Cstr_dup(path);
        if (!copy) {
            App_notifyHost(viewer, App_noticeDone);
            return 0;
        }
    }
    App_notifyHost(viewer, App_noticeBusy);
    // A refused post runs the discard routine, which frees the copy and
    // sends code 1.
    return App_postCallHeld(instance, App_runSaveAs, copy, discardSave) == 0 ? 1 : 0;
}

void App_runSaveAs(EngineInstance *instance, void *argument)
{
    char *path = static_cast<char *>(argument);
    FvViewer *viewer = Fv_fromApp(instance);
    EngineContext *ctx = viewer ? viewer->context : nullptr;
    int32_t code = App_noticeSaveFailed;
    int reason = Res_nullInput;
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    Url *target = nullptr;
    if (path && viewer && viewer->page && viewer->page->pageView &&
        Edr_Fwd_findSubdocPage(viewer->page->pageView, &doc, &index) && doc &&
        Url_newFromUserString(path, &target, 1) == Res_ok) {
        int32_t check = 0;
        (void)App_checkSourceFile(viewer, doc, &check);
        if (check == App_noticeSaveDeclined)
            code = check;
        else if (opens(ctx, target, Vfs_modeRead))
            code = replaceTarget(ctx, doc, target, path, &reason);
        else
            code = writeTarget(ctx, doc, target, &reason);
        // The document now lives at the target. A URL that cannot be
        // stored (no memory) leaves the old one: the file is saved all
        // the same.
        if (code == App_noticeSaved) {
            (void)Edr_Doc_setUrl(doc, target);
            if (viewer->editMode)
                viewer->editMode->modified = 0;
        }
    }
    Url_free(target);
    Mem_free(path);
    App_notifyHost(viewer, App_noticeDone);
    App_notifySaveOutcome(viewer, code, code == App_noticeSaveFailed ? reason : 0);
}
