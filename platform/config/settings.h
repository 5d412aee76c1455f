// The settings file "choices.txt".
//
// Settings can be given to the engine in a plain text file: sections in
// square brackets name configuration domains, and key=value lines below
// them set values in the configuration store. Numbers become integer
// settings, everything else string settings; every value goes through the
// ordinary setters, so change watchers are called.
//
// The file is a byte stream of lines ended by LF; a CR right before the LF
// (or at the very end) is dropped. Bytes are Latin-1: each becomes one
// 16-bit character when stored. Line kinds, decided in this order:
//   - a line shorter than 3 bytes is ignored;
//   - a line whose first byte is "#" is a comment;
//   - a line that holds "[" anywhere is a section line: its name runs from
//     after the first "[" to the first "]" found from the line's second
//     byte on, and stays current until the next section line. A line
//     without such a "]" after its "[" is ignored;
//   - any other line is split at its first "=" into key and value, nothing
//     trimmed; a line without "=", or one before any section line, is
//     ignored.
// The last line counts even without a final LF. A line of Settings_lineMax
// bytes or more before its LF can never fit one read window: it is skipped
// whole.
//
// The parser is fed windows of bytes (Settings_parseLines): it takes every
// complete line and reports how far it got, so that the unfinished last
// line begins the next window. Settings_readSource drives it over any
// source that lends read windows; the stream readers at the end drive it
// over a virtual stream.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct ConfigStore;
struct Url;
struct VfsHandle;

enum : size_t {
    Settings_window = 4096,  // bytes asked of the source per read
    Settings_lineMax = 4096, // a line this long (before its LF) is skipped
};

// The state of one file being parsed.
struct SettingsParser {
    EngineContext *context;
    ConfigStore *store;
    char *section;    // the current section (heap); null before the first
    int32_t skipping; // 1 while the rest of an over-long line is dropped
};

// Prepares a parser that applies what it reads to store.
void Settings_parserInit(EngineContext *context, SettingsParser *parser, ConfigStore *store);
// Frees the parser's section buffer.
void Settings_parserFini(SettingsParser *parser);

// Parses the complete lines of the window data[0..len) and applies them.
// With final non-zero the window is the last: the text after its last LF is
// a line as well. *consumed = how many bytes were dealt with: up to just
// after the last LF; the whole window when final, or when the text after
// the last LF is already too long for any line (the rest of that line is
// then dropped from the next windows up to its LF); on failure the start of
// the line that failed (lines before it have taken effect). 0; 1 when
// memory for a section name, key or value runs out.
[[nodiscard]] int Settings_parseLines(SettingsParser *parser, const uint8_t *data, size_t len,
                                      int final, size_t *consumed);

// Reads an integer setting value (NUL-terminated): any run of "+" and
// white space, one optional "-", then digits: "0x" (lower-case x) selects
// hexadecimal, another leading "0" octal, else decimal (the "0" counts as a
// digit). The text must end after the digits, or go on with "K"/"k"
// (times 1024) or "M"/"m" (times 1048576), after which the rest is ignored.
// A digit not valid in the base, any other byte after the digits, no digit
// at all, or a magnitude (multiplier included) above 0xFFFFFFFF makes the
// text not a number, so that "4096M" is kept as the text it is rather than
// wrapping to 0. 1 with *value the number (negated, two's complement,
// after "-"); 0 with *value 0 when not a number.
int Settings_parseNumber(const char *text, uint32_t *value);

// Applies one setting (all 8-bit, Latin-1): a number by Config_setInt, any
// other value by Config_setUstr, both under the domain section and with
// mark 0. When memory to widen the texts runs out the setting is skipped.
void Settings_apply(EngineContext *context, ConfigStore *store, const char *section,
                    const char *key, const char *value);

// A source of read windows (the lent-buffer protocol of the streams):
// getReadBuf lends a window of up to want bytes or more, readDone says how
// many of them were used (the rest is lent again at the start of the next
// window), close ends the source. A window that brings nothing beyond what
// the last one left unused marks the end of the data (an empty window at
// the end, for one). Each returns 0 or an error.
struct SettingsSource {
    void *handle;
    int (*getReadBuf)(void *handle, size_t want, const uint8_t **ptr, size_t *len);
    int (*readDone)(void *handle, size_t n);
    int (*close)(void *handle);
};

// Reads the whole source into store, window by window, then closes it. 0;
// the first error met (of the source, or 1 from the parser; what came
// before it has taken effect); else the error of closing.
[[nodiscard]] int Settings_readSource(EngineContext *context, ConfigStore *store,
                                      const SettingsSource *source);

// ------------------------------------------------------------ the streams

// Reads an open virtual stream (the caller's; it is closed here whatever
// happens) into store. Results as Settings_readSource.
[[nodiscard]] int Settings_readStream(EngineContext *context, ConfigStore *store,
                                      VfsHandle *stream);

// Opens url for reading and reads it into store. 0; the open error as it
// comes; or the error of reading.
[[nodiscard]] int Settings_loadUrl(EngineContext *context, ConfigStore *store, const Url *url);

// Reads the first settings file that opens: the built-in
// "file://localhost/okala_dir/choices.txt", else path (a URL as 16-bit
// text). A file that cannot be opened (780) moves on to the next; any other
// open error is returned at once. 0 (also when neither file exists); 1 when
// a URL cannot be made; or the error of reading.
[[nodiscard]] int Settings_loadFirstFound(EngineContext *context, ConfigStore *store,
                                          const char16_t *path);

// Settings_loadFirstFound with dir followed directly by "choices.txt" (no
// separator is added: dir ends in one). 1 when the joined text cannot be
// made.
[[nodiscard]] int Settings_loadFromDir(EngineContext *context, ConfigStore *store,
                                       const char16_t *dir);
