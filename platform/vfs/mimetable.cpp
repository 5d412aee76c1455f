// The extension and MIME table.
//
// One row per pairing of a file-name extension and a MIME type, in a fixed
// order in which the first match wins: an extension with several MIME
// types gives the first for a file name, and every one of them maps back
// to the same id. The row with id 36 ends the table and stands for
// "application/octet-stream", the answer when nothing matches.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

struct MimeRow {
    char extension[12]; // ASCII, lower case; empty in the end row
    const char16_t *mime;
    uint16_t id;
    uint16_t flags;
};

constexpr uint16_t doc = Mime_flagDocument;
constexpr uint16_t media = Mime_flagMedia;

constexpr MimeRow mimeRows[] = {
    {"html", u"text/html", 11, doc},
    {"htm", u"text/html", 11, doc},
    {"shtml", u"text/html", 11, doc},
    {"php", u"text/html", 11, doc},
    {"js", u"text/javascript", 12, doc},
    {"js", u"application/javascript", 12, doc},
    {"js", u"application/x-javascript", 12, doc},
    {"js", u"text/jscript", 13, doc},
    {"js", u"text/ecmascript", 14, doc},
    {"js", u"application/ecmascript", 14, doc},
    {"vbs", u"text/vbscript", 15, doc},
    {"xml", u"text/xml", 30, doc},
    {"xml", u"application/xml", 30, doc},
    {"doc", u"application/msword", 6, doc},
    {"swf", u"application/x-shockwave-flash", 9, doc},
    {"ui", u"application/x-shockwave-flash", 9, doc},
    {"pdf", u"application/pdf", 22, doc},
    {"txt", u"text/plain", 25, doc},
    {"gif", u"image/gif", 10, doc},
    {"jpg", u"image/jpeg", 16, doc},
    {"jpeg", u"image/jpeg", 16, doc},
    {"png", u"image/png", 23, doc},
    {"bmp", u"image/x-ms-bmp", 4, doc},
    {"bmp", u"image/x-windows-bmp", 4, doc},
    {"wbmp", u"image/vnd.wap.wbmp", 33, doc},
    {"draw", u"application/vnd.riscos.drawfile", 7, doc},
    {"ppt", u"application/powerpoint", 24, doc},
    {"ppt", u"application/vnd.ms-powerpoint", 24, doc},
    {"ppt", u"application/mspowerpoint", 24, doc},
    {"ppt", u"application/x-mspowerpoint", 24, doc},
    {"zip", u"application/zip", 31, doc},
    {"wmf", u"image/x-wmf", 28, doc},
    {"wmf", u"application/x-msmetafile", 28, doc},
    {"wmf", u"windows/metafile", 28, doc},
    {"emf", u"image/x-emf", 8, doc},
    {"csv", u"text/comma-separated-values", 5, doc},
    {"mpg", u"video/mpeg", 20, media},
    {"mpeg", u"video/mpeg", 20, media},
    {"pav", u"video/vnd.vexlan.pav", 21, media},
    {"avi", u"video/x-msvideo", 3, media},
    {"mov", u"video/quicktime", 18, media},
    {"amr", u"audio/amr", 26, media},
    {"wav", u"audio/x-wav", 27, media},
    {"mp3", u"audio/mpeg", 19, media},
    {"xls", u"application/vnd.ms-excel", 29, doc},
    {"xls", u"application/excel", 29, doc},
    {"xls", u"application/x-excel", 29, doc},
    {"xls", u"application/x-msexcel", 29, doc},
    {"efif", u"application/vnd.vexlan", 32, doc},
    {"mht", u"multipart/related", 17, doc},
    {"mhtml", u"multipart/related", 17, doc},
    {"eml", u"multipart/related", 17, doc},
    {"mcf", u"application/vnd.vexlan.mcf", 34, doc},
    {"hwp", u"application/hangul", 35, doc},
    {"", u"application/octet-stream", Mime_idDefault, doc},
};

constexpr size_t rowCount = sizeof mimeRows / sizeof mimeRows[0];
constexpr const MimeRow &endRow = mimeRows[rowCount - 1];
static_assert(mimeRows[rowCount - 1].id == Mime_idDefault, "the end row closes the table");

uint32_t lowerAscii(uint32_t c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// The row whose extension equals the text after the last "." of name
// (ignoring ASCII case); null for no "." or no match.
const MimeRow *rowForName(const char16_t *name)
{
    const char16_t *dot = name ? Ustr_rchr(name, u'.') : nullptr;
    if (!dot)
        return nullptr;
    const char16_t *ext = dot + 1;
    size_t n = Ustr_len(ext);
    if (n >= sizeof mimeRows[0].extension)
        return nullptr;
    for (size_t r = 0; r + 1 < rowCount; r++) {
        const char *e = mimeRows[r].extension;
        size_t i = 0;
        while (i < n && e[i] && lowerAscii(ext[i]) == uint32_t(uint8_t(e[i])))
            i++;
        if (i == n && e[i] == 0)
            return &mimeRows[r];
    }
    return nullptr;
}

} // namespace

uint32_t Mime_typeFromFileName(const char16_t *name, const char16_t **mime)
{
    const MimeRow *row = rowForName(name);
    if (!row)
        row = &endRow;
    if (mime)
        *mime = row->mime;
    return row->id;
}

uint32_t Mime_typeFromString(const char16_t *text, size_t length)
{
    if (!text)
        return Mime_idDefault;
    for (size_t r = 0; r < rowCount; r++) {
        const char16_t *m = mimeRows[r].mime;
        if (Ustr_len(m) == length && Ustr_nicmp(text, m, length) == 0)
            return mimeRows[r].id;
    }
    return Mime_idDefault;
}

int Mime_stringForType(uint32_t id, const char16_t **mime)
{
    *mime = nullptr;
    for (size_t r = 0; r < rowCount; r++) {
        if (mimeRows[r].id == id) {
            *mime = mimeRows[r].mime;
            return Res_ok;
        }
    }
    return Res_notFound;
}

uint32_t Mime_flagsForFileName(const char16_t *name)
{
    const MimeRow *row = rowForName(name);
    return row ? uint32_t(row->flags) : uint32_t(Mime_flagDocument);
}

int Vfs_fileMimeInfo(VfsHandle *handle, const char16_t **mime, uint32_t *id)
{
    *mime = nullptr;
    *id = 0;
    if (!handle)
        return Res_missingArgument;
    if (handle->mimeId == 0) {
        char16_t *path = nullptr;
        if (handle->url && !Url_getPart(handle->url, UrlPart_path, &path))
            return Res_noMemory;
        const char16_t *found = nullptr;
        handle->mimeId = Mime_typeFromFileName(path, &found);
        handle->mime = found;
        Mem_free(path);
    }
    *mime = handle->mime;
    *id = handle->mimeId;
    return Res_ok;
}
