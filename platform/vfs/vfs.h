// Virtual streams: one stream interface over every kind of data.
//
// All engine reading and writing goes through a stream handle opened on a
// URL (or on a memory block). Its operations dispatch through a table of
// six stream types: About, File (the file driver, platform/url/file.h),
// Zvfs (zip members), Mem (platform/vfs/memfile.h), Mime (MIME parts) and
// Cache (the HTTP cache). File and Mem are the file layer's own; the other
// four are registered at start-up by the modules that own them (the
// engine's start-up, app/streamtypes.h, registers them in turn).
//
// Readers borrow buffers from the stream instead of passing their own (the
// lent-buffer protocol): a get call lends bytes, a done call says how many
// were used. Between the two the caller owns the bytes and the handle
// carries Vfs_modeLent; tell, seek and a second lend then fail with 776,
// and close still closes but reports 776. A request may ask for at most
// 4096 bytes; the stream may lend more or (at the end) fewer.
//
// This module also holds the extension and MIME table, the choice of a
// stream type for a URL, and the set-up of the file layer at engine start.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Url;
struct UrlHandler;
struct VfsHandle;

// Bits of a handle's mode word (and of the access modes given to open).
enum : uint32_t {
    Vfs_modeRead = 0x1,   // readable
    Vfs_modeAppend = 0x2, // writable at the end
    Vfs_modeWrite = 0x4,  // writable from the start
    Vfs_modeList = 0x8,   // a directory listing
    Vfs_modeSeekable = 0x10,
    Vfs_modeReadAhead = 0x20,
    Vfs_modeCacheHook = 0x200,    // Vfs_openCached: becomes Vfs_modeSeekable, tells the host hook
    Vfs_modeLent = 0x10000,       // a buffer is lent right now
    Vfs_modeMemory = 0x40000000,  // a memory stream (the Mem type's mark)
    Vfs_modeAccessMask = 0xF,     // the access mode: 1, 2, 3, 4, 5 or 8
    Vfs_modeRefused = 0xF9EF8100, // bits that Vfs_open never accepts
};

// The largest buffer a single request may ask for.
enum : size_t { Vfs_maxRequest = 4096 };

// Rows of the stream type table.
enum : uint32_t {
    VfsType_about = 0,
    VfsType_file = 1,
    VfsType_zvfs = 2,
    VfsType_mem = 3,
    VfsType_mime = 4,
    VfsType_cache = 5,
    VfsType_none = 6,
    VfsType_count = 6,
};

// Information codes of Vfs_getInfo and Vfs_setInfo. A type answers 771 for
// a code it does not know and 772 for a code it cannot set.
enum : uint32_t {
    VfsInfo_size = 0,    // value: pointer to the 64-bit size (uint64_t *)
    VfsInfo_mime = 1,    // value: the MIME type (const char16_t *)
    VfsInfo_string2 = 2, // value: a second string property (const char16_t *)
    VfsInfo_modTime =
        4, // value: the modification time (seconds since 1970, one word), -1 when absent
    VfsInfo_mimeId = 6,  // value: the MIME type id of the extension table
    VfsInfo_code7 = 7,   // value: the source's load state (0, 1 or 2)
    VfsInfo_code8 = 8,   // value: pointer to a VfsInfo8 (lent) when code 7 is non-zero
    VfsInfo_size11 = 11, // value: a size that types may answer differently (falls back to 0)
    VfsInfo_flag16 = 16, // a flag that Vfs_getUrl clears
};

// One open stream (a heap record, made by Vfs_newHandle).
struct VfsHandle {
    void *priv;           // the type's own record (File: FileStream; Mem: MemFileHandle)
    Url *url;             // owned copy, or null for a memory stream
    const char16_t *mime; // constant text: "application/octet-stream" at creation
    uint32_t type;        // row of the stream type table, VfsType_none for none
    uint32_t mode;        // the access mode the type accepted, plus Vfs_modeLent
    uint32_t mimeId;      // 0 until derived; an id of the extension table
    EngineContext *ctx;
    uint32_t hookCookie; // non-zero while the host stream hooks watch the stream
};

