// The eDR manager with the hand-driven clock: one pass per batch of
// changes, the period rules while loading and after, a second cycle on the
// same job, layout failures, hold, suspension, closed documents, pass
// requests by code, the size watch and a teardown during the size watch.
#include <string>

#include "core/result.h"
#include "core/task/task.h"
#include "document/edr/node.h"
#include "tests/document/manager_fixture.h"

namespace {

class MgrTest : public MgrFixture {};

// A pass ends with 14 (nothing more scheduled) and, after the last busy
// end, the settle notice 15; the final pass runs without waiting.
TEST_F(MgrTest, LastBusyEndRunsThePassAtOnceEndingIn14And15)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        Edr_Mgr_busyBegin(doc);
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
    });
    EXPECT_EQ(pass.calls, 0);
    EXPECT_EQ(state(doc)->timerSet, 1u);
    run([&] { Edr_Mgr_busyEnd(doc); });
    EXPECT_EQ(pass.calls, 1);
    EXPECT_EQ(codes, "14 15 ");
    EXPECT_EQ(state(doc)->job, nullptr);
    EXPECT_EQ(state(doc)->timerSet, 0u);
    EXPECT_EQ(state(doc)->settleDue, 0u);
    EXPECT_EQ(state(doc)->period, uint32_t(Edr_Mgr_periodIdle));
    run([&] { Edr_Doc_release(doc); });
}

// Changes in a row schedule exactly one pass, period ms after the first.
TEST_F(MgrTest, ManyChangesScheduleOnePassAPeriodAfterTheFirst)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
    });
    later(400);
    run([&] {
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
    });
    later(599);
    EXPECT_EQ(pass.calls, 0);
    later(1);
    EXPECT_EQ(pass.calls, 1);
    EXPECT_EQ(codes, "14 ");
    later(5000);
    EXPECT_EQ(pass.calls, 1);
    run([&] { Edr_Doc_release(doc); });
}

// While loading, the period is six times the last pass within 1 s and
// 60 s, and the next pass waits exactly that long; once loading ended the
// period is 200 ms.
TEST_F(MgrTest, PeriodFollowsThePassTimeWhileLoadingAnd200WhenIdle)
{
    struct Case {
        int64_t takes;
        uint32_t period;
    };
    for (Case c : {Case{300, 1800}, Case{50, 1000}, Case{20000, 60000}}) {
        SCOPED_TRACE(c.takes);
        pass.calls = 0;
        pass.takes = c.takes;
        Edr_Doc *doc = nullptr;
        run([&] {
            doc = newDoc();
            Edr_Mgr_busyBegin(doc);
            ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
        });
        later(Edr_Mgr_periodStart);
        ASSERT_EQ(pass.calls, 1);
        EXPECT_EQ(state(doc)->period, c.period);
        // The next change waits the new period.
        run([&] { ASSERT_EQ(Edr_Mgr_queueChange(doc), 0); });
        later(c.period - 1);
        EXPECT_EQ(pass.calls, 1);
        later(1);
        EXPECT_EQ(pass.calls, 2);
        // Loading ends: the next pass makes the period 200.
        pass.takes = 0;
        run([&] {
            Edr_Mgr_busyEnd(doc);
            ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
        });
        later(c.period);
        EXPECT_EQ(pass.calls, 3);
        EXPECT_EQ(state(doc)->period, 200u);
        run([&] { ASSERT_EQ(Edr_Mgr_queueChange(doc), 0); });
        later(199);
        EXPECT_EQ(pass.calls, 3);
        later(1);
        EXPECT_EQ(pass.calls, 4);
        run([&] { Edr_Doc_release(doc); });
    }
}

