// The URL record: making, freeing, parsing and part access.
//
// A URL is parsed once into its parts (scheme, host, path, query,
// fragment), each a 16-bit heap string, and kept with a hash that makes
// equality tests cheap. Two parsers share one routine: the strict one for
// URLs that the engine itself writes, and a lenient one for what a user
// types, which guesses the scheme of a bare host. Local paths become file
// URLs through the user-path entry points, which escape the characters
// that would otherwise start a query or fragment.
#include "platform/url/url.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/text/fmt.h"
#include "core/text/ustr.h"

namespace {

struct SchemeRow {
    const char *name;
    int hierarchical;
};

// Row = scheme id; row 0 (no scheme) and id 11 (other) have no name.
constexpr SchemeRow schemeTable[11] = {
    {nullptr, 0}, {"about", 0},      {"cid", 0},    {"file", 1}, {"ftp", 1},      {"http", 1},
    {"https", 1}, {"javascript", 0}, {"mailto", 0}, {"mms", 1},  {"resource", 0},
};

void freeNameValues(UrlNameValue *list)
{
    while (list) {
        UrlNameValue *next = list->next;
        Mem_free(list->name);
        Mem_free(list);
        list = next;
    }
}

void freeLocation(Url *url)
{
    Mem_free(url->schemeName);
    Mem_free(url->host);
    Mem_free(url->path);
    Mem_free(url->query);
    Mem_free(url->fragment);
    url->schemeName = url->host = url->path = url->query = url->fragment = nullptr;
    url->flags &= ~Url_schemeMask;
}

void setSchemeId(Url *url, uint32_t id)
{
    url->flags = (url->flags & ~Url_schemeMask) | ((id << Url_schemeShift) & Url_schemeMask);
}

// A new string of the n units at s (n may be 0).
char16_t *dupRange(const char16_t *s, size_t n)
{
    char16_t *out = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!out)
        return nullptr;
    if (n)
        std::memcpy(out, s, n * sizeof(char16_t));
    out[n] = 0;
    return out;
}

// Index of the first unit of s (from 0) that is one of the ASCII units in
// stops, or the length.
size_t scanTo(const char16_t *s, const char *stops)
{
    size_t i = 0;
    for (; s[i]; i++) {
        if (s[i] < 128 && std::strchr(stops, static_cast<char>(s[i])))
            break;
    }
    return i;
}

int hasSeparatorAt(const char16_t *s)
{
    return s[0] == u'/' || s[0] == u'\\';
}

// The record's parsing steps after the scheme: host, path, query, fragment.
int parseHierarchy(Url *url, const char16_t *rest, int backslash)
{
    int backslashHost = 0;
    if (rest[0] == u'/' && rest[1] == u'/') {
        size_t n = scanTo(rest + 2, "/?#");
        if (!(url->host = dupRange(rest + 2, n)))
            return Res_noMemory;
        rest += 2 + n;
    } else if (backslash && rest[0] == u'\\' && rest[1] == u'\\') {
        size_t n = scanTo(rest + 2, "/?#\\");
        if (!(url->host = dupRange(rest + 2, n)))
            return Res_noMemory;
        rest += 2 + n;
        backslashHost = 1;
    }
    size_t n = scanTo(rest, "?#");
    if (!(url->path = dupRange(rest, n)))
        return Res_noMemory;
    if (backslashHost) {
        for (char16_t *p = url->path; *p; p++) {
            if (*p == u'\\')
                *p = u'/';
        }
    }
    rest += n;
    if (rest[0] == u'?') {
        n = scanTo(rest + 1, "#");
        if (!(url->query = dupRange(rest + 1, n)))
            return Res_noMemory;
        rest += 1 + n;
    }
    if (rest[0] == u'#') {
        if (!(url->fragment = Ustr_dup(rest + 1)))
            return Res_noMemory;
    }
    return Res_ok;
}

