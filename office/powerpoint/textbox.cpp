// Presentation text boxes: the box of a shape's client text (its anchor
// turned by quarter turns and flips, shrunk by the insets, anchored
// vertically), the parsing of the client-text-box records with the
// slide-number, date and footer fields, and the building of paragraphs,
// line groups and runs from the text and its run chains.
//
// The records come straight from the file: every header and body is checked
// against the bytes that hold it, and indexes into the stored outline texts
// and field positions into the text are checked before use.
#include <algorithm>
#include <cstring>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/fmt.h"
#include "core/text/ustr.h"
#include "core/time/date.h"
#include "document/edr/node.h"
#include "core/time/httpdate.h"
#include "core/stream/bytestream.h"
#include "office/officeart/escher.h"
#include "office/powerpoint/ppttext.h"

namespace {

// Record types of client text.
enum : uint32_t {
    PptRec_outlineTextRef = 0x0F9E,
    PptRec_textHeader = 0x0F9F,
    PptRec_textChars = 0x0FA0,
    PptRec_styleTextProp = 0x0FA1,
    PptRec_textRuler = 0x0FA6,
    PptRec_textBytes = 0x0FA8,
    PptRec_slideNumber = 0x0FD8,
    PptRec_dateField = 0x0FF8,
    PptRec_footerField = 0x0FFA,
};

// Drawing properties of text boxes.
enum : uint32_t {
    EscherPropId_insetLeft = 129, // then top 130, right 131, bottom 132
    EscherPropId_wrapText = 133,
    EscherPropId_anchorText = 135,
    EscherPropId_textFlow = 136,
    EscherPropId_quarterTurns = 137,
};

constexpr uint32_t headerSize = 8;
constexpr int32_t quarterTurn = 90 * 65536;
constexpr uint32_t unlimited = UINT32_MAX;

int32_t clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// A property value of the set, or fallback when absent.
int64_t propValue(const EscherProp *prop, int64_t fallback)
{
    return prop ? int64_t(int32_t(prop->value)) : fallback;
}

const HeaderFooterRec *activeHeaderFooter(const PptContext *ppt)
{
    return ppt->headerFooterB.first == 0 ? &ppt->headerFooterB : &ppt->headerFooterA;
}

// ------------------------------------------------------------- building

// The walk over the text: the current runs and what is left of them.
struct RunCursor {
    PptParaRun *para;
    uint32_t paraLeft;
    PptCharRun *chr;
    uint32_t chrLeft; // unlimited once the last character run is used up
};

// A used-up character run gives way to the next; the last one stays
// current for the rest of the text.
void nextCharRun(RunCursor *c)
{
    while (c->chrLeft == 0) {
        if (!c->chr->next) {
            c->chrLeft = unlimited;
            break;
        }
        c->chr = c->chr->next;
        c->chrLeft = c->chr->count;
    }
}

void nextParaRun(RunCursor *c)
{
    while (c->paraLeft == 0 && c->para->next) {
        c->para = c->para->next;
        c->paraLeft = c->para->count;
    }
}

void consume(RunCursor *c, uint32_t n)
{
    if (c->chrLeft != unlimited)
        c->chrLeft -= std::min(n, c->chrLeft);
    c->paraLeft -= std::min(n, c->paraLeft);
}

// One paragraph being built.
struct ParaState {
    Edr_Node *para;
    Edr_Node *line;      // the current line group, or null
    Edr_Node *container; // para or line
    bool lineEmpty;
};

int ensureParagraph(PptContext *ppt, Edr_Node *group, uint32_t textType, const RunCursor *c,
                    ParaState *s)
{
    if (s->para)
        return Res_ok;
    int err = Ppt_startParagraph(ppt, c->para, c->chr, group, &s->para, textType);
    s->container = s->para;
    return err;
}

void endParagraph(PptContext *ppt, ParaState *s)
{
    Edr_Node_release(ppt->doc, s->line);
    Edr_Node_release(ppt->doc, s->para);
    *s = ParaState{nullptr, nullptr, nullptr, true};
}

// An empty paragraph without a bullet holding U+00A0.
int emptyParagraph(PptContext *ppt, Edr_Node *group, uint32_t textType, const RunCursor *c)
{
    PptParaRun run = *c->para;
    run.props.mask |= PptPara_bulletFlags;
    run.props.bulletFlags = 0;
    run.next = nullptr;
    Edr_Node *node = nullptr;
    int err = Ppt_startParagraph(ppt, &run, c->chr, group, &node, textType);
    if (!err)
        err = PptText_addNbsp(ppt, c->chr, node);
    Edr_Node_release(ppt->doc, node);
    return err;
}

// VT: the line ends; lines alternate between a line group in the paragraph
// and the paragraph itself.
int lineBreak(PptContext *ppt, ParaState *s, const RunCursor *c, uint32_t element)
{
    int err = Res_ok;
    if (s->lineEmpty)
        err = PptText_addNbsp(ppt, c->chr, s->container);
    if (err)
        return err;
    if (s->container == s->para) {
        err = Edr_Node_createGroup(ppt->doc, s->para, Edr_Insert_lastChild, element, &s->line);
        if (!err)
            s->container = s->line;
    } else {
        Edr_Node_release(ppt->doc, s->line);
        s->line = nullptr;
        s->container = s->para;
    }
    s->lineEmpty = true;
    return err;
}

// ------------------------------------------------------------- parsing

// What the record walk collects.
struct Parsed {
    uint32_t textType;
    char16_t *text;
    PptParaRun *paraRuns;
    PptCharRun *charRuns;
    bool owned; // text and runs read here (not an outline text)
    char16_t *fieldText;
    bool fieldOwned;
    bool hasField;
    uint32_t fieldIndex;
};

void freeParsed(Parsed *p)
{
    if (p->fieldOwned)
        Mem_free(p->fieldText);
    if (p->owned) {
        Mem_free(p->text);
        Ppt_freeRuns(p->paraRuns, p->charRuns);
    }
}

// The text of a field record; acted on only while no field text exists.
int readField(PptContext *ppt, Parsed *p, uint32_t type, const uint8_t *body, uint32_t length)
{
    if (p->fieldText || !p->text || length < 4)
        return Res_ok;
    const HeaderFooterRec *hf = activeHeaderFooter(ppt);
    if (type == PptRec_slideNumber) {
        char buffer[16]; // "-2147483648" and its NUL
        Fmt_snprintf(buffer, sizeof buffer, "%d", ppt->slideNumber);
        p->fieldText = Ustr_fromCstr(buffer);
        p->fieldOwned = p->fieldText != nullptr;
    } else if (type == PptRec_footerField) {
        p->fieldText = hf->footerText;
        p->fieldOwned = false;
    } else {
        BrokenTime parts{};
        Date_toLocalParts(&parts, Date_now(nullptr));
        if (hf->userDate) {
            p->fieldText = hf->userDateText;
            p->fieldOwned = false;
        } else {
            char buffer[PptText_dateSize];
            PptText_formatDate(&parts, hf->formatId, buffer);
            p->fieldText = Ustr_fromCstr(buffer);
            p->fieldOwned = p->fieldText != nullptr;
        }
    }
    p->hasField = true;
    p->fieldIndex = Bytes_peekU32Le(body);
    return Res_ok;
}

// A new text of count characters, two bytes each (wide) or one.
int readText(Parsed *p, const uint8_t *body, uint32_t count, bool wide)
{
    char16_t *text = static_cast<char16_t *>(Mem_malloc((size_t(count) + 1) * sizeof(char16_t)));
    if (!text)
        return Res_noMemory;
    for (uint32_t i = 0; i < count; i++)
        text[i] = wide ? char16_t(Bytes_peekU16Le(body + 2 * i)) : char16_t(body[i]);
    text[count] = 0;
    // A second text record replaces the first; a field read for the first
    // pointed into a text that is gone.
    Mem_free(p->text);
    p->text = text;
    return Res_ok;
}

// Acts on one record. 1 in *stop ends the walk without building.
int readRecord(PptContext *ppt, Parsed *p, const EscherRecordHeader *h, const uint8_t *body,
               bool *stop)
{
    switch (h->type) {
    case PptRec_textHeader:
        if (h->length >= 4)
            p->textType = Bytes_peekU32Le(body);
        return Res_ok;
    case PptRec_textChars: return readText(p, body, h->length / 2, true);
    case PptRec_textBytes: return readText(p, body, h->length, false);
    case PptRec_styleTextProp: {
        if (!p->text) {
            *stop = true;
            return Res_ok;
        }
        Ppt_freeRuns(p->paraRuns, p->charRuns);
        p->paraRuns = nullptr;
        p->charRuns = nullptr;
        size_t n = Ustr_len(p->text);
        return Ppt_parseRuns(body, h->length, uint32_t(std::min<size_t>(n, UINT32_MAX)),
                             &p->paraRuns, &p->charRuns);
    }
    case PptRec_textRuler:
        if (p->paraRuns)
            Ppt_applyRuler(body, h->length, p->paraRuns);
        return Res_ok;
    case PptRec_slideNumber:
    case PptRec_dateField:
    case PptRec_footerField: return readField(ppt, p, h->type, body, h->length);
    default: return Res_ok;
    }
}

// The records after the first: walked from the start of the data.
int walkRecords(PptContext *ppt, Parsed *p, const uint8_t *data, uint32_t length, bool *stop)
{
    uint32_t pos = 0;
    while (pos < length && !*stop) {
        uint32_t left = length - pos;
        if (left < headerSize)
            return PptText_errRecord;
        EscherRecordHeader h{};
        Escher_parseRecordHeader(data + pos, &h);
        if (h.length > left - headerSize)
            return PptText_errRecord;
        int err = readRecord(ppt, p, &h, data + pos + headerSize, stop);
        if (err)
            return err;
        pos += headerSize + h.length;
    }
    return Res_ok;
}

} // namespace

