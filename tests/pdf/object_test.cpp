// PDF objects: the name table, the record free list, type names, the
// getters and their codes, resolving (free entries, missing numbers,
// cycles), building dictionaries, copies, and name-tree lookups.
#include <cstring>
#include <string>

#include "core/mem/mem.h"
#include "core/text/cstr.h"
#include "tests/pdf/pdf_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

class PdfNameTableTest : public LeakCheckedHeapTest<> {};

TEST_F(PdfNameTableTest, NamesAreInternedOnceAndFoundByContent)
{
    // djb2("Type") = 2090784498; x 0x9e3779b9 mod 2^32, top 10 bits.
    uint32_t h = 5381;
    for (char c : std::string("Type"))
        h = h * 33 + uint8_t(c);
    EXPECT_EQ(Pdf_NameTable_bucket("Type", 4), (h * 0x9e3779b9u) >> 22);
    EXPECT_LT(Pdf_NameTable_bucket("", 0), 1024u);

    PdfNameTable *t = nullptr;
    ASSERT_EQ(Pdf_NameTable_create(&t), Res_ok);
    char *a = Pdf_NameTable_intern(t, "Type", 4);
    char *b = Pdf_NameTable_intern(t, "TypeX", 4);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b) << "the same name, the same text";
    EXPECT_STREQ(a, "Type");
    char *c = Pdf_NameTable_intern(t, "Typ", 3);
    EXPECT_NE(c, a);
    std::string withNul("A\0B", 3);
    char *d = Pdf_NameTable_intern(t, withNul.data(), 3);
    EXPECT_EQ(memcmp(d, "A\0B", 4), 0);
    // Names are compared by their whole length, a NUL inside included.
    EXPECT_NE(Pdf_NameTable_intern(t, "A", 1), d);
    EXPECT_EQ(Pdf_NameTable_intern(t, withNul.data(), 3), d);
    EXPECT_NE(Pdf_NameTable_intern(t, "A\0BC", 5), d);
    EXPECT_EQ(Pdf_NameTable_intern(nullptr, "x", 1), nullptr);
    Pdf_NameTable_destroy(t);
    Pdf_NameTable_destroy(nullptr);
}

TEST_F(PdfNameTableTest, TheFreeListHoldsAHundredRecords)
{
    PdfDoc *doc = static_cast<PdfDoc *>(Mem_calloc(1, sizeof(PdfDoc)));
    ASSERT_NE(doc, nullptr);
    PdfObj *records[101];
    for (PdfObj *&r : records)
        r = Pdf_Obj_alloc(doc);
    for (PdfObj *r : records)
        Pdf_Obj_recycle(r, doc);
    EXPECT_EQ(doc->freeCount, 100u) << "the 101st went back to the heap";
    PdfObj *again = Pdf_Obj_alloc(doc);
    EXPECT_EQ(again, records[99]);
    EXPECT_EQ(doc->freeCount, 99u);
    Pdf_Obj_recycle(again, nullptr);
    while (doc->freeCount)
        Mem_free(doc->freeList[--doc->freeCount]);
    Mem_free(doc);
}

TEST_F(PdfNameTableTest, TypeNames)
{
    const char *names[] = {"Null",       "Bool",   "Number_int",  "Number_float", "String",
                           "Name",       "Array",  "Dictionary",  "Stream",       "Indirect",
                           "UnResolved", "BROKEN", "InternalTag", "Unknown",      "BROKEN"};
    for (uint32_t t = 0; t < 15; t++) {
        PdfObj o{t, {}, nullptr};
        EXPECT_STREQ(Pdf_Obj_typeName(&o), names[t]) << t;
    }
    EXPECT_STREQ(Pdf_Obj_typeName(nullptr), "Null");
}

class PdfObjectTest : public PdfDocFixture {
  protected:
    // Runs body on a document of the objects given (with a catalogue).
    void withObjects(std::map<uint32_t, std::string> objects,
                     const std::function<void(PdfDoc *)> &body,
                     const std::string &trailer = " /Root 1 0 R")
    {
        file = pdfFile(pdfObjects(std::move(objects)), trailer);
        EXPECT_EQ(withDoc(file, body), 0);
    }
    std::string file;
};

