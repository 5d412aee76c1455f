// Byte streams, lookahead streams, concatenated streams and byte readers.
//
// Decoders (images, PDF objects, compressed data) read their input through
// a ByteStream: a record of operation slots plus a window of bytes already
// buffered (readPtr up to end). The common read takes the next byte from
// the window, a pointer compare and no call; only an empty window calls the
// stream's getByte, which refills the window. Each stream kind fills in the
// record, usually as the head of a larger record of its own.
//
// A PeekStream wraps any ByteStream and makes a requested number of bytes
// contiguous at the read pointer, for parsers that look ahead (signatures,
// headers). A ConcatStream reads one stream to its end and then another.
// The module also holds the little-endian byte readers of file-format
// parsers and the searches over sorted keyword tables.
#pragma once

#include <cstddef>
#include <cstdint>

// Control operations that byte streams answer (each kind says which).
enum : uint32_t {
    ByteStream_opPosition = 6, // arg: uint64_t *, the current read position
    ByteStream_opKeepInfo = 8, // no argument: the stream sets its info code 3 to 0
    ByteStream_opIsMemory = 9, // arg: uint32_t *, 1 when the data are memory-backed
    ByteStream_opLength = 10,  // arg: uint64_t *, the length (refreshed)
    ByteStream_opUrl = 11,     // arg: Url **, a new copy of the source's URL (null: none)
    ByteStream_opMimeId = 12,  // arg: uint32_t *, the MIME type id (0: none)
};

// What getByte answers besides a byte 0-255.
enum : int {
    ByteStream_end = -1,    // the end of the data, or an error (see status)
    ByteStream_noData = -2, // no data available yet (streams fed from the network)
};

struct ByteStream {
    // The next byte after refilling the window, ByteStream_end or
    // ByteStream_noData. A byte answered has been taken: readPtr points
    // just after it.
    int (*getByte)(ByteStream *stream);
    // Moves the read position to an absolute byte position; null when the
    // stream cannot seek.
    int (*seek)(ByteStream *stream, uint64_t position);
    uint64_t length; // 0 means unknown (ask control operation 10)
    int32_t status;  // the stream's error status, 0 for none
    // Closes the stream and frees its record. 0 or the error of closing.
    int (*close)(ByteStream *stream);
    // A control operation (ByteStream_op*): 0 or an error.
    int (*control)(ByteStream *stream, uint32_t op, void *arg);
    const uint8_t *readPtr; // the next buffered byte
    const uint8_t *end;     // just after the last buffered byte
};

// Returns the status word and clears it.
int ByteStream_takeStatus(ByteStream *stream);
// The seek slot's result; Res_byteStreamNoSeek when the stream has no seek
// slot.
[[nodiscard]] int ByteStream_seek(ByteStream *stream, uint64_t position);
// The control slot's result (Res_notImplemented when the stream has none).
int ByteStream_control(ByteStream *stream, uint32_t op, void *arg);
// The length when known, else the answer of control operation 10 (not
// kept), else 0.
uint64_t ByteStream_getLength(ByteStream *stream);
// The low 32 bits of ByteStream_getLength.
uint32_t ByteStream_getLength32(ByteStream *stream);
// Closes the stream through its close slot (null allowed: 0).
int ByteStream_close(ByteStream *stream);

// The number of bytes buffered now (at least 1; the next byte stays
// unread), 0 at the end or after an error, ByteStream_noData when
// nonBlocking is set and no data has come yet. Without nonBlocking it asks
// again until data or the end comes (a stream that answers "no data yet"
// waits inside its own getByte).
int64_t ByteStream_available(ByteStream *stream, int nonBlocking);

// The slow path of ByteStream_readByte: the window is empty.
[[nodiscard]] int ByteStream_refillByte(ByteStream *stream, uint8_t *byte);
// *byte = the next byte: 0. When no byte comes, *byte is 0 and the result
// is the taken status word, or Res_byteStreamEnded when that is 0.
[[nodiscard]] inline int ByteStream_readByte(ByteStream *stream, uint8_t *byte)
{
    if (stream->readPtr < stream->end) {
        *byte = *stream->readPtr++;
        return 0;
    }
    return ByteStream_refillByte(stream, byte);
}
// Copies exactly n bytes into destination: 0. When the data end first, the
// bytes that came are copied and the result is the taken status word, or
// 0x2205 when that is 0.
[[nodiscard]] int ByteStream_readExact(ByteStream *stream, void *destination, size_t n);
// As ByteStream_readExact without copying.
[[nodiscard]] int ByteStream_skip(ByteStream *stream, size_t n);
// Reads the rest of the stream and comes back: saves the position
// (control operation 6), consumes every byte until the end, then seeks back
// to the saved position. 0, or the first failure: the position query's
// error, a non-zero status word met at the end, or the seek's result.
[[nodiscard]] int ByteStream_drainAndRestore(ByteStream *stream);

// ------------------------------------------------------ lookahead streams

struct PeekStream {
    ByteStream base;   // slots are the lookahead stream's own
    ByteStream *inner; // the wrapped stream
    uint8_t *buffer;   // the lookahead buffer (heap, grown on demand)
    size_t bufferSize;
    uint32_t fromBuffer; // 1: the window lies in buffer; 0: it is inner's window
    uint32_t ownsInner;  // 1: closing the lookahead stream closes inner
};

