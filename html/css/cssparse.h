// The style-sheet reader's own records: the tokenizer over 16-bit text or a
// byte stream, the parser context with its value list, and the declaration
// step that turns one parsed declaration into style properties.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/text/charset.h"
#include "core/text/ustrbuf.h"
#include "html/css/csstables.h"

struct EngineContext;
struct Edr_Doc;
struct Request;
struct StyleRule;
struct Url;
struct VfsHandle;

// Token kinds; a kind below 0x10000 is the character itself, 0 the end.
enum : uint32_t {
    CssTok_string = 0x10000,
    CssTok_ident = 0x10001,
    CssTok_hash = 0x10002,
    CssTok_url = 0x10003,
    CssTok_raw = 0x10004,
    CssTok_function = 0x10005,
    CssTok_dimension = 0x10006,
    CssTok_number = 0x10007,
    CssTok_em = 0x10008,
    CssTok_ex = 0x10009,
    CssTok_percent = 0x1000a,
    CssTok_px = 0x1000b,
    CssTok_cm = 0x1000c,
    CssTok_mm = 0x1000d,
    CssTok_in = 0x1000e,
    CssTok_pt = 0x1000f,
    CssTok_pc = 0x10010,
    CssTok_deg = 0x10011,
    CssTok_rad = 0x10012,
    CssTok_grad = 0x10013,
    CssTok_ms = 0x10014,
    CssTok_s = 0x10015,
    CssTok_hz = 0x10016,
    CssTok_khz = 0x10017,
    CssTok_rgb = 0x10018,
    CssTok_cdo = 0x10019,       // "<!--"
    CssTok_cdc = 0x1001a,       // "-->"
    CssTok_includes = 0x1001b,  // "~="
    CssTok_dashMatch = 0x1001c, // "|="
    CssTok_import = 0x1001d,
    CssTok_page = 0x1001e,
    CssTok_media = 0x1001f,
    CssTok_fontFace = 0x10020,
    CssTok_charset = 0x10021,
    CssTok_space = 0x10022,
    CssTok_important = 0x10023,
};

struct CssTokenizer {
    // Input: text[0..length) is what has been read or converted; pos the
    // next character. Stream mode converts blocks into the owned text and
    // drops what lies well behind the read position.
    const char16_t *text;
    size_t length;
    size_t pos;
    char16_t *owned; // stream mode's converted text
    size_t ownedCapacity;
    VfsHandle *stream;
    EngineContext *context;
    CharsetConverter convert;
    CharsetState convState;
    uint8_t carry[8]; // bytes of a character split by a block end
    size_t carryLength;
    int charsetChosen;
    int streamEnded;
    // Modes set by the parser.
    int rawText;
    int hexName;
    int identDigits;
    // The current token.
    uint32_t kind;
    Ustr_buf token;
    int32_t integer;
    uint16_t fraction;
    int error; // 0 or an engine error; then every token is the end
};

enum : uint32_t {
    Css_blockBytes = 2048, // bytes read from a stream at a time
    Css_maxSlots = 15,
    Css_maxSteps = 9, // usable step words of a selector
    Css_maxClasses = 8,
    Css_markerChild = 100000,
    Css_markerAdjacent = 100001,
    Css_importDepth = 8, // nesting of imported sheets
};

// One term of a declaration's value.
struct CssValueSlot {
    uint32_t op;   // 0 none or white space, 1 ',', 2 '/'
    uint32_t sign; // 1 after a unary '-'
    uint32_t kind;
    Ustr_buf text;
    int32_t integer; // for rgb(: the colour 0x00RRGGBB
    uint16_t fraction;
    // A function's arguments (clip's rect()): their slots follow in the
    // list; count is how many.
    uint32_t argCount;
};

struct CssValueList {
    CssValueSlot slots[Css_maxSlots];
    uint32_t count;
};

// Reads the next token (skipSpace: white space is skipped). 1 for a token
// of kind 0x10000 or above; 0 for a single character or the end.
int Css_tokenNext(CssTokenizer *t, int skipSpace);
// Opens the tokenizer over text (not copied; it must outlive the tokenizer).
void Css_tokenizerOpenText(CssTokenizer *t, const char16_t *text, size_t length);
// Opens the tokenizer over a stream, whose first block chooses the charset.
void Css_tokenizerOpenStream(EngineContext *context, CssTokenizer *t, VfsHandle *stream);
// Frees what the tokenizer owns (not the stream).
void Css_tokenizerClose(CssTokenizer *t);
// Frees the texts of the value list and empties it.
void Css_valueListClear(CssValueList *list);

// The token texts and value texts of the reader are 16-bit buffers,
// always owned (stream text is kept behind the read position instead of
// being lent out) and kept terminated after every change, since they are
// handed on as strings. A zeroed buffer is an empty text.
// Appends c: 0, or 1 when memory runs out (the text unchanged).
[[nodiscard]] int Css_textAppend(Ustr_buf *text, char16_t c);
// Replaces the text with n characters: 0, or 1 when memory runs out (the
// text is then empty).
[[nodiscard]] int Css_textSet(Ustr_buf *text, const char16_t *chars, size_t n);

// Converts a term into a typed value for the property row (number mode as
// for Css_numberValue). 1 when it converts; a string payload is then owned
// by the value (free it with Css_typedValueFree).
int Css_valueFromTerm(const CssValueSlot *slot, uint32_t property, uint32_t mode,
                      CssTypedValue *out);
void Css_typedValueFree(CssTypedValue *value);

// 1 when the value may be stored for the engine property id.
int Css_valueAllowed(uint32_t engineId, const CssTypedValue *value);
// Stores a typed value for the engine property id in rule (flag bit 0 when
// important). Values the property does not take are skipped. 0 or 1.
int Css_setProperty(const CssTypedValue *value, uint32_t engineId, int important, StyleRule *rule,
                    int *changed);
// Applies one declaration (the value list, the property row, !important)
// to rule. *recorded = 1 when it applied. 0, or 1 when memory runs out.
int Css_applyDeclaration(EngineContext *context, CssValueList *values, uint32_t property,
                         int important, StyleRule *rule, int *recorded, int *changed);

// The engine's unset marker: a shorthand component that was not given.
enum : uint32_t { Css_unsetMarker = 57, Css_displayTableLike = 179, Css_keywordInherit = 73 };
