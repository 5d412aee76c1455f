// Application of decoded property modifiers to the paragraph, character,
// picture, section and table-row records, group by group.
//
// Operands were checked by the walker to lie inside their list; each step
// here checks that the operand is as long as its modifier needs (3875
// otherwise). Counts taken from operands never index past the records'
// fixed tables: at most 64 tabs, 64 cells and the section's column table.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "office/ole2/ole.h"
#include "word/reader/sprm.h"
#include "word/reader/word.h"

namespace {

// Lists applied from inside a modifier (a huge paragraph exception, a
// character style, a majority or conditional list) may name themselves
// again: past this depth such a nested list is skipped.
constexpr uint32_t kMaxSprmDepth = 4;

bool validStyle(const WordReader *r, uint32_t istd)
{
    return istd < r->styleCount && r->styles[istd].defined;
}

// The paragraph record of a style, or of the default paragraph style.
void stylePap(const WordReader *r, uint32_t istd, WordPap *pap)
{
    if (validStyle(r, istd))
        *pap = r->styles[istd].pap;
    else if (validStyle(r, r->istdNormal))
        *pap = r->styles[r->istdNormal].pap;
    else
        Word_defaultPap(pap);
}

// The character record of a paragraph style, or of the default one.
void paraStyleChp(const WordReader *r, uint32_t istd, WordChp *chp)
{
    if (validStyle(r, istd))
        *chp = r->styles[istd].chp;
    else if (validStyle(r, r->istdNormal))
        *chp = r->styles[r->istdNormal].chp;
    else
        Word_defaultChp(chp);
}

// A nested list (kind 3 or 7) applied with the depth guard.
int nested(WordPap *pap, WordChp *chp, WordTap *tap, uint32_t kind, size_t length,
           const uint8_t *list, WordReader *r)
{
    if (r->sprmDepth >= kMaxSprmDepth)
        return Res_ok;
    r->sprmDepth++;
    int err = Word_walkSprms(nullptr, pap, chp, tap, nullptr, kind, length, list, r);
    r->sprmDepth--;
    return err;
}

// ------------------------------------------------------------- paragraphs

int applyTabs(const SprmRef *s, WordPap *pap)
{
    bool tolerances = s->opcode == 0xC615;
    const uint8_t *p = s->operand;
    const uint8_t *end = p + s->size;
    if (p >= end)
        return Res_wordShortOperand;
    uint32_t d = *p++;
    uint32_t delBytes = d * (tolerances ? 4 : 2);
    if (uint32_t(end - p) < delBytes + 1)
        return Res_wordShortOperand;
    const uint8_t *positions = p;
    const uint8_t *tols = p + 2 * d;
    for (uint32_t k = 0; k < d; k++) {
        int32_t at = int16_t(Bytes_peekU16Le(positions + 2 * k));
        int32_t tol = tolerances ? int16_t(Bytes_peekU16Le(tols + 2 * k)) : 0;
        if (tol < 0)
            tol = -tol;
        for (uint32_t t = 0; t < pap->itbdMac;) {
            int32_t pos = pap->tabs[t].position;
            if (pos >= at - tol && pos <= at + tol) {
                memmove(&pap->tabs[t], &pap->tabs[t + 1],
                        (pap->itbdMac - t - 1) * sizeof pap->tabs[0]);
                pap->itbdMac--;
            } else {
                t++;
            }
        }
    }
    p += delBytes;
    uint32_t a = *p++;
    if (uint32_t(end - p) < 3 * a)
        return Res_wordShortOperand;
    const uint8_t *adds = p;
    const uint8_t *tbds = p + 2 * a;
    for (uint32_t k = 0; k < a; k++) {
        int16_t pos = int16_t(Bytes_peekU16Le(adds + 2 * k));
        uint8_t jc = tbds[k] & 7, leader = (tbds[k] >> 3) & 7;
        if (jc > 4)
            jc = 0;
        if (leader > 4)
            leader = 0;
        uint32_t t = 0;
        while (t < pap->itbdMac && pap->tabs[t].position < pos)
            t++;
        if (t < pap->itbdMac && pap->tabs[t].position == pos) {
            pap->tabs[t].jc = jc;
            pap->tabs[t].leader = leader;
            continue;
        }
        if (pap->itbdMac >= Word_maxTabs)
            continue;
        memmove(&pap->tabs[t + 1], &pap->tabs[t], (pap->itbdMac - t) * sizeof pap->tabs[0]);
        pap->tabs[t] = WordTab{pos, jc, leader};
        pap->itbdMac++;
    }
    return Res_ok;
}

// Style permutation: the operand's style map applied to istd. 1 when
// the style changes (*istd the new one), 0 when it stays.
int permute(const SprmRef *s, uint32_t *istd, bool *changed)
{
    *changed = false;
    if (s->size < 6)
        return Res_wordShortOperand;
    uint32_t first = Bytes_peekU16Le(s->operand + 2), last = Bytes_peekU16Le(s->operand + 4);
    if (*istd < first || *istd > last)
        return Res_ok;
    uint32_t at = 6 + 2 * (*istd - first);
    if (at + 2 > s->size)
        return Res_wordShortOperand;
    *istd = Bytes_peekU16Le(s->operand + at);
    *changed = true;
    return Res_ok;
}

int hugePapx(const SprmRef *s, WordPap *pap, WordTap *tap, WordReader *r)
{
    if (!r->dataStream || r->sprmDepth >= kMaxSprmDepth)
        return Res_ok;
    uint32_t offset = Bytes_peekU32Le(s->operand);
    uint8_t head[2];
    size_t got = 0;
    int err = Ole_streamReadAt(r->dataStream, offset, 2, &got, head);
    if (err != Res_ok)
        return err;
    uint8_t *block = nullptr;
    if ((err = Word_readBlock(r->dataStream, int64_t(offset), uint32_t(Bytes_peekU16Le(head)) + 2,
                              &block)) != Res_ok)
        return err;
    r->sprmDepth++;
    err = Word_applyGrpprl(nullptr, pap, nullptr, tap, nullptr, WordGrpprl_papList, block, r);
    r->sprmDepth--;
    Mem_free(block);
    return err;
}

} // namespace

