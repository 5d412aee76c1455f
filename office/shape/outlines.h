// The outline tables of the preset shapes built from a table: opcode
// words ('M' move, 'L' line, 'B' cubic Bezier, 'C' close and go on, 'F'
// close and end, 'E' end) followed by their points as 8.24 fractions of
// the box (0x1000000 = 1.0), x scaled by the width and y by the height,
// with the origin at the bottom-left and y up.
#pragma once

#include <cstdint>
#include <iterator>

// clang-format off

inline constexpr int32_t kOutline1_75_109_201_202[] = {
    'M', 0, 0,
    'L', 0x1000000, 0,
    'L', 0x1000000, 0x1000000,
    'L', 0, 0x1000000,
    'F',
};
inline constexpr int32_t kOutline3_120[] = {
    'M', 0, 0x800000,
    'B', 0, 0x394EBC, 0x394EBC, 0, 0x800000, 0,
    'B', 0xC6B144, 0, 0x1000000, 0x394EBC, 0x1000000, 0x800000,
    'B', 0x1000000, 0xC6B144, 0xC6B144, 0x1000000, 0x800000, 0x1000000,
    'B', 0x394EBC, 0x1000000, 0, 0xC6B144, 0, 0x800000,
    'E',
};
inline constexpr int32_t kOutline4_110[] = {
    'M', 0x800000, 0,
    'L', 0x1000000, 0x800000,
    'L', 0x800000, 0x1000000,
    'L', 0, 0x800000,
    'F',
};
inline constexpr int32_t kOutline6[] = {
    'M', 0, 0,
    'L', 0x1000000, 0,
    'L', 0, 0x1000000,
    'F',
};
inline constexpr int32_t kOutline20_32[] = {
    'M', 0, 0x1000000,
    'L', 0x1000000, 0,
    'E',
};
inline constexpr int32_t kOutline56[] = {
    'M', 0x333333, 0,
    'L', 0xCCCCCD, 0,
    'L', 0x1000000, 0x99999A,
    'L', 0x800000, 0x1000000,
    'L', 0, 0x99999A,
    'F',
};
inline constexpr int32_t kOutline74[] = {
    'M', 0x800000, 0,
    'L', 0x66666, 0xA66666,
    'B', -0x17FCB9, 0xE66666, 0x44C986, 0x1219653, 0x800000, 0xE66666,
    'B', 0xBB2FEC, 0x1219653, 0x117FCB9, 0xE66666, 0xF9999A, 0xA66666,
    'F',
};
inline constexpr int32_t kOutline101[] = {
    'M', 0, 0,
    'L', 0, 0x9C710D,
    'B', 0, 0xD36E2F, 0x2FBE77, 0x1000000, 0x6AACDA, 0x1000000,
    'B', 0xACB296, 0x1000000, 0xDC710D, 0xD36E2F, 0xDC710D, 0x9C710D,
    'L', 0x1000000, 0x9C710D,
    'L', 0xB8E219, 0x555326,
    'L', 0x71C433, 0x9C710D,
    'L', 0x955326, 0x9C710D,
    'B', 0x955326, 0xAC28F6, 0x8566CF, 0xB8E219, 0x71C433, 0xB8E219,
    'B', 0x5A36E3, 0xB8E219, 0x471DE7, 0xAC28F6, 0x471DE7, 0x9C710D,
    'L', 0x471DE7, 0,
    'C',
    'E',
};
inline constexpr int32_t kOutline12[] = {
    'M', 0x800000, 0x1000000,
    'L', 0x9E6320, 0x9E6320,
    'L', 0x1000000, 0x9E6320,
    'L', 0xB00000, 0x619653,
    'L', 0xCCCCCD, 0,
    'L', 0x800000, 0x3B2FEC,
    'L', 0x333333, 0,
    'L', 0x500000, 0x619653,
    'L', 0, 0x9E6320,
    'L', 0x619653, 0x9E6320,
    'F',
};
inline constexpr int32_t kOutline71[] = {
    'M', 0, 0x99999A,
    'L', 0x366666, 0xA66666,
    'L', 0x4C986, 0xE33333,
    'L', 0x566666, 0xB33333,
    'L', 0x633333, 0xE4C986,
    'L', 0x800000, 0xBB2FEC,
    'L', 0xACCCCD, 0x1000000,
    'L', 0xB7FCB9, 0xC00000,
    'L', 0xD66666, 0xCB2FEC,
    'L', 0xC4C986, 0xA7FCB9,
    'L', 0xF9999A, 0xA00000,
    'L', 0xD00000, 0x833333,
    'L', 0x1000000, 0x633333,
    'L', 0xC7FCB9, 0x666666,
    'L', 0xD66666, 0x29999A,
    'L', 0xA66666, 0x533333,
    'L', 0x9CCCCD, 0xCCCCD,
    'L', 0x7CCCCD, 0x4E6320,
    'L', 0x64C986, 0,
    'L', 0x5B2FEC, 0x47FCB9,
    'L', 0x37FCB9, 0x300000,
    'L', 0x433333, 0x5B2FEC,
    'L', 0x19653, 0x533333,
    'L', 0x2B2FEC, 0x74C986,
    'F',
};
inline constexpr int32_t kOutline72[] = {
    'M', 0, 0x67FCB9,
    'L', 0x2E6320, 0x766666,
    'L', 0xE6320, 0x9E6320,
    'L', 0x400000, 0xA33333,
    'L', 0x366666, 0xD4C986,
    'L', 0x64C986, 0xB4C986,
    'L', 0x733333, 0xE9999A,
    'L', 0x87FCB9, 0xCCCCCD,
    'L', 0xB00000, 0x1000000,
    'L', 0xACCCCD, 0xBB2FEC,
    'L', 0xD66666, 0xD9999A,
    'L', 0xC33333, 0xB19653,
    'L', 0x1000000, 0xB00000,
    'L', 0xC9999A, 0x900000,
    'L', 0xD7FCB9, 0x7B2FEC,
    'L', 0xC19653, 0x6E6320,
    'L', 0xE00000, 0x466666,
    'L', 0xAE6320, 0x566666,
    'L', 0xB19653, 0x333333,
    'L', 0x900000, 0x433333,
    'L', 0x89999A, 0x200000,
    'L', 0x74C986, 0x333333,
    'L', 0x666666, 0x166666,
    'L', 0x59999A, 0x29999A,
    'L', 0x39999A, 0,
    'L', 0x37FCB9, 0x27FCB9,
    'L', 0xE6320, 0x2CCCCD,
    'L', 0x27FCB9, 0x4B2FEC,
    'F',
};
inline constexpr int32_t kOutline73[] = {
    'M', 0, 0xD19653,
    'L', 0x64C986, 0x1000000,
    'L', 0x97FCB9, 0xB7FCB9,
    'L', 0x833333, 0xAE6320,
    'L', 0xC4C986, 0x719653,
    'L', 0xAE6320, 0x67FCB9,
    'L', 0x1000000, 0,
    'L', 0x766666, 0x500000,
    'L', 0x900000, 0x5B2FEC,
    'L', 0x3B2FEC, 0x8CCCCD,
    'L', 0x59999A, 0x9CCCCD,
    'F',
};
inline constexpr int32_t kOutline112[] = {
    'M', 0, 0,
    'L', 0x1000000, 0,
    'L', 0x1000000, 0x1000000,
    'L', 0, 0x1000000,
    'C',
    'M', 0x200000, 0,
    'L', 0x200000, 0x1000000,
    'M', 0xE00000, 0,
    'L', 0xE00000, 0x1000000,
    'E',
};
inline constexpr int32_t kOutline113[] = {
    'M', 0, 0,
    'L', 0x1000000, 0,
    'L', 0x1000000, 0x1000000,
    'L', 0, 0x1000000,
    'C',
    'M', 0x333333, 0,
    'L', 0x333333, 0x1000000,
    'M', 0, 0xCCCCCD,
    'L', 0x1000000, 0xCCCCCD,
    'E',
};
inline constexpr int32_t kOutline114[] = {
    'M', 0, 0x100000,
    'B', 0x600000, -0x200000, 0xA00000, 0x300000, 0x1000000, 0x300000,
    'L', 0x1000000, 0x1000000,
    'L', 0, 0x1000000,
    'F',
};
inline constexpr int32_t kOutline115[] = {
    'M', 0, 0xD7732,
    'B', 0x6DB8BB, -0x1AF4F1, 0x924745, 0x2AACDA, 0xDB6AE8, 0x2AACDA,
    'L', 0xDB6AE8, 0xD55326,
    'L', 0, 0xD55326,
    'C',
    'M', 0xDB6AE8, 0x400000,
    'L', 0xEDB8BB, 0x400000,
    'L', 0xEDB8BB, 0xEAACDA,
    'L', 0x124745, 0xEAACDA,
    'L', 0x124745, 0xD55326,
    'M', 0xEDB8BB, 0x555326,
    'L', 0x1000000, 0x555326,
    'L', 0x1000000, 0x1000000,
    'L', 0x249518, 0x1000000,
    'L', 0x249518, 0xEAACDA,
    'E',
};
inline constexpr int32_t kOutline116[] = {
    'M', 0x2AACDA, 0,
    'B', 0x1318FC, 0, 0, 0x394EBC, 0, 0x800000,
    'B', 0, 0xC6B144, 0x1318FC, 0x1000000, 0x2AACDA, 0x1000000,
    'L', 0xD55326, 0x1000000,
    'B', 0xECE704, 0x1000000, 0x1000000, 0xC6B144, 0x1000000, 0x800000,
    'B', 0x1000000, 0x394EBC, 0xECE704, 0, 0xD55326, 0,
    'F',
};
inline constexpr int32_t kOutline118[] = {
    'M', 0, 0xD00000,
    'L', 0, 0,
    'L', 0x1000000, 0,
    'L', 0x1000000, 0x1000000,
    'F',
};
inline constexpr int32_t kOutline119[] = {
    'M', 0, 0x1000000,
    'L', 0x333333, 0,
    'L', 0xCCCCCD, 0,
    'L', 0x1000000, 0x1000000,
    'F',
};
inline constexpr int32_t kOutline121[] = {
    'M', 0, 0,
    'L', 0, 0xCCCCCD,
    'L', 0x333333, 0x1000000,
    'L', 0x1000000, 0x1000000,
    'L', 0x1000000, 0,
    'F',
};
inline constexpr int32_t kOutline122[] = {
    'M', 0, 0xE66666,
    'B', 0x21EB85, 0xC47AE1, 0x5E147B, 0xC47AE1, 0x800000, 0xE66666,
    'B', 0xA1EB85, 0x10851EC, 0xDE147B, 0x10851EC, 0x1000000, 0xE66666,
    'L', 0x1000000, 0x19999A,
    'B', 0xDE147B, 0x3B851F, 0xA1EB85, 0x3B851F, 0x800000, 0x19999A,
    'B', 0x5E147B, -0x851EC, 0x21EB85, -0x851EC, 0, 0x19999A,
    'F',
};
inline constexpr int32_t kOutline123[] = {
    'M', 0, 0x800000,
    'B', 0, 0x394EBC, 0x394EBC, 0, 0x800000, 0,
    'B', 0xC6B144, 0, 0x1000000, 0x394EBC, 0x1000000, 0x800000,
    'B', 0x1000000, 0xC6B144, 0xC6B144, 0x1000000, 0x800000, 0x1000000,
    'B', 0x394EBC, 0x1000000, 0, 0xC6B144, 0, 0x800000,
    'M', 0x257A78, 0x257A78,
    'L', 0xDA8588, 0xDA8588,
    'M', 0xDA8588, 0x257A78,
    'L', 0x257A78, 0xDA8588,
    'E',
};
inline constexpr int32_t kOutline124[] = {
    'M', 0, 0x800000,
    'B', 0, 0x394EBC, 0x394EBC, 0, 0x800000, 0,
    'B', 0xC6B144, 0, 0x1000000, 0x394EBC, 0x1000000, 0x800000,
    'B', 0x1000000, 0xC6B144, 0xC6B144, 0x1000000, 0x800000, 0x1000000,
    'B', 0x394EBC, 0x1000000, 0, 0xC6B144, 0, 0x800000,
    'M', 0, 0x800000,
    'L', 0x1000000, 0x800000,
    'M', 0x800000, 0,
    'L', 0x800000, 0x1000000,
    'E',
};
inline constexpr int32_t kOutline125[] = {
    'M', 0, 0,
    'L', 0x1000000, 0,
    'L', 0, 0x1000000,
    'L', 0x1000000, 0x1000000,
    'F',
};
inline constexpr int32_t kOutline126[] = {
    'M', 0, 0x800000,
    'L', 0x800000, 0x1000000,
    'L', 0x1000000, 0x800000,
    'L', 0x800000, 0,
    'L', 0, 0x800000,
    'L', 0x1000000, 0x800000,
    'E',
};
inline constexpr int32_t kOutline127[] = {
    'M', 0x800000, 0x1000000,
    'L', 0, 0,
    'L', 0x1000000, 0,
    'F',
};
inline constexpr int32_t kOutline128[] = {
    'M', 0x800000, 0,
    'L', 0, 0x1000000,
    'L', 0x1000000, 0x1000000,
    'F',
};
inline constexpr int32_t kOutline130[] = {
    'M', 0x2AACDA, 0,
    'B', -0xDE00D, 0, -0xDE00D, 0x1000000, 0x2AACDA, 0x1000000,
    'L', 0x1000000, 0x1000000,
    'B', 0xC779A7, 0x1000000, 0xC779A7, 0, 0x1000000, 0,
    'F',
};
inline constexpr int32_t kOutline131[] = {
    'M', 0xF779A7, 0x333333,
    'L', 0xF779A7, 0,
    'L', 0x800000, 0,
    'B', 0x394EBC, 0, 0, 0x394EBC, 0, 0x800000,
    'B', 0, 0xC6B144, 0x394EBC, 0x1000000, 0x800000, 0x1000000,
    'B', 0xC6B144, 0x1000000, 0x1000000, 0xC6B144, 0x1000000, 0x800000,
    'B', 0x1000000, 0x555326, 0x1000000, 0x555326, 0xE66666, 0x333333,
    'F',
};
inline constexpr int32_t kOutline132[] = {
    'M', 0, 0xD55326,
    'B', 0, 0x9CCCCD, 0x1000000, 0x9CCCCD, 0x1000000, 0xD55326,
    'B', 0x1000000, 0x10DE00D, 0, 0x10DE00D, 0, 0xD55326,
    'L', 0, 0x2AACDA,
    'B', 0, -0xDE00D, 0x1000000, -0xDE00D, 0x1000000, 0x2AACDA,
    'L', 0x1000000, 0xD55326,
    'E',
};
inline constexpr int32_t kOutline133[] = {
    'M', 0xD55326, 0,
    'B', 0x9CCCCD, 0, 0x9CCCCD, 0x1000000, 0xD55326, 0x1000000,
    'B', 0x10DE00D, 0x1000000, 0x10DE00D, 0, 0xD55326, 0,
    'L', 0x2AACDA, 0,
    'B', -0xDE00D, 0, -0xDE00D, 0x1000000, 0x2AACDA, 0x1000000,
    'L', 0xD55326, 0x1000000,
    'E',
};
inline constexpr int32_t kOutline134[] = {
    'M', 0x2AACDA, 0,
    'L', 0, 0x800000,
    'L', 0x2AACDA, 0x1000000,
    'L', 0xD55326, 0x1000000,
    'B', 0x10DE00D, 0x1000000, 0x10DE00D, 0, 0xD55326, 0,
    'F',
};
inline constexpr int32_t kOutline135[] = {
    'M', 0, 0x1000000,
    'L', 0, 0,
    'L', 0x800000, 0,
    'B', 0xC6B144, 0, 0x1000000, 0x394EBC, 0x1000000, 0x800000,
    'B', 0x1000000, 0xC6B144, 0xC6B144, 0x1000000, 0x800000, 0x1000000,
    'F',
};
inline constexpr int32_t kOutline177[] = {
    'M', 0, 0x1000000,
    'L', 0, 0x333333,
    'L', 0x800000, 0,
    'L', 0x1000000, 0x333333,
    'L', 0x1000000, 0x1000000,
    'F',
};

