// Presentation text: the text boxes of slide shapes with their paragraphs,
// lines, runs and date, slide-number and footer fields, and the text styles
// (interned character and paragraph style rules, bullets in the Symbol and
// Wingdings fonts) that the presentation reader and the slide builder use.
//
// The presentation context (PptContext) holds every field these routines
// read or write; the reader's own record (PptReader) embeds it as its first
// field, so a reader pointer converts to a context pointer.
//
// Character and paragraph property records are also the keys of the style
// interning tables: there they are written out field by field in
// little-endian order (16 and 32 bytes) and compared byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct EscherDrawingGroup;
struct EscherShape;
struct Prop;
struct Request;
struct StrTable;
struct StyleRule;

// Results (besides 0 and 1, out of memory).
enum : int {
    PptText_errRecord = 6144,       // a record header or body runs past its data
    PptText_errOutlineIndex = 6144, // an outline text reference outside the stored texts
};

// Character property presence mask bits (PptCharProps::mask).
enum : uint8_t {
    PptChar_flags = 1u << 0,      // style flags
    PptChar_font = 1u << 1,       // font index
    PptChar_font2 = 1u << 2,      // second font word
    PptChar_symbolFont = 1u << 3, // symbol-font word
    PptChar_size = 1u << 4,
    PptChar_colour = 1u << 5,
    PptChar_escapement = 1u << 6,
};

// Character style flag bits (PptCharProps::flags).
enum : uint8_t {
    PptCharFlag_bold = 1u << 0,
    PptCharFlag_italic = 1u << 1,
    PptCharFlag_underline = 1u << 2,
    PptCharFlag_shadow = 1u << 4,
};

// Paragraph property presence mask bits (PptParaProps::mask).
enum : uint16_t {
    PptPara_bulletFlags = 1u << 0,
    PptPara_bulletFont = 1u << 1,
    PptPara_bulletColour = 1u << 2,
    PptPara_bulletSize = 1u << 3,
    PptPara_bulletChar = 1u << 4,
    PptPara_alignment = 1u << 5,
    PptPara_lineSpacing = 1u << 6,
    PptPara_spaceBefore = 1u << 7,
    PptPara_spaceAfter = 1u << 8,
    PptPara_leftMargin = 1u << 9,
    PptPara_indent = 1u << 10,
    PptPara_defaultTab = 1u << 11, // defaultTab
    PptPara_spareWord = 1u << 14,  // spareWord
};

// Bullet flag bits (PptParaProps::bulletFlags).
enum : uint16_t {
    PptBullet_has = 1u << 0,
    PptBullet_font = 1u << 1,
    PptBullet_colour = 1u << 2,
    PptBullet_size = 1u << 3,
};

// Character properties. A colour whose top byte is below 8 is an index
// into the current colour scheme; else its low 24 bits are red (0-7),
// green (8-15) and blue (16-23).
struct PptCharProps {
    uint8_t mask;        // PptChar_*
    uint8_t flags;       // PptCharFlag_*
    uint16_t font;       // index into the context's font list
    uint16_t font2;      // second font word
    uint16_t symbolFont; // symbol-font word
    uint16_t size;       // points
    int16_t escapement;  // positive raises, negative lowers
    uint32_t colour;
};

// Paragraph properties. Lengths are master units (576 per inch).
struct PptParaProps {
    uint16_t mask;         // PptPara_*
    uint16_t bulletFlags;  // PptBullet_*
    uint32_t bulletColour; // as PptCharProps::colour
    uint16_t bulletFont;
    uint16_t bulletSize; // percent of the text size
    uint16_t bulletChar;
    uint16_t alignment;  // 0 to 3
    int16_t lineSpacing; // non-negative: percent; negative: master units
    int16_t spaceBefore;
    int16_t spaceAfter;
    int16_t leftMargin;
    int16_t indent;
    uint16_t defaultTab; // mask bit 11: the default tab interval (master units)
    uint16_t textSize;   // points; not covered by the mask
    uint16_t spareWord;  // mask bit 14: read and inherited, not shown
};

enum : size_t {
    PptCharProps_keySize = 16, // bytes of a character record as an interning key
    PptParaProps_keySize = 32, // bytes of a paragraph record as an interning key
};

// Run chains. Each run is one engine-heap block (Mem_malloc) freed with
// Mem_free; Ppt_freeRuns frees whole chains.
struct PptCharRun {
    uint32_t count; // characters
    PptCharProps props;
    PptCharRun *next;
};

