#include <gtest/gtest.h>

#include <climits>

#include "base/wide_string.h"
#include "tests/test_support.h"

namespace {
// Runs each test with an allocator that knows every block's size, so that the
// exact-size invariant can be checked.
class StringTest : public ::testing::Test {
protected:
  // True when `s` obeys the invariant: no buffer when empty, otherwise a
  // terminated buffer of exactly length + 1 characters.
  ::testing::AssertionResult Exact(const String& s) {
    if (s.Length() == 0) {
      if (s.Text()) return ::testing::AssertionFailure() << "empty string keeps a buffer";
      return ::testing::AssertionSuccess();
    }
    uint32_t bytes = m_alloc.SizeOf(s.Text());
    if (bytes != (s.Length() + 1) * sizeof(wchar_t)) {
      return ::testing::AssertionFailure() << "buffer of " << bytes << " bytes for length " << s.Length();
    }
    if (s.Text()[s.Length()] != 0) return ::testing::AssertionFailure() << "no terminator";
    return ::testing::AssertionSuccess();
  }

  SizeTrackingAlloc m_alloc;
  ScopedCurrentAlloc m_scope{&m_alloc};
};
}  // namespace

TEST_F(StringTest, ConstructAssignAndCopy) {
  String empty, fromNone(nullptr), fromEmpty(L"");
  EXPECT_TRUE(Exact(empty));
  EXPECT_TRUE(Exact(fromNone));
  EXPECT_TRUE(Exact(fromEmpty));

  String s(L"hello");
  EXPECT_TRUE(Exact(s));
  String copy(s);
  EXPECT_NE(copy.Text(), s.Text());  // deep
  EXPECT_EQ(Utf8(copy), "hello");

  s = L"";  // a string that had a buffer gives it back
  EXPECT_TRUE(Exact(s));
  EXPECT_EQ(Utf8(copy), "hello");

  s = copy;
  String& alias = s;
  s = alias;
  EXPECT_TRUE(Exact(s));
  s = s.Text() + 2;  // from its own text
  EXPECT_EQ(Utf8(s), "llo");
  EXPECT_TRUE(Exact(s));

  String moved(std::move(s));
  EXPECT_EQ(Utf8(moved), "llo");
  EXPECT_TRUE(Exact(s));
}

TEST_F(StringTest, AssignInteger) {
  String s;
  s = 0;
  EXPECT_EQ(Utf8(s), "0");
  s = -42;
  EXPECT_EQ(Utf8(s), "-42");
  s = INT_MIN;
  EXPECT_EQ(Utf8(s), "-2147483648");
  s = INT_MAX;
  EXPECT_EQ(Utf8(s), "2147483647");
  EXPECT_TRUE(Exact(s));
}

TEST_F(StringTest, AppendAndConcatenate) {
  String s;
  s += nullptr;
  s += L"";
  EXPECT_TRUE(Exact(s));
  s += L"ab";  // allocates
  s += String(L"cd");
  EXPECT_EQ(Utf8(s), "abcd");
  EXPECT_TRUE(Exact(s));
  s += s;  // its own text
  EXPECT_EQ(Utf8(s), "abcdabcd");
  String joined = String(L"x") + L"yz";
  EXPECT_EQ(Utf8(joined), "xyz");
  EXPECT_TRUE(Exact(joined));
  EXPECT_EQ(Utf8(String(L"x") + nullptr), "x");
}

TEST_F(StringTest, FromUtf8) {
  String s = String::FromUtf8(u8"gr\u00fc\u00df \u4e2d");
  EXPECT_EQ(s.Length(), 6u);
  EXPECT_EQ(Utf8(s), u8"gr\u00fc\u00df \u4e2d");
  EXPECT_TRUE(Exact(s));
  EXPECT_TRUE(Exact(String::FromUtf8("")));
  EXPECT_TRUE(Exact(String::FromUtf8(nullptr)));
}

TEST_F(StringTest, MidBounds) {
  String s(L"abcd");
  EXPECT_EQ(Utf8(s.Mid(1, 4)), "bcd");  // all but the first character
  EXPECT_EQ(Utf8(s.Mid(0, 4)), "abcd");
  EXPECT_EQ(Utf8(s.Mid(3, 4)), "d");
  for (auto bad : {std::make_pair(1, 1), std::make_pair(2, 1), std::make_pair(0, 5), std::make_pair(4, 4),
                   std::make_pair(-1, 2), std::make_pair(0, -1)}) {
    String part = s.Mid(bad.first, bad.second);
    EXPECT_TRUE(Exact(part)) << bad.first << "," << bad.second;
    EXPECT_EQ(part.Length(), 0u);
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
  // A prefix after every line feed, the last one included.
  String s(L"\na\nb\n");
  s.ReplaceAll(L"\n", L"\nT: ");
  EXPECT_EQ(Utf8(s), "\nT: a\nT: b\nT: ");
  EXPECT_TRUE(Exact(s));
  // Inserted text is never rescanned.
  String r(L"aXa");
  r.ReplaceAll(L"a", L"aa");
  EXPECT_EQ(Utf8(r), "aaXaa");
  EXPECT_TRUE(Exact(r));
}

TEST_F(StringTest, ReplaceAllShrinking) {
  String s(L"--a--b--");
  s.ReplaceAll(L"--", L"+");
  EXPECT_EQ(Utf8(s), "+a+b+");
  EXPECT_EQ(s.Length(), 5u);  // 8 - 3 occurrences x 1
  EXPECT_TRUE(Exact(s));
  s.ReplaceAll(L"+", nullptr);  // missing replace counts as empty
  EXPECT_EQ(Utf8(s), "ab");
  s.ReplaceAll(L"ab", L"");  // nothing left: no buffer either
  EXPECT_TRUE(Exact(s));
  String unchanged(L"abc");
  unchanged.ReplaceAll(L"xyz", L"q");
  EXPECT_EQ(Utf8(unchanged), "abc");
  // Occurrences never overlap.
  String overlap(L"aaa");
  overlap.ReplaceAll(L"aa", L"b");
  EXPECT_EQ(Utf8(overlap), "ba");
}

TEST_F(StringTest, ReplaceAllEqualLengthAndNoOps) {
  String s(L"xaxbx");
  const wchar_t* buffer = s.Text();
  s.ReplaceAll(L"x", L"y");
  EXPECT_EQ(Utf8(s), "yayby");
  EXPECT_EQ(s.Text(), buffer);  // in place
  s.ReplaceAll(L"", L"z");
  s.ReplaceAll(nullptr, L"z");
  EXPECT_EQ(Utf8(s), "yayby");
  String empty;
  empty.ReplaceAll(L"a", L"b");
  EXPECT_TRUE(Exact(empty));
  // Patterns taken from the string itself.
  String self(L"abab");
  self.ReplaceAll(self.Text() + 2, self.Text());
  EXPECT_EQ(Utf8(self), "abababab");
}

#if defined(_WIN32)
TEST_F(StringTest, Format) {
  String s = String::Format(L"%s=%d (%S) %03u%%", L"x", -5, "narrow", 7u);
  EXPECT_EQ(Utf8(s), "x=-5 (narrow) 007%");
  EXPECT_TRUE(Exact(s));
  EXPECT_TRUE(Exact(String::Format(L"")));
  EXPECT_TRUE(Exact(String::Format(nullptr)));
  EXPECT_EQ(Utf8(String::Format(L"%s", L"\x4e2d")), u8"\u4e2d");
}
#endif