struct OutlineEntry {
    uint32_t type;
    const int32_t *words;
    uint32_t count;
};

inline constexpr OutlineEntry kOutlines[] = {
    {1, kOutline1_75_109_201_202, uint32_t(std::size(kOutline1_75_109_201_202))},
    {3, kOutline3_120, uint32_t(std::size(kOutline3_120))},
    {4, kOutline4_110, uint32_t(std::size(kOutline4_110))},
    {6, kOutline6, uint32_t(std::size(kOutline6))},
    {12, kOutline12, uint32_t(std::size(kOutline12))},
    {20, kOutline20_32, uint32_t(std::size(kOutline20_32))},
    {32, kOutline20_32, uint32_t(std::size(kOutline20_32))},
    {56, kOutline56, uint32_t(std::size(kOutline56))},
    {71, kOutline71, uint32_t(std::size(kOutline71))},
    {72, kOutline72, uint32_t(std::size(kOutline72))},
    {73, kOutline73, uint32_t(std::size(kOutline73))},
    {74, kOutline74, uint32_t(std::size(kOutline74))},
    {75, kOutline1_75_109_201_202, uint32_t(std::size(kOutline1_75_109_201_202))},
    {101, kOutline101, uint32_t(std::size(kOutline101))},
    {109, kOutline1_75_109_201_202, uint32_t(std::size(kOutline1_75_109_201_202))},
    {110, kOutline4_110, uint32_t(std::size(kOutline4_110))},
    {112, kOutline112, uint32_t(std::size(kOutline112))},
    {113, kOutline113, uint32_t(std::size(kOutline113))},
    {114, kOutline114, uint32_t(std::size(kOutline114))},
    {115, kOutline115, uint32_t(std::size(kOutline115))},
    {116, kOutline116, uint32_t(std::size(kOutline116))},
    {118, kOutline118, uint32_t(std::size(kOutline118))},
    {119, kOutline119, uint32_t(std::size(kOutline119))},
    {120, kOutline3_120, uint32_t(std::size(kOutline3_120))},
    {121, kOutline121, uint32_t(std::size(kOutline121))},
    {122, kOutline122, uint32_t(std::size(kOutline122))},
    {123, kOutline123, uint32_t(std::size(kOutline123))},
    {124, kOutline124, uint32_t(std::size(kOutline124))},
    {125, kOutline125, uint32_t(std::size(kOutline125))},
    {126, kOutline126, uint32_t(std::size(kOutline126))},
    {127, kOutline127, uint32_t(std::size(kOutline127))},
    {128, kOutline128, uint32_t(std::size(kOutline128))},
    {130, kOutline130, uint32_t(std::size(kOutline130))},
    {131, kOutline131, uint32_t(std::size(kOutline131))},
    {132, kOutline132, uint32_t(std::size(kOutline132))},
    {133, kOutline133, uint32_t(std::size(kOutline133))},
    {134, kOutline134, uint32_t(std::size(kOutline134))},
    {135, kOutline135, uint32_t(std::size(kOutline135))},
    {177, kOutline177, uint32_t(std::size(kOutline177))},
    {201, kOutline1_75_109_201_202, uint32_t(std::size(kOutline1_75_109_201_202))},
    {202, kOutline1_75_109_201_202, uint32_t(std::size(kOutline1_75_109_201_202))},
};
// clang-format on
