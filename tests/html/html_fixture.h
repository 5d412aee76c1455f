// Test support for the HTML importer: a document engine with settings,
// memory streams over test bytes, loads through the handler's open or the
// loader with a chosen chunk size, and a compact rendering of the tree.
//
// The rendering lists the top group's children: a group is its element
// name, followed by its children in parentheses when it has any; a text
// node is its text in double quotes (UTF-8); an image node is "@image"
// and a sub-document node "@subdoc".
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/timerq.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "html/docweb.h"
#include "html/parser.h"
#include "platform/vfs/vfs.h"
#include "tests/document/edr_fixture.h"
#include "tests/platform/file_fixture.h"

class HtmlFixture : public EdrFixture {
  protected:
    void SetUp() override
    {
        EdrFixture::SetUp();
        ctx()->config = Config_createStore(ctx(), u"test");
        ASSERT_NE(ctx()->config, nullptr);
        ASSERT_EQ(TimerQ_startThread(ctx(), ctx()->eventProc), 0);
        ASSERT_EQ(Html_describe(ctx(), &desc), 0);
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

    // Settings (from a task).
    void setInt(const char *key, uint32_t value)
    {
        Config_setIntA(ctx(), ctx()->config, u"Core", key, value, 0);
    }
    void setText(const char *key, const char16_t *value)
    {
        Config_setUstrA(ctx(), ctx()->config, u"Core", key, value, 0);
    }

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

    // From a task: loads bytes into a new document through the handler's
    // open (chunk 0) or the loader asking for chunk bytes at a time.
    // *result gets the load's result; the document comes back.
    Edr_Doc *load(const std::string &bytes, uint32_t chunk = 0, int *result = nullptr)
    {
        Edr_Doc *doc = nullptr;
        EXPECT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        VfsHandle *stream = memoryStream(bytes);
        EXPECT_NE(stream, nullptr);
        int err;
        if (!chunk) {
            err = desc.open(ctx(), &desc, nullptr, stream, doc, Edr_Doc_root(doc));
        } else {
            EXPECT_EQ(Edr_Doc_setMode(doc, Html_modeQuirks), 0);
            err =
                Html_loadDocumentChunked(ctx(), doc, stream, Edr_Doc_root(doc), 0, nullptr, chunk);
            EXPECT_EQ(Vfs_close(stream), 0);
        }
        if (result)
            *result = err;
        else
            EXPECT_EQ(err, 0);
        return doc;
    }

    // From a task: the rendering of bytes loaded whole.
    std::string tree(const std::string &bytes, uint32_t chunk = 0)
    {
        Edr_Doc *doc = load(bytes, chunk);
        std::string out = render(doc);
        Edr_Doc_release(doc);
        return out;
    }

    static std::string render(Edr_Doc *doc)
    {
        Edr_Doc_readLock(doc);
        std::string out;
        Edr_Node *top = Edr_Node_firstChild(Edr_Doc_root(doc));
        for (Edr_Node *c = top ? Edr_Node_firstChild(top) : nullptr; c; c = Edr_Node_nextSibling(c))
            out += (out.empty() ? "" : " ") + renderNode(c);
        Edr_Doc_readUnlock(doc);
        return out;
    }

    static std::string renderNode(Edr_Node *node)
    {
        uint32_t type = Edr_Node_type(node);
        if (type == Edr_NodeType_text) {
            Edr_TextNode *t = Edr_Node_textPayload(node);
            std::u16string s(t->chars, t->length);
            return "\"" + S(s.c_str()) + "\"";
        }
        if (type == Edr_NodeType_image)
            return "@image";
        if (type == Edr_NodeType_subdoc)
            return "@subdoc";
        if (type != Edr_NodeType_group)
            return "?";
        uint32_t id = Edr_Node_group(node)->element;
        std::string out = id >= 1 && id <= Html_elementCount ? Html_elementNames[id - 1]
                                                             : "#" + std::to_string(id);
        Edr_Node *c = Edr_Node_firstChild(node);
        if (!c)
            return out;
        out += "(";
        for (bool first = true; c; c = Edr_Node_nextSibling(c), first = false)
            out += (first ? "" : " ") + renderNode(c);
        return out + ")";
    }

    Edr_HandlerDesc desc{};
};
