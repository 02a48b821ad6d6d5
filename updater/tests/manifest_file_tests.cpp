// The manifest files on disk (Windows build).
#include <windows.h>

#include <gtest/gtest.h>

#include "app/manifest.h"
#include "tests/child_process.h"
#include "tests/test_support.h"

TEST(ManifestUrl, ReadFromBaseInfoFile) {
  TempFolder folder;
  const std::wstring path = folder.File(L"baseinfo.xconfig");
  // Missing or not valid XConfig: the default, and no file is created.
  EXPECT_EQ(Utf8(ManifestUrlOf(path.c_str())), Utf8(kDefaultManifestUrl));
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_TRUE(WriteFileBytes(path, "url : {\n"));
  EXPECT_EQ(Utf8(ManifestUrlOf(path.c_str())), Utf8(kDefaultManifestUrl));

  ASSERT_TRUE(WriteFileBytes(path, "\xEF\xBB\xBFurl : {\r\n\tUpdaterConfigeUrl : http://127.0.0.1:8080/v\r\n}\r\n"));
  EXPECT_EQ(Utf8(ManifestUrlOf(path.c_str())), "http://127.0.0.1:8080/v");
}

TEST(UpdateManifest, ParsedFromFile) {
  TempFolder folder;
  const std::wstring path = folder.File(L"update.xconfig");
  ASSERT_TRUE(WriteFileBytes(path, "BaseInfo : {\r\n\tVersion : 3.2.1.40\r\n\tBaseUrl : http://h/\r\n}\r\n"
                                   "FileList : {\r\n\ta.dll : {\r\n\t\tHash : ab\r\n\t\tSize : 16\r\n\t}\r\n}\r\n"));
  FileEntryArray entries;
  ManifestInfo info;
  ASSERT_TRUE(ParseUpdateManifest(path.c_str(), &entries, &info));
  EXPECT_EQ(Utf8(info.version), "3.2.1.40");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(Utf8(entries[0].name) + " " + Utf8(entries[0].hash) + " " + std::to_string(entries[0].size), "a.dll ab 16");
  // Nothing holds the file afterwards: it can be replaced.
  ASSERT_TRUE(WriteFileBytes(path, "BaseInfo : {\n}\n"));
  EXPECT_FALSE(ParseUpdateManifest(path.c_str(), &entries, &info));  // no FileList
  ASSERT_TRUE(WriteFileBytes(path, "BaseInfo : {\n}\nFileList : {\n"));
  EXPECT_FALSE(ParseUpdateManifest(path.c_str(), &entries, &info));  // not valid XConfig
  EXPECT_EQ(entries.size(), 1u);
  // A missing manifest is created empty, which lacks both sections.
  EXPECT_FALSE(ParseUpdateManifest(folder.File(L"missing.xconfig").c_str(), &entries, &info));
}
