// The document record: creation unwound at every failing step, release
// with a view held (the closed stub), document jobs on a closing document,
// the locks, properties, keyed and numbered groups, requests and the
// secure-leave question.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "tests/document/edr_fixture.h"

namespace {

class DocTest : public EdrFixture {};

TEST_F(DocTest, CreateGivesAnEmptyRootAndDefaults)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        EXPECT_EQ(doc->root, root);
        EXPECT_EQ(root->flags, 0x40100000u + Edr_NodeType_group + Edr_Node_countUnit);
        EXPECT_EQ(doc->refCount, 1u);
        EXPECT_EQ(doc->pendingLoads, 1);
        EXPECT_EQ(doc->typeCode, 225u);
        EXPECT_EQ(doc->sourceWord, -1);
        EXPECT_EQ(doc->referrerPolicy, 3u);
        EXPECT_EQ(doc->startFlag, 1u);
        EXPECT_EQ(doc->serial, 1u);
        char16_t *target = nullptr;
        ASSERT_EQ(Edr_Doc_copyTargetName(doc, &target), 0);
        EXPECT_EQ(Ustr_cmp(target, u"_self"), 0);
        Mem_free(target);
        EXPECT_EQ(ctx()->edrApp->firstDoc, doc);
    });
    EXPECT_EQ(ctx()->edrApp->firstDoc, nullptr);
}

TEST_F(DocTest, CreateFailingAtEachStepFreesEverything)
{
    int failures = 0;
    for (uint64_t n = 1; n < 200; n++) {
        bool made = false;
        size_t before = TestHeap_usedBytes();
        run([&] {
            Edr_Doc *doc = nullptr;
            Edr_Node *root = nullptr;
            Mem_failAfter(n);
            int r = Edr_Doc_create(ctx(), &doc, &root);
            Mem_failAfter(0);
            if (r == 0) {
                made = true;
                Edr_Doc_release(doc);
            } else {
                failures++;
                EXPECT_EQ(r, Res_noMemory) << n;
                EXPECT_EQ(doc, nullptr);
                EXPECT_EQ(root, nullptr);
                EXPECT_EQ(ctx()->edrApp->firstDoc, nullptr);
            }
            flushListeners();
        });
        // The delivery job frees itself after the drain has returned.
        EXPECT_EQ(TestHeap_usedBytes(), before) << n;
        if (made)
            break;
    }
    EXPECT_GT(failures, 5);
}

TEST_F(DocTest, ReleaseWithAViewLeavesAStubThatTheLastViewFrees)
{
    size_t before = TestHeap_usedBytes();
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Edr_Node *text = nullptr;
        ASSERT_EQ(Edr_Node_createText(doc, doc->root, Edr_Insert_lastChild, &text, u"abc", 3), 0);
        Edr_Node_release(doc, text);
        Edr_Doc_addView(doc);
        Edr_Doc_release(doc);
        // The stub: closed, no references, the view still there.
        EXPECT_EQ(doc->refCount, 0u);
        EXPECT_EQ(doc->closed, 1u);
        EXPECT_EQ(doc->root, nullptr);
        EXPECT_NE(doc->pageList, nullptr);
        EXPECT_EQ(doc->app, ctx());
        Edr_Doc *again = doc;
        Edr_Doc_tryAddRef(doc, &again);
        EXPECT_EQ(again, nullptr);
        // The closed notice (code 3) holds a view of its own until delivered.
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(doc->viewCount, 1u);
        Edr_Doc_releaseView(doc);
        flushListeners();
        // The manager's cancelled pass timer goes with the next timer pass.
        TimerQ_runDue(ctx(), &ctx()->eventProc->timers, Time_nowMs());
    });
    EXPECT_EQ(TestHeap_usedBytes(), before);
}

TEST_F(DocTest, ReferenceCountsAndDropRefKeep)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        EXPECT_EQ(Edr_Doc_dropRefKeep(doc), 0);
        Edr_Doc_addRef(doc);
        EXPECT_EQ(Edr_Doc_dropRefKeep(doc), 1);
        EXPECT_EQ(doc->refCount, 1u);
        Edr_Doc *other = nullptr;
        Edr_Doc_tryAddRef(doc, &other);
        EXPECT_EQ(other, doc);
        Edr_Doc_release(other);
    });
}

void jobEntry(void *) {}

TEST_F(DocTest, JobsOnAClosingDocumentAreRefused)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        ASSERT_EQ(Edr_Doc_startJob(doc, 7, 1, jobEntry, 0, nullptr, 4096), 0);
        EXPECT_EQ(Edr_Doc_jobCount(doc), 1u);
        Edr_Doc_cancelJobs(doc, 7);
        EXPECT_EQ(Edr_Doc_jobCount(doc), 0u);
        doc->closing = 1;
        EXPECT_EQ(Edr_Doc_startJob(doc, 7, 1, jobEntry, 0, nullptr, 4096), Res_docClosing);
        EXPECT_EQ(Edr_Doc_jobCount(doc), 0u);
        doc->closing = 0;
    });
}

