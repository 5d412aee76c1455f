// The span painter: a left-to-right sweep over the span edges of each
// pixel row's sub-rows.
//
// Every sub-row gives, under the fill rule, a sequence of events: at a
// crossing where the sub-row becomes inside (+1) or outside (-1). The
// events of the 2^s sub-rows are merged in x order; between two events the
// number of inside sub-rows (the depth) is constant, so each sub-column of
// that stretch holds depth inside samples. The sweep adds up the samples
// of the pixel it stands in, hands each finished pixel to the emitter, and
// hands whole pixels between two events as one run. The emitter merges
// runs into the fewest row operations: skips and full spans of any length,
// coverage bytes gathered into a small buffer.
#include "graphics/spanpainter.h"

#include <cstring>

#include "core/result.h"
#include "graphics/fill.h"

namespace {

// ---------------------------------------------------------------- emitter

constexpr uint32_t coverageRoom = 256;

struct Emitter {
    RowOpSet *set;
    uint32_t skip;  // pixels to pass over before anything else
    uint32_t span;  // pixels at full coverage waiting
    uint32_t count; // coverage bytes waiting in buffer
    alignas(8) uint8_t buffer[coverageRoom];
};

inline void flushSkip(Emitter &e)
{
    if (e.skip) {
        e.set->skip(e.set, e.skip);
        e.skip = 0;
    }
}

inline void flushSpan(Emitter &e)
{
    if (e.span) {
        e.set->span(e.set, e.span);
        e.span = 0;
    }
}

inline void flushCoverage(Emitter &e)
{
    if (e.count == 1) {
        e.set->pixel(e.set, e.buffer[0]);
    } else if (e.count) {
        const uint8_t *c = e.buffer;
        e.set->spanCoverage(e.set, e.count, &c);
    }
    e.count = 0;
}

// n pixels of coverage c, after everything emitted so far.
inline void emitRun(Emitter &e, uint32_t n, uint32_t c)
{
    if (n == 0)
        return;
    if (c == 0) {
        flushCoverage(e);
        flushSpan(e);
        e.skip += n;
    } else if (c == 255) {
        flushCoverage(e);
        flushSkip(e);
        e.span += n;
    } else {
        flushSkip(e);
        flushSpan(e);
        while (n) {
            uint32_t k = coverageRoom - e.count;
            if (k > n)
                k = n;
            memset(e.buffer + e.count, int(c), k);
            e.count += k;
            n -= k;
            if (e.count == coverageRoom)
                flushCoverage(e);
        }
    }
}

// The end of a row: what is waiting is drawn; trailing skips need nothing.
inline void endRow(Emitter &e)
{
    flushCoverage(e);
    flushSpan(e);
    e.skip = 0;
}

// ------------------------------------------------------------------ events

// One sub-row's crossings read as events under the fill rule.
struct Cursor {
    const uint32_t *next;
    const uint32_t *end;
    int32_t winding; // non-zero: the winding so far; even-odd: 1 when inside
    uint32_t x;      // the pending event's x (noEvent: none)
    int32_t delta;   // its change of depth, +1 or -1
    uint32_t weight; // the sub-rows it stands for: alike sub-rows share one cursor
};

constexpr uint32_t noEvent = 0xFFFFFFFFu;

// Moves the cursor to its next event.
inline void advanceCursor(Cursor &c, bool evenOdd)
{
    while (c.next < c.end) {
        uint32_t v = *c.next++;
        if (evenOdd) {
            c.winding ^= 1;
            c.x = v & Crossing_xMask;
            c.delta = c.winding ? 1 : -1;
            return;
        }
        int32_t before = c.winding;
        c.winding += (v & Crossing_directionBit) ? -1 : 1;
        if ((before == 0) != (c.winding == 0)) {
            c.x = v & Crossing_xMask;
            c.delta = before == 0 ? 1 : -1;
            return;
        }
    }
    c.x = noEvent;
}

// ------------------------------------------------------------------- rows

struct RowFrame {
    const CrossingTable *table;
    uint32_t x0;    // the first painted sub-column
    uint32_t x1;    // one past the last
    uint32_t width; // pixels
    bool evenOdd;
    const uint8_t *weight; // weight[count]: the coverage byte of count inside samples
};

// One pixel row of 2^s sub-rows starting at table row `first`. The
// sub-pixel bits are a constant at each call site, so that each s gets its
// own unrolled copy.
[[gnu::always_inline]] inline void sweepRow(const RowFrame &f, uint32_t first, uint32_t s,
                                            Emitter &e)
{
    const uint32_t subRows = 1u << s;
    const uint32_t mask = subRows - 1;
    Cursor cursors[8];
    uint32_t live = 0;
    // A sub-row with the same crossings as the one before it (the sides of
    // an upright shape cross every sub-row of most pixel rows alike) gives
    // the same events at the same places: its cursor's weight grows instead,
    // and each event moves the depth by the weight.
    const uint32_t *previous = nullptr;
    bool previousLive = false;
    for (uint32_t j = 0; j < subRows; j++) {
        const uint32_t *rec = CrossingTable_row(f.table, first + j);
        if (rec[0] == 0) {
            previous = nullptr;
            continue;
        }
        if (previous && previous[0] == rec[0] &&
            std::memcmp(previous + 1, rec + 1, size_t(rec[0]) * 4) == 0) {
            if (previousLive)
                cursors[live - 1].weight++;
            continue;
        }
        previous = rec;
        Cursor &c = cursors[live];
        c.next = rec + 1;
        c.end = rec + 1 + rec[0];
        c.winding = 0;
        c.weight = 1;
        advanceCursor(c, f.evenOdd);
        previousLive = c.x != noEvent;
        if (previousLive)
            live++;
    }
    if (live == 0)
        return;

    uint32_t pos = f.x0; // sub-column the sweep stands at
    uint32_t depth = 0;  // inside sub-rows from pos on
    uint32_t acc = 0;    // samples of pos's pixel left of pos
    while (live) {
        // The next event x among the cursors; every cursor with an event
        // there takes its part.
        uint32_t x = cursors[0].x;
        for (uint32_t i = 1; i < live; i++)
            if (cursors[i].x < x)
                x = cursors[i].x;
        if (x >= f.x1)
            break;
        if (x > pos) {
            uint32_t p0 = (pos - f.x0) >> s, p1 = (x - f.x0) >> s;
            if (p0 == p1) {
                acc += depth * (x - pos);
            } else {
                acc += depth * (((p0 + 1) << s) + f.x0 - pos);
                emitRun(e, 1, f.weight[acc]);
                emitRun(e, p1 - p0 - 1, f.weight[depth << s]);
                acc = depth * ((x - f.x0) & mask);
            }
            pos = x;
        }
        for (uint32_t i = 0; i < live;) {
            Cursor &c = cursors[i];
            if (c.x != x) {
                i++;
                continue;
            }
            depth += uint32_t(c.delta) * c.weight;
            advanceCursor(c, f.evenOdd);
            if (c.x == noEvent)
                c = cursors[--live];
            else
                i++;
        }
    }
    // The rest of the row at the depth reached (0 for closed shapes).
    uint32_t p0 = (pos - f.x0) >> s;
    if (p0 < f.width) {
        acc += depth * (((p0 + 1) << s) + f.x0 - pos);
        emitRun(e, 1, f.weight[acc]);
        emitRun(e, f.width - p0 - 1, f.weight[depth << s]);
    }
    endRow(e);
}

// One pixel row with one sample per pixel: the spans themselves.
void plainRow(const RowFrame &f, uint32_t first, Emitter &e)
{
    const uint32_t *rec = CrossingTable_row(f.table, first);
    Cursor c{rec + 1, rec + 1 + rec[0], 0, noEvent, 0};
    advanceCursor(c, f.evenOdd);
    uint32_t at = f.x0; // next column not yet emitted
    uint32_t start = 0;
    while (c.x != noEvent) {
        uint32_t x = c.x < f.x0 ? f.x0 : c.x > f.x1 ? f.x1 : c.x;
        if (c.delta > 0) {
            start = x;
        } else if (x > start) {
            emitRun(e, start - at, f.weight[0]);
            emitRun(e, x - start, f.weight[1]);
            at = x;
        }
        advanceCursor(c, f.evenOdd);
    }
    if (c.winding != 0 && f.x1 > start) {
        // An unclosed span runs to the edge.
        emitRun(e, start - at, f.weight[0]);
        emitRun(e, f.x1 - start, f.weight[1]);
    }
    endRow(e);
}

struct Walk {
    const SpanPaint *paint;
    RowOpSet *set;
    RowFrame frame;
    uint32_t lead; // pixels of each row left of the table's x = 0
};

inline void startRow(Walk &w, uint32_t k)
{
    const SpanPaint *p = w.paint;
    w.set->dst = p->destination + ptrdiff_t(k) * p->destinationStride;
    w.set->src = p->source + ptrdiff_t(k) * p->sourceStride;
    w.set->mask = p->mask + ptrdiff_t(k) * p->maskStride;
    if (w.lead)
        w.set->skip(w.set, w.lead);
}

void paintS0(Walk &w, uint32_t rows, Emitter &e)
{
    for (uint32_t k = 0; k < rows; k++) {
        startRow(w, k);
        plainRow(w.frame, k, e);
    }
}

void paintS1(Walk &w, uint32_t rows, Emitter &e)
{
    for (uint32_t k = 0; k < rows; k++) {
        startRow(w, k);
        sweepRow(w.frame, k << 1, 1, e);
    }
}

void paintS2(Walk &w, uint32_t rows, Emitter &e)
{
    for (uint32_t k = 0; k < rows; k++) {
        startRow(w, k);
        sweepRow(w.frame, k << 2, 2, e);
    }
}

void paintS3(Walk &w, uint32_t rows, Emitter &e)
{
    for (uint32_t k = 0; k < rows; k++) {
        startRow(w, k);
        sweepRow(w.frame, k << 3, 3, e);
    }
}

} // namespace

