// 8-bit strings and the character class table.
//
// 8-bit strings (NUL-terminated bytes) appear only at the engine's edges:
// keywords, file names, MIME types, configuration and wire data. The
// character class table here is the one ctype table of the whole engine;
// every module that classifies ASCII characters reads it.
//
// Null pointers are accepted only where a function says so. Allocating
// functions take their memory from the engine heap (the caller frees the
// result with Mem_free) and return null when the heap is exhausted.
#pragma once

#include <cstddef>
#include <cstdint>

// Class bits of Char_classTable.
enum CharClass : uint8_t {
    Char_upper = 0x01,   // upper-case letter
    Char_lower = 0x02,   // lower-case letter
    Char_digit = 0x04,   // decimal digit
    Char_hex = 0x08,     // hexadecimal digit
    Char_punct = 0x10,   // punctuation
    Char_blank = 0x20,   // blank (space, no-break space)
    Char_space = 0x40,   // white space
    Char_control = 0x80, // control character
};

// The class mask of every value from -128 to 255, looked up at value + 128
// so that a signed byte indexes it directly (entries -128..-1 repeat
// 128..255). Latin-1 letters and symbols above 0xA0 are classified too.
extern const uint8_t Char_classTable[384];

// The class mask of c (-128 to 255).
inline uint8_t Char_class(int c)
{
    return Char_classTable[c + 128];
}

// A new copy of src; null when memory runs out. src must not be null.
char *Cstr_dup(const char *src);
// A new string of up to n bytes of src (fewer when src ends first),
// terminated; null when memory runs out.
char *Cstr_ndup(const char *src, size_t n);

// Comparison of unsigned bytes: -1, 0 or 1.
int Cstr_cmp(const char *a, const char *b);
// Case-insensitive comparison: -1, 0 or 1. Bytes are read signed and folded
// (only ASCII letters change), so bytes 0x80-0xFF sort before ASCII.
int Cstr_icmp(const char *a, const char *b);
// Case-insensitive comparison of at most n bytes, read and folded as in
// Cstr_icmp: the difference of the folded values at the first mismatch,
// else 0.
int Cstr_nicmp(const char *a, const char *b, size_t n);
// Unequal lengths give length(a) - length(b); equal lengths give Cstr_nicmp
// over that length.
int Cstr_icmpLen(const char *a, const char *b);

// The first byte of s equal to c (searching for 0 finds the terminator), or
// null; null for a null s.
char *Cstr_chr(const char *s, int c);
// The first occurrence of needle in haystack, or null; null when either is
// null; an empty needle gives the haystack.
char *Cstr_str(const char *haystack, const char *needle);

// Re-entrant tokeniser over one word of state. With s not null the scan
// starts at s, else it goes on at *pos (null when *pos is null). Leading
// delimiter bytes are skipped; the token runs to the next delimiter, which
// is overwritten with 0, and *pos points after it. At the end of the string
// *pos becomes null, so the next call with a null s returns null.
char *Cstr_tokR(char *s, const char *delims, char **pos);
// Cstr_tokR with its state word kept in the calling thread's engine
// instance, so each engine has its own scan. Without an engine instance it
// returns null.
char *Cstr_tok(char *s, const char *delims);
