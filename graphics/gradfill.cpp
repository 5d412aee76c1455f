// Gradient fills: direction, working stops (colours, presets, shade-derived
// second colour), the header by fill kind and the placing of the stops.
#include "graphics/gradfill.h"

#include <cstdlib>

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

struct PresetStop {
    int32_t position; // 16.16
    uint32_t rgb;     // 0xRRGGBB
};

struct Preset {
    uint32_t index;
    uint32_t count;
    PresetStop stops[10];
};

// Each preset: its index, stop count and stops {16.16 position, 0xRRGGBB}.
// clang-format off
constexpr Preset kPresets[] = {
    {136, 5, {{0x0000, 0x000082}, {0x4CCD, 0x66008F}, {0xA666, 0xBA0066}, {0xE666, 0xFF0000}, {0x10000, 0xFF8200}}},
    {137, 6, {{0x0000, 0x000000}, {0x3333, 0x000040}, {0x8000, 0x400040}, {0xC000, 0x8F0040}, {0xE666, 0xF27300}, {0x10000, 0xFFBF00}}},
    {138, 5, {{0x0000, 0x000000}, {0x6666, 0x0A128C}, {0xB333, 0x181CC7}, {0xE148, 0x7005D4}, {0x10000, 0x8C3D91}}},
    {139, 4, {{0x0000, 0x5E9EFF}, {0x6666, 0x85C2FF}, {0xB333, 0xC4D6EB}, {0x10000, 0xFFEBFA}}},
    {140, 10, {{0x0000, 0xDCEBF5}, {0x147B, 0x83A7C3}, {0x2148, 0x768FB9}, {0x35C3, 0x83A7C3}, {0x851F, 0xFFFFFF}, {0x8F5C, 0x9C6563}, {0x947B, 0x80302D}, {0xB5C3, 0xC0524E}, {0xF0A4, 0xEBDAD4}, {0x10000, 0x55261C}}},
    {141, 8, {{0x0000, 0xFC9FCB}, {0x2148, 0xF8B049}, {0x35C3, 0xF8B049}, {0xA148, 0xFEE7F2}, {0xAB85, 0xF952A0}, {0xB0A4, 0xC50849}, {0xD1EC, 0xB43E85}, {0x10000, 0xF8B049}}},
    {142, 4, {{0x0000, 0x03D4A8}, {0x4000, 0x21D6E0}, {0xC000, 0x0087E6}, {0x10000, 0x005CBF}}},
    {143, 6, {{0x0000, 0xCCCCFF}, {0x2E14, 0x99CCFF}, {0x5C29, 0x9966FF}, {0x9C29, 0xCC99FF}, {0xD1EC, 0x99CCFF}, {0x10000, 0xCCCC0F}}},
    {144, 4, {{0x0000, 0xFFF200}, {0x7333, 0xFF7A00}, {0xB333, 0xFF0300}, {0x10000, 0x4D0808}}},
    {145, 4, {{0x8000, 0x8488C4}, {0x87AE, 0xD4DEFF}, {0xD47B, 0xD4DEFF}, {0x10000, 0x96AB94}}},
    {146, 3, {{0x0000, 0xDDEBCF}, {0x8000, 0x9CB86E}, {0x10000, 0x156B13}}},
    {147, 7, {{0x0000, 0x3399FF}, {0x28F6, 0x00CCCC}, {0x7852, 0x9999FF}, {0x999A, 0x2E6792}, {0xB5C3, 0x3333CC}, {0xCF5C, 0x1170FF}, {0x10000, 0x006699}}},
    {148, 6, {{0x0000, 0xFBEAC7}, {0x2E14, 0xFEE7F2}, {0x5C29, 0xFAC77D}, {0x9C29, 0xFBA97D}, {0xD1EC, 0xFBD49C}, {0x10000, 0xFEE7F2}}},
    {149, 3, {{0x0000, 0xFFEFD1}, {0xA666, 0xF0EBD5}, {0x10000, 0xD1C39F}}},
    {150, 4, {{0x0000, 0xD6B19C}, {0x4CCD, 0xD49E6C}, {0xB333, 0xA65528}, {0x10000, 0x663012}}},
    {151, 7, {{0x0000, 0xA603AB}, {0x35C3, 0x0819FB}, {0x599A, 0x1A8D48}, {0x851F, 0xFFFF00}, {0xBAE1, 0xEE3F17}, {0xE148, 0xE81766}, {0x10000, 0xA603AB}}},
    {152, 5, {{0x0000, 0xFF3399}, {0x4000, 0xFF6633}, {0x8000, 0xFFFF00}, {0xC000, 0x01A78F}, {0x10000, 0x3366FF}}},
    {153, 6, {{0x0000, 0xE6DCAC}, {0x1EB8, 0xE6D78A}, {0x4CCD, 0xC7AC4C}, {0x7333, 0xE6D78A}, {0xC51F, 0xC7AC4C}, {0x10000, 0xE6DCAC}}},
    {154, 8, {{0x0000, 0xFBE4AE}, {0x2148, 0xBD922A}, {0x35C3, 0xBD922A}, {0xA148, 0xFBE4AE}, {0xAB85, 0xBD922A}, {0xB0A4, 0x835E17}, {0xD1EC, 0xA28949}, {0x10000, 0xFAE3B7}}},
    {155, 8, {{0x0000, 0x825600}, {0x2148, 0xFFA800}, {0x47AE, 0x825600}, {0x6E14, 0xFFA800}, {0x947B, 0x825600}, {0xB852, 0xFFA800}, {0xDEB8, 0x825600}, {0x10000, 0xFFA800}}},
    {156, 9, {{0x0000, 0xFFFFFF}, {0x28F6, 0x1F1F1F}, {0x2E14, 0xFFFFFF}, {0x6B85, 0x636363}, {0x87AE, 0xCFCFCF}, {0xA8F6, 0xCFCFCF}, {0xC28F, 0x1F1F1F}, {0xCA3D, 0xFFFFFF}, {0x10000, 0x7F7F7F}}},
    {157, 8, {{0x0000, 0xCBCBCB}, {0x2148, 0x5F5F5F}, {0x35C3, 0x5F5F5F}, {0xA148, 0xFFFFFF}, {0xAB85, 0xB2B2B2}, {0xB0A4, 0x292929}, {0xD1EC, 0x777777}, {0x10000, 0xEAEAEA}}},
    {158, 6, {{0x0000, 0xFFFFFF}, {0x11EC, 0xE6E6E6}, {0x51EC, 0x7D8496}, {0x7852, 0xE6E6E6}, {0xD99A, 0x7D8496}, {0x10000, 0xE6E6E6}}},
    {159, 8, {{0x0000, 0x000082}, {0x2148, 0x0047FF}, {0x47AE, 0x000082}, {0x6E14, 0x0047FF}, {0x947B, 0x000082}, {0xB852, 0x0047FF}, {0xDEB8, 0x000082}, {0x10000, 0x0047FF}}},
};
// clang-format on

