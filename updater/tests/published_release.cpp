#include "tests/published_release.h"

#include <windows.h>
#include <wincrypt.h>

#include <cctype>

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

// A component that Windows opens as a device (COM1, nul.txt, ...).
bool IsDeviceName(std::string component) {
  component = component.substr(0, component.find('.'));
  for (char& ch : component) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
  const std::string stem = component.substr(0, 3);
  return component == "CON" || component == "PRN" || component == "AUX" || component == "NUL" ||
         (component.size() == 4 && (stem == "COM" || stem == "LPT") && std::isdigit(component[3]));
}

bool IsServable(const std::string& name) {
  if (name.size() > 1000 || name.find("..") != std::string::npos || name.find(':') != std::string::npos) return false;
  size_t begin = 0;
  for (size_t end = 0; end <= name.size(); ++end) {
    if (end < name.size() && name[end] != '/' && name[end] != '\\') continue;
    if (end - begin > 255 || IsDeviceName(name.substr(begin, end - begin))) return false;
    begin = end + 1;
  }
  return true;
}
}  // namespace

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], static_cast<int>(wide.size()))));
  return wide;
}

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
