// Word bookmarks: the names (SttbfBkmk), the start positions (PlcfBkf) and
// the end positions (PlcfBkl) read into one table with the ends sorted,
// and the cursors with which the text reader places bookmark anchors in
// the CP range it builds. Any malformed table leaves the document without
// bookmarks; only running out of memory is an error.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "office/ole2/ole.h"
#include "word/reader/word.h"

namespace {

// A table of the bookmarks' pair, or null (absent, outside its stream).
int readTable(WordReader *r, uint32_t pairIndex, uint8_t **out, uint32_t *length)
{
    const WordFcLcb &pair = r->fib.pairs[pairIndex];
    *length = 0;
    int err = Word_readBlock(r->tableStream, pair.fc, pair.lcb, out);
    if (err == Res_noMemory)
        return err;
    if (err == Res_ok && *out)
        *length = pair.lcb;
    return Res_ok;
}

// Walks the strings of a string table: their count, or 0 when the table
// runs short.
uint32_t countStrings(const uint8_t *p, uint32_t remaining, uint32_t wide, uint32_t extra)
{
    uint32_t count = 0, v = 0;
    while (remaining) {
        if (!Word_sttbReadUnit(&p, &remaining, wide, &v))
            return 0;
        uint64_t bytes = uint64_t(v) * (wide ? 2 : 1) + extra;
        if (bytes > remaining)
            return 0;
        p += bytes;
        remaining -= uint32_t(bytes);
        count++;
    }
    return count;
}

void freeTable(WordBookmarks *b)
{
    if (!b)
        return;
    for (uint32_t i = 0; b->entries && i < b->count; i++)
        Mem_free(b->entries[i].name);
    Mem_free(b->entries);
    Mem_free(b->ends);
    Mem_free(b);
}

// Builds the table from the three tables read; 1, or 0 with *out null
// when they do not agree.
int build(WordReader *r, const uint8_t *sttb, uint32_t sttbLength, const uint8_t *bkf,
          uint32_t bkfLength, const uint8_t *bkl, uint32_t bklLength, WordBookmarks **out)
{
    *out = nullptr;
    const uint8_t *p = sttb;
    uint32_t remaining = sttbLength, v = 0, wide = 0, count = 0, extra = 0;
    if (sttbLength < 3)
        return Res_ok;
    if (sttb[0] == 0xFF && sttb[1] == 0xFF) {
        wide = 1;
        p += 2;
        remaining -= 2;
    }
    if (r->fib.wIdent == Word_identWord97) {
        if (remaining < 4)
            return Res_ok;
        (void)Word_sttbReadUnit(&p, &remaining, 1, &count);
        (void)Word_sttbReadUnit(&p, &remaining, 1, &extra);
        if (count == 0)
            count = countStrings(p, remaining, wide, extra);
    } else if (r->fib.wIdent == Word_identWord6) {
        if (remaining < 2)
            return Res_ok;
        (void)Word_sttbReadUnit(&p, &remaining, 1, &v);
        count = countStrings(p, remaining, wide, 0);
    } else {
        return Res_wordNotWord;
    }
    if (count == 0 || bkfLength != 8 * uint64_t(count) + 4 || bklLength != 4 * uint64_t(count) + 4)
        return Res_ok;
    WordBookmarks *b = static_cast<WordBookmarks *>(Mem_calloc(1, sizeof(WordBookmarks)));
    if (!b)
        return Res_noMemory;
    b->entries = static_cast<WordBookmark *>(Mem_calloc(count, sizeof(WordBookmark)));
    b->ends = static_cast<WordBookmarkEnd *>(Mem_calloc(count, sizeof(WordBookmarkEnd)));
    if (!b->entries || !b->ends) {
        freeTable(b);
        return Res_noMemory;
    }
    b->count = count;
    const uint8_t *bkfData = bkf + 4 * (count + 1);
    for (uint32_t i = 0; i < count; i++) {
        uint32_t length = 0;
        if (!Word_sttbReadUnit(&p, &remaining, wide, &length) ||
            uint64_t(length) * (wide ? 2 : 1) > remaining) {
            freeTable(b);
            return Res_ok;
        }
        WordBookmark &e = b->entries[i];
        e.name = static_cast<char16_t *>(Mem_malloc(2 * (size_t(length) + 1)));
        if (!e.name) {
            freeTable(b);
            return Res_noMemory;
        }
        for (uint32_t k = 0; k < length; k++) {
            uint32_t unit = 0;
            (void)Word_sttbReadUnit(&p, &remaining, wide, &unit);
            e.name[k] = char16_t(unit);
        }
        e.name[length] = 0;
        uint32_t skip = extra < remaining ? extra : remaining;
        p += skip;
        remaining -= skip;
        uint32_t ibkl = uint32_t(Bytes_peekU16Le(bkfData + 4 * i));
        if (ibkl > count) {
            freeTable(b);
            return Res_ok;
        }
        e.start = Bytes_peekU32Le(bkf + 4 * i);
        e.end = Bytes_peekU32Le(bkl + 4 * ibkl);
        b->ends[i] = WordBookmarkEnd{e.end, i};
    }
    std::sort(b->ends, b->ends + count, [](const WordBookmarkEnd &x, const WordBookmarkEnd &y) {
        int32_t d = int32_t(x.end - y.end);
        return d != 0 ? d < 0 : x.index < y.index;
    });
    b->firstStart = b->lastStart = b->firstEnd = b->lastEnd = Word_noBookmark;
    *out = b;
    return Res_ok;
}

} // namespace

