// The list record that a numbered paragraph node carries for the writer.
//
// When a paragraph gets a number, the paragraph builder attaches to its
// node (Edr_Node_setPrivate, destructor Word_paraListDataFree) a holder
// that owns one list record: the definition of the paragraph's list with
// one level present, the paragraph's own, copied from the level in force
// (a formatting override's level when there is one). The writer finds the
// list by lsid, takes the first present level (1 to 9) as the paragraph's
// level, and compares it with what it has already written. The fields
// follow the writer's list-level and list records field for field:
//
// WordParaListLevel
//   flags         bits 0-1 jc, 2 fLegal, 3 fNoRestart, 4 fPrev, 5 fPrevSpace,
//                 6 fWord6 (the reader's level flag bits, in the same order)
//   nfc           number format
//   rgbxchNums    9 bytes: 1-based positions of the level numbers in text
//   ixchFollow    0 tab, 1 space, 2 nothing
//   cbGrpprlChpx, cbGrpprlPapx   lengths of the two modifier lists
//   reserved      0
//   iStartAt      the start number; a start-at override's start when the
//                 paragraph's override restarts the level
//   dxaSpace, dxaIndent
//   grpprlPapx, grpprlChpx       owned modifier bytes (no length word), or null
//   text, textLength             owned number text (16-bit characters; a
//                                character below 9 at a position named in
//                                rgbxchNums is a level placeholder), or null
//
// WordParaList
//   flags         bit 0 fSimpleList (clear), bit 4 set as at the writer's
//                 creation of a list
//   reserved      0
//   rgistd        9 style indexes (0x0FFF: none)
//   lsid, tplc
//   levels        levels 1 to 9 (index 0 is level 1); only the paragraph's
//                 level is present
#pragma once

#include <cstdint>

struct Edr_Doc;
struct Edr_Node;
struct WordList;
struct WordListLevel;
struct WordLfoLevel;

struct WordParaListLevel {
    uint8_t flags;
    uint8_t nfc;
    uint8_t rgbxchNums[9];
    uint8_t ixchFollow;
    uint8_t cbGrpprlChpx;
    uint8_t cbGrpprlPapx;
    uint16_t reserved;
    int32_t iStartAt;
    int32_t dxaSpace;
    int32_t dxaIndent;
    uint8_t *grpprlPapx;
    uint8_t *grpprlChpx;
    char16_t *text;
    uint16_t textLength;
};

struct WordParaList {
    uint8_t flags;
    uint8_t reserved;
    uint16_t rgistd[9];
    uint32_t lsid;
    uint32_t tplc;
    WordParaListLevel *levels[9];
};

// The record attached to the paragraph node.
struct WordParaListData {
    WordParaList *list;
};

enum : uint8_t {
    WordParaList_simple = 1u << 0,
    WordParaList_created = 1u << 4,
};

// A new list record for level ilvl (0 to 8) of list, whose level in force
// is level and whose override in force for that level is override (null
// when none). 0, 1 when out of memory (nothing made), or 3848 for a level
// number above 8.
[[nodiscard]] int Word_paraListCreate(const WordList *list, uint32_t ilvl,
                                      const WordListLevel *level, const WordLfoLevel *override,
                                      WordParaList **out);
// A list record of the whole list: every level the list defines (without
// overrides), for the writer to complete lists with. 0 or 1.
[[nodiscard]] int Word_paraListCreateAll(const WordList *list, WordParaList **out);
// Frees a list record and its levels; null allowed.
void Word_paraListFree(WordParaList *list);
// Frees a level with its sprm groups and number text (null allowed).
void WordListLevel_free(WordParaListLevel *level);
// The destructor given with the attachment: frees the record when present,
// then the holder.
void Word_paraListDataFree(void *holder);
// Attaches a new holder of list to node (the holder owns it from the call
// on, whatever the result). 0 or 1.
[[nodiscard]] int Word_paraAttachList(Edr_Doc *doc, Edr_Node *node, WordParaList *list);
// The list record of a paragraph node, or null.
const WordParaList *Word_paraListOf(Edr_Doc *doc, Edr_Node *node);
// The first present level of a list record, or null.
const WordParaListLevel *Word_paraListFirstLevel(const WordParaList *list);
