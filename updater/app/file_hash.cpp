#include "app/file_hash.h"

#include <windows.h>
#include <wincrypt.h>

#include <memory>

#include "base/alloc.h"
#include "base/scoped_handle.h"

namespace {
constexpr wchar_t kProvider[] = L"Microsoft Enhanced RSA and AES Cryptographic Provider";
constexpr DWORD kBlockBytes = 65536;

// Owner of a CryptoAPI context.
class ScopedCryptContext {
public:
  ScopedCryptContext() = default;
  ~ScopedCryptContext() {
    if (m_context) CryptReleaseContext(m_context, 0);
  }
  ScopedCryptContext(const ScopedCryptContext&) = delete;
  ScopedCryptContext& operator=(const ScopedCryptContext&) = delete;
  // Acquires a context without key container from the named provider.
  bool Acquire() {
    return CryptAcquireContextW(&m_context, nullptr, kProvider, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) != FALSE;
  }
  HCRYPTPROV Get() const { return m_context; }

private:
  HCRYPTPROV m_context = 0;
};

// Owner of a CryptoAPI hash object.
class ScopedCryptHash {
public:
  ScopedCryptHash() = default;
  ~ScopedCryptHash() {
    if (m_hash) CryptDestroyHash(m_hash);
  }
  ScopedCryptHash(const ScopedCryptHash&) = delete;
  ScopedCryptHash& operator=(const ScopedCryptHash&) = delete;
  bool Create(HCRYPTPROV context, ALG_ID algorithm) {
    return CryptCreateHash(context, algorithm, 0, 0, &m_hash) != FALSE;
  }
  HCRYPTHASH Get() const { return m_hash; }

private:
  HCRYPTHASH m_hash = 0;
};

struct MemFreeDeleter {
  void operator()(void* block) const { MemFree(block); }
};
}  // namespace

bool HashFileSha1(const wchar_t* path, uint8_t digest[kSha1Bytes]) {
  ScopedCryptContext context;
  if (!context.Acquire()) return false;
  ScopedCryptHash hash;
  if (!hash.Create(context.Get(), CALG_SHA1)) return false;
  // Read sharing: a reader elsewhere (a virus scanner) must not make the file
  // unhashable, which would leave an outdated file looking current.
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file.IsValid()) return false;
  std::unique_ptr<BYTE, MemFreeDeleter> block(static_cast<BYTE*>(MemAlloc(kBlockBytes)));
  for (;;) {
    DWORD got = 0;
    // A failing read must not pass off the hash of a prefix as the file's.
    if (!ReadFile(file.Get(), block.get(), kBlockBytes, &got, nullptr)) return false;
    if (got == 0) break;
    if (!CryptHashData(hash.Get(), block.get(), got, 0)) return false;
  }
  file.Reset();
  DWORD size = kSha1Bytes;
  return CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, &size, 0) != FALSE && size == kSha1Bytes;
}

void HexEncodeLower(const uint8_t digest[kSha1Bytes], wchar_t text[kSha1TextChars]) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  for (uint32_t i = 0; i < kSha1Bytes; ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  text[2 * kSha1Bytes] = L'\0';
}
