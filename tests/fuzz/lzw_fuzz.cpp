// Fuzz target for the LZW decode filter: byte 0 holds the early change
// (bit 0) and a seed for the read sizes, the rest is the coded data. The
// filter, read in pieces of varying size, must give exactly the bytes and
// the end that a plain reference decoder finds (the end code or the data's
// end, or corrupt data after the bytes before it), through Lzw_create and
// through Filter_openDecoder alike; nothing leaks.
#include <string>
#include <vector>

#include "graphics/codecs/filter.h"
#include "graphics/codecs/lzw.h"
#include "tests/fuzz/codec_fuzz.h"

namespace {

// The reference: codes of 9-12 bits, 256 clears, 257 ends. Returns the
// bytes; *corrupt when a code could not be decoded.
std::string reference(const uint8_t *data, size_t size, int early, bool *corrupt)
{
    std::string out;
    std::vector<std::string> table;
    auto reset = [&] {
        table.assign(258, std::string());
        for (int i = 0; i < 256; i++)
            table[size_t(i)] = std::string(1, char(i));
    };
    reset();
    uint32_t width = 9, acc = 0, bits = 0;
    size_t at = 0;
    int previous = -1;
    *corrupt = false;
    for (;;) {
        while (bits < width) {
            if (at == size)
                return out;
            acc = (acc << 8) | data[at++];
            bits += 8;
        }
        uint32_t code = (acc >> (bits - width)) & ((1u << width) - 1);
        bits -= width;
        acc &= (1u << bits) - 1;
        if (code == 257)
            return out;
        if (code == 256) {
            reset();
            width = 9;
            previous = -1;
            continue;
        }
        std::string entry;
        if (previous < 0) {
            if (code >= 256) {
                *corrupt = true;
                return out;
            }
            entry = table[code];
        } else {
            if (table.size() >= 4096 || code > table.size()) {
                *corrupt = true;
                return out;
            }
            const std::string &prev = table[size_t(previous)];
            entry = code < table.size() ? table[code] : prev + prev[0];
            table.push_back(prev + entry[0]);
            if (table.size() > (1u << width) - 1 - uint32_t(early) && width < 12)
                width++;
        }
        out += entry;
        previous = int(code);
    }
}

int yesTo(void *user, int32_t code, void *, int32_t *answer)
{
    *answer = code == *static_cast<int32_t *>(user) ? 0 : -1;
    return Res_ok;
}

void check(ByteStream *z, const std::string &want, bool corrupt, uint32_t seed)
{
    std::string got;
    uint8_t buf[3000];
    int status = Res_ok;
    for (;;) {
        seed = seed * 1103515245u + 12345u;
        size_t n = 1 + (seed >> 8) % sizeof buf;
        int r = ByteStream_readExact(z, buf, n);
        if (r != Res_ok) {
            // What came before the end was copied: the bytes consumed from
            // the window are all there is.
            status = r;
            break;
        }
        got.append(reinterpret_cast<char *>(buf), n);
        codecfuzz::requireAt(got.size() <= want.size(), "lzw_fuzz", __LINE__);
    }
    codecfuzz::requireAt(status == (corrupt ? Res_lzwCorrupt : Res_byteStreamEnded), "lzw_fuzz",
                         __LINE__);
    codecfuzz::requireAt(want.compare(0, got.size(), got) == 0, "lzw_fuzz", __LINE__);
    uint8_t b = 0;
    codecfuzz::requireAt(ByteStream_readByte(z, &b) == Res_byteStreamEnded, "lzw_fuzz", __LINE__);
}

// Reads byte by byte: exactly the reference's bytes.
void checkBytes(ByteStream *z, const std::string &want, bool corrupt)
{
    std::string got;
    uint8_t b = 0;
    int r;
    while ((r = ByteStream_readByte(z, &b)) == Res_ok)
        got += char(b);
    codecfuzz::requireAt(got == want, "lzw_fuzz", __LINE__);
    codecfuzz::requireAt(r == (corrupt ? Res_lzwCorrupt : Res_byteStreamEnded), "lzw_fuzz",
                         __LINE__);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 1 << 16)
        return 0;
    (void)codecfuzz::world();
    size_t before = TestHeap_usedBytes();
    int early = data[0] & 1;
    bool corrupt = false;
    std::string want = reference(data + 1, size - 1, early, &corrupt);

    codecfuzz::InputStream in;
    codecfuzz::inputInit(&in, data + 1, size - 1);
    ByteStream *z = nullptr;
    codecfuzz::requireAt(Lzw_create(&in.base, &z, early) == Res_ok, "lzw_fuzz", __LINE__);
    checkBytes(z, want, corrupt);
    codecfuzz::requireAt(ByteStream_close(z) == Res_ok, "lzw_fuzz", __LINE__);

    // Through the decoder choice (early change 1 there).
    if (early) {
        codecfuzz::inputInit(&in, data + 1, size - 1);
        int32_t code = Filter_codeLzw;
        FilterDescriptor descriptor{yesTo, &code};
        codecfuzz::requireAt(Filter_openDecoder(&in.base, &z, &descriptor) == Res_ok, "lzw_fuzz",
                             __LINE__);
        check(z, want, corrupt, data[0]);
        codecfuzz::requireAt(ByteStream_close(z) == Res_ok, "lzw_fuzz", __LINE__);
    }
    codecfuzz::requireAt(TestHeap_usedBytes() == before, "lzw_fuzz", __LINE__);
    return 0;
}
