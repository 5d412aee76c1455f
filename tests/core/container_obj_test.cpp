// Class-typed objects, object-list insertion, the cell pool, stop lists
// and token-reader dispatch.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/container/cellpool.h"
#include "core/container/obj.h"
#include "core/container/pstoken.h"
#include "core/container/stoplist.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

class ObjTest : public LeakCheckedHeapTest<> {};

// ---------------------------------------------------------------- objects

// A class whose part owns a heap buffer in its first word.
struct BufferPart {
    void *buffer;
    int32_t words[13];
};

int freedParts = 0;

void freeBufferPart(ObjHeader *obj)
{
    Mem_free(static_cast<BufferPart *>(Obj_part(obj))->buffer);
    freedParts++;
}

const ObjClass kBufferClass = {nullptr, sizeof(BufferPart), freeBufferPart};
const ObjClass kPlainClass = {nullptr, 60, nullptr};
const ObjClass kBadClass = {nullptr, -4, nullptr};

TEST_F(ObjTest, CreateSizesAndClearsEverything)
{
    ObjHeader *o = Obj_create(&kPlainClass, 32);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->cls, &kPlainClass);
    EXPECT_EQ(o->flags, Obj_initialFlags);
    EXPECT_EQ(o->block, nullptr);
    EXPECT_EQ(o->spare[0], 0u);
    EXPECT_EQ(o->spare[1], 0u);
    EXPECT_EQ(Obj_size(o), sizeof(ObjHeader) + 60);
    // Class part and extra bytes are zero and writable to their end.
    uint8_t *part = static_cast<uint8_t *>(Obj_part(o));
    for (size_t i = 0; i < 60 + 32; i++)
        ASSERT_EQ(part[i], 0) << i;
    memset(part, 0xAB, 60 + 32);
    o->block = Mem_malloc(100);
    Obj_destroy(o);
    Obj_destroy(nullptr);

    EXPECT_EQ(Obj_classPartSize(&kPlainClass), 60);
    EXPECT_EQ(Obj_classPartSize(nullptr), -1);
    EXPECT_EQ(Obj_classPartSize(&kBadClass), -1);
    EXPECT_EQ(Obj_create(nullptr, 0), nullptr);
    EXPECT_EQ(Obj_create(&kBadClass, 0), nullptr);
    EXPECT_EQ(Obj_create(&kPlainClass, SIZE_MAX - 8), nullptr) << "size overflow";
    Mem_failAfter(1);
    EXPECT_EQ(Obj_create(&kPlainClass, 0), nullptr);
}

TEST_F(ObjTest, DestroyReleasesClassPayloadsThenBlock)
{
    freedParts = 0;
    ObjHeader *o = Obj_create(&kBufferClass, 0);
    ASSERT_NE(o, nullptr);
    static_cast<BufferPart *>(Obj_part(o))->buffer = Mem_malloc(64);
    o->block = Mem_malloc(64);
    Obj_destroy(o);
    EXPECT_EQ(freedParts, 1);
}

// Lists of objects, by the values stored in owner[1].
std::vector<int> order(const ObjList &l)
{
    std::vector<int> v;
    for (ObjHeader *p = l.head; p; p = reinterpret_cast<ObjHeader *>(p->owner[0]))
        v.push_back(static_cast<int>(p->owner[1]));
    return v;
}

