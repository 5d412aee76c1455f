// 16-bit strings.
//
// Inside the engine all text is 16-bit: a NUL-terminated array of char16_t
// code units (the engine's one type for 16-bit text). Lengths and counts are
// in units, never bytes, and one unit counts as one character here
// (surrogate pairs are not combined by these routines). The Latin case rule
// that every case-insensitive operation of the engine uses lives here too:
// it folds ASCII, Latin-1 and Latin Extended-A (up to U+017F) and leaves
// every other character alone.
//
// Null pointers are accepted only where a function says so. Allocating
// functions take their memory from the engine heap; the caller owns what
// they return and frees it with Mem_free. They return null when the heap is
// exhausted and leave no partial result behind.
//
// Operations that mix a 16-bit string with an 8-bit one (the *Cstr forms)
// read the 8-bit side as signed bytes, so a byte 0x80-0xFF never equals a
// 16-bit character and folds to itself; their 8-bit arguments are ASCII in
// every use.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------- case mapping
// One character in, one out. Capitals of A-Z, U+00C0-U+00DE (not U+00D7)
// and Latin Extended-A map to their small letters; U+0130 gives 'i' and
// U+0178 gives U+00FF. Every other value comes back unchanged.
uint32_t Ustr_lowerChar(uint32_t c);
// The mirror image of Ustr_lowerChar; U+00FF gives U+0178, U+0131 gives 'I'
// and U+017F (long s) gives 'S'.
uint32_t Ustr_upperChar(uint32_t c);
// The same rules applied only to c below 128 (others are unchanged).
uint32_t Ustr_lowerAscii(uint32_t c);
uint32_t Ustr_upperAscii(uint32_t c);

// ----------------------------------------------------------- measuring
// Length in units; 0 for null.
size_t Ustr_len(const char16_t *s);
// *la and *lb = the lengths of a and b (null counts 0), *total = their
// sum plus 2 (room for both terminators).
void Ustr_pairLengths(const char16_t *a, const char16_t *b, size_t *la, size_t *lb, size_t *total);

// ---------------------------------------------------------- comparison
// a[i] - b[i] at the first mismatch or at a's end (0 when equal); -1 when
// either is null.
int Ustr_cmp(const char16_t *a, const char16_t *b);
// As Ustr_cmp over at most n units; 0 when n is 0 even for null arguments,
// else -1 when either is null.
int Ustr_ncmp(const char16_t *a, const char16_t *b, size_t n);
// As Ustr_cmp and Ustr_ncmp with an 8-bit b read as signed bytes.
int Ustr_cmpCstr(const char16_t *a, const char *b);
int Ustr_ncmpCstr(const char16_t *a, const char *b, size_t n);
// Case-insensitive comparison with an 8-bit b; no null check. Walks while
// a[i] is not 0: equal units pass; otherwise the walk stops when a[i] is
// above U+017F, else both sides are folded with Ustr_lowerChar and must be
// equal. The result is the raw difference a[i] - b[i] where it stopped.
int Ustr_icmpCstr(const char16_t *a, const char *b);
// Case-insensitive comparison of at most n units. Unequal units are folded
// (each side only if not above U+017F) and compared; the result is the
// difference of the folded values, 0 when n runs out or both end.
int Ustr_nicmp(const char16_t *a, const char16_t *b, size_t n);
// As Ustr_nicmp with an 8-bit b: b is folded as a signed byte and the folded
// value cut to a signed 8-bit value.
int Ustr_nicmpCstr(const char16_t *a, const char *b, size_t n);

// ------------------------------------------------------------- copying
// Copies src with its terminator into dst; returns dst.
char16_t *Ustr_cpy(char16_t *dst, const char16_t *src);
// Copies up to n units, stopping at src's end; writes a terminator only when
// fewer than n units were copied. Returns dst.
char16_t *Ustr_ncpy(char16_t *dst, const char16_t *src, size_t n);
// As Ustr_ncpy from an 8-bit src; each byte is sign-extended into its unit
// (bytes 0x80-0xFF become 0xFF80-0xFFFF). Returns dst.
char16_t *Ustr_ncpyCstr(char16_t *dst, const char *src, size_t n);
// Appends src to dst; returns dst, or null when either is null.
char16_t *Ustr_cat(char16_t *dst, const char16_t *src);
// Appends up to n units of src to dst and always terminates. n 0 returns dst
// untouched; otherwise null in either gives null.
char16_t *Ustr_ncat(char16_t *dst, const char16_t *src, size_t n);

