// The engine that the web-state file targets run in: a test heap with a
// bare engine context, the host file layer, and a scratch directory (made
// once a process, removed when it ends) that OKALA_DIRECTORY names, with
// its "okala_dir" folder where the stores keep their files.
#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "platform/url/file.h"
#include "tests/support/document_ops.h"
#include "tests/support/stream_types.h"
#include "tests/support/test_engine.h"

namespace filefuzz {

struct Scratch {
    TestHeap heap;
    EngineContext *ctx;
    std::string dir;
};

inline Scratch scratch;

inline void require(bool ok)
{
    if (!ok)
        abort();
}

inline void removeDir()
{
    nftw(
        scratch.dir.c_str(),
        [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

// Opens the heap, the context and the scratch directory (prefix names the
// directory under /tmp) on the first call; later calls only answer.
inline Scratch &open(const char *prefix)
{
    if (scratch.ctx)
        return scratch;
    require(TestHeap_open(&scratch.heap, 16 << 20, 0));
    scratch.ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(scratch.ctx != nullptr);
    scratch.ctx->instance = scratch.heap.instance;
    scratch.heap.instance->context = scratch.ctx;
    require(AlienFile_initLayer(scratch.ctx) == 0);
    require(TestSupport_registerStreamTypes(scratch.ctx));
    require(TestSupport_installDocumentOps(scratch.ctx));
    std::string templ = std::string("/tmp/") + prefix + "-XXXXXX";
    require(mkdtemp(templ.data()) != nullptr);
    scratch.dir = templ;
    atexit(removeDir);
    setenv("OKALA_DIRECTORY", scratch.dir.c_str(), 1);
    mkdir((scratch.dir + "/okala_dir").c_str(), 0700);
    return scratch;
}

} // namespace filefuzz
