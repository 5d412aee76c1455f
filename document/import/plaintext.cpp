// The plain-text importer: character-set choice, chunked conversion, links,
// paragraphs of powerzoom mode, pages on demand and the text style sheet.
//
// The stream is read in lent chunks of at most 4096 bytes. Each chunk is
// converted whole into a reused 16-bit buffer; bytes of a character cut by
// the chunk's end stay in the stream and begin the next chunk, so a chunk
// always starts where the previous one stopped converting and the chunk
// boundaries are the same whether the text is read from the start or from
// a recorded page start. A page start is recorded with the converter's
// state before its chunk, so that page requests convert exactly as the
// import did (shift states of ISO-2022-JP, the passed start of UTF-16).
//
// Text reaches the tree through an appender: plain runs become text nodes
// of the current group, addresses become link groups, and the few
// characters of an address or of its prefix that a chunk cuts off wait for
// the next chunk. A space that starts a line becomes a no-break space so
// that layout keeps it; where a chunk happens to begin plays no part.
#include "document/import/plaintext.h"

#include <cstring>

#include "core/config/config.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/triple.h"
#include "core/style/propids.h"
#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "core/text/charset.h"
#include "core/text/charset_detect.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "document/edr/loadprogress.h"
#include "document/edr/node.h"
#include "document/edit/selection.h"
#include "document/manager/manager.h"
#include "fonts/fontengine.h"
#include "fonts/textrun.h"
#include "document/edr/layoutops.h"
#include "document/import/textsniff.h"
#include "platform/api/engine.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

// Feature flags the importer sets on its document.
constexpr uint32_t kFeatureLoading = 2;
constexpr uint32_t kFeatureDone = 1;
constexpr uint32_t kFeatureText = 8;

// Load-progress category of an importer's work, and the monitor notice.
constexpr uint32_t kProgressWork = 1;
constexpr uintptr_t kMonitorOpened = 1;

constexpr uint32_t kSheetKind = 2;
constexpr char16_t kNoBreakSpace = 0xA0;
constexpr char16_t kReplacement = 0xFFFD;

// ----------------------------------------------------------- the settings

uint32_t setting(EngineContext *ctx, const char16_t *domain, const char *key, uint32_t defaultValue)
{
    return Config_getIntA(ctx, ctx->config, domain, key, defaultValue);
}

// --------------------------------------------------------- text buffers

// A reused buffer of converted text.
struct TextBuf {
    char16_t *units;
    size_t length;
    size_t capacity;
};

int reserve(TextBuf *buf, size_t units)
{
    if (units <= buf->capacity)
        return Res_ok;
    char16_t *p = static_cast<char16_t *>(Mem_realloc(buf->units, units * sizeof(char16_t)));
    if (!p)
        return Res_noMemory;
    buf->units = p;
    buf->capacity = units;
    return Res_ok;
}

// Converts a whole chunk into buf (emptied first). *used receives the bytes
// taken: all of them but the start of a character the chunk cuts off. The
// buffer starts at one unit per byte, which every converter but a broken
// one respects, and doubles when a converter asks for more room.
int convertChunk(TextLoader *loader, const uint8_t *bytes, size_t length, TextBuf *buf,
                 size_t *used)
{
    *used = 0;
    buf->length = 0;
    int err = reserve(buf, length ? length : 1);
    if (err)
        return err;
    size_t done = 0;
    for (;;) {
        size_t consumed = 0, produced = 0;
        size_t room = (buf->capacity - buf->length) * sizeof(char16_t);
        int r = loader->convert(loader->ctx, bytes + done, length - done,
                                reinterpret_cast<uint8_t *>(buf->units + buf->length), room,
                                &consumed, &produced, &loader->convState);
        done += consumed;
        buf->length += produced / sizeof(char16_t);
        if (r == Res_ok || r == Res_charsetIncomplete)
            break;
        if (r != Res_charsetDestFull)
            return r;
        if (done >= length)
            break;
        // No converter needs four units per byte: more is a runaway.
        if (buf->capacity > 4 * length + 64)
            return Res_charsetUnknown;
        if ((err = reserve(buf, buf->capacity * 2)))
            return err;
    }
    *used = done;
    return Res_ok;
}

// ---------------------------------------------------------------- links

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r';
}

bool endsAddress(char16_t c)
{
    return c == 0 || c == kNoBreakSpace || c == u' ' || isLineBreak(c) || c > 0xFF;
}

// At an 'h': the length of the "http://" or "https://" that starts s (any
// case), 0 when neither does, -1 when s ends inside a possible prefix.
int matchPrefix(const char16_t *s, size_t n)
{
    static constexpr const char *forms[] = {"http://", "https://"};
    bool cut = false;
    for (const char *form : forms) {
        size_t k = 1;
        size_t len = strlen(form);
        while (k < len && k < n && Ustr_lowerAscii(s[k]) == uint32_t(uint8_t(form[k])))
            k++;
        if (k == len)
            return int(len);
        if (k == n)
            cut = true;
    }
    return cut ? -1 : 0;
}