void PptText_formatDate(const BrokenTime *t, uint32_t formatId, char *out)
{
    int32_t day = t->mday;
    int32_t month = t->mon + 1;
    int32_t year = int32_t(std::clamp<int64_t>(int64_t(t->year) + 1900, INT32_MIN, INT32_MAX));
    int32_t year2 = year % 100;
    if (year2 < 0)
        year2 += 100;
    const char *monthName = Date_monthName(t->mon);
    const char *weekday = Date_weekdayName(t->wday);
    if (!monthName)
        monthName = "";
    if (!weekday)
        weekday = "";
    const size_t n = PptText_dateSize;
    switch (formatId) {
    case 1: Fmt_snprintf(out, n, "%s, %02d %s %4d", weekday, day, monthName, year); break;
    case 2: Fmt_snprintf(out, n, "%2d %s, %4d", day, monthName, year); break;
    case 3: Fmt_snprintf(out, n, "%02d %s %4d", day, monthName, year); break;
    case 4: Fmt_snprintf(out, n, "%2d-%.3s-%02d", day, monthName, year2); break;
    case 5: Fmt_snprintf(out, n, "%s %02d", monthName, year2); break;
    case 6: Fmt_snprintf(out, n, "%.3s-%02d", monthName, year2); break;
    case 7:
        Fmt_snprintf(out, n, "%02d/%02d/%04d %02d:%02d", day, month, year, t->hour, t->min);
        break;
    case 8:
        Fmt_snprintf(out, n, "%02d/%02d/%04d %02d:%02d:%02d", day, month, year, t->hour, t->min,
                     t->sec);
        break;
    case 9: Fmt_snprintf(out, n, "%02d:%02d", t->hour, t->min); break;
    case 10: Fmt_snprintf(out, n, "%02d:%02d:%02d", t->hour, t->min, t->sec); break;
    case 11:
        Fmt_snprintf(out, n, "%2d:%02d %s", t->hour % 12, t->min, t->hour >= 12 ? "PM" : "AM");
        break;
    default: Fmt_snprintf(out, n, "%02d/%02d/%04d", day, month, year); break;
    }
}

