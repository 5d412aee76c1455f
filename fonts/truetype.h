// TrueType and font-pack files.
//
// Opens a TrueType file, or one of the engine's font packs (TrueType files
// whose 'ffst', 'ffhm' and 'sloc' tables replace 'hmtx', 'loca' and
// 'OS/2'), on the face's big-endian buffered reader: reads the table
// directory and the small fixed tables, chooses the character map and
// fills the face's metrics and operations. The large tables (the
// character-map subtable, horizontal metrics, glyph locations, kerning
// pairs) load on first use and can be dropped again. Every metric is
// normalised to 16384 units per em: v x 16384 / unitsPerEm, truncated
// (signed for signed fields, unsigned for advances).
#pragma once

#include <cstdint>

struct FontFace;

// Ranks of the character maps by (platform, encoding); a map whose rank
// equals the caller's preferred rank counts above all others.
enum : uint32_t {
    TrueType_rankUnusable = 59,
    TrueType_rankPreferred = 69,
};

// Opens the file on face (its reader and source already set) with its
// table directory at dirOffset, preferring the character map of rank
// preferredRank. 0; 1; 2308 no usable character map; 2309 bad version, a
// units per em of 0, or a font pack the engine has no operations for (or
// whose 'ffhm' or 'sloc' it cannot read); 2317 a required table missing;
// the reader's errors (2311-2313, 2319) for truncated tables. On failure
// the face keeps no table record.
[[nodiscard]] int TrueType_open(FontFace *face, uint32_t dirOffset, uint32_t preferredRank);
// The destroy operation of an open face: closes its reader, drops every
// loaded table and frees the table record and the face (null: nothing).
void TrueType_close(FontFace *face);
// Drops the loaded tables and restores the loaders; the face stays usable.
void TrueType_dropCaches(FontFace *face);

// The compacted glyph locations of a face, as the benchmarks size them:
// bytes held, or 0 before they are loaded.
uint32_t TrueType_locationBytes(const FontFace *face);
