// docdump's --cells (see cellsdump.h).
#include "tools/docdump/cellsdump.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"

namespace {

std::string utf8(const char16_t *s)
{
    std::string out;
    for (; s && *s; s++) {
        uint32_t c = *s;
        if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(s[1]) - 0xDC00);
            s++;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string escape(const std::string &s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

const char *kindName(uint32_t kind)
{
    switch (kind) {
    case Excel_valBoolean: return "bool";
    case Excel_valInteger:
    case Excel_valNumber: return "number";
    case Excel_valError: return "error";
    case Excel_valString: return "text";
    default: return "blank";
    }
}

std::string rawValue(const ExcelCellValue *v)
{
    switch (v->kind) {
    case Excel_valBoolean: return v->value.boolean ? "1" : "0";
    case Excel_valInteger: return CellsDump_number(double(v->value.integer));
    case Excel_valNumber: return CellsDump_number(v->value.number);
    case Excel_valError: return v->value.error ? v->value.error : "";
    case Excel_valString: return escape(utf8(v->value.text.text));
    default: return "";
    }
}

} // namespace

std::string CellsDump_number(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buf[64];
    int precision = 1;
    for (; precision <= 17; precision++) {
        snprintf(buf, sizeof buf, "%.*e", precision - 1, value);
        if (strtod(buf, nullptr) == value)
            break;
    }
    // buf: [-]d[.ddd]e[+-]xx
    std::string s = buf;
    size_t e = s.find('e');
    int exponent = atoi(s.c_str() + e + 1);
    std::string mantissa = s.substr(0, e);
    bool negative = mantissa[0] == '-';
    if (negative)
        mantissa.erase(0, 1);
    std::string digits;
    for (char c : mantissa)
        if (c != '.')
            digits += c;
    std::string out = negative ? "-" : "";
    if (exponent < -4 || exponent >= 16) {
        out += digits.substr(0, 1);
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        snprintf(buf, sizeof buf, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return out + buf;
    }
    if (exponent < 0)
        return out + "0." + std::string(size_t(-exponent - 1), '0') + digits;
    if (digits.size() <= size_t(exponent) + 1)
        return out + digits + std::string(size_t(exponent) + 1 - digits.size(), '0') + ".0";
    return out + digits.substr(0, size_t(exponent) + 1) + "." + digits.substr(size_t(exponent) + 1);
}

void CellsDump_run(EngineInstance *instance, const std::string &url, CellsDumpResult *result)
{
    EngineContext *ctx = instance->context;
    Url *u = Url_newFromCstr(url.c_str());
    OleHandle *ole = nullptr;
    int err = u ? Ole_openUrl(ctx, u, &ole, Vfs_modeRead | Vfs_modeSeekable) : 1;
    Url_free(u);
    ExcelLoad load{};
    load.context = ctx;
    if (err == 0)
        err = Excel_readWorkbookStream(&load, ole);
    if (err == 0) {
        uint32_t index = 0;
        std::string cells;
        for (ExcelSheetEntry *e = load.sheets; e; e = e->next) {
            if (!e->sheet)
                continue;
            char line[64];
            result->output += "#sheet\t" + std::to_string(index) + "\t" + escape(utf8(e->name)) +
                              "\t" + std::to_string(e->visibility) + "\n";
            const ExcelLoadSheet *s = e->sheet;
            for (uint32_t r = 0; r < s->rowCount; r++) {
                const ExcelRow *row = s->rows[r];
                for (uint32_t c = 0; c < row->slots; c++) {
                    const ExcelCellValue *v = &row->cells[c];
                    if (v->kind == Excel_valFiller)
                        continue;
                    char16_t *shown = nullptr;
                    int rc =
                        Excel_cellDisplayText(&load, s, v, Excel_cellWidth(s, row->row, c), &shown);
                    std::string display =
                        rc == 0 ? escape(utf8(shown)) : "?error " + std::to_string(rc);
                    Mem_free(shown);
                    snprintf(line, sizeof line, "%u\t%u\t%u\t", index, uint32_t(row->row), c);
                    cells += line;
                    cells += std::string(v->formula ? "formula-" : "") + kindName(v->kind) + "\t" +
                             rawValue(v) + "\t" + std::to_string(v->xf) + "\t" + display + "\n";
                }
            }
            index++;
        }
        result->output += cells;
        // The token strings of shared-formula cells, re-based to each cell.
        index = 0;
        for (ExcelSheetEntry *e = load.sheets; e; e = e->next) {
            if (!e->sheet)
                continue;
            std::vector<const ExcelLoadFormula *> shared;
            for (const ExcelLoadFormula *f = e->sheet->formulas; f; f = f->next)
                if ((f->options & 0x0008) && f->tokens)
                    shared.push_back(f);
            std::sort(shared.begin(), shared.end(),
                      [](const ExcelLoadFormula *a, const ExcelLoadFormula *b) {
                          return a->row != b->row ? a->row < b->row : a->column < b->column;
                      });
            for (const ExcelLoadFormula *f : shared) {
                std::string hex;
                char byte[3];
                for (uint32_t i = 0; i < f->length; i++) {
                    snprintf(byte, sizeof byte, "%02x", f->tokens[i]);
                    hex += byte;
                }
                result->output += "#tokens\t" + std::to_string(index) + "\t" +
                                  std::to_string(f->row) + "\t" + std::to_string(f->column) + "\t" +
                                  hex + "\n";
            }
            index++;
        }
    }
    Excel_loadFree(&load);
    Ole_close(&ole);
    result->error = err;
    result->done = 1;
}
