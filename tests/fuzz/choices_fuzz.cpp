// Fuzz target for the "choices.txt" parser. Input: one byte that chooses
// how many new bytes each read window brings (0 = as many as asked), then
// the file. The file is read once in windows of that size and once whole;
// both readings must leave the same settings, every read must make
// progress, and nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "core/config/config.h"
#include "platform/config/settings.h"
#include "core/mem/mem.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

// Lends the data as a stream would: what the last window left unused plus
// up to `step` new bytes (0: as many as asked; `whole`: all that is left).
struct Source {
    const uint8_t *data;
    size_t size;
    size_t pos;
    size_t step;
    bool whole;
    size_t lastLen;
    size_t left;
    size_t reads;
    bool lent;
};

int getReadBuf(void *h, size_t want, const uint8_t **ptr, size_t *len)
{
    Source *s = static_cast<Source *>(h);
    require(!s->lent && want <= Settings_window);
    s->reads++;
    size_t n = s->size - s->pos;
    if (!s->whole) {
        if (n > want)
            n = want;
        if (s->step && n > s->left + s->step)
            n = s->left + s->step;
    }
    *ptr = s->data + s->pos;
    *len = n;
    s->lastLen = n;
    s->lent = true;
    return 0;
}

int readDone(void *h, size_t n)
{
    Source *s = static_cast<Source *>(h);
    require(s->lent && n <= s->lastLen);
    s->lent = false;
    s->pos += n;
    s->left = s->lastLen - n;
    return 0;
}

int closeSource(void *)
{
    return 0;
}

std::string text(const char16_t *s)
{
    std::string out;
    if (!s)
        return "(null)";
    for (; *s; s++)
        out += char(*s & 0xff);
    return out;
}

std::map<std::string, std::string> dump(ConfigStore *store)
{
    std::map<std::string, std::string> out;
    KeyedEntry *d = nullptr;
    for (KeyedList_next(store->domains, nullptr, &d); d; KeyedList_next(store->domains, d, &d)) {
        KeyedList *keys = static_cast<KeyedList *>(d->value);
        KeyedEntry *k = nullptr;
        for (KeyedList_next(keys, nullptr, &k); k; KeyedList_next(keys, k, &k))
            out[text(static_cast<char16_t *>(d->key)) + "\n" +
                text(static_cast<char16_t *>(k->key))] = text(static_cast<char16_t *>(k->value));
    }
    return out;
}

std::map<std::string, std::string> readAll(EngineContext *ctx, const uint8_t *data, size_t size,
                                           size_t step, bool whole)
{
    ConfigStore *store = Config_createStore(ctx, u"x");
    require(store != nullptr);
    Source src = {data, size, 0, step, whole, 0, 0, 0, false};
    SettingsSource s = {&src, getReadBuf, readDone, closeSource};
    require(Settings_readSource(ctx, store, &s) == 0);
    require(src.pos == size);
    require(src.reads <= size + 2);
    std::map<std::string, std::string> out = dump(store);
    Config_freeStore(ctx, store);
    return out;
}

TestHeap heap;
EngineContext *context;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!context) {
        require(TestHeap_open(&heap, 16 << 20, 0));
        context = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
        require(context != nullptr);
        context->instance = heap.instance;
        heap.instance->context = context;
    }
    if (size == 0)
        return 0;
    size_t before = TestHeap_usedBytes();
    size_t step = data[0];
    auto pieces = readAll(context, data + 1, size - 1, step, false);
    auto whole = readAll(context, data + 1, size - 1, 0, true);
    require(pieces == whole);
    require(TestHeap_usedBytes() == before);
    return 0;
}
