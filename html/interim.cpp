// Interim definitions of web-layer services whose modules are not built
// yet: no link reference exists before them, so there is nothing to release.
#include "html/link.h"

void Link_release(Link *)
{
}
