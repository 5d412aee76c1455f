// The PowerPoint reader: recognition of PowerPoint 97 and later
// presentations, the current user, the user-edit chain and the persist
// directory of the "PowerPoint Document" stream, the document walk with the
// slide list and its text blocks, the master text styles, and the slide
// builder that turns each slide's drawing into a page of the document
// (starting the page group, scheme colours, master shapes with placeholder
// filtering, background, the slide's own shapes).
//
// Every record shares the OfficeArt record header and is read field by
// field, little-endian. The reader record embeds the text side's context
// (office/powerpoint/ppttext.h) as its first field.
#pragma once

#include <cstdint>

#include "office/officeart/escher.h"
#include "office/powerpoint/ppttext.h"

struct EngineContext;
struct Edr_HandlerDesc;
struct Edr_Doc;
struct Edr_Node;
struct OleHandle;
struct OleStream;
struct VfsHandle;

// Results of the presentation reader (besides 1, out of memory, and the
// compound-file errors, which pass through).
enum : int {
    Res_pptNotPresentation = 6144, // bad current user, release, document or edit chain
    Res_pptEncrypted = 6145,       // an encrypted presentation
    Res_pptNoDocument = 6146,      // no "PowerPoint Document" stream
    Res_pptNoCurrentUser = 6147,   // no "Current User" stream
    Res_pptBadMasterList = 6148,   // a master list entry that is not a plain SlidePersistAtom
};

enum : uint32_t {
    Ppt_typeCode = 230,   // the document's type code
    Ppt_docKind = 24,     // the kind a content match reports
    Ppt_featureFlags = 6, // document feature flags 2 and 4: pages on demand allowed
    Ppt_headerToken = 0xE391C05Fu,
    Ppt_encryptedToken = 0xF3D1C4DFu,
    Ppt_fileVersion = 1012,
    Ppt_masterUnitsPerInch = 576,
    Ppt_maxTextBlocks = 8,
    Ppt_noOffset = 0xFFFFFFFFu, // a persist id without a stream offset
    Ppt_maxFonts = 4096,        // font indices are record instances (12 bits)
};

// Record types of the presentation stream.
enum : uint32_t {
    PptRec_document = 0x03E8,
    PptRec_documentAtom = 0x03E9,
    PptRec_slide = 0x03EE,
    PptRec_slideAtom = 0x03EF,
    PptRec_environment = 0x03F2,
    PptRec_slidePersistAtom = 0x03F3,
    PptRec_mainMaster = 0x03F8,
    PptRec_drawingGroup = 0x040B,
    PptRec_drawing = 0x040C,
    PptRec_fontCollection = 0x07D5,
    PptRec_colorSchemeAtom = 0x07F0,
    PptRec_placeholderAtom = 0x0BC3,
    PptRec_outlineTextRef = 0x0F9E,
    PptRec_textHeaderAtom = 0x0F9F,
    PptRec_textCharsAtom = 0x0FA0,
    PptRec_styleTextPropAtom = 0x0FA1,
    PptRec_txMasterStyleAtom = 0x0FA3,
    PptRec_textRulerAtom = 0x0FA6,
    PptRec_textBytesAtom = 0x0FA8,
    PptRec_fontEntityAtom = 0x0FB7,
    PptRec_cString = 0x0FBA,
    PptRec_headersFooters = 0x0FD9,
    PptRec_slideListWithText = 0x0FF0,
    PptRec_userEditAtom = 0x0FF5,
    PptRec_currentUserAtom = 0x0FF6,
};

// SlideAtom flag bits.
enum : uint16_t {
    PptSlide_masterObjects = 1u << 0,
    PptSlide_masterScheme = 1u << 1,
    PptSlide_masterBackground = 1u << 2,
};

struct PptCurrentUser {
    uint32_t size;
    uint32_t headerToken;
    uint32_t currentEdit; // stream offset of the newest UserEditAtom
    uint16_t userNameLength;
    uint16_t docFileVersion;
    uint8_t majorVersion, minorVersion;
    uint32_t releaseVersion;
};

struct PptUserEdit {
    uint32_t lastSlideId;
    uint16_t version;
    uint8_t minorVersion, majorVersion;
    uint32_t previousEdit; // 0 for none
    uint32_t persistDirectory;
    uint32_t documentPersistId;
    uint32_t persistIdSeed; // the highest persist id
    uint16_t lastView;
};

struct PptDocumentAtom {
    uint32_t slideWidth, slideHeight; // master units
    uint32_t notesWidth, notesHeight;
    uint32_t zoomNumerator, zoomDenominator;
    uint32_t notesMaster, handoutMaster;
    uint16_t firstSlideNumber, slideSizeType;
    uint8_t saveWithFonts, omitTitlePlace, rightToLeft, showComments;
};

struct PptSlideAtom {
    uint32_t geometry;
    uint8_t placeholders[8];
    uint32_t masterId;
    uint32_t notesId;
    uint16_t flags; // PptSlide_*
};

// A colour scheme record: the word copied to the page's background record
// and eight colours {red, green, blue, 255}.
struct PptScheme {
    uint32_t word;
    uint8_t colours[Ppt_schemeColours][4];
    uint32_t present;
};

