// Interim definitions of font services whose modules are not built yet.
#include "fonts/fontengine.h"

// Interim: no font engine keeps registrations yet.
void FontEngine_unregisterFont(EngineContext *, void *)
{
}
