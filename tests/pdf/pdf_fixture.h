// A GoogleTest fixture for the PDF reader's documents: a test engine with
// the worker pool and the event processor (the password question travels
// through it), documents opened from bytes inside an engine task, and a
// host listener for the password question that the test scripts. Every
// heap byte must come back.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/worker.h"
#include "core/text/ustr.h"
#include "pdf/document.h"
#include "pdf/security.h"
#include "platform/vfs/vfs.h"
#include "tests/pdf/pdf_support.h"
#include "tests/support/task_fixture.h"

class PdfDocFixture : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        ASSERT_EQ(Worker_initPool(ctx()), 0);
        ASSERT_EQ(AppMsg_createDispatcher(ctx(), &ctx()->eventProc), 0);
    }
    void TearDown() override
    {
        run([this] {
            if (listening) {
                EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 2, onQuestion, this), 0);
            }
            for (EventProcMsg *m : kept)
                EventProc_freeMsg(m);
            AppMsg_destroyDispatcher(ctx()->eventProc);
            ctx()->eventProc = nullptr;
            Worker_shutdownPool(ctx());
        });
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << "heap bytes leaked";
        TaskFixture::TearDown();
    }

    // Runs fn on an engine task until it and everything it started is done.
    void run(std::function<void()> fn)
    {
        Task_detach(spawn("driver", 3, std::move(fn)));
        TestEngine_runAll(&e);
    }

    // Opens bytes (kept alive by the caller) with the PDF reader; from a
    // task. The handle is closed on failure.
    int open(const std::string &bytes, PdfDoc **doc)
    {
        *doc = nullptr;
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        int err = Vfs_openMemory(ctx(), reinterpret_cast<const uint8_t *>(bytes.data()),
                                 bytes.size(), 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted);
        if (err != Res_ok)
            return err;
        err = Pdf_openDocument(ctx(), doc, h, nullptr, 0);
        if (err != Res_ok)
            Vfs_close(h);
        return err;
    }

    // Opens, runs body with the document, closes; the open's result.
    int withDoc(const std::string &bytes, const std::function<void(PdfDoc *)> &body)
    {
        int result = -1;
        run([&] {
            PdfDoc *doc = nullptr;
            result = open(bytes, &doc);
            if (result == Res_ok) {
                body(doc);
                Pdf_closeDocument(doc, nullptr);
            }
        });
        return result;
    }

    // The object numbered n, resolved (borrowed).
    static PdfObj *object(PdfDoc *doc, uint32_t n, int *err = nullptr)
    {
        PdfXrefEntry *e = Pdf_Xref_find(doc, n, -1);
        PdfObj ref{PdfObj_indirect, {}, nullptr};
        if (!e)
            return nullptr;
        if (!(e->flags & PdfXref_inUse))
            return nullptr;
        ref.value.entry = e;
        PdfObj *obj = &ref;
        int r = Pdf_Obj_resolve(doc, &obj);
        if (err)
            *err = r;
        return r == Res_ok ? obj : nullptr;
    }

    // ------------------------------------------- the password question host

    // What the host does with each question, in turn; past the end of the
    // script it cancels.
    struct Answer {
        int32_t result; // PdfSec_answerOk, PdfSec_answerCancel or another word
        std::string text;
        bool keep = false; // keep a copy of the message and answer nothing now
    };

    void listen(std::vector<Answer> script)
    {
        answers = std::move(script);
        listening = true;
        run([this] {
            ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 2, onQuestion, this), 0);
        });
    }

    static void onQuestion(EngineContext *, EventProcMsg *msg, void *arg, int *)
    {
        PdfDocFixture *t = static_cast<PdfDocFixture *>(arg);
        EventProcKind2Msg *m = static_cast<EventProcKind2Msg *>(msg->payload);
        if (m->type != PdfSec_questionType)
            return;
        size_t i = t->questions++;
        Answer a = i < t->answers.size() ? t->answers[i] : Answer{PdfSec_answerCancel, ""};
        if (a.keep) {
            EventProcMsg *copy = nullptr;
            EXPECT_EQ(EventProcMsg_copy(msg, &copy), 0);
            t->kept.push_back(copy);
            return;
        }
        answerWith(m, a.result, a.text);
    }

    static void answerWith(EventProcKind2Msg *m, int32_t result, const std::string &text)
    {
        char16_t **cell = static_cast<char16_t **>(m->subject);
        Mem_free(*cell);
        *cell = Ustr_fromCstr(text.c_str());
        *static_cast<int32_t *>(m->detail[0]) = result;
        Sem_signal(static_cast<Sem *>(m->object));
    }

    bool listening = false;
    std::vector<Answer> answers;
    size_t questions = 0;
    std::vector<EventProcMsg *> kept;
};
