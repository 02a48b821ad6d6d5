#include <gtest/gtest.h>

#include <string>

#include "app/update_rules.h"
#include "tests/test_support.h"

TEST(UpdateRules, DirectoryOfPath) {
  struct Case {
    const wchar_t* path;
    const char* directory;
  };
  for (const Case& c : {Case{L"C:\\a\\b.exe", "C:\\a"}, Case{L"C:\\a/b\\c/d.txt", "C:\\a/b\\c"},
                        Case{L"C:\\a/b/c\\d.txt", "C:\\a/b/c"}, Case{L"dir/sub\\", "dir/sub"}, Case{L"\\file", ""},
                        Case{L"file", ""}, Case{L"", ""}}) {
    EXPECT_EQ(Utf8(Text(GetDirectoryOfPath(c.path))), c.directory) << Utf8(c.path);
  }
}

TEST(UpdateRules, VersionsCallForAnUpdate) {
  struct Case {
    const wchar_t* client;
    const wchar_t* manifest;
    int update;
  };
  for (const Case& c : {
           Case{L"1.2.3.4", L"1.2.3.4", 0},
           Case{L"1.2.3.8", L"1.2.3.9", 1},
           Case{L"1.2.3.9", L"1.2.3.8", 0},
           Case{L"1.2.3.9", L"1.2.3.10", 1},   // lengths differ
           Case{L"1.2.3.10", L"1.2.3.9", 1},   // lengths differ, even though older
           Case{L"1.2.3.0", L"1.2.3", 1},
           Case{L"", L"", 0},
           Case{L"", L"1", 1},
           Case{L"1.2.0", L"01.02", 0},        // equal up to the end of the shorter list
           Case{L"1.2.0", L"1.200", 1},
           Case{L"1.2", L"1.3", 1},
           Case{L"1.9.0.0", L"2.0.0.0", 1},    // the first differing part decides
           Case{L"2.0.0.0", L"1.9.9.9", 0},
           Case{L"1..3", L"1.0.", 0},          // an empty part reads as 0
           Case{L"1.0.", L"1..3", 1},
           Case{L"1.a.5", L"1.0.6", 1},
           Case{L"1.-1", L"1.+9", 0},          // -1 compared unsigned is larger than 9
           Case{L" 1.2", L"01.2", 0},
       }) {
    EXPECT_EQ(CompareVersions(c.client, c.manifest), c.update) << Utf8(c.client) << " / " << Utf8(c.manifest);
  }
}

TEST(UpdateRules, RemoteVersionNewerByPosition) {
  struct Case {
    const wchar_t* local;
    const wchar_t* remote;
    bool newer;
  };
  for (const Case& c : {
           Case{L"1.2.3.9", L"1.2.3.10", true},    // 9 against 10 where the last parts start
           Case{L"1.2.3.10", L"1.2.3.9", false},
           Case{L"1.2.3", L"1.2.3.1", false},      // equal over the shorter length
           Case{L"1.2.3.1", L"1.2.3", false},
           Case{L"1.2.3.4", L"1.2.3.4", false},
           Case{L"", L"1.0.0.0", false},           // no version: nothing is compared
           Case{L"1.0.0.0", L"", false},
           Case{L"1.9.0.0", L"2.0.0.0", true},
           Case{L"1.10.0", L"1.9.9", false},
           Case{L"1.2.10", L"1.3.0", true},
           Case{L"1.2.3.4", L"1.2.3.65535", true},
           Case{L"2.0", L"-3.0", false},           // signed comparison: -3 is smaller
           Case{L"1.0", L"1.x", false},            // no digits read as 0, like the dot
       }) {
    EXPECT_EQ(CompareVersionsByPosition(c.local, c.remote), c.newer) << Utf8(c.local) << " / " << Utf8(c.remote);
  }
}

TEST(UpdateRules, DecimalTextToInteger) {
  EXPECT_EQ(DecimalToInt32(L" \t\n-42x"), -42);
  EXPECT_EQ(DecimalToInt32(L"+7"), 7);
  EXPECT_EQ(DecimalToInt32(L"x7"), 0);
  EXPECT_EQ(DecimalToInt32(L""), 0);
  EXPECT_EQ(DecimalToInt32(nullptr), 0);
  EXPECT_EQ(DecimalToInt32(L"2147483647"), 2147483647);
  EXPECT_EQ(DecimalToInt32(L"99999999999999999999"), 2147483647);
  EXPECT_EQ(DecimalToInt32(L"-99999999999999999999"), INT32_MIN);
}

TEST(UpdateRules, ManifestNamesStayInsideTheFolder) {
  for (const wchar_t* name : {L"a.txt", L"sub/a.txt", L"sub\\deeper/a.txt", L"..a", L"a..", L"a/.b/c", L"./a",
                              L"a/./b", L"x..y/z", L" lead", L"{x}, y", L"caf\xE9\\\x4E2D.txt"}) {
    EXPECT_TRUE(IsSafeRelativeName(name)) << Utf8(name);
  }
  // Outside the folder, or no name that Windows can hold.
  for (const wchar_t* name : {L"", L"..", L"../a", L"..\\a", L"a/../../b", L"a\\..\\b", L"a/..", L"a/...",
                              L"a/.. /b", L"/a", L"\\a", L"\\\\server\\share\\a", L"C:\\a", L"C:a", L"a:b",
                              L"a.txt:stream", L"a\"b", L"a<b", L"a>b", L"a|b", L"a?b", L"a*b", L"a\nb", L"a\x1F"}) {
    EXPECT_FALSE(IsSafeRelativeName(name)) << Utf8(name);
  }
  EXPECT_FALSE(IsSafeRelativeName(nullptr));
}
