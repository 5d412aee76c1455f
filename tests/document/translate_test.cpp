// Document translation on the "docTranslate" job: a text file through a
// file URL, the size check, the reports, the single claim, page requests
// of page-on-demand documents and fragments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config/config.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "document/edr/node.h"
#include "document/types/doctype.h"
#include "document/types/translate.h"
#include "pdf/document.h"
#include "pdf/pdf.h"
#include "platform/url/file.h"
#include "platform/vfs/hosthooks.h"
#include "platform/vfs/romfs.h"
#include "tests/document/edr_fixture.h"
#include "tests/document/types_support.h"
#include "tests/platform/file_fixture.h"
#include "word/reader/word.h"

// What the test text handler does on open and step.
struct TextHandlerScript {
    bool pageOnDemand;           // switch page-on-demand on and build 8 page groups
    std::vector<uint32_t> steps; // pages asked for by step
    int opens;
};

TextHandlerScript &script()
{
    static TextHandlerScript s;
    return s;
}

int testTextStep(Edr_Doc *doc, uint32_t page)
{
    script().steps.push_back(page);
    Edr_Node *group = nullptr;
    int err = Edr_Doc_nthRootChild(doc, page, &group);
    if (err == Res_ok && !group)
        err = Res_nullInput;
    if (err == Res_ok) {
        Edr_Node *text = nullptr;
        err = Edr_Node_createText(doc, group, Edr_Insert_lastChild, &text, u"page", 4);
        Edr_Node_release(doc, text);
    }
    Edr_Node_release(doc, group);
    return err;
}

void testTextClose(Edr_Doc *doc)
{
    Edr_Doc_setLoaderData(doc, nullptr);
}

// Builds a group holding the stream's first bytes as text.
int testTextOpen(EngineContext *, Edr_HandlerDesc *desc, void *, VfsHandle *stream, Edr_Doc *doc,
                 Edr_Node *target)
{
    script().opens++;
    const uint8_t *bytes = nullptr;
    size_t got = 0;
    int err = Vfs_getReadBuf(stream, 64, &bytes, &got);
    std::u16string text;
    for (size_t i = 0; err == Res_ok && i < got && bytes[i] != '\n'; i++)
        text += char16_t(bytes[i]);
    if (err == Res_ok) {
        EXPECT_EQ(Vfs_readDone(stream, got), 0);
    }
    EXPECT_EQ(Vfs_close(stream), 0);
    if (err != Res_ok)
        return err;
    int pages = script().pageOnDemand ? 8 : 1;
    for (int p = 0; p < pages && err == Res_ok; p++) {
        Edr_Node *group = nullptr;
        err = Edr_Node_createGroup(doc, target, Edr_Insert_lastChild, 1, &group);
        Edr_Node *node = nullptr;
        if (err == Res_ok && p == 0)
            err = Edr_Node_createText(doc, group, Edr_Insert_lastChild, &node, text.c_str(),
                                      uint32_t(text.size()));
        Edr_Node_release(doc, node);
        Edr_Node_release(doc, group);
    }
    if (err == Res_ok && script().pageOnDemand) {
        desc->step = testTextStep;
        desc->close = testTextClose;
        err = Edr_Doc_orFeatureFlags(doc, Edr_featurePageOnDemand);
        Edr_Doc_setLoaderData(doc, &script());
    }
    return err;
}

namespace {

// A finaliser object that counts its finalisations.
struct CountedObj {
    Obj base;
    int *count;
};

void countFinal(Obj *o)
{
    ++*reinterpret_cast<CountedObj *>(o)->count;
}

Obj *countedObj(int *count)
{
    CountedObj *o = static_cast<CountedObj *>(Mem_calloc(1, sizeof(CountedObj)));
    o->base.finalize = countFinal;
    o->count = count;
    return &o->base;
}

// One message seen on the application's event processor.
struct Seen {
    int32_t kind;     // 0 report, 1 code
    int32_t code;     // code message: its code; report: its kind
    intptr_t word;    // report: its code
    std::string text; // report: its text
};

class TranslateTest : public EdrFixture {
  protected:
    DocTypeRegistry *registry = nullptr;
    std::vector<Seen> seen;
    Edr_Doc *watched = nullptr;
    Sem ended; // signalled at code 13 or a report for the watched document

