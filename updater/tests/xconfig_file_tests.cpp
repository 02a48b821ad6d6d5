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

// Opens `path` without sharing: fails while anyone else holds it.
ScopedHandle Hold(const std::wstring& path) {
  return ScopedHandle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}
}  // namespace

// UTF-8 with a byte-order mark up to a zero byte, the file let go; the same path not read again; failures close.
TEST(XConfigFile, OpensReadsOnceAndFailsWithNothingOpen) {
  TempFolder folder;
  const std::wstring path = folder.File(L"baseinfo.xconfig");
  const char text[] = "\xEF\xBB\xBFurl : http://h/\xE4\xB8\xAD\r\na : 1\n\0b : 2\n";
  ASSERT_TRUE(WriteFileBytes(path, std::string(text, sizeof text - 1)));
  XConfig config;
  ASSERT_TRUE(config.Open(path.c_str()));
  EXPECT_EQ(ValueOf(config, L"url"), "http://h/\xE4\xB8\xAD");
  EXPECT_EQ(ValueOf(config, L"b"), "<none>");  // behind the zero byte
  EXPECT_TRUE(Hold(path).IsValid());           // held only while it is read
  // The same path in another letter case is not read again; another one is.
  ASSERT_TRUE(WriteFileBytes(path, "a : 2\n"));
  std::wstring upper = path;
  for (wchar_t& ch : upper) ch = static_cast<wchar_t>(towupper(ch));
  EXPECT_TRUE(config.Open(upper.c_str()));
  EXPECT_EQ(ValueOf(config, L"a"), "1");
  // A missing file is created empty.
  ASSERT_TRUE(config.Open(folder.File(L"new.xconfig").c_str()));
  EXPECT_EQ(config.RootElement()->Children().Num(), 0u);
  EXPECT_EQ(ContentOf(folder.File(L"new.xconfig")), "");
  EXPECT_TRUE(config.Open(path.c_str()));
  EXPECT_EQ(ValueOf(config, L"a"), "2");
  ASSERT_TRUE(WriteFileBytes(folder.File(L"bad.xconfig"), "a : 1"));
  EXPECT_FALSE(config.Open(folder.File(L"bad.xconfig").c_str()));
  EXPECT_EQ(config.RootElement(), nullptr);
  EXPECT_TRUE(config.FileName().IsEmpty());
  EXPECT_FALSE(config.Open(folder.File(L"no\\such\\folder.xconfig").c_str()));
  ScopedHandle held = Hold(path);  // someone else holding the file
  ASSERT_TRUE(held.IsValid());
  EXPECT_FALSE(config.Open(path.c_str()));
  EXPECT_EQ(config.RootElement(), nullptr);
}
