// Key pairs and manifest signatures for the release tool: RSA keys of
// kSigningKeyBits, signatures RSA PKCS#1 v1.5 over the SHA-256 of the
// manifest's exact bytes, raw and most significant byte first (the form the
// updater checks, app/manifest_signature.h). OpenSSL's libcrypto natively;
// the Windows build checks signatures through the updater's CryptoAPI code
// and neither makes keys nor signs.
#pragma once

#include "base/text/wide_string.h"
#include "base/xconfig/xconfig_writer.h"

constexpr int kSigningKeyBits = 3072;
// The files `keygen` writes into its folder.
constexpr wchar_t kPrivateKeyFileName[] = L"private.pem";
constexpr wchar_t kPublicKeyFileName[] = L"public.pem";

// Whether this build can make keys and sign.
bool CanSign();

// Writes a new key pair into the existing folder `folder`: the private key as
// PKCS#8 PEM readable by its owner only, the public key as a
// SubjectPublicKeyInfo PEM. Refuses to replace either file. False, with
// `error` set and nothing left behind, on any failure.
bool GenerateKeyPair(const String& folder, String* error);

// The signature of `data` by the private key in the PEM file `privateKeyPath`.
bool SignBytes(const String& privateKeyPath, const Utf8Text& data, Utf8Text* signature, String* error);

// Whether `signature` is a valid signature of `data` by the public key PEM
// text `publicKeyPem`. False, with `error` naming why the key could not be
// used, when it is no RSA public key (`error` stays empty for a plain
// mismatch).
bool VerifyBytes(const Utf8Text& publicKeyPem, const Utf8Text& data, const Utf8Text& signature, String* error);
