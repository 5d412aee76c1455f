// Test tooling for the chart and drawing records of the BIFF8 writer: a
// writer whose output is the "Workbook" stream of a new compound file in a
// scratch folder and whose source is a workbook stream opened from memory,
// and the records of the written stream read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <ftw.h>
#include <unistd.h>

#include "core/mem/mem.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/writer/xlswriter.h"

namespace objwrite {

struct Record {
    uint16_t type;
    std::string body;
};

// The records of a BIFF stream, in order; a record cut short ends the list
// with a type of 0xFFFF.
inline std::vector<Record> records(const std::string &bytes)
{
    std::vector<Record> out;
    size_t at = 0;
    while (at + 4 <= bytes.size()) {
        uint16_t type = uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
        size_t n = size_t(uint8_t(bytes[at + 2]) | uint8_t(bytes[at + 3]) << 8);
        if (at + 4 + n > bytes.size()) {
            out.push_back({0xFFFF, ""});
            break;
        }
        out.push_back({type, bytes.substr(at + 4, n)});
        at += 4 + n;
    }
    return out;
}

inline uint32_t le16(const std::string &b, size_t at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8;
}

inline uint32_t le32(const std::string &b, size_t at)
{
    return le16(b, at) | le16(b, at + 2) << 16;
}

inline int removeEntry(const char *p, const struct stat *, int, struct FTW *)
{
    return remove(p);
}

// A writer over a new compound file: begin() opens it (with the source
// stream and workbook the writer copies from), finish() flushes it and
// answers the bytes of its "Workbook" stream.
class WriterRig {
  public:
    XlsWriter writer{};

    explicit WriterRig(EngineContext *context) : ctx(context) {}

    ~WriterRig()
    {
        Mem_free(writer.buffer);
        if (stream)
            (void)Ole_streamClose(&stream);
        Ole_closeFile(&out);
        if (!dir.empty())
            nftw(dir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }

    void begin(OleStream *source, ExcelWorkbook *workbook)
    {
        const char *tmp = getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexlan-objwrite-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        Url *url = fileUrl(dir + "/out.xls");
        ASSERT_NE(url, nullptr);
        ASSERT_EQ(OleWriter_create(ctx, url, &out, 0), 0);
        Url_free(url);
        uint32_t id = 0;
        ASSERT_EQ(OleWriter_addStream(out, 0, u"Workbook", &id), 0);
        ASSERT_EQ(Ole_streamOpen(out, &stream, id), 0);
        writer.out = out;
        writer.stream = stream;
        writer.sourceStream = source;
        writer.workbook = workbook;
        writer.ctx = ctx;
        writer.buffer = static_cast<uint8_t *>(Mem_malloc(XlsWriter_recordMax + 4));
        ASSERT_NE(writer.buffer, nullptr);
    }

    // The written stream's bytes, read back through the compound-file
    // reader.
    std::string finish()
    {
        Mem_free(writer.buffer);
        writer.buffer = nullptr;
        EXPECT_EQ(Ole_streamClose(&stream), 0);
        EXPECT_EQ(OleWriter_flush(out), 0);
        Ole_closeFile(&out);
        std::ifstream in(dir + "/out.xls", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return streamOf(ss.str());
    }

    // The "Workbook" stream of a compound file in memory.
    std::string streamOf(const std::string &file)
    {
        std::string bytes;
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size() ? file.size() : 1));
        memcpy(copy, file.data(), file.size());
        VfsHandle *vfs = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs,
                                 &accepted),
                  0);
        OleHandle *ole = nullptr;
        EXPECT_EQ(Ole_openStream(vfs, &ole), 0);
        OleStream *s = nullptr;
        if (ole && Ole_streamOpenByName(ole, &s, 0, u"Workbook") == 0) {
            bytes.resize(size_t(Ole_streamSize(s)));
            size_t got = 0;
            EXPECT_EQ(Ole_streamRead(s, bytes.size(), &got, bytes.data()), 0);
            bytes.resize(got);
            (void)Ole_streamClose(&s);
        }
        Ole_close(&ole);
        Vfs_close(vfs);
        return bytes;
    }

  private:
    EngineContext *ctx;
    OleHandle *out = nullptr;
    OleStream *stream = nullptr;
    std::string dir;

    static Url *fileUrl(const std::string &path)
    {
        std::u16string text;
        for (char c : "file://root" + path)
            text += char16_t(uint8_t(c));
        return Url_new(text.c_str());
    }
};

// A compound file in memory opened for reading, with its "Workbook"
// stream: the source of a writer.
class SourceRig {
  public:
    OleStream *stream = nullptr;

    explicit SourceRig(EngineContext *context) : ctx(context) {}

    ~SourceRig()
    {
        if (stream)
            (void)Ole_streamClose(&stream);
        Ole_close(&ole);
        Vfs_close(vfs);
    }

    void open(const std::string &file)
    {
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
        memcpy(copy, file.data(), file.size());
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs,
                                 &accepted),
                  0);
        ASSERT_EQ(Ole_openStream(vfs, &ole), 0);
        ASSERT_EQ(Ole_streamOpenByName(ole, &stream, 0, u"Workbook"), 0);
    }

    OleHandle *handle() const
    {
        return ole;
    }

  private:
    EngineContext *ctx;
    VfsHandle *vfs = nullptr;
    OleHandle *ole = nullptr;
};

} // namespace objwrite
