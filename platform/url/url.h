// The URL record.
//
// Only the services that modules built before the URL module call are
// declared here so far; the URL module defines the record.
#pragma once

struct Url;

// Frees the URL and everything it holds (null allowed).
void Url_free(Url *url);
