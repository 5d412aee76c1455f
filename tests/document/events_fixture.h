// Helpers for the tests of node lists, focus, document events and query
// cursors: group making, a recorder of what reaches the application's
// event processor (focus messages, open-URL requests) and a spy on a
// document's own dispatcher that logs each node event before handing it to
// the real handler.
#pragma once

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "document/edr/docevents.h"
#include "document/edr/nodelist.h"
#include "platform/url/url.h"
#include "tests/document/edr_fixture.h"

// A group made under anchor, handed back with one reference.
inline Edr_Node *makeGroup(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, uint32_t element)
{
    Edr_Node *n = nullptr;
    EXPECT_EQ(Edr_Node_createGroup(doc, anchor, mode, element, &n), 0);
    return n;
}

inline Edr_Node *makeText(Edr_Doc *doc, Edr_Node *parent, const char16_t *text)
{
    Edr_Node *n = nullptr;
    size_t len = 0;
    while (text[len])
        len++;
    EXPECT_EQ(Edr_Node_createText(doc, parent, Edr_Insert_lastChild, &n, text, uint32_t(len)), 0);
    return n;
}

inline void setUrl(Edr_Doc *doc, Edr_Node *g, const char16_t *text)
{
    Url *url = Url_new(text);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(Edr_Node_setUrl(doc, g, url), 0);
    Url_free(url);
}

inline void setDocUrl(Edr_Doc *doc, const char16_t *text)
{
    Url *url = Url_new(text);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(Edr_Doc_setUrl(doc, url), 0);
    Url_free(url);
}

// What the application's processor received of kinds 2 and 6.
struct AppRecorder {
    struct Focus {
        int32_t type;
        Edr_Doc *doc;
        Edr_Node *node;
    };
    struct Open {
        std::string url;
        std::string referrer;
        intptr_t flags;
        int32_t linkKind;
        Edr_Doc *view;
        bool hasObject;
        bool hasNameValues;
    };
    std::vector<Focus> focus;
    std::vector<Open> opens;

    static void listen(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        AppRecorder *r = static_cast<AppRecorder *>(context);
        if (msg->kind == 2) {
            auto *m = static_cast<EventProcKind2Msg *>(msg->payload);
            Edr_Node *node = static_cast<Edr_Node *>(m->object);
            r->focus.push_back({m->type, static_cast<Edr_Doc *>(m->subject), node});
            // The receiver gives back the node reference of a focus message.
            if (m->type == Edr_Focus_set && node)
                Edr_Node_dropRefOpt(static_cast<Edr_Doc *>(m->subject), node);
        } else if (msg->kind == 6) {
            auto *m = static_cast<EventProcKind6Msg *>(msg->payload);
            char *text = Url_toUtf8(m->url, UrlPart_all);
            const char *ref = Url_getCstr(m->url);
            r->opens.push_back({text ? text : "", ref ? ref : "", m->words[0], m->link.kind,
                                m->view, m->object != nullptr,
                                Url_getNameValues(m->url) != nullptr});
            Mem_free(text);
        }
    }
    void attach(EngineContext *ctx)
    {
        EXPECT_EQ(EventProc_addListener(ctx, ctx->eventProc, 2, listen, this), 0);
        EXPECT_EQ(EventProc_addListener(ctx, ctx->eventProc, 6, listen, this), 0);
    }
    // From a task, before the recorder goes.
    void detach(EngineContext *ctx)
    {
        EXPECT_EQ(EventProc_removeListener(ctx->eventProc, 2, listen, this), 0);
        EXPECT_EQ(EventProc_removeListener(ctx->eventProc, 6, listen, this), 0);
        EventProcCodeMsg m{999, nullptr, nullptr, 0};
        EXPECT_EQ(EventProc_postPlainCode(ctx->eventProc, &m), 0);
        AppMsg_drain(ctx->eventProc);
    }
};

// Logs the node events a document's dispatcher delivers ("action:type"),
// then dispatches them as the document's own handler does. The listener is
// freed with the document's dispatcher.
struct EventSpy {
    std::vector<std::string> seen;

    static void listen(EngineContext *ctx, EventProcMsg *msg, void *context, int *remove)
    {
        EventSpy *s = *static_cast<EventSpy **>(context);
        Edr_Doc *doc = static_cast<Edr_Doc **>(context)[1];
        Edr_NodeEvent ev;
        Edr_NodeEvent_fromMsg(msg->payload, &ev);
        s->seen.push_back(std::to_string(ev.action) + ":" + std::to_string(ev.type));
        Edr_Doc_onNodeEvent(ctx, msg, doc, remove);
    }
    void *pair[2];
    void attach(EngineContext *ctx, Edr_Doc *doc)
    {
        pair[0] = this;
        pair[1] = doc;
        EXPECT_EQ(EventProc_addListener(ctx, doc->events, 5, listen, pair), 0);
    }
    std::string joined() const
    {
        std::string s;
        for (const std::string &e : seen)
            s += (s.empty() ? "" : " ") + e;
        return s;
    }
};