    static void listener(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        TranslateTest *t = static_cast<TranslateTest *>(context);
        if (msg->kind == 1) {
            EventProcCodeMsg *m = static_cast<EventProcCodeMsg *>(msg->payload);
            if (m->document != t->watched || !t->watched)
                return;
            t->seen.push_back(Seen{1, m->code, 0, ""});
            if (m->code == 13)
                Sem_signal(&t->ended);
        } else if (msg->kind == 0) {
            EventProcDocMsg *m = static_cast<EventProcDocMsg *>(msg->payload);
            if (m->view != t->watched || !t->watched)
                return;
            t->seen.push_back(Seen{0, m->code, m->word, S(m->text)});
            Sem_signal(&t->ended);
        }
    }

    void SetUp() override
    {
        EdrFixture::SetUp();
        unsetenv("OKALA_DIRECTORY");
        unsetenv("OKALA_DIRECTORY_RO");
        unsetenv("OKALA_FSROOT");
        ASSERT_EQ(AlienFile_initLayer(ctx()), 0);
        ASSERT_EQ(RomFs_createTable(ctx()), 0);
        ctx()->config = Config_createStore(ctx(), u"test");
        ASSERT_NE(ctx()->config, nullptr);
        ASSERT_EQ(DocType_newRegistry(ctx(), &registry), Res_ok);
        ctx()->docHandlers = registry;
        ASSERT_EQ(Sem_init(ctx(), &ended, 0, 1000), 0);
        run([this] {
            for (Edr_DescribeFn d : {Word_describe, testTextDescribe, Pdf_describe})
                ASSERT_EQ(Engine_registerHandler(ctx(), d), 1);
            ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 0, listener, this), 0);
            ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 1, listener, this), 0);
        });
        script() = TextHandlerScript{};
    }
    void TearDown() override
    {
        run([this] {
            EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 0, listener, this), 0);
            EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 1, listener, this), 0);
            flushListeners();
        });
        Sem_fini(&ended);
        DocType_freeRegistry(ctx(), registry);
        ctx()->docHandlers = nullptr;
        RomFs_freeTable(ctx());
        AlienFile_finiLayer(ctx());
        run([this] {
            Config_freeStore(ctx(), ctx()->config);
            ctx()->config = nullptr;
        });
        EdrFixture::TearDown();
    }

    static Url *fixtureUrl(const char *name)
    {
        std::u16string w = U(std::string("file://root") + VEXLAN_FIXTURES + "/types/" + name);
        return Url_new(w.c_str());
    }

    // From a task: starts translating into doc and waits for its end.
    void translate(Edr_Doc *doc, Url *url, Obj *arg = nullptr)
    {
        watched = doc;
        Translate_start(ctx(), doc, Edr_Doc_root(doc), url, arg);
        Sem_wait(&ended);
        AppMsg_drain(ctx()->eventProc);
    }

    std::vector<int32_t> codes() const
    {
        std::vector<int32_t> out;
        for (const Seen &s : seen)
            if (s.kind == 1)
                out.push_back(s.code);
        return out;
    }
    const Seen *report() const
    {
        for (const Seen &s : seen)
            if (s.kind == 0)
                return &s;
        return nullptr;
    }
    std::string firstText(Edr_Doc *doc)
    {
        Edr_Node *g = Edr_Node_firstChild(Edr_Doc_root(doc));
        Edr_Node *t = g ? Edr_Node_firstChild(g) : nullptr;
        char16_t *s = nullptr;
        if (!t || Edr_Node_copyText(doc, t, &s) != Res_ok)
            return "";
        return Take(s);
    }
};

