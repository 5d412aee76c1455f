// Files for tests that save documents: a scratch folder of the test's own
// (made under $TMPDIR, else /tmp, and removed with everything in it),
// copies of committed fixtures into it, whole-file reads and writes, and
// file URLs of absolute paths.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <ftw.h>
#include <sys/stat.h>

#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace TestFiles {

// The URL of an absolute ASCII path under the file scheme's root; null
// when memory runs out.
inline Url *newFileUrl(const std::string &path)
{
    std::u16string text;
    for (char c : "file://root" + path)
        text += char16_t(uint8_t(c));
    return Url_new(text.c_str());
}

// Loads the opened stream into the document under root; the stream is
// the loader's from then on.
using LoadFn = int (*)(EngineContext *ctx, VfsHandle *stream, Edr_Doc *doc, Edr_Node *root);

// Loads the file at path through load into a new document whose URL is
// the file's: 0 with *out, else the error (nothing kept).
inline int loadDocument(EngineContext *ctx, const std::string &path, LoadFn load, Edr_Doc **out)
{
    *out = nullptr;
    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    int err = Edr_Doc_create(ctx, &doc, &root);
    if (err)
        return err;
    Url *url = newFileUrl(path);
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    err = Vfs_open(ctx, url, Vfs_modeRead | Vfs_modeSeekable, &stream, &accepted);
    if (!err)
        err = load(ctx, stream, doc, root);
    if (!err)
        err = Edr_Doc_setUrl(doc, url);
    Url_free(url);
    if (err) {
        Edr_Doc_release(doc);
        return err;
    }
    *out = doc;
    return 0;
}

// The file's bytes; empty when it cannot be read.
inline std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void writeAll(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

// A new, empty folder named prefix-XXXXXX; empty when none can be made.
inline std::string makeScratchDir(const char *prefix)
{
    const char *tmp = getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    return mkdtemp(name.data()) ? name : std::string();
}

// Removes the folder and everything in it; the folder is made writable
// again first (a test may have taken that away). Nothing for "".
inline void removeScratchDir(const std::string &dir)
{
    if (dir.empty())
        return;
    chmod(dir.c_str(), 0700);
    nftw(dir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

#ifdef VEXLAN_FIXTURES
// Copies the committed fixture folder/name (under the fixtures root the
// test executables are built with) to dir/name; its new path.
inline std::string copyFixture(const std::string &dir, const std::string &folder,
                               const std::string &name)
{
    std::string to = dir + "/" + name;
    writeAll(to, readAll(std::string(VEXLAN_FIXTURES) + "/" + folder + "/" + name));
    return to;
}
#endif

} // namespace TestFiles
