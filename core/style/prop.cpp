// Property values: construction, deep copy, release, equality and text.
//
// Copy, release and equality dispatch on the payload type; the owned
// record types hand over to their own modules. Arithmetic on 16.16 values
// is done in 64 bits so that no length, however large, wraps on its way to
// pixels.
#include "core/style/prop.h"
#include "core/style/triple.h"

#include <cstring>

#include "core/geom/matrix.h"
#include "core/geom/tabstops.h"
#include "core/container/stoplist.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/style/proprecords.h"
#include "core/text/fmt.h"
#include "core/text/ustr.h"

namespace {

template <typename T> T *payloadAs(const Prop *v)
{
    return reinterpret_cast<T *>(v->payload);
}

uintptr_t wordOf(const void *p)
{
    return reinterpret_cast<uintptr_t>(p);
}

bool isFixedText(uint16_t type)
{
    return type == PropType_em || type == PropType_ex || type == PropType_inches ||
           type == PropType_percent;
}

const char *suffixOf(uint16_t type)
{
    switch (type) {
    case PropType_length: return "px";
    case PropType_em: return "Em";
    case PropType_ex: return "Ex";
    case PropType_inches: return "in";
    case PropType_percent: return "%";
    default: return "";
    }
}

// Pixels at 96 per inch of a 16.16 length in inches, nudged by 48/65536
// away from zero and truncated toward zero.
int64_t lengthToPixels(int32_t v)
{
    int64_t w = v;
    return v >= 0 ? (96 * (w + 48)) / 65536 : (96 * (w - 48)) / 65536;
}

// Widens an 8-bit text to a new 16-bit string; null for empty text.
char16_t *widen(const char *text, int n)
{
    if (n <= 0)
        return nullptr;
    return Ustr_fromCstr(text);
}

int copyUstr(Prop *dst, const Prop *src)
{
    const char16_t *s = payloadAs<const char16_t>(src);
    if (!s)
        return 0;
    size_t n = src->payload2;
    char16_t *copy = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!copy)
        return Res_noMemory;
    memcpy(copy, s, n * sizeof(char16_t));
    copy[n] = 0;
    dst->payload = wordOf(copy);
    dst->payload2 = src->payload2;
    return 0;
}

int copyMatrix(Prop *dst, const Prop *src)
{
    const Matrix *m = payloadAs<const Matrix>(src);
    if (!m)
        return 0;
    Matrix *copy = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
    if (!copy)
        return Res_noMemory;
    *copy = *m;
    dst->payload = wordOf(copy);
    return 0;
}

int copyCounted(Prop *dst, const Prop *src)
{
    PropCounted *obj = payloadAs<PropCounted>(src);
    int err = PropCounted_addRef(obj);
    if (err)
        return err;
    dst->payload = src->payload;
    dst->payload2 = src->payload2;
    return 0;
}

// Copies an owned record through its module's copy routine.
template <typename T, int (*copyFn)(T **, const T *)> int copyRecord(Prop *dst, const Prop *src)
{
    T *copy = nullptr;
    int err = copyFn(&copy, payloadAs<const T>(src));
    if (err)
        return err;
    dst->payload = wordOf(copy);
    return 0;
}

bool equalUstr(const Prop *a, const Prop *b)
{
    if (a->payload2 != b->payload2)
        return false;
    if (a->payload2 == 0)
        return true;
    const char16_t *sa = payloadAs<const char16_t>(a), *sb = payloadAs<const char16_t>(b);
    if (!sa || !sb)
        return sa == sb;
    return memcmp(sa, sb, a->payload2 * sizeof(char16_t)) == 0;
}

} // namespace

// ---------------------------------------------------------- constructors

void Prop_clear(Prop *v)
{
    v->id = 0;
    v->type = 0;
    v->flags = 0;
}

void Prop_zero(Prop *v)
{
    *v = Prop{};
}

void Prop_set(Prop *v, uint32_t id, uint16_t type, uintptr_t word, uint32_t payload2)
{
    v->id = id;
    v->type = type;
    v->flags = 0;
    v->payload = word;
    v->payload2 = payload2;
}

void Prop_setType(Prop *v, uint32_t id, uint16_t type)
{
    v->id = id;
    v->type = type;
    v->flags = 0;
}

void Prop_setWord(Prop *v, uint32_t id, uint16_t type, uint32_t word)
{
    v->id = id;
    v->type = type;
    v->flags = 0;
    v->payload = word;
}

