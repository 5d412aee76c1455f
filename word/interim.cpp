// Interim definitions of the Word reader's services that later work
// builds: the list tables and the table builder.
#include "core/result.h"
#include "word/reader/word.h"

// Interim: the list tables are not built yet, so the outline list has no
// levels to refresh.
int Word_olstToLevels(const WordAnlv *, uint32_t, const char16_t *, WordReader *)
{
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
