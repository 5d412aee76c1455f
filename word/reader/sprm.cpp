// The property-modifier walker: opcode tables, operand sizes, the stored
// list kinds, the dispatcher, the default records and the operand decoders.
// The per-group application lives in sprmapply.cpp.
#include "word/reader/sprm.h"

#include <cstring>

#include "core/result.h"
#include "core/text/charset.h"
#include "core/stream/bytestream.h"
#include "word/reader/word.h"

namespace {

struct OpPair {
    uint8_t from;
    uint16_t to;
};

// Word 6/95 one-byte opcodes and their two-byte counterparts.
constexpr OpPair kWord6Ops[] = {
    {2, 0x4600},   {3, 0xC601},   {4, 0x2602},   {5, 0x2403},   {6, 0x2404},   {7, 0x2405},
    {8, 0x2406},   {9, 0x2407},   {10, 0x2408},  {11, 0x2409},  {12, 0xC63E},  {13, 0x260A},
    {14, 0x240C},  {15, 0xC60D},  {16, 0x840E},  {17, 0x840F},  {18, 0x4610},  {19, 0x8411},
    {20, 0x6412},  {21, 0xA413},  {22, 0xA414},  {23, 0xC615},  {24, 0x2416},  {25, 0x2417},
    {26, 0x8418},  {27, 0x8419},  {28, 0x841A},  {29, 0x261B},  {30, 0x461C},  {31, 0x461D},
    {32, 0x461E},  {33, 0x461F},  {34, 0x4620},  {35, 0x4621},  {36, 0x4622},  {37, 0x2423},
    {38, 0x4424},  {39, 0x4425},  {40, 0x4426},  {41, 0x4427},  {42, 0x4428},  {43, 0x4629},
    {44, 0x242A},  {45, 0x442B},  {46, 0x442C},  {47, 0x442D},  {48, 0x842E},  {49, 0x842F},
    {50, 0x2430},  {51, 0x2431},  {63, 0xC7FE},  {64, 0xA7FF},  {65, 0x0800},  {66, 0x0801},
    {67, 0x0802},  {68, 0xCA03},  {69, 0x4804},  {70, 0x6805},  {71, 0x0806},  {72, 0x4807},
    {73, 0xEA08},  {74, 0xCA09},  {75, 0x080A},  {77, 0xCA0C},  {79, 0xCBFB},  {80, 0x4A30},
    {81, 0xCA31},  {82, 0x2A32},  {83, 0x2A33},  {85, 0x0835},  {86, 0x0836},  {87, 0x0837},
    {88, 0x0838},  {89, 0x0839},  {90, 0x083A},  {91, 0x083B},  {92, 0x083C},  {93, 0x4A3D},
    {94, 0x2A3E},  {95, 0xEA3F},  {96, 0x8840},  {97, 0x4A41},  {98, 0x2A42},  {99, 0x4A43},
    {100, 0x2A44}, {101, 0x4845}, {102, 0x2A46}, {103, 0xCA47}, {104, 0x2A48}, {105, 0xCA49},
    {106, 0xCA4A}, {107, 0x484B}, {108, 0xCA4C}, {109, 0x4A4D}, {110, 0x484E}, {111, 0xCBFC},
    {112, 0xCBFD}, {115, 0xCBFE}, {116, 0xCBFF}, {117, 0x0855}, {118, 0x0856}, {119, 0x2E00},
    {120, 0xCE01}, {121, 0x4C02}, {122, 0x4C03}, {123, 0x4C04}, {124, 0x4C05}, {131, 0x3000},
    {132, 0x3001}, {133, 0xD202}, {136, 0xF203}, {137, 0xF204}, {138, 0x3005}, {139, 0x3006},
    {140, 0x5007}, {141, 0x5008}, {142, 0x3009}, {143, 0x300A}, {144, 0x500B}, {145, 0x900C},
    {146, 0x300D}, {147, 0x300E}, {148, 0xB00F}, {149, 0xB010}, {150, 0x3011}, {151, 0x3012},
    {152, 0x3013}, {153, 0x3014}, {154, 0x5015}, {155, 0x9016}, {156, 0xB017}, {157, 0xB018},
    {158, 0x3019}, {159, 0x301A}, {160, 0x501B}, {161, 0x501C}, {162, 0x301D}, {163, 0x301E},
    {164, 0xB01F}, {165, 0xB020}, {166, 0xB021}, {167, 0xB022}, {168, 0x9023}, {169, 0x9024},
    {170, 0xB025}, {171, 0x5026}, {179, 0xD3FE}, {181, 0xD3FF}, {182, 0x5400}, {183, 0x9601},
    {184, 0x9602}, {185, 0x3403}, {186, 0x3404}, {187, 0xD66F}, {188, 0xD606}, {189, 0x9407},
    {190, 0xD66E}, {191, 0xD609}, {192, 0x740A}, {193, 0xD620}, {194, 0x7621}, {195, 0x5622},
    {196, 0x7623}, {197, 0x5624}, {198, 0x5625}, {199, 0xD626}, {200, 0x7627},
};

struct Word6Table {
    uint32_t op[256];
};

constexpr Word6Table makeWord6Table()
{
    Word6Table t{};
    for (uint32_t &v : t.op)
        v = 0xFFFF;
    for (const OpPair &p : kWord6Ops)
        t.op[p.from] = p.to;
    return t;
}

constexpr Word6Table kWord6Table = makeWord6Table();

// The piece-table short modifiers, by seven-bit index.
constexpr OpPair kPrmOps[] = {
    {4, 0x2602},   {5, 0x2403},   {6, 0x2404},   {7, 0x2405},   {8, 0x2406},   {9, 0x2407},
    {10, 0x2408},  {11, 0x2409},  {12, 0x260A},  {14, 0x240C},  {24, 0x2416},  {25, 0x2417},
    {29, 0x261B},  {37, 0x2423},  {44, 0x242A},  {50, 0x2430},  {51, 0x2431},  {53, 0x2433},
    {54, 0x2434},  {55, 0x2435},  {56, 0x2436},  {57, 0x2437},  {58, 0x2438},  {61, 0x243B},
    {65, 0x0800},  {66, 0x0801},  {67, 0x0802},  {71, 0x0806},  {75, 0x080A},  {77, 0x2A0C},
    {78, 0x0858},  {79, 0x2859},  {83, 0x2A33},  {85, 0x0835},  {86, 0x0836},  {87, 0x0837},
    {88, 0x0838},  {89, 0x0839},  {90, 0x083A},  {91, 0x083B},  {92, 0x083C},  {94, 0x2A3E},
    {98, 0x2A42},  {100, 0x2A44}, {102, 0x2A46}, {104, 0x2A48}, {115, 0x2A53}, {116, 0x0854},
    {117, 0x0855}, {118, 0x0856}, {119, 0x2E00}, {120, 0x2640},
};

struct PrmTable {
    uint16_t op[128];
};

constexpr PrmTable makePrmTable()
{
    PrmTable t{};
    for (const OpPair &p : kPrmOps)
        t.op[p.from] = p.to;
    return t;
}

constexpr PrmTable kPrmTable = makePrmTable();

bool isWord97(const WordReader *r)
{
    return r->fib.wIdent == Word_identWord97;
}

bool isWord6(const WordReader *r)
{
    return r->fib.wIdent == Word_identWord6;
}

// The groups each list kind may change.
bool kindAllows(uint32_t kind, uint32_t sgc)
{
    switch (sgc) {
    case 1:
    case 5: return kind >= 1 && kind <= 3;
    case 2:
    case 3: return kind >= 6 && kind <= 8;
    case 4: return kind == 11 || kind == 12;
    default: return false;
    }
}

int32_t points72(uint32_t v)
{
    return int32_t((v * 65536u) / 72u);
}

} // namespace

