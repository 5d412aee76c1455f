// Vector paths: building, copying, transforming, packing and unpacking.
//
// Every outline of the engine is built here as a flat buffer of opcode and
// point words. Appends grow the buffer by doubling; the packed form keeps
// each element's points as deltas in the fewest of 4 to 32 bits, for the
// caches and documents that keep many outlines for a long time.
#include "graphics/path.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/vector.h"

namespace {

// Buffers stay below 2^30 words, so word counts, byte sizes and the ten
// times reserve of a packed path all fit their types.
constexpr uint64_t maxWords = uint64_t(1) << 30;

// The cubic control distance of a quarter circle of radius 1:
// 4/3 x (sqrt(2) - 1) to eight decimals.
constexpr double quarterK = 0.55228475;

inline int32_t wrapAdd(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

inline int32_t wrapSub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}

inline size_t usedWords(const Path *path)
{
    return path->buffer ? size_t(path->write - path->buffer) : 0;
}

// Moves the buffer to a block of `words` words (contents kept up to the
// smaller size) and re-bases the pointers into it. 0 or 1 (unchanged).
int resizeBuffer(Path *path, uint64_t words)
{
    if (words == 0 || words > maxWords)
        return Res_noMemory;
    size_t used = usedWords(path);
    ptrdiff_t sub = path->subpathStart ? path->subpathStart - path->buffer : -1;
    int32_t *fresh =
        static_cast<int32_t *>(Mem_realloc(path->buffer, size_t(words) * sizeof(int32_t)));
    if (!fresh)
        return Res_noMemory;
    path->buffer = fresh;
    path->write = fresh + used;
    path->subpathStart = sub >= 0 ? fresh + sub : nullptr;
    path->capacity = uint32_t(words);
    return Res_ok;
}

// Makes room for `words` more words, growing only when they do not fit.
inline int ensureRoom(Path *path, uint32_t words)
{
    if (usedWords(path) + words <= path->capacity)
        return Res_ok;
    return Path_grow(path, words);
}

// Appends an element of opcode op and n points (x, y pairs in pts).
int appendElement(Path *path, uint32_t op, const int32_t *pts, uint32_t n, uint32_t newState)
{
    int r = ensureRoom(path, 1 + 2 * n);
    if (r != Res_ok)
        return r;
    int32_t *w = path->write;
    w[0] = int32_t(op);
    for (uint32_t i = 0; i < 2 * n; i++)
        w[1 + i] = pts[i];
    path->write = w + 1 + 2 * n;
    path->count++;
    path->state = newState;
    return Res_ok;
}

// Appends an element that needs a current point.
int appendDrawing(Path *path, uint32_t op, const int32_t *pts, uint32_t n, uint32_t newState)
{
    if (path->state == Path_stateEmpty || path->state == Path_statePacked)
        return Res_pathNoCurrentPoint;
    return appendElement(path, op, pts, n, newState);
}

void dropTrailingMove(Path *path)
{
    if (path->state != Path_stateMove || usedWords(path) < 3)
        return;
    path->write -= 3;
    path->count--;
    path->subpathStart = nullptr;
    path->state = Path_stateEmpty;
}

// ------------------------------------------------------------------ arcs

// The ellipse as a circle of radius r: points map into circle space by
// scaling x by fx and y by fy about the centre, and back.
struct ArcSpace {
    int64_t cx, cy;
    double fx, fy;
};

inline int32_t clampToInt32(double v)
{
    if (!(v > -2147483648.0))
        return INT32_MIN;
    if (v >= 2147483647.0)
        return INT32_MAX;
    return int32_t(v); // truncates toward zero
}

inline Point toCircle(const ArcSpace &s, int32_t x, int32_t y)
{
    return Point{clampToInt32(double(x - s.cx) * s.fx), clampToInt32(double(y - s.cy) * s.fy)};
}

inline void fromCircle(const ArcSpace &s, double x, double y, int32_t *out)
{
    out[0] = clampToInt32(x / s.fx + double(s.cx));
    out[1] = clampToInt32(y / s.fy + double(s.cy));
}

int arcCurve(Path *path, const ArcSpace &s, double c1x, double c1y, double c2x, double c2y,
             double x, double y)
{
    int32_t p[6];
    fromCircle(s, c1x, c1y, p);
    fromCircle(s, c2x, c2y, p + 2);
    fromCircle(s, x, y, p + 4);
    return Path_curveTo(path, p[0], p[1], p[2], p[3], p[4], p[5]);
}

// A move when the path has no current point, else a line.
int moveOrLine(Path *path, int32_t x, int32_t y)
{
    if (path->state == Path_stateEmpty)
        return Path_moveTo(path, x, y);
    return Path_lineTo(path, x, y);
}

int arcAsLines(Path *path, int32_t sx, int32_t sy, int32_t ex, int32_t ey)
{
    int r = moveOrLine(path, sx, sy);
    return r != Res_ok ? r : Path_lineTo(path, ex, ey);
}

// B lies within the next quarter turn from P: P.B >= 0 and P x B > 0. The
// products of 32-bit values fit 64 bits; comparing them instead of summing
// them keeps the test exact.
inline bool withinQuarter(int64_t px, int64_t py, int64_t bx, int64_t by)
{
    return px * bx >= -(py * by) && px * by > py * bx;
}

// ---------------------------------------------------------------- packing

// The width code (w / 4) of the narrowest field that holds every delta:
// m < 2^(w-1) with m = d for d >= 0 and -d-1 for d < 0.
uint32_t widthCode(const int32_t *deltas, uint32_t count)
{
    uint32_t m = 0;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t d = uint32_t(deltas[i]);
        m |= deltas[i] < 0 ? ~d : d;
    }
    if (m < (1u << 3))
        return 1;
    if (m < (1u << 7))
        return 2;
    if (m < (1u << 11))
        return 3;
    if (m < (1u << 15))
        return 4;
    if (m < (1u << 23))
        return 6;
    return 8;
}

