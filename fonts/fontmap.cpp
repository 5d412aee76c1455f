// The font map file, file kinds, collection headers and 'name' tables.
#include "fonts/fontmap.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/cstr.h"
#include "platform/url/url.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/vfs.h"

namespace {

const struct {
    const char *name;
    uint32_t section;
} sections[] = {
    {"[Buffered]", FontMap_buffered},
    {"[Defaults]", FontMap_defaults},
    {"[Library]", FontMap_library},
    {"[Supplements]", FontMap_supplements},
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

char *trim(char *s)
{
    while (isSpace(*s))
        s++;
    size_t n = strlen(s);
    while (n && isSpace(s[n - 1]))
        s[--n] = 0;
    return s;
}

bool continues(int rc)
{
    return rc == Res_ok || rc == Res_fileCannotOpen || rc == Res_fontFileUnreadable ||
           rc == Res_fontUnsupported;
}

// The reading state: the line being gathered and the current section.
struct LineReader {
    char line[FontMap_maxLine + 2];
    size_t length;
    bool tooLong; // the line passed FontMap_maxLine bytes: skipped whole
    uint32_t section;
    FontMapLineFn fn;
    void *arg;
};

int endLine(LineReader *r)
{
    bool skip = r->tooLong;
    size_t n = r->length;
    r->length = 0;
    r->tooLong = false;
    if (n && r->line[n - 1] == '\r')
        n--;
    if (skip || n > FontMap_maxLine)
        return Res_ok;       // too long: skipped whole
    n = strnlen(r->line, n); // a NUL byte ends the line's text
    r->line[n] = 0;
    if (n == 0 || r->line[0] == '#')
        return Res_ok;
    if (r->line[0] == '[' && r->line[n - 1] == ']') {
        r->section = FontMap_unknownSection;
        for (const auto &s : sections)
            if (strlen(s.name) == n && Cstr_nicmp(r->line, s.name, n) == 0)
                r->section = s.section;
        return Res_ok;
    }
    if (r->section == FontMap_noSection || r->section == FontMap_unknownSection)
        return Res_ok;
    int rc = r->fn(r->arg, r->section, r->line);
    return continues(rc) ? Res_ok : rc;
}

int feed(LineReader *r, const char *bytes, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (bytes[i] == '\n') {
            int rc = endLine(r);
            if (rc)
                return rc;
            continue;
        }
        // One byte more than a line holds: room for the CR before the LF.
        if (r->length <= FontMap_maxLine)
            r->line[r->length++] = bytes[i];
        else
            r->tooLong = true;
    }
    return Res_ok;
}

int finish(LineReader *r)
{
    return r->length || r->tooLong ? endLine(r) : Res_ok;
}

// UTF-16 big-endian to UTF-8 into out (room for 3 bytes per unit plus the
// terminator): leading white space skipped, ":" turned into ";", unpaired
// surrogates into U+FFFD.
void nameToUtf8(const uint8_t *s, size_t units, char *out)
{
    size_t o = 0;
    bool leading = true;
    for (size_t i = 0; i < units; i++) {
        uint32_t c = Bytes_peekU16Be(s + 2 * i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            uint32_t d = Bytes_peekU16Be(s + 2 * i + 2);
            if (d >= 0xDC00 && d <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
                i++;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (leading && (c == ' ' || c == '\t'))
            continue;
        leading = false;
        if (c == ':')
            c = ';';
        if (c == 0)
            break;
        if (c < 0x80) {
            out[o++] = char(c);
        } else if (c < 0x800) {
            out[o++] = char(0xC0 | c >> 6);
            out[o++] = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out[o++] = char(0xE0 | c >> 12);
            out[o++] = char(0x80 | ((c >> 6) & 0x3F));
            out[o++] = char(0x80 | (c & 0x3F));
        } else {
            out[o++] = char(0xF0 | c >> 18);
            out[o++] = char(0x80 | ((c >> 12) & 0x3F));
            out[o++] = char(0x80 | ((c >> 6) & 0x3F));
            out[o++] = char(0x80 | (c & 0x3F));
        }
    }
    out[o] = 0;
}

} // namespace

uint32_t FontFile_kind(const char16_t *path)
{
    if (!path)
        return FontFile_notFont;
    const char16_t *dot = nullptr;
    for (const char16_t *p = path; *p; p++)
        if (*p == u'.')
            dot = p;
    if (!dot || !dot[1] || !dot[2] || !dot[3] || dot[4])
        return FontFile_notFont;
    char ext[4];
    for (int i = 0; i < 3; i++) {
        char16_t c = dot[1 + i];
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + 32);
        if (c > 0x7F)
            return FontFile_notFont;
        ext[i] = char(c);
    }
    ext[3] = 0;
    if (strcmp(ext, "ef1") == 0)
        return FontFile_ef1;
    if (strcmp(ext, "ttf") == 0)
        return FontFile_trueType;
    if (strcmp(ext, "ttc") == 0)
        return FontFile_collection;
    if (strcmp(ext, "ffs") == 0)
        return FontFile_fontPack;
    return FontFile_notFont;
}

int FontMap_readText(const char *text, size_t length, FontMapLineFn fn, void *arg)
{
    LineReader r = {};
    r.fn = fn;
    r.arg = arg;
    int rc = feed(&r, text, length);
    return rc ? rc : finish(&r);
}

int FontMap_readFile(EngineContext *context, const Url *fontsDir, FontMapLineFn fn, void *arg)
{
    Url *url = Url_resolveText(context, u"map", fontsDir);
    if (!url)
        return Res_noMemory;
    VfsHandle *h = nullptr;
    int rc = Vfs_openForReading(context, &h, url);
    Url_free(url);
    if (rc == Res_fileCannotOpen)
        return Res_ok;
    if (rc)
        return rc;
    LineReader *r = static_cast<LineReader *>(Mem_calloc(1, sizeof(LineReader)));
    if (!r) {
        // The stream was only read or probed: a failed close loses nothing.
        (void)Vfs_close(h);
        return Res_noMemory;
    }
    r->fn = fn;
    r->arg = arg;
    char chunk[4096];
    for (;;) {
        size_t got = 0;
        int read = Vfs_readBytes(h, chunk, sizeof chunk, &got);
        rc = feed(r, chunk, got);
        if (rc)
            break;
        if (read == Res_vfsShortRead || (read == Res_ok && got == 0)) {
            rc = finish(r);
            break;
        }
        if (read) {
            rc = read;
            break;
        }
    }
    Mem_free(r);
    // The stream was only read or probed: a failed close loses nothing.
    (void)Vfs_close(h);
    return rc;
}

int FontMap_splitPair(char *line, char **key, char **value)
{
    *key = *value = nullptr;
    char *colon = strchr(line, ':');
    if (!colon)
        return Res_fontMapLine;
    *colon = 0;
    *key = line;
    *value = trim(colon + 1);
    return Res_ok;
}

int FontMap_parseLibrary(char *line, FontMapLibraryLine *out)
{
    *out = {};
    char *fields[7];
    char *p = line;
    for (int i = 0; i < 6; i++) {
        char *comma = strchr(p, ',');
        if (!comma)
            return Res_fontMapLine;
        *comma = 0;
        fields[i] = trim(p);
        p = comma + 1;
    }
    fields[6] = trim(p); // the file may hold commas of its own
    uint32_t slant = 0, weight = 3;
    if (Cstr_icmp(fields[1], "Italic") == 0)
        slant = 0x100;
    else if (Cstr_icmp(fields[1], "Oblique") == 0)
        slant = 0x200;
    if (Cstr_icmp(fields[3], "Bold") == 0)
        weight = 6;
    else if (Cstr_icmp(fields[3], "Black") == 0)
        weight = 8;
    out->names = fields[0];
    out->style = slant | weight;
    out->file = fields[6];
    return Res_ok;
}

int FontMap_fileUrl(EngineContext *context, const Url *fontsDir, const char *file, Url **out)
{
    *out = nullptr;
    Url *url = Url_newFromCstr(file);
    if (!url)
        return Res_noMemory;
    uint32_t scheme = (url->flags & Url_schemeMask) >> Url_schemeShift;
    if (scheme != UrlScheme_none && url->host && url->host[0] && url->path && url->path[0] &&
        !url->query && !url->fragment) {
        *out = url;
        return Res_ok;
    }
    Url_free(url);
    // Relative to the fonts directory: the text as 16-bit units.
    size_t n = strlen(file);
    char16_t *text = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!text)
        return Res_noMemory;
    for (size_t i = 0; i <= n; i++)
        text[i] = char16_t(uint8_t(file[i]));
    *out = Url_resolveText(context, text, fontsDir);
    Mem_free(text);
    return *out ? Res_ok : Res_noMemory;
}

