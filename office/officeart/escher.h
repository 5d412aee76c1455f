// OfficeArt drawings: the record source over a compound-file stream or a
// memory block, the record walk, the drawing group container with its blip
// store and cluster table, one drawing container per page or sheet with its
// shape entries, picture (blip) loading and the record copy of the Word
// writer; and the shape property tables of FOPT records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "office/officeart/memreader.h"

struct EngineContext;
struct ImageHandle;
struct OleStream;
struct StyleRule;
struct Edr_Node;

// Results of the OfficeArt reader (besides 1, out of memory, and the
// compound-file stream errors, which pass through).
enum : int {
    Escher_errNoSource = 0x3900,     // no source, an empty one, or a missing argument
    Escher_errNoStyleHook = 0x3901,  // the default style hook
    Escher_errNoFdg = 0x3902,        // a shape or group container before the FDG
    Escher_errBlipMismatch = 0x3903, // a blip record that does not match its FBSE
    Escher_errBeyond = 0x3A00,       // a memory source read or seek past its end
};

// Record types read.
enum : uint32_t {
    EscherRec_dggContainer = 0xF000,
    EscherRec_bstoreContainer = 0xF001,
    EscherRec_dgContainer = 0xF002,
    EscherRec_spgrContainer = 0xF003,
    EscherRec_spContainer = 0xF004,
    EscherRec_solverContainer = 0xF005,
    EscherRec_fdgg = 0xF006,
    EscherRec_fbse = 0xF007,
    EscherRec_fdg = 0xF008,
    EscherRec_fspgr = 0xF009,
    EscherRec_fsp = 0xF00A,
    EscherRec_fopt = 0xF00B,
    EscherRec_clientTextbox = 0xF00D,
    EscherRec_childAnchor = 0xF00F,
    EscherRec_clientAnchor = 0xF010,
    EscherRec_clientData = 0xF011,
    EscherRec_tertiaryFopt = 0xF122,
};

// FSP flag bits kept in a shape entry.
enum : uint32_t {
    EscherFsp_group = 1u << 0,
    EscherFsp_child = 1u << 1,
    EscherFsp_patriarch = 1u << 2,
    EscherFsp_deleted = 1u << 3,
    EscherFsp_oleShape = 1u << 4,
    EscherFsp_haveMaster = 1u << 5,
    EscherFsp_flipH = 1u << 6,
    EscherFsp_flipV = 1u << 7,
    EscherFsp_connector = 1u << 8,
    EscherFsp_haveAnchor = 1u << 9,
    EscherFsp_background = 1u << 10,
    EscherFsp_haveSpt = 1u << 11,
};

// ------------------------------------------------------------ properties

// Property entry flags.
enum : uint32_t {
    EscherProp_blipId = 1u << 0,
    EscherProp_complex = 1u << 1,
};

// One property. For a complex entry (flags bit 1) value is the block's
// byte length in the file and data the owned value built from the block
// (null when the block is empty or does not lie in the record): a
// char16_t string, a char string, an EscherPropArray or an EscherPropBlock
// by the property's id.
struct EscherProp {
    uint32_t id;    // 14 bits
    uint32_t flags; // EscherProp_*
    uint32_t value;
    void *data;
};

// A shape's property table: entries in file order.
struct EscherPropSet {
    uint32_t count;
    EscherProp *entries; // count entries (the same allocation as the set)
};

// An array property: count elements of size bytes follow the record.
struct EscherPropArray {
    int32_t count;
    int32_t size;
};
// Any other complex property: length bytes follow the record.
struct EscherPropBlock {
    uint32_t length;
};

// What the block of a complex property holds, by property id.
enum EscherComplexKind : uint32_t {
    EscherComplex_block,    // bytes
    EscherComplex_utf16,    // a 16-bit string with its terminator
    EscherComplex_string8,  // an 8-bit string with its terminator
    EscherComplex_array,    // an array: a 6-byte head, then its elements
    EscherComplex_vertices, // an array whose entry leaves out its 6-byte head
};
EscherComplexKind Escher_complexKind(uint32_t id);

// The elements of an array property, or the bytes of a block.
const uint8_t *EscherPropArray_elements(const EscherPropArray *array);
const uint8_t *EscherPropBlock_bytes(const EscherPropBlock *block);

struct EscherDrawingGroup;

// Builds the property table of an FOPT record's data (length bytes) holding
// count entries; count is cut to the entries the record holds. Null when
// out of memory or when an array's elements do not fit in the record.
EscherPropSet *Escher_propParse(const uint8_t *bytes, uint32_t length, uint32_t count);
// The entry with that id, or null (also for a null or empty set). The ids
// are taken to ascend, as the format requires.
const EscherProp *Escher_propFind(uint32_t id, const EscherPropSet *set);
// Escher_propFind; when that finds nothing and a group is given, the same
// lookup in the set of the group's shape named by the set's property 769
// (master shape id). One level of master only.
const EscherProp *Escher_propFindInherited(uint32_t id, const EscherPropSet *set,
                                           const EscherDrawingGroup *group);
