// Compound-file directory queries over an entry list built by hand (type
// by id, children of a storage in list order, the last child, entries of
// other storages, missing ids), and the in-memory record reader (reads to
// the end and one byte beyond, seeks from each origin, negative steps).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/result.h"
#include "office/officeart/memreader.h"
#include "office/ole2/ole.h"

namespace {

// The list: root 0; storage 1 and stream 3 under the root; streams 2 and 4
// under storage 1; in the order root, 1, 2, 3, 4.
struct Directory {
    OleDirEntry e[5] = {};
    OleHandle handle = {};
    Directory()
    {
        const uint32_t ids[5] = {0, 1, 2, 3, 4}, types[5] = {5, 1, 2, 2, 2},
                       parents[5] = {0, 0, 1, 0, 1};
        for (int i = 0; i < 5; i++) {
            e[i].id = ids[i];
            e[i].type = types[i];
            e[i].parentId = parents[i];
            e[i].next = i < 4 ? &e[i + 1] : nullptr;
        }
        handle.entries = &e[0];
    }
};

TEST(OleQuery, EntryTypes)
{
    Directory d;
    const uint32_t want[5] = {OleEntry_root, OleEntry_storage, OleEntry_stream, OleEntry_stream,
                              OleEntry_stream};
    for (uint32_t id = 0; id < 5; id++) {
        uint32_t type = 99;
        ASSERT_EQ(Ole_entryGetType(&d.handle, id, &type), 0);
        EXPECT_EQ(type, want[id]);
    }
    uint32_t type = 99;
    EXPECT_EQ(Ole_entryGetType(&d.handle, 5, &type), Res_oleNoEntry);
    EXPECT_EQ(type, 99u);
    OleHandle empty = {};
    EXPECT_EQ(Ole_entryGetType(&empty, 0, &type), Res_oleNoEntry);
}

TEST(OleQuery, NextChildFollowsTheListOrder)
{
    Directory d;
    struct Case {
        uint32_t parent, id;
        int result;
        uint32_t next;
    } cases[] = {
        {0, 1, 0, 3},                // the root's children: 1, then 3
        {0, 3, Res_oleLastChild, 3}, // the last child
        {1, 2, 0, 4},
        {1, 4, Res_oleLastChild, 4},
        {1, 3, Res_oleNoSuchEntry, 3}, // a child of another storage
        {0, 2, Res_oleNoSuchEntry, 2},
        {0, 9, Res_oleNoSuchEntry, 9}, // no such entry
        {0, 0, Res_oleNoSuchEntry, 0}, // the root is not its own child
        {2, 4, Res_oleNoSuchEntry, 4}, // a stream has no children
    };
    for (const Case &c : cases) {
        uint32_t id = c.id;
        EXPECT_EQ(Ole_entryNextChild(&d.handle, c.parent, &id), c.result)
            << c.parent << " " << c.id;
        EXPECT_EQ(id, c.next) << c.parent << " " << c.id;
    }
    // Walking every child of the root from the first.
    std::vector<uint32_t> walked = {1};
    uint32_t id = 1;
    while (Ole_entryNextChild(&d.handle, 0, &id) == 0)
        walked.push_back(id);
    EXPECT_EQ(walked, (std::vector<uint32_t>{1, 3}));
}

TEST(MemReader, ReadsToTheEndAndNoFurther)
{
    const uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    MemReader r;
    MemReader_init(&r, bytes, sizeof bytes);
    EXPECT_EQ(MemReader_tell(&r), 0u);
    uint8_t out[16];
    memset(out, 0xEE, sizeof out);
    ASSERT_EQ(MemReader_read(&r, out, 4), 0);
    EXPECT_EQ(out[3], 3);
    EXPECT_EQ(MemReader_tell(&r), 4u);
    // One byte more than is left: nothing is read.
    EXPECT_EQ(MemReader_read(&r, out, 7), Res_memReaderBeyond);
    EXPECT_EQ(MemReader_tell(&r), 4u);
    EXPECT_EQ(out[4], 0xEE);
    // Exactly what is left.
    ASSERT_EQ(MemReader_read(&r, out, 6), 0);
    EXPECT_EQ(out[5], 9);
    EXPECT_EQ(MemReader_tell(&r), 10u);
    EXPECT_EQ(MemReader_read(&r, out, 0), 0);
    EXPECT_EQ(MemReader_read(&r, out, 1), Res_memReaderBeyond);
    EXPECT_EQ(MemReader_read(&r, out, 0xFFFFFFFF), Res_memReaderBeyond);
}

TEST(MemReader, SeeksFromEachOrigin)
{
    const uint8_t bytes[10] = {};
    MemReader r;
    MemReader_init(&r, bytes, sizeof bytes);
    struct Case {
        int32_t offset;
        uint32_t origin;
        int result;
        uint32_t position;
    } cases[] = {
        {10, MemReader_fromStart, 0, 10}, // to the size itself
        {11, MemReader_fromStart, Res_memReaderBeyond, 10},
        {-4, MemReader_fromCurrent, 0, 6}, // back
        {-7, MemReader_fromCurrent, Res_memReaderBeyond, 6},
        {3, MemReader_fromCurrent, 0, 9},
        {-1, MemReader_fromStart, Res_memReaderBeyond, 9},
        {-123, MemReader_toEnd, 0, 10}, // the offset is not used
        {2, MemReader_fromStart, 0, 2},
        {12345, MemReader_toEnd, 0, 10},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(MemReader_seek(&r, c.offset, c.origin), c.result) << c.offset << " " << c.origin;
        EXPECT_EQ(MemReader_tell(&r), c.position) << c.offset << " " << c.origin;
    }
}

} // namespace
