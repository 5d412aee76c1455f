// The standard security handler: reading the Encrypt dictionary, the key
// derivation and the owner and user password checks of revisions 2 and 3,
// string and stream decryption, and the password question.
//
// A password question lives in a record of its own for each round, shared
// between the asking task and every copy of the message: whoever lets go
// last frees it. When the last message goes without the asker having been
// answered (no host took the question) the asker is woken and reads the
// default answer, "cancelled", so an unanswered question never hangs it.
#include "pdf/security.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/task.h"
#include "core/text/charset.h"
#include "pdf/document.h"
#include "pdf/md5.h"
#include "pdf/rc4.h"
#include "platform/api/engine.h"

namespace {

// The password padding string published with the PDF format.
constexpr uint8_t padding[32] = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A,
};

// MD5 over the password (at most 32 bytes) completed by the padding.
void hashPadded(Md5 *md5, const uint8_t *password, size_t length)
{
    length = std::min<size_t>(length, 32);
    if (length)
        Md5_update(md5, password, length);
    Md5_update(md5, padding, 32 - length);
}

// RC4 over data with every key byte XORed with x.
void rc4Pass(uint8_t *data, size_t length, const uint8_t *key, uint32_t n, uint8_t x)
{
    uint8_t k[16];
    for (uint32_t i = 0; i < n; i++)
        k[i] = key[i] ^ x;
    Rc4 rc4;
    Rc4_init(k, n, &rc4);
    Rc4_crypt(data, length, &rc4);
}

// --------------------------------------------------- reading the dictionary

struct EncryptParams {
    int32_t v, r, p;
    PdfString *o, *u, *id;
    uint32_t keyBits;
};

int getIntOf(PdfDoc *doc, PdfObj *dict, const char *key, int32_t *out)
{
    PdfObj *v = nullptr;
    if (Pdf_Obj_dictGet(doc, key, dict, &v) != Res_ok || !v)
        return Res_pdfEncryption;
    return Pdf_Obj_getInt(doc, v, out) == Res_ok ? int(Res_ok) : int(Res_pdfEncryption);
}

int get32Bytes(PdfDoc *doc, PdfObj *dict, const char *key, PdfString **out)
{
    PdfObj *v = nullptr;
    if (Pdf_Obj_dictGet(doc, key, dict, &v) != Res_ok || Pdf_Obj_getString(doc, v, out) != Res_ok)
        return Res_pdfEncryption;
    return (*out)->length == 32 ? int(Res_ok) : int(Res_pdfEncryption);
}

// Every check of the dictionary; Res_pdfEncryption for anything outside RC4
// revisions 2 and 3 of the standard handler.
int readParams(PdfDoc *doc, PdfObj *encrypt, EncryptParams *p)
{
    PdfObj *filter = nullptr;
    const char *name = nullptr;
    if (Pdf_Obj_dictGet(doc, "Filter", encrypt, &filter) != Res_ok ||
        Pdf_Obj_getName(doc, filter, &name) != Res_ok || strcmp(name, "Standard") != 0)
        return Res_pdfEncryption;
    if (getIntOf(doc, encrypt, "V", &p->v) != Res_ok || (p->v != 1 && p->v != 2))
        return Res_pdfEncryption;
    if (getIntOf(doc, encrypt, "R", &p->r) != Res_ok || (p->r != 2 && p->r != 3))
        return Res_pdfEncryption;
    if (get32Bytes(doc, encrypt, "O", &p->o) != Res_ok ||
        get32Bytes(doc, encrypt, "U", &p->u) != Res_ok)
        return Res_pdfEncryption;
    if (getIntOf(doc, encrypt, "P", &p->p) != Res_ok)
        return Res_pdfEncryption;
    PdfObj *ids = nullptr, *first = nullptr;
    if (Pdf_Obj_dictGet(doc, "ID", doc->trailer, &ids) != Res_ok || !ids ||
        Pdf_Obj_arrayGet(doc, 0, ids, &first) != Res_ok ||
        Pdf_Obj_getString(doc, first, &p->id) != Res_ok)
        return Res_pdfEncryption;
    p->keyBits = 40;
    if (p->v == 2) {
        int32_t bits = 0;
        if (getIntOf(doc, encrypt, "Length", &bits) != Res_ok || bits < 40 || bits > 128 ||
            bits % 8)
            return Res_pdfEncryption;
        p->keyBits = uint32_t(bits);
    }
    return Res_ok;
}

