// Word table building: the paragraphs that carry the in-table flag become
// "table", "tableRowGroup", "tableRow" and "tableCell" groups; each row's
// table properties (taken at its end mark) give its cells their widths,
// margins, merges, shading and borders, and cells that cover several of
// the table's distinct left edges get a column span.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "word/reader/build.h"

namespace {

enum : uint32_t {
    lookCount = 43,
    lookClasses = 16,
};

int32_t twips(int32_t v)
{
    return int32_t(int64_t(v) * 65536 / 1440);
}

// The built-in table looks, {foreground, background, pattern} per position
// class. Looks not listed use the cells' own shading ({8, 1, 0}).
struct LookRow {
    uint8_t itl;
    uint8_t head[3];   // classes 0-3
    uint8_t column[3]; // classes 4, 8, 12
    uint8_t other[3];  // the rest
};

constexpr LookRow lookRows[] = {
    {3, {1, 8, 1}, {8, 1, 0}, {8, 1, 0}},
    {5, {12, 8, 1}, {16, 8, 1}, {8, 1, 0}},
    {8, {1, 8, 1}, {9, 8, 1}, {10, 8, 1}},
};

constexpr uint8_t plainLook[3] = {8, 1, 0};

int groupEnsure(Edr_Doc *doc, Edr_Node *parent, uint32_t cls, Edr_Node **node)
{
    if (*node)
        return Res_ok;
    int err = Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, 0, node);
    if (!err) {
        err = Word_nodeSetStyle(doc, *node, cls, 0);
        if (err) {
            Edr_Node_release(doc, *node);
            *node = nullptr;
        }
    }
    return err;
}

void nodeDrop(Edr_Doc *doc, Edr_Node **node)
{
    if (*node)
        Edr_Node_release(doc, *node);
    *node = nullptr;
}

bool present(const WordBorder &b)
{
    return b.style > 0;
}

void freeBlocks(Edr_Doc *doc, WordTableState *t)
{
    uint32_t seen = 0;
    for (WordSpanBlock *b = t->blocks; b;) {
        for (uint32_t i = 0; i < Word_spanBlockCells && seen < t->recorded; i++, seen++)
            nodeDrop(doc, &b->cells[i].cell);
        WordSpanBlock *next = b->next;
        Mem_free(b);
        b = next;
    }
    t->blocks = t->lastBlock = nullptr;
    t->recorded = 0;
}

// Sets a span of 2 or more as property id (97 columns, 98 rows).
int setSpan(Edr_Doc *doc, Edr_Node *cell, uint32_t span, WordReader *r, uint32_t id = 97)
{
    if (span < 2)
        return Res_ok;
    WordPropList list;
    Word_propListInit(&list);
    uint32_t style = 0;
    int err = Word_propAdd(&list, id, WordValue_int, span, r);
    if (!err)
        err = Word_styleIntern(&list, &style, r);
    Word_propListClear(&list);
    if (!err)
        err = Edr_Node_addId(doc, cell, style);
    return err;
}

// Records the row's cells for their spans (or resolves them at once past
// the record's size) and drops the row's cell references.
int mergeTrack(WordSectionContext *s)
{
    WordTableState *t = s->table;
    Edr_Doc *doc = s->builder->doc;
    WordReader *r = s->builder->reader;
    int err = Res_ok;
    for (uint32_t i = 0; i < t->cellCount; i++) {
        uint32_t e = i < Word_maxCells ? i : Word_maxCells - 1;
        int32_t left = t->tap.rgdxaCenter[e], right = t->tap.rgdxaCenter[e + 1];
        bool known = false;
        for (uint32_t k = 0; k < t->edgeCount; k++)
            known = known || t->edges[k] == left;
        if (!known && t->edgeCount < Word_maxLeftEdges)
            t->edges[t->edgeCount++] = left;
        if (!t->cells[i])
            continue;
        if (t->recorded < Word_spanBlockCells) {
            uint32_t slot = t->recorded % Word_spanBlockCells;
            if (slot == 0) {
                WordSpanBlock *b =
                    static_cast<WordSpanBlock *>(Mem_calloc(1, sizeof(WordSpanBlock)));
                if (!b) {
                    if (!err)
                        err = Res_noMemory;
                    nodeDrop(doc, &t->cells[i]);
                    continue;
                }
                if (t->lastBlock)
                    t->lastBlock->next = b;
                else
                    t->blocks = b;
                t->lastBlock = b;
            }
            t->lastBlock->cells[slot] = WordSpanCell{t->cells[i], left, right};
            t->cells[i] = nullptr;
            t->recorded++;
        } else {
            int e2 = setSpan(doc, t->cells[i],
                             Word_tableCellSpan(t->edges, t->edgeCount, left, right), r);
            if (!err)
                err = e2;
            nodeDrop(doc, &t->cells[i]);
        }
    }
    t->cellCount = 0;
    return err;
}

