// PDF annotations, links and destinations.
#include "pdf/annot.h"

#include <cstring>

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/result.h"
#include "core/text/fmt.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/path.h"
#include "pdf/document.h"
#include "pdf/interp.h"
#include "pdf/obj.h"
#include "pdf/page.h"
#include "pdf/pdf.h"
#include "pdf/xobject.h"
#include "document/edr/webops.h"
#include "platform/api/request.h"
#include "platform/url/url.h"

namespace {

enum : int32_t {
    kFlagInvisible = 1,
    kFlagHidden = 2,
    kFlagNoView = 32,
    kInsertLast = 2,
    kNameTreeDepth = 32,
    kPropPaintMode = 125,
    kPaintFill = 196,
    kPaintStroke = 198,
    // The style keys of link areas and of link borders, above every
    // page's size key.
    kLinkStyle = 0x7FFF0000,
    kBorderStyle = 0x7FFF0001,
    kMaxBorderStyles = 0xFFFE,
};

// The shared style of link borders of colour (R G B A bytes, little
// endian) and width (device units) into *key. 0 or an error.
int borderStyle(PdfDoc *doc, uint32_t colour, int32_t width, uint32_t *key)
{
    uint64_t look = uint64_t(colour) << 32 | uint32_t(width);
    for (uint32_t i = 0; i < doc->borderStyleCount; i++)
        if (doc->borderStyles[i] == look) {
            *key = kBorderStyle + i;
            return Res_ok;
        }
    if (!doc->sizeRequest || doc->borderStyleCount >= kMaxBorderStyles)
        return Res_pdfSyntax;
    uint64_t *grown = static_cast<uint64_t *>(
        Mem_realloc(doc->borderStyles, (doc->borderStyleCount + 1) * sizeof(uint64_t)));
    if (!grown)
        return Res_noMemory;
    doc->borderStyles = grown;
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    if (err)
        return err;
    Prop p{};
    Prop_set(&p, PropId_position, PropType_pointer, 0, 0);
    err = StyleRule_appendProp(rule, &p);
    if (!err) {
        Prop_setType(&p, kPropPaintMode, kPaintStroke);
        err = StyleRule_appendProp(rule, &p);
    }
    if (!err) {
        const uint8_t c[4] = {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), 255};
        Prop_setColour(&p, PropId_drawColour, c);
        err = StyleRule_appendProp(rule, &p);
    }
    if (!err) {
        Prop_setLength(&p, PropId_strokeWidth, width);
        err = StyleRule_appendProp(rule, &p);
    }
    uint32_t k = kBorderStyle + doc->borderStyleCount;
    if (!err)
        err = StyleRule_addMatch1(rule, k);
    if (!err)
        err = Request_addItem(doc->sizeRequest, &rule);
    StyleRule_destroy(rule);
    if (err)
        return err;
    doc->borderStyles[doc->borderStyleCount++] = look;
    *key = k;
    return Res_ok;
}

// The shared style of link areas, made once per document in the request
// that holds the page size styles: painted with a transparent fill, so a
// link area shows nothing. 0 or an error.
int linkStyle(PdfDoc *doc)
{
    if (doc->linkStyleMade || !doc->sizeRequest)
        return Res_ok;
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    if (err)
        return err;
    Prop p{};
    Prop_set(&p, PropId_position, PropType_pointer, 0, 0);
    err = StyleRule_appendProp(rule, &p);
    if (!err) {
        Prop_setType(&p, kPropPaintMode, kPaintFill);
        err = StyleRule_appendProp(rule, &p);
    }
    if (!err) {
        const uint8_t colour[4] = {127, 255, 255, 0};
        Prop_setColour(&p, PropId_color, colour);
        err = StyleRule_appendProp(rule, &p);
    }
    if (!err)
        err = StyleRule_addMatch1(rule, kLinkStyle);
    if (!err)
        err = Request_addItem(doc->sizeRequest, &rule);
    StyleRule_destroy(rule);
    if (!err)
        doc->linkStyleMade = 1;
    return err;
}

