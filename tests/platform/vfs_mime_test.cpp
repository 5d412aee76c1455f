// The extension and MIME table: file names to MIME types and ids, MIME
// strings to ids, ids back to strings, and the document/media flags.
#include "tests/platform/file_fixture.h"

#include <map>
#include <string>

#include "core/result.h"
#include "platform/vfs/vfs.h"

namespace {

struct Row {
    const char *extensions; // space-separated
    const char *mimes;      // space-separated
    uint32_t id;
    uint32_t flags;
};

// The table as the system defines it, one line per cell pairing.
const Row mimeExpected[] = {
    {"html htm shtml php", "text/html", 11, 0x800},
    {"js", "text/javascript application/javascript application/x-javascript", 12, 0x800},
    {"js", "text/jscript", 13, 0x800},
    {"js", "text/ecmascript application/ecmascript", 14, 0x800},
    {"vbs", "text/vbscript", 15, 0x800},
    {"xml", "text/xml application/xml", 30, 0x800},
    {"doc", "application/msword", 6, 0x800},
    {"swf ui", "application/x-shockwave-flash", 9, 0x800},
    {"pdf", "application/pdf", 22, 0x800},
    {"txt", "text/plain", 25, 0x800},
    {"gif", "image/gif", 10, 0x800},
    {"jpg jpeg", "image/jpeg", 16, 0x800},
    {"png", "image/png", 23, 0x800},
    {"bmp", "image/x-ms-bmp image/x-windows-bmp", 4, 0x800},
    {"wbmp", "image/vnd.wap.wbmp", 33, 0x800},
    {"draw", "application/vnd.riscos.drawfile", 7, 0x800},
    {"ppt",
     "application/powerpoint application/vnd.ms-powerpoint application/mspowerpoint "
     "application/x-mspowerpoint",
     24, 0x800},
    {"zip", "application/zip", 31, 0x800},
    {"wmf", "image/x-wmf application/x-msmetafile windows/metafile", 28, 0x800},
    {"emf", "image/x-emf", 8, 0x800},
    {"csv", "text/comma-separated-values", 5, 0x800},
    {"mpg mpeg", "video/mpeg", 20, 0x400},
    {"pav", "video/vnd.vexlan.pav", 21, 0x400},
    {"avi", "video/x-msvideo", 3, 0x400},
    {"mov", "video/quicktime", 18, 0x400},
    {"amr", "audio/amr", 26, 0x400},
    {"wav", "audio/x-wav", 27, 0x400},
    {"mp3", "audio/mpeg", 19, 0x400},
    {"xls", "application/vnd.ms-excel application/excel application/x-excel application/x-msexcel",
     29, 0x800},
    {"efif", "application/vnd.vexlan", 32, 0x800},
    {"mht mhtml eml", "multipart/related", 17, 0x800},
    {"mcf", "application/vnd.vexlan.mcf", 34, 0x800},
    {"hwp", "application/hangul", 35, 0x800},
};

std::vector<std::string> words(const char *s)
{
    std::vector<std::string> out;
    std::string w;
    for (; *s; s++) {
        if (*s == ' ') {
            out.push_back(w);
            w.clear();
        } else {
            w += *s;
        }
    }
    out.push_back(w);
    return out;
}

std::string upper(std::string s)
{
    for (char &c : s)
        c = char(toupper(static_cast<unsigned char>(c)));
    return s;
}

TEST(VfsMimeTable, EveryPairingOfTheTable)
{
    std::map<std::string, const Row *> firstForExtension;
    std::map<std::string, uint32_t> firstIdForMime;
    std::map<uint32_t, std::string> firstMimeForId;
    for (const Row &r : mimeExpected) {
        for (const std::string &e : words(r.extensions))
            firstForExtension.emplace(e, &r);
        for (const std::string &m : words(r.mimes)) {
            firstIdForMime.emplace(m, r.id);
            firstMimeForId.emplace(r.id, m);
        }
    }
    for (const auto &[ext, row] : firstForExtension) {
        for (const std::string &name : {"file." + ext, "DIR.X/Some.Name." + upper(ext)}) {
            std::u16string w = U(name);
            const char16_t *mime = nullptr;
            EXPECT_EQ(Mime_typeFromFileName(w.c_str(), &mime), row->id) << name;
            EXPECT_EQ(S(mime), words(row->mimes)[0]) << name;
            EXPECT_EQ(Mime_flagsForFileName(w.c_str()), row->flags) << name;
        }
    }
    for (const auto &[mime, id] : firstIdForMime) {
        for (const std::string &m : {mime, upper(mime)}) {
            std::u16string w = U(m);
            EXPECT_EQ(Mime_typeFromString(w.c_str(), w.size()), id) << m;
        }
    }
    for (const auto &[id, mime] : firstMimeForId) {
        const char16_t *s = nullptr;
        EXPECT_EQ(Mime_stringForType(id, &s), Res_ok);
        EXPECT_EQ(S(s), mime) << id;
    }
}

TEST(VfsMimeTable, NamesWithoutAKnownExtension)
{
    struct Case {
        const char16_t *name;
        uint32_t id;
    } cases[] = {
        {u"A.JPEG", 16},
        {u"noext", 36},
        {u"trailing.", 36},
        {u".hidden", 36},
        {u"x.verylongextension", 36},
        {u"x.jpgx", 36},
        {u"x.jp", 36},
        {u"x.j\u0130s", 36}, // no folding beyond ASCII
        {u"archive.tar.zip", 31},
        {u"", 36},
        {nullptr, 36},
    };
    for (const Case &c : cases) {
        const char16_t *mime = nullptr;
        EXPECT_EQ(Mime_typeFromFileName(c.name, &mime), c.id) << S(c.name);
        if (c.id == 36) {
            EXPECT_EQ(S(mime), "application/octet-stream") << S(c.name);
            EXPECT_EQ(Mime_flagsForFileName(c.name), 0x800u) << S(c.name);
        }
    }
    EXPECT_EQ(Mime_typeFromFileName(u"no.mime.wanted.png", nullptr), 23u);
}

TEST(VfsMimeTable, StringsMatchOnlyWithTheirExactLength)
{
    const char16_t *withCharset = u"text/html; charset=utf-8";
    EXPECT_EQ(Mime_typeFromString(withCharset, 9), 11u) << "the length given decides";
    EXPECT_EQ(Mime_typeFromString(withCharset, 24), 36u);
    EXPECT_EQ(Mime_typeFromString(u"text/htm", 8), 36u);
    EXPECT_EQ(Mime_typeFromString(u"text/html", 8), 36u);
    EXPECT_EQ(Mime_typeFromString(u"application/octet-stream", 24), 36u);
    EXPECT_EQ(Mime_typeFromString(nullptr, 0), 36u);
    const char16_t *s = nullptr;
    EXPECT_EQ(Mime_stringForType(36, &s), Res_ok);
    EXPECT_EQ(S(s), "application/octet-stream");
    EXPECT_EQ(Mime_stringForType(1, &s), Res_notFound);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(Mime_stringForType(37, &s), Res_notFound);
}

class VfsMimeInfo : public FileFixture {};

// A file stream's MIME type comes from the last path segment's extension,
// percent escapes decoded.
TEST_F(VfsMimeInfo, DerivedOnceFromTheUrlPath)
{
    writeFile("page.HTM", "<p>");
    writeFile("a b.txt", "t");
    struct Case {
        const char *file;
        const char *urlName;
        const char *mime;
        uint32_t id;
    } cases[] = {
        {"page.HTM", "page.HTM", "text/html", 11},
        {"a b.txt", "a%20b.txt", "text/plain", 25},
    };
    for (const Case &c : cases) {
        Url *u = url("file://root" + dir + "/" + c.urlName);
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_open(ctx, u, 1, &h, &accepted), Res_ok) << c.file;
        Url_free(u);
        EXPECT_EQ(h->mimeId, 0u);
        const char16_t *mime = nullptr;
        uint32_t id = 0;
        ASSERT_EQ(Vfs_fileMimeInfo(h, &mime, &id), Res_ok);
        EXPECT_EQ(S(mime), c.mime);
        EXPECT_EQ(id, c.id);
        EXPECT_EQ(h->mime, mime);
        EXPECT_EQ(h->mimeId, c.id);
        EXPECT_EQ(Vfs_close(h), Res_ok);
    }
    EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
}

} // namespace
