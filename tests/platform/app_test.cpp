// The application framework end to end: App_start brings every module up,
// opens the start document before it reports readiness, serves the command
// API (documents opened by path), reports open failures to the host, runs
// the cleanups at close and gives every block back; a start that fails at
// any allocation or at the host's hook leaves nothing behind.
#include <gtest/gtest.h>

#include <cstring>
#include <pthread.h>
#include <string>

#include "core/mem/mem.h"
#include "core/task/task.h"
#include "core/task/worker.h"
#include "graphics/texttone.h"
#include "viewer/api/keys.h"
#include "tests/platform/app_fixture.h"

namespace {

class AppTest : public AppFixture {};

const char *const helloText = "Hello, world.\nA link to http://example.com/x in it.\n\nThe end.\n";

TEST_F(AppTest, StartWithoutDocumentBringsEveryModuleUpAndReportsReadyOnce)
{
    ASSERT_EQ(start(), 1);
    ASSERT_EQ(codes(), "0x10004 ");
    FvViewer *viewer = inst->viewer;
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(seen[0].viewer, viewer);
    EXPECT_EQ(seen[0].entry, &App_start);
    EXPECT_EQ(Fv_fromApp(inst), viewer);
    EXPECT_EQ(viewer->started, 1);
    EngineContext *ctx = inst->context;
    EXPECT_EQ(viewer->context, ctx);
    EXPECT_EQ(ctx->startOptions, &viewer->options);
    EXPECT_NE(ctx->workers, nullptr);
    EXPECT_NE(ctx->eventProc, nullptr);
    EXPECT_NE(ctx->timerThread, nullptr);
    EXPECT_NE(ctx->config, nullptr);
    EXPECT_NE(ctx->configWatches, nullptr);
    EXPECT_NE(ctx->fileLayer, nullptr);
    EXPECT_NE(ctx->charsetHooks, nullptr);
    EXPECT_NE(ctx->sheetFunctionNames, nullptr);
    ASSERT_NE(ctx->textTone, nullptr);
    EXPECT_EQ(memcmp(ctx->textTone, TextTone_defaultTable(), TextTone_size),
              0); // the default tone table
    EXPECT_NE(ctx->edrApp, nullptr);
    EXPECT_NE(ctx->docHandlers, nullptr);
    EXPECT_NE(inst->keys, nullptr);
    EXPECT_NE(inst->keyView, nullptr);
    EXPECT_NE(inst->closeHooks[1], nullptr);
    ASSERT_NE(inst->appTask, nullptr);
    EXPECT_STREQ(inst->appTask->name, "SimpleAppThread");
    EXPECT_EQ(alerts(0x10002), 0);
    EXPECT_EQ(Headless_alertCount(host), 0);
}

TEST_F(AppTest, StartDocumentIsLoadedBeforeTheReadyRequest)
{
    std::string file = writeFile("start.txt", helloText);
    ASSERT_EQ(start(file.c_str()), 1);
    ASSERT_EQ(openCodes(), "0x10001 0x1000a 0x10004 ");
    EXPECT_EQ(last(Fv_requestDocInfo)->url, "file://localhost/" + file);
    EXPECT_EQ(last(Fv_requestDocInfo)->mime, "text/plain");
    EXPECT_EQ(tree(), "group 0\n"
                      "  group 0 ids 1\n"
                      "    text \"Hello, world.\\nA link to \"\n"
                      "    group 0 ids 2 link http://example.com/x\n"
                      "      text \"http://example.com/x\"\n"
                      "    text \" in it.\\n\\nThe end.\\n\"\n");
}

TEST_F(AppTest, MissingStartDocumentAlertsTranslationFailedAndTheEngineStillStarts)
{
    ASSERT_EQ(start(path("missing.txt").c_str()), 1);
    EXPECT_EQ(openCodes(), "0x10004 ");
    EXPECT_EQ(alerts(0x10002), 1);
    // The application serves requests as usual.
    std::string file = writeFile("later.txt", "later\n");
    ASSERT_TRUE(open(file));
    EXPECT_EQ(count(Fv_requestDocInfo), 1);
}

TEST_F(AppTest, OpenDocumentLoadsATextFileIntoItsTree)
{
    ASSERT_EQ(start(), 1);
    std::string first = writeFile("first.txt", "one\ntwo\n");
    ASSERT_TRUE(open(first));
    EXPECT_EQ(openCodes(), "0x10004 0x10001 0x1000a ");
    EXPECT_EQ(last(Fv_requestDocInfo)->url, "file://localhost/" + first);
    EXPECT_EQ(tree(), "group 0\n  group 0 ids 1\n    text \"one\\ntwo\\n\"\n");
    // A second document replaces the first.
    std::string second = writeFile("second.txt", "three\n");
    ASSERT_TRUE(open(second));
    EXPECT_EQ(count(Fv_requestDocInfo), 2);
    EXPECT_EQ(last(Fv_requestDocInfo)->url, "file://localhost/" + second);
    EXPECT_EQ(tree(), "group 0\n  group 0 ids 1\n    text \"three\\n\"\n");
    EXPECT_EQ(Headless_alertCount(host), 0);
}

TEST_F(AppTest, OpenDocumentTakesFileUrlsAndEscapesPathCharacters)
{
    ASSERT_EQ(start(), 1);
    std::string odd = writeFile("a%b#c?.txt", "odd name\n");
    ASSERT_TRUE(open(odd));
    ASSERT_EQ(count(Fv_requestDocInfo), 1);
    EXPECT_EQ(tree(), "group 0\n  group 0 ids 1\n    text \"odd name\\n\"\n");
    std::string plain = writeFile("plain.txt", "by url\n");
    ASSERT_TRUE(open("file://root" + plain));
    ASSERT_EQ(count(Fv_requestDocInfo), 2);
    EXPECT_EQ(last(Fv_requestDocInfo)->url, "file://root" + plain);
}

TEST_F(AppTest, MissingOrUnreadableFilesAlertOnceAndNothingCrashes)
{
    ASSERT_EQ(start(), 1);
    const std::string cases[] = {path("missing.txt"), dir, path("no/such/dir/x.txt")};
    int expected = 0;
    for (const std::string &file : cases) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(open(file));
        EXPECT_EQ(alerts(0x10002), ++expected);
        EXPECT_EQ(count(Fv_requestDocInfo), 0);
    }
    // Still serving: a good file loads afterwards.
    ASSERT_TRUE(open(writeFile("good.txt", "fine\n")));
    EXPECT_EQ(count(Fv_requestDocInfo), 1);
}

