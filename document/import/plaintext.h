// The plain-text importer: a byte stream of text becomes a document.
//
// The importer picks the character set (a UTF-8 byte-order mark, else the
// detector over the first chunk, else the "DefaultCharacterSet" setting),
// converts the bytes to 16-bit text in chunks of at most 4096 bytes and
// appends the text to the tree under one group, making every "http://" or
// "https://" address a link group. A style sheet of its own gives the
// document its fixed look: a monospace font on a white page of A4 width.
//
// Large texts load page by page when the document is page-on-demand: the
// import then builds only the first page and records, for every page of
// 66 lines of 86 characters, the byte offset of the chunk where it starts,
// the index of its first character in that chunk's text and the
// converter's state before that chunk. A page request (the handler's step
// on the translation job) seeks there, restores the state and converts
// again, so that a page reads the same whether it is built at import or
// later, also for stateful character sets. Chunks always start where the
// previous one stopped converting, so their boundaries are the same on
// every pass.
//
// The importer registers as the plain-text document handler: its MIME
// match takes "text/plain", its sniffer answers 50 for bytes that look
// like text, and it accepts streams that only their type or name picked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/text/charset.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_HandlerDesc;
struct VfsHandle;

enum : uint32_t {
    TextDoc_typeCode = 232,          // the document type code of text documents
    TextDoc_chunkBytes = 4096,       // bytes converted at a time
    TextDoc_pageLines = 66,          // lines of a page
    TextDoc_lineChars = 86,          // characters of a line
    TextDoc_initialPages = 256,      // page-table capacity at the start
    TextDoc_idText = 1,              // the text group and every page group
    TextDoc_idLink = 2,              // link groups
    TextDoc_idParagraph = 3,         // paragraph groups of powerzoom mode
    TextDoc_longRun = 128,           // powerzoom: a longer line ends a paragraph
    TextDoc_measureFallback = 52434, // the tab interval when no measurement is made
    TextDoc_sniffBytes = 1024,       // bytes the sniffer looks at
    TextDoc_sniffScore = 50,         // the sniffer's score for text
};

// The state of one page-on-demand text: owned by the document as its loader
// data (freed by TextDoc_close); during a whole-document import it lives
// only for the import.
struct TextLoader {
    EngineContext *ctx;
    Edr_Doc *doc;
    Edr_Node *root;           // the target group (one reference)
    VfsHandle *stream;        // the source (owned)
    CharsetConverter convert; // bytes to 16-bit text
    CharsetState convState;   // the converter's state while converting
    uint32_t pageCount;       // pages recorded; 1 at the start
    uint64_t *pageStarts;     // per page (and one more for the end): offset of its chunk
    uint32_t *pageChars;      // the index of its first character in that chunk's text
    CharsetState *pageStates; // the converter's state before that chunk
    uint32_t pageCapacity;    // entries of the three arrays
    uint32_t powerzoom;       // "OptimiseTextDaForPowerzoom"
};

// Appending converted text to one group (TextDoc_appendText). Zero it,
// then set doc, group and powerzoom; TextDoc_finishAppender frees what it
// holds.
struct TextAppender {
    Edr_Doc *doc;
    Edr_Node *group;     // the group receiving the text (lent)
    Edr_Node *paragraph; // powerzoom: the current paragraph group (one reference), or null
    uint32_t powerzoom;
    uint32_t runLength; // powerzoom: characters since the last line feed
    uint32_t started;   // some text went through already
    char16_t previous;  // the last character appended
    uint32_t inLink;    // the carried text is an address still open
    char16_t *carry;    // text carried to the next call (owned)
    uint32_t carryLength;
    uint32_t carryCapacity;
};

// ------------------------------------------------------------ the handler

// Fills the plain-text handler's descriptor: acceptsTypeOnly 1, matchMime,
// sniff, open, step, close, a release that does nothing, enabled. 0.
int TextDoc_describe(EngineContext *context, Edr_HandlerDesc *desc);
// 100 when mime is "text/plain" ignoring case, else 0 (also for null). 0.
int TextDoc_matchMime(EngineContext *context, Edr_HandlerDesc *desc, const char16_t *mime,
                      int32_t *score);
