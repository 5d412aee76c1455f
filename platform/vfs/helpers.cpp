// Small helpers beside the virtual streams: string append and the type-18
// property payload.
#include "platform/vfs/helpers.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/text/ustr.h"

char16_t *Ustr_appendCstr(char16_t *s, const char *text8)
{
    if (!text8)
        return s;
    size_t have = Ustr_len(s);
    size_t add = strlen(text8);
    if (add > SIZE_MAX / sizeof(char16_t) - have - 1)
        return nullptr;
    char16_t *out =
        static_cast<char16_t *>(Mem_realloc(s, (have + add + 1) * sizeof(char16_t)));
    if (!out)
        return nullptr;
    if (!s)
        have = 0;
    for (size_t i = 0; i < add; i++)
        out[have + i] = static_cast<char16_t>(static_cast<uint8_t>(text8[i]));
    out[have + add] = 0;
    return out;
}

int Prop18_new(Prop18 **payload)
{
    *payload = nullptr;
    Prop18 *p = static_cast<Prop18 *>(Mem_malloc(sizeof(Prop18)));
    if (!p)
        return 1;
    const Prop18 fresh = {{0, 0, 6, 85, 0}};
    *p = fresh;
    *payload = p;
    return 0;
}

int Prop18_copy(Prop18 **payload, const Prop18 *source)
{
    *payload = nullptr;
    if (!source)
        return 0;
    Prop18 *p = static_cast<Prop18 *>(Mem_malloc(sizeof(Prop18)));
    if (!p)
        return 1;
    *p = *source;
    *payload = p;
    return 0;
}

void Prop18_free(Prop18 *payload)
{
    Mem_free(payload);
}