// Frees the complex values and the set. Null does nothing.
void Escher_propFree(EscherPropSet *set);

// --------------------------------------------------------- record source

struct EscherRecordHeader {
    uint16_t version;  // low 4 bits of byte 0
    uint16_t instance; // 12 bits
    uint32_t type;
    uint32_t length; // data bytes after the header
};

enum : uint32_t {
    EscherSource_memory = 0,
    EscherSource_stream = 1,
    EscherSource_none = 2,
};

// A record source, copied by value into the records that read later.
struct EscherSource {
    uint32_t kind;
    MemReader memory;  // kind 0
    OleStream *stream; // kind 1 (not owned)
};

void EscherSource_initMemory(EscherSource *source, const uint8_t *buffer, uint32_t length);
void EscherSource_initStream(EscherSource *source, OleStream *stream);
void EscherSource_initNone(EscherSource *source);
uint32_t EscherSource_tell(const EscherSource *source);
// whence 0 to offset, 1 offset added, 2 to the end. 0x3A00 beyond a memory
// block (position kept); the stream's seek error; 0x3900 for kind 2.
[[nodiscard]] int EscherSource_seek(EscherSource *source, uint32_t offset, int whence);
// n bytes at the position. 0x3A00 when a memory block ends first; the
// stream's read error; 0x3900 for kind 2. n = 0 is 0.
[[nodiscard]] int EscherSource_read(EscherSource *source, void *buffer, uint32_t n);

// Decodes 8 header bytes.
void Escher_parseRecordHeader(const uint8_t *bytes, EscherRecordHeader *header);
[[nodiscard]] int Escher_readRecordHeader(EscherSource *source, EscherRecordHeader *header);

struct EscherWalk {
    int stop;
};
// Called per record with the source at the record's data.
typedef int (*EscherChildFn)(void *user, EscherWalk *walk, const EscherRecordHeader *header);

// Walks the records that start at the position and fill length bytes,
// yielding before each. A record longer than what remains of the run ends
// the walk with 0x3A00 (memory) or 3601 (stream). A nonzero handler result
// ends it with that result; Escher_stopWalk ends it after the record with
// 0. At the end the source is at start + length.
[[nodiscard]] int Escher_forEachChild(EngineContext *context, EscherSource *source, uint32_t length,
                                      EscherChildFn handler, void *user);
void Escher_stopWalk(EscherWalk *walk);
// 1 when too little stack is left to descend into one more nested
// container (the walk then ends with 5125).
int Escher_tooDeep(EngineContext *context);

// ----------------------------------------------------------- the drawing

// {bytes, length} of a client record, filled by the client-record hook.
struct EscherClientBytes {
    uint8_t *bytes; // engine heap block, owned by the shape entry
    uint32_t length;
};

struct EscherShape;
// Called after each shape is placed: the node it was placed under, the
// shape entry, its rectangle {x, y, w, h} and its rotation (16.16 degrees).
typedef int (*EscherShapeHook)(void *user, Edr_Node *node, const EscherShape *shape,
                               const int32_t rect[4], int32_t rotation);
// Turns a style rule into a document style id (as the metafile player's).
typedef int (*EscherStyleHook)(void *user, StyleRule *rule, uint32_t *id);
// Supplies the bytes of a client record stored with length 0.
typedef int (*EscherClientHook)(void *user, EscherClientBytes *record);

struct EscherShape {
    uint32_t shapeType; // FSP instance
    uint32_t shapeId;
    uint32_t flags; // the 12 FSP bits
    // Child anchor as 16.16 fractions of the parent group's space.
    int32_t anchorLeft, anchorTop, anchorWidth, anchorHeight;
    int32_t childLeft, childTop, childRight, childBottom; // raw ChildAnchor
    int32_t groupLeft, groupTop, groupRight, groupBottom; // FSPGR
    EscherPropSet *props;
    EscherClientBytes textbox;
    EscherClientBytes clientData;
    EscherClientBytes clientAnchor;
    EscherClientBytes tertiary;
    EscherRecordHeader tertiaryHeader;
    uint32_t tertiaryCount;
    struct TertiaryProp {
        uint16_t id; // raw, with the flag bits
        uint32_t value;
    } * tertiaryProps;
    int32_t level;
};

// A SolverContainer kept as raw bytes.
struct EscherSolver {
    EscherSolver *next;
    uint8_t header[12]; // version and instance, type, length
    uint8_t *data;
    uint32_t length;
};

