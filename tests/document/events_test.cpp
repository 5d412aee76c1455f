// Document events: the event-type table, the ancestor chain, handler
// delivery, a click on a link from mouse down to the open-URL request,
// double clicks, the default action of modification events, the
// references and records a dispatch gives back, and link following
// (javascript, the document URL, the name/value list, the secure-leave
// question of sub-documents).
#include <cstring>

#include "core/result.h"
#include "document/edr/nodelist.h"
#include "platform/vfs/hosthooks.h"
#include "tests/document/events_fixture.h"

namespace {

class EventsTest : public EdrFixture {
  protected:
    // Posts a node event and lets the document's and the application's
    // processors deliver everything that follows from it.
    void post(Edr_Doc *doc, Edr_Node *target, uint32_t action, uint32_t type)
    {
        Edr_NodeEvent ev{};
        ev.action = action;
        ev.type = type;
        ASSERT_EQ(Edr_Doc_postNodeEvent(doc, target, &ev), 0);
        settle(doc);
    }
    void settle(Edr_Doc *doc)
    {
        for (int i = 0; i < 3; i++) {
            AppMsg_drain(doc->events);
            AppMsg_drain(ctx()->eventProc);
        }
    }
    void click(Edr_Doc *doc, Edr_Node *down, Edr_Node *up)
    {
        post(doc, down, Edr_Action_user, Edr_Event_mouseDown);
        post(doc, up, Edr_Action_user, Edr_Event_mouseUp);
    }
};

// An owned extra object that counts its finalisation.
struct CountedObj {
    Obj base;
    int *finalised;
};

void finaliseCounted(Obj *obj)
{
    ++*reinterpret_cast<CountedObj *>(obj)->finalised;
}

Obj *countedObj(int *finalised)
{
    auto *o = static_cast<CountedObj *>(Mem_calloc(1, sizeof(CountedObj)));
    o->base.finalize = finaliseCounted;
    o->finalised = finalised;
    return &o->base;
}

TEST(EventTable, Bubbling)
{
    for (uint32_t t = 0; t < Edr_Event_count; t++) {
        bool quiet = t == Edr_Event_unload || t == Edr_Event_focus || t == Edr_Event_blur;
        EXPECT_EQ(Edr_Event_bubbles(t), quiet ? 0 : 1) << t;
    }
    EXPECT_EQ(Edr_Event_bubbles(Edr_Event_count), 0);
}

TEST_F(EventsTest, AncestorChainRootFirstWithReferences)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *b = makeGroup(doc, a, Edr_Insert_lastChild, 2);
        Edr_Node *t = makeText(doc, b, u"x");
        Edr_NodeList chain;
        for (Edr_Node *from : {b, t}) {
            Edr_Doc_readLock(doc);
            ASSERT_EQ(Edr_Node_ancestorChain(doc, from, &chain), 0);
            Edr_Doc_readUnlock(doc);
            ASSERT_EQ(chain.count, 3u);
            EXPECT_EQ(chain.items[0], root);
            EXPECT_EQ(chain.items[1], a);
            EXPECT_EQ(chain.items[2], b); // a text node starts at its parent
            EXPECT_EQ(Edr_Node_refCount(b), 2u);
            Edr_NodeList_clear(doc, &chain);
            EXPECT_EQ(Edr_Node_refCount(b), 1u);
        }
        Mem_failAfter(1);
        EXPECT_EQ(Edr_Node_ancestorChain(doc, b, &chain), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(chain.count, 0u);
        EXPECT_EQ(Edr_Node_refCount(root), 1u);
        EXPECT_EQ(Edr_Node_refCount(a), 1u);
        for (Edr_Node *n : {a, b, t})
            Edr_Node_release(doc, n);
    });
}