uint16_t Word_prmSprm(uint32_t index)
{
    return kPrmTable.op[index & 0x7F];
}

uint16_t Word_sprm6To97(uint32_t opcode)
{
    return uint16_t(kWord6Table.op[opcode & 0xFF]);
}

uint32_t Word_sprmFixedSize(uint32_t spra)
{
    switch (spra) {
    case 0:
    case 1: return 1;
    case 2:
    case 4:
    case 5: return 2;
    case 3: return 4;
    case 7: return 3;
    default: return 0;
    }
}

bool Word_sprmOperandSize(uint16_t opcode, bool word97, const uint8_t *p, size_t avail,
                          uint32_t *size, uint32_t *sizeBytes)
{
    *sizeBytes = 0;
    if (opcode == 0x2A33) { // sprmCPlain: no operand although its spra says one byte
        *size = 0;
        return true;
    }
    if (uint32_t fixed = Word_sprmFixedSize(uint32_t(opcode >> 13))) {
        *size = fixed;
        return true;
    }
    // Variable sizes.
    switch (opcode) {
    case 0xD66F: *size = 12; return true;
    case 0xD620:
    case 0xD626:
        if (!word97) {
            *size = 5;
            return true;
        }
        break;
    case 0xD605: // sprmTTableBorders: a size byte, then 24 bytes
        if (avail < 1)
            return false;
        *sizeBytes = 1;
        *size = 24;
        return true;
    case 0xD606:
    case 0xD608:
    case 0xD66E: {
        if (avail < 2)
            return false;
        *sizeBytes = 2;
        uint32_t v = Bytes_peekU16Le(p);
        *size = v ? v - 1 : 0;
        return true;
    }
    case 0xC615: {
        if (avail < 1)
            return false;
        *sizeBytes = 1;
        if (p[0] != 255) {
            *size = p[0];
            return true;
        }
        // The extended form: deletions of four bytes each, then additions
        // of three.
        if (avail < 2)
            return false;
        size_t at = 1 + 1 + 4 * size_t(p[1]);
        if (at >= avail)
            return false;
        *size = uint32_t(1 + 4 * uint32_t(p[1]) + 3 * uint32_t(p[at]) + 1);
        return true;
    }
    default: break;
    }
    if (avail < 1)
        return false;
    *sizeBytes = 1;
    *size = p[0];
    return true;
}

