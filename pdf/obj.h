// PDF objects: the tagged values that every part of the PDF reader reads.
//
// A PdfObj is three words: a type code, a value (an integer, a float's
// bits or a pointer to a payload block) and the cross-reference entry of
// the indirect object it was parsed inside (its owner), which gives the
// object number and generation that decryption needs. Arrays and
// dictionaries embed their elements; an Indirect object only points at an
// entry, whose cached object the document owns. Names are interned per
// document and compared by content.
//
// Every getter resolves references first. Results of lookups are borrowed:
// they live until the object store drops the object (a flush), unless the
// owning entry is pinned.
#pragma once

#include <cstddef>
#include <cstdint>

struct PdfDoc;
struct PdfLexer;
struct PdfXrefEntry;

// Type codes (Pdf_Obj_typeName gives their names).
enum : uint32_t {
    PdfObj_null = 0,
    PdfObj_bool = 1,
    PdfObj_int = 2,
    PdfObj_real = 3, // "Number_float"
    PdfObj_string = 4,
    PdfObj_name = 5,
    PdfObj_array = 6,
    PdfObj_dict = 7,
    PdfObj_stream = 8,
    PdfObj_indirect = 9,
    PdfObj_unresolved = 10,
    PdfObj_keyword = 11,
    PdfObj_internalTag = 12,
    PdfObj_unknown = 13,
};

struct PdfString;
struct PdfArray;
struct PdfDict;
struct PdfStreamRec;
struct PdfRefBlock;
struct PdfTag;

// A word of engine data hung on a dictionary: a pointer or an integer.
union PdfWord {
    void *ptr;
    intptr_t word;
};

// The value word: pointer-sized.
union PdfValue {
    int32_t i;            // Bool (0 or 1), Number_int, Keyword (table index)
    float f;              // Number_float (PdfObj_real)
    PdfString *str;       // String
    char *name;           // Name: interned (or owned, in copies), no leading "/"
    PdfArray *arr;        // Array (null when empty)
    PdfDict *dict;        // Dictionary (null when empty)
    PdfStreamRec *stream; // Stream
    PdfXrefEntry *entry;  // Indirect: the entry the reference names
    PdfRefBlock *ref;     // UnResolved
    PdfTag *tag;          // InternalTag
    void *p;              // any payload
};

struct PdfObj {
    uint32_t type;
    PdfValue value;
    PdfXrefEntry *owner; // the entry of the indirect object parsed around it, or null
};

// String block: the byte length, the bytes, one NUL after them (not counted).
struct PdfString {
    uint32_t length;
};
inline uint8_t *PdfString_bytes(PdfString *s)
{
    return reinterpret_cast<uint8_t *>(s) + sizeof(PdfString);
}
inline const uint8_t *PdfString_bytes(const PdfString *s)
{
    return reinterpret_cast<const uint8_t *>(s) + sizeof(PdfString);
}

// Array block: the count, then count embedded records (PdfArray_items).
struct alignas(PdfObj) PdfArray {
    uint32_t count;
};
inline PdfObj *PdfArray_items(PdfArray *a)
{
    return reinterpret_cast<PdfObj *>(a + 1);
}

// Dictionary table: capacity, count, then capacity entries {key, value}
// (PdfDict_entries) of which the first count are in use. Keys are names
// without their leading "/".
struct PdfDictEntry {
    const char *key;
    PdfObj value;
};
struct alignas(PdfDictEntry) PdfDict {
    uint32_t capacity;
    uint32_t count;
};
inline PdfDictEntry *PdfDict_entries(PdfDict *t)
{
    return reinterpret_cast<PdfDictEntry *>(t + 1);
}

// A stream: its dictionary table and the offset of its first data byte,
// relative to the file's base offset.
struct PdfStreamRec {
    PdfDict *dict;
    uint64_t offset;
};

// A reference whose entry was not yet read when it was parsed.
struct PdfRefBlock {
    uint32_t number;
    uint32_t generation;
};

// Engine data hung on a dictionary; release (when set) gets the data word.
typedef void (*PdfTagReleaseFn)(PdfWord data);
struct PdfTag {
    PdfTagReleaseFn release;
    PdfWord data;
};

// --------------------------------------------------------- the name table

enum : uint32_t { PdfNameTable_buckets = 1024 };

struct PdfNameNode {
    PdfNameNode *next;
    size_t length; // the bytes' length (a name may hold a NUL written "#00")
    // the NUL-terminated bytes follow
};
struct PdfNameTable {
    PdfNameNode *heads[PdfNameTable_buckets];
};