int Word_applyParaSprm(const SprmRef *s, WordPap *pap, WordTap *tap, WordReader *r)
{
    const uint8_t *o = s->operand;
    uint32_t n = s->size;
    // The fixed forms: the walker gave exactly their size, but a caller
    // may hand a shorter operand.
    if (s->spra != 6 && s->spra != 2 && s->spra != 4 && s->spra != 5 && n < 1)
        return Res_wordShortOperand;
    switch (s->opcode) {
    case 0x2403: pap->jc = o[0]; return Res_ok;
    case 0x2404: pap->fSideBySide = o[0]; return Res_ok;
    case 0x2405: pap->fKeep = o[0]; return Res_ok;
    case 0x2406: pap->fKeepFollow = o[0]; return Res_ok;
    case 0x2407: pap->fPageBreakBefore = o[0]; return Res_ok;
    case 0x2408: pap->brcl = 0; return Res_ok;
    case 0x2409: pap->brcp = 0; return Res_ok;
    case 0x240C: pap->fNoLnn = o[0]; return Res_ok;
    case 0x2416: pap->fInTable = o[0]; return Res_ok;
    case 0x2417: pap->fTtp = o[0]; return Res_ok;
    case 0x244B: pap->fInnerTableCell = o[0]; return Res_ok;
    case 0x244C: pap->fInnerTtp = o[0]; return Res_ok;
    case 0x6649: pap->itap = int32_t(Bytes_peekU32Le(o)); return Res_ok;
    case 0x664A: pap->itap += int32_t(Bytes_peekU32Le(o)); return Res_ok;
    case 0x2431: pap->fWidowControl = o[0]; return Res_ok;
    case 0x2441: pap->fBiDi = o[0]; return Res_ok;
    case 0x260A: pap->ilvl = o[0]; return Res_ok;
    case 0x261B:
        if ((o[0] & 3) != 3)
            pap->pcVert = o[0] & 3;
        if (((o[0] >> 2) & 3) != 3)
            pap->pcHorz = (o[0] >> 2) & 3;
        return Res_ok;
    case 0x2640:
        if (pap->istd >= 1 && pap->istd <= 9)
            pap->lvl = o[0];
        return Res_ok;
    default: break;
    }
    switch (s->opcode) {
    case 0x4600:
    case 0x460B:
    case 0x4622:
    case 0x461C:
    case 0x461D:
    case 0x461E:
    case 0x461F:
    case 0x4424:
    case 0x4425:
    case 0x4426:
    case 0x4427:
    case 0x840E:
    case 0x840F:
    case 0x8411:
    case 0x845D:
    case 0x845E:
    case 0x8460:
    case 0x8418:
    case 0x8419:
    case 0x841A:
    case 0x842E:
    case 0x842F:
    case 0xA413:
    case 0xA414:
        if (n < 2)
            return Res_wordShortOperand;
        break;
    case 0x6424:
    case 0x6425:
    case 0x6426:
    case 0x6427:
    case 0x6412:
    case 0x6646:
    case 0x6649:
    case 0x664A:
        if (n < 4)
            return Res_wordShortOperand;
        break;
    default: break;
    }
    switch (s->opcode) {
    case 0x4600: {
        uint16_t istd = Bytes_peekU16Le(o);
        stylePap(r, istd, pap);
        return Res_ok;
    }
    case 0x460B: pap->ilfo = Bytes_peekU16Le(o); return Res_ok;
    case 0x4622: pap->dxaFromText = Bytes_peekU16Le(o); return Res_ok;
    case 0x461C:
    case 0x461D:
    case 0x461E:
    case 0x461F: {
        const uint8_t *p = o;
        Word_readBrc10(&p, &pap->brc[s->opcode - 0x461C]);
        return Res_ok;
    }
    case 0x4424:
    case 0x4425:
    case 0x4426:
    case 0x4427: {
        const uint8_t *p = o;
        Word_readBrc6(&p, &pap->brc[s->opcode - 0x4424]);
        return Res_ok;
    }
    case 0x6424:
    case 0x6425:
    case 0x6426:
    case 0x6427: {
        const uint8_t *p = o;
        Word_readBrc80(&p, &pap->brc[s->opcode - 0x6424]);
        return Res_ok;
    }
    case 0x6412:
        pap->dyaLine = Bytes_peekU16Le(o);
        pap->fMultLinespace = o[2] & 1;
        return Res_ok;
    case 0x6646: return hugePapx(s, pap, tap, r);
    // The right, left and first-line indents, signed twips (a hanging
    // first line is negative); newer files write them again in a second
    // form (0x845D, 0x845E, 0x8460) with the same operand.
    case 0x840E:
    case 0x845D: pap->dxaRight = int16_t(Bytes_peekU16Le(o)); return Res_ok;
    case 0x840F:
    case 0x845E: pap->dxaLeft = int16_t(Bytes_peekU16Le(o)); return Res_ok;
    case 0x8411:
    case 0x8460: pap->dxaLeft1 = int16_t(Bytes_peekU16Le(o)); return Res_ok;
    case 0x8418: pap->dxaAbs = Bytes_peekU16Le(o); return Res_ok;
    case 0x8419: pap->dyaAbs = Bytes_peekU16Le(o); return Res_ok;
    case 0x841A: pap->dxaWidth = Bytes_peekU16Le(o); return Res_ok;
    case 0x842E: pap->dyaFromText = Bytes_peekU16Le(o); return Res_ok;
    case 0x842F: pap->dxaFromText = Bytes_peekU16Le(o); return Res_ok;
    case 0xA413: pap->dyaBefore = Bytes_peekU16Le(o); return Res_ok;
    case 0xA414: pap->dyaAfter = Bytes_peekU16Le(o); return Res_ok;
    case 0xC601: {
        uint32_t istd = pap->istd;
        bool changed = false;
        int err = permute(s, &istd, &changed);
        if (err == Res_ok && changed)
            stylePap(r, istd, pap);
        return err;
    }
    case 0xC60D:
    case 0xC615: return applyTabs(s, pap);
    case 0xC63E: {
        const uint8_t *p = o;
        return Word_readAnld(&p, n, &pap->anld, r);
    }
    case 0xC66C:
        if (n < 9)
            return Res_wordShortOperand;
        pap->styleWord = validStyle(r, Bytes_peekU16Le(o)) ? Bytes_peekU16Le(o) : 0;
        pap->secondWord = Bytes_peekU16Le(o + 8);
        return Res_ok;
    default: return Res_wordSprmUnhandled;
    }
}

