// Test tooling: a minimal compound-file writer for the Word tests and the
// Word fuzz targets. Every stream lies in regular 512-byte sectors (the
// header's mini-stream cut-off is 0), one after the other, with the FAT in
// front; the root's children form a chain of right siblings. Enough for the
// reader, and independent of the engine's own writer.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct CfbStream {
    std::u16string name;
    std::string data;
};

inline void cfbPut16(std::string &b, size_t at, uint32_t v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}

inline void cfbPut32(std::string &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

// The compound file holding the streams (up to 109 FAT sectors of them).
inline std::string Cfb_build(const std::vector<CfbStream> &streams)
{
    const uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD;
    uint32_t entries = uint32_t(streams.size()) + 1;
    uint32_t dirSectors = (entries + 3) / 4;
    uint32_t dataSectors = 0;
    for (const CfbStream &s : streams)
        dataSectors += uint32_t((s.data.size() + 511) / 512);
    uint32_t fatSectors = 1;
    while (fatSectors * 128 < fatSectors + dirSectors + dataSectors)
        fatSectors++;
    uint32_t total = fatSectors + dirSectors + dataSectors;
    std::string file(512 + size_t(total) * 512, '\0');
    // Header.
    const unsigned char sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    for (int i = 0; i < 8; i++)
        file[i] = char(sig[i]);
    cfbPut16(file, 0x18, 0x3E);
    cfbPut16(file, 0x1A, 3);
    cfbPut16(file, 0x1C, 0xFFFE);
    cfbPut16(file, 0x1E, 9);
    cfbPut16(file, 0x20, 6);
    cfbPut32(file, 0x2C, fatSectors);
    cfbPut32(file, 0x30, fatSectors);
    cfbPut32(file, 0x38, 0);
    cfbPut32(file, 0x3C, kEnd);
    cfbPut32(file, 0x44, kEnd);
    for (uint32_t i = 0; i < 109; i++)
        cfbPut32(file, 0x4C + 4 * i, i < fatSectors ? i : kFree);
    // FAT.
    std::vector<uint32_t> fat(size_t(fatSectors) * 128, kFree);
    for (uint32_t i = 0; i < fatSectors; i++)
        fat[i] = kFatSect;
    for (uint32_t i = 0; i < dirSectors; i++)
        fat[fatSectors + i] = i + 1 < dirSectors ? fatSectors + i + 1 : kEnd;
    uint32_t next = fatSectors + dirSectors;
    std::vector<uint32_t> starts;
    for (const CfbStream &s : streams) {
        uint32_t n = uint32_t((s.data.size() + 511) / 512);
        starts.push_back(n ? next : kEnd);
        for (uint32_t k = 0; k < n; k++)
            fat[next + k] = k + 1 < n ? next + k + 1 : kEnd;
        file.replace(512 + size_t(next) * 512, s.data.size(), s.data);
        next += n;
    }
    for (size_t i = 0; i < fat.size(); i++)
        cfbPut32(file, 512 + 4 * i, fat[i]);
    // Directory.
    auto entry = [&](uint32_t id, const std::u16string &name, uint32_t type, uint32_t right,
                     uint32_t child, uint32_t start, uint32_t size) {
        size_t at = 512 + size_t(fatSectors) * 512 + 128 * size_t(id);
        size_t n = name.size() < 31 ? name.size() : 31;
        for (size_t i = 0; i < n; i++)
            cfbPut16(file, at + 2 * i, name[i]);
        cfbPut16(file, at + 0x40, uint32_t(2 * (n + 1)));
        file[at + 0x42] = char(type);
        file[at + 0x43] = 1;
        cfbPut32(file, at + 0x44, kFree);
        cfbPut32(file, at + 0x48, right);
        cfbPut32(file, at + 0x4C, child);
        cfbPut32(file, at + 0x74, start);
        cfbPut32(file, at + 0x78, size);
    };
    entry(0, u"Root Entry", 5, kFree, streams.empty() ? kFree : 1, kEnd, 0);
    for (uint32_t i = 0; i < streams.size(); i++)
        entry(i + 1, streams[i].name, 2, i + 1 < streams.size() ? i + 2 : kFree, kFree, starts[i],
              uint32_t(streams[i].data.size()));
    for (uint32_t id = entries; id < dirSectors * 4; id++) {
        size_t at = 512 + size_t(fatSectors) * 512 + 128 * size_t(id);
        cfbPut32(file, at + 0x44, kFree);
        cfbPut32(file, at + 0x48, kFree);
        cfbPut32(file, at + 0x4C, kFree);
    }
    return file;
}
