// Office-side records of a document that the document model tears down.
//
// Only the services that modules built before the office subsystem call
// are declared here so far.
#pragma once

struct Edr_Doc;
struct Edr_Node;

// Removes a node from the document-side record set (null node allowed).
void Edr_Doc_forgetNode(Edr_Doc *doc, Edr_Node *node);
// Frees the document's side record and its buffer.
void Edr_Doc_freeSideRecord(Edr_Doc *doc);
