// The Word handler's recognition: the .doc file inside an OLE2 compound
// file, its streams and its file information block (FIB).
//
// The reader record WordReader serves one recognition attempt or one load.
// Recognition opens the stream as a compound file, opens "WordDocument"
// and the table stream the FIB names, and reads the FIB of a Word 6/95
// (wIdent 0xA5DC, 682 bytes) or Word 97 (0xA5EC, 898 bytes) file into one
// record laid out as the Word 97 FIB. The load itself (Word_loadDocument)
// belongs to the Word reader's load sequence; word/interim.cpp holds its
// interim definition.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_HandlerDesc;
struct OleHandle;
struct OleStream;
struct VfsHandle;

enum : uint32_t {
    Word_identWord6 = 0xA5DC,
    Word_identWord97 = 0xA5EC,
    Word_fib6Bytes = 682,
    Word_fib97Bytes = 898,
    Word_fcLcbCount = 93,
    Word_mimeTypeId = 6,            // "application/msword" in the MIME table
    Word_flagWhichTblStm = 1u << 9,
    Word_flagEncrypted = 1u << 8,
};

// One {fc, lcb} pair: a table's offset and length.
struct WordFcLcb {
    int32_t fc;
    uint32_t lcb;
};

// The FIB in the Word 97 file's field order.
struct WordFib {
    uint16_t wIdent;
    uint16_t nFib;
    uint16_t nProduct;
    uint16_t lid;
    int16_t pnNext;
    uint16_t flags;             // fDot .. fCrypto
    uint16_t nFibBack;
    uint32_t lKey;
    uint8_t envr;
    uint8_t flags2;             // fMac .. fWord97Saved
    uint16_t chs;
    uint16_t chsTables;
    uint32_t fcMin;
    uint32_t fcMac;
    uint16_t csw;
    uint16_t wMagicCreated;
    uint16_t wMagicRevised;
    uint16_t wMagicCreatedPrivate;
    uint16_t wMagicRevisedPrivate;
    int16_t w6Words[9];         // pnFbpChpFirst_W6 .. cpnBteLvc_W6
    uint16_t lidFE;
    uint16_t clw;
    int32_t cbMac;
    uint32_t lProductCreated;
    uint32_t lProductRevised;
    uint32_t ccpText;
    int32_t ccpMore[7];         // ccpFtn, ccpHdd, ccpMcr, ccpAtn, ccpEdn, ccpTxbx, ccpHdrTxbx
    int32_t pnFbpChpFirst;
    int32_t pnChpFirst;
    uint32_t cpnBteChp;
    int32_t pnFbpPapFirst;
    int32_t pnPapFirst;
    uint32_t cpnBtePap;
    int32_t pnFbpLvcFirst;
    int32_t pnLvcFirst;
    int32_t cpnBteLvc;
    int32_t fcIslandFirst;
    int32_t fcIslandLim;
    uint16_t cfclcb;
    WordFcLcb pairs[Word_fcLcbCount];
};

struct WordReader {
    EngineContext *ctx;
    OleHandle *ole;             // the compound file over the document's stream
    OleStream *docStream;       // "WordDocument"
    OleStream *tableStream;     // "0Table"/"1Table"; the document stream for Word 6/95
    OleStream *dataStream;      // "Data" or null; the document stream for Word 6/95
    WordFib fib;
    uint32_t subdocStart[9];    // CP where each sub-document begins; [8] the end of all text
    uint32_t subdoc;            // the current sub-document (0 to 7)
};

// A new reader with every field cleared into *out. 0, or 1 (null).
[[nodiscard]] int Word_readerNew(WordReader **out);
// Closes the streams and the compound file, frees the record (null
// allowed). The source stream stays its owner's.
void Word_readerFree(WordReader *reader);
// Opens "WordDocument", reads the FIB and opens the table and data
// streams; fills the sub-document starts. 0; 3844 for an unknown wIdent;
// the compound file's errors (a missing stream, a short read).
[[nodiscard]] int Word_openStreams(WordReader *reader);
void Word_closeStreams(WordReader *reader);
// Read the FIB at offset 0 of the document stream. 0, 1, or the stream's
// read error (its short-read code for a stream shorter than the FIB).
[[nodiscard]] int Word_readFib6(WordReader *reader);
[[nodiscard]] int Word_readFib97(WordReader *reader);

// The handler's operations.
int Word_matchMime(EngineContext *context, Edr_HandlerDesc *desc, const char16_t *mime, int32_t *score);
// Scores 100 with type 6 when the stream holds a Word document, else 0;
// the stream is set back to its start in every case. 1 when memory runs
// out; otherwise the seek's result.
int Word_recognise(EngineContext *context, Edr_HandlerDesc *desc, VfsHandle *stream, int32_t *score,
                   uint32_t *typeId);
// Fills the Word handler's descriptor. 0.
int Word_describe(EngineContext *context, Edr_HandlerDesc *desc);
// Loads the document (the Word reader's load sequence; interim).
int Word_loadDocument(EngineContext *context, Edr_HandlerDesc *desc, void *argument, VfsHandle *stream,
                      Edr_Doc *doc, Edr_Node *target);
