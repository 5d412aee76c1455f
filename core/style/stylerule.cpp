// Style rules: the property list, the match list and setting precedence.
#include "core/style/stylerule.h"

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

// A new item holding a copy of *value; null with *err set on failure.
StylePropItem *newItem(const Prop *value, int *err)
{
    StylePropItem *item = static_cast<StylePropItem *>(Mem_calloc(1, sizeof(StylePropItem)));
    if (!item) {
        *err = Res_noMemory;
        return nullptr;
    }
    *err = Prop_copy(&item->value, value);
    if (*err) {
        Prop_free(&item->value);
        Mem_free(item);
        return nullptr;
    }
    return item;
}

void freeItem(StylePropItem *item)
{
    Prop_free(&item->value);
    Mem_free(item);
}

void appendItem(StyleRule *rule, StylePropItem *item)
{
    item->next = nullptr;
    if (rule->lastProp)
        rule->lastProp->next = item;
    else
        rule->firstProp = item;
    rule->lastProp = item;
}

size_t countProps(const StyleRule *rule)
{
    size_t n = 0;
    for (const StylePropItem *p = rule->firstProp; p; p = p->next)
        n++;
    return n;
}

// 1 when every value of a has an equal value in b.
bool allIn(const StyleRule *a, const StyleRule *b)
{
    for (const StylePropItem *p = a->firstProp; p; p = p->next) {
        const StylePropItem *q = b->firstProp;
        while (q && !Prop_equal(&p->value, &q->value))
            q = q->next;
        if (!q)
            return false;
    }
    return true;
}

} // namespace

int StyleRule_create(StyleRule **out)
{
    *out = static_cast<StyleRule *>(Mem_calloc(1, sizeof(StyleRule)));
    return *out ? 0 : Res_noMemory;
}

void StyleRule_clearProps(StyleRule *rule)
{
    StylePropItem *p = rule->firstProp;
    while (p) {
        StylePropItem *next = p->next;
        freeItem(p);
        p = next;
    }
    rule->firstProp = nullptr;
    rule->lastProp = nullptr;
}

void StyleRule_destroy(StyleRule *rule)
{
    if (!rule)
        return;
    StyleMatch *m = rule->matches;
    while (m) {
        StyleMatch *next = m->next;
        Mem_free(m);
        m = next;
    }
    StyleRule_clearProps(rule);
    Mem_free(rule);
}

int StyleRule_addMatch(StyleRule *rule, uint32_t key, uint32_t value, uint32_t weight)
{
    StyleMatch *m = static_cast<StyleMatch *>(Mem_malloc(sizeof(StyleMatch)));
    if (!m)
        return Res_noMemory;
    *m = StyleMatch{key, value, nullptr};
    StyleMatch **link = &rule->matches;
    while (*link)
        link = &(*link)->next;
    *link = m;
    rule->weight += weight;
    return 0;
}

int StyleRule_addMatch1(StyleRule *rule, uint32_t key)
{
    return StyleRule_addMatch(rule, key, 0, 1);
}

int StyleRule_addMatch10(StyleRule *rule, uint32_t key)
{
    return StyleRule_addMatch(rule, key, 0, 10);
}

void StyleRule_setWeight(StyleRule *rule, uint32_t weight)
{
    rule->weight = weight;
}

int StyleRule_appendProp(StyleRule *rule, const Prop *value)
{
    int err;
    StylePropItem *item = newItem(value, &err);
    if (!item)
        return err;
    appendItem(rule, item);
    return 0;
}

int StyleRule_appendPropOnce(StyleRule *rule, const Prop *value)
{
    if (StyleRule_findProp(rule, value->id))
        return 0;
    return StyleRule_appendProp(rule, value);
}

int StyleRule_appendProps(StyleRule *rule, const StyleRule *other)
{
    // Counted first, so that appending a rule to itself copies each value
    // once instead of chasing its own new tail.
    size_t n = countProps(other);
    const StylePropItem *p = other->firstProp;
    for (size_t i = 0; i < n; i++, p = p->next) {
        int err = StyleRule_appendProp(rule, &p->value);
        if (err)
            return err;
    }
    return 0;
}

int StyleRule_setProp(StyleRule *rule, const Prop *value, int *changed)
{
    *changed = 0;
    StylePropItem *prev = nullptr, *found = rule->firstProp;
    while (found && found->value.id != value->id) {
        prev = found;
        found = found->next;
    }
    if (found) {
        if (Prop_testFlags(&found->value, Prop_flagPrecedence) &&
            !Prop_testFlags(value, Prop_flagPrecedence))
            return 0;
        if (Prop_equal(&found->value, value))
            return 0;
    }
    *changed = 1;
    int err;
    StylePropItem *item = newItem(value, &err);
    if (!item)
        return err;
    if (!found) {
        appendItem(rule, item);
        return 0;
    }
    item->next = found->next;
    if (prev)
        prev->next = item;
    else
        rule->firstProp = item;
    if (rule->lastProp == found)
        rule->lastProp = item;
    freeItem(found);
    return 0;
}

int StyleRule_removeProp(StyleRule *rule, uint32_t id, int *removed)
{
    *removed = 0;
    StylePropItem *prev = nullptr, *p = rule->firstProp;
    while (p && p->value.id != id) {
        prev = p;
        p = p->next;
    }
    if (!p)
        return 0;
    if (prev)
        prev->next = p->next;
    else
        rule->firstProp = p->next;
    if (rule->lastProp == p)
        rule->lastProp = prev;
    freeItem(p);
    *removed = 1;
    return 0;
}

StylePropItem *StyleRule_findProp(const StyleRule *rule, uint32_t id)
{
    StylePropItem *p = rule->firstProp;
    while (p && p->value.id != id)
        p = p->next;
    return p;
}

StylePropItem *StyleRule_firstProp(const StyleRule *rule)
{
    return rule ? rule->firstProp : nullptr;
}

StylePropItem *StyleRule_nextProp(StylePropItem *item, StylePropItem **current)
{
    *current = item;
    return item ? item->next : nullptr;
}

uint32_t StyleRule_firstKey(const StyleRule *rule)
{
    return rule && rule->matches ? rule->matches->key : 0;
}

int StyleRule_hasNoProps(const StyleRule *rule)
{
    return rule->firstProp == nullptr ? 1 : 0;
}

int StyleRule_clone(StyleRule **out, const StyleRule *source)
{
    *out = nullptr;
    if (!source)
        return 0;
    StyleRule *copy;
    int err = StyleRule_create(&copy);
    if (err)
        return err;
    err = StyleRule_appendProps(copy, source);
    for (const StyleMatch *m = source->matches; m && !err; m = m->next)
        err = StyleRule_addMatch(copy, m->key, m->value, 0);
    if (err) {
        StyleRule_destroy(copy);
        return err;
    }
    copy->weight = source->weight;
    *out = copy;
    return 0;
}

int StyleRule_equalProps(const StyleRule *a, const StyleRule *b)
{
    if (!a || !b)
        return 0;
    if (countProps(a) != countProps(b))
        return 0;
    return allIn(a, b) && allIn(b, a) ? 1 : 0;
}