static_assert(sizeof(kPresets) / sizeof(kPresets[0]) == FillPreset_last - FillPreset_first + 1);

constexpr int32_t kOne = 0x10000;

uint32_t rgba(const uint8_t c[4])
{
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}

uint32_t fromRgb(uint32_t rgb)
{
    return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16 | 0xFF000000u;
}

const Preset *findPreset(uint32_t index)
{
    if (index < FillPreset_first || index > FillPreset_last)
        return nullptr;
    return &kPresets[index - FillPreset_first];
}

// The header of the gradient by fill kind; false for kinds without one.
bool setHeader(Gradient *g, const FillSettings *s)
{
    switch (s->kind) {
    case FillKind_focus:
        g->mode = 1;
        g->end[0] = g->end[1] = kOne;
        g->start[0] = kOne - s->focusX;
        g->start[1] = kOne - s->focusY;
        return true;
    case FillKind_centre:
        g->mode = 1;
        g->end[0] = g->end[1] = kOne / 2;
        return true;
    case FillKind_linear:
        g->mode = 0;
        switch (s->focusCorner) {
        case 0: g->end[1] = kOne; break;
        case 1: g->end[0] = g->end[1] = kOne; break;
        case 2: g->end[0] = kOne; break;
        case 3:
            g->start[0] = kOne;
            g->end[1] = kOne;
            break;
        default: break;
        }
        return true;
    default: return false;
    }
}

