// eDR nodes: the header word, the insert modes, a large tree built,
// walked, unlinked, collected and destroyed, refused insertions that
// change nothing, the saturating count, the stamp, text payloads, the
// getters and walks, and group attributes.
#include <cstring>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "tests/document/edr_fixture.h"

namespace {

class NodeTest : public EdrFixture {};

// The elements of a group's children, in order ('t' for a text node).
std::string kids(Edr_Node *g)
{
    std::string s;
    for (Edr_Node *c = Edr_Node_firstChild(g); c; c = c->next) {
        if (Edr_Node_type(c) == Edr_NodeType_group)
            s += char('0' + Edr_Node_group(c)->element % 10);
        else
            s += 't';
    }
    return s;
}

Edr_Node *make(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, uint32_t element)
{
    Edr_Node *n = nullptr;
    EXPECT_EQ(Edr_Node_createGroup(doc, anchor, mode, element, &n), 0);
    return n;
}

int countVisit(Edr_Node *, int *, int *, void *context)
{
    ++*static_cast<int *>(context);
    return 0;
}

TEST_F(NodeTest, NewNodeHeaderWord)
{
    run([&] {
        Edr_Node *n = nullptr;
        ASSERT_EQ(Edr_Node_allocate(&n, Edr_NodeType_text, 8), 0);
        EXPECT_EQ(n->flags, 0x40100003u);
        EXPECT_EQ(Edr_Node_refCount(n), 0u);
        Mem_free(n);
    });
}

TEST_F(NodeTest, InsertModesPlaceAndMark)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = make(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *b = make(doc, root, Edr_Insert_lastChild, 2);
        Edr_Node *c = make(doc, root, Edr_Insert_firstChild, 3);
        Edr_Node *d = make(doc, a, Edr_Insert_before, 4);
        EXPECT_EQ(kids(root), "3412");
        root->flags &= ~uint32_t(Edr_Node_changedBit);
        // After the last child: the new lastChild, parent not marked.
        Edr_Node *e = make(doc, b, Edr_Insert_after, 5);
        EXPECT_EQ(Edr_Node_group(root)->lastChild, e);
        EXPECT_FALSE(Edr_Node_isChanged(root));
        // Replace: the anchor goes to the unlinked chain.
        Edr_Node *f = make(doc, d, Edr_Insert_replace, 6);
        EXPECT_EQ(kids(root), "36125");
        EXPECT_EQ(d->parentNode, nullptr);
        EXPECT_EQ(doc->unlinked, d);
        EXPECT_TRUE(Edr_Node_isChanged(root));
        // A node with a parent moves with its following siblings.
        Edr_Node *g = make(doc, c, Edr_Insert_before, 7);
        ASSERT_EQ(Edr_Node_insert(doc, g, Edr_Insert_firstChild, a, nullptr), 0);
        EXPECT_EQ(kids(root), "736");
        EXPECT_EQ(kids(g), "125");
        EXPECT_EQ(Edr_Node_group(g)->lastChild, e);
        EXPECT_EQ(b->parentNode, g);
        // Detach (mode 0) puts the node alone on the chain.
        ASSERT_EQ(Edr_Node_insert(doc, nullptr, Edr_Insert_detach, b, nullptr), 0);
        EXPECT_EQ(kids(g), "15");
        EXPECT_EQ(d->next, b);
        for (Edr_Node *n : {a, b, c, e, f, g})
            Edr_Node_release(doc, n);
    });
}

