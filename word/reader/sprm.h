// The Word property modifiers (sprms): the property records of the reader
// (paragraph, character, section, table row, picture), their defaults, the
// small decoders of compound operands, and the interpreter that applies a
// stored modifier list (grpprl) to those records.
//
// Word 97 files use two-byte opcodes; Word 6/95 files one-byte opcodes,
// which the walker translates into the two-byte space first, so that every
// application step sees Word 97 opcodes only. Lists come from style sheets,
// formatted disk pages, piece-table modifiers and section descriptors; the
// kind a caller names says how the list's length is stored and which
// records it may change.
#pragma once

#include <cstddef>
#include <cstdint>

struct WordReader;

enum : uint32_t {
    Word_maxTabs = 64,
    Word_maxCells = 64,
    Word_maxColumns = 45,      // the section's column table
    Word_conditionalChps = 12, // table-style regions
    Word_noStyle = 4095,       // istdBase and toggle style: none
};

// Kinds of stored modifier lists (Word_applyGrpprl).
enum : uint32_t {
    WordGrpprl_stylePapx = 1, // u16 length with a style index, then the list
    WordGrpprl_fkpPapx = 2,   // cw byte(s), style index, list of 2cw - 2 bytes
    WordGrpprl_papList = 3,   // u16 length, then the list
    WordGrpprl_styleChpx = 6,
    WordGrpprl_fkpChpx = 7, // byte length, then the list
    WordGrpprl_chpList = 8,
    WordGrpprl_sepx = 11,
    WordGrpprl_sepList = 12,
};

// One border: line style (-1: none specified), colour index, width and
// space in 16.16 fixed-point inches.
struct WordBorder {
    int8_t style;
    uint8_t colour;
    int32_t width;
    int32_t space;
};

// The older three-part shading: foreground and background colour indexes
// and pattern.
struct WordShd {
    uint8_t fore;
    uint8_t back;
    uint8_t pattern;
};

// The newer shading: RGB colours with their fourth byte (stored inverted in
// the file, kept here as it reads after inversion), then the three parts.
struct WordShdNew {
    uint8_t foreRgb[4];
    uint8_t backRgb[4];
    WordShd shd;
};

// One cell descriptor: merge flags and the top, left, bottom, right borders.
struct WordTc {
    uint16_t flags; // bit 0 first merged, bit 1 merged (Word 97: bits 0-6, 5 vertical merge, 6
                    // vertical restart)
    WordBorder brc[4];
};

// Table look.
struct WordTlp {
    uint16_t itl;
    uint8_t flags; // eight flags
    uint8_t flag2;
};

struct WordTab {
    int16_t position;
    uint8_t jc;     // alignment 0-4
    uint8_t leader; // 0-4
};

// A list-level descriptor of the older numbering.
struct WordAnlv {
    uint8_t nfc;
    uint8_t cxchTextBefore;
    uint8_t cxchTextAfter;
    uint8_t flags1; // jc bits 0-1, fPrev, fHang, fSetBold, fSetItalic, fSetSmallCaps, fSetCaps
    uint8_t flags2; // fSetStrike, fSetKul, fPrevSpace, fBold, fItalic, fSmallCaps, fCaps, fStrike
    uint8_t kulIco; // underline bits 0-2, colour bits 3-7
    uint16_t ftc;
    uint16_t hps;
    uint16_t iStartAt;
    int16_t dxaIndent;
    uint16_t dxaSpace;
};

// The auto-numbering descriptor of a paragraph.
struct WordAnld {
    WordAnlv lv;
    uint8_t fNumber1;
    uint8_t fNumberAcross;
    uint8_t fRestartHdn;
    uint8_t fSpareX;
    char16_t text[32];
};

struct WordPap {
    uint16_t istd;
    uint8_t jc;
    uint8_t fKeep;
    uint8_t fKeepFollow;
    uint8_t fPageBreakBefore;
    uint8_t fSideBySide;
    uint8_t brcl;
    uint8_t brcp;
    uint8_t fNoLnn;
    uint8_t ilvl;
    uint16_t ilfo;
    int32_t dxaRight;
    int32_t dxaLeft;
    int32_t dxaLeft1;
    int32_t dyaLine;
    uint8_t fMultLinespace;
    int32_t dyaBefore;
    int32_t dyaAfter;
    uint8_t fInTable;
    uint8_t fTtp;
    uint8_t fInnerTableCell; // a paragraph mark that ends a nested table's cell
    uint8_t fInnerTtp;       // a paragraph mark that ends a nested table's row
    int32_t itap;            // table depth: 1 for a table, 2 for a table in its cell
    uint8_t fWidowControl;
    int32_t dxaAbs;
    int32_t dyaAbs;
    int32_t dxaWidth;
    uint8_t pcHorz; // horizontal anchor: bits 2-3 of sprmPPc
    uint8_t pcVert; // vertical anchor: bits 0-1 of sprmPPc
    int32_t dyaFromText;
    int32_t dxaFromText;
    uint8_t fBiDi;
    uint8_t lvl; // outline level
    uint16_t itbdMac;
    WordTab tabs[Word_maxTabs];
    WordBorder brc[4]; // top, left, bottom, right
    WordAnld anld;
    uint16_t styleWord; // the two words of opcode 0xC66C
    uint16_t secondWord;
};

