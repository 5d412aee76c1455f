// White-space collapsing of 16-bit text.
#include <gtest/gtest.h>

#include <string>

#include "core/text/spacerun.h"

namespace {

// ------------------------------------------------------------ collapsing

TEST(CollapseSpaceRuns, Cases)
{
    struct Case {
        const char16_t *what;
        std::u16string in;
        std::u16string out;
    } cases[] = {
        {u"tab and line feed between letters", u"a\t\nb", u"a b"},
        {u"ideographic space becomes a blank", u"a\u3000b", u"a b"},
        {u"ideographic space in a run", u"a \u3000 b", u"a b"},
        {u"leading and trailing runs keep one blank", u"  a  ", u" a "},
        {u"control characters count as white space",
         std::u16string(u"a\x01\x1F"
                        u"b"),
         u"a b"},
        {u"single blanks stay", u"a b c", u"a b c"},
        {u"code 33 is not white space", u"a!!b", u"a!!b"},
        {u"non-breaking space is not collapsed", u"a\u00A0\u00A0b", u"a\u00A0\u00A0b"},
        {u"only white space", u"\r\n\t ", u" "},
        {u"empty", u"", u""},
    };
    for (const Case &c : cases) {
        uint32_t n = uint32_t(c.in.size());
        uint32_t counted = Ustr_collapseSpaceRuns(nullptr, c.in.data(), n);
        std::u16string out(n + 1, u'#');
        uint32_t written = Ustr_collapseSpaceRuns(out.data(), c.in.data(), n);
        EXPECT_EQ(counted, written) << (const char *)c.what;
        EXPECT_EQ(out.substr(0, written), c.out);
        EXPECT_EQ(out[written], u'#') << "no terminator is written";
        EXPECT_EQ(written < n, c.out.size() < c.in.size());
    }
    EXPECT_EQ(Ustr_collapseSpaceRuns(nullptr, nullptr, 0), 0u);
}

} // namespace