bool tryPassword(PdfDoc *doc, const uint8_t *password, size_t length, const PdfString *id)
{
    PdfSecurity *sec = doc->security;
    uint32_t n = sec->keyBits / 8;
    return Pdf_Sec_checkOwner(doc, password, length, id, sec->key, n, sec->revision) ||
           Pdf_Sec_checkUser(doc, password, length, id, sec->key, n, sec->revision);
}

// ------------------------------------------------------ the question record

void questionFree(PdfPasswordQuestion *q)
{
    Mem_free(q->answer);
    Sem_fini(&q->sem);
    Mem_free(q);
}

// A message lets go of the record.
void questionMsgFree(EventProcMsg *msg, void *)
{
    EventProcKind2Msg *m = static_cast<EventProcKind2Msg *>(msg->payload);
    if (!m)
        return;
    PdfPasswordQuestion *q = static_cast<PdfPasswordQuestion *>(m->detail[1]);
    if (--q->refs == 0) {
        questionFree(q);
    } else if (q->refs == 1) {
        // Only the asker is left: wake it (an answer already given stays;
        // none given leaves the default, cancelled).
        Sem_signal(&q->sem);
    }
}

int questionMsgCopy(const EventProcMsg *src, EventProcMsg *dst)
{
    if (!dst)
        return Res_ok;
    EventProcKind2Msg *m = static_cast<EventProcKind2Msg *>(Mem_malloc(sizeof(EventProcKind2Msg)));
    if (!m)
        return Res_noMemory;
    *m = *static_cast<const EventProcKind2Msg *>(src->payload);
    static_cast<PdfPasswordQuestion *>(m->detail[1])->refs++;
    dst->payload = m;
    return Res_ok;
}

// ------------------------------------------------------- the stream stage

struct SecStream {
    ByteStream base;
    ByteStream *source;
    Rc4 rc4;
    uint8_t buffer[PdfSec_stageBuffer];
};

int secGetByte(ByteStream *stream)
{
    SecStream *s = reinterpret_cast<SecStream *>(stream);
    if (s->base.status)
        return ByteStream_end;
    ByteStream *src = s->source;
    size_t n = 0;
    if (src->readPtr >= src->end) {
        int c = src->getByte(src);
        if (c < 0) {
            s->base.status = src->status;
            s->base.readPtr = s->base.end = s->buffer;
            return ByteStream_end;
        }
        s->buffer[n++] = uint8_t(c);
    }
    size_t take = std::min<size_t>(size_t(src->end - src->readPtr), PdfSec_stageBuffer - n);
    memcpy(s->buffer + n, src->readPtr, take);
    src->readPtr += take;
    n += take;
    Rc4_crypt(s->buffer, n, &s->rc4);
    s->base.readPtr = s->buffer + 1;
    s->base.end = s->buffer + n;
    return s->buffer[0];
}

int secClose(ByteStream *stream)
{
    Mem_free(stream);
    return Res_ok;
}

int secControl(ByteStream *stream, uint32_t op, void *arg)
{
    return ByteStream_control(reinterpret_cast<SecStream *>(stream)->source, op, arg);
}

} // namespace

// -------------------------------------------------------------- algorithms

void Pdf_Sec_computeKey(PdfDoc *doc, const uint8_t *password, size_t length, const PdfString *id,
                        uint8_t *key, uint32_t revision, uint32_t n)
{
    const PdfSecurity *sec = doc->security;
    Md5 md5;
    Md5_init(&md5);
    hashPadded(&md5, password, length);
    Md5_update(&md5, sec->O, 32);
    uint8_t p[4] = {uint8_t(sec->P), uint8_t(sec->P >> 8), uint8_t(sec->P >> 16),
                    uint8_t(sec->P >> 24)};
    Md5_update(&md5, p, 4);
    Md5_update(&md5, PdfString_bytes(id), id->length);
    uint8_t digest[16];
    Md5_final(&md5, digest);
    if (revision >= 3) {
        for (int k = 0; k < 50; k++)
            Md5_digest(digest, digest, n);
    }
    memcpy(key, digest, n);
}

