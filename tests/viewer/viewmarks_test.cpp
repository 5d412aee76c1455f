// Clearing the marks left on the display manager's views.
#include <gtest/gtest.h>

#include "core/context/context.h"
#include "core/task/lock.h"
#include "tests/document/edr_fixture.h"
#include "viewer/dispman.h"
#include "viewer/viewmarks.h"

namespace {

using ViewMarksTest = EdrFixture;

TEST_F(ViewMarksTest, ClearingViewMarksVisitsEveryViewOfTheDisplayManager)
{
    run([&] {
        // Without a display manager there is nothing to visit.
        void *saved = ctx()->dispman;
        ctx()->dispman = nullptr;
        DocList_clearViewMarks(ctx());
        DispmanCtx dm{};
        ASSERT_EQ(Lock_init(ctx(), &dm.viewLock), 0);
        DispmanView a{}, b{};
        a.next = &b;
        dm.views = &a;
        a.drawThrough = 1;
        a.spare = 7;
        b.drawThrough = 1;
        b.spare = 9;
        b.panning = 1;
        b.suspended = 1;
        ctx()->dispman = &dm;
        DocList_clearViewMarks(ctx());
        ctx()->dispman = saved;
        EXPECT_EQ(a.drawThrough, 0);
        EXPECT_EQ(a.spare, 0);
        EXPECT_EQ(b.drawThrough, 0);
        EXPECT_EQ(b.spare, 0);
        // The display manager's own state stays.
        EXPECT_EQ(b.panning, 1);
        EXPECT_EQ(b.suspended, 1);
        Lock_fini(&dm.viewLock);
    });
}

} // namespace