int parseSteps(Url *url, const char16_t *text, int opaque, int backslash)
{
    static constexpr char16_t empty[1] = {0};
    if (!text)
        text = empty;
    size_t len = Ustr_len(text);

    // A drive letter ("C:\..." or "C:/..."): a local path on the root host.
    if (len >= 4 && text[1] == u':' && hasSeparatorAt(text + 2)) {
        setSchemeId(url, UrlScheme_file);
        if (!(url->host = dupRange(u"root", 4)))
            return Res_noMemory;
        url->path = static_cast<char16_t *>(Mem_malloc((len + 2) * sizeof(char16_t)));
        if (!url->path)
            return Res_noMemory;
        url->path[0] = u'/';
        std::memcpy(url->path + 1, text, (len + 1) * sizeof(char16_t));
        return Res_ok;
    }

    size_t i = 0;
    while (text[i] && text[i] < 256 && text[i] != u':' && text[i] != u'/' && text[i] != u'?' &&
           text[i] != u'#')
        i++;
    const char16_t *rest = text;
    if (text[i] == u':') {
        char16_t *name = dupRange(text, i);
        if (!name)
            return Res_noMemory;
        uint32_t id = Url_schemeIdFromName(name);
        setSchemeId(url, id);
        if (id == UrlScheme_other)
            url->schemeName = name;
        else
            Mem_free(name);
        rest = text + i + 1;
    }

    uint32_t id = Url_getScheme(url);
    if (opaque && id != UrlScheme_none && !Url_schemeIsHierarchical(id)) {
        if (!(url->path = Ustr_dup(rest)))
            return Res_noMemory;
        return Res_ok;
    }
    return parseHierarchy(url, rest, backslash);
}

// The lenient parser's repairs after a parse with opaque off.
int lenientRepair(Url *url)
{
    uint32_t id = Url_getScheme(url);
    if (id != UrlScheme_none && url->path[0] != u'/' && id != UrlScheme_mailto &&
        id != UrlScheme_about && id != UrlScheme_javascript && !Url_schemeIsHierarchical(id)) {
        // "host:port/path" read the host as a scheme: put it back together.
        const char *table = Url_schemeName(id);
        size_t nameLen = url->schemeName ? Ustr_len(url->schemeName) : std::strlen(table);
        size_t cut = scanTo(url->path, "/");
        char16_t *host =
            static_cast<char16_t *>(Mem_malloc((nameLen + cut + 2) * sizeof(char16_t)));
        char16_t *path = url->path[cut] ? Ustr_dup(url->path + cut) : dupRange(u"/", 1);
        if (!host || !path) {
            Mem_free(host);
            Mem_free(path);
            return Res_noMemory;
        }
        for (size_t k = 0; k < nameLen; k++)
            host[k] = url->schemeName ? url->schemeName[k] : static_cast<char16_t>(table[k]);
        host[nameLen] = u':';
        std::memcpy(host + nameLen + 1, url->path, cut * sizeof(char16_t));
        host[nameLen + 1 + cut] = 0;
        Mem_free(url->host);
        Mem_free(url->path);
        Mem_free(url->schemeName);
        url->schemeName = nullptr;
        url->host = host;
        url->path = path;
        setSchemeId(url, UrlScheme_none);
        id = UrlScheme_none;
    }
    if (id != UrlScheme_none && !Url_schemeIsHierarchical(id))
        return Res_ok;

    if (!url->host && url->path[0] != u'/') {
        size_t cut = scanTo(url->path, "/");
        char16_t *host = dupRange(url->path, cut);
        char16_t *path = url->path[cut] ? Ustr_dup(url->path + cut) : dupRange(u"/", 1);
        if (!host || !path) {
            Mem_free(host);
            Mem_free(path);
            return Res_noMemory;
        }
        Mem_free(url->path);
        url->host = host;
        url->path = path;
    }
    if (id == UrlScheme_none && url->host) {
        const char16_t *h = url->host;
        int ftp = Ustr_len(h) >= 3 && Ustr_nicmpCstr(h, "ftp", 3) == 0;
        id = ftp ? UrlScheme_ftp : UrlScheme_http;
        setSchemeId(url, id);
    }
    if (Url_schemeIsHierarchical(id) && url->path[0] == 0) {
        char16_t *path = dupRange(u"/", 1);
        if (!path)
            return Res_noMemory;
        Mem_free(url->path);
        url->path = path;
    }
    return Res_ok;
}

Url *newParsed(const char16_t *text, int opaque, int backslash, int lenient)
{
    Url *url = static_cast<Url *>(Mem_calloc(1, sizeof(Url)));
    if (!url)
        return nullptr;
    if (Url_parseInto(url, text, opaque, backslash) != Res_ok) {
        Mem_free(url);
        return nullptr;
    }
    if (lenient) {
        if (lenientRepair(url) != Res_ok) {
            Url_free(url);
            return nullptr;
        }
        Url_rehash(url);
    }
    return url;
}

char16_t **partSlot(Url *url, uint32_t part)
{
    switch (part) {
    case UrlPart_host: return &url->host;
    case UrlPart_path: return &url->path;
    case UrlPart_query: return &url->query;
    case UrlPart_fragment: return &url->fragment;
    default: return nullptr;
    }
}

// Starts with prefix, ASCII case ignored.
int hasPrefixNoCase(const char *text, const char *prefix)
{
    return Cstr_nicmp(text, prefix, std::strlen(prefix)) == 0;
}

} // namespace