void Prop_setInt(Prop *v, uint32_t id, int32_t n)
{
    Prop_setWord(v, id, PropType_int, static_cast<uint32_t>(n));
}

void Prop_setLength(Prop *v, uint32_t id, int32_t length)
{
    Prop_setWord(v, id, PropType_length, static_cast<uint32_t>(length));
}

void Prop_setUstr(Prop *v, uint32_t id, char16_t *s, uint32_t length)
{
    Prop_set(v, id, PropType_ustr, wordOf(s), length);
}

void Prop_setColour(Prop *v, uint32_t id, const uint8_t *rgba)
{
    uint32_t word = static_cast<uint32_t>(rgba[0]) | static_cast<uint32_t>(rgba[1]) << 8 |
                    static_cast<uint32_t>(rgba[2]) << 16 | static_cast<uint32_t>(rgba[3]) << 24;
    Prop_setWord(v, id, PropType_colour, word);
}

void Prop_setMatrix(Prop *v, uint32_t id, Matrix *m)
{
    v->id = id;
    v->type = PropType_matrix;
    v->flags = 0;
    v->payload = wordOf(m);
}

void Prop_set136(Prop *v, uint16_t type, uint32_t word)
{
    Prop_setWord(v, PropId_shape, type, word);
}

void Prop_set105(Prop *v, TabStopList *stops)
{
    Prop_set(v, PropId_tabStops, PropType_tabStops, wordOf(stops), 0);
}

void Prop_set109(Prop *v, StopList *stops)
{
    Prop_set(v, PropId_backgroundStops, PropType_stops, wordOf(stops), 0);
}

void Prop_set94(Prop *v, PropColumns *columns)
{
    Prop_set(v, PropId_columns, PropType_columns, wordOf(columns), 0);
}

void Prop_set110(Prop *v, PropLineSpacing *spacing)
{
    Prop_set(v, PropId_lineSpacing, PropType_lineSpacing, wordOf(spacing), 0);
}

void Prop_set111(Prop *v, Prop18 *record)
{
    Prop_set(v, PropId_boxRecord, PropType_record111, wordOf(record), 0);
}

// ------------------------------------------------------------ accessors

uint32_t Prop_getId(const Prop *v)
{
    return v->id;
}

uint16_t Prop_getType(const Prop *v)
{
    return v->type;
}

uintptr_t Prop_getPayload(const Prop *v)
{
    return v->payload;
}

int32_t Prop_getInt(const Prop *v)
{
    return static_cast<int32_t>(static_cast<uint32_t>(v->payload));
}

int32_t Prop_getLength(const Prop *v)
{
    return Prop_getInt(v);
}

uint32_t Prop_getColour(const Prop *v)
{
    return static_cast<uint32_t>(v->payload);
}

void *Prop_getPointer(const Prop *v)
{
    return reinterpret_cast<void *>(v->payload);
}

uint32_t Prop_getPayload2(const Prop *v)
{
    return v->payload2;
}

char16_t *Prop_dupUstr(const Prop *v)
{
    if (v->type != PropType_ustr || !v->payload)
        return nullptr;
    Prop copy{};
    if (copyUstr(&copy, v) != 0)
        return nullptr;
    return payloadAs<char16_t>(&copy);
}

void Prop_setFlags(Prop *v, uint16_t bits, uint16_t mask)
{
    v->flags = static_cast<uint16_t>((v->flags & ~mask) | bits);
}

int Prop_testFlags(const Prop *v, uint16_t bits)
{
    return (v->flags & bits) != 0 ? 1 : 0;
}

// ------------------------------------------------------------- lifetime

int Prop_copy(Prop *dst, const Prop *src)
{
    dst->id = src->id;
    dst->type = src->type;
    dst->flags = src->flags;
    dst->payload = 0;
    dst->payload2 = 0;
    switch (src->type) {
    case PropType_int:
    case PropType_length:
    case PropType_em:
    case PropType_ex:
    case PropType_inches:
    case PropType_percent:
    case PropType_colour: dst->payload = src->payload; return 0;
    case PropType_ustr: return copyUstr(dst, src);
    case PropType_pointer:
        dst->payload = src->payload;
        dst->payload2 = src->payload2;
        return 0;
    case PropType_matrix: return copyMatrix(dst, src);
    case PropType_counted:
    case PropType_counted13: return copyCounted(dst, src);
    case PropType_tabStops: return copyRecord<TabStopList, TabStops_copy>(dst, src);
    case PropType_stops: return copyRecord<StopList, StopList_copy>(dst, src);
    case PropType_columns: return copyRecord<PropColumns, PropColumns_copy>(dst, src);
    case PropType_lineSpacing: return copyRecord<PropLineSpacing, Obj_copyTriple>(dst, src);
    case PropType_record111: return copyRecord<Prop18, Prop18_copy>(dst, src);
    default: return 0;
    }
}

