// PDF objects made by the engine rather than parsed: dictionaries built up
// entry by entry, deep copies (which outlive the object store's flushes),
// and the catalogue's name-tree and destination lookups.
//
// A copy follows references, so a dictionary that leads back to itself
// (a page and its parent's Kids) would copy for ever: the entry whose
// object is being copied carries a busy flag while it is, and meeting a
// busy entry again fails the copy.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/cstr.h"
#include "pdf/document.h"
#include "pdf/lexer.h"
#include "pdf/obj.h"
#include "pdf/resources/pdfstream.h"

// ---------------------------------------------------- building dictionaries

namespace {

size_t tableBytes(uint32_t capacity)
{
    return sizeof(PdfDict) + size_t(capacity) * sizeof(PdfDictEntry);
}

// The table of a Dictionary or Stream record, as a place to store it.
PdfDict **tableOf(PdfObj *dict)
{
    if (dict && dict->type == PdfObj_dict)
        return &dict->value.dict;
    if (dict && dict->type == PdfObj_stream && dict->value.stream)
        return &dict->value.stream->dict;
    return nullptr;
}

void setNull(PdfObj *obj)
{
    obj->type = PdfObj_null;
    obj->value.p = nullptr;
}

} // namespace

int Pdf_Dict_new(PdfObj **out)
{
    *out = static_cast<PdfObj *>(Mem_malloc(sizeof(PdfObj)));
    if (!*out)
        return Res_noMemory;
    (*out)->type = PdfObj_dict;
    (*out)->value.dict = nullptr;
    (*out)->owner = nullptr;
    return Res_ok;
}

int Pdf_Dict_reserve(PdfDict **tablePtr, uint32_t n)
{
    PdfDict *t = *tablePtr;
    if (!t) {
        uint32_t capacity = std::max<uint32_t>(n, 4);
        t = static_cast<PdfDict *>(Mem_malloc(tableBytes(capacity)));
        if (!t)
            return Res_noMemory;
        t->capacity = capacity;
        t->count = 0;
        *tablePtr = t;
        return Res_ok;
    }
    uint64_t need = uint64_t(t->count) + n;
    if (need <= t->capacity)
        return Res_ok;
    uint64_t capacity = std::max<uint32_t>(t->capacity, 4);
    while (capacity < need)
        capacity *= 2;
    if (capacity > UINT32_MAX / 2)
        return Res_noMemory;
    PdfDict *grown = static_cast<PdfDict *>(Mem_realloc(t, tableBytes(uint32_t(capacity))));
    if (!grown)
        return Res_noMemory;
    grown->capacity = uint32_t(capacity);
    *tablePtr = grown;
    return Res_ok;
}

int Pdf_Dict_add(PdfDoc *doc, PdfObj *dict, PdfObj *keyObj, PdfObj *valueObj)
{
    PdfDict **table = tableOf(dict);
    if (!table || !keyObj || keyObj->type != PdfObj_name)
        return Res_pdfSyntax;
    if (Pdf_Dict_reserve(table, 1) != Res_ok) {
        Pdf_Obj_release(doc, keyObj);
        Pdf_Obj_release(doc, valueObj);
        return Res_noMemory;
    }
    PdfDictEntry *e = &PdfDict_entries(*table)[(*table)->count++];
    e->key = keyObj->value.name;
    if (valueObj) {
        e->value = *valueObj;
    } else {
        setNull(&e->value);
        e->value.owner = nullptr;
    }
    Pdf_Obj_recycle(keyObj, doc);
    Pdf_Obj_recycle(valueObj, doc);
    return Res_ok;
}

int Pdf_Dict_addEntry(PdfDoc *doc, PdfObj *dict, const char *key, PdfWord value,
                      PdfTagReleaseFn data, int kind, int copyKey)
{
    PdfDict **table = tableOf(dict);
    if (!table || !key)
        return Res_pdfSyntax;
    char *k = copyKey || !doc ? Cstr_dup(key) : Pdf_NameTable_intern(doc->names, key, strlen(key));
    PdfTag *tag = nullptr;
    if (k && kind == 1) {
        tag = static_cast<PdfTag *>(Mem_malloc(sizeof(PdfTag)));
        if (tag) {
            tag->release = data;
            tag->data = value;
        }
    }
    if (!k || (kind == 1 && !tag) || Pdf_Dict_reserve(table, 1) != Res_ok) {
        if (copyKey || !doc)
            Mem_free(k);
        Mem_free(tag);
        return Res_noMemory;
    }
    PdfDictEntry *e = &PdfDict_entries(*table)[(*table)->count++];
    e->key = k;
    e->value.owner = nullptr;
    if (kind == 1) {
        e->value.type = PdfObj_internalTag;
        e->value.value.tag = tag;
    } else {
        e->value.type = PdfObj_int;
        e->value.value.p = nullptr;
        e->value.value.i = int32_t(value.word);
    }
    return Res_ok;
}

