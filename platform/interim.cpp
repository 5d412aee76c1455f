// Interim definitions of platform services whose modules are not built yet.
//
// The URL record here is a stand-in: the URL's text, its class and its
// cached 8-bit form. Resolution only knows absolute texts (with a ":"),
// texts beginning with "/" and plain relative names, which is enough for
// the document model to keep, copy, resolve and compare URLs until the URL
// module replaces it.
#include <cstring>

#include "core/mem/mem.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"
#include "platform/vfs/vfs.h"

struct Url {
    char16_t *text;
    uint32_t cls;
    char *cstr;
};

// Interim: frees the stand-in record.
void Url_free(Url *url)
{
    if (!url)
        return;
    Mem_free(url->text);
    Mem_free(url->cstr);
    Mem_free(url);
}

// Interim: keeps the text as it is.
Url *Url_new(const char16_t *text)
{
    Url *u = static_cast<Url *>(Mem_calloc(1, sizeof(Url)));
    if (!u)
        return nullptr;
    static const char16_t empty[1] = {0};
    u->text = Ustr_dup(text ? text : empty);
    if (!u->text) {
        Mem_free(u);
        return nullptr;
    }
    return u;
}

// Interim: text with ":" is absolute; "/" keeps the base up to its path;
// anything else replaces the base's last segment.
Url *Url_resolve(const Url *base, const Url *rel)
{
    if (!rel)
        return nullptr;
    if (!base || Ustr_chr(rel->text, ':'))
        return Url_copy(rel);
    const char16_t *b = base->text;
    size_t keep = 0;
    if (rel->text[0] == '/') {
        const char16_t *p = Ustr_str(b, u"//");
        p = p ? Ustr_chr(p + 2, '/') : Ustr_chr(b, '/');
        keep = p ? size_t(p - b) : Ustr_len(b);
    } else {
        const char16_t *slash = Ustr_rchr(b, '/');
        keep = slash ? size_t(slash - b) + 1 : 0;
    }
    size_t n = Ustr_len(rel->text);
    char16_t *t = static_cast<char16_t *>(Mem_malloc((keep + n + 1) * sizeof(char16_t)));
    if (!t)
        return nullptr;
    memcpy(t, b, keep * sizeof(char16_t));
    memcpy(t + keep, rel->text, (n + 1) * sizeof(char16_t));
    Url *u = Url_new(t);
    Mem_free(t);
    if (u)
        u->cls = base->cls;
    return u;
}

// Interim: Url_new and Url_resolve.
Url *Url_resolveText(EngineContext *, const char16_t *relText, const Url *base)
{
    Url *rel = Url_new(relText);
    if (!rel)
        return nullptr;
    Url *u = Url_resolve(base, rel);
    Url_free(rel);
    return u;
}

// Interim: copies the text, class and 8-bit form.
Url *Url_copy(const Url *url)
{
    if (!url)
        return nullptr;
    Url *u = Url_new(url->text);
    if (!u)
        return nullptr;
    u->cls = url->cls;
    if (url->cstr) {
        u->cstr = Cstr_dup(url->cstr);
        if (!u->cstr) {
            Url_free(u);
            return nullptr;
        }
    }
    return u;
}

// Interim: the packed form is a plain copy.
UrlPacked *Url_pack(const Url *url)
{
    return reinterpret_cast<UrlPacked *>(Url_copy(url));
}

Url *Url_unpack(const UrlPacked *packed)
{
    return Url_copy(reinterpret_cast<const Url *>(packed));
}

// Interim: only the https scheme matters to the document model yet.
uint32_t Url_getScheme(const Url *url)
{
    if (url && Ustr_nicmpCstr(url->text, "https:", 6) == 0)
        return UrlScheme_https;
    return url && Ustr_chr(url->text, u':') ? 11u : uint32_t(UrlScheme_none);
}

uint32_t Url_getClass(const Url *url)
{
    return url ? url->cls : 1;
}

void Url_setClass(Url *url, uint32_t value)
{
    url->cls = value & 15;
}

// Interim: the whole text whatever the mask.
char16_t *Url_toString(const Url *url, uint32_t)
{
    return url ? Ustr_dup(url->text) : nullptr;
}

// Interim: the text narrowed unit by unit ('?' above Latin-1).
char *Url_toLatin1(const Url *url)
{
    if (!url)
        return nullptr;
    size_t n = Ustr_len(url->text);
    char *s = static_cast<char *>(Mem_malloc(n + 1));
    if (!s)
        return nullptr;
    for (size_t i = 0; i <= n; i++)
        s[i] = url->text[i] < 256 ? char(url->text[i]) : '?';
    return s;
}

const char *Url_getCstr(const Url *url)
{
    return url ? url->cstr : nullptr;
}

void Url_setCstr(Url *url, char *text)
{
    Mem_free(url->cstr);
    url->cstr = text;
}

// Interim: finalises and frees an object from the engine heap.
void Obj_finalizeFree(Obj **obj)
{
    if (!obj || !*obj)
        return;
    if ((*obj)->finalize)
        (*obj)->finalize(*obj);
    Mem_free(*obj);
    *obj = nullptr;
}

// Interim: no stream type answers any information yet.
int Vfs_getInfo(VfsHandle *, uint32_t, void *)
{
    return Vfs_infoUnknown;
}

// Interim: no stream can be opened yet, so there is none to close.
int Vfs_close(VfsHandle *)
{
    return 0;
}

int Vfs_getUrl(VfsHandle *, Url **url)
{
    if (url)
        *url = nullptr;
    return Vfs_infoUnknown;
}

// Interim: every stream-type row's flag word is 0.
uint32_t Vfs_getTypeFlags(EngineContext *, const Url *)
{
    return 0;
}

// Interim: the MIME table is not there yet; every type is unknown.
uint32_t Mime_typeFromString(const char16_t *, size_t)
{
    return 36;
}
