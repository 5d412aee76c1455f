// Number and date formats: how a cell value becomes the text it shows.
//
// Every value that is shown (sheet layout, charts, the contents-editing
// dialog) goes through Excel_Fmt_formatValue with the cell's number format:
// a built-in BIFF format index, or a format code from a FORMAT record. The
// engine knows the General format (with and without a width limit), the
// built-in date, time, scientific and fraction formats, the locale's date
// formats (configuration keys "Vexlan_excelLocaleDateShort",
// "Vexlan_excelLocaleDateAndTime", "Vexlan_excelLocaleDateLong" and
// "Vexlan_excelLocaleTime"), and format codes: sections with conditions and
// colours, digit placeholders, grouping, percent, scientific notation,
// fractions, literal texts, and date and time tokens.
//
// Serial dates count days since 1899-12-30 with the time of day as the
// fraction; 1900 counts as a leap year, so serial 60 is 1900-02-29 and 61
// is 1900-03-01. Workbooks of the 1904 date system count from 1904-01-01
// (flag Excel_fmtDate1904).
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct ExcelWorkbook;

// Value kinds of a format request (the cell kinds of the cell store).
enum ExcelFmtKind : uint32_t {
    Excel_fmtEmpty = 0,   // value: null (empty text) or a double (General)
    Excel_fmtBoolean = 1, // value: uint8_t, 0 FALSE, otherwise TRUE
    Excel_fmtInteger = 2, // value: int32_t
    Excel_fmtNumber = 3,  // value: double
    Excel_fmtError = 4,   // value: the NUL-terminated 8-bit error text
    Excel_fmtText = 5,    // value: NUL-terminated 16-bit text
    Excel_fmtArray = 7,   // shown as "array type"
    Excel_fmtGeneral = 8, // value: double, always General
};

enum : uint32_t {
    Excel_fmtShowZero = 1,          // flag: a value below the smallest double shows as "0", not " "
    Excel_fmtDate1904 = 2,          // flag: serials count from 1904-01-01 (the 1904 date system)
    Excel_fmtMaxOutput = 256,       // characters of formatted text at most
    Excel_fmtNoColour = 0xFFFFFFFF, // colour out-field: no section colour
};

// What to format. Fields that a caller does not use are zero.
struct Excel_FmtRequest {
    uint16_t formatIndex;   // the built-in index (the XF's format index)
    const char16_t *code;   // format code, or null for a built-in index without one
    uint32_t kind;          // ExcelFmtKind
    const void *value;      // the value, typed by kind
    uint32_t flags;         // Excel_fmtShowZero, Excel_fmtDate1904
    uint32_t width;         // General width limit in characters (capped at 11, 12 when
                            // negative); 0: no limit
    uint32_t *colour;       // when not null, receives the section's colour (0xAABBGGRR) or
                            // Excel_fmtNoColour
    const char *locale;     // locale tag ("ja-jp", "zh-tw", "zh-cn"), or null
    EngineContext *context; // for the configuration keys; null: the calling thread's engine
};

// Formats the request's value into a new 16-bit string (*result, freed by
// the caller with Mem_free). 0; 16 (Res_missingArgument) for a null request
// or result, or a missing value the kind needs; 1 when memory runs out.
// *result is null on failure.
[[nodiscard]] int Excel_Fmt_formatValue(const Excel_FmtRequest *request, char16_t **result);

// True when the code is "General" ignoring case.
bool Excel_Fmt_isGeneral(const char16_t *code);

// The section of a code that shows a value: 0 a positive number, 1 a
// negative number, 2 zero, 3 text, 4 anything else.
uint32_t Excel_Fmt_sectionOf(uint32_t kind, double value);

// Splits code at the ";" that separate sections (not inside quotes or
// brackets, nor escaped): fills starts[] and lengths[] of up to 4
// sections and answers the number found (at least 1; a null code gives 0).
uint32_t Excel_Fmt_splitSections(const char16_t *code, const char16_t **starts, size_t *lengths);

// The colour named by the first section of the code ("[Red]", "[Blue]",
// ...): true and *colour (0xAABBGGRR) when it names one.
bool Excel_Fmt_colourOf(const char16_t *code, uint32_t *colour);

// The index of the format whose code equals format in the workbook's
// format table; -1 when none (or for null arguments).
int32_t Excel_Fmt_findFormat(const ExcelWorkbook *workbook, const char16_t *format);

// Formats value with a digit-pattern code into buffer (8-bit, capacity
// bytes, NUL-terminated): the value rounded to a whole number, laid into
// the section chosen by the code's conditions. Returns the length.
size_t Excel_Fmt_digitPattern(const char16_t *code, char *buffer, size_t capacity, double value);

// True when the code is a digit pattern: it equals "00000", holds "##-#"
// or "##\-#", or holds a condition ("[" then only digits, ":", ";", "<",
// "=", ">" up to the "]").
bool Excel_Fmt_isDigitPattern(const char16_t *code);

// Lays the digit string (a whole number as printed, NUL-terminated) into
// the section right to left, in place: placeholders take digits, literals
// are copied, grouping separators are inserted, surplus digits go in
// front. Nothing changes for a null argument, an empty digit string, a
// capacity above 255 or a section without a group pattern.
void Excel_Fmt_layDigits(const char16_t *section, char *digits, size_t capacity);

// A calendar date: day of month 1-31, month 0-11, years since 1900.
struct Excel_Date {
    int32_t day;
    int32_t month;
    int32_t year;
};

// The serial day number of the date (1900 counted as a leap year).
double Excel_Date_toSerial(const Excel_Date *date);

// Days in month 1-12 of the year (1900 has 29 days in February); 0 for a
// month outside 1-12.
int32_t Excel_Date_daysInMonth(int32_t year, int32_t month);

// Breaks a serial (whole days) down into a date; false when the serial
// lies outside 0 to 2958465 (9999-12-31). Serial 60 is 1900-02-29.
bool Excel_Date_fromSerial(int64_t serial, Excel_Date *date);
