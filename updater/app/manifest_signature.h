// Signed manifests. A release is signed with an RSA key: the signature is
// RSA PKCS#1 v1.5 over the SHA-256 of the manifest file's exact bytes, stored
// as the raw signature bytes, most significant first, in a file served at the
// manifest's address with ".sig" appended. The public key that checks it is
// built into Updater.exe as a resource; a program without one runs unsigned.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text/wide_string.h"

// What is appended to the manifest's address (and file name) for its signature.
constexpr wchar_t kSignatureSuffix[] = L".sig";
// A signature file is never longer (a 3072-bit signature has 384 bytes).
constexpr uint64_t kSignatureMaxBytes = 64u << 10;

// The public key built into the module that holds this code (Updater.exe, or
// the program that links the engine), as the PEM text of a SubjectPublicKeyInfo
// (BEGIN PUBLIC KEY). Empty when the module has none. Windows build; uses no
// start-up code, so it serves UpdateWeb in the client's process too.
struct ManifestKey {
  const char* pem = nullptr;
  size_t size = 0;
  bool IsPresent() const { return pem && size > 0; }
};
ManifestKey BuiltInManifestKey();

// Whether `signature` (raw, most significant byte first) is a valid RSA
// PKCS#1 v1.5 SHA-256 signature of `data` by the public key `key`, checked
// through CryptoAPI, on the provider context `provider` (an HCRYPTPROV of
// PROV_RSA_AES; 0: one of its own for the call). False also when the key is
// not a readable RSA public key. Windows build.
bool VerifyManifestSignature(const ManifestKey& key, const void* data, size_t dataSize, const void* signature,
                             size_t signatureSize, uintptr_t provider = 0);

// VerifyManifestSignature of the file at `manifestPath` by the file at
// `signaturePath`; false when either cannot be read whole or is longer than
// kManifestMaxBytes or kSignatureMaxBytes. Windows build.
bool VerifyManifestFile(const ManifestKey& key, const wchar_t* manifestPath, const wchar_t* signaturePath,
                        uintptr_t provider = 0);