// ------------------------------------------------------- making and freeing

int Url_parseInto(Url *url, const char16_t *text, int opaque, int backslash)
{
    freeLocation(url);
    if (parseSteps(url, text, opaque, backslash) != Res_ok) {
        Url_clear(url);
        return Res_noMemory;
    }
    Url_rehash(url);
    return Res_ok;
}

Url *Url_new(const char16_t *text)
{
    return newParsed(text, 1, 0, 0);
}

Url *Url_newMarked(const char16_t *text)
{
    Url *url = Url_new(text);
    if (url)
        url->flags |= Url_memoryMark;
    return url;
}

Url *Url_newFromCstr(const char *text)
{
    char16_t *wide = nullptr;
    if (Charset_toUstr(nullptr, text, &wide, CharsetCode_utf8) != Res_ok)
        return nullptr;
    Url *url = Url_new(wide);
    Mem_free(wide);
    return url;
}

Url *Url_newLenient(const char16_t *text)
{
    return newParsed(text, 0, 1, 1);
}

int Url_newFromUserString(const char *text, Url **out, int checkPrefix)
{
    *out = nullptr;
    if (!text)
        text = "";
    int isUrl = checkPrefix && (hasPrefixNoCase(text, "about:") || hasPrefixNoCase(text, "http:") ||
                                hasPrefixNoCase(text, "https:") || hasPrefixNoCase(text, "file:"));
    int escape = !isUrl || hasPrefixNoCase(text, "file:");
    char *joined = nullptr;
    if (!isUrl) {
        size_t size = std::strlen(text) + 18;
        joined = static_cast<char *>(Mem_malloc(size));
        if (!joined)
            return Res_noMemory;
        Fmt_snprintf(joined, size, "%s%s", "file://localhost/", text);
        text = joined;
    }
    char16_t *wide = nullptr;
    int r = Charset_toUstr(nullptr, text, &wide, CharsetCode_utf8);
    Mem_free(joined);
    if (r != Res_ok)
        return r;
    if (escape) {
        char16_t *escaped = Ustr_escapeSet(wide, u"%?#");
        Mem_free(wide);
        if (!escaped)
            return Res_noMemory;
        wide = escaped;
    }
    *out = Url_new(wide);
    Mem_free(wide);
    return *out ? Res_ok : Res_noMemory;
}

int Url_newFromUserUstr(const char16_t *text, Url **out, int checkPrefix)
{
    *out = nullptr;
    char *utf8 = nullptr;
    int r = Charset_fromUstr(nullptr, text ? text : u"", &utf8, CharsetCode_utf8);
    if (r != Res_ok)
        return r;
    r = Url_newFromUserString(utf8, out, checkPrefix);
    Mem_free(utf8);
    return r;
}

Url *Url_resolveText(EngineContext *, const char16_t *relText, const Url *base)
{
    Url *rel = Url_new(relText);
    if (!rel)
        return nullptr;
    Url *out = Url_resolve(base, rel);
    Url_free(rel);
    if (out)
        Url_setClass(out, Url_getClass(base));
    return out;
}

void Url_clear(Url *url)
{
    if (!url)
        return;
    freeLocation(url);
    if (url->handler && url->handler->ops && url->handler->ops->release)
        url->handler->ops->release(url->handler);
    Mem_free(url->textForm);
    Mem_free(url->data);
    freeNameValues(url->nameValues);
    std::memset(url, 0, sizeof(Url));
}

void Url_free(Url *url)
{
    if (!url)
        return;
    if (url->flags & 0x80000000u) { // a packed block is one heap block
        Mem_free(url);
        return;
    }
    Url_clear(url);
    Mem_free(url);
}

void Url_rehash(Url *url)
{
    uint32_t h = Url_getScheme(url);
    const char16_t *parts[3] = {url->host, url->path, url->query};
    for (const char16_t *p : parts) {
        for (; p && *p; p++)
            h += *p;
    }
    url->hash = h;
}

// ------------------------------------------------------------------- parts

uint32_t Url_getScheme(const Url *url)
{
    return url ? (url->flags & Url_schemeMask) >> Url_schemeShift : 0;
}

uint32_t Url_schemeIdFromName(const char16_t *name)
{
    if (!name)
        return UrlScheme_none;
    for (uint32_t id = 1; id <= UrlScheme_resource; id++) {
        if (Ustr_icmpCstr(name, schemeTable[id].name) == 0)
            return id;
    }
    return UrlScheme_other;
}