// Writes fields from the top of each word down; a field that does not fit
// in the rest of the word starts the next one. With a null buffer it only
// counts the words. A word is stored when it is complete, which keeps the
// in-place packer behind its reader.
struct BitWriter {
    int32_t *buffer;
    size_t word;   // index of the word being filled
    uint32_t cur;  // its bits so far
    uint32_t used; // bits used in it

    void put(uint32_t value, uint32_t width)
    {
        if (32 - used < width)
            flush();
        uint32_t mask = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
        used += width;
        cur |= (value & mask) << (32 - used);
    }
    void flush()
    {
        if (buffer)
            buffer[word] = int32_t(cur);
        word++;
        cur = 0;
        used = 0;
    }
    // The zero code that ends the stream, then the last word. Returns the
    // number of words.
    size_t finish()
    {
        put(0, 8);
        flush();
        return word;
    }
};

// Packs the elements of a plain path into w (w.buffer may be the path's own
// buffer). Returns the number of packed words.
size_t packElements(const Path *path, BitWriter *w)
{
    const int32_t *r = path->buffer;
    const int32_t *end = path->write;
    int32_t prevX = 0, prevY = 0;
    while (r && r < end) {
        uint32_t op = uint32_t(r[0]);
        uint32_t n = op & 3;
        if (size_t(end - r) < 1 + 2 * size_t(n))
            break; // a damaged last element: the stream ends before it
        int32_t deltas[6];
        for (uint32_t i = 0; i < n; i++) {
            int32_t x = r[1 + 2 * i], y = r[2 + 2 * i];
            deltas[2 * i] = wrapSub(x, prevX);
            deltas[2 * i + 1] = wrapSub(y, prevY);
            prevX = x;
            prevY = y;
        }
        r += 1 + 2 * n;
        uint32_t code = op & 15;
        if (code == 0)
            continue; // opcode 0 is no element, and its code would end the stream
        uint32_t wcode = n ? widthCode(deltas, 2 * n) : 0;
        w->put((wcode << 4) | code, 8);
        for (uint32_t i = 0; i < 2 * n; i++)
            w->put(uint32_t(deltas[i]), wcode * 4);
    }
    return w->finish();
}