bool nameEquals(PdfObj *key, const char *name, size_t length)
{
    if (!key)
        return false;
    if (key->type == PdfObj_string && key->value.str)
        return key->value.str->length == length &&
               !std::memcmp(PdfString_bytes(key->value.str), name, length);
    if (key->type == PdfObj_name && key->value.name)
        return std::strlen(key->value.name) == length &&
               !std::memcmp(key->value.name, name, length);
    return false;
}

// The value of name in a name tree (bounded in depth), or null.
int findInTree(PdfDoc *doc, PdfObj *node, const char *name, size_t length, int depth, PdfObj **out)
{
    if (depth > kNameTreeDepth || !node)
        return Res_ok;
    PdfObj *names = nullptr, *kids = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Names", node, &names);
    if (!err && names && names->type == PdfObj_array && names->value.arr) {
        uint32_t n = names->value.arr->count;
        for (uint32_t i = 0; i + 1 < n && !err; i += 2) {
            PdfObj *key = nullptr;
            err = Pdf_Obj_arrayGet(doc, i, names, &key);
            if (!err && nameEquals(key, name, length))
                return Pdf_Obj_arrayGet(doc, i + 1, names, out);
        }
    }
    if (!err)
        err = Pdf_Obj_dictGet(doc, "Kids", node, &kids);
    if (!err && kids && kids->type == PdfObj_array && kids->value.arr) {
        uint32_t n = kids->value.arr->count;
        for (uint32_t i = 0; i < n && !err && !*out; i++) {
            PdfObj *kid = nullptr;
            err = Pdf_Obj_arrayGet(doc, i, kids, &kid);
            if (!err)
                err = findInTree(doc, kid, name, length, depth + 1, out);
        }
    }
    return err;
}

// A named destination: the Names/Dests tree, then the Dests dictionary; a
// dictionary found is replaced by its "D". Null when it leads nowhere.
int namedDest(PdfDoc *doc, PdfObj *nameObj, PdfObj **out)
{
    *out = nullptr;
    const char *name = nullptr;
    size_t length = 0;
    if (nameObj->type == PdfObj_name) {
        name = nameObj->value.name;
        length = std::strlen(name);
    } else if (nameObj->type == PdfObj_string && nameObj->value.str) {
        name = reinterpret_cast<const char *>(PdfString_bytes(nameObj->value.str));
        length = nameObj->value.str->length;
    } else {
        return Res_ok;
    }
    PdfObj *names = nullptr, *tree = nullptr, *dests = nullptr, *found = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Names", doc->catalog, &names);
    if (!err && names)
        err = Pdf_Obj_dictGet(doc, "Dests", names, &tree);
    if (!err && tree)
        err = findInTree(doc, tree, name, length, 0, &found);
    if (!err && !found && nameObj->type == PdfObj_name) {
        err = Pdf_Obj_dictGet(doc, "Dests", doc->catalog, &dests);
        if (!err && dests)
            err = Pdf_Obj_dictGet(doc, name, dests, &found);
    }
    if (!err && found && (found->type == PdfObj_dict || found->type == PdfObj_stream))
        err = Pdf_Obj_dictGet(doc, "D", found, &found);
    if (!err && found && found->type == PdfObj_array)
        *out = found;
    return err;
}

char16_t *ustr(const char *text)
{
    size_t n = std::strlen(text);
    char16_t *s = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!s)
        return nullptr;
    for (size_t i = 0; i <= n; i++)
        s[i] = char16_t(uint8_t(text[i]));
    return s;
}

// The page number of a page object (0 when it is none).
uint32_t pageNumber(PdfDoc *doc, PdfObj *page)
{
    uint32_t n = 0;
    if (!page || Pdf_Obj_resolve(doc, &page) != Res_ok || !page || page->type != PdfObj_dict)
        return 0;
    return Pdf_Page_indexOf(doc, page, &n) == Res_ok ? n : 0;
}

