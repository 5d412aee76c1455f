// HLINK bodies and the hyperlink ranges of a laid-out sheet.
#include "spreadsheet/reader/hyperlink.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "spreadsheet/reader/sheetpage.h"
#include "office/ole2/ole.h"
#include "office/shape/place.h"
#include "platform/url/url.h"
#include "spreadsheet/reader/exceldraw.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetobj.h"
#include "spreadsheet/sheetgrid.h"

namespace {

enum : uint32_t {
    headBytes = 32,
    flagMoniker = 0x01,
    flagDisplayText = 0x14,
    flagFrame = 0x80,
    flagTargetString = 0x100,
    monikerFile = 0x00000303,
    monikerUrl = 0x79EAC9E0,
    maxTargetChars = 0x8000,
};

// A bounds-checked cursor over the body.
struct Cursor {
    const uint8_t *data;
    size_t length;
    size_t at;
    bool failed;
};

bool take(Cursor *c, size_t n, const uint8_t **out = nullptr)
{
    if (c->failed || n > c->length - c->at) {
        c->failed = true;
        return false;
    }
    if (out)
        *out = c->data + c->at;
    c->at += n;
    return true;
}

uint32_t take32(Cursor *c)
{
    const uint8_t *p = nullptr;
    return take(c, 4, &p) ? Bytes_peekU32Le(p) : 0;
}

// Skips a counted string {u32 characters, UTF-16 characters}.
void skipCounted(Cursor *c)
{
    uint32_t n = take32(c);
    take(c, size_t(n) * 2);
}

// A new NUL-terminated text of n characters at p (trailing NULs dropped;
// 16-bit or, with wide 0, 8-bit Latin-1). Null with *rc 0 when nothing is
// left.
char16_t *makeText(const uint8_t *p, size_t n, bool wide, int *rc)
{
    *rc = Res_ok;
    auto at = [&](size_t i) -> char16_t {
        return wide ? char16_t(Bytes_peekU16Le(p + 2 * i)) : char16_t(p[i]);
    };
    while (n && at(n - 1) == 0)
        n--;
    if (n > maxTargetChars)
        n = maxTargetChars;
    if (n == 0)
        return nullptr;
    char16_t *t = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!t) {
        *rc = Res_noMemory;
        return nullptr;
    }
    for (size_t i = 0; i < n; i++)
        t[i] = at(i);
    t[n] = 0;
    return t;
}

// The path of a file moniker after its class id: u16 up-level count, the
// 8-bit path {u32 bytes, bytes}, 24 bytes, then u32 size of what follows;
// when that is not 0, u32 byte length, u16 key and the UTF-16 path. A
// moniker without the UTF-16 part names the 8-bit path.
char16_t *fileMonikerPath(Cursor *c, int *rc)
{
    *rc = Res_ok;
    take(c, 2);
    uint32_t ansiBytes = take32(c);
    const uint8_t *ansi = nullptr;
    take(c, ansiBytes, &ansi);
    take(c, 24);
    uint32_t extra = take32(c);
    if (c->failed)
        return nullptr;
    if (extra == 0)
        return makeText(ansi, ansiBytes, false, rc);
    uint32_t bytes = take32(c);
    take(c, 2);
    const uint8_t *path = nullptr;
    if (!take(c, bytes, &path))
        return nullptr;
    return makeText(path, bytes / 2, true, rc);
}

} // namespace

int Excel_parseHyperlink(const uint8_t *body, size_t length, ExcelHyperlink *out)
{
    if (out)
        memset(out, 0, sizeof *out);
    if (!body || !out)
        return Res_missingArgument;
    if (length < headBytes)
        return Excel_errMalformed;
    Cursor c{body, length, headBytes, false};
    uint32_t flags = Bytes_peekU32Le(body + 28);
    if (flags & flagDisplayText)
        skipCounted(&c);
    if (flags & flagFrame)
        skipCounted(&c);
    char16_t *target = nullptr;
    int rc = Res_ok;
    if (flags & flagTargetString) {
        uint32_t n = take32(&c);
        const uint8_t *p = nullptr;
        if (take(&c, size_t(n) * 2, &p))
            target = makeText(p, n, true, &rc);
    } else if (flags & flagMoniker) {
        const uint8_t *id = nullptr;
        if (take(&c, 16, &id)) {
            uint32_t kind = Bytes_peekU32Le(id);
            if (kind == monikerFile) {
                target = fileMonikerPath(&c, &rc);
            } else if (kind == monikerUrl) {
                uint32_t bytes = take32(&c);
                const uint8_t *p = nullptr;
                if (take(&c, bytes, &p))
                    target = makeText(p, bytes / 2, true, &rc);
            }
        }
    }
    if (rc != Res_ok)
        return rc;
    if (c.failed) {
        Mem_free(target);
        return Excel_errMalformed;
    }
    out->firstRow = Bytes_peekU16Le(body);
    out->lastRow = Bytes_peekU16Le(body + 2);
    out->firstColumn = Bytes_peekU16Le(body + 4);
    out->lastColumn = Bytes_peekU16Le(body + 6);
    out->target = target;
    return Res_ok;
}

