// Image files opened as documents: the picture on grey. The document holds
// a group of the "screensize" class (a grey background across the page), a
// group inside it, and in that one image node for the stream's picture.
#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/strtable.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "graphics/image.h"
#include "html/attributes.h"
#include "html/docweb.h"
#include "platform/api/engine.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

// Posted for the document when an image document starts.
constexpr int32_t kEventImageDocument = 20;

// The "screensize" rule: the whole width and an opaque grey background,
// for the group that gets the class.
int buildImageClass(EngineContext *ctx, Edr_Doc *doc, Edr_Node *group)
{
    int err = Html_ensureStringTable(doc);
    if (err)
        return err;
    Edr_Doc_readLock(doc);
    uint16_t key = doc->strings ? StrTable_internN(doc->strings, u"screensize", 10) : 0;
    Edr_Doc_readUnlock(doc);
    if (!key)
        return Res_noMemory;
    StyleRule *rule = nullptr;
    if ((err = StyleRule_create(&rule)))
        return err;
    Prop v{};
    Prop_setWord(&v, PropId_width, PropType_percent, 100u << 16);
    err = StyleRule_appendProp(rule, &v);
    static const uint8_t grey[4] = {0x80, 0x80, 0x80, 0xFF};
    Prop_setColour(&v, PropId_backgroundColor, grey);
    if (!err)
        err = StyleRule_appendProp(rule, &v);
    Request *request = nullptr;
    if (!err && !(err = Request_new(ctx, 0, &request)) && !(err = Edr_Doc_addRequest(doc, request))) {
        StyleRule_setWeight(rule, 10);
        if (!(err = StyleRule_addMatch10(rule, key)))
            err = Request_addItem(request, &rule);
    }
    if (request)
        Request_release(request);
    StyleRule_destroy(rule);
    return err ? err : Edr_Node_addId(doc, group, key);
}

} // namespace

int Html_openImageDocument(EngineContext *ctx, void *, VfsHandle *stream, Edr_Doc *doc, Edr_Node *, uint32_t)
{
    if (ctx && ctx->eventProc) {
        EventProcCodeMsg m{kEventImageDocument, doc, nullptr, 0};
        (void)EventProc_postCode(ctx->eventProc, &m);
    }
    Url *url = nullptr;
    int r = Vfs_getUrl(stream, &url);
    Edr_Node *outer = nullptr, *inner = nullptr;
    if (r == Res_ok && !url)
        r = Res_fileCannotOpen;
    if (r == Res_ok)
        r = Edr_Node_createGroup(doc, Edr_Doc_root(doc), Edr_Insert_lastChild, 0, &outer);
    if (r == Res_ok)
        r = buildImageClass(ctx ? ctx : Edr_Doc_getApp(doc), doc, outer);
    if (r == Res_ok)
        r = Edr_Node_createGroup(doc, outer, Edr_Insert_lastChild, 0, &inner);
    // The picture is opened at once so that its size is known when the
    // page is first laid out; a picture that cannot be opened (no codec
    // for it) ends the open with its error rather than leaving an image
    // that never arrives.
    // With images turned off the node is an empty image.
    EngineContext *app = Edr_Doc_getApp(doc);
    bool enabled = !app || !app->config || Config_getIntA(app, app->config, u"Core", "EnableImages", 1) != 0;
    ImageHandle *image = nullptr;
    if (r == Res_ok && !enabled) {
        static const int32_t placement[5] = {0x60, 0, 0, 0, 0};
        Url *empty = Url_new(u"");
        r = empty ? Edr_Node_createImage(doc, inner, Edr_Insert_lastChild, nullptr, empty, placement, 0)
                  : int(Res_noMemory);
        Url_free(empty);
    } else if (r == Res_ok &&
               (r = Image_openUrl(app, url, nullptr, doc, nullptr, &image)) == Res_ok && !image) {
        r = Res_fileCannotOpen;
    }
    if (r == Res_ok && image)
        r = Edr_Node_createImageFrom(doc, inner, Edr_Insert_lastChild, nullptr, image);
    if (inner)
        Edr_Node_release(doc, inner);
    if (outer)
        Edr_Node_release(doc, outer);
    // The URL is the stream's own (lent): closing the stream frees it.
    (void)Vfs_close(stream);
    return r;
}
