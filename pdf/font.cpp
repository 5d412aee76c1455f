// Font dictionaries and font selection: the native record cached on a
// font dictionary, substitutes chosen by BaseFont name and style, and the
// document's widths carried by a width-override face.
#include "pdf/font.h"

#include <cstdio>
#include <cstring>

#include "core/context/context.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/fontsupport.h"
#include "document/edr/doc.h"
#include "fonts/docfonts.h"
#include "fonts/fontengine.h"
#include "fonts/fontface.h"
#include "fonts/pdfcmap.h"
#include "fonts/textrun.h"
#include "pdf/document.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfstream.h"
#include "pdf/tounicode.h"

namespace {

const char kNativeKey[] = "/NativeFont";

void nativeRelease(PdfNativeFont *n)
{
    if (!n || --n->refs)
        return;
    CMap_free(n->cmap);
    Pdf_Font_glyphNamesFree(n->glyphNames);
    Pdf_ToUnicode_free(n->toUnicode);
    Mem_free(n->cidText);
    Mem_free(n);
}

void nativeTagRelease(PdfWord data)
{
    nativeRelease(static_cast<PdfNativeFont *>(data.ptr));
}

int nativeNew(PdfNativeFont **out)
{
    PdfNativeFont *n = static_cast<PdfNativeFont *>(Mem_calloc(1, sizeof(PdfNativeFont)));
    *out = n;
    if (!n)
        return Res_noMemory;
    n->refs = 1;
    n->styleFlags = PdfFont_styleInitial;
    n->weight = n->variant = n->style = PdfFont_keywordNormal;
    return Res_ok;
}

// The native record already cached on the dictionary, or null.
PdfNativeFont *cachedNative(PdfObj *dict)
{
    PdfDict *t = dict->type == PdfObj_stream ? dict->value.stream->dict
                 : dict->type == PdfObj_dict ? dict->value.dict
                                             : nullptr;
    if (!t)
        return nullptr;
    PdfDictEntry *e = PdfDict_entries(t);
    for (uint32_t i = 0; i < t->count; i++)
        if (std::strcmp(e[i].key, kNativeKey) == 0 && e[i].value.type == PdfObj_internalTag &&
            e[i].value.value.tag)
            return static_cast<PdfNativeFont *>(e[i].value.value.tag->data.ptr);
    return nullptr;
}

// Hangs native on the dictionary (the tag takes one reference) and makes
// it the selection's (another).
int attachNative(PdfDoc *doc, PdfObj *dict, PdfFontSel *sel, PdfNativeFont *native)
{
    PdfWord w;
    w.ptr = native;
    native->refs++;
    int err = Pdf_Dict_addTag(doc, dict, kNativeKey, w, nativeTagRelease, 0);
    if (err)
        native->refs--;
    sel->native = native; // takes the creation reference
    return err;
}

char *copyString(const char *s, size_t n)
{
    char *c = static_cast<char *>(Mem_malloc(n + 1));
    if (c) {
        std::memcpy(c, s, n);
        c[n] = 0;
    }
    return c;
}

bool contains(const char *text, size_t n, const char *word)
{
    size_t w = std::strlen(word);
    for (size_t i = 0; i + w <= n; i++)
        if (std::memcmp(text + i, word, w) == 0)
            return true;
    return false;
}

uint32_t weightClass(const char *s, size_t n)
{
    // The longer words first, so that ExtraBold is not taken for "Extra"
    // and ExtraLight not for black.
    if (contains(s, n, "ExtraLight") || contains(s, n, "UltraLight"))
        return 1;
    if (contains(s, n, "ExtraBold") || contains(s, n, "UltraBold"))
        return 7;
    if (contains(s, n, "Black") || contains(s, n, "Extra"))
        return 8;
    if (contains(s, n, "Ultra") || contains(s, n, "Heavy"))
        return 7;
    if (contains(s, n, "SemiBold"))
        return 5;
    if (contains(s, n, "Bold"))
        return 6;
    if (contains(s, n, "Demi"))
        return 5;
    if (contains(s, n, "Medium"))
        return 4;
    if (contains(s, n, "Regular") || contains(s, n, "Roman") || contains(s, n, "Normal"))
        return 3;
    if (contains(s, n, "Light"))
        return 1;
    return 3;
}

int readName(PdfDoc *doc, PdfObj *dict, const char *key, const char **out)
{
    *out = nullptr;
    PdfObj *v = nullptr;
    int err = Pdf_Obj_dictGet(doc, key, dict, &v);
    if (err || !v)
        return err;
    if (v->type == PdfObj_name)
        *out = v->value.name;
    return Res_ok;
}

EngineInstance *instanceOf(PdfDoc *doc)
{
    return doc && doc->context ? doc->context->instance : nullptr;
}

// Up to two names of a comma-separated list, copied into buffer.
uint32_t splitNames(const char *names, char *buffer, size_t size, const char *out[2])
{
    std::snprintf(buffer, size, "%s", names);
    uint32_t count = 0;
    char *p = buffer;
    while (p && *p && count < 2) {
        out[count++] = p;
        char *comma = std::strchr(p, ',');
        if (comma)
            *comma++ = 0;
        p = comma;
    }
    return count;
}

int makeList(PdfDoc *doc, const char *names, uint32_t flags, FontList **out)
{
    *out = nullptr;
    char buffer[PdfFont_nameLength];
    const char *list[2] = {nullptr, nullptr};
    uint32_t count = splitNames(names, buffer, sizeof buffer, list);
    if (!count)
        return Res_ok;
    int err = Font_listCreate(instanceOf(doc), list, count, flags, nullptr, out);
    // No face at all for the names: the box font measures and draws.
    return err == Res_noMemory ? err : Res_ok;
}

// Widths collected for a width-override face.
struct Widths {
    WidthEntry *entries;
    uint32_t count, capacity;
    int hasDefault;
    WidthEntry defaultEntry;
};

int addWidth(Widths *w, uint16_t key, int32_t width)
{
    if (w->count == w->capacity) {
        uint32_t cap = w->capacity ? w->capacity * 2 : 64;
        WidthEntry *e =
            static_cast<WidthEntry *>(Mem_realloc(w->entries, cap * sizeof(WidthEntry)));
        if (!e)
            return Res_noMemory;
        w->entries = e;
        w->capacity = cap;
    }
    w->entries[w->count++] = WidthEntry{key, WidthFace_fromThousandths(width < 0 ? 0 : width), 0};
    return Res_ok;
}

int numberAt(PdfDoc *doc, PdfObj *array, uint32_t i, float *out)
{
    PdfObj *v = nullptr;
    int err = Pdf_Obj_arrayGet(doc, i, array, &v);
    return err ? err : Pdf_Obj_getNumber(doc, v, out);
}

int simpleWidths(PdfDoc *doc, PdfObj *dict, PdfNativeFont *native, Widths *w)
{
    PdfObj *widths = nullptr, *first = nullptr, *last = nullptr, *fd = nullptr, *missing = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Widths", dict, &widths);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "FirstChar", dict, &first);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "LastChar", dict, &last);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "FontDescriptor", dict, &fd);
    if (!err && fd && (fd->type == PdfObj_dict || fd->type == PdfObj_stream))
        err = Pdf_Obj_dictGet(doc, "MissingWidth", fd, &missing);
    if (err)
        return err;
    if (missing) {
        float m = 0;
        if (Pdf_Obj_getNumber(doc, missing, &m) == Res_ok) {
            w->hasDefault = 1;
            w->defaultEntry = WidthEntry{0, WidthFace_fromThousandths(int32_t(m < 0 ? 0 : m)), 0};
        }
    }
    if (!widths || !first || !last)
        return Res_ok;
    int32_t fc = 0, lc = 0;
    if ((err = Pdf_Obj_getInt(doc, first, &fc)) != Res_ok ||
        (err = Pdf_Obj_getInt(doc, last, &lc)) != Res_ok)
        return err;
    if (widths->type != PdfObj_array)
        return Res_ok;
    for (int64_t i = 0; i <= int64_t(lc) - fc && i < 256; i++) {
        uint16_t u = Pdf_Font_codeToUnicode(native, uint32_t(int64_t(fc) + i) & 0xFF);
        if (!u)
            continue;
        float v = 0;
        err = numberAt(doc, widths, uint32_t(i), &v);
        if (err == Res_pdfNoNumber)
            break; // the array ends early
        if (err)
            return err;
        if ((err = addWidth(w, u, int32_t(v))) != Res_ok)
            return err;
    }
    return Res_ok;
}

uint16_t cidKey(const PdfNativeFont *native, int64_t code)
{
    const uint16_t *table = native->cmap ? CMap_getMapTable(native->cmap) : nullptr;
    int64_t c = code + 1;
    if (c > 65535)
        c = 65535;
    if (c < 1)
        c = 1;
    return CMap_mapCode(table, uint32_t(c));
}

int compositeWidths(PdfDoc *doc, PdfObj *descendant, PdfNativeFont *native, Widths *w)
{
    PdfObj *W = nullptr, *dw = nullptr;
    int err = Pdf_Obj_dictGet(doc, "W", descendant, &W);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "DW", descendant, &dw);
    if (err)
        return err;
    if (dw) {
        float d = 0;
        if (Pdf_Obj_getNumber(doc, dw, &d) == Res_ok) {
            w->hasDefault = 1;
            w->defaultEntry = WidthEntry{0, WidthFace_fromThousandths(int32_t(d < 0 ? 0 : d)), 0};
        }
    }
    if (!W || W->type != PdfObj_array || !W->value.arr)
        return Res_ok;
    uint32_t n = W->value.arr->count;
    uint32_t i = 0;
    while (i < n) {
        PdfObj *first = nullptr, *second = nullptr;
        int32_t c = 0;
        if ((err = Pdf_Obj_arrayGet(doc, i, W, &first)) != Res_ok ||
            (err = Pdf_Obj_getInt(doc, first, &c)) != Res_ok)
            return err;
        if ((err = Pdf_Obj_arrayGet(doc, i + 1, W, &second)) != Res_ok)
            return err;
        if (second && second->type == PdfObj_array) {
            uint32_t m = second->value.arr ? second->value.arr->count : 0;
            for (uint32_t k = 0; k < m; k++) {
                float v = 0;
                if ((err = numberAt(doc, second, k, &v)) != Res_ok)
                    return err;
                if ((err = addWidth(w, cidKey(native, int64_t(c) + k), int32_t(v))) != Res_ok)
                    return err;
            }
            i += 2;
        } else if (second && second->type == PdfObj_int) {
            int32_t last = second->value.i;
            float v = 0;
            if ((err = numberAt(doc, W, i + 2, &v)) != Res_ok)
                return err;
            // A range wider than the code space is cut to it.
            for (int64_t code = c; code <= last && code <= 0xFFFF; code++)
                if ((err = addWidth(w, cidKey(native, code), int32_t(v))) != Res_ok)
                    return err;
            i += 3;
        } else {
            return Res_pdfBadWidths;
        }
    }
    return Res_ok;
}

