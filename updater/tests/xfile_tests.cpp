#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/system/xfile.h"
#include "tests/child_process.h"

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
  HANDLE other = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
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
