// Test support for presentation text: a presentation context over a fresh
// document with its style sheet, a text-box group to build into, and a dump
// of what was built.
//
// The dump writes a paragraph (a child of the box) as P[...], a line group
// as L[...], a bullet group as B[...] and any other group (a styled run) as
// R[...]; text as its characters with U+00A0 shown as '~' and a tab as '>'.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/style/stylerule.h"
#include "office/powerpoint/ppttext.h"
#include "platform/api/request.h"
#include "tests/document/edr_fixture.h"

class PptTextFixture : public EdrFixture {
  protected:
    static constexpr uint32_t boxElement = 700;

    // Runs fn with a context over a fresh document (style sheet made) and
    // an empty box group under the root; everything is freed afterwards.
    void withContext(std::function<void(PptContext *, Edr_Node *)> fn,
                     std::function<void(PptContext *)> setup = nullptr)
    {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            PptContext ppt{};
            ppt.context = ctx();
            ppt.doc = doc;
            ppt.textBoxElement = boxElement;
            ppt.headerFooterA.first = 1;
            ppt.headerFooterB.first = 1;
            if (setup)
                setup(&ppt);
            ASSERT_EQ(Ppt_initStyleSheet(&ppt), 0);
            Edr_Node *box = nullptr;
            ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, boxElement, &box), 0);
            fn(&ppt, box);
            Edr_Node_release(doc, box);
            Ppt_freeStyleTables(&ppt);
        });
    }

    static bool hasId(Edr_Node *group, uint32_t id)
    {
        const Edr_Group *g = Edr_Node_group(group);
        for (const uint32_t *p = g->ids; p && *p; p++)
            if (*p == id)
                return true;
        return false;
    }

    static void dumpInto(const PptContext *ppt, Edr_Node *node, int depth, std::u16string *out)
    {
        for (Edr_Node *n = Edr_Node_firstChild(node); n; n = Edr_Node_nextSibling(n)) {
            if (Edr_Node_type(n) == Edr_NodeType_text) {
                const Edr_TextNode *t = Edr_Node_textPayload(n);
                for (uint32_t i = 0; i < t->length; i++)
                    out->push_back(t->chars[i] == 0xA0 ? u'~'
                                   : t->chars[i] == 9  ? u'>'
                                                       : t->chars[i]);
            } else if (Edr_Node_type(n) == Edr_NodeType_group) {
                char16_t label = u'R';
                if (depth == 0)
                    label = u'P';
                else if (Edr_Node_group(n)->element == ppt->textBoxElement)
                    label = u'L';
                else if (hasId(n, ppt->bulletClass))
                    label = u'B';
                out->push_back(label);
                out->push_back(u'[');
                dumpInto(ppt, n, depth + 1, out);
                out->push_back(u']');
            }
        }
    }

    static std::u16string dump(const PptContext *ppt, Edr_Node *box)
    {
        std::u16string out;
        dumpInto(ppt, box, 0, &out);
        return out;
    }

    // The rule of the style sheet registered under id, or null.
    static StyleRule *ruleOf(const PptContext *ppt, uint32_t id)
    {
        for (StyleRule *r = Request_firstItem(ppt->styleSheet); r;
             r = Request_nextItem(ppt->styleSheet, r))
            if (StyleRule_firstKey(r) == id)
                return r;
        return nullptr;
    }

    static std::string fixture(const std::string &name)
    {
        std::string path = std::string(VEXLAN_FIXTURES) + "/presentation/textbox/" + name;
        FILE *f = fopen(path.c_str(), "rb");
        std::string bytes;
        if (!f)
            return bytes;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        fclose(f);
        return bytes;
    }

    static const uint8_t *bytesOf(const std::string &s)
    {
        return reinterpret_cast<const uint8_t *>(s.data());
    }
};
