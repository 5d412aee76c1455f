// The viewer's text search over a Word document opened through the
// application: the document loads as a Word tree (type code 226), and
// stepping the search through it finds as many matches of each word as
// the reference PDF that LibreOffice makes of the same file shows
// (tests/fixtures/word/search_counts.tab, written by make_search_counts.py
// with pdftotext). The viewer pages a .doc differently from LibreOffice,
// so the counts are compared over the whole document.
#include <fstream>
#include <map>
#include <sstream>

#include "core/context/context.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "viewer/api/forward.h"
#include "tests/platform/requests_fixture.h"
#include "viewer/search/searchops.h"

namespace {

// "file word count" lines: the reference counts.
std::map<std::string, std::map<std::string, int>> referenceCounts()
{
    std::map<std::string, std::map<std::string, int>> out;
    std::ifstream in(VEXLAN_FIXTURES "/word/search_counts.tab");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string file, word;
        int count = 0;
        if (fields >> file >> word >> count)
            out[file][word] = count;
    }
    return out;
}

class WordSearchTest : public RequestsFixture {
  protected:
    void SetUp() override
    {
        RequestsFixture::SetUp();
        ASSERT_EQ(start(), 1);
    }
    // Steps the search forward from the start until it comes back round
    // (or a step reports neither a match nor a move to another page): the
    // matches found.
    int countMatches(const std::string &word)
    {
        // The search starts on the current page: the first page, wherever
        // the last search left the view.
        if (App_gotoPageNumber(inst, 1) != 1)
            return -1;
        onAppThread([] {});
        Headless_runTimers(host, 100);
        searches.clear();
        if (App_searchStart(inst, word.c_str(), 0, 0, 0) != 1)
            return -1;
        int matches = 0;
        for (int step = 0; step < 2000; step++) {
            size_t before = searches.size();
            if (App_searchNext(inst) != 1)
                return -1;
            if (!drive([&] { return searches.size() > before; }, 2000)) {
                // A move to another page answers once the page is ready.
                Headless_runTimers(host, 100);
                if (!drive([&] { return searches.size() > before; }, 2000))
                    return -2;
            }
            int32_t outcome = searches.back().outcome;
            if (outcome == 0x10000) {
                matches++;
                continue;
            }
            if (outcome != 0x10004)
                break;
        }
        (void)App_searchCancel(inst);
        onAppThread([] {});
        return matches;
    }
};

TEST_F(WordSearchTest, MatchesOfEachWordAsTheReferencePdfHasThem)
{
    auto reference = referenceCounts();
    ASSERT_FALSE(reference.empty());
    for (const auto &[file, words] : reference) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(open(std::string(VEXLAN_FIXTURES "/word/") + file));
        Headless_runTimers(host, 100);
        uint32_t typeCode = 0;
        onAppThread([&] {
            FvViewer *viewer = Fv_fromApp(inst);
            typeCode = Edr_Doc_getTypeCode(viewer->page->document);
        });
        EXPECT_EQ(typeCode, 226u);
        for (const auto &[word, count] : words)
            EXPECT_EQ(countMatches(word), count) << word;
    }
}

} // namespace
