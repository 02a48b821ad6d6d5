#include <gtest/gtest.h>

#include <string>

#include "app/update_rules.h"
#include "tests/test_support.h"

// Number and path helpers of the run: folder of a path, lenient decimal reading.
TEST(UpdateRules, FolderOfPathAndDecimals) {
  for (auto c : {std::make_pair(L"C:\\a/b\\c/d.txt", "C:\\a/b\\c"), std::make_pair(L"dir/sub\\", "dir/sub"),
                 std::make_pair(L"file", "")}) {
    EXPECT_EQ(Utf8(Text(GetDirectoryOfPath(c.first))), c.second) << Utf8(c.first);
  }
  for (auto c : {std::make_pair(L" \t\n-42x", -42), std::make_pair(L"x7", 0),
                 std::make_pair(L"-99999999999999999999", INT32_MIN)}) {
    EXPECT_EQ(DecimalToInt32(c.first), c.second) << Utf8(c.first);
  }
}

// The update check (unequal parts up to the shorter list, or different lengths) and the position rule (larger parts).
TEST(UpdateRules, VersionsCallForAnUpdate) {
  const struct {
    const wchar_t* local;
    const wchar_t* remote;
    int update;
    bool newer;
  } kCases[] = {
      {L"1.2.3.4", L"1.2.3.4", 0, false},   {L"1.2.3.9", L"1.2.3.10", 1, true},
      {L"1.2.3.10", L"1.2.3.9", 1, false},  // lengths differ, even though older
      {L"1.2.3", L"1.2.3.1", 1, false},     {L"", L"1.0.0.0", 1, false},  // no version: nothing compared
      {L"2.0.0.0", L"1.9.9.9", 0, false},
      {L"1.2.0", L"01.02", 0, true},        // equal up to the end of the shorter list; by position 0 < 1
      {L"1.-1", L"1.+9", 0, true},          // -1 compared unsigned is larger than 9, signed smaller
      {L"2.0", L"-3.0", 1, false},          // by position signed: -3 is smaller
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(CompareVersions(c.local, c.remote), c.update) << Utf8(c.local) << " / " << Utf8(c.remote);
    EXPECT_EQ(CompareVersionsByPosition(c.local, c.remote), c.newer) << Utf8(c.local) << " / " << Utf8(c.remote);
  }
  // The numeric order of whole versions, missing parts read as 0.
  struct Case {
    const wchar_t* a;
    const wchar_t* b;
    int order;
  };
  for (const Case& c : {Case{L"1.2.3.9", L"1.2.3.10", -1}, Case{L"1.10.0.0", L"1.9.0.0", 1},
                        Case{L"1.2.3", L"1.2.3.0", 0}, Case{L"1.99999999999", L"1.4294967295", 0}}) {
    const int order = CompareVersionNumbers(c.a, c.b);
    EXPECT_EQ((order > 0) - (order < 0), c.order) << Utf8(c.a) << " " << Utf8(c.b);
    EXPECT_EQ(CompareVersionNumbers(c.b, c.a), -order) << Utf8(c.a) << " " << Utf8(c.b);
  }
}
