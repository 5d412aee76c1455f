// The contents-edit record that the engine and the host exchange.
//
// The engine fills one for the selected text or the current spreadsheet
// cell and sends it with host request 0x17000; the host's dialog answers
// with a record of the same layout, which the engine applies. Strings are
// 8-bit (UTF-8), owned by the side that made the record and freed by it
// after the exchange.
#pragma once

#include <cstdint>

enum : uint32_t {
    EditData_kindText = 92,   // selected text
    EditData_kindCell = 4065, // a spreadsheet cell
};

struct EditData {
    uint32_t kind; // EditData_kindText or EditData_kindCell; the host tests its bits
    char *cellRef; // a cell's reference in A1 form (null for text)
    uint32_t extra1;
    uint32_t extra2;
    uint32_t formulaUnreadable; // 1: the cell's formula could not be made text
    char *text;
    int32_t fontIndex;    // into the edit-mode record's font list
    uint32_t styleFlags;  // 0x01 bold, 0x02 italic, 0x04 and 0x08 underline kinds, 0x10 strike
    uint32_t fontSize;    // points, 16.16
    uint32_t colourIndex; // a palette index, or 0xRRGGBBAA for text
    int32_t colourIndex2; // the background's palette index (-1: none)
    uint32_t extra3;      // the caret position in the text
    uint32_t hAlign;      // 0x10000, 0x10001, 0x10002
    uint32_t vAlign;      // 0x10000, 0x10001, 0x10002
    char *formatString;   // a cell's number format
    uint32_t columnWidth;
    uint32_t rowHeight;
    uint32_t resizeMode; // 0x10000: apply width and height; 0x10003: leave them
};