struct PptParaRun {
    uint32_t count; // characters, the closing CR included
    uint16_t level; // indentation level 0 to 4
    PptParaProps props;
    PptParaRun *next;
};

// A stored outline text (a text block of the slide list), none of it owned
// by the text-box builder.
struct PptOutlineText {
    uint32_t textType;
    uint32_t word;  // not used by the text builder
    char16_t *text; // NUL-terminated
    PptParaRun *paraRuns;
    PptCharRun *charRuns;
};

// Header and footer settings; texts are NUL-terminated or null.
struct HeaderFooterRec {
    uint32_t first;    // 0 selects record B over A (PptContext)
    uint32_t userDate; // non-zero: the date field shows userDateText
    uint32_t formatId; // date format 0-11
    char16_t *userDateText;
    char16_t *footerText;
};

// One master text style level.
struct PptMasterLevel {
    PptParaProps para;
    PptCharProps chr;
};

enum : uint32_t {
    Ppt_textTypes = 9,
    Ppt_levels = 5,
    Ppt_schemeColours = 8,
};

// An interning table entry: the style id and the record as its key bytes
// (the character table uses the first 16).
struct PptStyleEntry {
    uint32_t id;
    uint8_t key[PptParaProps_keySize];
};

// Sorted by key (byte-wise), grown by 16 entries when count reaches a
// multiple of 16.
struct PptStyleTable {
    PptStyleEntry *entries;
    uint32_t count;
};

struct PptContext {
    EngineContext *context;
    Edr_Doc *doc;
    // Stored outline texts, indexed by the outline text reference.
    PptOutlineText *outlineTexts;
    uint32_t outlineTextCount;
    int32_t slideNumber;
    HeaderFooterRec headerFooterA;
    HeaderFooterRec headerFooterB; // in force when its first word is 0
    uint32_t textBoxElement;       // element word of text-box and line groups
    // The drawing group of the master shapes, for properties a shape takes
    // from its master (Escher_propFindInherited); may be null.
    EscherDrawingGroup *masterDrawing;
    // Font list: fontCount NUL-terminated face names (null entries allowed).
    char16_t **fonts;
    uint32_t fontCount;
    // Master text styles by text type and level.
    PptMasterLevel masterStyles[Ppt_textTypes][Ppt_levels];
    // The current colour scheme: red, green, blue and a fourth byte.
    uint8_t scheme[Ppt_schemeColours][4];
    // Style state.
    Request *styleSheet; // the document's style-sheet request (kind 2), one reference
    StrTable *strings;   // the document's string table (lent: the document owns it)
    uint32_t serial;     // running serial: the id of the last style made
    uint32_t blockClass, bulletClass, slideClass; // 1, 2, 3
    int32_t slideWidth, slideHeight;              // master units, for the slide class
    PptStyleTable charStyles;
    PptStyleTable paraStyles;
};

// ------------------------------------------------------------ text boxes

// The client-text-box callback of the shape converter (its EscherShapeHook
// with the context as user): builds the text box of shape under parent.
// anchor is {x, y, width, height} in 16.16 inches, rotation 16.16 degrees.
// 0 also when the shape has no text or no anchor and when the text cannot
// be parsed (what was built stays); the error of creating the box's data
// or group node otherwise.
[[nodiscard]] int PptText_buildTextBox(PptContext *ppt, Edr_Node *parent, const EscherShape *shape,
                                       const int32_t anchor[4], int32_t rotation);

// Parses the client-text-box records of data (length bytes) and builds the
// text into group. 0; PptText_errRecord when a record header or body runs
// past the data (nothing built); PptText_errOutlineIndex; 1; or the first
// error of the run reader or the builders.
[[nodiscard]] int PptText_parseRecords(PptContext *ppt, Edr_Node *group, const uint8_t *data,
                                       uint32_t length);

// Builds the paragraphs of text (NUL-terminated; null builds nothing) into
// group. The runs are lent and left as they were (the paragraph runs may
// get their largest character size, Ppt_applyCharMax). fieldText replaces the placeholder at
// fieldPos (a pointer into text, or null); a null fieldText leaves nothing
// in its place. 0 or the first builder error.
[[nodiscard]] int PptText_buildRuns(PptContext *ppt, Edr_Node *group, char16_t *text,
                                    uint32_t textType, PptParaRun *paraRuns, PptCharRun *charRuns,
                                    const char16_t *fieldText, const char16_t *fieldPos);

