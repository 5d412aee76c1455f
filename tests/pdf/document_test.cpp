// Opening PDF files: every fixture opens (or fails) as its manifest says;
// the base offset of files with a preamble; incremental updates; hostile
// files that must end with an error, not a hang or an exhausted stack; the
// cross-reference readers' limits and the rebuilding of tables that
// cannot be read; the object store's flushes; the page
// loop of a translation; and running out of memory at every allocation.
#include <algorithm>
#include <string>

#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "pdf/lexer.h"
#include "tests/pdf/pdf_fixture.h"

namespace {

class PdfOpenTest : public PdfDocFixture {};

TEST_F(PdfOpenTest, EveryFixtureOpensAsItsManifestSays)
{
    listen({});
    for (const PdfFixtureCase &c : pdfFixtureCases()) {
        std::string bytes = readPdfFixture(c.file);
        answers = {{PdfSec_answerOk, c.password}};
        questions = 0;
        int result = withDoc(bytes, [&](PdfDoc *doc) {
            // Every entry resolves, or fails cleanly.
            for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next)
                for (uint32_t i = 0; i < s->count; i++)
                    object(doc, s->first + i);
        });
        EXPECT_EQ(result, c.result) << c.file;
        if (c.result == 0) {
            EXPECT_EQ(questions, c.password.empty() ? 0u : 1u) << c.file;
        }
    }
}

TEST_F(PdfOpenTest, OffsetsCountFromTheHeaderAfterAPreamble)
{
    std::string bytes = readPdfFixture("junk-1031.pdf");
    EXPECT_EQ(withDoc(bytes,
                      [&](PdfDoc *doc) {
                          EXPECT_EQ(doc->lexer->base, 1031u);
                          EXPECT_FLOAT_EQ(doc->version, 1.4f);
                          EXPECT_EQ(describe(object(doc, 5)), "string version one");
                          EXPECT_NE(doc->catalog, nullptr);
                      }),
              0);
    // "%!PS-Adobe-3.0 PDF-1.2" announces a PDF file too.
    std::string ps = pdfFile(pdfObjects(), " /Root 1 0 R", "%!PS-Adobe-3.0 PDF-1.2\n");
    EXPECT_EQ(withDoc(ps, [](PdfDoc *doc) { EXPECT_FLOAT_EQ(doc->version, 1.2f); }), 0);
    std::string noVersion = pdfFile(pdfObjects(), " /Root 1 0 R", "%PDF-1\n");
    EXPECT_EQ(withDoc(noVersion, [](PdfDoc *) {}), Res_pdfSyntax);
}

TEST_F(PdfOpenTest, TheNewestDefinitionWinsAndFreedObjectsReadAsNull)
{
    std::string bytes = readPdfFixture("incremental.pdf");
    EXPECT_EQ(withDoc(bytes,
                      [&](PdfDoc *doc) {
                          int sections = 0;
                          for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next)
                              sections += s->first == 0;
                          EXPECT_EQ(sections, 1) << "object 0 is in the oldest section only";
                          EXPECT_EQ(object(doc, 5), nullptr) << "freed by the last update";
                          PdfObj *six = object(doc, 6);
                          EXPECT_EQ(describe(six), "array [unresolved 5 0, string six]");
                          PdfObj *first = nullptr;
                          EXPECT_EQ(Pdf_Obj_arrayGet(doc, 0, six, &first), Res_ok);
                          EXPECT_EQ(describe(first), "null");
                          PdfObj *four = object(doc, 4);
                          ASSERT_NE(four, nullptr);
                          std::string data = bytes.substr(four->value.stream->offset, 11);
                          EXPECT_EQ(data, "1 1 m 2 2 l") << "the update's stream";
                          PdfObj *five = nullptr;
                          EXPECT_EQ(Pdf_Obj_dictGet(doc, "Five", object(doc, 7), &five), Res_ok);
                          EXPECT_EQ(five, nullptr);
                      }),
              0);
}

