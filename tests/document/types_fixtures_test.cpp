// Recognition of the committed fixtures through file URLs, with the
// handlers registered in the host's order (Word, Excel, PowerPoint,
// images, plain text, PDF, HTML). The plain-text handler is the tests'
// own, built on the shared text test; the others are the engine's.
#include <gtest/gtest.h>

#include "app/dockinds.h"
#include "core/result.h"
#include "core/text/charset_cjk.h"
#include "document/import/plaintext.h"
#include "document/edr/doc.h"
#include "document/types/doctype.h"
#include "graphics/image.h"
#include "html/imagehandler.h"
#include "graphics/imagerender.h"
#include "graphics/pixelbuf.h"
#include "core/config/config.h"
#include "platform/url/file.h"
#include "document/edr/handler.h"
#include "host/headless/headless.h"
#include "platform/api/request.h"
#include "html/docweb.h"
#include "office/powerpoint/ppt.h"
#include "pdf/pdf.h"
#include "spreadsheet/reader/excel.h"
#include "tests/document/types_support.h"
#include "tests/platform/file_fixture.h"
#include "word/reader/word.h"

namespace {

class FixtureRecognitionTest : public FileFixture {
  protected:
    DocTypeRegistry *registry = nullptr;

    void SetUp() override
    {
        FileFixture::SetUp();
        ASSERT_EQ(DocType_newRegistry(ctx, &registry), Res_ok);
        ctx->docHandlers = registry;
        // The engine installs the East Asian tables at start-up; detection
        // needs them to take Shift_JIS bytes for text.
        ASSERT_EQ(Charset_createHooks(ctx), Res_ok);
        ASSERT_EQ(Charset_installJapanese(ctx->charsetHooks), Res_ok);
        const Edr_DescribeFn order[] = {Word_describe,     Excel_describe,   Ppt_describe,
                                        ImageDoc_describe, testTextDescribe, Pdf_describe,
                                        Html_describe};
        for (Edr_DescribeFn d : order)
            ASSERT_EQ(Engine_registerHandler(ctx, d), 1);
    }
    void TearDown() override
    {
        DocType_freeRegistry(ctx, registry);
        ctx->docHandlers = nullptr;
        Charset_destroyHooks(ctx);
        FileFixture::TearDown();
    }
    // The registration index of a handler (-1 for none).
    int indexOf(const Edr_HandlerDesc *d)
    {
        int i = 0;
        for (DocTypeNode *n = registry->head; n; n = n->next, i++)
            if (&n->desc == d)
                return i;
        return -1;
    }
};

enum { kWord = 0, kImage = 3, kText = 4, kPdf = 5, kNone = -1 };

struct FixtureCase {
    const char *file;
    int code;
    int handler;
    const char *mime;
};

const FixtureCase kFixtures[] = {
    {"ascii.txt", Res_ok, kText, "text/plain"},
    {"utf8_bom.txt", Res_ok, kText, "text/plain"},
    {"utf16le.txt", Res_ok, kText, "text/plain"},
    {"latin1.txt", Res_ok, kText, "text/plain"},
    {"sjis.txt", Res_ok, kText, "text/plain"},
    // Of no known type: the content alone (detected as Shift_JIS) decides.
    {"sjis.dat", Res_ok, kText, "text/plain"},
    // Empty text is text: the MIME type of ".txt" makes it certain.
    {"empty.txt", Res_ok, kText, "text/plain"},
    // Empty and of no known type: refused as no data.
    {"empty.bin", Res_docTypeNoData, kNone, "(null)"},
    // Without an image store no codec judges the content: the image
    // handler's MIME match alone is not enough.
    {"image.png", Res_docTypeNeedsContent, kNone, "(null)"},
    {"doc.pdf", Res_ok, kPdf, "application/pdf"},
    // A PDF header behind a preamble, in a file of no known type: the PDF
    // sniffer's 50 is not certain and the stream's type rates nothing
    // higher, so the content decides.
    {"late_header.bin", Res_ok, kPdf, "application/pdf"},
    {"word97.doc", Res_ok, kWord, "application/msword"},
    // A compound file that is no Word document, named .doc: only the name
    // points at Word, which needs recognised content.
    {"notword.doc", Res_docTypeNeedsContent, kNone, "(null)"},
};

TEST_F(FixtureRecognitionTest, EachFixtureGoesToItsHandler)
{
    for (const FixtureCase &c : kFixtures) {
        SCOPED_TRACE(c.file);
        Url *u = url(std::string("file://root") + VEXLAN_FIXTURES + "/types/" + c.file);
        ASSERT_NE(u, nullptr);
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_open(ctx, u, 0x31, &h, &accepted), Res_ok);
        const char16_t *mime = nullptr;
        Edr_HandlerDesc *d = nullptr;
        EXPECT_EQ(DocType_recognise(ctx, h, &mime, &d), c.code);
        EXPECT_EQ(indexOf(d), c.handler);
        EXPECT_EQ(S(mime), c.mime);
        EXPECT_EQ(positionOf(h), 0u);
        EXPECT_EQ(Vfs_close(h), 0);
        Url_free(u);
    }
}