// Adds U+00A0 to container with a copy of run in which, when the style
// flags are present, the underline flag is cleared.
[[nodiscard]] int PptText_addNbsp(PptContext *ppt, const PptCharRun *run, Edr_Node *container);

// Writes the date of parts (local time) by format id 0-11 (others as 0)
// into out (PptText_dateSize bytes, always NUL-terminated).
enum : size_t { PptText_dateSize = 64 };
struct BrokenTime;
void PptText_formatDate(const BrokenTime *parts, uint32_t formatId, char *out);

// Frees every run of both chains (either may be null).
void Ppt_freeRuns(PptParaRun *paraRuns, PptCharRun *charRuns);

// ------------------------------------------------------------ text styles

// Creates the string table ("Block", "Bullet", "Slide") and the style-sheet
// request of the document, the three class rules, and sets the serial to
// 3. 0 or an error.
[[nodiscard]] int Ppt_initStyleSheet(PptContext *ppt);

// Advances the running serial; the new serial is the id of the next style.
// Always 0.
int Ppt_nextSerial(PptContext *ppt);

// Takes the next serial, adds it to rule as a weight-10 match and hands
// the rule to the style-sheet request; *id = the serial. On an error the
// rule stays the caller's.
[[nodiscard]] int Ppt_addItemWithSerial(PptContext *ppt, StyleRule *rule, uint32_t *id);

// Merging: each field whose mask bit is clear in target and set in source
// is copied with its bit (character bits 0-6; paragraph bits 0-11 and 14).
void Ppt_mergeChar(PptCharProps *target, const PptCharProps *source);
void Ppt_mergePara(PptParaProps *target, const PptParaProps *source);

// The interning keys: the records written out field by field, little-endian.
void PptCharProps_toKey(const PptCharProps *props, uint8_t key[PptCharProps_keySize]);
void PptParaProps_toKey(const PptParaProps *props, uint8_t key[PptParaProps_keySize]);

// The style id of the character properties, made and registered when new.
[[nodiscard]] int Ppt_charStyleId(PptContext *ppt, const PptCharProps *props, uint32_t *id);
// The style id of the paragraph properties (chr gives the text size when
// the paragraph record has none), made and registered when new.
[[nodiscard]] int Ppt_paraStyleId(PptContext *ppt, const PptParaProps *props,
                                  const PptCharProps *chr, uint32_t *id);

// Creates the paragraph group of paraRun under parent (with its bullet);
// *out = the node with one reference for the caller.
[[nodiscard]] int Ppt_startParagraph(PptContext *ppt, const PptParaRun *paraRun,
                                     const PptCharRun *charRun, Edr_Node *parent, Edr_Node **out,
                                     uint32_t textType);

// Adds count characters to parent, inside a group styled by the run when
// the run has properties; Symbol characters are decoded.
[[nodiscard]] int Ppt_addTextRun(PptContext *ppt, const PptCharRun *run, Edr_Node *parent,
                                 const char16_t *chars, uint32_t count);

// Appends property id (51 space before, 53 space after) for value to rule
// (scratch is a work value) by the spacing rule; nothing when the length
// is 0. textSize in points.
[[nodiscard]] int Ppt_spacingProp(const PptParaProps *props, int32_t value, uint32_t id,
                                  Prop *scratch, StyleRule *rule, uint32_t textSize);

// Frees the interning tables (not the rules: the request owns them) and
// drops the context's reference to the style-sheet request.
void Ppt_freeStyleTables(PptContext *ppt);

// -------------------------------------------------- reader services used here
// Defined by the presentation reader.

// Parses a style-run record body for textLength characters into new run
// chains (each run one Mem_malloc block). 0 or an error (chains freed).
[[nodiscard]] int Ppt_parseRuns(const uint8_t *body, uint32_t length, uint32_t textLength,
                                PptParaRun **paraRuns, PptCharRun **charRuns);
// Applies a ruler record body to the paragraph runs.
void Ppt_applyRuler(const uint8_t *body, uint32_t length, PptParaRun *paraRuns);
// Records in each paragraph run (textSize) the largest character size among
// the character runs it covers.
void Ppt_applyCharMax(PptParaRun *paraRuns, const PptCharRun *charRuns);