// The period is measured in 64 bits: a pass of about twelve minutes gives
// the longest period, not a wrapped short one.
TEST_F(MgrTest, AVeryLongPassGivesTheLongestPeriod)
{
    pass.takes = 715828; // six times this wraps a 32-bit product to 672
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        Edr_Mgr_busyBegin(doc);
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
    });
    later(Edr_Mgr_periodStart);
    ASSERT_EQ(pass.calls, 1);
    EXPECT_EQ(state(doc)->period, uint32_t(Edr_Mgr_periodMax));
    run([&] {
        Edr_Mgr_busyEnd(doc);
        Edr_Doc_release(doc);
    });
}

// Hold and a running pass keep the period; releasing the hold with code 10
// recomputes it.
TEST_F(MgrTest, HoldKeepsThePeriodUntilReleased)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        Edr_Mgr_busyBegin(doc);
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
    });
    later(Edr_Mgr_periodStart); // a pass of 0 ms: period 1000
    run([&] { postCode(9, doc); });
    EXPECT_EQ(state(doc)->hold, 1u);
    advance(500);
    run([&] { Edr_Mgr_updatePeriod(doc); });
    EXPECT_EQ(state(doc)->period, 1000u);
    run([&] { postCode(10, doc); });
    EXPECT_EQ(state(doc)->hold, 0u);
    EXPECT_EQ(state(doc)->period, 3000u);
    run([&] {
        Edr_Mgr_busyEnd(doc);
        Edr_Doc_release(doc);
    });
}

// A change that arrives during a pass and is promoted to run now makes the
// same job run a second cycle, without waiting for a timer.
TEST_F(MgrTest, APromotedChangeDuringAPassRunsASecondCycle)
{
    Edr_Doc *doc = nullptr;
    pass.inside = [&](Edr_Doc *d) {
        if (pass.calls == 1) {
            EXPECT_EQ(Edr_Mgr_queueChange(d), 0);
            EXPECT_EQ(Edr_Mgr_runNow(d), 0);
            EXPECT_NE(state(d)->job, nullptr);
        }
    };
    run([&] {
        doc = newDoc();
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
    });
    later(Edr_Mgr_periodStart);
    EXPECT_EQ(pass.calls, 2);
    EXPECT_EQ(codes, "14 ");
    EXPECT_EQ(state(doc)->timerSet, 0u);
    EXPECT_EQ(state(doc)->timer, 0u);
    EXPECT_EQ(state(doc)->job, nullptr);
    run([&] { Edr_Doc_release(doc); });
}

// A change during a pass that is not promoted is served by the timer,
// armed again when the job ends.
TEST_F(MgrTest, AChangeDuringAPassIsServedAPeriodLater)
{
    Edr_Doc *doc = nullptr;
    pass.inside = [&](Edr_Doc *d) {
        if (pass.calls == 1) {
            EXPECT_EQ(Edr_Mgr_queueChange(d), 0);
        }
    };
    run([&] {
        doc = newDoc();
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
    });
    later(Edr_Mgr_periodStart);
    EXPECT_EQ(pass.calls, 1);
    EXPECT_EQ(codes, ""); // a pass is scheduled: no 14
    EXPECT_EQ(state(doc)->timerSet, 1u);
    later(Edr_Mgr_periodIdle);
    EXPECT_EQ(pass.calls, 2);
    EXPECT_EQ(codes, "14 ");
    run([&] { Edr_Doc_release(doc); });
}

