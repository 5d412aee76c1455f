// Formula tokens: sizes, the reference scanner, the area iterator and the
// 3-D reference tokens.
#include "spreadsheet/formula/ptg.h"

#include "core/result.h"
#include "core/stream/bytestream.h"
#include "office/pack/pack.h"

const uint8_t Excel_Ptg_size[64] = {
    1, 5, 5, 1, 1, 1, 1, 1, 1, 1, 1, 1,  1, 1,  1, 1, // 0x00-0x0F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  2, 2,  3, 9, // 0x10-0x1F
    8, 3, 4, 5, 5, 9, 7, 7, 7, 3, 5, 9,  5, 9,  3, 3, // 0x20-0x2F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 7, 7, 11, 7, 11, 1, 1, // 0x30-0x3F
};

int32_t Excel_Ptg_fold(uint32_t id)
{
    if (id >= 0x80)
        return -1;
    if (id >= 0x60)
        return static_cast<int32_t>(id - 0x40);
    if (id >= 0x40)
        return static_cast<int32_t>(id - 0x20);
    return static_cast<int32_t>(id);
}

namespace {

bool attributeAccepted(uint8_t a)
{
    switch (a) {
    case 0x00:
    case 0x01:
    case 0x02:
    case 0x04:
    case 0x08:
    case 0x10:
    case 0x20:
    case 0x40:
    case 0x41: return true;
    default: return false;
    }
}

} // namespace

int Excel_Ptg_tokenSize(const uint8_t *tokens, size_t length, size_t pos, size_t *size)
{
    *size = 0;
    if (!tokens || pos >= length)
        return Res_formulaBadToken;
    int32_t id = Excel_Ptg_fold(tokens[pos]);
    if (id < 0)
        return Res_formulaBadToken;
    size_t left = length - pos;
    size_t n;
    switch (id) {
    case Excel_ptgStr:
        // id, count, options, then count bytes or count 16-bit characters.
        if (left < 3)
            return Res_formulaBadToken;
        n = 3 + size_t(tokens[pos + 1]) * ((tokens[pos + 2] & 1) ? 2 : 1);
        break;
    case Excel_ptgExtended:
        if (left < 2)
            return Res_formulaBadToken;
        n = tokens[pos + 1] == 10 || tokens[pos + 1] == 11 ? 16 : 7;
        break;
    case Excel_ptgAttr:
        if (left < 4 || !attributeAccepted(tokens[pos + 1]))
            return Res_formulaBadToken;
        // choose: a count n and a jump table of n + 1 offsets.
        n = tokens[pos + 1] == Excel_attrChoose ? 6 + 2 * size_t(Bytes_peekU16Le(tokens + pos + 2))
                                                : 4;
        break;
    default: n = Excel_Ptg_size[id]; break;
    }
    if (n > left)
        return Res_formulaBadToken;
    *size = n;
    return Res_ok;
}

int Excel_Ptg_nextRef(const uint8_t *tokens, size_t length, size_t *pos, uint8_t *id)
{
    *id = 0;
    while (*pos < length) {
        int32_t folded = Excel_Ptg_fold(tokens[*pos]);
        size_t size;
        int rc = Excel_Ptg_tokenSize(tokens, length, *pos, &size);
        if (rc != Res_ok)
            return rc;
        if (folded == Excel_ptgRef || folded == Excel_ptgArea || folded == Excel_ptgRefN ||
            folded == Excel_ptgAreaN) {
            *id = static_cast<uint8_t>(folded);
            return Res_ok;
        }
        *pos += size;
    }
    *pos = length;
    return Res_ok;
}

// ------------------------------------------------------------ area walk

namespace {

void finish(Excel_AreaIter *iter, size_t *pos, int keepPosition)
{
    iter->more = 0;
    if (!keepPosition && pos)
        *pos += 9;
}

} // namespace

