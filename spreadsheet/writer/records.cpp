// Record output of the workbook writer: fresh records into the output
// "Workbook" stream, and copies of source records and source bytes.
#include <cstring>

#include "core/result.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/writer/xlswriter.h"

namespace {

enum : uint32_t {
    Res_shortRecord = 3605,
};

// Reads exactly n bytes at position of the source stream.
int readSource(XlsWriter *w, uint32_t position, uint32_t n, uint8_t *to)
{
    if (!w->sourceStream)
        return Res_nullInput;
    size_t got = 0;
    int rc = Ole_streamReadAt(w->sourceStream, position, n, &got, to);
    if (rc == Res_oleStreamEnd || (rc == Res_ok && got != n))
        return Res_shortRecord;
    return rc;
}

} // namespace

uint32_t XlsWriter_tell(const XlsWriter *w)
{
    return w && w->stream ? Ole_streamTell(w->stream) : 0;
}

int XlsWriter_writeRecord(XlsWriter *w, uint16_t type, const uint8_t *body, size_t length)
{
    if (!w || !w->stream || (length && !body))
        return Res_missingArgument;
    if (length > XlsWriter_recordMax)
        return Res_tableFull;
    uint8_t header[4];
    Pack_write(header, "2s", uint32_t(type), uint32_t(length));
    int rc = OleWriter_streamWrite(w->stream, header, 4);
    if (rc == Res_ok && length)
        rc = OleWriter_streamWrite(w->stream, body, uint32_t(length));
    return rc;
}

int XlsWriter_writeLongRecord(XlsWriter *w, uint16_t type, const uint8_t *data, size_t length)
{
    size_t done = 0;
    do {
        size_t n =
            length - done > XlsWriter_recordMax ? size_t(XlsWriter_recordMax) : length - done;
        int rc = XlsWriter_writeRecord(w, done ? uint16_t(Xls_recContinue) : type,
                                       data ? data + done : nullptr, n);
        if (rc != Res_ok)
            return rc;
        done += n;
    } while (done < length);
    return Res_ok;
}

int XlsWriter_readSourceHeader(XlsWriter *w, uint32_t position, uint16_t *type, uint16_t *length)
{
    if (!w || !type || !length)
        return Res_missingArgument;
    *type = *length = 0;
    uint8_t header[4];
    int rc = readSource(w, position, 4, header);
    if (rc == Res_ok)
        Pack_read(header, "2s", type, length);
    return rc;
}

int XlsWriter_copyRecord(XlsWriter *w, uint16_t type, uint32_t length, uint32_t position)
{
    if (!w || !w->buffer)
        return Res_missingArgument;
    if (!w->sourceStream)
        return Res_nullInput;
    if (length > XlsWriter_recordMax)
        return Res_tableFull;
    int rc = length ? readSource(w, position, length, w->buffer) : Res_ok;
    return rc == Res_ok ? XlsWriter_writeRecord(w, type, w->buffer, length) : rc;
}

int XlsWriter_copyBytes(XlsWriter *w, uint32_t position, uint32_t length)
{
    if (!w || !w->buffer)
        return Res_missingArgument;
    if (!length || !position)
        return Res_ok;
    if (!w->sourceStream)
        return Res_nullInput;
    uint32_t done = 0;
    while (done < length) {
        uint32_t n =
            length - done > XlsWriter_recordMax ? uint32_t(XlsWriter_recordMax) : length - done;
        int rc = readSource(w, position + done, n, w->buffer);
        if (rc == Res_ok)
            rc = OleWriter_streamWrite(w->stream, w->buffer, n);
        if (rc != Res_ok)
            return rc;
        done += n;
    }
    return Res_ok;
}

int XlsWriter_copySourceRecord(XlsWriter *w, const RecListEntry *entry)
{
    if (!w || !entry)
        return Res_missingArgument;
    uint32_t at = RecList_position(entry);
    int rc = XlsWriter_copyRecord(w, uint16_t(RecList_type(entry)), RecList_length(entry), at);
    if (rc != Res_ok)
        return rc;
    if (RecList_getLength(entry))
        return XlsWriter_copyBytes(w, RecList_getStart(entry), RecList_getLength(entry));
    // Without an extent, the CONTINUE records that follow belong to it.
    uint32_t next = at + RecList_length(entry);
    for (;;) {
        uint16_t type = 0, length = 0;
        if (XlsWriter_readSourceHeader(w, next, &type, &length) != Res_ok ||
            type != Xls_recContinue)
            return Res_ok;
        rc = XlsWriter_copyBytes(w, next, 4u + length);
        if (rc != Res_ok)
            return rc;
        next += 4u + length;
    }
}

int XlsWriter_writeBof(XlsWriter *w, uint16_t substream)
{
    uint8_t body[16];
    int n = Pack_write(body, "4s2l", 0x0600u, uint32_t(substream), 3515u, 1996u, 0u, 0u);
    return XlsWriter_writeRecord(w, Xls_recBof, body, size_t(n));
}

int XlsWriter_writeWindow2(XlsWriter *w, uint16_t grbit)
{
    uint8_t body[18];
    int n = Pack_write(body, "9s", uint32_t(grbit), 0u, 0u, 255u, 0u, 0u, 0u, 0u, 0u);
    return XlsWriter_writeRecord(w, Xls_recWindow2, body, size_t(n));
}

int XlsWriter_writeString(uint8_t **cursor, const uint8_t *end, const char16_t *chars, size_t count,
                          uint32_t runs)
{
    if (!cursor || !*cursor || !end || (count && !chars))
        return Res_missingArgument;
    int wide = 0;
    for (size_t i = 0; i < count && !wide; i++)
        wide = chars[i] > 255;
    size_t need = 1 + (runs ? 2 : 0) + count * (wide ? 2 : 1);
    uint8_t *at = *cursor;
    if (at > end || size_t(end - at) < need)
        return Res_tableFull;
    *at++ = uint8_t((wide ? 1 : 0) | (runs ? 8 : 0));
    if (runs)
        at += Pack_write(at, "s", runs);
    for (size_t i = 0; i < count; i++) {
        *at++ = uint8_t(chars[i]);
        if (wide)
            *at++ = uint8_t(chars[i] >> 8);
    }
    *cursor = at;
    return Res_ok;
}
