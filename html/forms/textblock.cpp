// The text block of a look: layout, drawing and editing of its text.
#include "html/forms/textblock.h"

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "graphics/drawitem.h"
#include "fonts/textrun.h"
#include "html/forms/formvalue.h"
#include "html/forms/widgetclass.h"

namespace {

const char16_t kA[] = u"A";

int32_t heightOf(const Rect &r)
{
    return r.y1 - r.y0;
}

int32_t widthOf(const Rect &r)
{
    return r.x1 - r.x0;
}

int measure(FontList *font, int32_t size, uint32_t style, const char16_t *chars, uint32_t count,
            int32_t limit, uint32_t *fitted, Rect *out)
{
    *out = Rect{0, 0, 0, 0};
    if (fitted)
        *fitted = 0;
    if (count == 0)
        return Res_ok;
    return TextRun_measureFit(font, size, style & TextStyle_rightToLeft, nullptr, chars, count, 0,
                              0, limit, fitted, out);
}

// The descent of the font at the size (negative: below the baseline).
int32_t descentOf(FontList *font, int32_t size, uint32_t style)
{
    Rect r;
    if (measure(font, size, style, kA, 1, 0x7FFFFFFF, nullptr, &r) != Res_ok)
        return 0;
    return r.y0;
}

// Rebuilds the masked display text (count characters of the mask); 1 when
// memory runs out.
int rebuildDisplay(FormTextRecord *t)
{
    Mem_free(t->display);
    t->display = nullptr;
    if (!t->mask)
        return Res_ok;
    t->display = static_cast<char16_t *>(Mem_malloc((size_t(t->length) + 1) * sizeof(char16_t)));
    if (!t->display)
        return Res_noMemory;
    for (uint32_t i = 0; i < t->length; i++)
        t->display[i] = char16_t(t->mask);
    t->display[t->length] = 0;
    return Res_ok;
}

void storeFont(FormTextBlock *b, const FormLayoutRequest *req, int32_t size)
{
    b->font = req->font;
    b->size = size;
    b->style = req->style;
    b->extra = req->extra;
}

int layoutSingle(FormValue *look, FormTextRecord *t, const FormLayoutRequest *req)
{
    if (!req->font || !req->size)
        return Res_ok;
    FormTextBlock *b = t->lines;
    int32_t W = look->rect[2] - look->rect[0];
    int32_t H = look->rect[3] - look->rect[1];
    if (H < 0)
        H = -H;
    int32_t size = req->size;
    Rect r;
    if (t->length) {
        int err = measure(req->font, size, req->style, t->text, t->length, W, nullptr, &r);
        if (err)
            return err;
        int32_t mh = heightOf(r);
        if (mh > H) {
            size = int32_t(int64_t(H) * size / mh);
            if (size < 1) {
                Form_textBlockClear(b);
                return Res_ok;
            }
        }
    }
    storeFont(b, req, size);
    b->visibleLines = 1;
    if (rebuildDisplay(t))
        return Res_noMemory;
    const char16_t *shown = t->display ? t->display : t->text;
    Form_textBlockClear(b);
    FormTextLine *line = nullptr;
    if (Form_textLineNew(&line))
        return Res_noMemory;
    Form_textBlockAppendLine(b, line);
    uint32_t offset = b->scrollOffset <= t->length ? b->scrollOffset : t->length;
    uint32_t fitted = 0;
    int err =
        measure(req->font, size, req->style, shown + offset, t->length - offset, W, &fitted, &r);
    if (err)
        return err;
    b->fitCount = uint16_t(offset + fitted);
    err = measure(req->font, size, req->style, shown, t->length, 0x7FFFFFFF, nullptr, &r);
    if (err)
        return err;
    int32_t w = widthOf(r), h = heightOf(r);
    int32_t hoff = 0, voff = 0;
    switch (t->mode & 0xFF) {
    case 2: hoff = (W - w) / 2; break;
    case 3: hoff = W - w; break;
    default: break;
    }
    switch ((t->mode >> 8) & 0xFF) {
    case 1: voff = H - h; break;
    case 2: voff = (H - h) / 2; break;
    default: break;
    }
    if (hoff < 0)
        hoff = 0;
    if (voff < 0)
        voff = 0;
    Form_textLineSet(line, shown, 0, t->length);
    const int32_t ink[4] = {hoff, -(h + voff), hoff + (W < w ? W : w), -voff};
    const int32_t place[4] = {hoff, -(h + voff), hoff + w, -voff};
    Form_textLineSetBoxes(line, ink, place);
    return Res_ok;
}

int layoutMulti(FormValue *look, FormTextRecord *t, const FormLayoutRequest *req)
{
    FormTextBlock *b = t->lines;
    int32_t W = look->rect[2] - look->rect[0];
    int32_t H = look->rect[3] - look->rect[1];
    int32_t absH = H < 0 ? -H : H;
    int32_t size = req->size;
    Rect r;
    if (t->length) {
        int err = measure(req->font, size, req->style, t->text, 1, W, nullptr, &r);
        if (err)
            return err;
        if (heightOf(r) > absH)
            size = int32_t(int64_t(absH) * size / heightOf(r));
    }
    if (size <= 0)
        return Res_ok;
    storeFont(b, req, size);
    if (rebuildDisplay(t)) {
        Form_textBlockClear(b);
        return Res_ok;
    }
    const char16_t *shown = t->display ? t->display : t->text;
    Form_textBlockClear(b);
    uint32_t p = 0, rem = t->length;
    uint32_t q = Form_textLineLength(t->text, rem);
    int32_t cursor = 0, lh = 0;
    int result = Res_ok;
    while (rem) {
        uint32_t n = 0;
        int32_t w;
        if (q == 0) {
            result = measure(req->font, size, req->style, kA, 1, W, nullptr, &r);
            w = widthOf(r);
        } else {
            result = measure(req->font, size, req->style, shown + p, q, W, &n, &r);
            w = widthOf(r);
        }
        if (result)
            break;
        lh = heightOf(r);
        cursor -= lh;
        if (w > W || w <= 1)
            break;
        int32_t hoff = 0, voff = 0;
        switch (t->mode & 0xFF) {
        case 2: hoff = (W - w) / 2; break;
        case 3: hoff = W - w; break;
        default: break;
        }
        switch ((t->mode >> 8) & 0xFF) {
        case 1: voff = H - lh; break;
        case 2: voff = (H - lh) / 2; break;
        default: break;
        }
        FormTextLine *line = nullptr;
        if (Form_textLineNew(&line)) {
            result = Res_noMemory;
            break;
        }
        Form_textLineSet(line, shown, uint16_t(p), uint16_t(n));
        const int32_t place[4] = {hoff, cursor - voff, hoff + w, cursor + lh - voff};
        const int32_t ink[4] = {hoff, cursor - voff, hoff + W, cursor + lh - voff};
        Form_textLineSetBoxes(line, ink, place);
        Form_textBlockAppendLine(b, line);
        if (n == q) {
            p += n;
            rem -= n;
            if (rem && t->text[p] == 13) {
                p++;
                rem--;
            }
            if (rem && t->text[p] == 10) {
                p++;
                rem--;
            }
            q = Form_textLineLength(t->text + p, rem);
        } else {
            p += n;
            rem -= n;
            q -= n;
        }
    }
    if (lh > 0)
        b->visibleLines = uint16_t(H / lh);
    return result;
}

} // namespace

