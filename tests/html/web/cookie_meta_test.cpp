// A meta http-equiv "set-cookie" hands its content to the cookie store with
// the document's URL; a refused cookie does not fail the load.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/context/context.h"
#include "document/edr/doc.h"
#include "html/web/cookie.h"
#include "tests/html/html_fixture.h"

namespace {

class CookieMetaTest : public HtmlFixture {};

TEST_F(CookieMetaTest, MetaSetCookieStoresTheCookie)
{
    std::string dir = "/tmp/i70/cookie-meta-" + std::to_string(getpid());
    mkdir("/tmp/i70", 0700);
    mkdir(dir.c_str(), 0700);
    mkdir((dir + "/ck").c_str(), 0700);
    setenv("OKALA_DIRECTORY", dir.c_str(), 1);
    run([&] {
        Config_setUstrA(ctx(), ctx()->config, u"Paths", "Cookies", u"ck/", 0);
        ASSERT_EQ(CookieStore_open(ctx()), 0);
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Url *url = Url_new(u"http://www.example.com/dir/page.html");
        ASSERT_EQ(Edr_Doc_setUrl(doc, url), 0);
        VfsHandle *stream = memoryStream(
            "<meta http-equiv=\"Set-Cookie\" content=\"theme=dark; path=/\">"
            "<meta http-equiv=set-cookie content=\"bad=1; domain=other.com\"><p>a");
        ASSERT_NE(stream, nullptr);
        // The document takes its URL from the stream.
        Url_free(stream->url);
        stream->url = Url_copy(url);
        EXPECT_EQ(desc.open(ctx(), &desc, nullptr, stream, doc, Edr_Doc_root(doc)), 0);
        EXPECT_EQ(render(doc), "meta meta p(\"a\")");
        char *sent = nullptr;
        ASSERT_EQ(Cookie_buildRequestHeader(ctx(), url, 0, 0, &sent), 0);
        EXPECT_STREQ(sent, "theme=dark");
        Mem_free(sent);
        Url_free(url);
        Edr_Doc_release(doc);
        CookieStore_close(ctx());
    });
    unsetenv("OKALA_DIRECTORY");
    EXPECT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0);
}

} // namespace
