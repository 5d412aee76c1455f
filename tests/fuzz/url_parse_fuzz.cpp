// Fuzz target for the URL parsers, resolution and file URL mapping. The
// input is UTF-8: a base URL, a newline and a relative reference. Both are
// parsed strictly and leniently; rendering must be stable under
// re-parsing once settled, packed copies must equal their originals, comparisons must
// be antisymmetric, resolution must succeed, and a file URL must map under
// its directory without any ".." segment. Nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/mem/mem.h"
#include "core/text/charset.h"
#include "core/text/ustr.h"
#include "platform/api/engine.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "tests/support/test_engine.h"

namespace {

TestHeap heap;
bool heapOpen = false;

void require(bool ok)
{
    if (!ok)
        abort();
}

int sign(int v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

// Renders u, parses the text and renders again.
char16_t *rerender(const char16_t *text)
{
    Url *again = Url_new(text);
    require(again != nullptr);
    char16_t *out = Url_toString(again, 31);
    require(out != nullptr);
    Url_free(again);
    return out;
}

void checkUrl(const Url *u)
{
    // Rendering settles after one round: a rendering may read differently
    // once (an opaque "C:\x" is a drive letter path as text), never twice.
    char16_t *text = Url_toString(u, 31);
    require(text != nullptr);
    char16_t *text2 = rerender(text);
    char16_t *text3 = rerender(text2);
    require(Ustr_cmp(text2, text3) == 0);
    Mem_free(text3);
    Mem_free(text2);
    Mem_free(text);

    UrlPacked *p = Url_pack(u);
    Url *back = Url_unpack(p);
    require(back && Url_equals(u, back));
    Url_free(back);
    Url_free(reinterpret_cast<Url *>(p));

    char16_t *user = nullptr, *password = nullptr, *name = nullptr;
    uint16_t port = 0;
    int r = Url_getHostParts(u, &user, &password, &name, &port);
    require(r == 0 || r == 1280);
    Mem_free(user);
    Mem_free(password);
    Mem_free(name);
}

void checkFileMapping(const Url *u)
{
    char16_t *path = nullptr;
    int r = File_urlToPath(nullptr, u, &path);
    if (r == 0) {
        require(path && path[0] == u'/');
        if (Ustr_cmp(u->host, u"localhost") == 0)
            require(Ustr_ncmp(path, u"/d/", 3) == 0);
        for (const char16_t *p = path; *p; p++)
            require(!(p[0] == u'/' && p[1] == u'.' && p[2] == u'.' && (p[3] == u'/' || !p[3])));
    }
    Mem_free(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    if (!heapOpen) {
        require(TestHeap_open(&heap, 8 << 20, 0));
        setenv("OKALA_DIRECTORY", "/d", 1);
        setenv("OKALA_FSROOT", "/h", 1);
        heapOpen = true;
    }
    size_t before = TestHeap_usedBytes();
    const uint8_t *nl = static_cast<const uint8_t *>(memchr(data, '\n', size));
    size_t baseLen = nl ? size_t(nl - data) : size;
    char16_t *base16 = nullptr, *rel16 = nullptr;
    require(Charset_toUstrN(nullptr, data, baseLen, &base16, CharsetCode_utf8) == 0);
    const uint8_t *rel = nl ? nl + 1 : data + size;
    require(Charset_toUstrN(nullptr, rel, size_t(data + size - rel), &rel16, CharsetCode_utf8) ==
            0);

    Url *base = Url_new(base16);
    Url *lenient = Url_newLenient(base16);
    Url *relUrl = Url_new(rel16);
    require(base && lenient && relUrl);
    checkUrl(base);
    checkUrl(lenient);
    checkUrl(relUrl);
    require(sign(Url_compare(base, relUrl, 31)) == -sign(Url_compare(relUrl, base, 31)));

    Url *resolved = Url_resolve(base, relUrl);
    require(resolved != nullptr);
    checkUrl(resolved);
    Url *resolved2 = Url_resolve(lenient, relUrl);
    require(resolved2 != nullptr);
    checkFileMapping(base);
    checkFileMapping(resolved);
    checkFileMapping(resolved2);

    char *utf8 = Url_toUtf8(resolved, 31);
    Url *user = nullptr;
    if (utf8 && Url_newFromUserString(utf8, &user, 1) == 0)
        checkFileMapping(user);
    Url_free(user);
    Mem_free(utf8);

    for (Url *u : {base, lenient, relUrl, resolved, resolved2})
        Url_free(u);
    Mem_free(base16);
    Mem_free(rel16);
    require(TestHeap_usedBytes() == before);
    require(Mem_check() == 0);
    return 0;
}
