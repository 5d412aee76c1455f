// Configuration changes through the command API: sections by key,
// "DefaultCharacterSet" names, "FV_singlePageLoad" stored as
// "page.on.demand", the paths that "Vexlan_settingsPath" fills only when
// they are missing, immediate application on an engine task, and the
// application's configuration slot taking a setting.
#include <gtest/gtest.h>

#include <string>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/text/ustr.h"
#include "viewer/api/keys.h"
#include "tests/platform/app_fixture.h"
#include "tests/support/engine_fixture.h"

namespace {

class AppConfigTest : public AppFixture {
  protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        ASSERT_EQ(start(), 1);
    }
    // The stored text of a setting ("<none>" when it has no value).
    std::string setting(const char16_t *section, const char *key)
    {
        std::string out;
        onAppThread([&] {
            EngineContext *ctx = inst->context;
            char16_t *v = Config_getUstrA(ctx, ctx->config, section, key, nullptr);
            if (!v) {
                out = "<none>";
                return;
            }
            for (const char16_t *p = v; *p; p++)
                out += char(*p);
            Mem_free(v);
        });
        return out;
    }
    void settle()
    {
        drive([] { return false; }, 20);
    }
};

TEST_F(AppConfigTest, KeysAreStoredInTheirSections)
{
    struct Case {
        const char *key;
        const char16_t *section;
    } cases[] = {
        {"EnableImages", u"Core"},
        {"Vexlan_TextDaSinglePage", u"Core"},
        {"reflow.reject.width", u"eDR"},
        {"reflow.reject.height", u"eDR"},
        {"Vexlan_historyListFile", u"Paths"},
        {"Vexlan_formAutoCompletePath", u"Paths"},
        {"SomethingElse", nullptr},
    };
    uint32_t value = 40;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_EQ(App_setConfigInt(inst, c.key, ++value), 1);
        settle();
        EXPECT_EQ(setting(c.section, c.key), std::to_string(value));
        std::u16string wide(c.key, c.key + strlen(c.key));
        const char16_t *section = Config_sectionForKey(wide.c_str());
        if (c.section)
            EXPECT_EQ(Ustr_cmp(section, c.section), 0);
        else
            EXPECT_EQ(section, nullptr);
    }
    // A later value replaces the earlier one.
    ASSERT_EQ(App_setConfigInt(inst, "EnableImages", 0), 1);
    settle();
    EXPECT_EQ(setting(u"Core", "EnableImages"), "0");
}

TEST_F(AppConfigTest, SinglePageLoadIsStoredAsPageOnDemandInEdr)
{
    ASSERT_EQ(App_setConfigInt(inst, "FV_singlePageLoad", 1), 1);
    settle();
    EXPECT_EQ(setting(u"eDR", "page.on.demand"), "1");
    EXPECT_EQ(setting(u"eDR", "FV_singlePageLoad"), "<none>");
}

TEST_F(AppConfigTest, DefaultCharacterSetValuesBecomeNamesInCore)
{
    const char *names[] = {"ISO-8859-1",  "Big5",   "GBK",         "Shift_JIS",
                           "ISO-2022-JP", "EUC-JP", "WINDOWS-949", "UTF-8"};
    for (int i = 0; i < 8; i++) {
        SCOPED_TRACE(i);
        ASSERT_EQ(App_setConfigInt(inst, "DefaultCharacterSet", 0x10000 + i), 1);
        settle();
        EXPECT_EQ(setting(u"Core", "DefaultCharacterSet"), names[i]);
    }
    // Any other value is ignored: the last name stays.
    for (uint32_t bad : {0x10008u, 0xFFFFu, 0u, 7u}) {
        ASSERT_EQ(App_setConfigInt(inst, "DefaultCharacterSet", bad), 1);
        settle();
        EXPECT_EQ(setting(u"Core", "DefaultCharacterSet"), "UTF-8");
    }
}

