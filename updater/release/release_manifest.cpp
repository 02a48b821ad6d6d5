#include "release/release_manifest.h"

#include <algorithm>

#include "app/update_rules.h"
#include "base/text/wide_text.h"
#include "base/xconfig/xconfig.h"

namespace {
bool IsDigit(wchar_t ch) { return ch >= L'0' && ch <= L'9'; }

bool StartsWithNoCase(const String& text, const wchar_t* prefix) {
  uint32_t length = WLength(prefix);
  return text.Length() > length && WCompareNoCase(String(text.Text(), length), prefix) == 0;
}

// `name` with the letters A to Z folded, as one file on Windows.
String FoldedName(const String& name) {
  std::vector<wchar_t, LibraryAllocator<wchar_t>> units(name.Text(), name.Text() + name.Length());
  for (wchar_t& ch : units) {
    if (ch >= L'A' && ch <= L'Z') ch = static_cast<wchar_t>(ch + (L'a' - L'A'));
  }
  return String(units.data(), static_cast<uint32_t>(units.size()));
}
}  // namespace

bool TextBefore(const String& a, const String& b) {
  return WCompare(Text(a), Text(b)) < 0;
}

bool IsDottedVersion(const String& text) {
  if (text.IsEmpty()) return false;
  bool digitBefore = false;
  for (uint32_t i = 0; i < text.Length(); ++i) {
    wchar_t ch = text.Text()[i];
    if (IsDigit(ch)) {
      digitBefore = true;
    } else if (ch == L'.' && digitBefore) {
      digitBefore = false;
    } else {
      return false;
    }
  }
  return digitBefore;
}

bool IsBaseUrl(const String& url) {
  if (!StartsWithNoCase(url, L"http://") && !StartsWithNoCase(url, L"https://")) return false;
  for (uint32_t i = 0; i < url.Length(); ++i) {
    wchar_t ch = url.Text()[i];
    if (ch <= L' ' || ch == 0x7F || ch == 0x3000) return false;
  }
  return true;
}

String WithFinalSlash(const String& url) {
  if (!url.IsEmpty() && url.Text()[url.Length() - 1] == L'/') return url;
  return url + L"/";
}

bool ParseInt32(const String& text, int32_t* value) {
  const wchar_t* p = text.Text();
  if (!p) return false;
  bool negative = *p == L'-';
  if (negative) ++p;
  if (!*p) return false;
  int64_t magnitude = 0;
  for (; *p; ++p) {
    if (!IsDigit(*p)) return false;
    magnitude = magnitude * 10 + (*p - L'0');
    if (magnitude > int64_t{INT32_MAX} + 1) return false;
  }
  if (!negative && magnitude > INT32_MAX) return false;
  *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

bool IsDigestText(const String& text, uint32_t digits) {
  if (text.Length() != digits) return false;
  for (uint32_t i = 0; i < text.Length(); ++i) {
    wchar_t ch = text.Text()[i];
    if (!IsDigit(ch) && !(ch >= L'a' && ch <= L'f')) return false;
  }
  return true;
}

void SortReleaseFiles(ReleaseFileArray* files) {
  std::sort(files->begin(), files->end(),
            [](const ReleaseFile& a, const ReleaseFile& b) { return TextBefore(a.name, b.name); });
}

bool CheckReleaseNames(const ReleaseFileArray& files, StringArray* problems) {
  size_t before = problems->size();
  for (const ReleaseFile& file : files) {
    if (!IsSafeRelativeName(file.name)) {
      problems->push_back(String(L"the updater rejects the file name \"") + file.name + L"\"");
    }
  }
  StringArray folded;
  folded.reserve(files.size());
  for (const ReleaseFile& file : files) folded.push_back(FoldedName(file.name));
  std::vector<size_t, LibraryAllocator<size_t>> order(files.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  // Groups of one folded name, each in the order of the names as written.
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (TextBefore(folded[a], folded[b])) return true;
    if (TextBefore(folded[b], folded[a])) return false;
    return TextBefore(files[a].name, files[b].name);
  });
  for (size_t first = 0, end; first < order.size(); first = end) {
    String group;
    for (end = first + 1; end < order.size() && !TextBefore(folded[order[first]], folded[order[end]]); ++end) {
      group += String(L", \"") + files[order[end]].name + L"\"";
    }
    if (end - first > 1) {
      problems->push_back(String(L"file names differ only in letter case (one file on Windows): \"") +
                          files[order[first]].name + L"\"" + group);
    }
  }
  return problems->size() == before;
}

bool WriteReleaseManifest(const ReleaseInfo& info, const ReleaseFileArray& files, Utf8Text* out, String* error) {
  UpdateManifestWriter writer(info);
  for (const ReleaseFile& file : files) writer.AddFile(file.name, file.hash, file.sha256, file.size);
  return writer.Write(out, error);
}