TEST_F(DocTest, PageListTryWriteWithAReaderInsideFails)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        Edr_Page_readLockList(doc);
        EXPECT_EQ(Edr_Page_tryWriteLockList(doc), Res_readersPresent);
        EXPECT_EQ(doc->pageList->lock.lock.owner, nullptr);
        Edr_Page_readUnlockList(doc);
        ASSERT_EQ(Edr_Page_tryWriteLockList(doc), 0);
        Edr_Page_writeUnlockList(doc);
    });
}

TEST_F(DocTest, NumberedAndKeyedGroups)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        uint32_t n = 0;
        Edr_Node *g1 = nullptr, *g2 = nullptr, *again = nullptr;
        ASSERT_EQ(Edr_Doc_getNumberedGroup(doc, &n, &g1), 0);
        EXPECT_EQ(n, 1u);
        n = 0;
        ASSERT_EQ(Edr_Doc_getNumberedGroup(doc, &n, &g2), 0);
        EXPECT_EQ(n, 2u);
        n = 1;
        ASSERT_EQ(Edr_Doc_getNumberedGroup(doc, &n, &again), 0);
        EXPECT_EQ(again, g1);
        Edr_Node *k0 = nullptr, *k2 = nullptr, *k9 = nullptr;
        ASSERT_EQ(Edr_Doc_getKeyedGroup(doc, 42, 2, &k2), 0);
        ASSERT_EQ(Edr_Doc_getKeyedGroup(doc, 42, 9, &k9), 0); // other slots: the first
        ASSERT_EQ(Edr_Doc_getKeyedGroup(doc, 42, 0, &k0), 0);
        EXPECT_NE(k2, k0);
        EXPECT_EQ(k9, k0);
        for (Edr_Node *g : {g1, g2, again, k0, k2, k9})
            Edr_Node_release(doc, g);
    });
}

TEST_F(DocTest, RequestsAreKeptInOrderWithReferences)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        Request *r1 = nullptr, *r2 = nullptr;
        ASSERT_EQ(Request_new(ctx(), 1, &r1), 0);
        ASSERT_EQ(Request_new(ctx(), 2, &r2), 0);
        StyleRule *rule = nullptr;
        ASSERT_EQ(StyleRule_create(&rule), 0);
        ASSERT_EQ(StyleRule_addMatch(rule, 5, 0, 1), 0);
        Prop p;
        Prop_setInt(&p, 20, 3);
        ASSERT_EQ(StyleRule_appendProp(rule, &p), 0);
        ASSERT_EQ(Request_addItem(r2, &rule), 0);
        ASSERT_EQ(Edr_Doc_addRequest(doc, r1), 0);
        ASSERT_EQ(Edr_Doc_addRequest(doc, r2), 0);
        Request_release(r1);
        Request_release(r2);
        Request *got = nullptr, *next = nullptr, *end = nullptr;
        ASSERT_EQ(Edr_Doc_getRequest(doc, nullptr, &got), 0);
        EXPECT_EQ(got, r1);
        ASSERT_EQ(Edr_Doc_getRequest(doc, got, &next), 0);
        EXPECT_EQ(next, r2);
        ASSERT_EQ(Edr_Doc_getRequest(doc, next, &end), 0);
        EXPECT_EQ(end, nullptr);
        int has = 0;
        ASSERT_EQ(Edr_Doc_requestHasProp(doc, 5, 20, &has), 0);
        EXPECT_EQ(has, 1);
        ASSERT_EQ(Edr_Doc_requestHasProp(doc, 5, 21, &has), 0);
        EXPECT_EQ(has, 0);
        Request_release(got);
        Request_release(next);
    });
}

TEST_F(DocTest, SecureLeaveGivesTheQuestionBackOnEveryPath)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        Url *secure = Url_new(u"https://bank.example/a");
        Url *plain = Url_new(u"http://other.example/");
        ASSERT_TRUE(secure && plain);
        // No document URL: refused without a question.
        EXPECT_EQ(Edr_Doc_confirmLeaveSecure(ctx(), doc, plain, 0), 0);
        ASSERT_EQ(Edr_Doc_setUrl(doc, secure), 0);
        uint32_t count = 0;
        struct Case {
            const Url *target;
            int askAgain;
            uint32_t presetAnswer;
            int expect;
        };
        // The host answers no to every question here.
        const Case cases[] = {
            {plain, 0, 0, 0},  // asked, refused, remembered
            {plain, 0, 1, 0},  // refusal remembered, not asked again
            {plain, 1, 1, 0},  // asked again
            {plain, 0, 2, 1},  // allowed before
            {secure, 0, 1, 1}, // https to https needs no question
        };
        for (const Case &c : cases) {
            ASSERT_EQ(Edr_Doc_setSecureLeaveAnswer(doc, c.presetAnswer), 0);
            EXPECT_EQ(Edr_Doc_confirmLeaveSecure(ctx(), doc, c.target, c.askAgain), c.expect);
            ASSERT_EQ(Sem_getCount(&doc->questionSem, &count), 0);
            EXPECT_EQ(count, 1u);
        }
        EXPECT_EQ(Edr_Doc_getSecureLeaveAnswer(doc), 1u);
        Url_free(secure);
        Url_free(plain);
    });
}

