// Font family matching: three passes over the requested names, language
// defaults, the override face, synthetic bold, derived faces and synthetic
// italic.
#include "fonts/fontmatch.h"

#include <cstring>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/fontsupport.h"
#include "core/text/cstr.h"
#include "fonts/fontface.h"

namespace {

const char embeddedPrefix[] = "vexlanEmbedded";
const size_t embeddedPrefixLength = sizeof embeddedPrefix - 1;
const size_t maxPrimaryName = 256;
const uint32_t normalStyle = 3;

const char *const languageNames[] = {
    "language",   "lang-latn",  "lang-vi_vn", "lang-th_th", "lang-ar_ar", "lang-bn_in",
    "lang-gu_in", "lang-hi_in", "lang-kn_in", "lang-pa_in", "lang-ta_in", "lang-te_in",
    "lang-zh_cn", "lang-zh_tw", "unicode",    "addition",
};

uint32_t classDistance(uint32_t a, uint32_t b, uint32_t shift)
{
    uint32_t x = (a >> shift) & 15, y = (b >> shift) & 15;
    return x > y ? x - y : y - x;
}

// Whether name equals the alias that runs from start for length bytes.
bool aliasEquals(const char *start, size_t length, const char *name)
{
    return strlen(name) == length && Cstr_nicmp(start, name, length) == 0;
}

struct Candidates {
    FontFace **faces;
    uint32_t count;
};

bool holds(const Candidates *list, const FontFace *face)
{
    for (uint32_t i = 0; i < list->count; i++)
        if (list->faces[i] == face)
            return true;
    return false;
}

void add(Candidates *list, FontFace *face, uint32_t limit)
{
    if (face && list->count < limit && !holds(list, face))
        list->faces[list->count++] = face;
}

void fontMatchReleaseCandidate(FontMatchContext *context, FontFace *face)
{
    if (!face || !context->ops || !context->ops->release)
        return;
    if (face->kind == FontFace_kindEmbedded || face->kind == FontFace_kindWidthOverride ||
        face->kind == FontFace_kindSynthesis)
        context->ops->release(context, face);
}

// Pass 2 on a substitute list: each substitute up to the first that
// matches, by the exact lookup.
int lookupSubstitutes(FontMatchContext *context, const char *list, uint32_t style, FontFace **out,
                      uint32_t *score)
{
    *out = nullptr;
    *score = FontMatch_noAlias;
    char name[256];
    const char *p = list;
    while (*p) {
        const char *end = strchr(p, ',');
        size_t length = end ? size_t(end - p) : strlen(p);
        const char *s = p;
        size_t n = length;
        while (n && (*s == ' ' || *s == '\t')) {
            s++;
            n--;
        }
        while (n && (s[n - 1] == ' ' || s[n - 1] == '\t'))
            n--;
        if (n && n < sizeof name) {
            memcpy(name, s, n);
            name[n] = 0;
            int rc = Css_fontFindByName(context, name, style, out, score);
            if (rc)
                return rc;
            if (*out)
                return Res_ok;
        }
        if (!end)
            break;
        p = end + 1;
    }
    *score = FontMatch_noAlias;
    return Res_ok;
}

const FontAlias *aliasRow(const FontMatchContext *context, const char *name)
{
    for (uint32_t i = 0; i < context->aliasCount; i++)
        if (context->aliases[i].name && Cstr_icmp(context->aliases[i].name, name) == 0)
            return &context->aliases[i];
    return nullptr;
}

int lookup(FontMatchContext *context, uint32_t pass, const char *name, uint32_t style,
           FontFace **out)
{
    uint32_t score = 0;
    *out = nullptr;
    if (pass == 1)
        return Css_fontFindByName(context, name, style, out, &score);
    if (pass == 2) {
        const FontAlias *row = aliasRow(context, name);
        if (!row || !row->substitutes)
            return Res_ok;
        return lookupSubstitutes(context, row->substitutes, style, out, &score);
    }
    const char *fallback = "sans-serif";
    for (uint32_t i = 0; i < context->aliasCount; i++)
        if (context->aliases[i].name && context->aliases[i].name[0] == '*' &&
            context->aliases[i].substitutes) {
            fallback = context->aliases[i].substitutes;
            break;
        }
    return lookupSubstitutes(context, fallback, style, out, &score);
}

int fontMatchPrepareKnown(FontMatchContext *context)
{
    if (context->knownReady)
        return Res_ok;
    if (context->ops && context->ops->prepareKnown) {
        int rc = context->ops->prepareKnown(context);
        if (rc)
            return rc;
    }
    context->knownReady = 1;
    return Res_ok;
}

// The override face of the first candidate: a known face whose names hold
// the candidate's primary name and "override".
FontFace *findOverride(FontMatchContext *context, const FontFace *first)
{
    if (!first->name)
        return nullptr;
    char primary[maxPrimaryName + 1];
    size_t n = 0;
    while (first->name[n] && first->name[n] != ':' && n < maxPrimaryName) {
        primary[n] = first->name[n];
        n++;
    }
    primary[n] = 0;
    if (!n)
        return nullptr;
    for (uint32_t i = 0; i < context->knownCount; i++) {
        FontFace *face = context->known[i];
        if (face && face->name && Css_fontNameMatches(face->name, primary) == 0 &&
            Css_fontNameMatches(face->name, "override") == 0)
            return face;
    }
    return nullptr;
}

void placeFirst(Candidates *list, FontFace *face)
{
    uint32_t at = list->count;
    for (uint32_t i = 0; i < list->count; i++)
        if (list->faces[i] == face)
            at = i;
    if (at == list->count) {
        if (list->count == FontMatch_maxCandidates)
            at = list->count - 1; // the last one gives way
        else
            list->count++;
    }
    memmove(list->faces + 1, list->faces, at * sizeof(FontFace *));
    list->faces[0] = face;
}

// A copy of a font-pack face with the requested style that shares its
// tables and file (it owns nothing but its record), kept by the engine.
int boldCopy(FontMatchContext *context, FontFace *face, uint32_t style, FontFace **out)
{
    *out = nullptr;
    FontFace *copy = static_cast<FontFace *>(Mem_malloc(sizeof(FontFace)));
    if (!copy)
        return Res_noMemory;
    memcpy(copy, face, sizeof(FontFace));
    // The copy holds its parent, whose file and tables it reads; the name is
    // its own and the parent's client release is not repeated for it.
    copy->refCount = 1;
    copy->parent = face;
    copy->name = face->name ? Cstr_dup(face->name) : nullptr;
    copy->close = nullptr;
    copy->closeArg = nullptr;
    if (face->name && !copy->name) {
        Mem_free(copy);
        return Res_noMemory;
    }
    Font_faceRetain(face);
    copy->styleWord = style;
    copy->flags |= FontFace_sharesParent;
    if (context->ops && context->ops->registerCopy) {
        int rc = context->ops->registerCopy(context, copy);
        if (rc) {
            Font_faceRelease(copy);
            return rc;
        }
    }
    *out = copy;
    return Res_ok;
}

} // namespace