// Reads the fields that BitWriter wrote, never past the last word.
struct BitReader {
    const int32_t *next; // the next word to load
    const int32_t *end;
    uint32_t cur;  // the loaded word
    uint32_t left; // its bits not yet read

    bool get(uint32_t width, uint32_t *value)
    {
        if (left < width) {
            if (next >= end)
                return false;
            cur = uint32_t(*next++);
            left = 32;
        }
        left -= width;
        uint32_t v = width == 32 ? cur : (cur >> left) & ((1u << width) - 1);
        *value = v;
        return true;
    }
};

inline int32_t signExtend(uint32_t v, uint32_t width)
{
    if (width == 32)
        return int32_t(v);
    uint32_t sign = 1u << (width - 1);
    return int32_t((v ^ sign) - sign);
}

inline bool validWidthCode(uint32_t wcode)
{
    return wcode == 1 || wcode == 2 || wcode == 3 || wcode == 4 || wcode == 6 || wcode == 8;
}

// Decodes a packed path. With out null only counts the plain words it
// needs. Returns the number of plain words.
size_t unpackElements(const Path *src, int32_t *out)
{
    BitReader rd{src->buffer, src->buffer ? src->write : nullptr, 0, 0};
    size_t words = 0;
    int32_t x = 0, y = 0;
    uint32_t code = 0;
    while (rd.get(8, &code) && code != 0) {
        uint32_t n = code & 3;
        uint32_t wcode = code >> 4;
        if (n && !validWidthCode(wcode))
            break;
        int32_t pts[6];
        bool complete = true;
        for (uint32_t i = 0; i < n && complete; i++) {
            uint32_t dx = 0, dy = 0;
            complete = rd.get(wcode * 4, &dx) && rd.get(wcode * 4, &dy);
            x = wrapAdd(x, signExtend(dx, wcode * 4));
            y = wrapAdd(y, signExtend(dy, wcode * 4));
            pts[2 * i] = x;
            pts[2 * i + 1] = y;
        }
        if (!complete)
            break;
        if (out) {
            out[words] = int32_t(code);
            memcpy(out + words + 1, pts, 2 * n * sizeof(int32_t));
        }
        words += 1 + 2 * n;
    }
    return words;
}

// --------------------------------------------------------------- transform

void transformGeneral(const int32_t *p, const int32_t *end, int32_t *out, const Matrix *m)
{
    while (p < end) {
        uint32_t n = uint32_t(*p) & 3;
        if (size_t(end - p) < 1 + 2 * size_t(n))
            return;
        *out++ = *p++;
        for (uint32_t i = 0; i < n; i++) {
            int64_t x = p[0], y = p[1];
            uint64_t sx = uint64_t(m->a * x) + uint64_t(m->c * y) + 0x8000u;
            uint64_t sy = uint64_t(m->b * x) + uint64_t(m->d * y) + 0x8000u;
            out[0] = int32_t(uint32_t(m->tx) + uint32_t(sx >> 16));
            out[1] = int32_t(uint32_t(m->ty) + uint32_t(sy >> 16));
            p += 2;
            out += 2;
        }
    }
}

// b = c = 0: a scale and a translation.
void transformScale(const int32_t *p, const int32_t *end, int32_t *out, const Matrix *m)
{
    while (p < end) {
        uint32_t n = uint32_t(*p) & 3;
        if (size_t(end - p) < 1 + 2 * size_t(n))
            return;
        *out++ = *p++;
        for (uint32_t i = 0; i < n; i++) {
            int64_t x = p[0], y = p[1];
            out[0] = int32_t(uint32_t(m->tx) + uint32_t((uint64_t(m->a * x) + 0x8000u) >> 16));
            out[1] = int32_t(uint32_t(m->ty) + uint32_t((uint64_t(m->d * y) + 0x8000u) >> 16));
            p += 2;
            out += 2;
        }
    }
}