int Word_applyGrpprl(WordSep *sep, WordPap *pap, WordChp *chp, WordTap *tap, WordPic *pic,
                     uint32_t kind, const uint8_t *data, WordReader *reader)
{
    if (kind == 0 || kind == 4 || kind == 5 || kind == 9 || kind == 10 || kind > 12)
        return Res_wordBadGrpprlKind;
    if (!data || (!sep && !pap && !chp && !tap && !pic))
        return Res_ok;
    size_t length = 0;
    const uint8_t *list = nullptr;
    switch (kind) {
    case WordGrpprl_stylePapx: {
        uint32_t n = Bytes_peekU16Le(data);
        if (n < 2)
            return Res_ok;
        length = n - 2;
        list = data + 4;
        break;
    }
    case WordGrpprl_fkpPapx: {
        const uint8_t *p = data;
        uint32_t cw = *p++;
        if (cw == 0 && isWord97(reader))
            cw = *p++;
        uint32_t istd = Bytes_peekU16Le(p);
        p += 2;
        if (pap) {
            if (istd < reader->styleCount && reader->styles[istd].defined)
                *pap = reader->styles[istd].pap;
            else if (reader->istdNormal < reader->styleCount)
                *pap = reader->styles[reader->istdNormal].pap;
        }
        length = cw >= 1 ? 2 * cw - 2 : 0;
        list = p;
        break;
    }
    case WordGrpprl_fkpChpx:
        length = data[0];
        list = data + 1;
        break;
    default: // 3, 6, 8, 11, 12
        length = Bytes_peekU16Le(data);
        list = data + 2;
        break;
    }
    return Word_walkSprms(sep, pap, chp, tap, pic, kind, length, list, reader);
}