uint32_t Css_fontNameMatches(const char *names, const char *name)
{
    if (!names || !name)
        return FontMatch_noMatch;
    const char *p = names;
    for (;;) {
        const char *end = strchr(p, ':');
        size_t length = end ? size_t(end - p) : strlen(p);
        if (aliasEquals(p, length, name))
            return 0;
        if (!end)
            return FontMatch_noMatch;
        p = end + 1;
    }
}

int Css_fontFindByName(FontMatchContext *context, const char *name, uint32_t style, FontFace **out,
                       uint32_t *score)
{
    *out = nullptr;
    *score = FontMatch_noAlias;
    if (!name)
        return Res_ok;
    if (strncmp(name, embeddedPrefix, embeddedPrefixLength) == 0) {
        for (uint32_t i = 0; i < context->embeddedCount; i++) {
            FontFace *face = context->embedded[i];
            if (face && face->name && strcmp(face->name, name) == 0) {
                *out = face;
                *score = 0;
                return Res_ok;
            }
        }
        return Res_ok;
    }
    int rc = fontMatchPrepareKnown(context);
    if (rc)
        return rc;
    FontFace *best = nullptr;
    uint32_t bestScore = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < context->knownCount; i++) {
        FontFace *face = context->known[i];
        if (!face)
            continue;
        uint32_t fs = uint32_t(face->styleWord);
        uint32_t s = Css_fontNameMatches(face->name, name) + classDistance(fs, style, 0) +
                     classDistance(fs, style, 4) + classDistance(fs, style, 8);
        if (s < bestScore) {
            bestScore = s;
            best = face;
        }
    }
    if (best) {
        *score = bestScore;
        if (bestScore < FontMatch_noMatch)
            *out = best;
    }
    return Res_ok;
}

