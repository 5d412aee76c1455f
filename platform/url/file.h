// File URLs and the file driver.
//
// The engine reaches the local file system only through file URLs. This
// module maps a file URL to a local path by its host and the environment
// ("localhost" and the empty host under "OKALA_DIRECTORY", "resource" under
// "OKALA_DIRECTORY_RO", "home" under "OKALA_FSROOT", "root" as it is; any
// other host is refused), opens a platform file record for a path (a host
// file, a directory listing, a built-in file under "/okala_dir/", or a
// registered memory block named by a "RAM:" path), and puts the buffered
// File stream type on top of it for the stream layer (platform/vfs/vfs.h).
//
// URL paths are normalised (dot segments removed) before they are joined
// to a mapped directory, so no file URL reaches outside its directory.
// Memory files are named by an id into the engine's registry of memory
// blocks, never by an address: a "RAM:" URL cannot reach memory that the
// engine did not register. Sizes and positions are 64-bit throughout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;
struct HostListing;
struct RomFsEntry;
struct Url;
struct VfsHandle;

// Access modes (low 4 bits) and option bits of AlienFile_open and the File
// stream's open.
enum : uint32_t {
    AlienFile_modeRead = 1,         // read
    AlienFile_modeAppend = 2,       // write an existing or new file at its end
    AlienFile_modeReadAppend = 3,   // read and write, create when missing, at the end
    AlienFile_modeWriteNew = 4,     // write a new or truncated file
    AlienFile_modeReadWriteNew = 5, // read and write a new or truncated file
    AlienFile_modeList = 8,         // list a directory
    AlienFile_modeMask = 0xF,
    AlienFile_modeAtEnd = 0x2,        // bit 1: position at the end
    AlienFile_optReadAhead = 0x20,    // the File stream reads ahead
    AlienFile_optMemory = 0x8000,     // memory files allowed (URLs with the memory mark)
    AlienFile_optExclusive = 0x40000, // with mode 4: fail when the file exists
};

// Kinds of platform file record.
enum : uint32_t {
    AlienFile_kindEmpty = 0,  // an empty host listing
    AlienFile_kindHost = 1,   // host file or host listing
    AlienFile_kindRom = 2,    // built-in file or built-in listing
    AlienFile_kindMemory = 3, // registered memory block
};

// A memory block registered for "RAM:" URLs. The registrant owns the bytes
// and keeps them alive until it releases the registration.
struct RamBlock {
    uint32_t id;
    uint8_t *data;
    size_t length;
    size_t capacity;    // bytes that may be written; 0: read only
    size_t *lengthWord; // receives the length after each write, or null
};

// The file layer of an engine context.
struct FileLayer {
    Lock tempLock;       // serialises temporary-file creation
    Lock *secondLock;    // allocated separately
    RamBlock *ramBlocks; // the memory-block registry
    size_t ramCount;
    size_t ramCapacity;
    uint32_t ramNextId; // ids are never 0 and not reused until they wrap
    // Write-fault injection for tests (AlienFile_injectFullDisk,
    // AlienFile_injectReadOnly): bytes host files may still take (-1: no
    // limit), and whether host files refuse every change.
    int64_t writeRoom;
    uint32_t readOnly;
};

// A platform file record (made by AlienFile_open, zeroed on creation).
struct AlienFile {
    int32_t fd; // host descriptor; -1 none; -2 open on demand; built-in: -row
    EngineContext *ctx;
    uint32_t exitId;      // id of the exit handler closing fd (0: none)
    uint32_t listingFlag; // a host listing whose first entry is not returned yet
    uint32_t listingStarted;
    HostListing *listing; // host listing, null when empty
    char *listingPath;    // owned: host pattern path or built-in prefix
    uint64_t position;
    char16_t *entryName; // owned; freed before each next entry
    uint32_t kind;
    uint8_t *memData;           // memory files: the registered block,
    size_t memLength;           // its length as opened,
    size_t memCapacity;         // the capacity that may be written,
    size_t *memLengthWord;      // and where the length goes after a write
    uint32_t romListing;        // built-in listing flag
    int32_t romCursor;          // built-in listing cursor, -1 at first
    const RomFsEntry *romEntry; // the built-in table row
    char *keptPath;             // open on demand: path and host flags
    uint32_t keptFlags;
};

// The File stream's record (a stream handle's private data).
struct FileStream {
    AlienFile *file; // owned
    uint8_t *buffer;
    size_t capacity;
    size_t fill;    // bytes valid in the buffer for reading
    size_t index;   // read index, or write count while writing
    uint64_t size;  // filled by info code 0
    char16_t *mime; // owned MIME type string (no operation here sets it)
    uint32_t readAhead;
    uint32_t dirty;    // the buffer holds written bytes not yet sent
    uint32_t infoWord; // the zero word that info code 4 points at
    size_t lentLength; // length of the area lent for writing
};

