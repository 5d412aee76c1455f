// The Word text stream: the text window over the pieces, 8-bit text by
// language, special characters, fields (PAGE, PAGEREF, HYPERLINK), breaks
// and the character properties of each run's text group.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "word/reader/wordfonts.h"
#include "office/ole2/ole.h"
#include "platform/url/url.h"
#include "word/reader/build.h"

namespace {

enum : uint32_t {
    fieldPage = 33,
    fieldPageRef = 37,
    fieldHyperlink = 88,
};

struct Pending {
    char16_t *chars;
    uint32_t count;
    uint32_t capacity;
};

int pendAdd(Pending *p, char16_t c)
{
    if (p->count == p->capacity) {
        uint32_t capacity = p->capacity ? p->capacity * 2 : 64;
        void *grown = Mem_realloc(p->chars, size_t(capacity) * sizeof(char16_t));
        if (!grown)
            return Res_noMemory;
        p->chars = static_cast<char16_t *>(grown);
        p->capacity = capacity;
    }
    p->chars[p->count++] = c;
    return Res_ok;
}

// Special characters handled (or dropped) as such; the others of a
// special run are ordinary text.
bool specialHandled(char16_t c)
{
    return c <= 8 || c == 10 || c == 11 || c == 12 || (c >= 14 && c <= 16) ||
           (c >= 22 && c <= 30) || (c >= 33 && c <= 41);
}

WordReader *readerOf(WordParaState *para)
{
    return para->section->builder->reader;
}

Edr_Doc *docOf(WordParaState *para)
{
    return para->section->builder->doc;
}

// Appends text to a level's instruction.
int appendInstruction(WordFieldLevel *level, const char16_t *chars, uint32_t n)
{
    if (n == 0)
        return Res_ok;
    char16_t *joined = static_cast<char16_t *>(
        Mem_malloc((size_t(level->instructionLength) + n + 1) * sizeof(char16_t)));
    if (!joined)
        return Res_noMemory;
    if (level->instructionLength)
        memcpy(joined, level->instruction, level->instructionLength * sizeof(char16_t));
    memcpy(joined + level->instructionLength, chars, n * sizeof(char16_t));
    level->instructionLength += n;
    joined[level->instructionLength] = 0;
    Mem_free(level->instruction);
    level->instruction = joined;
    return Res_ok;
}

WordFieldLevel *innermost(WordLoad *l)
{
    return l->fieldDepth ? &l->fields[l->fieldDepth] : nullptr;
}

// The link target of the innermost result level, if it makes one.
int linkTarget(WordLoad *l, char16_t **out)
{
    *out = nullptr;
    WordFieldLevel *f = innermost(l);
    if (!f || f->kind != 20 || !f->instruction)
        return Res_ok;
    const char16_t *target = nullptr;
    uint32_t n = 0;
    if (f->type == fieldPageRef) {
        n = Word_pagerefTarget(f->instruction, f->instructionLength, &target);
    } else if (f->type == fieldHyperlink) {
        const char16_t *q1 = nullptr;
        for (uint32_t i = 0; i < f->instructionLength; i++)
            if (f->instruction[i] == u'"') {
                if (!q1) {
                    q1 = f->instruction + i + 1;
                } else {
                    target = q1;
                    n = uint32_t(f->instruction + i - q1);
                    break;
                }
            }
    }
    if (!target || n == 0)
        return Res_ok;
    return Word_linkText(target, n, out);
}

// Makes the run's text group when it has none: a group of class
// "textGroup" at the end of the paragraph's container, with the link of
// an open PAGEREF or HYPERLINK field.
int ensureTextGroup(WordRunState *rs)
{
    if (rs->textGroup)
        return Res_ok;
    Edr_Doc *doc = docOf(rs->para);
    int err =
        Edr_Node_createGroup(doc, rs->para->container, Edr_Insert_lastChild, 0, &rs->textGroup);
    if (err)
        return err;
    WordLoad *l = readerOf(rs->para)->load;
    char16_t *link = nullptr;
    if ((err = linkTarget(l, &link)) != Res_ok)
        return err;
    if (link) {
        Url *url = Url_new(link);
        Mem_free(link);
        if (!url)
            return Res_noMemory;
        err = Edr_Node_setUrl(doc, rs->textGroup, url);
        Url_free(url);
    }
    return err;
}

// Styles and lets go of the run's text group; the next text makes a new one.
int finishTextGroup(WordRunState *rs)
{
    if (!rs->textGroup)
        return Res_ok;
    WordReader *r = readerOf(rs->para);
    WordPropList list;
    Word_propListInit(&list);
    uint32_t style = 0;
    int err = Word_chpToProps(&rs->chp, &list, r);
    if (!err)
        err = Word_styleIntern(&list, &style, r);
    Word_propListClear(&list);
    if (!err)
        err = Word_nodeSetStyle(docOf(rs->para), rs->textGroup, WordClass_textGroup, style);
    Edr_Node_release(docOf(rs->para), rs->textGroup);
    rs->textGroup = nullptr;
    return err;
}

int flush(WordRunState *rs, Pending *p)
{
    if (p->count == 0)
        return Res_ok;
    WordLoad *l = readerOf(rs->para)->load;
    uint32_t n = p->count;
    p->count = 0;
    if (!l->showText)
        return Res_ok;
    int err = ensureTextGroup(rs);
    if (!err)
        err = Edr_Node_createText(docOf(rs->para), rs->textGroup, Edr_Insert_lastChild, nullptr,
                                  p->chars, n);
    if (!err)
        rs->para->hasContent = 1;
    l->lineBreakSeen = 0;
    return err;
}

// A group of a class appended to the paragraph, with an optional style
// and text.
int appendGroup(WordRunState *rs, uint32_t cls, uint32_t style, const char16_t *text, uint32_t n)
{
    int err = finishTextGroup(rs);
    if (err)
        return err;
    Edr_Doc *doc = docOf(rs->para);
    Edr_Node *g = nullptr;
    if ((err = Edr_Node_createGroup(doc, rs->para->container, Edr_Insert_lastChild, 0, &g)) !=
        Res_ok)
        return err;
    err = Word_nodeSetStyle(doc, g, cls, style);
    if (!err && text)
        err = Edr_Node_createText(doc, g, Edr_Insert_lastChild, nullptr, text, n);
    Edr_Node_release(doc, g);
    return err;
}

uint32_t pageKeyword(uint32_t nfc)
{
    switch (nfc) {
    case 1: return 154;
    case 2: return 93;
    case 3: return 152;
    case 4: return 90;
    default: return 55;
    }
}

int emitPageNumber(WordRunState *rs, const char16_t *text, uint32_t n)
{
    WordReader *r = readerOf(rs->para);
    WordPropList list;
    Word_propListInit(&list);
    uint32_t style = 0;
    int err =
        Word_propAdd(&list, 123, WordValue_keyword, pageKeyword(rs->para->section->sep.nfcPgn), r);
    if (!err)
        err = Word_styleIntern(&list, &style, r);
    Word_propListClear(&list);
    static const char16_t one[] = u"1";
    if (!err)
        err =
            appendGroup(rs, WordClass_pageNumber, style, text && n ? text : one, text && n ? n : 1);
    if (!err)
        rs->para->hasContent = 1;
    return err;
}

// A page break inside a paragraph: the rest of the paragraph goes into a
// new paragraph after it, with the same style.
int pageBreak(WordRunState *rs)
{
    int err = appendGroup(rs, WordClass_pageBreak, 0, nullptr, 0);
    if (err)
        return err;
    WordParaState *para = rs->para;
    Edr_Doc *doc = docOf(para);
    Edr_Node *next = nullptr;
    if ((err = Edr_Node_createGroup(doc, para->container, Edr_Insert_after, 0, &next)) != Res_ok)
        return err;
    if ((err = Word_nodeSetStyle(doc, next, WordClass_paragraph, para->styleId)) != Res_ok) {
        Edr_Node_release(doc, next);
        return err;
    }
    Edr_Node_release(doc, para->container);
    para->container = next;
    para->hasContent = 0;
    return Res_ok;
}

int fieldChar(WordRunState *rs, char16_t c, Pending *pageText)
{
    WordReader *r = readerOf(rs->para);
    WordLoad *l = r->load;
    uint32_t kind = c, type = c == 19 ? 0xFF : 0;
    uint8_t fld[2];
    if (Word_fieldAt(rs->cp, r->subdoc, fld, r) == Res_ok) {
        kind = fld[0] & 0x1F;
        type = fld[1];
    }
    // A field nested deeper than the stack holds is not opened: its
    // separator is skipped and its end closes it alone, so the enclosing
    // fields and the rest of the text keep their meaning.
    if (l->fieldOverflow) {
        if (kind == 19)
            l->fieldOverflow++;
        else if (kind == 21)
            l->fieldOverflow--;
        return Res_ok;
    }
    if (kind == 19) {
        if (l->fieldDepth + 1 > Word_maxFieldDepth) {
            l->fieldOverflow = 1;
            return Res_ok;
        }
        WordFieldLevel *f = &l->fields[++l->fieldDepth];
        *f = WordFieldLevel{};
        f->kind = 19;
        f->type = uint8_t(type);
        f->savedShow = uint8_t(l->showText);
        l->showText = 0;
        return Res_ok;
    }
    if (kind == 20) {
        WordFieldLevel *f = innermost(l);
        if (!f)
            return Res_wordFieldNotOpen;
        // The result starts: the run's text group so far belongs before it.
        int err = finishTextGroup(rs);
        if (err)
            return err;
        f->kind = 20;
        if (f->type != fieldPage)
            l->showText = 1;
        pageText->count = 0;
        return Res_ok;
    }
    if (kind == 21) {
        WordFieldLevel *f = innermost(l);
        if (!f)
            return Res_wordFieldNotOpen;
        int err = Res_ok;
        if (f->kind == 20 && f->type == fieldPage) {
            l->showText = f->savedShow;
            if (l->showText)
                err = emitPageNumber(rs, pageText->chars, pageText->count);
        } else if (f->kind == 20 && (f->type == fieldPageRef || f->type == fieldHyperlink)) {
            err = finishTextGroup(rs); // the link ends with the field
        }
        pageText->count = 0;
        l->showText = f->savedShow;
        Mem_free(f->instruction);
        *f = WordFieldLevel{};
        l->fieldDepth--;
        return err;
    }
    return Res_ok;
}

// The paragraph's list number text in a text group of its own look, shown
// whatever the field state.
int emitLeadIn(WordParaState *para)
{
    WordLoad *l = readerOf(para)->load;
    WordRunState rs{};
    rs.para = para;
    rs.chp = para->leadInChp;
    uint32_t show = l->showText;
    l->showText = 1;
    Pending p{para->leadIn, para->leadInLength, para->leadInLength};
    int err = flush(&rs, &p);
    l->showText = show;
    int err2 = finishTextGroup(&rs);
    return err ? err : err2;
}

// Special characters 1 (an inline picture) and 8 (a drawn object). A
// picture or shape that cannot be read is left out; running out of memory
// and a stop request end the text.
int drawingChar(WordRunState *rs, char16_t c)
{
    int err = Res_ok;
    if (c == 8) {
        err = Word_placeDrawnObject(rs, rs->cp);
    } else if (!rs->chp.fOle2) {
        // The picture's group follows the text before it.
        if ((err = finishTextGroup(rs)) != Res_ok)
            return err;
        err = Word_placePicture(rs);
        if (!err)
            readerOf(rs->para)->load->hasPictures = 1;
    }
    return err == Res_noMemory || err == Res_stopRequested ? err : int(Res_ok);
}

} // namespace

