// The HTML importer: loading, the tokenizer, character references and
// tree building.
//
// A load reads the source in 4096-byte chunks, converts them into a buffer
// of 16-bit text and runs the tokenizer over it. The tokenizer cuts the
// text into text runs and tags, which it hands over as offsets into the
// buffer; tree building turns them into groups (one per element, its id
// as the style word) and text nodes under the document's top group.
// Elements close explicitly, implicitly by two fixed matrices, or stay
// open at the end of the load; inline formatting elements closed around a
// block are opened again inside it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/text/charset.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_HandlerDesc;
struct VfsHandle;
struct CharsetDetector;
struct Request;
struct Url;
struct FrameState;
struct HtmlMap;
struct HtmlMapUse;
struct PluginState;

enum : uint32_t {
    Html_typeCode = 227,     // the document type code of HTML documents
    Html_chunkBytes = 4096,  // bytes read at a time
    Html_bufferBytes = 8192, // the text buffer's first size
    Html_elementCount = 117, // ids 1..117; 0 is unknown
    Html_entityCount = 252,
    Html_sniffBytes = 1024,
    Html_sniffKind = 11,
    Html_yieldEvery = 256,     // characters between yields of the tokenizer
    Html_errOddOutput = 11778, // a converter wrote half a character
    Html_errNoParent = 11784,  // an element to close has no parent
    Html_errTooDeep = 11785,   // too little stack left to go on building
    Html_modeQuirks = 1,
    Html_modeStandards = 0,
};

// Element ids, in the order of the element table.
enum : uint32_t {
    HtmlEl_IfComment = 1,
    HtmlEl_Cdata = 2,
    HtmlEl_Endif = 3,
    HtmlEl_EndifComment = 4,
    HtmlEl_If = 5,
    HtmlEl_Ignore = 6,
    HtmlEl_Include = 7,
    HtmlEl_Doctype = 8,
    HtmlEl_Xml = 9,
    HtmlEl_MarkEnd = 10,
    HtmlEl_A = 11,
    HtmlEl_Abbr = 12,
    HtmlEl_Acronym = 13,
    HtmlEl_Address = 14,
    HtmlEl_Applet = 15,
    HtmlEl_Area = 16,
    HtmlEl_B = 17,
    HtmlEl_Base = 18,
    HtmlEl_Basefont = 19,
    HtmlEl_Bdo = 20,
    HtmlEl_Big = 21,
    HtmlEl_Blink = 22,
    HtmlEl_Blockquote = 23,
    HtmlEl_Body = 24,
    HtmlEl_Br = 25,
    HtmlEl_Button = 26,
    HtmlEl_Caption = 27,
    HtmlEl_Center = 28,
    HtmlEl_Cite = 29,
    HtmlEl_Code = 30,
    HtmlEl_Col = 31,
    HtmlEl_Colgroup = 32,
    HtmlEl_Dd = 33,
    HtmlEl_Del = 34,
    HtmlEl_Dfn = 35,
    HtmlEl_Dir = 36,
    HtmlEl_Div = 37,
    HtmlEl_Dl = 38,
    HtmlEl_Dt = 39,
    HtmlEl_Em = 40,
    HtmlEl_Embed = 41,
    HtmlEl_Okalafh = 42,
    HtmlEl_Okalasection = 43,
    HtmlEl_Okalawidget = 44,
    HtmlEl_Fieldset = 45,
    HtmlEl_Font = 46,
    HtmlEl_Form = 47,
    HtmlEl_Frame = 48,
    HtmlEl_Frameset = 49,
    HtmlEl_H1 = 50,
    HtmlEl_H2 = 51,
    HtmlEl_H3 = 52,
    HtmlEl_H4 = 53,
    HtmlEl_H5 = 54,
    HtmlEl_H6 = 55,
    HtmlEl_Head = 56,
    HtmlEl_Hr = 57,
    HtmlEl_Html = 58,
    HtmlEl_I = 59,
    HtmlEl_Iframe = 60,
    HtmlEl_Ilayer = 61,
    HtmlEl_Image = 62,
    HtmlEl_Img = 63,
    HtmlEl_Input = 64,
    HtmlEl_Ins = 65,
    HtmlEl_Isindex = 66,
    HtmlEl_Kbd = 67,
    HtmlEl_Label = 68,
    HtmlEl_Layer = 69,
    HtmlEl_Legend = 70,
    HtmlEl_Li = 71,
    HtmlEl_Link = 72,
    HtmlEl_Map = 73,
    HtmlEl_Marquee = 74,
    HtmlEl_Menu = 75,
    HtmlEl_Meta = 76,
    HtmlEl_Multicol = 77,
    HtmlEl_Nextid = 78,
    HtmlEl_Nobr = 79,
    HtmlEl_Noembed = 80,
    HtmlEl_Noframes = 81,
    HtmlEl_Nolayer = 82,
    HtmlEl_Noscript = 83,
    HtmlEl_Object = 84,
    HtmlEl_Ol = 85,
    HtmlEl_Optgroup = 86,
    HtmlEl_Option = 87,
    HtmlEl_P = 88,
    HtmlEl_Param = 89,
    HtmlEl_Plaintext = 90,
    HtmlEl_Pre = 91,
    HtmlEl_Q = 92,
    HtmlEl_S = 93,
    HtmlEl_Samp = 94,
    HtmlEl_Script = 95,
    HtmlEl_Select = 96,
    HtmlEl_Small = 97,
    HtmlEl_Span = 98,
    HtmlEl_Strike = 99,
    HtmlEl_Strong = 100,
    HtmlEl_Style = 101,
    HtmlEl_Sub = 102,
    HtmlEl_Sup = 103,
    HtmlEl_Table = 104,
    HtmlEl_Tbody = 105,
    HtmlEl_Td = 106,
    HtmlEl_Textarea = 107,
    HtmlEl_Tfoot = 108,
    HtmlEl_Th = 109,
    HtmlEl_Thead = 110,
    HtmlEl_Title = 111,
    HtmlEl_Tr = 112,
    HtmlEl_Tt = 113,
    HtmlEl_U = 114,
    HtmlEl_Ul = 115,
    HtmlEl_Var = 116,
    HtmlEl_Xmp = 117,
};

