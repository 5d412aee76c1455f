// Small parts of the application framework: the spreadsheet function
// names, the packed 4:2:2 converter, the start options, the zoom-centre
// and pan pre-step handlers, and module start-up and teardown called
// outside their usual order.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "app/app.h"
#include "viewer/api/forward.h"
#include "spreadsheet/formula/funcnames.h"
#include "platform/vfs/vfs.h"
#include "app/modules.h"
#include "platform/api/pixel.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"
#include "viewer/viewer.h"

namespace {

// ------------------------------------------------------ function names

class FuncNamesTest : public LeakCheckedContextTest<0> {
  protected:
    void TearDown() override
    {
        FuncNames_free(ctx);
        LeakCheckedContextTest::TearDown();
    }
    FuncNames *table()
    {
        return static_cast<FuncNames *>(ctx->sheetFunctionNames);
    }
};

TEST_F(FuncNamesTest, DefaultsAreTheEnglishNamesWithTrueAndFalseAsWideText)
{
    ASSERT_EQ(FuncNames_init(ctx), 0);
    ASSERT_NE(table(), nullptr);
    for (int i = 0; i < FuncNames_count; i++)
        EXPECT_STREQ(table()->names[i], FuncNames_defaults[i]);
    EXPECT_STREQ(table()->names[FuncNames_falseIndex], "FALSE");
    EXPECT_STREQ(table()->names[FuncNames_trueIndex], "TRUE");
    EXPECT_STREQ(table()->names[30], "MIN");
    EXPECT_EQ(std::u16string(FuncNames_boolName(ctx, 1)), u"TRUE");
    EXPECT_EQ(std::u16string(FuncNames_boolName(ctx, 0)), u"FALSE");
    // A second init keeps the table.
    FuncNames *before = table();
    ASSERT_EQ(FuncNames_init(ctx), 0);
    EXPECT_EQ(table(), before);
}

TEST_F(FuncNamesTest, MatchingTellsWhichTruthValueAPrefixNames)
{
    ASSERT_EQ(FuncNames_init(ctx), 0);
    struct Case {
        const char16_t *text;
        int length;
        int which;
    } cases[] = {{u"TRUE", 4, 1}, {u"FALSE)", 5, 0}, {u"TRU", 0, 0},
                 {u"true", 0, 0}, {u"", 0, 0},       {u"TRUEX", 4, 1}};
    for (const Case &c : cases) {
        int which = -1;
        EXPECT_EQ(FuncNames_matchBool(ctx, &which, c.text), c.length);
        EXPECT_EQ(which, c.which);
    }
    const char16_t *pair[2] = {u"NEIN", u"JA"};
    int which = -1;
    EXPECT_EQ(Locale_matchWordPair(&which, pair, u"JA!"), 2);
    EXPECT_EQ(which, 1);
    EXPECT_EQ(Locale_matchWordPair(&which, pair, nullptr), 0);
}

TEST_F(FuncNamesTest, SettingNeedsEveryNameAndKeepsTheOldTableOnFailure)
{
    ASSERT_EQ(FuncNames_init(ctx), 0);
    const char *names[FuncNames_count];
    for (int i = 0; i < FuncNames_count; i++)
        names[i] = FuncNames_defaults[i];
    names[FuncNames_falseIndex] = "FALSCH";
    names[FuncNames_trueIndex] = "WAHR";
    names[19] = "";
    FuncNames *before = table();
    EXPECT_EQ(FuncNames_set(ctx, names), Res_nullInput);
    EXPECT_EQ(table(), before);
    names[19] = nullptr;
    EXPECT_EQ(FuncNames_set(ctx, names), Res_nullInput);
    EXPECT_EQ(FuncNames_set(ctx, nullptr), Res_nullInput);
    names[19] = "REST";
    // Out of memory at each copy: the old table stays and nothing leaks.
    for (uint64_t n = 1; n < 40; n++) {
        size_t used = TestHeap_usedBytes();
        Mem_failAfter(n);
        int r = FuncNames_set(ctx, names);
        Mem_failAfter(0);
        if (r == Res_ok)
            break;
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(table(), before);
        EXPECT_EQ(TestHeap_usedBytes(), used);
    }
    EXPECT_STREQ(table()->names[19], "REST");
    EXPECT_EQ(std::u16string(FuncNames_boolName(ctx, 1)), u"WAHR");
    int which = -1;
    EXPECT_EQ(FuncNames_matchBool(ctx, &which, u"FALSCH"), 6);
    EXPECT_EQ(which, 0);
    EXPECT_EQ(Engine_setFunctionNames(heap.instance, names), 1);
    EXPECT_EQ(Engine_setFunctionNames(heap.instance, nullptr), 0);
    EXPECT_EQ(Engine_setFunctionNames(nullptr, names), 0);
}

// ------------------------------------------------------ pixel converter

TEST(PixelPacked, BlackAndWhitePixelsGiveTheirStudioRangeValues)
{
    const uint16_t src[4] = {0x0000, 0x0000, 0xFFFF, 0xFFFF};
    uint16_t dst[4] = {};
    Pixel_rgb565ToYcc422Packed(src, dst, 8, 4, 1, 8);
    EXPECT_EQ(dst[0], 0x1080);
    EXPECT_EQ(dst[1], 0x1080);
    // White: Y 230, Cb and Cr 127.
    EXPECT_EQ(dst[2], (230 << 8) | 127);
    EXPECT_EQ(dst[3], (230 << 8) | 127);
    EXPECT_EQ(Pixel_yccEntry(2, 1), 7471 + 32768);
    EXPECT_EQ(Pixel_yccEntry(8, 0), 0);
}

TEST(PixelPacked, OddWidthsPairTheLastPixelWithItselfAndRowsStayInTheirPitch)
{
    // Three pixels a row in a source of pitch 4 pixels; destination rows of
    // four words each (pitch 8 bytes), two rows, and a guard word after.
    const uint16_t src[8] = {0x0000, 0xFFFF, 0xF800, 0x1234, 0xFFFF, 0x0000, 0x001F, 0x4321};
    std::vector<uint16_t> dst(9, 0xAAAA);
    Pixel_rgb565ToYcc422Packed(src, dst.data(), 8, 3, 2, 8);
    EXPECT_EQ(dst[8], 0xAAAA) << "nothing written past the last row";
    // The third pixel (pure red) forms a pair with itself: both lumas equal.
    EXPECT_EQ(dst[2] >> 8, dst[3] >> 8);
    // The second row starts at word 4 with the white pixel's luma.
    EXPECT_EQ(dst[4] >> 8, 230);
    EXPECT_EQ(dst[5] >> 8, 16);
    // Pure blue pairs with itself in the second row.
    EXPECT_EQ(dst[6] >> 8, dst[7] >> 8);
}

// ------------------------------------------------------ start options

TEST(AppStartOptions, DefaultsOfTheSeventeenWords)
{
    FvStartOptions o;
    memset(&o, 0x55, sizeof o);
    App_initStartOptions(&o);
    const intptr_t expected[] = {1, 0x10000, 0, 0x10001, 0, 0, -1, 0, 8};
    for (size_t i = 0; i < sizeof expected / sizeof expected[0]; i++)
        EXPECT_EQ(o.word[i], expected[i]) << i;
    EXPECT_STREQ(reinterpret_cast<const char *>(o.word[9]),
                 "file://root/okala_dir/Img/fileviewer-ident.png");
    EXPECT_STREQ(reinterpret_cast<const char *>(o.word[10]),
                 "file://root/okala_dir/Img/fileviewer-ident-landscape.png");
    EXPECT_EQ(o.word[12], 1);
    EXPECT_EQ(o.word[13], 0);
    EXPECT_EQ(o.word[14], 0);
    EXPECT_EQ(o.word[15], 2);
    EXPECT_EQ(o.word[16], 1);
}

// ------------------------------------------------ zoom centre, pan steps

TEST(AppHandlers, TheZoomCentreIsStoredOnlyWhileZoomAboutPointIsOn)
{
    FvViewer viewer{};
    App_setZoomCentre(&viewer, 0, 5, 6); // no state: nothing
    App_setZoomCentre(nullptr, 0, 5, 6);
    FvZoomAbout state{FvZoomAbout_off, -1, -1};
    viewer.zoomAbout = &state;
    App_setZoomCentre(&viewer, 0, 5, 6);
    EXPECT_EQ(state.x, -1);
    state.mode = FvZoomAbout_on;
    App_setZoomCentre(&viewer, 0, 5, 6);
    EXPECT_EQ(state.x, 5);
    EXPECT_EQ(state.y, 6);
}

std::vector<int> panCalls;

TEST(AppHandlers, PanPreStepsGoToTheRoutineOfTheirAction)
{
    static ViewCallbackOps ops{};
    ops.panStep10 = [](FvViewer *, intptr_t x, intptr_t, intptr_t *a) {
        panCalls.push_back(10);
        *a = x + 1;
        return 0;
    };
    ops.panStep11 = [](FvViewer *, intptr_t *a, intptr_t *b) {
        panCalls.push_back(11);
        *a = 7;
        *b = 8;
        return 0;
    };
    ops.panStep12 = [](FvViewer *, intptr_t, intptr_t y, intptr_t *a) {
        panCalls.push_back(12);
        *a = y;
        return 0;
    };
    ViewCallbacks callbacks{&ops};
    FvViewer viewer{};
    intptr_t a = 0, b = 0;
    App_panPreStep(&viewer, 1, 2, &a, &b, 0x10003); // no table: nothing
    EXPECT_TRUE(panCalls.empty());
    viewer.viewCallbacks = &callbacks;
    App_panPreStep(&viewer, 1, 2, &a, &b, 0x10003);
    EXPECT_EQ(a, 2);
    App_panPreStep(&viewer, 1, 2, &a, &b, 0x10004);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 8);
    App_panPreStep(&viewer, 1, 9, &a, &b, 0x10005);
    EXPECT_EQ(a, 9);
    EXPECT_EQ(panCalls, (std::vector<int>{10, 11, 12}));
}

