// The two manifests that steer an update, both XConfig files in the
// installation folder: "baseinfo.xconfig", installed with the client, names the
// address of the update manifest; the update manifest ("update.xconfig",
// downloaded for every run) names the newest version, the base address of the
// files and every file with its SHA-1, SHA-256 and size. A release may be
// signed: the signature of the manifest's bytes lies beside it, at the
// manifest's address with ".sig" appended (manifest_signature.h). Their names, reading, writing
// and fetching live here, for the update run, the version check behind
// UpdateWeb and the release tool.
//
// Names are looked up ignoring the case of A to Z, the first of a name counts.
// A missing text item reads as empty text, a missing number as 0.
#pragma once

#include <cstdint>
#include <vector>

#include "base/memory/alloc.h"
#include "base/text/wide_string.h"
#include "base/xconfig/xconfig.h"
#include "base/xconfig/xconfig_writer.h"

// The files in the installation folder.
constexpr wchar_t kBaseInfoFileName[] = L"baseinfo.xconfig";
constexpr wchar_t kManifestFileName[] = L"update.xconfig";
// Where the manifest lives when "baseinfo.xconfig" does not say.
constexpr wchar_t kDefaultManifestUrl[] = L"https://update.castwright.example/pc/client/version";

// A manifest larger than this is not read to its end (the download fails).
constexpr uint64_t kManifestMaxBytes = 64ull << 20;

// The release described by the manifest's "BaseInfo" element.
struct ManifestInfo {
  String version;         // "Version": the newest client version, dotted numbers
  String baseUrl;         // "BaseUrl": every file's URL is this plus its relative name
  String updaterVersion;  // "UpdaterVersion": carried along; written only when not empty
  bool hasMust = false;   // whether there is a "Must" (written only then)
  int32_t must = 0;       // "Must": carried along; nothing acts on it
  String expires;         // "Expires": UTC "YYYY-MM-DDTHH:MM:SSZ"; empty when there is none
};

// One file of the manifest's "FileList". The manifest reading fills the first
// three fields; the update run fills the rest.
struct FileEntry {
  String name;        // the file element's name: the path relative to the installation folder
  String hash;        // "Hash": 40 lower-case hexadecimal digits of the SHA-1
  String sha256;      // "Sha256": 64 lower-case hexadecimal digits; empty when missing
  uint64_t size = 0;  // "Size": unsigned decimal bytes; 0 when missing or not such a number
  String url;
  String localPath;
  String tempPath;
};

// The manifest's files in manifest order.
using FileEntryArray = std::vector<FileEntry, LibraryAllocator<FileEntry>>;

// The manifest address that a parsed "baseinfo.xconfig" below `root` names:
// the "UpdaterConfigeUrl" item of the root's "url" element; kDefaultManifestUrl
// when there is no "url" element or the item is missing or empty.
String ManifestUrlIn(const XElement* root);

// ManifestUrlIn for the file at `baseInfoPath`; kDefaultManifestUrl also when
// the file does not exist or is not valid XConfig. Never creates the file.
// Windows build.
String ManifestUrlOf(const wchar_t* baseInfoPath);

// Opens the manifest at `manifestPath` and reads it as ReadUpdateManifest
// does, the files while the text is parsed (ManifestEntrySink), so that a
// large manifest is never held as a whole tree. False when the file cannot be
// opened or parsed, or when the reading fails. Windows build.
bool ParseUpdateManifest(const wchar_t* manifestPath, FileEntryArray* entries, ManifestInfo* info);

// Reads a parsed manifest below `root`: fills `info` from "BaseInfo" and
// appends one entry per child element of "FileList" to `entries` (data items
// there are no files). False, with both outputs untouched, when "BaseInfo" or
// "FileList" is missing. Linear in the number of files.
bool ReadUpdateManifest(const XElement* root, FileEntryArray* entries, ManifestInfo* info);
// Reads the files of a manifest while it is parsed (XConfig::Open with this
// sink), so that the tree never holds the whole file list: each file element
// of the first "FileList" becomes an entry as soon as it ends and is
// released. Finish then reads the rest as ReadUpdateManifest does; the
// outcome is the same.
class ManifestEntrySink final : public XElementSink {
public:
  bool Consume(XElement* element) override;
  // ReadUpdateManifest on `root` (the tree that the parse left) with the
  // consumed files: appends them to `entries`, in manifest order, and fills
  // `info`. False, with both outputs untouched, when "BaseInfo" or
  // "FileList" is missing.
  bool Finish(const XElement* root, FileEntryArray* entries, ManifestInfo* info);

private:
  FileEntryArray m_entries;
  bool m_fileListEnded = false;
};

// How FetchUpdateManifest ended.
enum class ManifestFetch { kFetched, kNotDownloaded, kNotRead, kNotVerified, kExpired };

struct ManifestKey;

// The manifest of the installation in `folder` (no final separator), as both
// the update run and the version check fetch it: deletes "update.xconfig"
// there, downloads the manifest that "baseinfo.xconfig" names (ManifestUrlOf)
// into it with HttpDownloadWithRetry (kManifestMaxBytes at most), accepting
// the statuses 200 and 304, and
// reads it with ParseUpdateManifest. kNotDownloaded when the download fails or
// answers another status, kNotRead when the file cannot be read as a
// manifest. With a `key` present the signature is fetched right after the
// manifest into "update.xconfig.sig" (the same retry rule; the previous one is
// deleted first) and checked before anything is read: kNotVerified when it
// cannot be fetched or does not match; then kExpired (with `info` filled) when
// the manifest's "Expires" is not a time after now. Through `session` and
// with the provider context `provider` (VerifyManifestFile) when given, with
// their own otherwise. Windows build.
class HttpSession;
ManifestFetch FetchUpdateManifest(const String& folder, const ManifestKey& key, FileEntryArray* entries,
                                  ManifestInfo* info, HttpSession* session = nullptr, uintptr_t provider = 0);

// Whether a manifest whose "Expires" reads `expires` has expired at `now`
// (both UTC "YYYY-MM-DDTHH:MM:SSZ"): true when `expires` is not now or later,
// and also when it is not written in that form.
bool ManifestExpired(const String& expires, const wchar_t* now);

// Whether `text` is a UTC time "YYYY-MM-DDTHH:MM:SSZ" with fields in range.
bool IsUtcTimeText(const wchar_t* text);

// Builds an update manifest: "BaseInfo" from `info`, then "FileList" with one
// element per AddFile in the order added, named by the file's relative path,
// holding "Hash", "Sha256" (when given) and "Size" (decimal).
class UpdateManifestWriter {
public:
  explicit UpdateManifestWriter(const ManifestInfo& info);
  UpdateManifestWriter(const UpdateManifestWriter&) = delete;
  UpdateManifestWriter& operator=(const UpdateManifestWriter&) = delete;

  void AddFile(const String& name, const String& hash, const String& sha256, uint64_t size);
  // Appends the manifest's text to `out`. False, with `error` naming the
  // text, when a name or value cannot be written in the format.
  bool Write(Utf8Text* out, String* error) const;

private:
  XConfig m_document;
  XElement* m_fileList;
};

// Decimal text of `value`.
String DecimalText(uint64_t value);

// Reads `text` as an unsigned decimal number of 64 bits: digits only. False
// for empty text, any other character, or a value above 2^64 - 1.
bool ParseDecimalUInt64(const wchar_t* text, uint64_t* value);