int Pdf_Dict_addInt(PdfDoc *doc, PdfObj *dict, const char *key, int32_t value, int copyKey)
{
    PdfWord w;
    w.word = value;
    return Pdf_Dict_addEntry(doc, dict, key, w, nullptr, 0, copyKey);
}

int Pdf_Dict_addTag(PdfDoc *doc, PdfObj *dict, const char *key, PdfWord data,
                    PdfTagReleaseFn release, int copyKey)
{
    return Pdf_Dict_addEntry(doc, dict, key, data, release, 1, copyKey);
}

int Pdf_Dict_merge(PdfDoc *doc, PdfObj *dst, PdfObj *src)
{
    PdfDict **to = tableOf(dst);
    int err = Pdf_Obj_resolve(doc, &src);
    if (err != Res_ok)
        return err;
    if (!to || !src || (src->type != PdfObj_dict && src->type != PdfObj_stream))
        return Res_pdfSyntax;
    PdfObj *copy = nullptr;
    err = Pdf_Obj_newCopy(doc, &copy, src, 0);
    if (err != Res_ok)
        return err;
    PdfDict *from = copy->value.dict;
    if (from && from->count) {
        if (Pdf_Dict_reserve(to, from->count) != Res_ok) {
            Pdf_Obj_releaseDeep(doc, copy);
            return Res_noMemory;
        }
        memcpy(PdfDict_entries(*to) + (*to)->count, PdfDict_entries(from),
               from->count * sizeof(PdfDictEntry));
        (*to)->count += from->count;
    }
    Mem_free(from);
    copy->value.dict = nullptr;
    Pdf_Obj_recycle(copy, doc);
    return Res_ok;
}

void Pdf_Dict_trim(PdfObj *dict)
{
    PdfDict **table = tableOf(dict);
    if (!table || !*table || (*table)->count == (*table)->capacity || (*table)->count == 0)
        return;
    PdfDict *t = static_cast<PdfDict *>(Mem_realloc(*table, tableBytes((*table)->count)));
    if (t) {
        t->capacity = t->count;
        *table = t;
    }
}

// ------------------------------------------------------------------ copies

