// Test tooling for the formula evaluator: token strings built by hand and
// a sheet of cells held in the test, read through the context's reader.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "spreadsheet/formula/eval.h"

namespace ftok {

inline std::string b(uint8_t v)
{
    return std::string(1, char(v));
}

inline std::string w(uint16_t v)
{
    return b(uint8_t(v & 0xFF)) + b(uint8_t(v >> 8));
}

inline std::string num(double d)
{
    uint64_t bits;
    memcpy(&bits, &d, sizeof bits);
    std::string s = b(0x1F);
    for (int i = 0; i < 8; i++)
        s += b(uint8_t(bits >> (8 * i)));
    return s;
}

inline std::string integer(uint16_t v)
{
    return b(0x1E) + w(v);
}

inline std::string boolean(bool v)
{
    return b(0x1D) + b(v ? 1 : 0);
}

// An 8-bit string token.
inline std::string str(const std::string &s)
{
    return b(0x17) + b(uint8_t(s.size())) + b(0) + s;
}

// A 16-bit string token.
inline std::string wstr(const std::u16string &s)
{
    std::string out = b(0x17) + b(uint8_t(s.size())) + b(1);
    for (char16_t c : s)
        out += w(uint16_t(c));
    return out;
}

inline std::string ref(uint16_t row, uint8_t col, uint8_t id = 0x44)
{
    return b(id) + w(row) + w(uint16_t(0xC000 | col));
}

inline std::string area(uint16_t r0, uint8_t c0, uint16_t r1, uint8_t c1, uint8_t id = 0x25)
{
    return b(id) + w(r0) + w(r1) + w(uint16_t(0xC000 | c0)) + w(uint16_t(0xC000 | c1));
}

inline std::string func(uint16_t id)
{
    return b(0x41) + w(id);
}

inline std::string funcVar(uint8_t n, uint16_t id)
{
    return b(0x42) + b(n) + w(id);
}

inline std::string attr(uint8_t a, uint16_t data)
{
    return b(0x19) + b(a) + w(data);
}

// IF(cond, t[, f]) as a BIFF8 writer lays it out: the if attribute jumps
// over the true branch and the goto to the false branch; the goto lands on
// the IF call.
inline std::string ifThen(const std::string &cond, const std::string &t, const std::string &f)
{
    std::string out = cond + attr(0x02, uint16_t(t.size() + 4)) + t;
    if (f.empty())
        return out + attr(0x08, 3) + funcVar(2, 1);
    return out + attr(0x08, uint16_t(f.size() + 3)) + f + funcVar(3, 1);
}

const std::string opAdd = b(0x03), opSub = b(0x04), opMul = b(0x05), opDiv = b(0x06),
                  opPow = b(0x07), opConcat = b(0x08), opLt = b(0x09), opLe = b(0x0A),
                  opEq = b(0x0B), opGe = b(0x0C), opGt = b(0x0D), opNe = b(0x0E), opUplus = b(0x12),
                  opUminus = b(0x13), opPercent = b(0x14), opParen = b(0x15), opMissing = b(0x16);

} // namespace ftok

// Cells held by the test; read through Excel_FormulaContext::readCell.
struct FakeSheet {
    std::map<std::pair<uint32_t, uint32_t>, Excel_FormulaCell> cells;
    std::map<std::pair<uint32_t, uint32_t>, std::u16string> texts;

    static int read(void *data, uint32_t row, uint32_t column, Excel_FormulaCell *cell)
    {
        FakeSheet *s = static_cast<FakeSheet *>(data);
        *cell = Excel_FormulaCell{};
        auto it = s->cells.find({row, column});
        if (it == s->cells.end())
            return 0;
        *cell = it->second;
        if (cell->type == Excel_cellText)
            cell->value.text = s->texts[{row, column}].c_str();
        return 0;
    }
    void number(uint32_t row, uint32_t col, double d, uint16_t format = 0)
    {
        Excel_FormulaCell c{};
        c.format = format;
        c.type = Excel_cellNumber;
        c.value.number = d;
        cells[{row, col}] = c;
    }
    void integer(uint32_t row, uint32_t col, int32_t v)
    {
        Excel_FormulaCell c{};
        c.type = Excel_cellInteger;
        c.value.integer = v;
        cells[{row, col}] = c;
    }
    void boolean(uint32_t row, uint32_t col, bool v)
    {
        Excel_FormulaCell c{};
        c.type = Excel_cellBoolean;
        c.value.boolean = v;
        cells[{row, col}] = c;
    }
    void text(uint32_t row, uint32_t col, const std::u16string &t)
    {
        Excel_FormulaCell c{};
        c.type = Excel_cellText;
        cells[{row, col}] = c;
        texts[{row, col}] = t;
    }
    void error(uint32_t row, uint32_t col, uint8_t code, uint16_t format = 0)
    {
        Excel_FormulaCell c{};
        c.format = format;
        c.type = Excel_cellError;
        c.value.error = code;
        cells[{row, col}] = c;
    }
    void erase(uint32_t row, uint32_t col)
    {
        cells.erase({row, col});
    }
};
