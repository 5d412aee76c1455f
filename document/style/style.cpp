// Style sets: defaults, sharing, reading, the cascade and the fix-ups.
//
// A set's 155 slots point at values it does not own (the context's
// defaults, the parent's values for inherited ids) or at its own values,
// kept together in one array. Growing that array re-points the slots that
// pointed into it. Children point into their parent's array too, which is
// safe because a set with children is shared (each child holds a
// reference) and a shared set is never changed in place.
//
// Computing a node's set starts from the defaults and the parent, applies
// the matching sheet rules and the node's own rule lists in weight bands
// (sheets without a kind, kind-1 sheets, the node's presentational list,
// kind-2 sheets, the node's inline list), with important and origin
// precedence, and then runs the fix-ups, which turn ems, percentages and
// size keywords into lengths against the font size.
#include "document/style/style.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "document/edr/doc.h"
#include "document/style/style_internal.h"
#include "document/edr/requests.h"
#include "platform/api/request.h"

namespace {

// Default type (a payload type up to 20, else a keyword) of ids 0 to 154.
constexpr uint16_t kDefaultTypes[Edr_Style_propCount] = {
    0,   121, 148, 0,   7,  7,   113, 124, 120, 120, 120, 120, 2,  2,  0,   0,   0,  0,   2,   2,
    2,   2,   34,  147, 0,  34,  34,  34,  34,  8,   0,   1,   0,  95, 74,  125, 0,  9,   97,  0,
    103, 103, 103, 103, 34, 34,  103, 0,   0,   108, 58,  2,   2,  2,  2,   34,  0,  0,   0,   2,
    2,   1,   78,  0,   2,  156, 2,   2,   2,   2,   34,  34,  34, 34, 131, 9,   34, 34,  34,  0,
    0,   2,   0,   0,   34, 103, 36,  73,  103, 1,   34,  103, 34, 2,  0,   0,   0,  0,   0,   0,
    0,   0,   0,   0,   1,  0,   0,   0,   0,   0,   0,   0,   0,  0,  0,   0,   0,  0,   0,   0,
    0,   0,   1,   0,   0,  196, 201, 8,   1,   203, 206, 206, 2,  2,  0,   0,   0,  156, 103, 0,
    0,   223, 221, 34,  1,  1,   1,   1,   9,   1,   1,   1,   9,  1,  0,
};

constexpr uint8_t kInherited[] = {7,   12,  13,  23,  29,  33,  35,  37,  38,  39,  40,  41,  42,
                                  43,  46,  47,  48,  49,  50,  61,  70,  73,  75,  79,  80,  81,
                                  83,  88,  89,  91,  102, 103, 105, 113, 114, 115, 116, 117, 118,
                                  119, 120, 121, 126, 127, 128, 129, 130, 131, 137, 138, 146};
static_assert(sizeof(kInherited) == 51, "51 inherited ids");

// Ids whose em values the fix-up resolves, walked from the last entry.
constexpr uint8_t kEmIds[] = {4,  5,  93, 96, 102, 103, 91, 46, 25, 26, 27, 28, 64, 86,
                              47, 66, 67, 68, 69,  51,  52, 53, 54, 55, 57, 58, 59, 60,
                              81, 82, 45, 22, 76,  84,  44, 90, 12, 13, 18, 19, 20, 21};

// The border and outline widths, whose width keywords become lengths.
constexpr uint32_t kEdgeWidthIds[] = {PropId_borderTopWidth, PropId_borderRightWidth,
                                      PropId_borderBottomWidth, PropId_borderLeftWidth,
                                      PropId_outlineWidth};

// Font sizes of the size keywords: 7, 8, 10, 12, 14, 18 and 24 points.
constexpr int32_t kSizeTable[] = {6372, 7282, 9102, 10923, 12743, 16384, 21845};

constexpr int32_t kDefaultFontSize = 10923;

bool isOwn(const Edr_Style *set, const Prop *p)
{
    return p && set->ownValues && p >= set->ownValues && p < set->ownValues + set->ownCount;
}

// The own value of id, or null when the slot points elsewhere.
Prop *ownOf(Edr_Style *set, uint32_t id)
{
    const Prop *p = set->slots[id];
    return isOwn(set, p) ? const_cast<Prop *>(p) : nullptr;
}

// Makes room for extra more own values, re-pointing the slots that point
// into the array when it moves.
int reserveOwn(Edr_Style *set, uint32_t extra)
{
    uint32_t need = uint32_t(set->ownCount) + extra;
    if (need <= set->ownCapacity)
        return Res_ok;
    if (need > Edr_Style_propCount)
        need = Edr_Style_propCount;
    uintptr_t oldBase = reinterpret_cast<uintptr_t>(set->ownValues);
    uintptr_t oldEnd = oldBase + set->ownCount * sizeof(Prop);
    Prop *p = static_cast<Prop *>(Mem_realloc(set->ownValues, need * sizeof(Prop)));
    if (!p)
        return Res_noMemory;
    if (reinterpret_cast<uintptr_t>(p) != oldBase) {
        for (uint32_t i = 0; i < Edr_Style_propCount; i++) {
            uintptr_t a = reinterpret_cast<uintptr_t>(set->slots[i]);
            if (oldBase && a >= oldBase && a < oldEnd)
                set->slots[i] = p + (a - oldBase) / sizeof(Prop);
        }
    }
    set->ownValues = p;
    set->ownCapacity = uint16_t(need);
    return Res_ok;
}

// A new zeroed own value for id, pointed at by its slot.
int newOwn(Edr_Style *set, uint32_t id, Prop **out)
{
    *out = nullptr;
    if (int err = reserveOwn(set, 1))
        return err;
    Prop *v = &set->ownValues[set->ownCount++];
    Prop_zero(v);
    v->id = id;
    set->slots[id] = v;
    *out = v;
    return Res_ok;
}

void adjustEms(Edr_Style *set, uint32_t oldType, uint32_t newType)
{
    if (newType == PropType_em && oldType != PropType_em)
        set->emCount++;
    else if (oldType == PropType_em && newType != PropType_em && set->emCount)
        set->emCount--;
}

// Where "inherit" takes its value from: the parent's value for the id
// (the default when the parent's slot holds another id or there is no
// parent); z-index becomes the integer 0 in *scratch.
const Prop *inheritSource(const Edr_Style *set, uint32_t id, Prop *scratch)
{
    if (id == PropId_zIndex) {
        Prop_zero(scratch);
        Prop_setInt(scratch, PropId_zIndex, 0);
        return scratch;
    }
    const Prop *p = set->parent ? set->parent->slots[id] : nullptr;
    if (!p || p->id != id)
        p = &set->context->defaults[id];
    return p;
}

// Stores a copy of src as own value v; the important bit comes from the
// declared value, the origin goes to bits 1-3.
int storeCopy(Prop *v, const Prop *src, const Prop *declared, uint32_t origin)
{
    int err = Prop_copy(v, src);
    uint32_t drop = uint32_t(Prop_flagPrecedence) | uint32_t(Edr_Style_originMask) |
                    uint32_t(Edr_Style_flagAccumulated);
    uint16_t keep = uint16_t(v->flags & ~drop);
    v->flags =
        uint16_t(keep | (declared->flags & Prop_flagPrecedence) | (origin & Edr_Style_originMask));
    return err;
}

int32_t lengthOf(const Prop *p, int32_t fallback)
{
    return p && p->type == PropType_length ? int32_t(p->payload) : fallback;
}

// The font size of a set already computed (never changes it).
int32_t sizeOf(const Edr_Style *set)
{
    return lengthOf(set->slots[PropId_fontSize], kDefaultFontSize);
}

int32_t roundScale(int32_t size, int32_t value)
{
    int64_t v = int64_t(size) * value + 32768;
    return int32_t(v >= 0 ? v >> 16 : -((-v + 65535) >> 16));
}

int32_t percentOf(int32_t base, int32_t percent)
{
    return int32_t(int64_t(base) * percent / (int64_t(100) << 16));
}

void setLength(Prop *v, int32_t length)
{
    Prop_free(v);
    v->type = PropType_length;
    v->payload = uintptr_t(uint32_t(length));
    v->payload2 = 0;
}

void setKeyword(Prop *v, uint32_t keyword)
{
    Prop_free(v);
    v->type = uint16_t(keyword);
    v->payload = 0;
    v->payload2 = 0;
}

// Keyword of a value's type, for the keyword fix-ups.
uint32_t typeOf(const Prop *p)
{
    return p ? p->type : 0;
}

void fixEdge(Edr_Style *set, uint32_t id)
{
    Prop *v = ownOf(set, id);
    if (!v)
        return;
    switch (v->type) {
    case KwId_medium: setLength(v, 1820); break;
    case KwId_thick: setLength(v, 3641); break;
    case KwId_thin: setLength(v, 910); break;
    default: break;
    }
}

void fixSizeScale(Edr_Style *set, const Edr_Style *p)
{
    Prop *v = ownOf(set, PropId_fontWeight);
    if (!v)
        return;
    // The weights are the keywords 100 to 900, in order.
    int32_t pv = int32_t(Edr_Style_get(p, PropId_fontWeight, nullptr));
    switch (v->type) {
    case KwId_bold: setKeyword(v, KwId_weight700); break;
    case KwId_bolder:
        setKeyword(v, uint32_t(std::min(std::max(pv + 1, int32_t(KwId_weight700)),
                                        int32_t(KwId_weight900))));
        break;
    case KwId_lighter:
        setKeyword(v, pv < int32_t(KwId_weight500)
                          ? uint32_t(std::max(pv - 1, int32_t(KwId_weight100)))
                          : uint32_t(KwId_weight400));
        break;
    case KwId_normal: setKeyword(v, KwId_weight400); break;
    default: break;
    }
}

// z-index: shares the parent's value, or adds the parent's integer to its
// own once.
void fixCounter(Edr_Style *set)
{
    if (!set->parent)
        return;
    Prop *v = ownOf(set, PropId_zIndex);
    const Prop *pv = set->parent->slots[PropId_zIndex];
    if (!v) {
        set->slots[PropId_zIndex] = pv;
        return;
    }
    if (pv && pv->type == PropType_int && v->type == PropType_int &&
        !(v->flags & Edr_Style_flagAccumulated)) {
        v->payload = uintptr_t(uint32_t(int32_t(v->payload) + int32_t(pv->payload)));
        v->flags |= Edr_Style_flagAccumulated;
    }
}

void fixDisplayOf(Prop *v)
{
    uint32_t k = Edr_Style_fixDisplay(v->type);
    if (k != v->type)
        setKeyword(v, k);
}

} // namespace

