// The cookie store: see cookie.h.
#include "html/web/cookie.h"

#include <algorithm>
#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "html/forms/websupport.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "core/time/date.h"
#include "core/time/httpdate.h"
#include "html/web/redirect.h"
#include "html/web/webfile.h"
#include "platform/url/url.h"

namespace {

// ------------------------------------------------------------ small text

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalsI(const char *a, size_t an, const char *b, size_t bn)
{
    if (an != bn)
        return false;
    for (size_t i = 0; i < an; i++)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool endsWithI(const char *s, size_t sn, const char *tail, size_t tn)
{
    return tn <= sn && equalsI(s + sn - tn, tn, tail, tn);
}

bool startsWithI(const char *s, size_t sn, const char *head, size_t hn)
{
    return hn <= sn && equalsI(s, hn, head, hn);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

size_t len(const char *s)
{
    return s ? strlen(s) : 0;
}

bool sameText(const char *a, const char *b)
{
    return (!a && !b) || (a && b && strcmp(a, b) == 0);
}

// An 8-bit copy (UTF-8) of 16-bit text; null for null or out of memory.
char *narrow(const char16_t *s)
{
    if (!s)
        return nullptr;
    size_t bytes = 0, units = 0;
    Ustr_utf8Len(s, &bytes, &units);
    char *out = static_cast<char *>(Mem_malloc(bytes + 1));
    if (out)
        Ustr_toUtf8(out, s);
    return out;
}

// Appends text to a growing heap string.
struct Text {
    char *p;
    size_t n;
    bool failed;
};

void append(Text *t, const char *s, size_t n)
{
    if (t->failed || !n)
        return;
    char *grown = static_cast<char *>(Mem_realloc(t->p, t->n + n + 1));
    if (!grown) {
        t->failed = true;
        return;
    }
    t->p = grown;
    memcpy(t->p + t->n, s, n);
    t->n += n;
    t->p[t->n] = 0;
}

void append(Text *t, const char *s)
{
    append(t, s, len(s));
}

uint32_t saturate32(int64_t t)
{
    return t <= 0 ? 0 : t >= int64_t(0xFFFFFFFF) ? 0xFFFFFFFFu : uint32_t(t);
}

uint32_t kindOf(const CookieRecord &r)
{
    return (r.flags & Cookie_kindMask) >> Cookie_kindShift;
}

// ------------------------------------------------------------ records

bool isSession(const CookieRecord &r)
{
    return kindOf(r) == Cookie_kindSession;
}

// The record's cookie: the session copy (borrowed) or the stored text
// parsed (owned by the caller). Null when it cannot be read.
Cookie *cookieOf(CookieStore *store, const CookieRecord &r, bool *owned)
{
    *owned = false;
    if (isSession(r))
        return r.session;
    char *text = nullptr;
    size_t length = 0;
    if (CookieFile_readChain(store->file, r.firstBlock, &text, &length) != 0)
        return nullptr;
    Cookie *c = Cookie_parseStored(text, strnlen(text ? text : "", length));
    Mem_free(text);
    *owned = c != nullptr;
    return c;
}

// The stored text of a record (new string), for the same-text test.
char *textOf(CookieStore *store, const CookieRecord &r)
{
    if (isSession(r))
        return Cookie_format(r.session);
    char *text = nullptr;
    size_t length = 0;
    if (CookieFile_readChain(store->file, r.firstBlock, &text, &length) != 0)
        return nullptr;
    return text;
}

void dropRecordData(CookieStore *store, CookieRecord &r)
{
    if (isSession(r))
        Cookie_free(r.session);
    else
        CookieFile_freeChain(store->file, r.firstBlock);
    r.session = nullptr;
    r.firstBlock = -1;
}

void removeRecord(CookieStore *store, uint32_t i)
{
    dropRecordData(store, store->records[i]);
    memmove(store->records + i, store->records + i + 1,
            (store->count - i - 1) * sizeof(CookieRecord));
    store->count--;
}

int writeIndex(EngineContext *ctx, CookieStore *store)
{
    if (!store->indexUrl)
        return Res_ok;
    if (store->count == 0)
        return WebFile_replace(ctx, store->indexUrl, "empty", 5);
    uint8_t *bytes = static_cast<uint8_t *>(Mem_malloc(size_t(store->count) * Cookie_recordSize));
    if (!bytes)
        return Res_noMemory;
    size_t n = 0;
    for (uint32_t i = 0; i < store->count; i++) {
        const CookieRecord &r = store->records[i];
        if (isSession(r))
            continue;
        uint8_t *p = bytes + n;
        Bytes_putU32Le(p, r.flags & ~uint32_t(Cookie_flagTransient));
        Bytes_putU32Le(p + 4, uint32_t(r.firstBlock));
        Bytes_putU32Le(p + 8, r.serverKey);
        Bytes_putU32Le(p + 12, saturate32(r.expiry));
        Bytes_putU32Le(p + 16, saturate32(r.lastUse));
        n += Cookie_recordSize;
    }
    int err = WebFile_replace(ctx, store->indexUrl, bytes, n);
    Mem_free(bytes);
    return err;
}

int writePolicies(EngineContext *ctx, CookieStore *store)
{
    if (!store->policyUrl)
        return Res_ok;
    Text t = {};
    for (CookiePolicy *p = store->policies; p; p = p->next) {
        if (p->policy != CookiePolicy_block && p->policy != CookiePolicy_confirm)
            continue;
        append(&t, p->policy == CookiePolicy_block ? "BLOCK" : "CONFIRM");
        append(&t, " ");
        append(&t, p->pattern);
        append(&t, "\n");
    }
    int err = t.failed ? int(Res_noMemory) : WebFile_replace(ctx, store->policyUrl, t.p, t.n);
    Mem_free(t.p);
    return err;
}

void freePolicies(CookieStore *store)
{
    while (store->policies) {
        CookiePolicy *next = store->policies->next;
        Mem_free(store->policies->pattern);
        Mem_free(store->policies);
        store->policies = next;
    }
}

int addPolicy(CookieStore *store, const char *pattern, size_t n, uint32_t policy)
{
    CookiePolicy **link = &store->policies;
    for (; *link; link = &(*link)->next) {
        if (equalsI((*link)->pattern, strlen((*link)->pattern), pattern, n)) {
            (*link)->policy = policy;
            return Res_ok;
        }
    }
    CookiePolicy *p = static_cast<CookiePolicy *>(Mem_calloc(1, sizeof(CookiePolicy)));
    char *copy = Cstr_ndup(pattern, n);
    if (!p || !copy) {
        Mem_free(p);
        Mem_free(copy);
        return Res_noMemory;
    }
    p->pattern = copy;
    p->policy = policy;
    *link = p;
    return Res_ok;
}

// Reads the policy file in windows of at most 255 bytes (see the format).
void readPolicies(EngineContext *ctx, CookieStore *store)
{
    uint8_t *data = nullptr;
    size_t size = 0;
    if (WebFile_read(ctx, store->policyUrl, &data, &size))
        return;
    const char *text = reinterpret_cast<const char *>(data);
    const size_t window = 255;
    size_t pos = 0;
    while (pos < size) {
        while (pos < size && (text[pos] == '\r' || text[pos] == '\n' || isBlank(text[pos])))
            pos++;
        if (pos >= size)
            break;
        size_t avail = std::min(window, size - pos);
        const char *w = text + pos;
        size_t lineEnd = 0;
        while (lineEnd < avail && w[lineEnd] != '\r' && w[lineEnd] != '\n')
            lineEnd++;
        if (lineEnd == avail && avail == window)
            break; // a line longer than a window ends the reading
        pos += lineEnd;
        if (w[0] == '#')
            continue;
        uint32_t policy = 0;
        size_t word = 0;
        if (avail > 5 && startsWithI(w, lineEnd, "BLOCK", 5)) {
            policy = CookiePolicy_block;
            word = 5;
        } else if (avail > 7 && startsWithI(w, lineEnd, "CONFIRM", 7)) {
            policy = CookiePolicy_confirm;
            word = 7;
        } else {
            continue;
        }
        while (word < lineEnd && isBlank(w[word]))
            word++;
        if (word < lineEnd)
            (void)addPolicy(store, w + word, lineEnd - word, policy);
    }
    Mem_free(data);
}

uint32_t policyFor(const CookieStore *store, const char *domain)
{
    size_t dn = len(domain);
    const CookiePolicy *best = nullptr, *fallback = nullptr;
    size_t bestLength = 0;
    for (const CookiePolicy *p = store->policies; p; p = p->next) {
        size_t pn = strlen(p->pattern);
        if (strcmp(p->pattern, "default") == 0) {
            fallback = p;
            continue;
        }
        if (endsWithI(domain, dn, p->pattern, pn) && (!best || pn > bestLength)) {
            best = p;
            bestLength = pn;
        }
    }
    if (!best)
        best = fallback;
    return best ? best->policy : CookiePolicy_accept;
}

// The index file: no records when it is missing or empty;
// Res_cookieCorruptIndex when it is corrupt (the caller resets the store).
int readIndex(EngineContext *ctx, CookieStore *store)
{
    uint8_t *data = nullptr;
    size_t size = 0;
    int err = WebFile_read(ctx, store->indexUrl, &data, &size);
    if (err == Res_fileCannotOpen)
        return Res_ok;
    if (err == Res_noMemory)
        return err;
    if (err || size % Cookie_recordSize != 0 || (size >= 5 && memcmp(data, "empty", 5) == 0)) {
        Mem_free(data);
        return Res_cookieCorruptIndex;
    }
    uint32_t n = uint32_t(size / Cookie_recordSize);
    for (uint32_t i = 0; i < n; i++) {
        uint32_t flags = Bytes_peekU32Le(data + i * Cookie_recordSize);
        if ((flags & ~0x7Fu) || (flags & Cookie_kindMask)) {
            Mem_free(data);
            return Res_cookieCorruptIndex;
        }
    }
    CookieRecord *records =
        n ? static_cast<CookieRecord *>(Mem_calloc(n, sizeof(CookieRecord))) : nullptr;
    if (n && !records) {
        Mem_free(data);
        return Res_noMemory;
    }
    uint32_t kept = 0;
    for (uint32_t i = 0; i < n; i++) {
        ByteCursor fields = ByteCursor_make(data + i * Cookie_recordSize, Cookie_recordSize, 0);
        CookieRecord r = {};
        r.flags = ByteCursor_u32(&fields) & ~uint32_t(Cookie_flagTransient);
        r.firstBlock = ByteCursor_i32(&fields);
        r.serverKey = ByteCursor_u32(&fields);
        r.expiry = ByteCursor_u32(&fields);
        r.lastUse = ByteCursor_u32(&fields);
        char *text = nullptr;
        size_t length = 0;
        if (CookieFile_readChain(store->file, r.firstBlock, &text, &length) != 0 || length == 0 ||
            text[0] == 0) {
            Mem_free(text);
            continue; // unreadable or empty chain: the record is dropped
        }
        Mem_free(text);
        records[kept++] = r;
    }
    Mem_free(data);
    Mem_free(store->records);
    store->records = records;
    store->count = kept;
    store->capacity = n;
    return Res_ok;
}

// "file://localhost/" + the file's setting, or + the directory and name.
Url *fileUrl(EngineContext *ctx, const char *key, const char16_t *name, const char16_t *dir)
{
    char16_t *own = Config_getUstrA(ctx, ctx->config, u"Paths", key, nullptr);
    const char16_t *parts[3] = {u"file://localhost/", nullptr, nullptr};
    if (own && *own) {
        parts[1] = own;
    } else {
        parts[1] = dir;
        parts[2] = name;
    }
    size_t total = 0;
    for (const char16_t *p : parts)
        total += p ? Ustr_len(p) : 0;
    char16_t *text = static_cast<char16_t *>(Mem_malloc((total + 1) * sizeof(char16_t)));
    Url *url = nullptr;
    if (text) {
        size_t n = 0;
        for (const char16_t *p : parts) {
            size_t k = p ? Ustr_len(p) : 0;
            memcpy(text + n, p, k * sizeof(char16_t));
            n += k;
        }
        text[n] = 0;
        url = Url_new(text);
        Mem_free(text);
    }
    Mem_free(own);
    return url;
}

// The cookie directory: leading '/' or '\' dropped, a '/' added.
char16_t *cookieDirectory(EngineContext *ctx)
{
    char16_t *value = Config_getUstrA(ctx, ctx->config, u"Paths", "Cookies", u"okala_dir/");
    const char16_t *v = value ? value : u"";
    if (*v == '/' || *v == '\\')
        v++;
    size_t n = Ustr_len(v);
    bool slash = n && v[n - 1] == '/';
    char16_t *dir = static_cast<char16_t *>(Mem_malloc((n + 2) * sizeof(char16_t)));
    if (dir) {
        memcpy(dir, v, n * sizeof(char16_t));
        if (!slash)
            dir[n++] = '/';
        dir[n] = 0;
    }
    Mem_free(value);
    return dir;
}

// Deletes the index and data files and makes a fresh data file; the store
// starts without records.
void resetFiles(EngineContext *ctx, CookieStore *store, bool policyToo)
{
    if (policyToo)
        (void)WebFile_remove(ctx, store->policyUrl);
    (void)WebFile_remove(ctx, store->indexUrl);
    (void)WebFile_remove(ctx, store->dataUrl);
    CookieFile_close(store->file);
    store->file = nullptr;
    if (CookieFile_open(ctx, store->dataUrl, CookieFile_payload, &store->file))
        store->enabled = 0;
    for (uint32_t i = 0; i < store->count; i++)
        if (isSession(store->records[i]))
            Cookie_free(store->records[i].session);
    store->count = 0;
}

int askUser(EngineContext *ctx, const Cookie *c)
{
    int32_t answer = 0;
    HostQuestionRecord q{};
    q.kind = UserQuestion_cookie;
    q.words[0] = reinterpret_cast<uintptr_t>(&answer);
    q.words[4] = reinterpret_cast<uintptr_t>(c->name ? c->name : "");
    q.words[5] = reinterpret_cast<uintptr_t>(c->value ? c->value : "");
    q.words[6] = reinterpret_cast<uintptr_t>(c->domain ? c->domain : "");
    return UserQuestion_ask(ctx->eventProc, &q) == Res_ok && answer != 0;
}

char *hostOf(const Url *url)
{
    char16_t *host = nullptr;
    if (Url_getHostParts(url, nullptr, nullptr, &host, nullptr) != Res_ok)
        return nullptr;
    char *h = narrow(host);
    Mem_free(host);
    return h;
}

char *pathOf(const Url *url)
{
    char16_t *path = nullptr;
    if (!Url_getPart(url, UrlPart_path, &path))
        return nullptr;
    char *p = narrow(path);
    Mem_free(path);
    return p;
}

bool hasLetter(const char *s)
{
    for (; *s; s++)
        if ((*s >= 'a' && *s <= 'z') || (*s >= 'A' && *s <= 'Z'))
            return true;
    return false;
}

int64_t parseDecimal(const char *s)
{
    if (!s)
        return 0;
    bool negative = false;
    if (*s == '+' || *s == '-')
        negative = *s++ == '-';
    int64_t v = 0;
    while (*s >= '0' && *s <= '9') {
        if (v < (int64_t(1) << 40))
            v = v * 10 + (*s - '0');
        s++;
    }
    return negative ? -v : v;
}

} // namespace

// ------------------------------------------------------------ parsing

void Cookie_free(Cookie *cookie)
{
    if (!cookie || cookie->borrowed)
        return;
    Mem_free(cookie->name);
    Mem_free(cookie->value);
    Mem_free(cookie->domain);
    Mem_free(cookie->path);
    Mem_free(cookie);
}

Cookie *Cookie_parseSetCookie(const char *text, int64_t now)
{
    if (!text)
        return nullptr;
    size_t n = strlen(text);
    if (startsWithI(text, n, "Set-Cookie2:", 12))
        return nullptr;
    if (startsWithI(text, n, "Set-Cookie:", 11))
        text += 11;
    Cookie *c = static_cast<Cookie *>(Mem_calloc(1, sizeof(Cookie)));
    if (!c)
        return nullptr;
    bool named = false, ok = true;
    const char *item = text;
    while (ok) {
        const char *end = strchr(item, ';');
        if (!end)
            end = item + strlen(item);
        while (item < end && *item == ' ')
            item++;
        const char *eq = static_cast<const char *>(memchr(item, '=', size_t(end - item)));
        const char *nameEnd = eq ? eq : end;
        const char *value = eq ? eq + 1 : end;
        const char *ns = item, *ne = nameEnd, *vs = value, *ve = end;
        while (ns < ne && isBlank(*ns))
            ns++;
        while (ne > ns && isBlank(ne[-1]))
            ne--;
        while (vs < ve && isBlank(*vs))
            vs++;
        while (ve > vs && isBlank(ve[-1]))
            ve--;
        size_t nl = size_t(ne - ns), vl = size_t(ve - vs);
        if (nl == 0 && !eq) {
            // an empty item
        } else if (equalsI(ns, nl, "EXPIRES", 7)) {
            char *v = Cstr_ndup(vs, vl);
            ok = v != nullptr;
            c->expires = v ? HttpDate_parse(v) : 0;
            Mem_free(v);
        } else if (equalsI(ns, nl, "DOMAIN", 6)) {
            if (!c->domain)
                ok = (c->domain = Cstr_ndup(vs, vl)) != nullptr;
        } else if (equalsI(ns, nl, "PATH", 4)) {
            if (!c->path)
                ok = (c->path = Cstr_ndup(vs, vl)) != nullptr;
        } else if (equalsI(ns, nl, "SECURE", 6)) {
            c->secure = 1;
        } else if (equalsI(ns, nl, "COMMENT", 7)) {
        } else if (equalsI(ns, nl, "MAX-AGE", 7)) {
            if (c->expires == 0) {
                char *v = Cstr_ndup(vs, vl);
                ok = v != nullptr;
                c->expires = now + parseDecimal(v);
                Mem_free(v);
            }
        } else if (equalsI(ns, nl, "VERSION", 7)) {
            char *v = Cstr_ndup(vs, vl);
            ok = v && strcmp(v, "1") == 0;
            Mem_free(v);
        } else if (!named) {
            named = true;
            c->name = Cstr_ndup(ns, nl);
            c->value = eq ? Cstr_ndup(vs, vl) : nullptr;
            ok = c->name && (!eq || c->value);
        }
        if (!*end)
            break;
        item = end + 1;
    }
    if (ok && len(c->name) + len(c->value) >= Cookie_maxText)
        ok = false;
    if (!ok) {
        Cookie_free(c);
        return nullptr;
    }
    return c;
}

char *Cookie_format(const Cookie *cookie)
{
    if (!cookie)
        return nullptr;
    Text t = {};
    append(&t, cookie->name);
    append(&t, "=", 1);
    append(&t, cookie->value);
    if (cookie->domain) {
        append(&t, ";Domain=");
        append(&t, cookie->domain);
    }
    if (cookie->path) {
        append(&t, ";Path=");
        append(&t, cookie->path);
    }
    if (t.failed) {
        Mem_free(t.p);
        return nullptr;
    }
    return t.p;
}

Cookie *Cookie_parseStored(const char *text, size_t length)
{
    if (!text)
        return nullptr;
    Cookie *c = static_cast<Cookie *>(Mem_calloc(1, sizeof(Cookie)));
    if (!c)
        return nullptr;
    const char *end = text + length;
    const char *item = text;
    bool first = true, ok = true;
    while (ok && item <= end) {
        const char *semi = static_cast<const char *>(memchr(item, ';', size_t(end - item)));
        const char *ie = semi ? semi : end;
        size_t n = size_t(ie - item);
        if (first) {
            const char *eq = static_cast<const char *>(memchr(item, '=', n));
            const char *ne = eq ? eq : ie;
            c->name = Cstr_ndup(item, size_t(ne - item));
            c->value = eq && eq + 1 < ie ? Cstr_ndup(eq + 1, size_t(ie - eq - 1)) : nullptr;
            ok = c->name && (!(eq && eq + 1 < ie) || c->value);
            first = false;
        } else if (startsWithI(item, n, "Domain=", 7) && !c->domain) {
            ok = (c->domain = Cstr_ndup(item + 7, n - 7)) != nullptr;
        } else if (startsWithI(item, n, "Path=", 5) && !c->path) {
            ok = (c->path = Cstr_ndup(item + 5, n - 5)) != nullptr;
        }
        if (!semi)
            break;
        item = semi + 1;
    }
    if (!ok) {
        Cookie_free(c);
        return nullptr;
    }
    return c;
}

int Cookie_registrableDomain(const char *host, size_t hostLength, size_t *start, size_t *length)
{
    *start = 0;
    *length = 0;
    if (!host || hostLength < 4)
        return 0;
    static const char *const kGeneric[] = {"com",  "edu", "net",  "org",  "gov",    "mil",  "int",
                                           "aero", "biz", "coop", "info", "museum", "name", "pro"};
    int needed = 3;
    for (const char *g : kGeneric)
        if (endsWithI(host, hostLength, g, strlen(g)))
            needed = 2;
    // after[k]: the position after the k-th dot from the end (0 when the
    // host has fewer dots).
    size_t after[4] = {0, 0, 0, 0};
    int dots = 0;
    for (size_t i = hostLength; i-- > 0 && dots < 3;)
        if (host[i] == '.')
            after[++dots] = i + 1;
    int labels = 2;
    if (needed == 3 && dots >= 1) {
        // The second-level label with its dot: "co." keeps three labels.
        size_t sldStart = dots >= 2 ? after[2] : 0;
        size_t sldLength = after[1] - sldStart;
        static const char *const kSecond[] = {"co.",  "org.", "me.", "net.",
                                              "com.", "ac.",  "ne.", "or."};
        if (sldLength == 3 || sldLength == 4)
            for (const char *s : kSecond)
                if (equalsI(host + sldStart, sldLength, s, strlen(s)))
                    labels = 3;
    }
    *start = dots >= labels ? after[labels] : 0;
    *length = hostLength - *start;
    return 1;
}

uint32_t Cookie_serverKey(const char *bytes, size_t length)
{
    uint32_t h = 0;
    for (size_t i = 0; i < length; i++)
        h = h * 31u + uint32_t(int32_t(int8_t(bytes[i])));
    return h;
}

uint32_t Cookie_hostKey(const char *host)
{
    size_t start = 0, n = 0;
    if (!Cookie_registrableDomain(host, len(host), &start, &n))
        return 0;
    return Cookie_serverKey(host + start, n);
}

int Cookie_domainMatches(const char *domain, const char *host)
{
    if (!domain || !host)
        return 0;
    if (*domain == '.')
        domain++;
    size_t dn = strlen(domain), hn = strlen(host);
    if (!endsWithI(host, hn, domain, dn))
        return 0;
    return dn == hn || host[hn - dn - 1] == '.';
}

// ------------------------------------------------------------ the store

int CookieStore_open(EngineContext *context)
{
    if (!context || context->cookies)
        return Res_ok;
    CookieStore *store = static_cast<CookieStore *>(Mem_calloc(1, sizeof(CookieStore)));
    if (!store)
        return Res_noMemory;
    int err = Lock_init(context, &store->lock);
    if (err) {
        Mem_free(store);
        return err;
    }
    context->cookies = store;
    char16_t *dir = cookieDirectory(context);
    if (dir) {
        store->policyUrl = fileUrl(context, "Vexlan_cookiesPoliciesFile", u"cpolicy.dat", dir);
        store->indexUrl = fileUrl(context, "Vexlan_cookiesIndexFile", u"cindex.dat", dir);
        store->dataUrl = fileUrl(context, "Vexlan_cookiesDataFile", u"cdata.dat", dir);
    }
    Mem_free(dir);
    if (!store->policyUrl || !store->indexUrl || !store->dataUrl)
        return Res_ok; // not opened: a disabled store
    store->enabled = 1;
    if (CookieFile_open(context, store->dataUrl, CookieFile_payload, &store->file))
        resetFiles(context, store, true);
    if (!store->enabled)
        return Res_ok;
    err = readIndex(context, store);
    if (err == Res_cookieCorruptIndex) {
        resetFiles(context, store, false);
        store->openStatus = Res_cookieCorruptIndex;
    } else if (err) {
        return err;
    }
    readPolicies(context, store);
    return Res_ok;
}

void CookieStore_close(EngineContext *context)
{
    CookieStore *store = context ? context->cookies : nullptr;
    if (!store)
        return;
    if (store->enabled && store->file)
        (void)writeIndex(context, store);
    for (uint32_t i = 0; i < store->count; i++)
        if (isSession(store->records[i]))
            Cookie_free(store->records[i].session);
    Mem_free(store->records);
    freePolicies(store);
    CookieFile_close(store->file);
    Url_free(store->policyUrl);
    Url_free(store->indexUrl);
    Url_free(store->dataUrl);
    Lock_fini(&store->lock);
    Mem_free(store);
    context->cookies = nullptr;
}

int32_t Cookie_enforceLimits(EngineContext *context, CookieStore *store, uint32_t serverKey,
                             const Cookie *cookie, const char *text, int *same, int64_t *lastUse)
{
    *same = 0;
    int64_t now = Date_now(nullptr);
    bool removed = false;
    for (uint32_t i = 0; i < store->count;) {
        const CookieRecord &r = store->records[i];
        if (r.expiry != 0 && r.expiry <= now) {
            removeRecord(store, i);
            removed = true;
        } else {
            i++;
        }
    }
    if (removed)
        (void)writeIndex(context, store);
    int32_t lruAll = -1, lruDomain = -1, match = -1;
    uint32_t domainCount = 0;
    for (uint32_t i = 0; i < store->count; i++) {
        const CookieRecord &r = store->records[i];
        if (lruAll < 0 || r.lastUse < store->records[lruAll].lastUse)
            lruAll = int32_t(i);
        if (r.serverKey != serverKey)
            continue;
        bool owned;
        Cookie *c = cookieOf(store, r, &owned);
        if (!c)
            continue;
        if (c->domain && cookie->domain && Cstr_icmp(c->domain, cookie->domain) == 0) {
            domainCount++;
            if (lruDomain < 0) {
                lruDomain = int32_t(i);
            } else {
                const CookieRecord &b = store->records[lruDomain];
                if (r.lastUse < b.lastUse || (r.lastUse == b.lastUse && r.expiry < b.expiry))
                    lruDomain = int32_t(i);
            }
            if (match < 0 && c->name && cookie->name && Cstr_icmp(c->name, cookie->name) == 0 &&
                sameText(c->path, cookie->path)) {
                match = int32_t(i);
                char *stored = textOf(store, r);
                *same = stored && text && strcmp(stored, text) == 0;
                Mem_free(stored);
            }
        }
        if (owned)
            Cookie_free(c);
    }
    if (match >= 0)
        return match;
    uint32_t perServer =
        Config_getIntA(context, context->config, nullptr, "Vexlan_maxCookiesPerServer", 20);
    uint32_t overall = Config_getIntA(context, context->config, nullptr, "Vexlan_maxCookies", 300);
    if (lruDomain >= 0 && domainCount >= perServer) {
        int64_t replaced = store->records[lruDomain].lastUse;
        if (*lastUse <= replaced)
            *lastUse = replaced + 1;
        return lruDomain;
    }
    if (lruAll >= 0 && store->count >= overall)
        return lruAll;
    return -1;
}

int Cookie_storeHeader(EngineContext *context, const Url *url, const char *value, int confirm)
{
    CookieStore *store = context ? context->cookies : nullptr;
    if (!store || !url || !value)
        return Res_missingArgument;
    if (!store->enabled)
        return Res_ok;
    char *host = hostOf(url);
    if (!host || !*host) {
        Mem_free(host);
        return Res_cookieNoHost;
    }
    int64_t now = Date_now(nullptr);
    Cookie *c = Cookie_parseSetCookie(value, now);
    int err = Res_ok;
    size_t hn = strlen(host);
    if (!c || !c->name || !*c->name) {
        Cookie_free(c);
        Mem_free(host);
        return Res_ok;
    }
    if (c->domain) {
        const char *d = c->domain;
        size_t dn = strlen(d), s, l;
        bool ok = Cookie_registrableDomain(d, dn, &s, &l) != 0;
        int64_t diff = int64_t(hn) - int64_t(dn);
        if (ok && diff == -1 && d[0] == '.') {
            memmove(c->domain, c->domain + 1, dn);
            dn--;
            diff = 0;
        } else if (ok && diff < 0) {
            ok = false;
        }
        ok = ok && endsWithI(host, hn, c->domain, dn);
        if (ok && diff > 0)
            ok = c->domain[0] == '.' || host[diff - 1] == '.';
        if (!ok)
            err = Res_cookieDomainMismatch;
    } else {
        c->domain = Cstr_dup(host);
        if (!c->domain)
            err = Res_noMemory;
    }
    if (!err && !hasLetter(c->domain) && Cstr_icmp(c->domain, host) != 0) {
        Cookie_free(c);
        Mem_free(host);
        return Res_ok;
    }
    if (!err && c->path && !*c->path) {
        Mem_free(c->path);
        c->path = nullptr;
    }
    if (!err && !c->path) {
        char *path = pathOf(url);
        char *slash = path ? strrchr(path, '/') : nullptr;
        if (slash) {
            slash[1] = 0;
            c->path = path;
        } else {
            Mem_free(path);
        }
    }
    Mem_free(host);
    if (err) {
        Cookie_free(c);
        return err;
    }

    CookieRecord record = {};
    record.flags =
        (c->expires == 0 ? Cookie_kindSession << Cookie_kindShift : 0) | (c->secure ? 1u : 0u);
    record.expiry = c->expires;
    record.serverKey = Cookie_hostKey(c->domain[0] == '.' ? c->domain + 1 : c->domain);
    record.lastUse = now;
    record.firstBlock = -1;

    char *text = Cookie_format(c);
    if (!text) {
        Cookie_free(c);
        return Res_noMemory;
    }
    Lock_acquire(&store->lock);
    uint32_t policy = policyFor(store, c->domain);
    bool keep = policy != CookiePolicy_block;
    int same = 0;
    int32_t replace = -1;
    if (keep)
        replace =
            Cookie_enforceLimits(context, store, record.serverKey, c, text, &same, &record.lastUse);
    if (keep && confirm && policy == CookiePolicy_confirm && !(replace >= 0 && same))
        keep = askUser(context, c) != 0;
    if (keep && replace < 0 && store->count == store->capacity) {
        uint32_t cap = store->capacity ? store->capacity * 2 : 16;
        CookieRecord *grown = static_cast<CookieRecord *>(
            Mem_realloc(store->records, size_t(cap) * sizeof(CookieRecord)));
        if (!grown) {
            keep = false;
            err = Res_noMemory;
        } else {
            store->records = grown;
            store->capacity = cap;
        }
    }
    if (keep && c->expires != 0) {
        record.firstBlock = CookieFile_writeChain(store->file, text, strlen(text) + 1);
        if (record.firstBlock < 0) {
            keep = false;
            err = Res_cookieFailed;
        }
    }
    if (keep) {
        if (c->expires == 0) {
            record.session = c;
            c = nullptr;
        }
        if (replace >= 0) {
            dropRecordData(store, store->records[replace]);
            store->records[replace] = record;
        } else {
            store->records[store->count++] = record;
        }
        (void)writeIndex(context, store);
    }
    Lock_release(&store->lock);
    Mem_free(text);
    Cookie_free(c);
    return err;
}

uint32_t CookieStore_getPolicy(EngineContext *context, const char *host)
{
    CookieStore *store = context ? context->cookies : nullptr;
    if (!store || !host)
        return CookiePolicy_accept;
    Lock_acquire(&store->lock);
    uint32_t policy = policyFor(store, host);
    Lock_release(&store->lock);
    return policy;
}

int CookieStore_setPolicy(EngineContext *context, const char *host, uint32_t policy)
{
    CookieStore *store = context ? context->cookies : nullptr;
    if (!store)
        return Res_missingArgument;
    size_t s, l;
    if (host && !Cookie_registrableDomain(host, strlen(host), &s, &l))
        return Res_cookieNoDomain;
    const char *pattern = host ? host : "default";
    Lock_acquire(&store->lock);
    int err = Res_ok;
    if (policy == CookiePolicy_remove) {
        for (CookiePolicy **link = &store->policies; *link; link = &(*link)->next) {
            if (Cstr_icmp((*link)->pattern, pattern) == 0) {
                CookiePolicy *gone = *link;
                *link = gone->next;
                Mem_free(gone->pattern);
                Mem_free(gone);
                break;
            }
        }
    } else {
        err = addPolicy(store, pattern, strlen(pattern), policy);
    }
    if (!err)
        err = writePolicies(context, store);
    Lock_release(&store->lock);
    return err;
}

int CookieStore_deleteDomain(EngineContext *context, const char *domain)
{
    CookieStore *store = context ? context->cookies : nullptr;
    if (!store)
        return Res_missingArgument;
    Lock_acquire(&store->lock);
    for (uint32_t i = 0; i < store->count;) {
        bool gone = !domain;
        if (domain) {
            bool owned;
            Cookie *c = cookieOf(store, store->records[i], &owned);
            gone = c && c->domain && Cstr_nicmp(c->domain, domain, strlen(c->domain)) == 0;
            if (owned)
                Cookie_free(c);
        }
        if (gone)
            removeRecord(store, i);
        else
            i++;
    }
    int err = writeIndex(context, store);
    Lock_release(&store->lock);
    return err;
}

int Cookie_buildRequestHeader(EngineContext *context, const Url *url, int secure, int confirm,
                              char **out)
{
    *out = nullptr;
    CookieStore *store = context ? context->cookies : nullptr;
    if (!store || !url)
        return Res_missingArgument;
    char *host = hostOf(url);
    if (!host || !*host) {
        Mem_free(host);
        return Res_ok;
    }
    char *path = pathOf(url);
    int64_t now = Date_now(nullptr);
    uint32_t key = Cookie_hostKey(host);
    Text t = {};
    Lock_acquire(&store->lock);
    uint32_t policy = policyFor(store, host);
    if (store->enabled && policy != CookiePolicy_block) {
        uint32_t stored = 0;
        for (uint32_t i = 0; i < store->count; i++) {
            CookieRecord &r = store->records[i];
            uint32_t position = stored;
            if (!isSession(r))
                stored++;
            if (r.serverKey != key || ((r.flags & Cookie_flagSecure) && !secure) ||
                (r.expiry != 0 && r.expiry <= now))
                continue;
            bool owned;
            Cookie *c = cookieOf(store, r, &owned);
            if (!c)
                continue;
            bool send = Cookie_domainMatches(c->domain, host);
            if (send && c->path) {
                if (path && *path)
                    send = startsWithI(path, strlen(path), c->path, strlen(c->path));
                else
                    send = strcmp(c->path, "/") == 0;
            }
            if (send && confirm && policy == CookiePolicy_confirm)
                send = askUser(context, c) != 0;
            if (send) {
                append(&t, c->name);
                append(&t, "=", 1);
                append(&t, c->value);
                append(&t, "; ", 2);
                if (now - r.lastUse > 86400) {
                    r.lastUse = now - 10;
                    if (!isSession(r)) {
                        uint8_t word[4];
                        Bytes_putU32Le(word, saturate32(r.lastUse));
                        (void)WebFile_writeAt(context, store->indexUrl,
                                              uint64_t(position) * Cookie_recordSize + 16, word, 4);
                    }
                }
            }
            if (owned)
                Cookie_free(c);
        }
    }
    Lock_release(&store->lock);
    Mem_free(host);
    Mem_free(path);
    if (t.failed) {
        Mem_free(t.p);
        return Res_noMemory;
    }
    if (t.n >= 2) {
        t.n -= 2;
        t.p[t.n] = 0;
    }
    *out = t.p;
    return Res_ok;
}
