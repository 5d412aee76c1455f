// PDF objects: records and their release, the name table, resolving
// references and the typed getters.
//
// Stand-alone records come from the document's free list of 100 spare
// records, because the parser makes and drops them by the thousand.
// Resolving follows a chain of references to its end, parsing each entry's
// object at its offset on first use; a chain that comes back on itself (an
// object that names itself, or a longer cycle) is caught with Brent's
// method, which needs no marks on the entries.
#include "pdf/obj.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/cstr.h"
#include "pdf/document.h"
#include "pdf/lexer.h"
#include "pdf/xrefstream.h"

// ------------------------------------------------------------- name table

uint32_t Pdf_NameTable_bucket(const char *name, size_t length)
{
    uint32_t h = 5381;
    for (size_t i = 0; i < length; i++)
        h = h * 33u + uint8_t(name[i]);
    return (h * 0x9e3779b9u) >> 22;
}

int Pdf_NameTable_create(PdfNameTable **out)
{
    *out = static_cast<PdfNameTable *>(Mem_calloc(1, sizeof(PdfNameTable)));
    return *out ? Res_ok : Res_noMemory;
}

void Pdf_NameTable_destroy(PdfNameTable *table)
{
    if (!table)
        return;
    for (PdfNameNode *&head : table->heads) {
        while (head) {
            PdfNameNode *next = head->next;
            Mem_free(head);
            head = next;
        }
    }
    Mem_free(table);
}

namespace {

char *nodeText(PdfNameNode *node)
{
    return reinterpret_cast<char *>(node + 1);
}

} // namespace

char *Pdf_NameTable_intern(PdfNameTable *table, const char *name, size_t length)
{
    if (!table)
        return nullptr;
    PdfNameNode **head = &table->heads[Pdf_NameTable_bucket(name, length)];
    for (PdfNameNode **link = head; *link; link = &(*link)->next) {
        PdfNameNode *node = *link;
        char *text = nodeText(node);
        if (node->length == length && memcmp(text, name, length) == 0) {
            *link = node->next;
            node->next = *head;
            *head = node;
            return text;
        }
    }
    PdfNameNode *node = static_cast<PdfNameNode *>(Mem_malloc(sizeof(PdfNameNode) + length + 1));
    if (!node)
        return nullptr;
    node->length = length;
    memcpy(nodeText(node), name, length);
    nodeText(node)[length] = '\0';
    node->next = *head;
    *head = node;
    return nodeText(node);
}

// ------------------------------------------------- allocation and release

PdfObj *Pdf_Obj_alloc(PdfDoc *doc)
{
    if (doc && doc->freeCount)
        return doc->freeList[--doc->freeCount];
    return static_cast<PdfObj *>(Mem_malloc(sizeof(PdfObj)));
}

void Pdf_Obj_recycle(PdfObj *obj, PdfDoc *doc)
{
    if (!obj)
        return;
    if (!doc || doc->freeCount >= PdfDoc_freeListSlots) {
        Mem_free(obj);
        return;
    }
    doc->freeList[doc->freeCount++] = obj;
}

namespace {

void freeTable(PdfDict *table, int deep)
{
    if (!table)
        return;
    PdfDictEntry *e = PdfDict_entries(table);
    for (uint32_t i = 0; i < table->count; i++) {
        if (deep)
            Mem_free(const_cast<char *>(e[i].key));
        Pdf_Obj_freeContents(&e[i].value, deep);
    }
    Mem_free(table);
}

} // namespace

void Pdf_Obj_freeContents(PdfObj *obj, int deep)
{
    if (!obj)
        return;
    switch (obj->type) {
    case PdfObj_string: Mem_free(obj->value.str); break;
    case PdfObj_unresolved: Mem_free(obj->value.ref); break;
    case PdfObj_name:
        if (deep)
            Mem_free(obj->value.name);
        break;
    case PdfObj_array:
        if (PdfArray *a = obj->value.arr) {
            for (uint32_t i = 0; i < a->count; i++)
                Pdf_Obj_freeContents(&PdfArray_items(a)[i], deep);
            Mem_free(a);
        }
        break;
    case PdfObj_dict: freeTable(obj->value.dict, deep); break;
    case PdfObj_stream:
        if (obj->value.stream) {
            freeTable(obj->value.stream->dict, deep);
            Mem_free(obj->value.stream);
        }
        break;
    case PdfObj_internalTag:
        if (PdfTag *t = obj->value.tag) {
            if (t->release)
                t->release(t->data);
            Mem_free(t);
        }
        break;
    default:
        // Null, Bool, numbers, Indirect and Keyword have no payload; codes
        // from 13 up are left alone.
        return;
    }
    obj->type = PdfObj_null;
    obj->value.p = nullptr;
}

