// The image document handler.
#include "html/imagehandler.h"
#include "graphics/imageready.h"

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/handler.h"
#include "document/types/doctype.h"
#include "graphics/image.h"
#include "graphics/imagecodec.h"
#include "html/docweb.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"

namespace {

const char *const imageMimeTypes[] = {
    "image/gif", "image/jpeg",         "image/pjpeg",    "image/png",
    "image/bmp", "image/vnd.wap.wbmp", "image/x-ms-bmp", "video/x-msvideo",
};

// Codec type ids and the document (MIME table) types they open as.
struct CodecDocType {
    int32_t codec;
    uint32_t doc;
};
const CodecDocType codecDocTypes[] = {
    {3, 4},   // BMP: "image/x-ms-bmp"
    {6, 10},  // GIF: "image/gif"
    {7, 16},  // JPEG: "image/jpeg"
    {10, 23}, // PNG: "image/png"
    {12, 33}, // WBMP: "image/vnd.wap.wbmp"
};

// The exact, case-sensitive comparison of a 16-bit string with an ASCII one.
bool sameText(const char16_t *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (*a != char16_t(uint8_t(*b)))
            return false;
    return *a == 0 && *b == 0;
}

} // namespace

int32_t Image_mimeTypeForCodec(int32_t typeId)
{
    uint32_t mime = ImageDA_docType(typeId);
    return mime ? int32_t(mime) : ImageMime_unknown;
}

uint32_t ImageDA_docType(int32_t codecTypeId)
{
    for (const CodecDocType &t : codecDocTypes)
        if (t.codec == codecTypeId)
            return t.doc;
    return 0;
}

int ImageDA_matchMime(EngineContext *, Edr_HandlerDesc *, const char16_t *mime, int32_t *score)
{
    *score = 0;
    if (!mime)
        return Res_ok;
    for (const char *m : imageMimeTypes)
        if (sameText(mime, m))
            *score = 100;
    return Res_ok;
}

int ImageDA_sniff(EngineContext *context, Edr_HandlerDesc *, VfsHandle *stream, int32_t *score,
                  uint32_t *typeId)
{
    *score = 0;
    *typeId = 0;
    const uint8_t *bytes = nullptr;
    size_t got = 0;
    int r = Vfs_getReadBuf(stream, ImageDA_sniffBytes, &bytes, &got);
    if (r != Res_ok)
        return r;
    ImageStore *store = context ? context->imageStore : nullptr;
    int32_t best = 0;
    if (got >= size_t(ImageDA_sniffBytes) && store) {
        for (ImageCodec *codec : store->codecs) {
            if (!codec || !codec->recognise)
                continue; // an empty slot: the later ones still count
            int32_t s = 0;
            r = codec->recognise(&s, nullptr, nullptr, bytes, ImageDA_sniffBytes,
                                 ImageDA_recogniseFlags);
            if (r != Res_ok)
                break;
            if (s > best) {
                best = s;
                *typeId = ImageDA_docType(codec->typeId ? codec->typeId() : 0);
            }
            if (s >= 100)
                break;
        }
    }
    (void)Vfs_readDone(stream, 0);
    if (r != Res_ok) {
        *typeId = 0;
        return r;
    }
    *score = best;
    return Res_ok;
}

int ImageDA_open(EngineContext *context, Edr_HandlerDesc *desc, void *frameRecord,
                 VfsHandle *stream, Edr_Doc *doc, Edr_Node *)
{
    return Html_openImageDocument(context, desc->priv, stream, doc, frameRecord, 0);
}

void ImageDA_close(EngineContext *, Edr_HandlerDesc *desc)
{
    Mem_free(desc->priv);
    desc->priv = nullptr;
}

int ImageDA_register(EngineContext *context, Edr_HandlerDesc *desc)
{
    int32_t *word = static_cast<int32_t *>(Mem_malloc(sizeof(int32_t)));
    if (!word)
        return Res_noMemory;
    *word = context && context->config &&
            Config_getIntA(context, context->config, nullptr, "ImageDA_WaitAnim", 0) != 0;
    desc->matchMime = ImageDA_matchMime;
    desc->sniff = ImageDA_sniff;
    desc->open = ImageDA_open;
    desc->release = ImageDA_close;
    desc->priv = word;
    desc->enabled = 1;
    return Res_ok;
}

int ImageDoc_describe(EngineContext *context, Edr_HandlerDesc *desc)
{
    return ImageDA_register(context, desc);
}

int ImageDoc_register(EngineContext *context)
{
    if (!context || !context->docHandlers)
        return 0;
    return Engine_registerHandler(context, ImageDoc_describe);
}
