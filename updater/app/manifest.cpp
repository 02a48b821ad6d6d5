#include "app/manifest.h"

#include "base/xconfig.h"

namespace {
String TextOf(const XElement* element, const wchar_t* name) {
  const XDataItem* item = element->FindDataItem(name);
  return item ? item->Value() : String();
}
}  // namespace

bool ReadUpdateManifest(const XElement* root, FileEntryArray* entries, ManifestInfo* info) {
  const XElement* baseInfo = root->FindElement(L"BaseInfo");
  const XElement* fileList = root->FindElement(L"FileList");
  if (!baseInfo || !fileList) return false;

  info->version = TextOf(baseInfo, L"Version");
  info->baseUrl = TextOf(baseInfo, L"BaseUrl");
  info->must = static_cast<int32_t>(baseInfo->IntValue(L"Must", 0));

  uint32_t count = fileList->ElementCount();
  entries->reserve(entries->size() + count);
  for (uint32_t i = 0; i < count; ++i) {
    const XElement* file = fileList->ElementAt(i);
    FileEntry entry;
    entry.name = file->Name();
    entry.hash = TextOf(file, L"Hash");
    entry.size = static_cast<int32_t>(file->IntValue(L"Size", 0));
    entries->push_back(std::move(entry));
  }
  return true;
}

namespace {
bool IsPathSeparator(wchar_t ch) { return ch == L'\\' || ch == L'/'; }

// Characters that Windows never allows in a file name; ":" and the separators
// have rules of their own.
bool IsForbiddenInFileName(wchar_t ch) {
  return ch < 0x20 || ch == L'"' || ch == L'<' || ch == L'>' || ch == L'|' || ch == L'?' || ch == L'*';
}

// A component that Windows path rules would climb out of the folder with:
// two or more dots, possibly with spaces (trailing dots and spaces are dropped).
bool IsDotsComponent(const wchar_t* begin, const wchar_t* end) {
  int dots = 0;
  for (const wchar_t* p = begin; p < end; ++p) {
    if (*p == L'.') {
      ++dots;
    } else if (*p != L' ') {
      return false;
    }
  }
  return dots >= 2;
}
}  // namespace

bool IsSafeRelativeName(const wchar_t* name) {
  if (!name || !*name || IsPathSeparator(*name)) return false;
  const wchar_t* component = name;
  for (const wchar_t* p = name;; ++p) {
    if (*p == 0 || IsPathSeparator(*p)) {
      if (IsDotsComponent(component, p)) return false;
      if (*p == 0) return true;
      component = p + 1;
    } else if (*p == L':' || IsForbiddenInFileName(*p)) {
      return false;
    }
  }
}
