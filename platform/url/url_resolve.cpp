// URL resolution, comparison and rendering.
//
// A relative reference found in a document (a link, an image source, a
// style sheet) is resolved against the document's URL: the base supplies
// what the reference leaves out, paths are merged at the base's last "/"
// and "." and ".." segments are removed, so that a resolved path never
// climbs above its root. Comparison orders URLs part by part, hosts and
// queries without regard to case. Rendering writes the chosen parts back
// to text, and the formatter's 'U' conversion prints a URL that way.
#include "platform/url/url.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/text/fmt.h"
#include "core/text/ustr.h"

namespace {

int sign(int v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

int isEmpty(const char16_t *s)
{
    return !s || !s[0];
}

// A null part sorts before a present one; two null parts are equal.
int compareStrings(const char16_t *a, const char16_t *b, int ignoreCase)
{
    if (!a || !b)
        return a ? 1 : b ? -1 : 0;
    if (ignoreCase)
        return sign(Ustr_nicmp(a, b, SIZE_MAX));
    for (size_t i = 0;; i++) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
        if (!a[i])
            return 0;
    }
}

int compareSchemes(const Url *a, const Url *b)
{
    uint32_t ia = Url_getScheme(a), ib = Url_getScheme(b);
    if (ia != UrlScheme_other && ib != UrlScheme_other)
        return ia > ib ? 1 : ia < ib ? -1 : 0;
    if (ia == UrlScheme_other && ib == UrlScheme_other)
        return compareStrings(a->schemeName, b->schemeName, 1);
    // One side keeps its name: compare it with the other's table name.
    const Url *kept = ia == UrlScheme_other ? a : b;
    const char *table = Url_schemeName(ia == UrlScheme_other ? ib : ia);
    int r;
    if (!table || !kept->schemeName) {
        r = table ? -1 : 1;
    } else {
        r = sign(Ustr_icmpCstr(kept->schemeName, table));
    }
    return ia == UrlScheme_other ? r : -r;
}

size_t renderPart(char16_t *out, size_t at, const char16_t *s)
{
    size_t n = Ustr_len(s);
    if (out && n)
        std::memcpy(out + at, s, n * sizeof(char16_t));
    return at + n;
}

size_t renderAscii(char16_t *out, size_t at, const char *s)
{
    if (!s)
        return at;
    for (; *s; s++, at++) {
        if (out)
            out[at] = static_cast<unsigned char>(*s);
    }
    return at;
}

// Writes the rendering into out (or only measures with out null); returns
// the number of units without the terminator.
size_t render(const Url *url, uint32_t mask, char16_t *out)
{
    size_t at = 0;
    uint32_t id = Url_getScheme(url);
    if ((mask & UrlPart_scheme) && id != UrlScheme_none) {
        if (id == UrlScheme_other)
            at = renderPart(out, at, url->schemeName);
        else
            at = renderAscii(out, at, Url_schemeName(id));
        at = renderAscii(out, at, ":");
    }
    if ((mask & UrlPart_host) && url->host) {
        at = renderAscii(out, at, "//");
        at = renderPart(out, at, url->host);
    }
    if (mask & UrlPart_extraSlashes)
        at = renderAscii(out, at, "//");
    if (mask & UrlPart_path)
        at = renderPart(out, at, url->path);
    if ((mask & UrlPart_query) && url->query) {
        at = renderAscii(out, at, "?");
        at = renderPart(out, at, url->query);
    }
    if ((mask & UrlPart_fragment) && url->fragment) {
        at = renderAscii(out, at, "#");
        at = renderPart(out, at, url->fragment);
    }
    return at;
}

char16_t *dupOrNull(const char16_t *s, int *ok)
{
    if (!s)
        return nullptr;
    char16_t *c = Ustr_dup(s);
    if (!c)
        *ok = 0;
    return c;
}

// base's path cut after its last "/" (an empty path counts as "/"), then rel.
char16_t *mergePaths(const char16_t *basePath, const char16_t *relPath)
{
    if (isEmpty(basePath))
        basePath = u"/";
    const char16_t *slash = Ustr_rchr(basePath, u'/');
    size_t keep = slash ? size_t(slash - basePath) + 1 : 0;
    size_t relLen = Ustr_len(relPath);
    char16_t *out = static_cast<char16_t *>(Mem_malloc((keep + relLen + 1) * sizeof(char16_t)));
    if (!out)
        return nullptr;
    std::memcpy(out, basePath, keep * sizeof(char16_t));
    std::memcpy(out + keep, relPath, (relLen + 1) * sizeof(char16_t));
    return out;
}

// Removes the units [from, to) of s in place.
void cut(char16_t *s, size_t from, size_t to)
{
    size_t len = Ustr_len(s);
    std::memmove(s + from, s + to, (len - to + 1) * sizeof(char16_t));
}

// The nearest "/" before position p at a position after the first unit.
ptrdiff_t slashBefore(const char16_t *s, size_t p)
{
    for (size_t i = p; i-- > 1;) {
        if (s[i] == u'/')
            return ptrdiff_t(i);
    }
    return -1;
}

char *formatUrl(void *arg)
{
    return Url_toLatin1(static_cast<const Url *>(arg));
}

} // namespace

