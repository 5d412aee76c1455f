// The engine's text search operations: steps on the worker pool, the
// cancelling of an earlier step, the guards of the table's operations and
// a start while a writer waits for the document.
#include <string>
#include <vector>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/task/lock.h"
#include "document/edr/page.h"
#include "tests/document/events_fixture.h"
#include "viewer/search/searchops.h"

namespace {

class SearchOpsTest : public EdrFixture {
  protected:
    static constexpr ObjClass textClass{nullptr, int32_t(sizeof(ObjTextPart)), nullptr,
                                        Obj_itemText};

    // One page per text, each a single text item.
    Edr_Node *pagesOf(Edr_Doc *doc, Edr_Node *root, std::initializer_list<const char16_t *> texts)
    {
        Edr_Node *block = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        int32_t key = 0;
        for (const char16_t *text : texts) {
            Edr_Node *t = makeText(doc, block, text);
            auto *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
            rec->doc = doc;
            ObjHeader *o = Obj_create(&textClass, 0);
            o->node = t;
            auto *part = static_cast<ObjTextPart *>(Obj_part(o));
            part->chars = Edr_Node_textPayload(t)->chars;
            part->count = Edr_Node_textPayload(t)->length;
            Rect box{0, 0, int32_t(part->count * 10), 12};
            Obj_setBox(o, &box);
            rec->objects = o;
            EXPECT_EQ(Edr_Page_publishLayout(doc, key++, 0, 0, rec, 0, 0), 0);
            Edr_Node_release(doc, t);
        }
        return block;
    }

    struct Results {
        Sem done;
        std::vector<SearchOutcome> outcomes;
        std::vector<int32_t> directions;
    };
    static void collect(void *context, int32_t direction, const SearchOutcome *outcome)
    {
        Results *r = static_cast<Results *>(context);
        r->outcomes.push_back(*outcome);
        r->directions.push_back(direction);
        Sem_signal(&r->done);
    }
    // Starts a step and waits for its result.
    static SearchOutcome stepAndWait(Edr_Doc *doc, int32_t direction, Results *r)
    {
        EXPECT_EQ(Search_start(doc, direction, r, collect), 0);
        Sem_wait(&r->done);
        return r->outcomes.back();
    }
    static int setText(Edr_Doc *doc, const std::u16string &text, int32_t startPage = 0)
    {
        return Search_setText(doc, text.data(), uint32_t(text.size()), startPage, 0, 0, 0, 0, 0);
    }
};

TEST_F(SearchOpsTest, StepsRunOnTheWorkerAndWrap)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *block = pagesOf(doc, root, {u"a cat", u"no", u"cat cat"});
        Results r{};
        ASSERT_EQ(Sem_init(ctx(), &r.done, 0, 100), 0);
        // Before any text a start does nothing.
        EXPECT_EQ(Search_isActive(doc), 0);
        EXPECT_EQ(Search_start(doc, 0, &r, collect), 0);
        ASSERT_EQ(setText(doc, u"cat"), 0);
        EXPECT_EQ(Search_isActive(doc), 1);
        struct Expect {
            int32_t code, page, x0;
        } expected[] = {{1, 0, 20}, {1, 2, 0}, {1, 2, 40}, {3, 0, 0}};
        for (const Expect &x : expected) {
            SearchOutcome o = stepAndWait(doc, 0, &r);
            EXPECT_EQ(o.code, x.code);
            if (o.code == 1) {
                EXPECT_EQ(o.page, x.page);
                EXPECT_EQ(o.x0, x.x0);
            }
        }
        EXPECT_EQ(r.outcomes.size(), 4u) << "nothing ran before the text was set";
        // Backward from the end: the last match of the document.
        SearchOutcome back = stepAndWait(doc, 1, &r);
        EXPECT_EQ(back.code, 1);
        EXPECT_EQ(back.page, 2);
        EXPECT_EQ(back.x0, 40);
        // An empty text keeps the search; a start page at or beyond the
        // count changes nothing.
        EXPECT_EQ(setText(doc, u""), 0);
        EXPECT_EQ(Search_isActive(doc), 1);
        EXPECT_EQ(Search_setStartPage(doc, 3), 0);
        EXPECT_EQ(Search_setStartPage(doc, 99), 0);
        SearchOutcome again = stepAndWait(doc, 1, &r);
        EXPECT_EQ(again.code, 1);
        EXPECT_EQ(again.page, 2);
        EXPECT_EQ(again.x0, 0);
        // Stop ends the search; clear forgets the text.
        Search_stop(doc);
        EXPECT_EQ(Search_isActive(doc), 0);
        EXPECT_EQ(Search_restartLocked(doc, 0, 0, 0), 0);
        EXPECT_EQ(Search_isActive(doc), 1) << "the text stayed";
        Search_clearText(doc);
        EXPECT_EQ(Search_isActive(doc), 0);
        EXPECT_EQ(Search_restartLocked(doc, 0, 0, 0), 0);
        EXPECT_EQ(Search_isActive(doc), 0);
        Sem_fini(&r.done);
        Edr_Node_release(doc, block);
    });
}

