// The "choices.txt" settings file: a line parser fed with read windows,
// the number syntax of its values, and the readers that open the file.
//
// The parser keeps nothing of a window but the current section name, so
// the reader hands it each window as the stream lends it and tells the
// stream how much was used; the unfinished last line is lent again at the
// start of the next window. A line too long for any window is dropped in
// pieces up to its LF, and the text after the last LF of the data counts
// as a line of its own.
#include "platform/config/settings.h"
#include "core/text/number.h"

#include <cstring>
#include <iterator>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

bool isSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A new NUL-terminated copy of n bytes; null when memory runs out.
char *copyBytes(const uint8_t *bytes, size_t n)
{
    char *s = static_cast<char *>(Mem_malloc(n + 1));
    if (s) {
        memcpy(s, bytes, n);
        s[n] = 0;
    }
    return s;
}

const uint8_t *findByte(const uint8_t *from, const uint8_t *end, uint8_t c)
{
    return static_cast<const uint8_t *>(memchr(from, c, size_t(end - from)));
}

int sectionLine(SettingsParser *p, const uint8_t *line, size_t n, const uint8_t *open)
{
    const uint8_t *end = line + n;
    const uint8_t *close = findByte(line + 1, end, ']');
    if (!close || close < open)
        return Res_ok;
    size_t len = size_t(close - open - 1);
    char *grown = static_cast<char *>(Mem_realloc(p->section, len + 1));
    if (!grown)
        return Res_noMemory;
    memcpy(grown, open + 1, len);
    grown[len] = 0;
    p->section = grown;
    return Res_ok;
}

int valueLine(SettingsParser *p, const uint8_t *line, size_t n)
{
    const uint8_t *end = line + n;
    const uint8_t *eq = findByte(line, end, '=');
    if (!eq || !p->section)
        return Res_ok;
    char *key = copyBytes(line, size_t(eq - line));
    char *value = key ? copyBytes(eq + 1, size_t(end - eq - 1)) : nullptr;
    if (!value) {
        Mem_free(key);
        return Res_noMemory;
    }
    Settings_apply(p->context, p->store, p->section, key, value);
    Mem_free(value);
    Mem_free(key);
    return Res_ok;
}

// One line without its LF; a CR at its end is dropped here.
int handleLine(SettingsParser *p, const uint8_t *line, size_t n)
{
    if (n >= Settings_lineMax)
        return Res_ok;
    if (n && line[n - 1] == '\r')
        n--;
    if (n < 3 || line[0] == '#')
        return Res_ok;
    if (const uint8_t *open = findByte(line, line + n, '['))
        return sectionLine(p, line, n, open);
    return valueLine(p, line, n);
}

} // namespace

void Settings_parserInit(EngineContext *context, SettingsParser *parser, ConfigStore *store)
{
    *parser = SettingsParser{context, store, nullptr, 0};
}

void Settings_parserFini(SettingsParser *parser)
{
    Mem_free(parser->section);
    parser->section = nullptr;
    parser->skipping = 0;
}

int Settings_parseLines(SettingsParser *parser, const uint8_t *data, size_t len, int final,
                        size_t *consumed)
{
    *consumed = 0;
    if (!data)
        len = 0;
    const uint8_t *end = data + len;
    size_t pos = 0;
    while (pos < len) {
        const uint8_t *lf = findByte(data + pos, end, '\n');
        if (!lf)
            break;
        size_t lineEnd = size_t(lf - data);
        if (parser->skipping) {
            parser->skipping = 0;
        } else if (int r = handleLine(parser, data + pos, lineEnd - pos)) {
            *consumed = pos;
            return r;
        }
        pos = lineEnd + 1;
    }
    size_t rest = len - pos;
    if (final) {
        if (rest && !parser->skipping) {
            if (int r = handleLine(parser, data + pos, rest)) {
                *consumed = pos;
                return r;
            }
        }
        parser->skipping = 0;
        pos = len;
    } else if (parser->skipping || rest >= Settings_lineMax) {
        parser->skipping = 1;
        pos = len;
    }
    *consumed = pos;
    return Res_ok;
}

int Settings_parseNumber(const char *text, uint32_t *value)
{
    *value = 0;
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
    while (*s == '+' || isSpace(*s))
        s++;
    bool negative = false;
    if (*s == '-') {
        negative = true;
        s++;
    }
    uint32_t base = 10;
    bool digits = false;
    if (*s == '0') {
        digits = true;
        s++;
        if (*s == 'x') {
            base = 16;
            s++;
        } else {
            base = 8;
        }
    }
    // The magnitude is kept in 64 bits and refused once it leaves 32.
    uint64_t v = 0;
    for (int d; (d = Hex_digitValue(*s)) >= 0; s++) {
        if (uint32_t(d) >= base)
            return 0;
        v = v * base + uint32_t(d);
        if (v > UINT32_MAX)
            return 0;
        digits = true;
    }
    if (!digits)
        return 0;
    if (*s == 'K' || *s == 'k')
        v <<= 10;
    else if (*s == 'M' || *s == 'm')
        v <<= 20;
    else if (*s != 0)
        return 0;
    if (v > UINT32_MAX)
        return 0;
    *value = negative ? 0u - uint32_t(v) : uint32_t(v);
    return 1;
}

