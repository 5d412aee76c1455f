// Host queries: questions that engine work puts to the user.
//
// An engine task hands a HostQuery to the host (Host_onOverlayChange); the
// host shows it, writes its answer into the record and hands it back
// (App_deliverReply), or refuses it at once by setting the status to
// HostQuery_refused before the call returns. Until it is handed back the
// record stays valid; an engine that gives up on it tells the host first
// (Host_cancelQuery).
//
// Only the records that the host reads are declared here so far.
#pragma once

#include <cstdint>

struct HostQueryWaiter;

// Query codes, and what the data record is for each.
enum : int32_t {
    HostQuery_linkQuestion = 0x10000, // follow a link? data: HostQueryLink
    HostQuery_password = 0x10002,     // a password: data: HostQueryText
    HostQuery_confirmLoss = 0x10010,  // confirm losing the document's changes: no data
};

// Status and answer values.
enum : int32_t {
    HostQuery_yes = 0x10000,          // made; answered; yes
    HostQuery_no = 0x10001,           // cancelled; no
    HostQuery_refused = 0x10002,      // the host did not show it
};

struct HostQuery {
    HostQueryWaiter *waiter;    // the asking side's wait record (owned)
    intptr_t kind;              // the asker's word
    int32_t code;               // what is asked (above)
    void *data;                 // the code's data record
    int32_t status;             // 0x10000 when made; the host's answer
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
    intptr_t reserved;          // 0
    const char *urlText;        // the link's URL, UTF-8
    const void *dataPart;       // the URL's data part (null: none)
    uint32_t dataLength;
    int32_t flags;              // 1: open as a new document
    int32_t kind;               // 0x10000 to 0x10003 by the link's flags
    int32_t answer;
};
