// SHA-1 digests of files, as the manifests write them.
#pragma once

#include <cstdint>

constexpr uint32_t kSha1Bytes = 20;
// Characters of a digest's text, terminator included.
constexpr uint32_t kSha1TextChars = 41;

// Computes the SHA-1 of the file at `path` through CryptoAPI, reading it in
// 64 KiB blocks. True when `digest` was written; false when the provider is
// unavailable, the file cannot be opened (missing, denied, or open elsewhere
// for writing) or a read fails part-way. The file is opened sharing reads
// only, so nobody can change it while it is being hashed.
bool HashFileSha1(const wchar_t* path, uint8_t digest[kSha1Bytes]);

// Writes the digest as 40 lower-case hexadecimal digits, high half-byte
// first, and a terminating zero.
void HexEncodeLower(const uint8_t digest[kSha1Bytes], wchar_t text[kSha1TextChars]);
