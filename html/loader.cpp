// The HTML document handler and the loader.
//
// The loader reads the source in chunks into a buffer of 16-bit text,
// choosing the character set on the first chunk (the transport's charset,
// else the detector's guess, else the default setting), and runs the
// tokenizer over what has been converted. Bytes of a character that a
// chunk cuts off stay in the stream and start the next chunk, so the text
// is the same whatever the chunk size. Text before the pending tag or
// text run is dropped as the buffer fills; the buffer grows only when one
// tag or run fills it.
#include <algorithm>
#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/charset.h"
#include "core/text/charset_detect.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/handler.h"
#include "document/edr/node.h"
#include "document/edit/selection.h"
#include "document/manager/manager.h"
#include "html/css/css.h"
#include "html/defaultstyle.h"
#include "html/docweb.h"
#include "html/imagemap.h"
#include "html/parser.h"
#include "html/plugin.h"
#include "layout/frameset.h"
#include "document/edr/loadprogress.h"
#include "document/import/textsniff.h"
#include "platform/api/engine.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr uintptr_t kMonitorOpened = 1;
constexpr uint32_t kProgressSource = 0;
constexpr uint32_t kFeatureDone = 1;
constexpr uint32_t kFeatureText = 8;
constexpr uint32_t kFeatureLoading = 2;
constexpr char16_t kReplacement = 0xFFFD;
constexpr int32_t kEventLoading = 34; // posted once the first chunk is read
constexpr int32_t kReportWarning = 2; // a document report of a failure
constexpr int32_t kRefreshMaxSeconds = 2073600;
constexpr uint32_t kContentNoConvert = 11;

void postCode(EngineContext *ctx, Edr_Doc *doc, int32_t code)
{
    if (!ctx->eventProc)
        return;
    EventProcCodeMsg m{code, doc, nullptr, 0};
    (void)EventProc_postCode(ctx->eventProc, &m);
}

// Tells the application that a setting named a charset the engine does
// not know (the name goes with the report).
void postUnknownCharset(EngineContext *ctx, Edr_Doc *doc, const char16_t *name)
{
    char16_t *copy = Ustr_dup(name);
    EventProcDocMsg m{kReportWarning, Res_charsetUnknown, nullptr, copy};
    if (ctx->eventProc)
        (void)EventProc_postDoc(doc, ctx->eventProc, &m);
    else
        Mem_free(copy);
}

bool isCommentState(uint32_t state)
{
    return state <= 4;
}

void progress(Edr_Doc *doc, int32_t total, int32_t done)
{
    LoadProgress *tracker = Edr_Doc_getLoadStats(doc);
    if (!tracker)
        return;
    if (total)
        (void)LoadProgress_addTotal(tracker, kProgressSource, total);
    if (done)
        (void)LoadProgress_addDone(tracker, kProgressSource, done);
}

// Drops the text that nothing refers to any more and makes room for at
// least want more characters.
int makeRoom(HtmlInput *in, uint32_t state, size_t want)
{
    size_t keep = in->textStart;
    if (state != 26 && state != 5 && in->tagStart < keep)
        keep = in->tagStart;
    if (keep > in->scan)
        keep = in->scan;
    if (in->insertEnd)
        keep = 0;
    if (keep) {
        memmove(in->buf, in->buf + keep, (in->end - keep) * sizeof(char16_t));
        in->end -= keep;
        in->scan -= keep;
        in->textStart -= keep;
        in->tagStart = in->tagStart >= keep ? in->tagStart - keep : 0;
        in->commentEnd = in->commentEnd > keep ? in->commentEnd - keep : 0;
    }
    if (in->capacity - in->end >= want)
        return Res_ok;
    size_t cap = in->capacity ? in->capacity : Html_bufferBytes / 2;
    while (cap - in->end < want)
        cap *= 2;
    auto *b = static_cast<char16_t *>(Mem_realloc(in->buf, cap * sizeof(char16_t)));
    if (!b)
        return Res_noMemory;
    in->buf = b;
    in->capacity = cap;
    return Res_ok;
}

int keepRaw(HtmlInput *in, const uint8_t *bytes, size_t n)
{
    if (!n)
        return Res_ok;
    if (in->rawLength + n > in->rawCapacity) {
        size_t cap = in->rawCapacity ? in->rawCapacity * 2 : 8192;
        while (cap < in->rawLength + n)
            cap *= 2;
        auto *r = static_cast<uint8_t *>(Mem_realloc(in->raw, cap));
        if (!r)
            return Res_noMemory;
        in->raw = r;
        in->rawCapacity = cap;
    }
    memcpy(in->raw + in->rawLength, bytes, n);
    in->rawLength += n;
    return Res_ok;
}