// ------------------------------------------------------------- characters

void Word_styleBaseChp(const WordChp *chp, WordChp *base, WordReader *r)
{
    paraStyleChp(r, chp->istdPara, base);
    uint32_t istd = validStyle(r, chp->istd) ? chp->istd : r->istdDefaultFont;
    if (validStyle(r, istd) && !r->styles[istd].noCharFormatting)
        (void)Word_applyStyleChpx(istd, base, r);
}

namespace {

int toggle(const SprmRef *s, uint8_t WordChp::*field, WordChp *chp, WordReader *r)
{
    if (s->size < 1)
        return Res_wordShortOperand;
    uint8_t v = s->operand[0];
    if (v < 128) {
        chp->*field = v;
        return Res_ok;
    }
    WordChp base;
    Word_styleBaseChp(chp, &base, r);
    uint8_t b = base.*field;
    chp->*field = (v & 1) ? uint8_t(b == 0) : b;
    return Res_ok;
}

constexpr uint8_t WordChp::*kToggles[8] = {
    &WordChp::fBold,   &WordChp::fItalic,    &WordChp::fStrike, &WordChp::fOutline,
    &WordChp::fShadow, &WordChp::fSmallCaps, &WordChp::fCaps,   &WordChp::fVanish};

int majority(const SprmRef *s, WordChp *chp, WordReader *r)
{
    if (s->size < 1)
        return Res_ok;
    WordChp scratch;
    memset(&scratch, 0, sizeof scratch);
    scratch.istd = 10;
    scratch.hps = 20;
    scratch.ftc[0] = 4;
    scratch.lid[0] = 0x400;
    scratch.lid[1] = 0x400;
    // The byte before the operand is its size: the operand is a kind 7
    // list as it stands.
    int err = nested(nullptr, &scratch, nullptr, WordGrpprl_fkpChpx, s->size, s->operand, r);
    if (err != Res_ok)
        return err;
    WordChp style;
    paraStyleChp(r, chp->istdPara, &style);
    for (uint8_t WordChp::*f : kToggles) {
        if (f == &WordChp::fVanish)
            continue;
        if (chp->*f == scratch.*f)
            chp->*f = style.*f;
    }
    if (chp->ftc[0] == scratch.ftc[0])
        chp->ftc[0] = style.ftc[0];
    if (chp->hps == scratch.hps)
        chp->hps = style.hps;
    if (chp->hpsPos == scratch.hpsPos)
        chp->hpsPos = style.hpsPos;
    if (chp->kul == scratch.kul)
        chp->kul = style.kul;
    if (chp->ico == scratch.ico)
        chp->ico = style.ico;
    return Res_ok;
}

int conditional(const SprmRef *s, WordChp *chp, WordReader *r)
{
    if (s->size < 2)
        return Res_wordShortOperand;
    if (!validStyle(r, r->istdTable))
        return Res_ok;
    WordChp *records = r->styles[r->istdTable].conditional;
    uint32_t mask = Bytes_peekU16Le(s->operand);
    uint32_t index = 32;
    for (uint32_t b = 0; b < 32; b++)
        if (mask & (1u << b)) {
            index = b;
            break;
        }
    if (!records || index >= Word_conditionalChps)
        return Res_ok;
    records[index] = *chp;
    return nested(nullptr, &records[index], nullptr, WordGrpprl_fkpChpx, s->size - 2,
                  s->operand + 2, r);
}

} // namespace

