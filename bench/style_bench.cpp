// Style computation on a document with thousands of style rules: the rule
// index files each rule under one key of its last step, so finding a
// node's rules costs one hash probe per node key plus the rules filed
// there, whatever the number of rules in the sheets. BM_StyleCompute
// computes the sets of a page of nodes (each with an element and two
// classes, under a parent) against sheets of range(0) rules; its time per
// node should stay flat as the rule count grows. BM_StyleIndexCompile
// shows the one-time cost of compiling the index for range(0) rules.
#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

#include "core/style/stylerule.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/worker.h"
#include "core/text/strtable.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "platform/api/engine.h"
#include "platform/api/request.h"
#include "tests/support/test_engine.h"

namespace {

constexpr int kNodes = 200;

// Runs fn on an engine task (documents take engine locks) until it ends.
void onTask(TestEngine *e, std::function<void()> fn)
{
    Task *t = nullptr;
    if (Task_create(
            e->context, &t, 3, [](void *arg) { (*static_cast<std::function<void()> *>(arg))(); },
            &fn, "bench", 4096))
        return;
    Task_detach(t);
    TestEngine_runAll(e, 1000000);
}

struct Doc {
    TestEngine e{};
    Edr_Doc *doc = nullptr;
    Edr_Node *root = nullptr;
    Edr_Node *body = nullptr;
    std::vector<Edr_Node *> nodes;

    bool open(int rules)
    {
        if (Worker_initPool(e.context) ||
            AppMsg_createDispatcher(e.context, &e.context->eventProc) ||
            Edr_App_init(e.context, 0) || Edr_Doc_create(e.context, &doc, &root) ||
            Edr_Doc_setStringTable(doc, StrTable_create(nullptr)))
            return false;
        // Names: 50 elements, rules/4 classes, so each class key holds a
        // few rules and most classes of a node are met by some rule.
        std::vector<uint32_t> elements, classes;
        for (int i = 0; i < 50; i++)
            elements.push_back(intern(u"e" + num(i)));
        int classCount = rules / 4 + 1;
        for (int i = 0; i < classCount; i++)
            classes.push_back(intern(u".c" + num(i)));
        Request *sheet = nullptr;
        if (Request_new(e.context, 2, &sheet))
            return false;
        for (int i = 0; i < rules; i++) {
            StyleRule *r = nullptr;
            if (StyleRule_create(&r))
                return false;
            Prop v{};
            Prop_setLength(&v, uint32_t(51 + i % 4), i);
            (void)StyleRule_appendProp(r, &v);
            // A quarter are descendant rules "eN .cM", the rest ".cM".
            if (i % 4 == 0)
                (void)StyleRule_addMatch(r, elements[size_t(i) % elements.size()], 0, 1);
            (void)StyleRule_addMatch(r, classes[size_t(i * 7) % classes.size()], 0, 10);
            if (Request_addItem(sheet, &r))
                return false;
        }
        if (Edr_Doc_addRequest(doc, sheet))
            return false;
        Request_release(sheet);
        if (Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, elements[0], &body))
            return false;
        for (int i = 0; i < kNodes; i++) {
            Edr_Node *n = nullptr;
            if (Edr_Node_createGroup(doc, body, Edr_Insert_lastChild,
                                     elements[size_t(i) % elements.size()], &n))
                return false;
            (void)Edr_Node_addId(doc, n, classes[size_t(i * 13) % classes.size()]);
            (void)Edr_Node_addId(doc, n, classes[size_t(i * 29 + 1) % classes.size()]);
            nodes.push_back(n);
        }
        return true;
    }
    void close()
    {
        Edr_Doc_release(doc);
        Edr_App_fini(e.context);
        AppMsg_destroyDispatcher(e.context->eventProc);
        e.context->eventProc = nullptr;
        Worker_shutdownPool(e.context);
    }
    uint32_t intern(const std::u16string &s)
    {
        uint32_t id = 0;
        (void)Edr_Doc_internStringZ(doc, s.c_str(), &id);
        return id;
    }
    static std::u16string num(int i)
    {
        std::string s = std::to_string(i);
        return std::u16string(s.begin(), s.end());
    }
};

void BM_StyleCompute(benchmark::State &state)
{
    Doc d;
    if (!TestEngine_open(&d.e, 256u << 20)) {
        state.SkipWithError("no engine");
        return;
    }
    onTask(&d.e, [&] {
        if (!d.open(int(state.range(0)))) {
            state.SkipWithError("set-up failed");
            return;
        }
        Edr_Doc_readLock(d.doc);
        Edr_Style *bodySet = nullptr;
        (void)Edr_Style_computeForNode(d.doc, &bodySet, nullptr, d.body);
        for (auto _ : state) {
            for (Edr_Node *n : d.nodes) {
                Edr_Style *s = nullptr;
                (void)Edr_Style_computeForNode(d.doc, &s, bodySet, n);
                benchmark::DoNotOptimize(s);
                Edr_Style_release(s);
            }
        }
        Edr_Style_release(bodySet);
        Edr_Doc_readUnlock(d.doc);
        state.SetItemsProcessed(state.iterations() * kNodes);
        d.close();
    });
    TestEngine_close(&d.e);
}
BENCHMARK(BM_StyleCompute)->UseRealTime()->Arg(100)->Arg(1000)->Arg(5000)->Arg(20000);

void BM_StyleIndexCompile(benchmark::State &state)
{
    Doc d;
    if (!TestEngine_open(&d.e, 256u << 20)) {
        state.SkipWithError("no engine");
        return;
    }
    onTask(&d.e, [&] {
        if (!d.open(int(state.range(0)))) {
            state.SkipWithError("set-up failed");
            return;
        }
        Edr_Doc_readLock(d.doc);
        for (auto _ : state) {
            Edr_StyleCtx_dropIndex(Edr_StyleCtx_get(d.doc));
            Edr_Style *s = nullptr;
            (void)Edr_Style_computeForNode(d.doc, &s, nullptr, d.nodes[0]);
            Edr_Style_release(s);
        }
        Edr_Doc_readUnlock(d.doc);
        state.SetItemsProcessed(state.iterations() * state.range(0));
        d.close();
    });
    TestEngine_close(&d.e);
}
BENCHMARK(BM_StyleIndexCompile)->UseRealTime()->Arg(1000)->Arg(5000)->Arg(20000);

} // namespace