// ---------------------------------------------------------------- defaults

int Edr_Style_initDefaults(Prop *table)
{
    for (uint32_t id = 0; id < Edr_Style_propCount; id++) {
        Prop_zero(&table[id]);
        table[id].id = id;
        table[id].type = kDefaultTypes[id];
    }
    const uint8_t black[4] = {0, 0, 0, 0xFF};
    Prop_setColour(&table[PropId_color], PropId_color, black);
    Prop_setLength(&table[PropId_fontSize], PropId_fontSize, kDefaultFontSize);
    Prop_setType(&table[PropId_fontWeight], PropId_fontWeight, KwId_weight400);
    for (uint32_t id : kEdgeWidthIds)
        Prop_setLength(&table[id], id, 1820);
    Prop_setInt(&table[PropId_counterIncrement], PropId_counterIncrement, 1);
    Prop_setInt(&table[PropId_orphans], PropId_orphans, 2);
    Prop_setInt(&table[PropId_widows], PropId_widows, 2);
    Prop_setInt(&table[PropId_strokeWidth], PropId_strokeWidth, 1);
    const char16_t quotes[] = u"\"\"''";
    const char16_t family[] = u"sans-serif";
    struct {
        uint32_t id;
        const char16_t *text;
        uint32_t n;
    } const strings[] = {{PropId_quotes, quotes, 4}, {PropId_fontFamily, family, 10}};
    for (const auto &s : strings) {
        char16_t *copy = static_cast<char16_t *>(Mem_malloc((s.n + 1) * sizeof(char16_t)));
        if (!copy)
            return Res_noMemory;
        memcpy(copy, s.text, (s.n + 1) * sizeof(char16_t));
        Prop_setUstr(&table[s.id], s.id, copy, s.n);
    }
    return Res_ok;
}

