// Fuzz target for the workbook writer: the input is an .xls file. When it
// loads, the workbook is saved to a new file and that file must load
// again; nothing may crash and nothing may leak once the documents are
// gone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <ftw.h>
#include <unistd.h>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"
#include "document/types/oleprobe.h"
#include "office/ole2/ole.h"
#include "spreadsheet/reader/excelopen.h"
#include "spreadsheet/writer/xlswriter.h"

namespace {

// A file URL for an absolute path (ASCII).
inline Url *newFileUrl(const std::string &path)
{
    std::u16string text;
    for (char c : "file://root" + path)
        text += char16_t(uint8_t(c));
    return Url_new(text.c_str());
}

using appfuzz::require;

struct Input {
    EngineContext *ctx;
    std::string dir;
};

int load(EngineContext *ctx, const std::string &path, Edr_Doc **out)
{
    *out = nullptr;
    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    require(Edr_Doc_create(ctx, &doc, &root) == 0);
    Url *url = nullptr;
    url = newFileUrl(path);
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    int err = Vfs_open(url, Vfs_modeRead | Vfs_modeSeekable, &stream, &accepted, ctx);
    OleHandle *ole = nullptr;
    if (!err)
        err = Ole_openStream(stream, &ole);
    if (!err)
        err = Excel_loadWorkbook(ctx, ole, doc, root);
    Ole_close(&ole);
    if (stream)
        (void)Vfs_close(stream);
    if (!err)
        err = Edr_Doc_setUrl(doc, url);
    Url_free(url);
    if (err) {
        Edr_Doc_release(doc);
        return err;
    }
    *out = doc;
    return 0;
}

void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    require(AlienFile_initLayer(in->ctx) == 0);
    Edr_Doc *doc = nullptr;
    if (load(in->ctx, in->dir + "/in.xls", &doc) == 0) {
        Url *target = nullptr;
        target = newFileUrl(in->dir + "/out.xls");
        int err = Excel_saveWorkbook(doc, target);
        Url_free(target);
        Edr_Doc_release(doc);
        if (err == 0) {
            require(load(in->ctx, in->dir + "/out.xls", &doc) == 0);
            Edr_Doc_release(doc);
        }
    }
    AlienFile_finiLayer(in->ctx);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    char templ[] = "/tmp/vexlan-xlsrt-XXXXXX";
    require(mkdtemp(templ) != nullptr);
    Input in{nullptr, templ};
    FILE *f = fopen((in.dir + "/in.xls").c_str(), "wb");
    require(f != nullptr);
    require(fwrite(data, 1, size, f) == size || size == 0);
    fclose(f);
    TestEngine engine;
    require(TestEngine_open(&engine, size_t(64) << 20));
    in.ctx = engine.context;
    appfuzz::runPlain(&engine, body, &in);
    TestEngine_close(&engine);
    nftw(
        in.dir.c_str(), [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
    return 0;
}