TEST_F(PdfObjectTest, GettersCheckTypesAndPresence)
{
    withObjects({{3, "[3 2.5 (s) /N true << /K 1 >> null 4 0 R]"}, {4, "7"}}, [](PdfDoc *doc) {
        PdfObj *a = object(doc, 3);
        ASSERT_NE(a, nullptr);
        auto at = [&](uint32_t i) {
            PdfObj *o = nullptr;
            EXPECT_EQ(Pdf_Obj_arrayGet(doc, i, a, &o), Res_ok);
            return o;
        };
        float f = 0;
        int32_t i = 0;
        PdfString *s = nullptr;
        const char *n = nullptr;
        PdfWord w;
        EXPECT_EQ(Pdf_Obj_getNumber(doc, at(0), &f), Res_ok);
        EXPECT_EQ(f, 3.0f);
        EXPECT_EQ(Pdf_Obj_getNumber(doc, at(1), &f), Res_ok);
        EXPECT_EQ(f, 2.5f);
        EXPECT_EQ(Pdf_Obj_getNumber(doc, at(4), &f), Res_pdfNotNumber);
        EXPECT_EQ(Pdf_Obj_getNumber(doc, nullptr, &f), Res_pdfNoNumber);
        EXPECT_EQ(Pdf_Obj_getInt(doc, at(1), &i), Res_pdfNotInt);
        EXPECT_EQ(Pdf_Obj_getInt(doc, at(7), &i), Res_ok) << "through the reference";
        EXPECT_EQ(i, 7);
        EXPECT_EQ(Pdf_Obj_getInt(doc, nullptr, &i), Res_pdfNoInt);
        EXPECT_EQ(Pdf_Obj_getString(doc, at(2), &s), Res_ok);
        EXPECT_EQ(s->length, 1u);
        EXPECT_EQ(Pdf_Obj_getString(doc, at(3), &s), Res_pdfNotString);
        EXPECT_EQ(Pdf_Obj_getString(doc, nullptr, &s), Res_pdfNoString);
        EXPECT_EQ(Pdf_Obj_getName(doc, at(3), &n), Res_ok);
        EXPECT_STREQ(n, "N");
        EXPECT_EQ(Pdf_Obj_getName(doc, at(2), &n), Res_pdfNotName);
        EXPECT_EQ(Pdf_Obj_getName(doc, nullptr, &n), Res_pdfNoName);
        EXPECT_EQ(Pdf_Obj_getBool(doc, at(4), &i), Res_ok);
        EXPECT_EQ(i, 1);
        EXPECT_EQ(Pdf_Obj_getBool(doc, at(0), &i), Res_pdfNotBool);
        EXPECT_EQ(Pdf_Obj_getBool(doc, nullptr, &i), Res_pdfNoBool);
        EXPECT_EQ(Pdf_Obj_getTag(doc, at(0), &w), Res_pdfNotTag);
        EXPECT_EQ(Pdf_Obj_getTag(doc, nullptr, &w), Res_pdfNoTag);
        EXPECT_EQ(describe(at(6)), "null") << "a Null element is an element";
        EXPECT_EQ(at(8), nullptr) << "past the end";
        uint32_t count = 0;
        EXPECT_EQ(Pdf_Obj_getCount(doc, a, &count), Res_ok);
        EXPECT_EQ(count, 8u);
        EXPECT_EQ(Pdf_Obj_getCount(doc, at(5), &count), Res_ok);
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(Pdf_Obj_getCount(doc, at(0), &count), Res_pdfCountType);
        EXPECT_EQ(Pdf_Obj_getCount(doc, nullptr, &count), Res_pdfNoCount);
        PdfObj *o = nullptr;
        EXPECT_EQ(Pdf_Obj_arrayGet(doc, 0, at(5), &o), Res_pdfNotArray);
        EXPECT_EQ(Pdf_Obj_arrayGet(doc, 0, nullptr, &o), Res_pdfNoArray);
        EXPECT_EQ(Pdf_Obj_dictGet(doc, "K", a, &o), Res_pdfNotDict);
        EXPECT_EQ(Pdf_Obj_dictGet(doc, "K", nullptr, &o), Res_pdfNoDict);
        uint32_t type = 99;
        EXPECT_EQ(Pdf_Obj_getType(doc, at(7), &type), Res_ok);
        EXPECT_EQ(type, PdfObj_int);
        int32_t num = 0, gen = 0;
        EXPECT_EQ(Pdf_Obj_getRefId(doc, at(7), &num, &gen), Res_ok);
        EXPECT_EQ(num, 4);
        EXPECT_EQ(gen, 0);
        PdfObj loose{PdfObj_int, {}, nullptr};
        EXPECT_EQ(Pdf_Obj_getRefId(doc, &loose, &num, &gen), Res_ok);
        EXPECT_EQ(num, -1);
        EXPECT_EQ(gen, -1);
    });
}

