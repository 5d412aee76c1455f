// Token readers: the three dispatchers.
#include "core/container/pstoken.h"

#include "core/result.h"

void *PsToken_next(TokenReader *reader)
{
    if (!reader || !reader->ops || !reader->ops->next)
        return nullptr;
    return reader->ops->next(reader);
}

int PsToken_status(TokenReader *reader)
{
    if (!reader || !reader->ops || !reader->ops->status)
        return Res_nullInput;
    return reader->ops->status(reader);
}

void PsToken_destroy(TokenReader *reader)
{
    if (reader && reader->ops && reader->ops->destroy)
        reader->ops->destroy(reader);
}
