// Test support for the stream tests: the deflate fixtures and their
// manifest (tests/fixtures/stream/make_fixtures.py), and random-window
// feeding of an inflate stream.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/result.h"
#include "core/stream/inflate.h"

// One line of the manifest.
struct DeflateCase {
    std::string file;   // the compressed file
    bool zlib;          // zlib-wrapped, else raw
    std::string source; // the file it inflates to (or a prefix of, when truncated)
    std::string expect; // "ok", "truncated" or "corrupt"
};

inline std::string streamFixturePath(const std::string &name)
{
    return std::string(VEXLAN_FIXTURES) + "/stream/" + name;
}

inline std::string readStreamFixture(const std::string &name)
{
    std::ifstream in(streamFixturePath(name), std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::vector<DeflateCase> deflateCases()
{
    std::vector<DeflateCase> cases;
    std::istringstream lines(readStreamFixture("manifest.txt"));
    std::string file, form, source, expect;
    while (lines >> file >> form >> source >> expect)
        cases.push_back({file, form == "zlib", source, expect});
    EXPECT_GT(cases.size(), 40u);
    return cases;
}

inline const uint8_t *bytesOf(const std::string &s)
{
    return reinterpret_cast<const uint8_t *>(s.data());
}

// What feeding a stream produced.
struct FeedResult {
    int result = 0;     // the first non-zero result, else 0
    bool done = false;  // the stream ended
    std::string output; // every byte produced
    size_t unused = 0;  // input bytes left over
};

// Feeds input to an inflate stream of mode in windows of random sizes (0
// to maxIn input bytes, 0 to maxOut bytes of room), then drains it with
// large windows until it ends, fails or stops producing.
inline FeedResult feedRandomWindows(const std::string &input, uint32_t mode, std::mt19937 &rng,
                                    size_t maxIn = 97, size_t maxOut = 131)
{
    FeedResult f;
    InflateStream *s = nullptr;
    f.result = InflateStream_create(&s, mode);
    if (f.result != Res_ok)
        return f;
    size_t at = 0;
    std::vector<uint8_t> room(1 << 16);
    auto step = [&](size_t inN, size_t outN) {
        size_t inCount = inN, space = outN;
        int done = 0;
        int r = InflateStream_decode(bytesOf(input) + at, &inCount, room.data(), &space, &done, s);
        size_t used = inN - inCount, made = outN - space;
        EXPECT_LE(used, inN);
        EXPECT_LE(made, outN);
        at += used;
        f.output.append(reinterpret_cast<const char *>(room.data()), made);
        if (r != Res_ok) {
            f.result = r;
            EXPECT_EQ(done, 1) << "an error ends the stream";
        }
        f.done = done && r == Res_ok;
        return used + made;
    };
    while (at < input.size() && !f.done && !f.result) {
        size_t inN = std::min(input.size() - at, size_t(rng() % (maxIn + 1)));
        step(inN, rng() % (maxOut + 1));
    }
    while (!f.done && !f.result) {
        if (step(input.size() - at, room.size()) == 0)
            break;
    }
    f.unused = input.size() - at;
    EXPECT_EQ(InflateStream_destroy(s), Res_ok);
    return f;
}