// Switches to the converter of code when there is one.
void useCharset(HtmlParser *p, uint32_t code)
{
    if (code == p->charset || !Charset_isAvailable(p->ctx, code))
        return;
    CharsetConverter c = Charset_findConverter(code, CharsetCode_utf16, &p->convState, nullptr);
    if (!c)
        return;
    p->convert = c;
    p->charset = code;
    (void)Edr_Doc_setCharset(p->doc, code);
}

// The charset of the first chunk.
void chooseCharset(HtmlParser *p, HtmlInput *in, const uint8_t *bytes, size_t n)
{
    uintptr_t value = 0;
    uint32_t code = 0;
    if (Vfs_getInfo(in->stream, VfsInfo_string2, &value) == Res_ok && value &&
        Charset_fromName(reinterpret_cast<const char16_t *>(value), &code) == Res_ok &&
        code < CharsetCode_count) {
        p->transportCharset = code;
        useCharset(p, code);
        return;
    }
    if (!n)
        return;
    if (!in->detector && Charset_detectorNew(p->ctx, &in->detector) != Res_ok)
        return;
    Charset_detectorFeed(in->detector, bytes, n);
    in->detectPending = Charset_detectorUndecided(in->detector);
    useCharset(p, Charset_detectorGuess(in->detector, p->charset));
}

// A later chunk while the bytes before it decided nothing (plain text,
// read alike in every candidate charset): the detector reads it too, and
// the first chunk that decides switches the converter before it is
// converted, so nothing read so far needs reading again. A charset
// declared in the page or by the transport holds.
void continueDetection(HtmlParser *p, HtmlInput *in, const uint8_t *bytes, size_t n)
{
    if (!in->detectPending || !in->detector || !n)
        return;
    if (!p->autoDetect || p->transportCharset || p->charsetDeclared) {
        in->detectPending = 0;
        return;
    }
    Charset_detectorFeed(in->detector, bytes, n);
    if (Charset_detectorUndecided(in->detector))
        return;
    in->detectPending = 0;
    useCharset(p, Charset_detectorGuess(in->detector, p->charset));
}

// The charset a byte-order mark at the start of bytes names, or 0.
uint32_t bomCharset(const uint8_t *b, size_t n)
{
    if (n > 2 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return CharsetCode_utf8;
    if (n > 1 && b[0] == 0xFF && b[1] == 0xFE)
        return CharsetCode_utf16le;
    if (n > 1 && b[0] == 0xFE && b[1] == 0xFF)
        return CharsetCode_utf16be;
    return 0;
}

// The length of a byte-order mark of the charset at the start of bytes.
size_t bomLength(uint32_t charset, const uint8_t *b, size_t n)
{
    if (charset == CharsetCode_utf8 && n > 2 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return 3;
    if (charset == CharsetCode_utf16 && n > 3 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE &&
        b[3] == 0xFF)
        return 4;
    if ((charset == CharsetCode_utf16be || charset == CharsetCode_utf16le) && n > 1 &&
        ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE)))
        return 2;
    return 0;
}

void setupCharset(HtmlParser *p, int fragment)
{
    EngineContext *ctx = p->ctx;
    if (fragment) {
        p->autoDetect = 0;
        p->charset = Edr_Doc_getCharset(p->doc);
        p->convert = Charset_copyBytes;
        return;
    }
    p->autoDetect = Config_getIntA(ctx, ctx->config, u"Core", "EnableAutoDetect", 1) != 0;
    uint32_t code = CharsetCode_latin1;
    char16_t *name = Config_getUstrA(ctx, ctx->config, u"Core", "DefaultCharacterSet", nullptr);
    if (name && name[0] && (Charset_fromName(name, &code) != Res_ok || code >= CharsetCode_count)) {
        code = CharsetCode_latin1;
        postUnknownCharset(ctx, p->doc, name);
    }
    Mem_free(name);
    CharsetConverter c =
        Charset_isAvailable(ctx, code)
            ? Charset_findConverter(code, CharsetCode_utf16, &p->convState, nullptr)
            : nullptr;
    if (!c) {
        code = CharsetCode_latin1;
        c = Charset_latin1ToUtf16;
    }
    p->convert = c;
    p->charset = code;
    (void)Edr_Doc_setCharset(p->doc, code);
}

int addLength(StyleRule *rule, uint32_t id, int32_t length)
{
    Prop value{};
    Prop_setLength(&value, id, length);
    return StyleRule_appendProp(rule, &value);
}

struct Load {
    HtmlParser parser;
    HtmlInput input;
};

} // namespace

