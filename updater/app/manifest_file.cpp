// The manifest files on disk (Windows build).
#include <windows.h>

#include "app/manifest.h"
#include "base/xconfig/xconfig.h"

bool ReadManifestUrl(const wchar_t* baseInfoPath, String* url) {
  // Open would create a missing file; a missing one means "not configured".
  if (GetFileAttributesW(baseInfoPath) == INVALID_FILE_ATTRIBUTES) return false;
  XConfig document;
  if (!document.Open(baseInfoPath)) return false;
  const XElement* element = document.RootElement()->FindElement(L"url");
  if (!element) return false;
  const XDataItem* item = element->FindDataItem(L"UpdaterConfigeUrl");
  *url = item ? item->Value() : String();
  return true;
}

bool ParseUpdateManifest(const wchar_t* manifestPath, FileEntryArray* entries, ManifestInfo* info) {
  XConfig document;
  return document.Open(manifestPath) && ReadUpdateManifest(document.RootElement(), entries, info);
}