struct WordChp {
    uint8_t fBold;
    uint8_t fItalic;
    uint8_t fStrike;
    uint8_t fOutline;
    uint8_t fShadow;
    uint8_t fSmallCaps;
    uint8_t fCaps;
    uint8_t fVanish;
    uint8_t fRMarkDel;
    uint8_t fRMark;
    uint8_t fFldVanish;
    uint8_t fSpec;
    uint8_t fObj;
    uint8_t fOle2;
    uint8_t fData;
    uint8_t fEmboss;
    uint8_t fImprint;
    uint8_t fDStrike;
    uint8_t fBiDi;
    uint8_t fUsePgsuSettings;
    int16_t afterPgsu; // the word after the use-page-setting flag (-1 by default)
    uint16_t ftc[3];
    uint16_t hps;
    uint16_t hpsPos;
    uint16_t hpsKern;
    uint16_t dxaSpace;
    uint16_t charScale; // 100 by default
    uint8_t iss;
    uint8_t kul;
    uint8_t ico; // 0xFF: use rgb
    uint8_t rgb[3];
    uint8_t icoHighlight;
    uint8_t fHighlight;
    uint16_t lid[2];
    int32_t fcPic;
    uint32_t fcObj;
    uint16_t ftcSym;
    uint16_t xchSym;
    uint16_t istd;     // character style
    uint16_t istdPara; // paragraph style used for toggles
    uint16_t ibstRMark;
    uint16_t ibstRMarkDel;
    uint16_t idslRMark;
    uint32_t dttmRMark;
    uint32_t dttmRMarkDel;
    WordShd shd;
    uint8_t propRMark;
    uint16_t propRMarkIbst;
    uint32_t propRMarkDttm;
    uint8_t dispFldRMark;
    uint16_t dispFldRMarkIbst;
    uint32_t dispFldRMarkDttm;
    uint8_t dispFldRMarkText[32];
    uint8_t fChsDiff;
    uint16_t chs;
    uint8_t sfxText;
    uint8_t idctHint;
};

struct WordSep {
    uint8_t bkc;
    uint8_t fTitlePage;
    uint8_t fAutoPgn;
    uint8_t nfcPgn;
    uint8_t fPgnRestart;
    uint8_t fEndnote;
    uint8_t lnc;
    uint8_t grpfIhdt;
    uint8_t cnsPgn;
    uint8_t iHeadingPgn;
    uint8_t fEvenlySpaced;
    uint8_t fProtected;
    uint8_t fLBetween;
    uint8_t vjc;
    uint8_t dmOrientPage;
    uint8_t fBiDi;
    uint8_t fRTLGutter;
    uint16_t dmBinFirst;
    uint16_t dmBinOther;
    uint16_t dmPaperReq;
    uint16_t ccolM1;
    uint16_t nLnnMod;
    uint16_t lnnMin;
    uint16_t pgnStart;
    uint16_t wTextFlow;
    uint16_t pgbProp;
    uint32_t dxtCharSpace;
    int32_t dxaColumns;
    int32_t dxaLnn;
    int32_t dyaTop;
    int32_t dyaBottom;
    int32_t dyaLinePitch;
    int32_t dyaPgn;
    int32_t dxaPgn;
    int32_t dyaHdrTop;
    int32_t dyaHdrBottom;
    int32_t xaPage;
    int32_t yaPage;
    int32_t xaPageNUp; // the second copy of the page size
    int32_t yaPageNUp;
    int32_t dxaLeft;
    int32_t dxaRight;
    int32_t dzaGutter;
    WordBorder brc[4]; // top, left, bottom, right
    uint16_t colWidth[Word_maxColumns];
    uint16_t colSpacing[Word_maxColumns];
    uint8_t propRMark;
    uint16_t propRMarkIbst;
    uint32_t propRMarkDttm;
    WordAnlv olstAnm[9];
    uint8_t olstRestart;
    char16_t olstText[32];
};

struct WordTap {
    uint16_t jc;
    int16_t dxaGapHalf;
    int16_t dyaRowHeight;
    uint8_t fCantSplit;
    uint8_t fTableHeader;
    uint16_t fBiDi;
    WordTlp tlp;
    uint16_t itcMac; // cells defined (at most 64)
    int16_t rgdxaCenter[Word_maxCells + 1];
    WordTc rgtc[Word_maxCells];
    WordShd rgshd[Word_maxCells];
    WordShdNew rgshdNew[Word_maxCells];
    WordBorder rgbrcTable[6]; // top, left, bottom, right, inside horizontal, inside vertical
    uint8_t fNewShd;
};

struct WordPic {
    WordBorder brc[4]; // top, left, bottom, right
    uint16_t mx;
    uint16_t my;
    uint16_t dxaCropLeft;
    uint16_t dyaCropTop;
    uint16_t dxaCropRight;
    uint16_t dyaCropBottom;
};

