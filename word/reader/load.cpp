// The Word reader's load sequence: the document properties (DOP), the
// tables in their order, the tree, the root attachment of the font and
// list tables and the document's protection.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/ole2/oleprobe.h"
#include "word/reader/wordfonts.h"
#include "document/edr/loadprogress.h"
#include "document/edr/attach.h"
#include "office/ole2/ole.h"
#include "platform/api/request.h"
#include "platform/vfs/vfs.h"
#include "word/reader/build.h"
#include "word/reader/paralist.h"
#include "word/writer/writer.h"

namespace {

enum : uint32_t {
    dopBaseBytes = 84,
    dop95Bytes = 4,
    dop97Bytes = 412,
    typeCodeWord = 226,
    fibHasPic = 1u << 3,
};

// Reads n bytes of the DOP at offset into out; a DOP shorter than asked
// leaves the rest zero.
int readDopPart(WordReader *r, uint32_t offset, uint32_t n, uint8_t *out)
{
    memset(out, 0, n);
    const WordFcLcb &pair = r->fib.pairs[WordPair_dop];
    if (pair.lcb <= offset || !r->tableStream || pair.fc < 0)
        return Res_ok;
    uint32_t take = pair.lcb - offset < n ? pair.lcb - offset : n;
    size_t got = 0;
    int err = Ole_streamReadAt(r->tableStream, uint64_t(pair.fc) + offset, take, &got, out);
    if (err == Res_oleStreamEnd)
        return Res_ok;
    return err;
}

} // namespace

int Word_readDopBase(WordReader *r)
{
    WordDop &d = r->load->dop;
    int err = readDopPart(r, 0, dopBaseBytes, d.base);
    if (err)
        return err;
    d.flags0 = Bytes_peekU16Le(d.base);
    d.flags6 = Bytes_peekU16Le(d.base + 6);
    d.dxaTab = Bytes_peekU16Le(d.base + 0x0A);
    d.lKeyProtDoc = Bytes_peekU32Le(d.base + 0x4E);
    return Res_ok;
}

int Word_readDop95(WordReader *r)
{
    uint8_t b[dop95Bytes];
    int err = readDopPart(r, dopBaseBytes, dop95Bytes, b);
    if (!err)
        r->load->dop.flags95 = Bytes_peekU32Le(b);
    return err;
}

int Word_readDop97(WordReader *r)
{
    int err = readDopPart(r, dopBaseBytes + dop95Bytes, dop97Bytes, r->load->dop.part97);
    if (!err)
        r->load->dop.has97 = 1;
    return err;
}

int Word_readDop(WordReader *r)
{
    int err = Word_readDopBase(r);
    if (!err && r->fib.nFib > 102)
        err = Word_readDop95(r);
    if (!err && r->fib.nFib >= 106 && r->fib.nFib != 193)
        err = Word_readDop97(r);
    return err;
}

void Word_rootDataFree(void *data)
{
    WordRootData *d = static_cast<WordRootData *>(data);
    if (!d)
        return;
    Word_fontsFree(d->fonts, d->fontCount);
    WordParaList **lists = static_cast<WordParaList **>(d->lists);
    for (uint32_t i = 0; lists && i < d->listCount; i++)
        Word_paraListFree(lists[i]);
    Mem_free(d->lists);
    Mem_free(d);
}

namespace {

void freeLoad(WordReader *r)
{
    WordLoad *l = r->load;
    if (!l)
        return;
    Word_fieldsFree(r);
    Word_drawingsFree(r);
    Word_propTableFree(r);
    Word_nodeBuilderFree(l->builder);
    Request_release(l->request);
    Mem_free(l);
    r->load = nullptr;
}

int loadSteps(WordReader *r, Edr_Doc *doc, Edr_Node *root, VfsHandle *stream)
{
    int err = Word_openStreams(r);
    if (err)
        return err;
    if (r->fib.flags & Word_flagEncrypted)
        return Res_wordEncrypted;
    if ((err = Word_readDop(r)) != Res_ok || (err = Word_readHeaderTable(r)) != Res_ok ||
        (err = Word_readSections(r)) != Res_ok || (err = Word_readPieceTable(r)) != Res_ok ||
        (err = Word_readFontTable(r)) != Res_ok || (err = Word_readBookmarks(r)) != Res_ok ||
        (err = Word_readBinTables(r)) != Res_ok)
        return err;
    // A document whose list tables cannot be read loads without lists.
    (void)Word_readLists(r);
    if ((err = Word_readFieldTables(r)) != Res_ok || (err = Word_readStyleSheet(r)) != Res_ok ||
        (err = Word_readTextBoxTables(r)) != Res_ok)
        return err;
    // Feature flags 1 (the text may flow to the screen's width) and 2.
    if ((err = Edr_Doc_setFlags(doc, 1 | 2)) != Res_ok ||
        (err = Edr_Doc_setTypeCode(doc, typeCodeWord)) != Res_ok)
        return err;
    WordNodeBuilder *builder = nullptr;
    if ((err = Word_nodeBuilderNew(doc, root, r, &builder)) != Res_ok)
        return err;
    if ((err = Edr_Doc_setupFromStream(doc, stream)) != Res_ok ||
        (err = Word_loadDrawings(r)) != Res_ok)
        return err;
    return Word_buildSections(r);
}

} // namespace

