#include "app/file_hash.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <memory>

#include "base/memory/alloc.h"
#include "base/system/scoped_handle.h"

namespace {
constexpr wchar_t kProvider[] = L"Microsoft Enhanced RSA and AES Cryptographic Provider";
constexpr DWORD kBlockBytes = 65536;

// A CryptoAPI hash object.
struct CryptHashTraits : ZeroIsEmpty<HCRYPTHASH> {
  static void Free(Type hash) { CryptDestroyHash(hash); }
};
using ScopedCryptHash = ScopedObject<CryptHashTraits>;

// Hashes the file at `path` on `context`, reading it into `block` (kBlockBytes);
// on failure `error` receives the system's reason before the handles are closed.
bool HashWith(HCRYPTPROV context, BYTE* block, const wchar_t* path, uint32_t kinds, FileDigests* digests,
              uint64_t* bytes, DWORD* error) {
  auto fail = [error] {
    *error = GetLastError();
    return false;
  };
  struct Wanted {
    uint32_t kind;
    ALG_ID algorithm;
    BYTE* digest;
    DWORD size;
    ScopedCryptHash hash;
  } wanted[] = {{kHashSha1, CALG_SHA1, digests->sha1, kSha1Bytes, ScopedCryptHash()},
                {kHashSha256, CALG_SHA_256, digests->sha256, kSha256Bytes, ScopedCryptHash()}};
  for (Wanted& w : wanted) {
    if (!(kinds & w.kind)) continue;
    HCRYPTHASH created = 0;
    if (!CryptCreateHash(context, w.algorithm, 0, 0, &created)) return fail();
    w.hash.Reset(created);
  }
  // Read sharing: a reader elsewhere (a virus scanner) must not make the file
  // unhashable, which would leave an outdated file looking current.
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file.IsValid()) return fail();
  uint64_t total = 0;
  for (;;) {
    DWORD got = 0;
    // A failing read must not pass off the hash of a prefix as the file's.
    if (!ReadFile(file.Get(), block, kBlockBytes, &got, nullptr)) return fail();
    if (got == 0) break;
    for (Wanted& w : wanted) {
      if (w.hash.IsValid() && !CryptHashData(w.hash.Get(), block, got, 0)) return fail();
    }
    total += got;
  }
  file.Reset();
  for (Wanted& w : wanted) {
    DWORD size = w.size;
    if (w.hash.IsValid() && (!CryptGetHashParam(w.hash.Get(), HP_HASHVAL, w.digest, &size, 0) || size != w.size)) {
      return fail();
    }
  }
  if (bytes) *bytes = total;
  return true;
}
}  // namespace

bool HashFileSha1(const wchar_t* path, uint8_t digest[kSha1Bytes]) {
  FileHasher hasher;
  FileDigests digests;
  if (!hasher.Hash(path, kHashSha1, &digests)) return false;
  std::memcpy(digest, digests.sha1, kSha1Bytes);
  return true;
}

void HashContextTraits::Free(Type context) { CryptReleaseContext(static_cast<HCRYPTPROV>(context), 0); }

uintptr_t FileHasher::Provider() {
  HCRYPTPROV context = static_cast<HCRYPTPROV>(m_context.Get());
  // No key container: nothing is stored.
  if (!context && CryptAcquireContextW(&context, nullptr, kProvider, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    m_context.Reset(context);
  }
  return m_context.Get();
}

bool FileHasher::Hash(const wchar_t* path, uint32_t kinds, FileDigests* digests, uint64_t* bytes) {
  const HCRYPTPROV context = static_cast<HCRYPTPROV>(Provider());
  if (!context) return false;
  if (!m_block) m_block.reset(static_cast<uint8_t*>(MemAlloc(kBlockBytes)));
  DWORD error = 0;
  if (HashWith(context, m_block.get(), path, kinds, digests, bytes, &error)) return true;
  SetLastError(error);
  return false;
}