// a = d = 0: the axes swap (quarter turns and mirrors).
void transformSwap(const int32_t *p, const int32_t *end, int32_t *out, const Matrix *m)
{
    while (p < end) {
        uint32_t n = uint32_t(*p) & 3;
        if (size_t(end - p) < 1 + 2 * size_t(n))
            return;
        *out++ = *p++;
        for (uint32_t i = 0; i < n; i++) {
            int64_t x = p[0], y = p[1];
            out[0] = int32_t(uint32_t(m->tx) + uint32_t((uint64_t(m->c * y) + 0x8000u) >> 16));
            out[1] = int32_t(uint32_t(m->ty) + uint32_t((uint64_t(m->b * x) + 0x8000u) >> 16));
            p += 2;
            out += 2;
        }
    }
}

} // namespace

// ----------------------------------------------------------- life cycle

int Path_create(Path **out, int32_t scale)
{
    *out = nullptr;
    Path *path = static_cast<Path *>(Mem_malloc(sizeof(Path)));
    int32_t *buffer = static_cast<int32_t *>(Mem_malloc(Path_firstCapacity * sizeof(int32_t)));
    if (!path || !buffer) {
        Mem_free(buffer);
        Mem_free(path);
        return Res_noMemory;
    }
    *path = Path{buffer, buffer, nullptr, Path_firstCapacity, 0, scale, Path_stateEmpty};
    *out = path;
    return Res_ok;
}

void Path_destroy(Path *path)
{
    if (!path)
        return;
    Mem_free(path->buffer);
    Mem_free(path);
}

void Path_reset(Path *path)
{
    path->write = path->buffer;
    path->subpathStart = nullptr;
    path->count = 0;
    path->state = Path_stateEmpty;
}

int Path_grow(Path *path, uint32_t words)
{
    uint64_t need = uint64_t(usedWords(path)) + words;
    uint64_t cap = uint64_t(path->capacity) * 2;
    if (cap < Path_firstCapacity)
        cap = Path_firstCapacity;
    while (cap < need)
        cap *= 2;
    return resizeBuffer(path, cap);
}

// --------------------------------------------------------------- appends

int Path_moveTo(Path *path, int32_t x, int32_t y)
{
    if (path->state == Path_statePacked)
        return Res_pathNoCurrentPoint;
    if (path->state == Path_stateMove) {
        path->write[-2] = x;
        path->write[-1] = y;
        return Res_ok;
    }
    const int32_t pts[2] = {x, y};
    int r = appendElement(path, Path_opMove, pts, 1, Path_stateMove);
    if (r == Res_ok)
        path->subpathStart = path->write - 2;
    return r;
}

int Path_lineTo(Path *path, int32_t x, int32_t y)
{
    const int32_t pts[2] = {x, y};
    return appendDrawing(path, Path_opLine, pts, 1, Path_stateLine);
}

int Path_lineToOp1(Path *path, int32_t x, int32_t y)
{
    const int32_t pts[2] = {x, y};
    return appendDrawing(path, Path_opLineHidden, pts, 1, Path_stateHidden);
}

int Path_quadTo(Path *path, int32_t cx, int32_t cy, int32_t x, int32_t y)
{
    const int32_t pts[4] = {cx, cy, x, y};
    return appendDrawing(path, Path_opQuad, pts, 2, Path_stateQuad);
}

int Path_curveTo(Path *path, int32_t c1x, int32_t c1y, int32_t c2x, int32_t c2y, int32_t x,
                 int32_t y)
{
    const int32_t pts[6] = {c1x, c1y, c2x, c2y, x, y};
    return appendDrawing(path, Path_opCubic, pts, 3, Path_stateCubic);
}

int Path_close(Path *path)
{
    switch (path->state) {
    case Path_statePacked: return Res_pathNoCurrentPoint;
    case Path_stateEmpty: return Res_ok;
    case Path_stateMove: dropTrailingMove(path); return Res_ok;
    default: return appendElement(path, Path_opClose, nullptr, 0, Path_stateEmpty);
    }
}

