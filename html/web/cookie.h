// The cookie store: "Set-Cookie:" values accepted by a per-server policy,
// session cookies kept in memory, persistent ones in a block file
// ("cdata.dat") described by an index file ("cindex.dat"), count limits,
// the text sent with requests, and the policy file ("cpolicy.dat").
//
// Index record (20 bytes in the index file, five little-endian 32-bit
// words): flags (bits 0-1 secure, bits 2-4 storage kind: 1 session cookie
// in memory only, 0 stored in the data file; bits 5-6 transient marks;
// nothing above bit 6), first block of the cookie text, server key (hash
// of the registrable domain), expiry (0 none), last-use time. Times are
// 64-bit in memory; the file holds them unsigned 32-bit (later times
// saturate).
//
// Data file: "Cook", "Version 1.0" and a 0 byte, then blocks of a 12-byte
// header {bytes used, next (-1 last), previous (-1 first)} and 256 payload
// bytes; a free block has the header {0, -1, -1}. A cookie's text
// ("name=value;Domain=d;Path=p" and a 0 byte) is a chain of blocks.
//
// Every file is replaced whole through a temporary file renamed over it,
// so an interrupted write keeps the old file; only the last-use word of a
// stored record is rewritten in place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct Url;

// A parsed cookie. Strings are 8-bit and owned unless borrowed is set.
struct Cookie {
    char *name;
    char *value;
    char *domain;
    char *path;
    int64_t expires; // engine time; 0 = none (a session cookie)
    uint32_t secure;
    uint32_t borrowed;
};

enum : uint32_t {
    Cookie_flagSecure = 0x3,
    Cookie_kindShift = 2,
    Cookie_kindMask = 0x1C,
    Cookie_kindStored = 0,
    Cookie_kindSession = 1,
    Cookie_flagTransient = 0x60,
    Cookie_recordSize = 20,
    Cookie_maxText = 4097, // name and value together must stay below
    CookieFile_headerSize = 16,
    CookieFile_blockHeader = 12,
    CookieFile_payload = 256,
    CookieFile_maxChain = 16384,
    CookiePolicy_accept = 0,
    CookiePolicy_block = 1,
    CookiePolicy_confirm = 2,
    CookiePolicy_remove = 3,
};

// One index record.
struct CookieRecord {
    uint32_t flags;
    int32_t firstBlock; // kind 0: the first block of the text
    Cookie *session;    // kind 1: the parsed cookie (owned), never written
    uint32_t serverKey;
    int64_t expiry; // 0 = none
    int64_t lastUse;
};

// The block file (one per store; its users serialise through the store
// lock).
struct CookieFile {
    EngineContext *ctx;
    Url *url;
    uint32_t blockSize;
};

struct CookiePolicy {
    char *pattern;   // "default" for the default
    uint32_t policy; // 1 block, 2 confirm
    CookiePolicy *next;
};

struct CookieStore {
    Lock lock;
    uint32_t count;
    uint32_t capacity;
    CookieRecord *records;
    CookieFile *file;
    Url *policyUrl;
    Url *indexUrl;
    Url *dataUrl;
    CookiePolicy *policies;
    uint32_t enabled;
    int32_t openStatus; // 13569 when the index was corrupt and the store reset
};

// ------------------------------------------------------------ parsing

// A "Set-Cookie:" value parsed, or null when refused ("Set-Cookie2:", a
// VERSION other than 1, name and value of 4097 bytes or more) or when
// memory runs out. EXPIRES replaces an earlier MAX-AGE; MAX-AGE counts
// only while there is no expiry. now is the engine time.
Cookie *Cookie_parseSetCookie(const char *text, int64_t now);
// The stored text "name=value[;Domain=d][;Path=p]" as a new string.
char *Cookie_format(const Cookie *cookie);
// The cookie of a stored text (the inverse of Cookie_format).
Cookie *Cookie_parseStored(const char *text, size_t length);
void Cookie_free(Cookie *cookie);

// The registrable domain of host (start and length within host): 0 when
// the host has none (shorter than 4 characters).
int Cookie_registrableDomain(const char *host, size_t hostLength, size_t *start, size_t *length);
// h = h x 31 + byte over the bytes, each a signed value, wrapping.
uint32_t Cookie_serverKey(const char *bytes, size_t length);
// The server key of a host or cookie domain (its registrable domain's hash).
uint32_t Cookie_hostKey(const char *host);
// 1 when the cookie domain (a leading '.' ignored) equals host or ends it
// right after a '.', ignoring case.
int Cookie_domainMatches(const char *domain, const char *host);

// ------------------------------------------------------------ block file

// Opens (url copied) with the block size: a file shorter than 16 bytes
// gets the header; another header is refused (13568). 0 or an error.
[[nodiscard]] int CookieFile_open(EngineContext *context, const Url *url, uint32_t blockSize,
                                  CookieFile **out);
void CookieFile_close(CookieFile *file);
// The first block of a new chain holding the bytes, or -1.
int32_t CookieFile_writeChain(CookieFile *file, const void *bytes, size_t length);
// The chain's bytes in a new block (*text, *length). 0, or -1 for a chain
// that cannot be read: a block out of the file, naming itself as next,
// claiming more than its payload, a chain over 16384 bytes or longer than
// the file's block count (a cycle).
int CookieFile_readChain(CookieFile *file, int32_t first, char **text, size_t *length);
// Marks the chain's blocks free.
void CookieFile_freeChain(CookieFile *file, int32_t first);

// ------------------------------------------------------------ the store

// Opens context's store from the settings (see the file comment). 0 (the
// store may be disabled) or an error.
[[nodiscard]] int CookieStore_open(EngineContext *context);
// Writes the index and frees everything. Nothing when not open.
void CookieStore_close(EngineContext *context);
// Takes a "Set-Cookie:" value of a document. 16 for a missing store, URL or
// value; Res_cookieNoHost without a host; Res_cookieDomainMismatch for a Domain
// attribute that does not fit; a refused or blocked cookie is dropped with 0.
[[nodiscard]] int Cookie_storeHeader(EngineContext *context, const Url *url, const char *value,
                                     int confirm);
// The record a new cookie replaces (its index, or -1 to append) after
// expired records are dropped; *same is 1 when the matching record holds
// the same text.
int32_t Cookie_enforceLimits(EngineContext *context, CookieStore *store, uint32_t serverKey,
                             const Cookie *cookie, const char *text, int *same, int64_t *lastUse);
// The policy for a host (0 accept, 1 block, 2 confirm).
uint32_t CookieStore_getPolicy(EngineContext *context, const char *host);
// Sets (1, 2), or removes (3), the policy of host (null: "default") and
// rewrites the policy file. 13570 for a host without a registrable domain.
[[nodiscard]] int CookieStore_setPolicy(EngineContext *context, const char *host, uint32_t policy);
// Removes the cookies whose domain begins with the given text over the
// domain's length, ignoring case (all with null), and rewrites the index.
[[nodiscard]] int CookieStore_deleteDomain(EngineContext *context, const char *domain);
// The "name=value; name2=value2" text for a request to url (null when
// nothing is sent); *out is a new string. 0 or an error.
[[nodiscard]] int Cookie_buildRequestHeader(EngineContext *context, const Url *url, int secure,
                                            int confirm, char **out);
