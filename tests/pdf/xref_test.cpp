// Cross-reference streams, object streams and rebuilt tables: the row
// decoder, the object-stream pair reader and the file scan on their own;
// files written here (hybrid sections, hostile object streams, several
// definitions of one object); and the fixtures that qpdf, ghostscript and
// LibreOffice wrote or that were damaged on purpose.
#include <array>
#include <string>
#include <vector>

#include "pdf/lexer.h"
#include "pdf/xrefstream.h"
#include "tests/pdf/pdf_fixture.h"

namespace {

class PdfXrefTest : public PdfDocFixture {};

std::string be(uint64_t v, int width)
{
    std::string s;
    for (int i = width - 1; i >= 0; i--)
        s += char((v >> (8 * i)) & 0xFF);
    return s;
}

// An object stream's body: the members {number, text} in order.
std::string objStm(const std::vector<std::pair<uint32_t, std::string>> &members,
                   const std::string &extra = "")
{
    std::string pairs, objects;
    for (auto &[n, text] : members) {
        pairs += std::to_string(n) + " " + std::to_string(objects.size()) + " ";
        objects += text + "\n";
    }
    std::string data = pairs + objects;
    return "<< /Type /ObjStm /N " + std::to_string(members.size()) + " /First " +
           std::to_string(pairs.size()) + " /Length " + std::to_string(data.size()) + extra +
           " >>\nstream\n" + data + "\nendstream";
}

// A file whose one section is a cross-reference stream (widths 1 4 2, no
// filter): the objects at their offsets, and the members given as
// {number, stream, index}.
std::string xrefStreamFile(const std::map<uint32_t, std::string> &objects,
                           const std::vector<std::array<uint32_t, 3>> &members,
                           const std::string &trailer = " /Root 1 0 R")
{
    std::string d = "%PDF-1.5\n";
    std::map<uint32_t, std::string> rows;
    for (auto &[n, body] : objects) {
        rows[n] = "\x01" + be(d.size(), 4) + be(0, 2);
        d += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
    }
    for (auto &m : members)
        rows[m[0]] = "\x02" + be(m[1], 4) + be(m[2], 2);
    uint32_t self = (rows.empty() ? 0 : rows.rbegin()->first) + 1;
    rows[self] = "\x01" + be(d.size(), 4) + be(0, 2);
    std::string data;
    for (uint32_t n = 0; n <= self; n++)
        data += rows.count(n) ? rows[n] : std::string("\x00\x00\x00\x00\x00\xff\xff", 7);
    size_t at = d.size();
    d += std::to_string(self) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(self + 1) +
         " /W [1 4 2] /Length " + std::to_string(data.size()) + trailer + " >>\nstream\n" + data +
         "\nendstream\nendobj\n";
    return d + "startxref\n" + std::to_string(at) + "\n%%EOF\n";
}

std::map<uint32_t, std::string> catalogue()
{
    return {{1, "<< /Type /Catalog /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [] /Count 0 >>"}};
}

void freeRows(PdfXrefSubsection *head)
{
    while (head) {
        PdfXrefSubsection *next = head->next;
        Mem_free(head->entries);
        Mem_free(head);
        head = next;
    }
}

// ------------------------------------------------------------ row decoder

TEST_F(PdfXrefTest, RowsDecodeByTypeAndWidth)
{
    run([] {
        // Rows of widths 1 3 2: free, at an offset, inside stream 9 at index
        // 4, an unknown type, a generation past 65535.
        std::string data = std::string("\x00\x00\x00\x00\xff\xff", 6) +
                           std::string("\x01\x00\x01\x00\x00\x02", 6) +
                           std::string("\x02\x00\x00\x09\x00\x04", 6) +
                           std::string("\x07\x00\x00\x05\x00\x00", 6);
        uint32_t w[3] = {1, 3, 2};
        uint64_t index[2] = {10, 4};
        PdfXrefSubsection *head = nullptr;
        ASSERT_EQ(Pdf_XrefStm_decodeRows(reinterpret_cast<const uint8_t *>(data.data()),
                                         data.size(), w, index, 1, &head),
                  Res_ok);
        ASSERT_NE(head, nullptr);
        EXPECT_EQ(head->first, 10u);
        ASSERT_EQ(head->count, 4u);
        PdfXrefEntry *e = head->entries;
        EXPECT_EQ(e[0].flags, 0);
        EXPECT_EQ(e[0].generation, 65535);
        EXPECT_EQ(e[1].flags, PdfXref_inUse);
        EXPECT_EQ(e[1].offset, 256u);
        EXPECT_EQ(e[1].generation, 2);
        EXPECT_EQ(e[2].flags, PdfXref_inUse | PdfXref_compressed);
        EXPECT_EQ(e[2].offset, PdfXref_packCompressed(9, 4));
        EXPECT_EQ(e[3].flags, 0) << "an unknown type names no object";
        EXPECT_EQ(e[3].number, 13u);
        freeRows(head);

        // Without a type field every row is type 1; a generation of 2^24-1
        // is held as 65535; rows past the data are dropped; two pairs make
        // two subsections.
        std::string rows =
            std::string("\x00\x10\xff\xff\xff", 5) + std::string("\x00\x20\x00\x00\x01", 5);
        uint32_t w2[3] = {0, 2, 3};
        uint64_t two[4] = {0, 1, 7, 5};
        ASSERT_EQ(Pdf_XrefStm_decodeRows(reinterpret_cast<const uint8_t *>(rows.data()),
                                         rows.size(), w2, two, 2, &head),
                  Res_ok);
        ASSERT_NE(head, nullptr);
        EXPECT_EQ(head->entries[0].offset, 16u);
        EXPECT_EQ(head->entries[0].generation, 65535);
        ASSERT_NE(head->next, nullptr);
        EXPECT_EQ(head->next->first, 7u);
        EXPECT_EQ(head->next->count, 1u) << "one row was left for five entries";
        EXPECT_EQ(head->next->entries[0].offset, 32u);
        freeRows(head);
    });
}

TEST_F(PdfXrefTest, RowWidthsOutsideTheLimitsAreRefused)
{
    run([] {
        uint8_t data[32] = {};
        uint64_t index[2] = {0, 1};
        const std::array<uint32_t, 3> bad[] = {{0, 0, 0}, {1, 9, 1}, {9, 1, 1}};
        for (const auto &w : bad) {
            PdfXrefSubsection *head = nullptr;
            EXPECT_EQ(Pdf_XrefStm_decodeRows(data, sizeof data, w.data(), index, 1, &head),
                      Res_pdfSyntax);
            EXPECT_EQ(head, nullptr);
        }
    });
}

// ---------------------------------------------------------- object streams

TEST_F(PdfXrefTest, ObjectStreamPairsStopAtTheFirstNonNumberAndDropOffsetsPastTheData)
{
    std::string data = "5 0 6 3 7 999 8 4 x 9 1 (a)(b)(c)";
    uint32_t numbers[8];
    uint64_t offsets[8];
    uint32_t count = 0;
    ASSERT_EQ(Pdf_ObjStm_readPairs(reinterpret_cast<const uint8_t *>(data.data()), data.size(), 8,
                                   24, numbers, offsets, &count),
              Res_ok);
    ASSERT_EQ(count, 3u) << "7's offset lies past the data; x ends the pairs";
    EXPECT_EQ(numbers[0], 5u);
    EXPECT_EQ(offsets[0], 24u);
    EXPECT_EQ(numbers[1], 6u);
    EXPECT_EQ(offsets[1], 27u);
    EXPECT_EQ(numbers[2], 8u);
    // n limits what is read.
    ASSERT_EQ(Pdf_ObjStm_readPairs(reinterpret_cast<const uint8_t *>(data.data()), data.size(), 1,
                                   24, numbers, offsets, &count),
              Res_ok);
    EXPECT_EQ(count, 1u);
}

TEST_F(PdfXrefTest, MembersOfObjectStreamsResolveThroughACrossReferenceStream)
{
    auto objects = catalogue();
    objects[3] = objStm({{5, "(five)"}, {6, "[5 0 R /Six]"}, {7, "<< /Seven 7 >>"}});
    // Entry 7 names index 0 (which holds 5): the pairs are searched by number.
    std::string file = xrefStreamFile(objects, {{5, 3, 0}, {6, 3, 1}, {7, 3, 0}});
    EXPECT_EQ(withDoc(file,
                      [&](PdfDoc *doc) {
                          EXPECT_EQ(describe(doc->trailer).substr(0, 14), "stream {Type: ");
                          EXPECT_EQ(describe(object(doc, 5)), "string five");
                          EXPECT_EQ(describe(object(doc, 6)), "array [ref 5 0, name Six]");
                          EXPECT_EQ(describe(object(doc, 7)), "dict {Seven: int 7}");
                          ASSERT_NE(doc->objStms, nullptr);
                          EXPECT_EQ(doc->objStms->next, nullptr) << "one stream, decoded once";
                          Pdf_Doc_flushCache(doc, nullptr, 1);
                          EXPECT_EQ(doc->objStms, nullptr);
                          EXPECT_EQ(describe(object(doc, 7)), "dict {Seven: int 7}")
                              << "decoded again";
                      }),
              0);
}

TEST_F(PdfXrefTest, HostileObjectStreamsGiveErrorsNotLoops)
{
    struct Case {
        const char *what;
        std::string body;
        std::array<uint32_t, 3> member;
    } cases[] = {
        // The stream's Length is one of its own members.
        {"its own length",
         "<< /Type /ObjStm /N 1 /First 4 /Length 5 0 R >>\nstream\n5 0 12\nendstream",
         {5, 3, 0}},
        {"a member that is a stream",
         objStm({{5, "<< /Length 1 >>\nstream\nx\nendstream"}}),
         {5, 3, 0}},
        {"not an object stream", "(three)", {5, 3, 0}},
        {"a container that is itself a member", objStm({{5, "(five)"}}), {5, 5, 0}},
        {"a number no pair holds", objStm({{6, "(six)"}}), {5, 3, 0}},
    };
    for (const Case &c : cases) {
        auto objects = catalogue();
        objects[3] = c.body;
        EXPECT_EQ(withDoc(xrefStreamFile(objects, {c.member}),
                          [&](PdfDoc *doc) {
                              int err = Res_ok;
                              PdfObj *five = object(doc, 5, &err);
                              EXPECT_TRUE(err != Res_ok || five == nullptr)
                                  << c.what << ": " << describe(five);
                          }),
                  0)
            << c.what;
    }
}

TEST_F(PdfXrefTest, AHybridSectionsStreamComesBeforeItsClassicEntries)
{
    std::string bytes = readPdfFixture("xref/hybrid.pdf");
    EXPECT_EQ(withDoc(bytes,
                      [&](PdfDoc *doc) {
                          EXPECT_EQ(doc->rebuilt, 0u);
                          EXPECT_EQ(describe(object(doc, 5)), "string inside the object stream")
                              << "the classic table marks 5 free; the stream has it";
                          PdfObj *extra = nullptr;
                          EXPECT_EQ(Pdf_Obj_dictGet(doc, "Extra", doc->catalog, &extra), Res_ok);
                          EXPECT_EQ(describe(extra), "string inside the object stream");
                      }),
              0);
}

TEST_F(PdfXrefTest, StringsInEncryptedObjectStreamsAreDecryptedOnce)
{
    listen({});
    std::string bytes = readPdfFixture("xref/objstm-rc4.pdf");
    EXPECT_EQ(withDoc(bytes,
                      [&](PdfDoc *doc) {
                          ASSERT_NE(doc->security, nullptr);
                          PdfObj *info = nullptr, *title = nullptr;
                          ASSERT_EQ(Pdf_Obj_dictGet(doc, "Info", doc->trailer, &info), Res_ok);
                          ASSERT_NE(info, nullptr);
                          ASSERT_NE(info->owner, nullptr);
                          EXPECT_TRUE(info->owner->flags & PdfXref_compressed);
                          ASSERT_EQ(Pdf_Obj_dictGet(doc, "Title", info, &title), Res_ok);
                          EXPECT_EQ(describe(title), "string Vexlan test (fixtures)");
                      }),
              0);
}

// ------------------------------------------------------------ the fixtures

TEST_F(PdfXrefTest, EveryEntryOfTheWrittenFixturesResolves)
{
    listen({});
    struct Case {
        const char *file;
        uint32_t rebuilt; // the table was rebuilt at open
        bool warned;      // a repair was reported (a rebuild or a corrected offset)
        bool compressed;  // some entry lies in an object stream
    } cases[] = {
        {"xref/objstm.pdf", 0, false, true},     {"xref/linearized.pdf", 0, false, true},
        {"xref/gs-xrefstm.pdf", 0, false, true}, {"xref/lo.pdf", 0, false, false},
        {"xref/gen65536.pdf", 0, false, false},  {"xref/truncated.pdf", 1, true, false},
        {"xref/no-table.pdf", 1, true, false},   {"xref/startxref-wrong.pdf", 1, true, false},
        {"xref/shifted.pdf", 1, true, false},    {"xref/bad-object.pdf", 0, false, false},
    };
    for (const Case &c : cases) {
        std::string bytes = readPdfFixture(c.file);
        EXPECT_EQ(withDoc(bytes,
                          [&](PdfDoc *doc) {
                              EXPECT_EQ(doc->rebuilt, c.rebuilt) << c.file;
                              ASSERT_NE(doc->catalog, nullptr) << c.file;
                              bool compressed = false;
                              for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next)
                                  for (uint32_t i = 0; i < s->count; i++) {
                                      PdfXrefEntry *e = &s->entries[i];
                                      if (!(e->flags & PdfXref_inUse))
                                          continue;
                                      compressed = compressed || (e->flags & PdfXref_compressed);
                                      int err = -1;
                                      PdfObj ref{PdfObj_indirect, {}, nullptr};
                                      ref.value.entry = e;
                                      PdfObj *obj = &ref;
                                      err = Pdf_Obj_resolve(doc, &obj);
                                      EXPECT_EQ(err, Res_ok) << c.file << " object " << e->number;
                                  }
                              EXPECT_EQ(compressed, c.compressed) << c.file;
                              EXPECT_EQ((doc->warned & PdfWarn_repaired) != 0, c.warned) << c.file;
                              PdfObj *pages = nullptr, *count = nullptr;
                              EXPECT_EQ(Pdf_Obj_dictGet(doc, "Pages", doc->catalog, &pages), Res_ok)
                                  << c.file;
                              EXPECT_EQ(Pdf_Obj_dictGet(doc, "Count", pages, &count), Res_ok)
                                  << c.file;
                              EXPECT_NE(count, nullptr) << c.file;
                          }),
                  0)
            << c.file;
    }
    EXPECT_EQ(withDoc(readPdfFixture("xref/junk-only.pdf"), [](PdfDoc *) {}), Res_pdfXrefDamaged);
    EXPECT_EQ(withDoc(readPdfFixture("xref/unknown-handler.pdf"), [](PdfDoc *) {}),
              Res_pdfEncryption);
}

