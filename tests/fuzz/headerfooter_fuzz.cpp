// Fuzz target for the header and footer parser of spreadsheet pages. Input:
// the header text as UTF-16LE units (a first byte picks the current sheet
// among three and whether the default format has a font). The table is
// built into a fresh document: the build must succeed or report running
// out of memory, every cell's children must be text or data nodes, and
// nothing may leak once the document is gone.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/mem/mem.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "spreadsheet/reader/sheetpage.h"
#include "platform/api/engine.h"
#include "platform/api/request.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/workbook.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

struct Input {
    EngineContext *ctx;
    TestEngine *engine;
    const uint8_t *data;
    size_t size;
};

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    uint8_t pick = in->size ? in->data[0] : 0;
    std::vector<char16_t> text;
    for (size_t i = 1; i + 1 < in->size; i += 2)
        text.push_back(char16_t(in->data[i] | in->data[i + 1] << 8));
    text.push_back(0);

    ExcelWorkbook workbook{};
    ExcelBookItem items[4]{};
    char16_t names[3][4] = {u"One", u"", u"Two"};
    items[0].kind = Excel_itemWorkbook;
    for (int i = 0; i < 3; i++) {
        items[i].next = &items[i + 1];
        items[i + 1].name = names[i];
    }
    workbook.items = items;
    ExcelXf xfs[16]{};
    ExcelFont font{};
    char16_t fontName[] = u"Arial";
    font.height = 0xFFFF;
    font.name = fontName;
    xfs[15].font = (pick & 4) ? &font : nullptr;
    workbook.xfs = xfs;
    workbook.xfCount = 16;

    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    require(Edr_Doc_create(in->ctx, &doc, &root) == 0);
    ExcelLoad load{};
    load.context = in->ctx;
    load.workbook = &workbook;
    load.doc = doc;
    load.root = root;
    load.currentSheet = &items[1 + pick % 3];
    Edr_Node *section = nullptr;
    require(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &section) == 0);
    int err = Excel_HeaderFooter_build(&load, section, text.data());
    require(err == 0 || err == 1);
    if (err == 0) {
        Edr_Node *row = Edr_Node_firstChild(Edr_Node_firstChild(section));
        for (Edr_Node *cell = Edr_Node_firstChild(row); cell; cell = Edr_Node_nextSibling(cell))
            for (Edr_Node *n = Edr_Node_firstChild(cell); n; n = Edr_Node_nextSibling(n))
                require(Edr_Node_type(n) == Edr_NodeType_text ||
                        Edr_Node_type(n) == Edr_NodeType_data);
    }
    Edr_Node_release(doc, section);
    Edr_Doc_release(doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestEngine engine;
    require(TestEngine_open(&engine, size_t(64) << 20));
    Input in{};
    in.ctx = engine.context;
    in.engine = &engine;
    in.data = data;
    in.size = size;
    appfuzz::runPlain(&engine, body, &in);
    TestEngine_close(&engine);
    return 0;
}
