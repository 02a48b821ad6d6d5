#include "app/manifest.h"

#include "base/xconfig/xconfig.h"

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
