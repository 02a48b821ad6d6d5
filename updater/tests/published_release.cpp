#include "tests/published_release.h"

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "tests/child_process.h"
#include "tests/test_support.h"
#include "tests/update_server.h"

namespace {
// XConfig text of a quoted name: backslashes and quotes escaped.
std::string Quoted(const std::string& text) {
  return "\"" + std::regex_replace(text, std::regex(R"(([\\"]))"), "\\$1") + "\"";
}

// Whether the server can hold a file of that name: no "..", no stream, no device (COM1, nul.txt, ...), and no
// component or name beyond what a file system takes.
bool IsServable(const std::string& name) {
  static const std::regex refused(R"(\.\.|:|[^/\\]{256}|(^|[/\\])(con|prn|aux|nul|com\d|lpt\d)(\.[^/\\]*)?($|[/\\]))",
                                  std::regex::icase);
  return name.size() <= 1000 && !std::regex_search(name, refused);
}

std::string DigestHex(const std::string& bytes, ALG_ID algorithm) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  BYTE digest[32] = {};
  DWORD size = algorithm == CALG_SHA1 ? 20 : 32;
  bool done = CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
              CryptCreateHash(provider, algorithm, 0, 0, &hash) &&
              CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) &&
              CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
  if (hash) CryptDestroyHash(hash);
  if (provider) CryptReleaseContext(provider, 0);
  EXPECT_TRUE(done);
  std::string text;
  for (DWORD i = 0; i < size; ++i) {
    text += "0123456789abcdef"[digest[i] >> 4];
    text += "0123456789abcdef"[digest[i] & 15];
  }
  return text;
}

// The Unix path of a path on drive Z:, which Wine maps to "/".
std::string UnixPath(std::wstring path) {
  std::replace(path.begin(), path.end(), L'\\', L'/');
  return Utf8(path.substr(2).c_str());
}

// Signs the served file `relative` of `server` with the test key pair `key` (openssl dgst -sha256 -sign, run under
// Wine as the Linux program it is) into `relative` + ".sig".
void SignServedFile(const ServerScope& server, const std::wstring& relative, const char* key) {
  const std::wstring file = server.Folder() + L"\\" + relative;
  const std::wstring written = file + L".sig.new";
  DeleteFileW(written.c_str());
  std::string command = std::string("openssl dgst -sha256 -sign ") + TEST_KEYS + "/" + key + "/private.pem -out " +
                        UnixPath(written) + " " + UnixPath(file);
  std::wstring line = Wide(command);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(Wide(std::string("Z:") + OPENSSL).c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &process));
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  // Wine hands out no handle to wait on for a Linux program: the signature is
  // done once all its bytes (3072 bits) are there.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  for (int waited = 0; waited < 3000; ++waited, Sleep(10)) {
    if (GetFileAttributesExW(written.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow == 384) break;
  }
  Sleep(20);
  ASSERT_TRUE(MoveFileExW(written.c_str(), (file + L".sig").c_str(), MOVEFILE_REPLACE_EXISTING)) << command;
}
}  // namespace

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], static_cast<int>(wide.size()))));
  return wide;
}

std::string Sha1Hex(const std::string& bytes) { return DigestHex(bytes, CALG_SHA1); }
std::string Sha256Hex(const std::string& bytes) { return DigestHex(bytes, CALG_SHA_256); }

std::string TestPublicKey(const char* key) {
  bool exists = false;
  std::string pem = ReadFileBytes(Wide(std::string("Z:") + TEST_KEYS + "/" + key + "/public.pem"), &exists);
  EXPECT_TRUE(exists) << key;
  return pem;
}

void PublishRelease(const ServerScope& server, const std::wstring& installFolder, const std::vector<ReleaseFile>& files,
                    const std::string& version, const ReleaseOptions* signing) {
  auto url = [&](const wchar_t* relative) {
    return Utf8((signing && signing->https ? server.HttpsUrl(relative, signing->https) : server.Url(relative)).c_str());
  };
  std::string manifest = "BaseInfo : {\nVersion : " + version + "\nBaseUrl : " + url(L"files/") +
                         "\nUpdaterVersion : 1.0\nMust : 0\n";
  if (signing && !signing->expires.empty()) manifest += "Expires : \"" + signing->expires + "\"\n";
  manifest += "}\nFileList : {\n";
  for (const ReleaseFile& file : files) {
    if (IsServable(file.name)) server.AddFile(L"files/" + Wide(file.name), file.content);
    manifest += Quoted(file.name) + " : {\nHash : " + Sha1Hex(file.content) + "\n";
    if (signing && std::find(signing->withoutSha256.begin(), signing->withoutSha256.end(), file.name) ==
                       signing->withoutSha256.end()) {
      manifest += "Sha256 : " + Sha256Hex(file.content) + "\n";
    }
    manifest += "Size : " + (file.size.empty() ? std::to_string(file.content.size()) : file.size) + "\n}\n";
  }
  server.AddFile(L"update.xconfig", manifest + "}\n");
  DeleteFileW((server.Folder() + L"\\update.xconfig.sig").c_str());
  if (signing && signing->key) SignServedFile(server, L"update.xconfig", signing->key);
  ASSERT_TRUE(WriteFileBytes(installFolder + L"\\baseinfo.xconfig",
                             "url : {\nUpdaterConfigeUrl : " + url(L"update.xconfig") + "\n}\n"));
}
