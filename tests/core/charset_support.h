// Test support for the character-set tests: an engine heap and context with
// the hooks record and (optionally) every East Asian table, fixture
// reading, and a streaming driver that feeds a converter in chunks through
// a small destination the way a real caller does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/charset_cjk.h"
#include "platform/api/engine.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

using Bytes = std::vector<uint8_t>;
using Units = std::u16string;

// A converter with its charset code bound (for the multibyte converters
// that have no converter-table row).
using Convert = std::function<int(const uint8_t *, size_t, uint8_t *, size_t, size_t *, size_t *,
                                  CharsetState *)>;

inline Convert bindConverter(CharsetConverter fn, EngineContext *ctx)
{
    return [fn, ctx](const uint8_t *s, size_t n, uint8_t *d, size_t cap, size_t *c, size_t *p,
                     CharsetState *st) { return fn(ctx, s, n, d, cap, c, p, st); };
}

inline Bytes readFixture(const std::string &name)
{
    std::string path = std::string(VEXLAN_FIXTURES) + "/charset/" + name;
    Bytes out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        ADD_FAILURE() << "missing fixture " << path;
        return out;
    }
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

// UTF-16LE bytes to units (and back); the host is little-endian, as the
// engine's own form is host order.
inline Units unitsOf(const Bytes &b)
{
    Units u;
    for (size_t i = 0; i + 1 < b.size(); i += 2)
        u.push_back(char16_t(b[i] | b[i + 1] << 8));
    return u;
}

inline Bytes bytesOf(const Units &u)
{
    Bytes b;
    for (char16_t c : u) {
        b.push_back(uint8_t(c));
        b.push_back(uint8_t(c >> 8));
    }
    return b;
}

struct StreamResult {
    Bytes out;
    int status = 0;  // status of the last call
    size_t left = 0; // bytes never consumed
};

// Feeds input in chunks of chunk bytes (0: all at once) to a converter whose
// destination holds cap bytes per call. Unconsumed bytes are fed again with
// the next chunk; a full destination is emptied and the call repeated. The
// state's final flag is set for the calls that hold the end of the input.
inline StreamResult runStream(const Convert &fn, const Bytes &input, size_t chunk, size_t cap,
                              bool finalFlag = true)
{
    StreamResult r;
    CharsetState state = {0, 0};
    Bytes pending;
    std::vector<uint8_t> dst(cap + 1);
    size_t pos = 0;
    if (chunk == 0)
        chunk = input.size() + 1;
    for (;;) {
        size_t take = std::min(chunk, input.size() - pos);
        pending.insert(pending.end(), input.begin() + pos, input.begin() + pos + take);
        pos += take;
        bool last = pos >= input.size();
        state.final = last && finalFlag;
        for (int guard = 0;; guard++) {
            size_t consumed = 0, produced = 0;
            r.status =
                fn(pending.data(), pending.size(), dst.data(), cap, &consumed, &produced, &state);
            EXPECT_LE(consumed, pending.size());
            EXPECT_LE(produced, cap);
            r.out.insert(r.out.end(), dst.begin(), dst.begin() + produced);
            pending.erase(pending.begin(), pending.begin() + consumed);
            if (r.status != Res_charsetDestFull)
                break;
            if (consumed == 0 && produced == 0 && guard > 2) {
                ADD_FAILURE() << "converter makes no progress";
                break;
            }
        }
        if (last)
            break;
    }
    r.left = pending.size();
    return r;
}

// An engine heap with a context and the charset hooks; every table
// installed unless the test says otherwise.
class CharsetEngine : public LeakCheckedContextTest<(8u << 20)> {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedContextTest::SetUp());
        ASSERT_EQ(Charset_createHooks(ctx), 0);
        if (installTables())
            installAll();
    }
    void TearDown() override
    {
        Charset_destroyHooks(ctx);
        LeakCheckedContextTest::TearDown();
    }
    virtual bool installTables()
    {
        return true;
    }
    void installAll()
    {
        CharsetHooks *h = ctx->charsetHooks;
        ASSERT_EQ(Charset_installJapanese(h), 0);
        ASSERT_EQ(Charset_installBig5(h), 0);
        ASSERT_EQ(Charset_installKorean(h), 0);
        ASSERT_EQ(Charset_installChinese(h), 0);
    }

    // Decodes bytes whole through the converter table's row for code.
    Units decode(uint32_t code, const Bytes &in, int *status = nullptr)
    {
        CharsetConverter fn = Charset_findConverter(code, CharsetCode_utf16, nullptr, nullptr);
        EXPECT_NE(fn, nullptr) << "no decoder for " << code;
        if (!fn)
            return Units();
        StreamResult r = runStream(bindConverter(fn, ctx), in, 0, 2 * in.size() + 16);
        if (status)
            *status = r.status;
        return unitsOf(r.out);
    }
};

// A printable form of units for failure messages.
inline std::string hexUnits(const Units &u, size_t from = 0, size_t count = 12)
{
    std::string s;
    char buf[8];
    for (size_t i = from; i < u.size() && i < from + count; i++) {
        snprintf(buf, sizeof buf, "%04X ", unsigned(u[i]));
        s += buf;
    }
    return s;
}

// Where two outputs first differ, for failure messages.
template <typename T> size_t firstDiff(const T &a, const T &b)
{
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        i++;
    return i;
}