void Excel_AreaIter_begin(Excel_AreaIter *iter, const uint8_t *tokens, size_t *pos,
                          int keepPosition, Excel_RefCell *cell)
{
    const uint8_t *op = tokens + *pos + 1;
    iter->firstRow = Bytes_peekU16Le(op);
    iter->lastRow = Bytes_peekU16Le(op + 2);
    iter->firstColumn = op[4];
    iter->lastColumn = op[6];
    iter->rowStep = iter->firstRow > iter->lastRow ? -1 : 1;
    iter->columnStep = iter->firstColumn > iter->lastColumn ? -1 : 1;
    iter->row = iter->firstRow;
    iter->column = iter->firstColumn;
    iter->more = 1;
    *cell = Excel_RefCell{iter->row, iter->column};
    if (iter->row == iter->lastRow && iter->column == iter->lastColumn)
        finish(iter, pos, keepPosition);
}

void Excel_AreaIter_next(Excel_AreaIter *iter, Excel_RefCell *cell, size_t *pos, int keepPosition)
{
    if (!iter->more) {
        *cell = Excel_RefCell{iter->row, iter->column};
        return;
    }
    if (iter->column == iter->lastColumn) {
        iter->column = iter->firstColumn;
        iter->row = static_cast<uint16_t>(iter->row + iter->rowStep);
    } else {
        iter->column = static_cast<uint16_t>(iter->column + iter->columnStep);
    }
    *cell = Excel_RefCell{iter->row, iter->column};
    if (iter->row == iter->lastRow && iter->column == iter->lastColumn)
        finish(iter, pos, keepPosition);
}

// ------------------------------------------------------- 3-D references

int Excel_Ref3d_read(const uint8_t *tokens, size_t length, Excel_Ref3d *ref)
{
    if (!ref || !tokens)
        return Res_nullInput;
    *ref = Excel_Ref3d{};
    if (length < 1)
        return Res_formulaBadToken;
    int32_t id = Excel_Ptg_fold(tokens[0]);
    if (id < Excel_ptgRef3d || id > Excel_ptgAreaErr3d)
        return Res_ok;
    bool area = id == Excel_ptgArea3d || id == Excel_ptgAreaErr3d;
    if (length < (area ? 11u : 7u))
        return Res_formulaBadToken;
    uint8_t tokenId;
    uint16_t ixti;
    int at = Pack_read(tokens, "cs", &tokenId, &ixti);
    ref->id = static_cast<uint8_t>(id);
    ref->ixti = ixti;
    if (area) {
        uint16_t r1, r2, c1, c2;
        Pack_read(tokens + at, "4s", &r1, &r2, &c1, &c2);
        ref->firstRow = r1;
        ref->lastRow = r2;
        ref->firstColumn = c1 & 0x3FFF;
        ref->firstColumnRelative = (c1 >> 14) & 1;
        ref->firstRowRelative = (c1 >> 15) & 1;
        ref->lastColumn = c2 & 0x3FFF;
        ref->lastColumnRelative = (c2 >> 14) & 1;
        ref->lastRowRelative = (c2 >> 15) & 1;
    } else {
        uint16_t r, c;
        Pack_read(tokens + at, "2s", &r, &c);
        ref->firstRow = ref->lastRow = r;
        ref->firstColumn = ref->lastColumn = c & 0x3FFF;
        ref->firstColumnRelative = ref->lastColumnRelative = (c >> 14) & 1;
        ref->firstRowRelative = ref->lastRowRelative = (c >> 15) & 1;
    }
    return Res_ok;
}

