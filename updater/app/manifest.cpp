#include "app/manifest.h"

#include "base/text/wide_text.h"

namespace {
constexpr wchar_t kUrlElement[] = L"url";
constexpr wchar_t kManifestUrlItem[] = L"UpdaterConfigeUrl";
constexpr wchar_t kBaseInfoElement[] = L"BaseInfo";
constexpr wchar_t kVersionItem[] = L"Version";
constexpr wchar_t kBaseUrlItem[] = L"BaseUrl";
constexpr wchar_t kUpdaterVersionItem[] = L"UpdaterVersion";
constexpr wchar_t kMustItem[] = L"Must";
constexpr wchar_t kExpiresItem[] = L"Expires";
constexpr wchar_t kFileListElement[] = L"FileList";
constexpr wchar_t kHashItem[] = L"Hash";
constexpr wchar_t kSha256Item[] = L"Sha256";
constexpr wchar_t kSizeItem[] = L"Size";

String TextOf(const XElement* element, const wchar_t* name) {
  const XDataItem* item = element->FindDataItem(name);
  return item ? item->Value() : String();
}

uint64_t SizeOf(const XElement* file) {
  uint64_t size = 0;
  const XDataItem* item = file->FindDataItem(kSizeItem);
  return item && ParseDecimalUInt64(item->Value(), &size) ? size : 0;
}

void AddItem(XElement* element, const wchar_t* name, const String& value) {
  element->AddItem(new XDataItem(name, value));
}
}  // namespace

String DecimalText(uint64_t value) {
  wchar_t digits[21];
  wchar_t* p = digits + 20;
  *p = 0;
  do {
    *--p = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value);
  return String(p);
}

bool ParseDecimalUInt64(const wchar_t* text, uint64_t* value) {
  if (!text || !*text) return false;
  uint64_t result = 0;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p < L'0' || *p > L'9') return false;
    const uint64_t digit = static_cast<uint64_t>(*p - L'0');
    if (result > (UINT64_MAX - digit) / 10) return false;
    result = result * 10 + digit;
  }
  *value = result;
  return true;
}

namespace {
// The entry of one file element. With `take` the name and digests are moved
// out of the element instead of copied, so that a large manifest's texts are
// held once.
FileEntry EntryOf(XElement* file, bool take) {
  auto textOf = [file, take](const wchar_t* name) {
    XDataItem* item = file->FindDataItem(name);
    return !item ? String() : take ? item->TakeValue() : item->Value();
  };
  FileEntry entry;
  entry.size = SizeOf(file);
  entry.hash = textOf(kHashItem);
  entry.sha256 = textOf(kSha256Item);
  entry.name = take ? file->TakeName() : file->Name();
  return entry;
}

bool IsFileList(const XElement* element) {
  // The root's element, which alone has no parent.
  return element->Parent() && !element->Parent()->Parent() && WCompareNoCase(Text(element->Name()), kFileListElement) == 0;
}
}  // namespace

bool ReadUpdateManifest(const XElement* root, FileEntryArray* entries, ManifestInfo* info) {
  const XElement* baseInfo = root->FindElement(kBaseInfoElement);
  const XElement* fileList = root->FindElement(kFileListElement);
  if (!baseInfo || !fileList) return false;

  info->version = TextOf(baseInfo, kVersionItem);
  info->baseUrl = TextOf(baseInfo, kBaseUrlItem);
  info->updaterVersion = TextOf(baseInfo, kUpdaterVersionItem);
  info->hasMust = baseInfo->FindDataItem(kMustItem) != nullptr;
  info->must = static_cast<int32_t>(baseInfo->IntValue(kMustItem, 0));
  info->expires = TextOf(baseInfo, kExpiresItem);

  uint32_t count = fileList->ElementCount();
  entries->reserve(entries->size() + count);
  for (uint32_t i = 0; i < count; ++i) {
    // Copies only: the tree stays as it is.
    entries->push_back(EntryOf(const_cast<XElement*>(fileList->ElementAt(i)), false));
  }
  return true;
}

bool ManifestEntrySink::Consume(XElement* element) {
  // Every element of the first "FileList" has ended before that list itself.
  if (m_fileListEnded) return false;
  if (IsFileList(element)) {
    m_fileListEnded = true;
    return false;
  }
  if (!element->Parent() || !IsFileList(element->Parent())) return false;
  m_entries.push_back(EntryOf(element, true));
  return true;
}

bool ManifestEntrySink::Finish(const XElement* root, FileEntryArray* entries, ManifestInfo* info) {
  FileEntryArray none;
  if (!ReadUpdateManifest(root, &none, info)) return false;
  entries->reserve(entries->size() + m_entries.size());
  for (FileEntry& entry : m_entries) entries->push_back(std::move(entry));
  FileEntryArray().swap(m_entries);
  return true;
}

UpdateManifestWriter::UpdateManifestWriter(const ManifestInfo& info) {
  m_document.OpenText(nullptr, nullptr);  // an empty tree to fill
  XElement* root = m_document.RootElement();
  XElement* baseInfo = root->AddElement(kBaseInfoElement);
  AddItem(baseInfo, kVersionItem, info.version);
  AddItem(baseInfo, kBaseUrlItem, info.baseUrl);
  if (!info.updaterVersion.IsEmpty()) AddItem(baseInfo, kUpdaterVersionItem, info.updaterVersion);
  if (info.hasMust) {
    String must;
    must = info.must;
    AddItem(baseInfo, kMustItem, must);
  }
  if (!info.expires.IsEmpty()) AddItem(baseInfo, kExpiresItem, info.expires);
  m_fileList = root->AddElement(kFileListElement);
}

void UpdateManifestWriter::AddFile(const String& name, const String& hash, const String& sha256, uint64_t size) {
  XElement* element = m_fileList->AddElement(name);
  AddItem(element, kHashItem, hash);
  if (!sha256.IsEmpty()) AddItem(element, kSha256Item, sha256);
  AddItem(element, kSizeItem, DecimalText(size));
}

bool UpdateManifestWriter::Write(Utf8Text* out, String* error) const {
  const XBaseItem* unwritable = nullptr;
  if (WriteXConfigText(m_document.RootElement(), out, &unwritable)) return true;
  *error = String(L"cannot write \"") + (unwritable ? unwritable->Name() : String()) +
           L"\" in a manifest: it holds text that the format cannot carry";
  return false;
}

String ManifestUrlIn(const XElement* root) {
  const XElement* element = root->FindElement(kUrlElement);
  const XDataItem* item = element ? element->FindDataItem(kManifestUrlItem) : nullptr;
  return item && !item->Value().IsEmpty() ? item->Value() : String(kDefaultManifestUrl);
}

bool IsUtcTimeText(const wchar_t* text) {
  static const wchar_t kForm[] = L"0000-00-00T00:00:00Z";
  if (!text) return false;
  uint32_t i = 0;
  for (; kForm[i]; ++i) {
    if (kForm[i] == L'0' ? text[i] < L'0' || text[i] > L'9' : text[i] != kForm[i]) return false;
  }
  if (text[i]) return false;
  auto field = [text](int at) { return (text[at] - L'0') * 10 + (text[at + 1] - L'0'); };
  return field(5) >= 1 && field(5) <= 12 && field(8) >= 1 && field(8) <= 31 && field(11) <= 23 &&
         field(14) <= 59 && field(17) <= 60;
}

bool ManifestExpired(const String& expires, const wchar_t* now) {
  // The fixed form orders as its text does.
  return !IsUtcTimeText(expires) || !IsUtcTimeText(now) || WCompare(Text(expires), now) < 0;
}