// ----------------------------------------------------------- resolution

void Url_removeDotSegments(char16_t *path)
{
    if (!path)
        return;
    char16_t *hit;
    while ((hit = Ustr_str(path, u"/./")) != nullptr)
        cut(path, size_t(hit - path) + 1, size_t(hit - path) + 3);
    size_t len = Ustr_len(path);
    if (len >= 2 && path[len - 2] == u'/' && path[len - 1] == u'.')
        path[len - 1] = 0;
    while ((hit = Ustr_str(path, u"/../")) != nullptr) {
        size_t p = size_t(hit - path);
        ptrdiff_t s = slashBefore(path, p);
        if (s >= 0)
            cut(path, size_t(s) + 1, p + 4);
        else
            cut(path, 0, p + 3);
    }
    len = Ustr_len(path);
    if (len >= 3 && path[len - 3] == u'/' && path[len - 2] == u'.' && path[len - 1] == u'.') {
        ptrdiff_t s = slashBefore(path, len - 3);
        if (s >= 0) {
            path[s + 1] = 0;
        } else {
            path[0] = u'/';
            path[1] = 0;
        }
    }
}

int Url_mergeInto(const Url *base, const Url *rel, Url *out)
{
    Mem_free(out->host);
    Mem_free(out->path);
    Mem_free(out->query);
    Mem_free(out->fragment);
    out->host = out->path = out->query = out->fragment = nullptr;
    int ok = 1;
    if (!isEmpty(rel->host)) {
        out->host = dupOrNull(rel->host, &ok);
        out->path = dupOrNull(rel->path, &ok);
        out->query = dupOrNull(rel->query, &ok);
        out->fragment = dupOrNull(rel->fragment, &ok);
        return ok ? Res_ok : Res_noMemory;
    }
    out->host = dupOrNull(base->host, &ok);
    if (!isEmpty(rel->path) && rel->path[0] == u'/') {
        out->path = dupOrNull(rel->path, &ok);
        out->query = dupOrNull(rel->query, &ok);
    } else if (!isEmpty(rel->path)) {
        if (!(out->path = mergePaths(base->path, rel->path)))
            ok = 0;
        out->query = dupOrNull(rel->query, &ok);
    } else {
        out->path = dupOrNull(base->path ? base->path : u"", &ok);
        out->query = dupOrNull(rel->query ? rel->query : base->query, &ok);
    }
    Url_removeDotSegments(out->path);
    out->fragment = dupOrNull(rel->fragment, &ok);
    return ok ? Res_ok : Res_noMemory;
}