TEST_F(AppConfigTest, SettingsPathFillsOnlyThePathsThatAreMissing)
{
    onAppThread([&] {
        EngineContext *ctx = inst->context;
        Config_setUstr(ctx, ctx->config, u"Paths", u"Cookies", u"/kept/", 1);
    });
    ASSERT_EQ(App_setConfigString(inst, "Vexlan_settingsPath", "/settings/"), 1);
    settle();
    EXPECT_EQ(setting(u"Paths", "Cookies"), "/kept/");
    EXPECT_EQ(setting(u"Paths", "Persistent.dir"), "/settings/");
    EXPECT_EQ(setting(u"Paths", "FormAutoCompleteCommonPath"), "/settings/");
    EXPECT_EQ(setting(nullptr, "Vexlan_settingsPath"), "/settings/");
    // A second path replaces the setting itself but none of the three.
    ASSERT_EQ(App_setConfigString(inst, "Vexlan_settingsPath", "/other/"), 1);
    settle();
    EXPECT_EQ(setting(nullptr, "Vexlan_settingsPath"), "/other/");
    EXPECT_EQ(setting(u"Paths", "Persistent.dir"), "/settings/");
    // A string of a key with a section goes there.
    ASSERT_EQ(App_setConfigString(inst, "Vexlan_cookiesIndexFile", "index.dat"), 1);
    settle();
    EXPECT_EQ(setting(u"Paths", "Vexlan_cookiesIndexFile"), "index.dat");
}

TEST_F(AppConfigTest, OnAnEngineTaskASettingIsAppliedAtOnce)
{
    onAppThread([&] {
        EXPECT_EQ(App_setConfigInt(inst, "EnableJS", 5), 1);
        EngineContext *ctx = inst->context;
        EXPECT_EQ(Config_getIntA(ctx, ctx->config, u"Core", "EnableJS", 99), 5u);
    });
}

TEST_F(AppConfigTest, ASettingChangedWhileRunningIsReadAgainByTheKeys)
{
    // The key repeat reads its settings once and again only when told:
    // a host that asks for immediate releases after the start must be heard.
    KeyRepeat *keys = nullptr;
    onAppThread([&] {
        ASSERT_EQ(KeyRepeat_create(inst, nullptr, nullptr, &keys), 0);
        inst->keys = keys;
        keys->settingsDirty = 0;
    });
    ASSERT_EQ(App_setConfigInt(inst, "Vexlan_actionAllSoftKeyReleases", 1), 1);
    settle();
    onAppThread([&] {
        EXPECT_EQ(keys->settingsDirty, 1);
        KeyRepeat_free(inst, &inst->keys);
    });
}

TEST_F(AppConfigTest, ArgumentsThatCannotMakeABlockAreRefused)
{
    EXPECT_EQ(App_setConfigInt(nullptr, "EnableJS", 1), 0);
    EXPECT_EQ(App_setConfigInt(inst, nullptr, 1), 0);
    EXPECT_EQ(App_setConfigString(inst, "Vexlan_settingsPath", nullptr), 0);
    EXPECT_EQ(App_postConfig(nullptr), 0);
}

// The configuration slot sees the block first; a non-zero answer takes the
// setting, and the block's strings are freed either way.
class ConfigSlotTest : public EngineFixture {};

std::string slotSaw;
int slotAnswer;

TEST_F(ConfigSlotTest, TheConfigurationSlotMayTakeASetting)
{
    app.callbacks.configure = [](EngineInstance *, intptr_t *words) {
        const char16_t *key = reinterpret_cast<const char16_t *>(words[0]);
        slotSaw.clear();
        for (const char16_t *p = key; *p; p++)
            slotSaw += char(*p);
        slotSaw += words[1] == AppConfig_string ? ":s" : ":i";
        return slotAnswer;
    };
    start();
    for (int answer : {0, 1}) {
        slotAnswer = answer;
        ASSERT_EQ(App_setConfigString(inst, "Some.key", "v"), 1);
        fire();
        EXPECT_EQ(slotSaw, "Some.key:s");
        ASSERT_EQ(App_setConfigInt(inst, "Other", 3), 1);
        fire();
        EXPECT_EQ(slotSaw, "Other:i");
    }
}

} // namespace
