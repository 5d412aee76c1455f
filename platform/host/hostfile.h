// Host file services and the host platform record.
//
// The host gives the engine a small set of file services over POSIX: open
// with the engine's flags, read, write, seek, status, directories, rename,
// remove, a chunked copy and directory listings filtered by a file-name
// pattern. The engine's file driver (platform/url/file.h) is their only
// caller. Every call takes the host platform record first, which the file
// services themselves do not read (null is fine). Paths are 8-bit (UTF-8);
// a path that begins with "//" is used from its second character.
//
// Failures are reported as -1 (or the listing codes below); open also
// prints a console message beginning "alien-file:" on standard output.
// This object belongs to the host services: it may use the system
// allocator (for scandir's entries and status buffers).
#pragma once

#include <cstddef>
#include <cstdint>

// Open flags of HostFile_open; other bits are ignored.
enum : uint32_t {
    HostFile_create = 1,
    HostFile_readOnly = 2,
    HostFile_truncate = 4,
    HostFile_writeOnly = 8,
    HostFile_exclusive = 0x20,  // with create: fail when the file exists
};

// Seek origins.
enum : int32_t {
    HostFile_seekSet = 0x10003,
    HostFile_seekCur = 0x10004,
    HostFile_seekEnd = 0x10005,
};

// Results of the listing calls.
enum : int32_t {
    HostFile_lsFound = 0x10003,     // an entry was found
    HostFile_lsNoSlash = 0x10004,   // the path has no "/"
    HostFile_lsNoMore = 0x10005,    // no (more) entries
    HostFile_lsFailed = 0x10006,    // the listing could not be made
};

typedef void (*HostTimerFn)(void *argument, int32_t ms);

// The host platform record: one per host, made at start-up and kept in the
// host context (HostContext::platform).
struct HostPlatform {
    void *owner;                 // the object given to HostPlatform_create
    HostTimerFn timerCallback;   // stops the host timer and, for ms > 0, starts it single-shot
    void *callbackWord;
    void *callbackArgument;
    uintptr_t reserved[2];
    uint32_t keyMode;            // 0, then 7, 15, 23 or 31 from the host's input mode
    int32_t scale;               // 0x10000 (16.16 one)
    int32_t reserved2;
    int32_t screenHeight;        // 0x40000000 until set (unbounded)
    int32_t reserved3;
    int32_t areaX0, areaY0, areaX1, areaY1;  // usable screen rectangle
};

// An open directory listing (HostFile_lsFirst).
struct HostListing;

// A new platform record (system allocator); null when out of memory.
HostPlatform *HostPlatform_create(void *owner);
// Frees the record; null is allowed.
void HostPlatform_destroy(HostPlatform *hp);
void HostPlatform_setCallback(HostPlatform *hp, HostTimerFn callback, void *word, void *argument);
void HostPlatform_setScreenArea(HostPlatform *hp, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void HostPlatform_setKeyMode(HostPlatform *hp, uint32_t mode);
void Host_setScreenHeight(HostPlatform *hp, int32_t height);
// Frees *pointer with the system allocator and clears it.
void Host_freeAndClear(void **pointer);

// Opens path: create (1), read only (2), truncate (4), write only (8),
// exclusive (0x20, with create); permission 0600. Only regular files open.
// The descriptor, or -1 (a message is printed).
int HostFile_open(HostPlatform *hp, const char *path, uint32_t flags);
// The system's read and write: bytes transferred, or -1.
int64_t HostFile_read(HostPlatform *hp, int fd, void *buffer, size_t length);
int64_t HostFile_write(HostPlatform *hp, int fd, const void *buffer, size_t length);
// 0 or -1.
int HostFile_close(HostPlatform *hp, int fd);
int HostFile_sync(HostPlatform *hp, int fd);
// Moves to *offset (0 when offset is null) from the origin; the new
// position, or -1 (also for an unknown origin, without seeking).
int64_t HostFile_seek(HostPlatform *hp, int fd, const int64_t *offset, int32_t whence);

// A status buffer filled from the descriptor into *buffer (freed with
// HostFile_freeStat): 0, or -1 (also when out of memory; *buffer null).
int HostFile_stat(HostPlatform *hp, int fd, void **buffer);
// The file size from a status buffer into *size: 0, or -1 without one.
int HostFile_statSize(HostPlatform *hp, int fd, const void *buffer, uint64_t *size);
void HostFile_freeStat(HostPlatform *hp, int fd, void *buffer);

// Makes a directory (0700): 0 when made or when it already is a
// directory; -1 otherwise.
int HostFile_mkdir(HostPlatform *hp, const char *path);
int HostFile_rename(HostPlatform *hp, const char *from, const char *to);
int HostFile_remove(HostPlatform *hp, const char *path);
// Copies from to to in 4096-byte blocks: 0, or -1. A failed read or a short
// write removes the destination; when the source or destination cannot be
// opened an existing destination is left as it was.
int HostFile_copy(HostPlatform *hp, const char *from, const char *to);

// Lists the directory part of path (up to its last "/") in alphabetical
// order, matching the part after it as a file-name pattern (a leading "."
// only matches a "."). *listing gets the listing (null on failure; kept for
// an empty directory or no match); *name (optional) the first matching
// name, lent until the next call. HostFile_lsFound, HostFile_lsNoSlash,
// HostFile_lsNoMore or HostFile_lsFailed.
int HostFile_lsFirst(HostPlatform *hp, const char *path, HostListing **listing, const char **name);
// The next matching name: HostFile_lsFound or HostFile_lsNoMore.
int HostFile_lsNext(HostPlatform *hp, const char *path, HostListing *listing, const char **name);
// The current entry's name: HostFile_lsFound or HostFile_lsNoMore.
int HostFile_lsCurrent(HostPlatform *hp, const char *path, HostListing *listing, const char **name);
// Frees the listing; null is allowed.
void HostFile_lsClose(HostPlatform *hp, HostListing *listing);

// The host's path suffix for listings: none on this host (null).
const char *HostFile_pathSuffix(HostPlatform *hp, const char *path);
// Hooks around the file layer's life and listing names: empty here.
void HostFile_startHook(HostPlatform *hp);
void HostFile_endHook(HostPlatform *hp);
void HostFile_nameDone(HostPlatform *hp, const char *name);
