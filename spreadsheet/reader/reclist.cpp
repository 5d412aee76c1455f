// Raw-record lists of the BIFF8 reader: the type, length and stream
// position of records the reader met but does not model, kept so that the
// workbook writer can copy them from the original stream. An entry may
// carry an extent {start, length}: the part of the stream a handler read
// beyond the record's own body (CONTINUE records), made on first use.
#include "spreadsheet/reader/excel.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/sheetobj.h"

struct RecListExtent {
    uint32_t start;
    uint32_t length;
};

struct RecListEntry {
    uint16_t type;
    uint16_t length;
    uint32_t position;     // stream position of the body
    RecListExtent *extent; // owned, may be null
    RecListEntry *next;
};

int RecList_append(RecListEntry **head, RecListEntry **tail, uint32_t mode, uint16_t type,
                   uint16_t length, uint32_t position, RecListEntry **out)
{
    if (out)
        *out = nullptr;
    if (!head || !tail)
        return Res_missingArgument;
    if (mode != RecList_prepend && mode != RecList_appendAtEnd)
        return Res_nullInput;
    RecListEntry *e = static_cast<RecListEntry *>(Mem_calloc(1, sizeof(RecListEntry)));
    if (!e)
        return Res_noMemory;
    e->type = type;
    e->length = length;
    e->position = position;
    if (mode == RecList_appendAtEnd) {
        if (*tail)
            (*tail)->next = e;
        else
            *head = e;
        *tail = e;
    } else {
        e->next = *head;
        *head = e;
        if (!*tail)
            *tail = e;
    }
    if (out)
        *out = e;
    return Res_ok;
}

RecListEntry *RecList_next(const RecListEntry *entry)
{
    return entry ? entry->next : nullptr;
}

uint32_t RecList_type(const RecListEntry *entry)
{
    return entry ? entry->type : 0;
}

uint32_t RecList_length(const RecListEntry *entry)
{
    return entry ? entry->length : 0;
}

uint32_t RecList_position(const RecListEntry *entry)
{
    return entry ? entry->position : 0;
}

uint32_t RecList_getStart(const RecListEntry *entry)
{
    return entry && entry->extent ? entry->extent->start : 0;
}

uint32_t RecList_getLength(const RecListEntry *entry)
{
    return entry && entry->extent ? entry->extent->length : 0;
}

namespace {

RecListExtent *extentOf(RecListEntry *entry)
{
    if (!entry->extent)
        entry->extent = static_cast<RecListExtent *>(Mem_calloc(1, sizeof(RecListExtent)));
    return entry->extent;
}

} // namespace

int RecList_setStart(RecListEntry *entry, uint32_t start)
{
    if (!entry)
        return Res_missingArgument;
    RecListExtent *x = extentOf(entry);
    if (!x)
        return Res_noMemory;
    x->start = start;
    return Res_ok;
}

int RecList_setLength(RecListEntry *entry, uint32_t length)
{
    if (!entry)
        return Res_missingArgument;
    RecListExtent *x = extentOf(entry);
    if (!x)
        return Res_noMemory;
    x->length = length;
    return Res_ok;
}

void RecList_free(RecListEntry **head, RecListEntry **tail)
{
    RecListEntry *e = head ? *head : nullptr;
    while (e) {
        RecListEntry *next = e->next;
        Mem_free(e->extent);
        Mem_free(e);
        e = next;
    }
    if (head)
        *head = nullptr;
    if (tail)
        *tail = nullptr;
}

int RecList_setExtent(RecListEntry *entry, uint32_t start, uint32_t length)
{
    int rc = RecList_setStart(entry, start);
    return rc == Res_ok ? RecList_setLength(entry, length) : rc;
}

namespace {

// The page-setup, view and protection records of a worksheet that the
// writer copies as they stand.
constexpr uint16_t keptTypes[] = {
    0x000C, 0x000D, 0x000F, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0019, 0x001A, 0x001B,
    0x001D, 0x0026, 0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x0041, 0x004D, 0x005E, 0x0063, 0x0080,
    0x0081, 0x0082, 0x0083, 0x0084, 0x0090, 0x0099, 0x009D, 0x00A0, 0x00A1, 0x00B0, 0x00E9, 0x00EF,
    0x01AF, 0x01B0, 0x01B1, 0x01B2, 0x01B8, 0x01BA, 0x01BC, 0x01BE, 0x023E, 0x0866, 0x0867,
};

} // namespace

int Excel_keepSheetRecord(ExcelLoadSheet *sheet, const ExcelRecordHeader *header, uint32_t position)
{
    if (!sheet || !header)
        return Res_missingArgument;
    for (uint16_t t : keptTypes)
        if (t == header->type)
            return RecList_append(&sheet->kept[0], &sheet->kept[1], RecList_appendAtEnd,
                                  header->type, header->length, position, nullptr);
    return Res_ok;
}
