// Fuzz target for the MIME multipart parser and the part lookups. Input:
// one option byte (bits 0-2 the chunk size of the second parse: 1, 2, 3,
// 7, 64, 511, 4095 or 4096 bytes; bit 3 collect mode), then the message.
// The message is parsed whole and again in chunks, the unconsumed rest
// offered again in front of each read as the archive loader does; both
// parses must end the same way with the same tree. Then every part's URL
// must find a part with that URL, the document-part choice must end on a
// part that is not a multipart, and
// nothing may leak once the tree is freed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "html/web/mime.h"
#include "platform/url/url.h"
#include "tests/support/test_engine.h"

namespace {

void requireAt(bool ok, int line)
{
    if (!ok) {
        fprintf(stderr, "mime_parse: check at line %d failed\n", line);
        abort();
    }
}
#define require(ok) requireAt((ok), __LINE__)

TestHeap heap;
bool ready = false;

std::string describe(const MimePart *root)
{
    std::string out;
    const MimePart *p = root;
    while (p) {
        char line[128];
        snprintf(line, sizeof line, "%u@%u %u+%u %u/%u/%u|", p->number, p->depth, p->bodyStart,
                 p->bodyLength, p->type, p->subtype, p->encoding);
        out += line;
        out.append(p->headers ? p->headers : "", p->headersLength);
        out += "|";
        out.append(p->boundary ? p->boundary : "", p->boundaryLength);
        out += "|";
        out.append(reinterpret_cast<const char *>(
                       p->decoded ? p->decoded : reinterpret_cast<const uint8_t *>("")),
                   p->decodedLength);
        out += "\n";
        if (p->firstChild) {
            p = p->firstChild;
            continue;
        }
        while (p && !p->nextSibling)
            p = p->parent;
        if (p)
            p = p->nextSibling;
    }
    return out;
}

struct Result {
    int code;
    std::string tree;
};

MimePart *parse(const uint8_t *data, size_t size, size_t chunk, uint32_t collect, Result *out)
{
    MimePart *root = nullptr;
    MimeParser *parser = Mime_parserNew(&root, collect);
    require(parser != nullptr);
    size_t pos = 0, readEnd = 0;
    for (;;) {
        readEnd = readEnd + chunk < size ? readEnd + chunk : size;
        int final = readEnd == size;
        uint32_t used = 0;
        out->code = Mime_parse(nullptr, data + pos, uint32_t(readEnd - pos), &used, uint32_t(pos),
                               final, parser);
        require(used <= readEnd - pos);
        if (out->code || final)
            break;
        pos += used;
    }
    require(out->code == 0 || out->code == Res_mimeNoBoundary || out->code == Res_mimeNoBody);
    Mime_parserFree(parser);
    Mem_free(parser);
    out->tree = describe(root);
    return root;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    if (!ready) {
        require(TestHeap_open(&heap, 64 << 20, 0));
        ready = true;
    }
    static const size_t kChunks[] = {1, 2, 3, 7, 64, 511, 4095, 4096};
    size_t chunk = kChunks[data[0] & 7];
    uint32_t collect = (data[0] >> 3) & 1;
    // The message in its own block, so that reads past it are caught.
    std::vector<uint8_t> message(data + 1, data + size);
    size_t before = TestHeap_usedBytes();
    Result whole, cut;
    MimePart *root = parse(message.data(), message.size(), message.size() + 1, collect, &whole);
    MimePart *other = parse(message.data(), message.size(), chunk, collect, &cut);
    require(whole.code == cut.code);
    if (!whole.code && whole.tree != cut.tree && getenv("MIME_PARSE_DUMP"))
        fprintf(stderr, "whole:\n%s\nchunked:\n%s\n", whole.tree.c_str(), cut.tree.c_str());
    if (!whole.code)
        require(whole.tree == cut.tree);
    Mime_partFree(other);
    // Every part's URL finds a part with the same URL.
    uint32_t looked = 0;
    for (MimePart *p = root; p && looked < 200; looked++) {
        Url *url = Mime_partUrl(nullptr, p);
        if (url) {
            MimePart *found = MimeArchive_findPartByUrl(nullptr, root, url);
            require(found != nullptr);
            Url *again = Mime_partUrl(nullptr, found);
            uint32_t mask =
                Url_getScheme(url) == UrlScheme_file ? (UrlPart_scheme | UrlPart_path) : 31u;
            require(again && Url_compare(again, url, mask) == 0);
            Url_free(again);
            Url_free(url);
        }
        if (p->firstChild) {
            p = p->firstChild;
            continue;
        }
        while (p && !p->nextSibling)
            p = p->parent;
        if (p)
            p = p->nextSibling;
    }
    MimePart *doc = MimeArchive_findDocPart(nullptr, root, "text/html");
    require(!doc || (doc->type != MimeType_message && doc->type != MimeType_multipart));
    (void)MimeArchive_findDocPart(nullptr, root, nullptr);
    Mime_partFree(root);
    require(TestHeap_usedBytes() == before);
    require(Mem_check() == 0);
    return 0;
}
