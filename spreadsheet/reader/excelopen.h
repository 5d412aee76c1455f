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

// Open failures of the worksheet files that came before compound files: a
// plain BIFF2, BIFF3 or BIFF4 record stream, which the reader does not read.
enum : int {
    Excel_errBiff2File = 12553,
    Excel_errBiff3File = 12554,
    Excel_errBiff4File = 12555,
};

// The BIFF version (2, 3 or 4) of a plain record stream starting with the
// given bytes (a BOF of type 0x0009, 0x0209 or 0x0409 for a worksheet,
// chart, macro sheet or, in BIFF4, workbook), else 0.
uint32_t Excel_earlyBiffVersion(const uint8_t *head, size_t length);

// What an open or load failure of a workbook means, as a message naming
// the file's format where it is known (a version the reader does not
// read, an encrypted workbook); null for other codes.
const char *Excel_openErrorText(int code);

// Score 100 for "application/vnd.ms-excel" and "application/excel" (any
// case), else 0. 0.
int Excel_matchMime(EngineContext *context, Edr_HandlerDesc *desc, const char16_t *mime,
                    int32_t *score);
// Score 100 and type id 29 for a compound file with a "Workbook" or
// "Book" stream, or for a plain BIFF2 to BIFF4 record stream (which the
// open then refuses with a code naming its version), else 0; the stream
// is set back to its start. 1 when
// memory runs out, else the seek's result.
int Excel_sniff(EngineContext *context, Edr_HandlerDesc *desc, VfsHandle *stream, int32_t *score,
                uint32_t *typeId);
// Opens the workbook on the stream (closed in every case) and loads it. A
// plain BIFF2, BIFF3 or BIFF4 stream fails with 12553, 12554 or 12555.
int Excel_open(EngineContext *context, Edr_HandlerDesc *desc, void *argument, VfsHandle *stream,
               Edr_Doc *doc, Edr_Node *target);
// The whole load: type code 228, the record walk, then one page per
// worksheet with cells under target. 0 or the first error.
[[nodiscard]] int Excel_loadWorkbook(EngineContext *context, OleHandle *ole, Edr_Doc *doc,
                                     Edr_Node *target);