int Word_walkSprms(WordSep *sep, WordPap *pap, WordChp *chp, WordTap *tap, WordPic *pic,
                   uint32_t kind, size_t length, const uint8_t *list, WordReader *reader)
{
    if (length == 0 || (length == 2 && list[0] == 0))
        return Res_ok;
    bool word97 = isWord97(reader);
    if (!word97 && !isWord6(reader))
        return Res_wordBadIdent;
    size_t at = 0;
    // A modifier needs its opcode (two bytes, one in Word 6/95); sprmCPlain,
    // the one modifier without an operand, may end a list.
    while (at + (word97 ? 2 : 1) <= length) {
        uint16_t opcode;
        if (word97) {
            opcode = Bytes_peekU16Le(list + at);
            at += 2;
        } else {
            opcode = Word_sprm6To97(list[at]);
            at += 1;
            if (opcode == 0xFFFF)
                return Res_ok;
        }
        SprmRef ref;
        ref.opcode = opcode;
        ref.ispmd = opcode & 0x1FF;
        ref.fSpec = uint8_t((opcode >> 9) & 1);
        ref.sgc = uint8_t((opcode >> 10) & 7);
        ref.spra = uint8_t(opcode >> 13);
        if (opcode == 0 || ref.sgc < 1 || ref.sgc > 5)
            return Res_ok;
        uint32_t size = 0, sizeBytes = 0;
        if (!Word_sprmOperandSize(opcode, word97, list + at, length - at, &size, &sizeBytes))
            return Res_ok;
        if (sizeBytes > length - at || size > length - at - sizeBytes)
            return Res_ok;
        at += sizeBytes;
        ref.operand = list + at;
        ref.size = size;
        int err = Word_dispatchSprm(sep, pap, chp, tap, pic, kind, &ref, reader);
        if (err != Res_ok)
            return err;
        at += size;
    }
    return Res_ok;
}

int Word_dispatchSprm(WordSep *sep, WordPap *pap, WordChp *chp, WordTap *tap, WordPic *pic,
                      uint32_t kind, const SprmRef *sprm, WordReader *reader)
{
    if (!kindAllows(kind, sprm->sgc))
        return Res_ok;
    int err = Res_ok;
    switch (sprm->sgc) {
    case 1:
        if (pap)
            err = Word_applyParaSprm(sprm, pap, tap, reader);
        break;
    case 2:
        if (chp)
            err = Word_applyCharSprm(sprm, chp, reader);
        break;
    case 3:
        if (pic)
            err = Word_applyPicSprm(sprm, pic);
        break;
    case 4:
        if (sep)
            err = Word_applySectSprm(sprm, sep, reader);
        break;
    case 5:
        if (tap)
            err = Word_applyTableSprm(sprm, tap);
        break;
    default: break;
    }
    return err == Res_wordSprmUnhandled ? Res_ok : err;
}

// ---------------------------------------------------------------- defaults

void Word_defaultPap(WordPap *pap)
{
    memset(pap, 0, sizeof *pap);
    pap->fWidowControl = 1;
    pap->dyaLine = 240;
    pap->fMultLinespace = 1;
    pap->lvl = 9;
}

void Word_defaultChp(WordChp *chp)
{
    memset(chp, 0, sizeof *chp);
    chp->hps = 20;
    chp->fcPic = -1;
    chp->lid[0] = 0x400;
    chp->lid[1] = 0x400;
    chp->charScale = 100;
    chp->afterPgsu = -1;
    chp->istd = 65;
    chp->istdPara = Word_noStyle;
}

void Word_defaultSep(WordSep *sep)
{
    memset(sep, 0, sizeof *sep);
    sep->bkc = 2;
    sep->fEndnote = 1;
    sep->nfcPgn = 0;
    sep->fEvenlySpaced = 1;
    sep->dmOrientPage = 1;
    sep->pgnStart = 1;
    sep->dxaPgn = 720;
    sep->dyaPgn = 720;
    sep->xaPage = 12240;
    sep->yaPage = 15840;
    sep->xaPageNUp = 12240;
    sep->yaPageNUp = 15840;
    sep->dyaHdrTop = 720;
    sep->dyaHdrBottom = 720;
    sep->dxaLeft = 1800;
    sep->dxaRight = 1800;
    sep->dyaTop = 1440;
    sep->dyaBottom = 1440;
    sep->dxaColumns = 720;
}

