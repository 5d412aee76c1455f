// The style-sheet parser: rule sets with their selectors, @import, @media,
// the dropped @page, @font-face and @charset, declaration blocks and the
// recovery of CSS level 2 (skip to the end of the declaration or the
// statement). Rules go into a style request whose kind is the sheet's
// origin; their match keys are selector texts interned in the document's
// name table.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/text/strtable.h"
#include "document/edr/doc.h"
#include "html/attributes.h"
#include "html/css/css.h"
#include "html/css/cssparse.h"
#include "html/parser.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

struct CssSelector {
    uint32_t steps[Css_maxSteps + 1];
    uint32_t masks[Css_maxSteps + 1];
    uint32_t count;
    uint32_t weight;
    bool dead; // a part the rules cannot hold: no rule
};

// The sheets being imported, innermost first.
struct ImportLink {
    const Url *url;
    const ImportLink *up;
    uint32_t depth;
};

struct CssParser {
    EngineContext *context;
    Edr_Doc *doc;
    const Url *base;
    Request *sheet;
    CssTokenizer t;
    CssValueList values;
    CssSelector *selectors;
    uint32_t selectorCount;
    uint32_t selectorCapacity;
    int markerDepth;
    int applies;      // cleared by '>' in a selector
    int mediaApplies; // cleared inside a @media block for other media
    int insideBlock;  // inside a @media block: its '}' ends a skip
    int error;
    const ImportLink *chain;
    int (*callback)(void *);
    void *argument;
};

bool isSpaceKind(uint32_t kind)
{
    return kind == CssTok_space;
}

bool failed(CssParser *p)
{
    if (p->t.error && !p->error)
        p->error = p->t.error;
    return p->error != 0;
}

uint32_t next(CssParser *p, int skipSpace = 1)
{
    Css_tokenNext(&p->t, skipSpace);
    failed(p);
    return p->t.kind;
}

uint32_t kind(const CssParser *p)
{
    return p->t.kind;
}

bool textIs(const Ustr_buf &text, const char *word)
{
    size_t n = strlen(word);
    if (text.length != n)
        return false;
    for (size_t i = 0; i < n; i++) {
        char16_t c = text.chars[i];
        if (c >= 'A' && c <= 'Z')
            c = char16_t(c + 32);
        if (c != char16_t(word[i]))
            return false;
    }
    return true;
}

// ------------------------------------------------------------- recovery

bool opens(uint32_t k)
{
    return k == '{' || k == '[' || k == '(' || k == CssTok_function || k == CssTok_rgb;
}

bool closes(uint32_t k)
{
    return k == '}' || k == ']' || k == ')';
}

// Skips to the end of a declaration: stops (not consuming) at a ';' with
// nothing open, or at the '}' of the enclosing block.
void skipDeclaration(CssParser *p)
{
    int depth = 0;
    for (uint32_t k = kind(p); k && !failed(p); k = next(p)) {
        if (k == CssTok_cdc)
            return;
        if (depth == 0 && (k == ';' || k == '}'))
            return;
        if (opens(k))
            depth++;
        else if (closes(k) && depth > 0)
            depth--;
    }
}

// Skips a statement: through a ';' with nothing open, or through the '}'
// that closes a block opened during the skip.
void skipStatement(CssParser *p)
{
    int depth = 0;
    for (uint32_t k = kind(p); k && !failed(p); k = next(p)) {
        if (k == CssTok_cdc)
            return;
        if (depth == 0 && k == ';') {
            next(p);
            return;
        }
        if (depth == 0 && k == '}' && p->insideBlock)
            return; // the enclosing block's end
        if (opens(k)) {
            depth++;
        } else if (closes(k) && depth > 0) {
            depth--;
            if (depth == 0 && k == '}') {
                next(p);
                return;
            }
        }
    }
}

// Reads to the character c and past it.
void skipTo(CssParser *p, uint32_t c)
{
    for (uint32_t k = kind(p); k && !failed(p); k = next(p))
        if (k == c) {
            next(p);
            return;
        }
}

void skipMarkers(CssParser *p)
{
    for (uint32_t k = kind(p); !failed(p); k = next(p)) {
        if (k == CssTok_cdo)
            p->markerDepth++;
        else if (k == CssTok_cdc) {
            if (p->markerDepth > 0)
                p->markerDepth--;
        } else if (!isSpaceKind(k))
            return;
    }
}

