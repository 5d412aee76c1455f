// Fuzz target for every character-set decoder (and the encoders behind
// them). Input: a code selector byte, a chunk-size byte, a destination-size
// byte, then the bytes to decode. The bytes are decoded whole
// (Charset_toUstrN) and streamed through the code's converter in chunks
// into a small destination; both must agree (a cut tail counts as one
// U+FFFD). The text is then encoded back whole and streamed, which must
// agree too, and the UTF-8 helpers must write exactly what they count. No
// heap byte may be left behind.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/charset_cjk.h"
#include "platform/api/engine.h"
#include "tests/fuzz/fuzzheap.h"
#include "tests/support/test_engine.h"

namespace {

void require(bool ok)
{
    if (!ok)
        abort();
}

// Streams src through fn in chunks into a destination of cap bytes.
std::vector<uint8_t> stream(CharsetConverter fn, EngineContext *ctx, const uint8_t *src, size_t n,
                            size_t chunk, size_t cap, int *lastStatus, size_t *left)
{
    std::vector<uint8_t> out, pending, dst(cap);
    CharsetState state = {0, 0};
    size_t pos = 0;
    int status = 0;
    do {
        size_t take = n - pos < chunk ? n - pos : chunk;
        pending.insert(pending.end(), src + pos, src + pos + take);
        pos += take;
        state.final = pos >= n;
        for (int guard = 0; guard < 1 << 20; guard++) {
            size_t consumed = 0, produced = 0;
            status = fn(ctx, pending.data(), pending.size(), dst.data(), cap, &consumed, &produced,
                        &state);
            require(consumed <= pending.size() && produced <= cap);
            out.insert(out.end(), dst.begin(), dst.begin() + produced);
            pending.erase(pending.begin(), pending.begin() + consumed);
            if (status != Res_charsetDestFull)
                break;
            require(consumed > 0 || produced > 0);
        }
    } while (pos < n);
    *lastStatus = status;
    *left = pending.size();
    return out;
}

void checkUtf8Helpers(const uint8_t *data, size_t size)
{
    char *text = static_cast<char *>(malloc(size + 1));
    memcpy(text, data, size);
    text[size] = 0;
    size_t units = Utf8_charCount(text);
    std::vector<char16_t> out(units);
    require(Utf8_toUstr(out.data(), text) == out.data() + units);
    size_t size8 = 0;
    Ustr_utf8Len(out.data(), &size8, nullptr);
    std::vector<char> back(size8);
    require(Ustr_toUtf8(back.data(), out.data()) == back.data() + size8);
    free(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    uint32_t code = data[0] % 36;
    size_t chunk = 1 + data[1] % 16;
    size_t cap = 4 + data[2] % 16;
    data += 3;
    size -= 3;
    checkUtf8Helpers(data, size);

    (void)FuzzHeap_get(8 << 20);
    size_t baseline = TestHeap_usedBytes();
    EngineContext *ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx && Charset_createHooks(ctx) == 0);
    CharsetHooks *h = ctx->charsetHooks;
    require(Charset_installJapanese(h) == 0 && Charset_installBig5(h) == 0 &&
            Charset_installKorean(h) == 0 && Charset_installChinese(h) == 0);

    char16_t *whole = nullptr;
    require(Charset_toUstrN(ctx, data, code == CharsetCode_utf16 ? size / 2 : size, &whole, code) ==
            0);
    size_t units = 0;
    while (whole[units])
        units++;

    // Code 2 to code 2 is the identity converter: nothing to compare.
    CharsetConverter dec = Charset_findConverter(code, CharsetCode_utf16, nullptr, nullptr);
    if (dec && code != CharsetCode_utf16) {
        int status;
        size_t left;
        std::vector<uint8_t> out = stream(dec, ctx, data, size, chunk, cap, &status, &left);
        require(status == 0 || status == Res_charsetIncomplete);
        std::vector<char16_t> got(out.size() / 2);
        if (!got.empty())
            memcpy(got.data(), out.data(), 2 * got.size());
        if (left > 0)
            got.push_back(0xFFFD);
        // The whole-string call stops at a 0 unit.
        size_t n = 0;
        while (n < got.size() && got[n] != 0)
            n++;
        require(n == units && (n == 0 || memcmp(got.data(), whole, 2 * n) == 0));
    }

    char *bytes = nullptr;
    require(Charset_fromUstrN(ctx, whole, units, &bytes, code) == 0);
    CharsetConverter enc = Charset_findConverter(CharsetCode_utf16, code, nullptr, nullptr);
    if (enc && code != CharsetCode_utf16) {
        int status;
        size_t left;
        // An encoded character takes up to 5 bytes (an escape and a pair).
        std::vector<uint8_t> out = stream(enc, ctx, reinterpret_cast<const uint8_t *>(whole),
                                          2 * units, 2 * chunk, cap + 4, &status, &left);
        require(status == 0 && left == 0);
        size_t len = strlen(bytes);
        size_t n = 0;
        while (n < out.size() && out[n] != 0)
            n++;
        require(n == len && (len == 0 || memcmp(out.data(), bytes, len) == 0));
    }
    Mem_free(bytes);
    Mem_free(whole);
    Charset_destroyHooks(ctx);
    Mem_free(ctx);
    require(TestHeap_usedBytes() == baseline);
    require(Mem_check() == 0);
    return 0;
}
