// Host memory and key-code glue.
//
// The engine heap takes its memory from the host in large blocks: the first
// block holds the engine instance record, the heap context and the first
// heap chunk; later chunks come one block each. Blocks go back to the system
// allocator. Also the table that turns host key codes into the key codes of
// the engine's form widgets.
#pragma once

#include <cstddef>

// The first block: *size in, the size the host gave out. Refuses requests
// smaller than the engine instance record plus the heap context. Null on
// failure.
void *Host_mallocInitial(size_t *size);

// A heap chunk: *size in, the size given out. The first call returns the
// rest of the first block, right behind the heap context.
void *Host_mallocChunk(size_t *size);

// Returns a block to the system. The heap's first chunk releases the whole
// first block, engine instance included. Null is ignored.
void Host_freeBlock(void *block);

// Host key code to widget key code: codes below 0x10000 pass unchanged,
// 0x10001 to 0x10014 map by table, anything else gives 0.
int Host_mapKeyCode(int code);

// The host's first special key code.
int Host_keyCodeBase();
