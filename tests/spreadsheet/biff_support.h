// Test tooling: small BIFF record streams built record by record, wrapped
// in a compound file, and loaded with the workbook loader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/word/cfb_build.h"

namespace biff {

inline std::string u16(uint32_t v)
{
    return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)};
}

inline std::string u32(uint32_t v)
{
    return u16(v & 0xFFFF) + u16(v >> 16);
}

inline std::string f64(double d)
{
    uint64_t bits;
    memcpy(&bits, &d, sizeof bits);
    return u32(uint32_t(bits)) + u32(uint32_t(bits >> 32));
}

inline std::string rec(uint16_t type, const std::string &body)
{
    return u16(type) + u16(uint32_t(body.size())) + body;
}

inline std::string bof(uint16_t version, uint16_t type)
{
    return rec(0x0809, u16(version) + u16(type) + std::string(version == 0x0600 ? 12 : 4, '\0'));
}

inline std::string eof()
{
    return rec(0x000A, "");
}

// A BIFF8 FONT named "Arial", 10 points.
inline std::string font8()
{
    return rec(0x0031, u16(200) + u16(0) + u16(0x7FFF) + u16(400) + u16(0) + std::string(4, '\0') +
                           std::string{5, 0} + "Arial");
}

// A BIFF8 XF of font 0 and number format `format`.
inline std::string xf8(uint16_t format = 0)
{
    return rec(0x00E0, u16(0) + u16(format) + std::string(16, '\0'));
}

inline std::string cell(uint16_t row, uint16_t col, uint16_t xf)
{
    return u16(row) + u16(col) + u16(xf);
}

inline std::string number(uint16_t row, uint16_t col, double v, uint16_t xf = 15)
{
    return rec(0x0203, cell(row, col, xf) + f64(v));
}

inline std::string rk(uint16_t row, uint16_t col, uint32_t v, uint16_t xf = 15)
{
    return rec(0x027E, cell(row, col, xf) + u32(v));
}

inline std::string rowRec(uint16_t row, uint16_t colLimit, uint16_t options = 0x0100,
                          uint16_t xf = 15)
{
    return rec(0x0208, u16(row) + u16(0) + u16(colLimit) + u16(0x80FF) + u16(0) + u16(0) +
                           u16(options) + u16(xf));
}

// A BIFF8 string: u16 count, flags byte, 8-bit characters.
inline std::string str8(const std::string &s)
{
    return u16(uint32_t(s.size())) + std::string(1, '\0') + s;
}

// The globals of a workbook with one font, 21 XFs and the given records,
// followed by one worksheet per sheet body (records up to, not including,
// the EOF), of BOF substream types (worksheets when not given). The
// BOUNDSHEET positions are filled in.
inline std::string book8(const std::string &globalsExtra, const std::vector<std::string> &sheets,
                         uint16_t version = 0x0600, const std::vector<uint16_t> &types = {})
{
    std::string head = bof(version, 5) + font8();
    for (int i = 0; i < 21; i++)
        head += xf8();
    head += globalsExtra;
    std::vector<std::string> names;
    size_t boundSize = 0;
    for (size_t i = 0; i < sheets.size(); i++) {
        std::string name = "Sheet" + std::to_string(i + 1);
        names.push_back(name);
        boundSize += 4 + 7 + name.size() + (version == 0x0600 ? 1 : 0);
    }
    size_t at = head.size() + boundSize + 4; // the globals EOF
    std::string bound, body;
    for (size_t i = 0; i < sheets.size(); i++) {
        std::string sheet = bof(version, i < types.size() ? types[i] : 0x10) + sheets[i] + eof();
        std::string nm = version == 0x0600 ? std::string(1, char(names[i].size())) +
                                                 std::string(1, '\0') + names[i]
                                           : std::string(1, char(names[i].size())) + names[i];
        bound += rec(0x0085, u32(uint32_t(at)) + std::string(2, '\0') + nm);
        at += sheet.size();
        body += sheet;
    }
    return head + bound + eof() + body;
}

inline std::string compound(const std::string &stream, const char16_t *name = u"Workbook")
{
    return Cfb_build({{name, stream}});
}

} // namespace biff