int Html_readChunk(EngineContext *context, HtmlParser *p, HtmlInput *in)
{
    const uint8_t *bytes = nullptr;
    size_t n = 0;
    // The first chunk holds a whole byte-order mark, and a chunk after one
    // that held only part of a character holds the whole character,
    // whatever the chunk size.
    size_t want = in->chunkBytes;
    if (in->firstChunk && want < 4)
        want = 4;
    if (want < in->atLeast)
        want = in->atLeast;
    in->atLeast = 0;
    int err = Vfs_getReadBuf(in->stream, want, &bytes, &n);
    if (err)
        return err;
    bool last = n < want;
    if (n > want)
        n = want;
    size_t used = 0;
    if (in->firstChunk) {
        // A byte-order mark decides the charset over every declaration and
        // guess; otherwise the transport's charset or the detector's.
        if (uint32_t bom = bomCharset(bytes, n); bom && Charset_isAvailable(p->ctx, bom)) {
            useCharset(p, bom);
            if (p->charset == bom)
                p->charsetConfirmed = p->charsetDeclared = 1;
        } else if (p->autoDetect) {
            chooseCharset(p, in, bytes, n);
        }
        used = bomLength(p->charset, bytes, n);
        in->firstChunk = 0;
    } else {
        continueDetection(p, in, bytes, n);
    }
    if ((err = makeRoom(in, p->state, n + 2)) == Res_ok) {
        for (;;) {
            size_t consumed = 0, produced = 0;
            size_t room = (in->capacity - in->end) * sizeof(char16_t);
            int r = p->convert(context, bytes + used, n - used,
                               reinterpret_cast<uint8_t *>(in->buf + in->end), room, &consumed,
                               &produced, &p->convState);
            if ((r == Res_charsetUnknown || r == Res_charsetNoTable) &&
                p->convert != Charset_latin1ToUtf16) {
                p->convert = Charset_latin1ToUtf16;
                p->charset = CharsetCode_latin1;
                Charset_resetState(&p->convState);
                continue;
            }
            if (produced & 1) {
                err = Html_errOddOutput;
                break;
            }
            if (p->keepRaw && (err = keepRaw(in, bytes + used, consumed)))
                break;
            used += consumed;
            in->end += produced / 2;
            if (r == Res_charsetDestFull) {
                if (!consumed && !produced && (err = makeRoom(in, p->state, in->capacity)))
                    break;
                if (used < n)
                    continue;
            } else if (r == Res_charsetIncomplete) {
                if (last) {
                    // A character cut by the end of the source. Its bytes
                    // stay in the archive: another charset may read them.
                    if ((err = makeRoom(in, p->state, 1)))
                        break;
                    in->buf[in->end++] = kReplacement;
                    if (p->keepRaw && (err = keepRaw(in, bytes + used, n - used)))
                        break;
                    used = n;
                }
            } else if (r != Res_ok) {
                if (p->keepRaw && (err = keepRaw(in, bytes + used, n - used)))
                    break;
                last = true;
                used = n;
            }
            break;
        }
    }
    // Bytes left over start the next chunk, which holds more of them.
    if (!err && !last && used < n)
        in->atLeast = uint32_t(std::min(n - used + 8, size_t(Html_chunkBytes)));
    (void)Vfs_readDone(in->stream, err ? 0 : used);
    if (err)
        return err;
    in->done += used;
    progress(p->doc, 0, int32_t(used));
    // A full chunk that converts nothing cannot be read any further.
    if (last || (!used && n >= Html_chunkBytes))
        in->ended = 1;
    return Res_ok;
}

int Html_restartDecoding(EngineContext *context, HtmlParser *p, HtmlInput *in)
{
    p->restartRequested = 0;
    p->restarted = 1;
    p->keepRaw = 0;
    in->scan = in->end = in->textStart = in->tagStart = in->commentEnd = in->insertEnd = 0;
    p->state = 26;
    int err = Edr_Doc_setAuxText(p->doc, u"", 0);
    Edr_Node **held[] = {&p->html, &p->head, &p->body};
    for (Edr_Node **h : held) {
        if (*h)
            Edr_Node_release(p->doc, *h);
        *h = nullptr;
    }
    if (err == Res_ok) {
        Edr_Node *first = Edr_Node_firstChild(p->top);
        Edr_Node *last = first;
        while (last && Edr_Node_nextSibling(last))
            last = Edr_Node_nextSibling(last);
        if (first)
            err = Edr_Node_detach(p->doc, first, last);
    }
    if (err)
        return err;
    Edr_Node *top = nullptr;
    if ((err = Edr_Node_acquire(p->doc, p->top, &top)))
        return err;
    if (p->current)
        Edr_Node_release(p->doc, p->current);
    p->current = top;
    p->element = HtmlEl_Okalasection;
    memset(p->seen, 0, sizeof(p->seen));
    memset(p->open, 0, sizeof(p->open));
    // What the dropped tree told the layout context and the form state
    // goes with it.
    if (p->layout)
        FrameState_reset(p->layout, p->doc);
    Plugin_free(p->plugin);
    p->plugin = nullptr;
    p->inButton = p->inSelect = p->inOption = p->optionHasValue = p->inOptgroup = p->inTextarea = 0;
    p->buttonControl = p->selectControl = p->optionControl = p->textareaControl = nullptr;
    p->optionLength = 0;
    if (p->optionNode)
        Edr_Node_release(p->doc, p->optionNode);
    p->optionNode = nullptr;
    p->openMap = nullptr;
    p->mapFinished = 0;
    p->tableDepth = 0;
    memset(p->reopen, 0, sizeof(p->reopen));
    p->reopenPending = 0;
    Charset_resetState(&p->convState);
    size_t done = 0;
    while (done < in->rawLength) {
        if ((err = makeRoom(in, p->state, in->rawLength - done + 2)))
            return err;
        size_t consumed = 0, produced = 0;
        int r = p->convert(context, in->raw + done, in->rawLength - done,
                           reinterpret_cast<uint8_t *>(in->buf + in->end),
                           (in->capacity - in->end) * sizeof(char16_t), &consumed, &produced,
                           &p->convState);
        in->end += produced / 2;
        done += consumed;
        if (r != Res_charsetDestFull || (!consumed && !produced))
            break;
    }
    return Res_ok;
}

