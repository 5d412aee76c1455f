// CFF font programs: the readers of INDEX, DICT, charset, Encoding,
// FDSelect and custom strings, the code table of a simple font, and the
// Type 2 charstring interpreter.
//
// Every structure is read on demand from a seekable byte stream; offsets
// are absolute positions in that stream. The PDF font code reads the
// header and the Name, Top DICT, String and Global Subrs INDEXes, creates a
// Top DICT per font (and per FDArray entry of a CID-keyed font) and builds
// its glyphs with Type2_buildGlyph.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fonts/programs/fontfile.h"

struct ByteStream;
struct EngineContext;
struct EmbeddedFont;
struct GlyphPath;
struct PdfGlyphNameList;

enum : int {
    Cff_indexBeyondLimit = 3330,
    Cff_indexBadOffSize = 3331,
    Cff_indexBadOffset = 3332,
    Cff_indexBadHeader = 3333,
    Cff_indexBadEntryNumber = 3334,
    Cff_indexBadEntry = 3335,
    Cff_dictTooManyOperands = 3336,
    Cff_dictTruncated = 3337,
    Cff_dictBadOperands = 3338,
    Cff_dictBadTopOperator = 3339,
    Cff_dictBadPrivateOperator = 3343,
    Type2_tooFewArguments = 3345,
    Type2_badTransientIndex = 3346,
    Type2_stackOverflow = 3347,
    Type2_negativeRoll = 3348,
    Type2_badSubr = 3349,
    Type2_returnOutside = 3350,
    Type2_badCharstring = 3351,
    Cff_fdSelectUnreadable = 3352,
    Cff_fdBeyondGlyphs = 3353,
    Cff_fdSelectInconsistent = 3354,
    Cff_fdSelectBadFormat = 3355,
    Cff_charsetBeyondGlyphs = 3358,
    Cff_charsetBadFormat = 3359,
    Cff_charsetUnreadable = 3360,
    Cff_stringStandard = 3361,
    Cff_stringBeyondIndex = 3362,
    Cff_stringUnreadable = 3363,
    Cff_encodingTooManyCodes = 3365,
    Cff_encodingBadFormat = 3366,
    Cff_encodingUnreadable = 3367,
    Cff_badReal = 3372,
};

enum : uint32_t {
    Cff_maxOperands = 48,
    Cff_standardStringCount = 391,
    Cff_expertCharsetCount = 166,
    Cff_expertSubsetCharsetCount = 87,
    Type2_maxArguments = 48,
    Type2_transientSize = 32,
    Type2_maxSubrDepth = 10,
};

extern const char *const Cff_standardStrings[Cff_standardStringCount];
extern const uint16_t Cff_standardStringCodes[Cff_standardStringCount];
extern const uint16_t Cff_expertCharset[Cff_expertCharsetCount];
extern const uint16_t Cff_expertSubsetCharset[Cff_expertSubsetCharsetCount];
extern const uint16_t Cff_standardCodes[256];

struct CffIndex {
    ByteStream *stream;
    uint64_t start;
    uint64_t limit;
    uint32_t offSize;
    uint32_t count;
    uint64_t offsets;  // position of the offset array
    uint64_t dataBase; // the 1-based offsets add to it
    uint64_t end;
};

struct CffOperand {
    uint32_t kind; // 0 integer, 1 real
    union {
        int32_t i;
        float f;
    } value;
};

struct CffDict;
typedef int (*CffDictHandler)(CffDict *dict);

struct CffDict {
    ByteStream *stream;
    uint64_t start;
    uint64_t end;
    CffOperand operands[Cff_maxOperands];
    uint32_t count;
    uint32_t op; // 0-21, or 256 + b for the escape 12 b
    CffDictHandler handler;
};

struct CffPrivateDict {
    CffDict dict;
    CffIndex subrs;
    uint32_t hasSubrs;
    int32_t defaultWidthX;
    int32_t nominalWidthX;
};

struct CffCharset {
    uint32_t glyphCount;
    uint16_t *sids; // SID or CID per glyph
};

struct CffEncoding {
    uint64_t offset;
    uint32_t glyphCount;
    uint16_t *codes; // per glyph, 0 for none
};

struct CffFdSelect {
    uint32_t glyphCount;
    uint8_t *fds;
};

struct CffRos {
    int32_t registry;
    int32_t ordering;
    int32_t supplement;
};

enum : uint32_t {
    CffTop_hasRos = 1,
    CffTop_hasCharStrings = 2,
    CffTop_hasFdArray = 4,
    CffTop_hasFdSelect = 8,
    CffTop_hasCharset = 16,
    CffTop_hasEncoding = 32,
};

