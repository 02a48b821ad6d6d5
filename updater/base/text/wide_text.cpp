#include "base/text/wide_text.h"

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
  const wchar_t* end = text + WLength(text);
  WTrimRange(&start, &end);
  uint32_t length = static_cast<uint32_t>(end - start);
  for (uint32_t i = 0; i < length; ++i) text[i] = start[i];
  text[length] = 0;
  return text;
}

void WTrimRange(const wchar_t** begin, const wchar_t** end) {
  while (*begin < *end && IsTrimmed(**begin)) ++*begin;
  while (*end > *begin && IsTrimmed((*end)[-1])) --*end;
}

uint32_t WToUnsigned(const wchar_t* text, int base) {
  if (!text || base < 0 || base == 1 || base > 36) return 0;
  const wchar_t* p = text;
  while (*p == L' ' || (*p >= L'\t' && *p <= L'\r')) ++p;
  bool negative = *p == L'-';
  if (*p == L'-' || *p == L'+') ++p;
  bool hexPrefix = p[0] == L'0' && (p[1] == L'x' || p[1] == L'X');
  if ((base == 0 || base == 16) && hexPrefix) {
    base = 16;
    p += 2;
  } else if (base == 0) {
    base = p[0] == L'0' ? 8 : 10;
  }
  uint32_t value = 0;
  bool overflow = false;
  for (;; ++p) {
    unsigned unit = FoldAscii(*p);
    unsigned digit = unit >= '0' && unit <= '9' ? unit - '0' : unit >= 'a' && unit <= 'z' ? unit - 'a' + 10 : 36;
    if (digit >= static_cast<unsigned>(base)) break;
    if (value > (UINT32_MAX - digit) / static_cast<uint32_t>(base)) overflow = true;
    value = value * static_cast<uint32_t>(base) + digit;
  }
  if (overflow) return UINT32_MAX;
  return negative ? 0u - value : value;
}

wchar_t* Utf8ToWide(const char* utf8) { return Utf8ToWide(utf8, nullptr); }