// Makes a group of the page holding the device rectangle r, with url set
// when given. 0 or an error.
int makeArea(PdfDoc *doc, Edr_Node *page, const int32_t *r, const Url *url, uint32_t style)
{
    Edr_Doc *ed = doc->edrDoc;
    Edr_Node *group = nullptr;
    int err = style == kLinkStyle ? linkStyle(doc) : Res_ok;
    if (!err)
        err = Edr_Node_createGroup(ed, page, kInsertLast, 0, &group);
    if (!err)
        err = Edr_Node_setStyle(ed, group, style);
    Path *path = nullptr;
    if (!err)
        err = Path_create(&path, 0x10000);
    if (!err) {
        const Rect rect{r[0], r[1], r[2], r[3]};
        err = Path_addRect(path, &rect);
        if (!err)
            err = Edr_Node_createPath(ed, group, kInsertLast, nullptr, path);
        if (err)
            Path_destroy(path);
    }
    if (!err && url)
        err = Edr_Node_setUrl(ed, group, url);
    if (group)
        Edr_Node_release(ed, group);
    return err;
}

// The link area of annot for url (page coordinates through the page matrix).
int linkArea(PdfDoc *doc, PdfObj *annot, Edr_Node *page, const Url *url)
{
    float rect[4] = {0, 0, 0, 0};
    PdfObj *r = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Rect", annot, &r);
    if (!err && !r)
        return Res_ok;
    if (!err)
        err = Pdf_Obj_getNumberArray(doc, r, 4, rect);
    if (err || !doc->pageAttrs)
        return err;
    float m[6];
    Pdf_Page_matrix(doc->pageAttrs, m);
    int32_t box[4] = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    const float corners[4][2] = {
        {rect[0], rect[1]}, {rect[2], rect[1]}, {rect[2], rect[3]}, {rect[0], rect[3]}};
    for (const auto &c : corners) {
        double x = double(m[0]) * c[0] + double(m[2]) * c[1] + m[4];
        double y = double(m[1]) * c[0] + double(m[3]) * c[1] + m[5];
        int32_t ix = x >= 2147483647.0 ? INT32_MAX : x <= -2147483648.0 ? INT32_MIN : int32_t(x);
        int32_t iy = y >= 2147483647.0 ? INT32_MAX : y <= -2147483648.0 ? INT32_MIN : int32_t(y);
        box[0] = ix < box[0] ? ix : box[0];
        box[1] = iy < box[1] ? iy : box[1];
        box[2] = ix > box[2] ? ix : box[2];
        box[3] = iy > box[3] ? iy : box[3];
    }
    // A visible border ("Border" width, one point when absent, in "C") is
    // a group of the same shape made before the link area.
    float border = 1;
    PdfObj *b = nullptr;
    err = Pdf_Obj_dictGet(doc, "Border", annot, &b);
    if (!err && b) {
        PdfObj *w = nullptr;
        err = Pdf_Obj_arrayGet(doc, 2, b, &w);
        if (!err && w)
            err = Pdf_Obj_getNumber(doc, w, &border);
    }
    float c[3] = {0, 0, 0};
    PdfObj *colourObj = nullptr;
    if (!err)
        err = Pdf_Obj_dictGet(doc, "C", annot, &colourObj);
    if (!err && colourObj && colourObj->type == PdfObj_array && colourObj->value.arr &&
        colourObj->value.arr->count >= 3)
        err = Pdf_Obj_getNumberArray(doc, colourObj, 3, c);
    if (err)
        return err;
    double width = double(border) * 65536.0 / 72.0 + 0.5;
    if (width >= 1) {
        uint32_t colour = 0;
        for (int i = 0; i < 3; i++) {
            float v = c[i] > 1 ? 1 : c[i] < 0 ? 0 : c[i];
            colour |= uint32_t(v * 255 + 0.5f) << (8 * i);
        }
        uint32_t key = 0;
        err = borderStyle(doc, colour, width >= 2147483647.0 ? INT32_MAX : int32_t(width), &key);
        if (!err)
            err = makeArea(doc, page, box, nullptr, key);
        if (err)
            return err;
    }
    return makeArea(doc, page, box, url, kLinkStyle);
}

