// Cell formatting as style rules: fonts and XF entries of a workbook
// turned into the style rules (StyleRule) through which cells are drawn,
// and the rule table of a sheet that cells refer to by index.
#pragma once

#include <cstdint>

struct EngineContext;
struct ExcelCell;
struct ExcelFont;
struct ExcelLoad;
struct ExcelRuleTable;
struct ExcelXf;
struct Prop;
struct StyleRule;

// Value types of Excel_setRuleProp.
enum ExcelRulePropType : uint32_t {
    Excel_ruleKeyword = 1, // a keyword (19 and above) or an integer
    Excel_ruleUstr = 2,    // value: const char16_t *, copied; an empty string sets nothing
    Excel_ruleText = 3,    // value: const char *, in the load's character set
    Excel_ruleLength = 4,  // 16.16 inches
    Excel_ruleColour = 5,  // value: the colour word R | G << 8 | B << 16 | A << 24
    Excel_ruleAngle = 6,   // 16.16 degrees
    Excel_ruleMatrix = 8,  // value: a heap Matrix, taken over
};

// Value kinds of a cell (the load-time cell kinds).
enum : uint32_t {
    Excel_valueBoolean = 1,
    Excel_valueInteger = 2,
    Excel_valueNumber = 3,
    Excel_valueError = 4,
    Excel_valueString = 5,
};

// Sets property id of the given type on the scratch value and appends a
// copy to rule. 0; 12559 for another type (the matrix of type 8 is freed);
// 16 for a null rule or scratch; 1 when memory runs out; a conversion
// error of type 3.
[[nodiscard]] int Excel_setRuleProp(EngineContext *context, uint32_t type, Prop *scratch,
                                    uint32_t id, uintptr_t value, StyleRule *rule,
                                    uint32_t charset);

// The font's properties into rule: family (37), colour (29), size (38),
// weight (43), italic (41), strikeout (80), underline (95).
[[nodiscard]] int Excel_fontToRule(const ExcelFont *font, const ExcelLoad *load, StyleRule *rule);

// A new rule for each font of the load, into load->fontRules. 0; 1 when
// memory runs out (nothing is kept); 16 for a null load.
[[nodiscard]] int Excel_fontsToRules(ExcelLoad *load);

// The XF's properties into rule, after its font's: horizontal (79) and
// vertical (135) alignment, indent (81), wrapping (88), and for rotated
// text the matrix (134) and the angle (144). 12561 for a null rule.
[[nodiscard]] int Excel_xfToRule(const ExcelXf *xf, const ExcelLoad *load, StyleRule *rule);

// Creates the sheet's rule table: 3 x XF count empty slots, slot 15 (the
// default XF) filled first, and the right-to-left bit (bit 6 of the
// WINDOW2 options). On failure the table is released.
[[nodiscard]] int Excel_defaultRules(const ExcelLoad *load, ExcelRuleTable *table);

// Finds or makes the rule of a cell holding a value of kind (see above)
// and writes its index into the cell and *index. Each distinct rule is
// made once: the table keeps a lookup of the rules made so far (by what
// they are made from, and by their properties), which the table's owner
// frees with Excel_ruleIndexFree. numberColour, when not null, is the
// colour (0xAABBGGRR) that the number format gives the value. 0; 1 when memory runs out; 16 for
// null arguments.
[[nodiscard]] int Excel_cellRule(ExcelRuleTable *table, const ExcelLoad *load, uint32_t kind,
                                 ExcelCell *cell, uint32_t *index, const uint32_t *numberColour);

// Frees the lookup a table keeps beside its rules (made by Excel_cellRule),
// leaving the rules. Null and a table without one are ignored.
void Excel_ruleIndexFree(ExcelRuleTable *table);

// Destroys count rules (null slots allowed) and the array.
void Excel_rulesFree(StyleRule **rules, uint32_t count);