TEST_F(PdfObjectTest, ArraysOfNumbersAndDictionaryLookups)
{
    withObjects({{3, "<< /A 1 /A 2 /N null /R 5 0 R /Gone 9 0 R /Ints [1 2] /Nums [1 2.5 3] >>"},
                 {5, "(five)"}},
                [](PdfDoc *doc) {
                    PdfObj *d = object(doc, 3);
                    PdfObj *o = nullptr;
                    EXPECT_EQ(Pdf_Obj_dictGet(doc, "A", d, &o), Res_ok);
                    EXPECT_EQ(describe(o), "int 1") << "the first equal key wins";
                    EXPECT_EQ(Pdf_Obj_dictGet(doc, "N", d, &o), Res_ok);
                    EXPECT_EQ(o, nullptr);
                    EXPECT_EQ(Pdf_Obj_dictGet(doc, "Missing", d, &o), Res_ok);
                    EXPECT_EQ(o, nullptr);
                    EXPECT_EQ(Pdf_Obj_dictGet(doc, "Gone", d, &o), Res_ok);
                    EXPECT_EQ(o, nullptr) << "a number in no subsection";
                    EXPECT_EQ(Pdf_Obj_dictGet(doc, "R", d, &o), Res_ok);
                    EXPECT_EQ(describe(o), "string five");
                    PdfObj *ints = nullptr, *nums = nullptr;
                    ASSERT_EQ(Pdf_Obj_dictGet(doc, "Ints", d, &ints), Res_ok);
                    ASSERT_EQ(Pdf_Obj_dictGet(doc, "Nums", d, &nums), Res_ok);
                    int32_t iv[3] = {};
                    float fv[3] = {};
                    EXPECT_EQ(Pdf_Obj_getIntArray(doc, ints, 2, iv), Res_ok);
                    EXPECT_EQ(iv[1], 2);
                    EXPECT_EQ(Pdf_Obj_getIntArray(doc, ints, 3, iv), Res_pdfSyntax);
                    EXPECT_EQ(Pdf_Obj_getIntArray(doc, nums, 2, iv), Res_pdfNotInt);
                    EXPECT_EQ(Pdf_Obj_getNumberArray(doc, nums, 3, fv), Res_ok);
                    EXPECT_EQ(fv[1], 2.5f);
                    PdfArray *block = nullptr;
                    EXPECT_EQ(Pdf_Obj_getArray(doc, nullptr, 0, &block), Res_ok);
                    EXPECT_EQ(Pdf_Obj_getArray(doc, d, 1, &block), Res_pdfNotArray);
                });
}

TEST_F(PdfObjectTest, ResolvingEndsOnCyclesAndNeedsADocument)
{
    withObjects(
        {{3, "3 0 R"}, {4, "5 0 R"}, {5, "6 0 R"}, {6, "4 0 R"}, {7, "8 0 R"}, {8, "(end)"}},
        [](PdfDoc *doc) {
            for (uint32_t n : {3u, 4u, 5u, 6u}) {
                int err = 0;
                EXPECT_EQ(object(doc, n, &err), nullptr) << n;
                EXPECT_EQ(err, Res_pdfSyntax) << n;
            }
            EXPECT_EQ(describe(object(doc, 7)), "string end") << "a chain that ends";
            PdfObj ref{PdfObj_indirect, {}, nullptr};
            ref.value.entry = Pdf_Xref_find(doc, 8, 0);
            PdfObj *eight = object(doc, 8);
            ref.value.entry->cached = nullptr; // dropped from the store (it stays counted)
            Pdf_Obj_release(doc, eight);
            PdfObj *p = &ref;
            EXPECT_EQ(Pdf_Obj_resolve(nullptr, &p), Res_pdfNoDocument);
            EXPECT_EQ(p, &ref);
            PdfObj *none = nullptr;
            EXPECT_EQ(Pdf_Obj_resolve(doc, &none), Res_ok);
            EXPECT_EQ(none, nullptr);
        });
}