// The URL of a link target: an internal destination, or text.
int linkTo(PdfDoc *doc, PdfObj *annot, Edr_Node *page, char16_t *text, int resolve)
{
    if (!text)
        return Res_ok;
    Url *url = nullptr, *base = nullptr;
    if (resolve && Edr_Doc_getUrl(doc->edrDoc, &base) == Res_ok && base)
        url = Url_resolveText(doc->context, text, base);
    else
        url = Url_new(text);
    Url_free(base);
    Mem_free(text);
    if (!url)
        return Res_noMemory;
    int err = linkArea(doc, annot, page, url);
    Url_free(url);
    return err;
}

// The bytes of a string object as a new 16-bit string (Latin-1), cut at
// the first line end and without leading white space; null when empty.
char16_t *actionText(PdfObj *s)
{
    if (!s || s->type != PdfObj_string || !s->value.str)
        return nullptr;
    const uint8_t *b = PdfString_bytes(s->value.str);
    uint32_t n = s->value.str->length, start = 0, end = 0;
    while (end < n && b[end] != '\r' && b[end] != '\n')
        end++;
    while (start < end &&
           (b[start] == ' ' || b[start] == '\t' || b[start] == '\f' || b[start] == 0))
        start++;
    if (start == end)
        return nullptr;
    char16_t *t = static_cast<char16_t *>(Mem_malloc((end - start + 1) * sizeof(char16_t)));
    if (!t)
        return nullptr;
    for (uint32_t i = start; i < end; i++)
        t[i - start] = char16_t(b[i]);
    t[end - start] = 0;
    return t;
}

int linkAction(PdfDoc *doc, PdfObj *annot, Edr_Node *page)
{
    PdfObj *action = nullptr, *rect = nullptr, *kind = nullptr;
    int err = Pdf_Obj_dictGet(doc, "A", annot, &action);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "Rect", annot, &rect);
    if (err || !action || !rect)
        return err;
    const char *s = nullptr;
    err = Pdf_Obj_dictGet(doc, "S", action, &kind);
    if (!err && kind)
        err = Pdf_Obj_getName(doc, kind, &s);
    if (err || !s)
        return err;
    PdfObj *v = nullptr;
    if (!std::strcmp(s, "URI")) {
        err = Pdf_Obj_dictGet(doc, "URI", action, &v);
        return err ? err : linkTo(doc, annot, page, actionText(v), 0);
    }
    if (!std::strcmp(s, "GoToR")) {
        err = Pdf_Obj_dictGet(doc, "F", action, &v);
        if (!err && v && (v->type == PdfObj_dict || v->type == PdfObj_stream))
            err = Pdf_Obj_dictGet(doc, "F", v, &v);
        return err ? err : linkTo(doc, annot, page, actionText(v), 1);
    }
    if (!std::strcmp(s, "GoTo")) {
        err = Pdf_Obj_dictGet(doc, "D", action, &v);
        if (!err && v && (v->type == PdfObj_name || v->type == PdfObj_string))
            err = namedDest(doc, v, &v);
        if (err || !v)
            return err;
        // An action's destination names its page; its view is not used.
        PdfObj *target = v;
        if (v->type == PdfObj_array && (err = Pdf_Obj_arrayGet(doc, 0, v, &target)) != Res_ok)
            return err;
        return linkTo(doc, annot, page, Pdf_Link_destToUrl(doc, target), 0);
    }
    return Res_ok;
}