// A header/footer record. words: 0 first (1 in the slide's record until the
// slide supplies its own: the document's record is then in force), 1 has a
// date, 2 today's date, 3 user date, 4 slide number, 5 header, 6 footer.
struct PptHeadersFooters {
    uint32_t words[7];
    uint16_t formatId;
    char16_t *userDate; // owned, NUL-terminated or null
    char16_t *footer;
    char16_t *header;
};

// One master: its id, drawing (owned) and colour scheme. A title master
// (a slide record in the master list) names its main master in mainId. A
// main master after the first keeps its text styles in styles (owned, the
// types read set in styleTypes); the first main master's are the
// context's own.
struct PptMaster {
    uint32_t id;
    EscherDrawingGroup *drawing;
    PptScheme scheme;
    uint32_t mainId;
    PptMasterLevel (*styles)[Ppt_levels];
    uint32_t styleTypes;
};

// Where a slide lies in the slide list, for loading it on demand.
struct PptSlidePos {
    uint32_t offset;    // stream offset of the slide's SlidePersistAtom data
    uint32_t remaining; // list bytes from that record's header to the list's end
    uint32_t length;    // the atom's length
};

struct PptReader {
    PptContext ppt; // first: the text side reads the reader as its context
    EngineContext *context;
    Edr_Doc *doc;
    Edr_Node *root; // the parent of the slide page groups
    OleHandle *ole;
    OleStream *userStream;
    OleStream *docStream;
    OleStream *picStream; // null when the file has no "Pictures"
    EscherSource source;  // over docStream
    PptCurrentUser user;
    PptUserEdit edit;
    // persistCount stream offsets by persist id, Ppt_noOffset where none
    // (offset 0 is a real position: the Document record often lies there).
    uint32_t *persist;
    uint32_t persistCount;
    PptDocumentAtom docAtom;
    PptHeadersFooters docHf;     // the document's
    PptHeadersFooters slideHf;   // the current slide's
    EscherDrawing *drawingGroup; // the blip store and cluster table (null without one)
    PptMaster mainMaster;        // the first main master
    PptMaster titleMaster;       // the first title master
    int titleMasterSeen;
    int mainMasterSeen;
    PptMaster *moreMasters; // the masters after the first of each kind
    uint32_t moreMasterCount, moreMasterCapacity;
    uint32_t masterStyleTypes; // bit t: text type t's styles came from the main master
    // The current slide.
    PptSlideAtom slideAtom;
    EscherDrawingGroup *drawing;     // the slide's drawing (owned), null when none yet
    EscherDrawingGroup *pageDrawing; // the drawing kept with the last page built on demand
    PptScheme slideScheme;           // the slide's own scheme record
    uint32_t slideSchemeId;          // the slide counter value it belongs to
    uint32_t backgroundWord;         // the page's background record word
    // Text blocks of the slide list: the outline texts the text boxes
    // refer to (word holds the text length in characters).
    PptOutlineText blocks[Ppt_maxTextBlocks];
    uint32_t blockCount;
    int slideOpen; // a SlidePersistAtom started a slide not yet finished
    uint32_t slideCounter;
    uint32_t firstSlide;
    uint32_t composed; // slides composed
    uint32_t placeholderMode;
    uint32_t slideStyle;
    // The slide list and the page-on-demand table.
    uint32_t listStart, listLength; // data of SlideListWithText instance 0
    PptSlidePos *slides;
    uint32_t slideCount, slideCapacity;
    int onDemand;
    int walkingOne; // Ppt_walkRecords is collecting a single slide
    // Colour save list of the slide being composed.
    struct SavedColour {
        uint32_t *value;
        uint32_t old;
    } * saved;
};

// ------------------------------------------------------------ the handler

// Fills the PowerPoint handler's descriptor. 0.
int Ppt_describe(EngineContext *context, Edr_HandlerDesc *desc);
int Ppt_matchMime(EngineContext *context, Edr_HandlerDesc *desc, const char16_t *mime,
                  int32_t *score);
// Rates a stream: 100 (kind 24) for a plain CurrentUserAtom of version
// 1012/3/0 in "Current User". The stream is back at 0 in every case.
int Ppt_sniff(EngineContext *context, Edr_HandlerDesc *desc, VfsHandle *stream, int32_t *score,
              uint32_t *typeId);
// The handler's open: feature flags 6, the stream's properties, Ppt_open.
// Takes over the stream (closed on failure, and after a full load).
int Ppt_handlerOpen(EngineContext *context, Edr_HandlerDesc *desc, void *argument,
                    VfsHandle *stream, Edr_Doc *doc, Edr_Node *target);
// Loads the presentation of stream into doc under root. In a page-on-demand
// document the reader stays with the document (its loader data) and owns
// the stream; otherwise it is freed. 0 or a code above.
[[nodiscard]] int Ppt_open(EngineContext *context, VfsHandle *stream, Edr_Doc *doc, Edr_Node *root);
// The handler's step: loads page index on demand.
int Ppt_step(Edr_Doc *doc, uint32_t index);
// Detaches and frees the reader of a page-on-demand document.
void Ppt_close(Edr_Doc *doc);