TEST_F(TranslateTest, TextFileThroughFileUrl)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        translate(doc, fixtureUrl("ascii.txt"));
        EXPECT_EQ(codes(), (std::vector<int32_t>{0, 38, 13}));
        EXPECT_EQ(report(), nullptr);
        EXPECT_EQ(firstText(doc), "Plain text in ASCII.");
        EXPECT_EQ(Edr_Doc_getHandler(doc), &registry->head->next->desc);
        char16_t *mime = nullptr;
        uint32_t id = 0;
        ASSERT_EQ(Edr_Doc_getMimeType(doc, &mime, &id), Res_ok);
        EXPECT_EQ(Take(mime), "text/plain");
        EXPECT_EQ(id, 25u);
        Url *u = nullptr;
        ASSERT_EQ(Edr_Doc_getUrl(doc, &u), Res_ok);
        EXPECT_NE(u, nullptr);
        Url_free(u);
        // The claim stays: a second start frees its URL and argument and
        // does nothing else.
        int finals = 0;
        Translate_start(ctx(), doc, Edr_Doc_root(doc), fixtureUrl("ascii.txt"),
                        countedObj(&finals));
        EXPECT_EQ(finals, 1);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes().size(), 3u);
        EXPECT_EQ(script().opens, 1);
    });
}

TEST_F(TranslateTest, SizeCheckAtTheLimitAndOneByteAbove)
{
    // ascii.txt holds 36 bytes.
    for (uint32_t limit : {36u, 35u}) {
        SCOPED_TRACE(limit);
        seen.clear();
        script().opens = 0;
        run([&] { Config_setIntA(ctx(), ctx()->config, u"x", "translateFileSize", limit, 0); });
        withDoc([&](Edr_Doc *doc, Edr_Node *) {
            translate(doc, fixtureUrl("ascii.txt"));
            if (limit == 36) {
                EXPECT_EQ(codes(), (std::vector<int32_t>{0, 38, 13}));
                EXPECT_EQ(report(), nullptr);
            } else {
                EXPECT_EQ(codes(), (std::vector<int32_t>{0}));
                ASSERT_NE(report(), nullptr);
                EXPECT_EQ(report()->code, Translate_kindError);
                EXPECT_EQ(report()->word, Res_fileTooLarge);
                EXPECT_EQ(report()->text, "Unknown error (%1,%2,%3)");
                EXPECT_EQ(script().opens, 0);
            }
        });
    }
}

TEST_F(TranslateTest, FailuresBecomeOneReport)
{
    struct {
        const char *file;
        int32_t kind;
        intptr_t code;
        const char *text;
        std::vector<int32_t> codes;
    } cases[] = {
        {"empty.bin", Translate_kindNoData, Res_docTypeNoData, "No data received", {0}},
        {"image.png", Translate_kindUnknownType, Res_docTypeUnknown, "image/png", {0}},
        {"notword.doc", Translate_kindUnknownType, Res_docTypeNeedsContent, "(null)", {0}},
        // Recognised as PDF (MIME type set), set up from the stream (41),
        // then the open finds no "startxref" tail, and a scan of the file
        // no trailer or catalogue to rebuild the table with.
        {"doc.pdf",
         Translate_kindError,
         Res_pdfXrefDamaged,
         "Unknown error (%1,%2,%3)",
         {0, 38, 41}},
        {"no-such-file.txt",
         Translate_kindError,
         Res_fileCannotOpen,
         "Unknown error (%1,%2,%3)",
         {0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        seen.clear();
        withDoc([&](Edr_Doc *doc, Edr_Node *) {
            translate(doc, fixtureUrl(c.file));
            EXPECT_EQ(codes(), c.codes);
            ASSERT_NE(report(), nullptr);
            EXPECT_EQ(report()->code, c.kind);
            EXPECT_EQ(report()->word, c.code);
            EXPECT_EQ(report()->text, c.text);
        });
    }
}

TEST_F(TranslateTest, MissingArgumentsFreeWhatWasHandedOver)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        int finals = 0;
        Translate_start(nullptr, doc, root, fixtureUrl("ascii.txt"), countedObj(&finals));
        Translate_start(ctx(), nullptr, root, fixtureUrl("ascii.txt"), countedObj(&finals));
        Translate_start(ctx(), doc, nullptr, fixtureUrl("ascii.txt"), countedObj(&finals));
        EXPECT_EQ(finals, 3);
        // Nothing was claimed: a proper start still runs.
        translate(doc, fixtureUrl("ascii.txt"), countedObj(&finals));
        EXPECT_EQ(finals, 4);
        EXPECT_EQ(codes(), (std::vector<int32_t>{0, 38, 13}));
    });
}