// ------------------------------------------------------ modules

TEST(AppModules, StartUpRefusesMissingArgumentsAndCallersOutsideATask)
{
    EXPECT_EQ(Engine_initModules(nullptr, nullptr), Res_nullInput);
    EXPECT_EQ(Engine_checkTaskSystem(nullptr), Res_missingArgument);
    TestEngine e{};
    ASSERT_TRUE(TestEngine_open(&e));
    // The module teardown takes the registered stream types down too: start
    // without the test engine's.
    Vfs_unregisterTypes(e.context);
    size_t used = TestHeap_usedBytes();
    // From the GUI thread the task check fails and nothing is made.
    EXPECT_EQ(Engine_initModules(e.context, nullptr), Res_missingArgument);
    EXPECT_EQ(e.context->workers, nullptr);
    EXPECT_EQ(e.context->textTone, nullptr);
    EXPECT_EQ(TestHeap_usedBytes(), used);
    EXPECT_EQ(Engine_initServices(e.context, nullptr, "x/", nullptr), Res_nullInput);
    EXPECT_EQ(Engine_initServices(e.context, "f/", nullptr, nullptr), Res_nullInput);
    // Teardown of modules that never started, twice, and a kept one.
    Engine_finiModules(e.context, 1);
    Engine_finiModules(nullptr, 0);
    Engine_finiModules(e.context, 0);
    Engine_finiModules(e.context, 0);
    EXPECT_EQ(TestHeap_usedBytes(), used);
    TestEngine_close(&e);
}

} // namespace
