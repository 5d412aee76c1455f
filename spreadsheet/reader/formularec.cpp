// FORMULA records and the records that follow them.
#include "spreadsheet/reader/formularec.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "spreadsheet/errortext.h"
#include "office/ole2/ole.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"

namespace {

enum : uint16_t {
    recString = 0x0207,
    recShrFmla = 0x04BC,
    recShrFmlaOld = 0x00BC,
    recArray = 0x0221,
    recTable = 0x0236,
    ptgExp = 0x01,
    ptgTbl = 0x02,
    ptgRef = 0x24,
    ptgArea = 0x25,
    ptgRefN = 0x2C,
    ptgAreaN = 0x2D,
};

constexpr int kBadToken = 0x6600;

double rdDouble(const uint8_t *p)
{
    uint64_t bits = 0;
    for (int i = 7; i >= 0; i--)
        bits = (bits << 8) | p[i];
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

// One row and column word pair made absolute (from) or moved (by).
void fixRef(uint8_t *row, uint8_t *col, int fromBase, uint32_t baseRow, uint32_t baseColumn,
            int32_t dRow, int32_t dColumn)
{
    uint16_t c = Bytes_peekU16Le(col);
    uint16_t r = Bytes_peekU16Le(row);
    if (c & 0x8000)
        r = fromBase ? uint16_t(baseRow + uint32_t(int32_t(int16_t(r))))
                     : uint16_t(int32_t(r) + dRow);
    uint8_t low = uint8_t(c & 0xFF);
    if (c & 0x4000)
        low = fromBase ? uint8_t(baseColumn + uint32_t(int32_t(int8_t(low))))
                       : uint8_t(int32_t(low) + dColumn);
    Bytes_putU16Le(row, r);
    Bytes_putU16Le(col, uint16_t((c & 0xFF00) | low));
}

int copyTokens(const uint8_t *src, uint32_t length, uint8_t **out)
{
    *out = static_cast<uint8_t *>(Mem_malloc(length ? length : 1));
    if (!*out)
        return Res_noMemory;
    if (length)
        memcpy(*out, src, length);
    return Res_ok;
}

// Re-bases every reference of a token string. 0 or 0x6600.
int rebaseAll(uint8_t *tokens, size_t length, uint32_t baseRow, uint32_t baseColumn, int32_t dRow,
              int32_t dColumn)
{
    size_t pos = 0;
    while (pos < length) {
        uint8_t id = 0;
        int rc = Excel_Ptg_nextRef(tokens, length, &pos, &id);
        if (rc != Res_ok)
            return rc;
        if (pos >= length || id == 0)
            return Res_ok;
        rc = Excel_Formula_rebase(tokens, length, &pos, baseRow, baseColumn, dRow, dColumn);
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}

int addFormula(ExcelLoadSheet *sheet, uint16_t row, uint16_t column, uint16_t options,
               uint8_t *tokens, uint32_t length, uint32_t extra)
{
    ExcelLoadFormula *f = static_cast<ExcelLoadFormula *>(Mem_calloc(1, sizeof(ExcelLoadFormula)));
    if (!f) {
        Mem_free(tokens);
        return Res_noMemory;
    }
    f->row = row;
    f->column = column;
    f->options = options;
    f->tokens = tokens;
    f->length = length;
    f->extra = extra;
    f->next = sheet->formulas;
    sheet->formulas = f;
    return Res_ok;
}

int readBodyInto(OleStream *stream, const ExcelRecordHeader *h, uint8_t **out)
{
    *out = static_cast<uint8_t *>(Mem_malloc(h->length ? h->length : 1));
    if (!*out)
        return Res_noMemory;
    int rc = h->length ? Ole_streamReadExact(stream, *out, h->length) : Res_ok;
    if (rc != Res_ok) {
        Mem_free(*out);
        *out = nullptr;
    }
    return rc;
}

} // namespace

int Excel_Formula_rebase(uint8_t *tokens, size_t length, size_t *pos, uint32_t baseRow,
                         uint32_t baseColumn, int32_t dRow, int32_t dColumn)
{
    size_t at = *pos;
    if (at >= length)
        return kBadToken;
    int32_t folded = Excel_Ptg_fold(tokens[at]);
    size_t size = folded == ptgRef || folded == ptgRefN     ? 5
                  : folded == ptgArea || folded == ptgAreaN ? 9
                                                            : 0;
    if (size == 0) {
        size_t s = 0;
        int rc = Excel_Ptg_tokenSize(tokens, length, at, &s);
        if (rc != Res_ok)
            return rc;
        *pos = at + s;
        return Res_ok;
    }
    if (length - at < size)
        return kBadToken;
    int fromBase = folded == ptgRefN || folded == ptgAreaN;
    uint8_t *t = tokens + at;
    if (fromBase)
        t[0] = uint8_t(t[0] - 8); // the same class of ptgRef or ptgArea
    if (size == 5) {
        fixRef(t + 1, t + 3, fromBase, baseRow, baseColumn, dRow, dColumn);
    } else {
        fixRef(t + 1, t + 5, fromBase, baseRow, baseColumn, dRow, dColumn);
        fixRef(t + 3, t + 7, fromBase, baseRow, baseColumn, dRow, dColumn);
    }
    *pos = at + size;
    return Res_ok;
}

int Excel_Formula_readRecord(ExcelLoad *load, ExcelLoadSheet *sheet,
                             const ExcelRecordHeader *header)
{
    if (!load || !sheet || !header)
        return Res_missingArgument;
    OleStream *stream = load->stream;
    uint8_t *b = nullptr;
    int rc = readBodyInto(stream, header, &b);
    if (rc != Res_ok)
        return rc;
    uint32_t n = header->length;
    if (n < 20) {
        Mem_free(b);
        return Excel_errMalformed;
    }
    uint16_t row = Bytes_peekU16Le(b), column = Bytes_peekU16Le(b + 2);
    ExcelCellValue v;
    memset(&v, 0, sizeof v);
    v.xf = Bytes_peekU16Le(b + 4);
    v.sst = -1;
    v.formula = 1;
    int textResult = 0;
    if (Bytes_peekU16Le(b + 12) == 0xFFFF) {
        switch (b[6]) {
        case 0:
            textResult = 1;
            v.kind = Excel_valBlank;
            break;
        case 1:
            v.kind = Excel_valBoolean;
            v.value.boolean = b[8];
            break;
        case 2:
            v.kind = Excel_valError;
            v.errorCode = b[8];
            v.value.error = Excel_errorText(b[8]);
            break;
        default: v.kind = Excel_valBlank; break;
        }
    } else {
        v.kind = Excel_valNumber;
        v.value.number = rdDouble(b + 6);
    }
    uint16_t options = Bytes_peekU16Le(b + 14);
    uint32_t cce = n >= 22 ? Bytes_peekU16Le(b + 20) : 0;
    int biff8 = load->version == Excel_biff8;
    int unsupported = 0;
    uint8_t *tokens = nullptr;
    uint32_t tokenLength = 0;
    uint32_t extraLength = 0;

    // The records that belong to the formula.
    ExcelRecordHeader next{};
    int haveNext = Excel_readRecordHeader(stream, &next) == Res_ok;
    if (haveNext && (next.type == recShrFmla || next.type == recShrFmlaOld) && (options & 0x0008)) {
        uint8_t *s = nullptr;
        rc = readBodyInto(stream, &next, &s);
        if (rc == Res_ok && biff8) {
            uint32_t sc = next.length >= 10 ? Bytes_peekU16Le(s + 8) : 0;
            if (next.length < 10 || sc > uint32_t(next.length - 10)) {
                unsupported = 1;
            } else {
                // The bytes after the tokens (array constants' values)
                // stay with them.
                uint32_t se = uint32_t(next.length - 10) - sc;
                rc = copyTokens(s + 10, sc + se, &tokens);
                if (rc == Res_ok && rebaseAll(tokens, sc, row, column, 0, 0) != Res_ok) {
                    unsupported = 1;
                    Mem_free(tokens);
                    tokens = nullptr;
                }
                if (rc == Res_ok && tokens) {
                    ExcelSharedFormula *sf = static_cast<ExcelSharedFormula *>(
                        Mem_calloc(1, sizeof(ExcelSharedFormula)));
                    uint8_t *copy = nullptr;
                    if (!sf || copyTokens(tokens, sc + se, &copy) != Res_ok) {
                        Mem_free(sf);
                        rc = Res_noMemory;
                    } else {
                        sf->type = recShrFmla;
                        sf->range = {Bytes_peekU16Le(s), Bytes_peekU16Le(s + 2), s[4], s[5]};
                        // The definition is kept for the cell that read it.
                        sf->range.firstRow = row;
                        sf->range.firstColumn = column;
                        sf->tokens = copy;
                        sf->length = sc;
                        sf->extra = se;
                        sf->next = sheet->shared;
                        sheet->shared = sf;
                        tokenLength = sc;
                        extraLength = se;
                    }
                }
            }
        }
        Mem_free(s);
        haveNext = rc == Res_ok && Excel_readRecordHeader(stream, &next) == Res_ok;
    } else if (haveNext && biff8 && cce == 5 && n >= 27 && b[22] == ptgExp && (options & 0x0008)) {
        // A member of a shared formula defined at (exp row, exp column).
        uint16_t er = Bytes_peekU16Le(b + 23), ec = Bytes_peekU16Le(b + 25);
        ExcelSharedFormula *sf = sheet->shared;
        while (sf &&
               !(sf->type == recShrFmla && sf->range.firstRow == er && sf->range.firstColumn == ec))
            sf = sf->next;
        if (!sf) {
            unsupported = 1;
        } else {
            rc = copyTokens(sf->tokens, sf->length + sf->extra, &tokens);
            if (rc == Res_ok) {
                tokenLength = sf->length;
                extraLength = sf->extra;
                if (rebaseAll(tokens, tokenLength, row, column, int32_t(row) - er,
                              int32_t(column) - ec) != Res_ok) {
                    Mem_free(tokens);
                    tokens = nullptr;
                    unsupported = 1;
                }
            }
        }
    }
    if (rc == Res_ok && haveNext && (next.type == recArray || next.type == recTable)) {
        uint8_t *s = nullptr;
        rc = readBodyInto(stream, &next, &s);
        if (rc == Res_ok && biff8) {
            ExcelSharedFormula *sf =
                static_cast<ExcelSharedFormula *>(Mem_calloc(1, sizeof(ExcelSharedFormula)));
            if (!sf) {
                rc = Res_noMemory;
            } else {
                sf->type = next.type;
                if (next.length >= 6)
                    sf->range = {Bytes_peekU16Le(s), Bytes_peekU16Le(s + 2), s[4], s[5]};
                sf->tokens = s;
                sf->length = next.length;
                s = nullptr;
                sf->next = sheet->shared;
                sheet->shared = sf;
            }
        }
        Mem_free(s);
        haveNext = rc == Res_ok && Excel_readRecordHeader(stream, &next) == Res_ok;
    }
    if (rc == Res_ok && biff8 && !tokens && !unsupported) {
        if (n < 23 || cce > n - 22)
            unsupported = 1;
        else if (!(cce == 5 && b[22] == ptgExp && (options & 0x0008))) {
            // The tokens and what follows them in the record.
            rc = copyTokens(b + 22, n - 22, &tokens);
            tokenLength = cce;
            extraLength = n - 22 - cce;
        }
    }
    Mem_free(b);
    if (rc == Res_ok && textResult) {
        // The STRING record follows (one other record may stand between).
        if (haveNext && next.type != recString) {
            rc = Excel_skipRecord(stream, &next);
            haveNext = rc == Res_ok && Excel_readRecordHeader(stream, &next) == Res_ok;
        }
        if (rc == Res_ok && (!haveNext || next.type != recString))
            rc = Excel_errMalformed;
        if (rc == Res_ok) {
            ExcelBody body;
            rc = Excel_readContinued(stream, &next, &body);
            if (rc == Res_ok) {
                ExcelSstEntry e;
                int r = Excel_readRichString(&body, &e, biff8);
                if (r == Res_ok && e.text && e.text[0]) {
                    v.kind = Excel_valString;
                    v.value.text = e;
                } else if (r == Res_ok) {
                    Mem_free(e.text);
                    Mem_free(e.runs);
                } else if (r == Res_noMemory) {
                    rc = r;
                }
                Excel_bodyFree(&body);
            }
        }
        haveNext = 0;
    } else if (rc == Res_ok && haveNext) {
        rc = Ole_streamSeek(stream, uint32_t(0) - 4u, 1);
    }
    if (rc != Res_ok) {
        Mem_free(tokens);
        Excel_cellValueFree(&v);
        return rc;
    }
    if (unsupported)
        sheet->unsupported = 1;
    if (tokens) {
        rc = addFormula(sheet, row, column, options, tokens, tokenLength, extraLength);
        if (rc != Res_ok) {
            Excel_cellValueFree(&v);
            return rc;
        }
    }
    return Excel_putCell(sheet, &v, row, column);
}