// ------------------------------------------------------------------ rebuild

TEST_F(PdfXrefTest, TheFileScanFindsHeadersAndTrailersAcrossChunks)
{
    std::string text =
        "%PDF-1.4\n12 0 obj\n(a)\nendobj\n 7  3 obj<<>>endobj x9 0 obj 4 0 objstm trailer<<>>";
    PdfScan scan{};
    // In two overlapping chunks, the second starting inside "7  3 obj".
    size_t cut = text.find("3 obj") + 2;
    ASSERT_EQ(Pdf_Scan_addBytes(&scan, reinterpret_cast<const uint8_t *>(text.data()), cut + 4, 0),
              Res_ok);
    ASSERT_EQ(Pdf_Scan_addBytes(&scan, reinterpret_cast<const uint8_t *>(text.data()) + cut - 20,
                                text.size() - (cut - 20), cut - 20),
              Res_ok);
    ASSERT_EQ(scan.count, 2u) << "x9 and objstm are no headers; endobj is no header";
    EXPECT_EQ(scan.hits[0].number, 12u);
    EXPECT_EQ(scan.hits[0].offset, text.find("12 0 obj"));
    EXPECT_EQ(scan.hits[1].number, 7u);
    EXPECT_EQ(scan.hits[1].generation, 3u);
    EXPECT_EQ(scan.hits[1].offset, text.find("7  3"));
    ASSERT_EQ(scan.trailerCount, 1u);
    EXPECT_EQ(scan.trailers[0], text.find("trailer") + 7);
    Mem_free(scan.hits);
    Mem_free(scan.trailers);
}

