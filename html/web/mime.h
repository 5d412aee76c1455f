// MIME multipart archives: parser, body and header decoders, archives,
// part URLs and part streams.
//
// A MIME message (a saved web page "multipart/related", a mail) is parsed
// incrementally into a tree of MimePart records that keep offsets of each
// body in the source stream (mimeparse.cpp). Bodies decode from base64 and
// quoted-printable, header values from RFC 2047 encoded words
// (mimedecode.cpp). A MimeArchive (mimearchive.cpp) holds the parsed tree
// and its source stream; it is the handler object of every URL that points
// into it. Parts of an archive are streams of the Mime type (row 4 of the
// stream type table, platform/vfs/vfs.h), named by "cid:" URLs or by URLs
// whose handler object is an archive, and open as memory streams over
// their decoded bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/task/lock.h"
#include "core/text/charset.h"
#include "platform/url/url.h"

struct EngineContext;
struct VfsHandle;
struct VfsTypeOps;

// ------------------------------------------------------------- parser

// Media type codes (names compared ignoring case).
enum : uint32_t {
    MimeType_message = 0,
    MimeType_multipart = 1,
    MimeType_text = 2,
    MimeType_efif = 3,
    MimeType_image = 4,
    MimeType_application = 5,
    MimeType_none = 7,
};
// Subtype codes.
enum : uint32_t {
    MimeSub_mixed = 0,
    MimeSub_alternative = 1,
    MimeSub_related = 2,
    MimeSub_octetStream = 3,
    MimeSub_plain = 4,
    MimeSub_enriched = 5,
    MimeSub_html = 6,
    MimeSub_png = 7,
    MimeSub_gif = 8,
    MimeSub_jpeg = 9,
    MimeSub_bmp = 10,
    MimeSub_none = 12,
};
// Transfer encoding codes.
enum : uint32_t {
    MimeEnc_7bit = 0,
    MimeEnc_8bit = 1,
    MimeEnc_binary = 2,
    MimeEnc_quotedPrintable = 3,
    MimeEnc_base64 = 4,
};
// Header ids.
enum : uint32_t {
    MimeHdr_contentDisposition = 1,
    MimeHdr_contentId = 2,
    MimeHdr_contentLocation = 3,
    MimeHdr_contentTransferEncoding = 4,
    MimeHdr_contentTransferLocation = 5,
    MimeHdr_contentType = 6,
};
// Parameter ids.
enum : uint32_t {
    MimeParam_boundary = 1,
    MimeParam_charset = 2,
    MimeParam_filename = 3,
    MimeParam_name = 4,
    MimeParam_start = 5,
    MimeParam_type = 6,
};
// Parser states.
enum : uint32_t {
    MimeState_rootHeaders = 0,
    MimeState_partHeaders = 1,
    MimeState_body = 2,
    MimeState_opened = 3, // an opening delimiter line was just seen
    MimeState_closed = 4, // a closing delimiter line was just seen
};
// Parts nested deeper than this stay leaves: their delimiters are body
// text. It bounds every walk up or down the tree.
enum : uint32_t { Mime_maxDepth = 64 };

// One part of a message. Offsets are in the source stream.
struct MimePart {
    uint32_t bodyStart; // first body byte (until the headers end: just after the opening delimiter)
    uint32_t bodyLength; // up to the delimiter line; the line break before it included
    uint32_t number;     // order of creation: root 0
    uint32_t type;       // MimeType_*
    uint32_t subtype;    // MimeSub_*
    uint32_t encoding;   // MimeEnc_*
    uint8_t *decoded;    // decoded body (collect mode, or a part stream)
    uint32_t decodedLength;
    uint32_t decodedCapacity;
    char *headers; // every header line as read, NUL-terminated
    uint32_t headersLength;
    uint32_t headersCapacity;
    char *boundary; // multipart parts only
    uint32_t boundaryLength;
    uint32_t depth; // root 0
    MimePart *parent;
    MimePart *firstChild;
    MimePart *lastChild;
    MimePart *nextSibling;
};

// One parse of one source.
struct MimeParser {
    uint32_t collect; // decode bodies into their parts while parsing
    uint32_t state;   // MimeState_*
    MimePart *current;
    uint32_t counter; // the next part's number
    char *pending;    // the root's body lines (offset mode only; NUL-terminated)
    uint32_t pendingCapacity;
    uint32_t pendingLength;
    uint32_t rootText; // the root has had a non-empty body line
    uint32_t midLine;  // the next chunk starts inside a body line (collect mode)
};

