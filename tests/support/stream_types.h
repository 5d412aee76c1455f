// Test support: the engine's stream types registered in a bare context as
// rows only (no module started), so that tests which set up parts of the
// engine by hand can open about:, zip, MIME and cache streams.
#pragma once

struct EngineContext;

// Registers the About, Zvfs, Mime and Cache rows; false when the registry
// cannot be made. Vfs_unregisterTypes takes them down again.
bool TestSupport_registerStreamTypes(EngineContext *ctx);