TEST_F(PdfOpenTest, HostileFilesEndWithAnErrorInsteadOfHanging)
{
    auto check = [&](const char *file, uint32_t number, int expect) {
        std::string bytes = readPdfFixture(file);
        EXPECT_EQ(withDoc(bytes,
                          [&](PdfDoc *doc) {
                              int err = -1;
                              EXPECT_EQ(object(doc, number, &err), nullptr) << file;
                              EXPECT_EQ(err, expect) << file;
                              uint32_t type = 99;
                              PdfXrefEntry *e = Pdf_Xref_find(doc, number, 0);
                              PdfObj ref{PdfObj_indirect, {}, nullptr};
                              ref.value.entry = e;
                              EXPECT_EQ(Pdf_Obj_getType(doc, &ref, &type), expect) << file;
                          }),
                  0)
            << file;
    };
    check("self-reference.pdf", 5, Res_pdfSyntax);
    check("cycle.pdf", 5, Res_pdfSyntax);
    check("cycle.pdf", 6, Res_pdfSyntax);
    check("nest.pdf", 5, Res_pdfSyntax);

    std::string loop = readPdfFixture("prev-loop.pdf");
    EXPECT_EQ(
        withDoc(loop,
                [&](PdfDoc *doc) { EXPECT_EQ(describe(object(doc, 5)), "string version two"); }),
        0);

    std::string tree = readPdfFixture("nametree-loop.pdf");
    EXPECT_EQ(withDoc(tree,
                      [&](PdfDoc *doc) {
                          struct {
                              PdfString s;
                              char text[2];
                          } name{{1}, "m"};
                          PdfObj *out = reinterpret_cast<PdfObj *>(1);
                          EXPECT_EQ(Pdf_Doc_findNamedDest(doc, &name.s, &out), Res_ok);
                          EXPECT_EQ(out, nullptr);
                      }),
              0);
}

// A file whose cross-reference section is the text given.
std::string withXref(const std::string &section, const std::string &objects = "")
{
    std::string d = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n" + objects;
    size_t at = d.size();
    return d + section + "trailer\n<< /Root 1 0 R >>\nstartxref\n" + std::to_string(at) +
           "\n%%EOF\n";
}

