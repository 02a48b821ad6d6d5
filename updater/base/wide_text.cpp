#include "base/wide_text.h"

namespace {
inline bool IsTrimmed(wchar_t ch) { return ch == L' ' || ch == L'\t' || ch == 0x4E02; }

inline unsigned FoldAscii(wchar_t ch) {
  unsigned unit = static_cast<uint16_t>(ch);
  return (unit >= 'A' && unit <= 'Z') ? unit + ('a' - 'A') : unit;
}

template <typename Fold>
int CompareWith(const wchar_t* a, const wchar_t* b, Fold fold) {
  if (!a || !b) return -1;
  for (;; ++a, ++b) {
    unsigned x = fold(*a), y = fold(*b);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}
}  // namespace

uint32_t WLength(const wchar_t* text) {
  if (!text) return 0;
  const wchar_t* end = text;
  while (*end) ++end;
  return static_cast<uint32_t>(end - text);
}

wchar_t* WCopy(wchar_t* dest, const wchar_t* source) {
  wchar_t* out = dest;
  while ((*out++ = *source++) != 0) {
  }
  return dest;
}

wchar_t* WAppend(wchar_t* dest, const wchar_t* source) {
  WCopy(dest + WLength(dest), source);
  return dest;
}

int WCompare(const wchar_t* a, const wchar_t* b) {
  return CompareWith(a, b, [](wchar_t ch) { return static_cast<unsigned>(static_cast<uint16_t>(ch)); });
}

int WCompareNoCase(const wchar_t* a, const wchar_t* b) { return CompareWith(a, b, FoldAscii); }

const wchar_t* WFindChar(const wchar_t* text, wchar_t ch) {
  if (!text) return nullptr;
  for (; *text; ++text) {
    if (*text == ch) return text;
  }
  return nullptr;
}

const wchar_t* WFind(const wchar_t* text, const wchar_t* what) {
  if (!text || !what) return nullptr;
  if (!*what) return text;
  for (; *text; ++text) {
    const wchar_t* t = text;
    const wchar_t* w = what;
    while (*w && *t == *w) ++t, ++w;
    if (!*w) return text;
  }
  return nullptr;
}

wchar_t* WTrim(wchar_t* text) {
  if (!text) return nullptr;
  const wchar_t* start = text;
  while (IsTrimmed(*start)) ++start;
  uint32_t length = WLength(start);
  while (length > 0 && IsTrimmed(start[length - 1])) --length;
  for (uint32_t i = 0; i < length; ++i) text[i] = start[i];
  text[length] = 0;
  return text;
}

wchar_t* Utf8ToWide(const char* utf8) { return Utf8ToWide(utf8, nullptr); }
