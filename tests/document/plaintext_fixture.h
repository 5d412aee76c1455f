// Test support for the plain-text importer: a document engine with a
// configuration store, memory streams over test bytes, loading through the
// handler's open on the calling task, and a compact rendering of the tree
// that the tests compare against.
//
// The rendering: a text node is its text in double quotes (U+00A0 shown
// as "~"), a group is "[ids children]" with "<url>" after its ids when it
// has a URL, and a group whose contents were dropped is marked "!".
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/task/timerq.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "document/import/plaintext.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/document/edr_fixture.h"
#include "tests/platform/file_fixture.h"

class TextFixture : public EdrFixture {
  protected:
    void SetUp() override
    {
        EdrFixture::SetUp();
        ctx()->config = Config_createStore(ctx(), u"test");
        ASSERT_NE(ctx()->config, nullptr);
        ASSERT_EQ(TimerQ_startThread(ctx(), ctx()->eventProc), 0);
        desc.matchMime = TextDoc_matchMime;
        desc.open = TextDoc_open;
        desc.step = TextDoc_step;
        desc.close = TextDoc_close;
        desc.release = TextDoc_release;
        desc.acceptsTypeOnly = 1;
        desc.enabled = 1;
    }
    void TearDown() override
    {
        run([this] {
            flushListeners();
            EXPECT_EQ(TimerQ_stopThread(ctx(), ctx()->eventProc), 0);
            Config_freeStore(ctx(), ctx()->config);
            ctx()->config = nullptr;
        });
        EdrFixture::TearDown();
    }

    // Lets the timer thread run what is due (the manager's timers of
    // documents released meanwhile go with it).
    void settle()
    {
        TimerQ_wakeThread(ctx());
        TestEngine_runAll(&e, 100000);
    }

    // Settings (from a task).
    void setInt(const char16_t *domain, const char *key, uint32_t value)
    {
        Config_setIntA(ctx(), ctx()->config, domain, key, value, 0);
    }
    void setText(const char16_t *domain, const char *key, const char16_t *value)
    {
        Config_setUstrA(ctx(), ctx()->config, domain, key, value, 0);
    }
    void pageOnDemand()
    {
        setInt(u"eDR", "page.on.demand", 1);
    }

