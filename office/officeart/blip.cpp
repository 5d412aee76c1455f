// OfficeArt pictures: loading blips from the blip store, and the copy of
// drawing records for the Word writer.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "graphics/image.h"
#include "graphics/imagerender.h"
#include "office/officeart/escher.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "platform/vfs/vfs.h"

namespace {

// The blip record instance each FBSE blip type expects.
uint32_t expectedInstance(uint8_t blipType)
{
    switch (blipType) {
    case 2: return 0x3D4;
    case 3: return 0x216;
    case 4: return 0x542;
    case 5: return 0x46A;
    case 6: return 0x6E0;
    case 7: return 0x7A8;
    default: return 0;
    }
}

} // namespace

int Escher_blipLoad(EscherDrawing *drawing, EscherBlip *blip, int decode)
{
    if (!drawing || !blip)
        return Escher_errNoSource;
    if (blip->size == 0 || blip->blipType == 0)
        return Res_ok;
    EscherSource *src = &blip->source;
    int err = EscherSource_seek(src, blip->offset, 0);
    EscherRecordHeader h;
    if (!err)
        err = Escher_readRecordHeader(src, &h);
    if (err)
        return err;
    // 8 header bytes and a 16-byte UID come before the picture.
    uint32_t skip = 24;
    uint32_t expected = expectedInstance(blip->blipType);
    const uint32_t mac = expectedInstance(blip->macType);
    if (h.instance != expected && (h.instance ^ expected) != 1 && mac &&
        h.type == 0xF018u + blip->macType && (h.instance == mac || (h.instance ^ mac) == 1)) {
        // The entry names a picture type for Windows and one for the Mac;
        // a file made on a Mac may hold its picture in the Mac type (a
        // PICT where the Windows type is a WMF): the record's own type is
        // the picture's.
        blip->blipType = blip->macType;
        blip->kind = blip->blipType == 5 ? 1 : blip->blipType == 6 ? 2 : 3;
        expected = mac;
    }
    if (h.instance != expected) {
        if ((h.instance ^ expected) != 1)
            return Escher_errBlipMismatch;
        skip += 16; // a second UID
    }
    if (blip->kind == 1 || blip->kind == 2)
        skip += 1; // the tag byte
    if (blip->size < skip)
        return Escher_errBlipMismatch;
    uint32_t length = blip->size - skip;
    err = EscherSource_seek(src, uint32_t(uint64_t(blip->offset) + skip), 0);
    if (err)
        return err;
    auto *data = static_cast<uint8_t *>(Mem_malloc(length ? length : 1));
    if (!data)
        return Res_noMemory;
    err = EscherSource_read(src, data, length);
    if (err) {
        Mem_free(data);
        return err;
    }
    if (blip->data && !blip->image && !blip->released)
        Mem_free(blip->data);
    blip->data = data;
    blip->dataLength = length;
    blip->released = 0;
    if (!decode)
        return Res_ok;
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    err = Vfs_openMemory(drawing->context, data, length, 1, Vfs_modeRead | Vfs_modeSeekable,
                         &stream, &accepted);
    if (!err)
        err = Image_createFromStream(drawing->context, stream, nullptr, nullptr, nullptr, 0, 0,
                                     0x205, 0, &blip->image);
    if (err) {
        // The stream took the bytes and has freed them.
        blip->data = nullptr;
        blip->dataLength = 0;
        blip->image = nullptr;
    }
    return err;
}

// ------------------------------------------------------------------ copy