int Word_applyCharSprm(const SprmRef *s, WordChp *chp, WordReader *r)
{
    const uint8_t *o = s->operand;
    uint32_t n = s->size;
    uint32_t fixed = Word_sprmFixedSize(s->spra);
    if (s->opcode == 0x2A33)
        fixed = 0;
    if (n < fixed)
        return Res_wordShortOperand;
    if (s->opcode >= 0x0835 && s->opcode <= 0x083C)
        return toggle(s, kToggles[s->opcode - 0x0835], chp, r);
    switch (s->opcode) {
    case 0x0800: chp->fRMarkDel = o[0]; return Res_ok;
    case 0x0801: chp->fRMark = o[0]; return Res_ok;
    case 0x0802: chp->fFldVanish = o[0]; return Res_ok;
    case 0x0806: chp->fData = o[0]; return Res_ok;
    case 0x080A: chp->fOle2 = o[0]; return Res_ok;
    case 0x0854: chp->fImprint = o[0]; return Res_ok;
    case 0x0855: chp->fSpec = o[0]; return Res_ok;
    case 0x0856: chp->fObj = o[0]; return Res_ok;
    case 0x0858: chp->fEmboss = o[0]; return Res_ok;
    case 0x085A:
        chp->fBiDi = o[0];
        if (o[0])
            chp->ftc[0] = r->stshi.ftcBi;
        return Res_ok;
    case 0x085C: return chp->fBiDi ? toggle(s, &WordChp::fBold, chp, r) : Res_ok;
    case 0x085D: return chp->fBiDi ? toggle(s, &WordChp::fItalic, chp, r) : Res_ok;
    case 0x0868: chp->fUsePgsuSettings = o[0]; return Res_ok;
    case 0x2859: chp->sfxText = o[0]; return Res_ok;
    case 0x286F: chp->idctHint = o[0]; return Res_ok;
    case 0x2A0C:
        chp->icoHighlight = o[0] & 0x1F;
        chp->fHighlight = chp->icoHighlight != 0;
        return Res_ok;
    case 0xCA0C:
        if (n < 1)
            return Res_wordShortOperand;
        chp->icoHighlight = o[0];
        chp->fHighlight = chp->icoHighlight != 0;
        return Res_ok;
    case 0x2A32:
        chp->fBold = chp->fItalic = chp->fStrike = chp->fOutline = 0;
        chp->fShadow = chp->fSmallCaps = chp->fCaps = chp->fVanish = 0;
        chp->kul = 0;
        chp->ico = 0;
        return Res_ok;
    case 0x2A33: {
        uint8_t special = chp->fSpec;
        uint16_t istdPara = chp->istdPara;
        paraStyleChp(r, istdPara, chp);
        chp->fSpec = special;
        chp->istdPara = istdPara;
        return Res_ok;
    }
    case 0x2A3E: chp->kul = o[0]; return Res_ok;
    case 0x2A42: chp->ico = o[0]; return Res_ok;
    case 0x2A48: chp->iss = o[0]; return Res_ok;
    case 0x2A53: chp->fDStrike = o[0]; return Res_ok;
    case 0x4804: chp->ibstRMark = Bytes_peekU16Le(o); return Res_ok;
    case 0x4807:
    case 0x4867: chp->idslRMark = Bytes_peekU16Le(o); return Res_ok;
    case 0x4845: chp->hpsPos = Bytes_peekU16Le(o); return Res_ok;
    case 0x484B: chp->hpsKern = Bytes_peekU16Le(o); return Res_ok;
    case 0x4863: chp->ibstRMarkDel = Bytes_peekU16Le(o); return Res_ok;
    case 0x4866: Word_splitShd80(Bytes_peekU16Le(o), &chp->shd); return Res_ok;
    case 0x486D:
    case 0x4A41: chp->lid[0] = Bytes_peekU16Le(o); return Res_ok;
    case 0x486E: chp->lid[1] = Bytes_peekU16Le(o); return Res_ok;
    case 0x4A30: {
        uint32_t istd = Bytes_peekU16Le(o);
        if (!validStyle(r, istd))
            istd = r->istdDefaultFont;
        if (validStyle(r, istd) && r->sprmDepth < kMaxSprmDepth) {
            r->sprmDepth++;
            int err = Word_applyStyleChpx(istd, chp, r);
            r->sprmDepth--;
            if (err != Res_ok)
                return err;
        }
        chp->istd = uint16_t(istd);
        return Res_ok;
    }
    case 0x4A3D:
    case 0x4A4F: chp->ftc[0] = Bytes_peekU16Le(o); return Res_ok;
    case 0x4A50: chp->ftc[1] = Bytes_peekU16Le(o); return Res_ok;
    case 0x4A51: chp->ftc[2] = Bytes_peekU16Le(o); return Res_ok;
    case 0x4A43:
    case 0xCA49:
        if (n < 2)
            return Res_wordShortOperand;
        chp->hps = Bytes_peekU16Le(o);
        return Res_ok;
    case 0x4A4D: chp->hps = uint16_t(uint32_t(chp->hps) * Bytes_peekU16Le(o) / 100); return Res_ok;
    case 0x4A5E:
        if (chp->fBiDi)
            chp->ftc[0] = Bytes_peekU16Le(o);
        return Res_ok;
    case 0x4A61:
        if (chp->fBiDi)
            chp->hps = Bytes_peekU16Le(o);
        return Res_ok;
    case 0x6805: chp->dttmRMark = Bytes_peekU32Le(o); return Res_ok;
    case 0x680E: chp->fcObj = Bytes_peekU32Le(o); return Res_ok;
    case 0x6864: chp->dttmRMarkDel = Bytes_peekU32Le(o); return Res_ok;
    case 0x6865: return Res_ok;
    case 0x6870:
        chp->rgb[0] = o[0];
        chp->rgb[1] = o[1];
        chp->rgb[2] = o[2];
        chp->ico = 0xFF;
        return Res_ok;
    case 0x6A03:
    case 0xCA03:
        if (n < 4)
            return Res_wordShortOperand;
        chp->fSpec = 1;
        chp->fcPic = int32_t(Bytes_peekU32Le(o));
        return Res_ok;
    case 0x6A09:
        chp->fSpec = 1;
        chp->ftcSym = Bytes_peekU16Le(o);
        chp->xchSym = Bytes_peekU16Le(o + 2);
        return Res_ok;
    case 0xCA09:
        if (n < 3)
            return Res_wordShortOperand;
        chp->fSpec = 1;
        chp->ftcSym = Bytes_peekU16Le(o);
        chp->xchSym = uint16_t(0xF000 + o[2]);
        return Res_ok;
    case 0x8840: chp->dxaSpace = Bytes_peekU16Le(o); return Res_ok;
    case 0xCA31: {
        uint32_t istd = chp->istd;
        bool changed = false;
        int err = permute(s, &istd, &changed);
        if (err == Res_ok && changed) {
            uint32_t use = validStyle(r, istd) ? istd : r->istdDefaultFont;
            if (validStyle(r, use)) {
                uint16_t istdPara = chp->istdPara;
                *chp = r->styles[use].chp;
                chp->istdPara = istdPara;
            }
            chp->istd = uint16_t(use);
        }
        return err;
    }
    case 0xCA47:
    case 0xCA4C: return majority(s, chp, r);
    case 0xCA57:
        if (n < 7)
            return Res_wordShortOperand;
        chp->propRMark = o[0];
        chp->propRMarkIbst = Bytes_peekU16Le(o + 1);
        chp->propRMarkDttm = Bytes_peekU32Le(o + 3);
        return Res_ok;
    case 0xCA62:
        if (n < 39)
            return Res_wordShortOperand;
        chp->dispFldRMark = o[0];
        chp->dispFldRMarkIbst = Bytes_peekU16Le(o + 1);
        chp->dispFldRMarkDttm = Bytes_peekU32Le(o + 3);
        memcpy(chp->dispFldRMarkText, o + 7, 32);
        return Res_ok;
    case 0xCA85: return conditional(s, chp, r);
    case 0xEA08:
        chp->fChsDiff = o[0];
        chp->chs = Bytes_peekU16Le(o + 1);
        return Res_ok;
    default: return Res_wordSprmUnhandled;
    }
}

