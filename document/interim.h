// What the interim stand-ins of subsystems not built yet share. Deleted
// together with the last interim that uses it.
#pragma once

struct EngineContext;
struct Edr_HandlerDesc;

// Fills desc for a handler whose importer is not built yet: it rates every
// MIME type and every stream 0, its open closes the stream and fails with
// 259, release does nothing; enabled. 0.
int DocType_describeInterim(EngineContext *context, Edr_HandlerDesc *desc);