// ------------------------------------------------------------ appending

Edr_Node *currentGroup(const TextAppender *a)
{
    return a->paragraph ? a->paragraph : a->group;
}

int appendPlain(TextAppender *a, const char16_t *s, size_t n)
{
    if (!n)
        return Res_ok;
    return Edr_Node_createText(a->doc, currentGroup(a), Edr_Insert_lastChild, nullptr, s,
                               uint32_t(n));
}

// A group with id, made as the last child of parent; *out holds a reference.
int newGroup(Edr_Doc *doc, Edr_Node *parent, uint32_t id, Edr_Node **out)
{
    int err = Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, 0, out);
    if (err == Res_ok && (err = Edr_Node_addId(doc, *out, id)) != Res_ok) {
        Edr_Node_release(doc, *out);
        *out = nullptr;
    }
    return err;
}

int appendLink(TextAppender *a, const char16_t *s, size_t n)
{
    char16_t *text = Ustr_dupN(s, n);
    Url *url = text ? Url_new(text) : nullptr;
    Mem_free(text);
    if (!url)
        return Res_noMemory;
    Edr_Node *link = nullptr;
    int err = newGroup(a->doc, currentGroup(a), TextDoc_idLink, &link);
    if (err == Res_ok)
        err = Edr_Node_createText(a->doc, link, Edr_Insert_lastChild, nullptr, s, uint32_t(n));
    if (err == Res_ok)
        err = Edr_Node_setUrl(a->doc, link, url);
    Edr_Node_release(a->doc, link);
    Url_free(url);
    return err;
}

int carryText(TextAppender *a, const char16_t *s, size_t n)
{
    if (!n)
        return Res_ok;
    size_t need = size_t(a->carryLength) + n;
    if (need > a->carryCapacity) {
        size_t cap = a->carryCapacity ? a->carryCapacity : 16;
        while (cap < need)
            cap *= 2;
        if (cap > UINT32_MAX)
            return Res_noMemory;
        char16_t *p = static_cast<char16_t *>(Mem_realloc(a->carry, cap * sizeof(char16_t)));
        if (!p)
            return Res_noMemory;
        a->carry = p;
        a->carryCapacity = uint32_t(cap);
    }
    if (n)
        memcpy(a->carry + a->carryLength, s, n * sizeof(char16_t));
    a->carryLength = uint32_t(need);
    return Res_ok;
}

// Powerzoom: what came so far goes to the current paragraph, and a new
// paragraph group starts under the group.
int startParagraph(TextAppender *a)
{
    Edr_Node *paragraph = nullptr;
    int err = newGroup(a->doc, a->group, TextDoc_idParagraph, &paragraph);
    if (err)
        return err;
    Edr_Node_release(a->doc, a->paragraph);
    a->paragraph = paragraph;
    return Res_ok;
}

// Walks b (no carry in front of it any more), appending plain runs, links
// and paragraph ends, and carries what the end of b cuts off.
int scanText(TextAppender *a, char16_t *b, size_t n, int final)
{
    size_t run = 0;
    size_t i = 0;
    int err = Res_ok;
    while (i < n) {
        char16_t c = b[i];
        if (c == u' ' && (!a->started || isLineBreak(a->previous)))
            c = b[i] = kNoBreakSpace;
        if (c == u'h' || c == u'H') {
            int m = matchPrefix(b + i, n - i);
            if (m < 0 && !final) {
                if ((err = appendPlain(a, b + run, i - run)))
                    return err;
                return carryText(a, b + i, n - i);
            }
            if (m > 0) {
                if ((err = appendPlain(a, b + run, i - run)))
                    return err;
                size_t j = i + size_t(m);
                while (j < n && !endsAddress(b[j]))
                    j++;
                a->started = 1;
                a->runLength += uint32_t(j - i);
                if (j == n && !final) {
                    a->inLink = 1;
                    a->previous = b[j - 1];
                    return carryText(a, b + i, n - i);
                }
                if ((err = appendLink(a, b + i, j - i)))
                    return err;
                a->previous = b[j - 1];
                i = run = j;
                continue;
            }
        }
        if (a->powerzoom) {
            if (c == u'\n') {
                if (a->runLength > TextDoc_longRun) {
                    if ((err = appendPlain(a, b + run, i + 1 - run)) || (err = startParagraph(a)))
                        return err;
                    run = i + 1;
                }
                a->runLength = 0;
            } else {
                a->runLength++;
            }
        }
        a->previous = c;
        a->started = 1;
        i++;
    }
    return appendPlain(a, b + run, n - run);
}

// ---------------------------------------------------------------- loader

void freeLoader(TextLoader *loader)
{
    if (!loader)
        return;
    // The stream was only read or probed: a failed close loses nothing.
    (void)Vfs_close(loader->stream);
    if (loader->root)
        Edr_Node_release(loader->doc, loader->root);
    Mem_free(loader->pageStarts);
    Mem_free(loader->pageChars);
    Mem_free(loader->pageStates);
    Mem_free(loader);
}

