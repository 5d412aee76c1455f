// Golden pictures of the rendering tests: 16-bit 5-6-5 pixels as 8-bit RGB
// PNG files (colour type 2, one IDAT chunk, filter 0 on every row), written
// and read with zlib. The reader takes only what the writer makes.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace png {

// 5-6-5 to 8-bit RGB, each channel widened by repeating its top bits.
inline std::vector<uint8_t> rgbFrom565(const uint16_t *pixels, int width, int height,
                                       size_t strideBytes)
{
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(width) * height * 3);
    for (int y = 0; y < height; y++) {
        const uint16_t *row = reinterpret_cast<const uint16_t *>(
            reinterpret_cast<const uint8_t *>(pixels) + size_t(y) * strideBytes);
        for (int x = 0; x < width; x++) {
            uint16_t p = row[x];
            uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
            rgb.push_back(uint8_t(r << 3 | r >> 2));
            rgb.push_back(uint8_t(g << 2 | g >> 4));
            rgb.push_back(uint8_t(b << 3 | b >> 2));
        }
    }
    return rgb;
}

inline void put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(uint8_t(v >> s));
}

inline void chunk(std::vector<uint8_t> &out, const char *type, const std::vector<uint8_t> &data)
{
    put32(out, uint32_t(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    put32(out, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

inline bool write(const std::string &path, const std::vector<uint8_t> &rgb, int width, int height)
{
    std::vector<uint8_t> raw;
    for (int y = 0; y < height; y++) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + size_t(y) * width * 3,
                   rgb.begin() + size_t(y + 1) * width * 3);
    }
    uLongf packed = compressBound(uLong(raw.size()));
    std::vector<uint8_t> z(packed);
    if (compress2(z.data(), &packed, raw.data(), uLong(raw.size()), 9) != Z_OK)
        return false;
    z.resize(packed);
    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put32(ihdr, uint32_t(width));
    put32(ihdr, uint32_t(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    chunk(file, "IHDR", ihdr);
    chunk(file, "IDAT", z);
    chunk(file, "IEND", {});
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(file.data(), 1, file.size(), f) == file.size();
    return fclose(f) == 0 && ok;
}

inline uint32_t get32(const std::vector<uint8_t> &b, size_t at)
{
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// The RGB bytes of a file made by write; empty when it cannot be read.
inline std::vector<uint8_t> read(const std::string &path, int *width, int *height)
{
    std::vector<uint8_t> file;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        int c;
        while ((c = fgetc(f)) != EOF)
            file.push_back(uint8_t(c));
        fclose(f);
    }
    std::vector<uint8_t> z;
    *width = *height = 0;
    for (size_t at = 8; at + 12 <= file.size();) {
        uint32_t n = get32(file, at);
        if (at + 12 + n > file.size())
            return {};
        std::string type(file.begin() + at + 4, file.begin() + at + 8);
        if (type == "IHDR") {
            *width = int(get32(file, at + 8));
            *height = int(get32(file, at + 12));
        } else if (type == "IDAT") {
            z.insert(z.end(), file.begin() + at + 8, file.begin() + at + 8 + n);
        }
        at += 12 + n;
    }
    std::vector<uint8_t> raw(size_t(*width) * 3 * *height + *height);
    uLongf size = uLongf(raw.size());
    if (z.empty() || uncompress(raw.data(), &size, z.data(), uLong(z.size())) != Z_OK ||
        size != raw.size())
        return {};
    std::vector<uint8_t> rgb;
    for (int y = 0; y < *height; y++) {
        const uint8_t *row = raw.data() + size_t(y) * (size_t(*width) * 3 + 1);
        if (row[0] != 0)
            return {};
        rgb.insert(rgb.end(), row + 1, row + 1 + size_t(*width) * 3);
    }
    return rgb;
}

} // namespace png