TEST_F(EventsTest, DeliveryGathersHandlersOfTheTypeAndPhase)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        static const char16_t kText[] = u"h()";
        Edr_Node *g = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        ASSERT_EQ(Edr_Node_addRecord(doc, g, Edr_Event_click, 0, 0, kText, 3, 0, 0), 0);
        ASSERT_EQ(Edr_Node_addRecord(doc, g, Edr_Event_click, 0, 0, kText, 3, 0, 0), 0);
        ASSERT_EQ(Edr_Node_addRecord(doc, g, Edr_Event_click, 1, 0, kText, 3, 0, 0), 0);
        ASSERT_EQ(Edr_Node_addRecord(doc, g, Edr_Event_load, 0, 0, kText, 3, 0, 0), 0);
        struct Case {
            uint32_t phase, type, expect;
        };
        const Case cases[] = {{0, Edr_Event_click, 2},
                              {1, Edr_Event_click, 1},
                              {0, Edr_Event_load, 1},
                              {1, Edr_Event_load, 0},
                              {0, Edr_Event_focus, 0}};
        Edr_NodeEvent ev{};
        for (const Case &c : cases) {
            uint32_t n = 99;
            Edr_Doc_readLock(doc);
            EXPECT_EQ(Edr_Node_deliverEvent(g, doc, c.phase, c.type, &ev, &n), 0);
            Edr_Doc_readUnlock(doc);
            EXPECT_EQ(n, c.expect);
        }
        Edr_Doc_readLock(doc);
        Mem_failAfter(1);
        EXPECT_EQ(Edr_Node_deliverEvent(g, doc, 0, Edr_Event_click, &ev, nullptr), Res_noMemory);
        Mem_failAfter(0);
        Edr_Doc_readUnlock(doc);
        // Freeing a group's records.
        ASSERT_EQ(Edr_Doc_writeLock(doc), 0);
        Edr_Node_freeRecordsList(g);
        Edr_Doc_writeUnlock(doc);
        EXPECT_EQ(Edr_Node_group(g)->ext->records, nullptr);
        Edr_Node_release(doc, g);
    });
}

TEST_F(EventsTest, ClickOnALinkOpensItOnce)
{
    AppRecorder rec;
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        rec.attach(ctx());
        EventSpy spy;
        spy.attach(ctx(), doc);
        setDocUrl(doc, u"http://a.example/dir/page.html");
        Edr_Node *link = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        setUrl(doc, link, u"next.html?x=1");
        Edr_Node *span = makeGroup(doc, link, Edr_Insert_lastChild, 6);
        Edr_Node *text = makeText(doc, span, u"go");

        click(doc, text, text);
        EXPECT_EQ(spy.joined(), "2:15 2:18 2:20 2:24");
        ASSERT_EQ(rec.opens.size(), 1u);
        EXPECT_EQ(rec.opens[0].url, "http://a.example/dir/next.html?x=1");
        EXPECT_EQ(rec.opens[0].referrer, "http://a.example/dir/page.html");
        EXPECT_EQ(rec.opens[0].flags, intptr_t(Edr_Follow_fromClick));
        EXPECT_EQ(rec.opens[0].linkKind, 1);
        EXPECT_EQ(rec.opens[0].view, doc);
        EXPECT_FALSE(rec.opens[0].hasObject);
        // The document URL was stored again with class 1.
        EXPECT_EQ(Url_getClass(doc->url), 1u);
        // Every reference the events held came back, and so did the view.
        EXPECT_EQ(Edr_Node_refCount(text), 1u);
        EXPECT_EQ(Edr_Node_refCount(link), 1u);
        EXPECT_EQ(doc->viewCount, 0u);

        // A second click within 500 ms is also a double click (which opens
        // nothing more); one after 600 ms starts counting again.
        spy.seen.clear();
        advance(100);
        click(doc, text, text);
        EXPECT_EQ(spy.joined(), "2:15 2:18 2:20 2:24 2:21");
        advance(600);
        spy.seen.clear();
        click(doc, text, text);
        EXPECT_EQ(spy.joined(), "2:15 2:18 2:20 2:24");
        EXPECT_EQ(rec.opens.size(), 3u);

        // Released elsewhere: no click.
        spy.seen.clear();
        click(doc, text, span);
        EXPECT_EQ(spy.joined(), "2:15 2:18");
        post(doc, text, Edr_Action_user, Edr_Event_mouseUp);
        EXPECT_EQ(spy.joined(), "2:15 2:18 2:18");
        EXPECT_EQ(rec.opens.size(), 3u);
        for (Edr_Node *n : {link, span, text})
            Edr_Node_release(doc, n);
        rec.detach(ctx());
    });
}