int growPages(TextLoader *loader, uint32_t capacity)
{
    uint64_t *starts =
        static_cast<uint64_t *>(Mem_realloc(loader->pageStarts, capacity * sizeof(uint64_t)));
    if (!starts)
        return Res_noMemory;
    loader->pageStarts = starts;
    uint32_t *chars =
        static_cast<uint32_t *>(Mem_realloc(loader->pageChars, capacity * sizeof(uint32_t)));
    if (!chars)
        return Res_noMemory;
    loader->pageChars = chars;
    CharsetState *states = static_cast<CharsetState *>(
        Mem_realloc(loader->pageStates, capacity * sizeof(CharsetState)));
    if (!states)
        return Res_noMemory;
    loader->pageStates = states;
    loader->pageCapacity = capacity;
    return Res_ok;
}

// Stores entry index (a page start, or the end of the text), growing the
// arrays by doubling so that one entry more always fits.
int recordEntry(TextLoader *loader, uint32_t index, uint64_t offset, uint32_t chars,
                const CharsetState *state)
{
    if (index + 1 >= loader->pageCapacity) {
        if (loader->pageCapacity > UINT32_MAX / 2)
            return Res_noMemory;
        int err = growPages(loader, loader->pageCapacity * 2);
        if (err)
            return err;
    }
    loader->pageStarts[index] = offset;
    loader->pageChars[index] = chars;
    loader->pageStates[index] = *state;
    return Res_ok;
}

// The group of a new page under the loader's root, id 1; pages after the
// first start with their contents dropped.
int addPage(TextLoader *loader, uint32_t index, Edr_Node **out)
{
    *out = nullptr;
    int err = newGroup(loader->doc, loader->root, TextDoc_idText, out);
    if (err == Res_ok && index > 0)
        err = Edr_Doc_dropPageNode(loader->doc, *out, 1);
    return err;
}

// Lends the next chunk: at most 4096 bytes; a shorter one is the last.
int lendChunk(VfsHandle *stream, const uint8_t **bytes, size_t *length, bool *last)
{
    int err = Vfs_getReadBuf(stream, TextDoc_chunkBytes, bytes, length);
    if (err)
        return err;
    *last = *length < TextDoc_chunkBytes;
    if (*length > TextDoc_chunkBytes)
        *length = TextDoc_chunkBytes;
    return Res_ok;
}

// Converts a lent chunk; at the end of the text a character cut short
// becomes U+FFFD.
int convertLent(TextLoader *loader, const uint8_t *bytes, size_t length, bool last, TextBuf *buf,
                size_t *used)
{
    int err = convertChunk(loader, bytes, length, buf, used);
    if (err == Res_ok && last && *used < length) {
        if ((err = reserve(buf, buf->length + 1)) == Res_ok)
            buf->units[buf->length++] = kReplacement;
    }
    return err;
}

// Counts lines and pages over one converted chunk (page mode). A page
// start is recorded at the first character after 66 lines, so a text that
// ends with a full page gets no empty page after it. *firstEnd receives
// where page 0 ends in the chunk (the chunk's length while it goes on).
struct PageCounter {
    uint32_t column;
    uint32_t lines;
    bool pending;
};

int countPages(TextLoader *loader, PageCounter *pc, uint64_t offset, const CharsetState *before,
               const TextBuf *buf, size_t *firstEnd)
{
    *firstEnd = buf->length;
    for (size_t i = 0; i < buf->length; i++) {
        if (pc->pending) {
            int err = recordEntry(loader, loader->pageCount, offset, uint32_t(i), before);
            if (err)
                return err;
            if (loader->pageCount == 1)
                *firstEnd = i;
            loader->pageCount++;
            pc->pending = false;
        }
        char16_t c = buf->units[i];
        if (c == u'\n') {
            pc->lines++;
            pc->column = 0;
        } else if (c != u'\r' && ++pc->column == TextDoc_lineChars) {
            pc->lines++;
            pc->column = 0;
        }
        if (pc->lines == TextDoc_pageLines) {
            pc->lines = 0;
            pc->pending = true;
        }
    }
    return Res_ok;
}

// Whether a character set gives one UTF-16 unit per byte with the ASCII
// bytes unchanged (so LF and CR are themselves): the page counter can then
// walk the bytes, and a character's index in a chunk is its byte's.
bool oneUnitPerByte(uint32_t code)
{
    return code == CharsetCode_latin1 ||
           (code >= CharsetCode_cp437 && code <= CharsetCode_iso2022cn);
}