// Builds, registers and records the width-override face over the
// substitute that the selection's names and style choose.
int makeWidthFace(PdfDoc *doc, PdfFontSel *sel, const Widths *w)
{
    if (!w->count && !w->hasDefault)
        return Res_ok;
    if (!doc->edrDoc || !sel->names)
        return Res_ok; // nobody would own the face
    FontList *list = nullptr;
    int err = makeList(doc, sel->names, sel->styleFlags, &list);
    if (err || !list)
        return err;
    uint32_t handles = 0;
    FontInstance *const *h = Font_listHandles(list, &handles);
    FontFace *root = handles ? h[0]->face : nullptr;
    FontFace *face = nullptr;
    if (root)
        err = WidthFace_create(root, &face);
    Font_listRelease(list);
    if (err || !face)
        return err;
    if (w->count)
        err = WidthFace_addWidths(face, w->entries, w->count);
    if (!err && w->hasDefault)
        err = WidthFace_setDefault(face, w->defaultEntry);
    if (!err)
        err = FontEngine_finishWidthFace(doc->context, face);
    if (!err)
        err = Edr_Doc_addFont(doc->edrDoc, face);
    if (err) {
        Font_unregister(doc->context, face);
        Font_faceRelease(face);
        return err;
    }
    PdfNativeFont *native = sel->native;
    std::snprintf(native->faceName, sizeof native->faceName, "%s", face->name ? face->name : "");
    native->engineFontMade = 1;
    Font_faceRelease(face); // the engine's array and the document keep it
    char *names = copyString(native->faceName, std::strlen(native->faceName));
    if (!names)
        return Res_noMemory;
    Mem_free(sel->names);
    sel->names = names;
    return Res_ok;
}