// --------------------------------------------------------------- pictures

int Word_applyPicSprm(const SprmRef *s, WordPic *pic)
{
    const uint8_t *o = s->operand;
    switch (s->opcode) {
    case 0x2E00: {
        if (s->size < 1)
            return Res_wordShortOperand;
        static constexpr int8_t kStyles[4] = {1, 2, 3, 1};
        if (o[0] > 3)
            return Res_wordBadPicBorder;
        for (WordBorder &b : pic->brc) {
            b.style = kStyles[o[0]];
            b.colour = 1;
            b.width = 2730;
            b.space = 910;
        }
        return Res_ok;
    }
    case 0x4C02:
    case 0x4C03:
    case 0x4C04:
    case 0x4C05: {
        if (s->size < 2)
            return Res_wordShortOperand;
        const uint8_t *p = o;
        Word_readBrc6(&p, &pic->brc[s->opcode - 0x4C02]);
        return Res_ok;
    }
    case 0x6C02:
    case 0x6C03:
    case 0x6C04:
    case 0x6C05: {
        if (s->size < 4)
            return Res_wordShortOperand;
        const uint8_t *p = o;
        Word_readBrc80(&p, &pic->brc[s->opcode - 0x6C02]);
        return Res_ok;
    }
    case 0xCE01:
        if (s->size < 12)
            return Res_wordShortOperand;
        pic->mx = Bytes_peekU16Le(o);
        pic->my = Bytes_peekU16Le(o + 2);
        pic->dxaCropLeft = Bytes_peekU16Le(o + 4);
        pic->dyaCropTop = Bytes_peekU16Le(o + 6);
        pic->dxaCropRight = Bytes_peekU16Le(o + 8);
        pic->dyaCropBottom = Bytes_peekU16Le(o + 10);
        return Res_ok;
    default: return Res_wordSprmUnhandled;
    }
}