// countPages over the bytes of a chunk of such a character set, without
// converting them: the stretches between line ends are counted whole (a
// stretch of n characters from column c ends (c + n) / 86 lines), and only
// the line that ends a page is placed exactly.
int countPageBytes(TextLoader *loader, PageCounter *pc, uint64_t offset, const CharsetState *state,
                   const uint8_t *bytes, size_t length)
{
    size_t i = 0;
    while (i < length) {
        if (pc->pending) {
            int err = recordEntry(loader, loader->pageCount, offset, uint32_t(i), state);
            if (err)
                return err;
            loader->pageCount++;
            pc->pending = false;
        }
        const uint8_t *from = bytes + i;
        const void *lf = memchr(from, '\n', length - i);
        size_t stop = lf ? size_t(static_cast<const uint8_t *>(lf) - bytes) : length;
        if (const void *cr = memchr(from, '\r', stop - i))
            stop = size_t(static_cast<const uint8_t *>(cr) - bytes);
        size_t total = pc->column + (stop - i);
        size_t wraps = total / TextDoc_lineChars;
        uint32_t need = TextDoc_pageLines - pc->lines;
        if (wraps >= need) {
            // The character that fills the page's last line.
            i += size_t(need) * TextDoc_lineChars - pc->column;
            pc->lines = 0;
            pc->column = 0;
            pc->pending = true;
            continue;
        }
        pc->lines += uint32_t(wraps);
        pc->column = uint32_t(total % TextDoc_lineChars);
        i = stop;
        if (i == length)
            break;
        if (bytes[i++] == '\n') {
            pc->lines++;
            pc->column = 0;
            if (pc->lines == TextDoc_pageLines) {
                pc->lines = 0;
                pc->pending = true;
            }
        }
    }
    return Res_ok;
}

// Tells the document's load-progress tracker (when it has one).
void progress(Edr_Doc *doc, int32_t total, int32_t done)
{
    LoadProgress *tracker = Edr_Doc_getLoadStats(doc);
    if (!tracker)
        return;
    if (total)
        // Progress counts only feed the progress notice; the load goes on either way.
        (void)LoadProgress_addTotal(tracker, kProgressWork, total);
    if (done)
        // Progress counts only feed the progress notice; the load goes on either way.
        (void)LoadProgress_addDone(tracker, kProgressWork, done);
}

// The tab interval of the page rule: eight characters of the monospace
// font at 8 points (every character of it is as wide as a space).
int32_t tabInterval(EngineContext *ctx)
{
    static constexpr const char *families[] = {"monospace"};
    FontList *fonts = nullptr;
    if (Font_listCreate(ctx->instance, families, 1, 0, nullptr, &fonts) != Res_ok || !fonts)
        return TextDoc_measureFallback;
    Rect box{};
    uint32_t fitted = 0;
    int err =
        TextRun_measureFit(fonts, 0x80000, 0, nullptr, u"        ", 8, 0, 0, 541983, &fitted, &box);
    Font_listRelease(fonts);
    return err == Res_ok ? box.x1 - box.x0 : int32_t(TextDoc_measureFallback);
}

// --------------------------------------------------------- style values

int addValue(StyleRule *rule, const Prop &value)
{
    return StyleRule_appendProp(rule, &value);
}

int addLength(StyleRule *rule, uint32_t id, int32_t length)
{
    Prop p{};
    Prop_setLength(&p, id, length);
    return addValue(rule, p);
}

int addKeyword(StyleRule *rule, uint32_t id, uint16_t keyword)
{
    Prop p{};
    Prop_setType(&p, id, keyword);
    return addValue(rule, p);
}

int addColour(StyleRule *rule, uint32_t id, uint32_t word)
{
    Prop p{};
    Prop_setWord(&p, id, PropType_colour, word);
    return addValue(rule, p);
}

int addPaletteColour(StyleRule *rule, uint32_t id, uint32_t index)
{
    uint8_t rgba[4];
    Edr_Layout_paletteColour(nullptr, index, rgba);
    Prop p{};
    Prop_setColour(&p, id, rgba);
    return addValue(rule, p);
}

// The line spacing: a multiple of 120 percent of a base of 100.
int addLineSpacing(StyleRule *rule)
{
    PropLineSpacing *record = nullptr;
    int err = Obj_newTriple(&record, 1, 120 << 16, 100 << 16);
    if (err)
        return err;
    Prop p{};
    Prop_set110(&p, record);
    err = addValue(rule, p);
    Prop_free(&p);
    return err;
}

int addString(StyleRule *rule, uint32_t id, const char16_t *text)
{
    Prop p{};
    // The rule stores a copy; the constant text is only read.
    Prop_setUstr(&p, id, const_cast<char16_t *>(text), uint32_t(Ustr_len(text)));
    return addValue(rule, p);
}

