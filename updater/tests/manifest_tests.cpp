// Reading the update manifest from a parsed document (both builds) and the manifest URL from "baseinfo.xconfig".
#include <gtest/gtest.h>

#include <string>

#include "app/manifest.h"
#include "base/xconfig/xconfig.h"
#include "tests/test_support.h"
#if defined(_WIN32)
#include <windows.h>

#include "tests/child_process.h"
#endif

namespace {
class ManifestTest : public ::testing::Test {
protected:
  // Parses `text` and reads it as a manifest into m_entries and m_info; reads it also as the updater does, while
  // parsing (ManifestEntrySink), from the same outputs, and expects the same outcome.
  bool Read(const char* text) {
    FileEntryArray entries = m_entries;
    ManifestInfo info = m_info;
    ManifestEntrySink sink;
    XConfig streamed;
    EXPECT_TRUE(streamed.OpenText(text, nullptr, &sink)) << text;
    const bool read = streamed.RootElement() && sink.Finish(streamed.RootElement(), &entries, &info);
    EXPECT_TRUE(m_config.OpenText(text, nullptr)) << text;
    const bool expected = m_config.RootElement() && ReadUpdateManifest(m_config.RootElement(), &m_entries, &m_info);
    EXPECT_EQ(read, expected) << text;
    EXPECT_EQ(Describe(entries, info), Describe(m_entries, m_info)) << text;
    return expected;
  }
  // The release on the first line (hasMust and must as two digits), then each file's name, digests and size.
  static std::string Describe(const FileEntryArray& entries, const ManifestInfo& info) {
    std::string lines = Utf8(info.version) + " " + Utf8(info.baseUrl) + " " + Utf8(info.updaterVersion) + " " +
                        std::to_string(info.hasMust) + std::to_string(info.must) + " " + Utf8(info.expires) + "\n";
    for (const FileEntry& entry : entries) {
      lines += Utf8(entry.name) + " " + Utf8(entry.hash) + " " + Utf8(entry.sha256) + " " +
               std::to_string(entry.size) + "\n";
    }
    return lines;
  }
  std::string Got() const { return Describe(m_entries, m_info); }
  SizeTrackingAlloc m_alloc;
  ScopedCurrentAlloc m_scope{&m_alloc};
  XConfig m_config;
  FileEntryArray m_entries;
  ManifestInfo m_info;
};
}  // namespace

// Names in another letter case are found, hashes keep their case, a missing hash reads as empty text, sizes are
// decimal and stay whole beyond 32 bits; the data item "count" is no file.
TEST_F(ManifestTest, ReadsReleaseAndFilesInOrder) {
  ASSERT_TRUE(Read("BaseInfo : {\r\n"
                   "\tVersion : 3.2.1.40\r\n"
                   "\tBaseUrl : https://cdn.example/pc/3.2.1.40/\r\n"
                   "\tUpdaterVersion : 1.0.7\r\n"
                   "\tMust : true\r\n"
                   "\tExpires : \"2031-02-03T04:05:06Z\"\r\n"
                   "}\r\n"
                   "FileList : {\r\n"
                   "\tCastwright PC.exe : {\r\n"
                   "\t\tHash : 5b1e0d3c8f2a4e6b9d7c1a0f3e5d2b4c6a8e9f01\r\n"
                   "\t\tSHA256 : 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08\r\n"
                   "\t\tSize : 8421376\r\n"
                   "\t}\r\n"
                   "\tcount : 2\r\n"
                   "\tplugins\\chat.dll : { { hash : E3B0C44298FC1C149AFBF4C8996FB92427AE41E4, size : 0x10 } }\r\n"
                   "\tres/big.pak : {\r\n"
                   "\t\tSize : 3000000000\r\n"
                   "\t}\r\n"
                   "}\r\n"));
  const std::string expected =
      "3.2.1.40 https://cdn.example/pc/3.2.1.40/ 1.0.7 11 2031-02-03T04:05:06Z\n"
      "Castwright PC.exe 5b1e0d3c8f2a4e6b9d7c1a0f3e5d2b4c6a8e9f01 "
      "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08 8421376\n"
      "plugins\\chat.dll E3B0C44298FC1C149AFBF4C8996FB92427AE41E4 <none> 0\n"
      "res/big.pak <none> <none> 3000000000\n";
  EXPECT_EQ(Got(), expected);
  m_config.Close();  // the records own copies: the document can go
  EXPECT_EQ(Got(), expected);
}

