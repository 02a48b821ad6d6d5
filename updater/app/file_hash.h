// SHA-1 and SHA-256 digests of files, as the manifests write them.
#pragma once

#include <cstdint>
#include <memory>

#include "base/memory/alloc.h"
#include "base/system/scoped_object.h"
#include "base/text/wide_string.h"

constexpr uint32_t kSha1Bytes = 20;
constexpr uint32_t kSha256Bytes = 32;
// Characters of a SHA-1 digest's text, terminator included.
constexpr uint32_t kSha1TextChars = 41;

// Computes the SHA-1 of the file at `path` through CryptoAPI, reading it in
// 64 KiB blocks, with a context of its own. True when `digest` was written;
// false when the provider is unavailable, the file cannot be opened (missing,
// denied, or open elsewhere for writing) or a read fails part-way. The file is
// opened sharing reads only, so nobody can change it while it is being
// hashed. Windows build only.
bool HashFileSha1(const wchar_t* path, uint8_t digest[kSha1Bytes]);

// The digests a FileHasher computes in one pass over a file.
enum HashKinds : uint32_t { kHashSha1 = 1, kHashSha256 = 2 };
struct FileDigests {
  uint8_t sha1[kSha1Bytes];
  uint8_t sha256[kSha256Bytes];
};

// The platform's hashing context of FileHasher: a CryptoAPI provider on
// Windows, OpenSSL digest contexts natively.
struct HashContextTraits : ZeroIsEmpty<uintptr_t> {
  static void Free(Type context);
};

// Hashes files one after another with one context, for callers that hash
// many: acquiring a CryptoAPI context takes longer than hashing a small file
// (about 10 ms under Wine). CryptoAPI (SHA-256 through CALG_SHA_256) as
// HashFileSha1 on Windows; the native build of the release tool brings
// OpenSSL's libcrypto. One thread at a time.
class FileHasher {
public:
  FileHasher() = default;
  FileHasher(const FileHasher&) = delete;
  FileHasher& operator=(const FileHasher&) = delete;

  // Computes the digests named by `kinds` (HashKinds) of the file at `path`
  // in one reading, as HashFileSha1 reads it, acquiring the context on the
  // first call; the other fields of `digests` are left as they are. `bytes`,
  // when given, receives the number of bytes hashed. After a failure the
  // system's last error (errno natively) tells why.
  bool Hash(const wchar_t* path, uint32_t kinds, FileDigests* digests, uint64_t* bytes = nullptr);

  // The hasher's provider context (an HCRYPTPROV on Windows), acquired on the
  // first call, for other CryptoAPI work of the same thread; 0 when it cannot
  // be acquired. Owned by the hasher.
  uintptr_t Provider();

  // Frees the block files are read into (memory of the library's
  // allocator); the next file takes a new one.
  void FreeBlock() { m_block.reset(); }

private:
  ScopedObject<HashContextTraits> m_context;  // none until the first file
  // The block files are read into on Windows, kept from the first file on: a
  // block of that size comes from the system each time, which costs more
  // than hashing a small file while other threads run.
  std::unique_ptr<uint8_t, MemFreeDeleter> m_block;
};

// Writes the digest as 40 lower-case hexadecimal digits, high half-byte
// first, and a terminating zero. Both builds.
void HexEncodeLower(const uint8_t digest[kSha1Bytes], wchar_t text[kSha1TextChars]);

// The `count` bytes at `digest` as lower-case hexadecimal digits, high
// half-byte first. Both builds.
String DigestText(const uint8_t* digest, uint32_t count);