// The host's registration: seven handlers in its order, each accepted.
TEST_F(FileFixture, HostRegistersTheSevenHandlersInOrder)
{
    DocTypeRegistry *registry = nullptr;
    ASSERT_EQ(DocType_newRegistry(ctx, &registry), Res_ok);
    ctx->docHandlers = registry;
    EXPECT_EQ(App_registerDocumentKinds(ctx), 1);
    int n = 0;
    for (DocTypeNode *p = registry->head; p; p = p->next, n++)
        EXPECT_EQ(p->desc.enabled, 1u);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(registry->head->desc.sniff, Word_recognise);
    // The fifth is the plain-text importer.
    int32_t score = -1;
    EXPECT_EQ(
        registry->head->next->next->next->next->desc.matchMime(ctx, nullptr, u"text/plain", &score),
        0);
    EXPECT_EQ(score, 100);
    EXPECT_EQ(registry->head->next->next->next->next->desc.sniff, TextDoc_sniff);

    RequestHandlerReg reg{nullptr, Pdf_describe};
    EXPECT_EQ(Request_registerHandler(nullptr), 0);
    EXPECT_EQ(Request_registerHandler(&reg), 0);
    reg.context = ctx;
    EXPECT_EQ(Request_registerHandler(&reg), 1);
    EXPECT_EQ(registry->head->next->next->next->next->next->next->next->desc.sniff, Pdf_sniff);
    DocType_freeRegistry(ctx, registry);
    ctx->docHandlers = nullptr;
}

} // namespace

// With the codecs registered, picture files open as image documents by
// their content (and by MIME type), whatever their names.
TEST_F(FixtureRecognitionTest, PicturesGoToTheImageHandlerByContent)
{
    ASSERT_EQ(ImageStore_acquire(ctx, ImageStore_noWorkers, 4), Res_ok);
    ASSERT_EQ(Edr_App_registerImageCodecs(ctx), Res_ok);
    struct Case {
        const char *path;
        const char *mime;
    } cases[] = {
        {"/types/image.png", "image/png"},
        {"/images/gif/still.gif", "image/gif"},
        {"/images/gif/loop2.gif", "image/gif"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        Url *u = url(std::string("file://root") + VEXLAN_FIXTURES + c.path);
        ASSERT_NE(u, nullptr);
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_open(ctx, u, 0x31, &h, &accepted), Res_ok);
        const char16_t *mime = nullptr;
        Edr_HandlerDesc *d = nullptr;
        EXPECT_EQ(DocType_recognise(ctx, h, &mime, &d), Res_ok);
        EXPECT_EQ(indexOf(d), kImage);
        EXPECT_EQ(S(mime), c.mime);
        EXPECT_EQ(positionOf(h), 0u);
        EXPECT_EQ(Vfs_close(h), 0);
        Url_free(u);
    }
    ImageStore_release(ctx);
}

