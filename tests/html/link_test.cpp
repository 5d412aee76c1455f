// Link references: the empty link, copies and releases, target names
// across frames, following a link node, fragments and link stepping, and
// the node a name or an id names.
#include <gtest/gtest.h>

#include <string>

#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"
#include "document/edr/node.h"
#include "core/result.h"
#include "html/link.h"
#include "html/parser.h"
#include "tests/html/html_fixture.h"

namespace {

using LinkTest = HtmlFixture;

TEST(Link, TheEmptyLinkIsATopReference)
{
    Link link{0, nullptr, 5};
    Link_init(&link);
    EXPECT_TRUE(Link_isKind(&link, 1));
    EXPECT_FALSE(Link_isKind(&link, 2));
    EXPECT_FALSE(Link_isKind(nullptr, 1));
    link.kind = 2;
    Link_release(&link);
    EXPECT_TRUE(Link_isKind(&link, 1));
    Link_release(nullptr);
}

// The text of the first text node under node, depth first.
std::string firstText(Edr_Node *node)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_text) {
            Edr_TextNode *t = Edr_Node_textPayload(c);
            return t ? std::string(t->chars, t->chars + t->length) : "";
        }
        if (Edr_Node_type(c) == Edr_NodeType_group) {
            std::string s = firstText(c);
            if (!s.empty())
                return s;
        }
    }
    return "";
}

TEST_F(LinkTest, NamedNodesAreFoundByNameOrIdInDocumentOrder)
{
    run([&] {
        Edr_Doc *doc =
            load("<p>start</p><a name=top>anchor</a><p id=top>para</p><div id=Mid>mid</div>"
                 "<a name=here></a><p>after</p><span id=here>late</span>");
        struct Case {
            std::u16string name;
            uint32_t element;
            const char *text; // null: not found
        } cases[] = {
            {u"top", 0, "anchor"},                          // the name comes first in the document
            {u"top", HtmlEl_P, "para"},                     // only p elements
            {u"Mid", 0, "mid"},         {u"mid", 0, "mid"}, // the name table ignores ASCII case
            {u"here", 0, ""},                               // the empty anchor itself
            {u"nowhere", 0, nullptr},   {u"", 0, nullptr},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
            Edr_Node *node = nullptr;
            ASSERT_EQ(Link_findNamed(doc, &node, c.element, c.name.data(), c.name.size()), 0);
            if (!c.text) {
                EXPECT_EQ(node, nullptr);
                continue;
            }
            ASSERT_NE(node, nullptr);
            EXPECT_EQ(firstText(node), c.text);
            Edr_Node_release(doc, node);
        }
        Edr_Node *node = nullptr;
        EXPECT_EQ(Link_findNamed(doc, nullptr, 0, u"top", 3), Res_missingArgument);
        EXPECT_EQ(Link_findNamed(nullptr, &node, 0, u"top", 3), Res_missingArgument);
        Edr_Doc_release(doc);
    });
}

// The first group of element type element under node (depth first).
Edr_Node *firstOf(Edr_Node *node, uint32_t element)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        Edr_Group *g = Edr_Node_group(c);
        if (g && g->element == element)
            return c;
        if (Edr_Node *found = firstOf(c, element))
            return found;
    }
    return nullptr;
}