// Resolves every recorded cell in order; the first failure stops it and
// is not reported.
void mergeResolve(WordSectionContext *s)
{
    WordTableState *t = s->table;
    uint32_t seen = 0;
    for (WordSpanBlock *b = t->blocks; b; b = b->next)
        for (uint32_t i = 0; i < Word_spanBlockCells && seen < t->recorded; i++, seen++) {
            const WordSpanCell &c = b->cells[i];
            if (setSpan(s->builder->doc, c.cell,
                        Word_tableCellSpan(t->edges, t->edgeCount, c.left, c.right),
                        s->builder->reader) != Res_ok)
                return;
        }
}

// Closes open merge k: its first cell spans its rows.
int mergeClose(WordSectionContext *s, uint32_t k)
{
    WordTableState *t = s->table;
    WordRowMerge &m = t->merges[k];
    int err = setSpan(s->builder->doc, m.cell, m.rows, s->builder->reader, 98);
    nodeDrop(s->builder->doc, &m.cell);
    t->merges[k] = t->merges[--t->mergeCount];
    t->merges[t->mergeCount] = WordRowMerge{};
    return err;
}

} // namespace

int Word_tableRowMerges(WordSectionContext *s, uint32_t last, uint8_t *covered)
{
    WordTableState *t = s->table;
    const WordTap &tap = t->tap;
    uint8_t extended[Word_maxCells] = {};
    // Bits 5 vertical merge and 6 vertical restart of a cell's flags.
    for (uint32_t i = 0; i < t->cellCount; i++) {
        covered[i] = 0;
        uint32_t e = i < Word_maxCells ? i : Word_maxCells - 1;
        uint16_t f = tap.rgtc[e].flags;
        if (last || !t->cells[i] || (f & (3u << 5)) != (1u << 5))
            continue;
        for (uint32_t k = 0; k < t->mergeCount; k++)
            if (!extended[k] && t->merges[k].left == tap.rgdxaCenter[e]) {
                extended[k] = 1;
                t->merges[k].rows++;
                covered[i] = 1;
                break;
            }
    }
    int err = Res_ok;
    for (uint32_t k = t->mergeCount; k-- > 0;)
        if (!extended[k] || last) {
            // The last merge takes slot k: its flag moves with it.
            extended[k] = extended[t->mergeCount - 1];
            int e = mergeClose(s, k);
            if (!err)
                err = e;
        }
    if (last)
        return err;
    for (uint32_t i = 0; i < t->cellCount; i++) {
        uint32_t e = i < Word_maxCells ? i : Word_maxCells - 1;
        if (!t->cells[i] || !(tap.rgtc[e].flags & (1u << 6)) || t->mergeCount >= Word_maxCells)
            continue;
        WordRowMerge m{t->cells[i], tap.rgdxaCenter[e], 1};
        int e2 = Edr_Node_addRefLive(s->builder->doc, m.cell);
        if (e2) {
            if (!err)
                err = e2;
            continue;
        }
        t->merges[t->mergeCount++] = m;
    }
    return err;
}

const uint8_t *Word_tableLookShading(uint32_t itl, uint32_t cls)
{
    for (const LookRow &row : lookRows)
        if (row.itl == itl) {
            if (cls < 4)
                return row.head;
            if (cls == 4 || cls == 8 || cls == 12)
                return row.column;
            return row.other;
        }
    return plainLook;
}

uint32_t Word_tableCellSpan(const int32_t *edges, uint32_t edgeCount, int32_t left, int32_t right)
{
    uint32_t span = 1;
    bool own = false;
    for (uint32_t k = 0; k < edgeCount; k++) {
        if (edges[k] > left && edges[k] < right)
            span++;
        if (edges[k] == left)
            own = true;
    }
    if (!own) {
        if (span < 2)
            return 1;
        span--;
    }
    return span;
}

uint32_t Word_tableRowKind(const WordTableState *t, uint32_t last)
{
    if (last && t->rowCount == 1)
        return 5;
    if (last)
        return 4;
    if (t->rowCount == 1)
        return 1;
    uint32_t k = t->rowCount - 2;
    if (t->tap.tlp.itl == 25)
        k /= 2;
    return (k & 1) ? 3 : 2;
}