int Word_ensureTextGroup(WordRunState *rs)
{
    return ensureTextGroup(rs);
}

uint32_t Word_lidCharset(uint32_t lid)
{
    switch (lid) {
    case 0x41E: return 7;
    case 0x405:
    case 0x40E:
    case 0x415:
    case 0x418:
    case 0x41A:
    case 0x41B:
    case 0x424: return 8;
    case 0x402:
    case 0x419:
    case 0x41C:
    case 0x422:
    case 0x423:
    case 0x42F:
    case 0x43E: return 9;
    case 0x408: return 11;
    case 0x41F: return 12;
    case 0x40D: return 13;
    case 0x401:
    case 0x420:
    case 0x421:
    case 0x429: return 14;
    case 0x425:
    case 0x426:
    case 0x427: return 15;
    case 0x412: return 30;
    case 0x411: return 31;
    case 0x404: return 34;
    case 0x804: return 35;
    default: return 10;
    }
}

namespace {

// The upper half of Mac Roman (0x80-0xFF).
constexpr char16_t kTextMacRoman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// Fills high with the upper half (0x80-0xFF) of single-byte charset code.
void textDecodeHigh(uint32_t code, char16_t *high, EngineContext *ctx)
{
    if (code == Word_charsetMacRoman) {
        std::memcpy(high, kTextMacRoman, sizeof kTextMacRoman);
        return;
    }
    for (uint32_t k = 0; k < 128; k++) {
        uint8_t byte = uint8_t(0x80 + k);
        char16_t *one = nullptr;
        if (code < CharsetCode_korean && Charset_toUstrN(ctx, &byte, 1, &one, code) == Res_ok &&
            one && one[0])
            high[k] = one[0];
        else
            high[k] = code < CharsetCode_korean ? char16_t(byte) : char16_t(0xFFFD);
        Mem_free(one);
    }
}

} // namespace