// ------------------------------------------------------------ the layer

// Makes the file layer record of context (after the host's start hook): the
// temporary-file lock, the second lock and an empty memory registry. 0, 16
// without a context, 1 out of memory.
[[nodiscard]] int AlienFile_initLayer(EngineContext *context);
// Destroys the locks (after the host's end hook) and frees the registry
// and the record. Null and a missing record are fine.
void AlienFile_finiLayer(EngineContext *context);

// --------------------------------------------------- memory-block registry

// Registers data for "RAM:" URLs and gives its id: capacity 0 makes it read
// only; lengthWord (optional) receives the length after each write. An existing
// registration of the same block (address, length, capacity, length word) gives
// its id again. 0; Res_missingArgument without a file layer or data; 1 out of
// memory.
[[nodiscard]] int AlienFile_ramRegister(EngineContext *context, void *data, size_t length,
                                        size_t capacity, size_t *lengthWord, uint32_t *id);
// Drops every registration of the block at address (before the block is
// freed); later opens of its URLs fail with 780.
void AlienFile_ramRelease(EngineContext *context, const void *address);
// Registers the read-only block (address, length) and makes its URL
// "file://localhost/RAM:<id>/<length>/.<extension>" with the memory-file mark
// (eight hexadecimal digits each). 0, Res_missingArgument for a bad argument, 1
// out of memory; *url is null on failure.
[[nodiscard]] int AlienFile_ramUrl(EngineContext *context, const void *address, size_t length,
                                   const char *extension, Url **url);

// ------------------------------------------------------------ file URLs

// The value of the environment variable; for "OKALA_DIRECTORY_RO" unset,
// the value of "OKALA_DIRECTORY". Null when unset. The text is the
// environment's.
const char *Env_getDirectory(const char *name);

// The local path (new 16-bit string in *path) of a file URL: the URL's decoded
// path with its dot segments removed, behind the directory its host maps to. 0;
// Res_urlIncomplete without a host; Res_fileBadHost for an unsupported host; 1
// out of memory.
[[nodiscard]] int File_urlToPath(EngineContext *context, const Url *url, char16_t **path);

// ------------------------------------------------------ platform records

// Opens path (16-bit) with an access mode and its option bits: a built-in
// file under "/okala_dir/", a listing (mode 8), a registered memory block
// ("/RAM:..."), or a host file. 0 and *record; 780 cannot open; 799 a
// listing path without "/"; 1 out of memory; 48 the task was asked to stop.
[[nodiscard]] int AlienFile_open(EngineContext *context, AlienFile **record, const char16_t *path,
                                 uint32_t mode);
// Closes and frees the record (null is fine): the first error of the steps.
[[nodiscard]] int AlienFile_close(AlienFile *f);
// Reads up to *n bytes; *n becomes the count (0 at the end). 782 failure,
// 48 when the task is asked to stop.
[[nodiscard]] int AlienFile_read(AlienFile *f, void *buffer, size_t *n);
// Writes n bytes (host files are synchronised after). 783 on failure.
[[nodiscard]] int AlienFile_write(AlienFile *f, const void *buffer, size_t n);
// The position into *position.
[[nodiscard]] int AlienFile_tell(AlienFile *f, uint64_t *position);
// Moves to the 64-bit offset (high, low): Res_fileSeek for a negative offset or
// a failed host seek; built-in files clamp to their length.
[[nodiscard]] int AlienFile_seek(AlienFile *f, uint64_t offset);
// The size into *size: Res_fileSize on failure.
[[nodiscard]] int AlienFile_getSize(AlienFile *f, uint64_t *size);
// The next listing entry's name (lent until the next call or close), or null at
// the end. 0, 1 out of memory, Res_romFsBadEntry for a bad built-in entry.
[[nodiscard]] int AlienFile_readDirEntry(EngineContext *context, AlienFile *f,
                                         const char16_t **name);
// A native handle is never given: 769.
[[nodiscard]] int AlienFile_getHandle(AlienFile *f, uintptr_t *value);
// Makes every directory of path up to its last separator ("/" or "\"):
// 0, or 780 at the first that cannot be made.
[[nodiscard]] int AlienFile_makeDirs(EngineContext *context, const char16_t *path);
// 0, or 790, 791, Res_fileCopy on failure.
[[nodiscard]] int AlienFile_remove(EngineContext *context, const char16_t *path);
[[nodiscard]] int AlienFile_rename(EngineContext *context, const char16_t *from,
                                   const char16_t *to);
[[nodiscard]] int AlienFile_copy(EngineContext *context, const char16_t *from, const char16_t *to);

