#include "tests/published_release.h"

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include "tests/child_process.h"
#include "tests/test_support.h"
#include "tests/update_server.h"

namespace {
// XConfig text of a quoted name: backslashes and quotes escaped.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char ch : text) {
    if (ch == '\\' || ch == '"') quoted += '\\';
    quoted += ch;
  }
  return quoted + "\"";
}

bool IsServable(const std::string& name) {
  return name.find("..") == std::string::npos && name.find(':') == std::string::npos;
}
}  // namespace

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Sha1Hex(const std::string& bytes) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  BYTE digest[20] = {};
  DWORD size = sizeof digest;
  bool done = CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
              CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) &&
              CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) &&
              CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
  if (hash) CryptDestroyHash(hash);
  if (provider) CryptReleaseContext(provider, 0);
  EXPECT_TRUE(done);
  std::string text;
  for (BYTE b : digest) {
    text += "0123456789abcdef"[b >> 4];
    text += "0123456789abcdef"[b & 15];
  }
  return text;
}

void PublishRelease(const ServerScope& server, const std::wstring& installFolder, const std::vector<ReleaseFile>& files,
                    const std::string& version) {
  std::string manifest = "BaseInfo : {\nVersion : " + version + "\nBaseUrl : " + Utf8(server.Url(L"files/").c_str()) +
                         "\nUpdaterVersion : 1.0\nMust : 0\n}\nFileList : {\n";
  for (const ReleaseFile& file : files) {
    if (IsServable(file.name)) server.AddFile(L"files/" + Wide(file.name), file.content);
    manifest += Quoted(file.name) + " : {\nHash : " + Sha1Hex(file.content) + "\nSize : " +
                (file.size.empty() ? std::to_string(file.content.size()) : file.size) + "\n}\n";
  }
  server.AddFile(L"update.xconfig", manifest + "}\n");
  ASSERT_TRUE(WriteFileBytes(installFolder + L"\\baseinfo.xconfig",
                             "url : {\nUpdaterConfigeUrl : " + Utf8(server.Url(L"update.xconfig").c_str()) + "\n}\n"));
}