void Prop_free(Prop *v)
{
    bool owned = true;
    switch (v->type) {
    case PropType_ustr:
    case PropType_matrix: Mem_free(payloadAs<void>(v)); break;
    case PropType_counted:
    case PropType_counted13: PropCounted_release(payloadAs<PropCounted>(v)); break;
    case PropType_tabStops: TabStops_free(payloadAs<TabStopList>(v)); break;
    case PropType_stops: StopList_free(payloadAs<StopList>(v)); break;
    case PropType_columns: PropColumns_free(payloadAs<PropColumns>(v)); break;
    case PropType_lineSpacing: Obj_freeTriple(payloadAs<PropLineSpacing>(v)); break;
    case PropType_record111: Prop18_free(payloadAs<Prop18>(v)); break;
    default: owned = false; break;
    }
    if (owned) {
        v->payload = 0;
        v->payload2 = 0;
    }
    v->type = 0;
}

int Prop_equal(const Prop *a, const Prop *b)
{
    if (a->id != b->id || a->type != b->type)
        return 0;
    switch (a->type) {
    case PropType_int:
    case PropType_length:
    case PropType_em:
    case PropType_ex:
    case PropType_inches:
    case PropType_percent:
    case PropType_colour: return a->payload == b->payload ? 1 : 0;
    case PropType_ustr: return equalUstr(a, b) ? 1 : 0;
    case PropType_pointer: return a->payload == b->payload && a->payload2 == b->payload2 ? 1 : 0;
    case PropType_matrix:
    case PropType_counted:
    case PropType_counted13:
    case PropType_stops: return 0;
    case PropType_tabStops:
        return TabStops_equal(payloadAs<const TabStopList>(a), payloadAs<const TabStopList>(b));
    case PropType_columns:
        return PropColumns_equal(payloadAs<const PropColumns>(a), payloadAs<const PropColumns>(b));
    case PropType_lineSpacing:
        return Obj_tripleEquals(payloadAs<const PropLineSpacing>(a),
                                payloadAs<const PropLineSpacing>(b));
    default: return 1;
    }
}

// ----------------------------------------------------------------- text

char16_t *Prop_formatFixed(int32_t v, int decimals)
{
    char buf[20];
    int n;
    if (decimals == 0) {
        n = Fmt_snprintf(buf, sizeof buf, "%d", static_cast<int>(v / 65536));
    } else {
        double d = static_cast<double>(static_cast<float>(v)) * (1.0 / 65536.0);
        n = Fmt_snprintf(buf, sizeof buf, "%.*f", decimals, d);
    }
    return widen(buf, n);
}

char16_t *Prop_formatColour(uint32_t colour)
{
    char buf[8];
    uint32_t rgb = (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
    int n = Fmt_snprintf(buf, sizeof buf, "#%.6x", rgb);
    return widen(buf, n);
}

char16_t *Prop_toText(const Prop *v)
{
    char16_t *text;
    if (v->type == PropType_int) {
        char buf[16];
        return widen(buf, Fmt_snprintf(buf, sizeof buf, "%d", Prop_getInt(v)));
    }
    if (v->type == PropType_colour)
        return Prop_formatColour(Prop_getColour(v));
    if (v->type == PropType_ustr)
        return Prop_dupUstr(v);
    if (v->type == PropType_length) {
        char buf[16];
        int n = Fmt_snprintf(buf, sizeof buf, "%d",
                             static_cast<int>(lengthToPixels(Prop_getLength(v))));
        text = widen(buf, n);
    } else if (isFixedText(v->type)) {
        text = Prop_formatFixed(Prop_getInt(v), 2);
    } else {
        return nullptr;
    }
    if (!text)
        return nullptr;
    char16_t *whole = Ustr_appendCstr(text, suffixOf(v->type));
    if (!whole)
        Mem_free(text);
    return whole;
}