TEST_F(SearchOpsTest, SecondStartCancelsTheFirst)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *block = pagesOf(doc, root, {u"one", u"two"});
        Results first{}, second{};
        ASSERT_EQ(Sem_init(ctx(), &first.done, 0, 100), 0);
        ASSERT_EQ(Sem_init(ctx(), &second.done, 0, 100), 0);
        ASSERT_EQ(setText(doc, u"two"), 0);
        EXPECT_EQ(Search_start(doc, 0, &first, collect), 0);
        EXPECT_EQ(Search_start(doc, 0, &second, collect), 0);
        Sem_wait(&second.done);
        Search_stop(doc);
        EXPECT_TRUE(first.outcomes.empty());
        ASSERT_EQ(second.outcomes.size(), 1u);
        EXPECT_EQ(second.outcomes[0].code, 1);
        EXPECT_EQ(second.outcomes[0].page, 1);
        EXPECT_EQ(second.directions[0], 0);
        Sem_fini(&first.done);
        Sem_fini(&second.done);
        Edr_Node_release(doc, block);
    });
}

TEST_F(SearchOpsTest, StartCompletesWithAWriterQueued)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *block = pagesOf(doc, root, {u"alpha", u"beta"});
        Results r{};
        ASSERT_EQ(Sem_init(ctx(), &r.done, 0, 100), 0);
        ASSERT_EQ(setText(doc, u"beta"), 0);
        // A step is queued; a writer asks for the document; a second start
        // must finish the first step without holding its read locks, or
        // the step (a reader behind the writer) and the writer (behind the
        // start's read locks) and the start would wait for each other.
        EXPECT_EQ(Search_start(doc, 0, &r, collect), 0);
        bool wrote = false;
        Task *writer = spawn("writer", 2, [&] {
            Edr_Doc_writeLockWait(doc);
            wrote = true;
            Edr_Doc_writeUnlock(doc);
        });
        EXPECT_EQ(Search_start(doc, 0, &r, collect), 0);
        Sem_wait(&r.done);
        EXPECT_EQ(Task_join(writer), 0);
        EXPECT_TRUE(wrote);
        EXPECT_EQ(r.outcomes.back().code, 1);
        Search_clearText(doc);
        Sem_fini(&r.done);
        Edr_Node_release(doc, block);
    });
}

TEST_F(SearchOpsTest, InterfaceIsInstalledOnce)
{
    run([&] {
        EXPECT_EQ(Search_createInterface(nullptr), 0);
        Search_destroyInterface(ctx());
        ASSERT_EQ(Search_createInterface(ctx()), 0);
        SearchOps *ops = ctx()->searchOps;
        ASSERT_NE(ops, nullptr);
        EXPECT_EQ(Search_createInterface(ctx()), 0);
        EXPECT_EQ(ctx()->searchOps, ops);
        EXPECT_EQ(ops->start, Search_start);
        EXPECT_EQ(ops->setStartPage, Search_setStartPage);
        int32_t *pair = Search_newPair();
        ASSERT_NE(pair, nullptr);
        EXPECT_EQ(pair[0] | pair[1], 0);
        Search_freePair(pair);
        Search_destroyInterface(ctx());
        EXPECT_EQ(ctx()->searchOps, nullptr);
    });
}

} // namespace
