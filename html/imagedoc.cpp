// Image files opened as documents: one page the size of the picture. The
// document holds a group of the "screensize" class, a group inside it, and
// in that one image node for the stream's picture. The class gives the
// page the picture's size at the resolution its data state (96 per inch
// when they state none, so that a view at 100 % shows one pixel of the
// picture on one of the screen) and a white background, the colour of a
// page, under transparent parts of the picture. The viewer fits and centres
// the page like any other. A picture shown in a frame, or not loaded with
// images turned off, has a page across the width instead.
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
#include "platform/vfs/hosthooks.h"
#include "core/task/lock.h"
#include "platform/vfs/vfs.h"

namespace {

// Posted for the document when an image document starts.
constexpr int32_t kEventImageDocument = 20;

// Option word of the picture: recognised by content, subsampled once for
// good, its decoder dropped after decoding, and taken at 96 per inch when
// its data state no resolution, as the page is.
constexpr uint32_t kImageOptions = 0x31C | ImageOpt_screenResolution;

// The frame record of a frame's document: margin width, margin height,
// width, height and placement.
struct FrameRecord {
    int32_t words[5];
};

bool readFrameRecord(const void *argument, FrameRecord *out)
{
    if (!argument)
        return false;
    const Obj *obj = static_cast<const Obj *>(argument);
    for (int i = 0; i < 5; i++)
        out->words[i] = int32_t(obj->words[i]);
    return true;
}

int addLength(StyleRule *rule, uint32_t id, int32_t length)
{
    Prop v{};
    Prop_setLength(&v, id, length);
    return StyleRule_appendProp(rule, &v);
}

// The page of a picture: width and height in layout units (16.16 inches);
// 0 when the picture's size is not known.
struct PictureSize {
    int32_t width, height;
};

// The "screensize" rule for the group that gets the class: the picture's
// size as a fixed page size when it is known, else the whole width; an
// opaque white background; the frame's margins when the document fills a
// frame.
int buildImageClass(EngineContext *ctx, Edr_Doc *doc, const FrameRecord *frame,
                    const PictureSize *size, Edr_Node *group)
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
    if (size->width > 0 && size->height > 0) {
        // Negative lengths are fixed: the page keeps the picture's size.
        err = addLength(rule, PropId_width, -size->width);
        if (!err)
            err = addLength(rule, PropId_height, -size->height);
    } else {
        Prop_setWord(&v, PropId_width, PropType_percent, 100u << 16);
        err = StyleRule_appendProp(rule, &v);
    }
    static const uint8_t white[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    Prop_setColour(&v, PropId_backgroundColor, white);
    if (!err)
        err = StyleRule_appendProp(rule, &v);
    // A negative margin in the frame record stands for none.
    if (!err && frame && frame->words[1] >= 0 &&
        !(err = addLength(rule, PropId_marginTop, frame->words[1])))
        err = addLength(rule, PropId_marginBottom, frame->words[1]);
    if (!err && frame && frame->words[0] >= 0 &&
        !(err = addLength(rule, PropId_marginLeft, frame->words[0])))
        err = addLength(rule, PropId_marginRight, frame->words[0]);
    Request *request = nullptr;
    if (!err && !(err = Request_new(ctx, 0, &request)) &&
        !(err = Edr_Doc_addRequest(doc, request))) {
        StyleRule_setWeight(rule, 10);
        if (!(err = StyleRule_addMatch10(rule, key)))
            err = Request_addItem(request, &rule);
    }
    if (request)
        Request_release(request);
    StyleRule_destroy(rule);
    return err ? err : Edr_Node_addId(doc, group, key);
}

// What the open waits for: the picture's ready callback, which runs on an
// image worker (or at once when the picture was decoded in this thread),
// signals the semaphore once the picture is final or has failed.
struct ImageWait {
    Sem ready;          // count 0, maximum 1
    ImageHandle *image; // the handle the callback is registered on
    int done;           // set by the callback, under the image's handleLock
    int result;
};

// The image's ready callback: acts until the picture is done. A picture is
// done when it is final or a frame was queued with a delay; a frame
// sequence also once its decoder has let go of the data or it has no
// width, or once its first frame is shown (its later frames never make it
// final while it animates). A failed picture's error becomes the result.
void imageReady(void *user, int32_t, int32_t, int32_t, int32_t)
{
    auto *w = static_cast<ImageWait *>(user);
    if (w->done)
        return;
    ImageObject *image = ImageHandle_lockImage(w->image, 4);
    if (!image)
        return;
    uint32_t caps = Image_getCapFlags(image);
    int32_t state = image->state, result = image->result;
    bool done = (caps & (ImageCap_final | ImageCap_frameDelayed)) ||
                ((caps & ImageCap_sequence) &&
                 (!image->stream || image->width < 1 || state == ImageState_animated ||
                  state == ImageState_animOnDemand || result == ImageState_animated ||
                  result == ImageState_animOnDemand));
    int error = 0;
    if (state == ImageState_failed || result == ImageState_failed) {
        done = true;
        error = image->errorCode ? image->errorCode : int(Res_fileCannotOpen);
    }
    ImageHandle_unlockImage(w->image, image, 4);
    if (!done)
        return;
    w->result = error;
    w->done = 1;
    Sem_signal(&w->ready);
}

// The page size of the picture behind handle: its nominal size at the
// resolution its data state, 96 per inch when they state none. Zero when
// the size is not known.
PictureSize pictureSize(ImageHandle *handle)
{
    PictureSize out{0, 0};
    int32_t info[6] = {};
    if (Image_getDocImageInfo(handle, info, nullptr, nullptr) != Res_ok || info[0] < 1 ||
        info[1] < 1)
        return out;
    int64_t resolution = Image_getStatedResolution(handle);
    if (resolution <= 0)
        resolution = 96;
    int64_t w = (int64_t(info[0]) << 16) / resolution, h = (int64_t(info[1]) << 16) / resolution;
    if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX)
        return out;
    out.width = int32_t(w);
    out.height = int32_t(h);
    return out;
}