int Word_loadDocument(EngineContext *context, Edr_HandlerDesc *, void *, VfsHandle *stream,
                      Edr_Doc *doc, Edr_Node *root)
{
    LoadProgress *stats = Edr_Doc_getLoadStats(doc);
    if (stats) {
        (void)LoadProgress_addDone(stats, 2, 1);
        (void)LoadProgress_addTotal(stats, 1, 1);
    }
    WordReader *r = nullptr;
    int err = Word_readerNew(&r);
    if (err) {
        (void)Vfs_close(stream);
        return err;
    }
    r->ctx = context;
    r->load = static_cast<WordLoad *>(Mem_calloc(1, sizeof(WordLoad)));
    if (!r->load)
        err = Res_noMemory;
    if (!err) {
        r->load->doc = doc;
        r->load->root = root;
        r->load->showText = 1;
        r->load->nextStyleId = Word_firstStyleId;
        Word_defaultChp(&r->load->paraMarkChp);
        err = Ole_openStream(stream, &r->ole);
        if (err != Res_ok && err != Res_noMemory && Word_isEarlyWordFile(stream))
            err = Res_wordNotWord;
    }
    if (!err)
        err = loadSteps(r, doc, root, stream);
    if (stats)
        (void)LoadProgress_addDone(stats, 1, 1);
    if (!err) {
        // The font and list tables go to the root node for the writer.
        WordRootData *data = static_cast<WordRootData *>(Mem_calloc(1, sizeof(WordRootData)));
        if (!data) {
            err = Res_noMemory;
        } else {
            data->fonts = r->fonts;
            data->fontCount = r->fontCount;
            // The source's lists, for the writer to complete the levels
            // the paragraphs leave out.
            if (r->listCount) {
                WordParaList **lists =
                    static_cast<WordParaList **>(Mem_calloc(r->listCount, sizeof(WordParaList *)));
                if (!lists)
                    err = Res_noMemory;
                data->lists = lists;
                for (uint32_t i = 0; lists && i < r->listCount && !err; i++) {
                    err = Word_paraListCreateAll(&r->lists[i], &lists[i]);
                    if (!err)
                        data->listCount = i + 1;
                }
            }
            if (!err)
                err = Edr_Node_setPrivate(doc, root, data, Word_rootDataFree);
            if (err) {
                data->fonts = nullptr;
                data->fontCount = 0;
                Word_rootDataFree(data);
            } else {
                r->fonts = nullptr;
                r->fontCount = 0;
            }
        }
    }
    if (!err) {
        const WordDop &d = r->load->dop;
        bool locked = (d.flags6 & ((1u << 9) | (1u << 4) | (1u << 14))) != 0;
        if (d.lKeyProtDoc && locked) {
            err = Edr_Doc_setMode(doc, Edr_Doc_getMode(doc) | 1);
        } else {
            Edr_Doc_setCallbackA(doc, Word_saveDocument);
            Edr_Doc_setAncestorTest(doc, Word_nodeChainEditable);
            Edr_Doc_setNodeTest(doc, Word_textGroupEditable);
            if (r->fib.flags & fibHasPic)
                err = Edr_Doc_setMode(doc, Edr_Doc_getMode(doc) | 2);
        }
    }
    freeLoad(r);
    Word_readerFree(r);
    (void)Vfs_close(stream);
    return err;
}
