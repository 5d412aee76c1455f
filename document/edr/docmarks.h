// The document's marks (its subRecords words): Doc_clearMarks clears the
// three words at creation; Doc_freeMarkList frees the list of mark records
// (chained through their fourth word, each a plain heap block) at
// destruction and leaves the list empty.
#pragma once

struct Edr_Doc;

void Doc_clearMarks(Edr_Doc *doc);
void Doc_freeMarkList(Edr_Doc *doc);