TEST_F(ObjTest, ListInsertBefore)
{
    ObjHeader o[6] = {};
    for (int i = 0; i < 6; i++)
        o[i].owner[1] = static_cast<uintptr_t>(i);
    ObjList l = {};
    ObjList_insertBefore(&l, &o[0], &o[3]); // empty list: at the head
    EXPECT_EQ(order(l), (std::vector<int>{0}));
    ObjList_insertBefore(&l, &o[1], nullptr); // not found: after the tail
    ObjList_insertBefore(&l, &o[2], &o[5]);
    EXPECT_EQ(order(l), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(l.tail, &o[2]);
    ObjList_insertBefore(&l, &o[3], &o[0]); // before the head
    EXPECT_EQ(order(l), (std::vector<int>{3, 0, 1, 2}));
    ObjList_insertBefore(&l, &o[4], &o[2]); // before the tail
    ObjList_insertBefore(&l, &o[5], &o[1]);
    EXPECT_EQ(order(l), (std::vector<int>{3, 0, 5, 1, 4, 2}));
    EXPECT_EQ(l.head, &o[3]);
    EXPECT_EQ(l.tail, &o[2]);
}

// -------------------------------------------------------------- cell pool

TEST_F(ObjTest, CellPoolBlocksAreChainedAndZeroed)
{
    CellPool pool = {};
    Cell *first;
    ASSERT_EQ(CellPool_grow(&pool, &first, 5), 0);
    int n = 0;
    for (Cell *c = first; c; c = c->next, n++)
        EXPECT_EQ(c->word, 0u);
    EXPECT_EQ(n, 5);
    CellBlock *one = pool.blocks;
    Cell *second;
    ASSERT_EQ(CellPool_grow(&pool, &second, 1), 0);
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(pool.blocks->next, one) << "newest block first";
    EXPECT_EQ(CellPool_grow(&pool, &second, 0), Res_nullInput);
    EXPECT_EQ(second, nullptr);
    Mem_failAfter(1);
    EXPECT_EQ(CellPool_grow(&pool, &second, 3), Res_noMemory);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(pool.blocks->next, one);
    CellPool_free(&pool);
    EXPECT_EQ(pool.blocks, nullptr);
}

// ------------------------------------------------------------- stop lists

TEST_F(ObjTest, StopListCountsIndexesAndClamping)
{
    StopList *s;
    for (int32_t bad : {-1, 0, 1, 21, 1000}) {
        EXPECT_EQ(StopList_create(&s, bad), Res_stopCountInvalid) << bad;
        EXPECT_EQ(s, nullptr);
    }
    for (int32_t good : {2, 20}) {
        ASSERT_EQ(StopList_create(&s, good), 0);
        EXPECT_EQ(s->count, good);
        StopList_free(s);
    }
    ASSERT_EQ(StopList_create(&s, 3), 0);
    struct {
        int32_t index, position;
        int result;
        int32_t stored;
    } cases[] = {
        {0, -5, 0, 0},
        {1, 0x8000, 0, 0x8000},
        {2, 0x10001, 0, 0x10000},
        {2, 0x10000, 0, 0x10000},
        {3, 0, Res_stopIndexInvalid, 0},
        {-1, 0, Res_stopIndexInvalid, 0},
    };
    for (auto &c : cases) {
        EXPECT_EQ(StopList_set(s, c.index, StopEntry{c.position, 0xFF00FF00u}), c.result);
        if (c.result == 0) {
            EXPECT_EQ(s->stops[c.index].position, c.stored);
            EXPECT_EQ(s->stops[c.index].value, 0xFF00FF00u);
        }
    }
    StopList *copy;
    ASSERT_EQ(StopList_copy(&copy, s), 0);
    EXPECT_EQ(copy->count, 3);
    EXPECT_EQ(memcmp(copy->stops, s->stops, 3 * sizeof(StopEntry)), 0);
    StopList_free(copy);
    Mem_failAfter(1);
    EXPECT_EQ(StopList_copy(&copy, s), Res_noMemory);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(StopList_copy(&copy, nullptr), 0);
    EXPECT_EQ(copy, nullptr);
    StopList_free(s);
    StopList_free(nullptr);
}

// ----------------------------------------------------------- token readers

struct FakeReader {
    TokenReader base;
    int calls[3];
    int token;
};

void *fakeNext(TokenReader *r)
{
    FakeReader *f = reinterpret_cast<FakeReader *>(r);
    f->calls[0]++;
    return &f->token;
}

int fakeStatus(TokenReader *r)
{
    reinterpret_cast<FakeReader *>(r)->calls[1]++;
    return 2816;
}

void fakeDestroy(TokenReader *r)
{
    reinterpret_cast<FakeReader *>(r)->calls[2]++;
}

const TokenReaderOps kFakeOps = {fakeNext, fakeStatus, fakeDestroy};

TEST_F(ObjTest, TokenReaderDispatch)
{
    FakeReader f = {{&kFakeOps}, {0, 0, 0}, 0};
    EXPECT_EQ(PsToken_next(&f.base), &f.token);
    EXPECT_EQ(PsToken_status(&f.base), 2816);
    PsToken_destroy(&f.base);
    EXPECT_EQ(f.calls[0], 1);
    EXPECT_EQ(f.calls[1], 1);
    EXPECT_EQ(f.calls[2], 1);
    EXPECT_EQ(PsToken_next(nullptr), nullptr);
    EXPECT_EQ(PsToken_status(nullptr), Res_nullInput);
    PsToken_destroy(nullptr);
}

} // namespace
