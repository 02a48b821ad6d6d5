// Releases published on the local update server for a test installation.
#pragma once

#include <string>
#include <vector>

class ServerScope;

// One file of a published release.
struct ReleaseFile {
  std::string name;
  std::string content;
  std::string size;  // as the manifest writes it; empty: the content's size
};

// The SHA-1 of `bytes` as 40 lower-case hexadecimal digits (through CryptoAPI).
std::string Sha1Hex(const std::string& bytes);
// The SHA-256 of `bytes` as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::string& bytes);

// How a release is published: every entry carries "Sha256" (but those named in `withoutSha256`), "BaseInfo" an
// "Expires" when given, the manifest's signature by the key pair `key` of the build tree's test keys ("signing",
// which the signed programs know, or "stranger"; none: unsigned) is served beside it, and with `https` every address
// goes to that HTTPS server of the tests (ServerScope::HttpsUrl).
struct ReleaseOptions {
  const char* key = "signing";
  std::string expires;
  std::vector<std::string> withoutSha256;
  const char* https = nullptr;
};

// The public key PEM of the build tree's test key pair `key`.
std::string TestPublicKey(const char* key = "signing");

// Publishes `files` (unservable and device names listed only) and update.xconfig; points the installation's
// baseinfo at it. With `signing` the release is signed as it says.
void PublishRelease(const ServerScope& server, const std::wstring& installFolder, const std::vector<ReleaseFile>& files,
                    const std::string& version, const ReleaseOptions* signing = nullptr);

// UTF-8 text as a wide string.
std::wstring Wide(const std::string& text);
