// MD5 message digests (RFC 1321), used to derive the keys of encrypted
// PDF files and to fingerprint drawing lists.
#pragma once

#include <cstddef>
#include <cstdint>

struct Md5 {
    uint32_t state[4];
    uint64_t bytes;    // bytes hashed so far
    uint8_t block[64]; // the incomplete block
};

void Md5_init(Md5 *md5);
void Md5_update(Md5 *md5, const void *data, size_t length);
// Writes the 16-byte digest; the record must be initialised again before
// further use.
void Md5_final(Md5 *md5, uint8_t digest[16]);
// The digest of length bytes in one call.
void Md5_digest(uint8_t digest[16], const void *data, size_t length);