uint32_t Word_fontCharsetCode(uint32_t charset)
{
    switch (charset) {
    case 77: return Word_charsetMacRoman;
    case 128: return CharsetCode_shiftJis;
    case 129: return CharsetCode_korean;
    case 134: return CharsetCode_gbk;
    case 136: return CharsetCode_big5;
    case 161: return CharsetCode_win1250 + 3; // windows-1253
    case 162: return CharsetCode_win1250 + 4; // windows-1254
    case 163: return CharsetCode_win1258;
    case 177: return CharsetCode_win1250 + 5; // windows-1255
    case 178: return CharsetCode_win1250 + 6; // windows-1256
    case 186: return CharsetCode_win1250 + 7; // windows-1257
    case 204: return CharsetCode_win1250 + 1; // windows-1251
    case 222: return CharsetCode_win874;
    case 238: return CharsetCode_win1250;
    default: return 0;
    }
}

uint32_t Word_documentCharset(const WordReader *r)
{
    if (r->fib.wIdent != Word_identWord6)
        return CharsetCode_win1252;
    if (r->fib.chs == 256 || (r->fib.flags2 & 1))
        return Word_charsetMacRoman;
    return Word_lidCharset(r->fib.lid);
}

namespace {

// The code page of a Word 6/95 run: a run that names its character set,
// or whose font has a character set of its own, is in that code page;
// other runs are in the document's (0).
uint32_t textRunCode(const WordChp *chp, WordReader *r)
{
    uint32_t code = 0;
    if (chp->fChsDiff) {
        code = Word_fontCharsetCode(chp->chs);
        if (!code && chp->lid[0] != 0x400)
            code = Word_lidCharset(chp->lid[0]);
    }
    if (!code && chp->ftc[0] < r->fontCount)
        code = Word_fontCharsetCode(r->fonts[chp->ftc[0]].charset);
    return code;
}

// The character of byte (0x80 or above) of a Word 6/95 run in a
// single-byte code page.
char16_t textRunChar(uint8_t byte, const WordChp *chp, WordReader *r)
{
    WordLoad *l = r->load;
    uint32_t code = textRunCode(chp, r);
    if (!code || code + 1 == l->highCode)
        return l->high[byte - 0x80];
    if (l->runHighCode != code + 1) {
        textDecodeHigh(code, l->runHigh, r->ctx);
        l->runHighCode = code + 1;
    }
    return l->runHigh[byte - 0x80];
}

// Whether code is one of the double-byte code pages (Korean, Shift_JIS,
// Big5, GBK), whose 8-bit text holds a character in a lead and a trail
// byte (two CPs).
bool textDoubleByte(uint32_t code)
{
    return code == CharsetCode_korean || code == CharsetCode_shiftJis || code == CharsetCode_big5 ||
           code == CharsetCode_gbk;
}

// Whether byte leads a two-byte character in double-byte code page code.
bool textLeadByte(uint32_t code, uint8_t byte)
{
    if (code == CharsetCode_shiftJis)
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    return byte >= 0x81 && byte <= 0xFE;
}

// Whether byte can end a two-byte character of code page code.
bool textTrailByte(uint32_t code, uint8_t byte)
{
    if (code == CharsetCode_big5)
        return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0xA1 && byte <= 0xFE);
    if (code == CharsetCode_korean)
        return byte >= 0x41 && byte <= 0xFE;
    return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

// The character of count (1 or 2) bytes in double-byte code page code:
// U+FFFD for a code the code page lacks.
char16_t textDecodeDouble(uint32_t code, const uint8_t *b, uint32_t count, EngineContext *ctx)
{
    char16_t *one = nullptr;
    char16_t c = 0xFFFD;
    if (Charset_toUstrN(ctx, b, count, &one, code) == Res_ok && one && one[0] && !one[1])
        c = one[0];
    Mem_free(one);
    return c;
}

} // namespace

