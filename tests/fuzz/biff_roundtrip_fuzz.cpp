// Fuzz target for the workbook writer: the input is an .xls file. When it
// loads, the workbook is saved to a new file and that file must load
// again; nothing may crash and nothing may leak once the documents are
// gone.
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "spreadsheet/reader/excelopen.h"
#include "spreadsheet/writer/xlswriter.h"
#include "tests/fuzz/roundtrip.h"

namespace {

int loadWorkbook(EngineContext *ctx, VfsHandle *stream, Edr_Doc *doc, Edr_Node *root)
{
    OleHandle *ole = nullptr;
    int err = Ole_openStream(stream, &ole);
    if (!err)
        err = Excel_loadWorkbook(ctx, ole, doc, root);
    Ole_close(&ole);
    (void)Vfs_close(stream);
    return err;
}

const roundtrip::Format workbook{".xls", loadWorkbook, Excel_saveWorkbook};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return roundtrip::run(workbook, data, size);
}
