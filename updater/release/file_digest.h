// SHA-1 digests of release files, as the manifest writes them: OpenSSL's
// libcrypto on Linux (in release_files_posix.cpp), CryptoAPI with the
// updater's provider on Windows (file_digest_cryptoapi.cpp).
#pragma once

#include <cstdint>

#include "base/wide_string.h"

constexpr uint32_t kDigestBytes = 20;
// Characters of a digest's text: 40 lower-case hexadecimal digits and a zero.
constexpr uint32_t kDigestTextChars = 41;

// The SHA-1 of the file at `path` as 40 lower-case hexadecimal digits, and the
// number of bytes it was computed over. False, with `error` set, when the file
// cannot be opened or read to its end.
bool DigestFile(const String& path, wchar_t digest[kDigestTextChars], uint64_t* size, String* error);

// Writes `digest` as 40 lower-case hexadecimal digits, high half-byte first,
// and a zero.
void HexEncodeDigest(const uint8_t digest[kDigestBytes], wchar_t text[kDigestTextChars]);