// A simple font drawn with a substitute reads as its "ToUnicode" map says:
// the codes the map gives a character of their own take it into the
// font's table (the map's parser leaves the others as themselves). A map
// that cannot be read leaves the encoding as it is.
int applySimpleToUnicode(PdfDoc *doc, PdfObj *dict, PdfNativeFont *native)
{
    uint16_t *map = nullptr;
    int err = Pdf_Font_readToUnicodeMap(doc, dict, &map);
    if (err || !map)
        return err;
    uint16_t table[256];
    for (uint32_t c = 0; c < 256; c++)
        table[c] = Pdf_Font_codeToUnicode(native, c);
    bool changed = false;
    for (uint32_t c = 1; c < 256; c++)
        if (map[c] != c && map[c] != 0) {
            table[c] = map[c];
            changed = true;
        }
    Mem_free(map);
    if (changed) {
        std::memcpy(native->table, table, sizeof table);
        native->encoding = PdfEnc_table;
    }
    return Res_ok;
}

// Lower-case letters and digits of n bytes of s (spaces, dashes and the
// like dropped) into out (size bytes).
void fontKey(const char *s, size_t n, char *out, size_t size)
{
    size_t k = 0;
    for (size_t i = 0; i < n && k + 1 < size; i++) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            out[k++] = char(c + 32);
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out[k++] = c;
    }
    out[k] = 0;
}

