// The URL record (parsing, resolution, rendering).
//
// Only what the application loop needs is declared so far: rendering a URL
// to UTF-8 text and freeing it. The record itself comes with the URL module.
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

// Frees the URL and all its parts; null is allowed.
void Url_free(Url *url);
