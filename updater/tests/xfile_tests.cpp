#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/system/xfile.h"
#include "tests/child_process.h"

TEST(XFile, WritesWideTextAsUtf8) {
  TempFolder folder;
  const std::wstring path = folder.File(L"out.txt");
  XFile file{};
  ASSERT_TRUE(file.Create(path.c_str(), false));
  EXPECT_TRUE(file.WriteAsUTF8(L"a\x00e9\x4e2d\xD83D\xDE00"));
  EXPECT_EQ(file.byteCount, 10u);  // 1 + 2 + 3 + 4 bytes for 5 UTF-16 units
  EXPECT_TRUE(file.written);
  EXPECT_TRUE(file.WriteAsUTF8(L"xyz-ignored", 3));
  EXPECT_EQ(file.WriteLineEnd(L"\r\n"), 2u);
  // Created without sharing: nobody else may open it meanwhile.
  HANDLE other = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  file.Close();
  EXPECT_EQ(ReadFileBytes(path), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80xyz\r\n");
}

TEST(XFile, EmptyWritesChangeNothing) {
  TempFolder folder;
  XFile file{};
  ASSERT_TRUE(file.Create(folder.File(L"empty.txt").c_str(), true));
  EXPECT_TRUE(file.WriteAsUTF8(L""));
  EXPECT_FALSE(file.WriteAsUTF8(nullptr));
  EXPECT_EQ(file.Write("x", 0), 0u);
  EXPECT_EQ(file.byteCount, 0u);
  EXPECT_FALSE(file.written);
  file.Close();
  bool exists = false;
  EXPECT_EQ(ReadFileBytes(folder.File(L"empty.txt"), &exists), "");
  EXPECT_TRUE(exists);
}

TEST(XFile, RecordsWithoutAFile) {
  XFile zeroed{};  // never opened: handle 0
  EXPECT_EQ(zeroed.Write("abc", 3), 0xFFFFFFFFu);
  EXPECT_FALSE(zeroed.WriteAsUTF8(L"abc"));
  EXPECT_EQ(zeroed.WriteLineEnd(L"\r\n"), 0u);
  EXPECT_EQ(zeroed.byteCount, 0u);
  zeroed.Close();
  EXPECT_EQ(zeroed.handle, nullptr);

  XFile failed{};
  EXPECT_FALSE(failed.Create(L"C:\\no\\such\\folder\\file.txt", false));
  EXPECT_FALSE(failed.IsOpen());
  failed.Close();  // harmless
  EXPECT_EQ(failed.Write("abc", 3), 0u);  // the platform write fails
  EXPECT_EQ(failed.byteCount, 3u);        // requested, not confirmed
  EXPECT_FALSE(failed.written);
  EXPECT_FALSE(failed.WriteAsUTF8(L"abc"));
}

TEST(XFile, LineEndWriterCutsLongTextBetweenCharacters) {
  TempFolder folder;
  XFile file{};
  ASSERT_TRUE(file.Create(folder.File(L"long.txt").c_str(), false));
  uint32_t written = file.WriteLineEnd(std::wstring(3000, L'\x4e2d').c_str());  // 3 bytes each
  EXPECT_TRUE(written > 4000 && written <= 4095 && written % 3 == 0) << written;
  file.Close();
}
