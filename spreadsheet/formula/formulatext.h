// Formula text: the parser that turns a formula typed into a cell into the
// BIFF8 token string a file would hold, and the renderer that turns a token
// string back into the same text language.
//
// The language knows the 31 functions of the engine's function-name table
// (platform/api/funcnames.h; English names unless the host installed
// translated ones), the operators + - * / ^ < <= = >= > <> and %, numbers,
// strings in double quotes, the two truth words, "#REF!", cell and area
// references up to IV65536 with "$", whole rows and columns (1:3, A:B),
// parentheses, spaces and line breaks. Names and references are read
// without regard to case; strings keep theirs. The text is UTF-8 both ways
// and carries no leading "=".
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;

enum : int {
    Excel_formulaMaxText = 1023,  // bytes of formula text the parser reads at most
    Excel_formulaMaxString = 255, // characters of one string constant
};

// ------------------------------------------------------------ functions

// Function ids of the parser's names, in the order of the name table,
// followed by the terminator 0x80000000.
extern const int32_t Excel_Func_parserIds[32];

// A function's argument range and the classes it wants: argument 1 in bits
// 4-5, argument 2 in bits 2-3, arguments 3 on in bits 0-1 (1 reference,
// 2 value, 3 array); bit 6 marks IF, whose own token takes the class of
// the argument it stands in.
struct Excel_FuncSignature {
    int32_t minArgs;
    int32_t maxArgs;
    uint32_t classBits;
};

// The signature of one of the parser's functions; null for other ids.
const Excel_FuncSignature *Excel_Func_signature(int32_t functionId);

// The name-table index of a function id; -1 when it has no name.
int32_t Excel_Func_nameIndex(int32_t functionId);
// The function id at a name-table index; -1 outside 0-30.
int32_t Excel_Func_idAt(int32_t index);
// The class offset a function wants for its argument (0-based): 0x00
// reference, 0x20 value, 0x40 array; 0x00 for functions outside the table.
uint32_t Excel_Formula_argClass(int32_t functionId, uint32_t argument);

// ------------------------------------------------------------ the parser

// What the parser reads: the engine context (its function-name table) and
// the NUL-terminated UTF-8 formula text.
struct Excel_FormulaSource {
    EngineContext *context;
    const char *text;
};

// What the parser writes.
struct Excel_FormulaTokens {
    uint8_t *tokens; // owned, null when empty
    size_t length;
    size_t capacity;
    size_t lastToken;    // position of the last token written
    uint32_t isVolatile; // 1 when the formula calls NOW
    int32_t format;      // the built-in number format of the last function named; -1 none
};

// Parses the text into out (which the call clears first). 0 with the token
// string in out (freed with Excel_FormulaTokens_free); 0x6608 for any
// syntax error, 1 without memory, 16 for a missing argument; on every
// failure out is left empty. Without a name table in the context the
// English names are read.
[[nodiscard]] int Excel_Formula_parseText(const Excel_FormulaSource *source,
                                          Excel_FormulaTokens *out);

// The value of a number of formula text: an optional sign, digits with at
// most one ".", an optional exponent after "E" or "e". Rounded once from
// 19 significant digits where the platform's wide floating type allows, so
// that the shortest text the renderer writes for a double reads back to
// that double. Null reads 0.0.
double Excel_Formula_readNumber(const char *text);

// Frees the token string and clears the record. Null is ignored.
void Excel_FormulaTokens_free(Excel_FormulaTokens *tokens);

// ---------------------------------------------------------- the renderer

// Renders a token string as formula text: a new UTF-8 string in *text
// (freed by the caller with Mem_free). 0; 0x6608 for a token that cannot be
// written as text (3-D references, names, arrays, the operators & and
// union, intersection and range, error constants), a malformed token string
// or a number that is not finite; 0x6609 for a function without a name in
// the table; 1 without memory; 16 for a missing argument. *text is null on
// failure and for an empty token string (which gives 0x6608).
[[nodiscard]] int Excel_Formula_toText(EngineContext *context, const uint8_t *tokens, size_t length,
                                       char **text);

// The letters of a column (its low byte: 0 "A" to 255 "IV") into out, which
// holds 3 bytes; returns the number of letters.
size_t Excel_Formula_colText(uint32_t column, char *out);
