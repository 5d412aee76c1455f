// Drawings and pictures of Word documents: the shape anchor tables, the
// text-box tables, the OfficeArt drawing group of the table stream and its
// drawings, floating shapes placed at their anchors, text boxes with their
// stories, and inline pictures read from the "Data" stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "word/reader/sprm.h"

struct EscherDrawing;
struct EscherDrawingGroup;
struct EscherShape;
struct Edr_Doc;
struct Edr_Node;
struct StyleRule;
struct WordReader;
struct WordParaState;
struct WordRunState;
struct WordSectionContext;

enum : int {
    Res_wordShortPlex = 3850,      // a plex that its stream cuts short
    Res_wordNoShapeAnchor = 3852,  // no shape anchor holds the CP
    Res_wordNoStory = 3853,        // a text-box story that the tables do not hold
    Res_wordBadPicfLength = 3883,  // a picture header length that is not the version's
    Res_wordShortPicture = 3884,   // a picture header or picture data cut short, or bad extents
    Res_wordPictureMode98 = 3885,  // pictures of mapping mode 98 are not read
    Res_wordNoRowConverter = 3889, // no row converter for the bitmap's pixel format
    Res_wordNoShapes = 3890,       // shapes outside the main text and headers, or no "Data"
    Res_wordNoFieldAtCp = 3901,    // no field descriptor at the CP
    Res_wordTextBoxTooDeep = 3902, // text boxes nested deeper than the stack allows
};

enum : uint32_t {
    Word_fspaBytes = 26,
    Word_fspaPlexStep = 30, // a CP and an FSPA
    Word_txbxBytes = 22,
    Word_txbxBreakBytes = 6,
    Word_picf6Bytes = 58,
    Word_picf97Bytes = 68,
    Word_maxTextBoxSide = 0x160000, // 22 inches in 16.16
    Word_insetLeftRight = 0x1999,   // 0.1 inch
    Word_insetTopBottom = 0xCCC,    // 0.05 inch
};

// The flag fields of an FSPA.
inline uint32_t WordFspa_xRef(const WordFspa *f)
{
    return (f->flags >> 1) & 3;
}
inline uint32_t WordFspa_yRef(const WordFspa *f)
{
    return (f->flags >> 3) & 3;
}
inline uint32_t WordFspa_wrap(const WordFspa *f)
{
    return (f->flags >> 5) & 15;
}
inline uint32_t WordFspa_wrapSide(const WordFspa *f)
{
    return (f->flags >> 9) & 15;
}
inline uint32_t WordFspa_belowText(const WordFspa *f)
{
    return (f->flags >> 14) & 1;
}

// A plex as read: n + 1 CPs and n elements of a size.
struct WordPlex {
    uint8_t *bytes; // owned
    uint32_t count;
    uint32_t elementBytes;
};

// The picture header.
struct WordPicf {
    uint32_t total;
    uint16_t headerBytes;
    uint16_t mode;
    int16_t xExt, yExt;
    uint16_t metafile;
    uint16_t dxaGoal, dyaGoal;
    uint16_t mx, my;
    uint16_t crop[4];
    uint8_t flags;
    uint32_t borders[4];
    uint16_t originX, originY;
};

// The drawings of one load.
struct WordDrawings {
    WordPlex anchors[2];   // main text, headers
    WordPlex textBoxes[2]; // main text, headers (Word 97)
    WordPlex breaks[2];
    EscherDrawing *drawing; // the drawing group (null without one)
    EscherDrawingGroup **groups;
    uint8_t *groupKinds; // the byte read before each drawing
    uint32_t groupCount;
    WordSectionContext *section; // the section whose shapes are being placed
    uint32_t storyDepth;
    // The height (16.16 inches) of the floating shape being placed, 0 while
    // none is: a text box inside it is given an origin that brings its
    // story's top to its inset, whatever shapes were drawn before it.
    int32_t floatHeight;
};

// The floating shape that waits for the end of its paragraph.
struct WordPendingShape {
    Edr_Node *outer;
    Edr_Node *inner;
    uint32_t styleId;
    StyleRule *wrapRule;
    int32_t bounds[4]; // x, y, width, height
    uint32_t spid;
};

// ------------------------------------------------------------- tables

// n + 1 CPs and n elements of size bytes, n = (length - 4) / (size + 4),
// from the table stream. An empty plex for a length below 4. 3850 when
// the stream ends inside the plex; 1.
[[nodiscard]] int Word_readPlex(WordReader *reader, uint32_t pair, uint32_t size, WordPlex *out);
void Word_plexFree(WordPlex *plex);
// The CP at index i of a plex (i up to count).
uint32_t Word_plexCp(const WordPlex *plex, uint32_t i);
const uint8_t *Word_plexElement(const WordPlex *plex, uint32_t i);

[[nodiscard]] int Word_readShapeAnchors(WordReader *reader);
[[nodiscard]] int Word_readTextBoxTables(WordReader *reader);
void Word_freeTextBoxTables(WordReader *reader);
// The anchor of the current sub-document whose CP interval holds cp. 3890
// outside the main text and headers; 3852 when none holds it.
[[nodiscard]] int Word_findShapeAnchor(uint32_t cp, WordFspa *fspa, WordReader *reader);
// Load step: the anchors, then the drawing group with its drawings.
[[nodiscard]] int Word_loadDrawings(WordReader *reader);
void Word_drawingsFree(WordReader *reader);

// --------------------------------------------------------------- shapes

// Special character 8: the shape anchored at cp (Word 97 files only).
[[nodiscard]] int Word_placeDrawnObject(WordRunState *run, uint32_t cp);
// Completes (commit 1) or drops the paragraph's pending shape.
[[nodiscard]] int Word_paraFinishShape(WordParaState *para, int commit);
// The shape hook of the drawings: a text box's story into its shape.
int Word_shapeTextBox(void *user, Edr_Node *node, const EscherShape *shape, const int32_t rect[4],
                      int32_t rotation);
// The style hook of the drawings: the rule (the caller's) as a new style.
int Word_shapeStyle(void *user, StyleRule *rule, uint32_t *id);
// The CP range [start, end) of part part of story story of the current
// sub-document's text-box table. 3853 when the table has no such story.
[[nodiscard]] int Word_textBoxRange(uint32_t story, uint32_t part, WordReader *reader,
                                    uint32_t *start, uint32_t *end);
// The paragraphs of [cpStart, cpEnd) into group.
[[nodiscard]] int Word_emitStoryRange(uint32_t cpStart, uint32_t cpEnd, Edr_Node *group,
                                      WordReader *reader);

// ------------------------------------------------------------- pictures

[[nodiscard]] int Word_readPicf(WordReader *reader, uint32_t fc, WordPicf *out);
// The picture's data after its header (null for none). 3884 when cut short.
[[nodiscard]] int Word_readPictureData(WordReader *reader, uint32_t fc, const WordPicf *picf,
                                       uint8_t **out, uint32_t *length);
// Checks that a mode 99 bitmap of the header's extents fits in length
// bytes: 3884 for negative extents or too few bytes.
[[nodiscard]] int Word_monoBitmapCheck(const WordPicf *picf, uint32_t length);
// Special character 1: the picture at the run's picture position.
[[nodiscard]] int Word_placePicture(WordRunState *run);
// The outline of a picture that could not be shown.
[[nodiscard]] int Word_drawPlaceholderBox(Edr_Doc *doc, Edr_Node *parent, int32_t x, int32_t y,
                                          int32_t width, int32_t height);