uint32_t Form_textLineLength(const char16_t *chars, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++)
        if (chars[i] == 13 || chars[i] == 10)
            return i;
    return count;
}

int Form_textRecordNew(char16_t *text, FormTextRecord **out)
{
    *out = nullptr;
    FormTextRecord *t = static_cast<FormTextRecord *>(Mem_calloc(1, sizeof(FormTextRecord)));
    if (!t || Form_textBlockNew(&t->lines)) {
        Mem_free(t);
        Mem_free(text);
        return Res_noMemory;
    }
    size_t n = text ? Ustr_len(text) : 0;
    if (n > FormText_maxLength)
        n = FormText_maxLength;
    if (text)
        text[n] = 0;
    t->text = text;
    t->length = uint16_t(n);
    t->capacity = text ? uint32_t(n + 1) : 0;
    *out = t;
    return Res_ok;
}

void Form_textRecordFree(FormTextRecord *t)
{
    if (!t)
        return;
    Form_textBlockFree(t->lines);
    Mem_free(t->display);
    Mem_free(t->text);
    Mem_free(t);
}

int Form_textRecordCopy(const FormTextRecord *src, FormTextRecord **out)
{
    *out = nullptr;
    char16_t *text = nullptr;
    if (src->text) {
        text = Ustr_dupN(src->text, src->length);
        if (!text)
            return Res_noMemory;
    }
    int err = Form_textRecordNew(text, out);
    if (err)
        return err;
    (*out)->multiLine = src->multiLine;
    (*out)->mode = src->mode;
    (*out)->mask = src->mask;
    return Res_ok;
}

