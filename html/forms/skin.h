// The skin class (widget class 11): the look-state base of the push
// buttons, radio buttons, check boxes and labels. A skin widget keeps a
// state word (low 16 bits the look state, whose low 4 bits select the
// looks drawn; bit 18 keep the class looks, the no-image flag; bit 19 make
// a label child, the visibility flag), an optional skin image loaded from
// the skin directory that replaces the class looks and sizes the widget,
// and an optional inner label widget (class 22).
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"

struct DrawTarget;
struct EngineContext;
struct FormDrawRequest;
struct FormLayoutRequest;
struct FormValue;
struct FormWidget;
struct FormWidgetClass;
struct Url;

enum : uint32_t {
    Skin_initialFlags = 0xC0008,
    Skin_noImageBit = 1u << 18,
    Skin_visibleBit = 1u << 19,
    Skin_imageOpenFlags = 524,
    Skin_defaultResolution = 96,
};

// The skin record of a widget (in its class-11 copy's private word).
struct SkinRecord {
    uint32_t flags;
    FormWidget *inner;      // the label child, kind 22
    Url *imageUrl;          // owned, or null
    uintptr_t imageWord;    // stored with the image URL
    int32_t box[4];         // the layout box last used
    FormWidgetClass *looks; // the class copy whose looks are drawn (null: the chain head)
};

// A polygon look of a class: points (x, y pairs in the unit square, 16.16),
// their count and the shade word.
struct SkinShape {
    const int32_t *points;
    uint32_t count;
    uint32_t shade;
};

int Skin_registerClass(EngineContext *context);

// Class methods.
int Skin_create(FormWidget *widget);
int Skin_noop(FormWidget *widget);
int Skin_destroy(FormWidget *widget);
int Skin_setRect(EngineContext *context, FormWidget *widget, FormLayoutRequest *request);
int Skin_paint(EngineContext *context, FormWidget *widget, const FormDrawRequest *request,
               const Matrix *matrix, const DrawTarget *target, intptr_t extra);

// The skin record (null for a widget without one).
SkinRecord *Skin_record(const FormWidget *widget);
// Unless bit 18 is set, adds an image look (all states) that loads the
// skin image, and makes the face transparent (FF FF FF 00); records box.
int Skin_layout(EngineContext *context, FormWidget *widget, const int32_t box[4]);
// The URL text of a skin image: "file://localhost/" followed by the
// "Paths" setting "skin" (default "/skin/") without its first character
// and the image name. A new string or null.
char16_t *Skin_imageUrlText(EngineContext *context, const char *name);
// Opens the skin image (a copy of the widget's image URL with byUrl set,
// else the named file of the skin directory) into the look. 1 when memory
// runs out.
int Skin_loadImage(EngineContext *context, FormWidget *widget, const int32_t box[4],
                   FormValue *item, int byUrl, const char *name);
// The image's size is known: the widget becomes (pixels << 16) /
// resolution wide and high (the resolution 96 when below 1).
void Skin_onImageSize(void *item, int32_t width, int32_t height, int32_t resolution);
void Skin_onImageDone(void *item, int32_t x, int32_t y, int32_t width, int32_t height);
// Sets the widget's size from its origin, reporting the change.
int Skin_resizeWidget(FormWidget *widget, int32_t width, int32_t height);
// Makes the label child (class 22) when bit 19 is set and there is none.
int Skin_attachInner(EngineContext *context, FormWidget *widget, const int32_t *rect,
                     FormWidget **inner);
// Unless bit 18 is set, drops the class copy's looks and, with a skin
// image, puts one image look for all states in their place (the face
// becoming FF FF FF 00); the widget then draws the copy's looks.
int Skin_loadLooks(EngineContext *context, FormWidget *widget, FormWidgetClass *copy);
// Paint items: looks added to the widget's drawn class copy, with the
// state mask (low four bits) and, when given, a colour 0xRRGGBBAA.
int Skin_addPaintItem(FormWidget *widget, FormValue **out);
int Skin_addColourItem(FormWidget *widget, uint32_t kind, uint32_t colour, FormValue **out);
int Skin_addImageItem(FormWidget *widget, uint32_t kind, void *image, uint32_t colour,
                      FormValue **out);
// A polygon look of a class record, scaled into its design box.
int Skin_addShapeLook(FormWidgetClass *record, uint8_t stateMask, const SkinShape *shape,
                      uint32_t colour);

// Flag accessors (0, or nothing, without a skin record).
uint32_t Skin_getValue(const FormWidget *widget);
// Stores the look state (the low 16 bits of the state word).
void Skin_setValue(FormWidget *widget, uint32_t state);
int Skin_isVisibleFlag(const FormWidget *widget);
int Skin_setVisibleFlag(FormWidget *widget, int on);
int Skin_getNoImage(const FormWidget *widget);
void Skin_setNoImage(FormWidget *widget, int on);
int Skin_hasImage(const FormWidget *widget);
// Replaces the image URL (the widget takes it), stores the word and
// clears bit 18.
void Skin_setImageUrl(FormWidget *widget, Url *url, uintptr_t word);
