// The two manifests that steer an update, both XConfig files in the
// installation folder: "baseinfo.xconfig", installed with the client, names the
// address of the update manifest; the update manifest ("update.xconfig",
// downloaded for every run) names the newest version, the base address of the
// files and every file with its SHA-1 and size.
//
// Names are looked up ignoring the case of A to Z, the first of a name counts.
// A missing text item reads as empty text, a missing number as 0.
#pragma once

#include <cstdint>
#include <vector>

#include "base/alloc.h"
#include "base/wide_string.h"

class XElement;

// Where the manifest lives when "baseinfo.xconfig" does not say.
constexpr wchar_t kDefaultManifestUrl[] = L"https://update.castwright.example/pc/client/version";

// A manifest larger than this is not read to its end (the download fails).
constexpr uint64_t kManifestMaxBytes = 64ull << 20;

// The release described by the manifest's "BaseInfo" element.
struct ManifestInfo {
  String version;  // "Version": the newest client version, dotted numbers
  String baseUrl;  // "BaseUrl": every file's URL is this plus its relative name
  int32_t must = 0;  // "Must": carried along; nothing acts on it
};

// One file of the manifest's "FileList". The manifest reading fills the first
// three fields; the update run fills the rest.
struct FileEntry {
  String name;  // the file element's name: the path relative to the installation folder
  String hash;  // "Hash": 40 lower-case hexadecimal digits of the SHA-1
  String size;  // "Size" as decimal text, negative above 2^31 - 1 (only for progress)
  String url;
  String localPath;
  String tempPath;
};

// The manifest's files in manifest order.
using FileEntryArray = std::vector<FileEntry, LibraryAllocator<FileEntry>>;

// Reads the manifest address from "baseinfo.xconfig" at `baseInfoPath`: the
// "UpdaterConfigeUrl" item of the root's "url" element, or empty text when the
// element has no such item. False, with `url` untouched, when the file does not
// exist, is not valid XConfig or has no "url" element.
bool ReadManifestUrl(const wchar_t* baseInfoPath, String* url);

// Opens the manifest at `manifestPath` and reads it with ReadUpdateManifest.
// False when the file cannot be opened or parsed, or when ReadUpdateManifest
// fails.
bool ParseUpdateManifest(const wchar_t* manifestPath, FileEntryArray* entries, ManifestInfo* info);

// Reads a parsed manifest below `root`: fills `info` from "BaseInfo" and
// appends one entry per child element of "FileList" to `entries` (data items
// there are no files). False, with both outputs untouched, when "BaseInfo" or
// "FileList" is missing. Linear in the number of files.
bool ReadUpdateManifest(const XElement* root, FileEntryArray* entries, ManifestInfo* info);