int Path_addRect(Path *path, const Rect *rect)
{
    int r = Path_moveTo(path, rect->x0, rect->y0);
    if (r == Res_ok)
        r = Path_lineTo(path, rect->x1, rect->y0);
    if (r == Res_ok)
        r = Path_lineTo(path, rect->x1, rect->y1);
    if (r == Res_ok)
        r = Path_lineTo(path, rect->x0, rect->y1);
    if (r == Res_ok)
        r = Path_close(path);
    return r;
}

int Path_addArc(Path *path, const Rect *rect, int32_t sx, int32_t sy, int32_t ex, int32_t ey)
{
    if (path->state == Path_statePacked)
        return Res_pathNoCurrentPoint;
    ArcSpace s;
    s.cx = (int64_t(rect->x0) + rect->x1) / 2;
    s.cy = (int64_t(rect->y0) + rect->y1) / 2;
    int64_t rx = (int64_t(rect->x1) - rect->x0) / 2;
    int64_t ry = (int64_t(rect->y1) - rect->y0) / 2;
    rx = rx < 0 ? -rx : rx;
    ry = ry < 0 ? -ry : ry;
    if (rx == 0 || ry == 0 || (sx == s.cx && sy == s.cy) || (ex == s.cx && ey == s.cy))
        return arcAsLines(path, sx, sy, ex, ey);

    // The ellipse as a circle of the larger radius.
    int64_t radius = ry < rx ? rx : ry;
    s.fx = ry < rx ? 1.0 : double(ry) / double(rx);
    s.fy = ry < rx ? double(rx) / double(ry) : 1.0;
    Point ms = toCircle(s, sx, sy);
    Point me = toCircle(s, ex, ey);
    // A point that lies within a unit of the centre in circle space has no
    // direction to step along: draw the lines of a flat arc.
    if ((ms.x == 0 && ms.y == 0) || (me.x == 0 && me.y == 0))
        return arcAsLines(path, sx, sy, ex, ey);
    Point a, b;
    Geom_stepToward(&a, 0, 0, ms.x, ms.y, int32_t(radius));
    Geom_stepToward(&b, 0, 0, me.x, me.y, int32_t(radius));

    int32_t start[2];
    fromCircle(s, a.x, a.y, start);
    int r = moveOrLine(path, start[0], start[1]);
    int64_t px = a.x, py = a.y;
    const int64_t bx = b.x, by = b.y;
    // Whole quarters until B lies within the next one; for vectors that are
    // not zero this takes at most three turns.
    for (int turns = 0; r == Res_ok && turns < 4 && !withinQuarter(px, py, bx, by); turns++) {
        int64_t qx = -py, qy = px; // P turned a quarter
        double k = quarterK;
        r = arcCurve(path, s, double(px) - k * double(py), double(py) + k * double(px),
                     double(qx) + k * double(qy), double(qy) - k * double(qx), double(qx),
                     double(qy));
        px = qx;
        py = qy;
    }
    if (r != Res_ok)
        return r;
    double dpx = double(px), dpy = double(py), dbx = double(bx), dby = double(by);
    double q1 = dpx * dpx + dpy * dpy;
    double q2 = q1 + dpx * dbx + dpy * dby;
    double cross = dpx * dby - dpy * dbx;
    double k2 = cross != 0 ? 4.0 * (std::sqrt(2.0 * q1 * q2) - q2) / (3.0 * cross) : 0.0;
    return arcCurve(path, s, dpx - k2 * dpy, dpy + k2 * dpx, dbx + k2 * dby, dby - k2 * dbx, dbx,
                    dby);
}

// ------------------------------------------------------------- queries

int Path_currentPoint(const Path *path, Point *out)
{
    if (!path || !out || path->state == Path_stateEmpty || path->state > Path_stateCubic ||
        usedWords(path) < 3)
        return 0;
    *out = Point{path->write[-2], path->write[-1]};
    return 1;
}

int32_t *Path_buffer(const Path *path)
{
    return path->buffer;
}

uint32_t Path_wordCount(const Path *path)
{
    return uint32_t(usedWords(path));
}

