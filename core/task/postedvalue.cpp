// Posted values: deep copies of small typed values and their kind-4
// messages.
#include "core/task/postedvalue.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/text/cstr.h"

namespace {

// The indexes (into words) of the texts a kind holds; the count.
uint32_t textWords(uint32_t kind, uint32_t index[2])
{
    switch (kind) {
    case 0: index[0] = 2; return 1;
    case 2:
        index[0] = 0;
        index[1] = 1;
        return 2;
    case 1:
    case 3:
    case 4:
    case 5:
    case 6: index[0] = 1; return 1;
    default: return 0;
    }
}

char *textAt(const PostedValue *v, uint32_t index)
{
    return reinterpret_cast<char *>(v->words[index]);
}

} // namespace

int PostedValue_dupText(char **out, const char *text)
{
    *out = nullptr;
    if (!text)
        return Res_ok;
    *out = Cstr_dup(text);
    return *out ? Res_ok : Res_noMemory;
}

int PostedValue_copy(const PostedValue *src, PostedValue *dst)
{
    *dst = *src;
    uint32_t index[2];
    uint32_t n = textWords(src->kind, index);
    for (uint32_t i = 0; i < n; i++)
        dst->words[index[i]] = 0;
    for (uint32_t i = 0; i < n; i++) {
        char *copy = nullptr;
        int err = PostedValue_dupText(&copy, textAt(src, index[i]));
        if (err) {
            PostedValue_freeTexts(dst);
            return err;
        }
        dst->words[index[i]] = reinterpret_cast<uintptr_t>(copy);
    }
    return Res_ok;
}

void PostedValue_freeTexts(PostedValue *value)
{
    uint32_t index[2];
    uint32_t n = textWords(value->kind, index);
    for (uint32_t i = 0; i < n; i++) {
        Mem_free(textAt(value, index[i]));
        value->words[index[i]] = 0;
    }
}

int PostedValue_msgCopy(const EventProcMsg *src, EventProcMsg *dst)
{
    if (!dst)
        return Res_ok;
    dst->payload = nullptr;
    PostedValue *copy = static_cast<PostedValue *>(Mem_malloc(sizeof(PostedValue)));
    if (!copy)
        return Res_noMemory;
    int err = PostedValue_copy(static_cast<const PostedValue *>(src->payload), copy);
    if (err) {
        Mem_free(copy);
        return err;
    }
    dst->payload = copy;
    return Res_ok;
}

void PostedValue_msgFree(EventProcMsg *msg, void *)
{
    PostedValue *value = static_cast<PostedValue *>(msg->payload);
    if (!value)
        return;
    PostedValue_freeTexts(value);
    Mem_free(value);
    msg->payload = nullptr;
}

int EventQ_postValueCopy(EventProc *processor, const PostedValue *value)
{
    if (!value)
        return Res_missingArgument;
    EventProcMsg *msg = static_cast<EventProcMsg *>(Mem_calloc(1, sizeof(EventProcMsg)));
    if (!msg)
        return Res_noMemory;
    msg->kind = PostedValue_msgKind;
    msg->freeFn = PostedValue_msgFree;
    msg->copyFn = PostedValue_msgCopy;
    PostedValue *copy = static_cast<PostedValue *>(Mem_malloc(sizeof(PostedValue)));
    int err = copy ? PostedValue_copy(value, copy) : Res_noMemory;
    if (err) {
        Mem_free(copy);
        Mem_free(msg);
        return err;
    }
    msg->payload = copy;
    return EventProc_post(processor, msg);
}