TEST_F(PdfObjectTest, BuildingDictionaries)
{
    withObjects({}, [](PdfDoc *doc) {
        PdfObj *d = nullptr;
        ASSERT_EQ(Pdf_Dict_new(&d), Res_ok);
        int released = 0;
        PdfWord w;
        w.ptr = &released;
        for (int i = 0; i < 9; i++)
            ASSERT_EQ(Pdf_Dict_addInt(doc, d, ("K" + std::to_string(i)).c_str(), i, 1), Res_ok);
        EXPECT_EQ(d->value.dict->count, 9u);
        EXPECT_EQ(d->value.dict->capacity, 16u) << "4, then doubled";
        ASSERT_EQ(Pdf_Dict_addTag(
                      doc, d, "Tag", w, [](PdfWord v) { ++*static_cast<int *>(v.ptr); }, 1),
                  Res_ok);
        PdfObj *o = nullptr;
        PdfWord got;
        ASSERT_EQ(Pdf_Obj_dictGet(doc, "Tag", d, &o), Res_ok);
        EXPECT_EQ(Pdf_Obj_getTag(doc, o, &got), Res_ok);
        EXPECT_EQ(got.ptr, &released);
        ASSERT_EQ(Pdf_Obj_dictGet(doc, "K7", d, &o), Res_ok);
        EXPECT_EQ(describe(o), "int 7");
        // A key must be a Name; a pair moves into the table.
        PdfObj *key = Pdf_Obj_alloc(doc), *value = Pdf_Obj_alloc(doc);
        *key = PdfObj{PdfObj_int, {}, nullptr};
        *value = PdfObj{PdfObj_bool, {}, nullptr};
        EXPECT_EQ(Pdf_Dict_add(doc, d, key, value), Res_pdfSyntax);
        key->type = PdfObj_name;
        key->value.name = Cstr_dup("Added");
        EXPECT_EQ(Pdf_Dict_add(doc, d, key, value), Res_ok);
        Pdf_Dict_trim(d);
        EXPECT_EQ(d->value.dict->capacity, d->value.dict->count);
        // Merging copies another dictionary's entries to the end.
        PdfObj *more = nullptr;
        ASSERT_EQ(Pdf_Dict_new(&more), Res_ok);
        ASSERT_EQ(Pdf_Dict_addInt(doc, more, "M", 5, 1), Res_ok);
        EXPECT_EQ(Pdf_Dict_merge(doc, d, more), Res_ok);
        ASSERT_EQ(Pdf_Obj_dictGet(doc, "M", d, &o), Res_ok);
        EXPECT_EQ(describe(o), "int 5");
        PdfObj notDict{PdfObj_int, {}, nullptr};
        EXPECT_EQ(Pdf_Dict_merge(doc, d, &notDict), Res_pdfSyntax);
        Pdf_Obj_releaseDeep(doc, more);
        Pdf_Obj_releaseDeep(doc, d);
        EXPECT_EQ(released, 1) << "the tag's release ran once";
        PdfDict *t = nullptr;
        EXPECT_EQ(Pdf_Dict_reserve(&t, 9), Res_ok);
        EXPECT_EQ(t->capacity, 9u);
        Mem_free(t);
    });
}

TEST_F(PdfObjectTest, CopiesFollowReferencesAndStopAtCycles)
{
    withObjects(
        {{3, "<< /Type /Page /Parent 4 0 R /Box [0 0 612 792] /S (s) >>"},
         {4, "<< /Type /Pages /Kids [3 0 R] >>"},
         {5, "<< /Leaf 6 0 R /Again 6 0 R >>"},
         {6, "[1 (x) /N]"},
         {7, "<< /Length 3 >>\nstream\nabc\nendstream"}},
        [](PdfDoc *doc) {
            PdfObj copy{PdfObj_null, {}, nullptr};
            PdfObj *src = object(doc, 5);
            ASSERT_EQ(Pdf_Obj_copy(doc, &copy, &src, 0), Res_ok);
            EXPECT_EQ(describe(&copy),
                      "dict {Leaf: array [int 1, string x, name N], Again: array [int 1, string x, "
                      "name N]}")
                << "shared objects are copied twice, which is no cycle";
            EXPECT_EQ(copy.owner, nullptr);
            EXPECT_NE(PdfDict_entries(copy.value.dict)[0].key,
                      PdfDict_entries(src->value.dict)[0].key)
                << "private keys";
            Pdf_Obj_freeContents(&copy, 1);

            src = object(doc, 3);
            EXPECT_EQ(Pdf_Obj_copy(doc, &copy, &src, 0), Res_pdfSyntax) << "page -> parent -> page";
            EXPECT_EQ(copy.type, PdfObj_null);
            EXPECT_EQ(Pdf_Xref_find(doc, 3, 0)->flags & PdfXref_busy, 0);

            src = object(doc, 7);
            PdfObj *out = nullptr;
            ASSERT_EQ(Pdf_Obj_newCopy(doc, &out, src, 0), Res_ok);
            EXPECT_EQ(describe(out), "dict {Length: int 3}") << "a stream becomes a dictionary";
            Pdf_Obj_releaseDeep(doc, out);
            ASSERT_EQ(Pdf_Obj_newCopy(doc, &out, src, 1), Res_ok);
            EXPECT_EQ(describe(out), "dict {Length: int 3, /StreamContents: string abc}")
                << "the decoded data ride along";
            Pdf_Obj_releaseDeep(doc, out);
            EXPECT_EQ(Pdf_Obj_newCopy(doc, &out, nullptr, 0), Res_ok);
            EXPECT_EQ(out, nullptr);
            PdfObj kw{PdfObj_keyword, {}, nullptr};
            PdfObj *k = &kw;
            EXPECT_EQ(Pdf_Obj_copy(doc, &copy, &k, 0), Res_pdfSyntax);
        });
}

