// The walk over one story of the tree (word/writer/walk.cpp).
#pragma once

#include <cstdint>

#include "word/writer/writer.h"

struct Edr_Node;

enum : uint32_t {
    WordWalk_main = 1,
    WordWalk_header = 2,
};

struct WordWalk {
    WordWriter *w;
    uint32_t story;  // WordWalk_main or WordWalk_header
    uint32_t cpBase; // the story's first CP in the whole text
    uint32_t cp;     // characters written in this story
    WordBuf text;    // the story's UTF-16 characters
    // Runs being built (CPs within the story).
    uint32_t chpStart;
    uint32_t papStart;
    WordBuf chpSprms;
    WordBuf papSprms;
    WordBuf markSprms; // the look of the paragraph's last run, for its mark
    WordBuf finalPapx; // the last paragraph run's modifiers
    WordOutRuns chpRuns;
    WordOutRuns papRuns;
    WordFieldPlc fields;
    uint32_t fieldDepth;
    uint32_t inPicture;
    uint32_t tableDepth;
    uint32_t pageBreak; // a page break was just written
    Edr_Node *leadIn; // the number group of the list paragraph being written
    Edr_Node *cells[WordWriter_maxRowCells];
    uint32_t cellCount;
    // Sections (main story).
    uint32_t sectionStart;
    WordOutSection *sections;
    uint32_t sectionCount;
    uint32_t sectionCapacity;
};

// Walks the subtree under start (held under the document's read lock),
// writing its characters into the walk's text and recording its runs.
// 0 or an error.
[[nodiscard]] int WordWalk_run(WordWalk *walk, Edr_Node *start);
// Ends every field still open.
[[nodiscard]] int WordWalk_closeFields(WordWalk *walk);
void WordWalk_free(WordWalk *walk);