// Layout failing with 48 posts nothing; any other failure posts 35. In
// both cases the dead nodes go back to the unlinked chain, and the next
// successful pass frees them.
TEST_F(MgrTest, LayoutFailuresKeepTheDeadNodes)
{
    struct Case {
        int result;
        const char *codes;
    };
    for (Case c : {Case{Res_stopRequested, ""}, Case{1234, "35 14 "}}) {
        SCOPED_TRACE(c.result);
        codes.clear();
        pass.calls = 0;
        pass.result = c.result;
        Edr_Doc *doc = nullptr;
        Edr_Node *text = nullptr;
        run([&] {
            doc = newDoc();
            ASSERT_EQ(Edr_Node_createText(doc, doc->root, Edr_Insert_lastChild, &text, u"dead", 4),
                      0);
            ASSERT_EQ(Edr_Node_remove(doc, text), 0);
            EXPECT_EQ(doc->unlinked, text);
        });
        later(Edr_Mgr_periodStart);
        EXPECT_EQ(pass.calls, 1);
        EXPECT_EQ(codes, c.codes);
        EXPECT_EQ(doc->unlinked, text);
        EXPECT_FALSE(text->flags & Edr_Node_deletedBit);
        EXPECT_EQ(state(doc)->passRunning, 0u);
        // The next pass succeeds and frees the node.
        pass.result = 0;
        run([&] { ASSERT_EQ(Edr_Mgr_queueChange(doc), 0); });
        later(state(doc)->period);
        EXPECT_EQ(pass.calls, 2);
        EXPECT_EQ(doc->unlinked, nullptr);
        run([&] { Edr_Doc_release(doc); });
    }
}

// With hold set the settle notice waits; code 10 posts it, code 11 only
// releases the hold.
TEST_F(MgrTest, HoldDefersTheSettleNoticeUntilCode10)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        postCode(9, doc);
    });
    run([&] {
        Edr_Mgr_busyBegin(doc);
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
        Edr_Mgr_busyEnd(doc);
    });
    EXPECT_EQ(codes, "14 ");
    EXPECT_EQ(state(doc)->settleDue, 1u);
    run([&] { postCode(11, doc); });
    EXPECT_EQ(codes, "14 ");
    run([&] {
        postCode(9, doc);
        postCode(10, doc);
    });
    EXPECT_EQ(codes, "14 15 ");
    run([&] { Edr_Doc_release(doc); });
}

// A redraw request turns the settle notice into 16.
TEST_F(MgrTest, ARedrawRequestMakesTheSettleNotice16)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        Edr_Mgr_requestRedraw(doc);
        Edr_Mgr_busyBegin(doc);
        Edr_Mgr_busyEnd(doc); // no pass scheduled: notified at once
    });
    EXPECT_EQ(pass.calls, 0);
    EXPECT_EQ(codes, "16 ");
    run([&] { Edr_Doc_release(doc); });
}

// A closed document asking for a pass gets no job; its settle notice
// becomes 16.
TEST_F(MgrTest, AClosedDocumentGetsNoJobAndSettlesWith16)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        Edr_Mgr_busyBegin(doc);
        Edr_Mgr_busyEnd(doc); // no pages and no redraw: nothing posted yet
    });
    EXPECT_EQ(codes, "");
    run([&] {
        doc->closed = 1;
        Edr_MgrState *st = state(doc);
        st->timerSet = 1;
        EXPECT_EQ(Edr_Mgr_start(doc), 0);
        EXPECT_EQ(st->job, nullptr);
        EXPECT_EQ(st->timerSet, 0u);
        doc->closed = 0;
    });
    EXPECT_EQ(pass.calls, 0);
    EXPECT_EQ(codes, "16 ");
    run([&] { Edr_Doc_release(doc); });
}

// Suspension pauses a set timer; the last resumption lets it run.
TEST_F(MgrTest, SuspensionPausesThePassTimer)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        Edr_Mgr_suspend(doc);
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0); // paused at once
        Edr_Mgr_suspend(doc);
    });
    later(5000);
    EXPECT_EQ(pass.calls, 0);
    run([&] { Edr_Mgr_resume(doc); });
    later(10);
    EXPECT_EQ(pass.calls, 0);
    run([&] { Edr_Mgr_resume(doc); });
    expire();
    EXPECT_EQ(pass.calls, 1);
    run([&] { Edr_Doc_release(doc); });
}