void Pdf_Obj_release(PdfDoc *doc, PdfObj *obj)
{
    if (!obj)
        return;
    Pdf_Obj_freeContents(obj, 0);
    Pdf_Obj_recycle(obj, doc);
}

void Pdf_Obj_releaseDeep(PdfDoc *doc, PdfObj *obj)
{
    if (!obj)
        return;
    Pdf_Obj_freeContents(obj, 1);
    Pdf_Obj_recycle(obj, doc);
}

int Pdf_Obj_parseInto(PdfDoc *doc, PdfLexer *lexer, PdfObj **out, PdfXrefEntry *entry)
{
    *out = nullptr;
    PdfObj *obj = Pdf_Obj_alloc(doc);
    if (!obj)
        return Res_noMemory;
    obj->type = PdfObj_null;
    obj->value.p = nullptr;
    obj->owner = entry;
    int produced = 0;
    int err = Pdf_Lex_next(doc, lexer, obj, &produced);
    if (err != Res_ok || !produced) {
        Pdf_Obj_release(doc, obj);
        return err;
    }
    *out = obj;
    return Res_ok;
}

int Pdf_Obj_parse(PdfDoc *doc, PdfLexer *lexer, PdfObj **out)
{
    return Pdf_Obj_parseInto(doc, lexer, out, nullptr);
}

const char *Pdf_Obj_typeName(const PdfObj *obj)
{
    static constexpr const char *names[] = {
        "Null",       "Bool",   "Number_int", "Number_float", "String", "Name",        "Array",
        "Dictionary", "Stream", "Indirect",   "UnResolved",   "BROKEN", "InternalTag", "Unknown"};
    if (!obj)
        return "Null";
    return obj->type < sizeof names / sizeof names[0] ? names[obj->type] : "BROKEN";
}

// -------------------------------------------------------------- resolving

namespace {

// Whether "N G obj" with the entry's number starts at the lexer's place
// (white space before it skipped); the lexer is left after "obj" when it
// does.
bool headerMatches(PdfLexer *lexer, const PdfXrefEntry *entry)
{
    int64_t number = 0, generation = 0;
    return Pdf_Lex_readInt(lexer, &number) == Res_ok &&
           Pdf_Lex_readInt(lexer, &generation) == Res_ok &&
           Pdf_Lex_expect(lexer, "obj") == Res_ok && number == int64_t(entry->number);
}

// Parses the object of an entry at its offset into the entry's cache,
// keeping the lexer where it was. An entry whose offset does not lead to
// its own header is looked for in a scan of the file, and its offset
// corrected; when the scan finds no header of that number, the object
// after the next "obj" from the stated offset is taken.
int parseEntry(PdfDoc *doc, PdfXrefEntry *entry)
{
    PdfLexer *lexer = doc->lexer;
    uint64_t saved = Pdf_Lex_tell(lexer);
    PdfObj *obj = nullptr;
    int err = Res_ok;
    if (entry->flags & PdfXref_compressed) {
        err = Pdf_ObjStm_parseEntry(doc, entry, &obj);
    } else {
        err = Pdf_Lex_seek(lexer, entry->offset);
        if (err == Res_ok && !headerMatches(lexer, entry)) {
            uint64_t found = 0;
            int located = Pdf_Xref_locate(doc, entry->number, &found);
            if (located == Res_noMemory) {
                err = located;
            } else if (located == Res_ok && found != entry->offset) {
                entry->offset = found;
                Pdf_Doc_warn(doc, PdfWarn_repaired);
                err = Pdf_Lex_seek(lexer, entry->offset);
                if (err == Res_ok)
                    err = Pdf_Lex_expect(lexer, "*obj");
            } else {
                // No better place known: the object at the stated offset.
                err = Pdf_Lex_seek(lexer, entry->offset);
                if (err == Res_ok)
                    err = Pdf_Lex_expect(lexer, "*obj");
            }
        }
        if (err == Res_ok)
            err = Pdf_Obj_parseInto(doc, lexer, &obj, entry);
    }
    int back = Pdf_Lex_seek(lexer, saved);
    if (err == Res_ok)
        err = back;
    if (err != Res_ok) {
        Pdf_Obj_release(doc, obj);
        return err;
    }
    entry->cached = obj;
    if (obj)
        doc->cachedCount++;
    return Res_ok;
}

} // namespace

