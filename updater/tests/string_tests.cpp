// String and the wide-text functions (both builds).
#include <gtest/gtest.h>

#include <climits>

#include "base/memory/alloc.h"
#include "base/text/wide_string.h"
#include "base/text/wide_text.h"
#include "tests/test_support.h"

namespace {
class StringTest : public ::testing::Test {
protected:
  // The text of `s` when its buffer is exact: none when empty, else exactly length + 1 terminated characters.
  std::string Exact(const String& s) {
    const uint32_t bytes = s.Text() ? m_alloc.SizeOf(s.Text()) : 0;
    const bool exact = bytes == (s.Length() ? (s.Length() + 1) * sizeof(wchar_t) : 0) &&
                       (s.Text() != nullptr) == (s.Length() != 0) && !(s.Text() && s.Text()[s.Length()]);
    return exact ? Utf8(s) : "buffer of " + std::to_string(bytes) + " bytes for length " + std::to_string(s.Length());
  }
  SizeTrackingAlloc m_alloc;
  ScopedCurrentAlloc m_scope{&m_alloc};
};
}  // namespace

TEST_F(StringTest, EveryChangeKeepsTheBufferExact) {
  String s(L"hello");
  String copy(s);
  EXPECT_NE(copy.Text(), s.Text());  // deep
  s = copy;
  s = s.Text() + 2;  // from its own text
  String moved(std::move(s));
  EXPECT_EQ(Exact(s) + " " + Exact(copy) + " " + Exact(moved), "<none> hello llo");
  for (int32_t value : {0, INT_MIN}) {
    s = value;
    EXPECT_EQ(Exact(s), std::to_string(value));
  }
  s = String::FromUtf8(u8"gr\u00fc\u00df \u4e2d");
  EXPECT_EQ(Exact(s), u8"gr\u00fc\u00df \u4e2d");
  s = L"ab";
  s += nullptr;
  s += String(L"cd");
  s += s;  // its own text
  EXPECT_EQ(Exact(s + L"!") + " " + Exact(s + L""), "abcdabcd! abcdabcd");
  s.SetLength(10);  // pads with zeros: the visible text stays
  EXPECT_EQ(Exact(s), "abcdabcd");
  s = L"";  // gives the buffer back
  EXPECT_EQ(Exact(s), "<none>");
}

TEST_F(StringTest, MidTakesOnlyRangesInsideTheText) {
  String s(L"abcd");
  EXPECT_EQ(Exact(s.Mid(1, 4)), "bcd");  // up to the end
  for (auto bad : {std::make_pair(2, 1), std::make_pair(0, 5), std::make_pair(-1, 2)}) {
    EXPECT_EQ(Exact(s.Mid(bad.first, bad.second)), "<none>") << bad.first << "," << bad.second;
  }
}

TEST_F(StringTest, ReplaceAll) {
  struct Case {
    const wchar_t* text;
    const wchar_t* find;
    const wchar_t* replace;
    const char* expected;
  };
  for (const Case& c : {Case{L"\na\nb\n", L"\n", L"\nT: ", "\nT: a\nT: b\nT: "},  // growing, at both ends
                        Case{L"aXa", L"a", L"aa", "aaXaa"},                          // inserted text not rescanned
                        Case{L"--a--b--", L"--", L"+", "+a+b+"},                     // shrinking
                        Case{L"aaa", L"aa", L"b", "ba"},                             // no overlaps
                        Case{L"ab", L"ab", L"", "<none>"},                           // nothing left: no buffer
                        Case{L"xy", L"", L"z", "xy"}}) {
    String s(c.text);
    s.ReplaceAll(c.find, c.replace);
    EXPECT_EQ(Exact(s), c.expected) << c.expected;
  }
  String equal(L"xaxbx");  // equal lengths: in place
  const wchar_t* buffer = equal.Text();
  equal.ReplaceAll(L"x", L"y");
  EXPECT_EQ(Exact(equal), "yayby");
  EXPECT_EQ(equal.Text(), buffer);
  String self(L"abab");  // patterns taken from the string itself
  self.ReplaceAll(self.Text() + 2, self.Text());
  EXPECT_EQ(Utf8(self), "abababab");
}

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

// Trimming removes space, tab and U+4E02 only; UTF-8 decodes with surrogate pairs and U+FFFD for bad bytes.
TEST(WideText, TrimAndUtf8ToWide) {
  wchar_t text[] = L" \t\x4E02 a b \x3000\t\x4E02 ";
  EXPECT_EQ(WTrim(text), text);
  EXPECT_EQ(Utf8(text), Utf8(L"a b \x3000"));
  uint32_t length = 99;
  wchar_t* wide = Utf8ToWide(u8"a\u00e9\u4e2d\U0001F600", &length);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(Utf8(wide), u8"a\u00e9\u4e2d\U0001F600");
  MemFree(wide);
  wide = Utf8ToWide("a\xFF" "b");
  EXPECT_EQ(Utf8(wide), u8"a\uFFFDb");
  MemFree(wide);
}
