// The catalogue of spreadsheet cell number formats behind the contents edit
// dialog's format menus: a fixed table of 215 (key, code) entries, where a
// key packs the menu choices as category | first detail << 8 | second
// detail << 16 | third detail << 24 and a code is a number-format code in
// UTF-8. Two locale entries (the translated date and date-time formats)
// are searched before the table and override its entries for their keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum NumberFormatCategory : int {
    Format_general = 0,
    Format_text = 1,
    Format_number = 2,
    Format_fraction = 3,
    Format_percentage = 4,
    Format_scientific = 5,
    Format_currency = 6,
    Format_accounting = 7,
    Format_date = 8,
    Format_time = 9,
    Format_custom = 10,
    Format_categories = 11,
};

struct NumberFormatEntry {
    uint32_t key;
    std::string code;
};

// The two locale entries: the translated date format (key 0x10408) and
// date-time format (key 0x408), as UTF-8.
struct NumberFormatLocale {
    std::string dateFormat;
    std::string dateTimeFormat;
};

constexpr uint32_t NumberFormat_key(int category, int first = 0, int second = 0, int third = 0)
{
    return uint32_t(category & 0xFF) | uint32_t(first & 0xFF) << 8 | uint32_t(second & 0xFF) << 16 |
           uint32_t(third & 0xFF) << 24;
}

// The table, in catalogue order.
const NumberFormatEntry *NumberFormat_table();
size_t NumberFormat_count();
// The number of details (detail menus) of a category: 0 above 10.
int NumberFormat_details(int category);
// The key of a code: the first entry (locale entries first) with exactly
// that code; Custom (10) when none has it.
uint32_t NumberFormat_findKey(std::string_view code, const NumberFormatLocale *locale);
// The code of a key into code; false when no entry has the key.
bool NumberFormat_findCode(uint32_t key, const NumberFormatLocale *locale, std::string *code);
// The table entries (locale entries not counted) whose key equals key with
// byte ignoredByte (0 to 3) of both left out.
int NumberFormat_countEntries(uint32_t key, int ignoredByte);
// A date or time code as its menu shows it: without "[$...]" tags, ";@"
// and backslash and double-quote characters.
std::string NumberFormat_display(std::string_view code);