bool keyEnds(const char *key, size_t *length, const char *suffix)
{
    size_t n = std::strlen(suffix);
    if (*length <= n || std::memcmp(key + *length - n, suffix, n) != 0)
        return false;
    *length -= n;
    return true;
}

struct FamilyWord {
    const char *word; // a lower-case key or part of one
    uint8_t prefix;   // 1: the key starts with it; 0: contains it
    uint8_t generic;  // PdfFont_generic*
};

// Families of fonts that documents name without embedding them, by the
// key of their name less its style suffixes: the first hit decides. Names
// the engine's own fonts answer to ("Arial", "Helvetica", "Courier",
// "Times") keep their own name.
constexpr FamilyWord kFamilyWords[] = {
    {"timesnewroman", 1, PdfFont_genericSerif}, {"times", 1, PdfFont_genericSerif},
    {"couriernew", 1, PdfFont_genericFixed},    {"courier", 1, PdfFont_genericFixed},
    {"arial", 1, PdfFont_genericSans},          {"helvetica", 1, PdfFont_genericSans},
    {"georgia", 1, PdfFont_genericSerif},       {"garamond", 0, PdfFont_genericSerif},
    {"bookantiqua", 1, PdfFont_genericSerif},   {"palatino", 1, PdfFont_genericSerif},
    {"cambria", 1, PdfFont_genericSerif},       {"century", 1, PdfFont_genericSerif},
    {"bookman", 1, PdfFont_genericSerif},       {"minion", 1, PdfFont_genericSerif},
    {"baskerville", 0, PdfFont_genericSerif},   {"caslon", 0, PdfFont_genericSerif},
    {"constantia", 1, PdfFont_genericSerif},    {"utopia", 1, PdfFont_genericSerif},
    {"mincho", 0, PdfFont_genericSerif},        {"batang", 0, PdfFont_genericSerif},
    {"song", 0, PdfFont_genericSerif},          {"ming", 0, PdfFont_genericSerif},
    {"consolas", 1, PdfFont_genericFixed},      {"lucidaconsole", 1, PdfFont_genericFixed},
    {"monaco", 1, PdfFont_genericFixed},        {"mono", 0, PdfFont_genericFixed},
    {"typewriter", 0, PdfFont_genericFixed},    {"sans", 0, PdfFont_genericSans},
    {"gothic", 0, PdfFont_genericSans},         {"verdana", 1, PdfFont_genericSans},
    {"tahoma", 1, PdfFont_genericSans},         {"calibri", 1, PdfFont_genericSans},
    {"trebuchet", 1, PdfFont_genericSans},      {"segoe", 1, PdfFont_genericSans},
    {"myriad", 1, PdfFont_genericSans},         {"frutiger", 1, PdfFont_genericSans},
    {"univers", 1, PdfFont_genericSans},        {"futura", 1, PdfFont_genericSans},
    {"serif", 0, PdfFont_genericSerif},         {"roman", 0, PdfFont_genericSerif},
};

// The family key of a font name (subset prefix, style part and the
// suffixes "PSMT", "MT", "PS" and style words dropped) into key.
void familyKey(const char *start, size_t n, char *key, size_t size)
{
    fontKey(start, n, key, size);
    size_t length = std::strlen(key);
    static const char *const kSuffixes[] = {
        "psmt", "mt", "ps", "bolditalic", "boldoblique", "italic", "oblique", "bold", "regular"};
    for (bool again = true; again;) {
        again = false;
        for (const char *suffix : kSuffixes)
            if (keyEnds(key, &length, suffix))
                again = true;
    }
    key[length] = 0;
}

uint32_t genericOfKey(const char *key)
{
    for (const FamilyWord &w : kFamilyWords) {
        size_t n = std::strlen(w.word);
        if (w.prefix ? std::strncmp(key, w.word, n) == 0 : std::strstr(key, w.word) != nullptr)
            return w.generic;
    }
    return PdfFont_genericNone;
}