void Ppt_freeRuns(PptParaRun *paraRuns, PptCharRun *charRuns)
{
    while (paraRuns) {
        PptParaRun *next = paraRuns->next;
        Mem_free(paraRuns);
        paraRuns = next;
    }
    while (charRuns) {
        PptCharRun *next = charRuns->next;
        Mem_free(charRuns);
        charRuns = next;
    }
}

int PptText_addNbsp(PptContext *ppt, const PptCharRun *run, Edr_Node *container)
{
    PptCharRun copy = *run;
    copy.next = nullptr;
    if (copy.props.mask & PptChar_flags)
        copy.props.flags &= uint8_t(~PptCharFlag_underline);
    static constexpr char16_t nbsp[1] = {0xA0};
    return Ppt_addTextRun(ppt, &copy, container, nbsp, 1);
}

int PptText_buildRuns(PptContext *ppt, Edr_Node *group, char16_t *text, uint32_t textType,
                      PptParaRun *paraRuns, PptCharRun *charRuns, const char16_t *fieldText,
                      const char16_t *fieldPos)
{
    if (!text)
        return Res_ok;
    size_t length = Ustr_len(text);
    uint32_t cover = uint32_t(std::min<size_t>(length + 1, UINT32_MAX));
    PptParaRun wholePara{cover, 0, PptParaProps{}, nullptr};
    PptCharRun wholeChars{cover, PptCharProps{}, nullptr};
    if (!paraRuns) {
        paraRuns = &wholePara;
        charRuns = &wholeChars;
    } else if (!charRuns) {
        charRuns = &wholeChars;
    }
    Ppt_applyCharMax(paraRuns, charRuns);

    RunCursor c{paraRuns, paraRuns->count, charRuns, charRuns->count};
    ParaState s{nullptr, nullptr, nullptr, true};
    // A field without a text (a footer or a fixed date that the header
    // and footer record leaves empty) shows nothing in place of its
    // placeholder character.
    const char16_t *field = fieldPos;
    size_t fieldLength = fieldText ? Ustr_len(fieldText) : 0;
    char16_t *p = text;
    int err = Res_ok;
    bool done = false;
    while (!err && !done) {
        nextParaRun(&c);
        bool paragraphEnds = false;
        while (!err && !paragraphEnds) {
            nextCharRun(&c);
            // A segment: up to a stop character, the field or the end of
            // the character run.
            char16_t *start = p;
            uint32_t n = 0;
            while (*p && *p != 13 && *p != 11 && p != field && n < c.chrLeft) {
                p++;
                n++;
            }
            if (n > 0) {
                err = ensureParagraph(ppt, group, textType, &c, &s);
                if (err)
                    break;
                if (s.lineEmpty && *start == ' ')
                    *start = 0xA0;
                err = Ppt_addTextRun(ppt, c.chr, s.container, start, n);
                s.lineEmpty = false;
                consume(&c, n);
                continue;
            }
            if (p == field) {
                err = ensureParagraph(ppt, group, textType, &c, &s);
                if (!err && fieldLength > 0) {
                    err = Ppt_addTextRun(ppt, c.chr, s.container, fieldText, uint32_t(fieldLength));
                    s.lineEmpty = false;
                }
                field = nullptr;
                if (*p == 0) {
                    done = true;
                    paragraphEnds = true;
                } else {
                    p++;
                    consume(&c, 1);
                }
            } else if (*p == 0) {
                done = true;
                paragraphEnds = true;
            } else if (*p == 11) {
                err = ensureParagraph(ppt, group, textType, &c, &s);
                if (!err)
                    err = lineBreak(ppt, &s, &c, ppt->textBoxElement);
                p++;
                consume(&c, 1);
            } else {
                // CR ends the paragraph.
                p++;
                consume(&c, 1);
                paragraphEnds = true;
            }
        }
        if (!err && s.lineEmpty) {
            if (s.para)
                err = PptText_addNbsp(ppt, c.chr, s.container);
            else
                err = emptyParagraph(ppt, group, textType, &c);
        }
        endParagraph(ppt, &s);
        // A CR that ends the text leaves one empty paragraph after it
        // (unless a field at the end follows, which makes that paragraph).
        if (!err && !done && *p == 0 && p != field) {
            nextParaRun(&c);
            nextCharRun(&c);
            err = emptyParagraph(ppt, group, textType, &c);
            done = true;
        }
    }
    endParagraph(ppt, &s);
    return err;
}