// ------------------------------------------------------------ the reader

// A new reader over an open compound file (borrowed until Ppt_readerFree
// closes it when owned). *out null on failure.
[[nodiscard]] int Ppt_readerCreate(EngineContext *context, Edr_Doc *doc, Edr_Node *root,
                                   PptReader **out);
// Frees everything the reader holds, its compound file included. Null is fine.
void Ppt_readerFree(PptReader *reader);
// Opens the three streams and checks the current user (6144 to 6147).
[[nodiscard]] int Ppt_openStreams(PptReader *reader, OleHandle *ole);
// Reads the edit chain, the persist directory and the document, and walks
// the slide list, finishing each slide. 0 or an error.
[[nodiscard]] int Ppt_loadDocument(PptReader *reader);
// Loads slide index on demand and builds its page. 0; 6144 when the index
// is not in the slide table; a read or build error.
[[nodiscard]] int Ppt_walkRecords(PptReader *reader, uint32_t index);

// What the first bytes of a "Current User" stream hold: 1 the current user
// of a presentation this reader reads, 2 that of an encrypted one, 0
// anything else (an older version's, or none).
int Ppt_currentUserKind(const uint8_t *bytes, uint32_t length);
// The storage whose "Current User" is one this reader reads: the root, or
// the "PP97_DUALSTORAGE" storage of a file saved for both an older and
// this version. The root when neither is. 0 or a compound-file error.
[[nodiscard]] int Ppt_findStorage(OleHandle *ole, uint32_t *storage);
// Parses a CurrentUserAtom record (header included) of length bytes.
[[nodiscard]] int Ppt_parseCurrentUser(const uint8_t *bytes, uint32_t length, PptCurrentUser *user);
// Reads the edit chain from the current edit into the persist directory:
// the newest edit wins, ids past the seed are ignored, a revisited edit
// ends the chain.
[[nodiscard]] int Ppt_readEditChain(PptReader *reader);

// Text blocks and runs (also used by the text side).
[[nodiscard]] int Ppt_parseRuns(const uint8_t *body, uint32_t length, uint32_t textLength,
                                PptParaRun **paraRuns, PptCharRun **charRuns);
void Ppt_applyRuler(const uint8_t *body, uint32_t length, PptParaRun *paraRuns);
void Ppt_applyCharMax(PptParaRun *paraRuns, const PptCharRun *charRuns);
// Reads the body of a TxMasterStyleAtom of text type type (its instance):
// a u16 level count, then per level (preceded by its number from type 5
// on) a paragraph set and a character set, each a u32 mask and its fields.
// levels is cleared first. 0; 6144 when a set runs past the data or a level
// number is above 4.
[[nodiscard]] int Ppt_parseMasterStyle(const uint8_t *body, uint32_t length, uint32_t type,
                                       PptMasterLevel levels[Ppt_levels]);
// Stores the face name of a FontEntityAtom body (up to 32 UTF-16 units,
// NUL-ended) as font index of the font list, growing it. Indices from
// Ppt_maxFonts on are ignored. 0 or 1.
[[nodiscard]] int Ppt_addFont(PptContext *ppt, uint32_t index, const uint8_t *body,
                              uint32_t length);
void Ppt_freeFonts(PptContext *ppt);
// Completes the master text styles by inheritance (types 0-8, levels 0-4).
void Ppt_prepareSlides(PptContext *ppt, const PptParaProps *documentDefault);

// ------------------------------------------------------- slide building

// Starts the page group of a new slide with its colour scheme in force (the
// page stays dropped until loaded). 0 or the first error.
[[nodiscard]] int Ppt_startSlide(PptReader *reader);
// Replaces scheme-indexed colours (bit 27) of the current drawing's shapes
// and background shape by plain colours. Always 0.
int Ppt_resolveSchemeColours(PptReader *reader);
// Replaces the scheme-indexed colours of drawing, saving each in the
// reader's save list. 0; 1 when the list cannot be allocated.
[[nodiscard]] int Ppt_applySchemeColours(PptReader *reader, EscherDrawingGroup *drawing);
// Puts back every saved colour and frees the list.
void Ppt_restoreSchemeColours(PptReader *reader);
// Composes the current slide into slide (a page group whose reference is
// consumed), or into a new page group under the root when null.
[[nodiscard]] int Ppt_composeSlide(PptReader *reader, Edr_Node *slide);
// Composes the current slide into root child n (a new page group when
// there is none) and keeps its drawing with the page.
[[nodiscard]] int Ppt_composeSlideAt(PptReader *reader, uint32_t n);
// Stores drawing as the page's drawing, freeing the one stored before.
void Ppt_attachDrawing(PptReader *reader, EscherDrawingGroup *drawing);
// The rectangle of a client anchor in 16.16 inches: four u16 top, left,
// right, bottom in master units. An inverted anchor gives an empty box.
// 0 when the anchor is shorter than 8 bytes.
int Ppt_anchorRect(const uint8_t *anchor, uint32_t length, int32_t rect[4]);