int Pdf_Sec_checkUser(PdfDoc *doc, const uint8_t *password, size_t length, const PdfString *id,
                      uint8_t *key, uint32_t n, uint32_t revision)
{
    const PdfSecurity *sec = doc->security;
    uint8_t candidate[16];
    Pdf_Sec_computeKey(doc, password, length, id, candidate, revision, n);
    bool match;
    if (revision == 2) {
        uint8_t block[32];
        memcpy(block, padding, 32);
        rc4Pass(block, 32, candidate, 5, 0);
        match = memcmp(block, sec->U, 32) == 0;
    } else {
        Md5 md5;
        Md5_init(&md5);
        Md5_update(&md5, padding, 32);
        Md5_update(&md5, PdfString_bytes(id), id->length);
        uint8_t block[16];
        Md5_final(&md5, block);
        for (uint8_t i = 0; i < 20; i++)
            rc4Pass(block, 16, candidate, n, i);
        match = memcmp(block, sec->U, 16) == 0;
    }
    if (match)
        memcpy(key, candidate, n);
    return match ? 1 : 0;
}

int Pdf_Sec_checkOwner(PdfDoc *doc, const uint8_t *password, size_t length, const PdfString *id,
                       uint8_t *key, uint32_t n, uint32_t revision)
{
    Md5 md5;
    Md5_init(&md5);
    hashPadded(&md5, password, length);
    uint8_t digest[16];
    Md5_final(&md5, digest);
    if (revision >= 3) {
        for (int k = 0; k < 50; k++)
            Md5_digest(digest, digest, 16);
    }
    uint32_t keyLength = revision == 2 ? 5 : n;
    uint8_t user[32];
    memcpy(user, doc->security->O, 32);
    if (revision == 2) {
        rc4Pass(user, 32, digest, keyLength, 0);
    } else {
        for (int i = 19; i >= 0; i--)
            rc4Pass(user, 32, digest, keyLength, uint8_t(i));
    }
    return Pdf_Sec_checkUser(doc, user, 32, id, key, n, revision);
}

uint32_t Pdf_Sec_objectKey(const PdfSecurity *security, uint32_t number, uint32_t generation,
                           uint8_t *key)
{
    uint32_t n = security->keyBits / 8;
    uint8_t tail[5] = {uint8_t(number), uint8_t(number >> 8), uint8_t(number >> 16),
                       uint8_t(generation), uint8_t(generation >> 8)};
    Md5 md5;
    Md5_init(&md5);
    Md5_update(&md5, security->key, n);
    Md5_update(&md5, tail, 5);
    uint8_t digest[16];
    Md5_final(&md5, digest);
    uint32_t length = std::min<uint32_t>(n + 5, 16);
    memcpy(key, digest, length);
    return length;
}

void Pdf_Sec_decryptString(PdfDoc *doc, PdfString *string, uint32_t number, uint32_t generation)
{
    if (!doc->security || !string->length)
        return;
    uint8_t key[16];
    uint32_t n = Pdf_Sec_objectKey(doc->security, number, generation, key);
    Rc4 rc4;
    Rc4_init(key, n, &rc4);
    Rc4_crypt(PdfString_bytes(string), string->length, &rc4);
}

int Pdf_Sec_streamNew(ByteStream **out, ByteStream *source, PdfDoc *doc, uint32_t number,
                      uint32_t generation)
{
    *out = nullptr;
    SecStream *s = static_cast<SecStream *>(Mem_calloc(1, sizeof(SecStream)));
    if (!s)
        return Res_noMemory;
    s->source = source;
    uint8_t key[16];
    uint32_t n = Pdf_Sec_objectKey(doc->security, number, generation, key);
    Rc4_init(key, n, &s->rc4);
    s->base.getByte = secGetByte;
    s->base.length = source->length;
    s->base.close = secClose;
    s->base.control = secControl;
    s->base.readPtr = s->base.end = s->buffer;
    *out = &s->base;
    return Res_ok;
}