// The stops before placing: from the caller, or colour 1, the preset's
// stops and the last colour.
void workingStops(const FillSettings *s, const Preset *preset, StopEntry *w, int32_t n)
{
    if (s->stops && s->stopCount) {
        // Positions are clamped first so that the mirrored forms stay in range.
        for (int32_t k = 0; k < n; k++) {
            int32_t p = s->stops[k].position;
            w[k] = StopEntry{p < 0 ? 0 : (p > kOne ? kOne : p), s->stops[k].value};
        }
        return;
    }
    w[0] = StopEntry{0, rgba(s->colour1)};
    if (preset)
        for (int32_t k = 0; k + 1 < n; k++)
            w[k] = StopEntry{preset->stops[k].position, fromRgb(preset->stops[k].rgb)};
    uint32_t last = s->flags & FillFlag_shadeColour
                        ? Fill_shadeColour(s->colour1, s->shade, s->colour2[3])
                        : rgba(s->colour2);
    w[n - 1] = StopEntry{kOne, last};
}

int placeStops(Gradient *g, const StopEntry *w, int32_t n, uint32_t d, uint32_t corner)
{
    const int32_t m = g->count;
    int err = Res_ok;
    auto put = [&](int32_t index, int32_t position, uint32_t colour) {
        if (!err)
            err = Gradient_setStop(g, index, StopEntry{position, colour});
    };
    if (d == 0) {
        for (int32_t k = 0; k < n; k++)
            put(n - 1 - k, kOne - w[k].position, w[k].value);
    } else if (d == 2) {
        for (int32_t k = 0; k < n; k++)
            put(k, w[k].position, w[k].value);
    } else if ((d == 1) == (corner == 0)) {
        // Mirrored around the middle: the stops run out to the centre and back.
        for (int32_t k = 0; k < n; k++)
            put(k, w[k].position / 2, w[k].value);
        for (int32_t k = 0; k + 1 < n; k++)
            put(m - 1 - k, kOne - w[k].position / 2, w[k].value);
    } else {
        // Mirrored the other way: the stops run from the centre out.
        for (int32_t k = 0; k < n; k++)
            put(n - 1 + k, w[k].position / 2 + kOne / 2, w[k].value);
        for (int32_t k = 1; k < n; k++)
            put(n - 1 - k, kOne - (w[k].position / 2 + kOne / 2), w[k].value);
    }
    return err;
}

} // namespace

uint32_t Fill_direction(int32_t angle)
{
    int32_t q = angle >= 0 ? (angle + 25) / 50 : (angle - 25) / 50;
    return uint32_t(((q % 4) + 4) % 4);
}

uint32_t Fill_shadeColour(const uint8_t colour1[4], uint32_t shade, uint8_t alpha)
{
    const int32_t t = int32_t(shade >> 16 & 0xFF);
    const int32_t x = (shade >> 8 & 0xFF) == 2 ? 512 - t : t;
    const int32_t v = 512 - x;
    uint32_t out = uint32_t(alpha) << 24;
    for (int i = 0; i < 3; i++) {
        int32_t c = colour1[i], r;
        if (v >= 256)
            r = (c * std::abs(512 - v)) >> 8; // darker: colour 1 scaled by x / 256
        else
            r = ((256 - v) * 255 + v * c) >> 8; // lighter: toward white by (256 - v) / 256
        out |= uint32_t(r > 255 ? 255 : r) << (8 * i);
    }
    return out;
}

int Fill_buildGradient(const FillSettings *s, Gradient **out)
{
    *out = nullptr;
    Gradient *g = nullptr;
    const Preset *preset = s->stops && s->stopCount ? nullptr : findPreset(s->preset);
    const uint32_t d = Fill_direction(s->angle);
    int32_t n = 2;
    if (s->stops && s->stopCount)
        n = s->stopCount > uint32_t(StopList_maxStops) ? StopList_maxStops + 1
                                                       : int32_t(s->stopCount);
    else if (preset)
        n = int32_t(preset->count);
    if (s->kind != FillKind_focus && s->kind != FillKind_centre && s->kind != FillKind_linear)
        return Res_ok;
    if (n < StopList_minStops || n > StopList_maxStops)
        return Res_stopCountInvalid;
    const int32_t m = d == 1 || d == 3 ? 2 * n - 1 : n;
    int err = Gradient_create(&g, m);
    if (err)
        return err;
    StopEntry *w = static_cast<StopEntry *>(Mem_malloc(size_t(n) * sizeof(StopEntry)));
    if (!w) {
        Gradient_free(g);
        return Res_noMemory;
    }
    workingStops(s, preset, w, n);
    w[n - 1].position = kOne;
    setHeader(g, s);
    err = placeStops(g, w, n, d, s->focusCorner);
    Mem_free(w);
    if (err) {
        Gradient_free(g);
        return err;
    }
    *out = g;
    return Res_ok;
}
