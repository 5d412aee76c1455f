// Interim definitions of office services whose modules are not built yet.
// Each does the least its callers need and says so; the real definitions
// replace them when the module is built.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/node.h"
#include "office/officeart/escher.h"
#include "office/powerpoint/ppttext.h"

// ---------------------------------------------------------------------------
// Interim: the presentation text side (text boxes and text styles) is built
// apart from the reader. Until it is, these stand-ins give each text box its
// plain text in one group, take serials without keeping style rules, and
// merge property sets by their presence masks. Delete this block when the
// text side's own definitions arrive.

int Ppt_initStyleSheet(PptContext *ppt)
{
    ppt->blockClass = 1;
    ppt->bulletClass = 2;
    ppt->slideClass = 3;
    ppt->serial = 3;
    return Res_ok;
}

int Ppt_nextSerial(PptContext *ppt)
{
    ppt->serial++;
    return Res_ok;
}

int Ppt_addItemWithSerial(PptContext *ppt, StyleRule *, uint32_t *id)
{
    ppt->serial++;
    *id = ppt->serial;
    return Res_ok;
}

void Ppt_mergeChar(PptCharProps *target, const PptCharProps *source)
{
    uint8_t add = uint8_t(source->mask & ~target->mask & 0x7F);
    PptCharProps merged = *source;
    if (!(add & PptChar_flags)) merged.flags = target->flags;
    if (!(add & PptChar_font)) merged.font = target->font;
    if (!(add & PptChar_font2)) merged.font2 = target->font2;
    if (!(add & PptChar_symbolFont)) merged.symbolFont = target->symbolFont;
    if (!(add & PptChar_size)) merged.size = target->size;
    if (!(add & PptChar_colour)) merged.colour = target->colour;
    if (!(add & PptChar_escapement)) merged.escapement = target->escapement;
    merged.mask = uint8_t(target->mask | add);
    *target = merged;
}

void Ppt_mergePara(PptParaProps *target, const PptParaProps *source)
{
    uint16_t add = uint16_t(source->mask & ~target->mask & 0x4FFF);
    if (add & PptPara_bulletFlags) target->bulletFlags = source->bulletFlags;
    if (add & PptPara_bulletFont) target->bulletFont = source->bulletFont;
    if (add & PptPara_bulletColour) target->bulletColour = source->bulletColour;
    if (add & PptPara_bulletSize) target->bulletSize = source->bulletSize;
    if (add & PptPara_bulletChar) target->bulletChar = source->bulletChar;
    if (add & PptPara_alignment) target->alignment = source->alignment;
    if (add & PptPara_lineSpacing) target->lineSpacing = source->lineSpacing;
    if (add & PptPara_spaceBefore) target->spaceBefore = source->spaceBefore;
    if (add & PptPara_spaceAfter) target->spaceAfter = source->spaceAfter;
    if (add & PptPara_leftMargin) target->leftMargin = source->leftMargin;
    if (add & PptPara_indent) target->indent = source->indent;
    if (add & PptPara_word11) target->word11 = source->word11;
    if (add & PptPara_word14) target->word14 = source->word14;
    target->mask = uint16_t(target->mask | add);
}

void Ppt_freeRuns(PptParaRun *paraRuns, PptCharRun *charRuns)
{
    while (PptParaRun *p = paraRuns) {
        paraRuns = p->next;
        Mem_free(p);
    }
    while (PptCharRun *c = charRuns) {
        charRuns = c->next;
        Mem_free(c);
    }
}

void Ppt_freeStyleTables(PptContext *) {}

int PptText_buildTextBox(PptContext *ppt, Edr_Node *parent, const EscherShape *shape, const int32_t *, int32_t)
{
    const uint8_t *b = shape->textbox.bytes;
    uint32_t length = b ? shape->textbox.length : 0;
    for (uint32_t at = 0; length - at >= 8;) {
        EscherRecordHeader h;
        Escher_parseRecordHeader(b + at, &h);
        if (h.length > length - at - 8)
            return Res_ok;
        if (h.type == 0x0FA0 || h.type == 0x0FA8) {
            const bool wide = h.type == 0x0FA0;
            uint32_t n = wide ? h.length / 2 : h.length;
            auto *text = static_cast<char16_t *>(Mem_malloc((size_t(n) + 1) * sizeof(char16_t)));
            if (!text)
                return Res_noMemory;
            for (uint32_t i = 0; i < n; i++) {
                const uint8_t *c = b + at + 8 + (wide ? 2 * i : i);
                char16_t u = wide ? char16_t(c[0] | (c[1] << 8)) : char16_t(c[0]);
                text[i] = u == 0x0D ? char16_t(0x0B) : u;
            }
            Edr_Node *group = nullptr;
            int err = Edr_Node_createGroup(ppt->doc, parent, Edr_Insert_lastChild, 0, &group);
            if (!err)
                err = Edr_Node_createText(ppt->doc, group, Edr_Insert_lastChild, nullptr, text, n);
            if (group)
                Edr_Node_release(ppt->doc, group);
            Mem_free(text);
            return err;
        }
        at += 8 + h.length;
    }
    return Res_ok;
}
// ---------------------------------------------------------------------------
