// MIME multipart archives: the services the stream layer calls.
//
// Parts of a MIME multipart file (an "mht" archive, a mail) are streams of
// the Mime type (row 4 of the stream type table, platform/vfs/vfs.h),
// named by "cid:" URLs or by URLs whose handler object is an archive of
// the MIME module. Only what the stream layer calls is declared here so
// far; html/interim.cpp holds interim definitions until the MIME module is
// built.
#pragma once

#include <cstdint>

struct EngineContext;
struct Url;
struct UrlHandler;
struct VfsHandle;
struct VfsTypeOps;

// The Mime row: slot 3 MimeStream_open; slots 4-6 and 11-13 those of the
// Mem type over the part's bytes; slots 22 and 23 archive queries.
extern const VfsTypeOps VfsMimeOps;

// Slot 3: opens the part the URL names as a memory stream on the handle.
// 0 with *accepted, or an error (780 no such part).
[[nodiscard]] int MimeStream_open(VfsHandle *handle, const Url *url, uint32_t mode,
                                  uint32_t *accepted, EngineContext *ctx);
// Non-zero when the MIME module owns this URL handler object.
int Mime_claimsHandler(const UrlHandler *handler);
// Start and stop of the MIME module with the file layer: 0 or an error /
// nothing.
[[nodiscard]] int Mime_moduleInit(EngineContext *ctx);
void Mime_moduleFini(EngineContext *ctx);

struct MimeSrcList;

// A new, empty, locked list of body sources (office/zip/mimesrc.h) into
// *out. 0, or 1 when out of memory (*out null).
[[nodiscard]] int Mime_srcListCreate(EngineContext *ctx, MimeSrcList **out);
// Frees a list of body sources: every source, the lock and the record.
// Null is ignored.
void Mime_srcListFree(MimeSrcList *list);
