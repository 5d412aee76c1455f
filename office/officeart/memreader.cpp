// The in-memory record reader.
#include "office/officeart/memreader.h"

#include <cstring>

#include "core/result.h"
#include "core/task/task.h"

void MemReader_init(MemReader *reader, const uint8_t *base, uint32_t size)
{
    reader->base = base;
    reader->pos = 0;
    reader->size = size;
}

uint32_t MemReader_tell(const MemReader *reader)
{
    return reader->pos;
}

int MemReader_seek(MemReader *reader, int32_t offset, uint32_t origin)
{
    uint32_t to;
    if (origin == MemReader_fromStart)
        to = uint32_t(offset);
    else if (origin == MemReader_fromCurrent)
        to = reader->pos + uint32_t(offset);
    else if (origin == MemReader_toEnd)
        to = reader->size;
    else
        Std_abort(); // an impossible origin: a caller's own constant went wrong
    if (to > reader->size)
        return Res_memReaderBeyond;
    reader->pos = to;
    return Res_ok;
}

int MemReader_read(MemReader *reader, void *dst, uint32_t n)
{
    if (n > reader->size - reader->pos)
        return Res_memReaderBeyond;
    if (n)
        memcpy(dst, reader->base + reader->pos, n);
    reader->pos += n;
    return Res_ok;
}