namespace {

int copyValue(PdfDoc *doc, PdfObj *dst, PdfObj *src, int withData, uint32_t depth);

int copyString(PdfObj *dst, const PdfString *s)
{
    PdfString *c = static_cast<PdfString *>(Mem_malloc(sizeof(PdfString) + s->length + 1));
    if (!c)
        return Res_noMemory;
    c->length = s->length;
    memcpy(PdfString_bytes(c), PdfString_bytes(s), size_t(s->length) + 1);
    dst->type = PdfObj_string;
    dst->value.str = c;
    return Res_ok;
}

int copyArray(PdfDoc *doc, PdfObj *dst, PdfArray *a, uint32_t depth)
{
    dst->type = PdfObj_array;
    dst->value.arr = nullptr;
    if (!a || a->count == 0)
        return Res_ok;
    PdfArray *c =
        static_cast<PdfArray *>(Mem_malloc(sizeof(PdfArray) + size_t(a->count) * sizeof(PdfObj)));
    if (!c)
        return Res_noMemory;
    c->count = 0;
    dst->value.arr = c;
    for (uint32_t i = 0; i < a->count; i++) {
        PdfObj *item = &PdfArray_items(c)[i];
        item->owner = nullptr;
        setNull(item);
        c->count = i + 1;
        PdfObj *from = &PdfArray_items(a)[i];
        int err = Pdf_Obj_resolve(doc, &from);
        if (err == Res_ok && from)
            err = copyValue(doc, item, from, 0, depth + 1);
        if (err != Res_ok)
            return err;
    }
    return Res_ok;
}

// Copies the entries of table into a new table at *to, with room for
// extra more entries.
int copyTable(PdfDoc *doc, PdfDict **to, PdfDict *table, uint32_t extra, uint32_t depth)
{
    *to = nullptr;
    uint32_t count = table ? table->count : 0;
    if (count + extra == 0)
        return Res_ok;
    if (Pdf_Dict_reserve(to, count + extra) != Res_ok)
        return Res_noMemory;
    for (uint32_t i = 0; i < count; i++) {
        PdfDictEntry *from = &PdfDict_entries(table)[i];
        PdfDictEntry *e = &PdfDict_entries(*to)[i];
        e->key = Cstr_dup(from->key);
        e->value.owner = nullptr;
        setNull(&e->value);
        if (!e->key)
            return Res_noMemory;
        (*to)->count = i + 1;
        PdfObj *value = &from->value;
        int err = Pdf_Obj_resolve(doc, &value);
        if (err == Res_ok && value)
            err = copyValue(doc, &e->value, value, 0, depth + 1);
        if (err != Res_ok)
            return err;
    }
    return Res_ok;
}

int copyStream(PdfDoc *doc, PdfObj *dst, PdfObj *src, int withData, uint32_t depth)
{
    dst->type = PdfObj_dict;
    dst->value.dict = nullptr;
    int err = copyTable(doc, &dst->value.dict, src->value.stream->dict, withData ? 1 : 0, depth);
    if (err != Res_ok || !withData)
        return err;
    PdfString *data = nullptr;
    err = Pdf_Stream_readAsString(doc, src, &data);
    if (err != Res_ok)
        return err;
    char *key = Cstr_dup(PdfObj_streamContentsKey);
    if (!key) {
        Mem_free(data);
        return Res_noMemory;
    }
    PdfDict *t = dst->value.dict;
    PdfDictEntry *e = &PdfDict_entries(t)[t->count++];
    e->key = key;
    e->value.type = PdfObj_string;
    e->value.value.str = data;
    e->value.owner = nullptr;
    return Res_ok;
}

// The entry whose object src is (the top of an indirect object), or null.
PdfXrefEntry *topEntryOf(PdfObj *src)
{
    return src->owner && src->owner->cached == src ? src->owner : nullptr;
}

// Copies a resolved object into dst (left Null with what was built on
// failure, for the caller to release).
int copyValue(PdfDoc *doc, PdfObj *dst, PdfObj *src, int withData, uint32_t depth)
{
    dst->owner = nullptr;
    setNull(dst);
    if (depth > PdfLex_maxDepth)
        return Res_pdfSyntax;
    PdfXrefEntry *top = topEntryOf(src);
    if (top && (top->flags & PdfXref_busy))
        return Res_pdfSyntax;
    if (top)
        top->flags |= PdfXref_busy;
    int err = Res_ok;
    switch (src->type) {
    case PdfObj_null:
    case PdfObj_bool:
    case PdfObj_int:
    case PdfObj_real:
        dst->type = src->type;
        dst->value = src->value;
        break;
    case PdfObj_string: err = copyString(dst, src->value.str); break;
    case PdfObj_name:
        dst->value.name = Cstr_dup(src->value.name);
        if (dst->value.name)
            dst->type = PdfObj_name;
        else
            err = Res_noMemory;
        break;
    case PdfObj_array: err = copyArray(doc, dst, src->value.arr, depth); break;
    case PdfObj_dict:
        dst->type = PdfObj_dict;
        err = copyTable(doc, &dst->value.dict, src->value.dict, 0, depth);
        break;
    case PdfObj_stream: err = copyStream(doc, dst, src, withData, depth); break;
    default: err = Res_pdfSyntax; break;
    }
    if (top)
        top->flags &= uint16_t(~PdfXref_busy);
    return err;
}

} // namespace

int Pdf_Obj_copy(PdfDoc *doc, PdfObj *dst, PdfObj **srcPtr, int withData)
{
    dst->owner = nullptr;
    setNull(dst);
    int err = Pdf_Obj_resolve(doc, srcPtr);
    if (err != Res_ok || !*srcPtr)
        return err;
    err = copyValue(doc, dst, *srcPtr, withData, 0);
    if (err != Res_ok) {
        Pdf_Obj_freeContents(dst, 1);
        setNull(dst);
    }
    return err;
}

int Pdf_Obj_newCopy(PdfDoc *doc, PdfObj **out, PdfObj *src, int withData)
{
    *out = nullptr;
    if (!src)
        return Res_ok;
    PdfObj *obj = Pdf_Obj_alloc(doc);
    if (!obj)
        return Res_noMemory;
    int err = Pdf_Obj_copy(doc, obj, &src, withData);
    if (err != Res_ok) {
        Pdf_Obj_recycle(obj, doc);
        return err;
    }
    *out = obj;
    return Res_ok;
}

// ------------------------------------------------- name trees, destinations