// Missing items read as empty, entries are appended; without both sections nothing is touched.
TEST_F(ManifestTest, MissingItemsAndSections) {
  m_entries.push_back(FileEntry{L"kept", {}, {}, {}, {}, {}, {}});
  ASSERT_TRUE(Read("baseinfo : {\n}\nFILELIST : {\nnote : no file\na.dll : {\n}\n}\n"));
  EXPECT_EQ(Got(), "<none> <none> <none> 00 <none>\nkept <none> <none> 0\na.dll <none> <none> 0\n");
  m_entries.clear();
  m_info.version = L"old";
  for (const char* text : {"FileList : {\na : {\n}\n}\n", "BaseInfo : 1\nFileList : {\n}\n",
                           "FileList : {\n}\nFileList : 1\n"}) {
    EXPECT_FALSE(Read(text)) << text;
    EXPECT_EQ(Got(), "old <none> <none> 00 <none>\n") << text;
  }
  // Sizes are unsigned decimals of 64 bits; anything else is no size.
  const uint64_t none = 7;
  for (auto c : {std::make_pair(L"18446744073709551615", uint64_t{UINT64_MAX}),
                 std::make_pair(L"18446744073709551616", none), std::make_pair(L"", none),
                 std::make_pair(L"0x10", none), std::make_pair(L"+5", none), std::make_pair(L"12 ", none)}) {
    uint64_t value = none;
    EXPECT_EQ(ParseDecimalUInt64(c.first, &value), c.second != none) << Utf8(c.first);
    EXPECT_EQ(value, c.second) << Utf8(c.first);
  }
}

// Read() compares the reading while parsing with the tree's.
TEST_F(ManifestTest, FilesOfTheFirstTopLevelListOnly) {
  for (auto c : {std::make_pair("BaseInfo : {\n}\nFileList : {\n}\nFileList : {\nb : {\n}\n}\n", ""),
                 std::make_pair("BaseInfo : {\n}\nx : {\nFileList : {\nc : {\n}\n}\n}\n"
                                "filelist : {\nd : {\ne : {\n}\n}\n}\n",
                                "d"),
                 std::make_pair("FileList : {\na : {\n}\n}\nBaseInfo : {\n}\nFileList : {\nb : {\n}\n}\n", "a")}) {
    m_entries.clear();
    ASSERT_TRUE(Read(c.first)) << c.first;
    std::string names;
    for (const FileEntry& entry : m_entries) names += Utf8(entry.name);
    EXPECT_EQ(names, c.second) << c.first;
  }
}

TEST(ManifestUrl, ConfiguredOrTheDefault) {
  const std::string fallback = Utf8(kDefaultManifestUrl);
  for (auto c : {std::make_pair("URL : {\r\n\tupdaterconfigeurl : http://127.0.0.1:8080/v\r\n}\r\n",
                                "http://127.0.0.1:8080/v"),
                 std::make_pair("url : {\n}\n", ""), std::make_pair("url : {\nUpdaterConfigeUrl :\n}\n", ""),
                 std::make_pair("UpdaterConfigeUrl : x\n", ""),
                 std::make_pair("other : {\nUpdaterConfigeUrl : x\n}\n", "")}) {
    XConfig document;
    ASSERT_TRUE(document.OpenText(c.first, nullptr)) << c.first;
    EXPECT_EQ(Utf8(ManifestUrlIn(document.RootElement())), *c.second ? c.second : fallback) << c.first;
  }
#if defined(_WIN32)
  // From the file: missing or not valid XConfig gives the default, and no file is created.
  TempFolder folder;
  const std::wstring path = folder.File(L"baseinfo.xconfig");
  EXPECT_EQ(Utf8(ManifestUrlOf(path.c_str())), fallback);
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_TRUE(WriteFileBytes(path, "url : {\n"));
  EXPECT_EQ(Utf8(ManifestUrlOf(path.c_str())), fallback);
  ASSERT_TRUE(WriteFileBytes(path, "\xEF\xBB\xBFurl : {\r\n\tUpdaterConfigeUrl : http://127.0.0.1:8080/v\r\n}\r\n"));
  EXPECT_EQ(Utf8(ManifestUrlOf(path.c_str())), "http://127.0.0.1:8080/v");
#endif
}

TEST(ManifestExpiry, ExpiredOnlyAfterItsTimeAndWhenUnreadable) {
  // At 2030-06-15T12:00:00Z.
  for (auto c : {std::make_pair(L"2030-06-15T12:00:00Z", false), std::make_pair(L"2030-06-15T11:59:59Z", true),
                 std::make_pair(L"2031-01-01T00:00:00Z", false), std::make_pair(L"2030-06-15 12:00:00Z", true),
                 std::make_pair(L"2030-13-01T00:00:00Z", true),
                 std::make_pair(L"9999-06-15T12:00:00Z trailing", true)}) {
    EXPECT_EQ(ManifestExpired(c.first, L"2030-06-15T12:00:00Z"), c.second) << Utf8(c.first);
  }
}
