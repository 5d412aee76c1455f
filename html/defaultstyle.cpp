// Turns the default-style tables into style rules.
#include "html/defaultstyle.h"

#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "platform/api/request.h"

namespace {

int hasBit(const uint8_t *bits, uint32_t id)
{
    return (bits[id >> 3] >> (id & 7)) & 1;
}

void setBit(uint8_t *bits, uint32_t id)
{
    bits[id >> 3] = uint8_t(bits[id >> 3] | 1u << (id & 7));
}

// The okalawidget rule that form controls share: display inherit.
constexpr uint32_t kWidgetDisplay = 29;

} // namespace

int Html_addDefaultProp(uint32_t index, StyleRule *rule)
{
    if (index >= Html_defaultPropCount || !rule)
        return Html_errBadDefaultProp;
    const HtmlDefaultProp &d = Html_defaultProps[index];
    Prop value{};
    switch (d.kind) {
    case HtmlDefKind_int: Prop_setInt(&value, uint32_t(d.id), int32_t(d.value)); break;
    case HtmlDefKind_keyword: Prop_setType(&value, uint32_t(d.id), uint16_t(d.value)); break;
    case HtmlDefKind_string:
        if (d.id != PropId_fontFamily)
            return Res_ok;
        // The copy made by the rule owns its text; the table's text is lent.
        Prop_set(&value, uint32_t(d.id), PropType_ustr, reinterpret_cast<uintptr_t>(u"monospace"),
                 9);
        break;
    case HtmlDefKind_length: Prop_setLength(&value, uint32_t(d.id), int32_t(d.value)); break;
    case HtmlDefKind_em: Prop_setWord(&value, uint32_t(d.id), PropType_em, d.value); break;
    case HtmlDefKind_colour: {
        const uint8_t rgba[4] = {uint8_t(d.value), uint8_t(d.value >> 8), uint8_t(d.value >> 16),
                                 uint8_t(d.value >> 24)};
        Prop_setColour(&value, uint32_t(d.id), rgba);
        break;
    }
    case 0:
        // An empty record adds nothing.
        return Res_ok;
    default: return Html_errBadDefaultProp;
    }
    return StyleRule_appendPropOnce(rule, &value);
}

int Html_applyDefaultStyle(HtmlParser *p, uint32_t id)
{
    if (id > Html_elementCount || hasBit(p->styled, id))
        return Res_ok;
    setBit(p->styled, id);
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    if (err)
        return err;
    for (uint32_t i = 1; i < Html_defaultRowBytes && Html_defaultRows[id][i] != 0xFF && !err; i++)
        err = Html_addDefaultProp(Html_defaultRows[id][i], rule);
    // Form controls share the okalawidget rule, added with the first one.
    if (!err && Html_inSet(HtmlSet_formControl, id) && !hasBit(p->styled, HtmlEl_Okalawidget)) {
        StyleRule *widget = nullptr;
        err = StyleRule_create(&widget);
        if (!err && !(err = Html_addDefaultProp(kWidgetDisplay, widget)) &&
            !(err = StyleRule_addMatch1(widget, HtmlEl_Okalawidget)))
            err = Request_addItem(p->styles, &widget);
        StyleRule_destroy(widget);
        if (!err)
            setBit(p->styled, HtmlEl_Okalawidget);
    }
    if (!err && !StyleRule_hasNoProps(rule) && !(err = StyleRule_addMatch1(rule, id)))
        err = Request_addItem(p->styles, &rule);
    StyleRule_destroy(rule);
    return err;
}

int Html_addLinkColour(Request *request, uint32_t state, const uint8_t rgba[4])
{
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    if (err)
        return err;
    Prop colour{}, underline{};
    Prop_setColour(&colour, PropId_color, rgba);
    Prop_setType(&underline, PropId_textDecoration, KwId_underline);
    if (!(err = StyleRule_addMatch(rule, HtmlEl_A, state, 11)) &&
        !(err = StyleRule_appendProp(rule, &colour)) &&
        !(err = StyleRule_appendProp(rule, &underline)))
        err = Request_addItem(request, &rule);
    StyleRule_destroy(rule);
    return err;
}

int Html_addDefaultLinkColours(Request *request)
{
    static const uint8_t blue[4] = {0, 0, 0xFF, 0xFF}, purple[4] = {0x80, 0, 0x80, 0xFF};
    int err = Html_addLinkColour(request, 8, blue);
    return err ? err : Html_addLinkColour(request, 16, purple);
}
