// Fuzz target for the content-stream interpreter: the input is one content
// stream, run on a fixed 200 x 100 page of a small fixed file (its
// resources name an ExtGState, colour spaces and fonts) without a document
// model. It must end, and nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "pdf/document.h"
#include "pdf/interp.h"
#include "pdf/lexer.h"
#include "pdf/obj.h"
#include "pdf/page.h"
#include "pdf/resources/pdfstream.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

// A file whose object 3 is the page's resources.
const char kFile[] =
    "%PDF-1.4\n"
    "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
    "2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n"
    "3 0 obj\n<< /ExtGState << /G0 << /LW 3 /LC 1 /LJ 2 /ML 4 >> >> "
    "/ColorSpace << /C0 [/Indexed /DeviceRGB 1 <000000FFFFFF>] /C1 /DeviceCMYK >> "
    "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding "
    "<< /BaseEncoding /WinAnsiEncoding /Differences [1 /A /zz 65 /Euro] >> /FirstChar 32 "
    "/LastChar 40 /Widths [250 300 400 500 600 700 800 900] >> "
    "/F2 << /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts "
    "[<< /Subtype /CIDFontType2 /DW 500 /W [1 [600 700] 10 20 300] >>] >> "
    "/F3 << /Type /Font /Subtype /TrueType /BaseFont /Arial,Italic >> "
    "/F4 << /Type /Font /Subtype /CIDFontType0 >> /F5 << /Type /Font >> >> >>\nendobj\n";

std::string makeFile()
{
    std::string s(kFile);
    size_t o1 = s.find("1 0 obj"), o2 = s.find("2 0 obj"), o3 = s.find("3 0 obj");
    size_t xref = s.size();
    char buf[128];
    s += "xref\n0 4\n0000000000 65535 f \n";
    for (size_t o : {o1, o2, o3}) {
        std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", o);
        s += buf;
    }
    std::snprintf(buf, sizeof buf, "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n%zu\n%%%%EOF\n",
                  xref);
    s += buf;
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 16)
        return 0;
    TestHeap &heap = FuzzHeap_get(32 << 20);
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    size_t baseline = TestHeap_usedBytes();

    std::string file = makeFile();
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(file.data()), file.size(), 0,
                           Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) == Res_ok);
    PdfDoc *doc = nullptr;
    require(Pdf_openDocument(nullptr, &doc, h, nullptr, 0) == Res_ok);
    PdfPageAttrs attrs{};
    attrs.mediaBox[2] = attrs.cropBox[2] = 200;
    attrs.mediaBox[3] = attrs.cropBox[3] = 100;
    doc->pageAttrs = &attrs;
    PdfXrefEntry *e = Pdf_Xref_find(doc, 3, 0);
    PdfObj ref{PdfObj_indirect, {}, nullptr};
    ref.value.entry = e;
    PdfObj *res = &ref;
    require(e && Pdf_Obj_resolve(doc, &res) == Res_ok);
    ByteStream *s = nullptr;
    PdfLexer *lx = nullptr;
    PdfInterp *in = nullptr;
    require(Pdf_Stream_openMemory(data, size, &s) == Res_ok);
    require(Pdf_Lex_create(&lx, s) == Res_ok);
    require(Pdf_Interp_create(doc, nullptr, &in) == Res_ok);
    const float m[6] = {1, 0, 0, 1, 5, 5}, box[4] = {0, 0, 150, 80};
    (void)Pdf_Interp_runContent(doc, in, lx, (size & 1) ? m : nullptr, (size & 2) ? box : nullptr,
                                res);
    Pdf_Interp_destroy(doc, in);
    Pdf_Lex_destroy(lx);
    (void)ByteStream_close(s);
    Pdf_Res_popAll(doc);
    doc->pageAttrs = nullptr;
    Pdf_closeDocument(doc, nullptr);

    require(TestHeap_usedBytes() == baseline);
    heap.instance->context = nullptr;
    Mem_free(ctx);
    require(Mem_check() == 0);
    return 0;
}