const char *genericName(uint32_t generic)
{
    return generic == PdfFont_genericSerif   ? "Times"
           : generic == PdfFont_genericFixed ? "Courier"
           : generic == PdfFont_genericSans  ? "Helvetica"
                                             : nullptr;
}

} // namespace

int Pdf_Font_nameFromBaseFont(const char *baseFont, PdfFontSel *sel, PdfNativeFont *native)
{
    if (native && native->engineFontMade) {
        char *n = copyString(native->faceName, std::strlen(native->faceName));
        if (!n)
            return Res_noMemory;
        Mem_free(sel->names);
        sel->names = n;
        sel->styleFlags = native->styleFlags;
        sel->weight = native->weight;
        sel->variant = native->variant;
        sel->style = native->style;
        return Res_ok;
    }
    char *names = nullptr;
    if (!baseFont) {
        names = copyString("Times-Roman", 11);
        if (!names)
            return Res_noMemory;
        Mem_free(sel->names);
        sel->names = names;
        return Res_ok;
    }
    const char *start = baseFont;
    if (const char *plus = std::strrchr(baseFont, '+'))
        start = plus + 1;
    const char *comma = std::strchr(start, ',');
    const char *end = comma ? comma : start + std::strlen(start);
    const char *dash = static_cast<const char *>(std::memchr(start, '-', size_t(end - start)));
    size_t familyLength = size_t(end - start);
    // The second name: the text before the dash; for a family the engine
    // does not know by that name (TimesNewRomanPSMT, Georgia, ...), the
    // engine's family of its kind; for a name that says nothing of its
    // kind, the kind the descriptor's flags gave.
    char key[PdfFont_nameLength];
    familyKey(start, dash ? size_t(dash - start) : familyLength, key, sizeof key);
    uint32_t generic = genericOfKey(key);
    if (generic == PdfFont_genericNone && native)
        generic = native->generic & PdfFont_genericMask;
    const char *second = nullptr;
    size_t secondLength = 0;
    if (dash) {
        second = start;
        secondLength = size_t(dash - start);
    }
    // The engine's own families keep their name.
    static const char *const kOwn[] = {"times", "helvetica", "courier", "arial"};
    bool own = false;
    for (const char *o : kOwn)
        own = own || std::strcmp(key, o) == 0;
    if (!own && genericName(generic)) {
        second = genericName(generic);
        secondLength = std::strlen(second);
    }
    if (familyLength <= 1) {
        names = copyString("Times", 5);
    } else if (second) {
        names = static_cast<char *>(Mem_malloc(familyLength + secondLength + 2));
        if (names) {
            std::memcpy(names, start, familyLength);
            names[familyLength] = ',';
            std::memcpy(names + familyLength + 1, second, secondLength);
            names[familyLength + 1 + secondLength] = 0;
        }
    } else {
        names = copyString(start, familyLength);
    }
    if (!names)
        return Res_noMemory;
    Mem_free(sel->names);
    sel->names = names;
    const char *styleText = dash ? dash + 1 : comma ? comma + 1 : baseFont;
    size_t styleLength = std::strlen(styleText);
    uint32_t weight = weightClass(styleText, styleLength);
    uint32_t flags = 0x1000 + weight;
    sel->weight = PdfFont_keywordWeightBase + weight;
    sel->variant = PdfFont_keywordNormal;
    if (contains(styleText, styleLength, "SC") || contains(styleText, styleLength, "Caps")) {
        flags |= 0x30;
        sel->variant = PdfFont_keywordSmallCaps;
    }
    sel->style = PdfFont_keywordNormal;
    if (contains(styleText, styleLength, "Italic")) {
        flags |= 0x100;
        sel->style = PdfFont_keywordItalic;
    } else if (contains(styleText, styleLength, "Oblique") ||
               contains(styleText, styleLength, "Slanted")) {
        flags |= 0x200;
        sel->style = PdfFont_keywordOblique;
    }
    // The descriptor's flags stand in for style words the name lacks.
    if (native && (native->generic & PdfFont_flagItalic) && sel->style == PdfFont_keywordNormal) {
        flags |= 0x100;
        sel->style = PdfFont_keywordItalic;
    }
    if (native && (native->generic & PdfFont_flagBold) && weight < 6) {
        flags = (flags & ~0xFu) | 6u;
        sel->weight = PdfFont_keywordWeightBase + 6;
    }
    sel->styleFlags = flags;
    if (native) {
        native->styleFlags = flags;
        native->weight = sel->weight;
        native->variant = sel->variant;
        native->style = sel->style;
    }
    return Res_ok;
}

