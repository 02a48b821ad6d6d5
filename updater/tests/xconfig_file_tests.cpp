// XConfig::Open: reading files through the platform (Windows build).
#include <windows.h>

#include <gtest/gtest.h>

#include "base/system/scoped_handle.h"
#include "base/xconfig/xconfig.h"
#include "tests/child_process.h"
#include "tests/test_support.h"

namespace {
std::string ValueOf(const XConfig& config, const wchar_t* name) {
  const XDataItem* item = config.RootElement() ? config.RootElement()->FindDataItem(name) : nullptr;
  return item ? Utf8(item->Value()) : "<none>";
}
}  // namespace

TEST(XConfigFile, OpensUtf8WithByteOrderMarkAndStopsAtZero) {
  TempFolder folder;
  const std::wstring path = folder.File(L"baseinfo.xconfig");
  const char text[] = "\xEF\xBB\xBFurl : {\r\n\tUpdaterConfigeUrl : http://h/\xE4\xB8\xAD\r\n}\r\na : 1\n\0b : 2\n";
  ASSERT_TRUE(WriteFileBytes(path, std::string(text, sizeof text - 1)));
  XConfig config;
  ASSERT_TRUE(config.Open(path.c_str()));
  EXPECT_EQ(Utf8(config.FileName()), Utf8(path.c_str()));
  const XElement* url = config.RootElement()->FindElement(L"url");
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(Utf8(url->FindDataItem(L"UpdaterConfigeUrl")->Value()), "http://h/\xE4\xB8\xAD");
  EXPECT_EQ(ValueOf(config, L"a"), "1");
  EXPECT_EQ(ValueOf(config, L"b"), "<none>");  // behind the zero byte
  // The file is held only while it is read.
  ScopedHandle other(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(other.IsValid());
}

TEST(XConfigFile, SamePathIsNotReadAgain) {
  TempFolder folder;
  const std::wstring path = folder.File(L"update.xconfig");
  const std::wstring other = folder.File(L"other.xconfig");
  ASSERT_TRUE(WriteFileBytes(path, "a : 1\n"));
  ASSERT_TRUE(WriteFileBytes(other, "a : 3\n"));
  XConfig config;
  ASSERT_TRUE(config.Open(path.c_str()));
  ASSERT_TRUE(WriteFileBytes(path, "a : 2\n"));
  std::wstring upper = path;
  for (wchar_t& ch : upper) ch = static_cast<wchar_t>(towupper(ch));
  EXPECT_TRUE(config.Open(upper.c_str()));
  EXPECT_EQ(ValueOf(config, L"a"), "1");
  // Another name closes the document and reads the other file.
  EXPECT_TRUE(config.Open(other.c_str()));
  EXPECT_EQ(ValueOf(config, L"a"), "3");
  EXPECT_TRUE(config.Open(path.c_str()));
  EXPECT_EQ(ValueOf(config, L"a"), "2");
  // An empty stored name stands for an empty or missing path.
  ASSERT_TRUE(config.OpenText("a : 4\n", nullptr));
  EXPECT_TRUE(config.Open(L""));
  EXPECT_TRUE(config.Open(nullptr));
  EXPECT_EQ(ValueOf(config, L"a"), "4");
}

TEST(XConfigFile, MissingFileIsCreatedEmpty) {
  TempFolder folder;
  const std::wstring path = folder.File(L"baseinfo.xconfig");
  XConfig config;
  ASSERT_TRUE(config.Open(path.c_str()));
  ASSERT_NE(config.RootElement(), nullptr);
  EXPECT_EQ(config.RootElement()->Children().Num(), 0u);
  bool exists = false;
  EXPECT_EQ(ReadFileBytes(path, &exists), "");
  EXPECT_TRUE(exists);
}

TEST(XConfigFile, FailuresLeaveNothingOpen) {
  TempFolder folder;
  const std::wstring bad = folder.File(L"bad.xconfig");
  const std::wstring good = folder.File(L"good.xconfig");
  ASSERT_TRUE(WriteFileBytes(bad, "a : 1"));
  ASSERT_TRUE(WriteFileBytes(good, "a : 1\n"));
  XConfig config;
  ASSERT_TRUE(config.Open(good.c_str()));
  EXPECT_FALSE(config.Open(bad.c_str()));
  EXPECT_EQ(config.RootElement(), nullptr);
  EXPECT_TRUE(config.FileName().IsEmpty());
  EXPECT_FALSE(config.Open(folder.File(L"no\\such\\folder.xconfig").c_str()));
  EXPECT_FALSE(config.Open(nullptr));
  // Someone else holding the file without sharing.
  ScopedHandle held(CreateFileW(good.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.IsValid());
  EXPECT_FALSE(config.Open(good.c_str()));
  EXPECT_EQ(config.RootElement(), nullptr);
  held.Reset();
  EXPECT_TRUE(config.Open(good.c_str()));
  config.Close();
  config.Close();  // harmless
  EXPECT_EQ(config.RootElement(), nullptr);
}