void Word_clearTc(WordTc *tc)
{
    memset(tc, 0, sizeof *tc);
}

void Word_clearShd(WordShd *shd)
{
    memset(shd, 0, sizeof *shd);
}

void Word_clearTap(WordTap *tap)
{
    memset(tap, 0, sizeof *tap);
    for (uint32_t i = 0; i < Word_maxCells; i++) {
        Word_clearTc(&tap->rgtc[i]);
        Word_clearShd(&tap->rgshd[i]);
        memset(&tap->rgshdNew[i], 0, sizeof tap->rgshdNew[i]);
    }
}

// ------------------------------------------------------- operand decoders

namespace {

void noBorder(WordBorder *brc)
{
    memset(brc, 0, sizeof *brc);
    brc->style = -1;
}

} // namespace

void Word_readBrc10(const uint8_t **p, WordBorder *brc)
{
    uint32_t v = Bytes_peekU16Le(*p);
    *p += 2;
    if (v == 0xFFFF) {
        noBorder(brc);
        return;
    }
    uint32_t line2 = v & 7, between = (v >> 3) & 7, line1 = (v >> 6) & 7, space = (v >> 9) & 0x1F;
    uint32_t s = line2 + between + line1;
    uint32_t style = 0, width = line1;
    if (s <= 3)
        style = s;
    else if (s == 4)
        style = 2;
    else if (s == 6)
        style = 6, width = 1;
    else if (s == 7)
        style = 5, width = 5;
    brc->style = int8_t(style);
    brc->width = points72(width);
    brc->colour = 1;
    brc->space = points72(space);
}

void Word_readBrc6(const uint8_t **p, WordBorder *brc)
{
    uint32_t v = Bytes_peekU16Le(*p);
    *p += 2;
    if (v == 0xFFFF) {
        noBorder(brc);
        return;
    }
    brc->width = int32_t(uint32_t(points72(v & 7)) * 3 / 4);
    brc->style = int8_t((v >> 3) & 3);
    brc->colour = uint8_t((v >> 6) & 0x1F);
    brc->space = points72((v >> 11) & 0x1F);
}

void Word_readBrc80(const uint8_t **p, WordBorder *brc)
{
    const uint8_t *b = *p;
    *p += 4;
    if (Bytes_peekU16Le(b) == 0xFFFF) {
        noBorder(brc);
        return;
    }
    brc->width = points72(b[0]) / 8;
    brc->style = int8_t(b[1] > 25 ? 1 : b[1]);
    brc->colour = b[2] > 16 ? 0 : b[2];
    brc->space = points72(b[3] & 0x1F);
}

void Word_readTc10(const uint8_t **p, WordTc *tc)
{
    tc->flags = Bytes_peekU16Le(*p) & 3;
    *p += 2;
    for (WordBorder &b : tc->brc)
        Word_readBrc10(p, &b);
}

void Word_readTc6(const uint8_t **p, WordTc *tc)
{
    tc->flags = Bytes_peekU16Le(*p) & 3;
    *p += 2;
    for (WordBorder &b : tc->brc)
        Word_readBrc6(p, &b);
}

void Word_readTc97(const uint8_t **p, WordTc *tc)
{
    tc->flags = Bytes_peekU16Le(*p) & 0x7F; // merges, text flow and the vertical merge bits 5-6
    *p += 4;
    for (WordBorder &b : tc->brc)
        Word_readBrc80(p, &b);
}

void Word_splitShd80(uint16_t value, WordShd *shd)
{
    shd->fore = uint8_t(value & 0x1F);
    shd->back = uint8_t((value >> 5) & 0x1F);
    shd->pattern = uint8_t(value >> 10);
}