TEST_F(EventsTest, ClicksThatOpenNothing)
{
    AppRecorder rec;
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        rec.attach(ctx());
        Edr_Node *script = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        setUrl(doc, script, u"javascript:go()");
        Edr_Node *plain = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        click(doc, script, script);
        click(doc, plain, plain);
        // A notice or a modification of type click is no user's click.
        post(doc, script, Edr_Action_notice, Edr_Event_click);
        EXPECT_TRUE(rec.opens.empty());
        Edr_Node_release(doc, script);
        Edr_Node_release(doc, plain);
        rec.detach(ctx());
    });
}

TEST_F(EventsTest, ModificationClearsTheNotifiedMark)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        for (intptr_t queue : {0, 1}) {
            ASSERT_EQ(Edr_Node_postOnce(doc, g, 1, queue, 0), 0);
            EXPECT_TRUE(g->flags & Edr_Node_notifiedBit);
            settle(doc);
            EXPECT_FALSE(g->flags & Edr_Node_notifiedBit);
            EXPECT_EQ(Edr_Node_refCount(g), 1u);
        }
        Edr_Node_release(doc, g);
    });
}

TEST_F(EventsTest, DispatchFreesReplacedRecords)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        static const char16_t kText[] = u"h()";
        Edr_Node *g = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        ASSERT_EQ(Edr_Node_addRecord(doc, g, Edr_Event_click, 0, 0, kText, 3, 0, 0), 0);
        ASSERT_EQ(Edr_Node_addRecord(doc, g, Edr_Event_click, 0, 0, kText, 3, 0, 1), 0);
        ASSERT_NE(doc->freeRecords, nullptr);
        post(doc, g, Edr_Action_notice, Edr_Event_load);
        EXPECT_EQ(doc->freeRecords, nullptr);
        EXPECT_NE(Edr_Node_group(g)->ext->records, nullptr);
        Edr_Node_release(doc, g);
    });
}

TEST_F(EventsTest, DispatchWithoutMemoryGivesTheTargetBack)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        ASSERT_EQ(Edr_Node_addRefLive(doc, g), 0); // the event's own reference
        EventProcKind5Msg payload{};
        payload.action = Edr_Action_user;
        payload.code = Edr_Event_click;
        payload.detail = 1;
        payload.words[11] = reinterpret_cast<intptr_t>(g);
        EventProcMsg msg{5, nullptr, nullptr, nullptr, nullptr, &payload};
        Mem_failAfter(1);
        EXPECT_EQ(Edr_Doc_dispatchNodeEvent(ctx(), &msg, doc), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(Edr_Node_refCount(g), 1u);
        EXPECT_EQ(Edr_Node_refCount(root), 1u);
        // No target: nothing to dispatch.
        payload.words[11] = 0;
        EXPECT_EQ(Edr_Doc_dispatchNodeEvent(ctx(), &msg, doc), Res_missingArgument);
        Edr_Node_release(doc, g);
    });
}

TEST_F(EventsTest, FollowingUnderAllocationFailureFreesEverything)
{
    AppRecorder rec;
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        rec.attach(ctx());
        setDocUrl(doc, u"http://a.example/dir/page.html");
        int finalised = 0;
        for (uint64_t fail = 1;; fail++) {
            Url *url = Url_new(u"next.html");
            Obj *extra = countedObj(&finalised);
            Mem_failAfter(fail);
            int err = Edr_Doc_followUrl(ctx(), doc, url, nullptr, 0, extra);
            Mem_failAfter(0);
            AppMsg_drain(ctx()->eventProc);
            ASSERT_EQ(finalised, int(fail)) << fail;
            EXPECT_EQ(doc->viewCount, 0u);
            if (err == Res_noMemory)
                continue;
            ASSERT_EQ(err, 0);
            if (rec.opens.empty())
                continue; // a copy failed on the way, the URL opened as far as it went
            ASSERT_EQ(rec.opens.size(), 1u);
            if (rec.opens[0].url == "http://a.example/dir/next.html" &&
                rec.opens[0].referrer == "http://a.example/dir/page.html")
                break;
            rec.opens.clear();
        }
        rec.detach(ctx());
    });
}

