// A document's marks: clearing zeroes the three words, freeing frees every
// record of the chain (the heap check catches one left behind) and empties
// the list.
#include <gtest/gtest.h>

#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "document/edr/docmarks.h"
#include "tests/support/heap_fixture.h"

namespace {

using DocMarksTest = LeakCheckedHeapTest<>;

TEST_F(DocMarksTest, ClearingZeroesTheWordsAndFreeingFreesTheChain)
{
    Edr_Doc *doc = static_cast<Edr_Doc *>(Mem_calloc(1, sizeof(Edr_Doc)));
    ASSERT_NE(doc, nullptr);
    doc->subRecords = Edr_SubRecords{5, doc, 7};
    Doc_clearMarks(doc);
    EXPECT_EQ(doc->subRecords.lead, 0);
    EXPECT_EQ(doc->subRecords.list, nullptr);
    EXPECT_EQ(doc->subRecords.trail, 0);
    Doc_freeMarkList(doc); // an empty list
    EXPECT_EQ(doc->subRecords.list, nullptr);

    size_t before = TestHeap_usedBytes();
    for (int i = 0; i < 3; i++) {
        void **mark = static_cast<void **>(Mem_calloc(6, sizeof(void *)));
        ASSERT_NE(mark, nullptr);
        mark[0] = mark; // other words are not links
        mark[3] = doc->subRecords.list;
        doc->subRecords.list = mark;
    }
    doc->subRecords.lead = 9;
    Doc_freeMarkList(doc);
    EXPECT_EQ(doc->subRecords.list, nullptr);
    EXPECT_EQ(doc->subRecords.lead, 9) << "only the list goes";
    EXPECT_EQ(TestHeap_usedBytes(), before);
    Mem_free(doc);
}

} // namespace