int Pdf_Obj_resolve(PdfDoc *doc, PdfObj **objPtr)
{
    PdfObj *obj = *objPtr;
    // Brent's cycle detection: mark is compared with every entry met and
    // moves on at each power of two steps.
    PdfXrefEntry *mark = nullptr;
    uint32_t steps = 0, limit = 2;
    while (obj && (obj->type == PdfObj_indirect || obj->type == PdfObj_unresolved)) {
        if (obj->type == PdfObj_unresolved) {
            PdfRefBlock *ref = obj->value.ref;
            PdfXrefEntry *e =
                doc ? Pdf_Xref_find(doc, ref->number, int32_t(ref->generation)) : nullptr;
            Mem_free(ref);
            if (!e || !(e->flags & PdfXref_inUse)) {
                obj->type = PdfObj_null;
                obj->value.p = nullptr;
                break;
            }
            obj->type = PdfObj_indirect;
            obj->value.entry = e;
        }
        PdfXrefEntry *entry = obj->value.entry;
        if (!(entry->flags & PdfXref_inUse)) {
            obj = nullptr; // a free entry: the object is gone
            break;
        }
        if (entry == mark) {
            *objPtr = nullptr;
            return Res_pdfSyntax;
        }
        if (++steps == limit) {
            mark = entry;
            limit *= 2;
            steps = 0;
        }
        if (!entry->cached) {
            if (!doc) {
                *objPtr = obj;
                return Res_pdfNoDocument;
            }
            int err = parseEntry(doc, entry);
            if (err != Res_ok) {
                *objPtr = obj;
                return err;
            }
        }
        obj = entry->cached;
    }
    *objPtr = obj;
    return Res_ok;
}

int Pdf_Obj_getRefId(PdfDoc *doc, PdfObj *obj, int32_t *num, int32_t *gen)
{
    *num = -1;
    *gen = -1;
    int err = Pdf_Obj_resolve(doc, &obj);
    if (err != Res_ok)
        return err;
    if (obj && obj->owner) {
        *num = int32_t(obj->owner->number);
        *gen = obj->owner->generation;
    }
    return Res_ok;
}

int Pdf_Obj_getType(PdfDoc *doc, PdfObj *obj, uint32_t *type)
{
    *type = PdfObj_null;
    int err = Pdf_Obj_resolve(doc, &obj);
    if (err == Res_ok && obj)
        *type = obj->type;
    return err;
}

// ---------------------------------------------------------------- getters

namespace {

// Resolves obj and checks its type: missing when null, wrong otherwise.
int resolveAs(PdfDoc *doc, PdfObj **obj, uint32_t type, int missing, int wrong)
{
    int err = Pdf_Obj_resolve(doc, obj);
    if (err != Res_ok)
        return err;
    if (!*obj)
        return missing;
    return (*obj)->type == type ? int(Res_ok) : wrong;
}

} // namespace

int Pdf_Obj_getString(PdfDoc *doc, PdfObj *obj, PdfString **out)
{
    *out = nullptr;
    int err = resolveAs(doc, &obj, PdfObj_string, Res_pdfNoString, Res_pdfNotString);
    if (err == Res_ok)
        *out = obj->value.str;
    return err;
}

int Pdf_Obj_getInt(PdfDoc *doc, PdfObj *obj, int32_t *out)
{
    *out = 0;
    int err = resolveAs(doc, &obj, PdfObj_int, Res_pdfNoInt, Res_pdfNotInt);
    if (err == Res_ok)
        *out = obj->value.i;
    return err;
}

int Pdf_Obj_getNumber(PdfDoc *doc, PdfObj *obj, float *out)
{
    *out = 0.0f;
    int err = Pdf_Obj_resolve(doc, &obj);
    if (err != Res_ok)
        return err;
    if (!obj)
        return Res_pdfNoNumber;
    if (obj->type == PdfObj_int)
        *out = float(obj->value.i);
    else if (obj->type == PdfObj_real)
        *out = obj->value.f;
    else
        return Res_pdfNotNumber;
    return Res_ok;
}

int Pdf_Obj_getName(PdfDoc *doc, PdfObj *obj, const char **out)
{
    *out = nullptr;
    int err = resolveAs(doc, &obj, PdfObj_name, Res_pdfNoName, Res_pdfNotName);
    if (err == Res_ok)
        *out = obj->value.name;
    return err;
}

int Pdf_Obj_getBool(PdfDoc *doc, PdfObj *obj, int32_t *out)
{
    *out = 0;
    int err = resolveAs(doc, &obj, PdfObj_bool, Res_pdfNoBool, Res_pdfNotBool);
    if (err == Res_ok)
        *out = obj->value.i;
    return err;
}

int Pdf_Obj_getTag(PdfDoc *doc, PdfObj *obj, PdfWord *out)
{
    out->ptr = nullptr;
    int err = resolveAs(doc, &obj, PdfObj_internalTag, Res_pdfNoTag, Res_pdfNotTag);
    if (err == Res_ok && obj->value.tag)
        *out = obj->value.tag->data;
    return err;
}

