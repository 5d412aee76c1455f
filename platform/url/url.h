// The URL record.
//
// Every resource the engine touches (documents, images, style sheets,
// built-in files, memory files) is named by a Url. This module owns the
// record, its parser for 16-bit text (a strict form for URLs the engine
// makes and a lenient one for addresses a user types), resolution of a
// relative reference against a base with dot-segment removal, comparison,
// part access, rendering back to text, a packed one-block form that fits
// in one pointer, and the user-path entry points that turn a local path
// into a file URL. The file driver (platform/url/file.h) maps file URLs to
// local paths.
//
// All strings of the record are 16-bit and NUL-terminated unless said
// otherwise, and all memory comes from the engine heap. Parsing never fails
// on content: any text yields a URL; only running out of memory fails.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;

// Scheme ids (bits 5-8 of the flags word). Names compare case-insensitively.
enum UrlScheme : uint32_t {
    UrlScheme_none = 0,
    UrlScheme_about = 1,
    UrlScheme_cid = 2,
    UrlScheme_file = 3,  // hierarchical
    UrlScheme_ftp = 4,   // hierarchical
    UrlScheme_http = 5,  // hierarchical
    UrlScheme_https = 6, // hierarchical
    UrlScheme_javascript = 7,
    UrlScheme_mailto = 8,
    UrlScheme_mms = 9, // hierarchical
    UrlScheme_resource = 10,
    UrlScheme_other = 11, // any other name, kept in the record
};

// Part masks, used by rendering, comparison, part access and the parts mask.
enum UrlPart : uint32_t {
    UrlPart_scheme = 1,
    UrlPart_host = 2,
    UrlPart_path = 4,
    UrlPart_query = 8,
    UrlPart_fragment = 16,
    UrlPart_all = 31, // scheme, host, path, query and fragment
    UrlPart_data = 32,
    UrlPart_extraSlashes = 64, // an extra "//" written after the host position
};

// Bits of the flags word.
enum : uint32_t {
    Url_classMask = 0x0F,  // a 4-bit class that callers attach
    Url_memoryMark = 0x10, // may name a "RAM:" memory file
    Url_schemeShift = 5,
    Url_schemeMask = 0x1E0,
};

struct UrlHandler;

// The operations of a handler object: slot 0 retains, slot 1 releases.
struct UrlHandlerOps {
    void (*retain)(UrlHandler *handler);
    void (*release)(UrlHandler *handler);
};

// A reference-counted object shared with the stream layer. Records that
// stand for a stream type begin with this one; its third word is the
// stream type it stands for.
struct UrlHandler {
    const UrlHandlerOps *ops;
    void *owner;
    uint32_t streamType;
};

// One node of a URL's name/value list; the URL owns the nodes and names.
struct UrlNameValue {
    char16_t *name;
    uint32_t value;
    UrlNameValue *next;
};

// A parsed URL. A freshly made record is all zero.
struct Url {
    uint32_t flags;           // class, memory mark, scheme id
    uint32_t hash;            // sum of the units of host, path and query, plus the scheme id
    UrlHandler *handler;      // retained; may be null
    char16_t *schemeName;     // kept only for UrlScheme_other
    char16_t *host;           // without the leading "//"; may be empty (not null)
    char16_t *path;           // never null after a parse
    char16_t *query;          // after "?", without it
    char16_t *fragment;       // after "#", without it
    char *textForm;           // cached 8-bit rendering, or null
    char *dataType;           // attached data part: its type (8-bit),
    uint8_t *data;            // its bytes (owned)
    size_t dataLength;        // and their number
    UrlNameValue *nameValues; // owned list, or null
};

// The packed one-block form (Url_pack). Opaque: only Url_copy, Url_unpack
// and Url_free read it; it is freed with Url_free or Mem_free.
struct UrlPacked;

// ------------------------------------------------------- making and freeing

// Parses 16-bit text with the opaque option on and the backslash option off;
// null text gives a URL with an empty path. The new record, or null when
// memory runs out.
Url *Url_new(const char16_t *text);
// As Url_new, then sets the memory-file mark.
Url *Url_newMarked(const char16_t *text);
// UTF-8 text converted to 16-bit and parsed as Url_new; null on failure.
Url *Url_newFromCstr(const char *text);
// The parser for addresses typed or handed over by the user: opaque option
// off, backslash option on, then the repairs (a host with a port read as a
// scheme, a bare host, a missing scheme guessed as http or ftp, an empty
// hierarchical path made "/"). Null when memory runs out.
Url *Url_newLenient(const char16_t *text);