int Excel_Ref3d_write(const Excel_Ref3d *ref, uint8_t *buffer, size_t *written)
{
    if (written)
        *written = 0;
    if (!ref || !buffer || !written)
        return Res_missingArgument;
    if (ref->id < Excel_ptgRef3d || ref->id > Excel_ptgAreaErr3d)
        return Res_ok;
    auto columnWord = [](uint16_t column, uint8_t columnRelative, uint8_t rowRelative) {
        return uint32_t(column & 0x3FFF) | (columnRelative ? 0x4000u : 0) |
               (rowRelative ? 0x8000u : 0);
    };
    int n = Pack_write(buffer, "cs", uint32_t(ref->id), uint32_t(ref->ixti));
    if (ref->id == Excel_ptgArea3d || ref->id == Excel_ptgAreaErr3d)
        n += Pack_write(
            buffer + n, "4s", uint32_t(ref->firstRow), uint32_t(ref->lastRow),
            columnWord(ref->firstColumn, ref->firstColumnRelative, ref->firstRowRelative),
            columnWord(ref->lastColumn, ref->lastColumnRelative, ref->lastRowRelative));
    else
        n += Pack_write(
            buffer + n, "2s", uint32_t(ref->firstRow),
            columnWord(ref->firstColumn, ref->firstColumnRelative, ref->firstRowRelative));
    *written = static_cast<size_t>(n);
    return Res_ok;
}

int Excel_Ref3d_fromBiff5(uint8_t *token, size_t *length, const Excel_SheetMap *sheetMap,
                          Excel_RefTables *tables)
{
    if (!token || !length || !tables)
        return Res_missingArgument;
    if (*length < 1)
        return Res_formulaBadToken;
    int32_t id = Excel_Ptg_fold(token[0]);
    bool area = id == Excel_ptgArea3d;
    if ((id != Excel_ptgRef3d && !area) || *length < (area ? 21u : 18u))
        return Res_formulaBadToken;
    int16_t ixals = static_cast<int16_t>(Bytes_peekU16Le(token + 1));
    int16_t firstSheet = static_cast<int16_t>(Bytes_peekU16Le(token + 11));
    int16_t lastSheet = static_cast<int16_t>(Bytes_peekU16Le(token + 13));
    uint32_t external;
    uint32_t first = 0, last = 0;
    if (ixals < 0) {
        external = static_cast<uint32_t>(-int32_t(ixals)) - 1;
        first = static_cast<uint16_t>(firstSheet);
        last = static_cast<uint16_t>(lastSheet);
    } else {
        external = static_cast<uint32_t>(ixals) - 1;
    }
    uint32_t supbook = 0;
    for (uint32_t i = 0; sheetMap && i < sheetMap->count; i++) {
        if (sheetMap->entries[i].external == external) {
            supbook = sheetMap->entries[i].supbook;
            break;
        }
    }
    uint32_t ixti = 0;
    int rc = Excel_ExternSheet_find(tables, static_cast<int32_t>(supbook), first, last, &ixti);
    if (rc != Res_ok)
        return rc;
    Excel_Ref3d ref{};
    ref.id = static_cast<uint8_t>(id);
    ref.ixti = static_cast<uint16_t>(ixti);
    // Row words: bits 0-13 the row, bit 14 column relative, bit 15 row
    // relative; columns are bytes.
    auto split = [](uint16_t word, uint16_t *row, uint8_t *columnRelative, uint8_t *rowRelative) {
        *row = word & 0x3FFF;
        *columnRelative = (word >> 14) & 1;
        *rowRelative = (word >> 15) & 1;
    };
    if (area) {
        uint16_t r1, r2;
        uint8_t c1, c2;
        Pack_read(token + 15, "2s2c", &r1, &r2, &c1, &c2);
        split(r1, &ref.firstRow, &ref.firstColumnRelative, &ref.firstRowRelative);
        split(r2, &ref.lastRow, &ref.lastColumnRelative, &ref.lastRowRelative);
        ref.firstColumn = c1;
        ref.lastColumn = c2;
    } else {
        uint16_t r;
        uint8_t c;
        Pack_read(token + 15, "sc", &r, &c);
        split(r, &ref.firstRow, &ref.firstColumnRelative, &ref.firstRowRelative);
        ref.lastRow = ref.firstRow;
        ref.lastColumnRelative = ref.firstColumnRelative;
        ref.lastRowRelative = ref.firstRowRelative;
        ref.firstColumn = ref.lastColumn = c;
    }
    return Excel_Ref3d_write(&ref, token, length);
}
