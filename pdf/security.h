// The standard security handler: RC4-encrypted PDF files of revisions 2
// and 3 (40 to 128-bit keys).
//
// Pdf_Sec_open reads the "Encrypt" dictionary, derives the file key from
// a password and checks it against "O" and "U". The empty password is
// tried first; when it fails the host is asked for one, as often as it
// takes, through a password question posted to the engine's event
// processor. Strings are then decrypted as the lexer reads them and stream
// data through the decryption stage of Pdf_Sec_streamNew.
//
// The password question is an event-processor message of kind 2 whose
// payload (EventProcKind2Msg) is {type 9, subject: the answer cell
// (char16_t **: the host stores a new heap string there), object: the
// semaphore (Sem *), detail[0]: the result cell (int32_t *: 1 OK, 0
// cancelled), detail[1]: the question record}. The host
// fills the cells and signals the semaphore. The cells live in a
// reference-counted record: every copy of the message holds a reference,
// so a host that answers after the asking task has given up (a stop
// request) writes into memory that is still there.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/task/lock.h"
#include "pdf/obj.h"

struct ByteStream;
struct PdfDoc;
struct PdfXrefEntry;

enum : int32_t {
    PdfSec_questionType = 9, // the kind-2 message type of the password question
    PdfSec_answerOk = 1,
    PdfSec_answerCancel = 0,
};

enum : uint32_t {
    PdfSec_stageBuffer = 1024, // bytes decrypted per refill of the stream stage
};

struct PdfSecurity {
    uint8_t O[32];
    uint8_t U[32];
    uint32_t P;
    uint32_t keyBits;  // 40 to 128
    uint8_t key[16];   // the first keyBits / 8 bytes are used
    uint32_t revision; // 2 or 3
    // The entry of the Encrypt dictionary itself: its strings ("O", "U")
    // are stored in the clear and are never decrypted.
    PdfXrefEntry *encryptEntry;
};

// The password question's shared record.
struct PdfPasswordQuestion {
    uint32_t refs;    // the asker and every message holding it
    Sem sem;          // count 0, maximum 1
    char16_t *answer; // the answer cell (owned: freed with the record)
    int32_t result;   // the result cell
};

// Reads and checks the Encrypt dictionary (Res_pdfEncryption for anything
// outside the standard handler's RC4 revisions 2 and 3), stores the record in
// the document and finds the key, asking the host when the empty password
// fails: Res_pdfCancelled when the question is cancelled, Res_stopRequested
// when the task is asked to stop while it waits, 1 memory. Must run on an
// engine task when a question may be needed.
[[nodiscard]] int Pdf_Sec_open(PdfDoc *doc, PdfObj *encrypt);
// Frees the document's record (none allowed).
void Pdf_Sec_free(PdfDoc *doc);
// Decrypts the string's bytes in place with the object's key.
void Pdf_Sec_decryptString(PdfDoc *doc, PdfString *string, uint32_t number, uint32_t generation);
// A stream stage that decrypts source (not owned) with the object's key,
// 1024 bytes per refill; closing it frees only the stage. 1 memory.
[[nodiscard]] int Pdf_Sec_streamNew(ByteStream **out, ByteStream *source, PdfDoc *doc,
                                    uint32_t number, uint32_t generation);

// The candidate key of n bytes for a password of length bytes (at most 32
// used) into key.
void Pdf_Sec_computeKey(PdfDoc *doc, const uint8_t *password, size_t length, const PdfString *id,
                        uint8_t *key, uint32_t revision, uint32_t n);
// 1 when the password is the user password: the n key bytes go to key.
int Pdf_Sec_checkUser(PdfDoc *doc, const uint8_t *password, size_t length, const PdfString *id,
                      uint8_t *key, uint32_t n, uint32_t revision);
// 1 when the password is the owner password: the n key bytes go to key.
int Pdf_Sec_checkOwner(PdfDoc *doc, const uint8_t *password, size_t length, const PdfString *id,
                       uint8_t *key, uint32_t n, uint32_t revision);
// The RC4 key of an object: min(n + 5, 16) bytes into key (16 bytes of
// room); returns its length.
uint32_t Pdf_Sec_objectKey(const PdfSecurity *security, uint32_t number, uint32_t generation,
                           uint8_t *key);

// Asks the host for a password once: posts the question and waits. *answer
// receives the host's new string (or null) and *result its result word;
// 48 when the task is asked to stop while waiting, 1 memory, or the
// posting's error.
[[nodiscard]] int Pdf_Sec_askPassword(PdfDoc *doc, char16_t **answer, int32_t *result);
