// The rule index of a style context: finds the sheet rules that match a
// node by hashing the node's keys.
//
// A rule's match items describe a selector step by step, the node itself
// last: each item is a key (an interned name such as "p", ".note",
// "#top", or a compound of them such as "p.note#top", or a plain number
// that an importer uses as a style key) with a state mask, and the markers
// 100000 (the next step is a child of the previous) and 100001 (the next
// step directly follows the previous among its siblings); consecutive keys
// without a marker are ancestor and descendant. Compiling splits every
// compound key into the ids of its parts, so a step is a set of keys that
// the node must all carry, and files each rule once under the last part of
// its last step (the id, else the last class, else the element) in an
// open-addressing hash table; rules of the universal key "*" go to a list
// of their own. Looking a node up then costs one probe per node key plus
// the rules actually filed under those keys.
//
// The index is compiled on first use and kept until Edr_Sect_lockAll sees
// a changed sheet, or until a computation notices that a sheet gained rules
// (the index remembers each sheet's last rule) or that names it could not
// resolve may have been interned since.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/text/strtable.h"
#include "document/edr/doc.h"
#include "document/style/style_internal.h"
#include "document/edr/requests.h"
#include "platform/api/request.h"

namespace {

enum : uint32_t {
    markerChild = 100000,
    markerAdjacent = 100001,
    combDescendant = 0,
    combAdjacent = 1,
    combChild = 2,
    noRule = 0xFFFFFFFFu,
    maxNameUnits = 256,
};

struct IdxStep {
    uint32_t firstPart;
    uint32_t partCount;
    uint32_t combinator; // relation to the previous step
    uint32_t state;      // state bits the node must have
};

struct IdxRule {
    const StyleRule *rule;
    int32_t weight;
    uint32_t sequence;
    uint32_t firstStep;
    uint32_t stepCount;
    uint32_t next; // next rule filed under the same key, or noRule
};

struct IdxSlot {
    uint32_t key; // 0: empty
    uint32_t head;
    uint32_t tail;
};

struct IdxSheet {
    const Request *sheet;
    const StyleRule *last;
};

} // namespace

struct Edr_StyleIndex {
    IdxRule *rules;
    uint32_t ruleCount, ruleCapacity;
    IdxStep *steps;
    uint32_t stepCount, stepCapacity;
    uint32_t *parts;
    uint32_t partCount, partCapacity;
    IdxSlot *slots;
    uint32_t slotMask;
    uint32_t universalHead, universalTail;
    IdxSheet *sheets;
    uint32_t sheetCount, sheetCapacity;
    uint32_t nameCount;  // names in the string table when compiled
    uint32_t unresolved; // some part named a string the table lacked
};

namespace style {

int grow(void **array, uint32_t *capacity, uint32_t need, size_t size)
{
    if (need <= *capacity)
        return Res_ok;
    uint32_t cap = *capacity ? *capacity : 8;
    while (cap < need)
        cap *= 2;
    void *p = Mem_realloc(*array, size_t(cap) * size);
    if (!p)
        return Res_noMemory;
    *array = p;
    *capacity = cap;
    return Res_ok;
}

uint32_t nodeKeys(Edr_Node *node, uint32_t keys[maxNodeKeys])
{
    Edr_Group *g = groupOf(node);
    if (!g)
        return 0;
    uint32_t n = 0;
    auto add = [&](uint32_t k) {
        if (!k || n == maxNodeKeys)
            return;
        for (uint32_t i = 0; i < n; i++)
            if (keys[i] == k)
                return;
        keys[n++] = k;
    };
    add(g->element);
    if (g->ids)
        for (const uint32_t *p = g->ids; *p; p++)
            add(*p);
    if (g->ext)
        add(g->ext->idName);
    return n;
}

uint32_t nodeState(Edr_Node *node)
{
    Edr_Group *g = groupOf(node);
    if (!g || !g->ext || !g->ext->url)
        return 0;
    return g->ext->urlFlag ? 16u : 8u;
}

bool hasSheets(Edr_Doc *doc)
{
    return DocRequests_lentAt(doc->requests, 0) != nullptr;
}

void freeIndex(Edr_StyleIndex *index)
{
    if (!index)
        return;
    Mem_free(index->rules);
    Mem_free(index->steps);
    Mem_free(index->parts);
    Mem_free(index->slots);
    Mem_free(index->sheets);
    Mem_free(index);
}

void learnNames(Edr_StyleCtx *context)
{
    StrTable *t = context->doc->strings;
    if (!t)
        return;
    if (!context->bodyId)
        context->bodyId = StrTable_findN(t, u"body", 4);
    if (!context->sectionId)
        context->sectionId = StrTable_findN(t, u"okalasection", 12);
    if (!context->starId)
        context->starId = StrTable_findN(t, u"*", 1);
}

} // namespace style