int Pdf_Obj_dictGet(PdfDoc *doc, const char *key, PdfObj *dict, PdfObj **out)
{
    *out = nullptr;
    int err = Pdf_Obj_resolve(doc, &dict);
    if (err != Res_ok)
        return err;
    if (!dict)
        return Res_pdfNoDict;
    PdfDict *table;
    if (dict->type == PdfObj_dict)
        table = dict->value.dict;
    else if (dict->type == PdfObj_stream)
        table = dict->value.stream->dict;
    else
        return Res_pdfNotDict;
    if (!table)
        return Res_ok;
    PdfDictEntry *e = PdfDict_entries(table);
    for (uint32_t i = 0; i < table->count; i++) {
        if (Cstr_cmp(key, e[i].key) != 0)
            continue;
        PdfObj *value = &e[i].value;
        err = Pdf_Obj_resolve(doc, &value);
        if (err == Res_ok && value && value->type != PdfObj_null)
            *out = value;
        return err;
    }
    return Res_ok;
}

int Pdf_Obj_arrayGet(PdfDoc *doc, uint32_t index, PdfObj *array, PdfObj **out)
{
    *out = nullptr;
    int err = resolveAs(doc, &array, PdfObj_array, Res_pdfNoArray, Res_pdfNotArray);
    if (err != Res_ok)
        return err;
    PdfArray *a = array->value.arr;
    if (!a || index >= a->count)
        return Res_ok;
    PdfObj *item = &PdfArray_items(a)[index];
    err = Pdf_Obj_resolve(doc, &item);
    if (err == Res_ok)
        *out = item;
    return err;
}

int Pdf_Obj_getArray(PdfDoc *doc, PdfObj *array, uint32_t n, PdfArray **out)
{
    *out = nullptr;
    if (n == 0)
        return Res_ok;
    int err = resolveAs(doc, &array, PdfObj_array, Res_pdfNoArray, Res_pdfNotArray);
    if (err != Res_ok)
        return err;
    *out = array->value.arr;
    if (!*out || (*out)->count < n)
        return Res_pdfSyntax;
    return Res_ok;
}

int Pdf_Obj_getIntArray(PdfDoc *doc, PdfObj *array, uint32_t n, int32_t *ints)
{
    PdfArray *a = nullptr;
    int err = Pdf_Obj_getArray(doc, array, n, &a);
    for (uint32_t i = 0; err == Res_ok && i < n; i++)
        err = Pdf_Obj_getInt(doc, &PdfArray_items(a)[i], &ints[i]);
    return err;
}

int Pdf_Obj_getNumberArray(PdfDoc *doc, PdfObj *array, uint32_t n, float *floats)
{
    PdfArray *a = nullptr;
    int err = Pdf_Obj_getArray(doc, array, n, &a);
    for (uint32_t i = 0; err == Res_ok && i < n; i++)
        err = Pdf_Obj_getNumber(doc, &PdfArray_items(a)[i], &floats[i]);
    return err;
}

int Pdf_Obj_getCount(PdfDoc *doc, PdfObj *obj, uint32_t *count)
{
    *count = 0;
    int err = Pdf_Obj_resolve(doc, &obj);
    if (err != Res_ok)
        return err;
    if (!obj)
        return Res_pdfNoCount;
    switch (obj->type) {
    case PdfObj_array: *count = obj->value.arr ? obj->value.arr->count : 0; break;
    case PdfObj_dict: *count = obj->value.dict ? obj->value.dict->count : 0; break;
    case PdfObj_stream:
        *count = obj->value.stream->dict ? obj->value.stream->dict->count : 0;
        break;
    default: return Res_pdfCountType;
    }
    return Res_ok;
}

void Pdf_Obj_pin(PdfObj *obj)
{
    if (obj && obj->owner)
        obj->owner->flags |= PdfXref_pinned;
}

// ------------------------------------------------------- number arrays

int Pdf_dictGetNumbers4(PdfDoc *doc, PdfObj *dict, const char *key, float out[4])
{
    PdfObj *array = nullptr;
    int r = Pdf_Obj_dictGet(doc, key, dict, &array);
    if (r != Res_ok || !array)
        return r;
    for (uint32_t i = 0; i < 4; i++) {
        PdfObj *element = nullptr;
        float value = 0;
        r = Pdf_Obj_arrayGet(doc, i, array, &element);
        if (r == Res_ok)
            r = Pdf_Obj_getNumber(doc, element, &value);
        if (r != Res_ok)
            return r; // the slot of the failing element stays as it was
        out[i] = value;
    }
    return Res_ok;
}