int pageRule(EngineContext *ctx, StyleRule *rule, uint32_t singlePage, uint32_t pageMode,
             const int32_t *margins)
{
    int32_t vertical = margins && margins[0] >= 0 ? margins[0] : 0x10000;
    int32_t horizontal = margins && margins[1] >= 0 ? margins[1] : 0x14000;
    int err = addLength(rule, PropId_width, 541983);
    if (!err && !singlePage)
        err = addLength(rule, pageMode ? PropId_minHeight : PropId_height, 0xC0000);
    if (!err)
        err = addLength(rule, PropId_tabInterval, tabInterval(ctx));
    if (!err)
        err = addLength(rule, PropId_tabOrigin, 0x14000);
    if (!err)
        err = addLength(rule, PropId_fontSize, 7281);
    if (!err)
        err = addLength(rule, PropId_marginTop, vertical);
    if (!err)
        err = addLength(rule, PropId_marginBottom, vertical);
    if (!err)
        err = addLength(rule, PropId_marginLeft, horizontal);
    if (!err)
        err = addLength(rule, PropId_marginRight, horizontal);
    if (!err)
        err = addString(rule, PropId_fontFamily, u"monospace");
    if (!err)
        err = addColour(rule, PropId_backgroundColor, 0xFFFFFFFFu);
    if (!err)
        err = addKeyword(rule, PropId_whiteSpace, KwId_preWrap);
    if (!err)
        err = addKeyword(rule, PropId_display, KwId_block);
    if (!err)
        err = addLineSpacing(rule);
    if (!err)
        err = StyleRule_addMatch10(rule, TextDoc_idText);
    return err;
}

int linkRule(StyleRule *rule, uint32_t state)
{
    int err = addPaletteColour(rule, PropId_color, state == 8 ? 2 : 11);
    if (!err)
        err = addKeyword(rule, PropId_textDecoration, KwId_underline);
    if (!err)
        err = StyleRule_addMatch(rule, TextDoc_idLink, state, 11);
    return err;
}

int paragraphRule(StyleRule *rule)
{
    int err = addKeyword(rule, PropId_display, KwId_block);
    for (uint32_t id = PropId_marginTop; !err && id <= PropId_marginLeft; id++)
        err = addLength(rule, id, 0);
    if (!err)
        err = addLineSpacing(rule);
    if (!err)
        err = StyleRule_addMatch10(rule, TextDoc_idParagraph);
    return err;
}

// Hands a finished rule to the sheet; on a filling error the rule is
// destroyed instead.
int giveRule(Request *sheet, StyleRule *rule, int err)
{
    if (!err)
        err = Request_addItem(sheet, &rule);
    StyleRule_destroy(rule);
    return err;
}

// ---------------------------------------------------------------- import

// The work of one import.
struct Import {
    EngineContext *ctx;
    Edr_Doc *doc;
    TextLoader *loader;
    bool pageMode;
    Edr_Node *group; // the text group, or page 0's (one reference)
    TextAppender appender;
    TextBuf buf;
    int64_t total;  // the stream size, -1 when unknown
    int64_t done;   // bytes consumed so far
    bool bytePages; // pages after the first are counted on the bytes
};

// Converts one lent chunk into the import's buffer: in page mode it counts
// the pages the characters fill and keeps only the first page's text; in
// whole mode all of it is appended. A full chunk that converts nothing
// cannot be read any further, so it ends the reading (*last).
int convertChunk(Import *im, TextLoader *loader, PageCounter *pc, uint64_t offset,
                 CharsetState *before, const uint8_t *bytes, size_t length, bool *last,
                 size_t *used, size_t *lastChars, bool *firstOpen)
{
    int err = convertLent(loader, bytes, length, *last, &im->buf, used);
    *lastChars = im->buf.length;
    if (err == Res_ok && *used == 0 && !*last)
        *last = true;
    if (err != Res_ok)
        return err;
    if (!im->pageMode)
        return TextDoc_appendText(&im->appender, im->buf.units, uint32_t(im->buf.length), 0);
    size_t firstEnd = 0;
    err = countPages(loader, pc, offset, before, &im->buf, &firstEnd);
    if (err == Res_ok && *firstOpen)
        err = TextDoc_appendText(&im->appender, im->buf.units, uint32_t(firstEnd), 0);
    *firstOpen = loader->pageCount == 1;
    return err;
}

