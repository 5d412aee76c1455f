// A test engine for the eDR manager and the page list: the document fixture
// plus the timer thread on the application's processor, a log of the code
// messages that name the watched document, and a layout stand-in whose
// passes can take time on the hand-driven clock or fail.
#pragma once

#include <algorithm>
#include <string>

#include "core/mem/mem.h"
#include "core/task/timerq.h"
#include "document/edr/page.h"
#include "document/manager/manager.h"
#include "tests/document/fake_layout.h"
#include "tests/document/edr_fixture.h"

class MgrFixture : public EdrFixture {
  protected:
    // The layout stand-in: counts passes, advances the clock, answers result
    // and runs an optional action inside the pass.
    struct Pass {
        MgrFixture *test;
        int calls = 0;
        int64_t takes = 0;
        int result = 0;
        std::function<void(Edr_Doc *)> inside;
        FakeLayout standIn{};
    };
    Edr_LayoutOps layoutOps{};

    void SetUp() override
    {
        EdrFixture::SetUp();
        ASSERT_EQ(TimerQ_startThread(ctx(), ctx()->eventProc), 0);
        pass.test = this;
        pass.standIn.pass = passFn;
        pass.standIn.argument = &pass;
        FakeLayout_install(ctx(), &layoutOps);
    }
    void TearDown() override
    {
        run([this] {
            if (listening) {
                EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 1, recorder, this), 0);
            }
            flushListeners();
            EXPECT_EQ(TimerQ_stopThread(ctx(), ctx()->eventProc), 0);
        });
        FakeLayout_remove(ctx());
        EdrFixture::TearDown();
    }

    static int passFn(void *argument, Edr_Doc *doc)
    {
        Pass *p = static_cast<Pass *>(argument);
        p->calls++;
        if (p->takes)
            Headless_advanceClock(p->test->e.host, p->takes);
        if (p->inside)
            p->inside(doc);
        return p->result;
    }

    // Logs the code messages of the watched document that the manager and
    // the page list post (page added with its position).
    static void recorder(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        MgrFixture *f = static_cast<MgrFixture *>(context);
        const EventProcCodeMsg *m = static_cast<const EventProcCodeMsg *>(msg->payload);
        if (m->document != f->watched)
            return;
        static const int kept[] = {1, 2, 14, 15, 16, 21, 22, 35};
        if (std::find(std::begin(kept), std::end(kept), m->code) == std::end(kept))
            return;
        f->codes += std::to_string(m->code);
        if (m->code == 1)
            f->codes += ":" + std::to_string(m->argument);
        f->codes += " ";
    }

    // From a task: a marked document with the layout stand-in, watched.
    Edr_Doc *newDoc(bool marked = true)
    {
        Edr_Doc *doc = nullptr;
        EXPECT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        if (marked)
            Edr_Doc_setMarkFlag(doc, 1);
        Edr_Doc_setLayoutWord(doc, reinterpret_cast<intptr_t>(&pass.standIn));
        watch(doc);
        return doc;
    }
    void watch(Edr_Doc *doc)
    {
        watched = doc;
        if (!listening) {
            EXPECT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 1, recorder, this), 0);
            listening = true;
        }
    }
    // The host timer expired: the timer thread runs what is due.
    void expire()
    {
        TimerQ_wakeThread(ctx());
        TestEngine_runAll(&e, 100000);
    }
    void later(int64_t ms)
    {
        advance(ms);
        expire();
    }
    // From a task: posts the code message {code, doc}.
    void postCode(int32_t code, Edr_Doc *doc)
    {
        EventProcCodeMsg m{code, doc, nullptr, 0};
        EXPECT_EQ(EventProc_postCode(ctx()->eventProc, &m), 0);
    }
    // From a task: a page record of w x h units (16.16 bounds, y0 = -h).
    static Edr_PageRec *page(Edr_Doc *doc, int32_t w, int32_t h)
    {
        Edr_PageRec *r = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        r->doc = doc;
        r->bounds[1] = int32_t(uint32_t(-h) << 16);
        r->bounds[2] = w << 16;
        return r;
    }
    Edr_MgrState *state(Edr_Doc *doc)
    {
        return Edr_Mgr_state(doc);
    }

    Pass pass;
    Edr_Doc *watched = nullptr;
    bool listening = false;
    std::string codes;
};