// A new parser and its root (*root). The parser, or null (*root null) when
// out of memory. The caller frees the parser with Mime_parserFree, then
// Mem_free; the tree with Mime_partFree on the root.
MimeParser *Mime_parserNew(MimePart **root, uint32_t collect);
// A zeroed part of type 7, subtype 12, numbered from the counter; null
// when out of memory.
MimePart *Mime_partNew(MimeParser *parser);
// Feeds one chunk whose first byte is at stream offset base. *consumed =
// the bytes the caller may drop; the rest must be offered again in front
// of the next chunk. 0, 1, 15361, 15362 or a decoder error.
[[nodiscard]] int Mime_parse(EngineContext *context, const uint8_t *data, uint32_t length,
                             uint32_t *consumed, uint32_t base, int final, MimeParser *parser);
// Frees the pending-body buffer (not the record, not the tree).
void Mime_parserFree(MimeParser *parser);
// Frees a part and its whole subtree, without recursion. Null is ignored.
void Mime_partFree(MimePart *part);
// A new copy of the first logical header line (with its continuation
// lines) whose name is the header id's, or null.
char *Mime_findHeader(const char *headers, uint32_t id);
// The value of a header as a new string, or null.
char *Mime_getHeaderValue(const MimePart *part, uint32_t id);
// The value of a parameter of a header as a new string, or null. The
// parameter is matched as a whole name after a ';', ignoring case.
char *Mime_getParam(const MimePart *part, uint32_t id, uint32_t param);
// Sets encoding, type, subtype and boundary from the header text. 0, 1,
// or 15361 for a multipart part without boundary (a part nested deeper
// than Mime_maxDepth stays a leaf instead).
[[nodiscard]] int Mime_parseContentHeaders(MimePart *part);
// Decodes n body bytes by the part's encoding and appends them to its
// decoded body; *consumed = the bytes taken. The decoder's status, or 1.
[[nodiscard]] int Mime_partAppendDecoded(EngineContext *context, MimePart *part,
                                         const uint8_t *bytes, uint32_t n, uint32_t *consumed);
// The starting size of a decoded-body buffer for the part.
uint32_t Mime_decodedSizeEstimate(const MimePart *part);
// The decoder for the part's encoding, or null.
CharsetConverter Mime_decoderFor(const MimePart *part);

// ------------------------------------------------------------ decoders

