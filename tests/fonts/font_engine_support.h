// Test support for the font engine tests: a context with the file layer,
// a scratch directory and a created font engine; faces opened from the
// fixtures (copied into the scratch directory) or from bytes, and small
// wrappers around the face operations.
#pragma once

#include "tests/platform/file_fixture.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "fonts/truetype.h"

inline std::string fontFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/fonts/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class FontEngineTest : public FileFixture {
  protected:
    std::vector<FontFace *> faces;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FileFixture::SetUp());
        ASSERT_EQ(FontEngine_create(ctx), Res_ok);
    }

    void TearDown() override
    {
        Mem_failAfter(0);
        closeAll();
        FontEngine_destroy(ctx);
        FileFixture::TearDown();
    }

    void closeAll()
    {
        for (FontFace *f : faces)
            Font_faceRelease(f);
        faces.clear();
    }

    // Opens bytes (written to the scratch file name) as a face of kind;
    // the result in *result (expected 0 when result is null). Null when
    // the open failed (everything made is freed again).
    FontFace *openBytes(const std::string &bytes, const std::string &name, int *result = nullptr,
                        uint32_t preferredRank = 0, uint32_t kind = 0)
    {
        writeFile(name, bytes);
        return openFile(name, result, preferredRank, kind);
    }

    // Opens the scratch file name as openBytes does.
    FontFace *openFile(const std::string &name, int *result = nullptr, uint32_t preferredRank = 0,
                       uint32_t kind = 0)
    {
        FontFace *face = nullptr;
        int r = Font_faceCreate(ctx, kind, 0, nullptr, &face);
        Url *u = fileUrl(name);
        if (r == Res_ok)
            r = BufStream_open(ctx, u, nullptr, 0, BufStream_bigEndian, &face->reader);
        Url_free(u);
        if (r == Res_ok)
            r = TrueType_open(face, 0, preferredRank);
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, Res_ok) << name;
        if (r != Res_ok) {
            if (face) {
                BufStream_close(face->reader);
                face->reader = nullptr;
                Font_faceRelease(face);
            }
            return nullptr;
        }
        faces.push_back(face);
        return face;
    }

    FontFace *open(const std::string &fixture, int *result = nullptr, uint32_t preferredRank = 0)
    {
        return openBytes(fontFixture(fixture), fixture, result, preferredRank);
    }

    // The glyphs of codes through the face's map (slot 2); *result the
    // map's result.
    std::vector<uint16_t> map(FontFace *face, const std::vector<uint16_t> &codes,
                              int *result = nullptr)
    {
        std::vector<uint16_t> glyphs(codes.size(), 0);
        std::vector<uint8_t> tags(codes.size(), 0xF8);
        uint32_t remaining = uint32_t(codes.size());
        int r = face->map(face, codes.data(), uint32_t(codes.size()), 2, glyphs.data(), tags.data(),
                          &remaining);
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, Res_ok);
        for (size_t i = 0; i < codes.size(); i++)
            EXPECT_EQ(tags[i], glyphs[i] ? 0xFA : 0xF8) << "position " << i;
        return glyphs;
    }

    uint16_t map1(FontFace *face, uint16_t code)
    {
        return map(face, {code})[0];
    }

    // {advance, side bearing} of each glyph (slot 0).
    std::vector<std::pair<int, int>> metrics(FontFace *face, const std::vector<uint16_t> &glyphs,
                                             int *result = nullptr)
    {
        std::vector<uint8_t> tags(glyphs.size(), 0);
        std::vector<uint16_t> bearing(glyphs.size(), 0x5555), advance(glyphs.size(), 0x5555);
        int r = face->advance(face, glyphs.data(), uint32_t(glyphs.size()), 0, tags.data(),
                              bearing.data(), advance.data());
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, Res_ok);
        std::vector<std::pair<int, int>> out;
        for (size_t i = 0; i < glyphs.size(); i++)
            out.push_back({advance[i], int16_t(bearing[i])});
        return out;
    }

    // The advances of glyphs (each 1000 to start) after kerning (slot 0).
    std::vector<int> kern(FontFace *face, const std::vector<uint16_t> &glyphs,
                          int *result = nullptr)
    {
        std::vector<uint8_t> tags(glyphs.size(), 0);
        std::vector<uint16_t> advance(glyphs.size(), 1000);
        int r = face->kerning(face, glyphs.data(), uint32_t(glyphs.size()), 0, tags.data(),
                              advance.data());
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, Res_ok);
        return std::vector<int>(advance.begin(), advance.end());
    }

    uint32_t locate(FontFace *face, uint16_t glyph, int *result = nullptr)
    {
        uint32_t at = 0xDEADBEEF;
        int r = face->locateGlyph(face, glyph, &at);
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, Res_ok);
        return at;
    }
};