int annotation(PdfDoc *doc, PdfObj *annot, PdfInterp *interp, Edr_Node *page)
{
    PdfObj *v = nullptr;
    int32_t flags = 0;
    int err = Pdf_Obj_dictGet(doc, "F", annot, &v);
    if (!err && v)
        err = Pdf_Obj_getInt(doc, v, &flags);
    if (err || (flags & (kFlagInvisible | kFlagHidden | kFlagNoView)))
        return err;
    PdfObj *ap = nullptr;
    err = Pdf_Obj_dictGet(doc, "AP", annot, &ap);
    if (!err && ap) {
        PdfObj *normal = nullptr;
        err = Pdf_Obj_dictGet(doc, "N", ap, &normal);
        if (!err && normal && normal->type == PdfObj_dict) {
            PdfObj *state = nullptr;
            const char *name = nullptr;
            err = Pdf_Obj_dictGet(doc, "AS", annot, &state);
            if (!err && state)
                err = Pdf_Obj_getName(doc, state, &name);
            PdfObj *chosen = nullptr;
            if (!err && name)
                err = Pdf_Obj_dictGet(doc, name, normal, &chosen);
            normal = chosen;
            if (!err && !normal)
                return Res_ok;
        }
        if (err)
            return err;
        if (!normal || normal->type != PdfObj_stream)
            return Res_ok;
        float rect[4];
        err = Pdf_Obj_dictGet(doc, "Rect", annot, &v);
        if (!err && !v)
            err = Res_pdfSyntax;
        if (!err)
            err = Pdf_Obj_getNumberArray(doc, v, 4, rect);
        if (!err)
            err = Pdf_XObj_runForm(doc, interp, rect, normal);
        if (err)
            return err;
    }
    if (!doc->edrDoc)
        return Res_ok;
    err = Pdf_Out_flush(doc, interp);
    PdfObj *dest = nullptr;
    if (!err)
        err = Pdf_Obj_dictGet(doc, "Dest", annot, &dest);
    if (err)
        return err;
    if (!dest)
        return linkAction(doc, annot, page);
    if (dest->type == PdfObj_name || dest->type == PdfObj_string) {
        err = namedDest(doc, dest, &dest);
        if (err || !dest)
            return err; // a destination that leads nowhere: this link is left out
    }
    if (dest->type != PdfObj_array && dest->type != PdfObj_dict)
        return Res_ok;
    return linkTo(doc, annot, page, Pdf_Link_destToUrl(doc, dest), 0);
}

} // namespace

