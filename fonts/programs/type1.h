// Type 1 font programs: the loader with its eexec decryption and the
// charstring interpreter.
//
// Type1_load reads a font program handed over by the PDF font code: the
// clear-text part, then after "eexec" the encrypted part through an
// EexecStream. It collects FontName, lenIV, FontMatrix, Encoding, Subrs and
// CharStrings, turns every charstring into a byte-coded outline with
// Type1_buildGlyph and registers the result as an EmbeddedFont.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/stream/bytestream.h"
#include "fonts/programs/fontfile.h"

struct EngineContext;
struct EmbeddedFont;
struct GlyphPath;
struct PsLexer;
struct PdfGlyphNameList;

enum : int {
    Type1_eexecError = 2817, // "eexec" twice, or an empty encrypted part
    Type1_charStringsTwice = 2818,
    Type1_badCharStrings = 2819,
    Type1_subrsTwice = 2820,
    Type1_badSubrs = 2821,
    Type1_badFontName = 2822,
    Type1_noEncoding = 2823,
    Type1_noCharStrings = 2824,
    Type1_tooFewArguments = 2825,
    Type1_noSideBearing = 2826,
    Type1_noAdvance = 2827,
    Type1_encodingTwice = 2828,
    Type1_badEncoding = 2829,
    Type1_badCharstring = 2830, // bad operator, too many arguments, truncated data
    Type1_returnOutside = 2831,
    Type1_badSubr = 2832,
    Type1_othersubrDirect = 2833,
    Type1_subrsTooDeep = 2834,
};

enum : uint32_t {
    Type1_maxArguments = 24,
    Type1_maxSubrDepth = 20,
    EexecStream_bufferSize = 1024,
};

// One Subrs entry: encrypted charstring bytes.
using Type1Subr = FontFileEntry;

struct NameDictEntry {
    char *name;
    uint8_t *data;
    uint32_t length;
    NameDictEntry *next;
};

// CharStrings: newest entries in front; the cursor makes walking by
// increasing index one step each.
struct NameDict {
    NameDictEntry *head;
    uint32_t count;
    uint32_t cursorIndex;
    NameDictEntry *cursor;
};

// The decrypting stream over the encrypted part of a font program.
struct EexecStream {
    ByteStream base;
    ByteStream *source; // not owned
    int32_t statusWord;
    uint32_t hex;
    uint8_t lookAhead[4];
    uint32_t lookCount; // bytes of lookAhead still to replay
    uint32_t lookPos;
    uint32_t started;
    uint16_t r;
    uint32_t ended;
    uint8_t buffer[EexecStream_bufferSize];
    uint32_t drop; // plain bytes still to drop
};

struct Type1Parser {
    ByteStream *stream;    // the current stream
    ByteStream *clearText; // kept while the decrypted stream is current
    PsLexer *lexer;
    EngineContext *engine;
    PdfGlyphNameList *names;
    char *fontName;
    Type1Subr *subrs;
    uint32_t subrCount;
    uint32_t haveSubrs;
    NameDict charStrings;
    uint32_t haveCharStrings;
    char **encoding;
    uint32_t encodingSize;
    uint32_t haveEncoding;
    uint32_t standardEncoding;
    int32_t lenIV;
    uint16_t unitsPerEm;
    int error;
};

// The decrypting stream over source (not owned), null without memory.
// Closing it frees only its record.
EexecStream *EexecStream_create(ByteStream *source);

// Loads a Type 1 program from stream: *font = the registered font; when
// encoding is given and the program has an Encoding array, *encoding = a
// new 256-entry table of codes (Mem_free), else null. 0 or an error.
[[nodiscard]] int Type1_load(EngineContext *engine, ByteStream *stream, PdfGlyphNameList *names,
                             EmbeddedFont **font, uint16_t **encoding);

// Parses the program without building glyphs: the parser holds the
// collected parts (test and tool use; free with Type1_freeParser).
[[nodiscard]] int Type1_parse(EngineContext *engine, ByteStream *stream, PdfGlyphNameList *names,
                              Type1Parser *parser);
void Type1_freeParser(Type1Parser *parser);
// The entry i of a dictionary (walking i upwards costs one step each).
NameDictEntry *NameDict_at(NameDict *dict, uint32_t i);

// Interprets one encrypted charstring into outline (kind 1, not finished)
// with its side bearing and advance in font units. 0 or an error.
[[nodiscard]] int Type1_buildGlyph(GlyphPath *outline, const Type1Subr *subrs, uint32_t subrCount,
                                   const uint8_t *bytes, uint32_t length, int32_t *sideBearing,
                                   int32_t *advance, int32_t lenIV);
