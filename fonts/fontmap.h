// The font map file and the small parsers of font files that the font
// catalogue uses: the kind of a font file by its name, the lines and
// sections of the "map" file in the fonts directory, its [Defaults],
// [Supplements] and [Library] lines, the header of a TrueType collection
// and the names and style of a face's 'name' table.
//
// The map is a text of lines ending at LF (a CR before it is dropped) of
// at most 255 bytes; a longer line is skipped whole. Empty lines and lines
// starting with "#" are skipped. A line "[Buffered]", "[Defaults]",
// "[Library]" or "[Supplements]" (any case) selects a section; any other
// line in brackets makes the lines after it ignored until the next
// section. Every other line goes to the section's handler.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Url;

// File kinds by the extension after the last "." of a path (exactly three
// characters, any case).
enum : uint32_t {
    FontFile_notFont = 44,
    FontFile_ef1 = 45,        // a built-in TrueType font, used only through [Library] lines
    FontFile_trueType = 46,   // "ttf"
    FontFile_collection = 47, // "ttc"
    FontFile_fontPack = 49,   // "ffs"
};

enum : uint32_t {
    FontMap_noSection,
    FontMap_buffered,
    FontMap_defaults,
    FontMap_library,
    FontMap_supplements,
    FontMap_unknownSection, // a bracketed line that names no section: its lines are ignored
};

enum : uint32_t {
    FontMap_maxLine = 255,        // bytes of a line without its end
    FontNames_maxLength = 255,    // characters of a face's name list
    FontNames_maxString = 512,    // bytes of one 'name' string that are read
    FontCollection_maxFaces = 64, // faces taken from one collection file
};

// The handler of a section's lines: 0, or an error. 780, 2305 and 2309 let
// the reading go on (the line is skipped); any other error stops it.
typedef int (*FontMapLineFn)(void *arg, uint32_t section, char *line);

// One [Library] line: names,slant,,weight,,,file.
struct FontMapLibraryLine {
    char *names; // the family names the file's first face is added under
    uint32_t
        style;  // slant (0x100 "Italic", 0x200 "Oblique") | weight (6 "Bold", 8 "Black", else 3)
    char *file; // the font file's URL text
};

uint32_t FontFile_kind(const char16_t *path);

// Reads the lines of a map text (length bytes) through fn. 0, or the
// first error of fn that stops the reading.
[[nodiscard]] int FontMap_readText(const char *text, size_t length, FontMapLineFn fn, void *arg);
// Reads the file "map" of the fonts directory the same way. A missing
// file (780) is no failure: 0. Otherwise 0, the open's and reads' errors,
// or fn's error that stopped it; 1 when memory runs out.
[[nodiscard]] int FontMap_readFile(EngineContext *context, const Url *fontsDir, FontMapLineFn fn,
                                   void *arg);
// Splits a [Defaults] or [Supplements] line at its first ":": *key the text
// before it as it stands, *value the rest without leading and trailing white
// space (both point into line, which is changed). 0, or Res_fontMapLine when
// the line has no ":".
[[nodiscard]] int FontMap_splitPair(char *line, char **key, char **value);
// Splits a [Library] line into its fields (pointing into line, which is
// changed), each without surrounding white space. 0, or Res_fontMapLine when it
// has fewer than six commas.
[[nodiscard]] int FontMap_parseLibrary(char *line, FontMapLibraryLine *out);
// *out = the URL of a [Library] file: the text as it stands when it has a
// scheme, a host and a path (and nothing else), else the text resolved
// against the fonts directory. 0; 1 when memory runs out.
[[nodiscard]] int FontMap_fileUrl(EngineContext *context, const Url *fontsDir, const char *file,
                                  Url **out);

// Reads a TrueType collection's header from its first bytes: the face count at
// offset 8 and one 32-bit offset per face after it (big-endian). offsets
// receives at most FontCollection_maxFaces of them; *count how many. 0;
// Res_fontUnsupported for a collection without faces; Res_fontFileUnreadable
// when the data ends before the offsets.
[[nodiscard]] int FontCollection_readHeader(const uint8_t *data, size_t length, uint32_t *offsets,
                                            uint32_t *count);

// Reads the names and the style of a face from its 'name' table: the
// strings of nameIDs 1, 4 and 6 of the records for platform 3, encodings
// 0 and 1, language 0x0409, in record order, joined by ":" (leading white
// space skipped, a ":" inside a name turned into ";", UTF-8, at most
// FontNames_maxLength characters: a name that would not fit is left out),
// and the style: 3, with 0x100 when the subfamily (nameID 2) holds
// "Italic", 0x200 when it holds "Oblique", and the weight 1 for "Light",
// else 6 for "Bold". *names is a new heap string (empty when nothing
// counts). 0; 1 when memory runs out (*names null). A damaged table gives
// what its sound records hold.
[[nodiscard]] int FontNames_read(const uint8_t *table, size_t length, char **names,
                                 uint32_t *style);
// Adds ":" and name to the name list *names (a heap string, replaced);
// nothing when the list would reach FontNames_maxLength + 1 characters.
// 0; 1 when memory runs out (the list is kept).
[[nodiscard]] int FontNames_add(char **names, const char *name);
