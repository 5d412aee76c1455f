// Fuzz target for the file cache index. Input: the bytes of "index.dat".
// The cache loads it at start-up (damaged records end the load, records
// whose data file is missing are dropped), is stopped (saving the index
// again) and started once more over what it saved. Nothing may leak.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "html/web/httpcache.h"
#include "platform/url/file.h"
#include "tests/fuzz/filefuzz.h"
#include "tests/support/test_engine.h"

namespace {

EngineContext *ctx = nullptr;
std::string dir;

void require(bool ok)
{
    if (!ok)
        abort();
}

void setUp()
{
    filefuzz::Scratch &scratch = filefuzz::open("vexlan-cache");
    ctx = scratch.ctx;
    dir = scratch.dir;
    // One data file that records may name: file://localhost/okala_dir/1.dat
    FILE *f = fopen((dir + "/okala_dir/1.dat").c_str(), "wb");
    require(f != nullptr);
    fputs("0123456789", f);
    fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!ctx)
        setUp();
    remove((dir + "/okala_dir/index-bak.dat").c_str());
    FILE *f = fopen((dir + "/okala_dir/index.dat").c_str(), "wb");
    require(f != nullptr);
    if (size)
        require(fwrite(data, 1, size, f) == size);
    fclose(f);
    size_t before = TestHeap_usedBytes();
    for (int round = 0; round < 2; round++) {
        require(HttpCache_install(ctx) == 0);
        require(ctx->httpCache != nullptr);
        HttpCache_uninstall(ctx);
        require(ctx->httpCache == nullptr);
    }
    require(TestHeap_usedBytes() == before);
    return 0;
}
