// SHA-1 of files through CryptoAPI, with the provider that the updater hashes
// with, so that the tool and the updater agree on every digest (Windows build).
#include <windows.h>
#include <wincrypt.h>

#include <memory>

#include "base/alloc.h"
#include "base/scoped_handle.h"
#include "release/file_digest.h"
#include "release/release_files.h"

namespace {
constexpr wchar_t kProvider[] = L"Microsoft Enhanced RSA and AES Cryptographic Provider";
constexpr DWORD kBlockBytes = 65536;

// Owner of a CryptoAPI hash object.
class ScopedCryptHash {
public:
  ScopedCryptHash() = default;
  ~ScopedCryptHash() {
    if (m_hash) CryptDestroyHash(m_hash);
  }
  ScopedCryptHash(const ScopedCryptHash&) = delete;
  ScopedCryptHash& operator=(const ScopedCryptHash&) = delete;
  bool Create(HCRYPTPROV context) { return CryptCreateHash(context, CALG_SHA1, 0, 0, &m_hash) != FALSE; }
  HCRYPTHASH Get() const { return m_hash; }

private:
  HCRYPTHASH m_hash = 0;
};

struct MemFreeDeleter {
  void operator()(void* block) const { MemFree(block); }
};
}  // namespace

FileDigester::~FileDigester() {
  if (m_context) CryptReleaseContext(static_cast<HCRYPTPROV>(m_context), 0);
}

bool FileDigester::Digest(const String& path, wchar_t digest[kDigestTextChars], uint64_t* size, String* error) {
  HCRYPTPROV context = static_cast<HCRYPTPROV>(m_context);
  // No key container: nothing is stored.
  if (!context && CryptAcquireContextW(&context, nullptr, kProvider, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    m_context = context;
  }
  ScopedCryptHash hash;
  if (!context || !hash.Create(context)) {
    *error = SystemFailure(L"cannot hash", path);
    return false;
  }
  // Read sharing only: nobody can change the file while it is hashed.
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid()) {
    *error = SystemFailure(L"cannot open", path);
    return false;
  }
  std::unique_ptr<BYTE, MemFreeDeleter> block(static_cast<BYTE*>(MemAlloc(kBlockBytes)));
  uint64_t total = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), block.get(), kBlockBytes, &got, nullptr)) {
      *error = SystemFailure(L"cannot read", path);
      return false;
    }
    if (got == 0) break;
    if (!CryptHashData(hash.Get(), block.get(), got, 0)) {
      *error = SystemFailure(L"cannot hash", path);
      return false;
    }
    total += got;
  }
  BYTE value[kDigestBytes];
  DWORD length = kDigestBytes;
  if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, value, &length, 0) || length != kDigestBytes) {
    *error = SystemFailure(L"cannot hash", path);
    return false;
  }
  HexEncodeDigest(value, digest);
  *size = total;
  return true;
}
