// What the document's intrinsic-width measuring asks of line building:
// the text format of a style and the runs between break opportunities, so
// that measured widths agree with the lines laid out.
#include "core/result.h"
#include "layout/layout.h"
#include "layout/line.h"

int Layout_fontForStyle(LayoutBox *box, Edr_Style *style, LayoutFont *out)
{
    *out = LayoutFont{};
    TextFormat f{};
    int err = Layout_textFormat(box, style, &f);
    if (err)
        return err;
    out->fonts = f.font;
    out->size = f.size;
    out->flags = f.decoration;
    out->charSpacing = f.letterSpacing;
    out->wordSpacing = f.wordSpacing;
    return Res_ok;
}

uint32_t Layout_nextBreak(const char16_t *text, uint32_t length, uint32_t *)
{
    if (length == 0)
        return 0;
    // At least one character, up to the next opportunity after it.
    uint32_t at = 1;
    LineBreak_findAfter(text, length, &at);
    return at;
}
