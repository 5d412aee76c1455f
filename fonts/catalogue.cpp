// The font catalogue: the map's sections, the faces of font files, the
// directory scan and the naming pass.
#include "fonts/catalogue.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "fonts/fontmap.h"
#include "fonts/truetype.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

enum : uint32_t {
    maxNameTable = 256 * 1024, // bytes of a 'name' table that are read
    symbolRange1 = 0x1000001D,
    symbolRange2 = 0x6075,
    dingbatRange1 = 0x10001000,
    dingbatRange2 = 0x7250,
};

const char unicodeName[] = "unicode";

// Makes room for one more item of size bytes in *items (capacity 4 first,
// then doubled). 0 or 1.
int grow(void **items, uint32_t count, uint32_t *capacity, size_t size)
{
    if (count < *capacity)
        return Res_ok;
    uint32_t next = *capacity ? *capacity * 2 : FontCatalogue_firstCapacity;
    void *p = Mem_realloc(*items, size_t(next) * size);
    if (!p)
        return Res_noMemory;
    *items = p;
    *capacity = next;
    return Res_ok;
}

int addPair(FontAlias **items, uint32_t *count, uint32_t *capacity, const char *key,
            const char *value)
{
    void *p = *items;
    if (grow(&p, *count, capacity, sizeof(FontAlias)) != Res_ok)
        return Res_noMemory;
    *items = static_cast<FontAlias *>(p);
    char *k = Cstr_dup(key);
    char *v = Cstr_dup(value);
    if (!k || !v) {
        Mem_free(k);
        Mem_free(v);
        return Res_noMemory;
    }
    (*items)[(*count)++] = FontAlias{k, v};
    return Res_ok;
}

void freePairs(FontAlias *items, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++) {
        Mem_free(const_cast<char *>(items[i].name));
        Mem_free(const_cast<char *>(items[i].substitutes));
    }
    Mem_free(items);
}

// The font-file errors that skip a file: everything but a lack of memory.
int fileError(int rc)
{
    if (rc == Res_ok || rc == Res_noMemory || rc == Res_fileCannotOpen || rc == Res_fontUnsupported)
        return rc;
    return Res_fontFileUnreadable;
}

// Reads the face's 'name' table into its name list and style word.
int readNames(EngineContext *context, FontFace *face)
{
    const FontTableEntry &t = face->tables->tables[FontTable_name];
    face->styleWord = 3;
    if (t.length == 0)
        return Font_faceSetName("", face);
    uint32_t length = t.length < maxNameTable ? t.length : maxNameTable;
    uint8_t *bytes = static_cast<uint8_t *>(Mem_malloc(length));
    if (!bytes)
        return Res_noMemory;
    int rc = BufStream_setRange(context, face->reader, t.offset, length);
    if (rc == Res_ok)
        rc = BufStream_read(face->reader, bytes, length);
    char *names = nullptr;
    uint32_t style = 3;
    if (rc == Res_ok)
        rc = FontNames_read(bytes, length, &names, &style);
    Mem_free(bytes);
    if (rc != Res_ok)
        return rc;
    Mem_free(face->name);
    face->name = names;
    face->styleWord = style;
    return Res_ok;
}

// One face of kind at the directory offset, its names read when asked.
int openFace(EngineContext *context, const Url *url, uint32_t kind, uint32_t dirOffset,
             uint32_t rank, bool names, FontFace **out)
{
    *out = nullptr;
    FontFace *face = nullptr;
    int rc = Font_faceCreate(context, kind, 0, nullptr, &face);
    if (rc != Res_ok)
        return rc;
    face->destroy = TrueType_close;
    rc = BufStream_open(context, url, nullptr, 0, BufStream_bigEndian, &face->reader);
    if (rc == Res_ok)
        rc = TrueType_open(face, dirOffset, rank);
    if (rc == Res_ok && names)
        rc = readNames(context, face);
    if (rc != Res_ok) {
        Font_faceRelease(face);
        return fileError(rc);
    }
    face->kind = kind;
    // The font file was only read: a failed close loses nothing.
    (void)BufStream_closeFile(face->reader);
    *out = face;
    return Res_ok;
}

