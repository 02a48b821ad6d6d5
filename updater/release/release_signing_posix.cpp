// Keys and signatures through OpenSSL's libcrypto (native build).
#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "base/text/wide_text.h"
#include "release/release_files.h"
#include "release/release_signing.h"

namespace {
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct KeyContextFree {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

Utf8Text NativeText(const String& text) {
  Utf8Text native;
  AppendUtf8(text.Text(), text.Length(), &native);
  return native;
}

// The PEM text that `write` puts into a memory BIO.
template <typename Write>
bool PemText(Write write, Utf8Text* text) {
  Bio bio(BIO_new(BIO_s_mem()));
  if (!bio || !write(bio.get())) return false;
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  text->assign(data, static_cast<size_t>(size));
  return true;
}

// Creates `path` anew (never replacing a file) with `mode`, holding `bytes`.
bool WriteNewFile(const String& path, mode_t mode, const Utf8Text& bytes) {
  Utf8Text native = NativeText(path);
  int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  // The mode must hold whatever the umask says.
  bool written = fchmod(fd, mode) == 0;
  for (size_t done = 0; written && done < bytes.size();) {
    ssize_t count = write(fd, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    written = count > 0;
    if (written) done += static_cast<size_t>(count);
  }
  written = fsync(fd) == 0 && written;
  if (close(fd) != 0) written = false;
  if (!written) {
    const int reason = errno;
    unlink(native.c_str());
    errno = reason;
  }
  return written;
}

Key ReadPrivateKey(const String& path) {
  Bio bio(BIO_new_file(NativeText(path).c_str(), "rb"));
  return Key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}
}  // namespace

bool CanSign() { return true; }

bool GenerateKeyPair(const String& folder, String* error) {
  const String privatePath = JoinPath(folder, kPrivateKeyFileName);
  const String publicPath = JoinPath(folder, kPublicKeyFileName);
  for (const String* path : {&privatePath, &publicPath}) {
    if (KindOfPath(*path) != PathKind::kMissing) {
      *error = *path + L" exists already; a key is never replaced";
      return false;
    }
  }
  std::unique_ptr<EVP_PKEY_CTX, KeyContextFree> context(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
  EVP_PKEY* made = nullptr;
  if (!context || EVP_PKEY_keygen_init(context.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), kSigningKeyBits) <= 0 ||
      EVP_PKEY_keygen(context.get(), &made) <= 0) {
    *error = L"cannot make an RSA key";
    return false;
  }
  Key key(made);
  Utf8Text privatePem;
  Utf8Text publicPem;
  if (!PemText([&](BIO* bio) {
        return PEM_write_bio_PKCS8PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
      }, &privatePem) ||
      !PemText([&](BIO* bio) { return PEM_write_bio_PUBKEY(bio, key.get()) == 1; }, &publicPem)) {
    *error = L"cannot write the key as PEM";
    return false;
  }
  if (!WriteNewFile(privatePath, 0600, privatePem)) {
    *error = SystemFailure(L"cannot write", privatePath);
    return false;
  }
  if (!WriteNewFile(publicPath, 0644, publicPem)) {
    *error = SystemFailure(L"cannot write", publicPath);
    unlink(NativeText(privatePath).c_str());
    return false;
  }
  return true;
}

bool SignBytes(const String& privateKeyPath, const Utf8Text& data, Utf8Text* signature, String* error) {
  Key key = ReadPrivateKey(privateKeyPath);
  if (!key || EVP_PKEY_base_id(key.get()) != EVP_PKEY_RSA) {
    *error = privateKeyPath + L" is no readable RSA private key (PEM)";
    return false;
  }
  std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
  size_t size = 0;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &size, reinterpret_cast<const unsigned char*>(data.data()),
                     data.size()) != 1) {
    *error = L"cannot sign with " + privateKeyPath;
    return false;
  }
  signature->resize(size);
  if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(&(*signature)[0]), &size,
                     reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1) {
    *error = L"cannot sign with " + privateKeyPath;
    return false;
  }
  signature->resize(size);
  return true;
}

bool VerifyBytes(const Utf8Text& publicKeyPem, const Utf8Text& data, const Utf8Text& signature, String* error) {
  Bio bio(BIO_new_mem_buf(publicKeyPem.data(), static_cast<int>(publicKeyPem.size())));
  Key key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key || EVP_PKEY_base_id(key.get()) != EVP_PKEY_RSA) {
    *error = L"not an RSA public key (PEM)";
    return false;
  }
  std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
  return context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
         EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                          reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
}