int Pdf_Font_readFlags(PdfDoc *doc, PdfObj *descriptor, PdfNativeFont *native)
{
    if (!descriptor || (descriptor->type != PdfObj_dict && descriptor->type != PdfObj_stream))
        return Res_ok;
    PdfObj *v = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Flags", descriptor, &v);
    if (err || !v || v->type != PdfObj_int)
        return err;
    int32_t f = v->value.i;
    native->generic = (f & 1)   ? PdfFont_genericFixed
                      : (f & 2) ? PdfFont_genericSerif
                                : PdfFont_genericNone;
    if (f & 64)
        native->generic |= PdfFont_flagItalic;
    if (f & 0x40000)
        native->generic |= PdfFont_flagBold;
    return Res_ok;
}

int Pdf_Font_loadSimple(PdfDoc *doc, PdfObj *dict, PdfFontSel *sel, uint32_t kind)
{
    PdfNativeFont *native = nullptr;
    int err = nativeNew(&native);
    if (!err && kind != 3)
        err = Pdf_Font_glyphNamesNew(&native->glyphNames);
    PdfObj *encoding = nullptr;
    const char *baseFont = nullptr;
    if (!err)
        err = Pdf_Obj_dictGet(doc, "Encoding", dict, &encoding);
    if (!err)
        err = readName(doc, dict, "BaseFont", &baseFont);
    // The embedded program, when there is one, draws the font; without
    // one a substitute does, whose Symbol and ZapfDingbats take their own
    // encodings.
    PdfObj *descriptor = nullptr;
    FontFace *trueType = nullptr; // the embedded TrueType program's face
    if (!err)
        err = Pdf_Obj_dictGet(doc, "FontDescriptor", dict, &descriptor);
    if (!err && kind != 3) {
        err = Pdf_FontProg_loadType1(doc, dict, descriptor, native);
    } else if (!err) {
        err = Pdf_FontProg_loadTrueType(doc, dict, descriptor, native, encoding != nullptr,
                                        &trueType);
        uint32_t symbolic = 0;
        if (!err && !native->engineFontMade && Pdf_Font_isSymbolicName(baseFont, &symbolic))
            native->encoding = symbolic;
    }
    if (!err)
        err = Pdf_Font_readFlags(doc, descriptor, native);
    if (!err)
        err = Pdf_Font_buildEncoding(doc, encoding, kind, baseFont, native);
    // A program's glyphs are keyed by the codes its encoding gives: a
    // ToUnicode map must not move them.
    if (!err)
        err = Pdf_Font_readToUnicode(doc, dict, &native->toUnicode);
    if (!err && !native->engineFontMade)
        err = applySimpleToUnicode(doc, dict, native);
    else if (!err && trueType)
        err = Pdf_FontProg_hookToUnicode(doc, dict, native, trueType);
    Font_faceRelease(trueType);
    if (err) {
        nativeRelease(native);
        return err;
    }
    err = attachNative(doc, dict, sel, native);
    if (!err)
        err = Pdf_Font_nameFromBaseFont(baseFont, sel, native);
    if (!err && !native->engineFontMade)
        err = Pdf_Font_applyWidths(doc, dict, sel);
    return err;
}

