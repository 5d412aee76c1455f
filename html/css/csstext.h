// CSS text of style values, declarations and rules, with shorthands
// recomposed from their components. Every text is new (Mem_free); null
// when there is none or memory runs out.
#pragma once

#include <cstdint>

struct Prop;
struct StyleRule;

// A value's text: numbers, lengths and colours by their property text,
// strings as written (url(...) for the two image properties), keywords by
// name.
char16_t *Css_valueToText(const Prop *value);
// "name:value", with "!important" when the value takes precedence; null
// when the property has no CSS name.
char16_t *Css_propertyDeclText(const Prop *value);
// Every declaration of the rule joined by "; " (the background position
// and border spacing through their shorthands).
char16_t *Css_ruleToText(const StyleRule *rule);
// The value text of one CSS property (NUL-terminated name), shorthands
// recomposed from the components that are set.
char16_t *Css_propertyToText(const StyleRule *rule, const char16_t *name);
// The texts joined with separator between them.
char16_t *Css_joinTexts(char16_t *const *texts, uint32_t count, const char16_t *separator);
