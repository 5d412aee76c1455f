// The compound-file probe: validation of the 512-byte OLE2 header and the
// hand-over of its values to the sector file and directory readers.
//
// The header is never copied into a struct: each field is assembled from
// its bytes in the order the byte-order mark gives, so a big-endian file
// reads right on this little-endian host and a short or hostile header is
// caught by the checks before any value is used.
#include "office/ole2/oleprobe.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "office/ole2/ole.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Header offsets.
enum : size_t {
    kMinorVersion = 24,
    kMajorVersion = 26,
    kByteOrder = 28,
    kSectorShift = 30,
    kMiniSectorShift = 32,
    kFatSectorCount = 44,
    kFirstDirSector = 48,
    kMiniCutoff = 56,
    kFirstMiniFatSector = 60,
    kFirstDifatSector = 68,
    kDifatSectorCount = 72,
    kHeaderDifat = 76,
};

// A 16- or 32-bit header value in the file's byte order.
uint32_t readU16(const uint8_t *h, size_t at, bool swapped)
{
    return swapped ? (uint32_t(h[at]) << 8) | h[at + 1] : uint32_t(h[at]) | (uint32_t(h[at + 1]) << 8);
}

uint32_t readU32(const uint8_t *h, size_t at, bool swapped)
{
    if (swapped)
        return (uint32_t(h[at]) << 24) | (uint32_t(h[at + 1]) << 16) | (uint32_t(h[at + 2]) << 8) | h[at + 3];
    return uint32_t(h[at]) | (uint32_t(h[at + 1]) << 8) | (uint32_t(h[at + 2]) << 16) | (uint32_t(h[at + 3]) << 24);
}

bool signatureMatches(const uint8_t *h)
{
    for (size_t i = 0; i < sizeof kSignature; i++)
        if (h[i] != kSignature[i])
            return false;
    return true;
}

bool minorVersionKnown(uint32_t v)
{
    return v == 0x21 || v == 0x3B || v == 0x3E;
}

// Sector shifts the format allows: sectors of 128 to 65536 bytes.
constexpr uint32_t kSectorShiftMin = 7;
constexpr uint32_t kSectorShiftMax = 16;

// Only called with shifts that passed the header checks (below 16).
uint32_t sizeOfShift(uint32_t shift)
{
    return uint32_t(1) << shift;
}

// Reads the header into h (512 bytes): 3595 when the stream is shorter.
int readHeader(VfsHandle *stream, uint8_t *h)
{
    size_t got = 0;
    int err = Vfs_readBytes(stream, h, Ole_headerSize, &got);
    if (err == Res_vfsShortRead)
        return Res_oleShortHeader;
    return err;
}

// The header checks in their fixed order; the versions and byte order go
// into the handle.
int checkHeader(OleHandle *handle, const uint8_t *h)
{
    if (!signatureMatches(h))
        return Res_oleNotCompound;
    bool swapped;
    if (h[kByteOrder] == 0xFE && h[kByteOrder + 1] == 0xFF)
        swapped = false;
    else if (h[kByteOrder] == 0xFF && h[kByteOrder + 1] == 0xFE)
        swapped = true;
    else
        return Res_oleBadByteOrder;
    handle->byteSwapped = swapped ? 1 : 0;
    handle->minorVersion = uint16_t(readU16(h, kMinorVersion, swapped));
    handle->majorVersion = uint16_t(readU16(h, kMajorVersion, swapped));
    if (!minorVersionKnown(handle->minorVersion) || handle->majorVersion != Ole_majorVersion)
        return Res_oleBadVersion;
    // The format's own limits: sectors of 128 to 65536 bytes, and mini
    // sectors smaller than sectors. A hostile header with a shift of 40 or
    // 65535 is refused here, before any size is computed from it.
    uint32_t shift = readU16(h, kSectorShift, swapped);
    uint32_t miniShift = readU16(h, kMiniSectorShift, swapped);
    if (shift < kSectorShiftMin || shift > kSectorShiftMax || miniShift == 0)
        return Res_oleZeroShift;
    if (miniShift >= shift)
        return Res_oleMiniShift;
    return Res_ok;
}

// Hands the header's values to the sector file.
int openSectorFile(OleHandle *handle, const uint8_t *h)
{
    bool swapped = handle->byteSwapped != 0;
    return Ole_fileOpen(&handle->file, handle->stream, readU32(h, kMiniCutoff, swapped),
                        sizeOfShift(readU16(h, kSectorShift, swapped)),
                        sizeOfShift(readU16(h, kMiniSectorShift, swapped)), h + kHeaderDifat,
                        readU32(h, kFatSectorCount, swapped), Ole_headerSize, readU32(h, kFirstDirSector, swapped),
                        readU32(h, kFirstMiniFatSector, swapped), readU32(h, kFirstDifatSector, swapped),
                        readU32(h, kDifatSectorCount, swapped), handle->byteSwapped);
}

} // namespace

int Ole_probe(OleHandle *handle)
{
    // 1. The stream must be at its start.
    uint64_t position = 0;
    int err = Vfs_tell(handle->stream, &position);
    if (err != Res_ok)
        return err;
    if (position != 0)
        return Res_oleNotAtStart;
    uint8_t *h = static_cast<uint8_t *>(Mem_malloc(Ole_headerSize));
    if (!h)
        return Res_noMemory;
    // 2. to 5. Read, check, hand over, read the directory, finish.
    err = readHeader(handle->stream, h);
    if (err == Res_ok)
        err = checkHeader(handle, h);
    if (err == Res_ok)
        err = openSectorFile(handle, h);
    if (err == Res_ok)
        err = Ole_readDirectory(handle);
    Mem_free(h);
    return err;
}

int Ole_openStream(VfsHandle *stream, OleHandle **out)
{
    *out = nullptr;
    OleHandle *handle = Ole_allocFile();
    if (!handle)
        return Res_noMemory;
    handle->stream = stream;
    handle->ownsStream = 0;
    int err = Ole_probe(handle);
    if (err != Res_ok) {
        Ole_closeFile(&handle);
        return err;
    }
    *out = handle;
    return Res_ok;
}

int Ole_openUrl(EngineContext *context, const Url *url, OleHandle **out, uint32_t mode)
{
    *out = nullptr;
    OleHandle *handle = Ole_allocFile();
    if (!handle)
        return Res_noMemory;
    uint32_t accepted = 0;
    int err = Vfs_open(url, mode, &handle->stream, &accepted, context);
    if (err == Res_ok) {
        handle->ownsStream = 1;
        err = Ole_probe(handle);
    }
    if (err != Res_ok) {
        Ole_closeFile(&handle);
        return err;
    }
    *out = handle;
    return Res_ok;
}

void Ole_close(OleHandle **handle)
{
    Ole_closeFile(handle);
}

int Ole_readAt(OleHandle *handle, void *buffer, uint64_t offset, size_t n)
{
    int err = Vfs_seek(handle->stream, offset);
    if (err != Res_ok)
        return err;
    uint8_t *to = static_cast<uint8_t *>(buffer);
    while (n) {
        size_t got = 0;
        err = Vfs_readBytes(handle->stream, to, n, &got);
        if (err == Res_vfsShortRead)
            return Res_oleShortRead;
        if (err != Res_ok)
            return err;
        to += got;
        n -= got;
    }
    return Res_ok;
}

void Ole_storeByte(uint8_t *p, uint32_t value)
{
    *p = uint8_t(value);
}