TEST_F(NodeTest, RefusedInsertionsChangeNothing)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = make(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *b = make(doc, a, Edr_Insert_lastChild, 2);
        Edr_Node *c = make(doc, b, Edr_Insert_lastChild, 3);
        Edr_Node *s = make(doc, root, Edr_Insert_lastChild, 4);
        uint16_t stamp = doc->stamp;
        struct Case {
            Edr_Node *anchor;
            int32_t mode;
            Edr_Node *node;
            int expect;
        };
        const Case cases[] = {
            {c, Edr_Insert_lastChild, a, Res_wouldNest},  // under its own descendant
            {a, Edr_Insert_firstChild, a, Res_wouldNest}, // under itself
            {c, Edr_Insert_before, a, Res_wouldNest},     // beside its descendant
            {s, Edr_Insert_after, a, Res_wouldNest},      // anchor in the moved run
            {a, Edr_Insert_before, a, Res_wouldNest},     // anchored on itself
            {a, Edr_Insert_lastChild, root, Res_noParent},
            {root, Edr_Insert_after, s, Res_noParent}, // the root has no parent
        };
        for (const Case &k : cases) {
            EXPECT_EQ(Edr_Node_insert(doc, k.anchor, k.mode, k.node, nullptr), k.expect);
            EXPECT_EQ(kids(root), "14");
            EXPECT_EQ(kids(a), "2");
            EXPECT_EQ(kids(b), "3");
        }
        EXPECT_EQ(doc->stamp, stamp);
        // A mode outside the six is refused: no reference handed out, and
        // a creator frees the node it made.
        uint32_t sRefs = Edr_Node_refCount(s);
        for (int32_t mode : {6, 7, -1, INT32_MAX, INT32_MIN}) {
            SCOPED_TRACE(mode);
            Edr_Node *out = s;
            EXPECT_EQ(Edr_Node_insert(doc, a, mode, s, &out), Res_missingArgument);
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(Edr_Node_refCount(s), sRefs);
            size_t used = TestHeap_usedBytes();
            Edr_Node *made = s;
            EXPECT_EQ(Edr_Node_createGroup(doc, a, mode, 8, &made), Res_missingArgument);
            EXPECT_EQ(made, nullptr);
            EXPECT_EQ(TestHeap_usedBytes(), used);
            EXPECT_EQ(kids(root), "14");
            EXPECT_EQ(kids(a), "2");
        }
        EXPECT_EQ(doc->stamp, stamp);
        // A dead anchor: a creator frees its node and the tree stays.
        Edr_Node *dead = nullptr;
        ASSERT_EQ(Edr_Node_newGroup(&dead, 9), 0);
        ASSERT_EQ(Edr_Node_insert(doc, root, Edr_Insert_lastChild, dead, nullptr), 0);
        size_t before = TestHeap_usedBytes();
        for (int32_t mode : {1, 2, 3, 4, 5}) {
            Edr_Node *n = nullptr;
            EXPECT_EQ(Edr_Node_createText(doc, dead, mode, &n, u"x", 1), Res_deadNode);
            EXPECT_EQ(n, nullptr);
        }
        EXPECT_EQ(kids(root), "149");
        EXPECT_EQ(TestHeap_usedBytes(), before);
        // Removing the root or a dead node.
        EXPECT_EQ(Edr_Node_remove(doc, root), Res_noParent);
        EXPECT_EQ(Edr_Node_remove(doc, dead), Res_deadNode);
        EXPECT_EQ(kids(root), "149");
        for (Edr_Node *n : {a, b, c, s})
            Edr_Node_release(doc, n);
    });
}

TEST_F(NodeTest, ReferenceCountSaturatesWithoutTouchingTheFlags)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *n = make(doc, root, Edr_Insert_lastChild, 1);
        uint32_t high = n->flags & ~uint32_t(Edr_Node_countMask);
        n->flags = high | Edr_Node_countMask; // 65535 handles
        EXPECT_EQ(Edr_Node_addRefLocked(doc, n), Res_refCountFull);
        EXPECT_EQ(Edr_Node_addRefLive(doc, n), Res_refCountFull);
        Edr_Node *got = nullptr;
        EXPECT_EQ(Edr_Node_acquire(doc, n, &got), Res_refCountFull);
        EXPECT_EQ(got, nullptr);
        EXPECT_EQ(n->flags, high | Edr_Node_countMask);
        EXPECT_EQ(Edr_Node_type(n), Edr_NodeType_group);
        n->flags = high | Edr_Node_countUnit;
        Edr_Node_release(doc, n);
        Edr_Node_release(doc, n); // never below 0
        EXPECT_EQ(n->flags, high);
    });
}

TEST_F(NodeTest, StampWrapsAndTextNulsBecomeReplacementCharacters)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        doc->stamp = 65535;
        const char16_t text[] = {'a', 0, 'b'};
        Edr_Node *t = nullptr;
        ASSERT_EQ(Edr_Node_createText(doc, root, Edr_Insert_lastChild, &t, text, 3), 0);
        EXPECT_EQ(doc->stamp, 0);
        uint16_t seen = 65535;
        EXPECT_EQ(Edr_Doc_stampChanged(doc, &seen), 1);
        EXPECT_EQ(Edr_Doc_stampChanged(doc, &seen), 0);
        char16_t *copy = nullptr;
        ASSERT_EQ(Edr_Node_copyText(doc, t, &copy), 0);
        const char16_t want[] = {'a', 0xFFFD, 'b', 0};
        EXPECT_EQ(memcmp(copy, want, sizeof(want)), 0);
        Mem_free(copy);
        Edr_Node *empty = nullptr;
        ASSERT_EQ(Edr_Node_createText(doc, root, Edr_Insert_lastChild, &empty, nullptr, 0), 0);
        EXPECT_EQ(Edr_Node_textPayload(empty)->length, 0u);
        EXPECT_EQ(Edr_Node_textPayload(empty)->chars[0], 0);
        EXPECT_EQ(Edr_Node_copyText(doc, root, &copy), Res_notText);
        Edr_Node_release(doc, t);
        Edr_Node_release(doc, empty);
    });
}