enum : uint32_t {
    Escher_maxShapes = 4000, // shapes of one drawing past these are left out
};

struct EscherDrawingGroup {
    uint32_t drawingId;
    uint32_t lastShapeId;
    EscherSolver *solvers;
    uint32_t capacity;
    uint32_t count;
    EscherShape self;    // the DgContainer's own SpContainer: the background shape
    EscherShape *shapes; // capacity entries
};

struct EscherBlip {
    uint8_t blipType; // 0 when the entry has no picture
    uint8_t macType;  // the entry's type for Mac readers (a PICT where blipType is a WMF)
    uint32_t kind;    // 1 JPEG, 2 PNG, 3 other
    uint32_t size;    // the FBSE size
    uint8_t *data;    // owned, null until loaded
    uint32_t dataLength;
    EscherSource source;
    uint32_t offset; // of the blip record in source
    ImageHandle *image;
    uint8_t released;
};

struct EscherDggCluster {
    uint32_t drawingId;
    uint32_t currentShapeId;
    EscherDrawingGroup *group;
};

struct EscherDggInfo {
    uint32_t savedDrawings;
    uint32_t clusterCount; // the file's value less 1 (0 for 0)
    uint32_t savedShapes;
    uint32_t maxShapeId;
    EscherDggCluster *clusters; // clusterCount entries (as far as the record held them)
    uint32_t clustersRead;
};

struct EscherDrawing {
    EngineContext *context;
    EscherSource main;
    EscherSource delay; // kind 2 when there is no separate blip stream
    EscherShapeHook shapeHook;
    EscherStyleHook styleHook;
    EscherClientHook clientHook;
    void *user;
    EscherDggInfo *dgg;
    uint32_t blipCount;
    uint32_t blipCapacity;
    uint32_t blipLimit; // the most FBSEs the store's container can hold
    EscherBlip *blips;
    EscherDrawingGroup *current;
    // Where a shape's master shape (property 769) is looked for when the
    // current drawing holds no shape of that id: a presentation slide's
    // placeholders name shapes of the slide's master. Borrowed, or null.
    const EscherDrawingGroup *masterGroup;
    // A client record type (in a shape's client data) that marks the shape
    // as a placeholder: drawn without fill and line unless its properties
    // or its master shape's ask for them. 0: none.
    uint32_t placeholderRecord;
};

[[nodiscard]] int Escher_openDrawing(EngineContext *context, const EscherSource *main,
                                     const EscherSource *delay, EscherDrawing **drawing,
                                     EscherStyleHook styleHook, EscherShapeHook shapeHook,
                                     EscherClientHook clientHook, void *user);
[[nodiscard]] int Escher_openDrawingStreams(EngineContext *context, OleStream *stream,
                                            OleStream *delayStream, EscherDrawing **drawing,
                                            EscherStyleHook styleHook, EscherShapeHook shapeHook,
                                            EscherClientHook clientHook, void *user);
[[nodiscard]] int Escher_openDrawingMemory(EngineContext *context, const uint8_t *buffer,
                                           uint32_t length, EscherDrawing **drawing,
                                           EscherStyleHook styleHook, EscherShapeHook shapeHook,
                                           EscherClientHook clientHook, void *user);
// Reads the DgContainer at the main source's position.
[[nodiscard]] int Escher_readDrawingGroup(EscherDrawing *drawing, EscherDrawingGroup **group);
// A picture stored as an SpContainer followed by its FBSE and blip.
[[nodiscard]] int Escher_openInlinePicture(EngineContext *context, OleStream *stream,
                                           EscherDrawing **drawing, EscherStyleHook styleHook,
                                           EscherShapeHook shapeHook, void *user);
// Loads a blip's bytes and, with decode set, its image.
[[nodiscard]] int Escher_blipLoad(EscherDrawing *drawing, EscherBlip *blip, int decode);

// Frees the drawing's shape entries with their property sets, client and
// tertiary bytes, its solver list and the group itself. Null does nothing.
void Escher_drawingGroupFree(EscherDrawingGroup *group);
void Escher_drawingGroupFreeBlips(EscherDrawing *drawing, EscherDrawingGroup *group);
void Escher_drawingStateFree(EscherDrawing *drawing);
void Escher_blipStoreFree(EscherDrawing *drawing);
void Escher_blipRelease(EscherDrawing *drawing, uint32_t index);

// Copies length bytes of OfficeArt records at offset of source to the end
// of target, moving the blips of the delay stream into targetData.
[[nodiscard]] int Escher_copyDrawingData(EngineContext *context, OleStream *delayStream,
                                         OleStream *source, OleStream *targetData,
                                         OleStream *target, uint32_t offset, uint32_t length);