// --------------------------------------------------------------- contexts

Edr_StyleCtx *Edr_StyleCtx_get(Edr_Doc *doc)
{
    if (!doc)
        return nullptr;
    if (doc->styleCtx)
        return doc->styleCtx;
    Edr_StyleCtx *c = static_cast<Edr_StyleCtx *>(Mem_calloc(1, sizeof(Edr_StyleCtx)));
    if (!c)
        return nullptr;
    c->doc = doc;
    Edr_App *ea = Edr_App_get(doc->app);
    if (ea && ea->defaults) {
        c->defaults = ea->defaults;
    } else {
        c->ownDefaults = static_cast<Prop *>(Mem_calloc(Edr_Style_propCount, sizeof(Prop)));
        if (!c->ownDefaults || Edr_Style_initDefaults(c->ownDefaults)) {
            if (c->ownDefaults)
                for (uint32_t i = 0; i < Edr_Style_propCount; i++)
                    Prop_free(&c->ownDefaults[i]);
            Mem_free(c->ownDefaults);
            Mem_free(c);
            return nullptr;
        }
        c->defaults = c->ownDefaults;
    }
    doc->styleCtx = c;
    return c;
}

void Edr_StyleCtx_dropIndex(Edr_StyleCtx *context)
{
    if (!context)
        return;
    style::freeIndex(context->index);
    context->index = nullptr;
}