// ---------------------------------------------------------- media lists

// A medium applies when its name begins "all" or "screen".
bool mediumApplies(const Ustr_buf &name)
{
    static const char *const media[2] = {"all", "screen"};
    for (const char *m : media) {
        size_t n = name.length;
        if (!n || n > strlen(m))
            continue;
        size_t i = 0;
        for (; i < n; i++) {
            char16_t c = name.chars[i];
            if (c >= 'A' && c <= 'Z')
                c = char16_t(c + 32);
            if (c != char16_t(m[i]))
                break;
        }
        if (i == n)
            return true;
    }
    return false;
}

// Reads identifiers separated by ','. *named: some medium was named.
bool readMediaList(CssParser *p, bool *named)
{
    bool any = false;
    *named = false;
    while (kind(p) == CssTok_ident) {
        *named = true;
        any = any || mediumApplies(p->t.token);
        if (next(p) != ',')
            break;
        next(p);
    }
    return any;
}

// ------------------------------------------------------------ declarations

bool isColourProperty(uint32_t property)
{
    static const char *const names[] = {
        "background-color",   "border-bottom-color", "border-color", "border-left-color",
        "border-right-color", "border-top-color",    "color",        "outline-color"};
    if (!property || property >= Css_propertyCount)
        return false;
    for (const char *n : names)
        if (!strcmp(Css_propertyRows[property].name, n))
            return true;
    return false;
}

bool isNumberToken(uint32_t k)
{
    return k >= CssTok_dimension && k <= CssTok_khz;
}

bool startsTerm(uint32_t k)
{
    return k == CssTok_string || k == CssTok_ident || k == CssTok_url || k == CssTok_raw ||
           k == CssTok_rgb || k == CssTok_hash || isNumberToken(k) || k == '+' || k == '-' ||
           k == CssTok_function;
}

// Adds the current token as a slot (kept only while there is room).
bool addSlot(CssParser *p, uint32_t op, uint32_t sign, int32_t integer)
{
    CssValueList &v = p->values;
    if (v.count >= Css_maxSlots)
        return false;
    CssValueSlot &s = v.slots[v.count];
    s.op = op;
    s.sign = sign;
    s.kind = kind(p);
    s.integer = integer;
    s.fraction = p->t.fraction;
    s.argCount = 0;
    if (Css_textSet(&s.text, p->t.token.chars, p->t.token.length) != Res_ok) {
        p->error = Res_noMemory;
        return false;
    }
    v.count++;
    return true;
}