void Excel_hyperlinkFree(ExcelHyperlink *link)
{
    if (!link)
        return;
    Mem_free(link->target);
    memset(link, 0, sizeof *link);
}

void Excel_hyperlinkTag(TaggedRecord *) {}

const char16_t *Excel_hyperlinkTarget(const TaggedRecord *record)
{
    return record ? reinterpret_cast<const char16_t *>(record + 1) : nullptr;
}

void Excel_hyperlinkRecordTag(TaggedRecord *) {}

namespace {

// Under parent: the position marker at the corner of the cell range on the
// page body and a block group the size of the range carrying target as its
// URL; the group's display and size are its own property list, so that the
// group can be made again after an edit without the load's style sheet.
int linkNodeAt(Edr_Doc *doc, const SheetGrid *grid, Edr_Node *parent, uint32_t firstRow,
               uint32_t firstColumn, uint32_t lastRow, uint32_t lastColumn, const char16_t *target,
               int32_t xOrigin)
{
    // The range as a cell anchor: from the corner of its first cell to the
    // corner after its last.
    uint8_t anchor[18] = {};
    auto put = [&anchor](int at, uint32_t v) {
        v = std::min<uint32_t>(v, 0xFFFF);
        anchor[at] = uint8_t(v);
        anchor[at + 1] = uint8_t(v >> 8);
    };
    put(2, std::min(firstColumn, lastColumn));
    put(6, std::min(firstRow, lastRow));
    put(10, std::max(firstColumn, lastColumn) + 1);
    put(14, std::max(firstRow, lastRow) + 1);
    ShapeRect r{};
    // In the frame of the page body: the grid's top is the body's, its
    // left edge at the page's left margin.
    ExcelDraw_anchorRect(grid, xOrigin, 0, &r, anchor);
    if (r.w < 0) {
        r.x += r.w;
        r.w = -r.w;
    }
    Prop p;
    Prop_zero(&p);
    Prop_set(&p, PropId_position, PropType_pointer, uintptr_t(uint32_t(r.x)), uint32_t(r.y));
    int rc = Edr_Node_createData(doc, parent, Edr_Insert_lastChild, nullptr, &p);
    Edr_Node *group = nullptr;
    if (rc == Res_ok)
        rc = Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, 0, &group);
    if (rc != Res_ok)
        return rc;
    Url *url = Url_new(target);
    rc = url ? Edr_Node_setUrl(doc, group, url) : int(Res_noMemory);
    Url_free(url);
    StyleRule *rule = nullptr;
    if (rc == Res_ok)
        rc = StyleRule_create(&rule);
    if (rc == Res_ok)
        rc = StyleRule_addKeyword(rule, &p, PropId_display, KwId_block);
    if (rc == Res_ok)
        rc = StyleRule_addLength(rule, &p, PropId_width, r.w);
    if (rc == Res_ok)
        rc = StyleRule_addLength(rule, &p, PropId_height, r.h);
    if (rc == Res_ok) {
        rc = Edr_Node_setPropList1(doc, group, rule);
        rule = nullptr;
    }
    StyleRule_destroy(rule);
    Edr_Node_release(doc, group);
    return rc;
}

bool isPositionMarker(Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_data)
        return false;
    const Prop *p = static_cast<const Prop *>(Edr_Node_payloadOrNull(node));
    return p && p->id == PropId_position && p->type == PropType_pointer;
}

bool hasUrl(Edr_Node *node)
{
    return node && Edr_Node_type(node) == Edr_NodeType_group && Edr_Node_hasUrl(node);
}

// The group holding the grid node of grid, or null.
Edr_Node *gridParent(Edr_Node *node, const SheetGrid *grid)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_grid) {
            const Edr_GridNode *g = static_cast<const Edr_GridNode *>(Edr_Node_payloadOrNull(c));
            if (g && g->record == grid)
                return node;
        } else if (Edr_Node_type(c) == Edr_NodeType_group) {
            if (Edr_Node *found = gridParent(c, grid))
                return found;
        }
    }
    return nullptr;
}

} // namespace

int Excel_linkNode(ExcelLoad *book, const SheetGrid *grid, Edr_Node *parent,
                   const ExcelHyperlink *link)
{
    if (!book || !book->doc || !grid || !parent || !link || !link->target)
        return Res_missingArgument;
    const ExcelLoadSheet *sheet = book->layoutSheet;
    return linkNodeAt(book->doc, grid, parent, link->firstRow, link->firstColumn, link->lastRow,
                      link->lastColumn, link->target,
                      sheet ? Excel_Page_margin(sheet->margins[0]) : 0);
}