// Ten thousand nodes built with every insert mode, walked, partly
// unlinked, collected and destroyed.
TEST_F(NodeTest, LargeTreeBuildWalkUnlinkCollectDestroy)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        std::vector<Edr_Node *> groups{root};
        int made = 0;
        uint32_t seed = 12345;
        auto next = [&] { return seed = seed * 1103515245u + 12345u; };
        while (made < 10000) {
            Edr_Node *anchor = groups[next() % groups.size()];
            int32_t mode = int32_t(1 + next() % 5);
            if (anchor == root && mode >= 3)
                mode = 1 + int32_t(next() % 2);
            if (mode >= 3 && !anchor->parentNode)
                mode = 2;
            Edr_Node *n = nullptr;
            if (next() % 3 == 0) {
                ASSERT_EQ(Edr_Node_createText(doc, anchor, mode, &n, u"text", 4), 0);
            } else {
                ASSERT_EQ(Edr_Node_createGroup(doc, anchor, mode, made, &n), 0);
                groups.push_back(n);
            }
            if (mode == Edr_Insert_replace) {
                // The replaced anchor is off the tree; stop anchoring on it.
                for (auto &g : groups)
                    if (g == anchor)
                        g = root;
            }
            if (Edr_Node_type(n) != Edr_NodeType_group)
                Edr_Node_release(doc, n);
            made++;
        }
        int inTree = 0;
        ASSERT_EQ(Edr_Doc_walkLocked(doc, countVisit, nullptr, &inTree, 0, root), 0);
        int onChain = 0;
        for (Edr_Node *u = doc->unlinked; u; u = u->next)
            onChain++;
        EXPECT_GT(inTree, 5000);
        // Unlink some root children, drop every handle, then collect.
        for (int i = 0; i < 20 && Edr_Node_firstChild(root); i++)
            ASSERT_EQ(Edr_Node_detach(doc, Edr_Node_firstChild(root), Edr_Node_firstChild(root)),
                      0);
        for (Edr_Node *g : groups)
            if (g != root)
                Edr_Node_dropRefLocked(doc, g);
        Edr_Node *dead = nullptr;
        ASSERT_EQ(Edr_Doc_collectDead(doc, &dead), 0);
        int collected = 0;
        for (Edr_Node *d = dead; d; d = d->next) {
            EXPECT_TRUE(d->flags & Edr_Node_deletedBit);
            collected++;
        }
        EXPECT_GT(collected, onChain);
        EXPECT_EQ(doc->unlinked, nullptr);
        // Restore and collect again: the same nodes come back.
        Edr_Doc_restoreDead(doc, dead);
        ASSERT_EQ(Edr_Doc_collectDead(doc, &dead), 0);
        int again = 0;
        for (Edr_Node *d = dead; d; d = d->next)
            again++;
        EXPECT_EQ(again, collected);
        Edr_Doc_freeDead(doc, dead);
        int left = 0;
        ASSERT_EQ(Edr_Doc_walkLocked(doc, countVisit, nullptr, &left, 0, root), 0);
        EXPECT_GT(left, 1);
        EXPECT_LT(left, inTree);
    });
}

int skipGroups(Edr_Node *node, int *, int *skip, void *context)
{
    *static_cast<std::string *>(context) += "<" + std::to_string(Edr_Node_type(node));
    *skip = Edr_Node_type(node) == Edr_NodeType_group && Edr_Node_group(node)->element == 2;
    return 0;
}

int postLog(Edr_Node *node, int *, void *context)
{
    *static_cast<std::string *>(context) += ">" + std::to_string(Edr_Node_type(node));
    return 0;
}