TEST_F(TranslateTest, StartWithoutMemoryReportsAndGivesTheClaimBack)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        watched = doc;
        int finals = 0;
        Url *u = fixtureUrl("ascii.txt");
        Obj *arg = countedObj(&finals);
        Mem_failAfter(1);
        Translate_start(ctx(), doc, root, u, arg);
        Mem_failAfter(0);
        Sem_wait(&ended);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(finals, 1);
        ASSERT_NE(report(), nullptr);
        EXPECT_EQ(report()->code, Translate_kindError);
        EXPECT_EQ(report()->word, Res_noMemory);
        EXPECT_TRUE(codes().empty());
        seen.clear();
        translate(doc, fixtureUrl("ascii.txt"));
        EXPECT_EQ(codes(), (std::vector<int32_t>{0, 38, 13}));
    });
}

// A page request on a document that does not load pages on demand (here
// one that was never translated) starts no job: a job without URL could
// only dereference the missing URL.
TEST_F(TranslateTest, PageRequestWithoutUrlStartsNothing)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        watched = doc;
        EXPECT_EQ(Translate_requestPage(doc, root, 5), Res_ok);
        Translate_start(ctx(), doc, root, nullptr, nullptr);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_TRUE(seen.empty());
        EXPECT_EQ(doc->translating, 0u);
        translate(doc, fixtureUrl("ascii.txt"));
        EXPECT_EQ(codes(), (std::vector<int32_t>{0, 38, 13}));
    });
}

TEST_F(TranslateTest, PdfFilesOpenThroughTheRegistry)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        translate(doc, fixtureUrl("../pdf/streams.pdf"));
        EXPECT_EQ(Edr_Doc_getTypeCode(doc), 229u);
        EXPECT_EQ(report(), nullptr) << "no failure";
        // Not loading pages on demand: the reader is closed after the open.
        EXPECT_EQ(Edr_Doc_getLoaderData(doc), nullptr);
    });
}

TEST_F(TranslateTest, PageOnDemandServesRequestedPages)
{
    script().pageOnDemand = true;
    run([&] { Config_setIntA(ctx(), ctx()->config, u"eDR", "page.on.demand", 1, 0); });
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        translate(doc, fixtureUrl("ascii.txt"));
        EXPECT_EQ(codes(), (std::vector<int32_t>{0, 38, 13}));
        ASSERT_TRUE(Edr_Doc_isPageOnDemand(doc));
        EXPECT_TRUE(script().steps.empty());
        // The claim went back at the job's end.
        EXPECT_EQ(doc->translating, 0u);

        // (The result is the page window's, which has no laid-out pages to
        // load here.)
        seen.clear();
        (void)Translate_requestPage(doc, root, 5);
        Sem_wait(&ended);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes(), (std::vector<int32_t>{0, 13}));
        EXPECT_EQ(script().steps, (std::vector<uint32_t>{5}));
        EXPECT_EQ(Edr_Doc_getSelectedRootChild(doc), 5u);
        EXPECT_EQ(script().opens, 1);

        // The current page again: no job.
        seen.clear();
        (void)Translate_requestPage(doc, root, 5);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_TRUE(seen.empty());

        // A page the handler cannot build fails with its error.
        (void)Translate_requestPage(doc, root, 40);
        Sem_wait(&ended);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(Edr_Doc_getSelectedRootChild(doc), 5u);
        EXPECT_EQ(script().steps.back(), 40u);
    });
}

