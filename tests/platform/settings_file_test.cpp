// The settings file through the virtual streams: files read in windows,
// memory streams, the built-in file before the directory's, open errors,
// and running out of memory on the way.
#include "tests/platform/file_fixture.h"

#include <map>
#include <string>

#include "core/config/config.h"
#include "platform/config/settings.h"
#include "core/result.h"
#include "platform/vfs/vfs.h"
#include "tests/core/config_fixture.h"

namespace {

class SettingsFileTest : public FileFixture {
  protected:
    ConfigStore *store = nullptr;

    void SetUp() override
    {
        FileFixture::SetUp();
        store = Config_createStore(ctx, u"x");
        ASSERT_NE(store, nullptr);
    }
    void TearDown() override
    {
        Mem_failAfter(0);
        Config_freeStore(ctx, store);
        FileFixture::TearDown();
    }
    std::map<std::string, std::string> settings()
    {
        return ConfigDump(store);
    }
    int loadUrl(const std::string &text)
    {
        Url *u = url(text);
        EXPECT_NE(u, nullptr);
        int r = Settings_loadUrl(ctx, store, u);
        Url_free(u);
        return r;
    }
    int loadFile(const std::string &name)
    {
        return loadUrl("file://root" + path(name));
    }
};

// A file several windows long, with a line longer than a window, CRLF
// lines and a last line without LF.
std::string bigFile()
{
    std::string text = "# made by the settings file test\r\n[Core]\r\n";
    for (int i = 0; i < 300; i++)
        text += "key" + std::to_string(i) + "=" + std::to_string(i * 7) + "\r\n";
    text += "long=" + std::string(6000, 'x') + "\n";
    text += "[View]\nzoom=0x20\nname=first view\nlast=2K";
    return text;
}

TEST_F(SettingsFileTest, FileReadInWindows)
{
    std::string text = bigFile();
    ASSERT_GT(text.size(), 2u * Settings_window);
    writeFile("choices.txt", text);
    ASSERT_EQ(loadFile("choices.txt"), 0);
    auto all = settings();
    EXPECT_EQ(all.size(), 303u);
    EXPECT_EQ(all["Core/key0"], "0");
    EXPECT_EQ(all["Core/key299"], "2093");
    EXPECT_EQ(all.count("Core/long"), 0u);
    EXPECT_EQ(all["View/zoom"], "32");
    EXPECT_EQ(all["View/name"], "first view");
    EXPECT_EQ(all["View/last"], "2048");
}

TEST_F(SettingsFileTest, MemoryStreamGivesTheSameSettings)
{
    std::string text = bigFile();
    writeFile("choices.txt", text);
    ASSERT_EQ(loadFile("choices.txt"), 0);
    auto fromFile = settings();

    Config_freeStore(ctx, store);
    store = Config_createStore(ctx, u"x");
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    ASSERT_EQ(Vfs_openMemory(ctx, reinterpret_cast<const uint8_t *>(text.data()), text.size(), 0,
                             Vfs_modeRead, &h, &accepted),
              0);
    EXPECT_EQ(Settings_readStream(ctx, store, h), 0);
    EXPECT_EQ(settings(), fromFile);
}

TEST_F(SettingsFileTest, OpenErrorsComeBackAsTheyAre)
{
    EXPECT_EQ(loadFile("missing.txt"), Res_fileCannotOpen);
    EXPECT_EQ(loadUrl("http://example/choices.txt"), Res_vfsNoType);
    EXPECT_TRUE(settings().empty());
}

TEST_F(SettingsFileTest, BuiltInFileIsReadBeforeTheDirectorysAndAlone)
{
    mkdir(path("okala_dir").c_str(), 0700);
    mkdir(path("user").c_str(), 0700);
    writeFile("okala_dir/choices.txt", "[S]\nfrom=builtin\n");
    writeFile("user/choices.txt", "[S]\nfrom=user\nuser=1\n");
    std::u16string userDir = U("file://root" + path("user") + "/");

    // Without OKALA_DIRECTORY the built-in path is looked for among the
    // built-in files, which hold no settings file.
    ASSERT_EQ(Settings_loadFromDir(ctx, store, userDir.c_str()), 0);
    EXPECT_EQ(settings(),
              (std::map<std::string, std::string>{{"S/from", "user"}, {"S/user", "1"}}));

    Config_freeStore(ctx, store);
    store = Config_createStore(ctx, u"x");
    setenv("OKALA_DIRECTORY", dir.c_str(), 1);
    ASSERT_EQ(Settings_loadFromDir(ctx, store, userDir.c_str()), 0);
    EXPECT_EQ(settings(), (std::map<std::string, std::string>{{"S/from", "builtin"}}));
}

TEST_F(SettingsFileTest, NoSettingsFileAtAllIsFine)
{
    std::u16string nowhere = U("file://root" + path("nowhere") + "/");
    EXPECT_EQ(Settings_loadFromDir(ctx, store, nowhere.c_str()), 0);
    EXPECT_TRUE(settings().empty());
    // Errors other than a file that cannot be opened stop the search.
    EXPECT_EQ(Settings_loadFirstFound(ctx, store, u"http://example/choices.txt"), Res_vfsNoType);
    EXPECT_EQ(Settings_loadFromDir(ctx, store, nullptr), Res_nullInput);
}

TEST_F(SettingsFileTest, OutOfMemoryLeaksNothing)
{
    writeFile("choices.txt", "[S]\na=1\nb=two\n[T]\nc=3");
    std::u16string settingsDir = U("file://root" + dir + "/");
    for (uint64_t n = 1;; n++) {
        Config_freeStore(ctx, store);
        size_t before = TestHeap_usedBytes();
        store = Config_createStore(ctx, u"x");
        ASSERT_NE(store, nullptr);
        Mem_takeOutOfMemory();
        Mem_failAfter(n);
        int r = Settings_loadFromDir(ctx, store, settingsDir.c_str());
        bool failed = Mem_takeOutOfMemory();
        Mem_failAfter(0);
        size_t count = settings().size();
        Config_freeStore(ctx, store);
        store = nullptr;
        EXPECT_EQ(TestHeap_usedBytes(), before) << "allocation " << n;
        store = Config_createStore(ctx, u"x");
        if (!failed) {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(count, 3u);
            break;
        }
        EXPECT_TRUE(r == 0 || r == Res_noMemory) << "allocation " << n << ": " << r;
        if (r == Res_noMemory) {
            EXPECT_LT(count, 3u);
        }
        ASSERT_LT(n, 300u);
    }
}

} // namespace
