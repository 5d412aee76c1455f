// Test support for the font support routines and the TrueType glyph
// loader: faces over in-memory font bytes with a loca-style locator of the
// tests' own, byte builders for 'glyf' records and width tables, and a
// decoder of point-record outlines into absolute points.
#pragma once

#include "tests/platform/file_fixture.h"

#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "fonts/fontsupport.h"
#include "fonts/ttglyph.h"
#include "fonts/fontface.h"
#include "graphics/glyphpath.h"
#include "platform/vfs/vfs.h"

// Bytes written in either byte order (big-endian unless told).
struct Bytes {
    std::string s;
    bool little = false;
    Bytes &u8(uint32_t v)
    {
        s += char(v & 0xFF);
        return *this;
    }
    Bytes &u16(uint32_t v)
    {
        return little ? u8(v).u8(v >> 8) : u8(v >> 8).u8(v);
    }
    Bytes &u32(uint32_t v)
    {
        return little ? u16(v).u16(v >> 16) : u16(v >> 16).u16(v);
    }
    Bytes &raw(const std::string &t)
    {
        s += t;
        return *this;
    }
};

// One point of an outline, absolute.
struct OutlinePoint {
    int x, y, on, end;
    bool operator==(const OutlinePoint &o) const
    {
        return x == o.x && y == o.y && on == o.on && end == o.end;
    }
};

inline std::ostream &operator<<(std::ostream &os, const OutlinePoint &p)
{
    return os << "(" << p.x << ", " << p.y << (p.on ? " on" : " off") << (p.end ? " end)" : ")");
}

// The points of a point-record outline, absolute (deltas summed, restarting
// at absolute records). Checks the record layout on the way: the buffer is
// exactly the records, only the last carries bit 3.
inline std::vector<OutlinePoint> decodeOutline(const GlyphPath *o)
{
    std::vector<OutlinePoint> pts;
    EXPECT_EQ(o->kind, GlyphPath_kindPoints);
    if (!o->bytes) {
        EXPECT_EQ(o->lastSize, 0u);
        return pts;
    }
    uint32_t used = o->lastStart + o->lastSize;
    EXPECT_LE(used, o->byteCapacity);
    int x = 0, y = 0;
    for (uint32_t at = 0; at < used;) {
        const uint8_t *r = o->bytes + at;
        bool wide = r[0] & GlyphPoint_wide;
        if (r[0] & GlyphPoint_absolute)
            x = y = 0;
        x += wide ? int16_t(r[1] | r[2] << 8) : int8_t(r[1]);
        y += wide ? int16_t(r[3] | r[4] << 8) : int8_t(r[2]);
        uint32_t size = wide ? 5 : 3;
        EXPECT_EQ(bool(r[0] & GlyphPoint_last), at + size == used) << "record at " << at;
        pts.push_back({int16_t(x), int16_t(y), r[0] & 1, (r[0] >> 1) & 1});
        at += size;
    }
    return pts;
}

// A loca-style locator: face->locationData is a std::vector<uint32_t> of
// offsets by glyph id.
inline int testLocate(FontFace *face, uint16_t glyph, uint32_t *offset)
{
    auto *loca = static_cast<const std::vector<uint32_t> *>(face->locationData);
    *offset = 0;
    if (!loca || glyph >= loca->size())
        return Res_notFound;
    *offset = (*loca)[glyph];
    return Res_ok;
}

inline std::string readFontFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/fonts/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Faces over font bytes held by the test. Every face made is closed
// before the heap's leak check.
class FontTest : public FileFixture {
  protected:
    std::deque<std::string> files;
    std::deque<FontTableDir> dirs;
    std::deque<std::vector<uint32_t>> locas;
    std::vector<FontFace *> faces;

    void TearDown() override
    {
        Mem_failAfter(0);
        for (FontFace *f : faces)
            closeFace(f);
        faces.clear();
        EXPECT_EQ(TestHeap_usedBytes(), layerBaseline) << "heap bytes leaked";
        FileFixture::TearDown();
    }

    static void closeFace(FontFace *f)
    {
        BufStream_close(f->reader);
        f->reader = nullptr;
        FontPack_freeWidths(f);
        Font_faceRelease(f);
    }