    // A read-only seekable memory stream over a copy of bytes.
    VfsHandle *memoryStream(const std::string &bytes)
    {
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(bytes.size() ? bytes.size() : 1));
        if (!copy)
            return nullptr;
        memcpy(copy, bytes.data(), bytes.size());
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        if (Vfs_openMemory(ctx(), copy, bytes.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &h,
                           &accepted) != Res_ok)
            return nullptr;
        return h;
    }

    // From a task: a new document whose handler is the text handler (so
    // that its release closes the loader state).
    Edr_Doc *newDoc()
    {
        Edr_Doc *doc = nullptr;
        EXPECT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        if (doc) {
            EXPECT_EQ(Edr_Doc_setHandler(doc, &desc), 0);
        }
        return doc;
    }
    // From a task: opens bytes into doc under its root.
    int open(Edr_Doc *doc, const std::string &bytes)
    {
        VfsHandle *stream = memoryStream(bytes);
        if (!stream)
            return Res_noMemory;
        return desc.open(ctx(), &desc, nullptr, stream, doc, Edr_Doc_root(doc));
    }

    // The rendering of node's subtree (the node itself included).
    static std::string render(Edr_Doc *doc, Edr_Node *node)
    {
        Edr_Doc_readLock(doc);
        std::string out = renderLocked(node);
        Edr_Doc_readUnlock(doc);
        return out;
    }
    // The rendering of the children of root child n (its page); with merge
    // set, adjacent text nodes read as one.
    static std::string page(Edr_Doc *doc, uint32_t n, bool merge = false)
    {
        Edr_Doc_readLock(doc);
        std::string out;
        Edr_Node *g = childAt(Edr_Doc_root(doc), n);
        bool lastText = false;
        for (Edr_Node *c = g ? Edr_Node_firstChild(g) : nullptr; c; c = Edr_Node_nextSibling(c)) {
            std::string r = renderLocked(c);
            bool text = Edr_Node_type(c) == Edr_NodeType_text;
            if (merge && text && lastText)
                out.insert(out.size() - 1, r.substr(1, r.size() - 2));
            else
                out += (out.empty() ? "" : " ") + r;
            lastText = text;
        }
        Edr_Doc_readUnlock(doc);
        return out;
    }
    // The text of root child n's subtree, in order, links included.
    static std::u16string textOf(Edr_Doc *doc, uint32_t n)
    {
        Edr_Doc_readLock(doc);
        std::u16string out;
        collect(childAt(Edr_Doc_root(doc), n), &out);
        Edr_Doc_readUnlock(doc);
        return out;
    }
    // The addresses of the link groups under root child n, in order.
    static std::vector<std::u16string> linksOf(Edr_Doc *doc, uint32_t n)
    {
        Edr_Doc_readLock(doc);
        std::vector<std::u16string> out;
        links(childAt(Edr_Doc_root(doc), n), &out);
        Edr_Doc_readUnlock(doc);
        return out;
    }
    static uint32_t rootChildren(Edr_Doc *doc)
    {
        Edr_Doc_readLock(doc);
        uint32_t n = 0;
        for (Edr_Node *c = Edr_Node_firstChild(Edr_Doc_root(doc)); c; c = Edr_Node_nextSibling(c))
            n++;
        Edr_Doc_readUnlock(doc);
        return n;
    }
    static Edr_Node *childAt(Edr_Node *g, uint32_t n)
    {
        Edr_Node *c = g ? Edr_Node_firstChild(g) : nullptr;
        while (c && n--)
            c = Edr_Node_nextSibling(c);
        return c;
    }

    Edr_HandlerDesc desc{};

  private:
    static std::string idsOf(Edr_Node *g)
    {
        std::string out;
        const uint32_t *ids = Edr_Node_group(g)->ids;
        for (const uint32_t *p = ids; p && *p; p++)
            out += (out.empty() ? "" : ",") + std::to_string(*p);
        return out;
    }
    static std::string urlOf(Edr_Node *g)
    {
        Edr_Group *gr = Edr_Node_group(g);
        if (!gr->ext || !gr->ext->url)
            return "";
        Url *url = Url_unpack(gr->ext->url);
        char16_t *text = url ? Url_toString(url, 31) : nullptr;
        std::string out = "<" + S(text) + ">";
        Mem_free(text);
        Url_free(url);
        return out;
    }
    static std::string renderLocked(Edr_Node *node)
    {
        if (Edr_Node_type(node) == Edr_NodeType_text) {
            Edr_TextNode *t = Edr_Node_textPayload(node);
            std::u16string s(t->chars, t->length);
            for (char16_t &c : s)
                if (c == 0xA0)
                    c = u'~';
            return "\"" + S(s.c_str()) + "\"";
        }
        if (Edr_Node_type(node) != Edr_NodeType_group)
            return "?";
        std::string out = "[" + idsOf(node) + urlOf(node) + (Edr_Node_isDropped(node) ? "!" : "");
        for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c))
            out += " " + renderLocked(c);
        return out + "]";
    }
    static void collect(Edr_Node *node, std::u16string *out)
    {
        if (!node)
            return;
        if (Edr_Node_type(node) == Edr_NodeType_text) {
            Edr_TextNode *t = Edr_Node_textPayload(node);
            out->append(t->chars, t->length);
            return;
        }
        if (Edr_Node_type(node) == Edr_NodeType_group)
            for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c))
                collect(c, out);
    }
    static void links(Edr_Node *node, std::vector<std::u16string> *out)
    {
        if (!node || Edr_Node_type(node) != Edr_NodeType_group)
            return;
        const uint32_t *ids = Edr_Node_group(node)->ids;
        if (ids && ids[0] == TextDoc_idLink && !ids[1]) {
            std::u16string s;
            collect(node, &s);
            out->push_back(s);
            return;
        }
        for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c))
            links(c, out);
    }
};
