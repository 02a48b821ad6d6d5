#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/file_hash.h"
#include "base/system/scoped_handle.h"
#include "base/text/wide_text.h"
#include "tests/child_process.h"
#include "tests/test_support.h"

namespace {
// The digest text of a file, or "unhashable".
std::string Sha1Text(const std::wstring& path) {
  uint8_t digest[kSha1Bytes];
  if (!HashFileSha1(path.c_str(), digest)) return "unhashable";
  wchar_t text[kSha1TextChars];
  HexEncodeLower(digest, text);
  return std::string(text, text + 40);
}
}  // namespace

TEST(FileHash, KnownDigests) {
  TempFolder folder;
  struct Case {
    std::string content;
    const char* sha1;
  };
  // Empty input, the standard "abc" vector, and a million "a" (16 blocks and a part).
  for (const Case& c : {Case{"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
                        Case{"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
                        Case{std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"}}) {
    ASSERT_TRUE(WriteFileBytes(folder.File(L"f.bin"), c.content));
    EXPECT_EQ(Sha1Text(folder.File(L"f.bin")), c.sha1) << c.content.size();
  }
  EXPECT_EQ(Sha1Text(folder.File(L"missing.bin")), "unhashable");
  EXPECT_EQ(Sha1Text(folder.Path()), "unhashable");  // a folder
}

TEST(FileHash, OtherHandlesOnTheFile) {
  TempFolder folder;
  const std::wstring path = folder.File(L"f.bin");
  ASSERT_TRUE(WriteFileBytes(path, "abc"));
  const char* abc = "a9993e364706816aba3e25717850c26c9cd0d89d";
  struct Case {
    DWORD access;
    DWORD share;
    const char* expected;
  };
  // A reader that shares reading (a scanner) does not stop the hash; a writer
  // or a handle that shares nothing does.
  for (const Case& c : {Case{GENERIC_READ, FILE_SHARE_READ, abc},
                        Case{GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, abc},
                        Case{GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, "unhashable"},
                        Case{GENERIC_READ, 0, "unhashable"}}) {
    ScopedHandle other(CreateFileW(path.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other.IsValid());
    EXPECT_EQ(Sha1Text(path), c.expected) << c.access << " " << c.share;
  }
}

TEST(FileHash, OneHasherForManyFiles) {
  TempFolder folder;
  ASSERT_TRUE(WriteFileBytes(folder.File(L"abc"), "abc"));
  ASSERT_TRUE(WriteFileBytes(folder.File(L"million"), std::string(1000000, 'a')));
  Sha1FileHasher hasher;
  uint8_t digest[kSha1Bytes];
  wchar_t text[kSha1TextChars];
  uint64_t bytes = 7;
  for (const wchar_t* name : {L"abc", L"missing", L"million", L"abc"}) {
    bool hashed = hasher.Hash(folder.File(name).c_str(), digest, &bytes);
    if (WCompare(name, L"missing") == 0) {
      // The reason survives the clean-up, and the hasher goes on afterwards.
      EXPECT_FALSE(hashed);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
      continue;
    }
    ASSERT_TRUE(hashed) << Utf8(name);
    HexEncodeLower(digest, text);
    bool abc = WCompare(name, L"abc") == 0;
    EXPECT_EQ(Utf8(text), abc ? "a9993e364706816aba3e25717850c26c9cd0d89d" : "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(bytes, abc ? 3u : 1000000u);
  }
}