int Word_fetchText(uint32_t cp, uint32_t cpEnd, uint32_t *outEnd, const char16_t **chars,
                   WordReader *r)
{
    *outEnd = cp;
    *chars = nullptr;
    WordLoad *l = r->load;
    if (!(l->window && cp >= l->windowStart && cp < l->windowStart + l->windowLength)) {
        uint32_t start = 0, end = 0, is16 = 0;
        int err = Word_pieceAtCp(cp, &start, &end, &is16, r);
        if (err)
            return err;
        uint32_t fc = 0;
        if ((err = Word_cpToFc(cp, &fc, &is16, r)) != Res_ok)
            return err;
        uint32_t n = end - cp;
        uint32_t maxChars = is16 ? Word_textWindowBytes / 2 : Word_textWindowBytes;
        if (n > maxChars)
            n = maxChars;
        uint32_t bytes = is16 ? n * 2 : n;
        uint8_t *raw = nullptr;
        if ((err = Word_readBlock(r->docStream, fc, bytes, &raw)) != Res_ok)
            return err;
        char16_t *text = nullptr;
        if (is16) {
            text = static_cast<char16_t *>(Mem_malloc((size_t(n) + 1) * sizeof(char16_t)));
            if (text)
                for (uint32_t i = 0; i < n; i++)
                    text[i] = char16_t(Bytes_peekU16Le(raw + 2 * i));
            err = text ? Res_ok : Res_noMemory;
        } else {
            // One character per byte: decode byte by byte so that positions
            // stay CPs whatever the character set. The bytes are kept
            // behind the characters for runs in another code page.
            uint32_t code = Word_documentCharset(r);
            text = static_cast<char16_t *>(Mem_malloc((size_t(n) + 1) * sizeof(char16_t) + n));
            if (!text)
                err = Res_noMemory;
            // The upper half of the code page, decoded once per load.
            if (text && l->highCode != code + 1) {
                textDecodeHigh(code, l->high, r->ctx);
                l->highCode = code + 1;
            }
            for (uint32_t i = 0; text && i < n; i++)
                text[i] = raw[i] < 0x80 ? char16_t(raw[i]) : l->high[raw[i] - 0x80];
            if (text)
                std::memcpy(text + n + 1, raw, n);
        }
        Mem_free(raw);
        if (err) {
            Mem_free(text);
            return err;
        }
        Mem_free(l->window);
        l->window = text;
        l->windowStart = cp;
        l->windowLength = n;
        l->window16 = is16;
    }
    uint32_t end = l->windowStart + l->windowLength;
    if (end > cpEnd)
        end = cpEnd;
    *outEnd = end;
    *chars = l->window + (cp - l->windowStart);
    return Res_ok;
}