int Path_isEmpty(const Path *path)
{
    return usedWords(path) == 0 || path->count == 0;
}

// ------------------------------------------------------ copies and forms

void Path_trim(Path *path)
{
    if (!path)
        return;
    dropTrailingMove(path);
    size_t used = usedWords(path);
    if (used == 0 || used >= path->capacity)
        return;
    (void)resizeBuffer(path, used); // a failed shrink keeps the larger buffer
}

Path *Path_clone(const Path *path)
{
    if (!path)
        return nullptr;
    size_t used = usedWords(path);
    size_t words = used ? used : 1;
    Path *copy = static_cast<Path *>(Mem_malloc(sizeof(Path)));
    int32_t *buffer = static_cast<int32_t *>(Mem_malloc(words * sizeof(int32_t)));
    if (!copy || !buffer) {
        Mem_free(buffer);
        Mem_free(copy);
        return nullptr;
    }
    if (used)
        memcpy(buffer, path->buffer, used * sizeof(int32_t));
    *copy = *path;
    copy->buffer = buffer;
    copy->write = buffer + used;
    copy->subpathStart =
        path->subpathStart ? buffer + (path->subpathStart - path->buffer) : nullptr;
    copy->capacity = uint32_t(words);
    return copy;
}

uint32_t Path_embeddedBytes(const Path *path)
{
    return uint32_t(sizeof(Path) + usedWords(path) * sizeof(int32_t));
}

void Path_embed(void *block, const Path *path)
{
    Path *copy = static_cast<Path *>(block);
    int32_t *words = reinterpret_cast<int32_t *>(copy + 1);
    size_t used = usedWords(path);
    Path header = *path;
    if (used)
        memmove(words, path->buffer, used * sizeof(int32_t));
    header.subpathStart =
        path->subpathStart ? words + (path->subpathStart - path->buffer) : nullptr;
    header.buffer = words;
    header.write = words + used;
    header.capacity = uint32_t(used);
    *copy = header;
}

int Path_reserveFor(Path *dst, const Path *src)
{
    uint64_t need = usedWords(src);
    if (src->state == Path_statePacked)
        need *= 10;
    if (need == 0 || dst->capacity >= need)
        return Res_ok;
    return resizeBuffer(dst, need);
}

int Path_pack(Path *path)
{
    if (path->state == Path_statePacked)
        return Res_ok;
    dropTrailingMove(path);
    BitWriter counter{nullptr, 0, 0, 0};
    size_t words = packElements(path, &counter);
    if (words > path->capacity) {
        int r = resizeBuffer(path, words);
        if (r != Res_ok)
            return r;
    }
    // In place: a packed element never needs more words than its plain
    // form, so every word is stored only after the words it covers have
    // been read.
    BitWriter writer{path->buffer, 0, 0, 0};
    packElements(path, &writer);
    path->write = path->buffer + words;
    path->subpathStart = nullptr;
    path->state = Path_statePacked;
    if (words < path->capacity)
        (void)resizeBuffer(path, words); // a failed shrink keeps the larger buffer
    return Res_ok;
}

int Path_unpackInto(Path *dst, const Path *src)
{
    if (src->state != Path_statePacked)
        return Res_nullInput;
    size_t words = unpackElements(src, nullptr);
    if (dst == src || words > dst->capacity) {
        // Decode into a fresh buffer: the source's own words are still
        // being read, or the destination is too small.
        uint64_t size = words ? words : 1;
        if (size > maxWords)
            return Res_noMemory;
        int32_t *fresh = static_cast<int32_t *>(Mem_malloc(size_t(size) * sizeof(int32_t)));
        if (!fresh)
            return Res_noMemory;
        unpackElements(src, fresh);
        Mem_free(dst->buffer);
        dst->buffer = fresh;
        dst->capacity = uint32_t(size);
    } else {
        unpackElements(src, dst->buffer);
    }
    dst->write = dst->buffer + words;
    dst->subpathStart = nullptr;
    dst->count = src->count;
    dst->scale = src->scale;
    dst->state = Path_stateEmpty;
    return Res_ok;
}

