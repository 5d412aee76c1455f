// Test support for the configuration store and the settings file: an engine
// heap with an engine context (no scheduler, so engine locks do nothing), a
// store named "x" with its watch registry, and helpers that read settings
// back as std::string and list the whole store.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "platform/api/engine.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

// 16-bit text of Latin-1 bytes (each byte one unit).
inline std::u16string W(const std::string &s)
{
    std::u16string out;
    for (unsigned char c : s)
        out += char16_t(c);
    return out;
}

// Latin-1 bytes of 16-bit text (units above 0xFF as '?'); "(null)" for null.
inline std::string N(const char16_t *s)
{
    if (!s)
        return "(null)";
    std::string out;
    for (; *s; s++)
        out += *s < 0x100 ? char(*s) : '?';
    return out;
}

// Every setting as "domain/key" -> value ("(null)" for a key without value).
inline std::map<std::string, std::string> ConfigDump(ConfigStore *store)
{
    std::map<std::string, std::string> out;
    KeyedEntry *d = nullptr;
    KeyedList_next(store->domains, nullptr, &d);
    for (; d; KeyedList_next(store->domains, d, &d)) {
        KeyedList *keys = static_cast<KeyedList *>(d->value);
        KeyedEntry *k = nullptr;
        KeyedList_next(keys, nullptr, &k);
        for (; k; KeyedList_next(keys, k, &k))
            out[N(static_cast<char16_t *>(d->key)) + "/" + N(static_cast<char16_t *>(k->key))] =
                N(static_cast<char16_t *>(k->value));
    }
    return out;
}

class ConfigFixture : public LeakCheckedContextTest<0> {
  protected:
    ConfigStore *store = nullptr;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedContextTest::SetUp());
        store = Config_createStore(ctx, u"x");
        ASSERT_NE(store, nullptr);
        ctx->config = store;
        ASSERT_EQ(Config_createWatchRegistry(ctx), 0);
    }

    void TearDown() override
    {
        Mem_failAfter(0);
        Config_freeWatchRegistry(ctx);
        Config_freeStore(ctx, store);
        LeakCheckedContextTest::TearDown();
    }

    // The stored text of a setting without storing anything: "(missing)"
    // when there is no such key.
    std::string stored(const std::string &domain, const std::string &key)
    {
        auto all = ConfigDump(store);
        auto it = all.find(domain + "/" + key);
        return it == all.end() ? "(missing)" : it->second;
    }

    std::string getUstr(const char16_t *domain, const std::string &key, const char16_t *def)
    {
        char16_t *v = Config_getUstr(ctx, store, domain, W(key).c_str(), def);
        std::string s = N(v);
        Mem_free(v);
        return s;
    }
};