// ---------------------------------------------------------- allocating
// A new copy of src; null for null or when memory runs out.
char16_t *Ustr_dup(const char16_t *src);
// A new string of up to n units of src (fewer when src ends first),
// terminated; null for null or when memory runs out.
char16_t *Ustr_dupN(const char16_t *src, size_t n);
// A new 16-bit string from 8-bit text, bytes zero-extended (Latin-1
// reading); null for null or when memory runs out.
char16_t *Ustr_fromCstr(const char *src);
// As Ustr_fromCstr over exactly n bytes, NUL bytes included.
char16_t *Ustr_fromCstrN(const char *src, size_t n);
// A new 8-bit string holding the low byte of each of the n units of src,
// terminated; null for null or when memory runs out.
char *Cstr_fromUstrN(const char16_t *src, size_t n);
// Grows the heap string first (or null) to hold first followed by src and
// returns the new pointer, which replaces first. A null src returns first
// unchanged; a null first makes a copy of src. Null when memory runs out:
// first is then left as it was and still belongs to the caller.
char16_t *Ustr_appendDup(char16_t *first, const char16_t *src);

// ----------------------------------------------------------- searching
// The first (last) unit equal to c, or null. The terminator is never found.
// s must not be null.
char16_t *Ustr_chr(const char16_t *s, uint32_t c);
char16_t *Ustr_rchr(const char16_t *s, uint32_t c);
// The first occurrence of needle in haystack, or null; an empty needle
// gives the haystack. Neither may be null.
char16_t *Ustr_str(const char16_t *haystack, const char16_t *needle);
// The first place in haystack where the 8-bit needle (bytes read as
// Latin-1) stands, ignoring case: both sides are folded with
// Ustr_lowerChar, and units above U+017F are compared unchanged. An empty
// needle gives the haystack; no match gives null. Neither may be null.
char16_t *Ustr_findAsciiNoCase(const char16_t *haystack, const char *needle);
// The first unit of the first place where the m ASCII characters of needle
// stand in the n units of haystack (counted, no terminator needed; exact
// comparison, a needle byte 0x80-0xFF matches no unit), or null. m 0 or a
// null needle gives the haystack (null for a null haystack).
char16_t *Ustr_findAsciiN(const char16_t *haystack, uint32_t n, const char *needle, uint32_t m);

// ---------------------------------------------------- in-place changes
// Maps every unit not above U+017F through the case rule.
void Ustr_lowerInPlace(char16_t *s);
void Ustr_upperInPlace(char16_t *s);
// Capitalises the first letter of every word. A word starts at the
// beginning and after every unit that is not an ASCII letter or digit and
// not an apostrophe (U+0027 or U+2019); every non-ASCII unit starts a word.
void Ustr_titleCaseInPlace(char16_t *s);
// Reverses the first n units in place.
void Ustr_reverseN(char16_t *s, size_t n);
// Removes every unit equal to ch from the first n units in place, keeping
// the order of the others, and returns how many are left. Nothing is
// written past the kept units.
size_t Ustr_removeChar(char16_t *text, size_t n, char16_t ch);

// A new string from the n units of src with every run of ASCII white space
// dropped at both ends and collapsed to one blank between words. Null for a
// null src or when memory runs out; n 0 gives an empty string.
char16_t *Ustr_collapseSpace(const char16_t *src, size_t n);

// 1 when one of the first n units lies in U+0590-U+0E5B (Hebrew to Thai),
// U+FB1D-U+FEFC (presentation forms) or U+AC00-U+D7A3 (Hangul); 0 for a
// null string or n 0.
int Ustr_hasComplexScript(const char16_t *s, size_t n);

