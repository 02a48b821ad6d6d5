// UTF-8 decoding for the native (sanitizer and fuzz) build, where the platform
// conversion does not exist. Each malformed sequence becomes U+FFFD, as with
// the platform's conversion (which may split some sequences differently).
#include "base/memory/alloc.h"
#include "base/text/wide_text.h"

namespace {
constexpr char16_t kReplacement = 0xFFFD;

// Decodes one code point at `p`; advances `p` past what was consumed.
uint32_t DecodeOne(const unsigned char*& p) {
  unsigned char lead = *p++;
  if (lead < 0x80) return lead;
  int extra;
  uint32_t value, minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  for (int i = 0; i < extra; ++i) {
    if ((*p & 0xC0) != 0x80) return kReplacement;  // the terminator stops here too
    value = (value << 6) | (*p++ & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kReplacement;
  return value;
}
}  // namespace

wchar_t* Utf8ToWide(const char* utf8, uint32_t* length) {
  if (length) *length = 0;
  if (!utf8) return nullptr;
  // Never more UTF-16 units than input bytes.
  uint64_t bytes = 0;
  while (utf8[bytes]) ++bytes;
  wchar_t* wide = static_cast<wchar_t*>(MemAlloc((bytes + 1) * sizeof(wchar_t)));
  const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
  uint32_t out = 0;
  while (*p) {
    uint32_t code = DecodeOne(p);
    if (code >= 0x10000) {
      code -= 0x10000;
      wide[out++] = static_cast<wchar_t>(0xD800 + (code >> 10));
      wide[out++] = static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
      wide[out++] = static_cast<wchar_t>(code);
    }
  }
  wide[out] = 0;
  if (length) *length = out;
  return wide;
}