const char *Url_schemeName(uint32_t id)
{
    return id >= 1 && id <= UrlScheme_resource ? schemeTable[id].name : nullptr;
}

int Url_schemeIsHierarchical(uint32_t id)
{
    return id >= 1 && id <= UrlScheme_resource ? schemeTable[id].hierarchical : 0;
}

int Url_getPart(const Url *url, uint32_t part, char16_t **out)
{
    *out = nullptr;
    if (!url)
        return 0;
    if (part == UrlPart_scheme) {
        uint32_t id = Url_getScheme(url);
        if (id == UrlScheme_none)
            return 1;
        if (id == UrlScheme_other) {
            if (!url->schemeName)
                return 1;
            *out = Ustr_dup(url->schemeName);
        } else {
            *out = Ustr_fromCstr(Url_schemeName(id));
        }
        return *out ? 1 : 0;
    }
    char16_t **slot = partSlot(const_cast<Url *>(url), part);
    if (!slot)
        return 0;
    if (!*slot)
        return 1;
    *out = Ustr_dup(*slot);
    if (!*out)
        return 0;
    if (part == UrlPart_path && Url_getScheme(url) == UrlScheme_file)
        Ustr_unescapeInPlace(*out);
    return 1;
}

int Url_setPart(Url *url, uint32_t part, const char16_t *text)
{
    if (!url)
        return 0;
    char16_t *copy = nullptr;
    if (text && !(copy = Ustr_dup(text)))
        return 0;
    if (part == UrlPart_scheme) {
        uint32_t id = Url_schemeIdFromName(copy);
        Mem_free(url->schemeName);
        url->schemeName = nullptr;
        if (id == UrlScheme_other)
            url->schemeName = copy;
        else
            Mem_free(copy);
        setSchemeId(url, id);
        Url_rehash(url);
        return 1;
    }
    char16_t **slot = partSlot(url, part);
    if (!slot) {
        Mem_free(copy);
        return 0;
    }
    Mem_free(*slot);
    *slot = copy;
    Url_rehash(url);
    return 1;
}

uint32_t Url_getPartsMask(const Url *url)
{
    if (!url)
        return 0;
    uint32_t mask = 0;
    if (Url_getScheme(url) != UrlScheme_none)
        mask |= UrlPart_scheme;
    if (url->host && (url->host[0] || Url_getScheme(url) == UrlScheme_file))
        mask |= UrlPart_host;
    if (url->path && url->path[0])
        mask |= UrlPart_path;
    if (url->query && url->query[0])
        mask |= UrlPart_query;
    if (url->fragment && url->fragment[0])
        mask |= UrlPart_fragment;
    if (url->data && url->dataLength)
        mask |= UrlPart_data;
    return mask;
}

uint32_t Url_getClass(const Url *url)
{
    return url ? url->flags & Url_classMask : 1;
}

void Url_setClass(Url *url, uint32_t value)
{
    if (url)
        url->flags = (url->flags & ~Url_classMask) | (value & Url_classMask);
}

uint32_t Url_getFlag16(const Url *url)
{
    return url ? url->flags & Url_memoryMark : 0;
}

void Url_setFlag16(Url *url, uint32_t value)
{
    if (url)
        url->flags = (url->flags & ~Url_memoryMark) | (value & Url_memoryMark);
}

UrlHandler *Url_getHandler(const Url *url)
{
    return url ? url->handler : nullptr;
}

void Url_setHandler(Url *url, UrlHandler *handler)
{
    if (!url || url->handler == handler)
        return;
    if (handler && handler->ops && handler->ops->retain)
        handler->ops->retain(handler);
    if (url->handler && url->handler->ops && url->handler->ops->release)
        url->handler->ops->release(url->handler);
    url->handler = handler;
}

const char *Url_getCstr(const Url *url)
{
    return url ? url->textForm : nullptr;
}

void Url_setCstr(Url *url, char *text)
{
    if (!url)
        return;
    if (url->textForm != text)
        Mem_free(url->textForm);
    url->textForm = text;
}

int Url_copyCstr(Url *dst, const Url *src)
{
    if (!dst || !src)
        return Res_missingArgument;
    char *copy = nullptr;
    if (src->textForm && !(copy = Cstr_dup(src->textForm)))
        return Res_noMemory;
    Url_setCstr(dst, copy);
    return Res_ok;
}

int Url_storeTextForm(EngineContext *context, Url *dst, const Url *src)
{
    if (!dst || !src)
        return Res_missingArgument;
    char16_t *text = Url_toString(src, 31);
    if (!text)
        return Res_noMemory;
    char *latin = nullptr;
    int r = Charset_fromUstr(context, text, &latin, CharsetCode_latin1);
    Mem_free(text);
    if (r != Res_ok)
        return r;
    Url_setCstr(dst, latin);
    return Res_ok;
}

