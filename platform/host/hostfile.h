// Host file services.
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
// The services allocate nothing: status and listing records are the
// caller's, and the copy works through a buffer on the stack.
#pragma once

#include <cstddef>
#include <cstdint>

struct HostPlatform;

// Open flags of HostFile_open; other bits are ignored.
enum : uint32_t {
    HostFile_create = 1,
    HostFile_readOnly = 2,
    HostFile_truncate = 4,
    HostFile_writeOnly = 8,
    HostFile_exclusive = 0x20, // with create: fail when the file exists
};

// Seek origins.
enum : int32_t {
    HostFile_seekSet = 0x10003,
    HostFile_seekCur = 0x10004,
    HostFile_seekEnd = 0x10005,
};

// The status of an open file (HostFile_stat): what the engine reads of it.
struct HostStat {
    uint64_t size;
};

// An open directory listing: the caller's record, filled by HostFile_lsFirst
// and closed with HostFile_lsClose. Entries come in the order of their
// names (the system's collation) without being gathered anywhere: each step
// finds the next name after the current one.
struct HostListing {
    void *directory;     // the open directory stream (null: none)
    char path[4096];     // the listing path, cut at its last "/"
    const char *pattern; // the part after that "/", inside path
    char current[256];   // the current entry's name
    int32_t state;       // 0 before the first entry, 1 on one, 2 after the last
};

// Results of the listing calls.
enum : int32_t {
    HostFile_lsFound = 0x10003,   // an entry was found
    HostFile_lsNoSlash = 0x10004, // the path has no "/"
    HostFile_lsNoMore = 0x10005,  // no (more) entries
    HostFile_lsFailed = 0x10006,  // the listing could not be made
};

// Opens path: create (1), read only (2), truncate (4), write only (8),
// exclusive (0x20, with create); permission 0600. Only regular files open.
// The descriptor, or -1 (a message is printed).
int HostFile_open(HostPlatform *hp, const char *path, uint32_t flags);
// The system's read and write: bytes transferred, or -1.
int64_t HostFile_read(HostPlatform *hp, int fd, void *buffer, size_t length);
int64_t HostFile_write(HostPlatform *hp, int fd, const void *buffer, size_t length);
// 0 or -1.
[[nodiscard]] int HostFile_close(HostPlatform *hp, int fd);
[[nodiscard]] int HostFile_sync(HostPlatform *hp, int fd);
// Moves to *offset (0 when offset is null) from the origin; the new
// position, or -1 (also for an unknown origin, without seeking).
int64_t HostFile_seek(HostPlatform *hp, int fd, const int64_t *offset, int32_t whence);

// The caller's status record filled from the descriptor: 0, or -1 (the
// record is then cleared).
int HostFile_stat(HostPlatform *hp, int fd, HostStat *status);
// The file size from a status record into *size: 0, or -1 without one.
int HostFile_statSize(HostPlatform *hp, int fd, const HostStat *status, uint64_t *size);

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
// only matches a "."). The caller's record *listing is filled (it holds
// the open directory, also for an empty directory or no match, until
// HostFile_lsClose; a path of 4096 bytes or more fails); *name (optional)
// the first matching name, lent until the next call. HostFile_lsFound,
// HostFile_lsNoSlash, HostFile_lsNoMore or HostFile_lsFailed.
[[nodiscard]] int HostFile_lsFirst(HostPlatform *hp, const char *path, HostListing *listing,
                                   const char **name);
// The next matching name: HostFile_lsFound or HostFile_lsNoMore.
[[nodiscard]] int HostFile_lsNext(HostPlatform *hp, const char *path, HostListing *listing,
                                  const char **name);
// The current entry's name: HostFile_lsFound or HostFile_lsNoMore.
[[nodiscard]] int HostFile_lsCurrent(HostPlatform *hp, const char *path, HostListing *listing,
                                     const char **name);
// Closes the listing's directory (the record stays the caller's); null is
// allowed, and so is a record that failed to open or is closed already.
void HostFile_lsClose(HostPlatform *hp, HostListing *listing);

// The host's path suffix for listings: none on this host (null).
const char *HostFile_pathSuffix(HostPlatform *hp, const char *path);
// Hooks around the file layer's life and listing names: empty here.
void HostFile_startHook(HostPlatform *hp);
void HostFile_endHook(HostPlatform *hp);
void HostFile_nameDone(HostPlatform *hp, const char *name);
