// A small zip writer for tests and benchmarks that need archives of a
// shape no committed fixture has (many folders, large members): stored or
// deflated (zlib, raw) members, the DOS time 2021-03-04 05:06:08, host
// byte 3, no extra fields, no comment.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

struct ZipWriterEntry {
    std::string name;
    std::string data;
    bool deflate;
};

inline void zipPut16(std::string &s, uint32_t v)
{
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}

inline void zipPut32(std::string &s, uint32_t v)
{
    zipPut16(s, v & 0xFFFF);
    zipPut16(s, v >> 16);
}

// Raw deflate of data at level 9.
inline std::string zipDeflateRaw(const std::string &data)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The archive of the entries, in order.
inline std::string zipWrite(const std::vector<ZipWriterEntry> &entries)
{
    const uint32_t dosTime = (5u << 11) | (6u << 5) | 4u;
    const uint32_t dosDate = ((2021u - 1980u) << 9) | (3u << 5) | 4u;
    std::string out, central;
    for (const ZipWriterEntry &e : entries) {
        std::string body = e.deflate ? zipDeflateRaw(e.data) : e.data;
        uint32_t crc =
            uint32_t(crc32(0, reinterpret_cast<const Bytef *>(e.data.data()), uInt(e.data.size())));
        uint32_t offset = uint32_t(out.size());
        zipPut32(out, 0x04034B50);
        zipPut16(out, 20);
        zipPut16(out, 0);
        zipPut16(out, e.deflate ? 8 : 0);
        zipPut16(out, dosTime);
        zipPut16(out, dosDate);
        zipPut32(out, crc);
        zipPut32(out, uint32_t(body.size()));
        zipPut32(out, uint32_t(e.data.size()));
        zipPut16(out, uint32_t(e.name.size()));
        zipPut16(out, 0);
        out += e.name;
        out += body;
        zipPut32(central, 0x02014B50);
        zipPut16(central, (3u << 8) | 20u);
        zipPut16(central, 20);
        zipPut16(central, 0);
        zipPut16(central, e.deflate ? 8 : 0);
        zipPut16(central, dosTime);
        zipPut16(central, dosDate);
        zipPut32(central, crc);
        zipPut32(central, uint32_t(body.size()));
        zipPut32(central, uint32_t(e.data.size()));
        zipPut16(central, uint32_t(e.name.size()));
        zipPut16(central, 0);
        zipPut16(central, 0);
        zipPut16(central, 0);
        zipPut16(central, 0);
        zipPut32(central, 0);
        zipPut32(central, offset);
        central += e.name;
    }
    uint32_t dirOffset = uint32_t(out.size());
    out += central;
    zipPut32(out, 0x06054B50);
    zipPut16(out, 0);
    zipPut16(out, 0);
    zipPut16(out, uint32_t(entries.size()));
    zipPut16(out, uint32_t(entries.size()));
    zipPut32(out, uint32_t(central.size()));
    zipPut32(out, dirOffset);
    zipPut16(out, 0);
    return out;
}
