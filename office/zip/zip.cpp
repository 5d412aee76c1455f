// Zip archives: the central directory, the name index and member reading.
//
// The end record is found by searching the file's last bytes backwards for
// its signature at a place from which the record and its comment reach
// exactly to the end of the file, so a signature inside a comment or a
// member's data is not taken for it. Archives with bytes in front (a
// self-extracting stub, or an archive appended to another file) record
// offsets relative to the archive proper: the difference between where the
// central directory is found and where it says it is (the base adjustment)
// is added to every recorded offset.
#include "office/zip/zip.h"

#include <algorithm>
#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/stream/inflate.h"
#include "core/text/charset.h"
#include "core/text/ustr.h"
#include "core/time/date.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr uint32_t endSignature = 0x06054B50;
constexpr uint32_t centralSignature = 0x02014B50;
constexpr uint32_t localSignature = 0x04034B50;

// Where the fields used here lie in the end record, a central directory
// header and a local header (all little-endian).
enum : size_t {
    zipEndEntryCount = 10,
    zipEndDirSize = 12,
    zipEndDirOffset = 16,
    zipEndCommentLength = 20,
    zipCentralMadeBy = 5, // the high byte: the system that made the entry
    zipCentralFlags = 8,
    zipCentralMethod = 10,
    zipCentralTime = 12,
    zipCentralDate = 14,
    zipCentralCompressedSize = 20,
    zipCentralSize = 24,
    zipCentralNameLength = 28,
    zipCentralExtraLength = 30,
    zipCentralCommentLength = 32,
    zipCentralLocalOffset = 42,
    zipLocalNameLength = 26,
    zipLocalExtraLength = 28,
};

// The character set an entry's name is decoded with: the configured one,
// except that under the default (windows-1252) only names written on NTFS
// hosts use it and all others are read as windows-437, the set of DOS
// archivers.
uint32_t nameCharsetFor(const ZipArchive *a, uint8_t hostByte)
{
    if (a->nameCharset != CharsetCode_win1252)
        return a->nameCharset;
    return hostByte == Zip_hostNtfs ? CharsetCode_win1252 : CharsetCode_cp437;
}

uint32_t configuredCharset(EngineContext *ctx)
{
    uint32_t code = CharsetCode_win1252;
    char16_t *value =
        Config_getUstrA(ctx, ctx ? ctx->config : nullptr, u"Core", "DefaultCharacterSet", nullptr);
    uint32_t found = 0;
    if (value && Charset_fromName(value, &found) == Res_ok)
        code = found;
    Mem_free(value);
    return code;
}

uint32_t nameHash(const char16_t *name, uint16_t buckets)
{
    uint32_t h = 0;
    for (; *name; name++)
        h = h * 31u + *name;
    return h % buckets;
}

// Reads the name of n bytes at position and decodes it into *name.
int readName(ZipArchive *a, uint64_t position, size_t n, uint8_t hostByte, char16_t **name)
{
    *name = nullptr;
    uint8_t *bytes = static_cast<uint8_t *>(Mem_malloc(n + 1));
    if (!bytes)
        return Res_noMemory;
    int r = Zip_readAt(a, position, bytes, n);
    if (r == Res_ok) {
        uint32_t code = nameCharsetFor(a, hostByte);
        // A configured 16-bit name set counts units, two bytes each.
        r = Charset_toUstrN(a->ctx, bytes, code == CharsetCode_utf16 ? n / 2 : n, name, code);
        // A name the character set cannot convert is a damaged entry.
        if (r != Res_ok && r != Res_noMemory)
            r = Res_zipBad;
    }
    Mem_free(bytes);
    return r;
}

// The seconds of a DOS time and date, read as local time.
int64_t dosTime(uint16_t time, uint16_t date)
{
    BrokenTime t{};
    t.sec = 2 * (time & 31);
    t.min = (time >> 5) & 63;
    t.hour = time >> 11;
    t.mday = date & 31;
    t.mon = ((date >> 5) & 15) - 1;
    t.year = (date >> 9) + 80;
    t.isdst = -1;
    return Std_mktime(&t);
}