int Path_copyTransformed(Path *dst, const Path *src, const Matrix *m)
{
    if (src->state == Path_statePacked) {
        int r = Path_unpackInto(dst, src);
        if (r == Res_ok)
            Path_transformPoints(dst->buffer, dst->write, dst->buffer, m);
        return r;
    }
    size_t used = usedWords(src);
    if (dst != src && used > dst->capacity) {
        int r = resizeBuffer(dst, used);
        if (r != Res_ok)
            return r;
    }
    if (used)
        Path_transformPoints(src->buffer, src->write, dst->buffer, m);
    ptrdiff_t sub = src->subpathStart ? src->subpathStart - src->buffer : -1;
    dst->write = dst->buffer + used;
    dst->subpathStart = sub >= 0 ? dst->buffer + sub : nullptr;
    dst->count = src->count;
    dst->scale = src->scale;
    dst->state = src->state;
    return Res_ok;
}

void Path_transformPoints(const int32_t *first, const int32_t *end, int32_t *out, const Matrix *m)
{
    if (m->b == 0 && m->c == 0)
        transformScale(first, end, out, m);
    else if (m->a == 0 && m->d == 0)
        transformSwap(first, end, out, m);
    else
        transformGeneral(first, end, out, m);
}

void Path_translate(Path *path, int32_t dx, int32_t dy)
{
    if (path->state == Path_statePacked || !path->buffer)
        return;
    int32_t *p = path->buffer;
    int32_t *end = path->write;
    while (p < end) {
        uint32_t n = uint32_t(*p) & 3;
        if (size_t(end - p) < 1 + 2 * size_t(n))
            return;
        p++;
        for (uint32_t i = 0; i < n; i++, p += 2) {
            p[0] = wrapAdd(p[0], dx);
            p[1] = wrapAdd(p[1], dy);
        }
    }
}

// ------------------------------------------------------------ packed walk

int Path_walkPacked(const Path *path, const PathWalkFn *callbacks, void *user)
{
    if (!path || !callbacks)
        return Res_nullInput;
    // Each element is decoded into a buffer laid out like a plain element:
    // the previous point, the opcode word, then the points, so that the
    // callbacks find the previous point three words before the first.
    int32_t element[9];
    int32_t lastPoint[2] = {0, 0};
    int32_t startPoint[2] = {0, 0};
    bool haveLast = false, haveStart = false;
    BitReader rd{path->buffer, path->buffer ? path->write : nullptr, 0, 0};
    int32_t x = 0, y = 0;
    uint32_t code = 0;
    while (rd.get(8, &code) && code != 0) {
        uint32_t n = code & 3;
        uint32_t wcode = code >> 4;
        if (n && !validWidthCode(wcode))
            break;
        element[0] = x;
        element[1] = y;
        element[2] = int32_t(code);
        bool complete = true;
        for (uint32_t i = 0; i < n && complete; i++) {
            uint32_t dx = 0, dy = 0;
            complete = rd.get(wcode * 4, &dx) && rd.get(wcode * 4, &dy);
            x = wrapAdd(x, signExtend(dx, wcode * 4));
            y = wrapAdd(y, signExtend(dy, wcode * 4));
            element[3 + 2 * i] = x;
            element[4 + 2 * i] = y;
        }
        if (!complete)
            break; // a damaged last element: the walk ends before it
        PathWalkFn fn = callbacks[code & 15];
        if (fn) {
            int result = fn(element + 3, user, haveLast ? lastPoint : nullptr,
                            haveStart ? startPoint : nullptr);
            if (result != 0)
                return result;
        }
        if (n == 0) {
            haveStart = false;
        } else {
            lastPoint[0] = x;
            lastPoint[1] = y;
            haveLast = true;
            if (code & Path_opMoveBit) {
                startPoint[0] = element[3];
                startPoint[1] = element[4];
                haveStart = true;
            }
        }
    }
    if (callbacks[0] && haveStart)
        return callbacks[0](nullptr, user, lastPoint, startPoint);
    return Res_ok;
}
