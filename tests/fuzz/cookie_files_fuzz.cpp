// Fuzz target for the cookie files. Input: two little-endian 16-bit
// lengths n and m, then n bytes of index file, m bytes of policy file and
// the rest as the data file. The store opens over them (damaged files
// reset it), answers a request, takes a cookie, deletes a domain and
// closes; the files it leaves must open again. Nothing may leak.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "html/web/cookie.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
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
    filefuzz::Scratch &scratch = filefuzz::open("vexlan-cookies");
    ctx = scratch.ctx;
    dir = scratch.dir;
}

void put(const char *name, const uint8_t *p, size_t n)
{
    FILE *f = fopen((dir + "/okala_dir/" + name).c_str(), "wb");
    require(f != nullptr);
    if (n)
        require(fwrite(p, 1, n, f) == n);
    fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!ctx)
        setUp();
    if (size < 4)
        return 0;
    size_t n = data[0] | data[1] << 8, m = data[2] | data[3] << 8;
    data += 4;
    size -= 4;
    n = n < size ? n : size;
    m = m < size - n ? m : size - n;
    put("cindex.dat", data, n);
    put("cpolicy.dat", data + n, m);
    put("cdata.dat", data + n + m, size - n - m);
    size_t before = TestHeap_usedBytes();
    for (int round = 0; round < 2; round++) {
        require(CookieStore_open(ctx) == 0);
        Url *u = Url_newFromCstr("http://www.example.com/a/b");
        char *text = nullptr;
        require(Cookie_buildRequestHeader(ctx, u, 1, 0, &text) == 0);
        Mem_free(text);
        (void)Cookie_storeHeader(ctx, u, "fz=1; expires=Wed, 01 Jan 2098 00:00:00 GMT", 0);
        (void)CookieStore_deleteDomain(ctx, "www.other.org");
        Url_free(u);
        CookieStore_close(ctx);
        require(ctx->cookies == nullptr);
    }
    require(TestHeap_usedBytes() == before);
    return 0;
}