namespace {
int placeLinks(Edr_Doc *doc, const SheetGrid *grid, Edr_Node *body, int32_t xOrigin);
} // namespace

int Excel_placeLinkNodes(Edr_Doc *doc, const SheetGrid *grid)
{
    if (!doc || !grid)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    Edr_Node *body = gridParent(Edr_Doc_root(doc), grid);
    if (!body) {
        Edr_Doc_readUnlock(doc);
        return Res_ok;
    }
    // The grid's left edge: the page body's left margin.
    int32_t xOrigin = Excel_Page_margin(0);
    Edr_Style *style = nullptr;
    if (Edr_Style_computeForPath(doc, body, &style) == Res_ok && style) {
        const Prop *m = Edr_Style_getProp(style, PropId_marginLeft);
        if (m && m->type == PropType_length)
            xOrigin = int32_t(m->payload);
        Edr_Style_release(style);
    }
    Edr_Doc_readUnlock(doc);
    // Nodes are written to through a reference of one's own.
    int held = Edr_Node_addRefLive(doc, body);
    if (held != Res_ok)
        return held;
    int rc = placeLinks(doc, grid, body, xOrigin);
    Edr_Node_release(doc, body);
    return rc;
}

namespace {

int placeLinks(Edr_Doc *doc, const SheetGrid *grid, Edr_Node *body, int32_t xOrigin)
{
    // The link nodes made before go; the ranges, moved by the edit, make
    // them again.
    for (Edr_Node *c = Edr_Node_firstChild(body); c;) {
        Edr_Node *next = Edr_Node_nextSibling(c);
        if (isPositionMarker(c) && hasUrl(next)) {
            Edr_Node *after = Edr_Node_nextSibling(next);
            // Each remove drops the tree's reference; the one taken here
            // goes with the release.
            for (Edr_Node *n : {next, c}) {
                int rc = Edr_Node_addRefLive(doc, n);
                if (rc != Res_ok)
                    return rc;
                rc = Edr_Node_remove(doc, n);
                Edr_Node_release(doc, n);
                if (rc != Res_ok)
                    return rc;
            }
            c = after;
            continue;
        }
        c = next;
    }
    for (const TaggedNode *n = grid->taggedLists; n; n = n->next) {
        if (n->tag != Excel_hyperlinkTag)
            continue;
        for (const TaggedRecord *r = n->first; r; r = r->next) {
            const char16_t *target = Excel_hyperlinkTarget(r);
            if (!target || !*target)
                continue;
            int rc = linkNodeAt(doc, grid, body, uint32_t(r->words[0]), uint32_t(r->words[1]),
                                uint32_t(r->words[2]), uint32_t(r->words[3]), target, xOrigin);
            if (rc != Res_ok)
                return rc;
        }
    }
    return Res_ok;
}

} // namespace

int Excel_registerHyperlinks(ExcelLoad *book, SheetGrid *grid, Edr_Node *parent)
{
    if (!book || !grid)
        return Res_missingArgument;
    const ExcelLoadSheet *sheet = book->layoutSheet;
    if (!sheet || !sheet->linkCount)
        return Res_ok;
    if (!book->stream)
        return Res_missingArgument;
    for (uint32_t i = 0; i < sheet->linkCount; i++) {
        const ExcelLink &l = sheet->links[i];
        // The record goes back to the file over the range as it then lies.
        int rc = Excel_rangeHandlerAdd(grid, Excel_hyperlinkRecordTag, l.range.firstRow,
                                       l.range.firstColumn, l.range.lastRow, l.range.lastColumn,
                                       &l.position, sizeof l.position);
        if (rc != Res_ok)
            return rc;
        uint8_t *body = static_cast<uint8_t *>(Mem_malloc(l.length ? l.length : 1));
        if (!body)
            return Res_noMemory;
        rc = Ole_streamSeek(book->stream, l.position, 0);
        if (rc == Res_ok)
            rc = Ole_streamReadExact(book->stream, body, l.length);
        ExcelHyperlink link{};
        if (rc == Res_ok)
            rc = Excel_parseHyperlink(body, l.length, &link);
        Mem_free(body);
        if (rc == Res_noMemory)
            return rc;
        if (rc != Res_ok)
            continue; // a link that cannot be read is left out
        // The record carries the target text itself (empty for none).
        const char16_t *t = link.target ? link.target : u"";
        size_t n = 0;
        while (t[n])
            n++;
        rc = Excel_rangeHandlerAdd(grid, Excel_hyperlinkTag, link.firstRow, link.firstColumn,
                                   link.lastRow, link.lastColumn, t,
                                   uint32_t((n + 1) * sizeof(char16_t)));
        if (rc == Res_ok && book->doc && parent && link.target)
            rc = Excel_linkNode(book, grid, parent, &link);
        Excel_hyperlinkFree(&link);
        if (rc != Res_ok)
            return rc;
    }
    return Res_ok;
}
