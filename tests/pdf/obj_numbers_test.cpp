// The four-number reader over hand-built dictionaries: a page box, the
// missing key, a short array, elements of other types, a value that is not
// an array, and a stream's dictionary.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/result.h"
#include "pdf/obj.h"

namespace {

PdfObj intObj(int32_t v)
{
    PdfObj o{};
    o.type = PdfObj_int;
    o.value.i = v;
    return o;
}

PdfObj realObj(float v)
{
    PdfObj o{};
    o.type = PdfObj_real;
    o.value.f = v;
    return o;
}

// Storage for an array block or a dictionary table with its records.
struct Block {
    std::vector<PdfObj> words;
    explicit Block(size_t records) : words(records + 1) {}
};

struct Array {
    Block block;
    PdfObj obj{};
    explicit Array(std::vector<PdfObj> items) : block(items.size())
    {
        PdfArray *a = reinterpret_cast<PdfArray *>(block.words.data());
        a->count = uint32_t(items.size());
        for (size_t i = 0; i < items.size(); i++)
            PdfArray_items(a)[i] = items[i];
        obj.type = PdfObj_array;
        obj.value.p = a;
    }
};

struct Dict {
    std::vector<PdfDictEntry> storage;
    PdfObj obj{};
    explicit Dict(std::vector<PdfDictEntry> entries) : storage(entries.size() + 1)
    {
        PdfDict *d = reinterpret_cast<PdfDict *>(storage.data());
        d->capacity = uint32_t(entries.size());
        d->count = uint32_t(entries.size());
        for (size_t i = 0; i < entries.size(); i++)
            PdfDict_entries(d)[i] = entries[i];
        obj.type = PdfObj_dict;
        obj.value.p = d;
    }
};

TEST(PdfNumbers4, Cases)
{
    Array box({intObj(0), intObj(0), intObj(612), intObj(792)});
    Array mixed({realObj(1.5f), intObj(-2), realObj(3.25f), intObj(4)});
    Array shortBox({intObj(0), intObj(0), intObj(612)});
    PdfObj flag{};
    flag.type = PdfObj_bool;
    flag.value.i = 1;
    Array withFlag({intObj(1), flag, intObj(3), intObj(4)});
    PdfObj nul{};
    Dict dict({{"MediaBox", box.obj},
               {"CropBox", mixed.obj},
               {"Short", shortBox.obj},
               {"Flagged", withFlag.obj},
               {"Number", intObj(7)},
               {"Nothing", nul}});
    struct Case {
        const char *key;
        int result;
        float want[4];
    } cases[] = {
        {"MediaBox", Res_ok, {0, 0, 612, 792}},
        {"CropBox", Res_ok, {1.5f, -2, 3.25f, 4}},
        {"Short", Res_pdfNoNumber, {0, 0, 612, -1}},
        {"Flagged", Res_pdfNotNumber, {1, -1, -1, -1}},
        {"Number", Res_pdfNotArray, {-1, -1, -1, -1}},
        {"Missing", Res_ok, {-1, -1, -1, -1}},
        {"Nothing", Res_ok, {-1, -1, -1, -1}}, // a null value counts as missing
    };
    for (const Case &c : cases) {
        float out[4] = {-1, -1, -1, -1};
        EXPECT_EQ(Pdf_dictGetNumbers4(nullptr, &dict.obj, c.key, out), c.result) << c.key;
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(out[i], c.want[i]) << c.key << " " << i;
    }
    // The dictionary itself missing, or not a dictionary.
    float out[4] = {};
    EXPECT_EQ(Pdf_dictGetNumbers4(nullptr, nullptr, "MediaBox", out), Res_pdfNoDict);
    EXPECT_EQ(Pdf_dictGetNumbers4(nullptr, &box.obj, "MediaBox", out), Res_pdfNotDict);
    // A stream's dictionary is searched like a dictionary.
    PdfStreamRec stream{static_cast<PdfDict *>(dict.obj.value.p), 0};
    PdfObj streamObj{};
    streamObj.type = PdfObj_stream;
    streamObj.value.p = &stream;
    EXPECT_EQ(Pdf_dictGetNumbers4(nullptr, &streamObj, "MediaBox", out), Res_ok);
    EXPECT_EQ(out[3], 792.0f);
    // An empty dictionary has no entries.
    PdfObj emptyDict{};
    emptyDict.type = PdfObj_dict;
    EXPECT_EQ(Pdf_dictGetNumbers4(nullptr, &emptyDict, "MediaBox", out), Res_ok);
}

} // namespace