// -------------------------------------------------------------- parsing
// Decimal numbers of 16-bit text. Each takes the text, an end pointer or
// null (then the text ends at its terminator), an out end pointer or null,
// and the out value. Returns 1 on success, 0 on failure. The out end
// pointer, when given, always receives where scanning stopped; the value is
// written only on success. Parsing fails when no digit was taken, or when
// scanning did not stop exactly at the end (at the terminator without an
// end pointer).
// Ustr_parseU16 stops before a digit that would take the value above 65535
// (so such text fails); Ustr_parseUint and Ustr_parseInt wrap modulo 2^32.
// Ustr_parseInt accepts one leading '-' (no '+').
[[nodiscard]] int Ustr_parseU16(const char16_t *text, const char16_t *end, const char16_t **stop,
                                uint16_t *value);
[[nodiscard]] int Ustr_parseUint(const char16_t *text, const char16_t *end, const char16_t **stop,
                                 uint32_t *value);
[[nodiscard]] int Ustr_parseInt(const char16_t *text, const char16_t *end, const char16_t **stop,
                                int32_t *value);

// A minimal decimal reader: skips white space (tab, line feed, vertical
// tab, form feed, carriage return, space), one '+' or '-', then digits and
// after a '.' fraction digits; no exponent. Each digit is taken in double
// precision and kept as a float, and the result is (sign x digits) /
// (10 to the number of fraction digits) in single precision. Reading
// stops at the first other character (any unit of 127 or above included);
// no number gives 0.0, and so does a null text. Fraction digits that come
// once the digits read make 10^30 or more are passed over: they cannot
// change a float, and taking them would overflow both digits and divisor
// into infinity and give not-a-number.
float Ustr_parseDecimalFloat(const char16_t *text);

// ------------------------------------------------------ percent escapes
// p points at a '%': the value of the two hexadecimal digits after it, or
// 0 when they are not both hexadecimal digits.
int Ustr_hexPairValue(const char16_t *p);
// Decodes every percent escape with a non-zero value in place ("%00" and
// malformed escapes stay as written); returns s.
char16_t *Ustr_unescapeInPlace(char16_t *s);
// A new string in which every unit equal to c is written as '%' and two
// upper-case hexadecimal digits of the unit's low byte. Null for a null s or
// when memory runs out.
char16_t *Ustr_escapeChar(const char16_t *s, uint32_t c);
// As Ustr_escapeChar for every unit that occurs in the 16-bit set; null
// when either is null or memory runs out.
char16_t *Ustr_escapeSet(const char16_t *s, const char16_t *set);

// ------------------------------------------------------------ code points

// Reads one code point at *pos and advances *pos past it. A high surrogate
// followed by a low surrogate gives the combined code point (two units); an
// unpaired surrogate gives U+FFFD (one unit; the unit after a lone high
// surrogate is left unread). A 0 unit is returned as code point 0 like any
// other. With end not null: returns 1 without reading when *pos has reached
// end, and also when a high surrogate is the last unit before end (then
// *pos is left where it was); otherwise 0.
int Ustr_nextCodePoint(const char16_t **pos, uint32_t *codePoint, const char16_t *end);

// Writes one code point at *out and advances *out past it: one unit below
// U+10000, else a surrogate pair (high unit first). Surrogate values
// (U+D800-U+DFFF) and values above U+10FFFF are written as U+FFFD. With end
// not null nothing is written past it: 1 when *out has reached end, and
// also when only one unit of room is left for a pair (then *out is left
// where it was); otherwise 0. The charset decoders write every code point
// through this.
int Ustr_putCodePoint(char16_t **out, uint32_t codePoint, const char16_t *end);

// ------------------------------------------------------------ appending

// Widens text8 (Latin-1, bytes zero-extended) and appends it to the heap
// string s (null counts as empty), growing s by reallocation. Returns the
// new string, which replaces s; s itself when text8 is null; null when
// memory runs out, and then s is left as it was and still belongs to the
// caller.
char16_t *Ustr_appendCstr(char16_t *s, const char *text8);
