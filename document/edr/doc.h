// The eDR document record: the reference and view counts that other
// modules hold on a document.
//
// Only the services that modules built before the document model call are
// declared here so far; the document model defines the record.
#pragma once

struct Edr_Doc;

// Adds a document reference (null allowed).
void Edr_Doc_addRef(Edr_Doc *doc);
// Drops a document reference the caller holds (null allowed).
void Edr_Doc_release(Edr_Doc *doc);
// Adds a view reference (null allowed).
void Edr_Doc_addView(Edr_Doc *doc);
// Drops a view reference the caller holds (null allowed).
void Edr_Doc_releaseView(Edr_Doc *doc);
// 1 when the document's translation has started (its start flag), else 0.
int Edr_Doc_isStarted(const Edr_Doc *doc);
