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