uint32_t Word_pagerefTarget(const char16_t *s, uint32_t n, const char16_t **target)
{
    *target = nullptr;
    static const char16_t key[] = u"PAGEREF";
    for (uint32_t i = 0; i + 7 <= n; i++) {
        if (memcmp(s + i, key, 7 * sizeof(char16_t)) != 0)
            continue;
        uint32_t j = i + 7;
        while (j < n && s[j] == u' ')
            j++;
        uint32_t k = j;
        while (k < n && s[k] != u' ')
            k++;
        // The word needs two characters or more and a space after it.
        if (k - j < 2 || k >= n)
            return 0;
        *target = s + j;
        return k - j;
    }
    return 0;
}

int Word_linkText(const char16_t *target, uint32_t n, char16_t **out)
{
    *out = nullptr;
    if (n == 0)
        return Res_ok;
    bool bookmark = true;
    for (uint32_t i = 0; i < n; i++)
        if (target[i] == u'\\' || target[i] == u'/')
            bookmark = false;
    // A bookmark's anchor is stored without its leading underscore.
    uint32_t skip = bookmark && target[0] == u'_' ? 1 : 0;
    uint32_t len = (bookmark ? 1 : 0) + n - skip;
    char16_t *s = static_cast<char16_t *>(Mem_malloc((size_t(len) + 1) * sizeof(char16_t)));
    if (!s)
        return Res_noMemory;
    uint32_t k = 0;
    if (bookmark)
        s[k++] = u'#';
    memcpy(s + k, target + skip, (n - skip) * sizeof(char16_t));
    s[len] = 0;
    *out = s;
    return Res_ok;
}