namespace {

enum : uint32_t { nameTreeMaxDepth = 32 };

// Compares the bytes of two strings as unsigned, the shorter first on a
// common prefix.
int compareStrings(const PdfString *a, const PdfString *b)
{
    uint32_t n = std::min(a->length, b->length);
    int c = n ? memcmp(PdfString_bytes(a), PdfString_bytes(b), n) : 0;
    if (c != 0)
        return c < 0 ? -1 : 1;
    return a->length == b->length ? 0 : (a->length < b->length ? -1 : 1);
}

// The value after the first key equal to name in a "Names" array.
int searchNames(PdfDoc *doc, const PdfString *name, PdfObj *names, PdfObj **out)
{
    uint32_t count = 0;
    int err = Pdf_Obj_getCount(doc, names, &count);
    for (uint32_t i = 0; err == Res_ok && i + 1 < count; i += 2) {
        PdfObj *key = nullptr;
        err = Pdf_Obj_arrayGet(doc, i, names, &key);
        if (err != Res_ok || !key || key->type != PdfObj_string)
            continue;
        if (compareStrings(name, key->value.str) == 0)
            return Pdf_Obj_arrayGet(doc, i + 1, names, out);
    }
    return err;
}

int lookupKids(PdfDoc *doc, const PdfString *name, PdfObj *kids, PdfObj **out, uint32_t depth);

// Searches one node: its "Names", else its "Kids".
int searchNode(PdfDoc *doc, const PdfString *name, PdfObj *node, PdfObj **out, uint32_t depth)
{
    PdfObj *names = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Names", node, &names);
    if (err != Res_ok)
        return err;
    if (names)
        return searchNames(doc, name, names, out);
    PdfObj *kids = nullptr;
    err = Pdf_Obj_dictGet(doc, "Kids", node, &kids);
    if (err != Res_ok || !kids)
        return err;
    return lookupKids(doc, name, kids, out, depth + 1);
}

// The first and last key of a kid's "Limits" (false when it has none).
bool limitsOf(PdfDoc *doc, PdfObj *kid, PdfString **first, PdfString **last)
{
    PdfObj *limits = nullptr;
    if (Pdf_Obj_dictGet(doc, "Limits", kid, &limits) != Res_ok || !limits)
        return false;
    PdfObj *a = nullptr, *b = nullptr;
    if (Pdf_Obj_arrayGet(doc, 0, limits, &a) != Res_ok ||
        Pdf_Obj_arrayGet(doc, 1, limits, &b) != Res_ok)
        return false;
    return Pdf_Obj_getString(doc, a, first) == Res_ok && Pdf_Obj_getString(doc, b, last) == Res_ok;
}

int lookupKids(PdfDoc *doc, const PdfString *name, PdfObj *kids, PdfObj **out, uint32_t depth)
{
    *out = nullptr;
    if (depth >= nameTreeMaxDepth)
        return Res_ok; // a tree this deep is a Kids cycle: not found
    uint32_t hi = 0;
    int err = Pdf_Obj_getCount(doc, kids, &hi);
    if (err != Res_ok)
        return err;
    uint32_t lo = 0;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        PdfObj *kid = nullptr;
        err = Pdf_Obj_arrayGet(doc, mid, kids, &kid);
        if (err != Res_ok || !kid)
            return err;
        PdfString *first = nullptr, *last = nullptr;
        if (!limitsOf(doc, kid, &first, &last))
            return searchNode(doc, name, kid, out, depth);
        if (compareStrings(name, first) < 0)
            hi = mid;
        else if (compareStrings(last, name) >= 0)
            return searchNode(doc, name, kid, out, depth);
        else
            lo = mid + 1;
    }
    return Res_ok;
}

} // namespace

int Pdf_Doc_findNamedDest(PdfDoc *doc, const PdfString *name, PdfObj **out)
{
    *out = nullptr;
    PdfObj *names = nullptr, *dests = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Names", doc->catalog, &names);
    if (err == Res_ok && names)
        err = Pdf_Obj_dictGet(doc, "Dests", names, &dests);
    if (err != Res_ok || !dests)
        return err;
    // A small tree keeps its keys in the root itself.
    return searchNode(doc, name, dests, out, 0);
}

int Pdf_Doc_findDest(PdfDoc *doc, const char *name, PdfObj **out)
{
    *out = nullptr;
    PdfObj *dests = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Dests", doc->catalog, &dests);
    if (err != Res_ok || !dests || dests->type != PdfObj_dict)
        return err;
    return Pdf_Obj_dictGet(doc, name, dests, out);
}