// A local path or a full address (UTF-8) as a URL. With checkPrefix, text
// that begins (ignoring case) with "about:", "http:", "https:" or "file:"
// is taken as a URL; anything else becomes "file://localhost/" + text. In
// the local-path and "file:" forms "%", "?" and "#" are escaped so that
// they survive as part of the file name. 0 with *out the new URL; 1 out of
// memory; the conversion's error. *out is null on failure.
[[nodiscard]] int Url_newFromUserString(const char *text, Url **out, int checkPrefix);
// The same for 16-bit text (converted to UTF-8 first).
[[nodiscard]] int Url_newFromUserUstr(const char16_t *text, Url **out, int checkPrefix);

// Parses relText and resolves it against base; the result takes the class
// of base. context is not read. Null on failure.
Url *Url_resolveText(EngineContext *context, const char16_t *relText, const Url *base);

// A deep copy: strings, data block and list copied, the handler retained,
// class, mark and hash kept. A packed block (cast to Url *) is unpacked
// instead. Null for null or when memory runs out.
Url *Url_copy(const Url *url);
// The packed form of url in one heap block (the handler is stored without
// being retained). Null for null or when memory runs out.
UrlPacked *Url_pack(const Url *url);
// A new record from a packed block (the handler retained); null on failure.
Url *Url_unpack(const UrlPacked *packed);

// Frees every part, releases the handler and frees the record. Null is
// allowed; a packed block is freed as one block.
void Url_free(Url *url);
// As Url_free but keeps the record, all zero.
void Url_clear(Url *url);

// Parses text into url (its location parts are replaced; null text gives an
// empty path). 0, or 1 when memory ran out: the record is then cleared.
[[nodiscard]] int Url_parseInto(Url *url, const char16_t *text, int opaque, int backslash);
// Recomputes the hash after a part changed.
void Url_rehash(Url *url);

// ------------------------------------------------------------------- parts

// The scheme id 0-11 (0 for null).
uint32_t Url_getScheme(const Url *url);
// 1-10 from the table, 11 for any other name, 0 for null.
uint32_t Url_schemeIdFromName(const char16_t *name);
// The table's lower-case name for ids 1-10, else null. Static text.
const char *Url_schemeName(uint32_t id);
// The table's hierarchical flag for ids 1-10; 0 for 0, 11 and above.
int Url_schemeIsHierarchical(uint32_t id);

// A new copy of one part into *out (cleared first): 1 the scheme name, 2
// host, 4 path, 8 query, 16 fragment. A file URL's path comes back with its
// percent escapes decoded ("%00" and malformed escapes stay). Returns 1 on
// success (*out null when the part is absent); 0 for another part code or
// when memory runs out.
int Url_getPart(const Url *url, uint32_t part, char16_t **out);
// Replaces one part by a copy of text (null clears it) and rehashes; part 1
// also sets the scheme id from the name. Returns 1, or 0 for another part
// code or when memory runs out (nothing changes then).
int Url_setPart(Url *url, uint32_t part, const char16_t *text);
// 1 scheme set; 2 host non-empty, or present in a file URL; 4, 8, 16 path,
// query, fragment non-empty; 32 data pointer and length both non-zero.
uint32_t Url_getPartsMask(const Url *url);

// The class (low 4 bits; 1 for a null URL) and the memory-file mark (0x10).
uint32_t Url_getClass(const Url *url);
void Url_setClass(Url *url, uint32_t value);
uint32_t Url_getFlag16(const Url *url);
void Url_setFlag16(Url *url, uint32_t value);

// The handler (lent). Setting releases the old one and retains the new one.
UrlHandler *Url_getHandler(const Url *url);
void Url_setHandler(Url *url, UrlHandler *handler);

// The cached 8-bit text form (lent), or null.
const char *Url_getCstr(const Url *url);
// Stores text as the text form, taking ownership and freeing the old one.
void Url_setCstr(Url *url, char *text);
// Copies src's text form to dst: 0; Res_missingArgument when either is null; 1
// out of memory.
[[nodiscard]] int Url_copyCstr(Url *dst, const Url *src);
// Renders src with mask 31, converts it to Latin-1 and stores it as dst's
// text form. 0; Res_missingArgument for null arguments; 1 out of memory.
[[nodiscard]] int Url_storeTextForm(EngineContext *context, Url *dst, const Url *src);

// The attached data part (lent): type, bytes and length; any out pointer
// may be null. context is not read.
void Url_getDataPart(EngineContext *context, const Url *url, const char **type,
                     const uint8_t **data, size_t *length);