namespace {

using style::grow;

uint32_t nameCount(const StrTable *t)
{
    return t ? t->builtinCount + t->addedCount : 0;
}

uint32_t hashKey(uint32_t key)
{
    return (key * 0x9E3779B1u) ^ (key >> 15);
}

IdxSlot *findSlot(const Edr_StyleIndex *index, uint32_t key)
{
    if (!index->slots)
        return nullptr;
    for (uint32_t i = hashKey(key) & index->slotMask;; i = (i + 1) & index->slotMask) {
        IdxSlot *s = &index->slots[i];
        if (s->key == key)
            return s;
        if (!s->key)
            return nullptr;
    }
}

int addPart(Edr_StyleIndex *index, uint32_t id)
{
    if (grow(reinterpret_cast<void **>(&index->parts), &index->partCapacity, index->partCount + 1,
             sizeof(uint32_t)))
        return Res_noMemory;
    index->parts[index->partCount++] = id;
    return Res_ok;
}

// Splits key into the ids of its parts and appends them. *ok = false when
// a part is not in the string table (the step can never match now).
int addKeyParts(Edr_StyleIndex *index, Edr_StyleCtx *context, uint32_t key, bool *ok)
{
    *ok = true;
    StrTable *t = context->doc->strings;
    if (context->starId && key == context->starId)
        return Res_ok; // the universal key: no part to require
    const char *n8 = nullptr;
    const char16_t *n16 = nullptr;
    size_t len = 0;
    if (t && key <= StrTable_maxId)
        StrTable_entryAt(t, uint16_t(key), &n8, &n16, &len);
    if ((!n8 && !n16) || len < 2 || len > maxNameUnits)
        return addPart(index, key);
    char16_t name[maxNameUnits];
    for (size_t i = 0; i < len; i++)
        name[i] = n8 ? char16_t(uint8_t(n8[i])) : n16[i];
    size_t cuts = 0;
    for (size_t i = 1; i < len; i++)
        if (name[i] == u'.' || name[i] == u'#')
            cuts++;
    if (!cuts)
        return addPart(index, key); // a single name: the key itself
    size_t start = 0;
    for (size_t i = 1; i <= len; i++) {
        if (i < len && name[i] != u'.' && name[i] != u'#')
            continue;
        size_t n = i - start;
        if (!(n == 1 && name[start] == u'*')) {
            uint32_t id = StrTable_findN(t, name + start, n);
            if (!id) {
                *ok = false;
                return Res_ok;
            }
            if (int err = addPart(index, id))
                return err;
        }
        start = i;
    }
    return Res_ok;
}

// Files rule number r under key (0: the universal list), keeping each
// chain in sequence order.
int fileRule(Edr_StyleIndex *index, uint32_t r, uint32_t key)
{
    index->rules[r].next = noRule;
    if (!key) {
        if (index->universalHead == noRule)
            index->universalHead = r;
        else
            index->rules[index->universalTail].next = r;
        index->universalTail = r;
        return Res_ok;
    }
    for (uint32_t i = hashKey(key) & index->slotMask;; i = (i + 1) & index->slotMask) {
        IdxSlot *s = &index->slots[i];
        if (!s->key) {
            s->key = key;
            s->head = s->tail = r;
            return Res_ok;
        }
        if (s->key == key) {
            index->rules[s->tail].next = r;
            s->tail = r;
            return Res_ok;
        }
    }
}

// Adds one rule's steps; *kept = false when the rule can never match.
int addRule(Edr_StyleIndex *index, Edr_StyleCtx *context, const StyleRule *rule, uint32_t sequence,
            bool *kept)
{
    *kept = false;
    uint32_t firstStep = index->stepCount, firstPart = index->partCount;
    uint32_t comb = combDescendant;
    for (const StyleMatch *m = rule->matches; m; m = m->next) {
        if (m->key == markerChild || m->key == markerAdjacent) {
            comb = m->key == markerChild ? combChild : combAdjacent;
            continue;
        }
        if (grow(reinterpret_cast<void **>(&index->steps), &index->stepCapacity,
                 index->stepCount + 1, sizeof(IdxStep)))
            return Res_noMemory;
        IdxStep *s = &index->steps[index->stepCount];
        s->firstPart = index->partCount;
        s->combinator = comb;
        s->state = m->value;
        bool ok = true;
        if (int err = addKeyParts(index, context, m->key, &ok))
            return err;
        if (!ok) {
            index->unresolved = 1;
            index->stepCount = firstStep;
            index->partCount = firstPart;
            return Res_ok;
        }
        s->partCount = index->partCount - s->firstPart;
        index->stepCount++;
        comb = combDescendant;
    }
    if (index->stepCount == firstStep)
        return Res_ok;
    if (grow(reinterpret_cast<void **>(&index->rules), &index->ruleCapacity, index->ruleCount + 1,
             sizeof(IdxRule)))
        return Res_noMemory;
    IdxRule *r = &index->rules[index->ruleCount++];
    r->rule = rule;
    r->weight = int32_t(rule->weight);
    r->sequence = sequence;
    r->firstStep = firstStep;
    r->stepCount = index->stepCount - firstStep;
    *kept = true;
    return Res_ok;
}

int compile(Edr_StyleCtx *context, Edr_StyleIndex **out)
{
    *out = nullptr;
    style::learnNames(context);
    Edr_StyleIndex *index = static_cast<Edr_StyleIndex *>(Mem_calloc(1, sizeof(Edr_StyleIndex)));
    if (!index)
        return Res_noMemory;
    index->universalHead = index->universalTail = noRule;
    index->nameCount = nameCount(context->doc->strings);
    int err = Res_ok;
    uint32_t sequence = 0;
    DocRequestTable *table = context->doc->requests;
    for (uint32_t i = 0; Request *q = err ? nullptr : DocRequests_lentAt(table, i); i++) {
        if ((err = grow(reinterpret_cast<void **>(&index->sheets), &index->sheetCapacity,
                        index->sheetCount + 1, sizeof(IdxSheet))) != 0)
            break;
        index->sheets[index->sheetCount++] = IdxSheet{q, q->last};
        for (const StyleRule *r = q->first; r && !err; r = r->next) {
            bool kept = false;
            err = addRule(index, context, r, sequence++, &kept);
        }
    }
    if (!err) {
        uint32_t size = 16;
        while (size < index->ruleCount * 2)
            size *= 2;
        index->slots = static_cast<IdxSlot *>(Mem_calloc(size, sizeof(IdxSlot)));
        if (!index->slots)
            err = Res_noMemory;
        index->slotMask = size - 1;
    }
    for (uint32_t r = 0; r < index->ruleCount && !err; r++) {
        const IdxRule *rule = &index->rules[r];
        const IdxStep *subject = &index->steps[rule->firstStep + rule->stepCount - 1];
        uint32_t key =
            subject->partCount ? index->parts[subject->firstPart + subject->partCount - 1] : 0;
        err = fileRule(index, r, key);
    }
    if (err) {
        style::freeIndex(index);
        return err;
    }
    *out = index;
    return Res_ok;
}

bool isStale(Edr_StyleCtx *context, const Edr_StyleIndex *index)
{
    DocRequestTable *table = context->doc->requests;
    uint32_t i = 0;
    for (Request *q; (q = DocRequests_lentAt(table, i)) != nullptr; i++)
        if (i >= index->sheetCount || index->sheets[i].sheet != q ||
            index->sheets[i].last != q->last)
            return true;
    if (i != index->sheetCount)
        return true;
    return index->unresolved && nameCount(context->doc->strings) != index->nameCount;
}

bool hasKey(const uint32_t *keys, uint32_t n, uint32_t k)
{
    for (uint32_t i = 0; i < n; i++)
        if (keys[i] == k)
            return true;
    return false;
}

bool stepHolds(const Edr_StyleIndex *index, const IdxStep *s, const uint32_t *keys, uint32_t n,
               uint32_t state)
{
    if (s->state & ~state)
        return false;
    for (uint32_t i = 0; i < s->partCount; i++)
        if (!hasKey(keys, n, index->parts[s->firstPart + i]))
            return false;
    return true;
}

bool nodeHolds(const Edr_StyleIndex *index, const IdxStep *s, Edr_Node *node)
{
    if (!style::groupOf(node))
        return false;
    uint32_t keys[style::maxNodeKeys];
    uint32_t n = style::nodeKeys(node, keys);
    return stepHolds(index, s, keys, n, style::nodeState(node));
}

// The group sibling right before node, or null.
Edr_Node *previousGroup(Edr_Node *node)
{
    Edr_Node *parent = node->parentNode;
    Edr_Group *pg = style::groupOf(parent);
    Edr_Node *found = nullptr;
    for (Edr_Node *c = pg ? pg->firstChild : nullptr; c && c != node; c = c->next)
        if (style::groupOf(c))
            found = c;
    return found;
}

// Whether steps 0..i-1 of the rule match the ancestors (or the previous
// siblings) of node, which matched step i.
bool matchBefore(const Edr_StyleIndex *index, const IdxRule *rule, uint32_t i, Edr_Node *node)
{
    if (i == 0)
        return true;
    const IdxStep *step = &index->steps[rule->firstStep + i];
    const IdxStep *prev = step - 1;
    switch (step->combinator) {
    case combAdjacent: {
        Edr_Node *p = previousGroup(node);
        return p && nodeHolds(index, prev, p) && matchBefore(index, rule, i - 1, p);
    }
    case combChild: {
        Edr_Node *p = node->parentNode;
        return p && nodeHolds(index, prev, p) && matchBefore(index, rule, i - 1, p);
    }
    default:
        for (Edr_Node *a = node->parentNode; a; a = a->parentNode)
            if (nodeHolds(index, prev, a) && matchBefore(index, rule, i - 1, a))
                return true;
        return false;
    }
}

int addEntry(Edr_StyleCtx *context, const IdxRule *r)
{
    if (grow(reinterpret_cast<void **>(&context->entries), &context->entryCapacity,
             context->entryCount + 1, sizeof(Edr_StyleEntry)))
        return Res_noMemory;
    context->entries[context->entryCount++] = Edr_StyleEntry{r->rule, r->weight, r->sequence};
    return Res_ok;
}

int collectChain(Edr_StyleCtx *context, const Edr_StyleIndex *index, uint32_t head, Edr_Node *node,
                 const uint32_t *keys, uint32_t n, uint32_t state, bool withAncestors)
{
    for (uint32_t r = head; r != noRule; r = index->rules[r].next) {
        const IdxRule *rule = &index->rules[r];
        if (rule->stepCount > 1 && !withAncestors)
            continue;
        const IdxStep *subject = &index->steps[rule->firstStep + rule->stepCount - 1];
        if (!stepHolds(index, subject, keys, n, state))
            continue;
        if (rule->stepCount > 1 && !matchBefore(index, rule, rule->stepCount - 1, node))
            continue;
        if (int err = addEntry(context, rule))
            return err;
    }
    return Res_ok;
}

} // namespace

namespace style {

int collectRules(Edr_StyleCtx *context, Edr_Node *node, const uint32_t *keys, uint32_t keyCount,
                 uint32_t state, bool withAncestors)
{
    context->entryCount = 0;
    if (context->index && isStale(context, context->index))
        Edr_StyleCtx_dropIndex(context);
    if (!context->index) {
        if (int err = compile(context, &context->index))
            return err;
    }
    const Edr_StyleIndex *index = context->index;
    for (uint32_t i = 0; i < keyCount; i++) {
        const IdxSlot *s = findSlot(index, keys[i]);
        if (s) {
            if (int err = collectChain(context, index, s->head, node, keys, keyCount, state,
                                       withAncestors))
                return err;
        }
    }
    if (int err = collectChain(context, index, index->universalHead, node, keys, keyCount, state,
                               withAncestors))
        return err;
    std::sort(context->entries, context->entries + context->entryCount,
              [](const Edr_StyleEntry &a, const Edr_StyleEntry &b) {
                  return a.weight != b.weight ? a.weight < b.weight : a.sequence < b.sequence;
              });
    return Res_ok;
}

} // namespace style
