// The manifest files on disk and their fetching (Windows build).
#include <windows.h>

#include "app/full_path.h"
#include "app/http_download.h"
#include "app/manifest.h"
#include "app/manifest_signature.h"

String ManifestUrlOf(const wchar_t* baseInfoPath) {
  // Open would create a missing file; a missing one means "not configured".
  if (GetFileAttributesW(baseInfoPath) == INVALID_FILE_ATTRIBUTES) return kDefaultManifestUrl;
  XConfig document;
  if (!document.Open(baseInfoPath)) return kDefaultManifestUrl;
  return ManifestUrlIn(document.RootElement());
}

bool ParseUpdateManifest(const wchar_t* manifestPath, FileEntryArray* entries, ManifestInfo* info) {
  ManifestEntrySink files;
  XConfig document;
  return document.Open(manifestPath, &files) && files.Finish(document.RootElement(), entries, info);
}

namespace {
void RemoveIfPresent(const String& path) {
  if (Exists(path)) RemoveFile(path);
}

// The present UTC time as "YYYY-MM-DDTHH:MM:SSZ".
String UtcNowText() {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  return String::Format(L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                        now.wSecond);
}
}  // namespace

ManifestFetch FetchUpdateManifest(const String& folder, const ManifestKey& key, FileEntryArray* entries,
                                  ManifestInfo* info, HttpSession* session, uintptr_t provider) {
  HttpSession ownSession;  // opening one connects nowhere: cheap when unused
  HttpSession& http = session ? *session : ownSession;
  const String manifestPath = String::Format(L"%s\\%s", Text(folder), kManifestFileName);
  const String signaturePath = manifestPath + kSignatureSuffix;
  RemoveIfPresent(manifestPath);
  if (key.IsPresent()) RemoveIfPresent(signaturePath);
  const String url = ManifestUrlOf(String::Format(L"%s\\%s", Text(folder), kBaseInfoFileName));
  uint32_t status = 0;
  TransferLimits limits;
  limits.maxBytes = kManifestMaxBytes;
  if (!http.DownloadWithRetry(url, manifestPath, &status, limits) || !IsAcceptedStatus(status)) {
    return ManifestFetch::kNotDownloaded;
  }
  if (key.IsPresent()) {
    // Nothing of an unsigned manifest is read: the parser sees only what the
    // vendor signed.
    limits.maxBytes = kSignatureMaxBytes;
    if (!http.DownloadWithRetry(url + kSignatureSuffix, signaturePath, &status, limits) || !IsAcceptedStatus(status) ||
        !VerifyManifestFile(key, manifestPath, signaturePath, provider)) {
      return ManifestFetch::kNotVerified;
    }
  }
  if (!ParseUpdateManifest(manifestPath, entries, info)) return ManifestFetch::kNotRead;
  if (key.IsPresent() && !info->expires.IsEmpty() && ManifestExpired(info->expires, UtcNowText())) {
    return ManifestFetch::kExpired;
  }
  return ManifestFetch::kFetched;
}
