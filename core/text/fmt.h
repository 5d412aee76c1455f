// Formatted output: the engine's printf-like formatter.
//
// One formatting core serves number-to-text conversion all over the engine,
// the debug messages, and the conversion letters that other modules
// register (the URL module's 'U', for one). It writes into a caller's
// buffer, never past the capacity the caller gives, or only measures. It
// allocates nothing except for the 'S' conversion and for the strings that
// registered conversions return.
//
// The grammar is the engine's own, not the C library's. A conversion is
// '%', then in this order:
//   flags    any of '-' (left-justify), '+' (always a sign), ' ' (a blank
//            where the sign would be), '#' (alternate form), '0' (pad with
//            zeros); a brace group "{...}" among them is skipped;
//   width    decimal digits, or '*' taking an int argument (negative: left-
//            justify with its absolute value);
//   .prec    decimal digits or '*' (a negative value counts as 0); a lone
//            '.' means 0;
//   size     one of 'h' (16-bit), 'l' or 'q' (both 32-bit);
//   letter   d i u o x X p c C s S e E f g G n %, or a registered letter.
//
// How callers pass arguments on this 64-bit host (C varargs):
//   d i c C          int (C: a char16_t, promoted to int)
//   u o x X          unsigned int
//   with 'l' or 'q'  still int / unsigned int: both mean 32 bits here, never
//                    long; with 'h' the int is cut to 16 bits (sign-extended
//                    for d and i, zero-extended for u, o, x, X)
//   e E f g G        double
//   p                any pointer (printed as lower-case hexadecimal)
//   s                const char * (null prints "(NULL)")
//   S                const char16_t * (null prints "(NULL)"); printed through
//                    a temporary copy on the engine heap, "(*error*)" when
//                    none can be had; code points above 0xFE print '?'
//   n                int * (with 'h': int16_t *); receives the count so far
//   * width, * prec  int
//   registered       one pointer-sized word (void *)
//
// Floating-point text follows the engine's rules, which differ from C:
// halves round away from zero ("%.0f" of 2.5 is "3"), "%g" drops the
// leading zero (".5") and writes exponents as "1.e+5". Infinities and NaNs
// print "inf", "-inf" and "nan" ("INF", "NAN" for E and G).
#pragma once

#include <cstdarg>
#include <cstddef>

// Handler of a registered conversion letter: gets the conversion's argument
// word and returns a new NUL-terminated heap string (freed by the formatter
// with Mem_free after printing) or null.
typedef char *(*Fmt_ConversionFn)(void *arg);

// Formats into buf, which holds size bytes, and always terminates it.
// Returns the number of characters written (terminator not counted) when
// the whole text fitted; when it did not, buf holds the first size-1
// characters and the result is size. size 0 writes nothing and returns 0.
// With buf null nothing is written and the result is the length the whole
// text would have (whatever size is).
int Fmt_vsnprintf(char *buf, size_t size, const char *format, va_list args);
int Fmt_snprintf(char *buf, size_t size, const char *format, ...);

// The same formatting into 16-bit text: every character of the 8-bit
// result is widened (Latin-1), size and the result count units.
int Fmt_vsnprintf16(char16_t *buf, size_t size, const char *format, va_list args);
int Fmt_snprintf16(char16_t *buf, size_t size, const char *format, ...);

// A debug message: formatted into a 1024-byte buffer, a text too long for
// it ending in "** truncated **", and handed to the host's debug output
// for levels 0, 1 and 2 only. Returns the formatter's result.
int Fmt_debugLevel(int level, const char *format, ...);
// The same for every message, with the marker "** truncated **\n".
int Fmt_debugPrint(const char *format, ...);

// Registers a conversion letter with the calling thread's engine. Returns 1
// when added; 0 when the letter is already registered (the first
// registration stays), when memory runs out, or without an engine context.
// Letters that the grammar already uses never reach a handler.
int Fmt_registerConversion(char letter, Fmt_ConversionFn handler);
// Drops every registered conversion letter of the calling thread's engine.
void Fmt_clearConversions();
// Removes the registration whose letter and handler both match; nothing
// happens when there is none.
void Fmt_unregisterConversion(char letter, Fmt_ConversionFn handler);