TEST_F(TranslateTest, FragmentPages)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        int32_t rect[4] = {1, 1, 1, 1};
        int32_t page = 7;
        EXPECT_EQ(Translate_fragmentPage(doc, u"page-3", &page, rect), Res_ok);
        EXPECT_EQ(page, -1);
        ASSERT_EQ(Edr_Doc_setTypeCode(doc, 229), Res_ok);
        const struct {
            const char16_t *name;
            int32_t page;
        } cases[] = {
            {u"page-3", 2},   {u"page-1", 0},   {u"page-0", -1},           {u"page-", -1},
            {u"page-3a", -1}, {u"chapter", -1}, {u"page-99999999999", -1},
        };
        for (const auto &c : cases) {
            SCOPED_TRACE(S(c.name));
            EXPECT_EQ(Translate_fragmentPage(doc, c.name, &page, rect), Res_ok);
            EXPECT_EQ(page, c.page);
        }
        EXPECT_EQ(Translate_fragmentPage(doc, nullptr, &page, rect), Res_nullInput);
        ASSERT_EQ(Edr_Doc_setTypeCode(doc, 226), Res_ok);
        EXPECT_EQ(Translate_findFragment(doc, u"page-2", rect, &page), Res_ok);
        EXPECT_EQ(page, 1);
        EXPECT_EQ(rect[0], 0);
    });
}

} // namespace

namespace {

// The page groups' children as "data N" (the property id) and "drawing".
std::vector<std::string> pageChildren(Edr_Doc *doc, uint32_t page)
{
    std::vector<std::string> out;
    Edr_Node *group = nullptr;
    if (Edr_Doc_nthRootChild(doc, page, &group) != 0 || !group)
        return out;
    Edr_Node *child = nullptr;
    (void)Edr_Node_getFirstChild(doc, group, &child);
    while (child) {
        uint32_t type = child->flags & Edr_Node_typeMask;
        if (type == Edr_NodeType_data)
            out.push_back("data " + std::to_string(Prop_getId(
                                        static_cast<const Prop *>(Edr_Node_payload(child)))));
        else
            out.push_back(type == Edr_NodeType_drawList ? "drawing"
                                                        : "type " + std::to_string(type));
        Edr_Node *next = nullptr;
        (void)Edr_Node_getNextSibling(doc, child, &next);
        Edr_Node_release(doc, child);
        child = next;
    }
    Edr_Node_release(doc, group);
    return out;
}

TEST_F(TranslateTest, PdfPagesAppendTheirDrawingInPaintingOrder)
{
    // nesting.pdf: "q 0.5 g 2 0 0 2 10 10 cm 0 0 20 20 re f Q 0 g 150 10 20 20 re f". The
    // page start, the origin before the first drawing, the fill flushed at
    // Q, the second fill at the page end.
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        translate(doc, fixtureUrl("../pdf/pages/nesting.pdf"));
        EXPECT_EQ(report(), nullptr);
        EXPECT_EQ(pageChildren(doc, 0), (std::vector<std::string>{"data 137", "data 138", "data 74",
                                                                  "drawing", "drawing"}));
    });
    // clip.pdf: "0 0 100 100 re W n 0 0 1 rg 50 0 100 100 re f": the clip
    // (a shape value) comes before the fill and is never ended.
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        translate(doc, fixtureUrl("../pdf/pages/clip.pdf"));
        EXPECT_EQ(report(), nullptr);
        EXPECT_EQ(pageChildren(doc, 0), (std::vector<std::string>{"data 137", "data 138", "data 74",
                                                                  "data 136", "drawing"}));
    });
}

// The drawing-list record of each page's first drawing node.
const void *firstDrawList(Edr_Doc *doc, uint32_t page)
{
    const void *out = nullptr;
    Edr_Node *group = nullptr;
    if (Edr_Doc_nthRootChild(doc, page, &group) != 0 || !group)
        return out;
    Edr_Node *child = nullptr;
    (void)Edr_Node_getFirstChild(doc, group, &child);
    while (child) {
        if (!out && (child->flags & Edr_Node_typeMask) == Edr_NodeType_drawList)
            out = *static_cast<Edr_DrawList **>(Edr_Node_payload(child));
        Edr_Node *next = nullptr;
        (void)Edr_Node_getNextSibling(doc, child, &next);
        Edr_Node_release(doc, child);
        child = next;
    }
    Edr_Node_release(doc, group);
    return out;
}

TEST_F(TranslateTest, ALogoOnEveryPdfPageIsStoredOnce)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        translate(doc, fixtureUrl("../pdf/pages/logo.pdf"));
        EXPECT_EQ(report(), nullptr);
        const void *first = firstDrawList(doc, 0);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(firstDrawList(doc, 1), first);
        EXPECT_EQ(firstDrawList(doc, 2), first);
    });
}

} // namespace