void Edr_StyleCtx_free(Edr_Doc *doc)
{
    Edr_StyleCtx *c = doc ? doc->styleCtx : nullptr;
    if (!c)
        return;
    Edr_StyleCtx_dropIndex(c);
    Mem_free(c->entries);
    if (c->ownDefaults) {
        for (uint32_t i = 0; i < Edr_Style_propCount; i++)
            Prop_free(&c->ownDefaults[i]);
        Mem_free(c->ownDefaults);
    }
    Mem_free(c);
    doc->styleCtx = nullptr;
}

// ------------------------------------------------------------------- sets

int Edr_Style_createIn(Edr_StyleCtx *context, Edr_Style **out)
{
    *out = nullptr;
    if (!context)
        return Res_noMemory;
    Edr_Style *s = static_cast<Edr_Style *>(Mem_calloc(1, sizeof(Edr_Style)));
    if (!s)
        return Res_noMemory;
    s->refCount = 1;
    s->context = context;
    *out = s;
    return Res_ok;
}

int Edr_Style_create(Edr_Doc *doc, Edr_Style **out)
{
    *out = nullptr;
    return Edr_Style_createIn(Edr_StyleCtx_get(doc), out);
}

Edr_Style *Edr_Style_retain(Edr_Style *set)
{
    if (set)
        set->refCount++;
    return set;
}

void Edr_Style_release(Edr_Style *set)
{
    while (set && --set->refCount == 0) {
        for (uint32_t i = 0; i < set->ownCount; i++)
            Prop_free(&set->ownValues[i]);
        Mem_free(set->ownValues);
        Edr_Style *parent = set->parent;
        Mem_free(set);
        set = parent;
    }
}

const Prop *Edr_Style_getProp(const Edr_Style *set, uint32_t id)
{
    if (!set || id >= Edr_Style_propCount)
        return nullptr;
    if (set->overrides) {
        StylePropItem *item = StyleRule_findProp(set->overrides, id);
        return item ? &item->value : nullptr;
    }
    const Prop *p = set->slots[id];
    // Keyword 57 leads to the default, 120 to the colour; a colour slot
    // that itself holds 120 reads as the default colour instead of looping.
    for (int hops = 0; p && hops < 3; hops++) {
        if (p->type == Edr_Style_kwDefault) {
            p = &set->context->defaults[id];
        } else if (p->type == Edr_Style_kwColour) {
            if (id == PropId_color) {
                p = &set->context->defaults[PropId_color];
            } else {
                id = PropId_color;
                p = set->slots[PropId_color];
            }
        } else {
            break;
        }
    }
    return p;
}

uint32_t Edr_Style_get(const Edr_Style *set, uint32_t id, Edr_StylePayload *out)
{
    const Prop *p = Edr_Style_getProp(set, id);
    uint32_t type = p ? p->type : 0;
    if (out && type >= 1 && type <= 20) {
        out->word = p->payload;
        out->payload2 = p->payload2;
    }
    return type;
}

void Edr_Style_initFrom(Edr_Style *set, const Edr_Style *parent)
{
    for (uint32_t i = 0; i < Edr_Style_propCount; i++)
        set->slots[i] = &set->context->defaults[i];
    if (parent)
        for (uint8_t id : kInherited)
            set->slots[id] = parent->slots[id];
}

