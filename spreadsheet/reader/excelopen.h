// The Excel handler of the document-type registry: recognition of
// workbooks (a compound file with a "Workbook" or "Book" stream), the open
// and the load, which gives every worksheet one page.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_HandlerDesc;
struct Edr_Node;
struct OleHandle;
struct VfsHandle;

enum : uint32_t {
    Excel_mimeTypeId = 29, // the type id the sniffer reports
    Excel_typeCode = 228,  // the document's type code
};

// Score 100 for "application/vnd.ms-excel" and "application/excel" (any
// case), else 0. 0.
int Excel_matchMime(EngineContext *context, Edr_HandlerDesc *desc, const char16_t *mime, int32_t *score);
// Score 100 and type id 29 for a compound file with a "Workbook" or
// "Book" stream, else 0; the stream is set back to its start. 1 when
// memory runs out, else the seek's result.
int Excel_sniff(EngineContext *context, Edr_HandlerDesc *desc, VfsHandle *stream, int32_t *score,
                uint32_t *typeId);
// Opens the workbook on the stream (closed in every case) and loads it.
int Excel_open(EngineContext *context, Edr_HandlerDesc *desc, void *argument, VfsHandle *stream, Edr_Doc *doc,
               Edr_Node *target);
// The whole load: type code 228, the record walk, then one page per
// worksheet with cells under target. 0 or the first error.
[[nodiscard]] int Excel_loadWorkbook(EngineContext *context, OleHandle *ole, Edr_Doc *doc, Edr_Node *target);