int Form_textRecordLayout(FormValue *look, const FormLayoutRequest *request)
{
    FormTextRecord *t = Form_valueTextRecord(look);
    if (!t || !request)
        return Res_ok;
    return t->multiLine ? layoutMulti(look, t, request) : layoutSingle(look, t, request);
}

int Form_textRecordDraw(FormValue *look, const FormDrawRequest *req, const Matrix *matrix,
                        const DrawTarget *target)
{
    FormTextRecord *t = Form_valueTextRecord(look);
    if (!t || !t->length || !req)
        return Res_ok;
    FormTextBlock *b = t->lines;
    if (!b->font || !b->first)
        return Res_ok;
    int32_t d = descentOf(b->font, b->size, b->style);
    Matrix base = matrix ? *matrix : *Matrix_identity();
    auto run = [&](const FormTextLine *line, uint32_t first, uint32_t count, int32_t x, int32_t y) {
        Matrix m = *Matrix_identity();
        if (req->matrix)
            m = *req->matrix;
        Matrix_translate(&m, x, y);
        Matrix_concat(&m, &base);
        // The target's clip is in the target's own pixels, not in the run's
        // coordinates: the target clips what is drawn by itself.
        return TextRun_outline(b->font, b->size, b->style & TextStyle_rightToLeft, nullptr,
                               line->text + first, count, 0, 0, &m, nullptr, target,
                               FormText_paint);
    };
    if (!t->multiLine) {
        const FormTextLine *line = b->first;
        uint32_t from = b->scrollOffset, to = b->fitCount;
        if (to > line->count)
            to = line->count;
        if (from >= to)
            return Res_ok;
        int32_t lookH = look->rect[3] - look->rect[1];
        int32_t x = req->rect[0] + req->dx + line->place[0];
        if (req->style & TextStyle_rightToLeft)
            x = req->rect[0] + req->dx + line->place[2];
        int32_t y = req->rect[1] + req->dy + line->place[1] + lookH - d;
        return run(line, line->first + from, to - from, x, y);
    }
    int32_t H = req->rect[3] - req->rect[1];
    int32_t left = req->dx + req->rect[0], top = req->dy + req->rect[3];
    const FormTextLine *line = b->first;
    int32_t S = 0;
    for (uint32_t i = 0; i < b->firstShown; i++) {
        if (!line)
            return Res_ok;
        S += line->ink[3] - line->ink[1];
        line = line->next;
    }
    int result = Res_ok;
    int32_t sum = 0;
    for (; line; line = line->next) {
        sum += line->ink[3] - line->ink[1];
        if (sum > H)
            break;
        if (line->count > 0)
            result = run(line, line->first, line->count, left + line->place[0],
                         top + line->place[1] + S - d);
    }
    return result;
}

