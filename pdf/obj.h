// PDF objects: the tagged records that hold every value read from a PDF
// file, and the lookups that read them.
//
// Only what other subsystems already call is declared so far: the record
// and its container layouts, the dictionary and array lookups and the
// number getter (interim until the PDF reader exists), and the reader of a
// four-number array such as a page box.
#pragma once

#include <cstdint>

struct PdfDoc;
struct PdfXrefEntry;

// Object type codes.
enum : uint32_t {
    PdfObj_null = 0,
    PdfObj_bool = 1,
    PdfObj_int = 2,         // value.i
    PdfObj_real = 3,        // value.f
    PdfObj_string = 4,
    PdfObj_name = 5,
    PdfObj_array = 6,       // value.p: a PdfArray, null when empty
    PdfObj_dict = 7,        // value.p: a PdfDict, null when empty
    PdfObj_stream = 8,      // value.p: a PdfStreamRec
    PdfObj_indirect = 9,
    PdfObj_unresolved = 10,
    PdfObj_keyword = 11,
    PdfObj_internalTag = 12,
    PdfObj_unknown = 13,
};

struct PdfObj {
    uint32_t type;
    union {
        int32_t i;  // an integer or a flag
        float f;    // a real number
        void *p;    // the payload of the other types
    } value;
    PdfXrefEntry *owner; // the entry of the indirect object it was parsed in, or null
};

// An array block: the count, then that many PdfObj records (PdfArray_items).
struct alignas(PdfObj) PdfArray {
    uint32_t count;
};

// A dictionary table: capacity and count, then capacity entries
// (PdfDict_entries) of which the first count are in use.
struct PdfDictEntry {
    const char *key; // the name without its leading "/"
    PdfObj value;
};

struct alignas(PdfDictEntry) PdfDict {
    uint32_t capacity;
    uint32_t count;
};

// A stream: its dictionary table and the offset of its data.
struct PdfStreamRec {
    PdfDict *dict;
    uint32_t offset;
};

inline PdfObj *PdfArray_items(PdfArray *a)
{
    return reinterpret_cast<PdfObj *>(a + 1);
}

inline PdfDictEntry *PdfDict_entries(PdfDict *d)
{
    return reinterpret_cast<PdfDictEntry *>(d + 1);
}

// The value of key in dict (a dictionary, or a stream's dictionary): *out
// points at it (borrowed), or is null when the key is missing or its value
// is null. 0; 5914 for a null dict; 5915 for another type.
int Pdf_Obj_dictGet(PdfDoc *doc, const char *key, PdfObj *dict, PdfObj **out);
// Element index of array: *out points at it (borrowed), or is null past
// the end. 0; 5905 for a null array; 5920 for another type.
int Pdf_Obj_arrayGet(PdfDoc *doc, uint32_t index, PdfObj *array, PdfObj **out);
// The number of an integer (converted) or real object. 0; 5902 for a null
// object; 5910 for another type.
int Pdf_Obj_getNumber(PdfDoc *doc, PdfObj *obj, float *out);

// Reads the four-number array under key of dict (a rectangle such as a
// page box) into out[0..3]. 0, also when the key is missing (out then
// untouched); the lookup's error; 5920 when the value is not an array;
// 5902 at the first missing element of a shorter array, or 5910 at an
// element that is not a number, the slots before it written.
int Pdf_dictGetNumbers4(PdfDoc *doc, PdfObj *dict, const char *key, float out[4]);
