// Stand-ins for font-engine services that other modules call before the
// fonts subsystem exists. Each does the least its callers need and says so;
// the real definitions replace them when the subsystem is built.
#include "core/result.h"
#include "fonts/fontengine.h"

// Interim embedded-font services: no embedded font can be made before
// document fonts exist, so nothing reaches these with a real face; each
// answers "nothing".
#include "fonts/fontface.h"

int32_t EmbeddedTrueType_queryWord(FontFace *)
{
    return -1;
}

int EmbeddedTrueType_forward(FontFace *, uintptr_t, uintptr_t, uintptr_t)
{
    return 0;
}

int EmbeddedFont_forward(FontFace *, uintptr_t, uintptr_t, uintptr_t)
{
    return 0;
}
