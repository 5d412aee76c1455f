// Growable 16-bit text buffers.
#include "core/text/ustrbuf.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"

namespace {

void reset(Ustr_buf *buffer)
{
    buffer->chars = nullptr;
    buffer->capacity = 0;
    buffer->length = 0;
    buffer->nextStep = buffer->growStep;
}

// Makes room for n characters and a terminator; false when it cannot,
// with nothing changed.
bool makeRoom(Ustr_buf *buffer, uint64_t n)
{
    uint64_t need = uint64_t(buffer->length) + n + 1;
    if (uint64_t(buffer->capacity) >= need)
        return true;
    if (need > UINT32_MAX)
        return false;
    uint64_t capacity = need > buffer->nextStep ? need : buffer->nextStep;
    char16_t *chars = static_cast<char16_t *>(Mem_realloc(buffer->chars, size_t(capacity) * 2));
    if (!chars)
        return false;
    buffer->chars = chars;
    buffer->capacity = uint32_t(capacity);
    uint64_t next = uint64_t(buffer->nextStep) * 2;
    buffer->nextStep = next > UINT32_MAX ? UINT32_MAX : uint32_t(next);
    return true;
}

} // namespace

void Ustr_bufInit(Ustr_buf *buffer, uint32_t growStep)
{
    buffer->growStep = growStep;
    reset(buffer);
}

int Ustr_bufAppendN(Ustr_buf *buffer, const void *source, size_t n, int wide)
{
    if (!wide && source)
        n = strnlen(static_cast<const char *>(source), n);
    if (n && !source)
        return Res_nullInput;
    if (n > UINT32_MAX || !makeRoom(buffer, n))
        return Res_noMemory;
    char16_t *end = buffer->chars + buffer->length;
    if (wide)
        memcpy(end, source, n * 2);
    else
        Ustr_ncpyCstr(end, static_cast<const char *>(source), n);
    buffer->length += uint32_t(n);
    return Res_ok;
}

int Ustr_bufAppend(Ustr_buf *buffer, const char16_t *source, size_t n)
{
    return Ustr_bufAppendN(buffer, source, n, 1);
}

int Ustr_bufAppendAscii(Ustr_buf *buffer, const char *source, size_t n)
{
    return Ustr_bufAppendN(buffer, source, n, 0);
}

char16_t *Ustr_bufDetach(Ustr_buf *buffer)
{
    char16_t *chars = buffer->chars;
    if (!chars)
        return nullptr;
    uint32_t length = buffer->length;
    char16_t *shrunk = static_cast<char16_t *>(Mem_realloc(chars, (size_t(length) + 1) * 2));
    if (shrunk)
        chars = shrunk;
    chars[length] = 0;
    reset(buffer);
    return chars;
}

int Ustr_bufTake(Ustr_buf *buffer, char16_t **out)
{
    *out = nullptr;
    if (!makeRoom(buffer, 0))
        return Res_noMemory;
    *out = Ustr_bufDetach(buffer);
    return Res_ok;
}

int Ustr_bufFree(Ustr_buf *buffer)
{
    Mem_free(buffer->chars);
    reset(buffer);
    return 0;
}