TEST_F(PdfObjectTest, CopiesFailCleanlyWhenMemoryRunsOut)
{
    withObjects({{3, "<< /A [1 (two) /Three << /Four [4 4.5] >>] /B (b) >>"}}, [](PdfDoc *doc) {
        PdfObj *src = object(doc, 3);
        size_t before = TestHeap_usedBytes();
        for (uint64_t n = 1;; n++) {
            Mem_failAfter(n);
            PdfObj *out = nullptr;
            int err = Pdf_Obj_newCopy(doc, &out, src, 0);
            Mem_failAfter(0);
            if (err == Res_ok) {
                EXPECT_EQ(describe(out), describe(src));
                Pdf_Obj_releaseDeep(doc, out);
                break;
            }
            EXPECT_EQ(err, Res_noMemory);
            EXPECT_EQ(out, nullptr);
            while (doc->freeCount)
                Mem_free(doc->freeList[--doc->freeCount]);
            ASSERT_EQ(TestHeap_usedBytes(), before) << n;
            ASSERT_LT(n, 1000u);
        }
    });
}

TEST_F(PdfObjectTest, NameTreesAreSearchedAndLoopsEnd)
{
    std::map<uint32_t, std::string> objects = {
        {1, "<< /Type /Catalog /Pages 2 0 R /Names << /Dests 3 0 R >> /Dests << /old [9] >> >>"},
        {3, "<< /Kids [4 0 R 5 0 R] >>"},
        {4, "<< /Limits [(a) (f)] /Names [(a) [1] (c) [3] (f) [6]] >>"},
        {5, "<< /Limits [(m) (z)] /Kids [6 0 R 7 0 R] >>"},
        {6, "<< /Limits [(m) (p)] /Names [(m) [13] (p) [16]] >>"},
        {7, "<< /Limits [(q) (z)] /Kids [7 0 R] >>"},
    };
    std::string f = pdfFile(objects);
    EXPECT_EQ(withDoc(f,
                      [](PdfDoc *doc) {
                          auto find = [&](const char *key) {
                              std::string block(sizeof(PdfString), '\0');
                              uint32_t n = uint32_t(strlen(key));
                              memcpy(block.data(), &n, sizeof n);
                              block += key;
                              block += '\0';
                              PdfObj *out = nullptr;
                              EXPECT_EQ(Pdf_Doc_findNamedDest(
                                            doc, reinterpret_cast<PdfString *>(block.data()), &out),
                                        Res_ok);
                              return describe(out);
                          };
                          EXPECT_EQ(find("a"), "array [int 1]");
                          EXPECT_EQ(find("f"), "array [int 6]");
                          EXPECT_EQ(find("p"), "array [int 16]");
                          EXPECT_EQ(find("b"), "none");
                          EXPECT_EQ(find("h"), "none") << "between the kids";
                          EXPECT_EQ(find("r"), "none") << "a Kids loop answers not found";
                          PdfObj *old = nullptr;
                          EXPECT_EQ(Pdf_Doc_findDest(doc, "old", &old), Res_ok);
                          EXPECT_EQ(describe(old), "array [int 9]");
                      }),
              0);
    // A small tree keeps its names in the root.
    objects[3] = "<< /Names [(only) [42]] >>";
    f = pdfFile(objects);
    EXPECT_EQ(withDoc(f,
                      [](PdfDoc *doc) {
                          struct {
                              PdfString s;
                              char text[5];
                          } name{{4}, "only"};
                          PdfObj *out = nullptr;
                          EXPECT_EQ(Pdf_Doc_findNamedDest(doc, &name.s, &out), Res_ok);
                          EXPECT_EQ(describe(out), "array [int 42]");
                      }),
              0);
}

} // namespace
