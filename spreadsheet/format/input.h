// Typed cell input: what a value typed into a cell means.
//
// The editing bridge asks Excel_Input_parse about a typed text that is not
// a formula: a number, a number with thousands separators, a number in
// scientific notation, a date, a time, a date with a time, or plain text.
// The answer is the value and the built-in number format that the cell
// should get, so that 1,234.50 shows again as 1,234.50 and 3/4/2007 as a
// date.
//
// The rules the engine settles: a two-digit year 00-29 is 2000-2029 and
// 30-99 is 1930-1999; years before 1900 are text (the serial dates begin
// there); date fields are separated by one "/", "-" or "." or by spaces,
// with a "," allowed before spaces ("Jan 3, 2007"); a time may end in "AM" or "PM"
// (any case, with or without a space), which takes hours 1-12.
#pragma once

#include <cstddef>
#include <cstdint>

struct ExcelWorkbook;
struct Excel_Date;

// Built-in formats of typed values.
enum : uint16_t {
    Excel_inputGeneral = 0,
    Excel_inputGrouped = 3,        // "#,##0"
    Excel_inputGroupedDecimal = 4, // "#,##0.00"
    Excel_inputScientific = 11,
    Excel_inputDate = 14,
    Excel_inputDateTime = 22,
    Excel_inputText = 49,
};

// The 1900-system serial of 1904-01-01, day 0 of the 1904 date system.
enum : int32_t { Excel_inputSerial1904 = 1462 };

// What the typed 8-bit text means (leading spaces skipped): *value and
// *format (text gives format 49 and the value 0). A date in a workbook of
// the 1904 date system is a serial of that system (a date before 1904 is
// text there). The date order follows
// "Vexlan_excelLocaleDateShort" (year first for "ja-jp"); a missing year is
// the current one. 0; 1 when memory runs out; 16 for null arguments.
[[nodiscard]] int Excel_Input_parse(const ExcelWorkbook *workbook, const char *input, double *value,
                                    uint16_t *format);

// Reads a number at text: the characters consumed (0 when the text starts
// no number), *value, *format (0, 11, 3 or 4; 49 when the text breaks the
// rules of a number: a second point or exponent, a "," after the point, a
// thousands group of another size than 3) and *grouped (separators seen).
size_t Excel_Input_parseNumber(const char *text, double *value, uint16_t *format, int *grouped);

// Reads a time "h:mm", "h:mm:ss" or "h:mm:ss.fff" with an optional AM/PM:
// the characters consumed (0 when there is no time) and *date, the day
// fraction.
size_t Excel_Input_parseTime(const char *text, double *date);

// Reads a date with fields in the given order ("dmy", "mdy" or "ymd") and
// month names: the characters consumed (0 when there is no date) and the
// date; a missing year is currentYear (years since 1900).
size_t Excel_Input_parseDate(const char *text, Excel_Date *date, const char *order,
                             int32_t currentYear);

// Validates day (1 to the month's length), month (1-12) and year (1900 to
// 9999) and converts: *value is the serial plus the time already in it,
// *format 14, or 22 when that time is above 2^-52; 49 for an invalid date.
void Excel_Input_makeDate(int32_t day, int32_t month, int32_t year, uint16_t *format,
                          double *value);