// ------------------------------------------------------------ the question

int Pdf_Sec_askPassword(PdfDoc *doc, char16_t **answer, int32_t *result)
{
    *answer = nullptr;
    *result = PdfSec_answerCancel;
    EngineContext *ctx = doc->context;
    if (!ctx)
        return Res_ok; // nobody to ask: cancelled
    PdfPasswordQuestion *q =
        static_cast<PdfPasswordQuestion *>(Mem_calloc(1, sizeof(PdfPasswordQuestion)));
    EventProcMsg *msg = static_cast<EventProcMsg *>(Mem_calloc(1, sizeof(EventProcMsg)));
    EventProcKind2Msg *m =
        static_cast<EventProcKind2Msg *>(Mem_calloc(1, sizeof(EventProcKind2Msg)));
    if (!q || !msg || !m) {
        Mem_free(q);
        Mem_free(msg);
        Mem_free(m);
        return Res_noMemory;
    }
    Sem_init(ctx, &q->sem, 0, 1);
    q->result = PdfSec_answerCancel;
    q->refs = 2; // the asker and the message
    m->type = PdfSec_questionType;
    m->subject = &q->answer;
    m->object = &q->sem;
    m->detail[0] = &q->result;
    m->detail[1] = q;
    msg->kind = 2;
    msg->freeFn = questionMsgFree;
    msg->copyFn = questionMsgCopy;
    msg->payload = m;
    // The processor owns the message from here on, also when posting
    // fails (it is freed then, which wakes nobody: the asker holds on).
    int err = EventProc_post(ctx->eventProc, msg);
    if (err == Res_ok)
        err = Sem_waitStoppable(&q->sem);
    if (err == Res_ok) {
        *answer = q->answer;
        q->answer = nullptr;
        *result = q->result;
    }
    if (--q->refs == 0)
        questionFree(q);
    return err;
}

// ---------------------------------------------------------------- the open

int Pdf_Sec_open(PdfDoc *doc, PdfObj *encrypt)
{
    int err = Pdf_Obj_resolve(doc, &encrypt);
    if (err != Res_ok)
        return err;
    if (!encrypt)
        return Res_pdfEncryption;
    EncryptParams p{};
    err = readParams(doc, encrypt, &p);
    if (err != Res_ok)
        return err;
    PdfSecurity *sec = static_cast<PdfSecurity *>(Mem_calloc(1, sizeof(PdfSecurity)));
    if (!sec)
        return Res_noMemory;
    memcpy(sec->O, PdfString_bytes(p.o), 32);
    memcpy(sec->U, PdfString_bytes(p.u), 32);
    sec->P = uint32_t(p.p);
    sec->keyBits = p.keyBits;
    sec->revision = uint32_t(p.r);
    sec->encryptEntry = encrypt->owner;
    doc->security = sec;
    if (tryPassword(doc, nullptr, 0, p.id))
        return Res_ok;
    EngineContext *ctx = doc->context;
    for (;;) {
        err = ctx ? Task_checkStop(ctx) : int(Res_ok);
        if (err != Res_ok)
            return err;
        char16_t *answer = nullptr;
        int32_t result = PdfSec_answerCancel;
        err = Pdf_Sec_askPassword(doc, &answer, &result);
        if (err != Res_ok) {
            Mem_free(answer);
            return err;
        }
        if (result == PdfSec_answerCancel) {
            Mem_free(answer);
            return Res_pdfCancelled;
        }
        if (result != PdfSec_answerOk) {
            Mem_free(answer);
            continue;
        }
        char *password = nullptr;
        err = answer ? Charset_fromUstr(ctx, answer, &password, 0) : int(Res_ok);
        Mem_free(answer);
        if (err == Res_noMemory)
            return err;
        const uint8_t *bytes = reinterpret_cast<const uint8_t *>(password);
        bool ok = tryPassword(doc, bytes, password ? strlen(password) : 0, p.id);
        Mem_free(password);
        if (ok)
            return Res_ok;
    }
}

void Pdf_Sec_free(PdfDoc *doc)
{
    if (!doc)
        return;
    Mem_free(doc->security);
    doc->security = nullptr;
}