// Finds the end record in the file's last bytes: *at its file position.
int findEndRecord(ZipArchive *a, uint8_t record[Zip_endRecordSize], uint64_t *at)
{
    size_t tailLength = size_t(std::min<uint64_t>(a->fileSize, Zip_tailSearch));
    uint8_t *tail = static_cast<uint8_t *>(Mem_malloc(tailLength));
    if (!tail)
        return Res_noMemory;
    uint64_t tailStart = a->fileSize - tailLength;
    int r = Zip_readAt(a, tailStart, tail, tailLength);
    if (r == Res_ok) {
        r = Res_zipBad;
        for (size_t i = tailLength - Zip_endRecordSize + 1; i-- > 0;) {
            if (Bytes_peekU32Le(tail + i) == endSignature &&
                i + Zip_endRecordSize + Bytes_peekU16Le(tail + i + zipEndCommentLength) ==
                    tailLength) {
                memcpy(record, tail + i, Zip_endRecordSize);
                *at = tailStart + i;
                r = Res_ok;
                break;
            }
        }
    }
    Mem_free(tail);
    return r;
}

// Walks the central directory: every header's place and the name index.
int readDirectory(ZipArchive *a)
{
    uint16_t count = a->entryCount;
    ZipNameIndex *ix = &a->index;
    ix->entryCount = count;
    ix->bucketCount = uint16_t(std::max(1, count / 2));
    a->headerOffsets = static_cast<uint64_t *>(Mem_malloc(sizeof(uint64_t) * count));
    ix->heads = static_cast<uint16_t *>(Mem_malloc(sizeof(uint16_t) * ix->bucketCount));
    ix->links = static_cast<uint16_t *>(Mem_malloc(sizeof(uint16_t) * count));
    if (!a->headerOffsets || !ix->heads || !ix->links)
        return Res_noMemory;
    for (uint16_t b = 0; b < ix->bucketCount; b++)
        ix->heads[b] = Zip_noIndex;
    uint64_t position = a->dirStart;
    for (uint16_t e = 0; e < count; e++) {
        if (position >= a->endRecord)
            return Res_zipBad;
        uint8_t header[Zip_centralHeaderSize];
        int r = Zip_readAt(a, position, header, sizeof header);
        if (r != Res_ok)
            return r;
        if (Bytes_peekU32Le(header) != centralSignature)
            return Res_zipBad;
        size_t nameLength = Bytes_peekU16Le(header + zipCentralNameLength);
        char16_t *name = nullptr;
        r = readName(a, position + Zip_centralHeaderSize, nameLength, header[zipCentralMadeBy],
                     &name);
        if (r != Res_ok)
            return r;
        uint32_t bucket = nameHash(name, ix->bucketCount);
        Mem_free(name);
        ix->links[e] = ix->heads[bucket];
        ix->heads[bucket] = e;
        a->headerOffsets[e] = position;
        position += Zip_centralHeaderSize + nameLength +
                    Bytes_peekU16Le(header + zipCentralExtraLength) +
                    Bytes_peekU16Le(header + zipCentralCommentLength);
    }
    return position == a->endRecord ? Res_ok : Res_zipBad;
}

// Reads the end record and the directory into a fresh archive.
int readArchive(ZipArchive *a)
{
    int r = Vfs_getSize(a->stream, &a->fileSize);
    if (r != Res_ok)
        return r;
    if (a->fileSize < Zip_minFileSize)
        return Res_zipBad;
    uint8_t record[Zip_endRecordSize];
    r = findEndRecord(a, record, &a->endRecord);
    if (r != Res_ok)
        return r;
    a->entryCount = Bytes_peekU16Le(record + zipEndEntryCount);
    uint32_t dirSize = Bytes_peekU32Le(record + zipEndDirSize);
    uint32_t dirOffset = Bytes_peekU32Le(record + zipEndDirOffset);
    if (a->entryCount == 0 || dirOffset == 0 || dirSize == 0 || dirSize > a->endRecord)
        return Res_zipBad;
    a->dirStart = a->endRecord - dirSize;
    a->baseAdjust = int64_t(a->dirStart) - int64_t(dirOffset);
    return readDirectory(a);
}

