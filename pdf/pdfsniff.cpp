// Recognition of PDF files: the MIME match and the header sniffer (the
// header test itself is shared with the plain-text test,
// document/import/textsniff.h).
#include "pdf/pdf.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "core/context/context.h"
#include "document/import/textsniff.h"
#include "document/edr/handler.h"
#include "graphics/codecs/ccitt.h"
#include "graphics/imagecodec.h"
#include "pdf/rawcodec.h"
#include "platform/vfs/vfs.h"

namespace {

// The handler has no private data to free.
void releaseNothing(EngineContext *, Edr_HandlerDesc *) {}

} // namespace

int Pdf_matchMime(EngineContext *, Edr_HandlerDesc *, const char16_t *mime, int32_t *score)
{
    *score = mime && Ustr_icmpCstr(mime, "application/pdf") == 0 ? 100 : 0;
    return Res_ok;
}

int Pdf_sniff(EngineContext *context, Edr_HandlerDesc *, VfsHandle *stream, int32_t *score,
              uint32_t *typeId)
{
    const uint8_t *bytes = nullptr;
    size_t got = 0;
    int err = Vfs_getReadBuf(stream, Pdf_sniffBytes, &bytes, &got);
    if (err != Res_ok)
        return err;
    bool found = Pdf_sniffHeader(context, bytes,
                                 got < size_t(Pdf_sniffBytes) ? got : size_t(Pdf_sniffBytes)) != 0;
    // Only gives the lent read buffer back; the next read reports any stream fault.
    (void)Vfs_readDone(stream, 0);
    *score = found ? int32_t(Pdf_sniffScore) : 0;
    *typeId = found ? uint32_t(Pdf_mimeTypeId) : 0;
    return Res_ok;
}

int Pdf_describe(EngineContext *context, Edr_HandlerDesc *desc)
{
    desc->matchMime = Pdf_matchMime;       // word 1
    desc->sniff = Pdf_sniff;               // word 2
    desc->open = Pdf_open;                 // word 3
    desc->step = Pdf_step;                 // word 4
    desc->close = Pdf_close;               // word 5
    desc->findFragment = Pdf_fragmentRect; // word 11
    desc->release = releaseNothing;        // word 12
    desc->priv = nullptr;                  // word 13
    desc->enabled = 1;                     // word 15
    // The decoders of PDF images (raw samples, then "CCITTFaxDecode") join
    // the image store's codec table; an engine without an image store
    // (tools, tests) has no table to fill.
    if (!context || !context->imageStore)
        return Res_ok;
    ImageCodec *raw = Pdf_RawImageCodec_new();
    int err = raw ? Plugin_register(context, raw) : int(Res_noMemory);
    if (err != Res_ok)
        return err;
    ImageCodec *fax = FaxImage_createCodec();
    return fax ? Plugin_register(context, fax) : int(Res_noMemory);
}
