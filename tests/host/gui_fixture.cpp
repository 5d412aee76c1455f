// Test support for the GUI host.
#include "tests/host/gui_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdlib>

#include "document/edit/editdata.h"
#include "platform/api/editing.h"

namespace {

std::vector<EngineCall> recorded;
HostEngineCalls realCalls;
bool forwarding = true;

void note(const char *name, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0,
          const char *text = nullptr)
{
    recorded.push_back(EngineCall{name, a, b, c, text ? text : ""});
}

// Each recorder notes its call, then makes the engine's own call or
// answers as a posted call does.
#define FORWARD(call, answer) return forwarding ? realCalls.call : (answer)

HostEngineCalls recorders()
{
    HostEngineCalls t{};
    t.openDocument = [](EngineInstance *e, const char *p, intptr_t a, intptr_t f) {
        note("openDocument", a, f, 0, p);
        FORWARD(openDocument(e, p, a, f), 1);
    };
    t.saveDocumentAs = [](EngineInstance *e, const char *p) {
        note("saveDocumentAs", 0, 0, 0, p);
        FORWARD(saveDocumentAs(e, p), 1);
    };
    t.isModified = [](EngineInstance *e) {
        note("isModified");
        FORWARD(isModified(e), 0);
    };
    t.clearModified = [](EngineInstance *e) {
        note("clearModified");
        FORWARD(clearModified(e), 1);
    };
    t.setupEditMode = [](EngineInstance *e) {
        note("setupEditMode");
        FORWARD(setupEditMode(e), 1);
    };
    t.postPageStep = [](EngineInstance *e, intptr_t c) {
        note("postPageStep", c);
        FORWARD(postPageStep(e, c), 1);
    };
    t.gotoPage = [](EngineInstance *e, int32_t n) {
        note("gotoPage", n);
        FORWARD(gotoPage(e, n), 1);
    };
    t.scrollReport = [](EngineInstance *e) {
        note("scrollReport");
        FORWARD(scrollReport(e), 1);
    };
    t.fit = [](EngineInstance *e, intptr_t c) {
        note("fit", c);
        FORWARD(fit(e, c), 1);
    };
    t.setRotation = [](EngineInstance *e, intptr_t v) {
        note("setRotation", v);
        FORWARD(setRotation(e, v), 1);
    };
    t.setScreenSize = [](EngineInstance *e, int32_t w, int32_t h, intptr_t a, intptr_t b) {
        note("setScreenSize", w, h, a | b);
        FORWARD(setScreenSize(e, w, h, a, b), 1);
    };
    t.deliverReply = [](EngineInstance *e, void *q) {
        note("deliverReply", reinterpret_cast<intptr_t>(q));
        FORWARD(deliverReply(e, q), 1);
    };
    t.gotoElement = [](EngineInstance *e, const char *s, intptr_t f) {
        note("gotoElement", f, 0, 0, s);
        FORWARD(gotoElement(e, s, f), 1);
    };
    t.searchStart = [](EngineInstance *e, const char *s, intptr_t a, intptr_t b, intptr_t c) {
        note("searchStart", a, b, c, s);
        FORWARD(searchStart(e, s, a, b, c), 1);
    };
    t.searchNext = [](EngineInstance *e) {
        note("searchNext");
        FORWARD(searchNext(e), 1);
    };
    t.searchFollowUp = [](EngineInstance *e) {
        note("searchFollowUp");
        FORWARD(searchFollowUp(e), 1);
    };
    t.searchCancel = [](EngineInstance *e) {
        note("searchCancel");
        FORWARD(searchCancel(e), 1);
    };
    t.setConfigInt = [](EngineInstance *e, const char *k, uint32_t v) {
        note("setConfigInt", intptr_t(v), 0, 0, k);
        FORWARD(setConfigInt(e, k, v), 1);
    };
    t.setConfigString = [](EngineInstance *e, const char *k, const char *v) {
        note("setConfigString", 0, 0, 0, (std::string(k) + "=" + v).c_str());
        FORWARD(setConfigString(e, k, v), 1);
    };
    t.sendKey = [](EngineInstance *e, intptr_t v) {
        note("sendKey", v);
        FORWARD(sendKey(e, v), 1);
    };
    t.documentShown = [](EngineInstance *e) {
        note("documentShown");
        FORWARD(documentShown(e), 1);
    };
    t.postContents = [](EngineInstance *e, const EditData *r, intptr_t m) {
        note("postContents", m, r ? intptr_t(r->styleFlags) : 0, r ? intptr_t(r->resizeMode) : 0,
             r && r->text ? r->text : nullptr);
        FORWARD(postContents(e, r, m), 1);
    };
    t.insertCells = [](EngineInstance *e, intptr_t c) {
        note("insertCells", c);
        FORWARD(insertCells(e, c), 1);
    };
    t.deleteCells = [](EngineInstance *e, intptr_t c) {
        note("deleteCells", c);
        FORWARD(deleteCells(e, c), 1);
    };
    t.toggleContents = [](EngineInstance *e) {
        note("toggleContents");
        FORWARD(toggleContents(e), 1);
    };
    t.primaryAction = [](EngineInstance *e) {
        note("primaryAction");
        FORWARD(primaryAction(e), 1);
    };
    t.secondaryAction = [](EngineInstance *e) {
        note("secondaryAction");
        FORWARD(secondaryAction(e), 1);
    };
    t.pointerDown = [](EngineInstance *e) {
        note("pointerDown");
        FORWARD(pointerDown(e), 1);
    };
    t.pointerPan = [](EngineInstance *e, intptr_t x, intptr_t y, intptr_t a) {
        note("pointerPan", x, y, a);
        FORWARD(pointerPan(e, x, y, a), 1);
    };
    t.pointerZoom = [](EngineInstance *e, intptr_t x, intptr_t y, intptr_t a, intptr_t z) {
        note("pointerZoom", z, a, x << 16 | y);
        FORWARD(pointerZoom(e, x, y, a, z), 1);
    };
    t.editCall = [](EngineInstance *e, intptr_t x, intptr_t y, intptr_t c) {
        note("editCall", x, y, c);
        FORWARD(editCall(e, x, y, c), 1);
    };
    t.viewActionsEnabled = [](EngineInstance *e) {
        note("viewActionsEnabled");
        FORWARD(viewActionsEnabled(e), CallRecorder::actionsEnabled);
    };
    t.viewEditActive = [](EngineInstance *e) {
        note("viewEditActive");
        // A selection the test made stands even before the engine.
        if (CallRecorder::editActive)
            return CallRecorder::editActive;
        FORWARD(viewEditActive(e), 0);
    };
    t.listNext = [](EngineInstance *e, ZipListRequest *r, int32_t n) {
        note("listNext", reinterpret_cast<intptr_t>(r), n);
        FORWARD(listNext(e, r, n), 1);
    };
    t.listClose = [](EngineInstance *e, ZipListRequest *r) {
        note("listClose", reinterpret_cast<intptr_t>(r));
        FORWARD(listClose(e, r), 1);
    };
    t.listFree = [](ZipEntryList *l) {
        note("listFree", reinterpret_cast<intptr_t>(l));
        FORWARD(listFree(l), 1);
    };
    t.keyPress = [](EngineInstance *e, intptr_t k, intptr_t r) {
        note("keyPress", k, r);
        FORWARD(keyPress(e, k, r), 1);
    };
    t.keyRelease = [](EngineInstance *e, intptr_t k) {
        note("keyRelease", k);
        FORWARD(keyRelease(e, k), 1);
    };
    t.setFunctionNames = [](EngineInstance *e, const char *const *n) {
        note("setFunctionNames", 0, 0, 0, n ? n[24] : nullptr);
        FORWARD(setFunctionNames(e, n), 1);
    };
    t.setLocale = [](EngineInstance *e, const char *tag) {
        note("setLocale", 0, 0, 0, tag);
        FORWARD(setLocale(e, tag), 1);
    };
    t.setDateNames = [](EngineInstance *e, const char *l, const char *s, const char *t,
                        const char *dt, const char *const *d, const char *const *da,
                        const char *const *m, const char *const *ma, const char *const *ap) {
        note("setDateNames", 0, 0, 0, d ? d[0] : nullptr);
        FORWARD(setDateNames(e, l, s, t, dt, d, da, m, ma, ap), 1);
    };
    t.registerFonts = [](EngineContext *c) {
        note("registerFonts");
        if (forwarding)
            realCalls.registerFonts(c);
    };
    return t;
}

#undef FORWARD

} // namespace