// Stores type as it is (the URL does not own it) and takes ownership of
// data (a heap block); length 0 frees data at once and stores null; null
// data stores length 0. The old block is freed.
void Url_setDataPart(EngineContext *context, Url *url, const char *type, uint8_t *data,
                     size_t length);

// The request data of a form submission, kept as the URL's data part of
// type Url_requestDataType: the header text (one line ending in CR LF)
// followed by the body; a body is only sent with a header. Takes header (NUL-terminated, may be
// null) and body (bodyLength bytes, may be null) over in every case. 0, or 1 when memory runs out
// (the URL then has no request data).
extern const char Url_requestDataType[];
[[nodiscard]] int Url_setRequestData(Url *url, char *header, uint8_t *body, size_t bodyLength);

// Copies length bytes of data into a new block owned by url (data part
// bytes; the type is left alone). Nothing for null data or length 0. 0, or
// 1 when memory runs out (url's data stays null).
[[nodiscard]] int Url_copyDataBytes(Url *url, const uint8_t *data, size_t length);

// A deep copy of a name/value list into *out (null for an empty list). 0,
// or 1 when memory runs out: *out then holds what was copied, which the
// caller frees with its URL (Url_setNameValues or Url_free).
[[nodiscard]] int Url_copyNameValues(UrlNameValue **out, const UrlNameValue *list);

// The name/value list (lent; null for a null URL). Setting frees the old
// list and takes ownership of the new one.
UrlNameValue *Url_getNameValues(const Url *url);
void Url_setNameValues(Url *url, UrlNameValue *list);

// Replaces dst's scheme, host, path, query and fragment by copies of src's
// and rehashes. 0, or 1 when a copy failed (the parts copied so far stay).
[[nodiscard]] int Url_assignLocation(Url *dst, const Url *src);

// The host read as user ":" password "@" host name ":" port (user part and
// port optional; a host name in brackets runs to its "]"). Each out pointer
// is optional and gets a new copy or null. A missing or empty port gives 0.
// 0; 1 out of memory; Res_urlBadPort when the port is not a decimal
// number from 1 to 65535. A URL without a host gives all null and 0.
[[nodiscard]] int Url_getHostParts(const Url *url, char16_t **user, char16_t **password,
                                   char16_t **hostName, uint16_t *port);
// Rebuilds the host from the arguments, each null argument taken from the
// present host, and rehashes. 0; 1 out of memory; Res_urlBadPort for a bad port
// (the host stays as it was).
[[nodiscard]] int Url_setHostParts(Url *url, const char16_t *user, const char16_t *password,
                                   const char16_t *hostName, const char16_t *portText);

// ---------------------------------------------------- compare and render

// <0, 0 or >0; the first difference wins in the order scheme, host, path,
// query, fragment, over the parts in mask. Hosts and queries compare
// ignoring case, paths and fragments exactly; a missing part sorts first.
int Url_compare(const Url *a, const Url *b, uint32_t mask);
// Equal hashes and Url_compare(a, b, 15) == 0 (so a difference in the case
// of host or query makes URLs unequal).
int Url_equals(const Url *a, const Url *b);
// Scheme and host compare equal and the decoded path of a is a prefix of
// the decoded path of b.
int Url_isPathPrefix(const Url *a, const Url *b);

// A new 16-bit rendering of the parts in mask (scheme ":", "//" host, the
// extra "//", path, "?" query, "#" fragment); null when memory runs out.
char16_t *Url_toString(const Url *url, uint32_t mask);
// The same as new UTF-8 text; null on failure.
char *Url_toUtf8(const Url *url, uint32_t mask);
// Mask 31 as new Latin-1 text; null on failure.
char *Url_toLatin1(const Url *url);

// Registers Url_toLatin1 as the formatter's conversion letter 'U' for the
// calling thread's engine: 0, or 1 on failure. Unregister removes it.
[[nodiscard]] int Url_registerFormat();
void Url_unregisterFormat();

// ----------------------------------------------------------- resolution

// rel resolved against base: a new URL, or null when memory runs out.
Url *Url_resolve(const Url *base, const Url *rel);
// Fills out's host, path, query and fragment from base and rel (out's old
// values are replaced). 0, or 1 when memory runs out.
[[nodiscard]] int Url_mergeInto(const Url *base, const Url *rel, Url *out);
// Removes "." and ".." segments from a path in place; a path that begins
// with "/" never climbs above its root.
void Url_removeDotSegments(char16_t *path);
