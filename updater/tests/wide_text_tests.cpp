#include <gtest/gtest.h>

#include "base/memory/alloc.h"
#include "base/text/wide_text.h"
#include "tests/test_support.h"

TEST(WideText, LengthCopyAndAppend) {
  wchar_t buffer[16] = L"12";
  EXPECT_EQ(WCopy(buffer, L"abc"), buffer);
  EXPECT_EQ(Utf8(WAppend(buffer, L"de")), "abcde");
  EXPECT_EQ(WLength(buffer), 5u);
  EXPECT_EQ(WLength(nullptr), 0u);
}

TEST(WideText, CompareIsUnsignedAndNoneNeverEqual) {
  EXPECT_EQ(WCompare(L"abc", L"abc"), 0);
  EXPECT_EQ(WCompare(L"abc", L"abd"), -1);
  EXPECT_EQ(WCompare(L"abd", L"abc"), 1);
  EXPECT_EQ(WCompare(L"ab", L"abc"), -1);
  EXPECT_EQ(WCompare(L"\xFFFF", L"a"), 1);  // unsigned code units
  EXPECT_EQ(WCompare(nullptr, nullptr), -1);
  EXPECT_EQ(WCompare(L"", nullptr), -1);
  EXPECT_EQ(WCompare(nullptr, L""), -1);
}

TEST(WideText, CompareNoCaseFoldsOnlyAsciiLetters) {
  EXPECT_EQ(WCompareNoCase(L"DebugAlloc", L"dEBUGaLLOC"), 0);
  EXPECT_NE(WCompareNoCase(L"\x00C9", L"\x00E9"), 0);  // E and e with acute accent
  EXPECT_NE(WCompareNoCase(L"\x0391", L"\x03B1"), 0);  // Greek alpha
  EXPECT_NE(WCompareNoCase(L"[", L"{"), 0);            // 0x5B and 0x7B differ by 0x20 too
  EXPECT_EQ(WCompareNoCase(L"Z", L"a"), 1);            // folded before comparing
  EXPECT_EQ(WCompareNoCase(nullptr, nullptr), -1);
}

TEST(WideText, Find) {
  const wchar_t* text = L"one two two";
  EXPECT_EQ(WFindChar(text, L't'), text + 4);
  EXPECT_EQ(WFindChar(text, L'x'), nullptr);
  EXPECT_EQ(WFindChar(nullptr, L'x'), nullptr);
  EXPECT_EQ(WFind(text, L"two"), text + 4);
  EXPECT_EQ(WFind(text, L"Two"), nullptr);
  EXPECT_EQ(WFind(text, L"two two two"), nullptr);
  EXPECT_EQ(WFind(L"aab", L"ab"), static_cast<const wchar_t*>(L"aab") + 1);
  EXPECT_EQ(WFind(nullptr, L"a"), nullptr);
  EXPECT_EQ(WFind(text, nullptr), nullptr);
}

TEST(WideText, TrimRemovesSpaceTabAndU4E02Only) {
  wchar_t text[] = L" \t\x4E02 a b \x3000\t\x4E02 ";
  EXPECT_EQ(WTrim(text), text);
  EXPECT_EQ(Utf8(text), Utf8(L"a b \x3000"));
  wchar_t blank[] = L" \t ";
  EXPECT_EQ(Utf8(WTrim(blank)), "");
  EXPECT_EQ(WTrim(nullptr), nullptr);
}

TEST(WideText, Utf8ToWide) {
  uint32_t length = 99;
  wchar_t* wide = Utf8ToWide(u8"a\u00e9\u4e2d\U0001F600", &length);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(length, 5u);  // the emoji is a surrogate pair
  EXPECT_EQ(static_cast<uint16_t>(wide[3]), 0xD83D);
  EXPECT_EQ(Utf8(wide), u8"a\u00e9\u4e2d\U0001F600");
  MemFree(wide);

  wide = Utf8ToWide("a\xFF" "b");
  EXPECT_EQ(Utf8(wide), u8"a\uFFFDb");
  MemFree(wide);

  wide = Utf8ToWide("", &length);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(wide[0], 0);
  MemFree(wide);
  EXPECT_EQ(Utf8ToWide(nullptr, &length), nullptr);
}
