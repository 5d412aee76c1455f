// A node's link and kind as the focus and link code asks for them.
#pragma once

#include <cstdint>

struct Edr_Doc;
struct Edr_Node;
struct Url;

// Under the read lock: the link of the nearest group up from node that carries
// one (resolved against the document), the group's kind (header bits 23-26),
// its index among the focusable nodes (-1 when none) and, for a form-control
// group, whether its control kind is 256. A node that is not a group is
// replaced by its parent (1543 without one); Res_docClosing for a closed
// document. Every out may be null.
[[nodiscard]] int Edr_Node_getInfo(Edr_Doc *doc, Edr_Node *node, Url **link, uint32_t *kind,
                                   int32_t *index, int32_t *controlFlag);
[[nodiscard]] int Edr_Node_getLink(Edr_Doc *doc, Edr_Node *node, Url **link);