TEST_F(LinkTest, CopiesAndReleasesHoldTheirOwnNodeReferences)
{
    run([&] {
        Edr_Doc *doc = load("<p>text</p>");
        Edr_Node *root = Edr_Doc_root(doc);
        uint32_t before = Edr_Node_refCount(root);
        Link a;
        ASSERT_EQ(Link_resolveTarget(doc, &a), 0);
        EXPECT_EQ(a.kind, 1);
        EXPECT_EQ(a.document, doc);
        EXPECT_EQ(a.node, reinterpret_cast<intptr_t>(root));
        EXPECT_EQ(Edr_Node_refCount(root), before + 1);

        Link b;
        ASSERT_EQ(Link_copy(&b, &a), 0);
        EXPECT_EQ(Edr_Node_refCount(root), before + 2);
        Link_release(&a);
        EXPECT_TRUE(Link_isKind(&a, 1));
        EXPECT_EQ(a.document, nullptr);

        Edr_Node *node = nullptr;
        Edr_Doc *owner = nullptr;
        ASSERT_EQ(Link_resolveNode(&b, &node, &owner), 0);
        EXPECT_EQ(node, root);
        EXPECT_EQ(owner, doc);
        Edr_Node_release(doc, node);
        Edr_Doc_release(owner);
        Link_release(&b);
        EXPECT_EQ(Edr_Node_refCount(root), before);

        // The empty link names nothing; a copy of it holds nothing.
        Link empty;
        Link_init(&empty);
        ASSERT_EQ(Link_copy(&b, &empty), 0);
        ASSERT_EQ(Link_resolveNode(&b, &node, &owner), 0);
        EXPECT_EQ(node, nullptr);
        EXPECT_EQ(owner, nullptr);
        EXPECT_EQ(Link_resolveNode(&b, nullptr, &owner), Res_nullInput);
        EXPECT_EQ(Link_resolveTarget(nullptr, &b), Res_nullInput);
        Edr_Doc_release(doc);
    });
}

// A top document with a frame set, a document inside its frame with an
// inline frame, and a third top document: target names seen from each.
TEST_F(LinkTest, TargetNamesResolveAcrossFramesAndInlineFrames)
{
    run([&] {
        Edr_Doc *top = load("<frameset cols='50%,50%'><frame name=main src=a.html>"
                            "<frame name=Side src=b.html></frameset>");
        Edr_Doc *inner =
            load("<p>in</p><iframe name=pic src=c.html></iframe><iframe name=both></iframe>");
        Edr_Doc *other = load("<frameset><frame name=both></frameset>");
        inner->parent = top;
        Edr_Node *mainFrame = firstOf(Edr_Doc_root(top), HtmlEl_Frame);
        Edr_Node *picFrame = firstOf(Edr_Doc_root(inner), HtmlEl_Iframe);
        Edr_Node *bothFrame = firstOf(Edr_Doc_root(other), HtmlEl_Frame);
        ASSERT_NE(mainFrame, nullptr);
        ASSERT_NE(picFrame, nullptr);
        ASSERT_NE(bothFrame, nullptr);
        struct Case {
            Edr_Doc *from;
            std::u16string name;
            int32_t kind;
            Edr_Doc *doc;   // null: no document
            Edr_Node *node; // null: the document's root
        } cases[] = {
            {inner, u"_self", 2, inner, nullptr},
            {inner, u"_SELF", 2, inner, nullptr},
            {top, u"_self", 1, top, nullptr},
            {inner, u"_blank", 1, nullptr, nullptr},
            {inner, u"_Parent", 1, top, nullptr},
            {top, u"_parent", 1, nullptr, nullptr},
            {inner, u"_top", 1, top, nullptr},
            {top, u"_TOP", 1, top, nullptr},
            {inner, u"main", 1, top, mainFrame},
            {inner, u"MAIN", 1, top, mainFrame},
            {other, u"side", 1, top, nullptr},
            {top, u"pic", 2, inner, picFrame},   // only an inline frame has it
            {top, u"both", 1, other, bothFrame}, // frames before inline frames
            {top, u"nowhere", 0, nullptr, nullptr},
            {top, u"_selfish", 0, nullptr, nullptr},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
            Link link;
            ASSERT_EQ(Link_resolveFrameTarget(ctx(), c.from, c.name.data(), c.name.size(), &link),
                      0);
            EXPECT_EQ(link.kind, c.kind);
            EXPECT_EQ(link.document, c.doc);
            if (c.doc) {
                Edr_Node *want = c.node ? c.node : Edr_Doc_root(c.doc);
                if (c.name == u"side")
                    EXPECT_NE(link.node, 0);
                else
                    EXPECT_EQ(link.node, reinterpret_cast<intptr_t>(want));
            } else {
                EXPECT_EQ(link.node, 0);
            }
            Link_release(&link);
        }
        Link link;
        EXPECT_EQ(Link_resolveFrameTarget(ctx(), nullptr, u"_self", 5, &link), Res_nullInput);
        inner->parent = nullptr;
        Edr_Doc_release(other);
        Edr_Doc_release(inner);
        Edr_Doc_release(top);
    });
}