CallRecorder::CallRecorder(bool forward)
{
    HostGui_resetEngineCalls();
    realCalls = HostGui_engineCalls();
    forwarding = forward;
    recorded.clear();
    HostGui_engineCalls() = recorders();
}

CallRecorder::~CallRecorder()
{
    HostGui_resetEngineCalls();
    recorded.clear();
}

std::vector<EngineCall> &CallRecorder::calls()
{
    return recorded;
}

int CallRecorder::count(const std::string &name)
{
    int n = 0;
    for (const EngineCall &c : recorded)
        n += c.name == name;
    return n;
}

std::vector<EngineCall> CallRecorder::named(const std::string &name)
{
    std::vector<EngineCall> out;
    for (const EngineCall &c : recorded)
        if (c.name == name)
            out.push_back(c);
    return out;
}

void CallRecorder::clear()
{
    recorded.clear();
    actionsEnabled = editActive = 0;
}

int CallRecorder::actionsEnabled = 0;
int CallRecorder::editActive = 0;

// ------------------------------------------------------------ events

std::vector<SeenEvent> EventLog::ofType(int type) const
{
    std::vector<SeenEvent> out;
    for (const SeenEvent &e : events)
        if (e.type == type)
            out.push_back(e);
    return out;
}

int EventLog::count(int type) const
{
    int n = 0;
    for (const SeenEvent &e : events)
        n += e.type == type;
    return n;
}

