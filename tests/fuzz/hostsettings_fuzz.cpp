// The host settings file reader on arbitrary bytes: every line is read
// within its bounds, and the settings stay in range.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "host/settingsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // fmemopen of an empty buffer fails: give it one byte it never reads.
    static const uint8_t empty[1] = {0};
    FILE *file = fmemopen(const_cast<uint8_t *>(size ? data : empty), size ? size : 1, "rb");
    if (!file)
        return 0;
    if (!size)
        fgetc(file);
    HostSettings settings;
    HostSettings_parse(file, &settings);
    fclose(file);
    if (settings.encoding < 0 || settings.encoding > 7)
        abort();
    return 0;
}