struct CffTopDict {
    CffDict dict;
    CffRos ros;
    uint16_t unitsPerEm;
    float matrix[6];
    CffIndex charStrings;
    CffIndex fdArray;
    CffPrivateDict *priv;
    uint64_t privateStart, privateSize;
    uint32_t hasPrivate;
    CffFdSelect fdSelect;
    uint64_t fdSelectOffset;
    CffCharset charset;
    uint64_t charsetOffset;
    CffEncoding encoding;
    uint64_t encodingOffset;
    uint32_t flags; // CffTop_has*
};

// ------------------------------------------------------------- INDEX
void Cff_indexInit(CffIndex *index, ByteStream *stream, uint64_t start, uint64_t limit);
[[nodiscard]] int Cff_indexOpen(CffIndex *index);
uint32_t Cff_indexCount(const CffIndex *index);
[[nodiscard]] int Cff_indexEntryRange(const CffIndex *index, uint32_t i, uint64_t *start,
                                      uint64_t *end);
uint64_t Cff_indexEnd(const CffIndex *index);
// The data of every entry read into a new array of entries (empty entries
// get no data). 0 or an error.
[[nodiscard]] int Cff_indexReadAll(const CffIndex *index, FontFileEntry **entries, uint32_t *count);

// -------------------------------------------------------------- DICT
// Reads [start, end) calling the dict's handler for every operator.
[[nodiscard]] int CffDict_parse(CffDict *dict);

[[nodiscard]] int CffTopDict_create(ByteStream *stream, uint64_t start, uint64_t end,
                                    CffTopDict **out);
[[nodiscard]] int CffTopDict_load(CffTopDict *dict);
void CffTopDict_destroy(CffTopDict *dict);
const CffIndex *CffTopDict_charStrings(const CffTopDict *dict);
CffPrivateDict *CffTopDict_private(const CffTopDict *dict);
const CffFdSelect *CffTopDict_fdSelect(const CffTopDict *dict);
const CffIndex *CffTopDict_fdArray(const CffTopDict *dict);
const CffCharset *CffTopDict_charset(const CffTopDict *dict);
const CffEncoding *CffTopDict_encoding(const CffTopDict *dict);
const CffRos *CffTopDict_ros(const CffTopDict *dict);
uint16_t CffTopDict_units(const CffTopDict *dict);
const float *CffTopDict_matrix(const CffTopDict *dict);
void CffTopDict_setUnits(CffTopDict *dict, uint16_t units);

void CffPrivate_widths(const CffPrivateDict *priv, int32_t *defaultWidth, int32_t *nominalWidth);
const CffIndex *CffPrivate_subrs(const CffPrivateDict *priv);

// ------------------------------------------------------------ tables
[[nodiscard]] int CffCharset_read(CffCharset *charset, ByteStream *stream, uint64_t offset,
                                  uint32_t glyphCount);
[[nodiscard]] int CffCharset_get(const CffCharset *charset, uint32_t glyph, uint16_t *sid);
[[nodiscard]] int CffEncoding_read(CffEncoding *encoding, ByteStream *stream, uint64_t offset,
                                   uint32_t glyphCount);
[[nodiscard]] int CffFdSelect_read(CffFdSelect *fdSelect, ByteStream *stream, uint64_t offset,
                                   uint32_t glyphCount);
[[nodiscard]] int CffFdSelect_get(const CffFdSelect *fdSelect, uint32_t glyph, uint8_t *fd);
// A custom string (SID 391 and up): a new NUL-terminated copy (Mem_free).
[[nodiscard]] int Cff_readString(const CffIndex *stringIndex, ByteStream *stream, uint32_t sid,
                                 char **name);
// The 256-entry table of codes of a simple font (Mem_free).
[[nodiscard]] int Cff_buildCodeTable(const CffTopDict *dict, const CffIndex *stringIndex,
                                     PdfGlyphNameList *names, uint16_t **table);

// ------------------------------------------------------------ Type 2
struct Type2Context {
    int32_t defaultWidthX;
    int32_t nominalWidthX;
    float matrix[6]; // a b c d tx ty
    const FontFileEntry *localSubrs;
    uint32_t localCount;
    const FontFileEntry *globalSubrs;
    uint32_t globalCount;
};

// Interprets one charstring into outline (kind 1, not finished); the side
// bearing is 0; the advance defaultWidthX or nominalWidthX plus the
// charstring's width. font is unused (may be null). 0 or an error.
[[nodiscard]] int Type2_buildGlyph(EmbeddedFont *font, GlyphPath *outline, const uint8_t *bytes,
                                   uint32_t length, const Type2Context *context,
                                   int32_t *sideBearing, int32_t *advance);
