// The host settings file's lines.
#include "host/settingsfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t fieldLimit = 255;

// One key=value line (without its end of line) into key and value; false
// for a line of another form or out of bounds.
bool splitLine(const char *line, size_t length, char *key, char *value)
{
    const char *equals = static_cast<const char *>(memchr(line, '=', length));
    if (!equals || equals == line)
        return false;
    size_t keyLength = size_t(equals - line), valueLength = length - keyLength - 1;
    if (keyLength > fieldLimit || valueLength == 0 || valueLength > fieldLimit)
        return false;
    memcpy(key, line, keyLength);
    key[keyLength] = 0;
    memcpy(value, equals + 1, valueLength);
    value[valueLength] = 0;
    return true;
}

bool decimal(const char *text, long *out)
{
    errno = 0;
    char *end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || errno == ERANGE)
        return false;
    while (*end == ' ' || *end == '\t')
        end++;
    if (*end)
        return false;
    *out = v;
    return true;
}

// One line (without its end of line) into the settings; other lines are
// skipped.
void applyLine(char *line, size_t length, HostSettings *settings)
{
    char key[fieldLimit + 1], value[fieldLimit + 1];
    long v = 0;
    if (length && line[length - 1] == '\r')
        length--;
    if (memchr(line, 0, length) || !splitLine(line, length, key, value) || !decimal(value, &v))
        return;
    if (!strcmp(key, "SinglePage"))
        settings->singlePage = v != 0;
    else if (!strcmp(key, "AutoEncoding"))
        settings->autoEncoding = v != 0;
    else if (!strcmp(key, "Encoding"))
        settings->encoding = v >= 0 && v <= 7 ? int(v) : 0;
}

} // namespace

void HostSettings_parse(FILE *file, HostSettings *settings)
{
    *settings = HostSettings();
    if (!file)
        return;
    // The longest line: a key, "=" and a value (and a carriage return).
    char line[2 * fieldLimit + 2];
    int c = 0;
    while (c != EOF) {
        size_t length = 0;
        bool tooLong = false;
        while ((c = getc(file)) != EOF && c != '\n') {
            if (length < sizeof(line))
                line[length++] = char(c);
            else
                tooLong = true;
        }
        if (!tooLong)
            applyLine(line, length, settings);
    }
}

bool HostSettings_print(FILE *file, const HostSettings &settings)
{
    return fprintf(file, "SinglePage=%d\n", settings.singlePage ? 1 : 0) > 0 &&
           fprintf(file, "AutoEncoding=%d\n", settings.autoEncoding ? 1 : 0) > 0 &&
           fprintf(file, "Encoding=%d\n", settings.encoding) > 0;
}
