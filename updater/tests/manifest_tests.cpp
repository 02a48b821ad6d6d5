// Reading the update manifest from a parsed document (both builds).
#include <gtest/gtest.h>

#include <string>

#include "app/manifest.h"
#include "base/xconfig/xconfig.h"
#include "tests/test_support.h"

namespace {
class ManifestTest : public ::testing::Test {
protected:
  // Parses `text` and reads it as a manifest into m_entries and m_info; reads
  // it also as the updater does, while parsing (ManifestEntrySink), from the
  // same outputs, and expects the same outcome.
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
  static std::string Describe(const FileEntryArray& entries, const ManifestInfo& info) {
    std::string lines = Utf8(info.version) + " " + Utf8(info.baseUrl) + " " + Utf8(info.updaterVersion) + " " +
                        std::to_string(info.hasMust) + std::to_string(info.must) + " " + Utf8(info.expires) + "\n";
    for (const FileEntry& entry : entries) {
      lines += Utf8(entry.name) + " " + Utf8(entry.hash) + " " + Utf8(entry.sha256) + " " +
               std::to_string(entry.size) + "\n";
    }
    return lines;
  }
  SizeTrackingAlloc m_alloc;
  ScopedCurrentAlloc m_scope{&m_alloc};
  XConfig m_config;
  FileEntryArray m_entries;
  ManifestInfo m_info;
};

const char kManifest[] =
    "BaseInfo : {\r\n"
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
    "}\r\n";
}  // namespace