int Pdf_Font_loadType0(PdfDoc *doc, PdfObj *dict, PdfFontSel *sel)
{
    PdfObj *encoding = nullptr, *descendants = nullptr, *descendant = nullptr, *info = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Encoding", dict, &encoding);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "DescendantFonts", dict, &descendants);
    if (!err && descendants && descendants->type == PdfObj_array)
        err = Pdf_Obj_arrayGet(doc, 0, descendants, &descendant);
    if (!err && descendant && descendant->type == PdfObj_dict)
        err = Pdf_Obj_dictGet(doc, "CIDSystemInfo", descendant, &info);
    if (err)
        return err;
    CMapSysInfo sys{nullptr, nullptr, 0};
    PdfObj *v = nullptr;
    PdfString *registry = nullptr, *ordering = nullptr;
    if (info && info->type == PdfObj_dict) {
        if (!Pdf_Obj_dictGet(doc, "Registry", info, &v) && v && v->type == PdfObj_string)
            registry = v->value.str;
        if (!Pdf_Obj_dictGet(doc, "Ordering", info, &v) && v && v->type == PdfObj_string)
            ordering = v->value.str;
        if (!Pdf_Obj_dictGet(doc, "Supplement", info, &v) && v && v->type == PdfObj_int)
            sys.supplement = v->value.i;
        sys.registry =
            registry ? reinterpret_cast<const char *>(PdfString_bytes(registry)) : nullptr;
        sys.ordering =
            ordering ? reinterpret_cast<const char *>(PdfString_bytes(ordering)) : nullptr;
    }
    PdfNativeFont *native = nullptr;
    if ((err = nativeNew(&native)) != Res_ok)
        return err;
    uint8_t *block = nullptr;
    size_t size = 0;
    ByteStream *stream = nullptr;
    if (encoding && encoding->type == PdfObj_name) {
        PdfObj *toUnicode = nullptr;
        err = Pdf_Obj_dictGet(doc, "ToUnicode", dict, &toUnicode);
        if (!err && toUnicode && toUnicode->type == PdfObj_stream) {
            err = Pdf_Stream_readToMemory(doc, toUnicode, &block, &size);
            if (!err)
                err = Pdf_Stream_openMemory(block, size, &stream);
        }
        if (!err) {
            err = CMap_load(doc->context, &sys, encoding->value.name, stream, &native->cmap);
            // A CMap that cannot be had leaves the font to its name.
            if (err && err != Res_noMemory)
                err = Res_ok;
        }
    } else if (encoding && encoding->type == PdfObj_stream) {
        err = Pdf_Stream_readToMemory(doc, encoding, &block, &size);
        if (!err)
            err = Pdf_Stream_openMemory(block, size, &stream);
        if (!err) {
            err = CMap_parseTextStream(doc->context, &sys, stream, &native->cmap);
            if (err && err != Res_noMemory)
                err = Res_ok;
        }
    }
    if (stream)
        ByteStream_close(stream);
    Mem_free(block);
    if (err) {
        nativeRelease(native);
        return err;
    }
    native->encoding = native->cmap ? PdfEnc_cmapSubstitute : PdfEnc_unsupported;
    // Collections with a table of their own (CNS, GB, Japan, Korea).
    if (native->cmap) {
        const char *o = sys.ordering && sys.ordering[0] ? sys.ordering : native->cmap->ordering;
        static const char *const kCollections[] = {"CNS", "GB", "Japan", "Korea"};
        for (const char *c : kCollections)
            if (o && std::strncmp(o, c, std::strlen(c)) == 0)
                native->collection = 1;
    }
    // The text of the codes: the font's map, and below it the collection
    // table a "usecmap" of that map names.
    err = Pdf_Font_readToUnicode(doc, dict, &native->toUnicode);
    if (!err && native->toUnicode && native->cmap && !native->cmap->toUnicode &&
        std::strncmp(native->toUnicode->useName, "Adobe-", 6) == 0)
        err = CMap_loadCollectionUnicode(doc->context, native->toUnicode->useName + 6,
                                         &native->cmap->toUnicode);
    if (!err && native->cmap && native->cmap->toUnicode && native->toUnicode &&
        std::strncmp(native->toUnicode->useName, "Adobe-", 6) == 0)
        native->collection = 1;
    if (err && err != Res_noMemory)
        err = Res_ok;
    if (err) {
        nativeRelease(native);
        return err;
    }
    // The descendant's program draws the glyphs by CID + 1.
    if (native->cmap && descendant && descendant->type == PdfObj_dict)
        err = Pdf_FontProg_loadComposite(doc, descendant, native);
    if (err) {
        nativeRelease(native);
        return err;
    }
    const char *baseFont = nullptr;
    err = readName(doc, dict, "BaseFont", &baseFont);
    PdfObj *descriptor = nullptr;
    if (!err && descendant && descendant->type == PdfObj_dict)
        err = Pdf_Obj_dictGet(doc, "FontDescriptor", descendant, &descriptor);
    if (!err)
        err = Pdf_Font_readFlags(doc, descriptor, native);
    if (err) {
        nativeRelease(native);
        return err;
    }
    err = attachNative(doc, dict, sel, native);
    if (!err)
        err = Pdf_Font_nameFromBaseFont(baseFont, sel, native);
    if (!err && !native->engineFontMade && native->encoding != PdfEnc_unsupported)
        err = Pdf_Font_applyWidths(doc, dict, sel);
    return err;
}