uint32_t Word_tableCellShading(const WordTap *tap, uint32_t c, uint32_t n, uint32_t kind,
                               uint32_t *has)
{
    *has = 1;
    uint32_t itl = tap->tlp.itl >= lookCount ? 0 : tap->tlp.itl;
    uint32_t flags = uint32_t(tap->tlp.flags) | (uint32_t(tap->tlp.flag2) << 8);
    uint32_t cell = c < Word_maxCells ? c : Word_maxCells - 1;
    if (itl == 0)
        return Word_cellShadingColour(tap, cell);
    if (!(flags & (1u << 1))) {
        *has = 0;
        return 0;
    }
    const WordShd &own = tap->rgshd[cell];
    if ((flags & (1u << 3)) || tap->fNewShd || own.fore != 1 || own.back != 8)
        return Word_cellShadingColour(tap, cell);
    bool headings = flags & (1u << 5), firstCol = flags & (1u << 7), lastCol = flags & (1u << 8);
    bool first = c == 0, lastCell = c + 1 >= n, odd = c & 1;
    uint32_t cls;
    switch (kind) {
    case 1:
    case 5:
        if (first)
            cls = headings ? 0 : firstCol ? 4 : 9;
        else if (lastCell)
            cls = headings ? 3 : lastCol ? 7 : 9;
        else
            cls = headings ? (odd ? 1 : 2) : (odd ? 9 : 0);
        break;
    case 2: cls = first ? (firstCol ? 4 : 9) : lastCell ? (lastCol ? 7 : 9) : (odd ? 5 : 6); break;
    case 3: cls = first ? 8 : lastCell ? 11 : (odd ? 9 : 10); break;
    default: cls = first ? 12 : lastCell ? 15 : (odd ? 13 : 14); break;
    }
    const uint8_t *look = Word_tableLookShading(itl, cls);
    WordTap one;
    Word_clearTap(&one);
    one.rgshd[0] = WordShd{look[0], look[1], look[2]};
    return Word_cellShadingColour(&one, 0);
}

void Word_tableCellBorders(const WordTap *tap, uint32_t c, uint32_t n, uint32_t kind,
                           WordBorder out[4])
{
    const WordBorder *t = tap->rgbrcTable; // top, left, bottom, right, inside H, inside V
    const WordBorder none{};
    bool first = c == 0, last = c + 1 >= n;
    // Top and bottom: the table's edge for the outer rows, else the inside
    // horizontal border.
    out[0] = (kind == 1 || kind == 5) ? t[0] : present(t[4]) ? t[4] : none;
    out[2] = (kind == 4 || kind == 5) ? t[2] : present(t[4]) ? t[4] : none;
    // Left and right: the table's edge for the outer cells; the edges
    // between cells are vertical, so they take the inside vertical border.
    out[1] = first ? t[1] : present(t[5]) ? t[5] : none;
    out[3] = last ? t[3] : present(t[5]) ? t[5] : none;
    uint32_t cell = c < Word_maxCells ? c : Word_maxCells - 1;
    for (uint32_t side = 0; side < 4; side++)
        if (present(tap->rgtc[cell].brc[side]))
            out[side] = tap->rgtc[cell].brc[side];
}

int Word_tableCellStyle(const WordTap *tap, uint32_t i, uint32_t n, uint32_t kind, uint32_t covered,
                        WordPropList *list, WordReader *r)
{
    Word_propListInit(list);
    int err = Res_ok;
    auto add = [&](uint32_t id, uint32_t type, uint32_t word) {
        if (!err)
            err = Word_propAdd(list, id, type, word, r);
    };
    uint32_t e = i < Word_maxCells ? i : Word_maxCells - 1;
    add(34, WordValue_keyword, covered ? 0 : 136);
    int32_t width = int32_t(tap->rgdxaCenter[e + 1]) - tap->rgdxaCenter[e];
    add(90, WordValue_length, uint32_t(width < 0 ? 0 : twips(width)));
    add(69, WordValue_length, uint32_t(twips(tap->dxaGapHalf)));
    add(67, WordValue_length, uint32_t(twips(tap->dxaGapHalf)));
    uint16_t f = tap->rgtc[e].flags;
    // Bits 0 first merged, 1 merged, 5 vertical merge, 6 vertical restart.
    if (f & (3u << 5))
        add(100, WordValue_keyword, (f & (1u << 6)) ? 188 : 189);
    if (f & 3u)
        add(101, WordValue_keyword, (f & 1u) ? 190 : 191);
    uint32_t has = 0;
    uint32_t colour = Word_tableCellShading(tap, i, n, kind, &has);
    if (has)
        add(2, WordValue_colour, colour);
    WordBorder borders[4];
    Word_tableCellBorders(tap, i, n, kind, borders);
    for (uint32_t side = 0; side < 4 && !err; side++)
        if (present(borders[side]))
            err = Word_borderToProps(&borders[side], side, list, r);
    if (err)
        Word_propListClear(list);
    return err;
}

