// The manifest files on disk (Windows build).
#include <windows.h>

#include <gtest/gtest.h>

#include "app/manifest.h"
#include "tests/child_process.h"
#include "tests/test_support.h"

TEST(ManifestUrl, ReadFromBaseInfo) {
  TempFolder folder;
  const std::wstring path = folder.File(L"baseinfo.xconfig");
  String url(L"untouched");
  // Missing: false, and the file is not created by the attempt.
  EXPECT_FALSE(ReadManifestUrl(path.c_str(), &url));
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Utf8(url), "untouched");

  for (const char* text : {"url : {\n", "UpdaterConfigeUrl : x\n", "other : {\nUpdaterConfigeUrl : x\n}\n"}) {
    ASSERT_TRUE(WriteFileBytes(path, text));
    EXPECT_FALSE(ReadManifestUrl(path.c_str(), &url)) << text;
    EXPECT_EQ(Utf8(url), "untouched");
  }

  ASSERT_TRUE(WriteFileBytes(path, "\xEF\xBB\xBFURL : {\r\n\tupdaterconfigeurl : http://127.0.0.1:8080/v\r\n}\r\n"));
  EXPECT_TRUE(ReadManifestUrl(path.c_str(), &url));
  EXPECT_EQ(Utf8(url), "http://127.0.0.1:8080/v");

  // The element without its item: true with an empty address.
  ASSERT_TRUE(WriteFileBytes(path, "url : {\n}\n"));
  EXPECT_TRUE(ReadManifestUrl(path.c_str(), &url));
  EXPECT_TRUE(url.IsEmpty());
}

TEST(UpdateManifest, ParsedFromFile) {
  TempFolder folder;
  const std::wstring path = folder.File(L"update.xconfig");
  ASSERT_TRUE(WriteFileBytes(path, "BaseInfo : {\r\n\tVersion : 3.2.1.40\r\n\tBaseUrl : http://h/\r\n}\r\n"
                                   "FileList : {\r\n\ta.dll : {\r\n\t\tHash : ab\r\n\t\tSize : 0x10\r\n\t}\r\n}\r\n"));
  FileEntryArray entries;
  ManifestInfo info;
  ASSERT_TRUE(ParseUpdateManifest(path.c_str(), &entries, &info));
  EXPECT_EQ(Utf8(info.version), "3.2.1.40");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(Utf8(entries[0].name) + " " + Utf8(entries[0].hash) + " " + Utf8(entries[0].size), "a.dll ab 16");
  // Nothing holds the file afterwards: it can be replaced.
  ASSERT_TRUE(WriteFileBytes(path, "BaseInfo : {\n}\n"));
  EXPECT_FALSE(ParseUpdateManifest(path.c_str(), &entries, &info));  // no FileList
  ASSERT_TRUE(WriteFileBytes(path, "BaseInfo : {\n}\nFileList : {\n"));
  EXPECT_FALSE(ParseUpdateManifest(path.c_str(), &entries, &info));  // not valid XConfig
  EXPECT_EQ(entries.size(), 1u);
  // A missing manifest is created empty, which lacks both sections.
  EXPECT_FALSE(ParseUpdateManifest(folder.File(L"missing.xconfig").c_str(), &entries, &info));
}
