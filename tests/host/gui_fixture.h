// Test support for the GUI host: recorders for the engine calls the host
// makes, a log of the custom events a bridge receives, a host context
// without an engine whose events go to such a log, and the en-gb catalogue.
#pragma once

#include <QEvent>
#include <QObject>
#include <QString>
#include <QTranslator>

#include <functional>
#include <string>
#include <vector>

#include "host/guihost.h"
#include "host/qalien.h"
#include "host/toolkit/toolkit.h"

// One engine call the host made: its name, its integer arguments and its
// text argument (when it has one).
struct EngineCall {
    std::string name;
    intptr_t a = 0;
    intptr_t b = 0;
    intptr_t c = 0;
    std::string text;
};

// While one exists, every engine call of the host is recorded; with
// forward set the engine's own function runs afterwards, else the call
// answers 1 (0 for the reads).
class CallRecorder {
  public:
    explicit CallRecorder(bool forward = true);
    ~CallRecorder();
    static std::vector<EngineCall> &calls();
    static int count(const std::string &name);
    // The calls of that name, in order.
    static std::vector<EngineCall> named(const std::string &name);
    // Forgets the calls, and the reads' answers go back to 0.
    static void clear();
    // What the two reads of the view's edit state answer: a document whose
    // text can be selected (when not forwarded), a selection made (when
    // set, forwarded or not).
    static int actionsEnabled;
    static int editActive;
};

// One custom event: its type, its integer payload and what its payload
// said (a text, an archive entry, whether there was one).
struct SeenEvent {
    int type = 0;
    intptr_t value = 0;
    bool custom = false;
    QString text;
    bool hasEntry = false;
    DirEntry entry;
};

// Records custom events 1001 to 1025: as the receiver of a host context's
// posts (their payloads are disposed of with the events), or as an event
// filter on a bridge (which then handles them as always).
class EventLog : public QObject {
  public:
    std::vector<SeenEvent> events;
    // The events of that type.
    std::vector<SeenEvent> ofType(int type) const;
    int count(int type) const;
    void clear()
    {
        events.clear();
    }

  protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

  private:
    void note(QEvent *e);
};

// A host context without an engine: the services post to the log.
class ServiceHarness {
  public:
    ServiceHarness();
    ~ServiceHarness();
    HostContext *host = nullptr;
    GuiHostData *data = nullptr;
    EventLog log;
    // Delivers every posted event.
    void pump();

  private:
    void *m_cell = nullptr;
    HostContext *m_previous = nullptr;
};

// Delivers every posted event, including those that delivering posts.
void pumpEvents();
// Runs the event loop (timers included) until the condition holds; false
// when the time ran out first.
bool runUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

// The en-gb catalogue that lrelease built, installed while this lives;
// hidden keys are left untranslated.
class Catalogue : public QTranslator {
  public:
    explicit Catalogue(std::vector<std::string> hidden = {});
    ~Catalogue() override;
    bool loaded() const
    {
        return m_loaded;
    }
    QString translate(const char *context, const char *sourceText,
                      const char *disambiguation = nullptr, int n = -1) const override;
    bool isEmpty() const override
    {
        return m_inner.isEmpty();
    }

  private:
    QTranslator m_inner;
    std::vector<std::string> m_hidden;
    bool m_loaded = false;
};

// The directory of the built catalogues.
QString catalogueDirectory();
