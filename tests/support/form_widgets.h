// Real form widgets for the tests of the document model and of layout
// that need form controls: the forms module started on the context for
// the life of the record, and plain widgets (class 10) with a given flag
// word, kind and rectangle. Make and drop the record on an engine task,
// while the document lives.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"

struct TestForms {
    explicit TestForms(EngineContext *context) : ctx(context)
    {
        EXPECT_EQ(Form_initModule(ctx), 0);
    }
    ~TestForms()
    {
        for (FormWidget *w : made)
            Form_Widget_destroy(w);
        Form_freeModule(ctx);
    }
    TestForms(const TestForms &) = delete;
    TestForms &operator=(const TestForms &) = delete;

    FormWidget *control(Edr_Doc *doc, uint32_t flags, uint32_t kind, int32_t x0 = 0, int32_t y0 = 0,
                        int32_t x1 = 0, int32_t y1 = 0)
    {
        FormWidget *w = nullptr;
        EXPECT_EQ(Form_Widget_create(doc, FormClass_base, 0, &w), 0);
        if (!w)
            return nullptr;
        w->flags = flags;
        w->kind = kind;
        const int32_t r[4] = {x0, y0, x1, y1};
        EXPECT_EQ(Form_Widget_setRect(w, r), 0);
        made.push_back(w);
        return w;
    }

    EngineContext *ctx;
    std::vector<FormWidget *> made;
};
