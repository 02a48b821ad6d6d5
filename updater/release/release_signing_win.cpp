// Signatures in the Windows build: checked through the updater's own CryptoAPI
// code; keys are made and releases signed by the native build.
#include "app/manifest_signature.h"
#include "release/release_signing.h"

namespace {
const wchar_t kNativeOnly[] = L"making keys and signing need the native build of xrelease";
}  // namespace

bool CanSign() { return false; }

bool GenerateKeyPair(const String&, String* error) {
  *error = kNativeOnly;
  return false;
}

bool SignBytes(const String&, const Utf8Text&, Utf8Text*, String* error) {
  *error = kNativeOnly;
  return false;
}

bool VerifyBytes(const Utf8Text& publicKeyPem, const Utf8Text& data, const Utf8Text& signature, String* error) {
  ManifestKey key;
  key.pem = publicKeyPem.data();
  key.size = publicKeyPem.size();
  if (publicKeyPem.find("-----BEGIN PUBLIC KEY-----") == Utf8Text::npos) {
    *error = L"not an RSA public key (PEM)";
    return false;
  }
  return VerifyManifestSignature(key, data.data(), data.size(), signature.data(), signature.size());
}