namespace {

struct Copy {
    EngineContext *context;
    OleStream *delay;
    OleStream *source;
    OleStream *targetData;
    OleStream *target;
};

int copyBytes(Copy *c, uint32_t n)
{
    uint8_t buf[512];
    while (n) {
        uint32_t k = n < sizeof buf ? n : uint32_t(sizeof buf);
        int err = Ole_streamReadExact(c->source, buf, k);
        if (!err)
            err = OleWriter_streamWrite(c->target, buf, k);
        if (err)
            return err;
        n -= k;
    }
    return Res_ok;
}

int readRecord(Copy *c, uint32_t length, uint8_t **out)
{
    *out = static_cast<uint8_t *>(Mem_malloc(length ? length : 1));
    if (!*out)
        return Res_noMemory;
    int err = Ole_streamReadExact(c->source, *out, length);
    if (err) {
        Mem_free(*out);
        *out = nullptr;
    }
    return err;
}

int copyBse(Copy *c, const EscherRecordHeader *h)
{
    uint8_t *rec = nullptr;
    int err = readRecord(c, h->length, &rec);
    if (err)
        return err;
    if (h->length >= 32 && c->delay) {
        uint32_t size = Bytes_peekU32Le(rec + 20);
        uint32_t offset = Bytes_peekU32Le(rec + 28);
        if (size && offset != 0xFFFFFFFFu && Ole_streamSeek(c->delay, offset, 0) == Res_ok) {
            auto *blip = static_cast<uint8_t *>(Mem_malloc(size));
            if (!blip) {
                Mem_free(rec);
                return Res_noMemory;
            }
            if (Ole_streamReadExact(c->delay, blip, size) == Res_ok) {
                err = OleWriter_streamSeek(c->targetData, 0, 2);
                uint32_t at = Ole_streamTell(c->targetData);
                if (!err)
                    err = OleWriter_streamWrite(c->targetData, blip, size);
                if (!err)
                    Bytes_putU32Le(rec + 28, at);
            }
            Mem_free(blip);
        }
    }
    if (!err)
        err = OleWriter_streamWrite(c->target, rec, h->length);
    Mem_free(rec);
    return err;
}

int copyOpt(Copy *c, const EscherRecordHeader *h)
{
    uint8_t *rec = nullptr;
    int err = readRecord(c, h->length, &rec);
    if (err)
        return err;
    uint32_t n = h->instance;
    if (n > h->length / 6)
        n = h->length / 6;
    // The blanked properties first, then the rest with their ids.
    uint8_t zero[6] = {0};
    for (uint32_t i = 0; i < n && !err; i++) {
        uint32_t id = Bytes_peekU16Le(rec + 6 * i) & 0x3FFFu;
        if (id == 0 || id == 267 || id == 319 || id == 826)
            err = OleWriter_streamWrite(c->target, zero, 6);
    }
    for (uint32_t i = 0; i < n && !err; i++) {
        uint8_t *e = rec + 6 * i;
        uint32_t id = Bytes_peekU16Le(e) & 0x3FFFu;
        if (id == 0 || id == 267 || id == 319 || id == 826)
            continue;
        if (id == 128) {
            e[2] = 0;
            e[3] = 0;
        }
        err = OleWriter_streamWrite(c->target, e, 6);
    }
    if (!err)
        err = OleWriter_streamWrite(c->target, rec + 6 * n, h->length - 6 * n);
    Mem_free(rec);
    return err;
}

int copyRecords(Copy *c, uint32_t length)
{
    if (Escher_tooDeep(c->context))
        return Res_stackExhausted;
    uint64_t done = 0;
    while (done < length) {
        if (length - done < 8)
            return Res_oleSeekBeyond;
        uint8_t head[8];
        int err = Ole_streamReadExact(c->source, head, 8);
        if (!err)
            err = OleWriter_streamWrite(c->target, head, 8);
        if (err)
            return err;
        EscherRecordHeader h;
        Escher_parseRecordHeader(head, &h);
        uint64_t end = done + 8 + uint64_t(h.length);
        if (end > length)
            return Res_oleSeekBeyond;
        done = end;
        if (h.type >= EscherRec_dggContainer && h.type <= EscherRec_spContainer) {
            err = copyRecords(c, h.length);
            // The one-byte label before each drawing of a Word document.
            if (!err && (h.type == EscherRec_dggContainer || h.type == EscherRec_dgContainer) &&
                done < length) {
                err = copyBytes(c, 1);
                done++;
            }
        } else if (h.type == EscherRec_fbse) {
            err = copyBse(c, &h);
        } else if (h.type == EscherRec_fopt) {
            err = copyOpt(c, &h);
        } else if (h.type == EscherRec_fsp && h.length >= 8) {
            uint8_t *rec = nullptr;
            err = readRecord(c, h.length, &rec);
            if (!err) {
                rec[4] &= uint8_t(~EscherFsp_oleShape);
                err = OleWriter_streamWrite(c->target, rec, h.length);
                Mem_free(rec);
            }
        } else {
            err = copyBytes(c, h.length);
        }
        if (err)
            return err;
    }
    return Res_ok;
}

} // namespace

int Escher_copyDrawingData(EngineContext *context, OleStream *delayStream, OleStream *source,
                           OleStream *targetData, OleStream *target, uint32_t offset,
                           uint32_t length)
{
    if (!source || !target || !targetData)
        return Escher_errNoSource;
    Copy c = {context, delayStream, source, targetData, target};
    int err = Ole_streamSeek(source, offset, 0);
    if (!err)
        err = OleWriter_streamSeek(targetData, 0, 2);
    if (err)
        return err;
    return copyRecords(&c, length);
}
