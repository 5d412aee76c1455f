// oledump: lists the storages and streams of a compound file as the
// engine's reader sees them, or writes one stream's bytes.
//
//     oledump FILE               the listing (tools/oledump/olelist.h)
//     oledump --cat PATH FILE    the bytes of the stream at PATH (written
//                                as the listing writes it) on stdout
//
// The file is read into the engine's heap and opened from a memory stream.
// A file that cannot be read, or that the reader refuses, prints "open
// error" with the reader's code on stderr and ends with status 1; a wrong
// command line with status 2; a --cat PATH that names no stream, or one
// that cannot be read, with status 1.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "office/ole2/oleprobe.h"
#include "host/headless/headless.h"
#include "core/host/hostservices.h"
#include "office/ole2/ole.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"
#include "tools/oledump/olelist.h"

namespace {

bool readFile(const char *path, std::string *out)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out->append(buf, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

int run(EngineContext *ctx, const char *file, const char *catPath, const std::string &bytes)
{
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(bytes.size() ? bytes.size() : 1));
    if (!copy) {
        fprintf(stderr, "oledump: %s: out of memory\n", file);
        return 1;
    }
    memcpy(copy, bytes.data(), bytes.size());
    int err = Vfs_openMemory(ctx, copy, bytes.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &stream,
                             &accepted);
    OleHandle *ole = nullptr;
    if (err == Res_ok)
        err = Ole_openStream(stream, &ole);
    if (err != Res_ok) {
        if (!catPath)
            printf("open error\n");
        fprintf(stderr, "oledump: %s: error %d\n", file, err);
        Vfs_close(stream);
        return 1;
    }
    int status = 0;
    if (!catPath) {
        for (const std::string &line : OleList_lines(ole))
            printf("%s\n", line.c_str());
    } else {
        status = 1;
        for (OleDirEntry *e = ole->entries; e; e = e->next) {
            if (e->type != OleEntry_stream || OleList_path(ole, e) != catPath)
                continue;
            std::string data;
            err = OleList_readStream(ole, e->id, &data);
            if (err != Res_ok) {
                fprintf(stderr, "oledump: %s: %s: error %d\n", file, catPath, err);
                break;
            }
            fwrite(data.data(), 1, data.size(), stdout);
            status = 0;
            break;
        }
        if (status && err == Res_ok)
            fprintf(stderr, "oledump: %s: no stream %s\n", file, catPath);
    }
    Ole_close(&ole);
    Vfs_close(stream);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    const char *catPath = nullptr;
    const char *file = nullptr;
    if (argc == 2) {
        file = argv[1];
    } else if (argc == 4 && strcmp(argv[1], "--cat") == 0) {
        catPath = argv[2];
        file = argv[3];
    } else {
        fprintf(stderr, "usage: oledump [--cat PATH] FILE\n");
        return 2;
    }
    std::string bytes;
    if (!readFile(file, &bytes)) {
        fprintf(stderr, "oledump: cannot read %s\n", file);
        return 1;
    }
    HostContext *host = Headless_createContext(bytes.size() * 2 + (64u << 20));
    if (!host) {
        fprintf(stderr, "oledump: no host context\n");
        return 1;
    }
    Headless_setCurrent(host);
    EngineInstance *instance = Mem_createEngineContext(0);
    if (!instance) {
        Headless_destroyContext(host);
        fprintf(stderr, "oledump: no engine heap\n");
        return 1;
    }
    instance->host = host;
    Host_setInstance(host, instance);
    Mem_resetContext();
    int status = 1;
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    if (ctx) {
        ctx->instance = instance;
        instance->context = ctx;
        status = run(ctx, file, catPath, bytes);
        instance->context = nullptr;
        Mem_free(ctx);
    }
    Mem_releaseChunks();
    Host_setInstance(host, nullptr);
    Headless_destroyContext(host);
    return status;
}
