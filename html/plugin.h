// Embedded objects (object, applet and embed elements) of a page: each
// element opens a plug-in object, its param children and attributes fill
// it, and its end closes it. The objects form a tree that mirrors their
// nesting (an object's content is its fallback); when the outermost one
// closes, every object the engine can show (an image, a document, or a
// movie known by its class id, MIME type or file extension) sizes its
// element, gets its content node, and loses its fallback content.
#pragma once

#include <cstddef>
#include <cstdint>

struct Edr_Doc;
struct Edr_Node;
struct EngineContext;
struct HtmlParser;
struct PluginState;
struct Url;

// Kinds of a param element, by its name.
enum : uint32_t {
    PluginParam_src = 0,
    PluginParam_movie = 1,
    PluginParam_loop = 2,
    PluginParam_wmode = 3,
    PluginParam_bgcolor = 4,
    PluginParam_flashvars = 5,
    PluginParam_other = 6,
};

// Type codes of an object (ids of the extension and MIME table).
enum : uint32_t {
    PluginType_none = 0,
    PluginType_bmp = 4,
    PluginType_word = 6,
    PluginType_movie = 9,
    PluginType_gif = 10,
    PluginType_html = 11,
    PluginType_jpeg = 16,
    PluginType_pdf = 22,
    PluginType_png = 23,
    PluginType_text = 25,
    PluginType_unknown = 36,
};

struct PluginParam {
    uint32_t kind;
    char16_t *value; // owned
    PluginParam *next;
};

struct PluginObject {
    Edr_Node *node; // the element (a counted reference), or null
    Edr_Doc *doc;
    int32_t width;
    uint32_t widthUnit; // 0: not given
    int32_t height;
    uint32_t heightUnit;
    Url *classId; // owned, or null
    uint32_t mimeType;
    Url *data;           // the resolved data URL (owned), or null
    uint32_t type;       // PluginType_*
    uint32_t ownContent; // the object shows its own content (declared only)
    PluginParam *params; // in document order
    PluginParam *lastParam;
    // The tree of open and finished objects.
    PluginObject *parent;
    PluginObject *firstChild;
    PluginObject *lastChild;
    PluginObject *next;
};

// Opens a plug-in object under the current one (or as the root), creating
// the parser's state the first time. 0; 1 when memory runs out.
[[nodiscard]] int Plugin_begin(HtmlParser *p);
// Closes the current object; closing the root embeds the whole tree and
// frees it. Nothing when no object is open. 0, or the first error of the
// embedding (1 when memory runs out, Res_stopRequested when stopped).
[[nodiscard]] int Plugin_end(EngineContext *context, HtmlParser *p);
// Frees the state and every object still in it (null allowed).
void Plugin_free(PluginState *state);

// The object open now, or null.
PluginObject *Plugin_current(PluginState *state);

// Setters of the current object (nothing when none is open). The node
// gets a reference; URLs are taken over (freed when no object is open).
[[nodiscard]] int Plugin_setNode(PluginState *state, Edr_Doc *doc, Edr_Node *node);
void Plugin_setData(PluginState *state, Url *url);
void Plugin_setClassId(PluginState *state, Url *url);
// A MIME type given as text: its type code.
void Plugin_setMimeType(PluginState *state, const char16_t *text, size_t length);
// A width or height (16.16) with its unit code (2 for inches): below one
// pixel but from 512 it counts as one pixel (682).
void Plugin_setWidth(PluginState *state, int32_t value, uint32_t unit);
void Plugin_setHeight(PluginState *state, int32_t value, uint32_t unit);
void Plugin_setOwnContent(PluginState *state, uint32_t flag);
// A param of the current object: names by their own length, ignoring case
// ("movie", "src", "loop", "wmode", "bgcolor", "flashvars"); other names
// are ignored. 0; 1 when the value cannot be copied (the param is dropped).
[[nodiscard]] int Plugin_addParam(PluginState *state, const char16_t *name, size_t nameLength,
                                  const char16_t *value, size_t valueLength);

// The type an object takes: its own, else its data URL's file extension,
// else the movie type for the movie class id; none or unknown shows the
// fallback.
uint32_t Plugin_decideType(const PluginObject *object);