TEST_F(NodeTest, WalksAndGetters)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = make(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *b = make(doc, a, Edr_Insert_lastChild, 2);
        Edr_Node *t = nullptr;
        ASSERT_EQ(Edr_Node_createText(doc, b, Edr_Insert_lastChild, &t, u"x", 1), 0);
        Edr_Node *c = make(doc, a, Edr_Insert_lastChild, 3);
        std::string trace;
        ASSERT_EQ(Edr_Node_walk(skipGroups, postLog, &trace, 0, a), 0);
        // The skipped group still gets its post-visit.
        EXPECT_EQ(trace, "<1<1>1<1>1>1");
        trace.clear();
        ASSERT_EQ(Edr_Node_walk(skipGroups, postLog, &trace, 1, t), 0);
        EXPECT_EQ(trace, "");
        // Disabled last child: the last enabled one, or none.
        ASSERT_EQ(Edr_Node_setEnabled(doc, c, 0), 0);
        Edr_Node *got = nullptr;
        ASSERT_EQ(Edr_Node_getLastChild(doc, a, &got), 0);
        EXPECT_EQ(got, b);
        Edr_Node_release(doc, got);
        ASSERT_EQ(Edr_Node_setEnabled(doc, b, 0), 0);
        ASSERT_EQ(Edr_Node_getLastChild(doc, a, &got), 0);
        EXPECT_EQ(got, nullptr);
        ASSERT_EQ(Edr_Node_getNextSibling(doc, root, &got), 0);
        EXPECT_EQ(got, nullptr);
        ASSERT_EQ(Edr_Doc_nthRootChild(doc, 0, &got), 0);
        EXPECT_EQ(got, a);
        Edr_Node_release(doc, got);
        ASSERT_EQ(Edr_Doc_nthRootChild(doc, 1, &got), 0);
        EXPECT_EQ(got, nullptr);
        ASSERT_EQ(Edr_Node_findAncestorByElement(doc, t, 1, &got), 0);
        EXPECT_EQ(got, a);
        Edr_Node_release(doc, got);
        EXPECT_TRUE(Edr_Node_isWithin(doc, t, a));
        Edr_Node *dead = nullptr;
        ASSERT_EQ(Edr_Node_newGroup(&dead, 0), 0);
        EXPECT_EQ(Edr_Node_getFirstChild(doc, dead, &got), Res_deadNode);
        Edr_Node_destroy(doc, dead);
        for (Edr_Node *n : {a, b, t, c})
            Edr_Node_release(doc, n);
    });
}

TEST_F(NodeTest, ClassNamesAndIdsInOrder)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        StrTable *table = StrTable_create(nullptr);
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(Edr_Doc_setStringTable(doc, table), 0);
        Edr_Node *g = make(doc, root, Edr_Insert_lastChild, 1);
        // Intern in an order that differs from the text's.
        uint32_t zeta = 0;
        ASSERT_EQ(Edr_Doc_internStringZ(doc, u".zeta", &zeta), 0);
        const char16_t names[] = u"  beta  \talpha zeta";
        ASSERT_EQ(Edr_Node_setClassNames(doc, g, names, uint32_t(Ustr_len(names))), 0);
        uint32_t *ids = nullptr, n = 0;
        ASSERT_EQ(Edr_Node_copyIdList(doc, g, &ids, &n), 0);
        ASSERT_EQ(n, 4u);
        EXPECT_EQ(ids[0], zeta);
        EXPECT_LT(ids[0], ids[1]);
        EXPECT_LT(ids[1], ids[2]);
        EXPECT_EQ(ids[3], 0u);
        Mem_free(ids);
        char16_t *text = nullptr;
        ASSERT_EQ(Edr_Node_getClassNames(doc, g, &text), 0);
        EXPECT_EQ(Ustr_cmp(text, u"zeta beta alpha"), 0);
        Mem_free(text);
        // A duplicate id is stored twice.
        ASSERT_EQ(Edr_Node_addId(doc, g, zeta), 0);
        ASSERT_EQ(Edr_Node_copyIdList(doc, g, &ids, &n), 0);
        EXPECT_EQ(n, 5u);
        EXPECT_EQ(ids[0], zeta);
        EXPECT_EQ(ids[1], zeta);
        Mem_free(ids);
        // Id text round trip without its "#".
        ASSERT_EQ(Edr_Node_setIdText(doc, g, u"main", 4), 0);
        ASSERT_EQ(Edr_Node_getIdText(doc, g, &text), 0);
        EXPECT_EQ(Ustr_cmp(text, u"main"), 0);
        Mem_free(text);
        for (auto c : {std::pair<uint32_t, int>{40000, 0}, {32767, 32767}, {5, 5}}) {
            ASSERT_EQ(Edr_Node_setTabIndex(doc, g, c.first), 0);
            EXPECT_EQ(Edr_Node_group(g)->ext->tabIndex, c.second);
        }
        Edr_Node_release(doc, g);
    });
}