// The directory offsets of a collection's faces.
int readCollection(EngineContext *context, const Url *url, uint32_t *offsets, uint32_t *count)
{
    *count = 0;
    BufStream *reader = nullptr;
    int rc = BufStream_open(context, url, nullptr, 0, BufStream_bigEndian, &reader);
    uint8_t head[12 + 4 * FontCollection_maxFaces];
    uint32_t have = 12;
    if (rc == Res_ok)
        rc = BufStream_setRange(context, reader, 0, have);
    if (rc == Res_ok)
        rc = BufStream_read(reader, head, have);
    if (rc == Res_ok) {
        uint32_t faces =
            uint32_t(head[8]) << 24 | uint32_t(head[9]) << 16 | uint32_t(head[10]) << 8 | head[11];
        uint32_t want =
            12 + 4 * (faces < FontCollection_maxFaces ? faces : FontCollection_maxFaces);
        if (want > have) {
            rc = BufStream_setRange(context, reader, 0, want);
            if (rc == Res_ok)
                rc = BufStream_read(reader, head, want);
            have = want;
        }
    }
    if (rc == Res_ok)
        rc = FontCollection_readHeader(head, have, offsets, count);
    BufStream_close(reader);
    return fileError(rc);
}

// The file name of a URL's path: after the last "/".
const char16_t *baseName(const Url *url)
{
    const char16_t *path = url && url->path ? url->path : u"";
    const char16_t *name = path;
    for (const char16_t *p = path; *p; p++)
        if (*p == '/')
            name = p + 1;
    return name;
}

// The supplement of a file name (the first 31 characters, any case).
const char *supplementOf(const FontCatalogue *catalogue, const char16_t *file)
{
    char name[FontCatalogue_supplementKey + 1];
    uint32_t n = 0;
    while (file[n] && n < FontCatalogue_supplementKey) {
        name[n] = file[n] < 128 ? char(file[n]) : '?';
        n++;
    }
    name[n] = 0;
    for (uint32_t i = 0; i < catalogue->supplementCount; i++)
        if (Cstr_icmp(catalogue->supplements[i].name, name) == 0)
            return catalogue->supplements[i].substitutes;
    return nullptr;
}

// Adds the faces of a file to the catalogue: the first with url, the
// later ones with copies. The faces not added are released.
int addFaces(FontCatalogue *catalogue, Url *url, FontFace **faces, uint32_t count)
{
    int rc = Res_ok;
    for (uint32_t i = 0; i < count; i++) {
        Url *own = i == 0 ? url : Url_copy(url);
        if (rc == Res_ok && own)
            rc = FontCatalogue_addFace(catalogue, own, faces[i]);
        else if (rc == Res_ok)
            rc = Res_noMemory;
        if (rc != Res_ok) {
            if (own)
                Url_free(own);
            Font_faceRelease(faces[i]);
        }
    }
    if (count == 0)
        Url_free(url);
    return rc;
}

struct MapReading {
    EngineContext *context;
    FontCatalogue *catalogue;
    const Url *fontsDir;
};

int libraryLine(MapReading *m, char *line)
{
    FontMapLibraryLine lib;
    int rc = FontMap_parseLibrary(line, &lib);
    if (rc != Res_ok)
        return rc;
    Url *url = nullptr;
    rc = FontMap_fileUrl(m->context, m->fontsDir, lib.file, &url);
    if (rc != Res_ok)
        return rc;
    FontFace *faces[FontCollection_maxFaces];
    uint32_t count = 0;
    rc = FontFile_openFaces(m->context, url, faces, &count);
    if (rc != Res_ok) {
        Url_free(url);
        return rc;
    }
    faces[0]->styleWord = lib.style;
    if (lib.names[0])
        rc = FontNames_add(&faces[0]->name, lib.names);
    if (rc != Res_ok) {
        for (uint32_t i = 0; i < count; i++)
            Font_faceRelease(faces[i]);
        Url_free(url);
        return rc;
    }
    return addFaces(m->catalogue, url, faces, count);
}