int Pdf_Link_destView(PdfDoc *doc, PdfObj *dest, uint32_t number, char16_t out[6])
{
    if (!dest || dest->type != PdfObj_array || !dest->value.arr)
        return 1;
    uint32_t n = dest->value.arr->count;
    PdfObj *fit = nullptr;
    const char *name = nullptr;
    if (Pdf_Obj_arrayGet(doc, 1, dest, &fit) != Res_ok || !fit ||
        Pdf_Obj_getName(doc, fit, &name) != Res_ok)
        return 1;
    float v[4] = {-1, -1, -1, -1};
    auto number4 = [&](uint32_t i) {
        PdfObj *o = nullptr;
        float f = -1;
        if (Pdf_Obj_arrayGet(doc, i, dest, &o) != Res_ok || !o ||
            Pdf_Obj_getNumber(doc, o, &f) != Res_ok)
            return -1.0f;
        return f;
    };
    // v: left, top, right, bottom in page space; -1 leaves the edge open.
    if (n == 2 && (!std::strcmp(name, "Fit") || !std::strcmp(name, "FitB"))) {
    } else if (n == 3 && (!std::strcmp(name, "FitH") || !std::strcmp(name, "FitBH"))) {
        v[1] = number4(2);
    } else if (n == 3 && (!std::strcmp(name, "FitV") || !std::strcmp(name, "FitBV"))) {
        v[0] = number4(2);
    } else if (n == 5 && !std::strcmp(name, "XYZ")) {
        v[0] = number4(2);
        v[1] = number4(3);
    } else if (n == 6 && !std::strcmp(name, "FitR")) {
        v[0] = number4(2);
        v[3] = number4(3);
        v[2] = number4(4);
        v[1] = number4(5);
    } else {
        return 1;
    }
    // The destination page's box and rotation place the values.
    PdfPageAttrs attrs{};
    PdfPageAttrs *saved = doc->pageAttrs;
    doc->pageAttrs = &attrs;
    PdfObj *page = nullptr;
    int err = Pdf_Page_lookup(doc, number, &page);
    if (!err)
        err = Pdf_Page_readAttrs(doc, page);
    Pdf_Box_normalise(attrs.mediaBox);
    Pdf_Box_normalise(attrs.cropBox);
    if (!err && Pdf_Box_isEmpty(attrs.cropBox))
        Pdf_Box_copy(attrs.cropBox, attrs.mediaBox);
    if (!err && !Pdf_Box_isEmpty(attrs.mediaBox))
        Pdf_Box_clip(attrs.cropBox, attrs.mediaBox);
    float m[6];
    int32_t w = 0, h = 0;
    if (!err) {
        Pdf_Page_matrix(&attrs, m);
        Pdf_Page_size(&attrs, &w, &h);
    }
    Pdf_Res_popAll(doc);
    doc->pageAttrs = saved;
    if (err || w <= 0 || h <= 0)
        return 1;
    // Each edge through the page matrix: device x from the left edge, and
    // minus device y from the top. A turned page turns which device edge a
    // page edge becomes.
    int32_t edge[4] = {-1, -1, -1, -1}; // left, top, right, bottom
    for (int i = 0; i < 4; i++) {
        if (v[i] < 0)
            continue;
        bool isX = i == 0 || i == 2, low = i == 0 || i == 3; // L and B are the low values
        double d = 0, size = 0;
        int slot = 0;
        if (isX && m[0] != 0) {
            d = double(m[0]) * v[i] + m[4];
            size = w;
            slot = (m[0] > 0) == low ? 0 : 2;
        } else if (isX) {
            d = -(double(m[1]) * v[i] + m[5]);
            size = h;
            slot = (m[1] > 0) == low ? 3 : 1;
        } else if (m[3] != 0) {
            d = -(double(m[3]) * v[i] + m[5]);
            size = h;
            slot = (m[3] > 0) == low ? 3 : 1;
        } else {
            d = double(m[2]) * v[i] + m[4];
            size = w;
            slot = (m[2] > 0) == low ? 0 : 2;
        }
        // Device offsets from the top-left corner, kept inside the page.
        edge[slot] = int32_t(d < 0 ? 0 : d > size ? size : d);
    }
    // The characters Pdf_fragmentRect reads back: the left offset, the
    // bottom's offset from the page bottom, the width and the height, each
    // in 94ths; a space leaves the right or top edge at the page's.
    // Rounded, so that an edge made of two characters (the right is the
    // left plus the width) is still within 1/94 of the page.
    auto ch = [](double offset, double extent) {
        int32_t c = int32_t(32.5 + offset * 94 / extent);
        return char16_t(c < 32 ? 32 : c > 126 ? 126 : c);
    };
    int32_t left = edge[0] < 0 ? 0 : edge[0], bottom = edge[3] < 0 ? h : edge[3];
    out[0] = u',';
    out[1] = ch(left, w);
    out[2] = ch(double(h) - bottom, h);
    out[3] = edge[2] < 0 ? u' ' : ch(double(edge[2]) - left, w);
    out[4] = edge[1] < 0 ? u' ' : ch(double(bottom) - edge[1], h);
    out[5] = 0;
    return 0;
}