int readAll(Import *im)
{
    TextLoader *loader = im->loader;
    VfsHandle *stream = loader->stream;
    // The first chunk decides the character set; a UTF-8 mark is consumed
    // before the chunks start.
    const uint8_t *bytes = nullptr;
    size_t length = 0;
    bool last = false;
    int err = lendChunk(stream, &bytes, &length, &last);
    if (err)
        return err;
    bool bom = length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    uint32_t code = 0;
    err = TextDoc_pickCharset(im->ctx, bytes, length, bom, &loader->convert, &code,
                              &loader->convState);
    // Only gives the lent read buffer back; the next read reports any stream fault.
    (void)Vfs_readDone(stream, err == Res_ok && bom ? 3 : 0);
    if (err)
        return err;
    // The document remembers its character set: the viewer announces it.
    if ((err = Edr_Doc_setCharset(im->doc, code)) != Res_ok)
        return err;
    im->bytePages = im->pageMode && oneUnitPerByte(code);
    uint64_t offset = bom ? 3 : 0;
    im->done = int64_t(offset);
    progress(im->doc, 0, int32_t(offset));
    PageCounter pc{};
    if (im->pageMode && (err = recordEntry(loader, 0, offset, 0, &loader->convState)))
        return err;
    bool firstOpen = true;
    uint64_t lastOffset = offset;
    CharsetState lastState = loader->convState;
    size_t lastChars = 0; // characters of the last chunk
    for (last = false; !last;) {
        if ((err = lendChunk(stream, &bytes, &length, &last)))
            return err;
        CharsetState before = loader->convState;
        size_t used = 0;
        if (im->bytePages && !firstOpen) {
            // Past the first page only the page starts are wanted: the
            // bytes are the characters.
            used = length;
            lastChars = length;
            err = countPageBytes(loader, &pc, offset, &before, bytes, length);
        } else {
            err = convertChunk(im, loader, &pc, offset, &before, bytes, length, &last, &used,
                               &lastChars, &firstOpen);
        }
        if (err) {
            // Only gives the lent read buffer back; the next read reports any stream fault.
            (void)Vfs_readDone(stream, 0);
            return err;
        }
        progress(im->doc, 0, int32_t(used));
        im->done += int64_t(used);
        // Only gives the lent read buffer back; the next read reports any stream fault.
        (void)Vfs_readDone(stream, used);
        lastOffset = offset;
        lastState = before;
        offset += used;
    }
    err = TextDoc_appendText(&im->appender, nullptr, 0, 1);
    // The end of the text closes the last page.
    if (err == Res_ok && im->pageMode)
        err = recordEntry(loader, loader->pageCount, lastOffset, uint32_t(lastChars), &lastState);
    return err;
}

int importText(Import *im, VfsHandle *stream, Edr_Node *target)
{
    EngineContext *ctx = im->ctx;
    Edr_Doc *doc = im->doc;
    // 1. The loader state.
    uint32_t singlePage = setting(ctx, u"Core", "Vexlan_TextDaSinglePage", 0);
    im->pageMode = singlePage == 0 && Edr_Doc_isPageOnDemand(doc) && target == Edr_Doc_root(doc);
    TextLoader *loader = static_cast<TextLoader *>(Mem_calloc(1, sizeof(TextLoader)));
    if (!loader) {
        // The stream was only read or probed: a failed close loses nothing.
        (void)Vfs_close(stream);
        return Res_noMemory;
    }
    im->loader = loader;
    loader->ctx = ctx;
    loader->doc = doc;
    loader->stream = stream;
    loader->pageCount = 1;
    loader->powerzoom = setting(ctx, nullptr, "OptimiseTextDaForPowerzoom", 0) != 0;
    int err = im->pageMode ? growPages(loader, TextDoc_initialPages) : Res_ok;
    if (err == Res_ok)
        err = Edr_Node_acquire(doc, target, &loader->root);
    if (err == Res_ok)
        err = Edr_Doc_setupFromStream(doc, stream);
    // 2. The style sheet.
    if (err == Res_ok)
        err = TextDoc_setupStyles(ctx, doc, singlePage, im->pageMode, loader->powerzoom, nullptr);
    // 3. The group of the text, or of page 0.
    if (err == Res_ok)
        err = im->pageMode ? addPage(loader, 0, &im->group)
                           : newGroup(doc, loader->root, TextDoc_idText, &im->group);
    if (err)
        return err;
    im->appender.doc = doc;
    im->appender.group = im->group;
    im->appender.powerzoom = loader->powerzoom;
    // 4. The progress tracker learns the size.
    uintptr_t value = 0;
    im->total = -1;
    if (Vfs_getInfo(stream, VfsInfo_size, &value) == Res_ok && value)
        im->total = int64_t(*reinterpret_cast<const uint64_t *>(value));
    progress(doc, im->total >= 0 && im->total <= INT32_MAX ? int32_t(im->total) : -1, 0);
    // 5. and 6. The chunks, then the other pages' groups.
    if ((err = readAll(im)))
        return err;
    if (!im->pageMode)
        return Res_ok;
    if ((err = Edr_Doc_dropPage(doc, 0, 0)))
        return err;
    for (uint32_t page = 1; page < loader->pageCount; page++) {
        Edr_Node *group = nullptr;
        err = addPage(loader, page, &group);
        Edr_Node_release(doc, group);
        if (err)
            return err;
    }
    Edr_Doc_setLoaderData(doc, loader);
    im->loader = nullptr;
    return Res_ok;
}

