#include <gtest/gtest.h>

#include "base/memory/alloc.h"
#include "base/text/wide_text.h"
#include "tests/test_support.h"

TEST(WideText, CopyCompareAndFind) {
  wchar_t buffer[16] = L"12";
  EXPECT_EQ(Utf8(WAppend(WCopy(buffer, L"abc"), L"de")), "abcde");
  EXPECT_EQ(WLength(buffer), 5u);
  EXPECT_EQ(WLength(nullptr), 0u);
  struct Case {
    const wchar_t* a;
    const wchar_t* b;
    int compare;
    int noCase;
  };
  // Unsigned code units; only A to Z fold; none is never equal to anything.
  for (const Case& c : {Case{L"abc", L"abc", 0, 0}, Case{L"ab", L"abc", -1, -1}, Case{L"\xFFFF", L"a", 1, 1},
                        Case{L"Zebra", L"zEBRA", -1, 0}, Case{L"Z", L"a", -1, 1}, Case{L"\x00C9", L"\x00E9", -1, -1},
                        Case{L"[", L"{", -1, -1}, Case{nullptr, nullptr, -1, -1}}) {
    EXPECT_EQ(WCompare(c.a, c.b), c.compare) << Utf8(c.a) << " " << Utf8(c.b);
    EXPECT_EQ(WCompareNoCase(c.a, c.b), c.noCase) << Utf8(c.a) << " " << Utf8(c.b);
  }
  const wchar_t* text = L"one two two";
  EXPECT_EQ(WFindChar(text, L't'), text + 4);
  EXPECT_EQ(WFind(text, L"Two"), nullptr);
  EXPECT_EQ(WFind(text, L"two two two"), nullptr);
  EXPECT_EQ(WFind(L"aab", L"ab"), static_cast<const wchar_t*>(L"aab") + 1);
  EXPECT_EQ(WFind(nullptr, L"a"), nullptr);
}

TEST(WideText, TrimRemovesSpaceTabAndU4E02Only) {
  wchar_t text[] = L" \t\x4E02 a b \x3000\t\x4E02 ";
  EXPECT_EQ(WTrim(text), text);
  EXPECT_EQ(Utf8(text), Utf8(L"a b \x3000"));
}

TEST(WideText, Utf8ToWide) {
  uint32_t length = 99;
  wchar_t* wide = Utf8ToWide(u8"a\u00e9\u4e2d\U0001F600", &length);
  EXPECT_EQ(length, 5u);  // the emoji is a surrogate pair
  EXPECT_EQ(Utf8(wide), u8"a\u00e9\u4e2d\U0001F600");
  MemFree(wide);
  wide = Utf8ToWide("a\xFF" "b");
  EXPECT_EQ(Utf8(wide), u8"a\uFFFDb");
  MemFree(wide);
}