// The "Refresh:" header of the stream, read as a meta element's refresh.
static int refreshHeader(HtmlParser *p, VfsHandle *stream)
{
    char *value = nullptr;
    if (Vfs_getHeader(stream, "Refresh:", &value) != Res_ok || !value)
        return Res_ok; // no headers, or not this one
    auto *text = static_cast<char16_t *>(Mem_malloc(Utf8_charCount(value) * sizeof(char16_t)));
    int err = Res_noMemory;
    if (text) {
        Utf8_toUstr(text, value);
        err = Html_metaRefresh(p, text, Ustr_len(text));
    }
    Mem_free(text);
    Mem_free(value);
    return err;
}

static int loadWith(EngineContext *ctx, Edr_Doc *doc, VfsHandle *stream, Edr_Node *target,
                    int fragment, const int32_t *frame, FrameState *layout, uint32_t chunkBytes)
{
    auto *load = static_cast<Load *>(Mem_calloc(1, sizeof(Load)));
    if (!load)
        return Res_noMemory;
    HtmlParser *p = &load->parser;
    HtmlInput *in = &load->input;
    int err = Html_parserInit(ctx, p, doc);
    p->layout = layout;
    p->fragment = fragment != 0;
    p->imagesEnabled = Config_getIntA(ctx, ctx->config, u"Core", "EnableImages", 1) != 0;
    p->animationsEnabled = Config_getIntA(ctx, ctx->config, u"Core", "EnableAnimations", 1) != 0;
    setupCharset(p, fragment);
    in->stream = stream;
    in->chunkBytes =
        chunkBytes >= 1 && chunkBytes <= Html_chunkBytes ? chunkBytes : Html_chunkBytes;
    in->firstChunk = 1;
    uintptr_t value = 0;
    int32_t total = -1;
    if (Vfs_getInfo(stream, VfsInfo_size, &value) == Res_ok && value) {
        uint64_t size = *reinterpret_cast<const uint64_t *>(value);
        total = size <= INT32_MAX ? int32_t(size) : -1;
    }
    progress(doc, total, 0);
    if (err == Res_ok)
        err = makeRoom(in, p->state, Html_bufferBytes / 2);
    // The user's style sheet comes first; of its failures only running out
    // of memory and a stop end the load.
    if (err == Res_ok && !fragment) {
        char16_t *sheet =
            Config_getUstrA(ctx, ctx->config, u"Core", "Vexlan_userStyleSheet", nullptr);
        if (sheet && sheet[0]) {
            Url *url = nullptr;
            int e = Url_newFromUserUstr(sheet, &url, 1);
            if (e == Res_ok) {
                url->flags |= Url_memoryMark;
                e = Html_loadUserStyleSheet(ctx, p, url, 1);
            }
            if (e == Res_noMemory || e == Res_stopRequested)
                err = e;
        }
        Mem_free(sheet);
    }
    // Links are blue and visited links purple unless the page says otherwise.
    if (err == Res_ok && !fragment)
        err = Html_addDefaultLinkColours(p->styles);
    // The top group, or the fragment's target.
    if (err == Res_ok) {
        if (!fragment) {
            err = Edr_Node_createGroup(doc, target ? target : Edr_Doc_root(doc),
                                       Edr_Insert_lastChild, HtmlEl_Okalasection, &p->top);
            if (err == Res_ok)
                err = Edr_Node_acquire(doc, p->top, &p->current);
        } else {
            err = Edr_Node_acquire(doc, target, &p->current);
        }
        if (err == Res_ok) {
            Edr_Group *g = Edr_Node_group(p->current);
            p->element = g ? g->element : 0;
        }
    }
    bool first = true;
    while (err == Res_ok) {
        if (!in->ended)
            err = Html_readChunk(ctx, p, in);
        if (err)
            break;
        if (first && !fragment) {
            (void)Edr_Doc_setUrlFromStream(doc, stream);
            postCode(ctx, doc, kEventLoading);
        }
        first = false;
        if ((err = Html_tokenize(ctx, in, p)))
            break;
        if (!in->ended)
            continue;
        if (isCommentState(p->state) && in->commentEnd) {
            // An unterminated comment ends at its first '>'.
            in->scan = in->textStart = in->commentEnd;
            in->commentEnd = 0;
            p->state = 26;
            continue;
        }
        if (!isCommentState(p->state) && Html_inSet(HtmlSet_raw, p->element)) {
            // Unclosed raw text is read again as markup (also when the
            // input ends inside a tag, so that no text is lost).
            Edr_Node *before = p->current;
            if ((err = Html_endElement(ctx, p, 1, p->element)))
                break;
            if (p->current != before) {
                in->scan = in->textStart;
                p->state = 26;
                continue;
            }
        }
        // The pending text; a tag cut by the end of the input is dropped.
        size_t textEnd = p->state == 26 ? in->end : in->tagStart;
        if (p->state != 5 && !isCommentState(p->state) && textEnd > in->textStart)
            err = Html_flushText(p, in->buf + in->textStart, textEnd - in->textStart);
        in->textStart = in->end;
        if (err == Res_ok && !fragment)
            err = Html_applyDefaultStyle(p, HtmlEl_Okalasection);
        if (err == Res_ok)
            err = Html_applyFrameMargins(p, frame);
        if (err == Res_ok)
            err = Html_mapApply(doc, p->mapUses, p->maps, p->styles, &p->nextClass);
        if (err == Res_ok)
            err = refreshHeader(p, stream);
        if (err == Res_ok && !fragment && p->refreshUrl) {
            Url *url = p->refreshUrl;
            p->refreshUrl = nullptr;
            // A redirection that cannot be timed (no timer queue) leaves
            // the page as loaded.
            int scheduled = Redirect_schedule(doc, p->refreshDelay, url);
            if (scheduled == Res_noMemory)
                err = scheduled;
        }
        break;
    }
    if (in->detector)
        Charset_detectorFree(in->detector);
    Mem_free(in->buf);
    Mem_free(in->raw);
    int finish = Html_parserFinish(ctx, p, fragment);
    Mem_free(load);
    return err ? err : finish;
}

