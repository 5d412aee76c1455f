// Fuzz target for editing on the selection: random edit scripts on a
// synthetic flowing-text document. Input: the number of paragraphs (first
// byte, 1 to 4), then commands of an operation byte and its arguments:
//   0 select: text node, hit, caret, mode (0-8)
//   1 replace: caret, unchanged flag, length (0-15), then that many
//     characters from a small alphabet with CR, VT, LF and the placeholder
//   2 delete
//   3 read the selected text
// After every command the tree must stay well formed (the root holds
// blocks, blocks hold runs, runs hold text, none of them empty) and the selection must hold
// live nodes of the tree with offsets inside their text; nothing may leak
// once the document is gone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/worker.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "platform/api/engine.h"
#include "platform/api/request.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (!ok) {
        fprintf(stderr, "edit_fuzz.cpp:%d: requirement failed\n", line);
        abort();
    }
}
#define require(ok) requireAt((ok), __LINE__)

struct Input {
    EngineContext *ctx;
    TestEngine *engine;
    const uint8_t *data;
    size_t size;
};

int accept(Edr_Doc *, intptr_t, intptr_t *out)
{
    *out = 1;
    return 0;
}

int acceptChain(Edr_Doc *, Edr_Node *, int *flag)
{
    *flag = 1;
    return 0;
}

enum : uint32_t { blockStyle = 10, runStyle = 20, blockKey = 1, runKey = 2 };

Edr_Node *group(Edr_Doc *doc, Edr_Node *parent, uint32_t style, uint32_t key)
{
    Edr_Node *g = nullptr;
    require(Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, style, &g) == 0);
    const uint32_t ids[2] = {key, 0};
    require(Edr_Node_setIds(doc, g, ids, 2) == 0);
    return g;
}

void build(Edr_Doc *doc, uint32_t paragraphs, std::vector<Edr_Node *> *held)
{
    StyleRule *block = nullptr, *run = nullptr;
    require(StyleRule_create(&block) == 0 && StyleRule_create(&run) == 0);
    Prop display{}, size{};
    Prop_setType(&display, 34, 39);
    Prop_setInt(&size, 92, 1);
    require(StyleRule_appendProp(block, &display) == 0 &&
            StyleRule_addMatch(block, blockKey, 0, 10) == 0);
    require(StyleRule_appendProp(run, &size) == 0 && StyleRule_addMatch(run, runKey, 0, 10) == 0);
    Request *q = nullptr;
    require(Request_new(Edr_Doc_getApp(doc), 0, &q) == 0);
    require(Request_addItem(q, &block) == 0 && Request_addItem(q, &run) == 0);
    require(Edr_Doc_addRequest(doc, q) == 0);
    Request_release(q);
    Edr_Doc_setNodeTest(doc, accept);
    Edr_Doc_setAncestorTest(doc, acceptChain);
    static const char16_t *const words[] = {u"Hello, world. ", u"two\vlines ", u"end"};
    for (uint32_t p = 0; p < paragraphs; p++) {
        Edr_Node *b = group(doc, Edr_Doc_root(doc), blockStyle, blockKey);
        held->push_back(b);
        for (const char16_t *w : words) {
            Edr_Node *r = group(doc, b, runStyle, runKey);
            held->push_back(r);
            uint32_t n = 0;
            while (w[n])
                n++;
            Edr_Node *t = nullptr;
            require(Edr_Node_createText(doc, r, Edr_Insert_lastChild, &t, w, n) == 0);
            held->push_back(t);
        }
    }
}

void texts(Edr_Node *node, std::vector<Edr_Node *> *out)
{
    if (Edr_Node_type(node) == Edr_NodeType_text)
        out->push_back(node);
    if (Edr_Node_type(node) == Edr_NodeType_group)
        for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c))
            texts(c, out);
}

uint32_t lengthOf(Edr_Node *n)
{
    return Edr_Node_type(n) == Edr_NodeType_text ? Edr_Node_textPayload(n)->length : 0;
}