// --------------------------------------------------------------- sections

namespace {

int olstAnm(const SprmRef *s, WordSep *sep, WordReader *r)
{
    if (s->size < 212)
        return Res_wordShortOperand;
    const uint8_t *p = s->operand;
    for (WordAnlv &lv : sep->olstAnm)
        Word_readAnlv(&p, &lv);
    sep->olstRestart = *p++;
    memset(sep->olstText, 0, sizeof sep->olstText);
    if (r->fib.wIdent == Word_identWord97)
        for (uint32_t i = 0; i < 32; i++)
            sep->olstText[i] = char16_t(Bytes_peekU16Le(p + 2 * i));
    return Word_olstToLevels(sep->olstAnm, sep->olstRestart, sep->olstText, r);
}

} // namespace

int Word_applySectSprm(const SprmRef *s, WordSep *sep, WordReader *r)
{
    const uint8_t *o = s->operand;
    uint32_t n = s->size;
    uint32_t fixed = Word_sprmFixedSize(s->spra);
    if (n < fixed)
        return Res_wordShortOperand;
    switch (s->opcode) {
    case 0x3000: sep->cnsPgn = o[0]; return Res_ok;
    case 0x3001: sep->iHeadingPgn = o[0]; return Res_ok;
    case 0x3005: sep->fEvenlySpaced = o[0]; return Res_ok;
    case 0x3006: sep->fProtected = o[0]; return Res_ok;
    case 0x3009: sep->bkc = o[0]; return Res_ok;
    case 0x300A: sep->fTitlePage = o[0]; return Res_ok;
    case 0x300D: sep->fAutoPgn = o[0]; return Res_ok;
    case 0x300E: sep->nfcPgn = o[0]; return Res_ok;
    case 0x3011: sep->fPgnRestart = o[0]; return Res_ok;
    case 0x3012: sep->fEndnote = o[0]; return Res_ok;
    case 0x3013: sep->lnc = o[0]; return Res_ok;
    case 0x3014: sep->grpfIhdt = o[0]; return Res_ok;
    case 0x3019: sep->fLBetween = o[0]; return Res_ok;
    case 0x301A: sep->vjc = o[0]; return Res_ok;
    case 0x301D: sep->dmOrientPage = o[0]; return Res_ok;
    case 0x3228: sep->fBiDi = o[0]; return Res_ok;
    case 0x322A: sep->fRTLGutter = o[0]; return Res_ok;
    case 0x5007: sep->dmBinFirst = Bytes_peekU16Le(o); return Res_ok;
    case 0x5008: sep->dmBinOther = Bytes_peekU16Le(o); return Res_ok;
    case 0x500B: sep->ccolM1 = Bytes_peekU16Le(o); return Res_ok;
    case 0x5015: sep->nLnnMod = Bytes_peekU16Le(o); return Res_ok;
    case 0x501B: sep->lnnMin = Bytes_peekU16Le(o); return Res_ok;
    case 0x501C: sep->pgnStart = Bytes_peekU16Le(o); return Res_ok;
    case 0x5026: sep->dmPaperReq = Bytes_peekU16Le(o); return Res_ok;
    case 0x5033: sep->wTextFlow = Bytes_peekU16Le(o); return Res_ok;
    case 0x522F: sep->pgbProp = Bytes_peekU16Le(o); return Res_ok;
    case 0x702B:
    case 0x702C:
    case 0x702D:
    case 0x702E: {
        const uint8_t *p = o;
        Word_readBrc80(&p, &sep->brc[s->opcode - 0x702B]);
        return Res_ok;
    }
    case 0x7030: sep->dxtCharSpace = Bytes_peekU32Le(o); return Res_ok;
    case 0x900C: sep->dxaColumns = Bytes_peekU16Le(o); return Res_ok;
    case 0x9016: sep->dxaLnn = Bytes_peekU16Le(o); return Res_ok;
    case 0x9023: sep->dyaTop = Bytes_peekU16Le(o); return Res_ok;
    case 0x9024: sep->dyaBottom = Bytes_peekU16Le(o); return Res_ok;
    case 0x9031: sep->dyaLinePitch = Bytes_peekU16Le(o); return Res_ok;
    case 0xB00F: sep->dyaPgn = Bytes_peekU16Le(o); return Res_ok;
    case 0xB010: sep->dxaPgn = Bytes_peekU16Le(o); return Res_ok;
    case 0xB017: sep->dyaHdrTop = Bytes_peekU16Le(o); return Res_ok;
    case 0xB018: sep->dyaHdrBottom = Bytes_peekU16Le(o); return Res_ok;
    case 0xB01F: sep->xaPage = Bytes_peekU16Le(o); return Res_ok;
    case 0xB020: sep->yaPage = Bytes_peekU16Le(o); return Res_ok;
    case 0xB021: sep->dxaLeft = Bytes_peekU16Le(o); return Res_ok;
    case 0xB022: sep->dxaRight = Bytes_peekU16Le(o); return Res_ok;
    case 0xB025: sep->dzaGutter = Bytes_peekU16Le(o); return Res_ok;
    case 0xD202: return olstAnm(s, sep, r);
    case 0xD227:
        if (n < 7)
            return Res_wordShortOperand;
        sep->propRMark = o[0];
        sep->propRMarkIbst = Bytes_peekU16Le(o + 1);
        sep->propRMarkDttm = Bytes_peekU32Le(o + 3);
        return Res_ok;
    case 0xF203:
    case 0xF204: {
        // The column number comes from seven bits; the table has room for
        // the columns a section can have, and a larger number is ignored.
        uint32_t col = o[0] & 0x7F;
        if (col >= Word_maxColumns)
            return Res_ok;
        (s->opcode == 0xF203 ? sep->colWidth : sep->colSpacing)[col] = Bytes_peekU16Le(o + 1);
        return Res_ok;
    }
    default: return Res_wordSprmUnhandled;
    }
}

