#include "release/file_digest.h"

void HexEncodeDigest(const uint8_t digest[kDigestBytes], wchar_t text[kDigestTextChars]) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  for (uint32_t i = 0; i < kDigestBytes; ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  text[2 * kDigestBytes] = 0;
}
