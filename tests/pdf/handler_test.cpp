// The PDF handler's codec registration: after the start-up codecs, the
// handler's describe adds the raw codec and the fax codec of
// "CCITTFaxDecode" images; a
// settings change reaches the store that holds them.
#include <vector>

#include "core/context/context.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "graphics/codecs/ccitt.h"
#include "pdf/pdf.h"
#include "pdf/rawcodec.h"
#include "tests/graphics/image_support.h"

namespace {

class PdfHandlerCodecTest : public ImageStoreFixture {};

std::vector<int32_t> typeIds(EngineContext *ctx)
{
    std::vector<int32_t> ids;
    for (ImageCodec *c : ctx->imageStore->codecs)
        if (c)
            ids.push_back(c->typeId ? c->typeId() : -1);
    return ids;
}

int32_t idOf(ImageCodec *(*make)())
{
    ImageCodec *c = make();
    if (!c)
        return 0;
    int32_t id = c->typeId();
    Mem_free(c);
    return id;
}

TEST_F(PdfHandlerCodecTest, StartUpCodecsThenThePdfHandlers)
{
    makeStore(false);
    ASSERT_EQ(Edr_App_registerImageCodecs(ctx), 0);
    Edr_HandlerDesc desc{};
    ASSERT_EQ(Pdf_describe(ctx, &desc), 0);
    std::vector<int32_t> want;
    for (auto make : {Codec_gifDescriptor, Codec_jpegDescriptor, Codec_bmpDescriptor,
                      Codec_wbmpDescriptor, Codec_pngDescriptor})
        if (int32_t id = idOf(make))
            want.push_back(id);
    want.push_back(PdfRawImage_typeId);
    want.push_back(idOf(FaxImage_createCodec));
    EXPECT_EQ(typeIds(ctx), want);
    // Describing again registers nothing twice.
    ASSERT_EQ(Pdf_describe(ctx, &desc), 0);
    EXPECT_EQ(typeIds(ctx), want);
    EXPECT_EQ(desc.open, Pdf_open);
    EXPECT_EQ(desc.step, Pdf_step);
    EXPECT_EQ(desc.close, Pdf_close);

    // A settings change reaches the store.
    setInt(nullptr, "Vexlan_maxAnimLoops", 7);
    ImageStore_applySettings(ctx);
    EXPECT_EQ(ctx->imageStore->maxAnimLoops, 7u);
}

} // namespace