// ----------------------------------------------------------------- tables

namespace {

// A table definition: a cell count byte, the boundaries, then one cell
// descriptor each. The count may be up to 255; the record holds 64 cells,
// and the cells beyond are skipped, never written.
void defTable(const SprmRef *s, WordTap *tap, uint32_t tcSize,
              void (*readTc)(const uint8_t **, WordTc *))
{
    const uint8_t *o = s->operand;
    uint32_t n = s->size;
    if (n < 1)
        return;
    uint32_t count = o[0];
    uint32_t kept = count < Word_maxCells ? count : Word_maxCells;
    tap->itcMac = uint16_t(kept);
    uint32_t at = 1;
    for (uint32_t i = 0; i <= count && at + 2 <= n; i++, at += 2)
        if (i <= kept)
            tap->rgdxaCenter[i] = int16_t(Bytes_peekU16Le(o + at));
    for (uint32_t i = 0; i < count && at + tcSize <= n; i++, at += tcSize) {
        if (i >= kept)
            continue;
        const uint8_t *p = o + at;
        readTc(&p, &tap->rgtc[i]);
    }
}

} // namespace

int Word_applyTableSprm(const SprmRef *s, WordTap *tap)
{
    const uint8_t *o = s->operand;
    uint32_t n = s->size;
    switch (s->opcode) {
    case 0x3403:
    case 0x3404:
        if (n < 1)
            return Res_wordShortOperand;
        (s->opcode == 0x3403 ? tap->fCantSplit : tap->fTableHeader) = o[0];
        return Res_ok;
    case 0x5400:
    case 0x560B:
    case 0x9407:
    case 0x940E:
    case 0x9601:
    case 0x9602:
        if (n < 2)
            return Res_wordShortOperand;
        break;
    case 0x740A:
        if (n < 3)
            return Res_wordShortOperand;
        break;
    default: break;
    }
    switch (s->opcode) {
    case 0x5400: tap->jc = Bytes_peekU16Le(o); return Res_ok;
    case 0x560B: tap->fBiDi = Bytes_peekU16Le(o); return Res_ok;
    case 0x740A: {
        // Three bytes in the walker's sizes: the look index and the flags
        // byte; the further flag only when a fourth byte is there.
        tap->tlp.itl = Bytes_peekU16Le(o);
        tap->tlp.flags = o[2];
        tap->tlp.flag2 = n >= 4 ? o[3] : 0;
        return Res_ok;
    }
    case 0x9407: tap->dyaRowHeight = int16_t(Bytes_peekU16Le(o)); return Res_ok;
    case 0x940E: tap->jc = (o[0] & 4) ? 1 : 2; return Res_ok;
    case 0x9601: {
        int32_t delta =
            int32_t(int16_t(Bytes_peekU16Le(o))) - (tap->rgdxaCenter[0] + tap->dxaGapHalf);
        for (uint32_t i = 0; i <= tap->itcMac && i <= Word_maxCells; i++)
            tap->rgdxaCenter[i] = int16_t(tap->rgdxaCenter[i] + delta);
        return Res_ok;
    }
    case 0x9602: {
        int16_t gap = int16_t(Bytes_peekU16Le(o));
        tap->rgdxaCenter[0] = int16_t(tap->rgdxaCenter[0] + tap->dxaGapHalf - gap);
        tap->dxaGapHalf = gap;
        return Res_ok;
    }
    case 0xD605: {
        if (n < 24)
            return Res_wordShortOperand;
        const uint8_t *p = o;
        for (WordBorder &b : tap->rgbrcTable)
            Word_readBrc80(&p, &b);
        return Res_ok;
    }
    case 0xD66F: {
        if (n < 12)
            return Res_wordShortOperand;
        const uint8_t *p = o;
        for (WordBorder &b : tap->rgbrcTable)
            Word_readBrc6(&p, &b);
        return Res_ok;
    }
    case 0xD606: defTable(s, tap, 10, Word_readTc10); return Res_ok;
    case 0xD608: defTable(s, tap, 20, Word_readTc97); return Res_ok;
    case 0xD66E: defTable(s, tap, 10, Word_readTc6); return Res_ok;
    case 0xD609:
        for (uint32_t i = 0, at = 0; i < Word_maxCells && at + 2 <= n; i++, at += 2) {
            const uint8_t *p = o + at;
            Word_readShd80(&p, &tap->rgshd[i]);
        }
        return Res_ok;
    case 0xD612:
        for (uint32_t i = 0, at = 0; i < Word_maxCells && at + 10 <= n; i++, at += 10) {
            const uint8_t *p = o + at;
            Word_readShd(&p, &tap->rgshdNew[i]);
        }
        tap->fNewShd = 1;
        return Res_ok;
    default: return Res_wordSprmUnhandled;
    }
}