// The image handler on its own: its MIME table, content judged by the
// store's codecs past empty slots, short data, its private word.
TEST_F(FixtureRecognitionTest, TheImageHandlersOperations)
{
    struct MimeCase {
        const char16_t *mime;
        int32_t score;
    } mimes[] = {
        {u"image/gif", 100},
        {u"image/jpeg", 100},
        {u"image/pjpeg", 100},
        {u"image/png", 100},
        {u"image/bmp", 100},
        {u"image/vnd.wap.wbmp", 100},
        {u"image/x-ms-bmp", 100},
        {u"video/x-msvideo", 100},
        {u"IMAGE/GIF", 0},
        {u"image/gif2", 0},
        {u"image/gi", 0},
        {u"text/plain", 0},
        {nullptr, 0},
    };
    Edr_HandlerDesc desc{};
    ASSERT_EQ(ImageDA_register(ctx, &desc), Res_ok);
    ASSERT_NE(desc.priv, nullptr);
    EXPECT_EQ(*static_cast<int32_t *>(desc.priv), 0) << "ImageDA_WaitAnim is 0 by default";
    for (const MimeCase &c : mimes) {
        int32_t score = -1;
        EXPECT_EQ(ImageDA_matchMime(ctx, &desc, c.mime, &score), Res_ok);
        EXPECT_EQ(score, c.score) << S(c.mime);
    }
    // A GIF codec behind an empty first slot still judges the content.
    ASSERT_EQ(ImageStore_acquire(ctx, ImageStore_noWorkers, 4), Res_ok);
    ctx->imageStore->codecs[1] = Codec_gifDescriptor();
    struct SniffCase {
        const char *path;
        int32_t score;
        uint32_t type;
    } sniffs[] = {
        {"/images/gif/still.gif", 100, 10},
        {"/types/empty.bin", 0, 0}, // fewer than 12 bytes
        {"/types/image.png", 0, 0}, // no PNG codec here
    };
    for (const SniffCase &c : sniffs) {
        SCOPED_TRACE(c.path);
        Url *u = url(std::string("file://root") + VEXLAN_FIXTURES + c.path);
        ASSERT_NE(u, nullptr);
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_open(ctx, u, 0x31, &h, &accepted), Res_ok);
        int32_t score = -1;
        uint32_t type = 99;
        EXPECT_EQ(ImageDA_sniff(ctx, &desc, h, &score, &type), Res_ok);
        EXPECT_EQ(score, c.score);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(positionOf(h), 0u) << "the peeked bytes are given back";
        EXPECT_EQ(Vfs_close(h), 0);
        Url_free(u);
    }
    ImageStore_release(ctx);
    ImageDA_close(ctx, &desc);
    EXPECT_EQ(desc.priv, nullptr);
    ImageDA_close(ctx, &desc);
    EXPECT_EQ(ImageDA_docType(6), 10u);
    EXPECT_EQ(ImageDA_docType(7), 16u);
    EXPECT_EQ(ImageDA_docType(9), 0u);
}

// A placeholder setting names a registered memory block by its id; an id
// that names no block leaves its slot empty, and loading goes on.
TEST_F(FileFixture, ImageDocRegistersOnlyWithARegistry)
{
    EXPECT_EQ(ImageDoc_register(nullptr), 0);
    ASSERT_EQ(ctx->docHandlers, nullptr);
    EXPECT_EQ(ImageDoc_register(ctx), 0);
    DocTypeRegistry *registry = nullptr;
    ASSERT_EQ(DocType_newRegistry(ctx, &registry), Res_ok);
    ctx->docHandlers = registry;
    EXPECT_EQ(ImageDoc_register(ctx), 1);
    ASSERT_NE(registry->head, nullptr);
    EXPECT_EQ(registry->head->next, nullptr);
    ctx->docHandlers = nullptr;
    DocType_freeRegistry(ctx, registry);
}

TEST_F(FixtureRecognitionTest, PlaceholderSettingsNameMemoryBlocks)
{
    FILE *f = fopen((std::string(VEXLAN_FIXTURES) + "/images/gif/still.gif").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    static uint8_t block[4096];
    size_t n = fread(block, 1, sizeof block, f);
    fclose(f);
    uint32_t id = 0;
    ASSERT_EQ(AlienFile_ramRegister(ctx, block, n, 0, nullptr, &id), Res_ok);
    ConfigStore *saved = ctx->config;
    ctx->config = Config_createStore(ctx, u"x");
    ASSERT_NE(ctx->config, nullptr);
    char text[64];
    snprintf(text, sizeof text, "RAM:%08x/%08x/gif", id, unsigned(n));
    std::u16string good(text, text + strlen(text));
    snprintf(text, sizeof text, "RAM:%08x/%08x/gif", id + 1000, unsigned(n));
    std::u16string unknown(text, text + strlen(text));
    Config_setUstrA(ctx, ctx->config, nullptr, "Vexlan_corruptImagePlaceholder", good.c_str(), 0);
    Config_setUstrA(ctx, ctx->config, nullptr, "Vexlan_missingImagePlaceholder", unknown.c_str(),
                    0);
    ASSERT_EQ(ImageStore_acquire(ctx, ImageStore_noWorkers, 4), Res_ok);
    ASSERT_EQ(Edr_App_registerImageCodecs(ctx), Res_ok);
    EXPECT_EQ(Image_loadPlaceholders(ctx), Res_ok);
    PixelBuf *corrupt = ctx->imageStore->placeholders[ImageReason_decode];
    ASSERT_NE(corrupt, nullptr);
    EXPECT_EQ(corrupt->width, 23);
    EXPECT_EQ(corrupt->height, 17);
    EXPECT_EQ(ctx->imageStore->placeholders[ImageReason_source], nullptr) << "no block has that id";
    ImageStore_release(ctx);
    AlienFile_ramRelease(ctx, block);
    Config_freeStore(ctx, ctx->config);
    ctx->config = saved;
}