int Word_tableRowFinish(WordSectionContext *s, uint32_t last)
{
    WordTableState *t = s->table;
    if (!t || !t->row)
        return Res_ok;
    Edr_Doc *doc = s->builder->doc;
    WordReader *r = s->builder->reader;
    uint32_t kind = Word_tableRowKind(t, last);
    int err = Res_ok;
    // A centred row is moved so that its first edge is 0.
    WordTap &tap = t->tap;
    if (tap.jc == 1) {
        int32_t first = tap.rgdxaCenter[0];
        for (int16_t &edge : tap.rgdxaCenter)
            edge = int16_t(edge - first);
    }
    // Vertical merges: a continuation cell under an open merge is covered
    // by the merge's first cell, which spans its rows.
    uint8_t covered[Word_maxCells];
    err = Word_tableRowMerges(s, 0, covered);
    for (uint32_t i = 0; i < t->cellCount; i++) {
        if (!t->cells[i])
            continue;
        WordPropList list;
        uint32_t style = 0;
        int e = Word_tableCellStyle(&tap, i, t->cellCount, kind, covered[i], &list, r);
        if (!e) {
            e = Word_styleIntern(&list, &style, r);
            Word_propListClear(&list);
        }
        if (!e)
            e = Edr_Node_addId(doc, t->cells[i], style);
        if (!err)
            err = e;
    }
    int e = mergeTrack(s);
    if (!err)
        err = e;
    if (last) {
        mergeResolve(s);
        e = Word_tableRowMerges(s, 1, covered);
        if (!err)
            err = e;
    }
    // The row's own style: its left edge and height.
    WordPropList list;
    Word_propListInit(&list);
    uint32_t style = 0;
    e = Word_propAdd(&list, 54, WordValue_length, uint32_t(twips(tap.rgdxaCenter[0])), r);
    int32_t height = tap.dyaRowHeight;
    if (!e && height < 0)
        e = Word_propAdd(&list, 65, WordValue_keyword, 69, r);
    if (!e && height)
        e = Word_propAdd(&list, 44, WordValue_length,
                         uint32_t(twips(height < 0 ? -height : height)), r);
    if (!e)
        e = Word_styleIntern(&list, &style, r);
    Word_propListClear(&list);
    if (!e)
        e = Edr_Node_addId(doc, t->row, style);
    if (!err)
        err = e;
    t->justification = tap.jc;
    nodeDrop(doc, &t->row);
    if (last)
        freeBlocks(doc, t);
    return err;
}