int Word_sttbReadUnit(const uint8_t **cursor, uint32_t *remaining, uint32_t wide, uint32_t *value)
{
    uint32_t n = wide ? 2 : 1;
    if (*remaining < n)
        return 0;
    const uint8_t *p = *cursor;
    *value = wide ? uint32_t(Bytes_peekU16Le(p)) : p[0];
    *cursor += n;
    *remaining -= n;
    return 1;
}

int Word_readBookmarks(WordReader *r)
{
    const WordFcLcb *pairs = r->fib.pairs;
    if (!pairs[WordPair_sttbfbkmk].lcb || !pairs[WordPair_plcfbkf].lcb ||
        !pairs[WordPair_plcfbkl].lcb)
        return Res_ok;
    uint8_t *sttb = nullptr, *bkf = nullptr, *bkl = nullptr;
    uint32_t sttbLength = 0, bkfLength = 0, bklLength = 0;
    int err = readTable(r, WordPair_sttbfbkmk, &sttb, &sttbLength);
    if (err == Res_ok)
        err = readTable(r, WordPair_plcfbkf, &bkf, &bkfLength);
    if (err == Res_ok)
        err = readTable(r, WordPair_plcfbkl, &bkl, &bklLength);
    if (err == Res_ok && sttb && bkf && bkl)
        err = build(r, sttb, sttbLength, bkf, bkfLength, bkl, bklLength, &r->bookmarks);
    Mem_free(sttb);
    Mem_free(bkf);
    Mem_free(bkl);
    return err;
}

void Word_bookmarksFree(WordReader *r)
{
    freeTable(r->bookmarks);
    r->bookmarks = nullptr;
}

void Word_bookmarksForRange(WordReader *r, uint32_t start, uint32_t end)
{
    WordBookmarks *b = r->bookmarks;
    if (!b)
        return;
    b->rangeStart = start;
    b->rangeEnd = end;
    b->firstStart = b->lastStart = b->firstEnd = b->lastEnd = Word_noBookmark;
    for (uint32_t i = 0; i < b->count; i++) {
        bool in = b->entries[i].start >= start && b->entries[i].start < end;
        if (in && b->firstStart == Word_noBookmark)
            b->firstStart = i;
        if (b->firstStart != Word_noBookmark) {
            if (!in)
                break;
            b->lastStart = i;
        }
    }
    for (uint32_t i = 0; i < b->count; i++) {
        bool in = b->ends[i].end > start && b->ends[i].end <= end;
        if (in && b->firstEnd == Word_noBookmark)
            b->firstEnd = i;
        if (b->firstEnd != Word_noBookmark) {
            if (!in)
                break;
            b->lastEnd = i;
        }
    }
}

const char16_t *Word_bookmarkName(WordReader *r, uint32_t index)
{
    if (!r->bookmarks || index >= r->bookmarks->count)
        return nullptr;
    return r->bookmarks->entries[index].name;
}

uint32_t Word_bookmarkStartAt(WordReader *r, uint32_t cp, uint32_t limit)
{
    const WordBookmarks *b = r->bookmarks;
    if (!b || b->firstStart == Word_noBookmark || cp >= limit)
        return Word_noBookmark;
    return b->entries[b->firstStart].start == cp ? b->firstStart : Word_noBookmark;
}

uint32_t Word_bookmarkEndAt(WordReader *r, uint32_t, uint32_t cp, uint32_t limit)
{
    const WordBookmarks *b = r->bookmarks;
    if (!b || b->firstEnd == Word_noBookmark || cp > limit)
        return Word_noBookmark;
    return b->ends[b->firstEnd].end == cp ? b->firstEnd : Word_noBookmark;
}

void Word_bookmarkStarted(WordReader *r, uint32_t nodeId, uint32_t index)
{
    WordBookmarks *b = r->bookmarks;
    if (!b || index >= b->count)
        return;
    b->entries[index].nodeId = nodeId;
    if (b->firstStart == index)
        b->firstStart = index < b->lastStart ? index + 1 : Word_noBookmark;
}

void Word_bookmarkEnded(WordReader *r, uint32_t pair)
{
    WordBookmarks *b = r->bookmarks;
    if (!b || pair >= b->count)
        return;
    if (b->firstEnd == pair)
        b->firstEnd = pair < b->lastEnd ? pair + 1 : Word_noBookmark;
}
