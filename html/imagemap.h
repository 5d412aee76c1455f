// Client-side image maps: the maps of a page with their areas, and the
// images that name a map. Tree building collects them; at the end of the
// load each image gets the areas of its map as clickable regions: a child
// group of the image holding the area's outline as a path, with the area's
// link, title and target.
#pragma once

#include <cstddef>
#include <cstdint>

struct Edr_Doc;
struct Edr_Node;
struct Request;
struct Url;

enum : int {
    Html_errBadCoords = 11777, // an area's coordinates do not fit its shape
};

// Shape codes of an area: 1 the whole image ("default"), 2 a rectangle,
// 3 a circle, 4 a polygon. Codes 1 and 4 read their coordinates alike.
enum : uint32_t {
    HtmlShape_default = 1,
    HtmlShape_rect = 2,
    HtmlShape_circle = 3,
    HtmlShape_poly = 4,
};

struct HtmlMapArea {
    uint32_t shape;
    Url *url;         // the link, or null
    char16_t *title;  // null when absent
    char16_t *target; // null when absent
    char16_t *coords; // the coordinate text, or null
    size_t coordsLength;
    HtmlMapArea *next;
};

struct HtmlMap {
    char16_t *name;
    size_t nameLength;
    HtmlMapArea *first, *last;
    HtmlMap *next;
};

struct HtmlMapUse {
    Edr_Node *image; // one reference held
    char16_t *name;  // as written, normally with its leading '#'
    size_t nameLength;
    HtmlMapUse *next;
};

// Appends a new map with a copy of the name to *maps; *out is the map.
// 0; 1 when memory runs out (nothing added).
int Html_mapNew(HtmlMap **maps, const char16_t *name, size_t length, HtmlMap **out);
// Appends a new empty area to map (its shape, coordinates and link come
// from the area's attributes; the shape is a rectangle until they say
// otherwise). 0; 1 when memory runs out.
int Html_mapAddArea(HtmlMap *map);
// Puts a use of the map named name by image (a reference is taken) at the
// head of *uses. 0 or an error.
int Html_mapUseNew(HtmlMapUse **uses, Edr_Doc *doc, Edr_Node *image, const char16_t *name,
                   size_t length);
// The shape code of a shape attribute value (ASCII case ignored); 0 for a
// name that is no shape.
uint32_t Html_mapShapeCode(const char16_t *text, size_t length);
// The numbers of a coordinate list: items split at ',' and white space, an
// item that is no number reads as 0, as does an empty item between two
// commas. *out (Mem_free) and *count; 0 or 1 when memory runs out.
int Html_mapParseCoords(const char16_t *text, size_t length, int32_t **out, uint32_t *count);
// Gives every image of uses the areas of the map it names (the use's name
// without its '#', compared with case, equal lengths): per area a child
// group holding its outline, styled by a rule added to sheet and keyed by
// the next number of *counter. Default areas come first, then rectangles,
// circles and polygons, each in document order. An area whose coordinates
// do not fit its shape is skipped. 0; 1 when memory runs out.
int Html_mapApply(Edr_Doc *doc, HtmlMapUse *uses, HtmlMap *maps, Request *sheet, uint32_t *counter);
// Free the maps with their areas, and the uses with their image references.
void Html_mapListFree(HtmlMap *maps);
void Html_mapUseListFree(Edr_Doc *doc, HtmlMapUse *uses);
