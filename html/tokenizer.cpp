// The tokenizer and character references.
//
// The tokenizer walks the converted text once, character by character, as
// a state machine. Tags and attributes are recorded as offsets from the
// tag's '<' and handed to tree building when the tag ends; text runs stay
// in the buffer until tree building takes them. References are decoded in
// place, in text runs and attribute values, so a run only ever shrinks.
#include "html/parser.h"
#include "core/text/number.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"

namespace {

// Tokenizer states.
enum : uint32_t {
    sComment = 0,
    sCommentDash = 1,
    sCommentDashDash = 2,
    sBang = 3,         // after "<!-"
    sBangDashDash = 4, // after "<!--"
    sBeforeFirst = 5,
    sMarked = 6,
    sMarkedBracket = 7,
    sMarkedBrackets = 8,
    sKeywordStart = 9,
    sKeyword = 10,
    sAfterKeyword = 11,
    sKeywordEnd = 12,
    sKeywordEndDash = 13,
    sKeywordEndDashDash = 14,
    sAttrName = 15,
    sAfterAttrName = 16,
    sTagName = 17,
    sDeclaration = 18,
    sSlash = 19,
    sBetween = 20,
    sOpen = 21,
    sUnquoted = 22,
    sDouble = 23,
    sSingle = 24,
    sValue = 25,
    sText = 26,
};

bool isSpace(char16_t c)
{
    return c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32;
}

bool isLetter(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// windows-1252 for 0x80..0x9F; 0 marks the holes.
constexpr char16_t kC1[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                              0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Compares a 16-bit name with an entity name by code units.
int compareEntity(const char16_t *name, size_t n, const char *entry)
{
    for (size_t i = 0;; i++) {
        if (i == n)
            return entry[i] ? -1 : 0;
        if (!entry[i])
            return 1;
        uint32_t a = name[i], b = uint8_t(entry[i]);
        if (a != b)
            return a < b ? -1 : 1;
    }
}

// Writes the replacement of a numeric reference: the low 16 bits of
// values up to U+FFFF (through the C1 table), a surrogate pair for the
// supplementary planes, U+FFFD for surrogates and values beyond.
size_t putNumber(char16_t *out, uint32_t v)
{
    if (v >= 0x10000 && v <= 0x10FFFF) {
        v -= 0x10000;
        out[0] = char16_t(0xD800 + (v >> 10));
        out[1] = char16_t(0xDC00 + (v & 0x3FF));
        return 2;
    }
    if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
        out[0] = 0xFFFD;
        return 1;
    }
    out[0] = Html_mapC1(char16_t(v));
    return 1;
}

// A numeric reference at text[i] == '&', text[i + 1] == '#'. *next is where
// the reference's text ends (the ';' included); 0 when it is left as text.
size_t numericEnd(const char16_t *text, size_t n, size_t i, uint32_t *value)
{
    size_t j = i + 2;
    uint32_t v = 0;
    bool any = false;
    if (j < n && (text[j] == u'x' || text[j] == u'X')) {
        if (j + 1 >= n)
            return 0;
        j++;
        for (; j < n && Hex_digitValue(text[j]) >= 0; j++) {
            any = true;
            if (v == u'?')
                continue;
            if (v >= 0xFFFFFFF)
                v = u'?';
            else
                v = v * 16 + uint32_t(Hex_digitValue(text[j]));
        }
    } else if (j < n && isDigit(text[j])) {
        bool capped = false;
        for (; j < n && isDigit(text[j]); j++) {
            any = true;
            if (capped)
                continue;
            if (v > 0x19999998) {
                v = u'?';
                capped = true;
            } else {
                v = v * 10 + uint32_t(text[j] - u'0');
            }
        }
    }
    if (!any)
        return 0;
    if (j == n || text[j] == u' ') {
        *value = v;
        return j;
    }
    if (text[j] == u';') {
        if (v == 0)
            return 0;
        *value = v;
        return j + 1;
    }
    return 0;
}

} // namespace

char16_t Html_mapC1(char16_t c)
{
    if (c < 0x7F || c > 0x9F)
        return c;
    if (c == 0x7F)
        return 0xFFFD;
    char16_t m = kC1[c - 0x80];
    return m ? m : char16_t(0xFFFD);
}

int Html_findEntity(const char16_t *name, size_t length, uint32_t *code, size_t *matched)
{
    *code = 0;
    *matched = 0;
    size_t lo = 0, hi = Html_entityCount;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        int c = compareEntity(name, length, Html_entities[mid].name);
        if (c == 0) {
            *code = Html_entities[mid].code;
            *matched = length;
            return 1;
        }
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return 0;
}

int Html_findEntityPrefix(const char16_t *text, size_t n, uint32_t *code, size_t *matched)
{
    *code = 0;
    *matched = 0;
    // Names are at most 8 characters: try the prefixes from the longest.
    size_t longest = n < 8 ? n : 8;
    for (size_t k = longest; k >= 2; k--) {
        uint32_t c = 0;
        size_t m = 0;
        if (Html_findEntity(text, k, &c, &m)) {
            *code = c;
            *matched = m;
            return 1;
        }
    }
    return 0;
}

size_t Html_decodeRefs(char16_t *text, size_t length)
{
    // Text before the first '&' stays where it is.
    size_t r = 0;
    while (r < length && text[r] != u'&')
        r++;
    size_t w = r;
    while (r < length) {
        char16_t c = text[r];
        if (c != u'&') {
            text[w++] = c;
            r++;
            continue;
        }
        if (r + 1 < length && text[r + 1] == u'#') {
            uint32_t v = 0;
            size_t end = numericEnd(text, length, r, &v);
            if (end) {
                // The reference is at least three characters ("&#N"), so
                // even a surrogate pair fits in its place.
                w += putNumber(text + w, v);
                r = end;
                continue;
            }
            text[w++] = text[r++];
            continue;
        }
        size_t j = r + 1;
        while (j < length && (isLetter(text[j]) || isDigit(text[j])))
            j++;
        uint32_t code = 0;
        size_t matched = 0;
        if (j < length && text[j] == u';' && j > r + 1 &&
            Html_findEntity(text + r + 1, j - r - 1, &code, &matched)) {
            text[w++] = char16_t(code);
            r = j + 1;
            continue;
        }
        if (Html_findEntityPrefix(text + r + 1, j - r - 1, &code, &matched)) {
            size_t k = r + 1 + matched;
            size_t idx = 0;
            // The matched entry's flag: look it up again by its exact name.
            bool bare = false;
            {
                size_t lo = 0, hi = Html_entityCount;
                while (lo < hi) {
                    size_t mid = (lo + hi) / 2;
                    int cmp = compareEntity(text + r + 1, matched, Html_entities[mid].name);
                    if (cmp == 0) {
                        idx = mid;
                        bare = Html_entities[idx].bare != 0;
                        break;
                    }
                    if (cmp < 0)
                        hi = mid;
                    else
                        lo = mid + 1;
                }
            }
            if (bare && (k >= length || !isLetter(text[k]))) {
                text[w++] = char16_t(code);
                r = k;
                continue;
            }
        }
        text[w++] = text[r++];
    }
    return w;
}

namespace {

int growTags(HtmlParser *p, uint32_t need)
{
    if (need <= p->tagCapacity)
        return Res_ok;
    uint32_t cap = p->tagCapacity ? p->tagCapacity : 2;
    while (cap < need)
        cap *= 2;
    auto *t = static_cast<HtmlTagSpan *>(Mem_realloc(p->tags, cap * sizeof(HtmlTagSpan)));
    if (!t)
        return Res_noMemory;
    p->tags = t;
    p->tagCapacity = cap;
    return Res_ok;
}

void resetTag(HtmlParser *p)
{
    p->tagCount = 0;
    p->tags[0] = {1, 0, -1, 0};
    p->tags[1] = {-1, 0, -1, 0};
}

bool rawCurrent(const HtmlParser *p)
{
    return Html_inSet(HtmlSet_raw, p->element) != 0;
}

// Reads on from k to stop over the characters for which ends(c) is false,
// mapping C1 codes as the character loop does; the position reached.
template <typename Ends> size_t scanRun(char16_t *b, size_t k, size_t stop, Ends ends)
{
    for (; k < stop; k++) {
        char16_t c = b[k];
        if (uint16_t(c - 0x7F) <= 0x20)
            b[k] = c = Html_mapC1(c);
        if (ends(c))
            break;
    }
    return k;
}

// Reads on over the characters that would leave the state as it is (text,
// names, values, comments), up to the next yield point or the end of
// inserted text, as the character loop would.
void skipRun(HtmlInput *in, uint32_t state)
{
    if (in->scan % Html_yieldEvery == 0)
        return; // the loop yields here first
    size_t stop = (in->scan / Html_yieldEvery + 1) * Html_yieldEvery;
    if (stop > in->end)
        stop = in->end;
    if (in->insertEnd && in->insertEnd > in->scan && in->insertEnd < stop)
        stop = in->insertEnd;
    char16_t *b = in->buf;
    size_t k = in->scan;
    switch (state) {
    case sText: k = scanRun(b, k, stop, [](char16_t c) { return c == u'<'; }); break;
    case sTagName:
        k = scanRun(b, k, stop,
                    [](char16_t c) { return isSpace(c) || c == u'/' || c == u'?' || c == u'>'; });
        break;
    case sAttrName:
        k = scanRun(b, k, stop, [](char16_t c) {
            return isSpace(c) || c == u'>' || c == u'<' || c == u'=' || c == u'?' || c == u'\'' ||
                   c == u'"';
        });
        break;
    case sUnquoted:
        k = scanRun(b, k, stop, [](char16_t c) { return isSpace(c) || c == u'>'; });
        break;
    case sDouble: k = scanRun(b, k, stop, [](char16_t c) { return c == u'"'; }); break;
    case sSingle: k = scanRun(b, k, stop, [](char16_t c) { return c == u'\''; }); break;
    case sComment:
        k = scanRun(b, k, stop, [](char16_t c) { return c == u'-' || c == u'>'; });
        break;
    default: break;
    }
    in->scan = k;
}

// The span's length up to pos.
uint32_t lengthTo(const HtmlInput *in, size_t pos, int32_t start)
{
    return uint32_t(pos - in->tagStart - size_t(start));
}

int newAttribute(HtmlParser *p, const HtmlInput *in, size_t pos)
{
    int err = growTags(p, p->tagCount + 3);
    if (err)
        return err;
    p->tagCount++;
    p->tags[p->tagCount] = {int32_t(pos - in->tagStart), 0, -1, 0};
    return Res_ok;
}

void endValue(HtmlParser *p, HtmlInput *in, size_t pos)
{
    HtmlTagSpan *t = &p->tags[p->tagCount];
    t->valueLength = lengthTo(in, pos, t->valueStart);
    t->valueLength =
        uint32_t(Html_decodeRefs(in->buf + in->tagStart + t->valueStart, t->valueLength));
}

void endName(HtmlParser *p, const HtmlInput *in, size_t pos)
{
    HtmlTagSpan *t = &p->tags[p->tagCount];
    if (t->nameStart >= 0)
        t->nameLength = lengthTo(in, pos, t->nameStart);
}

// Flushes the text before the tag's '<' and drops it from the pending run.
int flushBefore(HtmlParser *p, HtmlInput *in)
{
    if (rawCurrent(p))
        return Res_ok;
    int err = Res_ok;
    if (in->tagStart > in->textStart)
        err = Html_flushText(p, in->buf + in->textStart, in->tagStart - in->textStart);
    in->textStart = in->tagStart;
    return err;
}

} // namespace

int Html_tokenize(EngineContext *context, HtmlInput *in, HtmlParser *p)
{
    int err = growTags(p, 2);
    if (err)
        return err;
    while (in->scan < in->end) {
        if (p->restartRequested || p->stop)
            break;
        if (in->insertEnd && in->scan >= in->insertEnd) {
            // The inserted copy is read: conditional comments count again.
            in->insertEnd = 0;
            if (p->open[HtmlEl_IfComment] > 0)
                p->open[HtmlEl_IfComment]--;
        }
        if (in->scan % Html_yieldEvery == 0)
            Task_yield(context);
        size_t pos = in->scan;
        char16_t c = Html_mapC1(in->buf[pos]);
        in->buf[pos] = c;
        in->scan++;
        switch (p->state) {
        case sText:
            if (c == u'<') {
                in->tagStart = pos;
                p->tagSeen = 1;
                p->state = sOpen;
            }
            break;
        case sBeforeFirst:
            if (c == u'<') {
                // White space before the first tag makes no text.
                in->tagStart = in->textStart = pos;
                p->state = sOpen;
            } else if (!isSpace(c)) {
                p->state = sText;
            }
            break;
        case sOpen:
            resetTag(p);
            if (isLetter(c) || c == u'/' || c == u'?') {
                p->state = sTagName;
            } else if (c == u'!') {
                p->state = sDeclaration;
            } else {
                in->scan--;
                p->state = sText;
            }
            break;
        case sTagName:
            if (isSpace(c) || c == u'/' || c == u'?' || c == u'>') {
                endName(p, in, pos);
                if (c == u'>') {
                    p->state = sText;
                    err = Html_emitTag(context, p, in, 0);
                } else {
                    p->state = isSpace(c) ? sBetween : sSlash;
                }
            }
            break;
        case sSlash:
            if (c == u'>') {
                p->state = sText;
                err = Html_emitTag(context, p, in, 1);
            } else {
                p->state = sBetween;
            }
            break;
        case sBetween:
            if (c == u'>') {
                p->state = sText;
                err = Html_emitTag(context, p, in, 0);
            } else if (c == u'?' || isSpace(c)) {
            } else if (c == u'<') {
                p->state = sOpen;
                err = Html_emitTag(context, p, in, 0);
                in->tagStart = pos;
                if (in->textStart > pos)
                    in->textStart = pos;
            } else if (c == u'/') {
                p->state = sSlash;
            } else if (!rawCurrent(p)) {
                err = newAttribute(p, in, pos);
                in->scan--;
                p->state = sAttrName;
            }
            break;
        case sAttrName:
            if (c == u'>') {
                endName(p, in, pos);
                p->state = sText;
                err = Html_emitTag(context, p, in, 0);
            } else if (c == u'<') {
                endName(p, in, pos);
                p->state = sOpen;
                if (!rawCurrent(p))
                    err = Html_emitTag(context, p, in, 0);
                in->tagStart = pos;
                if (in->textStart > pos)
                    in->textStart = pos;
            } else if (c == u'=') {
                endName(p, in, pos);
                in->scan--;
                p->state = sAfterAttrName;
            } else if (isSpace(c)) {
                endName(p, in, pos);
                p->state = sAfterAttrName;
            } else if (c == u'?' || c == u'\'' || c == u'"') {
                endName(p, in, pos);
                p->state = sBetween;
            }
            break;
        case sAfterAttrName:
            if (c == u'=') {
                p->state = sValue;
            } else if (!isSpace(c)) {
                err = newAttribute(p, in, pos);
                in->scan--;
                p->state = sAttrName;
            }
            break;
        case sValue:
            if (c == u'>') {
                p->tags[p->tagCount].valueStart = int32_t(pos - in->tagStart);
                p->tags[p->tagCount].valueLength = 0;
                p->state = sText;
                err = Html_emitTag(context, p, in, 0);
            } else if (c == u'\'' || c == u'"') {
                p->tags[p->tagCount].valueStart = int32_t(pos + 1 - in->tagStart);
                p->state = c == u'"' ? sDouble : sSingle;
            } else if (!isSpace(c)) {
                p->tags[p->tagCount].valueStart = int32_t(pos - in->tagStart);
                p->state = sUnquoted;
            }
            break;
        case sUnquoted:
            if (c == u'>') {
                endValue(p, in, pos);
                p->state = sText;
                err = Html_emitTag(context, p, in, 0);
            } else if (isSpace(c)) {
                endValue(p, in, pos);
                p->state = sBetween;
            }
            break;
        case sDouble:
        case sSingle:
            if (c == (p->state == sDouble ? u'"' : u'\'')) {
                endValue(p, in, pos);
                p->state = sBetween;
            }
            break;
        case sDeclaration:
            if (c == u'-') {
                p->state = sBang;
            } else {
                p->tags[0] = {1, 0, -1, 0};
                p->state = c == u'[' ? sKeywordStart : sTagName;
            }
            break;
        case sBang:
            if (c == u'-') {
                p->state = sBangDashDash;
            } else if (isSpace(c)) {
                err = flushBefore(p, in);
                p->state = sComment;
            } else {
                p->state = sText;
            }
            break;
        case sBangDashDash:
            if (c == u'[') {
                p->tags[0] = {1, 0, -1, 0};
                p->state = sKeywordStart;
            } else {
                err = flushBefore(p, in);
                p->state = c == u'-' ? sCommentDash : sComment;
            }
            break;
        case sComment:
            if (c == u'-')
                p->state = sCommentDash;
            else if (c == u'>' && !in->commentEnd)
                in->commentEnd = in->scan;
            break;
        case sCommentDash: p->state = c == u'-' ? sCommentDashDash : sComment; break;
        case sCommentDashDash:
            if (c == u'>') {
                in->commentEnd = 0;
                if (!rawCurrent(p))
                    in->textStart = in->scan;
                in->tagStart = in->scan;
                p->state = sText;
            } else if (c != u'-' && !isSpace(c)) {
                p->state = sComment;
            }
            break;
        case sKeywordStart:
            if (isLetter(c))
                p->state = sKeyword;
            else if (!isSpace(c))
                p->state = sComment;
            break;
        case sKeyword:
            if (c == u'[') {
                endName(p, in, pos);
                p->state = sMarked;
                err = Html_emitTag(context, p, in, 0);
            } else if (c == u']') {
                endName(p, in, pos);
                p->state = sKeywordEnd;
            } else if (isSpace(c)) {
                endName(p, in, pos);
                p->state = sAfterKeyword;
            }
            break;
        case sAfterKeyword:
            if (c == u'[') {
                p->state = sMarked;
                err = Html_emitTag(context, p, in, 0);
            } else if (!isSpace(c)) {
                p->tagCount = 0;
                p->tags[1] = {-1, 0, -1, 0};
                in->scan--;
                p->state = sBetween;
            }
            break;
        case sKeywordEnd:
            if (c == u'>') {
                p->state = sText;
                err = Html_emitTag(context, p, in, 0);
            } else {
                p->state = c == u'-' ? sKeywordEndDash : sComment;
            }
            break;
        case sKeywordEndDash:
            if (c == u'-') {
                p->state = sKeywordEndDashDash;
            } else {
                endName(p, in, pos);
                p->state = sKeywordEnd;
            }
            break;
        case sKeywordEndDashDash:
            if (c == u'>') {
                endName(p, in, pos);
                p->state = sText;
                err = Html_emitTag(context, p, in, 0);
            } else {
                p->state = sKeywordEndDash;
            }
            break;
        case sMarked:
            if (c == u']') {
                p->tags[0] = {0, 0, -1, 0};
                p->tagCount = 0;
                in->tagStart = pos;
                p->state = sMarkedBracket;
            }
            break;
        case sMarkedBracket: p->state = c == u']' ? sMarkedBrackets : sMarked; break;
        case sMarkedBrackets:
            if (c == u'>') {
                p->tags[0].nameLength = 2;
                p->state = sText;
                err = Html_emitTag(context, p, in, 0);
            } else {
                p->state = sMarked;
            }
            break;
        default: p->state = sText; break;
        }
        if (err)
            return err;
        if (p->restartRequested && !in->insertEnd) {
            if ((err = Html_restartDecoding(context, p, in)))
                return err;
            continue;
        }
        if (!p->stop)
            skipRun(in, p->state);
    }
    return Res_ok;
}