void Word_readShd80(const uint8_t **p, WordShd *shd)
{
    Word_splitShd80(Bytes_peekU16Le(*p), shd);
    *p += 2;
}

void Word_readShd(const uint8_t **p, WordShdNew *shd)
{
    const uint8_t *b = *p;
    for (int i = 0; i < 3; i++) {
        shd->foreRgb[i] = b[i];
        shd->backRgb[i] = b[4 + i];
    }
    shd->foreRgb[3] = uint8_t(~b[3]);
    shd->backRgb[3] = uint8_t(~b[7]);
    Word_splitShd80(Bytes_peekU16Le(b + 8), &shd->shd);
    *p += 10;
}

void Word_readFspa(const uint8_t **p, WordFspa *fspa)
{
    const uint8_t *b = *p;
    fspa->spid = Bytes_peekU32Le(b);
    fspa->left = int32_t(Bytes_peekU32Le(b + 4));
    fspa->top = int32_t(Bytes_peekU32Le(b + 8));
    fspa->right = int32_t(Bytes_peekU32Le(b + 12));
    fspa->bottom = int32_t(Bytes_peekU32Le(b + 16));
    fspa->flags = Bytes_peekU16Le(b + 20);
    fspa->cTxbx = Bytes_peekU32Le(b + 22);
    *p += 26;
}

void Word_readAnlv(const uint8_t **p, WordAnlv *anlv)
{
    const uint8_t *b = *p;
    anlv->nfc = b[0];
    anlv->cxchTextBefore = b[1];
    anlv->cxchTextAfter = b[2];
    anlv->flags1 = b[3];
    anlv->flags2 = b[4];
    anlv->kulIco = b[5];
    anlv->ftc = Bytes_peekU16Le(b + 6);
    anlv->hps = Bytes_peekU16Le(b + 8);
    anlv->iStartAt = Bytes_peekU16Le(b + 10);
    anlv->dxaIndent = int16_t(Bytes_peekU16Le(b + 12));
    anlv->dxaSpace = Bytes_peekU16Le(b + 14);
    *p += 16;
}

int Word_readAnld(const uint8_t **p, uint32_t size, WordAnld *anld, WordReader *reader)
{
    bool word97 = isWord97(reader);
    if (size < (word97 ? 84u : 52u))
        return Res_wordShortOperand;
    const uint8_t *start = *p;
    Word_readAnlv(p, &anld->lv);
    const uint8_t *b = *p;
    if (b[0] < 32) {
        anld->fNumber1 = b[0];
        anld->fNumberAcross = b[1];
        anld->fRestartHdn = b[2];
        anld->fSpareX = b[3];
        b += 4;
    }
    memset(anld->text, 0, sizeof anld->text);
    // The text must lie inside the operand whether or not the flag bytes
    // were there.
    size_t room = size - size_t(b - start);
    if (word97) {
        for (size_t i = 0; i < 32 && 2 * i + 1 < room; i++)
            anld->text[i] = char16_t(Bytes_peekU16Le(b + 2 * i));
        b += 64;
    } else {
        size_t n = 0;
        while (n < 32 && n < room && b[n])
            n++;
        bool symbol =
            (reader->symbolFont >= 0 && anld->lv.ftc == uint32_t(reader->symbolFont)) ||
            (reader->wingdingsFont >= 0 && anld->lv.ftc == uint32_t(reader->wingdingsFont));
        if (symbol) {
            for (size_t i = 0; i < n; i++)
                anld->text[i] = char16_t(0xF000 + b[i]);
        } else {
            uint8_t out[64];
            size_t consumed = 0, produced = 0;
            if (reader->codePage)
                (void)Charset_singleByteToUtf16(reader->codePage, b, n, out, sizeof out, &consumed,
                                                &produced);
            else
                (void)Charset_latin1ToUtf16(reader->ctx, b, n, out, sizeof out, &consumed,
                                            &produced, nullptr);
            memcpy(anld->text, out, produced < sizeof out ? produced : sizeof out);
        }
        b += 32;
    }
    *p = b;
    return Res_ok;
}