bool isHexDigits(const Ustr_buf &text)
{
    size_t start = text.length && text.chars[0] == '#' ? 1 : 0;
    size_t n = text.length - start;
    if (n != 3 && n != 6)
        return false;
    for (size_t i = start; i < text.length; i++) {
        char16_t c = text.chars[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// rgb( component, component, component ): the packed colour, or -1.
int32_t readRgb(CssParser *p)
{
    int saved = p->t.hexName;
    p->t.hexName = 0;
    uint32_t colour = 0;
    bool ok = true;
    for (int i = 0; i < 3 && ok; i++) {
        uint32_t k = next(p);
        bool negative = false;
        if (k == '+' || k == '-') {
            negative = k == '-';
            k = next(p);
        }
        int32_t c;
        if (k == CssTok_number)
            c = p->t.integer > 255 ? 255 : p->t.integer;
        else if (k == CssTok_percent) {
            int64_t x = int64_t(p->t.integer) * 256 / 100;
            c = x > 255 ? 255 : int32_t(x);
        } else {
            ok = false;
            break;
        }
        if (negative)
            c = 0;
        colour = colour << 8 | uint32_t(c);
        k = next(p);
        if (k != (i < 2 ? uint32_t(',') : uint32_t(')')))
            ok = false;
    }
    p->t.hexName = saved;
    return ok ? int32_t(colour) : -1;
}

// A function's arguments up to its ')', as slots after the function's
// own; nested functions are skipped.
void readArguments(CssParser *p, uint32_t functionSlot)
{
    uint32_t op = 0;
    uint32_t k = next(p);
    while (k && k != ')' && !failed(p)) {
        if (k == ',') {
            op = 1;
            k = next(p);
            continue;
        }
        if (k == CssTok_function || k == CssTok_rgb) {
            next(p);
            skipTo(p, ')'); // a nested function, with its ')'
            k = kind(p);
            continue;
        }
        if (k == '{' || k == '}' || k == ';')
            return;
        uint32_t sign = 0;
        if (k == '-' || k == '+') {
            sign = k == '-';
            k = next(p);
        }
        if (startsTerm(k) && addSlot(p, op, sign, p->t.integer) && functionSlot < Css_maxSlots)
            p->values.slots[functionSlot].argCount++;
        op = 0;
        k = next(p);
    }
}

// Reads an expression into the value list; stops at the token that ends it.
void readExpression(CssParser *p)
{
    Css_valueListClear(&p->values);
    uint32_t op = 0;
    for (uint32_t k = kind(p); !failed(p); k = kind(p)) {
        uint32_t sign = 0;
        if (k == '+' || k == '-') {
            sign = k == '-';
            k = next(p);
            if (!isNumberToken(k))
                return;
        }
        if (k == CssTok_string || k == CssTok_ident || k == CssTok_url || k == CssTok_raw ||
            isNumberToken(k)) {
            addSlot(p, op, sign, p->t.integer);
        } else if (k == CssTok_hash) {
            if (!isHexDigits(p->t.token))
                return;
            addSlot(p, op, 0, 0);
        } else if (k == CssTok_rgb) {
            int32_t colour = readRgb(p);
            if (colour < 0)
                return;
            p->t.kind = CssTok_rgb;
            addSlot(p, op, 0, colour);
        } else if (k == CssTok_function) {
            uint32_t slot = p->values.count;
            bool kept = addSlot(p, op, 0, 0);
            readArguments(p, kept ? slot : Css_maxSlots);
            if (kind(p) != ')')
                return;
        } else {
            return;
        }
        if (failed(p))
            return;
        k = next(p);
        op = 0;
        if (k == ',' || k == '/') {
            op = k == ',' ? 1 : 2;
            next(p);
        } else if (!startsTerm(k)) {
            return;
        }
    }
}

void parseDeclaration(CssParser *p, StyleRule *rule)
{
    uint32_t k = kind(p);
    if (k == ';' || k == '}' || k == 0)
        return; // empty
    uint32_t property = 0;
    if (k == '-') {
        k = next(p); // a vendor property: no index
        if (k == CssTok_ident)
            k = next(p);
    } else if (k == CssTok_ident) {
        property = Css_propertyIndex(p->t.token.chars, p->t.token.length);
        k = next(p);
    } else {
        skipDeclaration(p);
        return;
    }
    while (k == CssTok_ident)
        k = next(p);
    if (k != ':' && k != '=') {
        skipDeclaration(p);
        return;
    }
    p->t.hexName = isColourProperty(property);
    next(p);
    readExpression(p);
    p->t.hexName = 0;
    if (failed(p))
        return;
    int important = 0;
    k = kind(p);
    if (k == CssTok_important) {
        important = 1;
        k = next(p);
    }
    if (k != ';' && k != '}' && k != 0) {
        skipDeclaration(p);
        return;
    }
    if (!property)
        return;
    int recorded = 0, changed = 0;
    int err = Css_applyDeclaration(p->context, &p->values, property, important, rule, &recorded,
                                   &changed);
    if (err)
        p->error = err;
}

// Declarations up to (not through) the block's '}' or the end.
void parseDeclarations(CssParser *p, StyleRule *rule)
{
    while (!failed(p)) {
        parseDeclaration(p, rule);
        if (kind(p) != ';')
            return;
        next(p);
    }
}

// ------------------------------------------------------------- selectors

const struct {
    const char *name;
    uint32_t mask;
} kPseudo[] = {
    {"first-child", 1}, {"first-line", 2}, {"first-letter", 4}, {"link", 8},
    {"visited", 16},    {"hover", 32},     {"active", 64},      {"focus", 128},
    {"lang", 256},      {"before", 512},   {"after", 1024},
};

// The id of a name in the document's table, interned when new; 0 when
// memory runs out.
uint32_t intern(CssParser *p, const char16_t *chars, size_t n)
{
    Edr_Doc_writeLockWait(p->doc);
    uint32_t id = p->doc->strings ? StrTable_internN(p->doc->strings, chars, n) : 0;
    Edr_Doc_writeUnlock(p->doc);
    if (!id)
        p->error = Res_noMemory;
    return id;
}

struct Simple {
    Ustr_buf element;
    Ustr_buf id;
    Ustr_buf classes[Css_maxClasses];
    uint32_t classCount;
    uint32_t weight;
    uint32_t mask;
    bool unsupported;
    bool any;
};

void freeSimple(Simple &s)
{
    Ustr_bufFree(&s.element);
    Ustr_bufFree(&s.id);
    for (auto &c : s.classes)
        Ustr_bufFree(&c);
}

// Builds and interns the key of a simple selector: the element name, its
// classes in the order of their interned ids, and the id.
uint32_t simpleKey(CssParser *p, Simple &s)
{
    uint32_t ids[Css_maxClasses];
    uint32_t n = 0;
    for (uint32_t i = 0; i < s.classCount; i++) {
        Ustr_buf dotted{};
        bool ok = Css_textAppend(&dotted, u'.') == Res_ok;
        for (size_t k = 0; k < s.classes[i].length && ok; k++)
            ok = Css_textAppend(&dotted, s.classes[i].chars[k]) == Res_ok;
        uint32_t id = ok ? intern(p, dotted.chars, dotted.length) : 0;
        Ustr_bufFree(&dotted);
        if (!id) {
            p->error = Res_noMemory;
            return 0;
        }
        bool seen = false;
        for (uint32_t j = 0; j < n; j++)
            seen = seen || ids[j] == id;
        if (!seen)
            ids[n++] = id;
    }
    for (uint32_t i = 1; i < n; i++)
        for (uint32_t j = i; j > 0 && ids[j] < ids[j - 1]; j--) {
            uint32_t x = ids[j];
            ids[j] = ids[j - 1];
            ids[j - 1] = x;
        }
    Ustr_buf key{};
    bool ok = true;
    if (!s.element.length)
        ok = Css_textAppend(&key, u'*') == Res_ok;
    for (size_t k = 0; ok && k < s.element.length; k++)
        ok = Css_textAppend(&key, s.element.chars[k]) == Res_ok;
    for (uint32_t i = 0; ok && i < n; i++) {
        char16_t *name = StrTable_getName(p->doc->strings, uint16_t(ids[i]));
        for (const char16_t *c = name; ok && c && *c; c++)
            ok = Css_textAppend(&key, *c) == Res_ok;
        ok = ok && name;
        Mem_free(name);
    }
    if (ok && s.id.length) {
        for (size_t k = 0; ok && k < s.id.length; k++)
            ok = Css_textAppend(&key, s.id.chars[k]) == Res_ok;
        // The id's own part too, which the style engine looks up.
        ok = ok && intern(p, s.id.chars, s.id.length);
    }
    uint32_t id = 0;
    if (ok) {
        const char16_t *chars = key.chars;
        size_t len = key.length;
        if (len > 1 && chars[0] == '*') {
            chars++;
            len--;
        }
        id = intern(p, chars, len);
    } else {
        p->error = Res_noMemory;
    }
    Ustr_bufFree(&key);
    return id;
}

// Reads one simple selector onto sel. false when there was none.
bool parseSimple(CssParser *p, CssSelector &sel)
{
    Simple s{};
    uint32_t k = kind(p);
    if (k == CssTok_ident) {
        if (Css_textSet(&s.element, p->t.token.chars, p->t.token.length) != Res_ok)
            p->error = Res_noMemory;
        s.weight += 1;
        s.any = true;
        k = next(p, 0);
    } else if (k == '*') {
        s.any = true;
        k = next(p, 0);
    }
    while (!failed(p)) {
        if (k == CssTok_hash) {
            if (s.id.length)
                s.unsupported = true; // a second id
            else if (Css_textSet(&s.id, p->t.token.chars, p->t.token.length) != Res_ok)
                p->error = Res_noMemory;
            s.weight += 100;
            s.any = true;
            k = next(p, 0);
        } else if (k == '.') {
            s.any = true;
            k = next(p, 0);
            if (k != CssTok_ident) {
                s.unsupported = true;
                continue;
            }
            // A ninth class name is dropped.
            if (s.classCount < Css_maxClasses &&
                Css_textSet(&s.classes[s.classCount++], p->t.token.chars, p->t.token.length) !=
                    Res_ok)
                p->error = Res_noMemory;
            s.weight += 10;
            k = next(p, 0);
        } else if (k == '[') {
            s.any = true;
            k = next(p);
            bool bareClass = k == CssTok_ident && textIs(p->t.token, "class") && s.classCount;
            if (k == CssTok_ident)
                k = next(p);
            if (k != ']')
                bareClass = false;
            skipTo(p, ']');
            if (!bareClass)
                s.unsupported = true;
            k = kind(p);
        } else if (k == ':') {
            s.any = true;
            k = next(p, 0);
            if (k == CssTok_ident) {
                uint32_t mask = 0;
                for (const auto &ps : kPseudo)
                    if (textIs(p->t.token, ps.name))
                        mask = ps.mask;
                if (!mask || s.mask || sel.count >= Css_maxSteps) {
                    sel.dead = true;
                    s.unsupported = true;
                } else {
                    s.mask = mask;
                    s.weight += 10;
                }
                k = next(p, 0);
            } else {
                // The functional form, as of lang(): not held.
                s.unsupported = true;
                if (k == CssTok_function) {
                    skipTo(p, ')');
                    k = kind(p);
                }
            }
        } else {
            break;
        }
    }
    if (s.any && !failed(p)) {
        if (s.unsupported) {
            sel.dead = true;
        } else if (sel.count < Css_maxSteps) {
            uint32_t key = simpleKey(p, s);
            if (key) {
                sel.steps[sel.count] = key;
                sel.masks[sel.count++] = s.mask;
                sel.weight += s.weight;
            }
        }
    }
    freeSimple(s);
    return s.any;
}

void addMarker(CssSelector &sel, uint32_t marker)
{
    if (sel.count < Css_maxSteps) {
        sel.steps[sel.count] = marker;
        sel.masks[sel.count++] = 0;
    }
}

void parseSelector(CssParser *p, CssSelector &sel)
{
    sel = CssSelector{};
    while (isSpaceKind(kind(p)))
        next(p, 0);
    while (!failed(p)) {
        if (!parseSimple(p, sel)) {
            sel.dead = true;
            return;
        }
        bool spaced = false;
        while (isSpaceKind(kind(p))) {
            spaced = true;
            next(p, 0);
        }
        uint32_t k = kind(p);
        if (k == '+' || k == '>') {
            addMarker(sel, k == '+' ? Css_markerAdjacent : Css_markerChild);
            if (k == '>')
                p->applies = 0; // child selectors are not held
            next(p, 0);
            while (isSpaceKind(kind(p)))
                next(p, 0);
            continue;
        }
        if (k == ',' || k == '{' || k == 0 || !spaced)
            return;
    }
}

bool growSelectors(CssParser *p)
{
    if (p->selectorCount < p->selectorCapacity)
        return true;
    uint32_t cap = p->selectorCapacity + 10;
    CssSelector *grown =
        static_cast<CssSelector *>(Mem_realloc(p->selectors, cap * sizeof(CssSelector)));
    if (!grown) {
        p->error = Res_noMemory;
        return false;
    }
    p->selectors = grown;
    p->selectorCapacity = cap;
    return true;
}

int addRules(CssParser *p, const StyleRule *declared)
{
    for (uint32_t i = 0; i < p->selectorCount; i++) {
        const CssSelector &sel = p->selectors[i];
        if (sel.dead || !sel.count)
            continue;
        StyleRule *rule = nullptr;
        int err = StyleRule_create(&rule);
        if (!err)
            err = StyleRule_appendProps(rule, declared);
        uint32_t keys = 0;
        for (uint32_t s = 0; s < sel.count && !err; s++, keys++)
            err = StyleRule_addMatch(rule, sel.steps[s], sel.masks[s], 0);
        if (!err && keys) {
            StyleRule_setWeight(rule, sel.weight);
            err = Request_addItem(p->sheet, &rule);
            if (!err && p->callback)
                err = p->callback(p->argument);
        }
        StyleRule_destroy(rule);
        if (err)
            return err;
    }
    return Res_ok;
}

void parseRuleSet(CssParser *p)
{
    p->selectorCount = 0;
    if (!growSelectors(p))
        return;
    p->selectorCount = 1;
    parseSelector(p, p->selectors[0]);
    while (kind(p) == ',' && !failed(p)) {
        next(p, 0);
        if (!growSelectors(p))
            return;
        parseSelector(p, p->selectors[p->selectorCount++]);
    }
    if (failed(p))
        return;
    if (kind(p) != '{') {
        skipStatement(p);
        p->applies = 1;
        return;
    }
    StyleRule *declared = nullptr;
    if (StyleRule_create(&declared)) {
        p->error = Res_noMemory;
        return;
    }
    next(p);
    parseDeclarations(p, declared);
    if (!failed(p) && kind(p) != '}')
        skipTo(p, '}');
    else if (kind(p) == '}') {
        next(p);
        if (p->applies && p->mediaApplies && !StyleRule_hasNoProps(declared)) {
            int err = addRules(p, declared);
            if (err)
                p->error = err;
        }
    }
    StyleRule_destroy(declared);
    p->applies = 1;
}

// @page and @font-face: the block is read and dropped.
void parseDroppedBlock(CssParser *p)
{
    uint32_t k = next(p);
    if (k == CssTok_ident)
        k = next(p);
    if (k == ':') {
        k = next(p);
        if (k == CssTok_ident)
            k = next(p);
    }
    if (k != '{') {
        skipStatement(p);
        return;
    }
    StyleRule *dropped = nullptr;
    if (StyleRule_create(&dropped)) {
        p->error = Res_noMemory;
        return;
    }
    next(p);
    parseDeclarations(p, dropped);
    StyleRule_destroy(dropped);
    skipTo(p, '}');
}

void parseMedia(CssParser *p)
{
    next(p);
    bool named = false;
    bool any = readMediaList(p, &named);
    if (kind(p) != '{') {
        skipStatement(p);
        return;
    }
    int saved = p->mediaApplies;
    if (named && !any)
        p->mediaApplies = 0;
    p->insideBlock = 1;
    next(p);
    while (!failed(p)) {
        skipMarkers(p);
        uint32_t k = kind(p);
        if (k == '}' || k == 0)
            break;
        if (k == CssTok_import || k == CssTok_media || k == CssTok_page || k == CssTok_fontFace ||
            k == CssTok_charset || k == '@' || k == ';')
            skipStatement(p);
        else
            parseRuleSet(p);
    }
    p->mediaApplies = saved;
    p->insideBlock = 0;
    if (kind(p) == '}')
        next(p);
}

int loadSheet(EngineContext *context, Edr_Doc *doc, const Url *url, Request *sheet,
              const ImportLink *chain);

void parseImport(CssParser *p)
{
    p->t.rawText = 1;
    uint32_t k = next(p);
    p->t.rawText = 0;
    Ustr_buf target{};
    if ((k == CssTok_string || k == CssTok_url || k == CssTok_raw) &&
        Css_textSet(&target, p->t.token.chars, p->t.token.length) != Res_ok)
        p->error = Res_noMemory;
    bool valid = k == CssTok_string || k == CssTok_url || k == CssTok_raw;
    next(p);
    bool named = false;
    bool any = readMediaList(p, &named);
    if (kind(p) != ';') {
        skipTo(p, ';');
        valid = false;
    } else {
        next(p);
    }
    bool blank = true;
    for (size_t i = 0; i < target.length; i++)
        blank = blank &&
                (target.chars[i] == ' ' || target.chars[i] == '\t' || target.chars[i] == '\n' ||
                 target.chars[i] == '\r' || target.chars[i] == '\f');
    if (failed(p) || !valid || blank || (named && !any) || !p->doc) {
        Ustr_bufFree(&target);
        return;
    }
    Url *url = p->base ? Url_resolveText(p->context, target.chars, p->base) : Url_new(target.chars);
    Ustr_bufFree(&target);
    if (!url)
        return; // an unusable target is ignored like other import errors
    uint32_t depth = p->chain ? p->chain->depth + 1 : 1;
    bool cycle = depth > Css_importDepth;
    for (const ImportLink *l = p->chain; l && !cycle; l = l->up)
        cycle = l->url && Url_equals(l->url, url);
    if (cycle) {
        Url_free(url);
        return;
    }
    Request *imported = nullptr;
    int err = Request_new(p->context, Request_getKind(p->sheet), &imported);
    if (!err) {
        err = loadSheet(p->context, p->doc, url, imported, p->chain);
        if (!err)
            err = Edr_Doc_addRequest(p->doc, imported);
        Request_release(imported);
    }
    Url_free(url);
    if (err == Res_noMemory || err == Res_stopRequested)
        p->error = err;
}

void parseSheet(CssParser *p)
{
    next(p);
    if (kind(p) == CssTok_charset)
        skipTo(p, ';');
    skipMarkers(p);
    while (kind(p) == CssTok_import && !failed(p)) {
        parseImport(p);
        skipMarkers(p);
    }
    while (kind(p) && !failed(p)) {
        uint32_t k = kind(p);
        if (k == CssTok_media)
            parseMedia(p);
        else if (k == CssTok_page || k == CssTok_fontFace)
            parseDroppedBlock(p);
        else if (k == CssTok_import || k == CssTok_charset || k == '@' || k == ';' || k == '}' ||
                 k == ')' || k == ']')
            skipStatement(p);
        else
            parseRuleSet(p);
        skipMarkers(p);
    }
}

void initParser(CssParser *p, EngineContext *context, Edr_Doc *doc, const Url *base, Request *sheet)
{
    memset(p, 0, sizeof *p);
    p->context = context;
    p->doc = doc;
    p->base = base;
    p->sheet = sheet;
    p->applies = 1;
    p->mediaApplies = 1;
}

void finishParser(CssParser *p)
{
    Css_valueListClear(&p->values);
    Css_tokenizerClose(&p->t);
    Mem_free(p->selectors);
    p->selectors = nullptr;
}

// A decoded copy of text handed in by the HTML side.
char16_t *decodedCopy(const char16_t *text, size_t length, size_t *outLength)
{
    char16_t *copy = static_cast<char16_t *>(Mem_malloc((length + 1) * sizeof(char16_t)));
    if (!copy)
        return nullptr;
    if (length)
        memcpy(copy, text, length * sizeof(char16_t));
    copy[length] = 0;
    *outLength = Html_decodeRefs(copy, length);
    return copy;
}

int parseStream(EngineContext *context, Edr_Doc *doc, const Url *base, VfsHandle *stream,
                Request *sheet, const ImportLink *chain)
{
    if (doc && Html_ensureStringTable(doc))
        return Res_noMemory;
    CssParser p;
    initParser(&p, context, doc, base, sheet);
    p.chain = chain;
    Css_tokenizerOpenStream(context, &p.t, stream);
    parseSheet(&p);
    int err = p.error;
    finishParser(&p);
    return err;
}

int loadSheet(EngineContext *context, Edr_Doc *doc, const Url *url, Request *sheet,
              const ImportLink *up)
{
    if (!url || !sheet)
        return Res_nullInput;
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    int err = Vfs_openCached(context, url, Vfs_modeRead, &stream, &accepted, 0, 0, 0);
    if (err && err != Res_noMemory && err != Res_stopRequested)
        err = Vfs_open(context, url, Vfs_modeRead, &stream, &accepted);
    if (err)
        return err;
    if ((err = Request_setUrl(sheet, url)) == Res_ok) {
        ImportLink link{url, up, up ? up->depth + 1 : 1};
        err = parseStream(context, doc, url, stream, sheet, &link);
    }
    (void)Vfs_close(stream); // a close failure leaves nothing to undo here
    return err;
}

} // namespace

int Css_parseStyleSheetText(EngineContext *context, Edr_Doc *doc, const Url *base, Request *sheet,
                            const char16_t *text, size_t length, int (*callback)(void *),
                            void *argument)
{
    if (!sheet || (!text && length))
        return Res_nullInput;
    if (doc && Html_ensureStringTable(doc))
        return Res_noMemory;
    size_t n = 0;
    char16_t *copy = decodedCopy(text, length, &n);
    if (!copy)
        return Res_noMemory;
    CssParser p;
    initParser(&p, context, doc, base, sheet);
    p.callback = callback;
    p.argument = argument;
    Url *sheetUrl = Request_getUrl(sheet);
    ImportLink link{sheetUrl, nullptr, 0};
    if (sheetUrl)
        p.chain = &link;
    Css_tokenizerOpenText(&p.t, copy, n);
    if (doc)
        parseSheet(&p);
    int err = p.error;
    finishParser(&p);
    Mem_free(copy);
    return err;
}

int Css_parseStyleSheetStream(EngineContext *context, Edr_Doc *doc, Url *url, VfsHandle *stream,
                              Request *sheet, int (*callback)(void *), void *argument)
{
    (void)callback;
    (void)argument;
    int err = url ? Request_setUrl(sheet, url) : Res_ok;
    if (!err) {
        ImportLink link{url, nullptr, 1};
        err = parseStream(context, doc, url, stream, sheet, url ? &link : nullptr);
    }
    Url_free(url);
    return err;
}

int Css_loadStyleSheet(EngineContext *context, Edr_Doc *doc, const Url *url, Request *sheet)
{
    return loadSheet(context, doc, url, sheet, nullptr);
}

int Css_parseDeclarationsText(EngineContext *context, const char16_t *text, size_t length,
                              StyleRule *rule)
{
    if (!rule || (!text && length))
        return Res_nullInput;
    size_t n = 0;
    char16_t *copy = decodedCopy(text, length, &n);
    if (!copy)
        return Res_noMemory;
    CssParser p;
    initParser(&p, context, nullptr, nullptr, nullptr);
    Css_tokenizerOpenText(&p.t, copy, n);
    next(&p);
    while (kind(&p) && !failed(&p)) {
        parseDeclarations(&p, rule);
        if (kind(&p) && !failed(&p))
            next(&p); // a stray '}' or other token
    }
    int err = p.error;
    finishParser(&p);
    Mem_free(copy);
    return err;
}

int Css_parsePropertyText(EngineContext *context, StyleRule *rule, const char16_t *name,
                          size_t nameLength, const char16_t *value, size_t valueLength,
                          int *changed)
{
    if (changed)
        *changed = 0;
    if (!rule || !name || (!value && valueLength))
        return Res_missingArgument;
    uint32_t property = Css_propertyIndex(name, nameLength);
    if (!property)
        return Res_nullInput; // 8: no such property
    CssParser p;
    initParser(&p, context, nullptr, nullptr, nullptr);
    Css_tokenizerOpenText(&p.t, value, valueLength);
    p.t.hexName = isColourProperty(property);
    next(&p);
    readExpression(&p);
    p.t.hexName = 0;
    int err = p.error;
    if (!err) {
        int recorded = 0;
        err = Css_applyDeclaration(context, &p.values, property, 0, rule, &recorded, changed);
    }
    finishParser(&p);
    return err;
}

int Css_mediaListApplies(const char16_t *text, size_t length)
{
    if (!text)
        return 0;
    CssParser p;
    initParser(&p, nullptr, nullptr, nullptr, nullptr);
    Css_tokenizerOpenText(&p.t, text, length);
    next(&p);
    bool named = false;
    bool any = readMediaList(&p, &named);
    finishParser(&p);
    return any ? 1 : 0;
}

int Css_parseStyleElement(EngineContext *context, Edr_Doc *doc, const char16_t *text, size_t length)
{
    Request *sheet = nullptr;
    int err = Request_new(context, 2, &sheet);
    if (err)
        return err;
    Url *base = nullptr;
    if (Edr_Doc_getUrl(doc, &base) != Res_ok)
        base = nullptr;
    err = Css_parseStyleSheetText(context, doc, base, sheet, text, length, nullptr, nullptr);
    Url_free(base);
    // The rules made so far stay; errors of the sheet never fail the load,
    // running out of memory or a stop does.
    int added = Edr_Doc_addRequest(doc, sheet);
    Request_release(sheet);
    if (err == Res_noMemory || err == Res_stopRequested)
        return err;
    return added;
}
