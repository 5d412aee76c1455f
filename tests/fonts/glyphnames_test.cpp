// Glyph names: the glyph-name table (sorted, duplicates keeping their
// first value) and glyph-name lists handing unknown names private codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "fonts/glyphnames.h"
#include "tests/support/heap_fixture.h"

namespace {

using GlyphNames = LeakCheckedHeapTest<>;

TEST_F(GlyphNames, TheTableIsSortedAndItsDuplicatesKeepTheFirstValue)
{
    for (uint32_t i = 1; i < Pdf_glyphNameCount; i++)
        ASSERT_LE(std::strcmp(Pdf_glyphNameTable[i - 1].name, Pdf_glyphNameTable[i].name), 0) << i;
    struct Dup {
        const char *name;
        uint16_t value;
    } dups[] = {{"Delta", 0x2206},        {"Omega", 0x2126},    {"Scedilla", 0x015E},
                {"Tcommaaccent", 0x0162}, {"fraction", 0x2044}, {"hyphen", 0x002D},
                {"macron", 0x00AF},       {"mu", 0x00B5},       {"periodcentered", 0x00B7},
                {"scedilla", 0x015F},     {"space", 0x0020},    {"tcommaaccent", 0x0163}};
    uint32_t twice = 0;
    for (uint32_t i = 1; i < Pdf_glyphNameCount; i++)
        twice += std::strcmp(Pdf_glyphNameTable[i - 1].name, Pdf_glyphNameTable[i].name) == 0;
    EXPECT_EQ(twice, 12u);
    for (const Dup &d : dups) {
        uint16_t code = 0;
        ASSERT_EQ(Pdf_Font_glyphNameToCode(nullptr, d.name, 0, &code), 0);
        EXPECT_EQ(code, d.value) << d.name;
    }
    // Private-use values of small capitals and old-style figures.
    struct Named {
        const char *name;
        uint16_t value;
    } named[] = {{"Asmall", 0xF761}, {"oneoldstyle", 0xF731}, {"A", 0x41},
                 {"Euro", 0x20AC},   {"uni0041", 0},          {"notaglyph", 0}};
    for (const Named &n : named) {
        uint16_t code = 1;
        ASSERT_EQ(Pdf_Font_glyphNameToCode(nullptr, n.name, 1, &code), 0);
        EXPECT_EQ(code, n.value) << n.name;
    }
    uint16_t code = 1;
    ASSERT_EQ(Pdf_Font_glyphNameToCode(nullptr, nullptr, 1, &code), 0);
    EXPECT_EQ(code, 0);
}

TEST_F(GlyphNames, NewNamesTakePrivateCodesInTurn)
{
    PdfGlyphNameList *list = nullptr;
    ASSERT_EQ(Pdf_Font_glyphNamesNew(&list), 0);
    uint16_t a = 0, b = 0, again = 0, known = 0, notNew = 1;
    ASSERT_EQ(Pdf_Font_glyphNameToCode(list, "g001", 1, &a), 0);
    ASSERT_EQ(Pdf_Font_glyphNameToCode(list, "g002", 1, &b), 0);
    ASSERT_EQ(Pdf_Font_glyphNameToCode(list, "g001", 1, &again), 0);
    ASSERT_EQ(Pdf_Font_glyphNameToCode(list, "space", 1, &known), 0);
    ASSERT_EQ(Pdf_Font_glyphNameToCode(list, "g003", 0, &notNew), 0);
    EXPECT_EQ(a, 0xFD00);
    EXPECT_EQ(b, 0xFD01);
    EXPECT_EQ(again, 0xFD00);
    EXPECT_EQ(known, 0x20);
    EXPECT_EQ(notNew, 0);
    // 768 codes fit below 0x10000; later names share the last instead of
    // wrapping round to real characters.
    uint16_t last = 0;
    for (int i = 3; i <= 800; i++) {
        char name[16];
        std::snprintf(name, sizeof name, "g%03d", i);
        ASSERT_EQ(Pdf_Font_glyphNameToCode(list, name, 1, &last), 0);
        if (i == 768) {
            EXPECT_EQ(last, 0xFFFF);
        }
    }
    EXPECT_EQ(last, 0xFFFF);
    Pdf_Font_glyphNamesFree(list);
}

} // namespace