int Html_loadDocumentChunked(EngineContext *context, Edr_Doc *doc, VfsHandle *stream,
                             Edr_Node *target, int fragment, const int32_t *frame,
                             uint32_t chunkBytes)
{
    if (fragment)
        return loadWith(context, doc, stream, target, fragment, frame, nullptr, chunkBytes);
    // The layout context takes the frame's size; a frame-set document gets
    // its frames once it has loaded.
    // (A frame's size of -1 stands for 0: no size given.)
    FrameState *layout = nullptr;
    int32_t size[2] = {0, 0};
    if (frame) {
        size[0] = frame[2] == -1 ? 0 : frame[2];
        size[1] = frame[3] == -1 ? 0 : frame[3];
    }
    int err = FrameState_create(frame ? size : nullptr, &layout);
    if (err == Res_ok)
        err = loadWith(context, doc, stream, target, fragment, frame, layout, chunkBytes);
    if (err == Res_ok)
        err = FrameState_createFrames(doc, layout);
    FrameState_free(&layout, doc);
    return err;
}

int Html_metaCharset(HtmlParser *p, const char16_t *name, size_t length)
{
    // Only the document's own head may change the charset, once per load,
    // and never over the transport's or with detection off.
    if (p->fragment || !p->autoDetect || p->transportCharset || p->charsetConfirmed)
        return Res_ok;
    char16_t clean[64];
    size_t n = Html_cleanCharsetName(name, length, clean, 64);
    uint32_t code = 0;
    if (!n || Charset_fromName(clean, &code) != Res_ok || code >= CharsetCode_count)
        return Res_ok;
    if (code == p->charset) {
        p->charsetConfirmed = p->charsetDeclared = 1;
        return Res_ok;
    }
    if (p->restarted || !p->keepRaw || !Charset_isAvailable(p->ctx, code))
        return Res_ok;
    uint32_t before = p->charset;
    useCharset(p, code);
    if (p->charset != before) {
        p->restartRequested = 1;
        p->charsetConfirmed = p->charsetDeclared = 1;
    }
    return Res_ok;
}

