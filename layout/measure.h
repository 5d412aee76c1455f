// The intrinsic widths of a group's content, measured into a LayoutCursor
// over the inline content walk (document/style/lookup.h): the narrowest
// width the content can take and the width it takes without wrapping.
// Table and float layout use them. The measurement recurses into blocks,
// so every call checks the stack left first (Edr_Style_stackLeft) and
// refuses with Res_stackExhausted (after posting code 35 to the engine's
// event processor) rather than overrun it. The caller holds the
// document's read lock, and layout holds the style sheets locked for the
// pass.
#pragma once

#include <cstddef>
#include <cstdint>

struct Edr_Node;
struct Edr_Style;
struct LayoutCursor;

// Stack the measurement wants left before it recurses (generous, for
// 64-bit frames and the sanitizer build).
constexpr size_t Edr_Measure_stackMargin = 32 * 1024;

// Measures group (whose set is style) into cursor. fixedWidth: the width is
// fixed (the available width); *endedWithSpace carries whether the text so
// far ended with white space. 0; Res_stackExhausted when too little stack
// is left (code 35 is posted); or the first error.
[[nodiscard]] int Edr_Measure_group(LayoutCursor *cursor, Edr_Node *group, Edr_Style *style,
                                    int fixedWidth, int *endedWithSpace);
// Measures one text node (see the source for the flags).
[[nodiscard]] int Edr_Measure_text(LayoutCursor *cursor, Edr_Node *node, Edr_Style *style,
                                   int fixedWidth, int breakAfter, int lineStart, int trim,
                                   int *endedWithSpace);
// Measures a table node through table layout.
[[nodiscard]] int Edr_Measure_table(LayoutCursor *cursor, Edr_Node *node, Edr_Style *style);
// Measures a form control group.
[[nodiscard]] int Edr_Measure_control(LayoutCursor *cursor, Edr_Node *node, Edr_Style *style);
