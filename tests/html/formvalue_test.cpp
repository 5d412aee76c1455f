// Form-control values: page points into value coordinates, with and
// without the copy.
#include <gtest/gtest.h>

#include "html/forms/formvalue.h"

namespace {

TEST(FormValue, PointsMoveToTheLowerLeftCorner)
{
    FormValue value = {};
    const int32_t rect[4] = {100, 200, 300, 260};
    for (int i = 0; i < 4; i++)
        value.rect[i] = rect[i];
    struct Case {
        FormPoint in, out;
    } cases[] = {
        {{150, 250}, {50, -10}},
        {{100, 260}, {0, 0}},
        {{0, 0}, {-100, -260}},
        {{INT32_MIN, INT32_MAX}, {INT32_MAX - 99, INT32_MAX - 260}},
    };
    for (const Case &c : cases) {
        FormPoint p = c.in;
        int32_t word = 77;
        EXPECT_EQ(Form_valueToLocal(&value, &word, &p), 0);
        EXPECT_EQ(p.x, c.out.x);
        EXPECT_EQ(p.y, c.out.y);
        EXPECT_EQ(word, 0);
        FormPoint q = c.in, copy = {1, 2};
        EXPECT_EQ(Form_valueToLocalCopy(&value, 5, &q, &copy), 0);
        EXPECT_EQ(q.x, c.out.x);
        EXPECT_EQ(q.y, c.out.y);
        EXPECT_EQ(copy.x, c.out.x);
        EXPECT_EQ(copy.y, c.out.y);
    }
}

} // namespace