int Html_metaRefresh(HtmlParser *p, const char16_t *t, size_t n)
{
    auto space = [](char16_t c) { return c == 9 || c == 10 || c == 12 || c == 13 || c == 32; };
    size_t i = 0;
    while (i < n && space(t[i]))
        i++;
    if (i >= n || t[i] < u'0' || t[i] > u'9')
        return Res_ok;
    uint64_t seconds = 0;
    while (i < n && t[i] >= u'0' && t[i] <= u'9') {
        if (seconds <= uint64_t(kRefreshMaxSeconds))
            seconds = seconds * 10 + uint64_t(t[i] - u'0');
        i++;
    }
    if (seconds > uint64_t(kRefreshMaxSeconds))
        return Res_ok;
    // The target: behind ';' or ',', white space and "url=".
    while (i < n && t[i] != u';' && t[i] != u',')
        i++;
    const char16_t *target = nullptr;
    size_t length = 0;
    if (i < n) {
        i++;
        while (i < n && space(t[i]))
            i++;
        if (n - i >= 4 && (t[i] | 32) == u'u' && (t[i + 1] | 32) == u'r' &&
            (t[i + 2] | 32) == u'l' && t[i + 3] == u'=')
            i += 4;
        size_t end = n;
        while (end > i && space(t[end - 1]))
            end--;
        if (end - i >= 2 && (t[i] == u'"' || t[i] == u'\'') && t[end - 1] == t[i]) {
            i++;
            end--;
        }
        target = t + i;
        length = end - i;
    }
    Url *base = nullptr;
    // The document model answers 1 both for a document without any URL and
    // when memory runs out: either way the target is read without a base.
    if (Edr_Doc_getBaseUrl(p->doc, &base) != Res_ok)
        base = nullptr;
    Url *url = nullptr;
    if (length) {
        // URL text loses its line breaks and tabs; backslashes are slashes.
        auto *clean = static_cast<char16_t *>(Mem_malloc((length + 1) * sizeof(char16_t)));
        if (!clean) {
            Url_free(base);
            return Res_noMemory;
        }
        size_t w = 0;
        for (size_t k = 0; k < length; k++)
            if (target[k] != 9 && target[k] != 10 && target[k] != 13)
                clean[w++] = target[k] == u'\\' ? u'/' : target[k];
        clean[w] = 0;
        url = base ? Url_resolveText(p->ctx, clean, base) : Url_new(clean);
        Mem_free(clean);
    } else {
        Url *own = nullptr;
        if (Edr_Doc_getUrl(p->doc, &own) == Res_ok)
            url = own;
    }
    // Without a base a relative target names nothing: the refresh is
    // ignored rather than failing the load.
    bool resolvable = base != nullptr;
    Url_free(base);
    if (!url)
        return length && resolvable ? int(Res_noMemory) : int(Res_ok);
    Url_free(p->refreshUrl);
    p->refreshUrl = url;
    p->refreshDelay = int32_t(seconds * 1000);
    return Res_ok;
}

CharsetConverter Html_chooseConverter(HtmlParser *p, VfsHandle *stream, uint32_t charset,
                                      const uint8_t *bytes, size_t n, uint32_t *code)
{
    *code = p->charset;
    if (p->contentMode == kContentNoConvert)
        return nullptr;
    uintptr_t value = 0;
    uint32_t chosen = 0;
    if (stream && Vfs_getInfo(stream, VfsInfo_string2, &value) == Res_ok && value &&
        Charset_fromName(reinterpret_cast<const char16_t *>(value), &chosen) == Res_ok &&
        chosen < CharsetCode_count) {
        // the transport's charset
    } else if (charset < CharsetCode_count) {
        chosen = charset;
    } else if (p->autoDetect && n) {
        CharsetDetector *detector = nullptr;
        chosen = p->charset;
        if (Charset_detectorNew(p->ctx, &detector) == Res_ok) {
            Charset_detectorFeed(detector, bytes, n);
            chosen = Charset_detectorGuess(detector, p->charset);
            Charset_detectorFree(detector);
        }
    } else {
        chosen = p->charset;
    }
    CharsetState state{};
    CharsetConverter c = Charset_isAvailable(p->ctx, chosen)
                             ? Charset_findConverter(chosen, CharsetCode_utf16, &state, nullptr)
                             : nullptr;
    if (!c) {
        chosen = CharsetCode_latin1;
        c = Charset_latin1ToUtf16;
    }
    *code = chosen;
    return c;
}

