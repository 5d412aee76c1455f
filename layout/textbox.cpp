// Wrapped text drawing into a rectangle with a single font list.
#include "layout/textbox.h"

#include "core/geom/rect.h"
#include "core/result.h"
#include "fonts/fontlist.h"
#include "fonts/textrun.h"
#include "layout/line.h"

namespace {

bool isSpace(char16_t c)
{
    return (c >= 9 && c <= 13) || c == 32;
}

int32_t scaled(int32_t units, int32_t size)
{
    int64_t v = int64_t(units) * size / 0x120000;
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

} // namespace

int TextBox_draw(const char16_t *text, FontList *font, int32_t size, const Rect *rect,
                 TextBoxLineFn callback, void *arg)
{
    if (!text || !font || !rect || !callback || rect->x0 >= rect->x1 || rect->y1 <= rect->y0)
        return Res_ok;
    int32_t a = 0, d = 0;
    Lock_acquire(&font->lock);
    if (font->fontCount) {
        a = scaled(font->fonts[0].ascent, size);
        d = scaled(font->fonts[0].descent, size);
    }
    Lock_release(&font->lock);
    int64_t h = int64_t(a) - d;
    if (h < 1)
        return Res_ok;
    uint32_t rest = 0;
    while (text[rest])
        rest++;
    int64_t y = int64_t(rect->y1) - h;
    int32_t width = int32_t(
        int64_t(rect->x1) - rect->x0 > INT32_MAX ? INT32_MAX : int64_t(rect->x1) - rect->x0);
    const char16_t *at = text;
    while (rest > 0) {
        if (y + d <= rect->y0)
            break;
        uint32_t fit = 0;
        Rect extent{};
        int rc = TextRun_measureFit(font, size, 0, nullptr, at, rest, 0, 0, width, &fit, &extent);
        if (rc != Res_ok)
            return rc;
        if (fit > rest)
            fit = rest;
        if (fit < rest) {
            uint32_t index = fit;
            if (LineBreak_findBefore(at, rest, &index))
                fit = index;
            else
                fit = 0;
        }
        if (fit == 0)
            break;
        rc = callback(at, font, size, fit, rect->x0, int32_t(y), arg);
        if (rc != Res_ok)
            return rc;
        at += fit;
        rest -= fit;
        while (rest > 0 && isSpace(*at)) {
            at++;
            rest--;
        }
        y -= h;
    }
    return Res_ok;
}
