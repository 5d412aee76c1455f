// The listing of an open compound file, as tools/oledump prints it and the
// office tests compare it: "open ok", then one sorted line per storage
// ("storage PATH") and stream ("stream PATH SIZE CRC32", the CRC-32 of
// its bytes in eight hex digits, or "error" when they cannot be read).
// Paths join names with "/"; a UTF-16 unit outside printable ASCII, and
// "\" and "/", is written \xNN (below 0x80) or \uNNNN.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct OleHandle;
struct OleDirEntry;

// The listing's lines, "open ok" first.
std::vector<std::string> OleList_lines(OleHandle *handle);
// The escaped path of an entry ("?" stands for a parent that is missing).
std::string OleList_path(OleHandle *handle, const OleDirEntry *entry);
// Reads a whole stream: 0 with its bytes, or the reader's error.
int OleList_readStream(OleHandle *handle, uint32_t id, std::string *bytes);