int PptText_parseRecords(PptContext *ppt, Edr_Node *group, const uint8_t *data, uint32_t length)
{
    if (!data || length < headerSize)
        return PptText_errRecord;
    EscherRecordHeader first{};
    Escher_parseRecordHeader(data, &first);
    if (first.length > length - headerSize)
        return PptText_errRecord;

    Parsed p{};
    p.textType = 4;
    int err = Res_ok;
    if (first.type == PptRec_outlineTextRef) {
        if (first.length < 4)
            return PptText_errRecord;
        uint32_t index = Bytes_peekU32Le(data + headerSize);
        if (!ppt->outlineTexts || index >= ppt->outlineTextCount)
            return PptText_errOutlineIndex;
        const PptOutlineText *entry = &ppt->outlineTexts[index];
        p.textType = entry->textType;
        p.text = entry->text;
        p.paraRuns = entry->paraRuns;
        p.charRuns = entry->charRuns;
    } else {
        p.owned = true;
        bool stop = false;
        err = walkRecords(ppt, &p, data, length, &stop);
        if (stop) {
            freeParsed(&p);
            return err;
        }
    }
    if (!err && p.text) {
        size_t textLength = Ustr_len(p.text);
        const char16_t *fieldPos = nullptr;
        if (p.hasField && p.fieldIndex <= textLength)
            fieldPos = p.text + p.fieldIndex;
        if (textLength > 0 || (fieldPos == p.text && p.fieldText))
            err = PptText_buildRuns(ppt, group, p.text, p.textType, p.paraRuns, p.charRuns,
                                    p.fieldText, fieldPos);
    }
    freeParsed(&p);
    return err;
}

