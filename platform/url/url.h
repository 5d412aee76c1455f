// The URL record.
//
// Only the services that modules built before the URL module call are
// declared here so far; the URL module defines the record.
#pragma once

#include <cstdint>

struct Url;

// Parts of a URL, for rendering and comparison masks.
enum : uint32_t {
    Url_partScheme = 1,
    Url_partHost = 2,
    Url_partPath = 4,
    Url_partQuery = 8,
    Url_partFragment = 16,
    Url_allParts = 31,
};

// The URL's parts in mask rendered as a new UTF-8 string (engine heap, the
// caller's), or null on failure.
char *Url_toUtf8(const Url *url, uint32_t mask);

// Frees the URL and everything it holds (null allowed).
void Url_free(Url *url);