// Peeks at up to 1024 bytes (handing them back unconsumed): score 50 and
// type 25 when they look like text (TextDoc_sniffText), else 0 and 0. A
// read error comes back before anything is written.
[[nodiscard]] int TextDoc_sniff(EngineContext *context, Edr_HandlerDesc *desc, VfsHandle *stream,
                                int32_t *score, uint32_t *typeId);
void TextDoc_release(EngineContext *context, Edr_HandlerDesc *desc);

// Builds the document from the stream, which it takes over in every case
// (closed at the end, or kept as the loader's source in page mode). Tells
// the stream monitor 1, sets the feature flags 2 and 4 (their error closes
// the stream and comes back), imports, then sets the flags 1 and 8.
// argument is not used. 0; 1 when memory runs out; a stream or conversion
// error (the part of the tree built so far stays).
[[nodiscard]] int TextDoc_open(EngineContext *context, Edr_HandlerDesc *desc, void *argument,
                               VfsHandle *stream, Edr_Doc *doc, Edr_Node *target);
// Builds page N of a page-on-demand text: its group (found among the root's
// children, or made with id 1) gets the page's text again. 16 for a null
// document; Res_nullInput when the document has no such page recorded; 1; a
// stream or conversion error.
[[nodiscard]] int TextDoc_step(Edr_Doc *doc, uint32_t page);
// Frees the document's loader state: closes the stream, releases the root
// reference, frees the arrays. Null documents and documents without loader
// state are ignored.
void TextDoc_close(Edr_Doc *doc);

// ---------------------------------------------------------------- the parts

// The import behind TextDoc_open (which has set the feature flags). Takes
// over the stream. Results as TextDoc_open.
[[nodiscard]] int TextDoc_import(EngineContext *context, VfsHandle *stream, Edr_Doc *doc,
                                 Edr_Node *target);

// The converter for text whose first chunk is bytes: UTF-8 after a
// byte-order mark; else the detector's guess over the bytes (with
// "EnableAutoDetect" non-zero) or the default; the default is
// "DefaultCharacterSet" by name, windows-1252 when missing or unknown. A
// code whose conversion is not available gives way to the default, and
// that to the single-byte widening converter. *code receives the code
// chosen (0 for the widening converter); state is reset. 0, or 1 when the
// detector cannot be made.
[[nodiscard]] int TextDoc_pickCharset(EngineContext *context, const uint8_t *bytes, size_t length,
                                      int bom, CharsetConverter *convert, uint32_t *code,
                                      CharsetState *state);

// Appends n units of text (changed in place: spaces that start a line
// become U+00A0) to the appender's group. A space becomes U+00A0 when it
// is the first character of all or follows a line feed or carriage return;
// a space at the start of a call is like any other. Addresses starting
// "http://" or "https://" (any case) become link groups with id 2 holding
// the address text and its URL; the address ends before U+0000, U+00A0, a
// space, CR, LF or a character above U+00FF. A possible prefix or an
// address cut by the end of the text is carried to the next call unless
// final is set. In powerzoom mode a line feed that ends a line of more
// than 128 characters ends the paragraph: what came so far goes to the
// current paragraph and a new group with id 3 is started under the group.
// text may be null when n is 0. 0 or the first error (1 for memory, or the
// tree's errors).
[[nodiscard]] int TextDoc_appendText(TextAppender *appender, char16_t *text, uint32_t n, int final);
// Frees the carried text and the paragraph reference.
void TextDoc_finishAppender(TextAppender *appender);

// Installs the text style sheet: a request of kind 2 with the page rule
// (match key 1), the two link rules (match key 2, states 8 and 16) and in
// powerzoom mode the paragraph rule (match key 3), added to the document's
// request table; the document's type code becomes 232. pageMode tells
// which height property the page rule sets when singlePage is 0. margins,
// when given, is {top and bottom, left and right}: a member that is not
// negative replaces the default margins (1 inch, 1.25 inches). 0 or the
// first error.
[[nodiscard]] int TextDoc_setupStyles(EngineContext *context, Edr_Doc *doc, uint32_t singlePage,
                                      uint32_t pageMode, uint32_t powerzoom,
                                      const int32_t *margins);