int Word_chpToProps(const WordChp *chp, WordPropList *list, WordReader *r)
{
    WordLoad *l = r->load;
    Word_propListInit(list);
    int err = Res_ok;
    auto add = [&](uint32_t id, uint32_t type, uint32_t word) {
        if (!err)
            err = Word_propAdd(list, id, type, word, r);
    };
    uint8_t strike = chp->fStrike, vanish = chp->fVanish, kul = chp->kul;
    if (chp->fRMarkDel) {
        if (l->revisionOption)
            strike = 1;
        else
            vanish = 1;
    }
    if (chp->fRMark && l->revisionOption)
        kul = 1;
    if (chp->fBold)
        add(43, WordValue_keyword, 40);
    if (chp->fItalic)
        add(41, WordValue_keyword, 79);
    if (chp->fSmallCaps)
        add(42, WordValue_keyword, 127);
    if (chp->fCaps)
        add(83, WordValue_keyword, 155);
    if (vanish)
        add(34, WordValue_keyword, 0);
    if (strike)
        add(80, WordValue_keyword, 88);
    if (chp->ftc[0] < r->fontCount && int32_t(chp->ftc[0]) != r->symbolFont && !err)
        err = Word_propAddString(list, 37, r->fonts[chp->ftc[0]].name, r);
    if (chp->ftc[1] < r->fontCount && int32_t(chp->ftc[1]) != r->symbolFont &&
        int32_t(chp->ftc[1]) != r->wingdingsFont && !err)
        err = Word_propAddString(list, 152, r->fonts[chp->ftc[1]].name, r);
    if (chp->hps != 20)
        add(38, WordValue_length, uint32_t(chp->hps) * 65536 / 144);
    if (chp->iss == 1)
        add(86, WordValue_keyword, 133);
    else if (chp->iss == 2)
        add(86, WordValue_keyword, 132);
    else if (chp->hpsPos)
        add(86, WordValue_length, uint32_t(int32_t(int16_t(chp->hpsPos)) * 65536 / 144));
    if (kul) {
        static constexpr uint16_t underline[12] = {0,   129, 162, 60,  59,  145,
                                                   145, 54,  59,  163, 164, 165};
        add(95, WordValue_keyword, kul > 11 ? 129 : underline[kul]);
    }
    if (chp->ico == 0xFF)
        add(29, WordValue_colour,
            uint32_t(chp->rgb[0]) | (uint32_t(chp->rgb[1]) << 8) | (uint32_t(chp->rgb[2]) << 16) |
                0xFF000000u);
    else
        add(29, WordValue_colour, Word_colourForIco(chp->ico));
    if (chp->fHighlight && chp->icoHighlight)
        add(2, WordValue_colour, Word_colourForIco(chp->icoHighlight));
    for (uint32_t d = 1; d <= l->fieldDepth && !err; d++) {
        const WordFieldLevel &f = l->fields[d];
        err = Word_propAddString(list, 148, f.instruction ? f.instruction : u"", r);
        add(149, WordValue_int, f.type);
    }
    if (!err && l->fieldDepth && l->fieldDepth != l->lastPropDepth) {
        add(150, WordValue_int, l->fieldDepth);
        l->lastPropDepth = l->fieldDepth;
    }
    if (err)
        Word_propListClear(list);
    return err;
}