TEST_F(LinkTest, FollowingALinkUsesItsTargetElseTheBaseTarget)
{
    run([&] {
        Edr_Doc *top = load("<frameset><frame name=main></frameset>");
        Edr_Doc *doc = load("<a href=http://x/a target=MAIN>framed</a><a href=http://x/b>plain</a>"
                            "<a href=http://x/c target=nowhere>lost</a>");
        doc->parent = top;
        Edr_Node *mainFrame = firstOf(Edr_Doc_root(top), HtmlEl_Frame);
        Edr_Node *links[3];
        links[0] = firstOf(Edr_Doc_root(doc), HtmlEl_A);
        ASSERT_NE(links[0], nullptr);
        links[1] = Edr_Node_nextSibling(links[0]);
        links[2] = links[1] ? Edr_Node_nextSibling(links[1]) : nullptr;
        ASSERT_NE(links[2], nullptr);
        // The caller holds a reference on the link node.
        for (Edr_Node *&n : links)
            ASSERT_EQ(Edr_Node_addRefLive(doc, n), 0);

        Link link;
        ASSERT_EQ(Link_fromNode(ctx(), doc, links[0], &link), 0);
        EXPECT_EQ(link.document, top);
        EXPECT_EQ(link.node, reinterpret_cast<intptr_t>(mainFrame));
        Link_release(&link);

        // The base target: "_self" when the document was made.
        ASSERT_EQ(Link_fromNode(ctx(), doc, links[1], &link), 0);
        EXPECT_EQ(link.kind, 2);
        EXPECT_EQ(link.document, doc);
        Link_release(&link);

        // An unknown target becomes the top-level reference.
        ASSERT_EQ(Link_fromNode(ctx(), doc, links[2], &link), 0);
        EXPECT_TRUE(Link_isKind(&link, 1));
        EXPECT_EQ(link.document, nullptr);

        // A base target "_blank" loads into this frame, not a new window.
        ASSERT_EQ(Edr_Doc_setTargetName(doc, u"_blank", 6), 0);
        ASSERT_EQ(Link_fromNode(ctx(), doc, links[1], &link), 0);
        EXPECT_EQ(link.kind, 2);
        EXPECT_EQ(link.document, doc);
        Link_release(&link);

        // No base target at all: the call fails.
        ASSERT_EQ(Edr_Doc_setTargetName(doc, nullptr, 0), 0);
        EXPECT_EQ(Link_fromNode(ctx(), doc, links[1], &link), 1);
        EXPECT_EQ(link.document, nullptr);
        for (Edr_Node *n : links)
            Edr_Node_release(doc, n);
        doc->parent = nullptr;
        Edr_Doc_release(doc);
        Edr_Doc_release(top);
    });
}

TEST_F(LinkTest, LinkSteppingCountsForwardAndBack)
{
    run([&] {
        Edr_Doc *doc = load(
            "<a href=http://x/1>one</a><p><a name=plain>no link</a><a href=http://x/2>two</a></p>"
            "<a href=http://x/3>three</a><a href=http://x/4>four</a>");
        struct Case {
            const char *start; // null: no start
            uint32_t flags;
            const char *text; // null: none found
        } cases[] = {
            {nullptr, 0x101, "one"},  {nullptr, 0x001, "one"}, // no direction bits: forward
            {nullptr, 0x401, "four"}, {nullptr, 0x803, "two"},  {"one", 0x102, "three"},
            {"three", 0x402, "one"},  {"four", 0x101, nullptr}, // past the last
            {"two", 0x404, nullptr},                            // before the first
            {"two", 0x200, "two"},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.start ? c.start : "-") + " " + std::to_string(c.flags));
            Edr_Node *start = nullptr;
            if (c.start) {
                int found = 0;
                for (uint32_t i = 1; i <= 4 && !start; i++) {
                    Edr_Node *n = nullptr;
                    ASSERT_EQ(Link_findNth(doc, nullptr, &n, i, &found), 0);
                    if (n && firstText(n) == c.start)
                        start = n;
                    else
                        Edr_Node_release(doc, n);
                }
                ASSERT_NE(start, nullptr);
            }
            Edr_Node *out = nullptr;
            int found = 5;
            ASSERT_EQ(Link_findNth(doc, start, &out, c.flags, &found), 0);
            if (!c.text) {
                EXPECT_EQ(found, 0);
                EXPECT_EQ(out, nullptr);
            } else {
                EXPECT_EQ(found, 1);
                ASSERT_NE(out, nullptr);
                EXPECT_EQ(firstText(out), c.text);
                Edr_Node_release(doc, out);
            }
            Edr_Node_release(doc, start);
        }
        Edr_Doc_release(doc);
    });
}

