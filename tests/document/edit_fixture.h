// Synthetic flowing-text documents for the selection and editing tests:
// paragraphs (element 10, rule key 1: display block) holding runs
// (element 20) holding text, with the loader's two node tests installed,
// a compact tree dump, and page views of laid-out runs with a fixed
// advance per character (fake_select.h).
#pragma once

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "tests/document/style_fixture.h"

namespace edittest {

enum : uint32_t {
    kBlock = 10,    // paragraph style word
    kRun = 20,      // run style word
    kBlockKey = 1,  // display block
    kPlainKey = 2,  // a plain run
    kHiddenKey = 3, // property 34 of type 0: hidden text
    kWholeKey = 4,  // property 123: selected whole
    kBoldKey = 5,   // another plain run format
};

// The node refused by the loader's node test (null: none).
inline Edr_Node *&refused()
{
    static Edr_Node *node = nullptr;
    return node;
}

inline int nodeTest(Edr_Doc *, intptr_t word, intptr_t *out)
{
    *out = reinterpret_cast<Edr_Node *>(word) == refused() ? 0 : 1;
    return 0;
}

inline int ancestorTest(Edr_Doc *, Edr_Node *, int *flag)
{
    *flag = 1;
    return 0;
}

// Installs the tests and the registered rules.
inline void setUpDoc(EngineContext *ctx, Edr_Doc *doc)
{
    using namespace styletest;
    refused() = nullptr;
    Edr_Doc_setNodeTest(doc, nodeTest);
    Edr_Doc_setAncestorTest(doc, ancestorTest);
    Prop hidden{};
    Prop_setType(&hidden, 34, 0);
    sheet(ctx, doc, 0,
          {rule({kw(34, 39)}, {{kBlockKey, 0}}, 10), rule({num(92, 1)}, {{kPlainKey, 0}}, 10),
           rule({hidden}, {{kHiddenKey, 0}}, 10), rule({num(123, 1)}, {{kWholeKey, 0}}, 10),
           rule({num(92, 2)}, {{kBoldKey, 0}}, 10)});
}

// Nodes made here keep their reference (a node without one is dead as an
// anchor); the document's teardown makes it moot.
inline Edr_Node *group(Edr_Doc *doc, Edr_Node *parent, uint32_t element, uint32_t id)
{
    Edr_Node *g = styletest::group(doc, parent, element);
    const uint32_t ids[2] = {id, 0};
    EXPECT_EQ(Edr_Node_setIds(doc, g, ids, 2), 0);
    return g;
}

inline Edr_Node *text(Edr_Doc *doc, Edr_Node *parent, const std::u16string &s)
{
    Edr_Node *t = nullptr;
    EXPECT_EQ(
        Edr_Node_createText(doc, parent, Edr_Insert_lastChild, &t, s.data(), uint32_t(s.size())),
        0);
    return t;
}

// A paragraph with one run per string (format kPlainKey) as the last
// child of root, its nodes without references; the texts in order into
// *texts when given.
inline Edr_Node *para(Edr_Doc *doc, Edr_Node *root, std::vector<std::u16string> runs,
                      std::vector<Edr_Node *> *texts = nullptr, std::vector<uint32_t> keys = {})
{
    Edr_Node *p = group(doc, root, kBlock, kBlockKey);
    std::vector<Edr_Node *> made = {p};
    for (size_t i = 0; i < runs.size(); i++) {
        Edr_Node *r = group(doc, p, kRun, i < keys.size() ? keys[i] : uint32_t(kPlainKey));
        Edr_Node *t = text(doc, r, runs[i]);
        made.push_back(r);
        made.push_back(t);
        if (texts)
            texts->push_back(t);
    }
    // As a loader leaves them: the tree holds no reference.
    for (Edr_Node *n : made)
        Edr_Node_release(doc, n);
    return p;
}

inline std::string utf8(const char16_t *s, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; i++) {
        char16_t c = s[i];
        if (c == 0x0B)
            out += "|";
        else if (c == 0xA0)
            out += "_";
        else if (c < 128)
            out += char(c);
        else
            out += "?";
    }
    return out;
}

// The tree under node: a group as "<style:id children>", text quoted
// ("|" for VT, "_" for the placeholder).
inline std::string dump(Edr_Node *node)
{
    if (!node)
        return "";
    if (Edr_Node_type(node) == Edr_NodeType_text) {
        Edr_TextNode *t = Edr_Node_textPayload(node);
        return "\"" + utf8(t->chars, t->length) + "\"";
    }
    if (Edr_Node_type(node) != Edr_NodeType_group)
        return "#" + std::to_string(Edr_Node_type(node));
    Edr_Group *g = Edr_Node_group(node);
    std::string s = "<" + std::to_string(g->element) + ":" + std::to_string(g->ids ? g->ids[0] : 0);
    for (Edr_Node *c = g->firstChild; c; c = c->next)
        s += " " + dump(c);
    return s + ">";
}

inline std::string body(Edr_Doc *doc)
{
    std::string s;
    for (Edr_Node *c = Edr_Node_firstChild(Edr_Doc_root(doc)); c; c = c->next)
        s += (s.empty() ? "" : " ") + dump(c);
    return s;
}

// The current selection as "text of each node [start,end) caret@focus".
inline std::string selection(Edr_Doc *doc)
{
    Edr_Selection *s = nullptr;
    EXPECT_EQ(Edr_Sel_copy(doc, &s), 0);
    if (!s)
        return "none";
    std::string out;
    for (uint32_t i = 0; i < s->nodes.count; i++) {
        Edr_Node *n = s->nodes.items[i];
        out += (i ? " " : "") + dump(n);
    }
    out += " [" + std::to_string(s->startOffset) + "," + std::to_string(s->endOffset) + ")";
    if (s->focusNode)
        out += " caret " + std::to_string(s->caretOffset) + "@" + dump(s->focusNode);
    if (s->anchorAtEnd)
        out += " back";
    Edr_Sel_free(doc, s);
    return out;
}

} // namespace edittest
