// Posted values: deep copies of every kind (texts copied, plain words as
// they are, null texts kept null), copy failures injected at each
// allocation with nothing left behind, and posting: the queued kind-4
// message carries its own copy, copies itself and frees itself, and a
// post that runs out of memory leaves nothing queued or allocated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/postedvalue.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/task_fixture.h"

namespace {

char *text(uintptr_t w)
{
    return reinterpret_cast<char *>(w);
}

// The words of each kind that hold texts (index into words).
std::vector<int> textWordsOf(uint32_t kind)
{
    switch (kind) {
    case 0: return {2};
    case 2: return {0, 1};
    case 1:
    case 3:
    case 4:
    case 5:
    case 6: return {1};
    default: return {};
    }
}

// A source of the kind: texts "t<i>" in its text words, plain values
// 100 + i elsewhere (a kind above 6 has only plain words, some of which
// look like pointers and must never be freed).
struct Source {
    char texts[5][4] = {"t0", "t1", "t2", "t3", "t4"};
    PostedValue value = {};
    explicit Source(uint32_t kind, bool nullTexts = false)
    {
        value.kind = kind;
        for (int i = 0; i < 5; i++)
            value.words[i] = kind > 6 ? 0x1000 + i : 100 + i;
        for (int i : textWordsOf(kind))
            value.words[i] = nullTexts ? 0 : reinterpret_cast<uintptr_t>(texts[i]);
    }
};

void expectDeepCopy(const PostedValue &src, const PostedValue &dst)
{
    EXPECT_EQ(dst.kind, src.kind);
    std::vector<int> texts = textWordsOf(src.kind);
    for (int i = 0; i < 5; i++) {
        bool isText = std::find(texts.begin(), texts.end(), i) != texts.end();
        if (!isText) {
            EXPECT_EQ(dst.words[i], src.words[i]) << src.kind << " word " << i;
        } else if (!src.words[i]) {
            EXPECT_EQ(dst.words[i], 0u);
        } else {
            EXPECT_NE(dst.words[i], src.words[i]);
            EXPECT_STREQ(text(dst.words[i]), text(src.words[i]));
        }
    }
}

using PostedValueTest = LeakCheckedHeapTest<>;

TEST_F(PostedValueTest, CopiesEveryKind)
{
    for (uint32_t kind = 0; kind <= 8; kind++) {
        for (bool nullTexts : {false, true}) {
            Source s(kind, nullTexts);
            PostedValue copy;
            ASSERT_EQ(PostedValue_copy(&s.value, &copy), 0);
            expectDeepCopy(s.value, copy);
            PostedValue_freeTexts(&copy);
        }
    }
    char *out = reinterpret_cast<char *>(1);
    EXPECT_EQ(PostedValue_dupText(&out, nullptr), 0);
    EXPECT_EQ(out, nullptr);
    Mem_failAfter(1);
    EXPECT_EQ(PostedValue_dupText(&out, "x"), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(out, nullptr);
}

// The second text of a redirection failing frees the first: 1, no text
// left in the copy, nothing leaked (the fixture checks the heap).
TEST_F(PostedValueTest, CopyFailuresLeaveNoText)
{
    for (uint32_t kind : {0u, 1u, 2u, 6u}) {
        Source s(kind);
        for (uint64_t n = 1;; n++) {
            PostedValue copy;
            Mem_failAfter(n);
            int r = PostedValue_copy(&s.value, &copy);
            Mem_failAfter(0);
            if (r == 0) {
                EXPECT_EQ(n, textWordsOf(kind).size() + 1);
                PostedValue_freeTexts(&copy);
                break;
            }
            EXPECT_EQ(r, Res_noMemory);
            for (int i : textWordsOf(kind))
                EXPECT_EQ(copy.words[i], 0u) << kind << " " << i;
        }
    }
}

class PostedValueQueue : public TaskFixture {
  protected:
    void run(std::function<void()> fn)
    {
        Task_detach(spawn("driver", 3, std::move(fn)));
        TestEngine_runAll(&e);
    }
};

TEST_F(PostedValueQueue, PostedMessagesOwnTheirCopies)
{
    run([&] {
        EventProc *proc = nullptr;
        ASSERT_EQ(AppMsg_createDispatcherMode(ctx(), &proc, EventProc_inlineMode), 0);
        for (uint32_t kind = 0; kind <= 7; kind++) {
            Source s(kind, kind == 1);
            ASSERT_EQ(EventQ_postValueCopy(proc, &s.value), 0);
            ASSERT_NE(proc->queue, nullptr);
            EventProcNode *node = proc->queue;
            while (node->next)
                node = node->next;
            EventProcMsg *msg = node->msg;
            EXPECT_EQ(msg->kind, PostedValue_msgKind);
            EXPECT_EQ(msg->freeFn, PostedValue_msgFree);
            EXPECT_EQ(msg->copyFn, PostedValue_msgCopy);
            EXPECT_EQ(msg->merge, nullptr);
            expectDeepCopy(s.value, *static_cast<PostedValue *>(msg->payload));
            // The message copies itself deeply.
            EventProcMsg *copy = nullptr;
            ASSERT_EQ(EventProcMsg_copy(msg, &copy), 0);
            expectDeepCopy(s.value, *static_cast<PostedValue *>(copy->payload));
            for (int i : textWordsOf(kind)) {
                if (s.value.words[i]) {
                    EXPECT_NE(static_cast<PostedValue *>(copy->payload)->words[i],
                              static_cast<PostedValue *>(msg->payload)->words[i]);
                }
            }
            EventProc_freeMsg(copy);
        }
        size_t used = TestHeap_usedBytes();
        // Posting under every allocation failure: nothing queued, nothing
        // left.
        Source s(2);
        for (uint64_t n = 1;; n++) {
            Mem_failAfter(n);
            int r = EventQ_postValueCopy(proc, &s.value);
            Mem_failAfter(0);
            if (r == 0)
                break;
            EXPECT_EQ(r, Res_noMemory);
            EXPECT_EQ(TestHeap_usedBytes(), used) << n;
        }
        AppMsg_destroyDispatcher(proc); // frees the queued messages
    });
    EXPECT_EQ(TestHeap_usedBytes(), baseline);
}

} // namespace
