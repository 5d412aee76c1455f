// The size of a screen as its view sees it (see screen.h).
#include "viewer/screen/screen.h"

namespace
{

bool turned(const Screen *screen)
{
    return ((screen->flags & Screen_orientationMask) >> Screen_orientationShift) & 1;
}

} // namespace

int32_t Screen_width(const Screen *screen)
{
    if (!screen)
        return 0;
    return turned(screen) ? screen->height : screen->width;
}

int32_t Screen_height(const Screen *screen)
{
    if (!screen)
        return 0;
    return turned(screen) ? screen->width : screen->height;
}