// Opens the picture of url, puts an image node for it in group and waits until the picture's size
// is known (or it failed); *size gets the page size of the picture (size null: not asked). 0, the
// image's error, or Res_stopRequested when the task was asked to stop.
int createImageNode(EngineContext *app, Edr_Doc *doc, const Url *url, Edr_Node *group,
                    PictureSize *size)
{
    ImageWait w{};
    int r = Image_openUrlFlags(app, url, nullptr, doc, nullptr, kImageOptions, &w.image);
    if (r == Res_ok && !w.image)
        r = Res_fileCannotOpen;
    ImageHandle *second = nullptr;
    if (r == Res_ok)
        r = ImageHandle_clone(w.image, &second);
    if (r == Res_ok) {
        r = Edr_Node_createImageFrom(doc, group, Edr_Insert_lastChild, nullptr, second);
        second = nullptr; // the node took it
    }
    if (r == Res_ok) {
        (void)Sem_init(app, &w.ready, 0, 1);
        Image_setReadyCallbacks(w.image, imageReady, nullptr, &w);
        r = Sem_waitStoppable(&w.ready);
        // Taking the callbacks away waits for a running callback to end,
        // so the wait record may go afterwards.
        Image_setReadyCallbacks(w.image, nullptr, nullptr, nullptr);
        Sem_fini(&w.ready);
        if (r == Res_ok)
            r = w.result;
    }
    if (r == Res_ok && size)
        *size = pictureSize(w.image);
    ImageHandle_release(second);
    ImageHandle_release(w.image);
    return r;
}

} // namespace

int Html_openImageDocument(EngineContext *ctx, void *, VfsHandle *stream, Edr_Doc *doc,
                           const void *frameRecord, uint32_t)
{
    if (ctx && ctx->eventProc) {
        EventProcCodeMsg m{kEventImageDocument, doc, nullptr, 0};
        (void)EventProc_postCode(ctx->eventProc, &m);
    }
    FrameRecord frame{};
    const FrameRecord *record = readFrameRecord(frameRecord, &frame) ? &frame : nullptr;
    Url *url = nullptr;
    int r = Vfs_getUrl(stream, &url);
    Edr_Node *outer = nullptr, *inner = nullptr;
    if (r == Res_ok && !url)
        r = Res_fileCannotOpen;
    if (r == Res_ok)
        r = Edr_Node_createGroup(doc, Edr_Doc_root(doc), Edr_Insert_lastChild, 0, &outer);
    if (r == Res_ok)
        r = Edr_Node_createGroup(doc, outer, Edr_Insert_lastChild, 0, &inner);
    // With images turned off the node is an empty image; otherwise the
    // open waits until the picture's size is known, so that the class and
    // the first layout have it, and a picture that cannot be shown (no
    // codec for it, damaged data) ends the open with its error.
    PictureSize size{0, 0};
    EngineContext *app = Edr_Doc_getApp(doc);
    bool enabled =
        !app || !app->config || Config_getIntA(app, app->config, u"Core", "EnableImages", 1) != 0;
    if (r == Res_ok && !enabled) {
        int32_t placement[5] = {0x60, 0, 0, 0, 0};
        if (record)
            placement[0] = record->words[4];
        Url *empty = Url_new(u"");
        r = empty ? Edr_Node_createImage(doc, inner, Edr_Insert_lastChild, nullptr, empty,
                                         placement, 0)
                  : int(Res_noMemory);
        Url_free(empty);
    } else if (r == Res_ok) {
        r = createImageNode(app, doc, url, inner, record ? nullptr : &size);
    }
    if (r == Res_ok)
        r = buildImageClass(ctx ? ctx : app, doc, record, &size, outer);
    if (inner)
        Edr_Node_release(doc, inner);
    if (outer)
        Edr_Node_release(doc, outer);
    // The URL is the stream's own (lent): closing the stream frees it.
    (void)Vfs_close(stream);
    return r;
}