// The element names, index id - 1.
extern const char *const Html_elementNames[Html_elementCount];

// The element id of a name compared ignoring ASCII case; 0 when unknown.
uint32_t Html_elementId(const char16_t *name, size_t length);

// Element sets and close matrices (ids 0..117; ids out of range answer 0).
enum : uint32_t {
    HtmlSet_raw = 0,          // raw-text elements
    HtmlSet_void = 1,         // end tag ignored, never the current element
    HtmlSet_selfClosable = 2, // "/>" also ends the element
    HtmlSet_formatting = 3,   // kept on a node stack, closed and reopened
    HtmlSet_blockBreaker = 4, // closes the open formatting elements first
    HtmlSet_onceOnly = 5,     // a second start tag merges into the first
    HtmlSet_formControl = 6,
    HtmlSet_count = 7,
};
// The sets as bits (bit n of byte n / 8 for element id n).
struct HtmlSetBits {
    uint8_t rows[HtmlSet_count][15];
};
extern const HtmlSetBits Html_setBits;
inline int Html_inSet(uint32_t set, uint32_t id)
{
    return set < HtmlSet_count && id < 120 && (Html_setBits.rows[set][id / 8] >> (id % 8)) & 1;
}
// 1 when a start tag (or, with end set, an end tag) of tag ends the open
// element current.
int Html_closes(int end, uint32_t tag, uint32_t current);
// The formatting elements that block breakers close and reopen, in the
// order they are looked for.
extern const uint32_t Html_reopenOrder[12];

// ----------------------------------------------------------- references

struct HtmlEntity {
    const char *name;
    uint16_t code;
    uint8_t bare; // usable without ';'
};
extern const HtmlEntity Html_entities[Html_entityCount];

// Exact lookup of a name (case-sensitive). 1 with *code and *length set.
int Html_findEntity(const char16_t *name, size_t length, uint32_t *code, size_t *matched);
// The longest entity name that starts text (of n units). 1 when found.
int Html_findEntityPrefix(const char16_t *text, size_t n, uint32_t *code, size_t *matched);
// The character that a code unit 0x7F..0x9F stands for; others unchanged.
char16_t Html_mapC1(char16_t c);
// Decodes the references of text in place; returns the new length.
size_t Html_decodeRefs(char16_t *text, size_t length);