// A new empty table into *out; 1 when memory runs out.
[[nodiscard]] int Pdf_NameTable_create(PdfNameTable **out);
// Frees every name and the table (null allowed).
void Pdf_NameTable_destroy(PdfNameTable *table);
// The interned text of the length bytes at name: found names move to the
// front of their chain; a new name is copied in. Null when memory runs out.
char *Pdf_NameTable_intern(PdfNameTable *table, const char *name, size_t length);
// The bucket of a name: the top 10 bits of djb2(name) x 0x9e3779b9 mod 2^32.
uint32_t Pdf_NameTable_bucket(const char *name, size_t length);

// ------------------------------------------------- allocation and release

enum : uint32_t { PdfDoc_freeListSlots = 100 };

// A record from the document's free list, else from the heap (null when
// memory runs out); its contents are undefined. A null doc uses the heap.
PdfObj *Pdf_Obj_alloc(PdfDoc *doc);
// The record goes back to the free list, or to the heap when the list is
// full or either argument is null.
void Pdf_Obj_recycle(PdfObj *obj, PdfDoc *doc);
// Frees the payload by type (names and dictionary keys only when deep);
// the record itself stays. Null and codes of 13 and above are ignored.
void Pdf_Obj_freeContents(PdfObj *obj, int deep);
// freeContents (not deep / deep), then recycle. Null allowed.
void Pdf_Obj_release(PdfDoc *doc, PdfObj *obj);
void Pdf_Obj_releaseDeep(PdfDoc *doc, PdfObj *obj);

// Allocates a record with owner entry (null for Pdf_Obj_parse) and parses
// the next object of the lexer into it. When the parse fails or produces
// nothing, *out is null and the parse's code is returned (1 when no record
// can be had).
[[nodiscard]] int Pdf_Obj_parse(PdfDoc *doc, PdfLexer *lexer, PdfObj **out);
[[nodiscard]] int Pdf_Obj_parseInto(PdfDoc *doc, PdfLexer *lexer, PdfObj **out,
                                    PdfXrefEntry *entry);

// "Null", "Bool", ... for the type code; "BROKEN" for 11 and above 13.
const char *Pdf_Obj_typeName(const PdfObj *obj);

// -------------------------------------------------------------- resolving

// Replaces *objPtr by the end of its reference chain, parsing entries on
// first use (the lexer's position is kept). UnResolved references are
// looked up and turned into Indirect or Null in place; a reference to a
// free entry resolves to null. 5975 when an entry
// must be parsed without a document; a reference cycle gives null with
// 5971; the parse's errors pass through. A null pointer stays null.
[[nodiscard]] int Pdf_Obj_resolve(PdfDoc *doc, PdfObj **objPtr);
// Resolves, then the owner entry's number and generation (-1 and -1 when
// the object has none).
[[nodiscard]] int Pdf_Obj_getRefId(PdfDoc *doc, PdfObj *obj, int32_t *num, int32_t *gen);
// Resolves, then the type code (0 for null).
[[nodiscard]] int Pdf_Obj_getType(PdfDoc *doc, PdfObj *obj, uint32_t *type);

// ---------------------------------------------------------------- getters
// Each resolves first; a null object and a wrong type give the codes noted.

[[nodiscard]] int Pdf_Obj_getString(PdfDoc *doc, PdfObj *obj, PdfString **out); // 5900 / 5908
[[nodiscard]] int Pdf_Obj_getInt(PdfDoc *doc, PdfObj *obj, int32_t *out);       // 5901 / 5909
[[nodiscard]] int Pdf_Obj_getNumber(PdfDoc *doc, PdfObj *obj, float *out);      // 5902 / 5910
[[nodiscard]] int Pdf_Obj_getName(PdfDoc *doc, PdfObj *obj, const char **out);  // 5903 / 5911
[[nodiscard]] int Pdf_Obj_getBool(PdfDoc *doc, PdfObj *obj, int32_t *out);      // 5904 / 5912
[[nodiscard]] int Pdf_Obj_getTag(PdfDoc *doc, PdfObj *obj, PdfWord *out);       // 5906 / 5913