void EventLog::note(QEvent *e)
{
    SeenEvent seen;
    seen.type = int(e->type());
    auto *custom = dynamic_cast<QCustomEvent *>(e);
    seen.custom = custom != nullptr;
    if (custom) {
        seen.value = custom->value();
        void *data = custom->data();
        if (data && (seen.type == 1007 || seen.type == 1008 || seen.type == 1023))
            seen.text = *static_cast<QString *>(data);
        if (seen.type == 1022) {
            seen.hasEntry = data != nullptr;
            if (data)
                seen.entry = *static_cast<DirEntry *>(data);
        }
    }
    events.push_back(seen);
}

bool EventLog::event(QEvent *e)
{
    int type = int(e->type());
    if (type >= 1001 && type <= 1025) {
        note(e);
        return true;
    }
    return QObject::event(e);
}

bool EventLog::eventFilter(QObject *, QEvent *e)
{
    int type = int(e->type());
    if (type >= 1001 && type <= 1025)
        note(e);
    return false;
}

// ------------------------------------------------------------ harness

ServiceHarness::ServiceHarness()
{
    m_previous = HostGui_current();
    host = static_cast<HostContext *>(calloc(1, sizeof(HostContext)));
    data = new GuiHostData;
    data->width = 480;
    data->height = 592;
    data->fullHeight = 624;
    auto **cell = static_cast<void **>(malloc(sizeof(void *)));
    *cell = &log;
    m_cell = cell;
    host->ownerCell = cell;
    host->hostPrivate = data;
    HostGui_setCurrent(host);
}

ServiceHarness::~ServiceHarness()
{
    pump();
    free(data->cwd);
    delete data;
    free(m_cell);
    free(host);
    HostGui_setCurrent(m_previous);
}

void ServiceHarness::pump()
{
    pumpEvents();
}

void pumpEvents()
{
    for (int i = 0; i < 10; i++)
        QCoreApplication::sendPostedEvents(nullptr, 0);
}

bool runUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// ------------------------------------------------------------ catalogue

QString catalogueDirectory()
{
    return QStringLiteral(VEXLAN_CATALOGUE_DIR);
}

Catalogue::Catalogue(std::vector<std::string> hidden) : m_hidden(std::move(hidden))
{
    m_loaded = !findTranslation(&m_inner, catalogueDirectory(), QStringLiteral("vexlanedit"),
                                QStringLiteral("en-gb"))
                    .isNull();
    QCoreApplication::installTranslator(this);
}

Catalogue::~Catalogue()
{
    QCoreApplication::removeTranslator(this);
}

QString Catalogue::translate(const char *context, const char *sourceText,
                             const char *disambiguation, int n) const
{
    for (const std::string &key : m_hidden)
        if (key == sourceText)
            return QString();
    return m_inner.translate(context, sourceText, disambiguation, n);
}
