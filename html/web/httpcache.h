// The HTTP response cache: the services the stream layer calls.
//
// Fetched documents and resources are read through streams of the Cache
// type (row 5 of the stream type table, platform/vfs/vfs.h), made by the
// cache opener. Only what the stream layer calls is declared here so far;
// html/interim.cpp holds interim definitions until the cache is built.
#pragma once

#include <cstdint>

struct EngineContext;
struct Url;
struct VfsHandle;
struct VfsTypeOps;

// The Cache row: slots 4-6, 11-14, 17-19, 24, 26-29.
extern const VfsTypeOps VfsCacheOps;

// The cache opener: makes handle a Cache stream on url (finding or
// creating the cache entry). 0 with *accepted, or an error.
[[nodiscard]] int HttpCache_openStream(VfsHandle *handle, const Url *url, uint32_t mode,
                                       uint32_t *accepted, EngineContext *ctx, uintptr_t extra);
// Start and stop of the cache module with the file layer: 0 or an error /
// nothing.
[[nodiscard]] int HttpCache_install(EngineContext *ctx);
void HttpCache_uninstall(EngineContext *ctx);