void inflateErrorToZip(int *r)
{
    if (*r != Res_ok && *r != Res_noMemory)
        *r = Res_zipBad;
}

} // namespace

// ------------------------------------------------------------- archives

int Zip_archiveOpen(EngineContext *context, VfsHandle *stream, ZipArchive **archive)
{
    *archive = nullptr;
    if (!stream)
        return Res_missingArgument;
    ZipArchive *a = static_cast<ZipArchive *>(Mem_calloc(1, sizeof(ZipArchive)));
    if (!a)
        return Res_noMemory;
    a->stream = stream;
    a->ctx = context;
    a->nameCharset = configuredCharset(context);
    Lock_init(context, &a->lock);
    int r = readArchive(a);
    if (r != Res_ok) {
        Zip_archiveClose(a);
        return r;
    }
    *archive = a;
    return Res_ok;
}

void Zip_archiveClose(ZipArchive *archive)
{
    if (!archive)
        return;
    Mem_free(archive->headerOffsets);
    Mem_free(archive->index.heads);
    Mem_free(archive->index.links);
    Lock_fini(&archive->lock);
    Mem_free(archive);
}

void Zip_infoClear(ZipMemberInfo *info)
{
    if (!info)
        return;
    Mem_free(info->name);
    *info = ZipMemberInfo{};
}

int Zip_entryInfo(ZipArchive *archive, ZipMemberInfo *info, uint32_t index)
{
    Zip_infoClear(info);
    if (index >= archive->entryCount)
        return Res_zipBad;
    uint64_t position = archive->headerOffsets[index];
    uint8_t h[Zip_centralHeaderSize];
    int r = Zip_readAt(archive, position, h, sizeof h);
    if (r != Res_ok)
        return r;
    if (Bytes_peekU32Le(h) != centralSignature)
        return Res_zipBad;
    int64_t local = int64_t(Bytes_peekU32Le(h + zipCentralLocalOffset)) + archive->baseAdjust;
    if (local < 0)
        return Res_zipBad;
    char16_t *name = nullptr;
    r = readName(archive, position + Zip_centralHeaderSize,
                 Bytes_peekU16Le(h + zipCentralNameLength), h[zipCentralMadeBy], &name);
    if (r != Res_ok)
        return r;
    info->name = name;
    info->index = uint16_t(index);
    info->method = Bytes_peekU16Le(h + zipCentralMethod);
    info->deflated = info->method == Zip_methodDeflated ? 1 : 0;
    info->encrypted = (Bytes_peekU16Le(h + zipCentralFlags) & 1) ? 1 : 0;
    info->time = dosTime(Bytes_peekU16Le(h + zipCentralTime), Bytes_peekU16Le(h + zipCentralDate));
    info->compressedSize = Bytes_peekU32Le(h + zipCentralCompressedSize);
    info->size = Bytes_peekU32Le(h + zipCentralSize);
    info->localHeader = uint64_t(local);
    return Res_ok;
}

int Zip_findEntry(ZipArchive *archive, ZipMemberInfo *info, const char16_t *name)
{
    Zip_infoClear(info);
    const ZipNameIndex *ix = &archive->index;
    for (uint16_t e = ix->heads[nameHash(name, ix->bucketCount)]; e != Zip_noIndex;
         e = ix->links[e]) {
        int r = Zip_entryInfo(archive, info, e);
        if (r != Res_ok)
            return r;
        if (Ustr_cmp(info->name, name) == 0)
            return Res_ok;
    }
    Zip_infoClear(info);
    return Res_zipNoEntry;
}

