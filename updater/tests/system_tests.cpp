// The platform layer under Wine: the handle owner, XFile, and XConfig::Open reading files.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/system/scoped_handle.h"
#include "base/system/xfile.h"
#include "base/xconfig/xconfig.h"
#include "tests/child_process.h"
#include "tests/test_support.h"

namespace {
// Whether `handle` is still an open handle of this process.
bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

// Opens `path` for reading, sharing it as `share` says: without sharing, fails while anyone else holds it.
ScopedHandle Hold(const std::wstring& path, DWORD share = 0) {
  return ScopedHandle(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

std::string ValueOf(const XConfig& config, const wchar_t* name) {
  const XDataItem* item = config.RootElement() ? config.RootElement()->FindDataItem(name) : nullptr;
  return item ? Utf8(item->Value()) : "<none>";
}
}  // namespace

TEST(ScopedObject, GivesBackOnceKeepingTheLastError) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  ScopedHandle first(event);
  ScopedHandle second(std::move(first));
  EXPECT_FALSE(first.IsValid());
  EXPECT_EQ(second.Get(), event);
  // A failure's reason survives the cleanup of the failing path.
  SetLastError(ERROR_SHARING_VIOLATION);
  second.Reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(IsOpen(event) || second.IsValid());
  // Released handles stay open; none and the invalid-handle value own nothing.
  HANDLE kept = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(ScopedHandle(kept).Release(), kept);
  EXPECT_TRUE(IsOpen(kept));
  CloseHandle(kept);
  EXPECT_FALSE(ScopedHandle(INVALID_HANDLE_VALUE).IsValid() || ScopedHandle(nullptr).IsValid());
}

// UTF-8 of wide text, held unshared, long lines cut between characters; without a file nothing is written.
TEST(XFile, WritesWideTextAsUtf8WithoutSharing) {
  TempFolder folder;
  const std::wstring path = folder.File(L"out.txt");
  XFile file{};
  ASSERT_TRUE(file.Create(path.c_str(), false));
  EXPECT_TRUE(file.WriteAsUTF8(L""));
  EXPECT_FALSE(file.written);  // empty writes change nothing
  EXPECT_TRUE(file.WriteAsUTF8(L"a\x00e9\x4e2d\xD83D\xDE00"));
  EXPECT_EQ(file.byteCount, 10u);  // 1 + 2 + 3 + 4 bytes for 5 UTF-16 units
  EXPECT_TRUE(file.WriteAsUTF8(L"xyz-ignored", 3));
  EXPECT_EQ(file.WriteLineEnd(L"\r\n"), 2u);
  EXPECT_FALSE(Hold(path, FILE_SHARE_READ | FILE_SHARE_WRITE).IsValid());
  file.Close();
  EXPECT_EQ(ReadFileBytes(path), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80xyz\r\n");
  ASSERT_TRUE(file.Create(path.c_str(), true));
  uint32_t written = file.WriteLineEnd(std::wstring(3000, L'\x4e2d').c_str());  // 3 bytes each
  EXPECT_TRUE(written > 4000 && written <= 4095 && written % 3 == 0) << written;
  file.Close();
  XFile failed{};
  EXPECT_FALSE(failed.Create(L"C:\\no\\such\\folder\\file.txt", false));
  EXPECT_EQ(failed.Write("abc", 3), 0u);
  EXPECT_FALSE(failed.written);
}

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
