// Helpers for tests of style sets, readers and the inline walk: property
// values by kind, rules with match keys, style sheets added to a document,
// groups with own rule lists, and computing under the read lock.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "core/style/stylerule.h"
#include "document/style/style.h"
#include "platform/api/request.h"
#include "tests/document/edr_fixture.h"

namespace styletest {

inline Prop len(uint32_t id, int32_t v)
{
    Prop p{};
    Prop_setLength(&p, id, v);
    return p;
}
inline Prop kw(uint32_t id, uint16_t k)
{
    Prop p{};
    Prop_setType(&p, id, k);
    return p;
}
inline Prop num(uint32_t id, int32_t n)
{
    Prop p{};
    Prop_setInt(&p, id, n);
    return p;
}
inline Prop em(uint32_t id, int32_t v)
{
    Prop p{};
    Prop_setWord(&p, id, PropType_em, uint32_t(v));
    return p;
}
inline Prop pct(uint32_t id, int32_t percent)
{
    Prop p{};
    Prop_setWord(&p, id, PropType_percent, uint32_t(percent) << 16);
    return p;
}
inline Prop col(uint32_t id, uint32_t word)
{
    Prop p{};
    Prop_setWord(&p, id, PropType_colour, word);
    return p;
}
inline Prop important(Prop p)
{
    p.flags |= Prop_flagPrecedence;
    return p;
}

// A rule with copies of the values, the match items {key, state} (weight 0
// each) and the weight.
inline StyleRule *rule(std::initializer_list<Prop> props,
                       std::initializer_list<std::pair<uint32_t, uint32_t>> keys = {},
                       uint32_t weight = 0)
{
    StyleRule *r = nullptr;
    EXPECT_EQ(StyleRule_create(&r), 0);
    for (const Prop &p : props)
        EXPECT_EQ(StyleRule_appendProp(r, &p), 0);
    for (auto k : keys)
        EXPECT_EQ(StyleRule_addMatch(r, k.first, k.second, 0), 0);
    StyleRule_setWeight(r, weight);
    return r;
}

// Adds a style sheet of the kind holding the rules (taken over).
inline void sheet(EngineContext *ctx, Edr_Doc *doc, uint32_t kind,
                  std::initializer_list<StyleRule *> rules)
{
    Request *q = nullptr;
    ASSERT_EQ(Request_new(ctx, kind, &q), 0);
    for (StyleRule *r : rules) {
        StyleRule *taken = r;
        ASSERT_EQ(Request_addItem(q, &taken), 0);
    }
    ASSERT_EQ(Edr_Doc_addRequest(doc, q), 0);
    Request_release(q);
}

// A group as the last child of parent, with a reference the document's
// teardown makes moot.
inline Edr_Node *group(Edr_Doc *doc, Edr_Node *parent, uint32_t element = 0)
{
    Edr_Node *n = nullptr;
    EXPECT_EQ(Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, element, &n), 0);
    return n;
}

// Sets own rule list slot (1: presentational, 2: inline) of a group.
inline void own(Edr_Doc *doc, Edr_Node *g, uint32_t slot, StyleRule *r)
{
    ASSERT_EQ(Edr_Node_setPropList(doc, g, slot, r), 0);
}

// The set of node under parent, computed under the read lock (null on error).
inline Edr_Style *compute(Edr_Doc *doc, Edr_Node *node, Edr_Style *parent = nullptr)
{
    Edr_Style *s = nullptr;
    Edr_Doc_readLock(doc);
    int err = Edr_Style_computeForNode(doc, &s, parent, node);
    Edr_Doc_readUnlock(doc);
    EXPECT_EQ(err, 0);
    return s;
}

inline int32_t lengthOf(const Edr_Style *s, uint32_t id)
{
    Edr_StylePayload p{};
    EXPECT_EQ(Edr_Style_get(s, id, &p), uint32_t(PropType_length)) << "property " << id;
    return int32_t(uint32_t(p.word));
}

inline uint32_t wordOf(const Edr_Style *s, uint32_t id)
{
    Edr_StylePayload p{};
    Edr_Style_get(s, id, &p);
    return uint32_t(p.word);
}

} // namespace styletest
