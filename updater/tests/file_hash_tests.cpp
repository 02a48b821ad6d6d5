#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/file_hash.h"
#include "base/system/scoped_handle.h"
#include "tests/child_process.h"
#include "tests/test_support.h"

namespace {
constexpr char kAbcSha1[] = "a9993e364706816aba3e25717850c26c9cd0d89d";

// The SHA-1 text of a file through `hasher`, or "unhashable" with the thread's last error.
std::string Sha1Text(FileHasher& hasher, const std::wstring& path) {
  FileDigests digests;
  uint64_t bytes = 0;
  if (!hasher.Hash(path.c_str(), kHashSha1, &digests, &bytes)) return "unhashable " + std::to_string(GetLastError());
  return Utf8(DigestText(digests.sha1, kSha1Bytes)) + " " + std::to_string(bytes);
}
}  // namespace

// Known vectors; a failure keeps its reason; a reader sharing reads does not stop the hash, a writer does.
TEST(FileHash, KnownDigestsAndOtherHandlesOnTheFile) {
  TempFolder folder;
  ASSERT_TRUE(WriteFileBytes(folder.File(L"empty"), ""));
  ASSERT_TRUE(WriteFileBytes(folder.File(L"abc"), "abc"));
  ASSERT_TRUE(WriteFileBytes(folder.File(L"million"), std::string(1000000, 'a')));  // 16 blocks and a part
  FileHasher hasher;
  EXPECT_EQ(Sha1Text(hasher, folder.File(L"empty")), "da39a3ee5e6b4b0d3255bfef95601890afd80709 0");
  EXPECT_EQ(Sha1Text(hasher, folder.File(L"missing")), "unhashable " + std::to_string(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Sha1Text(hasher, folder.File(L"million")), "34aa973cd4c4daa4f61eeb2bdbad27316534016f 1000000");
  EXPECT_EQ(Sha1Text(hasher, folder.Path()).rfind("unhashable", 0), 0u);  // a folder
  const struct {
    DWORD access;
    DWORD share;
    bool hashable;
  } kHandles[] = {{GENERIC_READ, FILE_SHARE_READ, true},
                  {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
                  {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
                  {GENERIC_READ, 0, false}};
  for (const auto& c : kHandles) {
    ScopedHandle other(CreateFileW(folder.File(L"abc").c_str(), c.access, c.share, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other.IsValid());
    EXPECT_EQ(Sha1Text(hasher, folder.File(L"abc")).rfind(c.hashable ? kAbcSha1 : "unhashable", 0), 0u)
        << c.access << " " << c.share;
  }
  // Both digests in one pass; a digest not asked for is left alone.
  FileDigests digests;
  std::memset(&digests, 0xEE, sizeof digests);
  ASSERT_TRUE(hasher.Hash(folder.File(L"million").c_str(), kHashSha256, &digests));
  EXPECT_EQ(Utf8(DigestText(digests.sha256, kSha256Bytes)),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(Utf8(DigestText(digests.sha1, kSha1Bytes)), std::string(40, 'e'));
  ASSERT_TRUE(hasher.Hash(folder.File(L"abc").c_str(), kHashSha1 | kHashSha256, &digests));
  EXPECT_EQ(Utf8(DigestText(digests.sha1, kSha1Bytes)), kAbcSha1);
  EXPECT_EQ(Utf8(DigestText(digests.sha256, kSha256Bytes)),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  uint8_t digest[kSha1Bytes];  // the one-off function
  EXPECT_TRUE(HashFileSha1(folder.File(L"abc").c_str(), digest));
  EXPECT_FALSE(HashFileSha1(folder.File(L"missing").c_str(), digest));
}
