#include <gtest/gtest.h>

#include <climits>

#include "base/text/wide_string.h"
#include "tests/test_support.h"

namespace {
// Runs each test with an allocator that knows every block's size, so that the
// exact-size invariant can be checked.
class StringTest : public ::testing::Test {
protected:
  // No buffer when empty; otherwise a terminated buffer of exactly length + 1.
  ::testing::AssertionResult Exact(const String& s) {
    uint32_t expected = s.Length() ? (s.Length() + 1) * sizeof(wchar_t) : 0;
    uint32_t bytes = s.Text() ? m_alloc.SizeOf(s.Text()) : 0;
    if (bytes != expected || (s.Text() != nullptr) != (s.Length() != 0) || (s.Text() && s.Text()[s.Length()])) {
      return ::testing::AssertionFailure() << "buffer of " << bytes << " bytes for length " << s.Length();
    }
    return ::testing::AssertionSuccess();
  }

  SizeTrackingAlloc m_alloc;
  ScopedCurrentAlloc m_scope{&m_alloc};
};
}  // namespace

TEST_F(StringTest, ConstructAssignAndCopy) {
  EXPECT_TRUE(Exact(String()));
  EXPECT_TRUE(Exact(String(nullptr)));
  EXPECT_TRUE(Exact(String(L"")));
  String s(L"hello");
  String copy(s);
  EXPECT_NE(copy.Text(), s.Text());  // deep
  EXPECT_TRUE(Exact(copy));
  s = L"";  // gives the buffer back
  EXPECT_TRUE(Exact(s));
  EXPECT_EQ(Utf8(copy), "hello");
  s = copy;
  s = s.Text() + 2;  // from its own text
  EXPECT_EQ(Utf8(s), "llo");
  EXPECT_TRUE(Exact(s));
  String moved(std::move(s));
  EXPECT_EQ(Utf8(moved), "llo");
  EXPECT_TRUE(Exact(s));
  for (int32_t value : {0, -42, INT_MIN, INT_MAX}) {
    s = value;
    EXPECT_EQ(Utf8(s), std::to_string(value));
    EXPECT_TRUE(Exact(s));
  }
  s = String::FromUtf8(u8"gr\u00fc\u00df \u4e2d");
  EXPECT_EQ(Utf8(s), u8"gr\u00fc\u00df \u4e2d");
  EXPECT_TRUE(Exact(s));
  EXPECT_TRUE(Exact(String::FromUtf8("")));
  EXPECT_TRUE(Exact(String::FromUtf8(nullptr)));
}

TEST_F(StringTest, AppendAndConcatenate) {
  String s;
  s += nullptr;
  s += L"";
  EXPECT_TRUE(Exact(s));
  s += L"ab";
  s += String(L"cd");
  s += s;  // its own text
  EXPECT_EQ(Utf8(s), "abcdabcd");
  EXPECT_TRUE(Exact(s));
  String joined = String(L"x") + L"yz";
  EXPECT_EQ(Utf8(joined), "xyz");
  EXPECT_TRUE(Exact(joined));
}

TEST_F(StringTest, MidBounds) {
  String s(L"abcd");
  EXPECT_EQ(Utf8(s.Mid(1, 4)), "bcd");  // all but the first character
  EXPECT_EQ(Utf8(s.Mid(0, 4)), "abcd");
  EXPECT_EQ(Utf8(s.Mid(3, 4)), "d");
  for (auto bad : {std::make_pair(1, 1), std::make_pair(2, 1), std::make_pair(0, 5), std::make_pair(4, 4),
                   std::make_pair(-1, 2)}) {
    EXPECT_TRUE(Exact(s.Mid(bad.first, bad.second))) << bad.first << "," << bad.second;
    EXPECT_EQ(s.Mid(bad.first, bad.second).Length(), 0u);
  }
  EXPECT_EQ(String().Mid(0, 1).Length(), 0u);
}

TEST_F(StringTest, SetLength) {
  String s(L"abc");
  s.SetLength(6);  // pads with zeros: the visible text stays
  EXPECT_EQ(s.Length(), 6u);
  EXPECT_TRUE(Exact(s));
  EXPECT_EQ(Utf8(s), "abc");
  for (uint32_t i = 3; i <= 6; ++i) EXPECT_EQ(s.Text()[i], 0);
  s.SetLength(2);
  EXPECT_EQ(Utf8(s), "ab");
  EXPECT_TRUE(Exact(s));
  s.SetLength(0);
  EXPECT_TRUE(Exact(s));
}

TEST_F(StringTest, ReplaceAllGrowing) {
  String s(L"\na\nb\n");  // a prefix after every line feed, the last one included
  s.ReplaceAll(L"\n", L"\nT: ");
  EXPECT_EQ(Utf8(s), "\nT: a\nT: b\nT: ");
  EXPECT_TRUE(Exact(s));
  String r(L"aXa");  // inserted text is never rescanned
  r.ReplaceAll(L"a", L"aa");
  EXPECT_EQ(Utf8(r), "aaXaa");
  String self(L"abab");  // patterns taken from the string itself
  self.ReplaceAll(self.Text() + 2, self.Text());
  EXPECT_EQ(Utf8(self), "abababab");
  EXPECT_TRUE(Exact(self));
}

TEST_F(StringTest, ReplaceAllShrinkingAndEqual) {
  String s(L"--a--b--");
  s.ReplaceAll(L"--", L"+");
  EXPECT_EQ(Utf8(s), "+a+b+");  // 8 - 3 occurrences x 1
  EXPECT_TRUE(Exact(s));
  String overlap(L"aaa");  // occurrences never overlap
  overlap.ReplaceAll(L"aa", L"b");
  EXPECT_EQ(Utf8(overlap), "ba");
  s.ReplaceAll(L"+", nullptr);  // missing replace counts as empty
  EXPECT_EQ(Utf8(s), "ab");
  s.ReplaceAll(L"ab", L"");  // nothing left: no buffer either
  EXPECT_TRUE(Exact(s));

  String equal(L"xaxbx");
  const wchar_t* buffer = equal.Text();
  equal.ReplaceAll(L"x", L"y");
  EXPECT_EQ(Utf8(equal), "yayby");
  EXPECT_EQ(equal.Text(), buffer);  // in place
  equal.ReplaceAll(L"q", L"zz");
  equal.ReplaceAll(L"", L"z");
  equal.ReplaceAll(nullptr, L"z");
  EXPECT_EQ(Utf8(equal), "yayby");
}

#if defined(_WIN32)
TEST_F(StringTest, Format) {
  String s = String::Format(L"%s=%d (%S) %03u%%", L"x", -5, "narrow", 7u);
  EXPECT_EQ(Utf8(s), "x=-5 (narrow) 007%");
  EXPECT_TRUE(Exact(s));
  EXPECT_TRUE(Exact(String::Format(L"")));
  EXPECT_TRUE(Exact(String::Format(nullptr)));
}
#endif