int Form_textReplaceSelection(FormValue *look, const char16_t *text)
{
    FormTextRecord *t = Form_valueTextRecord(look);
    if (!t)
        return Res_ok;
    size_t inserted = text ? Ustr_len(text) : 0;
    if (!t->text) {
        if (inserted > FormText_maxLength)
            return Res_nullInput;
        char16_t *copy = Ustr_dupN(text ? text : u"", inserted);
        if (!copy)
            return Res_noMemory;
        t->text = copy;
        t->length = uint16_t(inserted);
        t->capacity = uint32_t(inserted + 1);
        t->selStart = t->selEnd = 0;
    } else {
        uint32_t start = t->selStart, end = t->selEnd;
        if (start > end) {
            uint32_t s = start;
            start = end;
            end = s;
        }
        if (end > t->length)
            end = t->length;
        if (start > end)
            start = end;
        if (inserted == 0 && start == end)
            return Res_ok;
        size_t newLength = size_t(t->length) + inserted - (end - start);
        if (newLength > FormText_maxLength)
            return Res_nullInput;
        if (newLength + 1 > t->capacity) {
            size_t cap = size_t(t->capacity) * 2;
            if (cap < newLength + 1)
                cap = newLength + 1;
            if (cap > size_t(FormText_maxLength) + 1)
                cap = size_t(FormText_maxLength) + 1;
            char16_t *grown = static_cast<char16_t *>(Mem_realloc(t->text, cap * sizeof(char16_t)));
            if (!grown)
                return Res_noMemory;
            t->text = grown;
            t->capacity = uint32_t(cap);
        }
        // The tail after the selection moves to its new place, then the
        // string goes in.
        size_t tail = size_t(t->length) - end;
        for (size_t i = 0; i < tail; i++) {
            size_t k = inserted > end - start ? tail - 1 - i : i;
            t->text[start + inserted + k] = t->text[end + k];
        }
        for (size_t i = 0; i < inserted; i++)
            t->text[start + i] = text[i];
        t->text[newLength] = 0;
        t->length = uint16_t(newLength);
        t->selStart = uint16_t(start);
    }
    uint32_t at = uint32_t(t->selStart) + uint32_t(inserted);
    uint16_t pos = at >= 65280 ? uint16_t(FormText_end) : uint16_t(at);
    t->selStart = t->selEnd = pos;
    if (t->lines->font) {
        FormLayoutRequest req{};
        req.font = t->lines->font;
        req.size = t->lines->size;
        req.style = t->lines->style;
        req.extra = t->lines->extra;
        return Form_textRecordLayout(look, &req);
    }
    return Res_ok;
}

void Form_textSetSelStart(FormValue *look, uint32_t position)
{
    if (FormTextRecord *t = Form_valueTextRecord(look))
        t->selStart = uint16_t(position > t->length ? t->length : position);
}

void Form_textSetSelEnd(FormValue *look, uint32_t position)
{
    if (FormTextRecord *t = Form_valueTextRecord(look))
        t->selEnd = uint16_t(position > t->length ? t->length : position);
}

uint32_t Form_textGetSelEnd(const FormValue *look)
{
    FormTextRecord *t = Form_valueTextRecord(look);
    return t ? t->selEnd : 0;
}

void Form_textRecordSetWrap(FormValue *look, uint32_t on)
{
    if (FormTextRecord *t = Form_valueTextRecord(look))
        t->multiLine = on ? 1 : 0;
}

void Form_textSetMaskChar(FormValue *look, uint32_t mask)
{
    if (FormTextRecord *t = Form_valueTextRecord(look))
        t->mask = mask;
}

void Form_textSetMode(FormValue *look, uint32_t mode)
{
    if (FormTextRecord *t = Form_valueTextRecord(look))
        t->mode = mode;
}

int Form_textBlockNew(FormTextBlock **out)
{
    *out = static_cast<FormTextBlock *>(Mem_calloc(1, sizeof(FormTextBlock)));
    return *out ? int(Res_ok) : int(Res_noMemory);
}

void Form_textBlockClear(FormTextBlock *b)
{
    if (!b)
        return;
    for (FormTextLine *l = b->first, *n; l; l = n) {
        n = l->next;
        Mem_free(l);
    }
    b->first = b->last = nullptr;
    b->lineCount = 0;
}

void Form_textBlockFree(FormTextBlock *b)
{
    Form_textBlockClear(b);
    Mem_free(b);
}

void Form_textBlockAppendLine(FormTextBlock *b, FormTextLine *line)
{
    line->next = nullptr;
    if (b->last)
        b->last->next = line;
    else
        b->first = line;
    b->last = line;
    b->lineCount++;
}

int Form_textLineNew(FormTextLine **out)
{
    *out = static_cast<FormTextLine *>(Mem_calloc(1, sizeof(FormTextLine)));
    return *out ? int(Res_ok) : int(Res_noMemory);
}

void Form_textLineSet(FormTextLine *line, const char16_t *text, uint16_t first, uint16_t count)
{
    line->text = text;
    line->first = first;
    line->count = count;
}

void Form_textLineSetBoxes(FormTextLine *line, const int32_t ink[4], const int32_t place[4])
{
    for (int i = 0; i < 4; i++) {
        line->ink[i] = ink[i];
        line->place[i] = place[i];
    }
}
