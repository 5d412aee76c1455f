// Fuzz target for presentation text boxes. Input: an options byte, then the
// client-text-box records of a shape. The options pick the shape's flags
// (flips, a missing anchor), a quarter-turn and text-flow property, the
// header/footer record in force with its date format, and whether two
// outline texts are stored. The records are built into a fresh document
// twice, as a shape's text box and by the record parser directly: both must
// succeed or refuse the data cleanly, and nothing may leak once the
// document is gone.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/officeart/escher.h"
#include "office/powerpoint/ppttext.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"

namespace {

using appfuzz::require;

struct Input {
    EngineContext *ctx;
    const uint8_t *data;
    size_t size;
};

EscherPropSet *shapeProps(uint8_t options)
{
    // Quarter turns (137) and text flow (136), ascending by id.
    const uint8_t fopt[12] = {136, 0, uint8_t((options >> 4) & 7), 0, 0, 0,
                              137, 0, uint8_t(options >> 6),       0, 0, 0};
    return Escher_propParse(fopt, sizeof fopt, 2);
}

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    uint8_t options = in->size ? in->data[0] : 0;
    std::vector<uint8_t> records(in->data + (in->size ? 1 : 0), in->data + in->size);

    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    require(Edr_Doc_create(in->ctx, &doc, &root) == 0);
    char16_t stored0[] = u"first\rsecond";
    char16_t stored1[] = u" a\x0b\x0b"
                         u"b\r";
    PptOutlineText outline[2] = {{0, 0, stored0, nullptr, nullptr},
                                 {9, 0, stored1, nullptr, nullptr}};
    char16_t footer[] = u"footer";
    char16_t userDate[] = u"today";
    char16_t symbol[] = u"Symbol";
    char16_t *fonts[1] = {symbol};

    PptContext ppt{};
    ppt.context = in->ctx;
    ppt.doc = doc;
    ppt.textBoxElement = 700;
    ppt.slideNumber = int32_t(uint32_t(options) * 0x9E3779B9u);
    ppt.headerFooterA = HeaderFooterRec{1, 0, uint32_t(options & 15), nullptr, footer};
    ppt.headerFooterB =
        HeaderFooterRec{uint32_t(options & 1), uint32_t(options & 2), 11, userDate, nullptr};
    ppt.fonts = fonts;
    ppt.fontCount = 1;
    if (options & 8) {
        ppt.outlineTexts = outline;
        ppt.outlineTextCount = 2;
    }
    ppt.masterStyles[4][0].para.mask = PptPara_bulletFlags | PptPara_bulletChar;
    ppt.masterStyles[4][0].para.bulletFlags = PptBullet_has;
    ppt.masterStyles[4][0].para.bulletChar = 0xB7;
    require(Ppt_initStyleSheet(&ppt) == 0);

    EscherShape shape{};
    shape.flags = (options & 4) ? 0u : uint32_t(EscherFsp_haveAnchor);
    shape.flags |= (options & 1) ? uint32_t(EscherFsp_flipH) : 0u;
    shape.flags |= (options & 2) ? uint32_t(EscherFsp_flipV) : 0u;
    shape.props = shapeProps(options);
    shape.textbox.bytes = records.data();
    shape.textbox.length = uint32_t(records.size());
    const int32_t anchor[4] = {0x10000, -0x8000, (options & 0x80) ? -0x30000 : 0x30000, 0x18000};
    int err = PptText_buildTextBox(&ppt, root, &shape, anchor, 0x5A0000);
    require(err == 0 || err == 1);
    Escher_propFree(shape.props);

    Edr_Node *group = nullptr;
    require(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 700, &group) == 0);
    err = PptText_parseRecords(&ppt, group, records.data(), uint32_t(records.size()));
    require(err == 0 || err == 1 || err == PptText_errRecord || err == PptText_errOutlineIndex);
    Edr_Node_release(doc, group);

    Ppt_freeStyleTables(&ppt);
    Edr_Doc_release(doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestEngine engine;
    require(TestEngine_open(&engine, size_t(64) << 20));
    Input in{engine.context, data, size};
    appfuzz::runPlain(&engine, body, &in);
    TestEngine_close(&engine);
    return 0;
}