// ------------------------------------------------- the File stream type
// The File row of the stream type table. Buffers are lent: between a get
// and its done call the caller owns the bytes, and the handle carries
// Vfs_modeLent; tell, seek and a second lend then fail with 776.

// Slot 2: makes the directories of the URL's path.
[[nodiscard]] int FileStream_makeDirs(EngineContext *context, const Url *url);
// Slot 3: opens the URL's file for the access mode (a URL with the memory
// mark may name a memory file). 0 with handle->priv set and *accepted the
// mode the stream accepted; the mapping's or the driver's error.
[[nodiscard]] int FileStream_open(EngineContext *context, VfsHandle *handle, const Url *url,
                                  uint32_t mode, uint32_t *accepted);
// Slot 4: flushes, frees and closes; the first error (Res_vfsBufferLent when a
// buffer was still lent, the close goes on).
[[nodiscard]] int FileStream_close(VfsHandle *handle);
// Slot 5: lends at least want bytes from the read position (fewer only at
// the end of the file). 776 while lent; 769 while written bytes are pending.
[[nodiscard]] int FileStream_getReadBuf(VfsHandle *handle, size_t want, const uint8_t **ptr,
                                        size_t *len);
// Slot 6: n bytes were used. 777 when nothing was lent.
[[nodiscard]] int FileStream_readDone(VfsHandle *handle, size_t n);
// Slot 7: 776 while lent, else 769.
[[nodiscard]] int FileStream_getHandle(VfsHandle *handle, uintptr_t *value);
// Slot 8: lends an area of at least want bytes to write into. 776 while
// lent; 769 while the buffer holds unread data.
[[nodiscard]] int FileStream_getWriteBuf(VfsHandle *handle, size_t want, uint8_t **ptr,
                                         size_t *len);
// Slot 9: n bytes were written into the lent area. 777 when nothing was
// lent; Res_vfsRequestTooLarge when n exceeds the lent area.
[[nodiscard]] int FileStream_writeDone(VfsHandle *handle, size_t n);
// Slot 10: the next listing entry (lent), null at the end.
[[nodiscard]] int FileStream_readDirEntry(VfsHandle *handle, const char16_t **name);
// Slot 11: the stream position (written bytes included, unread buffered
// bytes excluded). 776 while lent.
[[nodiscard]] int FileStream_tell(VfsHandle *handle, uint64_t *position);
// Slot 12: moves to the 64-bit position (high, low). 776 while lent.
[[nodiscard]] int FileStream_seek(VfsHandle *handle, uint64_t position);
// Slot 13: info code 0 a pointer to the 64-bit size; 1 the MIME type
// (const char16_t *); 2 the value 0; 6 the MIME type id; 10 nothing. Codes
// 4 and 9 and all others: 771 (code 4 also gives a pointer to a zero word).
[[nodiscard]] int FileStream_getInfo(VfsHandle *handle, uint32_t code, uintptr_t *value);
// Slot 14: always 772.
[[nodiscard]] int FileStream_setInfo(VfsHandle *handle, uint32_t code, uintptr_t value);
// Slots 15, 16, 25: remove, rename and copy the files of URLs.
[[nodiscard]] int FileStream_remove(EngineContext *context, const Url *url);
[[nodiscard]] int FileStream_rename(EngineContext *context, const Url *url, const Url *to);
[[nodiscard]] int FileStream_copy(EngineContext *context, const Url *url, const Url *to);
// Slot 21: code 10 answers 769 when the path contains ".zip" (any case);
// every code otherwise 771.
[[nodiscard]] int FileStream_pathQuery(EngineContext *context, const Url *url, uint32_t code,
                                       uintptr_t arg);

// ------------------------------------------------------- temporary files

// Creates an empty file with a fresh name "<directory>/<prefix><hex>" (a
// null prefix counts as empty) and gives its URL. The file is created
// exclusively: an existing file is never taken over. 0; the conversion's
// or open's error (Res_fileCannotOpen when no free name was found).
[[nodiscard]] int File_createTemp(EngineContext *context, const char16_t *directory,
                                  const char16_t *prefix, Url **url);

// ------------------------------------------------------------ fault injection
// Tests make the file system fail the way a full disk or a read-only
// folder does, for the host files of one engine context.

// A full disk: host files take room more bytes in all; the write that
// reaches past them stores what fits and fails (783), as does every later
// one. A negative room turns the injection off.
void AlienFile_injectFullDisk(EngineContext *context, int64_t room);

// A read-only folder (on: 1): host files cannot be opened for writing or
// created (780), removed (790) or renamed (791), and no folder is made;
// reading goes on. 0 turns it off.
void AlienFile_injectReadOnly(EngineContext *context, uint32_t on);