Url *Url_resolve(const Url *base, const Url *rel)
{
    if (!base || !rel)
        return nullptr;
    if (isEmpty(rel->path) && Url_getScheme(rel) == UrlScheme_none && !rel->host && !rel->query &&
        !rel->fragment)
        return Url_copy(base);
    if (Url_getScheme(rel) != UrlScheme_none && Url_compare(rel, base, UrlPart_scheme) != 0) {
        Url *out = Url_copy(rel);
        if (out && base->handler)
            Url_setHandler(out, base->handler);
        return out;
    }
    Url *out = static_cast<Url *>(Mem_calloc(1, sizeof(Url)));
    if (!out)
        return nullptr;
    uint32_t id = Url_getScheme(base);
    out->flags = (base->flags & (Url_schemeMask | Url_classMask));
    int ok = 1;
    if (id == UrlScheme_other)
        out->schemeName = dupOrNull(base->schemeName, &ok);
    if (id != UrlScheme_none && !Url_schemeIsHierarchical(id)) {
        if (!(out->path = Url_toString(rel, 30)))
            ok = 0;
    } else if (Url_mergeInto(base, rel, out) != Res_ok) {
        ok = 0;
    }
    out->dataType = rel->dataType;
    if (ok && Url_copyDataBytes(out, rel->data, rel->dataLength) != Res_ok)
        ok = 0;
    if (ok && rel->textForm && !(out->textForm = Cstr_dup(rel->textForm)))
        ok = 0;
    if (!ok) {
        Url_free(out);
        return nullptr;
    }
    Url_setHandler(out, base->handler ? base->handler : rel->handler);
    Url_rehash(out);
    return out;
}

// ---------------------------------------------------- compare and render

int Url_compare(const Url *a, const Url *b, uint32_t mask)
{
    int r = 0;
    if (mask & UrlPart_scheme)
        r = compareSchemes(a, b);
    if (!r && (mask & UrlPart_host))
        r = compareStrings(a->host, b->host, 1);
    if (!r && (mask & UrlPart_path))
        r = compareStrings(a->path, b->path, 0);
    if (!r && (mask & UrlPart_query))
        r = compareStrings(a->query, b->query, 1);
    if (!r && (mask & UrlPart_fragment))
        r = compareStrings(a->fragment, b->fragment, 0);
    return r;
}

int Url_equals(const Url *a, const Url *b)
{
    if (!a || !b)
        return a == b;
    return a->hash == b->hash && Url_compare(a, b, 15) == 0;
}

int Url_isPathPrefix(const Url *a, const Url *b)
{
    if (!a || !b || Url_compare(a, b, UrlPart_scheme | UrlPart_host) != 0)
        return 0;
    char16_t *pa = nullptr, *pb = nullptr;
    int r = 0;
    if (Url_getPart(a, UrlPart_path, &pa) && Url_getPart(b, UrlPart_path, &pb)) {
        size_t n = Ustr_len(pa);
        r = n <= Ustr_len(pb) && (n == 0 || std::memcmp(pa, pb, n * sizeof(char16_t)) == 0);
    }
    Mem_free(pa);
    Mem_free(pb);
    return r;
}

char16_t *Url_toString(const Url *url, uint32_t mask)
{
    if (!url)
        return nullptr;
    size_t n = render(url, mask, nullptr);
    char16_t *out = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!out)
        return nullptr;
    render(url, mask, out);
    out[n] = 0;
    return out;
}

char *Url_toUtf8(const Url *url, uint32_t mask)
{
    char16_t *text = Url_toString(url, mask);
    if (!text)
        return nullptr;
    char *out = nullptr;
    if (Charset_fromUstr(nullptr, text, &out, CharsetCode_utf8) != Res_ok)
        out = nullptr;
    Mem_free(text);
    return out;
}

char *Url_toLatin1(const Url *url)
{
    char16_t *text = Url_toString(url, 31);
    if (!text)
        return nullptr;
    char *out = nullptr;
    if (Charset_fromUstr(nullptr, text, &out, CharsetCode_latin1) != Res_ok)
        out = nullptr;
    Mem_free(text);
    return out;
}

int Url_registerFormat()
{
    return Fmt_registerConversion('U', formatUrl) ? 0 : 1;
}

void Url_unregisterFormat()
{
    Fmt_unregisterConversion('U', formatUrl);
}