TEST_F(DocTest, PropertiesCopyInAndOut)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        ASSERT_EQ(Edr_Doc_setMimeType(doc, u"text/plain", 5), 0);
        char16_t *mime = nullptr;
        uint32_t id = 0;
        ASSERT_EQ(Edr_Doc_getMimeType(doc, &mime, &id), 0);
        EXPECT_EQ(Ustr_cmp(mime, u"text/plain"), 0);
        EXPECT_EQ(id, 5u);
        Mem_free(mime);
        ASSERT_EQ(Edr_Doc_setAuxText(doc, u"aux", 3), 0);
        ASSERT_EQ(Edr_Doc_setAuxText(doc, u"x", 0), 0);
        char16_t *aux = nullptr;
        ASSERT_EQ(Edr_Doc_copyAuxText(doc, &aux), 0);
        EXPECT_EQ(aux, nullptr);
        Url *none = nullptr;
        EXPECT_EQ(Edr_Doc_getBaseUrl(doc, &none), Res_noMemory); // neither URL exists
        EXPECT_EQ(Edr_Doc_callA(doc, nullptr), Res_noSaveCallback);
        intptr_t w = 0;
        EXPECT_EQ(Edr_Doc_testNode(doc, 1, &w), Res_noNodeTest);
        int flag = 0;
        EXPECT_EQ(Edr_Doc_testNodeChain(doc, doc->root, &flag), Res_noAncestorTest);
        EXPECT_EQ(Edr_Doc_addFont(doc, reinterpret_cast<void *>(1)), 0);
        EXPECT_EQ(doc->fontCapacity, 8u);
        EXPECT_FALSE(Edr_Doc_isPageOnDemand(doc));
        ASSERT_EQ(Edr_Doc_orFeatureFlags(doc, 4), 0);
        EXPECT_TRUE(Edr_Doc_hasFeatureFlags(doc, 4));
        EXPECT_EQ(Edr_Doc_parentMarkFlag(doc), 1u);
    });
}

TEST_F(DocTest, BaseUrlSwitchRewritesGroupUrlsAgainstTheOldBase)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Url *docUrl = Url_new(u"http://a.example/dir/page.html");
        Url *link = Url_new(u"next.html");
        Url *newBase = Url_new(u"http://b.example/other/");
        ASSERT_TRUE(docUrl && link && newBase);
        ASSERT_EQ(Edr_Doc_setUrl(doc, docUrl), 0);
        Edr_Node *g = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 1, &g), 0);
        ASSERT_EQ(Edr_Node_setUrl(doc, g, link), 0);
        ASSERT_EQ(Edr_Doc_setBaseUrl(doc, newBase), 0);
        Url *after = nullptr;
        ASSERT_EQ(Edr_Node_getUrl(doc, g, &after), 0);
        char16_t *text = Url_toString(after, 31);
        EXPECT_EQ(Ustr_cmp(text, u"http://a.example/dir/next.html"), 0);
        Mem_free(text);
        int links = 0;
        ASSERT_EQ(Edr_Doc_hasLinks(doc, &links), 0);
        EXPECT_EQ(links, 1);
        Url_free(after);
        Url_free(docUrl);
        Url_free(link);
        Url_free(newBase);
        Edr_Node_release(doc, g);
    });
}

// The feature flags through their null-tolerant forms.
class FeatureFlagTest : public EdrFixture {};

TEST_F(FeatureFlagTest, FlagsAccumulateAndTestAsAMask)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        EXPECT_EQ(Edr_Doc_testFlags(doc, 0), 1);
        EXPECT_EQ(Edr_Doc_testFlags(doc, 2), 0);
        EXPECT_EQ(Edr_Doc_setFlags(doc, 2), 0);
        EXPECT_EQ(Edr_Doc_setFlags(doc, 8), 0);
        EXPECT_EQ(Edr_Doc_testFlags(doc, 2), 1);
        EXPECT_EQ(Edr_Doc_testFlags(doc, 2 | 8), 1);
        EXPECT_EQ(Edr_Doc_testFlags(doc, 2 | 4), 0);
        EXPECT_EQ(Edr_Doc_testFlags(doc, 0), 1);
    });
}

TEST_F(FeatureFlagTest, NullDocument)
{
    EXPECT_EQ(Edr_Doc_setFlags(nullptr, 1), 0);
    EXPECT_EQ(Edr_Doc_testFlags(nullptr, 0), 0);
    EXPECT_EQ(Edr_Doc_testFlags(nullptr, 1), 0);
}

} // namespace
