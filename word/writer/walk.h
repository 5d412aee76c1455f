// The walk over one story of the tree (word/writer/walk.cpp).
#pragma once

#include <cstdint>

#include "word/writer/writer.h"

struct Edr_Node;

enum : uint32_t {
    WordWalk_main = 1,
    WordWalk_header = 2,
    WordWalk_textBoxes = 3,       // the text-box story of the main text
    WordWalk_headerTextBoxes = 4, // the text-box story of the headers
};

// A floating shape met in a story: its picture group (a reference held)
// and the story CP of its anchor character.
struct WordOutShape {
    Edr_Node *node;
    uint32_t cp;
};

struct WordWalk {
    WordWriter *w;
    uint32_t story;  // WordWalk_main ... WordWalk_headerTextBoxes
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
    // The list modifiers of a paragraph that ended in a page break: its
    // run goes on into the next paragraph, which repeats them.
    uint8_t carriedList[8];
    uint32_t carriedLength;
    Edr_Node *leadIn; // the number group of the list paragraph being written
    Edr_Node *cells[WordWriter_maxRowCells];
    uint32_t cellCount;
    // Sections (main story).
    uint32_t sectionStart;
    WordOutSection *sections;
    uint32_t sectionCount;
    uint32_t sectionCapacity;
    // Floating shapes of the main or header story.
    WordOutShape *shapes;
    uint32_t shapeCount;
    uint32_t shapeCapacity;
    // Text boxes of the main or header story by their number (from 1) less
    // one, a reference held on each; null for a number not met.
    Edr_Node **boxes;
    uint32_t boxCount;
    uint32_t boxCapacity;
    // In a text-box story: the text box being written, and the end CP of
    // each slot of the story (after its closing mark).
    Edr_Node *box;
    uint32_t *boxEnds;
    uint32_t boxEndCount;
};

// Walks the subtree under start (held under the document's read lock),
// writing its characters into the walk's text and recording its runs.
// 0 or an error.
[[nodiscard]] int WordWalk_run(WordWalk *walk, Edr_Node *start);
// The text-box story of the text boxes owner met: each box's text and a
// mark, an empty slot a mark alone, then the mark that ends the story.
// 0 or an error.
[[nodiscard]] int WordWriter_writeTextboxText(WordWalk *walk, const WordWalk *owner);
// The 26-byte FSPA of a floating shape: its id, its rectangle in twips
// from its rule, the flags, no text-box count. 0 or 1.
[[nodiscard]] int WordWalk_packFspa(WordWriter *w, const WordOutShape *shape, uint8_t *out);
// The shape id of a text box's shape (0 for none).
uint32_t WordWalk_boxShapeId(WordWriter *w, Edr_Node *box);
// Ends every field still open.
[[nodiscard]] int WordWalk_closeFields(WordWalk *walk);
void WordWalk_free(WordWalk *walk);