// ---------------------------------------------------------- tokenizer

// One entry of a tag record: offsets from the tag's '<'.
struct HtmlTagSpan {
    int32_t nameStart;
    uint32_t nameLength;
    int32_t valueStart; // -1 when the attribute has no value
    uint32_t valueLength;
};

// The input of one load.
struct HtmlInput {
    VfsHandle *stream;
    char16_t *buf;
    size_t capacity;     // in characters
    size_t scan;         // next character the tokenizer reads
    size_t end;          // end of converted text
    size_t tagStart;     // the current '<'
    size_t textStart;    // first character of the pending text run
    size_t commentEnd;   // behind the first '>' inside a comment; 0 none
    size_t insertEnd;    // end of inserted text still to read; 0 none
    uint32_t chunkBytes; // bytes asked for at a time
    uint32_t atLeast;    // bytes the next chunk needs to hold a character
    uint32_t firstChunk;
    uint32_t ended; // the stream has no more bytes
    uint8_t *raw;   // every byte read while the parser keeps them
    size_t rawLength;
    size_t rawCapacity;
    CharsetDetector *detector;
    uint32_t detectPending; // the bytes so far decided nothing: later chunks are read by the
                            // detector too
    uint64_t done;          // bytes consumed
};

struct HtmlNodeCell {
    Edr_Node *node;
    HtmlNodeCell *next;
};

// The parser of one load.
struct HtmlParser {
    EngineContext *ctx;
    Edr_Doc *doc;
    Edr_Node *top;                // the okalasection group
    Edr_Node *current;            // held
    Edr_Node *html, *head, *body; // held
    uint32_t element;             // the current element id
    uint32_t state;               // tokenizer state
    uint32_t fragment;
    // Character set.
    CharsetConverter convert;
    CharsetState convState;
    uint32_t charset;
    uint32_t transportCharset;
    uint32_t autoDetect;
    uint32_t keepRaw;
    uint32_t restartRequested;
    uint32_t restarted;
    uint32_t charsetConfirmed;
    uint32_t charsetDeclared; // a byte-order mark or the page's own declaration named the charset
    uint32_t stop;
    uint32_t imagesEnabled;
    uint32_t animationsEnabled;
    // Element context.
    Request *styles; // style rules of attributes and defaults
    uint32_t nextClass;
    int16_t open[Html_elementCount + 1];
    int16_t reopen[Html_elementCount + 1];
    uint32_t reopenPending; // sum of the reopen counts
    HtmlNodeCell *stacks[Html_elementCount + 1];
    HtmlNodeCell *spareCells; // popped cells, for the next pushes
    uint8_t seen[15];
    uint8_t styled[15]; // elements whose default rule the document has
    uint32_t tagSeen;
    uint32_t tableDepth; // open tables
    uint32_t tagDropped; // the implied-close step ignored the tag
    // Conditional comment.
    uint32_t condTarget;
    uint32_t condVersion;
    uint32_t condOperator;
    // Tag record.
    HtmlTagSpan *tags;
    uint32_t tagCount;
    uint32_t tagCapacity;
    size_t stackMargin; // the least stack that tree building needs
    // The layout context of the load: frame sets, and the questions of
    // frames-only documents (null for none).
    FrameState *layout;
    // Form controls: their controls are null until the control module
    // makes them; the flags and the option's text are kept here.
    uint32_t inButton;
    uint32_t inSelect;
    uint32_t inOption;
    uint32_t optionHasValue;
    uint32_t inOptgroup;
    uint32_t inTextarea;
    void *buttonControl;
    void *selectControl;
    void *optionControl;
    void *textareaControl;
    Edr_Node *optionNode; // held while an option is open
    char16_t *optionText; // the open option's collected text
    size_t optionLength;
    size_t optionCapacity;
    // Image maps: the maps, the open one (areas go into it until its end
    // tag) and the images that name a map.
    HtmlMap *maps;
    HtmlMap *openMap;
    uint32_t mapFinished;
    HtmlMapUse *mapUses;
    // Plug-in objects (object, applet, embed).
    PluginState *plugin;
    // A refresh named by a meta element or the "Refresh:" header: the delay
    // in milliseconds and the target (owned; null when none).
    int32_t refreshDelay;
    Url *refreshUrl;
    // Text fetched from a URL (a style sheet, a script) and its URL.
    char16_t *fetchedText;
    size_t fetchedLength;
    Url *fetchedUrl;
    uint32_t contentMode; // 11: external text is not converted
};