int mapLine(void *arg, uint32_t section, char *line)
{
    MapReading *m = static_cast<MapReading *>(arg);
    FontCatalogue *c = m->catalogue;
    char *key = nullptr;
    char *value = nullptr;
    int rc = Res_ok;
    switch (section) {
    case FontMap_buffered: {
        void *p = c->buffered;
        rc = grow(&p, c->bufferedCount, &c->bufferedCapacity, sizeof(char *));
        if (rc != Res_ok)
            return rc;
        c->buffered = static_cast<char **>(p);
        char *copy = Cstr_dup(line);
        if (!copy)
            return Res_noMemory;
        c->buffered[c->bufferedCount++] = copy;
        return Res_ok;
    }
    case FontMap_defaults:
        rc = FontMap_splitPair(line, &key, &value);
        return rc ? rc : addPair(&c->defaults, &c->defaultCount, &c->defaultCapacity, key, value);
    case FontMap_supplements:
        rc = FontMap_splitPair(line, &key, &value);
        return rc ? rc
                  : addPair(&c->supplements, &c->supplementCount, &c->supplementCapacity, key,
                            value);
    case FontMap_library: return libraryLine(m, line);
    default: return Res_ok;
    }
}

// The name list cut at its first "unicode" entry.
void cutUnicode(char *names)
{
    char *p = names;
    for (;;) {
        char *end = strchr(p, ':');
        size_t n = end ? size_t(end - p) : strlen(p);
        if (n == sizeof unicodeName - 1 && strncmp(p, unicodeName, n) == 0) {
            if (p == names)
                *p = 0;
            else
                p[-1] = 0;
            return;
        }
        if (!end)
            return;
        p = end + 1;
    }
}

// Sorts the listed file URLs by path so that the catalogue's order does
// not depend on the order the directory lists its files in.
void sortUrls(Url **urls, uint32_t count)
{
    for (uint32_t i = 1; i < count; i++) {
        Url *u = urls[i];
        uint32_t j = i;
        while (j > 0 && Ustr_cmp(urls[j - 1]->path, u->path) > 0) {
            urls[j] = urls[j - 1];
            j--;
        }
        urls[j] = u;
    }
}

// The font files of the directory as URLs resolved against it.
int listFiles(EngineContext *context, const FontEngine *fe, const Url *fontsDir, Url ***out,
              uint32_t *count)
{
    *out = nullptr;
    *count = 0;
    // A directory on disk is listed through the pattern "*"; the built-in
    // files' folders are listed by their own path.
    bool builtIn = fontsDir->path && Ustr_ncmpCstr(fontsDir->path, "/okala_dir/", 11) == 0;
    Url *listing = builtIn ? Url_copy(fontsDir) : Url_resolveText(context, u"*", fontsDir);
    if (!listing)
        return Res_noMemory;
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    int rc = Vfs_open(context, listing, Vfs_modeList, &h, &accepted);
    Url_free(listing);
    if (rc == Res_fileCannotOpen)
        return Res_ok; // no fonts directory: no files
    if (rc != Res_ok)
        return rc;
    Url **urls = nullptr;
    uint32_t n = 0, capacity = 0;
    for (;;) {
        const char16_t *name = nullptr;
        rc = Vfs_readDir(h, &name);
        if (rc != Res_ok || !name)
            break;
        uint32_t kind = FontFile_kind(name);
        if (kind == FontFile_notFont || kind == FontFile_ef1 ||
            (kind == FontFile_fontPack && !(fe && fe->packOps)))
            continue;
        if (n == capacity) {
            uint32_t next = capacity ? capacity * 2 : FontCatalogue_scanFirst;
            void *p = Mem_realloc(urls, size_t(next) * sizeof(Url *));
            if (!p) {
                rc = Res_noMemory;
                break;
            }
            urls = static_cast<Url **>(p);
            capacity = next;
        }
        Url *u = Url_resolveText(context, name, fontsDir);
        if (!u) {
            rc = Res_noMemory;
            break;
        }
        urls[n++] = u;
    }
    // The stream was only read or probed: a failed close loses nothing.
    (void)Vfs_close(h);
    if (rc != Res_ok) {
        for (uint32_t i = 0; i < n; i++)
            Url_free(urls[i]);
        Mem_free(urls);
        return rc;
    }
    sortUrls(urls, n);
    *out = urls;
    *count = n;
    return Res_ok;
}