// Called by Vfs_subscribe for each event bit.
typedef int (*VfsEventFn)(VfsHandle *handle, void *arg, uint32_t bit);

// One row of the stream type table: the type's name, its flags and its
// operation slots, numbered as the table's words (slot 2 is the first).
// A null slot means the operation is not available (769).
struct VfsTypeOps {
    const char *name;                                       // word 0
    uint32_t flags;                                         // word 1
    int (*makeDir)(EngineContext *context, const Url *url); // 2
    int (*open)(EngineContext *context, VfsHandle *handle, const Url *url, uint32_t mode,
                uint32_t *accepted);                                                     // 3
    int (*close)(VfsHandle *handle);                                                     // 4
    int (*getReadBuf)(VfsHandle *handle, size_t want, const uint8_t **ptr, size_t *len); // 5
    int (*readDone)(VfsHandle *handle, size_t n);                                        // 6
    int (*getHandle)(VfsHandle *handle, uintptr_t *value);                               // 7
    int (*getWriteBuf)(VfsHandle *handle, size_t want, uint8_t **ptr, size_t *len);      // 8
    int (*writeDone)(VfsHandle *handle, size_t n);                                       // 9
    int (*readDir)(VfsHandle *handle, const char16_t **name);                            // 10
    int (*tell)(VfsHandle *handle, uint64_t *position);                                  // 11
    int (*seek)(VfsHandle *handle, uint64_t position);                                   // 12
    int (*getInfo)(VfsHandle *handle, uint32_t code, uintptr_t *value);                  // 13
    int (*setInfo)(VfsHandle *handle, uint32_t code, uintptr_t value);                   // 14
    int (*remove)(EngineContext *context, const Url *url);                               // 15
    int (*rename)(EngineContext *context, const Url *url, const Url *to);                // 16
    int (*clone)(VfsHandle *handle, VfsHandle *newHandle);                               // 17
    int (*getHeader)(VfsHandle *handle, uintptr_t name, uintptr_t value); // 18: char **value
    int (*fetch)(VfsHandle *handle, uintptr_t a, uintptr_t b);  // 19: fetches a bytes (0 all)
    int (*openWithArgs)(const Url *url, const uintptr_t *args); // 20 (eight words)
    int (*pathQuery)(EngineContext *context, const Url *url, uint32_t code, uintptr_t arg); // 21
    int (*handlerQuery)(UrlHandler *handler, uintptr_t *result);                            // 22
    int (*closeUrlSource)(const Url *url, uintptr_t arg); // 23: closes what serves the URL
    int (*seekWords)(VfsHandle *handle, uintptr_t low, uintptr_t high);       // 24: 64-bit seek
    int (*copy)(EngineContext *context, const Url *url, const Url *to);       // 25
    int (*setProgress)(VfsHandle *handle, uintptr_t callback, uintptr_t arg); // 26: load charging
    int (*subscribe)(VfsHandle *handle, VfsEventFn callback, void *arg, uint32_t mask); // 27
    int (*getLength32)(VfsHandle *handle, uint32_t *length);                            // 28
    uint32_t (*events)(VfsHandle *handle);                                              // 29
};

// The File row (the file driver's FileStream_* operations).
extern const VfsTypeOps VfsFileOps;

// A registered stream type: its row and what the stream layer asks of the
// type beyond its row. A null routine is not available.
struct VfsTypeEntry {
    const VfsTypeOps *ops;
    int (*start)(EngineContext *context); // run when the type is registered; its error refuses it
    void (*stop)(EngineContext *context); // run when the file layer stops (Vfs_finiLayer)
    // Non-zero when the type claims URLs with this handler object (the
    // MIME parts claim the URLs they made: Vfs_typeForUrl).
    int (*claimsHandler)(const UrlHandler *handler);
    // The open of Vfs_openCached, with the caller's extra word (Cache).
    int (*openCached)(EngineContext *context, VfsHandle *handle, const Url *url, uint32_t mode,
                      uint32_t *accepted, uintptr_t extra);
};