// The drawing anchor of a floating shape.
struct WordFspa {
    uint32_t spid;
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    uint16_t flags; // header, anchors, wrapping, below text, locked
    uint32_t cTxbx;
};

// One decoded modifier.
struct SprmRef {
    const uint8_t *operand;
    uint16_t opcode;
    uint16_t ispmd;
    uint8_t fSpec;
    uint8_t sgc;
    uint8_t spra;
    uint32_t size;
};

// ------------------------------------------------------------ interpreter

// Applies one stored list of the given kind (WordGrpprl_*) to the records
// given (any may be null). data points at the stored form (its length
// first). 0 with nothing done when data is null or every record is null;
// 3869 for a kind that is not one of 1-3, 6-8, 11, 12; otherwise as
// Word_walkSprms. Records keep what earlier modifiers set on any error.
[[nodiscard]] int Word_applyGrpprl(WordSep *sep, WordPap *pap, WordChp *chp, WordTap *tap,
                                   WordPic *pic, uint32_t kind, const uint8_t *data,
                                   WordReader *reader);
// Decodes length bytes of modifiers and dispatches each. 0 at the end of
// the list or when it is cut short; 3870 for a file that is neither Word 6/95
// nor Word 97; the first other non-zero result of a modifier (1, 3875, 3877,
// the data stream's read errors).
[[nodiscard]] int Word_walkSprms(WordSep *sep, WordPap *pap, WordChp *chp, WordTap *tap,
                                 WordPic *pic, uint32_t kind, size_t length, const uint8_t *list,
                                 WordReader *reader);
// Hands one modifier to its group when the target record is given and the
// kind allows the group; "not handled" becomes 0.
[[nodiscard]] int Word_dispatchSprm(WordSep *sep, WordPap *pap, WordChp *chp, WordTap *tap,
                                    WordPic *pic, uint32_t kind, const SprmRef *sprm,
                                    WordReader *reader);
[[nodiscard]] int Word_applyParaSprm(const SprmRef *sprm, WordPap *pap, WordTap *tap,
                                     WordReader *reader);
[[nodiscard]] int Word_applyCharSprm(const SprmRef *sprm, WordChp *chp, WordReader *reader);
[[nodiscard]] int Word_applyPicSprm(const SprmRef *sprm, WordPic *pic);
[[nodiscard]] int Word_applySectSprm(const SprmRef *sprm, WordSep *sep, WordReader *reader);
[[nodiscard]] int Word_applyTableSprm(const SprmRef *sprm, WordTap *tap);

// The two-byte opcode of the piece-table short modifier index (0-127; 0
// for an index without one).
uint16_t Word_prmSprm(uint32_t index);
// The two-byte opcode of a Word 6/95 one-byte opcode (0xFFFF: none).
uint16_t Word_sprm6To97(uint32_t opcode);
// The operand size that a modifier's size code (spra, the opcode's top
// three bits) fixes: 1, 2, 3 or 4 bytes, or 0 for the variable sizes.
uint32_t Word_sprmFixedSize(uint32_t spra);

// The operand size of a modifier whose operand (or size byte) starts at p
// with avail bytes left, and how many size bytes precede the operand.
// Returns false when the size cannot be read within avail.
bool Word_sprmOperandSize(uint16_t opcode, bool isWord97Format, const uint8_t *p, size_t avail,
                          uint32_t *size, uint32_t *sizeBytes);
// The character record that a run's toggles start from: its paragraph
// style's record with its character style applied.
void Word_styleBaseChp(const WordChp *chp, WordChp *base, WordReader *reader);

// ---------------------------------------------------------------- defaults

void Word_defaultPap(WordPap *pap);
void Word_defaultChp(WordChp *chp);
void Word_defaultSep(WordSep *sep);
void Word_clearTap(WordTap *tap);
void Word_clearTc(WordTc *tc);
void Word_clearShd(WordShd *shd);

// ------------------------------------------------------- operand decoders
// Each reads from *p and advances it past what it read.

void Word_readBrc10(const uint8_t **p, WordBorder *brc);
void Word_readBrc6(const uint8_t **p, WordBorder *brc);
void Word_readBrc80(const uint8_t **p, WordBorder *brc);
void Word_readTc10(const uint8_t **p, WordTc *tc);
void Word_readTc6(const uint8_t **p, WordTc *tc);
void Word_readTc97(const uint8_t **p, WordTc *tc);
void Word_readShd80(const uint8_t **p, WordShd *shd);
void Word_readShd(const uint8_t **p, WordShdNew *shd);
void Word_readFspa(const uint8_t **p, WordFspa *fspa);
void Word_splitShd80(uint16_t value, WordShd *shd);
void Word_readAnlv(const uint8_t **p, WordAnlv *anlv);
// The auto-numbering descriptor of size bytes: 3875 when it is shorter
// than the file's form (52 bytes Word 6/95, 84 Word 97).
[[nodiscard]] int Word_readAnld(const uint8_t **p, uint32_t size, WordAnld *anld,
                                WordReader *reader);