// A new lookahead stream over inner (its length copied; a seek slot only
// when inner has one), or null when memory runs out: an owned inner is
// closed first. Closing it frees it (and closes inner when owned).
PeekStream *PeekStream_create(ByteStream *inner, int ownsInner);
// Makes at least n bytes contiguous at the read pointer when the data
// have them. The number of bytes now in the window: at least n; fewer only
// at the end of the data; 0 at the end, on an error (status set: 1 when
// the buffer cannot grow) or when the status was set already.
size_t PeekStream_fill(PeekStream *stream, size_t n);

// --------------------------------------------------- concatenated streams

struct ConcatStream {
    ByteStream base;
    ByteStream *parts[2]; // read in turn; they stay the caller's
    uint32_t current;     // the index of the part being read
};

// A stream that delivers first to its end and then second; it cannot
// seek and has no length; control goes to the part being read. Closing it
// frees only its record. Null when memory runs out.
ConcatStream *ConcatStream_create(ByteStream *first, ByteStream *second);

// ---------------------------------------------------------- byte readers
// Little-endian values at *p; the pointer advances by 2 or 4.

uint16_t Bytes_readU16Le(const uint8_t **p);
int16_t Bytes_readS16Le(const uint8_t **p); // sign-extended
uint32_t Bytes_readU32Le(const uint8_t **p);
uint32_t Bytes_readS32Le(const uint8_t **p); // the same operation as Bytes_readU32Le
uint16_t Bytes_peekU16Le(const uint8_t *p);
uint32_t Bytes_peekU32Le(const uint8_t *p);
// Big-endian values at p (font tables, byte-swapped compound files).
uint16_t Bytes_peekU16Be(const uint8_t *p);
uint32_t Bytes_peekU32Be(const uint8_t *p);
int16_t Bytes_peekS16Be(const uint8_t *p); // sign-extended
// Values at p in the byte order a record declares (bigEndian 1: high
// byte first).
uint16_t Bytes_peekU16(const uint8_t *p, uint32_t bigEndian);
uint32_t Bytes_peekU32(const uint8_t *p, uint32_t bigEndian);
// These store v at p, low byte first; Bytes_putU16Le only its low 16 bits.
void Bytes_putU16Le(uint8_t *p, uint32_t v);
void Bytes_putU32Le(uint8_t *p, uint32_t v);

// ---------------------------------------------------------- byte cursors
// A cursor reads the fields of a binary record one after another from a
// span of bytes it does not own. Every read is checked: a read that wants
// more bytes than are left answers 0, moves the cursor to the end and sets
// overrun, so a parser reads a whole record and tests overrun once.

struct ByteCursor {
    const uint8_t *start; // the first byte of the span
    const uint8_t *at;    // the next byte to read
    const uint8_t *end;   // just after the last byte of the span
    uint32_t bigEndian;   // 1: multi-byte fields come high byte first
    uint32_t overrun;     // 1 once a read or a move went past the end
};

// A cursor at the first of size bytes at data; bigEndian as in the record.
ByteCursor ByteCursor_make(const uint8_t *data, size_t size, uint32_t bigEndian);
// The bytes left after the cursor.
size_t ByteCursor_left(const ByteCursor *cursor);
// Moves the cursor to offset bytes from the start of the span (past the
// end: to the end, overrun set).
void ByteCursor_seek(ByteCursor *cursor, size_t offset);
uint8_t ByteCursor_u8(ByteCursor *cursor);
uint16_t ByteCursor_u16(ByteCursor *cursor);
uint32_t ByteCursor_u32(ByteCursor *cursor);
int32_t ByteCursor_i32(ByteCursor *cursor);

// One unsigned field of a binary record: where it lies and its width.
struct ByteField {
    uint16_t offset; // from the start of the record
    uint8_t width;   // 1, 2 or 4 bytes
};

// Reads count fields of the record of size bytes at data into values
// (values[i] from fields[i]), in the byte order bigEndian names. 0, or
// 0x2205 when a field lies past the end of the record: those fields read 0.
[[nodiscard]] int Bytes_readFields(const uint8_t *data, size_t size, uint32_t bigEndian,
                                   const ByteField *fields, size_t count, uint32_t *values);

// ------------------------------------------------------- keyword tables

// One 16-byte record of a sorted keyword table: where its 8-bit name lies
// in the table's names block, the name's length, and two words that belong
// to the table's owner.
struct KeyTabRecord {
    uint32_t nameOffset;
    uint8_t nameLength;
    uint32_t words[2];
};

// Searches the records strictly between lo and hi (lo + 1 to hi - 1) for
// the name equal to the 16-bit key of keyLength units, ignoring case; the
// records sort by name, a name before every longer name it begins. The
// record's index, or -1.
int32_t KeyTab_bsearch(const KeyTabRecord *table, int32_t lo, int32_t hi, const char *names,
                       const char16_t *key, size_t keyLength);
// The name of the first of count records for which predicate(record, arg)
// answers non-zero, as a new 16-bit string (the caller frees it); null
// when none answers or memory runs out.
char16_t *KeyTab_findIf(const KeyTabRecord *table, size_t count, const char *names,
                        int (*predicate)(const KeyTabRecord *record, void *arg), void *arg);