TEST_F(LinkTest, FragmentsWithoutContentToMeasureGiveTheStart)
{
    run([&] {
        Edr_Doc *doc = load("<a name=top>anchor</a><a name=empty></a><p>after</p>");
        const char16_t *names[] = {u"", u"top", u"TOP", u"empty", u"missing"};
        for (const char16_t *name : names) {
            int32_t rect[4] = {7, 7, 7, 7};
            int32_t page = 9;
            ASSERT_EQ(Link_fragmentRect(doc, name, rect, &page), 0);
            for (int32_t v : rect)
                EXPECT_EQ(v, 0);
            EXPECT_EQ(page, 0);
        }
        int32_t rect[4];
        int32_t page;
        EXPECT_EQ(Link_fragmentRect(nullptr, u"top", rect, &page), Res_nullInput);
        EXPECT_EQ(Link_fragmentRect(doc, nullptr, rect, &page), Res_nullInput);
        EXPECT_EQ(Link_fragmentRect(doc, u"top", nullptr, &page), Res_nullInput);
        Edr_Doc_release(doc);
    });
}

// An open-URL message copies its URL and link with their own references;
// one carrying an object stays unique.
TEST_F(LinkTest, OpenUrlMessagesCopyTheirLinks)
{
    run([&] {
        Edr_Doc *doc = load("<p>text</p>");
        Edr_Node *root = Edr_Doc_root(doc);
        uint32_t before = Edr_Node_refCount(root);
        auto *payload = static_cast<EventProcKind6Msg *>(Mem_calloc(1, sizeof(EventProcKind6Msg)));
        ASSERT_NE(payload, nullptr);
        payload->url = Url_newFromCstr("http://example.test/a");
        ASSERT_NE(payload->url, nullptr);
        ASSERT_EQ(Link_resolveTarget(doc, &payload->link), 0);
        EventProcMsg msg{6,      EventProc_releaseOpenUrl, EventProc_copyOpenUrl, nullptr, nullptr,
                         payload};

        EventProcMsg *copy = nullptr;
        ASSERT_EQ(EventProcMsg_copy(&msg, &copy), 0);
        auto *cp = static_cast<EventProcKind6Msg *>(copy->payload);
        EXPECT_NE(cp->url, payload->url);
        EXPECT_EQ(cp->link.document, doc);
        EXPECT_EQ(cp->link.node, reinterpret_cast<intptr_t>(root));
        EXPECT_EQ(Edr_Node_refCount(root), before + 2);
        EventProc_freeMsg(copy);
        EXPECT_EQ(Edr_Node_refCount(root), before + 1);

        // Out of memory at each step: a clean failure.
        size_t used = TestHeap_usedBytes();
        for (uint64_t n = 1; n <= 3; n++) {
            EventProcMsg *again = reinterpret_cast<EventProcMsg *>(1);
            Mem_failAfter(n);
            EXPECT_EQ(EventProcMsg_copy(&msg, &again), Res_noMemory) << n;
            Mem_failAfter(0);
            EXPECT_EQ(again, nullptr);
            EXPECT_EQ(TestHeap_usedBytes(), used);
            EXPECT_EQ(Edr_Node_refCount(root), before + 1);
        }

        payload->object = static_cast<Obj *>(Mem_calloc(1, sizeof(Obj)));
        EXPECT_EQ(EventProcMsg_copy(&msg, &copy), Res_notImplemented);
        EXPECT_EQ(copy, nullptr);
        EventProc_releaseOpenUrl(&msg, nullptr);
        EXPECT_EQ(Edr_Node_refCount(root), before);
        Edr_Doc_release(doc);
    });
}

} // namespace
