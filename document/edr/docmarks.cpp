// The marks a document keeps for the spreadsheet side: three words in the
// document record (a word, the list of mark records and a word), cleared
// when the document is made; the list is freed with the document.
#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "document/edr/docmarks.h"

void Doc_clearMarks(Edr_Doc *doc)
{
    doc->subRecords = Edr_SubRecords{0, nullptr, 0};
}

void Doc_freeMarkList(Edr_Doc *doc)
{
    void *mark = doc->subRecords.list;
    while (mark) {
        void *next = static_cast<void **>(mark)[3];
        Mem_free(mark);
        mark = next;
    }
    doc->subRecords.list = nullptr;
}
