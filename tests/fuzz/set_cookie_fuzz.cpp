// Fuzz target for the "Set-Cookie:" parser and the cookie text helpers.
// Input: the header value. A parsed cookie keeps name and value under 4097
// bytes; its stored text parses back to the same name, value, domain and
// path when none of them holds a ';' or '=' of its own. The registrable
// domain of the input lies inside it. Nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/mem/mem.h"
#include "html/web/cookie.h"
#include "tests/support/test_engine.h"

namespace {

TestHeap heap;
bool heapOpen = false;

void require(bool ok)
{
    if (!ok)
        abort();
}

bool same(const char *a, const char *b)
{
    return (!a && !b) || (a && b && strcmp(a, b) == 0) || (!a && b && !*b) || (a && !*a && !b);
}

bool plain(const char *s)
{
    return !s || (!strchr(s, ';') && !strchr(s, '='));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!heapOpen) {
        require(TestHeap_open(&heap, 8 << 20, 0));
        heapOpen = true;
    }
    size_t before = TestHeap_usedBytes();
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.c_str(); // up to the first NUL, as the caller hands it over
    Cookie *c = Cookie_parseSetCookie(text.c_str(), 1000000000);
    if (c) {
        require((c->name ? strlen(c->name) : 0) + (c->value ? strlen(c->value) : 0) < 4097);
        char *stored = Cookie_format(c);
        require(stored != nullptr);
        Cookie *back = Cookie_parseStored(stored, strlen(stored));
        require(back != nullptr);
        if (plain(c->name) && plain(c->value) && plain(c->domain) && plain(c->path) && c->name &&
            *c->name)
            require(same(back->name, c->name) && same(back->value, c->value) &&
                    same(back->domain, c->domain) && same(back->path, c->path));
        Cookie_free(back);
        Mem_free(stored);
        Cookie_free(c);
    }
    size_t start = 0, length = 0;
    if (Cookie_registrableDomain(text.c_str(), text.size(), &start, &length))
        require(start + length == text.size() && length > 0);
    (void)Cookie_hostKey(text.c_str());
    (void)Cookie_domainMatches(text.c_str(), "www.example.com");
    require(TestHeap_usedBytes() == before);
    return 0;
}