int Edr_Style_applyRule(Edr_Style *set, const StyleRule *rule, uint32_t origin)
{
    for (const StylePropItem *item = rule ? rule->firstProp : nullptr; item; item = item->next) {
        const Prop *v = &item->value;
        uint32_t id = v->id;
        if (id >= Edr_Style_propCount)
            continue;
        Prop scratch;
        const Prop *src = v->type == Edr_Style_kwInherit ? inheritSource(set, id, &scratch) : v;
        Prop *own = ownOf(set, id);
        if (own) {
            bool ownImportant = own->flags & Prop_flagPrecedence;
            bool newImportant = v->flags & Prop_flagPrecedence;
            if (ownImportant && !newImportant)
                continue;
            if (ownImportant && newImportant && (own->flags & Edr_Style_originUser) &&
                origin == Edr_Style_originAuthor)
                continue;
            if (id == PropId_display && src->type != 0 &&
                (own->type == KwId_table || own->type == KwId_tableCell ||
                 own->type == KwId_tableRow || own->type == KwId_controlBox))
                continue;
            adjustEms(set, own->type, src->type);
            Prop_free(own);
        } else {
            if (int err = newOwn(set, id, &own))
                return err;
            adjustEms(set, 0, src->type);
        }
        if (int err = storeCopy(own, src, v, origin))
            return err;
    }
    return Res_ok;
}

// ------------------------------------------------------------- computing

namespace {

// Marks in seen the ids a rule sets that the set does not own yet.
uint32_t countNewIds(Edr_Style *set, const StyleRule *rule, uint8_t seen[Edr_Style_propCount])
{
    uint32_t n = 0;
    for (const StylePropItem *item = rule ? rule->firstProp : nullptr; item; item = item->next) {
        uint32_t id = item->value.id;
        if (id < Edr_Style_propCount && !seen[id] && !ownOf(set, id)) {
            seen[id] = 1;
            n++;
        }
    }
    return n;
}

int applyBands(Edr_Style *set, const StyleRule *own1, const StyleRule *own2)
{
    Edr_StyleCtx *c = set->context;
    uint32_t i = 0, n = c->entryCount;
    while (i < n && c->entries[i].weight < 0)
        i++;
    for (; i < n && c->entries[i].weight < 1000; i++)
        if (int err = Edr_Style_applyRule(set, c->entries[i].rule, Edr_Style_originSheet))
            return err;
    for (; i < n && c->entries[i].weight < 2000; i++)
        if (int err = Edr_Style_applyRule(set, c->entries[i].rule, Edr_Style_originUser))
            return err;
    if (int err = Edr_Style_applyRule(set, own1, Edr_Style_originOwn))
        return err;
    for (; i < n; i++)
        if (int err = Edr_Style_applyRule(set, c->entries[i].rule, Edr_Style_originAuthor))
            return err;
    return Edr_Style_applyRule(set, own2, Edr_Style_originOwn);
}

} // namespace

int Edr_Style_applySheets(Edr_Style *set, Edr_Node *node)
{
    Edr_Group *g = style::groupOf(node);
    if (!g)
        return Res_styleNotGroup;
    Edr_StyleCtx *c = set->context;
    const StyleRule *own1 = g->ext ? g->ext->props[1] : nullptr;
    const StyleRule *own2 = g->ext ? g->ext->props[2] : nullptr;
    uint32_t keys[style::maxNodeKeys];
    uint32_t keyCount = style::nodeKeys(node, keys);
    c->entryCount = 0;
    if (!keyCount && !own1 && !own2)
        return Res_ok;
    int err = Res_ok;
    // The node's own rules apply even when the document has no sheet.
    if (keyCount && style::hasSheets(c->doc)) {
        uint32_t state = style::nodeState(node);
        if (set->parent && (set->parent->flags & Edr_Style_flag2))
            state |= 1;
        err = style::collectRules(c, node, keys, keyCount, state, set->parent != nullptr);
    }
    if (!err) {
        uint8_t seen[Edr_Style_propCount] = {};
        uint32_t extra = countNewIds(set, own1, seen) + countNewIds(set, own2, seen);
        for (uint32_t i = 0; i < c->entryCount; i++)
            extra += countNewIds(set, c->entries[i].rule, seen);
        err = reserveOwn(set, extra);
    }
    if (!err)
        err = applyBands(set, own1, own2);
    c->entryCount = 0;
    return err;
}

bool Edr_Style_sameEmptyGroups(Edr_Node *a, Edr_Node *b)
{
    Edr_Group *ga = style::groupOf(a);
    Edr_Group *gb = style::groupOf(b);
    if (!ga || !gb || ga->firstChild || gb->firstChild || ga->ext || gb->ext || ga->subtypeValue ||
        gb->subtypeValue || ga->element != gb->element)
        return false;
    const uint32_t *ia = ga->ids, *ib = gb->ids;
    if (!ia || !ib)
        return !ia && !ib;
    for (; *ia && *ia == *ib; ia++, ib++) {
    }
    return *ia == *ib;
}