char16_t *Pdf_Link_destToUrl(PdfDoc *doc, PdfObj *dest)
{
    if (Pdf_Obj_resolve(doc, &dest) != Res_ok || !dest)
        return nullptr;
    PdfObj *page = dest;
    if (dest->type == PdfObj_array && Pdf_Obj_arrayGet(doc, 0, dest, &page) != Res_ok)
        return nullptr;
    uint32_t number = pageNumber(doc, page);
    if (!number)
        return nullptr;
    char text[40];
    int n = Fmt_snprintf(text, sizeof text, "#page-%u", number);
    char16_t view[6];
    if (dest->type == PdfObj_array && Pdf_Link_destView(doc, dest, number, view) == 0) {
        for (int i = 0; i < 5 && n + 1 < int(sizeof text); i++)
            text[n++] = char(view[i]);
        text[n] = 0;
    }
    return ustr(text);
}

int Pdf_Page_loadAnnots(PdfDoc *doc, PdfObj *page, PdfInterp *interp, Edr_Node *group)
{
    PdfObj *annots = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Annots", page, &annots);
    if (err || !annots || annots->type != PdfObj_array || !annots->value.arr)
        return err;
    uint32_t n = annots->value.arr->count;
    for (uint32_t i = 0; i < n && !err; i++) {
        PdfObj *a = nullptr;
        err = Pdf_Obj_arrayGet(doc, i, annots, &a);
        if (!err && a && a->type == PdfObj_dict)
            err = annotation(doc, a, interp, group);
        // An annotation that cannot be read is left out; the others and
        // the page go on. Running out of memory or a stop ends them.
        if (err != Res_ok && err != Res_noMemory && err != Res_stopRequested) {
            Pdf_Doc_warn(doc, PdfWarn_annotation);
            err = Res_ok;
        }
    }
    return err;
}

void Pdf_fragmentApplyView(const int32_t *page, const char16_t *view, int32_t *out)
{
    int64_t left = page[0], top = page[1], right = page[2], bottom = page[3];
    uint64_t w = uint64_t(right - left), h = uint64_t(bottom - top);
    uint32_t c[4];
    for (int i = 0; i < 4; i++)
        c[i] = uint32_t(view[i]) - 32;
    int64_t l = left + int64_t(w * c[0] / 94);
    int64_t b = bottom - int64_t(h * c[1] / 94);
    int64_t r = view[2] == u' ' ? right : l + int64_t(w * c[2] / 94);
    int64_t t = view[3] == u' ' ? top : b - int64_t(h * c[3] / 94);
    auto clamp = [](int64_t v, int64_t lo, int64_t hi) {
        return int32_t(v < lo ? lo : v > hi ? hi : v);
    };
    out[0] = clamp(l, left, right);
    out[1] = clamp(t, top, bottom);
    out[2] = clamp(r, left, right);
    out[3] = clamp(b, top, bottom);
}

int Pdf_fragmentRect(Edr_Doc *doc, const char16_t *name, int32_t *rect)
{
    if (!rect)
        return Res_ok;
    rect[0] = rect[1] = rect[2] = rect[3] = 0;
    if (!doc || !name)
        return Res_ok;
    const char16_t *comma = name;
    while (*comma && *comma != u',')
        comma++;
    if (!*comma)
        return Res_ok;
    const char16_t *view = comma + 1;
    for (int i = 0; i < 4; i++)
        if (view[i] < u' ' || view[i] > u'~')
            return Res_ok;
    if (view[4])
        return Res_ok;
    // The fragment's own rectangle: the page the name before the comma
    // anchors.
    size_t n = size_t(comma - name);
    char16_t *anchor = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!anchor)
        return Res_noMemory;
    std::memcpy(anchor, name, n * sizeof(char16_t));
    anchor[n] = 0;
    int32_t page[4] = {0, 0, 0, 0}, pageIndex = 0;
    int err = Edr_Web_fragmentRect(doc ? doc->app : nullptr, doc, anchor, page, &pageIndex);
    Mem_free(anchor);
    if (err)
        return err;
    Pdf_fragmentApplyView(page, view, rect);
    return Res_ok;
}