// Registers the stream type of index type (About, Zvfs, Mime or Cache; File and
// Mem are built in): the entry is copied and its start routine run; a type
// registered already is replaced (its stop routine runs first). The registry is
// made with the first registration. 0; 1 out of memory; Res_missingArgument
// without a context or an entry, or for a built-in or unknown index; the start
// routine's error (the type is then not registered).
[[nodiscard]] int Vfs_registerType(EngineContext *context, uint32_t type,
                                   const VfsTypeEntry *entry);

// Runs the registered types' stop routines, the last registered first, and
// frees the registry; nothing when none is registered. The engine's
// teardown calls it before Vfs_finiLayer.
void Vfs_unregisterTypes(EngineContext *context);

// The row of a type index: File and Mem always, the others when
// registered in context; null for VfsType_none and above.
const VfsTypeOps *Vfs_typeOps(EngineContext *context, uint32_t type);

// ------------------------------------------------------------- handles

// *handle = a new handle with a copy of url (null allowed), type
// VfsType_none and the default MIME type. 0, or 1 when out of memory
// (*handle null).
[[nodiscard]] int Vfs_newHandle(const Url *url, VfsHandle **handle);
// Frees the URL copy and the handle (null allowed). The type's record must
// be gone already (Vfs_close does both).
void Vfs_freeHandle(VfsHandle *handle);

// Opens url with an access mode (low 4 bits 1, 2, 3, 4, 5 or 8, plus
// option bits outside Vfs_modeRefused). A URL with a handler object opens
// as the handler's type; otherwise the zip probe goes first, then the type
// chosen by Vfs_typeForUrl. 0 with *handle (the caller closes it) and
// *accepted the mode the type accepted; otherwise the error, *handle null:
// 769 bad mode or no open slot, 10 incomplete URL, 768 no type, the type's
// error, 1 out of memory.
[[nodiscard]] int Vfs_open(EngineContext *context, const Url *url, uint32_t mode,
                           VfsHandle **handle, uint32_t *accepted);
// Opens length bytes at data as a read-only Mem stream without URL. With
// own set the stream takes the bytes (an engine heap block): they are freed
// with the last clone, or at once when the open fails. 0 with *handle; 769
// for mode bits the Mem type refuses; 1 out of memory.
[[nodiscard]] int Vfs_openMemory(EngineContext *context, const uint8_t *data, size_t length,
                                 int own, uint32_t mode, VfsHandle **handle, uint32_t *accepted);
// Opens url through the HTTP cache (a URL with a handler object goes to
// Vfs_open). Mode bit 0x200 becomes 0x10 and tells the host hooks; when
// the URL's type row has flags the host hooks' open callback may attach a
// cookie or refuse. When a is non-zero, slot 26 of the stream gets (a, b)
// and its failure closes the stream again. extra goes to the cache opener.
// 0 with *handle, or the error with *handle null.
[[nodiscard]] int Vfs_openCached(EngineContext *context, const Url *url, uint32_t mode,
                                 VfsHandle **handle, uint32_t *accepted, uintptr_t a, uintptr_t b,
                                 uintptr_t extra);
// Closes the stream (slot 4), tells the host hooks when they watch it, and
// frees the handle. Null gives 0. The slot's result (Res_vfsBufferLent when a
// buffer was still lent; the stream is closed all the same). Like every
// release, the stream is gone whatever it answers, so callers may leave the
// result.
int Vfs_close(VfsHandle *handle);

// --------------------------------------------- reading and writing

// Lends a read buffer of up to want (at most 4096) bytes: *ptr and *len
// (fewer at the end of the data, possibly more). 769 no slot, 778 not
// readable, 773 want above 4096, 776 already lent, the type's error.
[[nodiscard]] int Vfs_getReadBufOnce(VfsHandle *handle, size_t want, const uint8_t **ptr,
                                     size_t *len);
