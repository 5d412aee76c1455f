// The viewer's PDF open path: the page count it reports, when the PDF is
// kept as the document's loader state and when it is closed, and the
// handler's open slot going through it. Every heap byte must come back,
// which also shows that streams and PDFs were closed.
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "pdf/document.h"
#include "pdf/pdf.h"
#include "tests/pdf/pdf_fixture.h"
#include "pdf/pdfopen.h"

namespace {

class PdfImportTest : public PdfDocFixture {
  protected:
    // Opens bytes through Pdf_importOpen into a new document (page on
    // demand or not); check runs on the document before it is released.
    int importBytes(const std::string &bytes, bool onDemand, uint32_t *pages,
                    const std::function<void(Edr_Doc *)> &check)
    {
        int result = -1;
        run([&] {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
            doc->pageOnDemand = onDemand ? 1 : 0;
            if (onDemand) {
                ASSERT_EQ(Edr_Doc_orFeatureFlags(doc, Edr_featurePageOnDemand), 0);
            }
            VfsHandle *h = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx(), reinterpret_cast<const uint8_t *>(bytes.data()),
                                     bytes.size(), 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                                     &accepted),
                      0);
            *pages = 12345;
            result = Pdf_importOpen(ctx(), pages, h, doc, 0);
            EXPECT_EQ(Edr_Doc_getTypeCode(doc), 229u);
            check(doc);
            Pdf_close(doc);
            Edr_Doc_release(doc);
        });
        return result;
    }

    static uint32_t childCount(Edr_Doc *doc)
    {
        uint32_t n = 0;
        for (Edr_Node *c = Edr_Node_firstChild(doc->root); c; c = Edr_Node_nextSibling(c))
            n++;
        return n;
    }
};

TEST_F(PdfImportTest, FailedFirstPageOnDemandReportsNoPagesAndCloses)
{
    // The Pages root has a count but no Kids: page 1 is not in the tree.
    uint32_t pages = 0;
    EXPECT_EQ(importBytes(pdfFile(pdfObjects({}, 3)), true, &pages,
                          [](Edr_Doc *doc) { EXPECT_EQ(Edr_Doc_getLoaderData(doc), nullptr); }),
              int(Res_pdfPageRange));
    EXPECT_EQ(pages, 0u);
    // No pages at all: nothing processed.
    EXPECT_EQ(importBytes(pdfFile(pdfObjects({}, 0)), true, &pages,
                          [](Edr_Doc *doc) { EXPECT_EQ(Edr_Doc_getLoaderData(doc), nullptr); }),
              int(Res_pdfNoPages));
    EXPECT_EQ(pages, 0u);
}

TEST_F(PdfImportTest, WholeConversionClosesBeforeReturningAndKeepsTheTree)
{
    uint32_t pages = 0;
    EXPECT_EQ(importBytes(readPdfFixture("pages/tree.pdf"), false, &pages,
                          [](Edr_Doc *doc) {
                              EXPECT_EQ(Edr_Doc_getLoaderData(doc), nullptr) << "closed at once";
                              EXPECT_GT(childCount(doc), 0u) << "the converted tree stays";
                              EXPECT_EQ(Pdf_step(doc, 4), int(Res_notImplemented))
                                  << "nothing kept for steps";
                          }),
              0);
    EXPECT_EQ(pages, 5u);
}

TEST_F(PdfImportTest, PageOnDemandKeepsThePdfAndConvertsPageFiveLater)
{
    uint32_t pages = 0;
    EXPECT_EQ(importBytes(readPdfFixture("pages/tree.pdf"), true, &pages,
                          [](Edr_Doc *doc) {
                              PdfDoc *pdf = static_cast<PdfDoc *>(Edr_Doc_getLoaderData(doc));
                              ASSERT_NE(pdf, nullptr) << "kept as the loader state";
                              EXPECT_EQ(Pdf_step(doc, 4), 0);
                              EXPECT_EQ(pdf->currentPage, 5u);
                              EXPECT_EQ(Pdf_step(doc, 5), int(Res_pdfPageRange))
                                  << "there is no page 6";
                          }),
              0);
    EXPECT_EQ(pages, 5u);
}

TEST_F(PdfImportTest, FailedOpenClosesTheStream)
{
    uint32_t pages = 0;
    int r = importBytes("not a PDF at all", true, &pages,
                        [](Edr_Doc *doc) { EXPECT_EQ(Edr_Doc_getLoaderData(doc), nullptr); });
    EXPECT_NE(r, 0);
    EXPECT_EQ(pages, 0u);
}

TEST_F(PdfImportTest, HandlerOpenSetsFlagsAndTakesTheSamePath)
{
    std::string bytes = readPdfFixture("pages/tree.pdf");
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        doc->pageOnDemand = 1;
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_openMemory(ctx(), reinterpret_cast<const uint8_t *>(bytes.data()),
                                 bytes.size(), 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted),
                  0);
        ASSERT_EQ(Pdf_open(ctx(), nullptr, nullptr, h, doc, nullptr), 0);
        EXPECT_TRUE(Edr_Doc_testFlags(doc, 4 | 2));
        EXPECT_EQ(Edr_Doc_getTypeCode(doc), 229u);
        EXPECT_NE(Edr_Doc_getLoaderData(doc), nullptr) << "flag 4 makes it page-on-demand";
        Pdf_close(doc);
        EXPECT_EQ(Edr_Doc_getLoaderData(doc), nullptr);
        Edr_Doc_release(doc);
    });
}

} // namespace
