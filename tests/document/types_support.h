// Test support for the document-type tests: scripted fake handlers, the
// plain-text test handler, and memory and file streams to recognise.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/handler.h"
#include "document/types/doctype.h"
#include "document/import/textsniff.h"
#include "pdf/pdf.h"
#include "platform/vfs/vfs.h"

// What a fake handler does, read by its operations through desc->priv.
struct FakeScript {
    const char *name;
    int32_t score; // written by sniff unless skipWrite (also when it then fails)
    uint32_t type;
    int sniffError;   // returned by sniff instead of a score
    bool skipWrite;   // sniff succeeds without writing its outs
    const char *mime; // matchMime gives mimeScore for this (case-insensitive)
    int32_t mimeScore;
    uint32_t acceptsTypeOnly;
    uint32_t enabled;
    int *releases; // counts release calls (may be null)
    int *sniffs;   // counts sniff calls (may be null)
};

inline int fakeMatch(EngineContext *, Edr_HandlerDesc *d, const char16_t *mime, int32_t *score)
{
    const FakeScript *s = static_cast<const FakeScript *>(d->priv);
    *score = s->mime && mime && Ustr_icmpCstr(mime, s->mime) == 0 ? s->mimeScore : 0;
    return Res_ok;
}

inline int fakeSniff(EngineContext *, Edr_HandlerDesc *d, VfsHandle *, int32_t *score,
                     uint32_t *type)
{
    const FakeScript *s = static_cast<const FakeScript *>(d->priv);
    if (s->sniffs)
        ++*s->sniffs;
    if (s->skipWrite)
        return s->sniffError;
    // A failing sniffer may have written its outs before it failed.
    *score = s->score;
    *type = s->type;
    return s->sniffError;
}

inline int fakeOpen(EngineContext *, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *,
                    Edr_Node *)
{
    EXPECT_EQ(Vfs_close(stream), 0);
    return Res_ok;
}

inline void fakeRelease(EngineContext *, Edr_HandlerDesc *d)
{
    const FakeScript *s = static_cast<const FakeScript *>(d->priv);
    if (s && s->releases)
        ++*s->releases;
}

// The describe routine reads the script to use from here (one at a time).
inline const FakeScript *&pendingScript()
{
    static const FakeScript *script = nullptr;
    return script;
}

inline int fakeDescribe(EngineContext *, Edr_HandlerDesc *d)
{
    const FakeScript *s = pendingScript();
    d->acceptsTypeOnly = s->acceptsTypeOnly;
    d->matchMime = fakeMatch;
    d->sniff = fakeSniff;
    d->open = fakeOpen;
    d->release = fakeRelease;
    d->priv = const_cast<FakeScript *>(s);
    d->enabled = s->enabled;
    return Res_ok;
}

inline int registerFake(EngineContext *ctx, const FakeScript *script)
{
    pendingScript() = script;
    return DocType_register(ctx, fakeDescribe);
}

// The name of the fake handler a descriptor belongs to ("" for none).
inline std::string fakeName(const Edr_HandlerDesc *d)
{
    return d && d->priv ? static_cast<const FakeScript *>(d->priv)->name : "";
}

// The plain-text handler as the tests need it: MIME "text/plain" 100,
// text content 50 with type 25 (through the shared text test), accepts
// type-only matches.
inline int testTextMatch(EngineContext *, Edr_HandlerDesc *, const char16_t *mime, int32_t *score)
{
    *score = mime && Ustr_icmpCstr(mime, "text/plain") == 0 ? 100 : 0;
    return Res_ok;
}

inline int testTextSniff(EngineContext *ctx, Edr_HandlerDesc *, VfsHandle *stream, int32_t *score,
                         uint32_t *type)
{
    const uint8_t *bytes = nullptr;
    size_t got = 0;
    int err = Vfs_getReadBuf(stream, 1024, &bytes, &got);
    if (err != Res_ok)
        return err;
    bool text = TextDoc_sniffText(ctx, bytes, got < 1024 ? got : 1024) != 0;
    EXPECT_EQ(Vfs_readDone(stream, 0), 0);
    *score = text ? 50 : 0;
    *type = text ? 25 : 0;
    return Res_ok;
}

inline void testTextRelease(EngineContext *, Edr_HandlerDesc *) {}

// The text handler's open is supplied by each test file.
int testTextOpen(EngineContext *ctx, Edr_HandlerDesc *desc, void *arg, VfsHandle *stream,
                 Edr_Doc *doc, Edr_Node *target);

inline int testTextDescribe(EngineContext *, Edr_HandlerDesc *d)
{
    d->acceptsTypeOnly = 1;
    d->matchMime = testTextMatch;
    d->sniff = testTextSniff;
    d->open = testTextOpen;
    d->release = testTextRelease;
    d->enabled = 1;
    return Res_ok;
}

// A read-only memory stream over a copy of bytes, with mime (null: none)
// as its MIME type.
inline VfsHandle *memoryStream(EngineContext *ctx, const std::string &bytes, const char16_t *mime)
{
    uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(bytes.size() ? bytes.size() : 1));
    if (!copy)
        return nullptr;
    memcpy(copy, bytes.data(), bytes.size());
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    if (Vfs_openMemory(ctx, copy, bytes.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &h,
                       &accepted) != Res_ok)
        return nullptr;
    if (mime)
        Vfs_setInfo(h, VfsInfo_mime, reinterpret_cast<uintptr_t>(Ustr_dup(mime)));
    return h;
}

// The position of a stream (for checks that recognition only peeks).
inline uint64_t positionOf(VfsHandle *h)
{
    uint64_t at = ~uint64_t(0);
    EXPECT_EQ(Vfs_tell(h, &at), Res_ok);
    return at;
}
