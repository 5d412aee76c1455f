// The packed one-block form of a URL.
//
// Document nodes keep a URL in a single pointer: the whole record, its
// strings, data block and name/value list, packed into one heap block.
// The block begins with a flags word whose top bit no ordinary record has
// (so Url_copy can tell the two apart), saying which parts follow and which
// strings are kept as UTF-8 (chosen when that is the smaller form), then
// the hash and one pointer-sized word per present part pointing into the
// block's own tail. The block is sized by the same walk that fills it, so
// nothing is written outside it.
#include "platform/url/url.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"

namespace {

enum : uint32_t {
    packMark = 0x80000000u,
    hasHandler = 1u << 30,
    hasSchemeName = 1u << 29,
    hasHost = 1u << 28,
    hasPath = 1u << 27,
    hasQuery = 1u << 26,
    hasFragment = 1u << 25,
    hasTextForm = 1u << 24,
    hasDataType = 1u << 23,
    hasData = 1u << 22,
    hasList = 1u << 21,
    // UTF-8 flags of scheme name, host, path, query and fragment.
    utf8SchemeName = 1u << 20,
    flagsMask = 0x1FF,
};

// A writer that only measures while base is null.
struct PackWriter {
    uint8_t *base;
    size_t at;
};

uint8_t *take(PackWriter *w, size_t bytes, size_t align)
{
    w->at = (w->at + align - 1) & ~(align - 1);
    uint8_t *p = w->base ? w->base + w->at : nullptr;
    w->at += bytes;
    return p;
}

void putWord(PackWriter *w, uintptr_t v)
{
    uint8_t *p = take(w, sizeof(uintptr_t), sizeof(uintptr_t));
    if (p)
        std::memcpy(p, &v, sizeof v);
}

int hasLoneSurrogate(const char16_t *s)
{
    for (; *s; s++) {
        if (*s >= 0xD800 && *s <= 0xDBFF) {
            if (s[1] >= 0xDC00 && s[1] <= 0xDFFF)
                s++;
            else
                return 1;
        } else if (*s >= 0xDC00 && *s <= 0xDFFF) {
            return 1;
        }
    }
    return 0;
}

// UTF-8 is chosen when it is smaller and converts back to the same units.
int wantsUtf8(const char16_t *s)
{
    size_t u8 = 0, u16 = 0;
    Ustr_utf8Len(s, &u8, &u16);
    return u8 < u16 && !hasLoneSurrogate(s);
}

// Writes a string body; returns where it went (null while measuring).
const void *putString(PackWriter *w, const char16_t *s, int utf8)
{
    if (utf8) {
        size_t u8 = 0;
        Ustr_utf8Len(s, &u8, nullptr);
        uint8_t *p = take(w, u8, 1);
        if (p)
            Ustr_toUtf8(reinterpret_cast<char *>(p), s);
        return p;
    }
    size_t bytes = (Ustr_len(s) + 1) * sizeof(char16_t);
    uint8_t *p = take(w, bytes, alignof(char16_t));
    if (p)
        std::memcpy(p, s, bytes);
    return p;
}

struct PackParts {
    uint32_t bits;
    const char16_t *strings[5]; // scheme name, host, path, query, fragment
};

PackParts planParts(const Url *url)
{
    PackParts pp = {};
    const char16_t *strings[5] = {url->schemeName, url->host, url->path, url->query, url->fragment};
    if (url->path && !url->path[0])
        strings[2] = nullptr; // an empty path is not stored
    if (url->handler)
        pp.bits |= hasHandler;
    for (int i = 0; i < 5; i++) {
        pp.strings[i] = strings[i];
        if (strings[i]) {
            pp.bits |= hasSchemeName >> i;
            if (wantsUtf8(strings[i]))
                pp.bits |= utf8SchemeName >> i;
        }
    }
    if (url->textForm)
        pp.bits |= hasTextForm;
    if (url->dataType)
        pp.bits |= hasDataType;
    if (url->data && url->dataLength)
        pp.bits |= hasData;
    if (url->nameValues)
        pp.bits |= hasList;
    return pp;
}

// The whole walk: measures with w->base null, fills the block otherwise.
void packWalk(const Url *url, const PackParts &pp, PackWriter *w)
{
    uint32_t head[2] = {packMark | pp.bits | (url->flags & flagsMask), url->hash};
    uint8_t *h = take(w, sizeof head, alignof(uintptr_t));
    if (h)
        std::memcpy(h, head, sizeof head);

    // The part words, in the order of the presence bits.
    size_t words = 0;
    for (uint32_t bit = hasHandler; bit >= hasList; bit >>= 1) {
        if (pp.bits & bit)
            words += bit == hasData ? 2 : 1;
    }
    PackWriter slots = {w->base, w->at};
    take(w, words * sizeof(uintptr_t), alignof(uintptr_t));

    if (pp.bits & hasHandler)
        putWord(&slots, reinterpret_cast<uintptr_t>(url->handler));
    for (int i = 0; i < 5; i++) {
        if (pp.strings[i]) {
            const void *p = putString(w, pp.strings[i], (pp.bits & (utf8SchemeName >> i)) != 0);
            putWord(&slots, reinterpret_cast<uintptr_t>(p));
        }
    }
    if (pp.bits & hasTextForm) {
        uint8_t *p = take(w, std::strlen(url->textForm) + 1, 1);
        if (p)
            std::strcpy(reinterpret_cast<char *>(p), url->textForm);
        putWord(&slots, reinterpret_cast<uintptr_t>(p));
    }
    if (pp.bits & hasDataType)
        putWord(&slots, reinterpret_cast<uintptr_t>(url->dataType)); // not owned: kept as is
    if (pp.bits & hasData) {
        uint8_t *p = take(w, url->dataLength, 1);
        if (p)
            std::memcpy(p, url->data, url->dataLength);
        putWord(&slots, reinterpret_cast<uintptr_t>(p));
        putWord(&slots, url->dataLength);
    }
    if (pp.bits & hasList) {
        UrlNameValue *first = nullptr, *prev = nullptr;
        for (const UrlNameValue *n = url->nameValues; n; n = n->next) {
            UrlNameValue *node = reinterpret_cast<UrlNameValue *>(
                take(w, sizeof(UrlNameValue), alignof(UrlNameValue)));
            const void *name = n->name ? putString(w, n->name, 0) : nullptr;
            if (node) {
                node->name = static_cast<char16_t *>(const_cast<void *>(name));
                node->value = n->value;
                node->next = nullptr;
                if (prev)
                    prev->next = node;
                else
                    first = node;
                prev = node;
            }
        }
        putWord(&slots, reinterpret_cast<uintptr_t>(first));
    }
}

char16_t *unpackString(uintptr_t word, int utf8)
{
    if (!utf8)
        return Ustr_dup(reinterpret_cast<const char16_t *>(word));
    const char *s = reinterpret_cast<const char *>(word);
    char16_t *out = static_cast<char16_t *>(Mem_malloc(Utf8_charCount(s) * sizeof(char16_t)));
    if (out)
        Utf8_toUstr(out, s);
    return out;
}

} // namespace

