// Host queries: questions that engine work puts to the user.
//
// An engine task hands a HostQuery to the host (Host_onOverlayChange); the
// host shows it, writes its answer into the record and hands it back
// (App_deliverReply), or refuses it at once by setting the status to
// HostQuery_refused before the call returns. Until it is handed back the
// record stays valid; an engine that gives up on it tells the host first
// (Host_cancelQuery).
//
// A synchronous query (HostQuery_ask) makes the asking task wait for the
// answer; only one is outstanding at a time per application (the viewer's
// query gate). An asynchronous one (HostQuery_post) runs its completion
// callback when the answer comes.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineInstance;
struct FvViewer;
struct HostQuery;

typedef void (*HostQueryDoneFn)(HostQuery *query, void *argument);

// The asking side's record.
struct HostQueryWaiter {
    Sem sem;                    // count 0, maximum 1: signalled by the answer
    int32_t synchronous;        // 1 for HostQuery_ask
    HostQueryDoneFn onComplete; // called with the answered query (null: none)
    void *argument;
    int32_t answered;  // HostQuery_complete has run
    int32_t abandoned; // the asker stopped; the answer frees the query
};

// Query codes, and what the data record is for each.
enum : int32_t {
    HostQuery_linkQuestion = 0x10000, // follow a link? data: HostQueryLink
    HostQuery_password = 0x10002,     // a password: data: HostQueryText
    HostQuery_confirmLoss = 0x10010,  // confirm losing the document's changes: no data
};

// Status and answer values.
enum : int32_t {
    HostQuery_yes = 0x10000,     // made; answered; yes
    HostQuery_no = 0x10001,      // cancelled; no
    HostQuery_refused = 0x10002, // the host did not show it
};

struct HostQuery {
    HostQueryWaiter *waiter; // the asking side's wait record (owned)
    intptr_t kind;           // the asker's word
    int32_t code;            // what is asked (above)
    void *data;              // the code's data record
    int32_t status;          // 0x10000 when made; the host's answer
};

// Password query data: the prompt (UTF-8) and the reply the host writes
// (an 8-bit string of the host's, valid until App_deliverReply returns).
struct HostQueryText {
    const char *prompt;
    char *reply;
};

// Link question data: the host shows the URL text and writes its answer
// (HostQuery_yes or HostQuery_no) into answer.
struct HostQueryLink {
    intptr_t reserved;    // 0
    const char *urlText;  // the link's URL, UTF-8
    const void *dataPart; // the URL's data part (null: none)
    uint32_t dataLength;
    int32_t flags; // 1: open as a new document
    int32_t kind;  // 0x10000 to 0x10003 by the link's flags
    int32_t answer;
};

// The viewer's query gate: a semaphore (count 1, maximum 1) that admits
// one synchronous query at a time. 1 when made; 0 without memory (the gate
// stays null).
int HostQuery_initGate(FvViewer *viewer);
void HostQuery_finiGate(FvViewer *viewer);

// A synchronous query from an engine task: waits for the gate, hands the
// query to the host and waits for its answer. 1 when the host answered
// with status HostQuery_yes; 0 for any other answer, a refusal (no wait),
// no memory, no gate, or a task asked to stop while it waited. A stopped
// ask gives the gate back at once; the query itself is freed only once
// the host has let go of it (it dropped it on cancel, or its answer came).
[[nodiscard]] int HostQuery_ask(FvViewer *viewer, intptr_t kind, int32_t code, void *data,
                                HostQueryDoneFn onComplete, void *argument);

// An asynchronous query: the query, freed by HostQuery_complete after its
// callback; null when the host refused it at once or memory ran out.
HostQuery *HostQuery_post(FvViewer *viewer, intptr_t kind, int32_t code, void *data,
                          HostQueryDoneFn onComplete, void *argument);

// The host's answer (the application's reply slot): runs the callback,
// then wakes the asker of a synchronous query, or frees an asynchronous
// or abandoned one. 1; 0 for a null query.
int HostQuery_complete(EngineInstance *instance, void *query);