int Edr_Style_computeInto(Edr_Doc *doc, Edr_Style *set, Edr_Style *parent, Edr_Node *node)
{
    Edr_Group *g = style::groupOf(node);
    if (!g)
        return Res_styleNotGroup;
    (void)doc;
    if (parent) {
        set->parent = Edr_Style_retain(parent);
        set->flags = parent->flags;
    }
    Edr_Style_initFrom(set, parent);
    style::learnNames(set->context);
    set->rootNode = set->context->bodyId && g->element == set->context->bodyId;
    if (int err = Edr_Style_applySheets(set, node))
        return err;
    if (int err = Edr_Style_finish(set))
        return err;
    if (!parent || Edr_Style_get(set, PropId_position, nullptr) != KwId_static)
        set->flags |= Edr_Style_flag4;
    if (Edr_Style_get(set, PropId_backgroundImage, nullptr) != 0)
        set->flags &= uint16_t(~Edr_Style_flag4);
    return Res_ok;
}

int Edr_Style_computeIn(Edr_StyleCtx *context, Edr_Style **out, Edr_Style *parent, Edr_Node *node)
{
    *out = nullptr;
    Edr_Style *s = nullptr;
    if (int err = Edr_Style_createIn(context, &s))
        return err;
    if (int err = Edr_Style_computeInto(context->doc, s, parent, node)) {
        Edr_Style_release(s);
        return err;
    }
    *out = s;
    return Res_ok;
}

int Edr_Style_computeForNode(Edr_Doc *doc, Edr_Style **out, Edr_Style *parent, Edr_Node *node)
{
    *out = nullptr;
    Edr_StyleCtx *c = Edr_StyleCtx_get(doc);
    if (!c)
        return Res_noMemory;
    return Edr_Style_computeIn(c, out, parent, node);
}

int Edr_Style_computeForPath(Edr_Doc *doc, Edr_Node *node, Edr_Style **out)
{
    *out = nullptr;
    uint32_t depth = 0;
    for (Edr_Node *n = node; n; n = Edr_Node_parent(n))
        depth++;
    if (depth == 0)
        return Res_missingArgument;
    Edr_Node **path = static_cast<Edr_Node **>(Mem_malloc(size_t(depth) * sizeof(Edr_Node *)));
    if (!path)
        return Res_noMemory;
    uint32_t i = depth;
    for (Edr_Node *n = node; n; n = Edr_Node_parent(n))
        path[--i] = n;
    Edr_Style *set = nullptr;
    int err = Res_ok;
    for (i = 0; i < depth && !err; i++) {
        Edr_Style *next = nullptr;
        err = Edr_Style_computeForNode(doc, &next, set, path[i]);
        Edr_Style_release(set);
        set = next;
    }
    Mem_free(path);
    if (err) {
        Edr_Style_release(set);
        return err;
    }
    *out = set;
    return Res_ok;
}

int Edr_Style_computeDefault(Edr_Doc *doc, Edr_Style **out, Edr_Node *node)
{
    *out = nullptr;
    Edr_Group *g = style::groupOf(node);
    if (!g)
        return Res_styleNotGroup;
    Edr_Style *s = nullptr;
    if (int err = Edr_Style_create(doc, &s))
        return err;
    Edr_Style_initFrom(s, nullptr);
    int err = Res_ok;
    if (g->ext) {
        err = Edr_Style_applyRule(s, g->ext->props[1], Edr_Style_originOwn);
        if (!err)
            err = Edr_Style_applyRule(s, g->ext->props[2], Edr_Style_originOwn);
    }
    if (!err)
        err = Edr_Style_finish(s);
    if (err) {
        Edr_Style_release(s);
        return err;
    }
    *out = s;
    return Res_ok;
}

// ---------------------------------------------------------------- fix-ups

