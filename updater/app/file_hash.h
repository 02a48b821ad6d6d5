// SHA-1 digests of files, as the manifests write them.
#pragma once

#include <cstdint>

#include "base/system/scoped_object.h"

constexpr uint32_t kSha1Bytes = 20;
// Characters of a digest's text, terminator included.
constexpr uint32_t kSha1TextChars = 41;

// Computes the SHA-1 of the file at `path` through CryptoAPI, reading it in
// 64 KiB blocks, with a context of its own. True when `digest` was written;
// false when the provider is unavailable, the file cannot be opened (missing,
// denied, or open elsewhere for writing) or a read fails part-way. The file is
// opened sharing reads only, so nobody can change it while it is being
// hashed. Windows build only.
bool HashFileSha1(const wchar_t* path, uint8_t digest[kSha1Bytes]);

// The platform's hashing context of Sha1FileHasher: a CryptoAPI provider on
// Windows, an OpenSSL digest context natively.
struct Sha1ContextTraits : ZeroIsEmpty<uintptr_t> {
  static void Free(Type context);
};

// Hashes files one after another with one context, for callers that hash
// many: acquiring a CryptoAPI context takes longer than hashing a small file
// (about 10 ms under Wine). CryptoAPI as HashFileSha1 on Windows; the native
// build of the release tool brings OpenSSL's libcrypto. One thread at a time.
class Sha1FileHasher {
public:
  Sha1FileHasher() = default;
  Sha1FileHasher(const Sha1FileHasher&) = delete;
  Sha1FileHasher& operator=(const Sha1FileHasher&) = delete;

  // As HashFileSha1, acquiring the context on the first call. `bytes`, when
  // given, receives the number of bytes hashed. After a failure the system's
  // last error (errno natively) tells why.
  bool Hash(const wchar_t* path, uint8_t digest[kSha1Bytes], uint64_t* bytes = nullptr);

private:
  ScopedObject<Sha1ContextTraits> m_context;  // none until the first file
};

// Writes the digest as 40 lower-case hexadecimal digits, high half-byte
// first, and a terminating zero. Both builds.
void HexEncodeLower(const uint8_t digest[kSha1Bytes], wchar_t text[kSha1TextChars]);
