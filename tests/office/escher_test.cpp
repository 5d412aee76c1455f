// OfficeArt records and property tables: the record trees and property
// tables of the generated fixtures against the generator's own walker, the
// drawing group (capacity from the FDG, grown past it, levels, child-anchor
// fractions, client-record hook, solver list, background shape, the
// patriarch only),
// the blip store (capacity from the instance, entries without a picture,
// one and two UIDs, mismatched instances, sizes too small), the FDGG
// cluster table, property parsing and lookups, and the hostile cases:
// records longer than their container, nesting deeper than the stack.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "office/officeart/escher.h"
#include "tests/support/heap_fixture.h"

namespace {

std::string drawingFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/office/drawing/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string hex(const uint8_t *p, size_t n)
{
    std::string out;
    char b[3];
    for (size_t i = 0; i < n; i++) {
        snprintf(b, sizeof b, "%02x", p[i]);
        out += b;
    }
    return out;
}

// The property lines as the generator's walker writes them.
void dumpProps(const EscherPropSet *set, int indent, std::string *out)
{
    std::string pad(size_t(indent), ' ');
    if (!set) {
        *out += pad + "props null\n";
        return;
    }
    for (uint32_t i = 0; i < set->count; i++) {
        const EscherProp &p = set->entries[i];
        std::string text = "-";
        if (p.flags & EscherProp_complex) {
            if (!p.data) {
                text = "null";
            } else if (p.id == 325 || p.id == 326 || p.id == 407 || p.id == 463 || p.id == 899) {
                auto *a = static_cast<const EscherPropArray *>(p.data);
                text = "array:" + std::to_string(a->count) + "," + std::to_string(a->size) + ":" +
                       hex(EscherPropArray_elements(a), size_t(a->count) * size_t(a->size));
            } else if (p.id == 192 || p.id == 197 || p.id == 261 || p.id == 272 || p.id == 391 ||
                       p.id == 454 || p.id == 896 || p.id == 897) {
                text = "u16:";
                for (const char16_t *s = static_cast<const char16_t *>(p.data); *s; s++) {
                    uint8_t b[2] = {uint8_t(*s), uint8_t(*s >> 8)};
                    text += hex(b, 2);
                }
            } else if (p.id == 193) {
                const char *s = static_cast<const char *>(p.data);
                text = "str:" + hex(reinterpret_cast<const uint8_t *>(s), strlen(s));
            } else {
                auto *b = static_cast<const EscherPropBlock *>(p.data);
                text = "block:" + std::to_string(b->length) + ":" +
                       hex(EscherPropBlock_bytes(b), b->length);
            }
        }
        *out += pad + "prop " + std::to_string(p.id) + " flags=" + std::to_string(p.flags) +
                " value=" + std::to_string(p.value) + " " + text + "\n";
    }
}

struct Dump {
    EngineContext *ctx;
    EscherSource *src;
    int depth;
    std::string *out;
};

int dumpChild(void *user, EscherWalk *, const EscherRecordHeader *h)
{
    auto *d = static_cast<Dump *>(user);
    char line[96];
    snprintf(line, sizeof line, "%04X ver=%u inst=%u len=%u\n", unsigned(h->type),
             unsigned(h->version), unsigned(h->instance), unsigned(h->length));
    *d->out += std::string(size_t(2 * d->depth), ' ') + line;
    if (h->type >= EscherRec_dggContainer && h->type <= EscherRec_solverContainer) {
        Dump inner = *d;
        inner.depth++;
        return Escher_forEachChild(d->ctx, d->src, h->length, dumpChild, &inner);
    }
    if (h->type == EscherRec_fopt) {
        std::vector<uint8_t> bytes(h->length);
        int err = EscherSource_read(d->src, bytes.data(), h->length);
        if (err)
            return err;
        EscherPropSet *set = Escher_propParse(bytes.data(), h->length, h->instance);
        dumpProps(set, 2 * d->depth + 2, d->out);
        Escher_propFree(set);
    }
    return Res_ok;
}

class EscherTest : public LeakCheckedContextTest<> {
  protected:
    std::string tree(const std::string &bytes)
    {
        EscherSource src;
        EscherSource_initMemory(&src, reinterpret_cast<const uint8_t *>(bytes.data()),
                                uint32_t(bytes.size()));
        std::string out;
        Dump d = {ctx, &src, 0, &out};
        int err = Escher_forEachChild(ctx, &src, uint32_t(bytes.size()), dumpChild, &d);
        return out + "end " + std::to_string(err) + "\n";
    }
    // Opens the DggContainer at offset 0 and reads the DgContainer after it.
    void openGroup(const std::string &bytes, EscherDrawing **d, EscherDrawingGroup **g,
                   EscherClientHook hook = nullptr, void *user = nullptr)
    {
        ASSERT_EQ(Escher_openDrawingMemory(ctx, reinterpret_cast<const uint8_t *>(bytes.data()),
                                           uint32_t(bytes.size()), d, nullptr, nullptr, hook, user),
                  Res_ok);
        ASSERT_EQ(Escher_readDrawingGroup(*d, g), Res_ok);
        ASSERT_NE(*g, nullptr);
    }
};

TEST_F(EscherTest, TreesMatchTheGeneratorsWalker)
{
    for (const char *name : {"groups", "bstore", "custom", "hostile", "place"}) {
        SCOPED_TRACE(name);
        std::string bytes = drawingFixture(std::string(name) + ".bin");
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(tree(bytes), drawingFixture(std::string(name) + ".tree"));
    }
}

int textboxHook(void *user, EscherClientBytes *rec)
{
    ++*static_cast<int *>(user);
    rec->bytes = static_cast<uint8_t *>(Mem_malloc(3));
    if (!rec->bytes)
        return Res_noMemory;
    memcpy(rec->bytes, "abc", 3);
    rec->length = 3;
    return Res_ok;
}

TEST_F(EscherTest, DrawingGroupLevelsAnchorsAndHooks)
{
    std::string bytes = drawingFixture("groups.bin");
    EscherDrawing *d = nullptr;
    EscherDrawingGroup *g = nullptr;
    int calls = 0;
    ASSERT_NO_FATAL_FAILURE(openGroup(bytes, &d, &g, textboxHook, &calls));
    EXPECT_EQ(g->drawingId, 1u);
    EXPECT_EQ(g->lastShapeId, 1040u);
    // A shape count of 3 gives room for 8 shapes at first; the table grows
    // to take all 14 shape containers (a stale count loses no shape).
    EXPECT_EQ(g->capacity, 16u);
    ASSERT_EQ(g->count, 14u);
    for (uint32_t i = 8; i < 14; i++)
        EXPECT_NE(g->shapes[i].shapeId, 0u) << i;
    struct Want {
        uint32_t id, type;
        int32_t level;
        int32_t l, t, w, h;
    };
    const Want want[8] = {
        {1024, 0, 0, 0, 0, 0, 0},
        {1025, 0, 1, 0, 0, 0, 0},                 // the outer group: no anchor
        {1026, 1, 2, 6553, 13107, 19660, 39321},  // in the 1000 x 1000 group
        {1027, 0, 2, 16384, 32768, 32768, 32768}, // a group: in its parent's space
        {1028, 3, 3, 0, 0, 32768, 32768},         // in the 100 x 50 group
        {1029, 5, 3, 32768, 32768, 32768, 32768},
        {1030, 1, 1, 0, 0, 0, 0},
        {1031, 1, 1, 0, 0, 0, 0},
    };
    for (uint32_t i = 0; i < 8; i++) {
        SCOPED_TRACE(i);
        const EscherShape &s = g->shapes[i];
        EXPECT_EQ(s.shapeId, want[i].id);
        EXPECT_EQ(s.shapeType, want[i].type);
        EXPECT_EQ(s.level, want[i].level);
        EXPECT_EQ(s.anchorLeft, want[i].l);
        EXPECT_EQ(s.anchorTop, want[i].t);
        EXPECT_EQ(s.anchorWidth, want[i].w);
        EXPECT_EQ(s.anchorHeight, want[i].h);
    }
    EXPECT_EQ(g->shapes[5].flags, 0xAC2u);
    EXPECT_EQ(g->shapes[3].groupRight, 100);
    EXPECT_EQ(g->shapes[3].groupBottom, 50);
    // The zero-length ClientTextbox was filled by the hook.
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(g->shapes[5].textbox.length, 3u);
    EXPECT_EQ(memcmp(g->shapes[5].textbox.bytes, "abc", 3), 0);
    ASSERT_EQ(g->shapes[1].clientAnchor.length, 4u);
    // The background shape and the solver list.
    EXPECT_EQ(g->self.shapeId, 1041u);
    const EscherProp *fill = Escher_propFind(385, g->self.props);
    ASSERT_NE(fill, nullptr);
    EXPECT_EQ(fill->value, 0xFF0000u);
    ASSERT_NE(g->solvers, nullptr);
    EXPECT_EQ(g->solvers->length, 32u);
    EXPECT_EQ(g->solvers->next, nullptr);
    // The FDGG of the drawing group.
    ASSERT_NE(d->dgg, nullptr);
    EXPECT_EQ(d->dgg->clusterCount, 1u);
    EXPECT_EQ(d->dgg->clusters[0].currentShapeId, 2u);
    // Master shapes: 1026 names 1030 (rotated 45 degrees) as its master.
    EXPECT_EQ(Escher_propFind(4, g->shapes[2].props)->value, 30u << 16);
    EXPECT_EQ(Escher_propFindInherited(4, g->shapes[2].props, g)->value, 30u << 16);
    EXPECT_EQ(Escher_propFind(386, g->shapes[2].props), nullptr);
    EXPECT_EQ(Escher_propFindInherited(386, g->shapes[2].props, g), nullptr);
    Escher_drawingGroupFree(g);
    Escher_drawingStateFree(d);
}

TEST_F(EscherTest, MasterShapeGivesMissingProperties)
{
    // A shape without property 4 whose master (shape 1030) has it.
    const uint8_t own[] = {0x81, 0x01, 1, 2, 3, 0, 0x01, 0x03, 0x06, 0x04, 0, 0};
    EscherPropSet *set = Escher_propParse(own, sizeof own, 2);
    ASSERT_NE(set, nullptr);
    std::string bytes = drawingFixture("groups.bin");
    EscherDrawing *d = nullptr;
    EscherDrawingGroup *g = nullptr;
    ASSERT_NO_FATAL_FAILURE(openGroup(bytes, &d, &g));
    EXPECT_EQ(Escher_propFind(4, set), nullptr);
    const EscherProp *rot = Escher_propFindInherited(4, set, g);
    ASSERT_NE(rot, nullptr);
    EXPECT_EQ(rot->value, 45u << 16);
    EXPECT_EQ(Escher_propFindInherited(4, set, nullptr), nullptr);
    Escher_propFree(set);
    Escher_drawingGroupFree(g);
    Escher_drawingStateFree(d);
}

TEST_F(EscherTest, ShapeCapacityIsClamped)
{
    std::string bytes = drawingFixture("fdg10000.bin");
    EscherDrawing *d = nullptr;
    EscherDrawingGroup *g = nullptr;
    ASSERT_NO_FATAL_FAILURE(openGroup(bytes, &d, &g));
    EXPECT_EQ(g->capacity, 4000u);
    EXPECT_EQ(g->count, 4000u);
    EXPECT_EQ(g->drawingId, 2u);
    Escher_drawingGroupFree(g);
    Escher_drawingStateFree(d);
}

TEST_F(EscherTest, BlipStore)
{
    std::string bytes = drawingFixture("bstore.bin");
    const auto *base = reinterpret_cast<const uint8_t *>(bytes.data());
    EscherDrawing *d = nullptr;
    ASSERT_EQ(Escher_openDrawingMemory(ctx, base, uint32_t(bytes.size()), &d, nullptr, nullptr,
                                       nullptr, nullptr),
              Res_ok);
    // An instance of 2 is short of the three FBSE the store holds: the store
    // grows to take the third (files written with a stale count).
    EXPECT_GE(d->blipCapacity, 3u);
    ASSERT_EQ(d->blipCount, 3u);
    // An FDGG whose cluster field is 0 has no clusters.
    ASSERT_NE(d->dgg, nullptr);
    EXPECT_EQ(d->dgg->clusterCount, 0u);
    EXPECT_EQ(d->dgg->clustersRead, 0u);
    // Two UIDs (instance 0x6E1) and the tag byte come before the picture.
    EscherBlip *png = &d->blips[0];
    EXPECT_EQ(png->blipType, 6);
    EXPECT_EQ(png->kind, 2u);
    ASSERT_EQ(Escher_blipLoad(d, png, 0), Res_ok);
    ASSERT_NE(png->data, nullptr);
    ASSERT_EQ(png->dataLength, png->size - 41);
    EXPECT_EQ(memcmp(png->data, "\x89PNG", 4), 0);
    // Offset 0xFFFFFFFF: no picture, never loaded.
    EXPECT_EQ(d->blips[1].blipType, 0);
    EXPECT_EQ(Escher_blipLoad(d, &d->blips[1], 0), Res_ok);
    EXPECT_EQ(d->blips[1].data, nullptr);
    Escher_blipRelease(d, 0);
    EXPECT_EQ(png->data, nullptr);
    EXPECT_EQ(png->released, 1);
    Escher_drawingStateFree(d);

    // The second store: a plain PNG, instance 0x6E2, a size below the UID.
    EscherSource main;
    EscherSource_initMemory(&main, base, uint32_t(bytes.size()));
    uint32_t second = 8 + (uint32_t(uint8_t(bytes[4])) | uint32_t(uint8_t(bytes[5])) << 8);
    ASSERT_EQ(EscherSource_seek(&main, second, 0), Res_ok);
    ASSERT_EQ(Escher_openDrawing(ctx, &main, nullptr, &d, nullptr, nullptr, nullptr, nullptr),
              Res_ok);
    ASSERT_EQ(d->blipCount, 3u);
    // A cluster field of 3 names two clusters; the record holds one.
    EXPECT_EQ(d->dgg->clusterCount, 2u);
    EXPECT_EQ(d->dgg->clustersRead, 1u);
    ASSERT_EQ(Escher_blipLoad(d, &d->blips[0], 0), Res_ok);
    EXPECT_EQ(d->blips[0].dataLength, d->blips[0].size - 25);
    EXPECT_EQ(memcmp(d->blips[0].data, "\x89PNG", 4), 0);
    EXPECT_EQ(Escher_blipLoad(d, &d->blips[1], 0), Escher_errBlipMismatch);
    EXPECT_EQ(d->blips[1].data, nullptr);
    EXPECT_EQ(Escher_blipLoad(d, &d->blips[2], 0), Escher_errBlipMismatch);
    EXPECT_EQ(d->blips[2].data, nullptr);
    Escher_drawingStateFree(d);
}

TEST_F(EscherTest, BlipsFromTheDelaySource)
{
    // The FBSE points into a separate blip stream.
    std::string blips = "xxxx";
    std::string png = "\x89PNGdata";
    std::string record = std::string("\x00\x6E\x1E\xF0", 4);
    uint32_t len = uint32_t(16 + 1 + png.size());
    record +=
        std::string(reinterpret_cast<const char *>(&len), 4) + std::string(16, 'u') + "t" + png;
    blips += record;
    std::string fbse(36, '\0');
    fbse[0] = 6;
    uint32_t size = uint32_t(record.size()), offset = 4;
    memcpy(&fbse[20], &size, 4);
    memcpy(&fbse[28], &offset, 4);
    std::string store = std::string("\x2F\x00\x07\xF0\x24\x00\x00\x00", 8) + fbse;
    std::string bstore = std::string("\x1F\x00\x01\xF0", 4);
    uint32_t storeLen = uint32_t(store.size());
    bstore += std::string(reinterpret_cast<const char *>(&storeLen), 4) + store;
    std::string dggc = std::string("\x0F\x00\x00\xF0", 4);
    uint32_t dggLen = uint32_t(bstore.size());
    dggc += std::string(reinterpret_cast<const char *>(&dggLen), 4) + bstore;
    EscherSource main, delay;
    EscherSource_initMemory(&main, reinterpret_cast<const uint8_t *>(dggc.data()),
                            uint32_t(dggc.size()));
    EscherSource_initMemory(&delay, reinterpret_cast<const uint8_t *>(blips.data()),
                            uint32_t(blips.size()));
    EscherDrawing *d = nullptr;
    ASSERT_EQ(Escher_openDrawing(ctx, &main, &delay, &d, nullptr, nullptr, nullptr, nullptr),
              Res_ok);
    ASSERT_EQ(d->blipCount, 1u);
    EXPECT_EQ(d->blips[0].offset, 4u);
    ASSERT_EQ(Escher_blipLoad(d, &d->blips[0], 0), Res_ok);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(d->blips[0].data), d->blips[0].dataLength),
              png);
    Escher_drawingStateFree(d);
}