int FontCollection_readHeader(const uint8_t *data, size_t length, uint32_t *offsets,
                              uint32_t *count)
{
    *count = 0;
    if (length < 12)
        return Res_fontFileUnreadable;
    uint32_t faces = Bytes_peekU32Be(data + 8);
    if (faces == 0)
        return Res_fontUnsupported;
    if (faces > FontCollection_maxFaces)
        faces = FontCollection_maxFaces;
    if (length < 12 + size_t(faces) * 4)
        return Res_fontFileUnreadable;
    for (uint32_t i = 0; i < faces; i++)
        offsets[i] = Bytes_peekU32Be(data + 12 + 4 * i);
    *count = faces;
    return Res_ok;
}

int FontNames_add(char **names, const char *name)
{
    size_t have = *names ? strlen(*names) : 0;
    size_t add = strlen(name) + (have ? 1 : 0);
    if (have + add > FontNames_maxLength)
        return Res_ok;
    char *joined = static_cast<char *>(Mem_malloc(have + add + 1));
    if (!joined)
        return Res_noMemory;
    if (have)
        memcpy(joined, *names, have);
    if (have)
        joined[have++] = ':';
    strcpy(joined + have, name);
    Mem_free(*names);
    *names = joined;
    return Res_ok;
}

int FontNames_read(const uint8_t *table, size_t length, char **names, uint32_t *style)
{
    *style = 3;
    *names = static_cast<char *>(Mem_calloc(1, 1));
    if (!*names)
        return Res_noMemory;
    if (length < 6)
        return Res_ok;
    uint32_t count = Bytes_peekU16Be(table + 2);
    // The strings start where the header says (right after the records in
    // every ordinary table); a start outside the table means none.
    size_t storage = Bytes_peekU16Be(table + 4);
    if (storage > length)
        return Res_ok;
    char text[FontNames_maxString / 2 * 3 + 1];
    for (uint32_t i = 0; i < count; i++) {
        size_t at = 6 + size_t(12) * i;
        if (at + 12 > length)
            break;
        const uint8_t *rec = table + at;
        uint16_t platform = Bytes_peekU16Be(rec), encoding = Bytes_peekU16Be(rec + 2),
                 language = Bytes_peekU16Be(rec + 4);
        uint16_t nameId = Bytes_peekU16Be(rec + 6), bytes = Bytes_peekU16Be(rec + 8),
                 offset = Bytes_peekU16Be(rec + 10);
        if (platform != 3 || encoding > 1 || language != 0x0409)
            continue;
        if (nameId != 1 && nameId != 2 && nameId != 4 && nameId != 6)
            continue;
        size_t start = storage + offset;
        if (start > length)
            continue;
        size_t n = bytes < size_t(FontNames_maxString) ? bytes : size_t(FontNames_maxString);
        if (n > length - start)
            n = length - start;
        nameToUtf8(table + start, n / 2, text);
        if (nameId == 2) {
            if (strstr(text, "Italic"))
                *style |= 0x100;
            if (strstr(text, "Oblique"))
                *style |= 0x200;
            if (strstr(text, "Light"))
                *style = (*style & ~15u) | 1;
            else if (strstr(text, "Bold"))
                *style = (*style & ~15u) | 6;
            continue;
        }
        if (!text[0])
            continue;
        if (FontNames_add(names, text)) {
            Mem_free(*names);
            *names = nullptr;
            return Res_noMemory;
        }
    }
    return Res_ok;
}
