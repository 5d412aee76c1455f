// The listing of an open compound file.
#include "tools/oledump/olelist.h"

#include <algorithm>
#include <cstdio>

#include <zlib.h>

#include "core/result.h"
#include "office/ole2/ole.h"

namespace {

std::string escapeName(const char16_t *name)
{
    std::string out;
    char buf[8];
    for (; *name; name++) {
        uint32_t u = *name;
        if (u >= 0x20 && u < 0x7F && u != '\\' && u != '/') {
            out += char(u);
        } else {
            snprintf(buf, sizeof buf, u < 0x80 ? "\\x%02x" : "\\u%04x", unsigned(u));
            out += buf;
        }
    }
    return out;
}

} // namespace

std::string OleList_path(OleHandle *handle, const OleDirEntry *entry)
{
    std::string path = escapeName(entry->name);
    uint32_t parent = entry->parentId;
    // Parents come before their children; a chain longer than the list
    // cannot be a path.
    for (int depth = 0; parent != 0; depth++) {
        OleDirEntry *p = nullptr;
        if (depth > 100000 || Ole_entryFindById(handle->entries, parent, &p) != Res_ok)
            return "?/" + path;
        path = escapeName(p->name) + "/" + path;
        parent = p->parentId;
    }
    return path;
}

int OleList_readStream(OleHandle *handle, uint32_t id, std::string *bytes)
{
    bytes->clear();
    OleStream *s = nullptr;
    int err = Ole_streamOpenById(handle, id, &s);
    if (err != Res_ok)
        return err;
    uint64_t size = Ole_streamSize(s);
    std::string chunk(65536, '\0');
    while (bytes->size() < size) {
        size_t got = 0;
        err = Ole_streamRead(s, chunk.size(), &got, &chunk[0]);
        bytes->append(chunk, 0, got);
        if (err == Res_oleStreamEnd && bytes->size() == size)
            err = Res_ok;
        if (err != Res_ok || got == 0)
            break;
    }
    (void)Ole_streamClose(&s);
    if (err == Res_ok && bytes->size() != size)
        err = Res_oleStreamEnd;
    return err;
}

std::vector<std::string> OleList_lines(OleHandle *handle)
{
    std::vector<std::string> lines;
    for (OleDirEntry *e = handle->entries; e; e = e->next) {
        if (e->id == 0 || (e->type != OleEntry_storage && e->type != OleEntry_stream))
            continue;
        std::string path = OleList_path(handle, e);
        if (e->type == OleEntry_storage) {
            lines.push_back("storage " + path);
            continue;
        }
        std::string bytes;
        char tail[40];
        if (OleList_readStream(handle, e->id, &bytes) == Res_ok) {
            unsigned long crc =
                crc32(0L, reinterpret_cast<const Bytef *>(bytes.data()), uInt(bytes.size()));
            snprintf(tail, sizeof tail, " %u %08lx", unsigned(e->size), crc);
        } else {
            snprintf(tail, sizeof tail, " %u error", unsigned(e->size));
        }
        lines.push_back("stream " + path + tail);
    }
    std::sort(lines.begin(), lines.end());
    lines.insert(lines.begin(), "open ok");
    return lines;
}
