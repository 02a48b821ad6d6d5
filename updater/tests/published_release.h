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

// Publishes a release of `version` on `server`: the files below "files/"
// (names no folder can hold, and device names, are listed but not served) and the manifest
// "update.xconfig" listing them; and writes the installation's
// "baseinfo.xconfig" in `installFolder`, pointing at that manifest.
void PublishRelease(const ServerScope& server, const std::wstring& installFolder, const std::vector<ReleaseFile>& files,
                    const std::string& version);

// UTF-8 text as a wide string.
std::wstring Wide(const std::string& text);