UrlPacked *Url_pack(const Url *url)
{
    if (!url)
        return nullptr;
    if (url->flags & packMark) { // already packed: its words point into itself
        Url *plain = Url_unpack(reinterpret_cast<const UrlPacked *>(url));
        UrlPacked *out = plain ? Url_pack(plain) : nullptr;
        Url_free(plain);
        return out;
    }
    PackParts pp = planParts(url);
    PackWriter measure = {nullptr, 0};
    packWalk(url, pp, &measure);
    uint8_t *block = static_cast<uint8_t *>(Mem_malloc(measure.at));
    if (!block)
        return nullptr;
    PackWriter fill = {block, 0};
    packWalk(url, pp, &fill);
    return reinterpret_cast<UrlPacked *>(block);
}

Url *Url_unpack(const UrlPacked *packed)
{
    if (!packed)
        return nullptr;
    const uint8_t *block = reinterpret_cast<const uint8_t *>(packed);
    uint32_t head[2];
    std::memcpy(head, block, sizeof head);
    if (!(head[0] & packMark))
        return nullptr;
    Url *url = static_cast<Url *>(Mem_calloc(1, sizeof(Url)));
    if (!url)
        return nullptr;
    url->flags = head[0] & flagsMask;
    const uint8_t *slot = block + sizeof(uintptr_t);
    auto next = [&slot]() {
        uintptr_t v;
        std::memcpy(&v, slot, sizeof v);
        slot += sizeof v;
        return v;
    };
    int ok = 1;
    UrlHandler *handler = (head[0] & hasHandler) ? reinterpret_cast<UrlHandler *>(next()) : nullptr;
    char16_t **strings[5] = {&url->schemeName, &url->host, &url->path, &url->query, &url->fragment};
    for (int i = 0; i < 5; i++) {
        if (head[0] & (hasSchemeName >> i)) {
            if (!(*strings[i] = unpackString(next(), (head[0] & (utf8SchemeName >> i)) != 0)))
                ok = 0;
        }
    }
    if (!url->path && !(url->path = Ustr_dup(u"")))
        ok = 0;
    if (head[0] & hasTextForm) {
        if (!(url->textForm = Cstr_dup(reinterpret_cast<const char *>(next()))))
            ok = 0;
    }
    if (head[0] & hasDataType)
        url->dataType = reinterpret_cast<char *>(next());
    if (head[0] & hasData) {
        const uint8_t *data = reinterpret_cast<const uint8_t *>(next());
        size_t length = static_cast<size_t>(next());
        if (Url_copyDataBytes(url, data, length) != Res_ok)
            ok = 0;
    }
    if (head[0] & hasList) {
        const UrlNameValue *list = reinterpret_cast<const UrlNameValue *>(next());
        if (ok && Url_copyNameValues(&url->nameValues, list) != Res_ok)
            ok = 0;
    }
    if (!ok) {
        Url_free(url);
        return nullptr;
    }
    url->hash = head[1];
    Url_setHandler(url, handler);
    return url;
}
