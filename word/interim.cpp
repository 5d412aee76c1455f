// Interim definitions of the Word reader's services that later work
// builds: the list tables, paint servers and the table builder.
#include "core/result.h"
#include "word/reader/word.h"

// Interim: the list tables are not built yet, so the outline list has no
// levels to refresh.
int Word_olstToLevels(const WordAnlv *, uint32_t, const char16_t *, WordReader *)
{
    return Res_ok;
}

// Interim: the stops of the value's stop list as they stand (at most 20;
// a missing list gives two black stops) until the Word reader builds paint
// servers from its own gradient records.
#include "core/container/stoplist.h"
#include "core/mem/mem.h"
#include "layout/replaced.h"

int Word_paintServerFromProp(PaintServer *out, uintptr_t value)
{
    const StopList *list = reinterpret_cast<const StopList *>(value);
    uint32_t count = list && list->count >= 2 ? uint32_t(list->count) : 2;
    if (count > PaintServer_maxStops)
        count = PaintServer_maxStops;
    out->kind = 1;
    out->count = 0;
    out->stops = static_cast<int32_t *>(Mem_calloc(size_t(count) * 2, sizeof(int32_t)));
    if (!out->stops)
        return Res_noMemory;
    for (uint32_t i = 0; i < count; i++) {
        bool given = list && list->count >= 2;
        out->stops[2 * i] = given ? list->stops[i].position : int32_t(i * 0x10000);
        out->stops[2 * i + 1] = given ? int32_t(list->stops[i].value) : int32_t(0xFF000000u);
    }
    out->count = count;
    return Res_ok;
}

// Interim: tables are not built yet, so every paragraph goes into its
// section group (table paragraphs appear as plain paragraphs) and a
// paragraph's end marks no cell.
#include "word/reader/build.h"

int Word_tableParent(WordParaState *para, Edr_Node **out)
{
    *out = para->section->group;
    return Res_ok;
}

int Word_tableParaEnd(WordParaState *)
{
    return Res_ok;
}