// Builds page N of the loader's text (TextDoc_step).
int buildPage(TextLoader *loader, uint32_t page)
{
    Edr_Doc *doc = loader->doc;
    // The page's group, emptied of anything an earlier build left.
    Edr_Node *group = nullptr;
    int err = Edr_Doc_nthRootChild(doc, page, &group);
    if (err == Res_ok && !group)
        err = newGroup(doc, loader->root, TextDoc_idText, &group);
    if (err == Res_ok)
        err = Edr_Doc_dropPage(doc, page, 1);
    if (err == Res_ok)
        err = Edr_Doc_dropPage(doc, page, 0);
    uint64_t start = loader->pageStarts[page];
    uint64_t end = loader->pageStarts[page + 1];
    if (err == Res_ok)
        err = Vfs_seek(loader->stream, start);
    TextAppender appender{};
    appender.doc = doc;
    appender.group = group;
    appender.powerzoom = loader->powerzoom;
    TextBuf buf{};
    loader->convState = loader->pageStates[page];
    uint64_t offset = start;
    for (bool last = false, more = err == Res_ok; more;) {
        const uint8_t *bytes = nullptr;
        size_t length = 0, used = 0;
        if ((err = lendChunk(loader->stream, &bytes, &length, &last)))
            break;
        err = convertLent(loader, bytes, length, last, &buf, &used);
        if (err == Res_ok) {
            size_t from = offset == start ? loader->pageChars[page] : 0;
            size_t to = offset >= end ? loader->pageChars[page + 1] : buf.length;
            to = to < buf.length ? to : buf.length;
            from = from < to ? from : to;
            err = TextDoc_appendText(&appender, buf.units + from, uint32_t(to - from), 0);
        }
        // Only gives the lent read buffer back; the next read reports any stream fault.
        (void)Vfs_readDone(loader->stream, err == Res_ok ? used : 0);
        more = err == Res_ok && offset < end && !last && used > 0;
        offset += used;
    }
    if (err == Res_ok)
        err = TextDoc_appendText(&appender, nullptr, 0, 1);
    TextDoc_finishAppender(&appender);
    Mem_free(buf.units);
    Edr_Node_release(doc, group);
    return err;
}

} // namespace

// ------------------------------------------------------------ the handler

int TextDoc_describe(EngineContext *, Edr_HandlerDesc *desc)
{
    desc->acceptsTypeOnly = 1;
    desc->matchMime = TextDoc_matchMime;
    desc->sniff = TextDoc_sniff;
    desc->open = TextDoc_open;
    desc->step = TextDoc_step;
    desc->close = TextDoc_close;
    desc->release = TextDoc_release;
    desc->enabled = 1;
    return Res_ok;
}

int TextDoc_sniff(EngineContext *context, Edr_HandlerDesc *, VfsHandle *stream, int32_t *score,
                  uint32_t *typeId)
{
    const uint8_t *bytes = nullptr;
    size_t length = 0;
    int err = Vfs_getReadBuf(stream, TextDoc_sniffBytes, &bytes, &length);
    if (err)
        return err;
    bool text =
        TextDoc_sniffText(context, bytes,
                          length < TextDoc_sniffBytes ? length : size_t(TextDoc_sniffBytes)) != 0;
    // Only gives the lent read buffer back; the next read reports any stream fault.
    (void)Vfs_readDone(stream, 0);
    *score = text ? int32_t(TextDoc_sniffScore) : 0;
    *typeId = text ? uint32_t(TextDoc_mimeTypeId) : 0;
    return Res_ok;
}

int TextDoc_matchMime(EngineContext *, Edr_HandlerDesc *, const char16_t *mime, int32_t *score)
{
    *score = mime && Ustr_icmpCstr(mime, "text/plain") == 0 ? 100 : 0;
    return Res_ok;
}

void TextDoc_release(EngineContext *, Edr_HandlerDesc *) {}

int TextDoc_open(EngineContext *context, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *doc,
                 Edr_Node *target)
{
    (void)Vfs_notifyMonitor(stream, kMonitorOpened);
    int err = Edr_Doc_orFeatureFlags(doc, kFeatureLoading);
    if (err == Res_ok)
        err = Edr_Doc_orFeatureFlags(doc, Edr_featurePageOnDemand);
    if (err) {
        // The stream was only read or probed: a failed close loses nothing.
        (void)Vfs_close(stream);
        return err;
    }
    // The import is loading activity: its end runs the manager's final
    // pass at once and lets the document settle.
    Edr_Mgr_busyBegin(doc);
    err = TextDoc_import(context, stream, doc, target);
    if (err == Res_ok)
        err = Edr_Doc_orFeatureFlags(doc, kFeatureDone);
    if (err == Res_ok)
        err = Edr_Doc_orFeatureFlags(doc, kFeatureText);
    // The text can be selected and copied, never edited.
    if (err == Res_ok)
        Edr_Sel_installReadOnlyTests(doc);
    Edr_Mgr_busyEnd(doc);
    return err;
}

int TextDoc_step(Edr_Doc *doc, uint32_t page)
{
    if (!doc)
        return Res_missingArgument;
    TextLoader *loader = static_cast<TextLoader *>(Edr_Doc_getLoaderData(doc));
    if (!loader || page >= loader->pageCount)
        return Res_nullInput;
    Edr_Mgr_busyBegin(doc);
    int err = buildPage(loader, page);
    Edr_Mgr_busyEnd(doc);
    return err;
}

void TextDoc_close(Edr_Doc *doc)
{
    if (!doc)
        return;
    TextLoader *loader = static_cast<TextLoader *>(Edr_Doc_getLoaderData(doc));
    if (!loader)
        return;
    Edr_Doc_setLoaderData(doc, nullptr);
    freeLoader(loader);
}