// Body decoders with the converter convention (core/text/charset.h): they
// stop when the input is used up or the output is full; bytes not consumed
// must be offered again in front of the next input. Always 0.
int Mime_base64Decode(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                      size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
int Mime_qpDecode(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                  size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state);
// A header value that may begin with encoded words, as new 16-bit text;
// null when out of memory or when nothing decoded.
char16_t *Mime_decodeHeaderText(EngineContext *context, const char *value);
// The next run of a header value: an encoded word, or the whole rest as
// plain ISO-8859-1 text. *taken = the characters used, *bytes a new buffer
// of *n decoded bytes (null on failure), *charset its charset code. 1, or
// 0 when the run failed to decode.
int Mime_nextEncodedWord(const char *text, size_t *taken, uint8_t **bytes, size_t *n,
                         uint32_t *charset);
// Decodes encoded-word text by method (0-2 copy, 3 Q, 4 base64) into a
// new buffer. 0, or 15360 (bad method, bad base64, out of memory).
[[nodiscard]] int Mime_decodeWordText(uint32_t method, const uint8_t *bytes, size_t n,
                                      uint8_t **out, size_t *outLength);
// The encoded-word decoders: a new buffer (null on failure) of *outLength
// bytes.
uint8_t *Mime_wordBase64Decode(const uint8_t *bytes, size_t n, size_t *outLength);
uint8_t *Mime_wordQDecode(const uint8_t *bytes, size_t n, size_t *outLength);
// Four base64 characters into out[3]: the number of '=' (0-3), or -1 for
// a character after padding.
int Mime_base64Quantum(const uint8_t in[4], uint8_t out[3]);

// ------------------------------------------------------------ archives

// A parsed MIME source, the handler object of the URLs into it. Shared by
// reference count.
struct MimeArchive {
    UrlHandler header; // retain, release; owner; stream type 4 (the kind)
    uint32_t refCount; // 1 at creation
    Lock lock;         // the source stream, its position and the count
    VfsHandle *source; // kept open for later decoding; null once closed
    uint32_t state;    // 0 usable; 1 answers 780 (references still count)
    uint32_t handOver; // part streams take the decoded bytes over
    MimePart *root;
    Url *baseUrl; // the source stream's URL
    EngineContext *ctx;
};

// Makes and loads an archive over an open source stream, which the
// archive takes over in every case. 0 with *out, or an error (the source
// closed).
[[nodiscard]] int MimeArchive_open(EngineContext *context, VfsHandle *source, MimeArchive **out);
// Parses the source into the archive's tree. 0 or an error.
[[nodiscard]] int MimeArchive_load(EngineContext *context, MimeArchive *archive, uint32_t collect);
void MimeArchive_addRef(MimeArchive *archive);
// At count zero frees the tree, the base URL, closes the source and frees
// the record. Null is ignored.
void MimeArchive_release(MimeArchive *archive);
// 1 when handler is an archive.
int MimeArchive_isArchive(const UrlHandler *handler);
// The URL of the document part (wanted type or null), with the archive as
// its handler. 0, 780 or 840; 1.
[[nodiscard]] int MimeArchive_mainUrl(EngineContext *context, MimeArchive *archive, Url **out,
                                      const char *wanted);
// Slot 22: *out = the base URL (lent). 0 or 780.
int MimeArchive_getBaseUrl(MimeArchive *archive, Url **out);
// Slot 23: closes the source stream under the lock and forgets it.
void MimeArchive_closeSource(MimeArchive *archive);
// 1 when a part of the URL's archive has this URL; otherwise the URL's
// handler is removed and 0 returned.
int MimeArchive_hasUrl(EngineContext *context, Url *url);
// Depth-first, the part before its children: the first part whose URL
// matches (a file URL by scheme and path only). Null when none.
MimePart *MimeArchive_findPartByUrl(EngineContext *context, MimePart *part, const Url *url);
// The part to show as the document (HTML first when wanted is
// "text/html"), or null.
MimePart *MimeArchive_findDocPart(EngineContext *context, MimePart *part, const char *wanted);
// Children first, then each child's subtree: the first part whose
// "Content-Type" value starts with type. Null when none.
MimePart *Mime_findChildByType(MimePart *part, const char *type);
// The part's URL text (Content-Location, "cid:" Content-ID, or
// "cid:oKALA" with the number) as new 16-bit text, or null.
char16_t *Mime_partUrlString(EngineContext *context, const MimePart *part);
// The part's URL (backslashes made slashes), or null.
Url *Mime_partUrl(EngineContext *context, const MimePart *part);

// Where documents open: when stream is of type "multipart/related" it is
// opened as an archive and *url (owned) is replaced by the URL of the
// archive's HTML part; *stream (taken over) is closed and becomes null.
// Otherwise nothing changes. 0, or the archive's error (*stream then
// null).
[[nodiscard]] int MimeArchive_openInPlace(EngineContext *context, VfsHandle **stream, Url **url);

// ------------------------------------------------------- part streams

// The Mime row: slot 3 MimeStream_open; slots 4-6 and 11-13 those of the
// Mem type over the part's bytes; slot 22 the base URL of a URL's archive,
// slot 23 closes its source.
extern const VfsTypeOps VfsMimeOps;

// Slot 3: opens the part the URL names as a memory stream on the handle.
// 0 with *accepted, or an error: 780 no usable archive or an empty part,
// 839 no part for the URL (the stream layer then opens the URL without
// its handler), 838 no decoder, 1.
[[nodiscard]] int MimeStream_open(EngineContext *context, VfsHandle *handle, const Url *url,
                                  uint32_t mode, uint32_t *accepted);
// Non-zero when the MIME module owns this URL handler object.
int Mime_claimsHandler(const UrlHandler *handler);
// Start and stop of the MIME module with the file layer: the module keeps
// no state (0 / nothing).
[[nodiscard]] int Mime_moduleInit(EngineContext *context);
void Mime_moduleFini(EngineContext *context);

struct MimeSrcList;

// Frees a list of body sources: every source, the lock and the record.
// Null is ignored.
void Mime_srcListFree(MimeSrcList *list);
