// Test support for the compound-file tests: fixtures read into memory,
// compound files opened from memory streams (seekable or forward-only),
// byte patches, and the listing of tools/oledump.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/result.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "tests/platform/file_fixture.h"
#include "tools/oledump/olelist.h"

inline std::string officeFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/office/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The bytes the fixture generator gives its built streams.
inline std::string fixturePattern(size_t n, int seed)
{
    std::string out(n, '\0');
    for (size_t i = 0; i < n; i++)
        out[i] = char((i * 7 + size_t(seed) * 13 + (i >> 8)) & 0xFF);
    return out;
}

inline uint32_t get32(const std::string &b, size_t at)
{
    return uint32_t(uint8_t(b[at])) | (uint32_t(uint8_t(b[at + 1])) << 8) |
           (uint32_t(uint8_t(b[at + 2])) << 16) | (uint32_t(uint8_t(b[at + 3])) << 24);
}

inline void put32(std::string &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = char(v >> (8 * i));
}

// The file offset of the directory entry named name (little-endian file
// of 512-byte sectors), or std::string::npos.
inline size_t entryOffset(const std::string &b, const std::u16string &name)
{
    std::string raw;
    for (char16_t c : name) {
        raw += char(c & 0xFF);
        raw += char(c >> 8);
    }
    raw += std::string(2, '\0');
    for (size_t at = 512; at + 128 <= b.size(); at += 128)
        if (b.compare(at, raw.size(), raw) == 0)
            return at;
    return std::string::npos;
}

class OleTest : public FileFixture {
  protected:
    VfsHandle *stream = nullptr;
    OleHandle *ole = nullptr;

    void TearDown() override
    {
        closeFile();
        FileFixture::TearDown();
    }

    void closeFile()
    {
        Ole_close(&ole);
        Vfs_close(stream);
        stream = nullptr;
    }

    // Opens bytes as a compound file; the handle stays for the test.
    int open(const std::string &bytes, bool seekable = true)
    {
        closeFile();
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(bytes.size() ? bytes.size() : 1));
        EXPECT_NE(copy, nullptr);
        memcpy(copy, bytes.data(), bytes.size());
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx, copy, bytes.size(), 1, Vfs_modeRead | Vfs_modeSeekable,
                                 &stream, &accepted),
                  Res_ok);
        if (!seekable)
            stream->mode &= ~uint32_t(Vfs_modeSeekable);
        int r = Ole_openStream(stream, &ole);
        EXPECT_EQ(r == Res_ok, ole != nullptr);
        return r;
    }

    OleDirEntry *entry(uint32_t parent, const char16_t *name)
    {
        uint32_t id = 0;
        OleDirEntry *e = nullptr;
        if (Ole_entryFindByName(ole, parent, &id, name) == Res_ok)
            (void)Ole_entryFindById(ole->entries, id, &e);
        return e;
    }

    // The whole stream, or "<error N>".
    std::string streamBytes(uint32_t parent, const char16_t *name)
    {
        OleDirEntry *e = entry(parent, name);
        if (!e)
            return "<missing>";
        std::string bytes;
        int err = OleList_readStream(ole, e->id, &bytes);
        return err == Res_ok ? bytes : "<error " + std::to_string(err) + ">";
    }

    std::vector<std::string> listing()
    {
        return OleList_lines(ole);
    }
};

inline std::vector<std::string> listingFile(const std::string &name)
{
    std::vector<std::string> lines;
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/office/" + name + ".listing");
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