// The value of key in a Dictionary (or a Stream's dictionary), resolved
// and borrowed; null with success when the key is missing or its value is
// Null. The first equal key wins. 5914 for a null dict, 5915 another type.
[[nodiscard]] int Pdf_Obj_dictGet(PdfDoc *doc, const char *key, PdfObj *dict, PdfObj **out);
// Element index of an array, resolved and borrowed; null with success past
// the end. 5905 for a null array, 5920 another type.
[[nodiscard]] int Pdf_Obj_arrayGet(PdfDoc *doc, uint32_t index, PdfObj *array, PdfObj **out);
// The array block when it holds at least n elements (5971 otherwise); n 0
// succeeds at once. 5905 / 5920 as above.
[[nodiscard]] int Pdf_Obj_getArray(PdfDoc *doc, PdfObj *array, uint32_t n, PdfArray **out);
// The first n elements through Pdf_Obj_getInt / Pdf_Obj_getNumber.
[[nodiscard]] int Pdf_Obj_getIntArray(PdfDoc *doc, PdfObj *array, uint32_t n, int32_t *ints);
[[nodiscard]] int Pdf_Obj_getNumberArray(PdfDoc *doc, PdfObj *array, uint32_t n, float *floats);
// Elements of an array, entries of a dictionary or stream dictionary.
// 5921 for null, Res_pdfCountType for another type.
[[nodiscard]] int Pdf_Obj_getCount(PdfDoc *doc, PdfObj *obj, uint32_t *count);
// Reads the four-number array under key of dict (a rectangle such as a page
// box) into out[0..3]. 0, also when the key is missing (out then untouched);
// the lookup's error; Res_pdfNotArray when the value is not an array; 5902 at
// the first missing element of a shorter array, or 5910 at an element that is
// not a number, the slots before it written.
[[nodiscard]] int Pdf_dictGetNumbers4(PdfDoc *doc, PdfObj *dict, const char *key, float out[4]);

// ---------------------------------------------------- building dictionaries

// A heap record of type Dictionary with an empty table. 1 out of memory.
[[nodiscard]] int Pdf_Dict_new(PdfObj **out);
// Makes room for n more entries: a missing table gets capacity max(n, 4),
// a full one doubles until they fit. 1 leaves the table as it was.
[[nodiscard]] int Pdf_Dict_reserve(PdfDict **tablePtr, uint32_t n);
// Appends the pair; both records are recycled, their contents moved into
// the table. The key must be a Name (5971, nothing taken). When no room
// can be made both are released and 1 returned.
[[nodiscard]] int Pdf_Dict_add(PdfDoc *doc, PdfObj *dict, PdfObj *keyObj, PdfObj *valueObj);
// Appends key (a private copy with copyKey, else interned in the
// document's name table) with a Number_int value (kind 0) or an
// InternalTag {release = data, data word = value} (kind 1).
[[nodiscard]] int Pdf_Dict_addEntry(PdfDoc *doc, PdfObj *dict, const char *key, PdfWord value,
                                    PdfTagReleaseFn data, int kind, int copyKey);
[[nodiscard]] int Pdf_Dict_addInt(PdfDoc *doc, PdfObj *dict, const char *key, int32_t value,
                                  int copyKey);
[[nodiscard]] int Pdf_Dict_addTag(PdfDoc *doc, PdfObj *dict, const char *key, PdfWord data,
                                  PdfTagReleaseFn release, int copyKey);
// Deep-copies src (Dictionary or Stream; others 5971) and moves its
// entries to the end of dst.
[[nodiscard]] int Pdf_Dict_merge(PdfDoc *doc, PdfObj *dst, PdfObj *src);
// Shrinks the table to its count (a failed shrink keeps it as it is).
void Pdf_Dict_trim(PdfObj *dict);

// ------------------------------------------------------------------ copies

// The key under which a copied stream carries its decoded data.
constexpr char PdfObj_streamContentsKey[] = "/StreamContents";

// Resolves *srcPtr and copies it into dst (owner null): strings and names
// private, containers element by element with their references followed.
// A Stream becomes a Dictionary; withData appends its decoded data as a
// String under "/StreamContents". Indirect, UnResolved and other types, a
// reference cycle and nesting past the parser's depth give 5971; a failed
// data read passes its error. On any failure dst is Null.
[[nodiscard]] int Pdf_Obj_copy(PdfDoc *doc, PdfObj *dst, PdfObj **srcPtr, int withData);
// A new record holding a copy (null src: *out null, success).
[[nodiscard]] int Pdf_Obj_newCopy(PdfDoc *doc, PdfObj **out, PdfObj *src, int withData);
// Sets the pinned flag on the owner entry, so that flushes keep it.
void Pdf_Obj_pin(PdfObj *obj);

// ------------------------------------------------- name trees, destinations

// Catalog "Names" / "Dests" name tree.
[[nodiscard]] int Pdf_Doc_findNamedDest(PdfDoc *doc, const PdfString *name, PdfObj **out);
// The catalog's "Dests" dictionary looked up by name.
[[nodiscard]] int Pdf_Doc_findDest(PdfDoc *doc, const char *name, PdfObj **out);