int Pdf_Font_applyWidths(PdfDoc *doc, PdfObj *dict, PdfFontSel *sel)
{
    PdfNativeFont *native = sel->native;
    if (!native)
        return Res_ok;
    Widths w{};
    int err = Res_ok;
    if (native->encoding == PdfEnc_cmapSubstitute || native->encoding == PdfEnc_cmapEmbedded) {
        PdfObj *descendants = nullptr, *descendant = nullptr;
        err = Pdf_Obj_dictGet(doc, "DescendantFonts", dict, &descendants);
        if (!err && descendants && descendants->type == PdfObj_array)
            err = Pdf_Obj_arrayGet(doc, 0, descendants, &descendant);
        if (!err && descendant && descendant->type == PdfObj_dict)
            err = compositeWidths(doc, descendant, native, &w);
    } else {
        err = simpleWidths(doc, dict, native, &w);
    }
    if (!err)
        err = makeWidthFace(doc, sel, &w);
    Mem_free(w.entries);
    return err;
}

int Pdf_Font_select(PdfDoc *doc, PdfObj *dict, PdfFontSel **out)
{
    *out = nullptr;
    if (!dict || (dict->type != PdfObj_dict && dict->type != PdfObj_stream))
        return Res_pdfNotDict;
    PdfFontSel *sel = static_cast<PdfFontSel *>(Mem_calloc(1, sizeof(PdfFontSel)));
    if (!sel)
        return Res_noMemory;
    sel->styleFlags = PdfFont_styleInitial;
    sel->weight = sel->variant = sel->style = PdfFont_keywordNormal;
    int err = Res_ok;
    if (PdfNativeFont *cached = cachedNative(dict)) {
        cached->refs++;
        sel->native = cached;
        const char *baseFont = nullptr;
        err = readName(doc, dict, "BaseFont", &baseFont);
        if (!err)
            err = Pdf_Font_nameFromBaseFont(baseFont, sel, cached);
    } else {
        const char *subtype = nullptr;
        PdfObj *st = nullptr;
        err = Pdf_Obj_dictGet(doc, "Subtype", dict, &st);
        if (!err)
            err = Pdf_Obj_getName(doc, st, &subtype);
        if (!err) {
            if (std::strcmp(subtype, "Type0") == 0) {
                err = Pdf_Font_loadType0(doc, dict, sel);
            } else if (std::strcmp(subtype, "Type1") == 0) {
                err = Pdf_Font_loadSimple(doc, dict, sel, 1);
            } else if (std::strcmp(subtype, "MMType1") == 0) {
                err = Pdf_Font_loadSimple(doc, dict, sel, 2);
            } else if (std::strcmp(subtype, "TrueType") == 0) {
                err = Pdf_Font_loadSimple(doc, dict, sel, 3);
            } else if (std::strcmp(subtype, "Type3") == 0) {
                err = Pdf_Font_loadType3(doc, dict, sel);
            } else {
                Pdf_Doc_deferError(doc, Res_pdfFontSubtype);
                const char *baseFont = nullptr;
                err = readName(doc, dict, "BaseFont", &baseFont);
                if (!err)
                    err = Pdf_Font_nameFromBaseFont(baseFont, sel, nullptr);
            }
        }
        if (!err && sel->native && sel->native->engineFontMade)
            Pdf_Obj_pin(dict);
    }
    if (!err && sel->names)
        err = makeList(doc, sel->names, sel->styleFlags, &sel->fonts);
    if (err) {
        Pdf_Font_release(sel);
        return err;
    }
    *out = sel;
    return Res_ok;
}

void Pdf_Font_release(PdfFontSel *sel)
{
    if (!sel)
        return;
    Font_listRelease(sel->fonts);
    Mem_free(sel->names);
    nativeRelease(sel->native);
    Mem_free(sel);
}

int Pdf_Font_measureWidth(PdfFontSel *sel, float size, float charSpacing, float wordSpacing,
                          const char16_t *chars, uint32_t count, int64_t *width)
{
    *width = 0;
    double s = double(size) * 4718592.0;
    if (!(s >= 1.0) || !chars || !count)
        return Res_ok;
    int32_t size16 = s >= 2147483647.0 ? INT32_MAX : int32_t(s);
    auto fixed = [](float v) {
        double d = double(v) * 65536.0;
        return d >= 2147483647.0 ? INT32_MAX : d <= -2147483648.0 ? INT32_MIN : int32_t(d);
    };
    Rect r{};
    int err = TextRun_measureFit(sel ? sel->fonts : nullptr, size16,
                                 TextStyle_skipMissing | TextStyle_noKerning, nullptr, chars, count,
                                 fixed(charSpacing), fixed(wordSpacing), 0x7FFFFFFF, nullptr, &r);
    if (!err)
        *width = r.x1;
    return err;
}
