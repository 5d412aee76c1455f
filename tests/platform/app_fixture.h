// A fixture for the application framework: a headless host with a
// hand-driven clock, the engine started with the real application entry
// (App_start), a record of the host requests as they arrive (with the
// document information of request 0x1000A), a scratch directory for
// documents, and helpers that open documents through the command API and
// read the viewer's document tree on the application thread. Tear-down
// stops a running engine and checks that every host block came back.
#pragma once

#include <gtest/gtest.h>

#include <ftw.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "host/headless/headless.h"
#include "app/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/command.h"
#include "platform/api/engine.h"
#include "platform/api/hostevent.h"
#include "viewer/viewer.h"

class AppFixture : public ::testing::Test {
  protected:
    struct Seen {
        int32_t code;
        std::string url;     // 0x1000A: the document's URL
        std::string mime;    // 0x1000A: its MIME type
        FvViewer *viewer;    // 0x10004: the ready record's application
        EngineEntryFn entry; // 0x10004: and its entry
    };

    void SetUp() override
    {
        unsetenv("OKALA_DIRECTORY");
        unsetenv("OKALA_DIRECTORY_RO");
        unsetenv("OKALA_FSROOT");
        host = Headless_createContext(size_t(16) << 20);
        ASSERT_NE(host, nullptr);
        Headless_setCurrent(host);
        Headless_setManualClock(host, 1);
        Headless_captureDebug(host, 1);
        Headless_setRequestHook(host, onRequest, this);
        const char *tmp = getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexlan-app-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        if (host->instance)
            Engine_stop(host->instance);
        EXPECT_EQ(host->instance, nullptr);
        EXPECT_EQ(Headless_blocksHeld(host), 0);
        EXPECT_EQ(host->threadList, nullptr);
        Headless_destroyContext(host);
        nftw(
            dir.c_str(),
            [](const char *p, const struct stat *, int, struct FTW *) { return remove(p); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }

    static void onRequest(void *arg, int32_t code, void *record)
    {
        AppFixture *f = static_cast<AppFixture *>(arg);
        Seen s{code, "", "", nullptr, nullptr};
        if (code == Fv_requestDocInfo && record) {
            const FvDocInfo *info = static_cast<const FvDocInfo *>(record);
            s.url = info->urlText ? info->urlText : "";
            s.mime = info->mime ? info->mime : "";
        }
        if (code == Engine_requestReady && record) {
            struct Ready {
                FvViewer *viewer;
                EngineEntryFn entry;
            };
            const Ready *r = static_cast<const Ready *>(record);
            s.viewer = r->viewer;
            s.entry = r->entry;
        }
        f->seen.push_back(s);
    }

    std::string path(const std::string &name) const
    {
        return dir + "/" + name;
    }
    std::string writeFile(const std::string &name, const std::string &bytes)
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }

    int count(int32_t code) const
    {
        int n = 0;
        for (const Seen &s : seen)
            n += s.code == code;
        return n;
    }
    // The codes of the requests in order, as "0x10004 0x1000a ...".
    std::string codes() const
    {
        std::string out;
        char buf[16];
        for (const Seen &s : seen) {
            snprintf(buf, sizeof buf, "0x%x ", unsigned(s.code));
            out += buf;
        }
        return out;
    }
    // The same for the requests of start-up and opening only: ready and
    // failed (0x10004, 0x10009), the state report (0x10001) and the
    // document's information (0x1000a).
    std::string openCodes() const
    {
        std::string out;
        char buf[16];
        for (const Seen &s : seen) {
            if (s.code != 0x10001 && s.code != 0x1000a && s.code != 0x10004 && s.code != 0x10009)
                continue;
            snprintf(buf, sizeof buf, "0x%x ", unsigned(s.code));
            out += buf;
        }
        return out;
    }
    // The last request of that code (null when none).
    const Seen *last(int32_t code) const
    {
        for (size_t i = seen.size(); i-- > 0;)
            if (seen[i].code == code)
                return &seen[i];
        return nullptr;
    }
    int alerts(int32_t code) const
    {
        int n = 0;
        for (int i = 0; i < Headless_alertCount(host); i++)
            n += Headless_alert(host, i) == code;
        return n;
    }

    // Fires the engine timer until done() holds; false when it never did.
    bool drive(const std::function<bool()> &done, int limit = 20000)
    {
        for (int i = 0; i < limit && !done(); i++) {
            if (!host->instance || !Headless_fireTimer(host))
                break;
        }
        return done();
    }
    // Starts the engine with App_start (document: the start document path,
    // null for none) and drives it until it is ready or has given up.
    int start(const char *document = nullptr)
    {
        int r = Headless_startEngine(host, document, App_start, 0);
        inst = host->instance;
        if (r)
            drive([&] { return count(Engine_requestReady) || count(Engine_requestFailed); });
        return r;
    }
    // Opens a document through the command API and drives the engine until
    // it loaded or the open-failed alert came.
    bool open(const std::string &file, intptr_t flags = 0)
    {
        int loads = count(Fv_requestDocInfo), failures = alerts(0x10002);
        if (!App_openDocument(inst, file.c_str(), 0, flags))
            return false;
        return drive(
            [&] { return count(Fv_requestDocInfo) > loads || alerts(0x10002) > failures; });
    }
    // Runs fn on the application thread and drives the engine until it ran.
    void onAppThread(std::function<void()> fn)
    {
        struct Call {
            std::function<void()> fn;
            bool ran;
        } call{std::move(fn), false};
        ASSERT_EQ(App_postCall(
                      inst,
                      [](EngineInstance *, void *arg) {
                          Call *c = static_cast<Call *>(arg);
                          c->fn();
                          c->ran = true;
                      },
                      &call, nullptr),
                  0);
        ASSERT_TRUE(drive([&] { return call.ran; }));
    }
    // The viewer's document tree, as Headless_dumpTree renders it.
    std::string tree()
    {
        std::string out;
        onAppThread([&] {
            FvViewer *viewer = Fv_fromApp(inst);
            char *text =
                Headless_dumpTree(viewer && viewer->page ? viewer->page->document : nullptr);
            out = text ? text : "";
            free(text);
        });
        return out;
    }

    HostContext *host = nullptr;
    EngineInstance *inst = nullptr;
    std::vector<Seen> seen;
    std::string dir;
};
