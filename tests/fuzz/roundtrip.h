// The save round trip shared by the writers' fuzz targets: the input is
// written to a scratch folder as a file; when the format's loader takes it,
// the document is saved to a new file there and that file must load again.
// Nothing may crash and nothing may leak once the documents are gone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/fuzz/appfuzz.h"
#include "tests/support/scratch_files.h"
#include "tests/support/stream_types.h"
#include "tests/support/test_engine.h"

namespace roundtrip {

using appfuzz::require;

using TestFiles::LoadFn;
// Saves the document to the target.
using SaveFn = int (*)(Edr_Doc *doc, const Url *target);

struct Format {
    const char *extension; // ".doc", ".xls"
    LoadFn load;
    SaveFn save;
};

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
    require(TestSupport_registerStreamTypes(in->ctx));
    Edr_Doc *doc = nullptr;
    if (TestFiles::loadDocument(in->ctx, in->dir + "/in" + format.extension, format.load, &doc) ==
        0) {
        Url *target = TestFiles::newFileUrl(in->dir + "/out" + format.extension);
        int err = format.save(doc, target);
        Url_free(target);
        Edr_Doc_release(doc);
        if (err == 0) {
            require(TestFiles::loadDocument(in->ctx, in->dir + "/out" + format.extension,
                                            format.load, &doc) == 0);
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
    TestFiles::removeScratchDir(in.dir);
    return 0;
}

} // namespace roundtrip
