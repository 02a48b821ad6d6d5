#include "base/text/wide_string.h"

#include <cstring>

#include "base/memory/alloc.h"
#include "base/system/log.h"
#include "base/text/wide_text.h"

namespace {
wchar_t* Resize(wchar_t* buffer, uint32_t characters) {
  return static_cast<wchar_t*>(MemRealloc(buffer, (uint64_t{characters} + 1) * sizeof(wchar_t)));
}

void CopyChars(wchar_t* dest, const wchar_t* source, uint32_t count) {
  if (count == 0) return;  // `source` may then be none
  std::memmove(dest, source, static_cast<size_t>(count) * sizeof(wchar_t));
}

uint32_t CheckedSum(uint32_t a, uint32_t b) {
  // One character of the 32-bit range stays free for the terminator.
  if (b >= UINT32_MAX - a) RaiseFatal(L"String too long: %u + %u characters", a, b);
  return a + b;
}
}  // namespace

String::String(const wchar_t* text) { Assign(text, WLength(text)); }

String::String(const wchar_t* text, uint32_t length) { Assign(text, length); }

String::String(const String& other) { Assign(other.m_text, other.m_length); }

String::String(String&& other) noexcept : m_text(other.m_text), m_length(other.m_length) {
  other.m_text = nullptr;
  other.m_length = 0;
}

String::~String() { MemFree(m_text); }

String String::Adopt(wchar_t* buffer, uint32_t length) {
  String result;
  if (length == 0) {
    MemFree(buffer);
    return result;
  }
  result.m_text = Resize(buffer, length);
  result.m_text[length] = 0;
  result.m_length = length;
  return result;
}

String String::FromUtf8(const char* utf8) {
  uint32_t length = 0;
  wchar_t* buffer = Utf8ToWide(utf8, &length);
  return buffer ? Adopt(buffer, length) : String();
}

void String::Release() {
  MemFree(m_text);
  m_text = nullptr;
  m_length = 0;
}

void String::Assign(const wchar_t* text, uint32_t length) {
  if (length == 0) {
    Release();
    return;
  }
  if (m_text && text >= m_text && text <= m_text + m_length) {
    // A part of this string's own text: move it to the front before shrinking.
    CopyChars(m_text, text, length);
    m_text = Resize(m_text, length);
  } else {
    m_text = Resize(m_text, length);
    CopyChars(m_text, text, length);
  }
  m_text[length] = 0;
  m_length = length;
}

void String::Append(const wchar_t* text, uint32_t length) {
  if (length == 0) return;
  uint32_t total = CheckedSum(m_length, length);
  bool own = m_text && text >= m_text && text <= m_text + m_length;
  size_t offset = own ? static_cast<size_t>(text - m_text) : 0;
  m_text = Resize(m_text, total);
  CopyChars(m_text + m_length, own ? m_text + offset : text, length);
  m_text[total] = 0;
  m_length = total;
}

String& String::operator=(const wchar_t* text) {
  Assign(text, WLength(text));
  return *this;
}

String& String::operator=(const String& other) {
  if (this != &other) Assign(other.m_text, other.m_length);
  return *this;
}

String& String::operator=(String&& other) noexcept {
  if (this != &other) {
    MemFree(m_text);
    m_text = other.m_text;
    m_length = other.m_length;
    other.m_text = nullptr;
    other.m_length = 0;
  }
  return *this;
}

String& String::operator=(int32_t value) {
  wchar_t digits[12];
  wchar_t* p = digits + 11;
  *p = 0;
  // Work on the magnitude as unsigned so that INT32_MIN has one too.
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) *--p = L'-';
  Assign(p, static_cast<uint32_t>(digits + 11 - p));
  return *this;
}

String& String::operator+=(const wchar_t* text) {
  Append(text, WLength(text));
  return *this;
}

String& String::operator+=(const String& other) {
  Append(other.m_text, other.m_length);
  return *this;
}

String operator+(const String& left, const wchar_t* right) {
  String result(left);
  result += right;
  return result;
}

String String::Mid(int32_t iStart, int32_t iEnd) const {
  if (m_length == 0) return String();
  if (iStart < 0 || static_cast<uint32_t>(iStart) >= m_length || iEnd < 0 ||
      static_cast<uint32_t>(iEnd) > m_length || iEnd <= iStart) {
    WriteWarning(L"Bad call to String::Mid.  iStart or iEnd is bigger than the current length (string: %s).",
                 m_text);
    return String();
  }
  String result;
  result.Assign(m_text + iStart, static_cast<uint32_t>(iEnd - iStart));
  return result;
}

void String::SetLength(uint32_t length) {
  if (length == 0) {
    Release();
    return;
  }
  if (length == UINT32_MAX) RaiseFatal(L"String too long: %u characters", length);
  m_text = Resize(m_text, length);
  if (length > m_length) {
    std::memset(m_text + m_length, 0, (static_cast<size_t>(length - m_length) + 1) * sizeof(wchar_t));
  } else {
    m_text[length] = 0;
  }
  m_length = length;
}

void String::ReplaceAll(const wchar_t* find, const wchar_t* replace) {
  uint32_t findLength = WLength(find);
  if (m_length == 0 || findLength == 0) return;
  // Patterns taken from this string's own buffer would move under us.
  String findCopy, replaceCopy;
  auto ownText = [this](const wchar_t* text) { return text && text >= m_text && text <= m_text + m_length; };
  if (ownText(find)) find = (findCopy = String(find)).Text();
  if (ownText(replace)) replace = (replaceCopy = String(replace)).Text();
  uint32_t replaceLength = WLength(replace);

  if (replaceLength <= findLength) {
    // Shrinking or equal: one pass in place.
    uint32_t shrink = findLength - replaceLength;
    uint32_t before = m_length;
    wchar_t* scan = m_text;
    while (wchar_t* hit = const_cast<wchar_t*>(WFind(scan, find))) {
      if (shrink) {
        uint32_t tail = m_length - static_cast<uint32_t>(hit - m_text) - findLength + 1;
        CopyChars(hit + replaceLength, hit + findLength, tail);
        m_length -= shrink;
      }
      CopyChars(hit, replace, replaceLength);
      scan = hit + replaceLength;
    }
    if (m_length != before) {
      // Keep the exact-size invariant (and no buffer at all when nothing is left).
      wchar_t* buffer = m_text;
      uint32_t length = m_length;
      m_text = nullptr;
      m_length = 0;
      *this = Adopt(buffer, length);
    }
    return;
  }

  uint32_t count = 0;
  for (const wchar_t* hit = WFind(m_text, find); hit; hit = WFind(hit + findLength, find)) ++count;
  if (count == 0) return;
  uint32_t grow = replaceLength - findLength;
  uint64_t finalLength = m_length + static_cast<uint64_t>(grow) * count;
  if (finalLength >= UINT32_MAX) RaiseFatal(L"String too long: %I64u characters", finalLength);
  m_text = Resize(m_text, static_cast<uint32_t>(finalLength));
  wchar_t* scan = m_text;
  while (wchar_t* hit = const_cast<wchar_t*>(WFind(scan, find))) {
    uint32_t tail = m_length - static_cast<uint32_t>(hit - m_text) - findLength + 1;
    CopyChars(hit + replaceLength, hit + findLength, tail);
    CopyChars(hit, replace, replaceLength);
    m_length += grow;
    scan = hit + replaceLength;
  }
}
