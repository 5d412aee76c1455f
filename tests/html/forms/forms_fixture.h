// A document engine with the forms module started, a configuration store,
// and the box font as the default font of every widget (every glyph the
// same box, so that measurements are known), plus helpers that make
// widgets and draw widget trees into 16-bit bitmaps.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/geom/rect.h"
#include "html/forms/websupport.h"
#include "fonts/fontengine.h"
#include "fonts/fontlist.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/pixelbuf.h"
#include "fonts/textrun.h"
#include "html/forms/ptrlist.h"
#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"
#include "tests/document/edr_fixture.h"

class FormsFixture : public EdrFixture {
  protected:
    void SetUp() override
    {
        EdrFixture::SetUp();
        ctx()->config = Config_createStore(ctx(), u"test");
        ASSERT_NE(ctx()->config, nullptr);
        ASSERT_EQ(Form_initModule(ctx()), 0);
        ASSERT_EQ(Font_listCreate(nullptr, nullptr, 0, 0, nullptr, &Form_module(ctx())->font), 0);
    }
    void TearDown() override
    {
        run([this] {
            Form_freeModule(ctx());
            Config_freeStore(ctx(), ctx()->config);
            ctx()->config = nullptr;
        });
        for (Bitmap *b : bitmaps)
            Bitmap_destroy(b);
        for (PixelBuf *b : bufs)
            PixelBuf_destroy(b);
        bitmaps.clear();
        bufs.clear();
        EdrFixture::TearDown();
    }

    FontList *font()
    {
        return Form_module(ctx())->font;
    }

    // The box font's extent of n characters at a 16.16 point size.
    Rect boxText(const char16_t *text, int32_t size = 9 << 16)
    {
        Rect r{0, 0, 0, 0};
        EXPECT_EQ(Form_measureText(ctx(), text, font(), size, &r), 0);
        return r;
    }

    // A created (and, with init, initialised) widget of the class.
    FormWidget *make(Edr_Doc *doc, uint32_t classId, bool init = true)
    {
        FormWidget *w = nullptr;
        EXPECT_EQ(Form_Widget_create(doc, classId, 0, &w), 0);
        if (w && init) {
            EXPECT_EQ(Form_Widget_init(w), 0);
        }
        return w;
    }

    // A request in the box font at 9 points.
    FormLayoutRequest request(int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                              uint32_t sizeGiven = 0)
    {
        FormLayoutRequest r{};
        r.font = font();
        r.size = 9 << 16;
        r.rect[0] = x0;
        r.rect[1] = y0;
        r.rect[2] = x1;
        r.rect[3] = y1;
        r.sizeGiven = sizeGiven;
        return r;
    }

    // A white 5-6-5 bitmap of w x h pixels.
    Bitmap *picture(int32_t w, int32_t h)
    {
        PixelBuf *buf = nullptr;
        EXPECT_EQ(PixelBuf_create(&buf, w, h, Pixel_format565, 0x10000), 0);
        memset(buf->pixels, 0xFF, size_t(buf->stride) * h);
        bufs.push_back(buf);
        Bitmap *b = nullptr;
        EXPECT_EQ(Bitmap_createLike(ctx(), &b, buf), 0);
        bitmaps.push_back(b);
        return b;
    }

    // Draws the widget and its subtree (each at its offset in the root)
    // through the class draw methods, pixelsPerInch mapping widget units
    // to pixels. Widgets that are not sized, attached and laid out are
    // drawn as the document model would: not at all; drawTree marks them
    // attached first since these tests keep them out of a document.
    void drawTree(FormWidget *w, Bitmap *b, int32_t pixelsPerInch, int32_t ox = 0, int32_t oy = 0)
    {
        Matrix m{pixelsPerInch, 0, 0, pixelsPerInch, 0, 0};
        DrawTarget target{b, nullptr, 0, 0};
        FormDrawRequest req{};
        int32_t r[4];
        ASSERT_EQ(Form_Widget_getRect(w, r), 0);
        for (int i = 0; i < 4; i++)
            req.rect[i] = r[i];
        req.dx = ox;
        req.dy = oy;
        w->flags |= FormWidget_attached;
        EXPECT_EQ(Form_Widget_dispatch(w, &req, &m, &target, 0), 0);
        w->flags &= ~uint32_t(FormWidget_attached);
        if (!w->children)
            return;
        for (PtrCell *c = w->children->head; c; c = c->next)
            drawTree(static_cast<FormWidget *>(c->value), b, pixelsPerInch, ox, oy);
    }

    // The pixel at column x, row y counted from the top.
    static uint16_t pixel(const Bitmap *b, int32_t x, int32_t y)
    {
        uint16_t v;
        memcpy(&v, Bitmap_firstRow(b) + size_t(y) * b->stride + size_t(x) * 2, 2);
        return v;
    }

    std::vector<Bitmap *> bitmaps;
    std::vector<PixelBuf *> bufs;
};

constexpr uint16_t white565 = 0xFFFF;