// As Vfs_getReadBufOnce; when the type first wants its data drained
// (28162), drains it (Vfs_refillDrain) and asks once more.
[[nodiscard]] int Vfs_getReadBuf(VfsHandle *handle, size_t want, const uint8_t **ptr, size_t *len);
// Gives the lent read buffer back with n bytes used. 769, 778,
// Res_vfsNothingLent when nothing is lent.
[[nodiscard]] int Vfs_readDone(VfsHandle *handle, size_t n);
// Reads the stream to its end and comes back to where it was: consumes the
// n bytes lent now (when lent), reads the rest in 4096-byte requests, then
// seeks back to the position before those n bytes. 0 or the first error.
[[nodiscard]] int Vfs_refillDrain(VfsHandle *handle, size_t n);
// Lends an area of at least want (at most 4096) bytes to write into. 769
// no slot, 778 not writable, 773 want above 4096, the type's error.
[[nodiscard]] int Vfs_getWriteBuf(VfsHandle *handle, size_t want, uint8_t **ptr, size_t *len);
// n bytes were written into the lent area. 769, 778, 773 n above 4096, 777.
[[nodiscard]] int Vfs_writeDone(VfsHandle *handle, size_t n);
// The next entry of a listing (lent until the next call), null at the end.
// 769 no slot, 778 not a listing.
[[nodiscard]] int Vfs_readDir(VfsHandle *handle, const char16_t **name);
// The position. 769 no slot, 776 while lent.
[[nodiscard]] int Vfs_tell(VfsHandle *handle, uint64_t *position);
// Moves to the 64-bit position. 769 no slot, 776 while lent, 788 a
// position the type refuses.
[[nodiscard]] int Vfs_seek(VfsHandle *handle, uint64_t position);

// -------------------------------------------------------- properties

// Reads an information code into *value (see VfsInfo_*); a lent pointer
// stays the stream's. Code 11 answered with 769 or 771 asks code 0
// instead. 769 no slot, 771 unknown code, the type's error.
[[nodiscard]] int Vfs_getInfo(VfsHandle *handle, uint32_t code, uintptr_t *value);

// What information code 8 answers: four strings and two words, lent.
struct VfsInfo8 {
    const char16_t *strings[4];
    uint32_t words[2];
};
// Sets an information code (ownership of a string value passes to the
// stream on success). 769 no slot, 772 not settable.
int Vfs_setInfo(VfsHandle *handle, uint32_t code, uintptr_t value);
// Clears info code 16, then gives the handle's URL (lent; null for a
// memory stream). 0, or 16 without a handle.
int Vfs_getUrl(VfsHandle *handle, Url **url);
// The value of the response header name (ASCII, with its ':', as
// "Refresh:") of the stream: *value = a new UTF-8 string (the caller frees
// it with Mem_free). 769 when the stream has no headers or not that one.
// Cache streams keep headers (their slot 18); other types have none.
int Vfs_getHeader(VfsHandle *handle, const char *name, char **value);
// The mode word (Vfs_modeLent included). 0, or 16 without a handle.
int Vfs_getFlags(VfsHandle *handle, uint32_t *mode);
// Tells the host hooks of value when they watch the stream; 0 otherwise.
int Vfs_notifyMonitor(VfsHandle *handle, uintptr_t value);
// *newHandle = a second stream on the same data, reading from the start:
// same URL (copied), MIME type, type, mode (not lent) and context. 769 no
// slot, 778 not readable, 1 out of memory, the slot's error.
[[nodiscard]] int Vfs_clone(VfsHandle *handle, VfsHandle **newHandle);
// Subscribes callback to the stream's events (slot 27). A type without the
// slot has every event at once: callback(handle, arg, bit) runs for each
// set bit of mask & 15, lowest first; 0.
[[nodiscard]] int Vfs_subscribe(VfsHandle *handle, VfsEventFn callback, void *arg, uint32_t mask);
// The length as 32 bits: slot 28, else the low word of info code 0.
[[nodiscard]] int Vfs_getLength32(VfsHandle *handle, uint32_t *length);

