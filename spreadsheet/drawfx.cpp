// The drawing-effect records of draw requests: a colour-transfer record
// kept in the engine context, holding the lightening table and the stage
// lists of effects 1 (grey), 2 (transfer) and 3 (transfer, then grey).
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "graphics/transfer.h"
#include "graphics/imageutil.h"

struct TransferRecord {
    uint8_t table[256];
    StageNode grey, transfer, both;
};

int Obj_transferCreate(EngineContext *ctx)
{
    if (!ctx)
        return 1;
    TransferRecord *e = static_cast<TransferRecord *>(Mem_malloc(sizeof(TransferRecord)));
    if (!e)
        return 1;
    // Gamma 1.0, brightness 64, contrast 32: a lighter, flatter picture.
    Pixel_buildTransferTable(1.0, 64, 32, e->table);
    e->grey = StageNode{&Grey_stageOps, nullptr, nullptr};
    e->transfer = StageNode{&Transfer_stageOps, e->table, nullptr};
    e->both = StageNode{&Transfer_stageOps, e->table, &e->grey};
    Mem_free(ctx->drawEffects);
    ctx->drawEffects = e;
    return 0;
}

void Obj_transferFree(EngineContext *ctx)
{
    if (!ctx)
        return;
    Mem_free(ctx->drawEffects);
    ctx->drawEffects = nullptr;
}

void Obj_freeKindRecords(EngineContext *ctx)
{
    Obj_transferFree(ctx);
}

const StageNode *Obj_kindRecord(EngineContext *ctx, uint32_t effect)
{
    if (!ctx || effect == 0 || effect > 3)
        return nullptr;
    // Made on first use: draw requests without effects never pay for it.
    if (!ctx->drawEffects && Obj_transferCreate(ctx) != 0)
        return nullptr;
    TransferRecord *e = static_cast<TransferRecord *>(ctx->drawEffects);
    return effect == 1 ? &e->grey : effect == 2 ? &e->transfer : &e->both;
}

int Obj_lazyCreate(void **slot, size_t size)
{
    if (!slot)
        return 0;
    if (!*slot)
        *slot = Mem_calloc(1, size);
    return *slot ? 1 : 0;
}
