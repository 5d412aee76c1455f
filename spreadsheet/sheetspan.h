// Worksheet cell spans: how far a cell's content reaches on the sheet
// grid (merged ranges and runs centred across the selection), and a few
// record operations of the worksheet code beside them: the per-tag record
// lists of a grid, a hook called under its record's lock, and the field
// block of a grid record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/task/lock.h"

struct ExcelCell;
struct SheetGrid;
struct TaggedNode;
struct TaggedRecord;

enum : uint32_t {
    Sheet_alignCentreAcross = 6, // horizontal alignment: centre across the selection
};

// The index of the first merged range of the grid that contains the cell's
// row and column, or -1 (also for a null grid or cell).
int32_t Sheet_findMergedRange(const SheetGrid *grid, const ExcelCell *cell);
// 1 when such a range exists, else 0.
int Sheet_isMerged(const SheetGrid *grid, const ExcelCell *cell);
// out[0] = the last row, out[1] = the last column of the cell's range, or
// (65536, 256) when the cell is in none.
void Sheet_mergedEnd(uint32_t out[2], const SheetGrid *grid, const ExcelCell *cell);
// The last cell of the run centred across the selection that starts at
// cell index: the cell itself when its alignment is not 6; null when the
// index is past the count. A run goes on over the following entries of the
// same row in the next column that are blank (kind 4) and aligned 6 too.
// Alignments come from the workbook's XF table; a cell whose XF lies
// outside it (or a grid without a workbook) counts as aligned 0.
const ExcelCell *Sheet_spanEnd(const SheetGrid *grid, uint32_t index);

// A row record of the sheet store: its entry array (an entry's id in its
// third word) and its overflow list (an entry's id in its second word).
struct SheetRowEntry {
    uint32_t words[2];
    uint32_t id;
    uint32_t more[3];
};
struct SheetRowOverflow {
    uint32_t spare;
    uint32_t id;
    uint32_t words[7];
    SheetRowOverflow *next;
};
struct SheetRow {
    uint32_t count;
    SheetRowEntry *entries;
    SheetRowOverflow *overflow;
};
// 1 when a cell with the id is in the row's entries or overflow list.
int Sheet_hasCell(const SheetRow *row, uint32_t id);

// Appends a record with the four words and a copy of size bytes of
// payload at the tail of the tag's records on the owner's chain (*head),
// a missing tag getting a new node at the head of the chain. 0; 8 for a
// null owner; 1 when out of memory (nothing changes).
[[nodiscard]] int TaggedList_append(TaggedNode **head, void (*tag)(TaggedRecord *), intptr_t a,
                                    intptr_t b, intptr_t c, intptr_t d, const void *payload,
                                    size_t size);

// A record with a use count, a lock and an optional hook.
typedef int (*HookFn)(void *context, const char16_t *text, uint32_t length);
struct HookRecord {
    int32_t useCount;
    Lock lock;
    HookFn hook;
    void *context;
};
// When the record's use count is positive, calls its hook (when set) with
// the hook's context, the text and the length under the record's lock and
// returns the hook's result; 0 otherwise.
int Hook_callLocked(HookRecord *record, const char16_t *text, uint32_t length);

// The field block of a grid record that follows its five header words.
void *Rec_fieldAt20(SheetGrid *grid);