TEST_F(ManifestTest, ReadsReleaseAndFilesInOrder) {
  ASSERT_TRUE(Read(kManifest));
  EXPECT_EQ(Utf8(m_info.version), "3.2.1.40");
  EXPECT_EQ(Utf8(m_info.baseUrl), "https://cdn.example/pc/3.2.1.40/");
  EXPECT_EQ(m_info.must, 1);
  EXPECT_TRUE(m_info.hasMust);
  EXPECT_EQ(Utf8(m_info.updaterVersion), "1.0.7");
  ASSERT_EQ(m_entries.size(), 3u);  // the data item "count" is no file
  EXPECT_EQ(Utf8(m_entries[0].name), "Castwright PC.exe");
  EXPECT_EQ(Utf8(m_entries[0].hash), "5b1e0d3c8f2a4e6b9d7c1a0f3e5d2b4c6a8e9f01");
  EXPECT_EQ(m_entries[0].size, 8421376u);
  EXPECT_EQ(Utf8(m_entries[0].sha256), "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
  EXPECT_TRUE(m_entries[1].sha256.IsEmpty());
  EXPECT_EQ(Utf8(m_info.expires), "2031-02-03T04:05:06Z");
  // Names in another letter case are found; the hash keeps its case.
  EXPECT_EQ(Utf8(m_entries[1].name), "plugins\\chat.dll");
  EXPECT_EQ(Utf8(m_entries[1].hash), "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4");
  EXPECT_EQ(m_entries[1].size, 0u);  // not decimal
  // No hash reads as empty text; sizes beyond 32 bits stay whole.
  EXPECT_EQ(Utf8(m_entries[2].name), "res/big.pak");
  EXPECT_TRUE(m_entries[2].hash.IsEmpty());
  EXPECT_EQ(m_entries[2].size, 3000000000u);
  // The records own copies: the document can go.
  m_config.Close();
  EXPECT_EQ(Utf8(m_entries[0].name), "Castwright PC.exe");
}

// Missing items read as empty, entries are appended; without both sections nothing is touched.
TEST_F(ManifestTest, MissingItemsAndSections) {
  m_entries.push_back(FileEntry{L"kept", {}, {}, {}, {}, {}, {}});
  ASSERT_TRUE(Read("baseinfo : {\n}\nFILELIST : {\nnote : no file\na.dll : {\n}\n}\n"));
  EXPECT_TRUE(m_info.version.IsEmpty() && m_info.baseUrl.IsEmpty());
  EXPECT_FALSE(m_info.hasMust);
  ASSERT_EQ(m_entries.size(), 2u);
  EXPECT_EQ(Utf8(m_entries[0].name), "kept");
  EXPECT_TRUE(m_entries[1].hash.IsEmpty());
  m_entries.clear();
  m_info.version = L"old";
  for (const char* text : {"FileList : {\na : {\n}\n}\n", "BaseInfo : 1\nFileList : {\n}\n",
                           "FileList : {\n}\nFileList : 1\n"}) {
    EXPECT_FALSE(Read(text)) << text;
    EXPECT_TRUE(m_entries.empty());
    EXPECT_EQ(Utf8(m_info.version), "old");
  }
  // Sizes are unsigned decimals of 64 bits; anything else is no size.
  struct Case {
    const wchar_t* text;
    bool valid;
    uint64_t value;
  };
  for (const Case& c : {Case{L"18446744073709551615", true, UINT64_MAX}, Case{L"18446744073709551616", false, 0},
                        Case{L"", false, 0}, Case{L"0x10", false, 0}, Case{L"+5", false, 0}, Case{L"12 ", false, 0}}) {
    uint64_t value = 7;
    EXPECT_EQ(ParseDecimalUInt64(c.text, &value), c.valid) << Utf8(c.text);
    EXPECT_EQ(value, c.valid ? c.value : 7u) << Utf8(c.text);
  }
}

TEST_F(ManifestTest, FilesOfTheFirstTopLevelListOnly) {
  // Read() compares the reading while parsing with the tree's.
  struct Case {
    const char* text;
    const char* names;
  } cases[] = {
      {"BaseInfo : {\n}\nFileList : {\n}\nFileList : {\nb : {\n}\n}\n", ""},
      {"BaseInfo : {\n}\nx : {\nFileList : {\nc : {\n}\n}\n}\nfilelist : {\nd : {\ne : {\n}\n}\n}\n", "d"},
      {"FileList : {\na : {\n}\n}\nBaseInfo : {\n}\nFileList : {\nb : {\n}\n}\n", "a"},
  };
  for (const Case& c : cases) {
    m_entries.clear();
    ASSERT_TRUE(Read(c.text)) << c.text;
    std::string names;
    for (const FileEntry& entry : m_entries) names += Utf8(entry.name);
    EXPECT_EQ(names, c.names) << c.text;
  }
}

TEST(ManifestUrl, ConfiguredOrTheDefault) {
  struct Case {
    const char* baseInfo;
    const char* url;
  };
  const std::string fallback = Utf8(kDefaultManifestUrl);
  for (const Case& c : {Case{"URL : {\r\n\tupdaterconfigeurl : http://127.0.0.1:8080/v\r\n}\r\n", "http://127.0.0.1:8080/v"},
                        Case{"url : {\n}\n", nullptr}, Case{"url : {\nUpdaterConfigeUrl :\n}\n", nullptr},
                        Case{"UpdaterConfigeUrl : x\n", nullptr},
                        Case{"other : {\nUpdaterConfigeUrl : x\n}\n", nullptr}}) {
    XConfig document;
    ASSERT_TRUE(document.OpenText(c.baseInfo, nullptr)) << c.baseInfo;
    EXPECT_EQ(Utf8(ManifestUrlIn(document.RootElement())), c.url ? c.url : fallback) << c.baseInfo;
  }
}

TEST(ManifestExpiry, ExpiredOnlyAfterItsTimeAndWhenUnreadable) {
  struct Case {
    const wchar_t* expires;
    bool expired;  // at 2030-06-15T12:00:00Z
  };
  for (const Case& c : {Case{L"2030-06-15T12:00:00Z", false}, Case{L"2030-06-15T11:59:59Z", true},
                        Case{L"2031-01-01T00:00:00Z", false}, Case{L"2030-06-15 12:00:00Z", true},
                        Case{L"2030-13-01T00:00:00Z", true}, Case{L"9999-06-15T12:00:00Z trailing", true}}) {
    EXPECT_EQ(ManifestExpired(c.expires, L"2030-06-15T12:00:00Z"), c.expired) << Utf8(c.expires);
  }
}
