// CMaps of composite PDF fonts.
//
// A CMap turns the byte strings of a text operator into glyph selectors
// (CID + 1) or into Unicode. It comes from the first of: the identity
// CMaps ("Identity-H", "Identity-V"), a binary CMap file (the "Paths"
// setting "Fonts_Bincmaps", else "bincmaps/" under the fonts directory),
// a text CMap file ("Fonts_Cmaps", else "cmaps/"), or a character-set
// converter chosen by the name. The CID-to-Unicode table of a character
// collection comes from "adobe-<collection>1-ucs2.dat" in the same two
// directories, or from a font's to-Unicode stream.
//
// Binary CMap files, big-endian: the magic "BINCMAP1" (plain) or
// "BINCMAP3" (a zlib stream after the header, codes of 1 and 2 bytes
// delta-coded), the Ordering and the usecmap name (both NUL-terminated,
// at most 32 and 65 bytes), then blocks {count (0 ends), flags (bits 0-2
// code length, bit 7 ranges), records {CID, low[, high]}}. Binary
// to-Unicode files: "BINCMAP0" (plain) or "BINCMAP2" (zlib, each entry
// stored as its difference to the previous entry + 1), a 16-bit count,
// then the entries.
#pragma once

#include <cstddef>
#include <cstdint>

struct ByteStream;
struct EngineContext;

enum : int {
    CMap_errEnded = 3072,      // input ended before an expected token
    CMap_errBfrange = 3073,    // bfrange with a token that is not a string
    CMap_errBfchar = 3074,     // bfchar with a token that is not a string
    CMap_errNoCMap = 3076,     // no file and no character set for the name
    CMap_errOrdering = 3079,   // Ordering not a string of at most 31 bytes
    CMap_errCodeLength = 3080, // a cidchar or cidrange code longer than 6 bytes
    CMap_errCidchar = 3081,    // cidchar with wrong token kinds
    CMap_errCidrange = 3082,   // cidrange with wrong token kinds or lengths
    CMap_errBadRange = 3083,   // a range outside its code length or the CID space,
                               // or a usecmap chain deeper than CMap_maxUseDepth
    CMap_errMagic = 3084,      // binary file with another magic
    CMap_errHeader = 3085,     // binary header string without its NUL
};

enum : uint32_t {
    CMap_maxUseDepth = 8, // usecmap parents loaded below one CMap
    CMap_rangeStart = 1024,
};

// A range of codes that are not 1 or 2 bytes long.
struct CMapRange {
    uint8_t low[6];  // padded with 0
    uint8_t high[6]; // padded with 255
    uint16_t length; // code bytes, 1 to 6
    uint16_t firstCid;
};

struct CMap {
    int32_t kind;      // -1: mapping tables; else a character-set code (no tables)
    uint32_t identity; // 1: two-byte big-endian codes, CID = code
    char ordering[32];
    uint16_t *toUnicode; // 65536 entries by CID, or null
    uint16_t *oneByte;   // 256 CIDs by one-byte code, or null (0: unmapped)
    uint16_t *twoByte;   // 65536 CIDs by big-endian two-byte code, or null
    CMapRange *ranges;   // sorted by low code after loading
    uint32_t rangeCapacity;
    uint32_t rangeCount;
    char *useName; // usecmap name, or null
    CMap *parent;  // usecmap parent, or null
};

// The font's CIDSystemInfo as the PDF font code hands it over.
struct CMapSysInfo {
    const char *registry;
    const char *ordering;
    int32_t supplement;
};

// Loads the CMap of an encoding name: sysinfo (null allowed) selects the
// collection's to-Unicode table, toUnicodeStream (null allowed) serves
// the identity CMaps when no collection table is found. 0 and *out, or an
// error (*out null).
[[nodiscard]] int CMap_load(EngineContext *engine, const CMapSysInfo *sysinfo, const char *name,
                            ByteStream *toUnicodeStream, CMap **out);
// Decodes length bytes: mode 1 gives Unicode, mode 0 CID + 1 per code.
// *out = a new NUL-terminated 16-bit string. charsetContext serves the
// character-set CMaps. 0, 1, or the converter's error.
[[nodiscard]] int CMap_decodeString(EngineContext *charsetContext, const CMap *cmap, uint32_t mode,
                                    const uint8_t *bytes, size_t length, char16_t **out);
// The CID and code length of the code at window (six bytes, zero-padded):
// length 0 when no record holds the code.
uint16_t CMap_lookup(const CMap *cmap, const uint8_t window[6], uint32_t *length);
// The to-Unicode table or null.
const uint16_t *CMap_getMapTable(const CMap *cmap);
// table[c - 1], or c - 1 without a table.
uint16_t CMap_mapCode(const uint16_t *table, uint32_t c);
// A text CMap from an embedded CMap stream.
[[nodiscard]] int CMap_parseTextStream(EngineContext *engine, const CMapSysInfo *sysinfo,
                                       ByteStream *stream, CMap **out);
// A to-Unicode table (65536 entries, the caller frees it) from a font's
// to-Unicode stream.
[[nodiscard]] int CMap_parseToUnicodeStream(ByteStream *stream, uint16_t **out);
// *out = a new 65536-entry copy of table; null for null. 0 or 1.
[[nodiscard]] int CMap_copyUnicodeTable(uint16_t **out, const uint16_t *table);
// Frees the record, its tables and its usecmap parents (null allowed).
void CMap_free(CMap *cmap);

// The readers, for tests and tools.
[[nodiscard]] int CMap_readBinary(EngineContext *engine, const CMapSysInfo *sysinfo,
                                  ByteStream *stream, uint32_t depth, CMap **out);
[[nodiscard]] int CMap_readBinaryUnicode(ByteStream *stream, uint16_t **out);
[[nodiscard]] int CMap_parseText(EngineContext *engine, const CMapSysInfo *sysinfo,
                                 ByteStream *stream, uint32_t depth, CMap **out);
[[nodiscard]] int CMap_parseToUnicode(ByteStream *stream, uint16_t **out);
// Opens "<name>" in the binary (which 0) or text (1) directory: a byte
// stream the caller closes.
[[nodiscard]] int CMap_openDataFile(EngineContext *engine, const char *name, uint32_t which,
                                    ByteStream **out);
// The collection to-Unicode table of an Ordering ("CNS", "GB", "Japan",
// "Korea" by prefix); none and 0 for other orderings.
[[nodiscard]] int CMap_loadCollectionUnicode(EngineContext *engine, const char *ordering,
                                             uint16_t **out);