TEST_F(PdfXrefTest, ARebuiltTableTakesTheLastDefinitionAndTheNewestTrailerWithARoot)
{
    std::string d =
        "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R /V 1 >>\nendobj\n"
        "2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n5 0 obj\n(old)\nendobj\n"
        "trailer\n<< /Root 1 0 R /Info 5 0 R >>\n"
        "5 0 obj\n(new)\nendobj\n8 0 obj\n<< /Type /Catalog /Pages 2 0 R /V 8 >>\nendobj\n"
        "trailer\n<< /Root 8 0 R >>\ntrailer\n<< /Size 3 >>\n";
    EXPECT_EQ(withDoc(d,
                      [&](PdfDoc *doc) {
                          EXPECT_EQ(doc->rebuilt, 1u);
                          EXPECT_TRUE(doc->warned & PdfWarn_repaired);
                          EXPECT_EQ(describe(object(doc, 5)), "string new");
                          PdfObj *v = nullptr;
                          EXPECT_EQ(Pdf_Obj_dictGet(doc, "V", doc->catalog, &v), Res_ok);
                          EXPECT_EQ(describe(v), "int 8") << "the last trailer with a Root";
                      }),
              0);
    // No trailer at all: the object of Type Catalog is the root, and the
    // members of an object stream found by the scan are reached.
    std::string bare = "%PDF-1.5\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R /Extra 6 0 R >>\nendobj\n"
                       "2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n3 0 obj\n" +
                       objStm({{6, "(in a stream)"}}) + "\nendobj\n";
    EXPECT_EQ(withDoc(bare,
                      [&](PdfDoc *doc) {
                          EXPECT_EQ(doc->rebuilt, 1u);
                          PdfObj *extra = nullptr;
                          EXPECT_EQ(Pdf_Obj_dictGet(doc, "Extra", doc->catalog, &extra), Res_ok);
                          EXPECT_EQ(describe(extra), "string in a stream");
                      }),
              0);
}

TEST_F(PdfXrefTest, AnOffsetThatMissesItsObjectIsCorrectedFromTheScan)
{
    // Object 5's entry points at object 6: the scan finds 5 elsewhere.
    std::string file = pdfFile(pdfObjects({{5, "(five)"}, {6, "(six)"}}));
    size_t entry = file.find("xref\n") + 5 + 4 + 20 * 5;
    std::string six = std::to_string(file.find("6 0 obj"));
    file.replace(entry + 10 - six.size(), six.size(), six);
    EXPECT_EQ(withDoc(file,
                      [&](PdfDoc *doc) {
                          EXPECT_EQ(doc->rebuilt, 0u);
                          EXPECT_EQ(describe(object(doc, 5)), "string five");
                          EXPECT_TRUE(doc->warned & PdfWarn_repaired);
                          EXPECT_EQ(describe(object(doc, 6)), "string six");
                      }),
              0);
}

} // namespace