// Runs the tokenizer to the end of the converted text (or a stop or a
// restart request). 0 or the first error of tree building.
int Html_tokenize(EngineContext *context, HtmlInput *in, HtmlParser *p);

// ------------------------------------------------------ tree building

int Html_parserInit(EngineContext *context, HtmlParser *p, Edr_Doc *doc);
int Html_emitTag(EngineContext *context, HtmlParser *p, HtmlInput *in, int selfClosed);
int Html_handleTag(EngineContext *context, HtmlParser *p, const HtmlTagSpan *attrs, uint32_t count,
                   uint32_t id, const char16_t *tag, size_t tagLength);
int Html_endElement(EngineContext *context, HtmlParser *p, int implicit, uint32_t id);
// Form controls (html/formbuild.cpp): the control of a form-control element
// made and attached to its new node, the form record of a form element;
// then, after the node's attributes, the control's and the form's own
// attributes and the control's place in its form.
int Html_makeControl(HtmlParser *p, uint32_t id, Edr_Node *node, const char16_t *tag,
                     const HtmlTagSpan *attrs, uint32_t count);
int Html_applyControlAttributes(HtmlParser *p, uint32_t id, Edr_Node *node, const char16_t *tag,
                                const HtmlTagSpan *attrs, uint32_t count);
// The text area's collected text becomes its default value.
int Html_finishTextArea(HtmlParser *p, const char16_t *text, size_t length);
int Html_impliedClose(EngineContext *context, HtmlParser *p, int end, uint32_t id);
int Html_flushText(HtmlParser *p, char16_t *text, size_t length);
int Html_reopenFormatting(HtmlParser *p);
int Html_pushFormatting(HtmlParser *p, uint32_t id, Edr_Node *node);
void Html_popFormatting(HtmlParser *p, uint32_t id);
// Places a copy of text in front of the unread input, to be read as markup.
int Html_insertText(EngineContext *context, HtmlParser *p, HtmlInput *in, const char16_t *text,
                    size_t length);
// The conditional comment's verdict: 1 when its content is read.
int Html_evalCondition(const HtmlParser *p);
// Reads the words of a conditional comment's tag into the parser.
void Html_readCondition(HtmlParser *p, const char16_t *tag, const HtmlTagSpan *attrs,
                        uint32_t count);
// The compatibility decision of a document type declaration (the tag text
// from '<' through its last character): 1 quirks, 0 standards, -1 no
// change.
int Html_doctypeMode(const char16_t *tag, size_t length);
int Html_parserFinish(EngineContext *context, HtmlParser *p, int fragment);

// Applies a tag's attributes (attrs[1..count], offsets from tag) to node.
// The tag's src attribute cleaned and resolved against the document, or
// null when it has none (*err set when memory ran out).
Url *Html_sourceUrl(EngineContext *context, HtmlParser *p, const char16_t *tag,
                    const HtmlTagSpan *attrs, uint32_t count, int *err);
// How many list elements (ul, ol, dir, menu) are open, the current one
// included.
uint32_t Html_listNesting(const HtmlParser *p);
int Html_applyAttributes(EngineContext *context, const char16_t *tag, HtmlParser *p, Edr_Node *node,
                         uint32_t id, const HtmlTagSpan *attrs, uint32_t count);
// Adds the element's default style to the document once per load.
int Html_applyDefaultStyle(HtmlParser *p, uint32_t id);

// ------------------------------------------------------------- loading

int Html_matchMime(EngineContext *context, Edr_HandlerDesc *desc, const char16_t *mime,
                   int32_t *score);
int Html_sniff(EngineContext *context, Edr_HandlerDesc *desc, VfsHandle *stream, int32_t *score,
               uint32_t *kind);
int Html_open(EngineContext *context, Edr_HandlerDesc *desc, void *argument, VfsHandle *stream,
              Edr_Doc *doc, Edr_Node *target);
