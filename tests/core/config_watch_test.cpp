// Change watchers of the configuration store: watch names, removal by a
// non-zero answer, call-now, name lengths, and callbacks that watch,
// unwatch and write settings while a notice runs (on a real engine task,
// where a lock still held by the notice would deadlock and abort).
#include "tests/core/config_fixture.h"

#include <string>

#include "core/result.h"
#include "tests/support/task_fixture.h"

namespace {

// A watcher's user data: a label for the log, the answer to give, and an
// action run inside the callback.
struct Watcher {
    std::string *log;
    std::string label;
    int32_t answer;
    void (*action)(EngineContext *context, Watcher *self);
    Watcher *other;
    int calls;
};

int32_t watcherCallback(EngineContext *context, void *userData)
{
    Watcher *w = static_cast<Watcher *>(userData);
    w->calls++;
    *w->log += w->label + " ";
    if (w->action)
        w->action(context, w);
    return w->answer;
}

class ConfigWatchTest : public ConfigFixture {
  protected:
    std::string log;

    Watcher watcher(const std::string &label, int32_t answer = 0)
    {
        return Watcher{&log, label, answer, nullptr, nullptr, 0};
    }
    int watch(const char16_t *domain, const char16_t *key, Watcher *w, int callNow = 0)
    {
        return Config_watch(ctx, domain, key, watcherCallback, w, callNow);
    }
    // The log of one notice, cleared afterwards.
    std::string notice(const char16_t *domain, const char16_t *key)
    {
        log.clear();
        Config_notify(ctx, domain, key);
        std::string s = log;
        log.clear();
        return s;
    }
};

TEST_F(ConfigWatchTest, NullDomainAndDefaultDomainAreDifferentWatchNames)
{
    Watcher plain = watcher("plain"), named = watcher("named");
    ASSERT_EQ(watch(nullptr, u"zoom", &plain), 0);
    ASSERT_EQ(watch(u"default", u"zoom", &named), 0);

    Config_setInt(ctx, store, nullptr, u"zoom", 1, 0);
    EXPECT_EQ(log, "plain ");
    log.clear();
    Config_setInt(ctx, store, u"default", u"zoom", 2, 0);
    EXPECT_EQ(log, "named ");
    log.clear();
    // Both setters wrote the same setting.
    EXPECT_EQ(stored("default", "zoom"), "2");

    Config_setUstrA(ctx, store, nullptr, "zoom", u"3", 0);
    Config_setIntA(ctx, store, u"default", "zoom", 4, 0);
    EXPECT_EQ(log, "plain named ");
    EXPECT_EQ(notice(u"other", u"zoom"), "");
    EXPECT_EQ(notice(nullptr, u"Zoom"), "");
}

TEST_F(ConfigWatchTest, NonZeroAnswerDropsTheWatcherAndTheNextIsStillCalled)
{
    Watcher once = watcher("once", 1), next = watcher("next"), last = watcher("last", 1);
    ASSERT_EQ(watch(u"d", u"k", &once), 0);
    ASSERT_EQ(watch(u"d", u"k", &next), 0);
    ASSERT_EQ(watch(u"d", u"k", &last), 0);
    EXPECT_EQ(notice(u"d", u"k"), "once next last ");
    EXPECT_EQ(notice(u"d", u"k"), "next ");
    EXPECT_EQ(Config_unwatch(ctx, u"d", u"k", watcherCallback, &next), 0);
    EXPECT_EQ(notice(u"d", u"k"), "");
    EXPECT_EQ(Config_unwatch(ctx, u"d", u"k", watcherCallback, &next), 0) << "empty list stays";
}

TEST_F(ConfigWatchTest, CallNowCallsOnceAndKeepsTheWatcher)
{
    Watcher w = watcher("w", 1);
    ASSERT_EQ(watch(u"d", u"k", &w, 1), 0);
    EXPECT_EQ(w.calls, 1);
    EXPECT_EQ(notice(u"d", u"k"), "w ");
    EXPECT_EQ(notice(u"d", u"k"), "");
    EXPECT_EQ(w.calls, 2);
}

TEST_F(ConfigWatchTest, RepeatedRegistrationsAreEachCalledAndUnwatchedOneAtATime)
{
    Watcher w = watcher("w");
    ASSERT_EQ(watch(u"d", u"k", &w), 0);
    ASSERT_EQ(watch(u"d", u"k", &w), 0);
    EXPECT_EQ(notice(u"d", u"k"), "w w ");
    EXPECT_EQ(Config_unwatch(ctx, u"d", u"k", watcherCallback, &w), 0);
    EXPECT_EQ(notice(u"d", u"k"), "w ");
    EXPECT_EQ(Config_unwatch(ctx, u"d", u"never", watcherCallback, &w), Res_mapNotFound);
}

TEST_F(ConfigWatchTest, WatchNamesUpToOneHundredCharacters)
{
    // Domain length + key length + 2 (dot and terminator) may be 100.
    std::u16string domain(40, u'd');
    std::u16string key58(58, u'k'), key59(59, u'k');
    Watcher w = watcher("w");
    EXPECT_EQ(watch(domain.c_str(), key58.c_str(), &w), 0);
    EXPECT_EQ(watch(domain.c_str(), key59.c_str(), &w), Res_nullInput);
    EXPECT_EQ(Config_unwatch(ctx, domain.c_str(), key59.c_str(), watcherCallback, &w),
              Res_nullInput);
    std::u16string key98(98, u'k'), key99(99, u'k');
    EXPECT_EQ(watch(nullptr, key98.c_str(), &w), 0);
    EXPECT_EQ(watch(nullptr, key99.c_str(), &w), Res_nullInput);

    Config_setInt(ctx, store, domain.c_str(), key58.c_str(), 1, 0);
    Config_setInt(ctx, store, nullptr, key98.c_str(), 1, 0);
    Config_setInt(ctx, store, domain.c_str(), key59.c_str(), 1, 0);
    EXPECT_EQ(log, "w w ");
    EXPECT_EQ(Config_unwatch(ctx, domain.c_str(), key58.c_str(), watcherCallback, &w), 0);
}

TEST_F(ConfigWatchTest, WithoutRegistryOrKeyNothingHappens)
{
    Watcher w = watcher("w");
    EXPECT_EQ(watch(u"d", nullptr, &w), 0);
    EXPECT_EQ(Config_watch(ctx, u"d", u"k", nullptr, &w, 0), Res_missingArgument);
    Config_freeWatchRegistry(ctx);
    EXPECT_EQ(ctx->configWatches, nullptr);
    EXPECT_EQ(watch(u"d", u"k", &w, 1), 0);
    EXPECT_EQ(w.calls, 0);
    EXPECT_EQ(Config_unwatch(ctx, u"d", u"k", watcherCallback, &w), 0);
    Config_setInt(ctx, store, u"d", u"k", 1, 0);
    EXPECT_EQ(stored("d", "k"), "1");
    EXPECT_EQ(log, "");
    Config_freeWatchRegistry(ctx);
}

TEST_F(ConfigWatchTest, SetterThatCannotStoreStillTellsWatchers)
{
    Watcher w = watcher("w");
    ASSERT_EQ(watch(u"d", u"k", &w), 0);
    Mem_failAfter(1);
    Config_setUstr(ctx, store, u"d", u"k", u"v", 0);
    Mem_failAfter(0);
    EXPECT_EQ(stored("d", "k"), "(missing)");
    EXPECT_EQ(log, "w ");
}

TEST_F(ConfigWatchTest, WatchUnderAllocationFailureLeaksNothing)
{
    Watcher w = watcher("w");
    ASSERT_EQ(watch(u"d", u"first", &w), 0);
    for (const char16_t *key : {u"first", u"second"}) {
        for (uint64_t n = 1;; n++) {
            size_t before = TestHeap_usedBytes();
            Mem_takeOutOfMemory();
            Mem_failAfter(n);
            int r = watch(u"d", key, &w);
            bool failed = Mem_takeOutOfMemory();
            Mem_failAfter(0);
            if (!failed) {
                EXPECT_EQ(r, 0);
                break;
            }
            EXPECT_EQ(r, Res_noMemory);
            EXPECT_EQ(TestHeap_usedBytes(), before);
            ASSERT_LT(n, 20u);
        }
    }
    EXPECT_EQ(notice(u"d", u"first"), "w w ");
    EXPECT_EQ(notice(u"d", u"second"), "w ");
}

// ------------------------------------------- callbacks on a real task

class ConfigWatchTaskTest : public TaskFixture {
  protected:
    ConfigStore *store = nullptr;
    std::string log;
    bool finished = false;