int PptText_buildTextBox(PptContext *ppt, Edr_Node *parent, const EscherShape *shape,
                         const int32_t anchor[4], int32_t rotation)
{
    if (!shape->textbox.bytes || shape->textbox.length == 0 ||
        !(shape->flags & EscherFsp_haveAnchor))
        return Res_ok;
    int64_t x = anchor[0];
    int64_t y = anchor[1];
    int64_t w = anchor[2];
    int64_t h = anchor[3];
    if (w < 0) {
        x += w;
        w = -w;
    }
    if (h < 0) {
        y += h;
        h = -h;
    }
    const EscherPropSet *props = shape->props;
    uint32_t q = uint32_t(propValue(Escher_propFind(EscherPropId_quarterTurns, props), 0)) & 3;
    if (((q & 1) && (shape->flags & EscherFsp_flipH)) ||
        (!(q & 1) && (shape->flags & EscherFsp_flipV)))
        q = (q + 2) & 3;
    int64_t flow = propValue(Escher_propFind(EscherPropId_textFlow, props), 0);
    if (flow == 1 || flow == 3 || flow == 5)
        q = (q + 3) & 3;
    else if (flow == 2)
        q = (q + 1) & 3;
    if (q & 1) {
        int64_t d = (w - h) / 2;
        std::swap(w, h);
        x += d;
        y -= d;
    }
    rotation = int32_t(uint32_t(rotation) - q * uint32_t(quarterTurn));

    int64_t insets[4] = {6553, 3276, 6553, 3276};
    for (uint32_t i = 0; i < 4; i++) {
        const EscherProp *prop = Escher_propFind(EscherPropId_insetLeft + i, props);
        if (prop)
            insets[i] = int64_t(int32_t(prop->value)) * 65536 / 914400;
    }
    int64_t a = insets[q], b = insets[(q + 1) & 3], c = insets[(q + 2) & 3],
            e = insets[(q + 3) & 3];
    if (a + c < w) {
        x += a;
        w -= a + c;
    }
    if (b + e < h) {
        y += b;
        h -= b + e;
    }

    int64_t anchorText =
        propValue(Escher_propFindInherited(EscherPropId_anchorText, props, ppt->masterDrawing), -1);
    uint32_t vertical = KwId_top;
    if (anchorText == 1 || anchorText == 4) {
        y += h / 2;
        vertical = KwId_middle;
    } else if (anchorText == 2 || anchorText == 5 || anchorText == 7 || anchorText == 9) {
        y += h;
        vertical = KwId_bottom;
    }

    Prop p{};
    Prop_set(&p, PropId_position, PropType_pointer, uintptr_t(uint32_t(clamp32(x))),
             uint32_t(clamp32(y)));
    int err = Edr_Node_createData(ppt->doc, parent, Edr_Insert_lastChild, nullptr, &p);
    if (err)
        return err;
    Edr_Node *group = nullptr;
    err = Edr_Node_createGroup(ppt->doc, parent, Edr_Insert_lastChild, ppt->textBoxElement, &group);
    if (err)
        return err;
    // A text that cannot be parsed keeps what was built; the box then gets
    // no style.
    err = PptText_parseRecords(ppt, group, shape->textbox.bytes, shape->textbox.length);
    if (err || w <= 0) {
        Edr_Node_release(ppt->doc, group);
        return Res_ok;
    }

    StyleRule *rule = nullptr;
    err = StyleRule_create(&rule);
    if (!err) {
        Prop_setType(&p, PropId_verticalAnchor, uint16_t(vertical));
        err = StyleRule_appendProp(rule, &p);
    }
    if (!err && rotation != 0) {
        Matrix m;
        Matrix_setIdentity(&m);
        Matrix_rotation(&m, int32_t(0u - uint32_t(rotation)));
        Prop_set(&p, PropId_transform, PropType_matrix, reinterpret_cast<uintptr_t>(&m), 0);
        err = StyleRule_appendProp(rule, &p);
        if (!err) {
            Prop_setLength(&p, PropId_height, clamp32(h));
            err = StyleRule_appendProp(rule, &p);
        }
    }
    if (!err) {
        Prop_setLength(&p, PropId_width, clamp32(w));
        err = StyleRule_appendProp(rule, &p);
    }
    // The box is one block at its position: its paragraphs stack inside it
    // instead of each being placed at the position on its own.
    if (!err) {
        Prop_setType(&p, PropId_display, KwId_block);
        err = StyleRule_appendProp(rule, &p);
    }
    if (!err) {
        const EscherProp *wrap =
            Escher_propFindInherited(EscherPropId_wrapText, props, ppt->masterDrawing);
        const EscherProp *flowProp =
            Escher_propFindInherited(EscherPropId_textFlow, props, ppt->masterDrawing);
        if (wrap && wrap->value != 0 && (!flowProp || flowProp->value == 0)) {
            Prop_setType(&p, PropId_whiteSpace, KwId_pre);
            err = StyleRule_appendProp(rule, &p);
        }
    }
    uint32_t serial = 0;
    if (!err)
        err = Ppt_addItemWithSerial(ppt, rule, &serial);
    if (err) {
        StyleRule_destroy(rule);
    } else {
        // The style sheet owns the rule now; a box whose id cannot be added
        // keeps its text without the style.
        (void)Edr_Node_addId(ppt->doc, group, serial);
    }
    Edr_Node_release(ppt->doc, group);
    return Res_ok;
}
