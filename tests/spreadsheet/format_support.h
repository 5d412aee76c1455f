// Helpers of the spreadsheet format tests: UTF-8 and UTF-16 text, the
// escaped fields of the fixture tables, and formatting one value.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/format/numfmt.h"

inline std::u16string utf16(const std::string &s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        int n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if (c < 0xE0) {
            cp = c & 0x1F;
            n = 2;
        } else if (c < 0xF0) {
            cp = c & 0x0F;
            n = 3;
        } else {
            cp = c & 0x07;
            n = 4;
        }
        for (int k = 1; k < n && i + k < s.size(); k++)
            cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

inline std::string utf8(const std::u16string &s)
{
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A field of the fixture tables: \t, \n and \\ stand for tab, newline and
// backslash.
inline std::string unescapeField(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char c = s[++i];
            out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

inline std::vector<std::string> splitTabs(const std::string &line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// Formats a number (or a text when text is not null) and answers the
// result as UTF-8; "<error N>" when formatting fails.
inline std::string formatWith(uint16_t index, const std::u16string *code, double value,
                              const char *locale = nullptr, uint32_t flags = 0, uint32_t width = 0,
                              uint32_t *colour = nullptr, const std::u16string *text = nullptr)
{
    Excel_FmtRequest r{};
    r.formatIndex = index;
    r.code = code ? code->c_str() : nullptr;
    r.kind = text ? Excel_fmtText : Excel_fmtNumber;
    r.value = text ? static_cast<const void *>(text->c_str()) : &value;
    r.flags = flags | Excel_fmtShowZero;
    r.width = width;
    r.locale = locale;
    r.colour = colour;
    char16_t *out = nullptr;
    int rc = Excel_Fmt_formatValue(&r, &out);
    if (rc != Res_ok)
        return "<error " + std::to_string(rc) + ">";
    std::string s = utf8(out);
    Mem_free(out);
    return s;
}
