// The text of a digest (both builds).
#include "app/file_hash.h"

namespace {
const wchar_t kDigits[] = L"0123456789abcdef";
}  // namespace

void HexEncodeLower(const uint8_t digest[kSha1Bytes], wchar_t text[kSha1TextChars]) {
  for (uint32_t i = 0; i < kSha1Bytes; ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  text[2 * kSha1Bytes] = L'\0';
}

String DigestText(const uint8_t* digest, uint32_t count) {
  wchar_t text[2 * 64 + 1];
  if (count > 64) count = 64;
  for (uint32_t i = 0; i < count; ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  return String(text, 2 * count);
}