// The loader keeps nothing in the document between loads: nothing to free.
void Html_closeDocument(Edr_Doc *doc);
// The element and close tables are constant: nothing to free.
void Html_unregisterHandler(EngineContext *context, Edr_HandlerDesc *desc);
// Loads stream into doc: under a new top group, or in fragment mode (the
// stream holds 16-bit text) under target. frame: the frame record of a
// frame's document (margin width, margin height, width, height, placement)
// or null. Outside fragment mode the load has a layout context of the
// frame's size (default sizes without one), which makes the frames of a
// frame-set document after a load that succeeded. 0 or the first error;
// the tree built so far stays.
int Html_loadDocument(EngineContext *context, Edr_Doc *doc, VfsHandle *stream, Edr_Node *target,
                      int fragment, const int32_t *frame);
// As Html_loadDocument, asking the stream for chunkBytes (1..4096) at a time.
int Html_loadDocumentChunked(EngineContext *context, Edr_Doc *doc, VfsHandle *stream,
                             Edr_Node *target, int fragment, const int32_t *frame,
                             uint32_t chunkBytes);
// The fragment operations of the handler: text (16-bit, length units) is
// loaded as HTML into group, whose children the document model has
// removed. 0 or the load's error.
int Html_replaceContent(EngineContext *context, Edr_HandlerDesc *desc, Edr_Doc *doc,
                        Edr_Node *group, const char16_t *text, uint32_t length);
// The export operations of the handler: the group's subtree (without the
// group) as HTML text (markup) or as its text only (text); *out = a new
// 16-bit string. 0 or an error.
int Html_exportMarkup(EngineContext *context, Edr_HandlerDesc *desc, Edr_Doc *doc, Edr_Node *group,
                      void **out);
int Html_exportText(EngineContext *context, Edr_HandlerDesc *desc, Edr_Doc *doc, Edr_Node *group,
                    intptr_t word, void **out);
// A refresh (the content of a meta element's "refresh" or of a "Refresh:"
// header): a delay in seconds, then ';' or ',', optional white space and
// an optional "url=" before the target. Delays up to 2073600 seconds are
// kept in milliseconds with the target resolved against the document (the
// document's own URL when none is given); others are ignored. 0 or 1.
int Html_metaRefresh(HtmlParser *p, const char16_t *content, size_t length);
// The converter for text fetched from a URL: the stream's charset when
// known, else charset when below 36, else (detection allowed) the
// detector's guess on the first bytes, else the parser's charset. Null
// when the parser's content mode is 11. *code gets the charset.
CharsetConverter Html_chooseConverter(HtmlParser *p, VfsHandle *stream, uint32_t charset,
                                      const uint8_t *bytes, size_t n, uint32_t *code);
// Reads the whole resource that url names as 16-bit text into the parser's
// fetched text (with a copy of the URL). charset: a charset code of the
// caller's, 36 or above for none. 0 or an error.
int Html_fetchResourceText(HtmlParser *p, const Url *url, uint32_t charset);
// The margins and size of a frame's document (frame: margin width, margin
// height, width, height; negative margins and zero sizes are unset) as a
// style rule of the current node. 0 or an error.
int Html_applyFrameMargins(HtmlParser *p, const int32_t *frame);
// Loads the style sheet that url names as a style request of kind (1 the
// user's sheet, 2 a linked sheet) added to the document. Takes url over.
// 0 or an error.
int Html_loadUserStyleSheet(EngineContext *context, HtmlParser *p, Url *url, uint32_t kind);
// A charset named by the document itself (a meta element): switches the
// converter and asks for the tree to be built again from the start, at
// most once per load; naming the charset in use only confirms it. 0.
int Html_metaCharset(HtmlParser *p, const char16_t *name, size_t length);
// Copies a charset name (at most capacity - 1 units and a NUL) without
// leading characters that are not printable, an "x-" prefix and a "-19"
// year suffix, up to the first character that is not printable. The length.
size_t Html_cleanCharsetName(const char16_t *text, size_t length, char16_t *out, size_t capacity);
// Reads and converts the next chunk into the input. 0 or an error.
int Html_readChunk(EngineContext *context, HtmlParser *p, HtmlInput *in);
// Converts the raw bytes kept so far again with the parser's converter and
// starts the tree again (after a change of character set).
int Html_restartDecoding(EngineContext *context, HtmlParser *p, HtmlInput *in);