    // Runs body on an engine task with a store and a registry, then frees
    // them; fails when the engine aborted (a deadlock included).
    void onTask(std::function<void()> body)
    {
        spawn("config", 5, [&, body] {
            size_t before = TestHeap_usedBytes();
            store = Config_createStore(ctx(), u"x");
            ASSERT_NE(store, nullptr);
            ASSERT_EQ(Config_createWatchRegistry(ctx()), 0);
            body();
            Config_freeWatchRegistry(ctx());
            Config_freeStore(ctx(), store);
            store = nullptr;
            EXPECT_EQ(TestHeap_usedBytes(), before);
            finished = true;
        });
        ASSERT_GE(TestEngine_runAll(&e), 0) << "the engine aborted";
        EXPECT_TRUE(finished);
    }
    Watcher watcher(const std::string &label, int32_t answer = 0)
    {
        return Watcher{&log, label, answer, nullptr, nullptr, 0};
    }
};

TEST_F(ConfigWatchTaskTest, CallbacksMayWatchAndUnwatchDuringANotice)
{
    Watcher remover = watcher("remover"), victim = watcher("victim"), adder = watcher("adder"),
            added = watcher("added"), self = watcher("self");
    remover.other = &victim;
    remover.action = [](EngineContext *c, Watcher *w) {
        EXPECT_EQ(Config_unwatch(c, u"d", u"k", watcherCallback, w->other), 0);
    };
    adder.other = &added;
    adder.action = [](EngineContext *c, Watcher *w) {
        if (w->calls == 1) {
            EXPECT_EQ(Config_watch(c, u"d", u"k", watcherCallback, w->other, 0), 0);
        }
    };
    self.action = [](EngineContext *c, Watcher *w) {
        EXPECT_EQ(Config_unwatch(c, u"d", u"k", watcherCallback, w), 0);
    };
    onTask([&] {
        ASSERT_EQ(Config_watch(ctx(), u"d", u"k", watcherCallback, &remover, 0), 0);
        ASSERT_EQ(Config_watch(ctx(), u"d", u"k", watcherCallback, &victim, 0), 0);
        ASSERT_EQ(Config_watch(ctx(), u"d", u"k", watcherCallback, &adder, 0), 0);
        ASSERT_EQ(Config_watch(ctx(), u"d", u"k", watcherCallback, &self, 0), 0);
        Config_setInt(ctx(), store, u"d", u"k", 1, 0);
        // The victim went before its turn; the added watcher waits for the
        // next notice; self went after its call.
        EXPECT_EQ(log, "remover adder self ");
        log.clear();
        Config_setInt(ctx(), store, u"d", u"k", 2, 0);
        EXPECT_EQ(log, "remover adder added ");
    });
}

TEST_F(ConfigWatchTaskTest, CallbacksMayReadAndWriteSettings)
{
    Watcher writer = watcher("writer"), echo = watcher("echo");
    writer.action = [](EngineContext *c, Watcher *) {
        uint32_t v = Config_getInt(c, c->config, u"d", u"k", 0);
        Config_setInt(c, c->config, u"d", u"copy", v * 10, 0);
    };
    echo.action = [](EngineContext *c, Watcher *w) {
        // A watcher that unwatches itself from its call-now call.
        EXPECT_EQ(Config_unwatch(c, u"d", u"copy", watcherCallback, w), 0);
    };
    onTask([&] {
        ctx()->config = store;
        ASSERT_EQ(Config_watch(ctx(), u"d", u"k", watcherCallback, &writer, 0), 0);
        ASSERT_EQ(Config_watch(ctx(), u"d", u"copy", watcherCallback, &echo, 1), 0);
        EXPECT_EQ(log, "echo ");
        Config_setInt(ctx(), store, u"d", u"k", 7, 0);
        EXPECT_EQ(Config_getInt(ctx(), store, u"d", u"copy", 0), 70u);
        EXPECT_EQ(log, "echo writer ");
        ctx()->config = nullptr;
    });
}

} // namespace