bool inTree(Edr_Doc *doc, Edr_Node *n)
{
    while (n && Edr_Node_parent(n))
        n = Edr_Node_parent(n);
    return n == Edr_Doc_root(doc);
}

void check(Edr_Doc *doc)
{
    for (Edr_Node *b = Edr_Node_firstChild(Edr_Doc_root(doc)); b; b = Edr_Node_nextSibling(b)) {
        require(Edr_Node_type(b) == Edr_NodeType_group && Edr_Node_group(b)->element == blockStyle);
        require(Edr_Node_firstChild(b) != nullptr);
        for (Edr_Node *r = Edr_Node_firstChild(b); r; r = Edr_Node_nextSibling(r)) {
            require(Edr_Node_type(r) == Edr_NodeType_group &&
                    Edr_Node_group(r)->element == runStyle);
            require(Edr_Node_firstChild(r) != nullptr);
            for (Edr_Node *t = Edr_Node_firstChild(r); t; t = Edr_Node_nextSibling(t))
                require(Edr_Node_type(t) == Edr_NodeType_text);
        }
    }
    Edr_Selection *s = nullptr;
    require(Edr_Sel_copy(doc, &s) == 0);
    if (!s)
        return;
    require(s->nodes.count > 0);
    for (uint32_t i = 0; i < s->nodes.count; i++)
        require(inTree(doc, s->nodes.items[i]));
    require(s->startOffset <= lengthOf(s->nodes.items[0]));
    require(s->endOffset <= lengthOf(s->nodes.items[s->nodes.count - 1]));
    if (s->focusNode)
        require(s->caretOffset <= lengthOf(s->focusNode));
    Edr_Sel_free(doc, s);
}

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    Edr_Doc *doc = nullptr;
    require(Edr_Doc_create(in->ctx, &doc, nullptr) == 0);
    std::vector<Edr_Node *> held;
    build(doc, in->data[0] % 4 + 1, &held);
    static const char16_t alphabet[] = {u'a',  u'b',  u' ',  u'.',
                                        u'\r', u'\v', u'\n', char16_t(0xA0)};
    size_t at = 1;
    auto next = [&]() -> uint8_t { return at < in->size ? in->data[at++] : 0; };
    for (int steps = 0; at < in->size && steps < 64; steps++) {
        uint8_t op = next() % 4;
        if (op == 0) {
            std::vector<Edr_Node *> all;
            texts(Edr_Doc_root(doc), &all);
            uint8_t which = next(), hit = next(), caret = next(), mode = next() % 9;
            if (!all.empty()) {
                int err = Edr_Sel_select(doc, all[which % all.size()], hit % 24, caret % 24, mode);
                require(err == 0 || err == Res_notSelectable);
            }
        } else if (op == 1) {
            uint32_t caret = next() % 20;
            int unchanged = next() & 1;
            uint32_t n = next() % 16;
            char16_t text[16 + 1] = {};
            for (uint32_t i = 0; i < n; i++)
                text[i] = alphabet[next() % 8];
            require(Edr_Sel_replaceText(doc, text, caret, &unchanged) == 0);
        } else if (op == 2) {
            int err = Edr_Sel_deleteText(doc);
            if (err)
                fprintf(stderr, "delete: %d\n", err);
            require(err == 0);
        } else {
            char16_t *text = nullptr;
            uint32_t caret = 0;
            require(Edr_Sel_getText(doc, &text, &caret) == 0);
            uint32_t n = 0;
            while (text && text[n])
                n++;
            require(caret <= n);
            Mem_free(text);
        }
        check(doc);
    }
    Edr_Sel_clear(doc);
    for (Edr_Node *n : held)
        Edr_Node_release(doc, n);
    Edr_Doc_release(doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    TestEngine engine;
    require(TestEngine_open(&engine, size_t(32) << 20));
    Input in{engine.context, &engine, data, size};
    appfuzz::runPlain(&engine, body, &in);
    TestEngine_close(&engine);
    return 0;
}
