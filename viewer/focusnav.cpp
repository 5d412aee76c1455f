// Focus navigation: scoring candidates for a step in a direction. Every
// rectangle is turned into a frame in which the travel goes towards larger
// x (office/focus/focusband.h), so one set of edge rules serves all four
// directions.
#include "viewer/focusnav.h"

#include "office/focus/focusband.h"

namespace
{

constexpr int64_t worst = 0x7fffffff;
constexpr int64_t behind = 0x40000000;

// The orientation that turns a direction into travel towards larger x.
uint32_t orientationOf(uint32_t direction)
{
    switch (direction) {
    case FocusDir_left:
        return 0x800;
    case FocusDir_down:
        return 0x400;
    case FocusDir_up:
        return 0x100;
    default:
        return 0;
    }
}

bool overlaps(const Rect &a, const Rect &b)
{
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

int64_t isqrt(int64_t v)
{
    int64_t r = 0;
    for (int64_t bit = int64_t(1) << 62; bit; bit >>= 2) {
        if (v >= r + bit) {
            v -= r + bit;
            r = (r >> 1) + bit;
        } else {
            r >>= 1;
        }
    }
    return r;
}

} // namespace

int View_scoreCandidate(const FocusScoreRecord *record, const Rect *candidate, int64_t *primary,
                        int64_t *secondary)
{
    *primary = worst;
    *secondary = 0;
    const Rect moved{candidate->x0 + record->offset[0], candidate->y0 + record->offset[1],
                     candidate->x1 + record->offset[0], candidate->y1 + record->offset[1]};
    const uint32_t direction = record->flags & FocusDir_mask;
    if (direction != FocusDir_left && direction != FocusDir_right && direction != FocusDir_up &&
        direction != FocusDir_down) {
        const int64_t dx = (int64_t(moved.x0) + moved.x1) / 2 - record->focus.x0;
        const int64_t dy = (int64_t(moved.y0) + moved.y1) / 2 - record->focus.y0;
        *primary = isqrt(dx * dx + dy * dy);
        return 1;
    }
    if (record->region) {
        const bool inside = overlaps(moved, *record->region);
        if ((record->flags & FocusDir_visibleOnly) && !inside)
            return 0;
    }
    const uint32_t turn = orientationOf(direction);
    Rect c, f, a;
    Rect_orient(&c, &moved, turn);
    Rect_orient(&f, &record->focus, turn);
    Rect_orient(&a, &record->area, turn);
    // 1. Outside the area across the travel, or beyond its far edge.
    const int64_t cy = (int64_t(c.y0) + c.y1) / 2;
    if (cy < a.y0 || cy > a.y1 || c.x1 > a.x1)
        return 0;
    if (c.x0 >= a.x0 || c.x1 > f.x0) {
        // 2. Inside the leading edge, or reaching back to the focus.
        if (record->flags & FocusDir_strict)
            return 0;
        *primary = int64_t(c.x0) - a.x0;
        *secondary = 0;
    } else {
        // 3. Wholly before the leading edge and the focus.
        const int64_t distance = behind + (int64_t(a.x0) - c.x1);
        if (distance > worst) {
            *primary = worst;
            *secondary = 0;
        } else {
            int64_t side = 0;
            if (cy < f.y0)
                side = cy - f.y0;
            else if (cy > f.y1)
                side = cy - f.y1;
            *primary = distance;
            *secondary = (side < 0 ? -side : side) / 16;
        }
    }
    // 4. With a region but not visible-only: a candidate off the area
    // scores last.
    if (record->region && !(record->flags & FocusDir_visibleOnly) && !overlaps(c, a)) {
        *primary = worst;
        *secondary = 0;
    }
    return 1;
}