int32_t Edr_Style_fontSize(Edr_Style *set)
{
    Prop *v = ownOf(set, PropId_fontSize);
    if (!v)
        return sizeOf(set);
    int32_t p = set->parent ? sizeOf(set->parent) : kDefaultFontSize;
    int32_t value = int32_t(v->payload);
    int32_t size;
    switch (v->type) {
    case PropType_length: return value;
    case PropType_em:
        size = set->rootNode ? p : roundScale(p, value);
        if (set->emCount)
            set->emCount--;
        break;
    case PropType_percent: size = set->rootNode ? p : percentOf(p, value); break;
    case KwId_xxSmall: size = kSizeTable[0]; break;
    case KwId_xSmall: size = kSizeTable[1]; break;
    case KwId_small: size = kSizeTable[2]; break;
    case KwId_medium: size = kSizeTable[3]; break;
    case KwId_large: size = kSizeTable[4]; break;
    case KwId_xLarge: size = kSizeTable[5]; break;
    case KwId_xxLarge: size = kSizeTable[6]; break;
    case KwId_larger:
        size = p;
        if (p < kSizeTable[0]) {
            size = kSizeTable[0];
        } else if (p < kSizeTable[6]) {
            for (int32_t t : kSizeTable)
                if (t > p) {
                    size = t;
                    break;
                }
        }
        break;
    case KwId_smaller:
        size = p;
        if (p > kSizeTable[6]) {
            size = kSizeTable[6];
        } else if (p > kSizeTable[0]) {
            for (int i = 6; i >= 0; i--)
                if (kSizeTable[i] < p) {
                    size = kSizeTable[i];
                    break;
                }
        }
        break;
    case PropType_int:
    case PropType_ex:
    case PropType_inches: size = value; break;
    default:
        // A value with no size in it (a string, a record, a keyword the
        // table lacks) would become a length made of its payload word: the
        // parent's size is the sound reading.
        size = v->type == Edr_Style_kwDefault ? kDefaultFontSize : p;
        break;
    }
    setLength(v, size);
    return size;
}

int Edr_Style_resolveEms(Edr_Style *set)
{
    int32_t size = Edr_Style_fontSize(set);
    for (int i = int(sizeof(kEmIds)) - 1; i >= 0 && set->emCount; i--) {
        Prop *v = ownOf(set, kEmIds[i]);
        if (v && v->type == PropType_em) {
            setLength(v, roundScale(size, int32_t(v->payload)));
            set->emCount--;
        }
    }
    for (uint32_t id = 0; id < Edr_Style_propCount && set->emCount; id++) {
        Prop *v = ownOf(set, id);
        if (v && v->type == PropType_em) {
            Prop_free(v);
            uint16_t flags = v->flags;
            if (int err = Prop_copy(v, &set->context->defaults[id]))
                return err;
            v->flags = flags;
            set->emCount--;
        }
    }
    set->emCount = 0;
    return Res_ok;
}

uint32_t Edr_Style_fixDisplay(uint32_t keyword)
{
    switch (keyword) {
    case KwId_inlineTable: return KwId_table;
    case KwId_inline:
    case KwId_listItem:
    case KwId_runIn:
    case KwId_tableCaption:
    case KwId_tableCell:
    case KwId_tableColumn:
    case KwId_tableColumnGroup:
    case KwId_tableFooterGroup:
    case KwId_tableHeaderGroup:
    case KwId_tableRow:
    case KwId_tableRowGroup:
    case KwId_replacedBox: return KwId_block;
    default: return keyword;
    }
}

int Edr_Style_finish(Edr_Style *set)
{
    const Edr_Style *p = set->parent ? set->parent : set;
    if (int err = Edr_Style_resolveEms(set))
        return err;
    if (Prop *v = ownOf(set, PropId_lineHeight); v && v->type == PropType_percent)
        setLength(v, percentOf(sizeOf(set), int32_t(v->payload)));
    fixSizeScale(set, p);
    for (uint32_t id : kEdgeWidthIds)
        fixEdge(set, id);
    if (set->flags & Edr_Style_flag1) {
        if (Prop *v = ownOf(set, PropId_whiteSpace)) {
            if (v->type == KwId_pre)
                setKeyword(v, KwId_preWrap);
            else if (v->type == KwId_nowrap)
                setKeyword(v, KwId_normal);
        }
    }
    fixCounter(set);
    if (Prop *v = ownOf(set, PropId_float)) {
        uint32_t k = v->type;
        if (k != KwId_none && k != KwId_left && k != KwId_right && k != KwId_inherit)
            setKeyword(v, KwId_none);
    }
    if (Prop *v = ownOf(set, PropId_display); v && v->type != 0) {
        uint32_t pos = Edr_Style_get(set, PropId_position, nullptr);
        if (pos == KwId_absolute || pos == KwId_fixed) {
            if (Prop *f = ownOf(set, PropId_float))
                setKeyword(f, KwId_none);
            fixDisplayOf(v);
        } else if (typeOf(set->slots[PropId_float]) != 0 || !set->parent) {
            fixDisplayOf(v);
        }
    }
    if (Prop *v = ownOf(set, PropId_height); v && v->type == PropType_percent) {
        const Prop *pv = p->slots[PropId_height];
        if (p != set && isOwn(p, pv) && pv->type == PropType_length)
            setLength(v, percentOf(int32_t(pv->payload), int32_t(v->payload)));
    }
    return Res_ok;
}

