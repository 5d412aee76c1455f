// The save round trip shared by the writers' fuzz targets: the input is
// written to a scratch folder as a file; when the format's loader takes it,
// the document is saved to a new file there and that file must load again.
// Nothing may crash and nothing may leak once the documents are gone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <ftw.h>
#include <unistd.h>

#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/test_engine.h"

namespace roundtrip {

using appfuzz::require;

// Loads the opened stream into the document under root; the stream is
// the loader's from then on.
using LoadFn = int (*)(EngineContext *ctx, VfsHandle *stream, Edr_Doc *doc, Edr_Node *root);
// Saves the document to the target.
using SaveFn = int (*)(Edr_Doc *doc, const Url *target);

struct Format {
    const char *extension; // ".doc", ".xls"
    LoadFn load;
    SaveFn save;
};

// A file URL for an absolute path (ASCII).
inline Url *newFileUrl(const std::string &path)
{
    std::u16string text;
    for (char c : "file://root" + path)
        text += char16_t(uint8_t(c));
    return Url_new(text.c_str());
}

inline int load(EngineContext *ctx, const Format &format, const std::string &path, Edr_Doc **out)
{
    *out = nullptr;
    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    require(Edr_Doc_create(ctx, &doc, &root) == 0);
    Url *url = newFileUrl(path);
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    int err = Vfs_open(url, Vfs_modeRead | Vfs_modeSeekable, &stream, &accepted, ctx);
    if (!err)
        err = format.load(ctx, stream, doc, root);
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

struct Input {
    EngineContext *ctx;
    const Format *format;
    std::string dir;
};

inline void body(void *argument)
{
    Input *in = static_cast<Input *>(argument);
    const Format &format = *in->format;
    require(AlienFile_initLayer(in->ctx) == 0);
    Edr_Doc *doc = nullptr;
    if (load(in->ctx, format, in->dir + "/in" + format.extension, &doc) == 0) {
        Url *target = newFileUrl(in->dir + "/out" + format.extension);
        int err = format.save(doc, target);
        Url_free(target);
        Edr_Doc_release(doc);
        if (err == 0) {
            require(load(in->ctx, format, in->dir + "/out" + format.extension, &doc) == 0);
            Edr_Doc_release(doc);
        }
    }
    AlienFile_finiLayer(in->ctx);
}

inline int run(const Format &format, const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    char templ[] = "/tmp/vexlan-roundtrip-XXXXXX";
    require(mkdtemp(templ) != nullptr);
    Input in{nullptr, &format, templ};
    FILE *f = fopen((in.dir + "/in" + format.extension).c_str(), "wb");
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

} // namespace roundtrip