void Settings_apply(EngineContext *context, ConfigStore *store, const char *section,
                    const char *key, const char *value)
{
    char16_t *domain = Ustr_fromCstr(section);
    char16_t *key16 = Ustr_fromCstr(key);
    char16_t *value16 = Ustr_fromCstr(value);
    if (domain && key16 && value16) {
        uint32_t number = 0;
        if (Settings_parseNumber(value, &number))
            Config_setInt(context, store, domain, key16, number, 0);
        else
            Config_setUstr(context, store, domain, key16, value16, 0);
    }
    Mem_free(value16);
    Mem_free(key16);
    Mem_free(domain);
}

int Settings_readSource(EngineContext *context, ConfigStore *store, const SettingsSource *source)
{
    SettingsParser parser;
    Settings_parserInit(context, &parser, store);
    size_t pending = 0;
    int r = Res_ok;
    for (;;) {
        const uint8_t *ptr = nullptr;
        size_t len = 0;
        r = source->getReadBuf(source->handle, Settings_window, &ptr, &len);
        if (r != Res_ok)
            break;
        int final = len <= pending;
        size_t used = 0;
        r = Settings_parseLines(&parser, ptr, len, final, &used);
        int done = source->readDone(source->handle, used);
        if (r == Res_ok)
            r = done;
        if (r != Res_ok || final)
            break;
        pending = len - used;
    }
    Settings_parserFini(&parser);
    int closed = source->close(source->handle);
    return r != Res_ok ? r : closed;
}

// ---------------------------------------------------------------- streams

namespace {

constexpr char16_t builtInChoices[] = u"file://localhost/okala_dir/choices.txt";

int streamGetReadBuf(void *h, size_t want, const uint8_t **ptr, size_t *len)
{
    return Vfs_getReadBuf(static_cast<VfsHandle *>(h), want, ptr, len);
}

int streamReadDone(void *h, size_t n)
{
    return Vfs_readDone(static_cast<VfsHandle *>(h), n);
}

int streamClose(void *h)
{
    return Vfs_close(static_cast<VfsHandle *>(h));
}

// Opens the URL text for reading: 0 with *stream; 1 when no URL can be
// made; the open error.
int openText(EngineContext *context, const char16_t *text, VfsHandle **stream)
{
    *stream = nullptr;
    Url *url = Url_new(text);
    if (!url)
        return Res_noMemory;
    uint32_t accepted = 0;
    int r = Vfs_open(context, url, Vfs_modeRead, stream, &accepted);
    Url_free(url);
    return r;
}

} // namespace

int Settings_readStream(EngineContext *context, ConfigStore *store, VfsHandle *stream)
{
    SettingsSource source = {stream, streamGetReadBuf, streamReadDone, streamClose};
    return Settings_readSource(context, store, &source);
}

int Settings_loadUrl(EngineContext *context, ConfigStore *store, const Url *url)
{
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    int r = Vfs_open(context, url, Vfs_modeRead, &stream, &accepted);
    if (r != Res_ok)
        return r;
    return Settings_readStream(context, store, stream);
}

int Settings_loadFirstFound(EngineContext *context, ConfigStore *store, const char16_t *path)
{
    const char16_t *candidates[2] = {builtInChoices, path};
    for (const char16_t *text : candidates) {
        VfsHandle *stream = nullptr;
        int r = openText(context, text, &stream);
        if (r == Res_fileCannotOpen)
            continue;
        if (r != Res_ok)
            return r;
        return Settings_readStream(context, store, stream);
    }
    return Res_ok;
}

int Settings_loadFromDir(EngineContext *context, ConfigStore *store, const char16_t *dir)
{
    if (!dir)
        return Res_nullInput;
    constexpr char16_t name[] = u"choices.txt";
    size_t dirLen = Ustr_len(dir);
    char16_t *path =
        static_cast<char16_t *>(Mem_malloc((dirLen + std::size(name)) * sizeof(char16_t)));
    if (!path)
        return Res_noMemory;
    memcpy(path, dir, dirLen * sizeof(char16_t));
    memcpy(path + dirLen, name, sizeof name);
    int r = Settings_loadFirstFound(context, store, path);
    Mem_free(path);
    return r;
}