TEST_F(AppTest, TheShownDocumentIsNotLoadedAgainUnlessAReloadIsAsked)
{
    ASSERT_EQ(start(), 1);
    std::string file = writeFile("same.txt", "same\n");
    ASSERT_TRUE(open(file));
    ASSERT_EQ(count(Fv_requestDocInfo), 1);
    // The same URL: nothing to load, nothing reported.
    ASSERT_EQ(App_openDocument(inst, file.c_str(), 0, 0), 1);
    drive([] { return false; }, 50);
    EXPECT_EQ(count(Fv_requestDocInfo), 1);
    // Flag value 2 reloads it.
    ASSERT_TRUE(open(file, 2));
    EXPECT_EQ(count(Fv_requestDocInfo), 2);
}

int allowStop = 1;
int stopHook(EngineInstance *)
{
    return allowStop;
}

TEST_F(AppTest, OpenRequestsAreRefusedWithoutAPathWithBothReloadBitsOrWhileTheEngineMayNotStop)
{
    ASSERT_EQ(start(), 1);
    std::string file = writeFile("x.txt", "x\n");
    EXPECT_EQ(App_openDocument(inst, nullptr, 0, 0), 0);
    EXPECT_EQ(App_openDocument(inst, file.c_str(), 0, 2 | 4), 0);
    EXPECT_EQ(App_openDocument(nullptr, file.c_str(), 0, 0), 0);
    ASSERT_EQ(App_addStopHook(inst, stopHook), 0);
    allowStop = 0;
    EXPECT_EQ(App_openDocument(inst, file.c_str(), 0, 0), 0);
    allowStop = 1;
    drive([] { return false; }, 50);
    EXPECT_EQ(count(Fv_requestDocInfo), 0);
    EXPECT_EQ(Headless_alertCount(host), 0);
    // After the stop the instance is gone and every request is refused.
    EngineInstance *gone = inst;
    ASSERT_EQ(Engine_stop(gone), 1);
    EXPECT_EQ(App_openDocument(gone, file.c_str(), 0, 0), 0);
}

std::string cleanupLog;

TEST_F(AppTest, CloseRunsTheCleanupsNewestFirstAndFreesTheValues)
{
    ASSERT_EQ(start(), 1);
    cleanupLog.clear();
    onAppThread([&] {
        FvViewer *viewer = Fv_fromApp(inst);
        EXPECT_EQ(App_pushCleanup(viewer, [](EngineInstance *) { cleanupLog += "first "; }), 0);
        EXPECT_EQ(App_pushCleanup(viewer, [](EngineInstance *) { cleanupLog += "second "; }), 0);
        EXPECT_EQ(Engine_pushListValue(viewer, 7), 0);
        EXPECT_EQ(Engine_pushListValue(viewer, 8), 0);
        ASSERT_NE(viewer->values, nullptr);
        EXPECT_EQ(viewer->values->value, 8);
        EXPECT_EQ(App_pushCleanup(nullptr, nullptr), 16);
        EXPECT_EQ(Engine_pushListValue(nullptr, 1), 16);
    });
    ASSERT_EQ(Engine_stop(inst), 1);
    EXPECT_EQ(cleanupLog, "second first ");
}