int Word_emitTextRange(uint32_t cpStart, uint32_t cpEnd, WordParaState *para)
{
    if (para->skipped)
        return Res_ok;
    WordReader *r = readerOf(para);
    WordLoad *l = r->load;
    WordRunState rs{};
    rs.para = para;
    rs.chp = para->baseChp;
    int err = Word_applyRunProps(cpStart, &rs.chp, r);
    if (err && err != Res_wordNotFound)
        return err;
    err = Res_ok;
    Pending p{};
    Pending pageText{};
    uint32_t mainEnd = r->fib.ccpText;
    if (para->leadIn && !para->leadInEmitted) {
        para->leadInEmitted = 1;
        err = emitLeadIn(para);
    }
    for (uint32_t cp = cpStart; cp < cpEnd && !err;) {
        uint32_t end = 0;
        const char16_t *chars = nullptr;
        if ((err = Word_fetchText(cp, cpEnd, &end, &chars, r)) != Res_ok)
            break;
        if (end <= cp)
            break;
        // The bytes of 8-bit text of a Word 6/95 file, behind the window's
        // characters: runs in another code page decode them again.
        const uint8_t *bytes = nullptr;
        if (!l->window16 && r->fib.wIdent == Word_identWord6)
            bytes = reinterpret_cast<const uint8_t *>(l->window + l->windowLength + 1) +
                    (cp - l->windowStart);
        for (uint32_t i = 0; cp < end && !err; i++, cp++) {
            char16_t c = chars[i];
            rs.cp = cp;
            // Instruction text of an open field is collected, never shown.
            WordFieldLevel *f = innermost(l);
            if (rs.chp.fSpec && l->showText && specialHandled(c)) {
                err = flush(&rs, &p);
                if (!err && c == 0)
                    err = emitPageNumber(&rs, nullptr, 0);
                else if (!err && (c == 1 || c == 8))
                    err = drawingChar(&rs, c);
                else if (!err && c == 40 && rs.chp.xchSym)
                    err = pendAdd(&p, char16_t(rs.chp.xchSym));
                continue;
            }
            if (c == 19 || c == 20 || c == 21) {
                if (!(err = flush(&rs, &p))) {
                    err = fieldChar(&rs, c, &pageText);
                    if (err == Res_wordFieldNotOpen)
                        err = Res_ok;
                }
                continue;
            }
            if (f && f->kind == 19) {
                err = appendInstruction(f, &c, 1);
                continue;
            }
            if (f && f->kind == 20 && f->type == fieldPage && !l->showText) {
                err = pendAdd(&pageText, c);
                continue;
            }
            switch (c) {
            case 30:
            case 31: err = pendAdd(&p, u'-'); break;
            case 7:
                l->cellEndSeen = 1;
                para->cellEnd = 1;
                break;
            case 12: {
                err = flush(&rs, &p);
                uint32_t mark = 0;
                (void)Word_isSectionMark(cp, &mark, r);
                // A break that ends its paragraph breaks the page there and
                // opens no further paragraph; one inside a paragraph moves
                // the rest of it to a new paragraph on the next page. Only
                // the paragraph's end counts: a run may end at the break.
                if (!err && !mark && cp < mainEnd && !para->section->story)
                    err = cp + 1 < para->cpEnd
                              ? pageBreak(&rs)
                              : appendGroup(&rs, WordClass_pageBreak, 0, nullptr, 0);
                break;
            }
            case 13: l->paraMarkChp = rs.chp; break;
            case 14:
                err = flush(&rs, &p);
                if (!err && cp < mainEnd) {
                    err = appendGroup(&rs, WordClass_columnBreak, 0, nullptr, 0);
                    para->hasContent = 1;
                }
                break;
            default: {
                char16_t out = c;
                if (bytes && bytes[i] >= 0x80) {
                    uint32_t code = textRunCode(&rs.chp, r);
                    if (!code)
                        code = Word_documentCharset(r);
                    if (!textDoubleByte(code)) {
                        out = c = textRunChar(bytes[i], &rs.chp, r);
                    } else if (textLeadByte(code, bytes[i]) && cp + 1 < end &&
                               textTrailByte(code, bytes[i + 1])) {
                        // A two-byte character takes this CP and the next:
                        // it is shown once, at its lead byte.
                        out = c = textDecodeDouble(code, bytes + i, 2, r->ctx);
                        i++;
                        cp++;
                    } else {
                        out = c = textDecodeDouble(code, bytes + i, 1, r->ctx);
                    }
                }
                if (c != 45 &&
                    ((r->symbolFont >= 0 && rs.chp.ftc[0] == uint32_t(r->symbolFont)) ||
                     (r->wingdingsFont >= 0 && rs.chp.ftc[0] == uint32_t(r->wingdingsFont))) &&
                    c < 0x100)
                    out = char16_t(0xF000 + c);
                err = pendAdd(&p, out);
                break;
            }
            }
        }
        if (!err)
            err = flush(&rs, &p);
    }
    int err2 = finishTextGroup(&rs);
    if (!err)
        err = err2;
    Mem_free(p.chars);
    Mem_free(pageText.chars);
    return err;
}