int Zip_readAt(ZipArchive *archive, uint64_t position, void *buffer, size_t n)
{
    if (n == 0)
        return Res_ok;
    if (position > archive->fileSize || n > archive->fileSize - position)
        return Res_zipBad;
    uint8_t *out = static_cast<uint8_t *>(buffer);
    Lock_acquire(&archive->lock);
    int r = Vfs_seek(archive->stream, position);
    while (r == Res_ok && n > 0) {
        const uint8_t *p = nullptr;
        size_t len = 0;
        r = Vfs_getReadBuf(archive->stream, std::min<size_t>(n, Zip_readPiece), &p, &len);
        if (r != Res_ok)
            break;
        size_t take = std::min(len, n);
        if (take)
            memcpy(out, p, take);
        r = Vfs_readDone(archive->stream, take);
        if (r == Res_ok && take == 0)
            r = Res_zipBad;
        out += take;
        n -= take;
    }
    Lock_release(&archive->lock);
    return r;
}

// -------------------------------------------------------------- handles

int Zip_open(EngineContext *context, VfsHandle *stream, ZipHandle **handle)
{
    *handle = nullptr;
    ZipHandle *h = static_cast<ZipHandle *>(Mem_calloc(1, sizeof(ZipHandle)));
    if (!h)
        return Res_noMemory;
    int r = Zip_archiveOpen(context, stream, &h->archive);
    if (r != Res_ok) {
        Mem_free(h);
        return r;
    }
    h->count = h->archive->entryCount;
    *handle = h;
    return Res_ok;
}

void Zip_close(ZipHandle *handle)
{
    if (!handle)
        return;
    Zip_infoClear(&handle->info);
    Zip_archiveClose(handle->archive);
    Mem_free(handle);
}

int Zip_next(ZipHandle *handle, const ZipMemberInfo **info)
{
    *info = nullptr;
    if (handle->next >= handle->count) {
        Zip_infoClear(&handle->info);
        return Res_ok;
    }
    int r = Zip_entryInfo(handle->archive, &handle->info, handle->next);
    if (r != Res_ok)
        return r;
    handle->next++;
    *info = &handle->info;
    return Res_ok;
}

void Zip_rewind(ZipHandle *handle)
{
    handle->next = 0;
}

ZipArchive *Zip_getArchive(ZipHandle *handle)
{
    return handle ? handle->archive : nullptr;
}

// -------------------------------------------------------------- members

int Zip_memberOpen(ZipHandle *handle, const char16_t *name, ZipMember **member)
{
    *member = nullptr;
    ZipMemberInfo info{};
    int r = Zip_findEntry(handle->archive, &info, name);
    if (r == Res_ok)
        r = Zip_memberOpenInfo(handle->archive, &info, member);
    Zip_infoClear(&info);
    return r;
}

int Zip_memberOpenInfo(ZipArchive *archive, const ZipMemberInfo *info, ZipMember **member)
{
    *member = nullptr;
    // Members this reader cannot decode are refused here rather than
    // handed out as their raw (compressed or encrypted) bytes, which a
    // reader would take for the content.
    if (info->encrypted || (info->method != Zip_methodStored && info->method != Zip_methodDeflated))
        return Res_zipBad;
    uint8_t h[Zip_localHeaderSize];
    int r = Zip_readAt(archive, info->localHeader, h, sizeof h);
    if (r != Res_ok)
        return r;
    if (Bytes_peekU32Le(h) != localSignature)
        return Res_zipBad;
    ZipMember *m = static_cast<ZipMember *>(Mem_calloc(1, sizeof(ZipMember)));
    if (!m)
        return Res_noMemory;
    m->archive = archive;
    m->info = *info;
    m->info.name = Ustr_dup(info->name ? info->name : u"");
    m->dataStart = info->localHeader + Zip_localHeaderSize +
                   Bytes_peekU16Le(h + zipLocalNameLength) +
                   Bytes_peekU16Le(h + zipLocalExtraLength);
    m->position = m->dataStart;
    r = m->info.name ? Res_ok : Res_noMemory;
    if (r == Res_ok && info->deflated) {
        r = InflateStream_create(&m->inflate, Inflate_modeRaw);
        if (r == Res_ok && !(m->input = static_cast<uint8_t *>(Mem_malloc(Zip_inputBufferSize))))
            r = Res_noMemory;
        inflateErrorToZip(&r);
    }
    if (r != Res_ok) {
        Zip_memberClose(m);
        return r;
    }
    *member = m;
    return Res_ok;
}