TEST_F(AppTest, TheHostsConfigurationHookFailingMakesTheHostGiveUp)
{
    Headless_setConfigureResult(host, 9);
    ASSERT_EQ(start(writeFile("never.txt", "never\n").c_str()), 1);
    EXPECT_EQ(codes(), "0x10009 ");
    EXPECT_EQ(inst->viewer, nullptr);
    ASSERT_EQ(Engine_stop(inst), 1);
}

// ----------------------------------------------------- fault injection

uint64_t failAt;

int failingEntry(EngineInstance *instance, const AppEvent *startEvent)
{
    Mem_failAfter(failAt);
    return App_start(instance, startEvent);
}

// Every allocation of a start is made to fail in turn, until a start runs
// to its end without reaching the failing allocation. The sweep is split
// into interleaved shards (shard k fails allocations k+1, k+1+shards, ...)
// so that a test runner spreads it over its cores; together the shards
// cover every allocation of the start.
constexpr int faultShards = 4;

// Each start creates and ends the engine's threads. Their stacks are the
// host's default size (8 MiB), more than the C library keeps for reuse, so
// every thread of every start mapped, cleared and unmapped a fresh stack
// (and, under the address sanitizer, cleared its shadow): most of the
// sweep's time. For the sweep the default is 2 MiB, still eight times the
// host's least stack and far more than a start uses, so that the stacks of
// one start are reused by the next; the old default is put back after.
constexpr size_t faultThreadStack = size_t(2) << 20;

class AppFaults : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override
    {
        pthread_attr_t attr;
        ASSERT_EQ(pthread_getattr_default_np(&attr), 0);
        ASSERT_EQ(pthread_attr_getstacksize(&attr, &savedStack), 0);
        ASSERT_EQ(pthread_attr_setstacksize(&attr, faultThreadStack), 0);
        ASSERT_EQ(pthread_setattr_default_np(&attr), 0);
        pthread_attr_destroy(&attr);
        stackSet = true;
    }
    void TearDown() override
    {
        if (!stackSet)
            return;
        pthread_attr_t attr;
        ASSERT_EQ(pthread_getattr_default_np(&attr), 0);
        EXPECT_EQ(pthread_attr_setstacksize(&attr, savedStack), 0);
        EXPECT_EQ(pthread_setattr_default_np(&attr), 0);
        pthread_attr_destroy(&attr);
    }

  private:
    size_t savedStack = 0;
    bool stackSet = false;
};

TEST_P(AppFaults, AStartThatFailsAtAnyAllocationLeavesNothingBehind)
{
    unsetenv("OKALA_DIRECTORY");
    int failures = 0;
    bool exhausted = false;
    for (failAt = uint64_t(GetParam()) + 1; failAt < 200000 && !exhausted; failAt += faultShards) {
        SCOPED_TRACE(failAt);
        // A start fits in a few megabytes of heap; a small heap keeps each
        // of the thousands of starts cheap (the sanitizer build marks the
        // whole heap unusable when it is set up).
        HostContext *host = Headless_createContext(size_t(4) << 20);
        ASSERT_NE(host, nullptr);
        Headless_setManualClock(host, 1);
        Headless_captureDebug(host, 1);
        int started = Headless_startEngine(host, nullptr, failingEntry, 0);
        if (!started) {
            // A failed entry takes the whole engine down at once.
            EXPECT_EQ(host->instance, nullptr);
            failures++;
        } else {
            for (int i = 0; i < 5000; i++) {
                if (Headless_requestsOf(host, 0x10004) || Headless_requestsOf(host, 0x10009) ||
                    !Headless_fireTimer(host))
                    break;
            }
            int ready = Headless_requestsOf(host, 0x10004);
            int gaveUp = Headless_requestsOf(host, 0x10009);
            EXPECT_EQ(ready + gaveUp, 1);
            // Still counting down: the start never reached the failing
            // allocation, so every earlier one has been tried.
            if (host->instance) {
                exhausted = Mem_failPending() != 0;
                Mem_failAfter(0);
            }
            bool outOfMemory = false;
            for (int i = 0; i < Headless_alertCount(host); i++)
                outOfMemory |= Headless_alert(host, i) == 0x10006;
            if (exhausted) {
                EXPECT_TRUE(ready && !outOfMemory) << "a start without a failure is not clean";
            }
            failures += gaveUp;
            if (host->instance) {
                EXPECT_EQ(Engine_stop(host->instance), 1);
            }
        }
        EXPECT_EQ(host->instance, nullptr);
        EXPECT_EQ(Headless_blocksHeld(host), 0);
        EXPECT_EQ(host->threadList, nullptr);
        Headless_destroyContext(host);
        if (HasFailure())
            break;
    }
    EXPECT_TRUE(exhausted) << "the start never ran past the failing allocation";
    EXPECT_GT(failures, 10 / faultShards);
}

INSTANTIATE_TEST_SUITE_P(Shards, AppFaults, ::testing::Range(0, faultShards));

} // namespace
