// Built-in files.
//
// Data that ships inside the program (binary CMaps, the base-14 font
// metrics, the font map, placeholder images) is reached like any other
// file, under paths that begin with "/okala_dir/" (normally through URLs
// such as "file://root/okala_dir/Fonts/map"). The file driver looks every
// such path up in the built-in file table of the engine context; there is
// no fall-back to the host's file system for these paths. Modules add
// their files at start-up; the table only grows. Rows 0 and 1 are
// placeholders with an empty path; real files start at row 2.
#pragma once

#include <cstddef>
#include <cstdint>

struct AlienFile;
struct EngineContext;

// One built-in file. Path and data are constant and outlive the engine.
struct RomFsEntry {
    const char *path;
    const uint8_t *data;
    uint32_t length;
};

// The table (EngineContext::romFiles).
struct RomFsTable {
    int32_t firstIndex; // where lookups start: 2
    int32_t count;      // rows in use
    RomFsEntry *entries;
    int32_t capacity; // 16 at first, grown by 16
};

// The files of the core registrations, in table order (for tests and tools).
extern const RomFsEntry RomFs_builtins[8];

// Makes the table (replacing an older one) with the two placeholder rows and
// the core files. 0; Res_missingArgument without a context; 1 out of memory.
[[nodiscard]] int RomFs_createTable(EngineContext *context);
// Frees the table; nothing happens without one.
void RomFs_freeTable(EngineContext *context);
// Adds the core files (RomFs_builtins).
void RomFs_addBuiltins(EngineContext *context);
// Appends a row; a row with the same path and length already present
// keeps the file from being added again. When the table cannot grow the
// file is silently not added.
void RomFs_addFile(EngineContext *context, const char *path, const uint8_t *data, uint32_t length);
// Shrinks the array to the count. 0, or 1 out of memory (nothing changes).
[[nodiscard]] int RomFs_trim(EngineContext *context);
// Reallocates the array to capacity rows (not below the count). 0, or 1.
[[nodiscard]] int RomFs_grow(RomFsTable *table, int32_t capacity);
// The count and the rows (lent); 0 and null without a table.
int32_t RomFs_count(EngineContext *context);
const RomFsEntry *RomFs_entries(EngineContext *context);

// Looks path (8-bit) up: mode 8 lists the direct children of the path,
// any other mode finds the row whose path equals it. A match gives a new
// record (kind 2) and *handled 1; no match gives 0 with *handled 0 (the
// caller reports 780). 16 for null arguments; 1 out of memory.
[[nodiscard]] int RomFs_open(EngineContext *context, AlienFile **record, const char *path,
                             uint32_t mode, int *handled);
// 1 when the record is a built-in file or listing.
int RomFs_isEntry(const AlienFile *f);
// Each sets *handled to 0 for a record that is not a built-in entry.
// Read copies min(*n, length - position) bytes and advances.
[[nodiscard]] int RomFs_read(AlienFile *f, void *buffer, size_t *n, int *handled);
[[nodiscard]] int RomFs_tell(AlienFile *f, uint64_t *position, int *handled);
// The position becomes min(offset, length).
[[nodiscard]] int RomFs_seek(AlienFile *f, uint64_t offset, int *handled);
int RomFs_size(AlienFile *f, uint64_t *size, int *handled);
[[nodiscard]] int RomFs_close(AlienFile *f, int *handled);
// The next direct child of a listing: its name (new 16-bit string, owned by the
// record until the next call) or null at the end. 0; Res_romFsBadEntry for a
// row whose path ends in "/"; 1 out of memory.
[[nodiscard]] int RomFs_readDir(AlienFile *f, const char16_t **name, int *handled);