namespace {

// Frees the innermost open table and makes its enclosing table current.
void tablesResetLevel(WordSectionContext *s)
{
    WordTableState *t = s->table;
    Edr_Doc *doc = s->builder->doc;
    for (uint32_t i = 0; i < Word_maxCells; i++)
        nodeDrop(doc, &t->cells[i]);
    for (uint32_t k = 0; k < t->mergeCount; k++)
        nodeDrop(doc, &t->merges[k].cell);
    freeBlocks(doc, t);
    nodeDrop(doc, &t->row);
    nodeDrop(doc, &t->rowGroup);
    nodeDrop(doc, &t->table);
    s->table = t->outer;
    Mem_free(t);
    if (s->tableDepth)
        s->tableDepth--;
}

// Finishes the innermost open table: its last row and its own style.
int tablesFlushLevel(WordSectionContext *s)
{
    WordTableState *t = s->table;
    int err = Word_tableRowFinish(s, 1);
    if (t->table) {
        static constexpr uint32_t justify[3] = {86, 45, 117};
        WordReader *r = s->builder->reader;
        WordPropList list;
        Word_propListInit(&list);
        uint32_t style = 0;
        int e = Word_propAdd(&list, 79, WordValue_keyword,
                             t->justification < 3 ? justify[t->justification] : 0, r);
        if (!e)
            e = Word_styleIntern(&list, &style, r);
        Word_propListClear(&list);
        if (!e)
            e = Edr_Node_addId(s->builder->doc, t->table, style);
        if (!err)
            err = e;
    }
    tablesResetLevel(s);
    return err;
}

// Opens a table inside parent, enclosed by the current one (if any).
int tablesPush(WordSectionContext *s, Edr_Node *parent)
{
    WordTableState *t = static_cast<WordTableState *>(Mem_calloc(1, sizeof(WordTableState)));
    if (!t)
        return Res_noMemory;
    Word_clearTap(&t->tap);
    t->parent = parent;
    t->outer = s->table;
    s->table = t;
    s->tableDepth++;
    return Res_ok;
}

// The current cell of the innermost table, made when needed.
int tablesCell(WordSectionContext *s, Edr_Node **out)
{
    WordTableState *t = s->table;
    Edr_Doc *doc = s->builder->doc;
    int err = groupEnsure(doc, t->parent, WordClass_table, &t->table);
    if (!err)
        err = groupEnsure(doc, t->table, WordClass_tableRowGroup, &t->rowGroup);
    if (err)
        return err;
    if (t->rowFinished) {
        t->rowFinished = 0;
        err = Word_tableRowFinish(s, 0);
        if (err)
            return err;
    }
    if (!t->row) {
        memset(t->tap.rgtc, 0, sizeof t->tap.rgtc);
        memset(t->tap.rgshd, 0, sizeof t->tap.rgshd);
        t->rowCount++;
        t->cellCount = 0;
        t->newCell = 0;
        if ((err = groupEnsure(doc, t->rowGroup, WordClass_tableRow, &t->row)) != Res_ok)
            return err;
    }
    if (t->cellCount == 0 || t->newCell) {
        t->newCell = 0;
        // A row of more cells than the table properties hold keeps adding
        // to its last cell.
        if (t->cellCount < Word_maxCells)
            t->cellCount++;
    }
    Edr_Node **cell = &t->cells[t->cellCount - 1];
    if ((err = groupEnsure(doc, t->row, WordClass_tableCell, cell)) != Res_ok)
        return err;
    *out = *cell;
    return Res_ok;
}

// Closes the open tables deeper than depth.
int tablesCloseTo(WordSectionContext *s, uint32_t depth)
{
    int err = Res_ok;
    while (s->table && s->tableDepth > depth) {
        int e = tablesFlushLevel(s);
        if (!err)
            err = e;
    }
    return err;
}

} // namespace

uint32_t Word_paraTableDepth(const WordPap *pap)
{
    if (!pap->fInTable)
        return 0;
    // Without a depth of its own a table paragraph is in a table of the
    // first level; one nested deeper than the limit joins the deepest.
    if (pap->itap <= 1)
        return 1;
    return pap->itap > int32_t(Word_maxTableDepth) ? Word_maxTableDepth : uint32_t(pap->itap);
}

void Word_tableReset(WordSectionContext *s)
{
    while (s->table)
        tablesResetLevel(s);
    s->tableDepth = 0;
}

int Word_tableFlush(WordSectionContext *s)
{
    return tablesCloseTo(s, 0);
}

int Word_tableParent(WordParaState *para, Edr_Node **out)
{
    WordSectionContext *s = para->section;
    *out = s->group;
    uint32_t depth = Word_paraTableDepth(&para->pap);
    int err = tablesCloseTo(s, depth);
    if (err || !depth)
        return err;
    if (!s->table && (err = tablesPush(s, s->group)) != Res_ok)
        return err;
    // Each level's current cell holds the next level's table.
    for (;;) {
        Edr_Node *cell = nullptr;
        if ((err = tablesCell(s, &cell)) != Res_ok)
            return err;
        if (s->tableDepth >= depth) {
            *out = cell;
            return Res_ok;
        }
        if ((err = tablesPush(s, cell)) != Res_ok)
            return err;
    }
}

int Word_tableParaEnd(WordParaState *para)
{
    WordSectionContext *s = para->section;
    uint32_t depth = Word_paraTableDepth(&para->pap);
    int err = tablesCloseTo(s, depth);
    if (err || !depth)
        return err;
    WordTableState *t = s->table;
    if (!t || s->tableDepth != depth)
        return Res_ok;
    // A nested table's cells and rows end at paragraph marks flagged as
    // its cell and row ends; the first level's at the cell mark and the
    // row's end mark.
    bool rowEnd = depth > 1 ? para->pap.fInnerTtp : para->pap.fTtp;
    bool cellEnd = para->cellEnd || (depth > 1 && para->pap.fInnerTableCell);
    if (rowEnd) {
        t->newCell = 1;
        t->rowFinished = 1;
        t->tap = para->tap;
    } else if (cellEnd) {
        t->newCell = 1;
    }
    return Res_ok;
}
