// The path walker: which callback each element reaches, the pointers it is
// given (its points, the previous element's last point, the subpath start),
// the end-of-subpath call, stopping on a non-zero result, and damaged or
// packed paths. Paths are laid out by hand as the path record describes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "graphics/pathwalk.h"
#include "core/result.h"

namespace {

struct Call {
    int slot;
    const int32_t *points;
    const int32_t *last;
    const int32_t *subpath;
};

struct Log {
    std::vector<Call> calls;
    int stopAt = -1; // index of the call that answers stopResult
    int stopResult = 0;
};

template <int Slot>
int record(const int32_t *points, void *user, const int32_t *last, const int32_t *subpath)
{
    Log *log = static_cast<Log *>(user);
    log->calls.push_back({Slot, points, last, subpath});
    if (static_cast<int>(log->calls.size()) - 1 == log->stopAt)
        return log->stopResult;
    return 0;
}

// A table with every slot recording.
struct Table {
    PathWalkFn fn[16] = {record<0>,  record<1>,  record<2>,  record<3>, record<4>,  record<5>,
                         record<6>,  record<7>,  record<8>,  record<9>, record<10>, record<11>,
                         record<12>, record<13>, record<14>, record<15>};
};

Path plainPath(std::vector<int32_t> &words)
{
    Path p = {};
    p.buffer = words.data();
    p.write = words.data() + words.size();
    p.capacity = static_cast<uint32_t>(words.size());
    p.scale = 0x10000;
    p.state = 3;
    return p;
}

// move (0,0); line (10,0); quad (15,5)(20,0); cubic (21,1)(22,2)(23,3);
// close; move (100,100); line (110,100)  -- the second subpath left open.
std::vector<int32_t> twoSubpaths()
{
    return {9, 0,   0,                 // 0: move
            5, 10,  0,                 // 3: line
            6, 15,  5,   20, 0,        // 6: quad
            7, 21,  1,   22, 2, 23, 3, // 11: cubic
            4,                         // 18: close
            9, 100, 100,               // 19: move
            5, 110, 100};              // 22: line
}

TEST(PathWalk, ElementsAndPointers)
{
    std::vector<int32_t> w = twoSubpaths();
    Path p = plainPath(w);
    Table t;
    Log log;
    ASSERT_EQ(0, Path_walk(&p, t.fn, &log));
    const int32_t *b = w.data();
    const Call want[] = {
        {9, b + 1, nullptr, nullptr}, {5, b + 4, b + 1, b + 1},     {6, b + 7, b + 4, b + 1},
        {7, b + 12, b + 9, b + 1},    // last point of the quad is its end point
        {4, b + 19, b + 16, b + 1},   // a close has no points: the pointer is past it
        {9, b + 20, b + 16, nullptr}, // the close ended the subpath, kept the last point
        {5, b + 23, b + 20, b + 20},  {0, nullptr, b + 23, b + 20}, // the open subpath is ended
                                                                    // once more
    };
    ASSERT_EQ(std::size(want), log.calls.size());
    for (size_t i = 0; i < std::size(want); i++) {
        EXPECT_EQ(want[i].slot, log.calls[i].slot) << i;
        EXPECT_EQ(want[i].points, log.calls[i].points) << i;
        EXPECT_EQ(want[i].last, log.calls[i].last) << i;
        EXPECT_EQ(want[i].subpath, log.calls[i].subpath) << i;
    }
    // The previous point of an element is the pair right before its opcode.
    EXPECT_EQ(log.calls[3].points - 3, log.calls[3].last);
}

TEST(PathWalk, NullSlotsSkipButTrackState)
{
    std::vector<int32_t> w = twoSubpaths();
    Path p = plainPath(w);
    Table t;
    t.fn[9] = nullptr; // no move callback
    t.fn[0] = nullptr; // no end call
    Log log;
    ASSERT_EQ(0, Path_walk(&p, t.fn, &log));
    ASSERT_EQ(5u, log.calls.size());
    // The line after the second move still sees that move as its subpath.
    EXPECT_EQ(5, log.calls[4].slot);
    EXPECT_EQ(w.data() + 20, log.calls[4].subpath);
    EXPECT_EQ(w.data() + 20, log.calls[4].last);
}

TEST(PathWalk, ClosedSubpathGetsNoEndCall)
{
    std::vector<int32_t> w = {9, 0, 0, 5, 1, 1, 4};
    Path p = plainPath(w);
    Table t;
    Log log;
    ASSERT_EQ(0, Path_walk(&p, t.fn, &log));
    ASSERT_EQ(3u, log.calls.size());
    EXPECT_EQ(4, log.calls.back().slot);
}

TEST(PathWalk, NonZeroResultStops)
{
    std::vector<int32_t> w = twoSubpaths();
    Path p = plainPath(w);
    Table t;
    for (int stop = 0; stop < 8; stop++) {
        Log log;
        log.stopAt = stop;
        log.stopResult = 259 + stop;
        EXPECT_EQ(259 + stop, Path_walk(&p, t.fn, &log));
        EXPECT_EQ(static_cast<size_t>(stop + 1), log.calls.size());
    }
}

TEST(PathWalk, OnlyTheLowBitsOfOpcodesCount)
{
    // Bits 4 to 7 may hold a packed width code; bit 8 has no meaning, so
    // 0x105 is a line, not a move, and 0x39 is a move.
    std::vector<int32_t> w = {0x39, 1, 2, 0x105, 3, 4, 0x2F5, 5, 6};
    Path p = plainPath(w);
    Table t;
    Log log;
    ASSERT_EQ(0, Path_walk(&p, t.fn, &log));
    ASSERT_EQ(4u, log.calls.size());
    EXPECT_EQ(9, log.calls[0].slot);
    EXPECT_EQ(5, log.calls[1].slot);
    EXPECT_EQ(5, log.calls[2].slot);
    EXPECT_EQ(w.data() + 1, log.calls[2].subpath);
    EXPECT_EQ(0, log.calls[3].slot);
    EXPECT_EQ(w.data() + 7, log.calls[3].last);
}

TEST(PathWalk, EmptyAndNull)
{
    Table t;
    Log log;
    std::vector<int32_t> none;
    Path empty = plainPath(none);
    EXPECT_EQ(0, Path_walk(&empty, t.fn, &log));
    Path noBuffer = {};
    EXPECT_EQ(0, Path_walk(&noBuffer, t.fn, &log));
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(Res_nullInput, Path_walk(nullptr, t.fn, &log));
    EXPECT_EQ(Res_nullInput, Path_walk(&empty, nullptr, &log));

    // A lone move: the move, then the end call with its point as both.
    std::vector<int32_t> w = {9, 4, 5};
    Path p = plainPath(w);
    EXPECT_EQ(0, Path_walk(&p, t.fn, &log));
    ASSERT_EQ(2u, log.calls.size());
    EXPECT_EQ(w.data() + 1, log.calls[1].last);
    EXPECT_EQ(w.data() + 1, log.calls[1].subpath);
}

// A damaged path whose last element lacks points: the walk ends before it
// (the sanitizer build would report any read past the words in use, which
// sit at the end of their own allocation here).
TEST(PathWalk, TruncatedElementEndsTheWalk)
{
    for (int cut = 1; cut <= 6; cut++) {
        std::vector<int32_t> full = {9, 0, 0, 7, 1, 1, 2, 2, 3, 3};
        std::vector<int32_t> w(full.begin(), full.end() - cut);
        w.shrink_to_fit();
        Path p = plainPath(w);
        Table t;
        Log log;
        EXPECT_EQ(0, Path_walk(&p, t.fn, &log)) << cut;
        ASSERT_EQ(2u, log.calls.size()) << cut;
        EXPECT_EQ(9, log.calls[0].slot);
        EXPECT_EQ(0, log.calls[1].slot);
    }
}

// An element with bit 3 set but no points (no such opcode is made) must not
// leave a subpath pointer to a point that does not exist.
TEST(PathWalk, MoveBitWithoutPointsOpensNoSubpath)
{
    std::vector<int32_t> w = {9, 1, 2, 8};
    Path p = plainPath(w);
    Table t;
    Log log;
    EXPECT_EQ(0, Path_walk(&p, t.fn, &log));
    ASSERT_EQ(2u, log.calls.size());
    EXPECT_EQ(8, log.calls[1].slot);
}

TEST(PathWalk, PackedPathGoesToThePackedWalker)
{
    // Read as plain words these would be a move and a line; a packed path
    // must not be read that way.
    std::vector<int32_t> w = {9, 1, 2, 5, 3, 4};
    Path p = plainPath(w);
    p.state = Path_statePacked;
    Table t;
    Log log;
    Log log2;
    int direct = Path_walkPacked(&p, t.fn, &log2);
    EXPECT_EQ(direct, Path_walk(&p, t.fn, &log));
    EXPECT_EQ(log2.calls.size(), log.calls.size());
    for (const Call &c : log.calls)
        EXPECT_FALSE(c.slot == 9 && c.points == w.data() + 1);
}

} // namespace
