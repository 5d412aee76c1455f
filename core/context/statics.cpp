// The reset of the engine-wide words at engine creation.
#include "core/context/statics.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/text/fmt.h"

void Engine_resetStatics()
{
    Fmt_clearConversions();
    if (MemHeap *heap = Mem_heapContext())
        heap->outOfMemory = 0;
}
