// The document-type registry: registration, the recognition stages and
// their rules for ties, certainty, errors, empty streams and file names.
#include <gtest/gtest.h>

#include "core/result.h"
#include "document/types/doctype.h"
#include "tests/document/types_support.h"
#include "tests/platform/file_fixture.h"

namespace {

class RegistryTest : public FileFixture {
  protected:
    DocTypeRegistry *registry = nullptr;
    int releases = 0;
    FakeScript scripts[6]{}; // registered scripts live as long as the registry

    void SetUp() override
    {
        FileFixture::SetUp();
        ASSERT_EQ(DocType_newRegistry(ctx, &registry), Res_ok);
        ctx->docHandlers = registry;
    }
    void TearDown() override
    {
        DocType_freeRegistry(ctx, registry);
        ctx->docHandlers = nullptr;
        EXPECT_EQ(TestHeap_usedBytes(), layerBaseline);
        FileFixture::TearDown();
    }
    // Recognises bytes with MIME type mime; the handler's name and the out
    // MIME go to the outs. The stream must stay at its start.
    int recognise(const std::string &bytes, const char16_t *mime, std::string *handler,
                  std::string *outMime)
    {
        VfsHandle *h = memoryStream(ctx, bytes, mime);
        EXPECT_NE(h, nullptr);
        const char16_t *m = nullptr;
        Edr_HandlerDesc *d = nullptr;
        int r = DocType_recognise(ctx, h, &m, &d);
        EXPECT_EQ(positionOf(h), 0u);
        *handler = fakeName(d);
        *outMime = S(m);
        EXPECT_EQ(Vfs_close(h), 0);
        return r;
    }
    int count()
    {
        int n = 0;
        for (DocTypeNode *p = registry->head; p; p = p->next)
            n++;
        return n;
    }
};

int describeFails(EngineContext *, Edr_HandlerDesc *d)
{
    d->matchMime = fakeMatch;
    return 77;
}

int describeWithoutRelease(EngineContext *, Edr_HandlerDesc *d)
{
    d->matchMime = fakeMatch;
    d->sniff = fakeSniff;
    d->open = fakeOpen;
    return Res_ok;
}

int *g_releaseCount = nullptr;
void countingRelease(EngineContext *, Edr_HandlerDesc *)
{
    ++*g_releaseCount;
}

int describeWithoutOpen(EngineContext *, Edr_HandlerDesc *d)
{
    d->matchMime = fakeMatch;
    d->sniff = fakeSniff;
    d->release = countingRelease;
    return Res_ok;
}

TEST_F(RegistryTest, RegistrationKeepsOrderAndRefusesIncompleteDescriptors)
{
    FakeScript &a = scripts[0] =
        FakeScript{"a", 0, 0, 0, false, nullptr, 0, 0, 1, &releases, nullptr};
    FakeScript &b = scripts[1] =
        FakeScript{"b", 0, 0, 0, false, nullptr, 0, 0, 1, &releases, nullptr};
    EXPECT_EQ(registerFake(ctx, &a), Res_ok);
    EXPECT_EQ(DocType_register(ctx, describeFails), 77);
    EXPECT_EQ(DocType_register(ctx, describeWithoutRelease), Res_nullInput);
    int released = 0;
    g_releaseCount = &released;
    EXPECT_EQ(DocType_register(ctx, describeWithoutOpen), Res_nullInput);
    EXPECT_EQ(released, 1);
    EXPECT_EQ(registerFake(ctx, &b), Res_ok);
    ASSERT_EQ(count(), 2);
    EXPECT_EQ(fakeName(&registry->head->desc), "a");
    EXPECT_EQ(fakeName(&registry->head->next->desc), "b");
    EXPECT_EQ(Engine_registerHandler(nullptr, fakeDescribe), 0);
    EXPECT_EQ(Engine_registerHandler(ctx, nullptr), 0);
    EXPECT_EQ(Engine_registerHandler(ctx, describeFails), 0);
    EXPECT_EQ(count(), 2);
}

TEST_F(RegistryTest, FreeingReleasesEveryHandlerOnce)
{
    FakeScript &a = scripts[0] =
        FakeScript{"a", 0, 0, 0, false, nullptr, 0, 0, 1, &releases, nullptr};
    ASSERT_EQ(registerFake(ctx, &a), Res_ok);
    ASSERT_EQ(registerFake(ctx, &a), Res_ok);
    DocType_freeRegistry(ctx, registry);
    registry = nullptr;
    ctx->docHandlers = nullptr;
    EXPECT_EQ(releases, 2);
    DocType_freeRegistry(ctx, nullptr);
}

TEST_F(RegistryTest, RegistrationOutOfMemoryRegistersNothing)
{
    FakeScript &a = scripts[0] =
        FakeScript{"a", 0, 0, 0, false, nullptr, 0, 0, 1, &releases, nullptr};
    Mem_failAfter(1);
    EXPECT_EQ(registerFake(ctx, &a), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(releases, 0);
}

// One recognition case: up to three handlers in registration order, the
// stream's bytes and MIME type, the outcome.
struct RecogniseCase {
    const char *what;
    FakeScript handlers[3];
    int handlerCount;
    const char *bytes;
    const char16_t *mime;
    int code;
    const char *handler;
    const char *outMime;
};

constexpr FakeScript F(const char *name, int32_t score, uint32_t type, const char *mime = nullptr,
                       int32_t mimeScore = 0, uint32_t typeOnly = 0, int error = 0,
                       uint32_t enabled = 1, bool skipWrite = false)
{
    return FakeScript{name,      score,    type,    error,   skipWrite, mime,
                      mimeScore, typeOnly, enabled, nullptr, nullptr};
}

const RecogniseCase kCases[] = {
    {"certain content wins at once",
     {F("a", 40, 25), F("b", 100, 22), F("c", 100, 6)},
     3,
     "data",
     nullptr,
     0,
     "b",
     "application/pdf"},
    {"equal scores: the first registered wins",
     {F("a", 60, 25), F("b", 60, 22)},
     2,
     "data",
     u"x/y",
     0,
     "a",
     "text/plain"},
    {"an uncertain score needs a MIME type",
     {F("a", 50, 25)},
     1,
     "data",
     nullptr,
     Res_docTypeNoMime,
     "",
     "(null)"},
    {"a MIME type raises the content's handler to certain",
     {F("t", 50, 25, "text/plain", 100, 1)},
     1,
     "data",
     u"Text/Plain",
     0,
     "t",
     "text/plain"},
    {"a MIME match must beat the content score",
     {F("a", 60, 25), F("b", 0, 0, "x/y", 60)},
     2,
     "data",
     u"x/y",
     0,
     "a",
     "text/plain"},
    {"MIME alone for a handler that needs content",
     {F("w", 0, 0, "application/msword", 100), F("t", 0, 0)},
     2,
     "data",
     u"application/msword",
     Res_docTypeNeedsContent,
     "",
     "(null)"},
    {"MIME alone for a handler that accepts it",
     {F("w", 0, 0, "application/msword", 100), F("t", 0, 0, "text/plain", 100, 1)},
     2,
     "data",
     u"text/plain",
     0,
     "t",
     "(null)"},
    {"a failing sniffer is skipped",
     {F("a", 0, 0, nullptr, 0, 0, 3594), F("b", 100, 22)},
     2,
     "data",
     nullptr,
     0,
     "b",
     "application/pdf"},
    {"every sniffer failing means no data",
     {F("a", 0, 0, nullptr, 0, 0, 3594), F("b", 0, 0, nullptr, 0, 0, 777)},
     2,
     "data",
     u"text/plain",
     Res_docTypeNoData,
     "",
     "(null)"},
    {"out of memory in a sniffer ends recognition",
     {F("a", 0, 0, nullptr, 0, 0, Res_noMemory), F("b", 100, 22)},
     2,
     "data",
     nullptr,
     Res_noMemory,
     "",
     "(null)"},
    {"disabled handlers are not asked to sniff",
     {F("a", 100, 6, nullptr, 0, 0, 0, 0), F("b", 30, 25, "x/y", 0)},
     2,
     "data",
     u"x/y",
     0,
     "b",
     "text/plain"},
    {"disabled handlers still rate MIME types",
     {F("a", 100, 6, "x/y", 100, 1, 0, 0), F("b", 0, 0)},
     2,
     "data",
     u"x/y",
     0,
     "a",
     "(null)"},
    {"an empty stream is refused though a MIME type exists",
     {F("a", 0, 0), F("b", 0, 0, "x/z", 100)},
     2,
     "",
     u"x/y",
     Res_docTypeNoData,
     "",
     "(null)"},
    {"nothing matched: the stream's MIME type comes back",
     {F("a", 0, 0), F("b", 0, 0)},
     2,
     "data",
     u"x/unknown",
     Res_docTypeUnknown,
     "",
     "x/unknown"},
    // A sniffer that answers without writing its score must not inherit
    // the score of the handler asked before it.
    {"the score is reset for each handler",
     {F("a", 100, 6, nullptr, 0, 0, 3594), F("b", 0, 0, nullptr, 0, 0, 0, 1, true), F("c", 30, 25)},
     3,
     "data",
     u"x/y",
     0,
     "c",
     "text/plain"},
};

TEST_F(RegistryTest, RecognitionStages)
{
    for (const RecogniseCase &c : kCases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < c.handlerCount; i++)
            ASSERT_EQ(registerFake(ctx, &c.handlers[i]), Res_ok);
        std::string handler, mime;
        EXPECT_EQ(recognise(c.bytes, c.mime, &handler, &mime), c.code);
        EXPECT_EQ(handler, c.handler);
        EXPECT_EQ(mime, c.outMime);
        DocType_freeRegistry(ctx, registry);
        ASSERT_EQ(DocType_newRegistry(ctx, &registry), Res_ok);
        ctx->docHandlers = registry;
    }
}

TEST_F(RegistryTest, CertainContentStopsTheWalk)
{
    int sniffs = 0;
    FakeScript &a = scripts[0] =
        FakeScript{"a", 100, 6, 0, false, nullptr, 0, 0, 1, nullptr, &sniffs};
    FakeScript &b = scripts[1] =
        FakeScript{"b", 100, 22, 0, false, nullptr, 0, 0, 1, nullptr, &sniffs};
    ASSERT_EQ(registerFake(ctx, &a), Res_ok);
    ASSERT_EQ(registerFake(ctx, &b), Res_ok);
    std::string handler, mime;
    EXPECT_EQ(recognise("x", nullptr, &handler, &mime), Res_ok);
    EXPECT_EQ(handler, "a");
    EXPECT_EQ(mime, "application/msword");
    EXPECT_EQ(sniffs, 1);
}

TEST_F(RegistryTest, NoHandlersAnswerNoData)
{
    std::string handler, mime;
    EXPECT_EQ(recognise("x", u"text/plain", &handler, &mime), Res_docTypeNoData);
}

TEST_F(RegistryTest, MatchMimeKeepsTheFirstOfEqualsAndStopsAtCertain)
{
    FakeScript &a = scripts[0] = FakeScript{"a", 0, 0, 0, false, "x/y", 70, 0, 1, nullptr, nullptr};
    FakeScript &b = scripts[1] = FakeScript{"b", 0, 0, 0, false, "x/y", 70, 0, 1, nullptr, nullptr};
    FakeScript &c = scripts[2] =
        FakeScript{"c", 0, 0, 0, false, "x/y", 100, 0, 1, nullptr, nullptr};
    FakeScript &d = scripts[3] =
        FakeScript{"d", 0, 0, 0, false, "x/y", 100, 0, 1, nullptr, nullptr};
    for (const FakeScript *s : {&a, &b, &c, &d})
        ASSERT_EQ(registerFake(ctx, s), Res_ok);
    DocTypeNode *best = nullptr;
    int32_t score = 0;
    EXPECT_EQ(DocType_matchMime(ctx, registry->head, u"X/Y", &best, &score), Res_ok);
    EXPECT_EQ(fakeName(&best->desc), "c");
    EXPECT_EQ(score, 100);
    best = nullptr;
    score = 0;
    EXPECT_EQ(DocType_matchMime(ctx, registry->head->next, u"x/y", &best, &score), Res_ok);
    EXPECT_EQ(fakeName(&best->desc), "c");
    best = nullptr;
    score = 80;
    EXPECT_EQ(DocType_matchMime(ctx, registry->head, u"x/y", &best, &score), Res_ok);
    EXPECT_EQ(fakeName(&best->desc), "c");
}

TEST_F(RegistryTest, KeepErrorKeepsOnlyOutOfMemoryAndStop)
{
    EXPECT_EQ(DocType_keepError(ctx, Res_noMemory), Res_noMemory);
    EXPECT_EQ(DocType_keepError(ctx, Res_stopRequested), Res_stopRequested);
    EXPECT_EQ(DocType_keepError(ctx, 3594), Res_ok);
    EXPECT_EQ(DocType_keepError(ctx, Res_docTypeUnknown), Res_ok);
}

// The file-name stage: the extension's MIME type is rated and becomes the
// MIME text reported on failure; the extension's type id replaces the
// best one only when a handler wins by it.
TEST_F(RegistryTest, FileNameStage)
{
    FakeScript &t = scripts[0] =
        FakeScript{"t", 0, 0, 0, false, "text/plain", 100, 1, 1, nullptr, nullptr};
    FakeScript &w = scripts[1] =
        FakeScript{"w", 0, 0, 0, false, "application/msword", 100, 0, 1, nullptr, nullptr};
    ASSERT_EQ(registerFake(ctx, &t), Res_ok);
    ASSERT_EQ(registerFake(ctx, &w), Res_ok);

    // Nothing wins by ".xyz": no handler, the extension's MIME text.
    DocTypeRecognition s{};
    s.contentRecognised = 1;
    EXPECT_EQ(DocType_fileNameStage(ctx, u"a.xyz", &s), Res_ok);
    const char16_t *mime = nullptr;
    Edr_HandlerDesc *d = nullptr;
    EXPECT_EQ(DocType_result(&s, &mime, &d), Res_docTypeUnknown);
    EXPECT_EQ(S(mime), "application/octet-stream");

    // ".doc" wins for the Word handler, which needs content.
    s = DocTypeRecognition{};
    s.contentRecognised = 0;
    EXPECT_EQ(DocType_fileNameStage(ctx, u"Report.DOC", &s), Res_ok);
    EXPECT_EQ(s.bestType, 6u);
    EXPECT_EQ(DocType_result(&s, &mime, &d), Res_docTypeNeedsContent);

    // ".txt" wins for the text handler: its type becomes the answer.
    s = DocTypeRecognition{};
    EXPECT_EQ(DocType_fileNameStage(ctx, u"notes.txt", &s), Res_ok);
    EXPECT_EQ(DocType_result(&s, &mime, &d), Res_ok);
    EXPECT_EQ(d, &registry->head->desc);
    EXPECT_EQ(S(mime), "text/plain");

    // Content chose the text handler at 50 with type 25; a ".doc" name
    // does not beat it, so the type stays the content's.
    s = DocTypeRecognition{};
    s.contentRecognised = 1;
    s.best = registry->head;
    s.bestScore = 50;
    s.bestType = 25;
    EXPECT_EQ(DocType_fileNameStage(ctx, u"odd.pdf", &s), Res_ok);
    EXPECT_EQ(s.best, registry->head);
    EXPECT_EQ(s.bestType, 25u);
    EXPECT_EQ(DocType_result(&s, &mime, &d), Res_ok);
    EXPECT_EQ(S(mime), "text/plain");
}

} // namespace