// Scans one listed file into the catalogue (url taken over). A file that
// is not a readable font is skipped: 0.
int scanFile(EngineContext *context, FontCatalogue *catalogue, Url *url)
{
    FontFace *faces[FontCollection_maxFaces];
    uint32_t count = 0;
    int rc = FontFile_openFaces(context, url, faces, &count);
    if (rc != Res_ok) {
        Url_free(url);
        return rc == Res_noMemory ? rc : Res_ok;
    }
    if (const char *extra = supplementOf(catalogue, baseName(url)))
        for (uint32_t i = 0; i < count && rc == Res_ok; i++)
            rc = FontNames_add(&faces[i]->name, extra);
    if (rc != Res_ok) {
        for (uint32_t i = 0; i < count; i++)
            Font_faceRelease(faces[i]);
        Url_free(url);
        return rc;
    }
    return addFaces(catalogue, url, faces, count);
}

} // namespace

int FontCatalogue_create(EngineContext *, FontCatalogue **out)
{
    *out = static_cast<FontCatalogue *>(Mem_calloc(1, sizeof(FontCatalogue)));
    return *out ? Res_ok : Res_noMemory;
}

void FontCatalogue_free(FontCatalogue *catalogue)
{
    if (!catalogue)
        return;
    for (uint32_t i = 0; i < catalogue->faceCount; i++) {
        if (catalogue->urls)
            Url_free(catalogue->urls[i]);
        Font_faceRelease(catalogue->faces[i]);
    }
    Mem_free(catalogue->faces);
    Mem_free(catalogue->urls);
    freePairs(catalogue->defaults, catalogue->defaultCount);
    freePairs(catalogue->supplements, catalogue->supplementCount);
    for (uint32_t i = 0; i < catalogue->bufferedCount; i++)
        Mem_free(catalogue->buffered[i]);
    Mem_free(catalogue->buffered);
    Mem_free(catalogue);
}

int FontCatalogue_addFace(FontCatalogue *catalogue, Url *url, FontFace *face)
{
    if (catalogue->faceCount == catalogue->faceCapacity) {
        uint32_t next =
            catalogue->faceCapacity ? catalogue->faceCapacity * 2 : FontCatalogue_firstCapacity;
        FontFace **faces = static_cast<FontFace **>(Mem_malloc(size_t(next) * sizeof(FontFace *)));
        Url **urls = static_cast<Url **>(Mem_calloc(next, sizeof(Url *)));
        if (!faces || !urls) {
            Mem_free(faces);
            Mem_free(urls);
            return Res_noMemory;
        }
        if (catalogue->faceCount) {
            memcpy(faces, catalogue->faces, catalogue->faceCount * sizeof(FontFace *));
            memcpy(urls, catalogue->urls, catalogue->faceCount * sizeof(Url *));
        }
        Mem_free(catalogue->faces);
        Mem_free(catalogue->urls);
        catalogue->faces = faces;
        catalogue->urls = urls;
        catalogue->faceCapacity = next;
    }
    catalogue->faces[catalogue->faceCount] = face;
    catalogue->urls[catalogue->faceCount] = url;
    catalogue->faceCount++;
    return Res_ok;
}