// -------------------------------------------------------------- changing

int Edr_Style_setValue(Edr_Style *set, const Prop *value)
{
    uint32_t id = value->id;
    if (id >= Edr_Style_propCount)
        return Res_ok;
    Prop scratch;
    const Prop *src = value->type == Edr_Style_kwInherit ? inheritSource(set, id, &scratch) : value;
    Prop *own = ownOf(set, id);
    if (own) {
        adjustEms(set, own->type, src->type);
        Prop_free(own);
    } else {
        if (int err = newOwn(set, id, &own))
            return err;
        adjustEms(set, 0, src->type);
    }
    if (int err = storeCopy(own, src, value, value->flags & Edr_Style_originMask))
        return err;
    return Edr_Style_finish(set);
}

int Edr_Style_makeWritable(Edr_Style **set, Edr_Doc *doc)
{
    (void)doc;
    Edr_Style *old = *set;
    if (!old || old->refCount <= 1)
        return Res_ok;
    Edr_Style *n = nullptr;
    if (int err = Edr_Style_createIn(old->context, &n))
        return err;
    if (old->ownCount) {
        n->ownValues = static_cast<Prop *>(Mem_calloc(old->ownCount, sizeof(Prop)));
        if (!n->ownValues) {
            Edr_Style_release(n);
            return Res_noMemory;
        }
        n->ownCapacity = old->ownCount;
        for (uint32_t i = 0; i < old->ownCount; i++) {
            n->ownCount = uint16_t(i + 1);
            if (int err = Prop_copy(&n->ownValues[i], &old->ownValues[i])) {
                Edr_Style_release(n);
                return err;
            }
        }
    }
    for (uint32_t i = 0; i < Edr_Style_propCount; i++)
        n->slots[i] = isOwn(old, old->slots[i]) ? n->ownValues + (old->slots[i] - old->ownValues)
                                                : old->slots[i];
    n->parent = Edr_Style_retain(old->parent);
    n->flags = old->flags;
    n->overrides = old->overrides;
    n->emCount = old->emCount;
    n->rootNode = old->rootNode;
    Edr_Style_release(old);
    *set = n;
    return Res_ok;
}

void Edr_Style_setOverrides(Edr_Style *set, const StyleRule *rule)
{
    set->overrides = rule;
}

const char16_t *Edr_Style_valueText(const Prop *value)
{
    return value && value->type == PropType_ustr
               ? reinterpret_cast<const char16_t *>(value->payload)
               : nullptr;
}

void Edr_Style_setFlags(Edr_Style *set, uint16_t bits)
{
    set->flags |= bits;
}

int Edr_Style_isFlag1(const Edr_Style *set)
{
    return set && (set->flags & Edr_Style_flag1) ? 1 : 0;
}

int Edr_Style_isFlag4(const Edr_Style *set)
{
    return set && (set->flags & Edr_Style_flag4) ? 1 : 0;
}

// ----------------------------------------------------- sheets for a pass

int Edr_Sect_lockAll(Edr_Doc *doc, int *changed)
{
    Edr_StyleCtx *c = Edr_StyleCtx_get(doc);
    if (!c) {
        if (changed)
            *changed = 0;
        return Res_noMemory;
    }
    uint32_t any = 0;
    DocRequestTable *table = doc->requests;
    for (uint32_t i = 0; Request *q = DocRequests_lentAt(table, i); i++) {
        Request_lock(q);
        any |= q->changed;
        if (changed)
            q->changed = 0;
    }
    if (any)
        Edr_StyleCtx_dropIndex(c);
    if (changed)
        *changed = any ? 1 : 0;
    style::learnNames(c);
    return Res_ok;
}

void Edr_Sect_unlockAll(Edr_Doc *doc)
{
    Edr_StyleCtx *c = doc ? doc->styleCtx : nullptr;
    if (c) {
        Mem_free(c->entries);
        c->entries = nullptr;
        c->entryCount = c->entryCapacity = 0;
    }
    DocRequestTable *table = doc ? doc->requests : nullptr;
    for (uint32_t i = 0; Request *q = DocRequests_lentAt(table, i); i++)
        Request_unlock(q);
}