int Html_fetchResourceText(HtmlParser *p, const Url *url, uint32_t charset)
{
    EngineContext *ctx = p->ctx;
    Mem_free(p->fetchedText);
    p->fetchedText = nullptr;
    p->fetchedLength = 0;
    Url_free(p->fetchedUrl);
    p->fetchedUrl = Url_copy(url);
    if (!p->fetchedUrl)
        return Res_noMemory;
    // The document's URL goes with the request as its referrer.
    Url *docUrl = nullptr;
    if (Edr_Doc_getUrl(p->doc, &docUrl) == Res_ok && docUrl) {
        if (char *referrer = Url_toLatin1(docUrl))
            Url_setCstr(p->fetchedUrl, referrer);
        Url_free(docUrl);
    }
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    int err = Vfs_getTypeFlags(ctx, p->fetchedUrl)
                  ? Vfs_openCached(ctx, p->fetchedUrl, Vfs_modeRead, &stream, &accepted, 0, 0, 0)
                  : Vfs_open(ctx, p->fetchedUrl, Vfs_modeRead, &stream, &accepted);
    if (err)
        return err;
    CharsetConverter convert = nullptr;
    CharsetState state{};
    size_t capacity = 0, length = 0;
    char16_t *text = nullptr;
    bool first = true;
    for (;;) {
        const uint8_t *bytes = nullptr;
        size_t n = 0;
        if ((err = Vfs_getReadBuf(stream, 1024, &bytes, &n)))
            break;
        if (n > 1024)
            n = 1024;
        if (first) {
            uint32_t code = 0;
            convert = Html_chooseConverter(p, stream, charset, bytes, n, &code);
            if (convert)
                convert = Charset_findConverter(code, CharsetCode_utf16, &state, nullptr);
            if (!convert)
                convert = Charset_latin1ToUtf16;
            first = false;
        }
        size_t used = 0;
        while (used < n && !err) {
            if (capacity - length < 2 * (n - used) + 2) {
                size_t cap = capacity + 4096 + 2 * (n - used);
                auto *b = static_cast<char16_t *>(Mem_realloc(text, cap * sizeof(char16_t)));
                if (!b) {
                    err = Res_noMemory;
                    break;
                }
                text = b;
                capacity = cap;
            }
            size_t consumed = 0, produced = 0;
            int r = convert(ctx, bytes + used, n - used, reinterpret_cast<uint8_t *>(text + length),
                            (capacity - length) * sizeof(char16_t), &consumed, &produced, &state);
            used += consumed;
            length += produced / 2;
            if (r != Res_charsetDestFull || (!consumed && !produced))
                break;
        }
        (void)Vfs_readDone(stream, err ? 0 : n);
        if (err || n < 1024)
            break;
    }
    (void)Vfs_close(stream);
    if (err) {
        Mem_free(text);
        return err;
    }
    p->fetchedText = text;
    p->fetchedLength = length;
    return Res_ok;
}

int Html_applyFrameMargins(HtmlParser *p, const int32_t *frame)
{
    // A frame-set document fills its frame: no margins of its own.
    bool framesOnly = FrameState_framesOnly(p->layout) != 0;
    if ((!frame && !framesOnly) || !p->current)
        return Res_ok;
    int32_t marginWidth = framesOnly ? 0 : frame[0], marginHeight = framesOnly ? 0 : frame[1];
    // A size of -1 stands for none; a size the frame set fixed comes
    // negated.
    auto size = [](int32_t v) {
        return v == -1 ? 0 : v < 0 ? (v == INT32_MIN ? INT32_MAX : -v) : v;
    };
    int32_t width = frame ? size(frame[2]) : 0, height = frame ? size(frame[3]) : 0;
    if (marginWidth < 0 && marginHeight < 0 && !width && !height)
        return Res_ok;
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    if (err)
        return err;
    uint32_t key = p->nextClass++;
    StyleRule_setWeight(rule, 10);
    err = StyleRule_addMatch10(rule, key);
    if (!err && marginHeight >= 0 && !(err = addLength(rule, PropId_marginTop, marginHeight)))
        err = addLength(rule, PropId_marginBottom, marginHeight);
    if (!err && marginWidth >= 0 && !(err = addLength(rule, PropId_marginLeft, marginWidth)))
        err = addLength(rule, PropId_marginRight, marginWidth);
    if (!err && width)
        err = addLength(rule, PropId_width, width);
    if (!err && height)
        err = addLength(rule, PropId_height, height);
    if (!err)
        err = Edr_Node_addId(p->doc, p->current, key);
    if (!err)
        err = Request_addItem(p->styles, &rule);
    StyleRule_destroy(rule);
    return err;
}

int Html_loadUserStyleSheet(EngineContext *context, HtmlParser *p, Url *url, uint32_t kind)
{
    Request *sheet = nullptr;
    int err = Request_new(context, kind, &sheet);
    if (err == Res_ok)
        err = Css_loadStyleSheet(context, p->doc, url, sheet);
    if (err == Res_ok)
        err = Edr_Doc_addRequest(p->doc, sheet);
    Request_release(sheet);
    Url_free(url);
    return err;
}

int Html_loadDocument(EngineContext *context, Edr_Doc *doc, VfsHandle *stream, Edr_Node *target,
                      int fragment, const int32_t *frame)
{
    return Html_loadDocumentChunked(context, doc, stream, target, fragment, frame, Html_chunkBytes);
}

// ------------------------------------------------------------ the handler