TEST_F(PdfOpenTest, CrossReferenceEntriesAreCheckedAndOffsetsReadUnsigned)
{
    std::string big =
        withXref("xref\n0 3\n0000000000 65535 f \n0000000009 00000 n \n3000000000 00000 n \n");
    EXPECT_EQ(withDoc(big,
                      [&](PdfDoc *doc) {
                          PdfXrefEntry *e = Pdf_Xref_find(doc, 2, 0);
                          ASSERT_NE(e, nullptr);
                          EXPECT_EQ(e->offset, 3000000000u) << "held positive in 64 bits";
                          int err = 0;
                          EXPECT_EQ(object(doc, 2, &err), nullptr);
                          EXPECT_NE(err, Res_ok) << "nothing lies there";
                      }),
              0);
    // A table that cannot be read is rebuilt from the file's object
    // headers and trailer; a generation past 65535 is held as 65535.
    struct Case {
        const char *section;
        uint32_t rebuilt;
    } cases[] = {
        {"xref\n0 2\n0000000000 65535 f \n99999999999999999999 00000 n \n", 1},
        // The trailer's "1 0 R" names a generation the entry does not have.
        {"xref\n0 2\n0000000000 65535 f \n0000000009 99999 n \n", 1},
        {"xref\n0 2\n0000000000 65536 f \n0000000009 00000 n \n", 0},
        {"xref\n0 2\n0000000000 65535 f \n0000000009 00000 x \n", 1},
        {"xref\n0 2\n0000000000 65535 f \n-9 00000 n \n", 1},
        {"xerf\n0 1\n0000000000 65535 f \n", 1},
        // A count far beyond the file is cut down to what the file could
        // hold (no giant allocation): the "trailer" where an entry should
        // be fails the table.
        {"xref\n0 4000000000\n0000000000 65535 f \n0000000009 00000 n \n", 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(withDoc(withXref(c.section),
                          [&](PdfDoc *doc) {
                              EXPECT_EQ(doc->rebuilt, c.rebuilt) << c.section;
                              EXPECT_NE(doc->catalog, nullptr) << c.section;
                              PdfXrefEntry *zero = Pdf_Xref_find(doc, 0, -1);
                              if (!c.rebuilt && zero) {
                                  EXPECT_LE(zero->generation, 65535) << c.section;
                              }
                          }),
                  0)
            << c.section;
    std::string high = "%PDF-1.4\n1 70000 obj\n<< /Type /Catalog >>\nendobj\nxref\n0 2\n"
                       "0000000000 65535 f \n0000000009 70000 n \ntrailer\n<< /Root 1 70000 R >>\n"
                       "startxref\n49\n%%EOF\n";
    EXPECT_EQ(withDoc(high,
                      [&](PdfDoc *doc) {
                          PdfXrefEntry *e = Pdf_Xref_find(doc, 1, 70000);
                          ASSERT_NE(e, nullptr) << "a reference of the same generation finds it";
                          EXPECT_EQ(e->generation, 65535);
                          EXPECT_EQ(doc->rebuilt, 0u);
                          EXPECT_NE(doc->catalog, nullptr);
                      }),
              0);
    // An empty first subsection ends the section; an empty later one is
    // skipped.
    std::string empty = withXref(
        "xref\n0 2\n0000000000 65535 f \n0000000009 00000 n \n5 0\n7 1\n0000000009 00000 n \n");
    EXPECT_EQ(withDoc(empty, [&](PdfDoc *doc) { EXPECT_NE(Pdf_Xref_find(doc, 7, 0), nullptr); }),
              0);
}

TEST_F(PdfOpenTest, AFileWithoutItsTailOrWithAWrongOffsetIsRebuilt)
{
    std::string file = pdfFile(pdfObjects());
    auto rebuilt = [&](const std::string &bytes) {
        uint32_t flag = 99;
        int result = withDoc(bytes, [&](PdfDoc *doc) {
            flag = doc->rebuilt;
            EXPECT_NE(doc->catalog, nullptr);
        });
        return result == 0 ? int(flag) : -result;
    };
    EXPECT_EQ(rebuilt(file + std::string(1000, ' ')), 0) << "the tail within the last 1032 bytes";
    EXPECT_EQ(rebuilt(file + std::string(1032, ' ')), 1) << "the tail too far from the end";
    EXPECT_EQ(rebuilt(file.substr(0, file.rfind("%%EOF"))), 1) << "no %%EOF";
    std::string wrong = file;
    size_t at = wrong.rfind("startxref\n") + 10;
    wrong.replace(at, wrong.find('\n', at) - at, "9");
    EXPECT_EQ(rebuilt(wrong), 1) << "no xref at the offset";
    EXPECT_EQ(rebuilt(file.substr(0, file.find("xref\n"))), 1) << "cut before the table";
    EXPECT_EQ(withDoc("", [](PdfDoc *) {}), Res_pdfNoHeader);
    EXPECT_EQ(withDoc("%PDF-1.4\nnothing here\n%%EOF\n", [](PdfDoc *) {}), Res_pdfXrefDamaged);
    // Objects but no root anywhere: nothing to show.
    EXPECT_EQ(withDoc("%PDF-1.4\n1 0 obj\n(one)\nendobj\n", [](PdfDoc *) {}), Res_pdfXrefDamaged);
}

TEST_F(PdfOpenTest, ACatalogueWrittenInTheTrailerOutlivesTheFlush)
{
    std::string file = pdfFile({{1, "(one)"}}, " /Root << /Type /Catalog /Pages 7 >>");
    EXPECT_EQ(withDoc(file,
                      [](PdfDoc *doc) {
                          Pdf_Doc_flushCache(doc, nullptr, 1);
                          EXPECT_EQ(doc->trailer, nullptr);
                          PdfObj *pages = nullptr;
                          EXPECT_EQ(Pdf_Obj_dictGet(doc, "Pages", doc->catalog, &pages), Res_ok);
                          EXPECT_EQ(describe(pages), "int 7");
                      }),
              0);
    EXPECT_EQ(
        withDoc(pdfFile({{1, "(one)"}}, ""), [](PdfDoc *doc) { EXPECT_EQ(doc->catalog, nullptr); }),
        0)
        << "no Root: open, without a catalogue";
}

TEST_F(PdfOpenTest, FlushesDropUnpinnedObjectsOnceEnoughAreCached)
{
    std::map<uint32_t, std::string> extra;
    for (uint32_t n = 3; n < 3 + 320; n++)
        extra[n] = "[" + std::to_string(n) + "]";
    std::string file = pdfFile(pdfObjects(extra));
    EXPECT_EQ(withDoc(file,
                      [&](PdfDoc *doc) {
                          for (uint32_t n = 3; n < 3 + 10; n++)
                              object(doc, n);
                          uint32_t few = doc->cachedCount;
                          Pdf_Doc_flushCache(doc, nullptr, 0);
                          EXPECT_EQ(doc->cachedCount, few) << "below 301 nothing goes";
                          for (uint32_t n = 3; n < 3 + 320; n++)
                              object(doc, n);
                          EXPECT_GE(doc->cachedCount, 301u);
                          Pdf_Doc_flushCache(doc, nullptr, 0);
                          EXPECT_EQ(doc->cachedCount, 1u) << "the catalogue is pinned";
                          EXPECT_NE(Pdf_Xref_find(doc, 1, 0)->cached, nullptr);
                          EXPECT_EQ(Pdf_Xref_find(doc, 3, 0)->cached, nullptr);
                          EXPECT_EQ(doc->freeCount, 100u) << "released records refill the list";
                          EXPECT_EQ(describe(object(doc, 3)), "array [int 3]") << "parsed again";
                          EXPECT_EQ(doc->cachedCount, 2u);
                          Pdf_Doc_flushCache(doc, nullptr, 1);
                          EXPECT_EQ(doc->cachedCount, 1u) << "a forced flush drops them at once";
                      }),
              0);
}

TEST_F(PdfOpenTest, TranslationCountsPagesAndRefusesNone)
{
    // A count no table could hold is cut down to the objects there are.
    for (int count : {0, 3, -2, 2000000000}) {
        std::string file = pdfFile(pdfObjects({}, count));
        run([&] {
            Edr_Doc *edoc = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &edoc, nullptr), 0);
            VfsHandle *h = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx(), reinterpret_cast<const uint8_t *>(file.data()),
                                     file.size(), 0, Vfs_modeRead | Vfs_modeSeekable, &h,
                                     &accepted),
                      0);
            PdfDoc *doc = nullptr;
            ASSERT_EQ(Pdf_openDocument(ctx(), &doc, h, edoc, 0), 0);
            // The Pages root has no Kids: the first page is not in the tree.
            EXPECT_EQ(Pdf_translateDocument(doc),
                      count > 0 ? int(Res_pdfPageRange) : int(Res_pdfNoPages))
                << count;
            EXPECT_EQ(doc->currentPage, count > 0 ? 1u : 0u)
                << "the loop ends at the first failed page";
            Pdf_Doc_deferError(doc, 77);
            Pdf_Doc_deferError(doc, 78);
            EXPECT_EQ(Pdf_pageTranslate(doc, 1), int(Res_pdfPageRange))
                << "the page's own error first";
            EXPECT_EQ(doc->deferredError, 0);
            Pdf_Doc_deferError(doc, 77);
            Pdf_Doc_deferError(doc, 78);
            EXPECT_EQ(Pdf_pageTranslate(doc, 0), int(Res_pdfPageRange)) << "page 0 is in no tree";
            EXPECT_EQ(doc->deferredError, 0);
            Pdf_closeDocument(doc, edoc);
            Edr_Doc_release(edoc);
        });
    }
}

TEST_F(PdfOpenTest, RunningOutOfMemoryAnywhereFailsCleanly)
{
    std::string bytes = readPdfFixture("gs.pdf");
    run([&] {
        size_t before = TestHeap_usedBytes();
        for (uint64_t n = 1;; n++) {
            Mem_failAfter(n);
            PdfDoc *doc = nullptr;
            int err = open(bytes, &doc);
            bool resolvedAll = true;
            if (err == Res_ok) {
                for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next) {
                    for (uint32_t i = 0; i < s->count; i++) {
                        int r = Res_ok;
                        object(doc, s->first + i, &r);
                        ASSERT_TRUE(r == Res_ok || r == Res_noMemory) << r;
                        resolvedAll = resolvedAll && r == Res_ok;
                    }
                }
                Pdf_closeDocument(doc, nullptr);
            }
            Mem_failAfter(0);
            ASSERT_EQ(TestHeap_usedBytes(), before) << "allocation " << n;
            if (err == Res_ok && resolvedAll)
                break;
            if (err == Res_ok)
                continue;
            ASSERT_EQ(err, Res_noMemory) << "allocation " << n;
            ASSERT_LT(n, 10000u);
        }
    });
}

} // namespace
