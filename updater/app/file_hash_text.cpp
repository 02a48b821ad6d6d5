// The text of a digest (both builds).
#include "app/file_hash.h"

void HexEncodeLower(const uint8_t digest[kSha1Bytes], wchar_t text[kSha1TextChars]) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  for (uint32_t i = 0; i < kSha1Bytes; ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  text[2 * kSha1Bytes] = L'\0';
}