namespace {

// Refills the input buffer of a deflated member from its position: up to
// 2048 bytes, fewer at the end of the file; none left is an error.
int refillInput(ZipMember *m)
{
    uint64_t size = m->archive->fileSize;
    if (m->position >= size)
        return Res_zipBad;
    size_t take = size_t(std::min<uint64_t>(Zip_inputBufferSize, size - m->position));
    int r = Zip_readAt(m->archive, m->position, m->input, take);
    if (r != Res_ok)
        return r;
    m->position += take;
    m->inputFilled = take;
    m->inputLeft = take;
    return Res_ok;
}

// Inflates into out until it is full or the deflate stream ends.
int readDeflated(ZipMember *m, uint8_t *out, size_t n, size_t *got)
{
    size_t space = n;
    int r = Res_ok;
    while (space > 0 && !m->ended) {
        if (m->inputLeft == 0 && (r = refillInput(m)) != Res_ok)
            break;
        size_t inCount = m->inputLeft;
        size_t outSpace = space;
        int done = 0;
        r = InflateStream_decode(m->input + (m->inputFilled - m->inputLeft), &inCount,
                                 out + (n - space), &outSpace, &done, m->inflate);
        bool progress = inCount != m->inputLeft || outSpace != space;
        m->inputLeft = inCount;
        space = outSpace;
        if (r != Res_ok) {
            inflateErrorToZip(&r);
            break;
        }
        if (done)
            m->ended = 1;
        else if (!progress) {
            // zlib neither took input nor gave output with both at hand:
            // the data can go no further.
            r = Res_zipBad;
            break;
        }
    }
    *got = n - space;
    return r;
}

} // namespace

int Zip_memberRead(ZipMember *member, void *buffer, size_t n, size_t *got)
{
    *got = 0;
    if (n == 0)
        return Res_ok;
    // Never more than the recorded size: the stream layer's size and
    // positions rest on it, whatever the data would inflate to.
    uint64_t left = member->info.size - std::min<uint64_t>(member->produced, member->info.size);
    n = size_t(std::min<uint64_t>(n, left));
    if (n == 0)
        return Res_ok;
    uint8_t *out = static_cast<uint8_t *>(buffer);
    int r;
    size_t produced = 0;
    if (!member->inflate) {
        r = Zip_readAt(member->archive, member->position, out, n);
        if (r == Res_ok) {
            member->position += n;
            produced = n;
        }
    } else {
        r = readDeflated(member, out, n, &produced);
        // The deflate data ended before the recorded size: damaged.
        if (r == Res_ok && produced == 0 && member->ended)
            r = Res_zipBad;
    }
    member->produced += produced;
    *got = produced;
    return r;
}

int Zip_memberRewind(ZipMember *member)
{
    member->position = member->dataStart;
    member->produced = 0;
    member->inputFilled = 0;
    member->inputLeft = 0;
    member->ended = 0;
    return InflateStream_reset(member->inflate);
}

uint32_t Zip_memberSize(const ZipMember *member)
{
    return member->info.size;
}

int64_t Zip_memberTime(const ZipMember *member)
{
    return member->info.time;
}

void Zip_memberClose(ZipMember *member)
{
    if (!member)
        return;
    (void)InflateStream_destroy(member->inflate);
    Mem_free(member->input);
    Mem_free(member->info.name);
    Mem_free(member);
}