TEST_F(EscherTest, BlipRecordOfTheEntrysMacType)
{
    // An entry names a picture type for Windows and one for the Mac; the
    // record it points at may be of either. A record of the Mac type is
    // read as that type when its instance is that type's (one or two UIDs);
    // a record of a type the entry does not name is refused.
    struct Case {
        const char *name;
        uint8_t windowsType, macType;
        uint16_t recordType, instance;
        int result;
        uint8_t blipType;
        uint32_t kind, uids;
    };
    const Case cases[] = {
        {"PICT with two UIDs for a WMF entry", 3, 4, 0xF01C, 0x543, Res_ok, 4, 3, 2},
        {"PICT with one UID for a WMF entry", 3, 4, 0xF01C, 0x542, Res_ok, 4, 3, 1},
        {"PICT for an entry that names none", 3, 3, 0xF01C, 0x542, Escher_errBlipMismatch, 3, 3, 1},
        {"PNG entry with a Mac PICT, PNG record", 6, 4, 0xF01E, 0x6E0, Res_ok, 6, 2, 1},
        {"WMF entry with a Mac PICT, WMF record", 3, 4, 0xF01B, 0x216, Res_ok, 3, 3, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string picture = "picture-bytes";
        std::string body(16 * c.uids, 'u');
        if (c.kind != 3)
            body += "t"; // the tag byte of a bitmap
        body += picture;
        std::string record(8, '\0');
        const uint16_t word0 = uint16_t(c.instance << 4);
        const uint32_t bodyLen = uint32_t(body.size());
        memcpy(&record[0], &word0, 2);
        memcpy(&record[2], &c.recordType, 2);
        memcpy(&record[4], &bodyLen, 4);
        record += body;
        std::string blips = "xxxx" + record;
        std::string fbse(36, '\0');
        fbse[0] = char(c.windowsType);
        fbse[1] = char(c.macType);
        const uint32_t size = uint32_t(record.size()), offset = 4;
        memcpy(&fbse[20], &size, 4);
        memcpy(&fbse[28], &offset, 4);
        std::string store = std::string("\x2F\x00\x07\xF0\x24\x00\x00\x00", 8) + fbse;
        std::string dggc = std::string("\x1F\x00\x01\xF0", 4);
        const uint32_t storeLen = uint32_t(store.size());
        dggc += std::string(reinterpret_cast<const char *>(&storeLen), 4) + store;
        const uint32_t bstoreLen = uint32_t(dggc.size());
        dggc = std::string("\x0F\x00\x00\xF0", 4) +
               std::string(reinterpret_cast<const char *>(&bstoreLen), 4) + dggc;
        EscherSource main, delay;
        EscherSource_initMemory(&main, reinterpret_cast<const uint8_t *>(dggc.data()),
                                uint32_t(dggc.size()));
        EscherSource_initMemory(&delay, reinterpret_cast<const uint8_t *>(blips.data()),
                                uint32_t(blips.size()));
        EscherDrawing *d = nullptr;
        ASSERT_EQ(Escher_openDrawing(ctx, &main, &delay, &d, nullptr, nullptr, nullptr, nullptr),
                  Res_ok);
        ASSERT_EQ(d->blipCount, 1u);
        EscherBlip *blip = &d->blips[0];
        EXPECT_EQ(Escher_blipLoad(d, blip, 0), c.result);
        EXPECT_EQ(blip->blipType, c.blipType);
        EXPECT_EQ(blip->kind, c.kind);
        if (c.result == Res_ok)
            EXPECT_EQ(std::string(reinterpret_cast<const char *>(blip->data), blip->dataLength),
                      picture);
        else
            EXPECT_EQ(blip->data, nullptr);
        Escher_drawingStateFree(d);
    }
}

TEST_F(EscherTest, OpenRefusesMissingSources)
{
    EscherDrawing *d = reinterpret_cast<EscherDrawing *>(1);
    const uint8_t b[8] = {};
    EXPECT_EQ(Escher_openDrawingMemory(ctx, nullptr, 8, &d, nullptr, nullptr, nullptr, nullptr),
              Escher_errNoSource);
    EXPECT_EQ(d, nullptr);
    EXPECT_EQ(Escher_openDrawingMemory(ctx, b, 0, &d, nullptr, nullptr, nullptr, nullptr),
              Escher_errNoSource);
    EXPECT_EQ(
        Escher_openDrawingStreams(ctx, nullptr, nullptr, &d, nullptr, nullptr, nullptr, nullptr),
        Escher_errNoSource);
    // A DggContainer that claims more than the block holds.
    const uint8_t cut[] = {0x0F, 0, 0x00, 0xF0, 100, 0, 0, 0, 0, 0, 0x06, 0xF0, 16, 0, 0, 0};
    EXPECT_EQ(
        Escher_openDrawingMemory(ctx, cut, sizeof cut, &d, nullptr, nullptr, nullptr, nullptr),
        Escher_errBeyond);
    EXPECT_EQ(d, nullptr);
}

std::string header(uint32_t type, uint32_t length, uint32_t inst = 0)
{
    uint8_t b[8];
    uint32_t first = (inst << 4) | (type <= 0xF005 ? 0xF : 0);
    b[0] = uint8_t(first);
    b[1] = uint8_t(first >> 8);
    b[2] = uint8_t(type);
    b[3] = uint8_t(type >> 8);
    for (int k = 0; k < 4; k++)
        b[4 + k] = uint8_t(length >> (8 * k));
    return std::string(reinterpret_cast<const char *>(b), 8);
}

std::string record(uint32_t type, const std::string &data, uint32_t inst = 0)
{
    return header(type, uint32_t(data.size()), inst) + data;
}

TEST_F(EscherTest, DrawingGroupFaults)
{
    std::string fdg = record(EscherRec_fdg, std::string(8, '\0'), 1);
    std::string shape = record(EscherRec_spContainer, record(EscherRec_fsp, std::string(8, '\0')));
    struct Case {
        const char *name;
        std::string data;
        int want;
    };
    const Case cases[] = {
        {"shape before FDG", record(EscherRec_dgContainer, record(EscherRec_spgrContainer, shape)),
         Escher_errNoFdg},
        {"background before FDG", record(EscherRec_dgContainer, shape), Escher_errNoFdg},
        // A length near 2^32 would wrap a 32-bit sum back and loop.
        {"length past its container",
         record(EscherRec_dgContainer,
                fdg + record(EscherRec_spgrContainer,
                             header(EscherRec_spContainer, 0xFFFFFFF8u) + "12345678")),
         Escher_errBeyond},
        {"header cut inside its container",
         record(EscherRec_dgContainer, fdg + record(EscherRec_spgrContainer, shape + "1234")),
         Escher_errBeyond},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EscherSource main;
        EscherSource_initMemory(&main, reinterpret_cast<const uint8_t *>(c.data.data()),
                                uint32_t(c.data.size()));
        EscherDrawing drawing = {};
        drawing.context = ctx;
        drawing.main = main;
        EscherSource_initNone(&drawing.delay);
        EscherDrawingGroup *g = reinterpret_cast<EscherDrawingGroup *>(1);
        EXPECT_EQ(Escher_readDrawingGroup(&drawing, &g), c.want);
        EXPECT_EQ(g, nullptr);
    }
}

TEST_F(EscherTest, DeepNestingEndsWithTheStackGuard)
{
    // Group containers nested far deeper than the stack allows.
    const uint32_t depth = 400000;
    std::string data;
    data.reserve(size_t(depth) * 8 + 64);
    std::string fdg = record(EscherRec_fdg, std::string(8, '\0'), 1);
    uint32_t total = depth * 8;
    data += header(EscherRec_dgContainer, uint32_t(fdg.size()) + total) + fdg;
    for (uint32_t i = 0; i < depth; i++)
        data += header(EscherRec_spgrContainer, total - 8 * (i + 1));
    EscherSource main;
    EscherSource_initMemory(&main, reinterpret_cast<const uint8_t *>(data.data()),
                            uint32_t(data.size()));
    EscherDrawing drawing = {};
    drawing.context = ctx;
    drawing.main = main;
    EscherSource_initNone(&drawing.delay);
    EscherDrawingGroup *g = nullptr;
    EXPECT_EQ(Escher_readDrawingGroup(&drawing, &g), Res_stackExhausted);
    EXPECT_EQ(g, nullptr);
}

// ------------------------------------------------------------ properties

std::string entry(uint16_t word, uint32_t value)
{
    std::string e(6, '\0');
    e[0] = char(word);
    e[1] = char(word >> 8);
    for (int k = 0; k < 4; k++)
        e[2 + k] = char(value >> (8 * k));
    return e;
}

TEST_F(EscherTest, PropertyBlocksMustLieInTheRecord)
{
    struct Case {
        const char *name;
        std::string bytes;
        uint32_t count;
        const char *want; // the dump, or "props null"
    };
    const Case cases[] = {
        {"16-bit string past the end", entry(0x8000 | 896, 10) + "A\0B\0", 1,
         "prop 896 flags=2 value=10 null\n"},
        {"block past the end, later ones null too",
         entry(0x8000 | 400, 9) + entry(0x8000 | 401, 1) + "abcd", 2,
         "prop 400 flags=2 value=9 null\nprop 401 flags=2 value=1 null\n"},
        {"8-bit string past the end, parse goes on", entry(0x8000 | 193, 50) + entry(4, 7) + "hi",
         2, "prop 193 flags=2 value=50 null\nprop 4 flags=0 value=7 -\n"},
        {"more entries than bytes", entry(4, 1) + entry(5, 2) + "xx", 40,
         "prop 4 flags=0 value=1 -\nprop 5 flags=0 value=2 -\n"},
        {"array elements past the end",
         entry(0x8000 | 325, 10) + std::string("\x04\x00\x04\x00\x04\x00", 6) + "1234", 1,
         "props null\n"},
        {"array element size 0xFFF0",
         entry(0x8000 | 326, 16) + std::string("\x02\x00\x04\x00\xF0\xFF", 6) + "ABCDEFGHIJ", 1,
         "prop 326 flags=2 value=16 array:2,4:4142434445464748\n"},
        {"empty array", entry(0x8000 | 326, 0), 1, "prop 326 flags=2 value=0 null\n"},
        {"vertices whose value leaves out the array head, a block after them",
         entry(0x8000 | 325, 8) + entry(0x8000 | 326, 10) +
             std::string("\x02\x00\x02\x00\xF0\xFF", 6) + "ABCDEFGH" +
             std::string("\x01\x00\x01\x00\x04\x00", 6) + "wxyz",
         2,
         "prop 325 flags=2 value=8 array:2,4:4142434445464748\nprop 326 flags=2 value=10 "
         "array:1,4:7778797a\n"},
        {"blip id flag", entry(0x4000 | 260, 3), 1, "prop 260 flags=1 value=3 -\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string &bytes = c.bytes;
        EscherPropSet *set = Escher_propParse(reinterpret_cast<const uint8_t *>(bytes.data()),
                                              uint32_t(bytes.size()), c.count);
        std::string out;
        dumpProps(set, 0, &out);
        EXPECT_EQ(out, c.want);
        Escher_propFree(set);
    }
}

TEST_F(EscherTest, PropertyLookups)
{
    std::string ascending =
        entry(4, 1) + entry(129, 2) + entry(385, 3) + entry(459, 4) + entry(769, 5);
    EscherPropSet *set = Escher_propParse(reinterpret_cast<const uint8_t *>(ascending.data()),
                                          uint32_t(ascending.size()), 5);
    ASSERT_NE(set, nullptr);
    for (uint32_t id : {4u, 129u, 385u, 459u, 769u})
        EXPECT_NE(Escher_propFind(id, set), nullptr) << id;
    for (uint32_t id : {0u, 3u, 130u, 770u})
        EXPECT_EQ(Escher_propFind(id, set), nullptr) << id;
    EXPECT_EQ(Escher_propFind(385, set)->value, 3u);
    Escher_propFree(set);
    // Ids that do not ascend: one outside the first-to-last range is missed.
    std::string unsorted = entry(385, 1) + entry(4, 2) + entry(459, 3);
    set = Escher_propParse(reinterpret_cast<const uint8_t *>(unsorted.data()),
                           uint32_t(unsorted.size()), 3);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(Escher_propFind(4, set), nullptr);
    EXPECT_NE(Escher_propFind(459, set), nullptr);
    Escher_propFree(set);
    // Empty and null sets.
    set = Escher_propParse(nullptr, 0, 0);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 0u);
    EXPECT_EQ(Escher_propFind(4, set), nullptr);
    Escher_propFree(set);
    EXPECT_EQ(Escher_propFind(4, nullptr), nullptr);
    Escher_propFree(nullptr);
}

TEST_F(EscherTest, PropertyParseOutOfMemoryLeaksNothing)
{
    std::string bytes = entry(0x8000 | 896, 4) + entry(0x8000 | 400, 2) + "A\0B\0xy";
    for (int n = 1; n < 6; n++) {
        Mem_failAfter(n);
        EscherPropSet *set = Escher_propParse(reinterpret_cast<const uint8_t *>(bytes.data()),
                                              uint32_t(bytes.size()), 2);
        Mem_failAfter(0);
        Escher_propFree(set);
    }
}

} // namespace