TEST_F(EventsTest, FollowingTakesEverythingOver)
{
    AppRecorder rec;
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        rec.attach(ctx());
        int finalised = 0;
        // Nothing to open: the extra object is finalised at once.
        EXPECT_EQ(Edr_Doc_followUrl(ctx(), doc, nullptr, nullptr, 0, countedObj(&finalised)), 0);
        EXPECT_EQ(Edr_Doc_followUrl(ctx(), doc, Url_new(u"javascript:x()"), nullptr, 0,
                                    countedObj(&finalised)),
                  0);
        EXPECT_EQ(finalised, 2);

        // Without a document: no referrer, no view.
        EXPECT_EQ(Edr_Doc_followUrl(ctx(), nullptr, Url_new(u"http://b.example/"), nullptr, 4,
                                    countedObj(&finalised)),
                  0);
        AppMsg_drain(ctx()->eventProc);
        ASSERT_EQ(rec.opens.size(), 1u);
        EXPECT_EQ(rec.opens[0].url, "http://b.example/");
        EXPECT_EQ(rec.opens[0].referrer, "");
        EXPECT_EQ(rec.opens[0].view, nullptr);
        EXPECT_TRUE(rec.opens[0].hasObject);
        EXPECT_EQ(rec.opens[0].flags, 4);
        EXPECT_EQ(finalised, 3); // freed with the message

        // The name/value list follows the URL to its resolved form; with
        // flag 16 the document URL keeps its class.
        Url *docUrl = Url_new(u"http://a.example/dir/");
        Url_setClass(docUrl, 3);
        ASSERT_EQ(Edr_Doc_setUrl(doc, docUrl), 0);
        Url_free(docUrl);
        Url *url = Url_new(u"form.cgi");
        auto *nv = static_cast<UrlNameValue *>(Mem_calloc(1, sizeof(UrlNameValue)));
        nv->name = static_cast<char16_t *>(Mem_calloc(2, sizeof(char16_t)));
        nv->name[0] = u'q';
        Url_setNameValues(url, nv);
        EXPECT_EQ(Edr_Doc_followUrl(ctx(), doc, url, nullptr, Edr_Follow_keepDocUrl, nullptr), 0);
        AppMsg_drain(ctx()->eventProc);
        ASSERT_EQ(rec.opens.size(), 2u);
        EXPECT_EQ(rec.opens[1].url, "http://a.example/dir/form.cgi");
        EXPECT_TRUE(rec.opens[1].hasNameValues);
        EXPECT_EQ(rec.opens[1].referrer, "http://a.example/dir/");
        EXPECT_EQ(Url_getClass(doc->url), 3u);
        EXPECT_EQ(doc->viewCount, 0u);
        rec.detach(ctx());
    });
}

TEST_F(EventsTest, SubdocumentsAskBeforeLeavingASecurePage)
{
    AppRecorder rec;
    run([&] {
        rec.attach(ctx());
        Edr_Doc *top = nullptr, *mid = nullptr, *leaf = nullptr;
        Edr_Node *topRoot = nullptr, *midRoot = nullptr, *leafRoot = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &top, &topRoot), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &mid, &midRoot), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &leaf, &leafRoot), 0);
        Edr_Doc_setMarkFlag(top, 1);
        setDocUrl(top, u"https://bank.example/");
        ASSERT_EQ(
            Edr_Node_createSubdoc(top, topRoot, Edr_Insert_lastChild, nullptr, mid, nullptr, 0, 0),
            0);
        ASSERT_EQ(
            Edr_Node_createSubdoc(mid, midRoot, Edr_Insert_lastChild, nullptr, leaf, nullptr, 0, 0),
            0);

        struct Case {
            Edr_Doc *from;
            const char16_t *to;
            size_t opens; // the host answers no to every question
        };
        const Case cases[] = {
            {leaf, u"http://other.example/", 0},  // asked through the top, refused
            {leaf, u"https://bank.example/b", 1}, // secure to secure: no question
            {mid, u"http://other.example/", 2},   // the parent is the marked top: not asked here
        };
        for (const Case &c : cases) {
            int finalised = 0;
            EXPECT_EQ(
                Edr_Doc_followUrl(ctx(), c.from, Url_new(c.to), nullptr, 0, countedObj(&finalised)),
                0);
            AppMsg_drain(ctx()->eventProc);
            EXPECT_EQ(rec.opens.size(), c.opens);
            EXPECT_EQ(finalised, 1);
        }
        EXPECT_EQ(Edr_Doc_getSecureLeaveAnswer(top), 1u);
        Edr_Doc_release(leaf);
        Edr_Doc_release(mid);
        Edr_Doc_release(top);
        rec.detach(ctx());
    });
}

} // namespace
