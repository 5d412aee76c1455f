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
#include "core/stream/bytestream.h"
#include "office/ole2/ole.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Header offsets read directly: the byte-order mark and the first
// entries of the sector allocation list.
enum : size_t {
    kByteOrder = 28,
    kHeaderDifat = 76,
};

// The header's numeric fields, in the file's byte order: indices into
// kHeaderFields and into the values read from it.
enum : size_t {
    kMinorVersion,
    kMajorVersion,
    kSectorShift,
    kMiniSectorShift,
    kFatSectorCount,
    kFirstDirSector,
    kMiniCutoff,
    kFirstMiniFatSector,
    kFirstDifatSector,
    kDifatSectorCount,
    kHeaderFieldCount,
};

constexpr ByteField kHeaderFields[kHeaderFieldCount] = {
    {24, 2}, // minor version
    {26, 2}, // major version
    {30, 2}, // sector shift
    {32, 2}, // mini sector shift
    {44, 4}, // sectors in the allocation table
    {48, 4}, // first directory sector
    {56, 4}, // the size below which streams live in mini sectors
    {60, 4}, // first mini allocation table sector
    {68, 4}, // first sector of the allocation list's extension
    {72, 4}, // sectors in that extension
};

// Reads the header's numeric fields (h holds the whole header, so none
// lies past its end).
int readHeaderFields(const uint8_t *h, bool swapped, uint32_t values[kHeaderFieldCount])
{
    int r = Bytes_readFields(h, Ole_headerSize, swapped ? 1 : 0, kHeaderFields, kHeaderFieldCount,
                             values);
    return r == Res_ok ? Res_ok : Res_oleShortHeader;
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

// Reads the header into h (512 bytes): Res_oleShortHeader when the stream is
// shorter.
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
    uint32_t v[kHeaderFieldCount];
    int r = readHeaderFields(h, swapped, v);
    if (r != Res_ok)
        return r;
    handle->minorVersion = uint16_t(v[kMinorVersion]);
    handle->majorVersion = uint16_t(v[kMajorVersion]);
    if (!minorVersionKnown(handle->minorVersion) || handle->majorVersion != Ole_majorVersion)
        return Res_oleBadVersion;
    // The format's own limits: sectors of 128 to 65536 bytes, and mini
    // sectors smaller than sectors. A hostile header with a shift of 40 or
    // 65535 is refused here, before any size is computed from it.
    uint32_t shift = v[kSectorShift];
    uint32_t miniShift = v[kMiniSectorShift];
    if (shift < kSectorShiftMin || shift > kSectorShiftMax || miniShift == 0)
        return Res_oleZeroShift;
    if (miniShift >= shift)
        return Res_oleMiniShift;
    return Res_ok;
}

// Hands the header's values to the sector file.
int openSectorFile(OleHandle *handle, const uint8_t *h)
{
    uint32_t v[kHeaderFieldCount];
    int r = readHeaderFields(h, handle->byteSwapped != 0, v);
    if (r != Res_ok)
        return r;
    return Ole_fileOpen(&handle->file, handle->stream, v[kMiniCutoff], sizeOfShift(v[kSectorShift]),
                        sizeOfShift(v[kMiniSectorShift]), h + kHeaderDifat, v[kFatSectorCount],
                        Ole_headerSize, v[kFirstDirSector], v[kFirstMiniFatSector],
                        v[kFirstDifatSector], v[kDifatSectorCount], handle->byteSwapped);
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
    int err = Vfs_open(context, url, mode, &handle->stream, &accepted);
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