int Word_emptyParagraphFill(WordParaState *para)
{
    if (para->skipped || para->hasContent)
        return Res_ok;
    WordReader *r = readerOf(para);
    WordRunState rs{};
    rs.para = para;
    Word_defaultChp(&rs.chp);
    rs.chp.hps = r->load->paraMarkChp.hps;
    memcpy(rs.chp.ftc, r->load->paraMarkChp.ftc, sizeof rs.chp.ftc);
    uint32_t show = r->load->showText;
    r->load->showText = 1;
    Pending p{};
    int err = pendAdd(&p, char16_t(0xA0));
    if (!err)
        err = flush(&rs, &p);
    r->load->showText = show;
    int err2 = finishTextGroup(&rs);
    Mem_free(p.chars);
    return err ? err : err2;
}

void Word_fieldsFree(WordReader *reader)
{
    WordLoad *l = reader->load;
    if (!l)
        return;
    for (uint32_t d = 1; d <= l->fieldDepth && d <= Word_maxFieldDepth; d++)
        Mem_free(l->fields[d].instruction);
    l->fieldDepth = 0;
    l->fieldOverflow = 0;
    Mem_free(l->window);
    l->window = nullptr;
    l->windowLength = 0;
    for (uint32_t i = 0; i < 7; i++) {
        Mem_free(l->fieldTables[i]);
        l->fieldTables[i] = nullptr;
        l->fieldCounts[i] = 0;
    }
}

namespace {

// The field table of each sub-document (0-7); -1 for the macro text,
// which has none.
constexpr int32_t fieldTableOf[8] = {0, 2, 1, -1, 3, 4, 5, 6};

} // namespace

int Word_readFieldTables(WordReader *r)
{
    // Main text, headers, footnotes, comments, endnotes, text boxes and
    // header text boxes: FIB pairs 16, 17, 18, 19, 48, 57 and 59.
    static constexpr uint32_t pairs[7] = {16, 17, 18, 19, 48, 57, 59};
    WordLoad *l = r->load;
    for (uint32_t i = 0; i < 7; i++) {
        const WordFcLcb &pair = r->fib.pairs[pairs[i]];
        if (pair.lcb < 4 || (pair.lcb - 4) % 6)
            continue;
        uint8_t *plc = nullptr;
        int err = Word_readBlock(r->tableStream, pair.fc, pair.lcb, &plc);
        if (err == Res_noMemory)
            return err;
        if (err)
            continue; // a table outside its stream: the fields are read without descriptors
        l->fieldTables[i] = plc;
        l->fieldCounts[i] = (pair.lcb - 4) / 6;
    }
    return Res_ok;
}

int Word_fieldAt(uint32_t cp, uint32_t subdoc, uint8_t fld[2], WordReader *r)
{
    if (subdoc > 7 || fieldTableOf[subdoc] < 0)
        return Res_wordBadSubdoc;
    WordLoad *l = r->load;
    uint32_t table = uint32_t(fieldTableOf[subdoc]);
    const uint8_t *plc = l ? l->fieldTables[table] : nullptr;
    uint32_t n = l ? l->fieldCounts[table] : 0;
    if (!plc)
        return Res_wordNoFieldAtCp;
    uint32_t rel = cp - r->subdocStart[subdoc];
    uint32_t lo = 0, hi = n;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        const uint8_t *p = plc + 4 * size_t(mid);
        uint32_t v = Bytes_peekU32Le(p);
        if (v == rel) {
            const uint8_t *d = plc + 4 * (size_t(n) + 1) + 2 * size_t(mid);
            fld[0] = d[0];
            fld[1] = d[1];
            return Res_ok;
        }
        if (v < rel)
            lo = mid + 1;
        else
            hi = mid;
    }
    return Res_wordNoFieldAtCp;
}