void Url_getDataPart(EngineContext *, const Url *url, const char **type, const uint8_t **data,
                     size_t *length)
{
    if (type)
        *type = url ? url->dataType : nullptr;
    if (data)
        *data = url ? url->data : nullptr;
    if (length)
        *length = url ? url->dataLength : 0;
}

const char Url_requestDataType[] = "request";

int Url_setRequestData(Url *url, char *header, uint8_t *body, size_t bodyLength)
{
    size_t h = header ? std::strlen(header) : 0;
    size_t b = body ? bodyLength : 0;
    uint8_t *data = url && h + b ? static_cast<uint8_t *>(Mem_malloc(h + b)) : nullptr;
    int err = url && h + b && !data ? int(Res_noMemory) : int(Res_ok);
    if (data) {
        if (h)
            std::memcpy(data, header, h);
        if (b)
            std::memcpy(data + h, body, b);
    }
    Mem_free(header);
    Mem_free(body);
    if (url)
        Url_setDataPart(nullptr, url, data ? Url_requestDataType : nullptr, data, h + b);
    return err;
}

void Url_setDataPart(EngineContext *, Url *url, const char *type, uint8_t *data, size_t length)
{
    if (!url) {
        Mem_free(data);
        return;
    }
    if (url->data != data)
        Mem_free(url->data);
    url->dataType = const_cast<char *>(type);
    if (length == 0) {
        Mem_free(data);
        data = nullptr;
    }
    url->data = data;
    url->dataLength = data ? length : 0;
}

int Url_copyDataBytes(Url *url, const uint8_t *data, size_t length)
{
    if (!data || !length)
        return Res_ok;
    url->data = static_cast<uint8_t *>(Mem_malloc(length));
    if (!url->data)
        return Res_noMemory;
    std::memcpy(url->data, data, length);
    url->dataLength = length;
    return Res_ok;
}

int Url_copyNameValues(UrlNameValue **out, const UrlNameValue *list)
{
    *out = nullptr;
    UrlNameValue **tail = out;
    for (const UrlNameValue *n = list; n; n = n->next) {
        UrlNameValue *c = static_cast<UrlNameValue *>(Mem_calloc(1, sizeof(UrlNameValue)));
        if (!c)
            return Res_noMemory;
        *tail = c;
        tail = &c->next;
        c->value = n->value;
        if (n->name && !(c->name = Ustr_dup(n->name)))
            return Res_noMemory;
    }
    return Res_ok;
}

UrlNameValue *Url_getNameValues(const Url *url)
{
    return url ? url->nameValues : nullptr;
}

void Url_setNameValues(Url *url, UrlNameValue *list)
{
    if (!url)
        return;
    if (url->nameValues != list)
        freeNameValues(url->nameValues);
    url->nameValues = list;
}

int Url_assignLocation(Url *dst, const Url *src)
{
    freeLocation(dst);
    setSchemeId(dst, Url_getScheme(src));
    int r = Res_ok;
    char16_t *const *from[5] = {&src->schemeName, &src->host, &src->path, &src->query,
                                &src->fragment};
    char16_t **to[5] = {&dst->schemeName, &dst->host, &dst->path, &dst->query, &dst->fragment};
    for (int i = 0; i < 5; i++) {
        if (*from[i] && !(*to[i] = Ustr_dup(*from[i]))) {
            r = Res_noMemory;
            break;
        }
    }
    Url_rehash(dst);
    return r;
}

// ------------------------------------------------------------- copying

Url *Url_copy(const Url *url)
{
    if (!url)
        return nullptr;
    if (url->flags & 0x80000000u)
        return Url_unpack(reinterpret_cast<const UrlPacked *>(url));
    Url *out = static_cast<Url *>(Mem_calloc(1, sizeof(Url)));
    if (!out)
        return nullptr;
    out->flags = url->flags;
    out->hash = url->hash;
    out->dataType = url->dataType;
    int ok = Url_assignLocation(out, url) == Res_ok;
    out->hash = url->hash;
    if (ok && url->textForm && !(out->textForm = Cstr_dup(url->textForm)))
        ok = 0;
    if (ok && Url_copyDataBytes(out, url->data, url->dataLength) != Res_ok)
        ok = 0;
    if (ok && Url_copyNameValues(&out->nameValues, url->nameValues) != Res_ok)
        ok = 0;
    if (!ok) {
        Url_free(out);
        return nullptr;
    }
    Url_setHandler(out, url->handler);
    return out;
}
