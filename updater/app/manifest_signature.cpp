// Checking manifest signatures through CryptoAPI (Windows build).
#include "app/manifest_signature.h"

#include <windows.h>
#include <wincrypt.h>

#include <utility>
#include <vector>

#include "base/memory/alloc.h"
#include "base/system/scoped_handle.h"
#include "base/system/scoped_object.h"
#include "app/manifest.h"
#include "app/manifest_key_id.h"

namespace {
constexpr wchar_t kProvider[] = L"Microsoft Enhanced RSA and AES Cryptographic Provider";

using Bytes = std::vector<BYTE, LibraryAllocator<BYTE>>;

struct CryptContextTraits : ZeroIsEmpty<HCRYPTPROV> {
  static void Free(Type context) { CryptReleaseContext(context, 0); }
};
struct CryptKeyTraits : ZeroIsEmpty<HCRYPTKEY> {
  static void Free(Type key) { CryptDestroyKey(key); }
};
struct CryptHashTraits : ZeroIsEmpty<HCRYPTHASH> {
  static void Free(Type hash) { CryptDestroyHash(hash); }
};

// The DER bytes of the PEM text `key`.
bool DecodePem(const ManifestKey& key, Bytes* der) {
  DWORD size = 0;
  const DWORD length = static_cast<DWORD>(key.size);
  if (!CryptStringToBinaryA(key.pem, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr) ||
      size == 0) {
    return false;
  }
  der->resize(size);
  return CryptStringToBinaryA(key.pem, length, CRYPT_STRING_BASE64HEADER, der->data(), &size, nullptr, nullptr) &&
         (der->resize(size), true);
}

bool ReadSmallFile(const wchar_t* path, uint64_t limit, Bytes* bytes) {
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > limit) {
    return false;
  }
  bytes->resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  return bytes->empty() ||
         (ReadFile(file.Get(), bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) &&
          got == bytes->size());
}

// This function's own module: Updater.exe even where the client loaded it.
HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}
}  // namespace

ManifestKey BuiltInManifestKey() {
  ManifestKey key;
  HMODULE module = OwnModule();
  HRSRC resource = module ? FindResourceW(module, MAKEINTRESOURCEW(IDR_MANIFEST_KEY), RT_RCDATA) : nullptr;
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  if (!loaded) return key;
  key.pem = static_cast<const char*>(LockResource(loaded));
  key.size = SizeofResource(module, resource);
  return key;
}

bool VerifyManifestSignature(const ManifestKey& key, const void* data, size_t dataSize, const void* signature,
                             size_t signatureSize, uintptr_t provider) {
  if (!key.IsPresent() || key.size > UINT32_MAX || dataSize > UINT32_MAX || signatureSize == 0 ||
      signatureSize > kSignatureMaxBytes) {
    return false;
  }
  Bytes der;
  if (!DecodePem(key, &der)) return false;
  CERT_PUBLIC_KEY_INFO* decoded = nullptr;
  DWORD decodedSize = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(), static_cast<DWORD>(der.size()),
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &decodedSize)) {
    return false;
  }
  ScopedLocalMemory info(decoded);
  HCRYPTPROV acquired = 0;
  if (!provider && !CryptAcquireContextW(&acquired, nullptr, kProvider, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
  ScopedObject<CryptContextTraits> owned(acquired);
  const HCRYPTPROV context = provider ? static_cast<HCRYPTPROV>(provider) : acquired;
  HCRYPTKEY imported = 0;
  if (!CryptImportPublicKeyInfo(context, X509_ASN_ENCODING, decoded, &imported)) return false;
  ScopedObject<CryptKeyTraits> publicKey(imported);
  HCRYPTHASH created = 0;
  if (!CryptCreateHash(context, CALG_SHA_256, 0, 0, &created)) return false;
  ScopedObject<CryptHashTraits> hash(created);
  if (dataSize > 0 && !CryptHashData(hash.Get(), static_cast<const BYTE*>(data), static_cast<DWORD>(dataSize), 0)) {
    return false;
  }
  // CryptoAPI takes the signature least significant byte first.
  const BYTE* bytes = static_cast<const BYTE*>(signature);
  Bytes reversed(bytes, bytes + signatureSize);
  for (size_t i = 0, j = reversed.size() - 1; i < j; ++i, --j) std::swap(reversed[i], reversed[j]);
  return CryptVerifySignatureW(hash.Get(), reversed.data(), static_cast<DWORD>(reversed.size()), publicKey.Get(),
                               nullptr, 0) != FALSE;
}

bool VerifyManifestFile(const ManifestKey& key, const wchar_t* manifestPath, const wchar_t* signaturePath,
                        uintptr_t provider) {
  Bytes manifest;
  Bytes signature;
  return ReadSmallFile(manifestPath, kManifestMaxBytes, &manifest) &&
         ReadSmallFile(signaturePath, kSignatureMaxBytes, &signature) &&
         VerifyManifestSignature(key, manifest.data(), manifest.size(), signature.data(), signature.size(),
                                 provider);
}
