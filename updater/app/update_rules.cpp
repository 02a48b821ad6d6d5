#include "app/update_rules.h"

#include <cstddef>
#include <initializer_list>

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

wchar_t AsciiUpper(wchar_t ch) { return ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - L'a' + L'A') : ch; }

// Whether [begin, begin + length) is `device` ignoring the case of a to z.
bool IsNamed(const wchar_t* begin, size_t length, const char* device) {
  size_t i = 0;
  for (; device[i]; ++i) {
    if (i == length || AsciiUpper(begin[i]) != static_cast<wchar_t>(device[i])) return false;
  }
  return i == length;
}

// Whether the component [begin, end) names a DOS device, which Windows finds
// in any folder: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9
// (superscript 1 to 3 too), in any letter case, followed by nothing but
// spaces before the end or before a dot (an extension, or trailing dots).
bool IsDeviceComponent(const wchar_t* begin, const wchar_t* end) {
  const wchar_t* stem = begin;
  while (stem < end && *stem != L'.') ++stem;
  while (stem > begin && stem[-1] == L' ') --stem;
  const size_t length = static_cast<size_t>(stem - begin);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (IsNamed(begin, length, device)) return true;
  }
  if (length != 4 || !(IsNamed(begin, 3, "COM") || IsNamed(begin, 3, "LPT"))) return false;
  const wchar_t digit = begin[3];
  return (digit >= L'0' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

// A component of dots and spaces only (none at all included): Windows drops
// trailing dots and spaces, so as the last component it names the folder
// above, never a file.
bool IsBlankComponent(const wchar_t* begin, const wchar_t* end) {
  for (const wchar_t* p = begin; p < end; ++p) {
    if (*p != L'.' && *p != L' ') return false;
  }
  return true;
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
      if (IsDotsComponent(begin, p) || IsDeviceComponent(begin, p)) return false;
      if (*p == 0) return !IsBlankComponent(begin, p);
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

String NameKey(const wchar_t* name) {
  String key;
  if (!name) return key;
  const wchar_t* begin = name;
  for (const wchar_t* p = name;; ++p) {
    if (*p == 0 || IsSeparator(*p)) {
      const wchar_t* end = p;
      while (end > begin && (end[-1] == L'.' || end[-1] == L' ')) --end;
      key += String(begin, static_cast<uint32_t>(end - begin));
      if (*p == 0) return key;
      key += L"\\";
      begin = p + 1;
    }
  }
}

String UrlPathOfName(const wchar_t* name) {
  static const char kHex[] = "0123456789ABCDEF";
  String path;
  if (!name) return path;
  auto escape = [&](uint32_t byte) {
    const wchar_t escaped[] = {L'%', static_cast<wchar_t>(kHex[byte >> 4]), static_cast<wchar_t>(kHex[byte & 15]), 0};
    path += escaped;
  };
  for (const wchar_t* p = name; *p; ++p) {
    const wchar_t ch = *p;
    if ((ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z') || (ch >= L'0' && ch <= L'9') || ch == L'-' ||
        ch == L'.' || ch == L'_' || ch == L'~' || ch == L'/') {
      const wchar_t plain[] = {ch, 0};
      path += plain;
      continue;
    }
    if (ch == L'\\') {
      path += L"/";
      continue;
    }
    uint32_t code = ch;
    // A surrogate pair is one character; a lone surrogate is sent as U+FFFD.
    if (ch >= 0xD800 && ch <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      code = 0x10000 + ((ch - 0xD800u) << 10) + (p[1] - 0xDC00u);
      ++p;
    } else if (ch >= 0xD800 && ch <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      escape(code);
    } else if (code < 0x800) {
      escape(0xC0 | (code >> 6));
      escape(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      escape(0xE0 | (code >> 12));
      escape(0x80 | ((code >> 6) & 0x3F));
      escape(0x80 | (code & 0x3F));
    } else {
      escape(0xF0 | (code >> 18));
      escape(0x80 | ((code >> 12) & 0x3F));
      escape(0x80 | ((code >> 6) & 0x3F));
      escape(0x80 | (code & 0x3F));
    }
  }
  return path;
}

bool SameDigest(const wchar_t* a, const wchar_t* b) {
  if (!a || !b) return a == b;
  for (;; ++a, ++b) {
    if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
    if (*a == 0) return true;
  }
}

String MessageName(const String& text) { return ShortenedMiddle(text, 300); }

String ShortenedMiddle(const String& text, uint32_t limit) {
  if (limit < 16) limit = 16;
  if (text.Length() <= limit) return text;
  const uint32_t head = (limit - 3) / 2;
  const uint32_t tail = limit - 3 - head;
  String shortened(text.Text(), head);
  shortened += L"...";
  shortened += String(text.Text() + text.Length() - tail, tail);
  return shortened;
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