int SpanPainter_paint(const SpanPaint *p)
{
    RowOpSet set;
    p->setup(&set, p->source, p->mask);
    if (p->s > 3 || p->width == 0 || !p->table)
        return Res_ok;
    const uint32_t s = p->s;
    uint32_t rows = p->rows;
    if (rows > (p->table->rowCount >> s))
        rows = p->table->rowCount >> s;

    // The coverage byte of every possible count of inside samples.
    uint8_t weight[65];
    const uint32_t samples = 1u << (2 * s);
    for (uint32_t n = 0; n <= samples; n++)
        weight[n] = p->coverageTable[(n * 255 + samples / 2) >> (2 * s)];

    Walk w;
    w.paint = p;
    w.set = &set;
    // Columns left of the table's x = 0 hold no crossing: they are passed
    // over. The window in sub-columns: the table's x never passes 2^31, so
    // nothing is painted beyond that.
    int64_t first = p->xOffset, end = int64_t(p->xOffset) + p->width;
    w.lead = first < 0 ? uint32_t(end < 0 ? p->width : -first) : 0;
    if (first < 0)
        first = 0;
    if (end <= first)
        return Res_ok;
    uint64_t x0 = uint64_t(first) << s, x1 = uint64_t(end) << s;
    if (x0 > Crossing_xMask)
        return Res_ok;
    if (x1 > uint64_t(Crossing_xMask) + 1)
        x1 = uint64_t(Crossing_xMask) + 1;
    w.frame = RowFrame{p->table,         uint32_t(x0), uint32_t(x1), uint32_t((x1 - x0) >> s),
                       p->fillRule != 0, weight};

    Emitter e;
    e.set = &set;
    e.skip = e.span = e.count = 0;
    switch (s) {
    case 0: paintS0(w, rows, e); break;
    case 1: paintS1(w, rows, e); break;
    case 2: paintS2(w, rows, e); break;
    default: paintS3(w, rows, e); break;
    }
    return Res_ok;
}