// Codes 23 to 25 ask every document for a pass; a marked document ignores
// the request, one that wants a manager gets it at once.
TEST_F(MgrTest, PassRequestsByCodeReachUnmarkedDocuments)
{
    Edr_Doc *marked = nullptr, *variant = nullptr;
    run([&] {
        marked = newDoc();
        ASSERT_EQ(Edr_Doc_createVariant(ctx(), &variant, nullptr), 0);
        Edr_Doc_setLayoutWord(variant, reinterpret_cast<intptr_t>(&pass.standIn));
        watch(variant);
    });
    for (int32_t code : {23, 24, 25}) {
        run([&] { postCode(code, nullptr); });
        EXPECT_EQ(state(marked)->job, nullptr);
    }
    EXPECT_EQ(pass.calls, 3);
    EXPECT_EQ(codes, "14 14 14 ");
    run([&] {
        Edr_Doc_release(marked);
        Edr_Doc_release(variant);
    });
}

// Access counting: the first begin posts 21, the last end 22; an end
// without a begin does nothing.
TEST_F(MgrTest, FirstAndLastAccessPost21And22)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        Edr_Mgr_accessEnd(doc);
        Edr_Mgr_accessBegin(doc);
        Edr_Mgr_accessBegin(doc);
        Edr_Mgr_accessEnd(doc);
        Edr_Mgr_accessEnd(doc);
        Edr_Mgr_accessEnd(doc);
    });
    EXPECT_EQ(codes, "21 22 ");
    EXPECT_EQ(state(doc)->accessCount, 0u);
    run([&] { Edr_Doc_release(doc); });
}

// The size watch is called once, when the first page's size differs.
TEST_F(MgrTest, TheSizeWatchIsCalledOnceWhenTheFirstPageDiffers)
{
    static int calls;
    calls = 0;
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = newDoc();
        ASSERT_EQ(Edr_Page_publishLayout(doc, 0, 0, 0, page(doc, 100, 200), 0, 0), 0);
        Edr_Mgr_setSizeWatch(
            doc, [](Edr_Doc *) { calls++; }, 100 << 16, 200 << 16);
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
    });
    later(Edr_Mgr_periodStart);
    EXPECT_EQ(pass.calls, 1);
    EXPECT_EQ(calls, 0); // same size
    run([&] {
        ASSERT_EQ(Edr_Page_publishLayout(doc, 0, 0, 0, page(doc, 100, 300), 0, 0), 0);
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
    });
    later(Edr_Mgr_periodIdle);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(state(doc)->sizeWatch, nullptr);
    run([&] { ASSERT_EQ(Edr_Mgr_queueChange(doc), 0); });
    later(Edr_Mgr_periodIdle);
    EXPECT_EQ(pass.calls, 3);
    EXPECT_EQ(calls, 1);
    run([&] { Edr_Doc_release(doc); });
}

// The document is released while the job is inside the size watch: the
// teardown waits for the job, which finishes before the record goes.
TEST_F(MgrTest, ReleaseDuringTheSizeWatchWaitsForTheJob)
{
    static Sem gate;
    static int calls;
    calls = 0;
    Edr_Doc *doc = nullptr;
    run([&] {
        Sem_init(ctx(), &gate, 0, 1);
        doc = newDoc();
        ASSERT_EQ(Edr_Page_publishLayout(doc, 0, 0, 0, page(doc, 10, 10), 0, 0), 0);
        Edr_Mgr_setSizeWatch(
            doc,
            [](Edr_Doc *) {
                calls++;
                Sem_wait(&gate);
            },
            1, 1);
        ASSERT_EQ(Edr_Mgr_queueChange(doc), 0);
    });
    later(Edr_Mgr_periodStart);
    EXPECT_EQ(calls, 1); // the job waits inside the watch
    Task_detach(spawn("releaser", 3, [&] { Edr_Doc_release(doc); }));
    Task_detach(spawn("opener", 2, [&] { Sem_signal(&gate); }));
    TestEngine_runAll(&e, 100000);
    EXPECT_EQ(calls, 1);
}

} // namespace
