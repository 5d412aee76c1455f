// The stream types that the engine's start-up registers with the stream
// layer (platform/vfs/vfs.h) once the file layer is up: About (built-in
// pages and pictures), Zvfs (zip members), Mime (MIME parts) and Cache
// (the HTTP cache), in that order. The MIME and cache modules start with
// their registration and stop when the engine's teardown unregisters the
// types (Vfs_unregisterTypes), before the file layer stops.
#pragma once

struct EngineContext;

// Registers the four types after Vfs_initLayer. 0, or the first error
// (the types registered before it stay registered until
// Vfs_unregisterTypes).
[[nodiscard]] int App_registerStreamTypes(EngineContext *context);
