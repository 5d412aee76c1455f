// Client-side image maps: collecting maps, areas and uses, and turning
// each area of a used map into a linked child region of the image.
#include "html/imagemap.h"

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/path.h"
#include "html/attributes.h"
#include "html/parser.h"
#include "platform/api/request.h"
#include "platform/url/url.h"

namespace {

// The paint mode of drawn shapes, and its mode that fills without a line.
constexpr uint32_t kPropPaintMode = 125;
constexpr uint16_t kPaintFillOnly = 196;

bool isSpaceChar(char16_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char16_t lower(char16_t c)
{
    return c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c;
}

bool sameWord(const char16_t *t, size_t n, const char *word)
{
    size_t i = 0;
    for (; i < n && word[i]; i++)
        if (lower(t[i]) != char16_t(uint8_t(word[i])))
            return false;
    return i == n && !word[i];
}

// A pixel coordinate as 16.16 inches at 96 pixels per inch.
int32_t inches(int32_t pixels)
{
    return int32_t(int64_t(pixels) * 65536 / 96);
}

// The outline of an area into a new path (scale 0x10000), or
// Html_errBadCoords when the numbers do not fit the shape.
int buildPath(uint32_t shape, const int32_t *v, uint32_t n, Path **out)
{
    *out = nullptr;
    bool ok = shape == HtmlShape_rect     ? n == 4
              : shape == HtmlShape_circle ? n == 3
                                          : n >= 4 && n % 2 == 0;
    if (!ok)
        return Html_errBadCoords;
    Path *path = nullptr;
    int err = Path_create(&path, 0x10000);
    if (err)
        return err;
    if (shape == HtmlShape_circle) {
        int64_t r = v[2];
        Rect box{inches(int32_t(v[0] - r)), inches(int32_t(v[1] - r)), inches(int32_t(v[0] + r)),
                 inches(int32_t(v[1] + r))};
        int32_t cy = inches(v[1]);
        err = Path_addArc(path, &box, box.x1, cy, box.x1, cy);
    } else if (n == 4) {
        Rect box{inches(v[0]), inches(v[1]), inches(v[2]), inches(v[3])};
        err = Path_addRect(path, &box);
    } else {
        err = Path_moveTo(path, inches(v[0]), inches(v[1]));
        for (uint32_t i = 2; i + 1 < n && !err; i += 2)
            err = Path_lineTo(path, inches(v[i]), inches(v[i + 1]));
    }
    if (!err)
        err = Path_close(path);
    if (err) {
        Path_destroy(path);
        return err;
    }
    *out = path;
    return Res_ok;
}

// The area's title and target as attribute properties of node.
int setTexts(Edr_Doc *doc, Edr_Node *node, const HtmlMapArea *area)
{
    if (!area->title && !area->target)
        return Res_ok;
    StyleRule *list = nullptr;
    int err = StyleRule_create(&list);
    const struct {
        uint32_t id;
        const char16_t *text;
    } texts[2] = {{HtmlAttr_title, area->title}, {HtmlAttr_target, area->target}};
    for (const auto &t : texts) {
        if (err || !t.text)
            continue;
        Prop value{};
        Prop_set(&value, t.id, PropType_ustr, reinterpret_cast<uintptr_t>(t.text),
                 uint32_t(Ustr_len(t.text)));
        int changed = 0;
        err = StyleRule_setProp(list, &value, &changed);
    }
    if (!err && !(err = Edr_Node_setPropList0(doc, node, list)))
        list = nullptr;
    StyleRule_destroy(list);
    return err;
}

// One area under the image: its path in a child group with the next key
// of *counter, and the rule of that key. A shape error skips the area.
int applyArea(Edr_Doc *doc, Edr_Node *image, const HtmlMapArea *area, Request *sheet,
              uint32_t *counter)
{
    int32_t *numbers = nullptr;
    uint32_t count = 0;
    const char16_t *coords = area->coords ? area->coords : u"0,0,0,0";
    size_t length = area->coords ? area->coordsLength : 7;
    int err = Html_mapParseCoords(coords, length, &numbers, &count);
    if (err)
        return err;
    Path *path = nullptr;
    err = buildPath(area->shape, numbers, count, &path);
    Mem_free(numbers);
    if (err)
        return err == Html_errBadCoords ? Res_ok : err;
    Edr_Node *child = nullptr;
    err = Edr_Node_createGroup(doc, image, Edr_Insert_lastChild, HtmlEl_Area, &child);
    uint32_t key = *counter;
    if (!err)
        err = Edr_Node_addId(doc, child, key);
    StyleRule *rule = nullptr;
    if (!err)
        err = StyleRule_create(&rule);
    if (!err) {
        // Filled with the area colour, so the region takes pointer events.
        Prop colour{}, paint{};
        Prop_setWord(&colour, PropId_color, PropType_colour, 17);
        Prop_setType(&paint, kPropPaintMode, kPaintFillOnly);
        int changed = 0;
        StyleRule_setWeight(rule, 10);
        if (!(err = StyleRule_setProp(rule, &colour, &changed)) &&
            !(err = StyleRule_setProp(rule, &paint, &changed)) &&
            !(err = StyleRule_addMatch10(rule, key)))
            err = Request_addItem(sheet, &rule);
    }
    StyleRule_destroy(rule);
    if (!err)
        (*counter)++;
    if (!err) {
        err = Edr_Node_createPath(doc, child, Edr_Insert_lastChild, nullptr, path);
        if (!err)
            path = nullptr;
    }
    if (!err && area->url)
        err = Edr_Node_setUrl(doc, child, area->url);
    if (!err)
        err = setTexts(doc, child, area);
    Path_destroy(path);
    if (child)
        Edr_Node_release(doc, child);
    return err;
}

bool nameMatches(const HtmlMapUse *use, const HtmlMap *map)
{
    const char16_t *name = use->name;
    size_t n = use->nameLength;
    if (n && name[0] == '#') {
        name++;
        n--;
    }
    if (n != map->nameLength)
        return false;
    for (size_t i = 0; i < n; i++)
        if (name[i] != map->name[i])
            return false;
    return true;
}

} // namespace

int Html_mapNew(HtmlMap **maps, const char16_t *name, size_t length, HtmlMap **out)
{
    auto *map = static_cast<HtmlMap *>(Mem_calloc(1, sizeof(HtmlMap)));
    char16_t *copy = map ? Ustr_dupN(name, length) : nullptr;
    if (!copy) {
        Mem_free(map);
        return Res_noMemory;
    }
    map->name = copy;
    // The copy ends at a NUL inside the name.
    map->nameLength = Ustr_len(copy);
    HtmlMap **tail = maps;
    while (*tail)
        tail = &(*tail)->next;
    *tail = map;
    if (out)
        *out = map;
    return Res_ok;
}

int Html_mapAddArea(HtmlMap *map)
{
    auto *area = static_cast<HtmlMapArea *>(Mem_calloc(1, sizeof(HtmlMapArea)));
    if (!area)
        return Res_noMemory;
    area->shape = HtmlShape_rect;
    if (map->last)
        map->last->next = area;
    else
        map->first = area;
    map->last = area;
    return Res_ok;
}

int Html_mapUseNew(HtmlMapUse **uses, Edr_Doc *doc, Edr_Node *image, const char16_t *name,
                   size_t length)
{
    auto *use = static_cast<HtmlMapUse *>(Mem_calloc(1, sizeof(HtmlMapUse)));
    char16_t *copy = use ? Ustr_dupN(name, length) : nullptr;
    if (!copy) {
        Mem_free(use);
        return Res_noMemory;
    }
    int err = Edr_Node_acquire(doc, image, &use->image);
    if (err) {
        Mem_free(copy);
        Mem_free(use);
        return err;
    }
    use->name = copy;
    use->nameLength = Ustr_len(copy);
    use->next = *uses;
    *uses = use;
    return Res_ok;
}

uint32_t Html_mapShapeCode(const char16_t *text, size_t length)
{
    if (sameWord(text, length, "default"))
        return HtmlShape_default;
    if (sameWord(text, length, "rect") || sameWord(text, length, "rectangle"))
        return HtmlShape_rect;
    if (sameWord(text, length, "circ") || sameWord(text, length, "circle"))
        return HtmlShape_circle;
    if (sameWord(text, length, "poly") || sameWord(text, length, "polygon"))
        return HtmlShape_poly;
    return 0;
}

int Html_mapParseCoords(const char16_t *text, size_t length, int32_t **out, uint32_t *count)
{
    *out = nullptr;
    *count = 0;
    uint32_t capacity = 0, n = 0;
    int32_t *v = nullptr;
    size_t i = 0;
    auto push = [&](int32_t x) {
        if (n == capacity) {
            uint32_t grown = capacity ? capacity * 2 : 8;
            auto *bigger = static_cast<int32_t *>(Mem_realloc(v, grown * sizeof(int32_t)));
            if (!bigger)
                return false;
            v = bigger;
            capacity = grown;
        }
        v[n++] = x;
        return true;
    };
    while (text && i < length) {
        while (i < length && isSpaceChar(text[i]))
            i++;
        if (i >= length)
            break;
        // One item: up to the next comma or white space.
        size_t start = i;
        while (i < length && text[i] != ',' && !isSpaceChar(text[i]))
            i++;
        int64_t x = 0;
        size_t k = start;
        bool negative = k < i && text[k] == '-';
        if (negative || (k < i && text[k] == '+'))
            k++;
        for (; k < i && text[k] >= '0' && text[k] <= '9'; k++)
            if (x < 0x7FFFFFFF)
                x = x * 10 + (text[k] - '0');
        if (x > 0x7FFFFFFF)
            x = 0x7FFFFFFF;
        bool empty = start == i;
        if (!push(empty ? 0 : int32_t(negative ? -x : x))) {
            Mem_free(v);
            return Res_noMemory;
        }
        while (i < length && isSpaceChar(text[i]))
            i++;
        if (i < length && text[i] == ',')
            i++;
        // A comma right after this one is an empty item.
        if (i < length && text[i] == ',' && !push(0)) {
            Mem_free(v);
            return Res_noMemory;
        }
        if (i < length && text[i] == ',')
            i++;
    }
    *out = v;
    *count = n;
    return Res_ok;
}

int Html_mapApply(Edr_Doc *doc, HtmlMapUse *uses, HtmlMap *maps, Request *sheet, uint32_t *counter)
{
    static const uint32_t order[4] = {HtmlShape_default, HtmlShape_rect, HtmlShape_circle,
                                      HtmlShape_poly};
    for (HtmlMapUse *use = uses; use; use = use->next) {
        for (HtmlMap *map = maps; map; map = map->next) {
            if (!nameMatches(use, map))
                continue;
            for (uint32_t shape : order)
                for (HtmlMapArea *area = map->first; area; area = area->next)
                    if (area->shape == shape)
                        if (int err = applyArea(doc, use->image, area, sheet, counter))
                            return err;
        }
    }
    return Res_ok;
}

void Html_mapListFree(HtmlMap *maps)
{
    while (maps) {
        HtmlMap *next = maps->next;
        for (HtmlMapArea *a = maps->first; a;) {
            HtmlMapArea *an = a->next;
            Url_free(a->url);
            Mem_free(a->title);
            Mem_free(a->target);
            Mem_free(a->coords);
            Mem_free(a);
            a = an;
        }
        Mem_free(maps->name);
        Mem_free(maps);
        maps = next;
    }
}

void Html_mapUseListFree(Edr_Doc *doc, HtmlMapUse *uses)
{
    while (uses) {
        HtmlMapUse *next = uses->next;
        Edr_Node_release(doc, uses->image);
        Mem_free(uses->name);
        Mem_free(uses);
        uses = next;
    }
}