// The tab index is set under the write lock: a writer waits for a reader.
TEST_F(NodeTest, TabIndexWaitsForReaders)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = make(doc, root, Edr_Insert_lastChild, 1);
        bool done = false;
        Edr_Doc_readLock(doc);
        Task_detach(spawn("writer", 4, [&] {
            EXPECT_EQ(Edr_Node_setTabIndex(doc, g, 9), 0);
            done = true;
        }));
        Task_yield(ctx());
        EXPECT_FALSE(done);
        EXPECT_EQ(Edr_Node_group(g)->ext, nullptr);
        Edr_Doc_readUnlock(doc);
        for (int i = 0; i < 10 && !done; i++)
            Task_reschedule(ctx());
        EXPECT_TRUE(done);
        ASSERT_NE(Edr_Node_group(g)->ext, nullptr);
        EXPECT_EQ(Edr_Node_group(g)->ext->tabIndex, 9);
        Edr_Node_release(doc, g);
    });
}

std::string records(Edr_Node *g)
{
    std::string s;
    for (Edr_AttrRecord *r = Edr_Node_group(g)->ext ? Edr_Node_group(g)->ext->records : nullptr; r;
         r = r->next) {
        s += std::to_string(r->key) + "/" + std::to_string(r->key2) + ":";
        for (const char16_t *p = r->value; *p; p++)
            s += char(*p);
        s += " ";
    }
    return s;
}

TEST_F(NodeTest, AttributeRecordsKeepTheirOrder)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = make(doc, root, Edr_Insert_lastChild, 1);
        auto add = [&](uint32_t key, uint32_t key2, const char16_t *v, intptr_t word,
                       uint32_t mode) {
            ASSERT_EQ(
                Edr_Node_addRecord(doc, g, key, key2, 0, v, uint32_t(Ustr_len(v)), word, mode), 0);
        };
        add(1, 0, u"a", 1, 0);
        add(2, 0, u"b", 0, 0);
        add(1, 1, u"c", 1, 0);
        add(1, 0, u"d", 1, 0);
        EXPECT_EQ(records(g), "1/0:a 2/0:b 1/1:c 1/0:d ");
        add(2, 0, u"e", 0, 2); // (2, 0) exists: the new record is dropped
        EXPECT_EQ(records(g), "1/0:a 2/0:b 1/1:c 1/0:d ");
        add(1, 0, u"f", 1, 1); // replaces both (1, 0) records
        EXPECT_EQ(records(g), "2/0:b 1/1:c 1/0:f ");
        EXPECT_TRUE(Edr_Node_hasRecordWord(doc, g, 1));
        ASSERT_EQ(Edr_Node_removeRecords(doc, g, 30), 0); // every record with a word
        EXPECT_EQ(records(g), "2/0:b ");
        EXPECT_NE(doc->freeRecords, nullptr);
        Edr_Node_release(doc, g);
    });
}

TEST_F(NodeTest, PropertyListsAreClonedOut)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = make(doc, root, Edr_Insert_lastChild, 1);
        ASSERT_EQ(Edr_Node_setPropString(doc, g, 30, u"serif"), 0);
        StyleRule *copy = nullptr;
        ASSERT_EQ(Edr_Node_getPropList0(doc, g, &copy), 0);
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, Edr_Node_group(g)->ext->props[0]);
        EXPECT_EQ(StyleRule_findProp(copy, 30)->value.type, PropType_ustr);
        StyleRule_destroy(copy);
        Edr_Node *t = nullptr;
        ASSERT_EQ(Edr_Node_createText(doc, g, Edr_Insert_lastChild, &t, u"x", 1), 0);
        char16_t *inherited = Edr_Node_findInheritedString(doc, t, 30);
        EXPECT_EQ(Ustr_cmp(inherited, u"serif"), 0);
        Mem_free(inherited);
        ASSERT_EQ(Edr_Node_getPropList(doc, g, 2, &copy), 0);
        EXPECT_EQ(copy, nullptr);
        Edr_Node_release(doc, t);
        Edr_Node_release(doc, g);
    });
}

} // namespace