// ---------------------------------------------------------------- the parts

int TextDoc_import(EngineContext *context, VfsHandle *stream, Edr_Doc *doc, Edr_Node *target)
{
    Import im{};
    im.ctx = context;
    im.doc = doc;
    int err = importText(&im, stream, target);
    if (err) {
        // The tracker is told the rest as done, so the load completes.
        if (im.total > im.done && im.total - im.done <= INT32_MAX)
            progress(doc, 0, int32_t(im.total - im.done));
    }
    TextDoc_finishAppender(&im.appender);
    Mem_free(im.buf.units);
    if (im.group)
        Edr_Node_release(doc, im.group);
    freeLoader(im.loader);
    return err;
}

int TextDoc_pickCharset(EngineContext *context, const uint8_t *bytes, size_t length, int bom,
                        CharsetConverter *convert, uint32_t *code, CharsetState *state)
{
    *convert = nullptr;
    *code = 0;
    Charset_resetState(state);
    uint32_t fallback = CharsetCode_win1252;
    char16_t *name =
        Config_getUstrA(context, context->config, u"Core", "DefaultCharacterSet", nullptr);
    uint32_t named = 0;
    if (name && Charset_fromName(name, &named) == Res_ok && named < CharsetCode_count)
        fallback = named;
    Mem_free(name);
    uint32_t chosen = fallback;
    if (bom) {
        chosen = CharsetCode_utf8;
    } else if (setting(context, u"Core", "EnableAutoDetect", 1)) {
        CharsetDetector *detector = nullptr;
        if (Charset_detectorNew(context, &detector) != Res_ok)
            return Res_noMemory;
        Charset_detectorFeed(detector, bytes, length);
        chosen = Charset_detectorGuess(detector, fallback);
        Charset_detectorFree(detector);
    }
    const uint32_t candidates[] = {chosen, fallback};
    for (uint32_t candidate : candidates) {
        if (!Charset_isAvailable(context, candidate))
            continue;
        CharsetConverter c = Charset_findConverter(candidate, CharsetCode_utf16, state, nullptr);
        if (c) {
            *convert = c;
            *code = candidate;
            return Res_ok;
        }
    }
    *convert = Charset_latin1ToUtf16;
    *code = CharsetCode_latin1;
    Charset_resetState(state);
    return Res_ok;
}

int TextDoc_appendText(TextAppender *a, char16_t *text, uint32_t n, int final)
{
    if (!text)
        n = 0;
    int err = Res_ok;
    // An address left open by the previous call goes on here.
    if (a->inLink) {
        uint32_t j = 0;
        while (j < n && !endsAddress(text[j]))
            j++;
        a->runLength += j;
        if (j == n && !final)
            return carryText(a, text, n);
        if ((err = carryText(a, text, j)))
            return err;
        if (j)
            a->previous = text[j - 1];
        a->inLink = 0;
        uint32_t length = a->carryLength;
        a->carryLength = 0;
        if ((err = appendLink(a, a->carry, length)))
            return err;
        text += j;
        n -= j;
    }
    // A carried prefix is read again in front of the new text.
    if (!a->carryLength)
        return scanText(a, text, n, final);
    size_t total = size_t(a->carryLength) + n;
    char16_t *joined = static_cast<char16_t *>(Mem_malloc(total * sizeof(char16_t)));
    if (!joined)
        return Res_noMemory;
    memcpy(joined, a->carry, a->carryLength * sizeof(char16_t));
    if (n)
        memcpy(joined + a->carryLength, text, n * sizeof(char16_t));
    a->carryLength = 0;
    err = scanText(a, joined, total, final);
    Mem_free(joined);
    return err;
}

void TextDoc_finishAppender(TextAppender *a)
{
    Mem_free(a->carry);
    a->carry = nullptr;
    a->carryLength = a->carryCapacity = 0;
    if (a->paragraph)
        Edr_Node_release(a->doc, a->paragraph);
    a->paragraph = nullptr;
}

int TextDoc_setupStyles(EngineContext *context, Edr_Doc *doc, uint32_t singlePage,
                        uint32_t pageMode, uint32_t powerzoom, const int32_t *margins)
{
    Request *sheet = nullptr;
    StyleRule *rule = nullptr;
    int err = Request_new(context, kSheetKind, &sheet);
    if (!err && !(err = StyleRule_create(&rule)))
        err = giveRule(sheet, rule, pageRule(context, rule, singlePage, pageMode, margins));
    const uint32_t states[] = {8, 16};
    for (uint32_t state : states)
        if (!err && !(err = StyleRule_create(&rule)))
            err = giveRule(sheet, rule, linkRule(rule, state));
    if (!err && powerzoom && !(err = StyleRule_create(&rule)))
        err = giveRule(sheet, rule, paragraphRule(rule));
    if (!err)
        err = Edr_Doc_addRequest(doc, sheet);
    if (!err)
        err = Edr_Doc_setTypeCode(doc, TextDoc_typeCode);
    Request_release(sheet);
    return err;
}
