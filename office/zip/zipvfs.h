// Members of zip archives as streams.
//
// The Zvfs stream type (row 2 of the stream type table,
// platform/vfs/vfs.h) reads a member of a zip archive named by a URL. Its
// open is also the first probe of every Vfs_open for a URL without a
// handler object: it makes the handle a Zvfs stream (type 2) when the URL
// names a member of an archive, and leaves the type alone otherwise.
//
// Only the row and the probe are declared here so far; office/interim.cpp
// holds their interim definitions until the zip module is built.
#pragma once

#include <cstdint>

struct EngineContext;
struct Url;
struct VfsHandle;
struct VfsTypeOps;

// The Zvfs row: slots 3, 4, 5, 6, 10, 11, 12 and 13.
extern const VfsTypeOps VfsZipOps;

// Slot 3: opens the archive member the URL names, setting handle->type to
// 2 and *accepted; leaves the handle alone (0) when the URL names none.
// An error fails the open.
[[nodiscard]] int ZipVfs_open(VfsHandle *handle, const Url *url, uint32_t mode, uint32_t *accepted,
                              EngineContext *ctx);
