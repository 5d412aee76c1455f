// The teardown side of the per-document table of node attachments
// (document/edr/attach.h), called by the document model.
#pragma once

struct Edr_Doc;
struct Edr_Node;

// Detaches the node's attachment without taking a lock (the tree is being
// torn down): the data's destructor runs when this was its last share.
// Null node allowed.
void Edr_Node_detachPrivate(Edr_Doc *doc, Edr_Node *node);
// Frees the attachment table without calling destructors (the document
// itself is being destroyed).
void Edr_Doc_freePrivateTable(Edr_Doc *doc);
