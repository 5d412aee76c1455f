// Test support for the URL and file tests: an engine heap with an engine
// context (no scheduler, so locks do nothing and stop checks pass), the
// file layer and the built-in file table, a scratch directory that is
// removed afterwards, and small helpers for 16-bit text.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <ftw.h>
#include <unistd.h>

#include "core/mem/mem.h"
#include "core/text/charset.h"
#include "html/web/httpcache.h"
#include "platform/api/engine.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/romfs.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

// 16-bit text from UTF-8 (std::u16string, for comparisons and literals).
inline std::u16string U(const std::string &s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        int n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if (c < 0xE0) {
            cp = c & 0x1F;
            n = 2;
        } else if (c < 0xF0) {
            cp = c & 0x0F;
            n = 3;
        } else {
            cp = c & 0x07;
            n = 4;
        }
        for (int k = 1; k < n; k++)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

// UTF-8 of a 16-bit string ("(null)" for null), for messages and checks.
inline std::string S(const char16_t *s)
{
    if (!s)
        return "(null)";
    std::string out;
    for (; *s; s++) {
        uint32_t c = *s;
        if (c >= 0xD800 && c <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[1] - 0xDC00);
            s++;
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Takes a heap string, returns its text and frees it.
inline std::string Take(char16_t *s)
{
    std::string out = S(s);
    Mem_free(s);
    return out;
}

inline std::string TakeC(char *s)
{
    std::string out = s ? s : "(null)";
    Mem_free(s);
    return out;
}

// A heap of the host's default size with a bare engine context, checked
// for leaks after each test.
class HeapFixture : public LeakCheckedContextTest<0> {
  protected:
    Url *url(const std::string &text)
    {
        std::u16string w = U(text);
        return Url_new(w.c_str());
    }
};

// HeapFixture with the file layer, the built-in table, a scratch directory
// and the three environment variables cleared.
class FileFixture : public HeapFixture {
  protected:
    std::string dir;
    size_t layerBaseline = 0; // heap bytes in use once the file layer is up

    void SetUp() override
    {
        HeapFixture::SetUp();
        unsetenv("OKALA_DIRECTORY");
        unsetenv("OKALA_DIRECTORY_RO");
        unsetenv("OKALA_FSROOT");
        ASSERT_EQ(AlienFile_initLayer(ctx), 0);
        ASSERT_EQ(RomFs_createTable(ctx), 0);
        const char *tmp = getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexlan-file-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        layerBaseline = TestHeap_usedBytes();
    }

    void TearDown() override
    {
        unsetenv("OKALA_DIRECTORY");
        unsetenv("OKALA_DIRECTORY_RO");
        unsetenv("OKALA_FSROOT");
        HttpCache_uninstall(ctx); // a layer started by the test
        RomFs_freeTable(ctx);
        AlienFile_finiLayer(ctx);
        nftw(
            dir.c_str(),
            [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
        HeapFixture::TearDown();
    }

    std::string path(const std::string &name) const
    {
        return dir + "/" + name;
    }

    void writeFile(const std::string &name, const std::string &bytes)
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    std::string readFile(const std::string &name)
    {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    bool exists(const std::string &name)
    {
        return access(path(name).c_str(), F_OK) == 0;
    }

    // A file URL on the root host for a path in the scratch directory.
    Url *fileUrl(const std::string &name)
    {
        return url("file://root" + path(name));
    }
};
