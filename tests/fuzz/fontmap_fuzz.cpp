// Fuzz target for the font map reader and its line parsers. The input is a
// map text; every line handed to the handler must be at most 255 bytes
// with no LF, and each is split the way its section's handler splits it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/result.h"
#include "fonts/fontmap.h"

namespace {

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "fontmap_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

int onLine(void *arg, uint32_t section, char *line)
{
    size_t n = strlen(line);
    require(n > 0 && n <= FontMap_maxLine);
    require(!strchr(line, '\n') && line[0] != '#');
    ++*static_cast<uint32_t *>(arg);
    if (section == FontMap_library) {
        FontMapLibraryLine lib;
        int rc = FontMap_parseLibrary(line, &lib);
        if (rc == Res_ok) {
            require(lib.names && lib.file);
            require((lib.style & 15) == 3 || (lib.style & 15) == 6 || (lib.style & 15) == 8);
        }
        // A malformed line would stop the reading; keep going to see more.
        return rc == Res_fontMapLine ? Res_fontUnsupported : rc;
    }
    if (section == FontMap_defaults || section == FontMap_supplements) {
        char *key = nullptr, *value = nullptr;
        int rc = FontMap_splitPair(line, &key, &value);
        require(rc == Res_ok ? key && value : !key && !value);
        return rc == Res_fontMapLine ? Res_fontFileUnreadable : rc;
    }
    require(section == FontMap_buffered);
    return Res_ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint32_t lines = 0;
    int rc = FontMap_readText(reinterpret_cast<const char *>(data), size, onLine, &lines);
    require(rc == Res_ok);
    require(lines <= size);
    return 0;
}
