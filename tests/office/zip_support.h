// Test support for the zip archive tests: the committed fixtures of
// tests/fixtures/zip (made with Info-ZIP's zip) with their expected
// listings (unzip -Z1) and member contents (unzip -p), a fixture with the
// file layer, and readers that drain a member or a stream.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/result.h"
#include "office/zip/zip.h"
#include "platform/vfs/vfs.h"
#include "tests/platform/file_fixture.h"

inline std::string zipFixturePath(const std::string &name)
{
    return std::string(VEXLAN_FIXTURES) + "/zip/" + name;
}

inline std::string zipFixtureBytes(const std::string &name)
{
    std::ifstream in(zipFixturePath(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The names unzip -Z1 lists for the archive (expected/<base>.list).
inline std::vector<std::string> zipExpectedList(const std::string &base)
{
    std::ifstream in(zipFixturePath("expected/" + base + ".list"));
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);)
        names.push_back(line);
    return names;
}

// What unzip -p gives for a member (expected/<base>__<member, "/" as "__">).
inline std::string zipExpectedContent(const std::string &base, const std::string &member)
{
    std::string file = base + "__";
    for (char c : member)
        file += c == '/' ? std::string("__") : std::string(1, c);
    return zipFixtureBytes("expected/" + file);
}

// Reads the member to its end in pieces of chunk bytes; *result gets the
// first error (reading stops there).
inline std::string zipReadAll(ZipMember *m, size_t chunk, int *result)
{
    std::string out;
    std::vector<uint8_t> buf(chunk);
    *result = Res_ok;
    for (;;) {
        size_t got = 0;
        *result = Zip_memberRead(m, buf.data(), chunk, &got);
        out.append(reinterpret_cast<char *>(buf.data()), got);
        if (*result != Res_ok || got == 0)
            return out;
    }
}

// Reads a stream to its end through lent buffers of want bytes.
inline std::string vfsReadAll(VfsHandle *h, size_t want, int *result)
{
    std::string out;
    *result = Res_ok;
    for (;;) {
        const uint8_t *p = nullptr;
        size_t len = 0;
        *result = Vfs_getReadBuf(h, want, &p, &len);
        if (*result != Res_ok)
            return out;
        out.append(reinterpret_cast<const char *>(p), len);
        *result = Vfs_readDone(h, len);
        if (*result != Res_ok || len == 0)
            return out;
    }
}

// Every name of a listing, in order.
inline std::vector<std::string> vfsListAll(VfsHandle *h, int *result)
{
    std::vector<std::string> names;
    for (;;) {
        const char16_t *name = nullptr;
        *result = Vfs_readDir(h, &name);
        if (*result != Res_ok || !name)
            return names;
        names.push_back(S(name));
    }
}

// The file layer with helpers that open fixtures as streams.
class ZipFixture : public FileFixture {
  protected:
    // A file URL of a fixture, with an optional path after it.
    Url *fixtureUrl(const std::string &name, const std::string &after = "")
    {
        return url("file://root" + zipFixturePath(name) + after);
    }
    // The fixture opened for reading through the file driver.
    VfsHandle *openFile(const std::string &name)
    {
        Url *u = fixtureUrl(name);
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_open(ctx, u, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted), Res_ok) << name;
        Url_free(u);
        return h;
    }
    // A memory stream over bytes that the test keeps alive.
    VfsHandle *openBytes(const std::string &bytes)
    {
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(),
                                 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted),
                  Res_ok);
        return h;
    }
};
