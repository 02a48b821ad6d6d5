// SHA-1 digests of release files, as the manifest writes them: OpenSSL's
// libcrypto on Linux (in release_files_posix.cpp), CryptoAPI with the
// updater's provider on Windows (file_digest_cryptoapi.cpp).
#pragma once

#include <cstdint>

#include "base/wide_string.h"

constexpr uint32_t kDigestBytes = 20;
// Characters of a digest's text: 40 lower-case hexadecimal digits and a zero.
constexpr uint32_t kDigestTextChars = 41;

// Computes the SHA-1 of files one after another, keeping what the platform
// needs between files: a CryptoAPI context on Windows (acquiring one takes
// longer than hashing a small file), a digest context natively.
class FileDigester {
public:
  FileDigester() = default;
  ~FileDigester();
  FileDigester(const FileDigester&) = delete;
  FileDigester& operator=(const FileDigester&) = delete;

  // The SHA-1 of the file at `path` as 40 lower-case hexadecimal digits, and
  // the number of bytes it was computed over. False, with `error` set, when
  // the file cannot be opened or read to its end, or SHA-1 is not available.
  bool Digest(const String& path, wchar_t digest[kDigestTextChars], uint64_t* size, String* error);

private:
  uintptr_t m_context = 0;  // the platform's context, none until the first file
};

// Writes `digest` as 40 lower-case hexadecimal digits, high half-byte first,
// and a zero.
void HexEncodeDigest(const uint8_t digest[kDigestBytes], wchar_t text[kDigestTextChars]);
