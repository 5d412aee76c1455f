// "about:" URLs as streams.
//
// The About stream type (row 0 of the stream type table,
// platform/vfs/vfs.h) serves the engine's built-in pages, named by the
// path of an "about:" URL. "about:blank" is the empty HTML document that
// frames start from; other names are not served (780). The pages are
// constant data: a stream lends them straight from the program.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Url;
struct VfsHandle;
struct VfsTypeOps;

// The About row: slots 3, 4, 5, 6, 11 and 13.
extern const VfsTypeOps VfsAboutOps;

// Slot 3: opens the page the URL names, for reading only. 0 with *accepted
// Vfs_modeRead and the handle's MIME type set; 769 for a mode that is not
// plain reading; 780 for a page that does not exist; 1 out of memory.
[[nodiscard]] int AboutStream_open(EngineContext *ctx, VfsHandle *handle, const Url *url,
                                   uint32_t mode, uint32_t *accepted);
// Slot 4: frees the stream's record. 776 when a buffer was still lent.
int AboutStream_close(VfsHandle *handle);
// Slot 5: lends the rest of the page. 776 while lent.
[[nodiscard]] int AboutStream_getReadBuf(VfsHandle *handle, size_t want, const uint8_t **ptr,
                                         size_t *len);
// Slot 6: n bytes were used (at most to the end). 777 when nothing is lent.
int AboutStream_readDone(VfsHandle *handle, size_t n);
// Slot 11: the read offset. 776 while lent.
[[nodiscard]] int AboutStream_tell(VfsHandle *handle, uint64_t *position);
// Slot 13: 0 a pointer to the 64-bit size, 1 the MIME type, 6 its id;
// other codes 771.
int AboutStream_getInfo(VfsHandle *handle, uint32_t code, uintptr_t *value);