int Html_describe(EngineContext *, Edr_HandlerDesc *desc)
{
    desc->matchMime = Html_matchMime;
    desc->sniff = Html_sniff;
    desc->open = Html_open;
    desc->close = Html_closeDocument;
    desc->extOp1 = Html_exportMarkup;
    desc->extOp2 = Html_exportText;
    desc->extOp3 = Html_replaceContent;
    desc->extOp4 = Html_replaceContent;
    desc->release = Html_unregisterHandler;
    desc->enabled = 1;
    return Res_ok;
}

int Html_matchMime(EngineContext *, Edr_HandlerDesc *, const char16_t *mime, int32_t *score)
{
    *score = mime && Ustr_icmpCstr(mime, "text/html") == 0 ? 100 : 0;
    return Res_ok;
}

int Html_sniff(EngineContext *context, Edr_HandlerDesc *, VfsHandle *stream, int32_t *score,
               uint32_t *kind)
{
    *score = 0;
    *kind = 0;
    const uint8_t *b = nullptr;
    size_t n = 0;
    int err = Vfs_getReadBuf(stream, Html_sniffBytes, &b, &n);
    if (err)
        return err;
    if (n > Html_sniffBytes)
        n = Html_sniffBytes;
    auto matches = [&](size_t at, const char *word) {
        size_t k = strlen(word);
        if (n - at < k)
            return false;
        for (size_t i = 0; i < k; i++) {
            uint8_t c = b[at + i];
            if (c >= 'A' && c <= 'Z')
                c = uint8_t(c + 32);
            if (c != uint8_t(word[i]))
                return false;
        }
        return true;
    };
    for (size_t i = 0; i < n && !*score; i++) {
        if (b[i] != '<')
            continue;
        if (matches(i, "<html") || matches(i, "<head") || matches(i, "<body") ||
            matches(i, "<!doctype")) {
            *score = 90;
            *kind = Html_sniffKind;
        }
    }
    if (!*score && TextDoc_sniffText(context, b, n)) {
        *score = 10;
        *kind = Html_sniffKind;
    }
    (void)Vfs_readDone(stream, 0);
    return Res_ok;
}

int Html_exportMarkup(EngineContext *, Edr_HandlerDesc *, Edr_Doc *doc, Edr_Node *group, void **out)
{
    char16_t *text = nullptr;
    int err = Html_serialise(doc, group, 1, 1, &text);
    *out = text;
    return err;
}

int Html_exportText(EngineContext *, Edr_HandlerDesc *, Edr_Doc *doc, Edr_Node *group, intptr_t,
                    void **out)
{
    char16_t *text = nullptr;
    int err = Html_serialise(doc, group, 0, 1, &text);
    *out = text;
    return err;
}

int Html_replaceContent(EngineContext *context, Edr_HandlerDesc *, Edr_Doc *doc, Edr_Node *group,
                        const char16_t *text, uint32_t length)
{
    if (!text || !length)
        return Res_ok;
    size_t bytes = size_t(length) * sizeof(char16_t);
    auto *copy = static_cast<uint8_t *>(Mem_malloc(bytes));
    if (!copy)
        return Res_noMemory;
    memcpy(copy, text, bytes);
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    int err = Vfs_openMemory(context, copy, bytes, 1, Vfs_modeRead, &stream, &accepted);
    if (err)
        return err;
    err = Html_loadDocument(context, doc, stream, group, 1, nullptr);
    (void)Vfs_close(stream);
    return err;
}

int Html_open(EngineContext *context, Edr_HandlerDesc *, void *argument, VfsHandle *stream,
              Edr_Doc *doc, Edr_Node *target)
{
    // A frame's document comes with its frame record: margin width, margin
    // height, width, height and placement.
    int32_t frame[5];
    const int32_t *record = nullptr;
    if (auto *obj = static_cast<Obj *>(argument)) {
        for (int i = 0; i < 5; i++)
            frame[i] = int32_t(obj->words[i]);
        record = frame;
    }
    (void)Vfs_notifyMonitor(stream, kMonitorOpened);
    int err = Edr_Doc_setupFromStream(doc, stream);
    if (err == Res_ok)
        err = Edr_Doc_setTypeCode(doc, Html_typeCode);
    if (err == Res_ok)
        err = Edr_Doc_setMode(doc, Html_modeQuirks);
    if (err == Res_ok)
        err = Edr_Doc_orFeatureFlags(doc, kFeatureDone | kFeatureText | kFeatureLoading);
    // A page's text can be selected and copied, never edited.
    if (err == Res_ok)
        Edr_Sel_installReadOnlyTests(doc);
    if (err == Res_ok) {
        Edr_Mgr_busyBegin(doc);
        err = Html_loadDocument(context, doc, stream, target, 0, record);
        Edr_Mgr_busyEnd(doc);
    }
    (void)Vfs_close(stream);
    return err;
}

void Html_closeDocument(Edr_Doc *) {}

void Html_unregisterHandler(EngineContext *, Edr_HandlerDesc *) {}