// ----------------------------------------------------- URL operations
// The type is the URL's handler object's when it has one, else the one
// Vfs_typeForUrl chooses. Each answers 769 when the type lacks the slot,
// or the type choice's error.

// *type = the stream type for url: 10 no scheme (or missing parts), 768
// no type for the scheme (http and https have none of their own). about
// gives 0, cid 4, file 1; a URL whose handler object the MIME module
// claims gives 4.
[[nodiscard]] int Vfs_typeForUrl(EngineContext *context, const Url *url, uint32_t *type);
[[nodiscard]] int Vfs_makeDir(EngineContext *context, const Url *url); // slot 2
[[nodiscard]] int Vfs_urlOp15(EngineContext *context, const Url *url); // slot 15: remove
[[nodiscard]] int Vfs_rename(EngineContext *context, const Url *url, const Url *to);     // slot 16
[[nodiscard]] int Vfs_copy(EngineContext *context, const Url *url, const Url *to);       // slot 25
int Vfs_pathQuery(EngineContext *context, const Url *url, uint32_t code, uintptr_t arg); // slot 21
// Slot 22 on the URL's handler object: *result (0 and nothing asked when
// the URL has no handler object).
int Vfs_handlerQuery(EngineContext *context, const Url *url, uintptr_t *result);
// Slot 23 when the URL has a handler object; 0 otherwise.
int Vfs_urlSlot23(EngineContext *context, const Url *url, uintptr_t arg);
// The flags word of the URL's type row; 0 when no type is chosen.
uint32_t Vfs_getTypeFlags(EngineContext *context, const Url *url);
uint32_t Vfs_typeFlagsForUrl(EngineContext *context, const Url *url);
// Non-zero when the URL's type row has flags and its scheme is https.
int Vfs_isSecureTyped(EngineContext *context, const Url *url);

// ------------------------------------------- extension and MIME table
// Rows {extension, MIME type, id, flags}; the first match wins. Ids: 11
// HTML, 22 PDF, 25 plain text ... 36 "application/octet-stream" (the end
// row). Flags: 0x800 a document type, 0x400 a media type. MIME strings are
// constant text.

enum : uint32_t {
    Mime_idDefault = 36, // "application/octet-stream"
    Mime_flagDocument = 0x800,
    Mime_flagMedia = 0x400,
};

// The MIME type and id for the extension (the text after the last ".",
// compared ignoring case) of a file name; "application/octet-stream" and
// 36 for no "." or no match. mime may be null.
uint32_t Mime_typeFromFileName(const char16_t *name, const char16_t **mime);
// The id of the first row whose MIME type has exactly length units and
// matches text ignoring case; 36 when none.
uint32_t Mime_typeFromString(const char16_t *text, size_t length);
// *mime = the MIME string of the first row with id. 0, or 13 with *mime
// null when no row has it.
int Mime_stringForType(uint32_t id, const char16_t **mime);
// The flags of the first row matching the name's extension; 0x800 when
// there is no "." or no match.
uint32_t Mime_flagsForFileName(const char16_t *name);
// The MIME type and id of the handle's URL path, derived once and kept in the
// handle (mime, mimeId). 0; Res_missingArgument without a handle; 1 when the
// path cannot be read (out of memory).
[[nodiscard]] int Vfs_fileMimeInfo(VfsHandle *handle, const char16_t **mime, uint32_t *id);

// ------------------------------------------------------------ set-up

// Starts the file layer (its record and locks), the built-in file table
// and the stateless module, in that order; the first failure stops the
// ones started, in reverse order, and is returned (1 out of memory, 16
// without a context). The stream types beyond File and Mem are registered
// after it (Vfs_registerType).
[[nodiscard]] int Vfs_initLayer(EngineContext *context);
// Stops them in reverse order when the file layer exists.
void Vfs_finiLayer(EngineContext *context);
