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

// Publishes `files` (unservable names listed only) and update.xconfig; points the installation's baseinfo at it.
void PublishRelease(const ServerScope& server, const std::wstring& installFolder, const std::vector<ReleaseFile>& files,
                    const std::string& version);

// ASCII text as a wide string.
std::wstring Wide(const std::string& text);