int FontCatalogue_isEmpty(const FontCatalogue *catalogue)
{
    return catalogue && catalogue->faceCount ? Res_ok : Res_fontCatalogueEmpty;
}

int FontFile_openFaces(EngineContext *context, const Url *url, FontFace **faces, uint32_t *count)
{
    *count = 0;
    uint32_t kind = FontFile_kind(url && url->path ? url->path : u"");
    FontEngine *fe = context ? context->fontEngine : nullptr;
    if (kind == FontFile_notFont || (kind == FontFile_fontPack && !(fe && fe->packOps)))
        return Res_fontUnsupported;
    if (kind != FontFile_collection) {
        int rc = openFace(context, url, kind, 0, FontCatalogue_unicodeRank, kind != FontFile_ef1,
                          &faces[0]);
        if (rc == Res_ok)
            *count = 1;
        return rc;
    }
    uint32_t offsets[FontCollection_maxFaces];
    uint32_t n = 0;
    int rc = readCollection(context, url, offsets, &n);
    for (uint32_t i = 0; i < n && rc == Res_ok; i++) {
        rc =
            openFace(context, url, kind, offsets[i], FontCatalogue_collectionRank, true, &faces[i]);
        if (rc == Res_ok)
            *count = i + 1;
    }
    if (rc != Res_ok) {
        for (uint32_t i = 0; i < *count; i++)
            Font_faceRelease(faces[i]);
        *count = 0;
    }
    return rc;
}

int FontCatalogue_readMap(EngineContext *context, FontCatalogue *catalogue, const Url *fontsDir)
{
    MapReading m = {context, catalogue, fontsDir};
    return FontMap_readFile(context, fontsDir, mapLine, &m);
}

int FontCatalogue_nameFaces(FontCatalogue *catalogue)
{
    uint32_t largest = 0;
    bool any = false;
    for (uint32_t i = 0; i < catalogue->faceCount; i++) {
        FontFace *face = catalogue->faces[i];
        size_t before = face->name ? strlen(face->name) : 0;
        if (face->name)
            cutUnicode(face->name);
        if (before <= FontCatalogue_unicodeLimit && (!any || face->glyphCount > largest)) {
            largest = face->glyphCount;
            any = true;
        }
    }
    int rc = Res_ok;
    bool symbol = false, dingbats = false;
    for (uint32_t i = 0; i < catalogue->faceCount; i++) {
        FontFace *face = catalogue->faces[i];
        if (!face->name) {
            face->name = Cstr_dup("");
            if (!face->name)
                return Res_noMemory;
        }
        if (any && face->glyphCount == largest && rc == Res_ok)
            rc = FontNames_add(&face->name, unicodeName);
        uint32_t r1 = face->unicodeRanges[0], r2 = face->unicodeRanges[1];
        if (!symbol && (r1 & symbolRange1) == symbolRange1 && (r2 & symbolRange2) == symbolRange2) {
            symbol = true;
            if (rc == Res_ok)
                rc = FontNames_add(&face->name, "Symbol");
        }
        if (!dingbats && (r1 & dingbatRange1) == dingbatRange1 &&
            (r2 & dingbatRange2) == dingbatRange2) {
            dingbats = true;
            if (rc == Res_ok)
                rc = FontNames_add(&face->name, "Wingdings");
        }
    }
    return rc;
}

int FontCatalogue_scanDirectory(EngineContext *context, FontCatalogue *catalogue,
                                const Url *fontsDir)
{
    if (!catalogue || !fontsDir)
        return Res_nullInput;
    Url **urls = nullptr;
    uint32_t count = 0;
    int rc = listFiles(context, context ? context->fontEngine : nullptr, fontsDir, &urls, &count);
    for (uint32_t i = 0; i < count; i++) {
        if (rc == Res_ok)
            rc = scanFile(context, catalogue, urls[i]);
        else
            Url_free(urls[i]);
    }
    Mem_free(urls);
    int named = FontCatalogue_nameFaces(catalogue);
    return rc ? rc : named;
}