    // A face reading bytes (kept by the test) through a reader of the byte
    // order, with an empty table directory and units per em.
    FontFace *openFace(const std::string &bytes, uint16_t unitsPerEm,
                       uint32_t order = BufStream_bigEndian)
    {
        files.push_back(bytes);
        const std::string &kept = files.back();
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(kept.data()), kept.size(),
                                 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted),
                  Res_ok);
        FontFace *face = nullptr;
        EXPECT_EQ(Font_faceCreate(ctx, 0, 0, nullptr, &face), Res_ok);
        EXPECT_EQ(BufStream_open(ctx, nullptr, h, uint32_t(kept.size()), order, &face->reader),
                  Res_ok);
        dirs.push_back(FontTableDir{});
        face->tables = &dirs.back();
        face->unitsPerEm = unitsPerEm;
        faces.push_back(face);
        return face;
    }

    // A face over a 'glyf' table (after 6 bytes of something else) holding
    // the glyphs in order, each padded to an even length, with a locator
    // over their offsets (one more than the glyphs: the table's end).
    FontFace *glyfFace(const std::vector<std::string> &glyphs, uint16_t unitsPerEm = 2048)
    {
        std::string glyf;
        std::vector<uint32_t> loca;
        for (const std::string &g : glyphs) {
            loca.push_back(uint32_t(glyf.size()));
            glyf += g;
            if (glyf.size() % 2)
                glyf += '\0';
        }
        loca.push_back(uint32_t(glyf.size()));
        FontFace *face = openFace(std::string(6, 'x') + glyf, unitsPerEm);
        face->tables->tables[FontTable_glyf] = {6, uint32_t(glyf.size())};
        locas.push_back(loca);
        face->locationData = &locas.back();
        face->locateGlyph = testLocate;
        return face;
    }

    const std::vector<uint32_t> &locaOf(const FontFace *face)
    {
        return *static_cast<const std::vector<uint32_t> *>(face->locationData);
    }

    // Loads glyph g of a glyfFace; the points, or the error in *result.
    std::vector<OutlinePoint> load(FontFace *face, uint16_t g, int *result = nullptr,
                                   const uint16_t *request = nullptr)
    {
        GlyphPath *o = reinterpret_cast<GlyphPath *>(1);
        int r = TtGlyph_load(face, locaOf(face)[g], &o, request);
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, Res_ok) << "glyph " << g;
        std::vector<OutlinePoint> pts;
        if (r == Res_ok) {
            pts = decodeOutline(o);
            GlyphPath_destroy(o);
        } else {
            EXPECT_EQ(o, nullptr);
        }
        return pts;
    }
};

// A glyph header: number of contours, then the box.
inline Bytes glyphHeader(int contours, int xMin = 0, int yMin = 0, int xMax = 0, int yMax = 0)
{
    Bytes b;
    b.u16(uint16_t(contours))
        .u16(uint16_t(xMin))
        .u16(uint16_t(yMin))
        .u16(uint16_t(xMax))
        .u16(uint16_t(yMax));
    return b;
}

// A simple glyph with every coordinate in the long form: ends, then the
// points as absolute (x, y, on-curve).
inline std::string simpleGlyph(const std::vector<int> &ends, const std::vector<OutlinePoint> &pts,
                               int xMin = 0, const std::string &instructions = "")
{
    Bytes b = glyphHeader(int(ends.size()), xMin);
    for (int e : ends)
        b.u16(uint16_t(e));
    b.u16(uint16_t(instructions.size())).raw(instructions);
    for (const OutlinePoint &p : pts)
        b.u8(p.on ? 1 : 0);
    int last = 0;
    for (const OutlinePoint &p : pts) {
        b.u16(uint16_t(p.x - last));
        last = p.x;
    }
    last = 0;
    for (const OutlinePoint &p : pts) {
        b.u16(uint16_t(p.y - last));
        last = p.y;
    }
    return b.s;
}

// One component of a composite glyph; scales are raw 2.14 values (1, 2 or
// 4 of them, by the flags).
struct Component {
    uint16_t flags;
    uint16_t glyph;
    int arg1, arg2;
    std::vector<int> scales;
};

// A composite glyph; 0x0020 is set on every component but the last.
inline std::string compositeGlyph(const std::vector<Component> &components)
{
    Bytes b = glyphHeader(-1);
    for (size_t i = 0; i < components.size(); i++) {
        const Component &c = components[i];
        uint16_t flags = uint16_t(c.flags | (i + 1 < components.size() ? 0x20 : 0));
        b.u16(flags).u16(c.glyph);
        if (c.flags & 1)
            b.u16(uint16_t(c.arg1)).u16(uint16_t(c.arg2));
        else
            b.u8(uint8_t(c.arg1)).u8(uint8_t(c.arg2));
        for (int s : c.scales)
            b.u16(uint16_t(s));
    }
    return b.s;
}
