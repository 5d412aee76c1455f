// Entry points the host bridge calls while it configures the engine.
#pragma once

struct EngineContext;

// Installs the engine's built-in character conversion tables (Japanese,
// Big5, Korean and Chinese with the GB18030 ranges), creating the
// conversion record when the context has none. 1 when installed; 0 when
// memory ran out, and then the tables this call added are taken out
// again so the engine goes on without them.
int Engine_installBuiltinCharset(EngineContext *context);
