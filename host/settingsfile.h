// The host settings file's lines: key=value, read within bounds. Kept free
// of Qt so that its fuzz target can run it alone.
#pragma once

#include <cstdio>

// The settings the preferences change, with their defaults.
struct HostSettings {
    bool singlePage = false;
    bool autoEncoding = true;
    int encoding = 0; // a character set index 0 to 7
};

// Reads key=value lines from the file into settings (defaults first).
// Lines longer than the bounds (255 bytes of key, 255 of value), lines
// without a key, a "=" or a decimal value, and unknown keys are skipped;
// an Encoding outside 0 to 7 becomes 0.
void HostSettings_parse(FILE *file, HostSettings *settings);
// Writes "SinglePage=%d", "AutoEncoding=%d" and "Encoding=%d" lines; false
// when writing failed.
bool HostSettings_print(FILE *file, const HostSettings &settings);
