// Client-side image maps: the maps of a page with their areas, and the
// images that name a map. Tree building collects them; at the end of the
// load each image gets the areas of its map as clickable regions.
//
// Only the services that tree building calls are declared here so far.
#pragma once

#include <cstdint>

struct Edr_Doc;
struct HtmlMap;
struct HtmlMapUse;
struct Request;

// Appends a new empty area to map (its shape, coordinates and link come
// from the area's attributes). 0; 1 when memory runs out.
int Html_mapAddArea(HtmlMap *map);
// Gives every image of uses the areas of the map it names, styled by rules
// added to sheet (class numbers from *counter). Always 0.
int Html_mapApply(Edr_Doc *doc, HtmlMapUse *uses, HtmlMap *maps, Request *sheet, uint32_t *counter);
// Free the maps with their areas, and the uses with their image references.
void Html_mapListFree(HtmlMap *maps);
void Html_mapUseListFree(Edr_Doc *doc, HtmlMapUse *uses);
