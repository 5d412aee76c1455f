// The URL record.
//
// Only the services that modules built before the URL module call are
// declared here so far; the URL module defines the record.
#pragma once

#include <cstdint>

struct EngineContext;
struct Url;
struct UrlPacked;

enum UrlScheme : uint32_t {
    UrlScheme_none = 0,
    UrlScheme_https = 6,
};

// Frees the URL and everything it holds (null allowed; a packed block too).
void Url_free(Url *url);
// Parses 16-bit text; null when memory runs out.
Url *Url_new(const char16_t *text);
// Parses relText and resolves it against base; null on failure.
Url *Url_resolveText(EngineContext *ctx, const char16_t *relText, const Url *base);
// rel resolved against base (a new URL), or null.
Url *Url_resolve(const Url *base, const Url *rel);
// A deep copy (a packed block is unpacked); null for null or out of memory.
Url *Url_copy(const Url *url);
// The one-block packed form; null for null or out of memory.
UrlPacked *Url_pack(const Url *url);
// A new record from a packed block; null on failure.
Url *Url_unpack(const UrlPacked *packed);
uint32_t Url_getScheme(const Url *url);
uint32_t Url_getClass(const Url *url);
void Url_setClass(Url *url, uint32_t value);
// A new 16-bit rendering of the parts in mask; null when out of memory.
char16_t *Url_toString(const Url *url, uint32_t mask);
// A new Latin-1 rendering (mask 31); null on failure.
char *Url_toLatin1(const Url *url);
// The cached 8-bit text form (lent), and setting it (taken over).
const char *Url_getCstr(const Url *url);
void Url_setCstr(Url *url, char *text);
