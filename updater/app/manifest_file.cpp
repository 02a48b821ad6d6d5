// The manifest files on disk and their fetching (Windows build).
#include <windows.h>

#include "app/http_download.h"
#include "app/manifest.h"

String ManifestUrlOf(const wchar_t* baseInfoPath) {
  // Open would create a missing file; a missing one means "not configured".
  if (GetFileAttributesW(baseInfoPath) == INVALID_FILE_ATTRIBUTES) return kDefaultManifestUrl;
  XConfig document;
  if (!document.Open(baseInfoPath)) return kDefaultManifestUrl;
  return ManifestUrlIn(document.RootElement());
}

bool ParseUpdateManifest(const wchar_t* manifestPath, FileEntryArray* entries, ManifestInfo* info) {
  XConfig document;
  return document.Open(manifestPath) && ReadUpdateManifest(document.RootElement(), entries, info);
}

ManifestFetch FetchUpdateManifest(const String& folder, FileEntryArray* entries, ManifestInfo* info) {
  const String manifestPath = String::Format(L"%s\\%s", Text(folder), kManifestFileName);
  if (GetFileAttributesW(manifestPath) != INVALID_FILE_ATTRIBUTES) {
    SetFileAttributesW(manifestPath, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(manifestPath);
  }
  const String url = ManifestUrlOf(String::Format(L"%s\\%s", Text(folder), kBaseInfoFileName));
  uint32_t status = 0;
  TransferLimits limits;
  limits.maxBytes = kManifestMaxBytes;
  if (!HttpDownloadWithRetry(url, manifestPath, &status, limits) || (status != 200 && status != 304)) {
    return ManifestFetch::kNotDownloaded;
  }
  return ParseUpdateManifest(manifestPath, entries, info) ? ManifestFetch::kFetched : ManifestFetch::kNotRead;
}
