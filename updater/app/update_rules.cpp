#include "app/update_rules.h"

#include "base/text/wide_text.h"

namespace {
bool IsSeparator(wchar_t ch) { return ch == L'\\' || ch == L'/'; }

bool IsCrtSpace(wchar_t ch) { return ch == L' ' || (ch >= L'\t' && ch <= L'\r'); }

// Characters that no Windows file name holds; ":" and the separators have
// rules of their own.
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

// The version part at `cursor` read as an integer; leaves the cursor on the
// dot that ends the part, or on the terminator.
uint32_t NextPart(const wchar_t*& cursor) {
  uint32_t value = static_cast<uint32_t>(DecimalToInt32(cursor));
  while (*cursor && *cursor != L'.') ++cursor;
  return value;
}
}  // namespace

String GetDirectoryOfPath(const String& path) {
  const wchar_t* text = path.Text();
  int32_t last = -1;
  for (uint32_t i = 0; i < path.Length(); ++i) {
    if (IsSeparator(text[i])) last = static_cast<int32_t>(i);
  }
  return last > 0 ? path.Mid(0, last) : String();
}

int32_t DecimalToInt32(const wchar_t* text) {
  if (!text) return 0;
  while (IsCrtSpace(*text)) ++text;
  bool negative = false;
  if (*text == L'+' || *text == L'-') negative = *text++ == L'-';
  int64_t value = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    value = value * 10 + (*text - L'0');
    if (value > 0x80000000LL) value = 0x80000000LL;  // saturate; more digits change nothing
  }
  if (negative) return static_cast<int32_t>(-value);
  return value > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(value);
}

int CompareVersions(const String& clientVersion, const String& manifestVersion) {
  if (clientVersion.Length() != manifestVersion.Length()) return 1;
  static const wchar_t kEmpty[] = L"";
  const wchar_t* client = clientVersion.IsEmpty() ? kEmpty : clientVersion.Text();
  const wchar_t* manifest = manifestVersion.IsEmpty() ? kEmpty : manifestVersion.Text();
  // Pairwise up to the shorter list of parts.
  for (;;) {
    uint32_t clientPart = NextPart(client);
    uint32_t manifestPart = NextPart(manifest);
    if (clientPart != manifestPart) return clientPart < manifestPart ? 1 : 0;
    if (*client != L'.' || *manifest != L'.') return 0;
    ++client;
    ++manifest;
  }
}

bool CompareVersionsByPosition(const wchar_t* localVersion, const wchar_t* remoteVersion) {
  const uint32_t localLength = WLength(localVersion);
  const uint32_t remoteLength = WLength(remoteVersion);
  const uint32_t shorter = localLength < remoteLength ? localLength : remoteLength;
  for (uint32_t i = 0; i < shorter; ++i) {
    int32_t remote = DecimalToInt32(remoteVersion + i);
    int32_t local = DecimalToInt32(localVersion + i);
    if (remote != local) return remote > local;
  }
  return false;
}

bool IsSafeRelativeName(const wchar_t* name) {
  if (!name || !*name || IsSeparator(*name)) return false;
  const wchar_t* begin = name;
  for (const wchar_t* p = name;; ++p) {
    if (*p == 0 || IsSeparator(*p)) {
      if (IsDotsComponent(begin, p)) return false;
      if (*p == 0) return true;
      begin = p + 1;
    } else if (*p == L':' || IsForbiddenInFileName(*p)) {
      return false;
    }
  }
}

ProgressFigures ScaleProgress(uint64_t done, uint64_t total) {
  while (total > 0x7FFFFFFF) {
    done >>= 1;
    total >>= 1;
  }
  return {static_cast<uint32_t>(done), static_cast<uint32_t>(total)};
}

int CompareVersionNumbers(const wchar_t* a, const wchar_t* b) {
  auto part = [](const wchar_t*& p) {
    uint64_t value = 0;
    for (; p && *p >= L'0' && *p <= L'9'; ++p) {
      value = value * 10 + static_cast<uint64_t>(*p - L'0');
      if (value > 0xFFFFFFFFu) value = 0xFFFFFFFFu;
    }
    while (p && *p && *p != L'.') ++p;
    if (p && *p == L'.') ++p;
    return value;
  };
  while ((a && *a) || (b && *b)) {
    uint64_t left = part(a);
    uint64_t right = part(b);
    if (left != right) return left < right ? -1 : 1;
  }
  return 0;
}