int Css_fontLanguageDefaults(FontMatchContext *context)
{
    context->languageDefaultCount = 0;
    Candidates list = {context->languageDefaults, 0};
    for (const char *name : languageNames) {
        FontFace *face = nullptr;
        uint32_t score = 0;
        int rc = Css_fontFindByName(context, name, normalStyle, &face, &score);
        if (rc)
            return rc;
        add(&list, face, FontMatch_maxLanguageDefaults);
    }
    context->languageDefaultCount = list.count;
    return Res_ok;
}

int Css_fontMatchFamilies(EngineContext *, FontMatchContext *context, const char *const *names,
                          uint32_t nameCount, uint32_t style, FontFace **candidates,
                          uint32_t *count, Matrix *matrix, FontFace **extra)
{
    *count = 0;
    *extra = nullptr;
    for (uint32_t i = 0; i < FontMatch_maxCandidates; i++)
        candidates[i] = nullptr;
    Candidates list = {candidates, 0};
    int rc = Res_ok;

    // 1: the three passes, each only when the one before found nothing.
    for (uint32_t pass = 1; pass <= 3 && list.count == 0 && !rc; pass++) {
        uint32_t lookups = pass == 3 ? 1 : nameCount; // the default does not depend on the name
        for (uint32_t i = 0; i < lookups && list.count < FontMatch_collectLimit; i++) {
            const char *name = pass == 3 ? nullptr : names[i];
            if (pass != 3 && !name)
                continue;
            FontFace *face = nullptr;
            rc = lookup(context, pass, name, style, &face);
            if (rc)
                break;
            if (!face)
                continue;
            if (face->kind == FontFace_kindWidthOverride && face->parent) {
                if (!*extra)
                    *extra = face;
                face = face->parent;
            }
            add(&list, face, FontMatch_collectLimit);
        }
    }

    // 2: the language defaults, unless a document's own font came first.
    if (!rc && (list.count == 0 || list.faces[0]->kind != FontFace_kindEmbedded))
        for (uint32_t i = 0; i < context->languageDefaultCount; i++)
            add(&list, context->languageDefaults[i], FontMatch_collectLimit);

    // 3: the override face of the first candidate goes first and keeps the
    // line extent of the face it displaces.
    bool overrideFirst = false;
    if (!rc && list.count) {
        FontFace *over = findOverride(context, list.faces[0]);
        if (over && over != list.faces[0]) {
            over->metrics[3] = list.faces[0]->metrics[3];
            over->metrics[4] = list.faces[0]->metrics[4];
            placeFirst(&list, over);
            overrideFirst = true;
        }
    }

    // 4: synthetic bold for regular font packs.
    if (!rc && (style & 15) >= FontMatch_boldWeight)
        for (uint32_t i = 0; i < list.count && !rc; i++) {
            FontFace *face = list.faces[i];
            if (face->kind != FontFace_kindFontPack ||
                (uint32_t(face->styleWord) & 15) >= FontMatch_boldWeight)
                continue;
            FontFace *copy = nullptr;
            rc = boldCopy(context, face, style, &copy);
            if (!rc)
                list.faces[i] = copy;
        }

    // 5: the derived face of the first name.
    uint32_t slot = overrideFirst ? 1 : 0;
    if (!rc && (style & FontMatch_symbolVariant) && nameCount && names[0] && slot < list.count &&
        context->ops && context->ops->derive) {
        FontFace *derived = nullptr;
        rc = context->ops->derive(context, names[0], list.faces[slot], &derived);
        if (!rc && derived) {
            FontFace *old = list.faces[slot];
            list.faces[slot] = derived;
            if (old != derived && !holds(&list, old))
                fontMatchReleaseCandidate(context, old);
        }
    }

    // 6: synthetic italic through the matrix.
    if (!rc && matrix && (style & FontMatch_slantBits) && list.count &&
        !(uint32_t(list.faces[0]->styleWord) & FontMatch_slantBits)) {
        const Matrix shear = {0x10000, 0, FontMatch_obliqueShear, 0x10000, 0, 0};
        Matrix_multiply(matrix, &shear, matrix);
    }

    if (rc) {
        Css_fontListRelease(context, candidates, list.count, *extra);
        *extra = nullptr;
        return rc;
    }
    *count = list.count;
    return Res_ok;
}

void Css_fontListRelease(FontMatchContext *context, FontFace **candidates, uint32_t count,
                         FontFace *extra)
{
    for (uint32_t i = 0; i < count && i < FontMatch_maxCandidates; i++) {
        fontMatchReleaseCandidate(context, candidates[i]);
        candidates[i] = nullptr;
    }
    fontMatchReleaseCandidate(context, extra);
}
