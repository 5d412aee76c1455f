// Fuzz target for the table grid builder: the input bytes describe a tree
// of table parts (tables, row groups, rows, cells, columns, captions and
// plain blocks) with column and row spans of any value; the grid of the
// outermost table is built. The build must succeed or report running out
// of memory, every placed cell must lie inside its table's grid, and
// nothing may leak once the document is gone.
#include <cstdint>
#include <cstdlib>

#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "layout/tablegrid.h"
#include "document/style/style.h"
#include "layout/layout.h"
#include "platform/api/engine.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"

namespace {

// Nodes made at most, so that one input stays quick.
constexpr uint32_t kMaxNodes = 96;
constexpr uint16_t kKeywords[] = {134, 135, 136, 137, 138, 139, 140, 141, 142, 75, 39, 136, 141};

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

int32_t word(const uint8_t *&p, const uint8_t *end)
{
    uint32_t v = 0;
    for (int i = 0; i < 4 && p < end; i++)
        v = v << 8 | *p++;
    return int32_t(v);
}

// A span value of any kind: none, an integer, a length or a percentage.
void addSpan(StyleRule *r, uint32_t id, uint8_t how, const uint8_t *&p, const uint8_t *end)
{
    Prop v{};
    switch (how & 3) {
    case 0: return;
    case 1: Prop_setInt(&v, id, word(p, end)); break;
    case 2: Prop_setLength(&v, id, word(p, end)); break;
    default: Prop_setWord(&v, id, PropType_percent, uint32_t(word(p, end))); break;
    }
    require(StyleRule_appendProp(r, &v) == 0);
}

// Every placed cell lies inside the grid of the table that holds it.
void check(Edr_Node *node, const LayoutExtra *table)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        const LayoutExtra *x = static_cast<const LayoutExtra *>(Edr_Node_getExtra(c));
        const LayoutExtra *holder = table;
        if (x && (x->flags & 0x3FF) == TableKw_table && x->colCount >= 0)
            holder = x;
        if (x && holder && (x->flags & 0x3FF) == TableKw_cell && x->row >= 0) {
            require(x->column >= 0 && x->rowSpan >= 1 && x->columnSpan >= 1);
            require(x->rowSpan <= int32_t(Table_maxRowSpan) &&
                    x->columnSpan <= int32_t(Table_maxColumnSpan));
            require(int64_t(x->row) + x->rowSpan <= holder->rowCount);
            require(int64_t(x->column) + x->columnSpan <= holder->colCount);
        }
        check(c, holder);
    }
}

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    require(Edr_Doc_create(in->ctx, &doc, &root) == 0);
    Edr_Node *table = nullptr;
    require(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &table) == 0);
    StyleRule *tr = nullptr;
    require(StyleRule_create(&tr) == 0);
    Prop d{};
    Prop_setType(&d, 34, 134);
    require(StyleRule_appendProp(tr, &d) == 0);
    require(Edr_Node_setPropList(doc, table, 2, tr) == 0);
    Edr_Node *current = table;
    const uint8_t *p = in->data, *end = in->data + in->size;
    for (uint32_t made = 0; p < end && made < kMaxNodes;) {
        uint8_t op = *p++;
        if (op >= 0xF0) {
            if (current != table)
                current = Edr_Node_parent(current);
            continue;
        }
        Edr_Node *n = nullptr;
        require(Edr_Node_createGroup(doc, current, Edr_Insert_lastChild, 0, &n) == 0);
        made++;
        StyleRule *r = nullptr;
        require(StyleRule_create(&r) == 0);
        Prop_setType(&d, 34, kKeywords[(op & 0x0F) % (sizeof(kKeywords) / sizeof(kKeywords[0]))]);
        require(StyleRule_appendProp(r, &d) == 0);
        addSpan(r, 97, uint8_t(op >> 4), p, end);
        addSpan(r, 98, uint8_t(op >> 6), p, end);
        require(Edr_Node_setPropList(doc, n, 2, r) == 0);
        if (op & 0x80)
            current = n;
    }
    TableBuilder builder{};
    TableBuilder_init(&builder, doc);
    Edr_Doc_readLock(doc);
    Edr_Style *s = nullptr;
    require(Edr_Style_computeForNode(doc, &s, nullptr, table) == 0);
    int err = Table_buildGrid(&builder, table, s);
    require(err == 0 || err == 1);
    if (err == 0)
        check(table, static_cast<const LayoutExtra *>(Edr_Node_getExtra(table)));
    Edr_Style_release(s);
    Edr_Doc_readUnlock(doc);
    Table_dropExtras(in->ctx, table);
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
